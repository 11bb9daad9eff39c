// SQLGetFunctions claims exactly what the driver implements.
#include <gtest/gtest.h>
#include <sql.h>
#include <sqlext.h>

#include <cstdio>
#include <set>
#include <sstream>
#include <string>

#include "front_support.h"
#include "odbc/drvops.h"
#include "odbc/info.h"

using namespace front;

namespace {

// An agent table standing in for the real agent's: every slot holds an
// operation of its own unless a test empties one.
int32_t Serves(DrvHandle, CatalogArgs *) { return 0; }
int32_t ServesTypes(DrvHandle, int16_t) { return 0; }
DrvOps &AgentTable() {
  static DrvOps ops = [] {
    DrvOps o{};
    for (DRV_Catalog_t DrvOps::*slot :
         {&DrvOps::DRV_DDColumnPrivileges, &DrvOps::DRV_DDColumns, &DrvOps::DRV_DDForeignKeys,
          &DrvOps::DRV_DDPrimaryKeys, &DrvOps::DRV_DDProcedureColumns, &DrvOps::DRV_DDProcedures,
          &DrvOps::DRV_DDSpecialColumns, &DrvOps::DRV_DDStatistics, &DrvOps::DRV_DDTablePrivileges,
          &DrvOps::DRV_DDTables})
      o.*slot = &Serves;
    o.DRV_DDTypeInfo = &ServesTypes;
    DrvOpsFillEmpty(o);
    return o;
  }();
  return ops;
}

}  // namespace

// What SQLGetFunctions reads as the agent's own table, as registration built it.
const DrvOps &ORA_BaseOps() { return AgentTable(); }

