// Opening and closing connections against the fake agent: the connect
// request, the capability probe, the options passed down after the connect,
// disconnect, commit and rollback.
#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "connect_support.h"
#include "odbc/connopen.h"
#include "odbc/connopt.h"

namespace {

using ct::ConnOf;
using ct::Diags;

struct ConnOpenTest : ct::ConnectTest {
  SQLRETURN Connect(SQLHDBC h, const char *in = "DSN=kvd_minimal;UID=u;PWD=p") { return ct::DriverConnect(h, in); }
  // The log entries of DRV_SetInfo, as "0x22030000=1".
  std::vector<std::string> SetInfos() {
    std::vector<std::string> out;
    for (auto &c : fake::LogOf(SLOT_DRV_SetInfo)) out.push_back(c.text);
    return out;
  }
  bool Sent(const std::string &text) {
    for (auto &s : SetInfos())
      if (s == text) return true;
    return false;
  }
  // Position of the first logged call of a slot (or with a text), -1 none.
  int Position(int slot, const std::string &text = "") {
    auto log = fake::Log();
    for (size_t i = 0; i < log.size(); ++i)
      if (log[i].slot == slot && (text.empty() || log[i].text == text)) return static_cast<int>(i);
    return -1;
  }
};

struct CapCase {
  uint32_t bit;
  int32_t Conn::*flag;
};
const CapCase kCaps[] = {
    {CAP_NEEDBIND, &Conn::cn_needbind},     {CAP_MORERES, &Conn::cn_hasMoreRes},
    {CAP_PARAMOP, &Conn::cn_hasParamOp},    {CAP_SCROLL, &Conn::cn_hasScrlCurs},
    {CAP_DYNMIX, &Conn::cn_hasDynMixCurs},  {CAP_V2DAE, &Conn::cn_hasV2DAE},
    {CAP_SPOUT_DEFER, &Conn::cn_spOutDeferFetch}, {CAP_EXECUTE2, &Conn::cn_hasExecute2},
    {CAP_GETINFO_CVT, &Conn::cn_getInfoCvt}, {CAP_DESCRIBE2, &Conn::cn_describe2},
    {CAP_EXECDIRECT2, &Conn::cn_execDirect2}, {CAP_MAX_LENGTH, &Conn::cn_maxLength},
    {CAP_DTC, &Conn::cn_dtc},                {CAP_FAILOVER_CB, &Conn::cn_failoverCb},
};

TEST_F(ConnOpenTest, EachBitOfTheCapabilityMaskSetsItsFlag) {
  for (const CapCase &c : kCaps) {
    fake::SetInfo(INFO_CAPS_MASK, static_cast<int32_t>(c.bit));
    ASSERT_EQ(Connect(dbc), SQL_SUCCESS);
    Conn *conn = ConnOf(dbc);
    for (const CapCase &o : kCaps) EXPECT_EQ(conn->*o.flag, o.bit == c.bit ? 1 : 0) << std::hex << c.bit;
    EXPECT_FALSE(conn->flags & CONNF_AUTOCOMMIT);
    SQLDisconnect(dbc);
  }
  fake::SetInfo(INFO_CAPS_MASK, 0x1A);
  ASSERT_EQ(Connect(dbc), SQL_SUCCESS);
  Conn *conn = ConnOf(dbc);
  EXPECT_EQ(conn->cn_hasMoreRes + conn->cn_hasScrlCurs + conn->cn_hasDynMixCurs, 3);
  EXPECT_EQ(conn->cn_needbind + conn->cn_hasParamOp + conn->cn_hasV2DAE, 0);
  SQLDisconnect(dbc);
  fake::SetInfo(INFO_CAPS_MASK, CAP_AUTOCOMMIT);
  ASSERT_EQ(Connect(dbc), SQL_SUCCESS);
  EXPECT_TRUE(ConnOf(dbc)->flags & CONNF_AUTOCOMMIT);
}

TEST_F(ConnOpenTest, WithoutTheMaskEachCapabilityIsAskedOnItsOwn) {
  fake::SetInfo(INFO_MORERES, 1);
  fake::SetInfo(INFO_EXECUTE2, 5);
  fake::SetInfo(INFO_V2DAE, 0);
  fake::SetInfo(INFO_AUTOCOMMIT, 1);
  ASSERT_EQ(Connect(dbc), SQL_SUCCESS);
  Conn *conn = ConnOf(dbc);
  EXPECT_EQ(conn->cn_hasMoreRes, 1);
  EXPECT_EQ(conn->cn_hasExecute2, 1);
  EXPECT_EQ(conn->cn_hasV2DAE, 0);
  EXPECT_EQ(conn->cn_needbind, 0);
  EXPECT_TRUE(conn->flags & CONNF_AUTOCOMMIT);
  std::vector<std::string> asked;
  for (auto &c : fake::LogOf(SLOT_DRV_GetInfo)) asked.push_back(c.text);
  for (uint32_t item : {INFO_NEEDBIND, INFO_MORERES, INFO_PARAMOP, INFO_SCROLL, INFO_DYNMIX, INFO_V2DAE,
                        INFO_SPOUT_DEFER, INFO_EXECUTE2}) {
    char hex[16];
    snprintf(hex, sizeof hex, "0x%08X", item);
    EXPECT_NE(std::find(asked.begin(), asked.end(), hex), asked.end()) << hex;
  }
}

TEST_F(ConnOpenTest, AfterTheConnectTheConnectionsOptionsGoDown) {
  SQLHENV env2 = ct::NewEnv(SQL_OV_ODBC2);
  SQLHDBC d2 = ct::NewDbc(env2);
  ASSERT_EQ(SQLSetConnectOption(d2, SQL_TXN_ISOLATION, SQL_TXN_SERIALIZABLE), SQL_SUCCESS);
  ASSERT_EQ(Connect(d2, "DSN=kvd_minimal;UID=u;PWD=p;DLF=yes"), SQL_SUCCESS);
  EXPECT_TRUE(Sent("0x2201000F=1"));          // deferred long fetch
  EXPECT_TRUE(Sent("0x2203006C=8"));          // isolation set before the connect
  EXPECT_TRUE(Sent("0x2201000C=2"));          // the environment's ODBC version
  EXPECT_EQ(ConnOf(d2)->isolation, 8);
  EXPECT_EQ(ConnOf(d2)->typeTable.valid, 1);
  EXPECT_NE(ConnOf(d2)->typeTable.table.rows, nullptr);
  SQLDisconnect(d2);

  // No isolation of its own, and one the agent refuses: the agent's is kept.
  fake::Reset();
  fake::SetInfo(INFO_ISOLATION, 2);
  ASSERT_EQ(Connect(dbc), SQL_SUCCESS);
  EXPECT_EQ(ConnOf(dbc)->isolation, 2);
  EXPECT_TRUE(Sent("0x2201000C=3"));
  EXPECT_FALSE(Sent("0x2201000F=1"));
  SQLDisconnect(dbc);
  ConnOf(dbc)->isolation = 4;
  fake::Script(SLOT_DRV_SetInfo).queue = {E_S1C00};  // the first SetInfo: the isolation
  ASSERT_EQ(Connect(dbc), SQL_SUCCESS);
  EXPECT_EQ(ConnOf(dbc)->isolation, 2);
  SQLDisconnect(dbc);

  // A type table the agent cannot give is marked not valid.
  fake::ClearSlot(SLOT_DRV_GetOpTable);
  ASSERT_EQ(Connect(dbc), SQL_SUCCESS);
  EXPECT_EQ(ConnOf(dbc)->typeTable.valid, 0);
}

TEST_F(ConnOpenTest, AutocommitAndAccessModeSetBeforeTheConnectApplyAfterIt) {
  fake::SetInfo(INFO_CAPS_MASK, CAP_AUTOCOMMIT);
  ASSERT_EQ(SQLSetConnectAttr(dbc, SQL_ATTR_AUTOCOMMIT, (SQLPOINTER)SQL_AUTOCOMMIT_OFF, 0), SQL_SUCCESS);
  ASSERT_EQ(SQLSetConnectAttr(dbc, SQL_ATTR_ACCESS_MODE, (SQLPOINTER)SQL_MODE_READ_ONLY, 0), SQL_SUCCESS);
  EXPECT_EQ(fake::CallCount(SLOT_DRV_SetInfo), 0);  // nothing to send to yet
  ASSERT_EQ(Connect(dbc), SQL_SUCCESS);
  const int connect = Position(SLOT_DRV_Connect);
  const int autocommit = Position(SLOT_DRV_SetInfo, "0x22030000=0");
  const int access = Position(SLOT_DRV_SetInfo, "0x22030001=1");
  EXPECT_GT(autocommit, connect);
  EXPECT_GT(access, connect);
  EXPECT_EQ(fake::LastConnect()->readOnly, 1);
  SQLUINTEGER v = 99;
  ASSERT_EQ(SQLGetConnectAttr(dbc, SQL_ATTR_AUTOCOMMIT, &v, 0, nullptr), SQL_SUCCESS);
  EXPECT_EQ(v, SQL_AUTOCOMMIT_OFF);
  ASSERT_EQ(SQLGetConnectAttr(dbc, SQL_ATTR_ACCESS_MODE, &v, 0, nullptr), SQL_SUCCESS);
  EXPECT_EQ(v, SQL_MODE_READ_ONLY);
  SQLDisconnect(dbc);

  // A fresh handle that set nothing leaves the agent's default alone.
  SQLHDBC d = ct::NewDbc(env);
  fake::Reset();
  fake::SetInfo(INFO_CAPS_MASK, CAP_AUTOCOMMIT);
  ASSERT_EQ(Connect(d), SQL_SUCCESS);
  EXPECT_EQ(Position(SLOT_DRV_SetInfo, "0x22030000=0"), -1);
  EXPECT_EQ(Position(SLOT_DRV_SetInfo, "0x22030000=1"), -1);
  ASSERT_EQ(SQLGetConnectAttr(d, SQL_ATTR_AUTOCOMMIT, &v, 0, nullptr), SQL_SUCCESS);
  EXPECT_EQ(v, SQL_AUTOCOMMIT_ON);
}

TEST_F(ConnOpenTest, AConnectThatCannotTurnAutocommitOffIsNotHandedOut) {
  ASSERT_EQ(SQLSetConnectAttr(dbc, SQL_ATTR_AUTOCOMMIT, (SQLPOINTER)SQL_AUTOCOMMIT_OFF, 0), SQL_SUCCESS);
  // The agent takes the ODBC version but refuses autocommit off.
  fake::Script(SLOT_DRV_SetInfo).queue = {0, E_S1C00};
  EXPECT_EQ(Connect(dbc), SQL_ERROR);
  Conn *c = ConnOf(dbc);
  EXPECT_EQ(c->state, CONN_ALLOCATED);
  EXPECT_EQ(c->agentConn, 0u);
  EXPECT_EQ(fake::LiveConnections(), 0);
  EXPECT_EQ(fake::LiveServers(), 0);
  EXPECT_EQ(Diags(SQL_HANDLE_DBC, dbc).at(0).state, "HYC00");
}

TEST_F(ConnOpenTest, TheRequestCarriesHostPortDefaultsAndNoWideMarkerForNarrowCalls) {
  struct HostCase {
    const char *host, *port, *expected;
  } cases[] = {
      {"db", "1521", "db:1521"}, {"db", "0", "db"},   {"db", "65536", "db"}, {"db", "15x", "db"},
      {"db", "", "db"},          {"db", nullptr, "db"}, {nullptr, "1521", "(null)"},  // the fake shows null so
  };
  for (const HostCase &c : cases) {
    Conn *conn = ConnOf(dbc);
    conn->dbHost = c.host ? strdup(c.host) : nullptr;
    conn->port = c.port ? strdup(c.port) : nullptr;
    ConnOpen(conn, 'A');
    ASSERT_EQ(conn->state, CONN_CONNECTED);
    auto req = fake::LastConnect();
    EXPECT_EQ(req->host, c.expected);
    EXPECT_EQ(req->dataSource, "Default");  // no data source name
    EXPECT_EQ(req->user, "");
    EXPECT_EQ(req->password, "");
    EXPECT_FALSE(req->hasServerOptions);
    EXPECT_EQ(req->reserved, 0);
    EXPECT_EQ(req->flag40, 0);
    // A second open of a connected connection is refused and changes nothing.
    ConnOpen(conn, 'A');
    EXPECT_EQ(conn->pending, E_S1010);
    EXPECT_EQ(conn->state, CONN_CONNECTED);
    EXPECT_EQ(SQLDisconnect(dbc), SQL_SUCCESS);
    ConnFreeStrings(conn);
  }
}

TEST_F(ConnOpenTest, AServerContextTheAgentCannotMakeFailsTheConnect) {
  fake::Script(SLOT_DRV_Init).result = E_S1001;
  EXPECT_EQ(Connect(dbc), SQL_ERROR);
  auto d = Diags(SQL_HANDLE_DBC, dbc);
  ASSERT_EQ(d.size(), 1u);
  EXPECT_NE(d[0].message.find("Unable to allocate server handle"), std::string::npos);
  EXPECT_EQ(ConnOf(dbc)->pending, E_08004);
  EXPECT_EQ(fake::CallCount(SLOT_DRV_Connect), 0);
}

TEST_F(ConnOpenTest, DisconnectFreesStatementsAndDescriptors) {
  EXPECT_EQ(SQLDisconnect(dbc), SQL_ERROR);
  EXPECT_EQ(Diags(SQL_HANDLE_DBC, dbc).at(0).state, "08003");
  ASSERT_EQ(Connect(dbc), SQL_SUCCESS);
  SQLHSTMT stmt = SQL_NULL_HSTMT;
  SQLHDESC desc = SQL_NULL_HDESC;
  ASSERT_EQ(SQLAllocHandle(SQL_HANDLE_STMT, dbc, &stmt), SQL_SUCCESS);
  ASSERT_EQ(SQLAllocHandle(SQL_HANDLE_DESC, dbc, &desc), SQL_SUCCESS);
  EXPECT_EQ(fake::LiveCursors(), 1);

  // The agent refusing the disconnect keeps everything but the statements.
  fake::Script(SLOT_DRV_Disconnect).queue = {E_S1000};
  fake::Script(SLOT_DRV_Disconnect).messages = {{fake::OraText("ORA-02089: busy", "S1000"), 2089}};
  EXPECT_EQ(SQLDisconnect(dbc), SQL_ERROR);
  EXPECT_EQ(ConnOf(dbc)->state, CONN_CONNECTED);
  auto d = Diags(SQL_HANDLE_DBC, dbc);
  ASSERT_EQ(d.size(), 1u);
  EXPECT_EQ(d[0].native, 2089);

  EXPECT_EQ(SQLDisconnect(dbc), SQL_SUCCESS);
  EXPECT_EQ(ConnOf(dbc)->state, CONN_ALLOCATED);
  EXPECT_EQ(SQLFreeHandle(SQL_HANDLE_STMT, stmt), SQL_INVALID_HANDLE);
  EXPECT_EQ(SQLFreeHandle(SQL_HANDLE_DESC, desc), SQL_INVALID_HANDLE);
  EXPECT_EQ(fake::LiveCursors(), 0);
  EXPECT_EQ(fake::LiveConnections(), 0);
  EXPECT_EQ(fake::LiveServers(), 0);
}

TEST_F(ConnOpenTest, CommitAndRollbackOfOneConnection) {
  EXPECT_EQ(SQLEndTran(SQL_HANDLE_DBC, dbc, SQL_COMMIT), SQL_ERROR);
  EXPECT_EQ(Diags(SQL_HANDLE_DBC, dbc).at(0).state, "08003");
  ASSERT_EQ(Connect(dbc), SQL_SUCCESS);
  EXPECT_EQ(SQLEndTran(SQL_HANDLE_DBC, dbc, SQL_COMMIT), SQL_SUCCESS);
  EXPECT_EQ(SQLTransact(SQL_NULL_HENV, dbc, SQL_ROLLBACK), SQL_SUCCESS);
  EXPECT_EQ(fake::CallCount(SLOT_DRV_Commit), 1);
  EXPECT_EQ(fake::CallCount(SLOT_DRV_Rollback), 1);
  EXPECT_EQ(SQLTransact(SQL_NULL_HENV, dbc, 2), SQL_ERROR);
  EXPECT_EQ(Diags(SQL_HANDLE_DBC, dbc).at(0).state, "HY012");
  fake::Script(SLOT_DRV_Rollback).result = E_25S01;
  fake::Script(SLOT_DRV_Rollback).messages = {{fake::OraText("ORA-01453: no rollback", "25S01"), 1453}};
  EXPECT_EQ(SQLEndTran(SQL_HANDLE_DBC, dbc, SQL_ROLLBACK), SQL_ERROR);
  auto d = Diags(SQL_HANDLE_DBC, dbc);
  ASSERT_EQ(d.size(), 1u);
  EXPECT_EQ(d[0].state, "25S01");
  EXPECT_EQ(d[0].native, 1453);
}

TEST_F(ConnOpenTest, EnvironmentWideCommitReportsTheFailureOnTheEnvironment) {
  SQLHDBC conns[3] = {dbc, ct::NewDbc(env), ct::NewDbc(env)};
  for (SQLHDBC c : conns) ASSERT_EQ(Connect(c), SQL_SUCCESS);
  for (SQLHDBC c : conns) ConnOf(c)->pending = E_01004;  // earlier diagnostics of each
  // Connections are committed newest first (list order); the second fails.
  fake::Script(SLOT_DRV_Commit).queue = {0, E_40001, 0};
  EXPECT_EQ(SQLEndTran(SQL_HANDLE_ENV, env, SQL_COMMIT), SQL_ERROR);
  EXPECT_EQ(Diags(SQL_HANDLE_ENV, env).at(0).state, "40001");
  for (SQLHDBC c : conns) EXPECT_EQ(ConnOf(c)->pending, E_01004);
  EXPECT_EQ(fake::CallCount(SLOT_DRV_Commit), 3);

  EXPECT_EQ(SQLEndTran(SQL_HANDLE_ENV, env, SQL_ROLLBACK), SQL_SUCCESS);
  // An unconnected connection fails the environment's commit with 08003.
  ct::NewDbc(env);
  EXPECT_EQ(SQLTransact(env, SQL_NULL_HDBC, SQL_COMMIT), SQL_ERROR);
  EXPECT_EQ(Diags(SQL_HANDLE_ENV, env).at(0).state, "08003");
  // A connection with a call in progress: S1010 and nothing committed.
  const int before = fake::CallCount(SLOT_DRV_Commit);
  ConnOf(conns[1])->busy = ConnOf(conns[1]);
  EXPECT_EQ(SQLEndTran(SQL_HANDLE_ENV, env, SQL_COMMIT), SQL_ERROR);
  EXPECT_EQ(Diags(SQL_HANDLE_ENV, env).at(0).state, "HY010");
  EXPECT_EQ(fake::CallCount(SLOT_DRV_Commit), before);
  ConnOf(conns[1])->busy = nullptr;
}

// A scripted distributed-transaction layer: a dispenser that a transaction
// still holds when the connection closes.
bool g_held;
int g_releases;
COdbcResourceDispenser *const kDispenser = reinterpret_cast<COdbcResourceDispenser *>(0x1234);
int32_t ReleaseStub(COdbcResourceDispenser *) { return ++g_releases, 0; }
bool HeldStub(COdbcResourceDispenser *) { return g_held; }

// The close is refused while the coordinator holds the dispenser, and the
// enlistment stays: the coordinator's outcome still reaches the connection.
TEST_F(ConnOpenTest, ClosingWhileADtcTransactionHoldsTheConnectionGives25000) {
  g_dtcService.releaseDispenser = ReleaseStub;
  g_dtcService.dispenserHeld = HeldStub;
  ASSERT_EQ(Connect(dbc), SQL_SUCCESS);
  g_held = true;
  g_releases = 0;
  ConnOf(dbc)->dtcDispenser = kDispenser;
  ConnOf(dbc)->dtcEnlisted = 1;
  for (int i = 0; i < 2; ++i) {
    EXPECT_EQ(SQLDisconnect(dbc), SQL_ERROR);
    EXPECT_EQ(Diags(SQL_HANDLE_DBC, dbc).at(0).state, "25000");
    EXPECT_EQ(ConnOf(dbc)->dtcDispenser, kDispenser);
    EXPECT_EQ(ConnOf(dbc)->state, CONN_CONNECTED);
  }
  EXPECT_EQ(g_releases, 0);
  g_held = false;  // the transaction let it go
  EXPECT_EQ(SQLDisconnect(dbc), SQL_SUCCESS);
  EXPECT_EQ(g_releases, 1);
  EXPECT_EQ(ConnOf(dbc)->dtcDispenser, nullptr);
}

}  // namespace
