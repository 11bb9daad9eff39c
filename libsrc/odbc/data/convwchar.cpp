// Conversions from UTF-16 character data. The numeric targets parse the
// UTF-16 text in place with the same parsers as narrow text.
#include "odbc/data/convimpl.h"

using convparse::WideText;

SQLRETURN WCharToNumber(const void *text, size_t len, int64_t minimum, int64_t maximum,
                        int64_t *out, int *pending) {
  CONV_TRACE("WCharToNumber");
  uint64_t v = 0;
  const SQLRETURN rc =
      convparse::ParseInteger(WideText(text, len), minimum, uint64_t(maximum), &v, pending);
  *out = int64_t(v);
  return rc;
}

SQLRETURN WCharToNumber64(const void *text, size_t len, int64_t minimum, uint64_t maximum,
                          uint64_t *out, int *pending) {
  CONV_TRACE("WCharToNumber64");
  return convparse::ParseInteger(WideText(text, len), minimum, maximum, out, pending);
}

SQLRETURN WCharToDecimal(const void *text, size_t len, double *out, int *pending) {
  CONV_TRACE("WCharToDecimal");
  return convparse::ParseDecimal(WideText(text, len), out, pending);
}

SQLRETURN WCharToNumeric(const void *text, size_t len, SQL_NUMERIC_STRUCT *out,
                         SQLSMALLINT scale, SQLSMALLINT precision, int *pending) {
  CONV_TRACE("WCharToNumeric");
  return convparse::ParseNumeric(WideText(text, len), scale, precision, true, true, out, pending);
}

SQLRETURN ConvertWCHAR(const void *src, SQLLEN srcLen, SQLLEN total, SQLSMALLINT cType, void *data,
                       SQLLEN bufLen, SQLLEN *lenPtr, int *pending, SQLSMALLINT scale,
                       SQLSMALLINT precision, SQLLEN *consumed) {
  CONV_TRACE("ConvertWCHAR: retBufferLength(%ld) to %s", long(bufLen), CTypeName(cType));
  if (srcLen < 0) srcLen = 0;
  if (consumed) *consumed = 0;
  const SQLLEN units = srcLen / 2;
  SQLRETURN rc;
  switch (cType) {
    case SQL_C_CHAR: {
      SQLLEN took = 0;
      rc = CopyWCharToChar(src, units, units, total == SQL_NO_TOTAL ? total : total / 2, true, true,
                           data, bufLen, lenPtr, pending, &took);
      // A stray odd byte at the end belongs to no character; it goes with
      // the last one.
      if (consumed && rc != SQL_ERROR) *consumed = took == units ? srcLen : 2 * took;
      return rc;
    }
    case SQL_C_WCHAR:
      return CopyWCharOut(src, srcLen, srcLen, total, true, true, data, bufLen, lenPtr, pending,
                          consumed);
    case SQL_C_BINARY:
      return CopyCharOut(src, srcLen, srcLen, total, false, true, data, bufLen, lenPtr, pending,
                         consumed);
    case SQL_C_GUID: {
      // As narrow text converts: the same value reads alike in both drivers.
      SQLGUID g;
      if (convparse::ParseGUID(WideText(src, size_t(units)), &g, pending) != SQL_SUCCESS) return SQL_ERROR;
      rc = convimpl::FixedCopy(&g, sizeof g, data, lenPtr, pending);
      if (rc != SQL_ERROR && consumed) *consumed = srcLen;
      return rc;
    }
    default:
      if (const char *parser = convimpl::ParserName(cType)) CONV_TRACE("WCharTo%s", parser);
      rc = convimpl::TextToFixed(WideText(src, size_t(units)), cType, data, lenPtr, pending, scale,
                                 precision);
      if (rc != SQL_ERROR && consumed) *consumed = srcLen;
      return rc;
  }
}
