#pragma once
// Setup queries, the driver's own configuration section, and messages.
//
// On Linux the driver's "registry key" is its own section of odbcinst.ini,
// read through unixODBC's installer library (loaded on first use, never
// linked). The driver finds its section by comparing each section's Driver=
// (or Driver64=) path with the path of its own shared library.
#include <cstdint>

#define KVD_SETUP_EXPORT extern "C" __attribute__((visibility("default")))

// The driver's description (string 204) into buf, cut to size; returns 1.
KVD_SETUP_EXPORT int GetSetupDatabase(char *buf, int size);
// "SOFTWARE\Zezuzeru Software\<description>" into buf, cut to size - 1
// bytes and NUL; returns 1.
KVD_SETUP_EXPORT int GetSetupRegistry(char *buf, int size);

// Reads valueName of the driver's own odbcinst.ini section into buf (n
// bytes). subkey names the Windows registry subkey and has no counterpart in
// odbcinst.ini's single level of sections. Returns the bytes stored with the
// terminator when the value exists; otherwise copies def (cut to n - 1) and
// returns its length.
int SetupRegRead(const char *subkey, const char *valueName, const char *def, char *buf, int n);

// The path of the library this code is linked into (the driver, or a test
// program), resolved to an absolute path; "" when unknown.
const char *SetupOwnPath();
// The name of the driver's own odbcinst.ini section into buf; 0 when found,
// -1 when no section names this library or the installer library is missing.
int SetupFindOwnSection(char *buf, int size);
// unixODBC's SQLGetPrivateProfileString, bound on first use; 0 when the
// installer library or the function is missing.
int SetupGetProfileString(const char *section, const char *key, const char *def, char *buf, int size,
                          const char *file);

// The owner of the driver's messages (SQL_ATTR_QUIET_MODE): -2 no owner
// window (the initial value), 0 no messages at all.
extern std::intptr_t g_msgBoxOwner;
// A message: on Linux one log line at ERROR, "<caption>: <text>". Returns 1
// (OK), or 0 when messages are off (owner 0).
int MsgBoxShow(const char *text, const char *caption, unsigned type);
// MsgBoxShow with string 1 as caption.
int MsgBoxAlert(const char *text, unsigned type);
