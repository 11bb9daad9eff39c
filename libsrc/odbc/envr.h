#pragma once
// The environment object, the process's list of environments, handle
// allocation and freeing for all four handle kinds (SQLAllocHandle,
// SQLFreeHandle and their ODBC 2 forms) and the environment attributes.
#include "odbc/dispatch.h"
#include "odbc/objects.h"

// The process's environments, newest first. Guarded by the handle-table lock.
struct EnvrList {
  Envr *first;
  int32_t counter;
};
extern EnvrList g_envrList;

// A new environment in state ENVR_ALLOCATED at the front of the list (ODBC
// version 2), or NULL when out of memory.
Envr *EnvrNew();
// ENVR_ALLOCATED becomes ENVR_OPEN; any other state is left.
void EnvrOpen(Envr *env);
// Only when open: closes, destroys and releases every connection; then
// ENVR_ALLOCATED.
void EnvrCloseConns(Envr *env);
// Unlinks, frees the messages, marks it dead, unregisters and frees it.
void EnvrDelete(Envr *env);
// Pops the first message's text (the caller frees it); NULL when none.
char *EnvrGetMsg(Envr *env, int32_t *native);
// True when any connection of the environment has a call in progress.
bool EnvrHasBusyConn(const Envr *env);

SQLRETURN odbc_AllocHandle_Env(void *object, const ApiArgs &args);
SQLRETURN odbc_AllocEnv(void *object, const ApiArgs &args);
SQLRETURN odbc_AllocHandle_Dbc(void *object, const ApiArgs &args);
SQLRETURN odbc_AllocConnect(void *object, const ApiArgs &args);
SQLRETURN odbc_AllocHandle_Stmt(void *object, const ApiArgs &args);
SQLRETURN odbc_AllocStmt(void *object, const ApiArgs &args);
SQLRETURN odbc_AllocHandle_Desc(void *object, const ApiArgs &args);
SQLRETURN odbc_FreeHandle_Env(void *object, const ApiArgs &args);
SQLRETURN odbc_FreeEnv(void *object, const ApiArgs &args);
SQLRETURN odbc_FreeHandle_Dbc(void *object, const ApiArgs &args);
SQLRETURN odbc_FreeConnect(void *object, const ApiArgs &args);
SQLRETURN odbc_FreeHandle_Stmt(void *object, const ApiArgs &args);
SQLRETURN odbc_FreeHandle_Desc(void *object, const ApiArgs &args);
SQLRETURN odbc_FreeStmt(void *object, const ApiArgs &args);
SQLRETURN odbc_SetEnvAttr(void *object, const ApiArgs &args);
SQLRETURN odbc_GetEnvAttr(void *object, const ApiArgs &args);
