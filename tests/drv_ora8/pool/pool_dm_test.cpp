// Connection pools and transparent failover as applications meet them: both
// drivers loaded by unixODBC, the real agent, and the OCI stand-in, whose
// pools lend physical connections within their limits and whose scripted
// failovers run the driver's callback inside the call that meets them.
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <cstring>
#include <string>
#include <thread>
#include <vector>

#include "dm_db.h"
#include "harness.h"
#include "oci.h"
#include "ocilite.h"

namespace {

using dm_db::Database;
using dm_db::Rows;
using Clock = std::chrono::steady_clock;

SQLCHAR *Text(const std::string &s) { return reinterpret_cast<SQLCHAR *>(const_cast<char *>(s.c_str())); }
SQLPOINTER P(intptr_t v) { return reinterpret_cast<SQLPOINTER>(v); }

std::vector<ocilite_pool_info> Pools() {
  std::vector<ocilite_pool_info> out(8);
  int n = ocilite_test_pools(out.data(), static_cast<int>(out.size()));
  out.resize(static_cast<size_t>(n < 0 ? 0 : n));
  return out;
}

bool HasText(const std::vector<harness::DiagRec> &recs, const char *text) {
  for (const auto &r : recs)
    if (r.message.find(text) != std::string::npos || r.state == text) return true;
  return false;
}

// One connection made with SQLDriverConnect and the extra keywords given.
struct Conn {
  SQLHENV env = SQL_NULL_HENV;
  SQLHDBC dbc = SQL_NULL_HDBC;
  SQLRETURN rc = SQL_ERROR;
  std::vector<harness::DiagRec> diags;  // of a failed connect

  Conn(const std::string &dsn, const std::string &extra) {
    SQLAllocHandle(SQL_HANDLE_ENV, SQL_NULL_HANDLE, &env);
    SQLSetEnvAttr(env, SQL_ATTR_ODBC_VERSION, P(SQL_OV_ODBC3), 0);
    SQLAllocHandle(SQL_HANDLE_DBC, env, &dbc);
    const std::string in = "DSN=" + dsn + ";UID=scott;PWD=tiger;" + extra;
    SQLCHAR out[1024];
    SQLSMALLINT outLen = 0;
    rc = SQLDriverConnect(dbc, nullptr, Text(in), SQL_NTS, out, sizeof out, &outLen, SQL_DRIVER_NOPROMPT);
    if (!SQL_SUCCEEDED(rc)) diags = harness::DmDiags(SQL_HANDLE_DBC, dbc);
  }
  ~Conn() {
    if (SQL_SUCCEEDED(rc)) SQLDisconnect(dbc);
    SQLFreeHandle(SQL_HANDLE_DBC, dbc);
    SQLFreeHandle(SQL_HANDLE_ENV, env);
  }
  Conn(const Conn &) = delete;
  Conn &operator=(const Conn &) = delete;
  bool ok() const { return SQL_SUCCEEDED(rc); }

