// SQLGetFunctions (what the driver claims to implement) and SQLGetInfo.
#include <sql.h>
#include <sqlext.h>

#include <sqlucode.h>

#include <cstring>
#include <iterator>

#include "odbc/apirec.h"
#include "odbc/data/ctype.h"
#include "odbc/drvops.h"
#include "odbc/info.h"
#include "odbc/objects.h"
#include "odbc/sqlstate.h"
#include "util/codepage.h"
#include "util/utf.h"

// Every function the driver exports, with the implementations it runs. A
// function is claimed only while all of them are built (see info.h).
const ApiFunction g_apiFunctions[] = {
    {SQL_API_SQLALLOCCONNECT, "SQLAllocConnect", "AllocConnect", true},
    {SQL_API_SQLALLOCENV, "SQLAllocEnv", "AllocEnv", true},
    {SQL_API_SQLALLOCSTMT, "SQLAllocStmt", "AllocStmt", true},
    {SQL_API_SQLBINDCOL, "SQLBindCol", "BindCol", true},
    {SQL_API_SQLCANCEL, "SQLCancel", "", true},
    {SQL_API_SQLCOLATTRIBUTES, "SQLColAttribute(s)", "ColAttributes ColAttribute", true},
    {SQL_API_SQLCONNECT, "SQLConnect", "Connect", true},
    {SQL_API_SQLDESCRIBECOL, "SQLDescribeCol", "DescribeCol", true},
    {SQL_API_SQLDISCONNECT, "SQLDisconnect", "Disconnect", true},
    {SQL_API_SQLERROR, "SQLError", "Error_Env Error_Dbc Error_Stmt", true},
    {SQL_API_SQLEXECDIRECT, "SQLExecDirect", "ExecDirect", true},
    {SQL_API_SQLEXECUTE, "SQLExecute", "Execute", true},
    {SQL_API_SQLFETCH, "SQLFetch", "Fetch", true},
    {SQL_API_SQLFREECONNECT, "SQLFreeConnect", "FreeConnect", true},
    {SQL_API_SQLFREEENV, "SQLFreeEnv", "FreeEnv", true},
    {SQL_API_SQLFREESTMT, "SQLFreeStmt", "FreeStmt", true},
    {SQL_API_SQLGETCURSORNAME, "SQLGetCursorName", "GetCursorName", true},
    {SQL_API_SQLNUMRESULTCOLS, "SQLNumResultCols", "NumResultCols", true},
    {SQL_API_SQLPREPARE, "SQLPrepare", "Prepare", true},
    {SQL_API_SQLROWCOUNT, "SQLRowCount", "RowCount", true},
    {SQL_API_SQLSETCURSORNAME, "SQLSetCursorName", "SetCursorName", true},
    {SQL_API_SQLSETPARAM, "SQLSetParam", "SetParam", true},
    {SQL_API_SQLTRANSACT, "SQLTransact", "Transact_Env Transact_Dbc", true},
    {SQL_API_SQLBULKOPERATIONS, "SQLBulkOperations", "BulkOperations", true},
    {SQL_API_SQLCOLUMNS, "SQLColumns", "Columns", true},
    {SQL_API_SQLDRIVERCONNECT, "SQLDriverConnect", "DriverConnect", true},
    {SQL_API_SQLGETCONNECTOPTION, "SQLGetConnectOption", "GetConnectOption", true},
    {SQL_API_SQLGETDATA, "SQLGetData", "GetData", true},
    {SQL_API_SQLGETFUNCTIONS, "SQLGetFunctions", "GetFunctions", true},
    {SQL_API_SQLGETINFO, "SQLGetInfo", "GetInfo", true},
    {SQL_API_SQLGETSTMTOPTION, "SQLGetStmtOption", "GetStmtOption", true},
    {SQL_API_SQLGETTYPEINFO, "SQLGetTypeInfo", "GetTypeInfo", true},
    {SQL_API_SQLPARAMDATA, "SQLParamData", "ParamData", true},
    {SQL_API_SQLPUTDATA, "SQLPutData", "PutData", true},
    {SQL_API_SQLSETCONNECTOPTION, "SQLSetConnectOption", "SetConnectOption", true},
    {SQL_API_SQLSETSTMTOPTION, "SQLSetStmtOption", "SetStmtOption", true},
    {SQL_API_SQLSPECIALCOLUMNS, "SQLSpecialColumns", "SpecialColumns", true},
    {SQL_API_SQLSTATISTICS, "SQLStatistics", "Statistics", true},
    {SQL_API_SQLTABLES, "SQLTables", "Tables", true},
    {SQL_API_SQLCOLUMNPRIVILEGES, "SQLColumnPrivileges", "ColumnPrivileges", true},
    {SQL_API_SQLDESCRIBEPARAM, "SQLDescribeParam", "DescribeParam", true},
    {SQL_API_SQLEXTENDEDFETCH, "SQLExtendedFetch", "ExtendedFetch", true},
    {SQL_API_SQLFOREIGNKEYS, "SQLForeignKeys", "ForeignKeys", true},
    {SQL_API_SQLMORERESULTS, "SQLMoreResults", "MoreResults", true},
    {SQL_API_SQLNATIVESQL, "SQLNativeSql", "NativeSql", true},
    {SQL_API_SQLNUMPARAMS, "SQLNumParams", "NumParams", true},
    {SQL_API_SQLPARAMOPTIONS, "SQLParamOptions", "ParamOptions", true},
    {SQL_API_SQLPRIMARYKEYS, "SQLPrimaryKeys", "PrimaryKeys", true},
    {SQL_API_SQLPROCEDURECOLUMNS, "SQLProcedureColumns", "ProcedureColumns", true},
    {SQL_API_SQLPROCEDURES, "SQLProcedures", "Procedures", true},
    {SQL_API_SQLSETPOS, "SQLSetPos", "SetPos", true},
    {SQL_API_SQLTABLEPRIVILEGES, "SQLTablePrivileges", "TablePrivileges", true},
    {SQL_API_SQLBINDPARAMETER, "SQLBindParameter", "BindParameter", true},
    {SQL_API_SQLALLOCHANDLE, "SQLAllocHandle", "AllocHandle_Env AllocHandle_Dbc AllocHandle_Stmt AllocHandle_Desc",
     true},
    {SQL_API_SQLCLOSECURSOR, "SQLCloseCursor", "CloseCursor", true},
    {SQL_API_SQLCOPYDESC, "SQLCopyDesc", "CopyDesc", true},
    {SQL_API_SQLENDTRAN, "SQLEndTran", "Transact_Env Transact_Dbc", true},
    {SQL_API_SQLFREEHANDLE, "SQLFreeHandle", "FreeHandle_Env FreeHandle_Dbc FreeHandle_Stmt FreeHandle_Desc", true},
    {SQL_API_SQLGETCONNECTATTR, "SQLGetConnectAttr", "GetConnectAttr", true},
    {SQL_API_SQLGETDESCFIELD, "SQLGetDescField", "GetDescField", true},
    {SQL_API_SQLGETDESCREC, "SQLGetDescRec", "GetDescRec", true},
    {SQL_API_SQLGETDIAGFIELD, "SQLGetDiagField", "GetDiagField_Env GetDiagField_Dbc GetDiagField_Stmt GetDiagField_Desc",
     true},
    {SQL_API_SQLGETDIAGREC, "SQLGetDiagRec", "GetDiagRec_Env GetDiagRec_Dbc GetDiagRec_Stmt GetDiagRec_Desc", true},
    {SQL_API_SQLGETENVATTR, "SQLGetEnvAttr", "GetEnvAttr", true},
    {SQL_API_SQLGETSTMTATTR, "SQLGetStmtAttr", "GetStmtAttr", true},
    {SQL_API_SQLSETCONNECTATTR, "SQLSetConnectAttr", "SetConnectAttr", true},
    {SQL_API_SQLSETDESCFIELD, "SQLSetDescField", "SetDescField", true},
    {SQL_API_SQLSETDESCREC, "SQLSetDescRec", "SetDescRec", true},
    {SQL_API_SQLSETENVATTR, "SQLSetEnvAttr", "SetEnvAttr", true},
    {SQL_API_SQLSETSTMTATTR, "SQLSetStmtAttr", "SetStmtAttr", true},
    {SQL_API_SQLFETCHSCROLL, "SQLFetchScroll", "FetchScroll", true},
};
const int g_apiFunctionCount = static_cast<int>(sizeof g_apiFunctions / sizeof g_apiFunctions[0]);

