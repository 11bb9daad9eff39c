// Server attach, user sessions, transactions, break/reset and connection
// pools.
#include <algorithm>
#include <chrono>
#include <cstring>
#include <map>
#include <thread>

#include "oci_int.h"

namespace ocl {

namespace {

// Connection pools by name, for OCIServerAttach in OCI_CPOOL mode.
struct PoolRegistry {
  std::mutex mu;
  std::map<std::string, CPool*> pools;
  unsigned next = 1;
};

PoolRegistry& pools() {
  static PoolRegistry r;
  return r;
}

std::string text_arg(const OraText* p, sb4 len) {
  if (!p) return {};
  if (len < 0) return reinterpret_cast<const char*>(p);
  return std::string(reinterpret_cast<const char*>(p), static_cast<size_t>(len));
}

bool session_break(void* ctx) { return static_cast<Session*>(ctx)->brk.load(); }

CPool* find_pool(const std::string& name) {
  PoolRegistry& r = pools();
  std::lock_guard<std::mutex> g(r.mu);
  auto it = r.pools.find(name);
  return it == r.pools.end() ? nullptr : it->second;
}

}  // namespace

bool pool_borrow(Session* s, Error* e) {
  if (s->pool.empty() || s->holds) return true;
  CPool* p = find_pool(s->pool);
  if (!p) return true;  // destroyed under its sessions: they keep working
  std::unique_lock<std::mutex> g(p->mu);
  for (;;) {
    if (p->busy < p->open) break;
    if (p->open < p->max) {
      p->open = std::min(p->max, p->open + std::max<ub4>(p->incr, 1));
      p->peak = std::max(p->peak, p->open);
      break;
    }
    if (p->nowait) {
      err_set(e, 24401);
      return false;
    }
    p->freed.wait(g);
  }
  ++p->busy;
  s->holds = true;
  return true;
}

void pool_settle(Session* s, bool force) {
  if (!s->holds) return;
  if (!force && ((s->conn && be_in_transaction(s->conn)) || session_has_open_cursor(s))) return;
  s->holds = false;
  if (CPool* p = find_pool(s->pool)) {
    std::lock_guard<std::mutex> g(p->mu);
    if (p->busy) --p->busy;
    p->freed.notify_one();
  }
}

CPool::~CPool() {
  if (!created) return;
  PoolRegistry& r = pools();
  std::lock_guard<std::mutex> g(r.mu);
  auto it = r.pools.find(name);
  if (it != r.pools.end() && it->second == this) r.pools.erase(it);
}

Server::~Server() {
  if (Session* s = session.load(); s && is_live(s) && s->server == this) s->server = nullptr;
  if (attached && !pool.empty()) {
    PoolRegistry& r = pools();
    std::lock_guard<std::mutex> g(r.mu);
    auto it = r.pools.find(pool);
    if (it != r.pools.end()) it->second->users.fetch_sub(1);
  }
}

namespace {

// Ends a session: its open transaction is rolled back, its statements lose
// their compiled SQL, cached statements are freed and the connection closes.
void session_end(Session* s) {
  if (!s->begun) return;
  {
    std::lock_guard<std::recursive_mutex> g(s->call_mu);
    pool_settle(s, true);
    DlError ignored;
    be_rollback(s->conn, &ignored);
    std::vector<Stmt*> cached(s->cache.begin(), s->cache.end());
    s->cache.clear();
    for (Stmt* st : cached) {
      st->cache_owner = nullptr;
      env_release(st);
      delete st;
    }
    std::vector<Stmt*> live(s->compiled.begin(), s->compiled.end());
    for (Stmt* st : live) stmt_uncompile(st);
    be_close(s->conn);
    s->conn = nullptr;
    s->begun = false;
  }
  if (s->server) {
    Session* expected = s;
    s->server->session.compare_exchange_strong(expected, nullptr);
  }
  if (s->env) {
    std::lock_guard<std::mutex> g(s->env->mu);
    auto& v = s->env->sessions;
    v.erase(std::remove(v.begin(), v.end(), s), v.end());
  }
  s->server = nullptr;
}

}  // namespace

Session::~Session() { session_end(this); }

int session_conn_open(Session* s, BeConn** out, DlError* err) {
  *out = nullptr;
  if (!s->begun || !s->server) return dl_set_error(err, 1012);
  return be_open(s->server->dir, s->user, &s->dl, session_break, s, out, err);
}

void session_use_conn(Session* s, BeConn* c) {
  std::lock_guard<std::recursive_mutex> g(s->call_mu);
  if (s->conn == c) return;
  std::vector<Stmt*> live(s->compiled.begin(), s->compiled.end());
  for (Stmt* st : live) stmt_uncompile(st);
  s->conn = c;
}

Session* svc_session(SvcCtx* svc) {
  if (!svc || !svc->session || !is_live(svc->session) || !svc->session->begun) return nullptr;
  return svc->session;
}

}  // namespace ocl

