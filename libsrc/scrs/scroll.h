#pragma once
// The scroll orientation logic of SQLExtendedFetch and SQLFetchScroll on the
// statement's cursor state (scs_ScrollFetch, declared in scrs/sc_s.h), and
// the pieces it is made of.
#include <cstdint>

struct ScsCursor;

// Where a wanted rowset lies against the result, as scs_p_ClassifyTarget
// sorts it.
enum ScsTargetClass : int {
  SCS_TGT_FORWARD = 0,       // forward move while the end is not counted yet
  SCS_TGT_BEFORE_START = 1,  // the whole rowset lies before the first row
  SCS_TGT_OVERLAPS_START = 2,
  SCS_TGT_INSIDE = 3,
  SCS_TGT_OVERLAPS_END = 4,
  SCS_TGT_AFTER_END = 5,
};

// The 1-based first row of the rowset an orientation asks for (keyset-driven
// and static cursors), and its class. first is the current rowset's first
// row (-3 after the end), rowCount -1 while not counted.
int scs_p_ScrollTarget(uint16_t orientation, int32_t offset, int32_t first, int32_t rowCount, int32_t rowsetSize,
                       int32_t prevRowsetSize, int32_t *target);
int scs_p_ClassifyTarget(int32_t first, int32_t target, int32_t rowsetSize, int32_t rowCount);
// The fetch below: DRV_FetchScroll with the orientation when the owner's
// connection has dynamic and mixed cursors, else DRV_ExtendedFetch; the new
// Rowset replaces the cursor's. A failure's agent messages go to the
// statement.
int scs_p_ScrollCallDown(ScsCursor *cur, uint16_t orientation, int32_t value, uint32_t *rows);