// The agent's own operations as its registration built them. A build with
// another agent (the tests' fake) has none: the table above decides alone.
const DrvOps &ORA_BaseOps() __attribute__((weak));

namespace {

// Functions that one agent slot serves: claimed only while the agent holds a
// real operation there, not the "not capable" filler.
struct AgentSlot {
  uint16_t id;
  DRV_Catalog_t DrvOps::*slot;
};
constexpr AgentSlot kCatalogSlots[] = {
    {SQL_API_SQLCOLUMNPRIVILEGES, &DrvOps::DRV_DDColumnPrivileges},
    {SQL_API_SQLCOLUMNS, &DrvOps::DRV_DDColumns},
    {SQL_API_SQLFOREIGNKEYS, &DrvOps::DRV_DDForeignKeys},
    {SQL_API_SQLPRIMARYKEYS, &DrvOps::DRV_DDPrimaryKeys},
    {SQL_API_SQLPROCEDURECOLUMNS, &DrvOps::DRV_DDProcedureColumns},
    {SQL_API_SQLPROCEDURES, &DrvOps::DRV_DDProcedures},
    {SQL_API_SQLSPECIALCOLUMNS, &DrvOps::DRV_DDSpecialColumns},
    {SQL_API_SQLSTATISTICS, &DrvOps::DRV_DDStatistics},
    {SQL_API_SQLTABLEPRIVILEGES, &DrvOps::DRV_DDTablePrivileges},
    {SQL_API_SQLTABLES, &DrvOps::DRV_DDTables},
};

bool AgentServes(unsigned id) {
  if (!&ORA_BaseOps) return true;
  const DrvOps &ops = ORA_BaseOps();
  if (id == SQL_API_SQLGETTYPEINFO)
    return ops.DRV_DDTypeInfo && ops.DRV_DDTypeInfo != &drvops_detail::NotCapable<DRV_DDTypeInfo_t>::Call;
  for (const AgentSlot &s : kCatalogSlots)
    if (s.id == id) return ops.*s.slot && ops.*s.slot != &drvops_detail::NotCapable<DRV_Catalog_t>::Call;
  return true;
}

}  // namespace

