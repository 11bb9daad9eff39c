#pragma once
// The fetch paths: blocks of rows read from the agent and handed out one row
// at a time (ODBC 2 SQLFetch, and the forward-only one-row rowset of ODBC 3),
// and rowsets fetched through the cursor layer and copied into the
// application's bound arrays (SQLFetchScroll, SQLExtendedFetch).
//
// Results are SQLRETURNs with the SQLSTATE left as the statement's pending
// code (SqlStateTable rows).
#include <sql.h>

#include <cstdint>

#include "odbc/objects.h"

struct DrvMsgList;

// Moves every bound column's pointers by the ARD's bind offset as it is now
// (nothing when the ARD has no bind offset pointer).
void BindOffsetRefresh(Stmt *stmt);

// Describes the result if needed, drops the rows held and reads the next
// block of rows-per-block rows with DRV_Fetch. An empty block is the end.
SQLRETURN FetchBlock(Stmt *stmt);
// The next row of the block (a new block when it is used up) into the bound
// columns. Also the type-information reader's row source.
SQLRETURN FetchNextRow(Stmt *stmt);

// SQLFetchScroll (and ODBC 3 SQLFetch with SQL_FETCH_NEXT).
SQLRETURN StmtFetchScroll(Stmt *stmt, uint16_t orientation, int64_t offset);
// A forward-only rowset of one row, straight out of the fetch block.
SQLRETURN FetchOneRow(Stmt *stmt);
// SQLExtendedFetch: the cursor layer positions and fetches the rowset, then
// RowsetFill copies it out. rowsFetched and statuses may be null.
SQLRETURN StmtExtendedFetch(Stmt *stmt, uint16_t orientation, int64_t offset, uint64_t *rowsFetched,
                            uint16_t *statuses);
// Copies the rows of the cursor's current rowset into the bound arrays and
// writes each row's status. startRow 0 fills every row, n only row n
// (1-based); mode -1 is a fetch, another value the SQLSetPos operation being
// served (1 SQL_REFRESH).
SQLRETURN RowsetFill(Stmt *stmt, uint16_t *statuses, uint32_t startRow, int mode);

// Removes the last message of an agent message list when its SQLSTATE is
// 01S01.
void DropWarning01S01(DrvMsgList *list);