using namespace ocl;

// ---- Server ----------------------------------------------------------------------

// The connect identifier names no database: Oracle's error, with the
// directory that was tried, so that a user can tell a typing error in the
// data source from a database never created.
static sword unresolved(Error* e, const std::string& dir) {
  return err_set_text(e, 12154, ora_text(12154) + ": " + be_database_missing(dir));
}

OCI_EXPORT sword OCIServerAttach(OCIServer* srvhp, OCIError* errhp, const OraText* dblink,
                                 sb4 dblink_len, ub4 mode) {
  Server* srv = as<Server>(srvhp, OCI_HTYPE_SERVER);
  Error* e = as<Error>(errhp, OCI_HTYPE_ERROR);
  if (!srv || !e) return OCI_INVALID_HANDLE;
  err_clear(e);
  sword f = fault_check(OCILITE_T_ATTACH, e);
  if (f == OCI_ERROR) return f;
  if (!fault_slow(OCILITE_T_ATTACH, nullptr, e)) return OCI_ERROR;
  if (srv->attached) return err_set(e, 24309);
  std::string link = text_arg(dblink, dblink_len);
  std::string dir;
  if (mode & OCI_CPOOL) {
    PoolRegistry& r = pools();
    std::lock_guard<std::mutex> g(r.mu);
    auto it = r.pools.find(link);
    if (it == r.pools.end()) return err_set(e, 12154);
    dir = it->second->dir;
    it->second->users.fetch_add(1);
    srv->pool = link;
  } else {
    dir = be_resolve_database(link);
    if (!be_database_exists(dir)) return unresolved(e, dir);
  }
  srv->dblink = link;
  srv->dir = dir;
  srv->attached = true;
  return f;
}

static sword server_detach_work(OCIServer* srvhp, OCIError* errhp, ub4 mode) {
  Server* srv = as<Server>(srvhp, OCI_HTYPE_SERVER);
  Error* e = as<Error>(errhp, OCI_HTYPE_ERROR);
  if (!srv || !e) return OCI_INVALID_HANDLE;
  err_clear(e);
  if (!srv->attached) return err_set(e, 3114);
  if (!srv->pool.empty()) {
    PoolRegistry& r = pools();
    std::lock_guard<std::mutex> g(r.mu);
    auto it = r.pools.find(srv->pool);
    if (it != r.pools.end()) it->second->users.fetch_sub(1);
    srv->pool.clear();
  }
  srv->attached = false;
  return OCI_SUCCESS;
}

OCI_EXPORT sword OCIServerDetach(OCIServer* srvhp, OCIError* errhp, ub4 mode) {
  return with_fault(OCILITE_T_SERVER_DETACH, as<Error>(errhp, OCI_HTYPE_ERROR), [&] {
    return server_detach_work(srvhp, errhp, mode);
  });
}

