// The exported ODBC entry points in their narrow form, and the W forms that
// pass their arguments unchanged (the implementation converts, or there is
// no text). Each hands its arguments, in order, to CallODBC with its record;
// the string functions that serve both forms add the mode character 'A' or
// 'W' last. SQLCancel is in dispatch.cpp; the W forms that convert text are
// in entries_w.cpp.
#include <sql.h>
#include <sqlext.h>
#include <sqlucode.h>

#include "odbc/apirec.h"
#include "odbc/dispatch.h"
#include "odbc/objects.h"

namespace {

constexpr char kNarrow = 'A';
constexpr char kWide = 'W';

bool FoundIn(HandleTable *table, SQLHANDLE h) { return h && HandleTable_Lookup(table, HandleOf(h)) != nullptr; }

}  // namespace

// ---- Handles -----------------------------------------------------------------

KVD_EXPORT SQLRETURN SQL_API SQLAllocHandle(SQLSMALLINT type, SQLHANDLE in, SQLHANDLE *out) {
  switch (type) {
    case SQL_HANDLE_ENV:
      return CallODBC(API_AllocHandle_Env, out);
    case SQL_HANDLE_DBC:
      return CallODBC(API_AllocHandle_Dbc, in, out);
    case SQL_HANDLE_STMT:
      return CallODBC(API_AllocHandle_Stmt, in, out);
    case SQL_HANDLE_DESC:
      return CallODBC(API_AllocHandle_Desc, in, out);
    default:
      return SQL_INVALID_HANDLE;
  }
}

KVD_EXPORT SQLRETURN SQL_API SQLAllocEnv(SQLHENV *out) { return CallODBC(API_AllocEnv, out); }
KVD_EXPORT SQLRETURN SQL_API SQLAllocConnect(SQLHENV env, SQLHDBC *out) { return CallODBC(API_AllocConnect, env, out); }
KVD_EXPORT SQLRETURN SQL_API SQLAllocStmt(SQLHDBC dbc, SQLHSTMT *out) { return CallODBC(API_AllocStmt, dbc, out); }

KVD_EXPORT SQLRETURN SQL_API SQLFreeHandle(SQLSMALLINT type, SQLHANDLE h) {
  switch (type) {
    case SQL_HANDLE_ENV:
      return CallODBC(API_FreeHandle_Env, h);
    case SQL_HANDLE_DBC:
      return CallODBC(API_FreeHandle_Dbc, h);
    case SQL_HANDLE_STMT:
      return CallODBC(API_FreeHandle_Stmt, h);
    case SQL_HANDLE_DESC:
      return CallODBC(API_FreeHandle_Desc, h);
    default:
      return SQL_INVALID_HANDLE;
  }
}

KVD_EXPORT SQLRETURN SQL_API SQLFreeEnv(SQLHENV env) { return CallODBC(API_FreeEnv, env); }
KVD_EXPORT SQLRETURN SQL_API SQLFreeConnect(SQLHDBC dbc) { return CallODBC(API_FreeConnect, dbc); }
KVD_EXPORT SQLRETURN SQL_API SQLFreeStmt(SQLHSTMT stmt, SQLUSMALLINT option) {
  return CallODBC(API_FreeStmt, stmt, option);
}

KVD_EXPORT SQLRETURN SQL_API SQLSetEnvAttr(SQLHENV env, SQLINTEGER attr, SQLPOINTER value, SQLINTEGER len) {
  return CallODBC(API_SetEnvAttr, env, attr, value, len);
}
KVD_EXPORT SQLRETURN SQL_API SQLGetEnvAttr(SQLHENV env, SQLINTEGER attr, SQLPOINTER value, SQLINTEGER bufLen,
                                           SQLINTEGER *outLen) {
  return CallODBC(API_GetEnvAttr, env, attr, value, bufLen, outLen);
}

// ---- Connections ------------------------------------------------------------

