// SQLDescribeCol, SQLColAttributes and SQLColAttribute over canned columns.
#include <gtest/gtest.h>
#include <sql.h>
#include <sqlext.h>
#include <sqlucode.h>

#include <cstring>
#include <string>

#include "fake.h"
#include "front_support.h"
#include "odbc/colattr.h"
#include "odbc/coldesc.h"
#include "odbc/diag.h"
#include "odbc/valuetype.h"

using namespace front;

namespace {

struct ColDescribe : FrontTest {
  SQLHENV env = SQL_NULL_HENV;
  SQLHDBC dbc = SQL_NULL_HDBC;
  SQLHSTMT stmt = SQL_NULL_HSTMT;
  void SetUp() override {
    FrontTest::SetUp();
    env = NewEnv();
    dbc = NewDbc(env);
    FakeConnect(dbc);
    stmt = NewStmt(dbc);
    fake::SetColumns({
        {"SALARY", SQL_DECIMAL, VT_STRING, 10, 2, SQL_NULLABLE, 2, "EMP", "SCOTT", ""},
        {"HIRED", SQL_TYPE_TIMESTAMP, VT_TIMESTAMP, 19, 0, SQL_NO_NULLS, 12, "EMP"},
        {"NOTE", SQL_WVARCHAR, VT_WSTRING, 20, 0, SQL_NULLABLE, 1, "EMP"},
        {"FLAG", SQL_TINYINT, VT_UTINYINT, 3, 0, SQL_NULLABLE, 2},
    });
  }
  // A result to describe: any catalog call opens one on the fake.
  void Open() {
    ASSERT_EQ(SQLTables(stmt, nullptr, 0, nullptr, 0, nullptr, 0, nullptr, 0), SQL_SUCCESS);
  }
  std::string State() {
    char s[6] = {0};
    DiagRecRead(StmtOf(stmt), 1, s, nullptr, nullptr, 0, nullptr);
    return s;
  }
  SQLLEN Num(SQLUSMALLINT col, SQLUSMALLINT field, bool odbc2 = false) {
    SQLLEN v = -12345;
    SQLRETURN rc = odbc2 ? SQLColAttributes(stmt, col, field, nullptr, 0, nullptr, &v)
                         : SQLColAttribute(stmt, col, field, nullptr, 0, nullptr, &v);
    EXPECT_EQ(rc, SQL_SUCCESS) << "column " << col << " field " << field << ": " << State();
    return v;
  }
  std::string Text(SQLUSMALLINT col, SQLUSMALLINT field) {
    char buf[64] = "untouched";
    SQLSMALLINT len = -1;
    EXPECT_EQ(SQLColAttribute(stmt, col, field, buf, sizeof buf, &len, nullptr), SQL_SUCCESS) << State();
    EXPECT_EQ(len, static_cast<SQLSMALLINT>(strlen(buf)));
    return buf;
  }
};

TEST_F(ColDescribe, DescribeCol) {
  Open();
  char name[32];
  SQLSMALLINT len = 0, type = 0, digits = 0, nullable = 0;
  SQLULEN size = 0;
  ASSERT_EQ(SQLDescribeCol(stmt, 1, reinterpret_cast<SQLCHAR *>(name), sizeof name, &len, &type, &size, &digits,
                           &nullable),
            SQL_SUCCESS);
  EXPECT_STREQ(name, "SALARY");
  EXPECT_EQ(len, 6);
  EXPECT_EQ(type, SQL_DECIMAL);
  EXPECT_EQ(size, 10u);
  EXPECT_EQ(digits, 2);
  EXPECT_EQ(nullable, SQL_NULLABLE);
  // Only what is asked for is written.
  ASSERT_EQ(SQLDescribeCol(stmt, 2, nullptr, 0, nullptr, &type, nullptr, nullptr, &nullable), SQL_SUCCESS);
  EXPECT_EQ(type, SQL_TYPE_TIMESTAMP);
  EXPECT_EQ(nullable, SQL_NO_NULLS);

  // A 4-byte buffer: cut with 01004, the full length out.
  ASSERT_EQ(SQLDescribeCol(stmt, 1, reinterpret_cast<SQLCHAR *>(name), 4, &len, nullptr, nullptr, nullptr, nullptr),
            SQL_SUCCESS_WITH_INFO);
  EXPECT_STREQ(name, "SAL");
  EXPECT_EQ(len, 6);
  EXPECT_EQ(State(), "01004");
  SQLWCHAR wide[8];
  ASSERT_EQ(SQLDescribeColW(stmt, 1, wide, 4, &len, nullptr, nullptr, nullptr, nullptr), SQL_SUCCESS_WITH_INFO);
  EXPECT_EQ(std::u16string(reinterpret_cast<char16_t *>(wide)), u"SAL");
  EXPECT_EQ(len, 6);
  EXPECT_EQ(State(), "01004");

  EXPECT_EQ(SQLDescribeCol(stmt, 5, reinterpret_cast<SQLCHAR *>(name), sizeof name, &len, nullptr, nullptr, nullptr,
                           nullptr),
            SQL_ERROR);
  EXPECT_EQ(State(), "07009");
  EXPECT_EQ(SQLDescribeCol(stmt, 0, reinterpret_cast<SQLCHAR *>(name), sizeof name, &len, nullptr, nullptr, nullptr,
                           nullptr),
            SQL_ERROR);
  EXPECT_EQ(State(), "07009") << "column 0 without bookmarks";
  EXPECT_EQ(SQLDescribeCol(stmt, 1, reinterpret_cast<SQLCHAR *>(name), -1, &len, nullptr, nullptr, nullptr, nullptr),
            SQL_ERROR);
  EXPECT_EQ(State(), "HY090");
}

TEST_F(ColDescribe, NothingToDescribeBeforeAResult) {
  char name[32];
  SQLSMALLINT len = 0;
  SQLLEN v = 0;
  EXPECT_EQ(SQLDescribeCol(stmt, 1, reinterpret_cast<SQLCHAR *>(name), sizeof name, &len, nullptr, nullptr, nullptr,
                           nullptr),
            SQL_ERROR);
  EXPECT_EQ(State(), "HY010");
  EXPECT_EQ(SQLColAttribute(stmt, 1, SQL_DESC_TYPE_NAME, name, sizeof name, &len, &v), SQL_ERROR);
  EXPECT_EQ(State(), "HY010");
  EXPECT_EQ(SQLColAttributes(stmt, 1, SQL_COLUMN_LENGTH, nullptr, 0, nullptr, &v), SQL_ERROR);
  EXPECT_EQ(State(), "HY010");
}

TEST_F(ColDescribe, LengthsBySqlType) {
  Open();
  EXPECT_EQ(Num(1, SQL_COLUMN_LENGTH, true), 12) << "NUMBER(10,2): size + 2";
  EXPECT_EQ(Num(2, SQL_COLUMN_LENGTH, true), 16) << "DATE as TIMESTAMP";
  EXPECT_EQ(Num(3, SQL_COLUMN_LENGTH, true), 40) << "NVARCHAR2(20): 2 x size";
  EXPECT_EQ(Num(4, SQL_COLUMN_LENGTH), 1);
  EXPECT_EQ(Num(3, SQL_DESC_OCTET_LENGTH), 40);
  const struct {
    int32_t type;
    uint32_t size;
    int64_t length;
  } table[] = {
      {SQL_CHAR, 7, 7},        {SQL_LONGVARBINARY, 100, 100}, {SQL_INTEGER, 10, 4},  {SQL_REAL, 7, 4},
      {SQL_SMALLINT, 5, 2},    {SQL_DOUBLE, 15, 8},           {SQL_TYPE_DATE, 10, 6}, {SQL_TIME, 8, 6},
      {SQL_GUID, 36, 16},      {SQL_INTERVAL_DAY, 2, 28},     {SQL_BIT, 1, 1},       {SQL_BIGINT, 19, 20},
      {SQL_WLONGVARCHAR, 0x7FFFFFFF, 2LL * 0x7FFFFFFF},       {-150, 5, SQL_NO_TOTAL},
  };
  for (const auto &t : table) EXPECT_EQ(ColumnTransferLength(t.type, t.size), t.length) << t.type;
}

TEST_F(ColDescribe, OdbcTwoAndThreeFields) {
  Open();
  EXPECT_EQ(Num(0, SQL_DESC_COUNT), 4);
  EXPECT_EQ(Num(0, SQL_COLUMN_COUNT, true), 4);
  EXPECT_EQ(Text(1, SQL_DESC_NAME), "SALARY");
  EXPECT_EQ(Text(1, SQL_DESC_LABEL), "SALARY");
  EXPECT_EQ(Num(1, SQL_DESC_CONCISE_TYPE), SQL_DECIMAL);
  EXPECT_EQ(Num(1, SQL_COLUMN_PRECISION, true), 10);
  EXPECT_EQ(Num(1, SQL_COLUMN_SCALE, true), 2);
  EXPECT_EQ(Num(2, SQL_DESC_NULLABLE), SQL_NO_NULLS);
  EXPECT_EQ(Num(4, SQL_DESC_UNSIGNED), SQL_TRUE);
  EXPECT_EQ(Num(1, SQL_DESC_UNSIGNED), SQL_FALSE);
  EXPECT_EQ(Num(3, SQL_DESC_SEARCHABLE), SQL_SEARCHABLE);
  EXPECT_EQ(Num(1, SQL_DESC_SEARCHABLE), SQL_ALL_EXCEPT_LIKE);
  EXPECT_EQ(Text(1, SQL_DESC_TABLE_NAME), "EMP");
  EXPECT_EQ(Text(1, SQL_DESC_SCHEMA_NAME), "SCOTT");
  EXPECT_EQ(Text(4, SQL_DESC_TABLE_NAME), "");
  EXPECT_EQ(Text(1, SQL_DESC_CATALOG_NAME), "");
  // IRD fields.
  EXPECT_EQ(Num(2, SQL_DESC_TYPE), SQL_DATETIME);
  EXPECT_EQ(Num(1, SQL_DESC_TYPE), SQL_DECIMAL);
  EXPECT_EQ(Num(1, SQL_DESC_PRECISION), 10);
  EXPECT_EQ(Num(1, SQL_DESC_SCALE), 2);
  EXPECT_EQ(Num(1, SQL_DESC_UNNAMED), SQL_NAMED);
  EXPECT_EQ(Num(1, SQL_DESC_NUM_PREC_RADIX), 10);
  EXPECT_EQ(Text(1, SQL_DESC_BASE_COLUMN_NAME), "SALARY");
  EXPECT_EQ(Text(1, SQL_DESC_BASE_TABLE_NAME), "EMP");
  for (SQLUSMALLINT field : {SQL_DESC_TYPE_NAME, SQL_DESC_LOCAL_TYPE_NAME, SQL_DESC_LITERAL_PREFIX,
                             SQL_DESC_LITERAL_SUFFIX})
    Text(3, field);  // answered by the IRD, successfully

  // What the column descriptions give while the IRD cannot answer.
  Stmt *st = StmtOf(stmt);
  auto Ird = [&](uint16_t col, int16_t field) {
    char buf[32] = "untouched";
    int64_t len = -1;
    EXPECT_EQ(ColDescIrdField(st, col, field, buf, sizeof buf, &len, 'A'), SQL_SUCCESS) << field;
    EXPECT_EQ(len, static_cast<int64_t>(strlen(buf)));
    return std::string(buf);
  };
  EXPECT_EQ(Ird(1, SQL_DESC_TYPE_NAME), "NUMBER");
  EXPECT_EQ(Ird(3, SQL_DESC_LOCAL_TYPE_NAME), "NVARCHAR2");
  EXPECT_EQ(Ird(3, SQL_DESC_LITERAL_PREFIX), "'");
  EXPECT_EQ(Ird(1, SQL_DESC_LITERAL_SUFFIX), "");
  EXPECT_EQ(Ird(1, SQL_DESC_BASE_COLUMN_NAME), "SALARY");
  int16_t small = 0;
  int64_t len = 0;
  EXPECT_EQ(ColDescIrdField(st, 2, SQL_DESC_TYPE, &small, 2, &len, 'A'), SQL_SUCCESS);
  EXPECT_EQ(small, SQL_DATETIME);
  EXPECT_EQ(len, 2);
  int32_t wide = 0;
  EXPECT_EQ(ColDescIrdField(st, 3, SQL_DESC_OCTET_LENGTH, &wide, 4, &len, 'A'), SQL_SUCCESS);
  EXPECT_EQ(wide, 40);
  EXPECT_EQ(ColDescIrdField(st, 9, SQL_DESC_TYPE, &small, 2, &len, 'A'), SQL_ERROR);

  // Updatability from the description's flags.
  Stmt *s = StmtOf(stmt);
  ASSERT_NE(s->resultDescs, nullptr);
  s->resultDescs[0].flags |= 1u << kColDescUpdatableShift;  // a ROWID: read-only
  EXPECT_EQ(Num(1, SQL_DESC_UPDATABLE), SQL_ATTR_READONLY);
  EXPECT_EQ(Num(2, SQL_DESC_UPDATABLE), SQL_ATTR_READWRITE_UNKNOWN);
  EXPECT_EQ(Num(1, SQL_COLUMN_MONEY, true), 0);
  EXPECT_EQ(Num(1, 500, true), 0) << "other ODBC 2 fields answer 0";

  // The agent's extended attributes come first where it gave them.
  EXPECT_EQ(Num(1, SQL_DESC_AUTO_UNIQUE_VALUE), 0);
  ColAttr attrs[] = {{0, SQL_DESC_AUTO_UNIQUE_VALUE, COLATTR_INT, {}}, {2, SQL_DESC_CASE_SENSITIVE, COLATTR_INT, {}},
                     {1, SQL_DESC_TYPE_NAME, COLATTR_TEXT, {}}};
  attrs[0].value.integer = 1;
  attrs[1].value.integer = 1;
  attrs[2].value.text = strdup("NUMBER(10,2)");
  // The set takes the texts over; the array here is the test's own.
  ASSERT_EQ(ColAttrSetBuild(attrs, 3, &s->colAttrs), 0);
  EXPECT_EQ(Num(1, SQL_DESC_AUTO_UNIQUE_VALUE), 0) << "only with the agent's capability";
  s->conn->cn_describe2 = 1;
  EXPECT_EQ(Num(1, SQL_DESC_AUTO_UNIQUE_VALUE), 1);
  EXPECT_EQ(Num(2, SQL_DESC_CASE_SENSITIVE), 1);
  EXPECT_EQ(Num(1, SQL_DESC_CASE_SENSITIVE), 0);
  EXPECT_EQ(Text(1, SQL_DESC_TYPE_NAME), "NUMBER(10,2)");
}

TEST_F(ColDescribe, StringsCutAndCountedByMode) {
  Open();
  char buf[8];
  SQLSMALLINT len = 0;
  ASSERT_EQ(SQLColAttribute(stmt, 1, SQL_DESC_NAME, buf, 4, &len, nullptr), SQL_SUCCESS_WITH_INFO);
  EXPECT_STREQ(buf, "SAL");
  EXPECT_EQ(len, 6);
  EXPECT_EQ(State(), "01004");
  SQLWCHAR wide[16];
  ASSERT_EQ(SQLColAttributeW(stmt, 1, SQL_DESC_TABLE_NAME, wide, sizeof wide, &len, nullptr), SQL_SUCCESS);
  EXPECT_EQ(std::u16string(reinterpret_cast<char16_t *>(wide)), u"EMP");
  EXPECT_EQ(len, 6) << "W lengths count bytes";
  ASSERT_EQ(SQLColAttributesW(stmt, 1, SQL_COLUMN_NAME, wide, 6, &len, nullptr), SQL_SUCCESS_WITH_INFO);
  EXPECT_EQ(std::u16string(reinterpret_cast<char16_t *>(wide)), u"SA");
  EXPECT_EQ(len, 12);
  ASSERT_EQ(SQLColAttributeW(stmt, 3, SQL_DESC_BASE_COLUMN_NAME, wide, sizeof wide, &len, nullptr), SQL_SUCCESS);
  EXPECT_EQ(std::u16string(reinterpret_cast<char16_t *>(wide)), u"NOTE");
  EXPECT_EQ(len, 8);
  EXPECT_EQ(SQLColAttribute(stmt, 1, SQL_DESC_NAME, buf, -1, &len, nullptr), SQL_ERROR);
  EXPECT_EQ(State(), "HY090");
}

TEST_F(ColDescribe, UnknownFieldsAndColumns) {
  Open();
  SQLLEN v = 0;
  EXPECT_EQ(SQLColAttribute(stmt, 1, 100, nullptr, 0, nullptr, &v), SQL_ERROR);
  EXPECT_EQ(State(), "HY091");
  EXPECT_EQ(SQLColAttribute(stmt, 9, SQL_DESC_CONCISE_TYPE, nullptr, 0, nullptr, &v), SQL_ERROR);
  EXPECT_EQ(State(), "07009");
  EXPECT_EQ(SQLColAttribute(stmt, 9, SQL_DESC_OCTET_LENGTH, nullptr, 0, nullptr, &v), SQL_ERROR);
  EXPECT_EQ(State(), "07009");
}

TEST_F(ColDescribe, BookmarkColumn) {
  Open();
  StmtOf(stmt)->cursor.useBookmarks = SQL_UB_ON;
  char name[16];
  SQLSMALLINT len = 0, type = 0, digits = -1, nullable = -1;
  SQLULEN size = 0;
  ASSERT_EQ(SQLDescribeCol(stmt, 0, reinterpret_cast<SQLCHAR *>(name), sizeof name, &len, &type, &size, &digits,
                           &nullable),
            SQL_SUCCESS);
  EXPECT_STREQ(name, "BOOKMARK");
  EXPECT_EQ(type, SQL_CHAR);
  EXPECT_EQ(size, 8u);
  EXPECT_EQ(digits, 0);
  EXPECT_EQ(nullable, SQL_NO_NULLS);
  EXPECT_EQ(Num(0, SQL_DESC_TYPE), 1);
  EXPECT_EQ(Num(0, SQL_DESC_OCTET_LENGTH), 8);
  EXPECT_EQ(Num(0, SQL_DESC_DISPLAY_SIZE), 0);
  EXPECT_EQ(Text(0, SQL_DESC_NAME), "");
  SQLWCHAR wide[4] = {'x', 'x', 'x', 0};
  ASSERT_EQ(SQLColAttributeW(stmt, 0, SQL_DESC_LABEL, wide, sizeof wide, &len, nullptr), SQL_SUCCESS);
  EXPECT_EQ(wide[0], 0);
  EXPECT_EQ(len, 0);
  SQLLEN v = 0;
  for (SQLUSMALLINT field : {SQLUSMALLINT(SQL_COLUMN_LENGTH), SQLUSMALLINT(0), SQLUSMALLINT(1), SQLUSMALLINT(7)}) {
    EXPECT_EQ(SQLColAttribute(stmt, 0, field, nullptr, 0, nullptr, &v), SQL_ERROR) << field;
    EXPECT_EQ(State(), "HY091");
  }
  // The ODBC 2 function describes it too; columns go on as before.
  EXPECT_EQ(Num(0, SQL_COLUMN_LENGTH, true), 8);
  EXPECT_EQ(Num(1, SQL_COLUMN_LENGTH, true), 12);
}

}  // namespace
