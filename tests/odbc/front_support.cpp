#include "front_support.h"

#include <gtest/gtest.h>

#include "fake.h"

namespace front {

Gate *g_gate = nullptr;

namespace {

SQLRETURN Block(void *, const ApiArgs &) {
  g_gate->Enter();
  return SQL_SUCCESS;
}
SQLRETURN Quick(void *, const ApiArgs &) { return SQL_SUCCESS; }

}  // namespace

const ApiRecord kBlockDbc = {"BlockDbc", "", 0, 1, HK_DBC, Block};
const ApiRecord kBlockStmt = {"BlockStmt", "", 0, 1, HK_STMT, Block};
const ApiRecord kBlockDesc = {"BlockDesc", "", 0, 1, HK_DESC, Block};
const ApiRecord kQuickDbc = {"QuickDbc", "", 0, 1, HK_DBC, Quick};
const ApiRecord kQuickStmt = {"QuickStmt", "", 0, 1, HK_STMT, Quick};
const ApiRecord kQuickDesc = {"QuickDesc", "", 0, 1, HK_DESC, Quick};

void Gate::Enter() {
  std::unique_lock<std::mutex> l(m);
  entered = true;
  cv.notify_all();
  cv.wait(l, [this] { return released; });
}
void Gate::WaitEntered() {
  std::unique_lock<std::mutex> l(m);
  cv.wait(l, [this] { return entered; });
}
void Gate::Release() {
  std::lock_guard<std::mutex> l(m);
  released = true;
  cv.notify_all();
}

void LayerSetUp() {
  ASSERT_EQ(OdbcLayerInit(), 0);
  fake::Reset();
}

Envr *EnvOf(SQLHANDLE h) { return static_cast<Envr *>(HandleTable_Lookup(&g_odbc.envs, HandleOf(h))); }
Conn *ConnOf(SQLHANDLE h) { return static_cast<Conn *>(HandleTable_Lookup(&g_odbc.conns, HandleOf(h))); }
Stmt *StmtOf(SQLHANDLE h) { return static_cast<Stmt *>(HandleTable_Lookup(&g_odbc.stmts, HandleOf(h))); }
Desc *DescOf(SQLHANDLE h) { return static_cast<Desc *>(HandleTable_Lookup(&g_odbc.descs, HandleOf(h))); }

SQLHANDLE AsHandle(uint32_t value) { return reinterpret_cast<SQLHANDLE>(static_cast<uintptr_t>(value)); }

SQLHENV NewEnv(SQLINTEGER version) {
  SQLHENV env = SQL_NULL_HENV;
  EXPECT_EQ(SQLAllocHandle(SQL_HANDLE_ENV, SQL_NULL_HANDLE, &env), SQL_SUCCESS);
  if (version != SQL_OV_ODBC3) EnvOf(env)->odbcVersion = version;
  return env;
}

SQLHDBC NewDbc(SQLHENV env) {
  SQLHDBC dbc = SQL_NULL_HDBC;
  EXPECT_EQ(SQLAllocHandle(SQL_HANDLE_DBC, env, &dbc), SQL_SUCCESS);
  return dbc;
}

void FakeConnect(SQLHDBC dbc) {
  Conn *c = ConnOf(dbc);
  ASSERT_NE(c, nullptr);
  ASSERT_EQ(fake::Register(&c->drv), 0);
  // As the connect does once the table is registered: the agent says it is
  // thread-safe, so calls of different connections no longer serialise.
  ThreadSafeFlagSet(&c->drv);
  DrvInitReq init{"", ""};
  ASSERT_EQ(DrvCall<&DrvOps::DRV_Init>(&c->drv, &init, &c->agentServer), 0);
  ConnectReq req{};
  req.dataSource = "Default";
  req.user = "";
  req.password = "";
  ASSERT_EQ(DrvCall<&DrvOps::DRV_Connect>(&c->drv, c->agentServer, &req, &c->agentConn), 0);
  c->state = CONN_CONNECTED;
}

SQLHSTMT NewStmt(SQLHDBC dbc) {
  SQLHSTMT stmt = SQL_NULL_HSTMT;
  EXPECT_EQ(SQLAllocHandle(SQL_HANDLE_STMT, dbc, &stmt), SQL_SUCCESS);
  return stmt;
}

SQLHDESC NewDesc(SQLHDBC dbc) {
  SQLHDESC desc = SQL_NULL_HDESC;
  EXPECT_EQ(SQLAllocHandle(SQL_HANDLE_DESC, dbc, &desc), SQL_SUCCESS);
  return desc;
}

}  // namespace front
