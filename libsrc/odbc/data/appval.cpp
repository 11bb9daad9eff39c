// Application values towards the agent.
#include "odbc/data/appval.h"

#include <sqlucode.h>

#include <cmath>
#include <cstdio>
#include <cstring>

#include "odbc/dataset.h"
#include "odbc/sqlstate.h"
#include "odbc/valuetype.h"
#include "util/utf.h"

namespace {

// The escape text is examined from the character after the opening brace,
// at most this many characters.
constexpr size_t kEscapeWork = 49;

// Decimal integer as the C library's atoi reads it (leading blanks, a sign,
// digits), clamped instead of overflowing.
int32_t ReadInt(const char *p) {
  while (*p == ' ' || *p == '\t') ++p;
  bool negative = false;
  if (*p == '+' || *p == '-') negative = *p++ == '-';
  int64_t v = 0;
  while (*p >= '0' && *p <= '9') {
    if (v < INT32_MAX) v = v * 10 + (*p - '0');
    ++p;
  }
  if (v > INT32_MAX) v = INT32_MAX;
  return static_cast<int32_t>(negative ? -v : v);
}

// The position after the next of the separators at or after p, or nullptr
// when the text ends first.
const char *After(const char *p, const char *separators) {
  const char *q = strpbrk(p, separators);
  return q ? q + 1 : nullptr;
}

// Nanoseconds of the digits after a point: ".5" is 500000000; digits beyond
// the ninth are dropped.
uint32_t ReadFraction(const char *p) {
  uint32_t v = 0;
  int n = 0;
  for (; *p >= '0' && *p <= '9'; ++p)
    if (n < 9) v = v * 10 + static_cast<uint32_t>(*p - '0'), ++n;
  for (; n < 9; ++n) v *= 10;
  return v;
}

enum EscapeKind { ESC_NONE, ESC_DATE, ESC_TIME, ESC_TIMESTAMP };

struct Fields {
  int32_t year, month, day, hour, minute, second;
  uint32_t fraction;
};

// Date fields from p: pieces separated by "-" or "/"; returns where the day
// ended (at "-", "/" or a blank), or nullptr when the text ended first.
const char *ReadDate(const char *p, Fields *f) {
  f->year = ReadInt(p);
  if (!(p = After(p, "-/"))) return nullptr;
  f->month = ReadInt(p);
  if (!(p = After(p, "-/"))) return nullptr;
  f->day = ReadInt(p);
  return strpbrk(p, "-/ ");
}

void ReadTime(const char *p, Fields *f, bool withFraction) {
  f->hour = ReadInt(p);
  if (!(p = After(p, ":"))) return;
  f->minute = ReadInt(p);
  if (!(p = After(p, ":"))) return;
  f->second = ReadInt(p);
  if (!withFraction) return;
  // The second ends at ":" or ".": only a point starts the fraction.
  const char *end = strpbrk(p, ":.");
  if (end && *end == '.') f->fraction = ReadFraction(end + 1);
}

// The structure a parameter of the SQL type takes from an escape of the
// kind; ESC_NONE when the SQL type takes none.
EscapeKind TargetOf(int16_t sqlType, EscapeKind escape) {
  switch (sqlType) {
    case 0:
      return escape;
    case SQL_DATE:
    case SQL_TYPE_DATE:
      return ESC_DATE;
    case SQL_TIME:
    case SQL_TYPE_TIME:
      return ESC_TIME;
    case SQL_TIMESTAMP:
    case SQL_TYPE_TIMESTAMP:
      return ESC_TIMESTAMP;
    default:
      return ESC_NONE;
  }
}

// work: the text after the opening brace, NUL-terminated.
EscapeValue ParseWork(const char *work, int16_t sqlType) {
  EscapeValue v{};
  EscapeKind escape = ESC_NONE;
  const char *p = nullptr;
  // The literal's opening quote is stepped over with the keyword.
  if (strncmp(work, "d ", 2) == 0) {
    escape = ESC_DATE;
    p = work + 3;
  } else if (strncmp(work, "ts ", 3) == 0) {
    escape = ESC_TIMESTAMP;
    p = work + 4;
  } else if (strncmp(work, "t ", 2) == 0) {
    escape = ESC_TIME;
    p = work + 3;
  } else {
    return v;
  }
  EscapeKind target = TargetOf(sqlType, escape);
  if (target == ESC_NONE) return v;
  if (strlen(work) < static_cast<size_t>(p - work)) p = work + strlen(work);

  Fields f{};
  if (escape == ESC_DATE) {
    ReadDate(p, &f);
  } else if (escape == ESC_TIME) {
    ReadTime(p, &f, false);
  } else {
    const char *end = ReadDate(p, &f);
    if (end && *end == ' ') ReadTime(end + 1, &f, true);
  }
  switch (target) {
    case ESC_DATE:
      v.kind = VT_DATE;
      break;
    case ESC_TIME:
      v.kind = VT_TIME;
      break;
    default:
      v.kind = VT_TIMESTAMP;
      break;
  }
  v.date = {static_cast<SQLSMALLINT>(f.year), static_cast<SQLUSMALLINT>(f.month), static_cast<SQLUSMALLINT>(f.day)};
  v.time = {static_cast<SQLUSMALLINT>(f.hour), static_cast<SQLUSMALLINT>(f.minute),
            static_cast<SQLUSMALLINT>(f.second)};
  v.timestamp = {v.date.year, v.date.month, v.date.day, v.time.hour, v.time.minute, v.time.second, f.fraction};
  return v;
}

uint32_t StructSize(int32_t kind) { return kind == VT_TIMESTAMP ? 16 : 6; }

const void *StructOf(const EscapeValue &v) {
  if (v.kind == VT_DATE) return &v.date;
  if (v.kind == VT_TIME) return &v.time;
  return &v.timestamp;
}

// Writes the structure (and retypes col) when the escape gives one and the
// destination holds it; else nothing. The value type written, or 0.
int32_t WriteStruct(void *dst, const EscapeValue &v, size_t len, DatasetCol *col) {
  if (v.kind == 0 || len < StructSize(v.kind)) return 0;
  memcpy(dst, StructOf(v), StructSize(v.kind));
  if (col) {
    col->type = v.kind;
    col->size = StructSize(v.kind);
  }
  return v.kind;
}

}  // namespace

