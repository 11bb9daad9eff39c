#pragma once
// The agent's statement operations driven at the DrvOps level against a
// database of the OCI stand-in in a temporary directory. What a statement
// did is read back through a second OCI session of its own, which sees
// committed data only.
#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <string>
#include <vector>

#include "drv_ora8/db-curs.h"
#include "drv_ora8/o-reg.h"
#include "ocilite.h"
#include "odbc/dataset.h"
#include "odbc/drvops.h"
#include "odbc/sqlstate.h"

namespace exec_test {

using Rows = std::vector<std::vector<std::string>>;

// A second session on the same database: the view of another user.
class Peeker {
 public:
  ~Peeker() { Close(); }

  bool Open(const std::string &dir) {
    if (OCIEnvCreate(&env_, OCI_THREADED, nullptr, nullptr, nullptr, nullptr, 0, nullptr) != OCI_SUCCESS) return false;
    void *h = nullptr;
    OCIHandleAlloc(env_, &h, OCI_HTYPE_ERROR, 0, nullptr);
    err_ = static_cast<OCIError *>(h);
    OCIHandleAlloc(env_, &h, OCI_HTYPE_SERVER, 0, nullptr);
    srv_ = static_cast<OCIServer *>(h);
    OCIHandleAlloc(env_, &h, OCI_HTYPE_SVCCTX, 0, nullptr);
    svc_ = static_cast<OCISvcCtx *>(h);
    OCIHandleAlloc(env_, &h, OCI_HTYPE_SESSION, 0, nullptr);
    ses_ = static_cast<OCISession *>(h);
    if (OCIServerAttach(srv_, err_, reinterpret_cast<const OraText *>(dir.c_str()), static_cast<sb4>(dir.size()),
                        OCI_DEFAULT) != OCI_SUCCESS)
      return false;
    OCIAttrSet(svc_, OCI_HTYPE_SVCCTX, srv_, 0, OCI_ATTR_SERVER, err_);
    OCIAttrSet(ses_, OCI_HTYPE_SESSION, const_cast<char *>("scott"), 5, OCI_ATTR_USERNAME, err_);
    OCIAttrSet(ses_, OCI_HTYPE_SESSION, const_cast<char *>("tiger"), 5, OCI_ATTR_PASSWORD, err_);
    if (OCISessionBegin(svc_, err_, ses_, OCI_CRED_RDBMS, OCI_DEFAULT) != OCI_SUCCESS) return false;
    OCIAttrSet(svc_, OCI_HTYPE_SVCCTX, ses_, 0, OCI_ATTR_SESSION, err_);
    begun_ = true;
    return true;
  }

  void Close() {
    if (begun_) OCISessionEnd(svc_, err_, ses_, OCI_DEFAULT);
    if (srv_ && begun_) OCIServerDetach(srv_, err_, OCI_DEFAULT);
    begun_ = false;
    if (env_) OCIHandleFree(env_, OCI_HTYPE_ENV);
    env_ = nullptr;
    srv_ = nullptr;
  }

  // Every row of a query as texts ("<NULL>" for NULL); values up to 8000 bytes.
  Rows Query(const std::string &sql) {
    Rows out;
    void *h = nullptr;
    OCIHandleAlloc(env_, &h, OCI_HTYPE_STMT, 0, nullptr);
    auto *st = static_cast<OCIStmt *>(h);
    EXPECT_EQ(OCI_SUCCESS, OCIStmtPrepare(st, err_, reinterpret_cast<const OraText *>(sql.c_str()),
                                          static_cast<ub4>(sql.size()), OCI_NTV_SYNTAX, OCI_DEFAULT))
        << sql << ": " << LastError();
    EXPECT_EQ(OCI_SUCCESS, OCIStmtExecute(svc_, st, err_, 0, 0, nullptr, nullptr, OCI_DEFAULT)) << sql << ": " << LastError();
    ub4 ncols = 0;
    OCIAttrGet(st, OCI_HTYPE_STMT, &ncols, nullptr, OCI_ATTR_PARAM_COUNT, err_);
    std::vector<std::vector<char>> bufs(ncols, std::vector<char>(8001));
    std::vector<sb2> ind(ncols);
    for (ub4 i = 0; i < ncols; ++i) {
      OCIDefine *d = nullptr;
      OCIDefineByPos(st, &d, err_, i + 1, bufs[i].data(), 8001, SQLT_STR, &ind[i], nullptr, nullptr, OCI_DEFAULT);
    }
    while (OCIStmtFetch2(st, err_, 1, OCI_FETCH_NEXT, 0, OCI_DEFAULT) == OCI_SUCCESS) {
      std::vector<std::string> row;
      for (ub4 i = 0; i < ncols; ++i) row.push_back(ind[i] == -1 ? "<NULL>" : std::string(bufs[i].data()));
      out.push_back(row);
    }
    OCIHandleFree(st, OCI_HTYPE_STMT);
    return out;
  }

