// The connection object.
#include "odbc/conn.h"

#include <cstdlib>
#include <cstring>

#include "odbc/dispatch.h"
#include "odbc/sqlstate.h"
#include "odbc/stmt.h"

namespace {

void FreeText(char **text) {
  free(*text);
  *text = nullptr;
}

// Moves the texts of the agent's list for a handle into a message list.
int MoveAgentMsgs(Conn *conn, uint32_t handle, DiagMsg **target) {
  DrvMsgList list{};
  if (DrvCall<&DrvOps::DRV_GetErrors>(&conn->drv, handle, &list) != 0) return 0;
  int moved = 0;
  for (uint32_t i = 0; i < list.count; ++i) {
    if (list.messages && list.messages[i]) {
      MsgListAppend(target, list.messages[i], static_cast<int32_t>(list.native));
      ++moved;
    }
    if (list.messages) free(list.messages[i]);
  }
  free(list.messages);
  return moved;
}

}  // namespace

Conn *ConnNew(Envr *env) {
  auto *conn = static_cast<Conn *>(calloc(1, sizeof(Conn)));
  if (!conn) {
    env->pending = E_S1001;
    return nullptr;
  }
  // The call lock is a semaphore of one count: the distributed-transaction
  // layer takes it on one thread and may give it back on another.
  if (!conn->callLock.Create(1, 1)) {
    free(conn);
    env->pending = E_S1001;
    return nullptr;
  }
  conn->magic = MAGIC_CONN;
  conn->env = env;
  conn->next = env->connections;
  env->connections = conn;
  conn->state = CONN_ALLOCATED;
  conn->loginTimeout = 120;
  conn->flags = CONNF_AUTOCOMMIT;
  conn->id = ++env->connCounter;
  conn->cn_fetchSize = 60;
  scs_CursorInit(&conn->cursorDefaults, 0, 0, nullptr, nullptr);
  conn->connLock.Init();
  ConnInfoCacheReset(conn);
  return conn;
}

void ConnFreeStrings(Conn *conn) {
  char **texts[] = {&conn->dsn,        &conn->user,          &conn->password, &conn->dbPath,
                    &conn->dbOptions,  &conn->dbHost,        &conn->port,     &conn->serverType,
                    &conn->serverOptions, &conn->extra,      &conn->optionTexts[0], &conn->optionTexts[1],
                    &conn->optionTexts[2], &conn->optionTexts[3]};
  for (char **t : texts) FreeText(t);
}

void ConnInfoCacheReset(Conn *conn) {
  for (int32_t &n : conn->infoNumbers) n = -1;
  for (uint16_t &n : conn->infoShorts) n = 0xFFFF;
  for (char *&t : conn->infoTexts) FreeText(&t);
}

void ConnDelete(Conn *conn) {
  ConnFreeStrings(conn);
  FreeText(&conn->programName);
  FreeText(&conn->furtherText);
  FreeText(&conn->translateLib);
  FreeText(&conn->traceFile);
  ConnInfoCacheReset(conn);
  HandleLockGuard lock;
  for (Conn **p = &conn->env->connections; *p; p = &(*p)->next) {
    if (*p == conn) {
      *p = conn->next;
      break;
    }
  }
  MsgListFree(conn->messages);
  conn->messages = nullptr;
  conn->connLock.Delete();
  conn->magic = MAGIC_DEAD;
  conn->state = 0;
  HandleTable_Remove(&g_odbc.conns, conn->handle);
}

void ConnAddMsg(Conn *conn, const char *text, int32_t native) { MsgListAppend(&conn->messages, text, native); }

char *ConnGetMsg(Conn *conn, int32_t *native) { return MsgListPop(&conn->messages, native); }

int ConnGetSrvMsgs(Conn *conn) { return MoveAgentMsgs(conn, conn->agentServer, &conn->messages); }

int ConnGetMsgs(Conn *conn, Stmt *stmt) {
  return MoveAgentMsgs(conn, conn->agentConn, stmt ? &stmt->messages : &conn->messages);
}
