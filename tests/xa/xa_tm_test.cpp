// A test transaction monitor: it loads each driver, takes its XA switch
// (tvx_xa_switch) and works in branches on the connection SQLGetXaConnect
// gives it, through the driver's own exports. Plain connections through
// unixODBC to the same data sources read what the branches left.
#include <dlfcn.h>
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstring>
#include <filesystem>
#include <string>
#include <thread>

#include "harness.h"
#include "xa_support.h"
#include "xa.h"

namespace {

using harness::Variant;

const char *DsnName(Variant v, int rm) {
  static const char *names[2][2] = {{"XA1", "XA2"}, {"XA1A", "XA2A"}};
  return names[v == harness::kUnicode ? 0 : 1][rm - 1];
}

// The two databases and the data sources on them, once per process. The
// private directory of the ini files, "" when a step failed.
std::string g_iniDir;

void MakeDatabases() {
  static bool done = [] {
    std::string db1 = harness::AdminDatabase("xa_db1", {"create table t (n number)"});
    std::string db2 = harness::AdminDatabase("xa_db2", {"create table t (n number)"});
    g_iniDir = harness::DmInit({{"XA1", harness::kDmUnicode, {{"SQLNETConnect", db1}}},
                     {"XA2", harness::kDmUnicode, {{"SQLNETConnect", db2}}},
                     {"XA1A", harness::kDmAnsi, {{"SQLNETConnect", db1}}},
                     {"XA2A", harness::kDmAnsi, {{"SQLNETConnect", db2}}}}).dir;
    return !db1.empty() && !db2.empty();
  }();
  ASSERT_TRUE(done);
}

XID MakeXid(const std::string &gtrid, const std::string &bqual) {
  XID x{};
  x.formatID = 0x4B5644;
  x.gtrid_length = static_cast<long>(gtrid.size());
  x.bqual_length = static_cast<long>(bqual.size());
  std::memcpy(x.data, gtrid.data(), gtrid.size());
  std::memcpy(x.data + gtrid.size(), bqual.data(), bqual.size());
  return x;
}

bool SameXid(const XID &a, const XID &b) {
  return a.formatID == b.formatID && a.gtrid_length == b.gtrid_length && a.bqual_length == b.bqual_length &&
         std::memcmp(a.data, b.data, static_cast<size_t>(a.gtrid_length + a.bqual_length)) == 0;
}

// A plain connection through unixODBC: runs one statement in autocommit
// and gives the first column of the first row ("" when none), or
// "error <native>" when it fails.
std::string Plain(Variant v, int rm, const std::string &sql) {
  SQLHENV env = SQL_NULL_HENV;
  SQLHDBC dbc = SQL_NULL_HDBC;
  SQLHSTMT st = SQL_NULL_HSTMT;
  SQLAllocHandle(SQL_HANDLE_ENV, SQL_NULL_HANDLE, &env);
  SQLSetEnvAttr(env, SQL_ATTR_ODBC_VERSION, reinterpret_cast<SQLPOINTER>(SQL_OV_ODBC3), 0);
  SQLAllocHandle(SQL_HANDLE_DBC, env, &dbc);
  std::string in = std::string("DSN=") + DsnName(v, rm) + ";UID=scott;PWD=tiger";
  std::string out;
  SQLRETURN rc = SQLDriverConnect(dbc, nullptr, reinterpret_cast<SQLCHAR *>(in.data()), SQL_NTS, nullptr, 0,
                                  nullptr, SQL_DRIVER_NOPROMPT);
  if (!SQL_SUCCEEDED(rc)) {
    out = "connect failed: " + harness::DmDiagText(SQL_HANDLE_DBC, dbc);
  } else {
    SQLAllocHandle(SQL_HANDLE_STMT, dbc, &st);
    rc = SQLExecDirect(st, reinterpret_cast<SQLCHAR *>(const_cast<char *>(sql.c_str())), SQL_NTS);
    if (!SQL_SUCCEEDED(rc)) {
      auto recs = harness::DmDiags(SQL_HANDLE_STMT, st);
      out = "error " + (recs.empty() ? std::string("?") : std::to_string(recs[0].native));
    } else if (SQL_SUCCEEDED(SQLFetch(st))) {
      char buf[128] = "";
      SQLLEN ind = 0;
      SQLGetData(st, 1, SQL_C_CHAR, buf, sizeof buf, &ind);
      out = buf;
    }
    SQLFreeHandle(SQL_HANDLE_STMT, st);
    SQLDisconnect(dbc);
  }
  SQLFreeHandle(SQL_HANDLE_DBC, dbc);
  SQLFreeHandle(SQL_HANDLE_ENV, env);
  return out;
}

std::string Rows(Variant v, int rm) { return Plain(v, rm, "select count(*) from t"); }

// The same through pyodbc in a process of its own (the environment carries
// the private ini files): its output line, or "skip" without pyodbc.
std::string PyOdbc(Variant v, int rm, const char *action) {
  return xatest::PyOdbc(std::string(DsnName(v, rm)) + " " + action);
}

// A pyodbc answer: matches, or pyodbc is not installed.
void ExpectPyodbc(const std::string &expected, const std::string &got) {
  if (got != "skip") {
    EXPECT_EQ(expected, got);
  }
}

// The monitor: one loaded driver and its switch.
class Tm {
 public:
  explicit Tm(Variant v) : v_(v), drv_(harness::DriverPath(v, harness::kReal)) {
    if (!drv_.ok()) return;
    sw_ = reinterpret_cast<xa_switch_t *(*)()>(drv_.Sym("tvx_xa_switch"))();
    getConnect_ = drv_.Fn<SQLRETURN (*)(SQLHDBC *)>("SQLGetXaConnect");
    getEnv_ = drv_.Fn<SQLRETURN (*)(SQLHENV *)>("SQLGetXaEnv");
  }
  bool ok() const { return sw_ != nullptr; }
  xa_switch_t *sw() const { return sw_; }
  harness::Driver &drv() { return drv_; }
  std::string Info(int rm) const { return std::string("DSN=") + DsnName(v_, rm) + ";UID=scott;PWD=tiger"; }
  int Open(int rm) {
    std::string s = Info(rm);
    return sw_->xa_open_entry(s.data(), rm, TMNOFLAGS);
  }
  int Close(int rm) {
    std::string s = Info(rm);
    return sw_->xa_close_entry(s.data(), rm, TMNOFLAGS);
  }
  SQLRETURN GetConnect(SQLHDBC *out) { return getConnect_(out); }
  SQLRETURN GetEnv(SQLHENV *out) { return getEnv_(out); }
  SQLHDBC Conn() {
    SQLHDBC h = SQL_NULL_HDBC;
    EXPECT_EQ(SQL_SUCCESS, getConnect_(&h));
    return h;
  }
  // Runs a statement on the XA connection; "" or the failure's diagnostics.
  std::string Exec(SQLHDBC dbc, const std::string &sql) {
    SQLHSTMT st = drv_.AllocStmt(dbc);
    SQLRETURN rc = drv_.ExecDirect(st, sql);
    std::string out = SQL_SUCCEEDED(rc) ? "" : drv_.DiagText(SQL_HANDLE_STMT, st);
    drv_.FreeHandle(SQL_HANDLE_STMT, st);
    return out;
  }

