// The cursor layer's knowledge of the tables and columns behind a cursor's
// SELECT: the tables resolved against the catalog, their columns, the select
// list and the ORDER BY items related to them, the identifier rules of the
// DBMS, and the base-column answers the agent's column description asks for.
//
// Names in ScsColDesc and TableRef records are kept as SQL accepts them
// (catalog names enclosed in the identifier quote character); what goes to
// the application is unquoted. Catalog arguments are patterns, so what the
// catalog returns is matched exactly before it is believed.
#include <sqlext.h>
#include <strings.h>

#include <cctype>
#include <cstdlib>
#include <cstring>
#include <string>

#include "odbc/colattr.h"
#include "odbc/dataset.h"
#include "odbc/drvops.h"
#include "odbc/sqlstate.h"
#include "scrs/ks.h"
#include "scrs/sc_install.h"
#include "scrs/sc_s.h"
#include "util/log.h"
#include "util/utf.h"

namespace {

// Agent items the cursor state keeps.
constexpr uint32_t kItemNeedbind = 0x22010002;
constexpr uint32_t kItemParamArrays = 0x22010004;
constexpr uint32_t kItemRowLocks = 0x22010007;
constexpr uint32_t kItemMaxParams = 0x22010009;
constexpr uint32_t kItemRowVersions = 0x2201000B;
constexpr uint32_t kItemWide = 0x22010013;

// Catalog results are read this many rows per fetch.
constexpr uint16_t kCatalogRows = 10;

std::string Fold(std::string s, uint32_t rule, int wide) {
  if (rule != 1 && rule != 2) return s;
  if (wide) {
    std::string buf = s;
    buf.resize(s.size() * 3 + 1, '\0');  // a mapping may re-encode longer
    buf[s.size()] = '\0';
    if (rule == 1)
      utf8_upper(buf.data(), static_cast<int32_t>(buf.size()));
    else
      utf8_lower(buf.data(), static_cast<int32_t>(buf.size()));
    return std::string(buf.c_str());
  }
  for (char &c : s) c = static_cast<char>(rule == 1 ? toupper(static_cast<unsigned char>(c)) : tolower(static_cast<unsigned char>(c)));
  return s;
}

bool Quoted(const std::string &s, char quote) { return quote && s.size() >= 2 && s.front() == quote && s.back() == quote; }

std::string Strip(const std::string &s, char quote) { return Quoted(s, quote) ? s.substr(1, s.size() - 2) : s; }

std::string Enclose(const std::string &s, char quote) { return quote ? quote + s + quote : s; }

// Into a fixed name field; false when it does not fit (names are never cut).
bool Put(char *field, const std::string &s) {
  if (s.size() >= SCS_NAME_SIZE) return false;
  memcpy(field, s.c_str(), s.size() + 1);
  return true;
}

bool Replace(char **field, const std::string &s) {
  char *copy = strdup(s.c_str());
  if (!copy) return false;
  free(*field);
  *field = copy;
  return true;
}

// The text of one catalog cell (empty for NULL); 15 for a value type that
// holds no text. Wide columns have been made narrow before.
int CatalogText(const Dataset *ds, uint32_t row, uint16_t col, std::string *out) {
  out->clear();
  int32_t type = 0;
  uint32_t size = 0;
  if (DatasetColInfo(ds, col, &type, &size) != 0) return E_S1000;
  switch (type) {
    case VT_CHAR: case VT_LONGCHAR: case VT_STRING: case VT_VARCHAR1: case VT_VARCHAR2: case VT_VARCHAR4:
      break;
    default:
      return E_S1000;
  }
  const void *data = nullptr;
  uint32_t len = 0;
  if (DatasetValueRef(ds, row, col, &data, &len) != 0) return E_S1000;
  if (ds->cols[col].indicators && ds->cols[col].indicators[row] == kIndNull) return 0;
  const char *p = static_cast<const char *>(data);
  size_t n = 0;
  while (n < len && p[n]) ++n;  // a fixed value ends at its first NUL
  out->assign(p, n);
  return 0;
}

// An integer catalog cell; false for NULL or a value type that is no integer.
bool CatalogInt(const Dataset *ds, uint32_t row, uint16_t col, int32_t *out) {
  int32_t type = 0;
  uint32_t size = 0;
  if (DatasetColInfo(ds, col, &type, &size) != 0) return false;
  if (ds->cols[col].indicators && ds->cols[col].indicators[row] == kIndNull) return false;
  const unsigned char *v = ds->cols[col].values + static_cast<size_t>(row) * ds->cols[col].size;
  switch (type) {
    case VT_STINYINT: *out = *reinterpret_cast<const int8_t *>(v); return true;
    case VT_UTINYINT: *out = *v; return true;
    case VT_SSHORT: { int16_t x; memcpy(&x, v, 2); *out = x; return true; }
    case VT_USHORT: { uint16_t x; memcpy(&x, v, 2); *out = x; return true; }
    case VT_SLONG: case VT_ULONG: { int32_t x; memcpy(&x, v, 4); *out = x; return true; }
    default: return false;
  }
}

// Every row of the catalog result open on the cursor, kCatalogRows per
// fetch; the result is closed after it.
int FetchAll(const DrvObject *lower, uint32_t cursor, Dataset *ds) {
  // A block with the database's warning (74) is a block.
  int code = DrvCall<&DrvOps::DRV_Fetch>(lower, cursor, kCatalogRows, ds);
  if (code == E_IM902) code = 0;
  int32_t last = code == 0 ? ds->rows : 0;
  Dataset more{};
  while (code == 0 && last == kCatalogRows) {
    code = DrvCall<&DrvOps::DRV_Fetch>(lower, cursor, kCatalogRows, &more);
    if (code == E_IM902) code = 0;
    last = code == 0 ? more.rows : 0;
    if (last > 0) code = DatasetAppend(ds, &more);
    DatasetFree(&more);
  }
  if (code == 0) code = DatasetToNarrow(ds);
  DrvCall<&DrvOps::DRV_CloseCursor>(lower, cursor);
  return code;
}

int EnsureAux(ScsCursor *cur) { return scs_p_AuxCursor(cur); }

int32_t AgentItem(const ScsCursor *cur, uint32_t item, int32_t dflt) {
  int32_t v = dflt;
  int16_t len = 0;
  if (DrvCall<&DrvOps::DRV_GetInfo>(cur->drv, cur->lowerConn, item, &v, static_cast<uint16_t>(sizeof v), &len) != 0)
    return dflt;
  return v;
}

uint32_t OdbcInt(const ScsCursor *cur, uint16_t type, uint32_t dflt) {
  uint32_t v = dflt;
  int16_t len = 0;
  return scs_GetODBCInfo(cur->drv, cur->lowerConn, type, &v, sizeof v, &len) == 0 ? v : dflt;
}

char *OdbcText(const ScsCursor *cur, uint16_t type) {
  char text[SCS_NAME_SIZE] = "";
  int16_t len = 0;
  if (scs_GetODBCInfo(cur->drv, cur->lowerConn, type, text, sizeof text, &len) != 0) return nullptr;
  return strdup(text);
}

struct Rules {
  char quote;
  uint32_t quotedCase, identCase;
  int wide;
};
Rules RulesOf(const ScsCursor *cur) { return {cur->identQuote, cur->quotedIdentCase, cur->identCase, cur->wide}; }

// A name as the catalog looks it up: a quoted one without its quotes, in
// the quoted-identifier case; another in the identifier case.
std::string LookupName(const char *name, const Rules &r) {
  std::string s = name ? name : "";
  if (Quoted(s, r.quote)) return Fold(Strip(s, r.quote), r.quotedCase, r.wide);
  return Fold(s, r.identCase, r.wide);
}

// The catalog's arguments: names[] must be writable (the agent folds some
// in place), so they are kept in strings that outlive the call.
struct Args {
  std::string text[4];
  bool present[4] = {};
  CatalogArgs a{};
  void Set(int i, const std::string &s) {
    text[i] = s;
    present[i] = true;
  }
  CatalogArgs *Get() {
    for (int i = 0; i < 4; ++i) a.names[i] = present[i] ? text[i].data() : nullptr;
    return &a;
  }
};

// Rows of a table-list result that name exactly this owner (unless any) and table.
int ExactTableRows(const Dataset *ds, const std::string &owner, const std::string &table, int32_t *first,
                   int32_t *count) {
  *first = -1;
  *count = 0;
  std::string o, t;
  for (int32_t r = 0; r < ds->rows; ++r) {
    if (int code = CatalogText(ds, r, 1, &o)) return code;
    if (int code = CatalogText(ds, r, 2, &t)) return code;
    if (t != table || (owner != "%" && o != owner)) continue;
    if (*first < 0) *first = r;
    ++*count;
  }
  return 0;
}

}  // namespace

