#include "odbc/trace.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <pwd.h>
#include <unistd.h>

#include <cstdlib>
#include <fstream>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "odbc/setup.h"
#include "util/log.h"
#include "util/strutil.h"

namespace {

using ::testing::ContainsRegex;
using ::testing::HasSubstr;
using ::testing::MatchesRegex;
using ::testing::Not;

std::string ReadFile(const std::string &path) {
  std::ifstream in(path);
  std::stringstream ss;
  ss << in.rdbuf();
  return ss.str();
}

bool Exists(const std::string &path) { return access(path.c_str(), F_OK) == 0; }

struct TraceTest : ::testing::Test {
  std::string dir;
  void SetUp() override {
    char tmpl[] = "/tmp/kvd_trace_XXXXXX";
    ASSERT_NE(mkdtemp(tmpl), nullptr);
    dir = tmpl;
    unsetenv("TVX_DEBUGFILE");
  }
  void TearDown() override {
    TraceClose(TRACE_XA);
    TraceClose(TRACE_ODBC);
    unsetenv("TVX_DEBUGFILE");
    std::string cmd = "rm -rf " + dir;
    (void)system(cmd.c_str());
  }
};

TEST_F(TraceTest, NameExpansion) {
  char pid[32];
  snprintf(pid, sizeof pid, "%ld", static_cast<long>(getpid()));
  struct passwd *pw = getpwuid(geteuid());
  ASSERT_NE(pw, nullptr);
  setenv("HOME", "/home/tester", 1);
  struct {
    const char *name;
    int kind;
    std::string want;
  } cases[] = {
      {"/tmp/a$$b", TRACE_ODBC, "/tmp/a$b"},
      {"/tmp/x$Qy", TRACE_ODBC, "/tmp/xy"},  // unknown pair dropped
      {"/tmp/end$", TRACE_ODBC, "/tmp/end"},
      {"/tmp/p$P.$p", TRACE_ODBC, std::string("/tmp/p") + pid + "." + pid},
      {"/tmp/u$U", TRACE_ODBC, std::string("/tmp/u") + pw->pw_name},
      {"$Htrace", TRACE_ODBC, "/home/tester/trace"},
      {"$htrace", TRACE_XA, "/home/tester/trace-xa"},
      {"/tmp/t", TRACE_XA, "/tmp/t-xa"},
  };
  for (const auto &c : cases) {
    char *got = TraceExpandName(c.name, c.kind);
    EXPECT_EQ(std::string(got), c.want) << c.name;
    free(got);
  }
  setenv("HOME", "/home/tester/", 1);  // no doubled slash
  char *got = TraceExpandName("$Hx", TRACE_ODBC);
  EXPECT_STREQ(got, "/home/tester/x");
  free(got);
  got = TraceExpandName("/tmp/t$T.log", TRACE_ODBC);
  EXPECT_THAT(std::string(got), MatchesRegex("/tmp/t[0-9]{8}-[0-9]{6}\\.log"));
  free(got);
}

TEST_F(TraceTest, FileTraceHeadLinesCallLinesAndFoot) {
  setenv("TVX_DEBUGFILE", (dir + "/odbc_$P.log").c_str(), 1);
  const std::string file = dir + "/odbc_" + std::to_string(getpid()) + ".log";
  EXPECT_FALSE(TraceIsOn());
  TraceOpen(TRACE_ODBC);
  ASSERT_TRUE(TraceIsOn());
  EXPECT_EQ(g_traceLevel.load(), TRACE_FILES);
  TraceODBC("\n[%lX] SQL%s hDbc=%lX", 1ul, "Connect", 0x20000ul);
  FILE *closed = TraceClose(TRACE_ODBC);
  EXPECT_NE(closed, nullptr);
  EXPECT_FALSE(TraceIsOn());
  EXPECT_EQ(TraceClose(TRACE_ODBC), nullptr);
  TraceODBC("after close");
  const std::string text = ReadFile(file);
  const std::string head = std::string("^\\*\\* Zezuzeru ODBC Trace file for ") + get_program_name() + " \\*\\*\n";
  EXPECT_THAT(text, ContainsRegex(head));
  EXPECT_THAT(text, ContainsRegex("\n\\*\\* started on [A-Z][a-z]{2} [A-Z][a-z]{2} [0-9]{2} [0-9:]{8} [0-9]{4} \\*\\*\n"));
  EXPECT_THAT(text, HasSubstr("\n\n[1] SQLConnect hDbc=20000\n"));
  EXPECT_THAT(text, ContainsRegex("\n\n\\*\\* finished on [^\n]* \\*\\*\n\\*\\* normal end \\*\\*\n$"));
  EXPECT_THAT(text, Not(HasSubstr("after close")));
}

TEST_F(TraceTest, XaTraceUsesTheSameNameWithSuffixAndClosesAlone) {
  setenv("TVX_DEBUGFILE", (dir + "/tr").c_str(), 1);
  TraceOpen(TRACE_ODBC);
  TraceOpen(TRACE_XA);
  ASSERT_TRUE(Exists(dir + "/tr"));
  ASSERT_TRUE(Exists(dir + "/tr-xa"));
  TraceXA(1, "xa_open rc=%d", 0);
  TraceXA(0, "plain");
  EXPECT_NE(TraceClose(TRACE_XA), nullptr);
  EXPECT_TRUE(TraceIsOn());  // the ODBC stream stays
  TraceODBC("still here");
  TraceXA(0, "dropped");
  TraceClose(TRACE_ODBC);
  const std::string xa = ReadFile(dir + "/tr-xa");
  EXPECT_THAT(xa, MatchesRegex("\\*\\* Zezuzeru XA Trace File \\*\\*\n\\*\\* started on [^\n]*\n\n\n"
                               "\\[[0-9]+\\] xa_open rc=0\nplain\n"));
  const std::string odbc = ReadFile(dir + "/tr");
  // The XA close writes its foot lines into the ODBC stream.
  EXPECT_THAT(odbc, ContainsRegex("normal end \\*\\*\nstill here\n"));
}

TEST_F(TraceTest, UnwritableNameMeansNoTrace) {
  setenv("TVX_DEBUGFILE", (dir + "/no/such/dir/trace").c_str(), 1);
  TraceOpen(TRACE_ODBC);
  EXPECT_FALSE(TraceIsOn());
  EXPECT_EQ(TraceODBCStream(), nullptr);
  TraceODBC("nothing");
  setenv("TVX_DEBUGFILE", "", 1);
  TraceOpen(TRACE_ODBC);
  EXPECT_FALSE(TraceIsOn());
}

TEST_F(TraceTest, StderrTraceNeverClosesStderr) {
  GTEST_FLAG_SET(death_test_style, "threadsafe");
  EXPECT_EXIT(
      {
        setenv("TVX_DEBUGFILE", "stderr", 1);
        TraceOpen(TRACE_ODBC);
        TraceOpen(TRACE_XA);
        if (g_traceLevel.load() != TRACE_STDERR) exit(2);
        TraceODBC("line one");
        TraceClose(TRACE_ODBC);
        TraceClose(TRACE_XA);
        fprintf(stderr, "stderr still open\n");
        exit(0);
      },
      ::testing::ExitedWithCode(0),
      "Zezuzeru ODBC Trace file for .*Zezuzeru XA Trace File.*line one\n.*normal end.*stderr still open\n");
}

TEST_F(TraceTest, PasswordsNeverReachTheTrace) {
  setenv("TVX_DEBUGFILE", (dir + "/pw").c_str(), 1);
  TraceOpen(TRACE_ODBC);
  LogSink *sink = log_sink_new(TraceLogEmit, nullptr, 7, 0xFFFFFFFF, 0);
  TraceODBC("connStr=[DSN=x;UID=scott;PWD=tiger;SERVER=y]");
  TraceODBC("DSN=%s;UID=%s;pwd={ti;ger}", "x", "u");
  TraceODBC("PWD=a");
  TraceODBC("SPWD=kept");  // only the keyword itself
  log_msg(LOG_ERR, nullptr, 0, "login with PWD=%s failed", "hunter2");
  log_sink_close(sink);
  free(sink);
  TraceClose(TRACE_ODBC);
  const std::string text = ReadFile(dir + "/pw");
  EXPECT_THAT(text, HasSubstr("connStr=[DSN=x;UID=scott;PWD=***;SERVER=y]\n"));
  EXPECT_THAT(text, HasSubstr("DSN=x;UID=u;pwd=***\n"));
  EXPECT_THAT(text, HasSubstr("\nPWD=***\n"));
  EXPECT_THAT(text, HasSubstr("SPWD=kept\n"));
  EXPECT_THAT(text, HasSubstr("login with PWD=*** failed\n"));
  for (const char *secret : {"tiger", "ti;ger", "hunter2"}) EXPECT_THAT(text, Not(HasSubstr(secret)));
}

// A log line too long for one trace line is cut, and still ends its line:
// the next line starts on its own.
TEST_F(TraceTest, CutLogLinesEndTheirLine) {
  setenv("TVX_DEBUGFILE", (dir + "/long").c_str(), 1);
  TraceOpen(TRACE_ODBC);
  LogSink *sink = log_sink_new(TraceLogEmit, nullptr, 7, 0xFFFFFFFF, 0);
  for (size_t n : {1000, 1022, 1023, 1024, 4000}) log_msg(LOG_ERR, nullptr, 0, "%s", std::string(n, 'y').c_str());
  log_msg(LOG_ERR, nullptr, 0, "next line");
  log_sink_close(sink);
  free(sink);
  TraceClose(TRACE_ODBC);
  std::istringstream in(ReadFile(dir + "/long"));
  std::string line;
  int longLines = 0;
  bool next = false;
  while (std::getline(in, line)) {
    if (line.find("yyyy") != std::string::npos) {
      EXPECT_THAT(line, MatchesRegex("y+")) << "glued to the line after it";
      ++longLines;
    }
    next = next || line == "next line";
  }
  EXPECT_EQ(longLines, 5);
  EXPECT_TRUE(next);
}

TEST_F(TraceTest, LinesOfManyThreadsNeverInterleave) {
  setenv("TVX_DEBUGFILE", (dir + "/mt").c_str(), 1);
  TraceOpen(TRACE_ODBC);
  std::vector<std::thread> threads;
  const std::string payload(300, 'x');
  for (int t = 0; t < 4; ++t)
    threads.emplace_back([t, &payload] {
      for (int i = 0; i < 200; ++i) TraceODBC("<%d:%d %s>", t, i, payload.c_str());
    });
  for (auto &th : threads) th.join();
  TraceClose(TRACE_ODBC);
  std::istringstream in(ReadFile(dir + "/mt"));
  std::string line;
  int count = 0;
  while (std::getline(in, line)) {
    if (line.empty() || line[0] != '<') continue;
    EXPECT_THAT(line, MatchesRegex("<[0-3]:[0-9]+ x{300}>"));
    ++count;
  }
  EXPECT_EQ(count, 800);
}

TEST_F(TraceTest, LongLinesAreWrittenWhole) {
  setenv("TVX_DEBUGFILE", (dir + "/long").c_str(), 1);
  TraceOpen(TRACE_ODBC);
  const std::string big(10000, 'q');
  TraceODBC("%s;PWD=z", big.c_str());
  TraceClose(TRACE_ODBC);
  EXPECT_THAT(ReadFile(dir + "/long"), HasSubstr(big + ";PWD=***\n"));
}

// "DebugFile" of the driver's own odbcinst.ini section names the trace when
// TVX_DEBUGFILE is not set. The section is found by its Driver= path, here
// this test program's own path.
TEST_F(TraceTest, DebugFileFromOwnOdbcinstSection) {
  std::ofstream ini(dir + "/odbcinst.ini");
  ini << "[Other Driver]\nDriver=/usr/lib/none.so\nDebugFile=" << dir << "/wrong.log\n\n"
      << "[Zezuzeru Test]\nDriver=" << SetupOwnPath() << "\nDebugFile=" << dir << "/dbg_$$.log\n";
  ini.close();
  setenv("ODBCSYSINI", dir.c_str(), 1);
  setenv("ODBCINSTINI", "odbcinst.ini", 1);
  char section[128];
  ASSERT_EQ(SetupFindOwnSection(section, sizeof section), 0);
  EXPECT_STREQ(section, "Zezuzeru Test");
  TraceOpen(TRACE_ODBC);
  EXPECT_TRUE(TraceIsOn());
  TraceODBC("from odbcinst");
  TraceClose(TRACE_ODBC);
  EXPECT_THAT(ReadFile(dir + "/dbg_$.log"), HasSubstr("from odbcinst\n"));
  EXPECT_FALSE(Exists(dir + "/wrong.log"));
  // TVX_DEBUGFILE wins.
  setenv("TVX_DEBUGFILE", (dir + "/env.log").c_str(), 1);
  TraceOpen(TRACE_ODBC);
  TraceClose(TRACE_ODBC);
  EXPECT_TRUE(Exists(dir + "/env.log"));
  unsetenv("ODBCSYSINI");
  unsetenv("ODBCINSTINI");
}

}  // namespace
