// Statements: prepare (with the statement cache), binds and defines, execute
// (DML arrays in one call, implicit transactions, DDL commits, non-blocking
// mode) and the array fetch with its piecewise path for LONG columns.
#include <algorithm>
#include <cctype>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <thread>

#include "oci_int.h"
#include "plsql.h"

namespace ocl {

namespace {

bool is_lob_dty(ub2 dty) { return dty == SQLT_CLOB || dty == SQLT_BLOB || dty == SQLT_BFILEE; }

// Statement kinds that run as compiled SQL with binds.
bool runs_compiled(const DlStatement& dl) {
  if (dl.ddl) return false;
  switch (dl.kind) {
    case DL_COMMIT:
    case DL_ROLLBACK:
    case DL_SAVEPOINT:
    case DL_ROLLBACK_TO:
    case DL_SET_TRANSACTION:
    case DL_ALTER_SESSION:
    case DL_LOCK_TABLE:
    case DL_OTHER_DDL:
    case DL_CREATE:
    case DL_DROP:
    case DL_ALTER:
      return false;
    default:
      return !dl.sql.empty();
  }
}

bool is_query(const Stmt* st) { return st->dl.kind == DL_SELECT && !st->dl.plsql_result; }

void free_params(Stmt* st) {
  for (Param* p : st->col_params) delete p;
  st->col_params.clear();
}

void reset_exec_state(Stmt* st) {
  if (st->be) be_reset(st->be);
  st->executed = false;
  st->has_row = false;
  st->eof = false;
  st->row_count = 0;
  st->rows_fetched = 0;
  st->ps = PieceState{};
}

// Translates the text for the session (its schema name and settings are part
// of the translation). 0 or the Oracle error number, with the record in *e.
int translate(Stmt* st, Session* s, Error* e) {
  if (st->translated && st->translated_for == s) {
    if (st->dl_rc) err_from(e, st->dl_err);
    return st->dl_rc;
  }
  stmt_uncompile(st);
  // Synonyms another session made or dropped decide what a name reaches.
  if (s && s->conn) be_check_ddl(s->conn);
  st->dl = DlStatement{};
  st->dl_err = DlError{};
  st->pl.reset();
  st->pl_ddl = false;
  if (PlTextKind pk = pl_text_kind(st->text); pk != PT_NONE) {
    // Stored code and anonymous blocks go to the interpreter.
    st->ret = Returning{};
    st->translated = true;
    st->translated_for = s;
    st->described = false;
    st->cols.clear();
    free_params(st);
    st->dl_rc = 0;
    if (pk == PT_BLOCK) {
      auto u = pl_parse(st->text, &st->dl_err);
      bool declare = false;
      for (size_t i = 0; i < st->text.size(); ++i)
        if (!std::isspace(static_cast<unsigned char>(st->text[i]))) {
          declare = std::toupper(static_cast<unsigned char>(st->text[i])) == 'D';
          break;
        }
      st->dl.kind = declare ? DL_DECLARE : DL_BEGIN;
      if (!u->ok) {
        st->dl_rc = 6550;
        st->dl_err.code = 6550;
        std::snprintf(st->dl_err.message, sizeof st->dl_err.message, "%s", u->error.c_str());
        err_from(e, st->dl_err);
        return st->dl_rc;
      }
      int pos = 0;
      for (const std::string& n : u->binds) {
        DlBind b;
        std::snprintf(b.name, sizeof b.name, "%s", n.c_str());
        b.position = ++pos;
        st->dl.binds.push_back(b);
      }
      st->dl.position_count = pos;
      st->pl = std::move(u);
    } else {
      st->dl.kind = pk == PT_CREATE ? DL_CREATE : DL_DROP;
      st->dl.ddl = true;
      st->pl_ddl = true;
    }
    return 0;
  }
  std::string stripped;
  if (split_returning(st->text, &stripped, &st->ret)) {
    st->dl_rc = dl_translate(stripped.data(), stripped.size(), s ? &s->dl : nullptr, &st->dl,
                             &st->dl_err);
    // The INTO placeholders follow every placeholder of the statement.
    int pos = st->dl.position_count;
    for (auto& it : st->ret.items) it.position = ++pos;
    if (st->dl.kind != DL_INSERT && st->dl.kind != DL_UPDATE && st->dl.kind != DL_DELETE)
      st->ret = Returning{};
  } else {
    st->ret = Returning{};
    st->dl_rc = dl_translate(st->text.data(), st->text.size(), s ? &s->dl : nullptr, &st->dl,
                             &st->dl_err);
  }
  st->translated = true;
  st->translated_for = s;
  st->described = false;
  st->cols.clear();
  free_params(st);
  if (st->dl_rc) err_from(e, st->dl_err);
  return st->dl_rc;
}

int compile(Stmt* st, Session* s, Error* e) {
  if (st->be && st->be_session == s) return 0;
  stmt_uncompile(st);
  DlError d;
  BeStmt* b = nullptr;
  std::string sql = st->dl.sql;
  if (!st->ret.items.empty()) {
    // SQLite hands back the rowid and the values of every changed row.
    while (!sql.empty() && (std::isspace(static_cast<unsigned char>(sql.back())) || sql.back() == ';'))
      sql.pop_back();
    sql += " RETURNING rowid";
    for (const auto& it : st->ret.items) {
      sql += ", \"";
      for (char c : it.column) {
        if (c == '"') sql += '"';
        sql += c;
      }
      sql += "\"";
    }
  }
  if (int rc = be_prepare(s->conn, sql, &b, &d)) {
    err_from(e, d);
    return rc;
  }
  if (int rc = be_check_compiled(b, &st->dl, &d)) {
    be_finalize(b);
    err_from(e, d);
    return rc;
  }
  st->be = b;
  st->be_session = s;
  s->compiled.insert(st);
  return 0;
}

void describe(Stmt* st) {
  int n = be_column_count(st->be);
  st->cols.assign(static_cast<size_t>(n), ColMeta{});
  for (int i = 0; i < n; ++i) be_describe(st->be, &st->dl, i, &st->cols[i].type, &st->cols[i].name);
  free_params(st);
  st->described = true;
}

// Prepares st for session s (null: only translate; the environment's session
// is not known yet).
sword prepare(Stmt* st, Session* s, Error* e, const OraText* text, ub4 len) {
  drop_job(st);
  stmt_free_binds(st);
  stmt_uncompile(st);
  reset_exec_state(st);
  st->translated = false;
  st->translated_for = nullptr;
  st->described = false;
  st->cols.clear();
  free_params(st);
  st->text.assign(reinterpret_cast<const char*>(text), len);
  st->prepared = false;
  if (translate(st, s, e)) return OCI_ERROR;
  if (s && runs_compiled(st->dl)) {
    CallScope call(s);
    if (compile(st, s, e)) return OCI_ERROR;
  }
  st->prepared = true;
  return OCI_SUCCESS;
}

// Upper-cases an unquoted placeholder name and drops the colon.
std::string bind_name(const OraText* p, sb4 len) {
  std::string n(reinterpret_cast<const char*>(p), len < 0 ? std::strlen(reinterpret_cast<const char*>(p))
                                                         : static_cast<size_t>(len));
  if (!n.empty() && n[0] == ':') n.erase(0, 1);
  if (n.size() >= 2 && n.front() == '"' && n.back() == '"') return n.substr(1, n.size() - 2);
  for (auto& c : n) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
  return n;
}

// ---- Binding one row ----------------------------------------------------------

struct RowValue {
  BeValue v;
  bool set = false;
};

// Reads the bind's value for one iteration (input side).
// A bound value that cannot be stored: 3001 names the number and the limit.
sword bind_value_error(Error* e, int code, const std::string& detail) {
  if (code == 3001 && !detail.empty()) return err_set_text(e, code, dl_number_inexact_message(detail));
  return err_set(e, code);
}

int bind_value(Bind* b, ub4 iter, BeValue* v, Error* e) {
  *v = BeValue{};
  if (b->mode & OCI_DATA_AT_EXEC) {
    if (!b->icb) return err_set(e, 3001), 3001;
    b->scratch.clear();
    ub1 piece = OCI_ONE_PIECE;
    bool any = false, null = false;
    for (int guard = 0; guard < 1000000; ++guard) {
      void* buf = nullptr;
      ub4 alen = 0;
      void* ind = nullptr;
      piece = OCI_ONE_PIECE;
      sb4 rc = b->icb(b->ictx, reinterpret_cast<OCIBind*>(b), iter, 0, &buf, &alen, &piece, &ind);
      if (rc != OCI_CONTINUE) return err_set(e, 1013), 1013;
      if (ind && *static_cast<sb2*>(ind) == -1) null = true;
      if (buf && alen) {
        b->scratch.append(static_cast<const char*>(buf), alen);
        any = true;
      }
      if (piece == OCI_ONE_PIECE || piece == OCI_LAST_PIECE) break;
    }
    if (null || !any) return 0;  // NULL
    std::string raw;
    raw.swap(b->scratch);
    int rc = get_value(raw.data(), static_cast<sb4>(raw.size()), b->dty, b->csid == OCI_UTF16ID, v,
                       &b->scratch);
    if (rc) return bind_value_error(e, rc, b->scratch), rc;
    if (v->p == raw.data()) {  // keep the bytes alive in the bind
      b->scratch = std::move(raw);
      v->p = b->scratch.data();
    }
    return 0;
  }
  if (b->indp && static_cast<sb2*>(b->indp)[iter] == -1) return 0;
  if (!b->valuep) return 0;
  const char* elem = static_cast<const char*>(b->valuep) + static_cast<size_t>(iter) * b->value_sz;
  sb4 len = b->alenp ? b->alenp[iter] : b->value_sz;
  int rc = get_value(elem, len, b->dty, b->csid == OCI_UTF16ID, v, &b->scratch);
  if (rc) return bind_value_error(e, rc, b->scratch), rc;
  // Oracle stores a zero-length character or raw value as NULL; a LOB stays.
  if ((v->type == BE_TEXT || v->type == BE_BLOB) && v->n == 0 && !is_lob_dty(b->dty))
    v->type = BE_NULL;
  return 0;
}

Bind* find_bind(Stmt* st, int position, const std::string& name) {
  Bind* by_name = nullptr;
  for (Bind* b : st->binds) {
    if (b->pos && static_cast<int>(b->pos) == position) return b;
    if (!b->pos && b->name == name) by_name = b;
  }
  return by_name;
}

Bind* find_bind(Stmt* st, const DlBind& occ) {
  Bind* by_name = nullptr;
  for (Bind* b : st->binds) {
    if (b->pos && static_cast<int>(b->pos) == occ.position) return b;
    if (!b->pos && b->name == occ.name) by_name = b;
  }
  return by_name;
}

// A text stored into a NUMBER column is converted by SQLite, which would
// round a number beyond what it keeps exactly: refuse it as a number bind is.
// Every text bind of an INSERT or UPDATE passes here: the text is looked at
// in place, copied only for the error.
int check_number_text(Stmt* st, const DlBind& occ, const BeValue& v, Error* e) {
  const char* t = v.p;
  size_t n = v.n;
  while (n > 0 && *t == ' ') ++t, --n;
  while (n > 0 && t[n - 1] == ' ') --n;
  if (n == 0) return 0;
  int64_t i = 0;
  double d = 0;
  if (dl_parse_number(t, n, &i, &d) == 0 || dl_number_exact(t, n)) return 0;
  if (!be_column_is_number(st->be, st->dl.target_schema, st->dl.target_table, occ.target_column,
                           occ.target_index))
    return 0;
  return bind_value_error(e, 3001, std::string(t, n)), 3001;
}

int bind_row(Stmt* st, ub4 iter, Error* e) {
  auto& done = st->row_values;
  done.clear();
  for (const DlBind& occ : st->dl.binds) {
    if (occ.output) continue;
    Bind* b = find_bind(st, occ);
    if (!b) return err_set(e, 1008), 1008;
    BeValue v;
    auto it = std::find_if(done.begin(), done.end(), [b](auto& p) { return p.first == b; });
    if (it != done.end()) {
      v = it->second;
    } else {
      if (int rc = bind_value(b, iter, &v, e)) return rc;
      done.emplace_back(b, v);
    }
    if (v.type == BE_TEXT && (occ.target_index >= 0 || !occ.target_column.empty()))
      if (int rc = check_number_text(st, occ, v, e)) return rc;
    DlError d;
    if (int rc = be_bind(st->be, occ.param, v, &d)) return err_from(e, d), rc;
  }
  return 0;
}

// Writes a value to an output bind (PL/SQL assignment target).
int put_out_bind(Bind* b, const BeValue& v, const DlColType& meta, Error* e, ub4 iter = 0,
                 ub4 index = 0, const Returning* ret = nullptr, const std::string* column = nullptr,
                 int64_t rowid = 0) {
  Sink s;
  s.dty = b->dty;
  s.utf16 = b->csid == OCI_UTF16ID;
  s.env = b->env;
  if (b->ocb) {
    void* buf = nullptr;
    ub4* alen = nullptr;
    ub1 piece = OCI_ONE_PIECE;
    void* ind = nullptr;
    ub2* rcode = nullptr;
    sb4 rc = b->ocb(b->octx, reinterpret_cast<OCIBind*>(b), iter, index, &buf, &alen, &piece, &ind,
                    &rcode);
    if (rc != OCI_CONTINUE) return err_set(e, 1013), 1013;
    s.buf = static_cast<char*>(buf);
    s.size = alen ? static_cast<sb4>(*alen) : b->value_sz;
    s.alen4 = alen;
    s.ind = static_cast<sb2*>(ind);
    s.rcode = rcode;
  } else {
    if (index > 0) return 0;  // more rows than one per iteration need callbacks
    s.buf = static_cast<char*>(b->valuep) + static_cast<size_t>(iter) * b->value_sz;
    s.size = b->value_sz;
    s.ind = b->indp ? static_cast<sb2*>(b->indp) + iter : nullptr;
    s.alen = b->alenp ? b->alenp + iter : nullptr;
    s.rcode = b->rcodep ? b->rcodep + iter : nullptr;
  }
  if (is_lob_dty(b->dty)) {
    // A LOB comes back as a locator of its row, so that writes through it
    // reach the table. The buffer holds the locator or a pointer to it.
    if (!s.buf) return err_set(e, 22275), 22275;
    Lob* lob = as<Lob>(s.buf, OCI_DTYPE_LOB);
    if (!lob) {
      void* p = nullptr;
      std::memcpy(&p, s.buf, sizeof p);
      lob = as<Lob>(p, OCI_DTYPE_LOB);
    }
    if (!lob) return err_set(e, 22275), 22275;
    lob->changed();
    lob->init = true;
    lob->lobtype = static_cast<ub1>(b->dty);
    lob->csform = b->csform;
    if (v.type == BE_TEXT || v.type == BE_BLOB) lob->data.assign(v.p, v.n);
    else lob->data.clear();
    if (ret && column) {
      lob->located = true;
      lob->schema = ret->schema;
      lob->table = ret->table;
      lob->column = *column;
      lob->rowid = rowid;
    }
    if (s.ind) *s.ind = 0;
    if (s.rcode) *s.rcode = 0;
    if (s.alen4) *s.alen4 = sizeof(void*);
    return 0;
  }
  int ora = 0;
  switch (put_value(s, v, meta, &ora)) {
    case PUT_OK:
    case PUT_TRUNCATED:
      return 0;
    case PUT_NULL_NO_IND:
      return err_set(e, 1405), 1405;
    default:
      return err_set(e, ora), ora;
  }
}

// ---- Execution ----------------------------------------------------------------

// Before DDL: statements of the session still reading a result would keep
// their tables locked; Oracle lets DDL through, so their cursors end here.
void close_cursors(Session* s, Stmt* except) {
  for (Stmt* o : s->compiled) {
    if (o == except || !o->be) continue;
    if (o->has_row || (o->executed && !o->eof)) {
      be_reset(o->be);
      o->has_row = false;
      o->eof = true;
    }
  }
}

int run_ddl(Session* s, Stmt* st, Error* e) {
  DlError d;
  if (be_commit(s->conn, &d)) return err_from(e, d), d.code;
  close_cursors(s, st);
  if (!st->dl.constraint.table.empty()) {
    const int rc = dl_alter_constraint(be_sqlite(s->conn), &st->dl, &s->dl, &d);
    be_note_ddl(s->conn);  // a failure may have undone a half-made table
    if (rc) return err_from(e, d), d.code;
    return 0;
  }
  if (be_exec(s->conn, st->dl.sql.c_str(), &d)) return err_from(e, d), d.code;
  be_note_ddl(s->conn);
  return 0;
}

// The work of one DML execution, undone unless kept. When the statement
// opened the transaction (always so in autocommit) undoing ends it, so no
// transaction stays open holding locks and an old snapshot, to be committed
// later by another statement. Inside a transaction the application opened,
// a savepoint taken before the statement brings just its work back.
class StmtWork {
 public:
  StmtWork(BeConn* c, bool autocommit) : c_(c), opened_(!be_in_transaction(c)), autocommit_(autocommit) {
    DlError d;
    if (!opened_) saved_ = be_exec_kept(c_, "SAVEPOINT ocilite_stmt", &d) == 0;
  }
  StmtWork(const StmtWork&) = delete;
  StmtWork& operator=(const StmtWork&) = delete;
  ~StmtWork() { keep(); }
  // Failed: the failing row's own change is already gone and the rows before
  // it are reported done, so they stay (committed at once in autocommit);
  // when nothing was done, or the statement was broken off, all is undone.
  void failed(bool nothing_done) {
    if (nothing_done) {
      undo();
    } else if (autocommit_) {
      DlError d;
      if (be_commit(c_, &d)) undo();
    }
    keep();
  }
  void undo() {
    DlError d;
    if (opened_) {
      be_rollback(c_, &d);
    } else if (saved_) {
      be_exec_kept(c_, "ROLLBACK TO ocilite_stmt", &d);
    }
    opened_ = false;
  }
  void keep() {
    DlError d;
    if (saved_ && be_in_transaction(c_)) be_exec_kept(c_, "RELEASE ocilite_stmt", &d);
    saved_ = false;
    opened_ = false;
  }