int scs_p_AuxCursor(ScsCursor *cur) {
  if (cur->aux1) return 0;
  DrvHandle h = 0;
  if (DrvCall<&DrvOps::DRV_AllocCursor>(cur->drv, cur->lowerConn, &h) != 0 || !h) return E_S1000;
  cur->aux1 = h;
  return 0;
}

// ---- The cursor state's DBMS facts ------------------------------------------------------

void scs_p_CursorFacts(ScsCursor *cur) {
  if (!cur || cur->factsAsked) return;
  cur->factsAsked = 1;
  cur->lowerParamArrays = AgentItem(cur, kItemParamArrays, 0) != 0;
  cur->needbind = AgentItem(cur, kItemNeedbind, 0) != 0;
  cur->rowLocks = AgentItem(cur, kItemRowLocks, 0) != 0;
  cur->rowVersions = AgentItem(cur, kItemRowVersions, 0) != 0;
  cur->maxParams = AgentItem(cur, kItemMaxParams, cur->maxParams);
  cur->wide = AgentItem(cur, kItemWide, cur->wide);
  char quote[2] = "";
  int16_t len = 0;
  if (scs_GetODBCInfo(cur->drv, cur->lowerConn, SQL_IDENTIFIER_QUOTE_CHAR, quote, sizeof quote, &len) == 0)
    cur->identQuote = quote[0] == ' ' ? '\0' : quote[0];
  cur->identCase = OdbcInt(cur, SQL_IDENTIFIER_CASE, cur->identCase);
  cur->quotedIdentCase = OdbcInt(cur, SQL_QUOTED_IDENTIFIER_CASE, cur->quotedIdentCase);
  free(cur->userName);
  cur->userName = OdbcText(cur, SQL_USER_NAME);
  free(cur->dbmsName);
  cur->dbmsName = OdbcText(cur, SQL_DBMS_NAME);
  cur->maxOrderByColumns = static_cast<uint16_t>(OdbcInt(cur, SQL_MAX_COLUMNS_IN_ORDER_BY, 0));
}

