#pragma once
// The dynamic key fetch: a dynamic cursor (and a mixed one leaving its
// keyset) asks the database afresh, at every scroll, for the keys of the
// block it moves to: the cursor's SELECT with the key columns as its select
// list, in the cursor's order completed by the keys, restricted by the
// boundary predicate of keyquery.h to the rows beyond the block it holds.
// Rows others inserted or deleted since are thus seen.
#include <cstdint>

#include "odbc/drvops.h"
#include "scrs/keyquery.h"

struct KsDynFetch {
  const DrvObject *lower = nullptr;  // the table below the cursor layer
  DrvHandle aux = 0;                 // the lower cursor the key queries run on
  const char *sql = nullptr;         // the cursor's SELECT
  int noCatalogs = 0;
  // Keys, ORDER BY items, sort columns used and NULL collation; its bounds
  // are those of the block held (none before the first fetch).
  KsSortSpec sort;
  uint16_t maxOrderBy = 0;           // SQL_MAX_COLUMNS_IN_ORDER_BY, 0 none
  uint32_t keysetSize = 0;           // keys one fetch holds
  const Dataset *userParams = nullptr;  // the statement's own parameters, or none
  // Results (owned, freed by KS_DynFetchFree): the keys held in ascending
  // sort order (key columns only), the boundary rows of the block (key
  // columns, then the non-key sort columns), and one status per keyset
  // slot: 0 for a key held, 3 beyond.
  Dataset *keys = nullptr;
  Dataset *bounds = nullptr;
  int16_t *status = nullptr;
};

// Reads the keys of the block in the direction: KS_FIRST, KS_LAST, KS_NEXT,
// KS_PRIOR (from the block held) or KS_RELATIVE by offset rows from the
// held block's first row. 0; 74 (IM902) when read, and a lower call
// warned (its records wait on the aux cursor); 82 (IM907) when no key lies
// there (what was held stays); 15, 16, or an analysis or lower code. A large
// offset is read in bounded chunks, never cut to the 16 bits of one lower
// fetch.
int KS_FetchDynKeys(KsDynFetch *f, int direction, int32_t offset);
void KS_DynFetchFree(KsDynFetch *f);
