// The expansion of configured trace file names ($$, $H, $P, $T, $U and
// anything else after a "$"), for both trace kinds.
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <string>

#include "odbc/trace.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
  const std::string name(reinterpret_cast<const char *>(data), strnlen(reinterpret_cast<const char *>(data), size));
  free(TraceExpandName(name.c_str(), TRACE_ODBC));
  free(TraceExpandName(name.c_str(), TRACE_XA));
  return 0;
}
