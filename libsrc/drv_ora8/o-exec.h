#pragma once
// The agent's cursor operations (o-exec.cpp): the ORA_* statement slots of
// the DrvOps table (declared in o-reg.h) and the steps that other agent
// modules reuse.
#include <cstdint>

#include "drv_ora8/db-private.h"

struct Dataset;

// Drops the open result: clears the executed and no-more-rows bits and the
// counters, releases the current DB_Curs's per-execution buffers and goes
// back from a REF CURSOR result to the procedure's own DB_Curs.
void AgentCursor_Close(AgentCursor *cur);
// Makes the procedure's DB_Curs the saved one and next the current one
// (which takes the REF CURSOR results), and goes back from a REF CURSOR
// result to the procedure's DB_Curs (the result's DB_Curs is deleted).
void AgentCursor_PushCurrent(AgentCursor *cur, DB_Curs *next);
void AgentCursor_DropRefCursorResult(AgentCursor *cur);
// Close, then forget the prepared statement: descriptions, request,
// parameter descriptions, data-at-execution buffers. Before every prepare
// and at free.
void AgentCursor_Reset(AgentCursor *cur);
// The run step of an execution (after data at execution was collected):
// executes, commits DML on an autocommit connection, describes a query's
// result. 0, 74 (succeeded with OCI warnings, which stay on the cursor's
// list) or an error code.
int32_t AgentCursor_Run(AgentCursor *cur);
// EMPTY_STRING_ISNT_NULL: every present character value of exactly one
// blank becomes the empty string.
void AgentCursor_BlankPass(const AgentConn *conn, Dataset *rows);
// Frees count data-at-execution column buffers and their array.
void FreeDaeBufs(DaeColBuf *bufs, uint32_t count);

// ---- Data at execution (o-dae.cpp) -------------------------------------------

// Moves the collected values into the marked cells of the parameter
// Dataset (variable-length columns laid out anew so that each fits whole).
// 0, 15 (a piece type that does not fit the column) or 16.
int32_t DAEDatasetMerge(AgentCursor *cur, Dataset *ds, DaeColBuf *bufs);
// EMPTY_STRING_ISNT_NULL: every present empty character parameter becomes
// one blank (Oracle would store the empty string as NULL).
void DAE_ParamBlankPass(const AgentConn *conn, Dataset *ds);

// The connection's DB_Conn is replaced (an XA connect or leave): before the
// old one is freed, every cursor of the connection forgets its statement and
// gives up its OCI handles; once the new one is there, each takes new ones
// (a cursor left without answers 08003 until it is freed).
void AgentConn_DropCursors(AgentConn *conn);
void AgentConn_RemakeCursors(AgentConn *conn);
