// SQLExecute: the parameter Dataset, how it reaches the agent, and the
// completion of an execute.
#include <cstring>

#include "odbc/data/appval.h"
#include "odbc/data/execute.h"
#include "odbc/desc.h"
#include "odbc/stmt.h"
#include "param_fixture.h"

namespace pt {
namespace {

struct ExecTest : ParamTest {
  SQLULEN processed = 12345;
  uint16_t status[16] = {};
  uint16_t ops[16] = {};

  // A paramset of n rows with the processed count and status array, and
  // the operation array when ignore is given (row indexes to ignore).
  void Array(uint64_t n, std::initializer_list<int> ignore = {}) {
    stmt->paramsetSize = n;
    stmt->rowsProcessed = &processed;
    stmt->ipd->arrayStatus = status;
    if (ignore.size()) {
      for (int r : ignore) ops[r] = SQL_PARAM_IGNORE;
      stmt->apd->arrayStatus = ops;
    }
    for (auto &s : status) s = 99;
  }

  const Handover &Last() {
    EXPECT_FALSE(Handovers().empty());
    static Handover none;
    return Handovers().empty() ? none : Handovers().back();
  }

  int Calls(int slot) { return fake::CallCount(slot); }
};

TEST_F(ExecTest, StatementWithoutParametersExecutesAlone) {
  Prepare({});
  Array(1);
  ASSERT_EQ(SQLExecute(hstmt), SQL_SUCCESS) << DiagText();
  EXPECT_EQ(Calls(SLOT_DRV_Execute), 1);
  EXPECT_EQ(Calls(SLOT_DRV_ExecDirect), 0);
  EXPECT_EQ(Calls(SLOT_DRV_SetParams), 0);
  EXPECT_EQ(processed, 0u);
  EXPECT_TRUE(stmt->flags & STMTF_RESULT_OPEN);
  EXPECT_EQ(stmt->state, STMT_PREPARED);
}

TEST_F(ExecTest, IgnoredRowsAreLeftOutAndReportedUnused) {
  Prepare({""});
  SQLINTEGER v[5] = {10, 20, 30, 40, 50};
  SQLLEN ind[5] = {};
  ASSERT_EQ(SQLBindParameter(hstmt, 1, SQL_PARAM_INPUT, SQL_C_LONG, SQL_INTEGER, 0, 0, v, 0, ind), SQL_SUCCESS);
  Array(5, {1, 3});
  ASSERT_EQ(SQLExecute(hstmt), SQL_SUCCESS) << DiagText();
  const Handover &h = Last();
  EXPECT_EQ(h.slot, SLOT_DRV_ExecDirect);
  ASSERT_EQ(h.rows, 3);
  ASSERT_EQ(h.cols.size(), 1u);
  EXPECT_EQ(h.cols[0].type, VT_SLONG);
  int32_t got[3];
  for (int r = 0; r < 3; ++r) memcpy(&got[r], h.cols[0].cells[r].bytes.data(), 4);
  EXPECT_EQ(got[0], 10);
  EXPECT_EQ(got[1], 30);
  EXPECT_EQ(got[2], 50);
  EXPECT_EQ(processed, 3u);
  const uint16_t want[5] = {SQL_PARAM_SUCCESS, SQL_PARAM_UNUSED, SQL_PARAM_SUCCESS, SQL_PARAM_UNUSED,
                            SQL_PARAM_SUCCESS};
  for (int r = 0; r < 5; ++r) EXPECT_EQ(status[r], want[r]) << r;
}

TEST_F(ExecTest, EveryRowIgnoredRunsNothing) {
  Prepare({""});
  SQLINTEGER v[2] = {1, 2};
  ASSERT_EQ(SQLBindParameter(hstmt, 1, SQL_PARAM_INPUT, SQL_C_LONG, SQL_INTEGER, 0, 0, v, 0, nullptr), SQL_SUCCESS);
  Array(2, {0, 1});
  ASSERT_EQ(SQLExecute(hstmt), SQL_SUCCESS);
  EXPECT_EQ(Calls(SLOT_DRV_ExecDirect) + Calls(SLOT_DRV_Execute), 0);
  EXPECT_EQ(processed, 0u);
  EXPECT_EQ(status[0], SQL_PARAM_UNUSED);
  EXPECT_EQ(status[1], SQL_PARAM_UNUSED);
}

TEST_F(ExecTest, QueryWithAParamsetReportsOneRowProcessed) {
  Prepare({""}, /*isSelect=*/true);
  SQLINTEGER v[3] = {1, 2, 3};
  ASSERT_EQ(SQLBindParameter(hstmt, 1, SQL_PARAM_INPUT, SQL_C_LONG, SQL_INTEGER, 0, 0, v, 0, nullptr), SQL_SUCCESS);
  Array(3);
  ASSERT_EQ(SQLExecute(hstmt), SQL_SUCCESS);
  EXPECT_EQ(Last().rows, 3);
  EXPECT_EQ(processed, 1u);
  EXPECT_EQ(status[0], SQL_PARAM_DIAG_UNAVAILABLE);
}

// One parameter of each C type, one row: the value type, element size and
// bytes that reach the agent.
TEST_F(ExecTest, EachCTypeTravelsAsItsValueType) {
  SQLINTEGER i32 = -42;
  SQLSMALLINT i16 = -7;
  SQLREAL f32 = 1.5f;
  SQLDOUBLE f64 = 2.25;
  SQLCHAR u8 = 200, bit = 1;
  SQLSCHAR s8 = -100;
  SQLUINTEGER u32 = 4000000000u;
  SQLUSMALLINT u16 = 65000;
  SQLBIGINT s64 = -9007199254740993LL;
  SQLUBIGINT u64 = 18446744073709551615ULL;
  SQL_DATE_STRUCT date{2001, 2, 3};
  SQL_TIME_STRUCT time{4, 5, 6};
  SQL_TIMESTAMP_STRUCT ts{2001, 2, 3, 4, 5, 6, 7};
  SQLGUID guid{0x12345678, 0x9ABC, 0xDEF0, {1, 2, 3, 4, 5, 6, 7, 8}};
  SQL_NUMERIC_STRUCT num{5, 2, 1, {0x39, 0x30}};  // 123.45
  char text[] = "hello";
  char16_t wide[] = u"h\u00e9llo";
  unsigned char bin[] = {0, 1, 2};
  char hex[] = "4142";
  auto raw = [](const void *p, size_t n) { return std::string(static_cast<const char *>(p), n); };
  struct Case {
    SQLSMALLINT cType, sqlType;
    void *data;
    SQLLEN len;  // the length/indicator value
    int32_t type;
    uint32_t size;
    std::string bytes;  // the defined bytes, or for text types the text
  } cases[] = {
      {SQL_C_LONG, SQL_INTEGER, &i32, 0, VT_SLONG, 4, raw(&i32, 4)},
      {SQL_C_SSHORT, SQL_SMALLINT, &i16, 0, VT_SSHORT, 2, raw(&i16, 2)},
      {SQL_C_FLOAT, SQL_REAL, &f32, 0, VT_FLOAT, 4, raw(&f32, 4)},
      {SQL_C_DOUBLE, SQL_DOUBLE, &f64, 0, VT_DOUBLE, 8, raw(&f64, 8)},
      {SQL_C_UTINYINT, SQL_TINYINT, &u8, 0, VT_UTINYINT, 1, raw(&u8, 1)},
      {SQL_C_STINYINT, SQL_TINYINT, &s8, 0, VT_STINYINT, 1, raw(&s8, 1)},
      {SQL_C_BIT, SQL_BIT, &bit, 0, VT_BIT, 1, raw(&bit, 1)},
      {SQL_C_ULONG, SQL_INTEGER, &u32, 0, VT_ULONG, 4, raw(&u32, 4)},
      {SQL_C_USHORT, SQL_SMALLINT, &u16, 0, VT_USHORT, 2, raw(&u16, 2)},
      {SQL_C_TYPE_DATE, SQL_TYPE_DATE, &date, 0, VT_DATE, 6, raw(&date, 6)},
      {SQL_C_TYPE_TIME, SQL_TYPE_TIME, &time, 0, VT_TIME, 6, raw(&time, 6)},
      {SQL_C_TYPE_TIMESTAMP, SQL_TYPE_TIMESTAMP, &ts, 0, VT_TIMESTAMP, 16, raw(&ts, 16)},
      {SQL_C_SBIGINT, SQL_BIGINT, &s64, 0, VT_CHAR, 32, "-9007199254740993"},
      {SQL_C_UBIGINT, SQL_BIGINT, &u64, 0, VT_CHAR, 32, "18446744073709551615"},
      {SQL_C_GUID, SQL_GUID, &guid, 0, VT_CHAR, 36, "12345678-9ABC-DEF0-0102-030405060708"},
      {SQL_C_NUMERIC, SQL_NUMERIC, &num, 0, VT_CHAR, kNumericTextWidth, "123.45"},
      {SQL_C_CHAR, SQL_VARCHAR, text, SQL_NTS, VT_CHAR, 6, "hello"},
      {SQL_C_CHAR, SQL_VARCHAR, text, 3, VT_CHAR, 4, "hel"},
      {SQL_C_WCHAR, SQL_WVARCHAR, wide, SQL_NTS, VT_WCHAR, 12, raw(wide, 10) + std::string(2, '\0')},
      {SQL_C_BINARY, SQL_VARBINARY, bin, 3, VT_VARBIN4, 11, raw(bin, 3)},
      {SQL_C_CHAR, SQL_BINARY, hex, SQL_NTS, VT_BINARY, 2, "AB"},
  };
  for (const Case &c : cases) {
    SCOPED_TRACE(c.cType);
    Prepare({""});
    Handovers().clear();
    SQLLEN ind = c.len;
    ASSERT_EQ(SQLBindParameter(hstmt, 1, SQL_PARAM_INPUT, c.cType, c.sqlType, 5, 2, c.data, 0, &ind), SQL_SUCCESS);
    ASSERT_EQ(SQLExecute(hstmt), SQL_SUCCESS) << DiagText();
    const Handover &h = Last();
    ASSERT_EQ(h.cols.size(), 1u);
    EXPECT_EQ(h.cols[0].type, c.type);
    EXPECT_EQ(h.cols[0].size, c.size);
    ASSERT_EQ(h.cols[0].cells.size(), 1u);
    EXPECT_EQ(h.cols[0].cells[0].indicator, 0);
    const std::string &got = h.cols[0].cells[0].bytes;
    EXPECT_EQ(c.type == VT_CHAR ? TextOf(h.cols[0].cells[0]) : got, c.bytes);
  }
}

TEST_F(ExecTest, NumericKeepsEveryDigit) {
  Prepare({""});
  // 10^38 - 1 with scale 10: far beyond a double's 17 digits.
  const unsigned __int128 big = (static_cast<unsigned __int128>(0x4B3B4CA85A86C47AULL) << 64) | 0x098A223FFFFFFFFFULL;
  SQL_NUMERIC_STRUCT num{38, 10, 0, {}};
  for (int i = 0; i < 16; ++i) num.val[i] = static_cast<SQLCHAR>(big >> (8 * i));
  ASSERT_EQ(SQLBindParameter(hstmt, 1, SQL_PARAM_INPUT, SQL_C_NUMERIC, SQL_NUMERIC, 38, 10, &num, 0, nullptr),
            SQL_SUCCESS);
  ASSERT_EQ(SQLExecute(hstmt), SQL_SUCCESS);
  EXPECT_EQ(TextOf(Last().cols[0].cells[0]), "-9999999999999999999999999999.9999999999");
}

TEST_F(ExecTest, HexTextForBinaryColumns) {
  Prepare({""});
  char hex[3][8] = {"4142", "", "00FF10"};
  SQLLEN len[3] = {SQL_NTS, SQL_NULL_DATA, SQL_NTS};
  ASSERT_EQ(SQLBindParameter(hstmt, 1, SQL_PARAM_INPUT, SQL_C_CHAR, SQL_VARBINARY, 10, 0, hex, 8, len), SQL_SUCCESS);
  Array(3);
  ASSERT_EQ(SQLExecute(hstmt), SQL_SUCCESS) << DiagText();
  const RecCol &col = Last().cols[0];
  EXPECT_EQ(col.type, VT_VARBIN4);
  EXPECT_EQ(col.cells[0].bytes, "AB");
  EXPECT_EQ(col.cells[1].indicator, -1);
  EXPECT_EQ(col.cells[2].bytes, std::string("\x00\xFF\x10", 3));

  // Text that is not hexadecimal is refused, never sent as zeros.
  for (const char *bad : {"4G", "414"}) {
    Handovers().clear();
    strcpy(hex[0], bad);
    EXPECT_EQ(SQLExecute(hstmt), SQL_ERROR) << bad;
    EXPECT_EQ(State(), "22018");
    EXPECT_TRUE(Handovers().empty());
  }
  stmt->paramsetSize = 1;
  EXPECT_EQ(SQLExecute(hstmt), SQL_ERROR);
  EXPECT_EQ(State(), "22018");
}

TEST_F(ExecTest, NullsOfCharacterParametersForDateTimeTypes) {
  struct Case {
    SQLSMALLINT cType, sqlType;
    int32_t type;
  } cases[] = {
      {SQL_C_WCHAR, SQL_TYPE_TIME, VT_TIMESTAMP}, {SQL_C_WCHAR, SQL_TYPE_DATE, VT_DATE},
      {SQL_C_WCHAR, SQL_TYPE_TIMESTAMP, VT_TIMESTAMP}, {SQL_C_CHAR, SQL_TYPE_DATE, VT_DATE},
      {SQL_C_CHAR, SQL_TIME, VT_TIME}, {SQL_C_CHAR, SQL_TYPE_TIMESTAMP, VT_TIMESTAMP},
      {SQL_C_CHAR, SQL_LONGVARBINARY, VT_BINARY}, {SQL_C_CHAR, SQL_VARCHAR, VT_CHAR},
  };
  for (const Case &c : cases) {
    SCOPED_TRACE(std::to_string(c.cType) + "/" + std::to_string(c.sqlType));
    Prepare({""});
    char buf[8] = {};
    SQLLEN ind = SQL_NULL_DATA;
    ASSERT_EQ(SQLBindParameter(hstmt, 1, SQL_PARAM_INPUT, c.cType, c.sqlType, 0, 0, buf, 8, &ind), SQL_SUCCESS);
    ASSERT_EQ(SQLExecute(hstmt), SQL_SUCCESS) << DiagText();
    EXPECT_EQ(Last().cols[0].type, c.type);
    EXPECT_EQ(Last().cols[0].cells[0].indicator, -1);
  }
}

// Within an array, one row's escape or NULL does not retype the column
// under the other rows.
TEST_F(ExecTest, DateTimeEscapesInArrays) {
  struct Case {
    std::vector<const char *> rows;  // nullptr: NULL
    int32_t type;
    std::vector<std::string> sent;   // text, or "ts" fields as text
  } cases[] = {
      {{"{ts '2001-02-03 04:05:06.5'}", nullptr, "{ts '1999-12-31 23:59:59'}"}, VT_TIMESTAMP, {}},
      {{"{ts '2001-02-03 04:05:06.5'}", "2002-03-04 05:06:07"}, VT_CHAR,
       {"2001-02-03 04:05:06.5", "2002-03-04 05:06:07"}},
      {{"2002-03-04", nullptr}, VT_CHAR, {"2002-03-04", ""}},
      {{nullptr, nullptr}, VT_TIMESTAMP, {}},
      {{"{d '2001-02-03'}", "{t '01:02:03'}"}, VT_TIMESTAMP, {}},
  };
  for (const Case &c : cases) {
    SCOPED_TRACE(c.rows[0] ? c.rows[0] : "NULL");
    Prepare({""});
    char buf[4][40] = {};
    SQLLEN len[4] = {};
    for (size_t r = 0; r < c.rows.size(); ++r) {
      if (c.rows[r]) strcpy(buf[r], c.rows[r]);
      len[r] = c.rows[r] ? SQL_NTS : SQL_NULL_DATA;
    }
    ASSERT_EQ(SQLBindParameter(hstmt, 1, SQL_PARAM_INPUT, SQL_C_CHAR, SQL_TYPE_TIMESTAMP, 29, 9, buf, 40, len),
              SQL_SUCCESS);
    Array(c.rows.size());
    ASSERT_EQ(SQLExecute(hstmt), SQL_SUCCESS) << DiagText();
    const RecCol &col = Last().cols[0];
    ASSERT_EQ(col.type, c.type);
    for (size_t r = 0; r < c.rows.size(); ++r) {
      EXPECT_EQ(col.cells[r].indicator, c.rows[r] ? 0 : -1) << r;
      if (c.type == VT_CHAR && c.rows[r]) {
        EXPECT_EQ(TextOf(col.cells[r]), c.sent[r]) << r;
      }
    }
    if (c.type == VT_TIMESTAMP && c.rows[0] && c.rows.size() == 3) {
      SQL_TIMESTAMP_STRUCT want{2001, 2, 3, 4, 5, 6, 500000000}, got;
      memcpy(&got, col.cells[0].bytes.data(), 16);
      EXPECT_EQ(memcmp(&got, &want, 16), 0);
    }
  }
}

TEST_F(ExecTest, EscapeTextForAVarcharIsSentAsWritten) {
  Prepare({""});
  char text[] = "{d '2001-02-03'} is a date escape";
  ASSERT_EQ(SQLBindParameter(hstmt, 1, SQL_PARAM_INPUT, SQL_C_CHAR, SQL_VARCHAR, 40, 0, text, 0, nullptr),
            SQL_SUCCESS);
  ASSERT_EQ(SQLExecute(hstmt), SQL_SUCCESS);
  EXPECT_EQ(Last().cols[0].type, VT_CHAR);
  EXPECT_EQ(TextOf(Last().cols[0].cells[0]), text);
}

TEST_F(ExecTest, ColumnWiseAndRowWiseArraysWithABindOffset) {
  Prepare({"", ""});
  // Column-wise: each parameter in its own array.
  SQLINTEGER ids[3] = {1, 2, 3};
  char names[3][6] = {"a", "bb", "ccc"};
  SQLLEN nameLen[3] = {SQL_NTS, 2, SQL_NULL_DATA};
  ASSERT_EQ(SQLBindParameter(hstmt, 1, SQL_PARAM_INPUT, SQL_C_LONG, SQL_INTEGER, 0, 0, ids, 0, nullptr), SQL_SUCCESS);
  ASSERT_EQ(SQLBindParameter(hstmt, 2, SQL_PARAM_INPUT, SQL_C_CHAR, SQL_VARCHAR, 5, 0, names, 6, nameLen),
            SQL_SUCCESS);
  Array(3);
  ASSERT_EQ(SQLExecute(hstmt), SQL_SUCCESS) << DiagText();
  {
    const Handover &h = Last();
    ASSERT_EQ(h.cols.size(), 2u);
    EXPECT_EQ(h.cols[1].size, 3u);  // the longest value and its NUL
    EXPECT_EQ(TextOf(h.cols[1].cells[0]), "a");
    EXPECT_EQ(TextOf(h.cols[1].cells[1]), "bb");
    EXPECT_EQ(h.cols[1].cells[2].indicator, -1);
  }

  // Row-wise, bound at the first of four rows with an offset of one row.
  struct Row {
    SQLINTEGER id;
    SQLLEN idInd;
    char name[10];
    SQLLEN nameLen;
  } rows[4] = {{0, 0, "skip", SQL_NTS}, {7, 0, "x", SQL_NTS}, {8, SQL_NULL_DATA, "yy", SQL_NTS}, {9, 0, "zzz", 2}};
  SQLLEN offset = sizeof(Row);
  ASSERT_EQ(SQLBindParameter(hstmt, 1, SQL_PARAM_INPUT, SQL_C_LONG, SQL_INTEGER, 0, 0, &rows[0].id, 0,
                             &rows[0].idInd),
            SQL_SUCCESS);
  ASSERT_EQ(SQLBindParameter(hstmt, 2, SQL_PARAM_INPUT, SQL_C_CHAR, SQL_VARCHAR, 9, 0, rows[0].name, 10,
                             &rows[0].nameLen),
            SQL_SUCCESS);
  stmt->apd->bindType = sizeof(Row);
  stmt->apd->bindOffset = &offset;
  Handovers().clear();
  ASSERT_EQ(SQLExecute(hstmt), SQL_SUCCESS) << DiagText();
  const Handover &h = Last();
  ASSERT_EQ(h.rows, 3);
  int32_t id;
  memcpy(&id, h.cols[0].cells[0].bytes.data(), 4);
  EXPECT_EQ(id, 7);
  EXPECT_EQ(h.cols[0].cells[1].indicator, -1);
  memcpy(&id, h.cols[0].cells[2].bytes.data(), 4);
  EXPECT_EQ(id, 9);
  EXPECT_EQ(TextOf(h.cols[1].cells[0]), "x");
  EXPECT_EQ(TextOf(h.cols[1].cells[1]), "yy");
  EXPECT_EQ(TextOf(h.cols[1].cells[2]), "zz");
}

TEST_F(ExecTest, OutputParametersHaveNoColumnAndComeBackIntoTheirBuffers) {
  Prepare({"", "*O"});
  SQLINTEGER in = 5;
  char out[16] = "untouched";
  SQLLEN outInd = 0;
  ASSERT_EQ(SQLBindParameter(hstmt, 1, SQL_PARAM_INPUT, SQL_C_LONG, SQL_INTEGER, 0, 0, &in, 0, nullptr), SQL_SUCCESS);
  ASSERT_EQ(SQLBindParameter(hstmt, 2, SQL_PARAM_OUTPUT, SQL_C_CHAR, SQL_VARCHAR, 15, 0, out, 16, &outInd),
            SQL_SUCCESS);
  SetOutputRow({"answer"});

  // The agent keeps the values until asked (deferred fetch, no 80).
  ASSERT_EQ(SQLExecute(hstmt), SQL_SUCCESS) << DiagText();
  EXPECT_EQ(Last().cols.size(), 1u);
  EXPECT_STREQ(out, "untouched");

  // 80: the values are there now.
  fake::Script(SLOT_DRV_ExecDirect).queue.push_back(E_IM906);
  ASSERT_EQ(SQLExecute(hstmt), SQL_SUCCESS) << DiagText();
  EXPECT_STREQ(out, "answer");
  EXPECT_EQ(outInd, 6);
  EXPECT_EQ(State(), "") << "the 80 signal is no diagnostic";

  // Without deferred fetch they are read at once.
  conn->cn_spOutDeferFetch = 0;
  strcpy(out, "x");
  SetOutputRow({"\x01NULL"});
  ASSERT_EQ(SQLExecute(hstmt), SQL_SUCCESS) << DiagText();
  EXPECT_EQ(outInd, SQL_NULL_DATA);
}

TEST_F(ExecTest, UnknownDirectionsAreSettledByTheBindings) {
  Prepare({"*U", "*U"});
  SQLINTEGER a = 1, b = 2;
  SQLLEN ind = 0;
  ASSERT_EQ(SQLBindParameter(hstmt, 1, SQL_PARAM_INPUT_OUTPUT, SQL_C_LONG, SQL_INTEGER, 0, 0, &a, 0, &ind),
            SQL_SUCCESS);
  ASSERT_EQ(SQLBindParameter(hstmt, 2, SQL_PARAM_OUTPUT, SQL_C_LONG, SQL_INTEGER, 0, 0, &b, 0, &ind), SQL_SUCCESS);
  ASSERT_EQ(SQLExecute(hstmt), SQL_SUCCESS) << DiagText();
  EXPECT_EQ(stmt->inOutCount, 1);
  EXPECT_EQ(stmt->outCount, 1);
  EXPECT_EQ(stmt->inCount, 0);
  EXPECT_EQ(Last().cols.size(), 1u);
}

TEST_F(ExecTest, AgentWarningCompletesTheExecute) {
  Prepare({""});
  SQLINTEGER v[3] = {1, 2, 3};
  ASSERT_EQ(SQLBindParameter(hstmt, 1, SQL_PARAM_INPUT, SQL_C_LONG, SQL_INTEGER, 0, 0, v, 0, nullptr), SQL_SUCCESS);
  Array(3);
  fake::SetInfo(INFO_ROW_COUNT, 0);
  fake::Script(SLOT_DRV_ExecDirect).result = E_IM902;
  fake::Script(SLOT_DRV_ExecDirect).messages = {
      {fake::OraText("ORA-24347: Warning of a NULL column in an aggregate function", "01000"), 24347}};
  ASSERT_EQ(SQLExecute(hstmt), SQL_SUCCESS_WITH_INFO);
  EXPECT_EQ(State(), "01000");
  EXPECT_NE(DiagText().find("ORA-24347"), std::string::npos) << DiagText();
  EXPECT_EQ(processed, 3u);
  EXPECT_TRUE(stmt->flags & STMTF_RESULT_OPEN);
  EXPECT_EQ(stmt->rowsInBlock, 0);
  EXPECT_EQ(status[0], SQL_PARAM_DIAG_UNAVAILABLE);
}

// An execution during which a failover completed (183) ran: its result is
// open, with SQL_SUCCESS_WITH_INFO, IM500 and the application's event 16.
int g_failoverEvent = 0;
int RecordFailover(int event, void *, int) {
  g_failoverEvent = event;
  return 0;
}

TEST_F(ExecTest, CompletedFailoverCompletesTheExecute) {
  Prepare({""});
  SQLINTEGER v = 1;
  ASSERT_EQ(SQLBindParameter(hstmt, 1, SQL_PARAM_INPUT, SQL_C_LONG, SQL_INTEGER, 0, 0, &v, 0, nullptr), SQL_SUCCESS);
  stmt->conn->failoverCallback = RecordFailover;
  g_failoverEvent = 0;
  fake::Script(SLOT_DRV_ExecDirect).result = E_IM500;
  ASSERT_EQ(SQLExecute(hstmt), SQL_SUCCESS_WITH_INFO);
  EXPECT_EQ(State(), "IM500");
  EXPECT_TRUE(stmt->flags & STMTF_RESULT_OPEN);
  EXPECT_EQ(g_failoverEvent, 16);
}

TEST_F(ExecTest, AgentErrorReportsTheFailingRow) {
  Prepare({""});
  SQLINTEGER v[3] = {1, 2, 3};
  ASSERT_EQ(SQLBindParameter(hstmt, 1, SQL_PARAM_INPUT, SQL_C_LONG, SQL_INTEGER, 0, 0, v, 0, nullptr), SQL_SUCCESS);
  Array(3);
  fake::Script(SLOT_DRV_ExecDirect).result = E_S1000;
  fake::Script(SLOT_DRV_ExecDirect).messages = {
      {fake::OraText("ORA-00001: unique constraint (SCOTT.PK) violated", "23000"), 1}};
  struct Case {
    int32_t agentRows;
    SQLULEN processed;
  } cases[] = {{1, 2}, {-1, 0}, {10, 3}};
  for (const Case &c : cases) {
    fake::SetInfo(INFO_ROW_COUNT, c.agentRows);
    ASSERT_EQ(SQLExecute(hstmt), SQL_ERROR);
    EXPECT_EQ(State(), "23000");
    EXPECT_EQ(processed, c.processed) << c.agentRows;
    EXPECT_FALSE(stmt->flags & STMTF_RESULT_OPEN);
    EXPECT_EQ(status[1], SQL_PARAM_DIAG_UNAVAILABLE);
  }
}

// Without an agent that collects them, data at execution values are
// gathered by the front end: two parameters in a paramset of three rows are
// asked for row by row, six times, and the seventh SQLParamData runs the
// statement with the joined pieces.
TEST_F(ExecTest, GenericPathGathersDataAtExecutionValues) {
  conn->cn_hasV2DAE = 0;
  Prepare({"", ""});
  SQLLEN textLens[3] = {SQL_LEN_DATA_AT_EXEC(10), SQL_DATA_AT_EXEC, SQL_LEN_DATA_AT_EXEC(0)};
  SQLLEN intLens[3] = {SQL_DATA_AT_EXEC, SQL_DATA_AT_EXEC, SQL_DATA_AT_EXEC};
  ASSERT_EQ(SQLBindParameter(hstmt, 1, SQL_PARAM_INPUT, SQL_C_CHAR, SQL_VARCHAR, 10, 0, P(1), 0, textLens),
            SQL_SUCCESS);
  ASSERT_EQ(SQLBindParameter(hstmt, 2, SQL_PARAM_INPUT, SQL_C_LONG, SQL_INTEGER, 0, 0, P(2), 0, intLens),
            SQL_SUCCESS);
  Array(3);
  // Per row: the text's pieces (nullptr: SQL_NULL_DATA) and the number.
  const std::vector<std::vector<const char *>> pieces = {{"ab", "", "cd"}, {"x", nullptr}, {}};
  const SQLINTEGER numbers[3] = {7, -8, 9};
  ASSERT_EQ(SQLExecute(hstmt), SQL_NEED_DATA) << DiagText();
  EXPECT_EQ(Calls(SLOT_DRV_ExecDirect) + Calls(SLOT_DRV_Execute), 0);
  for (SQLULEN row = 0; row < 3; ++row) {
    for (intptr_t param : {1, 2}) {
      SQLPOINTER token = nullptr;
      ASSERT_EQ(SQLParamData(hstmt, &token), SQL_NEED_DATA) << DiagText();
      EXPECT_EQ(token, P(param));
      EXPECT_EQ(processed, row + 1);
      if (param == 1) {
        for (const char *p : pieces[row])
          EXPECT_EQ(SQLPutData(hstmt, const_cast<char *>(p), p ? SQL_NTS : SQL_NULL_DATA), SQL_SUCCESS);
      } else {
        SQLINTEGER v = numbers[row];
        EXPECT_EQ(SQLPutData(hstmt, &v, 0), SQL_SUCCESS);
      }
    }
  }
  ASSERT_EQ(SQLParamData(hstmt, nullptr), SQL_SUCCESS) << DiagText();
  EXPECT_EQ(processed, 3u);
  const Handover &h = Last();
  ASSERT_EQ(h.cols.size(), 2u);
  ASSERT_EQ(h.cols[0].cells.size(), 3u);
  EXPECT_EQ(TextOf(h.cols[0].cells[0]), "abcd");
  EXPECT_EQ(h.cols[0].cells[1].indicator, -1);  // NULL put after a piece
  EXPECT_EQ(h.cols[0].cells[2].indicator, 0);   // nothing put: empty
  EXPECT_EQ(TextOf(h.cols[0].cells[2]), "");
  for (int r = 0; r < 3; ++r) {
    SQLINTEGER v = 0;
    ASSERT_GE(h.cols[1].cells[r].bytes.size(), sizeof v);
    memcpy(&v, h.cols[1].cells[r].bytes.data(), sizeof v);
    EXPECT_EQ(v, numbers[r]) << r;
  }
  EXPECT_EQ(stmt->daeState, 0);
}

// The dialogue's errors on the generic path: nothing pending is HY010; a
// second piece of a fixed-length value is HY019 and a bad length HY009, each
// ending the dialogue with nothing run; SQL_DEFAULT_PARAM is HYC00.
TEST_F(ExecTest, GenericPathDataAtExecutionErrors) {
  conn->cn_hasV2DAE = 0;
  Prepare({""});
  EXPECT_EQ(SQLParamData(hstmt, nullptr), SQL_ERROR);
  EXPECT_EQ(State(), "HY010");
  SQLINTEGER v = 1;
  EXPECT_EQ(SQLPutData(hstmt, &v, 0), SQL_ERROR);
  EXPECT_EQ(State(), "HY010");
  struct Case {
    SQLSMALLINT cType;
    std::vector<SQLLEN> lengths;  // of the pieces; the last one fails
    const char *state;
  } cases[] = {{SQL_C_LONG, {0, 0}, "HY019"},
               {SQL_C_CHAR, {2, -7}, "HY009"},
               {SQL_C_CHAR, {SQL_DEFAULT_PARAM}, "HYC00"}};
  char text[] = "ab";
  for (const Case &c : cases) {
    SQLLEN ind = SQL_DATA_AT_EXEC;
    ASSERT_EQ(SQLBindParameter(hstmt, 1, SQL_PARAM_INPUT, c.cType, SQL_VARCHAR, 10, 0, P(1), 0, &ind), SQL_SUCCESS);
    ASSERT_EQ(SQLExecute(hstmt), SQL_NEED_DATA) << DiagText();
    SQLPOINTER token = nullptr;
    ASSERT_EQ(SQLParamData(hstmt, &token), SQL_NEED_DATA);
    for (size_t i = 0; i < c.lengths.size(); ++i) {
      void *data = c.cType == SQL_C_LONG ? static_cast<void *>(&v) : static_cast<void *>(text);
      const SQLRETURN rc = SQLPutData(hstmt, data, c.lengths[i]);
      if (i + 1 < c.lengths.size()) {
        EXPECT_EQ(rc, SQL_SUCCESS);
      } else {
        EXPECT_EQ(rc, SQL_ERROR);
        EXPECT_EQ(State(), c.state);
      }
    }
    EXPECT_EQ(stmt->daeState, 0) << c.state;
    EXPECT_EQ(SQLParamData(hstmt, nullptr), SQL_ERROR);
    EXPECT_EQ(State(), "HY010");
  }
  EXPECT_EQ(Calls(SLOT_DRV_ExecDirect) + Calls(SLOT_DRV_Execute), 0);
}

TEST_F(ExecTest, RefusedBeforeSending) {
  SQLINTEGER v = 1;
  // Not prepared.
  ASSERT_EQ(SQLBindParameter(hstmt, 1, SQL_PARAM_INPUT, SQL_C_LONG, SQL_INTEGER, 0, 0, &v, 0, nullptr), SQL_SUCCESS);
  EXPECT_EQ(SQLExecute(hstmt), SQL_ERROR);
  EXPECT_EQ(State(), "HY010");
  // A parameter without a binding.
  Prepare({"", ""});
  EXPECT_EQ(SQLExecute(hstmt), SQL_ERROR);
  EXPECT_EQ(State(), "07001");
  // A length that no value can have.
  char text[] = "abc";
  SQLLEN bad = -7;
  ASSERT_EQ(SQLBindParameter(hstmt, 2, SQL_PARAM_INPUT, SQL_C_CHAR, SQL_VARCHAR, 3, 0, text, 0, &bad), SQL_SUCCESS);
  EXPECT_EQ(SQLExecute(hstmt), SQL_ERROR);
  EXPECT_EQ(State(), "HY090");
  EXPECT_EQ(Calls(SLOT_DRV_ExecDirect) + Calls(SLOT_DRV_Execute), 0);

  // In a column-wise array a value may not run past its element.
  char names[2][4] = {"abc", "def"};
  SQLLEN lens[2] = {3, 6};
  ASSERT_EQ(SQLBindParameter(hstmt, 2, SQL_PARAM_INPUT, SQL_C_CHAR, SQL_VARCHAR, 3, 0, names, 4, lens), SQL_SUCCESS);
  Array(2);
  EXPECT_EQ(SQLExecute(hstmt), SQL_ERROR);
  EXPECT_EQ(State(), "HY090");
  stmt->paramsetSize = 1;

  // An output-typed binding without buffers on a plain marker: the agent
  // path sends NULL; the generic path refuses it.
  Prepare({""});
  ASSERT_EQ(SQLBindParameter(hstmt, 1, SQL_PARAM_OUTPUT, SQL_C_LONG, SQL_INTEGER, 0, 0, nullptr, 0, nullptr),
            SQL_SUCCESS);
  ASSERT_EQ(SQLExecute(hstmt), SQL_SUCCESS) << DiagText();
  EXPECT_EQ(Last().cols[0].cells[0].indicator, -1);
  conn->cn_hasV2DAE = 0;
  EXPECT_EQ(SQLExecute(hstmt), SQL_ERROR);
  EXPECT_EQ(State(), "07001");
}

TEST_F(ExecTest, ParameterInformationGoesDownOnceUntilABindingChanges) {
  Prepare({"", ""});
  SQLINTEGER a = 1;
  char text[] = "t";
  ASSERT_EQ(SQLBindParameter(hstmt, 1, SQL_PARAM_INPUT, SQL_C_LONG, SQL_INTEGER, 0, 0, &a, 0, nullptr), SQL_SUCCESS);
  ASSERT_EQ(SQLBindParameter(hstmt, 2, SQL_PARAM_INPUT, SQL_C_CHAR, SQL_VARCHAR, 7, 0, text, 0, nullptr),
            SQL_SUCCESS);
  ASSERT_EQ(SQLExecute(hstmt), SQL_SUCCESS);
  ASSERT_EQ(Last().info.size(), 2u);
  EXPECT_EQ(Last().info[0].sqlType, SQL_INTEGER);
  EXPECT_EQ(Last().info[1].cType, SQL_C_CHAR);
  EXPECT_EQ(Last().info[1].columnSize, 7u);
  ASSERT_EQ(SQLExecute(hstmt), SQL_SUCCESS);
  EXPECT_TRUE(Last().info.empty());
  ASSERT_EQ(SQLBindParameter(hstmt, 2, SQL_PARAM_INPUT, SQL_C_CHAR, SQL_VARCHAR, 8, 0, text, 0, nullptr),
            SQL_SUCCESS);
  ASSERT_EQ(SQLExecute(hstmt), SQL_SUCCESS);
  EXPECT_EQ(Last().info.size(), 2u);

  // An agent that needs no parameter information never gets it.
  stmt->flags &= static_cast<uint16_t>(~(STMTF_NEEDBIND | STMTF_PARAMINFO_SENT));
  ASSERT_EQ(SQLExecute(hstmt), SQL_SUCCESS);
  EXPECT_TRUE(Last().info.empty());
}

TEST_F(ExecTest, WithoutExecuteTwoValuesInformationAndExecuteGoSeparately) {
  conn->cn_hasExecute2 = 0;
  Prepare({""});
  SQLINTEGER a = 1;
  ASSERT_EQ(SQLBindParameter(hstmt, 1, SQL_PARAM_INPUT, SQL_C_LONG, SQL_INTEGER, 0, 0, &a, 0, nullptr), SQL_SUCCESS);
  ASSERT_EQ(SQLExecute(hstmt), SQL_SUCCESS) << DiagText();
  std::vector<int> slots;
  for (const fake::Call &c : fake::Log())
    if (c.slot == SLOT_DRV_SetParams || c.slot == SLOT_DRV_SetParamInfo || c.slot == SLOT_DRV_Execute ||
        c.slot == SLOT_DRV_ExecDirect)
      slots.push_back(c.slot);
  EXPECT_EQ(slots, (std::vector<int>{SLOT_DRV_SetParams, SLOT_DRV_SetParamInfo, SLOT_DRV_Execute}));
  EXPECT_EQ(Handovers()[0].cols.size(), 1u);
}

TEST_F(ExecTest, NarrowOnlyAgentGetsNarrowValuesAndTypes) {
  conn->narrowOnly = 1;
  Prepare({""});
  char16_t wide[] = u"abc";
  ASSERT_EQ(SQLBindParameter(hstmt, 1, SQL_PARAM_INPUT, SQL_C_WCHAR, SQL_WVARCHAR, 3, 0, wide, 0, nullptr),
            SQL_SUCCESS);
  ASSERT_EQ(SQLExecute(hstmt), SQL_SUCCESS) << DiagText();
  const Handover &h = Last();
  EXPECT_EQ(h.cols[0].type, VT_STRING);
  EXPECT_EQ(h.cols[0].cells[0].bytes, "abc");
  ASSERT_EQ(h.info.size(), 1u);
  EXPECT_EQ(h.info[0].cType, SQL_C_CHAR);
  EXPECT_EQ(h.info[0].sqlType, SQL_VARCHAR);
  EXPECT_EQ(stmt->paramShadow[0].cType, SQL_C_WCHAR) << "the shadow keeps the binding's own types";
}

TEST_F(ExecTest, NamedParameterRecordsForAnAgentThatTakesThem) {
  conn->cn_execDirect2 = 1;
  Prepare({"", ""});
  SQLINTEGER a = 1, b = 2;
  ASSERT_EQ(SQLBindParameter(hstmt, 1, SQL_PARAM_INPUT, SQL_C_LONG, SQL_INTEGER, 0, 0, &a, 0, nullptr), SQL_SUCCESS);
  ASSERT_EQ(SQLBindParameter(hstmt, 2, SQL_PARAM_INPUT, SQL_C_LONG, SQL_INTEGER, 0, 0, &b, 0, nullptr), SQL_SUCCESS);
  DescRecord *r1 = DescGetRec(stmt->ipd, 1);
  r1->name = strdup("P_ID");
  r1->unnamed = SQL_NAMED;
  DescRecord *r2 = DescGetRec(stmt->ipd, 2);
  r2->name = strdup("P_SKIPPED");
  r2->unnamed = SQL_UNNAMED;
  ASSERT_EQ(SQLExecute(hstmt), SQL_SUCCESS) << DiagText();
  const Handover &h = Last();
  EXPECT_EQ(h.slot, SLOT_DRV_ExecDirect2);
  EXPECT_EQ(h.names, (std::vector<std::string>{"P_ID", ""}));
  EXPECT_EQ(h.cols.size(), 2u);
}

TEST_F(ExecTest, GenericPathBuildsTheSameDataset) {
  conn->cn_hasV2DAE = 0;
  Prepare({""});
  char names[2][4] = {"ab", "cd"};
  ASSERT_EQ(SQLBindParameter(hstmt, 1, SQL_PARAM_INPUT, SQL_C_CHAR, SQL_VARCHAR, 3, 0, names, 4, nullptr),
            SQL_SUCCESS);
  Array(2);
  ASSERT_EQ(SQLExecute(hstmt), SQL_SUCCESS) << DiagText();
  EXPECT_EQ(TextOf(Last().cols[0].cells[1]), "cd");
  EXPECT_EQ(processed, 2u);
  EXPECT_EQ(status[1], SQL_PARAM_SUCCESS);
}

TEST_F(ExecTest, ValueLengthHelpers) {
  Prepare({""});
  char text[3][5] = {"abcd", "ab", ""};
  SQLLEN len[3] = {SQL_NTS, 1, SQL_NULL_DATA};
  ASSERT_EQ(SQLBindParameter(hstmt, 1, SQL_PARAM_INPUT, SQL_C_CHAR, SQL_VARCHAR, 4, 0, text, 5, len), SQL_SUCCESS);
  Array(3);
  const ParamBinding *b = StmtParamEntry(stmt, 1);
  EXPECT_EQ(ParamBufferLength(b), 5);
  EXPECT_EQ(ParamValueLength2(stmt, b, 0, 5), 4);
  EXPECT_EQ(ParamValueLength2(stmt, b, 1, 5), 1);
  EXPECT_EQ(ParamValueLength2(stmt, b, 2, 5), 0);
  EXPECT_EQ(ParamMaxLength2(stmt, b, 3, 5), 4);
  EXPECT_EQ(ParamMaxLength2(stmt, b, 0, 5), 0);
  ParamBinding w = *b;
  w.cType = SQL_C_WCHAR;
  w.bufferLength = 0;
  w.columnSize = 6;
  EXPECT_EQ(ParamBufferLength(&w), 12);
  ParamInfo info[2] = {{SQL_WVARCHAR, SQL_C_WCHAR, 1, 0, 1}, {SQL_WLONGVARCHAR, SQL_C_LONG, 1, 0, 1}};
  NarrowParamInfo(info, 2);
  EXPECT_EQ(info[0].sqlType, SQL_VARCHAR);
  EXPECT_EQ(info[0].cType, SQL_C_CHAR);
  EXPECT_EQ(info[1].sqlType, SQL_LONGVARCHAR);
  EXPECT_EQ(info[1].cType, SQL_C_LONG);
}

}  // namespace
}  // namespace pt
