// Oracle's data dictionary views (ALL_OBJECTS, ALL_TAB_COLUMNS, ALL_CONSTRAINTS
// and the others that catalog queries read) as read-only SQLite virtual
// tables. Each scan reads the schemas the session can see (its own and the
// attached ones) from SQLite's own catalog, so the views always show the
// current objects. Columns are declared with Oracle's types so that a query
// over them describes like one on a server.
//
// The stand-in's own machinery stays hidden: SQLite's internal tables, the
// sequence table ORA$SEQ and the triggers and CHECKs that enforce Oracle's
// value rules. Constraint names come from the CREATE TABLE text; unnamed
// constraints get a stable system name SYS_C<number>, and the index that
// enforces a key answers to the constraint's name.
#include <sqlite3.h>

#include <algorithm>
#include <cctype>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <functional>
#include <map>
#include <string>
#include <vector>

#include "dialect.h"
#include "dialect_int.h"

namespace {

// ---- Values and rows --------------------------------------------------------------

struct Cell {
  enum Kind { NUL, INT, TEXT } kind = NUL;
  int64_t i = 0;
  std::string s;
};
using Row = std::vector<Cell>;

Cell null() { return Cell{}; }
Cell num(int64_t v) { return Cell{Cell::INT, v, {}}; }
Cell text(const std::string& v) { return Cell{Cell::TEXT, 0, v}; }

// A scan's equality filters on the leading owner and name columns.
struct Filter {
  const std::string* owner = nullptr;
  const std::string* name = nullptr;
  bool wants(const std::string& o, const std::string& n) const {
    return (!owner || *owner == o) && (!name || *name == n);
  }
};

// ---- What the schemas hold ---------------------------------------------------------

struct Column {
  std::string name;
  std::string decl;
  bool notnull;
  std::string dflt;
  bool hasDflt;
  int pk;
};

struct Constraint {
  std::string name;
  char type;                  // 'P', 'U', 'R'
  std::vector<std::string> columns;
  std::string rOwner, rTable; // referenced table ('R')
  std::string deleteRule;     // 'R': CASCADE, SET NULL or NO ACTION
  std::vector<std::string> rColumns;  // 'R' to another schema: as declared ("" the key)
};

struct IndexInfo {
  std::string name;
  bool unique;
  std::vector<std::string> columns;
};

std::string upper(std::string s) {
  for (char& c : s)
    if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
  return s;
}

bool hidden_name(const std::string& n) {
  return n.compare(0, 7, "sqlite_") == 0 || n.compare(0, 4, "ORA$") == 0;
}

// Runs a query and calls fn for each row.
void each_row(sqlite3* db, const std::string& sql, const std::function<void(sqlite3_stmt*)>& fn) {
  sqlite3_stmt* st = nullptr;
  if (sqlite3_prepare_v2(db, sql.c_str(), -1, &st, nullptr) != SQLITE_OK) {
    sqlite3_finalize(st);
    return;
  }
  while (sqlite3_step(st) == SQLITE_ROW) fn(st);
  sqlite3_finalize(st);
}

std::string col_text(sqlite3_stmt* st, int i) {
  const unsigned char* t = sqlite3_column_text(st, i);
  return t ? reinterpret_cast<const char*>(t) : "";
}

// s between two q characters, each q inside doubled.
std::string quoted(const std::string& s, char q) {
  std::string out(1, q);
  for (char c : s) {
    out += c;
    if (c == q) out += q;
  }
  return out + q;
}
std::string qid(const std::string& s) { return quoted(s, '"'); }
std::string qstr(const std::string& s) { return quoted(s, '\''); }

// Schemas the session has not attached (SQLite attaches ten at most) are
// read through connections of their own, opened for one scan of a view.
// A Reach spans the scan; on(db, schema) gives the connection that reaches
// the schema under its name.
struct Reach {
  std::map<std::string, sqlite3*> side;  // schema -> its own read-only connection
  std::map<std::string, std::string> names;  // kept alive: SQLite keeps the pointer
  Reach* outer;
  Reach();
  ~Reach() {
    for (auto& d : side) sqlite3_close_v2(d.second);
    current() = outer;
  }
  static Reach*& current() {
    thread_local Reach* r = nullptr;
    return r;
  }
};
Reach::Reach() : outer(current()) { current() = this; }

sqlite3* on(sqlite3* db, const std::string& schema) {
  Reach* r = Reach::current();
  if (!r || sqlite3_db_filename(db, schema.c_str()) != nullptr) return db;
  auto it = r->side.find(schema);
  if (it != r->side.end()) return it->second;
  std::string path = sqlite3_db_filename(db, "main");
  path = path.substr(0, path.find_last_of('/') + 1) + schema + ".db";
  sqlite3* side = nullptr;
  if (sqlite3_open_v2(path.c_str(), &side, SQLITE_OPEN_READONLY, nullptr) != SQLITE_OK) {
    sqlite3_close_v2(side);
    return db;  // its queries fail and read as empty
  }
  r->names[schema] = schema;
  sqlite3_db_config(side, SQLITE_DBCONFIG_MAINDBNAME, r->names[schema].c_str());
  r->side[schema] = side;
  return side;
}

// The session's schemas: its own (main, under the user's name), the attached
// ones and, when the attach limit left some out, the others of the database.
std::vector<std::string> schemas(sqlite3* db) {
  std::vector<std::string> out;
  each_row(db, "PRAGMA database_list", [&](sqlite3_stmt* st) {
    std::string n = col_text(st, 1);
    if (n != "temp") out.push_back(n);
  });
  if (static_cast<int>(out.size()) - 1 < sqlite3_limit(db, SQLITE_LIMIT_ATTACHED, -1) || !Reach::current()) return out;
  std::string dir = sqlite3_db_filename(db, "main");
  dir = dir.substr(0, dir.find_last_of('/') + 1);
  sqlite3* cat = nullptr;
  if (sqlite3_open_v2((dir + "ocilite_catalog.db").c_str(), &cat, SQLITE_OPEN_READONLY, nullptr) == SQLITE_OK) {
    each_row(cat, "SELECT NAME FROM OCILITE_USERS ORDER BY NAME", [&](sqlite3_stmt* st) {
      const std::string n = col_text(st, 0);
      if (std::find(out.begin(), out.end(), n) == out.end()) out.push_back(n);
    });
  }
  sqlite3_close_v2(cat);
  return out;
}

struct Object {
  std::string owner, name, type;  // TABLE, VIEW, INDEX, SEQUENCE
  std::string sql;
};

std::vector<Object> objects(sqlite3* db, const std::string& schema, bool withSequences,
                           const std::string* only = nullptr) {
  std::vector<Object> out;
  each_row(on(db, schema),
           "SELECT type, name, sql FROM " + qid(schema) + ".sqlite_master WHERE type IN ('table','view','index')" +
               (only ? " AND name = " + qstr(*only) : std::string()),
           [&](sqlite3_stmt* st) {
             std::string type = col_text(st, 0), name = col_text(st, 1);
             if (hidden_name(name)) return;
             out.push_back({schema, name, upper(type), col_text(st, 2)});
           });
  if (withSequences) {
    each_row(on(db, schema), "SELECT NAME FROM " + qid(schema) + ".\"ORA$SEQ\"",
             [&](sqlite3_stmt* st) { out.push_back({schema, col_text(st, 0), "SEQUENCE", ""}); });
  }
  return out;
}

std::vector<Column> columns(sqlite3* db, const std::string& schema, const std::string& table) {
  std::vector<Column> out;
  each_row(on(db, schema), "PRAGMA " + qid(schema) + ".table_info(" + qstr(table) + ")", [&](sqlite3_stmt* st) {
    out.push_back({col_text(st, 1), col_text(st, 2), sqlite3_column_int(st, 3) != 0, col_text(st, 4),
                   sqlite3_column_type(st, 4) != SQLITE_NULL, sqlite3_column_int(st, 5)});
  });
  return out;
}

// ---- The constraints in a CREATE TABLE text -----------------------------------------

struct SqlTok {
  std::string up;  // a word upper-cased, a quoted name as '"' + name, a string as "'"
  size_t b, e;     // its bytes in the text
  int depth;       // parentheses open before it
};

std::vector<SqlTok> sql_tokens(const std::string& sql) {
  std::vector<SqlTok> toks;
  int depth = 0;
  for (size_t i = 0; i < sql.size();) {
    const char c = sql[i];
    const size_t b = i;
    if (c == '"' || c == '\'') {
      std::string t;
      for (++i; i < sql.size(); ++i) {
        if (sql[i] == c) {
          if (i + 1 < sql.size() && sql[i + 1] == c) {
            t += c;
            ++i;
            continue;
          }
          ++i;
          break;
        }
        t += sql[i];
      }
      toks.push_back({c == '"' ? "\"" + t : "'", b, i, depth});
    } else if (std::isalnum(static_cast<unsigned char>(c)) || c == '_' || c == '$' || c == '#') {
      while (i < sql.size() && (std::isalnum(static_cast<unsigned char>(sql[i])) || sql[i] == '_' || sql[i] == '$' ||
                                sql[i] == '#'))
        ++i;
      toks.push_back({upper(sql.substr(b, i - b)), b, i, depth});
    } else {
      ++i;
      if (std::isspace(static_cast<unsigned char>(c))) continue;
      if (c == ')') --depth;
      toks.push_back({std::string(1, c), b, i, depth});
      if (c == '(') ++depth;
    }
  }
  return toks;
}

// One key or CHECK of the table's column and table constraints: its kind
// ('P', 'U', 'R', 'C'), name as written ("" unnamed) and text; whole when
// it is a table constraint of its own, cut then spanning its comma too.
struct KeySpan {
  char kind;
  std::string name;
  size_t b, e;
  size_t cut_b, cut_e;
};

std::vector<KeySpan> key_spans(const std::string& sql) {
  const std::vector<SqlTok> t = sql_tokens(sql);
  const auto is = [&](size_t i, const char* w) { return i < t.size() && t[i].up == w; };
  const auto skip_group = [&](size_t j) {
    if (!is(j, "(")) return j;
    const int d = t[j].depth;
    for (++j; j < t.size() && !(t[j].up == ")" && t[j].depth == d); ++j) {
    }
    return j + 1;
  };
  std::vector<KeySpan> out;
  size_t item = 0, foreign = 0;
  long pending = -1;
  bool haveForeign = false;
  for (size_t i = 0; i < t.size(); ++i) {
    if (t[i].depth != 1) continue;
    const std::string& w = t[i].up;
    if (i > 0 && ((t[i - 1].up == "(" && t[i - 1].depth == 0) || (t[i - 1].up == "," && t[i - 1].depth == 1))) {
      item = i;
      pending = -1;
      haveForeign = false;
    }
    if (w == "CONSTRAINT") {
      pending = static_cast<long>(i++);
      continue;
    }
    if (w == "FOREIGN") {
      foreign = i;
      haveForeign = true;
      continue;
    }
    if (w == "NOT") pending = -1;
    const char kind = w == "PRIMARY" ? 'P' : w == "UNIQUE" ? 'U' : w == "REFERENCES" ? 'R' : w == "CHECK" ? 'C' : 0;
    if (!kind) continue;
    size_t j = i + 1;
    if (kind == 'P') j = skip_group(j + 1);
    else if (kind == 'U' || kind == 'C') j = skip_group(j);
    else {
      j = is(j + 1, ".") ? j + 3 : j + 1;
      j = skip_group(j);
      while (is(j, "ON") || is(j, "MATCH")) {
        if (is(j, "MATCH")) j += 2;
        else if (is(j + 2, "SET") || is(j + 2, "NO")) j += 4;
        else j += 3;
      }
    }
    while (is(j, "ASC") || is(j, "DESC") || is(j, "AUTOINCREMENT")) ++j;
    if (is(j, "ON") && is(j + 1, "CONFLICT")) j += 3;
    j = std::min(j, t.size());
    const size_t start = pending >= 0 ? static_cast<size_t>(pending) : kind == 'R' && haveForeign ? foreign : i;
    KeySpan k{kind, "", t[start].b, t[j - 1].e, t[start].b, t[j - 1].e};
    if (pending >= 0 && static_cast<size_t>(pending) + 1 < t.size()) {
      k.name = t[static_cast<size_t>(pending) + 1].up;
      if (!k.name.empty() && k.name[0] == '"') k.name.erase(0, 1);
    }
    const bool ends = j >= t.size() || (is(j, ",") && t[j].depth == 1) || (is(j, ")") && t[j].depth == 0);
    if (start == item && ends && item > 0) {
      if (t[item - 1].up == ",") k.cut_b = t[item - 1].b;
      else if (is(j, ",")) k.cut_e = t[j].e;
    }
    out.push_back(k);
    pending = -1;
    haveForeign = false;
    i = j - 1;
  }
  return out;
}

// Constraint names as written in the CREATE TABLE text, in order, per kind
// ('P', 'U', 'R'): "" for an unnamed one, so that named and unnamed keys of
// one kind keep their places.
std::map<char, std::vector<std::string>> named_constraints(const std::string& sql) {
  std::map<char, std::vector<std::string>> out;
  for (const KeySpan& k : key_spans(sql))
    if (k.kind != 'C') out[k.kind].push_back(k.name);
  return out;
}

std::string join_list(const std::vector<std::string>& items) {
  std::string out;
  for (const std::string& i : items) out += (out.empty() ? "" : ",") + i;
  return out;
}

std::vector<std::string> split(const std::string& list) {
  std::vector<std::string> out;
  size_t b = 0;
  while (b <= list.size() && !list.empty()) {
    const size_t e = list.find(',', b);
    out.push_back(list.substr(b, e == std::string::npos ? std::string::npos : e - b));
    if (e == std::string::npos) break;
    b = e + 1;
  }
  return out;
}

// A stable system name for an unnamed constraint.
std::string system_name(const std::string& owner, const std::string& table, char kind, size_t n) {
  uint32_t h = 2166136261u;
  for (char c : owner + "." + table + "." + kind + std::to_string(n)) h = (h ^ static_cast<unsigned char>(c)) * 16777619u;
  char buf[24];
  std::snprintf(buf, sizeof buf, "SYS_C%07u", h % 10000000u);
  return buf;
}

struct TableKeys {
  std::vector<Constraint> constraints;
  std::vector<IndexInfo> indexes;
};

TableKeys table_keys(sqlite3* db, const std::string& schema, const std::string& table, const std::string& sql) {
  TableKeys k;
  auto names = named_constraints(sql);
  size_t usedU = 0;
  const std::string s = qid(schema);
  struct RawIndex {
    std::string name, origin;
    bool unique;
  };
  std::vector<RawIndex> raw;
  each_row(on(db, schema), "PRAGMA " + s + ".index_list(" + qstr(table) + ")", [&](sqlite3_stmt* st) {
    raw.push_back({col_text(st, 1), col_text(st, 3), sqlite3_column_int(st, 2) != 0});
  });
  // index_list answers newest first; constraints follow the declaration order.
  for (auto it = raw.rbegin(); it != raw.rend(); ++it) {
    IndexInfo ix{it->name, it->unique, {}};
    each_row(on(db, schema), "PRAGMA " + s + ".index_info(" + qstr(it->name) + ")",
             [&](sqlite3_stmt* st) { ix.columns.push_back(col_text(st, 2)); });
    if (it->origin == "pk" || it->origin == "u") {
      const char type = it->origin == "pk" ? 'P' : 'U';
      std::string cname;
      if (type == 'P' && !names['P'].empty()) cname = names['P'][0];
      else if (type == 'U' && usedU < names['U'].size()) cname = names['U'][usedU];
      if (type == 'U') ++usedU;
      if (cname.empty()) cname = system_name(schema, table, type, k.constraints.size());
      k.constraints.push_back({cname, type, ix.columns, {}, {}, {}});
      ix.name = cname;
    }
    k.indexes.push_back(ix);
  }
  // A rowid-alias primary key (INTEGER PRIMARY KEY) has no index of its own.
  bool havePk = false;
  for (const Constraint& c : k.constraints) havePk = havePk || c.type == 'P';
  if (!havePk) {
    std::vector<std::pair<int, std::string>> pk;
    for (const Column& c : columns(db, schema, table))
      if (c.pk) pk.emplace_back(c.pk, c.name);
    if (!pk.empty()) {
      std::sort(pk.begin(), pk.end());
      Constraint c{names['P'].empty() || names['P'][0].empty() ? system_name(schema, table, 'P', 0) : names['P'][0],
                   'P', {}, {}, {}, {}};
      for (auto& p : pk) c.columns.push_back(p.second);
      k.constraints.insert(k.constraints.begin(), c);
      k.indexes.insert(k.indexes.begin(), IndexInfo{c.name, true, c.columns});
    }
  }
  // Foreign keys: SQLite numbers them from the last declared.
  std::map<int, Constraint> fks;
  each_row(on(db, schema), "PRAGMA " + s + ".foreign_key_list(" + qstr(table) + ")", [&](sqlite3_stmt* st) {
    const int id = sqlite3_column_int(st, 0);
    Constraint& c = fks[id];
    c.type = 'R';
    c.rOwner = schema;
    c.rTable = col_text(st, 2);
    c.columns.push_back(col_text(st, 3));
    if (sqlite3_column_type(st, 4) != SQLITE_NULL) c.rColumns.push_back(col_text(st, 4));
    std::string rule = upper(col_text(st, 6));
    c.deleteRule = rule == "CASCADE" ? "CASCADE" : rule == "SET NULL" ? "SET NULL" : "NO ACTION";
  });
  const size_t nfk = fks.size();
  size_t ord = 0;
  for (auto it = fks.rbegin(); it != fks.rend(); ++it, ++ord) {
    Constraint c = it->second;
    c.name = ord < names['R'].size() && !names['R'][ord].empty() ? names['R'][ord] : system_name(schema, table, 'R', ord);
    k.constraints.push_back(c);
  }
  (void)nfk;
  // Keys to tables of another schema, which SQLite cannot declare.
  each_row(on(db, schema),
           "SELECT CONSTRAINT_NAME, COLUMNS, R_OWNER, R_TABLE, DELETE_RULE, R_COLUMNS FROM " + qid(schema) +
               ".\"ORA$FK\" WHERE TABLE_NAME = " + qstr(table) + " ORDER BY rowid",
           [&](sqlite3_stmt* st) {
             Constraint c{col_text(st, 0), 'R', split(col_text(st, 1)), col_text(st, 2), col_text(st, 3),
                          col_text(st, 4), split(col_text(st, 5))};
             if (c.name.empty()) c.name = system_name(schema, table, 'R', ord);
             ++ord;
             k.constraints.push_back(c);
           });
  return k;
}

// The name of the primary key of a table (for R_CONSTRAINT_NAME).
std::string primary_key_name(sqlite3* db, const std::string& schema, const std::string& table) {
  std::string sql;
  each_row(on(db, schema), "SELECT sql FROM " + qid(schema) + ".sqlite_master WHERE type='table' AND name=" + qstr(table),
           [&](sqlite3_stmt* st) { sql = col_text(st, 0); });
  for (const Constraint& c : table_keys(db, schema, table, sql).constraints)
    if (c.type == 'P') return c.name;
  return "";
}

// Comments recorded by COMMENT ON: (table, column) -> text ("" column: the table's).
std::map<std::pair<std::string, std::string>, std::string> comments(sqlite3* db, const std::string& schema) {
  std::map<std::pair<std::string, std::string>, std::string> out;
  each_row(on(db, schema), "SELECT TABLE_NAME, COLUMN_NAME, COMMENTS FROM " + qid(schema) + ".\"ORA$COMMENTS\"",
           [&](sqlite3_stmt* st) {
             if (sqlite3_column_type(st, 2) != SQLITE_NULL) out[{col_text(st, 0), col_text(st, 1)}] = col_text(st, 2);
           });
  return out;
}

Cell comment_cell(const std::map<std::pair<std::string, std::string>, std::string>& c, const std::string& table,
                  const std::string& column) {
  auto it = c.find({table, column});
  return it == c.end() ? null() : text(it->second);
}

// Statistics of ANALYZE TABLE: {rows, blocks}, or nothing before an analysis.
bool table_stats(sqlite3* db, const std::string& schema, const std::string& table, int64_t* rows, int64_t* blocks) {
  bool found = false;
  each_row(on(db, schema), "SELECT NUM_ROWS, BLOCKS FROM " + qid(schema) + ".\"ORA$STATS\" WHERE TABLE_NAME = " + qstr(table),
           [&](sqlite3_stmt* st) {
             *rows = sqlite3_column_int64(st, 0);
             *blocks = sqlite3_column_int64(st, 1);
             found = true;
           });
  return found;
}

// Synonyms recorded by CREATE SYNONYM in a schema's ORA$SYN: owner (PUBLIC for
// a public one), name, target owner and name.
struct Synonym {
  std::string owner, name, tableOwner, table;
};

std::vector<Synonym> synonyms(sqlite3* db, const std::string& schema) {
  std::vector<Synonym> out;
  each_row(on(db, schema), "SELECT OWNER, SYNONYM_NAME, TABLE_OWNER, TABLE_NAME FROM " + qid(schema) + ".\"ORA$SYN\"",
           [&](sqlite3_stmt* st) { out.push_back({col_text(st, 0), col_text(st, 1), col_text(st, 2), col_text(st, 3)}); });
  return out;
}

// ---- Oracle's column description from the stand-in's declared type ------------------

struct OraColumn {
  std::string dataType;
  int64_t length;
  Cell precision, scale;
};

OraColumn ora_column(const std::string& decl) {
  DlColType t;
  OraColumn o{"VARCHAR2", 4000, null(), null()};
  if (!dl_parse_decltype(decl.c_str(), &t)) return o;
  o.length = t.size;
  switch (t.type) {
    case DL_T_VARCHAR2: o.dataType = t.csform == 2 ? "NVARCHAR2" : "VARCHAR2"; break;
    case DL_T_CHAR: o.dataType = t.csform == 2 ? "NCHAR" : "CHAR"; break;
    case DL_T_NUMBER:
      o.length = 22;
      if (t.scale == -127 && t.precision == 0) {
        o.dataType = "NUMBER";
      } else if (t.scale == -127) {
        o.dataType = "FLOAT";
        o.precision = num(t.precision);
      } else {
        o.dataType = "NUMBER";
        o.precision = num(t.precision);
        o.scale = num(t.scale);
      }
      break;
    case DL_T_DATE: o.dataType = "DATE"; o.length = 7; break;
    case DL_T_TIMESTAMP:
      o.dataType = "TIMESTAMP(" + std::to_string(t.scale) + ")";
      o.length = 11;
      o.scale = num(t.scale);
      break;
    case DL_T_RAW: o.dataType = "RAW"; break;
    case DL_T_LONG: o.dataType = "LONG"; o.length = 0; break;
    case DL_T_LONG_RAW: o.dataType = "LONG RAW"; o.length = 0; break;
    case DL_T_CLOB: o.dataType = t.csform == 2 ? "NCLOB" : "CLOB"; o.length = 4000; break;
    case DL_T_BLOB: o.dataType = "BLOB"; o.length = 4000; break;
    case DL_T_BINARY_FLOAT: o.dataType = "BINARY_FLOAT"; o.length = 4; break;
    case DL_T_BINARY_DOUBLE: o.dataType = "BINARY_DOUBLE"; o.length = 8; break;
    default: break;
  }
  return o;
}

// ---- The views ----------------------------------------------------------------------

constexpr const char* N30 = "VARCHAR2(30)";

struct View {
  const char* name;
  std::vector<std::pair<const char*, const char*>> columns;  // name, declared type
  // Columns that filter a scan by equality (owner, object name), -1 none.
  int ownerCol, nameCol;
  void (*rows)(sqlite3* db, const Filter& f, std::vector<Row>* out);
};

// SYS's own objects: DUAL and the dictionary views.
void sys_objects(const Filter& f, std::vector<Row>* out, int64_t* id);

int64_t object_id(const std::string& owner, const std::string& name) {
  uint32_t h = 2166136261u;
  for (char c : owner + "." + name) h = (h ^ static_cast<unsigned char>(c)) * 16777619u;
  return static_cast<int64_t>(h % 1000000000u) + 1;
}

void rows_objects(sqlite3* db, const Filter& f, std::vector<Row>* out) {
  int64_t id = 0;
  sys_objects(f, out, &id);
  for (const std::string& s : schemas(db)) {
    if (f.owner && *f.owner == "PUBLIC") {
      for (const Synonym& y : synonyms(db, s))
        if (f.wants(y.owner, y.name))
          out->push_back({text(y.owner), text(y.name), text("SYNONYM"), num(object_id(y.owner, y.name)), text("VALID")});
      continue;
    }
    if (f.owner && *f.owner != s) continue;
    for (const Object& o : objects(db, s, true)) {
      if (!f.wants(o.owner, o.name)) continue;
      out->push_back({text(o.owner), text(o.name), text(o.type), num(object_id(o.owner, o.name)), text("VALID")});
    }
    // Stored procedures, functions and packages.
    each_row(on(db, s), "SELECT NAME, TYPE, STATUS FROM " + qid(s) + ".\"ORA$PLSQL\" ORDER BY NAME, TYPE", [&](sqlite3_stmt* st) {
      const std::string name = col_text(st, 0), type = col_text(st, 1);
      if (!f.wants(s, name)) return;
      const int64_t id = object_id(s, type == "PACKAGE BODY" ? name + " BODY" : name);
      out->push_back({text(s), text(name), text(type), num(id), text(col_text(st, 2))});
    });
    for (const Synonym& y : synonyms(db, s))
      if (f.wants(y.owner, y.name))
        out->push_back({text(y.owner), text(y.name), text("SYNONYM"), num(object_id(y.owner, y.name)), text("VALID")});
    // Key indexes answer to their constraint's name.
    for (const Object& o : objects(db, s, false)) {
      if (o.type != "TABLE") continue;
      for (const IndexInfo& ix : table_keys(db, s, o.name, o.sql).indexes) {
        if (ix.name.compare(0, 7, "sqlite_") == 0 || !f.wants(s, ix.name)) continue;
        bool listed = false;
        for (const Row& r : *out) listed = listed || (r[0].s == s && r[1].s == ix.name && r[2].s == "INDEX");
        if (!listed) out->push_back({text(s), text(ix.name), text("INDEX"), num(object_id(s, ix.name)), text("VALID")});
      }
    }
  }
}

// Every table and view of the visible schemas that the filter wants.
void each_table(sqlite3* db, const Filter& f, bool viewsToo,
                const std::function<void(const std::string&, const Object&)>& fn) {
  for (const std::string& s : schemas(db)) {
    if (f.owner && *f.owner != s) continue;
    for (const Object& o : objects(db, s, false, f.name)) {
      if (o.type == "INDEX" || (!viewsToo && o.type != "TABLE")) continue;
      if (f.name && *f.name != o.name) continue;
      fn(s, o);
    }
  }
}

// The tables of a schema that ANALYZE TABLE has seen.
std::vector<std::string> analysed_tables(sqlite3* db, const std::string& schema) {
  std::vector<std::string> out;
  each_row(on(db, schema), "SELECT TABLE_NAME FROM " + qid(schema) + ".\"ORA$STATS\"",
           [&](sqlite3_stmt* st) { out.push_back(col_text(st, 0)); });
  return out;
}

void rows_tab_columns(sqlite3* db, const Filter& f, std::vector<Row>* out) {
  std::map<std::string, std::vector<std::string>> analysed;  // per schema, read once
  each_table(db, f, true, [&](const std::string& s, const Object& o) {
    auto a = analysed.find(s);
    if (a == analysed.end()) a = analysed.emplace(s, analysed_tables(db, s)).first;
    const std::vector<Column> cols = columns(db, s, o.name);
    // An analysed table's NULL counts, as of now like its index statistics.
    std::vector<Cell> nulls(cols.size(), null());
    if (o.type == "TABLE" && !cols.empty() && std::find(a->second.begin(), a->second.end(), o.name) != a->second.end()) {
      std::string sql;
      for (const Column& c : cols) sql += (sql.empty() ? "SELECT " : ", ") + ("count(*) - count(" + qid(c.name) + ")");
      each_row(on(db, s), sql + " FROM " + qid(s) + "." + qid(o.name), [&](sqlite3_stmt* st) {
        for (size_t i = 0; i < cols.size(); ++i) nulls[i] = num(sqlite3_column_int64(st, static_cast<int>(i)));
      });
    }
    int id = 0;
    for (size_t i = 0; i < cols.size(); ++i) {
      const Column& c = cols[i];
      OraColumn oc = ora_column(c.decl);
      out->push_back({text(s), text(o.name), text(c.name), text(oc.dataType), num(oc.length), oc.precision, oc.scale,
                      text(c.notnull || c.pk ? "N" : "Y"), num(++id), c.hasDflt ? text(c.dflt) : null(), nulls[i]});
    }
  });
}

void rows_col_comments(sqlite3* db, const Filter& f, std::vector<Row>* out) {
  each_table(db, f, true, [&](const std::string& s, const Object& o) {
    const auto c = comments(db, s);
    for (const Column& col : columns(db, s, o.name))
      out->push_back({text(s), text(o.name), text(col.name), comment_cell(c, o.name, col.name)});
  });
}

void rows_tab_comments(sqlite3* db, const Filter& f, std::vector<Row>* out) {
  each_table(db, f, true, [&](const std::string& s, const Object& o) {
    out->push_back({text(s), text(o.name), text(o.type), comment_cell(comments(db, s), o.name, "")});
  });
}

void rows_tables(sqlite3* db, const Filter& f, std::vector<Row>* out) {
  each_table(db, f, false, [&](const std::string& s, const Object& o) {
    int64_t rows = 0, blocks = 0;
    if (table_stats(db, s, o.name, &rows, &blocks)) out->push_back({text(s), text(o.name), num(rows), num(blocks)});
    else out->push_back({text(s), text(o.name), null(), null()});
  });
}

void rows_constraints(sqlite3* db, const Filter& f, std::vector<Row>* out) {
  each_table(db, f, false, [&](const std::string& s, const Object& o) {
    for (const Constraint& c : table_keys(db, s, o.name, o.sql).constraints) {
      Row r{text(s), text(o.name), text(c.name), text(std::string(1, c.type)), null(), null(), null(), text("ENABLED")};
      if (c.type == 'R') {
        r[4] = text(c.rOwner);
        r[5] = text(primary_key_name(db, c.rOwner, c.rTable));
        r[6] = text(c.deleteRule);
      }
      out->push_back(r);
    }
  });
}

void rows_cons_columns(sqlite3* db, const Filter& f, std::vector<Row>* out) {
  each_table(db, f, false, [&](const std::string& s, const Object& o) {
    for (const Constraint& c : table_keys(db, s, o.name, o.sql).constraints) {
      int pos = 0;
      for (const std::string& col : c.columns) out->push_back({text(s), text(o.name), text(c.name), text(col), num(++pos)});
    }
  });
}

void rows_indexes(sqlite3* db, const Filter& f, std::vector<Row>* out) {
  each_table(db, f, false, [&](const std::string& s, const Object& o) {
    int64_t rows = 0, blocks = 0;
    const bool analysed = table_stats(db, s, o.name, &rows, &blocks);
    for (const IndexInfo& ix : table_keys(db, s, o.name, o.sql).indexes) {
      Cell distinct = null(), leaves = null();
      if (analysed) {
        // The distinct keys as of now: the stand-in keeps no index statistics.
        std::string cols;
        for (const std::string& c : ix.columns) cols += (cols.empty() ? "" : ", ") + qid(c);
        each_row(on(db, s), "SELECT count(*) FROM (SELECT DISTINCT " + cols + " FROM " + qid(s) + "." + qid(o.name) + ")",
                 [&](sqlite3_stmt* st) { distinct = num(sqlite3_column_int64(st, 0)); });
        leaves = num(blocks);
      }
      out->push_back({text(s), text(o.name), text(ix.name), text(ix.unique ? "UNIQUE" : "NONUNIQUE"), text("TABLE"),
                      distinct, leaves, text(s)});
    }
  });
}

void rows_ind_columns(sqlite3* db, const Filter& f, std::vector<Row>* out) {
  each_table(db, f, false, [&](const std::string& s, const Object& o) {
    for (const IndexInfo& ix : table_keys(db, s, o.name, o.sql).indexes) {
      int pos = 0;
      for (const std::string& col : ix.columns)
        out->push_back({text(s), text(ix.name), text(s), text(o.name), text(col), num(++pos)});
    }
  });
}

// Grants recorded by GRANT: those the session's user gave, received (or
// PUBLIC did) or owns the object of.
void each_grant(sqlite3* db, const Filter& f, bool columnsWanted,
                const std::function<void(const std::string& schema, sqlite3_stmt*)>& fn) {
  std::string user;
  each_row(db, "SELECT ORA_USER()", [&](sqlite3_stmt* st) { user = col_text(st, 0); });
  for (const std::string& s : schemas(db)) {
    if (f.owner && *f.owner != s) continue;
    std::string sql = "SELECT GRANTOR, GRANTEE, TABLE_NAME, COLUMN_NAME, PRIVILEGE, GRANTABLE FROM " + qid(s) +
                      ".\"ORA$GRANTS\" WHERE COLUMN_NAME " + (columnsWanted ? "<> ''" : "= ''");
    if (f.name) sql += " AND TABLE_NAME = " + qstr(*f.name);
    if (s != user) sql += " AND (GRANTOR = " + qstr(user) + " OR GRANTEE IN (" + qstr(user) + ", 'PUBLIC'))";
    each_row(on(db, s), sql + " ORDER BY 3, 2, 5, 4", [&](sqlite3_stmt* st) { fn(s, st); });
  }
}

void rows_tab_privs(sqlite3* db, const Filter& f, std::vector<Row>* out) {
  each_grant(db, f, false, [&](const std::string& s, sqlite3_stmt* st) {
    out->push_back({text(col_text(st, 0)), text(col_text(st, 1)), text(s), text(col_text(st, 2)), text(col_text(st, 4)),
                    text(col_text(st, 5))});
  });
}

void rows_col_privs_recd(sqlite3* db, const Filter& f, std::vector<Row>* out) {
  std::string user;
  each_row(db, "SELECT ORA_USER()", [&](sqlite3_stmt* st) { user = col_text(st, 0); });
  each_grant(db, f, true, [&](const std::string& s, sqlite3_stmt* st) {
    const std::string grantee = col_text(st, 1);
    if (grantee != user && grantee != "PUBLIC") return;  // received ones only
    out->push_back({text(s), text(col_text(st, 2)), text(col_text(st, 3)), text(col_text(st, 0)), text(grantee),
                    text(col_text(st, 4)), text(col_text(st, 5))});
  });
}

// The arguments of stored units: a packaged subprogram's rows carry the
// package's OBJECT_ID.
void rows_arguments(sqlite3* db, const Filter& f, std::vector<Row>* out) {
  for (const std::string& s : schemas(db)) {
    if (f.owner && *f.owner != s) continue;
    std::string sql = "SELECT UNIT, OBJECT_NAME, PACKAGE_NAME, ARGUMENT_NAME, POSITION, DATA_LEVEL, DATA_TYPE, IN_OUT, "
                      "DATA_LENGTH, DATA_PRECISION, DATA_SCALE, RADIX, OVERLOAD, SUBPROGRAM_ID, SEQUENCE, DEFAULTED FROM " +
                      qid(s) + ".\"ORA$ARGS\"";
    if (f.name) sql += " WHERE OBJECT_NAME = " + qstr(*f.name);
    each_row(on(db, s), sql + " ORDER BY UNIT, SUBPROGRAM_ID, SEQUENCE", [&](sqlite3_stmt* st) {
      auto cell = [&](int i) {
        switch (sqlite3_column_type(st, i)) {
          case SQLITE_NULL: return null();
          case SQLITE_INTEGER: return num(sqlite3_column_int64(st, i));
          default: return text(col_text(st, i));
        }
      };
      out->push_back({text(s), cell(1), cell(2), num(object_id(s, col_text(st, 0))), cell(3), cell(4), cell(5), cell(6),
                      cell(7), cell(8), cell(9), cell(10), cell(11), cell(12), cell(13), cell(14), cell(15)});
    });
  }
}

void rows_synonyms(sqlite3* db, const Filter& f, std::vector<Row>* out) {
  for (const std::string& s : schemas(db))
    for (const Synonym& y : synonyms(db, s))
      if (f.wants(y.owner, y.name))
        out->push_back({text(y.owner), text(y.name), text(y.tableOwner), text(y.table), null()});
}


const std::vector<View>& views() {
  static const std::vector<View> v = {
      {"ALL_OBJECTS",
       {{"OWNER", N30}, {"OBJECT_NAME", N30}, {"OBJECT_TYPE", "VARCHAR2(19)"}, {"OBJECT_ID", "NUMBER"},
        {"STATUS", "VARCHAR2(7)"}},
       0, 1, rows_objects},
      {"ALL_SYNONYMS",
       {{"OWNER", N30}, {"SYNONYM_NAME", N30}, {"TABLE_OWNER", N30}, {"TABLE_NAME", N30}, {"DB_LINK", "VARCHAR2(128)"}},
       0, 1, rows_synonyms},
      {"ALL_TAB_COLUMNS",
       {{"OWNER", N30}, {"TABLE_NAME", N30}, {"COLUMN_NAME", N30}, {"DATA_TYPE", "VARCHAR2(106)"},
        {"DATA_LENGTH", "NUMBER"}, {"DATA_PRECISION", "NUMBER"}, {"DATA_SCALE", "NUMBER"}, {"NULLABLE", "VARCHAR2(1)"},
        {"COLUMN_ID", "NUMBER"}, {"DATA_DEFAULT", "LONG"}, {"NUM_NULLS", "NUMBER"}},
       0, 1, rows_tab_columns},
      {"ALL_COL_COMMENTS", {{"OWNER", N30}, {"TABLE_NAME", N30}, {"COLUMN_NAME", N30}, {"COMMENTS", "VARCHAR2(4000)"}},
       0, 1, rows_col_comments},
      {"ALL_TAB_COMMENTS", {{"OWNER", N30}, {"TABLE_NAME", N30}, {"TABLE_TYPE", "VARCHAR2(11)"}, {"COMMENTS", "VARCHAR2(4000)"}},
       0, 1, rows_tab_comments},
      {"ALL_CONSTRAINTS",
       {{"OWNER", N30}, {"TABLE_NAME", N30}, {"CONSTRAINT_NAME", N30}, {"CONSTRAINT_TYPE", "VARCHAR2(1)"},
        {"R_OWNER", N30}, {"R_CONSTRAINT_NAME", N30}, {"DELETE_RULE", "VARCHAR2(9)"}, {"STATUS", "VARCHAR2(8)"}},
       0, 1, rows_constraints},
      {"ALL_CONS_COLUMNS",
       {{"OWNER", N30}, {"TABLE_NAME", N30}, {"CONSTRAINT_NAME", N30}, {"COLUMN_NAME", "VARCHAR2(4000)"},
        {"POSITION", "NUMBER"}},
       0, 1, rows_cons_columns},
      {"ALL_TABLES", {{"OWNER", N30}, {"TABLE_NAME", N30}, {"NUM_ROWS", "NUMBER"}, {"BLOCKS", "NUMBER"}}, 0, 1,
       rows_tables},
      {"ALL_INDEXES",
       {{"TABLE_OWNER", N30}, {"TABLE_NAME", N30}, {"INDEX_NAME", N30}, {"UNIQUENESS", "VARCHAR2(9)"},
        {"TABLE_TYPE", "VARCHAR2(11)"}, {"DISTINCT_KEYS", "NUMBER"}, {"LEAF_BLOCKS", "NUMBER"}, {"OWNER", N30}},
       0, 1, rows_indexes},
      {"ALL_IND_COLUMNS",
       {{"INDEX_OWNER", N30}, {"INDEX_NAME", N30}, {"TABLE_OWNER", N30}, {"TABLE_NAME", N30},
        {"COLUMN_NAME", "VARCHAR2(4000)"}, {"COLUMN_POSITION", "NUMBER"}},
       2, 3, rows_ind_columns},
      {"ALL_ARGUMENTS",
       {{"OWNER", N30}, {"OBJECT_NAME", N30}, {"PACKAGE_NAME", N30}, {"OBJECT_ID", "NUMBER"}, {"ARGUMENT_NAME", N30},
        {"POSITION", "NUMBER"}, {"DATA_LEVEL", "NUMBER"}, {"DATA_TYPE", N30}, {"IN_OUT", "VARCHAR2(9)"},
        {"DATA_LENGTH", "NUMBER"}, {"DATA_PRECISION", "NUMBER"}, {"DATA_SCALE", "NUMBER"}, {"RADIX", "NUMBER"},
        {"OVERLOAD", "VARCHAR2(40)"}, {"SUBPROGRAM_ID", "NUMBER"}, {"SEQUENCE", "NUMBER"}, {"DEFAULTED", "VARCHAR2(1)"}},
       0, 1, rows_arguments},
      {"ALL_TAB_PRIVS",
       {{"GRANTOR", N30}, {"GRANTEE", N30}, {"TABLE_SCHEMA", N30}, {"TABLE_NAME", N30}, {"PRIVILEGE", "VARCHAR2(40)"},
        {"GRANTABLE", "VARCHAR2(3)"}},
       2, 3, rows_tab_privs},
      {"ALL_COL_PRIVS_RECD",
       {{"OWNER", N30}, {"TABLE_NAME", N30}, {"COLUMN_NAME", N30}, {"GRANTOR", N30}, {"GRANTEE", N30},
        {"PRIVILEGE", "VARCHAR2(40)"}, {"GRANTABLE", "VARCHAR2(3)"}},
       0, 1, rows_col_privs_recd},
  };
  return v;
}

void sys_objects(const Filter& f, std::vector<Row>* out, int64_t* id) {
  (void)id;
  if (f.wants("SYS", "DUAL")) out->push_back({text("SYS"), text("DUAL"), text("TABLE"), num(object_id("SYS", "DUAL")), text("VALID")});
  for (const View& v : views())
    if (f.wants("SYS", v.name))
      out->push_back({text("SYS"), text(v.name), text("VIEW"), num(object_id("SYS", v.name)), text("VALID")});
}

// ---- The virtual table module ---------------------------------------------------------

struct DictTab {
  sqlite3_vtab base;
  sqlite3* db;
  const View* view;
};

struct DictCursor {
  sqlite3_vtab_cursor base;
  std::vector<Row> rows;
  size_t pos;
  std::string owner, name;
};

int dict_connect(sqlite3* db, void* aux, int, const char* const*, sqlite3_vtab** out, char**) {
  const View* view = static_cast<const View*>(aux);
  std::string ddl = "CREATE TABLE x(";
  bool first = true;
  for (const auto& c : view->columns) {
    if (!first) ddl += ", ";
    first = false;
    ddl += qid(c.first) + " " + c.second;
  }
  ddl += ")";
  int rc = sqlite3_declare_vtab(db, ddl.c_str());
  if (rc != SQLITE_OK) return rc;
  auto* t = new DictTab{};
  t->db = db;
  t->view = view;
  *out = &t->base;
  return SQLITE_OK;
}

int dict_disconnect(sqlite3_vtab* v) {
  delete reinterpret_cast<DictTab*>(v);
  return SQLITE_OK;
}

// Equality on the owner and name columns narrows the scan: idxNum bit 1 owner,
// bit 2 name, arguments in that order.
int dict_best_index(sqlite3_vtab* v, sqlite3_index_info* info) {
  const View* view = reinterpret_cast<DictTab*>(v)->view;
  int ownerArg = -1, nameArg = -1;
  for (int i = 0; i < info->nConstraint; ++i) {
    const auto& c = info->aConstraint[i];
    if (!c.usable || c.op != SQLITE_INDEX_CONSTRAINT_EQ) continue;
    if (c.iColumn == view->ownerCol && ownerArg < 0) ownerArg = i;
    else if (c.iColumn == view->nameCol && nameArg < 0) nameArg = i;
  }
  int argc = 0, mask = 0;
  if (ownerArg >= 0) {
    info->aConstraintUsage[ownerArg].argvIndex = ++argc;
    mask |= 1;
  }
  if (nameArg >= 0) {
    info->aConstraintUsage[nameArg].argvIndex = ++argc;
    mask |= 2;
  }
  info->idxNum = mask;
  info->estimatedCost = mask == 3 ? 10 : mask ? 1000 : 100000;
  info->estimatedRows = mask == 3 ? 10 : mask ? 1000 : 100000;
  return SQLITE_OK;
}

int dict_open(sqlite3_vtab*, sqlite3_vtab_cursor** out) {
  auto* c = new DictCursor{};
  *out = &c->base;
  return SQLITE_OK;
}

int dict_close(sqlite3_vtab_cursor* cur) {
  delete reinterpret_cast<DictCursor*>(cur);
  return SQLITE_OK;
}

int dict_filter(sqlite3_vtab_cursor* cur, int idxNum, const char*, int argc, sqlite3_value** argv) {
  auto* c = reinterpret_cast<DictCursor*>(cur);
  auto* t = reinterpret_cast<DictTab*>(cur->pVtab);
  c->rows.clear();
  c->pos = 0;
  Filter f;
  int a = 0;
  auto arg = [&](std::string* into) -> bool {
    if (a >= argc) return false;
    const unsigned char* s = sqlite3_value_text(argv[a++]);
    if (!s) return false;  // = NULL matches nothing
    *into = reinterpret_cast<const char*>(s);
    return true;
  };
  if (idxNum & 1) {
    if (!arg(&c->owner)) return SQLITE_OK;
    f.owner = &c->owner;
  }
  if (idxNum & 2) {
    if (!arg(&c->name)) return SQLITE_OK;
    f.name = &c->name;
  }
  Reach reach;
  t->view->rows(t->db, f, &c->rows);
  return SQLITE_OK;
}

int dict_next(sqlite3_vtab_cursor* cur) {
  ++reinterpret_cast<DictCursor*>(cur)->pos;
  return SQLITE_OK;
}

int dict_eof(sqlite3_vtab_cursor* cur) {
  auto* c = reinterpret_cast<DictCursor*>(cur);
  return c->pos >= c->rows.size();
}

int dict_column(sqlite3_vtab_cursor* cur, sqlite3_context* ctx, int i) {
  auto* c = reinterpret_cast<DictCursor*>(cur);
  const Row& r = c->rows[c->pos];
  if (i < 0 || static_cast<size_t>(i) >= r.size()) {
    sqlite3_result_null(ctx);
    return SQLITE_OK;
  }
  const Cell& v = r[static_cast<size_t>(i)];
  switch (v.kind) {
    case Cell::NUL: sqlite3_result_null(ctx); break;
    case Cell::INT: sqlite3_result_int64(ctx, v.i); break;
    case Cell::TEXT: sqlite3_result_text(ctx, v.s.c_str(), static_cast<int>(v.s.size()), SQLITE_TRANSIENT); break;
  }
  return SQLITE_OK;
}

int dict_rowid(sqlite3_vtab_cursor* cur, sqlite3_int64* rowid) {
  *rowid = static_cast<sqlite3_int64>(reinterpret_cast<DictCursor*>(cur)->pos);
  return SQLITE_OK;
}

sqlite3_module make_module() {
  sqlite3_module m{};
  m.iVersion = 0;
  m.xCreate = nullptr;  // eponymous only: the views exist in every session without DDL
  m.xConnect = dict_connect;
  m.xBestIndex = dict_best_index;
  m.xDisconnect = dict_disconnect;
  m.xDestroy = dict_disconnect;
  m.xOpen = dict_open;
  m.xClose = dict_close;
  m.xFilter = dict_filter;
  m.xNext = dict_next;
  m.xEof = dict_eof;
  m.xColumn = dict_column;
  m.xRowid = dict_rowid;
  return m;
}

}  // namespace

