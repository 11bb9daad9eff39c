// SQL_DESC_DATA_PTR binds: an ARD record becomes a bound column of the
// statement (of every statement that shares an explicit ARD), an APD record
// a bound parameter described by the IPD record of the same number.
#include <cstring>

#include "desc_fixture.h"
#include "odbc/stmt.h"

namespace dt {
namespace {

struct BindTest : DescTest {
  void SetUp() override {
    DescTest::SetUp();
    fake::SetColumns({{"ID", SQL_INTEGER, VT_SLONG, 4}, {"NAME", SQL_VARCHAR, VT_STRING, 10}});
    fake::SetRows({{fake::I32(42), fake::Text("forty-two")}, {fake::I32(7), fake::Null()}});
  }
  // A result to fetch: any catalog call opens the canned one.
  void Open(SQLHSTMT h) { ASSERT_EQ(SQLTables(h, nullptr, 0, nullptr, 0, nullptr, 0, nullptr, 0), SQL_SUCCESS); }
};

TEST_F(BindTest, ADataPointerBindsTheColumnAndTheFetchFillsIt) {
  int32_t id = 0;
  int64_t len = -1, ind = -1;
  SQLHDESC ard = Ard();
  ASSERT_EQ(Set(ard, 1, SQL_DESC_CONCISE_TYPE, SQL_C_SLONG), SQL_SUCCESS);
  ASSERT_EQ(Set(ard, 1, SQL_DESC_OCTET_LENGTH, 4), SQL_SUCCESS);
  ASSERT_EQ(SetPtr(ard, 1, SQL_DESC_OCTET_LENGTH_PTR, &len), SQL_SUCCESS);
  ASSERT_EQ(SetPtr(ard, 1, SQL_DESC_INDICATOR_PTR, &ind), SQL_SUCCESS);
  EXPECT_EQ(StmtBoundCol(stmt, 1), nullptr);
  ASSERT_EQ(SetPtr(ard, 1, SQL_DESC_DATA_PTR, &id), SQL_SUCCESS);

  const BoundCol *b = StmtBoundCol(stmt, 1);
  ASSERT_NE(b, nullptr);
  EXPECT_EQ(b->bind.cType, SQL_C_SLONG);
  EXPECT_EQ(b->bind.data, &id);
  EXPECT_EQ(b->bind.bufferLength, 4u);
  // The length pointer set apart from the indicator stays in force.
  EXPECT_EQ(b->bind.lengthPtr, &len);
  EXPECT_EQ(b->bind.indicatorPtr, &ind);
  EXPECT_EQ(Ptr(ard, 1, SQL_DESC_OCTET_LENGTH_PTR), &len);
  EXPECT_EQ(Ptr(ard, 1, SQL_DESC_INDICATOR_PTR), &ind);
  EXPECT_EQ(Ptr(ard, 1, SQL_DESC_DATA_PTR), &id);
  EXPECT_EQ(Value(ard, 1, SQL_DESC_CONCISE_TYPE), SQL_C_SLONG);

  Open(hstmt);
  ASSERT_EQ(SQLFetch(hstmt), SQL_SUCCESS);
  EXPECT_EQ(id, 42);
  EXPECT_EQ(len, 4);

  // A NULL data pointer unbinds the column: the next row leaves it alone.
  ASSERT_EQ(SetPtr(ard, 1, SQL_DESC_DATA_PTR, nullptr), SQL_SUCCESS);
  EXPECT_EQ(StmtBoundCol(stmt, 1), nullptr);
  ASSERT_EQ(SQLFetch(hstmt), SQL_SUCCESS);
  EXPECT_EQ(id, 42);
}

TEST_F(BindTest, SetDescRecBindsThroughTheFieldWrites) {
  char name[16] = {};
  SQLLEN len = 0;
  ASSERT_EQ(SQLSetDescRec(Ard(), 2, SQL_C_CHAR, 0, sizeof name, 0, 0, name, &len, &len), SQL_SUCCESS);
  const BoundCol *b = StmtBoundCol(stmt, 2);
  ASSERT_NE(b, nullptr);
  EXPECT_EQ(b->bind.data, name);
  EXPECT_EQ(b->bind.bufferLength, sizeof name);
  Open(hstmt);
  ASSERT_EQ(SQLFetch(hstmt), SQL_SUCCESS);
  EXPECT_STREQ(name, "forty-two");
  EXPECT_EQ(len, 9);
  ASSERT_EQ(SQLFetch(hstmt), SQL_SUCCESS);
  EXPECT_EQ(len, SQL_NULL_DATA);
}

TEST_F(BindTest, AnExplicitArdBindsEveryStatementThatUsesIt) {
  SQLHDESC user = front::NewDesc(dbc);
  SQLHSTMT h2 = SQL_NULL_HSTMT;
  Stmt *s2 = NewStmt(&h2);
  ASSERT_EQ(SQLSetStmtAttr(hstmt, SQL_ATTR_APP_ROW_DESC, user, 0), SQL_SUCCESS);
  ASSERT_EQ(SQLSetStmtAttr(h2, SQL_ATTR_APP_ROW_DESC, user, 0), SQL_SUCCESS);
  int32_t id = 0;
  SQLLEN ind = 0;
  ASSERT_EQ(Set(user, 1, SQL_DESC_CONCISE_TYPE, SQL_C_SLONG), SQL_SUCCESS);
  ASSERT_EQ(SetPtr(user, 1, SQL_DESC_INDICATOR_PTR, &ind), SQL_SUCCESS);
  ASSERT_EQ(SetPtr(user, 1, SQL_DESC_DATA_PTR, &id), SQL_SUCCESS);
  for (Stmt *s : {stmt, s2}) {
    const BoundCol *b = StmtBoundCol(s, 1);
    ASSERT_NE(b, nullptr);
    EXPECT_EQ(b->bind.data, &id);
    EXPECT_EQ(b->bind.indicatorPtr, &ind);
  }
  Open(h2);
  ASSERT_EQ(SQLFetch(h2), SQL_SUCCESS);
  EXPECT_EQ(id, 42);
  // A lowered count unbinds the records above it on both.
  char name[12];
  ASSERT_EQ(Set(user, 2, SQL_DESC_CONCISE_TYPE, SQL_C_CHAR), SQL_SUCCESS);
  ASSERT_EQ(Set(user, 2, SQL_DESC_OCTET_LENGTH, sizeof name), SQL_SUCCESS);
  ASSERT_EQ(SetPtr(user, 2, SQL_DESC_DATA_PTR, name), SQL_SUCCESS);
  ASSERT_NE(StmtBoundCol(stmt, 2), nullptr);
  ASSERT_NE(StmtBoundCol(s2, 2), nullptr);
  ASSERT_EQ(Set(user, 0, SQL_DESC_COUNT, 1), SQL_SUCCESS);
  EXPECT_EQ(StmtBoundCol(stmt, 2), nullptr);
  EXPECT_EQ(StmtBoundCol(s2, 2), nullptr);
  EXPECT_NE(StmtBoundCol(s2, 1), nullptr);
  // Changing the record's type takes the buffer away on both.
  ASSERT_EQ(Set(user, 1, SQL_DESC_CONCISE_TYPE, SQL_C_CHAR), SQL_SUCCESS);
  for (Stmt *s : {stmt, s2}) {
    const BoundCol *b = StmtBoundCol(s, 1);
    EXPECT_TRUE(b == nullptr || b->bind.data == nullptr);
  }
  EXPECT_EQ(Ptr(user, 1, SQL_DESC_DATA_PTR), nullptr);
}

TEST_F(BindTest, CopyingAnEmptyDescriptorUnbindsEveryColumn) {
  int32_t id = 0;
  char name[8];
  SQLLEN ind = 0;
  ASSERT_EQ(SQLBindCol(hstmt, 1, SQL_C_SLONG, &id, 0, &ind), SQL_SUCCESS);
  ASSERT_EQ(SQLBindCol(hstmt, 2, SQL_C_CHAR, name, sizeof name, &ind), SQL_SUCCESS);
  ASSERT_EQ(Value(Ard(), 0, SQL_DESC_COUNT), 2);
  SQLHDESC empty = front::NewDesc(dbc);
  ASSERT_EQ(SQLCopyDesc(empty, Ard()), SQL_SUCCESS);
  EXPECT_EQ(Value(Ard(), 0, SQL_DESC_COUNT), 0);
  EXPECT_EQ(stmt->boundCols, nullptr);
  Open(hstmt);
  ASSERT_EQ(SQLFetch(hstmt), SQL_SUCCESS);
  EXPECT_EQ(id, 0);
}

TEST_F(BindTest, ADataPointerBindsTheParameterAsTheIpdDescribesIt) {
  int32_t v = 0;
  SQLLEN ind = 0;
  char text[24];
  SQLLEN len = SQL_NTS;
  // Parameter 1: an output INTEGER; parameter 2: VARCHAR(20); parameter 3: DECIMAL(10,2).
  ASSERT_EQ(Set(Ipd(), 1, SQL_DESC_PARAMETER_TYPE, SQL_PARAM_OUTPUT), SQL_SUCCESS);
  ASSERT_EQ(Set(Ipd(), 1, SQL_DESC_CONCISE_TYPE, SQL_INTEGER), SQL_SUCCESS);
  ASSERT_EQ(Set(Ipd(), 2, SQL_DESC_CONCISE_TYPE, SQL_VARCHAR), SQL_SUCCESS);
  ASSERT_EQ(Set(Ipd(), 2, SQL_DESC_LENGTH, 20), SQL_SUCCESS);
  ASSERT_EQ(Set(Ipd(), 3, SQL_DESC_CONCISE_TYPE, SQL_DECIMAL), SQL_SUCCESS);
  ASSERT_EQ(Set(Ipd(), 3, SQL_DESC_PRECISION, 10), SQL_SUCCESS);
  ASSERT_EQ(Set(Ipd(), 3, SQL_DESC_SCALE, 2), SQL_SUCCESS);

  ASSERT_EQ(Set(Apd(), 1, SQL_DESC_CONCISE_TYPE, SQL_C_SLONG), SQL_SUCCESS);
  ASSERT_EQ(SetPtr(Apd(), 1, SQL_DESC_INDICATOR_PTR, &ind), SQL_SUCCESS);
  ASSERT_EQ(SetPtr(Apd(), 1, SQL_DESC_DATA_PTR, &v), SQL_SUCCESS) << stmt->pending;
  ASSERT_EQ(Set(Apd(), 2, SQL_DESC_CONCISE_TYPE, SQL_C_CHAR), SQL_SUCCESS);
  ASSERT_EQ(Set(Apd(), 2, SQL_DESC_OCTET_LENGTH, sizeof text), SQL_SUCCESS);
  ASSERT_EQ(SetPtr(Apd(), 2, SQL_DESC_OCTET_LENGTH_PTR, &len), SQL_SUCCESS);
  ASSERT_EQ(SetPtr(Apd(), 2, SQL_DESC_DATA_PTR, text), SQL_SUCCESS) << stmt->pending;
  ASSERT_EQ(Set(Apd(), 3, SQL_DESC_CONCISE_TYPE, SQL_C_CHAR), SQL_SUCCESS);
  ASSERT_EQ(SetPtr(Apd(), 3, SQL_DESC_DATA_PTR, text), SQL_SUCCESS) << stmt->pending;

  const ParamBinding *p1 = StmtParamEntry(stmt, 1);
  ASSERT_NE(p1, nullptr);
  EXPECT_EQ(p1->cType, SQL_C_SLONG);
  EXPECT_EQ(p1->sqlType, SQL_INTEGER);
  EXPECT_EQ(p1->paramType, SQL_PARAM_OUTPUT);
  EXPECT_EQ(p1->data, &v);
  EXPECT_EQ(p1->indicatorPtr, &ind);
  const ParamBinding *p2 = StmtParamEntry(stmt, 2);
  EXPECT_EQ(p2->sqlType, SQL_VARCHAR);
  EXPECT_EQ(p2->columnSize, 20u);
  EXPECT_EQ(p2->bufferLength, static_cast<int64_t>(sizeof text));
  EXPECT_EQ(p2->lengthPtr, &len);
  const ParamBinding *p3 = StmtParamEntry(stmt, 3);
  EXPECT_EQ(p3->sqlType, SQL_DECIMAL);
  EXPECT_EQ(p3->columnSize, 10u);
  EXPECT_EQ(p3->decimalDigits, 2);
  EXPECT_EQ(Value(Ipd(), 1, SQL_DESC_PARAMETER_TYPE), SQL_PARAM_OUTPUT);
  EXPECT_EQ(Ptr(Apd(), 2, SQL_DESC_DATA_PTR), text);

  // A NULL data pointer takes the buffer away.
  ASSERT_EQ(SetPtr(Apd(), 2, SQL_DESC_DATA_PTR, nullptr), SQL_SUCCESS);
  EXPECT_EQ(StmtParamEntry(stmt, 2)->data, nullptr);
  EXPECT_EQ(Ptr(Apd(), 2, SQL_DESC_DATA_PTR), nullptr);
}

TEST_F(BindTest, AFailedBindIsReportedOnTheDescriptor) {
  int32_t v = 0;
  // Bookmark column with a type that cannot hold a bookmark.
  ASSERT_EQ(Set(Ard(), 0, SQL_DESC_CONCISE_TYPE, SQL_C_CHAR), SQL_SUCCESS);
  EXPECT_EQ(SetPtr(Ard(), 0, SQL_DESC_DATA_PTR, &v), SQL_ERROR);
  EXPECT_NE(Code(Ard()), 0);
  EXPECT_EQ(StmtBoundCol(stmt, 0), nullptr);
}

}  // namespace
}  // namespace dt
