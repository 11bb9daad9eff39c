// The agent's request builder: ODBC escape and parameter-marker translation,
// ROWID select-list rewrite and statement classification.
//
// Text is handled byte by byte. Bytes of 128 and above are never taken for
// white space, separators or control characters, so UTF-8 and single-byte
// database character sets pass through unchanged.
#include "drv_ora8/o-sql.h"

#include <atomic>
#include <cassert>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <initializer_list>

#include "odbc/agentx.h"
#include "odbc/sqlstate.h"
#include "util/log.h"
#include "util/mpl.h"
#include "util/utalloc.h"

namespace {

// ---------------------------------------------------------------------------
// Character classes (ASCII only: locale-independent, never true for a byte of
// a multi-byte character).

constexpr bool is_ws(char c) {
  return c == ' ' || c == '\t' || c == '\n' || c == '\v' || c == '\f' || c == '\r';
}
constexpr char lower(char c) { return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c; }
constexpr bool is_ident(char c) {
  return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '_';
}
// A control character or blank; bytes of 128 and above are text.
constexpr bool is_sep(char c) { return static_cast<unsigned char>(c) <= ' '; }

const char *skip_ws(const char *p) {
  while (is_ws(*p)) ++p;
  return p;
}
char *skip_ws(char *p) {
  while (is_ws(*p)) ++p;
  return p;
}

// Does text begin with word (case-insensitive)?
bool ci_prefix(const char *text, const char *word) {
  for (; *word; ++text, ++word)
    if (lower(*text) != lower(*word)) return false;
  return true;
}

const char *find_nocase(const char *text, const char *word) {
  for (; *text; ++text)
    if (ci_prefix(text, word)) return text;
  return nullptr;
}

// After text's leading white space, keyword as a whole word: the position
// after it and the white space that follows (the terminator at the end);
// NULL when it does not match or is only the start of a longer word.
const char *keyword_at(const char *keyword, const char *text) {
  text = skip_ws(text);
  if (!ci_prefix(text, keyword)) return nullptr;
  const char *after = text + strlen(keyword);
  if (*after == '\0') return after;
  if (!is_ws(*after)) return nullptr;
  return skip_ws(after);
}
char *keyword_at(const char *keyword, char *text) {
  return const_cast<char *>(keyword_at(keyword, static_cast<const char *>(text)));
}

// Cuts trailing white space in place.
void trim_right(char *text) {
  size_t n = strlen(text);
  while (n > 0 && is_ws(text[n - 1])) --n;
  text[n] = '\0';
}

// Case-insensitive order of the translation tables (ASCII lower case).
constexpr int ci_compare(const char *a, size_t alen, const char *b) {
  for (size_t i = 0;; ++i) {
    if (i == alen) return b[i] ? -1 : 0;
    const char ca = lower(a[i]), cb = lower(b[i]);
    if (cb == '\0') return 1;
    if (ca != cb) return static_cast<unsigned char>(ca) < static_cast<unsigned char>(cb) ? -1 : 1;
  }
}
constexpr size_t cstr_len(const char *s) {
  size_t n = 0;
  while (s[n]) ++n;
  return n;
}
template <size_t N>
constexpr bool sorted(const EscEntry (&table)[N]) {
  for (size_t i = 1; i < N; ++i)
    if (ci_compare(table[i - 1].name, cstr_len(table[i - 1].name), table[i].name) >= 0) return false;
  return true;
}

// ---------------------------------------------------------------------------
// Pool helpers.

void pool_put(MemPool *pool, const char *s, size_t n) {
  if (n) mpl_append(pool, s, n);
}
void pool_put(MemPool *pool, const char *begin, const char *end) {
  assert(end >= begin);
  pool_put(pool, begin, static_cast<size_t>(end - begin));
}
void pool_puts(MemPool *pool, const char *s) { pool_put(pool, s, strlen(s)); }
void pool_putc(MemPool *pool, char c) { mpl_append_byte(pool, c); }
char *pool_finish_str(MemPool *pool) {
  mpl_append_byte(pool, '\0');
  return static_cast<char *>(mpl_finish(pool));
}

// A pool that lives for one scope.
struct ScopedPool {
  MemPool pool;
  ScopedPool() { mpl_init(&pool); }
  ~ScopedPool() { mpl_free_all(&pool); }
  ScopedPool(const ScopedPool &) = delete;
  ScopedPool &operator=(const ScopedPool &) = delete;
};

// ---------------------------------------------------------------------------
// HANDLE_ESC_QUOTE: read once per process (-1 = not read yet). Every thread
// that reads it stores the same value.

std::atomic<int> g_handleEscQuote{-1};

bool handle_esc_quote() {
  int v = g_handleEscQuote.load(std::memory_order_relaxed);
  if (v < 0) {
    const char *e = getenv("HANDLE_ESC_QUOTE");
    v = (e && (e[0] == 'Y' || e[0] == 'y')) ? 1 : 0;
    g_handleEscQuote.store(v, std::memory_order_relaxed);
  }
  return v == 1;
}

}  // namespace

