// SQLite storage of the OCI stand-in: database directories, the user catalog
// and the per-session connection. A database directory holds the catalog
// (ocilite_catalog.db, table OCILITE_USERS) and one file per user, <USER>.db,
// which is that user's schema. A session opens its own schema as the main
// database (also reachable under the user's name) and attaches the others
// under their names, so OWNER.TABLE resolves in every session.
#include <sqlite3.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cctype>
#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <map>
#include <string_view>
#include <random>
#include <thread>

#include "backend.h"
#include "sha256.h"

namespace ocl {

namespace {

constexpr const char* kCatalog = "ocilite_catalog.db";

// How long a statement waits for another session's lock before it gives up
// with ORA-00054 (milliseconds); OCILITE_LOCK_TIMEOUT overrides it. Read at
// each wait, so that a process can change it between its sessions.
int lock_timeout_ms() {
  const char* s = std::getenv("OCILITE_LOCK_TIMEOUT");
  int ms = s ? std::atoi(s) : 0;
  return ms > 0 ? ms : 30000;
}

bool dir_exists(const std::string& p) {
  struct stat st{};
  return stat(p.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

bool file_exists(const std::string& p) {
  struct stat st{};
  return stat(p.c_str(), &st) == 0 && S_ISREG(st.st_mode);
}

int mkdirs(const std::string& p) {
  if (p.empty() || dir_exists(p)) return 0;
  size_t slash = p.find_last_of('/');
  if (slash != std::string::npos && slash > 0) {
    int rc = mkdirs(p.substr(0, slash));
    if (rc) return rc;
  }
  if (mkdir(p.c_str(), 0775) != 0 && errno != EEXIST) return errno;
  return 0;
}

std::string join(const std::string& dir, const std::string& file) {
  if (!dir.empty() && dir.back() == '/') return dir + file;
  return dir + "/" + file;
}

std::string upper(std::string s) {
  for (auto& c : s) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
  return s;
}

// Oracle's rule for a user name: an unquoted identifier of up to 30 bytes.
bool valid_user_name(const std::string& u) {
  if (u.empty() || u.size() > 30) return false;
  if (!std::isalpha(static_cast<unsigned char>(u[0]))) return false;
  for (char c : u)
    if (!std::isalnum(static_cast<unsigned char>(c)) && c != '_' && c != '$' && c != '#')
      return false;
  return true;
}

int sqlite_err(sqlite3* db, int rc, DlError* err) {
  const char* msg = db ? sqlite3_errmsg(db) : sqlite3_errstr(rc);
  int xrc = db ? sqlite3_extended_errcode(db) : rc;
  return dl_map_sqlite_error(xrc, msg, err);
}

struct Db {
  sqlite3* db = nullptr;
  ~Db() {
    if (db) sqlite3_close_v2(db);
  }
};

int open_catalog(const std::string& dir, bool create, Db* out, DlError* err) {
  std::string path = join(dir, kCatalog);
  if (!create && !file_exists(path)) return dl_set_error(err, 12154);
  int flags = SQLITE_OPEN_READWRITE | (create ? SQLITE_OPEN_CREATE : 0) | SQLITE_OPEN_FULLMUTEX;
  int rc = sqlite3_open_v2(path.c_str(), &out->db, flags, nullptr);
  if (rc != SQLITE_OK) return sqlite_err(out->db, rc, err);
  sqlite3_busy_timeout(out->db, lock_timeout_ms());
  return 0;
}

int exec(sqlite3* db, const char* sql, DlError* err) {
  int rc = sqlite3_exec(db, sql, nullptr, nullptr, nullptr);
  return rc == SQLITE_OK ? 0 : sqlite_err(db, rc, err);
}

std::string hash_password(const std::string& salt, const std::string& pw) {
  return sha256_hex(salt + "\x1f" + pw);
}

std::string new_salt() {
  std::random_device rd;
  char buf[33];
  for (int i = 0; i < 16; ++i) std::snprintf(buf + 2 * i, 3, "%02x", rd() & 0xff);
  return std::string(buf, 32);
}

}  // namespace

// ---- Database directories and users ----------------------------------------

std::string be_resolve_database(const std::string& connect_id) {
  std::string id = connect_id;
  while (!id.empty() && std::isspace(static_cast<unsigned char>(id.back()))) id.pop_back();
  size_t b = 0;
  while (b < id.size() && std::isspace(static_cast<unsigned char>(id[b]))) ++b;
  id = id.substr(b);
  if (id.empty()) {
    if (const char* d = std::getenv("OCILITE_DEFAULT_DB"); d && *d) return d;
    if (const char* h = std::getenv("HOME"); h && *h) return join(h, ".ocilite/default");
    return ".ocilite/default";
  }
  if (dir_exists(id)) return id;
  // The catalog file itself names its database too.
  if (file_exists(id)) {
    size_t slash = id.find_last_of('/');
    std::string dir = slash == std::string::npos ? "." : id.substr(0, slash);
    if (id.compare(id.size() - std::strlen(kCatalog), std::string::npos, kCatalog) == 0) return dir;
  }
  if (const char* root = std::getenv("OCILITE_ROOT"); root && *root) {
    std::string p = join(root, id);
    if (dir_exists(p)) return p;
  }
  return id;
}

bool be_database_exists(const std::string& dir) {
  return !dir.empty() && file_exists(join(dir, kCatalog));
}

std::string be_database_missing(const std::string& dir) {
  if (dir.empty()) return "no database directory named";
  if (!dir_exists(dir)) return "database directory " + dir + " does not exist";
  return "directory " + dir + " holds no database (no " + std::string(kCatalog) + ")";
}

int be_db_create(const std::string& dir, DlError* err) {
  if (dir.empty()) return dl_set_error(err, 12154);
  if (int e = mkdirs(dir)) {
    std::snprintf(err->message, sizeof err->message, "cannot create directory %s: %s",
                  dir.c_str(), std::strerror(e));
    err->code = 1119;
    return err->code;
  }
  Db c;
  if (int rc = open_catalog(dir, true, &c, err)) return rc;
  return exec(c.db,
              "PRAGMA journal_mode=WAL;"
              "CREATE TABLE IF NOT EXISTS OCILITE_USERS(NAME TEXT PRIMARY KEY, SALT TEXT NOT NULL,"
              " HASH TEXT NOT NULL, FLAGS INTEGER NOT NULL DEFAULT 0)",
              err);
}

int be_user_create(const std::string& dir, const std::string& user_in,
                   const std::string& password, DlError* err) {
  std::string user = upper(user_in);
  if (!valid_user_name(user)) return dl_set_error(err, 1935);
  if (password.empty()) return dl_set_error(err, 988);
  Db c;
  if (int rc = open_catalog(dir, false, &c, err)) return rc;
  std::string salt = new_salt();
  std::string hash = hash_password(salt, password);
  sqlite3_stmt* st = nullptr;
  int rc = sqlite3_prepare_v2(c.db, "INSERT INTO OCILITE_USERS(NAME, SALT, HASH) VALUES(?,?,?)",
                              -1, &st, nullptr);
  if (rc != SQLITE_OK) return sqlite_err(c.db, rc, err);
  sqlite3_bind_text(st, 1, user.c_str(), -1, SQLITE_TRANSIENT);
  sqlite3_bind_text(st, 2, salt.c_str(), -1, SQLITE_TRANSIENT);
  sqlite3_bind_text(st, 3, hash.c_str(), -1, SQLITE_TRANSIENT);
  rc = sqlite3_step(st);
  int xrc = sqlite3_extended_errcode(c.db);
  sqlite3_finalize(st);
  if (rc != SQLITE_DONE) {
    if (xrc == SQLITE_CONSTRAINT_PRIMARYKEY) return dl_set_error(err, 1920, user.c_str());
    return sqlite_err(c.db, rc, err);
  }
  // The schema file, in WAL mode so that readers and one writer coexist.
  sqlite3* s = nullptr;
  std::string path = join(dir, user + ".db");
  rc = sqlite3_open_v2(path.c_str(), &s, SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE, nullptr);
  if (rc == SQLITE_OK) rc = sqlite3_exec(s, "PRAGMA journal_mode=WAL", nullptr, nullptr, nullptr);
  int result = rc == SQLITE_OK ? 0 : sqlite_err(s, rc, err);
  sqlite3_close_v2(s);
  return result;
}

int be_user_drop(const std::string& dir, const std::string& user_in, DlError* err) {
  std::string user = upper(user_in);
  Db c;
  if (int rc = open_catalog(dir, false, &c, err)) return rc;
  sqlite3_stmt* st = nullptr;
  int rc = sqlite3_prepare_v2(c.db, "DELETE FROM OCILITE_USERS WHERE NAME = ?", -1, &st, nullptr);
  if (rc != SQLITE_OK) return sqlite_err(c.db, rc, err);
  sqlite3_bind_text(st, 1, user.c_str(), -1, SQLITE_TRANSIENT);
  rc = sqlite3_step(st);
  sqlite3_finalize(st);
  if (rc != SQLITE_DONE) return sqlite_err(c.db, rc, err);
  if (sqlite3_changes(c.db) == 0) return dl_set_error(err, 1918, user.c_str());
  std::string path = join(dir, user + ".db");
  std::remove(path.c_str());
  std::remove((path + "-wal").c_str());
  std::remove((path + "-shm").c_str());
  return 0;
}

namespace {
int update_user(const std::string& dir, const std::string& user_in, const char* sql,
                const std::string* a, const std::string* b, int flags, DlError* err) {
  std::string user = upper(user_in);
  Db c;
  if (int rc = open_catalog(dir, false, &c, err)) return rc;
  sqlite3_stmt* st = nullptr;
  int rc = sqlite3_prepare_v2(c.db, sql, -1, &st, nullptr);
  if (rc != SQLITE_OK) return sqlite_err(c.db, rc, err);
  int i = 1;
  if (a) sqlite3_bind_text(st, i++, a->c_str(), -1, SQLITE_TRANSIENT);
  if (b) sqlite3_bind_text(st, i++, b->c_str(), -1, SQLITE_TRANSIENT);
  if (!a) sqlite3_bind_int(st, i++, flags);
  sqlite3_bind_text(st, i, user.c_str(), -1, SQLITE_TRANSIENT);
  rc = sqlite3_step(st);
  sqlite3_finalize(st);
  if (rc != SQLITE_DONE) return sqlite_err(c.db, rc, err);
  if (sqlite3_changes(c.db) == 0) return dl_set_error(err, 1918, user.c_str());
  return 0;
}
}  // namespace

int be_user_password(const std::string& dir, const std::string& user,
                     const std::string& password, DlError* err) {
  if (password.empty()) return dl_set_error(err, 988);
  std::string salt = new_salt();
  std::string hash = hash_password(salt, password);
  return update_user(dir, user, "UPDATE OCILITE_USERS SET SALT = ?, HASH = ? WHERE NAME = ?",
                     &salt, &hash, 0, err);
}

int be_user_flags(const std::string& dir, const std::string& user, int flags, DlError* err) {
  return update_user(dir, user, "UPDATE OCILITE_USERS SET FLAGS = ? WHERE NAME = ?", nullptr,
                     nullptr, flags, err);
}

namespace {

int list_users(Db& c, std::vector<BeUser>* out, DlError* err) {
  sqlite3_stmt* st = nullptr;
  int rc = sqlite3_prepare_v2(c.db, "SELECT NAME, FLAGS FROM OCILITE_USERS ORDER BY NAME", -1,
                              &st, nullptr);
  if (rc != SQLITE_OK) return sqlite_err(c.db, rc, err);
  while ((rc = sqlite3_step(st)) == SQLITE_ROW)
    out->push_back({reinterpret_cast<const char*>(sqlite3_column_text(st, 0)),
                    sqlite3_column_int(st, 1)});
  sqlite3_finalize(st);
  return rc == SQLITE_DONE ? 0 : sqlite_err(c.db, rc, err);
}

}  // namespace

int be_user_list(const std::string& dir, std::vector<BeUser>* out, DlError* err) {
  Db c;
  if (int rc = open_catalog(dir, false, &c, err)) return rc;
  return list_users(c, out, err);
}

int be_check_logon(const std::string& dir, const std::string& user_in,
                   const std::string& password, int* flags, DlError* err,
                   std::vector<BeUser>* users) {
  std::string user = upper(user_in);
  Db c;
  if (int rc = open_catalog(dir, false, &c, err)) return rc;
  sqlite3_stmt* st = nullptr;
  int rc = sqlite3_prepare_v2(c.db, "SELECT SALT, HASH, FLAGS FROM OCILITE_USERS WHERE NAME = ?",
                              -1, &st, nullptr);
  if (rc != SQLITE_OK) return sqlite_err(c.db, rc, err);
  sqlite3_bind_text(st, 1, user.c_str(), -1, SQLITE_TRANSIENT);
  int result = dl_set_error(err, 1017);
  if (sqlite3_step(st) == SQLITE_ROW) {
    std::string salt = reinterpret_cast<const char*>(sqlite3_column_text(st, 0));
    std::string hash = reinterpret_cast<const char*>(sqlite3_column_text(st, 1));
    if (hash_password(salt, password) == hash) {
      *flags = sqlite3_column_int(st, 2);
      *err = DlError{};
      result = 0;
    }
  }
  sqlite3_finalize(st);
  if (result == 0 && users) result = list_users(c, users, err);
  return result;
}

// ---- Connections -------------------------------------------------------------

struct BeConn {
  sqlite3* db = nullptr;
  // Statements run on every execution (the per-statement savepoint), kept
  // prepared: compiling them each time cost more than many a statement.
  // Looked up by the text as given, without a string made per execution.
  std::map<std::string, sqlite3_stmt*, std::less<>> kept;
  std::string main_name;  // kept alive: SQLite keeps the pointer
  std::string dir;
  // SQLite attaches a few schemas at most: those attached, least recently
  // needed first, and the others, attached when a statement names them.
  std::vector<std::string> attached, unattached;
  // The database's DDL stamp as last seen: another session's DDL touches it,
  // and the session then remakes what it derives from the schemas.
  std::string stamp;
  struct stat seen{};
  DlSession* session = nullptr;  // its synonym map follows the schemas
  BeBreakFn brk = nullptr;
  void* brk_ctx = nullptr;
  bool broke = false;     // the last wait ended because of a break
  bool no_wait = false;   // SQLite's own waits give up at once (the caller waits)
};

struct BeStmt {
  sqlite3_stmt* st = nullptr;
  BeConn* conn = nullptr;
};

namespace {

int busy_cb(void* ctx, int count) {
  auto* c = static_cast<BeConn*>(ctx);
  if (c->brk && c->brk(c->brk_ctx)) {
    c->broke = true;
    return 0;
  }
  if (c->no_wait) return 0;
  // Short sleeps first so that a lock held for a moment costs little.
  int slept_ms = count < 10 ? count : 10 + (count - 10) * 10;
  if (slept_ms >= lock_timeout_ms()) return 0;
  std::this_thread::sleep_for(std::chrono::milliseconds(count < 10 ? 1 : 10));
  return 1;
}

int progress_cb(void* ctx) {
  auto* c = static_cast<BeConn*>(ctx);
  if (c->brk && c->brk(c->brk_ctx)) {
    c->broke = true;
    return 1;
  }
  return 0;
}

int conn_err(BeConn* c, int rc, DlError* err) {
  int xrc = sqlite3_extended_errcode(c->db);
  if ((rc & 0xff) == SQLITE_INTERRUPT || ((rc & 0xff) == SQLITE_BUSY && c->broke)) {
    c->broke = false;
    return dl_set_error(err, 1013);
  }
  if ((rc & 0xff) == SQLITE_BUSY && (xrc & 0xff) == SQLITE_BUSY) {
    if (xrc == SQLITE_BUSY_SNAPSHOT) return dl_set_error(err, 8177);
    return dl_set_error(err, 54);
  }
  return dl_map_sqlite_error(xrc, sqlite3_errmsg(c->db), err, c->session);
}

}  // namespace

int be_open(const std::string& dir, const std::string& user_in, DlSession* session,
            BeBreakFn brk, void* brk_ctx, BeConn** out, DlError* err,
            const std::vector<BeUser>* known_users) {
  *out = nullptr;
  std::string user = upper(user_in);
  std::vector<BeUser> read_users;
  if (!known_users) {
    if (int rc = be_user_list(dir, &read_users, err)) return rc;
    known_users = &read_users;
  }
  const std::vector<BeUser>& users = *known_users;
  auto c = std::make_unique<BeConn>();
  c->brk = brk;
  c->brk_ctx = brk_ctx;
  c->main_name = user;
  std::string path = join(dir, user + ".db");
  // The OCI layer runs one call at a time on a session's connection (its call
  // lock), so SQLite's own per-call mutex is not needed.
  int rc = sqlite3_open_v2(path.c_str(), &c->db,
                           SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE | SQLITE_OPEN_NOMUTEX,
                           nullptr);
  if (rc != SQLITE_OK) {
    int r = sqlite_err(c->db, rc, err);
    sqlite3_close_v2(c->db);
    return r;
  }
  sqlite3_extended_result_codes(c->db, 1);
  sqlite3_busy_handler(c->db, busy_cb, c.get());
  sqlite3_progress_handler(c->db, 1000, progress_cb, c.get());
  // The own schema answers to the user's name as well as to "main".
  sqlite3_db_config(c->db, SQLITE_DBCONFIG_MAINDBNAME, c->main_name.c_str());
  auto fail = [&](int r) {
    sqlite3_close_v2(c->db);
    return r;
  };
  // SQLite's own page cache size: a larger one costs a first scan time and
  // every session memory, and the operating system caches the file anyway.
  if (int r = exec(c->db, "PRAGMA journal_mode=WAL; PRAGMA synchronous=NORMAL;"
                          "PRAGMA foreign_keys=ON",
                   err))
    return fail(r);
  c->dir = dir;
  c->stamp = join(dir, "ocilite_ddl.stamp");
  const size_t limit = static_cast<size_t>(sqlite3_limit(c->db, SQLITE_LIMIT_ATTACHED, -1));
  for (const auto& u : users) {
    if (u.name == user) continue;
    std::string other = join(dir, u.name + ".db");
    if (!file_exists(other)) continue;
    if (c->attached.size() >= limit) {  // attached when a statement names it
      c->unattached.push_back(u.name);
      continue;
    }
    char* sql = sqlite3_mprintf("ATTACH DATABASE %Q AS \"%w\"", other.c_str(), u.name.c_str());
    int r = exec(c->db, sql, err);
    sqlite3_free(sql);
    if (r) return fail(r);
    c->attached.push_back(u.name);
  }
  session->user = user;
  c->session = session;
  rc = dl_register(c->db, session);
  if (rc != SQLITE_OK) return fail(sqlite_err(c->db, rc, err));
  dl_refresh_synonyms(c->db, user, session);
  *out = c.release();
  return 0;
}

void be_close(BeConn* c) {
  if (!c) return;
  for (auto& k : c->kept) sqlite3_finalize(k.second);
  sqlite3_close_v2(c->db);
  delete c;
}

int be_exec(BeConn* c, const char* sql, DlError* err) {
  c->broke = false;
  int rc = sqlite3_exec(c->db, sql, nullptr, nullptr, nullptr);
  return rc == SQLITE_OK ? 0 : conn_err(c, rc, err);
}

int be_exec_kept(BeConn* c, const char* sql, DlError* err) {
  c->broke = false;
  auto it = c->kept.find(std::string_view(sql));
  if (it == c->kept.end()) {
    sqlite3_stmt* fresh = nullptr;
    int rc = sqlite3_prepare_v2(c->db, sql, -1, &fresh, nullptr);
    if (rc != SQLITE_OK) return conn_err(c, rc, err);
    it = c->kept.emplace(sql, fresh).first;
  }
  sqlite3_stmt* st = it->second;
  int rc = sqlite3_step(st);
  int r = rc == SQLITE_DONE || rc == SQLITE_ROW ? 0 : conn_err(c, rc, err);
  sqlite3_reset(st);
  return r;
}

bool be_in_transaction(BeConn* c) { return sqlite3_get_autocommit(c->db) == 0; }

int be_begin(BeConn* c, DlError* err) {
  if (be_in_transaction(c)) return 0;
  return be_exec(c, "BEGIN", err);
}

int be_commit(BeConn* c, DlError* err) {
  if (!be_in_transaction(c)) return 0;
  return be_exec(c, "COMMIT", err);
}

int be_rollback(BeConn* c, DlError* err) {
  if (!be_in_transaction(c)) return 0;
  return be_exec(c, "ROLLBACK", err);
}

namespace {

// The tables a query reads, one per schema ("db" -> table), from the
// statement's program: SQLite names no table there, only root pages, which
// the schema's catalog turns into table names.
int read_tables(BeConn* c, const std::string& sql, std::map<std::string, std::string>* out,
                DlError* err) {
  std::map<int, std::string> dbs;  // index -> name
  {
    sqlite3_stmt* st = nullptr;
    int rc = sqlite3_prepare_v2(c->db, "PRAGMA database_list", -1, &st, nullptr);
    if (rc != SQLITE_OK) return conn_err(c, rc, err);
    while (sqlite3_step(st) == SQLITE_ROW)
      dbs[sqlite3_column_int(st, 0)] = reinterpret_cast<const char*>(sqlite3_column_text(st, 1));
    sqlite3_finalize(st);
  }
  std::vector<std::pair<int, int>> roots;  // (db index, root page)
  {
    sqlite3_stmt* st = nullptr;
    const std::string explain = "EXPLAIN " + sql;
    int rc = sqlite3_prepare_v2(c->db, explain.c_str(), -1, &st, nullptr);
    if (rc != SQLITE_OK) return conn_err(c, rc, err);
    while (sqlite3_step(st) == SQLITE_ROW) {
      const char* op = reinterpret_cast<const char*>(sqlite3_column_text(st, 1));
      if (op && std::strcmp(op, "OpenRead") == 0)
        roots.emplace_back(sqlite3_column_int(st, 4), sqlite3_column_int(st, 3));
    }
    sqlite3_finalize(st);
  }
  for (const auto& [db, root] : roots) {
    auto name = dbs.find(db);
    if (name == dbs.end() || name->second == "temp" || out->count(name->second)) continue;
    char* q = sqlite3_mprintf("SELECT tbl_name FROM \"%w\".sqlite_master WHERE rootpage = %d",
                              name->second.c_str(), root);
    sqlite3_stmt* st = nullptr;
    int rc = sqlite3_prepare_v2(c->db, q, -1, &st, nullptr);
    sqlite3_free(q);
    if (rc != SQLITE_OK) return conn_err(c, rc, err);
    if (sqlite3_step(st) == SQLITE_ROW) {
      std::string table = reinterpret_cast<const char*>(sqlite3_column_text(st, 0));
      if (table.rfind("sqlite_", 0) != 0) (*out)[name->second] = table;
    }
    sqlite3_finalize(st);
  }
  return 0;
}

}  // namespace

int be_lock_for_update(BeConn* c, const std::string& sql, int wait_ms, DlError* err) {
  std::map<std::string, std::string> tables;
  if (int rc = read_tables(c, sql, &tables, err)) return rc;
  const bool fresh = !be_in_transaction(c);
  if (int rc = be_begin(c, err)) return rc;
  if (wait_ms < 0) wait_ms = lock_timeout_ms();
  const auto start = std::chrono::steady_clock::now();
  int result = 0;
  // Schema by schema in name order, so that two sessions locking the same
  // schemas cannot each hold one the other waits for. A statement that would
  // write the schema but changes nothing takes its write lock.
  for (const auto& [db, table] : tables) {
    char* lock = sqlite3_mprintf("DELETE FROM \"%w\".\"%w\" WHERE 0", db.c_str(), table.c_str());
    for (int tries = 0;; ++tries) {
      c->no_wait = true;
      int rc = sqlite3_exec(c->db, lock, nullptr, nullptr, nullptr);
      c->no_wait = false;
      if (rc == SQLITE_OK) break;
      const int xrc = sqlite3_extended_errcode(c->db);
      // A snapshot older than the holder's commit stays old inside a
      // transaction that read before; a fresh one takes a new one each try.
      const bool waitable = xrc == SQLITE_BUSY || (xrc == SQLITE_BUSY_SNAPSHOT && fresh);
      if ((rc & 0xff) != SQLITE_BUSY || !waitable) {
        result = conn_err(c, rc, err);
        break;
      }
      if (c->brk && c->brk(c->brk_ctx)) {
        result = dl_set_error(err, 1013);
        break;
      }
      const auto waited = std::chrono::duration_cast<std::chrono::milliseconds>(
                              std::chrono::steady_clock::now() - start).count();
      if (waited >= wait_ms) {
        result = dl_set_error(err, 54);
        break;
      }
      std::this_thread::sleep_for(std::chrono::milliseconds(tries < 10 ? 1 : 10));
    }
    sqlite3_free(lock);
    if (result) break;
  }
  if (result && fresh) {
    DlError ignored;
    be_rollback(c, &ignored);
  }
  return result;
}

int64_t be_changes(BeConn* c) { return sqlite3_changes64(c->db); }
int64_t be_last_rowid(BeConn* c) { return sqlite3_last_insert_rowid(c->db); }
sqlite3* be_sqlite(BeConn* c) { return c->db; }

// ---- Statements --------------------------------------------------------------

namespace {
bool same_stamp(const struct stat& a, const struct stat& b) {
  return a.st_ino == b.st_ino && a.st_size == b.st_size && a.st_mtim.tv_sec == b.st_mtim.tv_sec &&
         a.st_mtim.tv_nsec == b.st_mtim.tv_nsec;
}
}  // namespace

void be_refresh_synonyms(BeConn* c) {
  dl_refresh_synonyms(c->db, c->main_name, c->session);
  stat(c->stamp.c_str(), &c->seen);
}

void be_note_ddl(BeConn* c) {
  // A new content (and time) for every DDL, so that every session notices.
  static std::atomic<unsigned> n{0};
  char buf[64];
  const int len = std::snprintf(buf, sizeof buf, "%ld %u %lld\n", static_cast<long>(getpid()), ++n,
                                static_cast<long long>(std::chrono::steady_clock::now().time_since_epoch().count()));
  if (FILE* f = std::fopen(c->stamp.c_str(), "w")) {
    std::fwrite(buf, 1, static_cast<size_t>(len), f);
    std::fclose(f);
  }
  be_refresh_synonyms(c);
}

void be_check_ddl(BeConn* c) {
  struct stat now{};
  if (stat(c->stamp.c_str(), &now) == 0 && !same_stamp(now, c->seen)) be_refresh_synonyms(c);
}

namespace {

// The schema of a "no such table: SCHEMA.NAME" failure when it is one the
// session has not attached; "" otherwise.
std::string unattached_schema(BeConn* c) {
  const char* msg = sqlite3_errmsg(c->db);
  if (std::strncmp(msg, "no such table: ", 15) != 0) return "";
  const char* dot = std::strchr(msg + 15, '.');
  if (!dot) return "";
  std::string schema(msg + 15, static_cast<size_t>(dot - msg - 15));
  for (const std::string& u : c->unattached)
    if (u == schema) return schema;
  return "";
}

// Attaches a schema a statement names, detaching the least recently needed
// one that no statement running and no open transaction holds (and that
// sql does not name) when the limit is reached.
int attach_on_demand(BeConn* c, const std::string& schema, const std::string& sql, DlError* err) {
  const size_t limit = static_cast<size_t>(sqlite3_limit(c->db, SQLITE_LIMIT_ATTACHED, -1));
  if (c->attached.size() >= limit) {
    bool freed = false;
    for (size_t i = 0; i < c->attached.size() && !freed; ++i) {
      const std::string victim = c->attached[i];
      if (sql.find("\"" + victim + "\".") != std::string::npos) continue;
      char* detach = sqlite3_mprintf("DETACH DATABASE \"%w\"", victim.c_str());
      freed = sqlite3_exec(c->db, detach, nullptr, nullptr, nullptr) == SQLITE_OK;
      sqlite3_free(detach);
      if (freed) {
        c->attached.erase(c->attached.begin() + static_cast<long>(i));
        c->unattached.push_back(victim);
      }
    }
    if (!freed) {
      std::snprintf(err->message, sizeof err->message,
                    "unimplemented feature: schema %s cannot be reached while %zu other schemas are in use "
                    "(the embedded database's limit)",
                    schema.c_str(), limit);
      err->code = 3001;
      return err->code;
    }
  }
  char* attach = sqlite3_mprintf("ATTACH DATABASE %Q AS \"%w\"", join(c->dir, schema + ".db").c_str(), schema.c_str());
  int rc = sqlite3_exec(c->db, attach, nullptr, nullptr, nullptr);
  sqlite3_free(attach);
  if (rc != SQLITE_OK) return conn_err(c, rc, err);
  c->unattached.erase(std::find(c->unattached.begin(), c->unattached.end(), schema));
  c->attached.push_back(schema);
  return 0;
}

}  // namespace

std::vector<std::string> be_unattached(BeConn* c) { return c->unattached; }

int be_attach(BeConn* c, const std::string& schema, DlError* err) {
  if (std::find(c->unattached.begin(), c->unattached.end(), schema) == c->unattached.end()) return 0;
  return attach_on_demand(c, schema, "", err);
}

int be_prepare(BeConn* c, const std::string& sql, BeStmt** out, DlError* err) {
  *out = nullptr;
  sqlite3_stmt* st = nullptr;
  const char* tail = nullptr;
  int rc = sqlite3_prepare_v3(c->db, sql.data(), static_cast<int>(sql.size()),
                              SQLITE_PREPARE_PERSISTENT, &st, &tail);
  // A schema not attached yet: attach it (one at a time, each it names).
  for (size_t tries = 0; rc != SQLITE_OK && tries < 16; ++tries) {
    const std::string schema = unattached_schema(c);
    if (schema.empty()) break;
    if (int r = attach_on_demand(c, schema, sql, err)) return r;
    rc = sqlite3_prepare_v3(c->db, sql.data(), static_cast<int>(sql.size()), SQLITE_PREPARE_PERSISTENT, &st, &tail);
  }
  if (rc != SQLITE_OK && std::strncmp(sqlite3_errmsg(c->db), "no such table: ", 15) == 0) {
    // Perhaps a synonym another session made since: look again, once.
    be_refresh_synonyms(c);
    rc = sqlite3_prepare_v3(c->db, sql.data(), static_cast<int>(sql.size()), SQLITE_PREPARE_PERSISTENT, &st, &tail);
  }
  if (rc != SQLITE_OK) return conn_err(c, rc, err);
  if (!st) return dl_set_error(err, 900);  // nothing but blanks or comments
  while (tail && *tail && (std::isspace(static_cast<unsigned char>(*tail)) || *tail == ';')) ++tail;
  if (tail && *tail) {
    sqlite3_finalize(st);
    return dl_set_error(err, 933);
  }
  *out = new BeStmt{st, c};
  return 0;
}

void be_finalize(BeStmt* s) {
  if (!s) return;
  sqlite3_finalize(s->st);
  delete s;
}

int be_step(BeStmt* s, DlError* err) {
  s->conn->broke = false;
  int rc = sqlite3_step(s->st);
  if (rc == SQLITE_ROW) return 1;
  if (rc == SQLITE_DONE) return 0;
  conn_err(s->conn, rc, err);
  sqlite3_reset(s->st);
  return -1;
}

void be_reset(BeStmt* s) { sqlite3_reset(s->st); }
bool be_readonly(BeStmt* s) { return sqlite3_stmt_readonly(s->st) != 0; }
int be_column_count(BeStmt* s) { return sqlite3_column_count(s->st); }
int be_param_count(BeStmt* s) { return sqlite3_bind_parameter_count(s->st); }

// One column value per call on the fetch path: the value object is read
// directly (one API call to reach it, then the cheap value accessors).
void be_column(BeStmt* s, int col, BeValue* v) {
  sqlite3_value* x = sqlite3_column_value(s->st, col);
  switch (sqlite3_value_type(x)) {
    case SQLITE_INTEGER:
      v->type = BE_INT;
      v->i = sqlite3_value_int64(x);
      break;
    case SQLITE_FLOAT:
      v->type = BE_REAL;
      v->d = sqlite3_value_double(x);
      break;
    case SQLITE_TEXT:
      v->type = BE_TEXT;
      v->p = reinterpret_cast<const char*>(sqlite3_value_text(x));
      v->n = static_cast<size_t>(sqlite3_value_bytes(x));
      break;
    case SQLITE_BLOB:
      v->type = BE_BLOB;
      v->p = static_cast<const char*>(sqlite3_value_blob(x));
      v->n = static_cast<size_t>(sqlite3_value_bytes(x));
      break;
    default:
      v->type = BE_NULL;
      break;
  }
}

void be_describe(BeStmt* s, const DlStatement* st, int col, DlColType* type, std::string* name) {
  dl_describe_column(st, s->st, col, type, name);
  // A plain column of a table: NOT NULL and primary keys say it is never NULL.
  const char* d = sqlite3_column_database_name(s->st, col);
  const char* t = sqlite3_column_table_name(s->st, col);
  const char* c = sqlite3_column_origin_name(s->st, col);
  if (d && t && c) {
    int notnull = 0, pk = 0;
    if (sqlite3_table_column_metadata(s->conn->db, d, t, c, nullptr, nullptr, &notnull, &pk,
                                      nullptr) == SQLITE_OK &&
        (notnull || pk))
      type->nullable = false;
  }
}

void be_column_origin(BeStmt* s, int col, std::string* schema, std::string* table,
                      std::string* column) {
  const char* d = sqlite3_column_database_name(s->st, col);
  const char* t = sqlite3_column_table_name(s->st, col);
  const char* c = sqlite3_column_origin_name(s->st, col);
  *schema = d ? d : "";
  *table = t ? t : "";
  *column = c ? c : "";
}

int be_bind(BeStmt* s, int param, const BeValue& v, DlError* err) {
  int rc;
  switch (v.type) {
    case BE_INT:
      rc = sqlite3_bind_int64(s->st, param, v.i);
      break;
    case BE_REAL:
      rc = sqlite3_bind_double(s->st, param, v.d);
      break;
    case BE_TEXT:
      rc = sqlite3_bind_text64(s->st, param, v.p, v.n, SQLITE_TRANSIENT, SQLITE_UTF8);
      break;
    case BE_BLOB:
      rc = sqlite3_bind_blob64(s->st, param, v.p, v.n, SQLITE_TRANSIENT);
      break;
    default:
      rc = sqlite3_bind_null(s->st, param);
      break;
  }
  return rc == SQLITE_OK ? 0 : conn_err(s->conn, rc, err);
}

void be_clear_bindings(BeStmt* s) { sqlite3_clear_bindings(s->st); }

int be_check_compiled(BeStmt* s, const DlStatement* st, DlError* err) {
  return dl_check_set_operation(st, s->st, err);
}

// ---- Catalog -----------------------------------------------------------------

int be_describe_object(BeConn* c, const std::string& schema_in, const std::string& name,
                       bool* is_view, std::string* real_schema, std::string* real_name,
                       std::vector<BeColumnInfo>* cols, DlError* err) {
  std::string schema = schema_in.empty() ? c->main_name : schema_in;
  if (sqlite3_db_filename(c->db, schema.c_str()) == nullptr)
    return dl_set_error(err, 4043, name.c_str());
  char* sql = sqlite3_mprintf(
      "SELECT type, name FROM \"%w\".sqlite_schema WHERE type IN ('table','view') AND "
      "name = %Q COLLATE NOCASE",
      schema.c_str(), name.c_str());
  sqlite3_stmt* st = nullptr;
  int rc = sqlite3_prepare_v2(c->db, sql, -1, &st, nullptr);
  sqlite3_free(sql);
  if (rc != SQLITE_OK) return conn_err(c, rc, err);
  if (sqlite3_step(st) != SQLITE_ROW) {
    sqlite3_finalize(st);
    return dl_set_error(err, 4043, name.c_str());
  }
  *is_view = std::strcmp(reinterpret_cast<const char*>(sqlite3_column_text(st, 0)), "view") == 0;
  *real_name = reinterpret_cast<const char*>(sqlite3_column_text(st, 1));
  *real_schema = schema;
  sqlite3_finalize(st);

  // Declared types and NOT NULL from the schema; view columns without a
  // declared type are described as a query would describe them.
  sql = sqlite3_mprintf("PRAGMA \"%w\".table_xinfo(\"%w\")", schema.c_str(), real_name->c_str());
  rc = sqlite3_prepare_v2(c->db, sql, -1, &st, nullptr);
  sqlite3_free(sql);
  if (rc != SQLITE_OK) return conn_err(c, rc, err);
  std::vector<int> untyped;
  while (sqlite3_step(st) == SQLITE_ROW) {
    if (sqlite3_column_int(st, 6) != 0 && sqlite3_column_int(st, 6) != 1) continue;  // hidden
    BeColumnInfo ci;
    ci.name = reinterpret_cast<const char*>(sqlite3_column_text(st, 1));
    const char* decl = reinterpret_cast<const char*>(sqlite3_column_text(st, 2));
    if (!decl || !*decl || !dl_parse_decltype(decl, &ci.type)) {
      untyped.push_back(static_cast<int>(cols->size()));
      ci.type = DlColType{};
      ci.type.type = DL_T_VARCHAR2;
      ci.type.size = 4000;
    }
    // Oracle keeps NULL out of primary key columns; so does NOT NULL.
    ci.type.nullable = sqlite3_column_int(st, 3) == 0 && sqlite3_column_int(st, 5) == 0;
    cols->push_back(std::move(ci));
  }
  sqlite3_finalize(st);
  if (!untyped.empty()) {
    sql = sqlite3_mprintf("SELECT * FROM \"%w\".\"%w\"", schema.c_str(), real_name->c_str());
    rc = sqlite3_prepare_v2(c->db, sql, -1, &st, nullptr);
    sqlite3_free(sql);
    if (rc == SQLITE_OK) {
      DlStatement none;
      BeStmt bs{st, c};
      for (int i : untyped) {
        if (i >= sqlite3_column_count(st)) continue;
        std::string ignored;
        dl_describe_column(&none, bs.st, i, &(*cols)[static_cast<size_t>(i)].type, &ignored);
      }
      sqlite3_finalize(st);
    }
  }
  return 0;
}

bool be_column_is_number(BeStmt* s, const std::string& schema, const std::string& table,
                         const std::string& column, int index) {
  BeConn* c = s->conn;
  const std::string db = schema.empty() ? c->main_name : schema;
  char* sql = sqlite3_mprintf("PRAGMA \"%w\".table_info(%Q)", db.c_str(), table.c_str());
  sqlite3_stmt* st = nullptr;
  int rc = sqlite3_prepare_v2(c->db, sql, -1, &st, nullptr);
  sqlite3_free(sql);
  bool number = false;
  for (int i = 0; rc == SQLITE_OK && sqlite3_step(st) == SQLITE_ROW; ++i) {
    const char* name = reinterpret_cast<const char*>(sqlite3_column_text(st, 1));
    if (column.empty() ? i != index : (!name || column != name)) continue;
    const char* decl = reinterpret_cast<const char*>(sqlite3_column_text(st, 2));
    DlColType t;
    number = decl && dl_parse_decltype(decl, &t) && t.type == DL_T_NUMBER;
    break;
  }
  sqlite3_finalize(st);
  return number;
}

}  // namespace ocl
