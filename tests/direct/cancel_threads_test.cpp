// Both drivers loaded directly (no Driver Manager, whose own locking would
// serialise the calls): eight threads, each on its own connection, insert
// and count while another thread cancels their statements at random.
// Afterwards the table holds exactly the inserts that answered success: a
// cancelled insert is never committed and a successful one never lost.
// Bounded by rounds, not by time; nothing depends on when a cancel lands.
#include <gtest/gtest.h>

#include <atomic>
#include <cstdio>
#include <memory>
#include <mutex>
#include <random>
#include <set>
#include <string>
#include <thread>
#include <vector>

#include "direct_db.h"
#include "harness.h"

namespace {

constexpr int kThreads = 8;
constexpr int kRounds = 30;

using direct::Database;

struct Variant {
  harness::Variant variant;
  const char *name;
};

class CancelStress : public ::testing::TestWithParam<Variant> {
 protected:
  void SetUp() override {
    ASSERT_FALSE(Database().empty());
    drv_ = std::make_unique<harness::Driver>(harness::DriverPath(GetParam().variant, harness::kReal));
    ASSERT_TRUE(drv_->ok()) << drv_->error();
    env_ = drv_->AllocEnv();
    ASSERT_NE(env_, nullptr);
  }
  void TearDown() override {
    if (env_) drv_->FreeHandle(SQL_HANDLE_ENV, env_);
  }
  // A connected handle, or SQL_NULL_HDBC.
  SQLHDBC Connect() const {
    SQLHDBC dbc = drv_->AllocDbc(env_);
    if (!dbc) return SQL_NULL_HDBC;
    const SQLRETURN rc = drv_->DriverConnect(dbc, "SQLNET=" + Database() + ";UID=scott;PWD=tiger");
    EXPECT_TRUE(SQL_SUCCEEDED(rc)) << drv_->DiagText(SQL_HANDLE_DBC, dbc);
    if (SQL_SUCCEEDED(rc)) return dbc;
    drv_->FreeHandle(SQL_HANDLE_DBC, dbc);
    return SQL_NULL_HDBC;
  }
  void Disconnect(SQLHDBC dbc) const {
    EXPECT_EQ(SQL_SUCCESS, KVD_FN(*drv_, SQLDisconnect)(dbc));
    drv_->FreeHandle(SQL_HANDLE_DBC, dbc);
  }
  std::string State(SQLHSTMT h) const {
    auto recs = drv_->Diags(SQL_HANDLE_STMT, h);
    return recs.empty() ? "" : recs[0].state;
  }
  // The values of the query's first column, in order.
  std::vector<long> Values(SQLHSTMT h, const std::string &sql) const {
    std::vector<long> out;
    EXPECT_TRUE(SQL_SUCCEEDED(drv_->ExecDirect(h, sql))) << drv_->DiagText(SQL_HANDLE_STMT, h);
    SQLINTEGER v = 0;
    SQLLEN ind = 0;
    while (SQL_SUCCEEDED(KVD_FN(*drv_, SQLFetch)(h))) {
      EXPECT_TRUE(SQL_SUCCEEDED(KVD_FN(*drv_, SQLGetData)(h, 1, SQL_C_SLONG, &v, 0, &ind)));
      out.push_back(v);
    }
    KVD_FN(*drv_, SQLFreeStmt)(h, SQL_CLOSE);
    return out;
  }