int32_t CTypeToValueType(int16_t cType, uint32_t *width) {
  int32_t type = VT_CHAR;
  uint32_t w = 0;
  switch (cType) {
    case SQL_C_NUMERIC:
      type = VT_CHAR, w = kNumericTextWidth;
      break;
    case SQL_C_DOUBLE:
      type = VT_DOUBLE, w = 8;
      break;
    case SQL_C_LONG:
    case SQL_C_SLONG:
      type = VT_SLONG, w = 4;
      break;
    case SQL_C_SHORT:
    case SQL_C_SSHORT:
      type = VT_SSHORT, w = 2;
      break;
    case SQL_C_FLOAT:
      type = VT_FLOAT, w = 4;
      break;
    case SQL_C_DATE:
    case SQL_C_TYPE_DATE:
      type = VT_DATE, w = 6;
      break;
    case SQL_C_TIME:
    case SQL_C_TYPE_TIME:
      type = VT_TIME, w = 6;
      break;
    case SQL_C_TIMESTAMP:
    case SQL_C_TYPE_TIMESTAMP:
      type = VT_TIMESTAMP, w = 16;
      break;
    case SQL_C_UTINYINT:
      type = VT_UTINYINT, w = 1;
      break;
    case SQL_C_UBIGINT:
    case SQL_C_SBIGINT:
      type = VT_CHAR, w = kBigintTextWidth;
      break;
    case SQL_C_STINYINT:
    case SQL_C_TINYINT:
      type = VT_STINYINT, w = 1;
      break;
    case SQL_C_ULONG:
      type = VT_ULONG, w = 4;
      break;
    case SQL_C_USHORT:
      type = VT_USHORT, w = 2;
      break;
    case SQL_C_GUID:
      type = VT_CHAR, w = kGuidTextWidth;
      break;
    case SQL_C_WCHAR:
      type = VT_WCHAR;
      break;
    case SQL_C_BIT:
      type = VT_BIT, w = 1;
      break;
    case SQL_C_BINARY:
      type = VT_BINARY;
      break;
    default:
      break;
  }
  if (width) *width = w;
  return type;
}

EscapeValue ParseEscape(const char *text, size_t len, int16_t sqlType) {
  char work[kEscapeWork + 1] = {};
  if (text && len > 1) memcpy(work, text + 1, len - 1 < kEscapeWork ? len - 1 : kEscapeWork);
  return ParseWork(work, sqlType);
}

EscapeValue ParseEscapeW(const void *text, size_t len, int16_t sqlType) {
  // UTF-8 of the units after the brace: the first 49 characters are at
  // most 4 bytes each, and no allocation is needed.
  char utf8[4 * kEscapeWork + 1] = {};
  size_t units = len / 2;
  if (text && units > 1) {
    uint16_t wide[kEscapeWork];
    size_t n = units - 1 < kEscapeWork ? units - 1 : kEscapeWork;
    memcpy(wide, static_cast<const unsigned char *>(text) + 2, n * 2);
    uint32_t consumed = 0;
    size_t bytes = utf16_to_utf8_count(wide, utf8, n, sizeof utf8 - 1, &consumed);
    utf8[bytes] = '\0';
  }
  char work[kEscapeWork + 1] = {};
  memcpy(work, utf8, strnlen(utf8, kEscapeWork));
  return ParseWork(work, sqlType);
}

