#pragma once
// Test harness for the built drivers. Two ways in, as the drivers are used:
//
// 1. Direct load (target kvd_harness; no libodbc): the test dlopens a driver
//    library and calls its exported functions as a Driver Manager would. The
//    Driver Manager answers some errors itself and serialises some calls, so
//    the driver's own behaviour (handle checks, busy rule, diagnostics) is
//    tested this way.
//
//      harness::Driver drv(harness::DriverPath(harness::kUnicode, harness::kFake));
//      ASSERT_TRUE(drv.ok()) << drv.error();
//      SQLHENV env = drv.AllocEnv();                 // ODBC 3 environment
//      SQLHDBC dbc = drv.AllocDbc(env);
//      SQLRETURN rc = drv.Connect(dbc, "kvd_fake_w", "scott", "tiger");
//      auto recs = drv.Diags(SQL_HANDLE_DBC, dbc);   // SQLGetDiagRec(W) 1..n
//      auto fetch = KVD_FN(drv, SQLFetch);           // any export, typed by sql.h
//      rc = fetch(stmt);
//
//    Text arguments are UTF-8 std::strings; the helpers call the W entry
//    point on the Unicode driver and the narrow one on the ANSI driver.
//    The fake drivers share the script of the fake agent (tests/fake/fake.h)
//    with a test that links the target kvdfake.
//
// 2. Driver Manager (target kvd_harness_dm; links libodbc): DmInit() makes a
//    private temporary directory with odbcinst.ini (the four drivers
//    registered by full path, Threading = 0 so that the Driver Manager adds no
//    locking of its own) and odbc.ini (the DSNs below plus any given), and
//    points ODBCSYSINI and ODBCINI at it. Call it before the first libodbc
//    call of the process (for example at the top of each test; later calls
//    only add DSNs). Then use libodbc's SQL functions as an application would;
//    DmDiags() reads its diagnostics.
//
//      harness::DmInit();
//      SQLAllocHandle(SQL_HANDLE_ENV, SQL_NULL_HANDLE, &env); ...
//      SQLConnect(dbc, (SQLCHAR *)"kvd_fake_w", SQL_NTS, ...);
//
//    Drivers (odbcinst.ini)   DSNs (odbc.ini)
//    kDmFakeUnicode           kvd_fake_w   build/lib/kvd7r22xw_fake.so
//    kDmFakeAnsi              kvd_fake_a   build/lib/kvd7r22x_fake.so
//    kDmUnicode               kvd_w        build/lib/kvd7r22xw.so
//    kDmAnsi                  kvd_a        build/lib/kvd7r22x.so
//
// 3. pyodbc (executable target kvd_pyrun): `kvd_pyrun script.py [args]` runs
//    /usr/bin/python3 with the same private ini files (DmInit) in its
//    environment, plus KVD_BUILD_DIR and KVD_SOURCE_DIR, and exits with the
//    script's status. Register a script as a CTest test with
//      add_test(NAME my_py COMMAND kvd_pyrun ${CMAKE_CURRENT_SOURCE_DIR}/my.py)
//    Scripts find the DSN names above; exit status 77 counts as skipped when
//    the test sets SKIP_RETURN_CODE 77. PYTHONPATH holds tests/harness, whose
//    kvd_pyodbc module makes a scratch database, runs with each driver and
//    reports the failures.
#include <sql.h>
#include <sqlext.h>
#include <sqlucode.h>

#include <cstdint>
#include <string>
#include <utility>
#include <vector>

namespace harness {

enum Variant { kUnicode, kAnsi };
enum Agent { kFake, kReal };

// Full path of a built driver library: build/lib/kvd7r22xw[_fake].so, ...
std::string DriverPath(Variant v, Agent a);

// One diagnostic record.
struct DiagRec {
  std::string state;    // five characters
  SQLINTEGER native = 0;
  std::string message;  // UTF-8
};

// UTF-8 <-> UTF-16 (SQLWCHAR) for the W entry points.
std::basic_string<SQLWCHAR> ToW(const std::string &utf8);
std::string FromW(const SQLWCHAR *s, std::size_t units);

// A driver library loaded with dlopen.
class Driver {
 public:
  explicit Driver(const std::string &path);
  ~Driver();  // dlclose: the library's detach runs when nothing else holds it
  Driver(const Driver &) = delete;
  Driver &operator=(const Driver &) = delete;

