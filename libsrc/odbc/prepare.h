#pragma once
// Preparing SQL text on a statement and asking about its result: SQLPrepare,
// SQLExecDirect (its prepare half; the execute half is the data exchange
// layer's), SQLNativeSql, SQLNumParams, SQLNumResultCols, SQLParamOptions,
// SQLRowCount and SQLMoreResults, narrow and W (the W entry points hand in
// UTF-8 text).
#include "odbc/dispatch.h"

struct Stmt;

// Closes the statement's previous result, hands changed cursor options to
// the agent, prepares the NUL-terminated text, reads back the cursor type
// and concurrency the agent settled on, and reads and classifies the
// parameter descriptions. SQL_SUCCESS; SQL_SUCCESS_WITH_INFO with 01S02
// pending when the agent changed the cursor type or concurrency; SQL_ERROR
// with the pending error set (the statement is then not prepared).
SQLRETURN PrepareCore(Stmt *stmt, const char *text);
// Frees the result descriptions; the result column count becomes 0.
void StmtFreeColDescs(Stmt *stmt);

SQLRETURN odbc_Prepare(void *object, const ApiArgs &args);       // (text, 32-bit length)
SQLRETURN odbc_ExecDirect(void *object, const ApiArgs &args);    // (text, 32-bit length)
// Connection: (text, 32-bit length, buffer, 32-bit buffer length, 32-bit *length).
SQLRETURN odbc_NativeSql(void *object, const ApiArgs &args);
SQLRETURN odbc_NumParams(void *object, const ApiArgs &args);     // (16-bit *count)
SQLRETURN odbc_NumResultCols(void *object, const ApiArgs &args); // (16-bit *count)
SQLRETURN odbc_ParamOptions(void *object, const ApiArgs &args);  // (64-bit count, 64-bit *rows processed)
SQLRETURN odbc_RowCount(void *object, const ApiArgs &args);      // (64-bit *count)
SQLRETURN odbc_MoreResults(void *object, const ApiArgs &args);   // ()
