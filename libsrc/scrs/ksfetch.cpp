// Rowset fetches of keyset-driven, mixed and dynamic cursors (see ksfetch.h).
#include "scrs/ksfetch.h"

#include <sqlext.h>

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "odbc/data/rowset.h"
#include "odbc/data/services.h"
#include "odbc/dataset.h"
#include "odbc/drvops.h"
#include "odbc/sqlstate.h"
#include "scrs/dsc.h"
#include "scrs/keyquery.h"
#include "scrs/ks.h"
#include "scrs/sc_conc.h"
#include "scrs/sc_s.h"
#include "util/log.h"

namespace {

constexpr int kOk = 0;
constexpr int kGeneral = E_S1000;
constexpr int kNoMemory = E_S1001;

using DatasetPtr = std::unique_ptr<Dataset, void (*)(Dataset *)>;

int Analyse(AnalysedSQL *a, const char *text, int noCatalogs) {
  SCR_AnalysedFree(a);
  SCR_AnalysedInit(a);
  const int rc = SCR_AnalyseSQL(a, text, 1, noCatalogs);
  if (rc != kOk) {
    LOG(LOG_DEBUG, "SCR_AnalyseSQL failed: %s", text ? text : "");
    LOG(LOG_DEBUG, "%s", a->errMsg ? a->errMsg : "");
    LOG(LOG_DEBUG, "%s", a->text2 ? a->text2 : "");
  }
  return rc;
}

KsKeyCols KeyCols(const ScsCursor *cur) { return {cur->keyset->keyCols, cur->keyset->tableCount}; }
uint32_t KeyCount(const ScsCursor *cur) {
  return cur->keyset && cur->keyset->keyCols ? cur->keyset->keyCols->count : 0;
}
uint32_t OrderItems(const ScsCursor *cur) { return cur->orderCols ? cur->orderCols->count : 0; }
bool HasUserParams(const ScsCursor *cur) { return (cur->flags & SCSF_HAS_PARAMS) && cur->userParams; }

int EnsureCursor(ScsCursor *cur, uint32_t *aux) {
  if (*aux) return kOk;
  DrvHandle h = 0;
  if (int rc = DrvCall<&DrvOps::DRV_AllocCursor>(cur->drv, cur->lowerConn, &h)) return rc;
  if (!h) return kGeneral;
  *aux = h;
  return kOk;
}

// Hands parameters to a lower cursor: the user's (when the statement has
// them) behind the layer's own, whose markers stand first. The Dataset
// goes to the layer below.
int SendParams(ScsCursor *cur, uint32_t aux, Dataset *own) {
  DatasetPtr mine(own, DatasetDelete);
  Dataset *sent = nullptr;
  if (HasUserParams(cur)) {
    if (int rc = DatasetClone(&sent, cur->userParams)) return rc;
    if (mine && mine->columns) {
      if (int rc = DatasetJoinCols(sent, mine.get())) {
        DatasetDelete(sent);
        return rc;
      }
    }
  } else if (mine && mine->columns) {
    sent = mine.release();
  }
  if (!sent) return kOk;
  const int rc = DrvCall<&DrvOps::DRV_SetParams>(cur->drv, aux, sent);
  if (cur->drv->flags & 1) DatasetDelete(sent);
  return rc;
}

// The parameter descriptions of groups key groups and the user's, for a
// lower connection that binds by them.
int SendParamInfo(ScsCursor *cur, uint32_t aux, uint32_t groups) {
  if (!cur->needbind) return kOk;
  free(cur->paramDescs);
  cur->paramDescs = nullptr;
  cur->paramDescCount = 0;
  const auto *cols = reinterpret_cast<const ScsColDesc *>(cur->keyset->keyCols->data);
  for (uint32_t g = 0; g < groups; ++g)
    if (int rc = scs_p_ParamInfoAppend(cur, cols, KeyCount(cur), 0)) return rc;
  if (int rc = scs_p_ParamInfoAppend(cur, nullptr, 0, HasUserParams(cur) ? 1 : 0)) return rc;
  return DrvCall<&DrvOps::DRV_SetParamInfo>(cur->drv, aux, cur->paramDescCount, cur->paramDescs);
}

// Up to n rows of a lower cursor appended to out; long values left with the
// agent are read into their cells before the agent moves on.
int ReadRows(ScsCursor *cur, uint32_t aux, int32_t n, Dataset *out) {
  Dataset more{};
  int rc = kOk;
  while (rc == kOk && out->rows < n) {
    const bool first = out->columns == 0;
    Dataset *into = first ? out : &more;
    const int32_t want = n - out->rows;
    rc = DrvCall<&DrvOps::DRV_Fetch>(cur->drv, aux, static_cast<uint16_t>(want < 65535 ? want : 65535), into);
    if (rc == E_IM902 || rc == E_IM907) rc = kOk;
    if (rc != kOk || into->rows == 0) break;
    rc = scs_p_ReadDeferredCells(cur->drv, aux, into);
    if (rc == E_IM902) rc = kOk;
    if (rc == kOk && !first) rc = DatasetAppend(out, &more);
    DatasetFree(&more);
  }
  DatasetFree(&more);
  return rc;
}

// The rows-by-key statement: the cursor's SELECT, its select list followed
// by the key columns, restricted to groups keys.
int PrepareReread(ScsCursor *cur, KsFetchState *st, uint32_t groups) {
  if (st->rereadGroups == groups) return kOk;
  st->rereadGroups = 0;
  if (int rc = EnsureCursor(cur, &cur->aux2)) return rc;
  AnalysedSQL *a = &cur->rereadStmt;
  if (int rc = Analyse(a, cur->sqlCopy, cur->noCatalogs)) return rc;
  // A bare "*" beside more items needs its table named, as the FROM
  // clause names it: by its alias, else by the table's own name.
  std::string star;
  if (cur->tables && cur->tables->count == 1) {
    const auto *t = static_cast<const TableRef *>(VArray_At(cur->tables, 0));
    star = t->alias[0] ? t->alias : t->table;
  }
  int rc = SCR_SelectListAppendMark(a, star.c_str());
  if (rc == kOk) {
    try {
      std::string piece;
      const KsKeyCols keys = KeyCols(cur);
      for (uint32_t i = 0; i < KeyCount(cur); ++i) {
        if (i) piece += ", ";
        piece += KS_ColumnRef(*static_cast<const ScsColDesc *>(VArray_At(keys.cols, i)), keys.tableCount);
      }
      rc = KS_Splice(a, piece);
    } catch (...) {
      rc = kNoMemory;
    }
  }
  if (rc != kOk) return rc;
  std::string text = a->text2 ? a->text2 : "";
  if ((rc = Analyse(a, text.c_str(), cur->noCatalogs))) return rc;
  if ((rc = KS_KeyWhereBuild(a, KeyCols(cur), groups))) return rc;
  // Under lock concurrency the rows are locked as they are read.
  if ((rc = DrvCall<&DrvOps::DRV_Prepare>(cur->drv, cur->aux2, scs_p_LockedText(cur, a->text2).c_str()))) return rc;
  cur->aux2Contents = 0x10;
  st->rereadGroups = groups;
  return kOk;
}

// The rows of keys[first .. first+n-1] that still answer, each followed by
// its key columns, in blocks as the parameter limit allows.
int RowsByKey(ScsCursor *cur, KsFetchState *st, const Dataset *keys, uint32_t first, uint32_t n, Dataset *out) {
  const uint32_t nk = KeyCount(cur);
  const int32_t room = cur->maxParams - (HasUserParams(cur) ? cur->userParams->columns : 0);
  if (nk == 0 || room < static_cast<int32_t>(nk)) return kGeneral;
  const uint32_t perStatement = static_cast<uint32_t>(room) / nk;
  const uint32_t rowset = static_cast<uint32_t>(cur->rowsetSize > 0 ? cur->rowsetSize : 1);
  const uint32_t groups = std::min(perStatement, std::max(rowset, n));
  if (int rc = PrepareReread(cur, st, groups)) return rc;
  for (uint32_t done = 0; done < n;) {
    const uint32_t rows = std::min(groups, n - done);
    Dataset *params = nullptr;
    int rc = KS_KeyParamsBuild(keys, first + done, groups, rows, &params, cur->lowerParamArrays, 0, 0, nullptr,
                               nullptr);
    if (rc == kOk) rc = SendParams(cur, cur->aux2, params);
    if (rc == kOk && done == 0) rc = SendParamInfo(cur, cur->aux2, groups);
    if (rc == kOk) rc = DrvCall<&DrvOps::DRV_Execute>(cur->drv, cur->aux2);
    if (rc == kOk) rc = ReadRows(cur, cur->aux2, out->rows + static_cast<int32_t>(rows), out);
    // No read stays open between fetches: others' writes must not wait.
    DrvCall<&DrvOps::DRV_CloseCursor>(cur->drv, cur->aux2);
    if (rc != kOk) return rc;
    done += rows;
  }
  return kOk;
}

// The key cells of a row, hashed: a NULL mark and the value's bytes per cell.
uint64_t KeyHash(const Dataset *ds, uint32_t row, uint16_t from, uint16_t nk) {
  uint64_t h = 1469598103934665603ull;
  auto mix = [&h](const unsigned char *p, uint32_t len) {
    for (uint32_t i = 0; i < len; ++i) h = (h ^ p[i]) * 1099511628211ull;
  };
  for (uint16_t c = from; c < from + nk; ++c) {
    const void *data = nullptr;
    uint32_t len = 0;
    const unsigned char null = ds->cols[c].indicators[row] == kIndNull;
    mix(&null, 1);
    if (!null && DatasetValueRef(ds, row, c, &data, &len) == 0 && data) mix(static_cast<const unsigned char *>(data), len);
    const unsigned char end = 0xFF;
    mix(&end, 1);
  }
  return h;
}

bool KeyEqual(const Dataset *a, uint32_t ra, uint16_t fromA, const Dataset *b, uint32_t rb, uint16_t nk) {
  for (uint16_t c = 0; c < nk; ++c) {
    const bool na = a->cols[fromA + c].indicators[ra] == kIndNull, nb = b->cols[c].indicators[rb] == kIndNull;
    if (na || nb) {
      if (na != nb) return false;
      continue;
    }
    const void *pa = nullptr, *pb = nullptr;
    uint32_t la = 0, lb = 0;
    if (DatasetValueRef(a, ra, static_cast<uint16_t>(fromA + c), &pa, &la) != 0 ||
        DatasetValueRef(b, rb, c, &pb, &lb) != 0 || la != lb || (la && memcmp(pa, pb, la) != 0))
      return false;
  }
  return true;
}

// The rows of n keys into the Rowset, placed by key.
int ReadRowset(ScsCursor *cur, KsFetchState *st, const Dataset *keys, uint32_t first, uint32_t n, Rowset *rs,
               int16_t *keyStatus, uint32_t *missing) {
  auto *fetched = static_cast<Dataset *>(calloc(1, sizeof(Dataset)));
  if (!fetched) return kNoMemory;
  DatasetPtr hold(fetched, DatasetDelete);
  if (int rc = RowsByKey(cur, st, keys, first, n, fetched)) return rc;
  return scs_p_MarkMissingRows(cur, fetched, keys, first, n, rs, keyStatus, missing);
}

// The layout of the cursor's rows when no row came back at all.
int LayoutFromColumns(ScsCursor *cur, uint32_t n, Dataset *out) {
  if (int rc = scs_p_ResultColDescsGet(cur)) return rc;
  return DatasetFromColDescs(cur->resultCols, cur->resultCount, static_cast<int32_t>(n), out);
}

void FillDyn(ScsCursor *cur, KsFetchState *st, uint32_t keysetSize) {
  KsDynFetch &f = st->dyn;
  f.lower = cur->drv;
  f.aux = cur->aux1;
  f.sql = cur->sqlCopy;
  f.noCatalogs = cur->noCatalogs;
  f.sort.keys = KeyCols(cur);
  f.sort.orderCols = cur->orderCols;
  f.sort.d = cur->orderingColumns ? cur->orderingColumns : static_cast<uint16_t>(KeyCount(cur));
  f.sort.nullCollation = cur->nullCollation;
  f.sort.bounds = f.bounds;
  f.maxOrderBy = cur->maxOrderByColumns;
  f.keysetSize = keysetSize;
  f.userParams = HasUserParams(cur) ? cur->userParams : nullptr;
}

uint32_t HeldKeys(const KsFetchState *st) { return st->dyn.keys ? static_cast<uint32_t>(st->dyn.keys->rows) : 0; }

// The keys of a move of a dynamic cursor or a mixed cursor's window.
int MoveKeys(ScsCursor *cur, KsFetchState *st, uint32_t keysetSize, int direction, int32_t offset) {
  if (int rc = scs_p_AuxCursor(cur)) return rc;
  FillDyn(cur, st, keysetSize);
  // Nothing held to move from: NEXT and PRIOR start from their end.
  if (!st->dyn.bounds) {
    if (direction == KS_NEXT) direction = KS_FIRST;
    else if (direction == KS_PRIOR) direction = KS_LAST;
    else if (direction == KS_RELATIVE) return E_IM907;
  }
  return KS_FetchDynKeys(&st->dyn, direction, offset);
}

}  // namespace

