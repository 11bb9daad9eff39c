// Positioned update, delete and insert, and bulk operations by bookmark.
#include "scrs/sc_pos.h"

#include <sqlext.h>

#include <atomic>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "odbc/data/rowset.h"
#include "odbc/dataset.h"
#include "odbc/sqlstate.h"
#include "scrs/dsc.h"
#include "scrs/sc_conc.h"
#include "scrs/keyquery.h"
#include "scrs/ks.h"
#include "scrs/sc_install.h"
#include "scrs/sc_s.h"
#include "scrs/scr.h"

namespace {

std::atomic<ScsSetPosStarter> g_starter{nullptr};  // set at every connect

constexpr int16_t kIndRowIgnored = -4;
constexpr int16_t kIndColumnIgnored = -6;

void FreeDs(Dataset *&ds) {
  if (!ds) return;
  DatasetFree(ds);
  free(ds);
  ds = nullptr;
}

// A heap Dataset held until it is handed on.
struct HeldDs {
  Dataset *p = nullptr;
  HeldDs() = default;
  explicit HeldDs(Dataset *d) : p(d) {}
  HeldDs(const HeldDs &) = delete;
  HeldDs &operator=(const HeldDs &) = delete;
  ~HeldDs() { FreeDs(p); }
  Dataset *release() {
    Dataset *d = p;
    p = nullptr;
    return d;
  }
};

// What an operation was handed: freed however it ends.
struct Handed {
  Dataset *values;
  uint16_t *columns;
  ~Handed() {
    FreeDs(values);
    free(columns);
  }
};

std::string TargetTable(const ScsCursor *cur) {
  const auto *t = static_cast<const TableRef *>(VArray_At(cur->tables, 0));
  std::string s;
  if (t->owner && t->owner[0]) {
    s = t->owner;
    s += ".";
  }
  s += t->table;
  return s;
}

const VArray *KeyCols(const ScsCursor *cur) { return cur->keyset ? cur->keyset->keyCols : nullptr; }

const ScsColDesc *ColAt(const VArray *cols, uint32_t i) { return static_cast<const ScsColDesc *>(VArray_At(cols, i)); }

std::string ResultColName(const ScsCursor *cur, const ColDesc *d) {
  const char *name = d->fullName && d->fullName[0] ? d->fullName : d->name;
  if (!cur->identQuote) return name;
  return std::string(1, cur->identQuote) + name + cur->identQuote;
}

ParamInfo InfoOfResultCol(const ColDesc *d) {
  ScsColDesc c{};
  c.sqlType = static_cast<int16_t>(d->sqlType);
  c.columnSize = static_cast<int32_t>(d->columnSize);
  c.decimalDigits = d->decimalDigits;
  ParamInfo p{};
  scs_p_ParamInfoFromColDesc(&c, &p);
  return p;
}

ParamInfo InfoOf(const ScsColDesc *c) {
  ParamInfo p{};
  scs_p_ParamInfoFromColDesc(c, &p);
  return p;
}

// What a change under values concurrency compares: the values the last
// fetch saw (the values cache, or else the rows of the rowset as fetched)
// and, per column, its name in the condition (none: not compared, as a long
// value is not) and its parameter description.
struct Compared {
  const Dataset *rows = nullptr;
  std::vector<std::string> names;
  std::vector<ParamInfo> info;
};

bool LongType(int32_t t) { return t == VT_LONGCHAR || t == VT_LONGBINARY || t == VT_LONGWCHAR; }

int ComparedOf(ScsCursor *cur, Compared *out) {
  if (cur->concurrency != SCS_VALUES) return 0;
  const VArray *cols = cur->selectColumnsMode == 2 ? cur->selectCols : cur->tableCols;
  if (cur->valuesCache && cols) {
    out->rows = cur->valuesCache;
    for (uint32_t j = 0; j < cols->count; ++j) {
      out->names.emplace_back(ColAt(cols, j)->name);
      out->info.push_back(InfoOf(ColAt(cols, j)));
    }
    return 0;
  }
  if (!cur->fetchedRows) return 0;
  out->rows = cur->fetchedRows;
  for (uint16_t c = 0; c < cur->fetchedRows->columns; ++c) {
    ColDesc *d = nullptr;
    if (int code = scs_p_ResultColDescGet(cur, c + 1u, &d)) return code;
    const bool compared = !LongType(cur->fetchedRows->cols[c].type) && !LongType(d->valueType);
    out->names.push_back(compared ? ResultColName(cur, d) : std::string());
    out->info.push_back(InfoOfResultCol(d));
  }
  return 0;
}

// Whether row r of a values or row-mark Dataset is one the application
// does not act on.
bool RowIgnored(const Dataset *ds, int64_t r) {
  return ds && ds->columns > 0 && r >= 0 && r < ds->rows && ds->cols[0].indicators[r] == kIndRowIgnored;
}

bool ColumnIgnored(const Dataset *ds, uint16_t c, int64_t r) { return ds->cols[c].indicators[r] == kIndColumnIgnored; }

// One row's parameters from row r of src: fixed text sent at its length,
// the columns ignored in that row left out.
int RowParams(const ScsCursor *cur, const Dataset *src, uint32_t r, bool skipIgnored, Dataset **out) {
  *out = nullptr;
  Dataset *ds = nullptr;
  if (int code = KS_KeyParamsBuild(src, r, 1, 1, &ds, 1, 1, 0, nullptr, nullptr)) return code;
  (void)cur;
  if (skipIgnored)
    for (uint16_t c = src->columns; c-- > 0;)
      if (ColumnIgnored(src, c, r))
        if (int code = DatasetColDelete(ds, c)) {
          FreeDs(ds);
          return code;
        }
  *out = ds;
  return 0;
}

// other's columns in front of ds's; other goes.
int Join(Dataset *ds, Dataset *&other) {
  if (!other) return 0;
  int code = other->columns ? DatasetJoinCols(ds, other) : 0;
  FreeDs(other);
  return code;
}

// The statement the rows of an operation run on, prepared again only when
// its text changes from one row to the next.
struct Runner {
  ScsCursor *cur;
  std::string prepared;
  bool any = false;