OCI_EXPORT sword OCIServerVersion(void* hndlp, OCIError* errhp, OraText* bufp, ub4 bufsz,
                                  ub1 hndltype) {
  Error* e = as<Error>(errhp, OCI_HTYPE_ERROR);
  if (!e) return OCI_INVALID_HANDLE;
  Server* srv = nullptr;
  if (hndltype == OCI_HTYPE_SVCCTX) {
    SvcCtx* svc = as<SvcCtx>(hndlp, OCI_HTYPE_SVCCTX);
    if (!svc) return OCI_INVALID_HANDLE;
    srv = svc->server;
  } else if (hndltype == OCI_HTYPE_SERVER) {
    srv = as<Server>(hndlp, OCI_HTYPE_SERVER);
    if (!srv) return OCI_INVALID_HANDLE;
  } else {
    return OCI_INVALID_HANDLE;
  }
  err_clear(e);
  sword f = fault_check(OCILITE_T_SERVER_VERSION, e);
  if (f == OCI_ERROR) return f;
  if (!srv || !is_live(srv) || !srv->attached) return err_set(e, 3114);
  static const char kVersion[] =
      "Oracle Database 11g Enterprise Edition Release 11.2.0.4.0 - 64bit Production\n"
      "ocilite: embedded SQLite stand-in";
  if (bufp && bufsz) {
    size_t n = std::min<size_t>(sizeof kVersion - 1, bufsz - 1);
    std::memcpy(bufp, kVersion, n);
    bufp[n] = '\0';
  }
  return f;
}

// ---- Sessions --------------------------------------------------------------------

OCI_EXPORT sword OCISessionBegin(OCISvcCtx* svchp, OCIError* errhp, OCISession* usrhp, ub4 credt,
                                 ub4 mode) {
  SvcCtx* svc = as<SvcCtx>(svchp, OCI_HTYPE_SVCCTX);
  Error* e = as<Error>(errhp, OCI_HTYPE_ERROR);
  Session* s = as<Session>(usrhp, OCI_HTYPE_SESSION);
  if (!svc || !e || !s) return OCI_INVALID_HANDLE;
  err_clear(e);
  sword f = fault_check(OCILITE_T_SESSION_BEGIN, e);
  if (f == OCI_ERROR) return f;
  if (!fault_slow(OCILITE_T_SESSION_BEGIN, nullptr, e)) return OCI_ERROR;
  Server* srv = svc->server;
  if (!srv || !is_live(srv) || !srv->attached) return err_set(e, 24327);
  if (s->begun) return err_set(e, 24313);
  if (credt != OCI_CRED_RDBMS) return err_set(e, 1017);  // no external authentication here
  if (mode & ~(OCI_STMT_CACHE | OCI_MIGRATE)) return err_set(e, 24300);

  std::string user = s->user_attr;
  std::string password = s->password_attr;
  if (user.empty()) return err_set(e, 1017);
  int flags = 0;
  DlError d;
  std::vector<BeUser> users;  // read with the check: the catalog is opened once per logon
  if (be_check_logon(srv->dir, user, password, &flags, &d, &users)) return err_from(e, d);
  if (flags & OCILITE_USER_LOCKED) return err_set(e, 28000);
  if (flags & OCILITE_USER_EXPIRED) return err_set(e, 28001);

  // A pooled logon needs one of the pool's connections for its own call.
  s->pool = srv->pool;
  s->holds = false;
  if (!pool_borrow(s, e)) return OCI_ERROR;
  BeConn* conn = nullptr;
  s->dl = DlSession{};  // a session handle used again starts with fresh settings
  if (be_open(srv->dir, user, &s->dl, session_break, s, &conn, &d, &users)) {
    pool_settle(s, true);
    return err_from(e, d);
  }
  s->fo_dead = false;
  s->fo_txn_lost = false;
  s->conn = conn;
  s->user = s->dl.user;
  s->server = srv;
  s->begun = true;
  pool_settle(s);
  s->cache_on = (mode & OCI_STMT_CACHE) != 0;
  if (svc->cache_size) s->cache_size = svc->cache_size;
  srv->session = s;
  if (!svc->session) svc->session = s;
  {
    std::lock_guard<std::mutex> g(s->env->mu);
    s->env->sessions.push_back(s);
  }
  if (flags & OCILITE_USER_EXPIRE_GRACE) f = warn_set(e, 28002, "7");
  return f;
}

