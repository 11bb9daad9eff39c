#pragma once
// For tests through the Driver Manager on the real agent: a database of the
// OCI stand-in made once per test process (removed at exit), and queries
// read back as text, and a connection with its statements. Link libocilite.
#include <gtest/gtest.h>
#include <stdlib.h>

#include <cstdlib>
#include <filesystem>
#include <string>
#include <utility>
#include <vector>

#include "harness.h"
#include "ocilite.h"

namespace dm_db {

using Rows = std::vector<std::vector<std::string>>;

// The directory of the process's database with user scott/tiger, or an
// empty text when it could not be made. The top directory's name is kept
// apart from the string, which is gone by the time exit handlers run.
inline const std::string &Database() {
  static char top[32] = "/tmp/kvd_dm_XXXXXX";
  static const std::string db = [] {
    if (!mkdtemp(top)) return std::string();
    std::atexit([] {
      std::error_code ec;
      std::filesystem::remove_all(top, ec);
    });
    std::string d = std::string(top) + "/db";
    char msg[256] = "";
    if (ocilite_db_create(d.c_str(), msg, sizeof msg) != 0 ||
        ocilite_user_create(d.c_str(), "scott", "tiger", msg, sizeof msg) != 0)
      return std::string();
    return d;
  }();
  return db;
}

// Every row of a statement's current result as texts ("<NULL>" for NULL)
// read with SQLGetData; what names the statement in failures.
inline Rows Fetch(SQLHSTMT h, const std::string &what = "") {
  Rows out;
  SQLSMALLINT cols = 0;
  SQLNumResultCols(h, &cols);
  SQLRETURN rc;
  while (SQL_SUCCEEDED(rc = SQLFetch(h))) {
    std::vector<std::string> row;
    for (SQLUSMALLINT c = 1; c <= cols; ++c) {
      char buf[512] = "";
      SQLLEN ind = 0;
      SQLRETURN g = SQLGetData(h, c, SQL_C_CHAR, buf, sizeof buf, &ind);
      EXPECT_TRUE(SQL_SUCCEEDED(g)) << what << ": " << harness::DmDiagText(SQL_HANDLE_STMT, h);
      row.push_back(ind == SQL_NULL_DATA ? "<NULL>" : std::string(buf));
    }
    out.push_back(row);
  }
  EXPECT_EQ(rc, SQL_NO_DATA) << what << ": " << harness::DmDiagText(SQL_HANDLE_STMT, h);
  return out;
}

// Every row of a query run on a statement of its own.
inline Rows Query(SQLHDBC dbc, const std::string &sql) {
  Rows out;
  SQLHSTMT h = SQL_NULL_HSTMT;
  EXPECT_EQ(SQLAllocHandle(SQL_HANDLE_STMT, dbc, &h), SQL_SUCCESS);
  SQLRETURN rc = SQLExecDirect(h, reinterpret_cast<SQLCHAR *>(const_cast<char *>(sql.c_str())), SQL_NTS);
  EXPECT_TRUE(SQL_SUCCEEDED(rc)) << sql << ": " << harness::DmDiagText(SQL_HANDLE_STMT, h);
  if (SQL_SUCCEEDED(rc)) out = Fetch(h, sql);
  SQLFreeHandle(SQL_HANDLE_STMT, h);
  return out;
}

// The single value of a one-row, one-column query, else "<n rows>".
inline std::string One(SQLHDBC dbc, const std::string &sql) {
  Rows r = Query(dbc, sql);
  return r.size() == 1 && r[0].size() == 1 ? r[0][0] : "<" + std::to_string(r.size()) + " rows>";
}

inline SQLPOINTER Ptr(intptr_t v) { return reinterpret_cast<SQLPOINTER>(v); }
inline SQLCHAR *Sql(const std::string &s) { return reinterpret_cast<SQLCHAR *>(const_cast<char *>(s.c_str())); }

// One connection of the Driver Manager.
struct Conn {
  SQLHENV env = SQL_NULL_HENV;
  SQLHDBC dbc = SQL_NULL_HDBC;