KVD_EXPORT SQLRETURN SQL_API SQLConnect(SQLHDBC dbc, SQLCHAR *dsn, SQLSMALLINT dsnLen, SQLCHAR *uid, SQLSMALLINT uidLen,
                                        SQLCHAR *pwd, SQLSMALLINT pwdLen) {
  return CallODBC(API_Connect, dbc, dsn, dsnLen, uid, uidLen, pwd, pwdLen, kNarrow);
}
KVD_EXPORT SQLRETURN SQL_API SQLDriverConnect(SQLHDBC dbc, SQLHWND hwnd, SQLCHAR *in, SQLSMALLINT inLen, SQLCHAR *out,
                                              SQLSMALLINT outMax, SQLSMALLINT *outLen, SQLUSMALLINT completion) {
  return CallODBC(API_DriverConnect, dbc, hwnd, in, inLen, out, outMax, outLen, completion, kNarrow);
}
KVD_EXPORT SQLRETURN SQL_API SQLDisconnect(SQLHDBC dbc) { return CallODBC(API_Disconnect, dbc); }

KVD_EXPORT SQLRETURN SQL_API SQLTransact(SQLHENV env, SQLHDBC dbc, SQLUSMALLINT completion) {
  if (FoundIn(&g_odbc.conns, dbc)) return CallODBC(API_Transact_Dbc, dbc, completion);
  return CallODBC(API_Transact_Env, env, completion);
}

KVD_EXPORT SQLRETURN SQL_API SQLEndTran(SQLSMALLINT type, SQLHANDLE h, SQLSMALLINT completion) {
  if (!OdbcLayerIsInitialised()) return SQL_ERROR;
  const auto c = static_cast<SQLUSMALLINT>(completion);
  switch (type) {
    case SQL_HANDLE_ENV:
      return FoundIn(&g_odbc.envs, h) ? CallODBC(API_Transact_Env, h, c) : SQL_INVALID_HANDLE;
    case SQL_HANDLE_DBC:
      return FoundIn(&g_odbc.conns, h) ? CallODBC(API_Transact_Dbc, h, c) : SQL_INVALID_HANDLE;
    default:
      return SQL_SUCCESS;
  }
}

KVD_EXPORT SQLRETURN SQL_API SQLGetInfo(SQLHDBC dbc, SQLUSMALLINT type, SQLPOINTER value, SQLSMALLINT bufLen,
                                        SQLSMALLINT *outLen) {
  return CallODBC(API_GetInfo, dbc, type, value, bufLen, outLen, kNarrow);
}
KVD_EXPORT SQLRETURN SQL_API SQLGetInfoW(SQLHDBC dbc, SQLUSMALLINT type, SQLPOINTER value, SQLSMALLINT bufLen,
                                         SQLSMALLINT *outLen) {
  return CallODBC(API_GetInfoW, dbc, type, value, bufLen, outLen, kWide);
}
KVD_EXPORT SQLRETURN SQL_API SQLGetFunctions(SQLHDBC dbc, SQLUSMALLINT id, SQLUSMALLINT *supported) {
  return CallODBC(API_GetFunctions, dbc, id, supported);
}