// ---------------------------------------------------------------------------
// Translation tables. "%" marks where the argument text goes.

extern constexpr EscEntry g_escConvertTypes[] = {
    {"SQL_BIGINT", "to_number(%)"},
    {"SQL_BINARY", nullptr},
    {"SQL_BIT", nullptr},
    {"SQL_CHAR", "to_char(%)"},
    {"SQL_DATE", "to_date(%,'YYYY-MM-DD')"},
    {"SQL_DECIMAL", "to_number(%)"},
    {"SQL_DOUBLE", "to_number(%)"},
    {"SQL_FLOAT", "to_number(%)"},
    {"SQL_INTEGER", "trunc(to_number(%))"},
    {"SQL_LONGVARBINARY", nullptr},
    {"SQL_LONGVARCHAR", "to_char(%)"},
    {"SQL_NUMERIC", "to_number(%)"},
    {"SQL_REAL", "to_number(%)"},
    {"SQL_SMALLINT", "trunc(to_number(%))"},
    {"SQL_TIME", "to_date(%,'HH24:MI:SS')"},
    {"SQL_TIMESTAMP", "to_date(%,'YYYY-MM-DD HH24:MI:SS')"},
    {"SQL_TINYINT", "trunc(to_number(%))"},
    {"SQL_VARBINARY", nullptr},
    {"SQL_VARCHAR", "to_char(%)"},
};
extern const size_t g_escConvertTypeCount = sizeof g_escConvertTypes / sizeof g_escConvertTypes[0];

// The DARODO7 package is not created by the driver; the database provides it.
extern constexpr EscEntry g_escScalarFunctions[] = {
    {"abs", "abs%"},
    {"acos", "acos%"},
    {"ascii", "ascii%"},
    {"asin", "asin%"},
    {"atan", "atan%"},
    {"atan2", "atan2%"},
    {"bit_length", "lengthb(%)*8"},
    {"ceiling", "ceil%"},
    {"char", "chr%"},
    {"char_length", "length%"},
    {"character_length", "length%"},
    {"concat", "concat%"},
    {"cos", "cos%"},
    {"cot", "DARODO7.COT%"},
    {"curdate", "to_date(to_char(sysdate,'YYYY-MM-DD'),'YYYY-MM-DD')"},
    {"current_date", "to_date(to_char(sysdate,'YYYY-MM-DD'),'YYYY-MM-DD')"},
    {"current_time", "to_char(sysdate,'HH24:MI:SS')"},
    {"current_timestamp", "to_date(to_char(sysdate,'YYYY-MM-DD HH24:MI:SS'),'YYYY-MM-DD HH24:MI:SS')"},
    {"curtime", "to_char(sysdate,'HH24:MI:SS')"},
    {"dayname", "rtrim(to_char(%,'Day'))"},
    {"dayofmonth", "to_number(to_char(%,'DD'))"},
    {"dayofweek", "to_number(to_char(%,'D'))"},
    {"dayofyear", "to_number(to_char(%,'DDD'))"},
    {"degrees", "DARODO7.DEGREES%"},
    {"exp", "exp%"},
    {"extract", "extract%"},
    {"floor", "floor%"},
    {"hour", "to_number(to_char(%,'HH24'))"},
    {"ifnull", "nvl%"},
    {"insert", "DARODO7.INSERT_STRING%"},
    {"lcase", "nls_lower%"},
    {"left", "DARODO7.LEFT%"},
    {"length", "length(rtrim(%))"},
    {"locate", "DARODO7.LOCATE%"},
    {"log", "ln%"},
    {"log10", "log(10,%)"},
    {"ltrim", "ltrim%"},
    {"minute", "to_number(to_char(%,'MI'))"},
    {"mod", "mod%"},
    {"month", "to_number(to_char(%,'MM'))"},
    {"monthname", "rtrim(to_char(%,'Month'))"},
    {"now", "sysdate"},
    {"octet_length", "lengthb%"},
    {"pi", "3.14159265358979"},
    {"power", "power%"},
    {"quarter", "to_number(to_char(%,'Q'))"},
    {"radians", "DARODO7.RADIANS%"},
    {"repeat", "DARODO7.REPEAT%"},
    {"replace", "replace%"},
    {"right", "DARODO7.RIGHT%"},
    {"round", "round%"},
    {"rtrim", "rtrim%"},
    {"second", "to_number(to_char(%,'SS'))"},
    {"sign", "sign%"},
    {"sin", "sin%"},
    {"soundex", "soundex%"},
    {"space", "DARODO7.REPEAT(' ',%)"},
    {"sqrt", "sqrt%"},
    {"substring", "substr%"},
    {"tan", "tan%"},
    {"timestampadd", "DARODO7.TIMESTAMPADD%"},
    {"timestampdiff", "DARODO7.TIMESTAMPDIFF%"},
    {"truncate", "trunc%"},
    {"ucase", "nls_upper%"},
    {"user", "user"},
    {"week", "to_number(to_char(%,'WW'))"},
    {"year", "to_number(to_char(%,'YYYY'))"},
};
extern const size_t g_escScalarFunctionCount = sizeof g_escScalarFunctions / sizeof g_escScalarFunctions[0];

