// SQLGetInfo: the front end's own answers, the agent's answers through the
// connection's caches, and the output rules.
#include <gtest/gtest.h>
#include <sql.h>
#include <sqlext.h>
#include <sqlucode.h>

#include <cstring>
#include <set>
#include <string>

#include "fake.h"
#include "front_support.h"
#include "odbc/conn.h"
#include "odbc/data/ctype.h"
#include "odbc/diag.h"
#include "odbc/info.h"

using namespace front;

namespace {

// SQL_OJ_CAPABILITIES under its ODBC 2 number.
constexpr SQLUSMALLINT kOjTwo = 65003;

int AgentAsks(uint32_t code) {
  char hex[16];
  snprintf(hex, sizeof hex, "0x%08X", code);
  int n = 0;
  for (const auto &c : fake::LogOf(SLOT_DRV_GetInfo)) n += c.text == hex;
  return n;
}

std::string StateOf(SQLHDBC dbc) {
  char state[6] = {0};
  DiagRecRead(ConnOf(dbc), 1, state, nullptr, nullptr, 0, nullptr);
  return state;
}

struct GetInfo : FrontTest {
  SQLHENV env = SQL_NULL_HENV;
  SQLHDBC dbc = SQL_NULL_HDBC;
  Conn *conn = nullptr;
  void SetUp() override {
    FrontTest::SetUp();
    env = NewEnv();
    dbc = NewDbc(env);
    conn = ConnOf(dbc);
  }
  void Connect() {
    FakeConnect(dbc);
    conn->typeTable.valid = 1;
    conn->typeTable.table.kind = 1;
    ASSERT_EQ(DrvCall<&DrvOps::DRV_GetOpTable>(&conn->drv, conn->agentConn, &conn->typeTable.table), 0);
  }
  uint32_t Int(SQLUSMALLINT type, bool wide = false, SQLSMALLINT *len = nullptr) {
    uint32_t v = 0xDEADBEEF;
    SQLSMALLINT l = -1;
    SQLRETURN rc = wide ? SQLGetInfoW(dbc, type, &v, 0, &l) : SQLGetInfo(dbc, type, &v, 0, &l);
    EXPECT_EQ(rc, SQL_SUCCESS) << "type " << type << ": " << StateOf(dbc);
    if (len) *len = l;
    return v;
  }
};

TEST_F(GetInfo, FrontEndAnswersInAnyState) {
  for (bool connected : {false, true}) {
    SCOPED_TRACE(connected ? "connected" : "not connected");
    if (connected) Connect();
    uint16_t buf[8];
    memset(buf, 0xEE, sizeof buf);
    SQLSMALLINT len = 0;
    ASSERT_EQ(SQLGetInfo(dbc, SQL_ODBC_API_CONFORMANCE, buf, 0, &len), SQL_SUCCESS);
    EXPECT_EQ(buf[0], 1);
    EXPECT_EQ(buf[1], 0xEEEE) << "a 16-bit answer writes 2 bytes";
    EXPECT_EQ(len, 2);
    EXPECT_EQ(Int(SQL_DTC_TRANSITION_COST), 3u);
    EXPECT_EQ(Int(SQL_CONVERT_INTEGER), 0x73FFu);
    EXPECT_EQ(Int(SQL_CONVERT_INTEGER, true), 0xE073FFu);
    EXPECT_EQ(Int(SQL_CONVERT_WVARCHAR, true), 0xE073FFu);

    char text[16];
    ASSERT_EQ(SQLGetInfo(dbc, SQL_DRIVER_ODBC_VER, text, sizeof text, &len), SQL_SUCCESS);
    EXPECT_STREQ(text, "03.50");
    EXPECT_EQ(len, 5);
    SQLWCHAR wide[16];
    ASSERT_EQ(SQLGetInfoW(dbc, SQL_DRIVER_ODBC_VER, wide, sizeof wide, &len), SQL_SUCCESS);
    EXPECT_EQ(std::u16string(reinterpret_cast<char16_t *>(wide)), u"03.50");
    EXPECT_EQ(len, 10) << "W string lengths count bytes";
    // No data source name (yet): the empty name, not a failure.
    ASSERT_EQ(SQLGetInfo(dbc, SQL_DATA_SOURCE_NAME, text, sizeof text, &len), SQL_SUCCESS);
    EXPECT_STREQ(text, "");
    EXPECT_EQ(len, 0);
  }
  conn->dsn = strdup("ora");
  SQLWCHAR wide[16];
  SQLSMALLINT len = 0;
  ASSERT_EQ(SQLGetInfoW(dbc, SQL_DATA_SOURCE_NAME, wide, sizeof wide, &len), SQL_SUCCESS);
  EXPECT_EQ(std::u16string(reinterpret_cast<char16_t *>(wide)), u"ora");
  EXPECT_EQ(len, 6);
  EXPECT_EQ(fake::CallCount(SLOT_DRV_GetInfo) - AgentAsks(INFO_CAPS_MASK) - AgentAsks(INFO_WIDE), 0)
      << "the front end's own answers never ask the agent";
}

TEST_F(GetInfo, AgentTypesNeedAConnection) {
  char text[16];
  SQLSMALLINT len = 0;
  EXPECT_EQ(SQLGetInfo(dbc, SQL_DBMS_NAME, text, sizeof text, &len), SQL_ERROR);
  EXPECT_EQ(StateOf(dbc), "08003");
  EXPECT_EQ(SQLGetInfo(dbc, SQL_NUMERIC_FUNCTIONS, text, sizeof text, &len), SQL_ERROR);
  EXPECT_EQ(StateOf(dbc), "08003");
  EXPECT_EQ(fake::CallCount(SLOT_DRV_GetInfo), 0);
}

TEST_F(GetInfo, ConversionMasksFollowTheTypeTable) {
  // Not connected: no type table, so none of the four typed rows converts.
  EXPECT_EQ(Int(SQL_CONVERT_BINARY), 0u);
  EXPECT_EQ(Int(SQL_CONVERT_DATE, true), 0u);
  Connect();
  // The fake's table has a SQL_C_BINARY row, and none for dates or times.
  EXPECT_EQ(Int(SQL_CONVERT_BINARY), 0x40F01u);
  EXPECT_EQ(Int(SQL_CONVERT_LONGVARBINARY, true), 0xE40F01u);
  EXPECT_EQ(Int(SQL_CONVERT_DATE), 0u);
  EXPECT_EQ(Int(SQL_CONVERT_TIMESTAMP), 0u);

  // A table with rows for the default C types of the date/time SQL types in
  // this environment, each row with the mask bit that its type needs.
  const OpTableRow rows[] = {
      {DefaultCType(SQL_DATE, 3), 0, 0x200},
      {DefaultCType(SQL_TIME, 3), 0, 0x100},  // not the time bit
      {DefaultCType(SQL_TIMESTAMP, 3), 0, 0x800},
      {0, 0, 0},
  };
  const OpTableReq saved = conn->typeTable.table;
  conn->typeTable.table.rows = rows;
  conn->typeTable.table.rowCount = 3;
  EXPECT_EQ(Int(SQL_CONVERT_DATE), 0x28301u);
  EXPECT_EQ(Int(SQL_CONVERT_DATE, true), 0xE28301u);
  EXPECT_EQ(Int(SQL_CONVERT_TIME), 0u);
  EXPECT_EQ(Int(SQL_CONVERT_TIMESTAMP, true), 0xE38301u);
  EXPECT_EQ(Int(SQL_CONVERT_BINARY), 0u);
  conn->typeTable.table = saved;

  // With the agent's capability the agent answers them, once.
  conn->cn_getInfoCvt = 1;
  fake::SetInfo(InfoGetInfoInt(SQL_CONVERT_CHAR), 0x1234);
  EXPECT_EQ(Int(SQL_CONVERT_CHAR), 0x1234u);
  EXPECT_EQ(Int(SQL_CONVERT_CHAR, true), 0x1234u);
  EXPECT_EQ(AgentAsks(InfoGetInfoInt(SQL_CONVERT_CHAR)), 1);
}

TEST_F(GetInfo, AgentIsAskedOncePerTypeAndConnection) {
  Connect();
  fake::SetInfo(InfoGetInfoInt(SQL_NUMERIC_FUNCTIONS), 0xFDFFFF);
  fake::SetInfo(InfoGetInfoInt(SQL_MAX_COLUMN_NAME_LEN), 30);
  fake::SetInfo(InfoGetInfoInt(SQL_OJ_CAPABILITIES), 0x7B);
  fake::SetInfoText(InfoGetInfoStr(SQL_DBMS_NAME), "Oracle");
  fake::SetInfoText(InfoGetInfoStr(SQL_DATABASE_NAME), "ORCL");
  for (int round = 0; round < 3; ++round) {
    EXPECT_EQ(Int(SQL_NUMERIC_FUNCTIONS), 0xFDFFFFu);
    SQLSMALLINT len = 0;
    EXPECT_EQ(Int(SQL_MAX_COLUMN_NAME_LEN, false, &len) & 0xFFFF, 30u);
    EXPECT_EQ(len, 2);
    EXPECT_EQ(Int(SQL_OJ_CAPABILITIES), 0x7Bu);
    EXPECT_EQ(Int(kOjTwo), 0x7Bu);  // its ODBC 2 number shares the answer
    char text[32];
    ASSERT_EQ(SQLGetInfo(dbc, SQL_DBMS_NAME, text, sizeof text, &len), SQL_SUCCESS);
    EXPECT_STREQ(text, "Oracle");
    ASSERT_EQ(SQLGetInfo(dbc, SQL_DATABASE_NAME, text, sizeof text, &len), SQL_SUCCESS);
    EXPECT_STREQ(text, "ORCL");
  }
  EXPECT_EQ(AgentAsks(InfoGetInfoInt(SQL_NUMERIC_FUNCTIONS)), 1);
  EXPECT_EQ(AgentAsks(InfoGetInfoInt(SQL_MAX_COLUMN_NAME_LEN)), 1);
  EXPECT_EQ(AgentAsks(InfoGetInfoInt(SQL_OJ_CAPABILITIES)), 1);
  EXPECT_EQ(AgentAsks(InfoGetInfoInt(kOjTwo)), 0);
  EXPECT_EQ(AgentAsks(InfoGetInfoStr(SQL_DBMS_NAME)), 1);
  EXPECT_EQ(AgentAsks(InfoGetInfoStr(SQL_DATABASE_NAME)), 3) << "the current database is asked every time";

  // Answers live until the caches are reset (at disconnect).
  ConnInfoCacheReset(conn);
  EXPECT_EQ(Int(SQL_NUMERIC_FUNCTIONS), 0xFDFFFFu);
  EXPECT_EQ(AgentAsks(InfoGetInfoInt(SQL_NUMERIC_FUNCTIONS)), 2);
}

TEST_F(GetInfo, FailedAnswersAreNotCached) {
  Connect();
  char text[32];
  SQLSMALLINT len = 0;
  // The fake does not know these yet: its code becomes the pending error.
  EXPECT_EQ(SQLGetInfo(dbc, SQL_USER_NAME, text, sizeof text, &len), SQL_ERROR);
  EXPECT_EQ(StateOf(dbc), "IM001");
  uint32_t v = 0;
  EXPECT_EQ(SQLGetInfo(dbc, SQL_TXN_CAPABLE, &v, 0, &len), SQL_ERROR);
  fake::SetInfoText(InfoGetInfoStr(SQL_USER_NAME), "SCOTT");
  fake::SetInfo(InfoGetInfoInt(SQL_TXN_CAPABLE), 3);
  EXPECT_EQ(SQLGetInfo(dbc, SQL_USER_NAME, text, sizeof text, &len), SQL_SUCCESS);
  EXPECT_STREQ(text, "SCOTT");
  EXPECT_EQ(Int(SQL_TXN_CAPABLE) & 0xFFFF, 3u);
  EXPECT_EQ(AgentAsks(InfoGetInfoStr(SQL_USER_NAME)), 2);
  EXPECT_EQ(AgentAsks(InfoGetInfoInt(SQL_TXN_CAPABLE)), 2);
}

TEST_F(GetInfo, AnswerWidths) {
  Connect();
  fake::SetInfo(InfoGetInfoInt(SQL_MAX_ASYNC_CONCURRENT_STATEMENTS), 0x12345);
  fake::SetInfo(InfoGetInfoInt(SQL_DRIVER_HDBC), 0x7);
  unsigned char buf[16];
  SQLSMALLINT len = 0;
  memset(buf, 0xEE, sizeof buf);
  ASSERT_EQ(SQLGetInfo(dbc, SQL_MAX_ASYNC_CONCURRENT_STATEMENTS, buf, 0, &len), SQL_SUCCESS);
  EXPECT_EQ(len, 4);
  uint32_t u32 = 0;
  memcpy(&u32, buf, 4);
  EXPECT_EQ(u32, 0x12345u);
  EXPECT_EQ(buf[4], 0xEE);
  memset(buf, 0xEE, sizeof buf);
  ASSERT_EQ(SQLGetInfo(dbc, SQL_DRIVER_HDBC, buf, 0, &len), SQL_SUCCESS);
  EXPECT_EQ(len, 8);
  SQLULEN u64 = 0;
  memcpy(&u64, buf, 8);
  EXPECT_EQ(u64, 7u) << "an SQLULEN answer fills all 8 bytes";
}

TEST_F(GetInfo, TextsAreCutWithTheirFullLength) {
  Connect();
  std::string keywords;
  for (int i = 0; i < 30; ++i) keywords += (i ? "," : "") + std::string("KEYWORD") + std::to_string(i);
  fake::SetInfoText(InfoGetInfoStr(SQL_KEYWORDS), keywords);
  SQLWCHAR wide[60];
  SQLSMALLINT len = 0;
  ASSERT_EQ(SQLGetInfoW(dbc, SQL_KEYWORDS, wide, 100, &len), SQL_SUCCESS_WITH_INFO);
  EXPECT_EQ(StateOf(dbc), "01004");
  EXPECT_EQ(std::u16string(reinterpret_cast<char16_t *>(wide)).size(), 49u);
  EXPECT_EQ(len, static_cast<SQLSMALLINT>(2 * keywords.size()));
  char narrow[10];
  ASSERT_EQ(SQLGetInfo(dbc, SQL_KEYWORDS, narrow, sizeof narrow, &len), SQL_SUCCESS_WITH_INFO);
  EXPECT_EQ(std::string(narrow), keywords.substr(0, 9));
  EXPECT_EQ(len, static_cast<SQLSMALLINT>(keywords.size()));
  // A length query.
  ASSERT_EQ(SQLGetInfoW(dbc, SQL_KEYWORDS, nullptr, 0, &len), SQL_SUCCESS);
  EXPECT_EQ(len, static_cast<SQLSMALLINT>(2 * keywords.size()));
  EXPECT_EQ(AgentAsks(InfoGetInfoStr(SQL_KEYWORDS)), 1);
}

TEST_F(GetInfo, BadRequests) {
  Connect();
  char text[8];
  SQLSMALLINT len = 0;
  for (SQLUSMALLINT type : {SQLUSMALLINT(SQL_DM_VER), SQLUSMALLINT(5000), SQLUSMALLINT(173), SQLUSMALLINT(65535)}) {
    EXPECT_EQ(SQLGetInfo(dbc, type, text, sizeof text, &len), SQL_ERROR) << type;
    EXPECT_EQ(StateOf(dbc), "HY096") << type;
  }
  EXPECT_EQ(SQLGetInfo(dbc, SQL_DBMS_NAME, text, -1, &len), SQL_ERROR);
  EXPECT_EQ(StateOf(dbc), "HY090");
  EXPECT_EQ(SQLGetInfoW(dbc, SQL_DRIVER_ODBC_VER, text, -2, &len), SQL_ERROR);
  EXPECT_EQ(StateOf(dbc), "HY090");
  EXPECT_EQ(fake::CallCount(SLOT_DRV_GetInfo), 0) << "refused before asking the agent";
  EXPECT_EQ(SQLGetInfo(SQL_NULL_HDBC, SQL_DBMS_NAME, text, sizeof text, &len), SQL_INVALID_HANDLE);
}

TEST(InfoKinds, EveryCachedTypeHasItsOwnSlot) {
  std::set<int> seen[4];
  for (unsigned t = 0; t < 65536; ++t) {
    int slot = -2;
    InfoKindOf k = InfoTypeKind(static_cast<uint16_t>(t), &slot);
    if (k == INFOK_NONE) {
      EXPECT_EQ(slot, -1) << t;
      continue;
    }
    ASSERT_GE(slot, 0) << t;
    EXPECT_LT(slot, k == INFOK_INT ? kConnInfoNumbers : k == INFOK_SHORT ? kConnInfoShorts : kConnInfoTexts) << t;
    if (t != kOjTwo) {
      EXPECT_TRUE(seen[k].insert(slot).second) << "slot shared by type " << t;
    }
  }
  EXPECT_EQ(InfoTypeKind(SQL_MAX_ASYNC_CONCURRENT_STATEMENTS, nullptr), INFOK_INT);
  EXPECT_EQ(InfoTypeKind(SQL_MAX_IDENTIFIER_LEN, nullptr), INFOK_SHORT);
  EXPECT_EQ(InfoTypeKind(SQL_COLLATION_SEQ, nullptr), INFOK_TEXT);
  EXPECT_EQ(InfoTypeKind(SQL_DM_VER, nullptr), INFOK_NONE);
  EXPECT_EQ(InfoTypeKind(SQL_DRIVER_ODBC_VER, nullptr), INFOK_NONE);  // answered without a cache
}

}  // namespace
