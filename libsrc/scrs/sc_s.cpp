// The cursor state's small operations for the front end: position, row
// numbers, row statuses and the SQLGetInfo filter, and the parameter
// description by SQL analysis. The scroll orientation logic is in
// scrs/scroll.cpp, the layer's installation and its forward-only fetch in
// scrs/sc_install.cpp, the SQL analysis in scrs/scr.cpp, positioned and
// bulk operations in scrs/sc_pos.cpp.
#include "scrs/sc_s.h"

#include <cstdlib>
#include <strings.h>

#include <cstring>
#include <new>
#include <string>
#include <string_view>

#include "odbc/data/rowset.h"
#include "odbc/data/services.h"
#include "odbc/dataset.h"
#include "odbc/drvops.h"
#include "odbc/objects.h"
#include "odbc/sqlstate.h"
#include "scrs/ks.h"
#include "scrs/sc_conc.h"

namespace {
constexpr int kRowError = 5;  // SQL_ROW_ERROR
}

int scs_CursorInit(ScsCursor *cur, uint32_t lowerStmt, uint32_t lowerConn, DrvObject *drv, void *owner) {
  cur->rowsetSize = 1;
  cur->keysetSize = 0;
  cur->rowCount = -1;
  cur->cursorType = SCS_FORWARD_ONLY;
  cur->concurrency = SCS_READ_ONLY;
  cur->simulateCursor = 0;
  cur->useBookmarks = 0;
  cur->rowVersions = 0;
  cur->retrieveData = 1;
  cur->private1052 = 0;
  cur->private1054 = 0;
  cur->selectColumnsMode = 1;
  cur->position = SCS_BEFORE_FIRST;
  cur->firstRow = 0;
  cur->lowerStmt = lowerStmt;
  cur->lowerConn = lowerConn;
  cur->drv = drv;
  cur->owner = owner;
  return 0;
}

int scs_StmtCursorInit(ScsCursor *cur, uint32_t lowerStmt, uint32_t lowerConn, DrvObject *drv, Stmt *owner) {
  scs_CursorInit(cur, lowerStmt, lowerConn, drv, owner);
  cur->fetchDirections = 0;
  cur->rowset = nullptr;
  cur->fetchStatus = nullptr;
  if (owner && owner->conn) {
    const ScsCursor &d = owner->conn->cursorDefaults;
    cur->concurrency = d.concurrency;
    cur->cursorType = d.cursorType;
    cur->keysetSize = d.keysetSize;
    cur->retrieveData = d.retrieveData;
    cur->rowsetSize = d.rowsetSize;
    cur->simulateCursor = d.simulateCursor;
    cur->useBookmarks = d.useBookmarks;
  }
  return 0;
}

int scs_SetRowPosition(ScsCursor *cur, int32_t position) {
  if (position == SCS_BEFORE_FIRST || position == SCS_AFTER_LAST) {
    cur->position = position;
    cur->firstRow = position;
    return 0;
  }
  if (position == SCS_ALL_ROWS) {
    cur->position = position;
    return 0;
  }
  if (position < 0) return E_S1107;
  if (cur->rowCount != -1 && position > cur->rowCount) return E_S1107;
  cur->position = position;
  return 0;
}

void scs_ResetPosition(ScsCursor *cur) {
  cur->rowCount = -1;
  scs_SetRowPosition(cur, SCS_BEFORE_FIRST);
}

void scs_FreeRowset(ScsCursor *cur) { RowsetFree(&cur->rowset); }

int scs_GetRowStatus(const Rowset *rowset, int32_t row) {
  if (!rowset || !rowset->status || row < 1 || row > rowset->count) return kRowError;
  return rowset->status[row - 1];
}

void scs_SetRowStatus(Rowset *rowset, int32_t row, int32_t status) {
  if (!rowset || !rowset->status || row < 1 || row > rowset->count) return;
  rowset->status[row - 1] = static_cast<uint16_t>(status);
}

int scs_GetRowNumber(ScsCursor *cur, uint32_t index, int32_t *number) {
  if (!number || index > static_cast<uint32_t>(cur->rowsetSize - 1)) return E_S1009;
  *number = 0;
  if (cur->position == SCS_BEFORE_FIRST || cur->position == SCS_AFTER_LAST) return E_24000;
  if ((cur->cursorType == SCS_KEYSET && cur->keysetSize == 0) || cur->cursorType == SCS_STATIC)
    return scs_p_GetRowNumber(cur, index, number);
  return E_S1C00;
}

