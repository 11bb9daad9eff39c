// EMPTY_STRING_ISNT_NULL on fetched values: a value of exactly one blank
// comes back as the empty string, in every character value type; anything
// else stays.
#include "drv_ora8/o-exec.h"
#include "exec_fixture.h"

using namespace exec_test;

namespace {

struct BlankCase {
  const char *name;
  int32_t type;
  uint32_t size;
  std::string blank;      // the element holding one blank
  std::string twoBlanks;  // an element that must stay as it is
  bool wide;
};

void PrintTo(const BlankCase &c, std::ostream *os) { *os << c.name; }

std::vector<BlankCase> BlankCases() {
  auto pre2 = [](const std::string &v) { return std::string{static_cast<char>(v.size()), '\0'} + v; };
  auto pre4 = [](const std::string &v, uint32_t n) { return std::string{static_cast<char>(n), '\0', '\0', '\0'} + v; };
  return {
      {"FixedOneByte", VT_CHAR, 1, " ", "x", false},  // a 1-byte element of one blank
      {"FixedWithNul", VT_CHAR, 4, std::string(" \0\0\0", 4), std::string("  \0\0", 4), false},
      {"NulTerminated", VT_STRING, 4, std::string(" \0", 2), std::string("  \0", 3), false},
      {"OneBytePrefix", VT_VARCHAR1, 4, std::string("\x01 ", 2), std::string("\x02  ", 3), false},
      {"TwoBytePrefix", VT_VARCHAR2, 4, pre2(" "), pre2("  "), false},
      {"FourBytePrefix", VT_VARCHAR4, 4, pre4(" ", 1), pre4("  ", 2), false},
      {"WideFixed", VT_WCHAR, 2, U16(" ") + std::string(2, '\0'), U16("  "), true},
      {"WideNulTerminated", VT_WSTRING, 2, U16(" ") + std::string(2, '\0'), U16("  ") + std::string(2, '\0'), true},
      {"WidePrefixed", VT_WVARCHAR4, 2, pre4(U16(" "), 1), pre4(U16("  "), 2), true},
  };
}

class BlankPass : public ::testing::TestWithParam<BlankCase> {};

TEST_P(BlankPass, OneBlankBecomesEmpty) {
  const BlankCase &c = GetParam();
  Params p({{c.type, DatasetElemSize(c.type, c.size)}}, 3);
  p.Bytes(0, 0, c.blank.data(), c.blank.size());
  p.Bytes(1, 0, c.twoBlanks.data(), c.twoBlanks.size());
  p.Null(2, 0);
  p.Cell(2, 0)[0] = ' ';  // a NULL row is left alone whatever it holds
  p.Null(2, 0);
  const uint32_t size = p.ds->cols[0].size;
  const std::string second(reinterpret_cast<char *>(p.ds->cols[0].values) + size, size);
  AgentConn conn{};
  conn.opts.emptyStringIsntNull = 1;
  conn.wide = c.wide ? 1 : 0;
  AgentCursor_BlankPass(&conn, p.ds);
  const unsigned char *first = p.ds->cols[0].values;
  for (uint32_t i = 0; i < size; ++i)
    if (first[i] != 0) ADD_FAILURE() << "byte " << i << " of the blank row is " << int(first[i]);
  EXPECT_EQ(second, std::string(reinterpret_cast<char *>(p.ds->cols[0].values) + size, size));
  EXPECT_EQ(' ', p.ds->cols[0].values[2 * size]);
  EXPECT_EQ(kIndNull, p.ds->cols[0].indicators[2]);

  // Without the option nothing changes; a wide type without the wide mode neither.
  Params q({{c.type, DatasetElemSize(c.type, c.size)}}, 1);
  q.Bytes(0, 0, c.blank.data(), c.blank.size());
  conn.opts.emptyStringIsntNull = 0;
  AgentCursor_BlankPass(&conn, q.ds);
  EXPECT_EQ(0, memcmp(q.ds->cols[0].values, c.blank.data(), c.blank.size()));
  if (c.wide) {
    conn.opts.emptyStringIsntNull = 1;
    conn.wide = 0;
    AgentCursor_BlankPass(&conn, q.ds);
    EXPECT_EQ(0, memcmp(q.ds->cols[0].values, c.blank.data(), c.blank.size()));
  }
}

INSTANTIATE_TEST_SUITE_P(Types, BlankPass, ::testing::ValuesIn(BlankCases()),
                         [](const ::testing::TestParamInfo<BlankCase> &i) { return std::string(i.param.name); });

TEST(BlankPassLong, LongValuesOfOneBlankBecomeEmpty) {
  Params p({{VT_LONGCHAR, sizeof(LongValue)}, {VT_LONGWCHAR, sizeof(LongValue)}}, 2);
  p.Long(0, 0, " ").Long(1, 0, "  ");
  p.Long(0, 1, U16(" ")).Long(1, 1, U16("  "));
  AgentConn conn{};
  conn.opts.emptyStringIsntNull = 1;
  conn.wide = 1;
  AgentCursor_BlankPass(&conn, p.ds);
  auto at = [&](int r, int c) {
    LongValue v;
    memcpy(&v, p.ds->cols[c].values + r * sizeof(LongValue), sizeof v);
    return v;
  };
  EXPECT_EQ(0u, at(0, 0).length);
  EXPECT_EQ(0, static_cast<char *>(at(0, 0).buffer)[0]);
  EXPECT_EQ(2u, at(1, 0).length);
  EXPECT_EQ(0u, at(0, 1).length);
  EXPECT_EQ(2u, at(1, 1).length);
}

}  // namespace
