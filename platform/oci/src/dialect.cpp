// Oracle SQL to SQLite SQL: a tokenizer and a recursive-descent translator.
//
// The translator parses the Oracle statement (it does not patch strings) and
// writes the SQLite text as it goes. What it cannot translate faithfully it
// refuses with the Oracle error a server would give for a feature it lacks
// (ORA-03001 unimplemented feature) or for bad SQL (ORA-00900 ...), so a
// statement either means the same thing on SQLite or fails.
//
// Conventions of the output:
// - Identifiers are written double-quoted: unquoted Oracle names upper-cased,
//   quoted names as written. The connection disables double-quoted string
//   literals, so a wrong name is an error and never a string.
// - Bind placeholders become "?N", N counting occurrences in text order.
// - Arithmetic, concatenation and most functions go through the ORA_ function
//   library (orafuncs.cpp), which knows the DATE text form and Oracle's NULL
//   and number rules. Plain numeric arithmetic stays native.
// - Every select-list item gets an alias with the name Oracle reports.
// - ORDER BY items get the NULLS LAST / NULLS FIRST that Oracle implies.

#include "dialect.h"

#include <sqlite3.h>

#include <algorithm>
#include <cassert>
#include <cctype>
#include <cstdio>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <limits>
#include <new>
#include <string>
#include <vector>

#include "dialect_int.h"

namespace {

// ---------------------------------------------------------------- tokens

enum TokType { T_END, T_WORD, T_QID, T_STR, T_NUM, T_BIND, T_OP };

struct Tok {
  TokType t = T_END;
  std::string v;      // WORD: upper-cased; QID: name; STR: value; NUM: text;
                      // BIND: name (upper-cased unless quoted); OP: operator
  int off = 0;        // byte range in the source text
  int end = 0;
  bool nchar = false; // N'...' literal
  char numsfx = 0;    // 'F' / 'D': BINARY_FLOAT / BINARY_DOUBLE literal
};

struct Fail {};  // thrown inside dl_translate only, after *err is set

bool ident_start(unsigned char c) { return std::isalpha(c) || c >= 0x80; }
bool ident_char(unsigned char c) {
  return std::isalnum(c) || c == '_' || c == '$' || c == '#' || c >= 0x80;
}

std::string upper(std::string s) {
  for (char& c : s) c = (char)std::toupper((unsigned char)c);
  return s;
}

// Splits text into tokens. Comments (and optimizer hints) are dropped.
int lex(const char* s, size_t n, std::vector<Tok>* out, DlError* err) {
  size_t i = 0;
  out->reserve(n / 4 + 8);
  auto fail = [&](int code, size_t at, const char* arg) {
    dl_set_error(err, code, arg);
    err->offset = (int)at;
    return code;
  };
  while (i < n) {
    unsigned char c = (unsigned char)s[i];
    if (std::isspace(c)) { ++i; continue; }
    if (c == '-' && i + 1 < n && s[i + 1] == '-') {
      while (i < n && s[i] != '\n') ++i;
      continue;
    }
    if (c == '/' && i + 1 < n && s[i + 1] == '*') {
      size_t e = i + 2;
      while (e + 1 < n && !(s[e] == '*' && s[e + 1] == '/')) ++e;
      if (e + 1 >= n) return fail(1742, i, nullptr);  // comment not terminated
      i = e + 2;
      continue;
    }
    Tok t;
    t.off = (int)i;
    // N'...' national literal and q'[...]' alternative quoting
    bool nprefix = (c == 'N' || c == 'n') && i + 1 < n && s[i + 1] == '\'';
    bool qprefix = (c == 'Q' || c == 'q') && i + 2 < n && s[i + 1] == '\'';
    bool nqprefix = (c == 'N' || c == 'n') && i + 3 < n && (s[i + 1] == 'q' || s[i + 1] == 'Q') &&
                    s[i + 2] == '\'';
    if (qprefix || nqprefix) {
      size_t j = i + (nqprefix ? 3 : 2);
      if (j >= n) return fail(1756, i, nullptr);
      char open = s[j], close = open;
      if (open == '[') close = ']';
      else if (open == '{') close = '}';
      else if (open == '(') close = ')';
      else if (open == '<') close = '>';
      if (std::isspace((unsigned char)open)) return fail(911, j, nullptr);
      size_t k = j + 1;
      while (k + 1 < n && !(s[k] == close && s[k + 1] == '\'')) ++k;
      if (k + 1 >= n) return fail(1756, i, nullptr);
      t.t = T_STR;
      t.v.assign(s + j + 1, k - j - 1);
      t.nchar = nqprefix;
      i = k + 2;
    } else if (c == '\'' || nprefix) {
      size_t j = i + (nprefix ? 2 : 1);
      std::string v;
      bool closed = false;
      while (j < n) {
        if (s[j] == '\'') {
          if (j + 1 < n && s[j + 1] == '\'') { v += '\''; j += 2; continue; }
          closed = true;
          ++j;
          break;
        }
        v += s[j++];
      }
      if (!closed) return fail(1756, i, nullptr);
      if (v.size() > 4000) return fail(1704, i, nullptr);  // string literal too long
      t.t = T_STR;
      t.v = std::move(v);
      t.nchar = nprefix;
      i = j;
    } else if (c == '"') {
      size_t j = i + 1;
      while (j < n && s[j] != '"') ++j;
      if (j >= n) return fail(1740, i, nullptr);
      if (j == i + 1) return fail(1741, i, nullptr);
      if (j - i - 1 > 30) return fail(972, i, nullptr);
      t.t = T_QID;
      t.v.assign(s + i + 1, j - i - 1);
      i = j + 1;
    } else if (ident_start(c)) {
      size_t j = i;
      while (j < n && ident_char((unsigned char)s[j])) ++j;
      if (j - i > 30) return fail(972, i, nullptr);
      t.t = T_WORD;
      t.v = upper(std::string(s + i, j - i));
      i = j;
    } else if (std::isdigit(c) || (c == '.' && i + 1 < n && std::isdigit((unsigned char)s[i + 1]))) {
      size_t j = i;
      while (j < n && std::isdigit((unsigned char)s[j])) ++j;
      // "1..2" is not a number followed by a point
      if (j < n && s[j] == '.' && !(j + 1 < n && s[j + 1] == '.')) {
        ++j;
        while (j < n && std::isdigit((unsigned char)s[j])) ++j;
      }
      if (j < n && (s[j] == 'e' || s[j] == 'E')) {
        size_t k = j + 1;
        if (k < n && (s[k] == '+' || s[k] == '-')) ++k;
        if (k < n && std::isdigit((unsigned char)s[k])) {
          j = k;
          while (j < n && std::isdigit((unsigned char)s[j])) ++j;
        }
      }
      t.t = T_NUM;
      t.v.assign(s + i, j - i);
      if (j < n && (s[j] == 'f' || s[j] == 'F' || s[j] == 'd' || s[j] == 'D') &&
          !(j + 1 < n && ident_char((unsigned char)s[j + 1]))) {
        t.numsfx = (char)std::toupper((unsigned char)s[j]);
        ++j;
      }
      i = j;
    } else if (c == ':' && i + 1 < n && s[i + 1] != '=') {
      size_t j = i + 1;
      t.t = T_BIND;
      if (j < n && s[j] == '"') {
        size_t k = j + 1;
        while (k < n && s[k] != '"') ++k;
        if (k >= n) return fail(1740, i, nullptr);
        t.v.assign(s + j + 1, k - j - 1);
        i = k + 1;
      } else if (j < n && (std::isdigit((unsigned char)s[j]) || ident_start((unsigned char)s[j]))) {
        size_t k = j;
        while (k < n && ident_char((unsigned char)s[k])) ++k;
        t.v = upper(std::string(s + j, k - j));
        i = k;
      } else {
        return fail(911, i, nullptr);
      }
      if (t.v.empty() || t.v.size() > 30) return fail(1036, i, nullptr);
    } else {
      static const char* ops2[] = {"||", "<=", ">=", "<>", "!=", "^=", "~=", ":=", "=>", "**", ".."};
      bool found = false;
      for (const char* o : ops2) {
        if (i + 1 < n && s[i] == o[0] && s[i + 1] == o[1]) {
          t.t = T_OP;
          t.v = o;
          i += 2;
          found = true;
          break;
        }
      }
      if (!found) {
        if (!std::strchr("(),.+-*/=<>;@%", (char)c) || c == 0) return fail(911, i, nullptr);
        t.t = T_OP;
        t.v.assign(1, (char)c);
        ++i;
      }
    }
    t.end = (int)i;
    out->push_back(std::move(t));
  }
  Tok e;
  e.t = T_END;
  e.off = e.end = (int)n;
  out->push_back(e);
  return 0;
}

// ----------------------------------------------------------- types

enum Rule {
  RULE_NONE = 0,
  RULE_SAME = 1,       // the probed column's type
  RULE_DATE_OR_NUM = 2,// DATE when the probed column is a datetime, else NUMBER
  RULE_DIFF2 = 3,      // p0 - p1: NUMBER when both datetimes, DATE when p0 is
  RULE_DATE_MINUS = 4, // known date - p0: NUMBER when p0 is a datetime, else DATE
  RULE_STR_SAME = 5,   // VARCHAR2 of the probed column's size (4000 when unknown)
};

struct Ty {
  DlColType c;
  int rule = RULE_NONE;
  std::string probe[2];  // column expressions (SQLite text) to probe
};

bool is_dt(const DlColType& c) { return c.type == DL_T_DATE || c.type == DL_T_TIMESTAMP; }
bool is_num(const DlColType& c) {
  return c.type == DL_T_NUMBER || c.type == DL_T_BINARY_FLOAT || c.type == DL_T_BINARY_DOUBLE;
}
bool known(const Ty& t) { return t.c.type != DL_T_UNKNOWN && t.rule == RULE_NONE; }

Ty ty_of(uint16_t type, uint32_t size = 0, int16_t prec = 0, int8_t scale = 0) {
  Ty t;
  t.c.type = type;
  t.c.size = size;
  t.c.precision = prec;
  t.c.scale = scale;
  return t;
}
Ty ty_number() { return ty_of(DL_T_NUMBER, 22, 0, -127); }
Ty ty_varchar(uint32_t size) { return ty_of(DL_T_VARCHAR2, size); }
Ty ty_date() { return ty_of(DL_T_DATE, 7); }
Ty ty_timestamp() { return ty_of(DL_T_TIMESTAMP, 11, 0, 6); }

// An expression translated: its SQLite text and what is known of its type.
struct Ex {
  std::string s;
  Ty ty;
  bool colref = false;     // a plain column reference (probe-able)
  std::string colname;     // its last name part (for the item name)
  bool agg = false;        // contains an aggregate outside subqueries
  bool is_count = false;
  bool is_rowid = false;   // a plain ROWID pseudo-column reference
  bool num_lit = false;    // a numeric literal (or bind used as number)
  bool is_bind = false;
  std::string lit;         // numeric literal text
};

// ------------------------------------------------------- function table

enum Ret : uint8_t {
  RT_NUM, RT_VC, RT_VC1, RT_VC4, RT_VC18, RT_VC256, RT_DATE, RT_TS, RT_ARG1, RT_ARG1STR, RT_ARG2,
  RT_DATENUM, RT_RAW, RT_RAW16, RT_COUNT, RT_CLOB, RT_BLOB, RT_ROWID,
};
enum FnKind : uint8_t {
  FK_ORA,       // scalar ORA_ function
  FK_AGG,       // SQLite's own aggregate (also usable with OVER)
  FK_ORA_AGG,   // our aggregate
  FK_WINDOW,    // window function: needs OVER
  FK_NATIVE,    // SQLite scalar function with Oracle's meaning
  FK_NVL, FK_NVL2, FK_DECODE,
};

struct FnDef {
  const char* name;
  const char* sql;
  int8_t minargs;
  int16_t maxargs;
  Ret ret;
  FnKind kind;
};

// Sorted by name (binary search).
const FnDef kFunctions[] = {
    {"ABS", "ORA_ABS", 1, 1, RT_NUM, FK_ORA},
    {"ACOS", "ORA_ACOS", 1, 1, RT_NUM, FK_ORA},
    {"ADD_MONTHS", "ORA_ADD_MONTHS", 2, 2, RT_DATE, FK_ORA},
    {"ASCII", "ORA_ASCII", 1, 1, RT_NUM, FK_ORA},
    {"ASIN", "ORA_ASIN", 1, 1, RT_NUM, FK_ORA},
    {"ATAN", "ORA_ATAN", 1, 1, RT_NUM, FK_ORA},
    {"ATAN2", "ORA_ATAN2", 2, 2, RT_NUM, FK_ORA},
    {"AVG", "avg", 1, 1, RT_NUM, FK_AGG},
    {"BITAND", "ORA_BITAND", 2, 2, RT_NUM, FK_ORA},
    {"CEIL", "ORA_CEIL", 1, 1, RT_NUM, FK_ORA},
    {"CHR", "ORA_CHR", 1, 1, RT_VC1, FK_ORA},
    {"COALESCE", "coalesce", 2, 255, RT_ARG1, FK_NATIVE},
    {"CONCAT", "ORA_CONCAT", 2, 2, RT_VC, FK_ORA},
    {"COS", "ORA_COS", 1, 1, RT_NUM, FK_ORA},
    {"COSH", "ORA_COSH", 1, 1, RT_NUM, FK_ORA},
    {"COUNT", "count", 1, 1, RT_COUNT, FK_AGG},
    {"CUME_DIST", "cume_dist", 0, 0, RT_NUM, FK_WINDOW},
    {"DECODE", "", 3, 255, RT_ARG2, FK_DECODE},
    {"DENSE_RANK", "dense_rank", 0, 0, RT_NUM, FK_WINDOW},
    {"EMPTY_BLOB", "ORA_EMPTY_BLOB", 0, 0, RT_BLOB, FK_ORA},
    {"EMPTY_CLOB", "ORA_EMPTY_CLOB", 0, 0, RT_CLOB, FK_ORA},
    {"EXP", "ORA_EXP", 1, 1, RT_NUM, FK_ORA},
    {"FIRST_VALUE", "first_value", 1, 1, RT_ARG1, FK_WINDOW},
    {"FLOOR", "ORA_FLOOR", 1, 1, RT_NUM, FK_ORA},
    {"GREATEST", "ORA_GREATEST", 1, 255, RT_ARG1, FK_ORA},
    {"HEXTORAW", "ORA_HEXTORAW", 1, 1, RT_RAW, FK_ORA},
    {"INITCAP", "ORA_INITCAP", 1, 1, RT_ARG1STR, FK_ORA},
    {"INSTR", "ORA_INSTR", 2, 4, RT_NUM, FK_ORA},
    {"INSTRB", "ORA_INSTRB", 2, 4, RT_NUM, FK_ORA},
    {"LAG", "lag", 1, 3, RT_ARG1, FK_WINDOW},
    {"LAST_DAY", "ORA_LAST_DAY", 1, 1, RT_DATE, FK_ORA},
    {"LAST_VALUE", "last_value", 1, 1, RT_ARG1, FK_WINDOW},
    {"LEAD", "lead", 1, 3, RT_ARG1, FK_WINDOW},
    {"LEAST", "ORA_LEAST", 1, 255, RT_ARG1, FK_ORA},
    {"LENGTH", "ORA_LENGTH", 1, 1, RT_NUM, FK_ORA},
    {"LENGTHB", "ORA_LENGTHB", 1, 1, RT_NUM, FK_ORA},
    {"LENGTHC", "ORA_LENGTH", 1, 1, RT_NUM, FK_ORA},
    {"LN", "ORA_LN", 1, 1, RT_NUM, FK_ORA},
    {"LOG", "ORA_LOG", 2, 2, RT_NUM, FK_ORA},
    {"LOWER", "ORA_LOWER", 1, 1, RT_ARG1STR, FK_ORA},
    {"LPAD", "ORA_LPAD", 2, 3, RT_VC, FK_ORA},
    {"LTRIM", "ORA_LTRIM", 1, 2, RT_ARG1STR, FK_ORA},
    {"MAX", "max", 1, 1, RT_ARG1, FK_AGG},
    {"MIN", "min", 1, 1, RT_ARG1, FK_AGG},
    {"MOD", "ORA_MOD", 2, 2, RT_NUM, FK_ORA},
    {"MONTHS_BETWEEN", "ORA_MONTHS_BETWEEN", 2, 2, RT_NUM, FK_ORA},
    {"NEXT_DAY", "ORA_NEXT_DAY", 2, 2, RT_DATE, FK_ORA},
    {"NLS_INITCAP", "ORA_INITCAP", 1, 2, RT_ARG1STR, FK_ORA},
    {"NLS_LOWER", "ORA_LOWER", 1, 2, RT_ARG1STR, FK_ORA},
    {"NLS_UPPER", "ORA_UPPER", 1, 2, RT_ARG1STR, FK_ORA},
    {"NTILE", "ntile", 1, 1, RT_NUM, FK_WINDOW},
    {"NULLIF", "nullif", 2, 2, RT_ARG1, FK_NATIVE},
    {"NVL", "", 2, 2, RT_ARG1, FK_NVL},
    {"NVL2", "", 3, 3, RT_ARG2, FK_NVL2},
    {"PERCENT_RANK", "percent_rank", 0, 0, RT_NUM, FK_WINDOW},
    {"POWER", "ORA_POWER", 2, 2, RT_NUM, FK_ORA},
    {"RANK", "rank", 0, 0, RT_NUM, FK_WINDOW},
    {"RAWTOHEX", "ORA_RAWTOHEX", 1, 1, RT_VC, FK_ORA},
    {"REMAINDER", "ORA_REMAINDER", 2, 2, RT_NUM, FK_ORA},
    {"REPLACE", "ORA_REPLACE", 2, 3, RT_VC, FK_ORA},
    {"ROUND", "ORA_ROUND", 1, 2, RT_DATENUM, FK_ORA},
    {"ROWIDTOCHAR", "ORA_ROWIDTOCHAR", 1, 1, RT_VC18, FK_ORA},
    {"ROW_NUMBER", "row_number", 0, 0, RT_NUM, FK_WINDOW},
    {"RPAD", "ORA_RPAD", 2, 3, RT_VC, FK_ORA},
    {"RTRIM", "ORA_RTRIM", 1, 2, RT_ARG1STR, FK_ORA},
    {"SIGN", "ORA_SIGN", 1, 1, RT_NUM, FK_ORA},
    {"SIN", "ORA_SIN", 1, 1, RT_NUM, FK_ORA},
    {"SINH", "ORA_SINH", 1, 1, RT_NUM, FK_ORA},
    {"SOUNDEX", "ORA_SOUNDEX", 1, 1, RT_VC4, FK_ORA},
    {"SQRT", "ORA_SQRT", 1, 1, RT_NUM, FK_ORA},
    {"STDDEV", "ORA_STDDEV", 1, 1, RT_NUM, FK_ORA_AGG},
    {"SUBSTR", "ORA_SUBSTR", 2, 3, RT_ARG1STR, FK_ORA},
    {"SUBSTRB", "ORA_SUBSTRB", 2, 3, RT_ARG1STR, FK_ORA},
    {"SUM", "sum", 1, 1, RT_NUM, FK_AGG},
    {"SYS_CONTEXT", "ORA_SYS_CONTEXT", 2, 3, RT_VC256, FK_ORA},
    {"SYS_GUID", "ORA_SYS_GUID", 0, 0, RT_RAW16, FK_ORA},
    {"TAN", "ORA_TAN", 1, 1, RT_NUM, FK_ORA},
    {"TANH", "ORA_TANH", 1, 1, RT_NUM, FK_ORA},
    {"TO_CHAR", "ORA_TO_CHAR", 1, 3, RT_VC, FK_ORA},
    {"TO_CLOB", "ORA_TO_CHAR", 1, 1, RT_CLOB, FK_ORA},
    {"TO_DATE", "ORA_TO_DATE", 1, 3, RT_DATE, FK_ORA},
    {"TO_NCHAR", "ORA_TO_CHAR", 1, 3, RT_VC, FK_ORA},
    {"TO_NUMBER", "ORA_TO_NUMBER", 1, 3, RT_NUM, FK_ORA},
    {"TO_TIMESTAMP", "ORA_TO_TIMESTAMP", 1, 3, RT_TS, FK_ORA},
    {"TRANSLATE", "ORA_TRANSLATE", 3, 3, RT_ARG1STR, FK_ORA},
    {"TRUNC", "ORA_TRUNC", 1, 2, RT_DATENUM, FK_ORA},
    {"UPPER", "ORA_UPPER", 1, 1, RT_ARG1STR, FK_ORA},
    {"USERENV", "ORA_USERENV", 1, 1, RT_VC256, FK_ORA},
    {"VARIANCE", "ORA_VARIANCE", 1, 1, RT_NUM, FK_ORA_AGG},
    {"VSIZE", "ORA_VSIZE", 1, 1, RT_NUM, FK_ORA},
};

// Functions of the package the driver's escape translation names; the
// stand-in database provides them.
const FnDef kDarodo7[] = {
    {"COT", "ORA_COT", 1, 1, RT_NUM, FK_ORA},
    {"DEGREES", "ORA_DEGREES", 1, 1, RT_NUM, FK_ORA},
    {"INSERT_STRING", "ORA_INSERT_STRING", 4, 4, RT_VC, FK_ORA},
    {"LEFT", "ORA_LEFT", 2, 2, RT_VC, FK_ORA},
    {"LOCATE", "ORA_LOCATE", 2, 3, RT_NUM, FK_ORA},
    {"RADIANS", "ORA_RADIANS", 1, 1, RT_NUM, FK_ORA},
    {"REPEAT", "ORA_REPEAT", 2, 2, RT_VC, FK_ORA},
    {"RIGHT", "ORA_RIGHT", 2, 2, RT_VC, FK_ORA},
    {"TIMESTAMPADD", "ORA_TIMESTAMPADD", 3, 3, RT_ARG2, FK_ORA},
    {"TIMESTAMPDIFF", "ORA_TIMESTAMPDIFF", 3, 3, RT_NUM, FK_ORA},
};

// Oracle functions this stand-in does not have: refused as unimplemented
// rather than reported as unknown names.
const char* const kUnsupportedFunctions[] = {
    "BFILENAME", "CARDINALITY", "CAST_FROM", "COLLECT", "CONVERT", "CORR", "COVAR_POP",
    "COVAR_SAMP", "DBTIMEZONE", "DEREF", "DUMP", "EMPTY", "FROM_TZ", "GROUPING", "GROUPING_ID",
    "LISTAGG", "MEDIAN", "NEW_TIME", "NLSSORT", "NUMTODSINTERVAL", "NUMTOYMINTERVAL",
    "PERCENTILE_CONT", "PERCENTILE_DISC", "RATIO_TO_REPORT", "REF", "REGEXP_COUNT",
    "REGEXP_INSTR", "REGEXP_LIKE", "REGEXP_REPLACE", "REGEXP_SUBSTR", "SESSIONTIMEZONE",
    "SYS_CONNECT_BY_PATH", "SYS_EXTRACT_UTC", "TO_BINARY_DOUBLE",
    "TO_BINARY_FLOAT", "TO_BLOB", "TO_DSINTERVAL", "TO_LOB", "TO_MULTI_BYTE", "TO_SINGLE_BYTE",
    "TO_TIMESTAMP_TZ", "TO_YMINTERVAL", "TREAT", "TZ_OFFSET", "UNISTR", "VALUE",
    "WIDTH_BUCKET", "XMLAGG", "XMLELEMENT", "XMLTYPE",
};

[[maybe_unused]] bool fn_table_sorted(const FnDef* tab, size_t n) {
  for (size_t i = 1; i < n; ++i)
    if (std::strcmp(tab[i - 1].name, tab[i].name) >= 0) return false;
  return true;
}

const FnDef* find_fn(const FnDef* tab, size_t n, const std::string& name) {
  assert(fn_table_sorted(tab, n));
  size_t lo = 0, hi = n;
  while (lo < hi) {
    size_t mid = (lo + hi) / 2;
    int c = std::strcmp(name.c_str(), tab[mid].name);
    if (c == 0) return &tab[mid];
    if (c < 0) hi = mid;
    else lo = mid + 1;
  }
  return nullptr;
}

bool is_unsupported_fn(const std::string& name) {
  for (const char* u : kUnsupportedFunctions)
    if (name == u) return true;
  return false;
}

// Words that end an expression or a table reference (so they are never taken
// as an alias), besides Oracle's reserved words.
const char* const kStopWords[] = {
    "CONNECT", "CROSS", "END", "ESCAPE", "EXCEPT", "FETCH", "FULL", "INNER", "JOIN", "LEFT",
    "LIMIT", "LOG", "MODEL", "NATURAL", "NULLS", "OFFSET", "OUTER", "PARTITION", "PIVOT",
    "RETURN", "RETURNING", "RIGHT", "SAMPLE", "UNPIVOT", "USING", "WHEN", "WINDOW",
};

bool is_stop_word(const std::string& w) {
  if (dl::is_reserved(w)) return true;
  for (const char* s : kStopWords)
    if (w == s) return true;
  return false;
}

std::string quote_id(const std::string& name) {
  std::string r = "\"";
  for (char c : name) {
    if (c == '"') r += '"';
    r += c;
  }
  r += '"';
  return r;
}

std::string quote_str(const std::string& v) {
  std::string r = "'";
  for (char c : v) {
    if (c == '\'') r += '\'';
    r += c;
  }
  r += '\'';
  return r;
}

// --------------------------------------------------------- translator

struct RownumCap {
  bool allowed = false;
  bool found = false;
  std::string limit;  // SQLite LIMIT expression
};

struct Block {  // state of the query block being translated
  bool has_rownum_item = false;
};

class Translator {
 public:
  Translator(const char* src, size_t len, const DlSession* ses, DlStatement* st, DlError* err)
      : src_(src), len_(len), ses_(ses), st_(st), err_(err) {}

