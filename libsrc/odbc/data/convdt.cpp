// Conversions from binary, date, time and timestamp data.
#include <cstdio>
#include <cstdlib>

#include "odbc/data/convimpl.h"

using convimpl::Fail;
using convimpl::Store;

namespace {

constexpr char kHexDigits[] = "0123456789ABCDEF";

// A date-time text into a text target. Dates and times must fit whole;
// timestamps may lose the end of their fraction (cutAllowed).
SQLRETURN DateTimeText(const char *text, size_t len, bool cutAllowed, SQLSMALLINT cType, void *data,
                       SQLLEN bufLen, SQLLEN *lenPtr, int *pending) {
  if (cType == SQL_C_WCHAR)
    return CopyCharToWChar(text, SQLLEN(len), 0, 0, true, cutAllowed, data, bufLen, lenPtr, pending);
  return CopyCharOut(text, SQLLEN(len), 0, 0, true, cutAllowed, data, bufLen, lenPtr, pending);
}

inline unsigned Cap(unsigned v, unsigned max) { return v > max ? max : v; }

// The year keeps its sign (BC dates are negative years); at most four digits.
inline int FormatYear(char *out, size_t size, int year) {
  const unsigned magnitude = Cap(unsigned(std::abs(year)), 9999);
  return std::snprintf(out, size, "%s%04u", year < 0 ? "-" : "", magnitude);
}

// A value stored with part of it cut off: 01S07.
SQLRETURN Truncated(bool cut, int *pending) {
  if (!cut) return SQL_SUCCESS;
  *pending = E_01S07;
  return SQL_SUCCESS_WITH_INFO;
}

}  // namespace

SQLRETURN ConvertBINARY(const void *src, SQLLEN srcLen, SQLLEN total, SQLSMALLINT cType,
                        void *data, SQLLEN bufLen, SQLLEN *lenPtr, int *pending, SQLLEN *consumed) {
  CONV_TRACE("ConvertBINARY: retBufferLength(%ld) to %s", long(bufLen), CTypeName(cType));
  if (srcLen < 0) srcLen = 0;
  if (bufLen < 0) bufLen = 0;
  if (total < 0 && total != SQL_NO_TOTAL) total = 0;
  if (consumed) *consumed = 0;
  if (cType == SQL_C_BINARY)
    return CopyCharOut(src, srcLen, srcLen, total, false, true, data, bufLen, lenPtr, pending,
                       consumed);
  if (cType != SQL_C_CHAR && cType != SQL_C_WCHAR) return Fail(pending, E_07006);

  // Two hexadecimal digits per byte, narrow or UTF-16.
  const SQLLEN unit = cType == SQL_C_WCHAR ? 2 : 1;
  const SQLLEN whole = total == 0 ? srcLen : total;
  convimpl::SetLength(lenPtr, whole == SQL_NO_TOTAL ? SQL_NO_TOTAL : 2 * unit * whole);
  if (bufLen == 0) {
    *pending = E_01004;
    return SQL_SUCCESS_WITH_INFO;
  }
  SQLLEN n = srcLen;
  if (bufLen < 2 * unit * srcLen + unit) {
    *pending = E_01004;
    n = (bufLen - unit) / (2 * unit);
    if (n < 0) n = 0;
  } else if (total != SQL_NO_TOTAL && total > srcLen) {
    *pending = E_01004;
  }
  const auto *s = static_cast<const uint8_t *>(src);
  if (unit == 1) {
    auto *d = static_cast<char *>(data);
    for (SQLLEN i = 0; i < n; ++i) {
      d[2 * i] = kHexDigits[s[i] >> 4];
      d[2 * i + 1] = kHexDigits[s[i] & 0xF];
    }
    if (2 * n < bufLen) d[2 * n] = '\0';
  } else {
    for (SQLLEN i = 0; i < n; ++i) {
      utf16_store(data, size_t(2 * i), uint16_t(kHexDigits[s[i] >> 4]));
      utf16_store(data, size_t(2 * i + 1), uint16_t(kHexDigits[s[i] & 0xF]));
    }
    if (4 * n + 2 <= bufLen) utf16_store(data, size_t(2 * n), 0);
  }
  if (consumed) *consumed = n;
  return *pending == E_01004 ? SQL_SUCCESS_WITH_INFO : SQL_SUCCESS;
}

