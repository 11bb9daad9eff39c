// Key-column discovery against the agent's catalog operations over the OCI
// stand-in: primary keys first, NOT NULL best row identifiers, ROWID, unique
// indexes, views without keys, joins, and the key-column cache.
#include "scrs/keycols.h"

#include <cstring>
#include <string>
#include <vector>

#include "drv_ora8/db-private.h"
#include "exec_fixture.h"
#include "scrs/scr.h"
#include "util/hashtab.h"

using namespace exec_test;

namespace {

// Table references as the analysis makes them, freed at the end.
struct Tables {
  VArray *v = VArray_New(sizeof(TableRef));
  Tables(std::initializer_list<std::array<const char *, 3>> refs) {  // owner, table, alias
    for (const auto &r : refs) {
      TableRef t{strdup(""), strdup(r[0]), strdup(r[1]), strdup(r[2])};
      VArray_Append(v, &t);
    }
  }
  ~Tables() { VArray_Free(&v, SCR_TableRefFree); }
};

// Each key column as "table.name:type", in order.
std::vector<std::string> Shown(const VArray *keys) {
  std::vector<std::string> out;
  for (uint32_t i = 0; keys && i < keys->count; ++i) {
    const auto *d = static_cast<const ScsColDesc *>(VArray_At(keys, i));
    out.push_back(std::string(d->alias[0] ? d->alias : d->table) + "." + d->name + ":" + std::to_string(d->sqlType));
  }
  return out;
}

class KeyColsTest : public ExecTest {
 protected:
  void SetUp() override {
    ExecTest::SetUp();
    Connect();
    Agent_Conn(conn)->odbcVersion = 3;
    aux = Cursor();
    cat.lower = ORA_AgentObject();
    cat.aux = aux;
    cat.identQuote = '"';
  }
  void TearDown() override {
    VArray_Free(&keys, nullptr);
    KS_KeyColCacheFree(cat.cache);
    Free(aux);
    ExecTest::TearDown();
  }
  void Ddl(std::initializer_list<const char *> stmts) {
    for (const char *s : stmts) ASSERT_EQ(0, Run(s)) << s;
  }
  DrvHandle aux = 0;
  KsCatalog cat;
  VArray *keys = nullptr;
};

TEST_F(KeyColsTest, EachTableIsKeyedByColumnsThatCannotBeNull) {
  Ddl({"CREATE TABLE PLAIN (A NUMBER, B VARCHAR2(10))",
       // A nullable unique index whose name sorts before the primary key's.
       "CREATE TABLE KEYED (ID NUMBER(6) CONSTRAINT ZZ_PK PRIMARY KEY, U VARCHAR2(5))",
       "CREATE UNIQUE INDEX AA_U ON KEYED (U)",
       "CREATE TABLE UNIQ (C VARCHAR2(8) NOT NULL, D NUMBER, CONSTRAINT UQ_C UNIQUE (C))",
       "CREATE TABLE NULLUNIQ (E NUMBER, CONSTRAINT UQ_E UNIQUE (E))",
       "CREATE VIEW V AS SELECT A, B FROM PLAIN"});
  struct Case {
    const char *table;
    std::vector<std::string> want;
  } cases[] = {
      {"PLAIN", {"PLAIN.ROWID:1"}},
      {"KEYED", {"KEYED.\"ID\":4"}},
      {"UNIQ", {"UNIQ.\"C\":12"}},
      {"NULLUNIQ", {"NULLUNIQ.ROWID:1"}},
  };
  for (const Case &c : cases) {
    Tables t({{"SCOTT", c.table, ""}});
    uint8_t count = 0;
    ASSERT_EQ(0, KS_GetKeyColDescs(cat, t.v, &keys, &count)) << c.table;
    EXPECT_EQ(c.want, Shown(keys)) << c.table;
    EXPECT_EQ(1, count);
  }
  Tables view({{"SCOTT", "V", ""}});
  EXPECT_EQ(E_IM909, KS_GetKeyColDescs(cat, view.v, &keys, nullptr));
}

TEST_F(KeyColsTest, JoinsKeepFromClauseOrderAndTheCacheAnswersAgain) {
  Ddl({"CREATE TABLE DEPT (DEPTNO NUMBER(2) PRIMARY KEY, DNAME VARCHAR2(14))",
       "CREATE TABLE EMP (ENAME VARCHAR2(10), DEPTNO NUMBER(2))"});
  cat.cache = KS_KeyColCacheNew();
  Tables join({{"SCOTT", "EMP", "e"}, {"SCOTT", "DEPT", "d"}});
  uint8_t count = 0;
  ASSERT_EQ(0, KS_GetKeyColDescs(cat, join.v, &keys, &count));
  const std::vector<std::string> want = {"e.ROWID:1", "d.\"DEPTNO\":-6"};
  EXPECT_EQ(want, Shown(keys));
  EXPECT_EQ(2, count);
  EXPECT_EQ(1, cat.cache->entries);
  // The cache answers without the catalog: the tables are gone, the answer stays.
  Ddl({"DROP TABLE EMP", "DROP TABLE DEPT"});
  ASSERT_EQ(0, KS_GetKeyColDescs(cat, join.v, &keys, &count));
  EXPECT_EQ(want, Shown(keys));
  Tables other({{"SCOTT", "DEPT", ""}});
  EXPECT_NE(0, KS_GetKeyColDescs(cat, other.v, &keys, &count));
  EXPECT_EQ(1, cat.cache->entries);  // failures are not cached
}

TEST(KeyColsDigest, NamesAreKeptApartByTheirLengths) {
  auto digest = [](std::initializer_list<std::array<const char *, 3>> refs) {
    Tables t(refs);
    std::string d(16, '\0');
    KS_TablesDigest(t.v, reinterpret_cast<unsigned char *>(d.data()));
    return d;
  };
  EXPECT_NE(digest({{"A", "BC", ""}}), digest({{"AB", "C", ""}}));
  EXPECT_NE(digest({{"A", "B", ""}, {"", "C", ""}}), digest({{"A", "", ""}, {"B", "C", ""}}));
  EXPECT_EQ(digest({{"A", "BC", "x"}}), digest({{"A", "BC", "y"}}));  // the alias names no other table
}

}  // namespace
