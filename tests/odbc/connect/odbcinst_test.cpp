// The late-bound installer library: the four functions read the private
// data-source files; a missing library or function reads as nothing and is
// reported, and the library is looked for again at the next call.
#include <cstdlib>
#include <cstring>
#include <string>

#include "connect_support.h"
#include "odbc/connattr.h"
#include "odbc/odbcinst.h"
#include "util/log.h"

namespace {

// The driver's log lines while it lives (they go to the trace, never to the
// application's standard error).
struct LogCapture {
  static inline std::string lines;
  LogSink *sink = log_sink_new([](LogSink *, int, const char *text) { lines += text; }, nullptr, LOG_DEBUG,
                               0xFFFFFFFFu, 0);
  LogCapture() { lines.clear(); }
  ~LogCapture() {
    log_sink_close(sink);
    free(sink);
  }
};

struct OdbcInstTest : ::testing::Test {
  void SetUp() override { ct::FixtureDir(); }
  void TearDown() override { OdbcInstSetCandidatesForTest(nullptr); }
};

std::basic_string<uint16_t> U(const char *s) {
  std::basic_string<uint16_t> out;
  while (*s) out += static_cast<uint16_t>(static_cast<unsigned char>(*s++));
  return out;
}

TEST_F(OdbcInstTest, TheFourFunctionsReadTheDataSourceFiles) {
  char buf[64] = {};
  EXPECT_GT(OdbcInstGetPrivateProfileString("kvd_full", "UID", "", buf, sizeof buf, "odbc.ini"), 0);
  EXPECT_STREQ(buf, "dsnuser");
  uint16_t len = 0;
  const std::string file = ct::FileDsn("file.dsn");
  EXPECT_NE(OdbcInstReadFileDSN(file.c_str(), "ODBC", "FBS", buf, sizeof buf, &len), 0);
  EXPECT_STREQ(buf, "77");

  uint16_t wbuf[64] = {};
  EXPECT_GT(OdbcInstGetPrivateProfileStringW(U("kvd_full").c_str(), U("SQLNETConnect").c_str(), U("").c_str(), wbuf,
                                             64, U("odbc.ini").c_str()),
            0);
  EXPECT_EQ(std::basic_string<uint16_t>(wbuf), U("orcl_alias"));
  EXPECT_NE(OdbcInstReadFileDSNW(U(file.c_str()).c_str(), U("ODBC").c_str(), U("UID").c_str(), wbuf, 64, &len), 0);
  EXPECT_EQ(std::basic_string<uint16_t>(wbuf), U("fileuser"));
  EXPECT_EQ(OdbcInstProc("SQLNoSuchInstallerFunction"), nullptr);
}

TEST_F(OdbcInstTest, AMissingLibraryReadsAsEmptySettingsAndIsTriedAgain) {
  static const char *const kNone[] = {"libkvd-no-such-installer.so.2", nullptr};
  OdbcInstSetCandidatesForTest(kNone);
  LogCapture log;
  char buf[16] = "untouched";
  EXPECT_EQ(OdbcInstGetPrivateProfileString("kvd_full", "UID", "", buf, sizeof buf, "odbc.ini"), 0);
  EXPECT_STREQ(buf, "untouched");
  uint16_t len = 0;
  EXPECT_EQ(OdbcInstReadFileDSN(ct::FileDsn("file.dsn").c_str(), "ODBC", "FBS", buf, sizeof buf, &len), 0);
  // The connect logic goes on with empty settings.
  ConnStrParse("DSN=kvd_full;UID=given", 'A');
  EXPECT_STREQ(ConnAttrValue(CA_UID), "given");
  EXPECT_STREQ(ConnAttrText(CA_SQLNET), "");
  EXPECT_EQ(ConnAttrNumber(CA_FBS), 0);
  ConnStrParse(nullptr, 'A');
  EXPECT_NE(LogCapture::lines.find("ODBC Installer Error"), std::string::npos) << LogCapture::lines;

  // Back to the real library: the next call loads it.
  OdbcInstSetCandidatesForTest(nullptr);
  EXPECT_GT(OdbcInstGetPrivateProfileString("kvd_full", "UID", "", buf, sizeof buf, "odbc.ini"), 0);
  EXPECT_STREQ(buf, "dsnuser");
}

}  // namespace
