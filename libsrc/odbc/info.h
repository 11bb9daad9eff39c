#pragma once
// Driver information: SQLGetInfo with the connection's answer caches, and
// SQLGetFunctions.
//
// SQLGetFunctions claims a function only when the driver really implements
// it. Implementations not built yet are the weak "Driver not capable"
// bodies of apirec.cpp / data/services.cpp, which cannot be told apart from
// the real ones at run time, so the claim comes from one table here
// (g_apiFunctions). A test compares the table with the strong definitions
// in the built library: whoever builds one of the listed implementations
// sets its entry's `implemented` to true.
//
// Claiming too much is not harmless: the Driver Manager turns off only what
// is not claimed and then calls the rest directly.
#include <sql.h>

#include <cstdint>

#include "odbc/dispatch.h"

struct Conn;

// One ODBC function the driver exports.
struct ApiFunction {
  uint16_t id;          // SQL_API_*
  const char *name;     // "SQLGetInfo"
  // The dispatcher implementations behind it, space-separated, without the
  // "odbc_" prefix; "" for SQLCancel, which runs outside the dispatcher.
  const char *impls;
  bool implemented;     // every implementation above is built
};

extern const ApiFunction g_apiFunctions[];
extern const int g_apiFunctionCount;

// SQL_TRUE when the function id is one the driver implements.
bool ApiFunctionSupported(unsigned id);

// ---- SQLGetInfo --------------------------------------------------------------

// Which cache and agent code serve an information type.
enum InfoKindOf : int {
  INFOK_NONE = 0,   // not an information type of this driver
  INFOK_SHORT = 1,  // 16-bit answer, 16-bit cache
  INFOK_INT = 2,    // 32-bit answer, 32-bit cache
  INFOK_TEXT = 3,   // string answer, string cache (SQL_DATABASE_NAME uncached)
};

// The kind of an information type and its slot in the cache of that kind
// (-1 for INFOK_NONE).
InfoKindOf InfoTypeKind(uint16_t type, int *slot);

// True when the connection's conversion table is loaded and has a row for the
// default C type of sqlType (in the environment's ODBC version) whose mask
// shares a bit with mask.
bool ConnTypeConvertible(const Conn *conn, int16_t sqlType, uint32_t mask);

SQLRETURN odbc_GetInfo(void *object, const ApiArgs &args);
SQLRETURN odbc_GetFunctions(void *object, const ApiArgs &args);
