#include "param_fixture.h"

#include <cstdlib>
#include <cstring>

#include "odbc/stmt.h"

namespace pt {
namespace {

std::vector<Handover> g_handovers;
DrvOps g_orig;
bool g_hasOutput = false;
std::vector<std::string> g_output;
constexpr const char *kNullMarker = "\x01NULL";

Handover Record(int slot, const Dataset *ds) {
  Handover h;
  h.slot = slot;
  h.hasDataset = ds != nullptr;
  if (!ds) return h;
  h.rows = ds->rows;
  for (uint16_t c = 0; c < ds->columns; ++c) {
    const DatasetCol &col = ds->cols[c];
    RecCol rc;
    rc.type = col.type;
    rc.size = col.size;
    for (int32_t r = 0; r < ds->rows; ++r) {
      RecCell cell;
      cell.indicator = col.indicators[r];
      const void *data = nullptr;
      uint32_t len = 0;
      if (cell.indicator != kIndNull && DatasetValueRef(ds, static_cast<uint32_t>(r), c, &data, &len) == 0 && data)
        cell.bytes.assign(static_cast<const char *>(data), len);
      rc.cells.push_back(cell);
    }
    h.cols.push_back(rc);
  }
  return h;
}

// The fake takes (and frees) a Dataset only when its call is not scripted to
// fail; the agent owns it either way.
int32_t Taken(int32_t rc, Dataset *ds) {
  if (rc != 0 && ds) {
    DatasetFree(ds);
    free(ds);
  }
  return rc;
}

int32_t R_ExecDirect(DrvHandle cursor, const char *sql, Dataset *ds, uint16_t count, const ParamInfo *info) {
  Handover h = Record(SLOT_DRV_ExecDirect, ds);
  if (info) h.info.assign(info, info + count);
  g_handovers.push_back(h);
  return Taken(g_orig.DRV_ExecDirect(cursor, sql, ds, count, info), ds);
}

int32_t R_ExecDirect2(DrvHandle cursor, const char *sql, Dataset *ds, uint16_t count, const ParamDesc *descs) {
  Handover h = Record(SLOT_DRV_ExecDirect2, ds);
  for (uint16_t i = 0; descs && i < count; ++i) {
    h.info.push_back(descs[i].info);
    h.names.push_back(descs[i].name ? descs[i].name : "");
  }
  g_handovers.push_back(h);
  // The Dataset is the agent's now; the fake's slot does not take it.
  if (ds) {
    DatasetFree(ds);
    free(ds);
  }
  return g_orig.DRV_ExecDirect2(cursor, sql, nullptr, count, descs);
}

int32_t R_SetParams(DrvHandle cursor, Dataset *ds) {
  g_handovers.push_back(Record(SLOT_DRV_SetParams, ds));
  return Taken(g_orig.DRV_SetParams(cursor, ds), ds);
}

int32_t R_SetParamInfo(DrvHandle cursor, uint16_t count, const ParamInfo *info) {
  Handover h;
  h.slot = SLOT_DRV_SetParamInfo;
  if (info) h.info.assign(info, info + count);
  g_handovers.push_back(h);
  return g_orig.DRV_SetParamInfo(cursor, count, info);
}

int32_t R_Fetch(DrvHandle cursor, uint16_t rows, Dataset *out) {
  if (rows != 0 || !g_hasOutput) return g_orig.DRV_Fetch(cursor, rows, out);
  int32_t rc = g_orig.DRV_Fetch(cursor, rows, out);  // logged, scripted, and lays out afresh
  if (rc != 0) return rc;
  DatasetFree(out);
  const auto n = static_cast<uint16_t>(g_output.size());
  if (DatasetInit(out, n) != 0) return E_S1001;
  for (uint16_t c = 0; c < n; ++c) {
    out->cols[c].type = VT_STRING;
    out->cols[c].size = 64;
  }
  out->columns = n;
  if (DatasetAllocRows(out, 1) != 0) return E_S1001;
  out->rows = 1;
  for (uint16_t c = 0; c < n; ++c) {
    if (g_output[c] == kNullMarker) continue;
    out->cols[c].indicators[0] = 0;
    memcpy(out->cols[c].values, g_output[c].data(), g_output[c].size() < 63 ? g_output[c].size() : 63);
  }
  return 0;
}

}  // namespace

std::vector<Handover> &Handovers() { return g_handovers; }

void InstallRecorder() {
  g_handovers.clear();
  g_hasOutput = false;
  g_output.clear();
  DrvOps *t = fake::Table();
  g_orig = *t;
  t->DRV_ExecDirect = R_ExecDirect;
  t->DRV_ExecDirect2 = R_ExecDirect2;
  t->DRV_SetParams = R_SetParams;
  t->DRV_SetParamInfo = R_SetParamInfo;
  t->DRV_Fetch = R_Fetch;
}

void SetOutputRow(const std::vector<std::string> &values) {
  g_hasOutput = true;
  g_output = values;
}

std::string TextOf(const RecCell &c) { return std::string(c.bytes.c_str()); }

void ParamTest::SetUp() {
  FrontTest::SetUp();
  InstallRecorder();
  env = front::NewEnv(Version());
  dbc = front::NewDbc(env);
  front::FakeConnect(dbc);
  conn = front::ConnOf(dbc);
  OracleCaps();
  hstmt = front::NewStmt(dbc);
  stmt = front::StmtOf(hstmt);
  ASSERT_NE(stmt, nullptr);
}

void ParamTest::OracleCaps() {
  conn->cn_needbind = 1;
  conn->cn_hasMoreRes = 1;
  conn->cn_hasParamOp = 1;
  conn->cn_hasScrlCurs = 1;
  conn->cn_hasDynMixCurs = 1;
  conn->cn_hasV2DAE = 1;
  conn->cn_spOutDeferFetch = 1;
  conn->cn_hasExecute2 = 1;
  conn->cn_describe2 = 1;
  conn->cn_execDirect2 = 0;
}

void ParamTest::Prepare(const std::vector<std::string> &names, bool isSelect) {
  std::vector<fake::Column> cols;
  for (const std::string &n : names) cols.push_back({n.empty() ? std::string(":P") : n, SQL_VARCHAR, VT_STRING, 255});
  fake::SetParamDescs(cols);
  StmtFreeParamDescs(stmt);
  uint16_t count = 0;
  ColDesc *descs = nullptr;
  ASSERT_EQ(DrvCall<&DrvOps::DRV_DescribeParams>(stmt->drv, stmt->agentCursor, &count, &descs), 0);
  stmt->paramDescs = descs;
  stmt->paramCount = count;
  stmt->inCount = stmt->outCount = stmt->inOutCount = 0;
  stmt->hasUnknownParam = 0;
  for (const std::string &n : names) {
    if (n == "*U") {
      stmt->hasUnknownParam = 1;
      break;
    }
    if (n == "*O")
      ++stmt->outCount;
    else if (n == "*B")
      ++stmt->inOutCount;
    else
      ++stmt->inCount;
  }
  stmt->flags |= STMTF_PREPARED;
  stmt->flags &= static_cast<uint16_t>(~(STMTF_RESULT_OPEN | STMTF_PARAMINFO_SENT));
  stmt->state = STMT_PREPARED;
  stmt->isSelect = isSelect ? 1 : 0;
}

std::string ParamTest::State() const {
  SQLCHAR state[6] = {};
  SQLINTEGER native = 0;
  SQLCHAR text[512];
  SQLSMALLINT len = 0;
  if (!SQL_SUCCEEDED(SQLGetDiagRec(SQL_HANDLE_STMT, hstmt, 1, state, &native, text, sizeof text, &len))) return "";
  return reinterpret_cast<char *>(state);
}

std::string ParamTest::DiagText() const {
  std::string out;
  for (SQLSMALLINT i = 1;; ++i) {
    SQLCHAR state[6] = {};
    SQLINTEGER native = 0;
    SQLCHAR text[512];
    SQLSMALLINT len = 0;
    if (!SQL_SUCCEEDED(SQLGetDiagRec(SQL_HANDLE_STMT, hstmt, i, state, &native, text, sizeof text, &len))) break;
    out += std::string(reinterpret_cast<char *>(state)) + ": " + reinterpret_cast<char *>(text) + "; ";
  }
  return out;
}

}  // namespace pt
