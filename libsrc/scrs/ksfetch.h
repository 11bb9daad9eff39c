#pragma once
// Rowset fetches of keyset-driven, mixed and dynamic cursors.
//
// None of them reads the cursor's result as the database hands it out: the
// keys of the rows come first (all of them at execute for a keyset-driven
// cursor, a window of them for a mixed one, the rowset's for a dynamic one),
// then the rows are read back by key. The rows-by-key statement is the
// cursor's SELECT with the key columns appended to its select list: each row
// comes with its key, is placed at its key's position in the rowset, and the
// key columns are dropped before the rows go up. A key whose row no longer
// answers is a deleted row. So a row whose sort value changed keeps its
// place, and no row ever lands in another's.
//
// Results are SqlStateTable rows: 0, 85 (IM910) before the start, 86
// (IM911) beyond the end, 82 (IM907) nothing there, 101 (IM920) the rows kept
// changing under a dynamic fetch, 38 (S1106) an orientation not served, 15,
// 16, or the code of the lower operation.
#include <cstdint>

#include "scrs/dynkeys.h"

struct ScsCursor;
struct Rowset;
struct Dataset;

// What the fetches keep of a cursor between calls, beside its ScsCursor.
struct KsFetchState {
  KsDynFetch dyn{};           // the keys held by a dynamic cursor (its rowset) or a mixed one (its window)
  uint32_t rereadGroups = 0;  // key groups the rows-by-key statement is prepared for; 0 none
  int32_t rowCount = -1;      // rows of a dynamic or mixed result, when known exactly
  int32_t windowStart = 0;    // mixed: the rowset's first row within the window
  int32_t windowState = -6;   // mixed: -6 invalid, -1 moved, -2 at the start, -3 at the end, -5 beyond the end
  int64_t windowRow = -1;     // mixed: 0-based row of the window's first key when known (moved forward from FIRST)
};

// Frees what the state holds; it starts over (a new statement or result).
void KS_FetchStateReset(KsFetchState *st);

// Reads every key of a keyset-driven cursor's result, in the cursor's order
// completed by the keys, into its keyset; the row count becomes their number.
int KS_GetKeySet_KSD(ScsCursor *cur);

// The 0-based first row of the rowset of size rows that a 1-based target
// row asks for (negative: counted from the end; 0: the last rowset) in a
// result of count rows; 85 before the start, 86 beyond the end.
int scs_p_RowsetStart(int32_t target, int64_t count, int64_t size, int64_t *start);

// The rowset of a keyset-driven cursor from its 1-based target row
// (negative: counted from the end; 0: the last rowset).
int scs_p_FetchKeyset(ScsCursor *cur, KsFetchState *st, Rowset *rs, int32_t target);
// A mixed cursor: its keyset window moves only when the rowset leaves it.
int scs_p_FetchMixed(ScsCursor *cur, KsFetchState *st, int32_t value, uint16_t orientation, Rowset *rs);
// A dynamic cursor by orientation: its keys are asked afresh at every call.
int scs_p_FetchDynamicScroll(ScsCursor *cur, KsFetchState *st, int32_t value, uint16_t orientation, Rowset *rs);
int scs_p_FetchDynamic(ScsCursor *cur, KsFetchState *st, uint16_t orientation, int32_t offset, Rowset *rs);

// Places the rows read back by key (their key columns last in each row) at
// their keys' positions keys[first .. first+n-1] of the Rowset, drops the
// key columns and gives every key without a row SQL_ROW_DELETED. keyStatus
// (n entries, or none) is the keyset's status of those keys: read for rows
// found, written for rows missing. *missing (or none) gets the number of
// keys without a row.
int scs_p_MarkMissingRows(ScsCursor *cur, Dataset *fetched, const Dataset *keys, uint32_t first, uint32_t n,
                          Rowset *rs, int16_t *keyStatus, uint32_t *missing);
