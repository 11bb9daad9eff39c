// The 127 ApiRecords, and "Driver not capable" for the implementations not
// built yet.
#include "odbc/apirec.h"

#include "odbc/data/services.h"
#include "odbc/envr.h"
#include "odbc/objects.h"
#include "odbc/sqlstate.h"
#include "odbc/stmt.h"

#define KVD_API_DEFINE(ident, name, kind, clears, flag, format, impl) \
  const ApiRecord API_##ident = {name, format, flag, clears, kind, impl};
KVD_API_RECORDS(KVD_API_DEFINE)
#undef KVD_API_DEFINE

#define KVD_API_ADDRESS(ident, name, kind, clears, flag, format, impl) &API_##ident,
const ApiRecord *const g_apiRecords[kApiRecordCount] = {KVD_API_RECORDS(KVD_API_ADDRESS)};
#undef KVD_API_ADDRESS

SQLRETURN ApiNotCapable(void *object) {
  if (!object) return SQL_ERROR;
  // Every handle object begins with its magic word.
  switch (*static_cast<const int32_t *>(object)) {
    case MAGIC_ENVR:
      static_cast<Envr *>(object)->pending = E_S1C00;
      break;
    case MAGIC_CONN:
      static_cast<Conn *>(object)->pending = E_S1C00;
      break;
    case MAGIC_STMT:
      static_cast<Stmt *>(object)->pending = E_S1C00;
      break;
    case MAGIC_DESC:
      static_cast<Desc *>(object)->pending = E_S1C00;
      break;
    default:
      break;
  }
  return SQL_ERROR;
}

// Weak: the module that implements one of these replaces it by defining it.
#define KVD_PENDING __attribute__((weak))

