// Connections enlisted in a coordinator's transactions, through unixODBC:
// the application enlists with SQL_ATTR_ENLIST_IN_DTC, works, and the test
// double coordinator ends the transaction through the driver's resource
// object on its own thread. Plain connections (and pyodbc) read what the
// transactions left.
#include <gtest/gtest.h>

#include <chrono>
#include <cstdlib>
#include <cstring>
#include <future>
#include <memory>
#include <string>
#include <thread>

#include "harness.h"
#include "xa_support.h"
#include "ocilite.h"
#include "txcdouble.h"

namespace {

using harness::Variant;
using txc::AfterPrepare;
using txc::HelperCall;

constexpr txc::HRESULT kS_OK = txc::kS_OK;
constexpr txc::HRESULT kE_FAIL = txc::kE_FAIL;
constexpr txc::HRESULT kReadOnly = txc::kXACT_S_READONLY;
constexpr int kCommitVerb = 6;  // the stand-in's hook numbers: open 0, commit 6
constexpr int kOpenVerb = 0;
// A password with a ';': the enlistment's connection text and the
// coordinator's recovery must keep it whole.
constexpr const char *kPassword = "ti;ger";

const char *Dsn(Variant v) { return v == harness::kUnicode ? "DTC1" : "DTC1A"; }

std::string g_dir;

void MakeDatabase() {
  static bool done = [] {
    g_dir = harness::DmInit().dir;
    const std::string db = g_dir + "/dtc_db";
    const std::string tool = std::string(KVD_BUILD_DIR) + "/bin/ocilite-admin";
    for (const std::string &args : {"create '" + db + "'", "adduser '" + db + "' scott '" + kPassword + "'",
                                    "sql '" + db + "' scott '" + kPassword + "' \"create table t (n number)\""}) {
      if (std::system(("'" + tool + "' " + args + " >/dev/null").c_str()) != 0) return false;
    }
    harness::DmInit({{"DTC1", harness::kDmUnicode, {{"SQLNETConnect", db}}},
                     {"DTC1A", harness::kDmAnsi, {{"SQLNETConnect", db}}}});
    return true;
  }();
  ASSERT_TRUE(done);
}

// An application connection through unixODBC.
class App {
 public:
  explicit App(Variant v) {
    SQLAllocHandle(SQL_HANDLE_ENV, SQL_NULL_HANDLE, &env_);
    SQLSetEnvAttr(env_, SQL_ATTR_ODBC_VERSION, reinterpret_cast<SQLPOINTER>(SQL_OV_ODBC3), 0);
    SQLAllocHandle(SQL_HANDLE_DBC, env_, &dbc_);
    std::string in = std::string("DSN=") + Dsn(v) + ";UID=scott;PWD={" + kPassword + "}";
    ok_ = SQL_SUCCEEDED(SQLDriverConnect(dbc_, nullptr, reinterpret_cast<SQLCHAR *>(in.data()), SQL_NTS, nullptr, 0,
                                         nullptr, SQL_DRIVER_NOPROMPT));
    if (!ok_) error_ = harness::DmDiagText(SQL_HANDLE_DBC, dbc_);
  }
  ~App() {
    if (ok_) SQLDisconnect(dbc_);
    SQLFreeHandle(SQL_HANDLE_DBC, dbc_);
    SQLFreeHandle(SQL_HANDLE_ENV, env_);
  }
  bool ok() const { return ok_; }
  const std::string &error() const { return error_; }
  SQLHDBC dbc() const { return dbc_; }
  // SQL_ATTR_ENLIST_IN_DTC; "" or the first SQLSTATE.
  std::string Enlist(void *tx) {
    SQLRETURN rc = SQLSetConnectAttr(dbc_, SQL_ATTR_ENLIST_IN_DTC, tx, SQL_IS_POINTER);
    if (SQL_SUCCEEDED(rc)) return "";
    auto d = harness::DmDiags(SQL_HANDLE_DBC, dbc_);
    return d.empty() ? "?" : d[0].state;
  }
  // Runs one statement; the first column of its first row, "" without
  // one, or "error <SQLSTATE> <native>".
  std::string Exec(const std::string &sql) {
    SQLHSTMT st = SQL_NULL_HSTMT;
    SQLAllocHandle(SQL_HANDLE_STMT, dbc_, &st);
    std::string out = Result(st, SQLExecDirect(st, reinterpret_cast<SQLCHAR *>(const_cast<char *>(sql.c_str())), SQL_NTS));
    SQLFreeHandle(SQL_HANDLE_STMT, st);
    return out;
  }
  static std::string Result(SQLHSTMT st, SQLRETURN rc) {
    if (!SQL_SUCCEEDED(rc)) {
      auto d = harness::DmDiags(SQL_HANDLE_STMT, st);
      return d.empty() ? "error" : "error " + d[0].state + " " + std::to_string(d[0].native);
    }
    std::string out;
    SQLSMALLINT cols = 0;
    SQLNumResultCols(st, &cols);
    if (cols > 0 && SQL_SUCCEEDED(SQLFetch(st))) {
      char buf[64] = "";
      SQLLEN ind = 0;
      SQLGetData(st, 1, SQL_C_CHAR, buf, sizeof buf, &ind);
      out = buf;
    }
    SQLFreeStmt(st, SQL_CLOSE);
    return out;
  }