bool ApiFunctionSupported(unsigned id) {
  for (const ApiFunction &f : g_apiFunctions)
    if (f.id == id) return f.implemented && AgentServes(id);
  return false;
}

namespace {

// The ODBC 2 form: 100 flags indexed by function id.
constexpr int kOdbc2Flags = 100;
// The ODBC 3 form: a 4000-bit map in 250 16-bit words.
constexpr int kOdbc3Words = SQL_API_ODBC3_ALL_FUNCTIONS_SIZE;
static_assert(kOdbc3Words == 250, "the ODBC 3 function map is 250 words");

}  // namespace

SQLRETURN odbc_GetFunctions(void *, const ApiArgs &args) {
  const uint16_t id = args.u16(0);
  auto *out = args.ptr<SQLUSMALLINT>(1);
  if (!out) return SQL_SUCCESS;
  if (id == SQL_API_ALL_FUNCTIONS) {
    SQLUSMALLINT flags[kOdbc2Flags] = {};
    for (const ApiFunction &f : g_apiFunctions)
      if (f.id < kOdbc2Flags && ApiFunctionSupported(f.id)) flags[f.id] = SQL_TRUE;
    memcpy(out, flags, sizeof flags);
  } else if (id == SQL_API_ODBC3_ALL_FUNCTIONS) {
    SQLUSMALLINT map[kOdbc3Words] = {};
    for (const ApiFunction &f : g_apiFunctions)
      if (f.id < kOdbc3Words * 16 && ApiFunctionSupported(f.id)) map[f.id >> 4] = static_cast<SQLUSMALLINT>(map[f.id >> 4] | 1u << (f.id & 15));
    memcpy(out, map, sizeof map);
  } else {
    // Ids beyond the 4000-bit map name nothing this driver has.
    *out = ApiFunctionSupported(id) ? SQL_TRUE : SQL_FALSE;
  }
  return SQL_SUCCESS;
}

