#include "odbc/setup.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdlib>
#include <cstring>
#include <fstream>
#include <string>

#include "util/strres.h"

namespace {

TEST(Setup, DescriptionAndRegistryKeyAreCutToTheBuffer) {
  char buf[256];
  EXPECT_EQ(GetSetupDatabase(buf, sizeof buf), 1);
  EXPECT_STREQ(buf, StringResource(IDS_DRIVER_DESCRIPTION));
  EXPECT_NE(strstr(buf, " (Unicode)"), nullptr);
  EXPECT_EQ(GetSetupRegistry(buf, sizeof buf), 1);
  EXPECT_EQ(std::string(buf), std::string("SOFTWARE\\Zezuzeru Software\\") + StringResource(IDS_DRIVER_DESCRIPTION));
  char small[20];
  memset(small, 'Z', sizeof small);
  EXPECT_EQ(GetSetupRegistry(small, sizeof small), 1);
  EXPECT_STREQ(small, "SOFTWARE\\Zezuzeru S");
  EXPECT_EQ(GetSetupDatabase(small, 5), 1);
  EXPECT_STREQ(small, "Zezu");
  EXPECT_EQ(GetSetupDatabase(small, 0), 1);
  EXPECT_EQ(small[0], 'Z');
}

TEST(Setup, StringResources) {
  EXPECT_STREQ(StringResource(IDS_CAPTION), "Zezuzeru ODBC");
  EXPECT_STREQ(StringResource(IDS_LAYER_INIT_FAILED), "Unable to initialize the ODBC layer.");
  EXPECT_STREQ(StringResource(9999), "");
  char buf[8];
  EXPECT_EQ(LoadStringRes(IDS_CAPTION, buf, sizeof buf), 7);
  EXPECT_STREQ(buf, "Zezuzer");
}

struct SetupIni : ::testing::Test {
  std::string dir;
  void SetUp() override {
    char tmpl[] = "/tmp/kvd_setup_XXXXXX";
    ASSERT_NE(mkdtemp(tmpl), nullptr);
    dir = tmpl;
    std::ofstream ini(dir + "/odbcinst.ini");
    ini << "[Mine]\nDriver64=" << SetupOwnPath() << "\nDebugFile=/tmp/x.log\nEmpty=\n";
    ini.close();
    setenv("ODBCSYSINI", dir.c_str(), 1);
    setenv("ODBCINSTINI", "odbcinst.ini", 1);
  }
  void TearDown() override {
    unsetenv("ODBCSYSINI");
    unsetenv("ODBCINSTINI");
    std::string cmd = "rm -rf " + dir;
    (void)system(cmd.c_str());
  }
};

TEST_F(SetupIni, RegReadGivesTheValueOrTheDefault) {
  char buf[64];
  EXPECT_EQ(SetupRegRead("ODBC", "DebugFile", "def", buf, sizeof buf), 11);  // with terminator
  EXPECT_STREQ(buf, "/tmp/x.log");
  EXPECT_EQ(SetupRegRead("ODBC", "Absent", "default", buf, sizeof buf), 7);
  EXPECT_STREQ(buf, "default");
  EXPECT_EQ(SetupRegRead("ODBC", "Absent", "default", buf, 4), 3);
  EXPECT_STREQ(buf, "def");
  EXPECT_EQ(SetupRegRead("ODBC", "DebugFile", "def", buf, 10), 3);  // longer than the buffer
  EXPECT_STREQ(buf, "def");
  EXPECT_EQ(SetupRegRead("ODBC", "Empty", "default", buf, sizeof buf), 1);
  EXPECT_STREQ(buf, "");
}

TEST_F(SetupIni, NoOwnSectionGivesTheDefault) {
  std::ofstream ini(dir + "/odbcinst.ini");
  ini << "[Other]\nDriver=/nowhere/lib.so\nDebugFile=/tmp/y.log\n";
  ini.close();
  char buf[64];
  EXPECT_EQ(SetupFindOwnSection(buf, sizeof buf), -1);
  EXPECT_EQ(SetupRegRead("ODBC", "DebugFile", "", buf, sizeof buf), 0);
  EXPECT_STREQ(buf, "");
}

TEST(Setup, MessagesAreLogLinesUnlessQuiet) {
  EXPECT_EQ(g_msgBoxOwner, -2);
  EXPECT_EQ(MsgBoxAlert("text", 0x30), 1);
  g_msgBoxOwner = 0;
  EXPECT_EQ(MsgBoxAlert("text", 0x30), 0);
  g_msgBoxOwner = -2;
}

}  // namespace
