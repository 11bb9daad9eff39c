// Key queries and boundary predicates of the cursor layer (see keyquery.h).
#include "scrs/keyquery.h"

#include <cstdlib>
#include <cstring>
#include <memory>
#include <new>
#include <string_view>
#include <vector>

#include "odbc/dataset.h"
#include "odbc/sqlstate.h"

namespace {

constexpr int kOk = 0;
constexpr int kGeneral = E_S1000;
constexpr int kNoMemory = E_S1001;

const ScsColDesc &KeyAt(KsKeyCols keys, uint32_t i) { return *static_cast<const ScsColDesc *>(VArray_At(keys.cols, i)); }
uint32_t KeyCount(KsKeyCols keys) { return keys.cols ? keys.cols->count : 0; }

// Runs a builder that may throw std::bad_alloc from its strings.
template <class F> int Guarded(F &&f) {
  try {
    return f();
  } catch (const std::bad_alloc &) {
    return kNoMemory;
  }
}

}  // namespace

std::string KS_ColumnRef(const ScsColDesc &col, uint8_t tableCount) {
  std::string out;
  if (tableCount > 1) {
    if (col.alias[0]) {
      out.append(col.alias).append(".");
    } else if (col.owner[0] && col.table[0]) {
      out.append(col.owner).append(".").append(col.table).append(".");
    } else if (col.table[0]) {
      out.append(col.table).append(".");
    }
  }
  return out.append(col.name);
}

int KS_Splice(AnalysedSQL *a, const std::string &piece) {
  return Guarded([&]() -> int {
    if (!a || !a->root) return kGeneral;
    std::string_view text = PT_Text(a->root);
    size_t at = text.find(std::string_view(PT_MARKER, 3));
    if (at == std::string_view::npos) return kGeneral;
    std::string out;
    out.reserve(text.size() + piece.size());
    out.append(text.substr(0, at)).append(piece).append(text.substr(at + 3));
    char *copy = static_cast<char *>(malloc(out.size() + 1));
    if (!copy) return kNoMemory;
    memcpy(copy, out.c_str(), out.size() + 1);
    free(a->text2);
    a->text2 = copy;
    return kOk;
  });
}

int KS_KeyOrderByBuild(AnalysedSQL *a, KsKeyCols keys, uint32_t orderItems, uint16_t maxOrderBy) {
  if (!a || !keys.cols) return kGeneral;
  int rc = SCR_OrderByMark(a);
  if (rc != kOk) return rc;
  return Guarded([&]() -> int {
    const bool hadOrder = (a->flags & SCR_ORDERBY) != 0;
    std::string piece;
    uint32_t added = 0;
    for (uint32_t i = 0; i < KeyCount(keys); ++i) {
      const ScsColDesc &k = KeyAt(keys, i);
      if (k.orderByPos != 0) continue;
      if (maxOrderBy && orderItems + added >= maxOrderBy) break;
      piece += (added == 0 && !hadOrder) ? " ORDER BY " : ", ";
      piece += KS_ColumnRef(k, keys.tableCount);
      ++added;
    }
    return KS_Splice(a, piece);
  });
}

int ks_SelListKeys(AnalysedSQL *a, KsKeyCols keys) {
  if (!a || !keys.cols) return kGeneral;
  int rc = SCR_SelectListMark(a);
  if (rc != kOk) return rc;
  return Guarded([&]() -> int {
    std::string piece;
    for (uint32_t i = 0; i < KeyCount(keys); ++i) {
      if (i) piece += ", ";
      piece += KS_ColumnRef(KeyAt(keys, i), keys.tableCount);
    }
    return KS_Splice(a, piece);
  });
}

int KS_KeyWhereBuild(AnalysedSQL *a, KsKeyCols keys, uint32_t groups) {
  if (!a || !keys.cols || KeyCount(keys) == 0 || groups == 0) return kGeneral;
  int rc = SCR_WhereMark(a);
  if (rc != kOk) return rc;
  return Guarded([&]() -> int {
    std::string group;
    for (uint32_t i = 0; i < KeyCount(keys); ++i) {
      if (i) group += " AND ";
      group += KS_ColumnRef(KeyAt(keys, i), keys.tableCount) + " = ?";
    }
    std::string piece = (a->flags & SCR_WHERE) ? "( " : " WHERE ( ";
    for (uint32_t g = 0; g < groups; ++g) {
      if (g) piece += " OR ";
      piece += group;
    }
    piece += " )";
    return KS_Splice(a, piece);
  });
}

