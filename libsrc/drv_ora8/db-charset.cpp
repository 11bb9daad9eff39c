// Wide mode: texts between the driver's UTF-8 and the character set of an
// OCI environment, through UTF-16 with OCI's own converters.
//
// OCI counts the two directions in different units: OCICharSetToUnicode
// takes the destination size in characters (UTF-16 code units) and
// OCIUnicodeToCharSet in bytes, each with the source length in the other
// unit. Every size below is passed in the unit OCI counts it in, and the
// UTF-16 buffer has room for a surrogate pair per character, so text outside
// the Basic Multilingual Plane never overruns it.
#include <cstdlib>
#include <cstring>

#include "drv_ora8/db-private.h"
#include "util/utf.h"

int db_CharsetToUTF8(OCIEnv *env, const char *src, char *dst, uint16_t dstSize, int16_t *outLen) {
  if (!src || !dst) return -1;
  const auto *in = reinterpret_cast<const OraText *>(src);
  size_t chars = OCIMultiByteStrlen(env, in);
  size_t srcBytes = strlen(src);
  // Each character needs at most two UTF-16 units, plus the terminator.
  size_t units = 2 * chars + 1;
  auto *wide = static_cast<uint16_t *>(calloc(units, sizeof(uint16_t)));
  if (!wide) return -2;
  size_t converted = 0;
  sword st = OCICharSetToUnicode(env, wide, units, in, srcBytes, &converted);
  if (!db_OciOk(st)) {
    free(wide);
    return -2;
  }
  wide[converted < units ? converted : units - 1] = 0;
  uint32_t written = 0;
  int rc = wchar_to_utf8_buf(wide, dst, dstSize, &written);
  free(wide);
  if (outLen) *outLen = static_cast<int16_t>(written);
  return rc;
}

char *db_UTF8ToCharset(OCIEnv *env, const char *utf8) {
  uint16_t *wide = utf8_to_wchar_dup(utf8);
  if (!wide) return nullptr;
  size_t units = utf16_length(wide);
  // A UTF-16 unit becomes at most 3 bytes in any of Oracle's client
  // character sets, a surrogate pair at most 4.
  size_t size = 4 * units + 1;
  auto *out = static_cast<char *>(calloc(size, 1));
  if (!out) {
    free(wide);
    return nullptr;
  }
  size_t converted = 0;
  sword st = OCIUnicodeToCharSet(env, reinterpret_cast<OraText *>(out), size, wide, units, &converted);
  free(wide);
  if (!db_OciOk(st)) {
    free(out);
    return nullptr;
  }
  out[converted < size ? converted : size - 1] = '\0';
  return out;
}