static_assert(sizeof g_escConvertTypes / sizeof g_escConvertTypes[0] == 19);
static_assert(sizeof g_escScalarFunctions / sizeof g_escScalarFunctions[0] == 67);
// Esc_Lookup bisects: the tables must be in the order it compares in.
static_assert(sorted(g_escConvertTypes), "CONVERT table out of order");
static_assert(sorted(g_escScalarFunctions), "scalar-function table out of order");

const char *Esc_Lookup(const EscEntry *table, size_t count, const char *name, size_t nameLen) {
  size_t lo = 0, hi = count;  // rows [lo, hi) are left
  while (lo < hi) {
    const size_t mid = lo + (hi - lo) / 2;
    const int c = ci_compare(name, nameLen, table[mid].name);
    if (c == 0) return table[mid].templ;
    if (c < 0)
      hi = mid;
    else
      lo = mid + 1;
  }
  return nullptr;
}

// ---------------------------------------------------------------------------
// Date, time and timestamp literals.

namespace {

// The shared literal parsers split their text in place: they get a copy.
struct LiteralCopy {
  char *text;
  explicit LiteralCopy(const char *literal) : text(s_strdup(literal)) {}
  ~LiteralCopy() { free(text); }
  LiteralCopy(const LiteralCopy &) = delete;
  LiteralCopy &operator=(const LiteralCopy &) = delete;
};

unsigned u16(long v) { return static_cast<uint16_t>(v); }

}  // namespace

void Esc_Date(MemPool *pool, const char *literal) {
  SQL_DATE_STRUCT d;
  ParseDateLiteral(&d, LiteralCopy(literal).text);
  char buf[64];
  snprintf(buf, sizeof buf, "TO_DATE('%02u%02u%04u','MMDDYYYY')", u16(d.month), u16(d.day), u16(d.year));
  pool_puts(pool, buf);
}

void Esc_Time(MemPool *pool, const char *literal) {
  SQL_TIME_STRUCT t;
  ParseTimeLiteral(&t, LiteralCopy(literal).text);
  char buf[64];
  snprintf(buf, sizeof buf, "TO_DATE('%02u%02u%02u','HH24MISS')", u16(t.hour), u16(t.minute), u16(t.second));
  pool_puts(pool, buf);
}

void Esc_Timestamp(MemPool *pool, const char *literal) {
  SQL_TIMESTAMP_STRUCT ts;  // the fraction is dropped
  ParseTimestampLiteral(&ts, LiteralCopy(literal).text);
  char buf[96];
  snprintf(buf, sizeof buf, "TO_DATE('%02u%02u%04u%02u%02u%02u','MMDDYYYYHH24MISS')", u16(ts.month), u16(ts.day),
           u16(ts.year), u16(ts.hour), u16(ts.minute), u16(ts.second));
  pool_puts(pool, buf);
}

int Esc_Convert(MemPool *pool, const char *expr, size_t exprLen, const char *typeName) {
  const char *templ = Esc_Lookup(g_escConvertTypes, g_escConvertTypeCount, typeName, strlen(typeName));
  const char *pct = templ ? strchr(templ, '%') : nullptr;
  if (!pct) {
    pool_put(pool, expr, exprLen);
    return 0;
  }
  pool_put(pool, templ, pct);
  pool_put(pool, expr, exprLen);
  pool_puts(pool, pct + 1);
  return 0;
}

// ---------------------------------------------------------------------------
// Escape bodies.

