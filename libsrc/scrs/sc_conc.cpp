// Row locks, optimistic concurrency by values and row versions of the
// cursor layer (see sc_conc.h).
#include "scrs/sc_conc.h"

#include <cstdlib>
#include <cstring>
#include <memory>
#include <new>
#include <string>
#include <unordered_map>
#include <vector>

#include "odbc/dataset.h"
#include "odbc/drvops.h"
#include "odbc/sqlstate.h"
#include "scrs/keyquery.h"
#include "scrs/ks.h"
#include "scrs/rvc.h"
#include "scrs/sc_install.h"
#include "scrs/sc_s.h"
#include "util/log.h"
#include "util/utf.h"

namespace {

constexpr int kOk = 0;
constexpr int kGeneral = E_S1000;
constexpr int kNoMemory = E_S1001;
constexpr int16_t kRowDeleted = 1;          // SQL_ROW_DELETED
constexpr uint16_t kMaxFetch = 65535;       // DRV_Fetch counts rows in 16 bits

template <class F>
int Guarded(F &&f) {
  try {
    return f();
  } catch (const std::bad_alloc &) {
    return kNoMemory;
  }
}

const VArray *KeyColumns(const ScsCursor *cur) { return cur->keyset ? cur->keyset->keyCols : nullptr; }
uint32_t KeyCount(const ScsCursor *cur) {
  const VArray *k = KeyColumns(cur);
  return k ? k->count : 0;
}
uint8_t TableCount(const ScsCursor *cur) {
  if (cur->keyset && cur->keyset->tableCount) return cur->keyset->tableCount;
  return static_cast<uint8_t>(cur->tables ? cur->tables->count : 1);
}

// The columns positioned changes compare.
const VArray *ComparedColumns(const ScsCursor *cur) {
  return cur->selectColumnsMode == 2 ? cur->selectCols : cur->tableCols;
}

// The text a cursor's own statement runs with as the layer last built it.
std::string CurrentText(const ScsCursor *cur) {
  if (cur->sqlCopy) return cur->sqlCopy;
  if (cur->stmt.text2) return cur->stmt.text2;
  return cur->stmt.root ? std::string(PT_Text(cur->stmt.root)) : std::string();
}

int EnsureAux(ScsCursor *cur, uint32_t *aux) {
  if (*aux) return kOk;
  DrvHandle h = 0;
  if (DrvCall<&DrvOps::DRV_AllocCursor>(cur->drv, cur->lowerConn, &h) != 0 || !h) return kGeneral;
  *aux = h;
  return kOk;
}

int SendParams(ScsCursor *cur, DrvHandle h, Dataset *ds) {
  const int rc = DrvCall<&DrvOps::DRV_SetParams>(cur->drv, h, ds);
  if (cur->drv->flags & 1) DatasetDelete(ds);
  return rc;
}

// The descriptions the layer sends with a lookup: the key columns once per
// key group, then (withUser) the user's own.
int SendKeyParamInfo(ScsCursor *cur, DrvHandle h, uint32_t groups, int withUser) {
  if (!cur->needbind) return kOk;
  free(cur->paramDescs);
  cur->paramDescs = nullptr;
  cur->paramDescCount = 0;
  const VArray *keys = KeyColumns(cur);
  for (uint32_t g = 0; g < groups; ++g)
    if (int rc = scs_p_ParamInfoAppend(cur, static_cast<const ScsColDesc *>(VArray_At(keys, 0)), keys->count,
                                       withUser && g + 1 == groups))
      return rc;
  return DrvCall<&DrvOps::DRV_SetParamInfo>(cur->drv, h, cur->paramDescCount, cur->paramDescs);
}

// Every row the executed lower statement h yields, up to want rows, into
// out (appended). Long values the agent left with itself are read now.
int FetchInto(ScsCursor *cur, DrvHandle h, uint32_t want, Dataset *out) {
  Dataset block{};
  int rc = kOk;
  uint32_t got = 0;
  while (got < want) {
    const uint32_t ask = want - got < kMaxFetch ? want - got : kMaxFetch;
    rc = DrvCall<&DrvOps::DRV_Fetch>(cur->drv, h, static_cast<uint16_t>(ask), &block);
    if (rc == E_IM902) rc = kOk;
    if (rc == E_IM907) {
      rc = kOk;
      break;
    }
    if (rc != kOk || block.rows == 0) break;
    if ((rc = scs_p_ReadDeferredCells(cur->drv, h, &block))) break;
    got += static_cast<uint32_t>(block.rows);
    if (out->columns == 0) {
      DatasetFree(out);
      *out = block;
      block = Dataset{};
    } else if ((rc = DatasetAppend(out, &block))) {
      break;
    }
  }
  DatasetFree(&block);
  return rc;
}

// The bytes a key value is matched by: wide text as UTF-8, so that keys
// read in either form meet.
int AppendKeyBytes(const Dataset *ds, uint32_t row, uint16_t col, std::string *out) {
  const void *data = nullptr;
  uint32_t n = 0;
  if (int rc = DatasetValueRef(ds, row, col, &data, &n)) return rc;
  const bool null = ds->cols[col].indicators[row] == kIndNull;
  std::string value;
  const int32_t type = ds->cols[col].type;
  if (!null && (type == VT_WCHAR || type == VT_WSTRING || type == VT_WVARCHAR4 || type == VT_LONGWCHAR)) {
    char *utf8 = utf16_to_utf8_dupn(static_cast<const uint16_t *>(data), static_cast<int32_t>(n / 2));
    if (!utf8) return kNoMemory;
    value = utf8;
    free(utf8);
  } else if (!null) {
    value.assign(static_cast<const char *>(data), n);
  }
  const uint32_t len = static_cast<uint32_t>(value.size());
  out->push_back(null ? '\0' : '\1');
  out->append(reinterpret_cast<const char *>(&len), sizeof len);
  out->append(value);
  return kOk;
}

int KeyOf(const Dataset *ds, uint32_t row, uint16_t firstCol, uint16_t cols, std::string *out) {
  out->clear();
  for (uint16_t c = 0; c < cols; ++c)
    if (int rc = AppendKeyBytes(ds, row, static_cast<uint16_t>(firstCol + c), out)) return rc;
  return kOk;
}

// The layout of the values query's result, for a lookup that found no row.
int LayoutFromLower(ScsCursor *cur, DrvHandle h, Dataset *out) {
  uint16_t count = 0;
  ColDesc *cols = nullptr;
  if (int rc = DrvCall<&DrvOps::DRV_DescribeColumns>(cur->drv, h, &count, &cols)) return rc;
  const int rc = count ? DatasetFromColDescs(cols, count, 1, out) : kGeneral;
  ColDescFree(cols, count);
  return rc;
}

// The values cache made of the fetched rows (compared columns, then the
// key columns) in the order of keys rows first .. first + count - 1: a key
// without row gets an all-NULL row. The key columns are dropped after.
int PlaceByKey(ScsCursor *cur, Dataset *fetched, const Dataset *keys, uint32_t first, uint32_t count,
               int16_t *keyStatus, uint32_t *missing) {
  const uint16_t nKeys = static_cast<uint16_t>(KeyCount(cur));
  if (fetched->columns < nKeys || keys->columns < nKeys) return kGeneral;
  const uint16_t nValues = static_cast<uint16_t>(fetched->columns - nKeys);
  return Guarded([&]() -> int {
    std::unordered_map<std::string, uint32_t> byKey;
    byKey.reserve(static_cast<size_t>(fetched->rows) * 2);
    std::string key;
    for (uint32_t r = 0; r < static_cast<uint32_t>(fetched->rows); ++r) {
      if (int rc = KeyOf(fetched, r, nValues, nKeys, &key)) return rc;
      byKey.emplace(key, r);
    }
    Dataset *vc = cur->valuesCache;
    if (int rc = DatasetCloneLayout(&vc, fetched, static_cast<int32_t>(count))) return rc;
    uint32_t lost = 0;
    for (uint32_t k = 0; k < count; ++k) {
      if (int rc = KeyOf(keys, first + k, 0, nKeys, &key)) return rc;
      auto it = byKey.find(key);
      int rc = it == byKey.end() ? DatasetRowInsert(vc, k) : DatasetRowCopy(vc, fetched, k, it->second, 1);
      if (rc) return rc;
      if (it != byKey.end()) continue;
      ++lost;
      // The key stays; the row behind it is gone.
      if (keyStatus) keyStatus[k] = kRowDeleted;
    }
    for (uint16_t c = 0; c < nKeys; ++c)
      if (int rc = DatasetColDelete(vc, nValues)) return rc;
    if (missing) *missing = lost;
    return kOk;
  });
}

// Prepares the values query on its own lower statement unless it is
// prepared there for groups key groups (-1: a static cursor's) already.
int PrepareValuesQuery(ScsCursor *cur, int32_t groups) {
  if (cur->valuesStmt && cur->valuesGroups == groups) return kOk;
  cur->valuesGroups = 0;
  if (int rc = EnsureAux(cur, &cur->valuesStmt)) return rc;
  return Guarded([&]() -> int {
    std::string text = CurrentText(cur);
    const bool keyed = groups > 0;
    if (keyed) {
      // The row-by-key condition of groups keys in front of the statement's own.
      if (int rc = SCR_AnalyseSQL(&cur->rereadStmt, text.c_str(), 1, cur->noCatalogs)) {
        LOG(LOG_DEBUG, "SCR_AnalyseSQL failed: %s", text.c_str());
        return rc;
      }
      if (int rc = KS_KeyWhereBuild(&cur->rereadStmt, KsKeyCols{KeyColumns(cur), TableCount(cur)},
                                    static_cast<uint32_t>(groups)))
        return rc;
      text = cur->rereadStmt.text2;
    }
    if (int rc = scs_p_OptConcSelectBuild(cur, text.c_str(), &cur->rereadStmt, keyed)) return rc;
    if (int rc = DrvCall<&DrvOps::DRV_Prepare>(cur->drv, cur->valuesStmt, cur->rereadStmt.text2)) return rc;
    cur->valuesGroups = groups;
    return kOk;
  });
}

int StaticValues(ScsCursor *cur, const Dataset *params) {
  const DrvHandle h = cur->valuesStmt;
  if (params && params->columns) {
    Dataset *copy = nullptr;
    if (int rc = DatasetClone(&copy, params)) return rc;
    if (int rc = SendParams(cur, h, copy)) return rc;
    if (cur->needbind) {
      free(cur->paramDescs);
      cur->paramDescs = nullptr;
      cur->paramDescCount = 0;
      if (int rc = scs_p_ParamInfoAppend(cur, nullptr, 0, 1)) return rc;
      if (int rc = DrvCall<&DrvOps::DRV_SetParamInfo>(cur->drv, h, cur->paramDescCount, cur->paramDescs)) return rc;
    }
  }
  if (int rc = DrvCall<&DrvOps::DRV_Execute>(cur->drv, h)) return rc;
  DSC_Close(&cur->valuesDsc);
  int64_t total = 0;
  int rc = DSC_Fill(&cur->valuesDsc, cur->drv, h, cur->valuesCache, &total);
  DrvCall<&DrvOps::DRV_CloseCursor>(cur->drv, h);
  if (rc) {
    LOG(LOG_ERR, "scs_p_GetOptConcColVals: Could not fill optimistic concurrency values cache");
    return rc;
  }
  cur->valuesWindowStart = cur->valuesDsc.mode == DSC_SPILLED ? -1 : 0;
  return kOk;
}

// Keys one lookup carries: as many as the parameter limit leaves room for
// beside the user's parameters, no more than a rowset holds.
int32_t KeysPerLookup(const ScsCursor *cur, bool withUser) {
  const int32_t room = cur->maxParams - (withUser ? cur->userParams->columns : 0);
  const int32_t per = room / static_cast<int32_t>(KeyCount(cur));
  const int32_t rowset = cur->rowsetSize > 0 ? cur->rowsetSize : 1;
  return per < rowset ? per : rowset;
}

}  // namespace