namespace {

// Units up to the first zero unit of a fixed or NUL-terminated value.
uint32_t TextUnits(const unsigned char *p, uint32_t bytes, bool wide) {
  if (!wide) return static_cast<uint32_t>(strnlen(reinterpret_cast<const char *>(p), bytes));
  uint32_t n = 0;
  while (2 * n + 1 < bytes && (p[2 * n] | p[2 * n + 1])) ++n;
  return n;
}

}  // namespace

int KS_KeyParamsBuild(const Dataset *src, uint32_t first, uint32_t groups, uint32_t rows, Dataset **out,
                      int terminator, int trim, int excludeNulls, uint16_t *excludedCount, int16_t **excluded) {
  if (out) *out = nullptr;
  if (!src || src->columns == 0 || !out || groups == 0 || rows == 0 || rows > groups) return kGeneral;
  if (src->rows <= 0 || first >= static_cast<uint32_t>(src->rows)) return kGeneral;
  if (excludeNulls && (!excludedCount || !excluded)) return kGeneral;
  const uint16_t cols = src->columns;
  std::unique_ptr<int16_t, void (*)(void *)> flags(nullptr, free);
  uint16_t nExcluded = 0;
  if (excludeNulls) {
    flags.reset(static_cast<int16_t *>(calloc(cols, sizeof(int16_t))));
    if (!flags) return kNoMemory;
    for (uint16_t c = 0; c < cols; ++c) {
      for (uint32_t r = first; r < first + rows && r < static_cast<uint32_t>(src->rows); ++r)
        if (src->cols[c].indicators[r] == kIndNull) flags.get()[c] = 1;
      nExcluded = static_cast<uint16_t>(nExcluded + flags.get()[c]);
    }
  }
  const uint64_t total = uint64_t(groups) * (cols - nExcluded);
  if (total > UINT16_MAX) return kGeneral;
  auto *ds = static_cast<Dataset *>(calloc(1, sizeof(Dataset)));
  if (!ds) return kNoMemory;
  std::unique_ptr<Dataset, void (*)(Dataset *)> hold(ds, DatasetDelete);
  if (int rc = DatasetInit(ds, static_cast<uint16_t>(total))) return rc;
  ds->capacity = 1;
  const uint32_t last = static_cast<uint32_t>(src->rows) - 1;
  uint32_t i = 0;
  uint16_t at = 0;
  for (uint32_t g = 0; g < groups; ++g) {
    const uint32_t row = first + i;
    for (uint16_t c = 0; c < cols; ++c) {
      if (flags && flags.get()[c]) continue;
      const DatasetCol &s = src->cols[c];
      const unsigned char *v = s.values + static_cast<size_t>(row) * s.size;
      uint32_t size = s.size;  // the new element's size before any terminator
      uint32_t extra = 0;
      switch (s.type) {
        case VT_STRING:
          size = TextUnits(v, s.size, false) + 1;
          break;
        case VT_WSTRING:
          size = 2 * TextUnits(v, s.size, true) + 2;
          break;
        case VT_CHAR:
          if (trim) size = TextUnits(v, s.size, false);
          if (terminator) extra = 1;
          break;
        case VT_WCHAR:
          if (trim) size = 2 * TextUnits(v, s.size, true);
          if (terminator) extra = 2;
          break;
        default:
          break;
      }
      DatasetCol &d = ds->cols[at];
      d.type = s.type;
      d.size = size + extra;
      if (int rc = DatasetColAlloc(&d, 1)) return rc;
      ds->columns = static_cast<uint16_t>(at + 1);
      d.indicators[0] = s.indicators[row];
      if (s.type == VT_LONGCHAR || s.type == VT_LONGBINARY || s.type == VT_LONGWCHAR) {
        LongValue lv;
        memcpy(&lv, v, sizeof lv);
        const size_t bytes = s.type == VT_LONGWCHAR ? size_t(lv.length) * 2 : lv.length;
        LongValue copy{lv.length, nullptr};
        if (lv.buffer) {
          copy.buffer = malloc(bytes ? bytes : 1);
          if (!copy.buffer) return kNoMemory;
          memcpy(copy.buffer, lv.buffer, bytes);
        }
        memcpy(d.values, &copy, sizeof copy);
      } else {
        memcpy(d.values, v, size < s.size ? size : s.size);
      }
      ++at;
    }
    if (i + 1 < rows && first + i < last) ++i;
  }
  ds->rows = 1;
  *out = hold.release();
  if (excludeNulls) {
    *excludedCount = nExcluded;
    *excluded = flags.release();
  }
  return kOk;
}

