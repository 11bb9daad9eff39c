#pragma once
// Conversion between UTF-16 and the narrow ("ANSI") character set.
//
// The narrow character set is UTF-8 unless configured otherwise: the
// environment variable TVX_ANSI_CHARSET (read once, at the first conversion)
// or codepage_set_ansi() names any iconv character set. Outputs are sized by
// the real converted lengths, so a narrow character of several bytes is never
// cut or over-reported. Bytes that do not convert become U+FFFD towards
// UTF-16 and '?' towards the narrow set.
#include <cstddef>
#include <cstdint>

// The narrow character set in use ("UTF-8" by default).
const char *codepage_ansi();
// Overrides the narrow character set; NULL or "" restores UTF-8. Returns 0,
// or -1 (nothing changed) when iconv does not know the name.
int codepage_set_ansi(const char *charset);

// New zero-filled heap array: the n bytes (or up to the NUL for -3)
// converted, then a NUL unit. NULL for a NULL text or out of memory.
uint16_t *ansi_to_utf16_dupn(const char *text, int32_t n);
// Into a caller's buffer of nBytes bytes (nBytes / 2 units): 0 when the text
// fits with its NUL; else, with nBytes >= 2, cut to nBytes / 2 - 1 units
// (whole characters) and NUL, -1; nBytes < 2 or a NULL text: -1. *outBytes =
// the whole converted text's length in bytes (2 per unit), given before the
// buffer is looked at; with a NULL buffer only that value, result 0.
int ansi_to_utf16_bufb(const char *text, uint16_t *buf, int32_t nBytes, uint32_t *outBytes);
// Into a buffer the caller sized (ansi_to_utf16_units + 1 units); nothing
// happens for a NULL text or buffer. Returns buf.
uint16_t *ansi_to_utf16_cpy_all(uint16_t *buf, const char *text);
// UTF-16 units that ansi_to_utf16_cpy_all writes before its NUL.
size_t ansi_to_utf16_units(const char *text);
// New heap narrow text of the UTF-16 text up to its NUL unit; NULL when out
// of memory.
char *utf16_to_ansi_dup(const uint16_t *text);