int scs_p_OptConcSelectBuild(ScsCursor *cur, const char *text, AnalysedSQL *reread, int withKeys) {
  if (!cur || !text || !reread) return kGeneral;
  const VArray *compared = ComparedColumns(cur);
  if (!compared || compared->count == 0 || (withKeys && KeyCount(cur) == 0)) return kGeneral;
  if (int rc = SCR_AnalyseSQL(reread, text, 1, cur->noCatalogs)) {
    LOG(LOG_DEBUG, "SCR_AnalyseSQL failed: %s", text);
    LOG(LOG_DEBUG, "%s", reread->errMsg ? reread->errMsg : "");
    LOG(LOG_DEBUG, "%s", reread->text2 ? reread->text2 : "");
    return rc;
  }
  if (int rc = SCR_SelectListMark(reread)) return rc;
  return Guarded([&]() -> int {
    const uint32_t tables = cur->tables ? cur->tables->count : 1;
    std::string list;
    for (uint32_t i = 0; i < compared->count; ++i) {
      char *name = scs_p_ColNameQualify(tables, static_cast<const ScsColDesc *>(VArray_At(compared, i)));
      if (!name) return kNoMemory;
      if (i) list += ", ";
      list += name;
      free(name);
    }
    const VArray *keys = KeyColumns(cur);
    for (uint32_t i = 0; withKeys && i < keys->count; ++i)
      list += ", " + KS_ColumnRef(*static_cast<const ScsColDesc *>(VArray_At(keys, i)), TableCount(cur));
    return KS_Splice(reread, list);
  });
}

