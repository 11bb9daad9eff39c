// Long data through the Driver Manager on the OCI stand-in, both builds.
//
// - A BLOB of KVD_BENCH_BLOB_MIB MiB (default 100) read in 1 MiB SQLGetData
//   pieces, beside OCILobRead of the same LOB in 1 MiB pieces. Goal: within
//   1.5x of OCILobRead.
// - A multi-byte CLOB of 1 MiB and of 10 MiB read in 4 KiB pieces, with
//   deferred LOBs off (the value held whole in its cell) and on, as
//   SQL_C_CHAR and SQL_C_WCHAR: the cost grows with the value, so 10 MiB costs
//   about ten times 1 MiB.
// - 10 MiB sent as data at execution in 4 KiB SQLPutData pieces, beside one
//   piece. Goal: within 2x of one piece.
// Each reports bytes per second.
#include <benchmark/benchmark.h>
#include <sql.h>
#include <sqlext.h>
#include <sqlucode.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <string>
#include <vector>

#include "common/ocibench.h"
#include "common/odbcbench.h"

namespace {

constexpr size_t kMiB = 1u << 20;

size_t BlobBytes() {
  const char *e = std::getenv("KVD_BENCH_BLOB_MIB");
  const long n = e ? std::atol(e) : 100;
  return static_cast<size_t>(n > 0 ? n : 100) * kMiB;
}

// ASCII with 2-, 3- and 4-byte characters, n bytes.
std::string Mixed(size_t n) {
  static const char *const kParts[] = {"a", "\xC3\xA9", "\xE4\xB8\xAD", "\xF0\x9F\x98\x80", "bc"};
  std::string s;
  s.reserve(n + 4);
  for (size_t i = 0; s.size() < n; ++i) {
    const char *p = kParts[i % 5];
    if (s.size() + strlen(p) > n) p = "z";
    s += p;
  }
  return s;
}

using odbcbench::Die;

// A statement here may touch no row (SQL_NO_DATA).
void Ok(SQLRETURN rc, SQLSMALLINT type, SQLHANDLE h, const char *what) {
  if (!SQL_SUCCEEDED(rc) && rc != SQL_NO_DATA) Die(type, h, what);
}

struct Odbc {
  SQLHENV env = SQL_NULL_HENV;
  SQLHDBC dbc = SQL_NULL_HDBC;
  SQLHSTMT stmt = SQL_NULL_HSTMT;
  explicit Odbc(const char *dsn) {
    SQLAllocHandle(SQL_HANDLE_ENV, SQL_NULL_HANDLE, &env);
    SQLSetEnvAttr(env, SQL_ATTR_ODBC_VERSION, reinterpret_cast<SQLPOINTER>(SQL_OV_ODBC3), 0);
    SQLAllocHandle(SQL_HANDLE_DBC, env, &dbc);
    Ok(SQLConnect(dbc, (SQLCHAR *)dsn, SQL_NTS, (SQLCHAR *)"bench", SQL_NTS, (SQLCHAR *)"bench", SQL_NTS),
       SQL_HANDLE_DBC, dbc, "connect");
    SQLAllocHandle(SQL_HANDLE_STMT, dbc, &stmt);
  }
  ~Odbc() {
    SQLFreeHandle(SQL_HANDLE_STMT, stmt);
    SQLDisconnect(dbc);
    SQLFreeHandle(SQL_HANDLE_DBC, dbc);
    SQLFreeHandle(SQL_HANDLE_ENV, env);
  }
  void Exec(const char *sql) {
    SQLFreeStmt(stmt, SQL_CLOSE);
    Ok(SQLExecDirect(stmt, (SQLCHAR *)sql, SQL_NTS), SQL_HANDLE_STMT, stmt, sql);
  }
  // One value into a LOB column with a bound parameter.
  void Put(const char *sql, const std::string &v, bool binary) {
    SQLFreeStmt(stmt, SQL_CLOSE);
    SQLLEN len = static_cast<SQLLEN>(v.size());
    Ok(SQLBindParameter(stmt, 1, SQL_PARAM_INPUT, binary ? SQL_C_BINARY : SQL_C_CHAR,
                        binary ? SQL_LONGVARBINARY : SQL_LONGVARCHAR, v.size(), 0, const_cast<char *>(v.data()), len,
                        &len),
       SQL_HANDLE_STMT, stmt, "bind");
    Ok(SQLExecDirect(stmt, (SQLCHAR *)sql, SQL_NTS), SQL_HANDLE_STMT, stmt, sql);
    SQLFreeStmt(stmt, SQL_RESET_PARAMS);
  }
  // Reads column 1 of the query's only row in pieces of bufBytes; the bytes
  // handed out.
  size_t ReadPieces(const char *sql, SQLSMALLINT cType, size_t bufBytes, std::vector<char> &buf) {
    Exec(sql);
    Ok(SQLFetch(stmt), SQL_HANDLE_STMT, stmt, "fetch");
    buf.resize(bufBytes);
    const size_t room = bufBytes - (cType == SQL_C_CHAR ? 1 : cType == SQL_C_WCHAR ? 2 : 0);
    size_t total = 0;
    for (;;) {
      SQLLEN ind = 0;
      const SQLRETURN rc = SQLGetData(stmt, 1, cType, buf.data(), static_cast<SQLLEN>(bufBytes), &ind);
      if (rc == SQL_NO_DATA) break;
      Ok(rc, SQL_HANDLE_STMT, stmt, "SQLGetData");
      if (rc == SQL_SUCCESS) {
        total += static_cast<size_t>(ind);
        break;
      }
      total += room;  // about: a piece may end before a character
    }
    SQLFreeStmt(stmt, SQL_CLOSE);
    return total;
  }
};

struct Setup {
  std::string top, dir;
  Setup() {
    dir = ocibench::NewDatabase("kvd_lob_bench", &top);
    const std::string lib = KVD_BUILD_DIR "/lib";
    std::ofstream(top + "/odbcinst.ini") << "[KVDW]\nDriver = " << lib << "/kvd7r22xw.so\nThreading = 0\n"
                                         << "[KVDA]\nDriver = " << lib << "/kvd7r22x.so\nThreading = 0\n";
    std::ofstream ini(top + "/odbc.ini");
    for (const char *build : {"w", "a"})
      for (const char *dlf : {"NO", "YES"})
        ini << "[kvd_" << build << "_" << dlf << "]\nDriver = KVD" << (build[0] == 'w' ? "W" : "A")
            << "\nSQLNETConnect = " << dir << "\nDeferLongFetch = " << dlf << "\n";
    ini.close();
    setenv("ODBCSYSINI", top.c_str(), 1);
    setenv("ODBCINI", (top + "/odbc.ini").c_str(), 1);
    Odbc o("kvd_w_NO");
    o.Exec("create table lt (id number(10), c clob, b blob)");
    for (int id = 1; id <= 4; ++id) o.Exec(("insert into lt (id) values (" + std::to_string(id) + ")").c_str());
    std::string blob(BlobBytes(), '\0');
    for (size_t i = 0; i < blob.size(); ++i) blob[i] = static_cast<char>(i * 7);
    o.Put("update lt set b = ? where id = 1", blob, true);
    o.Put("update lt set c = ? where id = 2", Mixed(kMiB), false);
    o.Put("update lt set c = ? where id = 3", Mixed(10 * kMiB), false);
  }
  ~Setup() { ocibench::RemoveTree(top); }
};

Setup &Env() {
  static Setup s;
  return s;
}

const char *const kDsns[] = {"kvd_a_NO", "kvd_w_NO", "kvd_a_YES", "kvd_w_YES"};

// state.range(0): the DSN.
void BM_BlobSQLGetData1MiB(benchmark::State &state) {
  Env();
  Odbc o(kDsns[state.range(0)]);
  std::vector<char> buf;
  size_t bytes = 0;
  for (auto _ : state) bytes += o.ReadPieces("select b from lt where id = 1", SQL_C_BINARY, kMiB, buf);
  state.SetBytesProcessed(static_cast<int64_t>(bytes));
  state.SetLabel(kDsns[state.range(0)]);
}
BENCHMARK(BM_BlobSQLGetData1MiB)->Arg(0)->Arg(1)->Arg(2)->Arg(3)->Unit(benchmark::kMillisecond);

void BM_BlobOCILobRead1MiB(benchmark::State &state) {
  Setup &s = Env();
  ocibench::OciQuery q;
  if (!q.Open(s.dir, "select b from lt where id = 1")) {
    state.SkipWithError("logon failed");
    return;
  }
  OCILobLocator *loc = nullptr;
  OCIDescriptorAlloc(q.env, reinterpret_cast<void **>(&loc), OCI_DTYPE_LOB, 0, nullptr);
  OCIDefine *def = nullptr;
  OCIDefineByPos(q.st, &def, q.err, 1, &loc, sizeof loc, SQLT_BLOB, nullptr, nullptr, nullptr, OCI_DEFAULT);
  std::vector<char> buf(kMiB);
  size_t bytes = 0;
  for (auto _ : state) {
    if (OCIStmtExecute(q.svc, q.st, q.err, 1, 0, nullptr, nullptr, OCI_DEFAULT) != OCI_SUCCESS) {
      state.SkipWithError("execute failed");
      break;
    }
    for (ub4 offset = 1;;) {
      ub4 amount = static_cast<ub4>(buf.size());
      const sword rc = OCILobRead(q.svc, q.err, loc, &amount, offset, buf.data(), static_cast<ub4>(buf.size()),
                                  nullptr, nullptr, 0, SQLCS_IMPLICIT);
      if ((rc != OCI_SUCCESS && rc != OCI_NEED_DATA) || amount == 0) break;
      bytes += amount;
      offset += amount;
    }
  }
  OCIDescriptorFree(loc, OCI_DTYPE_LOB);
  state.SetBytesProcessed(static_cast<int64_t>(bytes));
}
BENCHMARK(BM_BlobOCILobRead1MiB)->Unit(benchmark::kMillisecond);

// state.range(0): the DSN; range(1): 1 or 10 MiB; range(2): 1 for
// SQL_C_WCHAR.
void BM_ClobGetData4KiB(benchmark::State &state) {
  Env();
  Odbc o(kDsns[state.range(0)]);
  const char *sql = state.range(1) == 1 ? "select c from lt where id = 2" : "select c from lt where id = 3";
  const SQLSMALLINT cType = state.range(2) ? SQL_C_WCHAR : SQL_C_CHAR;
  std::vector<char> buf;
  size_t bytes = 0;
  for (auto _ : state) bytes += o.ReadPieces(sql, cType, 4096, buf);
  state.SetBytesProcessed(static_cast<int64_t>(bytes));
  state.SetLabel(std::string(kDsns[state.range(0)]) + (cType == SQL_C_WCHAR ? " wchar" : " char"));
}
BENCHMARK(BM_ClobGetData4KiB)
    ->ArgsProduct({{0, 1, 2, 3}, {1, 10}, {0, 1}})
    ->Unit(benchmark::kMillisecond);

// state.range(0): the DSN; range(1): the piece size (0: one piece).
void BM_PutData10MiB(benchmark::State &state) {
  Env();
  Odbc o(kDsns[state.range(0)]);
  const std::string value = Mixed(10 * kMiB);
  const size_t piece = state.range(1) ? static_cast<size_t>(state.range(1)) : value.size();
  size_t bytes = 0;
  for (auto _ : state) {
    SQLFreeStmt(o.stmt, SQL_CLOSE);
    SQLLEN atExec = SQL_LEN_DATA_AT_EXEC(static_cast<SQLLEN>(value.size()));
    Ok(SQLBindParameter(o.stmt, 1, SQL_PARAM_INPUT, SQL_C_CHAR, SQL_LONGVARCHAR, value.size(), 0,
                        reinterpret_cast<SQLPOINTER>(1), 0, &atExec),
       SQL_HANDLE_STMT, o.stmt, "bind");
    SQLRETURN rc = SQLExecDirect(o.stmt, (SQLCHAR *)"update lt set c = ? where id = 4", SQL_NTS);
    SQLPOINTER token = nullptr;
    while (rc == SQL_NEED_DATA) {
      rc = SQLParamData(o.stmt, &token);
      if (rc != SQL_NEED_DATA) break;
      for (size_t at = 0; at < value.size(); at += piece) {
        const size_t n = std::min(piece, value.size() - at);
        Ok(SQLPutData(o.stmt, const_cast<char *>(value.data() + at), static_cast<SQLLEN>(n)), SQL_HANDLE_STMT,
           o.stmt, "SQLPutData");
      }
    }
    Ok(rc, SQL_HANDLE_STMT, o.stmt, "execute");
    SQLFreeStmt(o.stmt, SQL_RESET_PARAMS);
    bytes += value.size();
  }
  state.SetBytesProcessed(static_cast<int64_t>(bytes));
  state.SetLabel(kDsns[state.range(0)]);
}
BENCHMARK(BM_PutData10MiB)->ArgsProduct({{0, 1}, {4096, 0}})->Unit(benchmark::kMillisecond);

}  // namespace
