// SQLGetInfo and SQLGetFunctions as applications reach them through unixODBC.
#include <gtest/gtest.h>
#include <sql.h>
#include <sqlext.h>

#include <string>

#include "fake.h"
#include "harness.h"

namespace {

struct DmInfo : ::testing::TestWithParam<const char *> {
  SQLHENV env = SQL_NULL_HENV;
  SQLHDBC dbc = SQL_NULL_HDBC;
  void SetUp() override {
    harness::DmInit();
    fake::Reset();
    ASSERT_EQ(SQLAllocHandle(SQL_HANDLE_ENV, SQL_NULL_HANDLE, &env), SQL_SUCCESS);
    ASSERT_EQ(SQLSetEnvAttr(env, SQL_ATTR_ODBC_VERSION, reinterpret_cast<SQLPOINTER>(SQL_OV_ODBC3), 0), SQL_SUCCESS);
    ASSERT_EQ(SQLAllocHandle(SQL_HANDLE_DBC, env, &dbc), SQL_SUCCESS);
    ASSERT_TRUE(SQL_SUCCEEDED(SQLConnect(dbc, (SQLCHAR *)GetParam(), SQL_NTS, (SQLCHAR *)"scott", SQL_NTS,
                                         (SQLCHAR *)"tiger", SQL_NTS)))
        << harness::DmDiagText(SQL_HANDLE_DBC, dbc);
  }
  void TearDown() override {
    SQLDisconnect(dbc);
    SQLFreeHandle(SQL_HANDLE_DBC, dbc);
    SQLFreeHandle(SQL_HANDLE_ENV, env);
  }
};

TEST_P(DmInfo, AnswersAndCaching) {
  fake::SetInfoText(InfoGetInfoStr(SQL_DBMS_NAME), "Oracle");
  char text[64];
  SQLSMALLINT len = 0;
  ASSERT_EQ(SQLGetInfo(dbc, SQL_DRIVER_ODBC_VER, text, sizeof text, &len), SQL_SUCCESS);
  EXPECT_STREQ(text, "03.50");
  for (int i = 0; i < 3; ++i) {
    ASSERT_EQ(SQLGetInfo(dbc, SQL_DBMS_NAME, text, sizeof text, &len), SQL_SUCCESS)
        << harness::DmDiagText(SQL_HANDLE_DBC, dbc);
    EXPECT_STREQ(text, "Oracle");
    EXPECT_EQ(len, 6);
  }
  int asks = 0;
  for (const auto &c : fake::LogOf(SLOT_DRV_GetInfo)) asks += c.text == "0x21040011";
  EXPECT_EQ(asks, 1);
  SQLUINTEGER cvt = 0;
  ASSERT_EQ(SQLGetInfo(dbc, SQL_CONVERT_INTEGER, &cvt, 0, nullptr), SQL_SUCCESS);
  EXPECT_EQ(cvt & 0x73FFu, 0x73FFu);
}

TEST_P(DmInfo, FunctionsTheDriverManagerKeeps) {
  SQLUSMALLINT map[SQL_API_ODBC3_ALL_FUNCTIONS_SIZE] = {};
  ASSERT_EQ(SQLGetFunctions(dbc, SQL_API_ODBC3_ALL_FUNCTIONS, map), SQL_SUCCESS);
  for (SQLUSMALLINT id : {SQL_API_SQLGETINFO, SQL_API_SQLGETDIAGREC, SQL_API_SQLGETFUNCTIONS, SQL_API_SQLFREEHANDLE})
    EXPECT_TRUE(SQL_FUNC_EXISTS(map, id)) << id;
}

INSTANTIATE_TEST_SUITE_P(Drivers, DmInfo, ::testing::Values("kvd_fake_w", "kvd_fake_a"),
                         [](const auto &info) { return std::string(info.param).substr(9); });

}  // namespace
