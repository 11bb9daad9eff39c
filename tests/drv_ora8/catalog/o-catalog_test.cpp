// The agent's catalog operations against the stand-in's dictionary: exact
// rows on a small schema with named and unnamed keys, a foreign key, unique
// and plain indexes, a view, and names that need care (A_B, AXB, O'NEIL).
#include "drv_ora8/o-catalog.h"

#include <cstdio>

#include "drv_ora8/db-private.h"
#include "exec_fixture.h"
#include "util/utf.h"

using namespace exec_test;

namespace {

// One cell as text: NULL as "<NULL>", numbers in decimal.
std::string CellText(const Dataset &ds, int32_t r, uint16_t c) {
  const DatasetCol &col = ds.cols[c];
  if (col.indicators[r] < 0) return "<NULL>";
  const unsigned char *p = col.values + static_cast<size_t>(r) * col.size;
  switch (col.type) {
    case VT_SSHORT: {
      int16_t v;
      memcpy(&v, p, 2);
      return std::to_string(v);
    }
    case VT_SLONG: {
      int32_t v;
      memcpy(&v, p, 4);
      return std::to_string(v);
    }
    case VT_DOUBLE: {
      double v;
      memcpy(&v, p, 8);
      char buf[40];
      snprintf(buf, sizeof buf, "%.15g", v);
      return buf;
    }
    default:
      break;
  }
  const void *data = nullptr;
  uint32_t len = 0;
  EXPECT_EQ(0, DatasetValueRef(&ds, static_cast<uint32_t>(r), c, &data, &len));
  if (col.type == VT_WVARCHAR4 || col.type == VT_WSTRING || col.type == VT_WCHAR) {
    std::string out(len * 2 + 1, '\0');
    uint32_t used = 0;
    out.resize(utf16_to_utf8_count(static_cast<const uint16_t *>(data), out.data(), len / 2, out.size(), &used));
    return out;
  }
  return std::string(static_cast<const char *>(data), len);
}

class CatalogTest : public ExecTest {
 protected:
  void SetUp() override {
    ExecTest::SetUp();
  }

  // The ODBC version the front end passes at connect.
  void Odbc3() { Agent_Conn(conn)->odbcVersion = 3; }

  void Fixture() {
    Odbc3();
    const char *ddl[] = {
        "CREATE TABLE DEPT (DEPTNO NUMBER(2) CONSTRAINT PK_DEPT PRIMARY KEY, DNAME VARCHAR2(14), LOC VARCHAR2(13))",
        "CREATE TABLE EMP (EMPNO NUMBER(4) PRIMARY KEY, ENAME VARCHAR2(10) NOT NULL, HIREDATE DATE, "
        "SAL NUMBER(7,2), DEPTNO NUMBER(2) CONSTRAINT FK_DEPTNO REFERENCES DEPT, CONSTRAINT UQ_ENAME UNIQUE (ENAME))",
        "CREATE INDEX EMP_SAL ON EMP (SAL)",
        "CREATE VIEW EMP_V AS SELECT EMPNO, ENAME FROM EMP",
        "CREATE TABLE A_B (X NUMBER)",
        "CREATE TABLE AXB (X NUMBER)",
        "CREATE TABLE \"O'NEIL\" (X NUMBER)",
        "CREATE SEQUENCE EMP_SEQ",
    };
    for (const char *s : ddl) ASSERT_EQ(0, Run(s)) << s << ": " << (Errors(conn).texts.empty() ? "" : Errors(conn).texts[0]);
  }

  // Every row of the cursor's result, the chosen columns (from 1) joined by '|'.
  std::vector<std::string> All(DrvHandle cur, std::initializer_list<uint16_t> cols, uint16_t block = 50) {
    std::vector<std::string> out;
    Dataset ds{};
    for (;;) {
      EXPECT_EQ(0, DrvCall<&DrvOps::DRV_Fetch>(&drv, cur, block, &ds));
      if (ds.rows == 0) break;
      for (int32_t r = 0; r < ds.rows; ++r) {
        std::string line;
        for (uint16_t c : cols) {
          if (!line.empty() || c != *cols.begin()) line += "|";
          line += c <= ds.columns ? CellText(ds, r, static_cast<uint16_t>(c - 1)) : "<none>";
        }
        out.push_back(line);
      }
    }
    DatasetFree(&ds);
    return out;
  }

