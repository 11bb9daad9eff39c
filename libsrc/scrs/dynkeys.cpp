// The dynamic key fetch (see dynkeys.h).
#include "scrs/dynkeys.h"

#include <cstdlib>
#include <cstring>
#include <memory>
#include <string>

#include "odbc/dataset.h"
#include "odbc/sqlstate.h"

namespace {

constexpr int kOk = 0;
constexpr int kGeneral = E_S1000;
constexpr int kNoMemory = E_S1001;
constexpr uint16_t kChunk = 1000;  // keys per lower fetch

using DatasetPtr = std::unique_ptr<Dataset, void (*)(Dataset *)>;

// A lower call's result with its warning taken aside: the call did its
// work, and the key fetch goes on and ends with the warning.
struct Warnings {
  bool seen = false;
  int operator()(int rc) {
    if (rc != E_IM902) return rc;
    seen = true;
    return kOk;
  }
};

// Reads up to want rows from the lower cursor in bounded chunks.
int ReadKeys(const KsDynFetch &f, uint64_t want, Dataset *out, Warnings &warn) {
  Dataset more{};
  int rc = kOk;
  for (bool first = true; rc == kOk && static_cast<uint64_t>(out->rows) < want; first = false) {
    const uint64_t left = want - static_cast<uint64_t>(first ? 0 : out->rows);
    const uint16_t ask = static_cast<uint16_t>(left < kChunk ? left : kChunk);
    Dataset *into = first ? out : &more;
    rc = warn(DrvCall<&DrvOps::DRV_Fetch>(f.lower, f.aux, ask, into));
    if (rc == E_IM907) rc = kOk;
    if (rc != kOk) break;
    const int32_t got = into->rows;
    if (!first && got > 0) rc = DatasetAppend(out, &more);
    if (!first) DatasetFree(&more);
    if (got < ask) break;
  }
  DatasetFree(&more);
  return rc;
}

// Keeps count rows of ds from row start (in fetched order).
int Keep(Dataset **ds, uint32_t start, uint32_t count) {
  Dataset *kept = nullptr;
  if (int rc = DatasetCloneLayout(&kept, *ds, static_cast<int32_t>(count))) return rc;
  DatasetPtr hold(kept, DatasetDelete);
  for (uint32_t r = 0; r < count; ++r)
    if (int rc = DatasetRowCopy(kept, *ds, r, start + r, 1)) return rc;
  DatasetDelete(*ds);
  *ds = hold.release();
  return kOk;
}

}  // namespace

void KS_DynFetchFree(KsDynFetch *f) {
  if (!f) return;
  DatasetDelete(f->keys);
  DatasetDelete(f->bounds);
  free(f->status);
  f->keys = f->bounds = nullptr;
  f->status = nullptr;
  f->sort.bounds = nullptr;
}

