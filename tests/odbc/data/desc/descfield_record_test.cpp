// Record fields of application descriptors and of the IPD: reads after
// writes, the fields derived from a type, record numbers and counts, and
// what a write does to the statement's bindings.
#include <cstring>
#include <vector>

#include "desc_fixture.h"
#include "odbc/stmt.h"

namespace dt {
namespace {

enum Kind { ARD, APD, IPD, USER };
const char *const kKindNames[] = {"ARD", "APD", "IPD", "USER"};

struct RecordTest : DescTest {
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
      case IPD: return Ipd();
      default: return user;
    }
  }
  // A column binding put on the statement as SQLBindCol leaves it.
  void BindCol(uint16_t col, int16_t cType, void *data, int64_t len, int64_t *ind) {
    BoundCol b{};
    b.bind = ColumnBinding{col, cType, 0, data, static_cast<uint64_t>(len), ind, ind};
    ASSERT_EQ(StmtBindCol(stmt, &b), SQL_SUCCESS);
  }
  // A parameter binding put on the statement as SQLBindParameter leaves it.
  void BindParameter(uint16_t n, int16_t cType, int16_t sqlType, void *data, int64_t *ind) {
    ParamBinding p{};
    p.number = n;
    p.cType = cType;
    p.elemSize = -3;
    p.sqlType = sqlType;
    p.columnSize = 10;
    p.data = data;
    p.lengthPtr = p.indicatorPtr = ind;
    p.bufferLength = 10;
    p.paramType = SQL_PARAM_INPUT;
    ASSERT_EQ(StmtSetParam(stmt, &p), SQL_SUCCESS);
  }
};

constexpr SQLLEN kPtr = 0x7000;

// A field written on a fresh record of each kind and read back. Codes: 0
// succeeds (and reads back `expect`), else the SqlStateTable code of the
// write and of the read.
struct FieldCase {
  SQLSMALLINT field;
  SQLLEN value;
  int64_t expect;
  int32_t code[4];  // write code per kind (ARD, APD, IPD, USER)
  int32_t readCode[4];
};

const FieldCase kFieldCases[] = {
    {SQL_DESC_CONCISE_TYPE, SQL_C_LONG, SQL_C_LONG, {}, {}},
    {SQL_DESC_TYPE, SQL_C_DOUBLE, SQL_C_DOUBLE, {}, {}},
    {SQL_DESC_DATETIME_INTERVAL_PRECISION, 5, 5, {}, {}},
    {SQL_DESC_NUM_PREC_RADIX, 10, 10, {}, {}},
    {SQL_DESC_LENGTH, 30, 30, {}, {}},
    {SQL_DESC_PRECISION, 12, 12, {}, {}},
    {SQL_DESC_SCALE, 3, 3, {}, {}},
    {SQL_DESC_DATETIME_INTERVAL_CODE, 2, 2, {}, {}},
    {SQL_DESC_OCTET_LENGTH, 40, 40, {}, {}},
    {SQL_DESC_OCTET_LENGTH_PTR, kPtr, kPtr, {0, 0, E_S1091, 0}, {0, 0, E_S1091, 0}},
    {SQL_DESC_INDICATOR_PTR, kPtr, kPtr, {0, 0, E_S1091, 0}, {0, 0, E_S1091, 0}},
    // Implementation descriptors have no buffer: the write does nothing.
    // (Binding through the ARD and APD is tested on its own.)
    {SQL_DESC_DATA_PTR, kPtr, kPtr, {-1, -1, 0, 0}, {-1, -1, E_S1091, 0}},
    {SQL_DESC_PARAMETER_TYPE, SQL_PARAM_OUTPUT, SQL_PARAM_OUTPUT, {E_S1091, E_S1091, 0, E_S1091},
     {E_S1091, E_S1091, 0, E_S1091}},
    {SQL_DESC_UNNAMED, SQL_UNNAMED, SQL_UNNAMED, {E_S1091, E_S1091, 0, E_S1091}, {E_S1091, E_S1091, 0, E_S1091}},
    // Read-only everywhere.
    {SQL_DESC_NULLABLE, 1, 0, {E_S1091, E_S1091, E_S1091, E_S1091}, {E_S1091, E_S1091, -1, E_S1091}},
    {SQL_DESC_DISPLAY_SIZE, 1, 0, {E_S1091, E_S1091, E_S1091, E_S1091}, {E_S1091, E_S1091, E_S1091, E_S1091}},
    {SQL_DESC_TABLE_NAME, 1, 0, {E_S1091, E_S1091, E_S1091, E_S1091}, {E_S1091, E_S1091, E_S1091, E_S1091}},
    // Not a descriptor field.
    {3, 1, 0, {E_IM001, E_IM001, E_IM001, E_IM001}, {E_IM001, E_IM001, E_IM001, E_IM001}},
};