  std::string LastError() {
    char msg[1024] = "";
    sb4 code = 0;
    OCIErrorGet(err_, 1, nullptr, &code, reinterpret_cast<OraText *>(msg), sizeof msg, OCI_HTYPE_ERROR);
    return msg;
  }

 private:
  OCIEnv *env_ = nullptr;
  OCIError *err_ = nullptr;
  OCIServer *srv_ = nullptr;
  OCISvcCtx *svc_ = nullptr;
  OCISession *ses_ = nullptr;
  bool begun_ = false;
};

// A parameter Dataset on the heap (its ownership passes with DRV_SetParams).
struct Params {
  Dataset *ds = nullptr;

  Params(std::initializer_list<std::pair<int32_t, uint32_t>> cols, int32_t rows) {
    ds = static_cast<Dataset *>(calloc(1, sizeof(Dataset)));
    EXPECT_EQ(0, DatasetInit(ds, static_cast<uint16_t>(cols.size())));
    uint16_t c = 0;
    for (auto [type, size] : cols) {
      ds->cols[c].type = type;
      ds->cols[c].size = size;
      ++c;
    }
    ds->columns = c;
    EXPECT_EQ(0, DatasetAllocRows(ds, rows));
    ds->rows = rows;
  }
  ~Params() {
    if (ds) {
      DatasetFree(ds);
      free(ds);
    }
  }
  // Hands the Dataset over (to DRV_SetParams / DRV_ExecDirect).
  Dataset *Give() {
    Dataset *d = ds;
    ds = nullptr;
    return d;
  }
  unsigned char *Cell(int32_t row, uint16_t col) {
    ds->cols[col].indicators[row] = 0;
    return ds->cols[col].values + static_cast<size_t>(row) * ds->cols[col].size;
  }
  void Null(int32_t row, uint16_t col) { ds->cols[col].indicators[row] = kIndNull; }
  // Raw bytes at the start of the element.
  Params &Bytes(int32_t row, uint16_t col, const void *data, size_t n) {
    memcpy(Cell(row, col), data, n);
    return *this;
  }
  Params &Int(int32_t row, uint16_t col, int32_t v) { return Bytes(row, col, &v, sizeof v); }
  // A length-prefixed value (2 or 4 bytes of prefix by the column's type).
  Params &Prefixed(int32_t row, uint16_t col, const std::string &v) {
    unsigned char *p = Cell(row, col);
    int32_t t = ds->cols[col].type;
    if (t == VT_VARCHAR2 || t == VT_VARBIN2) {
      uint16_t n = static_cast<uint16_t>(v.size());
      memcpy(p, &n, 2);
      memcpy(p + 2, v.data(), v.size());
    } else {
      uint32_t n = static_cast<uint32_t>(t == VT_WVARCHAR4 ? v.size() / 2 : v.size());
      memcpy(p, &n, 4);
      memcpy(p + 4, v.data(), v.size());
    }
    return *this;
  }
  // A long value (15, 16, 26): the column owns the buffer.
  Params &Long(int32_t row, uint16_t col, const std::string &v) {
    LongValue lv;
    lv.length = static_cast<uint32_t>(ds->cols[col].type == VT_LONGWCHAR ? v.size() / 2 : v.size());
    lv.buffer = malloc(v.size() ? v.size() : 1);
    memcpy(lv.buffer, v.data(), v.size());
    return Bytes(row, col, &lv, sizeof lv);
  }
};

// UTF-16LE bytes of an ASCII/Latin-1 text.
inline std::string U16(const std::string &latin1) {
  std::string out;
  for (unsigned char ch : latin1) {
    out.push_back(static_cast<char>(ch));
    out.push_back('\0');
  }
  return out;
}

struct Msgs {
  int32_t rc = -1;
  uint32_t native = 0;
  std::vector<std::string> texts;
};

class ExecTest : public ::testing::Test {
 protected:
  std::string dir;
  DrvObject drv{};
  DrvHandle server = 0;
  DrvHandle conn = 0;
  Peeker peek;

