// The agent's request builder: escape and marker translation, ROWID rewrite,
// classification and NativeSql.
#include "drv_ora8/o-sql.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>
#include <string>

#include "odbc/sqlstate.h"

namespace {

// HANDLE_ESC_QUOTE is read once per process; its cases have their own test
// program.
const int g_noEscQuote = unsetenv("HANDLE_ESC_QUOTE");

struct Built {
  int rc;
  std::string text;
  std::string translated;
  int16_t outputCount;
  uint16_t markerCount;
  int16_t kind;
  uint16_t flags;
};

Built build(const std::string &sql, bool emptyStringIsntNull = false) {
  SqlRequest r{};
  const int rc = Request(&r, sql.c_str(), emptyStringIsntNull);
  Built b{rc, r.text ? r.text : "<null>", r.translated ? r.translated : "<null>", r.outputCount,
          r.markerCount, r.kind, r.flags};
  SqlRequest_Free(&r);
  EXPECT_EQ(r.text, nullptr);
  EXPECT_EQ(r.translated, nullptr);
  return b;
}

struct Xlate {
  const char *in;
  const char *out;
};

void expect_translations(const Xlate *cases, size_t n, bool emptyStringIsntNull = false) {
  for (size_t i = 0; i < n; ++i) {
    const Built b = build(cases[i].in, emptyStringIsntNull);
    EXPECT_EQ(b.rc, 0) << cases[i].in;
    EXPECT_EQ(b.translated, cases[i].out) << cases[i].in;
  }
}
template <size_t N>
void expect_translations(const Xlate (&cases)[N], bool emptyStringIsntNull = false) {
  expect_translations(cases, N, emptyStringIsntNull);
}

// ---------------------------------------------------------------------------

TEST(OSqlScalarFunctions, EveryFunctionByName) {
  // Names in upper case: the lookup ignores case.
  static const Xlate cases[] = {
      {"{fn ABS(x)}", " abs(x)"},
      {"{fn ACOS(x)}", " acos(x)"},
      {"{fn ASCII(x)}", " ascii(x)"},
      {"{fn ASIN(x)}", " asin(x)"},
      {"{fn ATAN(x)}", " atan(x)"},
      {"{fn ATAN2(x, y)}", " atan2(x, y)"},
      {"{fn BIT_LENGTH(x)}", " lengthb((x))*8"},
      {"{fn CEILING(x)}", " ceil(x)"},
      {"{fn CHAR(x)}", " chr(x)"},
      {"{fn CHAR_LENGTH(x)}", " length(x)"},
      {"{fn CHARACTER_LENGTH(x)}", " length(x)"},
      {"{fn CONCAT(x, y)}", " concat(x, y)"},
      {"{fn COS(x)}", " cos(x)"},
      {"{fn COT(x)}", " DARODO7.COT(x)"},
      {"{fn CURDATE()}", " to_date(to_char(sysdate,'YYYY-MM-DD'),'YYYY-MM-DD')"},
      {"{fn CURRENT_DATE()}", " to_date(to_char(sysdate,'YYYY-MM-DD'),'YYYY-MM-DD')"},
      {"{fn CURRENT_TIME()}", " to_char(sysdate,'HH24:MI:SS')"},
      {"{fn CURRENT_TIMESTAMP()}",
       " to_date(to_char(sysdate,'YYYY-MM-DD HH24:MI:SS'),'YYYY-MM-DD HH24:MI:SS')"},
      {"{fn CURTIME()}", " to_char(sysdate,'HH24:MI:SS')"},
      {"{fn DAYNAME(x)}", " rtrim(to_char((x),'Day'))"},
      {"{fn DAYOFMONTH(x)}", " to_number(to_char((x),'DD'))"},
      {"{fn DAYOFWEEK(x)}", " to_number(to_char((x),'D'))"},
      {"{fn DAYOFYEAR(x)}", " to_number(to_char((x),'DDD'))"},
      {"{fn DEGREES(x)}", " DARODO7.DEGREES(x)"},
      {"{fn EXP(x)}", " exp(x)"},
      {"{fn EXTRACT(YEAR FROM x)}", " extract(YEAR FROM x)"},
      {"{fn FLOOR(x)}", " floor(x)"},
      {"{fn HOUR(x)}", " to_number(to_char((x),'HH24'))"},
      {"{fn IFNULL(x, 0)}", " nvl(x, 0)"},
      {"{fn INSERT(s, 1, 2, t)}", " DARODO7.INSERT_STRING(s, 1, 2, t)"},
      {"{fn LCASE(x)}", " nls_lower(x)"},
      {"{fn LEFT(x, 2)}", " DARODO7.LEFT(x, 2)"},
      {"{fn LENGTH(x)}", " length(rtrim((x)))"},
      {"{fn LOCATE(a, b)}", " DARODO7.LOCATE(a, b)"},
      {"{fn LOG(x)}", " ln(x)"},
      {"{fn LOG10(x)}", " log(10,(x))"},
      {"{fn LTRIM(x)}", " ltrim(x)"},
      {"{fn MINUTE(x)}", " to_number(to_char((x),'MI'))"},
      {"{fn MOD(x, 3)}", " mod(x, 3)"},
      {"{fn MONTH(x)}", " to_number(to_char((x),'MM'))"},
      {"{fn MONTHNAME(x)}", " rtrim(to_char((x),'Month'))"},
      {"{fn NOW()}", " sysdate"},
      {"{fn OCTET_LENGTH(x)}", " lengthb(x)"},
      {"{fn PI()}", " 3.14159265358979"},
      {"{fn POWER(x, 2)}", " power(x, 2)"},
      {"{fn QUARTER(x)}", " to_number(to_char((x),'Q'))"},
      {"{fn RADIANS(x)}", " DARODO7.RADIANS(x)"},
      {"{fn REPEAT(x, 3)}", " DARODO7.REPEAT(x, 3)"},
      {"{fn REPLACE(x, a, b)}", " replace(x, a, b)"},
      {"{fn RIGHT(x, 2)}", " DARODO7.RIGHT(x, 2)"},
      {"{fn ROUND(x, 2)}", " round(x, 2)"},
      {"{fn RTRIM(x)}", " rtrim(x)"},
      {"{fn SECOND(x)}", " to_number(to_char((x),'SS'))"},
      {"{fn SIGN(x)}", " sign(x)"},
      {"{fn SIN(x)}", " sin(x)"},
      {"{fn SOUNDEX(x)}", " soundex(x)"},
      {"{fn SPACE(3)}", " DARODO7.REPEAT(' ',(3))"},
      {"{fn SQRT(x)}", " sqrt(x)"},
      {"{fn SUBSTRING(x, 1, 2)}", " substr(x, 1, 2)"},
      {"{fn TAN(x)}", " tan(x)"},
      {"{fn TIMESTAMPADD(SQL_TSI_DAY, 1, d)}", " DARODO7.TIMESTAMPADD('SQL_TSI_DAY', 1, d)"},
      {"{fn TIMESTAMPDIFF(SQL_TSI_MONTH, a, b)}", " DARODO7.TIMESTAMPDIFF('SQL_TSI_MONTH', a, b)"},
      {"{fn TRUNCATE(x, 1)}", " trunc(x, 1)"},
      {"{fn UCASE(name)}", " nls_upper(name)"},
      {"{fn USER()}", " user"},
      {"{fn WEEK(x)}", " to_number(to_char((x),'WW'))"},
      {"{fn YEAR(x)}", " to_number(to_char((x),'YYYY'))"},
  };
  static_assert(sizeof cases / sizeof cases[0] == 67);
  expect_translations(cases);
}

TEST(OSqlScalarFunctions, CaseNamesAndUnknownFunctions) {
  static const Xlate cases[] = {
      {"{fn now()}", " sysdate"},
      {"{FN Ucase(name)}", " nls_upper(name)"},
      {"{fn ucase (x)}", " nls_upper (x)"},
      {"{fn myfunc(a)}", " myfunc(a)"},
      {"{fn zzz_after_year(a)}", " zzz_after_year(a)"},   // sorts after the last row
      {"{fn aaa(a)}", " aaa(a)"},                         // before the first row
      {"{fn ab(a)}", " ab(a)"},                           // a prefix of "abs"
      {"{fn timestampadd(sql_tsi_day, 1, d)}", " DARODO7.TIMESTAMPADD(sql_tsi_day, 1, d)"},
      {"select {fn log10(x)} from t", "select  log(10,(x)) from t"},
  };
  expect_translations(cases);
}

TEST(OSqlScalarFunctions, LookupBisectsTheWholeTable) {
  for (size_t i = 0; i < g_escScalarFunctionCount; ++i) {
    std::string upper = g_escScalarFunctions[i].name;
    for (char &c : upper) c = static_cast<char>(toupper(static_cast<unsigned char>(c)));
    EXPECT_EQ(Esc_Lookup(g_escScalarFunctions, g_escScalarFunctionCount, upper.c_str(), upper.size()),
              g_escScalarFunctions[i].templ)
        << upper;
  }
  // The name need not be terminated.
  EXPECT_STREQ(Esc_Lookup(g_escScalarFunctions, g_escScalarFunctionCount, "ucase(x)", 5), "nls_upper%");
  EXPECT_EQ(Esc_Lookup(g_escScalarFunctions, g_escScalarFunctionCount, "zzz", 3), nullptr);
  EXPECT_EQ(Esc_Lookup(g_escScalarFunctions, g_escScalarFunctionCount, "", 0), nullptr);
  EXPECT_EQ(Esc_Lookup(g_escConvertTypes, g_escConvertTypeCount, "SQL_BINARY", 10), nullptr);
}

TEST(OSqlConvert, EveryTypeName) {
  static const Xlate cases[] = {
      {"{fn CONVERT(x, SQL_BIGINT)}", "to_number(x)"},
      {"{fn CONVERT(x, SQL_BINARY)}", "x"},
      {"{fn CONVERT(x, SQL_BIT)}", "x"},
      {"{fn CONVERT(x, SQL_CHAR)}", "to_char(x)"},
      {"{fn CONVERT(x, SQL_DATE)}", "to_date(x,'YYYY-MM-DD')"},
      {"{fn CONVERT(x, SQL_DECIMAL)}", "to_number(x)"},
      {"{fn CONVERT(x, SQL_DOUBLE)}", "to_number(x)"},
      {"{fn CONVERT(x, SQL_FLOAT)}", "to_number(x)"},
      {"{fn CONVERT(col, SQL_INTEGER)}", "trunc(to_number(col))"},
      {"{fn CONVERT(x, SQL_LONGVARBINARY)}", "x"},
      {"{fn CONVERT(x, SQL_LONGVARCHAR)}", "to_char(x)"},
      {"{fn CONVERT(x, SQL_NUMERIC)}", "to_number(x)"},
      {"{fn CONVERT(x, SQL_REAL)}", "to_number(x)"},
      {"{fn CONVERT(x, SQL_SMALLINT)}", "trunc(to_number(x))"},
      {"{fn CONVERT(x, SQL_TIME)}", "to_date(x,'HH24:MI:SS')"},
      {"{fn CONVERT(x, SQL_TIMESTAMP)}", "to_date(x,'YYYY-MM-DD HH24:MI:SS')"},
      {"{fn CONVERT(x, SQL_TINYINT)}", "trunc(to_number(x))"},
      {"{fn CONVERT(x, SQL_VARBINARY)}", "x"},
      {"{fn CONVERT(x, SQL_VARCHAR)}", "to_char(x)"},
  };
  static_assert(sizeof cases / sizeof cases[0] == 19);
  expect_translations(cases);
}

TEST(OSqlConvert, Shapes) {
  static const Xlate cases[] = {
      // split at the last comma; blanks of the expression kept
      {"{fn CONVERT(substr(a, 1, 2), SQL_CHAR)}", "to_char(substr(a, 1, 2))"},
      {"{fn convert( x ,  sql_integer  )  }", "trunc(to_number( x ))"},
      {"{fn CONVERT(x, SQL_WCHAR)}", "x"},  // a type without a row
      {"{fn CONVERT({fn UCASE(x)}, SQL_CHAR)}", "to_char( nls_upper(x))"},
      {"{fn CONVERT(?, SQL_INTEGER)}", "trunc(to_number(:1))"},
  };
  expect_translations(cases);
}

TEST(OSqlLiterals, DateTimeAndTimestamp) {
  static const Xlate cases[] = {
      {"{d '2001-02-03'}", "TO_DATE('02032001','MMDDYYYY')"},
      {"{D '2001/2/3'}", "TO_DATE('02032001','MMDDYYYY')"},
      {"{d '1999-12-31'}", "TO_DATE('12311999','MMDDYYYY')"},
      {"{t '04:05:06'}", "TO_DATE('040506','HH24MISS')"},
      {"{T '23:59:59'}", "TO_DATE('235959','HH24MISS')"},
      {"{ts '2001-02-03 04:05:06.7'}", "TO_DATE('02032001040506','MMDDYYYYHH24MISS')"},
      {"{ts '1999-12-31 23:59:59'}", "TO_DATE('12311999235959','MMDDYYYYHH24MISS')"},
      {"{ts '1999-12-31'}", "TO_DATE('12311999000000','MMDDYYYYHH24MISS')"},
      {"{dt '1999-12-31 01:02:03'}", "TO_DATE('12311999010203','MMDDYYYYHH24MISS')"},
      {"{d ''}", "TO_DATE('00000000','MMDDYYYY')"},
      {"insert into t values ({d '2001-02-03'}, ?)",
       "insert into t values (TO_DATE('02032001','MMDDYYYY'), :1)"},
  };
  expect_translations(cases);
}

TEST(OSqlOuterJoin, Forms) {
  static const Xlate cases[] = {
      {"{oj a LEFT OUTER JOIN b ON a.x=b.x}", "a LEFT JOIN b ON a.x=b.x"},
      {"{oj a right outer join b on a.x=b.x}", "a RIGHT JOIN b ON a.x=b.x"},
      {"{oj a FULL OUTER JOIN b ON a.x=b.x}", "a FULL JOIN b ON a.x=b.x"},
      {"{oj a INNER JOIN b ON a.x=b.x}", "a INNER JOIN b ON a.x=b.x"},
      {"{OJ a LEFT JOIN   b ON a.x=b.x}", "a LEFT JOIN b ON a.x=b.x"},
      {"{oj a LEFT OUTER JOIN b ON a.x=b.x LEFT OUTER JOIN c ON b.y=c.y}",
       "a LEFT JOIN b ON a.x=b.x LEFT JOIN c ON b.y=c.y"},
      {"select * from {oj t1 LEFT OUTER JOIN t2 ON t1.k = t2.k} where t1.a = ?",
       "select * from t1 LEFT JOIN t2 ON t1.k = t2.k where t1.a = :1"},
      // the keyword first: no left part, and nothing read before the text
      {"{oj LEFT OUTER JOIN b ON x=y}", " LEFT JOIN b ON x=y"},
  };
  expect_translations(cases);
}

TEST(OSqlCalls, ProcedureAndFunctionCalls) {
  struct {
    const char *in;
    const char *out;
    uint16_t markers;
  } cases[] = {
      {"{call p(?, ?)}", "p(:1, :2)", 2},
      {"{ CALL p }", "p ", 0},
      {"{call p}", "p", 0},
      {"{?=call f(?)}", ":1:=f(:2)", 2},
      {"{? = call f(?, ?)}", ":1:= f(:2, :3)", 3},
      {"{?=CALL pkg.f}", ":1:=pkg.f", 1},
  };
  for (const auto &c : cases) {
    const Built b = build(c.in);
    EXPECT_EQ(b.rc, 0) << c.in;
    EXPECT_EQ(b.translated, c.out) << c.in;
    EXPECT_EQ(b.markerCount, c.markers) << c.in;
    EXPECT_TRUE(b.flags & REQ_FLAG_CALL) << c.in;
    EXPECT_EQ(b.kind, REQ_KIND_OTHER) << c.in;
  }
  EXPECT_FALSE(build("select a from t where b = ?").flags & REQ_FLAG_CALL);
}

TEST(OSqlEscapes, LikeEscapeNestingAndCommentBrackets) {
  static const Xlate cases[] = {
      {"select a from t where a like 'x\\_%' {escape '\\'}",
       "select a from t where a like 'x\\_%' ESCAPE '\\'"},
      {"{ESCAPE '!'}", "ESCAPE '!'"},
      {"--*(fn ucase(x)--*)", " nls_upper(x)"},
      {"select --*(fn ucase(a)--*) from t", "select  nls_upper(a) from t"},
      {"{fn ucase({fn ltrim(?)})}", " nls_upper( ltrim(:1))"},
      {"{fn ucase(--*(fn ltrim(x)--*))}", " nls_upper( ltrim(x))"},
      {"--*(fn ucase({fn ltrim(x)})--*)", " nls_upper( ltrim(x))"},
      // braces inside literals of an escape are text
      {"{fn concat(a, '}')}", " concat(a, '}')"},
      {"{fn concat(a, '{')}", " concat(a, '{')"},
      {"{fn concat(a, '--*)')}", " concat(a, '--*)')"},
      // a closing brace outside an escape is text
      {"select '}' , a} from t", "select '}' , a} from t"},
  };
  expect_translations(cases);
}

TEST(OSqlEscapes, NestingLimit) {
  std::string in, out;
  for (int i = 0; i < ESC_MAX_DEPTH; ++i) {
    in += "{fn ucase(";
    out += " nls_upper(";
  }
  in += "x";
  out += "x";
  for (int i = 0; i < ESC_MAX_DEPTH; ++i) {
    in += ")}";
    out += ")";
  }
  const Built ok = build(in);
  EXPECT_EQ(ok.rc, 0);
  EXPECT_EQ(ok.translated, out);

  const Built deep = build("{fn ucase(" + in + ")}");
  EXPECT_EQ(deep.rc, E_37000);
}

TEST(OSqlEscapes, MalformedEscapesRefuseTheStatement) {
  // Leaving an escape out would run another statement than the one written
  // (an unclosed "{where" would turn a DELETE into one of the whole table).
  static const char *const cases[] = {
      "{xyz}",
      "{}",
      "{fn}",
      "{fn CONVERT(x)}",
      "{fn CONVERT x, SQL_CHAR}",
      "{fn CONVERT(x, )}",
      "{oj a b}",
      "{oj a LEFT OUTER JOIN b}",
      "{d}",
      "{date '2001-01-01'}",
      "{callx p}",
      "{escapex '!'}",
      "{?=f(?)}",
      "{? f(?)}",
      "delete from t {where a = 1",
      "delete from t --*(fn ucase(x)",
      "select {fn ucase('}') from t",
      "update t set a = {fn ucase({fn ltrim(x)}) where b = 1",
  };
  for (const char *sql : cases) {
    const Built b = build(sql);
    EXPECT_EQ(b.rc, E_37000) << sql;
    // Nothing half-translated is kept.
    EXPECT_EQ(b.translated, b.text) << sql;
    EXPECT_EQ(b.markerCount, 0) << sql;
  }
}

TEST(OSqlMarkers, NumberingQuotesAndComments) {
  struct {
    const char *in;
    const char *out;
    uint16_t markers;
  } cases[] = {
      {"select * from t where a = ? and b = '?'", "select * from t where a = :1 and b = '?'", 1},
      {"update t set a = ?, b = \"c?\" where c = ?", "update t set a = :1, b = \"c?\" where c = :2", 2},
      {"insert into t values ('it''s ?', ?)", "insert into t values ('it''s ?', :1)", 1},
      {"update t set a = ? -- why? it's\nwhere b = ?", "update t set a = :1 -- why? it's\nwhere b = :2", 2},
      {"update t set a = ? /* ? 'x */ where b = ?", "update t set a = :1 /* ? 'x */ where b = :2", 2},
      {"select a from t --*x ?\nwhere b = ?", "select a from t --*x ?\nwhere b = :1", 1},
      {"select a from t where b = ? --*) ?", "select a from t where b = :1 --*) ?", 1},
      {"insert into t values (?, {fn ucase(?)}, ?)", "insert into t values (:1,  nls_upper(:2), :3)", 3},
      {"insert into t values ({fn concat(?, '?')}, ?)", "insert into t values ( concat(:1, '?'), :2)", 2},
      {"select a from t where b = 1", "select a from t where b = 1", 0},
  };
  for (const auto &c : cases) {
    const Built b = build(c.in);
    EXPECT_EQ(b.rc, 0) << c.in;
    EXPECT_EQ(b.translated, c.out) << c.in;
    EXPECT_EQ(b.markerCount, c.markers) << c.in;
    EXPECT_EQ(static_cast<bool>(b.flags & REQ_FLAG_MARKERS), c.markers > 0) << c.in;
  }
  const Built b = build("select * from t where a = ? and b = '?'");
  EXPECT_EQ(b.flags, REQ_FLAG_STAR | REQ_FLAG_MARKERS);
}

TEST(OSqlMarkers, ManyMarkersAndTheLimit) {
  std::string sql = "insert into t values (?";
  for (int i = 1; i < UINT16_MAX; ++i) sql += ",?";
  const Built ok = build(sql + ")");
  ASSERT_EQ(ok.rc, 0);
  EXPECT_EQ(ok.markerCount, UINT16_MAX);
  EXPECT_NE(ok.translated.find(",:10000,:10001,"), std::string::npos);
  EXPECT_EQ(ok.translated.substr(ok.translated.size() - 8), ",:65535)");

  // One more would wrap the numbering back to :1.
  const Built over = build(sql + ",?)");
  EXPECT_EQ(over.rc, E_37000);
}

TEST(OSqlText, ControlCharactersAndLeadingBlanks) {
  static const Xlate cases[] = {
      {"update t\tset a = 1\r\nwhere b = 2", "update t set a = 1\n\nwhere b = 2"},
      {"update t set a = 'x\ty\rz'", "update t set a = 'x\ty\rz'"},
      {"update t set a = \"x\ty\"", "update t set a = \"x\ty\""},
      {" \t\n update t set a = 1", "update t set a = 1"},
      // bytes of multi-byte characters pass unchanged
      {"update t set a = '\xC3\xA9t\xC3\xA9' where \xE5\x90\x8D = ?",
       "update t set a = '\xC3\xA9t\xC3\xA9' where \xE5\x90\x8D = :1"},
  };
  expect_translations(cases);
  EXPECT_EQ(build(" \t\n update t set a = 1").text, "update t set a = 1");
}

TEST(OSqlText, EmptyStringLiterals) {
  static const Xlate on[] = {
      {"update t set a = '' where b = ''''", "update t set a = ' ' where b = ''''"},
      {"update t set a = 'x' || '' || ''''''", "update t set a = 'x' || ' ' || ''''''"},
      {"insert into t values ('', ?, '')", "insert into t values (' ', :1, ' ')"},
      {"insert into t values ({fn concat('', x)})", "insert into t values ( concat(' ', x))"},
      {"update t set a = 'it''s'", "update t set a = 'it''s'"},
      {"update t set \"\" = 1", "update t set \"\" = 1"},
      {"update t set a = 1 -- ''\n", "update t set a = 1 -- ''\n"},
  };
  expect_translations(on, true);
  static const Xlate off[] = {
      {"update t set a = '' where b = ''''", "update t set a = '' where b = ''''"},
  };
  expect_translations(off, false);
}

TEST(OSqlText, BackslashIsTextWithoutHandleEscQuote) {
  static const Xlate cases[] = {
      {"update t set a = 'C:\\' where b = ?", "update t set a = 'C:\\' where b = :1"},
  };
  expect_translations(cases);
}

// ---------------------------------------------------------------------------

TEST(OSqlClassify, KindsCountsAndFlags) {
  struct {
    const char *in;
    int rc;
    int16_t kind;
    int16_t outputCount;
    bool star;
  } cases[] = {
      {"SELECT 1", E_37000, REQ_KIND_NONE, 0, false},
      {"SELECT a FROM(t)", E_37000, REQ_KIND_NONE, 0, false},
      {"select 'a from b'", E_37000, REQ_KIND_NONE, 0, false},  // FROM only inside a literal
      {"select \"x from\" ", E_37000, REQ_KIND_NONE, 0, false},
      {"select a /* from */", E_37000, REQ_KIND_NONE, 0, false},
      {"(SELECT a, b FROM t)", 0, REQ_KIND_SELECT, 2, false},
      {"( (select a from t))", 0, REQ_KIND_SELECT, 1, false},
      {"SELECT count(*) FROM t", 0, REQ_KIND_SELECT, 1, true},
      {"select * from t", 0, REQ_KIND_SELECT, 1, true},
      {"select a, f(b, c), 'x,y', \"p,q\" from t", 0, REQ_KIND_SELECT, 4, false},
      {"select 'a''s, from', b from t", 0, REQ_KIND_SELECT, 2, false},
      {"select '*' from t", 0, REQ_KIND_SELECT, 1, false},
      {"select a /* from x, y */, b from t", 0, REQ_KIND_SELECT, 2, false},
      {"select a FROM", 0, REQ_KIND_SELECT, 1, false},
      {"selectx a from t", 0, REQ_KIND_OTHER, 0, false},
      {"with a as (select 1 x from dual) select x from a", 0, REQ_KIND_SELECT, 0, false},
      {"WITH\ta AS (SELECT * FROM t) SELECT * FROM a", 0, REQ_KIND_SELECT, 0, false},
      {"withx a", 0, REQ_KIND_OTHER, 0, false},
      {"INSERT INTO t VALUES (1)", 0, REQ_KIND_DML, 0, false},
      {"delete from t", 0, REQ_KIND_DML, 0, false},
      {"Update t set a = 1", 0, REQ_KIND_DML, 0, false},
      {"create table t (a int)", 0, REQ_KIND_OTHER, 0, false},
      {"insertx into t", 0, REQ_KIND_OTHER, 0, false},
      {"begin p; end;", 0, REQ_KIND_OTHER, 0, false},
      {"", 0, REQ_KIND_OTHER, 0, false},
  };
  for (const auto &c : cases) {
    const Built b = build(c.in);
    EXPECT_EQ(b.rc, c.rc) << c.in;
    EXPECT_EQ(b.kind, c.kind) << c.in;
    EXPECT_EQ(b.outputCount, c.outputCount) << c.in;
    EXPECT_EQ(static_cast<bool>(b.flags & REQ_FLAG_STAR), c.star) << c.in;
    // A refused SELECT keeps both texts for the caller to free.
    EXPECT_EQ(b.text, c.in) << c.in;
  }
}

TEST(OSqlClassify, FromDetectionNeverCorruptsTheText) {
  static const Xlate cases[] = {
      // the separator in front of the statement's FROM becomes a blank
      {"select a\nfrom t", "select a from t"},
      {"select a,\tb\tfrom t", "select a, b from t"},
      // a literal holding a FROM is left alone
      {"select 'a\tfrom b', c from t", "select 'a\tfrom b', c from t"},
      // bytes of multi-byte characters are neither separators nor replaced
      {"select \xE5\x90\x8D\xE5\x89\x8D" "FROM\xE5\x80\xA4 from t",
       "select \xE5\x90\x8D\xE5\x89\x8D" "FROM\xE5\x80\xA4 from t"},
      {"select a\xC2\xA0" "from t", "<refused>"},
      // the line break that ends a line comment stays one
      {"select a -- the list\nfrom t", "select a -- the list\nfrom t"},
  };
  for (const auto &c : cases) {
    const Built b = build(c.in);
    if (std::string(c.out) == "<refused>") {
      EXPECT_EQ(b.rc, E_37000) << c.in;
      EXPECT_EQ(b.translated, c.in) << c.in;
      continue;
    }
    EXPECT_EQ(b.rc, 0) << c.in;
    EXPECT_EQ(b.kind, REQ_KIND_SELECT) << c.in;
    EXPECT_EQ(b.translated, c.out) << c.in;
  }
}

TEST(OSqlClassify, RequestNoScanKeepsTheText) {
  SqlRequest r{};
  ASSERT_EQ(RequestNoScan(&r, "  select {fn ucase(?)}, b from t where c = ?"), 0);
  EXPECT_STREQ(r.text, "select {fn ucase(?)}, b from t where c = ?");
  EXPECT_STREQ(r.translated, r.text);
  EXPECT_NE(r.text, r.translated);
  EXPECT_EQ(r.markerCount, 0);
  EXPECT_EQ(r.kind, REQ_KIND_SELECT);
  EXPECT_EQ(r.outputCount, 2);
  EXPECT_EQ(r.flags, 0);
  SqlRequest_Free(&r);

  EXPECT_EQ(RequestNoScan(&r, "SELECT 1"), E_37000);
  EXPECT_STREQ(r.translated, "SELECT 1");
  SqlRequest_Free(&r);

  ASSERT_EQ(RequestNoScan(&r, "delete from t where a = ?"), 0);
  EXPECT_EQ(r.kind, REQ_KIND_DML);
  EXPECT_EQ(r.markerCount, 0);
  SqlRequest_Free(&r);
}

// ---------------------------------------------------------------------------

TEST(OSqlRowid, SelectListRewrite) {
  static const Xlate cases[] = {
      {"select rowid, a from t", "select rowidtochar(ROWID) as \"rowid\", a from t"},
      {"SELECT ROWID FROM t", "SELECT rowidtochar(ROWID) as \"ROWID\" FROM t"},
      {"select \"ROWID\" from t", "select rowidtochar(ROWID) as \"ROWID\" from t"},
      {"select a,rowid from t", "select a,rowidtochar(ROWID) as \"rowid\" from t"},
      {"select a, rowid\nfrom t", "select a, rowidtochar(ROWID) as \"rowid\" from t"},
      {"select distinct rowid from t", "select distinct rowidtochar(ROWID) as \"rowid\" from t"},
      {"select /*+ first_rows */ rowid from t",
       "select /*+ first_rows */ rowidtochar(ROWID) as \"rowid\" from t"},
      // the application's alias, with or without AS, is kept
      {"select x as rowid, y from t", "select x as rowid, y from t"},
      {"select rowid as r from t", "select rowidtochar(ROWID) as r from t"},
      {"select rowid r, a from t", "select rowidtochar(ROWID) r, a from t"},
      // a qualified ROWID keeps its table
      {"select t.rowid, u.x from t, u where t.k = u.k",
       "select rowidtochar(t.ROWID) as \"t.rowid\", u.x from t, u where t.k = u.k"},
      {"select \"T\".\"ROWID\" from t", "select rowidtochar(\"T\".ROWID) as \"ROWID\" from t"},
      // not a ROWID item
      {"select myrowid, a from t", "select myrowid, a from t"},
      {"select 'rowid, x' from t", "select 'rowid, x' from t"},
      {"select decode(a, 1, rowid, null) from t", "select decode(a, 1, rowid, null) from t"},
      {"select count(rowid) from t", "select count(rowid) from t"},
      {"select a from t where rowid = ?", "select a from t where rowid = :1"},
      {"update t set a = 1 where rowid = ?", "update t set a = 1 where rowid = :1"},
      {"select a -- rowid,\nfrom t", "select a -- rowid,\nfrom t"},
  };
  expect_translations(cases);
}

// ---------------------------------------------------------------------------

TEST(OSqlNativeSql, CopyOut) {
  const char *sql = "select {fn ucase(a)} from t where b = ?";
  const std::string want = "select  nls_upper(a) from t where b = :1";
  const auto len = static_cast<int16_t>(want.size());

  char buf[128];
  int16_t got = -7;
  EXPECT_EQ(NativeSql_Translate(sql, false, buf, sizeof buf, &got), 0);
  EXPECT_EQ(got, len);
  EXPECT_EQ(std::string(buf), want);

  // exactly length + 1 bytes
  memset(buf, 'X', sizeof buf);
  EXPECT_EQ(NativeSql_Translate(sql, false, buf, static_cast<uint16_t>(len + 1), &got), 0);
  EXPECT_EQ(std::string(buf), want);

  // one byte too small: cut, NUL-terminated, full length reported
  memset(buf, 'X', sizeof buf);
  EXPECT_EQ(NativeSql_Translate(sql, false, buf, static_cast<uint16_t>(len), &got), E_01004_109);
  EXPECT_EQ(got, len);
  EXPECT_EQ(std::string(buf), want.substr(0, want.size() - 1));

  // a length query
  got = 0;
  EXPECT_EQ(NativeSql_Translate(sql, false, nullptr, 0, &got), 0);
  EXPECT_EQ(got, len);

  // a buffer of size 0 is left untouched
  memset(buf, 'X', sizeof buf);
  EXPECT_EQ(NativeSql_Translate(sql, false, buf, 0, &got), E_01004_109);
  EXPECT_EQ(buf[0], 'X');
  EXPECT_EQ(got, len);

  // the connection's EMPTY_STRING_ISNT_NULL applies
  EXPECT_EQ(NativeSql_Translate("update t set a = ''", true, buf, sizeof buf, nullptr), 0);
  EXPECT_STREQ(buf, "update t set a = ' '");

  // Only escapes are translated: a statement the database would refuse (a
  // SELECT without FROM) is still translated, and left for it to refuse.
  EXPECT_EQ(NativeSql_Translate("SELECT {fn ucase('a')}", false, buf, sizeof buf, &got), 0);
  EXPECT_STREQ(buf, "SELECT  nls_upper('a')");
}

// The 16-bit length is unsigned: exact up to 65535, never wrapped.
TEST(OSqlNativeSql, LengthsBeyond32KiB) {
  struct {
    size_t size;
    uint16_t reported;
  } cases[] = {{32767, 32767}, {32768, 32768}, {40000, 40000}, {65535, 65535}, {65536, 65535}, {131072 + 5, 65535}};
  for (auto &k : cases) {
    // Translated unchanged: k.size bytes.
    const std::string sql = "update t set a = '" + std::string(k.size - 19, 'x') + "'";
    ASSERT_EQ(sql.size(), k.size);
    int16_t got = 0;
    EXPECT_EQ(NativeSql_Translate(sql.c_str(), false, nullptr, 0, &got), 0);
    EXPECT_EQ(static_cast<uint16_t>(got), k.reported) << k.size;
  }
}

TEST(OSqlNativeSql, FailuresReportNoText) {
  char buf[64] = "untouched";
  int16_t got = 99;
  EXPECT_EQ(NativeSql_Translate("delete from t {where a = 1", false, buf, sizeof buf, &got), E_37000);
  EXPECT_EQ(got, 0);
  EXPECT_STREQ(buf, "untouched");
  EXPECT_EQ(NativeSql_Translate(nullptr, false, buf, sizeof buf, &got), E_S1009);
}

}  // namespace
