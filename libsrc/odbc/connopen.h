#pragma once
// Opening and closing a connection to the agent, commit and rollback, and
// the agent's capabilities read right after the connect. ConnOpen and
// ConnClose are declared with the connection object (odbc/conn.h).
//
// ConnOpen(conn, mode) registers the connection's operation table
// (ORA_Register), references the agent's server context (DRV_Init), hands
// DRV_Connect a ConnectReq built from the connection's fields (the server
// options led by the wide marker for a connection made through a W entry
// point), then reads the capability mask and the type table and passes the
// connection's options down. A failed connect leaves the connection
// unconnected without agent handles, with the agent's connection messages
// and then its server messages in its diagnostics. Warnings the agent left
// on a successful connect (a password about to expire) stay in the
// connection's diagnostics too.
#include <sql.h>

#include "odbc/conn.h"
#include "odbc/dispatch.h"

// The agent's conversion table into the connection's type table; the
// agent's code. A failure or an empty answer marks the table not valid.
int32_t GetOpTable(Conn *conn, ConnTypeTable *table);

// Commit (type 0) or rollback (type 1) of one connection; an ODBC return
// code with the pending error set on failure (08003 not connected, S1012
// other type, the agent's code with its messages).
SQLRETURN ConnTransact(Conn *conn, uint16_t type);

// Record implementations.
SQLRETURN odbc_Disconnect(void *object, const ApiArgs &args);
SQLRETURN odbc_Transact_Env(void *object, const ApiArgs &args);
SQLRETURN odbc_Transact_Dbc(void *object, const ApiArgs &args);
