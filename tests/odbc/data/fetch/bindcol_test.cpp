// SQLBindCol: buffer lengths, the bookmark column, unbinding, the order of
// the bound-column list and the ARD mirror.
#include <vector>

#include "fetch_fixture.h"

namespace fetchtest {
namespace {

struct BindCol : FetchFixture {
  void SetUp() override {
    FetchFixture::SetUp();
    Open();
  }
  std::vector<uint16_t> Order() {
    std::vector<uint16_t> cols;
    for (BoundCol *b = stmt->boundCols; b; b = b->next) cols.push_back(b->bind.column);
    return cols;
  }
};

TEST_F(BindCol, ZeroLengthBecomesTheSizeOfAFixedType) {
  char buf[16];
  SQLLEN ind = 0;
  const struct {
    SQLUSMALLINT col;
    SQLSMALLINT cType;
    uint64_t expected;
  } cases[] = {{3, SQL_C_LONG, 4}, {4, SQL_C_CHAR, 0}, {5, SQL_C_DEFAULT, 0}, {6, SQL_C_TYPE_TIMESTAMP, 16}};
  for (const auto &c : cases) {
    ASSERT_EQ(Bind(c.col, c.cType, buf, 0, &ind), SQL_SUCCESS);
    EXPECT_EQ(StmtBoundCol(stmt, c.col)->bind.bufferLength, c.expected) << c.col;
  }
}

TEST_F(BindCol, BookmarkColumn) {
  SQLULEN mark[2];
  SQLLEN ind = 0;
  // A layer below that cannot say: its answer is the error.
  EXPECT_EQ(Bind(0, SQL_C_UBIGINT, mark, 100, &ind), SQL_ERROR);
  EXPECT_EQ(State(), "IM001");
  // Without bookmark persistence below: not capable, whatever the type.
  fake::SetInfo(InfoGetInfoInt(SQL_BOOKMARK_PERSISTENCE), 0);
  for (SQLSMALLINT cType : {SQL_C_UBIGINT, SQL_C_LONG}) {
    EXPECT_EQ(Bind(0, cType, mark, 100, &ind), SQL_ERROR);
    EXPECT_EQ(State(), "HYC00");
  }
  EXPECT_EQ(StmtBoundCol(stmt, 0), nullptr);
  fake::SetInfo(InfoGetInfoInt(SQL_BOOKMARK_PERSISTENCE), SQL_BP_SCROLL);
  EXPECT_EQ(Bind(0, SQL_C_LONG, mark, 4, &ind), SQL_ERROR);
  EXPECT_EQ(State(), "HY003");
  ASSERT_EQ(Bind(0, SQL_C_UBIGINT, mark, 100, &ind), SQL_SUCCESS);
  EXPECT_EQ(StmtBoundCol(stmt, 0)->bind.bufferLength, 8u);
  // A binary bookmark buffer keeps the length given: nothing is written past it.
  ASSERT_EQ(Bind(0, SQL_C_BINARY, mark, 16, &ind), SQL_SUCCESS);
  EXPECT_EQ(StmtBoundCol(stmt, 0)->bind.bufferLength, 16u);
  // The question went below with the connect lock held, once per binding.
  EXPECT_GE(fake::CallCount(SLOT_DRV_GetInfo), 1);
}

TEST_F(BindCol, NegativeLengthBindsNothing) {
  char buf[4];
  SQLLEN ind = 0;
  EXPECT_EQ(Bind(1, SQL_C_CHAR, buf, -1, &ind), SQL_ERROR);
  EXPECT_EQ(State(), "HY090");
  EXPECT_EQ(stmt->boundCols, nullptr);
}

TEST_F(BindCol, OrderOfFirstBindingAndUnbinding) {
  SQLINTEGER a, b, c;
  SQLLEN ind = 0;
  ASSERT_EQ(Bind(3, SQL_C_LONG, &c, 0, &ind), SQL_SUCCESS);
  ASSERT_EQ(Bind(1, SQL_C_LONG, &a, 0, &ind), SQL_SUCCESS);
  ASSERT_EQ(Bind(2, SQL_C_LONG, &b, 0, &ind), SQL_SUCCESS);
  ASSERT_EQ(Bind(1, SQL_C_SHORT, &a, 0, &ind), SQL_SUCCESS);
  EXPECT_EQ(Order(), (std::vector<uint16_t>{3, 1, 2}));
  EXPECT_EQ(StmtBoundCol(stmt, 1)->bind.cType, SQL_C_SHORT);
  ASSERT_EQ(Bind(2, SQL_C_LONG, nullptr, 0, &ind), SQL_SUCCESS);
  EXPECT_EQ(Order(), (std::vector<uint16_t>{3, 1}));
  EXPECT_GE(stmt->ard->count, 3);
  EXPECT_EQ(DescGetRec(stmt->ard, 2)->dataPtr, nullptr);
}

TEST_F(BindCol, UnbindingAColumnNeverBoundGrowsTheArd) {
  SQLLEN ind = 0;
  ASSERT_EQ(Bind(2, SQL_C_LONG, nullptr, 0, &ind), SQL_SUCCESS);
  EXPECT_GE(stmt->ard->count, 2);
}

TEST_F(BindCol, MirroredIntoTheArd) {
  char buf[10];
  SQLLEN ind = 0;
  ASSERT_EQ(Bind(2, SQL_C_CHAR, buf, sizeof buf, &ind), SQL_SUCCESS);
  const DescRecord *rec = DescGetRec(stmt->ard, 2);
  ASSERT_NE(rec, nullptr);
  EXPECT_EQ(rec->conciseType, SQL_C_CHAR);
  EXPECT_EQ(rec->dataPtr, buf);
  EXPECT_EQ(rec->octetLengthPtr, &ind);
  EXPECT_EQ(rec->indicatorPtr, &ind);
  EXPECT_EQ(rec->octetLength, 10);
}

// Going back from an explicit ARD to the statement's own binds the columns
// again from its records, with the buffer lengths they were bound with.
TEST_F(BindCol, OwnArdAgainKeepsBufferLengths) {
  char buf[10];
  SQLLEN ind = 0;
  ASSERT_EQ(Bind(1, SQL_C_CHAR, buf, sizeof buf, &ind), SQL_SUCCESS);
  SQLHDESC desc = front::NewDesc(dbc);
  ASSERT_EQ(SQLSetStmtAttr(hstmt, SQL_ATTR_APP_ROW_DESC, desc, 0), SQL_SUCCESS);
  ASSERT_EQ(SQLSetStmtAttr(hstmt, SQL_ATTR_APP_ROW_DESC, nullptr, 0), SQL_SUCCESS);
  BoundCol *b = StmtBoundCol(stmt, 1);
  ASSERT_NE(b, nullptr);
  EXPECT_EQ(b->bind.bufferLength, 10u);
  EXPECT_EQ(b->bind.data, buf);
}

}  // namespace
}  // namespace fetchtest
