#pragma once
// The constant ApiRecord of every dispatched ODBC function: one per function,
// per handle kind where one function serves several (SQLFreeHandle,
// SQLAllocHandle, SQLTransact, SQLError and the diagnostic functions), and
// per form where the narrow and the W entry point are traced apart. 127
// records; SQLCancel has none (it does not pass through the dispatcher).
//
// KVD_API_RECORDS(X) lists them as X(ident, name, kind, clearsDiag, flag,
// traceFormat, implementation); each becomes `extern const ApiRecord
// API_<ident>`.
#include "odbc/dispatch.h"

// clang-format off
#define KVD_API_RECORDS(X) \
  X(DriverConnect, "DriverConnect", HK_DBC, 1, 1, "HWND=%p szConnStrIn=%lX cbConnStrIn=%d szConnStrOut=%lX cbConnStrOutMax=%d pcbConnStrOutMax=%lX fDriverCompletion=%u", odbc_DriverConnect) \
  X(DriverConnectW, "DriverConnectW", HK_DBC, 1, 1, "HWND=%x szConnStrIn=%lX cbConnStrIn=%d szConnStrOut=%lX cbConnStrOutMax=%d pcbConnStrOutMax=%lX fDriverCompletion=%u", odbc_DriverConnect) \
  X(FreeHandle_Env, "FreeHandle", HK_ENV, 1, 0, "handleType=1", odbc_FreeHandle_Env) \
  X(FreeHandle_Dbc, "FreeHandle", HK_DBC, 1, 0, "handleType=2", odbc_FreeHandle_Dbc) \
  X(FreeHandle_Stmt, "FreeHandle", HK_STMT, 1, 0, "handleType=3", odbc_FreeHandle_Stmt) \
  X(FreeHandle_Desc, "FreeHandle", HK_DESC, 1, 0, "handleType=4", odbc_FreeHandle_Desc) \
  X(SetEnvAttr, "SetEnvAttr", HK_ENV, 1, 0, "Attribute=%ld ValuePtr=%lX StringLength=%ld", odbc_SetEnvAttr) \
  X(GetEnvAttr, "GetEnvAttr", HK_ENV, 1, 0, "Attribute=%ld ValuePtr=%lX BufferLength=%ld, StringLengthPtr=%lX", odbc_GetEnvAttr) \
  X(AllocHandle_Env, "AllocHandle", HK_NONE, 0, 0, "handleType=1", odbc_AllocHandle_Env) \
  X(AllocHandle_Dbc, "AllocHandle", HK_ENV, 1, 0, "handleType=2", odbc_AllocHandle_Dbc) \
  X(AllocHandle_Stmt, "AllocHandle", HK_DBC, 1, 0, "handleType=3", odbc_AllocHandle_Stmt) \
  X(AllocHandle_Desc, "AllocHandle", HK_DBC, 1, 0, "handleType=4", odbc_AllocHandle_Desc) \
  X(Disconnect, "Disconnect", HK_DBC, 1, 0, "", odbc_Disconnect) \
  X(Fetch, "Fetch", HK_STMT, 1, 1, "", odbc_Fetch) \
  X(GetData, "GetData", HK_STMT, 1, 1, "icol=%u fCType=%d rgbValue=%lX cbValueMax=%ld pcbValue=%lX", odbc_GetData) \
  X(SetParam, "SetParam", HK_STMT, 1, 0, "ipar=%u fCType=%d fSqlType=%d cbColDef=%lu ibScale=%d rgbValue=%lX pcbValue=%lX", odbc_SetParam) \
  X(BindParameter, "BindParameter", HK_STMT, 1, 0, "ipar=%u fParamType=%d fCType=%d fSqlType=%d cbColDef=%lu ibScale=%d rgbValue=%lX cbValueMax=%lu pcbValue=%lX", odbc_BindParameter) \
  X(ParamData, "ParamData", HK_STMT, 1, 1, "prgbValue=%lX", odbc_ParamData) \
  X(PutData, "PutData", HK_STMT, 1, 1, "rgbValue=%lX cbValue=%ld", odbc_PutData) \
  X(DescribeParam, "DescribeParam", HK_STMT, 1, 1, "ipar=%u pfSqlType=%lX pcbColDef=%lX pibScale=%lX pfNullable=%lX", odbc_DescribeParam) \
  X(GetDescField, "GetDescField", HK_DESC, 1, 0, "RecNumber=%d FieldIdentifier=%d\nValuePtr=%lX BufferLength=%d StringLengthPtr=%lX", odbc_GetDescField) \
  X(GetDescFieldW, "GetDescFieldW", HK_DESC, 1, 0, "RecNumber=%d FieldIdentifier=%d\nValuePtr=%lX BufferLength=%d StringLengthPtr=%lX", odbc_GetDescField) \
  X(SetDescField, "SetDescField", HK_DESC, 1, 0, "RecNumber=%d FieldIdentifier=%d\nValuePtr=%lX StringLength=%d", odbc_SetDescField) \
  X(SetDescFieldW, "SetDescFieldW", HK_DESC, 1, 0, "RecNumber=%d FieldIdentifier=%d\nValuePtr=%lX StringLength=%d", odbc_SetDescField) \
  X(SetStmtOption, "SetStmtOption", HK_STMT, 1, 0, "fOption=%u vParam=%08lX", odbc_SetStmtOption) \
  X(GetStmtOption, "GetStmtOption", HK_STMT, 1, 0, "fOption=%u pvParam=%08lX", odbc_GetStmtOption) \
  X(GetStmtAttr, "GetStmtAttr", HK_STMT, 1, 0, "Attribute=%ld ValuePtr=%08lX BufferLength=%ld StringLengthPtr=%08lX", odbc_GetStmtAttr) \
  X(GetStmtAttrW, "GetStmtAttrW", HK_STMT, 1, 0, "Attribute=%ld ValuePtr=%08lX BufferLength=%ld StringLengthPtr=%08lX", odbc_GetStmtAttr) \
  X(SetStmtAttr, "SetStmtAttr", HK_STMT, 1, 0, "Attribute=%ld ValuePtr=%08lX StringLength=%ld", odbc_SetStmtAttr) \
  X(SetStmtAttrW, "SetStmtAttrW", HK_STMT, 1, 0, "Attribute=%ld ValuePtr=%08lX StringLength=%ld", odbc_SetStmtAttr) \
  X(BindCol, "BindCol", HK_STMT, 1, 0, "icol=%u fCType=%d rgbValue=%lX cbValueMax=%ld pcbValue=%lX", odbc_BindCol) \
  X(Error_Env, "Error", HK_ENV, 0, 1, "szSqlState=%lX pfNativeError=%lX\nszErrorMsg=%lX cbErrorMsgMax=%d pcbErrorMsg=%lX", odbc_Error_Env) \
  X(Error_Dbc, "Error", HK_DBC, 0, 1, "szSqlState=%lX pfNativeError=%lX\nszErrorMsg=%lX cbErrorMsgMax=%d pcbErrorMsg=%lX", odbc_Error_Dbc) \
  X(Error_Stmt, "Error", HK_STMT, 0, 1, "szSqlState=%lX pfNativeError=%lX\nszErrorMsg=%lX cbErrorMsgMax=%d pcbErrorMsg=%lX", odbc_Error_Stmt) \
  X(ErrorW_Env, "ErrorW", HK_ENV, 0, 1, "szSqlState=%lX pfNativeError=%lX\nszErrorMsg=%lX cbErrorMsgMax=%d pcbErrorMsg=%lX", odbc_Error_Env) \
  X(ErrorW_Dbc, "ErrorW", HK_DBC, 0, 1, "szSqlState=%lX pfNativeError=%lX\nszErrorMsg=%lX cbErrorMsgMax=%d pcbErrorMsg=%lX", odbc_Error_Dbc) \
  X(ErrorW_Stmt, "ErrorW", HK_STMT, 0, 1, "szSqlState=%lX pfNativeError=%lX\nszErrorMsg=%lX cbErrorMsgMax=%d pcbErrorMsg=%lX", odbc_Error_Stmt) \
  X(FetchScroll, "FetchScroll", HK_STMT, 1, 1, "fOrient=%d, fOffset=%ld", odbc_FetchScroll) \
  X(SetPos, "SetPos", HK_STMT, 1, 1, "irow=%u fOption=%u fLock=%u", odbc_SetPos) \
  X(BulkOperations, "BulkOperations", HK_STMT, 1, 1, "op=%u", odbc_BulkOperations) \
  X(Execute, "Execute", HK_STMT, 1, 1, "", odbc_Execute) \
  X(GetTypeInfo, "GetTypeInfo", HK_STMT, 1, 1, "fSqlType=%d", odbc_GetTypeInfo) \
  X(GetTypeInfoW, "GetTypeInfoW", HK_STMT, 1, 1, "fSqlType=%d", odbc_GetTypeInfo) \
  X(ExtendedFetch, "ExtendedFetch", HK_STMT, 1, 1, "fFetchType=%u irow=%ld pcrow=%lX rgfRowStatus=%lX", odbc_ExtendedFetch) \
  X(AllocConnect, "AllocConnect", HK_ENV, 1, 0, "phdbc=%08lX", odbc_AllocConnect) \
  X(AllocEnv, "AllocEnv", HK_NONE, 1, 0, "phenv=%lX", odbc_AllocEnv) \
  X(AllocStmt, "AllocStmt", HK_DBC, 1, 0, "phstmt=%lX", odbc_AllocStmt) \
  X(CloseCursor, "CloseCursor", HK_STMT, 1, 0, "", odbc_CloseCursor) \
  X(ColAttributes, "ColAttributes", HK_STMT, 1, 1, "icol=%u fDescType=%u rgbDesc=%08lX cbDescMax=%u pcbDesc=%08lX pfDesc=%08lX", odbc_ColAttributes) \
  X(ColAttributesW, "ColAttributesW", HK_STMT, 1, 1, "icol=%u fDescType=%u rgbDesc=%08lX cbDescMax=%u pcbDesc=%08lX pfDesc=%08lX", odbc_ColAttributes) \
  X(ColAttribute, "ColAttribute", HK_STMT, 1, 1, "icol=%u fDescType=%u rgbDesc=%08lX cbDescMax=%u pcbDesc=%08lX pfDesc=%08lX", odbc_ColAttribute) \
  X(ColAttributeW, "ColAttributeW", HK_STMT, 1, 1, "icol=%u fDescType=%u rgbDesc=%08lX cbDescMax=%u pcbDesc=%08lX pfDesc=%08lX", odbc_ColAttribute) \
  X(ColumnPrivileges, "ColumnPrivileges", HK_STMT, 1, 1, "szTableQualifier=%lX cbTableQualifier=%d szTableOwner=%lX cbTableOwner=%d szTableName=%lX cbTableName=%d szColumnName=%lX cbColumnName=%d", odbc_ColumnPrivileges) \
  X(ColumnPrivilegesW, "ColumnPrivilegesW", HK_STMT, 1, 1, "szTableQualifier=%lX cbTableQualifier=%d szTableOwner=%lX cbTableOwner=%d szTableName=%lX cbTableName=%d szColumnName=%lX cbColumnName=%d", odbc_ColumnPrivileges) \
  X(Columns, "Columns", HK_STMT, 1, 1, "szTableQualifier=%lX cbTableQualifier=%d szTableOwner=%lX cbTableOwner=%d szTableName=%lX cbTableName=%d szColumnName=%lX cbColumnName=%d", odbc_Columns) \
  X(ColumnsW, "ColumnsW", HK_STMT, 1, 1, "szTableQualifier=%lX cbTableQualifier=%d szTableOwner=%lX cbTableOwner=%d szTableName=%lX cbTableName=%d szColumnName=%lX cbColumnName=%d", odbc_Columns) \
  X(Connect, "Connect", HK_DBC, 1, 1, "szDSN=%lX cbDSN=%d szUID=%lX cbUID=%d szPWD=%lX cbPWD=%d", odbc_Connect) \
  X(ConnectW, "ConnectW", HK_DBC, 1, 1, "szDSN=%lX cbDSN=%d szUID=%lX cbUID=%d szPWD=%lX cbPWD=%d", odbc_Connect) \
  X(CopyDesc, "CopyDesc", HK_DESC, 1, 0, "TargetDescHandle=%lX", odbc_CopyDesc) \
  X(DescribeCol, "DescribeCol", HK_STMT, 1, 1, "icol=%u szColName=%lX cbColNameMax=%d pcbColName=%lX pfSqlType=%lX pcbColDef=%lX pibScale=%lX pfNullable=%lX", odbc_DescribeCol) \
  X(DescribeColW, "DescribeColW", HK_STMT, 1, 1, "icol=%u szColName=%lX cbColNameMax=%d pcbColName=%lX pfSqlType=%lX pcbColDef=%lX pibScale=%lX pfNullable=%lX", odbc_DescribeCol) \
  X(Transact_Env, "Transact", HK_ENV, 1, 0, "fType=%u", odbc_Transact_Env) \
  X(Transact_Dbc, "Transact", HK_DBC, 1, 0, "fType=%u", odbc_Transact_Dbc) \
  X(ExecDirect, "ExecDirect", HK_STMT, 1, 1, "szSqlStr=%lX cbSqlStr=%ld", odbc_ExecDirect) \
  X(ExecDirectW, "ExecDirectW", HK_STMT, 1, 1, "szSqlStr=%lX cbSqlStr=%ld", odbc_ExecDirect) \
  X(ForeignKeys, "ForeignKeys", HK_STMT, 1, 1, "szPkTQual=%lX cbPkTQual=%d szPkTOwn=%lX cbPkTOwn=%d szPkTName=%lX cbPkTName=%d szFkTQual=%lX cbFkTQual=%d szFkTOwn=%lX cbFkTOwn=%d szFkTName=%lX cbFkTName=%d", odbc_ForeignKeys) \
  X(ForeignKeysW, "ForeignKeysW", HK_STMT, 1, 1, "szPkTQual=%lX cbPkTQual=%d szPkTOwn=%lX cbPkTOwn=%d szPkTName=%lX cbPkTName=%d szFkTQual=%lX cbFkTQual=%d szFkTOwn=%lX cbFkTOwn=%d szFkTName=%lX cbFkTName=%d", odbc_ForeignKeys) \
  X(FreeConnect, "FreeConnect", HK_DBC, 1, 0, "", odbc_FreeConnect) \
  X(FreeEnv, "FreeEnv", HK_ENV, 1, 0, "", odbc_FreeEnv) \
  X(FreeStmt, "FreeStmt", HK_STMT, 1, 0, "fOption=%u", odbc_FreeStmt) \
  X(SetConnectOption, "SetConnectOption", HK_DBC, 1, 0, "fOption=%u vParam=%lu", odbc_SetConnectOption) \
  X(SetConnectOptionW, "SetConnectOptionW", HK_DBC, 1, 0, "fOption=%u vParam=%lu", odbc_SetConnectOption) \
  X(GetConnectOption, "GetConnectOption", HK_DBC, 1, 0, "fOption=%u pvParam=%lX", odbc_GetConnectOption) \
  X(GetConnectOptionW, "GetConnectOptionW", HK_DBC, 1, 0, "fOption=%u pvParam=%lX", odbc_GetConnectOption) \
  X(SetConnectAttr, "SetConnectAttr", HK_DBC, 1, 0, "Attribute=%u ValuePtr=%lX StringLength=%d", odbc_SetConnectAttr) \
  X(SetConnectAttrW, "SetConnectAttrW", HK_DBC, 1, 0, "Attribute=%u ValuePtr=%lX StringLength=%d", odbc_SetConnectAttr) \
  X(GetConnectAttr, "GetConnectAttr", HK_DBC, 1, 0, "Attribute=%u ValuePtr=%lX BufferLength=%d StringLengthPtr=%lX", odbc_GetConnectAttr) \
  X(GetConnectAttrW, "GetConnectAttrW", HK_DBC, 1, 0, "Attribute=%u ValuePtr=%lX BufferLength=%d StringLengthPtr=%lX", odbc_GetConnectAttr) \
  X(GetCursorName, "GetCursorName", HK_STMT, 1, 0, "szCursor=%lX cbCursorMax=%d pcbCursor=%lX", odbc_GetCursorName) \
  X(GetCursorNameW, "GetCursorNameW", HK_STMT, 1, 0, "szCursor=%lX cbCursorMax=%d pcbCursor=%lX", odbc_GetCursorName) \
  X(SetDescRec, "SetDescRec", HK_DESC, 1, 0, "RecNumber=%d\nType=%d SubType=%d Length=%d Precision=%d Scale=%d\nDataPtr=%lX StringLengthPtr=%lX IndicatorPtr=%lX", odbc_SetDescRec) \
  X(GetDescRec, "GetDescRec", HK_DESC, 1, 0, "RecNumber=%d\nName=%lX BufferLength=%d StringLengthPtr=%lX\nTypePtr=%lX SubTypePtr=%lX LengthPtr=%lX\nPrecisionPtr=%lX ScalePtr=%lX NullablePtr=%lX", odbc_GetDescRec) \
  X(GetDescRecW, "GetDescRecW", HK_DESC, 1, 0, "RecNumber=%d\nName=%lX BufferLength=%d StringLengthPtr=%lX\nTypePtr=%lX SubTypePtr=%lX LengthPtr=%lX\nPrecisionPtr=%lX ScalePtr=%lX NullablePtr=%lX", odbc_GetDescRec) \
  X(GetDiagField_Env, "GetDiagField", HK_ENV, 0, 0, "RecNumber=%d DiagIdentifier=%d\nDiagInfoPtr=%lX BufferLength=%d StringLengthPtr=%lX", odbc_GetDiagField_Env) \
  X(GetDiagField_Dbc, "GetDiagField", HK_DBC, 0, 0, "RecNumber=%d DiagIdentifier=%d\nDiagInfoPtr=%lX BufferLength=%d StringLengthPtr=%lX", odbc_GetDiagField_Dbc) \
  X(GetDiagField_Stmt, "GetDiagField", HK_STMT, 0, 0, "RecNumber=%d DiagIdentifier=%d\nDiagInfoPtr=%lX BufferLength=%d StringLengthPtr=%lX", odbc_GetDiagField_Stmt) \
  X(GetDiagField_Desc, "GetDiagField", HK_DESC, 0, 0, "RecNumber=%d DiagIdentifier=%d\nDiagInfoPtr=%lX BufferLength=%d StringLengthPtr=%lX", odbc_GetDiagField_Desc) \
  X(GetDiagFieldW_Env, "GetDiagFieldW", HK_ENV, 0, 0, "RecNumber=%d DiagIdentifier=%d\nDiagInfoPtr=%lX BufferLength=%d StringLengthPtr=%lX", odbc_GetDiagField_Env) \
  X(GetDiagFieldW_Dbc, "GetDiagFieldW", HK_DBC, 0, 0, "RecNumber=%d DiagIdentifier=%d\nDiagInfoPtr=%lX BufferLength=%d StringLengthPtr=%lX", odbc_GetDiagField_Dbc) \
  X(GetDiagFieldW_Stmt, "GetDiagFieldW", HK_STMT, 0, 0, "RecNumber=%d DiagIdentifier=%d\nDiagInfoPtr=%lX BufferLength=%d StringLengthPtr=%lX", odbc_GetDiagField_Stmt) \
  X(GetDiagFieldW_Desc, "GetDiagFieldW", HK_DESC, 0, 0, "RecNumber=%d DiagIdentifier=%d\nDiagInfoPtr=%lX BufferLength=%d StringLengthPtr=%lX", odbc_GetDiagField_Desc) \
  X(GetDiagRec_Env, "GetDiagRec", HK_ENV, 0, 0, "RecNumber=%d, SqlState=%lX, NativeErrorPtr=%lX, MessageText=%lX, BufferLength=%d, TextLengthPtr=%lX", odbc_GetDiagRec_Env) \
  X(GetDiagRec_Dbc, "GetDiagRec", HK_DBC, 0, 0, "RecNumber=%d, SqlState=%lX, NativeErrorPtr=%lX, MessageText=%lX, BufferLength=%d, TextLengthPtr=%lX", odbc_GetDiagRec_Dbc) \
  X(GetDiagRec_Stmt, "GetDiagRec", HK_STMT, 0, 0, "RecNumber=%d, SqlState=%lX, NativeErrorPtr=%lX, MessageText=%lX, BufferLength=%d, TextLengthPtr=%lX", odbc_GetDiagRec_Stmt) \
  X(GetDiagRec_Desc, "GetDiagRec", HK_DESC, 0, 0, "RecNumber=%d, SqlState=%lX, NativeErrorPtr=%lX, MessageText=%lX, BufferLength=%d, TextLengthPtr=%lX", odbc_GetDiagRec_Desc) \
  X(GetDiagRecW_Env, "GetDiagRecW", HK_ENV, 0, 0, "RecNumber=%d, SqlState=%lX, NativeErrorPtr=%lX, MessageText=%lX, BufferLength=%d, TextLengthPtr=%lX", odbc_GetDiagRec_Env) \
  X(GetDiagRecW_Dbc, "GetDiagRecW", HK_DBC, 0, 0, "RecNumber=%d, SqlState=%lX, NativeErrorPtr=%lX, MessageText=%lX, BufferLength=%d, TextLengthPtr=%lX", odbc_GetDiagRec_Dbc) \
  X(GetDiagRecW_Stmt, "GetDiagRecW", HK_STMT, 0, 0, "RecNumber=%d, SqlState=%lX, NativeErrorPtr=%lX, MessageText=%lX, BufferLength=%d, TextLengthPtr=%lX", odbc_GetDiagRec_Stmt) \
  X(GetDiagRecW_Desc, "GetDiagRecW", HK_DESC, 0, 0, "RecNumber=%d, SqlState=%lX, NativeErrorPtr=%lX, MessageText=%lX, BufferLength=%d, TextLengthPtr=%lX", odbc_GetDiagRec_Desc) \
  X(GetFunctions, "GetFunctions", HK_DBC, 1, 0, "fFunction=%u pfExists=%lX", odbc_GetFunctions) \
  X(GetInfo, "GetInfo", HK_DBC, 1, 0, "fInfoType=%u rgbInfoValue=%lX cbInfoValueMax=%d pcbInfoValue=%lX", odbc_GetInfo) \
  X(GetInfoW, "GetInfoW", HK_DBC, 1, 0, "fInfoType=%u rgbInfoValue=%lX cbInfoValueMax=%d pcbInfoValue=%lX", odbc_GetInfo) \
  X(MoreResults, "MoreResults", HK_STMT, 1, 1, "", odbc_MoreResults) \
  X(NativeSql, "NativeSql", HK_DBC, 1, 0, "szSqlIn=%lX cbSqlIn=%ld szSqlStr=%lX cbSqlStrMax=%ld pcbSqlStr=%lX", odbc_NativeSql) \
  X(NativeSqlW, "NativeSqlW", HK_DBC, 1, 0, "szSqlIn=%lX cbSqlIn=%ld szSqlStr=%lX cbSqlStrMax=%ld pcbSqlStr=%lX", odbc_NativeSql) \
  X(NumParams, "NumParams", HK_STMT, 1, 1, "pcpar=%lX", odbc_NumParams) \
  X(NumResultCols, "NumResultCols", HK_STMT, 1, 1, "pccol=%lX", odbc_NumResultCols) \
  X(ParamOptions, "ParamOptions", HK_STMT, 1, 0, "crow=%lu pirow=%lX", odbc_ParamOptions) \
  X(Prepare, "Prepare", HK_STMT, 1, 1, "szSqlStr=%lX cbSqlStr=%ld", odbc_Prepare) \
  X(PrepareW, "PrepareW", HK_STMT, 1, 1, "szSqlStr=%lX cbSqlStr=%ld", odbc_Prepare) \
  X(PrimaryKeys, "PrimaryKeys", HK_STMT, 1, 1, "szTableQualifier=%lX cbTableQualifier=%d szTableOwner=%lX cbTableOwner=%d szTableName=%lX cbTableName=%d", odbc_PrimaryKeys) \
  X(PrimaryKeysW, "PrimaryKeysW", HK_STMT, 1, 1, "szTableQualifier=%lX cbTableQualifier=%d szTableOwner=%lX cbTableOwner=%d szTableName=%lX cbTableName=%d", odbc_PrimaryKeys) \
  X(ProcedureColumns, "ProcedureColumns", HK_STMT, 1, 1, "szProcQualifier=%lX cbProcQualifier=%d szProcOwner=%lX cbProcOwner=%d szProcName=%lX cbProcName=%d szColumnName=%lX cbColumnName=%d", odbc_ProcedureColumns) \
  X(ProcedureColumnsW, "ProcedureColumnsW", HK_STMT, 1, 1, "szProcQualifier=%lX cbProcQualifier=%d szProcOwner=%lX cbProcOwner=%d szProcName=%lX cbProcName=%d szColumnName=%lX cbColumnName=%d", odbc_ProcedureColumns) \
  X(Procedures, "Procedures", HK_STMT, 1, 1, "szProcQualifier=%lX cbProcQualifier=%d szProcOwner=%lX cbProcOwner=%d szProcName=%lX cbProcName=%d", odbc_Procedures) \
  X(ProceduresW, "ProceduresW", HK_STMT, 1, 1, "szProcQualifier=%lX cbProcQualifier=%d szProcOwner=%lX cbProcOwner=%d szProcName=%lX cbProcName=%d", odbc_Procedures) \
  X(RowCount, "RowCount", HK_STMT, 1, 0, "pcrow=%lX", odbc_RowCount) \
  X(SetCursorName, "SetCursorName", HK_STMT, 1, 0, "szCursor=%lX cbCursor=%d", odbc_SetCursorName) \
  X(SetCursorNameW, "SetCursorNameW", HK_STMT, 1, 0, "szCursor=%lX cbCursor=%d", odbc_SetCursorName) \
  X(SpecialColumns, "SpecialColumns", HK_STMT, 1, 1, "fColType=%u szTableQual=%lX cbTableQual=%d szTableOwner=%lX cbTableOwner=%d szTableName=%lX cbTableName=%d fScope=%u fNullable==%u", odbc_SpecialColumns) \
  X(SpecialColumnsW, "SpecialColumnsW", HK_STMT, 1, 1, "fColType=%u szTableQual=%lX cbTableQual=%d szTableOwner=%lX cbTableOwner=%d szTableName=%lX cbTableName=%d fScope=%u fNullable==%u", odbc_SpecialColumns) \
  X(Statistics, "Statistics", HK_STMT, 1, 1, "szTableQualifier=%lX cbTableQualifier=%d szTableOwner=%lX cbTableOwner=%d szTableName=%lX cbTableName=%d fUnique=%u fAccuracy=%u", odbc_Statistics) \
  X(StatisticsW, "StatisticsW", HK_STMT, 1, 1, "szTableQualifier=%lX cbTableQualifier=%d szTableOwner=%lX cbTableOwner=%d szTableName=%lX cbTableName=%d fUnique=%u fAccuracy=%u", odbc_Statistics) \
  X(TablePrivileges, "TablePrivileges", HK_STMT, 1, 1, "szTableQualifier=%lX cbTableQualifier=%d szTableOwner=%lX cbTableOwner=%d szTableName=%lX cbTableName=%d", odbc_TablePrivileges) \
  X(TablePrivilegesW, "TablePrivilegesW", HK_STMT, 1, 1, "szTableQualifier=%lX cbTableQualifier=%d szTableOwner=%lX cbTableOwner=%d szTableName=%lX cbTableName=%d", odbc_TablePrivileges) \
  X(Tables, "Tables", HK_STMT, 1, 1, "szTableQualifier=%lX cbTableQualifier=%d szTableOwner=%lX cbTableOwner=%d szTableName=%lX cbTableName=%d szTableType=%lX cbTableType=%d", odbc_Tables) \
  X(TablesW, "TablesW", HK_STMT, 1, 1, "szTableQualifier=%lX cbTableQualifier=%d szTableOwner=%lX cbTableOwner=%d szTableName=%lX cbTableName=%d szTableType=%lX cbTableType=%d", odbc_Tables)