void KS_FetchStateReset(KsFetchState *st) {
  if (!st) return;
  KS_DynFetchFree(&st->dyn);
  st->dyn = KsDynFetch{};
  st->rereadGroups = 0;
  st->rowCount = -1;
  st->windowStart = 0;
  st->windowState = -6;
  st->windowRow = -1;
}

int KS_GetKeySet_KSD(ScsCursor *cur) {
  if (!cur || !cur->keyset || KeyCount(cur) == 0 || !cur->sqlCopy) return kGeneral;
  ScopedAnalysed order, key;
  int rc = Analyse(&order.a, cur->sqlCopy, cur->noCatalogs);
  if (rc == kOk) rc = KS_KeyOrderByBuild(&order.a, KeyCols(cur), OrderItems(cur), cur->maxOrderByColumns);
  if (rc == kOk) rc = Analyse(&key.a, order.a.text2, cur->noCatalogs);
  if (rc == kOk) rc = ks_SelListKeys(&key.a, KeyCols(cur));
  if (rc == kOk) rc = scs_p_AuxCursor(cur);
  if (rc == kOk) rc = DrvCall<&DrvOps::DRV_Prepare>(cur->drv, cur->aux1, key.a.text2);
  if (rc == kOk) rc = SendParams(cur, cur->aux1, nullptr);
  if (rc == kOk && cur->needbind && cur->userParamDescCount)
    rc = DrvCall<&DrvOps::DRV_SetParamInfo>(cur->drv, cur->aux1, cur->userParamDescCount, cur->userParamDescs);
  if (rc == kOk) rc = DrvCall<&DrvOps::DRV_Execute>(cur->drv, cur->aux1);
  if (rc == E_IM902) rc = kOk;
  if (rc != kOk) return rc;
  KeySet *ks = cur->keyset;
  KS_Close(ks);
  int64_t total = 0;
  rc = DSC_Fill(&ks->cache, cur->drv, cur->aux1, ks->keys, &total);
  if (rc == E_IM902) rc = kOk;  // the keys, read with the database's warning
  DrvCall<&DrvOps::DRV_CloseCursor>(cur->drv, cur->aux1);
  if (rc != kOk) {
    LOG(LOG_ERR, "KS_GetKeySet_KSD: Could not fill dataset cache");
    KS_Close(ks);
    return rc;
  }
  cur->rowCount = static_cast<int32_t>(total);
  ks->windowStart = ks->cache.mode == DSC_SPILLED ? -1 : 0;
  ks->rowStatus = static_cast<int16_t *>(calloc(static_cast<size_t>(total > 0 ? total : 1), sizeof(int16_t)));
  if (!ks->rowStatus) {
    KS_Close(ks);
    return kNoMemory;
  }
  return kOk;
}

