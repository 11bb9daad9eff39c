#include "odbc/data/ctype.h"

#include <cstring>

#include "odbc/sqlstate.h"
#include "util/utf.h"

SQLSMALLINT DefaultCType(SQLSMALLINT sqlType, int odbcVersion) {
  const bool v3 = odbcVersion == 3;
  switch (sqlType) {
    case SQL_CHAR:
    case SQL_VARCHAR:
    case SQL_LONGVARCHAR:
    case SQL_NUMERIC:
    case SQL_DECIMAL:
    case SQL_GUID:
      return SQL_C_CHAR;
    case SQL_WCHAR:
    case SQL_WVARCHAR:
    case SQL_WLONGVARCHAR:
      return SQL_C_WCHAR;
    case SQL_BIT:
      return SQL_C_BIT;
    case SQL_TINYINT:
      return SQL_C_TINYINT;
    case SQL_BIGINT:
      return v3 ? SQL_C_SBIGINT : SQL_C_CHAR;
    case SQL_BINARY:
    case SQL_VARBINARY:
    case SQL_LONGVARBINARY:
      return SQL_C_BINARY;
    case SQL_INTEGER:
      return SQL_C_LONG;
    case SQL_SMALLINT:
      return SQL_C_SHORT;
    case SQL_REAL:
      return SQL_C_FLOAT;
    case SQL_FLOAT:
    case SQL_DOUBLE:
      return SQL_C_DOUBLE;
    case SQL_DATE:
      return v3 ? SQL_C_TYPE_DATE : SQL_C_DATE;
    case SQL_TIME:
      return v3 ? SQL_C_TYPE_TIME : SQL_C_TIME;
    case SQL_TIMESTAMP:
      return v3 ? SQL_C_TYPE_TIMESTAMP : SQL_C_TIMESTAMP;
    default:
      return sqlType;  // SQL_TYPE_DATE/TIME/TIMESTAMP and unknown codes
  }
}

SQLLEN CTypeSize(SQLSMALLINT cType) {
  switch (cType) {
    case SQL_C_NUMERIC:
      return 19;
    case SQL_C_LONG:
    case SQL_C_FLOAT:
    case SQL_C_ULONG:
    case SQL_C_SLONG:
      return 4;
    case SQL_C_SHORT:
    case SQL_C_USHORT:
    case SQL_C_SSHORT:
      return 2;
    case SQL_C_DOUBLE:
    case SQL_C_UBIGINT:
    case SQL_C_SBIGINT:
      return 8;
    case SQL_C_DATE:
    case SQL_C_TIME:
    case SQL_C_TYPE_DATE:
    case SQL_C_TYPE_TIME:
      return 6;
    case SQL_C_TIMESTAMP:
    case SQL_C_TYPE_TIMESTAMP:
    case SQL_C_GUID:
      return 16;
    case SQL_C_UTINYINT:
    case SQL_C_STINYINT:
    case SQL_C_BIT:
    case SQL_C_TINYINT:
      return 1;
    default:
      return 0;
  }
}

namespace {
constexpr const char *kUnknownCType = "(unknown type)";
}  // namespace

const char *CTypeName(SQLSMALLINT cType) {
  switch (cType) {
    case SQL_C_CHAR: return "SQL_C_CHAR";
    case SQL_C_NUMERIC: return "SQL_C_NUMERIC";
    case SQL_C_LONG: return "SQL_C_LONG";
    case SQL_C_SHORT: return "SQL_C_SHORT";
    case SQL_C_FLOAT: return "SQL_C_FLOAT";
    case SQL_C_DOUBLE: return "SQL_C_DOUBLE";
    case SQL_C_DATE: return "SQL_C_DATE";
    case SQL_C_TIME: return "SQL_C_TIME";
    case SQL_C_TIMESTAMP: return "SQL_C_TIMESTAMP";
    case SQL_C_TYPE_DATE: return "SQL_C_TYPE_DATE";
    case SQL_C_TYPE_TIME: return "SQL_C_TYPE_TIME";
    case SQL_C_TYPE_TIMESTAMP: return "SQL_C_TYPE_TIMESTAMP";
    case SQL_C_UTINYINT: return "SQL_C_UTINYINT";
    case SQL_C_UBIGINT: return "SQL_C_UBIGINT";
    case SQL_C_STINYINT: return "SQL_C_STINYINT";
    case SQL_C_SBIGINT: return "SQL_C_SBIGINT";
    case SQL_C_ULONG: return "SQL_C_ULONG";
    case SQL_C_USHORT: return "SQL_C_USHORT";
    case SQL_C_SLONG: return "SQL_C_SLONG";
    case SQL_C_SSHORT: return "SQL_C_SSHORT";
    case SQL_C_GUID: return "SQL_C_GUID";
    case SQL_C_WCHAR: return "SQL_C_WCHAR";
    case SQL_C_BIT: return "SQL_C_BIT";
    case SQL_C_TINYINT: return "SQL_C_TINYINT";
    case SQL_C_BINARY: return "SQL_C_BINARY";
    default: return kUnknownCType;
  }
}

