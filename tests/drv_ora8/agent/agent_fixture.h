#pragma once
// A database of the OCI stand-in in a temporary directory and the agent's
// operation table, driven directly at the DrvOps level.
#include <gtest/gtest.h>
#include <sql.h>
#include <sqlext.h>
#include <unistd.h>

#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <string>
#include <vector>

#include "drv_ora8/db-private.h"
#include "drv_ora8/o-reg.h"
#include "ocilite.h"
#include "odbc/drvops.h"
#include "odbc/sqlstate.h"

namespace agent_test {

// The texts handed up by DRV_GetErrors, freed.
struct Msgs {
  int32_t rc = -1;
  uint32_t native = 0;
  std::vector<std::string> texts;
};

inline Msgs TakeErrors(const DrvObject &drv, DrvHandle h) {
  Msgs m;
  DrvMsgList list{};
  m.rc = DrvCall<&DrvOps::DRV_GetErrors>(&drv, h, &list);
  m.native = list.native;
  for (uint32_t i = 0; i < list.count; ++i) {
    m.texts.push_back(list.messages[i] ? list.messages[i] : "");
    free(list.messages[i]);
  }
  free(list.messages);
  return m;
}

// ConnArgs fields with storage of their own.
struct ConnArgs {
  std::string user, password, dbOptions, dbPath, serverOptions;
  bool wide = false;
  bool nullPassword = false;
  int32_t readOnly = 0;

  ConnectReq Make() {
    if (wide) serverOptions = std::string("W\x7F\x01\x01", 4);
    ConnectReq r{};
    r.host = "";
    r.serverOptions = serverOptions.c_str();
    r.serverType = "";
    r.dbPath = dbPath.c_str();
    r.dataSource = "TEST";
    r.dbOptions = dbOptions.c_str();
    r.readOnly = readOnly;
    r.user = user.c_str();
    r.password = nullPassword ? nullptr : password.c_str();
    r.programName = "AGENT_TEST";
    return r;
  }
};

class AgentTest : public ::testing::Test {
 protected:
  std::string dir;
  DrvObject drv{};
  DrvHandle server = 0;

  void SetUp() override {
    ocilite_test_reset();
    char tmpl[] = "/tmp/kvd_agent_XXXXXX";
    ASSERT_NE(nullptr, mkdtemp(tmpl));
    dir = std::string(tmpl) + "/db";
    char msg[256] = "";
    ASSERT_EQ(0, ocilite_db_create(dir.c_str(), msg, sizeof msg)) << msg;
    ASSERT_EQ(0, ocilite_user_create(dir.c_str(), "scott", "tiger", msg, sizeof msg)) << msg;
    ASSERT_EQ(0, ocilite_user_create(dir.c_str(), "hr", "Secret1", msg, sizeof msg)) << msg;
    ResetOptions();
    ORA_Register(&drv);
    DrvInitReq init{"", ""};
    ASSERT_EQ(0, DrvCall<&DrvOps::DRV_Init>(&drv, &init, &server));
  }

  void TearDown() override {
    if (server) {
      EXPECT_EQ(0, DrvCall<&DrvOps::DRV_Term>(&drv, server));
    }
    ResetOptions();
    ocilite_test_reset();
    std::error_code ec;
    std::filesystem::remove_all(std::filesystem::path(dir).parent_path(), ec);
  }

  static void ResetOptions() {
    AgentOptions_Free(&g_agentOptions);
    g_agentOptions = AgentOptions{};
  }

  ConnArgs Scott() {
    ConnArgs r;
    r.user = "scott";
    r.password = "tiger";
    r.dbOptions = dir;
    return r;
  }

  int32_t Connect(ConnArgs r, DrvHandle *conn) {
    ConnectReq req = r.Make();
    return DrvCall<&DrvOps::DRV_Connect>(&drv, server, &req, conn);
  }

  DrvHandle ConnectScott() {
    DrvHandle conn = 0;
    EXPECT_EQ(0, Connect(Scott(), &conn));
    return conn;
  }

  void Disconnect(DrvHandle conn) { EXPECT_EQ(0, DrvCall<&DrvOps::DRV_Disconnect>(&drv, conn)); }

  std::string InfoText(DrvHandle h, uint32_t code, uint16_t size = 4096, int32_t *rc = nullptr) {
    std::vector<char> buf(size + 1, '\x7f');
    int16_t len = -1;
    int32_t r = DrvCall<&DrvOps::DRV_GetInfo>(&drv, h, code, buf.data(), size, &len);
    if (rc) *rc = r;
    if (r != 0) return "<" + std::to_string(r) + ">";
    EXPECT_EQ(static_cast<size_t>(len), strlen(buf.data()));
    return buf.data();
  }

  int32_t InfoInt(DrvHandle h, uint32_t code, int32_t *rc = nullptr) {
    uint32_t v = 0xDEADBEEF;
    int16_t len = -1;
    int32_t r = DrvCall<&DrvOps::DRV_GetInfo>(&drv, h, code, &v, sizeof v, &len);
    if (rc) *rc = r;
    if (r == 0) {
      EXPECT_EQ(4, len);
    }
    return static_cast<int32_t>(v);
  }

  int32_t SetInt(DrvHandle h, uint32_t code, int32_t v) { return DrvCall<&DrvOps::DRV_SetInfo>(&drv, h, code, &v); }

  // An agent cursor on the connection as the cursor allocation leaves it:
  // in the cursor table, its cursor state naming the connection and the
  // object below the cursor layer.
  DrvHandle MakeCursor(DrvHandle connH) {
    auto *cur = static_cast<AgentCursor *>(calloc(1, sizeof(AgentCursor)));
    cur->conn = Agent_Conn(connH);
    cur->maxRows = static_cast<uint32_t>(cur->conn->opts.maxRows);
    DrvHandle h = 0;
    EXPECT_EQ(0, HandleTable_Add(&g_agentCursors, &h, cur));
    cur->handle = h;
    scs_CursorInit(&cur->scs, h, connH, ORA_AgentObject(), cur);
    return h;
  }

  void FreeCursor(DrvHandle h) {
    AgentCursor *cur = Agent_Cursor(h);
    ASSERT_NE(nullptr, cur);
    HandleTable_Remove(&g_agentCursors, h);
    ErrList_Free(&cur->errs);
    free(cur);
  }
};

}  // namespace agent_test
