#pragma once
// SQLDriverConnect and SQLConnect: under the process-wide connect lock the
// connection string is parsed into the attribute table (odbc/connattr.h),
// completed from the data source, the login prompt is shown when the
// completion mode asks for it, the attributes become the AgentOptions block
// and the connection's fields, the connection is opened (ConnOpen) and the
// completed connection string handed back.
//
// The output connection string has a short form (no DRIVER keyword given:
// "DSN=...;UID=...;PWD=...;SQLNET=...;JET=...;FBS=...") and a long form
// (DRIVER given: every setting, ending "Server=Zezuzeru"). Values that
// contain ';', '{' or '}' are written in braces.
//
// The login prompt is the outside library libvqlogin8 (TvxLOGIN,
// TvxLOGIN_Free), which the drivers link and find beside themselves.
#include <sql.h>

#include <cstdint>

#include "odbc/dispatch.h"
#include "odbc/objects.h"

// The length a wide entry point passes, with a null text, for a text whose
// UTF-8 copy it could not make: the connect fails with S1001 instead of
// going on without the text (an absent DSN would connect to "Default").
constexpr int16_t kConnectTextNoMemory = INT16_MIN;

// The connect logic; SQL_SUCCESS, SQL_SUCCESS_WITH_INFO (01004 cut output,
// or warnings of the connect in the diagnostics), SQL_NO_DATA (prompt not
// confirmed, no diagnostic) or SQL_ERROR. The caller holds the connect lock.
SQLRETURN DriverConnectBody(Conn *conn, void *window, const char *in, int16_t inLen, char *out, int16_t outMax,
                            int16_t *outLen, uint16_t completion, char mode);

// Record implementations: DriverConnect(W) and Connect(W).
SQLRETURN odbc_DriverConnect(void *object, const ApiArgs &args);
SQLRETURN odbc_Connect(void *object, const ApiArgs &args);
