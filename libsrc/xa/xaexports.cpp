// The exported XA entry points. The XA resource manager itself (contexts,
// worker threads, the agent's XA operations) is not built yet: the switch
// record is handed out so that a transaction monitor can load the driver, and
// every entry point of it refuses with XAER_RMERR rather than pretending to
// take part in a transaction.
#include <sql.h>

#include <cstdint>
#include <cstring>
#include <mutex>

#include "odbc/dispatch.h"

namespace {

constexpr int kXaerRmerr = -3;
constexpr long kTmNoFlags = 0;
constexpr int32_t kEFail = static_cast<int32_t>(0x80004005u);

struct XidRecord;
// The X/Open switch record: name, flags, version, then the ten entry points.
struct XaSwitchRecord {
  char name[32];
  long flags;
  long version;
  int (*xa_open)(char *, int, long);
  int (*xa_close)(char *, int, long);
  int (*xa_start)(XidRecord *, int, long);
  int (*xa_end)(XidRecord *, int, long);
  int (*xa_rollback)(XidRecord *, int, long);
  int (*xa_prepare)(XidRecord *, int, long);
  int (*xa_commit)(XidRecord *, int, long);
  int (*xa_recover)(XidRecord *, long, int, long);
  int (*xa_forget)(XidRecord *, int, long);
  int (*xa_complete)(int *, int *, int, long);
};
static_assert(sizeof(XaSwitchRecord) == 128, "xa_switch_t is 128 bytes on LP64");

int RefuseInfo(char *, int, long) { return kXaerRmerr; }
int RefuseXid(XidRecord *, int, long) { return kXaerRmerr; }
int RefuseRecover(XidRecord *, long, int, long) { return kXaerRmerr; }
int RefuseComplete(int *, int *, int, long) { return kXaerRmerr; }

XaSwitchRecord g_switch;
std::once_flag g_switchOnce;

XaSwitchRecord *SwitchRecord() {
  std::call_once(g_switchOnce, [] {
    std::strncpy(g_switch.name, "ZEZUZERU", sizeof g_switch.name - 1);
    g_switch.flags = kTmNoFlags;
    g_switch.version = 0;
    g_switch.xa_open = RefuseInfo;
    g_switch.xa_close = RefuseInfo;
    g_switch.xa_start = RefuseXid;
    g_switch.xa_end = RefuseXid;
    g_switch.xa_rollback = RefuseXid;
    g_switch.xa_prepare = RefuseXid;
    g_switch.xa_commit = RefuseXid;
    g_switch.xa_recover = RefuseRecover;
    g_switch.xa_forget = RefuseXid;
    g_switch.xa_complete = RefuseComplete;
  });
  return &g_switch;
}

}  // namespace

KVD_EXPORT void *tvx_xa_switch() { return SwitchRecord(); }

// MS DTC's entry: the OLE Transactions layer is not built, so its start fails.
KVD_EXPORT int32_t GetXaSwitch(uint32_t, void **out) {
  if (out != nullptr) *out = nullptr;
  return kEFail;
}

// No thread has an open XA connection yet, so neither handle exists.
KVD_EXPORT SQLRETURN SQLGetXaEnv(SQLHENV *out) {
  if (out == nullptr) return SQL_ERROR;
  *out = nullptr;
  return SQL_ERROR;
}

KVD_EXPORT SQLRETURN SQLGetXaConnect(SQLHDBC *out) {
  if (out == nullptr) return SQL_ERROR;
  *out = nullptr;
  return SQL_ERROR;
}
