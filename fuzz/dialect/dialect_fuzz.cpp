// One input: its translation (with and without a session), which must be
// the same each time and, when it succeeds, name a known statement kind; a
// failure must carry an Oracle error number. Then the input as a number and
// as a date/time text: what parses must print and parse back the same.
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <string>

#include "dialect.h"

namespace {

void translate(const std::string &text, const DlSession *session) {
  DlStatement a, b;
  DlError ea, eb;
  const int ra = dl_translate(text.data(), text.size(), session, &a, &ea);
  const int rb = dl_translate(text.data(), text.size(), session, &b, &eb);
  if (ra != rb || a.sql != b.sql || a.kind != b.kind) std::abort();
  if (ra == 0) {
    if (dl_oci_stmt_type(a.kind) < 0) std::abort();
    if (a.position_count < 0 || static_cast<size_t>(a.position_count) > a.binds.size()) std::abort();
  } else if (ra < 0) {
    std::abort();
  }
}

void numbers(const std::string &text) {
  int64_t i = 0;
  double d = 0;
  const int r = dl_parse_number(text.data(), text.size(), &i, &d);
  char buf[64];
  if (r == 1) {
    const size_t n = dl_int_text(i, buf);
    int64_t back = 0;
    double unused = 0;
    if (n >= sizeof buf || dl_parse_number(buf, n, &back, &unused) != 1 || back != i) std::abort();
  }
  DlDateTime dt{};
  bool ts = false;
  if (dl_datetime_parse(text.data(), text.size(), &dt, &ts)) {
    const size_t n = dl_datetime_text(&dt, ts, buf);
    DlDateTime again{};
    bool ts2 = false;
    if (n >= sizeof buf || !dl_datetime_parse(buf, n, &again, &ts2)) std::abort();
    if (std::memcmp(&again, &dt, sizeof dt) != 0) std::abort();
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
  const std::string text(reinterpret_cast<const char *>(data), size);
  translate(text, nullptr);
  DlSession session;
  session.user = "SCOTT";
  translate(text, &session);
  numbers(text);
  return 0;
}