int scs_p_MarkMissingRows(ScsCursor *cur, Dataset *fetched, const Dataset *keys, uint32_t first, uint32_t n,
                          Rowset *rs, int16_t *keyStatus, uint32_t *missing) {
  if (!cur || !fetched || !keys || !rs || !rs->rows || n > static_cast<uint32_t>(rs->count)) return kGeneral;
  const uint16_t nk = static_cast<uint16_t>(KeyCount(cur));
  std::vector<char> placed(n, 0);
  Dataset *out = rs->rows;
  DatasetFree(out);
  int rc = kOk;
  if (fetched->columns == 0) {
    rc = LayoutFromColumns(cur, n, out);
  } else {
    if (fetched->columns <= nk) return kGeneral;
    const uint16_t from = static_cast<uint16_t>(fetched->columns - nk);
    Dataset *layout = out;
    if ((rc = DatasetCloneLayout(&layout, fetched, static_cast<int32_t>(n)))) return rc;
    out->rows = static_cast<int32_t>(n);
    for (uint16_t c = 0; c < out->columns; ++c)
      for (uint32_t r = 0; r < n; ++r) out->cols[c].indicators[r] = kIndNull;
    // Keys by hash; each fetched row looks its key up there.
    std::vector<std::pair<uint64_t, uint32_t>> index(n);
    for (uint32_t i = 0; i < n; ++i) index[i] = {KeyHash(keys, first + i, 0, nk), i};
    std::sort(index.begin(), index.end());
    for (uint32_t j = 0; rc == kOk && j < static_cast<uint32_t>(fetched->rows); ++j) {
      const uint64_t h = KeyHash(fetched, j, from, nk);
      auto it = std::lower_bound(index.begin(), index.end(), std::make_pair(h, uint32_t{0}));
      for (; it != index.end() && it->first == h; ++it) {
        const uint32_t i = it->second;
        if (placed[i] || !KeyEqual(fetched, j, from, keys, first + i, nk)) continue;
        rc = DatasetRowCopy(out, fetched, i, j, 1);
        placed[i] = 1;
        break;
      }
    }
    while (rc == kOk && out->columns > from) rc = DatasetColDelete(out, static_cast<uint16_t>(out->columns - 1));
  }
  if (rc != kOk) return rc;
  if (out->rows < static_cast<int32_t>(n)) {
    for (uint16_t c = 0; c < out->columns; ++c)
      for (uint32_t r = static_cast<uint32_t>(out->rows); r < n; ++r) out->cols[c].indicators[r] = kIndNull;
    out->rows = static_cast<int32_t>(n);
  }
  uint32_t lost = 0;
  for (uint32_t i = 0; i < n; ++i) {
    int16_t s = keyStatus ? keyStatus[i] : SQL_ROW_SUCCESS;
    if (!placed[i]) {
      s = SQL_ROW_DELETED;
      ++lost;
    } else if (s == SQL_ROW_DELETED || s == SQL_ROW_ERROR || s == SQL_ROW_NOROW) {
      s = SQL_ROW_SUCCESS;
    }
    if (keyStatus) keyStatus[i] = s;
    rs->status[i] = static_cast<uint16_t>(s);
  }
  if (missing) *missing = lost;
  return kOk;
}

