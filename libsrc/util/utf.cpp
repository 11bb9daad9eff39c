#include "util/utf.h"

#include <algorithm>
#include <bit>
#include <cstdlib>
#include <cstring>
#include <iterator>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

#include "util/codepage.h"

namespace {

struct CaseMapEntry {
  uint16_t from;
  uint16_t to;
};

#include "util/utf_casemap.inc"

// Every conversion here goes through one UTF-8 decoder, one UTF-16 reader
// and one encoder each way; what differs between names and values is only
// how ill-formed text is read.
//  - Names (text of the W entry points, see utf.h): a UTF-8 sequence that
//    does not decode ends the text; overlong forms and encoded surrogates are
//    accepted; a lone surrogate unit stands for itself (its 3-byte form).
//  - Values: the Unicode standard's well-formedness rules, U+FFFD for each
//    ill-formed sequence or lone surrogate.
enum class Rules { Names, Values };

constexpr uint32_t kReplacement = 0xFFFD;
// A length meaning "up to the NUL" (a byte for UTF-8, a unit for UTF-16).
constexpr size_t kToNul = SIZE_MAX;

enum class Seq : uint8_t { Ok, Invalid, Incomplete };

struct Decoded {
  uint32_t cp;  // the character (U+FFFD unless Ok)
  size_t len;   // bytes: the whole sequence, or its longest valid start
  Seq status;
};

// Decodes the sequence at p[0..avail), avail >= 1. With avail kToNul the text
// ends at a NUL byte, which is never a continuation byte, so no byte after it
// is read.
template <Rules R>
inline Decoded DecodeSeq(const unsigned char *p, size_t avail) {
  constexpr bool kStrict = R == Rules::Values;
  const unsigned char b0 = p[0];
  if (b0 < 0x80) return {b0, 1, Seq::Ok};
  size_t need;
  uint32_t cp;
  unsigned char lo = 0x80, hi = 0xBF;  // range of the second byte
  if (b0 >= (kStrict ? 0xC2 : 0xC0) && b0 <= 0xDF) {
    need = 2;
    cp = b0 & 0x1F;
  } else if (b0 >= 0xE0 && b0 <= 0xEF) {
    need = 3;
    cp = b0 & 0x0F;
    if (kStrict && b0 == 0xE0) lo = 0xA0;  // no overlong form
    if (kStrict && b0 == 0xED) hi = 0x9F;  // no surrogate
  } else if (b0 >= 0xF0 && b0 <= (kStrict ? 0xF4 : 0xF7)) {
    need = 4;
    cp = b0 & 0x07;
    if (kStrict && b0 == 0xF0) lo = 0x90;  // no overlong form
    if (kStrict && b0 == 0xF4) hi = 0x8F;  // nothing above U+10FFFF
  } else {
    return {kReplacement, 1, Seq::Invalid};
  }
  for (size_t i = 1; i < need; ++i) {
    if (i >= avail) return {kReplacement, i, Seq::Incomplete};
    const unsigned char b = p[i];
    if (b < (i == 1 ? lo : 0x80) || b > (i == 1 ? hi : 0xBF)) return {kReplacement, i, Seq::Invalid};
    cp = cp << 6 | (b & 0x3F);
  }
  if (cp > 0x10FFFF) cp = kReplacement;  // only the names' rules get here
  return {cp, need, Seq::Ok};
}

// The character at unit i of a text of n units (kToNul: up to the NUL unit):
// a surrogate pair or a single unit. *units receives 1 or 2.
template <Rules R>
inline uint32_t ReadChar(const void *text, size_t i, size_t n, size_t *units) {
  const uint16_t u = utf16_load(text, i);
  *units = 1;
  if (u < 0xD800 || u > 0xDFFF) return u;
  if (utf16_is_high(u) && i + 1 < n) {
    const uint16_t v = utf16_load(text, i + 1);
    if (utf16_is_low(v)) {
      *units = 2;
      return 0x10000 + ((uint32_t(u) - 0xD800) << 10) + (v - 0xDC00u);
    }
  }
  return R == Rules::Values ? kReplacement : u;
}

inline size_t Utf8Length(uint32_t cp) { return cp < 0x80 ? 1 : cp < 0x800 ? 2 : cp < 0x10000 ? 3 : 4; }

// Writes the len (Utf8Length) bytes of cp. A surrogate code point (a lone
// unit under the names' rules) takes the 3-byte form.
inline void PutUtf8(uint32_t cp, size_t len, unsigned char *o) {
  switch (len) {
    case 1:
      o[0] = static_cast<unsigned char>(cp);
      break;
    case 2:
      o[0] = static_cast<unsigned char>(0xC0 | cp >> 6);
      o[1] = static_cast<unsigned char>(0x80 | (cp & 0x3F));
      break;
    case 3:
      o[0] = static_cast<unsigned char>(0xE0 | cp >> 12);
      o[1] = static_cast<unsigned char>(0x80 | ((cp >> 6) & 0x3F));
      o[2] = static_cast<unsigned char>(0x80 | (cp & 0x3F));
      break;
    default:
      o[0] = static_cast<unsigned char>(0xF0 | cp >> 18);
      o[1] = static_cast<unsigned char>(0x80 | ((cp >> 12) & 0x3F));
      o[2] = static_cast<unsigned char>(0x80 | ((cp >> 6) & 0x3F));
      o[3] = static_cast<unsigned char>(0x80 | (cp & 0x3F));
      break;
  }
}

// Writes the 1 or 2 units of cp at unit 'index' of out (any alignment).
inline size_t PutUnitsAt(uint32_t cp, void *out, size_t index) {
  if (cp < 0x10000) {
    utf16_store(out, index, static_cast<uint16_t>(cp));
    return 1;
  }
  cp -= 0x10000;
  utf16_store(out, index, static_cast<uint16_t>(0xD800 | cp >> 10));
  utf16_store(out, index + 1, static_cast<uint16_t>(0xDC00 | (cp & 0x3FF)));
  return 2;
}

// The two loops below run for every text cell. A run of ASCII goes through a
// short inner loop bounded once by both the text and the room left; whether
// anything is written is fixed per instantiation.

// Encodes count units of text (names: kToNul, up to the NUL unit) into at
// most limit bytes at out, whole characters only. Returns the bytes; *used =
// units consumed.
// The four-at-a-time runs below pack and unpack units in memory order.
static_assert(std::endian::native == std::endian::little, "UTF-16 runs assume little-endian units");

template <Rules R, bool Write>
size_t EncodeInto(const void *text, size_t count, unsigned char *out, size_t limit, size_t *used) {
  const bool toNul = R == Rules::Names && count == kToNul;
  size_t i = 0, pos = 0;
  while (i < count && pos < limit) {
    const size_t runEnd = i + std::min(count - i, limit - pos);
    uint16_t u = 0;
    // Plain ASCII text (the common case) goes sixteen, then four units at a
    // time.
    if (!toNul) {
#if defined(__SSE2__)
      while (runEnd - i >= 16) {
        const auto *at = static_cast<const unsigned char *>(text) + 2 * i;
        const __m128i a = _mm_loadu_si128(reinterpret_cast<const __m128i *>(at));
        const __m128i b = _mm_loadu_si128(reinterpret_cast<const __m128i *>(at + 16));
        const __m128i high = _mm_and_si128(_mm_or_si128(a, b), _mm_set1_epi16(static_cast<short>(0xFF80)));
        if (_mm_movemask_epi8(_mm_cmpeq_epi16(high, _mm_setzero_si128())) != 0xFFFF) break;
        if (Write) _mm_storeu_si128(reinterpret_cast<__m128i *>(out + pos), _mm_packus_epi16(a, b));
        pos += 16;
        i += 16;
      }
#endif
      while (runEnd - i >= 4) {
        uint64_t four;
        std::memcpy(&four, static_cast<const unsigned char *>(text) + 2 * i, 8);
        if (four & 0xFF80FF80FF80FF80ull) break;
        if (Write) {
          out[pos] = static_cast<unsigned char>(four);
          out[pos + 1] = static_cast<unsigned char>(four >> 16);
          out[pos + 2] = static_cast<unsigned char>(four >> 32);
          out[pos + 3] = static_cast<unsigned char>(four >> 48);
        }
        pos += 4;
        i += 4;
      }
    }
    while (i < runEnd && (u = utf16_load(text, i)) < 0x80 && !(toNul && u == 0)) {
      if (Write) out[pos] = static_cast<unsigned char>(u);
      ++pos;
      ++i;
    }
    if (i == runEnd || u < 0x80) break;  // out of text or room, or at the NUL
    size_t units;
    const uint32_t cp = ReadChar<R>(text, i, count, &units);
    const size_t need = Utf8Length(cp);
    if (need > limit - pos) break;
    if (Write) PutUtf8(cp, need, out + pos);
    pos += need;
    i += units;
  }
  if (used != nullptr) *used = i;
  return pos;
}

// Decodes n bytes into at most limit units at out, never splitting a pair.
// Names are NUL-terminated (n is kToNul) and end before a sequence that does
// not decode. Returns the units; *used = bytes consumed.
template <Rules R, bool Write>
size_t DecodeInto(const unsigned char *p, size_t n, void *out, size_t limit, size_t *used) {
  constexpr bool kNulEnds = R == Rules::Names;
  size_t i = 0, units = 0;
  while (i < n && units < limit) {
    const size_t runEnd = i + std::min(n - i, limit - units);
    unsigned char b = 0;
    // Plain ASCII text (the common case) goes sixteen, then four bytes at a
    // time.
    if (!kNulEnds) {
#if defined(__SSE2__)
      while (runEnd - i >= 16) {
        const __m128i x = _mm_loadu_si128(reinterpret_cast<const __m128i *>(p + i));
        if (_mm_movemask_epi8(x) != 0) break;
        if (Write) {
          auto *at = static_cast<unsigned char *>(out) + 2 * units;
          _mm_storeu_si128(reinterpret_cast<__m128i *>(at), _mm_unpacklo_epi8(x, _mm_setzero_si128()));
          _mm_storeu_si128(reinterpret_cast<__m128i *>(at + 16), _mm_unpackhi_epi8(x, _mm_setzero_si128()));
        }
        units += 16;
        i += 16;
      }
#endif
      while (runEnd - i >= 4) {
        uint32_t four;
        std::memcpy(&four, p + i, 4);
        if (four & 0x80808080u) break;
        if (Write) {
          const uint64_t wide = (four & 0xFFull) | (uint64_t{(four >> 8) & 0xFF} << 16) |
                                (uint64_t{(four >> 16) & 0xFF} << 32) | (uint64_t{four >> 24} << 48);
          std::memcpy(static_cast<unsigned char *>(out) + 2 * units, &wide, 8);
        }
        units += 4;
        i += 4;
      }
    }
    while (i < runEnd && (b = p[i]) < 0x80 && !(kNulEnds && b == 0)) {
      if (Write) utf16_store(out, units, b);
      ++units;
      ++i;
    }
    if (i == runEnd || b < 0x80) break;  // out of text or room, or at the NUL
    const Decoded d = DecodeSeq<R>(p + i, n - i);
    if (R == Rules::Names && d.status != Seq::Ok) break;
    const size_t need = d.cp < 0x10000 ? 1 : 2;
    if (need > limit - units) break;
    if (Write) PutUnitsAt(d.cp, out, units);
    units += need;
    i += d.len;
  }
  if (used != nullptr) *used = i;
  return units;
}

// The names' forms; out NULL only measures or counts.
size_t EncodeName(const uint16_t *text, size_t count, char *out, size_t limit, size_t *used = nullptr) {
  auto *o = reinterpret_cast<unsigned char *>(out);
  return o != nullptr ? EncodeInto<Rules::Names, true>(text, count, o, limit, used)
                      : EncodeInto<Rules::Names, false>(text, count, o, limit, used);
}
size_t DecodeName(const char *text, uint16_t *out, size_t limit) {
  const auto *p = reinterpret_cast<const unsigned char *>(text);
  return out != nullptr ? DecodeInto<Rules::Names, true>(p, kToNul, out, limit, nullptr)
                        : DecodeInto<Rules::Names, false>(p, kToNul, out, limit, nullptr);
}

uint16_t MapUnit(const CaseMapEntry *table, size_t count, uint16_t u) {
  // Binary search with inclusive bounds.
  size_t low = 0, high = count - 1;
  while (low <= high) {
    const size_t mid = low + (high - low) / 2;
    if (table[mid].from == u) return table[mid].to;
    if (table[mid].from < u)
      low = mid + 1;
    else if (mid == 0)
      break;
    else
      high = mid - 1;
  }
  return u;
}

char *MapCase(char *text, int32_t n, bool upper) {
  if (text == nullptr || n <= 0) return text;
  uint16_t *copy = utf8_to_utf16_dup(text);
  if (copy == nullptr) return text;
  for (uint16_t *u = copy; *u != 0; ++u) *u = upper ? utf16_upper_unit(*u) : utf16_lower_unit(*u);
  const size_t len = EncodeName(copy, kToNul, text, static_cast<size_t>(n) - 1, nullptr);
  text[len] = '\0';
  free(copy);
  return text;
}

}  // namespace