  // Attributes set before SQLConnect as {attribute, value}.
  bool Open(const char *dsn, std::vector<std::pair<SQLINTEGER, intptr_t>> before = {},
            intptr_t odbcVersion = SQL_OV_ODBC3) {
    if (SQLAllocHandle(SQL_HANDLE_ENV, SQL_NULL_HANDLE, &env) != SQL_SUCCESS) return false;
    SQLSetEnvAttr(env, SQL_ATTR_ODBC_VERSION, Ptr(odbcVersion), 0);
    if (SQLAllocHandle(SQL_HANDLE_DBC, env, &dbc) != SQL_SUCCESS) return false;
    for (auto &[attr, value] : before) EXPECT_TRUE(SQL_SUCCEEDED(SQLSetConnectAttr(dbc, attr, Ptr(value), 0)));
    SQLRETURN rc = SQLConnect(dbc, Sql(dsn), SQL_NTS, Sql("scott"), SQL_NTS, Sql("tiger"), SQL_NTS);
    EXPECT_TRUE(SQL_SUCCEEDED(rc)) << harness::DmDiagText(SQL_HANDLE_DBC, dbc);
    return SQL_SUCCEEDED(rc);
  }
  // Through SQLDriverConnect as scott, with the extra keywords given.
  bool DriverOpen(const std::string &dsn, const std::string &extra = "") {
    if (SQLAllocHandle(SQL_HANDLE_ENV, SQL_NULL_HANDLE, &env) != SQL_SUCCESS) return false;
    SQLSetEnvAttr(env, SQL_ATTR_ODBC_VERSION, Ptr(SQL_OV_ODBC3), 0);
    if (SQLAllocHandle(SQL_HANDLE_DBC, env, &dbc) != SQL_SUCCESS) return false;
    const std::string in = "DSN=" + dsn + ";UID=scott;PWD=tiger" + extra;
    SQLRETURN rc = SQLDriverConnect(dbc, nullptr, Sql(in), SQL_NTS, nullptr, 0, nullptr, SQL_DRIVER_NOPROMPT);
    EXPECT_TRUE(SQL_SUCCEEDED(rc)) << harness::DmDiagText(SQL_HANDLE_DBC, dbc);
    return SQL_SUCCEEDED(rc);
  }
  ~Conn() {
    if (dbc) {
      SQLDisconnect(dbc);
      SQLFreeHandle(SQL_HANDLE_DBC, dbc);
    }
    if (env) SQLFreeHandle(SQL_HANDLE_ENV, env);
  }

  // A statement of its own, freed by the caller or by Run/Query.
  SQLHSTMT Stmt() {
    SQLHSTMT h = SQL_NULL_HSTMT;
    EXPECT_EQ(SQLAllocHandle(SQL_HANDLE_STMT, dbc, &h), SQL_SUCCESS);
    return h;
  }

  // Runs a statement; its return code (the diagnostics in *diag).
  SQLRETURN Run(const std::string &sql, std::string *diag = nullptr) {
    SQLHSTMT h = Stmt();
    SQLRETURN rc = SQLExecDirect(h, Sql(sql), SQL_NTS);
    if (diag) *diag = harness::DmDiagText(SQL_HANDLE_STMT, h);
    SQLFreeHandle(SQL_HANDLE_STMT, h);
    return rc;
  }
  void MustRun(const std::string &sql) {
    std::string diag;
    SQLRETURN rc = Run(sql, &diag);
    EXPECT_TRUE(SQL_SUCCEEDED(rc)) << sql << ": " << diag;
  }
  void Table(const std::string &name, const std::string &columns) {
    Run("drop table " + name);
    MustRun("create table " + name + " (" + columns + ")");
  }

  Rows Query(const std::string &sql) { return dm_db::Query(dbc, sql); }
  std::string One(const std::string &sql) { return dm_db::One(dbc, sql); }
};

}  // namespace dm_db