namespace {

// ORA_DROP_PUBLIC_SYNONYM(name): a public synonym lives in its creator's
// schema, whichever that is.
void fn_drop_public_synonym(sqlite3_context* ctx, int, sqlite3_value** v) {
  sqlite3* db = sqlite3_context_db_handle(ctx);
  const unsigned char* n = sqlite3_value_text(v[0]);
  const std::string name = n ? reinterpret_cast<const char*>(n) : "";
  int dropped = 0;
  for (const std::string& s : schemas(db)) {
    for (const Synonym& y : synonyms(db, s)) {
      if (y.owner != "PUBLIC" || y.name != name) continue;
      const std::string sql = "DELETE FROM " + qid(s) + ".\"ORA$SYN\" WHERE OWNER = 'PUBLIC' AND SYNONYM_NAME = " + qstr(name);
      if (sqlite3_exec(db, sql.c_str(), nullptr, nullptr, nullptr) != SQLITE_OK)
        return sqlite3_result_error(ctx, sqlite3_errmsg(db), -1);
      ++dropped;
    }
  }
  if (!dropped) return sqlite3_result_error(ctx, "ORA-01432: public synonym to be dropped does not exist", -1);
  sqlite3_result_null(ctx);
}

// ORA_FK_ACT(rule, schema, table, columns, key values...): the delete rule
// of a key to another schema's table, run for a parent row deleted: its
// children (columns comma-separated) are deleted or set to NULL.
void fn_fk_act(sqlite3_context* ctx, int argc, sqlite3_value** v) {
  sqlite3* db = sqlite3_context_db_handle(ctx);
  const auto arg = [&](int i) {
    const unsigned char* t = sqlite3_value_text(v[i]);
    return t ? std::string(reinterpret_cast<const char*>(t)) : std::string();
  };
  const std::vector<std::string> cols = split(arg(3));
  if (argc < 4 || cols.size() != static_cast<size_t>(argc - 4)) return sqlite3_result_error(ctx, "ORA_FK_ACT: arguments", -1);
  const bool cascade = arg(0) == "CASCADE";
  std::string where, set;
  for (size_t i = 0; i < cols.size(); ++i) {
    where += (i ? " AND " : "") + qid(cols[i]) + " = ?" + std::to_string(i + 1);
    set += (i ? ", " : "") + qid(cols[i]) + " = NULL";
  }
  const std::string table = qid(arg(1)) + "." + qid(arg(2));
  const std::string sql = cascade ? "DELETE FROM " + table + " WHERE " + where : "UPDATE " + table + " SET " + set + " WHERE " + where;
  sqlite3_stmt* st = nullptr;
  int rc = sqlite3_prepare_v2(db, sql.c_str(), -1, &st, nullptr);
  for (int i = 4; rc == SQLITE_OK && i < argc; ++i) sqlite3_bind_value(st, i - 3, v[i]);
  if (rc == SQLITE_OK) rc = sqlite3_step(st);
  if (rc != SQLITE_DONE) {
    const std::string msg = sqlite3_errmsg(db);
    sqlite3_finalize(st);
    return sqlite3_result_error(ctx, msg.c_str(), -1);
  }
  sqlite3_finalize(st);
  sqlite3_result_null(ctx);
}

constexpr const char* kSynonymMark = "/* synonym */";

}  // namespace

