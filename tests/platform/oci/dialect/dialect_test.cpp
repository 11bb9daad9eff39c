// The Oracle dialect of the SQLite-backed OCI stand-in: translation of
// statements, the function library run on a real sqlite3 connection, the
// column rules of translated tables, describe, and the mapping of SQLite
// failures to Oracle errors.

#include <gtest/gtest.h>
#include <sqlite3.h>

#include <cstring>
#include <string>
#include <vector>

#include "dialect.h"

namespace {

std::string tr(const std::string& sql, const DlSession* ses = nullptr) {
  DlStatement st;
  DlError err;
  int rc = dl_translate(sql.data(), sql.size(), ses, &st, &err);
  if (rc) return "ORA-" + std::to_string(rc);
  return st.sql;
}

int tr_error(const std::string& sql) {
  DlStatement st;
  DlError err;
  return dl_translate(sql.data(), sql.size(), nullptr, &st, &err);
}

// A session on an in-memory database with the function library.
class DialectDb : public ::testing::Test {
 protected:
  void SetUp() override {
    ses_.user = "SCOTT";
    ASSERT_EQ(SQLITE_OK, sqlite3_open(":memory:", &db_));
    ASSERT_EQ(SQLITE_OK, dl_register(db_, &ses_));
  }
  void TearDown() override { sqlite3_close(db_); }

  // Runs one Oracle statement; returns 0 or the Oracle error number.
  int run(const std::string& sql, DlError* out_err = nullptr) {
    DlStatement st;
    DlError err;
    int rc = dl_translate(sql.data(), sql.size(), &ses_, &st, &err);
    if (rc) {
      if (out_err) *out_err = err;
      return rc;
    }
    if (st.kind == DL_ALTER_SESSION) return dl_session_apply(&ses_, &st, out_err ? out_err : &err);
    if (st.ddl) {
      rc = dl_exec_ddl(db_, &st, &ses_, &err);
      if (out_err) *out_err = err;
      return rc;
    }
    char* msg = nullptr;
    int src = sqlite3_exec(db_, st.sql.c_str(), nullptr, nullptr, &msg);
    if (src != SQLITE_OK) {
      rc = dl_map_sqlite_error(sqlite3_extended_errcode(db_), msg ? msg : sqlite3_errmsg(db_), &err);
      sqlite3_free(msg);
      if (out_err) *out_err = err;
      return rc;
    }
    return 0;
  }

  // Rows of a query as text the way the stand-in hands values out: numbers
  // in Oracle's form, NULL as "<null>", columns joined by "|", rows by ";".
  std::string rows(const std::string& sql, int* ora = nullptr) {
    DlStatement st;
    DlError err;
    if (ora) *ora = 0;
    int rc = dl_translate(sql.data(), sql.size(), &ses_, &st, &err);
    if (rc) {
      if (ora) *ora = rc;
      return "ORA-" + std::to_string(rc);
    }
    dl_session_statement_start(&ses_);
    sqlite3_stmt* s = nullptr;
    if (sqlite3_prepare_v2(db_, st.sql.c_str(), -1, &s, nullptr) != SQLITE_OK) {
      rc = dl_map_sqlite_error(sqlite3_extended_errcode(db_), sqlite3_errmsg(db_), &err);
      if (ora) *ora = rc;
      return "ORA-" + std::to_string(rc) + " " + err.message;
    }
    std::string out;
    int step;
    while ((step = sqlite3_step(s)) == SQLITE_ROW) {
      if (!out.empty()) out += ";";
      for (int c = 0; c < sqlite3_column_count(s); ++c) {
        if (c) out += "|";
        char buf[64];
        switch (sqlite3_column_type(s, c)) {
          case SQLITE_NULL: out += "<null>"; break;
          case SQLITE_INTEGER: dl_int_text(sqlite3_column_int64(s, c), buf); out += buf; break;
          case SQLITE_FLOAT: dl_number_text(sqlite3_column_double(s, c), buf); out += buf; break;
          case SQLITE_BLOB: {
            const unsigned char* b = (const unsigned char*)sqlite3_column_blob(s, c);
            out += "0x";
            for (int i = 0; i < sqlite3_column_bytes(s, c); ++i) {
              std::snprintf(buf, sizeof buf, "%02X", b[i]);
              out += buf;
            }
            break;
          }
          default: out += (const char*)sqlite3_column_text(s, c);
        }
      }
    }
    if (step != SQLITE_DONE) {
      rc = dl_map_sqlite_error(sqlite3_extended_errcode(db_), sqlite3_errmsg(db_), &err);
      sqlite3_finalize(s);
      if (ora) *ora = rc;
      return "ORA-" + std::to_string(rc) + " " + err.message;
    }
    sqlite3_finalize(s);
    return out;
  }

  std::string value(const std::string& expr) { return rows("SELECT " + expr + " FROM DUAL"); }