KVD_EXPORT SQLRETURN SQL_API SQLSetConnectOption(SQLHDBC dbc, SQLUSMALLINT option, SQLULEN value) {
  return CallODBC(API_SetConnectOption, dbc, option, value, kNarrow);
}
KVD_EXPORT SQLRETURN SQL_API SQLSetConnectOptionW(SQLHDBC dbc, SQLUSMALLINT option, SQLULEN value) {
  return CallODBC(API_SetConnectOptionW, dbc, option, value, kWide);
}
KVD_EXPORT SQLRETURN SQL_API SQLGetConnectOption(SQLHDBC dbc, SQLUSMALLINT option, SQLPOINTER value) {
  return CallODBC(API_GetConnectOption, dbc, option, value, kNarrow);
}
KVD_EXPORT SQLRETURN SQL_API SQLGetConnectOptionW(SQLHDBC dbc, SQLUSMALLINT option, SQLPOINTER value) {
  return CallODBC(API_GetConnectOptionW, dbc, option, value, kWide);
}
KVD_EXPORT SQLRETURN SQL_API SQLSetConnectAttr(SQLHDBC dbc, SQLINTEGER attr, SQLPOINTER value, SQLINTEGER len) {
  return CallODBC(API_SetConnectAttr, dbc, attr, value, len, kNarrow);
}
KVD_EXPORT SQLRETURN SQL_API SQLSetConnectAttrW(SQLHDBC dbc, SQLINTEGER attr, SQLPOINTER value, SQLINTEGER len) {
  return CallODBC(API_SetConnectAttrW, dbc, attr, value, len, kWide);
}
KVD_EXPORT SQLRETURN SQL_API SQLGetConnectAttr(SQLHDBC dbc, SQLINTEGER attr, SQLPOINTER value, SQLINTEGER bufLen,
                                               SQLINTEGER *outLen) {
  return CallODBC(API_GetConnectAttr, dbc, attr, value, bufLen, outLen, kNarrow);
}
KVD_EXPORT SQLRETURN SQL_API SQLGetConnectAttrW(SQLHDBC dbc, SQLINTEGER attr, SQLPOINTER value, SQLINTEGER bufLen,
                                                SQLINTEGER *outLen) {
  return CallODBC(API_GetConnectAttrW, dbc, attr, value, bufLen, outLen, kWide);
}
KVD_EXPORT SQLRETURN SQL_API SQLNativeSql(SQLHDBC dbc, SQLCHAR *in, SQLINTEGER inLen, SQLCHAR *out, SQLINTEGER outMax,
                                          SQLINTEGER *outLen) {
  return CallODBC(API_NativeSql, dbc, in, inLen, out, outMax, outLen);
}

// ---- Statements: preparation, execution and results -----------------------------

KVD_EXPORT SQLRETURN SQL_API SQLPrepare(SQLHSTMT stmt, SQLCHAR *text, SQLINTEGER len) {
  return CallODBC(API_Prepare, stmt, text, len);
}
KVD_EXPORT SQLRETURN SQL_API SQLExecDirect(SQLHSTMT stmt, SQLCHAR *text, SQLINTEGER len) {
  return CallODBC(API_ExecDirect, stmt, text, len);
}
KVD_EXPORT SQLRETURN SQL_API SQLExecute(SQLHSTMT stmt) { return CallODBC(API_Execute, stmt); }
KVD_EXPORT SQLRETURN SQL_API SQLNumParams(SQLHSTMT stmt, SQLSMALLINT *count) {
  return CallODBC(API_NumParams, stmt, count);
}
KVD_EXPORT SQLRETURN SQL_API SQLNumResultCols(SQLHSTMT stmt, SQLSMALLINT *count) {
  return CallODBC(API_NumResultCols, stmt, count);
}
KVD_EXPORT SQLRETURN SQL_API SQLParamOptions(SQLHSTMT stmt, SQLULEN count, SQLULEN *processed) {
  return CallODBC(API_ParamOptions, stmt, count, processed);
}
KVD_EXPORT SQLRETURN SQL_API SQLRowCount(SQLHSTMT stmt, SQLLEN *count) { return CallODBC(API_RowCount, stmt, count); }
KVD_EXPORT SQLRETURN SQL_API SQLMoreResults(SQLHSTMT stmt) { return CallODBC(API_MoreResults, stmt); }
KVD_EXPORT SQLRETURN SQL_API SQLCloseCursor(SQLHSTMT stmt) { return CallODBC(API_CloseCursor, stmt); }