  // Prepares text unless it stands prepared; a failure ends the operation.
  int Prepare(const std::string &text) {
    if (any && text == prepared) return 0;
    any = false;
    if (int code = DrvCall<&DrvOps::DRV_Prepare>(cur->drv, cur->aux1, text.c_str())) return code;
    prepared = text;
    any = true;
    return 0;
  }

  // Runs the prepared statement with one row of parameters (handed on);
  // *changed gets the rows it changed (asked only when given). A failure
  // is the row's, its messages kept for the application.
  bool Run(Dataset *params, const std::vector<ParamInfo> &info, int32_t *changed) {
    int32_t code = DrvCall<&DrvOps::DRV_SetParams>(cur->drv, cur->aux1, params);
    if (code == 0 && cur->needbind && !info.empty())
      code = DrvCall<&DrvOps::DRV_SetParamInfo>(cur->drv, cur->aux1, static_cast<uint16_t>(info.size()), info.data());
    if (code == 0) code = DrvCall<&DrvOps::DRV_Execute>(cur->drv, cur->aux1);
    if (code == 0 && changed) {
      int32_t n = 0;
      int16_t len = 0;
      code = DrvCall<&DrvOps::DRV_GetInfo>(cur->drv, cur->aux1, INFO_ROW_COUNT, &n, static_cast<uint16_t>(sizeof n), &len);
      *changed = n;
    }
    if (code != 0) scs_p_AuxErrorsCollect(cur);
    return code == 0;
  }
};

// One row changed by key: its key, its new values (update) and the values
// the last fetch saw (values concurrency).
struct KeyedRow {
  const Dataset *keys;
  uint32_t keyRow;
  const Dataset *values;  // none for a delete
  uint32_t valueRow;
  const Compared *current;  // none but under values concurrency
  uint32_t currentRow;
};

// Runs the row's DELETE or UPDATE. *done when it changed a row; a code
// that ends the operation otherwise.
int RunKeyed(Runner &run, const KeyedRow &row, const uint16_t *columns, bool *done) {
  ScsCursor *cur = run.cur;
  *done = false;
  std::string text;
  std::vector<ParamInfo> info;
  HeldDs params;
  Dataset *newValues = nullptr;
  if (row.values) {
    if (int code = RowParams(cur, row.values, row.valueRow, true, &newValues)) return code;
    HeldDs holdNew(newValues);
    text = "UPDATE " + TargetTable(cur) + " SET ";
    bool first = true;
    for (uint16_t c = 0; c < row.values->columns; ++c) {
      if (ColumnIgnored(row.values, c, row.valueRow)) continue;
      ColDesc *d = nullptr;
      if (int code = scs_p_ResultColDescGet(cur, columns[c], &d)) return code;
      if (!first) text += ", ";
      first = false;
      text += ResultColName(cur, d) + " = ?";
      info.push_back(InfoOfResultCol(d));
    }
    // Every column left as it is: the row stands as it was.
    if (first) {
      *done = true;
      return 0;
    }
    holdNew.release();
    text += " WHERE ";
  } else {
    text = "DELETE FROM " + TargetTable(cur) + " WHERE ";
  }
  const VArray *keys = KeyCols(cur);
  for (uint32_t i = 0; i < keys->count; ++i) {
    if (i) text += " AND ";
    text += std::string(ColAt(keys, i)->name) + " = ?";
    info.push_back(InfoOf(ColAt(keys, i)));
  }
  if (int code = KS_KeyParamsBuild(row.keys, row.keyRow, 1, 1, &params.p, cur->lowerParamArrays, 0, 0, nullptr,
                                   nullptr)) {
    FreeDs(newValues);
    return code;
  }
  if (int code = Join(params.p, newValues)) return code;
  if (row.current) {
    const Compared &cmp = *row.current;
    Dataset *now = nullptr;
    uint16_t nulls = 0;
    int16_t *isNull = nullptr;
    if (int code = KS_KeyParamsBuild(cmp.rows, row.currentRow, 1, 1, &now, cur->lowerParamArrays, 0, 1, &nulls,
                                     &isNull))
      return code;
    // Non-NULL values stand in column order; those not compared go.
    std::vector<uint16_t> at(cmp.rows->columns, 0);
    uint16_t kept = 0;
    for (uint16_t j = 0; j < cmp.rows->columns; ++j) {
      at[j] = kept;
      if (!isNull[j]) ++kept;
    }
    int code = 0;
    for (uint16_t j = cmp.rows->columns; code == 0 && j-- > 0;)
      if (!isNull[j] && (j >= cmp.names.size() || cmp.names[j].empty())) code = DatasetColDelete(now, at[j]);
    for (uint16_t j = 0; code == 0 && j < cmp.rows->columns && j < cmp.names.size(); ++j) {
      if (cmp.names[j].empty()) continue;
      text += " AND " + cmp.names[j];
      if (isNull[j]) {
        text += " IS NULL";
      } else {
        text += " = ?";
        info.push_back(cmp.info[j]);
      }
    }
    free(isNull);
    // The current values follow the key's.
    Dataset *front = params.release();
    if (code == 0 && now->columns) code = DatasetJoinCols(now, front);
    if (now->columns == 0) std::swap(now, front);
    FreeDs(front);
    params.p = now;
    if (code) return code;
  }
  if (int code = run.Prepare(text)) return code;
  int32_t changed = 0;
  *done = run.Run(params.release(), info, &changed) && changed > 0;
  return 0;
}

int32_t KeyNumberBase(const ScsCursor *cur) { return cur->cursorType == SCS_DYNAMIC ? 1 : cur->firstRow; }

// The rows of the keyset a positioned operation reaches are there to act on.
int KeyedReady(ScsCursor *cur) {
  if (int code = scs_p_UpdatableRefusal(cur)) return code;
  if (cur->concurrency == SCS_READ_ONLY) return E_S1009;
  const VArray *keys = KeyCols(cur);
  if (!cur->tables || cur->tables->count == 0 || !keys || keys->count == 0 || !cur->keyset->keys) return E_S1000;
  // Keys held for the rows of a keyset-driven cursor's rowset only: other
  // cursors are not changed by key here.
  if (!cur->keyset->rowStatus) return E_S1C00;
  scs_p_CursorFacts(cur);
  return scs_p_AuxCursor(cur);
}

int Outcome(int32_t acted, int32_t done, bool noneIsError) {
  if (acted == 0 || done == acted) return 0;
  if (done == 0 && noneIsError) return E_01S03;
  return E_01S01;
}

// Ends a positioned operation: a failure that ended it hands out no
// statuses; else the statuses, their count and the outcome of the rows.
int Finish(ScsCursor *cur, int code, int16_t *st, int32_t entries, int32_t acted, int32_t done, bool noneIsError,
           int16_t **status, int32_t *count) {
  if (code) {
    free(st);
    scs_p_AuxErrorsCollect(cur);
    return code;
  }
  cur->rowsAffected = done;
  *status = st;
  if (count) *count = entries;
  return Outcome(acted, done, noneIsError);
}

// Positioned DELETE (values none) or UPDATE of the addressed rows.
int PosKeyed(ScsCursor *cur, int32_t row, int16_t **status, int32_t *count, Dataset *values, uint16_t *columns,
             const Dataset *marks) {
  if (int code = KeyedReady(cur)) return code;
  KeySet *ks = cur->keyset;
  const int32_t ws = ks->windowStart < 0 ? 0 : ks->windowStart;
  const int64_t base = KeyNumberBase(cur);
  const bool all = row == SCS_ALL_ROWS;
  const int32_t entries = all ? (cur->rowsetSize > 0 ? cur->rowsetSize : 0) : 1;
  int64_t first = all ? base - 1 : base + row - 2;
  int64_t last = all ? base + entries - 2 : first;
  const int64_t held = int64_t{ws} + ks->keys->rows - 1;
  if (last > held) last = held;
  auto *st = static_cast<int16_t *>(malloc(sizeof(int16_t) * static_cast<size_t>(entries ? entries : 1)));
  if (!st) return E_S1001;
  for (int32_t e = 0; e < entries; ++e) st[e] = SQL_ROW_NOROW;
  const bool update = values != nullptr;
  Compared cmp;
  if (int code = ComparedOf(cur, &cmp)) {
    free(st);
    return code;
  }
  const Dataset *cache = cmp.rows;
  Runner run{cur};
  int32_t acted = 0, done = 0;
  int code = 0;
  std::vector<uint32_t> updated;  // values cache rows changed here
  for (int64_t i = first; i <= last && code == 0; ++i) {
    const int64_t v = i - first;
    if (i < ws) continue;
    if (ks->rowStatus) st[v] = ks->rowStatus[i];
    else st[v] = SQL_ROW_SUCCESS;
    if (RowIgnored(update ? values : marks, v)) continue;
    ++acted;
    const int64_t k = all ? v : row - 1;
    // A static cursor's values cache holds the whole result; else rows of the rowset.
    const int64_t c = cur->cursorType == SCS_STATIC && cache == cur->valuesCache ? i : k;
    KeyedRow kr{ks->keys, static_cast<uint32_t>(i - ws), values, static_cast<uint32_t>(v), nullptr, 0};
    if (cache && c >= 0 && c < cache->rows) {
      kr.current = &cmp;
      kr.currentRow = static_cast<uint32_t>(c);
    }
    bool ok = false;
    code = RunKeyed(run, kr, columns, &ok);
    if (code) break;
    const int16_t s = ok ? (update ? SQL_ROW_UPDATED : SQL_ROW_DELETED) : SQL_ROW_ERROR;
    st[v] = s;
    if (ks->rowStatus) ks->rowStatus[i] = s;
    if (ok) ++done;
    if (ok && update && kr.current && cache == cur->valuesCache) updated.push_back(kr.currentRow);
  }
  // The compared values of a row this cursor updated are its new ones: a
  // second update before the next fetch must not take our own change for
  // someone else's. Where they cannot be read again the old ones stay, and
  // such an update is refused (01001), never done blind.
  if (code == 0 && !updated.empty() && cur->cursorType != SCS_STATIC && base - 1 - ws >= 0)
    (void)scs_p_RefetchOptConcVals(cur, ks->keys, static_cast<uint32_t>(base - 1 - ws),
                                   static_cast<uint32_t>(cache->rows), updated.data(),
                                   static_cast<uint32_t>(updated.size()));
  return Finish(cur, code, st, entries, acted, done, true, status, count);
}

}  // namespace