 private:
  BeConn* c_;
  bool opened_, autocommit_, saved_ = false;
};

int run_dml(Session* s, Stmt* st, Error* e, ub4 iters, ub4 rowoff) {
  DlError d;
  if (be_begin(s->conn, &d)) return err_from(e, d), d.code;
  for (ub4 i = 0; i < iters; ++i) {
    be_reset(st->be);
    if (int rc = bind_row(st, rowoff + i, e)) return rc;
    ub4 returned = 0;
    for (;;) {
      int rc = be_step(st->be, &d);
      if (rc == 0) break;
      if (rc < 0) return err_from(e, d), d.code;
      if (st->ret.items.empty()) continue;
      // One changed row: its rowid, then the RETURNING columns.
      BeValue rid;
      be_column(st->be, 0, &rid);
      for (size_t j = 0; j < st->ret.items.size(); ++j) {
        const ReturnItem& it = st->ret.items[j];
        Bind* b = find_bind(st, it.position, it.name);
        if (!b) return err_set(e, 1008), 1008;
        BeValue v;
        be_column(st->be, static_cast<int>(j + 1), &v);
        DlColType meta;
        if (int r = put_out_bind(b, v, meta, e, rowoff + i, returned, &st->ret, &it.column, rid.i))
          return r;
      }
      ++returned;
    }
    for (const auto& it : st->ret.items)
      if (Bind* b = find_bind(st, it.position, it.name)) b->rows_returned = returned;
    st->row_count += static_cast<ub4>(be_changes(s->conn));
  }
  be_reset(st->be);
  return 0;
}

int run_plsql_result(Session* s, Stmt* st, Error* e) {
  be_reset(st->be);
  if (int rc = bind_row(st, 0, e)) return rc;
  DlError d;
  int rc = be_step(st->be, &d);
  if (rc < 0) return err_from(e, d), d.code;
  if (rc == 0) {
    be_reset(st->be);
    return err_set(e, 1403), 1403;
  }
  BeValue v;
  be_column(st->be, 0, &v);
  DlColType meta;
  std::string name;
  be_describe(st->be, &st->dl, 0, &meta, &name);
  for (const DlBind& occ : st->dl.binds) {
    if (!occ.output) continue;
    Bind* b = find_bind(st, occ);
    if (!b) {
      be_reset(st->be);
      return err_set(e, 1008), 1008;
    }
    if (int r = put_out_bind(b, v, meta, e)) {
      be_reset(st->be);
      return r;
    }
  }
  be_reset(st->be);
  st->row_count = 1;
  return 0;
}

int run_other(Session* s, Stmt* st, Error* e) {
  DlError d;
  int rc = 0;
  switch (st->dl.kind) {
    case DL_COMMIT:
      rc = be_commit(s->conn, &d);
      break;
    case DL_ROLLBACK:
      rc = be_rollback(s->conn, &d);
      break;
    case DL_SAVEPOINT:
      rc = be_begin(s->conn, &d);
      if (!rc) rc = be_exec(s->conn, st->dl.sql.c_str(), &d);
      break;
    case DL_ROLLBACK_TO:
      if (!be_in_transaction(s->conn)) return err_set(e, 1086, st->dl.savepoint.c_str()), 1086;
      rc = be_exec(s->conn, st->dl.sql.c_str(), &d);
      if (rc) return err_set(e, 1086, st->dl.savepoint.c_str()), 1086;
      break;
    case DL_SET_TRANSACTION:
    case DL_LOCK_TABLE:
      rc = be_begin(s->conn, &d);
      break;
    case DL_ALTER_SESSION:
      rc = dl_session_apply(&s->dl, &st->dl, &d);
      break;
    default:
      if (st->dl.sql.empty()) return 0;
      rc = be_exec(s->conn, st->dl.sql.c_str(), &d);
      break;
  }
  if (rc) err_from(e, d);
  return rc;
}

}  // namespace

int stmt_bind_input(Bind* b, ub4 iter, BeValue* v, Error* e) { return bind_value(b, iter, v, e); }

int stmt_bind_output(Bind* b, const BeValue& v, const DlColType& meta, Error* e, ub4 iter) {
  return put_out_bind(b, v, meta, e, iter);
}

Bind* stmt_find_bind(Stmt* st, int position, const std::string& name) { return find_bind(st, position, name); }

void stmt_adopt_cursor(Stmt* st, Session* s, const std::string& text, DlStatement&& dl, BeStmt* be,
                       bool has_row) {
  drop_job(st);
  stmt_uncompile(st);
  reset_exec_state(st);
  for (Define* d : st->defines) delete d;
  st->defines.clear();
  st->text = text;
  st->pl.reset();
  st->pl_ddl = false;
  st->ret = Returning{};
  st->dl = std::move(dl);
  st->dl_rc = 0;
  st->translated = true;
  st->translated_for = s;
  st->prepared = true;
  st->be = be;
  st->be_session = s;
  s->compiled.insert(st);
  st->exec_session = s;
  st->fo_epoch = s->fo_epoch;
  st->described = false;
  describe(st);
  st->executed = true;
  st->has_row = has_row;
  st->eof = !has_row;
}

void stmt_unopened_cursor(Stmt* st) {
  drop_job(st);
  stmt_uncompile(st);
  reset_exec_state(st);
  st->dl = DlStatement{};
  st->pl.reset();
  st->pl_ddl = false;
  st->translated = false;
  st->prepared = true;
  st->described = false;
  st->cols.clear();
  free_params(st);
}

bool session_has_open_cursor(Session* s) {
  for (Stmt* st : s->compiled)
    if (st->executed && !st->eof && st->be && st->be_session == s && is_query(st)) return true;
  return false;
}

void stmt_uncompile(Stmt* st) {
  if (!st->be) return;
  if (st->be_session) st->be_session->compiled.erase(st);
  be_finalize(st->be);
  st->be = nullptr;
  st->be_session = nullptr;
  st->has_row = false;
}

void stmt_free_binds(Stmt* st) {
  for (Bind* b : st->binds) delete b;
  st->binds.clear();
  for (Define* d : st->defines) delete d;
  st->defines.clear();
}

void drop_job(Stmt* st) {
  if (!st->job) return;
  if (st->job->th.joinable()) st->job->th.join();
  if (Session* s = st->job->session; s && is_live(s)) {
    std::lock_guard<std::mutex> g(s->job_mu);
    s->jobs.erase(st);
  }
  st->job.reset();
}

Stmt::~Stmt() {
  drop_job(this);
  if (cache_owner && is_live(cache_owner)) {
    std::lock_guard<std::recursive_mutex> g(cache_owner->call_mu);
    cache_owner->cache.remove(this);
  }
  if (be_session && is_live(be_session)) {
    std::lock_guard<std::recursive_mutex> g(be_session->call_mu);
    stmt_uncompile(this);
  } else {
    be_finalize(be);
    be = nullptr;
  }
  stmt_free_binds(this);
  free_params(this);
}

// Fetches up to nrows rows into the defines; see OCIStmtFetch.
sword stmt_fetch(Stmt* st, Error* e, ub4 nrows);

sword stmt_execute(SvcCtx* svc, Stmt* st, Error* e, ub4 iters, ub4 rowoff, ub4 mode) {
  Session* s = svc_session(svc);
  if (!s) return err_set(e, 1012);
  if (!st->prepared) return err_set(e, 24337);
  sword f = fault_check(OCILITE_T_EXECUTE, e);
  if (f == OCI_ERROR) return f;
  if (failover_check(OCILITE_T_EXECUTE, svc, s->server, e) != OCI_SUCCESS) return OCI_ERROR;
  CallScope call(s);
  PoolUse use(s, e);
  if (!use.ok) return OCI_ERROR;
  st->fo_epoch = s->fo_epoch;
  if (!fault_slow(OCILITE_T_EXECUTE, s, e)) return OCI_ERROR;
  if (translate(st, s, e)) return OCI_ERROR;
  bool compiled = runs_compiled(st->dl);
  if (compiled && compile(st, s, e)) return OCI_ERROR;
  st->exec_session = s;
  dl_session_statement_start(&s->dl);

  if (mode & OCI_DESCRIBE_ONLY) {
    reset_exec_state(st);
    if (compiled && is_query(st)) describe(st);
    return f;
  }
  bool query = is_query(st);
  if (iters == 0 && !query) return err_set(e, 24333);
  reset_exec_state(st);
  if (st->pl_ddl) {
    close_cursors(s, st);
    int rc = pl_run_ddl(s, st->text, e);
    if (rc && rc != 24344) return OCI_ERROR;
    st->executed = true;
    return rc == 24344 ? OCI_SUCCESS_WITH_INFO : f;
  }
  if (st->pl) {
    if (pl_execute(s, st, e, iters, rowoff, mode)) return OCI_ERROR;
    st->executed = true;
    return f;
  }

  int rc = 0;
  if (query) {
    DlError d;
    if (st->dl.has_for_update && be_lock_for_update(s->conn, st->dl.sql, st->dl.for_update_wait_ms, &d))
      return err_from(e, d);
    if (bind_row(st, rowoff, e)) return OCI_ERROR;
    rc = be_step(st->be, &d);
    if (rc == 1) {
      st->has_row = true;
    } else if (rc == 0) {
      st->eof = true;
      be_reset(st->be);
    } else {
      return err_from(e, d);
    }
    if (!st->described) describe(st);
    st->executed = true;
    if (iters > 0) {
      sword fr = stmt_fetch(st, e, iters);
      if (fr != OCI_SUCCESS) return fr;
    }
  } else if (st->dl.ddl || !compiled) {
    rc = st->dl.ddl ? run_ddl(s, st, e) : run_other(s, st, e);
    if (rc) return OCI_ERROR;
    st->executed = true;
  } else if (st->dl.plsql_result) {
    if (run_plsql_result(s, st, e)) return OCI_ERROR;
    st->executed = true;
  } else {
    // DML arrays run as one call; a failing row stops the array, the rows
    // before it stay done and ROW_COUNT counts them.
    be_check_ddl(s->conn);
    StmtWork work(s->conn, (mode & OCI_COMMIT_ON_SUCCESS) != 0);
    if (run_dml(s, st, e, iters, rowoff)) {
      work.failed(st->row_count == 0 || s->brk.load());
      return OCI_ERROR;
    }
    // A break that came while the statement ran cancels it even when it got
    // to its end: an answer of ORA-01013 always means nothing was done.
    if (s->brk.load()) {
      work.undo();
      return err_set(e, 1013);
    }
    if (mode & OCI_COMMIT_ON_SUCCESS) {
      DlError d;
      if (be_commit(s->conn, &d)) {
        work.undo();
        return err_from(e, d);
      }
    }
    work.keep();
    st->executed = true;
    return f;
  }
  if (mode & OCI_COMMIT_ON_SUCCESS) {
    DlError d;
    if (be_commit(s->conn, &d)) return err_from(e, d);
  }
  return f;
}

namespace {

// The common cases of the fetch path written straight into the define's
// buffer: integers, doubles, character values with a length prefix or NUL,
// and dates. False sends the value through put_value.
inline bool put_fast(const Define* d, ub4 row, const BeValue& v, const DlColType& meta) {
  char* buf = static_cast<char*>(d->valuep) + static_cast<size_t>(row) * d->value_sz;
  const sb4 size = d->value_sz;
  size_t len;
  switch (d->dty) {
    case SQLT_INT:
      if (v.type != BE_INT) return false;
      if (size >= 8) {
        std::memcpy(buf, &v.i, 8);
        len = 8;
      } else if (size == 4 && v.i >= INT32_MIN && v.i <= INT32_MAX) {
        int32_t i = static_cast<int32_t>(v.i);
        std::memcpy(buf, &i, 4);
        len = 4;
      } else {
        return false;
      }
      break;
    case SQLT_BDOUBLE:
    case SQLT_FLT:
      if (size < 8) return false;
      if (v.type == BE_REAL) {
        std::memcpy(buf, &v.d, 8);
      } else if (v.type == BE_INT) {
        double x = static_cast<double>(v.i);
        std::memcpy(buf, &x, 8);
      } else {
        return false;
      }
      len = 8;
      break;
    case SQLT_VCS:
    case SQLT_STR:
    case SQLT_CHR:
      if (v.type != BE_TEXT || d->csid == OCI_UTF16ID || meta.type == DL_T_CHAR) return false;
      if (d->dty == SQLT_VCS) {
        if (v.n + 2 > static_cast<size_t>(size)) return false;
        ub2 n = static_cast<ub2>(v.n);
        std::memcpy(buf, &n, 2);
        std::memcpy(buf + 2, v.p, v.n);
        len = v.n + 2;
      } else if (d->dty == SQLT_STR) {
        if (v.n + 1 > static_cast<size_t>(size)) return false;
        std::memcpy(buf, v.p, v.n);
        buf[v.n] = '\0';
        len = v.n;
      } else {
        if (v.n > static_cast<size_t>(size)) return false;
        std::memcpy(buf, v.p, v.n);
        len = v.n;
      }
      break;
    case SQLT_DAT: {
      DlDateTime dt;
      if (size < 7 || !stored_datetime(v, &dt)) return false;
      auto* b = reinterpret_cast<unsigned char*>(buf);
      b[0] = static_cast<unsigned char>(dt.year / 100 + 100);
      b[1] = static_cast<unsigned char>(dt.year % 100 + 100);
      b[2] = static_cast<unsigned char>(dt.month);
      b[3] = static_cast<unsigned char>(dt.day);
      b[4] = static_cast<unsigned char>(dt.hour + 1);
      b[5] = static_cast<unsigned char>(dt.minute + 1);
      b[6] = static_cast<unsigned char>(dt.second + 1);
      len = 7;
      break;
    }
    default:
      return false;
  }
  if (d->indp) static_cast<sb2*>(d->indp)[row] = 0;
  if (d->rlenp) d->rlenp[row] = static_cast<ub2>(len);
  if (d->rcodep) d->rcodep[row] = 0;
  return true;
}

}  // namespace

sword stmt_fetch(Stmt* st, Error* e, ub4 nrows) {
  PieceState& ps = st->ps;
  if (!ps.active) {
    ps = PieceState{};
    ps.active = true;
    ps.nrows = nrows;
    st->rows_fetched = 0;
  }
  const ub4 ncols = static_cast<ub4>(st->cols.size());
  const ub4 ndefs = static_cast<ub4>(st->defines.size());
  for (Define* d : st->defines)
    if (d && d->pos > ncols) {
      ps = PieceState{};
      return err_set(e, 1007);
    }
  BeStmt* be = st->be;
  Define* const* defs = st->defines.data();
  const ColMeta* cols = st->cols.data();
  bool null_error = false;
  int conv_error = 0;
  ub4 row = ps.row;
  ub4 col = ps.col;
  DlError derr;  // once per call: it is large, and only a failing step fills it
  for (; row < ps.nrows; ++row, col = 0) {
    if (col == 0 && !ps.waiting) {
      if (!st->has_row) {
        if (st->eof) break;
        int rc = be_step(be, &derr);
        if (rc == 0) {
          st->eof = true;
          be_reset(be);
          break;
        }
        if (rc != 1) {
          ps = PieceState{};
          return err_from(e, derr);
        }
        st->has_row = true;
      }
    }
    for (; col < ndefs; ++col) {
      Define* d = defs[col];
      if (!d) continue;
      BeValue v;
      be_column(be, static_cast<int>(col), &v);
      const DlColType& meta = cols[col].type;
      if (d->mode & OCI_DYNAMIC_FETCH) {
        // Piecewise: hand the value out in pieces through OCI_NEED_DATA.
        auto* ind = static_cast<sb2*>(d->indp);
        if (v.type == BE_NULL) {
          if (ind) ind[row] = -1;
          if (d->rlenp) d->rlenp[row] = 0;
          continue;
        }
        ps.row = row;
        ps.col = col;
        if (!ps.waiting) {
          ps.waiting = true;
          ps.offset = 0;
          ps.piece = OCI_FIRST_PIECE;
          d->piece_buf = nullptr;
          d->piece_alen = nullptr;
          return OCI_NEED_DATA;
        }
        char num[64];
        const char* data = v.p;
        size_t len = v.n;
        if (v.type == BE_INT) {
          len = dl_int_text(v.i, num);
          data = num;
        } else if (v.type == BE_REAL) {
          len = dl_number_text(v.d, num);
          data = num;
        }
        if (d->csid == OCI_UTF16ID && v.type != BE_BLOB) {
          // Wide pieces: the value is converted once, at its first piece.
          if (ps.offset == 0) {
            size_t units = 0;
            utf8_to_utf16(data, len, nullptr, 0, &units);
            st->scratch.resize(units * 2);
            utf8_to_utf16(data, len, reinterpret_cast<ub2*>(st->scratch.data()), units, nullptr);
          }
          data = st->scratch.data();
          len = st->scratch.size();
        }
        if (!d->piece_buf || !d->piece_alen) {
          ps = PieceState{};
          return err_set(e, 24307);
        }
        size_t rest = len - ps.offset;
        size_t n = std::min<size_t>(*d->piece_alen, rest);
        std::memcpy(d->piece_buf, data + ps.offset, n);
        *d->piece_alen = static_cast<ub4>(n);
        ps.offset += n;
        d->piece_buf = nullptr;
        if (ps.offset < len) {
          ps.piece = OCI_NEXT_PIECE;
          return OCI_NEED_DATA;
        }
        if (d->piece_ind) *static_cast<sb2*>(d->piece_ind) = 0;
        if (d->piece_rcode) *d->piece_rcode = 0;
        if (ind) ind[row] = 0;
        if (d->rlenp) d->rlenp[row] = static_cast<ub2>(std::min<size_t>(len, 0xFFFF));
        ps.waiting = false;
        continue;
      }
      if (v.type == BE_NULL && d->indp) {
        static_cast<sb2*>(d->indp)[row] = -1;
        if (d->rlenp) d->rlenp[row] = 0;
        if (d->rcodep) d->rcodep[row] = 0;
        continue;
      }
      if (put_fast(d, row, v, meta)) continue;
      Sink sk;
      sk.buf = static_cast<char*>(d->valuep) + static_cast<size_t>(row) * d->value_sz;
      sk.size = d->value_sz;
      sk.dty = d->dty;
      sk.ind = d->indp ? static_cast<sb2*>(d->indp) + row : nullptr;
      sk.alen = d->rlenp ? d->rlenp + row : nullptr;
      sk.rcode = d->rcodep ? d->rcodep + row : nullptr;
      sk.utf16 = d->csid == OCI_UTF16ID;
      sk.env = st->env;
      int ora = 0;
      switch (put_value(sk, v, meta, &ora)) {
        case PUT_OK:
          break;
        case PUT_TRUNCATED:
          ps.info = true;
          break;
        case PUT_NULL_NO_IND:
          null_error = true;
          break;
        default:
          if (!conv_error) conv_error = ora;
          break;
      }
    }
    st->has_row = false;
    ++st->rows_fetched;
    ++st->row_count;
    if (null_error || conv_error) break;
  }
  bool info = ps.info;
  ps = PieceState{};
  if (conv_error) return err_set(e, conv_error);
  if (null_error) return err_set(e, 1405);
  if (info) warn_set(e, 1406);
  if (st->rows_fetched < nrows) return OCI_NO_DATA;
  return info ? OCI_SUCCESS_WITH_INFO : OCI_SUCCESS;
}

}  // namespace ocl

