// The cursor state's row numbers and the SQLGetInfo filter.
#include <cstring>

#include "fetch_fixture.h"
#include "odbc/data/rowset.h"

namespace fetchtest {
namespace {

TEST(ScsRowNumber, ByCursorTypeAndPosition) {
  ScsCursor c{};
  scs_CursorInit(&c, 0, 0, nullptr, nullptr);
  Rowset *rs = nullptr;
  ASSERT_EQ(RowsetNew(&rs, 3), 0);
  rs->status[0] = SQL_ROW_SUCCESS;
  rs->status[1] = SQL_ROW_ERROR;
  rs->status[2] = SQL_ROW_SUCCESS;
  c.rowset = rs;
  c.rowsetSize = 3;
  c.position = 1;
  c.firstRow = 11;
  int32_t n = -1;
  const struct {
    int32_t type, keyset, position;
    uint32_t index;
    int code, number;
  } cases[] = {
      {SCS_STATIC, 0, 1, 2, 0, 13},
      {SCS_KEYSET, 0, 1, 0, 0, 11},
      {SCS_STATIC, 0, 1, 1, E_S1109, 0},          // a row in error
      {SCS_STATIC, 0, 1, 3, E_S1009, -1},         // beyond the rowset: nothing written
      {SCS_STATIC, 0, SCS_BEFORE_FIRST, 0, E_24000, 0},
      {SCS_STATIC, 0, SCS_AFTER_LAST, 0, E_24000, 0},
      {SCS_DYNAMIC, 0, 1, 0, E_S1C00, 0},
      {SCS_KEYSET, 5, 1, 0, E_S1C00, 0},          // mixed
      {SCS_FORWARD_ONLY, 0, 1, 0, E_S1C00, 0},
  };
  for (const auto &k : cases) {
    SCOPED_TRACE(testing::Message() << k.type << "/" << k.keyset << "/" << k.position << "/" << k.index);
    c.cursorType = k.type;
    c.keysetSize = k.keyset;
    c.position = k.position;
    n = -1;
    EXPECT_EQ(scs_GetRowNumber(&c, k.index, &n), k.code);
    EXPECT_EQ(n, k.number);
  }
  EXPECT_EQ(scs_GetRowNumber(&c, 0, nullptr), E_S1009);
  // The layer's own form answers 0 for cursors without numbers.
  c.cursorType = SCS_DYNAMIC;
  n = -1;
  EXPECT_EQ(scs_p_GetRowNumber(&c, 0, &n), 0);
  EXPECT_EQ(n, 0);
  scs_FreeRowset(&c);
}

using ScsInfo = FetchFixture;

TEST_F(ScsInfo, IntegerAndStringQuestions) {
  Open();
  fake::SetInfo(InfoGetInfoInt(SQL_FETCH_DIRECTION), 0xBF);
  int32_t v = 0;
  int16_t len = 0;
  ASSERT_EQ(scs_GetODBCInfo(&conn->drv, conn->agentConn, SQL_FETCH_DIRECTION, &v, 4, &len), 0);
  EXPECT_EQ(v, 0xBF);
  EXPECT_EQ(len, 4);
  EXPECT_EQ(scs_GetODBCInfo(&conn->drv, conn->agentConn, SQL_FETCH_DIRECTION, &v, 2, &len), E_S1009);
  // A question the layer below does not know: its answer unchanged.
  EXPECT_EQ(scs_GetODBCInfo(&conn->drv, conn->agentConn, SQL_SCROLL_OPTIONS, &v, 4, &len), E_IM001);
  // Not a question of this filter.
  EXPECT_EQ(scs_GetODBCInfo(&conn->drv, conn->agentConn, SQL_DRIVER_NAME, &v, 4, &len), E_S1092);

  fake::SetInfoText(InfoGetInfoStr(SQL_DBMS_NAME), "Oracle");
  char text[16];
  ASSERT_EQ(scs_GetODBCInfo(&conn->drv, conn->agentConn, SQL_DBMS_NAME, text, sizeof text, &len), 0);
  EXPECT_STREQ(text, "Oracle");
  EXPECT_EQ(len, 6);
  // An answer exactly as long as the buffer does not fit with its NUL.
  EXPECT_EQ(scs_GetODBCInfo(&conn->drv, conn->agentConn, SQL_DBMS_NAME, text, 6, &len), E_01004);
  EXPECT_EQ(len, 6);
}

}  // namespace
}  // namespace fetchtest
