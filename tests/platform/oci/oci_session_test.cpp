// Logon, server version, errors as ORA- records, transactions across two
// sessions, cancel and non-blocking execution, connection pools and the
// test-only fault injection.
#include <atomic>
#include <chrono>
#include <filesystem>
#include <thread>

#include "oci_fixture.h"

using namespace ocitest;

TEST_F(OciTest, LogonChecksUserAndPasswordAgainstTheDatabase) {
  Conn good(db.dir, "scott", "tiger");
  EXPECT_EQ(OCI_SUCCESS, good.logon_status) << errtext(good.err);
  // User names are not case-sensitive, passwords are.
  Conn upper(db.dir, "SCOTT", "tiger");
  EXPECT_EQ(OCI_SUCCESS, upper.logon_status);

  struct Case {
    const char* user;
    const char* password;
  } cases[] = {{"scott", "TIGER"}, {"scott", " "}, {"nobody", "tiger"}, {"", ""}};
  for (const auto& c : cases) {
    Conn bad(db.dir, c.user, c.password);
    EXPECT_EQ(OCI_ERROR, bad.logon_status) << c.user << "/" << c.password;
    EXPECT_EQ("ORA-01017: invalid username/password; logon denied\n", bad.logon_error);
  }
}

TEST_F(OciTest, ConnectIdentifierNamesTheDatabase) {
  // What is not a database says why and names the directory tried.
  std::filesystem::create_directories(db.dir + "/empty");
  const struct {
    std::string id, why;
  } missing_cases[] = {
      {db.dir + "/missing", "database directory " + db.dir + "/missing does not exist"},
      {db.dir + "/empty", "directory " + db.dir + "/empty holds no database (no ocilite_catalog.db)"},
  };
  for (const auto& c : missing_cases) {
    Conn missing(c.id, "scott", "tiger");
    EXPECT_EQ(OCI_ERROR, missing.logon_status);
    EXPECT_EQ("ORA-12154: TNS:could not resolve the connect identifier specified: " + c.why + "\n",
              missing.logon_error);
  }
  // The catalog file names its database as well as the directory does.
  Conn by_file(db.dir + "/ocilite_catalog.db", "scott", "tiger");
  EXPECT_TRUE(by_file.ok()) << by_file.logon_error;
  // An empty identifier means the default database.
  setenv("OCILITE_DEFAULT_DB", db.dir.c_str(), 1);
  Conn by_default("", "scott", "tiger");
  EXPECT_TRUE(by_default.ok()) << by_default.logon_error;
  unsetenv("OCILITE_DEFAULT_DB");
}

TEST_F(OciTest, AccountStatesGiveOracleLogonErrorsAndWarnings) {
  char msg[256];
  ASSERT_EQ(0, ocilite_user_flags(db.dir.c_str(), "hr", OCILITE_USER_EXPIRE_GRACE, msg, sizeof msg));
  Conn grace(db.dir, "hr", "Secret1");
  EXPECT_EQ(OCI_SUCCESS_WITH_INFO, grace.logon_status);
  EXPECT_EQ(0u, grace.logon_error.find("ORA-28002: the password will expire within"));
  EXPECT_EQ("1", grace.scalar("select 1 from dual"));  // the session works

  ASSERT_EQ(0, ocilite_user_flags(db.dir.c_str(), "hr", OCILITE_USER_LOCKED, msg, sizeof msg));
  Conn locked(db.dir, "hr", "Secret1");
  EXPECT_EQ(OCI_ERROR, locked.logon_status);
  EXPECT_EQ(0u, locked.logon_error.find("ORA-28000:"));
}

TEST_F(OciTest, ServerVersionNamesTheOracleRelease) {
  Conn c(db.dir, "scott", "tiger");
  OraText buf[256];
  ASSERT_EQ(OCI_SUCCESS, OCIServerVersion(c.svc, c.err, buf, sizeof buf, OCI_HTYPE_SVCCTX));
  EXPECT_NE(nullptr, std::strstr(reinterpret_cast<char*>(buf), "Release 11.2.0.4.0"));
  // A short buffer gets a terminated prefix.
  OraText small[8];
  ASSERT_EQ(OCI_SUCCESS, OCIServerVersion(c.srv, c.err, small, sizeof small, OCI_HTYPE_SERVER));
  EXPECT_EQ(7u, std::strlen(reinterpret_cast<char*>(small)));
}