// ---- Dynamic key fetch ---------------------------------------------------------------------

int ks_BoundaryRow(int direction, int mode) {
  const bool edge = mode == KS_BEYOND;
  if (direction == KS_PRIOR) return edge ? 0 : 1;
  return edge ? 1 : 0;
}

const char *ks_CompareOp(int direction, bool inclusive, bool desc) {
  const bool greater = (direction == KS_PRIOR) == desc;
  if (greater) return inclusive ? ">=" : ">";
  return inclusive ? "<=" : "<";
}

bool ks_NullsFollow(int direction, bool desc, int16_t collation) {
  bool next;
  switch (collation) {
    case KS_NC_HIGH: next = !desc; break;
    case KS_NC_LOW: next = desc; break;
    case KS_NC_START: next = false; break;
    default: next = true; break;
  }
  return direction == KS_PRIOR ? !next : next;
}

int ks_NullBoundaryRule(int direction, bool desc, int16_t collation) {
  int next;
  switch (collation) {
    case KS_NC_HIGH: next = desc ? 2 : 1; break;
    case KS_NC_LOW: next = desc ? 1 : 2; break;
    case KS_NC_START: next = 2; break;
    default: next = 1; break;
  }
  return direction == KS_PRIOR ? 3 - next : next;
}

namespace {

// One sort column of the boundary predicates.
struct SortCol {
  const ScsOrderCol *item = nullptr;  // the ORDER BY item, or none for a key after them
  const ScsColDesc *key = nullptr;    // the key column it is, or none
  bool desc = false;
  uint16_t bound = 0;                 // its column in the boundary rows
  bool nullable() const { return key == nullptr; }  // keys are never NULL
};

uint32_t OrderCount(const KsSortSpec &s) { return s.orderCols ? s.orderCols->count : 0; }

// The first d sort columns; 15 when d reaches past the items and keys.
int SortCols(const KsSortSpec &s, std::vector<SortCol> *out) {
  const uint32_t items = OrderCount(s);
  const uint32_t keys = KeyCount(s.keys);
  uint16_t nonKeyItems = 0;
  uint32_t nextKey = 0;  // search position among the keys no item names
  for (uint32_t i = 1; i <= s.d; ++i) {
    SortCol c;
    if (i <= items) {
      c.item = static_cast<const ScsOrderCol *>(VArray_At(s.orderCols, i - 1));
      c.desc = c.item->desc != 0;
      for (uint32_t k = 0; k < keys && !c.key; ++k)
        if (KeyAt(s.keys, k).orderByPos == i) {
          c.key = &KeyAt(s.keys, k);
          c.bound = static_cast<uint16_t>(k);
        }
      if (!c.key) c.bound = static_cast<uint16_t>(keys + nonKeyItems++);
    } else {
      while (nextKey < keys && KeyAt(s.keys, nextKey).orderByPos != 0) ++nextKey;
      if (nextKey >= keys) return kGeneral;
      c.key = &KeyAt(s.keys, nextKey);
      c.bound = static_cast<uint16_t>(nextKey++);
    }
    out->push_back(c);
  }
  return kOk;
}

std::string SortText(const SortCol &c, const KsSortSpec &s) {
  if (c.item) return c.item->text;
  return KS_ColumnRef(*c.key, s.keys.tableCount);
}

bool BoundNull(const SortCol &c, const KsSortSpec &s, int row) {
  return c.nullable() && s.bounds->cols[c.bound].indicators[row] == kIndNull;
}

int CheckSpec(const KsSortSpec &s, int direction) {
  if (!s.keys.cols || !s.bounds || s.d == 0) return kGeneral;
  if (direction != KS_NEXT && direction != KS_PRIOR) return kGeneral;
  if (s.bounds->rows < 2) return kGeneral;
  return kOk;
}

// Term e's text, or dropped.
void TermText(const std::vector<SortCol> &cols, uint16_t e, const KsSortSpec &s, int direction, int mode,
              std::string *out, bool *dropped) {
  const int row = ks_BoundaryRow(direction, mode);
  *dropped = false;
  out->clear();
  for (uint16_t i = 0; i + 1 < e; ++i) {
    *out += SortText(cols[i], s);
    *out += BoundNull(cols[i], s, row) ? " IS NULL AND " : " = ? AND ";
  }
  const SortCol &c = cols[e - 1];
  const std::string col = SortText(c, s);
  if (BoundNull(c, s, row)) {
    if (ks_NullBoundaryRule(direction, c.desc, s.nullCollation) == 1) {
      *dropped = true;
      out->clear();
      return;
    }
    *out += col + " IS NOT NULL ";
    return;
  }
  // Only the last term may take the boundary row itself: an earlier one
  // made inclusive would also take the rows that tie on its columns and
  // sort before the boundary row on the later ones.
  const bool inclusive = mode == KS_FROM_OTHER && e == s.d;
  const std::string test = col + " " + ks_CompareOp(direction, inclusive, c.desc) + " ? ";
  if (c.nullable() && ks_NullsFollow(direction, c.desc, s.nullCollation))
    *out += "(" + test + "OR " + col + " IS NULL) ";
  else
    *out += test;
}

}  // namespace

