// Descriptor record and copy entries: what SQLCopyDesc, SQLGetDescRec and
// SQLSetDescRec refuse before any field moves, and where the refusal is
// recorded.
#include <string>

#include "odbc/desc.h"
#include "odbc/descrec.h"
#include "stmt_fixture.h"

namespace {

struct DescRecTest : st::StmtTest {
  static SQLHDESC H(const Desc *d) { return front::AsHandle(d->handle); }
};

TEST_F(DescRecTest, Classes) {
  SQLHDESC explicitDesc = front::NewDesc(dbc);
  struct Case {
    const Desc *desc;
    bool application, row;
  };
  const Case cases[] = {
      {stmt->implicitArd, true, true}, {stmt->implicitApd, true, false}, {stmt->ird, false, true},
      {stmt->ipd, false, false},       {front::DescOf(explicitDesc), true, false},
  };
  for (const Case &c : cases) {
    EXPECT_EQ(DescIsApplication(c.desc), c.application) << c.desc->kind;
    EXPECT_EQ(DescIsRow(c.desc), c.row) << c.desc->kind;
  }
}

TEST_F(DescRecTest, CopyRefusalsAreRecordedOnTheTarget) {
  SQLHSTMT other;
  Stmt *o = NewStmt(&other);
  // A target that is no live descriptor.
  EXPECT_EQ(SQLCopyDesc(H(stmt->implicitArd), front::AsHandle(stmt->handle)), SQL_INVALID_HANDLE);
  EXPECT_EQ(SQLCopyDesc(H(stmt->implicitArd), front::AsHandle(0x4FFFF)), SQL_INVALID_HANDLE);
  EXPECT_EQ(stmt->implicitArd->pending, 0);
  // Into an implementation row descriptor.
  EXPECT_EQ(SQLCopyDesc(H(stmt->implicitArd), H(o->ird)), SQL_ERROR);
  EXPECT_EQ(o->ird->pending, E_S1016);
  EXPECT_EQ(stmt->implicitArd->pending, 0);
  EXPECT_EQ(State(SQL_HANDLE_DESC, H(o->ird)), "HY016");
  // From the IRD of a statement never prepared.
  EXPECT_EQ(SQLCopyDesc(H(stmt->ird), H(o->implicitArd)), SQL_ERROR);
  EXPECT_EQ(o->implicitArd->pending, E_S1010);
  EXPECT_EQ(stmt->ird->pending, 0);
}

TEST_F(DescRecTest, SetDescRecRefusesTheRowImplementationDescriptor) {
  EXPECT_EQ(SQLSetDescRec(H(stmt->ird), 1, SQL_INTEGER, 0, 4, 0, 0, nullptr, nullptr, nullptr), SQL_ERROR);
  EXPECT_EQ(stmt->ird->pending, E_S1016);
  EXPECT_EQ(stmt->ird->count, 0);
}

TEST_F(DescRecTest, GetDescRecRefusesANegativeBufferLength) {
  SQLCHAR name[8];
  SQLSMALLINT len = 0, type = 0;
  EXPECT_EQ(SQLGetDescRec(H(stmt->ipd), 1, name, -1, &len, &type, nullptr, nullptr, nullptr, nullptr, nullptr),
            SQL_ERROR);
  EXPECT_EQ(stmt->ipd->pending, E_S1090);
}

}  // namespace

