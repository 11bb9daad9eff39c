#pragma once
// What the benchmarks through the Driver Manager share: a failed call ends
// the run with its first diagnostic.
#include <sql.h>

#include <cstdio>
#include <cstdlib>

namespace odbcbench {

[[noreturn]] inline void Die(SQLSMALLINT type, SQLHANDLE h, const char *what) {
  SQLCHAR state[6] = {}, text[512] = {};
  SQLINTEGER native = 0;
  SQLSMALLINT len = 0;
  SQLGetDiagRec(type, h, 1, state, &native, text, sizeof text, &len);
  std::fprintf(stderr, "%s failed: %s %s\n", what, state, text);
  std::exit(1);
}

inline void Ok(SQLRETURN rc, SQLSMALLINT type, SQLHANDLE h, const char *what) {
  if (!SQL_SUCCEEDED(rc)) Die(type, h, what);
}

}  // namespace odbcbench