int scs_p_GetRowNumber(ScsCursor *cur, uint32_t index, int32_t *number) {
  if (!number) return E_S1009;
  *number = 0;
  // Forward-only, dynamic and mixed cursors have no absolute row numbers.
  if (cur->cursorType == SCS_FORWARD_ONLY || cur->cursorType == SCS_DYNAMIC ||
      (cur->cursorType == SCS_KEYSET && cur->keysetSize != 0))
    return 0;
  if (index > static_cast<uint32_t>(cur->rowsetSize - 1)) return E_S1009;
  if (cur->position == SCS_BEFORE_FIRST || cur->position == SCS_AFTER_LAST) return E_24000;
  if (scs_GetRowStatus(cur->rowset, static_cast<int32_t>(index) + 1) == kRowError) return E_S1109;
  *number = cur->firstRow + static_cast<int32_t>(index);
  return 0;
}

int scs_GetODBCInfo(const DrvObject *lower, uint32_t lowerConn, uint16_t infoType, void *buf, int16_t bufLen,
                    int16_t *outLen) {
  switch (infoType) {
    case 8: case 26: case 28: case 43: case 44: case 72: case 78: case 79: case 80: case 82: case 83: case 93:
    case 99: {
      int32_t value = 0;
      int16_t len = 0;
      int32_t code = DrvCall<&DrvOps::DRV_GetInfo>(lower, lowerConn, InfoGetInfoInt(infoType), &value,
                                                   static_cast<uint16_t>(sizeof value), &len);
      if (code != 0) return code;
      if (bufLen < 4) return E_S1009;
      if (buf) memcpy(buf, &value, sizeof value);
      if (outLen) *outLen = 4;
      return 0;
    }
    case 11: case 17: case 29: case 47: {
      char text[256] = {};
      int16_t len = 0;
      int32_t code = DrvCall<&DrvOps::DRV_GetInfo>(lower, lowerConn, InfoGetInfoStr(infoType), text,
                                                   static_cast<uint16_t>(sizeof text), &len);
      if (code != 0) return code;
      text[sizeof text - 1] = '\0';
      const size_t n = strlen(text);
      if (outLen) *outLen = static_cast<int16_t>(n);
      // Callers leave the buffer alone when the answer did not fit.
      if (bufLen <= 0 || n >= static_cast<size_t>(bufLen)) return E_01004;
      if (buf) memcpy(buf, text, n + 1);
      return 0;
    }
    default:
      return E_S1092;
  }
}


// ---- Parameter description by SQL analysis ------------------------------------------

