// The exported XA entry points.
#include <sql.h>

#include <cstdint>

#include "odbc/dispatch.h"
#include "xa/oletx.h"
#include "xa/xaswitch.h"

KVD_EXPORT void *tvx_xa_switch() { return xa_switch_record(); }

// The transaction coordinator's entry to the switch (recovery loads the
// registered driver and takes its switch here).
KVD_EXPORT int32_t GetXaSwitch(uint32_t flags, void **out) { return OleTx_GetXaSwitch(flags, out); }

KVD_EXPORT SQLRETURN SQLGetXaEnv(SQLHENV *out) { return xa_get_env(out); }

KVD_EXPORT SQLRETURN SQLGetXaConnect(SQLHDBC *out) { return xa_get_connect(out); }
