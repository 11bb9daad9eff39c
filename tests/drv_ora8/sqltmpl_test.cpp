// SQL template expander and the search-pattern tests.
#include "drv_ora8/sqltmpl.h"

#include <gtest/gtest.h>

#include <cstring>
#include <initializer_list>
#include <string>
#include <vector>

#include "util/mpl.h"

namespace {

constexpr const char *kNull = nullptr;

// Expands a template written in readable notation; nullptr entries stand for
// NULL argument pointers. Returns the pool object up to and including its
// terminating NUL, so a missing or extra NUL shows.
struct Expansion {
  std::string bytes;
  std::vector<std::string> argsAfter; // the arguments after expansion (rewrites)
};

Expansion expand(const char *notation, std::initializer_list<const char *> args, bool quoted = false,
                 int count = -1) {
  std::vector<std::string> store;
  std::vector<char *> ptrs;
  for (const char *a : args) store.emplace_back(a ? a : "");
  size_t i = 0;
  for (const char *a : args) ptrs.push_back(a ? store[i++].data() : (++i, nullptr));
  const std::string tmpl = sqltmpl::fromNotation(notation);
  MemPool pool;
  mpl_init(&pool);
  const unsigned n = count < 0 ? static_cast<unsigned>(ptrs.size()) : static_cast<unsigned>(count);
  const int rc = quoted ? SqlTmpl_ExpandQuoted(&pool, tmpl.c_str(), ptrs.data(), n)
                        : SqlTmpl_Expand(&pool, tmpl.c_str(), ptrs.data(), n);
  EXPECT_EQ(rc, 0);
  const size_t size = mpl_object_size(&pool);
  const char *text = static_cast<const char *>(mpl_finish(&pool));
  Expansion e{std::string(text, size), {}};
  for (size_t k = 0; k < ptrs.size(); ++k) e.argsAfter.push_back(ptrs[k] ? ptrs[k] : "<null>");
  mpl_free_all(&pool);
  return e;
}

std::string z(const std::string &s) { return s + std::string(1, '\0'); }

TEST(SqlTmplExpand, ArgumentsCountAndNullPointers) {
  EXPECT_EQ(expand("SELECT {1} FROM DUAL", {"X"}).bytes, z("SELECT X FROM DUAL"));
  EXPECT_EQ(expand("SELECT {1} FROM DUAL", {}, false, 0).bytes, z("SELECT NULL FROM DUAL"));
  EXPECT_EQ(expand("SELECT {1} FROM DUAL", {kNull}).bytes, z("SELECT  FROM DUAL"));
  EXPECT_EQ(expand("{2}.{1}", {"A", "B", "C"}, false, 2).bytes, z("B.A"));
  EXPECT_EQ(expand("{3}", {"A", "B", "C"}, false, 2).bytes, z("NULL"));
  // Unknown directive codes vanish with their code byte.
  EXPECT_EQ(expand("a\xff\x09z", {}).bytes, z("az"));
}

TEST(SqlTmplExpand, GivenAndEmptyTests) {
  const char *t = "[if 1 given 2] A [else 1] B [end 1]";
  EXPECT_EQ(expand(t, {"x", "SALES"}).bytes, z(" A "));
  for (const char *empty : {kNull, "", "   ", "%"}) EXPECT_EQ(expand(t, {"x", empty}).bytes, z(" B ")) << (empty ? empty : "NULL");
  // An out-of-range argument tests as the empty string.
  EXPECT_EQ(expand(t, {"x"}).bytes, z(" B "));
}

TEST(SqlTmplExpand, PatternTestRewritesEscapedArgument) {
  const char *t = "[if 1 pattern 2]LIKE '{2}'[else 1]= '{2}'[end 1]";
  EXPECT_EQ(expand(t, {"", "EMP%"}).bytes, z("LIKE 'EMP%'"));
  Expansion e = expand(t, {"", "EMP\\%"});
  EXPECT_EQ(e.bytes, z("= 'EMP%'"));
  EXPECT_EQ(e.argsAfter[1], "EMP%");
  // Testing the same argument twice: the first test rewrites A\_B to A_B,
  // which the second test then sees as a pattern.
  e = expand("[if 1 pattern 1]p[else 1]e[end 1][if 1 pattern 1]p[else 1]e[end 1]", {"A\\_B"});
  EXPECT_EQ(e.bytes, z("ep"));
  EXPECT_EQ(expand("[if 1 exact 1]e[end 1]", {"EMP"}).bytes, z("e"));
}

TEST(SqlTmplExpand, NestedAndElifChains) {
  const char *nested = "[if 1 given 2] x [if 2 pattern 2] y [else 2] z [end 2] w [end 1]";
  EXPECT_EQ(expand(nested, {"", "E%"}).bytes, z(" x  y  w "));
  EXPECT_EQ(expand(nested, {"", "EMP"}).bytes, z(" x  z  w "));
  EXPECT_EQ(expand(nested, {"", "%"}).bytes, z(""));

  const char *chain = "<[if 1 empty 4] P [elif 1 given 3] Q [else 1] R [end 1]>";
  struct Case {
    const char *a3, *a4, *want;
  } cases[] = {{"G", "", "< P >"}, {"G", "T", "< Q >"}, {"", "T", "< R >"}, {kNull, kNull, "< P >"}};
  for (const Case &c : cases) EXPECT_EQ(expand(chain, {"", "", c.a3, c.a4}).bytes, z(c.want));
  // Conditionals of the same level one after another.
  EXPECT_EQ(expand("[if 1 given 1]a[end 1][if 1 empty 1]b[end 1]", {"v"}).bytes, z("a"));
}

TEST(SqlTmplExpand, MalformedTemplatesStopAtTheEnd) {
  // A false test without any later directive of its level, a directive cut by
  // the end of the text, a kept branch whose end is missing: never read past
  // the terminating NUL.
  struct Case {
    std::string tmpl;
    const char *want;
  } cases[] = {
      {sqltmpl::fromNotation("a[if 1 given 1]b"), "a"},
      {sqltmpl::fromNotation("a[if 1 empty 1]b[else 1]c"), "ab"},
      {"a\xff", "a"},
      {"a\xff\x01", "a"},
      {"a\xff\x02\x01", "a"},
      {"a\xff\x02\x01\x02", "a"},
      {"a\xff\x04", "a"},
  };
  for (const Case &c : cases) {
    MemPool pool;
    mpl_init(&pool);
    char empty[] = "";
    char *args[] = {empty};
    SqlTmpl_Expand(&pool, c.tmpl.c_str(), args, 1);
    const size_t size = mpl_object_size(&pool);
    EXPECT_EQ(std::string(static_cast<const char *>(mpl_finish(&pool)), size), z(c.want));
    mpl_free_all(&pool);
  }
}

TEST(SqlTmplExpand, QuotedExpansionDoublesQuotesInsideLiteralsOnly) {
  const char *t = "WHERE o = '{1}' AND t IN ({2}) AND \"{3}\" = 1";
  // Byte for byte for the cursor layer's callers.
  EXPECT_EQ(expand(t, {"O'NEIL", "'A','B'", "x"}).bytes, z("WHERE o = 'O'NEIL' AND t IN ('A','B') AND \"x\" = 1"));
  // Quoted: the literal's argument is doubled, the type list and identifiers stay.
  EXPECT_EQ(expand(t, {"O'NEIL", "'A','B'", "it's"}, true).bytes,
            z("WHERE o = 'O''NEIL' AND t IN ('A','B') AND \"it's\" = 1"));
  EXPECT_EQ(expand("o = '{1}'", {"x' OR 'a'='a"}, true).bytes, z("o = 'x'' OR ''a''=''a'"));
  // Quote state follows only the emitted branch; a literal quote pair '' keeps it.
  EXPECT_EQ(expand("[if 1 given 2]'[end 1]a = '{1}' AND b = 'it''s {1}'", {"q'", ""}, true).bytes,
            z("a = 'q''' AND b = 'it''s q'''"));
}

TEST(SqlTmplNotation, FilterShorthands) {
  const char *t = "WHERE [match 1 T.OWNER 2] [eq 1 T.NAME 3] 1=1";
  EXPECT_EQ(expand(t, {"", "SALES", "EMP"}).bytes, z("WHERE   T.OWNER = 'SALES' AND    T.NAME = 'EMP' AND  1=1"));
  EXPECT_EQ(expand(t, {"", "S%", "E%"}).bytes, z("WHERE   T.OWNER LIKE 'S%' ESCAPE '\\' AND    T.NAME = 'E%' AND  1=1"));
  EXPECT_EQ(expand(t, {"", "%", ""}).bytes, z("WHERE   1=1"));
}

TEST(SqlTmplPatterns, EmptyAndWildcardTests) {
  struct Case {
    const char *in;
    int empty, wildcard;
    const char *after;
  } cases[] = {
      {"", 1, 0, ""},        {"   ", 1, 0, "   "},   {"%", 1, 1, "%"},           {"%%", 0, 1, "%%"},
      {" %", 0, 1, " %"},    {"EMP", 0, 0, "EMP"},  {"A\\B", 0, 0, "A\\B"},     {"%ABC", 0, 1, "%ABC"},
      {"_", 0, 1, "_"},      {"A_B", 0, 1, "A_B"},  {"A\\_B", 0, 0, "A_B"},     {"EMP\\%", 0, 0, "EMP%"},
      {"A\\_B_", 0, 1, "A\\_B_"}, {"A\\\\%", 0, 0, "A\\%"}, {"\\X\\_", 0, 0, "\\X_"}, {"\t", 0, 0, "\t"},
  };
  for (const Case &c : cases) {
    std::string buf = c.in;
    EXPECT_EQ(SqlTmpl_IsEmptyArg(buf.c_str()), c.empty) << c.in;
    EXPECT_EQ(SqlTmpl_HasWildcard(buf.data()), c.wildcard) << c.in;
    EXPECT_STREQ(buf.c_str(), c.after) << c.in;
  }
  EXPECT_EQ(SqlTmpl_IsEmptyArg(nullptr), 1);
  EXPECT_EQ(SqlTmpl_HasWildcard(nullptr), 0);
}

} // namespace
