#pragma once
// Conversions of Dataset values into the ODBC C type an application asks
// for. GetColumn picks the family by the cell's ValueType and hands over the
// value with the application's buffer.
//
// Common arguments:
//   cType     the resolved target C type (never SQL_C_DEFAULT or SQL_ARD_TYPE);
//   data      the application buffer (not null);
//   bufLen    its length in bytes (text and binary targets honour it; fixed
//             C types are written whatever it says);
//   lenPtr    receives the octet length (may be null);
//   pending   the statement's pending code: failures and warnings are left
//             there as SqlStateTable codes and never cleared on success, so a
//             warning of an earlier cell of the same call survives;
//   scale, precision  for SQL_C_NUMERIC (precision 0: worked out from the
//             value); the timestamp family takes the column's scale.
// The text, wide and binary families also take the total (what is left of the
// whole value including this part: 0 = this part is all, as for a cell) and
// report through consumed (may be null) how many source bytes reached the
// buffer, so that a value cut by a short buffer can be continued on the next
// SQLGetData exactly where it stopped; a cut never splits a character.
#include <sql.h>
#include <sqlext.h>
#include <sqlucode.h>

#include <cstddef>
#include <cstdint>

// Narrow (UTF-8) character data: ValueTypes 1, 15, 17 to 20 and character
// pieces of long values.
SQLRETURN ConvertCHAR(const void *src, SQLLEN srcLen, SQLLEN total, SQLSMALLINT cType, void *data,
                      SQLLEN bufLen, SQLLEN *lenPtr, int *pending, SQLSMALLINT scale,
                      SQLSMALLINT precision, SQLLEN *consumed = nullptr);

// UTF-16 data: ValueTypes 24 to 27 and UTF-16 pieces. srcLen and total in
// bytes.
SQLRETURN ConvertWCHAR(const void *src, SQLLEN srcLen, SQLLEN total, SQLSMALLINT cType, void *data,
                       SQLLEN bufLen, SQLLEN *lenPtr, int *pending, SQLSMALLINT scale,
                       SQLSMALLINT precision, SQLLEN *consumed = nullptr);

// Binary data: ValueTypes 14, 16, 21 to 23 and binary pieces.
SQLRETURN ConvertBINARY(const void *src, SQLLEN srcLen, SQLLEN total, SQLSMALLINT cType,
                        void *data, SQLLEN bufLen, SQLLEN *lenPtr, int *pending,
                        SQLLEN *consumed = nullptr);

// Integers: ValueTypes 2, 3, 6 (8-bit), 4, 7 (16-bit), 5, 8 (32-bit).
SQLRETURN ConvertBYTE(uint8_t value, bool isSigned, SQLSMALLINT cType, void *data, SQLLEN bufLen,
                      SQLLEN *lenPtr, int *pending, SQLSMALLINT scale, SQLSMALLINT precision);
SQLRETURN ConvertSHORT(uint16_t value, bool isSigned, SQLSMALLINT cType, void *data, SQLLEN bufLen,
                       SQLLEN *lenPtr, int *pending, SQLSMALLINT scale, SQLSMALLINT precision);
SQLRETURN ConvertLONG(uint32_t value, bool isSigned, SQLSMALLINT cType, void *data, SQLLEN bufLen,
                      SQLLEN *lenPtr, int *pending, SQLSMALLINT scale, SQLSMALLINT precision);

// Floating point: ValueTypes 9 and 10.
SQLRETURN ConvertFLOAT(float value, SQLSMALLINT cType, void *data, SQLLEN bufLen, SQLLEN *lenPtr,
                       int *pending, SQLSMALLINT scale, SQLSMALLINT precision);
SQLRETURN ConvertDOUBLE(double value, SQLSMALLINT cType, void *data, SQLLEN bufLen,
                        SQLLEN *lenPtr, int *pending, SQLSMALLINT scale, SQLSMALLINT precision);

