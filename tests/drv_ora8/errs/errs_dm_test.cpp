// Oracle errors reach applications with the SQLSTATE of their ODBC class,
// their Oracle error number as native error and Oracle's message: both
// drivers through unixODBC, in ODBC 3 and ODBC 2 environments. Errors the
// stand-in raises itself run as statements; the others are injected with its
// fault hook at execute.
#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <tuple>

#include "dm_db.h"
#include "harness.h"
#include "ocilite.h"

namespace {

SQLCHAR *Text(const std::string &s) { return reinterpret_cast<SQLCHAR *>(const_cast<char *>(s.c_str())); }

struct ErrCase {
  const char *what;
  const char *sql;  // run as scott; nullptr: a harmless statement failing through the hook
  int ora;          // the Oracle error (injected when sql is null)
  const char *state3, *state2;
};

// Table e_t: k primary key, n not null, v varchar2(3), p number(3), c check.
const ErrCase kCases[] = {
    {"duplicate key", "insert into e_t (k, n) values (1, 1)", 1, "23000", "23000"},
    {"null into not null", "insert into e_t (k, n) values (9, null)", 1400, "23000", "23000"},
    {"check constraint", "insert into e_t (k, n, c) values (9, 1, -1)", 2290, "23000", "23000"},
    {"syntax error", "selec 1 from dual", 900, "42000", "37000"},
    {"missing expression", "select 1 + from dual", 936, "42000", "37000"},
    {"missing table keeps its state", "select * from no_such_table", 942, "42S02", "S0002"},
    {"value too long", "insert into e_t (k, n, v) values (9, 1, 'abcd')", 12899, "22001", "22001"},
    {"precision exceeded", "insert into e_t (k, n, p) values (9, 1, 12345)", 1438, "22003", "22003"},
    {"invalid number", "select to_number('abc') from dual", 1722, "22018", "22005"},
    {"invalid month", "select to_date('2020-13-01', 'YYYY-MM-DD') from dual", 1843, "22008", "22008"},
    {"division by zero keeps its state", "select 1/0 from dual", 1476, "22012", "22012"},
    {"parent key not found", nullptr, 2291, "23000", "23000"},
    {"insufficient privileges", nullptr, 1031, "42000", "37000"},
    {"serialization failure", nullptr, 8177, "40001", "40001"},
    {"numeric overflow", nullptr, 1426, "22003", "22003"},
    {"unmapped error stays general", nullptr, 4711, "HY000", "S1000"},
};

// Parameter: DSN and ODBC version.
class OraErrors : public ::testing::TestWithParam<std::tuple<const char *, int>> {
 protected:
  SQLHENV env = SQL_NULL_HENV;
  SQLHDBC dbc = SQL_NULL_HDBC;

  void SetUp() override {
    ASSERT_FALSE(dm_db::Database().empty());
    harness::DmInit({{"kvd_errs_w", harness::kDmUnicode, {{"SQLNETConnect", dm_db::Database()}}},
                     {"kvd_errs_a", harness::kDmAnsi, {{"SQLNETConnect", dm_db::Database()}}}});
    ocilite_test_reset();
    ASSERT_EQ(SQLAllocHandle(SQL_HANDLE_ENV, SQL_NULL_HANDLE, &env), SQL_SUCCESS);
    SQLSetEnvAttr(env, SQL_ATTR_ODBC_VERSION, reinterpret_cast<SQLPOINTER>(intptr_t{std::get<1>(GetParam())}), 0);
    ASSERT_EQ(SQLAllocHandle(SQL_HANDLE_DBC, env, &dbc), SQL_SUCCESS);
    SQLRETURN rc = SQLConnect(dbc, Text(std::get<0>(GetParam())), SQL_NTS, Text("scott"), SQL_NTS, Text("tiger"),
                              SQL_NTS);
    ASSERT_TRUE(SQL_SUCCEEDED(rc)) << harness::DmDiagText(SQL_HANDLE_DBC, dbc);
  }
  void TearDown() override {
    ocilite_test_reset();
    SQLDisconnect(dbc);
    SQLFreeHandle(SQL_HANDLE_DBC, dbc);
    SQLFreeHandle(SQL_HANDLE_ENV, env);
  }

