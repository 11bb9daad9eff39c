// Environment, handle and descriptor lifetimes, error records, the test-only
// fault injection, and the character-set and datetime functions.
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <map>
#include <thread>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

#include "oci_int.h"
#include "oci_xa_store.h"

namespace ocl {

// ---- Error texts ---------------------------------------------------------------

namespace {

struct Msg {
  int code;
  const char* text;
};

// Errors the client side of OCI raises itself; the SQL ones come from the
// dialect's table.
constexpr Msg kClientMessages[] = {
    {54, "resource busy and acquire with NOWAIT specified or timeout expired"},
    {60, "deadlock detected while waiting for resource"},
    {932, "inconsistent datatypes"},
    {988, "missing or invalid password(s)"},
    {1002, "fetch out of sequence"},
    {1007, "variable not in select list"},
    {1008, "not all variables bound"},
    {1012, "not logged on"},
    {1013, "user requested cancel of current operation"},
    {1017, "invalid username/password; logon denied"},
    {1036, "illegal variable name/number"},
    {1086, "savepoint '%s' never established in this session or is invalid"},
    {1119, "error in creating database file '%s'"},
    {1405, "fetched column value is NULL"},
    {1406, "fetched column value was truncated"},
    {1455, "converting column overflows integer datatype"},
    {1480, "trailing null missing from STR bind value"},
    {1722, "invalid number"},
    {1841, "(full) year must be between -4713 and +9999, and not be 0"},
    {1843, "not a valid month"},
    {1847, "day of month must be between 1 and last day of month"},
    {1850, "hour must be between 0 and 23"},
    {1851, "minutes must be between 0 and 59"},
    {1852, "seconds must be between 0 and 59"},
    {1891, "Datetime/Interval internal error"},
    {1918, "user '%s' does not exist"},
    {1920, "user name '%s' conflicts with another user or role name"},
    {1935, "missing user or role name"},
    {3001, "unimplemented feature"},
    {25408, "can not safely replay call"},
    {25401, "can not continue fetches"},
    {25402, "transaction must roll back"},
    {24401, "cannot open further connections"},
    {3113, "end-of-file on communication channel"},
    {3114, "not connected to ORACLE"},
    {4043, "object %s does not exist"},
    {8177, "can't serialize access for this transaction"},
    {22275, "invalid LOB locator specified"},
    {12154, "TNS:could not resolve the connect identifier specified"},
    {24300, "bad value for mode"},
    {24307, "invalid length for piece"},
    {24309, "already connected to another server"},
    {24313, "user already authenticated"},
    {24315, "illegal attribute type"},
    {24324, "service handle not initialized"},
    {24327, "need explicit attach before authenticating a user"},
    {24328, "illegal attribute value"},
    {24329, "invalid character set identifier"},
    {24330, "internal OCI error"},
    {24333, "zero iteration count"},
    {24334, "no descriptor for this position"},
    {24337, "statement handle not prepared"},
    {24338, "statement handle not executed"},
    {24345, "A Truncation or null fetch error occurred"},
    {24374, "define not done before fetch or execute and fetch"},
    {24400, "error occured while trying to create a connection pool"},
    {24418, "Cannot open further sessions."},
    {24431, "Statement does not exist in the cache"},
    {28000, "the account is locked"},
    {28001, "the password has expired"},
    {28002, "the password will expire within %s days"},
};

std::string format_msg(const char* fmt, const char* arg) {
  const char* p = std::strstr(fmt, "%s");
  if (!p) return fmt;
  std::string out(fmt, p);
  out += arg ? arg : "";
  out += p + 2;
  return out;
}

}  // namespace

std::string ora_text(int code, const char* arg) {
  for (const auto& m : kClientMessages)
    if (m.code == code) return format_msg(m.text, arg);
  DlError d;
  dl_set_error(&d, code, arg);
  if (d.message[0]) return d.message;
  char buf[64];
  std::snprintf(buf, sizeof buf, "Message %d not found", code);
  return buf;
}

sword err_set(Error* e, int code, const char* arg) {
  if (e) e->list.add(code, ora_text(code, arg));
  return OCI_ERROR;
}

sword err_set_text(Error* e, int code, const std::string& text) {
  if (e) e->list.add(code, text);
  return OCI_ERROR;
}

sword err_from(Error* e, const DlError& d) {
  if (e) e->list.add(d.code, d.message[0] ? std::string(d.message) : ora_text(d.code));
  return OCI_ERROR;
}

sword warn_set(Error* e, int code, const char* arg) {
  if (e) e->list.add(code, ora_text(code, arg));
  return OCI_SUCCESS_WITH_INFO;
}

bool is_live(const void* p) {
  return p && static_cast<const HandleBase*>(p)->magic == kMagic;
}

// ---- Fault injection -------------------------------------------------------------

namespace {

struct Fault {
  int kind;
  int countdown;  // calls of the kind until it fires (1 = the next)
  int remaining;  // calls it still fires for
  int code;
  bool warning;
  std::string message;
};

struct Failover {
  int kind;
  unsigned type;
  std::vector<unsigned> events;
};

// One callback call of a failover as the test report shows it.
struct FailoverStep {
  unsigned event;
  int answer;
  unsigned ms;  // since the failover's first event
};

struct Faults {
  std::mutex mu;
  std::vector<Fault> armed;
  std::vector<Failover> failovers;
  std::vector<std::vector<FailoverStep>> done;  // the steps of each failover run
  std::atomic<unsigned> calls[OCILITE_T_KIND_COUNT] = {};
  unsigned slow_ms[OCILITE_T_KIND_COUNT] = {};
  std::atomic<bool> any{false};  // quick test on the hot paths
  int fired = 0;                   // the kind of the call the last fault fired on
};

Faults& faults() {
  static Faults f;
  return f;
}

}  // namespace

FaultHit fault_take(int kind) {
  Faults& f = faults();
  FaultHit hit;
  if (kind > 0 && kind < OCILITE_T_KIND_COUNT) f.calls[kind].fetch_add(1, std::memory_order_relaxed);
  if (!f.any.load(std::memory_order_relaxed)) return hit;
  std::lock_guard<std::mutex> g(f.mu);
  for (auto it = f.armed.begin(); it != f.armed.end(); ++it) {
    if (it->kind != OCILITE_T_ANY && it->kind != kind) continue;
    if (--it->countdown > 0) continue;
    it->countdown = 1;
    hit.text = it->message.empty() ? ora_text(it->code) : it->message;
    hit.code = it->code;
    hit.status = it->warning ? OCI_SUCCESS_WITH_INFO : OCI_ERROR;
    f.fired = kind;
    if (--it->remaining <= 0) f.armed.erase(it);
    return hit;
  }
  return hit;
}

sword fault_check(int kind, Error* e) {
  FaultHit hit = fault_take(kind);
  if (hit.status != OCI_SUCCESS && e) e->list.add(hit.code, hit.text);
  return hit.status;
}

bool fault_slow(int kind, Session* s, Error* e) {
  Faults& f = faults();
  if (!f.any.load(std::memory_order_relaxed)) return true;
  unsigned ms;
  {
    std::lock_guard<std::mutex> g(f.mu);
    ms = (kind > 0 && kind < OCILITE_T_KIND_COUNT) ? f.slow_ms[kind] : 0;
  }
  auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(ms);
  while (ms && std::chrono::steady_clock::now() < end) {
    if (s && s->brk.load()) {
      err_set(e, 1013);
      return false;
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(2));
  }
  return true;
}

sword failover_check(int kind, SvcCtx* svc, Server* srv, Error* e, Stmt* st) {
  Session* s = srv ? srv->session.load() : nullptr;
  if (s && s->fo_dead) return err_set(e, 3114);
  if (s && s->fo_txn_lost) {
    if (kind != OCILITE_T_ROLLBACK) return err_set(e, 25402);
    s->fo_txn_lost = false;  // the rollback ends what the failover lost
  }
  if (s && st && kind == OCILITE_T_FETCH && st->fo_epoch != s->fo_epoch) return err_set(e, 25401);
  Faults& f = faults();
  if (!f.any.load(std::memory_order_relaxed) || !srv || !srv->focbk.callback_function) return OCI_SUCCESS;
  Failover fo;
  size_t index;
  {
    std::lock_guard<std::mutex> g(f.mu);
    auto it = std::find_if(f.failovers.begin(), f.failovers.end(),
                           [kind](const Failover& x) { return x.kind == kind; });
    if (it == f.failovers.end()) return OCI_SUCCESS;
    fo = *it;
    f.failovers.erase(it);
    index = f.done.size();
    f.done.emplace_back();
  }
  OCIFocbkStruct cb = srv->focbk;
  void* svcp = svc ? static_cast<void*>(svc) : static_cast<void*>(srv->svc);
  void* envp = srv->env;
  const auto start = std::chrono::steady_clock::now();
  auto call = [&](unsigned ev) {
    const auto at = std::chrono::steady_clock::now();
    sb4 rc = cb.callback_function(svcp, envp, cb.fo_ctx, fo.type, ev);
    const auto ms = std::chrono::duration_cast<std::chrono::milliseconds>(at - start).count();
    std::lock_guard<std::mutex> g(f.mu);
    f.done[index].push_back({ev, static_cast<int>(rc), static_cast<unsigned>(ms)});
    return rc;
  };
  bool ended = false, aborted = false;
  for (size_t i = 0; i < fo.events.size() && !ended && !aborted; ++i) {
    unsigned ev = fo.events[i];
    sb4 rc = call(ev);
    if (ev == OCI_FO_ERROR && rc != OCI_FO_RETRY) break;  // the client gave up
    ended = ev == OCI_FO_END;
    aborted = ev == OCI_FO_ABORT;
  }
  if (!ended) {
    // Given up, or the server never came back: the session is gone.
    if (!aborted) call(OCI_FO_ABORT);
    if (s) s->fo_dead = true;
    return err_set(e, 25408);
  }
  if (!s) return OCI_SUCCESS;
  // The new session has none of the old one's transaction, and after a
  // SESSION failover none of its cursors; a SELECT failover replays them.
  const bool lostTxn = s->conn && be_in_transaction(s->conn);
  if (lostTxn) {
    DlError ignored;
    be_rollback(s->conn, &ignored);
  }
  if (fo.type == OCI_FO_SESSION) ++s->fo_epoch;
  if (lostTxn && kind != OCILITE_T_ROLLBACK) {
    s->fo_txn_lost = true;
    return err_set(e, 25402);
  }
  if (st && kind == OCILITE_T_FETCH && st->fo_epoch != s->fo_epoch) return err_set(e, 25401);
  return OCI_SUCCESS;
}

}  // namespace ocl

