#pragma once
// The one dispatcher through which every exported ODBC function but
// SQLCancel passes.
//
// An entry point hands its arguments, unchanged and in order, to CallODBC
// together with a constant ApiRecord. CallODBC looks the handle up in its
// kind's table, checks the magic word, applies the busy rule (a connection
// runs one call at a time: another object of a busy connection gets S1010, a
// second call on the busy object itself SQL_STILL_EXECUTING), takes the locks
// in their fixed order, clears the handle's diagnostics when the record says
// so, traces the call and its result, and runs the record's implementation.
//
// Lock order, outer to inner: a connection's call lock; the serialisation
// lock (only until the first connection of the process is open and the agent
// has said it is thread-safe); whatever the implementation takes (the connect
// lock, the agent's and the cursor layer's locks, the handle-table lock in
// the destroy steps of the free calls, the handle tables' own locks); the
// trace lock. The handle-table lock is held around lookup and the busy test
// only, never while waiting for a call lock. Environment calls, calls
// without a handle and SQLCancel run entirely inside the handle-table lock.
#include <sql.h>

#include <atomic>
#include <cstdint>
#include <type_traits>

#include "util/handletab.h"
#include "util/osthread.h"

struct DrvObject;
struct Conn;

// An exported entry point of the driver: C linkage, visible outside the
// library (everything else is hidden; the version script picks the exports).
#define KVD_EXPORT extern "C" __attribute__((visibility("default")))

// Which table the first argument is looked up in.
enum HandleKind : int32_t {
  HK_NONE = 1,
  HK_ENV = 2,
  HK_DBC = 3,
  HK_STMT = 4,
  HK_DESC = 5,
};

// The arguments of one call, each in a 64-bit slot, in the entry point's
// order: for handle kinds 2 to 5 those after the handle, for kind 1 all of
// them. Signed integers are sign-extended, pointers and unsigned integers
// zero-extended; the accessors give each slot back in its original type.
struct ApiArgs {
  const uint64_t *slot;
  int count;

  template <class T = void>
  T *ptr(int i) const { return reinterpret_cast<T *>(static_cast<uintptr_t>(at(i))); }
  int16_t i16(int i) const { return static_cast<int16_t>(at(i)); }
  uint16_t u16(int i) const { return static_cast<uint16_t>(at(i)); }
  int32_t i32(int i) const { return static_cast<int32_t>(at(i)); }
  uint32_t u32(int i) const { return static_cast<uint32_t>(at(i)); }
  int64_t i64(int i) const { return static_cast<int64_t>(at(i)); }
  uint64_t u64(int i) const { return at(i); }
  // The mode character "A" or "W" that shape-2 entry points pass last.
  char mode(int i) const { return static_cast<char>(at(i)); }

 private:
  // A slot the entry point did not pass reads as 0.
  uint64_t at(int i) const { return i >= 0 && i < count ? slot[i] : 0; }
};

// kinds 2 to 5: (object, arguments after the handle); kind 1: (nullptr, all
// arguments). Returns an ODBC return code; a failure stores a SqlStateTable
// row as the object's pending error and returns SQL_ERROR.
using ApiImpl = SQLRETURN (*)(void *object, const ApiArgs &args);

struct ApiRecord {
  const char *name;         // without "SQL" ("ExecDirect", "ExecDirectW")
  const char *traceFormat;  // printf format of the arguments; "" none
  int32_t flag;             // 0 or 1; read by nothing
  int32_t clearsDiag;       // 1: new diagnostic area, failover notification
  int32_t kind;             // HandleKind
  ApiImpl impl;
};

// ---- Process-wide state of the ODBC layer -----------------------------------

struct OdbcLayer {
  std::atomic<int32_t> initialised;
  OsCritSec handleLock;   // handle lookup, busy slots, environment and connection lists
  OsCritSec connectLock;  // the whole connect logic
  OsCritSec serialLock;   // serialises calls until the agent is known to be thread-safe
  HandleTable envs;       // tag 1
  HandleTable conns;      // tag 2
  HandleTable stmts;      // tag 3
  HandleTable descs;      // tag 4
  std::atomic<int32_t> threadSafe;  // the agent's flags & 2, once set
  int32_t threadSafeSet;
  // OdbcLayerTerm met a connection with a call in progress and left the
  // locks and tables that call still uses.
  int32_t retained;
};
extern OdbcLayer g_odbc;

// The low 32 bits of an ODBC handle argument: the handle value.
inline HandleValue HandleOf(const void *h) {
  return static_cast<HandleValue>(reinterpret_cast<uintptr_t>(h));
}

// The handle-table lock, scoped.
struct HandleLockGuard {
  HandleLockGuard() { g_odbc.handleLock.Enter(); }
  ~HandleLockGuard() { g_odbc.handleLock.Leave(); }
  HandleLockGuard(const HandleLockGuard &) = delete;
  HandleLockGuard &operator=(const HandleLockGuard &) = delete;
};

// 0, or -1 when a lock or handle table cannot be set up (the layer stays
// uninitialised and every dispatched call answers SQL_ERROR).
int OdbcLayerInit();
// Frees the environments with their children, stopping at one that has a
// connection with a call in progress; then deletes the locks and tables,
// unless such a call still runs. Returns 0.
int OdbcLayerTerm();
bool OdbcLayerIsInitialised();

// The first call in the process keeps the DrvObject's flags & 2 as the
// thread-safety flag; later calls change nothing.
void ThreadSafeFlagSet(const DrvObject *drv);

// Tells the connection's failover callback about a completed (183) or
// aborted (184) failover found in the pending code or messages of the
// object that ran the call; returns the result to report.
SQLRETURN FailoverNotify(Conn *conn, int32_t kind, SQLRETURN result);

// Frees a connection's call lock and memory once no thread holds it.
void ConnRelease(Conn *conn);

// ---- Entering the dispatcher ---------------------------------------------------

SQLRETURN CallODBCBlock(const ApiRecord *rec, const uint64_t *slots, int count);

template <class T>
inline uint64_t ApiSlot(T v) {
  if constexpr (std::is_pointer_v<T>)
    return static_cast<uint64_t>(reinterpret_cast<uintptr_t>(v));
  else if constexpr (std::is_same_v<T, std::nullptr_t>)
    return 0;
  else if constexpr (std::is_signed_v<T>)
    return static_cast<uint64_t>(static_cast<int64_t>(v));
  else
    return static_cast<uint64_t>(v);
}

// CallODBC(record, handle or first argument, further arguments...).
template <class... A>
inline SQLRETURN CallODBC(const ApiRecord &rec, A... args) {
  const uint64_t slots[sizeof...(A) + 1] = {ApiSlot(args)..., 0};
  return CallODBCBlock(&rec, slots, static_cast<int>(sizeof...(A)));
}

// ---- Trace helpers ---------------------------------------------------------------

// "SUCCESS", "SUCCESS_WITH_INFO", ... "UNKNOWN_ERROR" for a return code.
const char *ReturnCodeName(SQLRETURN rc);

// Formats the argument slots by a record's trace format into at most
// size - 1 characters (250 in the dispatcher). Each conversion takes the
// next slot in the type its length modifier and specifier say.
void FormatTraceArgs(const char *format, const uint64_t *slots, int count, char *out, size_t size);