namespace {

// Keys to a table of another schema are kept by triggers of the session
// (SQLite's own triggers cannot reach another schema): a child row needs
// its parent (ORA-02291), a parent row with children stays (ORA-02292).
// Keys within a schema get the same triggers ahead of SQLite's own check,
// which cannot name the constraint nor tell a missing parent from a child
// found; SQLite keeps their delete rules and a table's keys to itself.
void refresh_cross_keys(sqlite3* db) {
  std::vector<std::string> old;
  each_row(db, "SELECT name FROM temp.sqlite_master WHERE type = 'trigger' AND name LIKE 'ORA$FK$%'",
           [&](sqlite3_stmt* st) { old.push_back(col_text(st, 0)); });
  for (const std::string& n : old) sqlite3_exec(db, ("DROP TRIGGER temp." + qid(n)).c_str(), nullptr, nullptr, nullptr);
  std::vector<std::string> attached;
  each_row(db, "PRAGMA database_list", [&](sqlite3_stmt* st) {
    if (col_text(st, 1) != "temp") attached.push_back(col_text(st, 1));
  });
  int n = 0;
  for (const std::string& s : attached) {
    std::vector<std::string> tables;
    each_row(db, "SELECT DISTINCT TABLE_NAME FROM " + qid(s) + ".\"ORA$FK\"",
             [&](sqlite3_stmt* st) { tables.push_back(col_text(st, 0)); });
    each_row(db, "SELECT name FROM " + qid(s) + ".sqlite_master WHERE type = 'table' AND instr(sql, 'REFERENCES') > 0",
             [&](sqlite3_stmt* st) {
               if (std::find(tables.begin(), tables.end(), col_text(st, 0)) == tables.end()) tables.push_back(col_text(st, 0));
             });
    for (const std::string& t : tables) {
      std::string sql;
      each_row(db, "SELECT sql FROM " + qid(s) + ".sqlite_master WHERE type = 'table' AND name = " + qstr(t),
               [&](sqlite3_stmt* st) { sql = col_text(st, 0); });
      if (sql.empty()) continue;
      for (const Constraint& c : table_keys(db, s, t, sql).constraints) {
        const bool within = c.rOwner == s;
        if (c.type != 'R' || (within && c.rTable == t)) continue;
        if (std::find(attached.begin(), attached.end(), c.rOwner) == attached.end()) continue;
        std::vector<std::string> pcols = c.rColumns;
        if (pcols.empty()) {
          std::string psql;
          each_row(db, "SELECT sql FROM " + qid(c.rOwner) + ".sqlite_master WHERE type = 'table' AND name = " + qstr(c.rTable),
                   [&](sqlite3_stmt* st) { psql = col_text(st, 0); });
          for (const Constraint& p : table_keys(db, c.rOwner, c.rTable, psql).constraints)
            if (p.type == 'P') pcols = p.columns;
        }
        if (pcols.size() != c.columns.size() || pcols.empty()) continue;
        const std::string child = qid(s) + "." + qid(t), parent = qid(c.rOwner) + "." + qid(c.rTable);
        const std::string who = qstr(s + "." + c.name);
        std::string notNull, parentHas, childHas, keyChanged, childCols, parentCols;
        for (size_t i = 0; i < pcols.size(); ++i) {
          const std::string sep = i ? " AND " : "";
          notNull += sep + "NEW." + qid(c.columns[i]) + " IS NOT NULL";
          parentHas += sep + qid(pcols[i]) + " = NEW." + qid(c.columns[i]);
          childHas += sep + qid(c.columns[i]) + " = OLD." + qid(pcols[i]);
          keyChanged += (i ? " OR " : "") + ("OLD." + qid(pcols[i]) + " IS NOT NEW." + qid(pcols[i]));
          childCols += (i ? ", " : "") + qid(c.columns[i]);
          parentCols += (i ? ", " : "") + qid(pcols[i]);
        }
        const std::string id = "ORA$FK$" + std::to_string(++n);
        const std::string orphan = " FOR EACH ROW WHEN " + notNull + " AND NOT EXISTS (SELECT 1 FROM " + parent +
                                   " WHERE " + parentHas + ") BEGIN SELECT ORA_RAISE(2291, " + who + "); END";
        const std::string held = " FOR EACH ROW WHEN EXISTS (SELECT 1 FROM " + child + " WHERE " + childHas + ")";
        const std::string script =
            "CREATE TEMP TRIGGER " + qid(id + "$I") + " BEFORE INSERT ON " + child + orphan + ";" +
            "CREATE TEMP TRIGGER " + qid(id + "$U") + " BEFORE UPDATE OF " + childCols + " ON " + child + orphan + ";";
        const std::string keyHeld = "CREATE TEMP TRIGGER " + qid(id + "$K") + " BEFORE UPDATE OF " + parentCols +
                                    " ON " + parent + held + " AND (" + keyChanged +
                                    ") BEGIN SELECT ORA_RAISE(2292, " + who + "); END";
        std::string onDelete;
        if (c.deleteRule == "NO ACTION") {
          onDelete = "CREATE TEMP TRIGGER " + qid(id + "$D") + " BEFORE DELETE ON " + parent + held +
                     " BEGIN SELECT ORA_RAISE(2292, " + who + "); END";
        } else if (!within) {
          // A trigger may only write its own schema: the children of another
          // are deleted or cleared by ORA_FK_ACT.
          std::string oldKey;
          for (const std::string& p : pcols) oldKey += ", OLD." + qid(p);
          onDelete = "CREATE TEMP TRIGGER " + qid(id + "$D") + " AFTER DELETE ON " + parent + held +
                     " BEGIN SELECT ORA_FK_ACT(" + qstr(c.deleteRule) + ", " + qstr(s) + ", " + qstr(t) + ", " +
                     qstr(join_list(c.columns)) + oldKey + "); END";
        }
        sqlite3_exec(db, script.c_str(), nullptr, nullptr, nullptr);
        if (c.deleteRule == "NO ACTION" || !within) sqlite3_exec(db, keyHeld.c_str(), nullptr, nullptr, nullptr);
        if (!onDelete.empty()) sqlite3_exec(db, onDelete.c_str(), nullptr, nullptr, nullptr);
      }
    }
  }
}

}  // namespace