using namespace ocl;

extern "C" __attribute__((visibility("default"))) void ocilite_test_failover(
    int kind, unsigned fo_type, const unsigned* events, int nevents) {
  Faults& f = faults();
  std::lock_guard<std::mutex> g(f.mu);
  Failover fo{kind, fo_type, {}};
  for (int i = 0; i < nevents; ++i) fo.events.push_back(events[i]);
  f.failovers.push_back(std::move(fo));
  f.any = true;
}

extern "C" __attribute__((visibility("default"))) int ocilite_test_failover_steps(
    int index, struct ocilite_failover_step* steps, int max) {
  Faults& f = faults();
  std::lock_guard<std::mutex> g(f.mu);
  if (index < 0 || static_cast<size_t>(index) >= f.done.size()) return -1;
  const auto& run = f.done[static_cast<size_t>(index)];
  for (size_t i = 0; i < run.size() && static_cast<int>(i) < max; ++i)
    steps[i] = {run[i].event, run[i].answer, run[i].ms};
  return static_cast<int>(run.size());
}

extern "C" __attribute__((visibility("default"))) void ocilite_test_fault(
    int kind, int nth, int count, int ora_code, int warning, const char* message) {
  Faults& f = faults();
  std::lock_guard<std::mutex> g(f.mu);
  f.armed.push_back({kind, nth < 1 ? 1 : nth, count < 1 ? 1 : count, ora_code, warning != 0,
                     message ? message : ""});
  f.any = true;
}