TEST_F(OciTest, ErrorRecordsAreOraTextsEndingInNewline) {
  Conn c(db.dir, "scott", "tiger");
  EXPECT_EQ(OCI_ERROR, c.exec("select * from no_such_table"));
  sb4 code = 0;
  EXPECT_EQ("ORA-00942: table or view does not exist\n", errtext(c.err, 1, &code));
  EXPECT_EQ(942, code);
  OraText buf[64];
  EXPECT_EQ(OCI_NO_DATA, OCIErrorGet(c.err, 2, nullptr, &code, buf, sizeof buf, OCI_HTYPE_ERROR));
  // A small buffer is cut and terminated; the next successful call clears the handle.
  OraText tiny[10];
  ASSERT_EQ(OCI_SUCCESS, OCIErrorGet(c.err, 1, nullptr, &code, tiny, sizeof tiny, OCI_HTYPE_ERROR));
  EXPECT_STREQ("ORA-00942", reinterpret_cast<char*>(tiny));
  c.run("create table t (a number)");
  EXPECT_EQ(OCI_NO_DATA, OCIErrorGet(c.err, 1, nullptr, &code, buf, sizeof buf, OCI_HTYPE_ERROR));
}

TEST_F(OciTest, SqlErrorsMapToOracleNumbers) {
  Conn c(db.dir, "scott", "tiger");
  c.run("create table t (id number(5) primary key, name varchar2(10) not null)");
  c.run("insert into t values (1, 'a')");
  struct Case {
    const char* sql;
    int code;
  } cases[] = {
      {"insert into t values (1, 'b')", 1},
      {"insert into t values (2, null)", 1400},
      {"create table t (x number)", 955},
      {"select nosuch from t", 904},
  };
  for (const auto& k : cases) {
    EXPECT_EQ(OCI_ERROR, c.exec(k.sql)) << k.sql;
    EXPECT_EQ(k.code, errcode(c.err)) << k.sql << ": " << errtext(c.err);
  }
}

TEST_F(OciTest, OtherSchemasAreReachableByOwnerName) {
  Conn scott(db.dir, "scott", "tiger");
  scott.run("create table dept (deptno number(2), dname varchar2(14))");
  scott.run("insert into dept values (10, 'ACCOUNTING')");
  ASSERT_EQ(OCI_SUCCESS, scott.exec("commit"));
  EXPECT_EQ("ACCOUNTING", scott.scalar("select dname from scott.dept"));
  Conn hr(db.dir, "hr", "Secret1");
  EXPECT_EQ("ACCOUNTING", hr.scalar("select dname from SCOTT.DEPT where deptno = 10"));
  EXPECT_EQ("HR", hr.scalar("select user from dual"));
}

TEST_F(OciTest, UncommittedChangesStayInTheirSession) {
  Conn a(db.dir, "scott", "tiger");
  Conn b(db.dir, "scott", "tiger");
  a.run("create table t (n number)");
  a.run("insert into t values (1)");
  EXPECT_EQ("1", a.scalar("select count(*) from t"));
  EXPECT_EQ("0", b.scalar("select count(*) from t"));
  ASSERT_EQ(OCI_SUCCESS, OCITransCommit(a.svc, a.err, OCI_DEFAULT));
  EXPECT_EQ("1", b.scalar("select count(*) from t"));

  a.run("insert into t values (2)");
  ASSERT_EQ(OCI_SUCCESS, OCITransRollback(a.svc, a.err, OCI_DEFAULT));
  EXPECT_EQ("1", a.scalar("select count(*) from t"));

  // Commit on success, and DDL commits what is pending.
  ASSERT_EQ(OCI_SUCCESS, a.exec("insert into t values (3)", OCI_COMMIT_ON_SUCCESS));
  EXPECT_EQ("2", b.scalar("select count(*) from t"));
  a.run("insert into t values (4)");
  a.run("create table u (x number)");
  EXPECT_EQ("3", b.scalar("select count(*) from t"));

  // SQL COMMIT/ROLLBACK and savepoints.
  a.run("insert into t values (5)");
  a.run("savepoint s1");
  a.run("insert into t values (6)");
  a.run("rollback to savepoint s1");
  a.run("commit");
  EXPECT_EQ("4", b.scalar("select count(*) from t"));
  EXPECT_EQ(OCI_ERROR, a.exec("rollback to savepoint nowhere"));
  EXPECT_EQ(1086, errcode(a.err));
}