SQLRETURN ConvertDATE(const SQL_DATE_STRUCT &value, SQLSMALLINT cType, void *data, SQLLEN bufLen,
                      SQLLEN *lenPtr, int *pending) {
  CONV_TRACE("ConvertDATE: retBufferLength(%ld) to %s", long(bufLen), CTypeName(cType));
  switch (cType) {
    case SQL_C_CHAR:
    case SQL_C_WCHAR: {
      char text[32];
      int len = FormatYear(text, sizeof text, value.year);
      len += std::snprintf(text + len, sizeof text - size_t(len), "-%02u-%02u",
                           Cap(value.month, 99), Cap(value.day, 99));
      return DateTimeText(text, size_t(len), false, cType, data, bufLen, lenPtr, pending);
    }
    case SQL_C_DATE:
    case SQL_C_TYPE_DATE:
      return Store(&value, sizeof value, data, lenPtr);
    case SQL_C_TIMESTAMP:
    case SQL_C_TYPE_TIMESTAMP: {
      SQL_TIMESTAMP_STRUCT ts{};
      ts.year = value.year;
      ts.month = value.month;
      ts.day = value.day;
      return Store(&ts, sizeof ts, data, lenPtr);
    }
    case SQL_C_BINARY:
      return CopyCharOut(&value, sizeof value, 0, 0, false, true, data, bufLen, lenPtr, pending);
    default:
      return Fail(pending, E_07006);
  }
}

SQLRETURN ConvertTIME(const SQL_TIME_STRUCT &value, SQLSMALLINT cType, void *data, SQLLEN bufLen,
                      SQLLEN *lenPtr, int *pending) {
  CONV_TRACE("ConvertTIME: retBufferLength(%ld) to %s", long(bufLen), CTypeName(cType));
  switch (cType) {
    case SQL_C_CHAR:
    case SQL_C_WCHAR: {
      char text[32];
      const int len = std::snprintf(text, sizeof text, "%02u:%02u:%02u", Cap(value.hour, 99),
                                    Cap(value.minute, 99), Cap(value.second, 99));
      return DateTimeText(text, size_t(len), false, cType, data, bufLen, lenPtr, pending);
    }
    case SQL_C_TIME:
    case SQL_C_TYPE_TIME:
      return Store(&value, sizeof value, data, lenPtr);
    case SQL_C_TIMESTAMP:
    case SQL_C_TYPE_TIMESTAMP: {
      SQL_TIMESTAMP_STRUCT ts{};
      ts.hour = value.hour;
      ts.minute = value.minute;
      ts.second = value.second;
      return Store(&ts, sizeof ts, data, lenPtr);
    }
    case SQL_C_BINARY:
      return CopyCharOut(&value, sizeof value, 0, 0, false, true, data, bufLen, lenPtr, pending);
    default:
      return Fail(pending, E_07006);
  }
}

SQLRETURN ConvertTIMESTAMP(const SQL_TIMESTAMP_STRUCT &value, SQLSMALLINT cType, void *data,
                           SQLLEN bufLen, SQLLEN *lenPtr, int *pending, SQLSMALLINT scale) {
  CONV_TRACE("ConvertTIMESTAMP: precision,scale (%ld,%ld) to %s", long(bufLen), long(scale),
             CTypeName(cType));
  switch (cType) {
    case SQL_C_CHAR:
    case SQL_C_WCHAR: {
      char text[64];
      int len = FormatYear(text, sizeof text, value.year);
      len += std::snprintf(text + len, sizeof text - size_t(len), "-%02u-%02u %02u:%02u:%02u",
                           Cap(value.month, 99), Cap(value.day, 99), Cap(value.hour, 99),
                           Cap(value.minute, 99), Cap(value.second, 99));
      if (scale > 0) {
        // Nine digits of billionths; trailing zeros go while more than the
        // scale's digits remain.
        char fraction[16];
        std::snprintf(fraction, sizeof fraction, "%09u", unsigned(value.fraction % 1000000000u));
        int digits = 9;
        const int keep = scale > 9 ? 9 : scale;
        while (digits > keep && fraction[digits - 1] == '0') --digits;
        len += std::snprintf(text + len, sizeof text - size_t(len), ".%.*s", digits, fraction);
      }
      CONV_TRACE("ConvertTIMESTAMP temBuf string = %s", text);
      return DateTimeText(text, size_t(len), true, cType, data, bufLen, lenPtr, pending);
    }
    case SQL_C_DATE:
    case SQL_C_TYPE_DATE: {
      // A time of day that goes is a fractional truncation.
      SQL_DATE_STRUCT d{value.year, value.month, value.day};
      Store(&d, sizeof d, data, lenPtr);
      return Truncated(value.hour || value.minute || value.second || value.fraction, pending);
    }
    case SQL_C_TIME:
    case SQL_C_TYPE_TIME: {
      SQL_TIME_STRUCT t{value.hour, value.minute, value.second};
      Store(&t, sizeof t, data, lenPtr);
      return Truncated(value.fraction != 0, pending);
    }
    case SQL_C_TIMESTAMP:
    case SQL_C_TYPE_TIMESTAMP:
      return Store(&value, sizeof value, data, lenPtr);
    case SQL_C_BINARY:
      return CopyCharOut(&value, sizeof value, 0, 0, false, true, data, bufLen, lenPtr, pending);
    default:
      return Fail(pending, E_07006);
  }
}
