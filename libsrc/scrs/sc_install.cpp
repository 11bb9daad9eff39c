// Installation of the cursor layer, its forward-only scroll fetch and its
// static cursors.
#include "scrs/sc_install.h"

#include <strings.h>

#include <cctype>
#include <cstdlib>
#include <cstring>
#include <mutex>
#include <type_traits>
#include <unordered_map>

#include "odbc/data/rowset.h"
#include "odbc/dataset.h"
#include "odbc/sqlstate.h"
#include "scrs/dsc.h"
#include "scrs/sc_s.h"
#include "scrs/staticset.h"

namespace {

DrvObject g_lower;   // the object below, as it stood at the first installation
DrvOps g_table;      // the layer's table: a copy of the one below with its slots
std::mutex g_installMutex;

// What the layer keeps of one lower cursor: the kind of its statement and
// the static snapshot of its result. Kept by handle, so that the layer serves
// every agent below it alike.
enum StmtKind : uint8_t { KIND_NONE, KIND_SELECT, KIND_CALL, KIND_OTHER };
struct LayerCursor {
  StmtKind kind = KIND_NONE;
  bool cached = false;    // the static set holds the whole result
  int32_t rowCount = -1;  // rows of the cached result
  StaticSet *ss = nullptr;
};
std::mutex g_cursorsMutex;
std::unordered_map<DrvHandle, LayerCursor> g_cursors;

// The cursor's record, made on first use; none when memory runs out. Calls
// on one cursor are serialised by its connection's call lock, so the record
// may be used after the map's lock is left (the map never moves its nodes).
LayerCursor *CursorState(DrvHandle cursor) {
  std::lock_guard<std::mutex> lock(g_cursorsMutex);
  try {
    LayerCursor &lc = g_cursors[cursor];
    if (!lc.ss && SS_New(&lc.ss) != 0) return nullptr;
    return &lc;
  } catch (...) {
    return nullptr;
  }
}

LayerCursor *FindCursorState(DrvHandle cursor) {
  std::lock_guard<std::mutex> lock(g_cursorsMutex);
  auto it = g_cursors.find(cursor);
  return it == g_cursors.end() ? nullptr : &it->second;
}

void ForgetCursorState(DrvHandle cursor) {
  std::lock_guard<std::mutex> lock(g_cursorsMutex);
  auto it = g_cursors.find(cursor);
  if (it == g_cursors.end()) return;
  SS_Free(&it->second.ss);
  g_cursors.erase(it);
}

// Drops the cached result: the next result is read again.
void Uncache(LayerCursor *lc) {
  if (!lc) return;
  SS_Close(lc->ss);
  lc->cached = false;
  lc->rowCount = -1;
}

StmtKind KindOf(const char *sql) {
  if (!sql) return KIND_NONE;
  while (*sql && (isspace(static_cast<unsigned char>(*sql)) || *sql == '(')) ++sql;
  if (*sql == '{') return KIND_CALL;
  if (strncasecmp(sql, "SELECT", 6) == 0 || strncasecmp(sql, "WITH", 4) == 0) return KIND_SELECT;
  return KIND_OTHER;
}

// DRV_Fetch counts rows in 16 bits.
constexpr int32_t kMaxFetchRows = 65535;

// A cursor option as the cursor answers it; the default when it has none.
int32_t CursorOption(DrvHandle cursor, uint16_t option, int32_t dflt) {
  int32_t value = dflt;
  int16_t len = 0;
  if (DrvCall<&DrvOps::DRV_GetInfo>(&g_lower, cursor, InfoStmtOption(option), &value,
                                    static_cast<uint16_t>(sizeof value), &len) != 0)
    return dflt;
  return value;
}

uint16_t FetchCount(int32_t n) { return static_cast<uint16_t>(n < kMaxFetchRows ? n : kMaxFetchRows); }

// Fills rows with up to n rows of the cursor's result. One DRV_Fetch may
// hand over fewer rows than asked before the end (one row at a time when
// the result has long columns), so the fetch goes on until the rowset is
// full or a fetch brings nothing. Long values left with the agent are read
// by their row within the agent's last block: a rowset of one block keeps
// them there; once another block follows, every block has them read into
// its cells (the first one's before the next fetch moves the agent on).
int32_t FetchForward(DrvHandle cursor, int32_t n, Dataset *rows) {
  int32_t code = DrvCall<&DrvOps::DRV_Fetch>(&g_lower, cursor, FetchCount(n), rows);
  if (code != 0 || rows->rows == 0 || rows->rows >= n) return code;
  if ((code = scs_p_ReadDeferredCells(&g_lower, cursor, rows)) != 0) return code;
  Dataset more{};
  while (rows->rows < n) {
    code = DrvCall<&DrvOps::DRV_Fetch>(&g_lower, cursor, FetchCount(n - rows->rows), &more);
    if (code != 0 || more.rows == 0) break;
    code = scs_p_ReadDeferredCells(&g_lower, cursor, &more);
    if (code == 0) code = DatasetAppend(rows, &more);
    if (code != 0) break;
  }
  DatasetFree(&more);
  return code;
}

// Reads the whole result into the static set, once per result. The lower
// cursor is closed after it, except for a procedure call, whose further
// results are still to come from it.
int32_t CacheResult(DrvHandle cursor, LayerCursor *lc) {
  if (lc->cached) return 0;
  int32_t count = 0;
  if (int32_t code = SS_GetRsltSet(lc->ss, &g_lower, cursor, &count)) {
    Uncache(lc);
    return code;
  }
  lc->rowCount = count;
  lc->cached = true;
  if (lc->kind != KIND_CALL) DrvCall<&DrvOps::DRV_CloseCursor>(&g_lower, cursor);
  return 0;
}

// The rowset of a static cursor from its 1-based target row (negative:
// counted from the end; 0: the last rowset). 85 before the start, 86 after
// the end.
int32_t FetchStatic(DrvHandle cursor, LayerCursor *lc, int32_t target, Rowset *rs) {
  if (int32_t code = CacheResult(cursor, lc)) return code;
  const int64_t count = lc->rowCount;
  const int64_t size = rs->count;
  int64_t start;
  if (target > 0) {
    start = int64_t{target} - 1;
  } else if (target == 0) {
    start = count - size > 0 ? count - size : 0;
  } else {
    start = count + target;
    // Counted back past the first row but within one rowset: ODBC's rule
    // gives the first rowset.
    if (start < 0 && -int64_t{target} <= size) start = 0;
  }
  if (start < 0) return E_IM910;
  if (start >= count) return E_IM911;
  if (int32_t code = SS_GetRowset(lc->ss, static_cast<int32_t>(start), rs->count, &rs->rows)) return code;
  for (int32_t i = 0; i < rs->rows->rows && i < rs->count; ++i) rs->status[i] = 0;  // SQL_ROW_SUCCESS
  return 0;
}

}  // namespace

