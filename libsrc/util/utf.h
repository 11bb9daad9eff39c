#pragma once
// UTF-8 <-> UTF-16 conversion, sizing and case mapping.
//
// Inside the driver, text from a wide (W) entry point is UTF-8; applications
// and the agent's wide mode use 16-bit UTF-16 units (SQLWCHAR). A 4-byte UTF-8
// sequence becomes a surrogate pair and a surrogate pair becomes the 4-byte
// sequence; a lone surrogate keeps the 3-byte form. No function splits a
// character (or a pair) when it cuts, and every cut text is NUL-terminated.
//
// UTF-8 decoding stops before a byte that cannot start a sequence
// (0x80-0xBF, 0xF8-0xFF) and drops a started sequence whose next byte is not
// a continuation byte. Overlong forms are accepted; a 4-byte sequence beyond
// U+10FFFF decodes to U+FFFD.
//
// Lengths: -3 (UTF_NTS, SQL_NTS) means NUL-terminated. A buffer size n below
// 0 counts as 0. Out-lengths are 32-bit and may be NULL when not wanted.
//
// Values (column data, parameters) have their own functions below, under
// stricter rules.
#include <cstddef>
#include <cstdint>
#include <cstring>

constexpr int32_t UTF_NTS = -3;

// UTF-8 bytes needed for n units (or up to the NUL for -3), no terminator;
// 0 for a NULL text.
size_t utf16_utf8_size(const uint16_t *text, int32_t n);
// UTF-16 units the text decodes to (a 4-byte sequence counts 2): every byte
// outside 0x80-0xBF starts a character. 0 when the first byte is NUL,
// whatever n is; within n bytes a later NUL byte counts as a character.
// Never below the units the decoders produce, so buffers sized from it hold
// the whole text.
size_t utf8_char_count(const char *text, int32_t n);
// Units before the NUL unit.
size_t utf16_length(const uint16_t *text);

// Encodes up to the NUL, at most n bytes, whole characters only; no
// terminator. Returns the bytes written.
size_t utf16_to_utf8(char *out, const uint16_t *text, size_t n);
// Encodes exactly 'units' units (a NUL unit becomes a 0 byte) into at most
// 'limit' bytes, whole characters only; no terminator. Returns the bytes
// written; *consumed = units used.
size_t utf16_to_utf8_count(const uint16_t *text, char *out, size_t units, size_t limit, uint32_t *consumed);
// New heap UTF-8 copy (free()); NULL for a NULL text or out of memory.
char *utf16_to_utf8_dup(const uint16_t *text);
char *utf16_to_utf8_dupn(const uint16_t *text, int32_t n);
// Into a caller's buffer of n bytes: 0 when the text fits with its NUL, else
// cut to n - 1 bytes and NUL, -1. n = 0 or a NULL text/buffer: -1, nothing
// written. *written = bytes written (without the NUL).
int utf16_to_utf8_buf(const uint16_t *text, char *buf, int32_t n, uint32_t *written);
// The agent's wide mode: the same operation.
int wchar_to_utf8_buf(const uint16_t *text, char *buf, int32_t n, uint32_t *written);

// Decodes up to the NUL into at most n units, no terminator; units written.
size_t utf8_to_utf16_n(uint16_t *out, const char *text, size_t n);
// New heap UTF-16 copy, NUL-terminated (free()); NULL for NULL or out of memory.
uint16_t *utf8_to_utf16_dup(const char *text);
uint16_t *utf8_to_wchar_dup(const char *text);
// Into a buffer of n units: 0 fits; else cut to n - 1 units and NUL, -1.
// n = 0 or a NULL argument: -1, nothing written. *written = units written.
int utf8_to_utf16_buf(const char *text, uint16_t *buf, int32_t n, uint32_t *written);
// Into a buffer of nBytes bytes (nBytes / 2 units): 0 fits; else cut to
// nBytes / 2 - 1 units and NUL, -1; nBytes < 2 or a NULL text: -1, nothing
// written. *count = the text's full length in units, also when cut. A NULL
// buffer only gives the count, result 0.
int utf8_to_utf16_bufb(const char *text, uint16_t *buf, int32_t nBytes, uint32_t *count);
// Into a buffer of n units, cut to n - 1 units and NUL; returns buf.
uint16_t *utf8_to_utf16_cpy(uint16_t *buf, const char *text, int32_t n);
// Into a buffer the caller has sized (utf8_char_count + 1 units); returns buf.
uint16_t *utf8_to_utf16_cpy_all(uint16_t *buf, const char *text);

