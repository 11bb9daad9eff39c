/* Oracle Call Interface: the declarations this driver uses.
 *
 * Written from Oracle's published OCI reference (11g client): the function
 * signatures, opaque handle types and numeric values are OCI's public ones,
 * so the same code links either against a real Oracle client library or
 * against the SQLite-backed stand-in libocilite. Only what the driver (and the
 * stand-in's own tools and tests) need is declared. */
#ifndef KVD_OCI_H
#define KVD_OCI_H

#include <stddef.h>

#include "xa.h"

#ifdef __cplusplus
extern "C" {
#endif

/* ---- Scalar types ------------------------------------------------------ */

typedef unsigned char ub1;
typedef signed char sb1;
typedef unsigned short ub2;
typedef signed short sb2;
typedef unsigned int ub4; /* 32 bits also on LP64 */
typedef signed int sb4;
typedef unsigned long long oraub8;
typedef signed long long orasb8;
typedef oraub8 ub8;
typedef orasb8 sb8;
typedef int eword;
typedef unsigned int uword;
typedef signed int sword;
typedef char eb1;
typedef unsigned char OraText;
typedef OraText text;
typedef int boolean;
typedef void dvoid;

#ifndef CONST
#define CONST const
#endif
#ifndef TRUE
#define TRUE 1
#endif
#ifndef FALSE
#define FALSE 0
#endif

/* ---- Opaque handles and descriptors ------------------------------------ */

typedef struct OCIEnv OCIEnv;
typedef struct OCIError OCIError;
typedef struct OCISvcCtx OCISvcCtx;
typedef struct OCIStmt OCIStmt;
typedef struct OCIBind OCIBind;
typedef struct OCIDefine OCIDefine;
typedef struct OCIDescribe OCIDescribe;
typedef struct OCIServer OCIServer;
typedef struct OCISession OCISession;
typedef struct OCITrans OCITrans;
typedef struct OCICPool OCICPool;
typedef struct OCIAuthInfo OCIAuthInfo;

typedef struct OCISnapshot OCISnapshot;
typedef struct OCIResult OCIResult;
typedef struct OCILobLocator OCILobLocator;
typedef struct OCILobLocator OCIClobLocator;
typedef struct OCILobLocator OCIBlobLocator;
typedef struct OCILobLocator OCIBFileLocator;
typedef struct OCIParam OCIParam;
typedef struct OCIRowid OCIRowid;
typedef struct OCIDateTime OCIDateTime;
typedef struct OCIInterval OCIInterval;

/* Oracle NUMBER in its 22-byte internal form. */
#define OCI_NUMBER_SIZE 22
struct OCINumber {
  ub1 OCINumberPart[OCI_NUMBER_SIZE];
};
typedef struct OCINumber OCINumber;

/* SQLT_ODT: the OCIDate structure. */
struct OCITime {
  ub1 OCITimeHH;
  ub1 OCITimeMI;
  ub1 OCITimeSS;
};
typedef struct OCITime OCITime;

struct OCIDate {
  sb2 OCIDateYYYY;
  ub1 OCIDateMM;
  ub1 OCIDateDD;
  OCITime OCIDateTime;
};
typedef struct OCIDate OCIDate;

/* ---- Status codes ------------------------------------------------------ */

#define OCI_SUCCESS 0
#define OCI_SUCCESS_WITH_INFO 1
#define OCI_RESERVED_FOR_INT_USE 200
#define OCI_NO_DATA 100
#define OCI_ERROR (-1)
#define OCI_INVALID_HANDLE (-2)
#define OCI_NEED_DATA 99
#define OCI_STILL_EXECUTING (-3123)
#define OCI_CONTINUE (-24200)
#define OCI_ROWCBK_DONE (-24201)

/* ---- Handle and descriptor types --------------------------------------- */

#define OCI_HTYPE_FIRST 1
#define OCI_HTYPE_ENV 1
#define OCI_HTYPE_ERROR 2
#define OCI_HTYPE_SVCCTX 3
#define OCI_HTYPE_STMT 4
#define OCI_HTYPE_BIND 5
#define OCI_HTYPE_DEFINE 6
#define OCI_HTYPE_DESCRIBE 7
#define OCI_HTYPE_SERVER 8
#define OCI_HTYPE_SESSION 9
#define OCI_HTYPE_AUTHINFO OCI_HTYPE_SESSION
#define OCI_HTYPE_TRANS 10
#define OCI_HTYPE_COMPLEXOBJECT 11
#define OCI_HTYPE_SECURITY 12
#define OCI_HTYPE_SUBSCRIPTION 13
#define OCI_HTYPE_CPOOL 26
#define OCI_HTYPE_SPOOL 27

#define OCI_DTYPE_FIRST 50
#define OCI_DTYPE_LOB 50
#define OCI_DTYPE_SNAP 51
#define OCI_DTYPE_RSET 52
#define OCI_DTYPE_PARAM 53
#define OCI_DTYPE_ROWID 54
#define OCI_DTYPE_COMPLEXOBJECTCOMP 55
#define OCI_DTYPE_FILE 56
#define OCI_DTYPE_INTERVAL_YM 62
#define OCI_DTYPE_INTERVAL_DS 63
#define OCI_DTYPE_DATE 65
#define OCI_DTYPE_TIME 66
#define OCI_DTYPE_TIME_TZ 67
#define OCI_DTYPE_TIMESTAMP 68
#define OCI_DTYPE_TIMESTAMP_TZ 69
#define OCI_DTYPE_TIMESTAMP_LTZ 70

/* ---- Modes ------------------------------------------------------------- */

#define OCI_DEFAULT 0x00000000
#define OCI_THREADED 0x00000001
#define OCI_OBJECT 0x00000002
#define OCI_EVENTS 0x00000004
#define OCI_SHARED 0x00000010
#define OCI_NO_UCB 0x00000040
#define OCI_NO_MUTEX 0x00000080
#define OCI_UTF16 0x00004000

/* OCIServerAttach */
#define OCI_CPOOL 0x0200

/* OCISessionBegin */
#define OCI_MIGRATE 0x00000001
#define OCI_SYSDBA 0x00000002
#define OCI_SYSOPER 0x00000004
#define OCI_PRELIM_AUTH 0x00000008
#define OCI_STMT_CACHE 0x00000040

#define OCI_CRED_RDBMS 1
#define OCI_CRED_EXT 2
#define OCI_CRED_PROXY 3

/* OCIStmtPrepare */
#define OCI_NTV_SYNTAX 1
#define OCI_V7_SYNTAX 2
#define OCI_V8_SYNTAX 3

/* OCIStmtPrepare2 / OCIStmtRelease */
#define OCI_PREP2_CACHE_SEARCHONLY 0x0010
#define OCI_STRLS_CACHE_DELETE 0x0010

/* OCIStmtExecute */
#define OCI_BATCH_MODE 0x00000001
#define OCI_EXACT_FETCH 0x00000002
#define OCI_STMT_SCROLLABLE_READONLY 0x00000008
#define OCI_DESCRIBE_ONLY 0x00000010
#define OCI_COMMIT_ON_SUCCESS 0x00000020
#define OCI_NON_BLOCKING 0x00000040
#define OCI_BATCH_ERRORS 0x00000080
#define OCI_PARSE_ONLY 0x00000100

/* OCIStmtFetch orientation */
#define OCI_FETCH_CURRENT 0x00000001
#define OCI_FETCH_NEXT 0x00000002
#define OCI_FETCH_FIRST 0x00000004
#define OCI_FETCH_LAST 0x00000008
#define OCI_FETCH_PRIOR 0x00000010
#define OCI_FETCH_ABSOLUTE 0x00000020
#define OCI_FETCH_RELATIVE 0x00000040

/* Bind and define modes */
#define OCI_SB2_IND_PTR 0x00000001
#define OCI_DATA_AT_EXEC 0x00000002
#define OCI_DYNAMIC_FETCH 0x00000002
#define OCI_PIECEWISE 0x00000004

/* Transactions */
#define OCI_TRANS_NEW 0x00000001
#define OCI_TRANS_JOIN 0x00000002
#define OCI_TRANS_RESUME 0x00000004
#define OCI_TRANS_READONLY 0x00000100
#define OCI_TRANS_READWRITE 0x00000200
#define OCI_TRANS_SERIALIZABLE 0x00000400
#define OCI_TRANS_TWOPHASE 0x01000000

/* Pieces of a piecewise operation */
#define OCI_ONE_PIECE 0
#define OCI_FIRST_PIECE 1
#define OCI_NEXT_PIECE 2
#define OCI_LAST_PIECE 3

/* Direction of a piece (OCIStmtGetPieceInfo) */
#define OCI_PARAM_IN 0x01
#define OCI_PARAM_OUT 0x02

/* Statement types (OCI_ATTR_STMT_TYPE) */
#define OCI_STMT_UNKNOWN 0
#define OCI_STMT_SELECT 1
#define OCI_STMT_UPDATE 2
#define OCI_STMT_DELETE 3
#define OCI_STMT_INSERT 4
#define OCI_STMT_CREATE 5
#define OCI_STMT_DROP 6
#define OCI_STMT_ALTER 7
#define OCI_STMT_BEGIN 8
#define OCI_STMT_DECLARE 9
#define OCI_STMT_CALL 10
#define OCI_STMT_MERGE 16

/* OCIDescribeAny */
#define OCI_OTYPE_NAME 1
#define OCI_OTYPE_REF 2
#define OCI_OTYPE_PTR 3

#define OCI_PTYPE_UNK 0
#define OCI_PTYPE_TABLE 1
#define OCI_PTYPE_VIEW 2
#define OCI_PTYPE_PROC 3
#define OCI_PTYPE_FUNC 4
#define OCI_PTYPE_PKG 5
#define OCI_PTYPE_TYPE 6
#define OCI_PTYPE_SYN 7
#define OCI_PTYPE_SEQ 8
#define OCI_PTYPE_COL 9
#define OCI_PTYPE_ARG 10
#define OCI_PTYPE_LIST 11
#define OCI_PTYPE_SCHEMA 17
#define OCI_PTYPE_DATABASE 18

#define OCI_TYPEPARAM_IN 0
#define OCI_TYPEPARAM_OUT 1
#define OCI_TYPEPARAM_INOUT 2

/* Character sets */
#define OCI_UTF16ID 1000
#define SQLCS_IMPLICIT 1
#define SQLCS_NCHAR 2
#define SQLCS_EXPLICIT 3
#define SQLCS_FLEXIBLE 4
#define SQLCS_LIT_NULL 5

/* Error message buffer */
#define OCI_ERROR_MAXMSG_SIZE 1024
#define OCI_ERROR_MAXMSG_SIZE2 3072

/* Failover (OCI_ATTR_FOCBK) */
#define OCI_FO_END 0x00000001
#define OCI_FO_ABORT 0x00000002
#define OCI_FO_REAUTH 0x00000004
#define OCI_FO_BEGIN 0x00000008
#define OCI_FO_ERROR 0x00000010
#define OCI_FO_RETRY 25410
#define OCI_FO_NONE 0x00000001
#define OCI_FO_SESSION 0x00000002
#define OCI_FO_SELECT 0x00000004
#define OCI_FO_TXNAL 0x00000008

/* LOB */
#define OCI_TEMP_BLOB 1
#define OCI_TEMP_CLOB 2
#define OCI_LOB_READONLY 1
#define OCI_LOB_READWRITE 2

/* ---- Attributes (ids overlap: the target's handle type decides) -------- */

#define OCI_ATTR_FNCODE 1
#define OCI_ATTR_OBJECT 2
#define OCI_ATTR_NONBLOCKING_MODE 3 /* server handle */
#define OCI_ATTR_SQLCODE 4
#define OCI_ATTR_ENV 5
#define OCI_ATTR_SERVER 6 /* service context */
#define OCI_ATTR_SESSION 7
#define OCI_ATTR_TRANS 8
#define OCI_ATTR_ROW_COUNT 9 /* statement */
#define OCI_ATTR_SQLFNCODE 10
#define OCI_ATTR_PREFETCH_ROWS 11 /* statement */
#define OCI_ATTR_NESTED_PREFETCH_ROWS 12
#define OCI_ATTR_PREFETCH_MEMORY 13
#define OCI_ATTR_NESTED_PREFETCH_MEMORY 14
#define OCI_ATTR_CHAR_COUNT 15
#define OCI_ATTR_PDSCL 16
#define OCI_ATTR_FSPRECISION OCI_ATTR_PDSCL
#define OCI_ATTR_PDPRC 17
#define OCI_ATTR_LFPRECISION OCI_ATTR_PDPRC
#define OCI_ATTR_PARAM_COUNT 18
#define OCI_ATTR_ROWID 19
#define OCI_ATTR_CHARSET 20
#define OCI_ATTR_NCHAR 21
#define OCI_ATTR_USERNAME 22
#define OCI_ATTR_PASSWORD 23
#define OCI_ATTR_STMT_TYPE 24
#define OCI_ATTR_INTERNAL_NAME 25
#define OCI_ATTR_EXTERNAL_NAME 26
#define OCI_ATTR_XID 27
#define OCI_ATTR_TRANS_LOCK 28
#define OCI_ATTR_TRANS_NAME 29
#define OCI_ATTR_HEAPALLOC 30
#define OCI_ATTR_CHARSET_ID 31
#define OCI_ATTR_CHARSET_FORM 32
#define OCI_ATTR_MAXDATA_SIZE 33
#define OCI_ATTR_ROWS_RETURNED 42
#define OCI_ATTR_FOCBK 43
#define OCI_ATTR_IN_V8_MODE 44
#define OCI_ATTR_LOBEMPTY 45
#define OCI_ATTR_SESSLANG 46
#define OCI_ATTR_NUM_DML_ERRORS 73
#define OCI_ATTR_DML_ROW_OFFSET 74

/* Describe attributes (parameter descriptors) */
#define OCI_ATTR_DATA_SIZE 1
#define OCI_ATTR_DATA_TYPE 2
#define OCI_ATTR_DISP_SIZE 3
#define OCI_ATTR_NAME 4
#define OCI_ATTR_PRECISION 5
#define OCI_ATTR_SCALE 6
#define OCI_ATTR_IS_NULL 7
#define OCI_ATTR_TYPE_NAME 8
#define OCI_ATTR_SCHEMA_NAME 9
#define OCI_ATTR_SUB_NAME 10
#define OCI_ATTR_POSITION 11

#define OCI_ATTR_NUM_COLS 102
#define OCI_ATTR_LIST_COLUMNS 103
#define OCI_ATTR_RDBA 104
#define OCI_ATTR_CLUSTERED 105
#define OCI_ATTR_PARTITIONED 106
#define OCI_ATTR_INDEX_ONLY 107
#define OCI_ATTR_LIST_ARGUMENTS 108
#define OCI_ATTR_LIST_SUBPROGRAMS 109
#define OCI_ATTR_REF_TDO 110
#define OCI_ATTR_LINK 111
#define OCI_ATTR_MIN 112
#define OCI_ATTR_MAX 113
#define OCI_ATTR_INCR 114
#define OCI_ATTR_CACHE 115
#define OCI_ATTR_ORDER 116
#define OCI_ATTR_HW_MARK 117
#define OCI_ATTR_TYPE_SCHEMA 118
#define OCI_ATTR_TIMESTAMP 119
#define OCI_ATTR_NUM_ATTRS 120
#define OCI_ATTR_NUM_PARAMS 121
#define OCI_ATTR_OBJID 122
#define OCI_ATTR_PTYPE 123
#define OCI_ATTR_PARAM 124
#define OCI_ATTR_OVERLOAD_ID 125
#define OCI_ATTR_TABLESPACE 126
#define OCI_ATTR_TDO 127
#define OCI_ATTR_LTYPE 128
#define OCI_ATTR_PARSE_ERROR_OFFSET 129
#define OCI_ATTR_IS_TEMPORARY 130
#define OCI_ATTR_IS_TYPED 131
#define OCI_ATTR_DURATION 132
#define OCI_ATTR_IS_INVOKER_RIGHTS 133
#define OCI_ATTR_OBJ_NAME 134
#define OCI_ATTR_OBJ_SCHEMA 135
#define OCI_ATTR_OBJ_ID 136
#define OCI_ATTR_SERVER_STATUS 143
#define OCI_ATTR_MAXCHAR_SIZE 163
#define OCI_ATTR_CURRENT_POSITION 164
#define OCI_ATTR_STMTCACHESIZE 176
#define OCI_ATTR_CONN_NOWAIT 178
#define OCI_ATTR_CONN_BUSY_COUNT 179
#define OCI_ATTR_CONN_OPEN_COUNT 180
#define OCI_ATTR_CONN_TIMEOUT 181
#define OCI_ATTR_STMT_STATE 182
#define OCI_ATTR_CONN_MIN 183
#define OCI_ATTR_CONN_MAX 184
#define OCI_ATTR_CONN_INCR 185
#define OCI_ATTR_BIND_COUNT 190
#define OCI_ATTR_ROWS_FETCHED 197
#define OCI_ATTR_LEVEL 211
#define OCI_ATTR_HAS_DEFAULT 212
#define OCI_ATTR_IOMODE 213
#define OCI_ATTR_RADIX 214
#define OCI_ATTR_ENV_CHARSET_ID 207
#define OCI_ATTR_ENV_NCHARSET_ID 208
#define OCI_ATTR_ENV_UTF16 209
#define OCI_ATTR_CHAR_USED 285
#define OCI_ATTR_CHAR_SIZE 286
#define OCI_ATTR_STATEMENT 144

/* Server status (OCI_ATTR_SERVER_STATUS) */
#define OCI_SERVER_NOT_CONNECTED 0x0
#define OCI_SERVER_NORMAL 0x1

/* ---- External data types (SQLT codes) --------------------------------- */

#define SQLT_CHR 1
#define SQLT_NUM 2
#define SQLT_INT 3
#define SQLT_FLT 4
#define SQLT_STR 5
#define SQLT_VNU 6
#define SQLT_PDN 7
#define SQLT_LNG 8
#define SQLT_VCS 9
#define SQLT_NON 10
#define SQLT_RID 11
#define SQLT_DAT 12
#define SQLT_VBI 15
#define SQLT_BFLOAT 21
#define SQLT_BDOUBLE 22
#define SQLT_BIN 23
#define SQLT_LBI 24
#define SQLT_UIN 68
#define SQLT_SLS 91
#define SQLT_LVC 94
#define SQLT_LVB 95
#define SQLT_AFC 96
#define SQLT_AVC 97
#define SQLT_IBFLOAT 100
#define SQLT_IBDOUBLE 101
#define SQLT_CUR 102
#define SQLT_RDD 104
#define SQLT_LAB 105
#define SQLT_OSL 106
#define SQLT_NTY 108
#define SQLT_REF 110
#define SQLT_CLOB 112
#define SQLT_BLOB 113
#define SQLT_BFILEE 114
#define SQLT_CFILEE 115
#define SQLT_RSET 116
#define SQLT_NCO 122
#define SQLT_VST 155
#define SQLT_ODT 156
#define SQLT_DATE 184
#define SQLT_TIME 185
#define SQLT_TIME_TZ 186
#define SQLT_TIMESTAMP 187
#define SQLT_TIMESTAMP_TZ 188
#define SQLT_INTERVAL_YM 189
#define SQLT_INTERVAL_DS 190
#define SQLT_TIMESTAMP_LTZ 232
#define SQLT_FILE SQLT_BFILEE
#define SQLT_CFILE SQLT_CFILEE
#define SQLT_BFILE SQLT_BFILEE

/* ---- Callbacks --------------------------------------------------------- */

typedef sb4 (*OCICallbackInBind)(void *ictxp, OCIBind *bindp, ub4 iter, ub4 index, void **bufpp,
                                 ub4 *alenp, ub1 *piecep, void **indp);
typedef sb4 (*OCICallbackOutBind)(void *octxp, OCIBind *bindp, ub4 iter, ub4 index, void **bufpp,
                                  ub4 **alenp, ub1 *piecep, void **indp, ub2 **rcodep);
typedef sb4 (*OCICallbackDefine)(void *octxp, OCIDefine *defnp, ub4 iter, void **bufpp,
                                 ub4 **alenp, ub1 *piecep, void **indp, ub2 **rcodep);
typedef sb4 (*OCICallbackLobRead)(void *ctxp, const void *bufp, ub4 len, ub1 piece);
typedef sb4 (*OCICallbackLobWrite)(void *ctxp, void *bufp, ub4 *lenp, ub1 *piece);
typedef sb4 (*OCICallbackFailover)(void *svcctx, void *envctx, void *fo_ctx, ub4 fo_type,
                                   ub4 fo_event);

typedef struct {
  OCICallbackFailover callback_function;
  void *fo_ctx;
} OCIFocbkStruct;

/* ---- Functions --------------------------------------------------------- */

/* Environment, handles, descriptors, attributes */
sword OCIEnvCreate(OCIEnv **envp, ub4 mode, void *ctxp, void *(*malocfp)(void *ctxp, size_t size),
                   void *(*ralocfp)(void *ctxp, void *memptr, size_t newsize),
                   void (*mfreefp)(void *ctxp, void *memptr), size_t xtramem_sz, void **usrmempp);
sword OCIEnvNlsCreate(OCIEnv **envp, ub4 mode, void *ctxp,
                      void *(*malocfp)(void *ctxp, size_t size),
                      void *(*ralocfp)(void *ctxp, void *memptr, size_t newsize),
                      void (*mfreefp)(void *ctxp, void *memptr), size_t xtramem_sz,
                      void **usrmempp, ub2 charset, ub2 ncharset);
sword OCIHandleAlloc(const void *parenth, void **hndlpp, const ub4 type, const size_t xtramem_sz,
                     void **usrmempp);
sword OCIHandleFree(void *hndlp, const ub4 type);
sword OCIDescriptorAlloc(const void *parenth, void **descpp, const ub4 type,
                         const size_t xtramem_sz, void **usrmempp);
sword OCIDescriptorFree(void *descp, const ub4 type);
sword OCIParamGet(const void *hndlp, ub4 htype, OCIError *errhp, void **parmdpp, ub4 pos);
sword OCIAttrGet(const void *trgthndlp, ub4 trghndltyp, void *attributep, ub4 *sizep,
                 ub4 attrtype, OCIError *errhp);
sword OCIAttrSet(void *trgthndlp, ub4 trghndltyp, void *attributep, ub4 size, ub4 attrtype,
                 OCIError *errhp);
sword OCIErrorGet(void *hndlp, ub4 recordno, OraText *sqlstate, sb4 *errcodep, OraText *bufp,
                  ub4 bufsiz, ub4 type);
void OCIClientVersion(sword *major_version, sword *minor_version, sword *update_num,
                      sword *patch_num, sword *port_update_num);

/* Server, session */
sword OCIServerAttach(OCIServer *srvhp, OCIError *errhp, const OraText *dblink, sb4 dblink_len,
                      ub4 mode);
sword OCIServerDetach(OCIServer *srvhp, OCIError *errhp, ub4 mode);
sword OCISessionBegin(OCISvcCtx *svchp, OCIError *errhp, OCISession *usrhp, ub4 credt, ub4 mode);
sword OCISessionEnd(OCISvcCtx *svchp, OCIError *errhp, OCISession *usrhp, ub4 mode);
sword OCIServerVersion(void *hndlp, OCIError *errhp, OraText *bufp, ub4 bufsz, ub1 hndltype);
sword OCIBreak(void *hndlp, OCIError *errhp);
sword OCIReset(void *hndlp, OCIError *errhp);
sword OCIPing(OCISvcCtx *svchp, OCIError *errhp, ub4 mode);

/* Transactions */
sword OCITransStart(OCISvcCtx *svchp, OCIError *errhp, uword timeout, ub4 flags);
sword OCITransCommit(OCISvcCtx *svchp, OCIError *errhp, ub4 flags);
sword OCITransRollback(OCISvcCtx *svchp, OCIError *errhp, ub4 flags);

/* Connection pool */
sword OCIConnectionPoolCreate(OCIEnv *envhp, OCIError *errhp, OCICPool *poolhp, OraText **poolName,
                              sb4 *poolNameLen, const OraText *dblink, sb4 dblinkLen, ub4 connMin,
                              ub4 connMax, ub4 connIncr, const OraText *poolUserName,
                              sb4 poolUserLen, const OraText *poolPassword, sb4 poolPassLen,
                              ub4 mode);
sword OCIConnectionPoolDestroy(OCICPool *poolhp, OCIError *errhp, ub4 mode);

/* Statements */
sword OCIStmtPrepare(OCIStmt *stmtp, OCIError *errhp, const OraText *stmt, ub4 stmt_len,
                     ub4 language, ub4 mode);
sword OCIStmtPrepare2(OCISvcCtx *svchp, OCIStmt **stmtp, OCIError *errhp, const OraText *stmt,
                      ub4 stmt_len, const OraText *key, ub4 key_len, ub4 language, ub4 mode);
sword OCIStmtRelease(OCIStmt *stmtp, OCIError *errhp, const OraText *key, ub4 key_len, ub4 mode);
sword OCIStmtExecute(OCISvcCtx *svchp, OCIStmt *stmtp, OCIError *errhp, ub4 iters, ub4 rowoff,
                     const OCISnapshot *snap_in, OCISnapshot *snap_out, ub4 mode);
sword OCIStmtFetch(OCIStmt *stmtp, OCIError *errhp, ub4 nrows, ub2 orientation, ub4 mode);
sword OCIStmtFetch2(OCIStmt *stmtp, OCIError *errhp, ub4 nrows, ub2 orientation, sb4 scrollOffset,
                    ub4 mode);
sword OCIStmtGetPieceInfo(OCIStmt *stmtp, OCIError *errhp, void **hndlpp, ub4 *typep,
                          ub1 *in_outp, ub4 *iterp, ub4 *idxp, ub1 *piecep);
sword OCIStmtSetPieceInfo(void *hndlp, ub4 type, OCIError *errhp, const void *bufp, ub4 *alenp,
                          ub1 piece, const void *indp, ub2 *rcodep);

/* Binds and defines */
sword OCIBindByPos(OCIStmt *stmtp, OCIBind **bindp, OCIError *errhp, ub4 position, void *valuep,
                   sb4 value_sz, ub2 dty, void *indp, ub2 *alenp, ub2 *rcodep, ub4 maxarr_len,
                   ub4 *curelep, ub4 mode);
sword OCIBindByName(OCIStmt *stmtp, OCIBind **bindp, OCIError *errhp, const OraText *placeholder,
                    sb4 placeh_len, void *valuep, sb4 value_sz, ub2 dty, void *indp, ub2 *alenp,
                    ub2 *rcodep, ub4 maxarr_len, ub4 *curelep, ub4 mode);
sword OCIBindDynamic(OCIBind *bindp, OCIError *errhp, void *ictxp, OCICallbackInBind icbfp,
                     void *octxp, OCICallbackOutBind ocbfp);
sword OCIDefineByPos(OCIStmt *stmtp, OCIDefine **defnp, OCIError *errhp, ub4 position,
                     void *valuep, sb4 value_sz, ub2 dty, void *indp, ub2 *rlenp, ub2 *rcodep,
                     ub4 mode);

/* Describe */
sword OCIDescribeAny(OCISvcCtx *svchp, OCIError *errhp, void *objptr, ub4 objnm_len,
                     ub1 objptr_typ, ub1 info_level, ub1 objtyp, OCIDescribe *dschp);

/* LOB */
sword OCILobRead(OCISvcCtx *svchp, OCIError *errhp, OCILobLocator *locp, ub4 *amtp, ub4 offset,
                 void *bufp, ub4 bufl, void *ctxp, OCICallbackLobRead cbfp, ub2 csid, ub1 csfrm);
sword OCILobWrite(OCISvcCtx *svchp, OCIError *errhp, OCILobLocator *locp, ub4 *amtp, ub4 offset,
                  void *bufp, ub4 buflen, ub1 piece, void *ctxp, OCICallbackLobWrite cbfp,
                  ub2 csid, ub1 csfrm);
sword OCILobGetLength(OCISvcCtx *svchp, OCIError *errhp, OCILobLocator *locp, ub4 *lenp);
sword OCILobCharSetForm(OCIEnv *envhp, OCIError *errhp, const OCILobLocator *locp, ub1 *csfrm);
sword OCILobCharSetId(OCIEnv *envhp, OCIError *errhp, const OCILobLocator *locp, ub2 *csid);
sword OCILobTrim(OCISvcCtx *svchp, OCIError *errhp, OCILobLocator *locp, ub4 newlen);

/* Date and time */
sword OCIDateTimeConstruct(void *hndl, OCIError *err, OCIDateTime *datetime, sb2 yr, ub1 mnth,
                           ub1 dy, ub1 hr, ub1 mm, ub1 ss, ub4 fsec, OraText *timezone,
                           size_t timezone_length);
sword OCIDateTimeGetDate(void *hndl, OCIError *err, const OCIDateTime *datetime, sb2 *yr,
                         ub1 *mnth, ub1 *dy);
sword OCIDateTimeGetTime(void *hndl, OCIError *err, OCIDateTime *datetime, ub1 *hr, ub1 *mm,
                         ub1 *ss, ub4 *fsec);

/* Character sets */
size_t OCIMultiByteStrlen(void *envhp, const OraText *str);
sword OCICharSetToUnicode(void *envhp, ub2 *dst, size_t dstlen, const OraText *src, size_t srclen,
                          size_t *rsize);
sword OCIUnicodeToCharSet(void *envhp, OraText *dst, size_t dstlen, const ub2 *src, size_t srclen,
                          size_t *rsize);

/* Oracle's XA library: the resource manager switch and the environment and
 * service context of the session an xa_open made for a database name. */
extern struct xa_switch_t xaosw;
OCIEnv *xaoEnv(OraText *dbname);
OCISvcCtx *xaoSvcCtx(OraText *dbname);

#ifdef __cplusplus
}
#endif

#endif /* KVD_OCI_H */
