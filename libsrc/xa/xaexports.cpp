// The exported XA entry points.
#include <sql.h>

#include <cstdint>

#include "odbc/dispatch.h"
#include "xa/xaswitch.h"

namespace {
constexpr int32_t kEFail = static_cast<int32_t>(0x80004005u);
}  // namespace

KVD_EXPORT void *tvx_xa_switch() { return xa_switch_record(); }

// MS DTC's entry: the OLE Transactions layer is not built, so its start fails.
KVD_EXPORT int32_t GetXaSwitch(uint32_t, void **out) {
  if (out != nullptr) *out = nullptr;
  return kEFail;
}

KVD_EXPORT SQLRETURN SQLGetXaEnv(SQLHENV *out) { return xa_get_env(out); }

KVD_EXPORT SQLRETURN SQLGetXaConnect(SQLHDBC *out) { return xa_get_connect(out); }