void scs_SetSetPosStarter(ScsSetPosStarter starter) { g_starter.store(starter, std::memory_order_release); }

int scs_p_PosDelete(ScsCursor *cur, int32_t row, int16_t **status, int32_t *count, Dataset *marks) {
  Handed h{marks, nullptr};
  return PosKeyed(cur, row, status, count, nullptr, nullptr, marks);
}

int scs_p_PosUpdate(ScsCursor *cur, int32_t row, int16_t **status, int32_t *count, Dataset *values, uint16_t *columns) {
  Handed h{values, columns};
  return PosKeyed(cur, row, status, count, values, columns, nullptr);
}

int scs_p_PosInsert(ScsCursor *cur, int32_t row, int16_t **status, int32_t *count, Dataset *values, uint16_t *columns) {
  Handed h{values, columns};
  if (int code = scs_p_UpdatableRefusal(cur)) return code;
  if (!cur->tables || cur->tables->count == 0) return E_S1000;
  scs_p_CursorFacts(cur);
  if (int code = scs_p_AuxCursor(cur)) return code;
  int32_t rows = row == SCS_ALL_ROWS ? (cur->rowsetSize > 0 ? cur->rowsetSize : 0) : 1;
  if (rows > values->rows) rows = values->rows;
  auto *st = static_cast<int16_t *>(malloc(sizeof(int16_t) * static_cast<size_t>(rows ? rows : 1)));
  if (!st) return E_S1001;
  Runner run{cur};
  int32_t acted = 0, added = 0;
  int code = 0;
  for (int32_t l = 0; l < rows && code == 0; ++l) {
    st[l] = SQL_ROW_SUCCESS;
    if (RowIgnored(values, l)) continue;
    ++acted;
    st[l] = SQL_ROW_ERROR;
    std::string names, marks;
    std::vector<ParamInfo> info;
    for (uint16_t c = 0; c < values->columns && code == 0; ++c) {
      if (ColumnIgnored(values, c, l)) continue;
      ColDesc *d = nullptr;
      if ((code = scs_p_ResultColDescGet(cur, columns[c], &d))) break;
      if (!names.empty()) {
        names += ", ";
        marks += ", ";
      }
      names += ResultColName(cur, d);
      marks += "?";
      info.push_back(InfoOfResultCol(d));
    }
    if (code) break;
    if (names.empty()) continue;  // no value to insert: the row fails
    Dataset *params = nullptr;
    if ((code = RowParams(cur, values, static_cast<uint32_t>(l), true, &params))) break;
    if ((code = run.Prepare("INSERT INTO " + TargetTable(cur) + " ( " + names + " ) VALUES ( " + marks + " )"))) {
      FreeDs(params);
      break;
    }
    if (run.Run(params, info, nullptr)) {
      st[l] = SQL_ROW_ADDED;
      ++added;
    }
  }
  return Finish(cur, code, st, rows, acted, added, false, status, count);
}

