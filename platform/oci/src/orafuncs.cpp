// Oracle's SQL function library as SQLite functions (ORA_ names), and the
// connection settings the translated SQL relies on.
//
// Every function follows Oracle's rules where SQLite's differ: the empty
// string is NULL, numbers print in Oracle's form, text converts to numbers
// (ORA-01722 when it cannot) and DATE/TIMESTAMP values are the canonical text
// of dialect.h. Errors are raised as "ORA-nnnnn: text", which
// dl_map_sqlite_error turns back into the Oracle error.

#include <sqlite3.h>

#include <algorithm>
#include <array>
#include <cctype>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <limits>
#include <string>
#include <tuple>
#include <vector>

#include "dialect.h"
#include "dialect_int.h"

namespace {

using dl::Instant;

// ------------------------------------------------------------ helpers

void raise(sqlite3_context* ctx, int code, const char* arg = nullptr) {
  DlError e;
  dl_set_error(&e, code, arg);
  char buf[600];
  std::snprintf(buf, sizeof buf, "ORA-%05d: %s", code, e.message);
  sqlite3_result_error(ctx, buf, -1);
}

DlSession* session_of(sqlite3_context* ctx) { return (DlSession*)sqlite3_user_data(ctx); }

struct Num {
  bool is_int = true;
  int64_t i = 0;
  double d = 0;
  double as_double() const { return is_int ? (double)i : d; }
};

bool is_null(sqlite3_value* v) { return sqlite3_value_type(v) == SQLITE_NULL; }

// A number argument; raises ORA-01722 and returns false when it is none.
bool num_arg(sqlite3_context* ctx, sqlite3_value* v, Num* out) {
  switch (sqlite3_value_type(v)) {
    case SQLITE_INTEGER:
      out->is_int = true;
      out->i = sqlite3_value_int64(v);
      return true;
    case SQLITE_FLOAT:
      out->is_int = false;
      out->d = sqlite3_value_double(v);
      return true;
    case SQLITE_TEXT: {
      const char* s = (const char*)sqlite3_value_text(v);
      const size_t n = (size_t)sqlite3_value_bytes(v);
      int k = dl_parse_number(s, n, &out->i, &out->d);
      if (k == 0) {
        raise(ctx, 1722);
        return false;
      }
      if (!dl_number_exact(s, n)) {
        std::string t(s, n);
        size_t b = t.find_first_not_of(' '), e = t.find_last_not_of(' ');
        t = b == std::string::npos ? t : t.substr(b, e - b + 1);
        if (!dl_number_exact(t.data(), t.size())) {
          sqlite3_result_error(ctx, ("ORA-03001: " + dl_number_inexact_message(t)).c_str(), -1);
          return false;
        }
      }
      out->is_int = k == 1;
      return true;
    }
    default:
      raise(ctx, 1722);
      return false;
  }
}

// Keeps numbers integral where they are, and 15 significant digits for the
// others so that 0.1 + 0.2 = 0.3 as in Oracle's decimal arithmetic.
void result_double(sqlite3_context* ctx, double d) {
  if (!std::isfinite(d)) {
    raise(ctx, 1426);
    return;
  }
  if (d == std::trunc(d) && std::fabs(d) < 9007199254740992.0) {
    sqlite3_result_int64(ctx, (int64_t)d);
    return;
  }
  char buf[48];
  std::snprintf(buf, sizeof buf, "%.15g", d);
  sqlite3_result_double(ctx, std::strtod(buf, nullptr));
}

void result_num(sqlite3_context* ctx, const Num& n) {
  if (n.is_int) sqlite3_result_int64(ctx, n.i);
  else result_double(ctx, n.d);
}

void result_text(sqlite3_context* ctx, const std::string& s) {
  if (s.empty()) sqlite3_result_null(ctx);
  else sqlite3_result_text(ctx, s.data(), (int)s.size(), SQLITE_TRANSIENT);
}

// Text of any value as Oracle converts it to character data.
std::string text_of(sqlite3_value* v) {
  char buf[48];
  switch (sqlite3_value_type(v)) {
    case SQLITE_INTEGER:
      dl_int_text(sqlite3_value_int64(v), buf);
      return buf;
    case SQLITE_FLOAT:
      dl_number_text(sqlite3_value_double(v), buf);
      return buf;
    case SQLITE_TEXT:
      return std::string((const char*)sqlite3_value_text(v), (size_t)sqlite3_value_bytes(v));
    case SQLITE_BLOB: {
      const unsigned char* b = (const unsigned char*)sqlite3_value_blob(v);
      int n = sqlite3_value_bytes(v);
      std::string s;
      static const char hex[] = "0123456789ABCDEF";
      for (int i = 0; i < n; ++i) {
        s += hex[b[i] >> 4];
        s += hex[b[i] & 15];
      }
      return s;
    }
    default:
      return std::string();
  }
}

bool is_datetime_text(sqlite3_value* v, DlDateTime* dt, bool* ts) {
  if (sqlite3_value_type(v) != SQLITE_TEXT) return false;
  return dl_datetime_parse((const char*)sqlite3_value_text(v), (size_t)sqlite3_value_bytes(v), dt, ts);
}

DlDateTime session_now(DlSession* s) {
  int64_t us = (s && s->statement_time_us) ? s->statement_time_us : dl::now_us();
  return dl::local_from_unix_us(us);
}

// A date argument: the canonical text, or text in the session's date format
// (Oracle's implicit conversion). Raises and returns false otherwise.
bool date_arg(sqlite3_context* ctx, sqlite3_value* v, DlDateTime* dt, bool* ts = nullptr) {
  bool is_ts = false;
  if (is_datetime_text(v, dt, &is_ts)) {
    if (ts) *ts = is_ts;
    return true;
  }
  if (sqlite3_value_type(v) == SQLITE_TEXT) {
    DlSession* s = session_of(ctx);
    std::string fmt = s ? s->nls_date_format : "DD-MON-RR";
    std::string t = text_of(v);
    bool frac = false;
    int rc = dl::parse_datetime(t.data(), t.size(), fmt.data(), fmt.size(), session_now(s), dt, &frac);
    if (rc) {
      raise(ctx, rc);
      return false;
    }
    if (ts) *ts = false;
    return true;
  }
  raise(ctx, 932, "expected DATE got NUMBER");
  return false;
}

void result_datetime(sqlite3_context* ctx, const DlDateTime& dt, bool ts) {
  if (!dl::datetime_valid(dt)) {
    raise(ctx, 1841);
    return;
  }
  char buf[40];
  size_t n = dl_datetime_text(&dt, ts, buf);
  sqlite3_result_text(ctx, buf, (int)n, SQLITE_TRANSIENT);
}

void result_instant(sqlite3_context* ctx, Instant in, bool ts) {
  result_datetime(ctx, dl::from_instant(in), ts);
}

// UTF-8 helpers
size_t utf8_len(const std::string& s) {
  size_t n = 0;
  for (unsigned char c : s)
    if ((c & 0xC0) != 0x80) ++n;
  return n;
}

// byte offset of character index ci (0-based); s.size() when past the end
size_t utf8_off(const std::string& s, size_t ci) {
  size_t n = 0;
  for (size_t i = 0; i < s.size(); ++i) {
    if (((unsigned char)s[i] & 0xC0) != 0x80) {
      if (n == ci) return i;
      ++n;
    }
  }
  return s.size();
}

std::vector<std::string> utf8_chars(const std::string& s) {
  std::vector<std::string> out;
  for (size_t i = 0; i < s.size();) {
    size_t j = i + 1;
    while (j < s.size() && ((unsigned char)s[j] & 0xC0) == 0x80) ++j;
    out.push_back(s.substr(i, j - i));
    i = j;
  }
  return out;
}

uint32_t decode_cp(const std::string& ch) {
  unsigned char c = (unsigned char)ch[0];
  if (c < 0x80 || ch.size() == 1) return c;
  uint32_t cp = c & (ch.size() == 2 ? 0x1F : ch.size() == 3 ? 0x0F : 0x07);
  for (size_t i = 1; i < ch.size(); ++i) cp = (cp << 6) | ((unsigned char)ch[i] & 0x3F);
  return cp;
}

std::string encode_cp(uint32_t cp) {
  std::string s;
  if (cp < 0x80) s += (char)cp;
  else if (cp < 0x800) {
    s += (char)(0xC0 | (cp >> 6));
    s += (char)(0x80 | (cp & 0x3F));
  } else if (cp < 0x10000) {
    s += (char)(0xE0 | (cp >> 12));
    s += (char)(0x80 | ((cp >> 6) & 0x3F));
    s += (char)(0x80 | (cp & 0x3F));
  } else {
    s += (char)(0xF0 | (cp >> 18));
    s += (char)(0x80 | ((cp >> 12) & 0x3F));
    s += (char)(0x80 | ((cp >> 6) & 0x3F));
    s += (char)(0x80 | (cp & 0x3F));
  }
  return s;
}

// Case mapping for ASCII, Latin-1, Latin Extended-A, Greek and Cyrillic.
uint32_t cp_upper(uint32_t c) {
  if (c >= 'a' && c <= 'z') return c - 32;
  if (c < 0x80) return c;
  if ((c >= 0xE0 && c <= 0xFE && c != 0xF7)) return c - 32;
  if (c == 0xFF) return 0x178;
  if (c >= 0x100 && c <= 0x17F && c != 0x130 && c != 0x131 && c != 0x138 && c != 0x149) {
    bool odd_is_lower = !((c >= 0x139 && c <= 0x148) || (c >= 0x179 && c <= 0x17E));
    if (odd_is_lower ? (c & 1) : !(c & 1)) return c - 1;
    return c;
  }
  if (c >= 0x3B1 && c <= 0x3C9 && c != 0x3C2) return c - 32;
  if (c >= 0x430 && c <= 0x44F) return c - 32;
  if (c >= 0x450 && c <= 0x45F) return c - 80;
  return c;
}

uint32_t cp_lower(uint32_t c) {
  if (c >= 'A' && c <= 'Z') return c + 32;
  if (c < 0x80) return c;
  if (c >= 0xC0 && c <= 0xDE && c != 0xD7) return c + 32;
  if (c == 0x178) return 0xFF;
  if (c >= 0x100 && c <= 0x17F && c != 0x130 && c != 0x131 && c != 0x138 && c != 0x149) {
    bool odd_is_lower = !((c >= 0x139 && c <= 0x148) || (c >= 0x179 && c <= 0x17E));
    if (odd_is_lower ? !(c & 1) : (c & 1)) return c + 1;
    return c;
  }
  if (c >= 0x391 && c <= 0x3A9 && c != 0x3A2) return c + 32;
  if (c >= 0x410 && c <= 0x42F) return c + 32;
  if (c >= 0x400 && c <= 0x40F) return c + 80;
  return c;
}

std::string map_case(const std::string& s, int mode) {  // 0 upper, 1 lower, 2 initcap
  std::string out;
  out.reserve(s.size());
  bool word_start = true;
  for (const std::string& ch : utf8_chars(s)) {
    uint32_t cp = decode_cp(ch);
    bool alnum = (cp < 0x80) ? std::isalnum((int)cp) != 0 : true;
    uint32_t m = mode == 0 ? cp_upper(cp) : mode == 1 ? cp_lower(cp) : (word_start ? cp_upper(cp) : cp_lower(cp));
    word_start = !alnum;
    out += (m == cp) ? ch : encode_cp(m);
  }
  return out;
}

// Oracle comparison of two non-NULL values; numbers when the first is one.
int compare_values(sqlite3_context* ctx, sqlite3_value* a, sqlite3_value* b, bool* ok) {
  *ok = true;
  int ta = sqlite3_value_type(a);
  if (ta == SQLITE_INTEGER || ta == SQLITE_FLOAT) {
    Num x, y;
    if (!num_arg(ctx, a, &x) || !num_arg(ctx, b, &y)) {
      *ok = false;
      return 0;
    }
    if (x.is_int && y.is_int) return x.i < y.i ? -1 : x.i > y.i;
    double dx = x.as_double(), dy = y.as_double();
    return dx < dy ? -1 : dx > dy;
  }
  if (ta == SQLITE_TEXT && (sqlite3_value_type(b) == SQLITE_INTEGER || sqlite3_value_type(b) == SQLITE_FLOAT)) {
    // text against a number: Oracle converts the text
    Num x, y;
    if (!num_arg(ctx, a, &x) || !num_arg(ctx, b, &y)) {
      *ok = false;
      return 0;
    }
    double dx = x.as_double(), dy = y.as_double();
    return dx < dy ? -1 : dx > dy;
  }
  std::string x = text_of(a), y = text_of(b);
  int c = x.compare(y);
  return c < 0 ? -1 : c > 0;
}

// ---------------------------------------------------------- arithmetic

bool add_overflow(int64_t a, int64_t b, int64_t* r) { return __builtin_add_overflow(a, b, r); }
bool sub_overflow(int64_t a, int64_t b, int64_t* r) { return __builtin_sub_overflow(a, b, r); }
bool mul_overflow(int64_t a, int64_t b, int64_t* r) { return __builtin_mul_overflow(a, b, r); }

Instant add_days(Instant in, double days) {
  int64_t secs = (int64_t)std::llround(days * 86400.0);
  in.secs += secs;
  in.nanos = 0;  // the result is a DATE
  return in;
}

// Two integers whose exact result left 64 bits: a double keeps it only when it
// has at most 15 significant digits; otherwise it is refused, never rounded.
void result_wide(sqlite3_context* ctx, __int128 r) {
  unsigned __int128 u = r < 0 ? -static_cast<unsigned __int128>(r) : static_cast<unsigned __int128>(r);
  std::string digits;
  do {
    digits.insert(digits.begin(), static_cast<char>('0' + static_cast<int>(u % 10)));
    u /= 10;
  } while (u);
  if (r < 0) digits.insert(digits.begin(), '-');
  if (!dl_number_exact(digits.data(), digits.size()))
    return sqlite3_result_error(ctx, ("ORA-03001: " + dl_number_inexact_message(digits)).c_str(), -1);
  sqlite3_result_double(ctx, static_cast<double>(r));
}

void fn_add(sqlite3_context* ctx, int, sqlite3_value** v) {
  if (is_null(v[0]) || is_null(v[1])) return sqlite3_result_null(ctx);
  DlDateTime da, db;
  bool ts;
  bool a_dt = is_datetime_text(v[0], &da, &ts), b_dt = is_datetime_text(v[1], &db, &ts);
  if (a_dt && b_dt) return raise(ctx, 975);
  if (a_dt || b_dt) {
    Num n;
    if (!num_arg(ctx, v[a_dt ? 1 : 0], &n)) return;
    return result_instant(ctx, add_days(dl::to_instant(a_dt ? da : db), n.as_double()), false);
  }
  Num a, b;
  if (!num_arg(ctx, v[0], &a) || !num_arg(ctx, v[1], &b)) return;
  int64_t r;
  if (a.is_int && b.is_int)
    return add_overflow(a.i, b.i, &r) ? result_wide(ctx, static_cast<__int128>(a.i) + b.i) : sqlite3_result_int64(ctx, r);
  result_double(ctx, a.as_double() + b.as_double());
}

void fn_sub(sqlite3_context* ctx, int, sqlite3_value** v) {
  if (is_null(v[0]) || is_null(v[1])) return sqlite3_result_null(ctx);
  DlDateTime da, db;
  bool ts;
  bool a_dt = is_datetime_text(v[0], &da, &ts), b_dt = is_datetime_text(v[1], &db, &ts);
  if (a_dt && b_dt) {
    Instant x = dl::to_instant(da), y = dl::to_instant(db);
    double secs = (double)(x.secs - y.secs) + (x.nanos - y.nanos) / 1e9;
    return result_double(ctx, secs / 86400.0);
  }
  if (a_dt) {
    Num n;
    if (!num_arg(ctx, v[1], &n)) return;
    return result_instant(ctx, add_days(dl::to_instant(da), -n.as_double()), false);
  }
  if (b_dt) return raise(ctx, 932, "expected NUMBER got DATE");
  Num a, b;
  if (!num_arg(ctx, v[0], &a) || !num_arg(ctx, v[1], &b)) return;
  int64_t r;
  if (a.is_int && b.is_int)
    return sub_overflow(a.i, b.i, &r) ? result_wide(ctx, static_cast<__int128>(a.i) - b.i) : sqlite3_result_int64(ctx, r);
  result_double(ctx, a.as_double() - b.as_double());
}

bool no_dates(sqlite3_context* ctx, sqlite3_value** v, int n) {
  DlDateTime d;
  bool ts;
  for (int i = 0; i < n; ++i) {
    if (is_datetime_text(v[i], &d, &ts)) {
      raise(ctx, 932, "expected NUMBER got DATE");
      return false;
    }
  }
  return true;
}

void fn_mul(sqlite3_context* ctx, int, sqlite3_value** v) {
  if (is_null(v[0]) || is_null(v[1])) return sqlite3_result_null(ctx);
  if (!no_dates(ctx, v, 2)) return;
  Num a, b;
  if (!num_arg(ctx, v[0], &a) || !num_arg(ctx, v[1], &b)) return;
  int64_t r;
  if (a.is_int && b.is_int)
    return mul_overflow(a.i, b.i, &r) ? result_wide(ctx, static_cast<__int128>(a.i) * b.i) : sqlite3_result_int64(ctx, r);
  result_double(ctx, a.as_double() * b.as_double());
}

void fn_div(sqlite3_context* ctx, int, sqlite3_value** v) {
  if (is_null(v[0]) || is_null(v[1])) return sqlite3_result_null(ctx);
  if (!no_dates(ctx, v, 2)) return;
  Num a, b;
  if (!num_arg(ctx, v[0], &a) || !num_arg(ctx, v[1], &b)) return;
  if (b.as_double() == 0) return raise(ctx, 1476);
  if (a.is_int && b.is_int && b.i != -1 && a.i % b.i == 0) return sqlite3_result_int64(ctx, a.i / b.i);
  result_double(ctx, a.as_double() / b.as_double());
}

void fn_neg(sqlite3_context* ctx, int, sqlite3_value** v) {
  if (is_null(v[0])) return sqlite3_result_null(ctx);
  if (!no_dates(ctx, v, 1)) return;
  Num a;
  if (!num_arg(ctx, v[0], &a)) return;
  if (a.is_int)
    return a.i == std::numeric_limits<int64_t>::min() ? result_wide(ctx, -static_cast<__int128>(a.i))
                                                      : sqlite3_result_int64(ctx, -a.i);
  result_double(ctx, -a.as_double());
}

void fn_concat(sqlite3_context* ctx, int n, sqlite3_value** v) {
  std::string s;
  for (int i = 0; i < n; ++i)
    if (!is_null(v[i])) s += text_of(v[i]);
  result_text(ctx, s);
}

// ------------------------------------------------------------- numbers

template <double (*F)(double)>
void fn_math1(sqlite3_context* ctx, int, sqlite3_value** v) {
  if (is_null(v[0])) return sqlite3_result_null(ctx);
  Num a;
  if (!num_arg(ctx, v[0], &a)) return;
  result_double(ctx, F(a.as_double()));
}

double d_atan(double x) { return std::atan(x); }
double d_cos(double x) { return std::cos(x); }
double d_cosh(double x) { return std::cosh(x); }
double d_sin(double x) { return std::sin(x); }
double d_sinh(double x) { return std::sinh(x); }
double d_tan(double x) { return std::tan(x); }
double d_tanh(double x) { return std::tanh(x); }
double d_exp(double x) { return std::exp(x); }
double d_cot(double x) { return 1.0 / std::tan(x); }
double d_degrees(double x) { return x * 180.0 / M_PI; }
double d_radians(double x) { return x * M_PI / 180.0; }

void fn_acos_asin(sqlite3_context* ctx, int, sqlite3_value** v, bool is_acos) {
  if (is_null(v[0])) return sqlite3_result_null(ctx);
  Num a;
  if (!num_arg(ctx, v[0], &a)) return;
  double x = a.as_double();
  if (x < -1 || x > 1) return raise(ctx, 1428, text_of(v[0]).c_str());
  result_double(ctx, is_acos ? std::acos(x) : std::asin(x));
}
void fn_acos(sqlite3_context* c, int n, sqlite3_value** v) { fn_acos_asin(c, n, v, true); }
void fn_asin(sqlite3_context* c, int n, sqlite3_value** v) { fn_acos_asin(c, n, v, false); }

void fn_abs(sqlite3_context* ctx, int, sqlite3_value** v) {
  if (is_null(v[0])) return sqlite3_result_null(ctx);
  Num a;
  if (!num_arg(ctx, v[0], &a)) return;
  if (a.is_int && a.i != std::numeric_limits<int64_t>::min()) return sqlite3_result_int64(ctx, a.i < 0 ? -a.i : a.i);
  result_double(ctx, std::fabs(a.as_double()));
}

void fn_sign(sqlite3_context* ctx, int, sqlite3_value** v) {
  if (is_null(v[0])) return sqlite3_result_null(ctx);
  Num a;
  if (!num_arg(ctx, v[0], &a)) return;
  double x = a.as_double();
  sqlite3_result_int(ctx, x > 0 ? 1 : x < 0 ? -1 : 0);
}

void fn_ceil(sqlite3_context* ctx, int, sqlite3_value** v) {
  if (is_null(v[0])) return sqlite3_result_null(ctx);
  Num a;
  if (!num_arg(ctx, v[0], &a)) return;
  if (a.is_int) return sqlite3_result_int64(ctx, a.i);
  result_double(ctx, std::ceil(dl::round_decimal(a.d, 14, false)));
}

void fn_floor(sqlite3_context* ctx, int, sqlite3_value** v) {
  if (is_null(v[0])) return sqlite3_result_null(ctx);
  Num a;
  if (!num_arg(ctx, v[0], &a)) return;
  if (a.is_int) return sqlite3_result_int64(ctx, a.i);
  result_double(ctx, std::floor(dl::round_decimal(a.d, 14, false)));
}

void fn_ln(sqlite3_context* ctx, int, sqlite3_value** v) {
  if (is_null(v[0])) return sqlite3_result_null(ctx);
  Num a;
  if (!num_arg(ctx, v[0], &a)) return;
  if (a.as_double() <= 0) return raise(ctx, 1428, text_of(v[0]).c_str());
  result_double(ctx, std::log(a.as_double()));
}

void fn_log(sqlite3_context* ctx, int, sqlite3_value** v) {
  if (is_null(v[0]) || is_null(v[1])) return sqlite3_result_null(ctx);
  Num b, x;
  if (!num_arg(ctx, v[0], &b) || !num_arg(ctx, v[1], &x)) return;
  if (b.as_double() <= 0 || b.as_double() == 1) return raise(ctx, 1428, text_of(v[0]).c_str());
  if (x.as_double() <= 0) return raise(ctx, 1428, text_of(v[1]).c_str());
  result_double(ctx, std::log(x.as_double()) / std::log(b.as_double()));
}

void fn_sqrt(sqlite3_context* ctx, int, sqlite3_value** v) {
  if (is_null(v[0])) return sqlite3_result_null(ctx);
  Num a;
  if (!num_arg(ctx, v[0], &a)) return;
  if (a.as_double() < 0) return raise(ctx, 1428, text_of(v[0]).c_str());
  result_double(ctx, std::sqrt(a.as_double()));
}

void fn_power(sqlite3_context* ctx, int, sqlite3_value** v) {
  if (is_null(v[0]) || is_null(v[1])) return sqlite3_result_null(ctx);
  Num a, b;
  if (!num_arg(ctx, v[0], &a) || !num_arg(ctx, v[1], &b)) return;
  if (a.as_double() < 0 && !(b.is_int || b.d == std::trunc(b.d))) return raise(ctx, 1428, text_of(v[1]).c_str());
  if (a.is_int && b.is_int && b.i >= 0 && b.i < 64) {
    int64_t r = 1;
    bool ovf = false;
    for (int64_t k = 0; k < b.i && !ovf; ++k) ovf = mul_overflow(r, a.i, &r);
    if (!ovf) return sqlite3_result_int64(ctx, r);
  }
  result_double(ctx, std::pow(a.as_double(), b.as_double()));
}

void fn_atan2(sqlite3_context* ctx, int, sqlite3_value** v) {
  if (is_null(v[0]) || is_null(v[1])) return sqlite3_result_null(ctx);
  Num a, b;
  if (!num_arg(ctx, v[0], &a) || !num_arg(ctx, v[1], &b)) return;
  result_double(ctx, std::atan2(a.as_double(), b.as_double()));
}

// MOD: sign of the dividend, MOD(m, 0) = m. REMAINDER: rounds the quotient.
void fn_mod(sqlite3_context* ctx, int, sqlite3_value** v) {
  if (is_null(v[0]) || is_null(v[1])) return sqlite3_result_null(ctx);
  Num a, b;
  if (!num_arg(ctx, v[0], &a) || !num_arg(ctx, v[1], &b)) return;
  if (b.as_double() == 0) return result_num(ctx, a);
  if (a.is_int && b.is_int) {
    if (b.i == -1) return sqlite3_result_int64(ctx, 0);
    return sqlite3_result_int64(ctx, a.i % b.i);
  }
  double x = a.as_double(), y = b.as_double();
  result_double(ctx, x - y * std::trunc(dl::round_decimal(x / y, 12, false)));
}

void fn_remainder(sqlite3_context* ctx, int, sqlite3_value** v) {
  if (is_null(v[0]) || is_null(v[1])) return sqlite3_result_null(ctx);
  Num a, b;
  if (!num_arg(ctx, v[0], &a) || !num_arg(ctx, v[1], &b)) return;
  if (b.as_double() == 0) return raise(ctx, 1476);
  double x = a.as_double(), y = b.as_double();
  double q = dl::round_decimal(x / y, 0, false);
  // Oracle rounds a half quotient to even for REMAINDER
  double t = x / y;
  if (std::fabs(t - std::trunc(t)) == 0.5) q = 2 * std::round(t / 2);
  result_double(ctx, x - y * q);
}

void fn_bitand(sqlite3_context* ctx, int, sqlite3_value** v) {
  if (is_null(v[0]) || is_null(v[1])) return sqlite3_result_null(ctx);
  Num a, b;
  if (!num_arg(ctx, v[0], &a) || !num_arg(ctx, v[1], &b)) return;
  int64_t x = a.is_int ? a.i : (int64_t)std::trunc(a.d);
  int64_t y = b.is_int ? b.i : (int64_t)std::trunc(b.d);
  sqlite3_result_int64(ctx, x & y);
}

// 10^n exactly as std::pow gives it, from a table for the exponents a
// NUMBER's precision and scale can make: the column checks run per value.
double ten_to(int n) {
  constexpr int kMax = 130;
  static const std::array<double, 2 * kMax + 1> table = [] {
    std::array<double, 2 * kMax + 1> t{};
    for (int i = -kMax; i <= kMax; ++i) t[(size_t)(i + kMax)] = std::pow(10.0, i);
    return t;
  }();
  if (n < -kMax || n > kMax) return std::pow(10.0, n);
  return table[(size_t)(n + kMax)];
}

// Whether a whole number has fewer than `digits` digits before the point,
// counted exactly: in a double 999999999999999999 is 1E18 and would not
// fit NUMBER(18).
bool whole_fits(int64_t i, int digits) {
  if (digits > 18) return true;  // every 64-bit integer is below 10^19
  if (digits <= 0) return i == 0;
  uint64_t limit = 1;
  for (int k = 0; k < digits; ++k) limit *= 10;
  const uint64_t mag = i < 0 ? 0 - static_cast<uint64_t>(i) : static_cast<uint64_t>(i);
  return mag < limit;
}

int64_t ipow10(int n) {
  int64_t r = 1;
  while (n-- > 0) r *= 10;
  return r;
}

void round_trunc_number(sqlite3_context* ctx, const Num& a, int places, bool trunc) {
  if (a.is_int) {
    if (places >= 0) return sqlite3_result_int64(ctx, a.i);
    if (places < -18) return sqlite3_result_int64(ctx, 0);
    int64_t p = ipow10(-places);
    int64_t q = a.i / p, r = a.i % p;
    if (!trunc && std::llabs(r) * 2 >= p) q += a.i < 0 ? -1 : 1;
    int64_t res;
    if (mul_overflow(q, p, &res)) return result_double(ctx, (double)q * (double)p);
    return sqlite3_result_int64(ctx, res);
  }
  result_double(ctx, dl::round_decimal(a.d, places, trunc));
}

// ROUND/TRUNC of a date to a format unit.
int round_trunc_date(DlDateTime dt, const std::string& fmt_in, bool trunc, DlDateTime* out) {
  std::string f;
  for (char c : fmt_in) f += (char)std::toupper((unsigned char)c);
  Instant in = dl::to_instant(dt);
  int64_t days = in.secs / 86400;
  int64_t sod = in.secs % 86400;
  DlDateTime r = dt;
  r.nanos = 0;
  auto start_of_day = [&](int64_t d) {
    DlDateTime x;
    dl::civil_from_days(d, &x.year, &x.month, &x.day);
    return x;
  };
  if (f == "SYYYY" || f == "YYYY" || f == "YEAR" || f == "SYEAR" || f == "YYY" || f == "YY" || f == "Y") {
    r = DlDateTime{};
    r.year = dt.year + (!trunc && dt.month >= 7 ? 1 : 0);
    r.month = 1;
    r.day = 1;
  } else if (f == "CC" || f == "SCC") {
    int c0 = (dt.year - 1) / 100 * 100 + 1;
    r = DlDateTime{};
    r.year = c0 + (!trunc && dt.year - c0 >= 50 ? 100 : 0);
    r.month = 1;
    r.day = 1;
  } else if (f == "Q") {
    int q0 = (dt.month - 1) / 3 * 3 + 1;
    r = DlDateTime{};
    r.year = dt.year;
    r.month = q0;
    r.day = 1;
    if (!trunc && (dt.month > q0 + 1 || (dt.month == q0 + 1 && dt.day >= 16))) {
      r.month += 3;
      if (r.month > 12) { r.month -= 12; r.year++; }
    }
  } else if (f == "MONTH" || f == "MON" || f == "MM" || f == "RM") {
    r = DlDateTime{};
    r.year = dt.year;
    r.month = dt.month;
    r.day = 1;
    if (!trunc && dt.day >= 16) {
      if (++r.month > 12) { r.month = 1; r.year++; }
    }
  } else if (f == "DDD" || f == "DD" || f == "J") {
    r = start_of_day(days + (!trunc && sod >= 43200 ? 1 : 0));
  } else if (f == "DAY" || f == "DY" || f == "D") {
    // week starting on Sunday
    int wd = (int)((days + 1) % 7);
    int64_t start = days - wd;
    if (!trunc && (wd > 3 || (wd == 3 && sod >= 43200))) start += 7;
    r = start_of_day(start);
  } else if (f == "IW") {
    int wd = (int)(days % 7);  // Monday = 0
    int64_t start = days - wd;
    if (!trunc && (wd > 3 || (wd == 3 && sod >= 43200))) start += 7;
    r = start_of_day(start);
  } else if (f == "WW") {
    int64_t jan1 = dl::days_from_civil(dt.year, 1, 1);
    int64_t start = days - (days - jan1) % 7;
    if (!trunc && (days - start) * 86400 + sod >= 7 * 43200) start += 7;
    r = start_of_day(start);
  } else if (f == "W") {
    int64_t m1 = dl::days_from_civil(dt.year, dt.month, 1);
    int64_t start = days - (days - m1) % 7;
    if (!trunc && (days - start) * 86400 + sod >= 7 * 43200) start += 7;
    r = start_of_day(start);
  } else if (f == "HH" || f == "HH12" || f == "HH24") {
    int64_t s = in.secs / 3600 * 3600 + (!trunc && in.secs % 3600 >= 1800 ? 3600 : 0);
    r = dl::from_instant(Instant{s, 0});
  } else if (f == "MI") {
    int64_t s = in.secs / 60 * 60 + (!trunc && in.secs % 60 >= 30 ? 60 : 0);
    r = dl::from_instant(Instant{s, 0});
  } else {
    return 1821;  // date format not recognized
  }
  *out = r;
  return 0;
}

void round_trunc(sqlite3_context* ctx, int n, sqlite3_value** v, bool trunc) {
  if (is_null(v[0]) || (n > 1 && is_null(v[1]))) return sqlite3_result_null(ctx);
  DlDateTime dt;
  bool ts;
  if (is_datetime_text(v[0], &dt, &ts)) {
    std::string f = n > 1 ? text_of(v[1]) : "DD";
    DlDateTime r;
    if (int rc = round_trunc_date(dt, f, trunc, &r)) return raise(ctx, rc);
    return result_datetime(ctx, r, false);
  }
  Num a;
  if (!num_arg(ctx, v[0], &a)) return;
  int places = 0;
  if (n > 1) {
    Num p;
    if (!num_arg(ctx, v[1], &p)) return;
    places = p.is_int ? (int)std::max<int64_t>(-1000, std::min<int64_t>(1000, p.i)) : (int)std::trunc(p.d);
  }
  round_trunc_number(ctx, a, places, trunc);
}
void fn_round(sqlite3_context* c, int n, sqlite3_value** v) { round_trunc(c, n, v, false); }
void fn_trunc(sqlite3_context* c, int n, sqlite3_value** v) { round_trunc(c, n, v, true); }

// ------------------------------------------------------------- strings

bool int_arg(sqlite3_context* ctx, sqlite3_value* v, int64_t* out) {
  Num n;
  if (!num_arg(ctx, v, &n)) return false;
  *out = n.is_int ? n.i : (int64_t)std::trunc(n.d);
  return true;
}

void fn_length(sqlite3_context* ctx, int, sqlite3_value** v) {
  if (is_null(v[0])) return sqlite3_result_null(ctx);
  if (sqlite3_value_type(v[0]) == SQLITE_BLOB) return sqlite3_result_int(ctx, sqlite3_value_bytes(v[0]));
  sqlite3_result_int64(ctx, (int64_t)utf8_len(text_of(v[0])));
}

void fn_lengthb(sqlite3_context* ctx, int, sqlite3_value** v) {
  if (is_null(v[0])) return sqlite3_result_null(ctx);
  if (sqlite3_value_type(v[0]) == SQLITE_BLOB) return sqlite3_result_int(ctx, sqlite3_value_bytes(v[0]));
  sqlite3_result_int64(ctx, (int64_t)text_of(v[0]).size());
}

void fn_vsize(sqlite3_context* ctx, int, sqlite3_value** v) {
  if (is_null(v[0])) return sqlite3_result_null(ctx);
  switch (sqlite3_value_type(v[0])) {
    case SQLITE_INTEGER:
    case SQLITE_FLOAT: {
      // bytes of Oracle's NUMBER form: exponent byte + base-100 digit pairs
      std::string t = text_of(v[0]);
      std::string digits;
      for (char c : t)
        if (std::isdigit((unsigned char)c)) digits += c;
      size_t a = digits.find_first_not_of('0');
      if (a == std::string::npos) return sqlite3_result_int(ctx, 1);
      size_t b = digits.find_last_not_of('0');
      int pairs = (int)((b - a + 2) / 2) + 1;
      return sqlite3_result_int(ctx, pairs + (t[0] == '-' ? 1 : 0));
    }
    case SQLITE_TEXT: {
      DlDateTime dt;
      bool ts;
      if (is_datetime_text(v[0], &dt, &ts)) return sqlite3_result_int(ctx, ts ? 11 : 7);
      return sqlite3_result_int(ctx, sqlite3_value_bytes(v[0]));
    }
    default:
      return sqlite3_result_int(ctx, sqlite3_value_bytes(v[0]));
  }
}

// INSTR(s, sub, pos, occurrence), by characters or bytes
void instr(sqlite3_context* ctx, int n, sqlite3_value** v, bool bytes) {
  for (int i = 0; i < n; ++i)
    if (is_null(v[i])) return sqlite3_result_null(ctx);
  std::string s = text_of(v[0]), sub = text_of(v[1]);
  int64_t pos = 1, occ = 1;
  if (n > 2 && !int_arg(ctx, v[2], &pos)) return;
  if (n > 3 && !int_arg(ctx, v[3], &occ)) return;
  if (occ <= 0) return raise(ctx, 1428, std::to_string(occ).c_str());
  if (pos == 0) return sqlite3_result_int(ctx, 0);
  // work on bytes; convert positions for character semantics
  auto char_index = [&](size_t byte_off) -> int64_t {
    return bytes ? (int64_t)byte_off + 1 : (int64_t)utf8_len(s.substr(0, byte_off)) + 1;
  };
  size_t len_units = bytes ? s.size() : utf8_len(s);
  if (pos > 0) {
    if ((size_t)pos > len_units) return sqlite3_result_int(ctx, 0);
    size_t from = bytes ? (size_t)pos - 1 : utf8_off(s, (size_t)pos - 1);
    for (;;) {
      size_t f = s.find(sub, from);
      if (f == std::string::npos) return sqlite3_result_int(ctx, 0);
      if (--occ == 0) return sqlite3_result_int64(ctx, char_index(f));
      from = f + 1;
    }
  }
  // negative: search backwards from position len + pos + 1
  int64_t start_unit = (int64_t)len_units + pos;  // 0-based unit index where a match may start
  if (start_unit < 0) return sqlite3_result_int(ctx, 0);
  size_t from = bytes ? (size_t)start_unit : utf8_off(s, (size_t)start_unit);
  for (;;) {
    size_t f = s.rfind(sub, from);
    if (f == std::string::npos) return sqlite3_result_int(ctx, 0);
    if (--occ == 0) return sqlite3_result_int64(ctx, char_index(f));
    if (f == 0) return sqlite3_result_int(ctx, 0);
    from = f - 1;
  }
}
void fn_instr(sqlite3_context* c, int n, sqlite3_value** v) { instr(c, n, v, false); }
void fn_instrb(sqlite3_context* c, int n, sqlite3_value** v) { instr(c, n, v, true); }

void substr(sqlite3_context* ctx, int n, sqlite3_value** v, bool bytes) {
  for (int i = 0; i < n; ++i)
    if (is_null(v[i])) return sqlite3_result_null(ctx);
  bool blob = sqlite3_value_type(v[0]) == SQLITE_BLOB;
  std::string s = blob ? std::string((const char*)sqlite3_value_blob(v[0]), (size_t)sqlite3_value_bytes(v[0]))
                       : text_of(v[0]);
  int64_t pos, len = -1;
  if (!int_arg(ctx, v[1], &pos)) return;
  if (n > 2) {
    if (!int_arg(ctx, v[2], &len)) return;
    if (len < 1) return sqlite3_result_null(ctx);
  }
  bool by_bytes = bytes || blob;
  int64_t units = by_bytes ? (int64_t)s.size() : (int64_t)utf8_len(s);
  if (pos == 0) pos = 1;
  if (pos < 0) pos = units + pos + 1;
  if (pos < 1 || pos > units) return sqlite3_result_null(ctx);
  int64_t end = len < 0 ? units : std::min(units, pos - 1 + len);
  size_t b0 = by_bytes ? (size_t)pos - 1 : utf8_off(s, (size_t)pos - 1);
  size_t b1 = by_bytes ? (size_t)end : utf8_off(s, (size_t)end);
  if (blob) {
    if (b1 <= b0) return sqlite3_result_null(ctx);
    return sqlite3_result_blob(ctx, s.data() + b0, (int)(b1 - b0), SQLITE_TRANSIENT);
  }
  result_text(ctx, s.substr(b0, b1 - b0));
}
void fn_substr(sqlite3_context* c, int n, sqlite3_value** v) { substr(c, n, v, false); }
void fn_substrb(sqlite3_context* c, int n, sqlite3_value** v) { substr(c, n, v, true); }

void fn_upper(sqlite3_context* ctx, int, sqlite3_value** v) {
  if (is_null(v[0])) return sqlite3_result_null(ctx);
  result_text(ctx, map_case(text_of(v[0]), 0));
}
void fn_lower(sqlite3_context* ctx, int, sqlite3_value** v) {
  if (is_null(v[0])) return sqlite3_result_null(ctx);
  result_text(ctx, map_case(text_of(v[0]), 1));
}
void fn_initcap(sqlite3_context* ctx, int, sqlite3_value** v) {
  if (is_null(v[0])) return sqlite3_result_null(ctx);
  result_text(ctx, map_case(text_of(v[0]), 2));
}

void pad(sqlite3_context* ctx, int n, sqlite3_value** v, bool left) {
  for (int i = 0; i < n; ++i)
    if (is_null(v[i])) return sqlite3_result_null(ctx);
  std::string s = text_of(v[0]);
  int64_t width;
  if (!int_arg(ctx, v[1], &width)) return;
  std::string p = n > 2 ? text_of(v[2]) : " ";
  if (width < 1 || p.empty()) return sqlite3_result_null(ctx);
  if (width > 32767) width = 32767;
  size_t len = utf8_len(s);
  if ((int64_t)len >= width) return result_text(ctx, s.substr(0, utf8_off(s, (size_t)width)));
  std::vector<std::string> pc = utf8_chars(p);
  std::string fill;
  for (int64_t k = 0; k < width - (int64_t)len; ++k) fill += pc[(size_t)k % pc.size()];
  result_text(ctx, left ? fill + s : s + fill);
}
void fn_lpad(sqlite3_context* c, int n, sqlite3_value** v) { pad(c, n, v, true); }
void fn_rpad(sqlite3_context* c, int n, sqlite3_value** v) { pad(c, n, v, false); }

std::string trim_set(const std::string& s, const std::string& set, bool left, bool right) {
  std::vector<std::string> chars = utf8_chars(s);
  std::vector<std::string> st = utf8_chars(set);
  auto in_set = [&](const std::string& c) { return std::find(st.begin(), st.end(), c) != st.end(); };
  size_t a = 0, b = chars.size();
  if (left)
    while (a < b && in_set(chars[a])) ++a;
  if (right)
    while (b > a && in_set(chars[b - 1])) --b;
  std::string r;
  for (size_t i = a; i < b; ++i) r += chars[i];
  return r;
}

void fn_ltrim(sqlite3_context* ctx, int n, sqlite3_value** v) {
  if (is_null(v[0]) || (n > 1 && is_null(v[1]))) return sqlite3_result_null(ctx);
  result_text(ctx, trim_set(text_of(v[0]), n > 1 ? text_of(v[1]) : " ", true, false));
}
void fn_rtrim(sqlite3_context* ctx, int n, sqlite3_value** v) {
  if (is_null(v[0]) || (n > 1 && is_null(v[1]))) return sqlite3_result_null(ctx);
  result_text(ctx, trim_set(text_of(v[0]), n > 1 ? text_of(v[1]) : " ", false, true));
}
// ORA_TRIM(mode, char, s): mode 0 both, 1 leading, 2 trailing
void fn_trim(sqlite3_context* ctx, int, sqlite3_value** v) {
  if (is_null(v[1]) || is_null(v[2])) return sqlite3_result_null(ctx);
  std::string c = text_of(v[1]);
  if (utf8_len(c) != 1) return raise(ctx, 30001);
  int mode = sqlite3_value_int(v[0]);
  result_text(ctx, trim_set(text_of(v[2]), c, mode != 2, mode != 1));
}

void fn_replace(sqlite3_context* ctx, int n, sqlite3_value** v) {
  if (is_null(v[0])) return sqlite3_result_null(ctx);
  std::string s = text_of(v[0]);
  if (is_null(v[1])) return result_text(ctx, s);
  std::string from = text_of(v[1]);
  std::string to = (n > 2 && !is_null(v[2])) ? text_of(v[2]) : std::string();
  std::string r;
  size_t i = 0;
  for (;;) {
    size_t f = s.find(from, i);
    if (f == std::string::npos) break;
    r.append(s, i, f - i);
    r += to;
    i = f + from.size();
  }
  r.append(s, i, std::string::npos);
  result_text(ctx, r);
}

void fn_translate(sqlite3_context* ctx, int, sqlite3_value** v) {
  if (is_null(v[0]) || is_null(v[1]) || is_null(v[2])) return sqlite3_result_null(ctx);
  std::vector<std::string> from = utf8_chars(text_of(v[1])), to = utf8_chars(text_of(v[2]));
  std::string r;
  for (const std::string& c : utf8_chars(text_of(v[0]))) {
    auto it = std::find(from.begin(), from.end(), c);
    if (it == from.end()) {
      r += c;
    } else {
      size_t k = (size_t)(it - from.begin());
      if (k < to.size()) r += to[k];
    }
  }
  result_text(ctx, r);
}

void fn_chr(sqlite3_context* ctx, int, sqlite3_value** v) {
  if (is_null(v[0])) return sqlite3_result_null(ctx);
  int64_t n;
  if (!int_arg(ctx, v[0], &n)) return;
  if (n < 0 || n > 0xFFFFFFFFLL) return raise(ctx, 1428, std::to_string(n).c_str());
  // the character whose encoding in the database character set (UTF-8) is n
  std::string s;
  uint32_t u = (uint32_t)n;
  bool started = false;
  for (int shift = 24; shift >= 0; shift -= 8) {
    unsigned char b = (unsigned char)(u >> shift);
    if (b || started || shift == 0) {
      s += (char)b;
      started = true;
    }
  }
  sqlite3_result_text(ctx, s.data(), (int)s.size(), SQLITE_TRANSIENT);
}

void fn_ascii(sqlite3_context* ctx, int, sqlite3_value** v) {
  if (is_null(v[0])) return sqlite3_result_null(ctx);
  std::string s = text_of(v[0]);
  std::vector<std::string> c = utf8_chars(s);
  if (c.empty()) return sqlite3_result_null(ctx);
  uint32_t r = 0;
  for (unsigned char b : c[0]) r = (r << 8) | b;
  sqlite3_result_int64(ctx, r);
}

void fn_soundex(sqlite3_context* ctx, int, sqlite3_value** v) {
  if (is_null(v[0])) return sqlite3_result_null(ctx);
  std::string s = text_of(v[0]);
  static const char codes[] = "01230120022455012623010202";  // A..Z
  std::string r;
  char last = 0;
  for (char ch : s) {
    unsigned char c = (unsigned char)std::toupper((unsigned char)ch);
    if (c < 'A' || c > 'Z') continue;
    char code = codes[c - 'A'];
    if (r.empty()) {
      r += (char)c;
      last = code;
      continue;
    }
    if (c == 'H' || c == 'W') continue;
    if (code != '0' && code != last) r += code;
    last = code;
    if (r.size() == 4) break;
  }
  if (r.empty()) return sqlite3_result_null(ctx);
  r.resize(4, '0');
  result_text(ctx, r);
}

void fn_rawtohex(sqlite3_context* ctx, int, sqlite3_value** v) {
  if (is_null(v[0])) return sqlite3_result_null(ctx);
  if (sqlite3_value_type(v[0]) == SQLITE_BLOB) return result_text(ctx, text_of(v[0]));
  // character data converts to RAW byte for byte
  std::string s = text_of(v[0]);
  static const char hex[] = "0123456789ABCDEF";
  std::string r;
  for (unsigned char c : s) {
    r += hex[c >> 4];
    r += hex[c & 15];
  }
  result_text(ctx, r);
}

bool hex_to_bytes(const std::string& h, std::string* out) {
  out->clear();
  auto val = [](char c) -> int {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    return -1;
  };
  size_t i = 0;
  if (h.size() % 2) {  // odd length: a leading 0 is implied
    int a = val(h[0]);
    if (a < 0) return false;
    *out += (char)a;
    i = 1;
  }
  for (; i < h.size(); i += 2) {
    int a = val(h[i]), b = val(h[i + 1]);
    if (a < 0 || b < 0) return false;
    *out += (char)(a * 16 + b);
  }
  return true;
}

void fn_hextoraw(sqlite3_context* ctx, int, sqlite3_value** v) {
  if (is_null(v[0])) return sqlite3_result_null(ctx);
  if (sqlite3_value_type(v[0]) == SQLITE_BLOB) return sqlite3_result_value(ctx, v[0]);
  std::string b;
  if (!hex_to_bytes(text_of(v[0]), &b)) return raise(ctx, 1465);
  if (b.empty()) return sqlite3_result_null(ctx);
  sqlite3_result_blob(ctx, b.data(), (int)b.size(), SQLITE_TRANSIENT);
}

void fn_rowidtochar(sqlite3_context* ctx, int, sqlite3_value** v) {
  if (is_null(v[0])) return sqlite3_result_null(ctx);
  if (sqlite3_value_type(v[0]) == SQLITE_TEXT) return sqlite3_result_value(ctx, v[0]);
  char buf[32];
  size_t n = dl_rowid_text(sqlite3_value_int64(v[0]), buf);
  sqlite3_result_text(ctx, buf, (int)n, SQLITE_TRANSIENT);
}

// ------------------------------------------------------- conversions

void fn_to_char(sqlite3_context* ctx, int n, sqlite3_value** v) {
  if (is_null(v[0])) return sqlite3_result_null(ctx);
  DlSession* ses = session_of(ctx);
  DlDateTime dt;
  bool ts;
  if (is_datetime_text(v[0], &dt, &ts)) {
    std::string f;
    if (n > 1) {
      if (is_null(v[1])) return sqlite3_result_null(ctx);
      f = text_of(v[1]);
    } else {
      f = ses ? (ts ? ses->nls_timestamp_format : ses->nls_date_format) : "DD-MON-RR";
    }
    std::string out;
    if (int rc = dl::format_datetime(dt, f.data(), f.size(), &out)) return raise(ctx, rc);
    return result_text(ctx, out);
  }
  int t = sqlite3_value_type(v[0]);
  if (t == SQLITE_INTEGER || t == SQLITE_FLOAT) {
    if (n < 2) return result_text(ctx, text_of(v[0]));
    if (is_null(v[1])) return sqlite3_result_null(ctx);
    std::string f = text_of(v[1]), out;
    int rc = dl::format_number(sqlite3_value_double(v[0]), t == SQLITE_INTEGER, sqlite3_value_int64(v[0]),
                               f.data(), f.size(), &out);
    if (rc) return raise(ctx, rc);
    return result_text(ctx, out);
  }
  if (n > 1 && t == SQLITE_TEXT) {
    // TO_CHAR(char, fmt): the text must be a number for a number format
    Num num;
    if (!num_arg(ctx, v[0], &num)) return;
    std::string f = text_of(v[1]), out;
    int rc = dl::format_number(num.as_double(), num.is_int, num.i, f.data(), f.size(), &out);
    if (rc) return raise(ctx, rc);
    return result_text(ctx, out);
  }
  result_text(ctx, text_of(v[0]));
}

void fn_to_number(sqlite3_context* ctx, int n, sqlite3_value** v) {
  if (is_null(v[0])) return sqlite3_result_null(ctx);
  int t = sqlite3_value_type(v[0]);
  if (t == SQLITE_INTEGER || t == SQLITE_FLOAT) return sqlite3_result_value(ctx, v[0]);
  if (n > 1 && !is_null(v[1])) {
    std::string s = text_of(v[0]), f = text_of(v[1]);
    Num r;
    int kind = 0;
    if (int rc = dl::parse_number_fmt(s.data(), s.size(), f.data(), f.size(), &r.i, &r.d, &kind))
      return raise(ctx, rc);
    r.is_int = kind == 1;
    return result_num(ctx, r);
  }
  Num r;
  if (!num_arg(ctx, v[0], &r)) return;
  result_num(ctx, r);
}

void to_datetime(sqlite3_context* ctx, int n, sqlite3_value** v, bool want_ts) {
  if (is_null(v[0])) return sqlite3_result_null(ctx);
  DlSession* ses = session_of(ctx);
  DlDateTime dt;
  bool ts;
  if (n < 2 && is_datetime_text(v[0], &dt, &ts)) {
    if (!want_ts) dt.nanos = 0;
    return result_datetime(ctx, dt, want_ts);
  }
  if (n > 1 && is_null(v[1])) return sqlite3_result_null(ctx);
  std::string s = text_of(v[0]);
  std::string f = n > 1 ? text_of(v[1])
                        : (ses ? (want_ts ? ses->nls_timestamp_format : ses->nls_date_format)
                               : (want_ts ? "DD-MON-RR HH.MI.SSXFF AM" : "DD-MON-RR"));
  bool frac = false;
  int rc = dl::parse_datetime(s.data(), s.size(), f.data(), f.size(), session_now(ses), &dt, &frac);
  if (rc) return raise(ctx, rc);
  if (!want_ts && frac) return raise(ctx, 1821);
  result_datetime(ctx, dt, want_ts);
}
void fn_to_date(sqlite3_context* c, int n, sqlite3_value** v) { to_datetime(c, n, v, false); }
void fn_to_timestamp(sqlite3_context* c, int n, sqlite3_value** v) { to_datetime(c, n, v, true); }

// ------------------------------------------------------------- dates

void fn_sysdate(sqlite3_context* ctx, int, sqlite3_value**) {
  DlDateTime dt = session_now(session_of(ctx));
  dt.nanos = 0;
  result_datetime(ctx, dt, false);
}

void fn_systimestamp(sqlite3_context* ctx, int, sqlite3_value**) {
  result_datetime(ctx, session_now(session_of(ctx)), true);
}

void fn_user(sqlite3_context* ctx, int, sqlite3_value**) {
  DlSession* s = session_of(ctx);
  if (!s || s->user.empty()) return sqlite3_result_null(ctx);
  result_text(ctx, s->user);
}

void fn_uid(sqlite3_context* ctx, int, sqlite3_value**) {
  // a stable number per user name
  DlSession* s = session_of(ctx);
  uint32_t h = 2166136261u;
  if (s)
    for (char c : s->user) h = (h ^ (unsigned char)c) * 16777619u;
  sqlite3_result_int64(ctx, 100 + h % 100000);
}

void fn_add_months(sqlite3_context* ctx, int, sqlite3_value** v) {
  if (is_null(v[0]) || is_null(v[1])) return sqlite3_result_null(ctx);
  DlDateTime dt;
  if (!date_arg(ctx, v[0], &dt)) return;
  int64_t m;
  if (!int_arg(ctx, v[1], &m)) return;
  bool last = dt.day == dl::days_in_month(dt.year, dt.month);
  int64_t total = (int64_t)dt.year * 12 + (dt.month - 1) + m;
  if (total < 12 || total > 9999 * 12 + 11) return raise(ctx, 1841);
  dt.year = (int)(total / 12);
  dt.month = (int)(total % 12) + 1;
  int dim = dl::days_in_month(dt.year, dt.month);
  if (last || dt.day > dim) dt.day = dim;
  dt.nanos = 0;
  result_datetime(ctx, dt, false);
}

void fn_last_day(sqlite3_context* ctx, int, sqlite3_value** v) {
  if (is_null(v[0])) return sqlite3_result_null(ctx);
  DlDateTime dt;
  if (!date_arg(ctx, v[0], &dt)) return;
  dt.day = dl::days_in_month(dt.year, dt.month);
  dt.nanos = 0;
  result_datetime(ctx, dt, false);
}

void fn_next_day(sqlite3_context* ctx, int, sqlite3_value** v) {
  if (is_null(v[0]) || is_null(v[1])) return sqlite3_result_null(ctx);
  DlDateTime dt;
  if (!date_arg(ctx, v[0], &dt)) return;
  std::string d = map_case(text_of(v[1]), 0);
  static const char* const days[] = {"SUNDAY", "MONDAY", "TUESDAY", "WEDNESDAY", "THURSDAY", "FRIDAY", "SATURDAY"};
  int want = -1;
  for (int i = 0; i < 7; ++i) {
    if (d.size() >= 3 && std::strncmp(days[i], d.c_str(), d.size()) == 0) want = i;
  }
  if (want < 0) return raise(ctx, 1846);
  Instant in = dl::to_instant(dt);
  int64_t days_n = in.secs / 86400;
  int wd = (int)((days_n + 1) % 7);
  int delta = (want - wd + 7) % 7;
  if (delta == 0) delta = 7;
  in.secs += (int64_t)delta * 86400;
  in.nanos = 0;
  result_instant(ctx, in, false);
}

void fn_months_between(sqlite3_context* ctx, int, sqlite3_value** v) {
  if (is_null(v[0]) || is_null(v[1])) return sqlite3_result_null(ctx);
  DlDateTime a, b;
  if (!date_arg(ctx, v[0], &a) || !date_arg(ctx, v[1], &b)) return;
  int months = (a.year - b.year) * 12 + (a.month - b.month);
  bool a_last = a.day == dl::days_in_month(a.year, a.month);
  bool b_last = b.day == dl::days_in_month(b.year, b.month);
  if (a.day == b.day || (a_last && b_last)) return sqlite3_result_int64(ctx, months);
  double sa = a.day + (a.hour * 3600 + a.minute * 60 + a.second) / 86400.0;
  double sb = b.day + (b.hour * 3600 + b.minute * 60 + b.second) / 86400.0;
  result_double(ctx, months + (sa - sb) / 31.0);
}

void fn_extract(sqlite3_context* ctx, int, sqlite3_value** v) {
  if (is_null(v[1])) return sqlite3_result_null(ctx);
  std::string f = text_of(v[0]);
  DlDateTime dt;
  bool ts = false;
  if (!date_arg(ctx, v[1], &dt, &ts)) return;
  if (f == "YEAR") return sqlite3_result_int(ctx, dt.year);
  if (f == "MONTH") return sqlite3_result_int(ctx, dt.month);
  if (f == "DAY") return sqlite3_result_int(ctx, dt.day);
  if (!ts) return raise(ctx, 30076);  // time fields need a TIMESTAMP
  if (f == "HOUR") return sqlite3_result_int(ctx, dt.hour);
  if (f == "MINUTE") return sqlite3_result_int(ctx, dt.minute);
  if (f == "SECOND") {
    if (dt.nanos == 0) return sqlite3_result_int(ctx, dt.second);
    return result_double(ctx, dt.second + dt.nanos / 1e9);
  }
  raise(ctx, 1878);
}

// ---------------------------------------------------------- comparisons

void greatest_least(sqlite3_context* ctx, int n, sqlite3_value** v, int sign) {
  for (int i = 0; i < n; ++i)
    if (is_null(v[i])) return sqlite3_result_null(ctx);
  int best = 0;
  for (int i = 1; i < n; ++i) {
    bool ok;
    int c = compare_values(ctx, v[i], v[best], &ok);
    if (!ok) return;
    if (c * sign > 0) best = i;
  }
  // the result has the type of the first argument
  int t0 = sqlite3_value_type(v[0]);
  if ((t0 == SQLITE_INTEGER || t0 == SQLITE_FLOAT) && sqlite3_value_type(v[best]) == SQLITE_TEXT) {
    Num num;
    if (!num_arg(ctx, v[best], &num)) return;
    return result_num(ctx, num);
  }
  if (t0 == SQLITE_TEXT && sqlite3_value_type(v[best]) != SQLITE_TEXT) return result_text(ctx, text_of(v[best]));
  sqlite3_result_value(ctx, v[best]);
}
void fn_greatest(sqlite3_context* c, int n, sqlite3_value** v) { greatest_least(c, n, v, 1); }
void fn_least(sqlite3_context* c, int n, sqlite3_value** v) { greatest_least(c, n, v, -1); }

// DECODE's match: NULL matches NULL; the search converts to the type of the
// expression.
void fn_decode_eq(sqlite3_context* ctx, int, sqlite3_value** v) {
  bool a = is_null(v[0]), b = is_null(v[1]);
  if (a || b) return sqlite3_result_int(ctx, a && b);
  bool ok;
  int c = compare_values(ctx, v[0], v[1], &ok);
  if (!ok) return;
  sqlite3_result_int(ctx, c == 0);
}

// SYS_CONTEXT('USERENV', parameter) and USERENV(parameter): what a session
// of the stand-in can tell about itself.
void userenv(sqlite3_context* ctx, const std::string& param_in) {
  DlSession* ses = session_of(ctx);
  std::string p = map_case(param_in, 0);
  std::string user = ses ? ses->user : std::string();
  if (p == "SESSION_USER" || p == "CURRENT_USER" || p == "CURRENT_SCHEMA") return result_text(ctx, user);
  if (p == "SESSIONID" || p == "SID") {
    return sqlite3_result_int64(ctx, (int64_t)(((uintptr_t)sqlite3_context_db_handle(ctx) >> 4) % 1000000));
  }
  if (p == "LANGUAGE") return result_text(ctx, "AMERICAN_AMERICA.AL32UTF8");
  if (p == "LANG") return result_text(ctx, "US");
  if (p == "NLS_TERRITORY") return result_text(ctx, "AMERICA");
  if (p == "NLS_DATE_FORMAT") return result_text(ctx, ses ? ses->nls_date_format : "DD-MON-RR");
  if (p == "NLS_DATE_LANGUAGE") return result_text(ctx, "AMERICAN");
  if (p == "DB_NAME" || p == "INSTANCE_NAME" || p == "SERVICE_NAME") return result_text(ctx, "OCILITE");
  if (p == "ISDBA") return result_text(ctx, "FALSE");
  if (p == "TERMINAL" || p == "HOST" || p == "OS_USER" || p == "CLIENT_INFO" || p == "MODULE" ||
      p == "ACTION" || p == "CLIENT_IDENTIFIER" || p == "IP_ADDRESS")
    return sqlite3_result_null(ctx);
  raise(ctx, 2003);  // invalid USERENV parameter
}

void fn_sys_context(sqlite3_context* ctx, int, sqlite3_value** v) {
  if (is_null(v[0]) || is_null(v[1])) return sqlite3_result_null(ctx);
  if (map_case(text_of(v[0]), 0) != "USERENV") return sqlite3_result_null(ctx);  // no other contexts exist
  userenv(ctx, text_of(v[1]));
}

void fn_userenv(sqlite3_context* ctx, int, sqlite3_value** v) {
  if (is_null(v[0])) return sqlite3_result_null(ctx);
  userenv(ctx, text_of(v[0]));
}

// ---------------------------------------------------------------- misc

void fn_empty_clob(sqlite3_context* ctx, int, sqlite3_value**) { sqlite3_result_text(ctx, "", 0, SQLITE_STATIC); }
void fn_empty_blob(sqlite3_context* ctx, int, sqlite3_value**) { sqlite3_result_zeroblob(ctx, 0); }

void fn_sys_guid(sqlite3_context* ctx, int, sqlite3_value**) {
  unsigned char b[16];
  sqlite3_randomness(16, b);
  sqlite3_result_blob(ctx, b, 16, SQLITE_TRANSIENT);
}

// CAST(x AS NUMBER(p, s)): ORA_CAST_NUMBER(x, p, s); s = -127 for none
void fn_cast_number(sqlite3_context* ctx, int, sqlite3_value** v) {
  if (is_null(v[0])) return sqlite3_result_null(ctx);
  if (!no_dates(ctx, v, 1)) return;
  Num a;
  if (!num_arg(ctx, v[0], &a)) return;
  int p = sqlite3_value_int(v[1]), s = sqlite3_value_int(v[2]);
  if (s != -127) {
    if (!a.is_int || s < 0) {
      double r = dl::round_decimal(a.as_double(), s, false);
      a.is_int = false;
      a.d = r;
      if (r == std::trunc(r) && std::fabs(r) < 9007199254740992.0) {
        a.is_int = true;
        a.i = (int64_t)r;
      }
    }
    if (p > 0 && (a.is_int ? !whole_fits(a.i, p - s) : std::fabs(a.as_double()) >= ten_to(p - s)))
      return raise(ctx, 1438);
  }
  result_num(ctx, a);
}

// CAST(x AS VARCHAR2(n) / CHAR(n)): ORA_CAST_CHAR(x, n, is_char)
void fn_cast_char(sqlite3_context* ctx, int, sqlite3_value** v) {
  if (is_null(v[0])) return sqlite3_result_null(ctx);
  std::string s;
  DlDateTime dt;
  bool ts;
  DlSession* ses = session_of(ctx);
  if (is_datetime_text(v[0], &dt, &ts)) {
    std::string f = ses ? (ts ? ses->nls_timestamp_format : ses->nls_date_format) : "DD-MON-RR";
    if (int rc = dl::format_datetime(dt, f.data(), f.size(), &s)) return raise(ctx, rc);
  } else {
    s = text_of(v[0]);
  }
  int64_t n = sqlite3_value_int64(v[1]);
  size_t len = utf8_len(s);
  if ((int64_t)len > n) return raise(ctx, 25137);
  if (sqlite3_value_int(v[2]) && (int64_t)len < n) s.append((size_t)(n - (int64_t)len), ' ');
  result_text(ctx, s);
}

// CAST(x AS DATE / TIMESTAMP): ORA_CAST_DATETIME(x, ts)
void fn_cast_datetime(sqlite3_context* ctx, int, sqlite3_value** v) {
  if (is_null(v[0])) return sqlite3_result_null(ctx);
  bool want_ts = sqlite3_value_int(v[1]) != 0;
  DlDateTime dt;
  bool ts;
  if (is_datetime_text(v[0], &dt, &ts)) {
    if (!want_ts) dt.nanos = 0;
    return result_datetime(ctx, dt, want_ts);
  }
  to_datetime(ctx, 1, v, want_ts);
}

// ---- column rules (CHECK constraints and triggers of translated tables)

// ORA_CHK_LEN(value, max, by_char, owner, table, column)
void fn_chk_len(sqlite3_context* ctx, int, sqlite3_value** v) {
  if (is_null(v[0])) return sqlite3_result_int(ctx, 1);
  int64_t max = sqlite3_value_int64(v[1]);
  int64_t len;
  if (sqlite3_value_type(v[0]) == SQLITE_TEXT) {
    // Every inserted row passes here: no copy. A byte length is read
    // without the text itself, which SQLite would first copy to give it a
    // terminator (a bound value has none).
    if (sqlite3_value_int(v[2])) {
      const unsigned char* p = sqlite3_value_text(v[0]);
      const int n = sqlite3_value_bytes(v[0]);
      len = 0;
      for (int i = 0; i < n; ++i) len += (p[i] & 0xC0) != 0x80;
    } else {
      len = sqlite3_value_bytes(v[0]);
    }
  } else {
    std::string s = text_of(v[0]);
    len = sqlite3_value_int(v[2]) ? (int64_t)utf8_len(s) : (int64_t)s.size();
  }
  if (len <= max) return sqlite3_result_int(ctx, 1);
  std::string where;
  if (!text_of(v[3]).empty()) where += "\"" + text_of(v[3]) + "\".";
  where += "\"" + text_of(v[4]) + "\".\"" + text_of(v[5]) + "\" (actual: " + std::to_string(len) +
           ", maximum: " + std::to_string(max) + ")";
  raise(ctx, 12899, where.c_str());
}

// ORA_CHK_NUM(value, precision, scale[, number]): a number (or number text)
// that fits. With the fourth argument the column is a NUMBER, whose
// magnitude stops below 1E126 whatever its precision: beyond that Oracle
// answers "numeric overflow" instead of storing a value it cannot give back.
// Tables made before the fourth argument keep the three-argument check.
void fn_chk_num(sqlite3_context* ctx, int argc, sqlite3_value** v) {
  if (is_null(v[0])) return sqlite3_result_int(ctx, 1);
  if (!no_dates(ctx, v, 1)) return;
  Num a;
  if (!num_arg(ctx, v[0], &a)) return;
  if (argc > 3 && !a.is_int && !(std::fabs(a.d) < 1e126)) return raise(ctx, 1426);
  int p = sqlite3_value_int(v[1]), s = sqlite3_value_int(v[2]);
  if (p > 0) {
    if (a.is_int && s >= 0) {
      if (!whole_fits(a.i, p - s)) return raise(ctx, 1438);
    } else if (std::fabs(dl::round_decimal(a.as_double(), s, false)) >= ten_to(p - s)) {
      return raise(ctx, 1438);
    }
  }
  sqlite3_result_int(ctx, 1);
}

// ORA_CHK_RAW(value, max, owner, table, column)
void fn_chk_raw(sqlite3_context* ctx, int, sqlite3_value** v) {
  if (is_null(v[0])) return sqlite3_result_int(ctx, 1);
  int64_t len;
  if (sqlite3_value_type(v[0]) == SQLITE_BLOB) {
    len = sqlite3_value_bytes(v[0]);
  } else {
    std::string b;
    if (!hex_to_bytes(text_of(v[0]), &b)) return raise(ctx, 1465);
    len = (int64_t)b.size();
  }
  int64_t max = sqlite3_value_int64(v[1]);
  if (max <= 0 || len <= max) return sqlite3_result_int(ctx, 1);
  std::string where;
  if (!text_of(v[2]).empty()) where += "\"" + text_of(v[2]) + "\".";
  where += "\"" + text_of(v[3]) + "\".\"" + text_of(v[4]) + "\" (actual: " + std::to_string(len) +
           ", maximum: " + std::to_string(max) + ")";
  raise(ctx, 12899, where.c_str());
}

// ORA_IS_DATETIME(value, ts): already in the stored form of the column type
void fn_is_datetime(sqlite3_context* ctx, int, sqlite3_value** v) {
  DlDateTime dt;
  bool ts;
  bool ok = is_datetime_text(v[0], &dt, &ts) && ts == (sqlite3_value_int(v[1]) != 0);
  sqlite3_result_int(ctx, ok);
}

// ORA_TO_DATETIME(value, ts, scale): the stored form for a DATE/TIMESTAMP column
void fn_to_datetime(sqlite3_context* ctx, int, sqlite3_value** v) {
  if (is_null(v[0])) return sqlite3_result_null(ctx);
  bool want_ts = sqlite3_value_int(v[1]) != 0;
  int scale = sqlite3_value_int(v[2]);
  DlDateTime dt;
  bool ts;
  if (!is_datetime_text(v[0], &dt, &ts)) {
    if (sqlite3_value_type(v[0]) != SQLITE_TEXT) return raise(ctx, 932, want_ts ? "expected TIMESTAMP got NUMBER" : "expected DATE got NUMBER");
    DlSession* ses = session_of(ctx);
    std::string s = text_of(v[0]);
    std::string f = ses ? (want_ts ? ses->nls_timestamp_format : ses->nls_date_format) : "DD-MON-RR";
    bool frac;
    if (int rc = dl::parse_datetime(s.data(), s.size(), f.data(), f.size(), session_now(ses), &dt, &frac))
      return raise(ctx, rc);
  }
  if (!want_ts) {
    dt.nanos = 0;
  } else if (scale >= 0 && scale < 9) {
    // fractional seconds rounded to the column's precision
    int64_t unit = ipow10(9 - scale);
    int64_t ns = (dt.nanos + unit / 2) / unit * unit;
    Instant in = dl::to_instant(dt);
    in.nanos = 0;
    if (ns >= 1000000000) {
      in.secs += 1;
      ns -= 1000000000;
    }
    dt = dl::from_instant(in);
    dt.nanos = (int)ns;
  }
  result_datetime(ctx, dt, want_ts);
}

// ------------------------------------------------ the driver's package

void fn_left(sqlite3_context* ctx, int, sqlite3_value** v) {
  if (is_null(v[0]) || is_null(v[1])) return sqlite3_result_null(ctx);
  std::string s = text_of(v[0]);
  int64_t n;
  if (!int_arg(ctx, v[1], &n)) return;
  if (n <= 0) return sqlite3_result_null(ctx);
  result_text(ctx, s.substr(0, utf8_off(s, (size_t)n)));
}

void fn_right(sqlite3_context* ctx, int, sqlite3_value** v) {
  if (is_null(v[0]) || is_null(v[1])) return sqlite3_result_null(ctx);
  std::string s = text_of(v[0]);
  int64_t n;
  if (!int_arg(ctx, v[1], &n)) return;
  if (n <= 0) return sqlite3_result_null(ctx);
  size_t len = utf8_len(s);
  if ((size_t)n >= len) return result_text(ctx, s);
  result_text(ctx, s.substr(utf8_off(s, len - (size_t)n)));
}

void fn_repeat(sqlite3_context* ctx, int, sqlite3_value** v) {
  if (is_null(v[0]) || is_null(v[1])) return sqlite3_result_null(ctx);
  std::string s = text_of(v[0]);
  int64_t n;
  if (!int_arg(ctx, v[1], &n)) return;
  if (n <= 0 || s.empty()) return sqlite3_result_null(ctx);
  if ((int64_t)s.size() * n > 32767) return raise(ctx, 1489);
  std::string r;
  for (int64_t i = 0; i < n; ++i) r += s;
  result_text(ctx, r);
}

// INSERT_STRING(s, start, length, replacement)
void fn_insert_string(sqlite3_context* ctx, int, sqlite3_value** v) {
  if (is_null(v[0]) || is_null(v[1]) || is_null(v[2])) return sqlite3_result_null(ctx);
  std::string s = text_of(v[0]), r = is_null(v[3]) ? std::string() : text_of(v[3]);
  int64_t start, len;
  if (!int_arg(ctx, v[1], &start) || !int_arg(ctx, v[2], &len)) return;
  if (start < 1 || len < 0) return sqlite3_result_null(ctx);
  size_t n = utf8_len(s);
  size_t a = utf8_off(s, std::min<size_t>((size_t)start - 1, n));
  size_t b = utf8_off(s, std::min<size_t>((size_t)(start - 1 + len), n));
  result_text(ctx, s.substr(0, a) + r + s.substr(b));
}

// LOCATE(search, s [, start]): position of search in s
void fn_locate(sqlite3_context* ctx, int n, sqlite3_value** v) {
  sqlite3_value* args[3] = {v[1], v[0], n > 2 ? v[2] : nullptr};
  if (is_null(v[0]) || is_null(v[1])) return sqlite3_result_null(ctx);
  instr(ctx, n, args, false);
}

int64_t tsi_seconds(const std::string& unit) {
  if (unit == "SQL_TSI_SECOND") return 1;
  if (unit == "SQL_TSI_MINUTE") return 60;
  if (unit == "SQL_TSI_HOUR") return 3600;
  if (unit == "SQL_TSI_DAY") return 86400;
  if (unit == "SQL_TSI_WEEK") return 7 * 86400;
  return 0;
}

void fn_timestampadd(sqlite3_context* ctx, int, sqlite3_value** v) {
  if (is_null(v[0]) || is_null(v[1]) || is_null(v[2])) return sqlite3_result_null(ctx);
  std::string unit = map_case(text_of(v[0]), 0);
  int64_t n;
  if (!int_arg(ctx, v[1], &n)) return;
  DlDateTime dt;
  bool ts = false;
  if (!date_arg(ctx, v[2], &dt, &ts)) return;
  int64_t months = unit == "SQL_TSI_MONTH" ? n : unit == "SQL_TSI_QUARTER" ? 3 * n : unit == "SQL_TSI_YEAR" ? 12 * n : 0;
  if (months) {
    int64_t total = (int64_t)dt.year * 12 + dt.month - 1 + months;
    if (total < 12 || total > 9999 * 12 + 11) return raise(ctx, 1841);
    dt.year = (int)(total / 12);
    dt.month = (int)(total % 12) + 1;
    dt.day = std::min(dt.day, dl::days_in_month(dt.year, dt.month));
    return result_datetime(ctx, dt, ts);
  }
  if (unit == "SQL_TSI_FRAC_SECOND") {
    Instant in = dl::to_instant(dt);
    int64_t ns = in.nanos + n * 1000;  // microseconds
    in.secs += ns >= 0 ? ns / 1000000000 : -((-ns + 999999999) / 1000000000);
    in.nanos = (int32_t)(ns - (ns >= 0 ? ns / 1000000000 : -((-ns + 999999999) / 1000000000)) * 1000000000);
    return result_instant(ctx, in, true);
  }
  int64_t secs = tsi_seconds(unit);
  if (!secs) return raise(ctx, 1428, unit.c_str());
  Instant in = dl::to_instant(dt);
  in.secs += n * secs;
  result_instant(ctx, in, ts);
}

void fn_timestampdiff(sqlite3_context* ctx, int, sqlite3_value** v) {
  if (is_null(v[0]) || is_null(v[1]) || is_null(v[2])) return sqlite3_result_null(ctx);
  std::string unit = map_case(text_of(v[0]), 0);
  DlDateTime a, b;
  if (!date_arg(ctx, v[1], &a) || !date_arg(ctx, v[2], &b)) return;
  if (unit == "SQL_TSI_MONTH" || unit == "SQL_TSI_QUARTER" || unit == "SQL_TSI_YEAR") {
    int64_t m = ((int64_t)b.year * 12 + b.month) - ((int64_t)a.year * 12 + a.month);
    // a partial month does not count
    bool b_later = std::make_tuple(b.day, b.hour, b.minute, b.second, b.nanos) >=
                   std::make_tuple(a.day, a.hour, a.minute, a.second, a.nanos);
    if (m > 0 && !b_later) --m;
    else if (m < 0 && b_later && std::make_tuple(b.day, b.hour, b.minute, b.second, b.nanos) !=
                                     std::make_tuple(a.day, a.hour, a.minute, a.second, a.nanos))
      ++m;
    int64_t div = unit == "SQL_TSI_MONTH" ? 1 : unit == "SQL_TSI_QUARTER" ? 3 : 12;
    return sqlite3_result_int64(ctx, m / div);
  }
  Instant ia = dl::to_instant(a), ib = dl::to_instant(b);
  if (unit == "SQL_TSI_FRAC_SECOND") {
    int64_t us = (ib.secs - ia.secs) * 1000000 + (ib.nanos - ia.nanos) / 1000;
    return sqlite3_result_int64(ctx, us);
  }
  int64_t secs = tsi_seconds(unit);
  if (!secs) return raise(ctx, 1428, unit.c_str());
  int64_t d = ib.secs - ia.secs;
  if (d < 0 && ib.nanos > ia.nanos) ++d;
  else if (d > 0 && ib.nanos < ia.nanos) --d;
  sqlite3_result_int64(ctx, d / secs);
}

// ---------------------------------------------------------- aggregates

struct VarState {
  int64_t n;
  double mean;
  double m2;
};

void agg_var_step(sqlite3_context* ctx, int, sqlite3_value** v) {
  if (is_null(v[0])) return;
  VarState* s = (VarState*)sqlite3_aggregate_context(ctx, sizeof(VarState));
  if (!s) return sqlite3_result_error_nomem(ctx);
  Num a;
  if (!num_arg(ctx, v[0], &a)) return;
  double x = a.as_double();
  s->n++;
  double d = x - s->mean;
  s->mean += d / (double)s->n;
  s->m2 += d * (x - s->mean);
}

void agg_var_final(sqlite3_context* ctx, bool stddev) {
  VarState* s = (VarState*)sqlite3_aggregate_context(ctx, 0);
  if (!s || s->n == 0) return sqlite3_result_null(ctx);
  double var = s->n == 1 ? 0.0 : s->m2 / (double)(s->n - 1);
  result_double(ctx, stddev ? std::sqrt(var) : var);
}
void agg_stddev_final(sqlite3_context* c) { agg_var_final(c, true); }
void agg_variance_final(sqlite3_context* c) { agg_var_final(c, false); }

// ORA_RAISE(code [, arg]): fails the statement with an Oracle error.
void fn_raise(sqlite3_context* ctx, int n, sqlite3_value** v) {
  std::string arg = n > 1 ? text_of(v[1]) : std::string();
  raise(ctx, sqlite3_value_int(v[0]), n > 1 ? arg.c_str() : nullptr);
}

// ORA_NEXTVAL(schema, name) / ORA_CURRVAL(schema, name)
void fn_nextval(sqlite3_context* ctx, int, sqlite3_value** v) {
  std::string schema = text_of(v[0]), name = text_of(v[1]);
  std::string tab = (schema == "main" ? std::string("main") : "\"" + schema + "\"") + ".\"ORA$SEQ\"";
  std::string display = (schema == "main" ? std::string() : schema + ".") + name;
  sqlite3* db = sqlite3_context_db_handle(ctx);
  sqlite3_stmt* q = nullptr;
  std::string sql = "SELECT \"NEXTV\", \"INCR\", \"MINV\", \"MAXV\", \"CYC\" FROM " + tab + " WHERE \"NAME\" = ?1";
  if (sqlite3_prepare_v2(db, sql.c_str(), -1, &q, nullptr) != SQLITE_OK) {
    sqlite3_finalize(q);
    return raise(ctx, 2289);
  }
  sqlite3_bind_text(q, 1, name.c_str(), -1, SQLITE_TRANSIENT);
  if (sqlite3_step(q) != SQLITE_ROW) {
    sqlite3_finalize(q);
    return raise(ctx, 2289);
  }
  int64_t cur = sqlite3_column_int64(q, 0), incr = sqlite3_column_int64(q, 1);
  int64_t minv = sqlite3_column_int64(q, 2), maxv = sqlite3_column_int64(q, 3);
  bool cyc = sqlite3_column_int(q, 4) != 0;
  sqlite3_finalize(q);
  if (cur > maxv || cur < minv) return raise(ctx, 8004, display.c_str());
  // NEXTV is the value the next call hands out; past the range it makes
  // that call fail (or wraps with CYCLE).
  int64_t next;
  if (add_overflow(cur, incr, &next)) next = incr > 0 ? std::numeric_limits<int64_t>::max() : std::numeric_limits<int64_t>::min();
  if (cyc && (next > maxv || next < minv)) next = incr > 0 ? minv : maxv;
  sql = "UPDATE " + tab + " SET \"NEXTV\" = ?1 WHERE \"NAME\" = ?2";
  if (sqlite3_prepare_v2(db, sql.c_str(), -1, &q, nullptr) != SQLITE_OK) {
    sqlite3_finalize(q);
    return sqlite3_result_error(ctx, sqlite3_errmsg(db), -1);
  }
  sqlite3_bind_int64(q, 1, next);
  sqlite3_bind_text(q, 2, name.c_str(), -1, SQLITE_TRANSIENT);
  int rc = sqlite3_step(q);
  sqlite3_finalize(q);
  if (rc != SQLITE_DONE) return sqlite3_result_error(ctx, sqlite3_errmsg(db), -1);
  DlSession* ses = session_of(ctx);
  if (ses) ses->currval[schema + "." + name] = cur;
  sqlite3_result_int64(ctx, cur);
}

void fn_currval(sqlite3_context* ctx, int, sqlite3_value** v) {
  std::string schema = text_of(v[0]), name = text_of(v[1]);
  DlSession* ses = session_of(ctx);
  auto it = ses ? ses->currval.find(schema + "." + name) : decltype(ses->currval.end()){};
  if (!ses || it == ses->currval.end()) {
    std::string display = (schema == "main" ? std::string() : schema + ".") + name;
    return raise(ctx, 8002, display.c_str());
  }
  sqlite3_result_int64(ctx, it->second);
}

// ORA_CTAS(oracle text): CREATE TABLE ... AS SELECT run from inside one
// SQLite statement, so that DDL text executed as it is still keeps the
// query's Oracle types.
void fn_ctas(sqlite3_context* ctx, int, sqlite3_value** v) {
  DlSession* ses = session_of(ctx);
  std::string text = text_of(v[0]);
  DlStatement st;
  DlError err;
  int rc = dl_translate(text.data(), text.size(), ses, &st, &err);
  if (rc == 0 && st.ctas_table.empty()) rc = dl_set_error(&err, 900);
  if (rc == 0) rc = dl_exec_ddl(sqlite3_context_db_handle(ctx), &st, ses, &err);
  if (rc) {
    char buf[600];
    std::snprintf(buf, sizeof buf, "ORA-%05d: %s", rc, err.message);
    return sqlite3_result_error(ctx, buf, -1);
  }
  sqlite3_result_null(ctx);
}

// ORA_ONE: the value of a scalar subquery's only row.
struct OneState {
  int64_t n;
  sqlite3_value* v;
};

void agg_one_step(sqlite3_context* ctx, int, sqlite3_value** v) {
  OneState* s = (OneState*)sqlite3_aggregate_context(ctx, sizeof(OneState));
  if (!s) return sqlite3_result_error_nomem(ctx);
  if (++s->n > 1) return raise(ctx, 1427);
  s->v = sqlite3_value_dup(v[0]);
  if (!s->v) sqlite3_result_error_nomem(ctx);
}

void agg_one_final(sqlite3_context* ctx) {
  OneState* s = (OneState*)sqlite3_aggregate_context(ctx, 0);
  if (!s || !s->v) return sqlite3_result_null(ctx);
  sqlite3_result_value(ctx, s->v);
  sqlite3_value_free(s->v);
  s->v = nullptr;
}

// Collation of DATE and TIMESTAMP columns: a missing fraction is zero, and
// text in the session's date format (Oracle's implicit conversion of a
// string compared with a date) compares as the date it names.
int compare_dt_text(const char* x, int na, const char* y, int nb) {
  int n = std::min(na, nb);
  int c = std::memcmp(x, y, (size_t)n);
  if (c) return c;
  // the longer one continues; ".000000000" counts as nothing
  const char* rest = na > nb ? x + n : y + n;
  int rn = na > nb ? na - n : nb - n;
  for (int i = 0; i < rn; ++i) {
    if (rest[i] != '0' && rest[i] != '.') return na > nb ? 1 : -1;
  }
  return 0;
}

int collate_dt(void* ses_ptr, int na, const void* a, int nb, const void* b) {
  const char* x = (const char*)a;
  const char* y = (const char*)b;
  DlDateTime dx, dy;
  bool ts;
  bool cx = dl_datetime_parse(x, (size_t)na, &dx, &ts);
  bool cy = dl_datetime_parse(y, (size_t)nb, &dy, &ts);
  if (cx != cy) {
    // one side is not in the stored form: read it with the session's format
    DlSession* ses = (DlSession*)ses_ptr;
    const char* t = cx ? y : x;
    int tn = cx ? nb : na;
    std::string fmt = ses ? ses->nls_date_format : "DD-MON-RR";
    DlDateTime dt;
    bool frac = false;
    if (dl::parse_datetime(t, (size_t)tn, fmt.data(), fmt.size(), session_now(ses), &dt, &frac) == 0) {
      char buf[40];
      size_t len = dl_datetime_text(&dt, false, buf);
      return cx ? compare_dt_text(x, na, buf, (int)len) : compare_dt_text(buf, (int)len, y, nb);
    }
  }
  return compare_dt_text(x, na, y, nb);
}

// ------------------------------------------------------------ registry

enum : unsigned { PURE = 1, SESSION = 2 };

struct FnReg {
  const char* name;
  int nargs;  // -1: any
  unsigned flags;
  void (*fn)(sqlite3_context*, int, sqlite3_value**);
};

const FnReg kScalars[] = {
    {"ORA_ADD", 2, PURE, fn_add},
    {"ORA_SUB", 2, PURE, fn_sub},
    {"ORA_MUL", 2, PURE, fn_mul},
    {"ORA_DIV", 2, PURE, fn_div},
    {"ORA_NEG", 1, PURE, fn_neg},
    {"ORA_CONCAT", -1, PURE, fn_concat},
    {"ORA_ABS", 1, PURE, fn_abs},
    {"ORA_ACOS", 1, PURE, fn_acos},
    {"ORA_ASIN", 1, PURE, fn_asin},
    {"ORA_ATAN", 1, PURE, fn_math1<d_atan>},
    {"ORA_ATAN2", 2, PURE, fn_atan2},
    {"ORA_COS", 1, PURE, fn_math1<d_cos>},
    {"ORA_COSH", 1, PURE, fn_math1<d_cosh>},
    {"ORA_SIN", 1, PURE, fn_math1<d_sin>},
    {"ORA_SINH", 1, PURE, fn_math1<d_sinh>},
    {"ORA_TAN", 1, PURE, fn_math1<d_tan>},
    {"ORA_TANH", 1, PURE, fn_math1<d_tanh>},
    {"ORA_EXP", 1, PURE, fn_math1<d_exp>},
    {"ORA_LN", 1, PURE, fn_ln},
    {"ORA_LOG", 2, PURE, fn_log},
    {"ORA_SQRT", 1, PURE, fn_sqrt},
    {"ORA_POWER", 2, PURE, fn_power},
    {"ORA_MOD", 2, PURE, fn_mod},
    {"ORA_REMAINDER", 2, PURE, fn_remainder},
    {"ORA_SIGN", 1, PURE, fn_sign},
    {"ORA_CEIL", 1, PURE, fn_ceil},
    {"ORA_FLOOR", 1, PURE, fn_floor},
    {"ORA_ROUND", 1, PURE, fn_round},
    {"ORA_ROUND", 2, PURE, fn_round},
    {"ORA_TRUNC", 1, PURE, fn_trunc},
    {"ORA_TRUNC", 2, PURE, fn_trunc},
    {"ORA_BITAND", 2, PURE, fn_bitand},
    {"ORA_LENGTH", 1, PURE, fn_length},
    {"ORA_LENGTHB", 1, PURE, fn_lengthb},
    {"ORA_VSIZE", 1, PURE, fn_vsize},
    {"ORA_INSTR", -1, PURE, fn_instr},
    {"ORA_INSTRB", -1, PURE, fn_instrb},
    {"ORA_SUBSTR", -1, PURE, fn_substr},
    {"ORA_SUBSTRB", -1, PURE, fn_substrb},
    {"ORA_UPPER", -1, PURE, fn_upper},
    {"ORA_LOWER", -1, PURE, fn_lower},
    {"ORA_INITCAP", -1, PURE, fn_initcap},
    {"ORA_LPAD", -1, PURE, fn_lpad},
    {"ORA_RPAD", -1, PURE, fn_rpad},
    {"ORA_LTRIM", -1, PURE, fn_ltrim},
    {"ORA_RTRIM", -1, PURE, fn_rtrim},
    {"ORA_TRIM", 3, PURE, fn_trim},
    {"ORA_REPLACE", -1, PURE, fn_replace},
    {"ORA_TRANSLATE", 3, PURE, fn_translate},
    {"ORA_CHR", 1, PURE, fn_chr},
    {"ORA_ASCII", 1, PURE, fn_ascii},
    {"ORA_SOUNDEX", 1, PURE, fn_soundex},
    {"ORA_RAWTOHEX", 1, PURE, fn_rawtohex},
    {"ORA_HEXTORAW", 1, PURE, fn_hextoraw},
    {"ORA_ROWIDTOCHAR", 1, PURE, fn_rowidtochar},
    {"ORA_TO_CHAR", -1, SESSION, fn_to_char},
    {"ORA_TO_NUMBER", -1, PURE, fn_to_number},
    {"ORA_TO_DATE", -1, SESSION, fn_to_date},
    {"ORA_TO_TIMESTAMP", -1, SESSION, fn_to_timestamp},
    {"ORA_SYSDATE", 0, SESSION, fn_sysdate},
    {"ORA_SYSTIMESTAMP", 0, SESSION, fn_systimestamp},
    {"ORA_USER", 0, SESSION, fn_user},
    {"ORA_UID", 0, SESSION, fn_uid},
    {"ORA_ADD_MONTHS", 2, SESSION, fn_add_months},
    {"ORA_LAST_DAY", 1, SESSION, fn_last_day},
    {"ORA_NEXT_DAY", 2, SESSION, fn_next_day},
    {"ORA_MONTHS_BETWEEN", 2, SESSION, fn_months_between},
    {"ORA_EXTRACT", 2, SESSION, fn_extract},
    {"ORA_GREATEST", -1, PURE, fn_greatest},
    {"ORA_LEAST", -1, PURE, fn_least},
    {"ORA_DECODE_EQ", 2, PURE, fn_decode_eq},
    {"ORA_EMPTY_CLOB", 0, PURE, fn_empty_clob},
    {"ORA_EMPTY_BLOB", 0, PURE, fn_empty_blob},
    {"ORA_SYS_GUID", 0, 0, fn_sys_guid},
    {"ORA_CAST_NUMBER", 3, PURE, fn_cast_number},
    {"ORA_CAST_CHAR", 3, SESSION, fn_cast_char},
    {"ORA_CAST_DATETIME", 2, SESSION, fn_cast_datetime},
    {"ORA_CHK_LEN", 6, PURE, fn_chk_len},
    {"ORA_CHK_NUM", 3, PURE, fn_chk_num},
    {"ORA_CHK_NUM", 4, PURE, fn_chk_num},
    {"ORA_CHK_RAW", 5, PURE, fn_chk_raw},
    {"ORA_IS_DATETIME", 2, PURE, fn_is_datetime},
    {"ORA_TO_DATETIME", 3, SESSION, fn_to_datetime},
    {"ORA_COT", 1, PURE, fn_math1<d_cot>},
    {"ORA_DEGREES", 1, PURE, fn_math1<d_degrees>},
    {"ORA_RADIANS", 1, PURE, fn_math1<d_radians>},
    {"ORA_LEFT", 2, PURE, fn_left},
    {"ORA_RIGHT", 2, PURE, fn_right},
    {"ORA_REPEAT", 2, PURE, fn_repeat},
    {"ORA_INSERT_STRING", 4, PURE, fn_insert_string},
    {"ORA_LOCATE", -1, PURE, fn_locate},
    {"ORA_TIMESTAMPADD", 3, SESSION, fn_timestampadd},
    {"ORA_TIMESTAMPDIFF", 3, SESSION, fn_timestampdiff},
    {"ORA_CTAS", 1, SESSION, fn_ctas},
    {"ORA_SYS_CONTEXT", -1, SESSION, fn_sys_context},
    {"ORA_USERENV", 1, SESSION, fn_userenv},
    {"ORA_RAISE", 1, 0, fn_raise},
    {"ORA_RAISE", 2, 0, fn_raise},
    {"ORA_NEXTVAL", 2, SESSION, fn_nextval},
    {"ORA_CURRVAL", 2, SESSION, fn_currval},
};

}  // namespace