namespace {

// The paths that go through the descriptor field engine.
struct DescRecFieldTest : DescRecTest {
  SQLRETURN SetField(SQLHDESC h, SQLSMALLINT rec, SQLSMALLINT field, intptr_t value, SQLINTEGER len = 0) {
    return SQLSetDescField(h, rec, field, st::P(value), len);
  }
  SQLLEN GetField(SQLHDESC h, SQLSMALLINT rec, SQLSMALLINT field) {
    SQLLEN v = 0;
    EXPECT_TRUE(SQL_SUCCEEDED(SQLGetDescField(h, rec, field, &v, sizeof v, nullptr)))
        << field << " " << State(SQL_HANDLE_DESC, h);
    return v;
  }
  int16_t GetSmall(SQLHDESC h, SQLSMALLINT rec, SQLSMALLINT field) {
    SQLSMALLINT v = 0;
    EXPECT_TRUE(SQL_SUCCEEDED(SQLGetDescField(h, rec, field, &v, sizeof v, nullptr)))
        << field << " " << State(SQL_HANDLE_DESC, h);
    return v;
  }
};

TEST_F(DescRecFieldTest, GetDescRecOfAResultColumn) {
  fake::SetColumns({{"EMPNO", SQL_DECIMAL, VT_STRING, 6, 2, SQL_NO_NULLS}, {"HIREDATE_X", SQL_TYPE_TIMESTAMP}});
  ASSERT_EQ(SQLPrepare(hstmt, st::Text("select empno, hiredate_x from emp"), SQL_NTS), SQL_SUCCESS);
  SQLCHAR name[32];
  SQLSMALLINT len = 0, type = 0, sub = -1, prec = 0, scale = 0, nullable = -1;
  SQLLEN length = 0;
  ASSERT_EQ(SQLGetDescRec(H(stmt->ird), 1, name, sizeof name, &len, &type, &sub, &length, &prec, &scale, &nullable),
            SQL_SUCCESS)
      << State(SQL_HANDLE_DESC, H(stmt->ird));
  EXPECT_STREQ(reinterpret_cast<char *>(name), "EMPNO");
  EXPECT_EQ(len, 5);
  EXPECT_EQ(type, SQL_DECIMAL);
  EXPECT_EQ(sub, 0);
  EXPECT_EQ(prec, 6);
  EXPECT_EQ(scale, 2);
  EXPECT_EQ(nullable, SQL_NO_NULLS);
  // A date-time column: its interval code as subtype.
  ASSERT_EQ(SQLGetDescRec(H(stmt->ird), 2, name, sizeof name, &len, &type, &sub, nullptr, nullptr, nullptr, nullptr),
            SQL_SUCCESS);
  EXPECT_EQ(type, SQL_DATETIME);
  EXPECT_EQ(sub, SQL_CODE_TIMESTAMP);
  // The wide form counts characters: a ten-character name into five.
  SQLWCHAR wname[8];
  EXPECT_EQ(SQLGetDescRecW(H(stmt->ird), 2, wname, 5, &len, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr),
            SQL_SUCCESS_WITH_INFO);
  EXPECT_EQ(st::FromW(wname), "HIRE");
  EXPECT_EQ(len, 10);
  EXPECT_EQ(State(SQL_HANDLE_DESC, H(stmt->ird)), "01004");
  // Above the count: no data.
  EXPECT_EQ(SQLGetDescRec(H(stmt->ird), 3, name, sizeof name, &len, &type, &sub, &length, &prec, &scale, &nullable),
            SQL_NO_DATA);
}

// Application descriptors have neither nullability nor names: both are left
// as they were.
TEST_F(DescRecFieldTest, GetDescRecOfAnApplicationDescriptorStopsAtTheScale) {
  ASSERT_EQ(SQLSetDescRec(H(stmt->implicitArd), 1, SQL_C_LONG, 0, 4, 0, 0, nullptr, nullptr, nullptr), SQL_SUCCESS)
      << State(SQL_HANDLE_DESC, H(stmt->implicitArd));
  SQLCHAR name[8] = "keep";
  SQLSMALLINT len = 77, type = 0, nullable = 77;
  SQLLEN length = 0;
  EXPECT_EQ(SQLGetDescRec(H(stmt->implicitArd), 1, name, sizeof name, &len, &type, nullptr, &length, nullptr, nullptr,
                          &nullable),
            SQL_SUCCESS);
  EXPECT_EQ(type, SQL_C_LONG);
  EXPECT_EQ(length, 4);
  EXPECT_STREQ(reinterpret_cast<char *>(name), "keep");
  EXPECT_EQ(len, 77);
  EXPECT_EQ(nullable, 77);
}

TEST_F(DescRecFieldTest, SetDescRecWritesThePointersOfApplicationDescriptorsOnly) {
  SQLHDESC user = front::NewDesc(dbc);
  SQLLEN lenBuf = 0, indBuf = 0;
  char data[16];
  for (SQLHDESC h : {user, H(stmt->ipd)}) {
    ASSERT_EQ(SQLSetDescRec(h, 1, SQL_CHAR, 0, 10, 0, 0, data, &lenBuf, &indBuf), SQL_SUCCESS)
        << State(SQL_HANDLE_DESC, h);
    const DescRecord *r = DescGetRec(front::DescOf(h), 1);
    ASSERT_NE(r, nullptr);
    EXPECT_EQ(r->type, SQL_CHAR);
    EXPECT_EQ(r->octetLength, 10);
    const bool app = h == user;
    EXPECT_EQ(r->octetLengthPtr, app ? &lenBuf : nullptr);
    EXPECT_EQ(r->indicatorPtr, app ? &indBuf : nullptr);
  }
  // A date-time type takes its subtype.
  ASSERT_EQ(SQLSetDescRec(H(stmt->ipd), 2, SQL_DATETIME, SQL_CODE_DATE, 0, 0, 0, nullptr, nullptr, nullptr),
            SQL_SUCCESS);
  SQLSMALLINT type = 0, sub = 0;
  ASSERT_EQ(SQLGetDescRec(H(stmt->ipd), 2, nullptr, 0, nullptr, &type, &sub, nullptr, nullptr, nullptr, nullptr),
            SQL_SUCCESS);
  EXPECT_EQ(type, SQL_DATETIME);
  EXPECT_EQ(sub, SQL_CODE_DATE);
}

// An implicit ARD copied to an implicit APD: the application fields go,
// per record everything but NAME, PARAMETER_TYPE and UNNAMED.
TEST_F(DescRecFieldTest, CopyArdToApd) {
  SQLHSTMT other;
  Stmt *o = NewStmt(&other);
  SQLHDESC ard = H(stmt->implicitArd), apd = H(o->implicitApd);
  uint16_t statuses[2];
  SQLLEN offset = 0;
  ASSERT_EQ(SetField(ard, 0, SQL_DESC_ARRAY_STATUS_PTR, reinterpret_cast<intptr_t>(statuses)), SQL_SUCCESS);
  ASSERT_EQ(SetField(ard, 0, SQL_DESC_BIND_OFFSET_PTR, reinterpret_cast<intptr_t>(&offset)), SQL_SUCCESS);
  ASSERT_EQ(SetField(ard, 0, SQL_DESC_BIND_TYPE, 48), SQL_SUCCESS);
  ASSERT_EQ(SQLSetDescRec(ard, 2, SQL_C_CHAR, 0, 20, 0, 0, nullptr, nullptr, nullptr), SQL_SUCCESS);
  ASSERT_EQ(SetField(ard, 2, SQL_DESC_NUM_PREC_RADIX, 10), SQL_SUCCESS);
  ASSERT_EQ(SQLCopyDesc(ard, apd), SQL_SUCCESS) << State(SQL_HANDLE_DESC, apd);
  EXPECT_EQ(GetField(apd, 0, SQL_DESC_ARRAY_STATUS_PTR), reinterpret_cast<SQLLEN>(statuses));
  EXPECT_EQ(GetField(apd, 0, SQL_DESC_BIND_OFFSET_PTR), reinterpret_cast<SQLLEN>(&offset));
  EXPECT_EQ(static_cast<int32_t>(GetField(apd, 0, SQL_DESC_BIND_TYPE)), 48);
  EXPECT_EQ(GetSmall(apd, 0, SQL_DESC_COUNT), 2);
  EXPECT_EQ(GetSmall(apd, 2, SQL_DESC_TYPE), SQL_C_CHAR);
  EXPECT_EQ(GetField(apd, 2, SQL_DESC_OCTET_LENGTH), 20);
  EXPECT_EQ(static_cast<int32_t>(GetField(apd, 2, SQL_DESC_NUM_PREC_RADIX)), 10);
  // Record 1 was never set: it goes over in its initial state.
  EXPECT_EQ(GetSmall(apd, 1, SQL_DESC_TYPE), SQL_C_DEFAULT);
}

// The IRD of a prepared statement into an explicit descriptor: the types
// and sizes go, the names are read but not written.
TEST_F(DescRecFieldTest, CopyIrdToAnExplicitDescriptor) {
  fake::SetColumns({{"ID", SQL_INTEGER, VT_SLONG, 10}, {"NAME", SQL_VARCHAR, VT_STRING, 30}});
  ASSERT_EQ(SQLPrepare(hstmt, st::Text("select id, name from t"), SQL_NTS), SQL_SUCCESS);
  SQLHDESC user = front::NewDesc(dbc);
  ASSERT_EQ(SQLCopyDesc(H(stmt->ird), user), SQL_SUCCESS) << State(SQL_HANDLE_DESC, user);
  Desc *u = front::DescOf(user);
  EXPECT_EQ(u->count, 2);
  EXPECT_EQ(DescGetRec(u, 1)->type, SQL_INTEGER);
  EXPECT_EQ(DescGetRec(u, 2)->type, SQL_VARCHAR);
  EXPECT_EQ(DescGetRec(u, 2)->length, 30);
  EXPECT_EQ(DescGetRec(u, 2)->name, nullptr);
}

// Record 0, the bookmark column, goes along only when both statements use
// bookmarks.
TEST_F(DescRecFieldTest, CopyTheBookmarkRecordBetweenBookmarkStatements) {
  SQLHSTMT other;
  Stmt *o = NewStmt(&other);
  ASSERT_EQ(SQLSetDescField(H(stmt->implicitArd), 0, SQL_DESC_TYPE, st::P(SQL_C_VARBOOKMARK), 0), SQL_SUCCESS)
      << State(SQL_HANDLE_DESC, H(stmt->implicitArd));
  for (bool bookmarks : {false, true}) {
    stmt->cursor.useBookmarks = o->cursor.useBookmarks = bookmarks ? 1 : 0;
    ASSERT_EQ(SQLCopyDesc(H(stmt->implicitArd), H(o->implicitArd)), SQL_SUCCESS)
        << State(SQL_HANDLE_DESC, H(o->implicitArd));
    EXPECT_EQ(DescGetRec(o->implicitArd, 0)->type, bookmarks ? SQL_C_VARBOOKMARK : 0) << bookmarks;
  }
}

// A name longer than the copy's 255-byte buffer ends the copy with the cut
// warning on the target.
TEST_F(DescRecFieldTest, ALongNameEndsTheCopyWithAWarning) {
  SQLHSTMT other;
  Stmt *o = NewStmt(&other);
  const std::string longName(300, 'n');
  ASSERT_EQ(SQLSetDescField(H(stmt->ipd), 1, SQL_DESC_NAME, st::Text(longName.c_str()), SQL_NTS), SQL_SUCCESS)
      << State(SQL_HANDLE_DESC, H(stmt->ipd));
  EXPECT_EQ(SQLCopyDesc(H(stmt->ipd), H(o->ipd)), SQL_SUCCESS_WITH_INFO);
  EXPECT_EQ(o->ipd->pending, E_01004);
  // The fields before the name were written.
  EXPECT_EQ(o->ipd->count, 1);
}

// An explicit descriptor in place of the implicit ARD and APD, and back.
TEST_F(DescRecFieldTest, ApplicationDescriptorsSwap) {
  conn->cn_hasParamOp = 1;
  SQLHDESC user = front::NewDesc(dbc);
  ASSERT_EQ(SQLSetDescField(user, 0, SQL_DESC_ARRAY_SIZE, st::P(5), 0), SQL_SUCCESS);
  for (SQLINTEGER attr : {SQL_ATTR_APP_ROW_DESC, SQL_ATTR_APP_PARAM_DESC}) {
    const bool row = attr == SQL_ATTR_APP_ROW_DESC;
    Desc *implicit = row ? stmt->implicitArd : stmt->implicitApd;
    ASSERT_EQ(SQLSetStmtAttr(hstmt, attr, user, 0), SQL_SUCCESS) << attr << " " << front::DescOf(user)->pending;
    EXPECT_EQ(row ? stmt->ard : stmt->apd, front::DescOf(user));
    SQLULEN h = 0;
    ASSERT_EQ(SQLGetStmtAttr(hstmt, attr, &h, 0, nullptr), SQL_SUCCESS);
    EXPECT_EQ(h, front::DescOf(user)->handle);
    // The descriptor's array size is now the statement's.
    SQLULEN size = 0;
    ASSERT_EQ(SQLGetStmtAttr(hstmt, row ? SQL_ATTR_ROW_ARRAY_SIZE : SQL_ATTR_PARAMSET_SIZE, &size, 0, nullptr),
              SQL_SUCCESS);
    EXPECT_EQ(size, 5u);
    // Back on the implicit descriptor.
    ASSERT_EQ(SQLSetStmtAttr(hstmt, attr, nullptr, 0), SQL_SUCCESS) << attr;
    EXPECT_EQ(row ? stmt->ard : stmt->apd, implicit);
    ASSERT_EQ(SQLGetStmtAttr(hstmt, attr, &h, 0, nullptr), SQL_SUCCESS);
    EXPECT_EQ(h, implicit->handle);
    // The statement's own implicit descriptor may be named explicitly.
    ASSERT_EQ(SQLSetStmtAttr(hstmt, attr, user, 0), SQL_SUCCESS);
    EXPECT_EQ(SQLSetStmtAttr(hstmt, attr, front::AsHandle(implicit->handle), 0), SQL_SUCCESS);
    EXPECT_EQ(row ? stmt->ard : stmt->apd, implicit);
  }
  // Row-wise binding set as an attribute reads back through both paths.
  EXPECT_EQ(SQLSetStmtAttr(hstmt, SQL_ATTR_ROW_BIND_TYPE, st::P(24), 0), SQL_SUCCESS);
  SQLULEN bindType = 0;
  EXPECT_EQ(SQLGetStmtAttr(hstmt, SQL_ATTR_ROW_BIND_TYPE, &bindType, 0, nullptr), SQL_SUCCESS);
  EXPECT_EQ(bindType, 24u);
  EXPECT_EQ(SQLSetStmtAttr(hstmt, SQL_ATTR_ROW_ARRAY_SIZE, st::P(7), 0), SQL_SUCCESS);
  EXPECT_EQ(stmt->cursor.rowsetSize, 7);
  EXPECT_EQ(SQLSetStmtAttr(hstmt, SQL_ATTR_PARAMSET_SIZE, st::P(3), 0), SQL_SUCCESS);
  EXPECT_EQ(stmt->paramsetSize, 3u);
}

}  // namespace