namespace {

// A marker among the node's descendants outside subqueries: a subquery's
// markers are never described, so that they stay uncounted.
bool Holds(const PTNode *n) { return n && PT_FindTypeNotOf(n->child, PT_PARAM, PT_SUBQUERY) != nullptr; }

struct Lists {
  VArray *tables = VArray_New(sizeof(char *));
  VArray *entries = VArray_New(sizeof(PTNode *));  // counterpart, or none: the default expression
  ~Lists() {
    VArray_Free(&tables, SCR_StrItemFree);
    VArray_Free(&entries, nullptr);
  }
  bool ok() const { return tables && entries; }
};

constexpr int kGeneral = E_S1000;
constexpr int kNoMemory = E_S1001;

int AddTable(Lists &l, std::string_view text) {
  char *s = static_cast<char *>(malloc(text.size() + 1));
  if (!s) return kNoMemory;
  memcpy(s, text.data(), text.size());
  s[text.size()] = '\0';
  if (!VArray_Append(l.tables, &s)) {
    free(s);
    return kNoMemory;
  }
  return 0;
}

int AddEntry(Lists &l, PTNode *counterpart) { return VArray_Append(l.entries, &counterpart) ? 0 : kNoMemory; }

// The FROM clause's elements as written: a join or derived table is one
// element, so the probe reads the same tables the statement does.
int TablesOfList(Lists &l, PTNode *list) {
  if (!list || list->type != PT_TABLELIST) return 0;
  VArray *elems = VArray_New(sizeof(PTNode *));
  if (!elems) return kNoMemory;
  int rc = PT_CollectOutermost(PT_TABLEELEM, list, elems) ? 0 : kNoMemory;
  if (rc == 0 && elems->count == 0) rc = kGeneral;
  for (uint32_t i = 0; rc == 0 && i < elems->count; ++i) rc = AddTable(l, PT_Text(VArray_Get<PTNode *>(elems, i)));
  VArray_Free(&elems, nullptr);
  return rc;
}

PTNode *DirectChild(PTNode *n, int32_t type) {
  for (PTNode *c = n ? n->child : nullptr; c; c = c->next)
    if (c->type == type) return c;
  return nullptr;
}

int Predicate(Lists &l, PTNode *p) {
  PTNode *o1 = PT_Child(p, 1), *o2 = PT_Child(p, 2), *o3 = PT_Child(p, 3);
  switch (p->type) {
    case PT_BETWEEN: {
      if (!o1 || !o2 || !o3) return kGeneral;
      PTNode *c = !Holds(o1) ? o1 : !Holds(o2) ? o2 : !Holds(o3) ? o3 : nullptr;
      if (!c) return 0;
      for (PTNode *o : {o1, o2, o3})
        if (Holds(o))
          if (int rc = AddEntry(l, c)) return rc;
      return 0;
    }
    case PT_COMPARISON: {
      if (!o1 || !o3) return kGeneral;
      bool m1 = Holds(o1), m3 = o3->type != PT_SUBQUERY && Holds(o3);
      PTNode *c = !m1 ? o1 : !m3 ? (o3->type == PT_SUBQUERY ? nullptr : o3) : nullptr;
      if (!c) return 0;
      if (m1)
        if (int rc = AddEntry(l, c)) return rc;
      if (m3)
        if (int rc = AddEntry(l, c)) return rc;
      return 0;
    }
    case PT_IN: {
      if (!o1 || !o2) return kGeneral;
      if (Holds(o1)) {
        if (o2->type == PT_SUBQUERY) return AddEntry(l, nullptr);  // no column to stand for it
        PTNode *first = PT_FindType(o2->child, PT_VALUE);
        if (!first || Holds(first)) return kGeneral;
        return AddEntry(l, first);
      }
      if (o2->type == PT_SUBQUERY) return 0;
      VArray *vals = VArray_New(sizeof(PTNode *));
      if (!vals) return kNoMemory;
      int rc = PT_CollectBelow(PT_VALUE, o2, vals) ? 0 : kNoMemory;
      if (rc == 0 && vals->count == 0) rc = kGeneral;
      for (uint32_t i = 0; rc == 0 && i < vals->count; ++i)
        if (Holds(VArray_Get<PTNode *>(vals, i))) rc = AddEntry(l, o1);
      VArray_Free(&vals, nullptr);
      return rc;
    }
    case PT_LIKE: {
      if (!o1 || !o2) return kGeneral;
      PTNode *c = !Holds(o1) ? o1 : !Holds(o2) ? o2 : nullptr;
      if (!c) return 0;
      for (PTNode *o : {o1, o2})
        if (Holds(o))
          if (int rc = AddEntry(l, c)) return rc;
      return 0;
    }
    case PT_ISNULL:
      if (!o1) return kGeneral;
      return Holds(o1) ? AddEntry(l, nullptr) : 0;
    case PT_QUANTCMP: {
      PTNode *o4 = PT_Child(p, 4);
      if (!o1 || !o2 || !o3 || !o4) return kGeneral;
      // The subquery is no column of the probe: a marker compared with it
      // has no counterpart.
      if (Holds(o1)) return AddEntry(l, nullptr);
      return 0;
    }
    default:
      return 0;
  }
}

// The predicates of a WHERE clause (part of type 54) or HAVING part.
int Predicates(Lists &l, PTNode *part) {
  if (!part || !part->tmpl) return 0;
  PTNode *cond = PT_FindType(part->child, PT_CONDITION);
  if (!cond) return kGeneral;
  VArray *preds = VArray_New(sizeof(PTNode *));
  if (!preds) return kNoMemory;
  int rc = 0;
  // The condition itself may be a bare predicate wrapper's parent.
  if (!PT_CollectBelowNotOf(PT_PREDICATE, PT_SUBQUERY, cond, preds)) rc = kNoMemory;
  for (uint32_t i = 0; rc == 0 && i < preds->count; ++i) {
    PTNode *w = VArray_Get<PTNode *>(preds, i);
    if (w->child) rc = Predicate(l, w->child);
  }
  VArray_Free(&preds, nullptr);
  return rc;
}

int SetEntries(Lists &l, PTNode *setList) {
  if (!setList || setList->type != PT_SETLIST) return kGeneral;
  VArray *as = VArray_New(sizeof(PTNode *));
  if (!as) return kNoMemory;
  int rc = PT_CollectBelow(PT_ASSIGN, setList, as) ? 0 : kNoMemory;
  for (uint32_t i = 0; rc == 0 && i < as->count; ++i) {
    PTNode *a = VArray_Get<PTNode *>(as, i);
    PTNode *value = PT_Child(a, 2);
    if (value && Holds(value)) rc = AddEntry(l, a->child);
  }
  VArray_Free(&as, nullptr);
  return rc;
}

int AppendProbe(DescParamSQL *d, std::string &&text) {
  char *s = static_cast<char *>(malloc(text.size() + 1));
  if (!s) return kNoMemory;
  memcpy(s, text.c_str(), text.size() + 1);
  auto **grown = static_cast<char **>(realloc(d->probes, sizeof(char *) * (static_cast<size_t>(d->probeCount) + 1)));
  if (!grown) {
    free(s);
    return kNoMemory;
  }
  d->probes = grown;
  d->probes[d->probeCount++] = s;
  return 0;
}

// One probe from the tables and entries; none when either is empty.
int BuildProbe(DescParamSQL *d, Lists &l) {
  if (l.entries->count == 0 || l.tables->count == 0) return 0;
  const int32_t kind = d->stmt.kind;
  std::string prefix;
  if (kind == PT_UPDATE_POS || kind == PT_UPDATE) prefix = VArray_Get<char *>(l.tables, 0);
  std::string sql = "SELECT ";
  int32_t counted = 0;
  const bool several = l.entries->count >= 2;
  for (uint32_t i = 0; i < l.entries->count; ++i) {
    if (i) sql += ", ";
    PTNode *c = VArray_Get<PTNode *>(l.entries, i);
    ++counted;
    if (!c) {
      sql += d->defaultExpr ? d->defaultExpr : "NULL";
      continue;
    }
    const bool qualify = !prefix.empty() &&
                         (c->type == PT_COLNAME || PT_FindType(c->child, PT_COLNAME)) &&
                         c->type != PT_TABLEPART && !PT_FindType(c->child, PT_TABLEPART);
    std::string pre = qualify ? prefix + "." : std::string();
    PTNode *agg = several ? PT_FindType(c->child, PT_AGGREGATE) : nullptr;
    if (agg) {
      std::string_view fn = agg->child ? PT_Text(agg->child) : std::string_view("COUNT");
      auto is = [&](const char *n) { return fn.size() == strlen(n) && strncasecmp(fn.data(), n, fn.size()) == 0; };
      if (is("SUM") || is("AVG") || is("MAX") || is("MIN")) {
        sql += "(" + pre;
        sql += PT_Text(PT_Child(agg, 2));
        sql += ")";
      } else {
        sql += "1";
      }
      continue;
    }
    sql += pre;
    sql += PT_Text(c);
  }
  sql += " FROM ";
  for (uint32_t i = 0; i < l.tables->count; ++i) {
    if (i) sql += ", ";
    sql += VArray_Get<char *>(l.tables, i);
  }
  sql += " WHERE 1=0 ";
  if (int rc = AppendProbe(d, std::move(sql))) return rc;
  d->total += counted;
  return 0;
}

// A query specification and those that follow it by UNION.
int SelectWalk(DescParamSQL *d, PTNode *q) {
  while (q && q->type == PT_QUERYSPEC) {
    PTNode *head = PT_Child(q, 1), *list = PT_Child(q, 2), *te = PT_Child(q, 3);
    if (!head || head->type != PT_SELHEAD || !list || list->type != PT_SELLIST || !te || te->type != PT_TABLEEXPR)
      return 0;
    Lists l;
    if (!l.ok()) return kNoMemory;
    if (int rc = TablesOfList(l, DirectChild(te, PT_TABLELIST))) return rc;
    if (int rc = Predicates(l, DirectChild(te, PT_WHEREPART))) return rc;
    if (int rc = Predicates(l, DirectChild(te, PT_HAVING))) return rc;
    if (int rc = BuildProbe(d, l)) return rc;
    PTNode *un = DirectChild(te, PT_UNIONPART);
    PTNode *clause = un && un->tmpl ? un->child : nullptr;
    q = clause ? DirectChild(clause, PT_QUERYSPEC) : nullptr;
  }
  return 0;
}

int InsertWalk(DescParamSQL *d, PTNode *ins) {
  PTNode *name = PT_Child(ins, 1), *cols = PT_Child(ins, 2), *src = PT_Child(ins, 3);
  if (!name || !cols || !src || !src->child) return kGeneral;
  VArray *columns = VArray_New(sizeof(PTNode *));
  VArray *vals = VArray_New(sizeof(PTNode *));
  struct Free {
    VArray **a, **b;
    ~Free() {
      VArray_Free(a, nullptr);
      VArray_Free(b, nullptr);
    }
  } hold{&columns, &vals};
  if (!columns || !vals || !PT_CollectBelow(PT_COLREF, cols, columns)) return kNoMemory;
  PTNode *first = src->child;
  if (first->type == PT_VALUELIST) {
    if (!PT_CollectBelow(PT_VALUE, first, vals)) return kNoMemory;
    if (columns->count == 0) {
      std::string m;
      for (uint32_t i = 0; i < vals->count; ++i) m += Holds(VArray_Get<PTNode *>(vals, i)) ? '?' : 'X';
      d->marker = strdup(m.c_str());
      if (!d->marker) return kNoMemory;
      std::string sql = "SELECT * FROM ";
      sql += PT_Text(name);
      sql += " WHERE 1=0 ";
      if (int rc = AppendProbe(d, std::move(sql))) return rc;
      d->total += static_cast<int32_t>(m.size());
      return 0;
    }
    Lists l;
    if (!l.ok()) return kNoMemory;
    if (int rc = AddTable(l, PT_Text(name))) return rc;
    for (uint32_t i = 0; i < vals->count; ++i) {
      if (!Holds(VArray_Get<PTNode *>(vals, i))) continue;
      if (i >= columns->count) return kGeneral;
      if (int rc = AddEntry(l, VArray_Get<PTNode *>(columns, i))) return rc;
    }
    return BuildProbe(d, l);
  }
  if (first->type == PT_QUERYSPEC) {
    PTNode *list = PT_Child(first, 2);
    if (!PT_Child(first, 3) || !list || list->type != PT_SELLIST) return kGeneral;
    {
      // Each select item feeds the column at its own position.
      Lists l;
      if (!l.ok()) return kNoMemory;
      if (int rc = AddTable(l, PT_Text(name))) return rc;
      VArray *items = VArray_New(sizeof(PTNode *));
      if (!items) return kNoMemory;
      int rc = PT_CollectBelowNotOf(PT_SELITEM, PT_SUBQUERY, list, items) ? 0 : kNoMemory;
      for (uint32_t i = 0; rc == 0 && i < items->count; ++i) {
        if (!Holds(VArray_Get<PTNode *>(items, i))) continue;
        if (i >= columns->count)
          rc = kGeneral;
        else
          rc = AddEntry(l, VArray_Get<PTNode *>(columns, i));
      }
      VArray_Free(&items, nullptr);
      if (rc) return rc;
      if ((rc = BuildProbe(d, l))) return rc;
    }
    return SelectWalk(d, first);
  }
  return kGeneral;
}

}  // namespace