int scs_p_SetPosOp(ScsCursor *cur, int32_t row, uint16_t op, int16_t **status, int32_t *count, Dataset *values,
                   uint16_t *columns) {
  switch (op) {
    case SQL_UPDATE:
    case SQL_ADD:
      if (!status || !values || !columns) break;
      return op == SQL_UPDATE ? scs_p_PosUpdate(cur, row, status, count, values, columns)
                              : scs_p_PosInsert(cur, row, status, count, values, columns);
    case SQL_DELETE:
      if (!status || !values) break;
      free(columns);
      return scs_p_PosDelete(cur, row, status, count, values);
    default: {
      Handed h{values, columns};
      return op == SQL_REFRESH ? E_S1C00 : 0;
    }
  }
  Handed h{values, columns};
  return E_S1009;
}

int scs_SetPosRun(ScsCursor *cur, int16_t **status, int32_t *count) {
  if (status) *status = nullptr;
  if (count) *count = 0;
  if (!cur) return E_S1009;
  // The pending operation leaves the record it waited on.
  Handed h{cur->setPosValues, reinterpret_cast<uint16_t *>(cur->setPosColumns)};
  cur->setPosValues = nullptr;
  cur->setPosColumns = nullptr;
  const int32_t row = cur->setPosRow;
  const uint16_t op = cur->setPosOp;
  ScsCursor *layer = scs_p_LayerCursor(cur->lowerStmt);
  if (!layer) layer = cur;
  if (op != SQL_ADD)
    if (int code = scs_SetRowPosition(layer, row)) return code;
  const int32_t type = layer->cursorType;
  if (type != SCS_KEYSET && type != SCS_DYNAMIC && type != SCS_STATIC) return E_S1C00;
  Dataset *values = h.values;
  uint16_t *columns = h.columns;
  h.values = nullptr;
  h.columns = nullptr;
  return scs_p_SetPosOp(layer, row, op, status, count, values, columns);
}

