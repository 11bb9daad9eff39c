#pragma once
// Positioned update, delete and insert (DrvOps slot 37) and bulk operations
// by bookmark (slot 42) of keyset-driven, mixed, dynamic and static cursors.
//
// Rows are found by the values of their key columns held in the keyset:
// DELETE and UPDATE run one statement of the layer's own making per row on
// the cursor's first auxiliary lower cursor ("DELETE FROM t WHERE K = ?",
// "UPDATE t SET A = ?, B = ? WHERE K = ?"), ADD one INSERT per row. Under
// values concurrency the row must still hold the values the last fetch saw:
// every compared column is added to the condition ("= ?", or "IS NULL" for a
// NULL). A row whose statement changes nothing, or fails, gets
// SQL_ROW_ERROR; the others go on.
//
// Values Dataset (UPDATE, ADD, UPDATE_BY_BOOKMARK): one column per column to
// set, paired by position with the result-column numbers of the column list
// (in any order); one row per addressed row. Indicator -4 in a row's first
// column: the row is not acted on; -6: that column of that row is left
// as it is. Row-mark Dataset (DELETE): -4 marks the rows not acted on. Both
// Datasets and the column list become the layer's.
//
// Results: 0 every row acted on was done; 81 (01S01) some were, some not;
// 91 (01S03) none was; a refusal by the statement's shape (87, 88, 89, 103),
// 21 for read-only concurrency or missing outputs, or the code of a failure
// that ended the operation (a statement that could not be prepared, memory).
// Rows affected (INFO_ROW_COUNT) is the number of rows done.
#include <cstdint>

#include "odbc/drvops.h"

struct ScsCursor;
struct Dataset;
struct Rowset;

// Slot 37: (cursor, row 1..rowset size or -2 every row, operation 0
// position 1 refresh 2 update 3 delete 4 add, lock, out status array, out
// status count, values or row-mark Dataset, column list, column count). 64
// (24000) for a cursor the layer has not prepared. Values whose cells ask
// for data at execution (-2) are first collected by the agent (102); its
// last ParamData resumes the operation through scs_SetPosRun.
int32_t scs_SetPos(DrvHandle cursor, int32_t row, uint16_t op, uint16_t lock, int16_t **status, int32_t *count,
                   Dataset *values, uint16_t *columns, uint16_t columnCount);
// Slot 42: (cursor, operation 5 update 6 delete 7 fetch by bookmark,
// bookmarks, count, values, column list, column count, out status array of
// count entries, out rows done (fetch: rows read), out Rowset (fetch)). 15
// for operation 4, without bookmarks, or an update without values. A fetch
// hands back the rows in the order of the bookmarks, an empty row with
// SQL_ROW_DELETED for a bookmark whose row is gone.
int32_t scs_BulkOperations(DrvHandle cursor, int16_t op, const int32_t *bookmarks, uint16_t count, Dataset *values,
                           uint16_t *columns, uint16_t columnCount, int16_t **status, int16_t *outCount,
                           Rowset **rowset);

// The agent's start of data at execution for a pending SetPos (0 when no
// cell asks for data, 102 when the agent collects them first); registered by
// the agent, none for an agent without it.
using ScsSetPosStarter = int32_t (*)(DrvHandle cursor);
void scs_SetSetPosStarter(ScsSetPosStarter starter);

int scs_p_SetPosOp(ScsCursor *cur, int32_t row, uint16_t op, int16_t **status, int32_t *count, Dataset *values,
                   uint16_t *columns);
int scs_p_PosDelete(ScsCursor *cur, int32_t row, int16_t **status, int32_t *count, Dataset *marks);
int scs_p_PosUpdate(ScsCursor *cur, int32_t row, int16_t **status, int32_t *count, Dataset *values, uint16_t *columns);
int scs_p_PosInsert(ScsCursor *cur, int32_t row, int16_t **status, int32_t *count, Dataset *values, uint16_t *columns);
int scs_p_BulkOps(ScsCursor *cur, int16_t op, const int32_t *bookmarks, uint16_t count, Dataset *values,
                  uint16_t *columns, int16_t **status, int16_t *outCount, Rowset **rowset);
// A new Dataset of src's layout whose row i is a copy of src row
// bookmarks[i] - offset - 1. 15 without output, bookmarks, source or count;
// 150 (IM925) for a bookmark outside src.
int scs_p_RowsByBookmark(const Dataset *src, const int32_t *bookmarks, uint16_t count, int32_t offset, Dataset **out);
