// Key-column discovery of the cursor layer (see keycols.h).
#include "scrs/keycols.h"

#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "odbc/dataset.h"
#include "odbc/sqlstate.h"
#include "scrs/scr.h"
#include "util/hashtab.h"
#include "util/log.h"
#include "util/md5.h"
#include "util/utf.h"

namespace {

constexpr int kOk = 0;
constexpr int kGeneral = E_S1000;
constexpr int kNoMemory = E_S1001;
constexpr int kNoKeys = E_IM909;
constexpr uint16_t kBlock = 10;     // rows per catalog fetch
constexpr size_t kNameMax = SCS_NAME_SIZE - 1;

// A catalog result read whole, freed at the end.
struct Result {
  Dataset ds{};
  ~Result() { DatasetFree(&ds); }
  int32_t rows() const { return ds.rows; }
};

bool IsNull(const Dataset &ds, int32_t r, uint16_t c) {
  return c >= ds.columns || ds.cols[c].indicators[r] == kIndNull;
}

// An integer cell of any numeric or text type; false for NULL or no number.
bool IntCell(const Dataset &ds, int32_t r, uint16_t c, int64_t *v) {
  if (IsNull(ds, r, c)) return false;
  const DatasetCol &col = ds.cols[c];
  const unsigned char *p = col.values + static_cast<size_t>(r) * col.size;
  switch (col.type) {
    case VT_STINYINT: *v = *reinterpret_cast<const int8_t *>(p); return true;
    case VT_UTINYINT: *v = *p; return true;
    case VT_SSHORT: { int16_t x; memcpy(&x, p, 2); *v = x; return true; }
    case VT_USHORT: { uint16_t x; memcpy(&x, p, 2); *v = x; return true; }
    case VT_SLONG: { int32_t x; memcpy(&x, p, 4); *v = x; return true; }
    case VT_ULONG: { uint32_t x; memcpy(&x, p, 4); *v = x; return true; }
    case VT_FLOAT: { float x; memcpy(&x, p, 4); *v = static_cast<int64_t>(x); return true; }
    case VT_DOUBLE: { double x; memcpy(&x, p, 8); *v = static_cast<int64_t>(x); return true; }
    default: break;
  }
  const void *data = nullptr;
  uint32_t len = 0;
  if (DatasetValueRef(&ds, static_cast<uint32_t>(r), c, &data, &len) != 0 || len == 0 || len > 30) return false;
  std::string text(static_cast<const char *>(data), len);
  char *end = nullptr;
  *v = strtoll(text.c_str(), &end, 10);
  return end != text.c_str();
}

// A name cell as UTF-8 (at most kNameMax bytes); 15 for a type that holds no text.
int NameCell(const Dataset &ds, int32_t r, uint16_t c, std::string *out) {
  out->clear();
  if (c >= ds.columns) return kGeneral;
  const int32_t type = ds.cols[c].type;
  const bool wide = type == VT_WCHAR || type == VT_WSTRING || type == VT_LONGWCHAR || type == VT_WVARCHAR4;
  const bool narrow = type == VT_CHAR || type == VT_LONGCHAR || type == VT_STRING || type == VT_VARCHAR1 ||
                      type == VT_VARCHAR2 || type == VT_VARCHAR4;
  if (!wide && !narrow) return kGeneral;
  if (IsNull(ds, r, c)) return kOk;
  const void *data = nullptr;
  uint32_t len = 0;
  if (int rc = DatasetValueRef(&ds, static_cast<uint32_t>(r), c, &data, &len)) return rc;
  if (wide) {
    std::string buf(kNameMax, '\0');
    uint32_t used = 0;
    buf.resize(utf16_to_utf8_count(static_cast<const uint16_t *>(data), buf.data(), len / 2, kNameMax, &used));
    *out = buf;
  } else {
    out->assign(static_cast<const char *>(data), len < kNameMax ? len : kNameMax);
  }
  while (!out->empty() && (out->back() == '\0' || (type == VT_CHAR && out->back() == ' '))) out->pop_back();
  return kOk;
}

bool QuoteUsed(char q) { return q != 0 && q != ' '; }

// A name without the identifier quote at its two ends.
std::string Unquote(const char *s, char q) {
  std::string v = s ? s : "";
  if (QuoteUsed(q) && v.size() >= 2 && v.front() == q && v.back() == q) v = v.substr(1, v.size() - 2);
  return v;
}

void Put(char *field, const std::string &s) {
  const size_t n = s.size() < kNameMax ? s.size() : kNameMax;
  memcpy(field, s.data(), n);
  field[n] = '\0';
}

// The key column's descriptor for table t, its name quoted unless pseudo.
ScsColDesc Template(const TableRef &t) {
  ScsColDesc d{};
  Put(d.table, t.table);
  Put(d.alias, t.alias);
  Put(d.owner, t.owner);
  Put(d.qualifier, t.qualifier);
  d.kind = 4;
  return d;
}

void SetName(ScsColDesc *d, const std::string &name, char q, bool pseudo) {
  if (pseudo || !QuoteUsed(q)) {
    Put(d->name, name);
    return;
  }
  std::string quoted(1, q);
  for (char ch : name) {
    quoted += ch;
    if (ch == q) quoted += q;
  }
  quoted += q;
  if (quoted.size() > kNameMax) quoted = quoted.substr(0, kNameMax - 1) + q;
  Put(d->name, quoted);
}

// Runs one catalog operation on the auxiliary cursor and reads its whole
// result.
int RunCatalog(const KsCatalog &cat, DRV_Catalog_t DrvOps::*slot, const char *what, std::vector<std::string> names,
               std::initializer_list<uint16_t> options, bool absentQualifier, Result *out) {
  CatalogArgs args{};
  for (size_t i = 0; i < names.size() && i < 6; ++i)
    args.names[i] = (i == 0 && absentQualifier && names[0].empty()) ? nullptr : names[i].data();
  size_t i = 0;
  for (uint16_t o : options) args.options[i++] = o;
  DRV_Catalog_t fn = cat.lower && cat.lower->table ? cat.lower->table->*slot : nullptr;
  int rc = fn ? fn(cat.aux, &args) : E_S1C00;
  if (rc != 0) {
    log_msg(LOG_ERR, __FILE__, __LINE__, "%s failed.", what);
    return rc;
  }
  Dataset more{};
  for (bool first = true;; first = false) {
    Dataset *into = first ? &out->ds : &more;
    rc = DrvCall<&DrvOps::DRV_Fetch>(cat.lower, cat.aux, kBlock, into);
    if (rc == E_IM907 || rc == E_IM902) rc = 0;  // no rows; rows with the database's warning
    if (rc != 0) break;
    const int32_t got = into->rows;
    if (!first && got > 0) rc = DatasetAppend(&out->ds, &more);
    if (!first) DatasetFree(&more);
    if (rc != 0 || got < kBlock) break;
  }
  DatasetFree(&more);
  DrvCall<&DrvOps::DRV_CloseCursor>(cat.lower, cat.aux);
  if (rc != 0) log_msg(LOG_ERR, __FILE__, __LINE__, "%s: Couldn't fetch column descriptors.", what);
  return rc;
}

struct ColumnFacts {
  int16_t sqlType = 0;
  int32_t size = 0;
  int16_t digits = 0;
  bool nullable = true;
};

// The catalog's description of one column: exactly one row.
int Facts(const KsCatalog &cat, const TableRef &t, const std::string &column, ColumnFacts *f) {
  const char q = cat.identQuote;
  std::string owner = Unquote(t.owner, q);
  Result res;
  int rc = RunCatalog(cat, &DrvOps::DRV_DDColumns, "KS_GetKeyColDescs: DRV_DDColumns",
                      {Unquote(t.qualifier, q), owner.empty() ? "%" : owner, Unquote(t.table, q), column}, {}, true,
                      &res);
  if (rc != kOk) return rc;
  if (res.rows() != 1) {
    log_msg(LOG_ERR, __FILE__, __LINE__, "KS_GetKeyColDescs: Too many column descriptors!");
    return kGeneral;
  }
  int64_t v = 0;
  if (IntCell(res.ds, 0, 4, &v)) f->sqlType = static_cast<int16_t>(v);
  if (IntCell(res.ds, 0, 6, &v)) f->size = static_cast<int32_t>(v);
  f->digits = 0;
  if ((f->sqlType == 2 || f->sqlType == 3) && IntCell(res.ds, 0, 8, &v)) f->digits = static_cast<int16_t>(v);
  f->nullable = !(IntCell(res.ds, 0, 10, &v) && v == 0);
  return kOk;
}

// All the named columns are NOT NULL.
int AllNotNull(const KsCatalog &cat, const TableRef &t, const std::vector<std::string> &cols, bool *yes) {
  *yes = !cols.empty();
  for (const std::string &c : cols) {
    ColumnFacts f;
    if (int rc = Facts(cat, t, c, &f)) return rc;
    if (f.nullable) *yes = false;
  }
  return kOk;
}

std::vector<std::string> TableArgs(const TableRef &t, char q) {
  return {Unquote(t.qualifier, q), Unquote(t.owner, q), Unquote(t.table, q)};
}

// The object is a table (not a view): it has rows with a ROWID.
int IsTable(const KsCatalog &cat, const TableRef &t, bool *yes) {
  std::vector<std::string> names = TableArgs(t, cat.identQuote);
  names.push_back("'TABLE'");
  Result res;
  int rc = RunCatalog(cat, &DrvOps::DRV_DDTables, "KS_GetKeyColDescs_SpCols: DRV_DDTables", names, {}, false, &res);
  *yes = rc == kOk && res.rows() > 0;
  return rc;
}

int Append(VArray *keyCols, const ScsColDesc &d) { return VArray_Append(keyCols, &d) ? kOk : kNoMemory; }

// The shared frame of the routes: per table not found yet, the route's
// columns (name, optional facts), appended; 84 when a table got none.
template <class PerTable>
int Route(const TableRef *tables, uint32_t count, int32_t *found, PerTable perTable) {
  bool missing = false;
  for (uint32_t i = 0; i < count; ++i) {
    if (found && found[i]) continue;
    bool got = false;
    if (int rc = perTable(tables[i], &got)) return rc;
    if (got && found) found[i] = 1;
    if (!got) missing = true;
  }
  return missing ? kNoKeys : kOk;
}

}  // namespace