TEST_F(RecordTest, EveryRecordFieldOfEveryKindReadsBackWhatWasSet) {
  for (Kind k : {ARD, APD, IPD, USER}) {
    SQLSMALLINT rec = 0;
    for (const FieldCase &c : kFieldCases) {
      ++rec;  // a fresh record per field, so that no field derives another
      SCOPED_TRACE(std::string(kKindNames[k]) + " field " + std::to_string(c.field));
      SQLHDESC d = Of(k);
      ASSERT_EQ(Set(d, 0, SQL_DESC_COUNT, rec), SQL_SUCCESS);
      const int32_t want = c.code[k];
      if (want == -1) continue;  // checked elsewhere
      EXPECT_EQ(Set(d, rec, c.field, c.value), want ? SQL_ERROR : SQL_SUCCESS);
      EXPECT_EQ(Code(d), want);
      const int32_t readWant = c.readCode[k];
      if (readWant == -1) continue;  // checked elsewhere
      int64_t v = -1;
      EXPECT_EQ(Get(d, rec, c.field, &v), readWant ? SQL_ERROR : SQL_SUCCESS);
      EXPECT_EQ(Code(d), readWant);
      if (!readWant && !want) {
        EXPECT_EQ(v, c.expect);
      }
    }
  }
}

TEST_F(RecordTest, AnImplementationRowDescriptorRefusesEveryRecordWrite) {
  for (SQLSMALLINT f : {SQL_DESC_CONCISE_TYPE, SQL_DESC_TYPE, SQL_DESC_LENGTH, SQL_DESC_DATA_PTR, SQL_DESC_NAME,
                        SQL_DESC_OCTET_LENGTH}) {
    EXPECT_EQ(Set(Ird(), 1, f, 1), SQL_ERROR) << f;
    EXPECT_EQ(Code(Ird()), E_S1016) << f;
  }
  EXPECT_EQ(Set(Ird(), 0, SQL_DESC_COUNT, 2), SQL_ERROR);
  EXPECT_EQ(Code(Ird()), E_S1091);
}

TEST_F(RecordTest, TextFieldsOfTheIpd) {
  ASSERT_EQ(SQLSetDescField(Ipd(), 1, SQL_DESC_UNNAMED, I(SQL_UNNAMED), 0), SQL_SUCCESS);
  EXPECT_EQ(Value(Ipd(), 1, SQL_DESC_UNNAMED), SQL_UNNAMED);
  ASSERT_EQ(SQLSetDescField(Ipd(), 1, SQL_DESC_NAME, const_cast<char *>("P_ID"), SQL_NTS), SQL_SUCCESS);
  EXPECT_EQ(Text(Ipd(), 1, SQL_DESC_NAME), "P_ID");
  EXPECT_EQ(Value(Ipd(), 1, SQL_DESC_UNNAMED), SQL_NAMED);
  // A length in bytes; a second name replaces the first.
  ASSERT_EQ(SQLSetDescField(Ipd(), 1, SQL_DESC_NAME, const_cast<char *>("AMOUNTXX"), 6), SQL_SUCCESS);
  EXPECT_EQ(Text(Ipd(), 1, SQL_DESC_NAME), "AMOUNT");
  // W: UTF-16 in, UTF-8 kept, UTF-16 out.
  const SQLWCHAR wname[] = {'N', 0x00C4, 'M', 0};
  ASSERT_EQ(SQLSetDescFieldW(Ipd(), 2, SQL_DESC_NAME, const_cast<SQLWCHAR *>(wname), SQL_NTS), SQL_SUCCESS);
  EXPECT_EQ(Text(Ipd(), 2, SQL_DESC_NAME), "N\xC3\x84M");
  SQLWCHAR back[8] = {};
  SQLINTEGER len = 0;
  ASSERT_EQ(SQLGetDescFieldW(Ipd(), 2, SQL_DESC_NAME, back, sizeof back, &len), SQL_SUCCESS);
  EXPECT_EQ(len, 6);
  EXPECT_EQ(0, memcmp(back, wname, sizeof wname));
  ASSERT_EQ(SQLSetDescFieldW(Ipd(), 3, SQL_DESC_NAME, const_cast<SQLWCHAR *>(wname), 4), SQL_SUCCESS);
  EXPECT_EQ(Text(Ipd(), 3, SQL_DESC_NAME), "N\xC3\x84");

  EXPECT_EQ(Set(Ipd(), 1, SQL_DESC_UNNAMED, 2), SQL_ERROR);
  EXPECT_EQ(Code(Ipd()), E_S1091);
  EXPECT_EQ(SQLSetDescField(Ipd(), 1, SQL_DESC_NAME, const_cast<char *>("X"), -7), SQL_ERROR);
  EXPECT_EQ(Code(Ipd()), E_S1090);
  EXPECT_EQ(SQLSetDescField(user, 1, SQL_DESC_NAME, const_cast<char *>("X"), SQL_NTS), SQL_ERROR);
  EXPECT_EQ(Code(user), E_S1091);
}

