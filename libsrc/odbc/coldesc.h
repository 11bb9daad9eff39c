#pragma once
// Column description: SQLDescribeCol, SQLColAttributes (ODBC 2) and
// SQLColAttribute (ODBC 3), narrow and W.
//
// Answers come from the statement's result-column descriptions (ColDesc),
// from the extended column attributes the agent gives with capability
// 0x400 (ColAttr), and for some ODBC 3 fields from the IRD through
// DescGetField. Column 0 is the bookmark column while the statement uses
// bookmarks.
//
// Until the descriptor field operation is built (DescGetField answers "not
// capable"), the IRD fields are derived here from the column's ColDesc and
// ColAttr entries (ColDescIrdField); the real DescGetField takes over by
// itself once it is linked in.
#include <sql.h>

#include <cstdint>

#include "odbc/dispatch.h"

struct Stmt;
struct ColDesc;

// The bytes a column of this SQL type needs when transferred in its default
// C type (SQL_COLUMN_LENGTH): the column size for character and binary
// types, size + 2 for NUMERIC/DECIMAL, 2 x size for the wide types, fixed
// widths for the others, SQL_NO_TOTAL for a type without one.
int64_t ColumnTransferLength(int32_t sqlType, uint32_t columnSize);

// ODBC 2 column attribute (SQL_COLUMN_*) of column `column`; serves both
// ColAttributes records and most fields of SQLColAttribute. Strings in mode
// "A" as bytes, in mode "W" as UTF-16 with *strLen in bytes.
SQLRETURN ColAttributesCore(Stmt *stmt, uint16_t column, uint16_t field, void *text, int16_t bufLen, int16_t *strLen,
                            int64_t *number, char mode);

// One IRD field of a result column derived from its description: numbers
// into a buffer of bufLen bytes (2 or 4), texts by the mode. The answer of
// DescGetField while that is not built.
SQLRETURN ColDescIrdField(Stmt *stmt, uint16_t column, int16_t field, void *value, int64_t bufLen,
                          int64_t *returnedLength, char mode);

SQLRETURN odbc_DescribeCol(void *object, const ApiArgs &args);
SQLRETURN odbc_ColAttributes(void *object, const ApiArgs &args);
SQLRETURN odbc_ColAttribute(void *object, const ApiArgs &args);