int scs_p_GetOptConcColVals(ScsCursor *cur, const Dataset *params, const Dataset *keys, uint32_t first,
                            uint32_t count, int16_t *keyStatus, uint32_t *missing) {
  if (missing) *missing = 0;
  if (!cur) return kGeneral;
  if (cur->valuesCache) {
    DatasetFree(cur->valuesCache);
  } else if (!(cur->valuesCache = static_cast<Dataset *>(calloc(1, sizeof(Dataset))))) {
    return kNoMemory;
  }
  if (cur->cursorType == SCS_STATIC) {
    if (int rc = PrepareValuesQuery(cur, -1)) return rc;
    return StaticValues(cur, params);
  }
  if (!keys || KeyCount(cur) == 0 || keys->columns < KeyCount(cur) || uint64_t{first} + count > uint64_t(keys->rows))
    return kGeneral;
  const bool withUser = (cur->flags & SCSF_HAS_PARAMS) && cur->userParams && cur->userParams->columns;
  const int32_t per = KeysPerLookup(cur, withUser);
  if (per < 1) return kGeneral;
  if (count == 0) return kOk;
  if (int rc = PrepareValuesQuery(cur, per)) return rc;
  const DrvHandle h = cur->valuesStmt;
  Dataset fetched{};
  int rc = kOk;
  for (uint32_t done = 0; rc == kOk && done < count;) {
    const uint32_t rows = count - done < static_cast<uint32_t>(per) ? count - done : static_cast<uint32_t>(per);
    Dataset *kp = nullptr;
    if ((rc = KS_KeyParamsBuild(keys, first + done, static_cast<uint32_t>(per), rows, &kp, 0, 0, 0, nullptr,
                                nullptr)))
      break;
    Dataset *sent = kp;
    if (withUser) {
      Dataset *user = nullptr;
      if ((rc = DatasetClone(&user, cur->userParams)) || (rc = DatasetJoinCols(user, kp))) {
        DatasetDelete(user);
        DatasetDelete(kp);
        break;
      }
      DatasetDelete(kp);
      sent = user;
    }
    if ((rc = SendParams(cur, h, sent))) break;
    if (done == 0 && (rc = SendKeyParamInfo(cur, h, static_cast<uint32_t>(per), withUser))) break;
    if ((rc = DrvCall<&DrvOps::DRV_Execute>(cur->drv, h))) break;
    rc = FetchInto(cur, h, rows, &fetched);
    // No read stays open between fetches: others' writes must not wait.
    DrvCall<&DrvOps::DRV_CloseCursor>(cur->drv, h);
    done += rows;
  }
  if (rc == kOk && fetched.columns == 0) rc = LayoutFromLower(cur, h, &fetched);
  if (rc == kOk) rc = PlaceByKey(cur, &fetched, keys, first, count, keyStatus, missing);
  DatasetFree(&fetched);
  return rc;
}

