#pragma once
// Small helpers shared by the conversion tests.
#include <sql.h>
#include <sqlext.h>
#include <sqlucode.h>

#include <cstring>
#include <string>

#include "odbc/data/conv.h"
#include "odbc/data/ctype.h"
#include "odbc/sqlstate.h"

// The 128-bit value of a numeric structure as decimal text, with its sign.
inline std::string NumericValue(const SQL_NUMERIC_STRUCT &n) {
  unsigned __int128 v = 0;
  for (int i = SQL_MAX_NUMERIC_LEN - 1; i >= 0; --i) v = (v << 8) | n.val[i];
  std::string s;
  do {
    s.insert(s.begin(), char('0' + int(v % 10)));
    v /= 10;
  } while (v != 0);
  return (n.sign == 0 ? "-" : "") + s;
}

// UTF-16 text as the driver stores it (machine order, 16-bit units).
inline std::u16string U16(const char16_t *s) { return std::u16string(s); }

inline SQLLEN Bytes(const std::u16string &s) { return SQLLEN(2 * s.size()); }

// The first n units of a wide buffer.
inline std::u16string WideAt(const void *buf, size_t units) {
  std::u16string s(units, u'\0');
  std::memcpy(s.data(), buf, 2 * units);
  return s;
}

// A buffer filled with a marker byte, so that writes past the expected end
// show up.
struct Guarded {
  static constexpr unsigned char kMark = 0xA5;
  unsigned char bytes[128];
  Guarded() { std::memset(bytes, kMark, sizeof bytes); }
  char *c() { return reinterpret_cast<char *>(bytes); }
  // Whether nothing at or after byte `from` was touched.
  bool UntouchedFrom(size_t from) const {
    for (size_t i = from; i < sizeof bytes; ++i)
      if (bytes[i] != kMark) return false;
    return true;
  }
};
