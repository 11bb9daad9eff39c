// Agent texts as applications read them through unixODBC, from both drivers.
#include <gtest/gtest.h>
#include <sql.h>
#include <sqlext.h>

#include <string>

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

}  // namespace