int dl_refresh_synonyms(sqlite3* db, const std::string& user, DlSession* session) {
  refresh_cross_keys(db);
  std::vector<std::string> old;
  each_row(db, "SELECT name FROM temp.sqlite_master WHERE type = 'view' AND instr(sql, " + qstr(kSynonymMark) + ") > 0",
           [&](sqlite3_stmt* st) { old.push_back(col_text(st, 0)); });
  for (const std::string& n : old) sqlite3_exec(db, ("DROP VIEW temp." + qid(n)).c_str(), nullptr, nullptr, nullptr);
  // The session's own objects first, then its private synonyms, then the
  // public ones: the first holder of a name is the one a query reaches.
  std::vector<std::string> taken;
  each_row(db, "SELECT name FROM " + qid(user) + ".sqlite_master WHERE type IN ('table', 'view')",
           [&](sqlite3_stmt* st) { taken.push_back(col_text(st, 0)); });
  std::vector<Synonym> own, pub;
  Reach reach;
  if (session) session->synonyms.clear();
  for (const std::string& s : schemas(db))
    for (const Synonym& y : synonyms(db, s)) {
      if (y.owner == user) own.push_back(y);
      else if (y.owner == "PUBLIC") pub.push_back(y);
      if (session && y.owner != "PUBLIC") session->synonyms[{y.owner, y.name}] = {y.tableOwner, y.table};
    }
  own.insert(own.end(), pub.begin(), pub.end());
  for (const Synonym& y : own) {
    if (std::find(taken.begin(), taken.end(), y.name) != taken.end()) continue;
    taken.push_back(y.name);
    if (session) session->synonyms[{"", y.name}] = {y.tableOwner, y.table};
    const std::string sql = "CREATE TEMP VIEW " + qid(y.name) + " AS " + kSynonymMark + " SELECT * FROM " +
                            qid(y.tableOwner) + "." + qid(y.table);
    sqlite3_exec(db, sql.c_str(), nullptr, nullptr, nullptr);  // a target out of reach stays unresolved
  }
  return SQLITE_OK;
}

