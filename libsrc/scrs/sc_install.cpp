// Installation of the cursor layer, its forward-only scroll fetch and its
// static cursors.
#include "scrs/sc_install.h"

#include <sqlext.h>
#include <strings.h>

#include <atomic>
#include <cctype>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <mutex>
#include <type_traits>
#include <string>
#include <unordered_map>
#include <vector>

#include "odbc/agentx.h"
#include "odbc/colattr.h"
#include "odbc/data/rowset.h"
#include "odbc/dataset.h"
#include "odbc/sqlstate.h"
#include "scrs/dsc.h"
#include "scrs/keycols.h"
#include "scrs/ks.h"
#include "scrs/ksfetch.h"
#include "scrs/sc_conc.h"
#include "scrs/sc_ext.h"
#include "scrs/sc_pos.h"
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
// The layer instance of the cursor state (scs) lives here too, not in the
// agent's record: the layer outlives no agent record that way, and serves
// an agent without such records alike. The agent's record is read for the
// statement options it keeps and told when column information is ready.
enum StmtKind : uint8_t { KIND_NONE, KIND_SELECT, KIND_CALL, KIND_OTHER };
struct LayerCursor {
  StmtKind kind = KIND_NONE;
  bool cached = false;    // the static set holds the whole result
  int32_t rowCount = -1;  // rows of the cached result
  bool forcedStatic = false;  // a catalog result on a keyset-driven or dynamic cursor
  bool paramsSent = false;    // the caller sent parameter values since the last close
  StaticSet *ss = nullptr;
  ScsCursor *scs = nullptr;   // the layer instance of the cursor state
  std::vector<std::string> auxErrors;  // texts of the layer's own statements, for the application
  uint32_t auxNative = 0;
  KsFetchState fetch;  // keys held and statements prepared by keyset-driven, mixed and dynamic fetches
};
std::mutex g_cursorsMutex;
std::unordered_map<DrvHandle, LayerCursor> g_cursors;

// Set at every connect (always to the same function) while other threads'
// statements read it.
std::atomic<ScsCursorLookup> g_lookup{nullptr};

// The agent's own record of a cursor, when the agent keeps one.
ScsCursor *AgentRecord(DrvHandle cursor) {
  const ScsCursorLookup lookup = g_lookup.load(std::memory_order_acquire);
  return lookup ? lookup(cursor) : nullptr;
}

// Frees what a record holds. Lower cursors are freed only while the lower
// connection is known to hold them.
void DropRecord(LayerCursor &lc, bool freeLowerCursors) {
  SS_Free(&lc.ss);
  KS_FetchStateReset(&lc.fetch);
  if (lc.scs) {
    if (!freeLowerCursors) lc.scs->aux1 = lc.scs->aux2 = lc.scs->valuesStmt = 0;
    scs_p_CursorStateFree(lc.scs);
    free(lc.scs);
    lc.scs = nullptr;
  }
}

// The layer instance of a new lower cursor.
int32_t NewInstance(LayerCursor &lc, DrvHandle cursor, DrvHandle conn) {
  auto *scs = static_cast<ScsCursor *>(calloc(1, sizeof(ScsCursor)));
  if (!scs) return E_S1001;
  scs_CursorInit(scs, cursor, conn, &g_lower, nullptr);
  if (int32_t code = scs_p_CursorStateInit(scs, cursor, conn, &g_lower, nullptr)) {
    free(scs);
    return code;
  }
  lc.scs = scs;
  return 0;
}

