// Conversions from integer and floating-point data.
#include <charconv>
#include <cmath>
#include <cstring>

#include "odbc/data/convimpl.h"

using convimpl::Fail;
using convimpl::Store;

size_t FormatDouble(char *buffer, size_t size, double x, int digits) {
  if (size == 0) return 0;
  const auto r = std::to_chars(buffer, buffer + size - 1, x, std::chars_format::general, digits);
  const size_t len = r.ec == std::errc() ? size_t(r.ptr - buffer) : 0;
  buffer[len] = '\0';
  return len;
}

namespace {

size_t ShortestText(char *buffer, size_t size, double x, bool isFloat) {
  // The fewest digits that read back as the same value in the source's own
  // type (0.1, not 0.10000000000000001); written out in full while the
  // exponent stays within what 17 digits show, as %g would.
  auto shortest = [&](std::chars_format f) {
    return isFloat ? std::to_chars(buffer, buffer + size - 1, float(x), f)
                   : std::to_chars(buffer, buffer + size - 1, x, f);
  };
  if (size == 0) return 0;
  auto r = shortest(std::chars_format::scientific);
  if (r.ec == std::errc() && std::isfinite(x)) {
    // "d.ddde+XX": the decimal exponent after the 'e'.
    const char *e = static_cast<const char *>(std::memchr(buffer, 'e', size_t(r.ptr - buffer)));
    int exponent = 0;
    for (const char *q = e ? e + 2 : r.ptr; q < r.ptr; ++q) exponent = 10 * exponent + (*q - '0');
    if (e && e[1] == '-') exponent = -exponent;
    if (exponent >= -5 && exponent < 17) {
      const auto fixed = shortest(std::chars_format::fixed);
      if (fixed.ec == std::errc()) r = fixed;
    }
  }
  const size_t len = r.ec == std::errc() ? size_t(r.ptr - buffer) : 0;
  buffer[len] = '\0';
  return len;
}

}  // namespace

SQLRETURN DoubleToNumeric(double x, SQL_NUMERIC_STRUCT *out, SQLSMALLINT scale,
                          SQLSMALLINT precision, int *pending, bool fromFloat) {
  CONV_TRACE("DoubleToNumeric: %e", x);
  if (!std::isfinite(x)) return Fail(pending, E_22003);
  // The digits of the value are those of the shortest text that reads back
  // as the same number in the source's own type: 0.29 is 0.29, not the
  // 0.28999999999999998 that scaling the binary value would truncate to.
  char text[64];
  const auto r = fromFloat ? std::to_chars(text, text + sizeof text, float(x))
                           : std::to_chars(text, text + sizeof text, x);
  if (r.ec != std::errc()) return Fail(pending, E_22003);
  const SQLRETURN rc = convparse::ParseNumeric(convparse::NarrowText(text, size_t(r.ptr - text)),
                                               scale, precision, false, false, out, pending);
  if (rc == SQL_ERROR) return rc;
  if (precision > 15) {
    // More digits asked for than a double is known to carry.
    *pending = E_01S07;
    return SQL_SUCCESS_WITH_INFO;
  }
  return SQL_SUCCESS;
}

