// The static result set over the dataset cache.
#include "scrs/staticset.h"

#include <cstdlib>

#include "odbc/dataset.h"
#include "odbc/sqlstate.h"
#include "util/log.h"

int SS_New(StaticSet **out) {
  if (!out) return E_S1000;
  *out = nullptr;
  auto *ss = static_cast<StaticSet *>(calloc(1, sizeof(StaticSet)));
  if (!ss) return E_S1001;
  ss->window = static_cast<Dataset *>(calloc(1, sizeof(Dataset)));
  if (!ss->window) {
    free(ss);
    return E_S1001;
  }
  DSC_Init(&ss->cache);
  *out = ss;
  return 0;
}

void SS_Close(StaticSet *ss) {
  if (!ss) return;
  DatasetFree(ss->window);
  DSC_Close(&ss->cache);
  ss->nextRow = 0;
  ss->windowStart = 0;
}

void SS_Free(StaticSet **ss) {
  if (!ss || !*ss) return;
  SS_Close(*ss);
  free((*ss)->window);
  free(*ss);
  *ss = nullptr;
}

int SS_GetRsltSet(StaticSet *ss, const DrvObject *lower, uint32_t cursor, int32_t *rowCount) {
  if (!ss) return E_S1000;
  SS_Close(ss);
  int64_t total = 0;
  int code = DSC_Fill(&ss->cache, lower, cursor, ss->window, &total);
  if (code != 0 && code != E_IM902) {
    LOG(LOG_ERR, "SS_GetRsltSet: Could not fill dataset cache");
    return code;
  }
  if (ss->cache.mode == DSC_SPILLED) ss->windowStart = -1;
  if (rowCount) *rowCount = static_cast<int32_t>(total);  // the fill refuses more than int32 rows
  return code;
}

int SS_GetRowset(StaticSet *ss, int32_t first, int32_t n, Dataset **out) {
  if (!ss || !out) return E_S1000;
  const bool created = *out == nullptr;
  if (created) {
    *out = static_cast<Dataset *>(calloc(1, sizeof(Dataset)));
    if (!*out) return E_S1001;
  }
  const bool sequential = first < 0;
  if ((sequential && ss->nextRow == -2) || n <= 0) {
    DatasetFree(*out);
    return 0;
  }
  const int32_t start = sequential ? ss->nextRow : first;
  // Past the stored rows there is nothing to read: an empty delivery, not a
  // failed window read.
  if (ss->cache.mode == DSC_SPILLED && start >= DSC_StoredRows(&ss->cache)) {
    DatasetFree(*out);
    if (sequential) ss->nextRow = -2;
    return 0;
  }
  if (int code = DSC_WindowGet(&ss->cache, start, n, &ss->windowStart, ss->window)) {
    DatasetFree(*out);
    if (created) {
      free(*out);
      *out = nullptr;
    }
    return code;
  }
  const int64_t from = int64_t{start} - (ss->windowStart < 0 ? 0 : ss->windowStart);
  int64_t m = from >= 0 ? int64_t{ss->window->rows} - from : 0;
  if (m < 0) m = 0;
  if (m > n) m = n;
  int code = DatasetCloneLayout(out, ss->window, static_cast<int32_t>(m));
  for (int32_t i = 0; code == 0 && i < m; ++i)
    code = DatasetRowCopy(*out, ss->window, static_cast<uint32_t>(i), static_cast<uint32_t>(from + i), 0);
  if (code != 0) {
    DatasetFree(*out);
    if (created) {
      free(*out);
      *out = nullptr;
    }
    return code;
  }
  if (sequential)
    ss->nextRow = m == n ? start + n : -2;
  else
    ss->nextRow = start;
  return 0;
}