  SQLRETURN Run(const std::string &sql, std::vector<harness::DiagRec> *recs = nullptr) {
    SQLHSTMT h = SQL_NULL_HSTMT;
    SQLAllocHandle(SQL_HANDLE_STMT, dbc, &h);
    SQLRETURN r = SQLExecDirect(h, Text(sql), SQL_NTS);
    if (recs) *recs = harness::DmDiags(SQL_HANDLE_STMT, h);
    SQLFreeHandle(SQL_HANDLE_STMT, h);
    return r;
  }
  void MustRun(const std::string &sql) {
    std::vector<harness::DiagRec> recs;
    SQLRETURN r = Run(sql, &recs);
    EXPECT_TRUE(SQL_SUCCEEDED(r)) << sql << ": " << (recs.empty() ? "" : recs[0].message);
  }
  SQLRETURN EndTran(SQLSMALLINT type) { return SQLEndTran(SQL_HANDLE_DBC, dbc, type); }
  void AutoCommit(bool on) {
    ASSERT_EQ(SQL_SUCCESS, SQLSetConnectAttr(dbc, SQL_ATTR_AUTOCOMMIT, P(on ? SQL_AUTOCOMMIT_ON : SQL_AUTOCOMMIT_OFF), 0));
  }
  std::string One(const std::string &sql) { return dm_db::One(dbc, sql); }
};

// A table t (a number) holding 1 .. rows, made anew.
void FreshTable(Conn &c, const std::string &t, int rows) {
  c.Run("drop table " + t);
  c.MustRun("create table " + t + " (a number)");
  for (int i = 1; i <= rows; ++i) c.MustRun("insert into " + t + " values (" + std::to_string(i) + ")");
}

// Parameter: the DSN of one driver.
class DmPool : public ::testing::TestWithParam<const char *> {
 protected:
  void SetUp() override {
    ASSERT_FALSE(Database().empty());
    // The "_ini" DSNs hold a pool's settings and failover in odbc.ini.
    const std::vector<std::pair<std::string, std::string>> ini = {
        {"SQLNETConnect", Database()}, {"OCIConnPoolMin", "2"},   {"OCIConnPoolMax", "3"},
        {"OCIConnPoolIncr", "1"},      {"OCIConnPoolWait", "YES"}, {"TAFEnable", "YES"},
        {"TAFRetryInterval", "1"},     {"TAFMaxRetries", "2"}};
    harness::DmInit({{"kvd_pool_w", harness::kDmUnicode, {{"SQLNETConnect", Database()}}},
                     {"kvd_pool_a", harness::kDmAnsi, {{"SQLNETConnect", Database()}}},
                     {"kvd_pool_w_ini", harness::kDmUnicode, ini},
                     {"kvd_pool_a_ini", harness::kDmAnsi, ini}});
    ocilite_test_reset();
  }
  void TearDown() override { ocilite_test_reset(); }
  std::string T(const char *base) const {
    return std::string(base) + (std::strcmp(GetParam(), "kvd_pool_w") ? "_a" : "_w");
  }
};

// ---- Pools -------------------------------------------------------------------------

// The pool gets the connection's limits, no-wait exactly when OCPWAIT is
// off; a second connection shares it, and while one connection stays open
// ten rounds of another never open more than the maximum.
TEST_P(DmPool, ThePoolHasTheConnectionsLimitsAndIsShared) {
  for (bool wait : {false, true}) {
    SCOPED_TRACE(wait);
    Conn a(GetParam(), std::string("OCPMIN=2;OCPMAX=3;OCPINCR=1;OCPWAIT=") + (wait ? "YES" : "NO"));
    ASSERT_TRUE(a.ok()) << (a.diags.empty() ? "" : a.diags[0].message);
    auto pools = Pools();
    ASSERT_EQ(1u, pools.size());
    EXPECT_EQ(2u, pools[0].min);
    EXPECT_EQ(3u, pools[0].max);
    EXPECT_EQ(1u, pools[0].incr);
    EXPECT_EQ(wait ? 0 : 1, pools[0].nowait);
    for (int round = 0; round < 10; ++round) {
      Conn b(GetParam(), "OCPMIN=2;OCPMAX=3;OCPINCR=1;OCPWAIT=YES");
      ASSERT_TRUE(b.ok());
      EXPECT_EQ("1", b.One("select count(*) from dual"));
      EXPECT_EQ(1u, Pools().size());
      EXPECT_EQ(2, Pools()[0].attached);
    }
    pools = Pools();
    ASSERT_EQ(1u, pools.size());
    EXPECT_LE(pools[0].peak, 3u);
  }
  EXPECT_TRUE(Pools().empty());
}

// The same limits from odbc.ini; a second user on the same database shares
// the pool.
TEST_P(DmPool, ThePoolHasTheDataSourcesLimitsAndServesTwoUsers) {
  char msg[256] = "";
  ocilite_user_create(Database().c_str(), "hr", "Secret1", msg, sizeof msg);  // once per process
  const std::string dsn = std::string(GetParam()) + "_ini";
  Conn a(dsn, "");
  ASSERT_TRUE(a.ok()) << (a.diags.empty() ? "" : a.diags[0].message);
  auto pools = Pools();
  ASSERT_EQ(1u, pools.size());
  EXPECT_EQ(2u, pools[0].min);
  EXPECT_EQ(3u, pools[0].max);
  EXPECT_EQ(1u, pools[0].incr);
  EXPECT_EQ(0, pools[0].nowait);
  {
    SQLHENV env = SQL_NULL_HENV;
    SQLHDBC dbc = SQL_NULL_HDBC;
    SQLAllocHandle(SQL_HANDLE_ENV, SQL_NULL_HANDLE, &env);
    SQLSetEnvAttr(env, SQL_ATTR_ODBC_VERSION, P(SQL_OV_ODBC3), 0);
    SQLAllocHandle(SQL_HANDLE_DBC, env, &dbc);
    ASSERT_TRUE(SQL_SUCCEEDED(SQLConnect(dbc, Text(dsn), SQL_NTS, Text("hr"), SQL_NTS, Text("Secret1"), SQL_NTS)))
        << harness::DmDiagText(SQL_HANDLE_DBC, dbc);
    EXPECT_EQ("HR", dm_db::One(dbc, "select user from dual"));
    EXPECT_EQ(1u, Pools().size());
    EXPECT_EQ(2, Pools()[0].attached);
    SQLDisconnect(dbc);
    SQLFreeHandle(SQL_HANDLE_DBC, dbc);
    SQLFreeHandle(SQL_HANDLE_ENV, env);
  }
}

// A connection in an open transaction and one with an open cursor hold both
// physical connections of a pool of two (the stand-in has one writer per
// schema): a third connect fails at once with ORA-24401 without OCPWAIT,
// and completes once the transaction ends with it.
TEST_P(DmPool, AnExhaustedPoolRefusesOrWaits) {
  const std::string t = T("pl_busy");
  {
    Conn setup(GetParam(), "");
    FreshTable(setup, t, 2);
  }
  for (bool wait : {false, true}) {
    SCOPED_TRACE(wait);
    const std::string opts = std::string("OCPMIN=1;OCPMAX=2;OCPINCR=1;OCPWAIT=") + (wait ? "YES" : "NO");
    Conn a(GetParam(), opts), b(GetParam(), opts);
    ASSERT_TRUE(a.ok() && b.ok());
    a.AutoCommit(false);
    a.MustRun("insert into " + t + " values (3)");
    SQLHSTMT cursor = SQL_NULL_HSTMT;
    SQLAllocHandle(SQL_HANDLE_STMT, b.dbc, &cursor);
    ASSERT_TRUE(SQL_SUCCEEDED(SQLExecDirect(cursor, Text("select a from " + t), SQL_NTS)));
    if (!wait) {
      const Clock::time_point start = Clock::now();
      Conn c(GetParam(), opts);
      EXPECT_FALSE(c.ok());
      EXPECT_TRUE(HasText(c.diags, "ORA-24401")) << (c.diags.empty() ? "" : c.diags[0].message);
      EXPECT_LT(Clock::now() - start, std::chrono::seconds(5));
    } else {
      std::atomic<bool> committed{false}, connectedAfter{false};
      std::thread third([&] {
        Conn c(GetParam(), opts);
        connectedAfter = c.ok() && committed.load();
      });
      std::this_thread::sleep_for(std::chrono::milliseconds(100));
      committed = true;
      EXPECT_EQ(SQL_SUCCESS, a.EndTran(SQL_COMMIT));
      third.join();
      EXPECT_TRUE(connectedAfter);
    }
    EXPECT_TRUE(SQL_SUCCEEDED(a.EndTran(SQL_ROLLBACK)));
    SQLFreeHandle(SQL_HANDLE_STMT, cursor);
  }
}

TEST_P(DmPool, AMaximumBelowTheMinimumFailsTheConnectWithItsOracleText) {
  Conn c(GetParam(), "OCPMIN=3;OCPMAX=2");
  EXPECT_FALSE(c.ok());
  EXPECT_TRUE(HasText(c.diags, "ORA-24328")) << (c.diags.empty() ? "" : c.diags[0].message);
}

// OCPLINGER=1: a connect within the last disconnect's linger uses the pool
// again; OCPLINGER=0: the last disconnect destroys it at once.
TEST_P(DmPool, LingerKeepsThePoolForTheNextConnect) {
  {
    Conn a(GetParam(), "OCPMIN=1;OCPMAX=2;OCPLINGER=0");
    ASSERT_TRUE(a.ok());
  }
  EXPECT_TRUE(Pools().empty());
  const unsigned created = ocilite_test_calls(OCILITE_T_CPOOL_CREATE);
  auto *a = new Conn(GetParam(), "OCPMIN=1;OCPMAX=2;OCPLINGER=1");
  ASSERT_TRUE(a->ok());
  std::thread leave([&] { delete a; });  // lingers a second in SQLDisconnect
  std::this_thread::sleep_for(std::chrono::milliseconds(50));
  {
    Conn b(GetParam(), "OCPMIN=1;OCPMAX=2;OCPLINGER=1");
    ASSERT_TRUE(b.ok());
    EXPECT_EQ(created + 1, ocilite_test_calls(OCILITE_T_CPOOL_CREATE));
  }
  leave.join();
  EXPECT_TRUE(Pools().empty());
}

// Sixteen threads connect, run and disconnect through one pool of four
// while others cancel and free statements; bounded in rounds and time.
// The cancelling half calls the driver directly (the same library the Driver
// Manager loaded, so the same pool): unixODBC 2.3 itself is not safe when
// SQLCancel meets a running SQLExecDirect on one statement (it frees the
// statement's diagnostics from both threads), so through it the other half
// only connects, runs and frees.
TEST_P(DmPool, SixteenThreadsThroughOnePool) {
  const std::string t = T("pl_stress");
  {
    Conn setup(GetParam(), "");
    FreshTable(setup, t, 0);
  }
  const bool wide = std::string(GetParam()).back() == 'w';
  harness::Driver drv(harness::DriverPath(wide ? harness::kUnicode : harness::kAnsi, harness::kReal));
  ASSERT_TRUE(drv.ok()) << drv.error();
  auto cancel = KVD_FN(drv, SQLCancel);
  auto disconnect = KVD_FN(drv, SQLDisconnect);
  for (int linger : {0, 1}) {
    SCOPED_TRACE(linger);
    const std::string opts = "OCPMIN=1;OCPMAX=4;OCPINCR=1;OCPWAIT=YES;OCPLINGER=" + std::to_string(linger);
    const Clock::time_point start = Clock::now();
    std::atomic<int> failures{0};
    std::vector<std::thread> threads;
    for (int i = 0; i < 16; ++i)
      threads.emplace_back([&, i] {
        const std::string insert = "insert into " + t + " values (" + std::to_string(i) + ")";
        for (int round = 0; round < 3; ++round) {
          if (i % 2 == 0) {
            Conn c(GetParam(), opts);
            if (!c.ok() || !SQL_SUCCEEDED(c.Run(insert))) ++failures;
            continue;
          }
          SQLHENV env = drv.AllocEnv();
          SQLHDBC dbc = drv.AllocDbc(env);
          if (!SQL_SUCCEEDED(drv.DriverConnect(dbc, "DSN=" + std::string(GetParam()) + ";UID=scott;PWD=tiger;" + opts))) {
            ++failures;
          } else {
            SQLHSTMT h = drv.AllocStmt(dbc);
            std::atomic<bool> done{false};
            std::thread canceller([&] {
              while (!done.load()) cancel(h);
            });
            drv.ExecDirect(h, insert);  // may be cancelled: either outcome is fine
            done = true;
            canceller.join();
            drv.FreeHandle(SQL_HANDLE_STMT, h);
            disconnect(dbc);
          }
          drv.FreeHandle(SQL_HANDLE_DBC, dbc);
          drv.FreeHandle(SQL_HANDLE_ENV, env);
        }
      });
    for (std::thread &th : threads) th.join();
    EXPECT_EQ(0, failures.load());
    EXPECT_LT(Clock::now() - start, std::chrono::seconds(90));
    for (const auto &p : Pools()) EXPECT_LE(p.peak, 4u);
  }
}

INSTANTIATE_TEST_SUITE_P(Drivers, DmPool, ::testing::Values("kvd_pool_w", "kvd_pool_a"));

// ---- Failover ----------------------------------------------------------------------

struct Events {
  std::atomic<int> completed{0}, aborted{0}, other{0};
  std::atomic<void *> context{nullptr};
};
Events g_events;

int OnFailover(int event, void *context, int) {
  g_events.context = context;
  if (event == 16)
    ++g_events.completed;
  else if (event == 17)
    ++g_events.aborted;
  else
    ++g_events.other;
  return 0;
}

class DmFailover : public DmPool {
 protected:
  std::unique_ptr<Conn> c;
  int context = 0;