extern "C" __attribute__((visibility("default"))) void ocilite_test_slow(int kind, unsigned ms) {
  Faults& f = faults();
  std::lock_guard<std::mutex> g(f.mu);
  if (kind == OCILITE_T_ANY) {
    for (auto& s : f.slow_ms) s = ms;
  } else if (kind > 0 && kind < OCILITE_T_KIND_COUNT) {
    f.slow_ms[kind] = ms;
  }
  f.any = true;
}

extern "C" __attribute__((visibility("default"))) unsigned ocilite_test_calls(int kind) {
  Faults& f = faults();
  std::lock_guard<std::mutex> g(f.mu);
  if (kind == OCILITE_T_ANY) {
    unsigned n = 0;
    for (auto& c : f.calls) n += c.load();
    return n;
  }
  return (kind > 0 && kind < OCILITE_T_KIND_COUNT) ? f.calls[kind].load() : 0u;
}

extern "C" __attribute__((visibility("default"))) int ocilite_test_fired(void) {
  Faults& f = faults();
  std::lock_guard<std::mutex> g(f.mu);
  return f.fired;
}

extern "C" __attribute__((visibility("default"))) void ocilite_test_reset(void) {
  Faults& f = faults();
  std::lock_guard<std::mutex> g(f.mu);
  f.armed.clear();
  f.failovers.clear();
  f.done.clear();
  for (auto& c : f.calls) c.store(0);
  std::fill(std::begin(f.slow_ms), std::end(f.slow_ms), 0u);
  f.any = false;
  f.fired = 0;
  xs_test_crash_after(0);
}

// ---- Environment and handles -----------------------------------------------------

