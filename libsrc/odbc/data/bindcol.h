#pragma once
// Column binding: SQLBindCol, and the core that an explicit ARD and
// SQL_DESC_DATA_PTR use to bind columns (BindColumn, declared in
// odbc/data/services.h).
//
// BindColumn(statement, column, C type, data, buffer length, StrLen_or_Ind)
// returns 0 or an SqlStateTable code, also left as the statement's pending
// code. A null data pointer unbinds the column. Column 0 is the bookmark
// column: it needs bookmark support below and SQL_C_BINARY or
// SQL_C_UBIGINT. The binding is mirrored into the current ARD's record
// (concise type, data, length and indicator pointers, octet length).
#include "odbc/data/services.h"