using namespace ocl;

// ---- Prepare and release ---------------------------------------------------------

OCI_EXPORT sword OCIStmtPrepare(OCIStmt* stmtp, OCIError* errhp, const OraText* stmt, ub4 stmt_len,
                                ub4 language, ub4 mode) {
  Stmt* st = as<Stmt>(stmtp, OCI_HTYPE_STMT);
  Error* e = as<Error>(errhp, OCI_HTYPE_ERROR);
  if (!st || !e) return OCI_INVALID_HANDLE;
  err_clear(e);
  if (!stmt) return err_set(e, 24333);
  sword f = fault_check(OCILITE_T_PREPARE, e);
  if (f == OCI_ERROR) return f;
  sword r = prepare(st, env_single_session(st->env), e, stmt, stmt_len);
  return r == OCI_SUCCESS ? f : r;
}

OCI_EXPORT sword OCIStmtPrepare2(OCISvcCtx* svchp, OCIStmt** stmtp, OCIError* errhp,
                                 const OraText* stmt, ub4 stmt_len, const OraText* key,
                                 ub4 key_len, ub4 language, ub4 mode) {
  SvcCtx* svc = as<SvcCtx>(svchp, OCI_HTYPE_SVCCTX);
  Error* e = as<Error>(errhp, OCI_HTYPE_ERROR);
  if (!svc || !e || !stmtp) return OCI_INVALID_HANDLE;
  *stmtp = nullptr;
  err_clear(e);
  sword f = fault_check(OCILITE_T_PREPARE, e);
  if (f == OCI_ERROR) return f;
  Session* s = svc_session(svc);
  if (!s) return err_set(e, 1012);
  std::string cache_key = key && key_len ? std::string(reinterpret_cast<const char*>(key), key_len)
                                         : std::string(reinterpret_cast<const char*>(stmt ? stmt : key),
                                                       stmt ? stmt_len : 0);
  if (s->cache_on) {
    std::lock_guard<std::recursive_mutex> g(s->call_mu);
    for (auto it = s->cache.begin(); it != s->cache.end(); ++it) {
      if ((*it)->cache_key == cache_key) {
        Stmt* hit = *it;
        s->cache.erase(it);
        hit->from_cache = true;
        *stmtp = reinterpret_cast<OCIStmt*>(hit);
        return f;
      }
    }
    if (mode & OCI_PREP2_CACHE_SEARCHONLY) return err_set(e, 24431);
  }
  if (!stmt) return err_set(e, 24333);
  auto* st = new Stmt();
  env_adopt(svc->env, st);
  sword r = prepare(st, s, e, stmt, stmt_len);
  if (r != OCI_SUCCESS) {
    env_release(st);
    delete st;
    return r;
  }
  st->cache_owner = s;
  st->cache_key = cache_key;
  *stmtp = reinterpret_cast<OCIStmt*>(st);
  return f;
}