namespace {

// Numeric text into a text target. The whole-number part (with its sign)
// must fit with the terminator, else the value is out of range; only
// fraction digits may be cut (01004). Text in exponent form has no part
// that could be cut without changing the number, so it must fit whole.
SQLRETURN NumberText(const char *text, size_t len, size_t whole, SQLSMALLINT cType, void *data,
                     SQLLEN bufLen, SQLLEN *lenPtr, int *pending) {
  const SQLLEN unit = cType == SQL_C_WCHAR ? 2 : 1;
  if (bufLen > 0 && SQLLEN(whole + 1) * unit > bufLen) return Fail(pending, E_22003);
  if (cType == SQL_C_WCHAR)
    return CopyCharToWChar(text, SQLLEN(len), 0, 0, true, true, data, bufLen, lenPtr, pending);
  return CopyCharOut(text, SQLLEN(len), 0, 0, true, true, data, bufLen, lenPtr, pending);
}

size_t WholePartLength(const char *text, size_t len) {
  for (size_t i = 0; i < len; ++i) {
    const char c = text[i];
    if (c == 'e' || c == 'E' || c == 'n' || c == 'i') return len;  // exponent, nan, inf
  }
  for (size_t i = 0; i < len; ++i)
    if (text[i] == '.') return i;
  return len;
}

// An integer of `bits` bits (8, 16 or 32) already widened with its source's
// signedness; raw points at the source's own bytes.
SQLRETURN ConvertInteger(int64_t v, const void *raw, int bits, SQLSMALLINT cType, void *data,
                         SQLLEN bufLen, SQLLEN *lenPtr, int *pending, SQLSMALLINT scale,
                         SQLSMALLINT precision) {
  convimpl::IntTarget it;
  if (convimpl::SmallIntTarget(cType, &it)) {
    // Every value outside the target's range is refused, a negative value
    // into an unsigned type included.
    if (v < it.minimum || v > it.maximum) return Fail(pending, E_22003);
    uint8_t bytes[8];
    convimpl::StoreLow(uint64_t(v), it.size, bytes);
    return Store(bytes, it.size, data, lenPtr);
  }
  switch (cType) {
    case SQL_C_CHAR:
    case SQL_C_WCHAR: {
      char text[24];
      const auto r = std::to_chars(text, text + sizeof text, v);
      const size_t len = size_t(r.ptr - text);
      return NumberText(text, len, len, cType, data, bufLen, lenPtr, pending);
    }
    case SQL_C_BIT: {
      if (v != 0 && v != 1) return Fail(pending, E_22003);
      const uint8_t b = uint8_t(v);
      return Store(&b, 1, data, lenPtr);
    }
    case SQL_C_SBIGINT:
      return Store(&v, 8, data, lenPtr);
    case SQL_C_UBIGINT:
      if (v < 0) return Fail(pending, E_22003);
      return Store(&v, 8, data, lenPtr);
    case SQL_C_FLOAT: {
      const float f = float(v);
      return Store(&f, 4, data, lenPtr);
    }
    case SQL_C_DOUBLE: {
      const double d = double(v);
      return Store(&d, 8, data, lenPtr);
    }
    case SQL_C_BINARY:
      return CopyCharOut(raw, bits / 8, 0, 0, false, false, data, bufLen, lenPtr, pending);
    case SQL_C_NUMERIC: {
      // Defaults of the source width, kept for the precision field.
      const SQLSMALLINT p = precision != 0 ? precision : bits == 8 ? 2 : bits == 16 ? 4 : 9;
      SQL_NUMERIC_STRUCT n;
      const SQLRETURN rc = DoubleToNumeric(double(v), &n, scale, p, pending);
      if (rc == SQL_ERROR) return rc;
      std::memcpy(data, &n, sizeof n);
      convimpl::SetLength(lenPtr, SQLLEN(sizeof n));
      return rc;
    }
    default:
      return Fail(pending, E_07006);
  }
}

// Whether x lies within [lo, hi] exactly, where hi = 2^k - 1 for a k of at
// most 32 (exact in a double). NaN is never in range.
inline bool InRange(double x, double lo, double hi) { return x >= lo && x <= hi; }

// A double (or a widened float: the widening is exact, so comparing in
// double is comparing exactly) into the application's type.
SQLRETURN ConvertFloating(double x, bool isFloat, SQLSMALLINT cType, void *data, SQLLEN bufLen,
                          SQLLEN *lenPtr, int *pending, SQLSMALLINT scale, SQLSMALLINT precision,
                          const void *raw) {
  convimpl::IntTarget it;
  if (convimpl::SmallIntTarget(cType, &it)) {
    // The range is checked before the fraction goes: 127.5 does not fit
    // SQL_C_TINYINT. Limits are exact, so the cast below is always defined.
    if (!InRange(x, double(it.minimum), double(it.maximum))) return Fail(pending, E_22003);
    uint8_t bytes[8];
    convimpl::StoreLow(uint64_t(int64_t(x)), it.size, bytes);
    return Store(bytes, it.size, data, lenPtr);
  }
  switch (cType) {
    case SQL_C_CHAR:
    case SQL_C_WCHAR: {
      char text[40];
      size_t len = ShortestText(text, sizeof text, x, isFloat);
      return NumberText(text, len, WholePartLength(text, len), cType, data, bufLen, lenPtr, pending);
    }
    case SQL_C_BIT: {
      if (x != 0.0 && x != 1.0) return Fail(pending, E_22003);
      const uint8_t b = x == 1.0 ? 1 : 0;
      return Store(&b, 1, data, lenPtr);
    }
    case SQL_C_SBIGINT: {
      // 2^63 itself is out of range: the largest double below it is the
      // largest that converts.
      if (!(x >= -0x1p63 && x < 0x1p63)) return Fail(pending, E_22003);
      const int64_t v = int64_t(x);
      return Store(&v, 8, data, lenPtr);
    }
    case SQL_C_UBIGINT: {
      if (!(x >= 0.0 && x < 0x1p64)) return Fail(pending, E_22003);
      const uint64_t v = uint64_t(x);
      return Store(&v, 8, data, lenPtr);
    }
    case SQL_C_FLOAT: {
      float f;
      if (!convimpl::NarrowToFloat(x, &f)) return Fail(pending, E_22003);
      return Store(&f, 4, data, lenPtr);
    }
    case SQL_C_DOUBLE:
      return Store(&x, 8, data, lenPtr);
    case SQL_C_BINARY:
      return CopyCharOut(raw, isFloat ? 4 : 8, 0, 0, false, false, data, bufLen, lenPtr, pending);
    case SQL_C_NUMERIC: {
      const SQLSMALLINT p = precision != 0 ? precision : isFloat ? 7 : 15;
      SQL_NUMERIC_STRUCT n;
      const SQLRETURN rc = DoubleToNumeric(x, &n, scale, p, pending, isFloat);
      if (rc == SQL_ERROR) return rc;
      std::memcpy(data, &n, sizeof n);
      convimpl::SetLength(lenPtr, SQLLEN(sizeof n));
      return rc;
    }
    default:
      return Fail(pending, E_07006);
  }
}

}  // namespace