KVD_EXPORT SQLRETURN SQL_API SQLDescribeCol(SQLHSTMT stmt, SQLUSMALLINT col, SQLCHAR *name, SQLSMALLINT bufLen,
                                            SQLSMALLINT *nameLen, SQLSMALLINT *type, SQLULEN *size,
                                            SQLSMALLINT *digits, SQLSMALLINT *nullable) {
  return CallODBC(API_DescribeCol, stmt, col, name, bufLen, nameLen, type, size, digits, nullable);
}
KVD_EXPORT SQLRETURN SQL_API SQLColAttribute(SQLHSTMT stmt, SQLUSMALLINT col, SQLUSMALLINT field, SQLPOINTER text,
                                             SQLSMALLINT bufLen, SQLSMALLINT *outLen, SQLLEN *number) {
  return CallODBC(API_ColAttribute, stmt, col, field, text, bufLen, outLen, number, kNarrow);
}
KVD_EXPORT SQLRETURN SQL_API SQLColAttributeW(SQLHSTMT stmt, SQLUSMALLINT col, SQLUSMALLINT field, SQLPOINTER text,
                                              SQLSMALLINT bufLen, SQLSMALLINT *outLen, SQLLEN *number) {
  return CallODBC(API_ColAttributeW, stmt, col, field, text, bufLen, outLen, number, kWide);
}
KVD_EXPORT SQLRETURN SQL_API SQLColAttributes(SQLHSTMT stmt, SQLUSMALLINT col, SQLUSMALLINT field, SQLPOINTER text,
                                              SQLSMALLINT bufLen, SQLSMALLINT *outLen, SQLLEN *number) {
  return CallODBC(API_ColAttributes, stmt, col, field, text, bufLen, outLen, number, kNarrow);
}
KVD_EXPORT SQLRETURN SQL_API SQLColAttributesW(SQLHSTMT stmt, SQLUSMALLINT col, SQLUSMALLINT field, SQLPOINTER text,
                                               SQLSMALLINT bufLen, SQLSMALLINT *outLen, SQLLEN *number) {
  return CallODBC(API_ColAttributesW, stmt, col, field, text, bufLen, outLen, number, kWide);
}

KVD_EXPORT SQLRETURN SQL_API SQLGetCursorName(SQLHSTMT stmt, SQLCHAR *name, SQLSMALLINT bufLen, SQLSMALLINT *outLen) {
  return CallODBC(API_GetCursorName, stmt, name, bufLen, outLen);
}
KVD_EXPORT SQLRETURN SQL_API SQLSetCursorName(SQLHSTMT stmt, SQLCHAR *name, SQLSMALLINT len) {
  return CallODBC(API_SetCursorName, stmt, name, len);
}

// ---- Statements: options and attributes --------------------------------------------

KVD_EXPORT SQLRETURN SQL_API SQLSetStmtOption(SQLHSTMT stmt, SQLUSMALLINT option, SQLULEN value) {
  return CallODBC(API_SetStmtOption, stmt, option, value);
}
KVD_EXPORT SQLRETURN SQL_API SQLGetStmtOption(SQLHSTMT stmt, SQLUSMALLINT option, SQLPOINTER value) {
  return CallODBC(API_GetStmtOption, stmt, option, value);
}
KVD_EXPORT SQLRETURN SQL_API SQLSetStmtAttr(SQLHSTMT stmt, SQLINTEGER attr, SQLPOINTER value, SQLINTEGER len) {
  return CallODBC(API_SetStmtAttr, stmt, attr, value, len, kNarrow);
}
KVD_EXPORT SQLRETURN SQL_API SQLSetStmtAttrW(SQLHSTMT stmt, SQLINTEGER attr, SQLPOINTER value, SQLINTEGER len) {
  return CallODBC(API_SetStmtAttrW, stmt, attr, value, len, kWide);
}
KVD_EXPORT SQLRETURN SQL_API SQLGetStmtAttr(SQLHSTMT stmt, SQLINTEGER attr, SQLPOINTER value, SQLINTEGER bufLen,
                                            SQLINTEGER *outLen) {
  return CallODBC(API_GetStmtAttr, stmt, attr, value, bufLen, outLen);
}
KVD_EXPORT SQLRETURN SQL_API SQLGetStmtAttrW(SQLHSTMT stmt, SQLINTEGER attr, SQLPOINTER value, SQLINTEGER bufLen,
                                             SQLINTEGER *outLen) {
  return CallODBC(API_GetStmtAttrW, stmt, attr, value, bufLen, outLen);
}

// ---- Data exchange ---------------------------------------------------------------------

