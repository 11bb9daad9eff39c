// Late binding of unixODBC's installer library.
#include "odbc/odbcinst.h"

#include <dlfcn.h>
#include <link.h>
#include <unistd.h>

#include <atomic>
#include <cstdio>

#include "odbc/setup.h"
#include "odbc/trace.h"

namespace {

constexpr const char *kCaption = "ODBC Installer Error";
constexpr unsigned kIconInformation = 0x40;  // MB_ICONINFORMATION

constexpr const char *kDefaultCandidates[] = {"libodbcinst.so.2", "libodbcinst.so", nullptr};

// Written by the call that first loads the library, afterwards only read;
// two first calls at once may both load it, and either result is fine (the
// loader hands out the same module).
std::atomic<void *> g_module{nullptr};
std::atomic<const char *const *> g_candidates{kDefaultCandidates};

// The path the loader found a module at; "" when unknown.
const char *ModulePath(void *module) {
  struct link_map *map = nullptr;
  if (module != nullptr && dlinfo(module, RTLD_DI_LINKMAP, &map) == 0 && map != nullptr && map->l_name != nullptr)
    return map->l_name;
  return "";
}

void ProgramPath(char *out, size_t size) {
  ssize_t n = readlink("/proc/self/exe", out, size - 1);
  out[n > 0 ? n : 0] = '\0';
}

template <class Fn>
Fn Bind(const char *name) {
  return reinterpret_cast<Fn>(OdbcInstProc(name));
}

}  // namespace

void *OdbcInstLoad() {
  for (const char *const *name = g_candidates.load(); name != nullptr && *name != nullptr; ++name) {
    void *module = dlopen(*name, RTLD_NOW | RTLD_LOCAL);
    if (module != nullptr) {
      if (TraceIsOn()) TraceODBC("ODBC installer library %s loaded from %s", *name, ModulePath(module));
      return module;
    }
  }
  return nullptr;
}

void *OdbcInstProc(const char *name) {
  void *module = g_module.load();
  if (module == nullptr) {
    module = OdbcInstLoad();
    if (module == nullptr) {
      MsgBoxShow("The ODBC installer library (libodbcinst.so.2) is not installed on this system.", kCaption,
                 kIconInformation);
      return nullptr;
    }
    void *expected = nullptr;
    if (!g_module.compare_exchange_strong(expected, module)) {
      // Another thread kept its handle first; both name the same module.
      dlclose(module);
      module = expected;
    }
  }
  void *fn = dlsym(module, name);
  if (fn != nullptr) return fn;
  char program[262];
  ProgramPath(program, sizeof program);
  char text[1024];
  snprintf(text, sizeof text,
           "The program %.261s, or one of its libraries attempted to call the function %s which is not supported "
           "in the loaded ODBC installer library (%.261s).  Press OK to proceed.",
           program, name, ModulePath(module));
  MsgBoxShow(text, kCaption, kIconInformation);
  return nullptr;
}

void OdbcInstSetCandidatesForTest(const char *const *names) {
  g_candidates.store(names != nullptr ? names : kDefaultCandidates);
  // The library stays loaded (other users in the process may hold it); only
  // our reference to it is forgotten.
  void *module = g_module.exchange(nullptr);
  if (module != nullptr) dlclose(module);
}

int OdbcInstGetPrivateProfileString(const char *section, const char *key, const char *def, char *buf, int size,
                                    const char *file) {
  using Fn = int (*)(const char *, const char *, const char *, char *, int, const char *);
  Fn fn = Bind<Fn>("SQLGetPrivateProfileString");
  return fn != nullptr ? fn(section, key, def, buf, size, file) : 0;
}

int OdbcInstReadFileDSN(const char *file, const char *section, const char *key, char *buf, uint16_t size,
                        uint16_t *outLen) {
  using Fn = int (*)(const char *, const char *, const char *, char *, uint16_t, uint16_t *);
  Fn fn = Bind<Fn>("SQLReadFileDSN");
  return fn != nullptr ? fn(file, section, key, buf, size, outLen) : 0;
}

int OdbcInstGetPrivateProfileStringW(const uint16_t *section, const uint16_t *key, const uint16_t *def,
                                     uint16_t *buf, int size, const uint16_t *file) {
  using Fn = int (*)(const uint16_t *, const uint16_t *, const uint16_t *, uint16_t *, int, const uint16_t *);
  Fn fn = Bind<Fn>("SQLGetPrivateProfileStringW");
  return fn != nullptr ? fn(section, key, def, buf, size, file) : 0;
}

int OdbcInstReadFileDSNW(const uint16_t *file, const uint16_t *section, const uint16_t *key, uint16_t *buf,
                         uint16_t size, uint16_t *outLen) {
  using Fn = int (*)(const uint16_t *, const uint16_t *, const uint16_t *, uint16_t *, uint16_t, uint16_t *);
  Fn fn = Bind<Fn>("SQLReadFileDSNW");
  return fn != nullptr ? fn(file, section, key, buf, size, outLen) : 0;
}
