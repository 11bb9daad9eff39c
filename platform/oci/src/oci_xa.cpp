// Oracle's XA library as the stand-in offers it: the switch xaosw and the
// two calls that hand a logon opened by xa_open to the application.
//
// xa_open logs on with the open string's "Acc=P/user/password" to the
// database of its "SQLNET=" and names the logon by its "DB=" value. The
// verbs find the logon by the calling thread and rmid. Each branch is a
// SQLite transaction on a connection of its own, which the logon's session
// works on while the branch is associated with it (start to end), so that a
// logon may hold several branches not prepared yet (one suspended or ended
// while another runs). SQLite lets one transaction at a time write a schema
// file, so branches running at once must write different files: the second
// writer of a file waits and fails with ORA-00054, as behind a lock another
// session holds. Prepare records the branch in the schema files it
// changed (oci_xa_store.cpp), so that commit and rollback of a prepared
// branch work from any logon of the database, in any process.
#include <strings.h>

#include <cstring>
#include <map>
#include <memory>
#include <mutex>
#include <thread>

#include "oci_int.h"
#include "oci_xa_store.h"

using namespace ocl;

namespace {

enum Verb { V_OPEN, V_CLOSE, V_START, V_END, V_ROLLBACK, V_PREPARE, V_COMMIT, V_RECOVER, V_FORGET, V_COMPLETE, V_COUNT };

enum class BranchState { Active, Suspended, Idle };

// A branch not prepared yet, on its own connection.
struct Branch {
  XID xid{};
  BeConn* conn = nullptr;
  XaRows rows;
  BranchState state = BranchState::Active;
  bool rollbackOnly = false;
};

struct Login {
  std::string dbname;  // the open string's DB= value
  std::string dir, user;
  OCIEnv* env = nullptr;
  OCIError* err = nullptr;
  OCIServer* srv = nullptr;
  OCISvcCtx* svc = nullptr;
  OCISession* ses = nullptr;
  BeConn* home = nullptr;  // the session's own connection, used outside branches
  // Guards the branches: other threads of the process may prepare, commit
  // or roll back one that is not associated.
  std::mutex mu;
  std::vector<std::unique_ptr<Branch>> branches;
  Branch* current = nullptr;  // associated with the logon now (Active)
  // xa_recover's scan: the XIDs found at its start and how many went out.
  std::vector<XID> scan;
  size_t scanPos = 0;
  Session* session() const { return as<Session>(ses, OCI_HTYPE_SESSION); }
  Branch* find(const XID& x) const {
    for (const auto& b : branches)
      if (xs_same_xid(b->xid, x)) return b.get();
    return nullptr;
  }
};

struct Registry {
  std::mutex mu;
  std::map<std::pair<std::thread::id, int>, std::shared_ptr<Login>> byThread;
  // The branches not prepared yet of every logon, by database directory: an
  // XID is unique in its database.
  struct Held {
    std::string dir;
    XID xid;
    std::weak_ptr<Login> login;
  };
  std::vector<Held> active;
  int injected[V_COUNT] = {};
  bool armed[V_COUNT] = {};
};

// Never destroyed: logons left open at exit stay reachable, not leaked.
Registry& reg() {
  static auto* r = new Registry;
  return *r;
}

bool injected(Verb v, int* code) {
  Registry& r = reg();
  std::lock_guard<std::mutex> g(r.mu);
  if (!r.armed[v]) return false;
  r.armed[v] = false;
  *code = r.injected[v];
  return true;
}

std::shared_ptr<Login> mine(int rmid) {
  Registry& r = reg();
  std::lock_guard<std::mutex> g(r.mu);
  auto it = r.byThread.find({std::this_thread::get_id(), rmid});
  return it == r.byThread.end() ? nullptr : it->second;
}

bool valid_xid(const XID* x) {
  return x && x->formatID != -1 && x->gtrid_length > 0 && x->gtrid_length <= MAXGTRIDSIZE &&
         x->bqual_length >= 0 && x->bqual_length <= MAXBQUALSIZE;
}

// The value of "+key=" in an open string, up to the next '+'.
bool field(const std::string& info, const char* key, std::string* out) {
  std::string k = std::string(key) + "=";
  size_t at = 0;
  for (;;) {
    size_t p = info.find('+', at);
    if (p == std::string::npos) return false;
    size_t end = info.find('+', p + 1);
    std::string item = info.substr(p + 1, end == std::string::npos ? std::string::npos : end - p - 1);
    if (item.size() >= k.size() && strncasecmp(item.c_str(), k.c_str(), k.size()) == 0) {
      *out = item.substr(k.size());
      return true;
    }
    at = p + 1;
  }
}

// The logon of the process that holds the branch not prepared yet.
std::shared_ptr<Login> holder(const std::string& dir, const XID& xid) {
  Registry& r = reg();
  std::lock_guard<std::mutex> g(r.mu);
  for (const auto& h : r.active)
    if (h.dir == dir && xs_same_xid(h.xid, xid)) return h.login.lock();
  return nullptr;
}

void set_active(const std::shared_ptr<Login>& l, const XID& xid) {
  Registry& r = reg();
  std::lock_guard<std::mutex> g(r.mu);
  r.active.push_back({l->dir, xid, l});
}

void set_inactive(const std::string& dir, const XID& xid) {
  Registry& r = reg();
  std::lock_guard<std::mutex> g(r.mu);
  auto& v = r.active;
  for (auto it = v.begin(); it != v.end(); ++it)
    if (it->dir == dir && xs_same_xid(it->xid, xid)) {
      v.erase(it);
      return;
    }
}

// Takes the session onto the branch's connection (nullptr: back to its own).
void associate(Login* l, Branch* b) {
  if (Session* s = l->session()) session_use_conn(s, b ? b->conn : l->home);
  l->current = b;
}

// Forgets a branch of the logon; its connection closes, and with it goes
// whatever of its transaction is still open.
void drop_branch(Login* l, Branch* b) {
  if (l->current == b) associate(l, nullptr);
  set_inactive(l->dir, b->xid);
  be_close(b->conn);
  for (auto it = l->branches.begin(); it != l->branches.end(); ++it)
    if (it->get() == b) {
      l->branches.erase(it);
      return;
    }
}

// Ends the logon, rolling back its branches not prepared yet. Its handles
// stay allocated until the process ends: the application learnt them
// through xaoEnv/xaoSvcCtx and may still hold them when its close returns;
// they then answer as a logon that has ended.
void logoff(const std::shared_ptr<Login>& l) {
  {
    std::lock_guard<std::mutex> g(l->mu);
    while (!l->branches.empty()) drop_branch(l.get(), l->branches.back().get());
  }
  if (l->ses) OCISessionEnd(l->svc, l->err, l->ses, OCI_DEFAULT);
  if (l->srv) OCIServerDetach(l->srv, l->err, OCI_DEFAULT);
  static std::mutex mu;
  static auto* retired = new std::vector<std::shared_ptr<Login>>;  // never destroyed: see above
  std::lock_guard<std::mutex> g(mu);
  retired->push_back(l);
}

int logon(Login* l, const std::string& user, const std::string& password, const std::string& sqlnet) {
  if (OCIEnvCreate(&l->env, OCI_THREADED | OCI_OBJECT, nullptr, nullptr, nullptr, nullptr, 0, nullptr) != OCI_SUCCESS)
    return XAER_RMERR;
  OCIHandleAlloc(l->env, reinterpret_cast<void**>(&l->err), OCI_HTYPE_ERROR, 0, nullptr);
  OCIHandleAlloc(l->env, reinterpret_cast<void**>(&l->srv), OCI_HTYPE_SERVER, 0, nullptr);
  OCIHandleAlloc(l->env, reinterpret_cast<void**>(&l->svc), OCI_HTYPE_SVCCTX, 0, nullptr);
  OCIHandleAlloc(l->env, reinterpret_cast<void**>(&l->ses), OCI_HTYPE_SESSION, 0, nullptr);
  if (OCIServerAttach(l->srv, l->err, reinterpret_cast<const OraText*>(sqlnet.c_str()),
                      static_cast<sb4>(sqlnet.size()), OCI_DEFAULT) != OCI_SUCCESS)
    return XAER_RMERR;
  OCIAttrSet(l->svc, OCI_HTYPE_SVCCTX, l->srv, 0, OCI_ATTR_SERVER, l->err);
  OCIAttrSet(l->ses, OCI_HTYPE_SESSION, const_cast<char*>(user.c_str()), static_cast<ub4>(user.size()),
             OCI_ATTR_USERNAME, l->err);
  OCIAttrSet(l->ses, OCI_HTYPE_SESSION, const_cast<char*>(password.c_str()), static_cast<ub4>(password.size()),
             OCI_ATTR_PASSWORD, l->err);
  sword rc = OCISessionBegin(l->svc, l->err, l->ses, OCI_CRED_RDBMS, OCI_DEFAULT);
  if (rc != OCI_SUCCESS && rc != OCI_SUCCESS_WITH_INFO) {
    OCIHandleFree(l->ses, OCI_HTYPE_SESSION);
    l->ses = nullptr;
    return XAER_RMERR;
  }
  OCIAttrSet(l->svc, OCI_HTYPE_SVCCTX, l->ses, 0, OCI_ATTR_SESSION, l->err);
  Session* s = l->session();
  l->dir = s->server ? s->server->dir : std::string();
  l->user = s->user;
  l->home = s->conn;
  return XA_OK;
}

int xa_open_entry(char* info, int rmid, long flags) {
  int code;
  if (injected(V_OPEN, &code)) return code;
  if (!info) return XAER_INVAL;
  if (flags & TMASYNC) return XAER_ASYNC;
  std::string s = info;
  std::string acc, dbname, sqlnet;
  if (!field(s, "Acc", &acc) || !field(s, "DB", &dbname) || acc.size() < 2 || (acc[0] != 'P' && acc[0] != 'p') ||
      acc[1] != '/')
    return XAER_INVAL;
  field(s, "SQLNET", &sqlnet);
  size_t slash = acc.find('/', 2);
  std::string user = acc.substr(2, slash == std::string::npos ? std::string::npos : slash - 2);
  std::string password = slash == std::string::npos ? std::string() : acc.substr(slash + 1);
  if (auto l = mine(rmid)) return l->dbname == dbname ? XA_OK : XAER_PROTO;
  auto l = std::make_shared<Login>();
  l->dbname = dbname;
  if (int rc = logon(l.get(), user, password, sqlnet)) {
    logoff(l);
    return rc;
  }
  Registry& r = reg();
  std::lock_guard<std::mutex> g(r.mu);
  r.byThread[{std::this_thread::get_id(), rmid}] = l;
  return XA_OK;
}

int xa_close_entry(char* info, int rmid, long flags) {
  int code;
  if (injected(V_CLOSE, &code)) return code;
  if (flags & TMASYNC) return XAER_ASYNC;
  std::string dbname;
  auto l = mine(rmid);
  if (!l) return XA_OK;  // closing a closed resource manager is no error
  if (info && field(info, "DB", &dbname) && dbname != l->dbname) return XAER_INVAL;
  {
    std::lock_guard<std::mutex> g(l->mu);
    if (l->current) return XAER_PROTO;
  }
  {
    Registry& r = reg();
    std::lock_guard<std::mutex> g(r.mu);
    r.byThread.erase({std::this_thread::get_id(), rmid});
  }
  logoff(l);
  return XA_OK;
}

// Finishes a branch the logon holds: commits or rolls back its transaction.
int end_own(Login* l, Branch* b, bool commit) {
  DlError d;
  int rc = commit ? be_commit(b->conn, &d) : be_rollback(b->conn, &d);
  if (rc) be_rollback(b->conn, &d);
  drop_branch(l, b);
  return rc ? XA_RBROLLBACK : XA_OK;
}

// Runs fn on a connection of its own to the logon's database, so that
// nothing of the session's transaction mixes in; false when none opens.
template <class F>
bool on_own_conn(Login* l, F&& fn) {
  DlSession dl;
  BeConn* conn = nullptr;
  DlError d;
  if (be_open(l->dir, l->user, &dl, nullptr, nullptr, &conn, &d)) return false;
  fn(conn);
  be_close(conn);
  return true;
}

// A branch this logon does not hold: one prepared and recorded.
int finish_recorded(Login* l, const XID& xid, bool commit) {
  int rc = 0;
  if (!on_own_conn(l, [&](BeConn* c) {
        DlError d;
        rc = xs_finish(c, xid, commit, &d);
      }))
    return XAER_RMERR;
  return rc == 0 ? XA_OK : rc < 0 ? XAER_NOTA : XAER_RMERR;
}

// Whether a prepared branch with the XID is recorded in the database.
bool recorded(Login* l, const XID& xid) {
  bool found = false;
  on_own_conn(l, [&](BeConn* c) { found = xs_recorded(c, xid); });
  return found;
}

// What every verb on one branch checks first: an injected answer, an
// asynchronous call (none is offered), the XID, and the logon of the
// calling thread's rmid. True to go on with *out set; otherwise the answer
// is in *rc.
bool enter(Verb v, const XID* xid, int rmid, long flags, int* rc, std::shared_ptr<Login>* out) {
  if (injected(v, rc)) return false;
  *rc = flags & TMASYNC ? XAER_ASYNC : !valid_xid(xid) ? XAER_INVAL : XAER_PROTO;
  if (*rc != XAER_PROTO) return false;
  *out = mine(rmid);
  return *out != nullptr;
}

int xa_start_entry(XID* xid, int rmid, long flags) {
  std::shared_ptr<Login> l;
  int rc;
  if (!enter(V_START, xid, rmid, flags, &rc, &l)) return rc;
  std::lock_guard<std::mutex> g(l->mu);
  const bool join = (flags & (TMJOIN | TMRESUME)) != 0;
  if (!join && (l->find(*xid) || holder(l->dir, *xid) || recorded(l.get(), *xid))) return XAER_DUPID;
  if (l->current) return XAER_PROTO;  // the logon works in a branch already
  if (join) {
    Branch* b = l->find(*xid);
    if (!b) {
      // A branch another logon holds cannot be shared: its work is that
      // logon's SQLite transaction.
      return holder(l->dir, *xid) ? XAER_RMERR : XAER_NOTA;
    }
    if ((flags & TMRESUME) && b->state != BranchState::Suspended) return XAER_PROTO;
    b->state = BranchState::Active;
    b->rows.on = true;
    associate(l.get(), b);
    return XA_OK;
  }
  auto b = std::make_unique<Branch>();
  b->xid = *xid;
  DlError d;
  if (session_conn_open(l->session(), &b->conn, &d)) return XAER_RMERR;
  xs_track(b->conn, &b->rows);
  if (xs_begin(b->conn, &d)) {
    be_close(b->conn);
    return XAER_RMERR;
  }
  {
    // Work done outside any branch does not join one, nor hold its locks.
    Session* s = l->session();
    std::lock_guard<std::recursive_mutex> call(s->call_mu);
    be_rollback(l->home, &d);
  }
  b->rows.on = true;
  set_active(l, *xid);
  l->branches.push_back(std::move(b));
  associate(l.get(), l->branches.back().get());
  return XA_OK;
}

int xa_end_entry(XID* xid, int rmid, long flags) {
  std::shared_ptr<Login> l;
  int rc;
  if (!enter(V_END, xid, rmid, flags, &rc, &l)) return rc;
  std::lock_guard<std::mutex> g(l->mu);
  Branch* b = l->find(*xid);
  if (!b) return XAER_NOTA;
  if (b != l->current) return XAER_PROTO;  // suspended or ended already
  b->rows.on = false;
  associate(l.get(), nullptr);
  if (flags & TMSUSPEND) {
    b->state = BranchState::Suspended;
    return XA_OK;
  }
  b->state = BranchState::Idle;
  if (flags & TMFAIL) {
    b->rollbackOnly = true;
    return XA_RBROLLBACK;
  }
  return XA_OK;
}

// Runs fn(logon, branch) under the logon's lock on the branch not prepared
// yet with the XID: the caller's own, else one another logon of the same
// database in the process holds (the monitor may finish a branch from any
// of its threads). False when neither holds it.
template <class F>
bool with_branch(const std::shared_ptr<Login>& l, const XID& xid, F&& fn) {
  for (int i = 0; i < 2; ++i) {
    std::shared_ptr<Login> h = i == 0 ? l : holder(l->dir, xid);
    if (!h || (i == 1 && h == l)) continue;
    std::lock_guard<std::mutex> g(h->mu);
    if (Branch* b = h->find(xid)) {
      fn(h.get(), b);
      return true;
    }
  }
  return false;
}

int xa_prepare_entry(XID* xid, int rmid, long flags) {
  std::shared_ptr<Login> l;
  int rc;
  if (!enter(V_PREPARE, xid, rmid, flags, &rc, &l)) return rc;
  if (with_branch(l, *xid, [&](Login* h, Branch* b) {
        if (b->state != BranchState::Idle) {
          rc = XAER_PROTO;
        } else if (b->rollbackOnly) {
          end_own(h, b, false);
          rc = XA_RBROLLBACK;
        } else if (b->rows.rows.empty()) {
          end_own(h, b, false);
          rc = XA_RDONLY;
        } else {
          DlError d;
          rc = xs_prepare(b->conn, &b->rows, *xid, &d) == 0 ? XA_OK : XA_RBROLLBACK;
          drop_branch(h, b);
        }
      }))
    return rc;
  return recorded(l.get(), *xid) ? XAER_PROTO : XAER_NOTA;
}

int xa_commit_entry(XID* xid, int rmid, long flags) {
  std::shared_ptr<Login> l;
  int rc;
  if (!enter(V_COMMIT, xid, rmid, flags, &rc, &l)) return rc;
  if (with_branch(l, *xid, [&](Login* h, Branch* b) {
        // Not prepared: only a one-phase commit may end it.
        if (!(flags & TMONEPHASE) || b->state != BranchState::Idle) {
          rc = XAER_PROTO;
        } else if (b->rollbackOnly) {
          end_own(h, b, false);
          rc = XA_RBROLLBACK;
        } else {
          rc = end_own(h, b, true);
        }
      }))
    return rc;
  if ((flags & TMONEPHASE) && recorded(l.get(), *xid)) return XAER_PROTO;
  return finish_recorded(l.get(), *xid, true);
}

int xa_rollback_entry(XID* xid, int rmid, long flags) {
  std::shared_ptr<Login> l;
  int rc;
  if (!enter(V_ROLLBACK, xid, rmid, flags, &rc, &l)) return rc;
  if (with_branch(l, *xid, [&](Login* h, Branch* b) {
        if (b == h->current) {
          rc = XAER_PROTO;
        } else {
          end_own(h, b, false);
          rc = XA_OK;
        }
      }))
    return rc;
  return finish_recorded(l.get(), *xid, false);
}

int xa_recover_entry(XID* xids, long count, int rmid, long flags) {
  int code;
  if (injected(V_RECOVER, &code)) return code;
  if (count < 0 || (count > 0 && !xids)) return XAER_INVAL;
  auto l = mine(rmid);
  if (!l) return XAER_PROTO;
  if (flags & TMSTARTRSCAN) {
    int rc = 0;
    if (!on_own_conn(l.get(), [&](BeConn* c) {
          DlError d;
          rc = xs_recover(c, &l->scan, &d);
        }) ||
        rc)
      return XAER_RMERR;
    l->scanPos = 0;
  }
  long n = 0;
  while (n < count && l->scanPos < l->scan.size()) xids[n++] = l->scan[l->scanPos++];
  if (flags & TMENDRSCAN) {
    l->scan.clear();
    l->scanPos = 0;
  }
  return static_cast<int>(n);
}

int xa_forget_entry(XID* xid, int rmid, long flags) {
  int code;
  if (injected(V_FORGET, &code)) return code;
  if (!valid_xid(xid)) return XAER_INVAL;
  // No branch here ever ends heuristically, so there is none to forget.
  return mine(rmid) ? XAER_NOTA : XAER_PROTO;
}

int xa_complete_entry(int* handle, int* retval, int rmid, long flags) {
  int code;
  if (injected(V_COMPLETE, &code)) return code;
  // No operation runs asynchronously, so none can be waited for.
  if (retval) *retval = 0;
  return XAER_PROTO;
}

std::shared_ptr<Login> by_name(OraText* dbname) {
  Registry& r = reg();
  std::lock_guard<std::mutex> g(r.mu);
  const std::thread::id me = std::this_thread::get_id();
  for (auto& [key, l] : r.byThread) {
    if (dbname ? l->dbname == reinterpret_cast<const char*>(dbname) : key.first == me) return l;
  }
  return nullptr;
}

}  // namespace

// Declared extern "C" in oci.h; defined here.
__attribute__((visibility("default"))) struct xa_switch_t xaosw = {
    "Oracle_XA", TMNOMIGRATE, 0L,
    xa_open_entry, xa_close_entry, xa_start_entry, xa_end_entry, xa_rollback_entry,
    xa_prepare_entry, xa_commit_entry, xa_recover_entry, xa_forget_entry, xa_complete_entry};

OCI_EXPORT OCIEnv* xaoEnv(OraText* dbname) {
  auto l = by_name(dbname);
  return l ? l->env : nullptr;
}

OCI_EXPORT OCISvcCtx* xaoSvcCtx(OraText* dbname) {
  auto l = by_name(dbname);
  return l ? l->svc : nullptr;
}

OCI_EXPORT void ocilite_test_xa(int verb, int code) {
  if (verb < 0 || verb >= V_COUNT) return;
  Registry& r = reg();
  std::lock_guard<std::mutex> g(r.mu);
  r.injected[verb] = code;
  r.armed[verb] = true;
}

OCI_EXPORT void ocilite_test_xa_crash(int files) { xs_test_crash_after(files); }