namespace {

// The implementations defined in the core library: strong ("T") and the
// weak not-capable defaults ("W"), by name without the "odbc_" prefix.
struct Definitions {
  std::set<std::string> strong, weak, exported;
  bool read = false;
};

const Definitions &CoreDefinitions() {
  static Definitions defs = [] {
    Definitions d;
    std::string cmd = std::string("nm -C --defined-only '") + KVD_CORE_ARCHIVE + "' 2>/dev/null";
    FILE *p = popen(cmd.c_str(), "r");
    if (!p) return d;
    char line[4096];
    while (fgets(line, sizeof line, p)) {
      // "0000000000000000 T odbc_GetInfo(void*, ApiArgs const&)"
      std::istringstream in(line);
      std::string addr, type, name;
      if (!(in >> addr >> type) || type.size() != 1) continue;
      std::getline(in, name);
      name.erase(0, name.find_first_not_of(' '));
      if (name.rfind("SQL", 0) == 0 && type == "T") d.exported.insert(name.substr(0, name.find_first_of("\n(")));
      if (name.rfind("odbc_", 0) != 0 || name.find("(void*, ApiArgs const&)") == std::string::npos) continue;
      std::string base = name.substr(5, name.find('(') - 5);
      if (type == "T") d.strong.insert(base);
      if (type == "W") d.weak.insert(base);
    }
    d.read = pclose(p) == 0 && !d.weak.empty();
    return d;
  }();
  return defs;
}

std::set<std::string> Words(const char *s) {
  std::set<std::string> out;
  std::istringstream in(s);
  for (std::string w; in >> w;) out.insert(w);
  return out;
}

TEST(GetFunctionsTable, ClaimsExactlyTheBuiltImplementations) {
  const Definitions &d = CoreDefinitions();
  ASSERT_TRUE(d.read) << "cannot read the symbols of " << KVD_CORE_ARCHIVE;
  for (int i = 0; i < g_apiFunctionCount; ++i) {
    const ApiFunction &f = g_apiFunctions[i];
    bool built = true;
    std::string missing;
    if (*f.impls == '\0') {
      built = d.exported.count(f.name) != 0;
    } else {
      for (const std::string &impl : Words(f.impls)) {
        ASSERT_TRUE(d.strong.count(impl) || d.weak.count(impl)) << f.name << ": no implementation odbc_" << impl;
        if (!d.strong.count(impl)) {
          built = false;
          missing += " odbc_" + impl;
        }
      }
    }
    EXPECT_EQ(f.implemented, built) << f.name << " (" << f.id << ") is "
                                    << (built ? "now built: set its entry to true in odbc/info.cpp"
                                              : "claimed but still not capable:" + missing);
  }
}

TEST(GetFunctionsTable, CoversEveryDispatchedImplementation) {
  const Definitions &d = CoreDefinitions();
  ASSERT_TRUE(d.read);
  std::set<std::string> listed;
  for (int i = 0; i < g_apiFunctionCount; ++i)
    for (const std::string &w : Words(g_apiFunctions[i].impls)) listed.insert(w);
  for (const auto *set : {&d.strong, &d.weak})
    for (const std::string &impl : *set) EXPECT_TRUE(listed.count(impl)) << "odbc_" << impl << " belongs to no function";
}

TEST(GetFunctionsTable, ListsTheDriversFunctionsOnly) {
  // The driver has no SQLBrowseConnect, SQLDataSources, SQLSetScrollOptions,
  // SQLDrivers, SQLBindParam, SQLAllocHandleStd or SQLCancelHandle.
  for (unsigned id : {55u, 57u, 69u, 71u, 73u, 1002u, 1022u}) EXPECT_FALSE(ApiFunctionSupported(id)) << id;
  std::set<unsigned> ids;
  for (int i = 0; i < g_apiFunctionCount; ++i) EXPECT_TRUE(ids.insert(g_apiFunctions[i].id).second) << "twice: " << g_apiFunctions[i].name;
  std::set<unsigned> expected;
  for (unsigned i = 1; i <= 24; ++i) expected.insert(i);
  for (unsigned i = 40; i <= 72; ++i)
    if (i != 55 && i != 57 && i != 69 && i != 71) expected.insert(i);
  for (unsigned i : {1001u, 1003u, 1004u, 1005u, 1006u, 1007u, 1008u, 1009u, 1010u, 1011u, 1012u, 1014u, 1016u, 1017u,
                     1018u, 1019u, 1020u, 1021u})
    expected.insert(i);
  EXPECT_EQ(ids, expected);
}

struct GetFunctions : FrontTest {
  SQLHENV env = SQL_NULL_HENV;
  SQLHDBC dbc = SQL_NULL_HDBC;
  void SetUp() override {
    FrontTest::SetUp();
    env = NewEnv();
    dbc = NewDbc(env);
  }
};

TEST_F(GetFunctions, AllThreeFormsAgreeWithTheTable) {
  // Before connect too: the Driver Manager may ask at any time.
  SQLUSMALLINT map[SQL_API_ODBC3_ALL_FUNCTIONS_SIZE + 4];
  for (auto &w : map) w = 0xA5A5;
  ASSERT_EQ(SQLGetFunctions(dbc, SQL_API_ODBC3_ALL_FUNCTIONS, map), SQL_SUCCESS);
  for (int i = 0; i < 4; ++i) EXPECT_EQ(map[SQL_API_ODBC3_ALL_FUNCTIONS_SIZE + i], 0xA5A5) << "written beyond the map";
  SQLUSMALLINT flags[100 + 4];
  for (auto &w : flags) w = 0xA5A5;
  ASSERT_EQ(SQLGetFunctions(dbc, SQL_API_ALL_FUNCTIONS, flags), SQL_SUCCESS);
  EXPECT_EQ(flags[100], 0xA5A5) << "written beyond the 100 flags";

  for (unsigned id = 1; id < 4000; ++id) {
    const SQLUSMALLINT want = ApiFunctionSupported(id) ? SQL_TRUE : SQL_FALSE;
    EXPECT_EQ(SQL_FUNC_EXISTS(map, id), want) << id;
    if (id < 100) {
      EXPECT_EQ(flags[id], want) << id;
    }
    if (id == SQL_API_ODBC3_ALL_FUNCTIONS) continue;  // asks for the whole map
    SQLUSMALLINT one = 0xA5A5;
    ASSERT_EQ(SQLGetFunctions(dbc, static_cast<SQLUSMALLINT>(id), &one), SQL_SUCCESS);
    EXPECT_EQ(one, want) << id;
  }
  EXPECT_EQ(SQL_FUNC_EXISTS(map, SQL_API_SQLGETFUNCTIONS), SQL_TRUE);
  EXPECT_EQ(SQL_FUNC_EXISTS(map, SQL_API_SQLALLOCHANDLE), SQL_TRUE);
  EXPECT_EQ(SQL_FUNC_EXISTS(map, SQL_API_SQLBINDPARAM), SQL_FALSE);
  EXPECT_EQ(flags[SQL_API_SQLDATASOURCES], SQL_FALSE);
}

TEST_F(GetFunctions, EdgeIds) {
  EXPECT_EQ(SQLGetFunctions(dbc, SQL_API_ODBC3_ALL_FUNCTIONS, nullptr), SQL_SUCCESS);
  for (SQLUSMALLINT id : {SQLUSMALLINT(4000), SQLUSMALLINT(4001), SQLUSMALLINT(65535)}) {
    SQLUSMALLINT one = 7;
    EXPECT_EQ(SQLGetFunctions(dbc, id, &one), SQL_SUCCESS);
    EXPECT_EQ(one, SQL_FALSE) << id;
  }
  EXPECT_EQ(SQLGetFunctions(SQL_NULL_HDBC, SQL_API_SQLGETINFO, nullptr), SQL_INVALID_HANDLE);
}

// A function served by an agent slot is claimed only while the agent's table
// holds a real operation there: the not-capable filler or an empty slot
// answers FALSE in all three forms, and the other functions stay claimed.
TEST_F(GetFunctions, AgentSlotWithoutAnOperationIsNotClaimed) {
  struct Slot {
    SQLUSMALLINT id;
    DRV_Catalog_t DrvOps::*slot;
  } slots[] = {
      {SQL_API_SQLTABLES, &DrvOps::DRV_DDTables},
      {SQL_API_SQLCOLUMNS, &DrvOps::DRV_DDColumns},
      {SQL_API_SQLFOREIGNKEYS, &DrvOps::DRV_DDForeignKeys},
      {SQL_API_SQLPROCEDURECOLUMNS, &DrvOps::DRV_DDProcedureColumns},
      {SQL_API_SQLGETTYPEINFO, nullptr},
  };
  auto claimed = [&](SQLUSMALLINT id) {
    SQLUSMALLINT one = 0xA5A5, flags[100] = {}, map[SQL_API_ODBC3_ALL_FUNCTIONS_SIZE] = {};
    EXPECT_EQ(SQLGetFunctions(dbc, id, &one), SQL_SUCCESS);
    EXPECT_EQ(SQLGetFunctions(dbc, SQL_API_ODBC3_ALL_FUNCTIONS, map), SQL_SUCCESS);
    EXPECT_EQ(SQLGetFunctions(dbc, SQL_API_ALL_FUNCTIONS, flags), SQL_SUCCESS);
    EXPECT_EQ(SQL_FUNC_EXISTS(map, id), one) << id;
    if (id < 100) {
      EXPECT_EQ(flags[id], one) << id;
    }
    return one == SQL_TRUE;
  };
  DrvOps &ops = AgentTable();
  for (const Slot &s : slots) EXPECT_TRUE(claimed(s.id)) << s.id;
  for (const Slot &s : slots) {
    const DrvOps saved = ops;
    for (int empty = 0; empty < 2; ++empty) {
      if (s.slot) ops.*s.slot = empty ? nullptr : &drvops_detail::NotCapable<DRV_Catalog_t>::Call;
      else ops.DRV_DDTypeInfo = empty ? nullptr : &drvops_detail::NotCapable<DRV_DDTypeInfo_t>::Call;
      EXPECT_FALSE(claimed(s.id)) << s.id << (empty ? " empty" : " not capable");
      for (const Slot &other : slots) {
        if (other.id != s.id) {
          EXPECT_TRUE(claimed(other.id)) << other.id << " with " << s.id << " missing";
        }
      }
    }
    ops = saved;
  }
}

}  // namespace
