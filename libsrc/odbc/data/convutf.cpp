#include "odbc/data/convutf.h"

namespace convutf {
namespace {

constexpr uint32_t kReplacement = 0xFFFD;

enum class Seq { Ok, Invalid, Incomplete };

struct Decoded {
  uint32_t cp;   // the character (U+FFFD unless Ok)
  size_t len;    // bytes it takes: the whole sequence, or its longest valid start
  Seq status;
};

// Decodes the sequence at s[0..n), n >= 1, by the well-formedness table of
// the Unicode standard (no overlong forms, no surrogates, nothing above
// U+10FFFF). A bad sequence is as long as its longest valid start, at least
// one byte, so every byte is accounted for exactly once.
Decoded Decode(const uint8_t *s, size_t n) {
  const uint8_t b0 = s[0];
  if (b0 < 0x80) return {b0, 1, Seq::Ok};
  size_t need;
  uint8_t lo = 0x80, hi = 0xBF;  // range of the second byte
  uint32_t cp;
  if (b0 >= 0xC2 && b0 <= 0xDF) {
    need = 2;
    cp = b0 & 0x1F;
  } else if (b0 >= 0xE0 && b0 <= 0xEF) {
    need = 3;
    cp = b0 & 0x0F;
    if (b0 == 0xE0) lo = 0xA0;
    if (b0 == 0xED) hi = 0x9F;
  } else if (b0 >= 0xF0 && b0 <= 0xF4) {
    need = 4;
    cp = b0 & 0x07;
    if (b0 == 0xF0) lo = 0x90;
    if (b0 == 0xF4) hi = 0x8F;
  } else {
    return {kReplacement, 1, Seq::Invalid};
  }
  for (size_t i = 1; i < need; ++i) {
    if (i >= n) return {kReplacement, i, Seq::Incomplete};
    const uint8_t b = s[i];
    const uint8_t l = i == 1 ? lo : 0x80, h = i == 1 ? hi : 0xBF;
    if (b < l || b > h) return {kReplacement, i, Seq::Invalid};
    cp = (cp << 6) | (b & 0x3F);
  }
  return {cp, need, Seq::Ok};
}

inline size_t Utf16UnitsOf(uint32_t cp) { return cp >= 0x10000 ? 2 : 1; }

inline size_t Utf8BytesOf(uint32_t cp) {
  return cp < 0x80 ? 1 : cp < 0x800 ? 2 : cp < 0x10000 ? 3 : 4;
}

// Reads the character at unit i of n: a valid pair or a single unit; a lone
// surrogate reads as U+FFFD. *units receives 1 or 2.
inline uint32_t ReadUtf16(const void *src, size_t i, size_t n, size_t *units) {
  const uint16_t u = LoadUnit(src, i);
  *units = 1;
  if (IsHighSurrogate(u)) {
    if (i + 1 < n) {
      const uint16_t v = LoadUnit(src, i + 1);
      if (IsLowSurrogate(v)) {
        *units = 2;
        return 0x10000 + ((uint32_t(u) - 0xD800) << 10) + (v - 0xDC00);
      }
    }
    return kReplacement;
  }
  if (IsLowSurrogate(u)) return kReplacement;
  return u;
}

}  // namespace

size_t Utf8CutPoint(const uint8_t *s, size_t len, size_t cut) {
  if (cut == 0 || cut > len) return cut > len ? len : cut;
  // Find the start of the character that holds byte cut - 1: at most three
  // continuation bytes back.
  size_t b = cut - 1;
  size_t back = 0;
  while (back < 3 && b > 0 && (s[b] & 0xC0) == 0x80) {
    --b;
    ++back;
  }
  const Decoded d = Decode(s + b, len - b);
  // A well-formed character crossing the cut, or an incomplete one at the
  // very end of what is in hand, is left whole for later.
  if ((d.status == Seq::Ok || d.status == Seq::Incomplete) && b + d.len > cut) return b;
  if (d.status == Seq::Incomplete && b + d.len == len && cut == len) return b;
  return cut;
}

size_t Utf8ToUtf16Size(const uint8_t *s, size_t n) {
  size_t units = 0;
  for (size_t i = 0; i < n;) {
    if (s[i] < 0x80) {
      ++units;
      ++i;
      continue;
    }
    const Decoded d = Decode(s + i, n - i);
    units += Utf16UnitsOf(d.cp);
    i += d.len;
  }
  return units;
}

size_t Utf8ToUtf16(const uint8_t *s, size_t n, void *dst, size_t limit, size_t *consumed) {
  size_t i = 0, w = 0;
  while (i < n) {
    const Decoded d = s[i] < 0x80 ? Decoded{s[i], 1, Seq::Ok} : Decode(s + i, n - i);
    const size_t units = Utf16UnitsOf(d.cp);
    if (w + units > limit) break;
    if (units == 1) {
      StoreUnit(dst, w, uint16_t(d.cp));
    } else {
      const uint32_t v = d.cp - 0x10000;
      StoreUnit(dst, w, uint16_t(0xD800 + (v >> 10)));
      StoreUnit(dst, w + 1, uint16_t(0xDC00 + (v & 0x3FF)));
    }
    w += units;
    i += d.len;
  }
  if (consumed) *consumed = i;
  return w;
}

size_t Utf16ToUtf8Size(const void *src, size_t n) {
  size_t bytes = 0;
  for (size_t i = 0; i < n;) {
    size_t units;
    const uint32_t cp = ReadUtf16(src, i, n, &units);
    bytes += Utf8BytesOf(cp);
    i += units;
  }
  return bytes;
}

size_t Utf16ToUtf8(const void *src, size_t n, uint8_t *dst, size_t limit, size_t *consumed) {
  size_t i = 0, w = 0;
  while (i < n) {
    size_t units;
    const uint32_t cp = ReadUtf16(src, i, n, &units);
    const size_t len = Utf8BytesOf(cp);
    if (w + len > limit) break;
    switch (len) {
      case 1:
        dst[w] = uint8_t(cp);
        break;
      case 2:
        dst[w] = uint8_t(0xC0 | (cp >> 6));
        dst[w + 1] = uint8_t(0x80 | (cp & 0x3F));
        break;
      case 3:
        dst[w] = uint8_t(0xE0 | (cp >> 12));
        dst[w + 1] = uint8_t(0x80 | ((cp >> 6) & 0x3F));
        dst[w + 2] = uint8_t(0x80 | (cp & 0x3F));
        break;
      default:
        dst[w] = uint8_t(0xF0 | (cp >> 18));
        dst[w + 1] = uint8_t(0x80 | ((cp >> 12) & 0x3F));
        dst[w + 2] = uint8_t(0x80 | ((cp >> 6) & 0x3F));
        dst[w + 3] = uint8_t(0x80 | (cp & 0x3F));
        break;
    }
    w += len;
    i += units;
  }
  if (consumed) *consumed = i;
  return w;
}

}  // namespace convutf