ScsColDesc *scs_p_ColDescFind(const VArray *arr, const ScsColDesc *key, uint32_t *index) {
  for (uint32_t i = 0; arr && key && i < arr->count; ++i) {
    auto *c = static_cast<ScsColDesc *>(VArray_At(arr, i));
    if (strcmp(c->name, key->name) != 0) continue;
    if (key->table[0] && strcmp(c->table, key->table) != 0 && strcmp(c->alias, key->table) != 0) continue;
    if (key->owner[0] && strcmp(c->owner, key->owner) != 0) continue;
    if (index) *index = i;
    return c;
  }
  return nullptr;
}

// ---- Identifier rules --------------------------------------------------------------------

int scs_p_IdentNormalize(char *name, char quote, uint32_t quotedCase, uint32_t identCase, int wide, int requote) {
  if (!name || !name[0]) return 0;
  std::string s = name;
  const bool wasQuoted = Quoted(s, quote);
  s = wasQuoted ? Fold(Strip(s, quote), quotedCase, wide) : Fold(s, identCase, wide);
  // Where an unquoted name would be read in another case than the one it
  // was folded to, quoting it would change its meaning.
  const bool caseClash = (identCase == 3 && quotedCase != 3) || (identCase == 2 && quotedCase == 1) ||
                         (identCase == 1 && quotedCase == 2);
  if (quote && requote && (wasQuoted || !caseClash)) s = Enclose(s, quote);
  return Put(name, s) ? 0 : E_S1000;
}

int scs_p_IdentEqual(const char *a, const char *b, char quote, uint32_t quotedCase, uint32_t identCase, int wide) {
  if (!a || !b || !a[0] || !b[0]) return 0;
  auto form = [&](const char *n) {
    std::string s = n;
    const bool q = Quoted(s, quote);
    uint32_t rule = q ? quotedCase : identCase;
    if (rule == 4) rule = 1;
    return Fold(Strip(s, quote), rule, wide);
  };
  return form(a) == form(b) ? 1 : 0;
}

int scs_p_QuoteAllowed(const char *name, const char *dbmsName) {
  if (!name || !dbmsName) return 1;
  if (!strcasestr(dbmsName, "oracle")) return 1;
  // Only the pseudo columns themselves: a column GROWIDTH is quoted as any other.
  std::string n = name;
  if (n.size() >= 2 && n.front() == '"' && n.back() == '"') return 1;  // quoted: a real column of that name
  return strcasecmp(n.c_str(), "ROWID") == 0 || strcasecmp(n.c_str(), "ROWNUM") == 0 ? 0 : 1;
}

char *scs_p_ColNameQualify(uint32_t tableCount, const ScsColDesc *c) {
  std::string s;
  if (tableCount > 1) {
    if (c->alias[0])
      s = std::string(c->alias) + ".";
    else if (c->owner[0])
      s = std::string(c->owner) + "." + c->table + ".";
    else if (c->table[0])
      s = std::string(c->table) + ".";
  }
  s += c->name;
  return strdup(s.c_str());
}

// ---- Tables and their columns ------------------------------------------------------------

