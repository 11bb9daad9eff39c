// The SQL grammar: regenerated texts of statements of every kind, the tree
// shapes the analysis relies on, and the parser's limits.
#include <gtest/gtest.h>

#include <cctype>
#include <cstdlib>
#include <string>

#include "scrs/ptree.h"
#include "scrs/sqlscan.h"

namespace {

struct Parsed {
  PTNode *root = nullptr;
  int rc = -1;
  std::string errPos, errMsg;
  explicit Parsed(const std::string &sql) {
    char *pos = nullptr, *msg = nullptr;
    rc = scsql_Parse(sql.c_str(), sql.size(), &root, &pos, &msg);
    if (pos) errPos = pos;
    if (msg) errMsg = msg;
    free(pos);
    free(msg);
    if (root) PT_Regenerate(root);
  }
  ~Parsed() { PT_SubtreeFree(&root, PT_NodeFree); }
  std::string Text() const { return std::string(PT_Text(root)); }
};

// Whitespace dropped and letters upper-cased outside quotes: what a
// regeneration may change.
std::string Normal(const std::string &s) {
  std::string out;
  char quote = 0;
  for (char c : s) {
    if (quote) {
      out += c;
      if (c == quote) quote = 0;
    } else if (c == '\'' || c == '"' || c == '`') {
      quote = c;
      out += c;
    } else if (!isspace(static_cast<unsigned char>(c))) {
      out += static_cast<char>(toupper(static_cast<unsigned char>(c)));
    }
  }
  return out;
}

TEST(SqlGram, RegeneratesStatementsOfEveryKind) {
  const struct {
    const char *sql;
    const char *expected;  // when the regeneration rewrites (else the input)
  } cases[] = {
      {"SELECT a, b AS x, c y FROM t WHERE a = 1 AND (b < 2 OR NOT c >= 3)", nullptr},
      {"SELECT DISTINCT t.a, o.t.b, u.* FROM o.t t, u WHERE t.a = u.a ORDER BY 1 DESC, t.b ASC", nullptr},
      {"SELECT a FROM t INNER JOIN u ON t.k = u.k LEFT OUTER JOIN v ON v.k = u.k", nullptr},
      {"SELECT a FROM t RIGHT JOIN u ON t.k = u.k FULL OUTER JOIN w ON w.k = t.k", nullptr},
      {"SELECT a FROM {oj t LEFT OUTER JOIN u ON t.k = u.k}", "SELECT a FROM { oj t LEFT OUTER JOIN u ON t.k = u.k }"},
      {"SELECT {fn UCASE(a)}, {d '2020-01-02'}, {t '10:11:12'}, {ts '2020-01-02 10:11:12.123'} FROM t", nullptr},
      {"SELECT a FROM t WHERE a LIKE 'x\\_%' {escape '\\'}", nullptr},
      {"SELECT a FROM t WHERE a LIKE ? ESCAPE '!' AND b NOT LIKE 'y'", nullptr},
      {"SELECT --(*vendor(Microsoft),product(ODBC) fn UCASE(a) *)-- FROM t",
       "SELECT  --(* VENDOR(Microsoft), PRODUCT(ODBC)  fn UCASE( a )  *)-- FROM t"},
      {"SELECT CASE a WHEN 1 THEN 'x' ELSE 'y' END, CASE WHEN b > 1 THEN 2 END FROM t", nullptr},
      {"SELECT a FROM t WHERE b IN (SELECT b FROM u WHERE u.c = t.c) AND EXISTS (SELECT 1 FROM v)", nullptr},
      {"SELECT a FROM t WHERE b > ALL (SELECT b FROM u) OR c = ANY (SELECT c FROM u)", nullptr},
      {"SELECT a FROM t UNION SELECT b FROM u UNION ALL SELECT c FROM v ORDER BY 1", nullptr},
      {"SELECT TOP 10 a FROM t", nullptr},
      {"SELECT TOP 5 PERCENT WITH TIES a FROM t", nullptr},
      {"SELECT x.a FROM (SELECT a FROM t WHERE a > 0) x WHERE x.a < 9", nullptr},
      {"SELECT a FROM t WHERE a IN (1, 'two', ?, USER, 2.5, 1e3, 0xFF) AND b NOT IN (3)", nullptr},
      {"SELECT \"Col.A\", \"my col\" FROM \"Sch.x\".\"Tab le\" WHERE \"Col.A\" = 'it''s'", nullptr},
      {"SELECT a FROM t WHERE s = 'abc' OR s = 'ABC'", nullptr},
      {"SELECT a FROM t WHERE a != 1 AND b ^= 2 AND c <> 3", nullptr},
      {"SELECT COUNT(*), COUNT(DISTINCT a), SUM(b + 1), MAX(c) FROM t GROUP BY d, t.e HAVING SUM(b) > 10", nullptr},
      {"SELECT a || 'x' || b, -c, +d, (e + f) * g / h - 1 FROM t", nullptr},
      {"SELECT f(a, b), g(), EXTRACT(YEAR FROM d), POSITION(a IN b) FROM t", nullptr},
      {"SELECT a FROM t WHERE b IS NULL AND c IS NOT NULL AND ? IS NULL AND d BETWEEN 1 AND ? AND e NOT BETWEEN ? AND 5",
       nullptr},
      {"SELECT USER FROM t WHERE t.a *= u.a", nullptr},
      {"SELECT a FROM o.t@link, t@link x, \"T\"@link", nullptr},
      {"SELECT a FROM q:o.t, q2:t2, a..b", nullptr},
      {"INSERT INTO t VALUES (?, 1, 'x')", nullptr},
      {"INSERT INTO t (a, b) VALUES (?, ?)", nullptr},
      {"INSERT INTO t (a, b) SELECT a, b FROM u WHERE c = ?", nullptr},
      {"UPDATE t SET a = ?, b = NULL, c = c + 1 WHERE d = ?", nullptr},
      {"UPDATE t SET a <> 1", "UPDATE t SET a = 1"},
      {"UPDATE t SET a = 1 WHERE CURRENT OF c1", nullptr},
      {"UPDATE t FROM u SET a = 1 WHERE t.k = u.k", nullptr},
      {"DELETE FROM t WHERE a = ? -- the rest\n AND b = 2", "DELETE FROM t WHERE a = ? AND b = 2"},
      {"DELETE FROM t WHERE CURRENT OF c1", nullptr},
      {"SELECT 1 - /* c */ 2 FROM t", "SELECT 1 - 2 FROM t"},
      {"SELECT 1 -- x\n FROM t", "SELECT 1 FROM t"},
  };
  for (const auto &c : cases) {
    Parsed p(c.sql);
    ASSERT_EQ(p.rc, 0) << c.sql << " -> " << p.errPos;
    EXPECT_EQ(Normal(p.Text()), Normal(c.expected ? c.expected : c.sql)) << c.sql << "\n -> " << p.Text();
    // A second regeneration gives the same text.
    std::string first = p.Text();
    ASSERT_EQ(PT_Regenerate(p.root), 1);
    EXPECT_EQ(p.Text(), first);
  }
}

TEST(SqlGram, RejectsWhatTheGrammarLacks) {
  const char *cases[] = {
      "SELECT a FROM (SELECT a FROM t)",            // a derived table needs an alias
      "SELECT a FROM t WHERE b IN (SELECT b FROM u ORDER BY b)",
      "SELECT a FROM t WHERE b IN (SELECT b)",      // a subquery needs FROM
      "SELECT a FROM t ORDER BY a + 1",
      "SELECT a FROM t WHERE b IN (c)",             // an IN list holds values only
      "SELECT a FROM t;",
      "SELECT a FROM t WHERE a = 1 )",
  };
  for (const char *sql : cases) {
    Parsed p(sql);
    EXPECT_EQ(p.rc, 1) << sql;
    EXPECT_EQ(p.errMsg, "syntax error") << sql;
    EXPECT_EQ(p.root, nullptr);
  }
}

TEST(SqlGram, TreeShapes) {
  {
    Parsed p("BEGIN foo; END;");
    ASSERT_EQ(p.rc, 0);
    EXPECT_EQ(p.root->type, PT_OTHER);
    EXPECT_EQ(p.root->count, 0);
  }
  {
    Parsed p("{call p(?)}");
    ASSERT_EQ(p.rc, 0);
    EXPECT_EQ(p.root->type, PT_CALL);
  }
  {
    Parsed p("SELECT 1 WHERE");  // no FROM; WHERE with an empty condition
    ASSERT_EQ(p.rc, 0);
    PTNode *cond = PT_FindType(p.root, PT_CONDITION);
    ASSERT_NE(cond, nullptr);
    EXPECT_EQ(cond->count, 0);
    EXPECT_EQ(PT_FindType(p.root, PT_TABLELIST), nullptr);
  }
  {
    // ORDER BY after a UNION belongs to the last query specification.
    Parsed p("SELECT a FROM t UNION SELECT b FROM u ORDER BY 1");
    ASSERT_EQ(p.rc, 0);
    PTNode *stmtOrder = PT_Child(p.root, 2);
    ASSERT_EQ(stmtOrder->type, PT_ORDERPART);
    EXPECT_EQ(stmtOrder->count, 0);
    PTNode *un = PT_FindType(p.root, PT_UNION);
    ASSERT_NE(un, nullptr);
    EXPECT_NE(PT_FindType(un->child, PT_ORDERBY), nullptr);
  }
  {
    // NOT binds tighter than AND; OR groups from the left.
    Parsed p("SELECT a FROM t WHERE NOT a = 1 AND b = 2 OR c = 3 OR d = 4");
    ASSERT_EQ(p.rc, 0);
    PTNode *cond = PT_FindType(p.root, PT_CONDITION);
    EXPECT_EQ(PT_Text(cond), "NOT a = 1 AND b = 2 OR c = 3 OR d = 4");
    EXPECT_EQ(PT_Text(PT_Child(cond, 1)), "NOT a = 1 AND b = 2 OR c = 3");
    EXPECT_EQ(PT_Text(PT_Child(PT_Child(cond, 1), 1)), "NOT a = 1 AND b = 2");
    EXPECT_EQ(PT_Text(PT_Child(PT_Child(PT_Child(cond, 1), 1), 1)), "NOT a = 1");
  }
  {
    // A comparison with a subquery on its right has the subquery as child.
    Parsed p("SELECT a FROM t WHERE a = (SELECT MAX(a) FROM u) AND b = (SELECT 1 FROM v) + 1");
    ASSERT_EQ(p.rc, 0);
    VArray *cmp = VArray_New(sizeof(PTNode *));
    ASSERT_EQ(PT_CollectBelow(PT_COMPARISON, p.root, cmp), 1);
    ASSERT_EQ(cmp->count, 2u);
    EXPECT_EQ(PT_Child(VArray_Get<PTNode *>(cmp, 0), 3)->type, PT_SUBQUERY);
    EXPECT_EQ(PT_Child(VArray_Get<PTNode *>(cmp, 1), 3)->type, PT_EXPR);
    VArray_Free(&cmp, nullptr);
  }
  {
    // Table-name parts: qualifier 63, owner 57, table 87.
    Parsed p("SELECT a FROM q.o.t");
    PTNode *name = PT_FindType(p.root, PT_TABLENAME);
    ASSERT_EQ(name->count, 3);
    EXPECT_EQ(PT_Child(name, 1)->type, PT_QUALIFIER);
    EXPECT_EQ(PT_Child(name, 2)->type, PT_OWNER);
    EXPECT_EQ(PT_Child(name, 3)->type, PT_TABLEPART);
  }
  {
    // The INSERT source keeps VALUES, its value list the first child.
    Parsed p("INSERT INTO t VALUES (1, ?)");
    PTNode *src = PT_FindType(p.root, PT_INSSOURCE);
    EXPECT_EQ(src->child->type, PT_VALUELIST);
    EXPECT_EQ(PT_Text(src), "VALUES (1, ?)");
  }
}

TEST(SqlGram, StackLimitAndBudgets) {
  // 20000 nested parentheses pass the parser's 10000 stack entries.
  std::string deep = "SELECT a FROM t WHERE " + std::string(20000, '(') + "a = 1" + std::string(20000, ')');
  Parsed p(deep);
  EXPECT_EQ(p.rc, 2);
  EXPECT_EQ(p.errMsg, "memory exhausted");
  // 4000 are within it.
  std::string fine = "SELECT a FROM t WHERE " + std::string(4000, '(') + "a = 1" + std::string(4000, ')');
  EXPECT_EQ(Parsed(fine).rc, 0);
}

}  // namespace
