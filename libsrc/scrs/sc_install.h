#pragma once
// The cursor layer's place in the DrvOps stack: scs_Install (declared in
// scrs/sc_s.h) copies the table below once per process, puts the layer's
// operations into its copy and points every DrvObject it is given at the
// copy. Every slot the layer does not serve passes straight down.
//
// Served so far: the scroll fetch (slots 36 and 41) of forward-only
// cursors, a rowset of rowset-size rows read with DRV_Fetch. Keyset-driven,
// dynamic and static cursors answer 43 (S1C00) until the layer's scrollable
// cursors exist.
#include <cstdint>

#include "odbc/drvops.h"

// Slot 41: (cursor, out Rowset, target value, out rows, out row count,
// orientation). The layer reads the cursor's type, rowset size and
// retrieve-data option from the cursor itself (DRV_GetInfo of statement
// options 6, 9 and 11; an option the cursor does not answer keeps its
// default: forward-only, 1 row, data retrieved). 0 with a new Rowset handed
// out; 82 (IM907) when no row came (no Rowset); 21 for missing outputs;
// 43 for scrollable cursor types; the lower fetch's code.
int32_t scs_FetchScroll(DrvHandle cursor, Rowset **out, int32_t value, uint32_t *rows, int32_t *rowCount,
                        uint16_t orientation);
// Slot 36: scs_FetchScroll without an orientation (0).
int32_t scs_ExtendedFetch(DrvHandle cursor, Rowset **out, int32_t value, uint32_t *rows, int32_t *rowCount);

// The object the layer calls down through (flags and the table below as
// they stood at the first installation); a null table before it.
const DrvObject *scs_LowerObject();