int dl_register_dictionary(sqlite3* db) {
  static const sqlite3_module module = make_module();
  for (const View& v : views()) {
    int rc = sqlite3_create_module_v2(db, v.name, &module, const_cast<View*>(&v), nullptr);
    if (rc != SQLITE_OK) return rc;
  }
  int rc = sqlite3_create_function_v2(db, "ORA_DROP_PUBLIC_SYNONYM", 1, SQLITE_UTF8, nullptr, fn_drop_public_synonym,
                                      nullptr, nullptr, nullptr);
  if (rc != SQLITE_OK) return rc;
  return sqlite3_create_function_v2(db, "ORA_FK_ACT", -1, SQLITE_UTF8, nullptr, fn_fk_act, nullptr, nullptr, nullptr);
}

// ---- ALTER TABLE ... ADD / DROP CONSTRAINT ------------------------------------------

namespace {

std::string table_sql(sqlite3* db, const std::string& schema, const std::string& table) {
  std::string sql;
  each_row(db, "SELECT sql FROM " + qid(schema) + ".sqlite_master WHERE type = 'table' AND name = " + qstr(table),
           [&](sqlite3_stmt* st) { sql = col_text(st, 0); });
  return sql;
}

// 1 when the query has a row, 0 when not, or the Oracle error of a query
// SQLite refuses (a CHECK naming an unknown column, say) as a negative.
int has_row(sqlite3* db, const std::string& sql, const DlSession* session, DlError* err) {
  sqlite3_stmt* st = nullptr;
  int rc = sqlite3_prepare_v2(db, sql.c_str(), -1, &st, nullptr);
  if (rc == SQLITE_OK) rc = sqlite3_step(st);
  const int out = rc == SQLITE_ROW ? 1 : rc == SQLITE_DONE ? 0
                                       : -dl_map_sqlite_error(sqlite3_extended_errcode(db), sqlite3_errmsg(db), err, session);
  sqlite3_finalize(st);
  return out;
}

bool same_set(std::vector<std::string> a, std::vector<std::string> b) {
  std::sort(a.begin(), a.end());
  std::sort(b.begin(), b.end());
  return a == b;
}

std::string join_cols(const std::vector<std::string>& cols, const std::string& prefix, const std::string& sep) {
  std::string out;
  for (size_t i = 0; i < cols.size(); ++i) out += (i ? sep : "") + prefix + qid(cols[i]);
  return out;
}

// Every constraint name of a schema: Oracle keeps them unique per schema.
std::vector<std::string> schema_constraint_names(sqlite3* db, const std::string& schema) {
  std::vector<std::string> out;
  for (const Object& o : objects(db, schema, false)) {
    if (o.type != "TABLE") continue;
    for (const Constraint& c : table_keys(db, schema, o.name, o.sql).constraints) out.push_back(c.name);
    for (const KeySpan& k : key_spans(o.sql))
      if (k.kind == 'C' && !k.name.empty()) out.push_back(k.name);
  }
  return out;
}

// A key referencing another: its table, schema and name.
struct KeyRef {
  std::string schema, table, name;
  bool cross;  // recorded in ORA$FK
};

// The keys (of every schema) that reference key of schema.table.
std::vector<KeyRef> referencing(sqlite3* db, const std::string& schema, const std::string& table, const Constraint& key) {
  std::vector<KeyRef> out;
  Reach reach;
  for (const std::string& s : schemas(db))
    for (const Object& o : objects(db, s, false)) {
      if (o.type != "TABLE") continue;
      const TableKeys k = table_keys(db, s, o.name, o.sql);
      size_t inText = 0;
      for (const KeySpan& sp : key_spans(o.sql)) inText += sp.kind == 'R';
      size_t r = 0;
      for (const Constraint& c : k.constraints) {
        if (c.type != 'R') continue;
        const bool cross = r++ >= inText;
        if (c.rOwner != schema || c.rTable != table || (s == schema && o.name == table)) continue;
        if (c.rColumns.empty() ? key.type == 'P' : same_set(c.rColumns, key.columns)) out.push_back({s, o.name, c.name, cross});
      }
    }
  return out;
}

// The CREATE TABLE text with every key named (so that an unnamed one keeps
// its system name through the remake) and without the constraint drop
// names ("" none): the statement making table under the name as.
std::string remade_sql(const std::string& sql, const TableKeys& keys, const std::string& drop, const std::string& as) {
  std::map<char, std::vector<std::string>> names;
  size_t inText = 0;
  for (const KeySpan& k : key_spans(sql)) inText += k.kind == 'R';
  size_t r = 0;
  for (const Constraint& c : keys.constraints)
    if (c.type != 'R' || r++ < inText) names[c.type].push_back(c.name);
  std::map<char, size_t> seen;
  struct Edit {
    size_t b, e;
    std::string text;
  };
  std::vector<Edit> edits;
  for (const KeySpan& k : key_spans(sql)) {
    std::string name = k.name;
    if (k.kind != 'C') {
      const size_t n = seen[k.kind]++;
      if (name.empty() && n < names[k.kind].size()) {
        name = names[k.kind][n];
        edits.push_back({k.b, k.b, "CONSTRAINT " + qid(name) + " "});
      }
    }
    if (!drop.empty() && name == drop) {
      if (!edits.empty() && edits.back().b == k.b && edits.back().e == k.b) edits.pop_back();
      edits.push_back({k.cut_b, k.cut_e, ""});
    }
  }
  std::string out = sql;
  for (auto it = edits.rbegin(); it != edits.rend(); ++it) out.replace(it->b, it->e - it->b, it->text);
  const size_t open = out.find('(');
  return "CREATE TABLE " + as + " " + out.substr(open);
}

// Inserts " NOT NULL" at the end of the definitions of columns.
std::string with_not_null(const std::string& sql, const std::vector<std::string>& columns) {
  const std::vector<SqlTok> t = sql_tokens(sql);
  std::vector<size_t> at;
  for (size_t i = 1; i < t.size(); ++i) {
    const bool starts = (t[i - 1].up == "(" && t[i - 1].depth == 0) || (t[i - 1].up == "," && t[i - 1].depth == 1);
    if (!starts || t[i].up.empty() || t[i].up[0] != '"') continue;
    if (std::find(columns.begin(), columns.end(), t[i].up.substr(1)) == columns.end()) continue;
    size_t j = i;
    while (j + 1 < t.size() && !((t[j + 1].up == "," && t[j + 1].depth == 1) || (t[j + 1].up == ")" && t[j + 1].depth == 0))) ++j;
    at.push_back(t[j].e);
  }
  std::string out = sql;
  for (auto it = at.rbegin(); it != at.rend(); ++it) out.insert(*it, " NOT NULL");
  return out;
}

int exec_sql(sqlite3* db, const std::string& sql, const DlSession* session, DlError* err) {
  if (sqlite3_exec(db, sql.c_str(), nullptr, nullptr, nullptr) == SQLITE_OK) return 0;
  return dl_map_sqlite_error(sqlite3_extended_errcode(db), sqlite3_errmsg(db), err, session);
}

// Remakes schema.table from create (a CREATE TABLE of schema."ORA$NEW"),
// keeping its rows (and their rowids), indexes and triggers. Outside a
// transaction: the foreign keys are switched off for it, as SQLite must
// drop the old table without acting on the rows that reference it.
int remake(sqlite3* db, const std::string& schema, const std::string& table, const std::string& create,
           const DlSession* session, DlError* err) {
  const std::string s = qid(schema);
  std::vector<std::string> kept;
  each_row(db, "SELECT sql FROM " + s + ".sqlite_master WHERE tbl_name = " + qstr(table) +
                   " AND type IN ('index', 'trigger') AND sql IS NOT NULL",
           [&](sqlite3_stmt* st) {
             std::string sql = col_text(st, 0);
             // SQLite keeps the text without the schema: put it back.
             const std::vector<SqlTok> t = sql_tokens(sql);
             for (const SqlTok& k : t)
               if (k.up == "INDEX" || k.up == "TRIGGER") {
                 size_t at = k.e;
                 while (at < sql.size() && sql[at] == ' ') ++at;
                 sql.insert(at, s + ".");
                 break;
               }
             kept.push_back(sql);
           });
  std::vector<std::string> cols;
  for (const Column& c : columns(db, schema, table)) cols.push_back(c.name);
  const std::string list = join_cols(cols, "", ", ");
  std::string script = create + "; INSERT INTO " + s + ".\"ORA$NEW\" (rowid, " + list + ") SELECT rowid, " + list +
                       " FROM " + s + "." + qid(table) + "; DROP TABLE " + s + "." + qid(table) + "; ALTER TABLE " + s +
                       ".\"ORA$NEW\" RENAME TO " + qid(table);
  for (const std::string& k : kept) script += "; " + k;
  sqlite3_exec(db, "PRAGMA foreign_keys = OFF; PRAGMA legacy_alter_table = ON; BEGIN", nullptr, nullptr, nullptr);
  int rc = exec_sql(db, script, session, err);
  sqlite3_exec(db, rc ? "ROLLBACK" : "COMMIT", nullptr, nullptr, nullptr);
  sqlite3_exec(db, "PRAGMA legacy_alter_table = OFF; PRAGMA foreign_keys = ON", nullptr, nullptr, nullptr);
  return rc;
}

int drop_constraint(sqlite3* db, const std::string& schema, const std::string& table, const std::string& name,
                    bool cross, const DlSession* session, DlError* err) {
  const std::string sql = table_sql(db, schema, table);
  if (sql.empty()) return dl_set_error(err, 942);
  const TableKeys keys = table_keys(db, schema, table, sql);
  if (!cross) return remake(db, schema, table, remade_sql(sql, keys, name, qid(schema) + ".\"ORA$NEW\""), session, err);
  // A key to another schema: its row of ORA$FK (an unnamed one answers to
  // the system name its place gives it).
  size_t inText = 0, r = 0;
  for (const KeySpan& k : key_spans(sql)) inText += k.kind == 'R';
  std::vector<int64_t> rowids;
  each_row(db, "SELECT rowid FROM " + qid(schema) + ".\"ORA$FK\" WHERE TABLE_NAME = " + qstr(table) + " ORDER BY rowid",
           [&](sqlite3_stmt* st) { rowids.push_back(sqlite3_column_int64(st, 0)); });
  for (const Constraint& c : keys.constraints) {
    if (c.type != 'R' || r++ < inText || c.name != name || r - 1 - inText >= rowids.size()) continue;
    return exec_sql(db, "DELETE FROM " + qid(schema) + ".\"ORA$FK\" WHERE rowid = " + std::to_string(rowids[r - 1 - inText]),
                    session, err);
  }
  return 0;
}

int add_constraint(sqlite3* db, const DlConstraintChange& c, const std::string& schema, const std::string& sql,
                   const TableKeys& keys, const DlSession* session, DlError* err) {
  const std::string s = qid(schema), t = s + "." + qid(c.table);
  std::vector<std::string> cols;
  std::vector<std::string> notNull;
  for (const Column& col : columns(db, schema, c.table)) {
    cols.push_back(col.name);
    if (col.notnull) notNull.push_back(col.name);
  }
  for (const std::string& col : c.columns)
    if (std::find(cols.begin(), cols.end(), col) == cols.end()) return dl_set_error(err, 904, qid(col).c_str());
  std::string name = c.name;
  const std::vector<std::string> used = schema_constraint_names(db, schema);
  for (size_t n = keys.constraints.size(); name.empty(); ++n) {
    const std::string candidate = system_name(schema, c.table, c.type, 1000 + n);
    if (std::find(used.begin(), used.end(), candidate) == used.end()) name = candidate;
  }
  if (!c.name.empty() && std::find(used.begin(), used.end(), name) != used.end()) return dl_set_error(err, 2264);
  const std::string who = schema + "." + name;
  int found = 0;
  if (c.type == 'P' || c.type == 'U') {
    for (const Constraint& k : keys.constraints) {
      if (c.type == 'P' && k.type == 'P') return dl_set_error(err, 2260);
      if ((k.type == 'P' || k.type == 'U') && same_set(k.columns, c.columns)) return dl_set_error(err, 2261);
    }
    if (c.type == 'P') {
      found = has_row(db, "SELECT 1 FROM " + t + " WHERE " + join_cols(c.columns, "", " IS NULL OR ") + " IS NULL",
                      session, err);
      if (found > 0) return dl_set_error(err, 1449);
    }
    if (found == 0)
      found = has_row(db, "SELECT 1 FROM " + t + " WHERE " + join_cols(c.columns, "", " IS NOT NULL AND ") +
                              " IS NOT NULL GROUP BY " + join_cols(c.columns, "", ", ") + " HAVING count(*) > 1",
                      session, err);
    if (found > 0) return dl_set_error(err, c.type == 'P' ? 2437 : 2299, who.c_str());
  } else if (c.type == 'C') {
    found = has_row(db, "SELECT 1 FROM " + t + " WHERE NOT (" + c.check + ")", session, err);
    if (found > 0) return dl_set_error(err, 2293, who.c_str());
  } else if (c.type == 'R') {
    const std::string pschema = c.r_owner.empty() ? schema : c.r_owner;
    const std::string psql = table_sql(db, pschema, c.r_table);
    if (psql.empty()) return dl_set_error(err, 942);
    std::vector<std::string> pcols = c.r_columns;
    bool keyed = false;
    for (const Constraint& k : table_keys(db, pschema, c.r_table, psql).constraints) {
      if (pcols.empty() && k.type == 'P') pcols = k.columns;
      keyed = keyed || ((k.type == 'P' || k.type == 'U') && !pcols.empty() && same_set(k.columns, pcols));
    }
    if (pcols.empty()) return dl_set_error(err, 2268);
    if (pcols.size() != c.columns.size()) return dl_set_error(err, 2256);
    if (!keyed) return dl_set_error(err, 2270);
    std::string match;
    for (size_t i = 0; i < pcols.size(); ++i)
      match += (i ? " AND " : "") + ("p." + qid(pcols[i])) + " = c." + qid(c.columns[i]);
    found = has_row(db, "SELECT 1 FROM " + t + " AS c WHERE " + join_cols(c.columns, "c.", " IS NOT NULL AND c.") +
                            " IS NOT NULL AND NOT EXISTS (SELECT 1 FROM " + qid(pschema) + "." + qid(c.r_table) +
                            " AS p WHERE " + match + ")",
                    session, err);
    if (found > 0) return dl_set_error(err, 2298, who.c_str());
    if (found == 0 && !c.r_owner.empty()) {
      const std::string rcols = join_list(c.r_columns), ccols = join_list(c.columns);
      const std::string fk = s + ".\"ORA$FK\"";
      return exec_sql(db, dl::cross_key_table_sql(fk) + "; INSERT INTO " + fk + " VALUES (" + qstr(name) + ", " +
                              qstr(c.table) + ", " + qstr(ccols) + ", " + qstr(c.r_owner) + ", " + qstr(c.r_table) +
                              ", " + qstr(rcols) + ", " + qstr(c.rule) + ")",
                      session, err);
    }
  }
  if (found < 0) return -found;
  std::string made = remade_sql(sql, keys, "", s + ".\"ORA$NEW\"");
  made.insert(made.rfind(')'), ", CONSTRAINT " + qid(name) + " " + c.clause);
  if (c.type == 'P') {
    std::vector<std::string> nullable;
    for (const std::string& col : c.columns)
      if (std::find(notNull.begin(), notNull.end(), col) == notNull.end()) nullable.push_back(col);
    made = with_not_null(made, nullable);
  }
  return remake(db, schema, c.table, made, session, err);
}

}  // namespace

