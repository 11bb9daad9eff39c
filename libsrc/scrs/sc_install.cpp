// Installation of the cursor layer, its forward-only scroll fetch and its
// static cursors.
#include "scrs/sc_install.h"

#include <sqlext.h>
#include <strings.h>

#include <cctype>
#include <cstdlib>
#include <cstring>
#include <mutex>
#include <type_traits>
#include <string>
#include <unordered_map>
#include <vector>

#include "odbc/colattr.h"
#include "odbc/data/rowset.h"
#include "odbc/dataset.h"
#include "odbc/sqlstate.h"
#include "scrs/dsc.h"
#include "scrs/sc_s.h"
#include "scrs/scr.h"
#include "scrs/staticset.h"
#include "util/log.h"

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
  bool forcedStatic = false;  // a catalog result on a keyset-driven or dynamic cursor
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

// A new statement on the cursor: nothing of the last one's result stays,
// and a catalog call's static cursor was for that result only.
void NewStatement(LayerCursor *lc, StmtKind kind) {
  if (!lc) return;
  Uncache(lc);
  lc->kind = kind;
  lc->forcedStatic = false;
}

StmtKind KindOf(const char *sql) {
  if (!sql) return KIND_NONE;
  while (*sql && (isspace(static_cast<unsigned char>(*sql)) || *sql == '(')) ++sql;
  if (*sql == '{') return KIND_CALL;
  if (strncasecmp(sql, "SELECT", 6) == 0 || strncasecmp(sql, "WITH", 4) == 0) return KIND_SELECT;
  return KIND_OTHER;
}

// Analysis kinds of SCR_AnalyseSQL.
constexpr int32_t kKindSelect = 74;
constexpr int32_t kKindCall = 61;
constexpr int32_t kKindOther = 0;

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
  if (code == E_IM902) code = 0;  // rows with the database's warning: rows
  if (code != 0 || rows->rows == 0 || rows->rows >= n) return code;
  if ((code = scs_p_ReadDeferredCells(&g_lower, cursor, rows)) != 0) return code;
  Dataset more{};
  while (rows->rows < n) {
    code = DrvCall<&DrvOps::DRV_Fetch>(&g_lower, cursor, FetchCount(n - rows->rows), &more);
    if (code == E_IM902) code = 0;
    if (code != 0 || more.rows == 0) break;
    code = scs_p_ReadDeferredCells(&g_lower, cursor, &more);
    if (code == 0) code = DatasetAppend(rows, &more);
    if (code != 0) break;
  }
  DatasetFree(&more);
  return code;
}

// Static read-only in place of a keyset-driven or dynamic cursor, on the
// cursor below. The front end reads the change back after the prepare
// (01S02) and sends the application's own choice again before its next
// prepare, so the change holds for this statement only.
// One cursor option set below, with the step's log line.
int32_t SwitchOption(DrvHandle cursor, uint16_t option, int32_t value, const char *failed, const char *done) {
  const int32_t code = DrvCall<&DrvOps::DRV_SetInfo>(&g_lower, cursor, InfoStmtOption(option), &value);
  if (code != 0 && code != E_01S02) {
    LOG(LOG_DEBUG, "%s", failed);
    return E_S1C00;
  }
  LOG(LOG_DEBUG, "%s", done);
  return 0;
}

int32_t ChangeCursorType(DrvHandle cursor) {
  const int32_t type = CursorOption(cursor, 6, SCS_FORWARD_ONLY);
  if (type != SCS_FORWARD_ONLY && type != SCS_STATIC)
    if (int32_t code = SwitchOption(cursor, 6, SCS_STATIC, "scs_p_ChangeCursorType: Couldn't switch to static cursor",
                                    "scs_p_ChangeCursorType: Switched to static cursor"))
      return code;
  if (CursorOption(cursor, 7, SCS_READ_ONLY) != SCS_READ_ONLY)
    return SwitchOption(cursor, 7, SCS_READ_ONLY, "scs_p_ChangeCursorType: Couldn't switch toread-only concurrency",
                        "scs_p_ChangeCursorType: Switched to read-only concurrency");
  return 0;
}

