#pragma once
// Pieces shared by the conversion families (not for use outside them).
#include <sql.h>
#include <sqlext.h>
#include <sqlucode.h>

#include <cfloat>
#include <cmath>
#include <cstring>

#include "odbc/data/conv.h"
#include "odbc/data/convparse.h"
#include "odbc/data/ctype.h"
#include "odbc/sqlstate.h"
#include "odbc/trace.h"

namespace convimpl {

// Trace lines are formatted only while the ODBC trace is on.
#define CONV_TRACE(...)                  \
  do {                                   \
    if (TraceIsOn()) TraceODBC(__VA_ARGS__); \
  } while (0)

// Longest part of a source text shown in a parser's trace line.
constexpr int kTraceTextMax = 256;
inline int TraceLen(size_t n) { return n > size_t(kTraceTextMax) ? kTraceTextMax : int(n); }

inline SQLRETURN Fail(int *pending, int code) {
  *pending = code;
  return SQL_ERROR;
}

inline void SetLength(SQLLEN *lenPtr, SQLLEN n) {
  if (lenPtr) *lenPtr = n;
}

// A fixed-size result of a parsed text: the copy rule with the destination
// exactly the result's size, so it always fits and reports success with
// information only while an earlier 01004 is pending.
inline SQLRETURN FixedCopy(const void *value, SQLLEN n, void *data, SQLLEN *lenPtr, int *pending) {
  return CopyCharOut(value, n, 0, 0, false, false, data, n, lenPtr, pending);
}

// A fixed-size result of a numeric, date or time value: written whatever the
// buffer length says.
inline SQLRETURN Store(const void *value, SQLLEN n, void *data, SQLLEN *lenPtr) {
  std::memcpy(data, value, size_t(n));
  SetLength(lenPtr, n);
  return SQL_SUCCESS;
}

inline bool IsDateTimeCType(SQLSMALLINT cType) {
  switch (cType) {
    case SQL_C_DATE:
    case SQL_C_TIME:
    case SQL_C_TIMESTAMP:
    case SQL_C_TYPE_DATE:
    case SQL_C_TYPE_TIME:
    case SQL_C_TYPE_TIMESTAMP:
      return true;
    default:
      return false;
  }
}

// The parser a numeric C type takes from text, as trace lines name it
// ("Number" for CharToNumber and WCharToNumber); nullptr for other types.
inline const char *ParserName(SQLSMALLINT cType) {
  switch (cType) {
    case SQL_C_SBIGINT:
    case SQL_C_UBIGINT:
      return "Number64";
    case SQL_C_FLOAT:
    case SQL_C_DOUBLE:
      return "Decimal";
    case SQL_C_NUMERIC:
      return "Numeric";
    case SQL_C_LONG: case SQL_C_SLONG: case SQL_C_ULONG: case SQL_C_SHORT: case SQL_C_SSHORT:
    case SQL_C_USHORT: case SQL_C_TINYINT: case SQL_C_STINYINT: case SQL_C_UTINYINT: case SQL_C_BIT:
      return "Number";
    default:
      return nullptr;
  }
}

// Limits and size of the integer C types up to 32 bits; false for others.
struct IntTarget {
  int64_t minimum;
  int64_t maximum;
  SQLLEN size;
};
inline bool SmallIntTarget(SQLSMALLINT cType, IntTarget *t) {
  switch (cType) {
    case SQL_C_LONG:
    case SQL_C_SLONG:
      *t = {INT32_MIN, INT32_MAX, 4};
      return true;
    case SQL_C_ULONG:
      *t = {0, UINT32_MAX, 4};
      return true;
    case SQL_C_SHORT:
    case SQL_C_SSHORT:
      *t = {INT16_MIN, INT16_MAX, 2};
      return true;
    case SQL_C_USHORT:
      *t = {0, UINT16_MAX, 2};
      return true;
    case SQL_C_TINYINT:
    case SQL_C_STINYINT:
      *t = {INT8_MIN, INT8_MAX, 1};
      return true;
    case SQL_C_UTINYINT:
      *t = {0, UINT8_MAX, 1};
      return true;
    default:
      return false;
  }
}

// Writes the low `size` bytes of v in the machine's order (little-endian).
inline void StoreLow(uint64_t v, SQLLEN size, void *out) { std::memcpy(out, &v, size_t(size)); }

// A double narrowed to SQL_C_FLOAT: finite values beyond float's range are
// refused (the cast would be undefined); infinities and NaN stay what they
// are.
inline bool NarrowToFloat(double d, float *f) {
  if (std::isfinite(d) && std::fabs(d) > double(FLT_MAX)) return false;
  *f = float(d);
  return true;
}

// Text (narrow or UTF-16) into the numeric C types, shared by the two
// character families. Date and time targets are not converted from text.
template <class Text>
SQLRETURN TextToFixed(const Text &t, SQLSMALLINT cType, void *data, SQLLEN *lenPtr, int *pending,
                      SQLSMALLINT scale, SQLSMALLINT precision) {
  IntTarget it;
  if (SmallIntTarget(cType, &it)) {
    uint64_t v;
    if (convparse::ParseInteger(t, it.minimum, uint64_t(it.maximum), &v, pending) != SQL_SUCCESS)
      return SQL_ERROR;
    uint8_t bytes[8];
    StoreLow(v, it.size, bytes);
    return FixedCopy(bytes, it.size, data, lenPtr, pending);
  }
  switch (cType) {
    case SQL_C_BIT: {
      uint64_t v;
      int code = 0;
      if (convparse::ParseInteger(t, 0, 1, &v, &code) != SQL_SUCCESS) return Fail(pending, E_22003);
      const uint8_t b = uint8_t(v);
      return FixedCopy(&b, 1, data, lenPtr, pending);
    }
    case SQL_C_SBIGINT:
    case SQL_C_UBIGINT: {
      uint64_t v;
      const bool isSigned = cType == SQL_C_SBIGINT;
      if (convparse::ParseInteger(t, isSigned ? INT64_MIN : 0, isSigned ? uint64_t(INT64_MAX) : UINT64_MAX,
                                  &v, pending) != SQL_SUCCESS)
        return SQL_ERROR;
      return FixedCopy(&v, 8, data, lenPtr, pending);
    }
    case SQL_C_FLOAT: {
      double d;
      float f;
      if (convparse::ParseDecimal(t, &d, pending) != SQL_SUCCESS) return SQL_ERROR;
      if (!NarrowToFloat(d, &f)) return Fail(pending, E_22003);
      return FixedCopy(&f, 4, data, lenPtr, pending);
    }
    case SQL_C_DOUBLE: {
      double d;
      if (convparse::ParseDecimal(t, &d, pending) != SQL_SUCCESS) return SQL_ERROR;
      return FixedCopy(&d, 8, data, lenPtr, pending);
    }
    case SQL_C_NUMERIC: {
      SQL_NUMERIC_STRUCT n;
      const SQLRETURN rc = convparse::ParseNumeric(t, scale, precision, true, true, &n, pending);
      if (rc == SQL_ERROR) return rc;
      std::memcpy(data, &n, sizeof n);
      SetLength(lenPtr, SQLLEN(sizeof n));
      return rc;
    }
    default:
      return Fail(pending, IsDateTimeCType(cType) ? E_S1C00 : E_07006);
  }
}

}  // namespace convimpl
