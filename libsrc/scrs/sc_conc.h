#pragma once
// Concurrency of scrollable cursors: row locks, the values that optimistic
// concurrency compares, and the row versions of dynamic cursors.
//
// Lock concurrency on a lower connection that locks rows itself (agent item
// 0x22010007) locks every fetched row by updating its key to itself; without
// it the row lookups carry FOR UPDATE. Values concurrency keeps, per row of
// the rowset (per row of the result for a static cursor), the compared
// columns' current values in the cursor's values cache: the select-list
// columns with driver option 1050 set to 2, else the table's columns.
//
// Rows are placed by key, not by arrival: the values query reads the key
// columns with the values and each row lands at its key's place, so a row
// whose sort value changed meanwhile never takes another's place. A key
// without a row gets an all-NULL row (and, for a keyset-driven cursor, the
// status deleted in the keyset).
//
// The values query runs on a lower statement of its own, so that it stays
// prepared beside the row lookups; row locks run on the first auxiliary
// statement. Results are SqlStateTable rows: 0, 15 (S1000) a
// missing key, compared column or select-list marker, 16 (S1001), 81
// (01S01) rows that could not be locked, or the lower operation's code.
#include <cstdint>
#include <string>

struct ScsCursor;
struct Dataset;
struct AnalysedSQL;

// The values query from text: reread gets text analysed again (parse and
// regenerate), its select list replaced by the compared columns, followed
// by the key columns when withKeys is set; the query is reread->text2.
int scs_p_OptConcSelectBuild(ScsCursor *cur, const char *text, AnalysedSQL *reread, int withKeys);

// Reads the compared values into the values cache.
// Static cursor: every row of the cursor's statement, with params (the
// user's parameters, or none); keys and the rest are not used.
// Other cursors: the rows of keys rows first .. first + count - 1 (key
// columns in key order), in lookups of as many keys as the parameter limit
// allows beside the user's parameters (which follow the keys); values cache
// row k is key first + k's. keyStatus (count entries, or none) gets
// SQL_ROW_DELETED for every key without a row, *missing (or none) their
// number.
int scs_p_GetOptConcColVals(ScsCursor *cur, const Dataset *params, const Dataset *keys, uint32_t first,
                            uint32_t count, int16_t *keyStatus = nullptr, uint32_t *missing = nullptr);

// Locks the rows of keys rows first .. first + count - 1 whose keyStatus
// (count entries, or none for all) is success or updated, by
// "UPDATE table SET k = ? WHERE k = ?" on the first auxiliary statement. 81
// when a row could not be locked (the rows locked before it stay locked).
int scs_p_LockRows(ScsCursor *cur, const Dataset *keys, uint32_t first, uint32_t count,
                   const int16_t *keyStatus = nullptr);

// After a positioned UPDATE: reads the values of the rowset's keys (as for
// scs_p_GetOptConcColVals) again and replaces, in the values cache, the
// given rows (0-based within the rowset) by their fresh values; the others
// stay.
int scs_p_RefetchOptConcVals(ScsCursor *cur, const Dataset *keys, uint32_t first, uint32_t count,
                             const uint32_t *rows, uint32_t n);

// The text the row lookups and the static statement run with under lock
// concurrency: text with " FOR UPDATE" appended when the lower connection
// does not lock rows itself.
std::string scs_p_LockedText(const ScsCursor *cur, const char *text);

// What a keyset-driven, mixed or dynamic fetch does after it has read its
// rowset (keys rows first .. first + count - 1): values concurrency reads
// the compared values, lock concurrency on a connection that locks rows
// itself locks them (statuses from keyStatus, or all), and a dynamic
// cursor with row versions reads the values and sets status[k] from the
// versions (SQL_ROW_UPDATED for rows others changed). A statement that
// cannot be updated needs none of it.
int scs_p_ConcAfterRowset(ScsCursor *cur, const Dataset *keys, uint32_t first, uint32_t count, int16_t *keyStatus,
                          uint16_t *status);

// ---- Row versions ----------------------------------------------------------------------

// At every preparation of a dynamic cursor with row versions: opens the
// row-version connection on first need and deletes the cursor's versions.
// A failure (TVXRVC missing) keeps the database's errors and IM926 for the
// statement. 0 for any other cursor.
int scs_p_RowVersionsPrepare(ScsCursor *cur);
// After a dynamic rowset: the rows of keys rows first .. first + count - 1
// and their values (values cache rows 0 .. count - 1) against their
// versions; status[k] 2 for a row others changed since it was last seen, 0
// otherwise (5 when its version could not be written). Nothing without row
// versions.
int scs_p_RowVersionsCheck(ScsCursor *cur, const Dataset *keys, uint32_t first, uint32_t count, uint16_t *status);
// When the cursor state goes: deletes its versions and closes the
// row-version connection.
void scs_p_RowVersionsRelease(ScsCursor *cur);