// clang-format on

#define KVD_API_DECLARE(ident, name, kind, clears, flag, format, impl) extern const ApiRecord API_##ident;
KVD_API_RECORDS(KVD_API_DECLARE)
#undef KVD_API_DECLARE

constexpr int kApiRecordCount = 127;
// Every record, in the order of the list above.
extern const ApiRecord *const g_apiRecords[kApiRecordCount];

// Implementations whose modules are not built yet answer SQL_ERROR with
// E_S1C00 (43, "Driver not capable") pending on the handle. They are weak
// definitions in apirec.cpp, so the real implementation replaces each one by
// simply being linked in.

SQLRETURN odbc_DriverConnect(void *object, const ApiArgs &args);
SQLRETURN odbc_Disconnect(void *object, const ApiArgs &args);
SQLRETURN odbc_SetStmtOption(void *object, const ApiArgs &args);
SQLRETURN odbc_GetStmtOption(void *object, const ApiArgs &args);
SQLRETURN odbc_GetStmtAttr(void *object, const ApiArgs &args);
SQLRETURN odbc_SetStmtAttr(void *object, const ApiArgs &args);
SQLRETURN odbc_Error_Env(void *object, const ApiArgs &args);
SQLRETURN odbc_Error_Dbc(void *object, const ApiArgs &args);
SQLRETURN odbc_Error_Stmt(void *object, const ApiArgs &args);
SQLRETURN odbc_ColAttributes(void *object, const ApiArgs &args);
SQLRETURN odbc_ColAttribute(void *object, const ApiArgs &args);
SQLRETURN odbc_ColumnPrivileges(void *object, const ApiArgs &args);
SQLRETURN odbc_Columns(void *object, const ApiArgs &args);
SQLRETURN odbc_Connect(void *object, const ApiArgs &args);
SQLRETURN odbc_CopyDesc(void *object, const ApiArgs &args);
SQLRETURN odbc_DescribeCol(void *object, const ApiArgs &args);
SQLRETURN odbc_Transact_Env(void *object, const ApiArgs &args);
SQLRETURN odbc_Transact_Dbc(void *object, const ApiArgs &args);
SQLRETURN odbc_ExecDirect(void *object, const ApiArgs &args);
SQLRETURN odbc_ForeignKeys(void *object, const ApiArgs &args);
SQLRETURN odbc_SetConnectOption(void *object, const ApiArgs &args);
SQLRETURN odbc_GetConnectOption(void *object, const ApiArgs &args);
SQLRETURN odbc_SetConnectAttr(void *object, const ApiArgs &args);
SQLRETURN odbc_GetConnectAttr(void *object, const ApiArgs &args);
SQLRETURN odbc_GetCursorName(void *object, const ApiArgs &args);
SQLRETURN odbc_SetDescRec(void *object, const ApiArgs &args);
SQLRETURN odbc_GetDescRec(void *object, const ApiArgs &args);
SQLRETURN odbc_GetDiagField_Env(void *object, const ApiArgs &args);
SQLRETURN odbc_GetDiagField_Dbc(void *object, const ApiArgs &args);
SQLRETURN odbc_GetDiagField_Stmt(void *object, const ApiArgs &args);
SQLRETURN odbc_GetDiagField_Desc(void *object, const ApiArgs &args);
SQLRETURN odbc_GetDiagRec_Env(void *object, const ApiArgs &args);
SQLRETURN odbc_GetDiagRec_Dbc(void *object, const ApiArgs &args);
SQLRETURN odbc_GetDiagRec_Stmt(void *object, const ApiArgs &args);
SQLRETURN odbc_GetDiagRec_Desc(void *object, const ApiArgs &args);
SQLRETURN odbc_GetFunctions(void *object, const ApiArgs &args);
SQLRETURN odbc_GetInfo(void *object, const ApiArgs &args);
SQLRETURN odbc_MoreResults(void *object, const ApiArgs &args);
SQLRETURN odbc_NativeSql(void *object, const ApiArgs &args);
SQLRETURN odbc_NumParams(void *object, const ApiArgs &args);
SQLRETURN odbc_NumResultCols(void *object, const ApiArgs &args);
SQLRETURN odbc_ParamOptions(void *object, const ApiArgs &args);
SQLRETURN odbc_Prepare(void *object, const ApiArgs &args);
SQLRETURN odbc_PrimaryKeys(void *object, const ApiArgs &args);
SQLRETURN odbc_ProcedureColumns(void *object, const ApiArgs &args);
SQLRETURN odbc_Procedures(void *object, const ApiArgs &args);
SQLRETURN odbc_RowCount(void *object, const ApiArgs &args);
SQLRETURN odbc_SetCursorName(void *object, const ApiArgs &args);
SQLRETURN odbc_SpecialColumns(void *object, const ApiArgs &args);
SQLRETURN odbc_Statistics(void *object, const ApiArgs &args);
SQLRETURN odbc_TablePrivileges(void *object, const ApiArgs &args);
SQLRETURN odbc_Tables(void *object, const ApiArgs &args);

// Stores E_S1C00 as the pending error of any handle object (by its magic
// word) and returns SQL_ERROR.
SQLRETURN ApiNotCapable(void *object);