  void run();

 private:
  const char* src_;
  size_t len_;
  const DlSession* ses_;
  DlStatement* st_;
  DlError* err_;
  std::vector<Tok> tk_;
  size_t p_ = 0;
  bool plsql_ = false;
  std::vector<std::string> plsql_names_;
  // The parts of the last table name read (schema "" when unqualified or the
  // session's own), for the target of INSERT and UPDATE.
  std::string last_schema_, last_table_;
  bool last_qualified_ = false;  // the last table name had its owner
  bool synonym_target(std::string* out, bool bare);
  // CREATE TABLE: the schema the table goes to (as written, "" the session's
  // own) and its foreign keys to another schema, which SQLite cannot declare.
  struct CrossKey {
    std::string name, columns, rOwner, rTable, rColumns, rule;  // columns comma-separated
  };
  std::string create_schema_;
  std::vector<CrossKey> cross_keys_;
  struct {
    std::string owner, table, rule;  // owner "" for the table's own schema
    std::vector<std::string> columns;
  } ref_;  // the last REFERENCES clause
  std::string references(const std::string& cname, const std::vector<std::string>& columns);
  int depth_ = 0;  // nesting of parentheses, subqueries and calls

  // Deep nesting is refused before it can exhaust the stack.
  struct Nest {
    Translator* t;
    explicit Nest(Translator* tr) : t(tr) {
      if (++t->depth_ > 300) t->unimplemented();
    }
    ~Nest() { --t->depth_; }
  };

  // ---- token helpers
  const Tok& cur() const { return tk_[p_]; }
  const Tok& peek(size_t k = 1) const { return tk_[std::min(p_ + k, tk_.size() - 1)]; }
  bool w(const char* word, size_t k = 0) const {
    const Tok& t = peek(k);
    return t.t == T_WORD && t.v == word;
  }
  bool op(const char* o, size_t k = 0) const {
    const Tok& t = peek(k);
    return t.t == T_OP && t.v == o;
  }
  bool accept_w(const char* word) {
    if (!w(word)) return false;
    ++p_;
    return true;
  }
  bool accept_op(const char* o) {
    if (!op(o)) return false;
    ++p_;
    return true;
  }
  [[noreturn]] void fail(int code, const char* arg = nullptr) { fail_at(code, cur(), arg); }
  [[noreturn]] void fail_at(int code, const Tok& at, const char* arg = nullptr) {
    dl_set_error(err_, code, arg);
    err_->offset = at.off;
    throw Fail{};
  }
  void expect_w(const char* word, int code) {
    if (!accept_w(word)) fail(code);
  }
  void expect_op(const char* o, int code) {
    if (!accept_op(o)) fail(code);
  }
  void expect_rparen() { expect_op(")", 907); }
  bool at_end() const { return cur().t == T_END; }
  void unimplemented() { fail(3001); }

  bool is_name_tok(size_t k = 0) const {
    const Tok& t = peek(k);
    return t.t == T_QID || (t.t == T_WORD && !dl::is_reserved(t.v));
  }
  // An identifier (unquoted names upper-cased).
  std::string name() {
    const Tok& t = cur();
    if (t.t == T_QID || (t.t == T_WORD && !dl::is_reserved(t.v))) {
      ++p_;
      return t.v;
    }
    if (t.t == T_WORD) fail(904, t.v.c_str());
    fail(931);  // missing identifier
  }
  std::string source(int from, int to) const { return std::string(src_ + from, (size_t)(to - from)); }

  // ---- statements
  void statement();
  void select_statement();
  std::string query(bool top, std::vector<DlItem>* items, bool* has_order);
  std::string query_term(bool top, std::vector<DlItem>* items, bool compound, bool* limited);
  std::string select_block(bool top, std::vector<DlItem>* items, bool compound, bool* limited);
  std::string select_item(std::vector<DlItem>* items, Block* blk, bool* agg);
  std::string from_list(std::string* from_sql);
  std::string from_item();
  std::string table_ref();
  std::string table_name(bool allow_dual, bool* is_dual = nullptr);
  std::string order_by();
  void for_update();
  void insert_statement();
  void synonym_statement(bool create, bool or_replace);
  void update_statement();
  void delete_statement();
  void create_statement();
  void create_table(bool temporary);
  void create_index(bool unique);
  void create_view(bool or_replace);
  void create_sequence();
  static std::string sequence_table(const std::string& schema);
  void drop_statement();
  void alter_statement();
  void alter_session();
  void plsql_block();
  void commit_rollback();
  void skip_physical_attributes();
  void column_def(const std::string& table, std::string* cols, std::string* extra, bool add);
  std::string table_constraint(std::vector<std::string>* pk_cols, DlConstraintChange* seen = nullptr);
  void alter_constraint(bool add, const std::string& schema, const std::string& table);
  std::string datatype(DlColType* t, bool* char_sem, bool for_cast);
  std::string column_constraints(const std::string& table, const std::string& col);

  // ---- expressions
  // single: when the condition is a bare expression, that expression
  std::string cond(RownumCap* cap = nullptr, Ex* single = nullptr);
  std::string and_cond(RownumCap* cap, Ex* single);
  std::string not_cond(RownumCap* cap, Ex* single);
  std::string predicate(RownumCap* cap, Ex* single);
  bool rownum_predicate(RownumCap* cap, std::string* out);
  Ex expr();
  Ex term();
  Ex factor();
  Ex primary();
  Ex paren_primary();
  Ex name_primary();
  Ex function_call(const FnDef* fn, const std::string& oracle_name, int name_off);
  Ex case_expr();
  Ex cast_expr();
  Ex extract_expr();
  Ex trim_expr();
  std::string over_clause();
  std::string expr_list_in_parens(std::vector<Ex>* out);
  std::string bind(const Tok& t);
  Ex arith(const std::string& op, Ex a, Ex b);
  Ex concat(std::vector<Ex> parts);
  std::string subquery_in_parens();

  void comment_statement();
  bool object_grant() const;
  void grant_statement(bool revoke);
  void analyze_statement();