namespace {

// {fn CONVERT(expr, type)}: rest is the text after the name. False when the
// call does not have that shape.
bool esc_fn_convert(MemPool *out, char *rest) {
  char *r = skip_ws(rest);
  trim_right(r);
  const size_t len = strlen(r);
  if (len < 2 || r[0] != '(' || r[len - 1] != ')') return false;
  char *comma = nullptr;
  for (char *q = r + 1; q < r + len - 1; ++q)
    if (*q == ',') comma = q;
  if (!comma) return false;
  r[len - 1] = '\0';
  char *type = skip_ws(comma + 1);
  trim_right(type);
  if (!*type) return false;
  return Esc_Convert(out, r + 1, static_cast<size_t>(comma - (r + 1)), type) == 0;
}

// {fn name(args)}: args is the argument text (the name and its list).
bool esc_fn(MemPool *out, char *args) {
  char *end = args;
  while (is_ident(*end)) ++end;
  const size_t nameLen = static_cast<size_t>(end - args);
  const char *templ = Esc_Lookup(g_escScalarFunctions, g_escScalarFunctionCount, args, nameLen);
  if (templ) {
    pool_putc(out, ' ');
    const char *pct = strchr(templ, '%');
    if (!pct) {
      pool_puts(out, templ);
      return true;
    }
    pool_put(out, templ, pct);
    const char *rest = end;
    // The interval of TIMESTAMPADD/DIFF travels as a quoted string.
    if (strstr(templ, "TIMESTAMPADD") || strstr(templ, "TIMESTAMPDIFF")) {
      const char *tsi = strstr(rest, "SQL_TSI_");
      const char *comma = tsi ? strchr(tsi, ',') : nullptr;
      if (comma) {
        pool_puts(out, "('");
        pool_put(out, tsi, comma);
        pool_puts(out, "',");
        rest = comma + 1;
      }
    }
    pool_puts(out, rest);
    pool_puts(out, pct + 1);
    return true;
  }
  if (nameLen == 7 && ci_compare(args, nameLen, "convert") == 0) return esc_fn_convert(out, end);
  // A function the table does not know goes to the server as written.
  pool_putc(out, ' ');
  pool_puts(out, args);
  return true;
}

// Position of a join keyword that stands as a word of its own, or NULL.
const char *find_join_keyword(const char *text, const char *keyword) {
  for (const char *p = text; (p = find_nocase(p, keyword)) != nullptr; ++p)
    if (p == text || is_ws(p[-1])) return p;
  return nullptr;
}

// {oj ...}: args is the text after "oj".
bool esc_oj(MemPool *out, const char *args) {
  ScopedPool tmp;
  for (const char *p = args; *p;) {
    if (ci_prefix(p, "OUTER JOIN ")) {
      p += 6;  // "OUTER " goes, "JOIN " stays
      continue;
    }
    pool_putc(&tmp.pool, *p++);
  }
  const char *text = pool_finish_str(&tmp.pool);

  static const char *const keywords[] = {"LEFT JOIN ", "RIGHT JOIN ", "FULL JOIN ", "INNER JOIN "};
  static const char *const spelled[] = {" LEFT JOIN ", " RIGHT JOIN ", " FULL JOIN ", " INNER JOIN "};
  for (int k = 0; k < 4; ++k) {
    const char *kw = find_join_keyword(text, keywords[k]);
    if (!kw) continue;
    const char *right = skip_ws(kw + strlen(keywords[k]));
    const char *on = find_nocase(right, " ON ");
    if (!on) return false;
    pool_put(out, text, kw == text ? kw : kw - 1);  // without the blank before the keyword
    pool_puts(out, spelled[k]);
    pool_put(out, right, on);
    pool_puts(out, " ON ");
    pool_puts(out, on + 4);
    return true;
  }
  return false;
}

// {?=call f(...)}: the marker has already become ":n", so body is ":n=call
// f(...)" or ":n = call f(...)". Becomes ":n:=f(...)".
bool esc_return_call(MemPool *out, const char *body, size_t keywordLen, SqlRequest *req) {
  const char *kwEnd = body + keywordLen;
  const char *eq = static_cast<const char *>(memchr(body, '=', keywordLen));
  const char *copyEnd = eq ? eq : kwEnd;
  if (!eq) {
    eq = skip_ws(kwEnd);
    if (*eq != '=') return false;
  }
  const char *call = find_nocase(eq, "CALL ");
  if (!call) return false;
  pool_put(out, body, copyEnd);
  pool_putc(out, ':');
  pool_put(out, eq, call);
  pool_puts(out, call + 5);
  req->flags |= REQ_FLAG_CALL;
  return true;
}

// Translates one scanned escape body; false when it is not a known escape.
bool esc_body(MemPool *out, char *body, SqlRequest *req) {
  char *b = skip_ws(body);
  if (!*b) return false;
  size_t kwLen = 0;
  while (b[kwLen] && !is_ws(b[kwLen])) ++kwLen;
  char *args = skip_ws(b + kwLen);
  const char c1 = b[1];

  switch (b[0]) {
    case 'D':
    case 'd':
      if (c1 == 'T' || c1 == 't') {
        Esc_Timestamp(out, args);
        return true;
      }
      if (is_ws(c1)) {
        Esc_Date(out, args);
        return true;
      }
      return false;
    case 'T':
    case 't':
      if (c1 == 'S' || c1 == 's') {
        Esc_Timestamp(out, args);
        return true;
      }
      if (is_ws(c1)) {
        Esc_Time(out, args);
        return true;
      }
      return false;
    case 'F':
    case 'f':
      if ((c1 == 'N' || c1 == 'n') && is_ws(b[2])) return esc_fn(out, args);
      return false;
    case 'O':
    case 'o':
      if ((c1 == 'J' || c1 == 'j') && is_ws(b[2])) return esc_oj(out, args);
      return false;
    case 'C':
    case 'c':
      if (const char *rest = keyword_at("CALL", b)) {
        pool_puts(out, rest);
        req->flags |= REQ_FLAG_CALL;
        return true;
      }
      return false;
    case 'E':
    case 'e':
      if (const char *rest = keyword_at("ESCAPE", b)) {
        pool_puts(out, "ESCAPE ");
        pool_puts(out, rest);
        return true;
      }
      return false;
    case ':':
      return esc_return_call(out, b, kwLen, req);
    default:
      return false;
  }
}

}  // namespace

