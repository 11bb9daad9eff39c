// Library attach and detach of the built drivers, loaded directly: the
// setup queries, and the ODBC trace opened at load and closed at unload.
#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdlib>
#include <cstring>
#include <fstream>
#include <sstream>
#include <string>

#include "harness.h"

namespace {

using ::testing::ContainsRegex;
using ::testing::EndsWith;
using ::testing::StartsWith;

using SetupQuery = int (*)(char *, int);

std::string ReadFile(const std::string &path) {
  std::ifstream in(path);
  std::stringstream ss;
  ss << in.rdbuf();
  return ss.str();
}

TEST(Attach, SetupQueriesOfBothDeliverables) {
  for (auto variant : {harness::kUnicode, harness::kAnsi}) {
    harness::Driver drv(harness::DriverPath(variant, harness::kReal));
    ASSERT_TRUE(drv.ok()) << drv.error();
    auto database = drv.Fn<SetupQuery>("GetSetupDatabase");
    auto registry = drv.Fn<SetupQuery>("GetSetupRegistry");
    char desc[256], key[256];
    EXPECT_EQ(database(desc, sizeof desc), 1);
    EXPECT_EQ(registry(key, sizeof key), 1);
    EXPECT_EQ(std::string(key), std::string("SOFTWARE\\Zezuzeru Software\\") + desc);
    const bool unicode = variant == harness::kUnicode;
    EXPECT_EQ(std::string(desc).find(" (Unicode)") != std::string::npos, unicode) << desc;
    char small[20];
    EXPECT_EQ(registry(small, sizeof small), 1);
    EXPECT_STREQ(small, "SOFTWARE\\Zezuzeru S");
  }
}

TEST(Attach, TraceOpensAtLoadAndClosesAtUnload) {
  char tmpl[] = "/tmp/kvd_attach_XXXXXX";
  ASSERT_NE(mkdtemp(tmpl), nullptr);
  const std::string file = std::string(tmpl) + "/load.trc";
  setenv("TVX_DEBUGFILE", file.c_str(), 1);
  {
    harness::Driver drv(harness::DriverPath(harness::kAnsi, harness::kReal));
    ASSERT_TRUE(drv.ok()) << drv.error();
    unsetenv("TVX_DEBUGFILE");
    SQLHENV env = drv.AllocEnv();
    ASSERT_NE(env, nullptr);
    EXPECT_EQ(drv.FreeHandle(SQL_HANDLE_ENV, env), SQL_SUCCESS);
    const std::string open = ReadFile(file);
    EXPECT_THAT(open, StartsWith("** Zezuzeru ODBC Trace file for "));
    EXPECT_THAT(open, ContainsRegex("\n\\[[0-9A-F]+\\] SQLFreeHandle hEnv=10000\n"));
    EXPECT_EQ(open.find("normal end"), std::string::npos);
  }
  // dlclose ran the detach sequence.
  EXPECT_THAT(ReadFile(file), EndsWith("** normal end **\n"));
  std::string cmd = std::string("rm -rf ") + tmpl;
  (void)system(cmd.c_str());
}

}  // namespace
