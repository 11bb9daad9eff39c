#pragma once
// Descriptor fields: SQLGetDescField and SQLSetDescField, and the get/set
// engine that every other descriptor user goes through (SQLColAttribute,
// SQLGetDescRec, SQLSetDescRec, SQLCopyDesc, the statement attributes that
// are descriptor header fields, the application of an explicit descriptor).
//
// An implicit descriptor is a view of statement state: the ARD of the
// bound-column list, the APD of the parameter bindings, the IRD of the result
// descriptions and extended column attributes, the IPD of the parameter
// descriptions. A read answers from that state; a write stores the value in
// the descriptor and carries it into the statement. An explicit descriptor
// answers from its own records, and a write reaches every statement of its
// connection that uses it as ARD or APD.
//
// Errors are left as the descriptor's pending error code (a SqlStateTable
// row); a caller acting for a statement copies it to the statement. Writes
// that act on a statement (binding, rowset or paramset size) leave their
// error on that statement.
//
// All of these run under the connection's call lock.
#include <sql.h>

#include <cstdint>

struct Desc;
struct Stmt;

// Reads one header or record field. bufferLength counts bytes (also for W
// text, which is written as UTF-16); returnedLength (may be null) receives the
// value's length in bytes. mode 'W' answers text fields in UTF-16, 'A' as the
// stored bytes. SQL_SUCCESS, SQL_SUCCESS_WITH_INFO (01004, text cut),
// SQL_NO_DATA (record above the count, no diagnostic) or SQL_ERROR.
SQLRETURN DescGetField(Desc *desc, int16_t record, int16_t field, void *value, int64_t bufferLength,
                       int64_t *returnedLength, char mode);

// Writes one header or record field: value is the integer, or the pointer as
// an integer. bufferLength matters only for SQL_DESC_NAME (bytes, or SQL_NTS).
// SQL_SUCCESS, SQL_SUCCESS_WITH_INFO or SQL_ERROR.
SQLRETURN DescSetField(Desc *desc, int16_t record, int16_t field, int64_t value, int64_t bufferLength, char mode);

// The write for one statement: stmt is the statement the descriptor is
// applied to (null: none), app and row classify the descriptor for this
// use, apply says that the statement's structures follow the descriptor.
SQLRETURN DescSetFieldCore(Stmt *stmt, bool app, bool row, bool apply, Desc *desc, int16_t record, int16_t field,
                           int64_t value, int64_t bufferLength, char mode);

// Frees the records above n (names included) and makes n the count.
void DescTruncateRecords(Desc *desc, int n);
