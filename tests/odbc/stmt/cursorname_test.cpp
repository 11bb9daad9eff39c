// Cursor names: the agent's "CN..." default, names set with a length or
// NUL-terminated, cut names with 01004 and their full length, and the
// agent's failures.
#include <regex>
#include <string>

#include "odbc/agentx.h"
#include "odbc/cursorname.h"
#include "odbc/entries_w.h"
#include "stmt_fixture.h"

namespace {

using st::Text;

struct CursorNameTest : st::StmtTest {
  std::string Name(SQLSMALLINT *len = nullptr) {
    char buf[128] = {};
    SQLSMALLINT n = 0;
    EXPECT_EQ(SQLGetCursorName(hstmt, Text(buf), sizeof buf, &n), SQL_SUCCESS);
    if (len) *len = n;
    return buf;
  }
};

// The agent's cursor-name copy: the whole length reported, 19 for a cut.
int32_t AgentGetCursorName(DrvHandle cursor, char *buf, uint16_t size, int16_t *len) {
  std::string name = fake::CursorName(cursor);
  return StrCopyOutLen(name.c_str(), buf, size, len) == 0 ? 0 : E_01004;
}

TEST_F(CursorNameTest, EveryStatementHasADefaultName) {
  SQLSMALLINT len = 0;
  std::string name = Name(&len);
  EXPECT_TRUE(std::regex_match(name, std::regex("CN[0-9A-F]+"))) << name;
  EXPECT_EQ(len, static_cast<SQLSMALLINT>(name.size()));
  SQLHSTMT other;
  NewStmt(&other);
  char buf[64] = {};
  ASSERT_EQ(SQLGetCursorName(other, Text(buf), sizeof buf, nullptr), SQL_SUCCESS);
  EXPECT_NE(name, buf);
}

TEST_F(CursorNameTest, SetNames) {
  struct Case {
    const char *text;
    SQLSMALLINT len;
    SQLRETURN rc;
    int32_t pending;
    const char *name;
  };
  const Case cases[] = {
      {"ABCDEF", 3, SQL_SUCCESS, 0, "ABC"},
      {"my_cursor", SQL_NTS, SQL_SUCCESS, 0, "my_cursor"},
      {"x", 0, SQL_SUCCESS, 0, ""},
      {nullptr, SQL_NTS, SQL_SUCCESS, 0, ""},
      {"ABC", -7, SQL_ERROR, E_S1090, nullptr},
      // A wide entry point that could not convert the name.
      {nullptr, kCursorNameNoMemory, SQL_ERROR, E_S1001, nullptr},
  };
  for (const Case &c : cases) {
    ASSERT_EQ(SQLSetCursorName(hstmt, Text("before"), SQL_NTS), SQL_SUCCESS);
    EXPECT_EQ(SQLSetCursorName(hstmt, c.text ? Text(c.text) : nullptr, c.len), c.rc) << c.len;
    EXPECT_EQ(stmt->pending, c.pending) << c.len;
    EXPECT_EQ(Name(), c.name ? c.name : "before") << c.len;
  }
}

TEST_F(CursorNameTest, CutNames) {
  ASSERT_EQ(SQLSetCursorName(hstmt, Text("CURSOR_TEN"), SQL_NTS), SQL_SUCCESS);
  char buf[8];
  SQLSMALLINT len = 0;
  EXPECT_EQ(SQLGetCursorName(hstmt, Text(buf), 5, &len), SQL_SUCCESS_WITH_INFO);
  EXPECT_STREQ(buf, "CURS");
  EXPECT_EQ(StmtState(), "01004");
  // The agent reports the full length of the name it cut.
  fake::Table()->DRV_GetCursorName = AgentGetCursorName;
  len = 0;
  EXPECT_EQ(SQLGetCursorName(hstmt, Text(buf), 5, &len), SQL_SUCCESS_WITH_INFO);
  EXPECT_STREQ(buf, "CURS");
  EXPECT_EQ(len, 10);
  EXPECT_EQ(StmtState(), "01004");
  // A length question without a buffer.
  len = 0;
  EXPECT_EQ(SQLGetCursorName(hstmt, nullptr, 0, &len), SQL_SUCCESS);
  EXPECT_EQ(len, 10);
  // A negative buffer length would reach the agent as a huge size.
  EXPECT_EQ(SQLGetCursorName(hstmt, Text(buf), -1, &len), SQL_ERROR);
  EXPECT_EQ(stmt->pending, E_S1090);
}

TEST_F(CursorNameTest, WideNames) {
  const auto name = st::W("NAME_EIGHT");
  ASSERT_EQ(SQLSetCursorNameW(hstmt, const_cast<SQLWCHAR *>(name.c_str()), 4), SQL_SUCCESS);
  EXPECT_EQ(Name(), "NAME");
  ASSERT_EQ(SQLSetCursorNameW(hstmt, const_cast<SQLWCHAR *>(name.c_str()), SQL_NTS), SQL_SUCCESS);
  SQLWCHAR out[16];
  SQLSMALLINT len = 0;
  EXPECT_EQ(SQLGetCursorNameW(hstmt, out, 5, &len), SQL_SUCCESS_WITH_INFO);
  EXPECT_EQ(st::FromW(out), "NAME");
  EXPECT_EQ(len, 10);
  EXPECT_EQ(StmtState(), "01004");
  // No buffer: nothing converted, the agent's length in bytes.
  len = 0;
  EXPECT_EQ(SQLGetCursorNameW(hstmt, nullptr, 0, &len), SQL_SUCCESS);
  EXPECT_EQ(len, 10);
}

// A wide name whose UTF-8 copy cannot be made (out of memory): S1001, and
// the name set before stays; never the empty name.
TEST_F(CursorNameTest, WideNameWithoutItsCopyFailsAndKeepsTheName) {
  ASSERT_EQ(SQLSetCursorName(hstmt, Text("KEPT"), SQL_NTS), SQL_SUCCESS);
  struct Restore {
    WideInDupFn saved = g_wideInDup;
    ~Restore() { g_wideInDup = saved; }
  } restore;
  g_wideInDup = [](const uint16_t *, int32_t) -> char * { return nullptr; };
  const auto name = st::W("OTHER");
  const int calls = fake::CallCount(SLOT_DRV_SetCursorName);
  EXPECT_EQ(SQLSetCursorNameW(hstmt, const_cast<SQLWCHAR *>(name.c_str()), SQL_NTS), SQL_ERROR);
  EXPECT_EQ(StmtState(), "HY001");
  EXPECT_EQ(fake::CallCount(SLOT_DRV_SetCursorName), calls);
  EXPECT_EQ(Name(), "KEPT");
}

// Only a cut name is a warning; every other failure of the agent fails.
TEST_F(CursorNameTest, AgentFailures) {
  char buf[32];
  for (int32_t code : {E_S1001, E_S1009}) {
    fake::Script(SLOT_DRV_GetCursorName).queue = {code};
    EXPECT_EQ(SQLGetCursorName(hstmt, Text(buf), sizeof buf, nullptr), SQL_ERROR) << code;
    EXPECT_EQ(stmt->pending, code);
    fake::Script(SLOT_DRV_SetCursorName).queue = {code};
    EXPECT_EQ(SQLSetCursorName(hstmt, Text("C1"), SQL_NTS), SQL_ERROR) << code;
    EXPECT_EQ(stmt->pending, code);
  }
}

}  // namespace
