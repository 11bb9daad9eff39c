// SQL template expander and the ODBC search-pattern tests that its
// conditionals use.
#include "drv_ora8/sqltmpl.h"

#include <cstdlib>
#include <cstring>

#include "util/mpl.h"

namespace {

using namespace sqltmpl;

using Byte = unsigned char;

bool test(Byte op, char *text) {
  switch (op) {
  case OP_EMPTY: return SqlTmpl_IsEmptyArg(text) != 0;
  case OP_GIVEN: return SqlTmpl_IsEmptyArg(text) == 0;
  case OP_PATTERN: return SqlTmpl_HasWildcard(text) != 0;
  case OP_EXACT: return SqlTmpl_HasWildcard(text) == 0;
  default: return false;
  }
}

// p points at the level byte of an if or elif. Evaluates its test and skips
// false branches until one is taken or the conditional ends; returns where
// emitting continues (at the terminating NUL when the template is cut short).
const Byte *branch(const Byte *p, char **args, unsigned count) {
  for (;;) {
    if (p[0] == 0 || p[1] == 0 || p[2] == 0) return p + std::strlen(reinterpret_cast<const char *>(p));
    const Byte level = p[0];
    const Byte op = p[1];
    const Byte n = p[2];
    // A test of an out-of-range argument sees the empty string; the pattern
    // test may rewrite the caller's argument, so it gets a writable pointer.
    char empty[1] = {0};
    char *text = (n == 0 || n > count) ? empty : args[n - 1];
    if (test(op, text)) return p + 3;
    // Skip to the next directive of this level that ends the false branch.
    p += 3;
    for (;;) {
      while (*p != 0 && *p != DIR) ++p;
      if (*p == 0) return p;
      if (p[1] == 0) return p + 1;
      if (p[2] == level && (p[1] == ELSE || p[1] == END)) return p + 3;
      if (p[2] == level && p[1] == ELIF) {
        p += 2;
        break; // evaluate this elif
      }
      ++p;
    }
  }
}

// Skips from a kept branch's elif or else to after the end of its level.
const Byte *skip_to_end(const Byte *p, Byte level) {
  for (;;) {
    while (*p != 0 && *p != DIR) ++p;
    if (*p == 0) return p;
    if (p[1] == END && p[2] == level) return p + 3;
    ++p;
  }
}

// Quote state of the emitted template text, for doubling quotes of arguments
// that land inside a string literal.
struct Quoting {
  bool enabled;
  bool inLiteral = false;
  bool inIdentifier = false;
  void see(Byte c) {
    if (c == '\'' && !inIdentifier) inLiteral = !inLiteral;
    else if (c == '"' && !inLiteral) inIdentifier = !inIdentifier;
  }
};

void append_arg(MemPool *pool, const char *text, const Quoting &q) {
  if (!q.enabled || !q.inLiteral) {
    mpl_append(pool, text, std::strlen(text));
    return;
  }
  for (const char *run = text;;) {
    const char *quote = std::strchr(run, '\'');
    if (!quote) {
      mpl_append(pool, run, std::strlen(run));
      return;
    }
    mpl_append(pool, run, static_cast<size_t>(quote - run) + 1);
    mpl_append_byte(pool, '\'');
    run = quote + 1;
  }
}

int expand(MemPool *pool, const char *tmpl, char **args, unsigned count, bool quoted) {
  Quoting q{quoted};
  const Byte *p = reinterpret_cast<const Byte *>(tmpl);
  for (;;) {
    const Byte c = *p;
    if (c == 0) break;
    if (c != DIR) {
      mpl_append_byte(pool, static_cast<char>(c));
      q.see(c);
      ++p;
      continue;
    }
    const Byte code = p[1];
    if (code == 0) break;
    switch (code) {
    case ARG:
      if (p[2] == 0) break; // argument 0 cut by the terminating NUL
      if (p[2] > count) {
        mpl_append(pool, "NULL", 4);
      } else if (const char *text = args[p[2] - 1]) {
        append_arg(pool, text, q);
      }
      p += 3;
      continue;
    case IF:
      p = branch(p + 2, args, count);
      continue;
    case ELIF:
    case ELSE:
      if (p[2] == 0) break;
      p = skip_to_end(p + 3, p[2]);
      continue;
    case END:
      if (p[2] == 0) break;
      p += 3;
      continue;
    default:
      p += 2;
      continue;
    }
    break; // a directive cut by the terminating NUL
  }
  mpl_append_byte(pool, '\0');
  return 0;
}

} // namespace