OCI_EXPORT sword OCISessionEnd(OCISvcCtx* svchp, OCIError* errhp, OCISession* usrhp, ub4 mode) {
  SvcCtx* svc = as<SvcCtx>(svchp, OCI_HTYPE_SVCCTX);
  Error* e = as<Error>(errhp, OCI_HTYPE_ERROR);
  if (!svc || !e) return OCI_INVALID_HANDLE;
  Session* s = usrhp ? as<Session>(usrhp, OCI_HTYPE_SESSION) : svc->session;
  if (!s || !is_live(s)) return OCI_INVALID_HANDLE;
  err_clear(e);
  sword f = fault_check(OCILITE_T_SESSION_END, e);
  if (f == OCI_ERROR) return f;
  if (!s->begun) return err_set(e, 1012);
  session_end(s);
  return f;
}

static sword ping_work(OCISvcCtx* svchp, OCIError* errhp, ub4 mode) {
  SvcCtx* svc = as<SvcCtx>(svchp, OCI_HTYPE_SVCCTX);
  Error* e = as<Error>(errhp, OCI_HTYPE_ERROR);
  if (!svc || !e) return OCI_INVALID_HANDLE;
  err_clear(e);
  if (!svc_session(svc)) return err_set(e, 3114);
  return OCI_SUCCESS;
}

OCI_EXPORT sword OCIPing(OCISvcCtx* svchp, OCIError* errhp, ub4 mode) {
  return with_fault(OCILITE_T_PING, as<Error>(errhp, OCI_HTYPE_ERROR), [&] {
    return ping_work(svchp, errhp, mode);
  });
}

// ---- Break and reset ---------------------------------------------------------------

namespace {
Session* break_target(void* hndlp) {
  if (SvcCtx* svc = as<SvcCtx>(hndlp, OCI_HTYPE_SVCCTX)) return svc_session(svc);
  if (Server* srv = as<Server>(hndlp, OCI_HTYPE_SERVER)) return srv->session.load();
  return nullptr;
}
}  // namespace

// OCIBreak may come from another thread while a call runs: it only raises the
// session's break flag, which the running statement and its lock waits check.
OCI_EXPORT sword OCIBreak(void* hndlp, OCIError* errhp) {
  if (!as<SvcCtx>(hndlp, OCI_HTYPE_SVCCTX) && !as<Server>(hndlp, OCI_HTYPE_SERVER))
    return OCI_INVALID_HANDLE;
  Error* e = as<Error>(errhp, OCI_HTYPE_ERROR);
  if (!e) return OCI_INVALID_HANDLE;
  if (fault_check(OCILITE_T_BREAK, nullptr) == OCI_ERROR) return err_set(e, 3113);
  Session* s = break_target(hndlp);
  if (s && s->active.load() > 0) s->brk.store(true);
  return OCI_SUCCESS;
}

// Waits until the broken-off call has ended (a statement running on its own
// thread in non-blocking mode is collected and dropped), then clears the break.
OCI_EXPORT sword OCIReset(void* hndlp, OCIError* errhp) {
  if (!as<SvcCtx>(hndlp, OCI_HTYPE_SVCCTX) && !as<Server>(hndlp, OCI_HTYPE_SERVER))
    return OCI_INVALID_HANDLE;
  Error* e = as<Error>(errhp, OCI_HTYPE_ERROR);
  if (!e) return OCI_INVALID_HANDLE;
  if (fault_check(OCILITE_T_RESET, nullptr) == OCI_ERROR) return err_set(e, 3113);
  Session* s = break_target(hndlp);
  if (!s) return OCI_SUCCESS;
  // The broken-off call (blocking, on another thread) returns on its own once
  // it sees the break; wait for that before the break is cleared.
  auto until = std::chrono::steady_clock::now() + std::chrono::seconds(60);
  while (s->active.load() > 0 && s->brk.load() && std::chrono::steady_clock::now() < until)
    std::this_thread::sleep_for(std::chrono::milliseconds(1));
  std::vector<Stmt*> stmts;
  {
    std::lock_guard<std::mutex> g(s->job_mu);
    stmts.assign(s->jobs.begin(), s->jobs.end());
    s->jobs.clear();
  }
  for (Stmt* st : stmts) {
    if (st->job) {
      if (st->job->th.joinable()) st->job->th.join();
      st->job.reset();
    }
  }
  s->brk.store(false);
  return OCI_SUCCESS;
}

