// The login prompt on the controlling terminal.
#include "tvxlogin.h"

#include <fcntl.h>
#include <strings.h>
#include <termios.h>
#include <unistd.h>

#include <cstdlib>
#include <cstring>
#include <string>

namespace {

// The value of a keyword in a connection string ("" when absent); values
// may be written in braces with "}}" for "}".
std::string FindValue(const char *text, const char *keyword) {
  std::string found;
  const char *p = text;
  while (p != nullptr && *p != '\0') {
    const char *eq = p;
    while (*eq != '\0' && *eq != ';' && *eq != '=') ++eq;
    if (*eq != '=') {
      p = *eq == ';' ? eq + 1 : eq;
      continue;
    }
    const bool match = strlen(keyword) == static_cast<size_t>(eq - p) && strncasecmp(p, keyword, eq - p) == 0;
    std::string value;
    const char *v = eq + 1;
    if (*v == '{') {
      ++v;
      while (*v != '\0') {
        if (*v == '}') {
          if (v[1] != '}') {
            ++v;
            break;
          }
          ++v;
        }
        value += *v++;
      }
      while (*v != '\0' && *v != ';') ++v;
    } else {
      while (*v != '\0' && *v != ';') value += *v++;
    }
    if (match) found = value;  // the last occurrence wins
    p = *v == ';' ? v + 1 : v;
  }
  return found;
}

// The items of a connection string other than UID and PWD, as written.
std::string WithoutLogin(const char *text) {
  std::string out;
  const char *p = text;
  while (*p != '\0') {
    const char *start = p;
    const char *eq = p;
    while (*eq != '\0' && *eq != ';' && *eq != '=') ++eq;
    const char *end = eq;
    if (*eq == '=') {
      end = eq + 1;
      if (*end == '{') {
        ++end;
        while (*end != '\0' && !(*end == '}' && end[1] != '}')) end += *end == '}' ? 2 : 1;
        if (*end == '}') ++end;
      }
      while (*end != '\0' && *end != ';') ++end;
    }
    const size_t keyLen = static_cast<size_t>(eq - start);
    const bool login = *eq == '=' && ((keyLen == 3 && strncasecmp(start, "UID", 3) == 0) ||
                                      (keyLen == 3 && strncasecmp(start, "PWD", 3) == 0));
    if (!login && end > start) {
      if (!out.empty()) out += ';';
      out.append(start, static_cast<size_t>(end - start));
    }
    p = *end == ';' ? end + 1 : end;
  }
  return out;
}

void AppendItem(std::string &out, const char *key, const std::string &value) {
  if (!out.empty() && out.back() != ';') out += ';';
  out += key;
  out += '=';
  if (value.find_first_of(";{}") == std::string::npos) {
    out += value;
    return;
  }
  out += '{';
  for (char c : value) {
    out += c;
    if (c == '}') out += '}';
  }
  out += '}';
}

char *Dup(const std::string &s) {
  auto *copy = static_cast<char *>(malloc(s.size() + 1));
  if (copy != nullptr) memcpy(copy, s.c_str(), s.size() + 1);
  return copy;
}

void Write(int fd, const std::string &text) {
  size_t done = 0;
  while (done < text.size()) {
    ssize_t n = write(fd, text.data() + done, text.size() - done);
    if (n <= 0) return;
    done += static_cast<size_t>(n);
  }
}

// One line from the terminal without its newline; false at the end of input.
bool ReadLine(int fd, std::string *line) {
  line->clear();
  char c;
  for (;;) {
    ssize_t n = read(fd, &c, 1);
    if (n <= 0) return false;
    if (c == '\n' || c == '\r') return true;
    *line += c;
  }
}

// The terminal: open while in scope, echo switched off on request and back
// on at the end.
struct Terminal {
  int fd = -1;
  bool echoOff = false;
  termios saved{};
  Terminal() { fd = open("/dev/tty", O_RDWR | O_NOCTTY | O_CLOEXEC); }
  ~Terminal() {
    Echo(true);
    if (fd >= 0) close(fd);
  }
  Terminal(const Terminal &) = delete;
  Terminal &operator=(const Terminal &) = delete;
  void Echo(bool on) {
    if (fd < 0) return;
    if (!on && !echoOff && tcgetattr(fd, &saved) == 0) {
      termios t = saved;
      t.c_lflag &= static_cast<tcflag_t>(~ECHO);
      if (tcsetattr(fd, TCSAFLUSH, &t) == 0) echoOff = true;
    } else if (on && echoOff) {
      tcsetattr(fd, TCSAFLUSH, &saved);
      echoOff = false;
    }
  }
};

int Prompt(const char *description, const char *in, char **out) {
  Terminal tty;
  if (tty.fd < 0) return 0;
  std::string user = FindValue(in, "UID");
  std::string head = "Login";
  if (description != nullptr && *description != '\0') head += std::string(" to ") + description;
  Write(tty.fd, head + "\n");
  Write(tty.fd, user.empty() ? std::string("User name: ") : "User name [" + user + "]: ");
  std::string line;
  if (!ReadLine(tty.fd, &line)) return 0;
  if (!line.empty()) user = line;
  // Echo goes off before the prompt shows: switching it flushes what was
  // typed ahead, so a password typed as soon as the prompt appears is never
  // lost and the read never waits for a line that was already sent.
  tty.Echo(false);
  Write(tty.fd, "Password: ");
  std::string password;
  const bool ok = ReadLine(tty.fd, &password);
  tty.Echo(true);
  Write(tty.fd, "\n");
  if (!ok) return 0;
  std::string confirmed = WithoutLogin(in);
  AppendItem(confirmed, "UID", user);
  AppendItem(confirmed, "PWD", password);
  *out = Dup(confirmed);
  return *out != nullptr ? 1 : 0;
}

}  // namespace

int Answer(void *window, const char *driverDescription, const char *connStrIn, char **connStrOut);

extern "C" int TvxLOGIN(void *window, const char *driverDescription, const char *connStrIn, char **connStrOut,
                        char mode) {
  (void)mode;  // the texts are UTF-8 or the application's bytes either way
  if (connStrOut == nullptr) return 0;
  *connStrOut = nullptr;
  try {
    return Answer(window, driverDescription, connStrIn, connStrOut);
  } catch (...) {
    // Out of memory: not confirmed; nothing leaves the library.
    free(*connStrOut);
    *connStrOut = nullptr;
    return 0;
  }
}

int Answer(void *window, const char *driverDescription, const char *connStrIn, char **connStrOut) {
  const char *in = connStrIn != nullptr ? connStrIn : "";
#ifdef TVX_LOGIN_SCRIPTED
  // The test double only: answers from the environment, no prompt. The
  // shipped library never lets the environment log a user in.
  const char *scripted = getenv("TVX_LOGIN_ANSWER");
  if (scripted != nullptr) {
    if (strcasecmp(scripted, "CANCEL") == 0) return 0;
    std::string confirmed = in;
    if (!confirmed.empty() && confirmed.back() != ';' && *scripted != '\0') confirmed += ';';
    confirmed += scripted;
    *connStrOut = Dup(confirmed);
    return *connStrOut != nullptr ? 1 : 0;
  }
#endif
  if (window == nullptr) return 0;
  return Prompt(driverDescription, in, connStrOut);
}

extern "C" void TvxLOGIN_Free(char *connStr) { free(connStr); }
