#pragma once
// The connection object: construction, close and destruction, its messages
// and the agent's messages moved into them.
//
// Connecting (ConnOpen), disconnecting and transactions are not built yet:
// ConnOpen posts "Driver not capable" and the Disconnect and Transact
// records answer it.
#include "odbc/objects.h"

// A new connection in state CONN_ALLOCATED at the front of the
// environment's list, or NULL with E_S1001 posted on the environment.
Conn *ConnNew(Envr *env);
// Connects with mode 'A' or 'W'; success is state CONN_CONNECTED with no
// pending error.
void ConnOpen(Conn *conn, char mode);
// When connected: closes and frees the statements, releases a DTC
// enlistment, disconnects the agent connection and releases the agent
// server context. In every state: forgets the type table, destroys the
// explicit descriptors, resets the information caches. 0 or an error code
// (the connection then stays connected).
int ConnClose(Conn *conn);
// Frees the strings, unlinks the connection from its environment, frees its
// messages, deletes the connection lock, marks it dead and unregisters it.
// The call lock and the memory stay for ConnRelease (odbc/dispatch.h).
void ConnDelete(Conn *conn);
void ConnFreeStrings(Conn *conn);
void ConnInfoCacheReset(Conn *conn);
void ConnAddMsg(Conn *conn, const char *text, int32_t native);
char *ConnGetMsg(Conn *conn, int32_t *native);
// Moves the agent's server-context messages into the connection's; the
// number of texts moved.
int ConnGetSrvMsgs(Conn *conn);
// Moves the agent connection's messages into the statement's (when given)
// or the connection's; the number of texts moved.
int ConnGetMsgs(Conn *conn, Stmt *stmt);
