// Building the parameter Dataset of a bound array: 1000 rows of (integer,
// VARCHAR text of NUL-terminated strings, timestamp, numeric struct, date
// escape text), column-wise. Reports rows/s.
//
// Goal: the build costs a small fraction of the agent's bind and execute of
// the same rows (well above a million rows per second), and no allocation
// depends on the row count beyond the Dataset's own columns.
#include <benchmark/benchmark.h>
#include <sql.h>
#include <sqlext.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "odbc/data/execute.h"
#include "odbc/dataset.h"
#include "odbc/objects.h"

namespace {

constexpr int kRows = 1000;

struct Fixture {
  Conn conn{};
  Desc apd{};
  Stmt stmt{};
  std::vector<ParamBinding> params;
  std::vector<ParamInfo> shadow;
  ColDesc descs[5]{};
  std::vector<SQLINTEGER> ids;
  std::vector<char> names;
  std::vector<SQLLEN> nameLen;
  std::vector<SQL_TIMESTAMP_STRUCT> stamps;
  std::vector<SQL_NUMERIC_STRUCT> nums;
  std::vector<char> dates;
  std::vector<SQLLEN> dateLen;

  Fixture() {
    conn.cn_hasParamOp = 1;
    stmt.conn = &conn;
    stmt.apd = &apd;
    stmt.paramsetSize = kRows;
    stmt.paramCount = 5;
    stmt.paramDescs = descs;
    ids.resize(kRows);
    names.resize(kRows * 33);
    nameLen.assign(kRows, SQL_NTS);
    stamps.resize(kRows);
    nums.resize(kRows);
    dates.resize(kRows * 20);
    dateLen.assign(kRows, SQL_NTS);
    for (int i = 0; i < kRows; ++i) {
      ids[i] = i;
      std::snprintf(&names[i * 33], 33, "customer %d", i);
      stamps[i] = SQL_TIMESTAMP_STRUCT{2020, 1, 2, 3, 4, static_cast<SQLUSMALLINT>(i % 60), 500000000};
      nums[i] = SQL_NUMERIC_STRUCT{10, 2, 1, {static_cast<SQLCHAR>(i), static_cast<SQLCHAR>(i >> 8)}};
      std::snprintf(&dates[i * 20], 20, "{d '2001-02-%02d'}", 1 + i % 28);
    }
    auto bind = [&](int16_t cType, int16_t sqlType, int64_t elem, void *data, int64_t bufLen, SQLLEN *len) {
      ParamBinding b{};
      b.number = static_cast<uint16_t>(params.size() + 1);
      b.cType = cType;
      b.elemSize = elem;
      b.sqlType = sqlType;
      b.columnSize = 32;
      b.data = data;
      b.lengthPtr = len;
      b.indicatorPtr = len;
      b.bufferLength = bufLen;
      b.paramType = SQL_PARAM_INPUT;
      params.push_back(b);
    };
    bind(SQL_C_LONG, SQL_INTEGER, 4, ids.data(), 0, nullptr);
    bind(SQL_C_CHAR, SQL_VARCHAR, -3, names.data(), 33, nameLen.data());
    bind(SQL_C_TYPE_TIMESTAMP, SQL_TYPE_TIMESTAMP, 16, stamps.data(), 0, nullptr);
    bind(SQL_C_NUMERIC, SQL_NUMERIC, 19, nums.data(), 0, nullptr);
    bind(SQL_C_CHAR, SQL_TYPE_DATE, -3, dates.data(), 20, dateLen.data());
    shadow.resize(params.size());
    stmt.params = params.data();
    stmt.paramShadow = shadow.data();
    stmt.paramCapacity = static_cast<uint16_t>(params.size());
  }
};

void BM_BuildParamDataset(benchmark::State &state) {
  Fixture f;
  for (auto _ : state) {
    Dataset ds{};
    if (BuildParamDataset(&f.stmt, 1, &ds) != 0) {
      state.SkipWithError("build failed");
      break;
    }
    benchmark::DoNotOptimize(ds.cols);
    DatasetFree(&ds);
  }
  state.SetItemsProcessed(state.iterations() * kRows);
}
BENCHMARK(BM_BuildParamDataset);

}  // namespace