  // A catalog call with up to six names ("%" or "" as the front end passes them).
  int32_t Catalog(DRV_Catalog_t DrvOps::*slot, DrvHandle cur,
                  std::initializer_list<const char *> names, uint16_t opt0 = 0) {
    store_.assign(names.begin(), names.end());
    CatalogArgs a{};
    for (size_t i = 0; i < store_.size(); ++i) a.names[i] = store_[i].data();
    a.options[0] = opt0;
    return (drv.table->*slot)(cur, &a);
  }

  std::vector<std::string> store_;
};

TEST_F(CatalogTest, TablesByPatternTypeAndSpecialCases) {
  Connect();
  Fixture();
  DrvHandle cur = Cursor();
  struct Case {
    const char *schema, *table, *types;
    std::vector<std::string> want;
  } cases[] = {
      {"SCOTT", "A_B", "", {"SCOTT|AXB|TABLE", "SCOTT|A_B|TABLE"}},  // Oracle's binary order
      {"SCOTT", "A\\_B", "", {"SCOTT|A_B|TABLE"}},
      {"SCOTT", "O'NEIL", "", {"SCOTT|O'NEIL|TABLE"}},
      {"SCOTT", "%", "'view'", {"SCOTT|EMP_V|VIEW"}},
      {"SCOTT", "EMP%", "'TABLE','VIEW'", {"SCOTT|EMP|TABLE", "SCOTT|EMP_V|VIEW"}},
      // A name that tries to end the literal matches nothing and breaks nothing.
      {"x' OR 'a'='a", "%", "", {}},
      {"SYS", "DUAL", "", {"SYS|DUAL|SYSTEM TABLE"}},
  };
  for (const Case &c : cases) {
    ASSERT_EQ(0, Catalog(&DrvOps::DRV_DDTables, cur, {"", c.schema, c.table, c.types})) << c.table;
    EXPECT_EQ(All(cur, {2, 3, 4}), c.want) << c.schema << "." << c.table;
  }
  // The whole listing hides the stand-in's own objects.
  ASSERT_EQ(0, Catalog(&DrvOps::DRV_DDTables, cur, {"", "SCOTT", "%", ""}));
  EXPECT_EQ(All(cur, {3}), (std::vector<std::string>{"AXB", "A_B", "DEPT", "EMP", "EMP_V", "O'NEIL"}));
  // Catalogs are not listed; schemas and table types are.
  EXPECT_EQ(E_S1C00, Catalog(&DrvOps::DRV_DDTables, cur, {"%", "", "", ""}));
  ASSERT_EQ(0, Catalog(&DrvOps::DRV_DDTables, cur, {"", "%", "", ""}));
  std::vector<std::string> owners = All(cur, {2});
  EXPECT_NE(std::find(owners.begin(), owners.end(), "SCOTT"), owners.end());
  ASSERT_EQ(0, Catalog(&DrvOps::DRV_DDTables, cur, {"", "", "", "%"}));
  EXPECT_EQ(All(cur, {4}), (std::vector<std::string>{"SYSTEM TABLE", "SYSTEM VIEW", "TABLE", "VIEW"}));
  Free(cur);
}

TEST_F(CatalogTest, ColumnsCarryOdbcTypes) {
  Connect();
  Fixture();
  DrvHandle cur = Cursor();
  ASSERT_EQ(0, Catalog(&DrvOps::DRV_DDColumns, cur, {"", "SCOTT", "EMP", "%"}));
  // COLUMN_NAME, DATA_TYPE, TYPE_NAME, COLUMN_SIZE, BUFFER_LENGTH, DECIMAL_DIGITS,
  // NUM_PREC_RADIX, NULLABLE, SQL_DATA_TYPE, SQL_DATETIME_SUB, ORDINAL_POSITION, IS_NULLABLE
  EXPECT_EQ(All(cur, {4, 5, 6, 7, 8, 9, 10, 11, 14, 15, 17, 18}, 2),
            (std::vector<std::string>{
                "EMPNO|5|NUMBER|4|2|0|10|0|5|<NULL>|1|NO",
                "ENAME|12|VARCHAR2|10|10|<NULL>|<NULL>|0|12|<NULL>|2|NO",
                "HIREDATE|93|DATE|19|16|<NULL>|<NULL>|1|9|3|3|YES",
                "SAL|3|NUMBER|7|22|2|10|1|3|<NULL>|4|YES",
                "DEPTNO|-6|NUMBER|2|1|0|10|1|-6|<NULL>|5|YES",
            }));
  // A pattern on the column; a quoted name is found as written.
  ASSERT_EQ(0, Catalog(&DrvOps::DRV_DDColumns, cur, {"", "SCOTT", "O'NEIL", "X"}));
  EXPECT_EQ(All(cur, {3, 4}), (std::vector<std::string>{"O'NEIL|X"}));
  Free(cur);
}

TEST_F(CatalogTest, KeysAndIndexes) {
  Connect();
  Fixture();
  DrvHandle cur = Cursor();
  ASSERT_EQ(0, Catalog(&DrvOps::DRV_DDPrimaryKeys, cur, {"", "SCOTT", "DEPT"}));
  EXPECT_EQ(All(cur, {2, 3, 4, 5, 6}), (std::vector<std::string>{"SCOTT|DEPT|DEPTNO|1|PK_DEPT"}));
  ASSERT_EQ(0, Catalog(&DrvOps::DRV_DDPrimaryKeys, cur, {"", "SCOTT", "EMP"}));
  std::vector<std::string> pk = All(cur, {4, 6});
  ASSERT_EQ(pk.size(), 1u);
  EXPECT_EQ(pk[0].substr(0, 11), "EMPNO|SYS_C");
  // Key calls take names as given: no pattern matching.
  ASSERT_EQ(0, Catalog(&DrvOps::DRV_DDPrimaryKeys, cur, {"", "SCOTT", "DEP_"}));
  EXPECT_TRUE(All(cur, {4}).empty());

  // Both sides of the foreign key.
  const std::vector<std::string> fk = {"SCOTT|DEPT|DEPTNO|SCOTT|EMP|DEPTNO|1|1|1|FK_DEPTNO|PK_DEPT|0"};
  ASSERT_EQ(0, Catalog(&DrvOps::DRV_DDForeignKeys, cur, {"", "SCOTT", "DEPT", "", "", ""}));
  EXPECT_EQ(All(cur, {2, 3, 4, 6, 7, 8, 9, 10, 11, 12, 13, 14}), fk);
  ASSERT_EQ(0, Catalog(&DrvOps::DRV_DDForeignKeys, cur, {"", "", "", "", "SCOTT", "EMP"}));
  EXPECT_EQ(All(cur, {2, 3, 4, 6, 7, 8, 9, 10, 11, 12, 13, 14}), fk);

  // Statistics: every index column (no table row before ANALYZE), unique only.
  ASSERT_EQ(0, Catalog(&DrvOps::DRV_DDStatistics, cur, {"", "SCOTT", "EMP"}, 1));
  std::vector<std::string> all = All(cur, {4, 6, 7, 8, 9});
  ASSERT_EQ(all.size(), 3u);
  EXPECT_EQ(all[0].substr(0, 2), "0|");
  EXPECT_EQ(all[2], "1|EMP_SAL|3|1|SAL");
  ASSERT_EQ(0, Catalog(&DrvOps::DRV_DDStatistics, cur, {"", "SCOTT", "EMP"}, 0));
  EXPECT_EQ(All(cur, {6}).size(), 2u);

  // Best row id: the columns of the first unique index, else ROWID; row
  // versions: nothing.
  ASSERT_EQ(0, Catalog(&DrvOps::DRV_DDSpecialColumns, cur, {"", "SCOTT", "EMP"}, 1));
  EXPECT_EQ(All(cur, {1, 2, 3, 4, 5, 6, 7, 8}, 1), (std::vector<std::string>{"2|EMPNO|5|NUMBER|4|2|0|1"}));
  ASSERT_EQ(0, Catalog(&DrvOps::DRV_DDSpecialColumns, cur, {"", "SCOTT", "A_B"}, 1));
  EXPECT_EQ(All(cur, {1, 2, 3, 4, 5, 6, 7, 8}), (std::vector<std::string>{"1|ROWID|1|CHAR|18|18|0|2"}));
  ASSERT_EQ(0, Catalog(&DrvOps::DRV_DDSpecialColumns, cur, {"", "SCOTT", "EMP"}, 2));
  EXPECT_TRUE(All(cur, {2}).empty());
  Free(cur);
}

TEST_F(CatalogTest, PrivilegesAndProceduresAreEmptyResults) {
  Connect();
  Fixture();
  DrvHandle cur = Cursor();
  ASSERT_EQ(0, Catalog(&DrvOps::DRV_DDTablePrivileges, cur, {"", "SCOTT", "EMP"}));
  EXPECT_TRUE(All(cur, {3}).empty());
  ASSERT_EQ(0, Catalog(&DrvOps::DRV_DDColumnPrivileges, cur, {"", "SCOTT", "EMP", "%"}));
  EXPECT_TRUE(All(cur, {3}).empty());
  ASSERT_EQ(0, Catalog(&DrvOps::DRV_DDProcedures, cur, {"", "%", "%"}));
  EXPECT_TRUE(All(cur, {3}).empty());
  ASSERT_EQ(0, Catalog(&DrvOps::DRV_DDProcedureColumns, cur, {"", "%", "PKG.PROC", "%"}));
  EXPECT_TRUE(All(cur, {3}).empty());
  Free(cur);
}

TEST_F(CatalogTest, TypeInfoRowByRowEqualsOneBlock) {
  Connect();
  Odbc3();
  DrvHandle cur = Cursor();
  ASSERT_EQ(0, DrvCall<&DrvOps::DRV_DDTypeInfo>(&drv, cur, 0));
  std::vector<std::string> block = All(cur, {1, 2, 3, 4, 5, 6, 7, 12, 14, 15, 16, 17, 18, 19}, 100);
  ASSERT_EQ(0, DrvCall<&DrvOps::DRV_DDTypeInfo>(&drv, cur, 0));
  std::vector<std::string> single = All(cur, {1, 2, 3, 4, 5, 6, 7, 12, 14, 15, 16, 17, 18, 19}, 1);
  EXPECT_EQ(block, single);
  ASSERT_EQ(block.size(), 15u);
  EXPECT_EQ(block.back(), "DATE|93|19|<NULL>|<NULL>|<NULL>|1|<NULL>|0|0|9|3|<NULL>|<NULL>");
  EXPECT_EQ(block[0], "BLOB|-4|2147483647|0x|<NULL>|<NULL>|1|<NULL>|<NULL>|<NULL>|-4|<NULL>|<NULL>|<NULL>");
  // The result describes as 19 columns; a further fetch gives no row.
  uint16_t n = 0;
  ColDesc *cols = nullptr;
  ASSERT_EQ(0, DrvCall<&DrvOps::DRV_DescribeColumns>(&drv, cur, &n, &cols));
  EXPECT_EQ(n, 19);
  EXPECT_STREQ(cols[0].name, "TYPE_NAME");
  ColDescFree(cols, n);
  EXPECT_TRUE(All(cur, {1}).empty());
  Free(cur);
}

TEST_F(CatalogTest, UnknownCursorAndFailedQueries) {
  Connect();
  CatalogArgs a{};
  char empty[] = "";
  for (char *&n : a.names) n = empty;
  EXPECT_EQ(E_S1009, ORA_DDTables(0x12345, &a));
  EXPECT_EQ(E_S1009, ORA_DDTypeInfo(0x12345, 0));
  // The catalog views option reads views the database does not have: the
  // server's error comes back.
  ResetOptions();
  g_agentOptions.oraCatalogs = 1;
  DrvCall<&DrvOps::DRV_Disconnect>(&drv, conn);
  conn = 0;
  Connect();
  DrvHandle cur = Cursor();
  EXPECT_NE(0, Catalog(&DrvOps::DRV_DDPrimaryKeys, cur, {"", "SCOTT", "EMP"}));
  Msgs m = Errors(cur);
  ASSERT_FALSE(m.texts.empty());
  EXPECT_NE(m.texts[0].find("ORA-00942"), std::string::npos) << m.texts[0];
  Free(cur);
}

class CatalogOptionTest : public CatalogTest {
 protected:
  // Reconnects with the options set.
  void With(void (*set)(AgentOptions *)) {
    ResetOptions();
    set(&g_agentOptions);
    Connect();
    Fixture();
  }
};

TEST_F(CatalogOptionTest, SynonymsOptionRunsEveryBuiltInQuery) {
  With([](AgentOptions *o) {
    o->showSynonyms = 1;
    o->oraCatalogs = 1;  // synonyms win over the catalog views
  });
  DrvHandle cur = Cursor();
  ASSERT_EQ(0, Catalog(&DrvOps::DRV_DDTables, cur, {"", "SCOTT", "EMP%", ""}));
  EXPECT_EQ(All(cur, {3}), (std::vector<std::string>{"EMP", "EMP_V"}));
  ASSERT_EQ(0, Catalog(&DrvOps::DRV_DDColumns, cur, {"", "SCOTT", "DEPT", "%"}));
  // With synonyms the column default is never read (a LONG in a UNION ALL).
  EXPECT_EQ(All(cur, {4, 13}), (std::vector<std::string>{"DEPTNO|<NULL>", "DNAME|<NULL>", "LOC|<NULL>"}));
  ASSERT_EQ(0, Catalog(&DrvOps::DRV_DDPrimaryKeys, cur, {"", "SCOTT", "DEPT"}));
  EXPECT_EQ(All(cur, {4, 6}), (std::vector<std::string>{"DEPTNO|PK_DEPT"}));
  ASSERT_EQ(0, Catalog(&DrvOps::DRV_DDForeignKeys, cur, {"", "SCOTT", "DEPT", "", "", ""}));
  EXPECT_EQ(All(cur, {12}), (std::vector<std::string>{"FK_DEPTNO"}));
  ASSERT_EQ(0, Catalog(&DrvOps::DRV_DDStatistics, cur, {"", "SCOTT", "EMP"}, 1));
  EXPECT_EQ(All(cur, {6}).size(), 3u);
  ASSERT_EQ(0, Catalog(&DrvOps::DRV_DDSpecialColumns, cur, {"", "SCOTT", "EMP"}, 1));
  EXPECT_EQ(All(cur, {2}), (std::vector<std::string>{"EMPNO"}));
  ASSERT_EQ(0, Catalog(&DrvOps::DRV_DDTablePrivileges, cur, {"", "SCOTT", "EMP"}));
  EXPECT_TRUE(All(cur, {3}).empty());
  ASSERT_EQ(0, Catalog(&DrvOps::DRV_DDColumnPrivileges, cur, {"", "SCOTT", "EMP", "%"}));
  EXPECT_TRUE(All(cur, {3}).empty());
  ASSERT_EQ(0, Catalog(&DrvOps::DRV_DDProcedures, cur, {"", "%", "%"}));
  EXPECT_TRUE(All(cur, {3}).empty());
  ASSERT_EQ(0, Catalog(&DrvOps::DRV_DDProcedureColumns, cur, {"", "%", "%", "%"}));
  EXPECT_TRUE(All(cur, {3}).empty());
  Free(cur);
}

TEST_F(CatalogOptionTest, UserTablesFirstAndRemarks) {
  With([](AgentOptions *o) {
    o->userTablesFirst = 1;
    o->showRemarks = 1;
  });
  DrvHandle cur = Cursor();
  ASSERT_EQ(0, Catalog(&DrvOps::DRV_DDTables, cur, {"", "%S%", "%", "'TABLE','SYSTEM TABLE'"}));
  EXPECT_EQ(All(cur, {2, 3, 4, 6}),
            (std::vector<std::string>{"SCOTT|AXB|TABLE|0", "SCOTT|A_B|TABLE|0", "SCOTT|DEPT|TABLE|0",
                                      "SCOTT|EMP|TABLE|0", "SCOTT|O'NEIL|TABLE|0", "SYS|DUAL|SYSTEM TABLE|1"}));
  ASSERT_EQ(0, Catalog(&DrvOps::DRV_DDColumns, cur, {"", "SCOTT", "DEPT", "DNAME"}));
  EXPECT_EQ(All(cur, {4, 12}), (std::vector<std::string>{"DNAME|<NULL>"}));
  Free(cur);
}

TEST_F(CatalogOptionTest, JetMakesLargeNumbersDoubleAndOffersInteger) {
  With([](AgentOptions *o) { o->jet = 1; });
  ASSERT_EQ(0, Run("CREATE TABLE BIG (N NUMBER(12), F FLOAT)"));
  DrvHandle cur = Cursor();
  ASSERT_EQ(0, Catalog(&DrvOps::DRV_DDColumns, cur, {"", "SCOTT", "BIG", "%"}));
  EXPECT_EQ(All(cur, {4, 5, 7, 8}), (std::vector<std::string>{"N|8|15|8", "F|8|15|8"}));
  ASSERT_EQ(0, DrvCall<&DrvOps::DRV_DDTypeInfo>(&drv, cur, 4));
  EXPECT_EQ(All(cur, {1, 2}), (std::vector<std::string>{"NUMBER(10)|4"}));
  Free(cur);
}

TEST_F(CatalogOptionTest, CatalogViewsOptionReadsTheInstalledViews) {
  struct Case {
    int countParams;
    const char *want;
  } cases[] = {{1, "COUNTED"}, {0, "NOCOUNT"}};
  for (const Case &c : cases) {
    if (conn) {
      DrvCall<&DrvOps::DRV_Disconnect>(&drv, conn);
      conn = 0;
    }
    ResetOptions();
    g_agentOptions.oraCatalogs = 1;
    g_agentOptions.countProcParams = c.countParams;
    Connect();
    const char *views[] = {
        "CREATE OR REPLACE VIEW ZEZUZERU$SQL_PROCEDURES AS SELECT NULL PROCEDURE_CAT, 'SCOTT' PROCEDURE_SCHEM, "
        "'COUNTED' PROCEDURE_NAME, 1 NUM_INPUT_PARAMETERS FROM DUAL",
        "CREATE OR REPLACE VIEW ZEZUZERU$SQL_PROCS_NOCOUNT AS SELECT NULL PROCEDURE_CAT, 'SCOTT' PROCEDURE_SCHEM, "
        "'NOCOUNT' PROCEDURE_NAME, 1 NUM_INPUT_PARAMETERS FROM DUAL",
        "CREATE OR REPLACE VIEW ZEZUZERU$SQL_PRIMARY_KEYS AS SELECT NULL TABLE_CAT, 'SCOTT' TABLE_SCHEM, "
        "'T' TABLE_NAME, 'C' COLUMN_NAME, 1 KEY_SEQ, 'PK_T' PK_NAME FROM DUAL",
    };
    for (const char *v : views) ASSERT_EQ(0, Run(v)) << v;
    DrvHandle cur = Cursor();
    ASSERT_EQ(0, Catalog(&DrvOps::DRV_DDProcedures, cur, {"", "SCOTT", "%"}));
    EXPECT_EQ(All(cur, {3}), (std::vector<std::string>{c.want}));
    ASSERT_EQ(0, Catalog(&DrvOps::DRV_DDPrimaryKeys, cur, {"", "SCOTT", "T"}));
    EXPECT_EQ(All(cur, {4, 6}), (std::vector<std::string>{"C|PK_T"}));
    Free(cur);
  }
}

TEST_F(CatalogOptionTest, CommentsAndStatisticsOnceRecorded) {
  With([](AgentOptions *o) { o->showRemarks = 1; });
  const char *sql[] = {
      "COMMENT ON TABLE EMP IS 'Employees'",
      "COMMENT ON COLUMN SCOTT.EMP.ENAME IS 'Family name'",
      "INSERT INTO EMP (EMPNO, ENAME, SAL) VALUES (1, 'KING', 10)",
      "INSERT INTO EMP (EMPNO, ENAME, SAL) VALUES (2, 'FORD', 10)",
      "INSERT INTO EMP (EMPNO, ENAME, SAL) VALUES (3, 'SCOTT', 20)",
      "ANALYZE TABLE EMP COMPUTE STATISTICS",
  };
  const char *nulls = "SELECT COLUMN_NAME, NUM_NULLS FROM ALL_TAB_COLUMNS WHERE TABLE_NAME = 'EMP' AND COLUMN_ID <= 3";
  for (const char *s : sql) {
    // Column statistics stay NULL until the table is analysed.
    if (std::strncmp(s, "ANALYZE", 7) == 0) {
      EXPECT_EQ(Peek(nulls), (Rows{{"EMPNO", "<NULL>"}, {"ENAME", "<NULL>"}, {"HIREDATE", "<NULL>"}}));
    }
    ASSERT_EQ(0, Run(s)) << s;
  }
  EXPECT_EQ(Peek(nulls), (Rows{{"EMPNO", "0"}, {"ENAME", "0"}, {"HIREDATE", "3"}}));
  EXPECT_NE(0, Run("COMMENT ON TABLE NOPE IS 'x'"));
  DrvHandle cur = Cursor();
  ASSERT_EQ(0, Catalog(&DrvOps::DRV_DDColumns, cur, {"", "SCOTT", "EMP", "%NAME"}));
  EXPECT_EQ(All(cur, {4, 12}), (std::vector<std::string>{"ENAME|Family name"}));
  // The table's row (NULL NON_UNIQUE) sorts last, with the analysed counts;
  // index cardinalities are their distinct keys.
  ASSERT_EQ(0, Catalog(&DrvOps::DRV_DDStatistics, cur, {"", "SCOTT", "EMP"}, 1));
  std::vector<std::string> rows = All(cur, {4, 6, 7, 11});
  ASSERT_EQ(rows.size(), 4u);
  EXPECT_EQ(rows[2], "1|EMP_SAL|3|2");
  EXPECT_EQ(rows[3], "<NULL>|<NULL>|0|3");
  Free(cur);
  EXPECT_EQ(Peek("SELECT COMMENTS FROM ALL_TAB_COMMENTS WHERE TABLE_NAME = 'EMP'"), (Rows{{"Employees"}}));
}

TEST_F(CatalogOptionTest, GrantsAndRevokesAreListed) {
  With([](AgentOptions *) {});
  const char *sql[] = {
      "GRANT SELECT, INSERT ON EMP TO PUBLIC",
      "GRANT UPDATE (SAL) ON SCOTT.EMP TO PUBLIC WITH GRANT OPTION",
      "REVOKE INSERT ON EMP FROM PUBLIC",
      "GRANT CREATE SESSION TO SCOTT",  // a system privilege: accepted, not listed
  };
  for (const char *s : sql) ASSERT_EQ(0, Run(s)) << s;
  EXPECT_NE(0, Run("GRANT SELECT ON NOPE TO PUBLIC"));
  DrvHandle cur = Cursor();
  ASSERT_EQ(0, Catalog(&DrvOps::DRV_DDTablePrivileges, cur, {"", "SCOTT", "E%"}));
  EXPECT_EQ(All(cur, {2, 3, 4, 5, 6, 7}), (std::vector<std::string>{"SCOTT|EMP|SCOTT|PUBLIC|SELECT|NO"}));
  ASSERT_EQ(0, Catalog(&DrvOps::DRV_DDColumnPrivileges, cur, {"", "SCOTT", "EMP", "%"}));
  EXPECT_EQ(All(cur, {2, 3, 4, 5, 6, 7, 8}), (std::vector<std::string>{"SCOTT|EMP|SAL|SCOTT|PUBLIC|UPDATE|YES"}));
  Free(cur);
}

}  // namespace