  SQLRETURN Run(const std::string &sql, std::vector<harness::DiagRec> *recs = nullptr) {
    SQLHSTMT h = SQL_NULL_HSTMT;
    EXPECT_EQ(SQLAllocHandle(SQL_HANDLE_STMT, dbc, &h), SQL_SUCCESS);
    SQLRETURN rc = SQLExecDirect(h, Text(sql), SQL_NTS);
    if (recs) *recs = harness::DmDiags(SQL_HANDLE_STMT, h);
    SQLFreeHandle(SQL_HANDLE_STMT, h);
    return rc;
  }
  bool Odbc3() const { return std::get<1>(GetParam()) == SQL_OV_ODBC3; }
};

TEST_P(OraErrors, EachErrorClassHasItsSqlState) {
  // Each driver and version works on a table of its own in the one database.
  const std::string t = std::string("e_") + (std::strcmp(std::get<0>(GetParam()), "kvd_errs_w") ? "a" : "w") +
                        (Odbc3() ? "3" : "2");
  Run("drop table " + t);
  ASSERT_TRUE(SQL_SUCCEEDED(Run("create table " + t +
                                " (k number(5) primary key, n number(5) not null, v varchar2(3),"
                                " p number(3), c number(3) check (c >= 0))")));
  ASSERT_TRUE(SQL_SUCCEEDED(Run("insert into " + t + " (k, n) values (1, 1)")));
  for (const ErrCase &k : kCases) {
    SCOPED_TRACE(k.what);
    std::string sql = k.sql ? k.sql : "select 1 from dual";
    for (size_t at; (at = sql.find("e_t")) != std::string::npos;) sql.replace(at, 3, t);
    if (!k.sql) ocilite_test_fault(OCILITE_T_EXECUTE, 1, 1, k.ora, 0, nullptr);
    std::vector<harness::DiagRec> recs;
    ASSERT_EQ(Run(sql, &recs), SQL_ERROR) << sql;
    ASSERT_FALSE(recs.empty()) << sql;
    EXPECT_EQ(recs[0].state, Odbc3() ? k.state3 : k.state2) << recs[0].message;
    EXPECT_EQ(recs[0].native, k.ora) << recs[0].message;
    char ora[16];
    snprintf(ora, sizeof ora, "ORA-%05d", k.ora);
    EXPECT_NE(recs[0].message.find(ora), std::string::npos) << recs[0].message;
    ocilite_test_reset();
  }
  Run("drop table " + t);
}

INSTANTIATE_TEST_SUITE_P(Drivers, OraErrors,
                         ::testing::Combine(::testing::Values("kvd_errs_w", "kvd_errs_a"),
                                            ::testing::Values(SQL_OV_ODBC3, SQL_OV_ODBC2)),
                         [](const auto &info) {
                           return std::string(std::get<0>(info.param) + 9) +
                                  (std::get<1>(info.param) == SQL_OV_ODBC3 ? "_odbc3" : "_odbc2");
                         });

// A data source whose database directory does not exist: a connect failure
// whose message names the directory.
TEST(OraConnectErrors, MissingDatabaseDirectoryIsUnableToConnect) {
  harness::DmInit({{"kvd_errs_nodb", harness::kDmUnicode, {{"SQLNETConnect", "/nonexistent/kvd/db"}}}});
  for (int version : {SQL_OV_ODBC3, SQL_OV_ODBC2}) {
    SQLHENV env = SQL_NULL_HENV;
    SQLHDBC dbc = SQL_NULL_HDBC;
    ASSERT_EQ(SQLAllocHandle(SQL_HANDLE_ENV, SQL_NULL_HANDLE, &env), SQL_SUCCESS);
    SQLSetEnvAttr(env, SQL_ATTR_ODBC_VERSION, reinterpret_cast<SQLPOINTER>(intptr_t{version}), 0);
    ASSERT_EQ(SQLAllocHandle(SQL_HANDLE_DBC, env, &dbc), SQL_SUCCESS);
    EXPECT_EQ(SQLConnect(dbc, Text("kvd_errs_nodb"), SQL_NTS, Text("scott"), SQL_NTS, Text("tiger"), SQL_NTS),
              SQL_ERROR);
    auto recs = harness::DmDiags(SQL_HANDLE_DBC, dbc);
    ASSERT_FALSE(recs.empty());
    EXPECT_EQ(recs[0].state, "08001") << recs[0].message;
    EXPECT_EQ(recs[0].native, 12154) << recs[0].message;
    EXPECT_NE(recs[0].message.find("database directory /nonexistent/kvd/db does not exist"), std::string::npos)
        << recs[0].message;
    SQLFreeHandle(SQL_HANDLE_DBC, dbc);
    SQLFreeHandle(SQL_HANDLE_ENV, env);
  }
}

}  // namespace
