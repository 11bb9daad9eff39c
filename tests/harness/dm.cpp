// Driver Manager set-up with private ini files (see harness.h).
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <mutex>

#include "harness.h"

namespace harness {
namespace {

struct Dir {
  DmFiles files;
  ~Dir() {
    // Only the process that made the directory removes it (a forked child
    // that exits must leave it to its parent).
    if (!files.dir.empty() && owner == getpid()) {
      std::error_code ec;
      std::filesystem::remove_all(files.dir, ec);
    }
  }
  pid_t owner = 0;
};

std::mutex g_mu;
Dir g_dir;

const std::vector<Dsn> &StandardDsns() {
  static const std::vector<Dsn> dsns = {
      {"kvd_fake_w", kDmFakeUnicode, {}},
      {"kvd_fake_a", kDmFakeAnsi, {}},
      {"kvd_w", kDmUnicode, {}},
      {"kvd_a", kDmAnsi, {}},
  };
  return dsns;
}

void WriteOdbcinst(const std::string &path) {
  std::ofstream f(path, std::ios::trunc);
  f << "[ODBC]\nTrace = No\n\n";
  const std::pair<const char *, std::string> drivers[] = {
      {kDmFakeUnicode, DriverPath(kUnicode, kFake)},
      {kDmFakeAnsi, DriverPath(kAnsi, kFake)},
      {kDmUnicode, DriverPath(kUnicode, kReal)},
      {kDmAnsi, DriverPath(kAnsi, kReal)},
  };
  for (auto &d : drivers) {
    f << "[" << d.first << "]\n"
      << "Description = " << d.first << " ODBC driver for Oracle\n"
      << "Driver = " << d.second << "\n"
      << "Threading = 0\n\n";
  }
}

void WriteOdbcini(const std::string &path, const std::vector<Dsn> &extra) {
  std::ofstream f(path, std::ios::trunc);
  auto put = [&f](const Dsn &d) {
    f << "[" << d.name << "]\n"
      << "Driver = " << d.driver << "\n";
    for (auto &a : d.attrs) f << a.first << " = " << a.second << "\n";
    f << "\n";
  };
  for (auto &d : StandardDsns()) put(d);
  for (auto &d : extra) put(d);
}

// In a sanitizer build the drivers need the sanitizer's runtime loaded first:
// the programs the tests start (python3, isql, sh) get it preloaded. Their
// own leaks at exit are not the driver's, so only this process (whose options
// were read at its start) checks for leaks. libstdc++ is preloaded beside the
// runtime: python3 does not link it, and the runtime must find its
// __cxa_throw at start or the stand-in's first C++ exception aborts. The
// runtime's string checks stay off there: iusql itself copies overlapping
// strings.
void PreloadSanitizer() {
#ifdef KVD_SANITIZER_RUNTIME
  if (!*KVD_SANITIZER_RUNTIME) return;
  setenv("LD_PRELOAD", (std::string(KVD_SANITIZER_RUNTIME) + " libstdc++.so.6").c_str(), 1);
  const char *old = std::getenv("ASAN_OPTIONS");
  std::string opts = std::string(old && *old ? old : "") + (old && *old ? ":" : "") + "detect_leaks=0:replace_str=0:intercept_strlen=0:intercept_strchr=0:intercept_strndup=0";
  setenv("ASAN_OPTIONS", opts.c_str(), 1);
#endif
}

// The private directory, made on first use; called under g_mu.
void MakeDir() {
  if (g_dir.files.dir.empty()) {
    const char *tmp = std::getenv("TMPDIR");
    std::string tmpl = std::string(tmp && *tmp ? tmp : "/tmp") + "/kvd-odbc-XXXXXX";
    if (!mkdtemp(tmpl.data())) {
      std::perror("harness: mkdtemp");
      std::abort();
    }
    g_dir.owner = getpid();
    g_dir.files.dir = tmpl;
    g_dir.files.odbcinst = tmpl + "/odbcinst.ini";
    g_dir.files.odbcini = tmpl + "/odbc.ini";
    WriteOdbcinst(g_dir.files.odbcinst);
    setenv("ODBCSYSINI", g_dir.files.dir.c_str(), 1);
    setenv("ODBCINSTINI", "odbcinst.ini", 1);
    setenv("ODBCINI", g_dir.files.odbcini.c_str(), 1);
    PreloadSanitizer();
  }
}

}  // namespace

const DmFiles &DmInit(const std::vector<Dsn> &extra) {
  std::lock_guard<std::mutex> lock(g_mu);
  MakeDir();
  WriteOdbcini(g_dir.files.odbcini, extra);
  return g_dir.files;
}

std::string AdminDatabase(const std::string &name, const std::vector<std::string> &statements) {
  std::string d;
  {
    std::lock_guard<std::mutex> lock(g_mu);
    MakeDir();
    d = g_dir.files.dir + "/" + name;
  }
  const std::string tool = std::string(KVD_BUILD_DIR) + "/bin/ocilite-admin";
  auto run = [&](const std::string &args) {
    const std::string cmd = "'" + tool + "' " + args + " >/dev/null";
    if (std::system(cmd.c_str()) == 0) return true;
    std::fprintf(stderr, "harness: failed: %s\n", cmd.c_str());
    return false;
  };
  std::error_code ec;
  std::filesystem::remove_all(d, ec);
  if (!run("create '" + d + "'") || !run("adduser '" + d + "' scott tiger")) return "";
  for (const std::string &sql : statements)
    if (!run("sql '" + d + "' scott tiger \"" + sql + "\"")) return "";
  return d;
}

std::vector<DiagRec> DmDiags(SQLSMALLINT type, SQLHANDLE h) {
  std::vector<DiagRec> out;
  for (SQLSMALLINT i = 1;; ++i) {
    DiagRec r;
    SQLCHAR state[6] = {}, msg[4096] = {};
    SQLSMALLINT len = 0;
    if (!SQL_SUCCEEDED(SQLGetDiagRec(type, h, i, state, &r.native, msg, sizeof msg, &len))) break;
    r.state = reinterpret_cast<char *>(state);
    r.message = reinterpret_cast<char *>(msg);
    out.push_back(r);
  }
  return out;
}

std::string DmDiagText(SQLSMALLINT type, SQLHANDLE h) {
  std::string t;
  for (auto &r : DmDiags(type, h)) t += (t.empty() ? "" : "; ") + r.state + ": " + r.message;
  return t;
}

}  // namespace harness