int scs_p_RowsetStart(int32_t target, int64_t count, int64_t size, int64_t *start) {
  int64_t s;
  if (target > 0) {
    s = int64_t{target} - 1;
  } else if (target == 0) {
    s = count - size > 0 ? count - size : 0;
  } else {
    s = count + target;
    // Counted back past the first row but within one rowset: ODBC's rule
    // gives the first rowset.
    if (s < 0 && -int64_t{target} <= size) s = 0;
  }
  *start = s;
  if (s < 0) return E_IM910;
  if (s >= count) return E_IM911;
  return kOk;
}

int scs_p_FetchKeyset(ScsCursor *cur, KsFetchState *st, Rowset *rs, int32_t target) {
  KeySet *ks = cur->keyset;
  if (!ks->rowStatus)
    if (int rc = KS_GetKeySet_KSD(cur)) return rc;
  const int64_t count = cur->rowCount;
  int64_t start = 0;
  if (int rc = scs_p_RowsetStart(target, count, rs->count, &start)) return rc;
  const uint32_t n = static_cast<uint32_t>(std::min<int64_t>(rs->count, count - start));
  if (int rc = DSC_WindowGet(&ks->cache, static_cast<int32_t>(start), static_cast<int32_t>(n), &ks->windowStart,
                             ks->keys))
    return rc;
  const uint32_t first = static_cast<uint32_t>(start - (ks->windowStart > 0 ? ks->windowStart : 0));
  if (int rc = ReadRowset(cur, st, ks->keys, first, n, rs, ks->rowStatus + start, nullptr)) return rc;
  return scs_p_ConcAfterRowset(cur, ks->keys, first, n, ks->rowStatus + start, rs->status);
}