TEST_F(OciTest, SerializableTransactionStartAndEndSessionRollsBack) {
  {
    Conn a(db.dir, "scott", "tiger");
    a.run("create table t (n number)");
    ASSERT_EQ(OCI_SUCCESS, OCITransStart(a.svc, a.err, 0, OCI_TRANS_SERIALIZABLE));
    a.run("insert into t values (1)");
    ASSERT_EQ(OCI_SUCCESS, OCISessionEnd(a.svc, a.err, a.ses, OCI_DEFAULT));
    ASSERT_EQ(OCI_SUCCESS, OCIServerDetach(a.srv, a.err, OCI_DEFAULT));
  }
  Conn b(db.dir, "scott", "tiger");
  EXPECT_EQ("0", b.scalar("select count(*) from t"));
}

TEST_F(OciTest, WriterWaitsForTheOtherSessionsTransaction) {
  Conn a(db.dir, "scott", "tiger");
  Conn b(db.dir, "scott", "tiger");
  a.run("create table t (n number)");
  a.run("insert into t values (1)");
  std::atomic<bool> done{false};
  std::thread t([&] {
    EXPECT_EQ(OCI_SUCCESS, b.exec("insert into t values (2)", OCI_COMMIT_ON_SUCCESS)) << errtext(b.err);
    done = true;
  });
  std::this_thread::sleep_for(std::chrono::milliseconds(100));
  EXPECT_FALSE(done.load());
  ASSERT_EQ(OCI_SUCCESS, OCITransCommit(a.svc, a.err, OCI_DEFAULT));
  t.join();
  EXPECT_EQ("2", a.scalar("select count(*) from t"));
}