// ---- SQLGetInfo -----------------------------------------------------------------

namespace {

constexpr uint16_t kShortTypes[] = {
    SQL_MAX_DRIVER_CONNECTIONS, SQL_MAX_CONCURRENT_ACTIVITIES, SQL_ODBC_SAG_CLI_CONFORMANCE,
    SQL_ODBC_SQL_CONFORMANCE, SQL_CONCAT_NULL_BEHAVIOR, SQL_CURSOR_COMMIT_BEHAVIOR, SQL_CURSOR_ROLLBACK_BEHAVIOR,
    SQL_IDENTIFIER_CASE, SQL_MAX_COLUMN_NAME_LEN, SQL_MAX_CURSOR_NAME_LEN, SQL_MAX_SCHEMA_NAME_LEN,
    SQL_MAX_PROCEDURE_NAME_LEN, SQL_MAX_CATALOG_NAME_LEN, SQL_MAX_TABLE_NAME_LEN, SQL_TXN_CAPABLE,
    SQL_CORRELATION_NAME, SQL_NON_NULLABLE_COLUMNS, SQL_FILE_USAGE, SQL_NULL_COLLATION, SQL_GROUP_BY,
    SQL_QUOTED_IDENTIFIER_CASE, SQL_MAX_COLUMNS_IN_GROUP_BY, SQL_MAX_COLUMNS_IN_INDEX, SQL_MAX_COLUMNS_IN_ORDER_BY,
    SQL_MAX_COLUMNS_IN_SELECT, SQL_MAX_COLUMNS_IN_TABLE, SQL_MAX_TABLES_IN_SELECT, SQL_MAX_USER_NAME_LEN,
    SQL_CATALOG_LOCATION, SQL_ACTIVE_ENVIRONMENTS, SQL_MAX_IDENTIFIER_LEN,
    // SQL_MAX_ASYNC_CONCURRENT_STATEMENTS is an SQLUINTEGER: it is a 32-bit type here.
};

constexpr uint16_t kTextTypes[] = {
    SQL_DRIVER_NAME, SQL_DRIVER_VER, SQL_ODBC_VER, SQL_ROW_UPDATES, SQL_SERVER_NAME, SQL_SEARCH_PATTERN_ESCAPE,
    SQL_DATABASE_NAME, SQL_DBMS_NAME, SQL_DBMS_VER, SQL_ACCESSIBLE_TABLES, SQL_ACCESSIBLE_PROCEDURES,
    SQL_PROCEDURES, SQL_DATA_SOURCE_READ_ONLY, SQL_EXPRESSIONS_IN_ORDERBY, SQL_IDENTIFIER_QUOTE_CHAR,
    SQL_MULT_RESULT_SETS, SQL_MULTIPLE_ACTIVE_TXN, SQL_OUTER_JOINS, SQL_SCHEMA_TERM, SQL_PROCEDURE_TERM,
    SQL_CATALOG_NAME_SEPARATOR, SQL_CATALOG_TERM, SQL_TABLE_TERM, SQL_USER_NAME, SQL_INTEGRITY, SQL_COLUMN_ALIAS,
    SQL_KEYWORDS, SQL_ORDER_BY_COLUMNS_IN_SELECT, SQL_SPECIAL_CHARACTERS, SQL_MAX_ROW_SIZE_INCLUDES_LONG,
    SQL_NEED_LONG_DATA_LEN, SQL_LIKE_ESCAPE_CLAUSE, SQL_XOPEN_CLI_YEAR, SQL_DESCRIBE_PARAMETER, SQL_CATALOG_NAME,
    SQL_COLLATION_SEQ,
};

// The ODBC 2 number of SQL_OJ_CAPABILITIES; it shares the slot of 115.
constexpr uint16_t kOjCapabilities2 = 65003;

// 32-bit types outside 3..172.
constexpr uint16_t kIntTypesBeyond[] = {SQL_CURSOR_SENSITIVITY, SQL_ASYNC_MODE, SQL_MAX_ASYNC_CONCURRENT_STATEMENTS};

constexpr bool In(const uint16_t *list, size_t n, uint16_t t) {
  for (size_t i = 0; i < n; ++i)
    if (list[i] == t) return true;
  return false;
}

// Types the front end answers without a cache slot.
constexpr bool FrontOnly(uint16_t t) {
  return t == SQL_DATA_SOURCE_NAME || t == SQL_ODBC_API_CONFORMANCE || t == SQL_DRIVER_ODBC_VER ||
         t == SQL_DTC_TRANSITION_COST;
}

constexpr InfoKindOf KindOf(uint16_t t) {
  if (In(kShortTypes, std::size(kShortTypes), t)) return INFOK_SHORT;
  if (In(kTextTypes, std::size(kTextTypes), t)) return INFOK_TEXT;
  if (t == kOjCapabilities2 || In(kIntTypesBeyond, std::size(kIntTypesBeyond), t)) return INFOK_INT;
  if (t >= 3 && t <= 172 && t != SQL_DM_VER && !FrontOnly(t)) return INFOK_INT;
  return INFOK_NONE;
}

// Slots of every cached type, numbered per kind in ascending type order.
struct SlotMap {
  int16_t low[173] = {};  // types 0..172
  int16_t beyond[std::size(kIntTypesBeyond)] = {};
  int16_t textBeyond[4] = {};  // 10000, 10002, 10003, 10004
  int16_t shortBeyond = 0;     // SQL_MAX_IDENTIFIER_LEN
  int counts[4] = {};
};

constexpr SlotMap BuildSlots() {
  SlotMap m;
  for (uint16_t t = 0; t <= 172; ++t) {
    InfoKindOf k = KindOf(t);
    m.low[t] = static_cast<int16_t>(k == INFOK_NONE ? -1 : m.counts[k]++);
  }
  for (size_t i = 0; i < std::size(kIntTypesBeyond); ++i) m.beyond[i] = static_cast<int16_t>(m.counts[INFOK_INT]++);
  for (int i = 0; i < 4; ++i) m.textBeyond[i] = static_cast<int16_t>(m.counts[INFOK_TEXT]++);
  m.shortBeyond = static_cast<int16_t>(m.counts[INFOK_SHORT]++);
  return m;
}

constexpr SlotMap kSlots = BuildSlots();
static_assert(kSlots.counts[INFOK_INT] <= kConnInfoNumbers, "32-bit answers fit the connection's cache");
static_assert(kSlots.counts[INFOK_SHORT] <= kConnInfoShorts, "16-bit answers fit the connection's cache");
static_assert(kSlots.counts[INFOK_TEXT] <= kConnInfoTexts, "text answers fit the connection's cache");

// Where a string answer is written: *StringLength is an SQLSMALLINT.
int16_t Len16(size_t n) { return static_cast<int16_t>(n > INT16_MAX ? INT16_MAX : n); }

SQLRETURN OutSmallInt(uint32_t v, void *buf, int16_t *outLen) {
  if (buf) {
    const uint16_t s = static_cast<uint16_t>(v);
    memcpy(buf, &s, 2);
  }
  if (outLen) *outLen = 2;
  return SQL_SUCCESS;
}

SQLRETURN OutInteger(uint32_t v, void *buf, int16_t *outLen) {
  if (buf) memcpy(buf, &v, 4);
  if (outLen) *outLen = 4;
  return SQL_SUCCESS;
}

// SQLULEN answers (the driver's handles): 8 bytes.
SQLRETURN OutULen(uint32_t v, void *buf, int16_t *outLen) {
  const SQLULEN u = v;
  if (buf) memcpy(buf, &u, sizeof u);
  if (outLen) *outLen = sizeof u;
  return SQL_SUCCESS;
}

SQLRETURN Truncated(Conn *conn) {
  conn->pending = E_01004;
  return SQL_SUCCESS_WITH_INFO;
}

// A narrow text: the full length out, cut to bufLen - 1 bytes and a NUL.
SQLRETURN OutString(Conn *conn, const char *text, void *buf, int16_t bufLen, int16_t *outLen) {
  const size_t len = strlen(text);
  if (outLen) *outLen = Len16(len);
  if (!buf) return SQL_SUCCESS;
  if (static_cast<size_t>(bufLen) > len) {
    memcpy(buf, text, len + 1);
    return SQL_SUCCESS;
  }
  if (bufLen > 0) {
    // Whole characters only: a UTF-8 sequence is never split.
    size_t n = static_cast<size_t>(bufLen) - 1;
    while (n > 0 && (static_cast<unsigned char>(text[n]) & 0xC0) == 0x80) --n;
    memcpy(buf, text, n);
    static_cast<char *>(buf)[n] = '\0';
  }
  return Truncated(conn);
}

// The agent's (UTF-8) text as UTF-16 in a buffer of bufLen bytes.
SQLRETURN OutUtf8AsWide(Conn *conn, const char *text, void *buf, int16_t bufLen, int16_t *outLen) {
  uint32_t units = 0;
  const int r = utf8_to_utf16_bufb(text, static_cast<uint16_t *>(buf), buf ? bufLen : 0, &units);
  if (outLen) *outLen = Len16(static_cast<size_t>(units) * 2);
  return buf && r != 0 ? Truncated(conn) : SQL_SUCCESS;
}

// The front end's own (narrow character set) text as UTF-16.
SQLRETURN OutAnsiAsWide(Conn *conn, const char *text, void *buf, int16_t bufLen, int16_t *outLen) {
  uint32_t bytes = 0;
  const int r = ansi_to_utf16_bufb(text, static_cast<uint16_t *>(buf), buf ? bufLen : 0, &bytes);
  if (outLen) *outLen = Len16(bytes);
  return buf && r != 0 ? Truncated(conn) : SQL_SUCCESS;
}

SQLRETURN OwnText(Conn *conn, const char *text, void *buf, int16_t bufLen, int16_t *outLen, char mode) {
  return mode == 'W' ? OutAnsiAsWide(conn, text, buf, bufLen, outLen) : OutString(conn, text, buf, bufLen, outLen);
}

bool IsHandleType(uint16_t t) {
  return t == SQL_DRIVER_HENV || t == SQL_DRIVER_HDBC || t == SQL_DRIVER_HSTMT || t == SQL_DRIVER_HDESC ||
         t == SQL_DRIVER_HLIB;
}

// The answer of a conversion type when the agent does not give them.
bool ConversionAnswer(const Conn *conn, uint16_t type, char mode, uint32_t *answer) {
  constexpr uint32_t kWideBits = SQL_CVT_WCHAR | SQL_CVT_WLONGVARCHAR | SQL_CVT_WVARCHAR;
  int16_t sqlType = 0;
  uint32_t mask = 0, value = 0;
  switch (type) {
    case SQL_CONVERT_BINARY:
    case SQL_CONVERT_VARBINARY:
    case SQL_CONVERT_LONGVARBINARY:
      sqlType = SQL_BINARY, mask = 0xFFFFFFFFu, value = 0x40F01;
      break;
    case SQL_CONVERT_DATE:
      sqlType = SQL_DATE, mask = 0x200, value = 0x28301;
      break;
    case SQL_CONVERT_TIME:
      sqlType = SQL_TIME, mask = 0x400, value = 0x30301;
      break;
    case SQL_CONVERT_TIMESTAMP:
      sqlType = SQL_TIMESTAMP, mask = 0x800, value = 0x38301;
      break;
    case SQL_CONVERT_BIGINT:
    case SQL_CONVERT_BIT:
    case SQL_CONVERT_CHAR:
    case SQL_CONVERT_DECIMAL:
    case SQL_CONVERT_DOUBLE:
    case SQL_CONVERT_FLOAT:
    case SQL_CONVERT_INTEGER:
    case SQL_CONVERT_LONGVARCHAR:
    case SQL_CONVERT_NUMERIC:
    case SQL_CONVERT_REAL:
    case SQL_CONVERT_SMALLINT:
    case SQL_CONVERT_TINYINT:
    case SQL_CONVERT_VARCHAR:
    case SQL_CONVERT_WCHAR:
    case SQL_CONVERT_WLONGVARCHAR:
    case SQL_CONVERT_WVARCHAR:
      value = 0x73FF;
      break;
    default:
      return false;
  }
  if (sqlType != 0 && !ConnTypeConvertible(conn, sqlType, mask)) value = 0;
  *answer = value != 0 && mode == 'W' ? value | kWideBits : value;
  return true;
}

SQLRETURN AgentInteger(Conn *conn, uint16_t type, void *buf, int16_t *outLen) {
  int slot = -1;
  const InfoKindOf kind = InfoTypeKind(type, &slot);
  uint32_t value = 0;
  const bool cached = kind == INFOK_SHORT ? conn->infoShorts[slot] != 0xFFFF
                                          : conn->infoNumbers[slot] != -1;
  if (cached) {
    value = kind == INFOK_SHORT ? conn->infoShorts[slot] : static_cast<uint32_t>(conn->infoNumbers[slot]);
  } else {
    int32_t answer = 0;
    int16_t len = 0;
    if (int32_t code = AgentDone(DrvCall<&DrvOps::DRV_GetInfo>(&conn->drv, conn->agentConn, InfoGetInfoInt(type),
                                                               &answer, static_cast<uint16_t>(4), &len),
                                 &conn->pending);
        code != 0) {
      conn->pending = code;
      return SQL_ERROR;
    }
    value = static_cast<uint32_t>(answer);
    if (kind == INFOK_SHORT)
      conn->infoShorts[slot] = static_cast<uint16_t>(value);
    else
      conn->infoNumbers[slot] = answer;
  }
  if (kind == INFOK_SHORT) return OutSmallInt(value, buf, outLen);
  if (IsHandleType(type)) return OutULen(value, buf, outLen);
  return OutInteger(value, buf, outLen);
}

constexpr int kAgentTextMax = 4096;

SQLRETURN AgentText(Conn *conn, uint16_t type, void *buf, int16_t bufLen, int16_t *outLen, char mode) {
  int slot = -1;
  InfoTypeKind(type, &slot);
  const bool cacheable = type != SQL_DATABASE_NAME;
  char text[kAgentTextMax];
  if (cacheable && conn->infoTexts[slot]) {
    strncpy(text, conn->infoTexts[slot], sizeof text - 1);
    text[sizeof text - 1] = '\0';
  } else {
    int16_t len = 0;
    text[0] = '\0';
    if (int32_t code = AgentDone(DrvCall<&DrvOps::DRV_GetInfo>(&conn->drv, conn->agentConn, InfoGetInfoStr(type),
                                                               text, static_cast<uint16_t>(sizeof text), &len),
                                 &conn->pending);
        code != 0) {
      conn->pending = code;
      return SQL_ERROR;
    }
    text[sizeof text - 1] = '\0';
    // Out of memory only means the agent is asked again next time.
    if (cacheable) conn->infoTexts[slot] = strdup(text);
  }
  return mode == 'W' ? OutUtf8AsWide(conn, text, buf, bufLen, outLen) : OutString(conn, text, buf, bufLen, outLen);
}

}  // namespace