int scs_p_FetchDynamic(ScsCursor *cur, KsFetchState *st, uint16_t orientation, int32_t offset, Rowset *rs) {
  int direction;
  switch (orientation) {
    case SQL_FETCH_NEXT: direction = KS_NEXT; break;
    case SQL_FETCH_FIRST: direction = KS_FIRST; break;
    case SQL_FETCH_LAST: direction = KS_LAST; break;
    case SQL_FETCH_PRIOR: direction = KS_PRIOR; break;
    case SQL_FETCH_RELATIVE: direction = KS_RELATIVE; break;
    default: return E_S1106;
  }
  const uint32_t size = static_cast<uint32_t>(rs->count);
  // A row that changed between the key read and the row read: its keys
  // are read again where the cursor stands.
  for (int run = 0; run < 3; ++run) {
    int rc = run == 0 ? MoveKeys(cur, st, size, direction, offset) : MoveKeys(cur, st, size, KS_RELATIVE, 0);
    if (rc != kOk) return rc;
    uint32_t missing = 0;
    if ((rc = ReadRowset(cur, st, st->dyn.keys, 0, HeldKeys(st), rs, nullptr, &missing))) return rc;
    if (missing == 0) return scs_p_ConcAfterRowset(cur, st->dyn.keys, 0, HeldKeys(st), nullptr, rs->status);
  }
  return E_IM920;
}