KVD_EXPORT SQLRETURN SQL_API SQLBindCol(SQLHSTMT stmt, SQLUSMALLINT col, SQLSMALLINT cType, SQLPOINTER value,
                                        SQLLEN bufLen, SQLLEN *ind) {
  return CallODBC(API_BindCol, stmt, col, cType, value, bufLen, ind);
}
KVD_EXPORT SQLRETURN SQL_API SQLBindParameter(SQLHSTMT stmt, SQLUSMALLINT par, SQLSMALLINT ioType, SQLSMALLINT cType,
                                              SQLSMALLINT sqlType, SQLULEN size, SQLSMALLINT digits, SQLPOINTER value,
                                              SQLLEN bufLen, SQLLEN *ind) {
  return CallODBC(API_BindParameter, stmt, par, ioType, cType, sqlType, size, digits, value, bufLen, ind);
}
KVD_EXPORT SQLRETURN SQL_API SQLSetParam(SQLHSTMT stmt, SQLUSMALLINT par, SQLSMALLINT cType, SQLSMALLINT sqlType,
                                         SQLULEN size, SQLSMALLINT digits, SQLPOINTER value, SQLLEN *ind) {
  return CallODBC(API_SetParam, stmt, par, cType, sqlType, size, digits, value, ind);
}
KVD_EXPORT SQLRETURN SQL_API SQLDescribeParam(SQLHSTMT stmt, SQLUSMALLINT par, SQLSMALLINT *type, SQLULEN *size,
                                              SQLSMALLINT *digits, SQLSMALLINT *nullable) {
  return CallODBC(API_DescribeParam, stmt, par, type, size, digits, nullable);
}
KVD_EXPORT SQLRETURN SQL_API SQLParamData(SQLHSTMT stmt, SQLPOINTER *value) {
  return CallODBC(API_ParamData, stmt, value);
}
KVD_EXPORT SQLRETURN SQL_API SQLPutData(SQLHSTMT stmt, SQLPOINTER data, SQLLEN len) {
  return CallODBC(API_PutData, stmt, data, len);
}
KVD_EXPORT SQLRETURN SQL_API SQLFetch(SQLHSTMT stmt) { return CallODBC(API_Fetch, stmt); }
KVD_EXPORT SQLRETURN SQL_API SQLFetchScroll(SQLHSTMT stmt, SQLSMALLINT orientation, SQLLEN offset) {
  return CallODBC(API_FetchScroll, stmt, orientation, offset);
}
KVD_EXPORT SQLRETURN SQL_API SQLExtendedFetch(SQLHSTMT stmt, SQLUSMALLINT type, SQLLEN row, SQLULEN *count,
                                              SQLUSMALLINT *status) {
  return CallODBC(API_ExtendedFetch, stmt, type, row, count, status);
}
KVD_EXPORT SQLRETURN SQL_API SQLGetData(SQLHSTMT stmt, SQLUSMALLINT col, SQLSMALLINT cType, SQLPOINTER value,
                                        SQLLEN bufLen, SQLLEN *ind) {
  return CallODBC(API_GetData, stmt, col, cType, value, bufLen, ind);
}
KVD_EXPORT SQLRETURN SQL_API SQLSetPos(SQLHSTMT stmt, SQLSETPOSIROW row, SQLUSMALLINT op, SQLUSMALLINT lock) {
  return CallODBC(API_SetPos, stmt, row, op, lock);
}
KVD_EXPORT SQLRETURN SQL_API SQLBulkOperations(SQLHSTMT stmt, SQLSMALLINT op) {
  return CallODBC(API_BulkOperations, stmt, op);
}
KVD_EXPORT SQLRETURN SQL_API SQLGetTypeInfo(SQLHSTMT stmt, SQLSMALLINT type) {
  return CallODBC(API_GetTypeInfo, stmt, type);
}
KVD_EXPORT SQLRETURN SQL_API SQLGetTypeInfoW(SQLHSTMT stmt, SQLSMALLINT type) {
  return CallODBC(API_GetTypeInfoW, stmt, type);
}

