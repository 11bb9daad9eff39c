#include "util/codepage.h"

#include <iconv.h>
#include <strings.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <mutex>

#include "util/utf.h"

namespace {

constexpr uint16_t kReplacement = 0xFFFD;

std::mutex g_charsetMutex;
char g_charset[64] = "UTF-8";
bool g_charsetRead = false;

bool IsUtf8Name(const char *name) {
  return strcasecmp(name, "UTF-8") == 0 || strcasecmp(name, "UTF8") == 0;
}

// The character set for one conversion; copied so that a concurrent
// override cannot change it halfway.
void CurrentCharset(char *out, size_t size) {
  std::lock_guard<std::mutex> lock(g_charsetMutex);
  if (!g_charsetRead) {
    g_charsetRead = true;
    const char *env = getenv("TVX_ANSI_CHARSET");
    if (env != nullptr && *env != '\0' && strlen(env) < sizeof g_charset) {
      iconv_t cd = iconv_open("UTF-16LE", env);
      if (cd != reinterpret_cast<iconv_t>(-1)) {
        iconv_close(cd);
        snprintf(g_charset, sizeof g_charset, "%s", env);
      }
    }
  }
  snprintf(out, size, "%s", g_charset);
}

// Narrow bytes to UTF-16. out NULL: count only. Returns units (at most
// limit, whole characters).
size_t NarrowToUtf16(const char *text, size_t len, uint16_t *out, size_t limit) {
  char charset[64];
  CurrentCharset(charset, sizeof charset);
  if (IsUtf8Name(charset)) {
    const auto *p = reinterpret_cast<const unsigned char *>(text);
    const auto *end = p + len;
    size_t units = 0;
    while (p < end) {
      uint32_t cp;
      size_t used = utf_detail::DecodeOne(p, end, &cp);
      if (used == 0) {  // a byte that does not decode
        cp = kReplacement;
        used = 1;
      }
      const size_t need = utf_detail::PutUnits(cp, nullptr);
      if (units + need > limit) break;
      if (out != nullptr) utf_detail::PutUnits(cp, out + units);
      units += need;
      p += used;
    }
    return units;
  }
  iconv_t cd = iconv_open("UTF-16LE", charset);
  if (cd == reinterpret_cast<iconv_t>(-1)) return 0;
  // Convert the whole text into a scratch array, then copy whole characters.
  const size_t cap = 2 * len + 2;
  auto *wide = static_cast<uint16_t *>(malloc(cap * sizeof(uint16_t)));
  if (wide == nullptr) {
    iconv_close(cd);
    return 0;
  }
  char *in = const_cast<char *>(text);
  size_t inLeft = len;
  char *o = reinterpret_cast<char *>(wide);
  size_t oLeft = cap * sizeof(uint16_t);
  while (inLeft > 0) {
    if (iconv(cd, &in, &inLeft, &o, &oLeft) != static_cast<size_t>(-1)) break;
    if (errno == E2BIG || oLeft < sizeof(uint16_t)) break;
    // A byte that does not convert, or an incomplete character at the end.
    *reinterpret_cast<uint16_t *>(o) = kReplacement;
    o += sizeof(uint16_t);
    oLeft -= sizeof(uint16_t);
    if (errno == EINVAL) break;
    ++in;
    --inLeft;
    iconv(cd, nullptr, nullptr, nullptr, nullptr);
  }
  iconv_close(cd);
  const size_t total = static_cast<size_t>(o - reinterpret_cast<char *>(wide)) / sizeof(uint16_t);
  size_t units = 0;
  while (units < total) {
    const bool pair = utf16_is_high(wide[units]) && units + 1 < total && utf16_is_low(wide[units + 1]);
    const size_t need = pair ? 2 : 1;
    if (units + need > limit) break;
    if (out != nullptr) memcpy(out + units, wide + units, need * sizeof(uint16_t));
    units += need;
  }
  free(wide);
  return units;
}

// UTF-16 to narrow bytes. out NULL: size only. Returns bytes.
size_t Utf16ToNarrow(const uint16_t *text, size_t units, char *out) {
  char charset[64];
  CurrentCharset(charset, sizeof charset);
  if (IsUtf8Name(charset)) {
    uint32_t used = 0;
    return utf16_to_utf8_count(text, out, units, SIZE_MAX, &used);
  }
  iconv_t cd = iconv_open(charset, "UTF-16LE");
  if (cd == reinterpret_cast<iconv_t>(-1)) return 0;
  size_t bytes = 0;
  size_t i = 0;
  while (i < units) {
    const size_t n = utf16_is_high(text[i]) && i + 1 < units && utf16_is_low(text[i + 1]) ? 2 : 1;
    char tmp[16];
    char *in = reinterpret_cast<char *>(const_cast<uint16_t *>(text + i));
    size_t inLeft = n * 2;
    char *o = tmp;
    size_t oLeft = sizeof tmp;
    size_t r = iconv(cd, &in, &inLeft, &o, &oLeft);
    size_t got = sizeof tmp - oLeft;
    if (r == static_cast<size_t>(-1)) {
      iconv(cd, nullptr, nullptr, nullptr, nullptr);
      tmp[0] = '?';
      got = 1;
    }
    if (out != nullptr) memcpy(out + bytes, tmp, got);
    bytes += got;
    i += n;
  }
  iconv_close(cd);
  return bytes;
}

}  // namespace

