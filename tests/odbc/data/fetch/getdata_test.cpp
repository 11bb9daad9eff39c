// SQLGetData and GetColumn: values in parts (in the cell and deferred with
// the agent), NULLs, C type resolution, bookmarks and the failures.
#include <cstring>

#include "fetch_fixture.h"
#include "odbc/data/rowset.h"

namespace fetchtest {
namespace {

const std::string k25 = "abcdefghijklmnopqrstuvwxy";

struct GetData : FetchFixture {
  // One row of the given columns and cells, fetched.
  void Row(const std::vector<fake::Column> &cols, const fake::Row &cells, SQLINTEGER version = SQL_OV_ODBC3) {
    Open(version);
    fake::SetColumns(cols);
    fake::SetRows({cells});
    Execute();
    ASSERT_EQ(SQLFetch(hstmt), SQL_SUCCESS);
  }
  SQLRETURN Get(SQLUSMALLINT col, SQLSMALLINT cType, void *buf, SQLLEN len, SQLLEN *ind) {
    return SQLGetData(hstmt, col, cType, buf, len, ind);
  }
};

std::basic_string<SQLWCHAR> Utf16(const std::string &ascii) {
  return std::basic_string<SQLWCHAR>(ascii.begin(), ascii.end());
}

// A 25-character value into a 10-byte buffer comes in three parts whatever
// the column keeps it as: in the cell, or with the agent in pieces.
TEST_F(GetData, ValueInPartsOfNineNineAndSeven) {
  struct Case {
    const char *name;
    fake::Column col;
    fake::Cell cell;
  } cases[] = {
      {"cell", {"V", SQL_VARCHAR, VT_STRING, 30}, fake::Text(k25)},
      {"deferred", {"V", SQL_LONGVARCHAR, VT_LONGCHAR, 100000}, fake::Deferred(k25)},
  };
  for (const Case &c : cases) {
    SCOPED_TRACE(c.name);
    TearDown();
    SetUp();
    Row({c.col}, {c.cell});
    char buf[10];
    SQLLEN len = 0;
    const struct {
      SQLRETURN rc;
      const char *text;
      SQLLEN len;
    } parts[] = {{SQL_SUCCESS_WITH_INFO, "abcdefghi", 25}, {SQL_SUCCESS_WITH_INFO, "jklmnopqr", 16},
                 {SQL_SUCCESS, "stuvwxy", 7}};
    for (const auto &p : parts) {
      ASSERT_EQ(Get(1, SQL_C_CHAR, buf, sizeof buf, &len), p.rc);
      EXPECT_STREQ(buf, p.text);
      EXPECT_EQ(len, p.len);
      if (p.rc == SQL_SUCCESS_WITH_INFO) {
        EXPECT_EQ(State(), "01004");
      }
    }
    EXPECT_EQ(Get(1, SQL_C_CHAR, buf, sizeof buf, &len), SQL_NO_DATA);
  }
}

TEST_F(GetData, WideValueInParts) {
  std::string bytes;
  for (SQLWCHAR u : Utf16(k25)) bytes.append(reinterpret_cast<const char *>(&u), 2);
  Row({{"V", SQL_WVARCHAR, VT_WSTRING, 30}}, {fake::Text(bytes)});
  SQLWCHAR buf[10];
  SQLLEN len = 0;
  ASSERT_EQ(Get(1, SQL_C_WCHAR, buf, sizeof buf, &len), SQL_SUCCESS_WITH_INFO);
  EXPECT_EQ(std::basic_string<SQLWCHAR>(buf), Utf16("abcdefghi"));
  EXPECT_EQ(len, 50);
  ASSERT_EQ(Get(1, SQL_C_WCHAR, buf, sizeof buf, &len), SQL_SUCCESS_WITH_INFO);
  EXPECT_EQ(len, 32);
  ASSERT_EQ(Get(1, SQL_C_WCHAR, buf, sizeof buf, &len), SQL_SUCCESS);
  EXPECT_EQ(std::basic_string<SQLWCHAR>(buf), Utf16("stuvwxy"));
  EXPECT_EQ(len, 14);
  // The same value read narrow.
  char narrow[30];
  TearDown();
  SetUp();
  Row({{"V", SQL_WVARCHAR, VT_WSTRING, 30}}, {fake::Text(bytes)});
  ASSERT_EQ(Get(1, SQL_C_CHAR, narrow, sizeof narrow, &len), SQL_SUCCESS);
  EXPECT_EQ(std::string(narrow), k25);
}

TEST_F(GetData, RepeatedCallTypeRules) {
  Row({{"V", SQL_VARCHAR, VT_STRING, 30}, {"N", SQL_INTEGER, VT_SLONG, 4}}, {fake::Text(k25), fake::I32(5)});
  char buf[10];
  SQLLEN len = 0;
  ASSERT_EQ(Get(1, SQL_C_CHAR, buf, sizeof buf, &len), SQL_SUCCESS_WITH_INFO);
  // Another C type ends the value; SQL_C_DEFAULT goes on in the first one.
  SQLCHAR bin[10];
  EXPECT_EQ(Get(1, SQL_C_BINARY, bin, sizeof bin, &len), SQL_NO_DATA);
  ASSERT_EQ(Get(1, SQL_C_DEFAULT, buf, sizeof buf, &len), SQL_SUCCESS_WITH_INFO);
  EXPECT_STREQ(buf, "jklmnopqr");
  // A fixed-size value is read once, whatever an earlier cell left behind.
  SQLINTEGER n = 0;
  ASSERT_EQ(Get(2, SQL_C_LONG, &n, 0, &len), SQL_SUCCESS);
  EXPECT_EQ(n, 5);
  EXPECT_EQ(Get(2, SQL_C_LONG, &n, 0, &len), SQL_NO_DATA);
  // Back to the first column: a new read from its start.
  ASSERT_EQ(Get(1, SQL_C_CHAR, buf, sizeof buf, &len), SQL_SUCCESS_WITH_INFO);
  EXPECT_STREQ(buf, "abcdefghi");
}

TEST_F(GetData, NullWithAndWithoutIndicator) {
  Row({{"N", SQL_INTEGER, VT_SLONG, 4}}, {fake::Null()});
  SQLINTEGER n = 1234;
  SQLLEN ind = 0;
  ASSERT_EQ(Get(1, SQL_C_LONG, &n, 0, &ind), SQL_SUCCESS);
  EXPECT_EQ(ind, SQL_NULL_DATA);
  EXPECT_EQ(n, 0);
  EXPECT_EQ(Get(1, SQL_C_LONG, &n, 0, &ind), SQL_NO_DATA);
  TearDown();
  SetUp();
  Row({{"N", SQL_INTEGER, VT_SLONG, 4}}, {fake::Null()});
  EXPECT_EQ(Get(1, SQL_C_LONG, &n, 0, nullptr), SQL_ERROR);
  EXPECT_EQ(State(), "22002");
}

TEST_F(GetData, BoundNullIsIndicatedAndZeroed) {
  Open();
  fake::SetColumns({{"N", SQL_INTEGER, VT_SLONG, 4}});
  fake::SetRows({{fake::Null()}});
  Execute();
  SQLINTEGER n = 99;
  SQLLEN ind = 0;
  ASSERT_EQ(Bind(1, SQL_C_LONG, &n, 0, &ind), SQL_SUCCESS);
  ASSERT_EQ(SQLFetch(hstmt), SQL_SUCCESS);
  EXPECT_EQ(ind, SQL_NULL_DATA);
  EXPECT_EQ(n, 0);
}

TEST_F(GetData, DefaultCTypeByVersion) {
  const std::vector<fake::Column> cols = {{"D", SQL_DATE, VT_DATE, 10}, {"W", SQL_WVARCHAR, VT_WSTRING, 10}};
  SQL_DATE_STRUCT d{2024, 2, 29};
  const std::string dateBytes(reinterpret_cast<const char *>(&d), sizeof d);
  const std::string wide("h\0i\0", 4);
  Row(cols, {fake::Text(dateBytes), fake::Text(wide)});
  EXPECT_EQ(GetColumnCType(stmt, 1, SQL_C_DEFAULT), SQL_C_TYPE_DATE);
  EXPECT_EQ(GetColumnCType(stmt, 2, SQL_C_DEFAULT), SQL_C_WCHAR);
  TearDown();
  SetUp();
  Row(cols, {fake::Text(dateBytes), fake::Text(wide)}, SQL_OV_ODBC2);
  EXPECT_EQ(GetColumnCType(stmt, 1, SQL_C_DEFAULT), SQL_C_DATE);
  char text[10];
  SQLLEN len = 0;
  ASSERT_EQ(Get(2, SQL_C_DEFAULT, text, sizeof text, &len), SQL_SUCCESS);
  EXPECT_STREQ(text, "hi");
  SQL_DATE_STRUCT out{};
  ASSERT_EQ(Get(1, SQL_C_DEFAULT, &out, 0, &len), SQL_SUCCESS);
  EXPECT_EQ(out.year, 2024);
  EXPECT_EQ(len, 6);
}

// BIGINT into SQL_C_BINARY is an 8-byte integer, never written past a
// shorter buffer.
TEST_F(GetData, BigintIntoBinary) {
  Row({{"B", SQL_BIGINT, VT_STRING, 20}}, {fake::Text("-9000000000")});
  SQLBIGINT v = 0;
  SQLLEN len = 0;
  ASSERT_EQ(Get(1, SQL_C_BINARY, &v, sizeof v, &len), SQL_SUCCESS);
  EXPECT_EQ(v, -9000000000LL);
  EXPECT_EQ(len, 8);
  TearDown();
  SetUp();
  Row({{"B", SQL_BIGINT, VT_STRING, 20}}, {fake::Text("-9000000000")});
  unsigned char small[8] = {1, 2, 3, 4, 5, 6, 7, 8};
  EXPECT_EQ(Get(1, SQL_C_BINARY, small, 4, &len), SQL_ERROR);
  EXPECT_EQ(State(), "22003");
  EXPECT_EQ(small[4], 5);
  EXPECT_EQ(small[0], 1);
}

TEST_F(GetData, DeferredValueLengthOnlyWithEmptyBuffer) {
  Row({{"L", SQL_LONGVARCHAR, VT_LONGCHAR, 100000}}, {fake::Deferred(k25)});
  char buf[4] = "xyz";
  SQLLEN len = 0;
  ASSERT_EQ(Get(1, SQL_C_CHAR, buf, 0, &len), SQL_SUCCESS_WITH_INFO);
  EXPECT_EQ(len, 25);
  EXPECT_STREQ(buf, "xyz");
  // The value is still whole for a buffer that takes it.
  char all[30];
  ASSERT_EQ(Get(1, SQL_C_CHAR, all, sizeof all, &len), SQL_SUCCESS);
  EXPECT_EQ(std::string(all), k25);
}

// A piece read during which a failover completed (183) is the value; the
// call reports IM500 and the application's event 16.
decltype(DrvOps::DRV_GetDataChunk) g_fakeChunk = nullptr;
int32_t ChunkThenFailover(DrvHandle cursor, int32_t column, int32_t row, int32_t maxBytes, void **piece,
                          int32_t *size, int32_t *valueType, int32_t *left) {
  int32_t rc = g_fakeChunk(cursor, column, row, maxBytes, piece, size, valueType, left);
  return rc == 0 ? E_IM500 : rc;
}
int g_failoverEvent = 0;
int RecordFailover(int event, void *, int) {
  g_failoverEvent = event;
  return 0;
}

TEST_F(GetData, CompletedFailoverDuringAPieceKeepsIt) {
  Row({{"L", SQL_LONGVARCHAR, VT_LONGCHAR, 100000}}, {fake::Deferred(k25)});
  DrvOps *table = stmt->drv->table;
  g_fakeChunk = table->DRV_GetDataChunk;
  table->DRV_GetDataChunk = ChunkThenFailover;
  stmt->conn->failoverCallback = RecordFailover;
  g_failoverEvent = 0;
  char all[30];
  SQLLEN len = 0;
  EXPECT_EQ(Get(1, SQL_C_CHAR, all, sizeof all, &len), SQL_SUCCESS_WITH_INFO);
  EXPECT_EQ(std::string(all), k25);
  EXPECT_EQ(g_failoverEvent, 16);
  stmt->conn->failoverCallback = nullptr;
  table->DRV_GetDataChunk = g_fakeChunk;
}

// The agent says NULL (total -1) for a deferred value: NULL on the first
// call, no data on the next.
TEST_F(GetData, DeferredNull) {
  Row({{"L", SQL_LONGVARCHAR, VT_LONGCHAR, 100000}}, {fake::Null()});
  stmt->fetched.cols[0].indicators[0] = kIndDeferred;
  char buf[10];
  SQLLEN ind = 0;
  ASSERT_EQ(Get(1, SQL_C_CHAR, buf, sizeof buf, &ind), SQL_SUCCESS);
  EXPECT_EQ(ind, SQL_NULL_DATA);
  EXPECT_EQ(Get(1, SQL_C_CHAR, buf, sizeof buf, &ind), SQL_NO_DATA);
}

// An empty value left with the agent is an empty value, not "no data".
TEST_F(GetData, DeferredEmptyValue) {
  Row({{"L", SQL_LONGVARCHAR, VT_LONGCHAR, 100000}}, {fake::Deferred("")});
  char buf[10] = "x";
  SQLLEN len = -5;
  ASSERT_EQ(Get(1, SQL_C_CHAR, buf, sizeof buf, &len), SQL_SUCCESS);
  EXPECT_EQ(len, 0);
  EXPECT_STREQ(buf, "");
  EXPECT_EQ(Get(1, SQL_C_CHAR, buf, sizeof buf, &len), SQL_NO_DATA);
}

// Pieces of a binary value read as text are sized to the hexadecimal digits
// the buffer takes: no byte is skipped between calls.
TEST_F(GetData, DeferredBinaryAsHexNeverSkipsAByte) {
  Row({{"B", SQL_LONGVARBINARY, VT_LONGBINARY, 100000}}, {fake::Deferred(std::string("\x01\x02\x03\x04\x05", 5))});
  char buf[6];
  SQLLEN len = 0;
  std::string all;
  SQLRETURN rc;
  while ((rc = Get(1, SQL_C_CHAR, buf, sizeof buf, &len)) != SQL_NO_DATA) {
    ASSERT_TRUE(SQL_SUCCEEDED(rc));
    all += buf;
  }
  EXPECT_EQ(all, "0102030405");
  // Wide hexadecimal text likewise.
  TearDown();
  SetUp();
  Row({{"B", SQL_LONGVARBINARY, VT_LONGBINARY, 100000}}, {fake::Deferred(std::string("\x0a\x0b\x0c", 3))});
  SQLWCHAR w[4];
  std::basic_string<SQLWCHAR> wide;
  while ((rc = Get(1, SQL_C_WCHAR, w, sizeof w, &len)) != SQL_NO_DATA) {
    ASSERT_TRUE(SQL_SUCCEEDED(rc));
    wide += w;
  }
  EXPECT_EQ(wide, Utf16("0A0B0C"));
}

// A piece that ends inside a character keeps those bytes for the next call.
TEST_F(GetData, DeferredPieceSplittingACharacterLosesNothing) {
  const std::string value = "ab\xE2\x82\xAC";  // "ab€"
  Row({{"L", SQL_LONGVARCHAR, VT_LONGCHAR, 100000}}, {fake::Deferred(value)});
  char buf[4];
  SQLLEN len = 0;
  ASSERT_EQ(Get(1, SQL_C_CHAR, buf, sizeof buf, &len), SQL_SUCCESS_WITH_INFO);
  EXPECT_STREQ(buf, "ab");
  EXPECT_EQ(len, 5);
  ASSERT_EQ(Get(1, SQL_C_CHAR, buf, sizeof buf, &len), SQL_SUCCESS);
  EXPECT_STREQ(buf, "\xE2\x82\xAC");
  EXPECT_EQ(len, 3);
  EXPECT_EQ(Get(1, SQL_C_CHAR, buf, sizeof buf, &len), SQL_NO_DATA);
}

TEST_F(GetData, ArdTypeNeedsARecord) {
  Row({{"N", SQL_INTEGER, VT_SLONG, 4}, {"M", SQL_INTEGER, VT_SLONG, 4}}, {fake::I32(7), fake::I32(8)});
  SQLINTEGER n = 0;
  SQLLEN len = 0;
  EXPECT_EQ(Get(2, SQL_ARD_TYPE, &n, 0, &len), SQL_ERROR);
  EXPECT_EQ(State(), "HY003");
  // With a record its type is used.
  ASSERT_EQ(SQLSetDescField(reinterpret_cast<SQLHDESC>(static_cast<uintptr_t>(stmt->ard->handle)), 1,
                            SQL_DESC_CONCISE_TYPE, reinterpret_cast<SQLPOINTER>(SQL_C_LONG), 0),
            SQL_SUCCESS);
  ASSERT_EQ(Get(1, SQL_ARD_TYPE, &n, 0, &len), SQL_SUCCESS);
  EXPECT_EQ(n, 7);
}

TEST_F(GetData, Refusals) {
  Row({{"N", SQL_INTEGER, VT_SLONG, 4}}, {fake::I32(7)});
  SQLINTEGER n = 0;
  SQLLEN len = 0;
  const struct {
    SQLUSMALLINT col;
    SQLSMALLINT cType;
    void *data;
    SQLLEN bufLen;
    const char *state;
  } cases[] = {
      {2, SQL_C_LONG, &n, 0, "07009"},           // beyond the result
      {0, SQL_C_BINARY, &n, 8, "07009"},         // bookmarks are off
      {1, SQL_C_LONG, nullptr, 0, "HY009"},      // no buffer
      {1, SQL_C_CHAR, &n, -1, "HY090"},          // negative length
      {1, 12345, &n, 4, "07006"},                // not a C type
  };
  for (const auto &c : cases) {
    SCOPED_TRACE(c.state);
    EXPECT_EQ(Get(c.col, c.cType, c.data, c.bufLen, &len), SQL_ERROR);
    EXPECT_EQ(State(), c.state);
  }
}

// A call refused for a missing buffer or indicator leaves the value to read.
TEST_F(GetData, RefusedCallLosesNothing) {
  Row({{"V", SQL_VARCHAR, VT_STRING, 30}, {"N", SQL_INTEGER, VT_SLONG, 4}}, {fake::Text("abc"), fake::Null()});
  char buf[10];
  SQLLEN len = 0;
  EXPECT_EQ(Get(1, SQL_C_CHAR, nullptr, 10, &len), SQL_ERROR);
  ASSERT_EQ(Get(1, SQL_C_CHAR, buf, sizeof buf, &len), SQL_SUCCESS);
  EXPECT_STREQ(buf, "abc");
  SQLINTEGER n = 0;
  EXPECT_EQ(Get(2, SQL_C_LONG, &n, 0, nullptr), SQL_ERROR);
  ASSERT_EQ(Get(2, SQL_C_LONG, &n, 0, &len), SQL_SUCCESS);
  EXPECT_EQ(len, SQL_NULL_DATA);
}

// A conversion that fails hands nothing out: the cell, or the first piece of
// a deferred value, is read again with another C type.
TEST_F(GetData, FailedConversionLeavesTheValueReadable) {
  Row({{"V", SQL_VARCHAR, VT_STRING, 30}, {"L", SQL_LONGVARCHAR, VT_LONGCHAR, 100000}},
      {fake::Text("abc"), fake::Deferred(k25)});
  for (SQLUSMALLINT col : {1, 2}) {
    SCOPED_TRACE(col);
    SQLINTEGER n = 0;
    SQLLEN len = 0;
    EXPECT_EQ(Get(col, SQL_C_LONG, &n, 0, &len), SQL_ERROR);
    EXPECT_EQ(Get(col, SQL_C_GUID, &n, 0, &len), SQL_ERROR);  // and again
    char buf[30];
    ASSERT_EQ(Get(col, SQL_C_CHAR, buf, sizeof buf, &len), SQL_SUCCESS);
    EXPECT_STREQ(buf, col == 1 ? "abc" : k25.c_str());
    EXPECT_EQ(Get(col, SQL_C_CHAR, buf, sizeof buf, &len), SQL_NO_DATA);
  }
}

TEST_F(GetData, BeforeAnyRowIsInvalidCursorState) {
  Open();
  IntTextRows(1);
  Execute();
  SQLINTEGER n = 0;
  SQLLEN len = 0;
  EXPECT_EQ(SQLGetData(hstmt, 1, SQL_C_LONG, &n, 0, &len), SQL_ERROR);
  EXPECT_EQ(State(), "24000");
  ASSERT_EQ(SQLFetch(hstmt), SQL_SUCCESS);
  ASSERT_EQ(SQLFetch(hstmt), SQL_NO_DATA);
  EXPECT_EQ(SQLGetData(hstmt, 1, SQL_C_LONG, &n, 0, &len), SQL_ERROR);
  EXPECT_EQ(State(), "24000");
}

// The bookmark of a row is its absolute number as an 8-byte integer; a binary
// buffer shorter than that is refused.
TEST_F(GetData, Bookmark) {
  Open();
  IntTextRows(1);
  Execute();
  stmt->cursor.useBookmarks = SQL_UB_VARIABLE;
  stmt->cursor.cursorType = SCS_STATIC;
  stmt->cursor.position = 1;
  stmt->cursor.firstRow = 41;
  ::Rowset *rs = nullptr;
  ASSERT_EQ(RowsetNew(&rs, 1), 0);
  rs->status[0] = SQL_ROW_SUCCESS;
  stmt->cursor.rowset = rs;
  unsigned char small[8] = {};
  SQLLEN len = 0;
  EXPECT_EQ(SQLGetData(hstmt, 0, SQL_C_BINARY, small, 4, &len), SQL_ERROR);
  EXPECT_EQ(State(), "22003");
  EXPECT_EQ(small[0], 0);
  SQLBIGINT mark = 0;
  ASSERT_EQ(SQLGetData(hstmt, 0, SQL_C_BINARY, &mark, sizeof mark, &len), SQL_SUCCESS);
  EXPECT_EQ(mark, 41);
  EXPECT_EQ(len, 8);
  SQLUBIGINT umark = 0;
  ASSERT_EQ(SQLGetData(hstmt, 0, SQL_C_UBIGINT, &umark, 0, &len), SQL_SUCCESS);
  EXPECT_EQ(umark, 41u);
  SQLINTEGER wrong = 0;
  EXPECT_EQ(SQLGetData(hstmt, 0, SQL_C_LONG, &wrong, 0, &len), SQL_ERROR);
  EXPECT_EQ(State(), "HY003");
  // A row in error has no position to read.
  rs->status[0] = SQL_ROW_ERROR;
  EXPECT_EQ(SQLGetData(hstmt, 0, SQL_C_UBIGINT, &umark, 0, &len), SQL_ERROR);
  EXPECT_EQ(State(), "HY109");
}

}  // namespace
}  // namespace fetchtest
