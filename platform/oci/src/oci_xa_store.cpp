// The store of prepared XA branches. A branch runs in an ordinary SQLite
// transaction behind the savepoint ocilite_xa. Prepare reads the changed
// rows as the branch left them, rolls back to the savepoint (the write locks
// stay held) and, in the same transaction, writes the XID, the changed row
// ids, an image table of the rows as they are to be and triggers that refuse
// writes to the changed tables; the commit makes that durable. Finishing the
// branch drops the triggers and either puts the images in place of the rows
// or only forgets them, again in one transaction.
#define SQLITE_ENABLE_PREUPDATE_HOOK 1
#include "oci_xa_store.h"

#include <sqlite3.h>

#include <atomic>
#include <csignal>
#include <cstdio>
#include <cstring>
#include <memory>

namespace ocl {

namespace {

// Test hook: the number of schema files a finish may complete before the
// process ends as if it had crashed (0: never).
std::atomic<int> g_crashAfter{0};

std::string quote(const std::string& name) {
  std::string q = "\"";
  for (char ch : name) {
    if (ch == '"') q += '"';
    q += ch;
  }
  return q + "\"";
}

bool internal_table(const char* name) {
  return std::strncmp(name, "sqlite_", 7) == 0 || std::strncmp(name, "ocilite_xa_", 11) == 0;
}

int fail(sqlite3* db, int rc, DlError* err) {
  return dl_map_sqlite_error(rc, sqlite3_errmsg(db), err, nullptr);
}

int run(sqlite3* db, const std::string& sql, DlError* err) {
  int rc = sqlite3_exec(db, sql.c_str(), nullptr, nullptr, nullptr);
  return rc == SQLITE_OK ? 0 : fail(db, rc, err);
}

// A prepared statement that finalizes itself.
struct Q {
  sqlite3_stmt* st = nullptr;
  int rc = SQLITE_OK;
  Q(sqlite3* db, const std::string& sql) { rc = sqlite3_prepare_v2(db, sql.c_str(), -1, &st, nullptr); }
  ~Q() { sqlite3_finalize(st); }
  Q(const Q&) = delete;
  Q& operator=(const Q&) = delete;
  bool ok() const { return rc == SQLITE_OK; }
};

void preupdate(void* ctx, sqlite3*, int op, const char* db, const char* table, sqlite3_int64 oldKey,
               sqlite3_int64 newKey) {
  auto* rows = static_cast<XaRows*>(ctx);
  if (!rows->on || internal_table(table)) return;
  auto& keys = rows->rows[{db, table}];
  if (op != SQLITE_INSERT) keys.insert(oldKey);
  if (op != SQLITE_DELETE) keys.insert(newKey);
}

std::vector<std::string> schemas(sqlite3* db) {
  std::vector<std::string> out;
  Q q(db, "PRAGMA database_list");
  while (q.ok() && sqlite3_step(q.st) == SQLITE_ROW) {
    std::string name = reinterpret_cast<const char*>(sqlite3_column_text(q.st, 1));
    if (name != "temp") out.push_back(name);
  }
  return out;
}

bool has_store(sqlite3* db, const std::string& schema) {
  Q q(db, "SELECT 1 FROM " + quote(schema) + ".sqlite_master WHERE type='table' AND name='ocilite_xa_branch'");
  return q.ok() && sqlite3_step(q.st) == SQLITE_ROW;
}

void bind_xid(sqlite3_stmt* st, int first, const XID& xid) {
  sqlite3_bind_int64(st, first, xid.formatID);
  sqlite3_bind_blob(st, first + 1, xid.data, static_cast<int>(xid.gtrid_length), SQLITE_TRANSIENT);
  sqlite3_bind_blob(st, first + 2, xid.data + xid.gtrid_length, static_cast<int>(xid.bqual_length),
                    SQLITE_TRANSIENT);
}

std::string xid_text(const XID& xid) {
  std::string t = std::to_string(xid.formatID) + ".";
  char hex[3];
  for (long i = 0; i < xid.gtrid_length + xid.bqual_length; ++i) {
    if (i == xid.gtrid_length) t += '.';
    std::snprintf(hex, sizeof hex, "%02X", static_cast<unsigned char>(xid.data[i]));
    t += hex;
  }
  return t;
}

std::string obj_name(const char* kind, int64_t branch, size_t seq) {
  return std::string("ocilite_xa_") + kind + "_" + std::to_string(branch) + "_" + std::to_string(seq);
}

// The rows of one table as the branch left them: the row ids it touched and
// the rows still there (row id first, then the columns).
struct Image {
  std::string schema, table;
  std::vector<int64_t> keys;
  std::vector<std::string> cols;
  std::vector<std::vector<sqlite3_value*>> rows;
  ~Image() {
    for (auto& r : rows)
      for (sqlite3_value* v : r) sqlite3_value_free(v);
  }
};

int read_image(sqlite3* db, Image* img, DlError* err) {
  Q q(db, "SELECT rowid, * FROM " + quote(img->schema) + "." + quote(img->table) + " WHERE rowid = ?");
  if (!q.ok()) return fail(db, q.rc, err);
  int n = sqlite3_column_count(q.st);
  for (int i = 1; i < n; ++i) img->cols.push_back(sqlite3_column_name(q.st, i));
  for (int64_t key : img->keys) {
    sqlite3_reset(q.st);
    sqlite3_bind_int64(q.st, 1, key);
    int rc = sqlite3_step(q.st);
    if (rc == SQLITE_DONE) continue;
    if (rc != SQLITE_ROW) return fail(db, rc, err);
    std::vector<sqlite3_value*> row;
    for (int i = 0; i < n; ++i) row.push_back(sqlite3_value_dup(sqlite3_column_value(q.st, i)));
    img->rows.push_back(std::move(row));
  }
  return 0;
}

int write_image(sqlite3* db, int64_t branch, size_t seq, const Image& img, const std::string& lockMsg,
                DlError* err) {
  const std::string s = quote(img.schema) + ".";
  {
    Q q(db, "INSERT INTO " + s + "ocilite_xa_table(branch, seq, tbl) VALUES (?, ?, ?)");
    sqlite3_bind_int64(q.st, 1, branch);
    sqlite3_bind_int64(q.st, 2, static_cast<int64_t>(seq));
    sqlite3_bind_text(q.st, 3, img.table.c_str(), -1, SQLITE_TRANSIENT);
    if (!q.ok() || sqlite3_step(q.st) != SQLITE_DONE) return fail(db, sqlite3_errcode(db), err);
  }
  {
    Q q(db, "INSERT INTO " + s + "ocilite_xa_key(branch, seq, rid) VALUES (?, ?, ?)");
    if (!q.ok()) return fail(db, q.rc, err);
    for (int64_t key : img.keys) {
      sqlite3_reset(q.st);
      sqlite3_bind_int64(q.st, 1, branch);
      sqlite3_bind_int64(q.st, 2, static_cast<int64_t>(seq));
      sqlite3_bind_int64(q.st, 3, key);
      if (sqlite3_step(q.st) != SQLITE_DONE) return fail(db, sqlite3_errcode(db), err);
    }
  }
  const std::string image = s + quote(obj_name("img", branch, seq));
  std::string create = "CREATE TABLE " + image + "(ocilite_rid";
  std::string marks = "?";
  for (const std::string& c : img.cols) {
    create += ", " + quote(c);
    marks += ", ?";
  }
  if (int rc = run(db, create + ")", err)) return rc;
  Q ins(db, "INSERT INTO " + image + " VALUES (" + marks + ")");
  if (!ins.ok()) return fail(db, ins.rc, err);
  for (const auto& row : img.rows) {
    sqlite3_reset(ins.st);
    for (size_t i = 0; i < row.size(); ++i) sqlite3_bind_value(ins.st, static_cast<int>(i + 1), row[i]);
    if (sqlite3_step(ins.st) != SQLITE_DONE) return fail(db, sqlite3_errcode(db), err);
  }
  static const char* const kEvents[] = {"INSERT", "UPDATE", "DELETE"};
  for (const char* ev : kEvents) {
    std::string trig = s + quote(obj_name("lock", branch, seq) + "_" + ev);
    std::string sql = "CREATE TRIGGER " + trig + " BEFORE " + ev + " ON " + quote(img.table) +
                      " BEGIN SELECT RAISE(ABORT, '" + lockMsg + "'); END";
    if (int rc = run(db, sql, err)) return rc;
  }
  return 0;
}

const char* const kStoreTables =
    "CREATE TABLE IF NOT EXISTS %1$s.ocilite_xa_branch(id INTEGER PRIMARY KEY, fmt INTEGER, gtrid BLOB, "
    "bqual BLOB);"
    "CREATE TABLE IF NOT EXISTS %1$s.ocilite_xa_table(branch INTEGER, seq INTEGER, tbl TEXT);"
    "CREATE TABLE IF NOT EXISTS %1$s.ocilite_xa_key(branch INTEGER, seq INTEGER, rid INTEGER);";

int record_schema(sqlite3* db, const std::string& schema, const std::vector<Image*>& imgs, const XID& xid,
                  DlError* err) {
  const std::string s = quote(schema);
  char sql[1024];
  std::snprintf(sql, sizeof sql, kStoreTables, s.c_str());
  if (int rc = run(db, sql, err)) return rc;
  int64_t branch;
  {
    Q q(db, "INSERT INTO " + s + ".ocilite_xa_branch(fmt, gtrid, bqual) VALUES (?, ?, ?)");
    if (!q.ok()) return fail(db, q.rc, err);
    bind_xid(q.st, 1, xid);
    if (sqlite3_step(q.st) != SQLITE_DONE) return fail(db, sqlite3_errcode(db), err);
    branch = sqlite3_last_insert_rowid(db);
  }
  const std::string msg = "ORA-01591: lock held by in-doubt distributed transaction " + xid_text(xid);
  for (size_t i = 0; i < imgs.size(); ++i)
    if (int rc = write_image(db, branch, i + 1, *imgs[i], msg, err)) return rc;
  return 0;
}

}  // namespace

bool xs_same_xid(const XID& a, const XID& b) {
  return a.formatID == b.formatID && a.gtrid_length == b.gtrid_length && a.bqual_length == b.bqual_length &&
         std::memcmp(a.data, b.data, static_cast<size_t>(a.gtrid_length + a.bqual_length)) == 0;
}

void xs_track(BeConn* c, XaRows* rows) { sqlite3_preupdate_hook(be_sqlite(c), preupdate, rows); }

int xs_begin(BeConn* c, DlError* err) {
  if (int rc = be_begin(c, err)) return rc;
  return run(be_sqlite(c), "SAVEPOINT ocilite_xa", err);
}

int xs_prepare(BeConn* c, XaRows* rows, const XID& xid, DlError* err) {
  sqlite3* db = be_sqlite(c);
  rows->on = false;
  std::vector<std::unique_ptr<Image>> imgs;
  int rc = 0;
  for (auto& [where, keys] : rows->rows) {
    auto img = std::make_unique<Image>();
    img->schema = where.first;
    img->table = where.second;
    img->keys.assign(keys.begin(), keys.end());
    if ((rc = read_image(db, img.get(), err)) != 0) break;
    imgs.push_back(std::move(img));
  }
  if (rc == 0) rc = run(db, "ROLLBACK TO ocilite_xa", err);
  std::map<std::string, std::vector<Image*>> bySchema;
  for (auto& img : imgs) bySchema[img->schema].push_back(img.get());
  for (auto it = bySchema.begin(); rc == 0 && it != bySchema.end(); ++it)
    rc = record_schema(db, it->first, it->second, xid, err);
  rows->rows.clear();
  if (rc == 0) rc = run(db, "COMMIT", err);
  if (rc != 0) {
    DlError ignored;
    be_rollback(c, &ignored);
  }
  return rc;
}

namespace {

// Finishes the branches with the XID recorded in one schema; *found is set
// when there was one.
int finish_schema(sqlite3* db, const std::string& schema, const XID& xid, bool commit, bool* found,
                  DlError* err) {
  const std::string s = quote(schema) + ".";
  std::vector<int64_t> branches;
  {
    Q q(db, "SELECT id FROM " + s + "ocilite_xa_branch WHERE fmt = ? AND gtrid = ? AND bqual = ?");
    if (!q.ok()) return fail(db, q.rc, err);
    bind_xid(q.st, 1, xid);
    while (sqlite3_step(q.st) == SQLITE_ROW) branches.push_back(sqlite3_column_int64(q.st, 0));
  }
  for (int64_t branch : branches) {
    *found = true;
    std::vector<std::pair<int64_t, std::string>> tables;
    {
      Q q(db, "SELECT seq, tbl FROM " + s + "ocilite_xa_table WHERE branch = ?");
      sqlite3_bind_int64(q.st, 1, branch);
      while (q.ok() && sqlite3_step(q.st) == SQLITE_ROW)
        tables.emplace_back(sqlite3_column_int64(q.st, 0), reinterpret_cast<const char*>(sqlite3_column_text(q.st, 1)));
    }
    for (auto& [seq, table] : tables) {
      for (const char* ev : {"INSERT", "UPDATE", "DELETE"})
        if (int rc = run(db, "DROP TRIGGER IF EXISTS " + s + quote(obj_name("lock", branch, static_cast<size_t>(seq)) + "_" + ev), err))
          return rc;
      const std::string image = s + quote(obj_name("img", branch, static_cast<size_t>(seq)));
      if (commit) {
        std::string cols;
        {
          Q q(db, "SELECT * FROM " + image);
          if (!q.ok()) return fail(db, q.rc, err);
          for (int i = 1; i < sqlite3_column_count(q.st); ++i) cols += ", " + quote(sqlite3_column_name(q.st, i));
        }
        std::string target = s + quote(table);
        std::string keys = "SELECT rid FROM " + s + "ocilite_xa_key WHERE branch = " + std::to_string(branch) +
                           " AND seq = " + std::to_string(seq);
        if (int rc = run(db, "DELETE FROM " + target + " WHERE rowid IN (" + keys + ")", err)) return rc;
        if (int rc = run(db, "INSERT INTO " + target + "(rowid" + cols + ") SELECT ocilite_rid" + cols + " FROM " + image, err))
          return rc;
      }
      if (int rc = run(db, "DROP TABLE IF EXISTS " + image, err)) return rc;
    }
    const std::string id = std::to_string(branch);
    for (const char* t : {"ocilite_xa_key", "ocilite_xa_table"})
      if (int rc = run(db, "DELETE FROM " + s + t + " WHERE branch = " + id, err)) return rc;
    if (int rc = run(db, "DELETE FROM " + s + "ocilite_xa_branch WHERE id = " + id, err)) return rc;
  }
  return 0;
}

// Calls fn(schema) for every schema of the database, attaching in turn those
// beyond SQLite's limit that c has not attached (c has no transaction open);
// stops at the first non-zero answer.
template <class F>
int each_schema(BeConn* c, DlError* err, F&& fn) {
  for (const std::string& schema : schemas(be_sqlite(c)))
    if (int rc = fn(schema)) return rc;
  for (const std::string& schema : be_unattached(c)) {
    if (int rc = be_attach(c, schema, err)) return rc;
    if (int rc = fn(schema)) return rc;
  }
  return 0;
}

}  // namespace

// Each schema file is finished in a transaction of its own. SQLite's WAL
// mode makes a transaction over attached files atomic per file only, so a
// crash part-way leaves the record in the files not finished yet: the branch
// is still listed by xa_recover, and finishing it again completes the rest.
int xs_finish(BeConn* c, const XID& xid, bool commit, DlError* err) {
  sqlite3* db = be_sqlite(c);
  bool found = false;
  int rc = each_schema(c, err, [&](const std::string& schema) {
    if (!has_store(db, schema)) return 0;
    if (int r = run(db, "BEGIN IMMEDIATE", err)) return r;
    bool here = false;
    int r = finish_schema(db, schema, xid, commit, &here, err);
    if (r == 0 && here) r = run(db, "COMMIT", err);
    if (r != 0 || !here) {
      DlError ignored;
      be_rollback(c, &ignored);
    }
    if (r != 0) return r;
    if (here) {
      found = true;
      if (int left = g_crashAfter.load(); left > 0) {
        if (left == 1) raise(SIGKILL);
        g_crashAfter.store(left - 1);
      }
    }
    return 0;
  });
  if (rc != 0) return rc;
  return found ? 0 : -1;
}

void xs_test_crash_after(int files) { g_crashAfter.store(files); }

int xs_recover(BeConn* c, std::vector<XID>* out, DlError* err) {
  sqlite3* db = be_sqlite(c);
  out->clear();
  return each_schema(c, err, [&](const std::string& schema) {
    if (!has_store(db, schema)) return 0;
    Q q(db, "SELECT fmt, gtrid, bqual FROM " + quote(schema) + ".ocilite_xa_branch ORDER BY id");
    if (!q.ok()) return fail(db, q.rc, err);
    while (sqlite3_step(q.st) == SQLITE_ROW) {
      XID x{};
      x.formatID = sqlite3_column_int64(q.st, 0);
      x.gtrid_length = sqlite3_column_bytes(q.st, 1);
      x.bqual_length = sqlite3_column_bytes(q.st, 2);
      if (x.gtrid_length + x.bqual_length > XIDDATASIZE) continue;
      if (x.gtrid_length) std::memcpy(x.data, sqlite3_column_blob(q.st, 1), static_cast<size_t>(x.gtrid_length));
      if (x.bqual_length)
        std::memcpy(x.data + x.gtrid_length, sqlite3_column_blob(q.st, 2), static_cast<size_t>(x.bqual_length));
      bool seen = false;
      for (const XID& y : *out) seen = seen || xs_same_xid(y, x);
      if (!seen) out->push_back(x);
    }
    return 0;
  });
}

bool xs_recorded(BeConn* c, const XID& xid) {
  std::vector<XID> all;
  DlError ignored;
  xs_recover(c, &all, &ignored);
  for (const XID& y : all)
    if (xs_same_xid(y, xid)) return true;
  return false;
}

}  // namespace ocl