InfoKindOf InfoTypeKind(uint16_t type, int *slot) {
  int s = -1;
  InfoKindOf k = KindOf(type);
  if (type <= 172) {
    s = kSlots.low[type];
  } else if (type == kOjCapabilities2) {
    s = kSlots.low[SQL_OJ_CAPABILITIES];
  } else if (type == SQL_MAX_IDENTIFIER_LEN) {
    s = kSlots.shortBeyond;
  } else if (k == INFOK_TEXT) {
    constexpr uint16_t kBeyond[4] = {SQL_XOPEN_CLI_YEAR, SQL_DESCRIBE_PARAMETER, SQL_CATALOG_NAME, SQL_COLLATION_SEQ};
    for (int i = 0; i < 4; ++i)
      if (kBeyond[i] == type) s = kSlots.textBeyond[i];
  } else if (k == INFOK_INT) {
    for (size_t i = 0; i < std::size(kIntTypesBeyond); ++i)
      if (kIntTypesBeyond[i] == type) s = kSlots.beyond[i];
  }
  if (k == INFOK_NONE) s = -1;
  if (slot) *slot = s;
  return k;
}

bool ConnTypeConvertible(const Conn *conn, int16_t sqlType, uint32_t mask) {
  const OpTableReq &t = conn->typeTable.table;
  if (conn->typeTable.valid != 1 || !t.rows) return false;
  const SQLSMALLINT cType = DefaultCType(sqlType, conn->env ? conn->env->odbcVersion : 3);
  for (int32_t i = 0; i < t.rowCount && t.rows[i].type != 0; ++i)
    if (t.rows[i].type == cType && (t.rows[i].mask & mask) != 0) return true;
  return false;
}