std::string scs_p_LockedText(const ScsCursor *cur, const char *text) {
  std::string out = text ? text : "";
  if (cur && cur->concurrency == SCS_LOCK && !cur->rowLocks) out += " FOR UPDATE";
  return out;
}

int scs_p_LockRows(ScsCursor *cur, const Dataset *keys, uint32_t first, uint32_t count, const int16_t *keyStatus) {
  if (!cur) return kGeneral;
  std::vector<uint32_t> todo;
  for (uint32_t k = 0; k < count; ++k)
    if (!keyStatus || keyStatus[k] == 0 || keyStatus[k] == 2) todo.push_back(first + k);
  if (todo.empty()) return kOk;
  if (!keys || KeyCount(cur) == 0 || uint64_t{first} + count > uint64_t(keys->rows) || !cur->tables ||
      cur->tables->count == 0)
    return kGeneral;
  int rc = Guarded([&]() -> int {
    const auto *t = static_cast<const TableRef *>(VArray_At(cur->tables, 0));
    const VArray *cols = KeyColumns(cur);
    std::string set, where;
    for (uint32_t i = 0; i < cols->count; ++i) {
      const char *name = static_cast<const ScsColDesc *>(VArray_At(cols, i))->name;
      set += std::string(i ? ", " : "") + name + " = ?";
      where += std::string(i ? " AND " : "") + name + " = ?";
    }
    std::string text = "UPDATE ";
    if (t->owner && t->owner[0]) text += std::string(t->owner) + ".";
    text += std::string(t->table) + " SET " + set + " WHERE " + where;
    if (int rc2 = scs_p_AuxCursor(cur)) return rc2;
    return DrvCall<&DrvOps::DRV_Prepare>(cur->drv, cur->aux1, text.c_str());
  });
  if (rc == kOk) rc = SendKeyParamInfo(cur, cur->aux1, 2, 0);
  if (rc != kOk) return rc;
  size_t locked = 0;
  for (uint32_t row : todo) {
    Dataset *params = nullptr;
    if ((rc = KS_KeyParamsBuild(keys, row, 2, 1, &params, 0, 0, 0, nullptr, nullptr))) break;
    if ((rc = SendParams(cur, cur->aux1, params))) break;
    if ((rc = DrvCall<&DrvOps::DRV_Execute>(cur->drv, cur->aux1))) break;
    int32_t changed = 0;
    int16_t len = 0;
    if ((rc = DrvCall<&DrvOps::DRV_GetInfo>(cur->drv, cur->aux1, INFO_ROW_COUNT, &changed, 4, &len))) break;
    if (changed == 0) break;
    ++locked;
  }
  if (locked < todo.size()) {
    LOG(LOG_ERR, "scs_p_LockRows: Couldn't acquire row lock(s).");
    return E_01S01;
  }
  return rc;
}

