// SQL analysis and rewrites of the cursor layer. "Found from n" is the
// first node of a type in the pre-order walk from n (its subtree, then its
// later siblings), as PT_FindType gives it.
#include "scrs/scr.h"

#include <cctype>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <new>
#include <string>
#include <string_view>

#include "odbc/sqlstate.h"
#include "scrs/sqlscan.h"

namespace {

constexpr int kOk = 0;
constexpr int kGeneral = E_S1000;  // 15
constexpr int kNoMemory = E_S1001; // 16
constexpr int kSyntax = E_37000;   // 68

// The walks' own stacks throw std::bad_alloc when memory runs out.
template <class F> int Guarded(F &&f) {
  try {
    return f();
  } catch (const std::bad_alloc &) {
    return kNoMemory;
  }
}

char *Dup(std::string_view s) {
  char *p = static_cast<char *>(malloc(s.size() + 1));
  if (!p) return nullptr;
  if (!s.empty()) memcpy(p, s.data(), s.size());
  p[s.size()] = '\0';
  return p;
}

// Copies into a fixed field; false when it does not fit (nothing is cut).
bool Put(char *field, size_t size, std::string_view s) {
  if (s.size() >= size) return false;
  if (!s.empty()) memcpy(field, s.data(), s.size());
  field[s.size()] = '\0';
  return true;
}

// Separators inside quoted names ("A.B", `x:y`) are part of the name.
size_t FindOutside(std::string_view s, char c, bool last = false) {
  size_t hit = std::string_view::npos;
  char quote = 0;
  for (size_t i = 0; i < s.size(); ++i) {
    if (quote) {
      if (s[i] == quote) quote = 0;
    } else if (s[i] == '"' || s[i] == '`') {
      quote = s[i];
    } else if (s[i] == c) {
      hit = i;
      if (!last) break;
    }
  }
  return hit;
}

PTNode *Find(PTNode *from, int32_t type) { return PT_FindType(from, type); }

// Types found in turn, each from the one before.
PTNode *FindChain(PTNode *from, std::initializer_list<int32_t> types) {
  PTNode *n = from;
  for (int32_t t : types) {
    n = n ? Find(n, t) : nullptr;
    if (!n) return nullptr;
  }
  return n;
}

bool IsInner(const PTNode *n) { return n && n->tmpl != nullptr; }

int Regenerate(AnalysedSQL *a) { return PT_Regenerate(a->root) ? kOk : kNoMemory; }

void SetFlag(AnalysedSQL *a, uint16_t f, bool on) {
  if (on)
    a->flags |= f;
  else
    a->flags &= static_cast<uint16_t>(~f);
}

int OrderByFlag(AnalysedSQL *a, PTNode **part) {
  PTNode *p = FindChain(a->root, {PT_SELECT, PT_ORDERPART});
  if (!p) return kGeneral;
  SetFlag(a, SCR_ORDERBY, IsInner(p));
  *part = p;
  return kOk;
}

struct NodeList {
  VArray *v = VArray_New(sizeof(PTNode *));
  ~NodeList() { VArray_Free(&v, nullptr); }
  uint32_t size() const { return v->count; }
  PTNode *operator[](uint32_t i) const { return VArray_Get<PTNode *>(v, i); }
};

}  // namespace

void SCR_AnalysedInit(AnalysedSQL *a) {
  if (!a) return;
  *a = AnalysedSQL{};
  a->kind = -1;
}

void SCR_AnalysedFree(AnalysedSQL *a) {
  if (!a) return;
  free(a->text);
  free(a->text2);
  free(a->errMsg);
  PT_SubtreeFree(&a->root, PT_NodeFree);
  SCR_AnalysedInit(a);
}

int SCR_ParseInto(AnalysedSQL *a, const char *text) {
  if (!a || !text) return kGeneral;
  while (*text && isspace(static_cast<unsigned char>(*text))) ++text;
  SCR_AnalysedFree(a);
  a->text = Dup(text);
  if (!a->text) return kNoMemory;
  a->kind = 0;
  int rc = scsql_Parse(a->text, strlen(a->text), &a->root, &a->text2, &a->errMsg);
  if (rc == kNoMemory) return kNoMemory;
  if (rc != 0) return kSyntax;
  a->kind = a->root->type;
  if (!PT_Regenerate(a->root)) return kNoMemory;
  return kOk;
}

