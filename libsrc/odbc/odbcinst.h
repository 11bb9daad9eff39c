#pragma once
// Late binding of the ODBC installer library.
//
// Data-source settings (odbc.ini sections, File DSNs) are read through
// unixODBC's installer library, which the driver does not link: it is loaded
// on the first call that needs it (libodbcinst.so.2, then libodbcinst.so) and
// each function is looked up by name at every call. Our wrappers carry names
// of their own so that they never collide with the library's symbols (a
// Driver Manager process has libodbcinst loaded already).
//
// When the library or a function is missing, the wrapper returns 0 and a
// message ("ODBC Installer Error") is logged; callers go on with empty
// settings. A failed load is tried again at the next call.
//
// The W forms take and return UTF-16 (16-bit SQLWCHAR, as unixODBC defines
// them); buffer sizes of the W forms count characters.
#include <cstdint>

// SQLGetPrivateProfileString(section, key, default, buffer, size, file).
int OdbcInstGetPrivateProfileString(const char *section, const char *key, const char *def, char *buf, int size,
                                    const char *file);
// SQLReadFileDSN(file, section, key, buffer, size, out length): non-zero on
// success.
int OdbcInstReadFileDSN(const char *file, const char *section, const char *key, char *buf, uint16_t size,
                        uint16_t *outLen);
int OdbcInstGetPrivateProfileStringW(const uint16_t *section, const uint16_t *key, const uint16_t *def,
                                     uint16_t *buf, int size, const uint16_t *file);
int OdbcInstReadFileDSNW(const uint16_t *file, const uint16_t *section, const uint16_t *key, uint16_t *buf,
                         uint16_t size, uint16_t *outLen);

// The address of a function of the installer library, loading the library
// when none is held; NULL (and a logged message) when the library or the
// function is missing.
void *OdbcInstProc(const char *name);
// Loads the installer library: the first of the candidate names that loads.
// NULL when none does.
void *OdbcInstLoad();

// Tests: the library names tried (a null-terminated list; NULL restores
// "libodbcinst.so.2", "libodbcinst.so") and forgetting the loaded library,
// so that the next call loads again.
void OdbcInstSetCandidatesForTest(const char *const *names);
