#pragma once
// The statement object: construction and destruction, closing the cursor,
// messages, column and parameter binding storage, result and parameter
// descriptions, data-at-execution piece buffers, the parameter-set size and
// the row and column counts.
#include "odbc/dispatch.h"
#include "odbc/objects.h"

// A new statement with an agent cursor, its cursor state and its four
// implicit descriptors, or NULL with the connection's pending error set.
Stmt *StmtNew(Conn *conn);
// Ends data at execution, resets the position; when prepared, drops the
// fetched rows and closes the agent cursor (state STMT_IDLE); frees the
// extended column attributes.
void StmtClose(Stmt *stmt);
// Destroys and frees the statement (its implicit descriptors with it).
void StmtDelete(Stmt *stmt);
void StmtAddMsg(Stmt *stmt, const char *text, int32_t native);
char *StmtGetMsg(Stmt *stmt, int32_t *native);
// Moves the agent cursor's and then the agent connection's messages into the
// statement's; 1 when any was moved.
int StmtGetAgentMsgs(Stmt *stmt);

// binding: a BoundCol whose binding part is filled (its link is ignored).
// SQL_SUCCESS or SQL_ERROR with E_S1001 pending.
SQLRETURN StmtBindCol(Stmt *stmt, const BoundCol *binding);
void StmtUnbindCol(Stmt *stmt, uint16_t column);
BoundCol *StmtBoundCol(Stmt *stmt, uint16_t column);
void StmtUnbindAll(Stmt *stmt);

// SQL_SUCCESS, or SQL_ERROR with E_S1093 / E_S1001 pending.
SQLRETURN StmtSetParam(Stmt *stmt, const ParamBinding *binding);
ParamBinding *StmtParamEntry(Stmt *stmt, uint16_t number);
void StmtResetParams(Stmt *stmt);

ColDesc *StmtDescribe(Stmt *stmt);
// Column n (1-based) of the result, or for 0 with bookmarks on a new
// "BOOKMARK" description that the caller frees with ColDescFree(d, 1).
ColDesc *StmtGetColDesc(Stmt *stmt, uint16_t column);
ColDesc *StmtGetParamDesc(Stmt *stmt, uint16_t number);
void StmtFreeResult(Stmt *stmt);
void StmtFreeParamDescs(Stmt *stmt);

int StmtParamDaeBufAlloc(Stmt *stmt);
int StmtColDaeBufAlloc(Stmt *stmt);
void DaeBufFree(void ***pieces, int32_t count, int64_t **lengths);

int StmtSetParamsetSize(Stmt *stmt, uint64_t size, uint64_t *rowsProcessed);
int StmtRowCount(Stmt *stmt, int64_t *count);
int StmtNumResultCols(Stmt *stmt, int16_t *count);
int StmtNumParams(Stmt *stmt, int16_t *count);

SQLRETURN odbc_CloseCursor(void *object, const ApiArgs &args);
