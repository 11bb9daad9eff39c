// The IRD as a view of the result descriptions and extended column
// attributes, and the IPD as a view of the parameter descriptions.
#include <cstring>
#include <vector>

#include "desc_fixture.h"
#include "odbc/colattr.h"
#include "odbc/stmt.h"

namespace dt {
namespace {

struct IrdTest : DescTest {
  void SetUp() override {
    DescTest::SetUp();
    fake::SetColumns({
        {"ID", SQL_INTEGER, VT_SLONG, 10, 0, SQL_NO_NULLS, 2, "EMP", "SCOTT", ""},
        {"SALARY", SQL_DECIMAL, VT_STRING, 10, 2, SQL_NULLABLE, 2, "EMP", "SCOTT"},
        {"HIRED", SQL_TYPE_TIMESTAMP, VT_TIMESTAMP, 26, 6, SQL_NULLABLE, 180, "EMP"},
        {"NOTE", SQL_WVARCHAR, VT_WSTRING, 10, 0, SQL_NULLABLE, 1, "EMP"},
        {"", SQL_VARCHAR, VT_STRING, 5, 0, SQL_NULLABLE, 1},
    });
  }
  // A result open on the statement, described, with the description
  // details the fake does not give.
  void Open() {
    stmt->state = STMT_PREPARED;
    stmt->flags |= STMTF_PREPARED | STMTF_RESULT_OPEN;
    ColDesc *d = StmtDescribe(stmt);
    ASSERT_NE(d, nullptr);
    for (int i = 0; i < 5; ++i) d[i].displaySize = 99;
    d[0].flags |= 2u << kColDescUpdatableShift;  // writable
    d[2].flags |= 1u << kColDescUpdatableShift;  // read-only
    free(d[1].fullName);
    d[1].fullName = strdup("EMP.SALARY");
  }
  void Attrs(std::vector<ColAttr> list) {
    for (ColAttr &a : list)
      if (a.kind == COLATTR_TEXT && a.value.text) a.value.text = strdup(a.value.text);
    // The set takes the texts over.
    ASSERT_EQ(ColAttrSetBuild(list.data(), static_cast<int32_t>(list.size()), &stmt->colAttrs), 0);
  }
};

struct IrdCase {
  SQLSMALLINT field;
  int64_t expect[5];
};

const IrdCase kIrdInts[] = {
    {SQL_DESC_CONCISE_TYPE, {SQL_INTEGER, SQL_DECIMAL, SQL_TYPE_TIMESTAMP, SQL_WVARCHAR, SQL_VARCHAR}},
    {SQL_DESC_TYPE, {SQL_INTEGER, SQL_DECIMAL, SQL_DATETIME, SQL_WVARCHAR, SQL_VARCHAR}},
    // The column size, not the display size.
    {SQL_DESC_DISPLAY_SIZE, {10, 10, 26, 10, 5}},
    {SQL_DESC_UNSIGNED, {1, 1, 1, 1, 1}},
    {SQL_DESC_FIXED_PREC_SCALE, {0, 1, 0, 0, 0}},
    {SQL_DESC_UPDATABLE, {SQL_ATTR_WRITE, SQL_ATTR_READWRITE_UNKNOWN, SQL_ATTR_READONLY, 2, 2}},
    {SQL_DESC_AUTO_UNIQUE_VALUE, {0, 0, 0, 0, 0}},
    {SQL_DESC_CASE_SENSITIVE, {0, 0, 0, 1, 1}},
    {SQL_DESC_SEARCHABLE, {SQL_PRED_BASIC, SQL_PRED_BASIC, SQL_PRED_BASIC, SQL_PRED_SEARCHABLE, SQL_PRED_SEARCHABLE}},
    {SQL_DESC_DATETIME_INTERVAL_PRECISION, {0, 0, 0, 0, 0}},
    {SQL_DESC_NUM_PREC_RADIX, {10, 10, 0, 0, 0}},
    {SQL_DESC_ROWVER, {0, 0, 0, 0, 0}},
    {1053, {0, 0, 0, 0, 0}},
    {SQL_DESC_LENGTH, {10, 10, 26, 10, 5}},
    {SQL_DESC_PRECISION, {10, 10, 6, 0, 0}},
    {SQL_DESC_SCALE, {0, 2, 0, 0, 0}},
    {SQL_DESC_DATETIME_INTERVAL_CODE, {0, 0, SQL_CODE_TIMESTAMP, 0, 0}},
    {SQL_DESC_NULLABLE, {SQL_NO_NULLS, SQL_NULLABLE, SQL_NULLABLE, SQL_NULLABLE, SQL_NULLABLE}},
    {SQL_DESC_UNNAMED, {SQL_NAMED, SQL_NAMED, SQL_NAMED, SQL_NAMED, SQL_UNNAMED}},
    // DECIMAL: size and sign and point; NVARCHAR: two bytes a character.
    {SQL_DESC_OCTET_LENGTH, {4, 12, 16, 20, 5}},
};

struct IrdTextCase {
  SQLSMALLINT field;
  const char *expect[5];
};

const IrdTextCase kIrdTexts[] = {
    {SQL_DESC_NAME, {"ID", "SALARY", "HIRED", "NOTE", ""}},
    {SQL_DESC_LABEL, {"ID", "EMP.SALARY", "HIRED", "NOTE", ""}},
    {SQL_DESC_BASE_COLUMN_NAME, {"ID", "EMP.SALARY", "HIRED", "NOTE", ""}},
    {SQL_DESC_TABLE_NAME, {"EMP", "EMP", "EMP", "EMP", ""}},
    {SQL_DESC_BASE_TABLE_NAME, {"EMP", "EMP", "EMP", "EMP", ""}},
    {SQL_DESC_SCHEMA_NAME, {"SCOTT", "SCOTT", "", "", ""}},
    {SQL_DESC_CATALOG_NAME, {"", "", "", "", ""}},
    {SQL_DESC_LOCAL_TYPE_NAME, {"", "", "", "", ""}},
};

TEST_F(IrdTest, EveryFieldOfEveryColumnFromItsDescription) {
  Open();
  EXPECT_EQ(Value(Ird(), 0, SQL_DESC_COUNT), 5);
  for (const IrdCase &c : kIrdInts)
    for (SQLSMALLINT col = 1; col <= 5; ++col) {
      int64_t v = -1;
      EXPECT_EQ(Get(Ird(), col, c.field, &v), SQL_SUCCESS) << c.field;
      EXPECT_EQ(v, c.expect[col - 1]) << "field " << c.field << " column " << col;
    }
  for (const IrdTextCase &c : kIrdTexts)
    for (SQLSMALLINT col = 1; col <= 5; ++col)
      EXPECT_EQ(Text(Ird(), col, c.field), c.expect[col - 1]) << "field " << c.field << " column " << col;
  int64_t v = 0;
  EXPECT_EQ(Get(Ird(), 6, SQL_DESC_NAME, &v), SQL_NO_DATA);
  EXPECT_EQ(Code(Ird()), 0);
}

TEST_F(IrdTest, ExtendedAttributesComeFirst) {
  Open();
  ColAttr a[] = {
      {0, SQL_DESC_AUTO_UNIQUE_VALUE, COLATTR_INT, {}},  {1, SQL_DESC_AUTO_UNIQUE_VALUE, COLATTR_INT, {}},
      {2, SQL_DESC_UPDATABLE, COLATTR_INT, {}},          {2, SQL_DESC_CASE_SENSITIVE, COLATTR_INT, {}},
      {2, SQL_DESC_SEARCHABLE, COLATTR_INT, {}},         {1, SQL_DESC_ROWVER, COLATTR_INT, {}},
      {1, 1053, COLATTR_INT, {}},                         {5, 1055, COLATTR_INT, {}},
      {2, SQL_DESC_TYPE_NAME, COLATTR_TEXT, {}},         {2, SQL_DESC_LITERAL_PREFIX, COLATTR_TEXT, {}},
      {2, SQL_DESC_LITERAL_SUFFIX, COLATTR_TEXT, {}},
  };
  a[0].value.integer = 0;
  a[1].value.integer = 1;
  a[2].value.integer = SQL_ATTR_READONLY;
  a[3].value.integer = 1;
  a[4].value.integer = SQL_PRED_CHAR;
  a[5].value.integer = 1;
  a[6].value.integer = 1;
  a[7].value.integer = 1;
  a[8].value.text = const_cast<char *>("NUMBER");
  a[9].value.text = const_cast<char *>("<");
  a[10].value.text = const_cast<char *>(">");
  Attrs({std::begin(a), std::end(a)});
  EXPECT_EQ(Value(Ird(), 1, SQL_DESC_AUTO_UNIQUE_VALUE), 1);
  EXPECT_EQ(Value(Ird(), 3, SQL_DESC_AUTO_UNIQUE_VALUE), 0);  // the all-columns entry
  EXPECT_EQ(Value(Ird(), 2, SQL_DESC_UPDATABLE), SQL_ATTR_READONLY);
  EXPECT_EQ(Value(Ird(), 2, SQL_DESC_CASE_SENSITIVE), 1);
  EXPECT_EQ(Value(Ird(), 2, SQL_DESC_SEARCHABLE), SQL_PRED_CHAR);
  EXPECT_EQ(Value(Ird(), 1, SQL_DESC_ROWVER), 1);
  EXPECT_EQ(Value(Ird(), 1, 1053), 1);
  EXPECT_EQ(Text(Ird(), 2, SQL_DESC_TYPE_NAME), "NUMBER");
  EXPECT_EQ(Text(Ird(), 2, SQL_DESC_LITERAL_PREFIX), "<");
  EXPECT_EQ(Text(Ird(), 2, SQL_DESC_LITERAL_SUFFIX), ">");
  // An expression of a scrollable cursor has no base column.
  free(stmt->resultDescs[4].fullName);
  stmt->resultDescs[4].fullName = strdup("SAL*2");
  EXPECT_EQ(Text(Ird(), 5, SQL_DESC_BASE_COLUMN_NAME), "");
  EXPECT_EQ(Text(Ird(), 5, SQL_DESC_LABEL), "SAL*2");
}

TEST_F(IrdTest, TheBookmarkRecord) {
  Open();
  struct {
    SQLSMALLINT field;
    int64_t expect;
  } const ints[] = {
      {SQL_DESC_CONCISE_TYPE, SQL_CHAR}, {SQL_DESC_TYPE, SQL_CHAR},   {SQL_DESC_DISPLAY_SIZE, 8},
      {SQL_DESC_LENGTH, 8},              {SQL_DESC_OCTET_LENGTH, 8},  {SQL_DESC_UNSIGNED, 1},
      {SQL_DESC_CASE_SENSITIVE, 1},      {SQL_DESC_NULLABLE, 0},      {SQL_DESC_SEARCHABLE, 0},
      {SQL_DESC_PRECISION, 0},           {SQL_DESC_NUM_PREC_RADIX, 0}, {SQL_DESC_UNNAMED, 0},
  };
  for (const auto &c : ints) EXPECT_EQ(Value(Ird(), 0, c.field), c.expect) << c.field;
  EXPECT_EQ(Text(Ird(), 0, SQL_DESC_NAME), "BOOKMARK");
  EXPECT_EQ(Text(Ird(), 0, SQL_DESC_LABEL), "BOOKMARK");
  EXPECT_EQ(Text(Ird(), 0, SQL_DESC_LITERAL_PREFIX), "");
  // The table names need the bookmark column itself.
  SQLRETURN rc = SQL_SUCCESS;
  Text(Ird(), 0, SQL_DESC_TABLE_NAME, &rc);
  EXPECT_EQ(rc, SQL_ERROR);
  EXPECT_EQ(Code(Ird()), E_07009);
  EXPECT_EQ(stmt->pending, 0);  // the statement is left as it was
  stmt->cursor.useBookmarks = 1;
  EXPECT_EQ(Text(Ird(), 0, SQL_DESC_TABLE_NAME), "");
  EXPECT_EQ(Text(Ird(), 0, SQL_DESC_SCHEMA_NAME), "");
}

TEST_F(IrdTest, BeforeAResultTheStatementsSequenceError) {
  int64_t v = 0;
  EXPECT_EQ(Get(Ird(), 0, SQL_DESC_COUNT, &v), SQL_ERROR);
  EXPECT_EQ(Code(Ird()), E_S1010);
  EXPECT_EQ(Get(Ird(), 1, SQL_DESC_NAME, &v), SQL_ERROR);
  EXPECT_EQ(Code(Ird()), E_S1010);
  EXPECT_EQ(stmt->pending, 0);
}

TEST_F(IrdTest, FieldsAnIrdDoesNotHave) {
  Open();
  for (SQLSMALLINT f : {SQL_DESC_OCTET_LENGTH_PTR, SQL_DESC_INDICATOR_PTR, SQL_DESC_DATA_PTR, SQL_DESC_PARAMETER_TYPE,
                        SQL_DESC_ARRAY_SIZE, SQL_DESC_BIND_TYPE}) {
    int64_t v = 0;
    EXPECT_EQ(Get(Ird(), 1, f, &v), SQL_ERROR) << f;
    EXPECT_EQ(Code(Ird()), E_S1091) << f;
  }
  for (SQLSMALLINT f : {3, 4, 1014, 1052}) {
    int64_t v = 0;
    EXPECT_EQ(Get(Ird(), 1, f, &v), SQL_ERROR) << f;
    EXPECT_EQ(Code(Ird()), E_IM001) << f;
  }
  // IRD-only fields elsewhere.
  for (SQLHDESC d : {Ard(), Apd(), Ipd()}) {
    ASSERT_EQ(Set(d, 0, SQL_DESC_COUNT, 1), SQL_SUCCESS);
    for (SQLSMALLINT f : {SQL_DESC_DISPLAY_SIZE, SQL_DESC_LABEL, SQL_DESC_TABLE_NAME, SQL_DESC_UPDATABLE}) {
      int64_t v = 0;
      EXPECT_EQ(Get(d, 1, f, &v), SQL_ERROR) << f;
      EXPECT_EQ(Code(d), E_S1091) << f;
    }
  }
}

TEST_F(IrdTest, HiddenParameterColumnsAreNotCounted) {
  fake::SetColumns({{"A", SQL_INTEGER, VT_SLONG, 10}, {"*O", SQL_INTEGER, VT_SLONG, 10}});
  stmt->state = STMT_PREPARED;
  EXPECT_EQ(Value(Ird(), 0, SQL_DESC_COUNT), 1);
  int64_t v = 0;
  EXPECT_EQ(Get(Ird(), 2, SQL_DESC_NAME, &v), SQL_NO_DATA);
}

TEST_F(IrdTest, WideNamesAreCutInCharacters) {
  fake::SetColumns({{"ABCDE", SQL_INTEGER, VT_SLONG, 10}, {"ABCD", SQL_INTEGER, VT_SLONG, 10}});
  stmt->state = STMT_PREPARED;
  SQLWCHAR w[8] = {};
  SQLINTEGER len = 0;
  EXPECT_EQ(SQLGetDescFieldW(Ird(), 1, SQL_DESC_NAME, w, 10, &len), SQL_SUCCESS_WITH_INFO);
  EXPECT_EQ(len, 10);
  EXPECT_EQ(Code(Ird()), E_01004);
  EXPECT_EQ(w[3], 'D');
  EXPECT_EQ(w[4], 0);
  EXPECT_EQ(SQLGetDescFieldW(Ird(), 2, SQL_DESC_NAME, w, 10, &len), SQL_SUCCESS);
  EXPECT_EQ(len, 8);
}

TEST_F(IrdTest, TheIpdFromTheParameterDescriptions) {
  fake::SetParamDescs({{"P1", SQL_NUMERIC, VT_STRING, 12, 3}, {"P2", SQL_WCHAR, VT_WSTRING, 7}});
  stmt->state = STMT_PREPARED;
  stmt->flags |= STMTF_PREPARED;
  stmt->paramCount = 2;
  ASSERT_EQ(Set(Ipd(), 0, SQL_DESC_COUNT, 2), SQL_SUCCESS);
  struct {
    SQLSMALLINT field;
    int64_t p1, p2;
  } const cases[] = {
      {SQL_DESC_CONCISE_TYPE, SQL_NUMERIC, SQL_WCHAR}, {SQL_DESC_TYPE, SQL_NUMERIC, SQL_WCHAR},
      {SQL_DESC_LENGTH, 12, 7},                        {SQL_DESC_PRECISION, 12, 0},
      {SQL_DESC_SCALE, 3, 0},                          {SQL_DESC_OCTET_LENGTH, 14, 14},
      {SQL_DESC_NUM_PREC_RADIX, 10, 0},                {SQL_DESC_FIXED_PREC_SCALE, 1, 0},
      {SQL_DESC_UNSIGNED, 1, 1},                       {SQL_DESC_NULLABLE, SQL_NULLABLE, SQL_NULLABLE},
      {SQL_DESC_CASE_SENSITIVE, 1, 1},                 {SQL_DESC_DATETIME_INTERVAL_CODE, 0, 0},
      {SQL_DESC_PARAMETER_TYPE, SQL_PARAM_INPUT, SQL_PARAM_INPUT},
  };
  for (const auto &c : cases) {
    EXPECT_EQ(Value(Ipd(), 1, c.field), c.p1) << c.field;
    EXPECT_EQ(Value(Ipd(), 2, c.field), c.p2) << c.field;
  }
  EXPECT_EQ(Text(Ipd(), 1, SQL_DESC_LOCAL_TYPE_NAME), "");
  EXPECT_EQ(fake::CallCount(SLOT_DRV_DescribeParams), 1);
}

}  // namespace
}  // namespace dt
