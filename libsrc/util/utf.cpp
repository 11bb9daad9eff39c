#include "util/utf.h"

#include <algorithm>
#include <iterator>
#include <cstdlib>
#include <cstring>

#include "util/codepage.h"

namespace {

struct CaseMapEntry {
  uint16_t from;
  uint16_t to;
};

#include "util/utf_casemap.inc"

inline bool IsHigh(uint16_t u) { return u >= 0xD800 && u <= 0xDBFF; }
inline bool IsLow(uint16_t u) { return u >= 0xDC00 && u <= 0xDFFF; }

// UTF-8 length of the character starting at text[i] of a text of 'avail'
// units (avail SIZE_MAX: up to the NUL unit); *units = units it uses.
inline size_t EncodedSize(const uint16_t *text, size_t i, size_t avail, size_t *units) {
  const uint16_t u = text[i];
  *units = 1;
  if (u < 0x80) return 1;
  if (u < 0x800) return 2;
  if (IsHigh(u) && i + 1 < avail && IsLow(text[i + 1])) {
    *units = 2;
    return 4;
  }
  return 3;
}

inline size_t Encode(const uint16_t *text, size_t i, size_t units, char *out) {
  auto *o = reinterpret_cast<unsigned char *>(out);
  const uint32_t u = text[i];
  if (units == 2) {
    const uint32_t cp = 0x10000 + ((u - 0xD800) << 10) + (text[i + 1] - 0xDC00u);
    o[0] = static_cast<unsigned char>(0xF0 | cp >> 18);
    o[1] = static_cast<unsigned char>(0x80 | ((cp >> 12) & 0x3F));
    o[2] = static_cast<unsigned char>(0x80 | ((cp >> 6) & 0x3F));
    o[3] = static_cast<unsigned char>(0x80 | (cp & 0x3F));
    return 4;
  }
  if (u < 0x80) {
    o[0] = static_cast<unsigned char>(u);
    return 1;
  }
  if (u < 0x800) {
    o[0] = static_cast<unsigned char>(0xC0 | u >> 6);
    o[1] = static_cast<unsigned char>(0x80 | (u & 0x3F));
    return 2;
  }
  o[0] = static_cast<unsigned char>(0xE0 | u >> 12);
  o[1] = static_cast<unsigned char>(0x80 | ((u >> 6) & 0x3F));
  o[2] = static_cast<unsigned char>(0x80 | (u & 0x3F));
  return 3;
}

// Encodes text (count units, or up to the NUL unit for SIZE_MAX) into at most
// limit bytes, whole characters only. Returns bytes; *used = units consumed.
size_t EncodeInto(const uint16_t *text, size_t count, char *out, size_t limit, size_t *used) {
  size_t i = 0, pos = 0;
  while (i < count && (count != SIZE_MAX || text[i] != 0)) {
    size_t units;
    const size_t need = EncodedSize(text, i, count, &units);
    if (pos + need > limit) break;
    if (out != nullptr) Encode(text, i, units, out + pos);
    pos += need;
    i += units;
  }
  if (used != nullptr) *used = i;
  return pos;
}

// Decodes a NUL-terminated text into at most limit units (out NULL: count
// only), never splitting a pair. Returns units.
size_t DecodeInto(const char *text, uint16_t *out, size_t limit) {
  const auto *p = reinterpret_cast<const unsigned char *>(text);
  size_t units = 0;
  for (;;) {
    uint32_t cp;
    const size_t len = utf_detail::DecodeOne(p, nullptr, &cp);
    if (len == 0) break;
    const size_t need = utf_detail::PutUnits(cp, nullptr);
    if (units + need > limit) break;
    if (out != nullptr) utf_detail::PutUnits(cp, out + units);
    units += need;
    p += len;
  }
  return units;
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
  const size_t len = EncodeInto(copy, SIZE_MAX, text, static_cast<size_t>(n) - 1, nullptr);
  text[len] = '\0';
  free(copy);
  return text;
}

}  // namespace

namespace utf_detail {

size_t DecodeOne(const unsigned char *p, const unsigned char *end, uint32_t *cp) {
  if (end != nullptr ? p >= end : *p == 0) return 0;
  const unsigned char lead = *p;
  size_t len;
  uint32_t value;
  if (lead < 0x80) {
    *cp = lead;
    return 1;
  } else if (lead >= 0xC0 && lead <= 0xDF) {
    len = 2;
    value = lead & 0x1F;
  } else if (lead >= 0xE0 && lead <= 0xEF) {
    len = 3;
    value = lead & 0x0F;
  } else if (lead >= 0xF0 && lead <= 0xF7) {
    len = 4;
    value = lead & 0x07;
  } else {
    return 0;
  }
  for (size_t k = 1; k < len; ++k) {
    if (end != nullptr && p + k >= end) return 0;
    const unsigned char c = p[k];
    if ((c & 0xC0) != 0x80) return 0;
    value = value << 6 | (c & 0x3F);
  }
  *cp = value > 0x10FFFF ? 0xFFFD : value;
  return len;
}

size_t PutUnits(uint32_t cp, uint16_t *out) {
  if (cp < 0x10000) {
    if (out != nullptr) out[0] = static_cast<uint16_t>(cp);
    return 1;
  }
  if (out != nullptr) {
    cp -= 0x10000;
    out[0] = static_cast<uint16_t>(0xD800 | cp >> 10);
    out[1] = static_cast<uint16_t>(0xDC00 | (cp & 0x3FF));
  }
  return 2;
}

}  // namespace utf_detail