bool CTypeKnown(SQLSMALLINT cType) {
  if (cType == SQL_C_DEFAULT) return true;
  if (cType >= SQL_C_INTERVAL_YEAR && cType <= SQL_C_INTERVAL_MINUTE_TO_SECOND) return true;
  return CTypeName(cType) != kUnknownCType;
}

namespace {

inline SQLLEN NonNegative(SQLLEN n) { return n < 0 ? 0 : n; }

// A negative total other than "not known" carries no length: the part in
// hand is then taken as the whole value.
inline SQLLEN Total(SQLLEN total) { return total < 0 && total != SQL_NO_TOTAL ? 0 : total; }

// Whether part of the value may still come after this piece: a total that
// is not known may hide more (the reader tells the total exactly by the last
// piece).
inline bool MoreToCome(SQLLEN pieceLen, SQLLEN total) {
  return total == SQL_NO_TOTAL || total > pieceLen;
}

// Whether the whole rest of the value is in hand, so that its converted
// length can be counted.
inline bool WholeInHand(SQLLEN pieceLen, SQLLEN total) {
  return total == 0 || (total != SQL_NO_TOTAL && total <= pieceLen);
}

inline SQLRETURN CopyResult(const int *pending) {
  return *pending == E_01004 ? SQL_SUCCESS_WITH_INFO : SQL_SUCCESS;
}

inline void Report(SQLLEN *p, SQLLEN v) {
  if (p) *p = v;
}

// What every copy rule checks before it copies: a value that needs more than
// the buffer where no cut is allowed fails (22003) before any length is
// reported; otherwise the length goes out, and a buffer of no bytes takes
// nothing (01004). Returns that row, or 0 when the copy goes ahead.
inline int CopyAdmit(SQLLEN need, SQLLEN dstLen, bool cutAllowed, SQLLEN *lenPtr, SQLLEN length) {
  if (need > dstLen && dstLen > 0 && !cutAllowed) return E_22003;
  Report(lenPtr, length);
  return dstLen == 0 ? E_01004 : 0;
}

// The result of a copy that stopped at those checks.
inline SQLRETURN CopyRefused(int code, int *pending) {
  *pending = code;
  return code == E_22003 ? SQL_ERROR : SQL_SUCCESS_WITH_INFO;
}

}  // namespace

SQLRETURN CopyCharOut(const void *src, SQLLEN srcLen, SQLLEN pieceLen, SQLLEN total, bool terminate,
                      bool cutAllowed, void *dst, SQLLEN dstLen, SQLLEN *lenPtr, int *pending,
                      SQLLEN *consumed) {
  total = Total(total);
  srcLen = NonNegative(srcLen);
  dstLen = NonNegative(dstLen);
  const SQLLEN term = terminate ? 1 : 0;
  const SQLLEN need = srcLen + term;
  const bool more = MoreToCome(pieceLen, total);
  const auto *s = static_cast<const uint8_t *>(src);
  Report(consumed, 0);

  if (const int code = CopyAdmit(need, dstLen, cutAllowed, lenPtr, total != 0 ? total : srcLen))
    return CopyRefused(code, pending);
  SQLLEN n = srcLen;
  if (need > dstLen) {
    *pending = E_01004;
    n = dstLen - term;
  } else if (more) {
    *pending = E_01004;
  }
  if (terminate && n > 0 && (n < srcLen || more)) {
    // Text ends on a character boundary. Only a buffer too small for even
    // one character gets part of it, so that the value still advances; the
    // parts joined are the exact bytes either way.
    const SQLLEN whole = SQLLEN(utf8_cut_point(s, size_t(srcLen), size_t(n)));
    if (whole > 0) n = whole;
  }
  if (n > 0) std::memcpy(dst, s, size_t(n));
  if (terminate && n < dstLen) static_cast<char *>(dst)[n] = '\0';
  Report(consumed, n);
  return CopyResult(pending);
}

SQLRETURN CopyWCharOut(const void *src, SQLLEN srcLen, SQLLEN pieceLen, SQLLEN total,
                       bool terminate, bool cutAllowed, void *dst, SQLLEN dstLen, SQLLEN *lenPtr,
                       int *pending, SQLLEN *consumed) {
  total = Total(total);
  srcLen = NonNegative(srcLen);
  dstLen = NonNegative(dstLen);
  const SQLLEN term = terminate ? 2 : 0;
  const SQLLEN need = srcLen + term;
  const bool more = MoreToCome(pieceLen, total);
  Report(consumed, 0);

  if (const int code = CopyAdmit(need, dstLen, cutAllowed, lenPtr, total != 0 ? total : srcLen))
    return CopyRefused(code, pending);
  SQLLEN n = srcLen;
  if (need > dstLen) {
    *pending = E_01004;
    n = NonNegative(dstLen - term) & ~SQLLEN(1);
    // Keep a surrogate pair together: a high surrogate whose partner did not
    // fit goes with the next part (unless it is all the buffer can take).
    if (n >= 4 && n + 2 <= srcLen && utf16_is_high(utf16_load(src, n / 2 - 1)) &&
        utf16_is_low(utf16_load(src, n / 2)))
      n -= 2;
  } else if (more) {
    *pending = E_01004;
    // The partner of a trailing high surrogate is in the next piece.
    const SQLLEN even = n & ~SQLLEN(1);
    if (even >= 4 && utf16_is_high(utf16_load(src, even / 2 - 1))) n = even - 2;
  }
  if (n > 0) std::memcpy(dst, src, size_t(n));
  if (terminate && n + 2 <= dstLen) {
    auto *d = static_cast<uint8_t *>(dst) + n;
    d[0] = d[1] = 0;
  }
  Report(consumed, n);
  return CopyResult(pending);
}