  void SetUp() override {
    ocilite_test_reset();
    char tmpl[] = "/tmp/kvd_exec_XXXXXX";
    ASSERT_NE(nullptr, mkdtemp(tmpl));
    dir = std::string(tmpl) + "/db";
    char msg[256] = "";
    ASSERT_EQ(0, ocilite_db_create(dir.c_str(), msg, sizeof msg)) << msg;
    ASSERT_EQ(0, ocilite_user_create(dir.c_str(), "scott", "tiger", msg, sizeof msg)) << msg;
    ResetOptions();
    ORA_Register(&drv);
    DrvInitReq init{"", ""};
    ASSERT_EQ(0, DrvCall<&DrvOps::DRV_Init>(&drv, &init, &server));
  }

  void TearDown() override {
    peek.Close();
    if (conn) {
      EXPECT_EQ(0, DrvCall<&DrvOps::DRV_Disconnect>(&drv, conn));
    }
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

  // Connects scott with the options set in g_agentOptions beforehand.
  DrvHandle Connect(int32_t readOnly = 0, bool wide = false) {
    std::string serverOptions = wide ? std::string("W\x7F\x01\x01", 4) : std::string();
    ConnectReq r{};
    r.host = "";
    r.serverOptions = serverOptions.c_str();
    r.serverType = "";
    r.dbPath = "";
    r.dataSource = "TEST";
    r.dbOptions = dir.c_str();
    r.readOnly = readOnly;
    r.user = "scott";
    r.password = "tiger";
    r.programName = "EXEC_TEST";
    DrvHandle h = 0;
    EXPECT_EQ(0, DrvCall<&DrvOps::DRV_Connect>(&drv, server, &r, &h));
    conn = h;
    return h;
  }

  DrvHandle Cursor(DrvHandle c = 0) {
    DrvHandle h = 0;
    EXPECT_EQ(0, DrvCall<&DrvOps::DRV_AllocCursor>(&drv, c ? c : conn, &h));
    return h;
  }

  void Free(DrvHandle cur) { EXPECT_EQ(0, DrvCall<&DrvOps::DRV_FreeCursor>(&drv, cur)); }

  int32_t Prepare(DrvHandle cur, const char *sql) { return DrvCall<&DrvOps::DRV_Prepare>(&drv, cur, sql); }
  int32_t Execute(DrvHandle cur) { return DrvCall<&DrvOps::DRV_Execute>(&drv, cur); }
  int32_t ExecDirect(DrvHandle cur, const char *sql, Dataset *params = nullptr, uint16_t count = 0,
                     const ParamInfo *info = nullptr) {
    return DrvCall<&DrvOps::DRV_ExecDirect>(&drv, cur, sql, params, count, info);
  }
  // Runs one statement on a cursor of its own.
  int32_t Run(const char *sql, Dataset *params = nullptr) {
    DrvHandle cur = Cursor();
    int32_t rc = ExecDirect(cur, sql, params);
    Free(cur);
    return rc;
  }

  int32_t RowCount(DrvHandle cur) {
    int32_t v = -99;
    int16_t len = 0;
    EXPECT_EQ(0, DrvCall<&DrvOps::DRV_GetInfo>(&drv, cur, INFO_ROW_COUNT, &v, sizeof v, &len));
    return v;
  }

  int32_t SetCursorInt(DrvHandle cur, uint16_t option, int32_t v) {
    return DrvCall<&DrvOps::DRV_SetInfo>(&drv, cur, InfoStmtOption(option), &v);
  }

  Msgs Errors(DrvHandle h) {
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

  Rows Peek(const std::string &sql) {
    if (!peekOpen_) {
      EXPECT_TRUE(peek.Open(dir));
      peekOpen_ = true;
    }
    return peek.Query(sql);
  }

 private:
  bool peekOpen_ = false;
};

}  // namespace exec_test