TEST_F(RecordTest, TextIsCutInsideTheBufferWith01004) {
  ASSERT_EQ(Set(Ipd(), 0, SQL_DESC_COUNT, 3), SQL_SUCCESS);
  ASSERT_EQ(SQLSetDescField(Ipd(), 1, SQL_DESC_NAME, const_cast<char *>("ABCDE"), SQL_NTS), SQL_SUCCESS);
  ASSERT_EQ(SQLSetDescField(Ipd(), 2, SQL_DESC_NAME, const_cast<char *>("ABCD"), SQL_NTS), SQL_SUCCESS);
  struct Cut {
    SQLSMALLINT rec;
    bool wide;
    SQLINTEGER bufLen;
    SQLRETURN rc;
    SQLINTEGER len;
    const char *text;
  } const cuts[] = {
      {1, true, 10, SQL_SUCCESS_WITH_INFO, 10, "ABCD"},
      {2, true, 10, SQL_SUCCESS, 8, "ABCD"},
      {1, true, 3, SQL_SUCCESS_WITH_INFO, 10, ""},
      {1, false, 5, SQL_SUCCESS_WITH_INFO, 5, "ABCD"},
      {1, false, 6, SQL_SUCCESS, 5, "ABCDE"},
      {1, false, 1, SQL_SUCCESS_WITH_INFO, 5, ""},
  };
  for (const Cut &c : cuts) {
    SCOPED_TRACE(std::to_string(c.rec) + (c.wide ? " W " : " A ") + std::to_string(c.bufLen));
    SQLWCHAR w[16];
    char a[16];
    memset(w, 0x7F, sizeof w);
    memset(a, 0x7F, sizeof a);
    SQLINTEGER len = 0;
    SQLRETURN rc = c.wide ? SQLGetDescFieldW(Ipd(), c.rec, SQL_DESC_NAME, w, c.bufLen, &len)
                          : SQLGetDescField(Ipd(), c.rec, SQL_DESC_NAME, a, c.bufLen, &len);
    EXPECT_EQ(rc, c.rc);
    EXPECT_EQ(Code(Ipd()), c.rc == SQL_SUCCESS ? 0 : E_01004);
    EXPECT_EQ(len, c.len);
    std::string got;
    if (c.wide) {
      for (const SQLWCHAR *p = w; *p; ++p) got += static_cast<char>(*p);
      // Nothing is written past the buffer.
      EXPECT_EQ(w[c.bufLen / 2], 0x7F7F);
    } else {
      got = a;
      EXPECT_EQ(a[c.bufLen], 0x7F);
    }
    EXPECT_EQ(got, c.text);
  }
  // A buffer of 0 writes nothing; no buffer asks for the length only.
  char none[4] = "xyz";
  SQLINTEGER len = 0;
  EXPECT_EQ(SQLGetDescField(Ipd(), 1, SQL_DESC_NAME, none, 0, &len), SQL_SUCCESS_WITH_INFO);
  EXPECT_STREQ(none, "xyz");
  EXPECT_EQ(SQLGetDescField(Ipd(), 1, SQL_DESC_NAME, nullptr, 0, &len), SQL_SUCCESS);
  EXPECT_EQ(len, 5);
  EXPECT_EQ(SQLGetDescField(Ipd(), 1, SQL_DESC_NAME, none, -1, &len), SQL_ERROR);
  EXPECT_EQ(Code(Ipd()), E_S1090);
  // A record without a name reads as empty.
  EXPECT_EQ(Text(Ipd(), 3, SQL_DESC_NAME, nullptr), "");
}

// ---- Derived fields -------------------------------------------------------------------

struct ConciseCase {
  SQLSMALLINT concise;
  int type, code, precision, length, scale, intervalPrecision;
};
// -1: not changed by the write (the record's earlier value stays).
const ConciseCase kConciseCases[] = {
    {SQL_CHAR, SQL_CHAR, 0, 0, 1, -1, -1},
    {SQL_WVARCHAR, SQL_WVARCHAR, 0, 0, 1, -1, -1},
    {SQL_NUMERIC, SQL_NUMERIC, 0, 38, -1, 0, -1},
    {SQL_FLOAT, SQL_FLOAT, 0, 53, -1, -1, -1},
    {SQL_REAL, SQL_REAL, 0, 24, -1, -1, -1},
    {SQL_INTEGER, SQL_INTEGER, 0, -1, -1, -1, -1},
    {SQL_C_UBIGINT, SQL_C_UBIGINT, 0, -1, -1, -1, -1},
    {SQL_C_SLONG, SQL_C_SLONG, 0, -1, -1, -1, -1},
    {SQL_BIT, SQL_BIT, 0, -1, -1, -1, -1},
    {SQL_TYPE_DATE, SQL_DATETIME, 1, 0, -1, -1, -1},
    {SQL_TIME, SQL_DATETIME, 2, 0, -1, -1, -1},
    {SQL_TYPE_TIMESTAMP, SQL_DATETIME, 3, 6, -1, -1, -1},
    {SQL_C_DEFAULT, SQL_C_DEFAULT, 7, -1, -1, -1, -1},
    {SQL_INTERVAL_YEAR, SQL_INTERVAL, 1, -1, -1, -1, 2},
    {SQL_INTERVAL_SECOND, SQL_INTERVAL, 6, 6, -1, -1, 2},
    {SQL_INTERVAL_DAY_TO_SECOND, SQL_INTERVAL, 10, 6, -1, -1, 2},
    {SQL_INTERVAL_MINUTE_TO_SECOND, SQL_INTERVAL, 13, 6, -1, -1, 2},
};