  DlSession ses_;
  sqlite3* db_ = nullptr;
};

// ------------------------------------------------------------ translation

struct RewriteCase {
  const char* oracle;
  const char* sqlite;
};

TEST(DialectTranslate, RewritesOracleSqlToken_by_token) {
  DlSession ses;
  ses.user = "SCOTT";
  const RewriteCase cases[] = {
      // names upper-cased and quoted, aliases with Oracle's names
      {"select a, b x from t", "SELECT \"A\" AS \"A\", \"B\" AS \"X\" FROM \"T\""},
      {"select \"Mixed\" from t", "SELECT \"Mixed\" AS \"Mixed\" FROM \"T\""},
      {"select a + 1, count(*) from t",
       "SELECT ORA_ADD(\"A\", 1) AS \"A+1\", count(*) AS \"COUNT(*)\" FROM \"T\""},
      // DUAL, placeholders in text order, quoted strings untouched
      {"select :x, :1, ':2' from dual where 1 = :x",
       "SELECT ?1 AS \":X\", ?2 AS \":1\", ':2' AS \"':2'\" FROM (SELECT 'X' AS \"DUMMY\") AS \"DUAL\" WHERE 1 = ?3"},
      // the empty string is NULL
      {"select * from t where a = ''", "SELECT * FROM \"T\" WHERE \"A\" = NULL"},
      // NULLs sort last ascending and first descending
      {"select a from t order by a, b desc, c nulls first",
       "SELECT \"A\" AS \"A\" FROM \"T\" ORDER BY \"A\" NULLS LAST, \"B\" DESC NULLS FIRST, \"C\" NULLS FIRST"},
      // FOR UPDATE is accepted and dropped
      {"select a from t where b = 1 for update of a nowait",
       "SELECT \"A\" AS \"A\" FROM \"T\" WHERE \"B\" = 1"},
      // = ANY, <> ALL, MINUS
      {"select a from t where a = any (select b from u)",
       "SELECT \"A\" AS \"A\" FROM \"T\" WHERE \"A\" IN (SELECT \"B\" AS \"B\" FROM \"U\")"},
      {"select a from t where a <> all (1, 2)", "SELECT \"A\" AS \"A\" FROM \"T\" WHERE \"A\" NOT IN (1, 2)"},
      {"select a from t minus select a from u",
       "SELECT \"A\" AS \"A\" FROM \"T\" EXCEPT SELECT \"A\" AS \"A\" FROM \"U\""},
      // ROWID as text in the select list, as the rowid elsewhere
      {"select rowid, t.rowid r from t where rowid = :1",
       "SELECT ORA_ROWIDTOCHAR(rowid) AS \"ROWID\", ORA_ROWIDTOCHAR(\"T\".rowid) AS \"R\" FROM \"T\" WHERE rowid = ?1"},
      // the session's own schema is SQLite's main database
      {"select e.ename from scott.emp e, hr.dept d",
       "SELECT \"E\".\"ENAME\" AS \"ENAME\" FROM main.\"EMP\" AS \"E\", \"HR\".\"DEPT\" AS \"D\""},
      // ROWNUM limits become LIMIT
      {"select * from t where rownum <= 10 and a > 1", "SELECT * FROM \"T\" WHERE \"A\" > 1 LIMIT 10"},
      {"select * from t where 5 > rownum", "SELECT * FROM \"T\" WHERE 1 LIMIT (5) - 1"},
      {"select a, count(*) from t having count(*) > 1 group by a",
       "SELECT \"A\" AS \"A\", count(*) AS \"COUNT(*)\" FROM \"T\" GROUP BY \"A\" HAVING count(*) > 1"},
      // DATE and TIMESTAMP literals in the stored form
      {"select date '2024-02-29' d from dual",
       "SELECT '2024-02-29 00:00:00' AS \"D\" FROM (SELECT 'X' AS \"DUMMY\") AS \"DUAL\""},
      // DECODE and NVL2 evaluate lazily
      {"select decode(a, 1, 'one', null, 'none', 'other') from t",
       "SELECT CASE WHEN ORA_DECODE_EQ(\"A\", 1) THEN 'one' WHEN ORA_DECODE_EQ(\"A\", NULL) THEN 'none' "
       "ELSE 'other' END AS \"DECODE(A,1,'ONE',NULL,'NONE','OTHER')\" FROM \"T\""},
      {"select nvl(a, 0) from t", "SELECT coalesce(\"A\", 0) AS \"NVL(A,0)\" FROM \"T\""},
      // DML
      {"insert into t (a, b) values (:1, 'x')", "INSERT INTO \"T\" (\"A\", \"B\") VALUES (?1, 'x')"},
      {"update t set a = a || 'x' where b is null",
       "UPDATE \"T\" SET \"A\" = ORA_CONCAT(\"A\", 'x') WHERE \"B\" IS NULL"},
      {"delete t where a != 1", "DELETE FROM \"T\" WHERE \"A\" <> 1"},
      {"truncate table t", "DELETE FROM \"T\""},
      // outer joins in ANSI form
      {"select a from t left outer join u on t.x = u.x",
       "SELECT \"A\" AS \"A\" FROM \"T\" LEFT JOIN \"U\" ON \"T\".\"X\" = \"U\".\"X\""},
      // comments and hints vanish; q-quoting becomes plain quoting
      {"select /*+ FULL(t) */ q'[it's]' -- note\n from dual",
       "SELECT 'it''s' AS \"Q'[IT'S]'\" FROM (SELECT 'X' AS \"DUMMY\") AS \"DUAL\""},
  };
  for (const RewriteCase& c : cases) EXPECT_EQ(c.sqlite, tr(c.oracle, &ses)) << c.oracle;
}

TEST(DialectTranslate, ClassifiesStatements) {
  struct Case {
    const char* sql;
    DlKind kind;
    bool ddl;
  };
  const Case cases[] = {
      {"SELECT 1 FROM DUAL", DL_SELECT, false},
      {"(select 1 from dual)", DL_SELECT, false},
      {"WITH q AS (SELECT 1 a FROM dual) SELECT a FROM q", DL_SELECT, false},
      {"INSERT INTO t VALUES (1)", DL_INSERT, false},
      {"UPDATE t SET a = 1", DL_UPDATE, false},
      {"DELETE FROM t", DL_DELETE, false},
      {"CREATE TABLE t (a NUMBER)", DL_CREATE, true},
      {"DROP TABLE t PURGE", DL_DROP, true},
      {"ALTER TABLE t ADD (b DATE)", DL_ALTER, true},
      {"TRUNCATE TABLE t", DL_OTHER_DDL, true},
      {"COMMENT ON TABLE t IS 'x'", DL_OTHER_DDL, true},
      {"COMMIT WORK", DL_COMMIT, false},
      {"ROLLBACK", DL_ROLLBACK, false},
      {"SAVEPOINT s1", DL_SAVEPOINT, false},
      {"ROLLBACK TO SAVEPOINT s1", DL_ROLLBACK_TO, false},
      {"SET TRANSACTION ISOLATION LEVEL SERIALIZABLE", DL_SET_TRANSACTION, false},
      {"ALTER SESSION SET NLS_DATE_FORMAT = 'YYYY-MM-DD'", DL_ALTER_SESSION, false},
      {"LOCK TABLE t IN EXCLUSIVE MODE NOWAIT", DL_LOCK_TABLE, false},
      {"BEGIN :r := upper(:s); END;", DL_BEGIN, false},
  };
  for (const Case& c : cases) {
    DlStatement st;
    DlError err;
    ASSERT_EQ(0, dl_translate(c.sql, std::strlen(c.sql), nullptr, &st, &err)) << c.sql << ": " << err.message;
    EXPECT_EQ(c.kind, st.kind) << c.sql;
    EXPECT_EQ(c.ddl, st.ddl) << c.sql;
  }
  EXPECT_EQ(4, dl_oci_stmt_type(DL_INSERT));
  EXPECT_EQ(8, dl_oci_stmt_type(DL_BEGIN));
  EXPECT_EQ(0, dl_oci_stmt_type(DL_COMMIT));
}

TEST(DialectTranslate, BindPositionsForSqlAndPlsql) {
  DlStatement st;
  DlError err;
  const char* sql = "select * from t where a = :id and b = :NAME or c = :id";
  ASSERT_EQ(0, dl_translate(sql, std::strlen(sql), nullptr, &st, &err));
  ASSERT_EQ(3u, st.binds.size());
  EXPECT_STREQ("ID", st.binds[0].name);
  EXPECT_STREQ("NAME", st.binds[1].name);
  EXPECT_STREQ("ID", st.binds[2].name);
  // SQL: every occurrence is its own position
  EXPECT_EQ(1, st.binds[0].position);
  EXPECT_EQ(3, st.binds[2].position);
  EXPECT_EQ(3, st.position_count);
  EXPECT_EQ(3, st.binds[2].param);

  // PL/SQL: positions count distinct names; the target is an output
  const char* blk = "begin :r := nvl(:a, :a); end;";
  ASSERT_EQ(0, dl_translate(blk, std::strlen(blk), nullptr, &st, &err));
  ASSERT_EQ(3u, st.binds.size());
  EXPECT_TRUE(st.plsql_result);
  EXPECT_TRUE(st.binds[0].output);
  EXPECT_EQ(1, st.binds[0].position);
  EXPECT_EQ(2, st.binds[1].position);
  EXPECT_EQ(2, st.binds[2].position);
  EXPECT_EQ(2, st.position_count);
  EXPECT_EQ("SELECT coalesce(?2, ?3)", st.sql);
}

TEST(DialectTranslate, RefusesWhatItCannotTranslateWithOracleErrors) {
  struct Case {
    const char* sql;
    int ora;
  };
  const Case cases[] = {
      {"", 900},
      {"frobnicate the table", 900},
      {"select 1 from dual;", 911},
      {"select a b c from t", 923},
      {"select from t", 936},
      {"select 1", 923},
      {"select (1 from dual", 907},
      {"select 'abc from dual", 1756},
      {"select nosuchfn(1) from dual", 904},
      {"select substr('a') from dual", 909},
      {"select a from t where a = 1 order by", 936},
      {"select a from t connect by prior a = b", 3001},
      {"select a from t, u where t.x = u.x(+)", 3001},
      {"select regexp_substr(a, 'x') from t", 3001},
      {"merge into t using u on (t.a = u.a) when matched then update set b = 1", 3001},
      {"select * from t where rownum > 5", 3001},
      {"select * from t where rownum <= 5 order by a", 3001},
      {"select count(*) from t where rownum <= 5", 3001},
      {"select * from t where a = 1 or rownum < 3", 3001},
      {"select * from t@remote", 3001},
      {"create table t (a xmltype)", 3001},
      {"create table t (a foo)", 902},
      {"create table t (a varchar2)", 906},
      {"create table t (a number(50))", 1727},
      {"create user bob identified by x", 1031},
      {"begin proc(1); end;", 6550},
      {"declare x number; begin null; end;", 3001},
      {"select 1 from dual where 1 > any (select 1 from dual)", 3001},
      {"select a from t where x = 1 group by rollup(a)", 3001},
      {"select \"\" from dual", 1741},
      {"select a123456789012345678901234567890 from t", 972},
      {"alter session set foo = 1", 0},
  };
  for (const Case& c : cases) EXPECT_EQ(c.ora, tr_error(c.sql)) << c.sql;
}

TEST(DialectTranslate, DeepNestingTranslatesWithoutBacktracking) {
  std::string sql = "select ";
  for (int i = 0; i < 60; ++i) sql += "(";
  sql += "a = 1";
  for (int i = 0; i < 60; ++i) sql += ")";
  sql += " from t where ";
  for (int i = 0; i < 60; ++i) sql += "(";
  sql += ":1 + 1 > 2";
  for (int i = 0; i < 60; ++i) sql += ")";
  DlStatement st;
  DlError err;
  ASSERT_EQ(0, dl_translate(sql.data(), sql.size(), nullptr, &st, &err)) << err.message;
  EXPECT_EQ(1u, st.binds.size());
  // far deeper than any real statement: refused, not a stack overflow
  std::string deep = "select " + std::string(20000, '(') + "1" + std::string(20000, ')') + " from dual";
  EXPECT_EQ(3001, dl_translate(deep.data(), deep.size(), nullptr, &st, &err));
  std::string negs = "select ";
  for (int i = 0; i < 20000; ++i) negs += "- ";
  negs += "1 from dual";
  EXPECT_EQ(3001, dl_translate(negs.data(), negs.size(), nullptr, &st, &err));
}

TEST(DialectTranslate, UnknownFunctionErrorNamesIt) {
  DlStatement st;
  DlError err;
  const char* sql = "select nosuchfn(1) from dual";
  ASSERT_EQ(904, dl_translate(sql, std::strlen(sql), nullptr, &st, &err));
  EXPECT_STREQ("NOSUCHFN: invalid identifier", err.message);
  EXPECT_EQ(7, err.offset);
}

// ------------------------------------------------------ function library

struct ValueCase {
  const char* expr;
  const char* expect;
};

TEST_F(DialectDb, NumberFunctionsAndTextForm) {
  const ValueCase cases[] = {
      {"0.5", ".5"},
      {"-0.5", "-.5"},
      {"10", "10"},
      {"1.50", "1.5"},
      {"0.1 + 0.2", ".3"},
      {"7 / 2", "3.5"},
      {"6 / 3", "2"},
      {"2 * 3.5", "7"},
      {"-(3)", "-3"},
      {"'12' + 1", "13"},
      {"1e3", "1000"},
      {"9007199254740993 + 0", "9007199254740993"},
      {"round(2.675, 2)", "2.68"},
      {"round(-2.5)", "-3"},
      {"round(1234.5678, -2)", "1200"},
      {"trunc(2.679, 2)", "2.67"},
      {"trunc(-2.5)", "-2"},
      {"mod(11, 4)", "3"},
      {"mod(-11, 4)", "-3"},
      {"mod(5, 0)", "5"},
      {"remainder(11, 4)", "-1"},
      {"abs(-3.25)", "3.25"},
      {"sign(-0.1)", "-1"},
      {"ceil(2.1)", "3"},
      {"floor(-2.1)", "-3"},
      {"power(2, 10)", "1024"},
      {"sqrt(16)", "4"},
      {"ln(exp(1))", "1"},
      {"log(10, 1000)", "3"},
      {"round(sin(0) + cos(0), 5)", "1"},
      {"round(atan2(1, 1) * 4, 10)", "3.1415926536"},
      {"bitand(12, 10)", "8"},
      {"greatest(1, 3, 2)", "3"},
      {"least('b', 'a', 'c')", "a"},
      {"greatest(1, null)", "<null>"},
      {"to_number('  -1.5e2 ')", "-150"},
      {"to_number('1,234.50', '9,999.99')", "1234.5"},
      {"to_number('ff', 'XX')", "255"},
      {"to_char(1234.5, '9,999.99')", " 1,234.50"},
      {"to_char(0.5, '0.99')", " 0.50"},
      {"to_char(0.5, '9.99')", "  .50"},
      {"to_char(-12, 'FM999')", "-12"},
      {"to_char(123, '99')", "###"},
      {"to_char(5, '000')", " 005"},
      {"to_char(255, 'XX')", " FF"},
      {"to_char(12, 'S99')", "+12"},
      {"to_char(-12, '99MI')", "12-"},
      {"to_char(1e40)", "1.0E+40"},
      {"to_char(0.00001)", ".00001"},
      {"to_char(123456789012345678)", "123456789012345678"},
      {"1 / 3", ".333333333333333"},
  };
  for (const ValueCase& c : cases) EXPECT_EQ(c.expect, value(c.expr)) << c.expr;
}

// Every function the translation knows, at each end of its argument count,
// translates and finds its library function on the connection.
TEST_F(DialectDb, EveryKnownFunctionIsRegistered) {
  const char* const calls[] = {
      "ABS(1)",
      "ACOS(1)",
      "ADD_MONTHS(1, 1)",
      "ASCII(1)",
      "ASIN(1)",
      "ATAN(1)",
      "ATAN2(1, 1)",
      "AVG(1)",
      "BITAND(1, 1)",
      "CEIL(1)",
      "CHR(1)",
      "COALESCE(1, 1)",
      "COALESCE(1, 1, 1, 1)",
      "CONCAT(1, 1)",
      "COS(1)",
      "COSH(1)",
      "COUNT(1)",
      "CUME_DIST() over (order by 1)",
      "DECODE(1, 1, 1)",
      "DECODE(1, 1, 1, 1)",
      "DENSE_RANK() over (order by 1)",
      "EMPTY_BLOB()",
      "EMPTY_CLOB()",
      "EXP(1)",
      "FIRST_VALUE(1) over (order by 1)",
      "FLOOR(1)",
      "GREATEST(1)",
      "GREATEST(1, 1, 1, 1)",
      "HEXTORAW(1)",
      "INITCAP(1)",
      "INSTR(1, 1)",
      "INSTR(1, 1, 1, 1)",
      "INSTRB(1, 1)",
      "INSTRB(1, 1, 1, 1)",
      "LAG(1) over (order by 1)",
      "LAG(1, 1, 1) over (order by 1)",
      "LAST_DAY(1)",
      "LAST_VALUE(1) over (order by 1)",
      "LEAD(1) over (order by 1)",
      "LEAD(1, 1, 1) over (order by 1)",
      "LEAST(1)",
      "LEAST(1, 1, 1, 1)",
      "LENGTH(1)",
      "LENGTHB(1)",
      "LENGTHC(1)",
      "LN(1)",
      "LOG(1, 1)",
      "LOWER(1)",
      "LPAD(1, 1)",
      "LPAD(1, 1, 1)",
      "LTRIM(1)",
      "LTRIM(1, 1)",
      "MAX(1)",
      "MIN(1)",
      "MOD(1, 1)",
      "MONTHS_BETWEEN(1, 1)",
      "NEXT_DAY(1, 1)",
      "NLS_INITCAP(1)",
      "NLS_INITCAP(1, 1)",
      "NLS_LOWER(1)",
      "NLS_LOWER(1, 1)",
      "NLS_UPPER(1)",
      "NLS_UPPER(1, 1)",
      "NTILE(1) over (order by 1)",
      "NULLIF(1, 1)",
      "NVL(1, 1)",
      "NVL2(1, 1, 1)",
      "PERCENT_RANK() over (order by 1)",
      "POWER(1, 1)",
      "RANK() over (order by 1)",
      "RAWTOHEX(1)",
      "REMAINDER(1, 1)",
      "REPLACE(1, 1)",
      "REPLACE(1, 1, 1)",
      "ROUND(1)",
      "ROUND(1, 1)",
      "ROWIDTOCHAR(1)",
      "ROW_NUMBER() over (order by 1)",
      "RPAD(1, 1)",
      "RPAD(1, 1, 1)",
      "RTRIM(1)",
      "RTRIM(1, 1)",
      "SIGN(1)",
      "SIN(1)",
      "SINH(1)",
      "SOUNDEX(1)",
      "SQRT(1)",
      "STDDEV(1)",
      "SUBSTR(1, 1)",
      "SUBSTR(1, 1, 1)",
      "SUBSTRB(1, 1)",
      "SUBSTRB(1, 1, 1)",
      "SUM(1)",
      "SYS_CONTEXT(1, 1)",
      "SYS_CONTEXT(1, 1, 1)",
      "SYS_GUID()",
      "TAN(1)",
      "TANH(1)",
      "TO_CHAR(1)",
      "TO_CHAR(1, 1, 1)",
      "TO_CLOB(1)",
      "TO_DATE(1)",
      "TO_DATE(1, 1, 1)",
      "TO_NCHAR(1)",
      "TO_NCHAR(1, 1, 1)",
      "TO_NUMBER(1)",
      "TO_NUMBER(1, 1, 1)",
      "TO_TIMESTAMP(1)",
      "TO_TIMESTAMP(1, 1, 1)",
      "TRANSLATE(1, 1, 1)",
      "TRUNC(1)",
      "TRUNC(1, 1)",
      "UPPER(1)",
      "USERENV(1)",
      "VARIANCE(1)",
      "VSIZE(1)",
      "DARODO7.COT(1)",
      "DARODO7.DEGREES(1)",
      "DARODO7.INSERT_STRING(1, 1, 1, 1)",
      "DARODO7.LEFT(1, 1)",
      "DARODO7.LOCATE(1, 1)",
      "DARODO7.LOCATE(1, 1, 1)",
      "DARODO7.RADIANS(1)",
      "DARODO7.REPEAT(1, 1)",
      "DARODO7.RIGHT(1, 1)",
      "DARODO7.TIMESTAMPADD(1, 1, 1)",
      "DARODO7.TIMESTAMPDIFF(1, 1, 1)",
  };
  for (const char* c : calls) {
    std::string sql = std::string("select ") + c + " from dual";
    DlStatement st;
    DlError err;
    ASSERT_EQ(0, dl_translate(sql.data(), sql.size(), &ses_, &st, &err)) << c << ": " << err.message;
    sqlite3_stmt* s = nullptr;
    EXPECT_EQ(SQLITE_OK, sqlite3_prepare_v2(db_, st.sql.c_str(), -1, &s, nullptr)) << c << ": " << sqlite3_errmsg(db_);
    sqlite3_finalize(s);
  }
}

TEST_F(DialectDb, StringFunctionsTreatEmptyAsNull) {
  const ValueCase cases[] = {
      {"''", "<null>"},
      {"'a' || null || 'b'", "ab"},
      {"null || null", "<null>"},
      {"'x' || 0.5", "x.5"},
      {"'on ' || date '2001-02-03'", "on 03-FEB-01"},
      {"concat('a', 'b')", "ab"},
      {"length('')", "<null>"},
      {"length('héllo')", "5"},
      {"lengthb('héllo')", "6"},
      {"substr('abcdef', 2, 3)", "bcd"},
      {"substr('abcdef', -2)", "ef"},
      {"substr('abcdef', 0, 2)", "ab"},
      {"substr('abc', 5)", "<null>"},
      {"substr('abc', 1, 0)", "<null>"},
      {"substr('héllo', 2, 2)", "él"},
      {"substrb('héllo', 2, 2)", "é"},
      {"instr('abcabc', 'bc')", "2"},
      {"instr('abcabc', 'bc', 1, 2)", "5"},
      {"instr('abcabc', 'bc', -1)", "5"},
      {"instr('abcabc', 'x')", "0"},
      {"upper('straße é')", "STRAßE É"},
      {"lower('ÀB')", "àb"},
      {"nls_upper('abc')", "ABC"},
      {"initcap('hello wORLD')", "Hello World"},
      {"lpad('7', 3, '0')", "007"},
      {"rpad('ab', 5, 'xy')", "abxyx"},
      {"lpad('abcdef', 3)", "abc"},
      {"ltrim('xxabc', 'x')", "abc"},
      {"rtrim('abc  ')", "abc"},
      {"trim('  a b  ')", "a b"},
      {"trim(leading '0' from '007')", "7"},
      {"trim(both 'x' from 'xaxx')", "a"},
      {"replace('banana', 'an', 'o')", "booa"},
      {"replace('banana', 'a')", "bnn"},
      {"replace('aa', 'a', '')", "<null>"},
      {"translate('abc', 'ab', 'x')", "xc"},
      {"chr(65) || chr(50089)", "Aé"},
      {"ascii('A')", "65"},
      {"soundex('Robert')", "R163"},
      {"nvl(null, 'd')", "d"},
      {"nvl('', 'd')", "d"},
      {"nvl2('x', 1, 2)", "1"},
      {"decode(2, 1, 'one', 2, 'two', 'many')", "two"},
      {"decode(null, null, 'null matches')", "null matches"},
      {"decode(1, '1', 'converted')", "converted"},
      {"decode(5, 0, null, 1 / 5)", ".2"},
      {"decode(0, 0, 'zero', 1 / 0)", "zero"},
      {"case when 1 = 1 then 'y' else 'n' end", "y"},
      {"coalesce(null, null, 3)", "3"},
      {"nullif(1, 1)", "<null>"},
      {"rawtohex(hextoraw('0aff'))", "0AFF"},
      {"user", "SCOTT"},
      {"sys_context('USERENV', 'SESSION_USER')", "SCOTT"},
      {"sys_context('userenv', 'current_schema')", "SCOTT"},
      {"userenv('LANGUAGE')", "AMERICAN_AMERICA.AL32UTF8"},
      {"sys_context('USERENV', 'NOPE')", "ORA-2003 invalid USERENV parameter"},
      {"cast('12.345' as number(5,2))", "12.35"},
      {"cast(5 as char(3)) || '|'", "5  |"},
      {"cast('2024-01-02' as date)", "ORA-1861 literal does not match format string"},
  };
  for (const ValueCase& c : cases) EXPECT_EQ(c.expect, value(c.expr)) << c.expr;
}

TEST_F(DialectDb, DateFunctionsAndArithmetic) {
  const ValueCase cases[] = {
      {"date '2024-01-31' + 1", "2024-02-01 00:00:00"},
      {"date '2024-01-31' + 0.5", "2024-01-31 12:00:00"},
      {"1 + date '2024-01-31'", "2024-02-01 00:00:00"},
      {"date '2024-03-01' - 1", "2024-02-29 00:00:00"},
      {"date '2024-03-01' - date '2024-02-01'", "29"},
      {"to_date('2024-03-01 12:00', 'YYYY-MM-DD HH24:MI') - date '2024-03-01'", ".5"},
      {"add_months(date '2024-01-31', 1)", "2024-02-29 00:00:00"},
      {"add_months(date '2024-02-29', 12)", "2025-02-28 00:00:00"},
      {"add_months(date '2024-04-30', 1)", "2024-05-31 00:00:00"},
      {"months_between(date '2024-03-31', date '2024-02-29')", "1"},
      {"months_between(date '2024-03-15', date '2024-02-01')", "1.45161290322581"},
      {"last_day(date '2023-02-10')", "2023-02-28 00:00:00"},
      {"next_day(date '2024-05-01', 'MONDAY')", "2024-05-06 00:00:00"},
      {"trunc(to_date('2024-05-17 13:45', 'YYYY-MM-DD HH24:MI'))", "2024-05-17 00:00:00"},
      {"trunc(date '2024-05-17', 'MM')", "2024-05-01 00:00:00"},
      {"trunc(date '2024-05-17', 'YYYY')", "2024-01-01 00:00:00"},
      {"round(to_date('2024-05-17 13:45', 'YYYY-MM-DD HH24:MI'))", "2024-05-18 00:00:00"},
      {"round(date '2024-05-16', 'MM')", "2024-06-01 00:00:00"},
      {"trunc(date '2024-05-17', 'Q')", "2024-04-01 00:00:00"},
      {"extract(year from date '2024-05-17')", "2024"},
      {"extract(second from timestamp '2024-05-17 10:11:12.5')", "12.5"},
      {"extract(hour from date '2024-05-17')", "ORA-30076 invalid extract field for extract source"},
      {"timestamp '2024-05-17 10:11:12.123'", "2024-05-17 10:11:12.123000000"},
      // the formats the driver's escape translation generates
      {"to_date('02032001', 'MMDDYYYY')", "2001-02-03 00:00:00"},
      {"to_char(to_date('040506', 'HH24MISS'), 'DD HH24:MI:SS')", "01 04:05:06"},
      {"to_date('02032001040506', 'MMDDYYYYHH24MISS')", "2001-02-03 04:05:06"},
      {"to_date('2001-02-03', 'YYYY-MM-DD')", "2001-02-03 00:00:00"},
      {"to_date('2001-02-03 04:05:06', 'YYYY-MM-DD HH24:MI:SS')", "2001-02-03 04:05:06"},
      {"to_char(date '2001-02-03', 'YYYY-MM-DD HH24:MI:SS')", "2001-02-03 00:00:00"},
      {"to_number(to_char(date '2001-02-03', 'D'))", "7"},
      {"to_number(to_char(date '2001-02-03', 'DDD'))", "34"},
      {"to_number(to_char(date '2001-12-31', 'WW'))", "53"},
      {"to_number(to_char(date '2001-05-03', 'Q'))", "2"},
      {"rtrim(to_char(date '2001-02-03', 'Month'))", "February"},
      {"rtrim(to_char(date '2001-02-03', 'Day'))", "Saturday"},
      {"to_char(date '2001-02-03', 'DY MON')", "SAT FEB"},
      {"to_char(to_date('2001-02-03 15:04', 'YYYY-MM-DD HH24:MI'), 'HH:MI PM')", "03:04 PM"},
      {"to_char(date '2001-02-03', 'FMDD \"of\" Month')", "3 of February"},
      {"to_char(date '2001-02-03', 'FMDD \"of\" FMMonth') || '|'", "3 of February |"},
      {"to_date('20010203', 'YYYY-MM-DD')", "2001-02-03 00:00:00"},
      {"to_char(date '2001-02-03', 'J')", "2451944"},
      {"to_char(date '2021-01-03', 'IYYY-IW')", "2020-53"},
      {"to_char(date '2024-12-30', 'IYYY-IW')", "2025-01"},
      {"to_char(to_date('2451944', 'J'), 'YYYY-MM-DD')", "2001-02-03"},
      {"to_char(date '2001-02-03')", "03-FEB-01"},
      {"to_date('03-FEB-01')", "2001-02-03 00:00:00"},
      {"to_date('03-feb-1999', 'DD-MON-RR')", "1999-02-03 00:00:00"},
      {"to_date('31-02-2001', 'DD-MM-YYYY')", "ORA-1839 date not valid for month specified"},
      {"to_date('2001-13-01', 'YYYY-MM-DD')", "ORA-1843 not a valid month"},
      {"to_date('2001-02-03 25', 'YYYY-MM-DD HH24')", "ORA-1850 hour must be between 0 and 23"},
      {"to_date('2001-02-03x', 'YYYY-MM-DD')", "ORA-1830 date format picture ends before converting entire input string"},
      {"to_date('ab', 'YYYY')", "ORA-1858 a non-numeric character was found where a numeric was expected"},
      {"to_date('2001', 'YYYY-ZZ')", "ORA-1821 date format not recognized"},
      {"to_char(to_timestamp('2001-02-03 04:05:06.789', 'YYYY-MM-DD HH24:MI:SS.FF'), 'SS.FF3')", "06.789"},
      {"date '2024-01-01' + date '2024-01-01'", "ORA-975 date + date not allowed"},
      {"1 / 0", "ORA-1476 divisor is equal to zero"},
      {"'abc' + 1", "ORA-1722 invalid number"},
      {"to_number('1.2.3')", "ORA-1722 invalid number"},
  };
  for (const ValueCase& c : cases) EXPECT_EQ(c.expect, value(c.expr)) << c.expr;
}

// What the driver's escape translation sends must run here.
TEST_F(DialectDb, EscapeTranslationOutputsRun) {
  ASSERT_EQ(0, run("create table e (d date, s varchar2(20), n number)"));
  ASSERT_EQ(0, run("insert into e values (to_date('02032001040506','MMDDYYYYHH24MISS'), 'abc  ', 12.7)"));
  struct Q {
    const char* select;
    const char* expect;
  };
  const Q qs[] = {
      {"select to_number(to_char(d,'MI')), to_number(to_char(d,'HH24')), to_number(to_char(d,'SS')) from e", "5|4|6"},
      {"select to_number(to_char(d,'YYYY')), to_number(to_char(d,'MM')), to_number(to_char(d,'DD')) from e", "2001|2|3"},
      {"select to_number(to_char(d,'Q')), to_number(to_char(d,'WW')), to_number(to_char(d,'DDD')) from e", "1|5|34"},
      {"select rtrim(to_char(d,'Month')), rtrim(to_char(d,'Day')), to_number(to_char(d,'D')) from e",
       "February|Saturday|7"},
      {"select  log(10,(1000)),  ln(exp(2)), lengthb(s)*8,  length(rtrim(s)) from e", "3|2|40|3"},
      {"select  nls_upper(s), nls_lower('ABC'),  chr(65), ceil(n), trunc(to_number('12.7')) from e",
       "ABC  |abc|A|13|12"},
      {"select 3.14159265358979 * 2, to_char(n), to_date('02032001','MMDDYYYY') from e",
       "6.28318530717958|12.7|2001-02-03 00:00:00"},
      {"select  DARODO7.LEFT(s, 2), DARODO7.RIGHT('abc', 2), DARODO7.REPEAT('ab', 3), DARODO7.LOCATE('c', s) from e",
       "ab|bc|ababab|3"},
      {"select DARODO7.INSERT_STRING('abcdef', 2, 3, 'XY'), round(DARODO7.DEGREES(3.14159265358979)) from e",
       "aXYef|180"},
      {"select  DARODO7.TIMESTAMPADD('SQL_TSI_DAY', 1, d), DARODO7.TIMESTAMPDIFF('SQL_TSI_HOUR', d, d + 1) from e",
       "2001-02-04 04:05:06|24"},
      {"select to_date(to_char(d,'YYYY-MM-DD'),'YYYY-MM-DD'), nvl(n, 0), to_char(d,'HH24:MI:SS') from e",
       "2001-02-03 00:00:00|12.7|04:05:06"},
      {"select rowidtochar(ROWID) as \"rowid\", n from e", "000000000000000001|12.7"},
      {"select trunc(to_number(n)), to_number(n), to_char(n) from e", "12|12.7|12.7"},
  };
  for (const Q& q : qs) EXPECT_EQ(q.expect, rows(q.select)) << q.select;
}

// Shapes the driver's catalog queries use: NULL columns with aliases, DECODE,
// UNION with ORDER BY positions, || and NVL.
TEST(DialectTranslate, NumbersBeyondTheExactRangeAreRefusedNotRounded) {
  struct Case {
    const char* literal;
    int code;
  } cases[] = {
      {"9223372036854775807", 0},     {"9223372036854775808", 3001}, {"123456789012345", 0},
      {"1234567890123456", 0},        {"1234567890123456.5", 3001},   {"0.123456789012345", 0},
      {"0.1234567890123456", 3001},   {"1e30", 0},                    {"12345678901234567890123", 3001},
      {"100000000000000000000000", 0}, {"0.000", 0},
  };
  for (const Case& c : cases) EXPECT_EQ(c.code, tr_error(std::string("SELECT ") + c.literal + " FROM DUAL")) << c.literal;
  // The message names the value and the limit.
  DlStatement st;
  DlError err;
  const std::string sql = "SELECT 12345678901234567890123 FROM DUAL";
  ASSERT_EQ(3001, dl_translate(sql.data(), sql.size(), nullptr, &st, &err));
  EXPECT_NE(std::string(err.message).find("12345678901234567890123"), std::string::npos) << err.message;
  EXPECT_NE(std::string(err.message).find("15 significant digits"), std::string::npos) << err.message;
  EXPECT_TRUE(dl_number_exact("-9223372036854775808", 20));
  EXPECT_FALSE(dl_number_exact("-9223372036854775809", 20));
}

TEST_F(DialectDb, ToNumberAndIntegerOverflowRefuseWhatTheyWouldRound) {
  int ora = 0;
  rows("SELECT TO_NUMBER('12345678901234567890123') FROM DUAL", &ora);
  EXPECT_EQ(3001, ora);
  EXPECT_EQ("12345", value("TO_NUMBER(' 12345 ')"));
  // Integer arithmetic leaving 64 bits: kept only where a double is exact.
  struct Case {
    const char* expr;
    const char* value;  // nullptr: refused with ORA-03001
  } cases[] = {
      {"9223372036854775807 + 1", nullptr},
      {"-9223372036854775807 - 2", nullptr},
      {"9223372036854775807 * 3", nullptr},
      {"-(-9223372036854775807 - 1)", nullptr},
      {"9223372036854775806 + 1", "9223372036854775807"},
      {"1000000000000 * 10000000000", "10000000000000000000000"},
      {"5000000000000000000 + 5000000000000000000", "10000000000000000000"},
  };
  for (const Case& c : cases) {
    ora = 0;
    const std::string got = rows(std::string("SELECT ") + c.expr + " FROM DUAL", &ora);
    if (c.value) EXPECT_EQ(c.value, got) << c.expr;
    else EXPECT_EQ(3001, ora) << c.expr << " gave " << got;
  }
}

TEST_F(DialectDb, CompoundQueryDescribesEachColumnFromEveryMember) {
  ASSERT_EQ(0, run("create table m (n number(4), s varchar2(5), l varchar2(40))"));
  const std::string sql =
      "SELECT NULL A, s B, DECODE(n, 1, 'NO', 'YES') C FROM m UNION SELECT l, 'longer text', 'X' FROM m";
  DlStatement st;
  DlError err;
  ASSERT_EQ(0, dl_translate(sql.data(), sql.size(), &ses_, &st, &err)) << err.message;
  sqlite3_stmt* s = nullptr;
  ASSERT_EQ(SQLITE_OK, sqlite3_prepare_v2(db_, st.sql.c_str(), -1, &s, nullptr));
  uint32_t want[] = {40, 11, 3};
  for (int c = 0; c < 3; ++c) {
    DlColType t;
    dl_describe_column(&st, s, c, &t, nullptr);
    EXPECT_EQ(t.type, DL_T_VARCHAR2) << c;
    EXPECT_EQ(t.size, want[c]) << c;
  }
  sqlite3_finalize(s);
}

TEST_F(DialectDb, CatalogQueryShapes) {
  ASSERT_EQ(0, run("create table cat (owner varchar2(30), table_name varchar2(30), num_rows number, "
                   "created date default sysdate)"));
  ASSERT_EQ(0, run("insert into cat (owner, table_name, num_rows) values ('SCOTT', 'EMP', 3)"));
  ASSERT_EQ(0, run("insert into cat (owner, table_name) values ('HR', 'DEPT')"));
  EXPECT_EQ("2", rows("select count(*) from cat where created is not null and created <= sysdate"));
  EXPECT_EQ("<null>|HR|DEPT|TABLE|0;<null>|SCOTT|EMP|VIEW|3",
            rows("SELECT NULL \"TABLE_CAT\", T.OWNER \"TABLE_SCHEM\", T.TABLE_NAME \"TABLE_NAME\", "
                 "DECODE (T.NUM_ROWS, NULL, 'TABLE', 'VIEW') \"TABLE_TYPE\", NVL(T.NUM_ROWS, 0) \"N\" "
                 "FROM CAT T WHERE T.OWNER LIKE '%' AND 1 = 1 UNION SELECT NULL, 'X', 'Y', 'Z', 1 FROM DUAL WHERE 1 = 0 "
                 "ORDER BY 2, 3"));
  EXPECT_EQ("HR.DEPT;SCOTT.EMP", rows("select owner || '.' || table_name from cat order by 1"));
}

TEST_F(DialectDb, ScalarSubqueryGivesAtMostOneRow) {
  ASSERT_EQ(0, run("create table o (k number, v varchar2(5))"));
  ASSERT_EQ(0, run("insert into o values (1, 'a')"));
  ASSERT_EQ(0, run("insert into o values (2, 'b')"));
  ASSERT_EQ(0, run("insert into o values (2, 'c')"));
  EXPECT_EQ("a", rows("select (select v from o where k = 1) from dual"));
  EXPECT_EQ("<null>", rows("select (select v from o where k = 3) from dual"));
  int ora = 0;
  rows("select (select v from o where k = 2) from dual", &ora);
  EXPECT_EQ(1427, ora);
  rows("select k from o where v = (select v from o)", &ora);
  EXPECT_EQ(1427, ora);
  // correlated, one row each
  EXPECT_EQ("1|1;2|2;2|2", rows("select k, (select count(*) from o i where i.k = o.k) from o order by k"));
}

TEST_F(DialectDb, Sequences) {
  int ora = 0;
  rows("select s.currval from dual", &ora);
  EXPECT_EQ(8002, ora);
  ASSERT_EQ(0, run("create sequence s start with 10 increment by 5 maxvalue 20"));
  EXPECT_EQ(955, run("create sequence s"));
  ASSERT_EQ(0, run("create table q (id number)"));
  ASSERT_EQ(0, run("insert into q values (s.nextval)"));
  ASSERT_EQ(0, run("insert into q values (scott.s.nextval)"));
  EXPECT_EQ("10;15", rows("select id from q order by id"));
  EXPECT_EQ("15", rows("select s.currval from dual"));
  EXPECT_EQ("20", rows("select s.nextval from dual"));
  rows("select s.nextval from dual", &ora);
  EXPECT_EQ(8004, ora);
  ASSERT_EQ(0, run("create sequence c minvalue 1 maxvalue 2 cycle"));
  EXPECT_EQ("1;2", rows("select c.nextval from q"));
  EXPECT_EQ("1", rows("select c.nextval from dual"));
  ASSERT_EQ(0, run("drop sequence s"));
  EXPECT_EQ(2289, run("drop sequence s"));
  rows("select nosuch.nextval from dual", &ora);
  EXPECT_EQ(2289, ora);
  EXPECT_EQ(4004, run("create sequence b minvalue 5 maxvalue 1"));
}

TEST_F(DialectDb, SysdateIsFixedPerStatementAndInRange) {
  std::string a = value("sysdate");
  ASSERT_EQ(19u, a.size()) << a;
  EXPECT_EQ("1", value("case when sysdate = sysdate then 1 else 0 end"));
  EXPECT_EQ("1", value("case when systimestamp >= sysdate then 1 else 0 end"));
  // SYSDATE sorts with stored dates
  EXPECT_EQ("1", value("case when sysdate > date '2020-01-01' then 1 else 0 end"));
}

TEST_F(DialectDb, AlterSessionChangesTheDateFormat) {
  ASSERT_EQ(0, run("alter session set nls_date_format = 'YYYY/MM/DD'"));
  EXPECT_EQ("2001/02/03", value("to_char(date '2001-02-03')"));
  EXPECT_EQ("2001-02-03 00:00:00", value("to_date('2001/02/03')"));
  EXPECT_EQ(1821, run("alter session set nls_date_format = 'YYYY-ZZ'"));
  EXPECT_EQ(2248, run("alter session set sql_fancy = true"));
  // several pairs apply together, or none when one is wrong
  ASSERT_EQ(0, run("alter session set nls_language = american nls_date_format = 'DD.MM.YYYY'"));
  EXPECT_EQ("03.02.2001", value("to_char(date '2001-02-03')"));
  EXPECT_EQ(2248, run("alter session set nls_date_format = 'YYYY' bogus = 1"));
  EXPECT_EQ("03.02.2001", value("to_char(date '2001-02-03')"));
}

// ----------------------------------------------------------- tables

TEST_F(DialectDb, ColumnRulesFollowOracle) {
  ASSERT_EQ(0, run("create table t (id number(5) primary key, c char(4), v varchar2(3), "
                   "n number(5,2), d date, r raw(2), nc nvarchar2(2))"));
  ASSERT_EQ(0, run("insert into t (id, c, v, n, d, r) values (1, 'ab', 'xyz', 1.005, "
                   "to_date('2024-01-02', 'YYYY-MM-DD'), hextoraw('ABCD'))"));
  // CHAR is blank-padded; NUMBER(5,2) rounds to its scale
  EXPECT_EQ("ab  |xyz|1.01|2024-01-02 00:00:00|0xABCD",
            rows("select c, v, n, d, r from t where id = 1"));
  // CHAR compares with blank-padded semantics
  EXPECT_EQ("1", rows("select id from t where c = 'ab  '"));
  EXPECT_EQ("1", rows("select id from t where c = 'ab'"));
  // a DATE equals the TIMESTAMP of the same instant
  EXPECT_EQ("1", rows("select id from t where d = timestamp '2024-01-02 00:00:00'"));
  EXPECT_EQ("", rows("select id from t where d > timestamp '2024-01-02 00:00:00'"));
  // values that do not fit
  DlError err;
  EXPECT_EQ(12899, run("insert into t (id, v) values (2, 'wxyz')", &err));
  EXPECT_STREQ("value too large for column \"SCOTT\".\"T\".\"V\" (actual: 4, maximum: 3)", err.message);
  EXPECT_EQ(12899, run("insert into t (id, nc) values (2, 'abc')"));
  EXPECT_EQ(0, run("insert into t (id, nc) values (2, 'éé')"));
  EXPECT_EQ(1438, run("insert into t (id, n) values (3, 1000)"));
  EXPECT_EQ(1438, run("insert into t (id, n) values (3, 999.999)"));
  EXPECT_EQ(1722, run("insert into t (id, n) values (3, 'abc')"));
  EXPECT_EQ(0, run("insert into t (id, n) values (3, ' 12.5 ')"));
  EXPECT_EQ("12.5", rows("select n from t where id = 3"));
  // text into DATE converts with the session's format, as Oracle's implicit conversion
  EXPECT_EQ(0, run("insert into t (id, d) values (4, '05-MAR-24')"));
  EXPECT_EQ("2024-03-05 00:00:00", rows("select d from t where id = 4"));
  // and so does a string compared with a DATE column
  EXPECT_EQ("4", rows("select id from t where d = '05-MAR-24'"));
  EXPECT_EQ("4", rows("select id from t where d > '01-MAR-24' and d < '10-MAR-24'"));
  EXPECT_EQ(1861, run("insert into t (id, d) values (5, '2024-03-05')"));
  EXPECT_EQ(1465, run("insert into t (id, r) values (5, 'xyz')"));
  EXPECT_EQ(0, run("update t set c = 'z', n = 2.555 where id = 1"));
  EXPECT_EQ("z   |2.56", rows("select c, n from t where id = 1"));
  EXPECT_EQ(1400, run("insert into t (id, v) values (null, 'a')", &err));
  EXPECT_EQ(1, run("insert into t (id) values (1)", &err));
  // the empty string is NULL in inserted values
  EXPECT_EQ(0, run("insert into t (id, v) values (6, '')"));
  EXPECT_EQ("6", rows("select id from t where v is null and id = 6"));
}

TEST_F(DialectDb, NullsSortAsInOracle) {
  ASSERT_EQ(0, run("create table s (a number)"));
  ASSERT_EQ(0, run("insert into s values (2)"));
  ASSERT_EQ(0, run("insert into s values (null)"));
  ASSERT_EQ(0, run("insert into s values (1)"));
  EXPECT_EQ("1;2;<null>", rows("select a from s order by a"));
  EXPECT_EQ("<null>;2;1", rows("select a from s order by a desc"));
  EXPECT_EQ("<null>;1;2", rows("select a from s order by 1 nulls first"));
}

TEST_F(DialectDb, LikeIsCaseSensitiveAndNamesAreNotStrings) {
  ASSERT_EQ(0, run("create table l (a varchar2(10))"));
  ASSERT_EQ(0, run("insert into l values ('Abc')"));
  EXPECT_EQ("", rows("select a from l where a like 'a%'"));
  EXPECT_EQ("Abc", rows("select a from l where a like 'A%'"));
  int ora = 0;
  rows("select \"NOPE\" from l", &ora);
  EXPECT_EQ(904, ora);
}

TEST_F(DialectDb, RownumAndRowid) {
  ASSERT_EQ(0, run("create table r (a number)"));
  for (int i = 1; i <= 5; ++i) ASSERT_EQ(0, run("insert into r values (" + std::to_string(i) + ")"));
  EXPECT_EQ("1;2", rows("select a from r where rownum < 3"));
  EXPECT_EQ("5;4", rows("select * from (select a from r order by a desc) where rownum <= 2"));
  EXPECT_EQ("1|1;2|2", rows("select rownum, a from r where rownum <= 2"));
  EXPECT_EQ("000000000000000003", rows("select rowid from r where a = 3"));
  EXPECT_EQ("3", rows("select a from r where rowid = '000000000000000003'"));
  // rowid text sorts like the rowid
  EXPECT_EQ("000000000000000001;000000000000000002", rows("select rowidtochar(rowid) from r where a < 3 order by 1"));
}

TEST_F(DialectDb, DdlTranslations) {
  ASSERT_EQ(0, run("create table scott.p (id number(10) not null, name varchar2(20 char) default 'x', "
                   "constraint p_pk primary key (id)) tablespace users pctfree 10"));
  ASSERT_EQ(0, run("create table c (id number primary key, pid number references p (id) on delete cascade)"));
  ASSERT_EQ(0, run("create unique index p_name on p (upper(name))"));
  ASSERT_EQ(0, run("insert into p (id) values (1)"));
  EXPECT_EQ("x", rows("select name from p"));
  EXPECT_EQ(2291, run("insert into c values (1, 99)"));
  ASSERT_EQ(0, run("insert into c values (1, 1)"));
  ASSERT_EQ(0, run("delete from p"));
  EXPECT_EQ("0", rows("select count(*) from c"));
  ASSERT_EQ(0, run("alter table p add (born date, note char(2))"));
  ASSERT_EQ(0, run("insert into p (id, note) values (2, 'a')"));
  EXPECT_EQ("a |<null>", rows("select note, born from p"));
  EXPECT_EQ(1430, run("alter table p add (note char(3))"));
  EXPECT_EQ(1430, run("alter table scott.p add born number"));
  EXPECT_EQ(1758, run("alter table p add extra number not null"));
  ASSERT_EQ(0, run("alter table p drop column note"));
  ASSERT_EQ(0, run("alter table p rename column born to birth"));
  ASSERT_EQ(0, run("create or replace view pv as select id, birth from p"));
  ASSERT_EQ(0, run("create or replace view pv as select id from p"));
  EXPECT_EQ("2", rows("select * from pv"));
  EXPECT_EQ(3001, run("rename pv to pv2"));  // SQLite cannot rename a view
  ASSERT_EQ(0, run("create table q (a number)"));
  ASSERT_EQ(0, run("rename q to q2"));
  EXPECT_EQ("0", rows("select count(*) from q2"));
  EXPECT_EQ(955, run("create table p (a number)"));
  EXPECT_EQ(942, run("drop table nosuch"));
  ASSERT_EQ(0, run("truncate table p"));
  EXPECT_EQ("0", rows("select count(*) from p"));
  ASSERT_EQ(0, run("drop table c cascade constraints"));
  ASSERT_EQ(0, run("comment on table p is 'people'"));
}

TEST_F(DialectDb, CreateTableAsSelectKeepsOracleTypes) {
  ASSERT_EQ(0, run("create table src (d date not null, n number(5,2), v varchar2(7), c char(2))"));
  ASSERT_EQ(0, run("insert into src values (date '2024-01-02', 1.5, 'abc', 'x')"));
  ASSERT_EQ(0, run("create table dst as select d, n, v, c, n * 2 twice, d + 1 next_day, 'lit' l from src"));
  EXPECT_EQ("2024-01-02 00:00:00|1.5|abc|x |3|2024-01-03 00:00:00|lit", rows("select * from dst"));
  // the copied columns keep their rules
  EXPECT_EQ(12899, run("insert into dst (d, v) values (sysdate, 'too long!')"));
  EXPECT_EQ(1400, run("insert into dst (v) values ('a')"));
  sqlite3_stmt* s = nullptr;
  ASSERT_EQ(SQLITE_OK, sqlite3_prepare_v2(db_, "SELECT * FROM \"DST\"", -1, &s, nullptr));
  const uint16_t types[] = {DL_T_DATE, DL_T_NUMBER, DL_T_VARCHAR2, DL_T_CHAR, DL_T_NUMBER, DL_T_DATE, DL_T_CHAR};
  for (int i = 0; i < sqlite3_column_count(s); ++i) {
    DlColType t;
    std::string name;
    dl_describe_column(nullptr, s, i, &t, &name);
    EXPECT_EQ(types[i], t.type) << name;
  }
  sqlite3_finalize(s);
  // the same through the statement's own text, as a caller that runs DDL
  // text directly does
  {
    const char* sql = "create table dst2 as select d, c from src";
    DlStatement st;
    DlError err;
    ASSERT_EQ(0, dl_translate(sql, std::strlen(sql), &ses_, &st, &err));
    char* msg = nullptr;
    ASSERT_EQ(SQLITE_OK, sqlite3_exec(db_, st.sql.c_str(), nullptr, nullptr, &msg)) << (msg ? msg : "");
    EXPECT_EQ("2024-01-02 00:00:00|x ", rows("select * from dst2"));
    ASSERT_EQ(SQLITE_OK, sqlite3_prepare_v2(db_, "SELECT * FROM \"DST2\"", -1, &s, nullptr));
    DlColType t;
    dl_describe_column(nullptr, s, 0, &t, nullptr);
    EXPECT_EQ(DL_T_DATE, t.type);
    sqlite3_finalize(s);
    ASSERT_NE(SQLITE_OK, sqlite3_exec(db_, st.sql.c_str(), nullptr, nullptr, &msg));
    DlError e2;
    EXPECT_EQ(955, dl_map_sqlite_error(sqlite3_extended_errcode(db_), msg, &e2));
    sqlite3_free(msg);
  }
  EXPECT_EQ(998, run("create table bad as select n + 1 from src"));
  EXPECT_EQ(1723, run("create table bad as select null x from src"));
  EXPECT_EQ(1027, run("create table bad as select n from src where n = :1"));
}

// ------------------------------------------------------------- describe

TEST_F(DialectDb, DescribeReportsOracleTypesAndNames) {
  ASSERT_EQ(0, run("create table dt (n number not null, n52 number(5,2), i integer, f float, "
                   "v varchar2(10), vc varchar2(10 char), c char(3), nc nchar(2), nv nvarchar2(4), "
                   "d date, ts timestamp(3), r raw(8), l long, cl clob, ncl nclob, b blob, "
                   "bf binary_float, bd binary_double)"));
  const char* sql = "select dt.*, n + 1, d + 1, d - d, count(*) over (), 'abc', null, sysdate, "
                    "to_char(n), upper(v), rowid, nvl(d, sysdate) from dt";
  DlStatement st;
  DlError err;
  ASSERT_EQ(0, dl_translate(sql, std::strlen(sql), &ses_, &st, &err)) << err.message;
  sqlite3_stmt* s = nullptr;
  ASSERT_EQ(SQLITE_OK, sqlite3_prepare_v2(db_, st.sql.c_str(), -1, &s, nullptr)) << sqlite3_errmsg(db_);
  struct Expect {
    const char* name;
    uint16_t type;
    uint32_t size;
    int precision;
    int scale;
    int csform;
  };
  const Expect ex[] = {
      {"N", DL_T_NUMBER, 22, 0, -127, 1},
      {"N52", DL_T_NUMBER, 22, 5, 2, 1},
      {"I", DL_T_NUMBER, 22, 38, 0, 1},
      {"F", DL_T_NUMBER, 22, 126, -127, 1},
      {"V", DL_T_VARCHAR2, 10, 0, 0, 1},
      {"VC", DL_T_VARCHAR2, 40, 0, 0, 1},
      {"C", DL_T_CHAR, 3, 0, 0, 1},
      {"NC", DL_T_CHAR, 4, 0, 0, 2},
      {"NV", DL_T_VARCHAR2, 8, 0, 0, 2},
      {"D", DL_T_DATE, 7, 0, 0, 1},
      {"TS", DL_T_TIMESTAMP, 11, 0, 3, 1},
      {"R", DL_T_RAW, 8, 0, 0, 1},
      {"L", DL_T_LONG, 0, 0, 0, 1},
      {"CL", DL_T_CLOB, 4000, 0, 0, 1},
      {"NCL", DL_T_CLOB, 4000, 0, 0, 2},
      {"B", DL_T_BLOB, 4000, 0, 0, 1},
      {"BF", DL_T_BINARY_FLOAT, 4, 0, 0, 1},
      {"BD", DL_T_BINARY_DOUBLE, 8, 0, 0, 1},
      {"N+1", DL_T_NUMBER, 22, 0, -127, 1},
      {"D+1", DL_T_DATE, 7, 0, 0, 1},
      {"D-D", DL_T_NUMBER, 22, 0, -127, 1},
      {"COUNT(*)OVER()", DL_T_NUMBER, 22, 0, 0, 1},
      {"'ABC'", DL_T_CHAR, 3, 0, 0, 1},
      {"NULL", DL_T_VARCHAR2, 0, 0, 0, 1},
      {"SYSDATE", DL_T_DATE, 7, 0, 0, 1},
      {"TO_CHAR(N)", DL_T_VARCHAR2, 4000, 0, 0, 1},
      {"UPPER(V)", DL_T_VARCHAR2, 10, 0, 0, 1},
      {"ROWID", DL_T_ROWID, 18, 0, 0, 1},
      {"NVL(D,SYSDATE)", DL_T_DATE, 7, 0, 0, 1},
  };
  ASSERT_EQ((int)(sizeof ex / sizeof ex[0]), sqlite3_column_count(s));
  for (int i = 0; i < sqlite3_column_count(s); ++i) {
    DlColType t;
    std::string name;
    dl_describe_column(&st, s, i, &t, &name);
    EXPECT_EQ(ex[i].name, name) << i;
    EXPECT_EQ(ex[i].type, t.type) << ex[i].name;
    EXPECT_EQ(ex[i].size, t.size) << ex[i].name;
    EXPECT_EQ(ex[i].precision, t.precision) << ex[i].name;
    EXPECT_EQ(ex[i].scale, t.scale) << ex[i].name;
    EXPECT_EQ(ex[i].csform, t.csform) << ex[i].name;
    EXPECT_EQ(i != 0, t.nullable) << ex[i].name;
  }
  sqlite3_finalize(s);
}

// ---------------------------------------------------------- error mapping

TEST(DialectErrors, MapsSqliteFailuresToOracleErrors) {
  struct Case {
    int rc;
    const char* msg;
    int ora;
    const char* text;
  };
  const Case cases[] = {
      {SQLITE_ERROR, "no such table: T", 942, "table or view does not exist"},
      {SQLITE_ERROR, "no such table: HR.T", 942, "table or view does not exist"},
      {SQLITE_ERROR, "no such column: T.X", 904, "\"T\".\"X\": invalid identifier"},
      {SQLITE_ERROR, "table \"T\" already exists", 955, "name is already used by an existing object"},
      {SQLITE_ERROR, "index P_PK already exists", 955, "name is already used by an existing object"},
      {SQLITE_CONSTRAINT_UNIQUE, "UNIQUE constraint failed: T.ID", 1, "unique constraint (T.ID) violated"},
      {SQLITE_CONSTRAINT_PRIMARYKEY, "UNIQUE constraint failed: T.A, T.B", 1, "unique constraint (T.A,T.B) violated"},
      {SQLITE_CONSTRAINT_NOTNULL, "NOT NULL constraint failed: T.ID", 1400, "cannot insert NULL into (\"T\".\"ID\")"},
      {SQLITE_CONSTRAINT_FOREIGNKEY, "FOREIGN KEY constraint failed", 2291, "integrity constraint () violated - parent key not found"},
      {SQLITE_CONSTRAINT_CHECK, "CHECK constraint failed: CK1", 2290, "check constraint (CK1) violated"},
      {SQLITE_INTERRUPT, "interrupted", 1013, "user requested cancel of current operation"},
      {SQLITE_BUSY, "database is locked", 54, "resource busy and acquire with NOWAIT specified or timeout expired"},
      {SQLITE_ERROR, "ORA-01722: invalid number", 1722, "invalid number"},
      {SQLITE_ERROR, "wrong number of arguments to function ORA_LOG()", 909, "invalid number of arguments"},
      {SQLITE_ERROR, "table T has 2 columns but 3 values were supplied", 913, "too many values"},
      {SQLITE_ERROR, "table T has 3 columns but 2 values were supplied", 947, "not enough values"},
      {SQLITE_ERROR, "SELECTs to the left and right of UNION do not have the same number of result columns", 1789,
       "query block has incorrect number of result columns"},
      {SQLITE_ERROR, "ambiguous column name: A", 918, "column ambiguously defined"},
      {SQLITE_ERROR, "misuse of aggregate: count()", 934, "group function is not allowed here"},
      {SQLITE_ERROR, "no such savepoint: S1", 1086, "savepoint 'S1' never established in this session or is invalid"},
      {SQLITE_NOMEM, "out of memory", 4030, "out of process memory when trying to allocate bytes"},
      {SQLITE_READONLY, "attempt to write a readonly database", 16000, "database open for read-only access"},
  };
  for (const Case& c : cases) {
    DlError err;
    EXPECT_EQ(c.ora, dl_map_sqlite_error(c.rc, c.msg, &err)) << c.msg;
    EXPECT_EQ(c.ora, err.code) << c.msg;
    EXPECT_STREQ(c.text, err.message) << c.msg;
  }
}

TEST(DialectErrors, StandardTexts) {
  DlError err;
  EXPECT_EQ(1017, dl_set_error(&err, 1017));
  EXPECT_STREQ("invalid username/password; logon denied", err.message);
  EXPECT_STREQ("table or view does not exist", dl_ora_message(942));
  EXPECT_EQ(nullptr, dl_ora_message(99999));
  dl_set_error(&err, 99999);
  EXPECT_STREQ("Message 99999 not found", err.message);
}

// ------------------------------------------------------------ value forms

TEST(DialectValues, NumberAndDatetimeForms) {
  struct N {
    double v;
    const char* text;
  };
  const N nums[] = {{0.5, ".5"}, {-0.5, "-.5"}, {100, "100"}, {1.25e-7, ".000000125"},
                    {123456.789, "123456.789"}, {1e39, "1000000000000000000000000000000000000000"},
                    {-1.5e45, "-1.5E+45"}, {0.1 + 0.2, ".3"}, {1.0 / 3, ".333333333333333"}};
  char buf[64];
  for (const N& n : nums) {
    dl_number_text(n.v, buf);
    EXPECT_STREQ(n.text, buf) << n.v;
  }
  int64_t i = 0;
  double d = 0;
  EXPECT_EQ(1, dl_parse_number(" 42 ", 4, &i, &d));
  EXPECT_EQ(42, i);
  EXPECT_EQ(1, dl_parse_number("1.0", 3, &i, &d));
  EXPECT_EQ(2, dl_parse_number("-.5", 3, &i, &d));
  EXPECT_EQ(-0.5, d);
  EXPECT_EQ(0, dl_parse_number("1e", 2, &i, &d));
  EXPECT_EQ(0, dl_parse_number("", 0, &i, &d));

  DlDateTime dt;
  bool ts = true;
  ASSERT_TRUE(dl_datetime_parse("2024-02-29 23:59:58", 19, &dt, &ts));
  EXPECT_FALSE(ts);
  EXPECT_EQ(2024, dt.year);
  EXPECT_FALSE(dl_datetime_parse("2023-02-29 00:00:00", 19, &dt, &ts));
  ASSERT_TRUE(dl_datetime_parse("2024-02-29 23:59:58.000000001", 29, &dt, &ts));
  EXPECT_TRUE(ts);
  EXPECT_EQ(1, dt.nanos);
  dl_datetime_text(&dt, true, buf);
  EXPECT_STREQ("2024-02-29 23:59:58.000000001", buf);
  dl_rowid_text(42, buf);
  EXPECT_STREQ("000000000000000042", buf);
}

TEST(DialectValues, DecltypesRoundTrip) {
  struct Case {
    const char* decl;
    uint16_t type;
    uint32_t size;
    int precision, scale;
  };
  const Case cases[] = {
      {"NUMBER", DL_T_NUMBER, 22, 0, -127},   {"NUMBER(10)", DL_T_NUMBER, 22, 10, 0},
      {"NUMBER(5,-2)", DL_T_NUMBER, 22, 5, -2}, {"FLOAT(63)", DL_T_NUMBER, 22, 63, -127},
      {"VARCHAR2(20)", DL_T_VARCHAR2, 20, 0, 0}, {"VARCHAR2 CHAR(20)", DL_T_VARCHAR2, 80, 0, 0},
      {"CHAR(1)", DL_T_CHAR, 1, 0, 0},          {"TIMESTAMP(9)", DL_T_TIMESTAMP, 11, 0, 9},
      {"RAW BLOB(16)", DL_T_RAW, 16, 0, 0},     {"LONG RAW BLOB", DL_T_LONG_RAW, 0, 0, 0},
  };
  for (const Case& c : cases) {
    DlColType t;
    ASSERT_TRUE(dl_parse_decltype(c.decl, &t)) << c.decl;
    EXPECT_EQ(c.type, t.type) << c.decl;
    EXPECT_EQ(c.size, t.size) << c.decl;
    EXPECT_EQ(c.precision, t.precision) << c.decl;
    EXPECT_EQ(c.scale, t.scale) << c.decl;
  }
  DlColType t;
  EXPECT_FALSE(dl_parse_decltype("WIDGET", &t));
  EXPECT_FALSE(dl_parse_decltype(nullptr, &t));
}

}  // namespace

TEST_F(DialectDb, LongInASetOperationIsRefused) {
  ASSERT_EQ(0, run("create table lt (l long, r long raw, v varchar2(10))"));
  struct Case {
    const char* sql;
    int code;
  } cases[] = {
      {"select l from lt union select v from lt", 997},
      {"select v from lt union all select l from lt", 997},
      {"select v, r from lt minus select v, null from lt", 997},
      {"select v from lt intersect select v from lt", 0},
      {"select l, r from lt", 0},
  };
  for (const Case& c : cases) {
    DlStatement st;
    DlError err;
    ASSERT_EQ(0, dl_translate(c.sql, std::strlen(c.sql), &ses_, &st, &err)) << c.sql << ": " << err.message;
    sqlite3_stmt* s = nullptr;
    ASSERT_EQ(SQLITE_OK, sqlite3_prepare_v2(db_, st.sql.c_str(), -1, &s, nullptr)) << c.sql;
    EXPECT_EQ(c.code, dl_check_set_operation(&st, s, &err)) << c.sql;
    sqlite3_finalize(s);
  }
}