int dl_register(sqlite3* db, DlSession* session) {
  int rc;
  // A misspelt name must be an error, never a string literal.
  sqlite3_db_config(db, SQLITE_DBCONFIG_DQS_DML, 0, nullptr);
  sqlite3_db_config(db, SQLITE_DBCONFIG_DQS_DDL, 0, nullptr);
  // Oracle's LIKE is case-sensitive; Oracle enforces foreign keys.
  rc = sqlite3_exec(db, "PRAGMA case_sensitive_like = ON; PRAGMA foreign_keys = ON;", nullptr, nullptr, nullptr);
  if (rc != SQLITE_OK) return rc;
  for (const FnReg& f : kScalars) {
    // Functions used by CHECK constraints and indexes must be deterministic;
    // those that read the session (NLS formats, the clock) are not.
    int flags = SQLITE_UTF8;
    if (f.flags & PURE) flags |= SQLITE_DETERMINISTIC | SQLITE_INNOCUOUS;
    rc = sqlite3_create_function_v2(db, f.name, f.nargs, flags, session, f.fn, nullptr, nullptr, nullptr);
    if (rc != SQLITE_OK) return rc;
  }
  rc = sqlite3_create_collation_v2(db, "ORA_DT", SQLITE_UTF8, session, collate_dt, nullptr);
  if (rc != SQLITE_OK) return rc;
  rc = sqlite3_create_function_v2(db, "ORA_ONE", 1, SQLITE_UTF8, session, nullptr, agg_one_step,
                                  agg_one_final, nullptr);
  if (rc != SQLITE_OK) return rc;
  rc = sqlite3_create_function_v2(db, "ORA_STDDEV", 1, SQLITE_UTF8 | SQLITE_DETERMINISTIC, session, nullptr,
                                  agg_var_step, agg_stddev_final, nullptr);
  if (rc != SQLITE_OK) return rc;
  rc = sqlite3_create_function_v2(db, "ORA_VARIANCE", 1, SQLITE_UTF8 | SQLITE_DETERMINISTIC, session, nullptr,
                                  agg_var_step, agg_variance_final, nullptr);
  if (rc != SQLITE_OK) return rc;
  return dl_register_dictionary(db);
}
