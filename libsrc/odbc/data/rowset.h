#pragma once
// Rowset: the rows of one scroll fetch, as a Dataset, with one ODBC row
// status per row (the record itself is declared in odbc/data/services.h,
// where RowsetFree also lives).
//
// A Rowset is a malloc'd record owned by whoever holds the pointer: the
// cursor layer makes one per scroll fetch and hands it up; the statement's
// cursor state keeps the current one until the next fetch or until the
// fetched rows are dropped.
//
// Results are SqlStateTable rows: 0, E_S1000 (15) for a bad argument,
// E_S1001 (16) when memory runs out.
#include <cstdint>

#include "odbc/data/services.h"

// A new Rowset for n rows stored in *out; nothing is stored on failure.
int RowsetNew(Rowset **out, int32_t n);
// (Re)initialises a Rowset for n rows: the old rows and statuses are freed,
// every status becomes 3 (no row) and the Dataset is empty.
int RowsetInit(Rowset *rowset, int32_t n);
// Frees the rows and statuses and nulls both pointers; the count stays.
// Accepts null.
void RowsetClear(Rowset *rowset);
