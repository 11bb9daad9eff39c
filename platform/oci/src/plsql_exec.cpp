// The interpreter of anonymous blocks and stored units: it walks the parsed
// tree, keeps the variables, and hands every expression, condition and SQL
// statement to the dialect as SQL in which variables, placeholders and calls
// of stored functions are replaced by bound values.
#include <cmath>
#include <cstring>
#include <map>
#include <set>

#include "oci_int.h"
#include "plsql.h"

namespace ocl {

namespace {

// A REF CURSOR opened by OPEN ... FOR: the compiled query, stepped to its
// first row (its rows are those of the moment it was opened).
struct PlCursor {
  std::string text;
  DlStatement dl;
  BeStmt* be = nullptr;
  bool has_row = false;
  PlCursor() = default;
  PlCursor(const PlCursor&) = delete;
  PlCursor& operator=(const PlCursor&) = delete;
  ~PlCursor() { be_finalize(be); }
};

struct PlVal {
  BeType type = BE_NULL;
  int64_t i = 0;
  double d = 0;
  std::string s;
  uint16_t ora = DL_T_UNKNOWN;  // what the value is (DATE and NUMBER matter on output)
  std::shared_ptr<PlCursor> cur;
  bool is_cursor = false;

  BeValue be() const {
    BeValue v;
    v.type = type;
    v.i = i;
    v.d = d;
    v.p = s.data();
    v.n = s.size();
    return v;
  }
  static PlVal from(const BeValue& v, uint16_t ora) {
    PlVal r;
    r.type = v.type;
    r.i = v.i;
    r.d = v.d;
    if (v.type == BE_TEXT || v.type == BE_BLOB) r.s.assign(v.p, v.n);
    r.ora = ora;
    return r;
  }
  bool null() const { return type == BE_NULL && !is_cursor; }
};

struct Var {
  std::string name;
  PlType type;
  PlVal v;
  bool constant = false;
  bool not_null = false;
};

struct HostVar {
  std::string name;
  Bind* bind = nullptr;
  PlVal v;
  bool loaded = false, written = false;
};

// One running subprogram (or the block itself).
struct Frame {
  const PlUnit* unit = nullptr;
  std::shared_ptr<PlUnit> body_unit;  // keeps the unit alive while it runs
  std::vector<std::vector<Var>> scopes;
  PlVal ret;
  bool returned = false;
  bool function = false;
  PlType ret_type;
  std::string owner;  // schema of the running unit ("" own)
};

struct Prepared {
  DlStatement dl;
  BeStmt* be = nullptr;
};

// Column i of a stepped statement's row; a number is a NUMBER whatever the
// column was declared as.
PlVal column_value(Prepared* p, int i) {
  BeValue v;
  be_column(p->be, i, &v);
  DlColType meta;
  std::string cname;
  be_describe(p->be, &p->dl, i, &meta, &cname);
  return PlVal::from(v, v.type == BE_INT || v.type == BE_REAL ? static_cast<uint16_t>(DL_T_NUMBER) : meta.type);
}

// Where an assignment goes: a variable of a frame or a placeholder.
struct Ref {
  Var* var = nullptr;
  HostVar* host = nullptr;
};

std::string joined(const std::vector<std::string>& name) {
  std::string r;
  for (const auto& n : name) r += (r.empty() ? "" : ".") + n;
  return r;
}

struct Callee {
  std::shared_ptr<PlUnit> unit;  // the unit whose tokens the body uses
  const PlSub* sub = nullptr;
  std::string owner;
};

class Interp {
 public:
  Interp(Session* s, Stmt* st, Error* e) : s_(s), st_(st), e_(e) {}
  ~Interp() {
    for (auto& p : cache_) be_finalize(p.second.be);
  }
  Interp(const Interp&) = delete;
  Interp& operator=(const Interp&) = delete;

  int run_block(const PlUnit& u, ub4 iter);
  int64_t changes = 0;

 private:
  Session* s_;
  Stmt* st_;
  Error* e_;
  ub4 iter_ = 0;
  std::vector<HostVar> hosts_;
  std::map<std::string, Prepared> cache_;
  // Names already found to be no stored function: identifiers of SQL text
  // (columns, tables) are looked up once per run, not at every evaluation.
  std::set<std::string> not_function_;
  int depth_ = 0;
  bool exiting_ = false;
  int64_t rowcount_ = 0;

  // ---- errors
  int fail_text(int code, const std::string& text) {
    err_set_text(e_, code, text);
    return code;
  }
  int pls(const Frame& f, int tok, const std::string& msg) {
    return fail_text(6550, pl_where(*f.unit, tok) + "\n" + msg);
  }
  int from_dl(const DlError& d) {
    err_from(e_, d);
    return d.code ? d.code : 1;
  }
  int value_error(const char* why) { return fail_text(6502, std::string("PL/SQL: numeric or value error: ") + why); }

  // ---- variables
  Var* find_var(Frame& f, const std::string& name) {
    for (auto it = f.scopes.rbegin(); it != f.scopes.rend(); ++it)
      for (Var& v : *it)
        if (v.name == name) return &v;
    return nullptr;
  }
  HostVar* host(const std::string& name) {
    for (HostVar& h : hosts_)
      if (h.name == name) return &h;
    return nullptr;
  }
  int host_value(HostVar* h, PlVal* out);
  int declare(Frame& f, const std::vector<PlDecl>& decls);
  int convert(const PlType& t, PlVal* v);
  int assign(Ref r, PlVal v);
  int resolve_target(Frame& f, const PlTarget& t, Ref* r);

  // ---- expressions
  // Writes an expression or SQL statement as SQL, its variables, placeholders
  // and stored function calls as bound values. scope: the columns of the
  // statement's tables, whose names win over variables as in Oracle.
  int render(Frame& f, PlExpr e, std::string* sql, std::vector<PlVal>* binds,
             const std::set<std::string>* scope = nullptr);
  void scope_columns(Frame& f, PlExpr e, std::set<std::string>* out);
  std::map<std::string, std::vector<std::string>> table_cols_;
  int run_sql(const std::string& oracle_sql, const std::vector<PlVal>& binds, Prepared** out, bool fresh = false);
  // Runs head, the expression and tail as one query and steps to its row,
  // which the caller reads before resetting the statement.
  int query_row(Frame& f, PlExpr e, std::string head, const char* tail, Prepared** out);
  int eval(Frame& f, PlExpr e, PlVal* out);
  int cond(Frame& f, PlExpr e, bool* out);
  bool simple_call(Frame& f, PlExpr e, std::vector<std::string>* name, std::vector<PlActual>* args);