int SCR_AnalyseSQL(AnalysedSQL *a, const char *text, int mode, int keepQualifier) {
  return Guarded([&]() -> int {
    int rc = SCR_ParseInto(a, text);
    if (rc != kOk) return rc;
    if (mode != 0 || a->kind != PT_SELECT) return kOk;
    PTNode *part = nullptr;
    if ((rc = OrderByFlag(a, &part)) != kOk) return rc;
    PTNode *p = FindChain(a->root, {PT_SELECT, PT_QUERYSPEC, PT_TABLEEXPR, PT_GROUPBY});
    if (!p) return kGeneral;
    SetFlag(a, SCR_GROUPBY, IsInner(p));
    p = FindChain(a->root, {PT_SELECT, PT_QUERYSPEC, PT_TABLEEXPR, PT_UNIONPART});
    if (!p) return kGeneral;
    SetFlag(a, SCR_UNION, IsInner(p));
    VArray *tables = VArray_New(sizeof(TableRef));
    if (!tables) return kNoMemory;
    rc = SCR_TablesGet(a, tables, keepQualifier);
    SetFlag(a, SCR_MULTITABLE, tables->count >= 2);
    VArray_Free(&tables, SCR_TableRefFree);
    if (rc != kOk) return rc;
    PTNode *q = FindChain(a->root, {PT_SELECT, PT_QUERYSPEC});
    if (!q) return kGeneral;
    SetFlag(a, SCR_AGGREGATE, Find(q, PT_AGGREGATE) != nullptr);
    SetFlag(a, SCR_OUTERJOIN, Find(a->root, PT_OJSIDE) != nullptr);
    return kOk;
  });
}

// ---- Tables ---------------------------------------------------------------------------------

void SCR_TableRefFree(void *p) {
  auto *t = static_cast<TableRef *>(p);
  if (!t) return;
  free(t->qualifier);
  free(t->owner);
  free(t->table);
  free(t->alias);
  *t = TableRef{};
}

namespace {

int MakeTableRef(PTNode *ref, int keepQualifier, TableRef *out) {
  PTNode *aliasLeaf = PT_FindType(ref->child, PT_TABLEALIAS);
  PTNode *name = PT_FindType(ref->child, PT_TABLENAME);
  if (!name) return kGeneral;
  std::string_view text = PT_Text(name);
  std::string_view qualifier, owner, table;
  constexpr size_t npos = std::string_view::npos;
  if (size_t at = FindOutside(text, '@'); at != npos) {
    std::string_view rest = text.substr(0, at);
    if (size_t dot = FindOutside(rest, '.'); dot != npos) {
      owner = rest.substr(0, dot);
      table = rest.substr(dot + 1);
    } else {
      table = rest;
    }
  } else if (size_t dot = FindOutside(text, '.', true); dot != npos) {
    table = text.substr(dot + 1);
    std::string_view before = text.substr(0, dot);
    size_t sep = FindOutside(before, '.');
    if (sep == npos) sep = FindOutside(before, ':');
    if (sep != npos) {
      qualifier = before.substr(0, sep);
      owner = before.substr(sep + 1);
    } else {
      owner = before;
    }
  } else if (size_t colon = FindOutside(text, ':'); colon != npos) {
    qualifier = text.substr(0, colon);
    table = text.substr(colon + 1);
  } else {
    table = text;
  }
  if (!keepQualifier) qualifier = {};
  TableRef t{Dup(qualifier), Dup(owner), Dup(table), Dup(aliasLeaf ? PT_Text(aliasLeaf) : std::string_view())};
  if (!t.qualifier || !t.owner || !t.table || !t.alias) {
    SCR_TableRefFree(&t);
    return kNoMemory;
  }
  *out = t;
  return kOk;
}

}  // namespace