  std::string schema_name(const std::string& s) const {
    if (ses_ && !ses_->user.empty() && s == ses_->user) return "main";
    return quote_id(s);
  }
  bool own_schema(const std::string& s) const {
    return ses_ && !ses_->user.empty() && s == ses_->user;
  }
};

// ============================================================ statements

void Translator::run() {
  if (int rc = lex(src_, len_, &tk_, err_)) {
    (void)rc;
    throw Fail{};
  }
  if (at_end()) fail(900);
  statement();
}

void Translator::statement() {
  const Tok& t = cur();
  if (t.t == T_OP && t.v == "(") {
    select_statement();
  } else if (t.t != T_WORD) {
    fail(900);
  } else if (t.v == "SELECT" || t.v == "WITH") {
    select_statement();
  } else if (t.v == "INSERT") {
    insert_statement();
  } else if (t.v == "UPDATE") {
    update_statement();
  } else if (t.v == "DELETE") {
    delete_statement();
  } else if (t.v == "CREATE") {
    create_statement();
  } else if (t.v == "DROP") {
    drop_statement();
  } else if (t.v == "ALTER") {
    alter_statement();
  } else if (t.v == "TRUNCATE") {
    ++p_;
    if (!accept_w("TABLE")) fail(3290);  // invalid TRUNCATE command
    std::string tab = table_name(false);
    if (accept_w("DROP") || accept_w("REUSE")) expect_w("STORAGE", 933);
    st_->kind = DL_OTHER_DDL;
    st_->ddl = true;
    st_->sql = "DELETE FROM " + tab;
  } else if (t.v == "RENAME") {
    ++p_;
    std::string a = name();
    expect_w("TO", 946);  // missing TO keyword
    std::string b = name();
    st_->kind = DL_OTHER_DDL;
    st_->ddl = true;
    st_->sql = "ALTER TABLE " + quote_id(a) + " RENAME TO " + quote_id(b);
  } else if (t.v == "COMMENT") {
    comment_statement();
  } else if (t.v == "ANALYZE") {
    analyze_statement();
  } else if ((t.v == "GRANT" || t.v == "REVOKE") && object_grant()) {
    grant_statement(t.v == "REVOKE");
  } else if (t.v == "GRANT" || t.v == "REVOKE") {
    // System privileges and roles: accepted without effect, the stand-in
    // checks none. Check the statement is at least one piece of text.
    st_->kind = DL_OTHER_DDL;
    st_->ddl = true;
    st_->sql.clear();
    p_ = tk_.size() - 1;
  } else if (t.v == "COMMIT" || t.v == "ROLLBACK" || t.v == "SAVEPOINT") {
    commit_rollback();
  } else if (t.v == "SET") {
    ++p_;
    if (!accept_w("TRANSACTION")) fail(922);  // missing or invalid option
    st_->kind = DL_SET_TRANSACTION;
    std::string mode;
    while (!at_end()) {
      if (!mode.empty()) mode += ' ';
      mode += cur().t == T_STR ? quote_str(cur().v) : cur().v;
      ++p_;
    }
    if (mode.empty()) fail(922);
    st_->session_param = mode;
  } else if (t.v == "LOCK") {
    ++p_;
    expect_w("TABLE", 900);
    table_name(false);
    while (accept_op(",")) table_name(false);
    expect_w("IN", 969);  // missing ON keyword (Oracle says IN here)
    while (!at_end() && !w("MODE")) ++p_;
    expect_w("MODE", 900);
    accept_w("NOWAIT");
    st_->kind = DL_LOCK_TABLE;
  } else if (t.v == "BEGIN") {
    plsql_block();
  } else if (t.v == "DECLARE") {
    st_->kind = DL_DECLARE;
    unimplemented();
  } else if (t.v == "CALL" || t.v == "EXPLAIN" || t.v == "MERGE" ||
             t.v == "AUDIT" || t.v == "NOAUDIT" || t.v == "FLASHBACK" || t.v == "PURGE" ||
             t.v == "ASSOCIATE" || t.v == "DISASSOCIATE") {
    unimplemented();
  } else {
    fail(900);
  }
  if (!at_end()) {
    if (op(";")) fail(911);
    fail(933);
  }
  if (st_->ddl && !st_->binds.empty()) fail(1027);  // bind variables not allowed in DDL
}

void Translator::select_statement() {
  st_->kind = DL_SELECT;
  bool has_order = false;
  std::string q = query(true, &st_->items, &has_order);
  if (w("FOR")) for_update();
  st_->sql = q;
}

void Translator::for_update() {
  expect_w("FOR", 933);
  expect_w("UPDATE", 933);
  if (accept_w("OF")) {
    do {
      name();
      while (accept_op(".")) name();
    } while (accept_op(","));
  }
  if (accept_w("NOWAIT")) {
    st_->for_update_wait_ms = 0;
  } else if (accept_w("WAIT")) {
    if (cur().t != T_NUM) fail(30005);
    const long secs = std::strtol(cur().v.c_str(), nullptr, 10);
    st_->for_update_wait_ms = secs <= 0 ? 0 : static_cast<int>(std::min(secs, 86400L) * 1000);
    ++p_;
  } else if (accept_w("SKIP")) {
    if (!accept_w("LOCKED")) fail(933);
  }
  // The execute takes the write locks of the schemas the query reads (SQLite
  // locks a whole schema file), held to the end of the transaction.
  st_->has_for_update = true;
}

// [WITH ...] body [ORDER BY ...]
std::string Translator::query(bool top, std::vector<DlItem>* items, bool* has_order) {
  Nest nest(this);
  std::string out;
  if (accept_w("WITH")) {
    out = "WITH ";
    bool first = true;
    do {
      if (!first) out += ", ";
      first = false;
      std::string n = name();
      out += quote_id(n);
      if (op("(")) {
        ++p_;
        out += " (";
        bool f2 = true;
        do {
          if (!f2) out += ", ";
          f2 = false;
          out += quote_id(name());
        } while (accept_op(","));
        expect_rparen();
        out += ")";
      }
      expect_w("AS", 905);  // missing keyword
      expect_op("(", 906);
      bool ho = false;
      std::string sub = query(false, nullptr, &ho);
      expect_rparen();
      out += " AS (" + sub + ") ";
    } while (accept_op(","));
  }
  // compound: term { op term }
  bool limited = false;
  bool compound = false;
  std::string body = query_term(top, items, false, &limited);
  while (w("UNION") || w("INTERSECT") || w("MINUS") || w("EXCEPT")) {
    if (limited) unimplemented();  // ROWNUM limit inside a compound
    compound = true;
    std::string opname = cur().v;
    ++p_;
    if (opname == "UNION" && accept_w("ALL")) opname = "UNION ALL";
    if (opname == "MINUS") opname = "EXCEPT";
    bool lim2 = false;
    std::vector<DlItem> member;
    const bool outer = items && items == &st_->items;
    std::string t = query_term(false, outer ? &member : nullptr, true, &lim2);
    if (outer) {
      st_->member_items.push_back(std::move(member));
      st_->member_sql.push_back(t);
    }
    if (lim2) unimplemented();
    body += " " + opname + " " + t;
  }
  out += body;
  if (w("ORDER")) {
    if (limited) unimplemented();  // ROWNUM is applied before the sort
    out += " " + order_by();
    *has_order = true;
  }
  (void)compound;
  return out;
}

std::string Translator::query_term(bool top, std::vector<DlItem>* items, bool compound,
                                   bool* limited) {
  if (op("(")) {
    ++p_;
    bool ho = false;
    std::string q = query(top, items, &ho);
    expect_rparen();
    // SQLite does not take a parenthesised compound member; a subquery does
    // the same job.
    return "SELECT * FROM (" + q + ")";
  }
  if (!w("SELECT")) fail(928);  // missing SELECT keyword
  return select_block(top, items, compound, limited);
}

std::string Translator::select_block(bool top, std::vector<DlItem>* items, bool compound,
                                     bool* limited) {
  expect_w("SELECT", 928);
  std::string out = "SELECT ";
  if (accept_w("DISTINCT") || accept_w("UNIQUE")) out += "DISTINCT ";
  else accept_w("ALL");
  bool distinct = out.size() > 7;
  Block blk;
  std::vector<DlItem> local_items;
  std::vector<DlItem>* its = items ? items : &local_items;
  size_t first_item = its->size();
  bool agg = false;
  bool first = true;
  do {
    if (!first) out += ", ";
    first = false;
    out += select_item(its, &blk, &agg);
  } while (accept_op(","));
  if (w("INTO")) fail(905);  // SELECT INTO is PL/SQL only
  if (!w("FROM")) fail(923);
  std::string from_sql;
  out += " " + from_list(&from_sql);
  RownumCap cap;
  cap.allowed = true;
  if (accept_w("WHERE")) {
    std::string c = cond(&cap);
    if (!c.empty()) out += " WHERE " + c;
  }
  if (w("START") || w("CONNECT")) unimplemented();
  bool grouped = false;
  std::string group_by, having;  // Oracle takes them in either order
  for (int pass = 0; pass < 2; ++pass) {
    if (w("GROUP") && peek().t == T_WORD && peek().v == "BY" && group_by.empty()) {
      p_ += 2;
      if (w("ROLLUP") || w("CUBE") || w("GROUPING")) unimplemented();
      group_by = " GROUP BY ";
      bool f = true;
      do {
        if (!f) group_by += ", ";
        f = false;
        group_by += expr().s;
      } while (accept_op(","));
      grouped = true;
    } else if (having.empty() && accept_w("HAVING")) {
      having = " HAVING " + cond();
      grouped = true;
    }
  }
  out += group_by + having;
  if (w("MODEL") || w("PIVOT") || w("UNPIVOT")) unimplemented();
  if (blk.has_rownum_item && (grouped || agg)) unimplemented();
  if (cap.found) {
    if (grouped || agg || distinct || compound) unimplemented();
    out += " LIMIT " + cap.limit;
    *limited = true;
  }
  // Describe needs the FROM of the top block to probe column types.
  if (top && items) {
    for (size_t i = first_item; i < its->size(); ++i) {
      DlItem& it = (*its)[i];
      for (auto& pr : it.probe)
        if (!pr.empty()) pr = "SELECT " + pr + " " + from_sql;
    }
  }
  return out;
}

// Oracle's name of an unaliased expression: its text without blanks,
// upper-cased except inside double quotes.
std::string expr_name(const char* s, int from, int to) {
  std::string r;
  bool in_dq = false, in_sq = false;
  for (int i = from; i < to; ++i) {
    char c = s[i];
    if (c == '"' && !in_sq) in_dq = !in_dq;
    else if (c == '\'' && !in_dq) in_sq = !in_sq;
    if (!in_dq && !in_sq && std::isspace((unsigned char)c)) continue;
    r += in_dq ? c : (char)std::toupper((unsigned char)c);
  }
  return r;
}

std::string Translator::select_item(std::vector<DlItem>* items, Block* blk, bool* agg) {
  DlItem item;
  // "*" and "t.*"
  if (op("*")) {
    ++p_;
    item.star = true;
    items->push_back(item);
    return "*";
  }
  if ((cur().t == T_WORD || cur().t == T_QID) && op(".", 1) && op("*", 2)) {
    std::string q = cur().v;
    p_ += 3;
    item.star = true;
    items->push_back(item);
    return quote_id(q) + ".*";
  }
  if ((cur().t == T_WORD || cur().t == T_QID) && op(".", 1) &&
      (peek(2).t == T_WORD || peek(2).t == T_QID) && op(".", 3) && op("*", 4)) {
    std::string s = cur().v, t = peek(2).v;
    p_ += 5;
    item.star = true;
    items->push_back(item);
    return schema_name(s) + "." + quote_id(t) + ".*";
  }
  int from = cur().off;
  bool was_rownum = w("ROWNUM");
  Ex e = expr();
  int to = tk_[p_ - 1].end;
  if (was_rownum) blk->has_rownum_item = true;
  if (e.agg) *agg = true;
  std::string alias;
  bool has_alias = false;
  if (accept_w("AS")) {
    if (cur().t != T_WORD && cur().t != T_QID) fail(923);
    alias = cur().v;
    ++p_;
    has_alias = true;
  } else if (cur().t == T_QID || (cur().t == T_WORD && !is_stop_word(cur().v))) {
    alias = cur().v;
    ++p_;
    has_alias = true;
  }
  if (has_alias) {
    item.name = alias;
  } else if (e.colref || e.is_rowid) {
    item.name = e.colname;
  } else {
    item.name = expr_name(src_, from, to);
    item.expression = true;
  }
  std::string sql = e.s;
  if (e.is_rowid) {
    sql = "ORA_ROWIDTOCHAR(" + e.s + ")";
    e.ty = ty_of(DL_T_ROWID, 18);
  }
  item.type = e.ty.c;
  item.rule = e.ty.rule;
  item.probe[0] = e.ty.probe[0];
  item.probe[1] = e.ty.probe[1];
  item.is_count = e.is_count;
  items->push_back(item);
  return sql + " AS " + quote_id(item.name);
}

std::string Translator::from_list(std::string* from_sql) {
  expect_w("FROM", 923);
  std::string out = "FROM ";
  bool first = true;
  do {
    if (!first) out += ", ";
    first = false;
    out += from_item();
  } while (accept_op(","));
  *from_sql = out;
  return out;
}

std::string Translator::from_item() {
  std::string out = table_ref();
  for (;;) {
    std::string j;
    size_t save = p_;
    if (accept_w("NATURAL")) j = "NATURAL ";
    if (accept_w("CROSS")) {
      j += "CROSS JOIN";
    } else if (accept_w("INNER")) {
      j += "JOIN";
    } else if (accept_w("LEFT")) {
      accept_w("OUTER");
      j += "LEFT JOIN";
    } else if (accept_w("RIGHT")) {
      accept_w("OUTER");
      j += "RIGHT JOIN";
    } else if (accept_w("FULL")) {
      accept_w("OUTER");
      j += "FULL JOIN";
    } else if (w("JOIN")) {
      j += "JOIN";
    } else {
      p_ = save;
      break;
    }
    if (w("PARTITION")) unimplemented();
    expect_w("JOIN", 905);
    out += " " + j + " " + table_ref();
    if (accept_w("ON")) {
      out += " ON " + cond();
    } else if (accept_w("USING")) {
      expect_op("(", 906);
      out += " USING (";
      bool f = true;
      do {
        if (!f) out += ", ";
        f = false;
        out += quote_id(name());
      } while (accept_op(","));
      expect_rparen();
      out += ")";
    } else if (j.find("CROSS") == std::string::npos && j.find("NATURAL") == std::string::npos) {
      fail(905);
    }
  }
  return out;
}

std::string Translator::table_ref() {
  std::string out;
  bool is_dual = false;
  if (op("(")) {
    if (w("SELECT", 1) || w("WITH", 1) || op("(", 1)) {
      ++p_;
      bool ho = false;
      out = "(" + query(false, nullptr, &ho) + ")";
      expect_rparen();
    } else {
      ++p_;
      out = "(" + from_item() + ")";
      expect_rparen();
      return out;
    }
  } else if (w("TABLE") && op("(", 1)) {
    unimplemented();
  } else if (w("LATERAL") || w("ONLY")) {
    unimplemented();
  } else {
    out = table_name(true, &is_dual);
    if (!is_dual) synonym_target(&out, false);
  }
  if (w("SAMPLE") || w("PARTITION") || (w("AS") && w("OF", 1))) unimplemented();
  std::string alias;
  if (accept_w("AS")) {
    alias = name();
  } else if (cur().t == T_QID || (cur().t == T_WORD && !is_stop_word(cur().v))) {
    alias = cur().v;
    ++p_;
  }
  if (is_dual) return "(SELECT 'X' AS \"DUMMY\") AS " + quote_id(alias.empty() ? "DUAL" : alias);
  if (!alias.empty()) out += " AS " + quote_id(alias);
  return out;
}

// [schema.]name; DUAL (also SYS.DUAL) when allowed. Database links are not
// available.
std::string Translator::table_name(bool allow_dual, bool* is_dual) {
  const Tok& first = cur();
  std::string a = name();
  std::string out;
  if (accept_op(".")) {
    std::string b = name();
    if (allow_dual && b == "DUAL" && first.t == T_WORD && (a == "SYS" || a == "PUBLIC")) {
      if (is_dual) *is_dual = true;
      return "";
    }
    out = schema_name(a) + "." + quote_id(b);
    last_schema_ = own_schema(a) ? "" : a;
    last_table_ = b;
    last_qualified_ = true;
  } else {
    if (allow_dual && a == "DUAL" && first.t == T_WORD) {
      if (is_dual) *is_dual = true;
      return "";
    }
    out = quote_id(a);
    last_schema_.clear();
    last_table_ = a;
    last_qualified_ = false;
  }
  if (op("@")) unimplemented();  // database link
  return out;
}

// The table a synonym stands for, when the last table name is one: an
// owner's synonym named with its owner anywhere, and a bare name (the
// session's or a public synonym) when bare. SQLite reaches bare names in
// queries through the session's views, but cannot write through a view.
// *out becomes the table, aliased with the name as written.
bool Translator::synonym_target(std::string* out, bool bare) {
  if (!ses_ || (!bare && !last_qualified_)) return false;
  const std::string owner = !last_qualified_ ? "" : last_schema_.empty() ? ses_->user : last_schema_;
  const auto it = ses_->synonyms.find({owner, last_table_});
  if (it == ses_->synonyms.end()) return false;
  const std::string& towner = it->second.first;
  *out = schema_name(towner) + "." + quote_id(it->second.second);
  const std::string alias = quote_id(last_table_);
  last_schema_ = own_schema(towner) ? "" : towner;
  last_table_ = it->second.second;
  if (cur().t != T_QID && !(cur().t == T_WORD && !is_stop_word(cur().v) && !w("VALUES") && !w("SET") &&
                           !w("WHERE")))
    *out += " AS " + alias;
  return true;
}

std::string Translator::order_by() {
  expect_w("ORDER", 924);
  if (w("SIBLINGS")) unimplemented();
  expect_w("BY", 924);
  std::string out = "ORDER BY ";
  bool first = true;
  do {
    if (!first) out += ", ";
    first = false;
    out += expr().s;
    bool desc = false;
    if (accept_w("DESC")) {
      desc = true;
      out += " DESC";
    } else if (accept_w("ASC")) {
      out += " ASC";
    }
    if (accept_w("NULLS")) {
      if (accept_w("FIRST")) out += " NULLS FIRST";
      else if (accept_w("LAST")) out += " NULLS LAST";
      else fail(933);
    } else {
      // Oracle: NULL is the largest value.
      out += desc ? " NULLS FIRST" : " NULLS LAST";
    }
  } while (accept_op(","));
  return out;
}

void Translator::insert_statement() {
  expect_w("INSERT", 900);
  st_->kind = DL_INSERT;
  if (w("ALL") || w("FIRST")) unimplemented();
  expect_w("INTO", 925);  // missing INTO keyword
  std::string out = "INSERT INTO " + table_name(false);
  {
    std::string syn;
    if (synonym_target(&syn, true)) out = "INSERT INTO " + syn;
  }
  st_->target_schema = last_schema_;
  st_->target_table = last_table_;
  std::vector<std::string> columns;
  if (cur().t == T_WORD && !is_stop_word(cur().v) && !w("VALUES")) {
    out += " AS " + quote_id(name());
  } else if (cur().t == T_QID) {
    out += " AS " + quote_id(name());
  }
  if (op("(") && !(w("SELECT", 1) || w("WITH", 1))) {
    ++p_;
    out += " (";
    bool f = true;
    do {
      if (!f) out += ", ";
      f = false;
      std::string c = name();
      while (accept_op(".")) c = name();  // t.c: the table is known
      out += quote_id(c);
      columns.push_back(c);
    } while (accept_op(","));
    expect_rparen();
    out += ")";
  }
  if (accept_w("VALUES")) {
    expect_op("(", 906);
    out += " VALUES (";
    bool f = true;
    size_t i = 0;
    do {
      if (!f) out += ", ";
      f = false;
      const bool bare = cur().t == T_BIND && (op(",", 1) || op(")", 1));
      out += expr().s;
      if (bare) {
        if (columns.empty()) st_->binds.back().target_index = static_cast<int>(i);
        else if (i < columns.size()) st_->binds.back().target_column = columns[i];
      }
      ++i;
    } while (accept_op(","));
    expect_rparen();
    out += ")";
  } else if (w("SELECT") || w("WITH") || op("(")) {
    bool ho = false;
    out += " " + query(false, nullptr, &ho);
  } else {
    fail(926);  // missing VALUES keyword
  }
  if (w("RETURNING") || w("RETURN") || w("LOG")) unimplemented();
  st_->sql = out;
}

void Translator::update_statement() {
  expect_w("UPDATE", 900);
  st_->kind = DL_UPDATE;
  std::string out = "UPDATE " + table_name(false);
  {
    std::string syn;
    if (synonym_target(&syn, true)) out = "UPDATE " + syn;
  }
  st_->target_schema = last_schema_;
  st_->target_table = last_table_;
  if (cur().t == T_QID || (cur().t == T_WORD && !is_stop_word(cur().v))) out += " AS " + quote_id(name());
  expect_w("SET", 971);  // missing SET keyword
  out += " SET ";
  bool f = true;
  do {
    if (!f) out += ", ";
    f = false;
    if (op("(")) {
      ++p_;
      out += "(";
      bool f2 = true;
      do {
        if (!f2) out += ", ";
        f2 = false;
        std::string c = name();
        while (accept_op(".")) c = name();
        out += quote_id(c);
      } while (accept_op(","));
      expect_rparen();
      expect_op("=", 927);
      out += ") = ";
      if (!op("(") || !(w("SELECT", 1) || w("WITH", 1))) fail(907);
      out += subquery_in_parens();
    } else {
      std::string c = name();
      while (accept_op(".")) c = name();
      expect_op("=", 927);  // missing equal sign
      const bool bare = cur().t == T_BIND && (op(",", 1) || w("WHERE", 1) || w("RETURNING", 1) ||
                                             w("RETURN", 1) || peek(1).t == T_END || op(";", 1));
      out += quote_id(c) + " = " + expr().s;
      if (bare) st_->binds.back().target_column = c;
    }
  } while (accept_op(","));
  if (accept_w("WHERE")) {
    if (w("CURRENT")) unimplemented();
    out += " WHERE " + cond();
  }
  if (w("RETURNING") || w("RETURN") || w("LOG")) unimplemented();
  st_->sql = out;
}

void Translator::delete_statement() {
  expect_w("DELETE", 900);
  st_->kind = DL_DELETE;
  accept_w("FROM");
  std::string out = "DELETE FROM " + table_name(false);
  {
    std::string syn;
    if (synonym_target(&syn, true)) out = "DELETE FROM " + syn;
  }
  if (cur().t == T_QID || (cur().t == T_WORD && !is_stop_word(cur().v))) out += " AS " + quote_id(name());
  if (accept_w("WHERE")) {
    if (w("CURRENT")) unimplemented();
    out += " WHERE " + cond();
  }
  if (w("RETURNING") || w("RETURN") || w("LOG")) unimplemented();
  st_->sql = out;
}

void Translator::commit_rollback() {
  if (accept_w("COMMIT")) {
    st_->kind = DL_COMMIT;
    accept_w("WORK");
    if (accept_w("COMMENT")) {
      if (cur().t != T_STR) fail(2181);
      ++p_;
    }
    if (w("FORCE")) unimplemented();
    if (accept_w("WRITE")) {
      while (w("WAIT") || w("NOWAIT") || w("IMMEDIATE") || w("BATCH")) ++p_;
    }
    return;
  }
  if (accept_w("SAVEPOINT")) {
    st_->kind = DL_SAVEPOINT;
    st_->savepoint = name();
    st_->sql = "SAVEPOINT " + quote_id(st_->savepoint);
    return;
  }
  expect_w("ROLLBACK", 900);
  accept_w("WORK");
  if (accept_w("TO")) {
    accept_w("SAVEPOINT");
    st_->kind = DL_ROLLBACK_TO;
    st_->savepoint = name();
    st_->sql = "ROLLBACK TO " + quote_id(st_->savepoint);
    return;
  }
  if (w("FORCE")) unimplemented();
  st_->kind = DL_ROLLBACK;
}

// PL/SQL: only the shapes the driver itself sends and that map onto one SQL
// statement: "BEGIN :x := expr; END;", "BEGIN NULL; END;" and a block around
// one DML statement.
void Translator::plsql_block() {
  expect_w("BEGIN", 900);
  st_->kind = DL_BEGIN;
  plsql_ = true;
  auto plsql_error = [&](const Tok& at, const char* what) {
    char buf[300];
    int line = 1, col = 1;
    for (int i = 0; i < at.off && i < (int)len_; ++i) {
      if (src_[i] == '\n') { ++line; col = 1; }
      else ++col;
    }
    std::snprintf(buf, sizeof buf, "line %d, column %d:\n%s", line, col, what);
    fail_at(6550, at, buf);
  };
  if (accept_w("NULL")) {
    expect_op(";", 933);
    st_->sql.clear();
  } else if (cur().t == T_BIND && op(":=", 1)) {
    const Tok& target = cur();
    ++p_;
    ++p_;
    std::string b = bind(target);
    (void)b;
    st_->binds.back().output = true;
    Ex e = expr();
    if (!op(";")) plsql_error(cur(), "PLS-00103: Encountered an unexpected symbol");
    ++p_;
    st_->plsql_result = true;
    st_->sql = "SELECT " + e.s;
  } else if (w("INSERT") || w("UPDATE") || w("DELETE") || w("SELECT")) {
    if (w("SELECT")) plsql_error(cur(), "PLS-00428: an INTO clause is expected in this SELECT statement");
    DlKind k = DL_BEGIN;
    if (w("INSERT")) insert_statement();
    else if (w("UPDATE")) update_statement();
    else delete_statement();
    (void)k;
    st_->kind = DL_BEGIN;
    if (!op(";")) plsql_error(cur(), "PLS-00103: Encountered an unexpected symbol");
    ++p_;
  } else if (cur().t == T_WORD || cur().t == T_QID) {
    // A procedure call: the stand-in has no stored procedures.
    std::string n = cur().v;
    const Tok& at = cur();
    ++p_;
    while (accept_op(".")) {
      if (cur().t != T_WORD && cur().t != T_QID) break;
      n += "." + cur().v;
      ++p_;
    }
    std::string msg = "PLS-00201: identifier '" + n + "' must be declared";
    plsql_error(at, msg.c_str());
  } else {
    plsql_error(cur(), "PLS-00103: Encountered an unexpected symbol");
  }
  if (!accept_w("END")) plsql_error(cur(), "PLS-00103: Encountered an unexpected symbol");
  expect_op(";", 6550);
  if (!at_end()) plsql_error(cur(), "PLS-00103: Encountered an unexpected symbol");
  // PARAM_COUNT of a block counts distinct names.
}

// ---------------------------------------------------------------- DDL

void Translator::skip_physical_attributes() {
  static const char* const attrs[] = {
      "TABLESPACE", "STORAGE", "PCTFREE", "PCTUSED", "INITRANS", "MAXTRANS", "LOGGING",
      "NOLOGGING", "COMPRESS", "NOCOMPRESS", "CACHE", "NOCACHE", "PARALLEL", "NOPARALLEL",
      "MONITORING", "NOMONITORING", "SEGMENT", "ROWDEPENDENCIES", "NOROWDEPENDENCIES",
      "ENABLE", "DISABLE", "COMPUTE", "ONLINE", "REVERSE", "NOSORT", "VISIBLE", "INVISIBLE",
      "LOB", "FLASHBACK",
  };
  for (;;) {
    if (cur().t != T_WORD) return;
    bool hit = false;
    for (const char* a : attrs)
      if (cur().v == a) hit = true;
    if (cur().v == "ORGANIZATION") {
      ++p_;
      if (!accept_w("HEAP")) unimplemented();
      continue;
    }
    if (!hit) return;
    if (cur().v == "DISABLE" || cur().v == "LOB") unimplemented();
    ++p_;
    // operands: words, numbers, parenthesised lists
    while (!at_end()) {
      if (op("(")) {
        int depth = 0;
        do {
          if (op("(")) ++depth;
          else if (op(")")) --depth;
          ++p_;
        } while (depth > 0 && !at_end());
        continue;
      }
      if (cur().t == T_NUM || (cur().t == T_WORD && (w("ROW") || w("MOVEMENT") || w("STATISTICS") ||
                                                     w("CREATION") || w("IMMEDIATE") || w("DEFERRED") ||
                                                     w("BASIC") || w("FOR") || w("OLTP") || w("ALL") ||
                                                     w("OPERATIONS") || w("DIRECT_LOAD") || w("QUERY") ||
                                                     w("ARCHIVE") || w("LOW") || w("HIGH") ||
                                                     w("ARCHIVE")))) {
        ++p_;
        continue;
      }
      // TABLESPACE name
      if (tk_[p_ - 1].t == T_WORD && tk_[p_ - 1].v == "TABLESPACE" && (cur().t == T_WORD || cur().t == T_QID)) {
        ++p_;
        continue;
      }
      break;
    }
  }
}

void Translator::create_statement() {
  expect_w("CREATE", 900);
  bool or_replace = false;
  if (accept_w("OR")) {
    expect_w("REPLACE", 922);
    or_replace = true;
  }
  st_->kind = DL_CREATE;
  st_->ddl = true;
  if (accept_w("GLOBAL") || w("TEMPORARY") || w("PRIVATE")) unimplemented();
  if (w("TABLE") && !or_replace) {
    create_table(false);
  } else if ((w("UNIQUE") || w("INDEX") || w("BITMAP")) && !or_replace) {
    bool unique = accept_w("UNIQUE");
    if (w("BITMAP")) ++p_;
    create_index(unique);
  } else if (w("VIEW") || w("FORCE") || w("NOFORCE")) {
    if (accept_w("FORCE")) unimplemented();
    accept_w("NOFORCE");
    create_view(or_replace);
  } else if (w("USER") || w("ROLE") || w("TABLESPACE") || w("DATABASE")) {
    fail(1031);  // insufficient privileges: users are made with the admin tool
  } else if (w("SEQUENCE") && !or_replace) {
    create_sequence();
  } else if (w("SYNONYM") || (w("PUBLIC") && w("SYNONYM", 1))) {
    synonym_statement(true, or_replace);
  } else if (w("SYNONYM") || w("PUBLIC") || w("PROCEDURE") || w("FUNCTION") ||
             w("PACKAGE") || w("TRIGGER") || w("TYPE") || w("MATERIALIZED") || w("CLUSTER") ||
             w("DIRECTORY") || w("DATABASE") || w("JAVA") || w("LIBRARY") || w("CONTEXT") ||
             w("EDITIONABLE") || w("NONEDITIONABLE")) {
    unimplemented();
  } else {
    fail(901);  // invalid CREATE command
  }
}

// Oracle data type -> declared type text that keeps the Oracle type for
// describe and gives SQLite the right affinity.
std::string Translator::datatype(DlColType* t, bool* char_sem, bool for_cast) {
  *t = DlColType{};
  *char_sem = false;
  if (cur().t != T_WORD) fail(902);
  std::string n = cur().v;
  ++p_;
  auto int_arg = [&](long lo, long hi, int code) -> long {
    if (cur().t != T_NUM || cur().v.find_first_of(".eE") != std::string::npos) fail(code);
    long v = std::strtol(cur().v.c_str(), nullptr, 10);
    if (v < lo || v > hi) fail(code);
    ++p_;
    return v;
  };
  auto length = [&](int max, bool semantics) -> uint32_t {
    if (!accept_op("(")) return 0;
    long v = int_arg(1, max, 910);  // specified length too long for its datatype
    if (semantics) {
      if (accept_w("CHAR")) *char_sem = true;
      else accept_w("BYTE");
    }
    expect_rparen();
    return (uint32_t)v;
  };
  if (n == "NUMBER" || n == "DECIMAL" || n == "DEC" || n == "NUMERIC") {
    t->type = DL_T_NUMBER;
    t->size = 22;
    bool is_number = n == "NUMBER";
    if (accept_op("(")) {
      if (accept_op("*")) t->precision = 38;
      else t->precision = (int16_t)int_arg(1, 38, 1727);
      if (accept_op(",")) {
        if (cur().t == T_OP && cur().v == "-") {
          ++p_;
          t->scale = (int8_t)-int_arg(0, 84, 1728);
        } else {
          t->scale = (int8_t)int_arg(0, 127, 1728);
        }
      }
      expect_rparen();
    } else if (is_number) {
      t->scale = -127;
    } else {
      t->precision = 38;
    }
  } else if (n == "INTEGER" || n == "INT" || n == "SMALLINT") {
    t->type = DL_T_NUMBER;
    t->size = 22;
    t->precision = 38;
  } else if (n == "FLOAT") {
    t->type = DL_T_NUMBER;
    t->size = 22;
    t->precision = 126;
    t->scale = -127;
    if (accept_op("(")) {
      t->precision = (int16_t)int_arg(1, 126, 1724);
      expect_rparen();
    }
  } else if (n == "REAL") {
    t->type = DL_T_NUMBER; t->size = 22; t->precision = 63; t->scale = -127;
  } else if (n == "DOUBLE") {
    expect_w("PRECISION", 905);
    t->type = DL_T_NUMBER; t->size = 22; t->precision = 126; t->scale = -127;
  } else if (n == "BINARY_FLOAT") {
    t->type = DL_T_BINARY_FLOAT; t->size = 4;
  } else if (n == "BINARY_DOUBLE") {
    t->type = DL_T_BINARY_DOUBLE; t->size = 8;
  } else if (n == "VARCHAR2" || n == "VARCHAR") {
    t->type = DL_T_VARCHAR2;
    t->size = length(4000, true);
    if (t->size == 0 && !for_cast) fail(906);  // missing left parenthesis
  } else if (n == "NVARCHAR2") {
    t->type = DL_T_VARCHAR2;
    t->csform = 2;
    t->size = length(2000, false);
    if (t->size == 0 && !for_cast) fail(906);
    *char_sem = true;
  } else if (n == "CHAR" || n == "CHARACTER") {
    if (accept_w("VARYING")) {
      t->type = DL_T_VARCHAR2;
      t->size = length(4000, true);
    } else {
      t->type = DL_T_CHAR;
      t->size = length(2000, true);
      if (t->size == 0) t->size = 1;
    }
  } else if (n == "NCHAR") {
    if (accept_w("VARYING")) {
      t->type = DL_T_VARCHAR2;
    } else {
      t->type = DL_T_CHAR;
    }
    t->csform = 2;
    t->size = length(2000, false);
    if (t->size == 0) t->size = 1;
    *char_sem = true;
  } else if (n == "DATE") {
    t->type = DL_T_DATE;
    t->size = 7;
  } else if (n == "TIMESTAMP") {
    t->type = DL_T_TIMESTAMP;
    t->size = 11;
    t->scale = 6;
    if (accept_op("(")) {
      t->scale = (int8_t)int_arg(0, 9, 30088);
      expect_rparen();
    }
    if (w("WITH")) unimplemented();  // time zones
  } else if (n == "RAW") {
    t->type = DL_T_RAW;
    t->size = length(2000, false);
    if (t->size == 0 && !for_cast) fail(906);
  } else if (n == "LONG") {
    if (accept_w("RAW")) t->type = DL_T_LONG_RAW;
    else t->type = DL_T_LONG;
    t->size = 0;
    if (w("VARCHAR")) ++p_;
  } else if (n == "CLOB") {
    t->type = DL_T_CLOB; t->size = 4000;
  } else if (n == "NCLOB") {
    t->type = DL_T_CLOB; t->size = 4000; t->csform = 2;
  } else if (n == "BLOB") {
    t->type = DL_T_BLOB; t->size = 4000;
  } else if (n == "INTERVAL" || n == "BFILE" || n == "ROWID" || n == "UROWID" || n == "XMLTYPE" ||
             n == "MLSLABEL") {
    unimplemented();
  } else {
    fail(902);  // invalid datatype
  }
  if (*char_sem && t->csform == 1) {
    t->char_length = t->size;
    if (t->size > 0) t->size = std::min<uint32_t>(t->size * 4, t->type == DL_T_CHAR ? 2000 : 4000);
  } else if (t->csform == 2) {
    t->char_length = t->size;
    t->size = t->size * 2;
  } else if (t->type == DL_T_CHAR || t->type == DL_T_VARCHAR2) {
    t->char_length = t->size;
  }
  return dl::decltype_text(*t, *char_sem && t->csform == 1);
}

// What the stand-in adds to a column so that stored values follow Oracle's
// rules: CHECK constraints that raise Oracle's errors (too long, too many
// digits, not a number, not a date) and triggers that normalise values
// (blank padding, rounding to the scale, text converted to DATE).
struct ColRules {
  std::string check;             // CHECK (...) expression or empty
  std::vector<std::string> fix;  // trigger: {when, set}
};

ColRules column_rules(const std::string& owner, const std::string& table, const std::string& col,
                      const DlColType& t, bool char_sem) {
  ColRules r;
  std::string c = quote_id(col);
  std::string where = quote_str(owner) + ", " + quote_str(table) + ", " + quote_str(col);
  char buf[256];
  switch (t.type) {
    case DL_T_VARCHAR2:
    case DL_T_CHAR: {
      uint32_t n = t.char_length ? t.char_length : t.size;
      bool by_char = char_sem || t.csform == 2;
      std::snprintf(buf, sizeof buf, "ORA_CHK_LEN(%s, %u, %d, %s)", c.c_str(), n, by_char ? 1 : 0,
                    where.c_str());
      r.check = buf;
      if (t.type == DL_T_CHAR && by_char) {
        std::snprintf(buf, sizeof buf, "NEW.%s IS NOT NULL AND length(NEW.%s) < %u", c.c_str(),
                      c.c_str(), n);
        r.fix.push_back(buf);
        std::snprintf(buf, sizeof buf, "ORA_RPAD(NEW.%s, %u)", c.c_str(), n);
        r.fix.push_back(buf);
      } else if (t.type == DL_T_CHAR) {
        // Byte semantics pad to n bytes: 'é' in CHAR(6) takes four blanks.
        std::snprintf(buf, sizeof buf, "NEW.%s IS NOT NULL AND length(CAST(NEW.%s AS BLOB)) < %u",
                      c.c_str(), c.c_str(), n);
        r.fix.push_back(buf);
        std::snprintf(buf, sizeof buf, "ORA_RPAD(NEW.%s, length(NEW.%s) + %u - length(CAST(NEW.%s AS BLOB)))",
                      c.c_str(), c.c_str(), n, c.c_str());
        r.fix.push_back(buf);
      }
      break;
    }
    case DL_T_RAW:
      std::snprintf(buf, sizeof buf, "ORA_CHK_RAW(%s, %u, %s)", c.c_str(), t.size, where.c_str());
      r.check = buf;
      break;
    case DL_T_NUMBER: {
      int prec = t.scale == -127 ? 0 : t.precision;
      std::snprintf(buf, sizeof buf, "ORA_CHK_NUM(%s, %d, %d, 1)", c.c_str(), prec,
                    t.scale == -127 ? 0 : t.scale);
      r.check = buf;
      if (t.scale != -127 && prec > 0) {
        std::snprintf(buf, sizeof buf, "typeof(NEW.%s) = 'real' AND NEW.%s <> ORA_ROUND(NEW.%s, %d)",
                      c.c_str(), c.c_str(), c.c_str(), (int)t.scale);
        r.fix.push_back(buf);
        std::snprintf(buf, sizeof buf, "ORA_ROUND(NEW.%s, %d)", c.c_str(), (int)t.scale);
        r.fix.push_back(buf);
      }
      break;
    }
    case DL_T_DATE:
    case DL_T_TIMESTAMP: {
      bool ts = t.type == DL_T_TIMESTAMP;
      std::snprintf(buf, sizeof buf, "NEW.%s IS NOT NULL AND NOT ORA_IS_DATETIME(NEW.%s, %d)",
                    c.c_str(), c.c_str(), ts ? 1 : 0);
      r.fix.push_back(buf);
      std::snprintf(buf, sizeof buf, "ORA_TO_DATETIME(NEW.%s, %d, %d)", c.c_str(), ts ? 1 : 0,
                    (int)t.scale);
      r.fix.push_back(buf);
      break;
    }
    case DL_T_BINARY_FLOAT:
    case DL_T_BINARY_DOUBLE:
      std::snprintf(buf, sizeof buf, "ORA_CHK_NUM(%s, 0, 0)", c.c_str());
      r.check = buf;
      break;
    default:
      break;
  }
  return r;
}

std::string trigger_sql(const std::string& schema_prefix, const std::string& table,
                        const std::string& col, const ColRules& r) {
  if (r.fix.empty()) return "";
  std::string out;
  const char* kinds[2] = {"I", "U"};
  for (const char* k : kinds) {
    std::string trig = quote_id(table + "$" + col + "$" + k);
    out += "; CREATE TRIGGER " + schema_prefix + trig + " AFTER " +
           (std::string(k) == "I" ? std::string("INSERT") : "UPDATE OF " + quote_id(col)) + " ON " +
           quote_id(table) + " FOR EACH ROW WHEN " + r.fix[0] + " BEGIN UPDATE " + quote_id(table) +
           " SET " + quote_id(col) + " = " + r.fix[1] + " WHERE rowid = NEW.rowid; END";
  }
  return out;
}

std::string Translator::column_constraints(const std::string& table, const std::string& col) {
  std::string out;
  for (;;) {
    std::string cname;
    if (accept_w("CONSTRAINT")) cname = name();
    std::string prefix = cname.empty() ? "" : " CONSTRAINT " + quote_id(cname);
    if (accept_w("NOT")) {
      expect_w("NULL", 909);
      out += prefix + " NOT NULL";
    } else if (accept_w("NULL")) {
    } else if (accept_w("PRIMARY")) {
      expect_w("KEY", 905);
      out += prefix + " PRIMARY KEY NOT NULL";  // Oracle's keys are never NULL
    } else if (accept_w("UNIQUE")) {
      out += prefix + " UNIQUE";
    } else if (accept_w("CHECK")) {
      expect_op("(", 906);
      out += prefix + " CHECK (" + cond() + ")";
      expect_rparen();
    } else if (accept_w("REFERENCES")) {
      const std::string r = references(cname, {col});
      if (!r.empty()) out += prefix + r;
    } else if (!cname.empty()) {
      fail(902);
    } else {
      break;
    }
    // constraint state
    while (w("ENABLE") || w("VALIDATE") || w("NOVALIDATE") || w("RELY") || w("NORELY") ||
           w("DEFERRABLE") || w("INITIALLY") || w("IMMEDIATE") || w("DEFERRED")) {
      ++p_;
    }
    if (w("DISABLE")) unimplemented();
    if (w("USING") && w("INDEX", 1)) {
      p_ += 2;
      skip_physical_attributes();
    }
  }
  (void)table;
  (void)col;
  return out;
}

void Translator::column_def(const std::string& table, std::string* cols, std::string* extra, bool add) {
  std::string col = name();
  DlColType t;
  bool char_sem = false;
  std::string decl = datatype(&t, &char_sem, false);
  std::string out = quote_id(col) + " " + decl;
  // CHAR compares with blank-padded semantics; a DATE equals a TIMESTAMP of
  // the same instant.
  if (t.type == DL_T_CHAR) out += " COLLATE RTRIM";
  else if (t.type == DL_T_DATE || t.type == DL_T_TIMESTAMP) out += " COLLATE ORA_DT";
  if (accept_w("DEFAULT")) {
    Ex e = expr();
    out += " DEFAULT (" + e.s + ")";
  }
  out += column_constraints(table, col);
  std::string owner = ses_ ? ses_->user : std::string();
  ColRules r = column_rules(owner, table, col, t, char_sem);
  if (!r.check.empty()) out += " CHECK (" + r.check + ")";
  *cols += out;
  *extra += trigger_sql("", table, col, r);
  (void)add;
}

std::string Translator::table_constraint(std::vector<std::string>* pk_cols, DlConstraintChange* seen) {
  std::string out, cname;
  if (accept_w("CONSTRAINT")) {
    cname = name();
    out = "CONSTRAINT " + quote_id(cname) + " ";
  }
  const size_t named = out.size();
  std::vector<std::string> names;
  auto col_list = [&]() {
    expect_op("(", 906);
    std::string s = "(";
    bool f = true;
    names.clear();
    do {
      if (!f) s += ", ";
      f = false;
      names.push_back(name());
      s += quote_id(names.back());
    } while (accept_op(","));
    expect_rparen();
    return s + ")";
  };
  char type = 0;
  std::string check;
  if (accept_w("PRIMARY")) {
    expect_w("KEY", 905);
    type = 'P';
    out += "PRIMARY KEY " + col_list();
    if (pk_cols) *pk_cols = names;
  } else if (accept_w("UNIQUE")) {
    type = 'U';
    out += "UNIQUE " + col_list();
  } else if (accept_w("CHECK")) {
    expect_op("(", 906);
    type = 'C';
    check = cond();
    out += "CHECK (" + check + ")";
    expect_rparen();
  } else if (accept_w("FOREIGN")) {
    expect_w("KEY", 905);
    type = 'R';
    out += "FOREIGN KEY " + col_list();
    expect_w("REFERENCES", 905);
    const std::string r = references(cname, names);
    out = r.empty() ? std::string() : out + r;
  } else {
    fail(902);
  }
  while (w("ENABLE") || w("VALIDATE") || w("NOVALIDATE") || w("RELY") || w("NORELY") ||
         w("DEFERRABLE") || w("INITIALLY") || w("IMMEDIATE") || w("DEFERRED")) {
    ++p_;
  }
  if (w("DISABLE")) unimplemented();
  if (w("USING") && w("INDEX", 1)) {
    p_ += 2;
    skip_physical_attributes();
  }
  if (seen) {
    seen->type = type;
    seen->name = cname;
    seen->columns = names;
    seen->check = check;
    seen->clause = out.empty() ? std::string() : out.substr(named);
    if (type == 'R') {
      seen->r_owner = ref_.owner;
      seen->r_table = ref_.table;
      seen->r_columns = ref_.columns;
      seen->rule = ref_.rule;
    }
  }
  return out;
}

// REFERENCES [schema.]table [(columns)] [ON DELETE CASCADE | SET NULL] of
// the constraint cname (may be "") on columns: the SQLite clause, or for a
// table of another schema "" and the key kept in cross_keys_.
std::string Translator::references(const std::string& cname, const std::vector<std::string>& columns) {
  table_name(false);
  const std::string rOwner = last_schema_, rTable = last_table_;
  std::string rCols, clause;
  ref_.columns.clear();
  if (accept_op("(")) {
    do {
      const std::string c = name();
      ref_.columns.push_back(c);
      rCols += (rCols.empty() ? "" : ",") + c;
      clause += (clause.empty() ? " (" : ", ") + quote_id(c);
    } while (accept_op(","));
    expect_rparen();
    clause += ")";
  }
  std::string rule = "NO ACTION";
  if (accept_w("ON")) {
    expect_w("DELETE", 905);
    if (accept_w("CASCADE")) rule = "CASCADE";
    else if (accept_w("SET")) {
      expect_w("NULL", 905);
      rule = "SET NULL";
    } else fail(905);
  }
  const std::string own = create_schema_.empty() && ses_ ? ses_->user : create_schema_;
  ref_.table = rTable;
  ref_.rule = rule;
  ref_.owner = rOwner.empty() || rOwner == own ? std::string() : rOwner;
  if (ref_.owner.empty())
    return " REFERENCES " + quote_id(rTable) + clause + (rule == "NO ACTION" ? "" : " ON DELETE " + rule);
  std::string cols;
  for (const std::string& c : columns) cols += (cols.empty() ? "" : ",") + c;
  cross_keys_.push_back({cname, cols, rOwner, rTable, rCols, rule});
  return "";
}

void Translator::create_table(bool temporary) {
  expect_w("TABLE", 901);
  (void)temporary;
  const Tok& first = cur();
  std::string a = name(), tab = a, schema_prefix;
  if (accept_op(".")) {
    tab = name();
    schema_prefix = schema_name(a) + ".";
    if (!own_schema(a)) create_schema_ = a;
  }
  (void)first;
  std::string full = schema_prefix + quote_id(tab);
  std::string extra;
  if (accept_w("AS") || w("SELECT") || w("WITH")) {
    // dl_exec_ddl makes the columns from the query's describe; the plain
    // SQLite form (which keeps only affinities) is the fallback.
    bool ho = false;
    std::string q = query(true, &st_->items, &ho);
    for (const DlItem& it : st_->items)
      if (it.expression) fail(998);  // must name this expression with a column alias
    // Run as one statement, the library function does what dl_exec_ddl
    // does (for callers that run DDL text directly).
    st_->sql = "SELECT ORA_CTAS(" + quote_str(std::string(src_, len_)) + ")";
    st_->ctas_schema = schema_prefix;
    st_->ctas_table = tab;
    st_->ctas_query = q;
    return;
  }
  expect_op("(", 906);
  std::vector<std::pair<std::string, std::string>> coldefs;  // name, definition
  std::vector<std::string> constraints, pk_cols;
  do {
    if (w("CONSTRAINT") || w("PRIMARY") || w("UNIQUE") || w("CHECK") || w("FOREIGN")) {
      constraints.push_back(table_constraint(&pk_cols));
    } else {
      std::string def;
      std::string cname = cur().v;
      column_def(tab, &def, &extra, false);
      coldefs.emplace_back(cname, def);
    }
  } while (accept_op(","));
  expect_rparen();
  std::string cols;
  for (auto& cd : coldefs) {
    // Oracle's primary-key columns are NOT NULL; SQLite's are not.
    if (std::find(pk_cols.begin(), pk_cols.end(), cd.first) != pk_cols.end()) cd.second += " NOT NULL";
    if (!cols.empty()) cols += ", ";
    cols += cd.second;
  }
  for (const std::string& c : constraints)
    if (!c.empty()) cols += ", " + c;
  skip_physical_attributes();
  if (w("AS")) unimplemented();
  // Triggers live in the table's schema.
  if (!schema_prefix.empty() && !extra.empty()) {
    std::string fixed;
    size_t pos = 0;
    const std::string key = "; CREATE TRIGGER ";
    while (true) {
      size_t q = extra.find(key, pos);
      if (q == std::string::npos) {
        fixed += extra.substr(pos);
        break;
      }
      fixed += extra.substr(pos, q - pos) + key + schema_prefix;
      pos = q + key.size();
    }
    extra = fixed;
  }
  // Keys to another schema: recorded in ORA$FK of the table's schema and
  // enforced by each session (dl_refresh_session); the parent must exist.
  std::string checks, keys;
  if (!cross_keys_.empty()) {
    const std::string fk = (schema_prefix.empty() ? std::string("main.") : schema_prefix) + "\"ORA$FK\"";
    keys = "; " + dl::cross_key_table_sql(fk) + "; DELETE FROM " + fk + " WHERE \"TABLE_NAME\" = " + quote_str(tab);
    for (const CrossKey& k : cross_keys_) {
      checks += "SELECT ORA_RAISE(942) WHERE NOT EXISTS (SELECT 1 FROM " + quote_id(k.rOwner) +
                ".sqlite_master WHERE type = 'table' AND name = " + quote_str(k.rTable) + "); ";
      keys += "; INSERT INTO " + fk + " VALUES (" + quote_str(k.name) + ", " + quote_str(tab) + ", " +
              quote_str(k.columns) + ", " + quote_str(k.rOwner) + ", " + quote_str(k.rTable) + ", " +
              quote_str(k.rColumns) + ", " + quote_str(k.rule) + ")";
    }
  }
  st_->sql = checks + "CREATE TABLE " + full + " (" + cols + ")" + extra + keys;
}

void Translator::create_index(bool unique) {
  expect_w("INDEX", 901);
  std::string a = name(), idx = a, schema_prefix;
  if (accept_op(".")) {
    idx = name();
    schema_prefix = schema_name(a) + ".";
  }
  expect_w("ON", 969);  // missing ON keyword
  std::string tb = name();
  if (accept_op(".")) {
    std::string t2 = name();
    if (schema_prefix.empty()) schema_prefix = schema_name(tb) + ".";
    tb = t2;
  }
  expect_op("(", 906);
  std::string cols;
  bool f = true;
  do {
    if (!f) cols += ", ";
    f = false;
    cols += expr().s;
    if (accept_w("DESC")) cols += " DESC";
    else accept_w("ASC");
  } while (accept_op(","));
  expect_rparen();
  skip_physical_attributes();
  st_->sql = std::string("CREATE ") + (unique ? "UNIQUE " : "") + "INDEX " + schema_prefix +
             quote_id(idx) + " ON " + quote_id(tb) + " (" + cols + ")";
}

void Translator::create_view(bool or_replace) {
  expect_w("VIEW", 901);
  std::string a = name(), v = a, schema_prefix;
  if (accept_op(".")) {
    v = name();
    schema_prefix = schema_name(a) + ".";
  }
  std::string cols;
  if (accept_op("(")) {
    cols = " (";
    bool f = true;
    do {
      if (!f) cols += ", ";
      f = false;
      cols += quote_id(name());
    } while (accept_op(","));
    expect_rparen();
    cols += ")";
  }
  expect_w("AS", 905);
  bool ho = false;
  std::vector<DlItem> items;
  std::string q = query(false, &items, &ho);
  if (accept_w("WITH")) {
    if (accept_w("READ")) expect_w("ONLY", 933);
    else unimplemented();  // WITH CHECK OPTION
  }
  std::string full = schema_prefix + quote_id(v);
  st_->sql.clear();
  if (or_replace) st_->sql = "DROP VIEW IF EXISTS " + full + "; ";
  st_->sql += "CREATE VIEW " + full + cols + " AS " + q;
}

// Sequences live in a table of their schema; ORA_NEXTVAL steps them.
std::string Translator::sequence_table(const std::string& schema) {
  return "CREATE TABLE IF NOT EXISTS " + schema +
         ".\"ORA$SEQ\" (\"NAME\" TEXT PRIMARY KEY, \"NEXTV\" INTEGER NOT NULL, \"INCR\" INTEGER NOT NULL, "
         "\"MINV\" INTEGER NOT NULL, \"MAXV\" INTEGER NOT NULL, \"CYC\" INTEGER NOT NULL)";
}

void Translator::create_sequence() {
  expect_w("SEQUENCE", 901);
  std::string a = name(), seq = a, schema = "main";
  if (accept_op(".")) {
    seq = name();
    schema = own_schema(a) ? "main" : quote_id(a);
  }
  auto number = [&]() -> long long {
    bool neg = false;
    if (accept_op("-")) neg = true;
    else accept_op("+");
    if (cur().t != T_NUM || cur().v.find_first_of(".eE") != std::string::npos) fail(1722);
    errno = 0;
    long long v = std::strtoll(cur().v.c_str(), nullptr, 10);
    if (errno) v = std::numeric_limits<long long>::max();
    ++p_;
    return neg ? -v : v;
  };
  long long start = 0, incr = 1, minv = 0, maxv = 0;
  bool has_start = false, has_min = false, has_max = false, cycle = false;
  for (;;) {
    if (accept_w("START")) {
      expect_w("WITH", 905);
      start = number();
      has_start = true;
    } else if (accept_w("INCREMENT")) {
      expect_w("BY", 924);
      incr = number();
      if (incr == 0) fail(4002);
    } else if (accept_w("MINVALUE")) {
      minv = number();
      has_min = true;
    } else if (accept_w("MAXVALUE")) {
      maxv = number();
      has_max = true;
    } else if (accept_w("NOMINVALUE")) {
      has_min = false;
    } else if (accept_w("NOMAXVALUE")) {
      has_max = false;
    } else if (accept_w("CYCLE")) {
      cycle = true;
    } else if (accept_w("NOCYCLE")) {
      cycle = false;
    } else if (accept_w("CACHE")) {
      number();
    } else if (accept_w("NOCACHE") || accept_w("ORDER") || accept_w("NOORDER")) {
    } else {
      break;
    }
  }
  const long long big = std::numeric_limits<long long>::max();
  if (!has_min) minv = incr > 0 ? 1 : -big;
  if (!has_max) maxv = incr > 0 ? big : -1;
  if (!has_start) start = incr > 0 ? minv : maxv;
  if (minv >= maxv) fail(4004);  // MINVALUE must be less than MAXVALUE
  if (start < minv || start > maxv) fail(start < minv ? 4006 : 4008);
  char buf[200];
  std::snprintf(buf, sizeof buf, "%lld, %lld, %lld, %lld, %d)", start, incr, minv, maxv, cycle ? 1 : 0);
  st_->sql = sequence_table(schema) + "; INSERT INTO " + schema + ".\"ORA$SEQ\" VALUES (" + quote_str(seq) +
             ", " + buf;
}

// COMMENT ON TABLE [schema.]table | COLUMN [schema.]table.column IS 'text':
// kept in the schema's hidden ORA$COMMENTS table, which the dictionary views
// ALL_TAB_COMMENTS and ALL_COL_COMMENTS read.
void Translator::comment_statement() {
  ++p_;
  expect_w("ON", 969);
  const bool column = accept_w("COLUMN");
  if (!column) expect_w("TABLE", 905);
  std::vector<std::string> parts{name()};
  while (accept_op(".")) parts.push_back(name());
  if (parts.size() != (column ? 2u : 1u) && parts.size() != (column ? 3u : 2u)) fail(905);
  const bool qualified = parts.size() == (column ? 3u : 2u);
  const std::string schema = qualified ? schema_name(parts[0]) : "main";
  const std::string table = parts[qualified ? 1 : 0];
  const std::string col = column ? parts.back() : "";
  expect_w("IS", 905);
  if (cur().t != T_STR) fail(1780);  // string literal required
  const std::string text = cur().v;
  ++p_;
  st_->kind = DL_OTHER_DDL;
  st_->ddl = true;
  const std::string tab = schema + ".\"ORA$COMMENTS\"";
  st_->sql = "CREATE TABLE IF NOT EXISTS " + tab +
             " (\"TABLE_NAME\" TEXT NOT NULL, \"COLUMN_NAME\" TEXT NOT NULL, \"COMMENTS\" TEXT, "
             "PRIMARY KEY (\"TABLE_NAME\", \"COLUMN_NAME\")); "
             "SELECT ORA_RAISE(942) WHERE NOT EXISTS (SELECT 1 FROM " + schema + ".sqlite_master WHERE type IN ('table','view') AND name = " + quote_str(table) + "); " +
             "INSERT OR REPLACE INTO " + tab + " VALUES (" + quote_str(table) + ", " + quote_str(col) + ", " +
             (text.empty() ? std::string("NULL") : quote_str(text)) + ")";
}

// An object privilege statement names its object after ON.
bool Translator::object_grant() const {
  for (size_t i = p_; i < tk_.size(); ++i)
    if (tk_[i].t == T_WORD && tk_[i].v == "ON") return true;
  return false;
}

// GRANT privilege [(columns)], ... ON [schema.]object TO grantee, ... [WITH
// GRANT OPTION] and REVOKE privilege, ... ON object FROM grantee, ...: kept in
// the object's schema in the hidden ORA$GRANTS table, which ALL_TAB_PRIVS and
// ALL_COL_PRIVS_RECD read. The stand-in enforces none of them.
void Translator::grant_statement(bool revoke) {
  ++p_;
  struct Priv {
    std::string name;
    std::vector<std::string> columns;
  };
  std::vector<Priv> privs;
  do {
    if (cur().t != T_WORD) fail(990);  // missing or invalid privilege
    Priv pr{cur().v, {}};
    ++p_;
    if (pr.name == "ALL") {
      accept_w("PRIVILEGES");
      for (const char* n : {"ALTER", "DELETE", "INDEX", "INSERT", "REFERENCES", "SELECT", "UPDATE"}) privs.push_back({n, {}});
      continue;
    }
    if (accept_op("(")) {
      do pr.columns.push_back(name());
      while (accept_op(","));
      expect_rparen();
    }
    privs.push_back(pr);
  } while (accept_op(","));
  expect_w("ON", 969);
  std::string a = name(), table = a, schema = "main";
  if (accept_op(".")) {
    table = name();
    schema = schema_name(a);
  }
  if (!accept_w(revoke ? "FROM" : "TO")) fail(revoke ? 923 : 905);
  std::vector<std::string> grantees;
  do {
    // PUBLIC is a reserved word, yet a grantee.
    if (cur().t != T_WORD && cur().t != T_QID) fail(987);  // missing or invalid username(s)
    grantees.push_back(cur().v);
    ++p_;
  } while (accept_op(","));
  bool grantable = false;
  if (!revoke && accept_w("WITH")) {
    expect_w("GRANT", 905);
    expect_w("OPTION", 905);
    grantable = true;
  }
  st_->kind = DL_OTHER_DDL;
  st_->ddl = true;
  const std::string tab = schema + ".\"ORA$GRANTS\"";
  st_->sql = "CREATE TABLE IF NOT EXISTS " + tab +
             " (\"GRANTOR\" TEXT, \"GRANTEE\" TEXT NOT NULL, \"TABLE_NAME\" TEXT NOT NULL, \"COLUMN_NAME\" TEXT NOT NULL, "
             "\"PRIVILEGE\" TEXT NOT NULL, \"GRANTABLE\" TEXT, "
             "PRIMARY KEY (\"GRANTEE\", \"TABLE_NAME\", \"COLUMN_NAME\", \"PRIVILEGE\")); "
             "SELECT ORA_RAISE(942) WHERE NOT EXISTS (SELECT 1 FROM " + schema +
             ".sqlite_master WHERE type IN ('table','view') AND name = " + quote_str(table) + ")";
  for (const Priv& pr : privs) {
    std::vector<std::string> cols = pr.columns.empty() ? std::vector<std::string>{""} : pr.columns;
    for (const std::string& g : grantees) {
      for (const std::string& c : cols) {
        if (revoke) {
          // Revoking a privilege takes its column grants with it.
          st_->sql += "; DELETE FROM " + tab + " WHERE \"GRANTEE\" = " + quote_str(g) + " AND \"TABLE_NAME\" = " +
                      quote_str(table) + " AND \"PRIVILEGE\" = " + quote_str(pr.name);
        } else {
          st_->sql += "; INSERT OR REPLACE INTO " + tab + " VALUES (ORA_USER(), " + quote_str(g) + ", " +
                      quote_str(table) + ", " + quote_str(c) + ", " + quote_str(pr.name) + ", " +
                      quote_str(grantable ? "YES" : "NO") + ")";
        }
      }
    }
  }
}

// ANALYZE TABLE [schema.]table COMPUTE | ESTIMATE STATISTICS: the row count and
// a block count go into the schema's hidden ORA$STATS table (ALL_TABLES,
// ALL_INDEXES); before it the statistics read NULL, as on a server.
void Translator::analyze_statement() {
  ++p_;
  expect_w("TABLE", 900);
  std::string a = name(), table = a, schema = "main";
  if (accept_op(".")) {
    table = name();
    schema = schema_name(a);
  }
  if (!accept_w("COMPUTE")) {
    expect_w("ESTIMATE", 905);
    while (!at_end() && !w("STATISTICS")) ++p_;
  }
  expect_w("STATISTICS", 905);
  st_->kind = DL_OTHER_DDL;
  st_->ddl = true;
  const std::string tab = schema + ".\"ORA$STATS\"";
  st_->sql = "CREATE TABLE IF NOT EXISTS " + tab +
             " (\"TABLE_NAME\" TEXT PRIMARY KEY, \"NUM_ROWS\" INTEGER, \"BLOCKS\" INTEGER); "
             "INSERT OR REPLACE INTO " + tab + " SELECT " + quote_str(table) +
             ", count(*), (count(*) + 99) / 100 FROM " + schema + "." + quote_id(table);
}

// CREATE [OR REPLACE] [PUBLIC] SYNONYM [schema.]name FOR [schema.]object and
// DROP [PUBLIC] SYNONYM [schema.]name [FORCE]. A synonym is a row of the
// hidden table ORA$SYN of the schema owning it (a public one: of its
// creator's schema, under the owner PUBLIC); each session reaches them
// through views of its own (dl_refresh_synonyms).
void Translator::synonym_statement(bool create, bool or_replace) {
  const bool pub = accept_w("PUBLIC");
  expect_w("SYNONYM", 900);
  st_->kind = DL_OTHER_DDL;
  st_->ddl = true;
  std::string a = name(), syn = a, schema = "main", owner = "ORA_USER()";
  if (accept_op(".")) {
    if (pub) fail(933);
    syn = name();
    schema = schema_name(a);
    owner = quote_str(a);
  }
  if (pub) owner = "'PUBLIC'";
  const std::string tab = schema + ".\"ORA$SYN\"";
  const std::string row = " WHERE \"OWNER\" = " + owner + " AND \"SYNONYM_NAME\" = " + quote_str(syn);
  std::string sql = "CREATE TABLE IF NOT EXISTS " + tab +
                    " (\"OWNER\" TEXT, \"SYNONYM_NAME\" TEXT, \"TABLE_OWNER\" TEXT, \"TABLE_NAME\" TEXT,"
                    " PRIMARY KEY (\"OWNER\", \"SYNONYM_NAME\")); ";
  if (!create) {
    accept_w("FORCE");
    if (pub) {
      st_->sql = sql + "SELECT ORA_DROP_PUBLIC_SYNONYM(" + quote_str(syn) + ")";
    } else {
      st_->sql = sql + "SELECT ORA_RAISE(1434) WHERE NOT EXISTS (SELECT 1 FROM " + tab + row + "); DELETE FROM " +
                 tab + row;
    }
    return;
  }
  expect_w("FOR", 905);
  std::string t = name(), towner = "ORA_USER()";
  if (accept_op(".")) {
    towner = quote_str(t);
    t = name();
  }
  if (op("@")) unimplemented();  // database link
  if (!or_replace) sql += "SELECT ORA_RAISE(955) WHERE EXISTS (SELECT 1 FROM " + tab + row + "); ";
  // A private synonym shares its schema's namespace with tables and views.
  if (!pub)
    sql += "SELECT ORA_RAISE(955) WHERE EXISTS (SELECT 1 FROM " + schema + ".sqlite_master WHERE type IN "
           "('table', 'view') AND name = " + quote_str(syn) + "); ";
  st_->sql = sql + "INSERT OR REPLACE INTO " + tab + " VALUES (" + owner + ", " + quote_str(syn) + ", " + towner +
             ", " + quote_str(t) + ")";
}

void Translator::drop_statement() {
  expect_w("DROP", 900);
  st_->kind = DL_DROP;
  st_->ddl = true;
  if (accept_w("TABLE")) {
    std::string t = table_name(false);
    if (accept_w("CASCADE")) expect_w("CONSTRAINTS", 905);
    accept_w("PURGE");
    // The table's keys to other schemas go with it.
    const std::string fk = (last_schema_.empty() ? std::string("main") : quote_id(last_schema_)) + ".\"ORA$FK\"";
    st_->sql = "DROP TABLE " + t + "; " + dl::cross_key_table_sql(fk) + "; DELETE FROM " + fk +
               " WHERE \"TABLE_NAME\" = " + quote_str(last_table_);
  } else if (accept_w("VIEW")) {
    std::string t = table_name(false);
    if (accept_w("CASCADE")) expect_w("CONSTRAINTS", 905);
    st_->sql = "DROP VIEW " + t;
  } else if (accept_w("INDEX")) {
    std::string t = table_name(false);
    accept_w("ONLINE");
    accept_w("FORCE");
    st_->sql = "DROP INDEX " + t;
  } else if (w("USER") || w("ROLE") || w("TABLESPACE")) {
    fail(1031);
  } else if (accept_w("SEQUENCE")) {
    std::string a = name(), seq = a, schema = "main";
    if (accept_op(".")) {
      seq = name();
      schema = own_schema(a) ? "main" : quote_id(a);
    }
    st_->sql = sequence_table(schema) + "; SELECT ORA_RAISE(2289) WHERE NOT EXISTS (SELECT 1 FROM " + schema +
               ".\"ORA$SEQ\" WHERE \"NAME\" = " + quote_str(seq) + "); DELETE FROM " + schema +
               ".\"ORA$SEQ\" WHERE \"NAME\" = " + quote_str(seq);
  } else if (w("SYNONYM") || (w("PUBLIC") && w("SYNONYM", 1))) {
    synonym_statement(false, false);
  } else if (w("SYNONYM") || w("PUBLIC") || w("PROCEDURE") || w("FUNCTION") ||
             w("PACKAGE") || w("TRIGGER") || w("TYPE") || w("MATERIALIZED")) {
    unimplemented();
  } else {
    fail(950);  // invalid DROP option
  }
}

void Translator::alter_statement() {
  expect_w("ALTER", 900);
  if (w("SESSION")) {
    alter_session();
    return;
  }
  st_->kind = DL_ALTER;
  st_->ddl = true;
  if (!accept_w("TABLE")) {
    if (w("SYSTEM") || w("USER") || w("DATABASE")) fail(1031);
    if (w("INDEX") || w("VIEW") || w("SEQUENCE") || w("TRIGGER") || w("PROCEDURE") ||
        w("FUNCTION") || w("PACKAGE") || w("TYPE"))
      unimplemented();
    fail(940);  // invalid ALTER command
  }
  std::string a = name(), tab = a, schema_prefix;
  if (accept_op(".")) {
    tab = name();
    schema_prefix = schema_name(a) + ".";
  }
  std::string full = schema_prefix + quote_id(tab);
  std::string out;
  const auto constraint_next = [&](size_t at) {
    return w("CONSTRAINT", at) || w("PRIMARY", at) || w("UNIQUE", at) || w("CHECK", at) || w("FOREIGN", at);
  };
  const std::string schema = schema_prefix.empty() ? "main" : (own_schema(a) ? "main" : a);
  if (schema != "main") create_schema_ = a;
  if (w("ADD") && (constraint_next(1) || (op("(", 1) && constraint_next(2)))) {
    ++p_;
    const bool paren = accept_op("(");
    alter_constraint(true, schema, tab);
    if (paren) expect_rparen();
    return;
  }
  if (w("DROP") && (w("CONSTRAINT", 1) || w("PRIMARY", 1) || w("UNIQUE", 1))) {
    ++p_;
    alter_constraint(false, schema, tab);
    return;
  }
  if (accept_w("ADD")) {
    bool paren = accept_op("(");
    bool f = true;
    do {
      if (constraint_next(0)) unimplemented();  // columns and constraints in one ADD
      std::string col, extra;
      std::string cname = cur().v;
      column_def(tab, &col, &extra, true);
      // SQLite says "duplicate column name" as for CREATE TABLE; Oracle
      // has its own error for a column added twice.
      std::string schema_plain = schema_prefix.empty() ? "main" : (own_schema(a) ? "main" : a);
      if (!f) out += "; ";
      out += "SELECT ORA_RAISE(1430) FROM pragma_table_info(" + quote_str(tab) + ", " +
             quote_str(schema_plain) + ") WHERE \"name\" = " + quote_str(cname) + "; ";
      if (!schema_prefix.empty()) {
        size_t q = 0;
        const std::string key = "; CREATE TRIGGER ";
        while ((q = extra.find(key, q)) != std::string::npos) {
          extra.insert(q + key.size(), schema_prefix);
          q += key.size() + schema_prefix.size();
        }
      }
      f = false;
      out += "ALTER TABLE " + full + " ADD COLUMN " + col + extra;
    } while (paren && accept_op(","));
    if (paren) expect_rparen();
  } else if (accept_w("DROP")) {
    std::vector<std::string> cols;
    if (accept_w("COLUMN")) {
      cols.push_back(name());
    } else if (accept_op("(")) {
      do cols.push_back(name());
      while (accept_op(","));
      expect_rparen();
    } else {
      unimplemented();  // constraints, primary keys
    }
    if (accept_w("CASCADE")) expect_w("CONSTRAINTS", 905);
    bool f = true;
    for (const std::string& c : cols) {
      if (!f) out += "; ";
      f = false;
      out += "DROP TRIGGER IF EXISTS " + schema_prefix + quote_id(tab + "$" + c + "$I") +
             "; DROP TRIGGER IF EXISTS " + schema_prefix + quote_id(tab + "$" + c + "$U") +
             "; ALTER TABLE " + full + " DROP COLUMN " + quote_id(c);
    }
  } else if (accept_w("RENAME")) {
    if (accept_w("COLUMN")) {
      std::string from = name();
      expect_w("TO", 946);
      std::string to = name();
      out = "ALTER TABLE " + full + " RENAME COLUMN " + quote_id(from) + " TO " + quote_id(to);
    } else if (accept_w("TO")) {
      out = "ALTER TABLE " + full + " RENAME TO " + quote_id(name());
    } else {
      unimplemented();
    }
  } else {
    unimplemented();  // MODIFY, constraints, storage
  }
  st_->sql = out;
}

// ADD <table constraint> or DROP CONSTRAINT name | PRIMARY KEY |
// UNIQUE (columns), with CASCADE and the index options Oracle takes.
void Translator::alter_constraint(bool add, const std::string& schema, const std::string& table) {
  DlConstraintChange& c = st_->constraint;
  c.add = add;
  c.schema = schema;
  c.table = table;
  if (add) {
    table_constraint(nullptr, &c);
  } else if (accept_w("CONSTRAINT")) {
    c.name = name();
  } else if (accept_w("PRIMARY")) {
    expect_w("KEY", 905);
    c.type = 'P';
  } else {
    expect_w("UNIQUE", 905);
    c.type = 'U';
    expect_op("(", 906);
    do c.columns.push_back(name());
    while (accept_op(","));
    expect_rparen();
  }
  if (!add) {
    c.cascade = accept_w("CASCADE");
    if ((w("KEEP") || w("DROP")) && w("INDEX", 1)) p_ += 2;
    accept_w("ONLINE");
  }
  st_->sql.clear();
}

void Translator::alter_session() {
  expect_w("SESSION", 940);
  st_->kind = DL_ALTER_SESSION;
  if (!accept_w("SET")) {
    if (w("ENABLE") || w("DISABLE") || w("FORCE") || w("CLOSE") || w("ADVISE")) {
      p_ = tk_.size() - 1;  // accepted without effect
      return;
    }
    fail(922);
  }
  // one or more name = value pairs
  do {
    if (cur().t != T_WORD) fail(922);
    std::string param = cur().v;
    ++p_;
    expect_op("=", 922);
    std::string v;
    while (!at_end() && !(cur().t == T_WORD && op("=", 1))) {
      if (!v.empty()) v += ' ';
      v += cur().v;  // a quoted value without its quotes
      ++p_;
    }
    if (v.empty()) fail(922);
    st_->session_params.emplace_back(param, v);
    st_->session_param = param;
    st_->session_value = v;
  } while (!at_end());
}

// ----------------------------------------------------------- conditions

std::string Translator::cond(RownumCap* cap, Ex* single) {
  std::string s = and_cond(cap, single);
  while (accept_w("OR")) {
    if (cap && cap->found) unimplemented();  // ROWNUM under OR
    if (single) *single = Ex{};
    s += " OR " + and_cond(nullptr, nullptr);
    if (cap) cap->allowed = false;
  }
  return s;
}

std::string Translator::and_cond(RownumCap* cap, Ex* single) {
  std::vector<std::string> parts;
  parts.push_back(not_cond(cap, single));
  while (accept_w("AND")) {
    if (single) *single = Ex{};
    parts.push_back(not_cond(cap, nullptr));
  }
  if (w("OR") && cap && cap->found) unimplemented();
  std::string s;
  for (const std::string& p : parts) {
    if (p.empty()) continue;
    if (!s.empty()) s += " AND ";
    s += p;
  }
  if (s.empty()) s = "1";
  return s;
}

std::string Translator::not_cond(RownumCap* cap, Ex* single) {
  Nest nest(this);
  if (accept_w("NOT")) return "NOT " + not_cond(nullptr, nullptr);
  return predicate(cap, single);
}

// ROWNUM <op> n (or n <op> ROWNUM) as a top-level conjunct of a WHERE: a
// LIMIT on the block.
bool Translator::rownum_predicate(RownumCap* cap, std::string* out) {
  auto is_limit_tok = [](const Tok& t) { return t.t == T_NUM || t.t == T_BIND; };
  size_t save = p_;
  std::string opr;
  Tok val;
  bool rev = false;
  if (w("ROWNUM") && peek().t == T_OP && is_limit_tok(peek(2))) {
    opr = peek().v;
    val = peek(2);
    p_ += 3;
  } else if (is_limit_tok(cur()) && peek().t == T_OP && w("ROWNUM", 2)) {
    opr = peek().v;
    val = cur();
    rev = true;
    p_ += 3;
  } else {
    return false;
  }
  // the predicate must end here
  if (!(at_end() || w("AND") || w("OR") || op(")") || w("GROUP") || w("ORDER") || w("HAVING") ||
        w("UNION") || w("MINUS") || w("INTERSECT") || w("FOR") || w("CONNECT") || w("START"))) {
    p_ = save;
    return false;
  }
  if (rev) {
    if (opr == ">") opr = "<";
    else if (opr == ">=") opr = "<=";
    else if (opr == "<") opr = ">";
    else if (opr == "<=") opr = ">=";
  }
  if (!cap || !cap->allowed || cap->found) unimplemented();
  std::string v;
  if (val.t == T_BIND) {
    v = bind(val);
  } else {
    if (val.v.find_first_of(".eE") != std::string::npos) unimplemented();
    v = val.v;
  }
  if (opr == "<=") cap->limit = v;
  else if (opr == "<") cap->limit = "(" + v + ") - 1";
  else if (opr == "=" && val.t == T_NUM && val.v == "1") cap->limit = "1";
  else if (opr == "=" && val.t == T_NUM) cap->limit = "0";  // ROWNUM = 2 never holds
  else unimplemented();
  cap->found = true;
  out->clear();
  return true;
}

std::string Translator::predicate(RownumCap* cap, Ex* single) {
  std::string rn;
  if (rownum_predicate(cap, &rn)) return rn;
  if (accept_w("EXISTS")) {
    if (!op("(")) fail(906);
    return "EXISTS " + subquery_in_parens();
  }
  if (w("REGEXP_LIKE")) unimplemented();
  Ex lhs = expr();
  bool neg = accept_w("NOT");
  if (accept_w("IN")) {
    if (!op("(")) fail(906);
    std::string r;
    if (w("SELECT", 1) || w("WITH", 1)) r = subquery_in_parens();
    else r = expr_list_in_parens(nullptr);
    return lhs.s + (neg ? " NOT IN " : " IN ") + r;
  }
  if (accept_w("BETWEEN")) {
    Ex lo = expr();
    expect_w("AND", 905);
    Ex hi = expr();
    return lhs.s + (neg ? " NOT BETWEEN " : " BETWEEN ") + lo.s + " AND " + hi.s;
  }
  if (w("LIKE") || w("LIKEC") || w("LIKE2") || w("LIKE4")) {
    ++p_;
    Ex pat = expr();
    std::string s = lhs.s + (neg ? " NOT LIKE " : " LIKE ") + pat.s;
    if (accept_w("ESCAPE")) s += " ESCAPE " + expr().s;
    return s;
  }
  if (neg) fail(920);  // invalid relational operator
  if (accept_w("IS")) {
    bool n2 = accept_w("NOT");
    if (accept_w("NULL")) return lhs.s + (n2 ? " IS NOT NULL" : " IS NULL");
    if (w("NAN") || w("INFINITE") || w("OF") || w("A") || w("EMPTY") || w("PRESENT")) unimplemented();
    fail(908);  // missing NULL keyword
  }
  if (cur().t == T_OP) {
    std::string o = cur().v;
    if (o == "=" || o == "<>" || o == "!=" || o == "^=" || o == "~=" || o == "<" || o == ">" ||
        o == "<=" || o == ">=") {
      ++p_;
      if (o == "!=" || o == "^=" || o == "~=") o = "<>";
      if (w("ANY") || w("SOME") || w("ALL")) {
        bool all = w("ALL");
        ++p_;
        if (!op("(")) fail(906);
        std::string r;
        if (w("SELECT", 1) || w("WITH", 1)) r = subquery_in_parens();
        else r = expr_list_in_parens(nullptr);
        if (o == "=" && !all) return lhs.s + " IN " + r;
        if (o == "<>" && all) return lhs.s + " NOT IN " + r;
        unimplemented();
      }
      Ex rhs = expr();
      return lhs.s + " " + o + " " + rhs.s;
    }
  }
  if (single) *single = lhs;
  return lhs.s;
}

std::string Translator::subquery_in_parens() {
  expect_op("(", 906);
  bool ho = false;
  std::string q = query(false, nullptr, &ho);
  expect_rparen();
  return "(" + q + ")";
}

std::string Translator::expr_list_in_parens(std::vector<Ex>* out) {
  expect_op("(", 906);
  std::string s = "(";
  bool f = true;
  do {
    if (!f) s += ", ";
    f = false;
    Ex e = expr();
    s += e.s;
    if (out) out->push_back(e);
  } while (accept_op(","));
  expect_rparen();
  return s + ")";
}

// ---------------------------------------------------------- expressions

bool datetime_ty(const Ty& t) { return known(t) && is_dt(t.c); }
bool number_ty(const Ty& t) { return known(t) && is_num(t.c); }

// The column expression whose type decides t, when t depends on one.
const std::string* probe_of(const Ex& e) {
  if (e.colref) return &e.s;
  if (e.ty.rule == RULE_SAME) return &e.ty.probe[0];
  return nullptr;
}

Ex Translator::arith(const std::string& o, Ex a, Ex b) {
  Ex r;
  r.agg = a.agg || b.agg;
  bool both_num = number_ty(a.ty) && number_ty(b.ty);
  // Always through the library: it keeps Oracle's decimal results
  // (0.1 + 0.2 = 0.3), converts text and knows dates.
  if (o == "+" || o == "-") {
    r.s = std::string(o == "+" ? "ORA_ADD(" : "ORA_SUB(") + a.s + ", " + b.s + ")";
    // Type: date +/- number is a date, date - date a number.
    if (datetime_ty(a.ty) && datetime_ty(b.ty)) {
      r.ty = ty_number();
    } else if (datetime_ty(a.ty)) {
      if (o == "-" && !number_ty(b.ty)) {
        const std::string* pb = probe_of(b);
        if (pb) {
          r.ty.rule = RULE_DATE_MINUS;
          r.ty.probe[0] = *pb;
        } else {
          r.ty = ty_date();
        }
      } else {
        r.ty = ty_date();
      }
    } else if (datetime_ty(b.ty)) {
      r.ty = o == "+" ? ty_date() : ty_number();
    } else if (both_num) {
      r.ty = ty_number();
    } else {
      const std::string* pa = probe_of(a);
      const std::string* pb = probe_of(b);
      if (pa && pb && o == "-") {
        r.ty.rule = RULE_DIFF2;
        r.ty.probe[0] = *pa;
        r.ty.probe[1] = *pb;
      } else if (pa && (number_ty(b.ty) || o == "+")) {
        r.ty.rule = RULE_DATE_OR_NUM;
        r.ty.probe[0] = *pa;
      } else if (pb && o == "+" && number_ty(a.ty)) {
        r.ty.rule = RULE_DATE_OR_NUM;
        r.ty.probe[0] = *pb;
      } else {
        r.ty = ty_number();
      }
    }
  } else if (o == "*") {
    r.s = "ORA_MUL(" + a.s + ", " + b.s + ")";
    r.ty = ty_number();
  } else {
    r.s = "ORA_DIV(" + a.s + ", " + b.s + ")";
    r.ty = ty_number();
  }
  return r;
}

Ex Translator::concat(std::vector<Ex> parts) {
  Ex r;
  r.s = "ORA_CONCAT(";
  uint32_t size = 0;
  bool sized = true;
  for (size_t i = 0; i < parts.size(); ++i) {
    if (i) r.s += ", ";
    // a date turns into text in the session's format
    if (datetime_ty(parts[i].ty)) r.s += "ORA_TO_CHAR(" + parts[i].s + ")";
    else r.s += parts[i].s;
    r.agg = r.agg || parts[i].agg;
    if (known(parts[i].ty) &&
        (parts[i].ty.c.type == DL_T_CHAR || parts[i].ty.c.type == DL_T_VARCHAR2)) {
      size += parts[i].ty.c.size;
    } else {
      sized = false;
    }
  }
  r.s += ")";
  r.ty = ty_varchar(sized ? std::max<uint32_t>(size, 1) : 4000);
  return r;
}

// additive level: + - ||
Ex Translator::expr() {
  Ex e = term();
  for (;;) {
    if (op("+") || op("-")) {
      std::string o = cur().v;
      ++p_;
      Ex b = term();
      e = arith(o, std::move(e), std::move(b));
    } else if (op("||")) {
      std::vector<Ex> parts;
      parts.push_back(std::move(e));
      while (accept_op("||")) parts.push_back(term());
      // "a || b + c": + and || share one level, left to right.
      e = concat(std::move(parts));
    } else {
      return e;
    }
  }
}

Ex Translator::term() {
  Ex e = factor();
  for (;;) {
    if (op("*") || op("/")) {
      std::string o = cur().v;
      ++p_;
      Ex b = factor();
      e = arith(o, std::move(e), std::move(b));
    } else if (op("**")) {
      unimplemented();
    } else {
      return e;
    }
  }
}

Ex Translator::factor() {
  Nest nest(this);
  if (op("-") || op("+")) {
    bool neg = cur().v == "-";
    ++p_;
    Ex e = factor();
    if (!neg) return e;
    Ex r;
    r.agg = e.agg;
    if (e.num_lit) {
      r = e;
      r.s = "-" + e.s;
      r.lit = "-" + e.lit;
      return r;
    }
    r.s = "ORA_NEG(" + e.s + ")";
    r.ty = number_ty(e.ty) ? e.ty : ty_number();
    return r;
  }
  if (w("PRIOR") || w("CONNECT_BY_ROOT")) unimplemented();
  return primary();
}

std::string Translator::bind(const Tok& t) {
  DlBind b;
  std::snprintf(b.name, sizeof b.name, "%s", t.v.c_str());
  b.param = (int)st_->binds.size() + 1;
  if (plsql_) {
    auto it = std::find(plsql_names_.begin(), plsql_names_.end(), t.v);
    if (it == plsql_names_.end()) {
      plsql_names_.push_back(t.v);
      b.position = (int)plsql_names_.size();
    } else {
      b.position = (int)(it - plsql_names_.begin()) + 1;
    }
  } else {
    b.position = b.param;
  }
  st_->binds.push_back(b);
  st_->position_count = std::max(st_->position_count, b.position);
  return "?" + std::to_string(b.param);
}

Ex Translator::primary() {
  const Tok& t = cur();
  Ex e;
  switch (t.t) {
    case T_NUM: {
      // Never round a literal silently.
      if (!t.numsfx && !dl_number_exact(t.v.data(), t.v.size())) {
        dl_set_error(err_, 3001);
        std::snprintf(err_->message, sizeof err_->message, "%s", dl_number_inexact_message(t.v).c_str());
        err_->offset = t.off;
        throw Fail{};
      }
      ++p_;
      e.s = t.v;
      e.lit = t.v;
      e.num_lit = true;
      if (t.numsfx == 'F') e.ty = ty_of(DL_T_BINARY_FLOAT, 4);
      else if (t.numsfx == 'D') e.ty = ty_of(DL_T_BINARY_DOUBLE, 8);
      else e.ty = ty_number();
      if (t.numsfx) e.s = "CAST(" + t.v + " AS REAL)";
      return e;
    }
    case T_STR: {
      ++p_;
      if (t.v.empty()) {  // Oracle's empty string is NULL
        e.s = "NULL";
        e.ty = ty_of(t.nchar ? DL_T_CHAR : DL_T_CHAR, 0);
        return e;
      }
      e.s = quote_str(t.v);
      e.ty = ty_of(DL_T_CHAR, (uint32_t)t.v.size());
      if (t.nchar) e.ty.c.csform = 2;
      return e;
    }
    case T_BIND: {
      ++p_;
      e.s = bind(t);
      e.is_bind = true;
      return e;
    }
    case T_OP:
      if (t.v == "(") return paren_primary();
      if (t.v == "*") fail(936);
      fail(936);  // missing expression
    case T_WORD:
    case T_QID:
      return name_primary();
    case T_END:
      fail(936);
  }
  fail(936);
}

Ex Translator::paren_primary() {
  Nest nest(this);
  expect_op("(", 906);
  Ex e;
  if (w("SELECT") || w("WITH")) {
    bool ho = false;
    std::vector<DlItem> items;
    e.s = "(" + query(false, &items, &ho) + ")";
    expect_rparen();
    if (items.size() == 1 && !items[0].star) {
      if (items[0].rule == RULE_NONE) e.ty.c = items[0].type;
      // A scalar subquery must give at most one row (ORA-01427); SQLite
      // would quietly take the first.
      e.s = "(SELECT ORA_ONE(" + quote_id(items[0].name) + ") FROM " + e.s + ")";
    }
    return e;
  }
  // a parenthesised expression (it keeps its type), condition or row value
  Ex inner;
  std::string s = cond(nullptr, &inner);
  if (!op(",") && !inner.s.empty()) {
    expect_rparen();
    e = inner;
    e.s = "(" + inner.s + ")";
    e.colref = false;
    if (inner.colref) {
      e.ty.rule = RULE_SAME;
      e.ty.probe[0] = inner.s;
    }
    return e;
  }
  if (op(",")) {
    while (accept_op(",")) s += ", " + expr().s;
    expect_rparen();
    e.s = "(" + s + ")";
    return e;
  }
  expect_rparen();
  e.s = "(" + s + ")";  // a condition: no type
  return e;
}

Ex Translator::name_primary() {
  const Tok& t = cur();
  int start = t.off;
  if (t.t == T_WORD) {
    const std::string& v = t.v;
    if (v == "NULL") {
      ++p_;
      Ex e;
      e.s = "NULL";
      e.ty = ty_varchar(0);
      return e;
    }
    if ((v == "DATE" || v == "TIMESTAMP") && peek().t == T_STR) {
      bool ts = v == "TIMESTAMP";
      const Tok& lit = peek();
      p_ += 2;
      DlDateTime dt;
      const char* fmt = ts ? "YYYY-MM-DD HH24:MI:SS.FF" : "YYYY-MM-DD";
      DlDateTime now;
      now.year = 2000; now.month = 1; now.day = 1;
      bool frac = false;
      int rc = dl::parse_datetime(lit.v.data(), lit.v.size(), fmt, std::strlen(fmt), now, &dt, &frac);
      if (rc != 0 && ts) {
        const char* fmt2 = "YYYY-MM-DD HH24:MI:SS";
        rc = dl::parse_datetime(lit.v.data(), lit.v.size(), fmt2, std::strlen(fmt2), now, &dt, &frac);
      }
      if (rc != 0) fail_at(rc == 1830 || rc == 1840 ? 1861 : rc, lit);
      char buf[40];
      dl_datetime_text(&dt, ts, buf);
      Ex e;
      e.s = quote_str(buf);
      e.ty = ts ? ty_timestamp() : ty_date();
      if (ts) e.ty.c.scale = 9;
      return e;
    }
    if (v == "INTERVAL" && peek().t == T_STR) unimplemented();
    if (v == "CASE") return case_expr();
    if (v == "CAST" && op("(", 1)) return cast_expr();
    if (v == "EXTRACT" && op("(", 1)) return extract_expr();
    if (v == "TRIM" && op("(", 1)) return trim_expr();
    if (v == "LEVEL" || v == "CONNECT_BY_ISLEAF" || v == "CONNECT_BY_ISCYCLE") unimplemented();
    if (v == "CURSOR" || v == "MULTISET" || v == "NEW") unimplemented();
    // pseudo-columns and parameterless functions
    if (!op("(", 1) && !op(".", 1)) {
      struct Pseudo { const char* name; const char* sql; Ty (*ty)(); };
      static const Pseudo pseudo[] = {
          {"SYSDATE", "ORA_SYSDATE()", ty_date},
          {"CURRENT_DATE", "ORA_SYSDATE()", ty_date},
          {"SYSTIMESTAMP", "ORA_SYSTIMESTAMP()", ty_timestamp},
          {"CURRENT_TIMESTAMP", "ORA_SYSTIMESTAMP()", ty_timestamp},
          {"LOCALTIMESTAMP", "ORA_SYSTIMESTAMP()", ty_timestamp},
          {"USER", "ORA_USER()", [] { return ty_varchar(30); }},
          {"UID", "ORA_UID()", ty_number},
      };
      for (const Pseudo& ps : pseudo) {
        if (v == ps.name) {
          ++p_;
          Ex e;
          e.s = ps.sql;
          e.ty = ps.ty();
          return e;
        }
      }
      if (v == "ROWNUM") {
        ++p_;
        Ex e;
        e.s = "row_number() OVER ()";
        e.ty = ty_number();
        return e;
      }
      if (v == "ROWID") {
        ++p_;
        Ex e;
        e.s = "rowid";
        e.is_rowid = true;
        e.colname = "ROWID";
        e.ty = ty_of(DL_T_ROWID, 18);
        return e;
      }
    }
    if (dl::is_reserved(v) && !op("(", 1)) {
      // a reserved word where an expression belongs
      fail(936);
    }
  }
  // identifier chain or function call
  std::vector<Tok> parts;
  parts.push_back(cur());
  ++p_;
  while (op(".") && (peek().t == T_WORD || peek().t == T_QID)) {
    ++p_;
    parts.push_back(cur());
    ++p_;
  }
  if (op("(") && op("+", 1) && op(")", 2)) unimplemented();  // old outer-join syntax
  if (op("(")) {
    std::string fname = parts.back().v;
    if (parts.size() == 1 && parts[0].t == T_WORD) {
      const FnDef* fn = find_fn(kFunctions, sizeof kFunctions / sizeof kFunctions[0], fname);
      if (fn) return function_call(fn, fname, start);
      if (is_unsupported_fn(fname)) unimplemented();
    } else if (parts.size() == 2 && parts[0].t == T_WORD && parts[0].v == "DARODO7") {
      const FnDef* fn = find_fn(kDarodo7, sizeof kDarodo7 / sizeof kDarodo7[0], fname);
      if (fn) return function_call(fn, fname, start);
    }
    std::string n;
    for (size_t i = 0; i < parts.size(); ++i) n += (i ? "." : "") + parts[i].v;
    fail_at(904, parts[0], n.c_str());
  }
  if (parts.size() > 3) fail_at(904, parts[0], parts.back().v.c_str());
  Ex e;
  const Tok& last = parts.back();
  if (last.t == T_WORD && (last.v == "NEXTVAL" || last.v == "CURRVAL") && parts.size() >= 2) {
    std::string schema = "main", seq = parts[parts.size() - 2].v;
    if (parts.size() == 3 && !own_schema(parts[0].v)) schema = parts[0].v;
    e.s = std::string(last.v == "NEXTVAL" ? "ORA_NEXTVAL(" : "ORA_CURRVAL(") + quote_str(schema) + ", " +
          quote_str(seq) + ")";
    e.ty = ty_number();
    e.ty.c.precision = 0;
    e.ty.c.scale = 0;
    return e;
  }
  if (last.t == T_WORD && last.v == "ROWID" && parts.size() >= 2) {
    // t.ROWID
    std::string q;
    for (size_t i = 0; i + 1 < parts.size(); ++i) {
      if (i) q += ".";
      q += (i == 0 && parts.size() == 3) ? schema_name(parts[0].v) : quote_id(parts[i].v);
    }
    e.s = q + ".rowid";
    e.is_rowid = true;
    e.colname = "ROWID";
    e.ty = ty_of(DL_T_ROWID, 18);
    return e;
  }
  for (size_t i = 0; i < parts.size(); ++i) {
    if (i) e.s += ".";
    if (i == 0 && parts.size() == 3) e.s += schema_name(parts[0].v);
    else e.s += quote_id(parts[i].v);
  }
  e.colref = true;
  e.colname = last.v;
  e.ty.rule = RULE_SAME;
  e.ty.probe[0] = e.s;
  return e;
}

std::string Translator::over_clause() {
  expect_w("OVER", 905);
  expect_op("(", 906);
  std::string out = "OVER (";
  bool need_space = false;
  if (accept_w("PARTITION")) {
    expect_w("BY", 924);
    out += "PARTITION BY ";
    bool f = true;
    do {
      if (!f) out += ", ";
      f = false;
      out += expr().s;
    } while (accept_op(","));
    need_space = true;
  }
  if (w("ORDER")) {
    if (need_space) out += " ";
    out += order_by();
    need_space = true;
  }
  if (w("ROWS") || w("RANGE")) {
    if (need_space) out += " ";
    out += cur().v;
    ++p_;
    auto bound = [&]() {
      std::string b;
      if (accept_w("UNBOUNDED")) {
        b = "UNBOUNDED ";
        if (accept_w("PRECEDING")) b += "PRECEDING";
        else if (accept_w("FOLLOWING")) b += "FOLLOWING";
        else fail(905);
      } else if (accept_w("CURRENT")) {
        expect_w("ROW", 905);
        b = "CURRENT ROW";
      } else {
        b = expr().s;
        if (accept_w("PRECEDING")) b += " PRECEDING";
        else if (accept_w("FOLLOWING")) b += " FOLLOWING";
        else fail(905);
      }
      return b;
    };
    if (accept_w("BETWEEN")) {
      out += " BETWEEN " + bound();
      expect_w("AND", 905);
      out += " AND " + bound();
    } else {
      out += " " + bound();
    }
  }
  expect_rparen();
  return out + ")";
}

Ex Translator::function_call(const FnDef* fn, const std::string& oracle_name, int name_off) {
  Nest nest(this);
  expect_op("(", 906);
  Ex r;
  std::vector<Ex> args;
  bool distinct = false;
  bool star = false;
  if (fn->kind == FK_AGG || fn->kind == FK_ORA_AGG) {
    if (accept_w("DISTINCT") || accept_w("UNIQUE")) distinct = true;
    else accept_w("ALL");
  }
  if (fn->kind == FK_AGG && oracle_name == "COUNT" && op("*")) {
    ++p_;
    star = true;
  } else if (!op(")")) {
    do args.push_back(expr());
    while (accept_op(","));
  }
  expect_rparen();
  int nargs = star ? 1 : (int)args.size();
  if (nargs < fn->minargs || nargs > fn->maxargs) fail(909);  // invalid number of arguments
  for (const Ex& a : args)
    if (a.agg && (fn->kind == FK_AGG || fn->kind == FK_ORA_AGG)) fail(937);
  // argument list text
  std::string al;
  for (size_t i = 0; i < args.size(); ++i) {
    if (i) al += ", ";
    al += args[i].s;
    if (args[i].agg) r.agg = true;
  }
  switch (fn->kind) {
    case FK_NVL:
      r.s = "coalesce(" + al + ")";
      break;
    case FK_NVL2:
      r.s = "CASE WHEN " + args[0].s + " IS NOT NULL THEN " + args[1].s + " ELSE " + args[2].s + " END";
      break;
    case FK_DECODE: {
      // Evaluated lazily like Oracle's; NULL matches NULL.
      r.s = "CASE";
      size_t i = 1;
      for (; i + 1 < args.size(); i += 2)
        r.s += " WHEN ORA_DECODE_EQ(" + args[0].s + ", " + args[i].s + ") THEN " + args[i + 1].s;
      if (i < args.size()) r.s += " ELSE " + args[i].s;
      r.s += " END";
      break;
    }
    default:
      r.s = std::string(fn->sql) + "(" + (distinct ? "DISTINCT " : "") + (star ? "*" : al) + ")";
      break;
  }
  bool analytic = false;
  if (w("OVER")) {
    if (fn->kind != FK_AGG && fn->kind != FK_WINDOW) unimplemented();
    r.s += " " + over_clause();
    analytic = true;
  } else if (fn->kind == FK_WINDOW) {
    if (w("WITHIN") || w("KEEP")) unimplemented();
    fail(30484);  // missing window specification for this function
  }
  if (w("WITHIN") || w("KEEP")) unimplemented();
  if ((fn->kind == FK_AGG || fn->kind == FK_ORA_AGG) && !analytic) r.agg = true;
  // result type
  auto arg_ty = [&](size_t i) -> Ty {
    if (i < args.size()) return args[i].ty;
    return Ty{};
  };
  auto same_as = [&](const Ex& a) -> Ty {
    if (a.colref) {
      Ty t;
      t.rule = RULE_SAME;
      t.probe[0] = a.s;
      return t;
    }
    return a.ty;
  };
  switch (fn->ret) {
    case RT_NUM: r.ty = ty_number(); break;
    case RT_COUNT:
      r.ty = ty_of(DL_T_NUMBER, 22, 0, 0);
      r.is_count = true;
      break;
    case RT_VC: r.ty = ty_varchar(4000); break;
    case RT_VC1: r.ty = ty_varchar(1); break;
    case RT_VC4: r.ty = ty_varchar(4); break;
    case RT_VC18: r.ty = ty_varchar(18); break;
    case RT_VC256: r.ty = ty_varchar(256); break;
    case RT_DATE: r.ty = ty_date(); break;
    case RT_TS: r.ty = ty_timestamp(); r.ty.c.scale = 9; break;
    case RT_RAW: r.ty = ty_of(DL_T_RAW, 2000); break;
    case RT_RAW16: r.ty = ty_of(DL_T_RAW, 16); break;
    case RT_CLOB: r.ty = ty_of(DL_T_CLOB, 4000); break;
    case RT_BLOB: r.ty = ty_of(DL_T_BLOB, 4000); break;
    case RT_ROWID: r.ty = ty_of(DL_T_ROWID, 18); break;
    case RT_ARG1: r.ty = args.empty() ? Ty{} : same_as(args[0]); break;
    case RT_ARG2:
      r.ty = args.size() < 2 ? Ty{} : same_as(args[fn->kind == FK_DECODE ? 2 : 1]);
      if (fn->kind == FK_DECODE && known(r.ty) && (r.ty.c.type == DL_T_CHAR || r.ty.c.type == DL_T_VARCHAR2)) {
        // Oracle's DECODE gives VARCHAR2 as long as its longest result.
        uint32_t size = 0;
        auto result = [&](const Ty& a) {
          if (known(a) && (a.c.type == DL_T_CHAR || a.c.type == DL_T_VARCHAR2)) size = std::max(size, a.c.size);
          else if (!(known(a) && a.c.size == 0)) size = 4000;  // a column or a non-text value
        };
        for (size_t i = 2; i < args.size(); i += 2) result(args[i].ty);
        if (args.size() % 2 == 0) result(args.back().ty);  // the default
        r.ty = ty_varchar(std::max<uint32_t>(size, 1));
      }
      break;
    case RT_ARG1STR: {
      Ty a = arg_ty(0);
      if (known(a) && (a.c.type == DL_T_VARCHAR2 || a.c.type == DL_T_CHAR)) {
        r.ty = ty_varchar(std::max<uint32_t>(a.c.size, 1));
        r.ty.c.csform = a.c.csform;
      } else if (!args.empty() && args[0].colref) {
        r.ty.rule = RULE_STR_SAME;
        r.ty.probe[0] = args[0].s;
      } else {
        r.ty = ty_varchar(4000);
      }
      break;
    }
    case RT_DATENUM: {
      Ty a = arg_ty(0);
      if (datetime_ty(a)) r.ty = ty_date();
      else if (known(a)) r.ty = ty_number();
      else if (!args.empty() && args[0].colref) {
        r.ty.rule = RULE_DATE_OR_NUM;
        r.ty.probe[0] = args[0].s;
      } else r.ty = ty_number();
      break;
    }
  }
  (void)name_off;
  return r;
}

Ex Translator::case_expr() {
  expect_w("CASE", 900);
  Ex r;
  r.s = "CASE";
  bool simple = !w("WHEN");
  if (simple) {
    Ex sel = expr();
    r.s += " " + sel.s;
    r.agg = sel.agg;
  }
  bool first = true;
  if (!w("WHEN")) fail(905);
  while (accept_w("WHEN")) {
    std::string c = simple ? expr().s : cond();
    expect_w("THEN", 905);
    Ex v = expr();
    if (v.agg) r.agg = true;
    if (first) {
      r.ty = v.colref ? Ty{} : v.ty;
      if (v.colref) {
        r.ty.rule = RULE_SAME;
        r.ty.probe[0] = v.s;
      }
      first = false;
    }
    r.s += " WHEN " + c + " THEN " + v.s;
  }
  if (accept_w("ELSE")) r.s += " ELSE " + expr().s;
  expect_w("END", 905);
  r.s += " END";
  return r;
}

Ex Translator::cast_expr() {
  expect_w("CAST", 900);
  expect_op("(", 906);
  if (w("MULTISET")) unimplemented();
  Ex a = expr();
  expect_w("AS", 905);
  DlColType t;
  bool char_sem = false;
  datatype(&t, &char_sem, true);
  expect_rparen();
  Ex r;
  r.agg = a.agg;
  char buf[64];
  switch (t.type) {
    case DL_T_NUMBER:
      std::snprintf(buf, sizeof buf, ", %d, %d)", t.scale == -127 ? 0 : (int)t.precision,
                    t.scale == -127 ? -127 : (int)t.scale);
      r.s = "ORA_CAST_NUMBER(" + a.s + buf;
      break;
    case DL_T_BINARY_FLOAT:
    case DL_T_BINARY_DOUBLE:
      r.s = "ORA_CAST_NUMBER(" + a.s + ", 0, -127)";
      break;
    case DL_T_VARCHAR2:
    case DL_T_CHAR:
      std::snprintf(buf, sizeof buf, ", %u, %d)", t.char_length ? t.char_length : 4000,
                    t.type == DL_T_CHAR ? 1 : 0);
      r.s = "ORA_CAST_CHAR(" + a.s + buf;
      break;
    case DL_T_DATE:
      r.s = "ORA_CAST_DATETIME(" + a.s + ", 0)";
      break;
    case DL_T_TIMESTAMP:
      r.s = "ORA_CAST_DATETIME(" + a.s + ", 1)";
      break;
    case DL_T_RAW:
      r.s = "ORA_HEXTORAW(" + a.s + ")";
      break;
    default:
      unimplemented();
  }
  r.ty.c = t;
  if ((t.type == DL_T_VARCHAR2 || t.type == DL_T_CHAR) && t.size == 0) r.ty.c.size = 4000;
  return r;
}

Ex Translator::extract_expr() {
  expect_w("EXTRACT", 900);
  expect_op("(", 906);
  if (cur().t != T_WORD) fail(907);
  std::string field = cur().v;
  if (field != "YEAR" && field != "MONTH" && field != "DAY" && field != "HOUR" &&
      field != "MINUTE" && field != "SECOND") {
    if (field.rfind("TIMEZONE", 0) == 0) unimplemented();
    fail(907);
  }
  ++p_;
  expect_w("FROM", 923);
  Ex a = expr();
  expect_rparen();
  Ex r;
  r.agg = a.agg;
  r.s = "ORA_EXTRACT('" + field + "', " + a.s + ")";
  r.ty = ty_number();
  return r;
}

Ex Translator::trim_expr() {
  expect_w("TRIM", 900);
  expect_op("(", 906);
  int mode = 0;  // 0 both, 1 leading, 2 trailing
  std::string chars = "' '";
  bool from_form = false;
  if (accept_w("LEADING")) { mode = 1; from_form = true; }
  else if (accept_w("TRAILING")) { mode = 2; from_form = true; }
  else if (accept_w("BOTH")) { from_form = true; }
  Ex src;
  if (from_form) {
    if (!w("FROM")) chars = expr().s;
    expect_w("FROM", 923);
    src = expr();
  } else {
    Ex first = expr();
    if (accept_w("FROM")) {
      chars = first.s;
      src = expr();
    } else {
      src = first;
    }
  }
  expect_rparen();
  Ex r;
  r.agg = src.agg;
  r.s = "ORA_TRIM(" + std::to_string(mode) + ", " + chars + ", " + src.s + ")";
  if (known(src.ty) && (src.ty.c.type == DL_T_VARCHAR2 || src.ty.c.type == DL_T_CHAR))
    r.ty = ty_varchar(std::max<uint32_t>(src.ty.c.size, 1));
  else if (src.colref) {
    r.ty.rule = RULE_STR_SAME;
    r.ty.probe[0] = src.s;
  } else r.ty = ty_varchar(4000);
  return r;
}

}  // namespace