int Esc_Translate(MemPool *out, MemPool *body, uint32_t *scanFlags, SqlRequest *req) {
  const char *raw = pool_finish_str(body);
  // Nested escapes and markers of the body are translated first.
  int rc = Request_Scan(body, raw, req, scanFlags);
  if (rc == 0) {
    char *scanned = pool_finish_str(body);
    if (!esc_body(out, scanned, req)) {
      // Leaving the escape out would run a different statement than the one
      // the application wrote; refuse it instead.
      LOG(LOG_WARNING, "unknown escape sequence %s", skip_ws(scanned));
      rc = E_37000;
    }
  }
  mpl_free_all(body);
  return rc;
}

// ---------------------------------------------------------------------------
// The scan.

int Request_Scan(MemPool *out, const char *text, SqlRequest *req, uint32_t *scanFlags) {
  assert(out && text && req);
  const bool escQuote = handle_esc_quote();
  const bool emptyAsBlank = scanFlags && (*scanFlags & SCAN_EMPTY_AS_BLANK);

  int depth = 0;                   // open escapes
  int kind = 0;                    // innermost: 0 none, 1 brace, 2 comment bracket
  uint8_t stack[ESC_MAX_DEPTH];    // enclosing kind of each open level
  char quote = 0;                  // open quote, at depth 0 or inside the body
  enum { NO_COMMENT, LINE_COMMENT, BLOCK_COMMENT } comment = NO_COMMENT;
  MemPool body;                    // body of the outermost open escape
  mpl_init(&body);
  int rc = 0;

  auto ctl = [](char c) -> char {
    if (static_cast<unsigned char>(c) >= 32) return c;
    return (c == '\n' || c == '\r') ? '\n' : ' ';
  };
  auto open = [&](int k, const char *s, size_t n) -> int {
    if (depth >= ESC_MAX_DEPTH) {
      LOG(LOG_WARNING, "escape sequences nested deeper than %d levels", ESC_MAX_DEPTH);
      return E_37000;
    }
    stack[depth++] = static_cast<uint8_t>(kind);
    kind = k;
    if (depth == 1)
      mpl_init(&body);
    else
      pool_put(&body, s, n);
    return 0;
  };
  auto close = [&](const char *s, size_t n) -> int {
    kind = stack[--depth];
    if (depth == 0) return Esc_Translate(out, &body, scanFlags, req);
    pool_put(&body, s, n);
    return 0;
  };

  const char *p = text;
  while (*p && rc == 0) {
    const char c = *p;
    if (depth == 0) {
      if (comment == LINE_COMMENT) {
        if (c == '\n' || c == '\r') comment = NO_COMMENT;
        pool_putc(out, ctl(c));
        ++p;
        continue;
      }
      if (comment == BLOCK_COMMENT) {
        if (c == '*' && p[1] == '/') {
          pool_put(out, p, 2);
          p += 2;
          comment = NO_COMMENT;
          continue;
        }
        pool_putc(out, ctl(c));
        ++p;
        continue;
      }
      if (quote) {
        if (escQuote && c == '\\' && (p[1] == '\'' || p[1] == '"')) {
          // \' is a quote inside the literal: doubled when it is the
          // literal's own quote, else written once.
          pool_putc(out, p[1]);
          if (p[1] == quote) pool_putc(out, p[1]);
          p += 2;
          continue;
        }
        pool_putc(out, c);
        if (c == quote) {
          if (p[1] == quote) {  // a doubled quote stays inside
            pool_putc(out, p[1]);
            p += 2;
            continue;
          }
          quote = 0;
        }
        ++p;
        continue;
      }
      if (emptyAsBlank && c == '\'' && p[1] == '\'' && p[2] != '\'') {
        pool_put(out, "' '", 3);
        p += 2;
        continue;
      }
      if (c == '\'' || c == '"') {
        quote = c;
        pool_putc(out, c);
        ++p;
        continue;
      }
    } else {
      // Inside an escape the body is collected raw; quotes are followed only
      // so that braces and brackets inside literals do not count.
      if (quote) {
        if (escQuote && c == '\\' && (p[1] == '\'' || p[1] == '"')) {
          pool_put(&body, p, 2);
          p += 2;
          continue;
        }
        pool_putc(&body, c);
        if (c == quote) quote = 0;
        ++p;
        continue;
      }
      if (c == '\'' || c == '"') {
        quote = c;
        pool_putc(&body, c);
        ++p;
        continue;
      }
    }

    if (c == '-' && p[1] == '-' && p[2] == '*') {
      if (p[3] == '(') {
        rc = open(2, p, 4);
        p += 4;
        continue;
      }
      if (p[3] == ')' && kind == 2) {
        rc = close(p, 4);
        p += 4;
        continue;
      }
      if (depth > 0) {
        pool_put(&body, p, 3);
        p += 3;
        continue;
      }
      // Otherwise the server reads a line comment.
      pool_put(out, p, 3);
      p += 3;
      comment = LINE_COMMENT;
      continue;
    }
    if (depth == 0 && c == '-' && p[1] == '-') {
      pool_put(out, p, 2);
      p += 2;
      comment = LINE_COMMENT;
      continue;
    }
    if (depth == 0 && c == '/' && p[1] == '*') {
      pool_put(out, p, 2);
      p += 2;
      comment = BLOCK_COMMENT;
      continue;
    }
    if (c == '{') {
      rc = open(1, p, 1);
      ++p;
      continue;
    }
    if (c == '}' && kind == 1) {
      rc = close(p, 1);
      ++p;
      continue;
    }
    if (depth > 0) {
      pool_putc(&body, c);
      ++p;
      continue;
    }
    if (c == '?') {
      if (req->markerCount == UINT16_MAX) {
        LOG(LOG_WARNING, "more than %u parameter markers", static_cast<unsigned>(UINT16_MAX));
        rc = E_37000;
        break;
      }
      ++req->markerCount;
      char num[8];
      const int n = snprintf(num, sizeof num, ":%u", static_cast<unsigned>(req->markerCount));
      pool_put(out, num, static_cast<size_t>(n));
      req->flags |= REQ_FLAG_MARKERS;
    } else {
      pool_putc(out, ctl(c));
    }
    ++p;
  }

  if (rc == 0 && depth > 0) {
    // Dropping it would run what is left of the statement.
    pool_putc(&body, '\0');
    LOG(LOG_WARNING, "unterminated escape sequence %s", static_cast<const char *>(mpl_finish(&body)));
    rc = E_37000;
  }
  mpl_free_all(&body);
  return rc;
}

