#pragma once
// UTF-8 and UTF-16 transcoding for values on their way to the application.
//
// Unlike the per-unit helpers used for names and attribute strings, these
// work on whole characters: a surrogate pair becomes one 4-byte UTF-8
// sequence and back, a cut never falls inside a character, and ill-formed
// input (a lone surrogate, a bad or truncated UTF-8 sequence) becomes
// U+FFFD instead of ending the text or splitting into bytes of nonsense.
// UTF-16 text is read unit by unit with memcpy: values inside a Dataset need
// not be aligned.
#include <cstddef>
#include <cstdint>
#include <cstring>

namespace convutf {

inline uint16_t LoadUnit(const void *base, size_t index) {
  uint16_t u;
  std::memcpy(&u, static_cast<const uint8_t *>(base) + 2 * index, 2);
  return u;
}

inline void StoreUnit(void *base, size_t index, uint16_t u) {
  std::memcpy(static_cast<uint8_t *>(base) + 2 * index, &u, 2);
}

inline bool IsHighSurrogate(uint16_t u) { return u >= 0xD800 && u <= 0xDBFF; }
inline bool IsLowSurrogate(uint16_t u) { return u >= 0xDC00 && u <= 0xDFFF; }

// Largest c <= cut such that s[0..c) does not end inside a well-formed UTF-8
// sequence that continues past c. Bytes that are not part of a well-formed
// sequence may be cut anywhere. With cut == len it removes an incomplete
// sequence at the very end (for a value whose rest is still to come).
size_t Utf8CutPoint(const uint8_t *s, size_t len, size_t cut);

// UTF-16 units that the UTF-8 text s[0..n) decodes to.
size_t Utf8ToUtf16Size(const uint8_t *s, size_t n);

// Decodes whole characters of s[0..n) into at most limit units at dst (dst
// may be null when limit is 0). Returns the units written; *consumed receives
// the source bytes they came from.
size_t Utf8ToUtf16(const uint8_t *s, size_t n, void *dst, size_t limit, size_t *consumed);

// UTF-8 bytes that the UTF-16 text of n units encodes to.
size_t Utf16ToUtf8Size(const void *src, size_t n);

// Encodes whole characters of n units into at most limit bytes at dst.
// Returns the bytes written; *consumed receives the units they came from.
size_t Utf16ToUtf8(const void *src, size_t n, uint8_t *dst, size_t limit, size_t *consumed);

}  // namespace convutf