// Dates and times: ValueTypes 11, 12, 13.
SQLRETURN ConvertDATE(const SQL_DATE_STRUCT &value, SQLSMALLINT cType, void *data, SQLLEN bufLen,
                      SQLLEN *lenPtr, int *pending);
SQLRETURN ConvertTIME(const SQL_TIME_STRUCT &value, SQLSMALLINT cType, void *data, SQLLEN bufLen,
                      SQLLEN *lenPtr, int *pending);
SQLRETURN ConvertTIMESTAMP(const SQL_TIMESTAMP_STRUCT &value, SQLSMALLINT cType, void *data,
                           SQLLEN bufLen, SQLLEN *lenPtr, int *pending, SQLSMALLINT scale);

// ---- Parsers of character data (text with an explicit length, no NUL
// needed). None of them depends on the C locale.

// Integer within [minimum, maximum]: SQL_SUCCESS, or SQL_ERROR with E_22005
// (not an integer) or E_22003 (out of the limits).
SQLRETURN CharToNumber(const char *text, size_t len, int64_t minimum, int64_t maximum,
                       int64_t *out, int *pending);
// The 64-bit form leaves the result's two's-complement bits in *out.
SQLRETURN CharToNumber64(const char *text, size_t len, int64_t minimum, uint64_t maximum,
                         uint64_t *out, int *pending);
// Floating-point text ("$" and "," allowed as in "$1,234.50"): SQL_SUCCESS, or
// SQL_ERROR with E_22005 or E_22003.
SQLRETURN CharToDecimal(const char *text, size_t len, double *out, int *pending);
// Decimal text (optionally with an exponent) into SQL_NUMERIC_STRUCT, exact
// over the whole 128-bit value: SQL_SUCCESS, SQL_SUCCESS_WITH_INFO with
// E_01S07 (fraction digits dropped), SQL_ERROR with E_22003 (out of range or
// more integer digits than the precision) or E_22005 (not a number).
SQLRETURN CharToNumeric(const char *text, size_t len, SQL_NUMERIC_STRUCT *out, SQLSMALLINT scale,
                        SQLSMALLINT precision, int *pending);
// "xxxxxxxx-xxxx-xxxx-xxxx-xxxxxxxxxxxx": SQL_SUCCESS, or SQL_ERROR with
// E_22026 (not 36 characters) or E_22005 (misplaced dash, not a hex digit).
SQLRETURN CharToGUID(const char *text, size_t len, SQLGUID *out, int *pending);

// The same parsers on UTF-16 text of len units (a NUL unit ends the text).
SQLRETURN WCharToNumber(const void *text, size_t len, int64_t minimum, int64_t maximum,
                        int64_t *out, int *pending);
SQLRETURN WCharToNumber64(const void *text, size_t len, int64_t minimum, uint64_t maximum,
                          uint64_t *out, int *pending);
SQLRETURN WCharToDecimal(const void *text, size_t len, double *out, int *pending);
SQLRETURN WCharToNumeric(const void *text, size_t len, SQL_NUMERIC_STRUCT *out,
                         SQLSMALLINT scale, SQLSMALLINT precision, int *pending);

// ---- Helpers of the numeric family.

// x into SQL_NUMERIC_STRUCT: from the shortest decimal text that reads back
// as x (as a float when fromFloat), scaled and truncated toward zero.
// SQL_SUCCESS, SQL_SUCCESS_WITH_INFO with E_01S07 for a precision above 15,
// SQL_ERROR with E_22003 when the scaled value does not fit in 128 bits.
SQLRETURN DoubleToNumeric(double x, SQL_NUMERIC_STRUCT *out, SQLSMALLINT scale,
                          SQLSMALLINT precision, int *pending, bool fromFloat = false);

// "%.*g" of x with the given significant digits, in the C locale's form
// whatever the process locale. Returns the text length.
size_t FormatDouble(char *buffer, size_t size, double x, int digits);
