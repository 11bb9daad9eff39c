#include "util/strutil.h"

#include <fcntl.h>
#include <unistd.h>

#include <cctype>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <mutex>
#include <vector>

extern char **environ;

namespace {

inline bool IsSpace(char c) { return isspace(static_cast<unsigned char>(c)) != 0; }
inline int Upper(char c) { return toupper(static_cast<unsigned char>(c)); }

size_t TextLength(const char *text, int n) {
  if (text == nullptr) return 0;
  return n == STR_NTS || n < 0 ? strlen(text) : static_cast<size_t>(n);
}

char *CopyBytes(const char *text, size_t len) {
  auto *p = static_cast<char *>(malloc(len + 1));
  if (p == nullptr) return nullptr;
  if (len > 0) memcpy(p, text, len);
  p[len] = '\0';
  return p;
}

bool IsQuote(char c) { return c == '\'' || c == '"'; }


}  // namespace

const char *str_find_nocase(const char *text, const char *word) {
  if (text == nullptr || word == nullptr) return nullptr;
  const size_t wlen = strlen(word);
  for (const char *p = text;; ++p) {
    size_t i = 0;
    while (i < wlen && p[i] != '\0' && Upper(p[i]) == Upper(word[i])) ++i;
    if (i == wlen) return p;
    if (*p == '\0') return nullptr;
  }
}

const char *str_keyword(const char *keyword, const char *text) {
  if (keyword == nullptr || text == nullptr) return nullptr;
  const char *p = str_skip_blanks(text);
  for (const char *k = keyword; *k != '\0'; ++k, ++p)
    if (*p == '\0' || Upper(*p) != Upper(*k)) return nullptr;
  if (*p == '\0') return p;
  if (!IsSpace(*p)) return nullptr;
  return str_skip_blanks(p);
}

const char *str_skip_blanks(const char *text) {
  while (*text != '\0' && IsSpace(*text)) ++text;
  return text;
}

char *str_trim_right(char *text) {
  if (text == nullptr) return nullptr;
  char *last = nullptr;
  for (char *p = text; *p != '\0'; ++p)
    if (!IsSpace(*p)) last = p;
  if (last == nullptr) {
    *text = '\0';
    return nullptr;
  }
  last[1] = '\0';
  return last;
}

char *str_copy_end(char *dest, const char *text) {
  while ((*dest = *text) != '\0') {
    ++dest;
    ++text;
  }
  return dest;
}

int str_copy_len(char **out, const char *text, int n) {
  *out = CopyBytes(text != nullptr ? text : "", TextLength(text, n));
  return 0;
}

int str_copy_unquoted(char **out, const char *text, int n) {
  size_t len = TextLength(text, n);
  if (len > 1 && IsQuote(text[0]) && text[len - 1] == text[0]) {
    *out = CopyBytes(text + 1, len - 2);
    return 0;
  }
  *out = CopyBytes(text != nullptr ? text : "", len);
  return 0;
}

char *str_quote(const char *text, int n, char quote) {
  size_t len = TextLength(text, n);
  if (quote == ' ') return CopyBytes(text != nullptr ? text : "", len);
  auto *p = static_cast<char *>(malloc(len + 3));
  if (p == nullptr) return nullptr;
  p[0] = quote;
  if (len > 0) memcpy(p + 1, text, len);
  p[len + 1] = quote;
  p[len + 2] = '\0';
  return p;
}

char *str_unquote(const char *text, int n, char quote) {
  if (text == nullptr) return CopyBytes("", 0);
  size_t len = TextLength(text, n);
  if (quote != ' ' && len > 1 && text[0] == quote && text[len - 1] == quote) return CopyBytes(text + 1, len - 2);
  return CopyBytes(text, len);
}

char *path_set_ext(const char *path, const char *ext, int mode) {
  static char buffer[260];
  size_t len = strlen(path);
  if (len > sizeof buffer - 1) len = sizeof buffer - 1;
  memcpy(buffer, path, len);
  buffer[len] = '\0';
  char *name = strrchr(buffer, '/');
  name = name != nullptr ? name + 1 : buffer;
  char *dot = strrchr(name, '.');
  if (dot == name) dot = nullptr;
  if (mode == PATH_EXT_REMOVE) {
    if (dot != nullptr) *dot = '\0';
  } else if (mode == PATH_EXT_REPLACE || (mode == PATH_EXT_ADD && dot == nullptr)) {
    char *end = dot != nullptr ? dot : buffer + len;
    size_t room = sizeof buffer - 1 - static_cast<size_t>(end - buffer);
    if (room > 0) {
      *end++ = '.';
      --room;
      size_t elen = strlen(ext);
      if (elen > room) elen = room;
      memcpy(end, ext, elen);
      end[elen] = '\0';
    } else {
      *end = '\0';
    }
  }
  return buffer;
}