// ============================================================ interface

int dl_translate(const char* text, size_t len, const DlSession* session, DlStatement* out,
                 DlError* err) {
  assert(text && out && err);
  *out = DlStatement{};
  *err = DlError{};
  try {
    Translator tr(text, len, session, out, err);
    tr.run();
  } catch (const Fail&) {
    DlKind k = out->kind;
    *out = DlStatement{};
    out->kind = k;
    return err->code;
  } catch (const std::bad_alloc&) {
    *out = DlStatement{};
    return dl_set_error(err, 4030);
  }
  return 0;
}

int dl_oci_stmt_type(DlKind kind) {
  return (kind >= DL_SELECT && kind <= DL_CALL) ? (int)kind : 0;
}

// ------------------------------------------------------------- describe

static void dl_describe_column_type(const DlStatement* st, sqlite3_stmt* stmt, int col, DlColType* out,
                                    std::string* name);

bool dl_parse_decltype(const char* decl, DlColType* out) {
  *out = DlColType{};
  if (!decl) return false;
  std::string d = upper(decl);
  unsigned a = 0, b = 0;
  int sb = 0;
  auto num_args = [&](const char* prefix, unsigned* x, int* y) -> int {
    size_t n = std::strlen(prefix);
    if (d.compare(0, n, prefix) != 0) return -1;
    if (d.size() == n) return 0;
    if (d[n] != '(') return -1;
    if (std::sscanf(d.c_str() + n, "(%u,%d)", x, y) == 2) return 2;
    if (std::sscanf(d.c_str() + n, "(%u)", x) == 1) return 1;
    return -1;
  };
  int k;
  if (d == "LONG VARCHAR" || d == "LONG") {
    out->type = DL_T_LONG;
  } else if (d == "LONG RAW BLOB" || d == "LONG RAW") {
    out->type = DL_T_LONG_RAW;
  } else if (d == "CLOB") {
    out->type = DL_T_CLOB; out->size = 4000;
  } else if (d == "NCLOB") {
    out->type = DL_T_CLOB; out->size = 4000; out->csform = 2;
  } else if (d == "BLOB") {
    out->type = DL_T_BLOB; out->size = 4000;
  } else if (d == "DATE") {
    out->type = DL_T_DATE; out->size = 7;
  } else if (d == "BINARY_FLOAT") {
    out->type = DL_T_BINARY_FLOAT; out->size = 4;
  } else if (d == "BINARY_DOUBLE") {
    out->type = DL_T_BINARY_DOUBLE; out->size = 8;
  } else if ((k = num_args("TIMESTAMP", &a, &sb)) >= 0) {
    out->type = DL_T_TIMESTAMP; out->size = 11; out->scale = (int8_t)(k == 1 ? a : 6);
  } else if ((k = num_args("NUMBER", &a, &sb)) >= 0) {
    out->type = DL_T_NUMBER; out->size = 22;
    if (k == 0) out->scale = -127;
    else { out->precision = (int16_t)a; out->scale = (int8_t)(k == 2 ? sb : 0); }
  } else if ((k = num_args("FLOAT", &a, &sb)) >= 0) {
    out->type = DL_T_NUMBER; out->size = 22; out->precision = (int16_t)(k == 1 ? a : 126);
    out->scale = -127;
  } else if ((k = num_args("VARCHAR2 CHAR", &a, &sb)) == 1) {
    out->type = DL_T_VARCHAR2; out->char_length = a; out->size = std::min(a * 4, 4000u);
  } else if ((k = num_args("VARCHAR2", &a, &sb)) == 1) {
    out->type = DL_T_VARCHAR2; out->char_length = a; out->size = a;
  } else if ((k = num_args("NVARCHAR2", &a, &sb)) == 1) {
    out->type = DL_T_VARCHAR2; out->char_length = a; out->size = a * 2; out->csform = 2;
  } else if ((k = num_args("CHAR CHAR", &a, &sb)) == 1) {
    out->type = DL_T_CHAR; out->char_length = a; out->size = std::min(a * 4, 2000u);
  } else if ((k = num_args("CHAR", &a, &sb)) == 1) {
    out->type = DL_T_CHAR; out->char_length = a; out->size = a;
  } else if ((k = num_args("NCHAR", &a, &sb)) == 1) {
    out->type = DL_T_CHAR; out->char_length = a; out->size = a * 2; out->csform = 2;
  } else if ((k = num_args("RAW BLOB", &a, &sb)) == 1 || (k = num_args("RAW", &a, &sb)) == 1) {
    out->type = DL_T_RAW; out->size = a;
  } else if (d == "INT" || d == "INTEGER" || d == "NUM" || d == "NUMERIC") {
    // column affinities of CREATE TABLE ... AS SELECT
    out->type = DL_T_NUMBER; out->size = 22; out->scale = -127;
  } else if (d == "REAL") {
    out->type = DL_T_NUMBER; out->size = 22; out->scale = -127;
  } else if (d == "TEXT") {
    out->type = DL_T_VARCHAR2; out->size = 4000;
  } else {
    return false;
  }
  (void)b;
  return true;
}