  bool ok() const { return handle_ != nullptr; }
  const std::string &error() const { return error_; }
  const std::string &path() const { return path_; }
  bool unicode() const { return unicode_; }

  // The address of an exported symbol, or nullptr.
  void *Sym(const char *name) const;
  // A typed exported function; ends the test process with a message when the
  // driver does not export it (use Sym to test for presence).
  template <class F>
  F Fn(const char *name) const {
    return reinterpret_cast<F>(Need(name));
  }

  // Handles. Each returns SQL_NULL_HANDLE when the driver refuses.
  SQLHENV AllocEnv(SQLINTEGER odbcVersion = SQL_OV_ODBC3) const;
  SQLHDBC AllocDbc(SQLHENV env) const;
  SQLHSTMT AllocStmt(SQLHDBC dbc) const;
  SQLRETURN AllocHandle(SQLSMALLINT type, SQLHANDLE in, SQLHANDLE *out) const;
  SQLRETURN FreeHandle(SQLSMALLINT type, SQLHANDLE h) const;

  // Text calls through the form the driver exports.
  SQLRETURN Connect(SQLHDBC dbc, const std::string &dsn, const std::string &uid, const std::string &pwd) const;
  SQLRETURN DriverConnect(SQLHDBC dbc, const std::string &in, std::string *out = nullptr) const;
  SQLRETURN ExecDirect(SQLHSTMT stmt, const std::string &sql) const;
  SQLRETURN Prepare(SQLHSTMT stmt, const std::string &sql) const;

  // Every diagnostic record of a handle (SQLGetDiagRec(W) from 1 until
  // SQL_NO_DATA or an error).
  std::vector<DiagRec> Diags(SQLSMALLINT type, SQLHANDLE h) const;
  // "STATE: message; STATE: message" for failure messages.
  std::string DiagText(SQLSMALLINT type, SQLHANDLE h) const;

 private:
  void *Need(const char *name) const;
  void *handle_ = nullptr;
  std::string path_, error_;
  bool unicode_ = false;
};

// KVD_FN(drv, SQLFetch): the driver's SQLFetch, typed by its sql.h prototype.
#define KVD_FN(drv, name) (drv).Fn<decltype(&::name)>(#name)

// ---- Driver Manager (kvd_harness_dm) ---------------------------------------

constexpr const char *kDmFakeUnicode = "KVD Fake Unicode";
constexpr const char *kDmFakeAnsi = "KVD Fake ANSI";
constexpr const char *kDmUnicode = "KVD Unicode";
constexpr const char *kDmAnsi = "KVD ANSI";

struct Dsn {
  std::string name;
  std::string driver;  // a driver name of odbcinst.ini (kDm*)
  std::vector<std::pair<std::string, std::string>> attrs;
};

struct DmFiles {
  std::string dir, odbcinst, odbcini;
};

// Creates the private ini files once per process and sets ODBCSYSINI and
// ODBCINI; every call (re)writes odbc.ini with the standard DSNs and extra.
// The directory is removed at process exit.
const DmFiles &DmInit(const std::vector<Dsn> &extra = {});

// A database of the OCI stand-in made with its admin tool in the private
// directory (so removed with it at exit): user scott/tiger, then each
// statement run as scott. Its directory, for a DSN's SQLNETConnect; an
// empty text when a step failed (the failing command goes to stderr).
std::string AdminDatabase(const std::string &name, const std::vector<std::string> &statements);

// The diagnostic records of a handle through libodbc's SQLGetDiagRec.
std::vector<DiagRec> DmDiags(SQLSMALLINT type, SQLHANDLE h);
std::string DmDiagText(SQLSMALLINT type, SQLHANDLE h);

}  // namespace harness
