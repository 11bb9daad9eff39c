#pragma once
// In-process tests of the statement entries: the whole core linked into the
// test (every implementation in place of its not-capable placeholder), a
// connection put into the connected state on the scripted fake agent, and
// one statement on it.
#include <sql.h>
#include <sqlext.h>
#include <sqlucode.h>

#include <gtest/gtest.h>

#include <string>

#include "fake.h"
#include "front_support.h"
#include "odbc/objects.h"
#include "odbc/sqlstate.h"

namespace st {

struct StmtTest : front::FrontTest {
  SQLHENV env = SQL_NULL_HENV;
  SQLHDBC dbc = SQL_NULL_HDBC;
  SQLHSTMT hstmt = SQL_NULL_HSTMT;
  Conn *conn = nullptr;
  Stmt *stmt = nullptr;

  void SetUp() override {
    FrontTest::SetUp();
    env = front::NewEnv();
    dbc = front::NewDbc(env);
    front::FakeConnect(dbc);
    conn = front::ConnOf(dbc);
    hstmt = front::NewStmt(dbc);
    stmt = front::StmtOf(hstmt);
    ASSERT_NE(stmt, nullptr);
  }

  // Another statement on the same connection.
  Stmt *NewStmt(SQLHSTMT *h) {
    *h = front::NewStmt(dbc);
    return front::StmtOf(*h);
  }

  // The SQLSTATE of the first diagnostic record of a handle ("" when none).
  static std::string State(SQLSMALLINT type, SQLHANDLE h) {
    SQLCHAR state[6] = {};
    SQLINTEGER native = 0;
    SQLCHAR text[512];
    SQLSMALLINT len = 0;
    if (!SQL_SUCCEEDED(SQLGetDiagRec(type, h, 1, state, &native, text, sizeof text, &len))) return "";
    return reinterpret_cast<char *>(state);
  }
  std::string StmtState() const { return State(SQL_HANDLE_STMT, hstmt); }

  // Whether the fake agent received a DRV_SetInfo with this text
  // ("0x32030009=100").
  static bool Sent(const std::string &text) { return SentCount(text) > 0; }
  static int SentCount(const std::string &text) {
    int n = 0;
    for (const fake::Call &c : fake::LogOf(SLOT_DRV_SetInfo))
      if (c.text == text) ++n;
    return n;
  }
};

// ASCII text as UTF-16 and back, for the W entry points.
inline std::basic_string<SQLWCHAR> W(const std::string &s) { return {s.begin(), s.end()}; }
inline std::string FromW(const SQLWCHAR *w) {
  std::string s;
  for (; *w; ++w) s += static_cast<char>(*w);
  return s;
}

inline SQLPOINTER P(intptr_t v) { return reinterpret_cast<SQLPOINTER>(v); }
inline SQLCHAR *Text(const char *s) { return reinterpret_cast<SQLCHAR *>(const_cast<char *>(s)); }

}  // namespace st