KVD_PENDING SQLRETURN odbc_DriverConnect(void *object, const ApiArgs &) { return ApiNotCapable(object); }
KVD_PENDING SQLRETURN odbc_Disconnect(void *object, const ApiArgs &) { return ApiNotCapable(object); }
KVD_PENDING SQLRETURN odbc_SetStmtOption(void *object, const ApiArgs &) { return ApiNotCapable(object); }
KVD_PENDING SQLRETURN odbc_GetStmtOption(void *object, const ApiArgs &) { return ApiNotCapable(object); }
KVD_PENDING SQLRETURN odbc_GetStmtAttr(void *object, const ApiArgs &) { return ApiNotCapable(object); }
KVD_PENDING SQLRETURN odbc_SetStmtAttr(void *object, const ApiArgs &) { return ApiNotCapable(object); }
KVD_PENDING SQLRETURN odbc_Error_Env(void *object, const ApiArgs &) { return ApiNotCapable(object); }
KVD_PENDING SQLRETURN odbc_Error_Dbc(void *object, const ApiArgs &) { return ApiNotCapable(object); }
KVD_PENDING SQLRETURN odbc_Error_Stmt(void *object, const ApiArgs &) { return ApiNotCapable(object); }
KVD_PENDING SQLRETURN odbc_ColAttributes(void *object, const ApiArgs &) { return ApiNotCapable(object); }
KVD_PENDING SQLRETURN odbc_ColAttribute(void *object, const ApiArgs &) { return ApiNotCapable(object); }
KVD_PENDING SQLRETURN odbc_ColumnPrivileges(void *object, const ApiArgs &) { return ApiNotCapable(object); }
KVD_PENDING SQLRETURN odbc_Columns(void *object, const ApiArgs &) { return ApiNotCapable(object); }
KVD_PENDING SQLRETURN odbc_Connect(void *object, const ApiArgs &) { return ApiNotCapable(object); }
KVD_PENDING SQLRETURN odbc_CopyDesc(void *object, const ApiArgs &) { return ApiNotCapable(object); }
KVD_PENDING SQLRETURN odbc_DescribeCol(void *object, const ApiArgs &) { return ApiNotCapable(object); }
KVD_PENDING SQLRETURN odbc_Transact_Env(void *object, const ApiArgs &) { return ApiNotCapable(object); }
KVD_PENDING SQLRETURN odbc_Transact_Dbc(void *object, const ApiArgs &) { return ApiNotCapable(object); }
KVD_PENDING SQLRETURN odbc_ExecDirect(void *object, const ApiArgs &) { return ApiNotCapable(object); }
KVD_PENDING SQLRETURN odbc_ForeignKeys(void *object, const ApiArgs &) { return ApiNotCapable(object); }
KVD_PENDING SQLRETURN odbc_SetConnectOption(void *object, const ApiArgs &) { return ApiNotCapable(object); }
KVD_PENDING SQLRETURN odbc_GetConnectOption(void *object, const ApiArgs &) { return ApiNotCapable(object); }
KVD_PENDING SQLRETURN odbc_SetConnectAttr(void *object, const ApiArgs &) { return ApiNotCapable(object); }
KVD_PENDING SQLRETURN odbc_GetConnectAttr(void *object, const ApiArgs &) { return ApiNotCapable(object); }
KVD_PENDING SQLRETURN odbc_GetCursorName(void *object, const ApiArgs &) { return ApiNotCapable(object); }
KVD_PENDING SQLRETURN odbc_SetDescRec(void *object, const ApiArgs &) { return ApiNotCapable(object); }
KVD_PENDING SQLRETURN odbc_GetDescRec(void *object, const ApiArgs &) { return ApiNotCapable(object); }
KVD_PENDING SQLRETURN odbc_GetDiagField_Env(void *object, const ApiArgs &) { return ApiNotCapable(object); }
KVD_PENDING SQLRETURN odbc_GetDiagField_Dbc(void *object, const ApiArgs &) { return ApiNotCapable(object); }
KVD_PENDING SQLRETURN odbc_GetDiagField_Stmt(void *object, const ApiArgs &) { return ApiNotCapable(object); }
KVD_PENDING SQLRETURN odbc_GetDiagField_Desc(void *object, const ApiArgs &) { return ApiNotCapable(object); }
KVD_PENDING SQLRETURN odbc_GetDiagRec_Env(void *object, const ApiArgs &) { return ApiNotCapable(object); }
KVD_PENDING SQLRETURN odbc_GetDiagRec_Dbc(void *object, const ApiArgs &) { return ApiNotCapable(object); }
KVD_PENDING SQLRETURN odbc_GetDiagRec_Stmt(void *object, const ApiArgs &) { return ApiNotCapable(object); }
KVD_PENDING SQLRETURN odbc_GetDiagRec_Desc(void *object, const ApiArgs &) { return ApiNotCapable(object); }
KVD_PENDING SQLRETURN odbc_GetFunctions(void *object, const ApiArgs &) { return ApiNotCapable(object); }
KVD_PENDING SQLRETURN odbc_GetInfo(void *object, const ApiArgs &) { return ApiNotCapable(object); }
KVD_PENDING SQLRETURN odbc_MoreResults(void *object, const ApiArgs &) { return ApiNotCapable(object); }
KVD_PENDING SQLRETURN odbc_NativeSql(void *object, const ApiArgs &) { return ApiNotCapable(object); }
KVD_PENDING SQLRETURN odbc_NumParams(void *object, const ApiArgs &) { return ApiNotCapable(object); }
KVD_PENDING SQLRETURN odbc_NumResultCols(void *object, const ApiArgs &) { return ApiNotCapable(object); }
KVD_PENDING SQLRETURN odbc_ParamOptions(void *object, const ApiArgs &) { return ApiNotCapable(object); }
KVD_PENDING SQLRETURN odbc_Prepare(void *object, const ApiArgs &) { return ApiNotCapable(object); }
KVD_PENDING SQLRETURN odbc_PrimaryKeys(void *object, const ApiArgs &) { return ApiNotCapable(object); }
KVD_PENDING SQLRETURN odbc_ProcedureColumns(void *object, const ApiArgs &) { return ApiNotCapable(object); }
KVD_PENDING SQLRETURN odbc_Procedures(void *object, const ApiArgs &) { return ApiNotCapable(object); }
KVD_PENDING SQLRETURN odbc_RowCount(void *object, const ApiArgs &) { return ApiNotCapable(object); }
KVD_PENDING SQLRETURN odbc_SetCursorName(void *object, const ApiArgs &) { return ApiNotCapable(object); }
KVD_PENDING SQLRETURN odbc_SpecialColumns(void *object, const ApiArgs &) { return ApiNotCapable(object); }
KVD_PENDING SQLRETURN odbc_Statistics(void *object, const ApiArgs &) { return ApiNotCapable(object); }
KVD_PENDING SQLRETURN odbc_TablePrivileges(void *object, const ApiArgs &) { return ApiNotCapable(object); }
KVD_PENDING SQLRETURN odbc_Tables(void *object, const ApiArgs &) { return ApiNotCapable(object); }