namespace ocl {

void env_adopt(Env* env, HandleBase* h) {
  h->env = env;
  std::lock_guard<std::mutex> g(env->mu);
  env->children.insert(h);
}

void env_release(HandleBase* h) {
  Env* env = h->env;
  if (!env || h == env) return;
  std::lock_guard<std::mutex> g(env->mu);
  env->children.erase(h);
}

namespace {
// Freeing an environment frees what was made on it; statements go before the
// sessions they run on, sessions before their servers.
int free_rank(uint32_t t) {
  switch (t) {
    case OCI_HTYPE_STMT: return 0;
    case OCI_HTYPE_DESCRIBE: return 1;
    case OCI_HTYPE_SVCCTX: return 3;
    case OCI_HTYPE_SESSION: return 4;
    case OCI_HTYPE_SERVER: return 5;
    case OCI_HTYPE_CPOOL: return 6;
    case OCI_HTYPE_ERROR: return 7;
    default: return 2;
  }
}
}  // namespace

Env::~Env() {
  std::vector<HandleBase*> all;
  {
    std::lock_guard<std::mutex> g(mu);
    all.assign(children.begin(), children.end());
    children.clear();
  }
  std::stable_sort(all.begin(), all.end(), [](HandleBase* a, HandleBase* b) {
    return free_rank(a->htype) < free_rank(b->htype);
  });
  for (HandleBase* h : all) {
    h->env = nullptr;  // no need to unregister
    delete h;
  }
}

Session* env_single_session(Env* env) {
  if (!env) return nullptr;
  std::lock_guard<std::mutex> g(env->mu);
  return env->sessions.size() == 1 ? env->sessions[0] : nullptr;
}

Param::~Param() {
  for (Param* p : items) delete p;
  delete columns;
}

Describe::~Describe() { delete root; }

}  // namespace ocl

namespace {

sword env_create(OCIEnv** envp, ub4 mode, ub2 charset, ub2 ncharset, size_t xtramem_sz,
                 void** usrmempp) {
  if (!envp) return OCI_INVALID_HANDLE;
  *envp = nullptr;
  if (fault_check(OCILITE_T_ENV_CREATE, nullptr) == OCI_ERROR) return OCI_ERROR;
  // Texts travel as UTF-8 (AL32UTF8); a UTF-16 environment or another client
  // character set is not available here.
  if (mode & OCI_UTF16) return OCI_ERROR;
  if (charset != 0 && charset != 873) return OCI_ERROR;
  if (ncharset != 0 && ncharset != 873 && ncharset != 2000) return OCI_ERROR;
  auto* env = new Env();
  env->env = env;
  env->mode = mode;
  if (charset) env->charset = charset;
  if (ncharset) env->ncharset = ncharset;
  if (xtramem_sz) {
    env->usermem.assign(xtramem_sz, 0);
    if (usrmempp) *usrmempp = env->usermem.data();
  }
  *envp = reinterpret_cast<OCIEnv*>(env);
  return OCI_SUCCESS;
}

// Errors of calls without an error handle land on the environment.
sword env_fail(Env* env, int code) {
  if (env) env->errs.add(code, ora_text(code));
  return OCI_ERROR;
}

}  // namespace

OCI_EXPORT sword OCIEnvCreate(OCIEnv** envp, ub4 mode, void* ctxp,
                              void* (*malocfp)(void*, size_t),
                              void* (*ralocfp)(void*, void*, size_t),
                              void (*mfreefp)(void*, void*), size_t xtramem_sz, void** usrmempp) {
  return env_create(envp, mode, 0, 0, xtramem_sz, usrmempp);
}

OCI_EXPORT sword OCIEnvNlsCreate(OCIEnv** envp, ub4 mode, void* ctxp,
                                 void* (*malocfp)(void*, size_t),
                                 void* (*ralocfp)(void*, void*, size_t),
                                 void (*mfreefp)(void*, void*), size_t xtramem_sz,
                                 void** usrmempp, ub2 charset, ub2 ncharset) {
  return env_create(envp, mode, charset, ncharset, xtramem_sz, usrmempp);
}

OCI_EXPORT sword OCIHandleAlloc(const void* parenth, void** hndlpp, const ub4 type,
                                const size_t xtramem_sz, void** usrmempp) {
  Env* env = as<Env>(parenth, OCI_HTYPE_ENV);
  if (!env || !hndlpp) return OCI_INVALID_HANDLE;
  *hndlpp = nullptr;
  if (fault_check(OCILITE_T_HANDLE_ALLOC, nullptr) == OCI_ERROR) {
    env->errs.clear();
    return env_fail(env, 24330);
  }
  HandleBase* h = nullptr;
  switch (type) {
    case OCI_HTYPE_ERROR: h = new Error(); break;
    case OCI_HTYPE_SVCCTX: h = new SvcCtx(); break;
    case OCI_HTYPE_STMT: h = new Stmt(); break;
    case OCI_HTYPE_DESCRIBE: h = new Describe(); break;
    case OCI_HTYPE_SERVER: h = new Server(); break;
    case OCI_HTYPE_SESSION: h = new Session(); break;
    case OCI_HTYPE_TRANS: h = new Trans(); break;
    case OCI_HTYPE_CPOOL: h = new CPool(); break;
    default: return OCI_INVALID_HANDLE;
  }
  env_adopt(env, h);
  if (xtramem_sz) {
    h->usermem.assign(xtramem_sz, 0);
    if (usrmempp) *usrmempp = h->usermem.data();
  }
  *hndlpp = h;
  return OCI_SUCCESS;
}

