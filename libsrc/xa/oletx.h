#pragma once
// The transaction-coordinator enlistment layer (the resource dispenser): an
// application enlists an open connection in a coordinator's transaction
// (SQL_ATTR_ENLIST_IN_DTC), and the connection joins it as an XA branch
// through the coordinator's XA helper; the coordinator then drives prepare,
// commit and abort of that branch through the dispenser's resource object.
// The coordinator is reached through libtxcoord.so, loaded by name when the
// layer starts.
#include <cstdint>

struct DrvObject;
struct OsCritSec;
struct OsSemaphore;
struct COdbcResourceDispenser;

// Starts the layer once per process: 0; a value with low 16 bits 0xFFFF
// when the coordinator library or its task allocator cannot be had.
int32_t OleTx_Init();
// A dispenser for the connection, referenced once; NULL when none could be
// made. dtcTransaction is the coordinator's transaction the application
// handed over; connectText "DSN=..;UID=..;PWD=..;" is copied.
COdbcResourceDispenser *OleTx_CreateDispenser(void *dtcTransaction, uint32_t agentServer, uint32_t agentConn,
                                              DrvObject *drv, OsCritSec *connLock, OsSemaphore *callLock,
                                              const char *connectText);
// 0 on success; a value with low 16 bits 0xFFFF on failure or for NULL.
int32_t OleTx_RMConnect(COdbcResourceDispenser *dispenser);
int32_t OleTx_RMEnlist(COdbcResourceDispenser *dispenser);
// References left after releasing the connection's one; -1 for NULL.
int32_t OleTx_ReleaseDispenser(COdbcResourceDispenser *dispenser);
// True while a reference other than the connection's is held (the
// coordinator has not let the transaction go yet).
bool OleTx_DispenserHeld(COdbcResourceDispenser *dispenser);
// Ends the layer at library detach; nothing when it never started.
void OleTx_Term();
// The XA switch record for the coordinator (its GetXaSwitch): starts the
// layer; an HRESULT.
int32_t OleTx_GetXaSwitch(uint32_t flags, void **out);
