#pragma once
// The static result set: a static cursor's snapshot of its result, read
// from the lower cursor once and served from then on in any direction. The
// rows live in a dataset cache (in memory, or spilled to private temporary
// files with a window of rows in memory). Row numbers here are 0-based.
#include <cstdint>

#include "scrs/dsc.h"

struct Dataset;
struct DrvObject;

struct StaticSet {
  Dataset *window;      // every row in memory mode, the current window after a spill
  int32_t windowStart;  // row of the window's first row; -1 after a spill until read
  int32_t nextRow;      // where a sequential read goes on; -2 once it reached the end
  DSC cache;
};

// An empty set in memory mode. 15 without an out pointer, 16 out of memory.
int SS_New(StaticSet **out);
// Empties the window, closes (and so deletes) the cache files, rewinds.
void SS_Close(StaticSet *ss);
void SS_Free(StaticSet **ss);
// Reads every row of the lower cursor; *rowCount gets their number. 74
// (IM902): read, with the database's warning waiting below.
int SS_GetRsltSet(StaticSet *ss, const DrvObject *lower, uint32_t cursor, int32_t *rowCount);
// Copies up to n rows from row first (-1: where the last sequential read
// stopped) into *out, which is made when absent and emptied first. A
// sequential read that has reached the end delivers nothing more; a read at
// an explicit row is not affected by that mark.
int SS_GetRowset(StaticSet *ss, int32_t first, int32_t n, Dataset **out);