static sword handle_free_work(void* hndlp, const ub4 type) {
  if (!is_live(hndlp)) return OCI_INVALID_HANDLE;
  auto* h = static_cast<HandleBase*>(hndlp);
  if (h->htype != type) return OCI_INVALID_HANDLE;
  switch (type) {
    case OCI_HTYPE_ENV:
      delete static_cast<Env*>(h);
      return OCI_SUCCESS;
    case OCI_HTYPE_BIND:
    case OCI_HTYPE_DEFINE:
      return OCI_SUCCESS;  // they belong to their statement
    case OCI_HTYPE_ERROR:
    case OCI_HTYPE_SVCCTX:
    case OCI_HTYPE_STMT:
    case OCI_HTYPE_DESCRIBE:
    case OCI_HTYPE_SERVER:
    case OCI_HTYPE_SESSION:
    case OCI_HTYPE_TRANS:
    case OCI_HTYPE_CPOOL:
      env_release(h);
      delete h;
      return OCI_SUCCESS;
    default:
      return OCI_INVALID_HANDLE;
  }
}

OCI_EXPORT sword OCIHandleFree(void* hndlp, const ub4 type) {
  // Nothing could free the environment after a failed free of it.
  if (type == OCI_HTYPE_ENV) return handle_free_work(hndlp, type);
  return with_fault(OCILITE_T_HANDLE_FREE, nullptr, [&] { return handle_free_work(hndlp, type); });
}

static sword descriptor_alloc_work(const void* parenth, void** descpp, const ub4 type,
                                   const size_t xtramem_sz, void** usrmempp) {
  Env* env = as<Env>(parenth, OCI_HTYPE_ENV);
  if (!env || !descpp) return OCI_INVALID_HANDLE;
  *descpp = nullptr;
  HandleBase* h = nullptr;
  switch (type) {
    case OCI_DTYPE_LOB: h = new Lob(); break;
    case OCI_DTYPE_SNAP: h = new Snapshot(); break;
    case OCI_DTYPE_ROWID: h = new Rowid(); break;
    case OCI_DTYPE_DATE:
    case OCI_DTYPE_TIMESTAMP:
    case OCI_DTYPE_TIMESTAMP_TZ:
    case OCI_DTYPE_TIMESTAMP_LTZ:
      h = new DateTime(type);
      break;
    default:
      return OCI_INVALID_HANDLE;
  }
  env_adopt(env, h);
  if (xtramem_sz) {
    h->usermem.assign(xtramem_sz, 0);
    if (usrmempp) *usrmempp = h->usermem.data();
  }
  *descpp = h;
  return OCI_SUCCESS;
}

OCI_EXPORT sword OCIDescriptorAlloc(const void* parenth, void** descpp, const ub4 type,
                                    const size_t xtramem_sz, void** usrmempp) {
  return with_fault(OCILITE_T_DESCRIPTOR_ALLOC, nullptr, [&] {
    return descriptor_alloc_work(parenth, descpp, type, xtramem_sz, usrmempp);
  });
}

static sword descriptor_free_work(void* descp, const ub4 type) {
  if (!is_live(descp)) return OCI_INVALID_HANDLE;
  auto* h = static_cast<HandleBase*>(descp);
  if (h->htype != type) return OCI_INVALID_HANDLE;
  if (type == OCI_DTYPE_PARAM) {
    auto* p = static_cast<Param*>(h);
    if (p->owned) return OCI_SUCCESS;  // freed with the statement or describe handle
    delete p;
    return OCI_SUCCESS;
  }
  env_release(h);
  delete h;
  return OCI_SUCCESS;
}

OCI_EXPORT sword OCIDescriptorFree(void* descp, const ub4 type) {
  return with_fault(OCILITE_T_DESCRIPTOR_FREE, nullptr, [&] {
    return descriptor_free_work(descp, type);
  });
}

OCI_EXPORT sword OCIErrorGet(void* hndlp, ub4 recordno, OraText* sqlstate, sb4* errcodep,
                             OraText* bufp, ub4 bufsiz, ub4 type) {
  ErrorList* list = nullptr;
  if (type == OCI_HTYPE_ERROR) {
    if (Error* e = as<Error>(hndlp, OCI_HTYPE_ERROR)) list = &e->list;
  } else if (type == OCI_HTYPE_ENV) {
    if (Env* env = as<Env>(hndlp, OCI_HTYPE_ENV)) list = &env->errs;
  }
  if (!list || recordno == 0) return OCI_INVALID_HANDLE;
  if (sqlstate) sqlstate[0] = '\0';
  std::lock_guard<std::mutex> g(list->mu);
  if (recordno > list->recs.size()) return OCI_NO_DATA;
  const ErrRec& r = list->recs[recordno - 1];
  if (errcodep) *errcodep = r.code;
  if (bufp && bufsiz) {
    char head[16];
    std::snprintf(head, sizeof head, "ORA-%05d: ", r.code);
    std::string all = head + r.text + "\n";
    size_t n = std::min<size_t>(all.size(), bufsiz - 1);
    std::memcpy(bufp, all.data(), n);
    bufp[n] = '\0';
  }
  return OCI_SUCCESS;
}

