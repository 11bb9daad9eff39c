// Agent information (DRV_GetInfo), options (DRV_SetInfo), statement option
// negotiation and the conversion table, at the DrvOps level.
#include <cstring>
#include <string>

#include "agent_fixture.h"
#include "variant.h"

using namespace agent_test;

namespace {

using InfoTest = AgentTest;

TEST_F(InfoTest, CapabilityMaskFollowsNoAutocommit) {
  DrvHandle conn = ConnectScott();
  EXPECT_EQ(0x75FF, InfoInt(conn, INFO_CAPS_MASK));
  EXPECT_EQ(1, Agent_Conn(conn)->dynCursorOk);
  Disconnect(conn);
  g_agentOptions.noAutocommit = 1;
  conn = ConnectScott();
  EXPECT_EQ(0x74FF, InfoInt(conn, INFO_CAPS_MASK));
  Disconnect(conn);
}

TEST_F(InfoTest, ServerContextAnswersOnlyItsName) {
  EXPECT_EQ("oracle11", InfoText(server, INFO_AGENT_NAME));
  int32_t rc = 0;
  InfoText(server, 0x11010001, 64, &rc);
  EXPECT_EQ(E_IM001, rc);
  EXPECT_EQ(E_S1C00, SetInt(server, 0x12030000, 1));
}

TEST_F(InfoTest, DriverAndDbmsTexts) {
  DrvHandle conn = ConnectScott();
  EXPECT_EQ(g_driverVariant.unicode ? "kvd7r22xw.so" : "kvd7r22x.so", InfoText(conn, InfoGetInfoStr(SQL_DRIVER_NAME)));
  EXPECT_EQ("ORACLE ", InfoText(conn, InfoGetInfoStr(SQL_DBMS_NAME)));
  EXPECT_EQ("11.02.0004", InfoText(conn, InfoGetInfoStr(SQL_DBMS_VER)));
  EXPECT_EQ("1.10", InfoText(conn, InfoGetInfoStr(SQL_DRIVER_VER)));
  EXPECT_EQ("03.50", InfoText(conn, InfoGetInfoStr(SQL_DRIVER_ODBC_VER)));
  EXPECT_EQ("\"", InfoText(conn, InfoGetInfoStr(SQL_IDENTIFIER_QUOTE_CHAR)));
  EXPECT_EQ("\\", InfoText(conn, InfoGetInfoStr(SQL_SEARCH_PATTERN_ESCAPE)));
  EXPECT_EQ("N", InfoText(conn, InfoGetInfoStr(SQL_DATA_SOURCE_READ_ONLY)));
  EXPECT_EQ("SCOTT", InfoText(conn, InfoGetInfoStr(SQL_USER_NAME)));
  Disconnect(conn);
  g_agentOptions.dbmsName = strdup("MyOracle");
  conn = ConnectScott();
  EXPECT_EQ("MyOracle", InfoText(conn, InfoGetInfoStr(SQL_DBMS_NAME)));
  Disconnect(conn);
}

TEST_F(InfoTest, IntegerAnswers) {
  DrvHandle conn = ConnectScott();
  struct Case {
    uint16_t type;
    int32_t value;
  } cases[] = {
      {SQL_TXN_CAPABLE, 3},
      {SQL_DEFAULT_TXN_ISOLATION, 2},
      {SQL_TXN_ISOLATION_OPTION, 0xA},
      {SQL_MAX_COLUMN_NAME_LEN, 30},
      {SQL_MAX_PROCEDURE_NAME_LEN, 92},
      {SQL_GETDATA_EXTENSIONS, 0xF},
      // Cursors: every type scrolls, read-only, with locks or by values;
      // keyset-driven cursors change rows by key, static ones position and
      // refresh.
      {SQL_SCROLL_CONCURRENCY, 0xB},
      {SQL_SCROLL_OPTIONS, 0x1F},
      {SQL_STATIC_CURSOR_ATTRIBUTES1, 0x124F},
      {SQL_FORWARD_ONLY_CURSOR_ATTRIBUTES1, 0x1},
      {SQL_KEYSET_CURSOR_ATTRIBUTES1, 0xF3E4F},
      {SQL_DYNAMIC_CURSOR_ATTRIBUTES1, 0x5},
      {SQL_DYNAMIC_CURSOR_ATTRIBUTES2, 0x207B},
      {SQL_NULL_COLLATION, SQL_NC_HIGH},
      {SQL_STATIC_CURSOR_ATTRIBUTES2, 0x5081},
      {SQL_POS_OPERATIONS, 0x1F},
      {SQL_LOCK_TYPES, 1},
      {SQL_POSITIONED_STATEMENTS, 0},
      {SQL_OJ_CAPABILITIES, 0x7B},
      {65003, 0x7B},
      {SQL_NUMERIC_FUNCTIONS, 0xFDFFFF},
      {SQL_STRING_FUNCTIONS, 0x7F7FFF},
      {SQL_TIMEDATE_FUNCTIONS, 0x1FFFFF},
      {SQL_CONVERT_VARCHAR, 0x2F1FF},
      {SQL_ALTER_TABLE, 0xFB049},
      {SQL_KEYSET_CURSOR_ATTRIBUTES2, 0x106B},
      {SQL_MAX_INDEX_SIZE, 2000},
      {SQL_MAX_DRIVER_CONNECTIONS, 0},
      {SQL_CURSOR_SENSITIVITY, 1},
      {SQL_ASYNC_MODE, 2},
  };
  for (const Case &c : cases) {
    int32_t rc = -1;
    EXPECT_EQ(c.value, InfoInt(conn, InfoGetInfoInt(c.type), &rc)) << c.type;
    EXPECT_EQ(0, rc) << c.type;
  }
  // Every item has both kinds: a string item as an integer is 0, an integer
  // item as a string is "".
  EXPECT_EQ(0, InfoInt(conn, InfoGetInfoInt(SQL_DBMS_NAME)));
  EXPECT_EQ("", InfoText(conn, InfoGetInfoStr(SQL_TXN_CAPABLE)));
  Disconnect(conn);
}

TEST_F(InfoTest, UnknownItemsAnswerOne) {
  DrvHandle conn = ConnectScott();
  for (uint16_t type : {uint16_t(SQL_DM_VER), uint16_t(SQL_CONVERT_GUID), uint16_t(200), uint16_t(10006)}) {
    int32_t rc = 0;
    uint32_t v = 0x55;
    int16_t len = 0x55;
    rc = DrvCall<&DrvOps::DRV_GetInfo>(&drv, conn, InfoGetInfoInt(type), &v, 4, &len);
    EXPECT_EQ(E_IM001, rc) << type;
    EXPECT_EQ(0x55u, v);  // nothing written
    EXPECT_EQ(0x55, len);
  }
  int32_t rc = 0;
  EXPECT_EQ("", InfoText(conn, INFO_CUR_QUALIFIER, 64, &rc));
  EXPECT_EQ(0, rc);
  InfoInt(conn, 0x2201000D, &rc);  // the same item as an integer
  EXPECT_EQ(E_IM001, rc);
  InfoInt(conn, 0x22010007, &rc);
  EXPECT_EQ(E_IM001, rc);
  InfoInt(conn, 0x23040000 + SQL_TXN_CAPABLE, &rc);  // kind 3
  EXPECT_EQ(E_IM001, rc);
  InfoInt(conn, 0x42010011, &rc);  // class 4
  EXPECT_EQ(E_IM001, rc);
  InfoInt(conn, 0x22030002, &rc);
  EXPECT_EQ(E_IM001, rc);
  Disconnect(conn);
}

TEST_F(InfoTest, AgentItems) {
  g_agentOptions.dynCursSensitivity = DCS_HIGH;
  DrvHandle conn = ConnectScott();
  EXPECT_EQ(0x2A39FF, InfoInt(conn, 0x22010001));
  EXPECT_EQ(255, InfoInt(conn, INFO_MAX_PARAMS));
  EXPECT_EQ(1, InfoInt(conn, INFO_ROWVER));
  EXPECT_EQ(0, InfoInt(conn, INFO_XA_KEEP_WORKER));
  EXPECT_EQ(1, InfoInt(conn, INFO_XA_KILL_WORKER));
  const uint32_t ones[] = {INFO_NEEDBIND, INFO_MORERES, INFO_PARAMOP, INFO_SPOUT_DEFER, INFO_SCROLL,
                           INFO_V2DAE,    INFO_EXECUTE2, 0x22010014u,  0x22010015u};
  for (uint32_t item : ones) EXPECT_EQ(1, InfoInt(conn, item)) << item;
  AgentConn *c = Agent_Conn(conn);
  EXPECT_EQ(0, c->item12);
  EXPECT_EQ(1, InfoInt(conn, INFO_ITEM12));
  EXPECT_EQ(1, c->item12);
  EXPECT_EQ(0, c->dynCursorOk);
  EXPECT_EQ(1, InfoInt(conn, INFO_DYNMIX));
  EXPECT_EQ(1, c->dynCursorOk);
  Disconnect(conn);
}

TEST_F(InfoTest, WideItemOnlyInTheUnicodeBuild) {
  for (bool wide : {false, true}) {
    ConnArgs r = Scott();
    r.wide = wide;
    DrvHandle conn = 0;
    ASSERT_EQ(0, Connect(r, &conn));
    int32_t rc = -1;
    int32_t v = InfoInt(conn, INFO_WIDE, &rc);
    if (g_driverVariant.unicode) {
      EXPECT_EQ(0, rc);
      EXPECT_EQ(wide ? 1 : 0, v);
      EXPECT_EQ(wide ? 1 : 0, Agent_Conn(conn)->wide);
    } else {
      EXPECT_EQ(E_IM001, rc);
      EXPECT_EQ(0, Agent_Conn(conn)->wide);
    }
    Disconnect(conn);
  }
}

TEST_F(InfoTest, LongTextIsCutToTheBuffer) {
  DrvHandle conn = ConnectScott();
  std::string keywords = InfoText(conn, InfoGetInfoStr(SQL_KEYWORDS));
  EXPECT_EQ(1369u, keywords.size());
  EXPECT_EQ(0u, keywords.rfind("ACCESS,ADMIN,", 0));
  int32_t rc = -1;
  EXPECT_EQ("ACCESS,AD", InfoText(conn, InfoGetInfoStr(SQL_KEYWORDS), 10, &rc));
  EXPECT_EQ(0, rc);
  // An integer into a buffer smaller than 4 bytes is refused.
  char small[2] = {0, 0};
  EXPECT_EQ(E_S1009, DrvCall<&DrvOps::DRV_GetInfo>(&drv, conn, InfoGetInfoInt(SQL_TXN_CAPABLE), small, 2, nullptr));
  // Without a buffer only the length comes back.
  int16_t len = 0;
  EXPECT_EQ(0, DrvCall<&DrvOps::DRV_GetInfo>(&drv, conn, InfoGetInfoInt(SQL_TXN_CAPABLE), nullptr, 0, &len));
  EXPECT_EQ(4, len);
  Disconnect(conn);
}

TEST_F(InfoTest, ScrollOptionsStayStaticWithDynamicCursorsDisabled) {
  g_agentOptions.dynCursSensitivity = DCS_DISABLED;
  DrvHandle conn = ConnectScott();
  EXPECT_EQ(0x11, InfoInt(conn, InfoGetInfoInt(SQL_SCROLL_OPTIONS)));
  EXPECT_EQ(0, InfoInt(conn, INFO_ROWVER));
  Disconnect(conn);
}

TEST_F(InfoTest, ConnectionOptions) {
  DrvHandle conn = ConnectScott();
  AgentConn *c = Agent_Conn(conn);
  EXPECT_EQ(0, SetInt(conn, INFO_ACCESS_MODE, 1));
  EXPECT_EQ(1, InfoInt(conn, INFO_ACCESS_MODE));
  EXPECT_EQ(0, c->readOnly);  // the connect-time flag stays
  EXPECT_EQ(0, SetInt(conn, INFO_ODBC_VERSION, 3));
  EXPECT_EQ(3, c->odbcVersion);
  EXPECT_EQ(0, SetInt(conn, INFO_DEFER_LONG, 1));
  EXPECT_EQ(1, c->deferLong);
  EXPECT_EQ(0, SetInt(conn, INFO_FAILOVER_REPORT, 1));
  EXPECT_EQ(1, c->failoverReport);
  EXPECT_EQ(E_S1C00, SetInt(conn, 0x22030002, 1));
  EXPECT_EQ(E_S1009, DrvCall<&DrvOps::DRV_SetInfo>(&drv, conn, INFO_ACCESS_MODE, nullptr));
  EXPECT_EQ(E_IM001, SetInt(conn, 0x52030000, 1));
  Disconnect(conn);
}

TEST_F(InfoTest, ConversionTable) {
  DrvHandle conn = ConnectScott();
  OpTableReq req{1, 0, nullptr};
  ASSERT_EQ(0, DrvCall<&DrvOps::DRV_GetOpTable>(&drv, conn, &req));
  ASSERT_EQ(9, req.rowCount);
  ASSERT_NE(nullptr, req.rows);
  EXPECT_EQ(1, req.rows[0].type);
  EXPECT_EQ(65533, req.rows[0].second);
  EXPECT_EQ(0x2a31feu, req.rows[0].mask);
  EXPECT_EQ(-2, req.rows[7].type);
  EXPECT_EQ(0x2a3000u, req.rows[7].mask);
  EXPECT_EQ(11, req.rows[8].type);
  EXPECT_EQ(0x800u, req.rows[8].mask);
  EXPECT_EQ(0, req.rows[9].type);
  OpTableReq other{2, 0, nullptr};
  EXPECT_EQ(E_S1C00, DrvCall<&DrvOps::DRV_GetOpTable>(&drv, conn, &other));
  EXPECT_EQ(E_S1009, DrvCall<&DrvOps::DRV_GetOpTable>(&drv, conn, nullptr));
  Disconnect(conn);
}

// ---- Statement options ----------------------------------------------------------

TEST_F(InfoTest, StatementOptionsReadBack) {
  DrvHandle conn = ConnectScott();
  DrvHandle cur = MakeCursor(conn);
  EXPECT_EQ(kDrvTagCursor, DrvHandleTag(cur));
  EXPECT_EQ(0, SetInt(cur, InfoStmtOption(SQL_NOSCAN), 1));
  EXPECT_EQ(1, InfoInt(cur, InfoStmtOption(SQL_NOSCAN)));
  EXPECT_EQ(0, SetInt(cur, InfoStmtOption(SQL_MAX_LENGTH), 300));
  EXPECT_EQ(300, InfoInt(cur, InfoStmtOption(SQL_MAX_LENGTH)));
  EXPECT_EQ(0, SetInt(cur, InfoStmtOption(SQL_SIMULATE_CURSOR), 2));
  EXPECT_EQ(2, InfoInt(cur, InfoStmtOption(SQL_SIMULATE_CURSOR)));
  EXPECT_EQ(0, SetInt(cur, InfoStmtOption(SQL_RETRIEVE_DATA), 0));
  EXPECT_EQ(0, InfoInt(cur, InfoStmtOption(SQL_RETRIEVE_DATA)));
  EXPECT_EQ(0, SetInt(cur, InfoStmtOption(SQL_USE_BOOKMARKS), 1));
  EXPECT_EQ(1, InfoInt(cur, InfoStmtOption(SQL_USE_BOOKMARKS)));
  EXPECT_EQ(0, InfoInt(cur, InfoStmtOption(13)));
  // The query timeout is set, never read back.
  EXPECT_EQ(0, SetInt(cur, InfoStmtOption(SQL_QUERY_TIMEOUT), 5));
  EXPECT_EQ(5, Agent_Cursor(cur)->queryTimeout);
  int32_t rc = 0;
  InfoInt(cur, InfoStmtOption(SQL_QUERY_TIMEOUT), &rc);
  EXPECT_EQ(E_IM001, rc);
  // Private options.
  EXPECT_EQ(0, SetInt(cur, InfoStmtOption(1050), 2));
  EXPECT_EQ(2, InfoInt(cur, InfoStmtOption(1050)));
  EXPECT_EQ(E_S1009, SetInt(cur, InfoStmtOption(1050), 3));
  EXPECT_EQ(2, InfoInt(cur, InfoStmtOption(1050)));
  EXPECT_EQ(0, SetInt(cur, InfoStmtOption(1052), 7));
  EXPECT_EQ(7, InfoInt(cur, InfoStmtOption(1052)));
  EXPECT_EQ(0, SetInt(cur, InfoStmtOption(1054), 9));
  EXPECT_EQ(9, InfoInt(cur, InfoStmtOption(1054)));
  for (uint16_t option : {uint16_t(4), uint16_t(5), uint16_t(13), uint16_t(14), uint16_t(999)})
    EXPECT_EQ(E_S1C00, SetInt(cur, InfoStmtOption(option), 1)) << option;
  // Describing parameters by query is another module's work.
  EXPECT_EQ(0, SetInt(cur, InfoStmtOption(15), 0));
  FreeCursor(cur);
  Disconnect(conn);
}

TEST_F(InfoTest, RowCountOnlyForDataChangingStatements) {
  DrvHandle conn = ConnectScott();
  DrvHandle cur = MakeCursor(conn);
  AgentCursor *c = Agent_Cursor(cur);
  c->rowsAffected = 3;
  c->req.kind = REQ_KIND_SELECT;
  EXPECT_EQ(-1, InfoInt(cur, INFO_ROW_COUNT));
  c->req.kind = REQ_KIND_DML;
  EXPECT_EQ(3, InfoInt(cur, INFO_ROW_COUNT));
  FreeCursor(cur);
  Disconnect(conn);
}

TEST_F(InfoTest, MaximumRowsCappedByMaxRows) {
  g_agentOptions.maxRows = 50;
  DrvHandle conn = ConnectScott();
  DrvHandle cur = MakeCursor(conn);
  EXPECT_EQ(50, InfoInt(cur, InfoStmtOption(SQL_MAX_ROWS)));
  struct Case {
    int32_t value, stored, rc;
  } cases[] = {{0, 50, E_01S02}, {60, 50, E_01S02}, {40, 40, 0}, {-1, 50, E_01S02}, {50, 50, 0}};
  for (const Case &k : cases) {
    EXPECT_EQ(k.rc, SetInt(cur, InfoStmtOption(SQL_MAX_ROWS), k.value)) << k.value;
    EXPECT_EQ(k.stored, InfoInt(cur, InfoStmtOption(SQL_MAX_ROWS))) << k.value;
  }
  FreeCursor(cur);
  Disconnect(conn);
}

TEST_F(InfoTest, RowsetAndKeysetSizeLimits) {
  DrvHandle conn = ConnectScott();
  DrvHandle cur = MakeCursor(conn);
  AgentCursor *c = Agent_Cursor(cur);
  c->scs.aux2Contents = 0x31;
  EXPECT_EQ(E_01S02, SetInt(cur, InfoStmtOption(SQL_ROWSET_SIZE), 101));
  EXPECT_EQ(100, InfoInt(cur, InfoStmtOption(SQL_ROWSET_SIZE)));
  EXPECT_EQ(0x01, c->scs.aux2Contents);
  EXPECT_TRUE(c->scs.flags & SCSF_ROWSET_CHANGED);
  EXPECT_EQ(0, SetInt(cur, InfoStmtOption(SQL_ROWSET_SIZE), 100));
  // Keyset sizes need the dynamic-cursor permission first.
  EXPECT_EQ(E_01S02, SetInt(cur, InfoStmtOption(SQL_KEYSET_SIZE), 10));
  EXPECT_EQ(0, InfoInt(cur, InfoStmtOption(SQL_KEYSET_SIZE)));
  EXPECT_EQ(0, SetInt(cur, InfoStmtOption(SQL_KEYSET_SIZE), 0));
  InfoInt(conn, INFO_CAPS_MASK);
  EXPECT_EQ(0, SetInt(cur, InfoStmtOption(SQL_KEYSET_SIZE), 10));
  EXPECT_EQ(10, InfoInt(cur, InfoStmtOption(SQL_KEYSET_SIZE)));
  EXPECT_EQ(E_01S02, SetInt(cur, InfoStmtOption(SQL_KEYSET_SIZE), 5001));
  EXPECT_EQ(5000, InfoInt(cur, InfoStmtOption(SQL_KEYSET_SIZE)));
  EXPECT_TRUE(c->scs.flags & SCSF_KEYSET_CHANGED);
  FreeCursor(cur);
  Disconnect(conn);

  g_agentOptions.noRowsetSizeLimit = 1;
  conn = ConnectScott();
  cur = MakeCursor(conn);
  EXPECT_EQ(0, SetInt(cur, InfoStmtOption(SQL_ROWSET_SIZE), 101));
  EXPECT_EQ(101, InfoInt(cur, InfoStmtOption(SQL_ROWSET_SIZE)));
  FreeCursor(cur);
  Disconnect(conn);
}

// Keyset-driven and dynamic requests hold (dynamic ones once the
// connection's capabilities were asked); a data source that disables
// dynamic cursors turns them static.
TEST_F(InfoTest, KeysetAndDynamicHoldUnlessDisabled) {
  for (int32_t sensitivity : {DCS_LOW, DCS_DISABLED}) {
    g_agentOptions.dynCursSensitivity = sensitivity;
    DrvHandle conn = ConnectScott();
    DrvHandle cur = MakeCursor(conn);
    for (bool asked : {false, true}) {
      if (asked) InfoInt(conn, INFO_DYNMIX);
      for (int32_t type : {SQL_CURSOR_DYNAMIC, SQL_CURSOR_KEYSET_DRIVEN}) {
        // Dynamic cursors wait for the connection's capabilities to be asked.
        int32_t want = type == SQL_CURSOR_DYNAMIC && !asked ? SQL_CURSOR_KEYSET_DRIVEN : type;
        if (sensitivity == DCS_DISABLED) want = SQL_CURSOR_STATIC;
        EXPECT_EQ(want == type ? 0 : E_01S02, SetInt(cur, InfoStmtOption(SQL_CURSOR_TYPE), type)) << type;
        EXPECT_EQ(want, InfoInt(cur, InfoStmtOption(SQL_CURSOR_TYPE))) << type;
      }
    }
    EXPECT_TRUE(Agent_Cursor(cur)->scs.flags & SCSF_TYPE_SET);
    FreeCursor(cur);
    Disconnect(conn);
  }
}

// The fallback chains on given capability masks.
TEST(OptNeg, ChainsOnAMask) {
  struct Case {
    int32_t option;
    uint32_t mask;
    int32_t asked, result, rc;
  } cases[] = {
      // The agent's concurrency mask 0xB: read-only, lock, values.
      {SQL_CONCURRENCY, 0xB, 3, 4, E_01S02},
      {SQL_CONCURRENCY, 0xB, 2, 2, 0},
      {SQL_CONCURRENCY, 0xB, 4, 4, 0},
      {SQL_CONCURRENCY, 0xB, 1, 1, 0},
      // Lock unsupported: row versions, then values.
      {SQL_CONCURRENCY, 0x9, 2, 4, E_01S02},
      {SQL_CONCURRENCY, 0x5, 2, 3, E_01S02},
      // Read-only has no fallback.
      {SQL_CONCURRENCY, 0x8, 1, 1, E_S1C00},
      // Scroll options 0x1F: everything stays; 0x11: keyset and dynamic become static.
      {SQL_CURSOR_TYPE, 0x1F, 2, 2, 0},
      {SQL_CURSOR_TYPE, 0x11, 1, 3, E_01S02},
      {SQL_CURSOR_TYPE, 0x11, 2, 3, E_01S02},
      {SQL_CURSOR_TYPE, 0x11, 0, 0, 0},
      {SQL_CURSOR_TYPE, 0x11, 3, 3, 0},
      // Keyset-driven without static: a static request becomes keyset-driven.
      {SQL_CURSOR_TYPE, 0x3, 3, 1, E_01S02},
      // Forward-only has no fallback.
      {SQL_CURSOR_TYPE, 0x10, 0, 0, E_S1C00},
      // Values that have no capability bit end the chain.
      {SQL_CURSOR_TYPE, 0x1F, 7, 7, E_S1C00},
      {SQL_CONCURRENCY, 0xF, -999, -999, E_S1C00},
  };
  for (const Case &c : cases) {
    int32_t v = c.asked;
    EXPECT_EQ(c.rc, OptNeg_NegotiateMask(c.option, c.mask, &v)) << c.option << " " << c.mask << " " << c.asked;
    EXPECT_EQ(c.result, v) << c.option << " " << c.mask << " " << c.asked;
  }
  // A mask of 0 supports nothing of the table.
  for (int32_t option : {SQL_CONCURRENCY, SQL_CURSOR_TYPE})
    for (int32_t asked = 0; asked <= 4; ++asked) {
      int32_t v = asked;
      EXPECT_EQ(E_S1C00, OptNeg_NegotiateMask(option, 0, &v));
      EXPECT_EQ(asked, v);
    }
  // Other options are not negotiated.
  int32_t v = 5;
  EXPECT_EQ(0, OptNeg_NegotiateMask(SQL_ROWSET_SIZE, 0, &v));
  EXPECT_EQ(5, v);
  EXPECT_EQ(0, OptNeg_Lookup(SQL_ROWSET_SIZE)->option);
}

// Through the agent: the capability mask is asked down through the cursor
// layer's scs_GetODBCInfo and answered by this agent.
TEST_F(InfoTest, NegotiationAsksTheConnectionBelow) {
  g_agentOptions.dynCursSensitivity = DCS_DISABLED;
  DrvHandle conn = ConnectScott();
  uint32_t mask = 0;
  if (scs_GetODBCInfo(ORA_AgentObject(), conn, SQL_SCROLL_CONCURRENCY, &mask, 4, nullptr) != 0) {
    Disconnect(conn);
    GTEST_SKIP() << "the cursor layer's scs_GetODBCInfo is not built yet";
  }
  EXPECT_EQ(0xBu, mask);
  DrvHandle cur = MakeCursor(conn);
  // Read-only, lock and values are served; row versions become values.
  struct {
    int32_t asked, rc, inForce;
  } conc[] = {{SQL_CONCUR_LOCK, 0, SQL_CONCUR_LOCK},
              {SQL_CONCUR_ROWVER, E_01S02, SQL_CONCUR_VALUES},
              {SQL_CONCUR_VALUES, 0, SQL_CONCUR_VALUES},
              {SQL_CONCUR_READ_ONLY, 0, SQL_CONCUR_READ_ONLY}};
  for (const auto &c : conc) {
    EXPECT_EQ(c.rc, SetInt(cur, InfoStmtOption(SQL_CONCURRENCY), c.asked)) << c.asked;
    EXPECT_EQ(c.inForce, InfoInt(cur, InfoStmtOption(SQL_CONCURRENCY))) << c.asked;
  }
  for (int32_t asked : {SQL_CURSOR_KEYSET_DRIVEN, SQL_CURSOR_DYNAMIC}) {
    EXPECT_EQ(E_01S02, SetInt(cur, InfoStmtOption(SQL_CURSOR_TYPE), asked)) << asked;
    EXPECT_EQ(SQL_CURSOR_STATIC, InfoInt(cur, InfoStmtOption(SQL_CURSOR_TYPE))) << asked;
  }
  FreeCursor(cur);
  Disconnect(conn);
}

}  // namespace
