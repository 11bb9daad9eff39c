// The fetch entry of the agent cursor: blocks of rows, the maximum rows
// option, the end of the result, results per parameter row, and the
// empty-string option end to end.
#include "drv_ora8/db-private.h"
#include "exec_fixture.h"

using namespace exec_test;

namespace {

class FetchTest : public ExecTest {
 protected:

  // Fetches a block; returns the rows (-1 on failure), column count in *cols.
  int32_t FetchRows(DrvHandle cur, uint16_t want, Dataset *ds, uint16_t *cols = nullptr) {
    int32_t rc = DrvCall<&DrvOps::DRV_Fetch>(&drv, cur, want, ds);
    EXPECT_EQ(0, rc);
    if (cols) *cols = ds->columns;
    return rc ? -1 : ds->rows;
  }

  void Table(int n) {
    ASSERT_EQ(0, Run("CREATE TABLE t (a NUMBER(5), s VARCHAR2(10))"));
    Params p({{VT_SLONG, 4}, {VT_STRING, 10}}, n);
    for (int32_t r = 0; r < n; ++r) p.Int(r, 0, r + 1).Bytes(r, 1, "v", 2);
    ASSERT_EQ(0, Run("INSERT INTO t VALUES (?, ?)", p.Give()));
  }
};

TEST_F(FetchTest, BlocksUntilTheEndThenAnEmptyDataset) {
  Connect();
  Table(7);
  DrvHandle cur = Cursor();
  ASSERT_EQ(0, ExecDirect(cur, "SELECT a, s FROM t ORDER BY a"));
  Dataset ds{};
  uint16_t cols = 0;
  EXPECT_EQ(5, FetchRows(cur, 5, &ds, &cols));
  EXPECT_EQ(2, cols);
  ASSERT_EQ(VT_SLONG, ds.cols[0].type);  // NUMBER(5) travels as a 32-bit integer
  int32_t v = 0;
  memcpy(&v, ds.cols[0].values, 4);
  EXPECT_EQ(1, v);
  EXPECT_EQ(2, FetchRows(cur, 5, &ds));
  memcpy(&v, ds.cols[0].values + 4, 4);
  EXPECT_EQ(7, v);
  EXPECT_EQ(0, FetchRows(cur, 5, &ds, &cols));
  EXPECT_EQ(0, cols);
  // Executing again starts over.
  ASSERT_EQ(0, Execute(cur));
  EXPECT_EQ(7, FetchRows(cur, 10, &ds));
  DatasetFree(&ds);
  Free(cur);
}

TEST_F(FetchTest, MaximumRowsEndsTheResultEarly) {
  Connect();
  Table(9);
  DrvHandle cur = Cursor();
  ASSERT_EQ(0, SetCursorInt(cur, 1, 5));  // SQL_MAX_ROWS
  ASSERT_EQ(0, ExecDirect(cur, "SELECT a FROM t ORDER BY a"));
  Dataset ds{};
  uint16_t cols = 9;
  EXPECT_EQ(3, FetchRows(cur, 3, &ds));
  EXPECT_EQ(2, FetchRows(cur, 3, &ds));
  EXPECT_EQ(0, FetchRows(cur, 3, &ds, &cols));
  EXPECT_EQ(0, cols);
  // The count starts again with the next execution.
  ASSERT_EQ(0, Execute(cur));
  EXPECT_EQ(5, FetchRows(cur, 100, &ds));
  DatasetFree(&ds);
  Free(cur);
}

TEST_F(FetchTest, ConnectionMaxRowsIsEachNewCursorsLimit) {
  g_agentOptions.maxRows = 4;
  Connect();
  Table(6);
  DrvHandle cur = Cursor();
  ASSERT_EQ(0, ExecDirect(cur, "SELECT a FROM t"));
  Dataset ds{};
  EXPECT_EQ(4, FetchRows(cur, 10, &ds));
  EXPECT_EQ(0, FetchRows(cur, 10, &ds));
  DatasetFree(&ds);
  Free(cur);
}

TEST_F(FetchTest, QueryWithParameterRowsGivesOneResultPerRow) {
  Connect();
  Table(5);
  Params p({{VT_SLONG, 4}}, 3);
  p.Int(0, 0, 1).Int(1, 0, 3).Int(2, 0, 4);
  DrvHandle cur = Cursor();
  ASSERT_EQ(0, ExecDirect(cur, "SELECT a FROM t WHERE a >= ? ORDER BY a", p.Give()));
  Dataset ds{};
  EXPECT_EQ(5, FetchRows(cur, 10, &ds));
  ASSERT_EQ(0, DrvCall<&DrvOps::DRV_MoreResults>(&drv, cur));
  EXPECT_EQ(3, FetchRows(cur, 10, &ds));
  ASSERT_EQ(0, DrvCall<&DrvOps::DRV_MoreResults>(&drv, cur));
  EXPECT_EQ(2, FetchRows(cur, 10, &ds));
  EXPECT_EQ(E_IM901, DrvCall<&DrvOps::DRV_MoreResults>(&drv, cur));
  DatasetFree(&ds);
  Free(cur);
}

TEST_F(FetchTest, EmptyStringsTravelAsOneBlankAndComeBackEmpty) {
  g_agentOptions.emptyStringIsntNull = 1;
  Connect();
  ASSERT_EQ(0, Run("CREATE TABLE t (k NUMBER, s VARCHAR2(10))"));
  ASSERT_EQ(0, Run("INSERT INTO t VALUES (1, '')"));
  ASSERT_EQ(0, Run("INSERT INTO t VALUES (2, '  ')"));
  // Stored as one blank, not as NULL.
  EXPECT_EQ((Rows{{"1", "1"}, {"2", "2"}}), Peek("SELECT k, LENGTH(s) FROM t ORDER BY k"));
  DrvHandle cur = Cursor();
  ASSERT_EQ(0, ExecDirect(cur, "SELECT s FROM t ORDER BY k"));
  Dataset ds{};
  ASSERT_EQ(2, FetchRows(cur, 10, &ds));
  const void *data = nullptr;
  uint32_t len = 99;
  ASSERT_EQ(0, DatasetValueRef(&ds, 0, 0, &data, &len));
  EXPECT_EQ(0u, len);
  EXPECT_EQ(0, ds.cols[0].indicators[0]);
  ASSERT_EQ(0, DatasetValueRef(&ds, 1, 0, &data, &len));
  EXPECT_EQ("  ", std::string(static_cast<const char *>(data), len));
  DatasetFree(&ds);
  Free(cur);
}

}  // namespace