int32_t scs_SetPos(DrvHandle cursor, int32_t row, uint16_t op, uint16_t lock, int16_t **status, int32_t *count,
                   Dataset *values, uint16_t *columns, uint16_t columnCount) {
  (void)lock;
  (void)columnCount;  // the values Dataset has one column per entry
  if (status) *status = nullptr;
  if (count) *count = 0;
  Handed h{values, columns};
  ScsCursor *layer = scs_p_LayerCursor(cursor);
  if (!layer) return E_S1009;
  if (!(layer->flags & SCSF_VIA_LAYER)) return E_24000;
  // The pending operation is kept where the agent's data-at-execution
  // dialogue finds it.
  ScsCursor *rec = scs_p_AgentRecord(cursor);
  ScsCursor *hold = rec ? rec : layer;
  FreeDs(hold->setPosValues);
  free(hold->setPosColumns);
  hold->setPosRow = row;
  hold->setPosOp = op;
  hold->setPosValues = values;
  hold->setPosColumns = reinterpret_cast<int16_t *>(columns);
  h.values = nullptr;
  h.columns = nullptr;
  layer->rowsAffected = 0;
  const ScsSetPosStarter starter = g_starter.load(std::memory_order_acquire);
  int32_t rc = rec && starter ? starter(cursor) : 0;
  if (rc == E_IM922) return rc;
  if (rc == 0) rc = scs_SetPosRun(hold, status, count);
  if (rc != 0) {
    FreeDs(hold->setPosValues);
    free(hold->setPosColumns);
    hold->setPosColumns = nullptr;
    scs_p_AuxErrorsCollect(layer);
  }
  return rc;
}