// ---------------------------------------------------------------------------
// ROWID in the select list: Oracle's ROWID type is handed to the application
// as text.

namespace {

bool at_from_keyword(const char *p) {
  return ci_prefix(p, "FROM") && (p[4] == '\0' || is_ws(p[4]) || p[4] == '(');
}

// End of the select item at p: a comma outside parentheses and quotes, the
// keyword FROM, or the end of the text. Comments are skipped whole.
const char *select_item_end(const char *p) {
  int depth = 0;
  char quote = 0;
  const char *q = p;
  for (; *q; ++q) {
    const char c = *q;
    if (quote) {
      if (c == quote) quote = 0;
      continue;
    }
    if (c == '\'' || c == '"') {
      quote = c;
      continue;
    }
    if (c == '-' && q[1] == '-') {
      const char *nl = strchr(q, '\n');
      if (!nl) return q + strlen(q);
      q = nl;
      continue;
    }
    if (c == '/' && q[1] == '*') {
      const char *e = strstr(q + 2, "*/");
      if (!e) return q + strlen(q);
      q = e + 1;
      continue;
    }
    if (c == '(') {
      ++depth;
    } else if (c == ')') {
      if (depth > 0) --depth;
    } else if (depth == 0) {
      if (c == ',') return q;
      if (q > p && is_ws(q[-1]) && at_from_keyword(q)) return q;
    }
  }
  return q;
}

// Copies white space and comments at p; returns what follows them.
const char *copy_gap(MemPool *pool, const char *p) {
  for (;;) {
    const char *start = p;
    p = skip_ws(p);
    if (p[0] == '-' && p[1] == '-') {
      const char *nl = strchr(p, '\n');
      p = nl ? nl + 1 : p + strlen(p);
    } else if (p[0] == '/' && p[1] == '*') {
      const char *e = strstr(p + 2, "*/");
      p = e ? e + 2 : p + strlen(p);
    }
    pool_put(pool, start, p);
    if (p == start) return p;
  }
}

// Is the token [s, s+n) ROWID, "ROWID" (any case) or one of these qualified
// by a table? qualLen receives the length of the qualifier with its dot.
// A longer name that merely ends in rowid is a column of its own.
bool rowid_token(const char *s, size_t n, size_t *qualLen) {
  size_t col;
  if (n >= 7 && s[n - 7] == '"' && s[n - 1] == '"' && ci_compare(s + n - 6, 5, "rowid") == 0)
    col = 7;
  else if (n >= 5 && ci_compare(s + n - 5, 5, "rowid") == 0)
    col = 5;
  else
    return false;
  if (n == col) {
    *qualLen = 0;
    return true;
  }
  if (n < col + 2 || s[n - col - 1] != '.') return false;
  *qualLen = n - col;
  return true;
}

void put_quoted_name(MemPool *pool, const char *s, size_t n) {
  if (s[0] == '"') {
    pool_put(pool, s, n);
    return;
  }
  pool_putc(pool, '"');
  pool_put(pool, s, n);
  pool_putc(pool, '"');
}

// One select item [s, e).
void rowid_item(MemPool *pool, const char *s, const char *e) {
  const char *q = s;
  char quote = 0;
  for (; q < e; ++q) {
    if (quote) {
      if (*q == quote) quote = 0;
    } else if (*q == '\'' || *q == '"') {
      quote = *q;
    } else if (is_ws(*q)) {
      break;
    }
  }
  const size_t n = static_cast<size_t>(q - s);
  size_t qualLen = 0;
  if (!rowid_token(s, n, &qualLen)) {
    pool_put(pool, s, e);
    return;
  }
  pool_puts(pool, "rowidtochar(");
  pool_put(pool, s, qualLen);
  pool_puts(pool, "ROWID)");
  if (skip_ws(q) >= e) {
    // No alias of the application's: name the column after what it wrote.
    pool_puts(pool, " as ");
    if (qualLen && memchr(s, '"', n))
      put_quoted_name(pool, s + qualLen, n - qualLen);
    else
      put_quoted_name(pool, s, n);
  }
  pool_put(pool, q, e);
}

}  // namespace

