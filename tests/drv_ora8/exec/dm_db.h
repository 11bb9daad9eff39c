#pragma once
// For tests through the Driver Manager on the real agent: a database of the
// OCI stand-in made once per test process (removed at exit), and queries
// read back as text. Link libocilite.
#include <gtest/gtest.h>
#include <stdlib.h>

#include <cstdlib>
#include <filesystem>
#include <string>
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

// Every row of a query run on a statement of its own, as texts ("<NULL>"
// for NULL) read with SQLGetData.
inline Rows Query(SQLHDBC dbc, const std::string &sql) {
  Rows out;
  SQLHSTMT h = SQL_NULL_HSTMT;
  EXPECT_EQ(SQLAllocHandle(SQL_HANDLE_STMT, dbc, &h), SQL_SUCCESS);
  SQLRETURN rc = SQLExecDirect(h, reinterpret_cast<SQLCHAR *>(const_cast<char *>(sql.c_str())), SQL_NTS);
  EXPECT_TRUE(SQL_SUCCEEDED(rc)) << sql << ": " << harness::DmDiagText(SQL_HANDLE_STMT, h);
  SQLSMALLINT cols = 0;
  SQLNumResultCols(h, &cols);
  while (SQL_SUCCEEDED(rc) && SQL_SUCCEEDED(rc = SQLFetch(h))) {
    std::vector<std::string> row;
    for (SQLUSMALLINT c = 1; c <= cols; ++c) {
      char buf[512] = "";
      SQLLEN ind = 0;
      SQLRETURN g = SQLGetData(h, c, SQL_C_CHAR, buf, sizeof buf, &ind);
      EXPECT_TRUE(SQL_SUCCEEDED(g)) << sql << ": " << harness::DmDiagText(SQL_HANDLE_STMT, h);
      row.push_back(ind == SQL_NULL_DATA ? "<NULL>" : std::string(buf));
    }
    out.push_back(row);
  }
  EXPECT_EQ(rc, SQL_NO_DATA) << sql << ": " << harness::DmDiagText(SQL_HANDLE_STMT, h);
  SQLFreeHandle(SQL_HANDLE_STMT, h);
  return out;
}

// The single value of a one-row, one-column query, else "<n rows>".
inline std::string One(SQLHDBC dbc, const std::string &sql) {
  Rows r = Query(dbc, sql);
  return r.size() == 1 && r[0].size() == 1 ? r[0][0] : "<" + std::to_string(r.size()) + " rows>";
}

}  // namespace dm_db