static sword stmt_release_work(OCIStmt* stmtp, OCIError* errhp, const OraText* key, ub4 key_len,
                               ub4 mode) {
  Stmt* st = as<Stmt>(stmtp, OCI_HTYPE_STMT);
  Error* e = as<Error>(errhp, OCI_HTYPE_ERROR);
  if (!st || !e) return OCI_INVALID_HANDLE;
  err_clear(e);
  Session* s = st->cache_owner;
  if (s && is_live(s) && s->begun && s->cache_on && s->cache_size > 0 &&
      !(mode & OCI_STRLS_CACHE_DELETE) && st->prepared) {
    std::lock_guard<std::recursive_mutex> g(s->call_mu);
    drop_job(st);
    reset_exec_state(st);
    stmt_free_binds(st);
    if (key && key_len) st->cache_key.assign(reinterpret_cast<const char*>(key), key_len);
    s->cache.push_front(st);
    while (s->cache.size() > s->cache_size) {
      Stmt* old = s->cache.back();
      s->cache.pop_back();
      old->cache_owner = nullptr;
      env_release(old);
      delete old;
    }
    return OCI_SUCCESS;
  }
  env_release(st);
  delete st;
  return OCI_SUCCESS;
}

OCI_EXPORT sword OCIStmtRelease(OCIStmt* stmtp, OCIError* errhp, const OraText* key, ub4 key_len,
                                ub4 mode) {
  return with_fault(OCILITE_T_STMT_RELEASE, as<Error>(errhp, OCI_HTYPE_ERROR), [&] {
    return stmt_release_work(stmtp, errhp, key, key_len, mode);
  });
}

