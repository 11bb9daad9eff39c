#pragma once
// The text parsers behind the character and wide character conversions,
// written once over a unit reader so that UTF-16 text is parsed in place,
// without a converted copy per cell. Every character class here is the C
// locale's, whatever locale the application set.
#include <sql.h>
#include <sqlext.h>

#include <algorithm>
#include <cerrno>
#include <cstddef>
#include <cstdint>
#include <cstring>

#include "odbc/data/ctype.h"
#include "odbc/sqlstate.h"
#include "util/utf.h"

namespace convparse {

// Narrow text: bytes with an explicit length.
struct NarrowText {
  const unsigned char *p;
  size_t n;
  NarrowText(const void *text, size_t len) : p(static_cast<const unsigned char *>(text)), n(len) {}
  uint32_t operator[](size_t i) const { return p[i]; }
};

// UTF-16 text of len units, read unaligned; a NUL unit ends it.
struct WideText {
  const void *p;
  size_t n;
  WideText(const void *text, size_t len) : p(text), n(0) {
    while (n < len && utf16_load(text, n) != 0) ++n;
  }
  uint32_t operator[](size_t i) const { return utf16_load(p, i); }
};

inline bool IsSpace(uint32_t c) { return c == ' ' || (c >= '\t' && c <= '\r'); }
inline bool IsDigit(uint32_t c) { return c >= '0' && c <= '9'; }

// Integer within [minimum, maximum] (maximum >= 0). The result's bits go to
// *out (two's complement for a negative value). Leading and trailing white
// space are allowed, one sign before the digits.
template <class Text>
SQLRETURN ParseInteger(const Text &t, int64_t minimum, uint64_t maximum, uint64_t *out,
                       int *pending) {
  size_t i = 0;
  while (i < t.n && IsSpace(t[i])) ++i;
  bool negative = false;
  if (i < t.n && (t[i] == '+' || t[i] == '-')) {
    negative = t[i] == '-';
    ++i;
  }
  const uint64_t limit = negative ? (minimum < 0 ? uint64_t(0) - uint64_t(minimum) : 0) : maximum;
  const uint64_t limit10 = limit / 10, limitDigit = limit % 10;
  uint64_t value = 0;
  bool digits = false, overflow = false;
  for (; i < t.n && IsDigit(t[i]); ++i) {
    const uint64_t d = t[i] - '0';
    digits = true;
    if (overflow || value > limit10 || (value == limit10 && d > limitDigit))
      overflow = true;
    else
      value = value * 10 + d;
  }
  while (i < t.n && IsSpace(t[i])) ++i;
  if (i != t.n || !digits) {
    *out = value;
    *pending = E_22005;
    return SQL_ERROR;
  }
  if (overflow) {
    *out = negative ? uint64_t(minimum) : maximum;
    *pending = E_22003;
    return SQL_ERROR;
  }
  *out = negative ? uint64_t(0) - value : value;
  return SQL_SUCCESS;
}

// Floating-point text, read by the C library in the "C" locale. The text is
// copied into a bounded buffer without one leading '$' and without ','
// characters; leading white space is allowed, trailing is not. A value too
// large for a double is out of range; one too small reads as its nearest
// double.
double StrtodC(const char *text, char **end);

template <class Text>
SQLRETURN ParseDecimal(const Text &t, double *out, int *pending) {
  constexpr size_t kMax = 512;
  if (t.n > kMax) {
    *pending = E_22003;
    return SQL_ERROR;
  }
  char buf[kMax + 1];
  size_t w = 0;
  for (size_t i = 0; i < t.n; ++i) {
    const uint32_t c = t[i];
    if ((i == 0 && c == '$') || c == ',') continue;
    // Anything outside ASCII cannot belong to a number; a control byte
    // stops the C library's parse there, so the text is refused.
    buf[w++] = c < 0x80 ? char(c) : '\x01';
  }
  buf[w] = '\0';
  char *end = nullptr;
  errno = 0;
  const double v = StrtodC(buf, &end);
  if (end == buf || size_t(end - buf) != w) {
    *pending = E_22005;
    return SQL_ERROR;
  }
  if (errno == ERANGE && (v > 1.0 || v < -1.0)) {
    *pending = E_22003;
    return SQL_ERROR;
  }
  *out = v;
  return SQL_SUCCESS;
}

// Stores a 128-bit magnitude, its sign, precision and scale.
void StoreNumeric(SQL_NUMERIC_STRUCT *out, unsigned __int128 m, bool negative, int64_t precision,
                  int scale);

// Decimal text [sign] digits [. digits] [e [sign] digits], white space
// around it, into a scaled 128-bit integer M = trunc(|value| * 10^scale).
// precision 0 works the precision out from the text (its mantissa digits,
// at least the integer digits of the value). With checkPrecision, a value
// with more integer digits than the precision is out of range and digits
// beyond the precision are dropped; dropped nonzero digits give 01S07 when
// reportFraction is set. M must fit in 128 bits.
template <class Text>
SQLRETURN ParseNumeric(const Text &t, int scale, int precision, bool checkPrecision,
                       bool reportFraction, SQL_NUMERIC_STRUCT *out, int *pending) {
  using u128 = unsigned __int128;
  constexpr size_t kNone = SIZE_MAX;
  if (scale < -128) scale = -128;
  if (scale > 127) scale = 127;

  size_t i = 0;
  while (i < t.n && IsSpace(t[i])) ++i;
  bool negative = false;
  if (i < t.n && (t[i] == '+' || t[i] == '-')) {
    negative = t[i] == '-';
    ++i;
  }
  const size_t mantBegin = i;
  size_t digits = 0, intDigits = 0, firstNonZero = kNone;
  bool point = false;
  for (; i < t.n; ++i) {
    const uint32_t c = t[i];
    if (IsDigit(c)) {
      if (c != '0' && firstNonZero == kNone) firstNonZero = digits;
      ++digits;
      if (!point) ++intDigits;
    } else if (c == '.' && !point) {
      point = true;
    } else {
      break;
    }
  }
  const size_t mantEnd = i;
  int64_t exponent = 0;
  bool bad = digits == 0;
  if (!bad && i < t.n && (t[i] == 'e' || t[i] == 'E')) {
    ++i;
    bool expNegative = false;
    if (i < t.n && (t[i] == '+' || t[i] == '-')) {
      expNegative = t[i] == '-';
      ++i;
    }
    size_t expDigits = 0;
    for (; i < t.n && IsDigit(t[i]); ++i, ++expDigits)
      if (exponent < 1000000000) exponent = exponent * 10 + (t[i] - '0');  // saturates
    if (expDigits == 0) bad = true;
    if (expNegative) exponent = -exponent;
  }
  while (i < t.n && IsSpace(t[i])) ++i;
  if (bad || i != t.n) {
    *pending = E_22005;
    return SQL_ERROR;
  }

  // The decimal point sits after `point10` mantissa digits; digit j weighs
  // 10^(point10 - 1 - j).
  const int64_t point10 = int64_t(intDigits) + exponent;
  const int64_t integerDigits =
      firstNonZero != kNone && int64_t(firstNonZero) < point10 ? point10 - int64_t(firstNonZero) : 0;
  const int64_t mantissaDigits = digits < 38 ? int64_t(digits) : 38;
  const int64_t p = precision > 0 ? precision : std::max(integerDigits, mantissaDigits);
  if (checkPrecision && integerDigits > p) {
    *pending = E_22003;
    return SQL_ERROR;
  }

  u128 m = 0;
  bool overflow = false, dropped = false;
  constexpr u128 kMax = ~u128(0);
  auto mulAdd = [&](unsigned d) {
    if (m > (kMax - d) / 10) return false;
    m = m * 10 + d;
    return true;
  };
  if (firstNonZero != kNone) {
    size_t j = 0;
    for (size_t pos = mantBegin; pos < mantEnd && !overflow; ++pos) {
      const uint32_t c = t[pos];
      if (c == '.') continue;
      if (j >= firstNonZero) {
        const int64_t w = point10 - 1 - int64_t(j) + scale;
        if (w >= 0) {
          overflow = !mulAdd(c - '0');
        } else if (c != '0') {
          dropped = true;
          break;
        }
      }
      ++j;
    }
    // Zeros implied by the exponent after the last digit.
    for (int64_t w = point10 - int64_t(digits) + scale; w > 0 && !overflow; --w) overflow = !mulAdd(0);
  }
  if (overflow) {
    *pending = E_22003;
    return SQL_ERROR;
  }
  if (checkPrecision && p < 39) {
    u128 limit = 1;
    for (int64_t k = 0; k < p; ++k) limit *= 10;
    if (m >= limit) {
      // More significant digits than the precision: the integer part fits
      // (checked above), so the surplus is fraction and goes.
      u128 div = 1;
      while (m / div >= limit) div *= 10;
      if (m % div != 0) dropped = true;
      m = m / div * div;
    }
  }
  StoreNumeric(out, m, negative, p, scale);
  if (dropped && reportFraction) {
    *pending = E_01S07;
    return SQL_SUCCESS_WITH_INFO;
  }
  return SQL_SUCCESS;
}

// "xxxxxxxx-xxxx-xxxx-xxxx-xxxxxxxxxxxx" into a GUID.
template <class Text>
SQLRETURN ParseGUID(const Text &t, SQLGUID *out, int *pending) {
  if (t.n != 36) {
    *pending = E_22026;
    return SQL_ERROR;
  }
  if (t[8] != '-' || t[13] != '-' || t[18] != '-' || t[23] != '-') {
    *pending = E_22005;
    return SQL_ERROR;
  }
  auto hex = [&](size_t from, size_t count, uint64_t *v) {
    *v = 0;
    for (size_t k = from; k < from + count; ++k) {
      const uint32_t c = t[k];
      const int d = c < 0x80 ? HexDigitValue(int(c)) : -1;
      if (d < 0) return false;
      *v = *v * 16 + uint64_t(d);
    }
    return true;
  };
  SQLGUID g;
  uint64_t v;
  bool ok = hex(0, 8, &v);
  g.Data1 = decltype(g.Data1)(v);
  ok = ok && hex(9, 4, &v);
  g.Data2 = uint16_t(v);
  ok = ok && hex(14, 4, &v);
  g.Data3 = uint16_t(v);
  static constexpr size_t kPairs[8] = {19, 21, 24, 26, 28, 30, 32, 34};
  for (size_t k = 0; k < 8 && ok; ++k) {
    ok = hex(kPairs[k], 2, &v);
    g.Data4[k] = uint8_t(v);
  }
  if (!ok) {
    *pending = E_22005;
    return SQL_ERROR;
  }
  *out = g;
  return SQL_SUCCESS;
}

}  // namespace convparse
