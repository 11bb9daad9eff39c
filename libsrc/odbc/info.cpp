// SQLGetFunctions: what the driver claims to implement.
#include <sql.h>
#include <sqlext.h>

#include <cstring>

#include "odbc/apirec.h"
#include "odbc/info.h"

// Every function the driver exports, with the implementations it runs. A
// function is claimed only while all of them are built (see info.h).
const ApiFunction g_apiFunctions[] = {
    {SQL_API_SQLALLOCCONNECT, "SQLAllocConnect", "AllocConnect", true},
    {SQL_API_SQLALLOCENV, "SQLAllocEnv", "AllocEnv", true},
    {SQL_API_SQLALLOCSTMT, "SQLAllocStmt", "AllocStmt", true},
    {SQL_API_SQLBINDCOL, "SQLBindCol", "BindCol", false},
    {SQL_API_SQLCANCEL, "SQLCancel", "", true},
    {SQL_API_SQLCOLATTRIBUTES, "SQLColAttribute(s)", "ColAttributes ColAttribute", false},
    {SQL_API_SQLCONNECT, "SQLConnect", "Connect", true},
    {SQL_API_SQLDESCRIBECOL, "SQLDescribeCol", "DescribeCol", false},
    {SQL_API_SQLDISCONNECT, "SQLDisconnect", "Disconnect", true},
    {SQL_API_SQLERROR, "SQLError", "Error_Env Error_Dbc Error_Stmt", true},
    {SQL_API_SQLEXECDIRECT, "SQLExecDirect", "ExecDirect", true},
    {SQL_API_SQLEXECUTE, "SQLExecute", "Execute", false},
    {SQL_API_SQLFETCH, "SQLFetch", "Fetch", false},
    {SQL_API_SQLFREECONNECT, "SQLFreeConnect", "FreeConnect", true},
    {SQL_API_SQLFREEENV, "SQLFreeEnv", "FreeEnv", true},
    {SQL_API_SQLFREESTMT, "SQLFreeStmt", "FreeStmt", true},
    {SQL_API_SQLGETCURSORNAME, "SQLGetCursorName", "GetCursorName", true},
    {SQL_API_SQLNUMRESULTCOLS, "SQLNumResultCols", "NumResultCols", true},
    {SQL_API_SQLPREPARE, "SQLPrepare", "Prepare", true},
    {SQL_API_SQLROWCOUNT, "SQLRowCount", "RowCount", true},
    {SQL_API_SQLSETCURSORNAME, "SQLSetCursorName", "SetCursorName", true},
    {SQL_API_SQLSETPARAM, "SQLSetParam", "SetParam", false},
    {SQL_API_SQLTRANSACT, "SQLTransact", "Transact_Env Transact_Dbc", true},
    {SQL_API_SQLBULKOPERATIONS, "SQLBulkOperations", "BulkOperations", false},
    {SQL_API_SQLCOLUMNS, "SQLColumns", "Columns", false},
    {SQL_API_SQLDRIVERCONNECT, "SQLDriverConnect", "DriverConnect", true},
    {SQL_API_SQLGETCONNECTOPTION, "SQLGetConnectOption", "GetConnectOption", true},
    {SQL_API_SQLGETDATA, "SQLGetData", "GetData", false},
    {SQL_API_SQLGETFUNCTIONS, "SQLGetFunctions", "GetFunctions", true},
    {SQL_API_SQLGETINFO, "SQLGetInfo", "GetInfo", false},
    {SQL_API_SQLGETSTMTOPTION, "SQLGetStmtOption", "GetStmtOption", true},
    {SQL_API_SQLGETTYPEINFO, "SQLGetTypeInfo", "GetTypeInfo", false},
    {SQL_API_SQLPARAMDATA, "SQLParamData", "ParamData", false},
    {SQL_API_SQLPUTDATA, "SQLPutData", "PutData", false},
    {SQL_API_SQLSETCONNECTOPTION, "SQLSetConnectOption", "SetConnectOption", true},
    {SQL_API_SQLSETSTMTOPTION, "SQLSetStmtOption", "SetStmtOption", true},
    {SQL_API_SQLSPECIALCOLUMNS, "SQLSpecialColumns", "SpecialColumns", false},
    {SQL_API_SQLSTATISTICS, "SQLStatistics", "Statistics", false},
    {SQL_API_SQLTABLES, "SQLTables", "Tables", false},
    {SQL_API_SQLCOLUMNPRIVILEGES, "SQLColumnPrivileges", "ColumnPrivileges", false},
    {SQL_API_SQLDESCRIBEPARAM, "SQLDescribeParam", "DescribeParam", false},
    {SQL_API_SQLEXTENDEDFETCH, "SQLExtendedFetch", "ExtendedFetch", false},
    {SQL_API_SQLFOREIGNKEYS, "SQLForeignKeys", "ForeignKeys", false},
    {SQL_API_SQLMORERESULTS, "SQLMoreResults", "MoreResults", true},
    {SQL_API_SQLNATIVESQL, "SQLNativeSql", "NativeSql", true},
    {SQL_API_SQLNUMPARAMS, "SQLNumParams", "NumParams", true},
    {SQL_API_SQLPARAMOPTIONS, "SQLParamOptions", "ParamOptions", true},
    {SQL_API_SQLPRIMARYKEYS, "SQLPrimaryKeys", "PrimaryKeys", false},
    {SQL_API_SQLPROCEDURECOLUMNS, "SQLProcedureColumns", "ProcedureColumns", false},
    {SQL_API_SQLPROCEDURES, "SQLProcedures", "Procedures", false},
    {SQL_API_SQLSETPOS, "SQLSetPos", "SetPos", false},
    {SQL_API_SQLTABLEPRIVILEGES, "SQLTablePrivileges", "TablePrivileges", false},
    {SQL_API_SQLBINDPARAMETER, "SQLBindParameter", "BindParameter", false},
    {SQL_API_SQLALLOCHANDLE, "SQLAllocHandle", "AllocHandle_Env AllocHandle_Dbc AllocHandle_Stmt AllocHandle_Desc",
     true},
    {SQL_API_SQLCLOSECURSOR, "SQLCloseCursor", "CloseCursor", true},
    {SQL_API_SQLCOPYDESC, "SQLCopyDesc", "CopyDesc", true},
    {SQL_API_SQLENDTRAN, "SQLEndTran", "Transact_Env Transact_Dbc", true},
    {SQL_API_SQLFREEHANDLE, "SQLFreeHandle", "FreeHandle_Env FreeHandle_Dbc FreeHandle_Stmt FreeHandle_Desc", true},
    {SQL_API_SQLGETCONNECTATTR, "SQLGetConnectAttr", "GetConnectAttr", true},
    {SQL_API_SQLGETDESCFIELD, "SQLGetDescField", "GetDescField", false},
    {SQL_API_SQLGETDESCREC, "SQLGetDescRec", "GetDescRec", true},
    {SQL_API_SQLGETDIAGFIELD, "SQLGetDiagField", "GetDiagField_Env GetDiagField_Dbc GetDiagField_Stmt GetDiagField_Desc",
     true},
    {SQL_API_SQLGETDIAGREC, "SQLGetDiagRec", "GetDiagRec_Env GetDiagRec_Dbc GetDiagRec_Stmt GetDiagRec_Desc", true},
    {SQL_API_SQLGETENVATTR, "SQLGetEnvAttr", "GetEnvAttr", true},
    {SQL_API_SQLGETSTMTATTR, "SQLGetStmtAttr", "GetStmtAttr", true},
    {SQL_API_SQLSETCONNECTATTR, "SQLSetConnectAttr", "SetConnectAttr", true},
    {SQL_API_SQLSETDESCFIELD, "SQLSetDescField", "SetDescField", false},
    {SQL_API_SQLSETDESCREC, "SQLSetDescRec", "SetDescRec", true},
    {SQL_API_SQLSETENVATTR, "SQLSetEnvAttr", "SetEnvAttr", true},
    {SQL_API_SQLSETSTMTATTR, "SQLSetStmtAttr", "SetStmtAttr", true},
    {SQL_API_SQLFETCHSCROLL, "SQLFetchScroll", "FetchScroll", false},
};
const int g_apiFunctionCount = static_cast<int>(sizeof g_apiFunctions / sizeof g_apiFunctions[0]);

bool ApiFunctionSupported(unsigned id) {
  for (const ApiFunction &f : g_apiFunctions)
    if (f.id == id) return f.implemented;
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
      if (f.implemented && f.id < kOdbc2Flags) flags[f.id] = SQL_TRUE;
    memcpy(out, flags, sizeof flags);
  } else if (id == SQL_API_ODBC3_ALL_FUNCTIONS) {
    SQLUSMALLINT map[kOdbc3Words] = {};
    for (const ApiFunction &f : g_apiFunctions)
      if (f.implemented && f.id < kOdbc3Words * 16) map[f.id >> 4] = static_cast<SQLUSMALLINT>(map[f.id >> 4] | 1u << (f.id & 15));
    memcpy(out, map, sizeof map);
  } else {
    // Ids beyond the 4000-bit map name nothing this driver has.
    *out = ApiFunctionSupported(id) ? SQL_TRUE : SQL_FALSE;
  }
  return SQL_SUCCESS;
}