int scs_p_GetTblDescs(ScsCursor *cur, VArray *tables) {
  if (!cur || !tables) return E_S1000;
  scs_p_CursorFacts(cur);
  if (int code = EnsureAux(cur)) return code;
  const Rules r = RulesOf(cur);
  for (uint32_t i = 0; i < tables->count; ++i) {
    auto *t = static_cast<TableRef *>(VArray_At(tables, i));
    const std::string table = LookupName(t->table, r);
    Dataset ds{};
    int32_t row = -1;
    for (int attempt = 0;; ++attempt) {
      std::string owner = LookupName(t->owner, r);
      if (owner.empty()) owner = attempt == 0 || !cur->userName ? "%" : cur->userName;
      Args args;
      if (t->qualifier[0]) args.Set(0, LookupName(t->qualifier, r));
      args.Set(1, owner);
      args.Set(2, table);
      args.Set(3, "");
      if (int code = DrvCall<&DrvOps::DRV_DDTables>(cur->drv, cur->aux1, args.Get())) {
        LOG(LOG_ERR, "scs_p_GetTblAttribs: DRV_DDTables failed (%s).", t->table);
        return code;
      }
      if (int code = FetchAll(cur->drv, cur->aux1, &ds)) {
        LOG(LOG_ERR, "scs_p_GetTblDescs: Couldn't fetch table descriptors.");
        DatasetFree(&ds);
        return code;
      }
      int32_t count = 0;
      if (int code = ExactTableRows(&ds, owner, table, &row, &count)) {
        DatasetFree(&ds);
        return code;
      }
      if (count == 0) {
        DatasetFree(&ds);
        // On the retry the name was known to be ambiguous: the user owns
        // none of the candidates.
        if (attempt > 0) return E_IM918;
        LOG(LOG_ERR, "scs_p_GetTblDescs: Table %s does not exist.", t->table);
        return E_42S02;
      }
      if (count == 1) break;
      LOG(LOG_ERR, "scs_p_GetTblDescs: Duplicate table name (%s).\n\tRequire owner qualifier to resolve.", t->table);
      if (attempt > 0 || t->owner[0] || !cur->userName) {
        DatasetFree(&ds);
        return E_IM918;
      }
      LOG(LOG_ERR, "Trying current username (%s) as owner qualifier.", cur->userName);
      DatasetFree(&ds);
    }
    std::string cat, schema, name;
    int code = CatalogText(&ds, row, 0, &cat);
    if (code == 0) code = CatalogText(&ds, row, 1, &schema);
    if (code == 0) code = CatalogText(&ds, row, 2, &name);
    DatasetFree(&ds);
    if (code) return code;
    if ((!cat.empty() && !Replace(&t->qualifier, Enclose(cat, r.quote))) ||
        (!schema.empty() && !Replace(&t->owner, Enclose(schema, r.quote))) || !Replace(&t->table, Enclose(name, r.quote)))
      return E_S1001;
  }
  return 0;
}

int scs_p_GetTblColDescs(ScsCursor *cur, const TableRef *tables, uint32_t count, int skipLong, VArray *out) {
  if (!cur || !out || (count && !tables)) return E_S1000;
  scs_p_CursorFacts(cur);
  if (int code = EnsureAux(cur)) return code;
  const Rules r = RulesOf(cur);
  for (uint32_t i = 0; i < count; ++i) {
    const TableRef &t = tables[i];
    const std::string owner = Strip(t.owner, r.quote), table = Strip(t.table, r.quote);
    Args args;
    if (t.qualifier[0]) args.Set(0, Strip(t.qualifier, r.quote));
    args.Set(1, owner.empty() ? "%" : owner);
    args.Set(2, table.empty() ? "%" : table);
    args.Set(3, "%");
    if (int code = DrvCall<&DrvOps::DRV_DDColumns>(cur->drv, cur->aux1, args.Get())) {
      LOG(LOG_ERR, "scs_p_GetTblColDescs: DRV_DDColumns failed.");
      return code;
    }
    Dataset ds{};
    if (int code = FetchAll(cur->drv, cur->aux1, &ds)) {
      LOG(LOG_ERR, "scs_p_GetTblColDescs: Couldn't fetch column descriptors.");
      DatasetFree(&ds);
      return code;
    }
    ScsColDesc c{};
    int code = 0;
    uint32_t taken = 0;
    std::string o, tn, name;
    for (int32_t row = 0; code == 0 && row < ds.rows; ++row) {
      if ((code = CatalogText(&ds, row, 1, &o)) || (code = CatalogText(&ds, row, 2, &tn)) ||
          (code = CatalogText(&ds, row, 3, &name)))
        break;
      // The arguments are patterns: only this table's own rows count.
      if (tn != table || (!owner.empty() && o != owner)) continue;
      int32_t type = 0, size = 0, digits = 0;
      CatalogInt(&ds, row, 4, &type);
      CatalogInt(&ds, row, 6, &size);
      CatalogInt(&ds, row, 8, &digits);
      if (skipLong && (type == SQL_WLONGVARCHAR || type == SQL_LONGVARBINARY || type == SQL_LONGVARCHAR)) continue;
      c = ScsColDesc{};
      if (!Put(c.name, Enclose(name, r.quote)) || !Put(c.table, t.table) || !Put(c.alias, t.alias) ||
          !Put(c.owner, t.owner) || !Put(c.qualifier, t.qualifier)) {
        code = E_S1000;
        break;
      }
      c.sqlType = static_cast<int16_t>(type);
      c.columnSize = size;
      c.decimalDigits = static_cast<int16_t>(type == SQL_NUMERIC || type == SQL_DECIMAL ? digits : 0);
      c.kind = 4;
      if (!VArray_Append(out, &c)) code = E_S1001;
      ++taken;
    }
    DatasetFree(&ds);
    if (code) return code;
    if (taken == 0 && !skipLong) return E_S1000;  // a table without columns is no table
  }
  return 0;
}