SQLRETURN odbc_GetInfo(void *object, const ApiArgs &args) {
  auto *conn = static_cast<Conn *>(object);
  const uint16_t type = args.u16(0);
  void *buf = args.ptr(1);
  const int16_t bufLen = args.i16(2);
  auto *outLen = args.ptr<int16_t>(3);
  const char mode = args.mode(4);
  const bool connected = conn->state == CONN_CONNECTED;
  const InfoKindOf kind = KindOf(type);

  // A string answer cannot go into a buffer of negative size.
  const bool isText = kind == INFOK_TEXT || type == SQL_DATA_SOURCE_NAME || type == SQL_DRIVER_ODBC_VER;
  if (isText && buf && bufLen < 0) {
    conn->pending = E_S1090;
    return SQL_ERROR;
  }

  switch (type) {
    case SQL_DATA_SOURCE_NAME:
      // No data source yet (or a DSN-less connection): the empty name.
      return OwnText(conn, conn->dsn ? conn->dsn : "", buf, bufLen, outLen, mode);
    case SQL_ODBC_API_CONFORMANCE:
      return OutSmallInt(1, buf, outLen);
    case SQL_DRIVER_ODBC_VER:
      return OwnText(conn, "03.50", buf, bufLen, outLen, mode);
    case SQL_DTC_TRANSITION_COST:
      return OutInteger(3, buf, outLen);
    default:
      break;
  }
  uint32_t conversion = 0;
  if (!(conn->cn_getInfoCvt && connected) && ConversionAnswer(conn, type, mode, &conversion))
    return OutInteger(conversion, buf, outLen);

  if (!connected) {
    conn->pending = E_08003;
    return SQL_ERROR;
  }
  switch (kind) {
    case INFOK_SHORT:
    case INFOK_INT:
      return AgentInteger(conn, type, buf, outLen);
    case INFOK_TEXT:
      return AgentText(conn, type, buf, bufLen, outLen, mode);
    default:
      conn->pending = E_S1096;
      return SQL_ERROR;
  }
}
