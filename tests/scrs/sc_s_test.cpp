// The cursor state's row numbers and the SQLGetInfo filter.
#include <cstring>

#include "fetch_fixture.h"
#include "odbc/data/rowset.h"
#include "odbc/sqlstate.h"

#include <string>

namespace fetchtest {
namespace {

TEST(ScsRowNumber, ByCursorTypeAndPosition) {
  ScsCursor c{};
  scs_CursorInit(&c, 0, 0, nullptr, nullptr);
  Rowset *rs = nullptr;
  ASSERT_EQ(RowsetNew(&rs, 3), 0);
  rs->status[0] = SQL_ROW_SUCCESS;
  rs->status[1] = SQL_ROW_ERROR;
  rs->status[2] = SQL_ROW_SUCCESS;
  c.rowset = rs;
  c.rowsetSize = 3;
  c.position = 1;
  c.firstRow = 11;
  int32_t n = -1;
  const struct {
    int32_t type, keyset, position;
    uint32_t index;
    int code, number;
  } cases[] = {
      {SCS_STATIC, 0, 1, 2, 0, 13},
      {SCS_KEYSET, 0, 1, 0, 0, 11},
      {SCS_STATIC, 0, 1, 1, E_S1109, 0},          // a row in error
      {SCS_STATIC, 0, 1, 3, E_S1009, -1},         // beyond the rowset: nothing written
      {SCS_STATIC, 0, SCS_BEFORE_FIRST, 0, E_24000, 0},
      {SCS_STATIC, 0, SCS_AFTER_LAST, 0, E_24000, 0},
      {SCS_DYNAMIC, 0, 1, 0, E_S1C00, 0},
      {SCS_KEYSET, 5, 1, 0, E_S1C00, 0},          // mixed
      {SCS_FORWARD_ONLY, 0, 1, 0, E_S1C00, 0},
  };
  for (const auto &k : cases) {
    SCOPED_TRACE(testing::Message() << k.type << "/" << k.keyset << "/" << k.position << "/" << k.index);
    c.cursorType = k.type;
    c.keysetSize = k.keyset;
    c.position = k.position;
    n = -1;
    EXPECT_EQ(scs_GetRowNumber(&c, k.index, &n), k.code);
    EXPECT_EQ(n, k.number);
  }
  EXPECT_EQ(scs_GetRowNumber(&c, 0, nullptr), E_S1009);
  // The layer's own form answers 0 for cursors without numbers.
  c.cursorType = SCS_DYNAMIC;
  n = -1;
  EXPECT_EQ(scs_p_GetRowNumber(&c, 0, &n), 0);
  EXPECT_EQ(n, 0);
  scs_FreeRowset(&c);
}

using ScsInfo = FetchFixture;

TEST_F(ScsInfo, IntegerAndStringQuestions) {
  Open();
  fake::SetInfo(InfoGetInfoInt(SQL_FETCH_DIRECTION), 0xBF);
  int32_t v = 0;
  int16_t len = 0;
  ASSERT_EQ(scs_GetODBCInfo(&conn->drv, conn->agentConn, SQL_FETCH_DIRECTION, &v, 4, &len), 0);
  EXPECT_EQ(v, 0xBF);
  EXPECT_EQ(len, 4);
  EXPECT_EQ(scs_GetODBCInfo(&conn->drv, conn->agentConn, SQL_FETCH_DIRECTION, &v, 2, &len), E_S1009);
  // A question the layer below does not know: its answer unchanged.
  EXPECT_EQ(scs_GetODBCInfo(&conn->drv, conn->agentConn, SQL_SCROLL_OPTIONS, &v, 4, &len), E_IM001);
  // Not a question of this filter.
  EXPECT_EQ(scs_GetODBCInfo(&conn->drv, conn->agentConn, SQL_DRIVER_NAME, &v, 4, &len), E_S1092);

  fake::SetInfoText(InfoGetInfoStr(SQL_DBMS_NAME), "Oracle");
  char text[16];
  ASSERT_EQ(scs_GetODBCInfo(&conn->drv, conn->agentConn, SQL_DBMS_NAME, text, sizeof text, &len), 0);
  EXPECT_STREQ(text, "Oracle");
  EXPECT_EQ(len, 6);
  // An answer exactly as long as the buffer does not fit with its NUL.
  EXPECT_EQ(scs_GetODBCInfo(&conn->drv, conn->agentConn, SQL_DBMS_NAME, text, 6, &len), E_01004);
  EXPECT_EQ(len, 6);
}

}  // namespace
}  // namespace fetchtest

// ---- Parameter description by SQL analysis ---------------------------------------------