OCI_EXPORT void OCIClientVersion(sword* major_version, sword* minor_version, sword* update_num,
                                 sword* patch_num, sword* port_update_num) {
  if (major_version) *major_version = 11;
  if (minor_version) *minor_version = 2;
  if (update_num) *update_num = 0;
  if (patch_num) *patch_num = 4;
  if (port_update_num) *port_update_num = 0;
}

// ---- Character sets ----------------------------------------------------------------

namespace ocl {

// UTF-8 to UTF-16; invalid bytes become U+FFFD. Returns the units written;
// *needed_units gets the units the whole text needs.
size_t utf8_to_utf16(const char* s, size_t n, ub2* out, size_t cap_units, size_t* needed_units) {
  size_t w = 0, need = 0;
  const auto* p = reinterpret_cast<const unsigned char*>(s);
  size_t i = 0;
  while (i < n) {
    // Runs of plain ASCII (most text) go sixteen, then four bytes at a time;
    // once the buffer is full they are only counted.
#if defined(__SSE2__)
    while (i + 16 <= n) {
      const __m128i x = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p + i));
      if (_mm_movemask_epi8(x) != 0) break;
      if (w + 16 <= cap_units) {
        _mm_storeu_si128(reinterpret_cast<__m128i*>(out + w), _mm_unpacklo_epi8(x, _mm_setzero_si128()));
        _mm_storeu_si128(reinterpret_cast<__m128i*>(out + w + 8), _mm_unpackhi_epi8(x, _mm_setzero_si128()));
        w += 16;
      } else if (w < cap_units) {
        break;  // the last units that fit go one by one
      }
      need += 16;
      i += 16;
    }
#endif
    while (i + 4 <= n && w + 4 <= cap_units) {
      uint32_t four;
      std::memcpy(&four, p + i, 4);
      if (four & 0x80808080u) break;
      for (int k = 0; k < 4; ++k) out[w + k] = static_cast<ub2>((four >> (8 * k)) & 0xFF);
      w += 4;
      need += 4;
      i += 4;
    }
    if (i >= n) break;
    uint32_t cp;
    unsigned c = p[i];
    size_t len = 1;
    if (c < 0x80) {
      cp = c;
    } else if ((c >> 5) == 0x6 && i + 1 < n && (p[i + 1] & 0xC0) == 0x80) {
      cp = ((c & 0x1F) << 6) | (p[i + 1] & 0x3F);
      len = 2;
    } else if ((c >> 4) == 0xE && i + 2 < n && (p[i + 1] & 0xC0) == 0x80 &&
               (p[i + 2] & 0xC0) == 0x80) {
      cp = ((c & 0x0F) << 12) | ((p[i + 1] & 0x3F) << 6) | (p[i + 2] & 0x3F);
      len = 3;
    } else if ((c >> 3) == 0x1E && i + 3 < n && (p[i + 1] & 0xC0) == 0x80 &&
               (p[i + 2] & 0xC0) == 0x80 && (p[i + 3] & 0xC0) == 0x80) {
      cp = ((c & 0x07) << 18) | ((p[i + 1] & 0x3F) << 12) | ((p[i + 2] & 0x3F) << 6) |
           (p[i + 3] & 0x3F);
      len = 4;
    } else {
      cp = 0xFFFD;
    }
    i += len;
    if (cp >= 0x10000) {
      need += 2;
      if (w + 2 <= cap_units) {
        cp -= 0x10000;
        out[w++] = static_cast<ub2>(0xD800 + (cp >> 10));
        out[w++] = static_cast<ub2>(0xDC00 + (cp & 0x3FF));
      } else {
        cap_units = w;  // stop writing at a character boundary
      }
    } else {
      need += 1;
      if (w < cap_units) out[w++] = static_cast<ub2>(cp);
      else cap_units = w;
    }
  }
  if (needed_units) *needed_units = need;
  return w;
}

