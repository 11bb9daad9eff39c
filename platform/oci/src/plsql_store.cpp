// Stored units: CREATE and DROP of procedures, functions and packages, the
// schema tables that keep them ("ORA$PLSQL": source and status, "ORA$ARGS":
// the arguments as ALL_ARGUMENTS shows them), the process-wide cache of parsed
// units, and OCIDescribeAny of them.
#include <cstring>
#include <map>
#include <mutex>

#include "oci_int.h"
#include "plsql.h"

namespace ocl {

namespace {

std::string qid(const std::string& s) {
  std::string o = "\"";
  for (char c : s) {
    if (c == '"') o += '"';
    o += c;
  }
  return o + "\"";
}

// SQLite schema name of an owner ("" or the session's user: main).
std::string db_of(Session* s, const std::string& owner) {
  return owner.empty() || owner == s->user ? std::string("main") : qid(owner);
}

const char* type_text(PlUnitKind k) {
  switch (k) {
    case PU_PROCEDURE: return "PROCEDURE";
    case PU_FUNCTION: return "FUNCTION";
    case PU_PACKAGE: return "PACKAGE";
    case PU_PACKAGE_BODY: return "PACKAGE BODY";
    default: return "";
  }
}

// A prepared query on the session's connection, finalized on scope exit.
struct Query {
  BeStmt* st = nullptr;
  DlError err;
  int rc = 0;
  Query(Session* s, const std::string& sql) { rc = be_prepare(s->conn, sql, &st, &err); }
  ~Query() { be_finalize(st); }
  Query(const Query&) = delete;
  Query& operator=(const Query&) = delete;
  void text(int i, const std::string& v) {
    BeValue b;
    b.type = BE_TEXT;
    b.p = v.data();
    b.n = v.size();
    if (!rc) rc = be_bind(st, i, b, &err);
  }
  void num(int i, int64_t v) {
    BeValue b;
    b.type = BE_INT;
    b.i = v;
    if (!rc) rc = be_bind(st, i, b, &err);
  }
  void null(int i) {
    BeValue b;
    if (!rc) rc = be_bind(st, i, b, &err);
  }
  // 1 row, 0 done, -1 failed.
  int step() { return rc ? -1 : be_step(st, &err); }
  std::string col_text(int i) {
    BeValue v;
    be_column(st, i, &v);
    return v.type == BE_TEXT || v.type == BE_BLOB ? std::string(v.p, v.n) : std::string();
  }
};

int ensure_tables(Session* s, const std::string& db, DlError* d) {
  std::string sql = "CREATE TABLE IF NOT EXISTS " + db +
                    ".\"ORA$PLSQL\"(NAME TEXT NOT NULL, TYPE TEXT NOT NULL, STATUS TEXT NOT NULL, "
                    "SOURCE TEXT NOT NULL, PRIMARY KEY(NAME, TYPE));"
                    "CREATE TABLE IF NOT EXISTS " + db +
                    ".\"ORA$ARGS\"(UNIT TEXT NOT NULL, OBJECT_NAME TEXT, PACKAGE_NAME TEXT, SUBPROGRAM_ID INTEGER, "
                    "OVERLOAD TEXT, ARGUMENT_NAME TEXT, POSITION INTEGER, SEQUENCE INTEGER, DATA_LEVEL INTEGER, "
                    "DATA_TYPE TEXT, IN_OUT TEXT, DATA_LENGTH INTEGER, DATA_PRECISION INTEGER, DATA_SCALE INTEGER, "
                    "RADIX INTEGER, DEFAULTED TEXT)";
  return be_exec(s->conn, sql.c_str(), d);
}

// A schema named in the text that the session has not attached.
bool schema_missing(Session* s, const std::string& schema) {
  if (schema.empty() || schema == s->user) return false;
  Query q(s, "SELECT 1 FROM pragma_database_list WHERE name = ?1");
  q.text(1, schema);
  return q.step() != 1;
}

bool table_exists(Session* s, const std::string& db, const char* table) {
  Query q(s, "SELECT 1 FROM " + db + ".sqlite_master WHERE type = 'table' AND name = ?1");
  q.text(1, table);
  return q.step() == 1;
}

// The argument rows of one subprogram.
int store_args(Session* s, const std::string& db, const std::string& unit, const std::string& pkg,
               int subprogram_id, const PlSub& sub, DlError* d) {
  auto row = [&](const std::string* name, int position, const PlType* t, int mode, bool defaulted) -> int {
    Query q(s, "INSERT INTO " + db +
                   ".\"ORA$ARGS\" VALUES (?1, ?2, ?3, ?4, ?5, ?6, ?7, ?8, 0, ?9, ?10, ?11, ?12, ?13, ?14, ?15)");
    q.text(1, unit);
    q.text(2, sub.name);
    if (pkg.empty()) q.null(3);
    else q.text(3, pkg);
    q.num(4, subprogram_id);
    if (sub.overload) q.text(5, std::to_string(sub.overload));
    else q.null(5);
    if (name) q.text(6, *name);
    else q.null(6);
    q.num(7, position);
    q.num(8, t ? position + (sub.function ? 1 : 0) : 0);
    if (t) {
      q.text(9, t->name);
      q.text(10, mode == PL_OUT ? "OUT" : mode == PL_INOUT ? "IN/OUT" : "IN");
      if (t->length) q.num(11, t->length);
      else q.null(11);
      if (t->precision >= 0) q.num(12, t->precision);
      else q.null(12);
      if (t->precision >= 0 || t->scale >= 0) q.num(13, t->scale < 0 ? 0 : t->scale);
      else q.null(13);
      if (t->code == 2 || t->code == 3) q.num(14, 10);
      else q.null(14);
    } else {
      for (int i = 9; i <= 14; ++i) q.null(i);
    }
    q.text(15, defaulted ? "Y" : "N");
    if (q.step() < 0) {
      *d = q.err;
      return d->code ? d->code : 1;
    }
    return 0;
  };
  if (sub.function)
    if (int rc = row(nullptr, 0, &sub.ret, PL_OUT, false)) return rc;
  int pos = 0;
  for (const PlArg& a : sub.args)
    if (int rc = row(&a.name, ++pos, &a.type, a.mode, !a.def.empty())) return rc;
  // A packaged subprogram without arguments still has its row, so that the
  // package's listing shows it.
  if (sub.args.empty() && !sub.function && !pkg.empty())
    if (int rc = row(nullptr, 1, nullptr, PL_IN, false)) return rc;
  return 0;
}

// Checks a package body against its package: every subprogram the package
// declares needs its body.
std::string body_mismatch(const PlUnit& spec, const PlUnit& body) {
  for (const std::string& t : body.spec_types) {
    bool found = false;
    for (const auto& st : spec.types) found = found || st.first == t;
    if (!found) return "line 1, column 1:\nPLS-00201: identifier '" + t + "' must be declared";
  }
  for (const PlSub& s : spec.subs) {
    bool found = false;
    for (const PlSub& b : body.subs) {
      if (b.name != s.name || b.args.size() != s.args.size() || b.function != s.function || !b.body) continue;
      bool same = true;
      for (size_t i = 0; i < s.args.size(); ++i)
        same = same && s.args[i].name == b.args[i].name && s.args[i].mode == b.args[i].mode;
      found = found || same;
    }
    if (!found)
      return "line 1, column 1:\nPLS-00323: subprogram or cursor '" + s.name +
             "' is declared in a package specification and must be defined in the package body";
  }
  return {};
}

std::mutex g_cache_mu;
std::map<std::string, std::shared_ptr<PlUnit>> g_cache;

std::shared_ptr<PlUnit> cached_parse(const std::string& key, const std::string& source) {
  {
    std::lock_guard<std::mutex> g(g_cache_mu);
    auto it = g_cache.find(key);
    if (it != g_cache.end() && it->second->src == source) return it->second;
  }
  DlError d;
  auto u = pl_parse(source, &d);
  if (!u) return nullptr;
  std::lock_guard<std::mutex> g(g_cache_mu);
  g_cache[key] = u;
  return u;
}

std::string cache_key(Session* s, const std::string& owner, const std::string& name, const char* type) {
  return (owner.empty() ? s->user : owner) + "\x1f" + name + "\x1f" + type;
}

}  // namespace

std::string pl_owner(Session* s, const std::string& schema) { return schema.empty() ? s->user : schema; }

int pl_run_ddl(Session* s, const std::string& text, Error* e) {
  DlError d;
  if (pl_text_kind(text) == PT_DROP) {
    // DROP PROCEDURE | FUNCTION | PACKAGE [BODY] [schema.]name
    std::string kind, schema, name;
    size_t i = 0;
    auto word = [&]() -> std::string {
      while (i < text.size() && std::isspace(static_cast<unsigned char>(text[i]))) ++i;
      std::string w;
      if (i < text.size() && text[i] == '"') {
        size_t end = text.find('"', i + 1);
        if (end == std::string::npos) return {};
        w = text.substr(i + 1, end - i - 1);
        i = end + 1;
        return w;
      }
      while (i < text.size() && (std::isalnum(static_cast<unsigned char>(text[i])) || text[i] == '_' ||
                                 text[i] == '$' || text[i] == '#'))
        w += static_cast<char>(std::toupper(static_cast<unsigned char>(text[i++])));
      return w;
    };
    word();  // DROP
    kind = word();
    size_t save = i;
    if (kind == "PACKAGE" && word() == "BODY") kind = "PACKAGE BODY";
    else if (kind == "PACKAGE") i = save;
    name = word();
    while (i < text.size() && std::isspace(static_cast<unsigned char>(text[i]))) ++i;
    if (i < text.size() && text[i] == '.') {
      ++i;
      schema = name;
      name = word();
    }
    while (i < text.size() && (std::isspace(static_cast<unsigned char>(text[i])) || text[i] == ';')) ++i;
    if (name.empty()) return err_set(e, 931), 931;
    if (i < text.size()) return err_set(e, 933), 933;
    std::string db = db_of(s, schema);
    std::string full = (schema.empty() ? s->user : schema) + "." + name;
    if (be_commit(s->conn, &d)) return err_from(e, d), d.code;
    if (!table_exists(s, db, "ORA$PLSQL")) return err_set(e, 4043, full.c_str()), 4043;
    std::string types = kind == "PACKAGE" ? "('PACKAGE', 'PACKAGE BODY')" : "('" + kind + "')";
    {
      Query q(s, "SELECT 1 FROM " + db + ".\"ORA$PLSQL\" WHERE NAME = ?1 AND TYPE = ?2");
      q.text(1, name);
      q.text(2, kind);
      if (q.step() != 1) return err_set(e, 4043, full.c_str()), 4043;
    }
    // The unit and (unless only a body goes) its argument rows, in one
    // transaction.
    if (be_begin(s->conn, &d)) return err_from(e, d), d.code;
    {
      Query q(s, "DELETE FROM " + db + ".\"ORA$PLSQL\" WHERE NAME = ?1 AND TYPE IN " + types);
      q.text(1, name);
      if (q.step() < 0) d = q.err;
    }
    if (!d.code && kind != "PACKAGE BODY") {
      Query q(s, "DELETE FROM " + db + ".\"ORA$ARGS\" WHERE UNIT = ?1");
      q.text(1, name);
      if (q.step() < 0) d = q.err;
    }
    if (d.code || be_commit(s->conn, &d)) {
      DlError x;
      be_rollback(s->conn, &x);
      return err_from(e, d), d.code ? d.code : 1;
    }
    return 0;
  }

  auto u = pl_parse(text, &d);
  if (!u) return err_from(e, d), d.code;
  std::string owner = pl_owner(s, u->schema);
  std::string db = db_of(s, u->schema);
  const char* type = type_text(u->kind);
  bool replace = false;
  {
    // "CREATE OR REPLACE" as its first words.
    std::vector<std::string> words;
    for (size_t k = 0; k < u->toks.size() && k < 3; ++k) words.push_back(u->toks[k].v);
    replace = words.size() >= 3 && words[1] == "OR" && words[2] == "REPLACE";
  }
  if (be_commit(s->conn, &d)) return err_from(e, d), d.code;
  if (schema_missing(s, u->schema))
    return err_set_text(e, 1918, "user '" + u->schema + "' does not exist"), 1918;
  // The name must not be taken by a table, a view or another kind of unit.
  {
    bool is_view = false;
    std::string rs, rn;
    std::vector<BeColumnInfo> cols;
    if (be_describe_object(s->conn, u->schema.empty() ? std::string() : (u->schema == s->user ? std::string() : u->schema),
                           u->name, &is_view, &rs, &rn, &cols, &d) == 0 && rn == u->name)
      return err_set(e, 955), 955;
  }
  if (ensure_tables(s, db, &d)) return err_from(e, d), d.code;
  {
    Query q(s, "SELECT TYPE FROM " + db + ".\"ORA$PLSQL\" WHERE NAME = ?1");
    q.text(1, u->name);
    while (q.step() == 1) {
      std::string t = q.col_text(0);
      bool pkg_pair = (u->kind == PU_PACKAGE && t == "PACKAGE BODY") || (u->kind == PU_PACKAGE_BODY && t == "PACKAGE");
      if (pkg_pair) continue;
      if (t != type || !replace) return err_set(e, 955), 955;
    }
  }
  // A package body is checked against what its package declares.
  if (u->ok && u->kind == PU_PACKAGE_BODY) {
    PlStored spec;
    if (!pl_find(s, u->schema, u->name, PU_PACKAGE, &spec)) {
      u->ok = false;
      u->error = "line 1, column 1:\nPLS-00201: identifier '" + u->name + "' must be declared";
    } else {
      std::string m = body_mismatch(*spec.unit, *u);
      if (!m.empty()) {
        u->ok = false;
        u->error = m;
      }
    }
  }
  std::string sql = "SAVEPOINT ocilite_unit";
  if (be_exec(s->conn, sql.c_str(), &d)) return err_from(e, d), d.code;
  auto fail = [&]() {
    DlError x;
    be_exec(s->conn, "ROLLBACK TO ocilite_unit; RELEASE ocilite_unit", &x);
    return err_from(e, d), d.code ? d.code : 1;
  };
  {
    Query q(s, "INSERT OR REPLACE INTO " + db + ".\"ORA$PLSQL\" VALUES (?1, ?2, ?3, ?4)");
    q.text(1, u->name);
    q.text(2, type);
    q.text(3, u->ok ? "VALID" : "INVALID");
    q.text(4, text);
    if (q.step() < 0) {
      d = q.err;
      return fail();
    }
  }
  if (u->kind != PU_PACKAGE_BODY) {
    Query q(s, "DELETE FROM " + db + ".\"ORA$ARGS\" WHERE UNIT = ?1");
    q.text(1, u->name);
    if (q.step() < 0) {
      d = q.err;
      return fail();
    }
    if (u->ok) {
      int id = 0;
      for (const PlSub& sub : u->subs)
        if (store_args(s, db, u->name, u->kind == PU_PACKAGE ? u->name : std::string(), ++id, sub, &d)) return fail();
    }
  }
  if (be_exec(s->conn, "RELEASE ocilite_unit", &d)) return fail();
  if (u->ok) {
    std::lock_guard<std::mutex> g(g_cache_mu);
    g_cache[cache_key(s, owner, u->name, type)] = u;
    return 0;
  }
  return err_set_text(e, 24344, "success with compilation error"), 24344;
}

bool pl_find(Session* s, const std::string& schema, const std::string& name, PlUnitKind type,
             PlStored* out) {
  std::string db = db_of(s, schema);
  if (schema_missing(s, schema)) return false;
  if (!table_exists(s, db, "ORA$PLSQL")) return false;
  std::string types = type == PU_PROCEDURE || type == PU_FUNCTION ? "('PROCEDURE', 'FUNCTION')"
                                                                 : std::string("('") + type_text(type) + "')";
  Query q(s, "SELECT TYPE, STATUS, SOURCE FROM " + db + ".\"ORA$PLSQL\" WHERE NAME = ?1 AND TYPE IN " + types);
  q.text(1, name);
  if (q.step() != 1) return false;
  std::string t = q.col_text(0);
  out->owner = pl_owner(s, schema == s->user ? std::string() : schema);
  out->valid = q.col_text(1) == "VALID";
  out->unit = cached_parse(cache_key(s, out->owner, name, t.c_str()), q.col_text(2));
  return out->unit != nullptr;
}

// ---- Describe ------------------------------------------------------------------

namespace {

Param* arg_param(Env* env, const PlArg* a, const PlType& t, ub2 position, int mode) {
  auto* p = new Param();
  p->env = env;
  p->ptype = OCI_PTYPE_ARG;
  p->position = position;
  p->col.name = a ? a->name : std::string();
  p->col.type.type = t.code;
  p->col.type.size = static_cast<uint32_t>(t.length);
  p->col.type.precision = static_cast<int16_t>(t.precision < 0 ? 0 : t.precision);
  p->col.type.scale = static_cast<int8_t>(t.scale < 0 ? 0 : t.scale);
  p->iomode = static_cast<ub1>(mode);
  p->has_default = a && !a->def.empty() ? 1 : 0;
  return p;
}

Param* sub_param(Env* env, const PlSub& sub, const std::string& owner) {
  auto* p = new Param();
  p->env = env;
  p->ptype = sub.function ? OCI_PTYPE_FUNC : OCI_PTYPE_PROC;
  p->obj_name = sub.name;
  p->obj_schema = owner;
  p->overload = static_cast<ub2>(sub.overload);
  p->columns = new Param();
  p->columns->env = env;
  p->columns->ptype = OCI_PTYPE_LIST;
  // A function's list starts with its result at position 0 (OCIParamGet
  // takes 0); a procedure's arguments are taken from 1.
  p->columns->from_zero = sub.function;
  if (sub.function) p->columns->items.push_back(arg_param(env, nullptr, sub.ret, 0, PL_OUT));
  ub2 pos = 0;
  for (const PlArg& a : sub.args) p->columns->items.push_back(arg_param(env, &a, a.type, ++pos, a.mode));
  return p;
}

}  // namespace

int pl_describe(Session* s, const std::string& schema, const std::string& name, unsigned objtyp,
                Param** root) {
  PlStored st;
  bool found = false;
  if (objtyp == OCI_PTYPE_PKG || objtyp == OCI_PTYPE_UNK) found = pl_find(s, schema, name, PU_PACKAGE, &st);
  if (!found && objtyp != OCI_PTYPE_PKG) found = pl_find(s, schema, name, PU_PROCEDURE, &st);
  if (!found) return 4043;
  const PlUnit& u = *st.unit;
  if (u.kind == PU_PROCEDURE && objtyp != OCI_PTYPE_PROC && objtyp != OCI_PTYPE_UNK) return 4043;
  if (u.kind == PU_FUNCTION && objtyp != OCI_PTYPE_FUNC && objtyp != OCI_PTYPE_UNK) return 4043;
  if (!st.valid || !u.ok) return 4063;
  if (u.kind == PU_PACKAGE) {
    auto* p = new Param();
    p->env = s->env;
    p->ptype = OCI_PTYPE_PKG;
    p->obj_name = u.name;
    p->obj_schema = st.owner;
    p->columns = new Param();
    p->columns->env = s->env;
    p->columns->ptype = OCI_PTYPE_LIST;
    for (const PlSub& sub : u.subs) p->columns->items.push_back(sub_param(s->env, sub, st.owner));
    *root = p;
    return 0;
  }
  *root = sub_param(s->env, u.subs.at(0), st.owner);
  return 0;
}

int pl_param_attr(Param* p, void* attributep, uint32_t* sizep, uint32_t attr, Error* e, bool* handled) {
  *handled = false;
  if (p->ptype != OCI_PTYPE_PROC && p->ptype != OCI_PTYPE_FUNC && p->ptype != OCI_PTYPE_PKG &&
      p->ptype != OCI_PTYPE_ARG)
    return 0;
  *handled = true;
  auto put = [&](auto v) -> int {
    if (!attributep) return OCI_ERROR;
    std::memcpy(attributep, &v, sizeof v);
    if (sizep) *sizep = sizeof v;
    return OCI_SUCCESS;
  };
  auto put_text = [&](const std::string& t) -> int {
    if (!attributep) return OCI_ERROR;
    const OraText* q = reinterpret_cast<const OraText*>(t.c_str());
    std::memcpy(attributep, &q, sizeof q);
    if (sizep) *sizep = static_cast<ub4>(t.size());
    return OCI_SUCCESS;
  };
  if (attr == OCI_ATTR_PTYPE) return put(static_cast<ub1>(p->ptype));
  if (p->ptype == OCI_PTYPE_ARG) {
    const DlColType& t = p->col.type;
    switch (attr) {
      case OCI_ATTR_NAME: return put_text(p->col.name);
      case OCI_ATTR_POSITION: return put(static_cast<ub2>(p->position));
      case OCI_ATTR_IOMODE: return put(static_cast<ub4>(p->iomode));
      case OCI_ATTR_DATA_TYPE: return put(static_cast<ub2>(t.type));
      case OCI_ATTR_PRECISION: return put(static_cast<ub1>(t.precision));
      case OCI_ATTR_SCALE: return put(static_cast<sb1>(t.scale));
      case OCI_ATTR_DATA_SIZE: return put(static_cast<ub2>(t.size));
      case OCI_ATTR_IS_NULL: return put(static_cast<ub1>(1));
      case OCI_ATTR_HAS_DEFAULT: return put(static_cast<ub1>(p->has_default));
      case OCI_ATTR_LEVEL: return put(static_cast<ub2>(0));
      case OCI_ATTR_RADIX: return put(static_cast<ub1>(t.type == 2 || t.type == 3 ? 10 : 0));
      case OCI_ATTR_CHARSET_FORM: return put(static_cast<ub1>(t.type == 1 || t.type == 96 || t.type == 112 ? 1 : 0));
      default: return err_set(e, 24315);
    }
  }
  switch (attr) {
    case OCI_ATTR_NAME:
    case OCI_ATTR_OBJ_NAME: return put_text(p->obj_name);
    case OCI_ATTR_OBJ_SCHEMA:
    case OCI_ATTR_SCHEMA_NAME: return put_text(p->obj_schema);
    case OCI_ATTR_LIST_ARGUMENTS:
      if (p->ptype == OCI_PTYPE_PKG) return err_set(e, 24315);
      return put(reinterpret_cast<OCIParam*>(p->columns));
    case OCI_ATTR_LIST_SUBPROGRAMS:
      if (p->ptype != OCI_PTYPE_PKG) return err_set(e, 24315);
      return put(reinterpret_cast<OCIParam*>(p->columns));
    case OCI_ATTR_OVERLOAD_ID: return put(static_cast<ub2>(p->overload));
    case OCI_ATTR_IS_INVOKER_RIGHTS: return put(static_cast<ub1>(0));
    default: return err_set(e, 24315);
  }
}

}  // namespace ocl