namespace {

int FetchDynKeys(KsDynFetch *f, int direction, int32_t offset, Warnings &warn) {
  if (!f || !f->lower || !f->sql || !f->sort.keys.cols || f->keysetSize == 0) return kGeneral;
  const uint32_t K = f->keysetSize;
  const uint32_t n = f->keys ? static_cast<uint32_t>(f->keys->rows) : 0;
  const uint32_t orderItems = f->sort.orderCols ? f->sort.orderCols->count : 0;

  // Direction, mode and how many keys to read.
  int dir = direction, mode = KS_BEYOND;
  uint64_t want = K;
  const uint64_t a = offset < 0 ? -static_cast<int64_t>(offset) : offset;
  if (direction == KS_RELATIVE) {
    dir = offset < 0 ? KS_PRIOR : KS_NEXT;
    if (offset == 0) mode = KS_FROM_OTHER;
    else if (a < K) mode = (n < K && offset < 0) ? KS_FROM_OTHER : KS_BEYOND_OTHER;
    if (offset != 0) want += a < K ? a - 1 : a - K;
  } else if (direction != KS_NEXT && direction != KS_PRIOR && direction != KS_FIRST && direction != KS_LAST) {
    return kGeneral;
  }
  if ((dir == KS_NEXT || dir == KS_PRIOR) && !f->bounds) return kGeneral;

  ScopedAnalysed cursor, key;
  int rc = SCR_AnalyseSQL(&cursor.a, f->sql, 0, f->noCatalogs);
  if (rc == kOk) rc = KS_KeyOrderByBuild(&cursor.a, f->sort.keys, orderItems, f->maxOrderBy);
  if (rc == kOk) rc = SCR_AnalyseSQL(&key.a, cursor.a.text2, 1, f->noCatalogs);
  if (rc != kOk) return rc;
  KsSortSpec spec = f->sort;
  spec.bounds = f->bounds;
  Dataset *predicate = nullptr;
  if ((rc = KS_KeySelectBuild(spec, &key.a, dir, mode, f->noCatalogs, &predicate))) return rc;
  DatasetPtr params(predicate, DatasetDelete);
  std::string text = key.a.text2 ? key.a.text2 : "";
  if (dir == KS_PRIOR || dir == KS_LAST) {
    // Backwards from the boundary: the keys come in reverse order.
    if ((rc = SCR_AnalyseSQL(&key.a, text.c_str(), 1, f->noCatalogs)) || (rc = SCR_OrderByReverse(&key.a))) return rc;
    text = std::string(PT_Text(key.a.root));
  }

  if ((rc = warn(DrvCall<&DrvOps::DRV_Prepare>(f->lower, f->aux, text.c_str())))) return rc;
  Dataset *sent = nullptr;
  if (f->userParams) {
    if ((rc = DatasetClone(&sent, f->userParams))) return rc;
    if (params && params->columns && (rc = DatasetJoinCols(sent, params.get()))) {
      DatasetDelete(sent);
      return rc;
    }
  } else if (params && params->columns) {
    sent = params.release();
  }
  if (sent) {
    rc = warn(DrvCall<&DrvOps::DRV_SetParams>(f->lower, f->aux, sent));
    if (f->lower->flags & 1) DatasetDelete(sent);
    if (rc != kOk) return rc;
  }
  if ((rc = warn(DrvCall<&DrvOps::DRV_Execute>(f->lower, f->aux)))) return rc;
  auto *fetched = static_cast<Dataset *>(calloc(1, sizeof(Dataset)));
  if (!fetched) return kNoMemory;
  DatasetPtr rows(fetched, DatasetDelete);
  rc = ReadKeys(*f, want, fetched, warn);
  // A close that fails takes nothing from the keys read; its warning is kept.
  warn(DrvCall<&DrvOps::DRV_CloseCursor>(f->lower, f->aux));
  if (rc != kOk) return rc;

  // The block out of what a relative move read, in fetched order.
  uint32_t got = static_cast<uint32_t>(fetched->rows);
  if (direction == KS_RELATIVE && offset != 0 && got > 0) {
    uint64_t start = 0, count = K;
    if (mode == KS_BEYOND) start = a - K;
    else if (mode == KS_BEYOND_OTHER) start = a - 1;
    else {
      const uint64_t span = n + a;  // n - offset
      count = span < K ? span : K;
      start = span > K ? span - K : 0;
    }
    if (start >= got) {
      got = 0;
    } else {
      if (count > got - start) count = got - start;
      Dataset *d = rows.release();
      rc = Keep(&d, static_cast<uint32_t>(start), static_cast<uint32_t>(count));
      rows.reset(d);
      if (rc != kOk) return rc;
      got = static_cast<uint32_t>(count);
    }
  }
  if (got == 0) return E_IM907;
  if (dir == KS_PRIOR || dir == KS_LAST) {
    Dataset *d = rows.release();
    rc = DatasetReverse(&d);
    rows.reset(d);
    if (rc != kOk) return rc;
  }

  // New boundary rows: the block's first and last key rows with every sort
  // column; the keys held keep the key columns alone.
  Dataset *bounds = nullptr;
  if ((rc = DatasetCloneLayout(&bounds, rows.get(), 2))) return rc;
  DatasetPtr holdBounds(bounds, DatasetDelete);
  if ((rc = DatasetRowCopy(bounds, rows.get(), 0, 0, 0)) ||
      (rc = DatasetRowCopy(bounds, rows.get(), 1, static_cast<uint32_t>(rows->rows - 1), 0)))
    return rc;
  const uint32_t keyCount = f->sort.keys.cols->count;
  while (rows->columns > keyCount)
    if ((rc = DatasetColDelete(rows.get(), static_cast<uint16_t>(rows->columns - 1)))) return rc;
  auto *status = static_cast<int16_t *>(malloc(sizeof(int16_t) * K));
  if (!status) return kNoMemory;
  for (uint32_t i = 0; i < K; ++i) status[i] = i < static_cast<uint32_t>(rows->rows) ? 0 : 3;
  KS_DynFetchFree(f);
  f->keys = rows.release();
  f->bounds = holdBounds.release();
  f->status = status;
  f->sort.bounds = f->bounds;
  return kOk;
}

}  // namespace

int KS_FetchDynKeys(KsDynFetch *f, int direction, int32_t offset) {
  Warnings warn;
  const int rc = FetchDynKeys(f, direction, offset, warn);
  return rc == kOk && warn.seen ? E_IM902 : rc;
}