int scs_p_SelectColsGet(ScsCursor *cur, VArray *out, VArray **rawOut) {
  if (!cur || !out) return E_S1000;
  if (rawOut) *rawOut = nullptr;
  VArray *raw = VArray_New(sizeof(ScsColDesc));
  if (!raw) return E_S1001;
  int code = SCR_SelectColsGet(&cur->stmt, raw);
  const Rules r = RulesOf(cur);
  const uint32_t ntables = cur->tables ? cur->tables->count : 0;
  for (uint32_t i = 0; code == 0 && i < raw->count; ++i) {
    auto *item = static_cast<ScsColDesc *>(VArray_At(raw, i));
    switch (item->kind) {
      case 1:
        code = scs_p_GetTblColDescs(cur, ntables ? static_cast<TableRef *>(VArray_At(cur->tables, 0)) : nullptr,
                                    ntables, 0, out);
        if (code) LOG(LOG_DEBUG, "scs_p_SelectColsGet failed");
        break;
      case 2: {
        const TableRef *match = nullptr;
        for (uint32_t t = 0; t < ntables && !match; ++t) {
          auto *ref = static_cast<TableRef *>(VArray_At(cur->tables, t));
          if (ref->alias[0] && scs_p_IdentEqual(ref->alias, item->table, r.quote, r.quotedCase, r.identCase, r.wide)) {
            Put(item->alias, ref->alias);
            Put(item->table, ref->table);
            match = ref;
          } else if (scs_p_IdentEqual(ref->table, item->table, r.quote, r.quotedCase, r.identCase, r.wide)) {
            match = ref;
          }
        }
        if (!match) {
          LOG(LOG_DEBUG, "scs_p_SelectColsGet: Unable to find descriptor for table/alias %s", item->table);
          code = E_S1000;
          break;
        }
        code = scs_p_GetTblColDescs(cur, match, 1, 0, out);
        if (code) LOG(LOG_DEBUG, "scs_p_SelectColsGet failed");
        break;
      }
      case 3:
      case 4:
        if (!VArray_Append(out, item)) code = E_S1001;
        break;
      default:
        code = E_S1000;
    }
  }
  if (code == 0 && rawOut)
    *rawOut = raw;
  else
    VArray_Free(&raw, nullptr);
  return code;
}

// ---- Parameter descriptions of generated statements ----------------------------------------

void scs_p_ParamInfoFromColDesc(const ScsColDesc *c, ParamInfo *p) {
  p->sqlType = c->sqlType;
  p->columnSize = static_cast<uint32_t>(c->columnSize);
  p->decimalDigits = c->decimalDigits;
  p->paramType = 1;
  switch (c->sqlType) {
    case 4: case 5: case 7: case 9: case 10: case 11: case 91: case 92: case 93: case -7: case -6:
      p->cType = c->sqlType;
      break;
    case 6: case 8:
      p->cType = 8;
      break;
    case -10: case -9: case -8:
      p->cType = -8;
      break;
    case -4: case -3: case -2:
      p->cType = -2;
      break;
    default:
      p->cType = 1;
  }
}

int scs_p_ParamInfoAppend(ScsCursor *cur, const ScsColDesc *cols, uint32_t n, int addUser) {
  const uint32_t user = addUser ? cur->userParamDescCount : 0;
  const uint32_t total = cur->paramDescCount + n + user;
  if (total > 0xFFFF) return E_S1000;
  auto *p = static_cast<ParamInfo *>(malloc(sizeof(ParamInfo) * (total ? total : 1)));
  if (!p) return E_S1001;
  if (cur->paramDescCount) memcpy(p, cur->paramDescs, sizeof(ParamInfo) * cur->paramDescCount);
  for (uint32_t i = 0; i < n; ++i) scs_p_ParamInfoFromColDesc(&cols[i], &p[cur->paramDescCount + i]);
  if (user) memcpy(p + cur->paramDescCount + n, cur->userParamDescs, sizeof(ParamInfo) * user);
  free(cur->paramDescs);
  cur->paramDescs = p;
  cur->paramDescCount = static_cast<uint16_t>(total);
  return 0;
}

// ---- ORDER BY -------------------------------------------------------------------------------

