// The connection-string reader: every item of any text, each value written
// back the way the driver writes its output string, and the password mask
// of traces.
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <string>

#include "odbc/connattr.h"
#include "util/mpl.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
  const std::string text(reinterpret_cast<const char *>(data), strnlen(reinterpret_cast<const char *>(data), size));
  const char *pos = text.c_str();
  MemPool pool;
  mpl_init(&pool);
  char *key = nullptr, *value = nullptr, *raw = nullptr;
  bool quoted = false;
  for (int n = 0; n < 4096 && ConnStrNextItem(&pos, &key, &value, &quoted, &raw); ++n) {
    if (key) ConnStrAppendItem(&pool, key, value);
    free(key);
    free(value);
    free(raw);
    key = value = raw = nullptr;
  }
  mpl_free_all(&pool);
  free(ConnStrMaskPassword(text.c_str()));
  return 0;
}
