#pragma once
// What the benchmarks of the agent share: the agent registered, initialised
// and connected to a database of the OCI stand-in with one cursor, and the
// loop that fetches a result whole in blocks.
#include <string>

#include "drv_ora8/db-private.h"
#include "drv_ora8/o-reg.h"
#include "odbc/dataset.h"
#include "odbc/drvops.h"

namespace agentbench {

struct Agent {
  DrvObject drv{};
  DrvHandle server = 0, conn = 0, cur = 0;
  bool ok = false;
  // wide: the connect request carries the wide-mode marker.
  Agent(const std::string &dir, const std::string &user, const std::string &password, const char *program,
        bool wide = false) {
    ORA_Register(&drv);
    DrvInitReq init{"", ""};
    if (DrvCall<&DrvOps::DRV_Init>(&drv, &init, &server)) return;
    const std::string marker = wide ? std::string("W\x7F\x01\x01", 4) : std::string();
    ConnectReq r{};
    r.host = "";
    r.serverOptions = marker.c_str();
    r.serverType = "";
    r.dbPath = "";
    r.dataSource = "BENCH";
    r.dbOptions = dir.c_str();
    r.user = user.c_str();
    r.password = password.c_str();
    r.programName = program;
    if (DrvCall<&DrvOps::DRV_Connect>(&drv, server, &r, &conn)) return;
    ok = DrvCall<&DrvOps::DRV_AllocCursor>(&drv, conn, &cur) == 0;
  }
  Agent(const Agent &) = delete;
  Agent &operator=(const Agent &) = delete;
  ~Agent() {
    if (cur) DrvCall<&DrvOps::DRV_FreeCursor>(&drv, cur);
    if (conn) DrvCall<&DrvOps::DRV_Disconnect>(&drv, conn);
    if (server) DrvCall<&DrvOps::DRV_Term>(&drv, server);
  }
  bool Exec(const std::string &sql) {
    return DrvCall<&DrvOps::DRV_ExecDirect>(&drv, cur, sql.c_str(), static_cast<Dataset *>(nullptr), uint16_t{0},
                                            static_cast<const ParamInfo *>(nullptr)) == 0;
  }
  bool Prepare(const char *sql) { return DrvCall<&DrvOps::DRV_Prepare>(&drv, cur, sql) == 0; }
};

// Executes the prepared cursor once per iteration and fetches its result in
// blocks; each iteration must bring `rows` rows.
inline void ExecuteAndFetchAll(benchmark::State &state, Agent &a, uint16_t block, int rows) {
  for (auto _ : state) {
    if (DrvCall<&DrvOps::DRV_Execute>(&a.drv, a.cur) != 0) {
      state.SkipWithError("execute failed");
      break;
    }
    int got = 0;
    Dataset ds{};
    for (;;) {
      if (DrvCall<&DrvOps::DRV_Fetch>(&a.drv, a.cur, block, &ds) != 0) {
        state.SkipWithError("fetch failed");
        break;
      }
      if (ds.rows == 0) break;
      got += ds.rows;
      benchmark::DoNotOptimize(ds.cols[ds.columns - 1].values);
    }
    DatasetFree(&ds);
    if (got != rows) state.SkipWithError("wrong row count");
  }
  state.SetItemsProcessed(state.iterations() * rows);
}

}  // namespace agentbench