int scs_p_RefetchOptConcVals(ScsCursor *cur, const Dataset *keys, uint32_t first, uint32_t count,
                             const uint32_t *rows, uint32_t n) {
  if (!cur || (n && !rows)) return kGeneral;
  Dataset *kept = cur->valuesCache;
  cur->valuesCache = nullptr;
  int rc = scs_p_GetOptConcColVals(cur, nullptr, keys, first, count);
  Dataset *fresh = cur->valuesCache;
  cur->valuesCache = kept;
  for (uint32_t i = 0; rc == kOk && kept && fresh && i < n; ++i) {
    if (rows[i] >= static_cast<uint32_t>(kept->rows) || rows[i] >= static_cast<uint32_t>(fresh->rows)) continue;
    rc = DatasetRowCopy(kept, fresh, rows[i], rows[i], 1);
  }
  DatasetDelete(fresh);
  return rc;
}

int scs_p_ConcAfterRowset(ScsCursor *cur, const Dataset *keys, uint32_t first, uint32_t count, int16_t *keyStatus,
                          uint16_t *status) {
  if (!cur || count == 0) return kOk;
  scs_p_CursorFacts(cur);
  const bool versions = cur->cursorType == SCS_DYNAMIC && cur->rowVersions && cur->rvc.stmt;
  const bool updatable = scs_p_UpdatableRefusal(cur) == 0;
  if (cur->concurrency == SCS_LOCK && cur->rowLocks && updatable)
    if (int rc = scs_p_LockRows(cur, keys, first, count, keyStatus)) return rc;
  if (!versions && !(cur->concurrency == SCS_VALUES && updatable)) return kOk;
  if (int rc = scs_p_GetOptConcColVals(cur, nullptr, keys, first, count, keyStatus)) return rc;
  return versions ? scs_p_RowVersionsCheck(cur, keys, first, count, status) : kOk;
}

// ---- Row versions ----------------------------------------------------------------------

int scs_p_RowVersionsPrepare(ScsCursor *cur) {
  if (!cur || cur->cursorType != SCS_DYNAMIC) return kOk;
  scs_p_CursorFacts(cur);
  if (!cur->rowVersions) return kOk;
  if (!cur->rvc.stmt) {
    const ConnectReq *req = scs_p_ConnectInfo(cur->lowerConn);
    if (!req) return kGeneral;
    if (int rc = RVC_Attach(&cur->rvc, cur->drv, scs_p_ConnectServer(cur->lowerConn), req, cur->lowerConn,
                            cur->lowerStmt, cur->needbind))
      return rc;
  }
  return RVC_DeleteVersions(&cur->rvc);
}

int scs_p_RowVersionsCheck(ScsCursor *cur, const Dataset *keys, uint32_t first, uint32_t count, uint16_t *status) {
  if (!cur || !cur->rowVersions || !cur->rvc.stmt || count == 0) return kOk;
  if (!status || !keys || !cur->valuesCache) return kGeneral;
  return Guarded([&]() -> int {
    std::vector<int16_t> st(count, 0);
    const int rc = RVC_CheckVersions(&cur->rvc, keys, first, cur->valuesCache, count, st.data());
    for (uint32_t k = 0; k < count; ++k)
      if (status[k] != kRowDeleted) status[k] = static_cast<uint16_t>(st[k]);
    return rc;
  });
}

void scs_p_RowVersionsRelease(ScsCursor *cur) {
  if (!cur || !cur->rvc.stmt) return;
  RVC_DeleteVersions(&cur->rvc);
  RVC_Detach(&cur->rvc);
}
