#pragma once
// Value types of Dataset columns: how each cell of a column is stored.
// n below is the declared size handed to DatasetElemSize.
#include <cstdint>

enum ValueType : int32_t {
  VT_NONE = 0,        // no type (1 byte)
  VT_CHAR = 1,        // fixed-length character data, exactly n bytes, no terminator
  VT_BIT = 2,         // one byte, 0 or 1
  VT_STINYINT = 3,    // signed 8-bit
  VT_SSHORT = 4,      // signed 16-bit
  VT_SLONG = 5,       // signed 32-bit
  VT_UTINYINT = 6,    // unsigned 8-bit
  VT_USHORT = 7,      // unsigned 16-bit
  VT_ULONG = 8,       // unsigned 32-bit
  VT_FLOAT = 9,       // single precision
  VT_DOUBLE = 10,     // double precision
  VT_DATE = 11,       // SQL_DATE_STRUCT
  VT_TIME = 12,       // SQL_TIME_STRUCT
  VT_TIMESTAMP = 13,  // SQL_TIMESTAMP_STRUCT
  VT_BINARY = 14,     // fixed-length binary, exactly n bytes
  VT_LONGCHAR = 15,   // LongValue, length in bytes
  VT_LONGBINARY = 16, // LongValue, length in bytes
  VT_STRING = 17,     // NUL-terminated, at most n bytes (element n + 1)
  VT_VARCHAR1 = 18,   // character data after a 1-byte length
  VT_VARCHAR2 = 19,   // character data after a 2-byte length
  VT_VARCHAR4 = 20,   // character data after a 4-byte length
  VT_VARBIN1 = 21,    // binary data after a 1-byte length
  VT_VARBIN2 = 22,    // binary data after a 2-byte length
  VT_VARBIN4 = 23,    // binary data after a 4-byte length
  VT_WCHAR = 24,      // fixed-length UTF-16, exactly n units
  VT_WSTRING = 25,    // NUL-terminated UTF-16, at most n units
  VT_LONGWCHAR = 26,  // LongValue, length in UTF-16 units
  VT_WVARCHAR4 = 27,  // UTF-16 after a 4-byte length counted in units
};

// The element of the long types 15, 16 and 26. The buffer belongs to the
// column that holds the element.
struct LongValue {
  uint32_t length;  // bytes (15, 16) or UTF-16 units (26)
  void *buffer;     // owned heap buffer, or nullptr
};
static_assert(sizeof(LongValue) == 16, "LongValue is a 16-byte element");
