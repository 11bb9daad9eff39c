#pragma once
// Application values on their way to the agent: which Dataset value type and
// cell width an ODBC C type travels as, and the conversions applied to the
// values on the way (date/time escape clauses written as text, numeric
// structs, GUIDs). Used by the parameter builders of the execute path and by
// every other builder of value Datasets (data at execution, SetPos, bulk
// operations), so that all of them send a C type the same way.
//
// NUMERIC: an SQL_NUMERIC_STRUCT travels as its exact decimal text (value
// type 1, width kNumericTextWidth, written with NumericToText), never as a
// double: a value with more significant digits than a double holds would
// otherwise reach the database altered. NumericToDouble stays for callers
// that need the value as a number.
#include <sql.h>
#include <sqlext.h>

#include <cstddef>
#include <cstdint>
#include <cstring>

struct DatasetCol;

// Reading bound application buffers, shared by every builder above.
// A buffer address moved by a byte count (binding offset, row stride); no buffer stays none.
template <class T, class N>
T *AppBufferAt(T *p, N bytes) {
  return p ? reinterpret_cast<T *>(reinterpret_cast<uintptr_t>(p) + static_cast<uintptr_t>(bytes)) : nullptr;
}
// A length or indicator, which the application's row-wise layout may leave unaligned.
inline int64_t LoadAppLength(const int64_t *p) {
  int64_t v;
  memcpy(&v, p, sizeof v);
  return v;
}
// The length marks a value sent later with SQLPutData.
inline bool IsDataAtExecLength(int64_t length) {
  return length == SQL_DATA_AT_EXEC || length <= SQL_LEN_DATA_AT_EXEC_OFFSET;
}
// C types whose values have a length of their own rather than the type's size.
inline bool IsVariableCType(int16_t cType) {
  return cType == SQL_C_CHAR || cType == SQL_C_WCHAR || cType == SQL_C_BINARY;
}
// Bytes of a piece sent with SQL_NTS: UTF-16 units before the terminator,
// two bytes each, for SQL_C_WCHAR; else bytes before the NUL.
int64_t NtsPieceBytes(int16_t cType, const void *data);

// The arguments of one SQLPutData piece: 0, S1C00 for SQL_DEFAULT_PARAM,
// S1009 for no data with a length or a negative length no piece has.
int32_t PieceArgsCheck(const void *data, int64_t length);

// Cell width of a NUMERIC value's text: sign, 39 digits of the 128-bit value,
// a point and up to 128 zeros that a scale of -128 adds, and room to spare.
constexpr uint32_t kNumericTextWidth = 170;
// Cell width of SBIGINT and UBIGINT values as decimal text.
constexpr uint32_t kBigintTextWidth = 32;
// Cell width of a GUID as text (no terminator).
constexpr uint32_t kGuidTextWidth = 36;

// The value type (ValueType) a C type travels as; *width (when given)
// receives the fixed width of the cell in bytes, 0 for variable-length data.
// SQL_C_DEFAULT, interval and unknown codes travel as character data.
int32_t CTypeToValueType(int16_t cType, uint32_t *width);

// A date, time or timestamp escape clause parsed from text.
struct EscapeValue {
  int32_t kind;  // 0 not an escape this SQL type takes; else VT_DATE, VT_TIME, VT_TIMESTAMP
  SQL_DATE_STRUCT date;
  SQL_TIME_STRUCT time;
  SQL_TIMESTAMP_STRUCT timestamp;
};

// Parses the escape clause at text (len bytes, beginning with its opening
// brace) for a parameter of the SQL type. kind is the structure the SQL type
// takes (DATE 9/91, TIME 10/92, TIMESTAMP 11/93; with SQL type 0 the
// escape's letter decides), filled from the fields the escape has: a time
// escape for a DATE parameter gives the date 0-0-0. kind is 0 for other SQL
// types and for text that is not a "d ", "t " or "ts " escape. Fractions are
// scaled to nanoseconds (".5" is 500000000); digits beyond the ninth are
// dropped. Reads at most the first 50 bytes.
EscapeValue ParseEscape(const char *text, size_t len, int16_t sqlType);
// The same for UTF-16 text of len bytes.
EscapeValue ParseEscapeW(const void *text, size_t len, int16_t sqlType);

// Writes the structure of an escape clause (len bytes of text) to dst, or
// copies the text unchanged (len bytes). The structure is written only when
// the escape is one the SQL type takes and len is at least the structure's
// size (6, or 16 for a timestamp); then col (when given) becomes a column of
// that value type and element size. Returns the value type written, or 0
// when the text was copied.
int32_t ParseDateTimeEscape(void *dst, const char *text, size_t len, DatasetCol *col, int16_t sqlType);
// The same for UTF-16 text; len in bytes, the copy is of the wide text.
int32_t ParseDateTimeEscapeW(void *dst, const void *text, size_t len, DatasetCol *col, int16_t sqlType);

// The escape's value as ISO text for a character column that also holds
// plain text: "YYYY-MM-DD", "HH:MM:SS" or "YYYY-MM-DD HH:MM:SS[.fraction]"
// (the fraction without trailing zeros). At most 40 bytes and a NUL are
// written; returns the text length, 0 when kind is 0.
size_t EscapeToText(const EscapeValue &v, char *out, size_t size);

// The value of a numeric struct as a double: the 16 little-endian value
// bytes divided by 10 to the power of the (signed) scale, negative for sign
// 0. The first len bytes (at most 8) of the double are copied to dst.
void NumericToDouble(void *dst, const SQL_NUMERIC_STRUCT *num, size_t len, DatasetCol *col);

// The exact decimal text of a numeric struct (scale from the struct; a
// negative scale appends zeros), without terminator, at most
// kNumericTextWidth - 1 bytes. Returns the length.
size_t NumericToText(char *dst, const SQL_NUMERIC_STRUCT *num);

// The 36 characters "XXXXXXXX-XXXX-XXXX-XXXX-XXXXXXXXXXXX" (upper-case
// hexadecimal) of a GUID, without terminator.
void GUIDToChar(char *dst, const SQLGUID *guid);