// ---- Bulk operations by bookmark ---------------------------------------------------------

int scs_p_RowsByBookmark(const Dataset *src, const int32_t *bookmarks, uint16_t count, int32_t offset, Dataset **out) {
  if (!out) return E_S1000;
  *out = nullptr;
  if (!bookmarks || !src || count == 0) return E_S1000;
  Dataset *ds = nullptr;
  if (int code = DatasetCloneLayout(&ds, src, count)) return code;
  for (uint16_t i = 0; i < count; ++i) {
    const int64_t r = int64_t{bookmarks[i]} - offset - 1;
    int code = r < 0 || r >= src->rows ? E_IM925
                                       : DatasetRowCopy(ds, const_cast<Dataset *>(src), i, static_cast<uint32_t>(r), 0);
    if (code) {
      FreeDs(ds);
      return code;
    }
  }
  *out = ds;
  return 0;
}

namespace {

// Update or delete of the bookmarked rows, one statement per row.
int BulkKeyed(ScsCursor *cur, const Dataset *keyRows, const Compared *current, Dataset *values,
              const uint16_t *columns, uint16_t n, int16_t *st, int16_t *outCount) {
  if (int code = KeyedReady(cur)) return code;
  Runner run{cur};
  int32_t done = 0;
  cur->rowsAffected = 0;
  for (uint16_t k = 0; k < n; ++k) {
    KeyedRow kr{keyRows, k, values, k, current && current->rows ? current : nullptr, k};
    bool ok = false;
    if (int code = RunKeyed(run, kr, columns, &ok)) {
      scs_p_AuxErrorsCollect(cur);
      return code;
    }
    st[k] = ok ? (values ? SQL_ROW_UPDATED : SQL_ROW_DELETED) : SQL_ROW_ERROR;
    if (ok) ++done;
  }
  cur->rowsAffected = done;
  if (outCount) *outCount = static_cast<int16_t>(done);
  return Outcome(n, done, true);
}

// The rows of the bookmarks read again by key, in the bookmarks' order.
int BulkFetch(ScsCursor *cur, const Dataset *keyRows, uint16_t n, int16_t *st, int16_t *outCount, Rowset **out) {
  const VArray *keys = KeyCols(cur);
  if (!cur->sqlCopy || !keys || keys->count == 0) return E_S1000;
  scs_p_CursorFacts(cur);
  if (int code = scs_p_AuxCursor(cur)) return code;
  AnalysedSQL a;
  SCR_AnalysedInit(&a);
  int code = SCR_AnalyseSQL(&a, cur->sqlCopy, 1, cur->noCatalogs);
  if (code == 0) code = KS_KeyWhereBuild(&a, KsKeyCols{keys, cur->keyset->tableCount}, 1);
  std::string text = code == 0 && a.text2 ? a.text2 : "";
  SCR_AnalysedFree(&a);
  if (code) return code;
  if (cur->concurrency == SCS_LOCK && !cur->rowLocks) text += " FOR UPDATE";
  if ((code = DrvCall<&DrvOps::DRV_Prepare>(cur->drv, cur->aux1, text.c_str()))) return code;
  std::vector<Dataset *> got(n, nullptr);
  struct FreeAll {
    std::vector<Dataset *> &v;
    ~FreeAll() {
      for (Dataset *&d : v) FreeDs(d);
    }
  } freeAll{got};
  int16_t read = 0;
  for (uint16_t k = 0; k < n && code == 0; ++k) {
    Dataset *params = nullptr;
    if ((code = KS_KeyParamsBuild(keyRows, k, 1, 1, &params, cur->lowerParamArrays, 0, 0, nullptr, nullptr))) break;
    if (cur->userParams && cur->userParams->columns) {
      Dataset *user = nullptr;
      if ((code = DatasetClone(&user, cur->userParams)) == 0) {
        // The key's markers stand in front of the statement's own.
        code = DatasetJoinCols(user, params);
        FreeDs(params);
        params = user;
      }
      if (code) {
        FreeDs(params);
        break;
      }
    }
    std::vector<ParamInfo> info;
    for (uint32_t i = 0; i < keys->count; ++i) info.push_back(InfoOf(ColAt(keys, i)));
    for (uint16_t i = 0; i < cur->userParamDescCount; ++i) info.push_back(cur->userParamDescs[i]);
    code = DrvCall<&DrvOps::DRV_SetParams>(cur->drv, cur->aux1, params);
    if (code == 0 && cur->needbind)
      code = DrvCall<&DrvOps::DRV_SetParamInfo>(cur->drv, cur->aux1, static_cast<uint16_t>(info.size()), info.data());
    if (code == 0) code = DrvCall<&DrvOps::DRV_Execute>(cur->drv, cur->aux1);
    auto *one = static_cast<Dataset *>(calloc(1, sizeof(Dataset)));
    if (!one) code = code ? code : E_S1001;
    if (code == 0) {
      code = DrvCall<&DrvOps::DRV_Fetch>(cur->drv, cur->aux1, static_cast<uint16_t>(1), one);
      if (code == E_IM902) code = 0;
      if (code == 0 && one->rows > 0) code = scs_p_ReadDeferredCells(cur->drv, cur->aux1, one);
    }
    if (cur->concurrency != SCS_LOCK) DrvCall<&DrvOps::DRV_CloseCursor>(cur->drv, cur->aux1);
    if (code == 0 && one->rows > 0) {
      got[k] = one;
      ++read;
    } else {
      FreeDs(one);
    }
  }
  if (code) {
    scs_p_AuxErrorsCollect(cur);
    return code;
  }
  Rowset *rs = nullptr;
  if ((code = RowsetNew(&rs, n))) return code;
  const Dataset *layout = nullptr;
  for (Dataset *d : got)
    if (d && !layout) layout = d;
  if (layout) {
    code = DatasetCloneLayout(&rs->rows, layout, n);
  } else if ((code = scs_p_ResultColDescsGet(cur)) == 0) {
    DatasetFree(rs->rows);
    code = DatasetFromColDescs(cur->resultCols, cur->resultCount, n, rs->rows);
  }
  for (uint16_t k = 0; k < n && code == 0; ++k) {
    if (got[k]) {
      code = DatasetRowCopy(rs->rows, got[k], k, 0, 1);
      st[k] = SQL_ROW_SUCCESS;
    } else {
      code = DatasetRowInsert(rs->rows, k);
      st[k] = SQL_ROW_DELETED;
    }
    rs->status[k] = static_cast<uint16_t>(st[k]);
  }
  if (code) {
    RowsetFree(&rs);
    return code;
  }
  if (outCount) *outCount = read;
  *out = rs;
  return 0;
}

}  // namespace