// ---- Transactions ------------------------------------------------------------------

OCI_EXPORT sword OCITransStart(OCISvcCtx* svchp, OCIError* errhp, uword timeout, ub4 flags) {
  SvcCtx* svc = as<SvcCtx>(svchp, OCI_HTYPE_SVCCTX);
  Error* e = as<Error>(errhp, OCI_HTYPE_ERROR);
  if (!svc || !e) return OCI_INVALID_HANDLE;
  err_clear(e);
  sword f = fault_check(OCILITE_T_TRANS_START, e);
  if (f == OCI_ERROR) return f;
  Session* s = svc_session(svc);
  if (!s) return err_set(e, 1012);
  if (flags & (OCI_TRANS_JOIN | OCI_TRANS_RESUME)) return err_set(e, 3001);
  CallScope call(s);
  DlError d;
  if (be_begin(s->conn, &d)) return err_from(e, d);
  return f;
}

OCI_EXPORT sword OCITransCommit(OCISvcCtx* svchp, OCIError* errhp, ub4 flags) {
  SvcCtx* svc = as<SvcCtx>(svchp, OCI_HTYPE_SVCCTX);
  Error* e = as<Error>(errhp, OCI_HTYPE_ERROR);
  if (!svc || !e) return OCI_INVALID_HANDLE;
  err_clear(e);
  sword f = fault_check(OCILITE_T_COMMIT, e);
  if (f == OCI_ERROR) return f;
  Session* s = svc_session(svc);
  if (!s) return err_set(e, 1012);
  if (failover_check(OCILITE_T_COMMIT, svc, s->server, e) != OCI_SUCCESS) return OCI_ERROR;
  CallScope call(s);
  PoolUse use(s, e);
  if (!use.ok) return OCI_ERROR;
  if (!fault_slow(OCILITE_T_COMMIT, s, e)) return OCI_ERROR;
  DlError d;
  if (be_commit(s->conn, &d)) return err_from(e, d);
  return f;
}

OCI_EXPORT sword OCITransRollback(OCISvcCtx* svchp, OCIError* errhp, ub4 flags) {
  SvcCtx* svc = as<SvcCtx>(svchp, OCI_HTYPE_SVCCTX);
  Error* e = as<Error>(errhp, OCI_HTYPE_ERROR);
  if (!svc || !e) return OCI_INVALID_HANDLE;
  err_clear(e);
  sword f = fault_check(OCILITE_T_ROLLBACK, e);
  if (f == OCI_ERROR) return f;
  Session* s = svc_session(svc);
  if (!s) return err_set(e, 1012);
  if (failover_check(OCILITE_T_ROLLBACK, svc, s->server, e) != OCI_SUCCESS) return OCI_ERROR;
  CallScope call(s);
  PoolUse use(s, e);
  if (!use.ok) return OCI_ERROR;
  DlError d;
  if (be_rollback(s->conn, &d)) return err_from(e, d);
  return f;
}

// ---- Connection pools -------------------------------------------------------------