void Request_RowidToChar(MemPool *pool, const char *text) {
  const char *after = keyword_at("SELECT", text);
  if (!after || !find_nocase(after, "rowid")) {
    pool_puts(pool, text);
    return;
  }
  pool_put(pool, text, after);
  const char *p = after;
  for (const char *quant : {"DISTINCT", "UNIQUE", "ALL"}) {
    if (const char *q = keyword_at(quant, p)) {
      pool_put(pool, p, q);
      p = q;
      break;
    }
  }
  for (;;) {
    p = copy_gap(pool, p);
    if (!*p || at_from_keyword(p)) break;
    const char *end = select_item_end(p);
    rowid_item(pool, p, end);
    p = end;
    if (*p != ',') break;
    pool_putc(pool, ',');
    ++p;
  }
  pool_puts(pool, p);
}

// ---------------------------------------------------------------------------
// Classification.

int Request_Classify(SqlRequest *req) {
  assert(req);
  req->kind = REQ_KIND_NONE;
  req->outputCount = 0;
  req->flags &= static_cast<uint16_t>(~REQ_FLAG_STAR);
  char *t = req->translated;
  if (!t) return E_S1009;

  char *p = t;
  while (*p == '(' || is_ws(*p)) ++p;
  if (char *after = keyword_at("SELECT", p)) {
    // The statement's FROM: free-standing (white space or control characters
    // on both sides, never a byte of a multi-byte character) and outside
    // quotes and comments. The select list before it is counted.
    int depth = 0;
    char quote = 0;
    long count = 1;
    bool star = false;
    const char *commentEnd = nullptr;  // newline that ends a line comment
    char *from = nullptr;
    for (char *q = after; *q; ++q) {
      const char c = *q;
      if (quote) {
        if (c == quote) {
          if (q[1] == quote)
            ++q;
          else
            quote = 0;
        }
        continue;
      }
      if (c == '\'' || c == '"') {
        quote = c;
      } else if (c == '-' && q[1] == '-') {
        char *nl = strchr(q, '\n');
        if (!nl) break;
        commentEnd = nl;
        q = nl;
      } else if (c == '/' && q[1] == '*') {
        char *e = strstr(q + 2, "*/");
        if (!e) break;
        q = e + 1;
      } else if (c == '(') {
        ++depth;
      } else if (c == ')') {
        --depth;
      } else if (c == ',') {
        if (depth == 0) ++count;
      } else if (c == '*') {
        star = true;
      } else if ((c == 'F' || c == 'f') && q > after && is_sep(q[-1]) && ci_prefix(q, "FROM") &&
                 is_sep(q[4])) {
        from = q;
        break;
      }
    }
    if (!from) return E_37000;
    // A line break that ends a line comment must stay one.
    if (from - 1 != commentEnd) from[-1] = ' ';
    req->outputCount = static_cast<int16_t>(count > INT16_MAX ? INT16_MAX : count);
    if (star) req->flags |= REQ_FLAG_STAR;
    req->kind = REQ_KIND_SELECT;
    return 0;
  }
  // A query that begins with its subquery factoring clause: its rows are
  // fetched like those of any SELECT (taken for "something else", it would
  // run and answer no rows at all).
  if (keyword_at("WITH", p))
    req->kind = REQ_KIND_SELECT;
  else if (keyword_at("INSERT", p) || keyword_at("DELETE", p) || keyword_at("UPDATE", p))
    req->kind = REQ_KIND_DML;
  else
    req->kind = REQ_KIND_OTHER;
  return 0;
}