TEST_F(RecordTest, AConciseTypeSetsTheFieldsThatFollowFromIt) {
  for (const ConciseCase &c : kConciseCases) {
    SCOPED_TRACE("concise " + std::to_string(c.concise));
    // Earlier values that only the fields of the type's row change.
    ASSERT_EQ(Set(user, 1, SQL_DESC_TYPE, SQL_INTEGER), SQL_SUCCESS);
    ASSERT_EQ(Set(user, 1, SQL_DESC_DATETIME_INTERVAL_CODE, 7), SQL_SUCCESS);
    ASSERT_EQ(Set(user, 1, SQL_DESC_PRECISION, 11), SQL_SUCCESS);
    ASSERT_EQ(Set(user, 1, SQL_DESC_LENGTH, 11), SQL_SUCCESS);
    ASSERT_EQ(Set(user, 1, SQL_DESC_SCALE, 11), SQL_SUCCESS);
    ASSERT_EQ(Set(user, 1, SQL_DESC_DATETIME_INTERVAL_PRECISION, 11), SQL_SUCCESS);
    ASSERT_EQ(Set(user, 1, SQL_DESC_CONCISE_TYPE, c.concise), SQL_SUCCESS) << Code(user);
    EXPECT_EQ(Value(user, 1, SQL_DESC_CONCISE_TYPE), c.concise);
    EXPECT_EQ(Value(user, 1, SQL_DESC_TYPE), c.type);
    EXPECT_EQ(Value(user, 1, SQL_DESC_DATETIME_INTERVAL_CODE), c.code);
    EXPECT_EQ(Value(user, 1, SQL_DESC_PRECISION), c.precision < 0 ? 11 : c.precision);
    EXPECT_EQ(Value(user, 1, SQL_DESC_LENGTH), c.length < 0 ? 11 : c.length);
    EXPECT_EQ(Value(user, 1, SQL_DESC_SCALE), c.scale < 0 ? 11 : c.scale);
    EXPECT_EQ(Value(user, 1, SQL_DESC_DATETIME_INTERVAL_PRECISION), c.intervalPrecision < 0 ? 11 : c.intervalPrecision);
  }
}

struct TypeCase {
  SQLSMALLINT type;
  int presetCode;
  int concise, precision, length, intervalPrecision;
};
const TypeCase kTypeCases[] = {
    {SQL_VARCHAR, 0, SQL_VARCHAR, 0, 1, -1},
    {SQL_DECIMAL, 0, SQL_DECIMAL, 38, -1, -1},
    {SQL_DOUBLE, 0, SQL_DOUBLE, -1, -1, -1},
    {SQL_C_DEFAULT, 0, SQL_C_DEFAULT, -1, -1, -1},
    {SQL_DATETIME, 2, SQL_TYPE_TIME, 0, -1, -1},
    {SQL_DATETIME, 3, SQL_TYPE_TIMESTAMP, 6, -1, -1},
    {SQL_DATETIME, 9, SQL_C_LONG, -1, -1, -1},  // no such code: the concise type stays
    {SQL_INTERVAL, 3, SQL_INTERVAL_DAY, -1, -1, 2},
    {SQL_INTERVAL, 12, SQL_INTERVAL_HOUR_TO_SECOND, 6, -1, 2},
};

TEST_F(RecordTest, ATypeSetsTheConciseTypeWithItsIntervalCode) {
  for (const TypeCase &c : kTypeCases) {
    SCOPED_TRACE("type " + std::to_string(c.type) + " code " + std::to_string(c.presetCode));
    ASSERT_EQ(Set(user, 1, SQL_DESC_CONCISE_TYPE, SQL_C_LONG), SQL_SUCCESS);
    ASSERT_EQ(Set(user, 1, SQL_DESC_DATETIME_INTERVAL_CODE, c.presetCode), SQL_SUCCESS);
    ASSERT_EQ(Set(user, 1, SQL_DESC_PRECISION, 11), SQL_SUCCESS);
    ASSERT_EQ(Set(user, 1, SQL_DESC_LENGTH, 11), SQL_SUCCESS);
    ASSERT_EQ(Set(user, 1, SQL_DESC_DATETIME_INTERVAL_PRECISION, 11), SQL_SUCCESS);
    ASSERT_EQ(Set(user, 1, SQL_DESC_TYPE, c.type), SQL_SUCCESS) << Code(user);
    EXPECT_EQ(Value(user, 1, SQL_DESC_TYPE), c.type);
    EXPECT_EQ(Value(user, 1, SQL_DESC_CONCISE_TYPE), c.concise);
    // The interval code is the record's own: a type does not change it.
    EXPECT_EQ(Value(user, 1, SQL_DESC_DATETIME_INTERVAL_CODE), c.presetCode);
    EXPECT_EQ(Value(user, 1, SQL_DESC_PRECISION), c.precision < 0 ? 11 : c.precision);
    EXPECT_EQ(Value(user, 1, SQL_DESC_LENGTH), c.length < 0 ? 11 : c.length);
    EXPECT_EQ(Value(user, 1, SQL_DESC_DATETIME_INTERVAL_PRECISION), c.intervalPrecision < 0 ? 11 : c.intervalPrecision);
  }
}