int dl_alter_constraint(sqlite3* db, const DlStatement* st, const DlSession* session, DlError* err) {
  *err = DlError{};
  const DlConstraintChange& c = st->constraint;
  const std::string schema = c.schema == "main" && session ? session->user : c.schema;
  const std::string sql = table_sql(db, schema, c.table);
  if (sql.empty()) return dl_set_error(err, 942);
  const TableKeys keys = table_keys(db, schema, c.table, sql);
  if (c.add) return add_constraint(db, c, schema, sql, keys, session, err);
  // The constraint to drop, and whether it is a key to another schema.
  size_t inText = 0, r = 0;
  for (const KeySpan& k : key_spans(sql)) inText += k.kind == 'R';
  const Constraint* target = nullptr;
  bool cross = false;
  for (const Constraint& k : keys.constraints) {
    const bool isCross = k.type == 'R' && r++ >= inText;
    const bool match = c.type == 'P' ? k.type == 'P'
                       : c.type == 'U' ? k.type == 'U' && same_set(k.columns, c.columns)
                                       : k.name == c.name;
    if (match && !target) {
      target = &k;
      cross = isCross;
    }
  }
  if (!target) {
    bool check = false;
    for (const KeySpan& k : key_spans(sql)) check = check || (k.kind == 'C' && !c.name.empty() && k.name == c.name);
    if (!check) return dl_set_error(err, c.type == 'P' ? 2441 : c.type == 'U' ? 2442 : 2443);
    return drop_constraint(db, schema, c.table, c.name, false, session, err);
  }
  if (target->type == 'P' || target->type == 'U') {
    const std::vector<KeyRef> refs = referencing(db, schema, c.table, *target);
    if (!refs.empty() && !c.cascade) return dl_set_error(err, 2273);
    for (const KeyRef& k : refs)
      if (int rc = drop_constraint(db, k.schema, k.table, k.name, k.cross, session, err)) return rc;
  }
  return drop_constraint(db, schema, c.table, target->name, cross, session, err);
}