size_t utf16_length(const uint16_t *text) {
  size_t n = 0;
  if (text != nullptr)
    while (text[n] != 0) ++n;
  return n;
}

size_t utf16_utf8_size(const uint16_t *text, int32_t n) {
  if (text == nullptr) return 0;
  const size_t count = n < 0 ? SIZE_MAX : static_cast<size_t>(n);
  return EncodeInto(text, count, nullptr, SIZE_MAX, nullptr);
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
  return EncodeInto(text, SIZE_MAX, out, n, nullptr);
}

size_t utf16_to_utf8_count(const uint16_t *text, char *out, size_t units, size_t limit, uint32_t *consumed) {
  size_t used = 0;
  const size_t bytes = text == nullptr ? 0 : EncodeInto(text, units, out, limit, &used);
  if (consumed != nullptr) *consumed = static_cast<uint32_t>(used);
  return bytes;
}

char *utf16_to_utf8_dupn(const uint16_t *text, int32_t n) {
  if (text == nullptr) return nullptr;
  const size_t count = n < 0 ? SIZE_MAX : static_cast<size_t>(n);
  const size_t size = EncodeInto(text, count, nullptr, SIZE_MAX, nullptr);
  auto *out = static_cast<char *>(malloc(size + 1));
  if (out == nullptr) return nullptr;
  EncodeInto(text, count, out, size, nullptr);
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
  const size_t len = fits ? EncodeInto(text, SIZE_MAX, buf, full, nullptr)
                          : EncodeInto(text, SIZE_MAX, buf, room - 1, nullptr);
  buf[len] = '\0';
  if (written != nullptr) *written = static_cast<uint32_t>(len);
  return fits ? 0 : -1;
}

int wchar_to_utf8_buf(const uint16_t *text, char *buf, int32_t n, uint32_t *written) {
  return utf16_to_utf8_buf(text, buf, n, written);
}

size_t utf8_to_utf16_n(uint16_t *out, const char *text, size_t n) {
  if (text == nullptr) return 0;
  return DecodeInto(text, out, n);
}

uint16_t *utf8_to_utf16_dup(const char *text) {
  if (text == nullptr) return nullptr;
  const size_t count = utf8_char_count(text, UTF_NTS);
  auto *out = static_cast<uint16_t *>(malloc((count + 1) * sizeof(uint16_t)));
  if (out == nullptr) return nullptr;
  const size_t units = DecodeInto(text, out, count);
  out[units] = 0;
  return out;
}

uint16_t *utf8_to_wchar_dup(const char *text) { return utf8_to_utf16_dup(text); }

int utf8_to_utf16_buf(const char *text, uint16_t *buf, int32_t n, uint32_t *written) {
  if (written != nullptr) *written = 0;
  if (text == nullptr || buf == nullptr || n <= 0) return -1;
  const size_t room = static_cast<size_t>(n);
  const size_t full = DecodeInto(text, nullptr, SIZE_MAX);
  const bool fits = full + 1 <= room;
  const size_t units = DecodeInto(text, buf, fits ? full : room - 1);
  buf[units] = 0;
  if (written != nullptr) *written = static_cast<uint32_t>(units);
  return fits ? 0 : -1;
}

int utf8_to_utf16_bufb(const char *text, uint16_t *buf, int32_t nBytes, uint32_t *count) {
  if (count != nullptr) *count = 0;
  if (text == nullptr) return -1;
  const size_t full = DecodeInto(text, nullptr, SIZE_MAX);
  if (count != nullptr) *count = static_cast<uint32_t>(full);
  if (buf == nullptr) return 0;
  if (nBytes < 2) return -1;
  const size_t room = static_cast<size_t>(nBytes) / 2;
  const bool fits = full + 1 <= room;
  const size_t units = DecodeInto(text, buf, fits ? full : room - 1);
  buf[units] = 0;
  return fits ? 0 : -1;
}

uint16_t *utf8_to_utf16_cpy(uint16_t *buf, const char *text, int32_t n) {
  utf8_to_utf16_buf(text, buf, n, nullptr);
  return buf;
}

uint16_t *utf8_to_utf16_cpy_all(uint16_t *buf, const char *text) {
  if (buf == nullptr || text == nullptr) return buf;
  const size_t units = DecodeInto(text, buf, SIZE_MAX);
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