int scs_p_OrderColsByNumber(ScsCursor *cur) {
  VArray *sel = VArray_New(sizeof(ScsColDesc));
  if (!sel) return E_S1001;
  int code = scs_p_SelectColsGet(cur, sel, nullptr);
  const uint32_t ntables = cur->tables ? cur->tables->count : 0;
  for (uint32_t i = 0; code == 0 && cur->orderCols && i < cur->orderCols->count; ++i) {
    auto *o = static_cast<ScsOrderCol *>(VArray_At(cur->orderCols, i));
    if (!o->colNumber) continue;
    if (o->colNumber > sel->count) {
      code = E_37000;
      break;
    }
    auto *c = static_cast<ScsColDesc *>(VArray_At(sel, o->colNumber - 1u));
    if (c->kind == 3) {
      code = E_IM919;
      break;
    }
    char *q = scs_p_ColNameQualify(ntables, c);
    if (!q) {
      code = E_S1001;
      break;
    }
    const bool fits = strlen(q) < sizeof o->text;
    if (fits) {
      strcpy(o->text, q);
      memcpy(o->name, c->name, SCS_NAME_SIZE);
      memcpy(o->table, c->table, SCS_NAME_SIZE);
      memcpy(o->alias, c->alias, SCS_NAME_SIZE);
      memcpy(o->owner, c->owner, SCS_NAME_SIZE);
      memcpy(o->qualifier, c->qualifier, SCS_NAME_SIZE);
      o->sqlType = c->sqlType;
      o->columnSize = c->columnSize;
      o->decimalDigits = c->decimalDigits;
    }
    free(q);
    if (!fits) code = E_S1000;
  }
  VArray_Free(&sel, nullptr);
  return code;
}

void scs_p_OrderColsNormalize(ScsCursor *cur) {
  const Rules r = RulesOf(cur);
  for (uint32_t i = 0; cur->orderCols && i < cur->orderCols->count; ++i) {
    auto *o = static_cast<ScsOrderCol *>(VArray_At(cur->orderCols, i));
    scs_p_IdentNormalize(o->name, r.quote, r.quotedCase, r.identCase, r.wide, scs_p_QuoteAllowed(o->name, cur->dbmsName));
    if (!o->table[0]) continue;
    const TableRef *byAlias = nullptr;
    for (uint32_t t = 0; cur->tables && t < cur->tables->count && !byAlias; ++t) {
      auto *ref = static_cast<TableRef *>(VArray_At(cur->tables, t));
      if (ref->alias[0] && strcmp(ref->alias, o->table) == 0) byAlias = ref;
    }
    if (byAlias) {
      Put(o->alias, o->table);
      Put(o->table, byAlias->table);
      Put(o->owner, byAlias->owner);
    } else {
      scs_p_IdentNormalize(o->table, r.quote, r.quotedCase, r.identCase, r.wide, 1);
      scs_p_IdentNormalize(o->owner, r.quote, r.quotedCase, r.identCase, r.wide, 1);
    }
  }
}

int scs_p_OrderColsGet(ScsCursor *cur) {
  VArray_Free(&cur->orderCols, nullptr);
  cur->orderCols = VArray_New(sizeof(ScsOrderCol));
  if (!cur->orderCols) return E_S1001;
  if (int code = SCR_OrderColsGet(&cur->stmt, cur->orderCols)) return code;
  cur->selectFlags |= cur->stmt.flags;
  if (cur->selectFlags & SCR_ORDERBYNUM)
    if (int code = scs_p_OrderColsByNumber(cur)) return code;
  scs_p_OrderColsNormalize(cur);
  return 0;
}

void scs_p_KeyOrderMark(ScsCursor *cur) {
  if (!cur->keyset || !cur->keyset->keyCols) return;
  VArray *keys = cur->keyset->keyCols;
  for (uint32_t k = 0; k < keys->count; ++k) static_cast<ScsColDesc *>(VArray_At(keys, k))->orderByPos = 0;
  for (uint32_t i = 0; cur->orderCols && i < cur->orderCols->count; ++i) {
    auto *o = static_cast<ScsOrderCol *>(VArray_At(cur->orderCols, i));
    for (uint32_t k = 0; k < keys->count; ++k) {
      auto *key = static_cast<ScsColDesc *>(VArray_At(keys, k));
      if (strcmp(key->name, o->name) != 0) continue;
      if (o->table[0] && (strcmp(o->table, key->table) != 0 || (o->owner[0] && strcmp(o->owner, key->owner) != 0)))
        continue;
      key->orderByPos = static_cast<uint8_t>(i + 1);
      break;
    }
  }
}