// ---- Execute and fetch -----------------------------------------------------------

namespace {

sword collect_job(Stmt* st, Error* e) {
  AsyncJob* j = st->job.get();
  if (j->th.joinable()) j->th.join();
  for (auto& r : j->recs) e->list.add(r.code, r.text);
  sword status = j->status;
  drop_job(st);
  return status;
}

}  // namespace

OCI_EXPORT sword OCIStmtExecute(OCISvcCtx* svchp, OCIStmt* stmtp, OCIError* errhp, ub4 iters,
                                ub4 rowoff, const OCISnapshot* snap_in, OCISnapshot* snap_out,
                                ub4 mode) {
  SvcCtx* svc = as<SvcCtx>(svchp, OCI_HTYPE_SVCCTX);
  Stmt* st = as<Stmt>(stmtp, OCI_HTYPE_STMT);
  Error* e = as<Error>(errhp, OCI_HTYPE_ERROR);
  if (!svc || !st || !e) return OCI_INVALID_HANDLE;
  err_clear(e);
  Server* srv = svc->server;
  bool nonblocking = srv && is_live(srv) && srv->nonblocking && !(mode & OCI_DESCRIBE_ONLY);
  if (st->job) {
    // A call started in non-blocking mode: report until it has ended.
    if (!st->job->done.load()) {
      std::this_thread::sleep_for(std::chrono::microseconds(200));
      if (!st->job->done.load()) return OCI_STILL_EXECUTING;
    }
    return collect_job(st, e);
  }
  if (!nonblocking) return stmt_execute(svc, st, e, iters, rowoff, mode);
  Session* s = svc_session(svc);
  if (!s) return err_set(e, 1012);
  st->job = std::make_unique<AsyncJob>();
  AsyncJob* j = st->job.get();
  j->session = s;
  {
    std::lock_guard<std::mutex> g(s->job_mu);
    s->jobs.insert(st);
  }
  // The call counts as running from here, not only once its thread is
  // inside the statement: an OCIBreak in between must not find the session
  // idle and be dropped, which let the statement run (and commit) to its end.
  s->active.fetch_add(1);
  j->th = std::thread([=] {
    Error tmp;
    j->status = stmt_execute(svc, st, &tmp, iters, rowoff, mode);
    j->recs = tmp.list.recs;
    if (s->active.fetch_sub(1) == 1) s->brk.store(false);
    j->done.store(true);
  });
  // Short statements finish within the first call.
  for (int i = 0; i < 20 && !j->done.load(); ++i)
    std::this_thread::sleep_for(std::chrono::microseconds(100));
  if (!j->done.load()) return OCI_STILL_EXECUTING;
  return collect_job(st, e);
}

