// Catalog calls of an application through unixODBC reach the agent with the
// same texts from the ANSI and the Unicode driver.
#include <gtest/gtest.h>
#include <sql.h>
#include <sqlext.h>

#include <string>

#include "fake.h"
#include "harness.h"
#include "odbc/sqlstate.h"

namespace {

SQLCHAR *A(const char *s) { return reinterpret_cast<SQLCHAR *>(const_cast<char *>(s)); }

struct DmCatalog : ::testing::TestWithParam<const char *> {
  SQLHENV env = SQL_NULL_HENV;
  SQLHDBC dbc = SQL_NULL_HDBC;
  SQLHSTMT stmt = SQL_NULL_HSTMT;
  void SetUp() override {
    harness::DmInit();
    fake::Reset();
    ASSERT_EQ(SQLAllocHandle(SQL_HANDLE_ENV, SQL_NULL_HANDLE, &env), SQL_SUCCESS);
    ASSERT_EQ(SQLSetEnvAttr(env, SQL_ATTR_ODBC_VERSION, reinterpret_cast<SQLPOINTER>(SQL_OV_ODBC3), 0), SQL_SUCCESS);
    ASSERT_EQ(SQLAllocHandle(SQL_HANDLE_DBC, env, &dbc), SQL_SUCCESS);
    ASSERT_TRUE(SQL_SUCCEEDED(SQLConnect(dbc, A(GetParam()), SQL_NTS, A("scott"), SQL_NTS, A("tiger"), SQL_NTS)))
        << harness::DmDiagText(SQL_HANDLE_DBC, dbc);
    ASSERT_EQ(SQLAllocHandle(SQL_HANDLE_STMT, dbc, &stmt), SQL_SUCCESS);
  }
  void TearDown() override {
    SQLFreeHandle(SQL_HANDLE_STMT, stmt);
    SQLDisconnect(dbc);
    SQLFreeHandle(SQL_HANDLE_DBC, dbc);
    SQLFreeHandle(SQL_HANDLE_ENV, env);
  }
  std::string LastText(int slot) {
    auto log = fake::LogOf(slot);
    return log.empty() ? "<no call>" : log.back().text;
  }
};

TEST_P(DmCatalog, TextsReachTheAgent) {
  ASSERT_EQ(SQLTables(stmt, nullptr, 0, nullptr, 0, A("EMP"), SQL_NTS, A("TABLE , VIEW"), SQL_NTS), SQL_SUCCESS)
      << harness::DmDiagText(SQL_HANDLE_STMT, stmt);
  EXPECT_EQ(LastText(SLOT_DRV_DDTables), ",%,EMP,'TABLE','VIEW'");
  ASSERT_EQ(SQLCloseCursor(stmt), SQL_SUCCESS);
  ASSERT_EQ(SQLColumns(stmt, nullptr, 0, A("\"Scott\""), SQL_NTS, nullptr, 0, nullptr, 0), SQL_SUCCESS)
      << harness::DmDiagText(SQL_HANDLE_STMT, stmt);
  EXPECT_EQ(LastText(SLOT_DRV_DDColumns), ",Scott,%,%");
  // An open result is closed by the next catalog call.
  ASSERT_EQ(SQLForeignKeys(stmt, nullptr, 0, nullptr, 0, A("DEPT"), SQL_NTS, nullptr, 0, nullptr, 0, nullptr, 0),
            SQL_SUCCESS)
      << harness::DmDiagText(SQL_HANDLE_STMT, stmt);
  EXPECT_EQ(LastText(SLOT_DRV_DDForeignKeys), ",,DEPT,,,");
}

TEST_P(DmCatalog, PrimaryKeysWithoutTableNeverReachTheAgent) {
  EXPECT_EQ(SQLPrimaryKeys(stmt, nullptr, 0, nullptr, 0, nullptr, 0), SQL_ERROR);
  EXPECT_EQ(fake::CallCount(SLOT_DRV_DDPrimaryKeys), 0);
}

TEST_P(DmCatalog, OracleErrorArrivesWithItsState) {
  fake::Script(SLOT_DRV_DDColumns).result = E_42S02;
  fake::Script(SLOT_DRV_DDColumns).messages = {{fake::OraText("ORA-00942: table or view does not exist", "42S02"), 942}};
  EXPECT_EQ(SQLColumns(stmt, nullptr, 0, nullptr, 0, A("NOPE"), SQL_NTS, nullptr, 0), SQL_ERROR);
  auto recs = harness::DmDiags(SQL_HANDLE_STMT, stmt);
  ASSERT_EQ(recs.size(), 1u) << harness::DmDiagText(SQL_HANDLE_STMT, stmt);
  EXPECT_EQ(recs[0].state, "42S02");
  EXPECT_EQ(recs[0].native, 942);
  EXPECT_NE(recs[0].message.find("[Zezuzeru][ODBC][Oracle Server]ORA-00942: table or view does not exist"),
            std::string::npos)
      << recs[0].message;
  // Two messages beside the pending code, read with the ODBC 2 function:
  // both, then no data.
  fake::Script(SLOT_DRV_DDColumns).messages = {{fake::OraText("first", "42000"), 1}, {fake::OraText("second", "23000"), 2}};
  EXPECT_EQ(SQLColumns(stmt, nullptr, 0, nullptr, 0, A("NOPE"), SQL_NTS, nullptr, 0), SQL_ERROR);
  SQLCHAR state[6], msg[256];
  SQLINTEGER native = 0;
  SQLSMALLINT len = 0;
  ASSERT_EQ(SQLError(env, dbc, stmt, state, &native, msg, sizeof msg, &len), SQL_SUCCESS);
  EXPECT_NE(std::string(reinterpret_cast<char *>(msg)).find("[Oracle Server]first"), std::string::npos) << msg;
  EXPECT_STREQ(reinterpret_cast<char *>(state), "42000");
  ASSERT_EQ(SQLError(env, dbc, stmt, state, &native, msg, sizeof msg, &len), SQL_SUCCESS);
  EXPECT_NE(std::string(reinterpret_cast<char *>(msg)).find("[Oracle Server]second"), std::string::npos) << msg;
  EXPECT_STREQ(reinterpret_cast<char *>(state), "23000");
  EXPECT_EQ(SQLError(env, dbc, stmt, state, &native, msg, sizeof msg, &len), SQL_NO_DATA);
}

INSTANTIATE_TEST_SUITE_P(Drivers, DmCatalog, ::testing::Values("kvd_fake_w", "kvd_fake_a"),
                         [](const auto &info) { return std::string(info.param).substr(9); });

}  // namespace