int SCR_TablesGet(AnalysedSQL *a, VArray *tables, int keepQualifier) {
  return Guarded([&]() -> int {
    if (!a || !tables) return kGeneral;
    PTNode *te = FindChain(a->root, {PT_SELECT, PT_QUERYSPEC, PT_TABLEEXPR});
    if (!te) return kGeneral;
    PTNode *list = Find(te, PT_TABLELIST);
    if (!list) return kOk;
    NodeList refs;
    if (!refs.v || !PT_CollectBelow(PT_TABLEREF, list, refs.v)) return kNoMemory;
    if (refs.size() == 0) return kGeneral;
    for (uint32_t i = 0; i < refs.size(); ++i) {
      TableRef t{};
      int rc = MakeTableRef(refs[i], keepQualifier, &t);
      if (rc != kOk) return rc;
      if (!VArray_Append(tables, &t)) {
        SCR_TableRefFree(&t);
        return kNoMemory;
      }
    }
    return kOk;
  });
}

// ---- Rewrites -----------------------------------------------------------------------------

int SCR_SelectListMark(AnalysedSQL *a) {
  return Guarded([&]() -> int {
    if (!a || !a->root) return kGeneral;
    PTNode *list = FindChain(a->root, {PT_SELECT, PT_QUERYSPEC, PT_SELLIST});
    if (!list) return kGeneral;
    if (!PT_SetText(list, PT_MARKER)) return kNoMemory;
    return Regenerate(a);
  });
}

int SCR_SelectListAppendMark(AnalysedSQL *a, const char *starOwner) {
  return Guarded([&]() -> int {
    if (!a || !a->root) return kGeneral;
    PTNode *list = FindChain(a->root, {PT_SELECT, PT_QUERYSPEC, PT_SELLIST});
    if (!list) return kGeneral;
    std::string items(PT_Text(list));
    const size_t b = items.find_first_not_of(" \t\r\n");
    const size_t e = items.find_last_not_of(" \t\r\n");
    if (b == std::string::npos) return kGeneral;
    items = items.substr(b, e - b + 1);
    // Oracle takes no further item beside a bare "*".
    if (items == "*" && starOwner && *starOwner) items = std::string(starOwner) + ".*";
    if (!PT_SetText(list, items + ", " + PT_MARKER)) return kNoMemory;
    return Regenerate(a);
  });
}

int SCR_WhereMark(AnalysedSQL *a) {
  return Guarded([&]() -> int {
    if (!a || !a->root) return kGeneral;
    PTNode *part = FindChain(a->root, {PT_SELECT, PT_QUERYSPEC, PT_TABLEEXPR, PT_WHEREPART});
    if (!part) return kGeneral;
    if (IsInner(part)) {
      a->flags |= SCR_WHERE;
      PTNode *clause = Find(part, PT_WHERE);
      if (!clause) return kGeneral;
      if (!PT_SetTemplate(clause, std::string("WHERE ") + PT_MARKER + " AND (\xFF\x01\x01)")) return kNoMemory;
    } else {
      a->flags &= static_cast<uint16_t>(~SCR_WHERE);
      if (!PT_SetText(part, PT_MARKER)) return kNoMemory;
    }
    return Regenerate(a);
  });
}

int SCR_OrderByMark(AnalysedSQL *a) {
  return Guarded([&]() -> int {
    if (!a || !a->root) return kGeneral;
    PTNode *part = nullptr;
    int rc = OrderByFlag(a, &part);
    if (rc != kOk) return rc;
    if (a->flags & SCR_ORDERBY) {
      PTNode *clause = Find(part, PT_ORDERBY);
      if (!clause) return kGeneral;
      if (!PT_SetTemplate(clause, std::string(clause->tmpl) + PT_MARKER)) return kNoMemory;
    } else if (!PT_SetText(part, PT_MARKER)) {
      return kNoMemory;
    }
    return Regenerate(a);
  });
}

namespace {
// The ORDER BY part's items; 15 when the part is missing, 16 no memory.
int OrderItems(AnalysedSQL *a, NodeList &items) {
  if (!a || !a->root) return kGeneral;
  PTNode *part = Find(a->root, PT_ORDERPART);
  if (!part) return kGeneral;
  if (!items.v || !PT_CollectBelow(PT_ORDERITEM, part, items.v)) return kNoMemory;
  return items.size() ? kOk : kGeneral;
}

bool HasDesc(std::string_view s) { return s.find("DESC") != std::string_view::npos; }
}  // namespace

