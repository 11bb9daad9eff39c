#pragma once
// The keyset of keyset-driven, mixed and dynamic cursors: the key columns
// that identify a row of the cursor's tables, and the key values of the
// rows of the current keyset (in memory, or spilled to the dataset cache
// with a window of keys in memory).
//
// Life cycle: KS_New with the cursor state, KS_Reset at every preparation,
// KS_Close before every keyset build or dynamic key fetch, KS_Free with the
// cursor state.
#include <cstdint>

#include "scrs/dsc.h"

struct Dataset;
struct VArray;

struct KeySet {
  int16_t *rowStatus;   // one ODBC row status per key of the keyset; none until built
  Dataset *keys;        // key values, one row per key in key order (the window after a spill)
  int32_t windowStart;  // key number of the first row of keys; -1 right after a spill
  uint8_t tableCount;   // tables of the FROM clause; key columns are qualified above 1
  VArray *keyCols;      // ScsColDesc of every key column, in discovery order; none before discovery
  DSC cache;            // every key row of the keyset
};

// An empty keyset: no statuses, no key columns, empty key Dataset, cache in
// memory mode. 15 without an out pointer, 16 out of memory (nothing left
// allocated).
int KS_New(KeySet **out);
// Empties the key values, frees the statuses and closes (deletes) the cache
// files. Key columns, table count and window start stay. Nothing for none.
void KS_Close(KeySet *ks);
// KS_Close, then the key columns go.
void KS_Reset(KeySet *ks);
// KS_Reset, then the keyset itself; *ks becomes none.
void KS_Free(KeySet **ks);
