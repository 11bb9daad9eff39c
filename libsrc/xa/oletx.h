#pragma once
// The MS DTC resource dispenser layer as the connection object uses it.
// On this platform there is no DTC: the layer never starts, so creating a
// dispenser gives none and the enlistment calls fail.
#include <cstdint>

struct DrvObject;
struct OsCritSec;
struct OsSemaphore;
struct COdbcResourceDispenser;

// 0 once the layer runs; a value with low 16 bits 0xFFFF on failure.
int32_t OleTx_Init();
COdbcResourceDispenser *OleTx_CreateDispenser(void *dtcTransaction, uint32_t agentServer, uint32_t agentConn,
                                              DrvObject *drv, OsCritSec *connLock, OsSemaphore *callLock,
                                              const char *connectText);
int32_t OleTx_RMConnect(COdbcResourceDispenser *dispenser);
int32_t OleTx_RMEnlist(COdbcResourceDispenser *dispenser);
// References left after releasing the connection's one; -1 for none.
int32_t OleTx_ReleaseDispenser(COdbcResourceDispenser *dispenser);
// Ends the layer at library detach; nothing when it never started.
void OleTx_Term();
