// Agent texts as applications read them through unixODBC, from both drivers.
#include <gtest/gtest.h>
#include <sql.h>
#include <sqlext.h>
#include <sqlucode.h>

#include <string>
#include <vector>

#include "fake.h"
#include "harness.h"
#include "odbc/sqlstate.h"

namespace {

struct DmDiag : ::testing::TestWithParam<const char *> {
  SQLHENV env = SQL_NULL_HENV;
  SQLHDBC dbc = SQL_NULL_HDBC;
  void SetUp() override {
    harness::DmInit();
    fake::Reset();
    ASSERT_EQ(SQLAllocHandle(SQL_HANDLE_ENV, SQL_NULL_HANDLE, &env), SQL_SUCCESS);
    ASSERT_EQ(SQLSetEnvAttr(env, SQL_ATTR_ODBC_VERSION, reinterpret_cast<SQLPOINTER>(SQL_OV_ODBC3), 0), SQL_SUCCESS);
    ASSERT_EQ(SQLAllocHandle(SQL_HANDLE_DBC, env, &dbc), SQL_SUCCESS);
  }
  void TearDown() override {
    SQLFreeHandle(SQL_HANDLE_DBC, dbc);
    SQLFreeHandle(SQL_HANDLE_ENV, env);
  }
  SQLRETURN Connect() {
    return SQLConnect(dbc, (SQLCHAR *)GetParam(), SQL_NTS, (SQLCHAR *)"scott", SQL_NTS, (SQLCHAR *)"tiger", SQL_NTS);
  }
};

TEST_P(DmDiag, AgentTextKeepsItsStateNativeCodeAndPrefix) {
  fake::Script(SLOT_DRV_Connect).result = E_42S02;
  fake::Script(SLOT_DRV_Connect).messages = {{fake::OraText("ORA-00942: table or view does not exist", "42S02"), 942}};
  ASSERT_EQ(Connect(), SQL_ERROR);
  auto recs = harness::DmDiags(SQL_HANDLE_DBC, dbc);
  ASSERT_FALSE(recs.empty());
  EXPECT_EQ(recs[0].state, "42S02");
  EXPECT_EQ(recs[0].native, 942);
  EXPECT_NE(recs[0].message.find("[Zezuzeru][ODBC][Oracle Server]ORA-00942: table or view does not exist"),
            std::string::npos)
      << recs[0].message;
  EXPECT_EQ(recs[0].message.find("[SQLSTATE:"), std::string::npos) << recs[0].message;
}

TEST_P(DmDiag, PendingCodeWithoutMessages) {
  fake::Script(SLOT_DRV_Connect).result = 200;  // a code this driver does not know
  ASSERT_EQ(Connect(), SQL_ERROR);
  auto recs = harness::DmDiags(SQL_HANDLE_DBC, dbc);
  ASSERT_EQ(recs.size(), 1u) << harness::DmDiagText(SQL_HANDLE_DBC, dbc);
  EXPECT_EQ(recs[0].state, "HY000");
  EXPECT_NE(recs[0].message.find("[Zezuzeru][ODBC][Driver]Undefined errorcode (200).\nPlease install a newer client."),
            std::string::npos)
      << recs[0].message;
}

TEST_P(DmDiag, ConnectedDriverAnswersDiagnosticsAfterConnect) {
  ASSERT_TRUE(SQL_SUCCEEDED(Connect())) << harness::DmDiagText(SQL_HANDLE_DBC, dbc);
  // The Driver Manager keeps the diagnostic functions the driver claims.
  SQLUSMALLINT exists = SQL_FALSE;
  ASSERT_EQ(SQLGetFunctions(dbc, SQL_API_SQLGETDIAGREC, &exists), SQL_SUCCESS);
  EXPECT_EQ(exists, SQL_TRUE);
  EXPECT_EQ(SQLDisconnect(dbc), SQL_SUCCESS);
}

INSTANTIATE_TEST_SUITE_P(Drivers, DmDiag, ::testing::Values("kvd_fake_w", "kvd_fake_a"),
                         [](const auto &info) { return std::string(info.param).substr(9); });

// A message longer than four bytes per character of the caller's buffer
// reports its full length in characters, so that a second call sized by it
// gets the whole message. unixODBC keeps 512 characters of a message
// whatever the driver reports, so the driver is loaded directly here.
TEST(DirectDiag, LongMessageReportsItsFullLength) {
  std::string text;
  for (int i = 0; i < 700; ++i) text += "\xE2\x82\xAC";  // 700 characters, 2100 bytes
  text += " end";
  const std::string expect = "[Zezuzeru][ODBC][Oracle Server]" + text;
  const auto expectW = harness::ToW(expect);
  harness::DmInit();
  for (harness::Variant v : {harness::kUnicode, harness::kAnsi}) {
    SCOPED_TRACE(v == harness::kUnicode ? "W" : "A");
    harness::Driver drv(harness::DriverPath(v, harness::kFake));
    ASSERT_TRUE(drv.ok()) << drv.error();
    fake::Reset();
    fake::Script(SLOT_DRV_Connect).result = E_42S02;
    fake::Script(SLOT_DRV_Connect).messages = {{fake::OraText(text, "42S02"), 942}};
    SQLHENV env = drv.AllocEnv();
    SQLHDBC dbc = drv.AllocDbc(env);
    ASSERT_EQ(drv.Connect(dbc, v == harness::kUnicode ? "kvd_fake_w" : "kvd_fake_a", "scott", "tiger"), SQL_ERROR);
    SQLINTEGER native = 0;
    SQLSMALLINT len = -1;
    if (v == harness::kUnicode) {
      auto get = KVD_FN(drv, SQLGetDiagRecW);
      SQLWCHAR state[6];
      std::vector<SQLWCHAR> msg(100);
      EXPECT_EQ(get(SQL_HANDLE_DBC, dbc, 1, state, &native, msg.data(), 100, &len), SQL_SUCCESS_WITH_INFO);
      EXPECT_EQ(len, static_cast<SQLSMALLINT>(expectW.size()));
      EXPECT_EQ(harness::FromW(msg.data(), 99), harness::FromW(expectW.data(), 99));
      msg.assign(static_cast<size_t>(len) + 1, 0xBEEF);
      EXPECT_EQ(get(SQL_HANDLE_DBC, dbc, 1, state, &native, msg.data(), static_cast<SQLSMALLINT>(msg.size()), &len),
                SQL_SUCCESS);
      EXPECT_EQ(harness::FromW(msg.data(), static_cast<size_t>(len)), expect);
      EXPECT_EQ(harness::FromW(state, 5), "42S02");
    } else {
      auto get = KVD_FN(drv, SQLGetDiagRec);
      SQLCHAR state[6];
      std::vector<SQLCHAR> msg(100);
      EXPECT_EQ(get(SQL_HANDLE_DBC, dbc, 1, state, &native, msg.data(), 100, &len), SQL_SUCCESS_WITH_INFO);
      EXPECT_EQ(len, static_cast<SQLSMALLINT>(expect.size()));
      msg.assign(static_cast<size_t>(len) + 1, 'x');
      EXPECT_EQ(get(SQL_HANDLE_DBC, dbc, 1, state, &native, msg.data(), static_cast<SQLSMALLINT>(msg.size()), &len),
                SQL_SUCCESS);
      EXPECT_EQ(std::string(reinterpret_cast<char *>(msg.data())), expect);
    }
    EXPECT_EQ(native, 942);
    drv.FreeHandle(SQL_HANDLE_DBC, dbc);
    drv.FreeHandle(SQL_HANDLE_ENV, env);
  }
}

}  // namespace