  std::unique_ptr<harness::Driver> drv_;
  SQLHENV env_ = SQL_NULL_HENV;
};

// What a cancel may leave a worker's call with: cancelled; no cursor to
// fetch from (a cancel of a statement with nothing running closes its
// cursor); or, when such a cancel came between the call's return and the
// reading of its diagnostics, the cancel's own 01S05 in their place.
// Anything else is a fault.
bool CancelOutcome(const std::string &state) {
  return state == "HY008" || state == "HY010" || state == "24000" || state == "01S05";
}

TEST_P(CancelStress, EightWritersAndACancellerLeaveExactlyTheSuccessfulInserts) {
  const std::string table = std::string("stress_") + GetParam().name;
  SQLHDBC owner = Connect();
  ASSERT_NE(owner, nullptr);
  SQLHSTMT ownerStmt = drv_->AllocStmt(owner);
  drv_->ExecDirect(ownerStmt, "drop table " + table);
  ASSERT_EQ(SQL_SUCCESS, drv_->ExecDirect(ownerStmt, "create table " + table + " (id number(10))"))
      << drv_->DiagText(SQL_HANDLE_STMT, ownerStmt);

  // Every worker's connection and statement exist before the canceller
  // starts and stay until it has stopped: it never meets a freed handle.
  SQLHDBC dbcs[kThreads];
  SQLHSTMT stmts[kThreads];
  for (int t = 0; t < kThreads; ++t) {
    dbcs[t] = Connect();
    ASSERT_NE(dbcs[t], nullptr);
    stmts[t] = drv_->AllocStmt(dbcs[t]);
    ASSERT_NE(stmts[t], nullptr);
  }

  std::mutex mu;
  std::set<long> succeeded;
  std::vector<std::string> faults;
  std::atomic<int> running{kThreads};
  std::atomic<unsigned> cancels{0};
  std::thread canceller([&] {
    std::mt19937 rng(20261211);
    while (running.load() > 0) {
      SQLHSTMT h = stmts[rng() % kThreads];
      if (KVD_FN(*drv_, SQLCancel)(h) == SQL_SUCCESS) ++cancels;
      std::this_thread::sleep_for(std::chrono::microseconds(rng() % 500));
    }
  });
  std::vector<std::thread> workers;
  for (int t = 0; t < kThreads; ++t) {
    workers.emplace_back([&, t] {
      SQLHSTMT h = stmts[t];
      for (int i = 0; i < kRounds; ++i) {
        const long id = t * 1000L + i;
        SQLRETURN rc = drv_->ExecDirect(h, "insert into " + table + " values (" + std::to_string(id) + ")");
        std::string state = SQL_SUCCEEDED(rc) ? "" : State(h);
        std::lock_guard<std::mutex> g(mu);
        if (SQL_SUCCEEDED(rc))
          succeeded.insert(id);
        else if (!CancelOutcome(state))
          faults.push_back("insert " + std::to_string(id) + ": " + drv_->DiagText(SQL_HANDLE_STMT, h));
      }
      for (int i = 0; i < kRounds / 3; ++i) {
        SQLRETURN rc = drv_->ExecDirect(h, "select count(*) from " + table);
        if (SQL_SUCCEEDED(rc)) rc = KVD_FN(*drv_, SQLFetch)(h);
        const std::string state = SQL_SUCCEEDED(rc) ? "" : State(h);
        KVD_FN(*drv_, SQLFreeStmt)(h, SQL_CLOSE);
        std::lock_guard<std::mutex> g(mu);
        if (!SQL_SUCCEEDED(rc) && !CancelOutcome(state))
          faults.push_back("count: " + drv_->DiagText(SQL_HANDLE_STMT, h));
      }
      --running;
    });
  }
  for (std::thread &w : workers) w.join();
  canceller.join();
  for (const std::string &f : faults) ADD_FAILURE() << f;

  // Every session reads the same rows: each insert that answered success,
  // and nothing else; no lock or transaction was left behind.
  const std::vector<long> want(succeeded.begin(), succeeded.end());
  EXPECT_EQ(Values(ownerStmt, "select id from " + table + " order by id"), want)
      << cancels.load() << " cancels";
  std::printf("%zu of %d inserts succeeded, %u cancels\n", succeeded.size(), kThreads * kRounds, cancels.load());
  for (int t = 0; t < kThreads; ++t) {
    EXPECT_EQ(SQL_SUCCESS, drv_->ExecDirect(stmts[t], "insert into " + table + " values (-1)"))
        << drv_->DiagText(SQL_HANDLE_STMT, stmts[t]);
    KVD_FN(*drv_, SQLFreeStmt)(stmts[t], SQL_CLOSE);
    Disconnect(dbcs[t]);
  }
  EXPECT_EQ(Values(ownerStmt, "select count(*) from " + table + " where id = -1"), std::vector<long>{kThreads});
  drv_->ExecDirect(ownerStmt, "drop table " + table);
  drv_->FreeHandle(SQL_HANDLE_STMT, ownerStmt);
  Disconnect(owner);
}

INSTANTIATE_TEST_SUITE_P(Drivers, CancelStress,
                         ::testing::Values(Variant{harness::kUnicode, "unicode"}, Variant{harness::kAnsi, "ansi"}),
                         [](const ::testing::TestParamInfo<Variant> &i) { return std::string(i.param.name); });

}  // namespace