const char *codepage_ansi() {
  static thread_local char name[64];
  CurrentCharset(name, sizeof name);
  return name;
}

int codepage_set_ansi(const char *charset) {
  if (charset == nullptr || *charset == '\0') charset = "UTF-8";
  if (strlen(charset) >= sizeof g_charset) return -1;
  iconv_t cd = iconv_open("UTF-16LE", charset);
  if (cd == reinterpret_cast<iconv_t>(-1)) return -1;
  iconv_close(cd);
  std::lock_guard<std::mutex> lock(g_charsetMutex);
  g_charsetRead = true;
  snprintf(g_charset, sizeof g_charset, "%s", charset);
  return 0;
}

uint16_t *ansi_to_utf16_dupn(const char *text, int32_t n) {
  if (text == nullptr) return nullptr;
  const size_t len = n < 0 ? strlen(text) : static_cast<size_t>(n);
  // No narrow character set gives more UTF-16 units than bytes.
  const size_t units = NarrowToUtf16(text, len, nullptr, SIZE_MAX);
  auto *out = static_cast<uint16_t *>(calloc(units + 1, sizeof(uint16_t)));
  if (out == nullptr) return nullptr;
  NarrowToUtf16(text, len, out, units);
  return out;
}

size_t ansi_to_utf16_units(const char *text) {
  return text == nullptr ? 0 : NarrowToUtf16(text, strlen(text), nullptr, SIZE_MAX);
}

int ansi_to_utf16_bufb(const char *text, uint16_t *buf, int32_t nBytes, uint32_t *outBytes) {
  if (outBytes != nullptr) *outBytes = 0;
  if (text == nullptr) return -1;
  const size_t len = strlen(text);
  const size_t full = NarrowToUtf16(text, len, nullptr, SIZE_MAX);
  if (outBytes != nullptr) *outBytes = static_cast<uint32_t>(full * 2);
  if (buf == nullptr) return 0;
  if (nBytes < 2) return -1;
  const size_t room = static_cast<size_t>(nBytes) / 2;
  const bool fits = full + 1 <= room;
  const size_t units = NarrowToUtf16(text, len, buf, fits ? full : room - 1);
  buf[units] = 0;
  return fits ? 0 : -1;
}

uint16_t *ansi_to_utf16_cpy_all(uint16_t *buf, const char *text) {
  if (buf == nullptr || text == nullptr) return buf;
  const size_t units = NarrowToUtf16(text, strlen(text), buf, SIZE_MAX);
  buf[units] = 0;
  return buf;
}

char *utf16_to_ansi_dup(const uint16_t *text) {
  const size_t units = utf16_length(text);
  const size_t bytes = Utf16ToNarrow(text, units, nullptr);
  auto *out = static_cast<char *>(malloc(bytes + 1));
  if (out == nullptr) return nullptr;
  Utf16ToNarrow(text, units, out);
  out[bytes] = '\0';
  return out;
}