size_t utf16_to_utf8(const ub2* s, size_t units, char* out, size_t cap, size_t* needed) {
  size_t w = 0, need = 0;
  bool full = false;
  for (size_t i = 0; i < units; ++i) {
#if defined(__SSE2__)
    // Runs of plain ASCII (every bound text of most applications) go sixteen
    // units at a time; once the buffer is full they are only counted.
    while (i + 16 <= units) {
      const __m128i a = _mm_loadu_si128(reinterpret_cast<const __m128i*>(s + i));
      const __m128i b = _mm_loadu_si128(reinterpret_cast<const __m128i*>(s + i + 8));
      const __m128i high = _mm_and_si128(_mm_or_si128(a, b), _mm_set1_epi16(static_cast<short>(0xFF80)));
      if (_mm_movemask_epi8(_mm_cmpeq_epi16(high, _mm_setzero_si128())) != 0xFFFF) break;
      if (!full && w + 16 <= cap) {
        _mm_storeu_si128(reinterpret_cast<__m128i*>(out + w), _mm_packus_epi16(a, b));
        w += 16;
      } else if (!full && w < cap) {
        break;  // the last bytes that fit go one by one
      }
      need += 16;
      i += 16;
    }
    if (i >= units) break;
#endif
    uint32_t cp = s[i];
    if (cp >= 0xD800 && cp < 0xDC00 && i + 1 < units && s[i + 1] >= 0xDC00 && s[i + 1] < 0xE000) {
      cp = 0x10000 + ((cp - 0xD800) << 10) + (s[i + 1] - 0xDC00);
      ++i;
    } else if (cp >= 0xD800 && cp < 0xE000) {
      cp = 0xFFFD;
    }
    char b[4];
    size_t len;
    if (cp < 0x80) {
      b[0] = static_cast<char>(cp);
      len = 1;
    } else if (cp < 0x800) {
      b[0] = static_cast<char>(0xC0 | (cp >> 6));
      b[1] = static_cast<char>(0x80 | (cp & 0x3F));
      len = 2;
    } else if (cp < 0x10000) {
      b[0] = static_cast<char>(0xE0 | (cp >> 12));
      b[1] = static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
      b[2] = static_cast<char>(0x80 | (cp & 0x3F));
      len = 3;
    } else {
      b[0] = static_cast<char>(0xF0 | (cp >> 18));
      b[1] = static_cast<char>(0x80 | ((cp >> 12) & 0x3F));
      b[2] = static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
      b[3] = static_cast<char>(0x80 | (cp & 0x3F));
      len = 4;
    }
    need += len;
    if (!full && w + len <= cap) {
      std::memcpy(out + w, b, len);
      w += len;
    } else {
      full = true;
    }
  }
  if (needed) *needed = need;
  return w;
}

size_t utf8_char_count(const char* s, size_t n) {
  size_t c = 0;
  for (size_t i = 0; i < n; ++i)
    if ((static_cast<unsigned char>(s[i]) & 0xC0) != 0x80) ++c;
  return c;
}

}  // namespace ocl

namespace {
bool env_or_session(void* h) {
  return as<Env>(h, OCI_HTYPE_ENV) || as<Session>(h, OCI_HTYPE_SESSION);
}
}  // namespace

OCI_EXPORT size_t OCIMultiByteStrlen(void* envhp, const OraText* str) {
  if (!str) return 0;
  return std::strlen(reinterpret_cast<const char*>(str));
}

static sword char_set_to_unicode_work(void* envhp, ub2* dst, size_t dstlen, const OraText* src,
                                      size_t srclen, size_t* rsize) {
  if (!env_or_session(envhp)) return OCI_INVALID_HANDLE;
  if (!dst || (!src && srclen)) return OCI_ERROR;
  size_t w = utf8_to_utf16(reinterpret_cast<const char*>(src), srclen, dst, dstlen, nullptr);
  if (w < dstlen) dst[w] = 0;
  if (rsize) *rsize = w;
  return OCI_SUCCESS;
}

OCI_EXPORT sword OCICharSetToUnicode(void* envhp, ub2* dst, size_t dstlen, const OraText* src,
                                     size_t srclen, size_t* rsize) {
  return with_fault(OCILITE_T_CHARSET, nullptr, [&] {
    return char_set_to_unicode_work(envhp, dst, dstlen, src, srclen, rsize);
  });
}

static sword unicode_to_char_set_work(void* envhp, OraText* dst, size_t dstlen, const ub2* src,
                                      size_t srclen, size_t* rsize) {
  if (!env_or_session(envhp)) return OCI_INVALID_HANDLE;
  if (!dst || (!src && srclen)) return OCI_ERROR;
  size_t w = utf16_to_utf8(src, srclen, reinterpret_cast<char*>(dst), dstlen, nullptr);
  if (w < dstlen) dst[w] = '\0';
  if (rsize) *rsize = w;
  return OCI_SUCCESS;
}

OCI_EXPORT sword OCIUnicodeToCharSet(void* envhp, OraText* dst, size_t dstlen, const ub2* src,
                                     size_t srclen, size_t* rsize) {
  return with_fault(OCILITE_T_CHARSET, nullptr, [&] {
    return unicode_to_char_set_work(envhp, dst, dstlen, src, srclen, rsize);
  });
}

// ---- Date and time -------------------------------------------------------------------