void SCR_StrItemFree(void *elem) {
  if (elem) free(*static_cast<char **>(elem));
}

void SCR_DescParamSQLInit(DescParamSQL *d, const char *defaultExpr) {
  if (!d) return;
  *d = DescParamSQL{};
  SCR_AnalysedInit(&d->stmt);
  d->defaultExpr = defaultExpr;
}

void SCR_DescParamSQLFree(DescParamSQL *d) {
  if (!d) return;
  for (int32_t i = 0; i < d->probeCount; ++i) free(d->probes[i]);
  free(d->probes);
  d->probes = nullptr;
  d->probeCount = 0;
  free(d->marker);
  d->marker = nullptr;
  d->total = 0;
  SCR_AnalysedFree(&d->stmt);
}

int SCR_DescParamSQLBuild(DescParamSQL *d, const char *sql) {
  if (!d || !sql) return E_S1000;
  const char *keep = d->defaultExpr;
  SCR_DescParamSQLFree(d);
  d->defaultExpr = keep;
  try {
    int rc = SCR_ParseInto(&d->stmt, sql);
    if (rc != 0) return rc;
    PTNode *root = d->stmt.root;
    // The walks' own failures are not the caller's: what was built stays,
    // and a walk that stopped early leaves markers uncounted.
    switch (d->stmt.kind) {
      case PT_SELECT:
        SelectWalk(d, PT_FindType(root, PT_QUERYSPEC));
        break;
      case PT_DELETE: {
        PTNode *del = PT_FindType(root, PT_DELETE);
        Lists l;
        if (!del || !l.ok() || AddTable(l, PT_Text(del->child)) != 0) break;
        if (Predicates(l, PT_Child(del, 2)) == 0) BuildProbe(d, l);
        break;
      }
      case PT_INSERT:
        if (PTNode *ins = PT_FindType(root, PT_INSERT)) InsertWalk(d, ins);
        break;
      case PT_UPDATE_POS:
      case PT_UPDATE: {
        PTNode *up = PT_FindType(root, d->stmt.kind);
        Lists l;
        if (!up || !l.ok() || AddTable(l, PT_Text(up->child)) != 0) break;
        int rc = 0;
        for (PTNode *c = up->child->next; c && rc == 0; c = c->next) {
          if (c->type == PT_TABLELIST)
            rc = TablesOfList(l, c);
          else if (c->type == PT_SETLIST)
            rc = SetEntries(l, c);
          else if (c->type == PT_WHEREPART)
            rc = Predicates(l, c);
        }
        if (rc == 0) BuildProbe(d, l);
        break;
      }
      default:
        break;
    }
  } catch (const std::bad_alloc &) {
    return E_S1001;
  }
  return 0;
}

