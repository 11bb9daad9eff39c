// Both drivers loaded directly, one whole cycle of an application's life
// (connect, prepare, bind, execute, fetch with a LOB read, commit, rollback,
// disconnect) run once for every OCI call it makes, with that one call
// failed (or answering a warning). Whatever call fails, the application gets
// an error with a SQLSTATE and its ORA- text, never a crash or a leak; the
// connection stays usable or frees cleanly; and the table holds exactly the
// work that was reported done. A warning fails nothing, and one of the work
// the application asked for (prepare, execute, fetch, long data, commit,
// rollback, logoff) reaches it as a success with information.
#include <gtest/gtest.h>

#include <cstdio>
#include <ostream>
#include <memory>
#include <string>
#include <vector>

#include "direct_db.h"
#include "harness.h"

namespace {

constexpr int kOra = 600;  // the injected failure: ORA-00600
constexpr long kRolledBack = 1000000;  // added to the id of the row each cycle rolls back
const std::string kDoc(3000, 'x');  // a CLOB value

// Calls whose warning an application hears of: the work it asked for.
bool WarningReported(int kind) {
  switch (kind) {
    case OCILITE_T_PREPARE: case OCILITE_T_EXECUTE: case OCILITE_T_FETCH: case OCILITE_T_COMMIT:
    case OCILITE_T_ROLLBACK: case OCILITE_T_SESSION_END: case OCILITE_T_LOB_READ: case OCILITE_T_LOB_LENGTH:
    case OCILITE_T_LOB_CHARSET: case OCILITE_T_PIECE_INFO:
      return true;
    default:
      return false;
  }
}

// Calls that have no error handle to give their reason on: an application
// can only hear that they failed.
bool WithoutErrorHandle(int kind) {
  return kind == OCILITE_T_ENV_CREATE || kind == OCILITE_T_HANDLE_ALLOC || kind == OCILITE_T_DESCRIPTOR_ALLOC ||
         kind == OCILITE_T_CHARSET;
}

struct Mode {
  harness::Variant variant;
  bool warning;  // the failed call does its work and answers a warning
  const char *name;
};
void PrintTo(const Mode &m, std::ostream *os) { *os << m.name; }

class FaultWalk : public ::testing::TestWithParam<Mode> {
 protected:
  void SetUp() override {
    ASSERT_FALSE(direct::Database().empty());
    drv_ = std::make_unique<harness::Driver>(harness::DriverPath(GetParam().variant, harness::kReal));
    ASSERT_TRUE(drv_->ok()) << drv_->error();
    checkEnv_ = drv_->AllocEnv();
    ASSERT_NE(checkEnv_, nullptr);
    check_ = Connect(checkEnv_);
    ASSERT_NE(check_, nullptr);
    checkStmt_ = drv_->AllocStmt(check_);
    table_ = std::string("walk_") + GetParam().name;
    drv_->ExecDirect(checkStmt_, "drop table " + table_);
    drv_->ExecDirect(checkStmt_, "drop table " + table_ + "_src");
    ASSERT_EQ(SQL_SUCCESS, drv_->ExecDirect(checkStmt_, "create table " + table_ + " (id number(10), name varchar2(20))"));
    ASSERT_EQ(SQL_SUCCESS, drv_->ExecDirect(checkStmt_, "create table " + table_ +
                                                            "_src (id number(10), ts timestamp, doc clob)"));
    for (int i = 1; i <= 2; ++i)
      ASSERT_EQ(SQL_SUCCESS, drv_->ExecDirect(checkStmt_, "insert into " + table_ + "_src values (" +
                                                              std::to_string(i) + ", timestamp '2024-02-2" +
                                                              std::to_string(i) + " 10:11:12', '" + kDoc + "')"))
          << drv_->DiagText(SQL_HANDLE_STMT, checkStmt_);
  }
  void TearDown() override {
    ocilite_test_reset();
    if (checkStmt_) drv_->FreeHandle(SQL_HANDLE_STMT, checkStmt_);
    if (check_) {
      KVD_FN(*drv_, SQLDisconnect)(check_);
      drv_->FreeHandle(SQL_HANDLE_DBC, check_);
    }
    if (checkEnv_) drv_->FreeHandle(SQL_HANDLE_ENV, checkEnv_);
  }

