#include "util/strutil.h"

#include <fcntl.h>
#include <unistd.h>

#include <cctype>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <mutex>

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

// Entry texts that env_set_private allocated. Only these are freed when an
// entry is replaced or removed: the application may have added entries of its
// own with setenv since, whose memory the C library keeps track of.
struct OwnedTexts {
  char **items = nullptr;
  size_t count = 0, capacity = 0;

  bool Add(char *text) {
    if (count == capacity) {
      size_t cap = capacity == 0 ? 64 : capacity * 2;
      auto **grown = static_cast<char **>(realloc(items, cap * sizeof(char *)));
      if (grown == nullptr) return false;
      items = grown;
      capacity = cap;
    }
    items[count++] = text;
    return true;
  }
  void Release(char *text) {
    for (size_t i = 0; i < count; ++i) {
      if (items[i] == text) {
        items[i] = items[--count];
        free(text);
        return;
      }
    }
  }
};
OwnedTexts g_ownedEnv;

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
  // The array this function made and may grow. The C library's setenv keeps
  // its own array and grows it with realloc whenever it adds an entry, so an
  // array that is not ours is never reallocated or freed here: once the
  // application's setenv has moved the environment to the library's array,
  // the entries are copied into a new array of ours first.
  static char **ownArray = nullptr;
  static bool replaced = false;
  if (replaced && environ != ownArray) {
    size_t count = 0;
    while (environ != nullptr && environ[count] != nullptr) ++count;
    auto **copy = static_cast<char **>(calloc(count + 1, sizeof(char *)));
    if (copy == nullptr) return -1;
    if (count > 0) memcpy(copy, environ, count * sizeof(char *));
    free(ownArray);  // nothing points to it since the library copied it
    environ = ownArray = copy;
  }
  if (!replaced) {
    size_t count = 0;
    while (environ != nullptr && environ[count] != nullptr) ++count;
    auto **copy = static_cast<char **>(calloc(count + 1, sizeof(char *)));
    if (copy == nullptr) return -1;
    for (size_t i = 0; i < count; ++i) {
      copy[i] = strdup(environ[i]);
      if (copy[i] == nullptr || !g_ownedEnv.Add(copy[i])) {
        free(copy[i]);
        for (size_t j = 0; j < i; ++j) g_ownedEnv.Release(copy[j]);
        free(copy);
        return -1;
      }
    }
    environ = ownArray = copy;
    replaced = true;
  }
  const size_t nlen = strlen(name);
  size_t count = 0, found = SIZE_MAX;
  for (; environ[count] != nullptr; ++count) {
    if (found != SIZE_MAX) continue;
    const char *e = environ[count];
    size_t i = 0;
    while (i < nlen && e[i] != '\0' && Upper(e[i]) == Upper(name[i])) ++i;
    if (i == nlen && e[i] == '=') found = count;
  }
  if (value != nullptr && *value != '\0') {
    char entry[1024];
    snprintf(entry, sizeof entry, "%s=%s", name, value);
    char *text = strdup(entry);
    if (text == nullptr) return -1;
    if (!g_ownedEnv.Add(text)) {
      free(text);
      return -1;
    }
    if (found != SIZE_MAX) {
      g_ownedEnv.Release(environ[found]);
      environ[found] = text;
      return 0;
    }
    auto **grown = static_cast<char **>(realloc(environ, (count + 2) * sizeof(char *)));
    if (grown == nullptr) {
      g_ownedEnv.Release(text);
      return -1;
    }
    grown[count] = text;
    grown[count + 1] = nullptr;
    environ = ownArray = grown;
    return 0;
  }
  if (found != SIZE_MAX) {
    g_ownedEnv.Release(environ[found]);
    memmove(&environ[found], &environ[found + 1], (count - found) * sizeof(char *));
  }
  return 0;
}