  // fromIni: the settings come from the data source (which also pools).
  void Open(bool callback = true, bool fromIni = false) {
    c = fromIni ? std::make_unique<Conn>(std::string(GetParam()) + "_ini", "")
                : std::make_unique<Conn>(GetParam(), "TAF_ENABLE=YES;TAF_RETRY_INTERVAL=1;TAF_MAX_RETRIES=2");
    ASSERT_TRUE(c->ok());
    g_events.completed = g_events.aborted = g_events.other = 0;
    g_events.context = nullptr;
    if (!callback) return;
    ASSERT_EQ(SQL_SUCCESS, SQLSetConnectAttr(c->dbc, 1280, reinterpret_cast<SQLPOINTER>(&OnFailover), SQL_IS_POINTER));
    ASSERT_EQ(SQL_SUCCESS, SQLSetConnectAttr(c->dbc, 1281, &context, SQL_IS_POINTER));
  }
  void Table(const std::string &t, int rows) { FreshTable(*c, t, rows); }
  // Fetches the query's rows one SQLFetch at a time, arming the failover
  // after the first row; the results of every fetch and the rows.
  void FetchAcross(SQLHSTMT h, unsigned type, const std::vector<unsigned> &events, std::vector<SQLRETURN> *results,
                   std::vector<int> *rows) {
    SQLINTEGER a = 0;
    SQLLEN ind = 0;
    SQLBindCol(h, 1, SQL_C_LONG, &a, 0, &ind);
    for (int n = 0; n < 1000; ++n) {
      SQLRETURN r = SQLFetch(h);
      if (n == 0) ocilite_test_failover(OCILITE_T_FETCH, type, events.data(), static_cast<int>(events.size()));
      results->push_back(r);
      if (!SQL_SUCCEEDED(r)) break;
      rows->push_back(a);
    }
  }
};

const std::vector<unsigned> kTwoErrors = {OCI_FO_BEGIN, OCI_FO_ERROR, OCI_FO_ERROR, OCI_FO_END};

// A SELECT failover mid-fetch after two ERROR events: the fetch that met it
// brings its row with SQL_SUCCESS_WITH_INFO and IM500, event 16 comes once
// with the context, every row arrives once, the retries pause a second.
TEST_P(DmFailover, SelectFailoverMidFetchGoesOn) {
  Open();
  const std::string t = T("fo_sel");
  Table(t, 300);
  SQLHSTMT h = SQL_NULL_HSTMT;
  SQLAllocHandle(SQL_HANDLE_STMT, c->dbc, &h);
  ASSERT_TRUE(SQL_SUCCEEDED(SQLExecDirect(h, Text("select a from " + t + " order by a"), SQL_NTS)));
  std::vector<SQLRETURN> results;
  std::vector<int> rows;
  FetchAcross(h, OCI_FO_SELECT, kTwoErrors, &results, &rows);
  ASSERT_EQ(300u, rows.size());
  for (int i = 0; i < 300; ++i) EXPECT_EQ(i + 1, rows[static_cast<size_t>(i)]);
  int withInfo = 0;
  for (size_t i = 0; i < results.size(); ++i) {
    if (results[i] != SQL_SUCCESS_WITH_INFO) continue;
    ++withInfo;
  }
  EXPECT_EQ(1, withInfo);
  EXPECT_EQ(SQL_NO_DATA, results.back());
  EXPECT_EQ(1, g_events.completed.load());
  EXPECT_EQ(0, g_events.aborted.load());
  EXPECT_EQ(&context, g_events.context.load());
  ocilite_failover_step steps[8];
  ASSERT_EQ(4, ocilite_test_failover_steps(0, steps, 8));
  EXPECT_GE(steps[2].ms - steps[1].ms, 950u);  // a retry interval apart
  SQLFreeHandle(SQL_HANDLE_STMT, h);
}

// The IM500 of the fetch that met the failover is on that statement.
TEST_P(DmFailover, CompletedFetchReportsIm500OnTheStatement) {
  Open();
  const std::string t = T("fo_diag");
  Table(t, 300);
  SQLHSTMT h = SQL_NULL_HSTMT;
  SQLAllocHandle(SQL_HANDLE_STMT, c->dbc, &h);
  ASSERT_TRUE(SQL_SUCCEEDED(SQLExecDirect(h, Text("select a from " + t + " order by a"), SQL_NTS)));
  ASSERT_EQ(SQL_SUCCESS, SQLFetch(h));
  const std::vector<unsigned> quick = {OCI_FO_BEGIN, OCI_FO_END};
  ocilite_test_failover(OCILITE_T_FETCH, OCI_FO_SELECT, quick.data(), 2);
  SQLRETURN r = SQL_SUCCESS;
  while ((r = SQLFetch(h)) == SQL_SUCCESS) {
  }
  ASSERT_EQ(SQL_SUCCESS_WITH_INFO, r);
  auto recs = harness::DmDiags(SQL_HANDLE_STMT, h);
  ASSERT_FALSE(recs.empty());
  EXPECT_EQ("IM500", recs[0].state);
  EXPECT_NE(std::string::npos, recs[0].message.find("Failover completed.")) << recs[0].message;
  SQLFreeHandle(SQL_HANDLE_STMT, h);
}

// A SESSION failover loses the cursor: that fetch fails with ORA-25401 and
// IM500 (event 16); the statement executed again gives all rows.
TEST_P(DmFailover, SessionFailoverMidFetchLosesTheCursor) {
  Open();
  const std::string t = T("fo_ses");
  Table(t, 300);
  SQLHSTMT h = SQL_NULL_HSTMT;
  SQLAllocHandle(SQL_HANDLE_STMT, c->dbc, &h);
  const std::string q = "select a from " + t + " order by a";
  ASSERT_TRUE(SQL_SUCCEEDED(SQLExecDirect(h, Text(q), SQL_NTS)));
  std::vector<SQLRETURN> results;
  std::vector<int> rows;
  const std::vector<unsigned> quick = {OCI_FO_BEGIN, OCI_FO_END};
  FetchAcross(h, OCI_FO_SESSION, quick, &results, &rows);
  ASSERT_EQ(SQL_ERROR, results.back());
  auto recs = harness::DmDiags(SQL_HANDLE_STMT, h);
  EXPECT_TRUE(HasText(recs, "ORA-25401"));
  EXPECT_TRUE(HasText(recs, "IM500"));
  EXPECT_EQ(1, g_events.completed.load());
  SQLFreeStmt(h, SQL_CLOSE);
  EXPECT_EQ(300u, dm_db::Query(c->dbc, q).size());
  SQLFreeHandle(SQL_HANDLE_STMT, h);
}

// A failover at commit loses the open transaction: SQL_ERROR with ORA-25402
// and IM500 (event 16); the rollback works, the row is gone, the next
// transaction commits. (Failover and pool set in odbc.ini.)
TEST_P(DmFailover, FailoverAtCommitLosesTheTransaction) {
  Open(/*callback=*/true, /*fromIni=*/true);
  const std::string t = T("fo_txn");
  Table(t, 0);
  c->AutoCommit(false);
  c->MustRun("insert into " + t + " values (1)");
  const std::vector<unsigned> quick = {OCI_FO_BEGIN, OCI_FO_END};
  ocilite_test_failover(OCILITE_T_COMMIT, OCI_FO_TXNAL, quick.data(), 2);
  EXPECT_EQ(SQL_ERROR, c->EndTran(SQL_COMMIT));
  auto recs = harness::DmDiags(SQL_HANDLE_DBC, c->dbc);
  EXPECT_TRUE(HasText(recs, "ORA-25402"));
  EXPECT_TRUE(HasText(recs, "IM500"));
  EXPECT_EQ(1, g_events.completed.load());
  EXPECT_TRUE(SQL_SUCCEEDED(c->EndTran(SQL_ROLLBACK)));
  EXPECT_EQ("0", c->One("select count(*) from " + t));
  c->MustRun("insert into " + t + " values (2)");
  EXPECT_EQ(SQL_SUCCESS, c->EndTran(SQL_COMMIT));
  EXPECT_EQ("1", c->One("select count(*) from " + t));
}

// Five ERROR events against two retries: the third is given up, ABORT
// follows; the call fails with IM501 on its handle, event 17 once; later
// calls fail at once with ORA-03114; a new connection works.
TEST_P(DmFailover, AbortedFailoverLeavesADeadConnection) {
  Open();
  const std::string t = T("fo_abort");
  Table(t, 1);
  const std::vector<unsigned> five = {OCI_FO_BEGIN, OCI_FO_ERROR, OCI_FO_ERROR, OCI_FO_ERROR, OCI_FO_ERROR, OCI_FO_ERROR};
  ocilite_test_failover(OCILITE_T_EXECUTE, OCI_FO_SESSION, five.data(), 6);
  std::vector<harness::DiagRec> recs;
  EXPECT_EQ(SQL_ERROR, c->Run("insert into " + t + " values (2)", &recs));
  EXPECT_TRUE(HasText(recs, "IM501"));
  EXPECT_EQ(1, g_events.aborted.load());
  EXPECT_EQ(0, g_events.completed.load());
  const Clock::time_point start = Clock::now();
  EXPECT_EQ(SQL_ERROR, c->Run("select a from " + t, &recs));
  EXPECT_TRUE(HasText(recs, "ORA-03114"));
  EXPECT_LT(Clock::now() - start, std::chrono::seconds(2));
  EXPECT_EQ(1, g_events.aborted.load());
  c.reset();
  Conn again(GetParam(), "");
  ASSERT_TRUE(again.ok());
  EXPECT_EQ("1", again.One("select count(*) from " + t));
}

// Without the callback a completed failover is invisible and an aborted one
// gives the call's own ORA- error.
TEST_P(DmFailover, WithoutTheCallbackResultsDoNotChange) {
  Open(/*callback=*/false);
  const std::string t = T("fo_nocb");
  Table(t, 0);
  const std::vector<unsigned> quick = {OCI_FO_BEGIN, OCI_FO_END};
  ocilite_test_failover(OCILITE_T_EXECUTE, OCI_FO_SESSION, quick.data(), 2);
  std::vector<harness::DiagRec> recs;
  EXPECT_EQ(SQL_SUCCESS, c->Run("insert into " + t + " values (1)", &recs));
  const std::vector<unsigned> given = {OCI_FO_BEGIN, OCI_FO_ABORT};
  ocilite_test_failover(OCILITE_T_EXECUTE, OCI_FO_SESSION, given.data(), 2);
  EXPECT_EQ(SQL_ERROR, c->Run("insert into " + t + " values (2)", &recs));
  EXPECT_TRUE(HasText(recs, "ORA-25408"));
  EXPECT_FALSE(HasText(recs, "IM501"));
  EXPECT_EQ(0, g_events.completed.load() + g_events.aborted.load());
}

// SQLCancel during the failover's retry pause returns at once while the
// failover goes on; IM500 still comes with the call that met it.
TEST_P(DmFailover, CancelDuringTheRetryPauseReturnsAtOnce) {
  Open();
  const std::string t = T("fo_cancel");
  Table(t, 0);
  SQLHSTMT h = SQL_NULL_HSTMT;
  SQLAllocHandle(SQL_HANDLE_STMT, c->dbc, &h);
  ocilite_test_failover(OCILITE_T_EXECUTE, OCI_FO_SESSION, kTwoErrors.data(), 4);
  std::atomic<SQLRETURN> result{-99};
  std::thread worker([&] { result = SQLExecDirect(h, Text("insert into " + t + " values (1)"), SQL_NTS); });
  std::this_thread::sleep_for(std::chrono::milliseconds(300));  // inside the first pause
  const Clock::time_point start = Clock::now();
  SQLCancel(h);
  // Waiting for the failover would take the rest of two one-second pauses.
  EXPECT_LT(Clock::now() - start, std::chrono::milliseconds(1000));
  worker.join();
  EXPECT_TRUE(result.load() == SQL_SUCCESS_WITH_INFO || result.load() == SQL_ERROR) << result.load();
  EXPECT_TRUE(HasText(harness::DmDiags(SQL_HANDLE_STMT, h), "IM500"));
  EXPECT_EQ(1, g_events.completed.load());
  SQLFreeHandle(SQL_HANDLE_STMT, h);
}

INSTANTIATE_TEST_SUITE_P(Drivers, DmFailover, ::testing::Values("kvd_pool_w", "kvd_pool_a"));

}  // namespace