int KS_GetKeyColDescs_PKeys(const KsCatalog &cat, const TableRef *tables, uint32_t count, int32_t *found,
                            VArray *keyCols) {
  if (!tables || !keyCols) return kGeneral;
  return Route(tables, count, found, [&](const TableRef &t, bool *got) -> int {
    Result res;
    int rc = RunCatalog(cat, &DrvOps::DRV_DDPrimaryKeys, "KS_GetKeyColDescs_PKeys: DRV_DDPrimaryKeys",
                        TableArgs(t, cat.identQuote), {}, false, &res);
    if (rc != kOk) return rc;
    for (int32_t r = 0; r < res.rows(); ++r) {
      std::string name;
      if ((rc = NameCell(res.ds, r, 3, &name))) return rc;
      if (name.empty()) continue;
      ScsColDesc d = Template(t);
      SetName(&d, name, cat.identQuote, false);
      if ((rc = Append(keyCols, d))) return rc;
      *got = true;
    }
    return kOk;
  });
}

int KS_GetKeyColDescs_SpCols(const KsCatalog &cat, const TableRef *tables, uint32_t count, int32_t *found,
                             VArray *keyCols) {
  if (!tables || !keyCols) return kGeneral;
  return Route(tables, count, found, [&](const TableRef &t, bool *got) -> int {
    Result res;
    int rc = RunCatalog(cat, &DrvOps::DRV_DDSpecialColumns, "KS_GetKeyColDescs_SpCols: DRV_DDSpecialColumns",
                        TableArgs(t, cat.identQuote), {1, 0, 0}, false, &res);
    if (rc != kOk) return rc;
    std::vector<ScsColDesc> real, pseudo;
    std::vector<std::string> realNames;
    for (int32_t r = 0; r < res.rows(); ++r) {
      std::string name;
      if ((rc = NameCell(res.ds, r, 1, &name))) return rc;
      if (name.empty()) continue;
      int64_t v = 0;
      const bool isPseudo = IntCell(res.ds, r, 7, &v) && v == 2;
      ScsColDesc d = Template(t);
      SetName(&d, name, cat.identQuote, isPseudo);
      if (IntCell(res.ds, r, 2, &v)) d.sqlType = static_cast<int16_t>(v);
      if (IntCell(res.ds, r, 4, &v)) d.columnSize = static_cast<int32_t>(v);
      if ((d.sqlType == 2 || d.sqlType == 3) && IntCell(res.ds, r, 6, &v)) d.decimalDigits = static_cast<int16_t>(v);
      (isPseudo ? pseudo : real).push_back(d);
      if (!isPseudo) realNames.push_back(name);
    }
    // The best row identifier serves only when none of its columns may be
    // NULL; else the pseudo column does.
    bool notNull = false;
    if (!real.empty() && (rc = AllNotNull(cat, t, realNames, &notNull))) return rc;
    if (!notNull && pseudo.empty()) {
      // The catalog names the pseudo column only for a table without a
      // unique index; every table has one all the same.
      bool table = false;
      if ((rc = IsTable(cat, t, &table))) return rc;
      if (table) {
        ScsColDesc d = Template(t);
        SetName(&d, "ROWID", cat.identQuote, true);
        d.sqlType = 1;
        d.columnSize = 18;
        pseudo.push_back(d);
      }
    }
    for (const ScsColDesc &d : notNull ? real : pseudo) {
      if ((rc = Append(keyCols, d))) return rc;
      *got = true;
    }
    return kOk;
  });
}

