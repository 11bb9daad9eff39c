// SQLBindParameter, SQLSetParam and SQLDescribeParam.
#include <cstring>

#include "odbc/data/services.h"
#include "odbc/desc.h"
#include "odbc/stmt.h"
#include "param_fixture.h"

namespace pt {
namespace {

using BindTest = ParamTest;

struct Odbc2BindTest : ParamTest {
  SQLINTEGER Version() const override { return SQL_OV_ODBC2; }
};

TEST_F(BindTest, OutputParameterNeedsNoBuffers_InputDoes) {
  EXPECT_EQ(SQLBindParameter(hstmt, 1, SQL_PARAM_OUTPUT, SQL_C_LONG, SQL_INTEGER, 0, 0, nullptr, 0, nullptr),
            SQL_SUCCESS);
  EXPECT_EQ(SQLBindParameter(hstmt, 2, SQL_PARAM_INPUT, SQL_C_LONG, SQL_INTEGER, 0, 0, nullptr, 0, nullptr),
            SQL_ERROR);
  EXPECT_EQ(State(), "HY009");
  EXPECT_EQ(StmtParamEntry(stmt, 2) ? StmtParamEntry(stmt, 2)->number : 0, 0);
}

TEST_F(BindTest, FixedSizesAndRefusedCTypes) {
  struct Case {
    SQLSMALLINT cType;
    int64_t size;  // 0: refused with 07006
  } cases[] = {
      {SQL_C_CHAR, -3},      {SQL_C_WCHAR, -3},     {SQL_C_BINARY, -3},         {SQL_C_NUMERIC, 19},
      {SQL_C_LONG, 4},       {SQL_C_SLONG, 4},      {SQL_C_ULONG, 4},           {SQL_C_SHORT, 2},
      {SQL_C_USHORT, 2},     {SQL_C_FLOAT, 4},      {SQL_C_DOUBLE, 8},          {SQL_C_SBIGINT, 8},
      {SQL_C_UBIGINT, 8},    {SQL_C_DATE, 6},       {SQL_C_TYPE_TIME, 6},       {SQL_C_TIMESTAMP, 16},
      {SQL_C_GUID, 16},      {SQL_C_BIT, 1},        {SQL_C_TINYINT, 1},         {SQL_C_UTINYINT, 1},
      {SQL_C_INTERVAL_DAY, 0}, {1234, 0},
  };
  char buf[64] = {};
  SQLLEN ind = 0;
  for (const Case &c : cases) {
    SCOPED_TRACE(c.cType);
    SQLRETURN rc = SQLBindParameter(hstmt, 1, SQL_PARAM_INPUT, c.cType, SQL_VARCHAR, 10, 0, buf, sizeof buf, &ind);
    if (c.size == 0) {
      EXPECT_EQ(rc, SQL_ERROR);
      EXPECT_EQ(State(), "07006");
      continue;
    }
    ASSERT_EQ(rc, SQL_SUCCESS);
    EXPECT_EQ(StmtParamEntry(stmt, 1)->elemSize, c.size);
  }
}

TEST_F(BindTest, DefaultCTypeFollowsTheEnvironmentsVersion) {
  char buf[16];
  SQLLEN ind = 0;
  ASSERT_EQ(SQLBindParameter(hstmt, 1, SQL_PARAM_INPUT, SQL_C_DEFAULT, SQL_WVARCHAR, 10, 0, buf, 16, &ind),
            SQL_SUCCESS);
  EXPECT_EQ(StmtParamEntry(stmt, 1)->cType, SQL_C_WCHAR);
  ASSERT_EQ(SQLBindParameter(hstmt, 1, SQL_PARAM_INPUT, SQL_C_DEFAULT, SQL_BIGINT, 0, 0, buf, 16, &ind), SQL_SUCCESS);
  EXPECT_EQ(StmtParamEntry(stmt, 1)->cType, SQL_C_SBIGINT);
}

TEST_F(Odbc2BindTest, DefaultCTypeOfWideTypesIsCharInOdbc2) {
  char buf[16];
  SQLLEN ind = 0;
  ASSERT_EQ(SQLBindParameter(hstmt, 1, SQL_PARAM_INPUT, SQL_C_DEFAULT, SQL_WVARCHAR, 10, 0, buf, 16, &ind),
            SQL_SUCCESS);
  EXPECT_EQ(StmtParamEntry(stmt, 1)->cType, SQL_C_CHAR);
  ASSERT_EQ(SQLBindParameter(hstmt, 1, SQL_PARAM_INPUT, SQL_C_DEFAULT, SQL_BIGINT, 0, 0, buf, 16, &ind), SQL_SUCCESS);
  EXPECT_EQ(StmtParamEntry(stmt, 1)->cType, SQL_C_CHAR);
  ASSERT_EQ(SQLBindParameter(hstmt, 1, SQL_PARAM_INPUT, SQL_C_DEFAULT, SQL_TIMESTAMP, 0, 0, buf, 16, &ind),
            SQL_SUCCESS);
  EXPECT_EQ(StmtParamEntry(stmt, 1)->cType, SQL_C_TIMESTAMP);
}

TEST_F(BindTest, BufferLengthMinusOneBindsAnInputParameter) {
  SQLINTEGER v = 0;
  SQLLEN ind = 0;
  ASSERT_EQ(SQLBindParameter(hstmt, 1, SQL_PARAM_OUTPUT, SQL_C_LONG, SQL_INTEGER, 0, 0, &v, -1, &ind), SQL_SUCCESS);
  EXPECT_EQ(StmtParamEntry(stmt, 1)->paramType, SQL_PARAM_INPUT);
  EXPECT_EQ(DescGetRec(stmt->ipd, 1)->parameterType, SQL_PARAM_INPUT);
}

TEST_F(BindTest, NegativeDecimalDigits) {
  char buf[16];
  SQLLEN ind = 0;
  EXPECT_EQ(SQLBindParameter(hstmt, 1, SQL_PARAM_INPUT, SQL_C_CHAR, SQL_DECIMAL, 10, -1, buf, 16, &ind), SQL_SUCCESS);
  EXPECT_EQ(SQLSetParam(hstmt, 1, SQL_C_CHAR, SQL_DECIMAL, 10, -1, buf, &ind), SQL_ERROR);
  EXPECT_EQ(State(), "HY094");
  for (SQLSMALLINT t : {SQL_TYPE_TIME, SQL_TYPE_TIMESTAMP, SQL_INTERVAL_SECOND, SQL_INTERVAL_MINUTE_TO_SECOND}) {
    EXPECT_EQ(SQLBindParameter(hstmt, 2, SQL_PARAM_INPUT, SQL_C_CHAR, t, 10, -1, buf, 16, &ind), SQL_ERROR) << t;
    EXPECT_EQ(State(), "HY094");
  }
}

TEST_F(BindTest, SetParamRefusesNumericAndBindsInputWithoutDescriptors) {
  SQL_NUMERIC_STRUCT num{};
  SQLLEN ind = 0;
  EXPECT_EQ(SQLSetParam(hstmt, 1, SQL_C_NUMERIC, SQL_NUMERIC, 10, 2, &num, &ind), SQL_ERROR);
  EXPECT_EQ(State(), "07006");
  EXPECT_EQ(SQLBindParameter(hstmt, 1, SQL_PARAM_INPUT, SQL_C_NUMERIC, SQL_NUMERIC, 10, 2, &num, 0, &ind),
            SQL_SUCCESS);
  EXPECT_EQ(StmtParamEntry(stmt, 1)->elemSize, 19);

  EXPECT_EQ(SQLSetParam(hstmt, 2, SQL_C_CHAR, SQL_VARCHAR, 10, 0, nullptr, nullptr), SQL_ERROR);
  EXPECT_EQ(State(), "HY009");
  char buf[8];
  ASSERT_EQ(SQLSetParam(hstmt, 3, SQL_C_LONG, SQL_INTEGER, 0, 0, buf, &ind), SQL_SUCCESS);
  const ParamBinding *b = StmtParamEntry(stmt, 3);
  EXPECT_EQ(b->paramType, SQL_PARAM_INPUT);
  EXPECT_EQ(b->bufferLength, 0);
  EXPECT_EQ(b->lengthPtr, &ind);
  EXPECT_EQ(b->indicatorPtr, &ind);
  EXPECT_EQ(stmt->apd->count, 1) << "SQLSetParam leaves the descriptors alone";
}

TEST_F(BindTest, ParameterNumberOutOfRangeKeepsTheEarlierBinding) {
  SQLINTEGER v = 0;
  SQLLEN ind = 0;
  ASSERT_EQ(SQLBindParameter(hstmt, 1, SQL_PARAM_INPUT, SQL_C_LONG, SQL_INTEGER, 0, 0, &v, 0, &ind), SQL_SUCCESS);
  for (SQLUSMALLINT n : {0, 1025}) {
    EXPECT_EQ(SQLBindParameter(hstmt, n, SQL_PARAM_INPUT, SQL_C_LONG, SQL_INTEGER, 0, 0, &v, 0, &ind), SQL_ERROR);
    EXPECT_EQ(State(), "07009");
  }
  EXPECT_EQ(SQLBindParameter(hstmt, 1, SQL_PARAM_INPUT, SQL_C_INTERVAL_DAY, SQL_INTEGER, 0, 0, &v, 0, &ind),
            SQL_ERROR);
  EXPECT_EQ(StmtParamEntry(stmt, 1)->cType, SQL_C_LONG);
  EXPECT_EQ(stmt->apd->count, 1);
}

TEST_F(BindTest, BindingGrowsBothDescriptorsAndFillsTheirRecords) {
  char buf[32];
  SQLLEN len = 0, ind2 = 0;
  ASSERT_EQ(SQLBindParameter(hstmt, 1, SQL_PARAM_INPUT, SQL_C_CHAR, SQL_VARCHAR, 20, 0, buf, 32, &len), SQL_SUCCESS);
  ASSERT_EQ(stmt->apd->count, 1);
  ASSERT_EQ(SQLBindParameter(hstmt, 3, SQL_PARAM_INPUT_OUTPUT, SQL_C_TYPE_TIMESTAMP, SQL_TYPE_TIMESTAMP, 27, 7, buf,
                             32, &ind2),
            SQL_SUCCESS);
  EXPECT_EQ(stmt->apd->count, 3);
  EXPECT_EQ(stmt->ipd->count, 3);

  const DescRecord *a = DescGetRec(stmt->apd, 3);
  EXPECT_EQ(a->conciseType, SQL_C_TYPE_TIMESTAMP);
  EXPECT_EQ(a->type, SQL_DATETIME);
  EXPECT_EQ(a->datetimeIntervalCode, SQL_CODE_TIMESTAMP);
  EXPECT_EQ(a->dataPtr, buf);
  EXPECT_EQ(a->indicatorPtr, &ind2);
  EXPECT_EQ(a->octetLengthPtr, &ind2);
  EXPECT_EQ(a->octetLength, 32);
  const DescRecord *i = DescGetRec(stmt->ipd, 3);
  EXPECT_EQ(i->conciseType, SQL_TYPE_TIMESTAMP);
  EXPECT_EQ(i->parameterType, SQL_PARAM_INPUT_OUTPUT);
  EXPECT_EQ(i->length, 27);
  EXPECT_EQ(i->precision, 7);

  // The IPD fields that each kind of SQL type sets.
  struct Case {
    SQLSMALLINT sqlType;
    int64_t length;
    int16_t precision, scale;
  } cases[] = {
      {SQL_VARCHAR, 20, 0, 0},     {SQL_WCHAR, 20, 0, 0},          {SQL_LONGVARBINARY, 20, 0, 0},
      {SQL_GUID, 20, 0, 0},        {SQL_TYPE_DATE, 20, 0, 0},      {SQL_DECIMAL, 0, 20, 4},
      {SQL_NUMERIC, 0, 20, 4},     {SQL_DOUBLE, 0, 20, 0},         {SQL_REAL, 0, 20, 0},
      {SQL_TYPE_TIME, 20, 4, 0},   {SQL_INTERVAL_SECOND, 20, 4, 0}, {SQL_INTERVAL_YEAR, 20, 0, 0},
      {SQL_INTEGER, 0, 0, 0},
  };
  for (const Case &c : cases) {
    SCOPED_TRACE(c.sqlType);
    DescRecord *rec = DescGetRec(stmt->ipd, 2);
    rec->length = 0;
    rec->precision = rec->scale = 0;
    ASSERT_EQ(SQLBindParameter(hstmt, 2, SQL_PARAM_INPUT, SQL_C_CHAR, c.sqlType, 20, 4, buf, 32, &len), SQL_SUCCESS);
    rec = DescGetRec(stmt->ipd, 2);
    EXPECT_EQ(rec->length, c.length);
    EXPECT_EQ(rec->precision, c.precision);
    EXPECT_EQ(rec->scale, c.scale);
  }
}

TEST_F(BindTest, SeparateIndicatorAndLengthPointersStayApart) {
  char buf[8];
  SQLLEN len = 3, ind = SQL_NULL_DATA;
  ASSERT_EQ(BindParam(stmt, 1, SQL_PARAM_INPUT, SQL_C_CHAR, SQL_VARCHAR, 8, 0, buf, 8, &len, &ind), SQL_SUCCESS);
  EXPECT_EQ(DescGetRec(stmt->apd, 1)->indicatorPtr, &ind);
  EXPECT_EQ(DescGetRec(stmt->apd, 1)->octetLengthPtr, &len);
  EXPECT_EQ(StmtParamEntry(stmt, 1)->indicatorPtr, &ind);
}

TEST_F(BindTest, RebindingClearsTheSentFlagOnlyWhenTheParameterInformationChanges) {
  SQLINTEGER v = 0, w = 0;
  SQLLEN ind = 0;
  ASSERT_EQ(SQLBindParameter(hstmt, 1, SQL_PARAM_INPUT, SQL_C_LONG, SQL_INTEGER, 0, 0, &v, 0, &ind), SQL_SUCCESS);
  stmt->flags |= STMTF_PARAMINFO_SENT;
  ASSERT_EQ(SQLBindParameter(hstmt, 1, SQL_PARAM_INPUT, SQL_C_LONG, SQL_INTEGER, 0, 0, &w, 0, &ind), SQL_SUCCESS);
  EXPECT_TRUE(stmt->flags & STMTF_PARAMINFO_SENT) << "a new buffer is no new information";
  ASSERT_EQ(SQLBindParameter(hstmt, 1, SQL_PARAM_INPUT, SQL_C_LONG, SQL_BIGINT, 0, 0, &w, 0, &ind), SQL_SUCCESS);
  EXPECT_FALSE(stmt->flags & STMTF_PARAMINFO_SENT);
}

TEST_F(BindTest, DescribeParamAnswersFromTheAgentsDescriptions) {
  Prepare({"", ""});
  fake::SetParamDescs({{":1", SQL_VARCHAR, VT_STRING, 255, 0, SQL_NULLABLE_UNKNOWN},
                       {":2", SQL_DECIMAL, VT_STRING, 12, 3, SQL_NULLABLE}});
  stmt->paramDescsRead = 0;
  SQLSMALLINT type = 0, digits = -1, nullable = -1;
  SQLULEN size = 0;
  ASSERT_EQ(SQLDescribeParam(hstmt, 1, &type, &size, &digits, &nullable), SQL_SUCCESS) << DiagText();
  EXPECT_EQ(type, SQL_VARCHAR);
  EXPECT_EQ(size, 255u);
  EXPECT_EQ(digits, 0);
  EXPECT_EQ(nullable, SQL_NULLABLE_UNKNOWN);
  ASSERT_EQ(SQLDescribeParam(hstmt, 2, &type, &size, &digits, &nullable), SQL_SUCCESS);
  EXPECT_EQ(type, SQL_DECIMAL);
  EXPECT_EQ(size, 12u);
  EXPECT_EQ(digits, 3);
  EXPECT_EQ(nullable, SQL_NULLABLE);
  EXPECT_EQ(SQLDescribeParam(hstmt, 2, nullptr, nullptr, nullptr, nullptr), SQL_SUCCESS);
  for (SQLUSMALLINT n : {0, 3}) {
    EXPECT_EQ(SQLDescribeParam(hstmt, n, &type, &size, &digits, &nullable), SQL_ERROR);
    EXPECT_EQ(State(), "07009");
  }
}

}  // namespace
}  // namespace pt
