// Minimal logger body: standard error only. The full sink machinery replaces it.
#include "util/log.h"

#include <cstring>

int log_msg(int level, const char *file, int line, const char *format, ...) {
  va_list ap;
  va_start(ap, format);
  log_vprintf(level, file, line, 1, format, ap);
  va_end(ap);
  return 0;
}

int log_vprintf(int level, const char *file, int line, uint32_t, const char *format, va_list args) {
  vfprintf(stderr, format, args);
  fputc('\n', stderr);
  return 0;
}
