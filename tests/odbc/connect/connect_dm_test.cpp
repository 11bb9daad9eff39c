// Connecting as applications do on Linux: isql and iusql, and SQLDriverConnect
// (narrow and W) through unixODBC with DSN=, DRIVER= and FILEDSN= strings,
// against the fake-agent drivers and private ini files. The connection
// attributes that unixODBC answers itself (104, 105, 110) are tested on the
// driver loaded directly.
#include <sys/wait.h>

#include <gtest/gtest.h>

#include <cstdio>
#include <fstream>
#include <string>

#include "fake.h"
#include "harness.h"

namespace {

using harness::Dsn;

const std::vector<Dsn> &ExtraDsns() {
  static const std::vector<Dsn> dsns = {
      {"kvd_conn_w", harness::kDmFakeUnicode, {{"SQLNETConnect", "alias"}, {"FetchBufferSize", "0"}, {"UID", "dsnuser"}}},
      {"kvd_conn_a", harness::kDmFakeAnsi, {{"SQLNETConnect", "alias"}, {"FetchBufferSize", "0"}, {"UID", "dsnuser"}}},
      {"Default", harness::kDmFakeUnicode, {{"FetchBufferSize", "33"}}},
  };
  return dsns;
}

struct ConnectDmTest : ::testing::Test {
  void SetUp() override {
    files = &harness::DmInit(ExtraDsns());
    fake::Reset();
    ASSERT_TRUE(SQL_SUCCEEDED(SQLAllocHandle(SQL_HANDLE_ENV, SQL_NULL_HANDLE, &env)));
    ASSERT_TRUE(SQL_SUCCEEDED(SQLSetEnvAttr(env, SQL_ATTR_ODBC_VERSION, (SQLPOINTER)SQL_OV_ODBC3, 0)));
    ASSERT_TRUE(SQL_SUCCEEDED(SQLAllocHandle(SQL_HANDLE_DBC, env, &dbc)));
  }
  void TearDown() override {
    SQLDisconnect(dbc);
    SQLFreeHandle(SQL_HANDLE_DBC, dbc);
    SQLFreeHandle(SQL_HANDLE_ENV, env);
  }
  SQLRETURN DriverConnect(const std::string &in, std::string *out, SQLSMALLINT max = 2048) {
    std::string buf(static_cast<size_t>(max) + 1, '\0');
    SQLSMALLINT len = 0;
    SQLRETURN rc = SQLDriverConnect(dbc, nullptr, (SQLCHAR *)in.c_str(), SQL_NTS, (SQLCHAR *)buf.data(), max, &len,
                                    SQL_DRIVER_NOPROMPT);
    *out = buf.c_str();
    return rc;
  }
  SQLRETURN DriverConnectW(const std::string &in, std::string *out, SQLSMALLINT max = 2048) {
    auto w = harness::ToW(in);
    std::basic_string<SQLWCHAR> buf(static_cast<size_t>(max) + 1, 0);
    SQLSMALLINT len = 0;
    SQLRETURN rc = SQLDriverConnectW(dbc, nullptr, w.data(), SQL_NTS, buf.data(), max, &len, SQL_DRIVER_NOPROMPT);
    *out = harness::FromW(buf.c_str(), std::basic_string<SQLWCHAR>(buf.c_str()).size());
    return rc;
  }
  const harness::DmFiles *files = nullptr;
  SQLHENV env = SQL_NULL_HANDLE;
  SQLHDBC dbc = SQL_NULL_HANDLE;
};

// Runs a command line with "quit" as its input; its exit status and output.
int RunTool(const std::string &command, std::string *output) {
  FILE *p = popen(("echo quit | " + command + " 2>&1").c_str(), "r");
  if (!p) return -1;
  char buf[512];
  size_t n;
  while ((n = fread(buf, 1, sizeof buf, p)) > 0) output->append(buf, n);
  int status = pclose(p);
  return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

TEST_F(ConnectDmTest, IsqlAndIusqlConnectWithUserAndPassword) {
  for (const char *tool : {"isql", "iusql"}) {
    for (const char *dsn : {"kvd_fake_w", "kvd_fake_a", "kvd_conn_w"}) {
      std::string out;
      int status = RunTool(std::string(tool) + " -v " + dsn + " scott tiger", &out);
      EXPECT_EQ(status, 0) << tool << " " << dsn << ":\n" << out;
      EXPECT_NE(out.find("Connected!"), std::string::npos) << tool << " " << dsn << ":\n" << out;
    }
  }
}

TEST_F(ConnectDmTest, DriverConnectWithADataSource) {
  std::string out;
  ASSERT_EQ(DriverConnect("DSN=kvd_conn_a;PWD=tiger", &out), SQL_SUCCESS) << harness::DmDiagText(SQL_HANDLE_DBC, dbc);
  EXPECT_EQ(out, "DSN=kvd_conn_a;UID=dsnuser;PWD=tiger;SQLNET=alias;JET=FALSE;FBS=60");
  auto req = fake::LastConnect();
  ASSERT_TRUE(req.has_value());
  EXPECT_EQ(req->user, "dsnuser");
  EXPECT_EQ(req->dbOptions, "alias");
  EXPECT_FALSE(req->wide);
  SQLDisconnect(dbc);
  // The Unicode driver gets the W call, marked wide for the agent.
  ASSERT_EQ(DriverConnectW("DSN=kvd_conn_w;UID=J\xC3\xBCrgen;PWD=tiger", &out), SQL_SUCCESS)
      << harness::DmDiagText(SQL_HANDLE_DBC, dbc);
  EXPECT_EQ(out, "DSN=kvd_conn_w;UID=J\xC3\xBCrgen;PWD=tiger;SQLNET=alias;JET=FALSE;FBS=60");
  EXPECT_EQ(fake::LastConnect()->user, "J\xC3\xBCrgen");
  EXPECT_TRUE(fake::LastConnect()->wide);
}

TEST_F(ConnectDmTest, DriverConnectWithADriverGivesTheLongForm) {
  std::string out;
  const std::string in = std::string("DRIVER={") + harness::kDmFakeUnicode + "};UID=scott;PWD={ti;ger}";
  ASSERT_EQ(DriverConnect(in, &out), SQL_SUCCESS) << harness::DmDiagText(SQL_HANDLE_DBC, dbc);
  EXPECT_EQ(out.rfind(std::string("DRIVER={") + harness::kDmFakeUnicode + "};UID=scott;PWD={ti;ger};SQLNET=;", 0), 0u)
      << out;
  EXPECT_NE(out.find(";FBS=33;"), std::string::npos) << out;  // from the section "Default"
  EXPECT_EQ(out.substr(out.size() - 16), ";Server=Zezuzeru");
  EXPECT_EQ(fake::LastConnect()->password, "ti;ger");
  EXPECT_EQ(fake::LastConnect()->dataSource, "Default");
}

TEST_F(ConnectDmTest, DriverConnectWithAFileDsn) {
  const std::string path = files->dir + "/connect.dsn";
  {
    std::ofstream f(path);
    f << "[ODBC]\nDRIVER = " << harness::kDmFakeAnsi << "\nUID = fileuser\nFBS = 77\n";
  }
  std::string out;
  ASSERT_EQ(DriverConnect("FILEDSN=" + path + ";PWD=pw", &out), SQL_SUCCESS) << harness::DmDiagText(SQL_HANDLE_DBC, dbc);
  EXPECT_EQ(fake::LastConnect()->user, "fileuser");
  EXPECT_EQ(fake::LastConnect()->password, "pw");
  EXPECT_NE(out.find("UID=fileuser;PWD=pw;"), std::string::npos) << out;
  EXPECT_NE(out.find("FBS=77"), std::string::npos) << out;
}

TEST_F(ConnectDmTest, ACutOutputStringIsReportedWith01004) {
  std::string out;
  EXPECT_EQ(DriverConnect("DSN=kvd_conn_a;PWD=tiger", &out, 20), SQL_SUCCESS_WITH_INFO);
  EXPECT_EQ(out, "DSN=kvd_conn_a;UID=");
  EXPECT_NE(harness::DmDiagText(SQL_HANDLE_DBC, dbc).find("01004"), std::string::npos);
  SQLDisconnect(dbc);
  EXPECT_EQ(DriverConnectW("DSN=kvd_conn_w;PWD=tiger", &out, 20), SQL_SUCCESS_WITH_INFO);
  EXPECT_EQ(out, "DSN=kvd_conn_w;UID=");
  EXPECT_NE(harness::DmDiagText(SQL_HANDLE_DBC, dbc).find("01004"), std::string::npos);
  // A buffer of no characters: the cut is reported with the full length.
  SQLDisconnect(dbc);
  auto in = harness::ToW("DSN=kvd_conn_w;PWD=tiger");
  SQLWCHAR none[1] = {0xBEEF};
  SQLSMALLINT len = -1;
  EXPECT_EQ(SQLDriverConnectW(dbc, nullptr, in.data(), SQL_NTS, none, 0, &len, SQL_DRIVER_NOPROMPT),
            SQL_SUCCESS_WITH_INFO);
  EXPECT_EQ(none[0], 0xBEEF);
  EXPECT_GT(len, 20);
  EXPECT_NE(harness::DmDiagText(SQL_HANDLE_DBC, dbc).find("01004"), std::string::npos);
}

TEST_F(ConnectDmTest, AFailedConnectShowsTheAgentsMessages) {
  fake::Script(SLOT_DRV_Connect).result = E_28000;
  fake::Script(SLOT_DRV_Connect).messages = {
      {fake::OraText("ORA-01017: invalid username/password; logon denied", "28000"), 1017}};
  std::string out;
  EXPECT_EQ(DriverConnect("DSN=kvd_conn_a;PWD=wrong", &out), SQL_ERROR);
  auto diags = harness::DmDiags(SQL_HANDLE_DBC, dbc);
  ASSERT_FALSE(diags.empty());
  EXPECT_EQ(diags[0].state, "28000");
  EXPECT_EQ(diags[0].native, 1017);
  EXPECT_NE(diags[0].message.find("ORA-01017"), std::string::npos);
}

// unixODBC answers these attributes itself: the driver's own answers are
// tested on the driver loaded without it.
TEST(ConnectDirectTest, AttributesTheDriverManagerKeepsForItself) {
  for (harness::Variant v : {harness::kUnicode, harness::kAnsi}) {
    harness::Driver drv(harness::DriverPath(v, harness::kFake));
    ASSERT_TRUE(drv.ok()) << drv.error();
    SQLHENV env = drv.AllocEnv();
    SQLHDBC dbc = drv.AllocDbc(env);
    auto set = drv.unicode() ? drv.Fn<decltype(&SQLSetConnectAttr)>("SQLSetConnectAttrW")
                             : KVD_FN(drv, SQLSetConnectAttr);
    auto get = drv.unicode() ? drv.Fn<decltype(&SQLGetConnectAttr)>("SQLGetConnectAttrW")
                             : KVD_FN(drv, SQLGetConnectAttr);
    EXPECT_EQ(set(dbc, SQL_ATTR_TRACE, (SQLPOINTER)SQL_OPT_TRACE_ON, 0), SQL_SUCCESS);
    SQLUINTEGER n = 9;
    EXPECT_EQ(get(dbc, SQL_ATTR_TRACE, &n, 0, nullptr), SQL_SUCCESS);
    EXPECT_EQ(n, 0u);
    const SQLWCHAR wname[] = {'/', 't', 0};
    EXPECT_EQ(set(dbc, SQL_ATTR_TRACEFILE, drv.unicode() ? (SQLPOINTER)wname : (SQLPOINTER) "/t", SQL_NTS),
              SQL_SUCCESS);
    SQLWCHAR buf[8] = {'x', 'x', 0};
    SQLINTEGER len = -1;
    EXPECT_EQ(get(dbc, SQL_ATTR_TRACEFILE, buf, sizeof buf, &len), SQL_SUCCESS);
    EXPECT_EQ(len, 0);
    EXPECT_EQ(buf[0] & (drv.unicode() ? 0xFFFF : 0xFF), 0);
    EXPECT_EQ(set(dbc, SQL_ATTR_ODBC_CURSORS, (SQLPOINTER)SQL_CUR_USE_DRIVER, 0), SQL_ERROR);
    auto recs = drv.Diags(SQL_HANDLE_DBC, dbc);
    ASSERT_FALSE(recs.empty());
    EXPECT_EQ(recs[0].state, "HY092");
    n = 9;
    EXPECT_EQ(get(dbc, SQL_ATTR_ODBC_CURSORS, &n, 0, nullptr), SQL_SUCCESS);
    EXPECT_EQ(n, 0u);
    drv.FreeHandle(SQL_HANDLE_DBC, dbc);
    drv.FreeHandle(SQL_HANDLE_ENV, env);
  }
}

}  // namespace