void program_name_from_command_line(const char *commandLine, char *out, size_t outSize) {
  if (outSize == 0) return;
  const char *start = strrchr(commandLine, '/');
  start = start != nullptr ? start + 1 : commandLine;
  const char *end = strrchr(start, '.');
  if (end == nullptr) end = strchr(start, ' ');
  if (end == nullptr) end = start + strlen(start);
  size_t len = static_cast<size_t>(end - start);
  if (len > 254) len = 254;
  if (len > outSize - 1) len = outSize - 1;
  for (size_t i = 0; i < len; ++i) out[i] = static_cast<char>(Upper(start[i]));
  out[len] = '\0';
  if (strcmp(out, "KRNL386") == 0) snprintf(out, outSize, "WOW");
  if (out[0] == '\0') snprintf(out, outSize, "Unknown");
}

const char *get_program_name() {
  static char name[256];
  static std::once_flag once;
  std::call_once(once, [] {
    // The command line: program and arguments separated by blanks.
    char cmd[4096];
    size_t len = 0;
    int fd = open("/proc/self/cmdline", O_RDONLY | O_CLOEXEC);
    if (fd >= 0) {
      ssize_t n;
      while (len < sizeof cmd - 1 && (n = read(fd, cmd + len, sizeof cmd - 1 - len)) > 0) len += static_cast<size_t>(n);
      close(fd);
    }
    while (len > 0 && cmd[len - 1] == '\0') --len;
    for (size_t i = 0; i < len; ++i)
      if (cmd[i] == '\0') cmd[i] = ' ';
    cmd[len] = '\0';
    program_name_from_command_line(cmd, name, sizeof name);
  });
  return name;
}

int env_set_private(const char *name, const char *value) {
  // Other threads may read the environment (getenv) at any time, a connect
  // setting ORACLE_SID among them. So an entry changes only when it differs;
  // a change publishes a new array of ours; and no array or entry text that
  // a reader may still hold is written or freed (the few retired ones stay
  // allocated). An array that is not ours (the C library's setenv grows its
  // own with realloc) is only read.
  static std::mutex lock;
  std::lock_guard<std::mutex> guard(lock);
  char **env = __atomic_load_n(&environ, __ATOMIC_ACQUIRE);
  const size_t nlen = strlen(name);
  size_t count = 0, found = SIZE_MAX;
  for (; env != nullptr && env[count] != nullptr; ++count) {
    if (found != SIZE_MAX) continue;
    const char *e = env[count];
    size_t i = 0;
    while (i < nlen && e[i] != '\0' && Upper(e[i]) == Upper(name[i])) ++i;
    if (i == nlen && e[i] == '=') found = count;
  }
  const bool set = value != nullptr && *value != '\0';
  char entry[1024];
  if (set) {
    snprintf(entry, sizeof entry, "%s=%s", name, value);
    // The names match in any case: the value decides.
    if (found != SIZE_MAX && strcmp(env[found] + nlen + 1, entry + nlen + 1) == 0) return 0;
  } else if (found == SIZE_MAX) {
    return 0;
  }
  auto **copy = static_cast<char **>(calloc(count + 2, sizeof(char *)));
  if (copy == nullptr) return -1;
  char *text = nullptr;
  if (set && (text = strdup(entry)) == nullptr) {
    free(copy);
    return -1;
  }
  size_t n = 0;
  for (size_t i = 0; i < count; ++i) {
    if (i != found)
      copy[n++] = env[i];
    else if (text != nullptr)
      copy[n++] = text;
  }
  if (text != nullptr && found == SIZE_MAX) copy[n++] = text;
  copy[n] = nullptr;
  // Ours from now on, and kept reachable once replaced (with the texts it
  // points to) for the readers that may still hold it.
  static auto *arrays = new std::vector<char **>;  // never destroyed: outlives every reader
  arrays->push_back(copy);
  __atomic_store_n(&environ, copy, __ATOMIC_RELEASE);
  return 0;
}