  SQLHDBC Connect(SQLHENV env) const {
    SQLHDBC dbc = drv_->AllocDbc(env);
    if (dbc && SQL_SUCCEEDED(drv_->DriverConnect(dbc, "SQLNET=" + direct::Database() + ";UID=scott;PWD=tiger")))
      return dbc;
    if (dbc) drv_->FreeHandle(SQL_HANDLE_DBC, dbc);
    return SQL_NULL_HDBC;
  }

  // SQLSetConnectAttr(W): an integer attribute takes the same call in both.
  decltype(&::SQLSetConnectAttr) SetConnectAttr() const {
    return drv_->Fn<decltype(&::SQLSetConnectAttr)>(drv_->unicode() ? "SQLSetConnectAttrW" : "SQLSetConnectAttr");
  }

  // The ids of the table, in order, read on the checking connection.
  std::vector<long> Ids() const {
    std::vector<long> out;
    EXPECT_EQ(SQL_SUCCESS, drv_->ExecDirect(checkStmt_, "select id from " + table_ + " order by id"))
        << drv_->DiagText(SQL_HANDLE_STMT, checkStmt_);
    SQLINTEGER v = 0;
    SQLLEN ind = 0;
    while (SQL_SUCCEEDED(KVD_FN(*drv_, SQLFetch)(checkStmt_)) &&
           SQL_SUCCEEDED(KVD_FN(*drv_, SQLGetData)(checkStmt_, 1, SQL_C_SLONG, &v, 0, &ind)))
      out.push_back(v);
    KVD_FN(*drv_, SQLFreeStmt)(checkStmt_, SQL_CLOSE);
    return out;
  }