OCI_EXPORT sword OCIConnectionPoolCreate(OCIEnv* envhp, OCIError* errhp, OCICPool* poolhp,
                                         OraText** poolName, sb4* poolNameLen,
                                         const OraText* dblink, sb4 dblinkLen, ub4 connMin,
                                         ub4 connMax, ub4 connIncr, const OraText* poolUserName,
                                         sb4 poolUserLen, const OraText* poolPassword,
                                         sb4 poolPassLen, ub4 mode) {
  Env* env = as<Env>(envhp, OCI_HTYPE_ENV);
  Error* e = as<Error>(errhp, OCI_HTYPE_ERROR);
  CPool* p = as<CPool>(poolhp, OCI_HTYPE_CPOOL);
  if (!env || !e || !p) return OCI_INVALID_HANDLE;
  err_clear(e);
  sword f = fault_check(OCILITE_T_CPOOL_CREATE, e);
  if (f == OCI_ERROR) return f;
  if (connMax < connMin || connMax == 0) return err_set(e, 24328);
  std::string link = text_arg(dblink, dblinkLen);
  std::string dir = be_resolve_database(link);
  if (!be_database_exists(dir)) return unresolved(e, dir);
  std::string user = text_arg(poolUserName, poolUserLen);
  std::string password = text_arg(poolPassword, poolPassLen);
  if (!user.empty()) {
    int flags = 0;
    DlError d;
    if (be_check_logon(dir, user, password, &flags, &d)) return err_from(e, d);
  }
  PoolRegistry& r = pools();
  std::lock_guard<std::mutex> g(r.mu);
  if (!p->created) {
    p->serial = r.next;
    p->name = "OCILITE_CPOOL_" + std::to_string(r.next++);
    r.pools[p->name] = p;
    p->created = true;
    std::lock_guard<std::mutex> pg(p->mu);
    p->open = p->peak = connMin;  // opened at creation
    p->busy = 0;
  }
  p->dblink = link;
  p->dir = dir;
  p->user = user;
  p->password = password;
  p->min = connMin;
  p->max = connMax;
  p->incr = connIncr;
  if (poolName) *poolName = reinterpret_cast<OraText*>(p->name.data());
  if (poolNameLen) *poolNameLen = static_cast<sb4>(p->name.size());
  return f;
}

static sword connection_pool_destroy_work(OCICPool* poolhp, OCIError* errhp, ub4 mode) {
  CPool* p = as<CPool>(poolhp, OCI_HTYPE_CPOOL);
  Error* e = as<Error>(errhp, OCI_HTYPE_ERROR);
  if (!p || !e) return OCI_INVALID_HANDLE;
  err_clear(e);
  if (!p->created) return err_set(e, 24400);
  PoolRegistry& r = pools();
  std::lock_guard<std::mutex> g(r.mu);
  auto it = r.pools.find(p->name);
  if (it != r.pools.end() && it->second == p) r.pools.erase(it);
  p->created = false;
  return OCI_SUCCESS;
}

OCI_EXPORT sword OCIConnectionPoolDestroy(OCICPool* poolhp, OCIError* errhp, ub4 mode) {
  return with_fault(OCILITE_T_CPOOL_DESTROY, as<Error>(errhp, OCI_HTYPE_ERROR), [&] {
    return connection_pool_destroy_work(poolhp, errhp, mode);
  });
}

extern "C" __attribute__((visibility("default"))) int ocilite_test_pools(struct ocilite_pool_info* out, int max) {
  PoolRegistry& r = pools();
  std::lock_guard<std::mutex> g(r.mu);
  std::vector<CPool*> live;
  for (auto& [name, p] : r.pools) live.push_back(p);
  std::sort(live.begin(), live.end(), [](const CPool* a, const CPool* b) { return a->serial < b->serial; });
  for (size_t i = 0; i < live.size() && static_cast<int>(i) < max; ++i) {
    CPool* p = live[i];
    std::lock_guard<std::mutex> pg(p->mu);
    out[i] = {p->min, p->max, p->incr, p->nowait, p->open, p->busy, p->peak, p->users.load()};
  }
  return static_cast<int>(live.size());
}
