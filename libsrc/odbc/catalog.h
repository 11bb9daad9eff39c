#pragma once
// The ten catalog functions (SQLColumns, SQLTables, ...): each checks the
// statement and its arguments, copies the names into NUL-terminated texts
// with the ODBC defaults for absent ones (quotes around a name removed),
// and hands them to the agent's catalog operation. The result set is then
// fetched like any query result. The W entry points pass UTF-8 texts.
#include <sql.h>

#include <cstdint>

#include "odbc/dispatch.h"

// The table type list of SQLTables as the inside of an SQL IN ( ) list:
// "TABLE , VIEW" and "'TABLE','VIEW'" both become "'TABLE','VIEW'". NULL
// gives NULL, "" a new "", a list beginning with "%" a new "%". A new heap
// text sized from the input (the caller frees it); NULL when out of memory.
char *TableTypeListQuote(const char *text);

// Position (from 1) of the first comma-separated element of list that,
// after its leading white space, begins with item followed by a comma or
// the end of the list; 0 when none does or either text is NULL.
int TableTypeListFind(const char *list, const char *item);

SQLRETURN odbc_ColumnPrivileges(void *object, const ApiArgs &args);
SQLRETURN odbc_Columns(void *object, const ApiArgs &args);
SQLRETURN odbc_ForeignKeys(void *object, const ApiArgs &args);
SQLRETURN odbc_PrimaryKeys(void *object, const ApiArgs &args);
SQLRETURN odbc_ProcedureColumns(void *object, const ApiArgs &args);
SQLRETURN odbc_Procedures(void *object, const ApiArgs &args);
SQLRETURN odbc_SpecialColumns(void *object, const ApiArgs &args);
SQLRETURN odbc_Statistics(void *object, const ApiArgs &args);
SQLRETURN odbc_TablePrivileges(void *object, const ApiArgs &args);
SQLRETURN odbc_Tables(void *object, const ApiArgs &args);