// What a keyset-driven or dynamic cursor makes of its statement. Key
// columns are not discovered: every statement that keeps a result runs on
// a static read-only cursor, except those such a cursor must refuse.
int32_t PrepareCursor(DrvHandle cursor, const char *sql) {
  const int32_t type = CursorOption(cursor, 6, SCS_FORWARD_ONLY);
  if (type != SCS_KEYSET && type != SCS_DYNAMIC) return 0;
  AnalysedSQL a;
  SCR_AnalysedInit(&a);
  int32_t result = 0;
  if (SCR_AnalyseSQL(&a, sql, 0, 0) != 0) {
    LOG(LOG_DEBUG, "SCR_AnalyseSQL failed: %s", sql ? sql : "");
    LOG(LOG_DEBUG, "%s", a.errMsg ? a.errMsg : "");
    LOG(LOG_DEBUG, "%s", a.text2 ? a.text2 : "");
    // The database took the statement: what the analysis cannot read
    // still runs, on a static read-only cursor that needs no keys.
    result = ChangeCursorType(cursor);
  } else if (a.kind == kKindSelect) {
    if (a.flags & SCR_OUTERJOIN)
      result = E_IM928;
    else if (type == SCS_KEYSET && (a.flags & SCR_GROUPBY))
      result = E_IM913;
    else if (type == SCS_KEYSET && (a.flags & SCR_UNION))
      result = E_IM914;
    else
      result = ChangeCursorType(cursor);  // no key columns known
  } else if (a.kind == kKindCall || a.kind == kKindOther) {
    result = ChangeCursorType(cursor);  // procedure calls and DDL
  }
  SCR_AnalysedFree(&a);
  return result;
}

