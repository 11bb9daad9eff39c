// Inner records of the OCI stand-in: every OCI handle and descriptor is one of
// the structures below, behind the opaque pointer types of oci.h. They all
// begin with HandleBase so that a pointer handed back by the application can
// be checked (magic and type) before use.
#pragma once

#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <list>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <unordered_set>
#include <vector>

#include "backend.h"
#include "dialect.h"
#include "oci.h"
#include "ocilite.h"
#include "oci_returning.h"

// The exported OCI entry points; everything else stays inside the library.
#define OCI_EXPORT extern "C" __attribute__((visibility("default")))

namespace ocl {

constexpr uint32_t kMagic = 0x4F43494Cu;  // "OCIL"
constexpr uint32_t kDead = 0xDEADBEEFu;

struct Env;
struct Error;
struct Server;
struct Session;
struct SvcCtx;
struct Stmt;
struct Bind;
struct Define;
struct Param;
struct Lob;
struct DateTime;
struct CPool;
struct PlUnit;

struct HandleBase {
  uint32_t magic = kMagic;
  uint32_t htype = 0;
  Env* env = nullptr;
  std::vector<char> usermem;  // the xtramem_sz of the allocation
  explicit HandleBase(uint32_t t) : htype(t) {}
  virtual ~HandleBase() { magic = kDead; }
  HandleBase(const HandleBase&) = delete;
  HandleBase& operator=(const HandleBase&) = delete;
};

// Checks that p is a live handle of the type; nullptr otherwise. p may be
// anything an application passed, so reading its tag is the point: the
// sanitizer's object-type check is off here.
template <class T>
__attribute__((no_sanitize("vptr"))) T* as(const void* p, uint32_t type) {
  if (!p) return nullptr;
  auto* h = static_cast<HandleBase*>(const_cast<void*>(p));
  if (h->magic != kMagic || h->htype != type) return nullptr;
  return static_cast<T*>(h);
}
bool is_live(const void* p);

// ---- Errors ------------------------------------------------------------------

struct ErrRec {
  int code = 0;
  std::string text;  // without "ORA-nnnnn: " and without newline
};

struct ErrorList {
  std::mutex mu;
  std::vector<ErrRec> recs;
  void clear() {
    std::lock_guard<std::mutex> g(mu);
    recs.clear();
  }
  void add(int code, std::string text) {
    std::lock_guard<std::mutex> g(mu);
    recs.push_back({code, std::move(text)});
  }
};

struct Error : HandleBase {
  Error() : HandleBase(OCI_HTYPE_ERROR) {}
  ErrorList list;
};

// Standard text of an Oracle error (the client-side ones here, others from
// the dialect's table).
std::string ora_text(int code, const char* arg = nullptr);
// Clears the error handle at the start of a call (null allowed).
inline void err_clear(Error* e) {
  if (e) e->list.clear();
}
// Adds a record; returns OCI_ERROR.
sword err_set(Error* e, int code, const char* arg = nullptr);
sword err_set_text(Error* e, int code, const std::string& text);
sword err_from(Error* e, const DlError& d);
// The record as a warning: returns OCI_SUCCESS_WITH_INFO.
sword warn_set(Error* e, int code, const char* arg = nullptr);

// ---- Fault injection (ocilite_test_*) -----------------------------------------

// Counts the call and applies an armed fault: returns OCI_SUCCESS to go on,
// OCI_ERROR with the record set, or OCI_SUCCESS_WITH_INFO (go on, and return
// that status at the end) with the warning record set.
sword fault_check(int kind, Error* e);
// What an armed fault does to one call: nothing (OCI_SUCCESS), fail it
// (OCI_ERROR) or add a warning (OCI_SUCCESS_WITH_INFO) with code and text.
struct FaultHit {
  sword status = OCI_SUCCESS;
  int code = 0;
  std::string text;
};
// Counts the call and takes the armed fault that matches it, if any.
FaultHit fault_take(int kind);
// Runs a call's work under the fault of its kind: a failure answers before
// the work (record on e when there is one), a warning is added after a work
// that succeeded. For calls whose many answers all come from the work.
template <class Work>
sword with_fault(int kind, Error* e, Work&& work) {
  FaultHit hit = fault_take(kind);
  if (hit.status == OCI_ERROR) {
    if (e) {
      e->list.clear();
      e->list.add(hit.code, hit.text);
    }
    return OCI_ERROR;
  }
  sword r = work();
  if (hit.status == OCI_SUCCESS_WITH_INFO && (r == OCI_SUCCESS || r == OCI_SUCCESS_WITH_INFO)) {
    if (e) e->list.add(hit.code, hit.text);
    return OCI_SUCCESS_WITH_INFO;
  }
  return r;
}
// Waits when the kind is set slow; false (with ORA-01013 set) when broken off.
bool fault_slow(int kind, Session* s, Error* e);
// Before a call of the kind (st: the statement of a fetch): fails it when
// its session is dead after an aborted failover (ORA-03114), lost its
// transaction (ORA-25402, a rollback clears it) or the fetch's cursor
// (ORA-25401); then runs an armed failover sequence through the server's
// failover callback. OCI_SUCCESS to go on, else OCI_ERROR with the error set.
sword failover_check(int kind, SvcCtx* svc, Server* srv, Error* e, Stmt* st = nullptr);

// Pooled sessions borrow a physical connection of their pool for each call
// and keep it while a transaction or cursor is open. pool_borrow: true when
// the session holds one (or is not pooled); false with ORA-24401 on e when
// the pool is exhausted in no-wait mode (else it waits for one).
bool pool_borrow(Session* s, Error* e);
// A statement of the session has a result not fetched to its end.
bool session_has_open_cursor(Session* s);
void pool_settle(Session* s, bool force = false);
struct PoolUse {
  Session* s;
  bool ok;
  PoolUse(Session* sess, Error* e) : s(sess), ok(pool_borrow(sess, e)) {}
  ~PoolUse() {
    if (ok) pool_settle(s);
  }
  PoolUse(const PoolUse&) = delete;
  PoolUse& operator=(const PoolUse&) = delete;
};

// ---- Environment ---------------------------------------------------------------

struct Env : HandleBase {
  Env() : HandleBase(OCI_HTYPE_ENV) {}
  ~Env() override;
  ub4 mode = 0;
  std::mutex mu;  // children, sessions
  std::unordered_set<HandleBase*> children;
  std::vector<Session*> sessions;  // begun sessions of this environment
  ErrorList errs;                  // records read with OCIErrorGet on the environment
  ub2 charset = 873;               // AL32UTF8
  ub2 ncharset = 2000;             // AL16UTF16
};

void env_adopt(Env* env, HandleBase* h);
void env_release(HandleBase* h);  // forgets a child (it is being freed)

// ---- Server, session, service context ----------------------------------------

struct CPool : HandleBase {
  CPool() : HandleBase(OCI_HTYPE_CPOOL) {}
  ~CPool() override;
  bool created = false;
  std::string name;
  std::string dblink;
  std::string dir;
  std::string user, password;
  ub4 min = 0, max = 0, incr = 0, timeout = 0;
  ub1 nowait = 0;
  std::atomic<int> users{0};
  // Physical connections: opened (min at creation, then by incr up to max)
  // and lent to a session for a call; under mu.
  std::mutex mu;
  std::condition_variable freed;
  ub4 open = 0, busy = 0, peak = 0;
  unsigned serial = 0;  // creation order, for the test report
};

struct Server : HandleBase {
  Server() : HandleBase(OCI_HTYPE_SERVER) {}
  ~Server() override;
  bool attached = false;
  std::string dblink;  // as given to the attach
  std::string dir;     // the database directory
  std::string pool;    // pool name when attached in OCI_CPOOL mode
  bool nonblocking = false;
  OCIFocbkStruct focbk{};
  std::string external_name, internal_name;
  std::atomic<Session*> session{nullptr};  // the session working through it
  SvcCtx* svc = nullptr;                   // the service context it was set on
};

struct Stmt;

struct Session : HandleBase {
  Session() : HandleBase(OCI_HTYPE_SESSION) {}
  ~Session() override;
  std::string user_attr, password_attr;  // OCI_ATTR_USERNAME / PASSWORD
  bool begun = false;
  Server* server = nullptr;
  std::string user;  // upper-case schema
  BeConn* conn = nullptr;
  DlSession dl;
  std::recursive_mutex call_mu;  // one call at a time on the connection
  std::atomic<int> active{0};    // calls running on the connection
  std::atomic<bool> brk{false};  // OCIBreak seen while a call ran
  // Statement cache (OCIStmtPrepare2 / OCIStmtRelease).
  bool cache_on = false;
  ub4 cache_size = 20;
  std::list<Stmt*> cache;              // released statements, most recent first
  std::unordered_set<Stmt*> compiled;  // statements holding compiled SQL on conn
  std::mutex job_mu;
  std::unordered_set<Stmt*> jobs;  // statements running on their own thread
  // Attached through a connection pool: its name, and whether the session
  // holds one of its physical connections now.
  std::string pool;
  bool holds = false;
  // Failover: an aborted one leaves the session dead (every call ORA-03114
  // until it ends); a completed one loses an open transaction (ORA-25402
  // until a rollback) and, for type SESSION, the open cursors (fo_epoch).
  bool fo_dead = false;
  bool fo_txn_lost = false;
  unsigned fo_epoch = 0;
};

struct Trans : HandleBase {
  Trans() : HandleBase(OCI_HTYPE_TRANS) {}
  ub4 flags = 0;
  std::vector<char> xid;
};

struct SvcCtx : HandleBase {
  SvcCtx() : HandleBase(OCI_HTYPE_SVCCTX) {}
  Server* server = nullptr;
  Session* session = nullptr;
  Trans* trans = nullptr;
  ub4 cache_size = 0;  // OCI_ATTR_STMTCACHESIZE set before a session was there
};

// While a call runs on a session: counts it as active (OCIBreak only acts on
// running calls) and clears a break request when it ends.
struct CallScope {
  Session* s;
  std::unique_lock<std::recursive_mutex> lock;
  explicit CallScope(Session* sess) : s(sess), lock(sess->call_mu) { s->active.fetch_add(1); }
  ~CallScope() {
    if (s->active.fetch_sub(1) == 1) s->brk.store(false);
  }
};

// ---- Descriptors ---------------------------------------------------------------

struct ColMeta {
  std::string name;
  DlColType type;
  std::string schema;  // OCI_ATTR_SCHEMA_NAME of an object's column
};

struct Param : HandleBase {
  Param() : HandleBase(OCI_DTYPE_PARAM) {}
  ~Param() override;
  ub1 ptype = OCI_PTYPE_COL;
  bool owned = true;  // freed by its parent, OCIDescriptorFree does nothing
  ColMeta col;        // OCI_PTYPE_COL
  ub2 position = 0;
  std::string obj_name, obj_schema;  // tables and views
  std::vector<Param*> items;         // OCI_PTYPE_LIST: the columns
  Param* columns = nullptr;          // tables and views: their column list
  // Stored code: a procedure's or function's argument list, a package's
  // subprogram list; an argument's mode and default.
  bool from_zero = false;  // a function's argument list: its result at 0
  ub1 iomode = 0;
  ub1 has_default = 0;
  ub2 overload = 0;
};

struct Describe : HandleBase {
  Describe() : HandleBase(OCI_HTYPE_DESCRIBE) {}
  ~Describe() override;
  Param* root = nullptr;
};

struct Lob : HandleBase {
  Lob() : HandleBase(OCI_DTYPE_LOB) {}
  bool init = false;      // holds a value
  ub1 lobtype = SQLT_CLOB;
  ub1 csform = SQLCS_IMPLICIT;
  std::string data;       // the value (UTF-8 text or bytes)
  // Where the value lives, so that writes reach the table.
  std::string schema, table, column;
  int64_t rowid = 0;
  bool located = false;
  // Caches for chunked reads (a whole-value scan per chunk would make reading
  // a large LOB quadratic); dropped whenever data changes. The cursor is a
  // character boundary: the UTF-16 unit cur_unit starts at byte cur_byte. A
  // read leaves it where it ended, so that the next chunk starts there.
  int ascii = -1;
  size_t units = SIZE_MAX;  // length in UTF-16 units, SIZE_MAX: not counted yet
  size_t cur_unit = 0, cur_byte = 0;
  void changed() {
    ascii = -1;
    units = SIZE_MAX;
    cur_unit = cur_byte = 0;
  }
};

struct DateTime : HandleBase {
  explicit DateTime(uint32_t t) : HandleBase(t) {}
  DlDateTime v;
  bool set = false;
};

struct Rowid : HandleBase {
  Rowid() : HandleBase(OCI_DTYPE_ROWID) {}
  int64_t rowid = 0;
};

struct Snapshot : HandleBase {
  Snapshot() : HandleBase(OCI_DTYPE_SNAP) {}
};

// ---- Statements ------------------------------------------------------------------

// One place an output value goes: a define's row, an out bind's row, a piece.
struct Sink {
  char* buf = nullptr;
  sb4 size = 0;  // bytes available at buf
  ub2 dty = 0;
  sb2* ind = nullptr;
  ub2* alen = nullptr;   // ub2 length (defines, binds)
  ub4* alen4 = nullptr;  // ub4 length (dynamic out binds, pieces)
  ub2* rcode = nullptr;
  bool utf16 = false;
  Env* env = nullptr;
};

// Result of writing one value.
enum PutResult : int { PUT_OK = 0, PUT_TRUNCATED = 1, PUT_NULL_NO_IND = 2, PUT_ERROR = 3 };

// Writes v (of a column described as meta) into the sink; on PUT_ERROR the
// Oracle error number is in *ora.
PutResult put_value(const Sink& s, const BeValue& v, const DlColType& meta, int* ora);
// Reads one input value of an external type. Text and blob results point
// into the caller's buffer or into scratch (kept until the next call with it).
// Returns 0 or an Oracle error number.
int get_value(const void* buf, sb4 size, ub2 dty, bool utf16, BeValue* v, std::string* scratch);

struct Bind : HandleBase {
  Bind() : HandleBase(OCI_HTYPE_BIND) {}
  Stmt* stmt = nullptr;
  ub4 pos = 0;       // by position (0 when by name)
  std::string name;  // by name: upper-case, without the colon
  void* valuep = nullptr;
  sb4 value_sz = 0;
  ub2 dty = 0;
  void* indp = nullptr;
  ub2* alenp = nullptr;
  ub2* rcodep = nullptr;
  ub4 maxarr = 0;
  ub4* curelep = nullptr;
  ub4 mode = 0;
  OCICallbackInBind icb = nullptr;
  void* ictx = nullptr;
  OCICallbackOutBind ocb = nullptr;
  void* octx = nullptr;
  ub2 csid = 0;
  ub1 csform = SQLCS_IMPLICIT;
  ub4 maxdata = 0;
  ub4 rows_returned = 0;
  std::string scratch;
};

struct Define : HandleBase {
  Define() : HandleBase(OCI_HTYPE_DEFINE) {}
  Stmt* stmt = nullptr;
  ub4 pos = 0;
  void* valuep = nullptr;
  sb4 value_sz = 0;
  ub2 dty = 0;
  void* indp = nullptr;
  ub2* rlenp = nullptr;
  ub2* rcodep = nullptr;
  ub4 mode = 0;
  ub2 csid = 0;
  ub1 csform = SQLCS_IMPLICIT;
  // The buffer of the next piece (OCIStmtSetPieceInfo).
  void* piece_buf = nullptr;
  ub4* piece_alen = nullptr;
  void* piece_ind = nullptr;
  ub2* piece_rcode = nullptr;
};

// The state of a fetch that stopped for a piece (OCI_NEED_DATA).
struct PieceState {
  bool active = false;
  ub4 nrows = 0;        // rows asked for
  ub4 row = 0;          // row of the block being filled
  ub4 col = 0;          // define position - 1 being filled
  size_t offset = 0;    // bytes of the value already handed out
  ub1 piece = OCI_FIRST_PIECE;
  bool info = false;    // OCI_SUCCESS_WITH_INFO owed at the end
  bool waiting = false; // NEED_DATA returned, the application's piece buffer comes next
};

// A statement executing on its own thread in non-blocking mode.
struct AsyncJob {
  Session* session = nullptr;
  std::thread th;
  std::atomic<bool> done{false};
  sword status = OCI_SUCCESS;
  std::vector<ErrRec> recs;
};

struct Stmt : HandleBase {
  Stmt() : HandleBase(OCI_HTYPE_STMT) {}
  ~Stmt() override;
  std::string text;
  unsigned fo_epoch = 0;  // its session's fo_epoch when it was executed
  bool prepared = false;
  // Translation (for a session: the own schema's name depends on it).
  bool translated = false;
  Session* translated_for = nullptr;
  DlStatement dl;
  DlError dl_err;
  int dl_rc = 0;  // translation failure, reported at execute
  Returning ret;  // RETURNING ... INTO, cut off before translation
  // Stored code: an anonymous block parsed for the interpreter, or a CREATE
  // or DROP of a unit (pl_ddl).
  std::shared_ptr<PlUnit> pl;
  bool pl_ddl = false;
  // Compiled SQL.
  BeStmt* be = nullptr;
  Session* be_session = nullptr;
  // Binds (all handles made on the statement) and defines by position.
  std::vector<Bind*> binds;
  std::vector<Define*> defines;
  // Execution state.
  Session* exec_session = nullptr;
  bool executed = false;
  bool described = false;
  bool has_row = false;  // a row stepped and not yet handed out
  bool eof = false;
  ub4 row_count = 0;     // DML rows, or rows fetched so far
  ub4 rows_fetched = 0;  // by the last fetch
  std::vector<ColMeta> cols;
  std::vector<Param*> col_params;
  PieceState ps;
  // Statement cache.
  Session* cache_owner = nullptr;
  std::string cache_key;
  bool from_cache = false;
  ub4 prefetch_rows = 1, prefetch_mem = 0;
  std::unique_ptr<AsyncJob> job;
  std::string scratch;
  std::vector<std::pair<Bind*, BeValue>> row_values;  // bind_row's, kept for its capacity
};

// Drops the compiled SQL of a statement (its session ends or changes).
void stmt_uncompile(Stmt* st);
void stmt_free_binds(Stmt* st);
// Waits for and forgets a non-blocking execution of the statement.
void drop_job(Stmt* st);

// Input value of a bind for one iteration; 0 or an Oracle error (set on e).
int stmt_bind_input(Bind* b, ub4 iter, BeValue* v, Error* e);
// Writes an output value to a bind's row; 0 or an Oracle error (set on e).
int stmt_bind_output(Bind* b, const BeValue& v, const DlColType& meta, Error* e, ub4 iter);
// The bind handle for a placeholder (by position first, else by name).
Bind* stmt_find_bind(Stmt* st, int position, const std::string& name);
// Makes st the open cursor of a query that already ran its first step
// (has_row: a row is waiting) on session s: st takes the compiled statement.
void stmt_adopt_cursor(Stmt* st, Session* s, const std::string& text, DlStatement&& dl, BeStmt* be,
                       bool has_row);
// Makes st a cursor that was never opened (fetch and describe: ORA-24338).
void stmt_unopened_cursor(Stmt* st);

// Statement execution entry (also used by the administration tool's SQL).
sword stmt_execute(SvcCtx* svc, Stmt* st, Error* e, ub4 iters, ub4 rowoff, ub4 mode);

// Session helpers.
Session* svc_session(SvcCtx* svc);
// Another connection to the session's schema, with the session's settings:
// a transaction of its own that the session can take up (XA branches).
int session_conn_open(Session* s, BeConn** out, DlError* err);
// Makes c the connection the session works on. Statements compiled on the
// one before compile again at their next execute; a result being fetched
// there ends (ORA-01002).
void session_use_conn(Session* s, BeConn* c);
// The session a statement prepared with OCIStmtPrepare belongs to: the only
// session of its environment, if there is exactly one.
Session* env_single_session(Env* env);

// Character-set helpers (UTF-8 <-> UTF-16).
size_t utf8_to_utf16(const char* s, size_t n, ub2* out, size_t cap_units, size_t* needed_units);
size_t utf16_to_utf8(const ub2* s, size_t units, char* out, size_t cap, size_t* needed);
size_t utf8_char_count(const char* s, size_t n);

// A stored DATE or TIMESTAMP text.
bool stored_datetime(const BeValue& v, DlDateTime* dt);

// Oracle NUMBER 21-byte form.
int num_to_oracle(const BeValue& v, ub1* out);  // the length; -1 beyond NUMBER's range
// 0, 1 malformed, 2 not kept exactly by the stand-in (its decimal text in
// *inexact when given).
int num_from_oracle(const ub1* p, size_t len, BeValue* v, std::string* inexact = nullptr);

}  // namespace ocl