TEST_F(RecordTest, AnIntervalCodeCompletesTheConciseType) {
  ASSERT_EQ(Set(user, 1, SQL_DESC_TYPE, SQL_DATETIME), SQL_SUCCESS);
  ASSERT_EQ(Set(user, 1, SQL_DESC_DATETIME_INTERVAL_CODE, SQL_CODE_DATE), SQL_SUCCESS);
  EXPECT_EQ(Value(user, 1, SQL_DESC_CONCISE_TYPE), SQL_TYPE_DATE);
  ASSERT_EQ(Set(user, 2, SQL_DESC_TYPE, SQL_INTERVAL), SQL_SUCCESS);
  ASSERT_EQ(Set(user, 2, SQL_DESC_DATETIME_INTERVAL_CODE, SQL_CODE_MINUTE), SQL_SUCCESS);
  EXPECT_EQ(Value(user, 2, SQL_DESC_CONCISE_TYPE), SQL_INTERVAL_MINUTE);
}

TEST_F(RecordTest, ATypeOutsideTheTablesIsKeptButDerivesNothing) {
  ASSERT_EQ(Set(user, 1, SQL_DESC_CONCISE_TYPE, SQL_TYPE_TIMESTAMP), SQL_SUCCESS);
  EXPECT_EQ(Set(user, 1, SQL_DESC_CONCISE_TYPE, SQL_GUID), SQL_ERROR);
  EXPECT_EQ(Code(user), E_S1092);
  EXPECT_EQ(Value(user, 1, SQL_DESC_CONCISE_TYPE), SQL_GUID);
  EXPECT_EQ(Value(user, 1, SQL_DESC_TYPE), SQL_DATETIME);
  EXPECT_EQ(Value(user, 1, SQL_DESC_PRECISION), 6);
  EXPECT_EQ(Set(user, 2, SQL_DESC_TYPE, SQL_GUID), SQL_ERROR);
  EXPECT_EQ(Code(user), E_S1092);
  EXPECT_EQ(Value(user, 2, SQL_DESC_TYPE), SQL_GUID);
}

TEST_F(RecordTest, ZeroIsAValueForSizesButNotForTypes) {
  ASSERT_EQ(Set(user, 1, SQL_DESC_CONCISE_TYPE, SQL_NUMERIC), SQL_SUCCESS);
  ASSERT_EQ(Set(user, 1, SQL_DESC_SCALE, 2), SQL_SUCCESS);
  ASSERT_EQ(Set(user, 1, SQL_DESC_SCALE, 0), SQL_SUCCESS);
  EXPECT_EQ(Value(user, 1, SQL_DESC_SCALE), 0);
  ASSERT_EQ(Set(user, 1, SQL_DESC_PRECISION, 0), SQL_SUCCESS);
  EXPECT_EQ(Value(user, 1, SQL_DESC_PRECISION), 0);
  int64_t ind = 0;
  ASSERT_EQ(SetPtr(user, 1, SQL_DESC_INDICATOR_PTR, &ind), SQL_SUCCESS);
  ASSERT_EQ(SetPtr(user, 1, SQL_DESC_INDICATOR_PTR, nullptr), SQL_SUCCESS);
  EXPECT_EQ(Ptr(user, 1, SQL_DESC_INDICATOR_PTR), nullptr);
  // Type 0 is no type: the record keeps its own (a copy from a record that
  // never had one changes nothing).
  ASSERT_EQ(Set(user, 1, SQL_DESC_CONCISE_TYPE, 0), SQL_SUCCESS);
  ASSERT_EQ(Set(user, 1, SQL_DESC_TYPE, 0), SQL_SUCCESS);
  EXPECT_EQ(Value(user, 1, SQL_DESC_CONCISE_TYPE), SQL_NUMERIC);
}

// ---- Record numbers and counts ---------------------------------------------------