// ---- Descriptors -----------------------------------------------------------------------------

KVD_EXPORT SQLRETURN SQL_API SQLGetDescField(SQLHDESC desc, SQLSMALLINT rec, SQLSMALLINT field, SQLPOINTER value,
                                             SQLINTEGER bufLen, SQLINTEGER *outLen) {
  return CallODBC(API_GetDescField, desc, rec, field, value, bufLen, outLen, kNarrow);
}
KVD_EXPORT SQLRETURN SQL_API SQLGetDescFieldW(SQLHDESC desc, SQLSMALLINT rec, SQLSMALLINT field, SQLPOINTER value,
                                              SQLINTEGER bufLen, SQLINTEGER *outLen) {
  return CallODBC(API_GetDescFieldW, desc, rec, field, value, bufLen, outLen, kWide);
}
KVD_EXPORT SQLRETURN SQL_API SQLSetDescField(SQLHDESC desc, SQLSMALLINT rec, SQLSMALLINT field, SQLPOINTER value,
                                             SQLINTEGER len) {
  return CallODBC(API_SetDescField, desc, rec, field, value, len, kNarrow);
}
KVD_EXPORT SQLRETURN SQL_API SQLSetDescFieldW(SQLHDESC desc, SQLSMALLINT rec, SQLSMALLINT field, SQLPOINTER value,
                                              SQLINTEGER len) {
  return CallODBC(API_SetDescFieldW, desc, rec, field, value, len, kWide);
}
KVD_EXPORT SQLRETURN SQL_API SQLGetDescRec(SQLHDESC desc, SQLSMALLINT rec, SQLCHAR *name, SQLSMALLINT bufLen,
                                           SQLSMALLINT *nameLen, SQLSMALLINT *type, SQLSMALLINT *subType,
                                           SQLLEN *length, SQLSMALLINT *precision, SQLSMALLINT *scale,
                                           SQLSMALLINT *nullable) {
  return CallODBC(API_GetDescRec, desc, rec, name, bufLen, nameLen, type, subType, length, precision, scale, nullable,
                  kNarrow);
}
KVD_EXPORT SQLRETURN SQL_API SQLGetDescRecW(SQLHDESC desc, SQLSMALLINT rec, SQLWCHAR *name, SQLSMALLINT bufLen,
                                            SQLSMALLINT *nameLen, SQLSMALLINT *type, SQLSMALLINT *subType,
                                            SQLLEN *length, SQLSMALLINT *precision, SQLSMALLINT *scale,
                                            SQLSMALLINT *nullable) {
  return CallODBC(API_GetDescRecW, desc, rec, name, bufLen, nameLen, type, subType, length, precision, scale,
                  nullable, kWide);
}
KVD_EXPORT SQLRETURN SQL_API SQLSetDescRec(SQLHDESC desc, SQLSMALLINT rec, SQLSMALLINT type, SQLSMALLINT subType,
                                           SQLLEN length, SQLSMALLINT precision, SQLSMALLINT scale, SQLPOINTER data,
                                           SQLLEN *outLen, SQLLEN *ind) {
  return CallODBC(API_SetDescRec, desc, rec, type, subType, length, precision, scale, data, outLen, ind);
}
KVD_EXPORT SQLRETURN SQL_API SQLCopyDesc(SQLHDESC source, SQLHDESC target) {
  return CallODBC(API_CopyDesc, source, target);
}

// ---- Diagnostics --------------------------------------------------------------------------------

KVD_EXPORT SQLRETURN SQL_API SQLError(SQLHENV env, SQLHDBC dbc, SQLHSTMT stmt, SQLCHAR *state, SQLINTEGER *native,
                                      SQLCHAR *msg, SQLSMALLINT bufLen, SQLSMALLINT *msgLen) {
  if (stmt) return CallODBC(API_Error_Stmt, stmt, state, native, msg, bufLen, msgLen);
  if (dbc) return CallODBC(API_Error_Dbc, dbc, state, native, msg, bufLen, msgLen);
  if (env) return CallODBC(API_Error_Env, env, state, native, msg, bufLen, msgLen);
  return SQL_INVALID_HANDLE;
}

