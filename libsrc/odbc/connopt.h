#pragma once
// Connection options (ODBC 2: SQLSetConnectOption, SQLGetConnectOption) and
// connection attributes (ODBC 3: SQLSetConnectAttr, SQLGetConnectAttr), in
// narrow and W form.
//
// The ODBC 2 implementations hold the logic: options kept in the Conn,
// options passed to the agent as InfoCodes (DRV_SetInfo / DRV_GetInfo),
// ODBC 2 statement options stored as the connection's defaults and applied
// to every statement, the enlistment in a DTC transaction, and the failover
// callback. The ODBC 3 implementations answer a few attributes themselves
// and forward the rest, with the same numbers, to the ODBC 2 ones.
//
// Outputs are bounded: text attributes by the caller's buffer length (01004
// when cut), ODBC 2 text options, which have no length, by
// kConnOptionTextMax bytes; a negative length gives S1090; nothing is
// written through a pointer the caller did not give.
#include <sql.h>

#include <cstdint>

#include "odbc/dispatch.h"
#include "odbc/objects.h"

struct COdbcResourceDispenser;

// The ODBC 2 maximum option string: the room an SQLGetConnectOption caller
// gives for a text option.
constexpr int kConnOptionTextMax = 256;

// Connection flag bits (Conn::flags) that record an autocommit or access
// mode the application set while not connected, so that ConnOpen applies
// them to the connection it opens (the Driver Manager replays these before
// it connects). The *_VALUE bit holds the value asked for.
enum : uint16_t {
  CONNF_AUTOCOMMIT_ASKED = 0x1000,
  CONNF_AUTOCOMMIT_VALUE = 0x2000,
  CONNF_ACCESS_ASKED = 0x4000,
  CONNF_ACCESS_VALUE = 0x8000,
};

// The distributed-transaction layer's services as the connection uses them
// (xa/oletx.h by default); tests put a scripted layer in its place.
struct DtcService {
  int32_t (*init)();
  COdbcResourceDispenser *(*createDispenser)(void *dtcTransaction, uint32_t agentServer, uint32_t agentConn,
                                             DrvObject *drv, OsCritSec *connLock, OsSemaphore *callLock,
                                             const char *connectText);
  int32_t (*rmConnect)(COdbcResourceDispenser *dispenser);
  int32_t (*rmEnlist)(COdbcResourceDispenser *dispenser);
  int32_t (*releaseDispenser)(COdbcResourceDispenser *dispenser);
  // True while the coordinator still holds the dispenser.
  bool (*dispenserHeld)(COdbcResourceDispenser *dispenser);
};
extern DtcService g_dtcService;
// Restores the layer's own functions.
void DtcServiceReset();

// Sets a statement option as the connection's default and applies it to
// every statement of the connection; the first statement that does not
// answer SQL_SUCCESS ends it with its result.
SQLRETURN ConnSetStmtOption(Conn *conn, uint16_t option, uint64_t value);

// Record implementations (dispatcher argument blocks, mode character last).
SQLRETURN odbc_SetConnectOption(void *object, const ApiArgs &args);
SQLRETURN odbc_GetConnectOption(void *object, const ApiArgs &args);
SQLRETURN odbc_SetConnectAttr(void *object, const ApiArgs &args);
SQLRETURN odbc_GetConnectAttr(void *object, const ApiArgs &args);
