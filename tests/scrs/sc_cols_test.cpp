// The cursor layer's tables, columns and identifiers: names folded, quoted
// and compared by the DBMS's rules, tables resolved by the catalog (whose
// arguments are patterns), columns read in blocks, over the fake agent.
#include <cstdlib>
#include <cstring>

#include "fetch_fixture.h"
#include "odbc/colattr.h"
#include "scrs/ks.h"
#include "scrs/sc_install.h"

namespace fetchtest {
namespace {

TEST(Identifiers, NormalizeByTheDbmsRules) {
  // quote, quoted case, identifier case: Oracle's are '"', 3, 1.
  const struct {
    const char *in;
    char quote;
    uint32_t quotedCase, identCase;
    int requote;
    const char *out;
  } cases[] = {
      {"emp", '"', 3, 1, 1, "\"EMP\""},
      {"\"MixedCase\"", '"', 3, 1, 1, "\"MixedCase\""},
      {"\"MixedCase\"", '"', 3, 1, 0, "MixedCase"},
      {"emp", '"', 3, 1, 0, "EMP"},
      {"Emp", '"', 3, 2, 1, "\"emp\""},
      {"Emp", '"', 1, 3, 1, "Emp"},   // sensitive names, other quoted case: quoting would change them
      {"Emp", '"', 2, 1, 1, "EMP"},
      {"emp", '\0', 3, 1, 1, "EMP"},  // no quote character
      {"", '"', 3, 1, 1, ""},
  };
  for (const auto &c : cases) {
    SCOPED_TRACE(c.in);
    char name[SCS_NAME_SIZE];
    snprintf(name, sizeof name, "%s", c.in);
    EXPECT_EQ(scs_p_IdentNormalize(name, c.quote, c.quotedCase, c.identCase, 0, c.requote), 0);
    EXPECT_STREQ(name, c.out);
  }
  // A name that could only be requoted by cutting it is refused whole.
  std::string longName(SCS_NAME_SIZE - 2, 'a');
  char name[SCS_NAME_SIZE];
  snprintf(name, sizeof name, "%s", longName.c_str());
  EXPECT_EQ(scs_p_IdentNormalize(name, '"', 3, 1, 0, 1), E_S1000);
}

TEST(Identifiers, EqualityPseudoColumnsAndQualifiedNames) {
  EXPECT_EQ(scs_p_IdentEqual("emp", "\"EMP\"", '"', 3, 1, 0), 1);
  EXPECT_EQ(scs_p_IdentEqual("emp", "\"emp\"", '"', 3, 1, 0), 0);
  EXPECT_EQ(scs_p_IdentEqual("Emp", "eMP", '"', 3, 4, 0), 1);
  EXPECT_EQ(scs_p_IdentEqual("", "", '"', 3, 1, 0), 0);

  // Only the pseudo columns themselves, and only on Oracle.
  const struct {
    const char *name, *dbms;
    int allowed;
  } pseudo[] = {{"rowid", "Oracle", 0},  {"ROWNUM", "Oracle8", 0},     {"GROWIDTH", "Oracle", 1},
                {"ROWID_X", "Oracle", 1}, {"\"ROWID\"", "Oracle", 1}, {"rowid", "SQLite", 1}};
  for (const auto &p : pseudo) EXPECT_EQ(scs_p_QuoteAllowed(p.name, p.dbms), p.allowed) << p.name << " " << p.dbms;

  ScsColDesc c{};
  snprintf(c.name, sizeof c.name, "\"ID\"");
  snprintf(c.table, sizeof c.table, "\"EMP\"");
  snprintf(c.owner, sizeof c.owner, "\"HR\"");
  const struct {
    uint32_t tables;
    const char *alias, *owner, *out;
  } qual[] = {{1, "e", "\"HR\"", "\"ID\""},
              {2, "e", "\"HR\"", "e.\"ID\""},
              {2, "", "\"HR\"", "\"HR\".\"EMP\".\"ID\""},
              {2, "", "", "\"EMP\".\"ID\""}};
  for (const auto &q : qual) {
    snprintf(c.alias, sizeof c.alias, "%s", q.alias);
    snprintf(c.owner, sizeof c.owner, "%s", q.owner);
    char *s = scs_p_ColNameQualify(q.tables, &c);
    EXPECT_STREQ(s, q.out);
    free(s);
  }
}

// A statement of the fake agent under the layer, whose catalog answers
// tables and columns from canned rows.
struct Catalog : FetchFixture {
  ScsCursor *cur = nullptr;
  void SetUp() override {
    FetchFixture::SetUp();
    fake::SetInfoText(InfoGetInfoStr(SQL_IDENTIFIER_QUOTE_CHAR), "\"");
    fake::SetInfo(InfoGetInfoInt(SQL_IDENTIFIER_CASE), SQL_IC_UPPER);
    fake::SetInfo(InfoGetInfoInt(SQL_QUOTED_IDENTIFIER_CASE), SQL_IC_SENSITIVE);
    fake::SetInfoText(InfoGetInfoStr(SQL_USER_NAME), "SCOTT");
    fake::SetInfoText(InfoGetInfoStr(SQL_DBMS_NAME), "Oracle");
    Open();
    cur = scs_p_LayerCursor(stmt->agentCursor);
    ASSERT_NE(cur, nullptr);
  }
  static void Tables(const std::vector<std::pair<std::string, std::string>> &rows) {
    fake::SetColumns({{"TABLE_CAT"}, {"TABLE_SCHEM"}, {"TABLE_NAME"}, {"TABLE_TYPE"}, {"REMARKS"}});
    std::vector<fake::Row> r;
    for (const auto &[owner, name] : rows)
      r.push_back({fake::Null(), fake::Text(owner), fake::Text(name), fake::Text("TABLE"), fake::Null()});
    fake::SetRows(r);
  }
  // n columns C1..Cn of one table, the last one LONG when asked.
  static void Columns(const std::string &owner, const std::string &table, int n, bool lastLong = false) {
    fake::SetColumns({{"TABLE_CAT"},
                      {"TABLE_SCHEM"},
                      {"TABLE_NAME"},
                      {"COLUMN_NAME"},
                      {"DATA_TYPE", SQL_SMALLINT, VT_SSHORT, 2},
                      {"TYPE_NAME"},
                      {"COLUMN_SIZE", SQL_INTEGER, VT_SLONG, 4},
                      {"BUFFER_LENGTH", SQL_INTEGER, VT_SLONG, 4},
                      {"DECIMAL_DIGITS", SQL_SMALLINT, VT_SSHORT, 2}});
    std::vector<fake::Row> r;
    for (int i = 1; i <= n; ++i) {
      const int16_t type = lastLong && i == n ? SQL_LONGVARCHAR : SQL_DECIMAL;
      r.push_back({fake::Null(), fake::Text(owner), fake::Text(table), fake::Text("C" + std::to_string(i)),
                   fake::I16(type), fake::Text("NUMBER"), fake::I32(10), fake::I32(10), fake::I16(2)});
    }
    fake::SetRows(r);
  }
};

struct TableList {
  VArray *v = VArray_New(sizeof(TableRef));
  explicit TableList(const char *owner, const char *table) {
    TableRef t{strdup(""), strdup(owner), strdup(table), strdup("")};
    VArray_Append(v, &t);
  }
  ~TableList() { VArray_Free(&v, SCR_TableRefFree); }
  const TableRef &at(uint32_t i) const { return *static_cast<const TableRef *>(VArray_At(v, i)); }
};

TEST_F(Catalog, TablesResolveToTheCatalogsOwnerAndName) {
  using Rows = std::vector<std::pair<std::string, std::string>>;
  const struct {
    const char *owner, *table;
    Rows rows;
    int code;
    const char *resolvedOwner, *resolvedTable;
    std::vector<std::string> lookups;  // arguments of each DRV_DDTables call
  } cases[] = {
      // Another user's table, found under its own owner.
      {"", "emp", {{"HR", "EMP"}}, 0, "\"HR\"", "\"EMP\"", {"(null),%,EMP,"}},
      // Two owners, one the user: the user's.
      {"", "emp", {{"HR", "EMP"}, {"SCOTT", "EMP"}}, 0, "\"SCOTT\"", "\"EMP\"", {"(null),%,EMP,", "(null),SCOTT,EMP,"}},
      // Two owners, neither the user: ambiguous.
      {"", "emp", {{"HR", "EMP"}, {"OE", "EMP"}}, E_IM918, "", "emp", {"(null),%,EMP,", "(null),SCOTT,EMP,"}},
      // The name is a pattern to the catalog: T_1 is not TX1.
      {"", "T_1", {{"SCOTT", "TX1"}, {"SCOTT", "T_1"}}, 0, "\"SCOTT\"", "\"T_1\"", {"(null),%,T_1,"}},
      // Quoted names keep their case, others are folded.
      {"\"hr\"", "\"MixedCase\"", {{"hr", "MixedCase"}}, 0, "\"hr\"", "\"MixedCase\"", {"(null),hr,MixedCase,"}},
      {"", "MixedCase", {{"SCOTT", "MIXEDCASE"}}, 0, "\"SCOTT\"", "\"MIXEDCASE\"", {"(null),%,MIXEDCASE,"}},
      {"", "gone", {}, E_42S02, "", "gone", {"(null),%,GONE,"}},
  };
  for (const auto &c : cases) {
    SCOPED_TRACE(c.table);
    fake::Reset();
    SetUp();
    Tables(c.rows);
    TableList tl(c.owner, c.table);
    EXPECT_EQ(scs_p_GetTblDescs(cur, tl.v), c.code);
    if (c.code == 0) {
      EXPECT_STREQ(tl.at(0).owner, c.resolvedOwner);
      EXPECT_STREQ(tl.at(0).table, c.resolvedTable);
    } else {
      EXPECT_STREQ(tl.at(0).table, c.resolvedTable);  // left as written
    }
    std::vector<std::string> lookups;
    for (const auto &call : fake::LogOf(SLOT_DRV_DDTables)) lookups.push_back(call.text);
    EXPECT_EQ(lookups, c.lookups);
    // The catalog runs on the layer's own lower cursor, never the application's.
    for (const auto &call : fake::LogOf(SLOT_DRV_DDTables)) EXPECT_NE(call.handle, stmt->agentCursor);
  }
}

TEST_F(Catalog, TableColumnsInBlocksOfTen) {
  const struct {
    int columns;
    bool lastLong;
    int skipLong;
    uint32_t listed;
    int fetches;
  } cases[] = {{25, false, 0, 25, 3}, {10, false, 0, 10, 2}, {3, true, 1, 2, 1}, {3, true, 0, 3, 1}};
  for (const auto &c : cases) {
    SCOPED_TRACE(c.columns);
    fake::Reset();
    SetUp();
    Columns("SCOTT", "EMP", c.columns, c.lastLong);
    TableList tl("\"SCOTT\"", "\"EMP\"");
    VArray *out = VArray_New(sizeof(ScsColDesc));
    ASSERT_EQ(scs_p_GetTblColDescs(cur, &tl.at(0), 1, c.skipLong, out), 0);
    EXPECT_EQ(out->count, c.listed);
    EXPECT_EQ(fake::CallCount(SLOT_DRV_Fetch), c.fetches);
    EXPECT_EQ(fake::LogOf(SLOT_DRV_DDColumns).at(0).text, "(null),SCOTT,EMP,%");
    const auto *first = static_cast<const ScsColDesc *>(VArray_At(out, 0));
    EXPECT_STREQ(first->name, "\"C1\"");
    EXPECT_STREQ(first->owner, "\"SCOTT\"");
    EXPECT_EQ(first->sqlType, SQL_DECIMAL);
    EXPECT_EQ(first->columnSize, 10);
    EXPECT_EQ(first->decimalDigits, 2);
    EXPECT_EQ(first->kind, 4);
    VArray_Free(&out, nullptr);
  }
  // Another table whose name the pattern also matches adds nothing; a table
  // without rows of its own is an error.
  fake::Reset();
  SetUp();
  Columns("SCOTT", "EMPX", 2);
  TableList tl("\"SCOTT\"", "\"EMP\"");
  VArray *out = VArray_New(sizeof(ScsColDesc));
  EXPECT_EQ(scs_p_GetTblColDescs(cur, &tl.at(0), 1, 0, out), E_S1000);
  EXPECT_EQ(out->count, 0u);
  VArray_Free(&out, nullptr);
}

// Option 1052 on a forward-only statement: the layer resolves the table
// and the select list through the catalog and answers each column's base
// column, table and owner, unquoted; an expression has none. A wildcard is
// written out and the statement prepared again with it.
TEST_F(Catalog, BaseColumnsOfAForwardOnlyStatement) {
  fake::Script(SLOT_DRV_DDTables).hook = [] { Tables({{"HR", "EMP"}}); };
  fake::Script(SLOT_DRV_DDColumns).hook = [] { Columns("HR", "EMP", 2); };
  fake::SetInfo(InfoStmtOption(1052), 1);
  const struct {
    const char *sql;
    std::vector<std::string> columns;  // "" for an expression
    const char *preparedAgain;         // the written-out statement, or none
  } cases[] = {
      {"select e.c2, c1, c1 + 1 from emp e", {"C2", "C1", ""}, nullptr},
      {"select * from emp", {"C1", "C2"}, "SELECT  \"C1\", \"C2\" FROM emp"},
  };
  for (const auto &c : cases) {
    SCOPED_TRACE(c.sql);
    const int prepares = fake::CallCount(SLOT_DRV_Prepare);
    ASSERT_EQ(DrvCall<&DrvOps::DRV_Prepare>(stmt->drv, stmt->agentCursor, c.sql), 0);
    const auto log = fake::LogOf(SLOT_DRV_Prepare);
    if (c.preparedAgain) {
      ASSERT_EQ(fake::CallCount(SLOT_DRV_Prepare), prepares + 2);
      EXPECT_EQ(log.back().text.rfind(c.preparedAgain, 0), 0u) << log.back().text;
    } else {
      EXPECT_EQ(fake::CallCount(SLOT_DRV_Prepare), prepares + 1);
    }
    ASSERT_TRUE(cur->flags & SCSF_COLUMN_INFO);
    const uint32_t n = static_cast<uint32_t>(c.columns.size());
    std::vector<ColAttr> attrs((n + 1) * 2);
    for (uint32_t col = 1; col <= n; ++col) {
      SCOPED_TRACE(col);
      attrs[col].attribute = -1055;
      attrs[col + (n + 1)].attribute = -1053;
      ColDesc desc{};
      ASSERT_EQ(scs_GetBaseColAttribs(cur, col, &desc, 15, n + 1, 2, attrs.data()), 0);
      const std::string &want = c.columns[col - 1];
      EXPECT_EQ(attrs[col].attribute, 1055);
      EXPECT_EQ(attrs[col].value.integer, want.empty() ? 1 : 0);
      EXPECT_EQ(attrs[col + (n + 1)].attribute, 1053);
      EXPECT_EQ(attrs[col + (n + 1)].value.integer, 0);  // no key columns known
      if (want.empty()) {
        EXPECT_EQ(desc.fullName, nullptr);
      } else {
        EXPECT_STREQ(desc.fullName, want.c_str());
        EXPECT_STREQ(desc.table, "EMP");
        EXPECT_STREQ(desc.schema, "HR");
      }
      free(desc.fullName);
      free(desc.table);
      free(desc.schema);
      free(desc.catalog);
    }
    // Beyond the select list nothing is answered.
    ColDesc none{};
    EXPECT_EQ(scs_GetBaseColAttribs(cur, n + 1, &none, 15, n + 1, 0, nullptr), 0);
    EXPECT_EQ(none.table, nullptr);
  }
  // A table the catalog does not know leaves the statement as it is,
  // without column information.
  fake::Script(SLOT_DRV_DDTables).hook = [] { Tables({}); };
  ASSERT_EQ(DrvCall<&DrvOps::DRV_Prepare>(stmt->drv, stmt->agentCursor, "select c1 from gone"), 0);
  EXPECT_FALSE(cur->flags & SCSF_COLUMN_INFO);
}

// ORDER BY by number on a scrollable cursor becomes ORDER BY the column;
// by an expression, or over a table the catalog cannot resolve, a static
// read-only cursor still serves the statement.
TEST_F(Catalog, OrderByNumberAndUnresolvableStatements) {
  fake::Script(SLOT_DRV_DDTables).hook = [] { Tables({{"SCOTT", "EMP"}}); };
  fake::Script(SLOT_DRV_DDColumns).hook = [] { Columns("SCOTT", "EMP", 2); };
  const struct {
    int32_t type;
    const char *sql;
    int32_t code;
    const char *copy;  // how the statement the layer keeps is ordered
    int32_t typeAfter;
  } cases[] = {
      {SCS_KEYSET, "select c1, c2 from emp order by 2", 0, "ORDER BY c2 ", SCS_STATIC},
      {SCS_STATIC, "select c1, c2 from emp e order by 2 desc", 0, "ORDER BY c2 DESC", SCS_STATIC},
      {SCS_STATIC, "select c1 + 1, c2 from emp order by 1", 0, "order by 1", SCS_STATIC},
      {SCS_STATIC, "select c1 from gone order by 1", 0, "order by 1", SCS_STATIC},
  };
  for (const auto &c : cases) {
    SCOPED_TRACE(c.sql);
    if (std::string(c.sql).find("gone") != std::string::npos)
      fake::Script(SLOT_DRV_DDTables).hook = [] { Tables({}); };
    CursorType(c.type);
    ASSERT_EQ(DrvCall<&DrvOps::DRV_Prepare>(stmt->drv, stmt->agentCursor, c.sql), c.code);
    ASSERT_NE(cur->sqlCopy, nullptr);
    EXPECT_NE(strstr(cur->sqlCopy, c.copy), nullptr) << cur->sqlCopy;
    EXPECT_EQ(fake::InfoValue(InfoStmtOption(SQL_CURSOR_TYPE)), c.typeAfter);
    EXPECT_EQ(fake::InfoValue(InfoStmtOption(SQL_CONCURRENCY)).value_or(SCS_READ_ONLY), SCS_READ_ONLY);
  }
}

TEST(CursorState, KeyBlocksAndRefusals) {
  ScsCursor cur{};
  ASSERT_EQ(scs_p_CursorStateInit(&cur, 0, 0, nullptr, nullptr), 0);
  cur.keyset->keyCols = VArray_New(sizeof(ScsColDesc));
  ScsColDesc key{};
  const struct {
    int keys, rowset, userParams;
    int code, blocks, last, perBlock;
  } cases[] = {
      {3, 100, 0, 0, 2, 15, 85},   // 85 keys per statement
      {3, 10, 0, 0, 1, 10, 10},    // a rowset below the keys per statement is one block
      {1, 255, 0, 0, 1, 255, 255}, // exactly one statement's worth
      {1, 256, 0, 0, 2, 1, 255},
      {2, 10, 254, E_S1000, 0, 0, 0},  // no room for one key beside the user's parameters
      {0, 10, 0, E_S1000, 0, 0, 0},    // no key columns
  };
  for (const auto &c : cases) {
    SCOPED_TRACE(testing::Message() << c.keys << " keys, rowset " << c.rowset);
    cur.keyset->keyCols->count = 0;
    for (int k = 0; k < c.keys; ++k) VArray_Append(cur.keyset->keyCols, &key);
    cur.rowsetSize = c.rowset;
    cur.userParamDescCount = static_cast<uint16_t>(c.userParams);
    int32_t blocks = 0, last = 0, perBlock = 0;
    ASSERT_EQ(scs_p_KeyBlocks(&cur, &blocks, &last, &perBlock), c.code);
    if (c.code) continue;
    EXPECT_EQ(blocks, c.blocks);
    EXPECT_EQ(last, c.last);
    EXPECT_EQ(perBlock, c.perBlock);
  }
  cur.userParamDescCount = 0;

  const struct {
    uint16_t flags;
    int keyset, updatable;
  } refusals[] = {
      {512, E_IM915, 0},
      {SCR_MULTITABLE | SCR_WHERE, 0, E_IM912},
      {SCR_GROUPBY | SCR_AGGREGATE, E_IM913, E_IM913},
      {SCR_UNION, E_IM914, E_IM914},
      {SCR_AGGREGATE, 0, E_IM923},
      {SCR_ORDERBY | SCR_WHERE, 0, 0},
  };
  for (const auto &r : refusals) {
    cur.selectFlags = r.flags;
    EXPECT_EQ(scs_p_KeysetRefusal(&cur), r.keyset) << r.flags;
    EXPECT_EQ(scs_p_UpdatableRefusal(&cur), r.updatable) << r.flags;
  }
  scs_p_CursorStateFree(&cur);
  EXPECT_EQ(cur.keyset, nullptr);
}

}  // namespace
}  // namespace fetchtest