SQLRETURN ConvertBYTE(uint8_t value, bool isSigned, SQLSMALLINT cType, void *data, SQLLEN bufLen,
                      SQLLEN *lenPtr, int *pending, SQLSMALLINT scale, SQLSMALLINT precision) {
  CONV_TRACE("ConvertBYTE: retBufferLength(%ld) to %s", long(bufLen), CTypeName(cType));
  const int64_t v = isSigned ? int64_t(int8_t(value)) : int64_t(value);
  return ConvertInteger(v, &value, 8, cType, data, bufLen, lenPtr, pending, scale, precision);
}

SQLRETURN ConvertSHORT(uint16_t value, bool isSigned, SQLSMALLINT cType, void *data, SQLLEN bufLen,
                       SQLLEN *lenPtr, int *pending, SQLSMALLINT scale, SQLSMALLINT precision) {
  const int64_t v = isSigned ? int64_t(int16_t(value)) : int64_t(value);
  CONV_TRACE("ConvertSHORT: value(%ld) to %s", long(v), CTypeName(cType));
  return ConvertInteger(v, &value, 16, cType, data, bufLen, lenPtr, pending, scale, precision);
}

SQLRETURN ConvertLONG(uint32_t value, bool isSigned, SQLSMALLINT cType, void *data, SQLLEN bufLen,
                      SQLLEN *lenPtr, int *pending, SQLSMALLINT scale, SQLSMALLINT precision) {
  const int64_t v = isSigned ? int64_t(int32_t(value)) : int64_t(value);
  return ConvertInteger(v, &value, 32, cType, data, bufLen, lenPtr, pending, scale, precision);
}

SQLRETURN ConvertFLOAT(float value, SQLSMALLINT cType, void *data, SQLLEN bufLen, SQLLEN *lenPtr,
                       int *pending, SQLSMALLINT scale, SQLSMALLINT precision) {
  if (TraceIsOn()) {
    char text[40];
    FormatDouble(text, sizeof text, value, 8);
    TraceODBC("ConvertFLOAT: value (%s) to %s", text, CTypeName(cType));
  }
  return ConvertFloating(double(value), true, cType, data, bufLen, lenPtr, pending, scale,
                         precision, &value);
}

SQLRETURN ConvertDOUBLE(double value, SQLSMALLINT cType, void *data, SQLLEN bufLen,
                        SQLLEN *lenPtr, int *pending, SQLSMALLINT scale, SQLSMALLINT precision) {
  if (TraceIsOn()) {
    char text[40];
    FormatDouble(text, sizeof text, value, 17);
    TraceODBC("ConvertDOUBLE: value (%s) to %s", text, CTypeName(cType));
  }
  return ConvertFloating(value, false, cType, data, bufLen, lenPtr, pending, scale, precision,
                         &value);
}