OCI_EXPORT sword OCIStmtFetch2(OCIStmt* stmtp, OCIError* errhp, ub4 nrows, ub2 orientation,
                               sb4 scrollOffset, ub4 mode) {
  Stmt* st = as<Stmt>(stmtp, OCI_HTYPE_STMT);
  Error* e = as<Error>(errhp, OCI_HTYPE_ERROR);
  if (!st || !e) return OCI_INVALID_HANDLE;
  err_clear(e);
  if (orientation != OCI_FETCH_NEXT && orientation != OCI_DEFAULT) return err_set(e, 1002);
  if (!st->executed || !is_query(st) || !st->be) return err_set(e, st->executed ? 1002 : 24338);
  Session* s = st->be_session;
  if (!s || !is_live(s) || !s->begun) return err_set(e, 3114);
  sword f = fault_check(OCILITE_T_FETCH, e);
  if (f == OCI_ERROR) return f;
  if (failover_check(OCILITE_T_FETCH, nullptr, s->server, e, st) != OCI_SUCCESS) return OCI_ERROR;
  CallScope call(s);
  PoolUse use(s, e);
  if (!use.ok) return OCI_ERROR;
  if (!fault_slow(OCILITE_T_FETCH, s, e)) return OCI_ERROR;
  if (nrows == 0) {
    // Fetching no rows cancels the cursor.
    be_reset(st->be);
    st->has_row = false;
    st->eof = true;
    st->ps = PieceState{};
    return f;
  }
  if (st->ps.active && st->ps.nrows != nrows && !st->ps.waiting) st->ps = PieceState{};
  sword r = stmt_fetch(st, e, nrows);
  if (r == OCI_SUCCESS && f == OCI_SUCCESS_WITH_INFO) return f;
  return r;
}

