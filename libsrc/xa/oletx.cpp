// The DTC resource dispenser layer: there is no MS DTC on this platform, so
// the layer never starts and enlisting fails.
#include "xa/oletx.h"

namespace {
constexpr int32_t kFailed = 0xFFFF;  // low 16 bits SQL_ERROR
}

int32_t OleTx_Init() { return kFailed; }

COdbcResourceDispenser *OleTx_CreateDispenser(void *, uint32_t, uint32_t, DrvObject *, OsCritSec *, OsSemaphore *,
                                              const char *) {
  return nullptr;
}

int32_t OleTx_RMConnect(COdbcResourceDispenser *) { return kFailed; }
int32_t OleTx_RMEnlist(COdbcResourceDispenser *) { return kFailed; }
int32_t OleTx_ReleaseDispenser(COdbcResourceDispenser *) { return -1; }

void OleTx_Term() {}
