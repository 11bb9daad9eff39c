#include "odbc/setup.h"

#include <dlfcn.h>
#include <limits.h>
#include <stdlib.h>

#include <atomic>
#include <cstdio>
#include <cstring>
#include <mutex>

#include "util/log.h"
#include "util/strres.h"

std::intptr_t g_msgBoxOwner = -2;

namespace {

using GetProfileStringFn = int (*)(const char *, const char *, const char *, char *, int, const char *);

std::atomic<GetProfileStringFn> g_getProfileString{nullptr};

GetProfileStringFn BindGetProfileString() {
  GetProfileStringFn fn = g_getProfileString.load();
  if (fn != nullptr) return fn;
  // The installer library stays loaded for the rest of the process.
  void *lib = dlopen("libodbcinst.so.2", RTLD_NOW | RTLD_LOCAL);
  if (lib == nullptr) lib = dlopen("libodbcinst.so", RTLD_NOW | RTLD_LOCAL);
  if (lib == nullptr) {
    LOG(LOG_ERR, "ODBC Installer Error: the ODBC installer library (libodbcinst.so.2) is not installed");
    return nullptr;
  }
  fn = reinterpret_cast<GetProfileStringFn>(dlsym(lib, "SQLGetPrivateProfileString"));
  if (fn == nullptr) {
    LOG(LOG_ERR, "ODBC Installer Error: SQLGetPrivateProfileString is missing from the installer library");
    return nullptr;
  }
  g_getProfileString.store(fn);
  return fn;
}

constexpr char kInstIni[] = "ODBCINST.INI";
// A default no real value equals, to tell a missing key from an empty one.
constexpr char kMissing[] = "\x01kvd-missing\x01";

bool SamePath(const char *configured, const char *own) {
  if (configured[0] == '\0') return false;
  char resolved[PATH_MAX];
  if (realpath(configured, resolved) == nullptr) return strcmp(configured, own) == 0;
  return strcmp(resolved, own) == 0;
}

}  // namespace

int SetupGetProfileString(const char *section, const char *key, const char *def, char *buf, int size,
                          const char *file) {
  GetProfileStringFn fn = BindGetProfileString();
  if (fn == nullptr) return 0;
  return fn(section, key, def, buf, size, file);
}

const char *SetupOwnPath() {
  static char path[PATH_MAX];
  static std::once_flag once;
  std::call_once(once, [] {
    Dl_info info{};
    const char *name = nullptr;
    if (dladdr(reinterpret_cast<void *>(&SetupOwnPath), &info) != 0) name = info.dli_fname;
    // Linked into a program rather than a shared library: the loader names
    // the program as it was started, so take the kernel's path instead.
    if (name == nullptr || strchr(name, '/') == nullptr) name = "/proc/self/exe";
    if (realpath(name, path) == nullptr) snprintf(path, sizeof path, "%s", name);
  });
  return path;
}

int SetupFindOwnSection(char *buf, int size) {
  if (buf == nullptr || size <= 0) return -1;
  buf[0] = '\0';
  const char *own = SetupOwnPath();
  if (own[0] == '\0') return -1;
  char sections[8192];
  memset(sections, 0, sizeof sections);
  if (SetupGetProfileString(nullptr, nullptr, "", sections, sizeof sections - 1, kInstIni) <= 0) return -1;
  for (const char *s = sections; *s != '\0'; s += strlen(s) + 1) {
    if (strcmp(s, "ODBC") == 0) continue;  // unixODBC's own settings
    for (const char *key : {"Driver64", "Driver"}) {
      char driver[PATH_MAX];
      SetupGetProfileString(s, key, "", driver, sizeof driver, kInstIni);
      if (SamePath(driver, own)) {
        if (strlen(s) >= static_cast<size_t>(size)) return -1;
        snprintf(buf, static_cast<size_t>(size), "%s", s);
        return 0;
      }
    }
  }
  return -1;
}

int SetupRegRead(const char *subkey, const char *valueName, const char *def, char *buf, int n) {
  (void)subkey;
  if (buf == nullptr || n <= 0) return 0;
  char section[512];
  if (SetupFindOwnSection(section, sizeof section) == 0) {
    // One byte more than the caller's buffer tells a value that does not fit
    // (which gives the default) from one that does.
    const size_t room = static_cast<size_t>(n) + 1 > sizeof kMissing ? static_cast<size_t>(n) + 1 : sizeof kMissing;
    auto *value = static_cast<char *>(calloc(room, 1));
    if (value != nullptr) {
      SetupGetProfileString(section, valueName, kMissing, value, static_cast<int>(room), kInstIni);
      value[room - 1] = '\0';
      const size_t len = strlen(value);
      const bool found = strcmp(value, kMissing) != 0 && len < static_cast<size_t>(n);
      if (found) memcpy(buf, value, len + 1);
      free(value);
      if (found) return static_cast<int>(len) + 1;
    }
  }
  const char *text = def != nullptr ? def : "";
  size_t len = strlen(text);
  if (len > static_cast<size_t>(n) - 1) len = static_cast<size_t>(n) - 1;
  memcpy(buf, text, len);
  buf[len] = '\0';
  return static_cast<int>(len);
}

int GetSetupDatabase(char *buf, int size) {
  LoadStringRes(IDS_DRIVER_DESCRIPTION, buf, size);
  return 1;
}

int GetSetupRegistry(char *buf, int size) {
  if (buf == nullptr || size <= 0) return 1;
  char description[128];
  LoadStringRes(IDS_DRIVER_DESCRIPTION, description, sizeof description);
  snprintf(buf, static_cast<size_t>(size), "SOFTWARE\\Zezuzeru Software\\%s", description);
  return 1;
}

int MsgBoxShow(const char *text, const char *caption, unsigned type) {
  (void)type;
  if (g_msgBoxOwner == 0) return 0;
  log_msg(LOG_ERR, nullptr, 0, "%s: %s", caption != nullptr ? caption : "", text != nullptr ? text : "");
  return 1;
}

int MsgBoxAlert(const char *text, unsigned type) {
  char caption[200];
  LoadStringRes(IDS_CAPTION, caption, sizeof caption);
  return MsgBoxShow(text, caption, type);
}