TEST_F(RecordTest, RecordZeroAndRecordNumbers) {
  // Reads: the bookmark record of row descriptors and explicit ones.
  int64_t v = 0;
  EXPECT_EQ(Get(Ard(), 0, SQL_DESC_CONCISE_TYPE, &v), SQL_SUCCESS);
  EXPECT_EQ(Get(user, 0, SQL_DESC_CONCISE_TYPE, &v), SQL_SUCCESS);
  for (SQLHDESC d : {Apd(), Ipd()}) {
    EXPECT_EQ(Get(d, 0, SQL_DESC_CONCISE_TYPE, &v), SQL_ERROR);
    EXPECT_EQ(Code(d), E_07009);
  }
  // Writes: only where the descriptor describes rows.
  EXPECT_EQ(Set(Ard(), 0, SQL_DESC_CONCISE_TYPE, SQL_C_BINARY), SQL_SUCCESS);
  EXPECT_EQ(Value(Ard(), 0, SQL_DESC_CONCISE_TYPE), SQL_C_BINARY);
  for (SQLHDESC d : {Apd(), Ipd(), user}) {
    EXPECT_EQ(Set(d, 0, SQL_DESC_CONCISE_TYPE, SQL_C_BINARY), SQL_ERROR);
    EXPECT_EQ(Code(d), E_07009);
  }
  ASSERT_EQ(SQLSetStmtAttr(hstmt, SQL_ATTR_APP_ROW_DESC, user, 0), SQL_SUCCESS);
  EXPECT_EQ(Set(user, 0, SQL_DESC_CONCISE_TYPE, SQL_C_BINARY), SQL_SUCCESS);
  // Negative numbers; one past the count is no data, with no diagnostic.
  for (SQLHDESC d : {Ard(), Apd(), Ipd(), user}) {
    EXPECT_EQ(Get(d, -1, SQL_DESC_CONCISE_TYPE, &v), SQL_ERROR);
    EXPECT_EQ(Code(d), E_07009);
    EXPECT_EQ(Set(d, -1, SQL_DESC_CONCISE_TYPE, SQL_C_LONG), SQL_ERROR);
    EXPECT_EQ(Code(d), E_07009);
    const int64_t count = Value(d, 0, SQL_DESC_COUNT);
    EXPECT_EQ(Get(d, static_cast<SQLSMALLINT>(count + 1), SQL_DESC_CONCISE_TYPE, &v), SQL_NO_DATA);
    EXPECT_EQ(Code(d), 0);
  }
}

TEST_F(RecordTest, WritingARecordAddsTheRecordsUpToIt) {
  ASSERT_EQ(Set(Ard(), 3, SQL_DESC_LENGTH, 5), SQL_SUCCESS);
  EXPECT_EQ(Value(Ard(), 0, SQL_DESC_COUNT), 3);
  // The gaps are new application records: type SQL_C_DEFAULT.
  EXPECT_EQ(Value(Ard(), 2, SQL_DESC_CONCISE_TYPE), SQL_C_DEFAULT);
  // A record of an APD in force adds the IPD's record too.
  ASSERT_EQ(Set(Apd(), 4, SQL_DESC_LENGTH, 5), SQL_SUCCESS);
  EXPECT_EQ(Value(Ipd(), 0, SQL_DESC_COUNT), 4);
  EXPECT_EQ(Value(Ipd(), 4, SQL_DESC_PARAMETER_TYPE), SQL_PARAM_INPUT);
}

TEST_F(RecordTest, CountLoweredRemovesRecordsAndRaisedAddsThem) {
  for (Kind k : {ARD, APD, IPD, USER}) {
    SCOPED_TRACE(kKindNames[k]);
    SQLHDESC d = Of(k);
    ASSERT_EQ(Set(d, 0, SQL_DESC_COUNT, 5), SQL_SUCCESS);
    for (SQLSMALLINT r = 1; r <= 5; ++r) ASSERT_EQ(Set(d, r, SQL_DESC_LENGTH, 100 + r), SQL_SUCCESS);
    ASSERT_EQ(Set(d, 0, SQL_DESC_COUNT, 3), SQL_SUCCESS);
    EXPECT_EQ(Value(d, 0, SQL_DESC_COUNT), 3);
    EXPECT_EQ(Value(d, 3, SQL_DESC_LENGTH), 103);
    int64_t v = 0;
    EXPECT_EQ(Get(d, 4, SQL_DESC_LENGTH, &v), SQL_NO_DATA);
    // Raised again: fresh records, not the ones that were removed.
    ASSERT_EQ(Set(d, 0, SQL_DESC_COUNT, 6), SQL_SUCCESS);
    EXPECT_EQ(Value(d, 0, SQL_DESC_COUNT), 6);
    EXPECT_EQ(Value(d, 5, SQL_DESC_LENGTH), 0);
    // 0 removes them all.
    ASSERT_EQ(Set(d, 0, SQL_DESC_COUNT, 0), SQL_SUCCESS);
    EXPECT_EQ(Value(d, 0, SQL_DESC_COUNT), 0);
    EXPECT_EQ(Get(d, 1, SQL_DESC_LENGTH, &v), SQL_NO_DATA);
  }
  EXPECT_EQ(Set(user, 0, SQL_DESC_COUNT, -1), SQL_ERROR);
  EXPECT_EQ(Code(user), E_07009);
}