 private:
  Variant v_;
  harness::Driver drv_;
  xa_switch_t *sw_ = nullptr;
  SQLRETURN (*getConnect_)(SQLHDBC *) = nullptr;
  SQLRETURN (*getEnv_)(SQLHENV *) = nullptr;
};

class XaTmTest : public ::testing::TestWithParam<Variant> {
 protected:
  void SetUp() override {
    MakeDatabases();
    tm_ = std::make_unique<Tm>(GetParam());
    ASSERT_TRUE(tm_->ok()) << tm_->drv().error();
    for (int rm : {1, 2}) ASSERT_EQ("", Plain(GetParam(), rm, "delete from t"));
  }
  Variant v() const { return GetParam(); }
  std::unique_ptr<Tm> tm_;
};

// How a global transaction over both databases ends: rows each holds after.
TEST_P(XaTmTest, BranchOutcomes) {
  constexpr int kNoPrepare = 1;  // no XA code: the case does not prepare
  struct Case {
    const char *name;
    int rms;  // the databases the transaction spans
    const char *sql;
    int prepared;   // what prepare answers
    bool commit;    // ended by commit, else by rollback
    long endFlags;  // of that commit or rollback
    int ended;      // what it answers
    const char *rowsAfter;
  } cases[] = {
      {"two-phase commit", 2, "insert into t values (1)", XA_OK, true, TMNOFLAGS, XA_OK, "1"},
      {"rollback after prepare", 2, "insert into t values (1)", XA_OK, false, TMNOFLAGS, XA_OK, "0"},
      {"one-phase commit", 1, "insert into t values (1)", kNoPrepare, true, TMONEPHASE, XA_OK, "1"},
      {"read-only", 2, "select count(*) from t", XA_RDONLY, true, TMNOFLAGS, XAER_NOTA, "0"},
  };
  ASSERT_EQ(XA_OK, tm_->Open(1));
  SQLHDBC c1 = tm_->Conn();
  ASSERT_EQ(XA_OK, tm_->Open(2));
  SQLHDBC c2 = tm_->Conn();
  ASSERT_NE(c1, c2);
  xa_switch_t *sw = tm_->sw();
  int n = 0;
  for (const Case &c : cases) {
    SCOPED_TRACE(c.name);
    XID x[2] = {MakeXid("gtrid" + std::to_string(++n), "b1"), MakeXid("gtrid" + std::to_string(n), "b2")};
    for (int i = 0; i < c.rms; ++i) {
      ASSERT_EQ(XA_OK, sw->xa_start_entry(&x[i], i + 1, TMNOFLAGS));
      EXPECT_EQ("", tm_->Exec(i == 0 ? c1 : c2, c.sql));
      ASSERT_EQ(XA_OK, sw->xa_end_entry(&x[i], i + 1, TMSUCCESS));
    }
    for (int i = 0; i < c.rms; ++i) EXPECT_EQ("0", Rows(v(), i + 1));  // nothing before the end
    if (c.prepared != kNoPrepare) {
      for (int i = 0; i < c.rms; ++i) EXPECT_EQ(c.prepared, sw->xa_prepare_entry(&x[i], i + 1, TMNOFLAGS));
    }
    auto end = c.commit ? sw->xa_commit_entry : sw->xa_rollback_entry;
    for (int i = 0; i < c.rms; ++i) EXPECT_EQ(c.ended, end(&x[i], i + 1, c.endFlags));
    for (int i = 0; i < c.rms; ++i) EXPECT_EQ(c.rowsAfter, Rows(v(), i + 1));
    for (int rm : {1, 2}) Plain(v(), rm, "delete from t");
  }
  EXPECT_EQ(XA_OK, tm_->Close(2));
  EXPECT_EQ(XA_OK, tm_->Close(1));
}

// A branch may be suspended and resumed, ended and joined again, and the
// thread may work in another branch meanwhile; an XID is unique within its
// database only.
TEST_P(XaTmTest, BranchAssociation) {
  ASSERT_EQ(XA_OK, tm_->Open(1));
  SQLHDBC c1 = tm_->Conn();
  ASSERT_EQ(XA_OK, tm_->Open(2));
  xa_switch_t *sw = tm_->sw();
  XID x = MakeXid("assoc", "x");
  XID y = MakeXid("assoc", "y");
  ASSERT_EQ(XA_OK, sw->xa_start_entry(&x, 1, TMNOFLAGS));
  EXPECT_EQ("", tm_->Exec(c1, "insert into t values (1)"));
  ASSERT_EQ(XA_OK, sw->xa_end_entry(&x, 1, TMSUSPEND));
  EXPECT_EQ(XAER_DUPID, sw->xa_start_entry(&x, 1, TMNOFLAGS));
  EXPECT_EQ(XA_OK, sw->xa_start_entry(&x, 2, TMNOFLAGS));  // another database: another resource manager
  EXPECT_EQ(XA_OK, sw->xa_end_entry(&x, 2, TMSUCCESS));
  EXPECT_EQ(XA_RDONLY, sw->xa_prepare_entry(&x, 2, TMNOFLAGS));

  ASSERT_EQ(XA_OK, sw->xa_start_entry(&y, 1, TMNOFLAGS));
  EXPECT_EQ("", tm_->Exec(c1, "select count(*) from t"));
  ASSERT_EQ(XA_OK, sw->xa_end_entry(&y, 1, TMSUCCESS));
  EXPECT_EQ(XA_RDONLY, sw->xa_prepare_entry(&y, 1, TMNOFLAGS));

  ASSERT_EQ(XA_OK, sw->xa_start_entry(&x, 1, TMRESUME));
  EXPECT_EQ("", tm_->Exec(c1, "insert into t values (2)"));
  ASSERT_EQ(XA_OK, sw->xa_end_entry(&x, 1, TMSUCCESS));
  ASSERT_EQ(XA_OK, sw->xa_start_entry(&x, 1, TMJOIN));
  EXPECT_EQ("", tm_->Exec(c1, "insert into t values (3)"));
  ASSERT_EQ(XA_OK, sw->xa_end_entry(&x, 1, TMSUCCESS));
  EXPECT_EQ("0", Rows(v(), 1));
  ASSERT_EQ(XA_OK, sw->xa_prepare_entry(&x, 1, TMNOFLAGS));
  ASSERT_EQ(XA_OK, sw->xa_commit_entry(&x, 1, TMNOFLAGS));
  EXPECT_EQ("3", Rows(v(), 1));
  EXPECT_EQ(XA_OK, tm_->Close(2));
  EXPECT_EQ(XA_OK, tm_->Close(1));
}

// Each open connection has a worker thread of its own, and the close ends
// it.
TEST_P(XaTmTest, CloseEndsTheWorkerThread) {
  auto threads = [] {
    size_t n = 0;
    for ([[maybe_unused]] const auto &e : std::filesystem::directory_iterator("/proc/self/task")) ++n;
    return n;
  };
  // A worker ended from its own thread is detached and leaves the task list
  // a moment after the close answered: counts wait for it, within bounds.
  auto settle = [&](size_t most, int rounds) {
    for (int i = 0; i < rounds && threads() > most; ++i) std::this_thread::sleep_for(std::chrono::milliseconds(5));
    return threads();
  };
  // A first round lets runtimes that start a helper thread of their own at
  // the first thread creation (a sanitizer's) do so before the count.
  const size_t start = threads();
  ASSERT_EQ(XA_OK, tm_->Open(1));
  ASSERT_EQ(XA_OK, tm_->Close(1));
  const size_t before = settle(start, 200);
  ASSERT_EQ(XA_OK, tm_->Open(1));
  ASSERT_EQ(XA_OK, tm_->Open(2));
  EXPECT_EQ(before + 2, threads());
  EXPECT_EQ(XA_OK, tm_->Close(2));
  EXPECT_EQ(XA_OK, tm_->Close(1));
  EXPECT_EQ(before, settle(before, 2000));
}

// A branch prepared by a process that then dies stays prepared: readers see
// the old rows, writers wait for the outcome (ORA-01591), and a new process
// finds it with xa_recover and ends it.
TEST_P(XaTmTest, PreparedBranchOutlivesItsProcess) {
  for (bool commit : {true, false}) {
    SCOPED_TRACE(commit ? "commit" : "rollback");
    const XID xid = MakeXid(commit ? "crash-commit" : "crash-rollback", "q");
    pid_t pid = fork();
    ASSERT_NE(-1, pid);
    if (pid == 0) {
      XID x = xid;
      xa_switch_t *sw = tm_->sw();
      if (tm_->Open(1) != XA_OK || sw->xa_start_entry(&x, 1, TMNOFLAGS) != XA_OK) _exit(2);
      if (!tm_->Exec(tm_->Conn(), "insert into t values (5)").empty()) _exit(3);
      if (sw->xa_end_entry(&x, 1, TMSUCCESS) != XA_OK || sw->xa_prepare_entry(&x, 1, TMNOFLAGS) != XA_OK) _exit(4);
      raise(SIGKILL);
      _exit(5);
    }
    int status = 0;
    pid_t got = 0;
    for (int i = 0; i < 1200 && got == 0; ++i) {
      got = waitpid(pid, &status, WNOHANG);
      if (got == 0) std::this_thread::sleep_for(std::chrono::milliseconds(50));
    }
    if (got == 0) {
      kill(pid, SIGKILL);
      waitpid(pid, &status, 0);
      FAIL() << "the child did not end";
    }
    ASSERT_TRUE(WIFSIGNALED(status) && WTERMSIG(status) == SIGKILL)
        << "child exit " << (WIFEXITED(status) ? WEXITSTATUS(status) : -1);

    EXPECT_EQ("0", Rows(v(), 1));
    EXPECT_EQ("error 1591", Plain(v(), 1, "insert into t values (6)"));
    ExpectPyodbc("0", PyOdbc(v(), 1, "count"));
    ExpectPyodbc("ORA-01591", PyOdbc(v(), 1, "insert"));

    ASSERT_EQ(XA_OK, tm_->Open(1));
    XID found[8];
    ASSERT_EQ(1, tm_->sw()->xa_recover_entry(found, 8, 1, TMSTARTRSCAN | TMENDRSCAN));
    EXPECT_TRUE(SameXid(found[0], xid));
    EXPECT_EQ(XA_OK, commit ? tm_->sw()->xa_commit_entry(&found[0], 1, TMNOFLAGS)
                            : tm_->sw()->xa_rollback_entry(&found[0], 1, TMNOFLAGS));
    EXPECT_EQ(0, tm_->sw()->xa_recover_entry(found, 8, 1, TMSTARTRSCAN | TMENDRSCAN));
    EXPECT_EQ(XA_OK, tm_->Close(1));
    EXPECT_EQ(commit ? "1" : "0", Rows(v(), 1));
    ExpectPyodbc(commit ? "1" : "0", PyOdbc(v(), 1, "count"));
    ExpectPyodbc("inserted", PyOdbc(v(), 1, "insert"));
    EXPECT_EQ("", Plain(v(), 1, "insert into t values (6)"));  // the lock went with the branch
    Plain(v(), 1, "delete from t");
  }
}

// The handles and the verbs belong to the thread that opened; local
// transaction control is refused on the XA connection.
TEST_P(XaTmTest, XaConnectionBelongsToItsThread) {
  ASSERT_EQ(XA_OK, tm_->Open(1));
  SQLHDBC dbc = tm_->Conn();
  SQLHENV env = SQL_NULL_HENV;
  EXPECT_EQ(SQL_SUCCESS, tm_->GetEnv(&env));
  EXPECT_NE(nullptr, env);
  EXPECT_EQ(SQL_ERROR, tm_->GetEnv(nullptr));
  std::thread([&] {
    SQLHENV e = reinterpret_cast<SQLHENV>(1);
    SQLHDBC d = reinterpret_cast<SQLHDBC>(1);
    EXPECT_EQ(SQL_ERROR, tm_->GetEnv(&e));
    EXPECT_EQ(nullptr, e);
    EXPECT_EQ(SQL_ERROR, tm_->GetConnect(&d));
    EXPECT_EQ(nullptr, d);
    XID x = MakeXid("other-thread", "b");
    EXPECT_EQ(XAER_RMERR, tm_->sw()->xa_start_entry(&x, 1, TMNOFLAGS));
  }).join();

  auto endTran = tm_->drv().Fn<SQLRETURN (*)(SQLSMALLINT, SQLHANDLE, SQLSMALLINT)>("SQLEndTran");
  EXPECT_EQ(SQL_ERROR, endTran(SQL_HANDLE_DBC, dbc, SQL_COMMIT));
  auto diags = tm_->drv().Diags(SQL_HANDLE_DBC, dbc);
  ASSERT_FALSE(diags.empty());
  EXPECT_EQ("25S01", diags[0].state);

  EXPECT_EQ(XA_OK, tm_->Close(1));
  SQLHDBC after = reinterpret_cast<SQLHDBC>(1);
  EXPECT_EQ(SQL_ERROR, tm_->GetConnect(&after));
  EXPECT_EQ(nullptr, after);
}

TEST_P(XaTmTest, BadInputIsRefused) {
  xa_switch_t *sw = tm_->sw();
  struct {
    const char *info;
    int rc;
  } opens[] = {
      {"UID=scott;PWD=tiger", XAER_RMERR},              // no data source
      {"dsn=XA1;UID=scott;PWD=tiger", XAER_RMERR},      // the keyword is case-sensitive
      {"UID=scott;PWD={DSN=XA1}", XAER_RMERR},          // "DSN=" inside a value is no item
      {"DSN=NOSUCH;UID=scott;PWD=tiger", XAER_RMERR},   // no such data source
  };
  for (auto &o : opens) {
    std::string s = o.info;
    EXPECT_EQ(o.rc, sw->xa_open_entry(s.data(), 1, TMNOFLAGS)) << o.info;
  }
  ASSERT_EQ(XA_OK, tm_->Open(1));
  EXPECT_EQ(XA_OK, tm_->Open(1));  // the same open again: the same connection
  std::string other = tm_->Info(1) + ";XATAG=2";
  EXPECT_EQ(XAER_PROTO, sw->xa_open_entry(other.data(), 1, TMNOFLAGS));
  EXPECT_EQ(XAER_RMERR, sw->xa_close_entry(other.data(), 1, TMNOFLAGS));  // not the open's string

  // The connection is still there after the refused close.
  XID x = MakeXid("still-open", "b");
  EXPECT_EQ(XA_OK, sw->xa_start_entry(&x, 1, TMNOFLAGS));
  EXPECT_EQ(XA_OK, sw->xa_end_entry(&x, 1, TMSUCCESS));
  EXPECT_EQ(XA_OK, sw->xa_rollback_entry(&x, 1, TMNOFLAGS));
  XID unknown = MakeXid("never-started", "b");
  EXPECT_EQ(XAER_NOTA, sw->xa_commit_entry(&unknown, 1, TMNOFLAGS));
  EXPECT_EQ(XAER_NOTA, sw->xa_rollback_entry(&unknown, 1, TMNOFLAGS));
  EXPECT_EQ(XAER_RMERR, sw->xa_start_entry(&x, 7, TMNOFLAGS));  // an rmid never opened
  int handle = 0, ret = -1;
  EXPECT_EQ(XAER_PROTO, sw->xa_complete_entry(&handle, &ret, 1, TMNOFLAGS));
  EXPECT_EQ(XA_OK, tm_->Close(1));
}

// An xa_info of more than 255 characters is kept whole: only the same
// string closes the connection, not its first 255 characters.
TEST_P(XaTmTest, LongXaInfoIsKeptWhole) {
  xa_switch_t *sw = tm_->sw();
  std::string info = tm_->Info(1) + ";APP=" + std::string(300, 'x');
  ASSERT_EQ(XA_OK, sw->xa_open_entry(info.data(), 1, TMNOFLAGS));
  std::string cut = info.substr(0, 255);
  EXPECT_EQ(XAER_RMERR, sw->xa_close_entry(cut.data(), 1, TMNOFLAGS));
  EXPECT_EQ(XA_OK, sw->xa_close_entry(info.data(), 1, TMNOFLAGS));
}

INSTANTIATE_TEST_SUITE_P(Drivers, XaTmTest, ::testing::Values(harness::kUnicode, harness::kAnsi),
                         [](const auto &info) { return info.param == harness::kUnicode ? "Unicode" : "Ansi"; });

// The XA trace: entry and result lines with the calling thread's id, the
// end line when the driver is unloaded, and no password.
TEST(XaTrace, LinesOfTheSwitch) {
  MakeDatabases();
  const std::string path = g_iniDir + "/xatrace";
  setenv("TVX_DEBUGFILE", path.c_str(), 1);
  std::string lib = harness::DriverPath(harness::kUnicode, harness::kReal);
  if (void *h = dlopen(lib.c_str(), RTLD_NOW | RTLD_NOLOAD)) {
    dlclose(h);
    GTEST_SKIP() << "the driver is loaded already: its trace was configured before";
  }
  {
    Tm tm(harness::kUnicode);
    ASSERT_TRUE(tm.ok());
    ASSERT_EQ(XA_OK, tm.Open(1));
    XID x = MakeXid("traced", "b");
    ASSERT_EQ(XA_OK, tm.sw()->xa_start_entry(&x, 1, TMNOFLAGS));
    ASSERT_EQ(XA_OK, tm.sw()->xa_end_entry(&x, 1, TMSUCCESS));
    ASSERT_EQ(XA_RDONLY, tm.sw()->xa_prepare_entry(&x, 1, TMNOFLAGS));
    std::string bad = "UID=scott;PWD=tiger";
    ASSERT_EQ(XAER_RMERR, tm.sw()->xa_open_entry(bad.data(), 3, TMNOFLAGS));
    ASSERT_EQ(XA_OK, tm.Close(1));
  }
  unsetenv("TVX_DEBUGFILE");
  xatest::ExpectTraceLines(path, {R"(\n\[\d+\] xa_switch_open\(XA1, 1, 0\)\n)", R"(\[\d+\] Call returned: XA_OK\(0\)\n)",
                         R"(\[\d+\] Call returned: XA_RDONLY\(3\)\n)",
                         R"(\[\d+\] xa_switch_open\(\*\*\*, 3, 0\)\n\[\d+\] xa_switch_open: invalid xaInfo string format\n)",
                         R"(\[\d+\] xa_switch_prepare\(0x[0-9a-f]+, 1, 0\)\n)", R"(\n\*\* normal end \*\*\n)"},
                           "tiger");
}

}  // namespace
