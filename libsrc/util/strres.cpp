#include "util/strres.h"

#include <cstring>

#include "util/utf.h"
#include "variant.h"

// Weak, so that test programs linking the core without a deliverable's
// variant still link; they see no string resources.
extern const DriverVariant g_driverVariant __attribute__((weak));

const char *StringResource(unsigned id) {
  if (&g_driverVariant == nullptr) return "";
  for (const StringRes *s = g_driverVariant.strings; s != nullptr && s->text != nullptr; ++s)
    if (s->id == id) return s->text;
  return "";
}

int LoadStringRes(unsigned id, char *buf, int size) {
  if (buf == nullptr || size <= 0) return 0;
  const char *text = StringResource(id);
  size_t len = strlen(text);
  if (len > static_cast<size_t>(size) - 1) {
    // Never end inside a UTF-8 sequence.
    len = utf8_cut_point(reinterpret_cast<const uint8_t *>(text), len, static_cast<size_t>(size) - 1);
  }
  memcpy(buf, text, len);
  buf[len] = '\0';
  return static_cast<int>(len);
}