int SqlTmpl_Expand(MemPool *pool, const char *tmpl, char **args, unsigned count) {
  return expand(pool, tmpl, args, count, false);
}

int SqlTmpl_ExpandQuoted(MemPool *pool, const char *tmpl, char **args, unsigned count) {
  return expand(pool, tmpl, args, count, true);
}

int SqlTmpl_IsEmptyArg(const char *text) {
  if (!text) return 1;
  if (text[0] == '%' && text[1] == 0) return 1;
  while (*text == ' ') ++text;
  return *text == 0 ? 1 : 0;
}

int SqlTmpl_HasWildcard(char *text) {
  if (!text) return 0;
  bool escaped = false;
  for (char *p = text; *p; ++p) {
    if (*p != '_' && *p != '%') continue;
    if (p == text || p[-1] != '\\') return 1;
    escaped = true;
  }
  if (!escaped) return 0;
  char *out = text;
  for (const char *p = text; *p; ++p) {
    if (*p == '\\' && (p[1] == '_' || p[1] == '%')) continue;
    *out++ = *p;
  }
  *out = 0;
  return 0;
}

namespace sqltmpl {

std::string fromNotation(const char *text) {
  static constexpr const char *kOps[] = {"empty", "given", "pattern", "exact"};
  std::string out;
  for (const char *p = text; *p;) {
    char *end = nullptr;
    if (*p == '{' && p[1] >= '1' && p[1] <= '9') {
      const long n = std::strtol(p + 1, &end, 10);
      if (*end == '}') {
        out += static_cast<char>(DIR);
        out += static_cast<char>(ARG);
        out += static_cast<char>(n);
        p = end + 1;
        continue;
      }
    }
    if (*p == '[' && (std::strncmp(p + 1, "match ", 6) == 0 || std::strncmp(p + 1, "eq ", 3) == 0)) {
      // Filter shorthands: [match L col n] and [eq L col n].
      const bool match = p[1] == 'm';
      const char *q = p + (match ? 7 : 4);
      const long level = std::strtol(q, &end, 10);
      q = end;
      while (*q == ' ') ++q;
      const char *colEnd = std::strchr(q, ' ');
      if (level > 0 && colEnd) {
        const std::string col(q, colEnd);
        const long n = std::strtol(colEnd, &end, 10);
        if (n > 0 && *end == ']') {
          const std::string l = std::to_string(level), l1 = std::to_string(level + 1), a = std::to_string(n);
          const std::string eq = col + " = '{" + a + "}' AND ";
          const std::string body =
              match ? "[if " + l1 + " pattern " + a + "] " + col + " LIKE '{" + a + "}' ESCAPE '\\' AND [else " + l1 +
                          "] " + eq + "[end " + l1 + "] "
                    : eq;
          out += fromNotation(("[if " + l + " given " + a + "] " + body + "[end " + l + "]").c_str());
          p = end + 1;
          continue;
        }
      }
    }
    if (*p == '[') {
      struct Word {
        const char *name;
        Byte code;
        bool test;
      };
      static constexpr Word kWords[] = {
          {"if ", IF, true}, {"elif ", ELIF, true}, {"else ", ELSE, false}, {"end ", END, false}};
      const Word *word = nullptr;
      for (const Word &w : kWords)
        if (std::strncmp(p + 1, w.name, std::strlen(w.name)) == 0) word = &w;
      if (word) {
        const char *q = p + 1 + std::strlen(word->name);
        const long level = std::strtol(q, &end, 10);
        q = end;
        std::string dir{static_cast<char>(DIR), static_cast<char>(word->code), static_cast<char>(level)};
        bool ok = level > 0;
        if (ok && word->test) {
          ok = false;
          while (*q == ' ') ++q;
          for (unsigned i = 0; i < 4; ++i) {
            const size_t len = std::strlen(kOps[i]);
            if (std::strncmp(q, kOps[i], len) == 0 && q[len] == ' ') {
              const long n = std::strtol(q + len, &end, 10);
              dir += static_cast<char>(i + 1);
              dir += static_cast<char>(n);
              q = end;
              ok = n > 0;
              break;
            }
          }
        }
        if (ok && *q == ']') {
          out += dir;
          p = q + 1;
          continue;
        }
      }
    }
    out += *p++;
  }
  return out;
}

} // namespace sqltmpl
