// Parameter values of every value type reach the database intact: each row
// with its own exact length, never cut, never padded with NULs, also past
// 65535 bytes and in arrays of long values.
#include <functional>

#include "drv_ora8/db-private.h"
#include "exec_fixture.h"
#include "variant.h"

using namespace exec_test;

namespace {

struct BindCase {
  const char *name;
  int32_t type;
  uint32_t size;
  int32_t rows;
  std::function<void(Params &)> fill;  // fills column 1 (column 0 is the row key)
  const char *column;                  // target column: c (text), b (raw), n (number), d (date), ts (timestamp)
  const char *read;                    // what the peek selects for it
  Rows expected;
  bool wide = false;                   // Unicode build only
};

void PrintTo(const BindCase &c, std::ostream *os) { *os << c.name; }

std::string Padded(const std::string &text, size_t size) {
  std::string s = text;
  s.resize(size, '\0');
  return s;
}

std::string Repeat(const std::string &s, int n) {
  std::string out;
  for (int i = 0; i < n; ++i) out += s;
  return out;
}

const std::string kGuid = "6F9619FF-8B86-D011-B42D-00C04FC964FF";

std::vector<BindCase> Cases() {
  return {
      {"GuidTextWithoutTerminator", VT_CHAR, 36, 1,
       [](Params &p) { p.Bytes(0, 1, kGuid.data(), 36); }, "c", "c, LENGTH(c)", {{kGuid, "36"}}},
      {"SbigintTextInA32ByteElement", VT_CHAR, 32, 1,
       [](Params &p) { p.Bytes(0, 1, Padded("-9223372036854775808", 32).data(), 32); }, "c", "c, LENGTH(c)",
       {{"-9223372036854775808", "20"}}},
      {"FixedTextArrayEachRowItsLength", VT_CHAR, 36, 3,
       [](Params &p) {
         p.Bytes(0, 1, kGuid.data(), 36);
         p.Bytes(1, 1, Padded("ab", 36).data(), 36);
         p.Null(2, 1);
       },
       "c", "c, LENGTH(c)", {{kGuid, "36"}, {"ab", "2"}, {"<NULL>", "<NULL>"}}},
      {"NulTerminated", VT_STRING, 11, 2,
       [](Params &p) {
         p.Bytes(0, 1, "hello", 6);
         p.Bytes(1, 1, "0123456789", 11);
       },
       "c", "c", {{"hello"}, {"0123456789"}}},
      {"TwoBytePrefix", VT_VARCHAR2, 20, 2,
       [](Params &p) {
         p.Prefixed(0, 1, "abc");
         p.Prefixed(1, 1, "a longer one");
       },
       "c", "c", {{"abc"}, {"a longer one"}}},
      {"FourBytePrefix", VT_VARCHAR4, 20, 2,
       [](Params &p) {
         p.Prefixed(0, 1, "x");
         p.Prefixed(1, 1, "yz");
       },
       "c", "c", {{"x"}, {"yz"}}},
      {"LongTextArray", VT_LONGCHAR, 0, 3,
       [](Params &p) {
         p.Long(0, 1, "abc");
         p.Null(1, 1);
         p.Long(2, 1, "defgh");
       },
       "c", "c", {{"abc"}, {"<NULL>"}, {"defgh"}}},
      {"LongTextOneRow", VT_LONGCHAR, 0, 1, [](Params &p) { p.Long(0, 1, "single"); }, "c", "c", {{"single"}}},
      {"LongBinaryArray", VT_LONGBINARY, 0, 3,
       [](Params &p) {
         p.Long(0, 1, std::string(10, '\x11'));
         p.Null(1, 1);
         p.Long(2, 1, std::string(25, '\x22'));
       },
       "b", "LENGTH(b), RAWTOHEX(b)",
       {{"10", std::string(20, '1')}, {"<NULL>", "<NULL>"}, {"25", std::string(50, '2')}}},
      {"FourBytePrefixBinaryArray", VT_VARBIN4, 24, 3,
       [](Params &p) {
         p.Prefixed(0, 1, std::string("\x01\x02", 2));
         p.Prefixed(1, 1, std::string(20, '\xAB'));
         p.Prefixed(2, 1, std::string("\x00\xFF\x00", 3));
       },
       "b", "RAWTOHEX(b)", {{"0102"}, {Repeat("AB", 20)}, {"00FF00"}}},
      {"TwoBytePrefixBinary", VT_VARBIN2, 10, 1, [](Params &p) { p.Prefixed(0, 1, std::string("\xCA\xFE", 2)); },
       "b", "RAWTOHEX(b)", {{"CAFE"}}},
      {"FixedBinary", VT_BINARY, 4, 2,
       [](Params &p) {
         p.Bytes(0, 1, "\x01\x02\x03\x04", 4);
         p.Bytes(1, 1, "\x00\x00\x00\x05", 4);
       },
       "b", "RAWTOHEX(b)", {{"01020304"}, {"00000005"}}},
      {"Integers", VT_SLONG, 4, 2,
       [](Params &p) {
         p.Int(0, 1, -2147483647 - 1);
         p.Int(1, 1, 42);
       },
       "n", "n", {{"-2147483648"}, {"42"}}},
      {"Doubles", VT_DOUBLE, 8, 1,
       [](Params &p) {
         double v = 2.5;
         p.Bytes(0, 1, &v, 8);
       },
       "n", "n", {{"2.5"}}},
      {"Dates", VT_DATE, 6, 2,
       [](Params &p) {
         const int16_t d[3] = {2024, 2, 29};
         p.Bytes(0, 1, d, 6);
         p.Null(1, 1);
       },
       "d", "TO_CHAR(d, 'YYYY-MM-DD HH24:MI:SS')", {{"2024-02-29 00:00:00"}, {"<NULL>"}}},
      {"Timestamps", VT_TIMESTAMP, 16, 2,
       [](Params &p) {
         const uint16_t t[6] = {1999, 12, 31, 23, 59, 58};
         const uint32_t frac = 0;
         unsigned char cell[16];
         memcpy(cell, t, 12);
         memcpy(cell + 12, &frac, 4);
         p.Bytes(0, 1, cell, 16);
         const uint16_t u[6] = {2001, 2, 3, 4, 5, 6};
         memcpy(cell, u, 12);
         p.Bytes(1, 1, cell, 16);
       },
       "ts", "TO_CHAR(ts, 'YYYY-MM-DD HH24:MI:SS')", {{"1999-12-31 23:59:58"}, {"2001-02-03 04:05:06"}}},
      {"WideFixed", VT_WCHAR, 20, 2,
       [](Params &p) {
         p.Bytes(0, 1, Padded(U16("h\xe9llo"), 20).data(), 20);
         p.Bytes(1, 1, U16("0123456789").data(), 20);
       },
       "c", "c, LENGTH(c)", {{"h\xc3\xa9llo", "5"}, {"0123456789", "10"}}, true},
      {"WideNulTerminated", VT_WSTRING, 22, 1, [](Params &p) { p.Bytes(0, 1, (U16("wide") + std::string(2, '\0')).data(), 10); },
       "c", "c", {{"wide"}}, true},
      {"WidePrefixed", VT_WVARCHAR4, 24, 1, [](Params &p) { p.Prefixed(0, 1, U16("pre")); }, "c", "c", {{"pre"}},
       true},
      {"WideLongArray", VT_LONGWCHAR, 0, 2,
       [](Params &p) {
         p.Long(0, 1, U16("one"));
         p.Long(1, 1, U16("three"));
       },
       "c", "c", {{"one"}, {"three"}}, true},
  };
}

class BindValues : public ExecTest, public ::testing::WithParamInterface<BindCase> {};

TEST_P(BindValues, ReachTheTableIntact) {
  const BindCase &c = GetParam();
  Connect();
  ASSERT_EQ(0, Run("CREATE TABLE v (k NUMBER, c VARCHAR2(100), b RAW(100), n NUMBER, d DATE, ts TIMESTAMP)"));
  uint32_t size = c.size ? c.size : sizeof(LongValue);
  Params p({{VT_SLONG, 4}, {c.type, size}}, c.rows);
  for (int32_t r = 0; r < c.rows; ++r) p.Int(r, 0, r);
  c.fill(p);
  std::string sql = std::string("INSERT INTO v (k, ") + c.column + ") VALUES (?, ?)";
  int32_t rc = Run(sql.c_str(), p.Give());
  if (c.wide && !g_driverVariant.unicode) {
    // The ANSI build has no wide value types.
    EXPECT_EQ(E_07006, rc);
    return;
  }
  ASSERT_EQ(0, rc);
  EXPECT_EQ(c.expected, Peek(std::string("SELECT ") + c.read + " FROM v ORDER BY k"));
}

INSTANTIATE_TEST_SUITE_P(Types, BindValues, ::testing::ValuesIn(Cases()),
                         [](const ::testing::TestParamInfo<BindCase> &i) { return std::string(i.param.name); });

using BindTest = ExecTest;

TEST_F(BindTest, ValueTypesWithoutAnOracleFormAreRefused) {
  Connect();
  ASSERT_EQ(0, Run("CREATE TABLE v (c VARCHAR2(10))"));
  for (int32_t type : {VT_VARCHAR1, VT_VARBIN1}) {
    Params p({{type, 8}}, 1);
    p.Cell(0, 0);
    EXPECT_EQ(E_07006, Run("INSERT INTO v VALUES (?)", p.Give())) << type;
  }
  EXPECT_EQ((Rows{{"0"}}), Peek("SELECT COUNT(*) FROM v"));
}

TEST_F(BindTest, RowsLongerThan65535BytesAreNeverCut) {
  Connect();
  ASSERT_EQ(0, Run("CREATE TABLE big (k NUMBER, c CLOB)"));
  const std::string huge(70000, 'x');
  // Long values: an array whose longest row does not fit 16 bits.
  Params longs({{VT_SLONG, 4}, {VT_LONGCHAR, sizeof(LongValue)}}, 3);
  longs.Int(0, 0, 1).Long(0, 1, huge);
  longs.Int(1, 0, 2).Long(1, 1, "short");
  longs.Int(2, 0, 3).Null(2, 1);
  // Fixed character elements bigger than 64 KB.
  Params fixed({{VT_SLONG, 4}, {VT_CHAR, 70001}}, 2);
  fixed.Int(0, 0, 4).Bytes(0, 1, huge.data(), huge.size());
  fixed.Int(1, 0, 5).Bytes(1, 1, "tiny", 4);
  // A 4-byte prefix says its length itself, also past 64 KB.
  Params prefixed({{VT_SLONG, 4}, {VT_VARCHAR4, 70004}}, 2);
  prefixed.Int(0, 0, 6).Prefixed(0, 1, huge);
  prefixed.Int(1, 0, 7).Prefixed(1, 1, "p");

  DrvHandle cur = Cursor();
  for (Params *p : {&longs, &fixed, &prefixed}) {
    const int32_t rows = p->ds->rows;
    ASSERT_EQ(0, ExecDirect(cur, "INSERT INTO big VALUES (?, ?)", p->Give()));
    EXPECT_EQ(rows, RowCount(cur));
  }
  Free(cur);
  EXPECT_EQ((Rows{{"1", "70000"}, {"2", "5"}, {"3", "<NULL>"}, {"4", "70000"}, {"5", "4"}, {"6", "70000"}, {"7", "1"}}),
            Peek("SELECT k, LENGTH(c) FROM big ORDER BY k"));
  // The end of each long value arrived too.
  EXPECT_EQ((Rows{{"1", "xxxxxxxxxxx"}, {"4", "xxxxxxxxxxx"}, {"6", "xxxxxxxxxxx"}}),
            Peek("SELECT k, SUBSTR(c, 69990, 20) FROM big WHERE k IN (1, 4, 6) ORDER BY k"));
}

TEST_F(BindTest, RowByRowArrayCommitsOnlyWhenEveryRowWent) {
  Connect();
  ASSERT_EQ(0, Run("CREATE TABLE big (k NUMBER PRIMARY KEY, c CLOB)"));
  const std::string huge(66000, 'z');
  Params p({{VT_SLONG, 4}, {VT_LONGCHAR, sizeof(LongValue)}}, 3);
  p.Int(0, 0, 1).Long(0, 1, huge);
  p.Int(1, 0, 2).Long(1, 1, "b");
  p.Int(2, 0, 1).Long(2, 1, "duplicate key");
  DrvHandle cur = Cursor();
  EXPECT_EQ(E_S1000, ExecDirect(cur, "INSERT INTO big VALUES (?, ?)", p.Give()));
  Msgs m = Errors(cur);
  ASSERT_EQ(1u, m.texts.size());
  EXPECT_NE(std::string::npos, m.texts[0].find("ORA-00001")) << m.texts[0];
  // Nothing was committed by the failing array.
  EXPECT_EQ((Rows{{"0"}}), Peek("SELECT COUNT(*) FROM big"));
  Free(cur);
}

TEST_F(BindTest, SelectBindsTheRowOfItsExecution) {
  Connect();
  ASSERT_EQ(0, Run("CREATE TABLE t (a NUMBER, b VARCHAR2(10))"));
  ASSERT_EQ(0, Run("INSERT INTO t VALUES (1, 'one')"));
  ASSERT_EQ(0, Run("INSERT INTO t VALUES (2, 'two')"));
  Params p({{VT_SLONG, 4}}, 2);
  p.Int(0, 0, 2).Int(1, 0, 1);
  DrvHandle cur = Cursor();
  ASSERT_EQ(0, Prepare(cur, "SELECT b FROM t WHERE a = ?"));
  ASSERT_EQ(0, DrvCall<&DrvOps::DRV_SetParams>(&drv, cur, p.Give()));
  AgentCursor *rec = Agent_Cursor(cur);
  ASSERT_EQ(0, Execute(cur));
  // One parameter row per execution: the first, then the second.
  EXPECT_EQ(1u, rec->dbCurs->bindRows);
  EXPECT_EQ(0u, rec->dbCurs->paramBinds[0].first);
  ASSERT_EQ(0, DrvCall<&DrvOps::DRV_MoreResults>(&drv, cur));
  EXPECT_EQ(1u, rec->dbCurs->paramBinds[0].first);
  EXPECT_EQ(E_IM901, DrvCall<&DrvOps::DRV_MoreResults>(&drv, cur));
  Free(cur);
}

}  // namespace