OCI_EXPORT sword OCIStmtFetch(OCIStmt* stmtp, OCIError* errhp, ub4 nrows, ub2 orientation,
                              ub4 mode) {
  return OCIStmtFetch2(stmtp, errhp, nrows, orientation, 0, mode);
}

static sword stmt_get_piece_info_work(OCIStmt* stmtp, OCIError* errhp, void** hndlpp, ub4* typep,
                                      ub1* in_outp, ub4* iterp, ub4* idxp, ub1* piecep) {
  Stmt* st = as<Stmt>(stmtp, OCI_HTYPE_STMT);
  Error* e = as<Error>(errhp, OCI_HTYPE_ERROR);
  if (!st || !e) return OCI_INVALID_HANDLE;
  err_clear(e);
  if (!st->ps.active || !st->ps.waiting || st->ps.col >= st->defines.size())
    return err_set(e, 1002);
  if (hndlpp) *hndlpp = st->defines[st->ps.col];
  if (typep) *typep = OCI_HTYPE_DEFINE;
  if (in_outp) *in_outp = OCI_PARAM_OUT;
  if (iterp) *iterp = st->ps.row;
  if (idxp) *idxp = 0;
  if (piecep) *piecep = st->ps.piece;
  return OCI_SUCCESS;
}

OCI_EXPORT sword OCIStmtGetPieceInfo(OCIStmt* stmtp, OCIError* errhp, void** hndlpp, ub4* typep,
                                     ub1* in_outp, ub4* iterp, ub4* idxp, ub1* piecep) {
  return with_fault(OCILITE_T_PIECE_INFO, as<Error>(errhp, OCI_HTYPE_ERROR), [&] {
    return stmt_get_piece_info_work(stmtp, errhp, hndlpp, typep, in_outp, iterp, idxp, piecep);
  });
}

static sword stmt_set_piece_info_work(void* hndlp, ub4 type, OCIError* errhp, const void* bufp,
                                      ub4* alenp, ub1 piece, const void* indp, ub2* rcodep) {
  Error* e = as<Error>(errhp, OCI_HTYPE_ERROR);
  if (!e) return OCI_INVALID_HANDLE;
  err_clear(e);
  if (type == OCI_HTYPE_DEFINE) {
    Define* d = as<Define>(hndlp, OCI_HTYPE_DEFINE);
    if (!d) return OCI_INVALID_HANDLE;
    if (!bufp || !alenp) return err_set(e, 24307);
    d->piece_buf = const_cast<void*>(bufp);
    d->piece_alen = alenp;
    d->piece_ind = const_cast<void*>(indp);
    d->piece_rcode = rcodep;
    return OCI_SUCCESS;
  }
  if (type == OCI_HTYPE_BIND) {
    if (!as<Bind>(hndlp, OCI_HTYPE_BIND)) return OCI_INVALID_HANDLE;
    return err_set(e, 3001);  // input pieces travel through OCIBindDynamic callbacks
  }
  return OCI_INVALID_HANDLE;
}

OCI_EXPORT sword OCIStmtSetPieceInfo(void* hndlp, ub4 type, OCIError* errhp, const void* bufp,
                                     ub4* alenp, ub1 piece, const void* indp, ub2* rcodep) {
  return with_fault(OCILITE_T_PIECE_INFO, as<Error>(errhp, OCI_HTYPE_ERROR), [&] {
    return stmt_set_piece_info_work(hndlp, type, errhp, bufp, alenp, piece, indp, rcodep);
  });
}

// ---- Binds and defines --------------------------------------------------------------