namespace {

struct Described {
  DescParamSQL d;
  int rc;
  explicit Described(const char *sql) {
    SCR_DescParamSQLInit(&d, "to_char(NULL)");
    rc = SCR_DescParamSQLBuild(&d, sql);
  }
  ~Described() { SCR_DescParamSQLFree(&d); }
  std::string Probes() const {
    std::string s;
    for (int32_t i = 0; i < d.probeCount; ++i) s += (i ? "|" : "") + std::string(d.probes[i]);
    return s;
  }
};

TEST(DescParamSQL, ProbesTotalsAndMarkerStrings) {
  const struct {
    const char *sql, *probes;
    int total;
    const char *marker;
  } cases[] = {
      {"SELECT * FROM t WHERE a = ? AND b BETWEEN ? AND 10", "SELECT a, b FROM t WHERE 1=0 ", 2, nullptr},
      {"SELECT * FROM t WHERE ? = a", "SELECT a FROM t WHERE 1=0 ", 1, nullptr},
      {"SELECT * FROM t WHERE ? = ?", "", 0, nullptr},
      {"SELECT * FROM t WHERE a LIKE ?", "SELECT a FROM t WHERE 1=0 ", 1, nullptr},
      {"SELECT * FROM t WHERE ? IS NULL", "SELECT to_char(NULL) FROM t WHERE 1=0 ", 1, nullptr},
      {"SELECT * FROM t WHERE a IN (?, 1, ?)", "SELECT a, a FROM t WHERE 1=0 ", 2, nullptr},
      {"SELECT * FROM t WHERE ? IN (1, 2)", "SELECT 1 FROM t WHERE 1=0 ", 1, nullptr},
      {"SELECT * FROM t WHERE ? IN (SELECT b FROM u)", "SELECT to_char(NULL) FROM t WHERE 1=0 ", 1, nullptr},
      {"SELECT a FROM t WHERE a = ? UNION SELECT b FROM u UNION SELECT c FROM v WHERE c > ?",
       "SELECT a FROM t WHERE 1=0 |SELECT c FROM v WHERE 1=0 ", 2, nullptr},
      {"SELECT x.a FROM t x INNER JOIN u ON x.k = u.k WHERE u.n = ?",
       "SELECT u.n FROM t  x INNER JOIN u ON x.k = u.k WHERE 1=0 ", 1, nullptr},
      {"UPDATE t SET c = ? WHERE k = ?", "SELECT t.c, t.k FROM t WHERE 1=0 ", 2, nullptr},
      {"UPDATE t SET c = ? WHERE CURRENT OF cur", "SELECT t.c FROM t WHERE 1=0 ", 1, nullptr},
      {"DELETE FROM t WHERE k = ? AND s LIKE ?", "SELECT k, s FROM t WHERE 1=0 ", 2, nullptr},
      {"INSERT INTO t VALUES (?, 1, ?)", "SELECT * FROM t WHERE 1=0 ", 3, "?X?"},
      {"INSERT INTO t (a, b) VALUES (1, ?)", "SELECT b FROM t WHERE 1=0 ", 1, nullptr},
      {"INSERT INTO t (a, b) VALUES (1, ?, ?)", "", 0, nullptr},
      // Each select item feeds the column at its position, nested
      // expressions not counted.
      {"INSERT INTO t (n, d, s) SELECT x + 1, ?, s FROM u WHERE u.n > ?",
       "SELECT d FROM t WHERE 1=0 |SELECT u.n FROM u WHERE 1=0 ", 2, nullptr},
      {"SELECT a FROM t GROUP BY a HAVING SUM(b) > ? AND COUNT(c) < ?",
       "SELECT (b), 1 FROM t WHERE 1=0 ", 2, nullptr},
      {"SELECT a FROM t GROUP BY a HAVING SUM(b) > ?", "SELECT SUM( b ) FROM t WHERE 1=0 ", 1, nullptr},
      // Markers the walks do not serve stay uncounted.
      {"SELECT ?, a FROM t WHERE a = ?", "SELECT a FROM t WHERE 1=0 ", 1, nullptr},
      {"SELECT a FROM t WHERE a = (SELECT b FROM u WHERE c = ?)", "", 0, nullptr},
      {"SELECT a FROM t WHERE a IN (SELECT b FROM u WHERE c IN (?, 1))", "", 0, nullptr},
      {"SELECT a FROM t WHERE EXISTS (SELECT 1 FROM u WHERE u.k = ?)", "", 0, nullptr},
      {"begin p(?); end;", "", 0, nullptr},
      {"{call p(?)}", "", 0, nullptr},
  };
  for (const auto &c : cases) {
    Described x(c.sql);
    EXPECT_EQ(x.rc, 0) << c.sql;
    EXPECT_EQ(x.Probes(), c.probes) << c.sql;
    EXPECT_EQ(x.d.total, c.total) << c.sql;
    EXPECT_STREQ(x.d.marker, c.marker) << c.sql;
  }
  for (const char *bad : {"SELECT a FROM t WHERE a = ?;", "SELECT a FROM t WHERE a = 'x"}) {
    Described x(bad);
    EXPECT_EQ(x.rc, E_37000) << bad;
    EXPECT_EQ(x.d.probeCount, 0);
  }
}

}  // namespace
