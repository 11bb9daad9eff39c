// The layer's installation and its forward-only scroll fetch over the fake
// agent.
#include <cstring>

#include "fetch_fixture.h"
#include "scrs/sc_install.h"

namespace fetchtest {
namespace {

struct Layer : FetchFixture {
  void SetUp() override {
    FetchFixture::SetUp();
    Open();
  }
  int32_t Scroll(Rowset **out, uint32_t *rows, int32_t *count) {
    return DrvCall<&DrvOps::DRV_FetchScroll>(stmt->drv, stmt->agentCursor, out, 0, rows, count,
                                             static_cast<uint16_t>(SQL_FETCH_NEXT));
  }
};

TEST_F(Layer, InstalledOnceOverTheTableBelow) {
  ASSERT_EQ(scs_LowerObject()->table, fake::Table());
  const DrvOps &mine = *conn->drv.table;
  EXPECT_NE(conn->drv.table, fake::Table());
  EXPECT_EQ(mine.DRV_FetchScroll, &scs_FetchScroll);
  EXPECT_EQ(mine.DRV_ExtendedFetch, &scs_ExtendedFetch);
  // Every other slot passes straight down.
  EXPECT_EQ(mine.DRV_Fetch, fake::Table()->DRV_Fetch);
  EXPECT_EQ(mine.DRV_Prepare, fake::Table()->DRV_Prepare);
  EXPECT_EQ(mine.DRV_GetDataChunk, fake::Table()->DRV_GetDataChunk);
  // A second object is pointed at the same table; the table below stays.
  DrvObject other{DRVOBJ_THREADSAFE, fake::Table()};
  scs_Install(&other);
  EXPECT_EQ(other.table, conn->drv.table);
  EXPECT_EQ(scs_LowerObject()->table, fake::Table());
}

TEST_F(Layer, ForwardOnlyRowsetOfRowsetSizeRows) {
  IntTextRows(5);
  Execute();
  fake::SetInfo(InfoStmtOption(SQL_ROWSET_SIZE), 3);
  Rowset *rs = nullptr;
  uint32_t rows = 0;
  int32_t count = 0;
  ASSERT_EQ(Scroll(&rs, &rows, &count), 0);
  ASSERT_NE(rs, nullptr);
  EXPECT_EQ(rows, 3u);
  EXPECT_EQ(count, -1);
  EXPECT_EQ(rs->count, 3);
  for (int i = 0; i < 3; ++i) EXPECT_EQ(rs->status[i], SQL_ROW_SUCCESS);
  EXPECT_EQ(rs->rows->rows, 3);
  EXPECT_EQ(fake::LogOf(SLOT_DRV_Fetch).back().text, "3");
  RowsetFree(&rs);
  ASSERT_EQ(Scroll(&rs, &rows, &count), 0);
  EXPECT_EQ(rows, 2u);
  EXPECT_EQ(rs->status[2], SQL_ROW_NOROW);
  RowsetFree(&rs);
  EXPECT_EQ(Scroll(&rs, &rows, &count), E_IM907);
  EXPECT_EQ(rs, nullptr);
  EXPECT_EQ(rows, 0u);
}

TEST_F(Layer, RetrieveDataOffKeepsOnlyStatuses) {
  IntTextRows(2);
  Execute();
  fake::SetInfo(InfoStmtOption(SQL_ROWSET_SIZE), 2);
  fake::SetInfo(InfoStmtOption(SQL_RETRIEVE_DATA), SQL_RD_OFF);
  Rowset *rs = nullptr;
  uint32_t rows = 0;
  int32_t count = 0;
  ASSERT_EQ(Scroll(&rs, &rows, &count), 0);
  EXPECT_EQ(rows, 2u);
  EXPECT_EQ(rs->status[1], SQL_ROW_SUCCESS);
  EXPECT_EQ(rs->rows->columns, 0);
  RowsetFree(&rs);
}

TEST_F(Layer, ScrollableTypesAndMissingOutputs) {
  IntTextRows(2);
  Execute();
  Rowset *rs = nullptr;
  uint32_t rows = 0;
  int32_t count = 0;
  EXPECT_EQ(Scroll(nullptr, &rows, &count), E_S1009);
  EXPECT_EQ(Scroll(&rs, nullptr, &count), E_S1009);
  for (int32_t type : {SCS_KEYSET, SCS_DYNAMIC, SCS_STATIC}) {
    fake::SetInfo(InfoStmtOption(SQL_CURSOR_TYPE), type);
    EXPECT_EQ(Scroll(&rs, &rows, &count), E_S1C00);
    EXPECT_EQ(rs, nullptr);
  }
  EXPECT_EQ(fake::CallCount(SLOT_DRV_Fetch), 0);
  // The extended fetch slot is the same fetch.
  fake::SetInfo(InfoStmtOption(SQL_CURSOR_TYPE), SCS_FORWARD_ONLY);
  ASSERT_EQ(DrvCall<&DrvOps::DRV_ExtendedFetch>(stmt->drv, stmt->agentCursor, &rs, 0, &rows, &count), 0);
  EXPECT_EQ(rows, 1u);
  RowsetFree(&rs);
}

TEST_F(Layer, AgentFailureReturnedWithoutRowset) {
  IntTextRows(2);
  Execute();
  fake::Script(SLOT_DRV_Fetch).result = E_S1000;
  Rowset *rs = nullptr;
  uint32_t rows = 9;
  int32_t count = 0;
  EXPECT_EQ(Scroll(&rs, &rows, &count), E_S1000);
  EXPECT_EQ(rs, nullptr);
  EXPECT_EQ(rows, 0u);
}

// A rowset beyond one DRV_Fetch joins blocks; a long value the agent kept of
// a later block is read into its cell, since the agent finds it by its row in
// its last block only.
TEST_F(Layer, JoinedBlocksReadTheirDeferredValues) {
  fake::SetColumns({{"ID", SQL_INTEGER, VT_SLONG, 4}, {"L", SQL_LONGVARCHAR, VT_LONGCHAR, 100000}});
  const int n = 65535 + 2;
  std::vector<fake::Row> rows;
  rows.reserve(n);
  for (int i = 1; i <= n; ++i) rows.push_back({fake::I32(i), fake::Null()});
  rows[65535][1] = fake::Deferred(std::string(70000, 'q'));
  rows[65536][1] = fake::Deferred("");
  fake::SetRows(rows);
  Execute();
  fake::SetInfo(InfoStmtOption(SQL_ROWSET_SIZE), n);
  Rowset *rs = nullptr;
  uint32_t got = 0;
  int32_t count = 0;
  ASSERT_EQ(Scroll(&rs, &got, &count), 0);
  ASSERT_EQ(got, static_cast<uint32_t>(n));
  const DatasetCol &col = rs->rows->cols[1];
  EXPECT_EQ(col.indicators[0], kIndNull);
  ASSERT_EQ(col.indicators[65535], 0);
  LongValue lv{};
  memcpy(&lv, col.values + size_t{65535} * col.size, sizeof lv);
  ASSERT_EQ(lv.length, 70000u);
  EXPECT_EQ(static_cast<const char *>(lv.buffer)[69999], 'q');
  EXPECT_EQ(col.indicators[65536], 0);
  RowsetFree(&rs);
}

}  // namespace
}  // namespace fetchtest
