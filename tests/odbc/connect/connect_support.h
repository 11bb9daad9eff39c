#pragma once
// In-process tests of the connect front end: the driver's code linked into
// the test, the scripted fake agent behind ORA_Register, and a private
// odbc.ini (with File DSNs) that the installer library reads.
#include <sql.h>
#include <sqlext.h>
#include <sqlucode.h>

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "fake.h"
#include "odbc/dispatch.h"
#include "odbc/objects.h"

namespace ct {

// The private data-source files, made once per process before the first
// installer call: odbc.ini (DSNs below), and File DSNs in the same folder.
//
//   kvd_full      every value name set (UID dsnuser, PWD dsnpass, FBS 0, ...)
//   kvd_lastuser  LastUser only (lastguy), PWD lastpass
//   kvd_nlb       NoLoginBox yes, UID nlbuser, LastUser other
//   kvd_long      values longer than their maximum lengths
//   kvd_utf8      UID with non-ASCII letters
//   kvd_minimal   no values at all
//   Default       PWD defpass, FBS 25, LastUser notthis (no UID)
//   file.dsn      [ODBC] UID fileuser, PWD filepass, FBS 77, FetchBufferSize 99
//   lastuser.dsn  [ODBC] LastUser nope, FBS 5
const std::string &FixtureDir();
std::string FileDsn(const char *name);

// One diagnostic record.
struct Diag {
  std::string state;
  SQLINTEGER native = 0;
  std::string message;
};
std::vector<Diag> Diags(SQLSMALLINT type, SQLHANDLE h);
std::string DiagText(SQLSMALLINT type, SQLHANDLE h);

Conn *ConnOf(SQLHDBC dbc);
Stmt *StmtOf(SQLHSTMT stmt);
SQLHENV NewEnv(SQLINTEGER version = SQL_OV_ODBC3);
SQLHDBC NewDbc(SQLHENV env);

// SQLDriverConnect / SQLDriverConnectW with UTF-8 texts.
SQLRETURN DriverConnect(SQLHDBC dbc, const std::string &in, std::string *out = nullptr, SQLSMALLINT outMax = 2048,
                        SQLSMALLINT *outLen = nullptr, SQLUSMALLINT completion = SQL_DRIVER_NOPROMPT,
                        SQLHWND window = nullptr);
SQLRETURN DriverConnectW(SQLHDBC dbc, const std::string &in, std::string *out = nullptr, SQLSMALLINT outMax = 2048,
                         SQLSMALLINT *outLen = nullptr, SQLUSMALLINT completion = SQL_DRIVER_NOPROMPT,
                         SQLHWND window = nullptr);

std::basic_string<SQLWCHAR> ToW(const std::string &utf8);
std::string FromW(const SQLWCHAR *s, size_t units);

// A fresh ODBC layer and fake agent for every test; the attribute table and
// the scripted login answer are cleared.
struct ConnectTest : ::testing::Test {
  void SetUp() override;
  void TearDown() override;
  SQLHENV env = SQL_NULL_HENV;
  SQLHDBC dbc = SQL_NULL_HDBC;
};

}  // namespace ct
