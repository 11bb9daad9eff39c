// SQLColumns of one table: on a database where it is alone, and among 10
// schemas of 200 tables each. Goal: the crowded database within 3x of the
// lone one (the dictionary scans only the schema and table asked for when the
// names are given exactly).
#include <benchmark/benchmark.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <string>

#include "common/agentbench.h"
#include "drv_ora8/o-reg.h"
#include "ocilite.h"
#include "odbc/dataset.h"
#include "odbc/drvops.h"

namespace {

struct Agent : agentbench::Agent {
  Agent(const std::string &dir, const std::string &user) : agentbench::Agent(dir, user, "pw", "catalog_bench") {}
};

// A database of `schemas` users U0.. with `tables` tables T0.. of five columns each.
std::string MakeDatabase(const char *name, int schemas, int tables) {
  char tmpl[] = "/tmp/kvd_catbench_XXXXXX";
  if (!mkdtemp(tmpl)) return "";
  std::string dir = std::string(tmpl) + "/" + name;
  char msg[256];
  if (ocilite_db_create(dir.c_str(), msg, sizeof msg)) return "";
  for (int s = 0; s < schemas; ++s)
    if (ocilite_user_create(dir.c_str(), ("U" + std::to_string(s)).c_str(), "pw", msg, sizeof msg)) return "";
  for (int s = 0; s < schemas; ++s) {
    Agent a(dir, "U" + std::to_string(s));
    if (!a.ok) return "";
    for (int t = 0; t < tables; ++t)
      if (!a.Exec("CREATE TABLE T" + std::to_string(t) +
                  " (ID NUMBER(9) PRIMARY KEY, NAME VARCHAR2(30), AMOUNT NUMBER(12,2), D DATE, NOTE VARCHAR2(200))"))
        return "";
  }
  return dir;
}

// The databases live for the whole run and go with it.
struct Databases {
  std::string dirs[2];
  ~Databases() {
    std::error_code ec;
    for (const std::string &d : dirs)
      if (!d.empty()) std::filesystem::remove_all(std::filesystem::path(d).parent_path(), ec);
  }
};

void Columns(benchmark::State &state, int schemas, int tables) {
  static Databases dbs;
  std::string *dirs = dbs.dirs;
  std::string &dir = dirs[schemas > 1];
  if (dir.empty()) dir = MakeDatabase(schemas > 1 ? "many" : "one", schemas, tables);
  Agent a(dir, "U0");
  if (dir.empty() || !a.ok) {
    state.SkipWithError("database setup failed");
    return;
  }
  char owner[] = "U0", table[] = "T0", column[] = "%", none[] = "";
  for (auto _ : state) {
    CatalogArgs args{};
    args.names[0] = none;
    args.names[1] = owner;
    args.names[2] = table;
    args.names[3] = column;
    if (DrvCall<&DrvOps::DRV_DDColumns>(&a.drv, a.cur, &args) != 0) {
      state.SkipWithError("SQLColumns failed");
      break;
    }
    Dataset ds{};
    int rows = 0;
    for (;;) {
      if (DrvCall<&DrvOps::DRV_Fetch>(&a.drv, a.cur, 100, &ds) != 0 || ds.rows == 0) break;
      rows += ds.rows;
    }
    DatasetFree(&ds);
    DrvCall<&DrvOps::DRV_CloseCursor>(&a.drv, a.cur);
    if (rows != 5) {
      state.SkipWithError("wrong row count");
      break;
    }
  }
}

BENCHMARK_CAPTURE(Columns, alone, 1, 1)->Unit(benchmark::kMicrosecond);
BENCHMARK_CAPTURE(Columns, among_10_schemas_of_200, 10, 200)->Unit(benchmark::kMicrosecond);

}  // namespace
