#include "util/utalloc.h"

#include <cstdlib>
#include <cstring>

#include "util/log.h"

void *s_alloc(size_t count, size_t size) {
  if (count == 0 || size == 0) count = size = 1;  // never a zero-size block
  void *p = calloc(count, size);
  if (p == nullptr) {
    log_msg(LOG_ERR, __FILE__, 44, "s_alloc: out of memory");
    s_exit(1);
  }
  return p;
}

char *s_strdup(const char *text) {
  size_t n = strlen(text) + 1;
  char *p = static_cast<char *>(s_alloc(n, 1));
  memcpy(p, text, n);
  return p;
}

void s_exit(int status) { exit(status); }
