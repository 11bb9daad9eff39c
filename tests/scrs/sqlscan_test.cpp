// The SQL scanner: token numbers and texts of the edge cases, malformed
// text, comments, the symbol table's spelling rules and the error position.
#include "scrs/sqlscan.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

// "310 258:a 0": token numbers, a valued token's symbol text after ":".
std::string Scan(const std::string &sql, bool *ok = nullptr) {
  std::vector<ScsqlToken> toks;
  bool good = scsql_Tokens(sql.c_str(), &toks);
  if (ok) *ok = good;
  std::string out;
  for (const auto &t : toks) {
    if (!out.empty()) out += ' ';
    out += std::to_string(t.token);
    if (!t.text.empty()) out += ":" + t.text;
  }
  return out;
}

TEST(SqlScan, TokensOfEdgeCases) {
  const struct {
    const char *sql, *tokens;
  } cases[] = {
      {"SELECT a FROM t ORDER BY a", "310 258:a 288 258:t 305 281 258:a 0"},
      {"SELECT a FROM t ORDER\tBY a", "310 258:a 288 258:t 305 281 258:a 0"},
      {"SELECT order FROM t", "310 258:order 288 258:t 0"},
      {"SELECT orderby FROM t", "310 258:orderby 288 258:t 0"},
      {"SELECT a FROM t ORDER BYX", "310 258:a 288 258:t 305 258:BYX 0"},
      {"SELECT x@12 FROM t", "310 258:x@12 288 258:t 0"},
      // Against a name, "@name" is a database link: name, "@", name.
      {"SELECT x@y FROM t", "310 258:x 64 258:y 288 258:t 0"},
      {"SELECT \"T\"@l, @y FROM o.t@db1", "310 258:\"T\" 64 258:l 44 258:@y 288 258:o 46 258:t 64 258:db1 0"},
      {"SELECT @@y, @ 1, @1", "310 258:@@y 44 64 260:1 44 64 260:1 0"},
      {"SELECT a-b, 1-2", "310 258:a-b 44 260:1 45 260:2 0"},
      {"SELECTED x", "306 0"},
      {"SELECT_x", "310 258:_x 0"},
      {"  begin x; end;", "306 0"},
      {"{call p(?)}", "329 0"},
      {"select D'2020-01-01'", "310 258:D 259:'2020-01-01' 0"},
      {"select {d '2020-01-01'}, {t '10:11:12'}, {ts '2020-01-01 10:11:12.5'}",
       "310 327 266:d '2020-01-01' 328 44 327 267:t '10:11:12' 328 44 327 268:ts '2020-01-01 10:11:12.5' 328 0"},
      {"select {oj a left outer join b on x and y}", "310 327 302 258:a 298 304 297 258:b 303 258:x 258:and 258:y 328 0"},
      {"select 'it''s'", "310 259:'it''s' 0"},
      {"select a;", "310 258:a 59 0"},
      {"select a || b, 1.5, .5, 2., 1e5, 1.5E-3, 0x1F", "310 258:a 271 258:b 44 261:1.5 44 261:.5 44 261:2. 44 262:1e5 44 262:1.5E-3 44 269:0x1F 0"},
      {"select count(*), Sum(x) from t", "310 264:count 40 42 41 44 264:Sum 40 258:x 41 288 258:t 0"},
      {"select a where a *= b and c =* d", "310 258:a 316 258:a 270:*= 258:b 273 258:c 270:=* 258:d 0"},
      {"select a from t left join u", "310 258:a 288 258:t 298 297 258:u 0"},
      {"select left from t", "310 258:left 288 258:t 0"},
      {"select a from t where a like 'x' escape '\\'", "310 258:a 288 258:t 316 258:a 299 259:'x' 265:escape '\\' 0"},
      {"select --(*vendor(Microsoft),product(ODBC) fn f() *)--", "310 325 287 258:f 40 41 326 0"},
      // Oracle's other not-equal spellings keep their text.
      {"select a where a != b or a ^= b or a ~= b", "310 258:a 316 258:a 263:!= 258:b 272 258:a 263:^= 258:b 272 258:a 263:~= 258:b 0"},
      // Quoted names hold any character but their quote.
      {"select \"A.B\", \"x y\", `q-r`", "310 258:\"A.B\" 44 258:\"x y\" 44 258:`q-r` 0"},
      // Comments are skipped as Oracle skips them; the vendor opening wins.
      {"select 1 -- x\n, 2", "310 260:1 44 260:2 0"},
      {"select 1 --x", "310 260:1 0"},
      {"select 1 /* a * / b */ + 2", "310 260:1 43 260:2 0"},
      {"/* c */ select a--x\n from t", "310 258:a 288 258:t 0"},
  };
  for (const auto &c : cases) EXPECT_EQ(Scan(c.sql), c.tokens) << c.sql;
}

TEST(SqlScan, MalformedTextFailsInsteadOfBeingDropped) {
  const char *cases[] = {
      "select a where a # b",             // a character no rule places
      "select 'abc",                      // unterminated string at the end
      "select 'abc\n' from t",            // cut by a newline
      "select \"abc from t",              // unterminated quoted name
      "select a /* never closed",         // unterminated comment
      "select a from t }",                // a closing bracket outside an escape
      "  (select a from t)",              // text before the first word
  };
  for (const char *sql : cases) {
    bool ok = true;
    Scan(sql, &ok);
    EXPECT_FALSE(ok) << sql;
  }
}

TEST(SqlScan, SymbolsFoldCaseOnlyForUnquotedTokens) {
  // The first spelling of a name stands for all; literals and quoted names
  // keep their own.
  EXPECT_EQ(Scan("select Abc, ABC, 'x', 'X', \"q\", \"Q\""),
            "310 258:Abc 44 258:Abc 44 259:'x' 44 259:'X' 44 258:\"q\" 44 258:\"Q\" 0");
}

TEST(SqlScan, ErrorPositionShowsTheStatementUpToTheError) {
  PTNode *root = nullptr;
  char *pos = nullptr, *msg = nullptr;
  const std::string sql = "select x from (select  a\n from t where)";
  EXPECT_EQ(scsql_Parse(sql.c_str(), sql.size(), &root, &pos, &msg), 1);
  EXPECT_EQ(root, nullptr);
  ASSERT_NE(pos, nullptr);
  EXPECT_STREQ(pos, "select a from t where)^");
  EXPECT_STREQ(msg, "syntax error");
  free(pos);
  free(msg);
}

TEST(SqlScan, SymbolTableStaysBalanced) {
  BsTree *t = BsTree_New(scsql_SymCompare, scsql_SymCreate, scsql_SymDestroy);
  ASSERT_NE(t, nullptr);
  for (int i = 0; i < 5000; ++i) ASSERT_NE(BsTree_FindOrInsert(t, std::to_string(i).c_str()), nullptr);
  BsTreeNode *again = BsTree_FindOrInsert(t, "4999");
  EXPECT_EQ(t->count, 5000);
  EXPECT_STREQ(static_cast<ScsqlSymbol *>(again->item)->text, "4999");
  EXPECT_LE(t->root->height, 18);  // an unbalanced tree of sorted keys would be 5000 deep
  BsTree_Free(t);
  EXPECT_EQ(BsTree_New(nullptr, scsql_SymCreate, scsql_SymDestroy), nullptr);
}

}  // namespace