namespace utf_detail {

size_t DecodeOne(const unsigned char *p, const unsigned char *end, uint32_t *cp) {
  if (end != nullptr ? p >= end : *p == 0) return 0;
  const Decoded d = DecodeSeq<Rules::Names>(p, end != nullptr ? static_cast<size_t>(end - p) : kToNul);
  if (d.status != Seq::Ok) return 0;
  *cp = d.cp;
  return d.len;
}

size_t PutUnits(uint32_t cp, uint16_t *out) {
  if (out != nullptr) return PutUnitsAt(cp, out, 0);
  return cp < 0x10000 ? 1 : 2;
}

}  // namespace utf_detail

size_t utf8_cut_point(const uint8_t *s, size_t len, size_t cut) {
  if (cut > len) return len;
  if (cut == 0) return 0;
  // The start of the character that holds byte cut - 1: at most three
  // continuation bytes back.
  size_t b = cut - 1;
  for (size_t back = 0; back < 3 && b > 0 && (s[b] & 0xC0) == 0x80; ++back) --b;
  const Decoded d = DecodeSeq<Rules::Values>(s + b, len - b);
  // A well-formed character crossing the cut, or an incomplete one at the
  // very end of what is in hand, is left whole for later.
  if ((d.status == Seq::Ok || d.status == Seq::Incomplete) && b + d.len > cut) return b;
  if (d.status == Seq::Incomplete && b + d.len == len && cut == len) return b;
  return cut;
}