int scs_p_BulkOps(ScsCursor *cur, int16_t op, const int32_t *bookmarks, uint16_t count, Dataset *values,
                  uint16_t *columns, int16_t **status, int16_t *outCount, Rowset **rowset) {
  Handed h{values, columns};
  if (status) *status = nullptr;
  if (outCount) *outCount = 0;
  if (rowset) *rowset = nullptr;
  if (!status) return E_S1009;
  auto *st = static_cast<int16_t *>(malloc(sizeof(int16_t) * (count ? count : 1u)));
  if (!st) return E_S1001;
  for (uint16_t k = 0; k < count; ++k) st[k] = SQL_ROW_ERROR;
  *status = st;
  if (count == 0) return 0;
  KeySet *ks = cur->keyset;
  if (!ks || !ks->keys) return E_S1000;
  Dataset *keyRows = nullptr;
  if (int code = scs_p_RowsByBookmark(ks->keys, bookmarks, count, ks->windowStart < 0 ? 0 : ks->windowStart, &keyRows))
    return code;
  HeldDs holdKeys(keyRows);
  // The values each bookmarked row had when fetched, under values concurrency.
  Compared cmp;
  HeldDs current;
  if (op != 7) {
    if (int code = ComparedOf(cur, &cmp)) return code;
    if (cmp.rows) {
      const bool whole = cur->cursorType == SCS_STATIC && cmp.rows == cur->valuesCache;
      if (int code = scs_p_RowsByBookmark(cmp.rows, bookmarks, count, whole ? 0 : cur->firstRow - 1, &current.p))
        return code;
      cmp.rows = current.p;
    }
  }
  switch (op) {
    case 5:
      if (!values || !columns) return E_S1000;
      return BulkKeyed(cur, keyRows, &cmp, values, columns, count, st, outCount);
    case 6:
      return BulkKeyed(cur, keyRows, &cmp, nullptr, nullptr, count, st, outCount);
    case 7:
      if (!rowset) return E_S1009;
      return BulkFetch(cur, keyRows, count, st, outCount, rowset);
    default:
      return E_S1092;
  }
}

int32_t scs_BulkOperations(DrvHandle cursor, int16_t op, const int32_t *bookmarks, uint16_t count, Dataset *values,
                           uint16_t *columns, uint16_t columnCount, int16_t **status, int16_t *outCount,
                           Rowset **rowset) {
  (void)columnCount;
  ScsCursor *cur = scs_p_LayerCursor(cursor);
  if (!cur) {
    Handed h{values, columns};
    return E_S1009;
  }
  if (op == SQL_ADD || !bookmarks || (op == 5 && !values)) {
    Handed h{values, columns};
    return E_S1000;
  }
  const int32_t rc = scs_p_BulkOps(cur, op, bookmarks, count, values, columns, status, outCount, rowset);
  if (rc != 0) scs_p_AuxErrorsCollect(cur);
  return rc;
}