namespace {

sword do_bind(Stmt* st, Error* e, OCIBind** bindp, ub4 pos, std::string name, void* valuep,
              sb4 value_sz, ub2 dty, void* indp, ub2* alenp, ub2* rcodep, ub4 maxarr_len,
              ub4* curelep, ub4 mode) {
  if (!st->prepared) return err_set(e, 24337);
  if (value_sz < 0) return err_set(e, 24328);
  if (st->translated && !st->dl_rc) {
    bool known = false;
    for (const DlBind& occ : st->dl.binds)
      if ((pos && occ.position == static_cast<int>(pos)) || (!pos && occ.name == name)) known = true;
    for (const auto& it : st->ret.items)
      if ((pos && it.position == static_cast<int>(pos)) || (!pos && it.name == name)) known = true;
    if (!known) return err_set(e, 1036);
  }
  Bind* b = nullptr;
  for (Bind* o : st->binds)
    if ((pos && o->pos == pos) || (!pos && !o->pos && o->name == name)) b = o;
  if (!b) {
    b = new Bind();
    b->env = st->env;
    b->stmt = st;
    st->binds.push_back(b);
  }
  b->pos = pos;
  b->name = std::move(name);
  b->valuep = valuep;
  b->value_sz = value_sz;
  b->dty = dty;
  b->indp = indp;
  b->alenp = alenp;
  b->rcodep = rcodep;
  b->maxarr = maxarr_len;
  b->curelep = curelep;
  b->mode = mode;
  b->icb = nullptr;
  b->ocb = nullptr;
  if (bindp) *bindp = reinterpret_cast<OCIBind*>(b);
  return OCI_SUCCESS;
}

}  // namespace

static sword bind_by_pos_work(OCIStmt* stmtp, OCIBind** bindp, OCIError* errhp, ub4 position,
                              void* valuep, sb4 value_sz, ub2 dty, void* indp, ub2* alenp,
                              ub2* rcodep, ub4 maxarr_len, ub4* curelep, ub4 mode) {
  Stmt* st = as<Stmt>(stmtp, OCI_HTYPE_STMT);
  Error* e = as<Error>(errhp, OCI_HTYPE_ERROR);
  if (!st || !e) return OCI_INVALID_HANDLE;
  err_clear(e);
  if (position == 0) return err_set(e, 1036);
  return do_bind(st, e, bindp, position, {}, valuep, value_sz, dty, indp, alenp, rcodep,
                 maxarr_len, curelep, mode);
}

OCI_EXPORT sword OCIBindByPos(OCIStmt* stmtp, OCIBind** bindp, OCIError* errhp, ub4 position,
                              void* valuep, sb4 value_sz, ub2 dty, void* indp, ub2* alenp,
                              ub2* rcodep, ub4 maxarr_len, ub4* curelep, ub4 mode) {
  return with_fault(OCILITE_T_BIND, as<Error>(errhp, OCI_HTYPE_ERROR), [&] {
    return bind_by_pos_work(stmtp, bindp, errhp, position, valuep, value_sz, dty, indp, alenp,
                            rcodep, maxarr_len, curelep, mode);
  });
}

static sword bind_by_name_work(OCIStmt* stmtp, OCIBind** bindp, OCIError* errhp,
                               const OraText* placeholder, sb4 placeh_len, void* valuep,
                               sb4 value_sz, ub2 dty, void* indp, ub2* alenp, ub2* rcodep,
                               ub4 maxarr_len, ub4* curelep, ub4 mode) {
  Stmt* st = as<Stmt>(stmtp, OCI_HTYPE_STMT);
  Error* e = as<Error>(errhp, OCI_HTYPE_ERROR);
  if (!st || !e) return OCI_INVALID_HANDLE;
  err_clear(e);
  if (!placeholder) return err_set(e, 1036);
  std::string name = bind_name(placeholder, placeh_len);
  if (name.empty()) return err_set(e, 1036);
  return do_bind(st, e, bindp, 0, std::move(name), valuep, value_sz, dty, indp, alenp, rcodep,
                 maxarr_len, curelep, mode);
}

OCI_EXPORT sword OCIBindByName(OCIStmt* stmtp, OCIBind** bindp, OCIError* errhp,
                               const OraText* placeholder, sb4 placeh_len, void* valuep,
                               sb4 value_sz, ub2 dty, void* indp, ub2* alenp, ub2* rcodep,
                               ub4 maxarr_len, ub4* curelep, ub4 mode) {
  return with_fault(OCILITE_T_BIND, as<Error>(errhp, OCI_HTYPE_ERROR), [&] {
    return bind_by_name_work(stmtp, bindp, errhp, placeholder, placeh_len, valuep, value_sz, dty,
                             indp, alenp, rcodep, maxarr_len, curelep, mode);
  });
}

static sword bind_dynamic_work(OCIBind* bindp, OCIError* errhp, void* ictxp,
                               OCICallbackInBind icbfp, void* octxp, OCICallbackOutBind ocbfp) {
  Bind* b = as<Bind>(bindp, OCI_HTYPE_BIND);
  Error* e = as<Error>(errhp, OCI_HTYPE_ERROR);
  if (!b || !e) return OCI_INVALID_HANDLE;
  err_clear(e);
  b->ictx = ictxp;
  b->icb = icbfp;
  b->octx = octxp;
  b->ocb = ocbfp;
  return OCI_SUCCESS;
}

OCI_EXPORT sword OCIBindDynamic(OCIBind* bindp, OCIError* errhp, void* ictxp,
                                OCICallbackInBind icbfp, void* octxp, OCICallbackOutBind ocbfp) {
  return with_fault(OCILITE_T_BIND, as<Error>(errhp, OCI_HTYPE_ERROR), [&] {
    return bind_dynamic_work(bindp, errhp, ictxp, icbfp, octxp, ocbfp);
  });
}

static sword define_by_pos_work(OCIStmt* stmtp, OCIDefine** defnp, OCIError* errhp, ub4 position,
                                void* valuep, sb4 value_sz, ub2 dty, void* indp, ub2* rlenp,
                                ub2* rcodep, ub4 mode) {
  Stmt* st = as<Stmt>(stmtp, OCI_HTYPE_STMT);
  Error* e = as<Error>(errhp, OCI_HTYPE_ERROR);
  if (!st || !e) return OCI_INVALID_HANDLE;
  err_clear(e);
  if (position == 0) return err_set(e, 1007);
  if (value_sz < 0) return err_set(e, 24328);
  if (st->described && position > st->cols.size()) return err_set(e, 1007);
  if (st->defines.size() < position) st->defines.resize(position, nullptr);
  Define*& slot = st->defines[position - 1];
  if (!slot) {
    slot = new Define();
    slot->env = st->env;
    slot->stmt = st;
  }
  Define* d = slot;
  d->pos = position;
  d->valuep = valuep;
  d->value_sz = value_sz;
  d->dty = dty;
  d->indp = indp;
  d->rlenp = rlenp;
  d->rcodep = rcodep;
  d->mode = mode;
  d->piece_buf = nullptr;
  d->piece_alen = nullptr;
  if (defnp) *defnp = reinterpret_cast<OCIDefine*>(d);
  return OCI_SUCCESS;
}

OCI_EXPORT sword OCIDefineByPos(OCIStmt* stmtp, OCIDefine** defnp, OCIError* errhp, ub4 position,
                                void* valuep, sb4 value_sz, ub2 dty, void* indp, ub2* rlenp,
                                ub2* rcodep, ub4 mode) {
  return with_fault(OCILITE_T_DEFINE, as<Error>(errhp, OCI_HTYPE_ERROR), [&] {
    return define_by_pos_work(stmtp, defnp, errhp, position, valuep, value_sz, dty, indp, rlenp,
                              rcodep, mode);
  });
}
