// Header fields of the four implicit descriptors and of explicit ones:
// reads after writes, the refusals of each kind, and what a write carries
// into the statements that use the descriptor.
#include <vector>

#include "desc_fixture.h"

namespace dt {
namespace {

enum Kind { ARD, APD, IRD, IPD, USER };
const char *const kKindNames[] = {"ARD", "APD", "IRD", "IPD", "USER"};

struct HeaderTest : DescTest {
  SQLHDESC user = SQL_NULL_HDESC;
  void SetUp() override {
    DescTest::SetUp();
    conn->cn_hasParamOp = 1;
    user = front::NewDesc(dbc);
  }
  SQLHDESC Of(Kind k) const {
    switch (k) {
      case ARD: return Ard();
      case APD: return Apd();
      case IRD: return Ird();
      case IPD: return Ipd();
      default: return user;
    }
  }
};

constexpr SQLLEN kPtr = 0x5000;

struct HeaderCase {
  Kind kind;
  SQLSMALLINT field;
  SQLLEN value;
  int32_t setCode;  // 0: the write succeeds
  int32_t getCode;  // 0: the read succeeds and gives `expect`
  int64_t expect;
};

const HeaderCase kHeaderCases[] = {
    {ARD, SQL_DESC_ARRAY_SIZE, 5, 0, 0, 5},
    {APD, SQL_DESC_ARRAY_SIZE, 3, 0, 0, 3},
    {USER, SQL_DESC_ARRAY_SIZE, 7, 0, 0, 7},
    {IRD, SQL_DESC_ARRAY_SIZE, 7, E_S1091, E_S1091, 0},
    {IPD, SQL_DESC_ARRAY_SIZE, 7, E_S1091, E_S1091, 0},
    {ARD, SQL_DESC_ARRAY_STATUS_PTR, kPtr, 0, 0, kPtr},
    {APD, SQL_DESC_ARRAY_STATUS_PTR, kPtr, 0, 0, kPtr},
    {IRD, SQL_DESC_ARRAY_STATUS_PTR, kPtr, 0, 0, kPtr},
    {IPD, SQL_DESC_ARRAY_STATUS_PTR, kPtr, 0, 0, kPtr},
    {USER, SQL_DESC_ARRAY_STATUS_PTR, kPtr, 0, 0, kPtr},
    {ARD, SQL_DESC_BIND_OFFSET_PTR, kPtr, 0, 0, kPtr},
    {APD, SQL_DESC_BIND_OFFSET_PTR, kPtr, 0, 0, kPtr},
    {USER, SQL_DESC_BIND_OFFSET_PTR, kPtr, 0, 0, kPtr},
    {IRD, SQL_DESC_BIND_OFFSET_PTR, kPtr, E_S1091, E_S1091, 0},
    {IPD, SQL_DESC_BIND_OFFSET_PTR, kPtr, E_S1091, E_S1091, 0},
    {ARD, SQL_DESC_BIND_TYPE, 24, 0, 0, 24},
    {APD, SQL_DESC_BIND_TYPE, 24, 0, 0, 24},
    {USER, SQL_DESC_BIND_TYPE, 24, 0, 0, 24},
    {IRD, SQL_DESC_BIND_TYPE, 24, E_S1091, E_S1091, 0},
    {IPD, SQL_DESC_BIND_TYPE, 24, E_S1091, E_S1091, 0},
    {IRD, SQL_DESC_ROWS_PROCESSED_PTR, kPtr, 0, 0, kPtr},
    {IPD, SQL_DESC_ROWS_PROCESSED_PTR, kPtr, 0, 0, kPtr},
    {ARD, SQL_DESC_ROWS_PROCESSED_PTR, kPtr, E_S1091, E_S1091, 0},
    {APD, SQL_DESC_ROWS_PROCESSED_PTR, kPtr, E_S1091, E_S1091, 0},
    {USER, SQL_DESC_ROWS_PROCESSED_PTR, kPtr, E_S1091, E_S1091, 0},
    {ARD, SQL_DESC_COUNT, 3, 0, 0, 3},
    {APD, SQL_DESC_COUNT, 3, 0, 0, 3},
    {IPD, SQL_DESC_COUNT, 3, 0, 0, 3},
    {USER, SQL_DESC_COUNT, 3, 0, 0, 3},
    // No result set yet: the statement's function sequence error.
    {IRD, SQL_DESC_COUNT, 3, E_S1091, E_S1010, 0},
    {ARD, SQL_DESC_ALLOC_TYPE, 2, E_S1091, 0, SQL_DESC_ALLOC_AUTO},
    {IRD, SQL_DESC_ALLOC_TYPE, 2, E_S1091, 0, SQL_DESC_ALLOC_AUTO},
    {USER, SQL_DESC_ALLOC_TYPE, 1, E_S1091, 0, SQL_DESC_ALLOC_USER},
};

TEST_F(HeaderTest, EveryHeaderFieldOfEveryKindReadsBackWhatWasSet) {
  for (const HeaderCase &c : kHeaderCases) {
    SCOPED_TRACE(std::string(kKindNames[c.kind]) + " field " + std::to_string(c.field));
    SQLHDESC d = Of(c.kind);
    SQLRETURN rc = Set(d, 0, c.field, c.value);
    EXPECT_EQ(rc, c.setCode ? SQL_ERROR : SQL_SUCCESS);
    EXPECT_EQ(Code(d), c.setCode);
    int64_t v = -1;
    SQLINTEGER len = 0;
    rc = Get(d, 0, c.field, &v, &len);
    EXPECT_EQ(rc, c.getCode ? SQL_ERROR : SQL_SUCCESS);
    EXPECT_EQ(Code(d), c.getCode);
    if (c.getCode == 0) {
      EXPECT_EQ(v, c.expect);
    }
  }
}

TEST_F(HeaderTest, ValueWidths) {
  struct W {
    Kind kind;
    SQLSMALLINT field;
    SQLINTEGER len;
  } const widths[] = {
      {ARD, SQL_DESC_ARRAY_SIZE, 8}, {ARD, SQL_DESC_ARRAY_STATUS_PTR, 8}, {ARD, SQL_DESC_BIND_OFFSET_PTR, 8},
      {ARD, SQL_DESC_BIND_TYPE, 4},  {IRD, SQL_DESC_ROWS_PROCESSED_PTR, 8}, {ARD, SQL_DESC_COUNT, 2},
      {USER, SQL_DESC_ALLOC_TYPE, 2},
  };
  for (const W &w : widths) {
    int64_t v = 0;
    SQLINTEGER len = 0;
    EXPECT_EQ(Get(Of(w.kind), 0, w.field, &v, &len), SQL_SUCCESS);
    EXPECT_EQ(len, w.len) << w.field;
  }
}

TEST_F(HeaderTest, ImplicitDescriptorsAreViewsOfTheStatement) {
  int64_t fetched = 0, processed = 0;
  ASSERT_EQ(Set(Ard(), 0, SQL_DESC_ARRAY_SIZE, 6), SQL_SUCCESS);
  EXPECT_EQ(stmt->cursor.rowsetSize, 6);
  ASSERT_EQ(Set(Ard(), 0, SQL_DESC_BIND_TYPE, 32), SQL_SUCCESS);
  EXPECT_EQ(stmt->bindType, 32);
  ASSERT_EQ(Set(Apd(), 0, SQL_DESC_ARRAY_SIZE, 4), SQL_SUCCESS);
  EXPECT_EQ(stmt->paramsetSize, 4u);
  ASSERT_EQ(SetPtr(Ird(), 0, SQL_DESC_ROWS_PROCESSED_PTR, &fetched), SQL_SUCCESS);
  EXPECT_EQ(stmt->rowsFetched, reinterpret_cast<uint64_t *>(&fetched));
  ASSERT_EQ(SetPtr(Ipd(), 0, SQL_DESC_ROWS_PROCESSED_PTR, &processed), SQL_SUCCESS);
  EXPECT_EQ(stmt->rowsProcessed, reinterpret_cast<uint64_t *>(&processed));
  EXPECT_EQ(stmt->paramsetSize, 4u);

  // And the reads follow the statement when it changes by other roads.
  stmt->cursor.rowsetSize = 9;
  stmt->bindType = 16;
  stmt->paramsetSize = 2;
  EXPECT_EQ(Value(Ard(), 0, SQL_DESC_ARRAY_SIZE), 9);
  EXPECT_EQ(Value(Ard(), 0, SQL_DESC_BIND_TYPE), 16);
  EXPECT_EQ(Value(Apd(), 0, SQL_DESC_ARRAY_SIZE), 2);
}

TEST_F(HeaderTest, ZeroAndNullKeepTheSizeAndCounters) {
  int64_t fetched = 0;
  ASSERT_EQ(Set(Ard(), 0, SQL_DESC_ARRAY_SIZE, 6), SQL_SUCCESS);
  ASSERT_EQ(Set(Ard(), 0, SQL_DESC_ARRAY_SIZE, 0), SQL_SUCCESS);
  EXPECT_EQ(Value(Ard(), 0, SQL_DESC_ARRAY_SIZE), 6);
  ASSERT_EQ(SetPtr(Ird(), 0, SQL_DESC_ROWS_PROCESSED_PTR, &fetched), SQL_SUCCESS);
  ASSERT_EQ(SetPtr(Ird(), 0, SQL_DESC_ROWS_PROCESSED_PTR, nullptr), SQL_SUCCESS);
  EXPECT_EQ(Ptr(Ird(), 0, SQL_DESC_ROWS_PROCESSED_PTR), &fetched);
  // A status array is withdrawn with NULL.
  uint16_t status[4];
  ASSERT_EQ(SetPtr(Ird(), 0, SQL_DESC_ARRAY_STATUS_PTR, status), SQL_SUCCESS);
  ASSERT_EQ(SetPtr(Ird(), 0, SQL_DESC_ARRAY_STATUS_PTR, nullptr), SQL_SUCCESS);
  EXPECT_EQ(Ptr(Ird(), 0, SQL_DESC_ARRAY_STATUS_PTR), nullptr);
}

TEST_F(HeaderTest, StatementAttributesGoThroughTheDescriptors) {
  int64_t offset = 0;
  uint16_t ops[3];
  ASSERT_EQ(SQLSetStmtAttr(hstmt, SQL_ATTR_ROW_ARRAY_SIZE, I(8), 0), SQL_SUCCESS);
  ASSERT_EQ(SQLSetStmtAttr(hstmt, SQL_ATTR_ROW_BIND_TYPE, I(40), 0), SQL_SUCCESS);
  ASSERT_EQ(SQLSetStmtAttr(hstmt, SQL_ATTR_ROW_BIND_OFFSET_PTR, &offset, 0), SQL_SUCCESS);
  ASSERT_EQ(SQLSetStmtAttr(hstmt, SQL_ATTR_ROW_OPERATION_PTR, ops, 0), SQL_SUCCESS);
  ASSERT_EQ(SQLSetStmtAttr(hstmt, SQL_ATTR_PARAMSET_SIZE, I(3), 0), SQL_SUCCESS);
  ASSERT_EQ(SQLSetStmtAttr(hstmt, SQL_ATTR_PARAM_BIND_TYPE, I(24), 0), SQL_SUCCESS);
  ASSERT_EQ(SQLSetStmtAttr(hstmt, SQL_ATTR_PARAM_BIND_OFFSET_PTR, &offset, 0), SQL_SUCCESS);
  ASSERT_EQ(SQLSetStmtAttr(hstmt, SQL_ATTR_PARAM_OPERATION_PTR, ops, 0), SQL_SUCCESS);
  EXPECT_EQ(Value(Ard(), 0, SQL_DESC_ARRAY_SIZE), 8);
  EXPECT_EQ(Value(Ard(), 0, SQL_DESC_BIND_TYPE), 40);
  EXPECT_EQ(Ptr(Ard(), 0, SQL_DESC_BIND_OFFSET_PTR), &offset);
  EXPECT_EQ(Ptr(Ard(), 0, SQL_DESC_ARRAY_STATUS_PTR), ops);
  EXPECT_EQ(Value(Apd(), 0, SQL_DESC_ARRAY_SIZE), 3);
  EXPECT_EQ(Value(Apd(), 0, SQL_DESC_BIND_TYPE), 24);
  EXPECT_EQ(Ptr(Apd(), 0, SQL_DESC_BIND_OFFSET_PTR), &offset);
  EXPECT_EQ(Ptr(Apd(), 0, SQL_DESC_ARRAY_STATUS_PTR), ops);
  EXPECT_EQ(stmt->cursor.rowsetSize, 8);
  EXPECT_EQ(stmt->paramsetSize, 3u);

  // The implementation-side pointers, set as attributes, read through the
  // IRD and IPD, and the other way round.
  uint64_t fetched = 0, processed = 0;
  uint16_t rowStatus[8], paramStatus[3];
  ASSERT_EQ(SQLSetStmtAttr(hstmt, SQL_ATTR_ROWS_FETCHED_PTR, &fetched, 0), SQL_SUCCESS);
  ASSERT_EQ(SQLSetStmtAttr(hstmt, SQL_ATTR_ROW_STATUS_PTR, rowStatus, 0), SQL_SUCCESS);
  ASSERT_EQ(SQLSetStmtAttr(hstmt, SQL_ATTR_PARAM_STATUS_PTR, paramStatus, 0), SQL_SUCCESS);
  EXPECT_EQ(Ptr(Ird(), 0, SQL_DESC_ROWS_PROCESSED_PTR), &fetched);
  EXPECT_EQ(Ptr(Ird(), 0, SQL_DESC_ARRAY_STATUS_PTR), rowStatus);
  EXPECT_EQ(Ptr(Ipd(), 0, SQL_DESC_ARRAY_STATUS_PTR), paramStatus);
  ASSERT_EQ(SetPtr(Ipd(), 0, SQL_DESC_ROWS_PROCESSED_PTR, &processed), SQL_SUCCESS);
  void *got = nullptr;
  ASSERT_EQ(SQLGetStmtAttr(hstmt, SQL_ATTR_PARAMS_PROCESSED_PTR, &got, 0, nullptr), SQL_SUCCESS);
  EXPECT_EQ(got, &processed);
}

TEST_F(HeaderTest, PointerFieldsIgnoreTheBufferLength) {
  int64_t offset = 0;
  // A pointer attribute passed with a length of 0 or SQL_IS_POINTER alike.
  ASSERT_EQ(SQLSetDescField(Ard(), 0, SQL_DESC_BIND_OFFSET_PTR, &offset, 0), SQL_SUCCESS);
  void *p = nullptr;
  SQLINTEGER len = 0;
  ASSERT_EQ(SQLGetDescField(Ard(), 0, SQL_DESC_BIND_OFFSET_PTR, &p, 0, &len), SQL_SUCCESS);
  EXPECT_EQ(p, &offset);
  EXPECT_EQ(len, 8);
  ASSERT_EQ(SQLGetDescField(Ard(), 0, SQL_DESC_BIND_OFFSET_PTR, &p, SQL_IS_POINTER, &len), SQL_SUCCESS);
  EXPECT_EQ(p, &offset);
}

TEST_F(HeaderTest, ARefusedParamsetSizeIsReportedOnTheDescriptor) {
  conn->cn_hasParamOp = 0;
  ASSERT_EQ(Set(Apd(), 0, SQL_DESC_ARRAY_SIZE, 5), SQL_ERROR);
  EXPECT_EQ(Code(Apd()), E_IM001);
  EXPECT_EQ(stmt->paramsetSize, 1u);
  // Through the statement attribute the statement reports it.
  ASSERT_EQ(SQLSetStmtAttr(hstmt, SQL_ATTR_PARAMSET_SIZE, I(5), 0), SQL_ERROR);
  EXPECT_EQ(stmt->pending, E_IM001);
}

TEST_F(HeaderTest, ARowsetSizeTheAgentChangesIsWhatTheDescriptorSays) {
  fake::Script(SLOT_DRV_SetInfo).result = E_01S02;
  fake::SetInfo(InfoStmtOption(SQL_ROWSET_SIZE), 100);
  EXPECT_EQ(Set(Ard(), 0, SQL_DESC_ARRAY_SIZE, 200), SQL_SUCCESS_WITH_INFO);
  EXPECT_EQ(Code(Ard()), E_01S02);
  EXPECT_EQ(Value(Ard(), 0, SQL_DESC_ARRAY_SIZE), 100);
}

// ---- Explicit descriptors shared by statements ------------------------------------

struct SharedTest : HeaderTest {
  SQLHSTMT h2 = SQL_NULL_HSTMT;
  Stmt *s2 = nullptr;
  void SetUp() override {
    HeaderTest::SetUp();
    s2 = NewStmt(&h2);
    ASSERT_EQ(SQLSetStmtAttr(hstmt, SQL_ATTR_APP_ROW_DESC, user, 0), SQL_SUCCESS);
    ASSERT_EQ(SQLSetStmtAttr(h2, SQL_ATTR_APP_ROW_DESC, user, 0), SQL_SUCCESS);
  }
};

TEST_F(SharedTest, AChangeReachesEveryStatementThatUsesIt) {
  ASSERT_EQ(Set(user, 0, SQL_DESC_ARRAY_SIZE, 12), SQL_SUCCESS);
  ASSERT_EQ(Set(user, 0, SQL_DESC_BIND_TYPE, 64), SQL_SUCCESS);
  EXPECT_EQ(stmt->cursor.rowsetSize, 12);
  EXPECT_EQ(s2->cursor.rowsetSize, 12);
  EXPECT_EQ(stmt->bindType, 64);
  EXPECT_EQ(s2->bindType, 64);
  // A statement attribute of one statement sets the shared descriptor.
  ASSERT_EQ(SQLSetStmtAttr(h2, SQL_ATTR_ROW_ARRAY_SIZE, I(3), 0), SQL_SUCCESS);
  EXPECT_EQ(stmt->cursor.rowsetSize, 3);
  EXPECT_EQ(Value(Ard(), 0, SQL_DESC_ARRAY_SIZE), 3);
}

TEST_F(SharedTest, AWarningOnOneStatementStillReachesTheOthers) {
  fake::Script(SLOT_DRV_SetInfo).result = E_01S02;
  fake::SetInfo(InfoStmtOption(SQL_ROWSET_SIZE), 100);
  EXPECT_EQ(Set(user, 0, SQL_DESC_ARRAY_SIZE, 200), SQL_SUCCESS_WITH_INFO);
  EXPECT_EQ(stmt->cursor.rowsetSize, 100);
  EXPECT_EQ(s2->cursor.rowsetSize, 100);
}

TEST_F(SharedTest, AFreedStatementIsNoLongerReached) {
  ASSERT_EQ(SQLFreeHandle(SQL_HANDLE_STMT, h2), SQL_SUCCESS);
  ASSERT_EQ(Set(user, 0, SQL_DESC_BIND_TYPE, 8), SQL_SUCCESS);
  EXPECT_EQ(stmt->bindType, 8);
  // Back on its implicit ARD, the statement is not reached either.
  ASSERT_EQ(SQLSetStmtAttr(hstmt, SQL_ATTR_APP_ROW_DESC, nullptr, 0), SQL_SUCCESS);
  ASSERT_EQ(SQLFreeHandle(SQL_HANDLE_DESC, user), SQL_SUCCESS);
  EXPECT_EQ(stmt->ard, stmt->implicitArd);
}

TEST_F(HeaderTest, AnUnusedExplicitDescriptorChangesOnlyItself) {
  const int32_t rowset = stmt->cursor.rowsetSize;
  ASSERT_EQ(Set(user, 0, SQL_DESC_ARRAY_SIZE, 30), SQL_SUCCESS);
  ASSERT_EQ(Set(user, 0, SQL_DESC_BIND_TYPE, 30), SQL_SUCCESS);
  EXPECT_EQ(stmt->cursor.rowsetSize, rowset);
  EXPECT_EQ(stmt->bindType, 0);
  EXPECT_EQ(Value(user, 0, SQL_DESC_ARRAY_SIZE), 30);
}

TEST_F(HeaderTest, AReplacedImplicitArdKeepsItsOwnValues) {
  ASSERT_EQ(SQLSetStmtAttr(hstmt, SQL_ATTR_ROW_ARRAY_SIZE, I(4), 0), SQL_SUCCESS);
  SQLHDESC implicitArd = H(stmt->implicitArd);
  ASSERT_EQ(SQLSetStmtAttr(hstmt, SQL_ATTR_APP_ROW_DESC, user, 0), SQL_SUCCESS);
  ASSERT_EQ(Set(user, 0, SQL_DESC_ARRAY_SIZE, 2), SQL_SUCCESS);
  // The implicit ARD is not in force: writing it leaves the statement alone.
  ASSERT_EQ(Set(implicitArd, 0, SQL_DESC_ARRAY_SIZE, 9), SQL_SUCCESS);
  EXPECT_EQ(stmt->cursor.rowsetSize, 2);
  EXPECT_EQ(Value(implicitArd, 0, SQL_DESC_ARRAY_SIZE), 9);
  // Freeing the explicit one puts it back in force.
  ASSERT_EQ(SQLFreeHandle(SQL_HANDLE_DESC, user), SQL_SUCCESS);
  EXPECT_EQ(stmt->cursor.rowsetSize, 9);
}

}  // namespace
}  // namespace dt