TEST_F(RecordTest, CountLoweredUnbindsTheStatementsColumnsAndParameters) {
  char buf[3][8];
  int64_t ind = 0;
  for (uint16_t c = 1; c <= 3; ++c) {
    ASSERT_EQ(Set(Ard(), static_cast<SQLSMALLINT>(c), SQL_DESC_CONCISE_TYPE, SQL_C_CHAR), SQL_SUCCESS);
    BindCol(c, SQL_C_CHAR, buf[c - 1], 8, &ind);
    ASSERT_EQ(Set(Apd(), static_cast<SQLSMALLINT>(c), SQL_DESC_CONCISE_TYPE, SQL_C_CHAR), SQL_SUCCESS);
    BindParameter(c, SQL_C_CHAR, SQL_VARCHAR, buf[c - 1], &ind);
  }
  stmt->flags |= STMTF_PARAMINFO_SENT;
  ASSERT_EQ(Set(Ard(), 0, SQL_DESC_COUNT, 1), SQL_SUCCESS);
  EXPECT_NE(StmtBoundCol(stmt, 1), nullptr);
  EXPECT_EQ(StmtBoundCol(stmt, 2), nullptr);
  EXPECT_EQ(StmtBoundCol(stmt, 3), nullptr);
  ASSERT_EQ(Set(Ard(), 0, SQL_DESC_COUNT, 0), SQL_SUCCESS);
  EXPECT_EQ(stmt->boundCols, nullptr);

  ASSERT_EQ(Set(Apd(), 0, SQL_DESC_COUNT, 2), SQL_SUCCESS);
  EXPECT_EQ(StmtParamEntry(stmt, 2)->number, 2);
  EXPECT_EQ(StmtParamEntry(stmt, 3)->number, 0);
  EXPECT_EQ(stmt->flags & STMTF_PARAMINFO_SENT, 0);
  ASSERT_EQ(Set(Apd(), 0, SQL_DESC_COUNT, 0), SQL_SUCCESS);
  EXPECT_EQ(StmtParamEntry(stmt, 1)->number, 0);
  EXPECT_EQ(Value(Apd(), 0, SQL_DESC_COUNT), 0);
}

// ---- Bindings ---------------------------------------------------------------------------

TEST_F(RecordTest, AnyOtherFieldTakesTheBufferAwayFromABinding) {
  char buf[8];
  int64_t ind = 0, ind2 = 0;
  BindCol(1, SQL_C_CHAR, buf, 8, &ind);
  ASSERT_EQ(Set(Ard(), 0, SQL_DESC_COUNT, 2), SQL_SUCCESS);
  EXPECT_EQ(Ptr(Ard(), 1, SQL_DESC_DATA_PTR), buf);
  // Pointer fields keep the buffer and reach the binding.
  ASSERT_EQ(SetPtr(Ard(), 1, SQL_DESC_INDICATOR_PTR, &ind2), SQL_SUCCESS);
  EXPECT_EQ(StmtBoundCol(stmt, 1)->bind.indicatorPtr, &ind2);
  EXPECT_EQ(StmtBoundCol(stmt, 1)->bind.data, buf);
  // A refused field still takes it away.
  EXPECT_EQ(SQLSetDescField(Ard(), 1, SQL_DESC_NAME, const_cast<char *>("N"), SQL_NTS), SQL_ERROR);
  EXPECT_EQ(Code(Ard()), E_S1091);
  EXPECT_EQ(StmtBoundCol(stmt, 1)->bind.data, nullptr);
  EXPECT_EQ(Ptr(Ard(), 1, SQL_DESC_DATA_PTR), nullptr);

  // The same for a parameter; what was written reads back.
  BindParameter(1, SQL_C_CHAR, SQL_VARCHAR, buf, &ind);
  ASSERT_EQ(Set(Apd(), 1, SQL_DESC_CONCISE_TYPE, SQL_C_TYPE_TIMESTAMP), SQL_SUCCESS);
  EXPECT_EQ(StmtParamEntry(stmt, 1)->data, nullptr);
  EXPECT_EQ(Value(Apd(), 1, SQL_DESC_CONCISE_TYPE), SQL_C_TYPE_TIMESTAMP);
  EXPECT_EQ(Value(Apd(), 1, SQL_DESC_TYPE), SQL_DATETIME);
  EXPECT_EQ(Value(Apd(), 1, SQL_DESC_DATETIME_INTERVAL_CODE), SQL_CODE_TIMESTAMP);
  EXPECT_EQ(Value(Apd(), 1, SQL_DESC_PRECISION), 6);
}