int32_t ParseDateTimeEscape(void *dst, const char *text, size_t len, DatasetCol *col, int16_t sqlType) {
  if (int32_t written = WriteStruct(dst, ParseEscape(text, len, sqlType), len, col)) return written;
  if (len) memmove(dst, text, len);
  return 0;
}

int32_t ParseDateTimeEscapeW(void *dst, const void *text, size_t len, DatasetCol *col, int16_t sqlType) {
  if (int32_t written = WriteStruct(dst, ParseEscapeW(text, len, sqlType), len, col)) return written;
  if (len) memmove(dst, text, len);
  return 0;
}

size_t EscapeToText(const EscapeValue &v, char *out, size_t size) {
  if (v.kind == 0 || size == 0) return 0;
  int n = 0;
  const SQL_TIMESTAMP_STRUCT &t = v.timestamp;
  if (v.kind == VT_DATE) {
    n = snprintf(out, size, "%04d-%02u-%02u", t.year, t.month, t.day);
  } else if (v.kind == VT_TIME) {
    n = snprintf(out, size, "%02u:%02u:%02u", t.hour, t.minute, t.second);
  } else {
    n = snprintf(out, size, "%04d-%02u-%02u %02u:%02u:%02u", t.year, t.month, t.day, t.hour, t.minute, t.second);
    if (t.fraction != 0 && n > 0 && static_cast<size_t>(n) < size) {
      char frac[16];
      int f = snprintf(frac, sizeof frac, ".%09u", static_cast<unsigned>(t.fraction));
      while (f > 1 && frac[f - 1] == '0') --f;
      frac[f] = '\0';
      n += snprintf(out + n, size - static_cast<size_t>(n), "%s", frac);
    }
  }
  if (n < 0) return 0;
  return static_cast<size_t>(n) < size ? static_cast<size_t>(n) : size - 1;
}

void NumericToDouble(void *dst, const SQL_NUMERIC_STRUCT *num, size_t len, DatasetCol *) {
  double v = 0;
  for (int i = SQL_MAX_NUMERIC_LEN - 1; i >= 0; --i) v = v * 256.0 + num->val[i];
  const auto scale = static_cast<signed char>(num->scale);
  if (scale != 0) v /= std::pow(10.0, scale);
  if (num->sign == 0) v = -v;
  memcpy(dst, &v, len < sizeof v ? len : sizeof v);
}

size_t NumericToText(char *dst, const SQL_NUMERIC_STRUCT *num) {
  unsigned __int128 v = 0;
  for (int i = SQL_MAX_NUMERIC_LEN - 1; i >= 0; --i) v = v << 8 | num->val[i];
  char digits[48];
  size_t nd = 0;
  do {
    digits[nd++] = static_cast<char>('0' + static_cast<int>(v % 10));
    v /= 10;
  } while (v != 0);
  // digits holds the value's digits, least significant first.
  const bool zero = nd == 1 && digits[0] == '0';
  const int scale = static_cast<signed char>(num->scale);
  size_t n = 0;
  if (num->sign == 0 && !zero) dst[n++] = '-';
  if (scale <= 0) {
    for (size_t i = nd; i-- > 0;) dst[n++] = digits[i];
    if (!zero)
      for (int i = 0; i < -scale; ++i) dst[n++] = '0';
    return n;
  }
  const auto s = static_cast<size_t>(scale);
  if (nd <= s) {
    dst[n++] = '0';
    dst[n++] = '.';
    for (size_t i = nd; i < s; ++i) dst[n++] = '0';
    for (size_t i = nd; i-- > 0;) dst[n++] = digits[i];
  } else {
    for (size_t i = nd; i-- > s;) dst[n++] = digits[i];
    dst[n++] = '.';
    for (size_t i = s; i-- > 0;) dst[n++] = digits[i];
  }
  return n;
}

void GUIDToChar(char *dst, const SQLGUID *g) {
  char text[40];
  snprintf(text, sizeof text, "%08X-%04X-%04X-%02X%02X-%02X%02X%02X%02X%02X%02X", static_cast<unsigned>(g->Data1),
           static_cast<unsigned>(g->Data2), static_cast<unsigned>(g->Data3), g->Data4[0], g->Data4[1], g->Data4[2],
           g->Data4[3], g->Data4[4], g->Data4[5], g->Data4[6], g->Data4[7]);
  memcpy(dst, text, kGuidTextWidth);
}

int64_t NtsPieceBytes(int16_t cType, const void *data) {
  return cType == SQL_C_WCHAR ? static_cast<int64_t>(2 * utf16_length(static_cast<const uint16_t *>(data)))
                              : static_cast<int64_t>(strlen(static_cast<const char *>(data)));
}

int32_t PieceArgsCheck(const void *data, int64_t length) {
  if (length == SQL_DEFAULT_PARAM) return E_S1C00;
  if ((!data && length != SQL_NULL_DATA && length != 0) ||
      (length < 0 && length != SQL_NTS && length != SQL_NULL_DATA))
    return E_S1009;
  return 0;
}
