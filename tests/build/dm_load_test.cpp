// Both drivers (and their fake-agent builds) load through unixODBC from a
// private odbcinst.ini, and a connect through the Driver Manager reaches the
// driver.
#include <dlfcn.h>
#include <gtest/gtest.h>

#include "fake.h"
#include "harness.h"

namespace {

struct Case {
  const char *dsn;
  harness::Variant variant;
  harness::Agent agent;
};
const Case kCases[] = {
    {"kvd_fake_w", harness::kUnicode, harness::kFake},
    {"kvd_fake_a", harness::kAnsi, harness::kFake},
    {"kvd_w", harness::kUnicode, harness::kReal},
    {"kvd_a", harness::kAnsi, harness::kReal},
};

void PrintTo(const Case &c, std::ostream *os) { *os << c.dsn; }

// True when the library exports the entry point (the front end may not have
// it yet); wide: the Unicode driver's name carries the W.
bool Exports(const Case &c, const char *narrow, bool wide) {
  void *h = dlopen(harness::DriverPath(c.variant, c.agent).c_str(), RTLD_NOW | RTLD_LOCAL);
  if (!h) return false;
  std::string name = std::string(narrow) + (wide && c.variant == harness::kUnicode ? "W" : "");
  bool found = dlsym(h, name.c_str()) != nullptr;
  dlclose(h);
  return found;
}

class DmLoad : public ::testing::TestWithParam<Case> {
 protected:
  void SetUp() override {
    harness::DmInit();
    fake::Reset();
    ASSERT_TRUE(SQL_SUCCEEDED(SQLAllocHandle(SQL_HANDLE_ENV, SQL_NULL_HANDLE, &env_)));
    ASSERT_TRUE(SQL_SUCCEEDED(SQLSetEnvAttr(env_, SQL_ATTR_ODBC_VERSION, (SQLPOINTER)SQL_OV_ODBC3, 0)));
    ASSERT_TRUE(SQL_SUCCEEDED(SQLAllocHandle(SQL_HANDLE_DBC, env_, &dbc_)));
  }
  void TearDown() override {
    if (connected_) SQLDisconnect(dbc_);
    if (dbc_) SQLFreeHandle(SQL_HANDLE_DBC, dbc_);
    if (env_) SQLFreeHandle(SQL_HANDLE_ENV, env_);
  }
  SQLRETURN Connect() {
    SQLRETURN rc = SQLConnect(dbc_, (SQLCHAR *)GetParam().dsn, SQL_NTS, (SQLCHAR *)"scott", SQL_NTS,
                              (SQLCHAR *)"tiger", SQL_NTS);
    connected_ = SQL_SUCCEEDED(rc);
    return rc;
  }
  SQLHENV env_ = SQL_NULL_HANDLE;
  SQLHDBC dbc_ = SQL_NULL_HANDLE;
  bool connected_ = false;
};

// Errors of the Driver Manager that say it could not load or start a driver.
const char *const kLoadFailures[] = {"IM002", "IM003", "Can't open lib", "file not found"};
const char *const kStartFailures[] = {"IM004", "IM005"};  // the driver's env or dbc allocation failed

// The Driver Manager finds and loads the library: whatever the connect
// answers, it is not the Driver Manager's "cannot load" or "not found".
TEST_P(DmLoad, DriverLoads) {
  if (SQL_SUCCEEDED(Connect())) return;
  std::string diag = harness::DmDiagText(SQL_HANDLE_DBC, dbc_);
  for (const char *f : kLoadFailures) EXPECT_EQ(diag.find(f), std::string::npos) << diag;
}

// The Driver Manager allocates the driver's environment and connection and
// passes SQLConnect on to it.
TEST_P(DmLoad, ConnectReachesTheDriver) {
  if (!Exports(GetParam(), "SQLAllocHandle", false)) GTEST_SKIP() << "the driver has no SQLAllocHandle yet";
  if (SQL_SUCCEEDED(Connect())) return;
  std::string diag = harness::DmDiagText(SQL_HANDLE_DBC, dbc_);
  for (const char *f : kLoadFailures) EXPECT_EQ(diag.find(f), std::string::npos) << diag;
  for (const char *f : kStartFailures) EXPECT_EQ(diag.find(f), std::string::npos) << diag;
}

// SQLConnect through the Driver Manager reaches the agent. The fake agent
// records the request: the data source of the DSN, the user, and the wide
// marker of the Unicode driver's SQLConnectW. The real agent is asked for a
// data source that names no database: its own answer (ORA-12154 from the
// OCI layer) comes back through the Driver Manager.
TEST_P(DmLoad, ConnectReachesTheAgent) {
  SQLRETURN rc = Connect();
  if (GetParam().agent == harness::kReal) {
    EXPECT_EQ(rc, SQL_ERROR);
    auto recs = harness::DmDiags(SQL_HANDLE_DBC, dbc_);
    ASSERT_FALSE(recs.empty());
    EXPECT_NE(recs[0].message.find("[Zezuzeru][ODBC][Oracle Server]ORA-12154"), std::string::npos)
        << recs[0].message;
    return;
  }
  EXPECT_TRUE(SQL_SUCCEEDED(rc)) << harness::DmDiagText(SQL_HANDLE_DBC, dbc_);
  EXPECT_EQ(fake::CallCount(SLOT_DRV_Connect), 1);
  auto req = fake::LastConnect();
  ASSERT_TRUE(req.has_value());
  EXPECT_EQ(req->dataSource, GetParam().dsn);
  EXPECT_EQ(req->user, "scott");
  // The Driver Manager calls the Unicode driver's SQLConnectW, which marks
  // the request wide; the ANSI driver gets the narrow call.
  EXPECT_EQ(req->wide, GetParam().variant == harness::kUnicode);
}

INSTANTIATE_TEST_SUITE_P(Drivers, DmLoad, ::testing::ValuesIn(kCases),
                         [](const ::testing::TestParamInfo<Case> &i) { return std::string(i.param.dsn); });

}  // namespace