int ks_SortColumnMap(const KsSortSpec &s, uint16_t **out) {
  if (!out) return kGeneral;
  *out = nullptr;
  return Guarded([&]() -> int {
    std::vector<SortCol> cols;
    if (int rc = SortCols(s, &cols)) return rc;
    auto *map = static_cast<uint16_t *>(malloc(sizeof(uint16_t) * (cols.size() ? cols.size() : 1)));
    if (!map) return kNoMemory;
    for (size_t i = 0; i < cols.size(); ++i) map[i] = cols[i].bound;
    *out = map;
    return kOk;
  });
}

int ks_DynKeyTerm(uint16_t e, const KsSortSpec &s, int direction, int mode, std::string *out, bool *dropped) {
  if (!out || !dropped) return kGeneral;
  if (int rc = CheckSpec(s, direction)) return rc;
  if (e == 0 || e > s.d) return kGeneral;
  return Guarded([&]() -> int {
    std::vector<SortCol> cols;
    if (int rc = SortCols(s, &cols)) return rc;
    TermText(cols, e, s, direction, mode, out, dropped);
    return kOk;
  });
}

int ks_DynKeyParamsBuild(const KsSortSpec &s, int direction, int mode, Dataset **out, uint16_t **sorts,
                         uint16_t *count) {
  if (!out) return kGeneral;
  *out = nullptr;
  if (sorts) *sorts = nullptr;
  if (count) *count = 0;
  if (int rc = CheckSpec(s, direction)) return rc;
  return Guarded([&]() -> int {
    std::vector<SortCol> cols;
    if (int rc = SortCols(s, &cols)) return rc;
    const int row = ks_BoundaryRow(direction, mode);
    std::vector<uint16_t> params;  // 0-based sort columns, in marker order
    std::string text;
    bool dropped = false;
    for (uint16_t e = 1; e <= s.d; ++e) {
      TermText(cols, e, s, direction, mode, &text, &dropped);
      if (dropped) continue;
      for (uint16_t i = 0; i < e; ++i)
        if (!BoundNull(cols[i], s, row)) params.push_back(i);
    }
    if (params.size() > UINT16_MAX) return kGeneral;
    auto *ds = static_cast<Dataset *>(calloc(1, sizeof(Dataset)));
    if (!ds) return kNoMemory;
    std::unique_ptr<Dataset, void (*)(Dataset *)> hold(ds, DatasetDelete);
    // The boundary row alone, so that every parameter column is one row.
    Dataset *one = nullptr;
    if (int rc = DatasetCloneLayout(&one, s.bounds, 1)) return rc;
    std::unique_ptr<Dataset, void (*)(Dataset *)> holdOne(one, DatasetDelete);
    if (int rc = DatasetRowCopy(one, const_cast<Dataset *>(s.bounds), 0, static_cast<uint32_t>(row), 0)) return rc;
    one->rows = 1;
    for (size_t p = 0; p < params.size(); ++p) {
      const uint16_t b = cols[params[p]].bound;
      if (b >= one->columns) return kGeneral;
      if (int rc = DatasetColInsert(ds, static_cast<uint16_t>(p), one->cols[b].type, one->cols[b].size)) return rc;
      if (int rc = DatasetColCopy(ds, one, static_cast<uint16_t>(p), b)) return rc;
    }
    if (sorts) {
      auto *list = static_cast<uint16_t *>(malloc(sizeof(uint16_t) * (params.size() ? params.size() : 1)));
      if (!list) return kNoMemory;
      for (size_t p = 0; p < params.size(); ++p) list[p] = static_cast<uint16_t>(params[p] + 1);
      *sorts = list;
    }
    if (count) *count = static_cast<uint16_t>(params.size());
    *out = hold.release();
    return kOk;
  });
}