size_t utf8_value_units(const uint8_t *s, size_t n) {
  return DecodeInto<Rules::Values, false>(s, n, nullptr, SIZE_MAX, nullptr);
}

size_t utf8_value_to_utf16(const uint8_t *s, size_t n, void *dst, size_t limit, size_t *consumed) {
  return DecodeInto<Rules::Values, true>(s, n, dst, limit, consumed);
}

size_t utf16_value_bytes(const void *src, size_t n) {
  return EncodeInto<Rules::Values, false>(src, n, nullptr, SIZE_MAX, nullptr);
}

size_t utf16_value_to_utf8(const void *src, size_t n, uint8_t *dst, size_t limit, size_t *consumed) {
  return EncodeInto<Rules::Values, true>(src, n, dst, limit, consumed);
}

size_t utf16_length(const uint16_t *text) {
  size_t n = 0;
  if (text != nullptr)
    while (text[n] != 0) ++n;
  return n;
}

size_t utf16_utf8_size(const uint16_t *text, int32_t n) {
  if (text == nullptr) return 0;
  const size_t count = n < 0 ? kToNul : static_cast<size_t>(n);
  return EncodeName(text, count, nullptr, SIZE_MAX, nullptr);
}

size_t utf8_char_count(const char *text, int32_t n) {
  if (text == nullptr || text[0] == '\0') return 0;
  const auto *p = reinterpret_cast<const unsigned char *>(text);
  const bool nts = n < 0;
  const size_t len = nts ? strlen(text) : static_cast<size_t>(n);
  size_t count = 0;
  for (size_t i = 0; i < len; ++i) {
    const unsigned char c = p[i];
    if (c >= 0x80 && c <= 0xBF) continue;
    count += (c >= 0xF0 && c <= 0xF4) ? 2 : 1;
  }
  return count;
}

