// SQL analysis: SELECT flags, table references, select-list and ORDER BY
// items, the rewrites with their marker, and hostile input.
#include "scrs/scr.h"

#include <gtest/gtest.h>
#include <pthread.h>

#include <string>
#include <vector>

#include "odbc/sqlstate.h"

namespace {

struct Analysed {
  AnalysedSQL a;
  int rc;
  Analysed(const std::string &sql, int mode = 0, int keepQualifier = 1) {
    SCR_AnalysedInit(&a);
    rc = SCR_AnalyseSQL(&a, sql.c_str(), mode, keepQualifier);
  }
  ~Analysed() { SCR_AnalysedFree(&a); }
  std::string Text() const { return std::string(PT_Text(a.root)); }
};

// The regenerated text with runs of blanks made one, none before "," and
// the marker shown as "#".
std::string Shown(std::string s) {
  std::string out;
  for (size_t i = 0; i < s.size(); ++i) {
    if (s.compare(i, 3, PT_MARKER) == 0) {
      out += '#';
      i += 2;
    } else if (s[i] == ' ' && (out.empty() || out.back() == ' ')) {
      continue;
    } else if (s[i] == ',' && !out.empty() && out.back() == ' ') {
      out.back() = ',';
    } else {
      out += s[i];
    }
  }
  while (!out.empty() && out.back() == ' ') out.pop_back();
  return out;
}

TEST(ScrAnalyse, KindsAndFlags) {
  const struct {
    const char *sql;
    int mode, kind;
    uint16_t flags;
  } cases[] = {
      {"  SELECT a FROM t", 0, 74, 0},
      {"SELECT a FROM t WHERE b = 1 ORDER BY a", 0, 74, SCR_ORDERBY},
      {"SELECT a, COUNT(*) FROM t, u GROUP BY a", 0, 74, SCR_GROUPBY | SCR_MULTITABLE | SCR_AGGREGATE},
      {"SELECT a FROM t UNION SELECT b FROM u", 0, 74, SCR_UNION},
      {"SELECT a FROM t LEFT OUTER JOIN u ON t.k = u.k", 0, 74, SCR_OUTERJOIN | SCR_MULTITABLE},
      {"SELECT a FROM t WHERE t.k *= u.k", 0, 74, SCR_OUTERJOIN},
      {"SELECT a FROM t WHERE b IN (SELECT MAX(b) FROM u)", 0, 74, SCR_AGGREGATE},
      {"SELECT 1", 0, 74, 0},
      {"SELECT a FROM t, u ORDER BY a", 1, 74, 0},  // other modes compute no flags
      {"INSERT INTO t VALUES (1)", 0, 28, 0},
      {"UPDATE t SET a = 1", 0, 97, 0},
      {"UPDATE t SET a = 1 WHERE CURRENT OF c", 0, 96, 0},
      {"DELETE FROM t", 0, 19, 0},
      {"DELETE FROM t WHERE CURRENT OF c", 0, 18, 0},
      {"begin null; end;", 0, 0, 0},
      {"{call p}", 0, 61, 0},
  };
  for (const auto &c : cases) {
    Analysed x(c.sql, c.mode);
    EXPECT_EQ(x.rc, 0) << c.sql;
    EXPECT_EQ(x.a.kind, c.kind) << c.sql;
    EXPECT_EQ(x.a.flags, c.flags) << c.sql;
  }
  Analysed bad("SELECT a FROM t WHERE");
  EXPECT_EQ(bad.rc, 0);  // an empty condition is accepted
  Analysed worse("SELECT a FROM WHERE x");
  EXPECT_EQ(worse.rc, E_37000);
  EXPECT_EQ(worse.a.kind, 0);
  EXPECT_STREQ(worse.a.errMsg, "syntax error");
  EXPECT_STREQ(worse.a.text2, "SELECT a FROM WHERE^");
  EXPECT_STREQ(worse.a.text, "SELECT a FROM WHERE x");
}

TEST(ScrAnalyse, TableReferences) {
  const struct {
    const char *sql;
    int keep;
    std::vector<std::string> refs;  // qualifier|owner|table|alias
  } cases[] = {
      {"SELECT a FROM t, u x", 1, {"||t|", "||u|x"}},
      {"SELECT a FROM a.b.c", 1, {"a|b|c|"}},
      {"SELECT a FROM q:o.t AS z", 1, {"q|o|t|z"}},
      {"SELECT a FROM o..t", 1, {"o||t|"}},
      {"SELECT a FROM q:t", 1, {"q||t|"}},
      {"SELECT a FROM o.t@link", 1, {"|o|t|"}},
      {"SELECT a FROM t@link x", 1, {"||t|x"}},
      {"SELECT a FROM a.b.c, q:t", 0, {"|b|c|", "||t|"}},
      {"SELECT a FROM \"S.x\".\"T.y\"", 1, {"|\"S.x\"|\"T.y\"|"}},
      {"SELECT a FROM t INNER JOIN u ON t.k = u.k", 1, {"||t|", "||u|"}},
      {"SELECT 1", 1, {}},
  };
  for (const auto &c : cases) {
    Analysed x(c.sql);
    ASSERT_EQ(x.rc, 0) << c.sql;
    VArray *v = VArray_New(sizeof(TableRef));
    ASSERT_EQ(SCR_TablesGet(&x.a, v, c.keep), 0) << c.sql;
    std::vector<std::string> got;
    for (uint32_t i = 0; i < v->count; ++i) {
      auto *t = static_cast<TableRef *>(VArray_At(v, i));
      got.push_back(std::string(t->qualifier) + "|" + t->owner + "|" + t->table + "|" + t->alias);
    }
    EXPECT_EQ(got, c.refs) << c.sql;
    VArray_Free(&v, SCR_TableRefFree);
  }
}

TEST(ScrAnalyse, SelectListItems) {
  const struct {
    const char *sql;
    std::vector<std::string> items;  // kind:name|table|owner
  } cases[] = {
      {"SELECT * FROM t", {"1:||"}},
      {"SELECT t.*, o.t.* FROM t", {"2:|t|", "2:|o.t|"}},
      {"SELECT a, t.a, o.t.a, a x FROM t", {"4:a||", "4:a|t|", "4:a|t|o", "4:a||"}},
      {"SELECT a + 1, -a, (a), COUNT(*), {fn UCASE(a)}, f(a), 'x' FROM t",
       {"3:a + 1||", "3:-a||", "3:( a )||", "3:COUNT (*)||", "3:{ fn UCASE( a ) }||", "3:f( a )||", "3:'x'||"}},
      // A CASE is an expression, not the first column inside it.
      {"SELECT CASE WHEN b = 1 THEN a END FROM t", {"3:CASE WHEN b = 1 THEN a END||"}},
      {"SELECT \"A.B\" FROM t", {"4:\"A.B\"||"}},
  };
  for (const auto &c : cases) {
    Analysed x(c.sql);
    ASSERT_EQ(x.rc, 0) << c.sql;
    VArray *v = VArray_New(sizeof(ScsColDesc));
    ASSERT_EQ(SCR_SelectColsGet(&x.a, v), 0) << c.sql;
    std::vector<std::string> got;
    for (uint32_t i = 0; i < v->count; ++i) {
      auto *d = static_cast<ScsColDesc *>(VArray_At(v, i));
      got.push_back(std::to_string(d->kind) + ":" + d->name + "|" + d->table + "|" + d->owner);
    }
    EXPECT_EQ(got, c.items) << c.sql;
    VArray_Free(&v, nullptr);
  }
  // Names are never cut: a longer item fails.
  Analysed longItem("SELECT a + " + std::string(600, '1') + " FROM t");
  VArray *v = VArray_New(sizeof(ScsColDesc));
  EXPECT_EQ(SCR_SelectColsGet(&longItem.a, v), E_S1000);
  VArray_Free(&v, nullptr);
}

TEST(ScrAnalyse, OrderByItemsAndNumbers) {
  Analysed x("SELECT a, b FROM t ORDER BY 2 DESC, t.a, o.t.c ASC");
  ASSERT_EQ(x.rc, 0);
  VArray *v = VArray_New(sizeof(ScsOrderCol));
  ASSERT_EQ(SCR_OrderColsGet(&x.a, v), 0);
  ASSERT_EQ(v->count, 3u);
  auto *c = static_cast<ScsOrderCol *>(VArray_At(v, 0));
  EXPECT_EQ(c->colNumber, 2);
  EXPECT_EQ(c->desc, 1);
  EXPECT_TRUE(x.a.flags & SCR_ORDERBYNUM);
  c = static_cast<ScsOrderCol *>(VArray_At(v, 1));
  EXPECT_EQ(c->colNumber, 0);
  EXPECT_STREQ(c->text, "t.a");
  EXPECT_STREQ(c->name, "a");
  EXPECT_STREQ(c->table, "t");
  c = static_cast<ScsOrderCol *>(VArray_At(v, 2));
  EXPECT_STREQ(c->owner, "o");
  EXPECT_EQ(c->desc, 0);

  // Numbers resolve to the text of the record with that number.
  strcpy(static_cast<ScsOrderCol *>(VArray_At(v, 0))->text, "b");
  ASSERT_EQ(SCR_OrderNumbersResolve(&x.a, v), 0);
  EXPECT_EQ(Shown(x.Text()), "SELECT a, b FROM t ORDER BY b DESC, t.a, o.t.c ASC");
  VArray_Free(&v, nullptr);

  // A number no record has, or beyond one byte, is refused.
  for (const char *sql : {"SELECT a FROM t ORDER BY 3", "SELECT a FROM t ORDER BY 258"}) {
    Analysed y(sql);
    VArray *w = VArray_New(sizeof(ScsOrderCol));
    ScsOrderCol one{};
    one.colNumber = 2;  // 258 in its low byte
    strcpy(one.text, "a");
    VArray_Append(w, &one);
    EXPECT_EQ(SCR_OrderNumbersResolve(&y.a, w), E_S1000) << sql;
    VArray_Free(&w, nullptr);
  }
  Analysed big("SELECT a FROM t ORDER BY 300");
  VArray *w = VArray_New(sizeof(ScsOrderCol));
  EXPECT_EQ(SCR_OrderColsGet(&big.a, w), E_S1000);
  VArray_Free(&w, nullptr);
}

TEST(ScrAnalyse, Rewrites) {
  const struct {
    const char *sql;
    int (*rewrite)(AnalysedSQL *);
    const char *shown;
    uint16_t flag;  // the flag the rewrite sets (0: clears or none)
  } cases[] = {
      {"SELECT a, b FROM t WHERE x = 1", SCR_SelectListMark, "SELECT # FROM t WHERE x = 1", 0},
      {"SELECT a FROM t WHERE x = 1 ORDER BY a", SCR_WhereMark, "SELECT a FROM t WHERE # AND (x = 1) ORDER BY a",
       SCR_WHERE},
      {"SELECT a FROM t ORDER BY a", SCR_WhereMark, "SELECT a FROM t # ORDER BY a", 0},
      {"SELECT a FROM t ORDER BY a, b DESC", SCR_OrderByMark, "SELECT a FROM t ORDER BY a, b DESC#", SCR_ORDERBY},
      {"SELECT a FROM t WHERE b = 1", SCR_OrderByMark, "SELECT a FROM t WHERE b = 1 #", 0},
      {"SELECT a FROM t ORDER BY a, b DESC", SCR_OrderByReverse, "SELECT a FROM t ORDER BY a DESC, b", 0},
  };
  for (const auto &c : cases) {
    Analysed x(c.sql);
    ASSERT_EQ(x.rc, 0);
    ASSERT_EQ(c.rewrite(&x.a), 0) << c.sql;
    EXPECT_EQ(Shown(x.Text()), c.shown) << c.sql;
    if (c.flag) {
      EXPECT_TRUE(x.a.flags & c.flag) << c.sql;
    }
  }
  Analysed noOrder("SELECT a FROM t");
  EXPECT_EQ(SCR_OrderByReverse(&noOrder.a), E_S1000);
  AnalysedSQL empty;
  SCR_AnalysedInit(&empty);
  EXPECT_EQ(SCR_WhereMark(&empty), E_S1000);
  EXPECT_EQ(empty.kind, -1);
}

TEST(ScrAnalyse, NameSplit) {
  char n[SCS_NAME_SIZE], t[SCS_NAME_SIZE], a[SCS_NAME_SIZE], o[SCS_NAME_SIZE], q[SCS_NAME_SIZE];
  const struct {
    const char *in, *name, *table, *owner;
  } cases[] = {{"a", "a", "", ""}, {"t.a", "a", "t", ""}, {"o.t.a", "a", "t", "o"}, {"t.\"x.y\"", "\"x.y\"", "t", ""}};
  for (const auto &c : cases) {
    ASSERT_EQ(SCR_NameSplit(c.in, n, t, a, o, q), 0);
    EXPECT_STREQ(n, c.name);
    EXPECT_STREQ(t, c.table);
    EXPECT_STREQ(o, c.owner);
    EXPECT_STREQ(a, "");
  }
  EXPECT_EQ(SCR_NameSplit(std::string(509, 'x').c_str(), n, t, a, o, q), E_S1000);
  EXPECT_EQ(SCR_NameSplit(std::string(508, 'x').c_str(), n, t, a, o, q), 0);
}

// ---- Hostile input -------------------------------------------------------------------------

std::string Joined(const std::string &head, const std::string &item, const std::string &sep, int n,
                   const std::string &tail) {
  std::string s = head;
  s.reserve(head.size() + static_cast<size_t>(n) * (item.size() + sep.size() + 8) + tail.size());
  for (int i = 0; i < n; ++i) {
    if (i) s += sep;
    s += item + std::to_string(i);
  }
  return s + tail;
}

std::vector<std::string> HostileStatements() {
  return {
      Joined("SELECT a FROM t WHERE a IN (", "", ", ", 100000, ")"),
      Joined("SELECT a FROM t WHERE ", "a = ", " OR ", 100000, ""),
      "SELECT a FROM t WHERE " + std::string(20000, '(') + "a = 1" + std::string(20000, ')'),
      Joined("SELECT ", "c", ", ", 120000, " FROM t"),  // about 1 MiB
  };
}

// Each analyses or fails cleanly; every result code is one the caller knows.
void AnalyseHostile(std::vector<int> *codes) {
  for (const auto &sql : HostileStatements()) {
    AnalysedSQL a;
    SCR_AnalysedInit(&a);
    int rc = SCR_AnalyseSQL(&a, sql.c_str(), 0, 0);
    if (rc == 0) rc = SCR_WhereMark(&a);
    codes->push_back(rc);
    SCR_AnalysedFree(&a);
  }
}

TEST(ScrAnalyse, HostileInputIsBounded) {
  std::vector<int> codes;
  AnalyseHostile(&codes);
  ASSERT_EQ(codes.size(), 4u);
  EXPECT_EQ(codes[0], 0);        // the IN list
  EXPECT_EQ(codes[1], 0);        // the OR chain
  EXPECT_EQ(codes[2], E_37000);  // nesting beyond the parser's stack
  EXPECT_EQ(codes[3], 0);
}

TEST(ScrAnalyse, HostileInputOnASmallStack) {
  pthread_attr_t attr;
  pthread_attr_init(&attr);
  pthread_attr_setstacksize(&attr, 256 * 1024);
  std::vector<int> codes;
  pthread_t th;
  ASSERT_EQ(pthread_create(&th, &attr, [](void *p) -> void * {
    AnalyseHostile(static_cast<std::vector<int> *>(p));
    return nullptr;
  }, &codes), 0);
  pthread_join(th, nullptr);
  pthread_attr_destroy(&attr);
  EXPECT_EQ(codes, (std::vector<int>{0, 0, E_37000, 0}));
}

}  // namespace