// ---- The layer instance ---------------------------------------------------------------------

int scs_p_CursorStateInit(ScsCursor *cur, uint32_t lowerStmt, uint32_t lowerConn, DrvObject *lower, void *owner) {
  if (!cur) return E_S1000;
  cur->lowerStmt = lowerStmt;
  cur->lowerConn = lowerConn;
  cur->drv = lower;
  cur->owner = owner;
  cur->mixedWindowState = -6;
  cur->rowsAffected = -1;
  cur->quotedIdentCase = 4;
  cur->identCase = 1;
  cur->maxParams = 255;
  SCR_AnalysedInit(&cur->stmt);
  SCR_AnalysedInit(&cur->keyStmt);
  SCR_AnalysedInit(&cur->rereadStmt);
  DSC_Init(&cur->valuesDsc);
  RVC_Init(&cur->rvc);
  cur->snapshot = static_cast<Dataset *>(calloc(1, sizeof(Dataset)));
  if (!cur->snapshot) return E_S1001;
  if (int code = KS_New(&cur->keyset)) {
    free(cur->snapshot);
    cur->snapshot = nullptr;
    return code;
  }
  return 0;
}

namespace {

void FreeDataset(Dataset **ds) {
  if (!*ds) return;
  DatasetFree(*ds);
  free(*ds);
  *ds = nullptr;
}

void FreeLists(ScsCursor *cur) {
  VArray_Free(&cur->tables, SCR_TableRefFree);
  VArray_Free(&cur->tableCols, nullptr);
  VArray_Free(&cur->orderCols, nullptr);
  VArray_Free(&cur->selectCols, nullptr);
}

void FreeAnalysis(AnalysedSQL *a) {
  SCR_AnalysedFree(a);
  SCR_AnalysedInit(a);
}

}  // namespace

