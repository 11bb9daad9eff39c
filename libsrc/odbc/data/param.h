#pragma once
// Parameter binding: SQLBindParameter (ODBC 2 and 3), SQLSetParam (ODBC 1)
// and SQLDescribeParam, and BindParam, the binding core that the descriptor
// field writes and the application of an explicit APD share.
//
// BindParam (declared in odbc/data/services.h) checks a binding, resolves
// SQL_C_DEFAULT, stores the ParamBinding with StmtSetParam and mirrors it into
// the statement's current APD record (C type, data pointer, indicator and
// octet-length pointers, buffer length) and its IPD record (SQL type,
// parameter type, and length, precision or scale by the SQL type). A failed
// bind leaves the earlier binding of the parameter in place.
#include <sql.h>

#include <cstdint>

#include "odbc/dispatch.h"

struct Stmt;

// The fixed octet size of a C type that parameters accept, or -3 for the
// variable-length CHAR, WCHAR and BINARY; 0 for a C type that parameters do
// not accept (07006).
int64_t ParamCTypeSize(int16_t cType);

// Whether an application may bind a parameter as the SQL type: ODBC's own
// types (this driver has none of its own).
bool SqlTypeKnown(int16_t sqlType);
