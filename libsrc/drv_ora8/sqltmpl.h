#pragma once
// SQL templates: SQL text with embedded directives that insert an argument or
// keep or drop a stretch of text according to a test on an argument. The
// catalog operations and the cursor layer build their SQL from them.
//
// A template is a NUL-terminated byte string. Every byte other than 0xFF is
// copied unchanged; 0xFF starts a directive:
//   FF 01 n        insert argument n (counted from 1)
//   FF 02 L op n   if: on false skip to the matching elif, else or end of level L
//   FF 03 L op n   elif
//   FF 04 L        else
//   FF 05 L        end of the conditional of level L
//   FF d           (any other d) produces nothing
// A nested conditional carries a higher level than the one around it, so that
// skipping matches directives by level alone.
#include <cstdint>
#include <string>

struct MemPool;

namespace sqltmpl {
constexpr unsigned char DIR = 0xFF;
constexpr unsigned char ARG = 1;
constexpr unsigned char IF = 2;
constexpr unsigned char ELIF = 3;
constexpr unsigned char ELSE = 4;
constexpr unsigned char END = 5;

// Tests of an if or elif.
constexpr unsigned char OP_EMPTY = 1;   // SqlTmpl_IsEmptyArg
constexpr unsigned char OP_GIVEN = 2;   // not SqlTmpl_IsEmptyArg
constexpr unsigned char OP_PATTERN = 3; // SqlTmpl_HasWildcard
constexpr unsigned char OP_EXACT = 4;   // not SqlTmpl_HasWildcard

// Builds a template from its readable form: {n} inserts argument n;
// [if L op n], [elif L op n], [else L], [end L] with op one of empty, given,
// pattern, exact. Everything else is copied. Templates are written this way
// in the source and built once.
std::string fromNotation(const char *text);
} // namespace sqltmpl

// Appends the expansion of tmpl and one terminating NUL to the pool's growing
// object (the caller runs mpl_init before and mpl_finish after). Argument n
// is args[n-1]; a number 0 or above count inserts NULL (and tests as ""), a
// NULL pointer inserts nothing. Arguments are copied byte for byte. A pattern
// or exact test may rewrite its argument in place (see SqlTmpl_HasWildcard).
// Always returns 0.
int SqlTmpl_Expand(MemPool *pool, const char *tmpl, char **args, unsigned count);

// The same, except that an argument inserted inside a quoted string literal
// of the template ('{n}') has each of its single quotes doubled, so that a
// name such as O'NEIL stays one literal and no argument can end the literal
// early. Used where arguments are user-supplied names.
int SqlTmpl_ExpandQuoted(MemPool *pool, const char *tmpl, char **args, unsigned count);

// 1 when text is NULL, exactly "%", or only spaces (or nothing); else 0.
int SqlTmpl_IsEmptyArg(const char *text);

// 1 when text holds an unescaped ODBC wildcard ("_" or "%" first or not
// preceded by a backslash). Otherwise 0, and when an escaped wildcard was seen
// the escapes before wildcards are dropped in place, leaving the literal name.
int SqlTmpl_HasWildcard(char *text);
