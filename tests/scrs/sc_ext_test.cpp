// The cursor layer's extended operations over the agent and a database of
// the OCI stand-in: batches, the snapshot of long values, allocate-and-
// prepare and execute-and-describe.
#include <cstring>
#include <string>
#include <vector>

#include "exec_fixture.h"
#include "odbc/data/rowset.h"
#include "scrs/sc_ext.h"

namespace exec_test {
namespace {

struct ExtTest : ExecTest {
  // A heap statement list of a batch.
  std::vector<DrvBatchStmt> Batch(const std::vector<const char *> &texts) {
    std::vector<DrvBatchStmt> out;
    for (const char *t : texts) out.push_back(DrvBatchStmt{t, 0, nullptr, nullptr});
    return out;
  }
};

// A query stops the batch: the statements before it ran, with their row
// counts; nothing after it runs.
TEST_F(ExtTest, BatchStopsAtAQuery) {
  Connect();
  ASSERT_EQ(0, Run("CREATE TABLE t (id NUMBER, v VARCHAR2(20))"));
  ASSERT_EQ(0, Run("INSERT INTO t VALUES (1, 'a')"));
  DrvHandle cur = Cursor();
  struct Case {
    std::vector<const char *> texts;
    int32_t rc;
    uint16_t done;
    std::vector<int32_t> counts;
  };
  const Case cases[] = {
      {{"INSERT INTO t VALUES (2, 'b')", " Select * from t", "UPDATE t SET v = 'z'"}, E_S1000_162, 1, {1}},
      {{"INSERT INTO t VALUES (3, 'c')", "UPDATE t SET v = 'y' WHERE id > 1", "DELETE FROM t WHERE id = 1"},
       0, 3, {1, 2, 1}},
      {{nullptr, "DELETE FROM t"}, E_S1000_162, 0, {}},
  };
  for (const Case &c : cases) {
    SCOPED_TRACE(c.texts[0] ? c.texts[0] : "as prepared");
    // A first statement without text runs as prepared: a query then.
    if (!c.texts[0]) {
      ASSERT_EQ(0, Prepare(cur, "SELECT * FROM t"));
    }
    std::vector<DrvBatchStmt> b = Batch(c.texts);
    uint16_t done = 99;
    int32_t *counts = nullptr;
    EXPECT_EQ(c.rc, DrvCall<&DrvOps::DRV_ExecBatch>(&drv, cur, static_cast<uint16_t>(b.size()), b.data(), &done,
                                                     &counts));
    EXPECT_EQ(c.done, done);
    ASSERT_NE(counts, nullptr);
    for (size_t i = 0; i < c.counts.size(); ++i) EXPECT_EQ(c.counts[i], counts[i]) << i;
    free(counts);
  }
  // The first batch's UPDATE and the last one's DELETE never ran.
  EXPECT_EQ((Rows{{"0"}}), Peek("SELECT COUNT(*) FROM t WHERE v = 'z'"));
  EXPECT_EQ((Rows{{"2"}}), Peek("SELECT COUNT(*) FROM t"));
  Free(cur);
}

// A statement that runs with the database's warning ran: the batch goes on
// to its end and answers 74 (IM902), the record waiting on the cursor.
TEST_F(ExtTest, AWarnedStatementKeepsTheBatchGoing) {
  Connect();
  ASSERT_EQ(0, Run("CREATE TABLE t (id NUMBER)"));
  DrvHandle cur = Cursor();
  std::vector<DrvBatchStmt> b = Batch({"INSERT INTO t VALUES (1)", "INSERT INTO t VALUES (2)", "DELETE FROM t WHERE id = 1"});
  ocilite_test_fault(OCILITE_T_EXECUTE, 2, 1, 24347, 1, nullptr);
  uint16_t done = 99;
  int32_t *counts = nullptr;
  EXPECT_EQ(E_IM902, DrvCall<&DrvOps::DRV_ExecBatch>(&drv, cur, static_cast<uint16_t>(b.size()), b.data(), &done,
                                                      &counts));
  EXPECT_EQ(OCILITE_T_EXECUTE, ocilite_test_fired());
  ocilite_test_reset();
  EXPECT_EQ(3, done);
  ASSERT_NE(counts, nullptr);
  EXPECT_EQ((std::vector<int32_t>{1, 1, 1}), std::vector<int32_t>(counts, counts + 3));
  free(counts);
  Msgs m = Errors(cur);
  ASSERT_EQ(1u, m.texts.size());
  EXPECT_NE(std::string::npos, m.texts[0].find("ORA-24347")) << m.texts[0];
  EXPECT_EQ((Rows{{"2"}}), Peek("SELECT id FROM t"));
  Free(cur);
}

// A long value of more than 60000 bytes leaves the rowset for the snapshot
// and is read back in pieces; one of exactly 60000 stays.
TEST_F(ExtTest, LongValuesAbove60000BytesMoveToTheSnapshot) {
  Connect();
  ASSERT_EQ(0, Run("CREATE TABLE big (k NUMBER, c CLOB)"));
  std::string over(60001, 'x');
  for (size_t i = 0; i < over.size(); i += 1000) over[i] = static_cast<char>('a' + (i / 1000) % 26);
  const std::string exact(60000, 'y');
  Params p({{VT_SLONG, 4}, {VT_LONGCHAR, sizeof(LongValue)}}, 2);
  p.Int(0, 0, 1).Long(0, 1, over);
  p.Int(1, 0, 2).Long(1, 1, exact);
  ASSERT_EQ(0, Run("INSERT INTO big VALUES (?, ?)", p.Give()));

  DrvHandle cur = Cursor();
  ASSERT_EQ(0, SetCursorInt(cur, 6, 3));  // static
  ASSERT_EQ(0, SetCursorInt(cur, 9, 2));
  ASSERT_EQ(0, Prepare(cur, "SELECT k, c FROM big ORDER BY k"));
  ASSERT_EQ(0, Execute(cur));
  Rowset *rs = nullptr;
  uint32_t rows = 0;
  int32_t rowCount = 0;
  ASSERT_EQ(0, DrvCall<&DrvOps::DRV_FetchSnapshot>(&drv, cur, &rs, 1, &rows, &rowCount, static_cast<uint16_t>(0)));
  ASSERT_NE(rs, nullptr);
  ASSERT_EQ(2, rs->rows->rows);
  EXPECT_EQ(kIndDeferred, rs->rows->cols[1].indicators[0]);
  EXPECT_EQ(0, rs->rows->cols[1].indicators[1]);
  RowsetFree(&rs);

  std::string back;
  std::vector<int32_t> lefts;
  for (;;) {
    void *piece = nullptr;
    int32_t size = 0, type = 0, left = 0;
    ASSERT_EQ(0, DrvCall<&DrvOps::DRV_GetSnapshotChunk>(&drv, cur, 2, 1, 25000, &piece, &size, &type, &left));
    lefts.push_back(left);
    if (!piece) break;
    EXPECT_EQ(VT_CHAR, type);
    back.append(static_cast<const char *>(piece), static_cast<size_t>(size));
    free(piece);
  }
  EXPECT_EQ((std::vector<int32_t>{60001, 35001, 10001, 0}), lefts);
  EXPECT_EQ(over, back);
  // Nothing else is in the snapshot: the kept value, a cell outside.
  void *piece = nullptr;
  int32_t size = 0, type = 0, left = 0;
  EXPECT_EQ(E_IM907, DrvCall<&DrvOps::DRV_GetSnapshotChunk>(&drv, cur, 2, 2, 10, &piece, &size, &type, &left));
  EXPECT_EQ(E_S1009, DrvCall<&DrvOps::DRV_GetSnapshotChunk>(&drv, cur, 3, 1, 10, &piece, &size, &type, &left));
  EXPECT_EQ(nullptr, piece);
  Free(cur);
}

// A failed preparation frees the cursor and leaves its message on the
// connection; a good one hands out a prepared cursor of the asked type.
TEST_F(ExtTest, AllocPrepareKeepsTheMessagesOfAFailure) {
  Connect();
  ASSERT_EQ(0, Run("CREATE TABLE t (id NUMBER)"));
  DrvHandle cur = 0;
  EXPECT_NE(0, DrvCall<&DrvOps::DRV_AllocPrepare>(&drv, conn, "SELECT * FROM missing", 1, 0, &cur));
  EXPECT_EQ(0u, cur);
  const Msgs m = Errors(conn);
  ASSERT_FALSE(m.texts.empty());
  EXPECT_NE(std::string::npos, m.texts[0].find("ORA-00942")) << m.texts[0];

  ASSERT_EQ(0, DrvCall<&DrvOps::DRV_AllocPrepare>(&drv, conn, "SELECT id FROM t", 1, 3, &cur));
  ASSERT_NE(0u, cur);
  int32_t type = -1;
  int16_t len = 0;
  EXPECT_EQ(0, DrvCall<&DrvOps::DRV_GetInfo>(&drv, cur, InfoStmtOption(6), &type, sizeof type, &len));
  EXPECT_EQ(3, type);
  EXPECT_EQ(0, Execute(cur));
  Free(cur);
}

TEST_F(ExtTest, ExecDescribeRunsAndDescribesInOneCall) {
  Connect();
  ASSERT_EQ(0, Run("CREATE TABLE t (id NUMBER, v VARCHAR2(20))"));
  ASSERT_EQ(0, Run("INSERT INTO t VALUES (1, 'a')"));
  DrvHandle cur = Cursor();
  uint32_t rowset = 5;
  uint16_t ncols = 0, npars = 0;
  ColDesc *cols = nullptr, *pars = nullptr;
  int32_t rowCount = -9;
  ASSERT_EQ(0, DrvCall<&DrvOps::DRV_ExecDescribe>(&drv, cur, "UPDATE t SET v = 'b'", static_cast<Dataset *>(nullptr),
                                                  static_cast<uint16_t>(0), static_cast<const ParamInfo *>(nullptr),
                                                  &rowset, &ncols, &cols, &npars, &pars, &rowCount));
  EXPECT_EQ(1, rowCount);
  EXPECT_EQ(0, ncols);
  ColDescFree(cols, ncols);
  ColDescFree(pars, npars);
  ASSERT_EQ(0, DrvCall<&DrvOps::DRV_ExecDescribe>(&drv, cur, "SELECT id, v FROM t", static_cast<Dataset *>(nullptr),
                                                  static_cast<uint16_t>(0), static_cast<const ParamInfo *>(nullptr),
                                                  &rowset, &ncols, &cols, &npars, &pars, &rowCount));
  ASSERT_EQ(2, ncols);
  EXPECT_STREQ("V", cols[1].name);
  ColDescFree(cols, ncols);
  ColDescFree(pars, npars);
  Free(cur);
}

}  // namespace
}  // namespace exec_test
