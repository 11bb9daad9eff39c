#pragma once
// SQLGetTypeInfo: the agent's type catalogue as a statement's result set,
// and the one-column reads of it that the descriptor layer makes for type
// names and literal prefixes and suffixes.
#include <sql.h>

#include <cstdint>

#include "odbc/dispatch.h"

struct Conn;

// Implementation of the GetTypeInfo and GetTypeInfoW records: (16-bit SQL
// type, 0 = SQL_ALL_TYPES). Closes the statement's cursor, drops the earlier
// result descriptions and opens the catalogue result, which is then fetched
// like any other.
SQLRETURN odbc_GetTypeInfo(void *object, const ApiArgs &args);

// Reads column `column` (1-based: 1 TYPE_NAME, 4 LITERAL_PREFIX, 5
// LITERAL_SUFFIX) of the first catalogue row of sqlType as SQL_C_CHAR into
// buffer, on a temporary statement of the connection. SQL_SUCCESS,
// SQL_SUCCESS_WITH_INFO (cut), SQL_NO_DATA (no row for the type) or
// SQL_ERROR (08003 on a connection that is not open; no diagnostic when the
// temporary statement or the catalogue query fails). The indicator receives
// the value's length or SQL_NULL_DATA.
SQLRETURN TypeInfoColumn(Conn *conn, int column, int16_t sqlType, char *buffer, SQLLEN bufferLength,
                         SQLLEN *indicator);
