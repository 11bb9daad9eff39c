// The registration used while no agent library provides one: a table whose
// every slot answers 43 (S1C00 "Driver not capable"). The agent's own
// ORA_Register (or the scripted fake's in the test drivers) replaces it at
// link time.
#include "odbc/drvops.h"

namespace {
DrvOps g_notCapable;
}

__attribute__((weak)) int32_t ORA_Register(DrvObject *obj) {
  if (!obj) return 0;
  DrvOpsFillEmpty(g_notCapable);
  obj->flags = DRVOBJ_THREADSAFE;
  obj->table = &g_notCapable;
  return 0;
}