void scs_p_CursorReset(ScsCursor *cur) {
  if (!cur) return;
  free(cur->sqlCopy);
  cur->sqlCopy = nullptr;
  FreeAnalysis(&cur->stmt);
  FreeAnalysis(&cur->keyStmt);
  FreeAnalysis(&cur->rereadStmt);
  RowsetFree(&cur->rowset);
  FreeDataset(&cur->fetchedRows);
  cur->flags = 0;
  cur->aux2Contents = 0;
  cur->valuesGroups = 0;
  ColDescFree(cur->resultCols, cur->resultCount);
  cur->resultCols = nullptr;
  cur->resultCount = 0;
  free(cur->paramDescs);
  cur->paramDescs = nullptr;
  cur->paramDescCount = 0;
  free(cur->userParamDescs);
  cur->userParamDescs = nullptr;
  cur->userParamDescCount = 0;
  FreeLists(cur);
}

void scs_p_CursorStateFree(ScsCursor *cur) {
  if (!cur) return;
  scs_p_RowVersionsRelease(cur);
  DSC_Close(&cur->valuesDsc);
  KS_Free(&cur->keyset);
  // What one analysis holds (lists, texts, descriptions, a rowset of the
  // layer's own), then what the instance keeps for its whole life.
  scs_p_CursorReset(cur);
  FreeDataset(&cur->userParams);
  FreeDataset(&cur->valuesCache);
  FreeDataset(&cur->fetchedRows);
  if (cur->aux1) DrvCall<&DrvOps::DRV_FreeCursor>(cur->drv, cur->aux1);
  if (cur->aux2) DrvCall<&DrvOps::DRV_FreeCursor>(cur->drv, cur->aux2);
  if (cur->valuesStmt) DrvCall<&DrvOps::DRV_FreeCursor>(cur->drv, cur->valuesStmt);
  cur->aux1 = cur->aux2 = cur->valuesStmt = 0;
  free(cur->userName);
  cur->userName = nullptr;
  free(cur->dbmsName);
  cur->dbmsName = nullptr;
  FreeDataset(&cur->boundaryKeys);
  FreeDataset(&cur->snapshot);
}