size_t utf16_to_utf8(char *out, const uint16_t *text, size_t n) {
  if (text == nullptr) return 0;
  return EncodeName(text, kToNul, out, n, nullptr);
}

size_t utf16_to_utf8_count(const uint16_t *text, char *out, size_t units, size_t limit, uint32_t *consumed) {
  size_t used = 0;
  const size_t bytes = text == nullptr ? 0 : EncodeName(text, units, out, limit, &used);
  if (consumed != nullptr) *consumed = static_cast<uint32_t>(used);
  return bytes;
}

char *utf16_to_utf8_dupn(const uint16_t *text, int32_t n) {
  if (text == nullptr) return nullptr;
  const size_t count = n < 0 ? kToNul : static_cast<size_t>(n);
  const size_t size = EncodeName(text, count, nullptr, SIZE_MAX, nullptr);
  auto *out = static_cast<char *>(malloc(size + 1));
  if (out == nullptr) return nullptr;
  EncodeName(text, count, out, size, nullptr);
  out[size] = '\0';
  return out;
}

char *utf16_to_utf8_dup(const uint16_t *text) { return utf16_to_utf8_dupn(text, UTF_NTS); }

int utf16_to_utf8_buf(const uint16_t *text, char *buf, int32_t n, uint32_t *written) {
  if (written != nullptr) *written = 0;
  if (text == nullptr || buf == nullptr || n <= 0) return -1;
  const size_t room = static_cast<size_t>(n);
  const size_t full = utf16_utf8_size(text, UTF_NTS);
  const bool fits = full + 1 <= room;
  const size_t len = fits ? EncodeName(text, kToNul, buf, full, nullptr)
                          : EncodeName(text, kToNul, buf, room - 1, nullptr);
  buf[len] = '\0';
  if (written != nullptr) *written = static_cast<uint32_t>(len);
  return fits ? 0 : -1;
}