int KS_GetKeyColDescs_Stats(const KsCatalog &cat, const TableRef *tables, uint32_t count, int32_t *found,
                            VArray *keyCols) {
  if (!tables || !keyCols) return kGeneral;
  return Route(tables, count, found, [&](const TableRef &t, bool *got) -> int {
    Result res;
    int rc = RunCatalog(cat, &DrvOps::DRV_DDStatistics, "KS_GetKeyColDescs_Stats: DRV_DDStatistics",
                        TableArgs(t, cat.identQuote), {0, 1}, false, &res);
    if (rc != kOk) return rc;
    // Unique indexes in the catalog's order, each its columns in order; the
    // first whose columns are all NOT NULL is the key.
    std::vector<std::vector<std::string>> indexes;
    for (int32_t r = 0; r < res.rows(); ++r) {
      std::string name;
      if ((rc = NameCell(res.ds, r, 8, &name))) return rc;
      if (name.empty()) continue;
      if (res.ds.columns > 7 && !IsNull(res.ds, r, 7)) {
        const int32_t type = res.ds.cols[7].type;
        if (type < VT_STINYINT || type > VT_ULONG) return kGeneral;
      }
      int64_t pos = 0;
      if (indexes.empty() || (IntCell(res.ds, r, 7, &pos) && pos == 1)) indexes.emplace_back();
      indexes.back().push_back(name);
    }
    for (const auto &cols : indexes) {
      bool notNull = false;
      if ((rc = AllNotNull(cat, t, cols, &notNull))) return rc;
      if (!notNull) continue;
      for (const std::string &c : cols) {
        ScsColDesc d = Template(t);
        SetName(&d, c, cat.identQuote, false);
        if ((rc = Append(keyCols, d))) return rc;
      }
      *got = true;
      break;
    }
    return kOk;
  });
}

