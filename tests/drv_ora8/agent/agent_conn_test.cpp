// The agent's server context, connect and disconnect, error lists and
// transaction control against the OCI stand-in.
#include <cstdlib>
#include <cstring>
#include <string>

#include "agent_fixture.h"
#include "odbc/dataset.h"
#include "variant.h"
#include "xa/xaw.h"

using namespace agent_test;

namespace {

using ConnTest = AgentTest;

TEST_F(ConnTest, SecondInitSharesTheContextAndOnlyTheLastTermEndsIt) {
  DrvInitReq init{"", ""};
  DrvHandle second = 0;
  ASSERT_EQ(0, DrvCall<&DrvOps::DRV_Init>(&drv, &init, &second));
  EXPECT_EQ(server, second);
  EXPECT_EQ(kDrvTagServer, DrvHandleTag(server));

  DrvHandle conn = ConnectScott();
  EXPECT_EQ(0, DrvCall<&DrvOps::DRV_Term>(&drv, second));
  // One reference left: the context and its connections live on.
  EXPECT_EQ(0, DrvCall<&DrvOps::DRV_Commit>(&drv, conn));
  Disconnect(conn);

  EXPECT_EQ(0, DrvCall<&DrvOps::DRV_Term>(&drv, server));
  EXPECT_EQ(E_S1009, DrvCall<&DrvOps::DRV_Term>(&drv, server));
  EXPECT_EQ(nullptr, Agent_Server(server));
  server = 0;
}

TEST_F(ConnTest, ConnectsAndDisconnectsThroughOCI) {
  DrvHandle conn = 0;
  ASSERT_EQ(0, Connect(Scott(), &conn));
  EXPECT_EQ(kDrvTagConn, DrvHandleTag(conn));
  EXPECT_EQ(1u, ocilite_test_calls(OCILITE_T_SESSION_BEGIN));
  AgentConn *c = Agent_Conn(conn);
  ASSERT_NE(nullptr, c);
  EXPECT_STREQ("11.02.0004", c->version);
  EXPECT_EQ(11, c->verMajor);
  EXPECT_EQ(2, c->verMinor);
  EXPECT_EQ(2, c->isolation);
  EXPECT_EQ(1, c->autocommit);
  EXPECT_STREQ(dir.c_str(), c->dbString);
  Disconnect(conn);
  EXPECT_EQ(1u, ocilite_test_calls(OCILITE_T_SESSION_END));
  EXPECT_EQ(nullptr, Agent_Conn(conn));
  EXPECT_EQ(E_S1009, DrvCall<&DrvOps::DRV_Disconnect>(&drv, conn));
}

TEST_F(ConnTest, WrongPasswordLeavesOra01017OnTheServerContext) {
  ConnArgs r = Scott();
  r.password = "TIGER";  // passwords are case-sensitive
  DrvHandle conn = 77;
  EXPECT_EQ(E_08004, Connect(r, &conn));
  EXPECT_EQ(0u, conn);
  Msgs m = TakeErrors(drv, server);
  EXPECT_EQ(0, m.rc);
  EXPECT_EQ(1017u, m.native);
  ASSERT_EQ(1u, m.texts.size());
  EXPECT_EQ("[Oracle Server]ORA-01017: invalid username/password; logon denied[SQLSTATE:28000]", m.texts[0]);
  // Read once.
  m = TakeErrors(drv, server);
  EXPECT_EQ(0, m.rc);
  EXPECT_TRUE(m.texts.empty());
}

TEST_F(ConnTest, UnknownDatabaseFailsTheAttach) {
  ConnArgs r = Scott();
  r.dbOptions = dir + "/nowhere";
  DrvHandle conn = 0;
  EXPECT_EQ(E_08004, Connect(r, &conn));
  Msgs m = TakeErrors(drv, server);
  ASSERT_EQ(1u, m.texts.size());
  EXPECT_EQ(12154u, m.native);
  EXPECT_EQ(0u, ocilite_test_calls(OCILITE_T_SESSION_BEGIN));
}

TEST_F(ConnTest, LogonWithAWarningSucceedsAndKeepsItsRecords) {
  char msg[256];
  ASSERT_EQ(0, ocilite_user_flags(dir.c_str(), "scott", OCILITE_USER_EXPIRE_GRACE, msg, sizeof msg)) << msg;
  DrvHandle conn = 0;
  ASSERT_EQ(0, Connect(Scott(), &conn));
  // Nothing on the server context: the connect did not fail.
  EXPECT_TRUE(TakeErrors(drv, server).texts.empty());
  Msgs m = TakeErrors(drv, conn);
  EXPECT_EQ(28002u, m.native);
  ASSERT_EQ(1u, m.texts.size());
  EXPECT_EQ("[Oracle Server]ORA-28002: the password will expire within 7 days[SQLSTATE:S1000]", m.texts[0]);
  EXPECT_EQ(0, DrvCall<&DrvOps::DRV_Commit>(&drv, conn));
  Disconnect(conn);
}

TEST_F(ConnTest, InjectedLogonWarningIsSuccess) {
  ocilite_test_fault(OCILITE_T_SESSION_BEGIN, 1, 1, 28011, 1, nullptr);
  DrvHandle conn = 0;
  ASSERT_EQ(0, Connect(Scott(), &conn));
  Msgs m = TakeErrors(drv, conn);
  EXPECT_EQ(28011u, m.native);
  EXPECT_EQ(1u, m.texts.size());
  Disconnect(conn);
}

TEST_F(ConnTest, UserTextWithPasswordAndAliasKeepsTheFieldsApart) {
  ConnArgs r;
  r.user = "scott/tiger@" + dir;
  r.password = "";
  r.dbOptions = "";
  DrvHandle conn = 0;
  ASSERT_EQ(0, Connect(r, &conn));
  AgentConn *c = Agent_Conn(conn);
  EXPECT_STREQ("scott", c->user);
  EXPECT_STREQ("tiger", c->password);
  EXPECT_STREQ(dir.c_str(), c->dbString);
  EXPECT_STREQ("", c->dbOptions);
  // The user name alone, upper-cased in the answer only.
  EXPECT_EQ("SCOTT", InfoText(conn, InfoGetInfoStr(SQL_USER_NAME)));
  EXPECT_STREQ("scott", c->user);
  Disconnect(conn);
}

TEST_F(ConnTest, UserTextWithAliasOnlyUsesTheRequestPassword) {
  ConnArgs r;
  r.user = "hr@" + dir;
  r.password = "Secret1";
  DrvHandle conn = 0;
  ASSERT_EQ(0, Connect(r, &conn));
  EXPECT_STREQ("Secret1", Agent_Conn(conn)->password);
  EXPECT_EQ("HR", InfoText(conn, InfoGetInfoStr(SQL_USER_NAME)));
  Disconnect(conn);
}

TEST_F(ConnTest, MissingPasswordSendsOneBlank) {
  char msg[256];
  ASSERT_EQ(0, ocilite_user_create(dir.c_str(), "blank", " ", msg, sizeof msg)) << msg;
  for (bool nullPassword : {true, false}) {
    ConnArgs r;
    r.user = "blank";
    r.dbOptions = dir;
    r.nullPassword = nullPassword;
    DrvHandle conn = 0;
    ASSERT_EQ(0, Connect(r, &conn)) << nullPassword;
    EXPECT_STREQ(" ", Agent_Conn(conn)->password);
    Disconnect(conn);
  }
}

TEST_F(ConnTest, DatabasePathBecomesOracleSid) {
  ConnArgs r = Scott();
  r.dbPath = "KVDTEST";
  DrvHandle conn = 0;
  ASSERT_EQ(0, Connect(r, &conn));
  ASSERT_NE(nullptr, getenv("ORACLE_SID"));
  EXPECT_STREQ("KVDTEST", getenv("ORACLE_SID"));
  EXPECT_STREQ("KVDTEST", Agent_Conn(conn)->dbPath);
  Disconnect(conn);
}

TEST_F(ConnTest, CommitAndRollbackReachOCI) {
  DrvHandle conn = ConnectScott();
  unsigned commits = ocilite_test_calls(OCILITE_T_COMMIT);
  EXPECT_EQ(0, DrvCall<&DrvOps::DRV_Commit>(&drv, conn));
  EXPECT_EQ(commits + 1, ocilite_test_calls(OCILITE_T_COMMIT));
  // Autocommit on: nothing to roll back, a success with nothing sent.
  unsigned rollbacks = ocilite_test_calls(OCILITE_T_ROLLBACK);
  EXPECT_EQ(0, DrvCall<&DrvOps::DRV_Rollback>(&drv, conn));
  EXPECT_EQ(rollbacks, ocilite_test_calls(OCILITE_T_ROLLBACK));
  EXPECT_EQ(0u, TakeErrors(drv, conn).texts.size());
  // Autocommit off rolls back once; then rollback reaches OCI.
  EXPECT_EQ(0, SetInt(conn, INFO_AUTOCOMMIT, 0));
  EXPECT_EQ(rollbacks + 1, ocilite_test_calls(OCILITE_T_ROLLBACK));
  EXPECT_EQ(0, DrvCall<&DrvOps::DRV_Rollback>(&drv, conn));
  EXPECT_EQ(rollbacks + 2, ocilite_test_calls(OCILITE_T_ROLLBACK));
  EXPECT_EQ(0, InfoInt(conn, INFO_AUTOCOMMIT));
  // Back on commits.
  EXPECT_EQ(0, SetInt(conn, INFO_AUTOCOMMIT, 1));
  EXPECT_EQ(commits + 2, ocilite_test_calls(OCILITE_T_COMMIT));
  Disconnect(conn);
}

TEST_F(ConnTest, NoAutocommitConnectionStartsWithAutocommitOff) {
  g_agentOptions.noAutocommit = 1;
  DrvHandle conn = ConnectScott();
  EXPECT_EQ(0, InfoInt(conn, INFO_AUTOCOMMIT));
  unsigned rollbacks = ocilite_test_calls(OCILITE_T_ROLLBACK);
  EXPECT_EQ(0, DrvCall<&DrvOps::DRV_Rollback>(&drv, conn));
  EXPECT_EQ(rollbacks + 1, ocilite_test_calls(OCILITE_T_ROLLBACK));
  Disconnect(conn);
}

TEST_F(ConnTest, ReadOnlyConnectionSendsNoTransactionControl) {
  ConnArgs r = Scott();
  r.readOnly = 1;
  DrvHandle conn = 0;
  ASSERT_EQ(0, Connect(r, &conn));
  unsigned commits = ocilite_test_calls(OCILITE_T_COMMIT);
  EXPECT_EQ(0, DrvCall<&DrvOps::DRV_Commit>(&drv, conn));
  EXPECT_EQ(0, DrvCall<&DrvOps::DRV_Rollback>(&drv, conn));
  EXPECT_EQ(commits, ocilite_test_calls(OCILITE_T_COMMIT));
  EXPECT_EQ("Y", InfoText(conn, InfoGetInfoStr(SQL_DATA_SOURCE_READ_ONLY)));
  Disconnect(conn);
}

TEST_F(ConnTest, SerializableIsolationStartsASerializableTransaction) {
  DrvHandle conn = ConnectScott();
  EXPECT_EQ(E_S1C00, SetInt(conn, INFO_ISOLATION, 4));
  EXPECT_EQ(0, SetInt(conn, INFO_ISOLATION, 8));
  EXPECT_EQ(8, InfoInt(conn, INFO_ISOLATION));
  AgentConn *c = Agent_Conn(conn);
  unsigned starts = ocilite_test_calls(OCILITE_T_TRANS_START);
  EXPECT_EQ(0, AgentConn_TxnControl(c, TXN_BEGIN));
  EXPECT_EQ(0, AgentConn_TxnControl(c, TXN_BEGIN));  // already started
  EXPECT_EQ(starts + 1, ocilite_test_calls(OCILITE_T_TRANS_START));
  EXPECT_EQ(0, DrvCall<&DrvOps::DRV_Commit>(&drv, conn));
  EXPECT_EQ(0, AgentConn_TxnControl(c, TXN_BEGIN));
  EXPECT_EQ(starts + 2, ocilite_test_calls(OCILITE_T_TRANS_START));
  Disconnect(conn);
}

TEST_F(ConnTest, FailedCommitLeavesOnlyTheLastErrorsOnTheConnection) {
  DrvHandle conn = ConnectScott();
  ocilite_test_fault(OCILITE_T_COMMIT, 1, 1, 3113, 0, nullptr);
  EXPECT_EQ(E_S1000, DrvCall<&DrvOps::DRV_Commit>(&drv, conn));
  ocilite_test_fault(OCILITE_T_COMMIT, 1, 1, 942, 0, nullptr);
  EXPECT_EQ(E_S1000, DrvCall<&DrvOps::DRV_Commit>(&drv, conn));
  Msgs m = TakeErrors(drv, conn);
  EXPECT_EQ(942u, m.native);
  ASSERT_EQ(1u, m.texts.size());
  EXPECT_EQ("[Oracle Server]ORA-00942: table or view does not exist[SQLSTATE:42S02]", m.texts[0]);
  Disconnect(conn);
}

TEST_F(ConnTest, ConnectWhoseInitialCommitFailsReportsItOnTheServerContext) {
  ocilite_test_fault(OCILITE_T_COMMIT, 1, 1, 3113, 0, nullptr);
  DrvHandle conn = 0;
  EXPECT_EQ(E_S1000, Connect(Scott(), &conn));
  EXPECT_EQ(0u, conn);
  Msgs m = TakeErrors(drv, server);
  EXPECT_EQ(3113u, m.native);
  EXPECT_EQ(1u, m.texts.size());
  // The session that was opened is closed again.
  EXPECT_EQ(1u, ocilite_test_calls(OCILITE_T_SESSION_END));
}

TEST_F(ConnTest, SavepointsRunOnTheConnection) {
  g_agentOptions.noAutocommit = 1;
  DrvHandle conn = ConnectScott();
  unsigned executes = ocilite_test_calls(OCILITE_T_EXECUTE);
  EXPECT_EQ(0, DrvCall<&DrvOps::DRV_Savepoint>(&drv, conn, 2, "SP1"));
  EXPECT_EQ(executes, ocilite_test_calls(OCILITE_T_EXECUTE));
  EXPECT_EQ(0, DrvCall<&DrvOps::DRV_Savepoint>(&drv, conn, 0, "SP1"));
  EXPECT_EQ(0, DrvCall<&DrvOps::DRV_Savepoint>(&drv, conn, 1, "SP1"));
  EXPECT_EQ(E_S1009, DrvCall<&DrvOps::DRV_Savepoint>(&drv, conn, 3, "SP1"));
  // A failing statement leaves its Oracle error on the connection.
  EXPECT_NE(0, DrvCall<&DrvOps::DRV_Savepoint>(&drv, conn, 1, "NEVER_SET"));
  Msgs m = TakeErrors(drv, conn);
  ASSERT_EQ(1u, m.texts.size());
  EXPECT_NE(0u, m.native);
  EXPECT_EQ(0u, m.texts[0].rfind("[Oracle Server]ORA-", 0)) << m.texts[0];
  Disconnect(conn);
}

TEST_F(ConnTest, ErrorListsHandUpEveryRecordInOrderOnce) {
  DrvHandle conn = ConnectScott();
  AgentConn *c = Agent_Conn(conn);
  ErrList_PushCode(&c->errs, E_S1000);
  c->errs.keep = 1;
  ErrList_PushCode(&c->errs, E_IM501);
  ErrList_PushCode(&c->errs, E_25S01);
  c->errs.keep = 0;
  c->errs.first->native = 60;
  Msgs m = TakeErrors(drv, conn);
  EXPECT_EQ(60u, m.native);
  ASSERT_EQ(3u, m.texts.size());
  EXPECT_EQ("[Oracle Server]General error[SQLSTATE:S1000]", m.texts[0]);
  EXPECT_EQ("[Oracle Server]Failover aborted.[SQLSTATE:IM501]", m.texts[1]);
  EXPECT_EQ("[Oracle Server]Transaction state[SQLSTATE:25S01]", m.texts[2]);
  m = TakeErrors(drv, conn);
  EXPECT_EQ(0, m.rc);
  EXPECT_TRUE(m.texts.empty());
  // Only OCI_ERROR copies OCI's records: another failing status adds none
  // and still reports the failure.
  ErrList_PushCode(&c->errs, E_25S01);
  EXPECT_EQ(E_S1000, db_OciFail(OCI_INVALID_HANDLE, &c->errs, c->dbConn->err));
  m = TakeErrors(drv, conn);
  ASSERT_EQ(1u, m.texts.size());
  EXPECT_EQ("[Oracle Server]Transaction state[SQLSTATE:25S01]", m.texts[0]);
  // A push without the keep flag replaces what the list held.
  ErrList_PushCode(&c->errs, E_S1000);
  ErrList_PushCode(&c->errs, E_25S01);
  EXPECT_EQ(1u, TakeErrors(drv, conn).texts.size());
  Disconnect(conn);
}

TEST_F(ConnTest, OracleErrorsMapToTheirSqlStates) {
  // ODBC 2 forms: the front end turns 37000 and 22005 into 42000 and 22018
  // for ODBC 3 applications. Ranges are probed at and beside both ends.
  struct Case {
    int32_t ora;
    const char *state;
  } cases[] = {
      {0, ""},          {60, "40001"},    {903, "42S02"},   {904, "42S22"},   {942, "42S02"},
      {955, "42S01"},   {1013, "S1008"},  {1017, "28000"},  {1033, "08001"},  {1034, "08001"},
      {1430, "42S21"},  {1476, "22012"},  {12571, "08S01"}, {28002, "S1000"}, {-1, "S1000"},
      // integrity
      {1, "23000"},     {2, "S1000"},     {1400, "23000"},  {1407, "23000"},  {2289, "S1000"},
      {2290, "23000"},  {2291, "23000"},  {2292, "23000"},  {2293, "S1000"},
      // syntax and access
      {899, "S1000"},   {900, "37000"},   {905, "37000"},   {933, "37000"},   {999, "37000"},
      {1000, "S1000"},  {1031, "37000"},
      // data
      {1401, "22001"},  {12899, "22001"}, {1426, "22003"},  {1438, "22003"},  {1455, "22003"},
      {1722, "22005"},  {1829, "S1000"},  {1830, "22008"},  {1861, "22008"},  {1899, "22008"},
      {1900, "S1000"},
      // transactions and connects
      {8177, "40001"},  {12154, "08001"}, {12514, "08001"}, {12541, "08001"}, {12545, "08001"},
  };
  for (const Case &c : cases) EXPECT_STREQ(c.state, OraErrToState(c.ora)) << c.ora;
  EXPECT_EQ(7, OraErrToCode(4711, 7));
}

TEST_F(ConnTest, HandlesOfAnotherKindAreRefused) {
  DrvHandle conn = ConnectScott();
  EXPECT_EQ(E_S1009, DrvCall<&DrvOps::DRV_Commit>(&drv, server));
  EXPECT_EQ(E_S1009, DrvCall<&DrvOps::DRV_Rollback>(&drv, server));
  EXPECT_EQ(E_S1009, DrvCall<&DrvOps::DRV_Disconnect>(&drv, server));
  EXPECT_EQ(E_S1009, DrvCall<&DrvOps::DRV_Term>(&drv, conn));
  DrvHandle other = 0;
  ConnectReq req = Scott().Make();
  EXPECT_EQ(E_S1009, DrvCall<&DrvOps::DRV_Connect>(&drv, conn, &req, &other));
  int32_t rc = 0;
  InfoInt(server, INFO_CAPS_MASK, &rc);
  EXPECT_EQ(E_S1009, rc);
  OpTableReq op{1, 0, nullptr};
  EXPECT_EQ(E_S1009, DrvCall<&DrvOps::DRV_GetOpTable>(&drv, server, &op));
  Disconnect(conn);
}

TEST_F(ConnTest, PooledConnectionsShareOnePoolPerConnectString) {
  g_agentOptions.poolMin = 1;
  g_agentOptions.poolMax = 4;
  g_agentOptions.poolIncr = 1;
  DrvHandle a = ConnectScott();
  ConnArgs r;
  r.user = "hr";
  r.password = "Secret1";
  r.dbOptions = dir;
  g_agentOptions.poolMin = 1;
  DrvHandle b = 0;
  ASSERT_EQ(0, Connect(r, &b));
  EXPECT_EQ(1u, ocilite_test_calls(OCILITE_T_CPOOL_CREATE));
  DB_Conn *da = Agent_Conn(a)->dbConn;
  DB_Conn *db = Agent_Conn(b)->dbConn;
  ASSERT_NE(nullptr, da->pool);
  EXPECT_EQ(da->pool, db->pool);
  EXPECT_EQ(2, da->pool->users);
  Disconnect(a);
  EXPECT_EQ(1, db->pool->users);
  Disconnect(b);
  // The last user destroyed it: the next pooled connect makes a new one.
  DrvHandle c = ConnectScott();
  EXPECT_EQ(2u, ocilite_test_calls(OCILITE_T_CPOOL_CREATE));
  Disconnect(c);
}

TEST_F(ConnTest, PoolGetsTheNoWaitAttributeUnlessWaitIsAsked) {
  for (int wait : {0, 1}) {
    g_agentOptions.poolMin = 1;
    g_agentOptions.poolMax = 2;
    g_agentOptions.poolWait = wait;
    DrvHandle conn = ConnectScott();
    DB_Conn *dbc = Agent_Conn(conn)->dbConn;
    ASSERT_NE(nullptr, dbc->pool);
    ub1 noWait = 7;
    ub4 size = 0;
    ASSERT_EQ(OCI_SUCCESS, OCIAttrGet(dbc->pool->handle, OCI_HTYPE_CPOOL, &noWait, &size, OCI_ATTR_CONN_NOWAIT,
                                      dbc->err->errhp));
    EXPECT_EQ(wait ? 0 : 1, noWait) << wait;
    Disconnect(conn);
  }
}

TEST_F(ConnTest, StatementCacheSizeIsCapped) {
  struct Case {
    int32_t asked;
    ub4 set;
  } cases[] = {{0, 0}, {20, 20}, {256, 256}, {300, 256}};
  for (const Case &c : cases) {
    g_agentOptions.ociStmtCacheSize = c.asked;
    DrvHandle conn = ConnectScott();
    DB_Conn *dbc = Agent_Conn(conn)->dbConn;
    ub4 size = 12345;
    ASSERT_EQ(OCI_SUCCESS,
              OCIAttrGet(dbc->svc, OCI_HTYPE_SVCCTX, &size, nullptr, OCI_ATTR_STMTCACHESIZE, dbc->err->errhp));
    EXPECT_EQ(c.set, size) << c.asked;
    Disconnect(conn);
  }
}

TEST_F(ConnTest, FailoverCallbackIsRegisteredOnlyWithTaf) {
  for (int taf : {0, 1}) {
    g_agentOptions.tafEnable = taf;
    DrvHandle conn = ConnectScott();
    DB_Conn *dbc = Agent_Conn(conn)->dbConn;
    OCIFocbkStruct fo{};
    ASSERT_EQ(OCI_SUCCESS, OCIAttrGet(dbc->srv, OCI_HTYPE_SERVER, &fo, nullptr, OCI_ATTR_FOCBK, dbc->err->errhp));
    if (taf) {
      EXPECT_EQ(&TAF_FailoverCallback, fo.callback_function);
      EXPECT_EQ(dbc, fo.fo_ctx);
    } else {
      EXPECT_EQ(nullptr, fo.callback_function);
    }
    Disconnect(conn);
  }
}

TEST_F(ConnTest, PoolThatCannotBeMadeRefusesTheConnect) {
  g_agentOptions.poolMin = 1;
  g_agentOptions.poolMax = 2;
  ocilite_test_fault(OCILITE_T_CPOOL_CREATE, 1, 1, 12154, 0, nullptr);
  DrvHandle conn = 0;
  EXPECT_EQ(E_08004, Connect(Scott(), &conn));
  EXPECT_EQ(0u, ocilite_test_calls(OCILITE_T_SESSION_BEGIN));
  // OCI's reason goes with the failure.
  Msgs m = TakeErrors(drv, server);
  EXPECT_EQ(12154u, m.native);
  ASSERT_EQ(1u, m.texts.size());
  EXPECT_NE(std::string::npos, m.texts[0].find("ORA-12154")) << m.texts[0];
}

// Leaving an XA transaction replaces the connection's DB_Conn, which its
// cursors pointed into: a prepared cursor keeps its statement, prepared
// again on the new session, and executes; without a reconnect its calls
// answer 08003 and it can still be freed.
TEST_F(ConnTest, CursorsSurviveTheServerConnectionBeingReplaced) {
  for (int reconnect : {1, 0}) {
    SCOPED_TRACE(reconnect);
    DrvHandle conn = ConnectScott();
    DrvHandle cur = 0;
    ASSERT_EQ(0, DrvCall<&DrvOps::DRV_AllocCursor>(&drv, conn, &cur));
    ASSERT_EQ(0, DrvCall<&DrvOps::DRV_Prepare>(&drv, cur, "SELECT 1 FROM DUAL"));
    ASSERT_EQ(0, DB_LeaveXA(Agent_Conn(conn), reconnect));
    if (reconnect) {
      EXPECT_EQ(0, DrvCall<&DrvOps::DRV_Execute>(&drv, cur));
      ASSERT_EQ(0, DrvCall<&DrvOps::DRV_Prepare>(&drv, cur, "SELECT 1 FROM DUAL"));
      EXPECT_EQ(0, DrvCall<&DrvOps::DRV_Execute>(&drv, cur));
    } else {
      EXPECT_EQ(E_08003, DrvCall<&DrvOps::DRV_Execute>(&drv, cur));
      EXPECT_EQ(E_08003, DrvCall<&DrvOps::DRV_Prepare>(&drv, cur, "SELECT 1 FROM DUAL"));
    }
    EXPECT_EQ(0, DrvCall<&DrvOps::DRV_FreeCursor>(&drv, cur));
    if (reconnect) Disconnect(conn);
    else DrvCall<&DrvOps::DRV_Disconnect>(&drv, conn);
  }
}

// An XA open through the table leaves the connection's worker holding the
// XA library's own flags word, for each connection opened, and takes the
// connection into the global transaction until the close.
TEST_F(ConnTest, XaOpenKeepsTheLibraryFlagsInTheWorker) {
  for (int i = 0; i < 2; ++i) {
    SCOPED_TRACE(i);
    DrvHandle conn = ConnectScott();
    ASSERT_EQ(XA_OK, DrvCall<&DrvOps::DRV_XaOpen>(&drv, conn, 1, "", 1 + i, TMNOFLAGS));
    XaWorker *worker = *ORA_XaWorkerOfConn(conn);
    ASSERT_NE(nullptr, worker);
    EXPECT_EQ(xaosw.flags, worker->switchFlags.load());
    EXPECT_EQ(1, xaw_InGlobalTxn(worker));
    EXPECT_EQ(XA_OK, DrvCall<&DrvOps::DRV_XaClose>(&drv, conn, "", 1 + i, TMNOFLAGS));
    EXPECT_EQ(0, xaw_InGlobalTxn(worker));
    Disconnect(conn);
  }
}

// The initial SQL file runs once per connect and its work is committed:
// another connection sees the rows of a two-INSERT block exactly once.
TEST_F(ConnTest, InitialSqlRunsOnceAtConnect) {
  // The single integer a COUNT(*) query answers on a cursor of conn.
  auto count = [&](DrvHandle conn, const char *sql) {
    DrvHandle cur = 0;
    EXPECT_EQ(0, DrvCall<&DrvOps::DRV_AllocCursor>(&drv, conn, &cur));
    EXPECT_EQ(0, DrvCall<&DrvOps::DRV_ExecDirect>(&drv, cur, sql, static_cast<Dataset *>(nullptr), uint16_t{0},
                                                  static_cast<const ParamInfo *>(nullptr)));
    Dataset ds{};
    EXPECT_EQ(0, DrvCall<&DrvOps::DRV_Fetch>(&drv, cur, uint16_t{1}, &ds));
    int32_t n = -1;
    if (ds.rows == 1 && ds.columns == 1 && ds.cols[0].type == VT_SLONG) memcpy(&n, ds.cols[0].values, sizeof n);
    DatasetFree(&ds);
    DrvCall<&DrvOps::DRV_FreeCursor>(&drv, cur);
    return n;
  };
  DrvHandle setup = ConnectScott();
  DrvHandle cur = 0;
  ASSERT_EQ(0, DrvCall<&DrvOps::DRV_AllocCursor>(&drv, setup, &cur));
  ASSERT_EQ(0, DrvCall<&DrvOps::DRV_ExecDirect>(&drv, cur, "CREATE TABLE INIT_T (N NUMBER)", static_cast<Dataset *>(nullptr),
                                                uint16_t{0}, static_cast<const ParamInfo *>(nullptr)));
  DrvCall<&DrvOps::DRV_FreeCursor>(&drv, cur);

  std::string file = std::filesystem::path(dir).parent_path().string() + "/init";
  FILE *f = fopen((file + ".sql").c_str(), "w");
  ASSERT_NE(nullptr, f);
  fputs("BEGIN\n  INSERT INTO INIT_T VALUES (1);\n  INSERT INTO INIT_T VALUES (2);\nEND;\n", f);
  fclose(f);
  g_agentOptions.initSql = strdup(file.c_str());
  DrvHandle conn = ConnectScott();
  EXPECT_EQ(nullptr, g_agentOptions.initSql);  // the connection took the text over
  EXPECT_EQ(2, count(setup, "SELECT COUNT(*) FROM INIT_T"));
  EXPECT_EQ(1, count(setup, "SELECT COUNT(*) FROM INIT_T WHERE N = 2"));
  Disconnect(conn);
  // A file that fails (the block refers to no table) is logged only.
  f = fopen((file + ".sql").c_str(), "w");
  ASSERT_NE(nullptr, f);
  fputs("BEGIN\n  INSERT INTO NO_SUCH_T VALUES (1);\nEND;\n", f);
  fclose(f);
  g_agentOptions.initSql = strdup(file.c_str());
  conn = ConnectScott();
  EXPECT_NE(0u, conn);
  Disconnect(conn);
  // A missing file does not fail the connect either.
  g_agentOptions.initSql = strdup((file + "-missing").c_str());
  conn = ConnectScott();
  EXPECT_NE(0u, conn);
  Disconnect(conn);
  EXPECT_EQ(2, count(setup, "SELECT COUNT(*) FROM INIT_T"));
  Disconnect(setup);
}

TEST_F(ConnTest, ServerVersionTextIsParsed) {
  struct Case {
    const char *text;
    const char *version;
    int major, minor;
  } cases[] = {
      {"Oracle Database 11g Enterprise Edition Release 11.2.0.1.0 - 64bit Production", "11.02.0001", 11, 2},
      {"Oracle9i Release 9.2.0.8.0 - Production", "09.02.0008", 9, 2},
      {"Oracle Database 10g RELEASE 10.1", "10.01.0000", 10, 1},
  };
  for (const Case &c : cases) {
    char out[16];
    uint16_t major = 0, minor = 0;
    EXPECT_EQ(0, db_ParseServerVersion(c.text, out, &major, &minor)) << c.text;
    EXPECT_STREQ(c.version, out);
    EXPECT_EQ(c.major, major);
    EXPECT_EQ(c.minor, minor);
  }
  char out[16];
  uint16_t major = 1, minor = 1;
  EXPECT_EQ(-1, db_ParseServerVersion("no version here", out, &major, &minor));
  EXPECT_STREQ("", out);
}

}  // namespace