int wchar_to_utf8_buf(const uint16_t *text, char *buf, int32_t n, uint32_t *written) {
  return utf16_to_utf8_buf(text, buf, n, written);
}

size_t utf8_to_utf16_n(uint16_t *out, const char *text, size_t n) {
  if (text == nullptr) return 0;
  return DecodeName(text, out, n);
}

uint16_t *utf8_to_utf16_dup(const char *text) {
  if (text == nullptr) return nullptr;
  const size_t count = utf8_char_count(text, UTF_NTS);
  auto *out = static_cast<uint16_t *>(malloc((count + 1) * sizeof(uint16_t)));
  if (out == nullptr) return nullptr;
  const size_t units = DecodeName(text, out, count);
  out[units] = 0;
  return out;
}

uint16_t *utf8_to_wchar_dup(const char *text) { return utf8_to_utf16_dup(text); }

int utf8_to_utf16_buf(const char *text, uint16_t *buf, int32_t n, uint32_t *written) {
  if (written != nullptr) *written = 0;
  if (text == nullptr || buf == nullptr || n <= 0) return -1;
  const size_t room = static_cast<size_t>(n);
  const size_t full = DecodeName(text, nullptr, SIZE_MAX);
  const bool fits = full + 1 <= room;
  const size_t units = DecodeName(text, buf, fits ? full : room - 1);
  buf[units] = 0;
  if (written != nullptr) *written = static_cast<uint32_t>(units);
  return fits ? 0 : -1;
}

int utf8_to_utf16_bufb(const char *text, uint16_t *buf, int32_t nBytes, uint32_t *count) {
  if (count != nullptr) *count = 0;
  if (text == nullptr) return -1;
  const size_t full = DecodeName(text, nullptr, SIZE_MAX);
  if (count != nullptr) *count = static_cast<uint32_t>(full);
  if (buf == nullptr) return 0;
  if (nBytes < 2) return -1;
  const size_t room = static_cast<size_t>(nBytes) / 2;
  const bool fits = full + 1 <= room;
  const size_t units = DecodeName(text, buf, fits ? full : room - 1);
  buf[units] = 0;
  return fits ? 0 : -1;
}

uint16_t *utf8_to_utf16_cpy(uint16_t *buf, const char *text, int32_t n) {
  utf8_to_utf16_buf(text, buf, n, nullptr);
  return buf;
}

uint16_t *utf8_to_utf16_cpy_all(uint16_t *buf, const char *text) {
  if (buf == nullptr || text == nullptr) return buf;
  const size_t units = DecodeName(text, buf, SIZE_MAX);
  buf[units] = 0;
  return buf;
}

char *ansi_to_utf8_buf(char *buf, const char *text, int32_t n) {
  if (buf == nullptr || text == nullptr || n <= 0) return buf;
  uint16_t *wide = ansi_to_utf16_dupn(text, UTF_NTS);
  if (wide == nullptr) return buf;
  utf16_to_utf8_buf(wide, buf, n, nullptr);
  free(wide);
  return buf;
}

uint16_t utf16_upper_unit(uint16_t u) { return MapUnit(kUpperMap, std::size(kUpperMap), u); }

uint16_t utf16_lower_unit(uint16_t u) { return MapUnit(kLowerMap, std::size(kLowerMap), u); }

char *utf8_upper(char *text, int32_t n) { return MapCase(text, n, true); }

char *utf8_lower(char *text, int32_t n) { return MapCase(text, n, false); }