KVD_EXPORT SQLRETURN SQL_API SQLGetDiagRec(SQLSMALLINT type, SQLHANDLE h, SQLSMALLINT rec, SQLCHAR *state,
                                           SQLINTEGER *native, SQLCHAR *msg, SQLSMALLINT bufLen, SQLSMALLINT *msgLen) {
  static const ApiRecord *const kRecs[] = {&API_GetDiagRec_Env, &API_GetDiagRec_Dbc, &API_GetDiagRec_Stmt,
                                           &API_GetDiagRec_Desc};
  if (type < SQL_HANDLE_ENV || type > SQL_HANDLE_DESC) return SQL_INVALID_HANDLE;
  return CallODBC(*kRecs[type - SQL_HANDLE_ENV], h, rec, state, native, msg, bufLen, msgLen);
}

namespace {
SQLRETURN GetDiagField(const ApiRecord *const recs[4], char mode, SQLSMALLINT type, SQLHANDLE h, SQLSMALLINT rec,
                       SQLSMALLINT field, SQLPOINTER value, SQLSMALLINT bufLen, SQLSMALLINT *outLen) {
  if (type < SQL_HANDLE_ENV || type > SQL_HANDLE_DESC) return SQL_INVALID_HANDLE;
  return CallODBC(*recs[type - SQL_HANDLE_ENV], h, rec, field, value, bufLen, outLen, mode);
}
}  // namespace

KVD_EXPORT SQLRETURN SQL_API SQLGetDiagField(SQLSMALLINT type, SQLHANDLE h, SQLSMALLINT rec, SQLSMALLINT field,
                                             SQLPOINTER value, SQLSMALLINT bufLen, SQLSMALLINT *outLen) {
  static const ApiRecord *const kRecs[] = {&API_GetDiagField_Env, &API_GetDiagField_Dbc, &API_GetDiagField_Stmt,
                                           &API_GetDiagField_Desc};
  return GetDiagField(kRecs, kNarrow, type, h, rec, field, value, bufLen, outLen);
}
KVD_EXPORT SQLRETURN SQL_API SQLGetDiagFieldW(SQLSMALLINT type, SQLHANDLE h, SQLSMALLINT rec, SQLSMALLINT field,
                                              SQLPOINTER value, SQLSMALLINT bufLen, SQLSMALLINT *outLen) {
  static const ApiRecord *const kRecs[] = {&API_GetDiagFieldW_Env, &API_GetDiagFieldW_Dbc, &API_GetDiagFieldW_Stmt,
                                           &API_GetDiagFieldW_Desc};
  return GetDiagField(kRecs, kWide, type, h, rec, field, value, bufLen, outLen);
}

// ---- Catalog functions ------------------------------------------------------------------------