int scs_p_MatchOrderKeys(ScsCursor *cur) {
  if (cur->selectFlags & SCR_GROUPBY) return E_IM913;
  if (cur->selectFlags & SCR_UNION) return E_IM914;
  const uint32_t n = cur->keyset && cur->keyset->keyCols ? cur->keyset->keyCols->count : 0;
  if (!(cur->selectFlags & SCR_ORDERBY) || !cur->orderCols) {
    cur->orderingColumns = static_cast<uint16_t>(n);
    return 0;
  }
  uint32_t matched = 0, unmatched = 0, lastMatched = 0;
  for (uint32_t i = 0; i < cur->orderCols->count && matched < n; ++i) {
    auto *o = static_cast<ScsOrderCol *>(VArray_At(cur->orderCols, i));
    o->matchedKey = 0;
    for (uint32_t k = 0; k < n && !o->matchedKey; ++k) {
      auto *key = static_cast<ScsColDesc *>(VArray_At(cur->keyset->keyCols, k));
      if (strcmp(o->name, key->name) != 0) continue;
      if (o->table[0] && strcmp(o->table, key->table) != 0 && strcmp(o->alias, key->alias) != 0) continue;
      if (o->owner[0] && strcmp(o->owner, key->owner) != 0) continue;
      o->matchedKey = 1;
      o->sqlType = key->sqlType;
      o->columnSize = key->columnSize;
      o->decimalDigits = key->decimalDigits;
    }
    if (o->matchedKey) {
      ++matched;
      lastMatched = i + 1;
      continue;
    }
    ++unmatched;
    if (o->sqlType == 0) {
      ScsColDesc keyDesc{};
      memcpy(keyDesc.name, o->name, SCS_NAME_SIZE);
      memcpy(keyDesc.table, o->table, SCS_NAME_SIZE);
      memcpy(keyDesc.owner, o->owner, SCS_NAME_SIZE);
      const ScsColDesc *c = scs_p_ColDescFind(cur->tableCols, &keyDesc, nullptr);
      if (!c) return E_S1000;
      o->sqlType = c->sqlType;
      o->columnSize = c->columnSize;
      o->decimalDigits = c->decimalDigits;
    }
  }
  cur->orderingColumns = static_cast<uint16_t>(matched == n ? lastMatched : n + unmatched);
  return 0;
}

// ---- The select list ------------------------------------------------------------------------

int scs_p_SelectCol_ColDescComplete(ScsCursor *cur) {
  const Rules r = RulesOf(cur);
  const uint32_t ntables = cur->tables ? cur->tables->count : 0;
  for (uint32_t i = 0; cur->selectCols && i < cur->selectCols->count; ++i) {
    auto *s = static_cast<ScsColDesc *>(VArray_At(cur->selectCols, i));
    if (s->kind != 4) continue;
    scs_p_IdentNormalize(s->name, r.quote, r.quotedCase, r.identCase, r.wide, scs_p_QuoteAllowed(s->name, cur->dbmsName));
    scs_p_IdentNormalize(s->table, r.quote, r.quotedCase, r.identCase, r.wide, 1);
    scs_p_IdentNormalize(s->owner, r.quote, r.quotedCase, r.identCase, r.wide, 1);
    for (uint32_t k = 0; cur->tableCols && k < cur->tableCols->count; ++k) {
      auto *t = static_cast<const ScsColDesc *>(VArray_At(cur->tableCols, k));
      if (!scs_p_IdentEqual(t->name, s->name, r.quote, r.quotedCase, r.identCase, r.wide)) continue;
      // The table as written may be the table's own name or its alias.
      const bool tableMatches =
          ntables < 2 || !s->table[0] || scs_p_IdentEqual(t->table, s->table, r.quote, r.quotedCase, r.identCase, r.wide) ||
          (t->alias[0] && scs_p_IdentEqual(t->alias, s->table, r.quote, r.quotedCase, r.identCase, r.wide));
      if (!tableMatches) continue;
      if (s->owner[0] && !scs_p_IdentEqual(t->owner, s->owner, r.quote, r.quotedCase, r.identCase, r.wide)) continue;
      memcpy(s->name, t->name, SCS_NAME_SIZE);
      memcpy(s->table, t->table, SCS_NAME_SIZE);
      memcpy(s->alias, t->alias, SCS_NAME_SIZE);
      memcpy(s->owner, t->owner, SCS_NAME_SIZE);
      memcpy(s->qualifier, t->qualifier, SCS_NAME_SIZE);
      break;
    }
  }
  return 0;
}

int scs_p_IsKeyColumn(const ScsCursor *cur, const ScsColDesc *c) {
  if (!cur->keyset || !cur->keyset->keyCols) return 0;
  for (uint32_t k = 0; k < cur->keyset->keyCols->count; ++k) {
    auto *key = static_cast<const ScsColDesc *>(VArray_At(cur->keyset->keyCols, k));
    if (strcmp(key->name, c->name) == 0 && strcmp(key->table, c->table) == 0 && strcmp(key->owner, c->owner) == 0 &&
        strcmp(key->qualifier, c->qualifier) == 0)
      return 1;
  }
  return 0;
}