TEST_F(OciTest, BreakEndsARunningExecuteWithOra01013) {
  Conn c(db.dir, "scott", "tiger");
  OCIStmt* st = c.stmt("select 1 from dual");
  ocilite_test_slow(OCILITE_T_EXECUTE, 20000);
  std::atomic<bool> returned{false};
  std::thread canceller([&] {
    OCIError* err2 = nullptr;
    OCIHandleAlloc(c.env, reinterpret_cast<void**>(&err2), OCI_HTYPE_ERROR, 0, nullptr);
    // A break before the execute is under way changes nothing: break until
    // it has returned, however late this thread or the other one runs.
    while (!returned.load()) {
      EXPECT_EQ(OCI_SUCCESS, OCIBreak(c.svc, err2));
      std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    EXPECT_EQ(OCI_SUCCESS, OCIReset(c.svc, err2));
    OCIHandleFree(err2, OCI_HTYPE_ERROR);
  });
  auto t0 = std::chrono::steady_clock::now();
  EXPECT_EQ(OCI_ERROR, OCIStmtExecute(c.svc, st, c.err, 0, 0, nullptr, nullptr, OCI_DEFAULT));
  returned = true;
  canceller.join();
  EXPECT_LT(std::chrono::steady_clock::now() - t0, std::chrono::seconds(5));
  EXPECT_EQ("ORA-01013: user requested cancel of current operation\n", errtext(c.err));
  // The connection stays usable; a break with nothing running changes nothing.
  ocilite_test_slow(OCILITE_T_EXECUTE, 0);
  EXPECT_EQ(OCI_SUCCESS, OCIBreak(c.svc, c.err));
  EXPECT_EQ("1", c.scalar("select 1 from dual"));
}

TEST_F(OciTest, NonBlockingModeReportsStillExecutingUntilDone) {
  Conn c(db.dir, "scott", "tiger");
  ub1 mode = 0;
  ASSERT_EQ(OCI_SUCCESS, OCIAttrSet(c.srv, OCI_HTYPE_SERVER, nullptr, 0, OCI_ATTR_NONBLOCKING_MODE, c.err));
  OCIAttrGet(c.srv, OCI_HTYPE_SERVER, &mode, nullptr, OCI_ATTR_NONBLOCKING_MODE, c.err);
  EXPECT_EQ(1, mode);

  OCIStmt* st = c.stmt("create table t (n number)");
  ocilite_test_slow(OCILITE_T_EXECUTE, 200);
  sword rc = OCIStmtExecute(c.svc, st, c.err, 1, 0, nullptr, nullptr, OCI_DEFAULT);
  EXPECT_EQ(OCI_STILL_EXECUTING, rc);
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(60);
  while (rc == OCI_STILL_EXECUTING && std::chrono::steady_clock::now() < deadline) {
    std::this_thread::yield();
    rc = OCIStmtExecute(c.svc, st, c.err, 1, 0, nullptr, nullptr, OCI_DEFAULT);
  }
  EXPECT_EQ(OCI_SUCCESS, rc) << errtext(c.err);

  // Broken off: break and reset, and the next execute starts afresh.
  ocilite_test_slow(OCILITE_T_EXECUTE, 20000);
  OCIStmt* q = c.stmt("select count(*) from t");
  EXPECT_EQ(OCI_STILL_EXECUTING, OCIStmtExecute(c.svc, q, c.err, 0, 0, nullptr, nullptr, OCI_DEFAULT));
  EXPECT_EQ(OCI_SUCCESS, OCIBreak(c.svc, c.err));
  EXPECT_EQ(OCI_SUCCESS, OCIReset(c.svc, c.err));
  ocilite_test_slow(OCILITE_T_EXECUTE, 0);
  // Switching back (a second set toggles) makes executes block again.
  ASSERT_EQ(OCI_SUCCESS, OCIAttrSet(c.srv, OCI_HTYPE_SERVER, nullptr, 0, OCI_ATTR_NONBLOCKING_MODE, c.err));
  EXPECT_EQ(OCI_SUCCESS, OCIStmtExecute(c.svc, q, c.err, 0, 0, nullptr, nullptr, OCI_DEFAULT))
      << errtext(c.err);
}

namespace {
// A failover callback that holds a call before it enters the session, until
// released (the statement's thread has been started but does not run yet).
std::atomic<bool> g_heldEntered{false}, g_heldRelease{false};
sb4 hold_until_released(void*, void*, void*, ub4, ub4) {
  g_heldEntered = true;
  while (!g_heldRelease.load()) std::this_thread::sleep_for(std::chrono::milliseconds(1));
  return 0;
}
}  // namespace

// A break that comes after a non-blocking execute returned
// OCI_STILL_EXECUTING but before the statement's own thread is under way
// still stops the statement.
TEST_F(OciTest, BreakBeforeANonBlockingStatementIsUnderWayStopsIt) {
  Conn c(db.dir, "scott", "tiger");
  c.run("create table t (n number)");
  OCIFocbkStruct cb{hold_until_released, nullptr};
  ASSERT_EQ(OCI_SUCCESS, OCIAttrSet(c.srv, OCI_HTYPE_SERVER, &cb, 0, OCI_ATTR_FOCBK, c.err));
  ASSERT_EQ(OCI_SUCCESS, OCIAttrSet(c.srv, OCI_HTYPE_SERVER, nullptr, 0, OCI_ATTR_NONBLOCKING_MODE, c.err));
  const unsigned resumed[] = {OCI_FO_END};
  ocilite_test_failover(OCILITE_T_EXECUTE, OCI_FO_SESSION, resumed, 1);
  ocilite_test_slow(OCILITE_T_EXECUTE, 10000);
  OCIStmt* st = c.stmt("insert into t values (1)");
  EXPECT_EQ(OCI_STILL_EXECUTING, OCIStmtExecute(c.svc, st, c.err, 1, 0, nullptr, nullptr, OCI_COMMIT_ON_SUCCESS));
  while (!g_heldEntered.load()) std::this_thread::sleep_for(std::chrono::milliseconds(1));
  EXPECT_EQ(OCI_SUCCESS, OCIBreak(c.svc, c.err));
  g_heldRelease = true;
  auto t0 = std::chrono::steady_clock::now();
  EXPECT_EQ(OCI_SUCCESS, OCIReset(c.svc, c.err));
  EXPECT_LT(std::chrono::steady_clock::now() - t0, std::chrono::seconds(5));
  ocilite_test_slow(OCILITE_T_EXECUTE, 0);
  ASSERT_EQ(OCI_SUCCESS, OCIAttrSet(c.srv, OCI_HTYPE_SERVER, nullptr, 0, OCI_ATTR_NONBLOCKING_MODE, c.err));
  EXPECT_EQ("0", c.scalar("select count(*) from t"));
}

TEST_F(OciTest, ConnectionPoolAttachesThroughThePoolName) {
  OCIEnv* env = nullptr;
  OCIError* err = nullptr;
  OCICPool* pool = nullptr;
  ASSERT_EQ(OCI_SUCCESS, OCIEnvCreate(&env, OCI_THREADED, nullptr, nullptr, nullptr, nullptr, 0, nullptr));
  OCIHandleAlloc(env, reinterpret_cast<void**>(&err), OCI_HTYPE_ERROR, 0, nullptr);
  OCIHandleAlloc(env, reinterpret_cast<void**>(&pool), OCI_HTYPE_CPOOL, 0, nullptr);
  OraText* name = nullptr;
  sb4 name_len = 0;
  ASSERT_EQ(OCI_SUCCESS,
            OCIConnectionPoolCreate(env, err, pool, &name, &name_len,
                                    reinterpret_cast<const OraText*>(db.dir.c_str()),
                                    static_cast<sb4>(db.dir.size()), 1, 4, 1,
                                    reinterpret_cast<const OraText*>("scott"), 5,
                                    reinterpret_cast<const OraText*>("tiger"), 5, OCI_DEFAULT))
      << errtext(err);
  ub1 nowait = 1;
  EXPECT_EQ(OCI_SUCCESS, OCIAttrSet(pool, OCI_HTYPE_CPOOL, &nowait, 1, OCI_ATTR_CONN_NOWAIT, err));
  std::string pool_name(reinterpret_cast<char*>(name), static_cast<size_t>(name_len));
  {
    // A second environment attaches in OCI_CPOOL mode with the pool's name.
    Conn c(pool_name, "hr", "Secret1");
    EXPECT_EQ(OCI_ERROR, c.logon_status);  // the name is not a database by itself
    OCIEnv* env2 = nullptr;
    OCIError* err2 = nullptr;
    OCIServer* srv = nullptr;
    OCIEnvCreate(&env2, OCI_THREADED, nullptr, nullptr, nullptr, nullptr, 0, nullptr);
    OCIHandleAlloc(env2, reinterpret_cast<void**>(&err2), OCI_HTYPE_ERROR, 0, nullptr);
    OCIHandleAlloc(env2, reinterpret_cast<void**>(&srv), OCI_HTYPE_SERVER, 0, nullptr);
    EXPECT_EQ(OCI_SUCCESS, OCIServerAttach(srv, err2, name, name_len, OCI_CPOOL)) << errtext(err2);
    EXPECT_EQ(OCI_SUCCESS, OCIServerDetach(srv, err2, OCI_DEFAULT));
    OCIHandleFree(env2, OCI_HTYPE_ENV);
  }
  EXPECT_EQ(OCI_SUCCESS, OCIConnectionPoolDestroy(pool, err, OCI_DEFAULT));
  OCIServer* srv = nullptr;
  OCIHandleAlloc(env, reinterpret_cast<void**>(&srv), OCI_HTYPE_SERVER, 0, nullptr);
  EXPECT_EQ(OCI_ERROR, OCIServerAttach(srv, err, name, name_len, OCI_CPOOL));
  OCIHandleFree(env, OCI_HTYPE_ENV);
}

TEST_F(OciTest, InjectedFaultsFailOrWarnTheNthCall) {
  Conn c(db.dir, "scott", "tiger");
  c.run("create table t (n number)");
  unsigned before = ocilite_test_calls(OCILITE_T_EXECUTE);
  ocilite_test_fault(OCILITE_T_EXECUTE, 2, 1, 3113, 0, nullptr);
  EXPECT_EQ(OCI_SUCCESS, c.exec("insert into t values (1)"));
  EXPECT_EQ(OCI_ERROR, c.exec("insert into t values (2)"));
  EXPECT_EQ("ORA-03113: end-of-file on communication channel\n", errtext(c.err));
  EXPECT_EQ(OCI_SUCCESS, c.exec("insert into t values (3)"));
  EXPECT_EQ(before + 3, ocilite_test_calls(OCILITE_T_EXECUTE));
  EXPECT_EQ("2", c.scalar("select count(*) from t"));

  // A warning: the work is done and the status says there is information.
  ocilite_test_fault(OCILITE_T_COMMIT, 1, 1, 28002, 1, "custom warning");
  EXPECT_EQ(OCI_SUCCESS_WITH_INFO, OCITransCommit(c.svc, c.err, OCI_DEFAULT));
  EXPECT_EQ("ORA-28002: custom warning\n", errtext(c.err));
  Conn other(db.dir, "scott", "tiger");
  EXPECT_EQ("2", other.scalar("select count(*) from t"));

  // Logon faults.
  ocilite_test_fault(OCILITE_T_SESSION_BEGIN, 1, 1, 1034, 0, nullptr);
  Conn down(db.dir, "scott", "tiger");
  EXPECT_EQ(OCI_ERROR, down.logon_status);
  EXPECT_EQ(0u, down.logon_error.find("ORA-01034:"));
}

TEST_F(OciTest, HandlesAreCheckedBeforeUse) {
  Conn c(db.dir, "scott", "tiger");
  EXPECT_EQ(OCI_INVALID_HANDLE, OCIHandleFree(c.err, OCI_HTYPE_STMT));
  EXPECT_EQ(OCI_INVALID_HANDLE, OCIStmtExecute(c.svc, nullptr, c.err, 1, 0, nullptr, nullptr, OCI_DEFAULT));
  EXPECT_EQ(OCI_INVALID_HANDLE,
            OCIAttrGet(c.svc, OCI_HTYPE_STMT, nullptr, nullptr, OCI_ATTR_ROW_COUNT, c.err));
  OCISession* s = nullptr;
  EXPECT_EQ(OCI_SUCCESS, OCIAttrGet(c.svc, OCI_HTYPE_SVCCTX, &s, nullptr, OCI_ATTR_SESSION, c.err));
  EXPECT_EQ(c.ses, s);
  // Attribute ids overlap: 3 is NONBLOCKING_MODE on a server, DISP_SIZE on a parameter.
  EXPECT_EQ(OCI_ERROR, OCIAttrGet(c.ses, OCI_HTYPE_SESSION, &s, nullptr, OCI_ATTR_NONBLOCKING_MODE, c.err));
  EXPECT_EQ(24315, errcode(c.err));
}

namespace {
struct Failovers {
  std::vector<std::pair<ub4, ub4>> seen;  // (type, event)
  void* svc = nullptr;
  int retries_left = 1;
};
sb4 on_failover(void* svc, void* env, void* ctx, ub4 type, ub4 event) {
  auto* f = static_cast<Failovers*>(ctx);
  f->seen.emplace_back(type, event);
  f->svc = svc;
  if (event == OCI_FO_ERROR) return f->retries_left-- > 0 ? OCI_FO_RETRY : 0;
  return 0;
}
}  // namespace

TEST_F(OciTest, FailoverEventsReachTheRegisteredCallbackInsideTheCall) {
  Conn c(db.dir, "scott", "tiger");
  Failovers seen;
  OCIFocbkStruct cb{on_failover, &seen};
  ASSERT_EQ(OCI_SUCCESS, OCIAttrSet(c.srv, OCI_HTYPE_SERVER, &cb, 0, OCI_ATTR_FOCBK, c.err));
  const unsigned completed[] = {OCI_FO_BEGIN, OCI_FO_ERROR, OCI_FO_END};
  ocilite_test_failover(OCILITE_T_EXECUTE, OCI_FO_SESSION, completed, 3);
  EXPECT_EQ(OCI_SUCCESS, c.exec("create table t (n number)")) << errtext(c.err);
  EXPECT_EQ((std::vector<std::pair<ub4, ub4>>{{OCI_FO_SESSION, OCI_FO_BEGIN},
                                              {OCI_FO_SESSION, OCI_FO_ERROR},
                                              {OCI_FO_SESSION, OCI_FO_END}}),
            seen.seen);
  EXPECT_EQ(static_cast<void*>(c.svc), seen.svc);

  // The callback gives up at the second error: the call fails.
  seen.seen.clear();
  seen.retries_left = 1;
  const unsigned given_up[] = {OCI_FO_BEGIN, OCI_FO_ERROR, OCI_FO_ERROR, OCI_FO_END};
  ocilite_test_failover(OCILITE_T_COMMIT, OCI_FO_SELECT, given_up, 4);
  EXPECT_EQ(OCI_ERROR, OCITransCommit(c.svc, c.err, OCI_DEFAULT));
  EXPECT_EQ(25408, errcode(c.err));
  ASSERT_EQ(4u, seen.seen.size());
  EXPECT_EQ(OCI_FO_ABORT, seen.seen[3].second);  // the give-up brings the abort
}

namespace {
ocilite_pool_info OnlyPool() {
  ocilite_pool_info info{};
  EXPECT_EQ(1, ocilite_test_pools(&info, 1));
  return info;
}
}  // namespace

// Sessions of a pool borrow its physical connections for their calls and
// keep one while a transaction or a cursor is open; the pool opens its
// minimum, grows by its increment up to its maximum, and then refuses
// (no-wait) or waits.
TEST_F(OciTest, PoolLendsPhysicalConnectionsWithinItsLimits) {
  Conn owner(db.dir, "scott", "tiger");
  owner.run("create table t (n number)");
  owner.run("insert into t values (10)");
  owner.run("insert into t values (11)");
  ASSERT_EQ(OCI_SUCCESS, OCITransCommit(owner.svc, owner.err, OCI_DEFAULT));
  OCICPool* pool = nullptr;
  OCIHandleAlloc(owner.env, reinterpret_cast<void**>(&pool), OCI_HTYPE_CPOOL, 0, nullptr);
  OraText* name = nullptr;
  sb4 len = 0;
  ASSERT_EQ(OCI_SUCCESS, OCIConnectionPoolCreate(owner.env, owner.err, pool, &name, &len,
                                                 reinterpret_cast<const OraText*>(db.dir.c_str()),
                                                 static_cast<sb4>(db.dir.size()), 1, 2, 1, nullptr, 0,
                                                 nullptr, 0, OCI_DEFAULT));
  ub1 nowait = 1;
  ASSERT_EQ(OCI_SUCCESS, OCIAttrSet(pool, OCI_HTYPE_CPOOL, &nowait, 1, OCI_ATTR_CONN_NOWAIT, owner.err));
  const std::string poolName(reinterpret_cast<char*>(name), static_cast<size_t>(len));
  {
    Conn a(poolName, "scott", "tiger", OCI_DEFAULT, OCI_CPOOL), b(poolName, "scott", "tiger", OCI_DEFAULT, OCI_CPOOL);
    ASSERT_TRUE(a.ok());
    ASSERT_TRUE(b.ok());
    ocilite_pool_info info = OnlyPool();
    EXPECT_EQ(1u, info.open);  // the logons gave theirs back
    EXPECT_EQ(0u, info.busy);
    EXPECT_EQ(2, info.attached);
    ASSERT_EQ(OCI_SUCCESS, a.exec("insert into t values (1)"));
    // One writer per schema: b holds a cursor instead.
    OCIStmt* cursor = b.stmt("select n from t");
    ASSERT_EQ(OCI_SUCCESS, OCIStmtExecute(b.svc, cursor, b.err, 0, 0, nullptr, nullptr, OCI_DEFAULT));
    info = OnlyPool();
    EXPECT_EQ(2u, info.open);
    EXPECT_EQ(2u, info.busy);
    {
      Conn c(poolName, "scott", "tiger", OCI_DEFAULT, OCI_CPOOL);
      EXPECT_EQ(OCI_ERROR, c.logon_status);
      EXPECT_EQ(24401, errcode(c.err));
    }
    // Waiting mode: the third logon completes once a transaction ends.
    nowait = 0;
    ASSERT_EQ(OCI_SUCCESS, OCIAttrSet(pool, OCI_HTYPE_CPOOL, &nowait, 1, OCI_ATTR_CONN_NOWAIT, owner.err));
    std::atomic<bool> committed{false}, loggedOnAfter{false};
    std::thread third([&] {
      Conn c(poolName, "scott", "tiger", OCI_DEFAULT, OCI_CPOOL);
      loggedOnAfter = c.ok() && committed.load();
    });
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
    committed = true;
    ASSERT_EQ(OCI_SUCCESS, OCITransCommit(a.svc, a.err, OCI_DEFAULT));
    third.join();
    EXPECT_TRUE(loggedOnAfter);
    // Fetched to its end, the cursor gives its connection back.
    while (OCIStmtFetch2(cursor, b.err, 1, OCI_FETCH_NEXT, 0, OCI_DEFAULT) == OCI_SUCCESS) {
    }
    OCIHandleFree(cursor, OCI_HTYPE_STMT);
    info = OnlyPool();
    EXPECT_EQ(2u, info.peak);
    EXPECT_EQ(0u, info.busy);
  }
  EXPECT_EQ(OCI_SUCCESS, OCIConnectionPoolDestroy(pool, owner.err, OCI_DEFAULT));
  EXPECT_EQ(0, ocilite_test_pools(nullptr, 0));
}

namespace {
sb4 retry_twice(void*, void*, void* ctx, ub4, ub4 event) {
  auto* left = static_cast<int*>(ctx);
  if (event == OCI_FO_ERROR) return (*left)-- > 0 ? OCI_FO_RETRY : 0;
  return 0;
}
}  // namespace

// What a failover leaves of the session: a SELECT failover continues the
// fetch, a SESSION one loses the cursor, a completed one loses the open
// transaction until a rollback, an aborted one the whole session.
TEST_F(OciTest, FailoverOutcomesForCursorsTransactionsAndTheSession) {
  Conn c(db.dir, "scott", "tiger");
  c.run("create table t (n number)");
  c.run("insert into t values (1)");
  c.run("insert into t values (2)");
  c.run("insert into t values (3)");
  ASSERT_EQ(OCI_SUCCESS, OCITransCommit(c.svc, c.err, OCI_DEFAULT));
  int retries = 2;
  OCIFocbkStruct cb{retry_twice, &retries};
  ASSERT_EQ(OCI_SUCCESS, OCIAttrSet(c.srv, OCI_HTYPE_SERVER, &cb, 0, OCI_ATTR_FOCBK, c.err));
  const unsigned completed[] = {OCI_FO_BEGIN, OCI_FO_END};

  struct Case {
    ub4 type;
    int fetchError;  // 0: the fetch goes on with the next row
  } cases[] = {{OCI_FO_SELECT, 0}, {OCI_FO_SESSION, 25401}};
  for (const Case& k : cases) {
    OCIStmt* q = c.stmt("select n from t order by n");
    int n = 0;
    OCIDefine* d = nullptr;
    OCIDefineByPos(q, &d, c.err, 1, &n, sizeof n, SQLT_INT, nullptr, nullptr, nullptr, OCI_DEFAULT);
    ASSERT_EQ(OCI_SUCCESS, OCIStmtExecute(c.svc, q, c.err, 0, 0, nullptr, nullptr, OCI_DEFAULT));
    ASSERT_EQ(OCI_SUCCESS, OCIStmtFetch2(q, c.err, 1, OCI_FETCH_NEXT, 0, OCI_DEFAULT));
    ocilite_test_failover(OCILITE_T_FETCH, k.type, completed, 2);
    sword rc = OCIStmtFetch2(q, c.err, 1, OCI_FETCH_NEXT, 0, OCI_DEFAULT);
    if (k.fetchError) {
      EXPECT_EQ(OCI_ERROR, rc);
      EXPECT_EQ(k.fetchError, errcode(c.err));
      // Executed again, the statement gives all its rows.
      ASSERT_EQ(OCI_SUCCESS, OCIStmtExecute(c.svc, q, c.err, 0, 0, nullptr, nullptr, OCI_DEFAULT));
      ASSERT_EQ(OCI_SUCCESS, OCIStmtFetch2(q, c.err, 1, OCI_FETCH_NEXT, 0, OCI_DEFAULT));
      EXPECT_EQ(1, n);
    } else {
      EXPECT_EQ(OCI_SUCCESS, rc) << errtext(c.err);
      EXPECT_EQ(2, n);
    }
    OCIHandleFree(q, OCI_HTYPE_STMT);
  }

  // The open transaction is lost: the commit and what follows fail until a
  // rollback; then the session works on.
  c.run("insert into t values (4)");
  ocilite_test_failover(OCILITE_T_COMMIT, OCI_FO_TXNAL, completed, 2);
  EXPECT_EQ(OCI_ERROR, OCITransCommit(c.svc, c.err, OCI_DEFAULT));
  EXPECT_EQ(25402, errcode(c.err));
  EXPECT_EQ(OCI_ERROR, c.exec("insert into t values (5)"));
  EXPECT_EQ(25402, errcode(c.err));
  EXPECT_EQ(OCI_SUCCESS, OCITransRollback(c.svc, c.err, OCI_DEFAULT));
  EXPECT_EQ("3", c.scalar("select count(*) from t"));
  c.run("insert into t values (6)");
  EXPECT_EQ(OCI_SUCCESS, OCITransCommit(c.svc, c.err, OCI_DEFAULT));

  // Five errors against two retries: the third is given up, ABORT follows,
  // the call fails and the session is dead.
  const unsigned failing[] = {OCI_FO_BEGIN, OCI_FO_ERROR, OCI_FO_ERROR, OCI_FO_ERROR, OCI_FO_ERROR, OCI_FO_ERROR};
  ocilite_test_failover(OCILITE_T_EXECUTE, OCI_FO_SESSION, failing, 6);
  EXPECT_EQ(OCI_ERROR, c.exec("insert into t values (7)"));
  EXPECT_EQ(25408, errcode(c.err));
  EXPECT_EQ(OCI_ERROR, c.exec("select n from t"));
  EXPECT_EQ(3114, errcode(c.err));
  ocilite_failover_step steps[8];
  ASSERT_EQ(2, ocilite_test_failover_steps(0, steps, 8));  // the SELECT failover
  ASSERT_EQ(5, ocilite_test_failover_steps(3, steps, 8));
  const unsigned events[] = {OCI_FO_BEGIN, OCI_FO_ERROR, OCI_FO_ERROR, OCI_FO_ERROR, OCI_FO_ABORT};
  const int answers[] = {0, OCI_FO_RETRY, OCI_FO_RETRY, 0, 0};
  for (int i = 0; i < 5; ++i) {
    EXPECT_EQ(events[i], steps[i].event) << i;
    EXPECT_EQ(answers[i], steps[i].answer) << i;
  }
  EXPECT_EQ(-1, ocilite_test_failover_steps(4, steps, 8));
}
