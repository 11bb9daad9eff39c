// The request builder with HANDLE_ESC_QUOTE set: a backslash-escaped quote
// inside a literal becomes SQL's own form. The variable is read once per
// process, so it is set before any test runs.
#include <gtest/gtest.h>

#include <cstdlib>
#include <string>

#include "drv_ora8/o-sql.h"
#include "odbc/sqlstate.h"

namespace {

const int g_escQuote = setenv("HANDLE_ESC_QUOTE", "yes", 1);

std::string translate(const char *sql, int *rc, uint16_t *markers = nullptr) {
  SqlRequest r{};
  *rc = Request(&r, sql, false);
  std::string out = r.translated ? r.translated : "<null>";
  if (markers) *markers = r.markerCount;
  SqlRequest_Free(&r);
  return out;
}

TEST(OSqlEscQuote, BackslashEscapedQuotes) {
  struct {
    const char *in;
    const char *out;
    uint16_t markers;
  } cases[] = {
      {"update t set a = 'it\\'s'", "update t set a = 'it''s'", 0},
      // a quote of the other kind needs no doubling: it is written once
      {"update t set a = 'say \\\"hi\\\"'", "update t set a = 'say \"hi\"'", 0},
      {"update t set \"a\\\"b\" = 1", "update t set \"a\"\"b\" = 1", 0},
      // the literal stays open across the escaped quote
      {"update t set a = 'x\\'' where b = ?", "update t set a = 'x''' where b = :1", 1},
      {"update t set a = 'x\\'?' where b = ?", "update t set a = 'x''?' where b = :1", 1},
      // inside an escape, too; and the brace in the literal is text
      {"update t set a = {fn concat('it\\'s', '}')}", "update t set a =  concat('it''s', '}')", 0},
      // a backslash before anything else is text
      {"update t set a = 'C:\\temp'", "update t set a = 'C:\\temp'", 0},
  };
  for (const auto &c : cases) {
    int rc = -1;
    uint16_t markers = 99;
    EXPECT_EQ(translate(c.in, &rc, &markers), c.out) << c.in;
    EXPECT_EQ(rc, 0) << c.in;
    EXPECT_EQ(markers, c.markers) << c.in;
  }
}

}  // namespace