int scs_p_IsExpression(const ScsColDesc *c) { return c && c->kind == 3 ? 1 : 0; }

int scs_p_SelListAddKeysnXpandWC(ScsCursor *cur, const VArray *raw, int *changed) {
  if (changed) *changed = 0;
  bool wildcard = false;
  for (uint32_t i = 0; raw && i < raw->count; ++i) {
    const int kind = static_cast<const ScsColDesc *>(VArray_At(raw, i))->kind;
    if (kind == 1 || kind == 2) wildcard = true;
  }
  VArray *keys = cur->keyset ? cur->keyset->keyCols : nullptr;
  std::string missing;
  const uint32_t ntables = cur->tables ? cur->tables->count : 0;
  VArray *added = VArray_New(sizeof(ScsColDesc));
  if (!added) return E_S1001;
  if (cur->private1054 && !wildcard) {
    for (uint32_t k = 0; keys && k < keys->count; ++k) {
      auto *key = static_cast<const ScsColDesc *>(VArray_At(keys, k));
      bool found = false;
      for (uint32_t i = 0; cur->selectCols && i < cur->selectCols->count && !found; ++i) {
        auto *s = static_cast<const ScsColDesc *>(VArray_At(cur->selectCols, i));
        found = strcmp(s->name, key->name) == 0 && strcmp(s->table, key->table) == 0 &&
                strcmp(s->owner, key->owner) == 0 && strcmp(s->qualifier, key->qualifier) == 0;
      }
      if (!found && !VArray_Append(added, key)) {
        VArray_Free(&added, nullptr);
        return E_S1001;
      }
    }
  }
  if (!wildcard && added->count == 0) {
    VArray_Free(&added, nullptr);
    return 0;
  }
  std::string list;
  auto add = [&](const ScsColDesc *c) -> bool {
    if (!list.empty()) list += ", ";
    if (c->kind == 3) {
      list += c->name;
      return true;
    }
    char *q = scs_p_ColNameQualify(ntables, c);
    if (!q) return false;
    list += q;
    free(q);
    return true;
  };
  int code = 0;
  for (uint32_t i = 0; cur->selectCols && i < cur->selectCols->count && code == 0; ++i)
    if (!add(static_cast<const ScsColDesc *>(VArray_At(cur->selectCols, i)))) code = E_S1001;
  for (uint32_t k = 0; k < added->count && code == 0; ++k) {
    auto *key = static_cast<ScsColDesc *>(VArray_At(added, k));
    if (!add(key) || !VArray_Append(cur->selectCols, key)) code = E_S1001;
  }
  VArray_Free(&added, nullptr);
  if (code) return code;
  if ((code = SCR_SelectListMark(&cur->stmt))) return code;
  // The regenerated text holds the marker where the select list was.
  const std::string text(PT_Text(cur->stmt.root));
  const size_t mark = text.find(PT_MARKER);
  if (mark == std::string::npos) return E_S1000;
  const std::string out = text.substr(0, mark) + list + text.substr(mark + strlen(PT_MARKER));
  char *copy = strdup(out.c_str());
  if (!copy) return E_S1001;
  free(cur->stmt.text2);
  cur->stmt.text2 = copy;
  if (changed) *changed = 1;
  return 0;
}

// ---- Base-column answers ---------------------------------------------------------------------

int scs_GetBaseColAttribs(ScsCursor *cur, uint32_t column, ColDesc *desc, uint32_t mask, uint32_t stride,
                          uint32_t count, ColAttr *rows) {
  // The agent hands its own record of the cursor: the layer's is found by
  // the cursor's handle.
  if (ScsCursor *layer = cur ? scs_p_LayerCursor(cur->lowerStmt) : nullptr) cur = layer;
  if (!cur || !(cur->flags & SCSF_COLUMN_INFO) || !cur->selectCols || column == 0 || column > cur->selectCols->count)
    return 0;
  const auto *c = static_cast<const ScsColDesc *>(VArray_At(cur->selectCols, column - 1));
  const char q = cur->identQuote;
  // What the application reads is the name itself, never its quoted form;
  // an expression has no base column.
  if (desc && c->kind == 4) {
    if (mask & 1) Replace(&desc->fullName, Strip(c->name, q));
    if (mask & 2) Replace(&desc->table, Strip(c->table, q));
    if (mask & 4) Replace(&desc->schema, Strip(c->owner, q));
    if (mask & 8) Replace(&desc->catalog, Strip(c->qualifier, q));
  }
  for (uint32_t i = 0; rows && i < count; ++i) {
    ColAttr &e = rows[column + i * stride];
    if (e.attribute == -1053) {
      e.value.integer = scs_p_IsKeyColumn(cur, c);
      e.attribute = 1053;
    } else if (e.attribute == -1055) {
      e.value.integer = scs_p_IsExpression(c);
      e.attribute = 1055;
    }
  }
  return 0;
}
