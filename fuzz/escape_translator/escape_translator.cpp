// The agent's request builder: escape translation, marker counting and the
// statement classifier, on any text, with both EMPTY_STRING_ISNT_NULL
// settings and without translation.
#include <cstdint>
#include <cstring>
#include <string>

#include "drv_ora8/o-sql.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
  const std::string text(reinterpret_cast<const char *>(data), strnlen(reinterpret_cast<const char *>(data), size));
  for (int mode = 0; mode < 3; ++mode) {
    SqlRequest req{};
    const int rc = mode == 2 ? RequestNoScan(&req, text.c_str()) : Request(&req, text.c_str(), mode == 1);
    if (rc == 0) Request_Classify(&req);
    SqlRequest_Free(&req);
  }
  return 0;
}