// The cursor type the layer serves the cursor's result with.
int32_t EffectiveType(DrvHandle cursor) {
  const int32_t type = CursorOption(cursor, 6, SCS_FORWARD_ONLY);
  if (type == SCS_KEYSET || type == SCS_DYNAMIC) {
    LayerCursor *lc = FindCursorState(cursor);
    if (lc && lc->forcedStatic) return SCS_STATIC;
  }
  return type;
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
  const int32_t type = EffectiveType(cursor);
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

// ---- Base-column information (private option 1052) -----------------------------

// Where one result column comes from; nothing for an expression.
struct ScsBaseCol {
  bool expression = false;
  std::string column, table, schema;
};

struct ScsLayerState {
  std::vector<ScsBaseCol> cols;
};

namespace {

ScsCursorLookup g_lookup = nullptr;

void FreeColumnInfo(ScsCursor *rec) {
  if (!rec) return;
  delete rec->layer;
  rec->layer = nullptr;
  rec->flags &= static_cast<uint16_t>(~SCSF_COLUMN_INFO);
}

// An identifier as the dictionary holds it: a quoted one without its quotes
// (doubled quotes single), an unquoted one in upper case.
std::string Ident(const char *text) {
  std::string out;
  if (!text) return out;
  if (text[0] == '"') {
    for (const char *p = text + 1; *p; ++p) {
      if (*p == '"') {
        if (p[1] != '"') break;
        ++p;
      }
      out += *p;
    }
    return out;
  }
  for (const char *p = text; *p; ++p) out += static_cast<char>(toupper(static_cast<unsigned char>(*p)));
  return out;
}

bool BeginsWithSelect(const char *sql) {
  while (sql && isspace(static_cast<unsigned char>(*sql))) ++sql;
  return sql && strncasecmp(sql, "SELECT", 6) == 0 && !isalnum(static_cast<unsigned char>(sql[6])) && sql[6] != '_';
}

// The connection's user: the schema of a table named without one.
std::string UserName(uint32_t conn) {
  char text[256] = {};
  int16_t len = 0;
  if (DrvCall<&DrvOps::DRV_GetInfo>(&g_lower, conn, InfoGetInfoStr(SQL_USER_NAME), text,
                                    static_cast<uint16_t>(sizeof text), &len) != 0)
    return "";
  text[sizeof text - 1] = '\0';
  return text;
}

// The base table, schema and column of each select-list item of a SELECT.
// A select list with a wildcard, or a statement the analysis cannot read,
// gets no information: the statement runs as it is either way.
void BuildColumnInfo(ScsCursor *rec, const char *sql) {
  AnalysedSQL a;
  SCR_AnalysedInit(&a);
  VArray *items = VArray_New(sizeof(ScsColDesc));
  VArray *tables = VArray_New(sizeof(TableRef));
  auto *state = new (std::nothrow) ScsLayerState;
  bool ok = state && items && tables && SCR_AnalyseSQL(&a, sql, 0, 0) == 0 && a.kind == kKindSelect &&
            SCR_SelectColsGet(&a, items) == 0 && SCR_TablesGet(&a, tables, 0) == 0;
  std::string user;
  for (uint32_t i = 0; ok && i < items->count; ++i) {
    const auto *item = static_cast<const ScsColDesc *>(VArray_At(items, i));
    ScsBaseCol col;
    if (item->kind == 1 || item->kind == 2) {
      ok = false;
      break;
    }
    if (item->kind != 4) {
      col.expression = true;
      state->cols.push_back(col);
      continue;
    }
    col.column = Ident(item->name);
    const TableRef *ref = nullptr;
    const std::string named = Ident(item->table);
    for (uint32_t t = 0; t < tables->count && !ref; ++t) {
      const auto *r = static_cast<const TableRef *>(VArray_At(tables, t));
      if (named.empty() ? tables->count == 1
                        : (*r->alias ? Ident(r->alias) == named
                                     : Ident(r->table) == named &&
                                           (!*item->owner || Ident(r->owner) == Ident(item->owner))))
        ref = r;
    }
    if (ref) {
      col.table = Ident(ref->table);
      col.schema = Ident(ref->owner);
    } else if (!named.empty()) {
      col.table = named;
      col.schema = Ident(item->owner);
    }
    if (!col.table.empty() && col.schema.empty()) {
      if (user.empty()) user = UserName(rec->lowerConn);
      col.schema = user;
    }
    state->cols.push_back(col);
  }
  if (ok) {
    rec->layer = state;
    rec->flags |= SCSF_COLUMN_INFO;
  } else {
    delete state;
  }
  VArray_Free(&items, nullptr);
  VArray_Free(&tables, SCR_TableRefFree);
  SCR_AnalysedFree(&a);
}

void ReplaceText(char **field, const std::string &value) {
  char *copy = strdup(value.c_str());
  if (!copy) return;
  free(*field);
  *field = copy;
}

}  // namespace

int32_t scs_Prepare(DrvHandle cursor, const char *sql) {
  int32_t code = DrvCall<&DrvOps::DRV_Prepare>(&g_lower, cursor, sql);
  if (code != 0) return code;
  NewStatement(CursorState(cursor), KindOf(sql));
  if (ScsCursor *rec = g_lookup ? g_lookup(cursor) : nullptr) {
    FreeColumnInfo(rec);
    if (CursorOption(cursor, 6, SCS_FORWARD_ONLY) == SCS_FORWARD_ONLY &&
        (CursorOption(cursor, 1052, 0) || CursorOption(cursor, 1054, 0)) && BeginsWithSelect(sql))
      BuildColumnInfo(rec, sql);
  }
  return PrepareCursor(cursor, sql);
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
  if (sql) {
    // Prepared here, so that the statement is looked at as a prepared one
    // is; the execute below goes without the text.
    if (int32_t code = scs_Prepare(cursor, sql)) {
      // The rows belong to the cursor below whatever happens: hand them on.
      if (params) DrvCall<&DrvOps::DRV_SetParams>(&g_lower, cursor, params);
      return code;
    }
    sql = nullptr;
  }
  return AfterExecute(cursor, DrvCall<&DrvOps::DRV_ExecDirect>(&g_lower, cursor, sql, params, count, info));
}

int32_t scs_Fetch(DrvHandle cursor, uint16_t rows, Dataset *out) {
  if (rows == 0 || !out || EffectiveType(cursor) != SCS_STATIC)
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
  if (g_lookup) FreeColumnInfo(g_lookup(cursor));
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
    const int32_t type = CursorOption(cursor, 6, SCS_FORWARD_ONLY);
    if (LayerCursor *lc = CursorState(cursor)) {
      NewStatement(lc, KIND_OTHER);
      // Catalog results are static read-only on a scrollable cursor.
      lc->forcedStatic = type == SCS_KEYSET || type == SCS_DYNAMIC;
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

void scs_SetCursorLookup(ScsCursorLookup lookup) { g_lookup = lookup; }

int scs_GetBaseColAttribs(ScsCursor *cur, uint32_t column, ColDesc *desc, uint32_t mask, uint32_t stride,
                          uint32_t count, ColAttr *rows) {
  if (!cur || !(cur->flags & SCSF_COLUMN_INFO) || !cur->layer || column == 0 || column > cur->layer->cols.size())
    return 0;
  const ScsBaseCol &b = cur->layer->cols[column - 1];
  if (desc && !b.expression && !b.table.empty()) {
    if (mask & 1) ReplaceText(&desc->fullName, b.column);
    if (mask & 2) ReplaceText(&desc->table, b.table);
    if (mask & 4) ReplaceText(&desc->schema, b.schema);
  }
  for (uint32_t i = 0; rows && i < count; ++i) {
    ColAttr &e = rows[column + i * stride];
    if (e.attribute == -1053) {
      e.value.integer = 0;  // key columns are not known
      e.attribute = 1053;
    } else if (e.attribute == -1055) {
      e.value.integer = b.expression ? 1 : 0;
      e.attribute = 1055;
    }
  }
  return 0;
}

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
