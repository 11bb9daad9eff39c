// TEMPORARY stand-in for SQLGetFunctions, kept here only until the driver
// information module (SQLGetInfo / SQLGetFunctions) is built; that module
// replaces this file (delete it when adding the real odbc_GetFunctions).
//
// It is needed as soon as connections open: after a successful connect
// unixODBC asks SQLGetFunctions(SQL_API_ODBC3_ALL_FUNCTIONS), and when that
// fails it asks function by function and then calls through the entry of
// SQLGetFunctions itself after having cleared it, crashing the application.
// The list is the driver's fixed list of supported functions.
#include <sql.h>
#include <sqlext.h>

#include <cstring>

#include "odbc/apirec.h"

namespace {

constexpr bool Supported(unsigned id) {
  if (id >= 1 && id <= 24) return true;
  if (id >= 40 && id <= 68) return id != 55 && id != 57;
  if (id == 70 || id == 72) return true;
  if (id == 1001) return true;
  if (id >= 1003 && id <= 1021) return id != 1013 && id != 1015;
  return false;
}

}  // namespace

SQLRETURN odbc_GetFunctions(void *, const ApiArgs &args) {
  const uint16_t id = args.u16(0);
  auto *out = args.ptr<SQLUSMALLINT>(1);
  if (out == nullptr) return SQL_SUCCESS;
  if (id == SQL_API_ALL_FUNCTIONS) {
    for (unsigned i = 0; i < 100; ++i) out[i] = Supported(i) ? 1 : 0;
  } else if (id == SQL_API_ODBC3_ALL_FUNCTIONS) {
    memset(out, 0, SQL_API_ODBC3_ALL_FUNCTIONS_SIZE * sizeof(SQLUSMALLINT));
    for (unsigned i = 0; i < SQL_API_ODBC3_ALL_FUNCTIONS_SIZE * 16; ++i)
      if (Supported(i)) out[i >> 4] = static_cast<SQLUSMALLINT>(out[i >> 4] | (1u << (i & 15)));
  } else {
    *out = Supported(id) ? 1 : 0;
  }
  return SQL_SUCCESS;
}
