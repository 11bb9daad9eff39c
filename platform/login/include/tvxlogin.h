#pragma once
// The login prompt that the drivers show for SQLDriverConnect when the
// completion mode asks for a login: the outside library libvqlogin8.
//
// TvxLOGIN(window, driver description, input connection string, &output,
// mode 'A' or 'W') returns 1 when the user confirmed; *output then holds
// the confirmed connection string (the input with the user's UID and PWD
// items added, values in braces where they need them). Any other result:
// not confirmed (cancelled, or no prompt possible), *output NULL.
// TvxLOGIN_Free releases *output (NULL is fine); call it after every
// TvxLOGIN.
//
// On Linux the prompt runs on the process's controlling terminal, and only
// when the caller gave a window handle (any non-null value: the application
// allows dialogs). Without a controlling terminal the answer is "not
// confirmed".
//
// The test double libvqlogin8_scripted (same calls, for tests only) shows
// no prompt when the environment variable TVX_LOGIN_ANSWER is set: the value
// "CANCEL" (any case) answers "not confirmed", any other value is appended to
// the input string as confirmed items (for example "UID=scott;PWD=tiger").
// The shipped library ignores that variable.
#ifdef __cplusplus
extern "C" {
#endif

__attribute__((visibility("default"))) int TvxLOGIN(void *window, const char *driverDescription,
                                                    const char *connStrIn, char **connStrOut, char mode);
__attribute__((visibility("default"))) void TvxLOGIN_Free(char *connStr);

#ifdef __cplusplus
}
#endif