HashTable *KS_KeyColCacheNew() { return hash_create(101, 16); }

void KS_KeyColCacheFree(HashTable *cache) {
  if (!cache) return;
  hash_walk(cache, [](void *value, const void *, void *) {
    auto *list = static_cast<VArray *>(value);
    VArray_Free(&list, nullptr);
  }, nullptr);
  hash_destroy(cache);
}

void KS_TablesDigest(const VArray *tables, unsigned char digest[16]) {
  MD5_CTX ctx;
  MD5Init(&ctx);
  for (uint32_t i = 0; tables && i < tables->count; ++i) {
    const auto *t = static_cast<const TableRef *>(VArray_At(tables, i));
    for (const char *s : {t->qualifier, t->owner, t->table}) {
      const uint32_t n = s ? static_cast<uint32_t>(strlen(s)) : 0;
      const unsigned char len[4] = {static_cast<unsigned char>(n), static_cast<unsigned char>(n >> 8),
                                    static_cast<unsigned char>(n >> 16), static_cast<unsigned char>(n >> 24)};
      MD5Update(&ctx, len, 4);
      if (n) MD5Update(&ctx, s, n);
    }
  }
  MD5Final(digest, &ctx);
}

int KS_GetKeyColDescs(const KsCatalog &cat, const VArray *tables, VArray **keyCols, uint8_t *tableCount) {
  if (!tables || !keyCols || !cat.lower) return kGeneral;
  if (tableCount) *tableCount = static_cast<uint8_t>(tables->count);
  unsigned char digest[16];
  KS_TablesDigest(tables, digest);
  VArray_Free(keyCols, nullptr);
  *keyCols = VArray_New(sizeof(ScsColDesc));
  if (!*keyCols) return kNoMemory;
  if (cat.cache) {
    if (auto *hit = static_cast<VArray *>(hash_find(cat.cache, digest)))
      return VArray_AppendAll(*keyCols, hit) ? kOk : kNoMemory;
  }
  const auto *refs = reinterpret_cast<const TableRef *>(tables->data);
  std::vector<int32_t> found(tables->count, 0);
  int rc = KS_GetKeyColDescs_PKeys(cat, refs, tables->count, found.data(), *keyCols);
  if (rc == kNoKeys || rc == E_S1C00) rc = KS_GetKeyColDescs_SpCols(cat, refs, tables->count, found.data(), *keyCols);
  if (rc == kNoKeys || rc == E_S1C00) rc = KS_GetKeyColDescs_Stats(cat, refs, tables->count, found.data(), *keyCols);
  if (rc != kOk) return rc;
  // The routes appended table after table as they found keys: back into
  // FROM-clause order, types completed where the route gave none.
  VArray *ordered = VArray_New(sizeof(ScsColDesc));
  if (!ordered) return kNoMemory;
  for (uint32_t i = 0; i < tables->count && rc == kOk; ++i) {
    const TableRef &t = refs[i];
    for (uint32_t k = 0; k < (*keyCols)->count && rc == kOk; ++k) {
      ScsColDesc d = *static_cast<ScsColDesc *>(VArray_At(*keyCols, k));
      if (strcmp(d.table, t.table) || strcmp(d.alias, t.alias) || strcmp(d.owner, t.owner) ||
          strcmp(d.qualifier, t.qualifier))
        continue;
      if (d.sqlType == 0) {
        ColumnFacts f;
        rc = Facts(cat, t, Unquote(d.name, cat.identQuote), &f);
        d.sqlType = f.sqlType;
        d.columnSize = f.size;
        d.decimalDigits = f.digits;
      }
      d.orderByPos = 0;
      if (rc == kOk && !VArray_Append(ordered, &d)) rc = kNoMemory;
    }
  }
  if (rc != kOk) {
    VArray_Free(&ordered, nullptr);
    return rc;
  }
  VArray_Free(keyCols, nullptr);
  *keyCols = ordered;
  if (cat.cache) {
    VArray *copy = VArray_New(sizeof(ScsColDesc));
    if (copy && VArray_AppendAll(copy, ordered) && hash_insert(cat.cache, digest, copy)) return kOk;
    VArray_Free(&copy, nullptr);
  }
  return kOk;
}