int scs_p_KeysetRefusal(const ScsCursor *cur) {
  const uint16_t f = cur->selectFlags;
  if (f == 512) return E_IM915;
  if (f & SCR_GROUPBY) return E_IM913;
  if (f & SCR_UNION) return E_IM914;
  return 0;
}

int scs_p_UpdatableRefusal(const ScsCursor *cur) {
  const uint16_t f = cur->selectFlags;
  if (f & SCR_MULTITABLE) return E_IM912;
  if (f & SCR_GROUPBY) return E_IM913;
  if (f & SCR_UNION) return E_IM914;
  if (f & SCR_AGGREGATE) return E_IM923;
  return 0;
}

int scs_p_KeyBlocks(const ScsCursor *cur, int32_t *blocks, int32_t *lastRows, int32_t *rowsPerBlock) {
  const uint32_t keyCols = cur->keyset && cur->keyset->keyCols ? cur->keyset->keyCols->count : 0;
  const int32_t room = cur->maxParams - cur->userParamDescCount;
  // Without key columns, or with no room left beside the user's parameters,
  // no key can be sent at all.
  if (keyCols == 0 || room < static_cast<int32_t>(keyCols) || cur->rowsetSize < 1) return E_S1000;
  const int32_t perStatement = room / static_cast<int32_t>(keyCols);
  const int32_t rowset = cur->rowsetSize;
  *rowsPerBlock = perStatement < rowset ? perStatement : rowset;
  *blocks = rowset / perStatement + (rowset % perStatement ? 1 : 0);
  *lastRows = rowset % perStatement ? rowset % perStatement : *rowsPerBlock;
  return 0;
}

// ---- Result columns of the lower statement ----------------------------------------------------

int scs_p_ResultColDescsGet(ScsCursor *cur) {
  if (cur->resultCols) return 0;
  uint16_t count = 0;
  ColDesc *cols = nullptr;
  if (int code = DrvCall<&DrvOps::DRV_DescribeColumns>(cur->drv, cur->lowerStmt, &count, &cols)) return code;
  cur->resultCols = cols;
  cur->resultCount = count;
  return 0;
}

int scs_p_ResultColDescGet(ScsCursor *cur, uint32_t column, ColDesc **out) {
  if (!out) return E_S1009;
  *out = nullptr;
  if (int code = scs_p_ResultColDescsGet(cur)) return code;
  if (column == 0 || column > cur->resultCount) return E_S1002;
  *out = &cur->resultCols[column - 1];
  return 0;
}