int32_t scs_FetchScroll(DrvHandle cursor, Rowset **out, int32_t value, uint32_t *rows, int32_t *rowCount,
                        uint16_t orientation) {
  (void)orientation;
  if (!out || !rows || !rowCount) return E_S1009;
  *out = nullptr;
  *rows = 0;
  const int32_t type = CursorOption(cursor, 6, SCS_FORWARD_ONLY);
  if (type != SCS_FORWARD_ONLY && type != SCS_STATIC) return E_S1C00;
  int32_t size = CursorOption(cursor, 9, 1);
  if (size < 1) size = 1;
  const int32_t retrieve = CursorOption(cursor, 11, 1);
  LayerCursor *lc = nullptr;
  if (type == SCS_STATIC && !(lc = CursorState(cursor))) return E_S1001;

  Rowset *rs = nullptr;
  if (int32_t code = RowsetNew(&rs, size)) return code;
  int32_t code = lc ? FetchStatic(cursor, lc, value, rs) : FetchForward(cursor, size, rs->rows);
  if (code != 0) {
    RowsetFree(&rs);
    return code;
  }
  const int32_t got = rs->rows->rows;
  if (got == 0) {
    RowsetFree(&rs);
    return E_IM907;
  }
  if (!lc)
    for (int32_t i = 0; i < got && i < rs->count; ++i) rs->status[i] = 0;  // SQL_ROW_SUCCESS
  // Without data retrieval only the statuses go up.
  if (!retrieve) DatasetFree(rs->rows);
  *rowCount = lc ? lc->rowCount : -1;  // a forward-only result is never counted
  *rows = static_cast<uint32_t>(got);
  *out = rs;
  return 0;
}

int32_t scs_ExtendedFetch(DrvHandle cursor, Rowset **out, int32_t value, uint32_t *rows, int32_t *rowCount) {
  return scs_FetchScroll(cursor, out, value, rows, rowCount, 0);
}

int32_t scs_Prepare(DrvHandle cursor, const char *sql) {
  const int32_t code = DrvCall<&DrvOps::DRV_Prepare>(&g_lower, cursor, sql);
  if (code != 0) return code;
  if (LayerCursor *lc = CursorState(cursor)) {
    Uncache(lc);
    lc->kind = KindOf(sql);
  }
  return 0;
}

namespace {

// After a successful execute: a static read-only SELECT is read whole now,
// so that its row count is known at once.
int32_t AfterExecute(DrvHandle cursor, int32_t code) {
  LayerCursor *lc = FindCursorState(cursor);
  if (!lc) return code;
  Uncache(lc);
  if ((code != 0 && code != E_IM902) || lc->kind != KIND_SELECT) return code;
  if (CursorOption(cursor, 6, SCS_FORWARD_ONLY) != SCS_STATIC || CursorOption(cursor, 7, SCS_READ_ONLY) != SCS_READ_ONLY)
    return code;
  const int32_t cached = CacheResult(cursor, lc);
  return cached != 0 ? cached : code;
}

}  // namespace

int32_t scs_Execute(DrvHandle cursor) {
  return AfterExecute(cursor, DrvCall<&DrvOps::DRV_Execute>(&g_lower, cursor));
}