// ---------------------------------------------------------------------------
// Building requests.

namespace {

// The scan and rewrite of a request, without its classification.
int RequestTranslate(SqlRequest *req, const char *text, bool emptyStringIsntNull) {
  assert(req);
  if (!text) return E_S1009;
  req->text = s_strdup(skip_ws(text));
  req->translated = nullptr;
  req->outputCount = 0;
  req->markerCount = 0;
  req->inOutCount = 0;
  req->kind = REQ_KIND_NONE;
  req->flags = 0;

  uint32_t scanFlags = emptyStringIsntNull ? SCAN_EMPTY_AS_BLANK : 0;
  ScopedPool scanned, rewritten;
  // Each pass's text is about as long as its input: room for that up
  // front spares a long statement the pool's many small regrowths (each a
  // copy of all so far) and keeps the cost per byte the same at any length.
  const size_t length = strlen(req->text);
  mpl_grow(&scanned.pool, length + length / 8);
  int rc = Request_Scan(&scanned.pool, req->text, req, &scanFlags);
  if (rc != 0) {
    // Nothing half-translated is kept.
    req->translated = s_strdup(req->text);
    req->markerCount = 0;
    req->flags = 0;
    return rc;
  }
  const char *scannedText = pool_finish_str(&scanned.pool);
  const size_t scannedLength = strlen(scannedText);
  mpl_grow(&rewritten.pool, scannedLength + scannedLength / 8);
  Request_RowidToChar(&rewritten.pool, scannedText);
  req->translated = s_strdup(pool_finish_str(&rewritten.pool));
  return 0;
}

}  // namespace

int Request(SqlRequest *req, const char *text, bool emptyStringIsntNull) {
  const int rc = RequestTranslate(req, text, emptyStringIsntNull);
  return rc != 0 ? rc : Request_Classify(req);
}

int RequestNoScan(SqlRequest *req, const char *text) {
  assert(req);
  if (!text) return E_S1009;
  text = skip_ws(text);
  req->text = s_strdup(text);
  req->translated = s_strdup(text);
  req->outputCount = 0;
  req->markerCount = 0;
  req->inOutCount = 0;
  req->kind = REQ_KIND_NONE;
  req->flags = 0;
  return Request_Classify(req);
}

void SqlRequest_Free(SqlRequest *req) { RequestFree(req); }

// ---------------------------------------------------------------------------
// NativeSql.

int NativeSql_Translate(const char *text, bool emptyStringIsntNull, char *buf, uint16_t bufLen,
                        int16_t *lenOut) {
  if (lenOut) *lenOut = 0;
  if (!text) return E_S1009;
  SqlRequest req{};
  // Escapes are translated; whether the statement is one the database takes
  // is for the database to say when it runs it.
  int rc = RequestTranslate(&req, text, emptyStringIsntNull);
  if (rc == 0) {
    if (StrCopyOutLen(req.translated, buf, bufLen, nullptr) != 0) rc = E_01004_109;
    // The length travels in 16 bits: read unsigned by the front end, and
    // never wrapped to a small value that would pass for a whole copy.
    if (lenOut) {
      const size_t len = strlen(req.translated);
      *lenOut = static_cast<int16_t>(static_cast<uint16_t>(len > UINT16_MAX ? UINT16_MAX : len));
    }
  }
  SqlRequest_Free(&req);
  return rc;
}