// Text in the narrow character set (see codepage.h) to UTF-8 in a buffer of
// n bytes, cut to n - 1 bytes and NUL; the buffer is unchanged when out of
// memory. Returns buf.
char *ansi_to_utf8_buf(char *buf, const char *text, int32_t n);

// Case mapping of a NUL-terminated UTF-8 text in place, re-encoded into at
// most n - 1 bytes and NUL, by the simple mappings of Unicode 3.2 (characters
// outside the Basic Multilingual Plane are left as they are). Returns text.
char *utf8_upper(char *text, int32_t n);
char *utf8_lower(char *text, int32_t n);
// One unit's simple mapping (the unit itself when it has none).
uint16_t utf16_upper_unit(uint16_t u);
uint16_t utf16_lower_unit(uint16_t u);

// ---- Values -----------------------------------------------------------------
// Column and parameter values have explicit lengths and are converted whole
// characters at a time under the Unicode standard's well-formedness rules:
// an ill-formed sequence (a lone surrogate; a bad, overlong, surrogate or
// truncated UTF-8 sequence; anything above U+10FFFF) becomes U+FFFD instead
// of ending the text, and a NUL is an ordinary character. A bad UTF-8
// sequence is as long as its longest valid start, at least one byte, so every
// byte is accounted for exactly once. UTF-16 values are read and written
// unaligned (values inside a Dataset need not be aligned). A length is a
// length here, never UTF_NTS.

// Unit 'index' of UTF-16 text at base, any alignment.
inline uint16_t utf16_load(const void *base, size_t index) {
  uint16_t u;
  std::memcpy(&u, static_cast<const unsigned char *>(base) + 2 * index, 2);
  return u;
}
inline void utf16_store(void *base, size_t index, uint16_t unit) {
  std::memcpy(static_cast<unsigned char *>(base) + 2 * index, &unit, 2);
}
inline bool utf16_is_high(uint16_t u) { return u >= 0xD800 && u <= 0xDBFF; }
inline bool utf16_is_low(uint16_t u) { return u >= 0xDC00 && u <= 0xDFFF; }

// Largest c <= cut such that s[0..c) does not end inside a well-formed UTF-8
// sequence that continues past c; bytes that belong to no well-formed
// sequence may be cut anywhere. With cut == len it also removes an
// incomplete sequence at the very end (a value whose rest is still to come).
// cut > len gives len.
size_t utf8_cut_point(const uint8_t *s, size_t len, size_t cut);
// UTF-16 units that the UTF-8 value s[0..n) converts to.
size_t utf8_value_units(const uint8_t *s, size_t n);
// Converts whole characters of s[0..n) into at most limit units at dst (dst
// may be NULL when limit is 0). Returns the units written; *consumed (may be
// NULL) receives the source bytes they came from.
size_t utf8_value_to_utf16(const uint8_t *s, size_t n, void *dst, size_t limit, size_t *consumed);
// UTF-8 bytes that the UTF-16 value of n units converts to.
size_t utf16_value_bytes(const void *src, size_t n);
// Converts whole characters of n units into at most limit bytes at dst.
// Returns the bytes written; *consumed (may be NULL) receives the units they
// came from.
size_t utf16_value_to_utf8(const void *src, size_t n, uint8_t *dst, size_t limit, size_t *consumed);

// Lower-level pieces shared with the code-page layer.
namespace utf_detail {
// Decodes one sequence at p (bounded by end, or NUL-terminated when end is
// NULL). Returns the bytes used and stores the code point; 0 at the end of
// the text or before a byte or sequence that does not decode.
size_t DecodeOne(const unsigned char *p, const unsigned char *end, uint32_t *cp);
// Units a code point needs (1 or 2) and writes them when out is not NULL.
size_t PutUnits(uint32_t cp, uint16_t *out);
}  // namespace utf_detail