  // ---- statements and calls
  int exec(Frame& f, const std::vector<PlStmt>& stmts);
  int exec_one(Frame& f, const PlStmt& s);
  int resolve(Frame& f, const std::vector<std::string>& name, bool function, int tok,
              const std::vector<PlActual>& args, Callee* out);
  int call(Frame& f, const std::vector<std::string>& name, const std::vector<PlActual>& args, int tok,
           bool function, PlVal* result);
  int builtin(Frame& f, const std::string& name, const std::vector<PlActual>& args, int tok, bool* handled);
};

int Interp::host_value(HostVar* h, PlVal* out) {
  if (!h->loaded && !h->written) {
    h->loaded = true;
    if (h->bind->dty == SQLT_RSET) {
      h->v = PlVal{};
    } else {
      BeValue v;
      if (int rc = stmt_bind_input(h->bind, iter_, &v, e_)) return rc;
      uint16_t ora = DL_T_UNKNOWN;
      switch (h->bind->dty) {
        case SQLT_DAT: case SQLT_ODT: case SQLT_DATE: ora = DL_T_DATE; break;
        case SQLT_TIMESTAMP: ora = DL_T_TIMESTAMP; break;
        case SQLT_INT: case SQLT_UIN: case SQLT_FLT: case SQLT_NUM: case SQLT_VNU: case SQLT_BDOUBLE:
        case SQLT_BFLOAT: ora = DL_T_NUMBER; break;
        default: ora = DL_T_VARCHAR2; break;
      }
      h->v = PlVal::from(v, v.type == BE_NULL ? static_cast<uint16_t>(DL_T_UNKNOWN) : ora);
    }
  }
  *out = h->v;
  return 0;
}

// Converts a value to a variable's type (Oracle's implicit conversions for
// the types the language here has).
int Interp::convert(const PlType& t, PlVal* v) {
  if (t.cursor()) {
    if (!v->is_cursor && !v->null()) return fail_text(6550, "PLS-00382: expression is of wrong type");
    v->is_cursor = true;
    return 0;
  }
  if (v->is_cursor) return fail_text(6550, "PLS-00382: expression is of wrong type");
  if (v->type == BE_NULL) {
    v->ora = DL_T_UNKNOWN;
    return 0;
  }
  switch (t.code) {
    case 2:
    case 3: {
      if (v->type == BE_TEXT) {
        int64_t i = 0;
        double d = 0;
        int k = dl_parse_number(v->s.data(), v->s.size(), &i, &d);
        if (!k) return value_error("character to number conversion error");
        v->type = k == 1 ? BE_INT : BE_REAL;
        v->i = i;
        v->d = d;
        v->s.clear();
      } else if (v->type == BE_BLOB) {
        return value_error("character to number conversion error");
      }
      int scale = t.code == 3 ? 0 : t.scale;
      if (v->type == BE_REAL && scale >= 0 && (t.precision >= 0 || t.code == 3)) {
        double m = std::pow(10.0, scale);
        double r = std::round(v->d * m) / m;
        if (scale == 0 && std::fabs(r) < 9.2e18) {
          v->type = BE_INT;
          v->i = static_cast<int64_t>(r);
        } else {
          v->d = r;
        }
      }
      if (t.precision > 0) {
        double mag = v->type == BE_INT ? std::fabs(static_cast<double>(v->i)) : std::fabs(v->d);
        if (mag >= std::pow(10.0, t.precision - (scale > 0 ? scale : 0)))
          return value_error("number precision too large");
      }
      v->ora = DL_T_NUMBER;
      return 0;
    }
    case 1:
    case 96:
    case 112: {
      if (v->type == BE_INT || v->type == BE_REAL) {
        char buf[64];
        size_t n = v->type == BE_INT ? dl_int_text(v->i, buf) : dl_number_text(v->d, buf);
        v->s.assign(buf, n);
        v->type = BE_TEXT;
      } else if (v->type == BE_BLOB) {
        v->type = BE_TEXT;
      }
      const size_t chars = utf8_char_count(v->s.data(), v->s.size());
      if (t.length > 0 && chars > static_cast<size_t>(t.length))
        return value_error("character string buffer too small");
      // A CHAR(n) holds n characters: a shorter value is blank-padded.
      if (t.code == 96 && t.length > 0 && !v->s.empty()) v->s.append(static_cast<size_t>(t.length) - chars, ' ');
      v->ora = t.code == 1 ? DL_T_VARCHAR2 : t.code == 96 ? DL_T_CHAR : DL_T_CLOB;
      return 0;
    }
    case 12:
    case 187: {
      DlDateTime dt;
      bool ts = false;
      if (v->type != BE_TEXT || !dl_datetime_parse(v->s.data(), v->s.size(), &dt, &ts))
        return value_error("date conversion error");
      char buf[40];
      if (t.code == 12) dt.nanos = 0;
      size_t n = dl_datetime_text(&dt, t.code == 187, buf);
      v->s.assign(buf, n);
      v->ora = t.code == 12 ? DL_T_DATE : DL_T_TIMESTAMP;
      return 0;
    }
    default:
      return 0;
  }
}

int Interp::assign(Ref r, PlVal v) {
  if (r.var) {
    if (r.var->constant) return fail_text(6550, "PLS-00363: expression '" + r.var->name + "' cannot be used as an assignment target");
    if (int rc = convert(r.var->type, &v)) return rc;
    if (r.var->not_null && v.null()) return value_error("NULL assigned to a NOT NULL variable");
    r.var->v = std::move(v);
    return 0;
  }
  r.host->v = std::move(v);
  r.host->written = true;
  return 0;
}

int Interp::resolve_target(Frame& f, const PlTarget& t, Ref* r) {
  *r = Ref{};
  if (t.bind) {
    r->host = host(t.name);
    if (!r->host) return fail_text(1008, "not all variables bound");
    return 0;
  }
  r->var = find_var(f, t.name);
  if (!r->var) return pls(f, t.tok, "PLS-00201: identifier '" + t.name + "' must be declared");
  return 0;
}

int Interp::declare(Frame& f, const std::vector<PlDecl>& decls) {
  for (const PlDecl& d : decls) {
    Var v;
    v.name = d.name;
    v.type = d.type;
    if ((d.constant || d.not_null) && d.init.empty())
      return fail_text(6550, "PLS-00218: a variable declared NOT NULL must have an initialization assignment");
    if (!d.init.empty()) {
      PlVal x;
      if (int rc = eval(f, d.init, &x)) return rc;
      if (int rc = convert(d.type, &x)) return rc;
      v.v = std::move(x);
    }
    if (d.type.cursor()) v.v.is_cursor = true;
    if (d.not_null && v.v.null()) return value_error("NULL assigned to a NOT NULL variable");
    v.constant = d.constant;
    v.not_null = d.not_null;
    f.scopes.back().push_back(std::move(v));
  }
  return 0;
}

// ---- Expressions ---------------------------------------------------------------

bool is_sql_word(const std::string& w) {
  static const char* const words[] = {
      "NULL", "AND", "OR", "NOT", "IS", "IN", "LIKE", "BETWEEN", "CASE", "WHEN", "THEN", "ELSE", "END", "SELECT",
      "FROM", "WHERE", "GROUP", "BY", "ORDER", "HAVING", "DISTINCT", "AS", "ASC", "DESC", "UNION", "ALL", "INTO",
      "VALUES", "SET", "INSERT", "UPDATE", "DELETE", "EXISTS", "ANY", "SOME", "PRIOR", "ESCAPE", "TRUE", "FALSE",
      "SYSDATE", "SYSTIMESTAMP", "USER", "ROWNUM", "ROWID", "LEVEL", "DUAL", "JOIN", "ON", "LEFT", "RIGHT", "INNER",
      "OUTER", "FULL", "CROSS", "NULLS", "FIRST", "LAST", "WITH", "INTERVAL", "DATE", "TIMESTAMP", "MINUS",
      "INTERSECT", "FOR", "OF", "NOWAIT"};
  for (const char* x : words)
    if (w == x) return true;
  return false;
}

// Does the expression consist of one call "name[.name...] [(args)]"?
bool Interp::simple_call(Frame& f, PlExpr e, std::vector<std::string>* name, std::vector<PlActual>* args) {
  const auto& tk = f.unit->toks;
  int k = e.b;
  if (tk[static_cast<size_t>(k)].t != PK_WORD && tk[static_cast<size_t>(k)].t != PK_QID) return false;
  name->clear();
  args->clear();
  name->push_back(tk[static_cast<size_t>(k)].v);
  ++k;
  while (k + 1 < e.e && tk[static_cast<size_t>(k)].t == PK_OP && tk[static_cast<size_t>(k)].v == "." &&
         (tk[static_cast<size_t>(k + 1)].t == PK_WORD || tk[static_cast<size_t>(k + 1)].t == PK_QID)) {
    name->push_back(tk[static_cast<size_t>(k + 1)].v);
    k += 2;
  }
  if (k == e.e) return true;
  if (tk[static_cast<size_t>(k)].t != PK_OP || tk[static_cast<size_t>(k)].v != "(") return false;
  ++k;
  int depth = 0, start = k;
  std::string named;
  if (k < e.e && tk[static_cast<size_t>(k)].t == PK_OP && tk[static_cast<size_t>(k)].v == ")") return k + 1 == e.e;
  for (; k < e.e; ++k) {
    const PlTok& t = tk[static_cast<size_t>(k)];
    if (t.t == PK_OP && t.v == "(") ++depth;
    if (t.t == PK_OP && t.v == ")" && depth > 0) {
      --depth;
      continue;
    }
    if (depth) continue;
    if (k == start && (t.t == PK_WORD || t.t == PK_QID) && k + 1 < e.e && tk[static_cast<size_t>(k + 1)].v == "=>") {
      named = t.v;
      ++k;
      start = k + 1;
      continue;
    }
    if (t.t == PK_OP && (t.v == "," || t.v == ")")) {
      if (k == start) return false;
      args->push_back(PlActual{named, PlExpr{start, k}});
      named.clear();
      start = k + 1;
      if (t.v == ")") return k + 1 == e.e;
    }
  }
  return false;
}

// The columns of the tables a SQL statement reads or changes: those after
// FROM and JOIN, and the target of an UPDATE or DELETE. An INSERT's VALUES
// see no columns.
void Interp::scope_columns(Frame& f, PlExpr e, std::set<std::string>* out) {
  const auto& tk = f.unit->toks;
  auto name_at = [&](int k) {
    return k < e.e && (tk[static_cast<size_t>(k)].t == PK_WORD || tk[static_cast<size_t>(k)].t == PK_QID);
  };
  auto table = [&](int k) -> int {  // reads [schema.]table [alias]; the index after it
    if (!name_at(k)) return k;
    std::string schema, name = tk[static_cast<size_t>(k)].v;
    ++k;
    if (k + 1 < e.e && tk[static_cast<size_t>(k)].v == "." && name_at(k + 1)) {
      schema = name;
      name = tk[static_cast<size_t>(k + 1)].v;
      k += 2;
    }
    if (schema == s_->user) schema.clear();
    const std::string key = schema + "." + name;
    auto it = table_cols_.find(key);
    if (it == table_cols_.end()) {
      std::vector<std::string> names;
      bool is_view = false;
      std::string rs, rn;
      std::vector<BeColumnInfo> cols;
      DlError d;
      if (be_describe_object(s_->conn, schema, name, &is_view, &rs, &rn, &cols, &d) == 0)
        for (const auto& c : cols) names.push_back(c.name);
      it = table_cols_.emplace(key, std::move(names)).first;
    }
    out->insert(it->second.begin(), it->second.end());
    if (name_at(k) && !is_sql_word(tk[static_cast<size_t>(k)].v)) ++k;  // alias
    return k;
  };
  for (int k = e.b; k < e.e; ++k) {
    const PlTok& t = tk[static_cast<size_t>(k)];
    if (t.t != PK_WORD) continue;
    if (t.v == "FROM" || t.v == "JOIN") {
      int j = table(k + 1);
      while (j < e.e && tk[static_cast<size_t>(j)].t == PK_OP && tk[static_cast<size_t>(j)].v == ",") j = table(j + 1);
    } else if ((t.v == "UPDATE" || t.v == "DELETE") && k == e.b) {
      table(k + 1);
    }
  }
}

int Interp::render(Frame& f, PlExpr e, std::string* sql, std::vector<PlVal>* binds,
                   const std::set<std::string>* scope) {
  const auto& tk = f.unit->toks;
  const std::string& src = f.unit->src;
  auto placeholder = [&](PlVal v) {
    binds->push_back(std::move(v));
    *sql += " :PLV" + std::to_string(binds->size()) + " ";
  };
  // Column names that a statement's shape makes plain: the column list of
  // an INSERT and the SET targets of an UPDATE are never variables.
  std::vector<bool> column(static_cast<size_t>(e.e - e.b), false);
  auto word_at = [&](int k, const char* w) {
    return k >= e.b && k < e.e && tk[static_cast<size_t>(k)].t == PK_WORD && tk[static_cast<size_t>(k)].v == w;
  };
  auto op_at = [&](int k, const char* o) {
    return k >= e.b && k < e.e && tk[static_cast<size_t>(k)].t == PK_OP && tk[static_cast<size_t>(k)].v == o;
  };
  if (word_at(e.b, "INSERT")) {
    int k = e.b + 1;
    while (k < e.e && !op_at(k, "(") && !word_at(k, "VALUES") && !word_at(k, "SELECT")) ++k;
    if (op_at(k, "("))
      for (++k; k < e.e && !op_at(k, ")"); ++k) column[static_cast<size_t>(k - e.b)] = true;
  } else if (word_at(e.b, "UPDATE")) {
    for (int k = e.b + 1; k + 1 < e.e; ++k)
      if (op_at(k + 1, "=") && (word_at(k - 1, "SET") || op_at(k - 1, ","))) column[static_cast<size_t>(k - e.b)] = true;
  }
  for (int k = e.b; k < e.e; ++k) {
    const PlTok& t = tk[static_cast<size_t>(k)];
    if (column[static_cast<size_t>(k - e.b)]) {
      int from = k > e.b ? tk[static_cast<size_t>(k - 1)].end : t.off;
      *sql += src.substr(static_cast<size_t>(from), static_cast<size_t>(t.end - from));
      continue;
    }
    const bool after_dot = k > e.b && tk[static_cast<size_t>(k - 1)].t == PK_OP && tk[static_cast<size_t>(k - 1)].v == ".";
    if (t.t == PK_BIND) {
      HostVar* h = host(t.v);
      if (!h) return fail_text(1008, "not all variables bound");
      PlVal v;
      if (int rc = host_value(h, &v)) return rc;
      if (v.is_cursor) return fail_text(6550, "PLS-00382: expression is of wrong type");
      placeholder(std::move(v));
      continue;
    }
    if ((t.t == PK_WORD || t.t == PK_QID) && !after_dot) {
      // SQL%ROWCOUNT and friends.
      if (t.t == PK_WORD && t.v == "SQL" && k + 2 < e.e && tk[static_cast<size_t>(k + 1)].v == "%") {
        const std::string& a = tk[static_cast<size_t>(k + 2)].v;
        PlVal v;
        if (a == "ROWCOUNT") {
          v.type = BE_INT;
          v.i = rowcount_;
        } else if (a == "FOUND" || a == "NOTFOUND") {
          *sql += (rowcount_ > 0) == (a == "FOUND") ? " (1=1) " : " (1=0) ";
          k += 2;
          continue;
        } else {
          return pls(f, k, "PLS-00201: identifier 'SQL%" + a + "' must be declared");
        }
        placeholder(std::move(v));
        k += 2;
        continue;
      }
      const bool dotted = k + 1 < e.e && tk[static_cast<size_t>(k + 1)].t == PK_OP && tk[static_cast<size_t>(k + 1)].v == ".";
      const bool paren = k + 1 < e.e && tk[static_cast<size_t>(k + 1)].t == PK_OP && tk[static_cast<size_t>(k + 1)].v == "(";
      if (!dotted && !paren && scope && scope->count(t.v)) {
        int from = k > e.b ? tk[static_cast<size_t>(k - 1)].end : t.off;
        *sql += src.substr(static_cast<size_t>(from), static_cast<size_t>(t.end - from));
        continue;
      }
      if (!dotted && !paren) {
        if (Var* v = find_var(f, t.v)) {
          if (v->v.is_cursor) return fail_text(6550, "PLS-00382: expression is of wrong type");
          if (v->type.code == 252) {
            *sql += v->v.null() ? " NULL " : v->v.i ? " (1=1) " : " (1=0) ";
            continue;
          }
          placeholder(v->v);
          continue;
        }
      }
      if (t.t == PK_WORD && is_sql_word(t.v)) {
        *sql += " " + src.substr(static_cast<size_t>(t.off), static_cast<size_t>(t.end - t.off));
        continue;
      }
      // A stored function: name[.name[.name]] [(args)].
      int j = k;
      std::vector<std::string> name{t.v};
      while (j + 2 < e.e && tk[static_cast<size_t>(j + 1)].v == "." &&
             (tk[static_cast<size_t>(j + 2)].t == PK_WORD || tk[static_cast<size_t>(j + 2)].t == PK_QID) &&
             name.size() < 3) {
        name.push_back(tk[static_cast<size_t>(j + 2)].v);
        j += 2;
      }
      int end = j + 1;
      if (end < e.e && tk[static_cast<size_t>(end)].v == "(" && tk[static_cast<size_t>(end)].t == PK_OP) {
        int depth = 0;
        for (; end < e.e; ++end) {
          if (tk[static_cast<size_t>(end)].t != PK_OP) continue;
          if (tk[static_cast<size_t>(end)].v == "(") ++depth;
          if (tk[static_cast<size_t>(end)].v == ")" && --depth == 0) break;
        }
        ++end;
      }
      Callee c;
      std::vector<std::string> cname;
      std::vector<PlActual> args;
      if (simple_call(f, PlExpr{k, end}, &cname, &args) && cname.size() == name.size()) {
        const std::string key = joined(name);
        if (!not_function_.count(key) && resolve(f, name, true, k, args, &c) == 0 && c.sub) {
          PlVal v;
          if (int rc = call(f, name, args, k, true, &v)) return rc;
          if (v.is_cursor) return fail_text(6550, "PLS-00382: expression is of wrong type");
          placeholder(std::move(v));
          k = end - 1;
          continue;
        }
        not_function_.insert(key);
        err_clear(e_);
      }
    }
    // Anything else is SQL as written.
    int from = k > e.b ? tk[static_cast<size_t>(k - 1)].end : t.off;
    *sql += src.substr(static_cast<size_t>(from), static_cast<size_t>(t.end - from));
  }
  return 0;
}

int Interp::run_sql(const std::string& text, const std::vector<PlVal>& binds, Prepared** out, bool fresh) {
  Prepared* p = nullptr;
  Prepared local;
  if (!fresh) {
    auto it = cache_.find(text);
    if (it != cache_.end()) p = &it->second;
  }
  if (!p) {
    DlError d;
    DlStatement dl;
    if (dl_translate(text.data(), text.size(), &s_->dl, &dl, &d)) return from_dl(d);
    if (fresh && dl.kind == DL_SELECT) {
      // A cursor's rows are those of the moment it is opened: its first
      // step copies them aside, so later changes of the session stay unseen.
      dl.sql = "WITH \"ORA$OPEN\" AS MATERIALIZED (" + dl.sql + ") SELECT * FROM \"ORA$OPEN\"";
    }
    BeStmt* be = nullptr;
    if (be_prepare(s_->conn, dl.sql, &be, &d)) return from_dl(d);
    if (fresh) {
      local.dl = std::move(dl);
      local.be = be;
      p = new Prepared(std::move(local));
    } else {
      Prepared& slot = cache_[text];
      slot.dl = std::move(dl);
      slot.be = be;
      p = &slot;
    }
  }
  be_reset(p->be);
  be_clear_bindings(p->be);
  for (const DlBind& b : p->dl.binds) {
    size_t n = static_cast<size_t>(std::atoi(b.name + 3));
    if (std::strncmp(b.name, "PLV", 3) != 0 || n == 0 || n > binds.size()) {
      if (fresh) {
        be_finalize(p->be);
        delete p;
      }
      return fail_text(1008, "not all variables bound");
    }
    DlError d;
    if (be_bind(p->be, b.param, binds[n - 1].be(), &d)) {
      if (fresh) {
        be_finalize(p->be);
        delete p;
      }
      return from_dl(d);
    }
  }
  *out = p;
  return 0;
}

int Interp::query_row(Frame& f, PlExpr e, std::string head, const char* tail, Prepared** out) {
  std::vector<PlVal> binds;
  if (int rc = render(f, e, &head, &binds)) return rc;
  head += tail;
  if (int rc = run_sql(head, binds, out)) return rc;
  DlError d;
  if (be_step((*out)->be, &d) < 0) return from_dl(d);
  return 0;
}

int Interp::eval(Frame& f, PlExpr e, PlVal* out) {
  const auto& tk = f.unit->toks;
  // Single tokens need no SQL.
  if (e.e == e.b + 1) {
    const PlTok& t = tk[static_cast<size_t>(e.b)];
    if (t.t == PK_STR) {
      *out = PlVal{};
      if (!t.v.empty()) {
        out->type = BE_TEXT;
        out->s = t.v;
        out->ora = DL_T_VARCHAR2;
      }
      return 0;
    }
    if (t.t == PK_BIND) {
      HostVar* h = host(t.v);
      if (!h) return fail_text(1008, "not all variables bound");
      return host_value(h, out);
    }
    if (t.t == PK_WORD && t.v == "NULL") {
      *out = PlVal{};
      return 0;
    }
    if (t.t == PK_WORD || t.t == PK_QID)
      if (Var* v = find_var(f, t.v)) {
        *out = v->v;
        return 0;
      }
  }
  // A call of a function returning a cursor cannot pass through SQL.
  std::vector<std::string> name;
  std::vector<PlActual> args;
  if (simple_call(f, e, &name, &args)) {
    Callee c;
    if (!(name.size() == 1 && find_var(f, name[0])) && resolve(f, name, true, e.b, args, &c) == 0 && c.sub)
      return call(f, name, args, e.b, true, out);
    err_clear(e_);
  }
  Prepared* p = nullptr;
  if (int rc = query_row(f, e, "SELECT ", " FROM DUAL", &p)) return rc;
  *out = column_value(p, 0);
  be_reset(p->be);
  return 0;
}

int Interp::cond(Frame& f, PlExpr e, bool* out) {
  const auto& tk = f.unit->toks;
  if (e.e == e.b + 1 && (tk[static_cast<size_t>(e.b)].t == PK_WORD || tk[static_cast<size_t>(e.b)].t == PK_QID)) {
    const std::string& w = tk[static_cast<size_t>(e.b)].v;
    if (w == "TRUE" || w == "FALSE") {
      *out = w == "TRUE";
      return 0;
    }
    if (Var* v = find_var(f, w); v && v->type.code == 252) {
      *out = !v->v.null() && v->v.i != 0;
      return 0;
    }
  }
  Prepared* p = nullptr;
  if (int rc = query_row(f, e, "SELECT CASE WHEN ", " THEN 1 ELSE 0 END FROM DUAL", &p)) return rc;
  BeValue v;
  be_column(p->be, 0, &v);
  *out = v.type == BE_INT && v.i == 1;
  be_reset(p->be);
  return 0;
}

// ---- Statements -------------------------------------------------------------------

int Interp::exec(Frame& f, const std::vector<PlStmt>& stmts) {
  for (const PlStmt& s : stmts) {
    if (int rc = exec_one(f, s)) return rc;
    if (f.returned || exiting_) return 0;
  }
  return 0;
}

int Interp::exec_one(Frame& f, const PlStmt& s) {
  if (s_->brk.load()) return fail_text(1013, ora_text(1013));
  switch (s.kind) {
    case PlStmt::NUL:
      return 0;
    case PlStmt::ASSIGN: {
      Ref r;
      if (int rc = resolve_target(f, s.target, &r)) return rc;
      PlVal v;
      if (r.var && r.var->type.code == 252) {
        bool b = false;
        if (int rc = cond(f, s.expr, &b)) return rc;
        v.type = BE_INT;
        v.i = b;
      } else if (int rc = eval(f, s.expr, &v)) {
        return rc;
      }
      return assign(r, std::move(v));
    }
    case PlStmt::IF: {
      for (size_t i = 0; i < s.conds.size(); ++i) {
        bool b = false;
        if (int rc = cond(f, s.conds[i], &b)) return rc;
        if (b) return exec(f, s.parts[i]);
      }
      if (s.parts.size() > s.conds.size()) return exec(f, s.parts.back());
      return 0;
    }
    case PlStmt::LOOP:
    case PlStmt::WHILE:
      for (;;) {
        if (s.kind == PlStmt::WHILE) {
          bool b = false;
          if (int rc = cond(f, s.conds[0], &b)) return rc;
          if (!b) break;
        }
        if (int rc = exec(f, s.parts[0])) return rc;
        if (f.returned) return 0;
        if (exiting_) {
          exiting_ = false;
          break;
        }
        if (s_->brk.load()) return fail_text(1013, ora_text(1013));
      }
      return 0;
    case PlStmt::FOR: {
      PlVal lo, hi;
      PlType it;
      it.name = "BINARY_INTEGER";
      it.code = 3;
      if (int rc = eval(f, s.lo, &lo)) return rc;
      if (int rc = eval(f, s.hi, &hi)) return rc;
      if (lo.null() || hi.null()) return value_error("NULL index table key value");
      if (int rc = convert(it, &lo)) return rc;
      if (int rc = convert(it, &hi)) return rc;
      f.scopes.emplace_back();
      Var v;
      v.name = s.var;
      v.type = it;
      v.constant = true;
      f.scopes.back().push_back(v);
      int rc = 0;
      for (int64_t i = s.reverse ? hi.i : lo.i; s.reverse ? i >= lo.i : i <= hi.i; i += s.reverse ? -1 : 1) {
        Var& lv = f.scopes.back()[0];
        lv.v = PlVal{};
        lv.v.type = BE_INT;
        lv.v.i = i;
        lv.v.ora = DL_T_NUMBER;
        if ((rc = exec(f, s.parts[0]))) break;
        if (f.returned) break;
        if (exiting_) {
          exiting_ = false;
          break;
        }
        if (s_->brk.load()) {
          rc = fail_text(1013, ora_text(1013));
          break;
        }
      }
      f.scopes.pop_back();
      return rc;
    }
    case PlStmt::EXIT: {
      bool b = true;
      if (!s.expr.empty())
        if (int rc = cond(f, s.expr, &b)) return rc;
      exiting_ = b;
      return 0;
    }
    case PlStmt::RETURN:
      if (f.function) {
        if (s.expr.empty()) return pls(f, s.tok, "PLS-00503: RETURN <value> statement required for this return from function");
        PlVal v;
        if (int rc = eval(f, s.expr, &v)) return rc;
        if (int rc = convert(f.ret_type, &v)) return rc;
        f.ret = std::move(v);
      }
      f.returned = true;
      return 0;
    case PlStmt::OPEN: {
      Ref r;
      if (int rc = resolve_target(f, s.target, &r)) return rc;
      if (r.var && !r.var->type.cursor()) return pls(f, s.tok, "PLS-00382: expression is of wrong type");
      std::string sql;
      std::vector<PlVal> binds;
      std::set<std::string> scope;
      scope_columns(f, s.expr, &scope);
      if (int rc = render(f, s.expr, &sql, &binds, &scope)) return rc;
      Prepared* p = nullptr;
      if (int rc = run_sql(sql, binds, &p, true)) return rc;
      auto cur = std::make_shared<PlCursor>();
      cur->text = sql;
      cur->dl = std::move(p->dl);
      cur->be = p->be;
      delete p;
      if (cur->dl.kind != DL_SELECT) return pls(f, s.tok, "PLS-00103: Encountered the symbol \"" + sql + "\"");
      DlError d;
      int rc = be_step(cur->be, &d);
      if (rc < 0) return from_dl(d);
      cur->has_row = rc == 1;
      PlVal v;
      v.is_cursor = true;
      v.cur = std::move(cur);
      if (r.var) {
        r.var->v = std::move(v);
        return 0;
      }
      return assign(r, std::move(v));
    }
    case PlStmt::SELECT_INTO: {
      std::string sql = "SELECT ";
      std::vector<PlVal> binds;
      std::set<std::string> scope;
      scope_columns(f, s.rest, &scope);
      if (int rc = render(f, s.list, &sql, &binds, &scope)) return rc;
      sql += " ";
      if (int rc = render(f, s.rest, &sql, &binds, &scope)) return rc;
      Prepared* p = nullptr;
      if (int rc = run_sql(sql, binds, &p)) return rc;
      DlError d;
      int r = be_step(p->be, &d);
      if (r < 0) return from_dl(d);
      if (r == 0) {
        be_reset(p->be);
        return fail_text(1403, "no data found");
      }
      int ncols = be_column_count(p->be);
      if (ncols != static_cast<int>(s.into.size()))
        return pls(f, s.tok, ncols < static_cast<int>(s.into.size()) ? "PL/SQL: ORA-00947: not enough values"
                                                                      : "PL/SQL: ORA-00913: too many values");
      std::vector<PlVal> vals;
      for (int i = 0; i < ncols; ++i) vals.push_back(column_value(p, i));
      r = be_step(p->be, &d);
      be_reset(p->be);
      if (r < 0) return from_dl(d);
      if (r == 1) return fail_text(1422, "exact fetch returns more than requested number of rows");
      rowcount_ = 1;
      for (size_t i = 0; i < s.into.size(); ++i) {
        Ref t;
        if (int rc = resolve_target(f, s.into[i], &t)) return rc;
        if (int rc = assign(t, std::move(vals[i]))) return rc;
      }
      return 0;
    }
    case PlStmt::DML: {
      std::string sql;
      std::vector<PlVal> binds;
      std::set<std::string> scope;
      scope_columns(f, s.expr, &scope);
      if (int rc = render(f, s.expr, &sql, &binds, &scope)) return rc;
      Prepared* p = nullptr;
      if (int rc = run_sql(sql, binds, &p)) return rc;
      DlError d;
      for (;;) {
        int r = be_step(p->be, &d);
        if (r < 0) {
          be_reset(p->be);
          return from_dl(d);
        }
        if (r == 0) break;
      }
      be_reset(p->be);
      rowcount_ = be_changes(s_->conn);
      changes += rowcount_ ? rowcount_ : 1;
      return 0;
    }
    case PlStmt::CALL:
      return call(f, s.name, s.args, s.tok, false, nullptr);
    case PlStmt::BLOCK: {
      f.scopes.emplace_back();
      int rc = declare(f, s.block->decls);
      if (!rc) rc = exec(f, s.block->stmts);
      f.scopes.pop_back();
      return rc;
    }
  }
  return 0;
}

// ---- Calls ----------------------------------------------------------------------

namespace {

// Can the subprogram take these actual arguments?
bool fits(const PlSub& sub, const std::vector<PlActual>& args) {
  size_t positional = 0;
  for (const PlActual& a : args) {
    if (!a.named.empty()) break;
    ++positional;
  }
  if (positional > sub.args.size()) return false;
  std::vector<bool> given(sub.args.size(), false);
  for (size_t i = 0; i < positional; ++i) given[i] = true;
  for (size_t i = positional; i < args.size(); ++i) {
    if (args[i].named.empty()) return false;
    bool found = false;
    for (size_t j = 0; j < sub.args.size(); ++j)
      if (sub.args[j].name == args[i].named && !given[j]) {
        given[j] = true;
        found = true;
      }
    if (!found) return false;
  }
  for (size_t j = 0; j < sub.args.size(); ++j)
    if (!given[j] && sub.args[j].def.empty()) return false;
  return true;
}

}  // namespace

int Interp::resolve(Frame& f, const std::vector<std::string>& name, bool function, int tok,
                    const std::vector<PlActual>& args, Callee* out) {
  *out = Callee{};
  // Candidates: (unit to run, subprograms to choose from, owner, invalid unit name).
  std::shared_ptr<PlUnit> run_unit;
  std::vector<const PlSub*> cands;
  std::string owner, invalid;
  auto package = [&](const std::string& schema, const std::string& pkg, const std::string& sub) -> bool {
    PlStored spec;
    if (!pl_find(s_, schema, pkg, PU_PACKAGE, &spec)) return false;
    owner = spec.owner;
    PlStored body;
    if (!spec.valid || !pl_find(s_, schema, pkg, PU_PACKAGE_BODY, &body) || !body.valid) {
      invalid = spec.owner + "." + pkg;
      return true;
    }
    run_unit = body.unit;
    bool in_spec = false;
    for (const PlSub& s : spec.unit->subs) in_spec = in_spec || s.name == sub;
    if (!in_spec) return true;  // private: not callable from outside
    for (const PlSub& s : body.unit->subs)
      if (s.name == sub && s.body) cands.push_back(&s);
    return true;
  };
  auto standalone = [&](const std::string& schema, const std::string& unit) -> bool {
    PlStored st;
    if (!pl_find(s_, schema, unit, PU_PROCEDURE, &st)) return false;
    owner = st.owner;
    if (!st.valid || !st.unit->ok) {
      invalid = st.owner + "." + unit;
      return true;
    }
    run_unit = st.unit;
    cands.push_back(&st.unit->subs.at(0));
    return true;
  };
  bool found = false;
  if (name.size() == 1) {
    // The running package's own subprograms come first.
    if (f.unit->kind == PU_PACKAGE_BODY) {
      for (const PlSub& s : f.unit->subs)
        if (s.name == name[0] && s.body) cands.push_back(&s);
      if (!cands.empty()) {
        found = true;
        run_unit = f.body_unit;
        owner = f.owner;
      }
    }
    if (!found) found = standalone(std::string(), name[0]);
  } else if (name.size() == 2) {
    found = package(std::string(), name[0], name[1]);
    if (!found) found = standalone(name[0], name[1]);
  } else {
    found = package(name[0], name[1], name[2]);
  }
  if (!found || (cands.empty() && invalid.empty()))
    return pls(f, tok, "PLS-00201: identifier '" + joined(name) + "' must be declared");
  if (!invalid.empty()) return pls(f, tok, "PLS-00905: object " + invalid + " is invalid");
  const PlSub* pick = nullptr;
  for (const PlSub* c : cands)
    if (c->function == function && fits(*c, args)) {
      pick = c;
      break;
    }
  if (!pick) {
    bool kind_exists = false;
    for (const PlSub* c : cands) kind_exists = kind_exists || c->function == function;
    if (!kind_exists)
      return pls(f, tok, "PLS-" + std::string(function ? "00222: no function with name '" : "00221: '") +
                             name.back() + (function ? "' exists in this scope" : "' is not a procedure or is undefined"));
    return pls(f, tok, "PLS-00306: wrong number or types of arguments in call to '" + name.back() + "'");
  }
  out->unit = run_unit;
  out->sub = pick;
  out->owner = owner;
  return 0;
}

int Interp::builtin(Frame& f, const std::string& name, const std::vector<PlActual>& args, int tok, bool* handled) {
  *handled = false;
  if (name != "RAISE_APPLICATION_ERROR" || find_var(f, name)) return 0;
  *handled = true;
  if (args.size() < 2 || args.size() > 3)
    return pls(f, tok, "PLS-00306: wrong number or types of arguments in call to 'RAISE_APPLICATION_ERROR'");
  PlVal code, msg;
  if (int rc = eval(f, args[0].e, &code)) return rc;
  if (int rc = eval(f, args[1].e, &msg)) return rc;
  PlType num;
  num.code = 2;
  PlType text;
  text.code = 1;
  if (int rc = convert(num, &code)) return rc;
  if (int rc = convert(text, &msg)) return rc;
  int64_t n = code.type == BE_INT ? code.i : static_cast<int64_t>(code.d);
  if (code.null() || n > -20000 || n < -20999)
    return fail_text(21000, "error number argument to raise_application_error of " +
                                (code.null() ? std::string() : std::to_string(n)) + " is out of range");
  std::string m = msg.s.substr(0, 2048);
  return fail_text(static_cast<int>(-n), m);
}

int Interp::call(Frame& f, const std::vector<std::string>& name, const std::vector<PlActual>& args, int tok,
                 bool function, PlVal* result) {
  if (!function && name.size() == 1) {
    bool handled = false;
    int rc = builtin(f, name[0], args, tok, &handled);
    if (handled) return rc;
  }
  Callee c;
  if (int rc = resolve(f, name, function, tok, args, &c)) return rc;
  if (depth_ >= 50) return fail_text(36, "maximum number of recursive SQL levels (50) exceeded");
  const PlSub& sub = *c.sub;
  Frame callee;
  callee.unit = c.unit.get();
  callee.body_unit = c.unit;
  callee.owner = c.owner;
  callee.function = sub.function;
  callee.ret_type = sub.ret;
  callee.scopes.emplace_back();
  // Package variables, then the arguments.
  if (c.unit->kind == PU_PACKAGE_BODY)
    if (int rc = declare(callee, c.unit->decls)) return rc;
  // Actuals by formal.
  std::vector<const PlActual*> actual(sub.args.size(), nullptr);
  size_t k = 0;
  for (const PlActual& a : args) {
    if (a.named.empty()) {
      actual[k++] = &a;
    } else {
      for (size_t j = 0; j < sub.args.size(); ++j)
        if (sub.args[j].name == a.named) actual[j] = &a;
    }
  }
  std::vector<Ref> outs(sub.args.size());
  callee.scopes.emplace_back();
  for (size_t j = 0; j < sub.args.size(); ++j) {
    const PlArg& fa = sub.args[j];
    Var v;
    v.name = fa.name;
    v.type = fa.type;
    v.constant = fa.mode == PL_IN;
    if (fa.mode != PL_IN) {
      if (!actual[j]) return pls(f, tok, "PLS-00306: wrong number or types of arguments in call to '" + name.back() + "'");
      // The actual must be a variable or a placeholder.
      const PlExpr& x = actual[j]->e;
      const PlTok& t = f.unit->toks[static_cast<size_t>(x.b)];
      if (x.e != x.b + 1 || (t.t != PK_BIND && t.t != PK_WORD && t.t != PK_QID))
        return pls(f, x.b, "PLS-00363: expression '" + t.v + "' cannot be used as an assignment target");
      PlTarget tg;
      tg.bind = t.t == PK_BIND;
      tg.name = t.v;
      tg.tok = x.b;
      if (int rc = resolve_target(f, tg, &outs[j])) return rc;
      if (outs[j].var && outs[j].var->constant)
        return pls(f, x.b, "PLS-00363: expression '" + t.v + "' cannot be used as an assignment target");
    }
    if (fa.mode != PL_OUT) {
      PlVal x;
      if (actual[j]) {
        if (int rc = eval(f, actual[j]->e, &x)) return rc;
      } else {
        if (int rc = eval(callee, fa.def, &x)) return rc;
      }
      if (int rc = convert(fa.type, &x)) return rc;
      v.v = std::move(x);
    }
    if (fa.type.cursor()) v.v.is_cursor = true;
    callee.scopes.back().push_back(std::move(v));
  }
  callee.scopes.emplace_back();
  ++depth_;
  int rc = declare(callee, sub.body->decls);
  if (!rc) rc = exec(callee, sub.body->stmts);
  --depth_;
  exiting_ = false;
  if (rc) return rc;
  if (sub.function && !callee.returned) return fail_text(6503, "PL/SQL: Function returned without value");
  // OUT and IN OUT values go back to their actuals.
  for (size_t j = 0; j < sub.args.size(); ++j) {
    if (sub.args[j].mode == PL_IN) continue;
    PlVal v = callee.scopes[1][j].v;
    if (v.is_cursor && outs[j].var && !outs[j].var->type.cursor())
      return pls(f, tok, "PLS-00306: wrong number or types of arguments in call to '" + name.back() + "'");
    if (int rc2 = assign(outs[j], std::move(v))) return rc2;
  }
  if (result) *result = std::move(callee.ret);
  return 0;
}

int Interp::run_block(const PlUnit& u, ub4 iter) {
  iter_ = iter;
  hosts_.clear();
  for (const std::string& n : u.binds) {
    HostVar h;
    h.name = n;
    int pos = 0;
    for (const DlBind& b : st_->dl.binds)
      if (n == b.name) pos = b.position;
    h.bind = stmt_find_bind(st_, pos, n);
    if (!h.bind) return fail_text(1008, "not all variables bound");
    hosts_.push_back(std::move(h));
  }
  Frame f;
  f.unit = &u;
  f.scopes.emplace_back();
  if (int rc = declare(f, u.decls)) return rc;
  if (int rc = exec(f, u.body->stmts)) return rc;
  exiting_ = false;
  // Values assigned to placeholders go to their binds.
  for (HostVar& h : hosts_) {
    if (!h.written) continue;
    if (h.bind->dty == SQLT_RSET) {
      // The bind's value is the address of the statement handle.
      Stmt* target = nullptr;
      if (void* vp = h.bind->valuep) {
        void* inner = nullptr;
        std::memcpy(&inner, vp, sizeof inner);
        target = as<Stmt>(inner, OCI_HTYPE_STMT);
      }
      if (!target) return fail_text(1008, "not all variables bound");
      if (!h.v.is_cursor && !h.v.null()) return fail_text(6550, "PLS-00382: expression is of wrong type");
      if (h.v.cur && h.v.cur->be) {
        BeStmt* be = h.v.cur->be;
        h.v.cur->be = nullptr;
        stmt_adopt_cursor(target, s_, h.v.cur->text, std::move(h.v.cur->dl), be, h.v.cur->has_row);
      } else {
        stmt_unopened_cursor(target);
      }
      if (h.bind->indp) static_cast<sb2*>(h.bind->indp)[iter] = 0;
      continue;
    }
    if (h.v.is_cursor) return fail_text(6550, "PLS-00382: expression is of wrong type");
    // A character value longer than its bind's buffer fails the block, as
    // a PL/SQL assignment to a too short variable does.
    if (h.v.type == BE_TEXT && !h.bind->ocb && h.bind->valuep) {
      long room = -1;
      switch (h.bind->dty) {
        case SQLT_CHR: case SQLT_AFC: case SQLT_AVC: case SQLT_LNG: room = h.bind->value_sz; break;
        case SQLT_STR: room = h.bind->value_sz - 1; break;
        case SQLT_VCS: room = h.bind->value_sz - 2; break;
        case SQLT_LVC: room = h.bind->value_sz - 4; break;
        default: break;
      }
      size_t need = h.v.s.size();
      if (h.bind->csid == OCI_UTF16ID) {
        size_t units = 0;
        utf8_to_utf16(h.v.s.data(), h.v.s.size(), nullptr, 0, &units);
        need = units * 2;
      }
      if (room >= 0 && need > static_cast<size_t>(room)) return value_error("character string buffer too small");
    }
    DlColType meta;
    meta.type = h.v.ora ? h.v.ora : static_cast<uint16_t>(DL_T_VARCHAR2);
    if (int rc = stmt_bind_output(h.bind, h.v.be(), meta, e_, iter)) return rc;
  }
  return 0;
}

}  // namespace

int pl_execute(Session* s, Stmt* st, Error* e, uint32_t iters, uint32_t rowoff, uint32_t mode) {
  const PlUnit& u = *st->pl;
  DlError d;
  const bool opened = !be_in_transaction(s->conn);
  if (opened && be_begin(s->conn, &d)) return err_from(e, d), d.code;
  Interp in(s, st, e);  // one for all rows: its compiled SQL serves them all
  for (uint32_t i = 0; i < iters; ++i) {
    // Each run of the block keeps none of its changes when it fails.
    if (be_exec_kept(s->conn, "SAVEPOINT ocilite_block", &d)) return err_from(e, d), d.code;
    int rc = in.run_block(u, rowoff + i);
    if (rc) {
      // The failing run's changes go; earlier runs stay done (committed
      // when the call commits on success), as for DML arrays.
      DlError x;
      be_exec_kept(s->conn, "ROLLBACK TO ocilite_block", &x);
      be_exec_kept(s->conn, "RELEASE ocilite_block", &x);
      if (opened && i == 0) be_rollback(s->conn, &x);
      else if (mode & OCI_COMMIT_ON_SUCCESS) be_commit(s->conn, &x);
      return rc;
    }
    be_exec_kept(s->conn, "RELEASE ocilite_block", &d);
  }
  st->row_count = iters;
  if ((mode & OCI_COMMIT_ON_SUCCESS) || (opened && in.changes == 0)) {
    if (be_commit(s->conn, &d)) return err_from(e, d), d.code;
  }
  return 0;
}

}  // namespace ocl