  // One cycle inserting and committing row id, inserting and rolling back
  // row id + kRolledBack. Returns whether the commit reported success; every
  // call that fails must explain itself, and after the first failure the
  // cycle only checks that what is left is usable and frees cleanly.
  bool Cycle(long id, std::vector<std::string> &faults) const {
    bool committed = false;
    std::string where;
    auto failed = [&](const char *step, SQLRETURN rc, SQLSMALLINT type, SQLHANDLE h) {
      if (rc == SQL_SUCCESS_WITH_INFO) Heard(type, h);
      if (SQL_SUCCEEDED(rc)) return false;
      where = step;
      const auto recs = drv_->Diags(type, h);
      if (recs.empty() || recs[0].state.size() != 5)
        faults.push_back(std::string(step) + ": rc " + std::to_string(rc) + " without a diagnostic");
      else if (recs[0].state != "HY001" && recs[0].message.find("ORA-") == std::string::npos &&
               !WithoutErrorHandle(ocilite_test_fired()))
        faults.push_back(std::string(step) + ": no ORA- text: " + drv_->DiagText(type, h));
      return true;
    };
    SQLHENV env = drv_->AllocEnv();
    if (!env) {
      faults.push_back("environment refused");
      return false;
    }
    SQLHDBC dbc = drv_->AllocDbc(env);
    SQLHSTMT st = SQL_NULL_HSTMT;
    bool connected = false;
    if (!dbc) {
      where = "allocate connection";
    } else if (!failed("connect", drv_->DriverConnect(dbc, "SQLNET=" + direct::Database() + ";UID=scott;PWD=tiger"),
                       SQL_HANDLE_DBC, dbc)) {
      connected = true;
      SQLINTEGER iv = static_cast<SQLINTEGER>(id);
      SQLLEN nameLen = SQL_NTS, ivLen = 0;
      char name[] = "walker";
      SQLINTEGER got = 0;
      SQLLEN gotInd = 0;
      SQL_TIMESTAMP_STRUCT ts{};
      SQLLEN tsInd = 0;
      std::string doc(kDoc.size() + 1, '\0');
      SQLLEN docInd = 0;
      const std::string insert = "insert into " + table_ + " values (?, ?)";
      // Each step runs only when the ones before it succeeded.
      bool ok = !failed("allocate statement", drv_->AllocHandle(SQL_HANDLE_STMT, dbc, &st), SQL_HANDLE_DBC, dbc);
      ok = ok && !failed("autocommit off",
                         SetConnectAttr()(dbc, SQL_ATTR_AUTOCOMMIT, reinterpret_cast<SQLPOINTER>(SQL_AUTOCOMMIT_OFF), 0),
                         SQL_HANDLE_DBC, dbc);
      ok = ok && !failed("prepare", drv_->Prepare(st, insert), SQL_HANDLE_STMT, st);
      ok = ok && !failed("bind 1",
                         KVD_FN(*drv_, SQLBindParameter)(st, 1, SQL_PARAM_INPUT, SQL_C_SLONG, SQL_INTEGER, 0, 0,
                                                         &iv, 0, &ivLen),
                         SQL_HANDLE_STMT, st);
      ok = ok && !failed("bind 2",
                         KVD_FN(*drv_, SQLBindParameter)(st, 2, SQL_PARAM_INPUT, SQL_C_CHAR, SQL_VARCHAR, 20, 0,
                                                         name, sizeof name, &nameLen),
                         SQL_HANDLE_STMT, st);
      ok = ok && !failed("execute", KVD_FN(*drv_, SQLExecute)(st), SQL_HANDLE_STMT, st);
      ok = ok && !failed("commit", KVD_FN(*drv_, SQLEndTran)(SQL_HANDLE_DBC, dbc, SQL_COMMIT), SQL_HANDLE_DBC, dbc);
      committed = ok;
      iv = static_cast<SQLINTEGER>(id + kRolledBack);
      ok = ok && !failed("execute again", KVD_FN(*drv_, SQLExecute)(st), SQL_HANDLE_STMT, st);
      ok = ok && !failed("rollback", KVD_FN(*drv_, SQLEndTran)(SQL_HANDLE_DBC, dbc, SQL_ROLLBACK), SQL_HANDLE_DBC,
                         dbc);
      ok = ok && !failed("unbind", KVD_FN(*drv_, SQLFreeStmt)(st, SQL_RESET_PARAMS), SQL_HANDLE_STMT, st);
      ok = ok && !failed("query",
                         drv_->ExecDirect(st, "select id, ts, doc from " + table_ + "_src order by id"),
                         SQL_HANDLE_STMT, st);
      ok = ok && !failed("bind column",
                         KVD_FN(*drv_, SQLBindCol)(st, 1, SQL_C_SLONG, &got, 0, &gotInd), SQL_HANDLE_STMT, st);
      for (int row = 1; ok && row <= 2; ++row) {
        ok = !failed("fetch", KVD_FN(*drv_, SQLFetch)(st), SQL_HANDLE_STMT, st);
        ok = ok && !failed("get timestamp",
                           KVD_FN(*drv_, SQLGetData)(st, 2, SQL_C_TYPE_TIMESTAMP, &ts, sizeof ts, &tsInd),
                           SQL_HANDLE_STMT, st);
        ok = ok && !failed("get lob",
                           KVD_FN(*drv_, SQLGetData)(st, 3, SQL_C_CHAR, doc.data(),
                                                     static_cast<SQLLEN>(doc.size()), &docInd),
                           SQL_HANDLE_STMT, st);
        if (ok && (got != row || ts.day != 20 + row || ts.second != 12 || doc.c_str() != kDoc))
          faults.push_back("row " + std::to_string(row) + " read wrongly");
      }
      // The fetch that finds the end answers SQL_NO_DATA: a warning of its
      // OCI fetch has no call to go with.
      endFetch_[0] = ocilite_test_calls(OCILITE_T_ANY);
      ok = ok && KVD_FN(*drv_, SQLFetch)(st) == SQL_NO_DATA;
      endFetch_[1] = ocilite_test_calls(OCILITE_T_ANY);
      if (!ok && where.empty()) where = "end of data";
      ok = ok && !failed("close", KVD_FN(*drv_, SQLFreeStmt)(st, SQL_CLOSE), SQL_HANDLE_STMT, st);
      if (!ok) {
        // What the failure left must still work: end the transaction, run a
        // statement on the same connection (unless the failure was the
        // connection's), and free it all.
        if (st) KVD_FN(*drv_, SQLFreeStmt)(st, SQL_CLOSE);
        if (!st && !SQL_SUCCEEDED(drv_->AllocHandle(SQL_HANDLE_STMT, dbc, &st)))
          faults.push_back("no statement after " + where + ": " + drv_->DiagText(SQL_HANDLE_DBC, dbc));
        failed("rollback after failure", KVD_FN(*drv_, SQLEndTran)(SQL_HANDLE_DBC, dbc, SQL_ROLLBACK), SQL_HANDLE_DBC,
               dbc);
        SQLRETURN rc = drv_->ExecDirect(st, "select count(*) from " + table_);
        if (!SQL_SUCCEEDED(rc))
          faults.push_back("connection unusable after " + where + ": " + drv_->DiagText(SQL_HANDLE_STMT, st));
        KVD_FN(*drv_, SQLFreeStmt)(st, SQL_CLOSE);
      }
    }
    if (st && drv_->FreeHandle(SQL_HANDLE_STMT, st) != SQL_SUCCESS) faults.push_back("statement not freed");
    if (connected) {
      const SQLRETURN rc = KVD_FN(*drv_, SQLDisconnect)(dbc);
      if (!SQL_SUCCEEDED(rc)) faults.push_back("disconnect: " + drv_->DiagText(SQL_HANDLE_DBC, dbc));
      if (rc == SQL_SUCCESS_WITH_INFO) Heard(SQL_HANDLE_DBC, dbc);
    }
    if (dbc && drv_->FreeHandle(SQL_HANDLE_DBC, dbc) != SQL_SUCCESS) faults.push_back("connection not freed");
    if (drv_->FreeHandle(SQL_HANDLE_ENV, env) != SQL_SUCCESS) faults.push_back("environment not freed");
    lastFailure_ = where;
    return committed;
  }