// The cursor's record, made on first use; none when memory runs out. Calls
// on one cursor are serialised by its connection's call lock, so the record
// may be used after the map's lock is left (the map never moves its nodes).
LayerCursor *CursorState(DrvHandle cursor) {
  std::lock_guard<std::mutex> lock(g_cursorsMutex);
  try {
    LayerCursor &lc = g_cursors[cursor];
    if (!lc.ss && SS_New(&lc.ss) != 0) return nullptr;
    if (!lc.scs) {
      const ScsCursor *rec = AgentRecord(cursor);
      if (NewInstance(lc, cursor, rec ? rec->lowerConn : 0) != 0) return nullptr;
    }
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
  DropRecord(it->second, true);
  g_cursors.erase(it);
}

// A cursor just allocated below: a record left under the same handle
// belonged to a cursor the agent freed with its connection, whose lower
// cursors went with it.
int32_t StartCursorState(DrvHandle cursor, DrvHandle conn) {
  std::lock_guard<std::mutex> lock(g_cursorsMutex);
  try {
    LayerCursor &lc = g_cursors[cursor];
    DropRecord(lc, false);
    lc = LayerCursor{};
    if (SS_New(&lc.ss) != 0) return E_S1001;
    return NewInstance(lc, cursor, conn);
  } catch (...) {
    return E_S1001;
  }
}

// The statement options the layer acts on, as the cursor holds them: read
// straight from the agent's record when it keeps one (no call per fetch),
// else asked of the cursor.
struct Options {
  int32_t type, concurrency, rowsetSize, retrieve, keysetSize, p1050, p1052, p1054;
};

// Drops the cached result: the next result is read again.
void Uncache(LayerCursor *lc) {
  if (!lc) return;
  SS_Close(lc->ss);
  KS_FetchStateReset(&lc->fetch);
  if (lc->scs) KS_Close(lc->scs->keyset);
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
constexpr int32_t kKindPosDelete = 18;
constexpr int32_t kKindPosUpdate = 96;

int32_t KeepParams(DrvHandle cursor, const Dataset *params);
int32_t KeepParamInfo(ScsCursor *cur, uint16_t count, const ParamInfo *info, const ParamDesc *desc);

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

Options OptionsOf(DrvHandle cursor) {
  if (const ScsCursor *r = AgentRecord(cursor))
    return {r->cursorType, r->concurrency, r->rowsetSize, r->retrieveData, r->keysetSize, r->selectColumnsMode,
            r->private1052, r->private1054};
  return {CursorOption(cursor, 6, SCS_FORWARD_ONLY), CursorOption(cursor, 7, SCS_READ_ONLY), CursorOption(cursor, 9, 1),
          CursorOption(cursor, 11, 1), CursorOption(cursor, 8, 0), CursorOption(cursor, 1050, 1),
          CursorOption(cursor, 1052, 0), CursorOption(cursor, 1054, 0)};
}

uint16_t FetchCount(int32_t n) { return static_cast<uint16_t>(n < kMaxFetchRows ? n : kMaxFetchRows); }

// Fills rows with up to n rows of the cursor's result. One DRV_Fetch may
// hand over fewer rows than asked before the end (one row at a time when
// the result has long columns), so the fetch goes on until the rowset is
// full or a fetch brings nothing. Long values left with the agent are read
// by their row within the agent's last block: a rowset of one block keeps
// them there; once another block follows, every block has them read into
// its cells (the first one's before the next fetch moves the agent on).
// Rows with the database's warning are rows: the rowset is filled all the
// same and comes with 74 (IM902), the records waiting below.
int32_t FetchForward(DrvHandle cursor, int32_t n, Dataset *rows) {
  bool warned = false;
  auto noteWarning = [&warned](int32_t c) {
    if (c != E_IM902) return c;
    warned = true;
    return 0;
  };
  int32_t code = noteWarning(DrvCall<&DrvOps::DRV_Fetch>(&g_lower, cursor, FetchCount(n), rows));
  if (code == 0 && rows->rows > 0 && rows->rows < n) {
    code = noteWarning(scs_p_ReadDeferredCells(&g_lower, cursor, rows));
    Dataset more{};
    while (code == 0 && rows->rows < n) {
      code = noteWarning(DrvCall<&DrvOps::DRV_Fetch>(&g_lower, cursor, FetchCount(n - rows->rows), &more));
      if (code != 0 || more.rows == 0) break;
      code = noteWarning(scs_p_ReadDeferredCells(&g_lower, cursor, &more));
      if (code == 0) code = DatasetAppend(rows, &more);
    }
    DatasetFree(&more);
  }
  return code == 0 && warned ? E_IM902 : code;
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

int32_t ChangeCursorType(DrvHandle cursor, ScsCursor *cur) {
  cur->savedCursorType = cur->cursorType;
  cur->savedConcurrency = cur->concurrency;
  if (cur->cursorType != SCS_FORWARD_ONLY && cur->cursorType != SCS_STATIC) {
    if (int32_t code = SwitchOption(cursor, 6, SCS_STATIC, "scs_p_ChangeCursorType: Couldn't switch to static cursor",
                                    "scs_p_ChangeCursorType: Switched to static cursor"))
      return code;
    cur->cursorType = SCS_STATIC;
    cur->flags |= SCSF_DOWNGRADED;
  }
  if (cur->concurrency != SCS_READ_ONLY) {
    if (int32_t code =
            SwitchOption(cursor, 7, SCS_READ_ONLY, "scs_p_ChangeCursorType: Couldn't switch toread-only concurrency",
                         "scs_p_ChangeCursorType: Switched to read-only concurrency"))
      return code;
    cur->concurrency = SCS_READ_ONLY;
    cur->flags |= SCSF_DOWNGRADED;
  }
  return 0;
}

bool BeginsWithSelect(const char *sql) {
  while (sql && isspace(static_cast<unsigned char>(*sql))) ++sql;
  return sql && strncasecmp(sql, "SELECT", 6) == 0 && !isalnum(static_cast<unsigned char>(sql[6])) && sql[6] != '_';
}

// The key columns of the cursor's tables, from the connection's cache or
// the catalog; 84 (IM909) when a table has no key that identifies its rows.
int32_t FindKeyColumns(ScsCursor *cur) {
  KeySet *ks = cur->keyset;
  VArray_Free(&ks->keyCols, nullptr);
  ks->tableCount = static_cast<uint8_t>(cur->tables->count);
  ks->keyCols = VArray_New(sizeof(ScsColDesc));
  if (!ks->keyCols) return E_S1001;
  const int cached = scs_p_KeyCacheFind(cur->lowerConn, cur->tables, ks->keyCols);
  if (cached == 0 && ks->keyCols->count > 0) return 0;
  if (cached != 0 && cached != 1) return cached;
  if (int32_t code = scs_p_AuxCursor(cur)) return code;
  KsCatalog cat;
  cat.lower = cur->drv;
  cat.aux = cur->aux1;
  cat.identQuote = cur->identQuote;
  if (int code = KS_GetKeyColDescs(cat, cur->tables, &ks->keyCols, &ks->tableCount)) return code;
  return scs_p_KeyCacheStore(cur->lowerConn, cur->tables, ks->keyCols);
}
int32_t FindPrimaryKeys(ScsCursor *cur) { return FindKeyColumns(cur); }

// Tells the agent's record whether the layer has column information for
// the statement (its column description then asks for it).
void MarkColumnInfo(DrvHandle cursor, bool on) {
  if (ScsCursor *rec = AgentRecord(cursor)) {
    if (on)
      rec->flags |= SCSF_COLUMN_INFO;
    else
      rec->flags &= static_cast<uint16_t>(~SCSF_COLUMN_INFO);
  }
}

// The tables of the cursor's SELECT, resolved by the catalog.
int32_t ResolveTables(ScsCursor *cur) {
  cur->tables = VArray_New(sizeof(TableRef));
  if (!cur->tables) return E_S1001;
  if (int32_t code = SCR_TablesGet(&cur->stmt, cur->tables, cur->noCatalogs)) {
    LOG(LOG_DEBUG, "SCR_TablesGet failed");
    return code;
  }
  if (cur->tables->count == 0) return 0;
  return scs_p_GetTblDescs(cur, cur->tables);
}

// The base columns of a forward-only statement's result (private options
// 1052 and 1054). Whatever cannot be resolved leaves the statement as it
// is, without column information: it runs all the same.
void PrepareColumnInfo(DrvHandle cursor, ScsCursor *cur, const char *sql) {
  if (ResolveTables(cur) != 0 || cur->tables->count == 0) return;
  cur->keyset->tableCount = static_cast<uint8_t>(cur->tables->count);
  VArray_Free(&cur->keyset->keyCols, nullptr);
  cur->keyset->keyCols = VArray_New(sizeof(ScsColDesc));
  if (!cur->keyset->keyCols) return;
  // Keys only add to the column information: without them it goes on.
  if (FindPrimaryKeys(cur) != 0) {
    LOG(LOG_DEBUG, "ks_GetKeyColDescs_PKeys failed");
    VArray_Free(&cur->keyset->keyCols, nullptr);
    cur->keyset->keyCols = VArray_New(sizeof(ScsColDesc));
    if (!cur->keyset->keyCols) return;
  }
  cur->tableCols = VArray_New(sizeof(ScsColDesc));
  cur->selectCols = VArray_New(sizeof(ScsColDesc));
  if (!cur->tableCols || !cur->selectCols) return;
  const auto *first = static_cast<const TableRef *>(VArray_At(cur->tables, 0));
  if (scs_p_GetTblColDescs(cur, first, cur->tables->count, 0, cur->tableCols) != 0) {
    LOG(LOG_DEBUG, "scs_p_GetTblColDescs failed");
    return;
  }
  VArray *raw = nullptr;
  if (scs_p_SelectColsGet(cur, cur->selectCols, &raw) != 0) {
    LOG(LOG_DEBUG, "scs_p_SelectColsGet failed");
    return;
  }
  scs_p_SelectCol_ColDescComplete(cur);
  int changed = 0;
  const int32_t code = scs_p_SelListAddKeysnXpandWC(cur, raw, &changed);
  VArray_Free(&raw, nullptr);
  if (code != 0) {
    LOG(LOG_DEBUG, "scs_p_SelListAddKeysnXpandWC failed");
    return;
  }
  if (changed && DrvCall<&DrvOps::DRV_Prepare>(&g_lower, cursor, cur->stmt.text2) != 0) {
    // The written-out statement must not leave the cursor unprepared.
    DrvCall<&DrvOps::DRV_Prepare>(&g_lower, cursor, sql);
    return;
  }
  cur->flags |= SCSF_COLUMN_INFO;
  MarkColumnInfo(cursor, true);
}

// A static SELECT whose rows the database locks as the cursor reads them.
bool StaticLocked(const ScsCursor *cur) {
  return cur->cursorType == SCS_STATIC && cur->concurrency == SCS_LOCK && !cur->rowLocks &&
         cur->stmt.kind == kKindSelect && scs_p_UpdatableRefusal(cur) == 0;
}

// Analysis, tables, columns and keys of a statement just prepared below,
// and the refusals and downgrades its cursor type calls for.
int32_t PrepareCursor(DrvHandle cursor, ScsCursor *cur, const char *sql) {
  const Options o = OptionsOf(cursor);
  cur->cursorType = o.type;
  cur->concurrency = o.concurrency;
  cur->keysetSize = o.keysetSize;
  cur->selectColumnsMode = o.p1050;
  cur->private1052 = o.p1052;
  cur->private1054 = o.p1054;
  MarkColumnInfo(cursor, false);
  if (cur->flags & SCSF_ANALYSED) scs_p_CursorReset(cur);
  const bool forward = o.type == SCS_FORWARD_ONLY;
  if (forward && !(o.p1052 || o.p1054)) return 0;
  if (forward && !BeginsWithSelect(sql)) return 0;
  cur->flags |= SCSF_ANALYSED;
  // A dynamic cursor's row versions start afresh with every statement.
  if (int32_t code = scs_p_RowVersionsPrepare(cur)) return code;
  cur->sqlCopy = strdup(sql ? sql : "");
  if (!cur->sqlCopy) return E_S1001;
  if (SCR_AnalyseSQL(&cur->stmt, sql, 0, cur->noCatalogs) != 0) {
    LOG(LOG_DEBUG, "SCR_AnalyseSQL failed: %s", sql ? sql : "");
    LOG(LOG_DEBUG, "%s", cur->stmt.errMsg ? cur->stmt.errMsg : "");
    LOG(LOG_DEBUG, "%s", cur->stmt.text2 ? cur->stmt.text2 : "");
    // The database took the statement: what the analysis cannot read
    // still runs, on a static read-only cursor that needs no keys.
    return forward ? 0 : ChangeCursorType(cursor, cur);
  }
  const int32_t kind = cur->stmt.kind;
  if (kind != kKindPosDelete && kind != kKindPosUpdate) {
    cur->selectFlags = 512;
    cur->mixedWindowState = -6;
    KS_Reset(cur->keyset);
    scs_ResetPosition(cur);
    DSC_Close(&cur->valuesDsc);
    if (cur->valuesCache) DatasetFree(cur->valuesCache);
  }
  if (kind != kKindSelect) {
    if (forward) return 0;
    if (kind == kKindPosDelete || kind == kKindPosUpdate) return scs_p_UpdatableRefusal(cur);
    if (kind == kKindCall || kind == kKindOther) return ChangeCursorType(cursor, cur);  // procedure calls and DDL
    return 0;
  }
  cur->selectFlags = cur->stmt.flags;
  if (forward) {
    PrepareColumnInfo(cursor, cur, sql);
    return 0;
  }
  if (o.type != SCS_STATIC && (cur->selectFlags & SCR_OUTERJOIN)) return E_IM928;
  if (o.type == SCS_KEYSET)
    if (int32_t code = scs_p_KeysetRefusal(cur)) return code;
  int32_t code = ResolveTables(cur);
  if (code == 0 && cur->tables->count == 0 && o.type != SCS_STATIC) return E_IM934;
  if (code == 0 && (cur->selectFlags & SCR_ORDERBY)) {
    code = scs_p_OrderColsGet(cur);
    if (code == 0 && (cur->selectFlags & SCR_ORDERBYNUM)) {
      if ((code = SCR_OrderNumbersResolve(&cur->stmt, cur->orderCols)) == 0) {
        char *text = strdup(std::string(PT_Text(cur->stmt.root)).c_str());
        if (!text) return E_S1001;
        free(cur->sqlCopy);
        cur->sqlCopy = text;
      }
    }
  }
  if (code == E_S1001) return code;
  const bool updatable = scs_p_UpdatableRefusal(cur) == 0;
  const bool needsKeys = o.type != SCS_STATIC || (o.concurrency != SCS_READ_ONLY && updatable);
  if (code != 0) {
    // A table the catalog cannot resolve (a synonym, a link), or ordering
    // by an expression: no keys can be had, but a static cursor without
    // them serves the statement as the database runs it.
    LOG(LOG_DEBUG, "scs_p_PrepareCursor: no table information (%d)", static_cast<int>(code));
    return needsKeys ? ChangeCursorType(cursor, cur) : 0;
  }
  if (o.type == SCS_DYNAMIC || (o.concurrency == SCS_VALUES && updatable)) {
    cur->tableCols = VArray_New(sizeof(ScsColDesc));
    if (!cur->tableCols) return E_S1001;
    const auto *first = static_cast<const TableRef *>(VArray_At(cur->tables, 0));
    if ((code = scs_p_GetTblColDescs(cur, first, cur->tables->count, 1, cur->tableCols))) {
      LOG(LOG_DEBUG, "scs_p_GetTblColDescs failed");
      return code;
    }
    if (o.p1050 == 2) {
      cur->selectCols = VArray_New(sizeof(ScsColDesc));
      if (!cur->selectCols) return E_S1001;
      if ((code = scs_p_SelectColsGet(cur, cur->selectCols, nullptr))) {
        LOG(LOG_DEBUG, "scs_p_SelectColsGet failed");
        return code;
      }
      for (uint32_t i = 0; cur->needbind && i < cur->selectCols->count; ++i) {
        auto *item = static_cast<ScsColDesc *>(VArray_At(cur->selectCols, i));
        if (item->sqlType) continue;
        const ScsColDesc *col = scs_p_ColDescFind(cur->tableCols, item, nullptr);
        if (!col) return E_S1000;
        item->sqlType = col->sqlType;
        item->columnSize = col->columnSize;
        item->decimalDigits = col->decimalDigits;
      }
    }
  }
  if (needsKeys) {
    cur->keyset->tableCount = static_cast<uint8_t>(cur->tables->count);
    code = FindKeyColumns(cur);
    if (code == E_S1001) return code;
    if (code != 0) {
      // No key, or none the catalog could tell: the rows cannot be found
      // again, but a static read-only cursor serves the statement.
      if (code != E_IM909) LOG(LOG_DEBUG, "KS_GetKeyColDescs failed (%d)", static_cast<int>(code));
      return ChangeCursorType(cursor, cur);
    }
  }
  if (cur->cursorType == SCS_DYNAMIC || (cur->cursorType == SCS_KEYSET && cur->keysetSize > 0))
    if ((code = scs_p_MatchOrderKeys(cur))) return code;
  if (cur->selectFlags & SCR_ORDERBY) scs_p_KeyOrderMark(cur);
  // A static cursor under lock concurrency locks its rows as it reads them.
  if (StaticLocked(cur))
    if (int32_t code = DrvCall<&DrvOps::DRV_Prepare>(&g_lower, cursor, scs_p_LockedText(cur, cur->sqlCopy).c_str()))
      return code;
  return 0;
}

// The cursor type the layer serves the cursor's result with.
int32_t EffectiveType(DrvHandle cursor, int32_t type) {
  if (type == SCS_KEYSET || type == SCS_DYNAMIC) {
    LayerCursor *lc = FindCursorState(cursor);
    if (lc && lc->forcedStatic) return SCS_STATIC;
  }
  return type;
}

// Reads the whole result into the static set, once per result. The lower
// cursor is closed after it, except for a procedure call, whose further
// results are still to come from it. 74 (IM902): read, with the database's
// warning for the call that read it.
int32_t CacheResult(DrvHandle cursor, LayerCursor *lc) {
  if (lc->cached) return 0;
  int32_t count = 0;
  const int32_t code = SS_GetRsltSet(lc->ss, &g_lower, cursor, &count);
  if (code != 0 && code != E_IM902) {
    Uncache(lc);
    return code;
  }
  lc->rowCount = count;
  lc->cached = true;
  ScsCursor *cur = lc->scs;
  const bool concurrent = cur && cur->cursorType == SCS_STATIC && cur->stmt.kind == kKindSelect &&
                          (cur->flags & SCSF_ANALYSED) && scs_p_UpdatableRefusal(cur) == 0;
  // The close keeps the warning's records: they wait on the cursor's list.
  // Locks taken by the read stay with the open cursor.
  if (lc->kind != KIND_CALL && !(concurrent && cur->concurrency == SCS_LOCK))
    DrvCall<&DrvOps::DRV_CloseCursor>(&g_lower, cursor);
  // The values later positioned changes compare, as they stand now.
  if (concurrent && cur->concurrency == SCS_VALUES && cur->selectColumnsMode != 2)
    if (int32_t read = scs_p_GetOptConcColVals(cur, (cur->flags & SCSF_HAS_PARAMS) ? cur->userParams : nullptr,
                                               nullptr, 0, 0)) {
      scs_p_AuxErrorsCollect(cur);
      Uncache(lc);
      return read;
    }
  return code;
}

// The rowset of a static cursor from its 1-based target row (negative:
// counted from the end; 0: the last rowset). 85 before the start, 86 after
// the end.
int32_t FetchStatic(DrvHandle cursor, LayerCursor *lc, int32_t target, Rowset *rs) {
  const int32_t cached = CacheResult(cursor, lc);
  if (cached != 0 && cached != E_IM902) return cached;
  int64_t start = 0;
  if (int32_t code = scs_p_RowsetStart(target, lc->rowCount, rs->count, &start)) return code;
  if (int32_t code = SS_GetRowset(lc->ss, static_cast<int32_t>(start), rs->count, &rs->rows)) return code;
  for (int32_t i = 0; i < rs->rows->rows && i < rs->count; ++i) rs->status[i] = 0;  // SQL_ROW_SUCCESS
  ScsCursor *cur = lc->scs;
  if (cur && cur->concurrency == SCS_VALUES && cur->stmt.kind == kKindSelect && scs_p_UpdatableRefusal(cur) == 0) {
    // The compared values follow the rowset: its own rows when the select
    // list is compared, else the window of the values read at the start.
    if (cur->selectColumnsMode == 2) {
      Dataset *copy = nullptr;
      if (int32_t code = DatasetClone(&copy, rs->rows)) return code;
      if (cur->valuesCache) {
        DatasetFree(cur->valuesCache);
        free(cur->valuesCache);
      }
      cur->valuesCache = copy;
    } else if (cur->valuesDsc.mode == DSC_SPILLED) {
      if (int32_t code = DSC_WindowGet(&cur->valuesDsc, static_cast<int32_t>(start), rs->count,
                                       &cur->valuesWindowStart, cur->valuesCache))
        return code;
    }
  }
  return cached;
}

}  // namespace

namespace {

// A keyset-driven, mixed or dynamic fetch on the layer's instance of the
// cursor state; the cursor's rows are read by key, never from the cursor.
int32_t FetchByKey(LayerCursor *lc, const Options &o, int32_t value, uint16_t orientation, Rowset *rs,
                   int32_t *rowCount) {
  ScsCursor *cur = lc->scs;
  if (!cur || !(cur->flags & SCSF_ANALYSED) || !cur->keyset->keyCols || cur->keyset->keyCols->count == 0)
    return E_S1010;
  cur->rowsetSize = rs->count;
  if (cur->keysetSize != o.keysetSize) cur->flags |= SCSF_KEYSET_CHANGED;
  cur->keysetSize = o.keysetSize;
  int32_t code;
  if (o.type == SCS_KEYSET && o.keysetSize == 0) {
    code = scs_p_FetchKeyset(cur, &lc->fetch, rs, value);
    *rowCount = cur->rowCount;
  } else if (o.type == SCS_KEYSET) {
    code = scs_p_FetchMixed(cur, &lc->fetch, value, orientation, rs);
    *rowCount = lc->fetch.rowCount;
  } else {
    code = scs_p_FetchDynamicScroll(cur, &lc->fetch, value, orientation, rs);
    *rowCount = lc->fetch.rowCount;
  }
  if (code != 0 && code != E_IM910 && code != E_IM911) scs_p_AuxErrorsCollect(cur);
  return code;
}

}  // namespace

namespace {

// What positioned operations need of the rowset just fetched: where it
// starts among the keys of a keyset-driven or static cursor, and under
// values concurrency its rows as they were.
void KeepRowset(LayerCursor *lc, const Options &o, int32_t type, int32_t value, const Rowset *rs) {
  ScsCursor *cur = lc->scs;
  int64_t start = 0;
  const int64_t count = type == SCS_STATIC ? lc->rowCount : cur->rowCount;
  if ((type == SCS_STATIC || (type == SCS_KEYSET && o.keysetSize == 0)) &&
      scs_p_RowsetStart(value, count, rs->count, &start) == 0) {
    cur->firstRow = static_cast<int32_t>(start + 1);
    cur->position = 1;
  }
  if (cur->fetchedRows) {
    DatasetFree(cur->fetchedRows);
    free(cur->fetchedRows);
    cur->fetchedRows = nullptr;
  }
  if (o.concurrency == SCS_VALUES && rs->rows && DatasetClone(&cur->fetchedRows, rs->rows) != 0)
    cur->fetchedRows = nullptr;
}

}  // namespace

int32_t scs_FetchScroll(DrvHandle cursor, Rowset **out, int32_t value, uint32_t *rows, int32_t *rowCount,
                        uint16_t orientation) {
  if (!out || !rows || !rowCount) return E_S1009;
  *out = nullptr;
  *rows = 0;
  if (ScsCursor *scs = scs_p_LayerCursor(cursor)) scs->rowsAffected = -1;
  const Options o = OptionsOf(cursor);
  const int32_t type = EffectiveType(cursor, o.type);
  const int32_t size = o.rowsetSize < 1 ? 1 : o.rowsetSize;
  const int32_t retrieve = o.retrieve;
  LayerCursor *lc = nullptr;
  if (type != SCS_FORWARD_ONLY && !(lc = CursorState(cursor))) return E_S1001;

  Rowset *rs = nullptr;
  if (int32_t code = RowsetNew(&rs, size)) return code;
  int32_t keyCount = -1;
  const bool byKey = type == SCS_KEYSET || type == SCS_DYNAMIC;
  const int32_t code = byKey ? FetchByKey(lc, o, value, orientation, rs, &keyCount)
                       : lc  ? FetchStatic(cursor, lc, value, rs)
                             : FetchForward(cursor, size, rs->rows);
  if (code != 0 && code != E_IM902) {
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
  if (lc && lc->scs) KeepRowset(lc, o, type, value, rs);
  // Without data retrieval only the statuses go up.
  if (!retrieve) DatasetFree(rs->rows);
  *rowCount = byKey ? keyCount : lc ? lc->rowCount : -1;  // a forward-only result is never counted
  *rows = static_cast<uint32_t>(got);
  *out = rs;
  return code;
}

int32_t scs_ExtendedFetch(DrvHandle cursor, Rowset **out, int32_t value, uint32_t *rows, int32_t *rowCount) {
  return scs_FetchScroll(cursor, out, value, rows, rowCount, 0);
}

int32_t scs_Prepare(DrvHandle cursor, const char *sql) {
  int32_t code = DrvCall<&DrvOps::DRV_Prepare>(&g_lower, cursor, sql);
  if (code != 0) return code;
  LayerCursor *lc = CursorState(cursor);
  if (!lc) return E_S1001;
  NewStatement(lc, KindOf(sql));
  lc->auxErrors.clear();
  lc->scs->rowsAffected = -1;
  lc->scs->flags &= static_cast<uint16_t>(~SCSF_REPREPARE);  // the statement below is the application's
  if ((code = PrepareCursor(cursor, lc->scs, sql)) != 0) {
    scs_p_AuxErrorsCollect(lc->scs);
    return code;
  }
  lc->scs->flags |= SCSF_VIA_LAYER;
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
  const Options o = OptionsOf(cursor);
  if (o.type == SCS_FORWARD_ONLY) return code;
  // A scrollable SELECT keeps its result columns at hand.
  if (lc->scs && lc->scs->stmt.kind == kKindSelect)
    if (int32_t described = scs_p_ResultColDescsGet(lc->scs)) {
      scs_p_AuxErrorsCollect(lc->scs);
      return described;
    }
  if ((o.type == SCS_KEYSET || o.type == SCS_DYNAMIC) && lc->scs && (lc->scs->flags & SCSF_ANALYSED) &&
      !lc->forcedStatic) {
    // The rows are read by key from now on; the cursor's own read would
    // only hold the tables.
    DrvCall<&DrvOps::DRV_CloseCursor>(&g_lower, cursor);
    if (o.type == SCS_KEYSET && o.keysetSize == 0)
      if (int32_t built = KS_GetKeySet_KSD(lc->scs)) {
        scs_p_AuxErrorsCollect(lc->scs);
        return built;
      }
    return code;
  }
  if (o.type != SCS_STATIC || o.concurrency != SCS_READ_ONLY) return code;
  const int32_t cached = CacheResult(cursor, lc);
  return cached != 0 ? cached : code;
}

}  // namespace

namespace {

// A scrollable cursor closed since its preparation: the layer may have
// prepared the cursor below with a statement of its own (a key lookup), so
// the application's statement is prepared again, with the values and
// descriptions the application gave it unless it has just sent new ones.
int32_t PrepareAgainAfterClose(DrvHandle cursor, bool valuesGiven) {
  LayerCursor *lc = FindCursorState(cursor);
  ScsCursor *cur = lc ? lc->scs : nullptr;
  if (!cur || !(cur->flags & SCSF_REPREPARE)) return 0;
  cur->flags &= static_cast<uint16_t>(~SCSF_REPREPARE);
  if (cur->cursorType == SCS_FORWARD_ONLY || !cur->sqlCopy) return 0;
  const std::string text = StaticLocked(cur) ? scs_p_LockedText(cur, cur->sqlCopy) : std::string(cur->sqlCopy);
  if (int32_t code = DrvCall<&DrvOps::DRV_Prepare>(&g_lower, cursor, text.c_str()); code != 0 && code != E_IM902)
    return code;
  if (!valuesGiven && !lc->paramsSent && (cur->flags & SCSF_HAS_PARAMS) && cur->userParams) {
    Dataset *copy = nullptr;
    if (int32_t code = DatasetClone(&copy, cur->userParams)) return code;
    if (int32_t code = DrvCall<&DrvOps::DRV_SetParams>(&g_lower, cursor, copy)) return code;
  }
  scs_p_CursorFacts(cur);
  if (cur->needbind && cur->userParamDescCount)
    return DrvCall<&DrvOps::DRV_SetParamInfo>(&g_lower, cursor, cur->userParamDescCount,
                                              static_cast<const ParamInfo *>(cur->userParamDescs));
  return 0;
}

}  // namespace

int32_t scs_Execute(DrvHandle cursor) {
  if (int32_t code = PrepareAgainAfterClose(cursor, false)) return code;
  return AfterExecute(cursor, DrvCall<&DrvOps::DRV_Execute>(&g_lower, cursor));
}

int32_t scs_ExecDirect(DrvHandle cursor, const char *sql, Dataset *params, uint16_t count, const ParamInfo *info) {
  // Prepared here, so that the statement is looked at as a prepared one is;
  // the execute below goes without the text.
  int32_t code = sql ? scs_Prepare(cursor, sql) : PrepareAgainAfterClose(cursor, params != nullptr);
  if (code == 0 && params) code = KeepParams(cursor, params);
  if (code == 0 && count && info)
    if (LayerCursor *lc = FindCursorState(cursor); lc && lc->scs) code = KeepParamInfo(lc->scs, count, info, nullptr);
  if (code != 0) {
    // The rows belong to the cursor below whatever happens: hand them on.
    if (params) DrvCall<&DrvOps::DRV_SetParams>(&g_lower, cursor, params);
    return code;
  }
  return AfterExecute(cursor, DrvCall<&DrvOps::DRV_ExecDirect>(&g_lower, cursor, nullptr, params, count, info));
}

int32_t scs_Fetch(DrvHandle cursor, uint16_t rows, Dataset *out) {
  if (rows == 0 || !out || EffectiveType(cursor, OptionsOf(cursor).type) != SCS_STATIC)
    return DrvCall<&DrvOps::DRV_Fetch>(&g_lower, cursor, rows, out);
  LayerCursor *lc = CursorState(cursor);
  if (!lc) return E_S1001;
  const int32_t cached = CacheResult(cursor, lc);
  if (cached != 0 && cached != E_IM902) return cached;
  const int32_t code = SS_GetRowset(lc->ss, -1, rows, &out);
  return code != 0 ? code : cached;
}

int32_t scs_CloseCursor(DrvHandle cursor) {
  LayerCursor *lc = FindCursorState(cursor);
  Uncache(lc);
  if (lc && lc->scs) {
    lc->scs->flags |= SCSF_REPREPARE;
    lc->scs->flags &= static_cast<uint16_t>(~(SCSF_VIA_LAYER | SCSF_STATIC_CACHED));
    lc->paramsSent = false;
  }
  return DrvCall<&DrvOps::DRV_CloseCursor>(&g_lower, cursor);
}

int32_t scs_FreeCursor(DrvHandle cursor) {
  ForgetCursorState(cursor);
  MarkColumnInfo(cursor, false);
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

namespace {
int32_t CapabilityString(DrvHandle conn, void *buf, uint16_t bufLen, int16_t *outLen);
}

int32_t scs_GetInfo(DrvHandle h, uint32_t code, void *buf, uint16_t bufLen, int16_t *outLen) {
  if (code == INFO_CAPS_STRING && DrvHandleTag(h) == kDrvTagConn) return CapabilityString(h, buf, bufLen, outLen);
  if (code == INFO_ROW_COUNT && DrvHandleTag(h) == kDrvTagCursor) {
    LayerCursor *lc = FindCursorState(h);
    // After a positioned operation: the rows it changed.
    if (lc && lc->scs && lc->scs->rowsAffected != -1 && lc->scs->cursorType != SCS_FORWARD_ONLY) {
      if (!buf || bufLen < 4) return E_S1009;
      memcpy(buf, &lc->scs->rowsAffected, 4);
      if (outLen) *outLen = 4;
      return 0;
    }
    const int32_t type = lc ? EffectiveType(h, OptionsOf(h).type) : SCS_FORWARD_ONLY;
    const bool byKey = lc && lc->kind == KIND_SELECT && lc->scs && (type == SCS_KEYSET || type == SCS_DYNAMIC);
    if (byKey || (lc && lc->cached && lc->kind == KIND_SELECT)) {
      if (!buf || bufLen < 4) return E_S1009;
      int32_t count = lc->rowCount;
      if (byKey)
        count = type == SCS_KEYSET && OptionsOf(h).keysetSize == 0 && lc->scs->keyset->rowStatus ? lc->scs->rowCount
                                                                                                : lc->fetch.rowCount;
      memcpy(buf, &count, 4);
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
    const Options o = OptionsOf(cursor);
    if (LayerCursor *lc = CursorState(cursor)) {
      NewStatement(lc, KIND_OTHER);
      // Catalog results are static read-only on a scrollable cursor. The
      // cursor state says so for this result only: nothing is sent below,
      // and the next preparation starts from the application's options.
      // What was analysed of an earlier statement is no longer the cursor's.
      ScsCursor *cur = lc->scs;
      scs_p_CursorReset(cur);
      lc->forcedStatic = o.type == SCS_KEYSET || o.type == SCS_DYNAMIC;
      cur->cursorType = lc->forcedStatic ? SCS_STATIC : o.type;
      cur->concurrency = lc->forcedStatic ? SCS_READ_ONLY : o.concurrency;
      cur->keysetSize = o.keysetSize;
      cur->rowsAffected = -1;
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

// ---- Connections: connect information and the key-column cache ------------------------------

namespace {

// What the layer keeps of one lower connection: a copy of its connect
// request (the row-version connections connect again with it) and the key
// columns found for each list of tables.
struct LayerConn {
  DrvHandle server = 0;
  std::string host, serverOptions, serverType, dbPath, dataSource, dbOptions, user, password, extra;
  bool hasServerOptions = false;
  ConnectReq req{};
  std::unordered_map<std::string, std::vector<ScsColDesc>> keys;
};
std::mutex g_connsMutex;
std::unordered_map<DrvHandle, std::unique_ptr<LayerConn>> g_conns;

std::string Text(const char *s) { return s ? s : ""; }

// The cache key of a list of tables: each name with its length in front,
// so that no two lists (A.BC and AB.C) ever share an entry.
std::string TablesKey(const VArray *tables) {
  std::string key;
  for (uint32_t i = 0; tables && i < tables->count; ++i) {
    const auto *t = static_cast<const TableRef *>(VArray_At(tables, i));
    for (const char *name : {t->qualifier, t->owner, t->table}) {
      const std::string n = Text(name);
      key += std::to_string(n.size());
      key += ':';
      key += n;
    }
  }
  return key;
}

LayerConn *FindConn(DrvHandle conn) {
  auto it = g_conns.find(conn);
  return it == g_conns.end() ? nullptr : it->second.get();
}

}  // namespace

int32_t scs_Connect(DrvHandle server, const ConnectReq *req, DrvHandle *conn) {
  int32_t code = DrvCall<&DrvOps::DRV_Connect>(&g_lower, server, req, conn);
  if (code != 0 || !req || !conn) return code;
  try {
    auto c = std::make_unique<LayerConn>();
    c->server = server;
    c->host = Text(req->host);
    c->hasServerOptions = req->serverOptions != nullptr;
    c->serverOptions = Text(req->serverOptions);
    c->serverType = Text(req->serverType);
    c->dbPath = Text(req->dbPath);
    c->dataSource = Text(req->dataSource);
    c->dbOptions = Text(req->dbOptions);
    c->user = Text(req->user);
    c->password = Text(req->password);
    c->extra = Text(req->extra);
    c->req.host = c->host.c_str();
    c->req.serverOptions = c->hasServerOptions ? c->serverOptions.c_str() : nullptr;
    c->req.serverType = c->serverType.c_str();
    c->req.dbPath = c->dbPath.c_str();
    c->req.dataSource = c->dataSource.c_str();
    c->req.dbOptions = c->dbOptions.c_str();
    c->req.readOnly = req->readOnly;
    c->req.user = c->user.c_str();
    c->req.password = c->password.c_str();
    c->req.loginTimeout = req->loginTimeout;
    c->req.extra = c->extra.c_str();
    std::lock_guard<std::mutex> lock(g_connsMutex);
    g_conns[*conn] = std::move(c);
  } catch (...) {
    // A connection the layer cannot serve is not handed out half made.
    DrvCall<&DrvOps::DRV_Disconnect>(&g_lower, *conn);
    *conn = 0;
    return E_S1001;
  }
  return 0;
}

int32_t scs_Disconnect(DrvHandle conn) {
  const int32_t code = DrvCall<&DrvOps::DRV_Disconnect>(&g_lower, conn);
  // A connection that stays open keeps what the layer knows of it.
  if (code == 0) {
    std::unique_ptr<LayerConn> gone;
    std::lock_guard<std::mutex> lock(g_connsMutex);
    if (auto it = g_conns.find(conn); it != g_conns.end()) {
      gone = std::move(it->second);
      g_conns.erase(it);
    }
  }
  return code;
}

int scs_p_KeyCacheFind(uint32_t conn, const VArray *tables, VArray *keyCols) {
  std::lock_guard<std::mutex> lock(g_connsMutex);
  LayerConn *c = FindConn(conn);
  if (!c || !keyCols) return 1;
  try {
    auto it = c->keys.find(TablesKey(tables));
    if (it == c->keys.end()) return 1;
    for (const ScsColDesc &d : it->second)
      if (!VArray_Append(keyCols, &d)) return E_S1001;
    return 0;
  } catch (...) {
    return E_S1001;
  }
}

int scs_p_KeyCacheStore(uint32_t conn, const VArray *tables, const VArray *keyCols) {
  std::lock_guard<std::mutex> lock(g_connsMutex);
  LayerConn *c = FindConn(conn);
  if (!c || !keyCols) return 0;  // a connection the layer did not open caches nothing
  try {
    std::vector<ScsColDesc> copy;
    for (uint32_t i = 0; i < keyCols->count; ++i) copy.push_back(*static_cast<const ScsColDesc *>(VArray_At(keyCols, i)));
    c->keys[TablesKey(tables)] = std::move(copy);
    return 0;
  } catch (...) {
    return E_S1001;
  }
}

const ConnectReq *scs_p_ConnectInfo(uint32_t conn) {
  std::lock_guard<std::mutex> lock(g_connsMutex);
  LayerConn *c = FindConn(conn);
  return c ? &c->req : nullptr;
}

DrvHandle scs_p_ConnectServer(uint32_t conn) {
  std::lock_guard<std::mutex> lock(g_connsMutex);
  LayerConn *c = FindConn(conn);
  return c ? c->server : 0;
}

// ---- Cursors: allocation and parameters ------------------------------------------------------

int32_t scs_AllocCursor(DrvHandle conn, DrvHandle *cursor) {
  int32_t code = DrvCall<&DrvOps::DRV_AllocCursor>(&g_lower, conn, cursor);
  if (code != 0 || !cursor) return code;
  if ((code = StartCursorState(*cursor, conn)) != 0) {
    // No cursor is handed out without the layer's state.
    ForgetCursorState(*cursor);
    DrvCall<&DrvOps::DRV_FreeCursor>(&g_lower, *cursor);
    *cursor = 0;
  }
  return code;
}

namespace {

bool ScrollableType(int32_t type) { return type == SCS_KEYSET || type == SCS_DYNAMIC || type == SCS_STATIC; }

// Keeps a copy of the ParamInfo records the layer sends with its own statements.
int32_t KeepParamInfo(ScsCursor *cur, uint16_t count, const ParamInfo *info, const ParamDesc *desc) {
  free(cur->userParamDescs);
  cur->userParamDescs = nullptr;
  cur->userParamDescCount = 0;
  if (count == 0) return 0;
  auto *copy = static_cast<ParamInfo *>(malloc(sizeof(ParamInfo) * count));
  if (!copy) return E_S1001;
  for (uint16_t i = 0; i < count; ++i) copy[i] = info ? info[i] : desc[i].info;
  cur->userParamDescs = copy;
  cur->userParamDescCount = count;
  return 0;
}

}  // namespace

// The lower layer answers first: a handle it does not know gets no record
// here (a record made for it would never be freed).
int32_t scs_SetParamInfo(DrvHandle cursor, uint16_t count, const ParamInfo *info) {
  if (int32_t code = DrvCall<&DrvOps::DRV_SetParamInfo>(&g_lower, cursor, count, info)) return code;
  LayerCursor *lc = CursorState(cursor);
  if (!lc) return E_S1001;
  return KeepParamInfo(lc->scs, info ? count : 0, info, nullptr);
}

int32_t scs_SetParamInfo2(DrvHandle cursor, uint16_t count, const ParamDesc *desc) {
  // An agent without named parameter records has nothing to take.
  if (g_lower.table->DRV_SetParamInfo2)
    if (int32_t code = DrvCall<&DrvOps::DRV_SetParamInfo2>(&g_lower, cursor, count, desc)) return code;
  LayerCursor *lc = CursorState(cursor);
  if (!lc) return E_S1001;
  return KeepParamInfo(lc->scs, desc ? count : 0, nullptr, desc);
}

namespace {

// A scrollable cursor keeps a copy of the values the application gives,
// which the layer's own statements send again on its behalf.
int32_t KeepParams(DrvHandle cursor, const Dataset *params) {
  LayerCursor *lc = FindCursorState(cursor);
  if (!lc || !lc->scs || !params) return 0;
  lc->paramsSent = true;
  if (!ScrollableType(OptionsOf(cursor).type)) return 0;
  ScsCursor *cur = lc->scs;
  Dataset *copy = nullptr;
  if (int32_t code = DatasetClone(&copy, params)) return code;
  if (cur->userParams) {
    DatasetFree(cur->userParams);
    free(cur->userParams);
  }
  cur->userParams = copy;
  cur->flags |= SCSF_HAS_PARAMS;
  return 0;
}

}  // namespace

int32_t scs_SetParams(DrvHandle cursor, Dataset *params) {
  const int32_t kept = KeepParams(cursor, params);
  // The rows belong to the cursor below whatever happens.
  const int32_t code = DrvCall<&DrvOps::DRV_SetParams>(&g_lower, cursor, params);
  return kept != 0 ? kept : code;
}

int32_t scs_ExecDirect2(DrvHandle cursor, const char *sql, Dataset *params, uint16_t count, const ParamDesc *desc) {
  if (sql)
    if (int32_t code = scs_Prepare(cursor, sql)) {
      if (params) DrvCall<&DrvOps::DRV_SetParams>(&g_lower, cursor, params);
      return code;
    }
  if (params)
    if (int32_t code = scs_SetParams(cursor, params)) return code;
  if (count)
    if (int32_t code = scs_SetParamInfo2(cursor, count, desc)) return code;
  return scs_Execute(cursor);
}

// ---- The layer's capability string -------------------------------------------------------------

namespace {

int32_t ConnItem(DrvHandle conn, uint32_t item, int32_t *value) {
  int16_t len = 0;
  *value = 0;
  return DrvCall<&DrvOps::DRV_GetInfo>(&g_lower, conn, item, value, static_cast<uint16_t>(sizeof *value), &len);
}

int32_t CapabilityString(DrvHandle conn, void *buf, uint16_t bufLen, int16_t *outLen) {
  int32_t word = 3, v = 0;
  DrvCall<&DrvOps::DRV_SetInfo>(&g_lower, conn, 0x2201000Cu, &word);
  ConnItem(conn, 0x22010012u, &v);
  int d[12] = {};
  int32_t mask = 0;
  if (ConnItem(conn, INFO_CAPS_MASK, &mask) == 0) {
    const int32_t bits[5] = {0x08, 0x80, 0x04, 0x10, 0x40};
    for (int i = 0; i < 5; ++i) d[i] = (mask & bits[i]) != 0;
    d[9] = (mask & 0x400) != 0;
    d[10] = (mask & 0x2000) != 0;
    d[11] = (mask & 0x4000) != 0;
  } else {
    const uint32_t items[5] = {0x22010006u, 0x2201000Eu, 0x22010004u, 0x22010008u, 0x22010005u};
    for (int i = 0; i < 5; ++i) d[i] = ConnItem(conn, items[i], &v) == 0 && v != 0;
  }
  d[5] = 1;
  d[6] = ConnItem(conn, InfoGetInfoInt(SQL_CURSOR_COMMIT_BEHAVIOR), &v) == 0 ? v : 0;
  d[7] = ConnItem(conn, 0x22010014u, &v) == 0 && v != 0;
  d[8] = ConnItem(conn, 0x22010015u, &v) == 0 && v != 0;
  char text[64];
  snprintf(text, sizeof text, "%.3d.%.3d:%d%d%d%d%d%d%d%d%d%d%d%d", 1, 5, d[0], d[1], d[2], d[3], d[4], d[5], d[6],
           d[7], d[8], d[9], d[10], d[11]);
  return StrCopyOut(text, static_cast<char *>(buf), bufLen, outLen);
}

}  // namespace

// ---- Errors of the layer's own statements ---------------------------------------------------

void scs_p_AuxErrorsCollect(ScsCursor *cur) {
  if (!cur) return;
  LayerCursor *lc = FindCursorState(cur->lowerStmt);
  if (!lc) return;
  for (uint32_t aux : {cur->aux1, cur->aux2, cur->valuesStmt}) {
    if (!aux) continue;
    DrvMsgList list{};
    if (DrvCall<&DrvOps::DRV_GetErrors>(cur->drv, aux, &list) != 0) continue;
    for (uint32_t i = 0; i < list.count; ++i) {
      if (list.messages[i]) {
        try {
          if (lc->auxErrors.empty() && i == 0) lc->auxNative = list.native;
          lc->auxErrors.emplace_back(list.messages[i]);
        } catch (...) {
        }
      }
      free(list.messages[i]);
    }
    free(list.messages);
  }
  // Those of the row-version statement and connection, IM926 among them.
  DrvMsgList kept{};
  if (RVC_TakeErrors(&cur->rvc, &kept) != 0) return;
  for (uint32_t i = 0; i < kept.count; ++i) {
    try {
      if (lc->auxErrors.empty()) lc->auxNative = kept.native;
      lc->auxErrors.emplace_back(kept.messages[i]);
    } catch (...) {
    }
    free(kept.messages[i]);
  }
  free(kept.messages);
}

int32_t scs_GetErrors(DrvHandle h, DrvMsgList *out) {
  const int32_t code = DrvCall<&DrvOps::DRV_GetErrors>(&g_lower, h, out);
  LayerCursor *lc = DrvHandleTag(h) == kDrvTagCursor ? FindCursorState(h) : nullptr;
  if (code != 0 || !out || !lc || lc->auxErrors.empty()) return code;
  // The statement's own records first, then those of the statements the
  // layer ran on its behalf.
  const uint32_t total = out->count + static_cast<uint32_t>(lc->auxErrors.size());
  auto **all = static_cast<char **>(calloc(total, sizeof(char *)));
  if (!all) return 0;  // its own records still go up
  for (uint32_t i = 0; i < out->count; ++i) all[i] = out->messages[i];
  uint32_t n = out->count;
  for (const std::string &text : lc->auxErrors) all[n++] = strdup(text.c_str());
  if (out->count == 0) out->native = lc->auxNative;
  free(out->messages);
  out->messages = all;
  out->count = total;
  lc->auxErrors.clear();
  return 0;
}

void scs_SetCursorLookup(ScsCursorLookup lookup) { g_lookup.store(lookup, std::memory_order_release); }

ScsCursor *scs_p_AgentRecord(DrvHandle cursor) { return AgentRecord(cursor); }

ScsCursor *scs_p_LayerCursor(DrvHandle cursor) {
  LayerCursor *lc = FindCursorState(cursor);
  return lc ? lc->scs : nullptr;
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
    g_table.DRV_Connect = scs_Connect;
    g_table.DRV_Disconnect = scs_Disconnect;
    g_table.DRV_AllocCursor = scs_AllocCursor;
    g_table.DRV_SetParams = scs_SetParams;
    g_table.DRV_SetParamInfo = scs_SetParamInfo;
    g_table.DRV_SetParamInfo2 = scs_SetParamInfo2;
    g_table.DRV_ExecDirect2 = scs_ExecDirect2;
    g_table.DRV_GetErrors = scs_GetErrors;
    g_table.DRV_SetPos = scs_SetPos;
    g_table.DRV_BulkOperations = scs_BulkOperations;
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
    scs_InstallExtended(g_table);
  }
  obj->table = &g_table;
}