SQLRETURN CopyWCharToChar(const void *src, SQLLEN srcLen, SQLLEN pieceLen, SQLLEN total,
                          bool terminate, bool cutAllowed, void *dst, SQLLEN dstLen,
                          SQLLEN *lenPtr, int *pending, SQLLEN *consumed) {
  total = Total(total);
  srcLen = NonNegative(srcLen);
  dstLen = NonNegative(dstLen);
  const bool more = MoreToCome(pieceLen, total);
  Report(consumed, 0);

  // Units in hand that can be converted now: a high surrogate at the end of
  // a piece waits for its partner.
  size_t units = size_t(srcLen);
  if (more && units > 0 && utf16_is_high(utf16_load(src, units - 1))) --units;
  const SQLLEN bytes = SQLLEN(utf16_value_bytes(src, units));
  const SQLLEN term = terminate ? 1 : 0;
  const SQLLEN need = bytes + term;

  if (const int code = CopyAdmit(need, dstLen, cutAllowed, lenPtr, WholeInHand(pieceLen, total) ? bytes : SQL_NO_TOTAL))
    return CopyRefused(code, pending);
  size_t limit = size_t(bytes);
  if (need > dstLen) {
    *pending = E_01004;
    limit = size_t(dstLen - term);
  } else if (more || units < size_t(srcLen)) {
    *pending = E_01004;
  }
  size_t took = 0;
  const size_t w = utf16_value_to_utf8(src, units, static_cast<uint8_t *>(dst), limit, &took);
  if (terminate && SQLLEN(w) < dstLen) static_cast<char *>(dst)[w] = '\0';
  Report(consumed, SQLLEN(took));
  return CopyResult(pending);
}

SQLRETURN CopyCharToWChar(const void *src, SQLLEN srcLen, SQLLEN pieceLen, SQLLEN total,
                          bool terminate, bool cutAllowed, void *dst, SQLLEN dstLen,
                          SQLLEN *lenPtr, int *pending, SQLLEN *consumed) {
  total = Total(total);
  srcLen = NonNegative(srcLen);
  dstLen = NonNegative(dstLen);
  const bool more = MoreToCome(pieceLen, total);
  const auto *s = static_cast<const uint8_t *>(src);
  Report(consumed, 0);

  // Bytes in hand that can be converted now: an incomplete sequence at the
  // end of a piece waits for the rest of its bytes.
  size_t inHand = size_t(srcLen);
  if (more) inHand = utf8_cut_point(s, inHand, inHand);
  const SQLLEN units = SQLLEN(utf8_value_units(s, inHand));
  const SQLLEN term = terminate ? 2 : 0;
  const SQLLEN need = 2 * units + term;

  if (const int code =
          CopyAdmit(need, dstLen, cutAllowed, lenPtr, WholeInHand(pieceLen, total) ? 2 * units : SQL_NO_TOTAL))
    return CopyRefused(code, pending);
  size_t limit = size_t(units);
  if (need > dstLen) {
    *pending = E_01004;
    limit = size_t(NonNegative(dstLen - term) / 2);
  } else if (more || inHand < size_t(srcLen)) {
    *pending = E_01004;
  }
  size_t took = 0;
  const size_t w = utf8_value_to_utf16(s, inHand, dst, limit, &took);
  if (terminate && SQLLEN(2 * w) + 2 <= dstLen) utf16_store(dst, w, 0);
  Report(consumed, SQLLEN(took));
  return CopyResult(pending);
}

int HexDigitValue(int c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

int HexToBinary(void *dst, const char *hex, size_t len) {
  auto *d = static_cast<uint8_t *>(dst);
  for (size_t i = 0; i < len / 2; ++i) {
    const int hi = HexDigitValue(static_cast<unsigned char>(hex[2 * i]));
    const int lo = HexDigitValue(static_cast<unsigned char>(hex[2 * i + 1]));
    if (hi < 0 || lo < 0) return E_22005;
    d[i] = uint8_t(hi * 16 + lo);
  }
  return len % 2 ? E_22005 : 0;
}
