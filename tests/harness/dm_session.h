#pragma once
// One connection through the Driver Manager and a statement on it, for test
// fixtures: DmInit() first, then Open() with a connection string naming a
// DSN of its odbc.ini. Link kvd_harness_dm.
#include <gtest/gtest.h>

#include <string>

#include "harness.h"

namespace harness {

struct DmSession {
  SQLHENV env = SQL_NULL_HENV;
  SQLHDBC dbc = SQL_NULL_HDBC;
  SQLHSTMT stmt = SQL_NULL_HSTMT;

  DmSession() = default;
  DmSession(const DmSession &) = delete;
  DmSession &operator=(const DmSession &) = delete;
  ~DmSession() { Close(); }

  // Closes what is open, then connects with the connection string under the
  // ODBC version given and allocates the statement.
  void Open(const std::string &in, SQLINTEGER version = SQL_OV_ODBC3) {
    Close();
    ASSERT_EQ(SQLAllocHandle(SQL_HANDLE_ENV, SQL_NULL_HANDLE, &env), SQL_SUCCESS);
    ASSERT_EQ(SQLSetEnvAttr(env, SQL_ATTR_ODBC_VERSION, reinterpret_cast<SQLPOINTER>(intptr_t{version}), 0),
              SQL_SUCCESS);
    ASSERT_EQ(SQLAllocHandle(SQL_HANDLE_DBC, env, &dbc), SQL_SUCCESS);
    SQLRETURN rc = SQLDriverConnect(dbc, nullptr, reinterpret_cast<SQLCHAR *>(const_cast<char *>(in.c_str())),
                                    SQL_NTS, nullptr, 0, nullptr, SQL_DRIVER_NOPROMPT);
    ASSERT_TRUE(SQL_SUCCEEDED(rc)) << DmDiagText(SQL_HANDLE_DBC, dbc);
    ASSERT_EQ(SQLAllocHandle(SQL_HANDLE_STMT, dbc, &stmt), SQL_SUCCESS);
  }

  // Frees the statement, disconnects and frees the connection and the
  // environment; nothing open is fine.
  void Close() {
    if (stmt) SQLFreeHandle(SQL_HANDLE_STMT, stmt);
    if (dbc) {
      SQLDisconnect(dbc);
      SQLFreeHandle(SQL_HANDLE_DBC, dbc);
    }
    if (env) SQLFreeHandle(SQL_HANDLE_ENV, env);
    stmt = SQL_NULL_HSTMT;
    dbc = SQL_NULL_HDBC;
    env = SQL_NULL_HENV;
  }

  // The SQLSTATE of the statement's first diagnostic record; empty without one.
  std::string State() const {
    auto d = DmDiags(SQL_HANDLE_STMT, stmt);
    return d.empty() ? "" : d[0].state;
  }
};

}  // namespace harness