  // A call's success with information carries the injected record.
  void Heard(SQLSMALLINT type, SQLHANDLE h) const {
    if (drv_->DiagText(type, h).find("ORA-00600") != std::string::npos) heard_ = true;
  }

  std::unique_ptr<harness::Driver> drv_;
  SQLHENV checkEnv_ = SQL_NULL_HENV;
  SQLHDBC check_ = SQL_NULL_HDBC;
  SQLHSTMT checkStmt_ = SQL_NULL_HSTMT;
  std::string table_;
  mutable std::string lastFailure_;
  mutable bool heard_ = false;             // the injected warning reached the application
  mutable unsigned endFetch_[2] = {0, 0};  // the calls of the fetch that found the end
};

TEST_P(FaultWalk, EveryFailedCallIsReportedAndLeavesNothingHalfDone) {
  const bool warning = GetParam().warning;
  // A clean cycle counts the OCI calls of one cycle (the first one of the
  // process may make more, so it runs twice).
  std::vector<std::string> faults;
  ASSERT_TRUE(Cycle(1, faults));
  ocilite_test_reset();
  ASSERT_TRUE(Cycle(2, faults));
  const unsigned calls = ocilite_test_calls(OCILITE_T_ANY);
  ASSERT_TRUE(faults.empty()) << faults[0];
  ASSERT_GT(calls, 20u);
  std::vector<long> want = {1, 2};
  unsigned failedCycles = 0;
  for (unsigned n = 1; n <= calls; ++n) {
    const long id = 100 + n;
    ocilite_test_reset();
    ocilite_test_fault(OCILITE_T_ANY, static_cast<int>(n), 1, kOra, warning ? 1 : 0, nullptr);
    faults.clear();
    heard_ = false;
    const bool committed = Cycle(id, faults);
    const int fired = ocilite_test_fired();
    ocilite_test_reset();
    if (!lastFailure_.empty()) ++failedCycles;
    for (const std::string &f : faults) ADD_FAILURE() << "call " << n << " (kind " << fired << "): " << f;
    if (warning) {
      EXPECT_TRUE(lastFailure_.empty()) << "call " << n << ": a warning failed " << lastFailure_;
      const bool atTheEnd = n > endFetch_[0] && n <= endFetch_[1];
      if (WarningReported(fired) && !atTheEnd) {
        EXPECT_TRUE(heard_) << "call " << n << " (kind " << fired << "): its warning never reached the application";
      }
    }
    if (committed) want.push_back(id);
    // Exactly the rows whose commit answered success; never a rolled back one.
    ASSERT_EQ(Ids(), want) << "call " << n << " failed " << lastFailure_;
  }
  std::printf("%u OCI calls a cycle, %u cycles failed\n", calls, failedCycles);
}

INSTANTIATE_TEST_SUITE_P(Drivers, FaultWalk,
                         ::testing::Values(Mode{harness::kUnicode, false, "unicode_error"},
                                           Mode{harness::kAnsi, false, "ansi_error"},
                                           Mode{harness::kUnicode, true, "unicode_warning"},
                                           Mode{harness::kAnsi, true, "ansi_warning"}),
                         [](const ::testing::TestParamInfo<Mode> &i) { return std::string(i.param.name); });

}  // namespace
