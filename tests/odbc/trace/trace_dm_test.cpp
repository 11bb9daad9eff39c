// Call tracing of a driver loaded by the unixODBC Driver Manager, as an
// application would see it: the trace is named by TVX_DEBUGFILE or by
// DebugFile of the driver's own odbcinst.ini section.
//
// Each session runs in a freshly started child process: the Driver Manager
// keeps a driver loaded once it has been used, and only a new load runs the
// attach sequence; the child's exit unloads it and so closes the trace.
#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdlib>
#include <fstream>
#include <sstream>
#include <string>

#include "harness.h"

namespace {

using ::testing::ContainsRegex;
using ::testing::HasSubstr;
using ::testing::Not;

std::string ReadFile(const std::string &path) {
  std::ifstream in(path);
  std::stringstream ss;
  ss << in.rdbuf();
  return ss.str();
}

// One application session: connect (refused: no database behind the DSN),
// read the error, free everything.
void Session(const char *dsn) {
  SQLHENV env = SQL_NULL_HENV;
  SQLHDBC dbc = SQL_NULL_HDBC;
  if (!SQL_SUCCEEDED(SQLAllocHandle(SQL_HANDLE_ENV, SQL_NULL_HANDLE, &env))) exit(3);
  SQLSetEnvAttr(env, SQL_ATTR_ODBC_VERSION, reinterpret_cast<SQLPOINTER>(SQL_OV_ODBC3), 0);
  if (!SQL_SUCCEEDED(SQLAllocHandle(SQL_HANDLE_DBC, env, &dbc))) exit(4);
  SQLRETURN rc = SQLConnect(dbc, (SQLCHAR *)dsn, SQL_NTS, (SQLCHAR *)"scott", SQL_NTS, (SQLCHAR *)"tiger", SQL_NTS);
  if (SQL_SUCCEEDED(rc)) SQLDisconnect(dbc);
  SQLFreeHandle(SQL_HANDLE_DBC, dbc);
  SQLFreeHandle(SQL_HANDLE_ENV, env);
}

// The test's scratch directory, shared with its child processes through the
// environment (a child runs the test body again up to its statement).
std::string ScratchDir() {
  if (const char *d = getenv("KVD_TRACE_DM_DIR")) return d;
  char tmpl[] = "/tmp/kvd_trdm_XXXXXX";
  if (mkdtemp(tmpl) == nullptr) return "/tmp";
  setenv("KVD_TRACE_DM_DIR", tmpl, 1);
  return tmpl;
}

class TraceDm : public ::testing::Test {
 protected:
  void SetUp() override { GTEST_FLAG_SET(death_test_style, "threadsafe"); }
  void TearDown() override {
    if (const char *d = getenv("KVD_TRACE_DM_DIR")) {
      std::string cmd = std::string("rm -rf ") + d;
      (void)system(cmd.c_str());
      unsetenv("KVD_TRACE_DM_DIR");
    }
    unsetenv("TVX_DEBUGFILE");
  }
};

TEST_F(TraceDm, TvxDebugFileTracesEveryCallThroughTheDriverManager) {
  const std::string dir = ScratchDir();
  struct {
    const char *dsn, *connect;
  } cases[] = {{"kvd_w", "SQLConnectW"}, {"kvd_a", "SQLConnect"}};
  for (const auto &c : cases) {
    const std::string file = dir + "/" + c.dsn + ".trc";
    setenv("TVX_DEBUGFILE", (dir + "/" + c.dsn + "_$P.trc").c_str(), 1);
    // The child names its file by its own process id: find it afterwards.
    EXPECT_EXIT(
        {
          harness::DmInit();
          Session(c.dsn);
          std::string link = "ln -s " + dir + "/" + c.dsn + "_" + std::to_string(getpid()) + ".trc " + file;
          if (system(link.c_str()) != 0) exit(5);
          exit(0);
        },
        ::testing::ExitedWithCode(0), "");
    const std::string text = ReadFile(file);
    EXPECT_THAT(text, ContainsRegex("^\\*\\* Zezuzeru ODBC Trace file for [^\n]+ \\*\\*\n\\*\\* started on ")) << c.dsn;
    EXPECT_THAT(text, ContainsRegex("\n\n\\[[0-9A-F]+\\] SQLAllocHandle\n")) << c.dsn;
    EXPECT_THAT(text, ContainsRegex(std::string("\n\n\\[[0-9A-F]+\\] ") + c.connect + " hDbc=[0-9A-F]+\n")) << c.dsn;
    EXPECT_THAT(text, ContainsRegex(std::string("\n\\[[0-9A-F]+\\] ") + c.connect + ": returning SQL_ERROR\n")) << c.dsn;
    EXPECT_THAT(text, Not(HasSubstr("tiger"))) << c.dsn;
    // The unload at the child's exit closed the trace.
    EXPECT_THAT(text, ContainsRegex("\n\n\\*\\* finished on [^\n]+ \\*\\*\n\\*\\* normal end \\*\\*\n$")) << c.dsn;
  }
}

TEST_F(TraceDm, DebugFileOfTheDriversOwnSection) {
  const std::string dir = ScratchDir();
  unsetenv("TVX_DEBUGFILE");
  for (const char *dsn : {"kvd_a", "kvd_w"}) {
    EXPECT_EXIT(
        {
          const auto &files = harness::DmInit();
          // DebugFile in the Unicode driver's section only.
          std::string inst = ReadFile(files.odbcinst);
          const std::string head = std::string("[") + harness::kDmUnicode + "]\n";
          const size_t at = inst.find(head);
          if (at == std::string::npos) exit(6);
          inst.insert(at + head.size(), "DebugFile = " + dir + "/own_$$.trc\n");
          std::ofstream(files.odbcinst) << inst;
          Session(dsn);
          exit(0);
        },
        ::testing::ExitedWithCode(0), "");
    const std::string text = ReadFile(dir + "/own_$.trc");
    if (std::string(dsn) == "kvd_a") {
      EXPECT_EQ(text, "");  // another section: no trace
    } else {
      EXPECT_THAT(text, HasSubstr("** Zezuzeru ODBC Trace file for "));
      EXPECT_THAT(text, HasSubstr("SQLConnectW hDbc="));
      EXPECT_THAT(text, HasSubstr("** normal end **\n"));
    }
  }
}

TEST_F(TraceDm, StderrTraceAndNoTraceWithoutConfiguration) {
  EXPECT_EXIT(
      {
        setenv("TVX_DEBUGFILE", "stderr", 1);
        harness::DmInit();
        Session("kvd_w");
        exit(0);
      },
      ::testing::ExitedWithCode(0), "Zezuzeru ODBC Trace file for .*SQLConnectW hDbc=");
  EXPECT_EXIT(
      {
        unsetenv("TVX_DEBUGFILE");
        harness::DmInit();
        Session("kvd_w");
        exit(0);
      },
      ::testing::ExitedWithCode(0), Not(HasSubstr("Zezuzeru ODBC Trace")));
}

}  // namespace