int ks_DynKeyWhere(const KsSortSpec &s, AnalysedSQL *keyStmt, int direction, int mode, Dataset **params) {
  if (!keyStmt || !params) return kGeneral;
  *params = nullptr;
  if (int rc = CheckSpec(s, direction)) return rc;
  int rc = SCR_WhereMark(keyStmt);
  if (rc != kOk) return rc;
  rc = Guarded([&]() -> int {
    std::vector<SortCol> cols;
    if (int r = SortCols(s, &cols)) return r;
    std::string piece = (keyStmt->flags & SCR_WHERE) ? "( " : " WHERE ( ";
    std::string term;
    bool dropped = false, any = false;
    for (uint16_t e = 1; e <= s.d; ++e) {
      TermText(cols, e, s, direction, mode, &term, &dropped);
      if (dropped) continue;
      if (any) piece += " OR ";
      piece += term;
      any = true;
    }
    piece += " )";
    return KS_Splice(keyStmt, piece);
  });
  if (rc != kOk) return rc;
  return ks_DynKeyParamsBuild(s, direction, mode, params, nullptr, nullptr);
}

int KS_KeySelectBuild(const KsSortSpec &s, AnalysedSQL *keyStmt, int direction, int mode, int noCatalogs,
                      Dataset **params) {
  if (!keyStmt || !params || !s.keys.cols) return kGeneral;
  *params = nullptr;
  if (direction != KS_NEXT && direction != KS_PRIOR && direction != KS_FIRST && direction != KS_LAST)
    return kGeneral;
  const bool ordered = (keyStmt->flags & SCR_ORDERBY) != 0 || OrderCount(s) > 0;
  int rc = SCR_SelectListMark(keyStmt);
  if (rc != kOk) return rc;
  rc = Guarded([&]() -> int {
    std::string piece;
    for (uint32_t i = 0; i < KeyCount(s.keys); ++i) {
      if (i) piece += ", ";
      piece += KS_ColumnRef(KeyAt(s.keys, i), s.keys.tableCount);
    }
    if (ordered) {
      std::vector<SortCol> cols;
      SortCols(s, &cols);
      for (const SortCol &c : cols) {
        if (!c.item || c.key) continue;
        ScsColDesc ref{};
        memcpy(ref.name, c.item->name, sizeof ref.name);
        memcpy(ref.table, c.item->table, sizeof ref.table);
        memcpy(ref.alias, c.item->alias, sizeof ref.alias);
        memcpy(ref.owner, c.item->owner, sizeof ref.owner);
        piece += ", " + KS_ColumnRef(ref, s.keys.tableCount);
      }
    }
    return KS_Splice(keyStmt, piece);
  });
  if (rc != kOk || direction == KS_FIRST || direction == KS_LAST) return rc;
  // Analysed afresh, so that the WHERE rewrite works on the new list.
  std::unique_ptr<char, void (*)(void *)> text(keyStmt->text2 ? strdup(keyStmt->text2) : nullptr, free);
  if (!text) return kNoMemory;
  if ((rc = SCR_AnalyseSQL(keyStmt, text.get(), 1, noCatalogs)) != kOk) return rc;
  return ks_DynKeyWhere(s, keyStmt, direction, mode, params);
}