namespace {

bool probe_type(sqlite3* db, const std::string& sql, DlColType* out) {
  if (sql.empty()) return false;
  sqlite3_stmt* s = nullptr;
  bool ok = false;
  if (sqlite3_prepare_v2(db, sql.c_str(), (int)sql.size(), &s, nullptr) == SQLITE_OK && s &&
      sqlite3_column_count(s) == 1) {
    ok = dl_parse_decltype(sqlite3_column_decltype(s, 0), out);
  }
  sqlite3_finalize(s);
  return ok;
}

}  // namespace

namespace {

// NOT NULL of the table column a result column comes from.
void column_nullability(sqlite3_stmt* stmt, int col, DlColType* out) {
  const char* tbl = sqlite3_column_table_name(stmt, col);
  const char* org = sqlite3_column_origin_name(stmt, col);
  if (!tbl || !org) return;
  int notnull = 0, pk = 0, autoinc = 0;
  if (sqlite3_table_column_metadata(sqlite3_db_handle(stmt), sqlite3_column_database_name(stmt, col), tbl, org,
                                    nullptr, nullptr, &notnull, &pk, &autoinc) == SQLITE_OK)
    out->nullable = notnull == 0;
}

}  // namespace

void dl_describe_column(const DlStatement* st, sqlite3_stmt* stmt, int col, DlColType* out,
                        std::string* name) {
  dl_describe_column_type(st, stmt, col, out, name);
  if (out->nullable) column_nullability(stmt, col, out);
}