int SCR_OrderByReverse(AnalysedSQL *a) {
  return Guarded([&]() -> int {
    NodeList items;
    int rc = OrderItems(a, items);
    if (rc != kOk) return rc;
    for (uint32_t i = 0; i < items.size(); ++i) {
      PTNode *dir = Find(items[i], PT_DIRECTION);
      if (!dir) return kGeneral;
      if (!PT_SetText(dir, HasDesc(PT_Text(dir)) ? "" : "DESC")) return kNoMemory;
    }
    return Regenerate(a);
  });
}

namespace {
// An ORDER BY column number: the integer's value when it has one in
// 1..255 (the width of the record's field), else 0.
int ColumnNumber(std::string_view digits) {
  if (digits.empty() || digits.size() > 3) return 0;
  int v = 0;
  for (char c : digits) {
    if (c < '0' || c > '9') return 0;
    v = v * 10 + (c - '0');
  }
  return v >= 1 && v <= 255 ? v : 0;
}
}  // namespace

int SCR_OrderColsGet(AnalysedSQL *a, VArray *orderCols) {
  return Guarded([&]() -> int {
    if (!orderCols) return kGeneral;
    NodeList items;
    int rc = OrderItems(a, items);
    if (rc != kOk) return rc;
    for (uint32_t i = 0; i < items.size(); ++i) {
      auto *rec = static_cast<ScsOrderCol *>(calloc(1, sizeof(ScsOrderCol)));
      if (!rec) return kNoMemory;
      std::unique_ptr<ScsOrderCol, void (*)(void *)> hold(rec, free);
      PTNode *dir = Find(items[i], PT_DIRECTION);
      if (!dir) return kGeneral;
      rec->desc = HasDesc(PT_Text(dir)) ? 1 : 0;
      if (PTNode *num = Find(items[i], PT_INTEGER)) {
        // A number the field cannot hold would name another column.
        int v = ColumnNumber(PT_Text(num));
        if (v == 0) return kGeneral;
        rec->colNumber = static_cast<uint8_t>(v);
        a->flags |= SCR_ORDERBYNUM;
      } else {
        PTNode *ref = Find(items[i], PT_COLREF);
        if (!ref) return kGeneral;
        std::string_view t = PT_Text(ref);
        if (!Put(rec->text, sizeof rec->text, t)) return kGeneral;
        if (SCR_NameSplit(rec->text, rec->name, rec->table, rec->alias, rec->owner, rec->qualifier) != kOk)
          return kGeneral;
      }
      if (!VArray_Append(orderCols, rec)) return kNoMemory;
    }
    return kOk;
  });
}

int SCR_OrderNumbersResolve(AnalysedSQL *a, VArray *orderCols) {
  return Guarded([&]() -> int {
    if (!orderCols) return kGeneral;
    if (orderCols->count == 0) return kOk;
    if (!a || !a->root) return kGeneral;
    PTNode *clause = Find(a->root, PT_ORDERBY);
    if (!clause) return kGeneral;
    NodeList nums;
    if (!nums.v || !PT_CollectBelow(PT_INTEGER, clause, nums.v)) return kNoMemory;
    for (uint32_t i = 0; i < nums.size(); ++i) {
      // The whole number must match: comparing only its low byte would
      // resolve ORDER BY 257 to column 1.
      int v = ColumnNumber(PT_Text(nums[i]));
      const ScsOrderCol *match = nullptr;
      for (uint32_t k = 0; v && k < orderCols->count && !match; ++k) {
        auto *c = static_cast<const ScsOrderCol *>(VArray_At(orderCols, k));
        if (c->colNumber == v) match = c;
      }
      if (!match) return kGeneral;
      if (!PT_SetText(nums[i], match->text)) return kNoMemory;
    }
    return Regenerate(a);
  });
}

// ---- Select list ----------------------------------------------------------------------------