KVD_EXPORT SQLRETURN SQL_API SQLColumnPrivileges(SQLHSTMT stmt, SQLCHAR *cat, SQLSMALLINT catLen, SQLCHAR *sch,
                                                 SQLSMALLINT schLen, SQLCHAR *tab, SQLSMALLINT tabLen, SQLCHAR *col,
                                                 SQLSMALLINT colLen) {
  return CallODBC(API_ColumnPrivileges, stmt, cat, catLen, sch, schLen, tab, tabLen, col, colLen);
}
KVD_EXPORT SQLRETURN SQL_API SQLColumns(SQLHSTMT stmt, SQLCHAR *cat, SQLSMALLINT catLen, SQLCHAR *sch,
                                        SQLSMALLINT schLen, SQLCHAR *tab, SQLSMALLINT tabLen, SQLCHAR *col,
                                        SQLSMALLINT colLen) {
  return CallODBC(API_Columns, stmt, cat, catLen, sch, schLen, tab, tabLen, col, colLen);
}
KVD_EXPORT SQLRETURN SQL_API SQLForeignKeys(SQLHSTMT stmt, SQLCHAR *pkCat, SQLSMALLINT pkCatLen, SQLCHAR *pkSch,
                                            SQLSMALLINT pkSchLen, SQLCHAR *pkTab, SQLSMALLINT pkTabLen,
                                            SQLCHAR *fkCat, SQLSMALLINT fkCatLen, SQLCHAR *fkSch,
                                            SQLSMALLINT fkSchLen, SQLCHAR *fkTab, SQLSMALLINT fkTabLen) {
  return CallODBC(API_ForeignKeys, stmt, pkCat, pkCatLen, pkSch, pkSchLen, pkTab, pkTabLen, fkCat, fkCatLen, fkSch,
                  fkSchLen, fkTab, fkTabLen);
}
KVD_EXPORT SQLRETURN SQL_API SQLPrimaryKeys(SQLHSTMT stmt, SQLCHAR *cat, SQLSMALLINT catLen, SQLCHAR *sch,
                                            SQLSMALLINT schLen, SQLCHAR *tab, SQLSMALLINT tabLen) {
  return CallODBC(API_PrimaryKeys, stmt, cat, catLen, sch, schLen, tab, tabLen);
}
KVD_EXPORT SQLRETURN SQL_API SQLProcedureColumns(SQLHSTMT stmt, SQLCHAR *cat, SQLSMALLINT catLen, SQLCHAR *sch,
                                                 SQLSMALLINT schLen, SQLCHAR *proc, SQLSMALLINT procLen, SQLCHAR *col,
                                                 SQLSMALLINT colLen) {
  return CallODBC(API_ProcedureColumns, stmt, cat, catLen, sch, schLen, proc, procLen, col, colLen);
}
KVD_EXPORT SQLRETURN SQL_API SQLProcedures(SQLHSTMT stmt, SQLCHAR *cat, SQLSMALLINT catLen, SQLCHAR *sch,
                                           SQLSMALLINT schLen, SQLCHAR *proc, SQLSMALLINT procLen) {
  return CallODBC(API_Procedures, stmt, cat, catLen, sch, schLen, proc, procLen);
}
KVD_EXPORT SQLRETURN SQL_API SQLSpecialColumns(SQLHSTMT stmt, SQLUSMALLINT idType, SQLCHAR *cat, SQLSMALLINT catLen,
                                               SQLCHAR *sch, SQLSMALLINT schLen, SQLCHAR *tab, SQLSMALLINT tabLen,
                                               SQLUSMALLINT scope, SQLUSMALLINT nullable) {
  return CallODBC(API_SpecialColumns, stmt, idType, cat, catLen, sch, schLen, tab, tabLen, scope, nullable);
}
KVD_EXPORT SQLRETURN SQL_API SQLStatistics(SQLHSTMT stmt, SQLCHAR *cat, SQLSMALLINT catLen, SQLCHAR *sch,
                                           SQLSMALLINT schLen, SQLCHAR *tab, SQLSMALLINT tabLen, SQLUSMALLINT unique,
                                           SQLUSMALLINT accuracy) {
  return CallODBC(API_Statistics, stmt, cat, catLen, sch, schLen, tab, tabLen, unique, accuracy);
}
KVD_EXPORT SQLRETURN SQL_API SQLTablePrivileges(SQLHSTMT stmt, SQLCHAR *cat, SQLSMALLINT catLen, SQLCHAR *sch,
                                                SQLSMALLINT schLen, SQLCHAR *tab, SQLSMALLINT tabLen) {
  return CallODBC(API_TablePrivileges, stmt, cat, catLen, sch, schLen, tab, tabLen);
}
KVD_EXPORT SQLRETURN SQL_API SQLTables(SQLHSTMT stmt, SQLCHAR *cat, SQLSMALLINT catLen, SQLCHAR *sch,
                                       SQLSMALLINT schLen, SQLCHAR *tab, SQLSMALLINT tabLen, SQLCHAR *types,
                                       SQLSMALLINT typesLen) {
  return CallODBC(API_Tables, stmt, cat, catLen, sch, schLen, tab, tabLen, types, typesLen);
}