static void dl_describe_member_type(const DlStatement* st, const std::vector<DlItem>& items, bool first,
                                    sqlite3_stmt* stmt, int col, DlColType* out, std::string* name);

// Oracle describes a compound query's column from all its members: texts
// take the longest length (a NULL member adds nothing), and a member that is
// only NULL takes the type of the others.
static void merge_member_type(DlColType* out, const DlColType& other) {
  auto is_text = [](const DlColType& c) { return c.type == DL_T_VARCHAR2 || c.type == DL_T_CHAR; };
  auto is_null = [&](const DlColType& c) { return c.type == DL_T_UNKNOWN || (is_text(c) && c.size == 0); };
  if (is_null(other)) return;
  if (is_null(*out)) {
    bool nullable = out->nullable;
    *out = other;
    out->nullable = nullable;
    return;
  }
  if (is_text(*out) && is_text(other)) {
    if (out->type != other.type) out->type = DL_T_VARCHAR2;
    out->size = std::max(out->size, other.size);
    out->char_length = std::max(out->char_length, other.char_length);
    return;
  }
  if (out->type == DL_T_NUMBER && other.type == DL_T_NUMBER &&
      (out->precision != other.precision || out->scale != other.scale)) {
    out->precision = 0;
    out->scale = -127;
  }
}