int32_t scs_ExecDirect(DrvHandle cursor, const char *sql, Dataset *params, uint16_t count, const ParamInfo *info) {
  if (sql)
    if (LayerCursor *lc = CursorState(cursor)) {
      Uncache(lc);
      lc->kind = KindOf(sql);
    }
  return AfterExecute(cursor, DrvCall<&DrvOps::DRV_ExecDirect>(&g_lower, cursor, sql, params, count, info));
}

int32_t scs_Fetch(DrvHandle cursor, uint16_t rows, Dataset *out) {
  if (rows == 0 || !out || CursorOption(cursor, 6, SCS_FORWARD_ONLY) != SCS_STATIC)
    return DrvCall<&DrvOps::DRV_Fetch>(&g_lower, cursor, rows, out);
  LayerCursor *lc = CursorState(cursor);
  if (!lc) return E_S1001;
  if (int32_t code = CacheResult(cursor, lc)) return code;
  return SS_GetRowset(lc->ss, -1, rows, &out);
}

int32_t scs_CloseCursor(DrvHandle cursor) {
  Uncache(FindCursorState(cursor));
  return DrvCall<&DrvOps::DRV_CloseCursor>(&g_lower, cursor);
}

int32_t scs_FreeCursor(DrvHandle cursor) {
  ForgetCursorState(cursor);
  return DrvCall<&DrvOps::DRV_FreeCursor>(&g_lower, cursor);
}

int32_t scs_MoreResults(DrvHandle cursor) {
  LayerCursor *lc = FindCursorState(cursor);
  // A cached result of anything but a procedure call was the only one: the
  // lower cursor is closed already.
  const bool done = lc && lc->cached && lc->kind != KIND_CALL;
  Uncache(lc);
  if (done) return E_IM901;
  return DrvCall<&DrvOps::DRV_MoreResults>(&g_lower, cursor);
}

int32_t scs_GetInfo(DrvHandle h, uint32_t code, void *buf, uint16_t bufLen, int16_t *outLen) {
  if (code == INFO_ROW_COUNT && DrvHandleTag(h) == kDrvTagCursor) {
    LayerCursor *lc = FindCursorState(h);
    if (lc && lc->cached && lc->kind == KIND_SELECT) {
      if (!buf || bufLen < 4) return E_S1009;
      memcpy(buf, &lc->rowCount, 4);
      if (outLen) *outLen = 4;
      return 0;
    }
  }
  return DrvCall<&DrvOps::DRV_GetInfo>(&g_lower, h, code, buf, bufLen, outLen);
}

namespace {

// A catalog call starts a new result on the cursor: what was cached of the
// last one goes.
template <auto Slot, class F>
struct CatalogCall;
template <auto Slot, class... A>
struct CatalogCall<Slot, int32_t (*)(DrvHandle, A...)> {
  static int32_t Call(DrvHandle cursor, A... args) {
    if (LayerCursor *lc = FindCursorState(cursor)) {
      Uncache(lc);
      lc->kind = KIND_OTHER;
    }
    return DrvCall<Slot>(&g_lower, cursor, args...);
  }
};

template <auto Slot>
void InstallCatalog(DrvOps &table) {
  using F = std::remove_reference_t<decltype(table.*Slot)>;
  table.*Slot = &CatalogCall<Slot, F>::Call;
}

}  // namespace

const DrvObject *scs_LowerObject() { return &g_lower; }

void scs_Install(DrvObject *obj) {
  if (!obj) return;
  std::lock_guard<std::mutex> lock(g_installMutex);
  if (!g_lower.table) {
    if (!obj->table) return;
    g_lower = *obj;
    g_table = *obj->table;
    g_table.DRV_ExtendedFetch = scs_ExtendedFetch;
    g_table.DRV_FetchScroll = scs_FetchScroll;
    g_table.DRV_GetInfo = scs_GetInfo;
    g_table.DRV_FreeCursor = scs_FreeCursor;
    g_table.DRV_Prepare = scs_Prepare;
    g_table.DRV_Execute = scs_Execute;
    g_table.DRV_ExecDirect = scs_ExecDirect;
    g_table.DRV_Fetch = scs_Fetch;
    g_table.DRV_CloseCursor = scs_CloseCursor;
    g_table.DRV_MoreResults = scs_MoreResults;
    InstallCatalog<&DrvOps::DRV_DDColumnPrivileges>(g_table);
    InstallCatalog<&DrvOps::DRV_DDColumns>(g_table);
    InstallCatalog<&DrvOps::DRV_DDForeignKeys>(g_table);
    InstallCatalog<&DrvOps::DRV_DDPrimaryKeys>(g_table);
    InstallCatalog<&DrvOps::DRV_DDProcedureColumns>(g_table);
    InstallCatalog<&DrvOps::DRV_DDProcedures>(g_table);
    InstallCatalog<&DrvOps::DRV_DDSpecialColumns>(g_table);
    InstallCatalog<&DrvOps::DRV_DDStatistics>(g_table);
    InstallCatalog<&DrvOps::DRV_DDTablePrivileges>(g_table);
    InstallCatalog<&DrvOps::DRV_DDTables>(g_table);
    InstallCatalog<&DrvOps::DRV_DDTypeInfo>(g_table);
  }
  obj->table = &g_table;
}