int scs_p_FetchDynamicScroll(ScsCursor *cur, KsFetchState *st, int32_t value, uint16_t orientation, Rowset *rs) {
  const uint32_t size = static_cast<uint32_t>(rs->count);
  int rc = scs_p_FetchDynamic(cur, st, orientation, value, rs);
  const bool none = rc == E_IM907;
  if (rc != kOk && !none) return rc;
  const bool shortSet = !none && HeldKeys(st) < size;
  switch (orientation) {
    case SQL_FETCH_NEXT:
      return none ? E_IM911 : kOk;
    case SQL_FETCH_FIRST:
    case SQL_FETCH_LAST:
      if (none) {
        st->rowCount = 0;
        return E_IM911;
      }
      if (shortSet) st->rowCount = static_cast<int32_t>(HeldKeys(st));
      return kOk;
    case SQL_FETCH_PRIOR:
      if (none) return E_IM910;
      // Fewer rows than a rowset before the one held: the first rowset.
      return shortSet ? scs_p_FetchDynamic(cur, st, SQL_FETCH_FIRST, 0, rs) : kOk;
    case SQL_FETCH_RELATIVE:
      if (none) return value < 0 ? E_IM910 : E_IM911;
      return shortSet && value < 0 ? scs_p_FetchDynamic(cur, st, SQL_FETCH_FIRST, 0, rs) : kOk;
    default:
      return E_S1106;
  }
}