static void dl_describe_column_type(const DlStatement* st, sqlite3_stmt* stmt, int col, DlColType* out,
                                    std::string* name) {
  static const std::vector<DlItem> kNone;
  dl_describe_member_type(st, st ? st->items : kNone, true, stmt, col, out, name);
  if (!st) return;
  for (size_t i = 0; i < st->member_items.size() && i < st->member_sql.size(); ++i) {
    const std::vector<DlItem>& m = st->member_items[i];
    if (m.size() != st->items.size()) continue;
    // The member prepared alone gives its own columns' declared types.
    sqlite3_stmt* alone = nullptr;
    if (sqlite3_prepare_v2(sqlite3_db_handle(stmt), st->member_sql[i].c_str(), -1, &alone, nullptr) != SQLITE_OK ||
        !alone || sqlite3_column_count(alone) != sqlite3_column_count(stmt)) {
      sqlite3_finalize(alone);
      continue;
    }
    DlColType t;
    dl_describe_member_type(st, m, false, alone, col, &t, nullptr);
    sqlite3_finalize(alone);
    merge_member_type(out, t);
  }
}

int dl_check_set_operation(const DlStatement* st, sqlite3_stmt* stmt, DlError* err) {
  if (!st || st->member_items.empty()) return 0;
  auto has_long = [&](const std::vector<DlItem>& items, sqlite3_stmt* s) {
    for (int c = 0; c < sqlite3_column_count(s); ++c) {
      DlColType t;
      dl_describe_member_type(st, items, true, s, c, &t, nullptr);
      if (t.type == DL_T_LONG || t.type == DL_T_LONG_RAW) return true;
    }
    return false;
  };
  bool found = has_long(st->items, stmt);
  for (size_t i = 0; !found && i < st->member_items.size() && i < st->member_sql.size(); ++i) {
    sqlite3_stmt* alone = nullptr;
    if (sqlite3_prepare_v2(sqlite3_db_handle(stmt), st->member_sql[i].c_str(), -1, &alone, nullptr) == SQLITE_OK &&
        alone)
      found = has_long(st->member_items[i], alone);
    sqlite3_finalize(alone);
  }
  return found ? dl_set_error(err, 997) : 0;
}

