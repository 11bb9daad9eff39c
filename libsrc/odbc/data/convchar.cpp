// Conversions from narrow character data, and the text parsers.
#include <charconv>
#include <clocale>
#include <cstring>
#include <cstdlib>
#include <locale.h>

#include "odbc/data/convimpl.h"

using convimpl::Fail;
using convparse::NarrowText;

namespace convparse {

double StrtodC(const char *text, char **end) {
  // Plain decimal text, whole and in range, is read by from_chars: both
  // round correctly, so the value is the same, at a fraction of the cost on
  // every fetched number. Anything else (a sign '+', white space, hexadecimal,
  // a value out of range and its errno) is the C library's.
  const size_t n = strlen(text);
  double v = 0;
  const auto r = std::from_chars(text, text + n, v);
  if (r.ec == std::errc() && r.ptr == text + n) {
    *end = const_cast<char *>(r.ptr);
    return v;
  }
  // The application may have set a locale whose decimal separator is a
  // comma; values from the database always use a point.
  static const locale_t cLocale = newlocale(LC_ALL_MASK, "C", locale_t(nullptr));
  return strtod_l(text, end, cLocale);
}

void StoreNumeric(SQL_NUMERIC_STRUCT *out, unsigned __int128 m, bool negative, int64_t precision,
                  int scale) {
  out->precision = SQLCHAR(precision > 255 ? 255 : precision < 0 ? 0 : precision);
  out->scale = SQLSCHAR(scale);
  out->sign = negative && m != 0 ? 0 : 1;
  for (int i = 0; i < SQL_MAX_NUMERIC_LEN; ++i) {
    out->val[i] = SQLCHAR(m & 0xFF);
    m >>= 8;
  }
}

}  // namespace convparse

SQLRETURN CharToNumber(const char *text, size_t len, int64_t minimum, int64_t maximum,
                       int64_t *out, int *pending) {
  CONV_TRACE("CharToNumber: %.*s", convimpl::TraceLen(len), text);
  uint64_t v = 0;
  const SQLRETURN rc =
      convparse::ParseInteger(NarrowText(text, len), minimum, uint64_t(maximum), &v, pending);
  *out = int64_t(v);
  return rc;
}

SQLRETURN CharToNumber64(const char *text, size_t len, int64_t minimum, uint64_t maximum,
                         uint64_t *out, int *pending) {
  CONV_TRACE("CharToNumber64: %.*s", convimpl::TraceLen(len), text);
  return convparse::ParseInteger(NarrowText(text, len), minimum, maximum, out, pending);
}

SQLRETURN CharToDecimal(const char *text, size_t len, double *out, int *pending) {
  CONV_TRACE("CharToDecimal: %.*s", convimpl::TraceLen(len), text);
  return convparse::ParseDecimal(NarrowText(text, len), out, pending);
}

SQLRETURN CharToNumeric(const char *text, size_t len, SQL_NUMERIC_STRUCT *out, SQLSMALLINT scale,
                        SQLSMALLINT precision, int *pending) {
  CONV_TRACE("CharToNumeric: %.*s", convimpl::TraceLen(len), text);
  return convparse::ParseNumeric(NarrowText(text, len), scale, precision, true, true, out, pending);
}

SQLRETURN CharToGUID(const char *text, size_t len, SQLGUID *out, int *pending) {
  return convparse::ParseGUID(NarrowText(text, len), out, pending);
}

SQLRETURN ConvertCHAR(const void *src, SQLLEN srcLen, SQLLEN total, SQLSMALLINT cType, void *data,
                      SQLLEN bufLen, SQLLEN *lenPtr, int *pending, SQLSMALLINT scale,
                      SQLSMALLINT precision, SQLLEN *consumed) {
  CONV_TRACE("ConvertCHAR: retBufferLength(%ld) to %s", long(bufLen), CTypeName(cType));
  if (srcLen < 0) srcLen = 0;
  if (consumed) *consumed = 0;
  SQLRETURN rc;
  switch (cType) {
    case SQL_C_CHAR:
      return CopyCharOut(src, srcLen, srcLen, total, true, true, data, bufLen, lenPtr, pending,
                         consumed);
    case SQL_C_WCHAR:
      return CopyCharToWChar(src, srcLen, srcLen, total, true, true, data, bufLen, lenPtr, pending,
                             consumed);
    case SQL_C_BINARY:
      return CopyCharOut(src, srcLen, srcLen, total, false, true, data, bufLen, lenPtr, pending,
                         consumed);
    case SQL_C_GUID: {
      SQLGUID g;
      if (CharToGUID(static_cast<const char *>(src), size_t(srcLen), &g, pending) != SQL_SUCCESS)
        return SQL_ERROR;
      rc = convimpl::FixedCopy(&g, sizeof g, data, lenPtr, pending);
      break;
    }
    default:
      if (const char *parser = convimpl::ParserName(cType))
        CONV_TRACE("CharTo%s: %.*s", parser, convimpl::TraceLen(size_t(srcLen)),
                   static_cast<const char *>(src));
      rc = convimpl::TextToFixed(NarrowText(src, size_t(srcLen)), cType, data, lenPtr, pending,
                                 scale, precision);
      break;
  }
  if (rc != SQL_ERROR && consumed) *consumed = srcLen;
  return rc;
}
