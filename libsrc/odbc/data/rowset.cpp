// The rowset of one scroll fetch.
#include "odbc/data/rowset.h"

#include <sqlext.h>

#include <cstdlib>

#include "odbc/dataset.h"
#include "odbc/sqlstate.h"

void RowsetClear(Rowset *rowset) {
  if (!rowset) return;
  if (rowset->rows) {
    DatasetFree(rowset->rows);
    free(rowset->rows);
    rowset->rows = nullptr;
  }
  free(rowset->status);
  rowset->status = nullptr;
}

int RowsetInit(Rowset *rowset, int32_t n) {
  if (!rowset || n <= 0) return E_S1000;
  RowsetClear(rowset);
  auto *status = static_cast<uint16_t *>(malloc(static_cast<size_t>(n) * sizeof(uint16_t)));
  if (!status) return E_S1001;
  auto *rows = static_cast<Dataset *>(calloc(1, sizeof(Dataset)));
  if (!rows) {
    free(status);
    return E_S1001;
  }
  for (int32_t i = 0; i < n; ++i) status[i] = SQL_ROW_NOROW;
  if (int code = DatasetInit(rows, 0)) {
    free(rows);
    free(status);
    return code;
  }
  rowset->status = status;
  rowset->rows = rows;
  rowset->count = n;
  return 0;
}

int RowsetNew(Rowset **out, int32_t n) {
  if (!out || n <= 0) return E_S1000;
  auto *r = static_cast<Rowset *>(calloc(1, sizeof(Rowset)));
  if (!r) return E_S1001;
  if (int code = RowsetInit(r, n)) {
    RowsetFree(&r);
    return code;
  }
  *out = r;
  return 0;
}