namespace {

// The column a select item stands for, when it is nothing but a column
// (possibly in parentheses); none for any other expression.
PTNode *PlainColumn(PTNode *item, bool *failed) {
  PTNode *expr = Find(item, PT_EXPR);
  if (!expr) {
    *failed = true;
    return nullptr;
  }
  while (expr->count == 1) {
    // A CASE is the expression's only child: an expression, never the
    // first column inside it.
    PTNode *term = expr->child;
    if (!term || term->type != PT_TERM || term->count != 1) return nullptr;
    PTNode *factor = term->child;
    if (!factor || factor->type != PT_FACTOR) return nullptr;
    std::string_view ft = PT_Text(factor);
    if (ft.find_first_of("+-") != std::string_view::npos) return nullptr;
    PTNode *primary = factor->child;
    if (!primary || primary->type != PT_PRIMARY) return nullptr;
    if (PT_Text(primary).starts_with("(")) return nullptr;
    PTNode *inner = primary->child;
    if (!inner) return nullptr;
    switch (inner->type) {
      case PT_AGGREGATE:
      case PT_FUNCCALL:
      case PT_FNESC:
        return nullptr;
      case PT_EXPR:
        expr = inner;
        continue;
      case PT_COLREF:
        return inner;
      default:
        return nullptr;
    }
  }
  return nullptr;
}

}  // namespace

int SCR_SelectColsGet(AnalysedSQL *a, VArray *cols) {
  return Guarded([&]() -> int {
    if (!a || !a->root || !cols) return kGeneral;
    PTNode *list = Find(a->root, PT_SELLIST);
    if (!list) return kGeneral;
    auto *rec = static_cast<ScsColDesc *>(calloc(1, sizeof(ScsColDesc)));
    if (!rec) return kNoMemory;
    std::unique_ptr<ScsColDesc, void (*)(void *)> hold(rec, free);
    if (PT_Text(list) == "*") {
      rec->kind = 1;
      return VArray_Append(cols, rec) ? kOk : kNoMemory;
    }
    NodeList items;
    if (!items.v || !PT_CollectBelow(PT_SELITEM, list, items.v)) return kNoMemory;
    if (items.size() == 0) return kGeneral;
    for (uint32_t i = 0; i < items.size(); ++i) {
      memset(rec, 0, sizeof *rec);
      std::string_view text = PT_Text(items[i]);
      if (size_t star = text.find(".*"); star != std::string_view::npos) {
        if (!Put(rec->table, sizeof rec->table, text.substr(0, star))) return kGeneral;
        rec->kind = 2;
      } else {
        rec->kind = 3;
        if (!Put(rec->name, sizeof rec->name, text)) return kGeneral;
        bool failed = false;
        PTNode *col = PlainColumn(items[i], &failed);
        if (failed) return kGeneral;
        if (col) {
          std::string ref(PT_Text(col));
          rec->kind = 4;
          if (SCR_NameSplit(ref.c_str(), rec->name, rec->table, rec->alias, rec->owner, rec->qualifier) != kOk)
            return kGeneral;
        }
      }
      if (!VArray_Append(cols, rec)) return kNoMemory;
    }
    return kOk;
  });
}

int SCR_NameSplit(const char *dotted, char *name, char *table, char *alias, char *owner, char *qualifier) {
  std::string_view t = dotted ? dotted : "";
  std::string_view n = t, tb, ow;
  if (size_t d1 = FindOutside(t, '.'); d1 != std::string_view::npos) {
    size_t d2 = FindOutside(t.substr(d1 + 1), '.');
    if (d2 != std::string_view::npos) d2 += d1 + 1;
    if (d2 == std::string_view::npos) {
      tb = t.substr(0, d1);
      n = t.substr(d1 + 1);
    } else {
      ow = t.substr(0, d1);
      tb = t.substr(d1 + 1, d2 - d1 - 1);
      n = t.substr(d2 + 1);
    }
  }
  alias[0] = '\0';
  qualifier[0] = '\0';
  if (!Put(name, SCS_NAME_SIZE, n) || !Put(table, SCS_NAME_SIZE, tb) || !Put(owner, SCS_NAME_SIZE, ow)) return kGeneral;
  return kOk;
}