// The type of column col as one member's select list gives it; the first
// member also has the statement's declared column types to fall back on,
// the others report DL_T_UNKNOWN where only those could tell.
static void dl_describe_member_type(const DlStatement* st, const std::vector<DlItem>& memberItems, bool first,
                                    sqlite3_stmt* stmt, int col, DlColType* out, std::string* name) {
  *out = DlColType{};
  int ncols = sqlite3_column_count(stmt);
  const char* cn = sqlite3_column_name(stmt, col);
  if (name) *name = cn ? cn : "";
  // which select-list item gives this column
  const DlItem* item = nullptr;
  if (st && !memberItems.empty()) {
    const auto& items = memberItems;
    size_t first_star = items.size(), last_star = items.size();
    for (size_t i = 0; i < items.size(); ++i) {
      if (items[i].star) {
        if (first_star == items.size()) first_star = i;
        last_star = i;
      }
    }
    if (first_star == items.size()) {
      if ((size_t)col < items.size() && (int)items.size() == ncols) item = &items[col];
    } else if ((size_t)col < first_star) {
      item = &items[col];
    } else {
      size_t after = items.size() - 1 - last_star;  // items behind the last star
      if (col >= ncols - (int)after) item = &items[items.size() - (size_t)(ncols - col)];
    }
  }
  const char* decl = sqlite3_column_decltype(stmt, col);
  DlColType dt;
  bool have_decl = dl_parse_decltype(decl, &dt);
  if (item && !item->star) {
    sqlite3* db = sqlite3_db_handle(stmt);
    DlColType p0, p1;
    switch (item->rule) {
      case RULE_NONE:
        if (item->type.type != DL_T_UNKNOWN) {
          *out = item->type;
          if (item->is_count) {
            out->precision = 0;
            out->scale = 0;
          }
          return;
        }
        break;
      case RULE_SAME:
        if (have_decl) {
          *out = dt;
          return;
        }
        if (probe_type(db, item->probe[0], &p0)) {
          *out = p0;
          return;
        }
        break;
      case RULE_DATE_OR_NUM:
        if (probe_type(db, item->probe[0], &p0) && is_dt(p0)) {
          out->type = DL_T_DATE; out->size = 7;
        } else {
          out->type = DL_T_NUMBER; out->size = 22; out->scale = -127;
        }
        return;
      case RULE_DIFF2: {
        bool d0 = probe_type(db, item->probe[0], &p0) && is_dt(p0);
        bool d1 = probe_type(db, item->probe[1], &p1) && is_dt(p1);
        if (d0 && !d1) { out->type = DL_T_DATE; out->size = 7; }
        else { out->type = DL_T_NUMBER; out->size = 22; out->scale = -127; }
        return;
      }
      case RULE_DATE_MINUS:
        if (probe_type(db, item->probe[0], &p0) && is_dt(p0)) {
          out->type = DL_T_NUMBER; out->size = 22; out->scale = -127;
        } else {
          out->type = DL_T_DATE; out->size = 7;
        }
        return;
      case RULE_STR_SAME:
        out->type = DL_T_VARCHAR2;
        out->size = 4000;
        if (probe_type(db, item->probe[0], &p0) &&
            (p0.type == DL_T_VARCHAR2 || p0.type == DL_T_CHAR)) {
          out->size = p0.size;
          out->csform = p0.csform;
        }
        return;
    }
  }
  if (have_decl) {
    *out = dt;
    return;
  }
  if (!first) return;  // unknown: the other members decide
  out->type = DL_T_VARCHAR2;
  out->size = 4000;
}

// ------------------------------------------------------------------- DDL

namespace {

int exec_script(sqlite3* db, const std::string& sql, const DlSession* session, DlError* err) {
  if (sql.empty()) return 0;
  char* msg = nullptr;
  int rc = sqlite3_exec(db, sql.c_str(), nullptr, nullptr, &msg);
  if (rc == SQLITE_OK) return 0;
  int ora = dl_map_sqlite_error(sqlite3_extended_errcode(db), msg ? msg : sqlite3_errmsg(db), err, session);
  sqlite3_free(msg);
  return ora;
}

}  // namespace

int dl_exec_ddl(sqlite3* db, const DlStatement* st, const DlSession* session, DlError* err) {
  *err = DlError{};
  if (st->ctas_table.empty()) return exec_script(db, st->sql, session, err);
  sqlite3_stmt* q = nullptr;
  if (sqlite3_prepare_v2(db, st->ctas_query.c_str(), -1, &q, nullptr) != SQLITE_OK) {
    int ora = dl_map_sqlite_error(sqlite3_extended_errcode(db), sqlite3_errmsg(db), err, session);
    sqlite3_finalize(q);
    return ora;
  }
  std::string owner = session ? session->user : std::string();
  if (!st->ctas_schema.empty() && st->ctas_schema != "main.") {
    owner = st->ctas_schema.substr(1, st->ctas_schema.size() - 3);  // "HR". -> HR
  }
  std::string cols, triggers;
  int n = sqlite3_column_count(q);
  std::vector<std::string> names;
  for (int i = 0; i < n; ++i) {
    DlColType t;
    std::string name;
    dl_describe_column(st, q, i, &t, &name);
    if (std::find(names.begin(), names.end(), name) != names.end()) {
      sqlite3_finalize(q);
      return dl_set_error(err, 957);  // duplicate column name
    }
    names.push_back(name);
    if (t.type == DL_T_ROWID) {
      t.type = DL_T_VARCHAR2;
      t.size = t.char_length = 18;
    }
    if ((t.type == DL_T_VARCHAR2 || t.type == DL_T_CHAR) && t.size == 0) {
      sqlite3_finalize(q);
      return dl_set_error(err, 1723);  // zero-length columns are not allowed
    }
    if (t.type == DL_T_LONG || t.type == DL_T_LONG_RAW) {
      sqlite3_finalize(q);
      return dl_set_error(err, 997);  // illegal use of LONG datatype
    }
    bool char_sem = t.csform == 1 && t.char_length && t.size != t.char_length;
    std::string def = quote_id(name) + " " + dl::decltype_text(t, char_sem);
    if (t.type == DL_T_CHAR) def += " COLLATE RTRIM";
    else if (t.type == DL_T_DATE || t.type == DL_T_TIMESTAMP) def += " COLLATE ORA_DT";
    if (!t.nullable) def += " NOT NULL";
    ColRules r = column_rules(owner, st->ctas_table, name, t, char_sem);
    if (!r.check.empty()) def += " CHECK (" + r.check + ")";
    std::string tr = trigger_sql("", st->ctas_table, name, r);
    if (!st->ctas_schema.empty()) {
      const std::string key = "; CREATE TRIGGER ";
      for (size_t pos = tr.find(key); pos != std::string::npos; pos = tr.find(key, pos + key.size()))
        tr.insert(pos + key.size(), st->ctas_schema);
    }
    triggers += tr;
    if (!cols.empty()) cols += ", ";
    cols += def;
  }
  sqlite3_finalize(q);
  std::string full = st->ctas_schema + quote_id(st->ctas_table);
  std::string script = "CREATE TABLE " + full + " (" + cols + ")" + triggers + "; INSERT INTO " + full +
                       " SELECT * FROM (" + st->ctas_query + ")";
  return exec_script(db, script, session, err);
}

// ---------------------------------------------------------------- session

namespace {

int apply_one(DlSession* session, const std::string& p, const std::string& value, DlError* err) {
  if (p == "NLS_DATE_FORMAT" || p == "NLS_TIMESTAMP_FORMAT") {
    // check the format model
    DlDateTime dt;
    dt.year = 2000; dt.month = 1; dt.day = 1;
    std::string tmp;
    int rc = dl::format_datetime(dt, value.data(), value.size(), &tmp);
    if (rc) return dl_set_error(err, rc);
    if (p == "NLS_DATE_FORMAT") session->nls_date_format = value;
    else session->nls_timestamp_format = value;
    return 0;
  }
  if (p.rfind("NLS_", 0) == 0 || p == "TIME_ZONE" ||
      (p == "CURRENT_SCHEMA" && upper(value) == session->user)) {
    return 0;  // accepted; the stand-in has one language and territory
  }
  static const char* const harmless[] = {
      "OPTIMIZER_MODE", "SQL_TRACE", "STATISTICS_LEVEL", "SKIP_UNUSABLE_INDEXES", "EVENTS",
      "TRACEFILE_IDENTIFIER", "CURSOR_SHARING", "SORT_AREA_SIZE", "HASH_AREA_SIZE",
      "OPTIMIZER_INDEX_COST_ADJ", "OPTIMIZER_INDEX_CACHING", "DB_FILE_MULTIBLOCK_READ_COUNT",
      "WORKAREA_SIZE_POLICY", "GLOBAL_NAMES", "ISOLATION_LEVEL", "RECYCLEBIN",
      "PLSQL_OPTIMIZE_LEVEL", "PLSQL_CODE_TYPE", "PLSQL_WARNINGS", "CONSTRAINTS",
      "USE_STORED_OUTLINES", "QUERY_REWRITE_ENABLED", "EDITION", "CONTAINER",
  };
  for (const char* h : harmless)
    if (p == h) return 0;
  return dl_set_error(err, 2248);  // invalid option for ALTER SESSION
}

}  // namespace

int dl_session_apply(DlSession* session, const DlStatement* st, DlError* err) {
  *err = DlError{};
  if (st->kind != DL_ALTER_SESSION) return 0;
  // all or nothing: check every pair on a copy first
  DlSession trial = *session;
  for (const auto& pv : st->session_params)
    if (int rc = apply_one(&trial, pv.first, pv.second, err)) return rc;
  for (const auto& pv : st->session_params) apply_one(session, pv.first, pv.second, err);
  return 0;
}

void dl_session_statement_start(DlSession* session) {
  if (session) session->statement_time_us = dl::now_us();
}