TEST_F(RecordTest, BoundColumnsAndParametersAnswerFromTheirBindings) {
  char buf[21];
  int64_t ind = 0;
  BindCol(2, SQL_C_WCHAR, buf, 21, &ind);
  ASSERT_EQ(Set(Ard(), 0, SQL_DESC_COUNT, 2), SQL_SUCCESS);
  EXPECT_EQ(Value(Ard(), 2, SQL_DESC_CONCISE_TYPE), SQL_C_WCHAR);
  EXPECT_EQ(Value(Ard(), 2, SQL_DESC_TYPE), SQL_C_WCHAR);
  EXPECT_EQ(Value(Ard(), 2, SQL_DESC_LENGTH), 9);  // 21 bytes: 10 characters and the NUL
  EXPECT_EQ(Value(Ard(), 2, SQL_DESC_OCTET_LENGTH), 21);
  EXPECT_EQ(Ptr(Ard(), 2, SQL_DESC_OCTET_LENGTH_PTR), &ind);
  EXPECT_EQ(Ptr(Ard(), 2, SQL_DESC_INDICATOR_PTR), &ind);
  EXPECT_EQ(Ptr(Ard(), 2, SQL_DESC_DATA_PTR), buf);
  EXPECT_EQ(Ptr(Ard(), 1, SQL_DESC_DATA_PTR), nullptr);  // not bound

  int32_t n = 0;
  ParamBinding p{};
  p.number = 1;
  p.cType = SQL_C_TYPE_TIMESTAMP;
  p.elemSize = 16;
  p.sqlType = SQL_TYPE_TIMESTAMP;
  p.data = &n;
  p.bufferLength = 16;
  p.paramType = SQL_PARAM_INPUT_OUTPUT;
  ASSERT_EQ(StmtSetParam(stmt, &p), SQL_SUCCESS);
  ASSERT_EQ(Set(Apd(), 0, SQL_DESC_COUNT, 1), SQL_SUCCESS);
  EXPECT_EQ(Value(Apd(), 1, SQL_DESC_TYPE), SQL_DATETIME);
  EXPECT_EQ(Value(Apd(), 1, SQL_DESC_DATETIME_INTERVAL_CODE), SQL_CODE_TIMESTAMP);
  EXPECT_EQ(Value(Apd(), 1, SQL_DESC_LENGTH), 16);
  EXPECT_EQ(Value(Apd(), 1, SQL_DESC_OCTET_LENGTH), 16);
  EXPECT_EQ(Ptr(Apd(), 1, SQL_DESC_DATA_PTR), &n);
  EXPECT_EQ(Value(Ipd(), 1, SQL_DESC_PARAMETER_TYPE), SQL_PARAM_INPUT_OUTPUT);
}

TEST_F(RecordTest, IpdWritesReachTheParameterBinding) {
  char buf[10];
  int64_t ind = 0;
  BindParameter(1, SQL_C_CHAR, SQL_CHAR, buf, &ind);
  ASSERT_EQ(Set(Ipd(), 0, SQL_DESC_COUNT, 1), SQL_SUCCESS);
  ParamBinding *pb = StmtParamEntry(stmt, 1);
  stmt->flags |= STMTF_PARAMINFO_SENT;
  ASSERT_EQ(Set(Ipd(), 1, SQL_DESC_LENGTH, 25), SQL_SUCCESS);
  EXPECT_EQ(pb->columnSize, 25u);
  // The agent must be told the new parameter information.
  EXPECT_EQ(stmt->flags & STMTF_PARAMINFO_SENT, 0);
  ASSERT_EQ(Set(Ipd(), 1, SQL_DESC_CONCISE_TYPE, SQL_DECIMAL), SQL_SUCCESS);
  EXPECT_EQ(pb->sqlType, SQL_DECIMAL);
  ASSERT_EQ(Set(Ipd(), 1, SQL_DESC_PRECISION, 12), SQL_SUCCESS);
  EXPECT_EQ(pb->columnSize, 12u);
  ASSERT_EQ(Set(Ipd(), 1, SQL_DESC_SCALE, 4), SQL_SUCCESS);
  EXPECT_EQ(pb->decimalDigits, 4);
  ASSERT_EQ(Set(Ipd(), 1, SQL_DESC_PARAMETER_TYPE, SQL_PARAM_OUTPUT), SQL_SUCCESS);
  EXPECT_EQ(pb->paramType, SQL_PARAM_OUTPUT);
  EXPECT_EQ(stmt->paramShadow[0].paramType, SQL_PARAM_OUTPUT);
  // A later type keeps the direction the application gave.
  ASSERT_EQ(Set(Ipd(), 1, SQL_DESC_CONCISE_TYPE, SQL_TIME), SQL_SUCCESS);
  EXPECT_EQ(pb->paramType, SQL_PARAM_OUTPUT);
  ASSERT_EQ(Set(Ipd(), 1, SQL_DESC_PRECISION, 3), SQL_SUCCESS);
  EXPECT_EQ(pb->decimalDigits, 3);
  // An IPD write never takes the buffer away.
  EXPECT_EQ(pb->data, buf);
}

}  // namespace
}  // namespace dt