namespace {

bool leap(int y) { return (y % 4 == 0 && y % 100 != 0) || y % 400 == 0; }

int days_in_month(int y, int m) {
  static const int d[] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
  return m == 2 && leap(y) ? 29 : d[m - 1];
}

DateTime* as_datetime(const void* p) {
  if (!is_live(p)) return nullptr;
  auto* h = static_cast<HandleBase*>(const_cast<void*>(p));
  switch (h->htype) {
    case OCI_DTYPE_DATE:
    case OCI_DTYPE_TIMESTAMP:
    case OCI_DTYPE_TIMESTAMP_TZ:
    case OCI_DTYPE_TIMESTAMP_LTZ:
      return static_cast<DateTime*>(h);
    default:
      return nullptr;
  }
}

}  // namespace

static sword date_time_construct_work(void* hndl, OCIError* err, OCIDateTime* datetime, sb2 yr,
                                      ub1 mnth, ub1 dy, ub1 hr, ub1 mm, ub1 ss, ub4 fsec,
                                      OraText* timezone, size_t timezone_length) {
  Error* e = as<Error>(err, OCI_HTYPE_ERROR);
  DateTime* dt = as_datetime(datetime);
  if (!env_or_session(hndl) || !e || !dt) return OCI_INVALID_HANDLE;
  err_clear(e);
  if (yr < -4713 || yr > 9999 || yr == 0) return err_set(e, 1841);
  if (mnth < 1 || mnth > 12) return err_set(e, 1843);
  if (dy < 1 || dy > days_in_month(yr, mnth)) return err_set(e, 1847);
  if (hr > 23) return err_set(e, 1850);
  if (mm > 59) return err_set(e, 1851);
  if (ss > 59) return err_set(e, 1852);
  if (fsec > 999999999u) return err_set(e, 1891);
  dt->v = DlDateTime{yr, mnth, dy, hr, mm, ss, static_cast<int>(fsec)};
  dt->set = true;
  return OCI_SUCCESS;
}

OCI_EXPORT sword OCIDateTimeConstruct(void* hndl, OCIError* err, OCIDateTime* datetime, sb2 yr,
                                      ub1 mnth, ub1 dy, ub1 hr, ub1 mm, ub1 ss, ub4 fsec,
                                      OraText* timezone, size_t timezone_length) {
  return with_fault(OCILITE_T_DATETIME, as<Error>(err, OCI_HTYPE_ERROR), [&] {
    return date_time_construct_work(hndl, err, datetime, yr, mnth, dy, hr, mm, ss, fsec, timezone,
                                    timezone_length);
  });
}

static sword date_time_get_date_work(void* hndl, OCIError* err, const OCIDateTime* datetime,
                                     sb2* yr, ub1* mnth, ub1* dy) {
  Error* e = as<Error>(err, OCI_HTYPE_ERROR);
  DateTime* dt = as_datetime(datetime);
  if (!env_or_session(hndl) || !e || !dt) return OCI_INVALID_HANDLE;
  err_clear(e);
  if (!dt->set) return err_set(e, 1891);
  if (yr) *yr = static_cast<sb2>(dt->v.year);
  if (mnth) *mnth = static_cast<ub1>(dt->v.month);
  if (dy) *dy = static_cast<ub1>(dt->v.day);
  return OCI_SUCCESS;
}

OCI_EXPORT sword OCIDateTimeGetDate(void* hndl, OCIError* err, const OCIDateTime* datetime,
                                    sb2* yr, ub1* mnth, ub1* dy) {
  return with_fault(OCILITE_T_DATETIME, as<Error>(err, OCI_HTYPE_ERROR), [&] {
    return date_time_get_date_work(hndl, err, datetime, yr, mnth, dy);
  });
}

static sword date_time_get_time_work(void* hndl, OCIError* err, OCIDateTime* datetime, ub1* hr,
                                     ub1* mm, ub1* ss, ub4* fsec) {
  Error* e = as<Error>(err, OCI_HTYPE_ERROR);
  DateTime* dt = as_datetime(datetime);
  if (!env_or_session(hndl) || !e || !dt) return OCI_INVALID_HANDLE;
  err_clear(e);
  if (!dt->set) return err_set(e, 1891);
  if (hr) *hr = static_cast<ub1>(dt->v.hour);
  if (mm) *mm = static_cast<ub1>(dt->v.minute);
  if (ss) *ss = static_cast<ub1>(dt->v.second);
  if (fsec) *fsec = static_cast<ub4>(dt->v.nanos);
  return OCI_SUCCESS;
}

OCI_EXPORT sword OCIDateTimeGetTime(void* hndl, OCIError* err, OCIDateTime* datetime, ub1* hr,
                                    ub1* mm, ub1* ss, ub4* fsec) {
  return with_fault(OCILITE_T_DATETIME, as<Error>(err, OCI_HTYPE_ERROR), [&] {
    return date_time_get_time_work(hndl, err, datetime, hr, mm, ss, fsec);
  });
}
