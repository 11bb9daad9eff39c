// The scroll orientation logic: targets and their classes, and what
// scs_ScrollFetch asks of the layer below for each orientation.
#include "fetch_fixture.h"
#include "scrs/scroll.h"

namespace fetchtest {
namespace {

TEST(ScrollTarget, TargetsAndClasses) {
  const struct {
    const char *name;
    uint16_t orientation;
    int32_t offset, first, rowCount, rowsetSize, prevSize;
    int32_t target;
    int cls;
  } cases[] = {
      {"next to the last full rowset", SQL_FETCH_NEXT, 0, 1, 10, 5, 5, 6, SCS_TGT_INSIDE},
      {"next overlapping the end", SQL_FETCH_NEXT, 0, 3, 10, 5, 5, 8, SCS_TGT_OVERLAPS_END},
      {"next uncounted", SQL_FETCH_NEXT, 0, 1, -1, 5, 5, 6, SCS_TGT_FORWARD},
      {"next after a size change", SQL_FETCH_NEXT, 0, 1, 100, 3, 5, 6, SCS_TGT_INSIDE},
      {"next past the end", SQL_FETCH_NEXT, 0, 6, 10, 5, 5, 11, SCS_TGT_AFTER_END},
      {"first", SQL_FETCH_FIRST, 0, 6, 10, 5, 5, 1, SCS_TGT_INSIDE},
      {"last", SQL_FETCH_LAST, 0, 1, 10, 5, 5, 6, SCS_TGT_INSIDE},
      {"last uncounted", SQL_FETCH_LAST, 0, 1, -1, 5, 5, 0, SCS_TGT_INSIDE},
      {"prior overlapping the start", SQL_FETCH_PRIOR, 0, 3, 10, 5, 5, -2, SCS_TGT_OVERLAPS_START},
      {"prior before the start", SQL_FETCH_PRIOR, 0, 1, 10, 5, 5, -4, SCS_TGT_BEFORE_START},
      {"prior after the end", SQL_FETCH_PRIOR, 0, SCS_AFTER_LAST, 10, 5, 5, 6, SCS_TGT_INSIDE},
      {"absolute 0", SQL_FETCH_ABSOLUTE, 0, 1, 10, 5, 5, 0, SCS_TGT_BEFORE_START},
      {"absolute -3", SQL_FETCH_ABSOLUTE, -3, 1, 10, 5, 5, 8, SCS_TGT_OVERLAPS_END},
      {"absolute -12 of 10 by 5", SQL_FETCH_ABSOLUTE, -12, 1, 10, 5, 5, -1, SCS_TGT_BEFORE_START},
      // Counted back past the first row but within one rowset: the first rowset.
      {"absolute -12 of 10 by 12", SQL_FETCH_ABSOLUTE, -12, 1, 10, 12, 12, 1, SCS_TGT_INSIDE},
      {"absolute -12 of 10 by 20", SQL_FETCH_ABSOLUTE, -12, 1, 10, 20, 20, 1, SCS_TGT_INSIDE},
      {"absolute -13 of 10 by 12", SQL_FETCH_ABSOLUTE, -13, 1, 10, 12, 12, -2, SCS_TGT_BEFORE_START},
      {"absolute -10 of 10 by 5", SQL_FETCH_ABSOLUTE, -10, 7, 10, 5, 5, 1, SCS_TGT_INSIDE},
      {"absolute -2 uncounted", SQL_FETCH_ABSOLUTE, -2, 1, -1, 5, 5, -2, SCS_TGT_FORWARD},
      {"absolute 4", SQL_FETCH_ABSOLUTE, 4, 1, 10, 5, 5, 4, SCS_TGT_INSIDE},
      {"relative +2", SQL_FETCH_RELATIVE, 2, 3, 10, 5, 5, 5, SCS_TGT_INSIDE},
      {"relative past the end", SQL_FETCH_RELATIVE, 20, 3, 10, 5, 5, 23, SCS_TGT_AFTER_END},
      // Far offsets stay far instead of wrapping round.
      {"relative max", SQL_FETCH_RELATIVE, INT32_MAX, 3, 12000, 5, 5, INT32_MAX, SCS_TGT_AFTER_END},
      {"relative max uncounted", SQL_FETCH_RELATIVE, INT32_MAX, 3, -1, 5, 5, INT32_MAX, SCS_TGT_FORWARD},
      {"relative min", SQL_FETCH_RELATIVE, INT32_MIN, 3, 10, 5, 5, INT32_MIN + 3, SCS_TGT_BEFORE_START},
      {"next at the top", SQL_FETCH_NEXT, 0, INT32_MAX - 2, -1, 5, 5, INT32_MAX, SCS_TGT_FORWARD},
  };
  for (const auto &c : cases) {
    SCOPED_TRACE(c.name);
    int32_t target = 12345;
    EXPECT_EQ(scs_p_ScrollTarget(c.orientation, c.offset, c.first, c.rowCount, c.rowsetSize, c.prevSize, &target),
              c.cls);
    EXPECT_EQ(target, c.target);
  }
}

// scs_ScrollFetch on a statement over the fake agent without the layer: the
// fake's DRV_FetchScroll logs "orientation,value".
struct ScrollFetch : FetchFixture {
  void SetUp() override {
    FetchFixture::SetUp();
    env = front::NewEnv();
    dbc = front::NewDbc(env);
    front::FakeConnect(dbc);
    conn = front::ConnOf(dbc);
    conn->cn_hasScrlCurs = 1;
    conn->cn_hasDynMixCurs = 1;
    fake::SetInfo(InfoGetInfoInt(SQL_FETCH_DIRECTION), 0xBF);
    hstmt = front::NewStmt(dbc);
    stmt = front::StmtOf(hstmt);
    cur = &stmt->cursor;
    cur->cursorType = SCS_STATIC;
    cur->rowsetSize = 5;
    cur->rowCount = 10;
  }
  // The call below and what it was asked; "" when nothing was asked.
  std::string Run(uint16_t orientation, int32_t offset, int *code) {
    fake::SetInfo(InfoGetInfoInt(SQL_FETCH_DIRECTION), directions);
    fake::Script(SLOT_DRV_FetchScroll).result = below;
    const int before = fake::CallCount(SLOT_DRV_FetchScroll);
    uint32_t rows = 77;
    *code = scs_ScrollFetch(cur, orientation, offset, &rows);
    if (fake::CallCount(SLOT_DRV_FetchScroll) == before) return "";
    return fake::LogOf(SLOT_DRV_FetchScroll).back().text;
  }
  ScsCursor *cur = nullptr;
  int32_t below = 0;
  int32_t directions = 0xBF;
};

TEST_F(ScrollFetch, OrientationsBecomeTheFetchBelow) {
  const struct {
    const char *name;
    int32_t position, first;
    uint16_t orientation;
    int32_t offset;
    std::string asked;
    int code;
    int32_t positionAfter, firstAfter;
  } cases[] = {
      {"next on a fresh cursor", 0, 0, SQL_FETCH_NEXT, 0, "2,1", 0, 1, 1},
      {"prior after the end", SCS_AFTER_LAST, SCS_AFTER_LAST, SQL_FETCH_PRIOR, 0, "3,6", 0, 1, 6},
      {"relative +5 before the start", 0, 0, SQL_FETCH_RELATIVE, 5, "5,5", 0, 1, 5},
      {"relative -5 before the start", 0, 0, SQL_FETCH_RELATIVE, -5, "", E_IM907, 0, 0},
      {"absolute -3", 1, 1, SQL_FETCH_ABSOLUTE, -3, "5,8", 0, 1, 8},
      {"absolute -12", 1, 1, SQL_FETCH_ABSOLUTE, -12, "", E_IM907, 0, 0},
      {"absolute 0", 1, 1, SQL_FETCH_ABSOLUTE, 0, "", E_IM907, 0, 0},
      {"absolute past the end", 1, 1, SQL_FETCH_ABSOLUTE, 11, "", E_IM907, SCS_AFTER_LAST, SCS_AFTER_LAST},
      {"prior overlapping the start", 1, 3, SQL_FETCH_PRIOR, 0, "2,1", 0, 1, 1},
      {"prior from the first row", 1, 1, SQL_FETCH_PRIOR, 0, "", E_IM907, 0, 0},
      {"bookmark", 1, 1, SQL_FETCH_BOOKMARK, 4, "5,4", 0, 1, 4},
      {"bookmark 0", 1, 1, SQL_FETCH_BOOKMARK, 0, "", E_IM907, 1, 1},
      {"undefined orientation", 1, 1, 7, 0, "", E_S1106, 1, 1},
  };
  for (const auto &c : cases) {
    SCOPED_TRACE(c.name);
    cur->position = c.position;
    cur->firstRow = c.first;
    cur->fetchDirections = 0;
    int code = -1;
    EXPECT_EQ(Run(c.orientation, c.offset, &code), c.asked);
    EXPECT_EQ(code, c.code);
    EXPECT_EQ(cur->position, c.positionAfter);
    EXPECT_EQ(cur->firstRow, c.firstAfter);
  }
}

TEST_F(ScrollFetch, NextAfterARowsetSizeChangeMovesByTheOldSize) {
  cur->position = 1;
  cur->firstRow = 1;
  cur->rowCount = 100;
  cur->prevRowsetSize = 5;
  cur->rowsetSize = 3;
  cur->flags |= SCSF_ROWSET_CHANGED;
  int code = -1;
  EXPECT_EQ(Run(SQL_FETCH_NEXT, 0, &code), "1,6");
  EXPECT_EQ(code, 0);
  EXPECT_FALSE(cur->flags & SCSF_ROWSET_CHANGED);
  EXPECT_EQ(Run(SQL_FETCH_NEXT, 0, &code), "1,9");
}

TEST_F(ScrollFetch, CursorKindsRefuseOrientations) {
  int code = -1;
  // After a bulk operation only the orientations that need no position.
  cur->position = 1;
  cur->firstRow = -1;
  EXPECT_EQ(Run(SQL_FETCH_NEXT, 0, &code), "");
  EXPECT_EQ(code, E_S1106);
  EXPECT_EQ(Run(SQL_FETCH_FIRST, 0, &code), "2,1");
  EXPECT_EQ(code, 0);
  // Dynamic and mixed cursors have no absolute positions; their value is
  // the offset and their first row unknown.
  for (int32_t keyset : {0, 5}) {
    cur->cursorType = keyset ? SCS_KEYSET : SCS_DYNAMIC;
    cur->keysetSize = keyset;
    cur->position = 1;
    cur->firstRow = 1;
    EXPECT_EQ(Run(SQL_FETCH_ABSOLUTE, 3, &code), "");
    EXPECT_EQ(code, E_S1106);
    EXPECT_EQ(Run(SQL_FETCH_RELATIVE, -2, &code), "6,-2");
    EXPECT_EQ(code, 0);
    EXPECT_EQ(cur->firstRow, -1);
  }
  // Forward-only: NEXT only.
  cur->cursorType = SCS_FORWARD_ONLY;
  EXPECT_EQ(Run(SQL_FETCH_FIRST, 0, &code), "");
  EXPECT_EQ(code, E_S1106);
  // An orientation the driver does not list.
  cur->cursorType = SCS_STATIC;
  cur->firstRow = 1;
  directions = SQL_FD_FETCH_NEXT;
  cur->fetchDirections = 0;
  EXPECT_EQ(Run(SQL_FETCH_PRIOR, 0, &code), "");
  EXPECT_EQ(code, E_S1106);
}

TEST_F(ScrollFetch, BeforeStartAndAfterEndFromBelow) {
  cur->position = 1;
  cur->firstRow = 1;
  int code = -1;
  below = E_IM910;
  Run(SQL_FETCH_RELATIVE, 1, &code);
  EXPECT_EQ(code, E_IM907);
  EXPECT_EQ(cur->position, SCS_BEFORE_FIRST);
  cur->position = 1;
  below = E_IM911;
  Run(SQL_FETCH_RELATIVE, 1, &code);
  EXPECT_EQ(code, E_IM907);
  EXPECT_EQ(cur->position, SCS_AFTER_LAST);
  // Another failure leaves the position.
  cur->position = 1;
  cur->firstRow = 1;
  below = E_S1000;
  Run(SQL_FETCH_RELATIVE, 1, &code);
  EXPECT_EQ(code, E_S1000);
  EXPECT_EQ(cur->position, 1);
  EXPECT_EQ(cur->firstRow, 1);
}

TEST_F(ScrollFetch, WithoutDynamicCursorsTheExtendedFetchSlot) {
  conn->cn_hasDynMixCurs = 0;
  cur->position = 0;
  uint32_t rows = 0;
  EXPECT_EQ(scs_ScrollFetch(cur, SQL_FETCH_NEXT, 0, &rows), E_IM907);
  EXPECT_EQ(fake::CallCount(SLOT_DRV_ExtendedFetch), 1);
  EXPECT_EQ(fake::CallCount(SLOT_DRV_FetchScroll), 0);
  EXPECT_EQ(fake::LogOf(SLOT_DRV_ExtendedFetch).back().text, "1");
}

}  // namespace
}  // namespace fetchtest