 private:
  SQLHENV env_ = SQL_NULL_HENV;
  SQLHDBC dbc_ = SQL_NULL_HDBC;
  bool ok_ = false;
  std::string error_;
};

// What the table holds, read on a fresh plain connection.
std::string Rows(Variant v) { return App(v).Exec("select count(*) from t"); }

std::string PyOdbc(Variant v, const char *action) {
  return xatest::PyOdbc(std::string(Dsn(v)) + " " + action + " '" + kPassword + "'");
}

// A transaction of the double, released at scope end.
struct Tx {
  txc::Transaction *p;
  explicit Tx(txc::Coordinator &c) : p(c.Begin()) {}
  ~Tx() { p->Release(); }
  txc::Transaction *operator->() const { return p; }
};

// The answer of a call on another thread, waited for with a bound: nullopt
// while it has not come.
template <class T>
bool Ready(std::future<T> &f, std::chrono::milliseconds bound) {
  return f.wait_for(bound) == std::future_status::ready;
}
constexpr auto kLong = std::chrono::seconds(60);
// Long enough for a call that is free to run to finish on a loaded
// machine; a call that waits for a lock never finishes within it.
constexpr auto kShort = std::chrono::milliseconds(300);

class OleTxTest : public ::testing::TestWithParam<Variant> {
 protected:
  void SetUp() override {
    MakeDatabase();
    app_ = std::make_unique<App>(v());
    ASSERT_TRUE(app_->ok()) << app_->error();
    ASSERT_EQ("", app_->Exec("delete from t"));
  }
  Variant v() const { return GetParam(); }
  txc::Coordinator coord_;
  std::unique_ptr<App> app_;
};

// How the coordinator ends an enlisted connection's transaction: what the
// resource answers at each step and what the table holds after.
TEST_P(OleTxTest, TransactionOutcomes) {
  struct Case {
    const char *name;
    const char *sql;
    bool abort;
    AfterPrepare after;
    bool singlePhase;
    std::vector<txc::HRESULT> prepared, ended;
    const char *rowsAfter;
  } cases[] = {
      {"commit", "insert into t values (1)", false, AfterPrepare::Commit, false, {kS_OK}, {kS_OK}, "1"},
      {"single-phase", "insert into t values (1)", false, AfterPrepare::Commit, true, {kS_OK}, {kS_OK}, "1"},
      {"abort", "insert into t values (1)", true, AfterPrepare::Commit, false, {}, {kS_OK}, "0"},
      {"read-only", "select count(*) from t", false, AfterPrepare::Commit, false, {kReadOnly}, {}, "0"},
      {"coordinator down after prepare", "insert into t values (1)", false, AfterPrepare::Down, false, {kS_OK},
       {kS_OK}, "0"},
  };
  for (const Case &c : cases) {
    SCOPED_TRACE(c.name);
    Tx tx(coord_);
    ASSERT_EQ("", app_->Enlist(tx.p));
    EXPECT_EQ(1u, tx->Enlisted());
    EXPECT_NE("error", app_->Exec(c.sql).substr(0, 5));
    EXPECT_EQ("0", Rows(v()));  // nothing is seen before the outcome
    txc::Outcome o = c.abort ? tx->Abort() : tx->Commit(c.after, c.singlePhase);
    EXPECT_EQ(c.prepared, o.prepared);
    EXPECT_EQ(c.ended, o.ended);
    EXPECT_EQ(c.rowsAfter, Rows(v()));
    // The connection is free again: no lock kept, and it runs statements.
    EXPECT_EQ(c.rowsAfter, app_->Exec("select count(*) from t"));
    EXPECT_EQ("", app_->Enlist(nullptr));
    App(v()).Exec("delete from t");
  }
  std::string py = PyOdbc(v(), "count");
  if (py != "skip") {
    EXPECT_EQ("0", py);
  }
}

// The committed rows through pyodbc on a plain connection.
TEST_P(OleTxTest, PyodbcSeesTheCommittedRows) {
  Tx tx(coord_);
  ASSERT_EQ("", app_->Enlist(tx.p));
  ASSERT_EQ("", app_->Exec("insert into t values (1)"));
  ASSERT_EQ("", app_->Exec("insert into t values (2)"));
  std::string before = PyOdbc(v(), "count");
  if (before == "skip") GTEST_SKIP() << "no pyodbc";
  EXPECT_EQ("0", before);
  EXPECT_TRUE(tx->Commit().committed);
  EXPECT_EQ("2", PyOdbc(v(), "count"));
  EXPECT_EQ("", app_->Enlist(nullptr));
}

// While the branch is prepared the application's calls on the connection
// wait for the outcome; a commit answered XA_RETRY keeps them waiting until
// a later commit succeeds.
TEST_P(OleTxTest, CallsWaitWhilePrepared) {
  for (bool retry : {false, true}) {
    SCOPED_TRACE(retry ? "commit retried" : "commit");
    Tx tx(coord_);
    ASSERT_EQ("", app_->Enlist(tx.p));
    ASSERT_EQ("", app_->Exec("insert into t values (1)"));
    auto commit = std::async(std::launch::async, [&] { return tx->Commit(AfterPrepare::Pause); });
    ASSERT_TRUE(tx->WaitPaused());
    auto call = std::async(std::launch::async, [&] { return app_->Exec("select count(*) from t"); });
    EXPECT_FALSE(Ready(call, kShort)) << "a call ran while the branch was prepared";
    if (retry) ocilite_test_xa(kCommitVerb, XA_RETRY);
    tx->Resume();
    ASSERT_TRUE(Ready(commit, kLong));
    txc::Outcome o = commit.get();
    if (retry) {
      EXPECT_EQ(std::vector<txc::HRESULT>{kE_FAIL}, o.ended);
      EXPECT_FALSE(Ready(call, kShort)) << "the lock went with a commit to be retried";
      o = tx->CommitAgain();
    }
    EXPECT_EQ(std::vector<txc::HRESULT>{kS_OK}, o.ended);
    ASSERT_TRUE(Ready(call, kLong));
    EXPECT_EQ("1", call.get());  // it ran after the commit
    EXPECT_EQ("", app_->Enlist(nullptr));
    ASSERT_EQ("", app_->Exec("delete from t"));
  }
}

// A coordinator that loses its enlistment after prepare recovers the branch
// through the registered resource manager: it loads the registered driver,
// takes its switch with GetXaSwitch, opens it with the registered string
// (the password with its ';') and commits what xa_recover lists.
TEST_P(OleTxTest, RecoveryThroughTheRegisteredDriver) {
  Tx tx(coord_);
  ASSERT_EQ("", app_->Enlist(tx.p));
  ASSERT_EQ("", app_->Exec("insert into t values (7)"));
  txc::Outcome o = tx->Commit(AfterPrepare::Lose);
  EXPECT_EQ(std::vector<txc::HRESULT>{kS_OK}, o.prepared);
  EXPECT_EQ("0", Rows(v()));
  EXPECT_EQ("error HY000 1591", App(v()).Exec("insert into t values (8)"));  // in doubt

  auto rms = coord_.Registered();
  ASSERT_EQ(1u, rms.size());
  EXPECT_EQ(harness::DriverPath(v(), harness::kReal), rms[0].driverFile);
  EXPECT_NE(std::string::npos, rms[0].openString.find(std::string("PWD={") + kPassword + "}"));
  txc::Recovery r = coord_.Recover(rms[0], 77);
  ASSERT_EQ("", r.error);
  EXPECT_EQ(XA_OK, r.opened);
  ASSERT_EQ(1u, r.found.size());
  const XID want = coord_.XidOf(tx->gtrid(), rms[0].cookie);
  EXPECT_EQ(0, std::memcmp(&want, &r.found[0], sizeof want));
  EXPECT_EQ(std::vector<int>{XA_OK}, r.ended);
  EXPECT_EQ(XA_OK, r.closed);
  EXPECT_EQ("1", Rows(v()));

  // The connection learns the coordinator went down; its branch is gone
  // already, and the connection is given back all the same.
  EXPECT_EQ(std::vector<txc::HRESULT>{kE_FAIL}, coord_.NotifyDown());
  EXPECT_EQ("1", app_->Exec("select count(*) from t"));
  EXPECT_EQ("", app_->Enlist(nullptr));
}

// Refusals: each failing step of the enlistment gives IM932 and leaves the
// connection as it was, working outside any transaction.
TEST_P(OleTxTest, FailedEnlistmentsLeaveTheConnectionLocal) {
  struct Case {
    const char *name;
    HelperCall call;
    int xaOpen;  // the stand-in's answer to the XA open; 0 to leave it
  } cases[] = {
      {"no transaction manager", HelperCall::Accessor, 0},
      {"registration refused", HelperCall::XARMCreate, 0},
      {"no XID for the transaction", HelperCall::ConvertTridToXID, 0},
      {"enlistment refused", HelperCall::EnlistWithRM, 0},
      {"XA open failed", HelperCall::None, XAER_RMERR},
  };
  for (const Case &c : cases) {
    SCOPED_TRACE(c.name);
    Tx tx(coord_);
    coord_.FailNext(c.call, txc::kXACT_E_CONNECTION_DOWN);
    if (c.xaOpen) ocilite_test_xa(kOpenVerb, c.xaOpen);
    EXPECT_EQ("IM932", app_->Enlist(tx.p));
    EXPECT_EQ("25000", app_->Enlist(nullptr));  // not enlisted
    EXPECT_EQ("", app_->Exec("insert into t values (1)"));
    EXPECT_EQ("1", Rows(v()));  // autocommitted: no branch took it
    ASSERT_EQ("", app_->Exec("delete from t"));
  }
}

// While the coordinator holds the connection's resource, the connection
// cannot close (25000) and stays enlisted; once the transaction lets it go,
// it closes.
TEST_P(OleTxTest, CloseWaitsForTheCoordinatorToLetGo) {
  auto *tx = coord_.Begin();
  ASSERT_EQ("", app_->Enlist(tx));
  ASSERT_EQ("", app_->Exec("insert into t values (1)"));
  EXPECT_EQ(SQL_ERROR, SQLDisconnect(app_->dbc()));
  auto d = harness::DmDiags(SQL_HANDLE_DBC, app_->dbc());
  ASSERT_FALSE(d.empty());
  EXPECT_EQ("25000", d[0].state);
  EXPECT_TRUE(tx->Commit().committed);  // still reached the connection
  EXPECT_EQ("1", Rows(v()));
  tx->Release();
  EXPECT_EQ(SQL_SUCCESS, SQLDisconnect(app_->dbc()));
  SQLHDBC again = app_->dbc();
  app_.reset();  // frees the disconnected handle
  (void)again;
}

// A statement prepared before the enlistment keeps working inside the
// transaction and after the connection left it.
TEST_P(OleTxTest, StatementKeptAcrossEnlistment) {
  SQLHSTMT st = SQL_NULL_HSTMT;
  ASSERT_EQ(SQL_SUCCESS, SQLAllocHandle(SQL_HANDLE_STMT, app_->dbc(), &st));
  ASSERT_EQ(SQL_SUCCESS, SQLPrepare(st, reinterpret_cast<SQLCHAR *>(const_cast<char *>("insert into t values (?)")),
                                    SQL_NTS));
  SQLINTEGER n = 0;
  ASSERT_EQ(SQL_SUCCESS, SQLBindParameter(st, 1, SQL_PARAM_INPUT, SQL_C_SLONG, SQL_INTEGER, 0, 0, &n, 0, nullptr));
  auto run = [&](int value) {
    n = value;
    return App::Result(st, SQLExecute(st));
  };
  EXPECT_EQ("", run(1));
  {
    Tx tx(coord_);
    ASSERT_EQ("", app_->Enlist(tx.p));
    EXPECT_EQ("", run(2));
    EXPECT_TRUE(tx->Commit().committed);
    EXPECT_EQ("", app_->Enlist(nullptr));
  }
  EXPECT_EQ("", run(3));
  EXPECT_EQ("3", Rows(v()));
  SQLFreeHandle(SQL_HANDLE_STMT, st);
}

INSTANTIATE_TEST_SUITE_P(Drivers, OleTxTest, ::testing::Values(harness::kUnicode, harness::kAnsi),
                         [](const auto &info) { return info.param == harness::kUnicode ? "Unicode" : "Ansi"; });

// The OLE Transactions lines in the XA trace file: the header, the
// dispenser's steps and their HRESULTs, a failed open's driver code.
TEST(OleTxTrace, LinesOfTheEnlistment) {
  MakeDatabase();
  const std::string path = g_dir + "/oletxtrace";
  setenv("TVX_DEBUGFILE", path.c_str(), 1);
  {
    txc::Coordinator coord;
    App app(harness::kUnicode);
    ASSERT_TRUE(app.ok()) << app.error();
    {
      Tx tx(coord);
      ASSERT_EQ("", app.Enlist(tx.p));
      ASSERT_EQ("", app.Exec("insert into t values (1)"));
      EXPECT_TRUE(tx->Commit().committed);
      EXPECT_EQ("", app.Enlist(nullptr));
    }
    Tx tx(coord);
    ocilite_test_xa(kOpenVerb, XAER_RMERR);
    EXPECT_EQ("IM932", app.Enlist(tx.p));
    app.Exec("delete from t");
  }
  unsetenv("TVX_DEBUGFILE");
  xatest::ExpectTraceLines(path, {
           R"(\*\* Zezuzeru OLE Transactions Interface: Trace file \*\*\n\*\* Started on \w{3} \w{3} \d\d, \d\d:\d\d \*\*\n\n)",
           R"(\n\[\d+\] COdbcResourceDispenser::RMConnect\(\)\n)",
           R"(\n\[\d+\] Call success    : Returned HRESULT: 00000000\(S_OK\)\n)",
           R"(\n\[\d+\] CImpITransactionResourceAsync::PrepareRequest\(fSinglePhase=0\)\n)",
           R"(\n\[\d+\] CImpITransactionResourceAsync::CommitRequest\(\)\n)",
           R"(\n\[\d+\] COdbcResourceDispenser::AddRef\(\), this=0x[0-9a-f]+, m_hConnect=[0-9A-F]+, m_cRef=2\n\[\d+\] Call returned: 2\n)",
           R"(\n\[\d+\] Call failure >>>: Returned HRESULT: 0x80044001\(Unknown!\)\n)",
           R"(\n\[\d+\] COdbcResourceDispenser::~COdbcResourceDispenser\(\)\n)",
       },
                           kPassword);
}

}  // namespace
