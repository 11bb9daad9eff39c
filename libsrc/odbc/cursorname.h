#pragma once
// SQLGetCursorName and SQLSetCursorName (narrow and W, one implementation
// each). The front end keeps no cursor name: the agent cursor holds it
// ("CN" and hexadecimal digits until one is set) and both calls go straight
// to it.
#include <cstdint>

#include "odbc/dispatch.h"

// The NameLength a wide entry point passes, with a null name, when it could
// not make the UTF-8 copy of the caller's name: the call then fails with
// S1001 instead of setting the empty name.
constexpr int16_t kCursorNameNoMemory = INT16_MIN;

// (name buffer, 16-bit BufferLength, 16-bit *NameLength): SQL_SUCCESS,
// SQL_SUCCESS_WITH_INFO with 01004 for a cut name, SQL_ERROR for every
// other failure of the agent and for a negative BufferLength (S1090).
SQLRETURN odbc_GetCursorName(void *object, const ApiArgs &args);
// (name, 16-bit NameLength: bytes or SQL_NTS): a null name sets the empty
// name; another negative length gives S1090.
SQLRETURN odbc_SetCursorName(void *object, const ApiArgs &args);