int scs_p_FetchMixed(ScsCursor *cur, KsFetchState *st, int32_t value, uint16_t orientation, Rowset *rs) {
  const int32_t R = rs->count;
  const int32_t K = cur->keysetSize > R ? cur->keysetSize : R;
  if (cur->flags & SCSF_KEYSET_CHANGED) {
    st->windowState = -6;
    cur->flags &= static_cast<uint16_t>(~SCSF_KEYSET_CHANGED);
  }
  const bool valid = st->windowState != -6 && st->dyn.keys;
  int32_t W = static_cast<int32_t>(HeldKeys(st));
  int32_t s = st->windowStart;
  const uint32_t keyset = static_cast<uint32_t>(K);
  // Moves the window; the rowset then starts at its first key.
  // The window's first row is known from FIRST on while it moves forward.
  auto rebuild = [&](int direction, int32_t offset, int32_t state) -> int {
    int rc = MoveKeys(cur, st, keyset, direction, offset);
    if (rc != kOk) return rc;
    W = static_cast<int32_t>(HeldKeys(st));
    if (direction == KS_FIRST) st->windowRow = 0;
    else if (direction == KS_RELATIVE && offset > 0 && st->windowRow >= 0) st->windowRow += offset;
    else st->windowRow = -1;
    st->windowState = state;
    s = 0;
    return kOk;
  };
  int rc = kOk;
  switch (orientation) {
    case SQL_FETCH_NEXT:
      if (valid && s + 2 * R <= W) {
        s += R;
      } else if (valid && W < K && st->windowState != -1 && s + R < W) {
        s += R;  // the window holds the result's last keys
      } else {
        rc = rebuild(valid ? KS_RELATIVE : KS_FIRST, s + R, valid ? -1 : -2);
        if (rc == E_IM907) {
          st->windowState = -5;
          return E_IM911;
        }
      }
      break;
    case SQL_FETCH_FIRST:
      if (valid && st->windowState == -2) s = 0;
      else rc = rebuild(KS_FIRST, 0, -2);
      break;
    case SQL_FETCH_LAST:
      if (!(valid && st->windowState == -3)) rc = rebuild(KS_LAST, 0, -3);
      s = W > R ? W - R : 0;
      break;
    case SQL_FETCH_PRIOR:
      if (valid && st->windowState == -5) {
        rc = rebuild(KS_LAST, 0, -3);
        s = W > R ? W - R : 0;
      } else if (valid && s - R >= 0) {
        s -= R;
      } else if (valid && st->windowState == -2) {
        if (s == 0) return E_IM910;
        s = 0;
      } else {
        rc = rebuild(valid ? KS_RELATIVE : KS_LAST, valid ? s - K : 0, -1);
        if (rc == E_IM907) return E_IM910;
        if (rc == kOk && W < K) {
          rc = rebuild(KS_FIRST, 0, -2);  // fewer than a window before: the first rowset
        } else if (rc == kOk) {
          s = W > R ? W - R : 0;
        }
      }
      break;
    case SQL_FETCH_RELATIVE: {
      const int64_t to = int64_t{s} + value;
      const bool atEnd = st->windowState == -3 || (W < K && st->windowState != -1);
      if (valid && to >= 0 && (to + R <= W || (atEnd && to < W))) {
        s = static_cast<int32_t>(to);
      } else if (valid && to < 0 && st->windowState == -2) {
        if (-to > R) return E_IM910;
        s = 0;
      } else {
        const int64_t off = valid ? to : value;
        if (off > INT32_MAX || off < INT32_MIN) return off < 0 ? E_IM910 : E_IM911;
        rc = rebuild(valid ? KS_RELATIVE : KS_FIRST, static_cast<int32_t>(off), -1);
        if (rc == E_IM907) {
          if (value >= 0) st->windowState = -5;
          return value < 0 ? E_IM910 : E_IM911;
        }
        if (rc == kOk && value < 0 && W < R) rc = rebuild(KS_FIRST, 0, -2);
      }
      break;
    }
    default:
      return E_S1106;
  }
  if (rc == E_IM907) return E_IM911;
  if (rc != kOk) return rc;
  st->windowStart = s;
  if (s >= W) return E_IM911;
  const uint32_t n = static_cast<uint32_t>(std::min(R, W - s));
  int16_t *status = st->dyn.status ? st->dyn.status + s : nullptr;
  if ((rc = ReadRowset(cur, st, st->dyn.keys, static_cast<uint32_t>(s), n, rs, status, nullptr))) return rc;
  if ((rc = scs_p_ConcAfterRowset(cur, st->dyn.keys, static_cast<uint32_t>(s), n, status, rs->status))) return rc;
  // A short window ends the result: its count is known when the window's
  // place is.
  if (W < K && st->windowRow >= 0 && st->windowRow + W <= INT32_MAX)
    st->rowCount = static_cast<int32_t>(st->windowRow + W);
  return kOk;
}
