// Value forms of the dialect: Oracle's number text, DATE/TIMESTAMP text and
// calendar arithmetic, datetime and number format models.

#include <cctype>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <string>
#include <vector>

#include "dialect.h"
#include "dialect_int.h"

namespace dl {

// ------------------------------------------------------------ calendar

// Days since 0001-01-01 (proleptic Gregorian), after H. Hinnant's algorithm.
int64_t days_from_civil(int y, int m, int d) {
  y -= m <= 2;
  const int64_t era = (y >= 0 ? y : y - 399) / 400;
  const unsigned yoe = (unsigned)(y - era * 400);
  const unsigned doy = (153 * (m + (m > 2 ? -3 : 9)) + 2) / 5 + (unsigned)d - 1;
  const unsigned doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
  // 719468 days from 0000-03-01 to 1970-01-01; 719162 from 0001-01-01 to 1970-01-01
  return era * 146097 + (int64_t)doe - 719468 + 719162;
}

void civil_from_days(int64_t days, int* y, int* m, int* d) {
  int64_t z = days - 719162 + 719468;
  const int64_t era = (z >= 0 ? z : z - 146096) / 146097;
  const unsigned doe = (unsigned)(z - era * 146097);
  const unsigned yoe = (doe - doe / 1460 + doe / 36524 - doe / 146096) / 365;
  const int64_t yy = (int64_t)yoe + era * 400;
  const unsigned doy = doe - (365 * yoe + yoe / 4 - yoe / 100);
  const unsigned mp = (5 * doy + 2) / 153;
  *d = (int)(doy - (153 * mp + 2) / 5 + 1);
  *m = (int)(mp < 10 ? mp + 3 : mp - 9);
  *y = (int)(yy + (*m <= 2));
}

int days_in_month(int y, int m) {
  static const int dm[] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
  if (m == 2) return (y % 4 == 0 && (y % 100 != 0 || y % 400 == 0)) ? 29 : 28;
  return dm[(m - 1) % 12];
}

bool datetime_valid(const DlDateTime& dt) {
  return dt.year >= 1 && dt.year <= 9999 && dt.month >= 1 && dt.month <= 12 && dt.day >= 1 &&
         dt.day <= days_in_month(dt.year, dt.month) && dt.hour >= 0 && dt.hour <= 23 &&
         dt.minute >= 0 && dt.minute <= 59 && dt.second >= 0 && dt.second <= 59 && dt.nanos >= 0 &&
         dt.nanos <= 999999999;
}

Instant to_instant(const DlDateTime& dt) {
  Instant in;
  in.secs = days_from_civil(dt.year, dt.month, dt.day) * 86400 + dt.hour * 3600 + dt.minute * 60 +
            dt.second;
  in.nanos = dt.nanos;
  return in;
}

DlDateTime from_instant(Instant in) {
  DlDateTime dt;
  int64_t days = in.secs >= 0 ? in.secs / 86400 : -((-in.secs + 86399) / 86400);
  int64_t rem = in.secs - days * 86400;
  civil_from_days(days, &dt.year, &dt.month, &dt.day);
  dt.hour = (int)(rem / 3600);
  dt.minute = (int)(rem / 60 % 60);
  dt.second = (int)(rem % 60);
  dt.nanos = in.nanos;
  return dt;
}

int64_t now_us() {
  struct timespec ts;
  clock_gettime(CLOCK_REALTIME, &ts);
  return (int64_t)ts.tv_sec * 1000000 + ts.tv_nsec / 1000;
}

DlDateTime local_from_unix_us(int64_t us) {
  time_t t = (time_t)(us / 1000000);
  struct tm tmv;
  localtime_r(&t, &tmv);
  DlDateTime dt;
  dt.year = tmv.tm_year + 1900;
  dt.month = tmv.tm_mon + 1;
  dt.day = tmv.tm_mday;
  dt.hour = tmv.tm_hour;
  dt.minute = tmv.tm_min;
  dt.second = tmv.tm_sec;
  dt.nanos = (int)(us % 1000000) * 1000;
  return dt;
}

// ------------------------------------------------------------ reserved

bool is_reserved(const std::string& w) {
  static const char* const words[] = {
      "ACCESS", "ADD", "ALL", "ALTER", "AND", "ANY", "AS", "ASC", "AUDIT", "BETWEEN", "BY",
      "CHAR", "CHECK", "CLUSTER", "COLUMN", "COMMENT", "COMPRESS", "CONNECT", "CREATE",
      "CURRENT", "DATE", "DECIMAL", "DEFAULT", "DELETE", "DESC", "DISTINCT", "DROP", "ELSE",
      "EXCLUSIVE", "EXISTS", "FILE", "FLOAT", "FOR", "FROM", "GRANT", "GROUP", "HAVING",
      "IDENTIFIED", "IMMEDIATE", "IN", "INCREMENT", "INDEX", "INITIAL", "INSERT", "INTEGER",
      "INTERSECT", "INTO", "IS", "LEVEL", "LIKE", "LOCK", "LONG", "MAXEXTENTS", "MINUS",
      "MLSLABEL", "MODE", "MODIFY", "NOAUDIT", "NOCOMPRESS", "NOT", "NOWAIT", "NULL", "NUMBER",
      "OF", "OFFLINE", "ON", "ONLINE", "OPTION", "OR", "ORDER", "PCTFREE", "PRIOR", "PRIVILEGES",
      "PUBLIC", "RAW", "RENAME", "RESOURCE", "REVOKE", "ROW", "ROWID", "ROWNUM", "ROWS", "SELECT",
      "SESSION", "SET", "SHARE", "SIZE", "SMALLINT", "START", "SUCCESSFUL", "SYNONYM", "SYSDATE",
      "TABLE", "THEN", "TO", "TRIGGER", "UID", "UNION", "UNIQUE", "UPDATE", "USER", "VALIDATE",
      "VALUES", "VARCHAR", "VARCHAR2", "VIEW", "WHENEVER", "WHERE", "WITH",
  };
  size_t lo = 0, hi = sizeof words / sizeof words[0];
  while (lo < hi) {
    size_t mid = (lo + hi) / 2;
    int c = std::strcmp(w.c_str(), words[mid]);
    if (c == 0) return true;
    if (c < 0) hi = mid;
    else lo = mid + 1;
  }
  return false;
}

std::string decltype_text(const DlColType& t, bool char_semantics) {
  char buf[64];
  switch (t.type) {
    case DL_T_NUMBER:
      if (t.scale == -127 && t.precision == 0) return "NUMBER";
      if (t.scale == -127) {
        std::snprintf(buf, sizeof buf, "FLOAT(%d)", t.precision);
      } else if (t.scale == 0) {
        std::snprintf(buf, sizeof buf, "NUMBER(%d)", t.precision);
      } else {
        std::snprintf(buf, sizeof buf, "NUMBER(%d,%d)", t.precision, t.scale);
      }
      return buf;
    case DL_T_VARCHAR2:
      if (t.csform == 2) std::snprintf(buf, sizeof buf, "NVARCHAR2(%u)", t.char_length);
      else if (char_semantics) std::snprintf(buf, sizeof buf, "VARCHAR2 CHAR(%u)", t.char_length);
      else std::snprintf(buf, sizeof buf, "VARCHAR2(%u)", t.size);
      return buf;
    case DL_T_CHAR:
      if (t.csform == 2) std::snprintf(buf, sizeof buf, "NCHAR(%u)", t.char_length);
      else if (char_semantics) std::snprintf(buf, sizeof buf, "CHAR CHAR(%u)", t.char_length);
      else std::snprintf(buf, sizeof buf, "CHAR(%u)", t.size);
      return buf;
    case DL_T_DATE: return "DATE";
    case DL_T_TIMESTAMP:
      std::snprintf(buf, sizeof buf, "TIMESTAMP(%d)", t.scale);
      return buf;
    case DL_T_RAW:
      // "BLOB" in the name gives the column no affinity, so hex text is not
      // turned into a number before the trigger converts it.
      std::snprintf(buf, sizeof buf, "RAW BLOB(%u)", t.size);
      return buf;
    case DL_T_LONG: return "LONG VARCHAR";
    case DL_T_LONG_RAW: return "LONG RAW BLOB";
    case DL_T_CLOB: return t.csform == 2 ? "NCLOB" : "CLOB";
    case DL_T_BLOB: return "BLOB";
    case DL_T_BINARY_FLOAT: return "BINARY_FLOAT";
    case DL_T_BINARY_DOUBLE: return "BINARY_DOUBLE";
    default: return "";
  }
}

// ------------------------------------------------------------- numbers

// Decimal digits of |v| to 15 significant digits: digits[0..14], and the
// power of ten of the first digit.
static void decimal15(double v, char digits[16], int* exp10) {
  char buf[48];
  std::snprintf(buf, sizeof buf, "%.14e", std::fabs(v));
  // buf: d.dddddddddddddde+XX
  digits[0] = buf[0];
  std::memcpy(digits + 1, buf + 2, 14);
  digits[15] = 0;
  *exp10 = std::atoi(buf + 17);
}

double round_decimal(double v, int n, bool truncate) {
  if (v == 0 || !std::isfinite(v)) return v;
  char d[16];
  int e;
  decimal15(v, d, &e);
  int keep = e + 1 + n;  // digits kept
  if (keep >= 15) return v;
  if (keep < 0) return 0.0;
  bool up = !truncate && d[keep] >= '5';
  std::string s(d, (size_t)keep);
  int scale_exp = e + 1 - keep;  // value = int(s) * 10^scale_exp
  if (up) {
    int i = keep - 1;
    while (i >= 0 && s[(size_t)i] == '9') {
      s[(size_t)i] = '0';
      --i;
    }
    if (i < 0) s.insert(s.begin(), '1');
    else s[(size_t)i]++;
  }
  if (s.empty()) return 0.0;
  s += "e" + std::to_string(scale_exp);
  double r = std::strtod(s.c_str(), nullptr);
  return v < 0 ? -r : r;
}

}  // namespace dl

size_t dl_int_text(int64_t v, char* buf) {
  return (size_t)std::snprintf(buf, 48, "%lld", (long long)v);
}

size_t dl_number_text(double v, char* buf) {
  if (std::isnan(v)) return (size_t)std::snprintf(buf, 48, "Nan");
  if (std::isinf(v)) return (size_t)std::snprintf(buf, 48, v < 0 ? "-Inf" : "Inf");
  if (v == 0) return (size_t)std::snprintf(buf, 48, "0");
  char d[16];
  int e;
  dl::decimal15(v, d, &e);
  int nd = 15;
  while (nd > 1 && d[nd - 1] == '0') --nd;
  std::string out;
  if (v < 0) out += '-';
  // plain form when it fits in 40 characters
  int int_digits = e + 1;
  size_t plain_len;
  if (int_digits >= nd) plain_len = (size_t)int_digits;
  else if (int_digits > 0) plain_len = (size_t)nd + 1;
  else plain_len = (size_t)(1 - int_digits + nd);
  if (plain_len + (v < 0) <= 40) {
    if (int_digits >= nd) {
      out.append(d, (size_t)nd);
      out.append((size_t)(int_digits - nd), '0');
    } else if (int_digits > 0) {
      out.append(d, (size_t)int_digits);
      out += '.';
      out.append(d + int_digits, (size_t)(nd - int_digits));
    } else {
      out += '.';
      out.append((size_t)(-int_digits), '0');
      out.append(d, (size_t)nd);
    }
  } else {
    out += d[0];
    out += '.';
    if (nd > 1) out.append(d + 1, (size_t)(nd - 1));
    else out += '0';
    char eb[16];
    std::snprintf(eb, sizeof eb, "E%c%02d", e < 0 ? '-' : '+', e < 0 ? -e : e);
    out += eb;
  }
  std::memcpy(buf, out.c_str(), out.size() + 1);
  return out.size();
}

int dl_parse_number(const char* s, size_t len, int64_t* iv, double* dv) {
  size_t i = 0;
  while (i < len && std::isspace((unsigned char)s[i])) ++i;
  while (len > i && std::isspace((unsigned char)s[len - 1])) --len;
  if (i >= len) return 0;
  size_t start = i;
  if (s[i] == '+' || s[i] == '-') ++i;
  size_t digits = 0;
  bool point = false, expo = false;
  while (i < len && std::isdigit((unsigned char)s[i])) { ++i; ++digits; }
  if (i < len && s[i] == '.') {
    point = true;
    ++i;
    while (i < len && std::isdigit((unsigned char)s[i])) { ++i; ++digits; }
  }
  if (digits == 0) return 0;
  if (i < len && (s[i] == 'e' || s[i] == 'E')) {
    expo = true;
    ++i;
    if (i < len && (s[i] == '+' || s[i] == '-')) ++i;
    size_t ed = 0;
    while (i < len && std::isdigit((unsigned char)s[i])) { ++i; ++ed; }
    if (ed == 0) return 0;
  }
  if (i != len) return 0;
  std::string t(s + start, len - start);
  if (!point && !expo) {
    errno = 0;
    char* end = nullptr;
    long long v = std::strtoll(t.c_str(), &end, 10);
    if (errno == 0) {
      *iv = v;
      return 1;
    }
  }
  double d = std::strtod(t.c_str(), nullptr);
  if (std::isinf(d)) return 0;
  if (d == std::trunc(d) && std::fabs(d) < 9007199254740992.0) {
    *iv = (int64_t)d;
    return 1;
  }
  *dv = d;
  return 2;
}

// ----------------------------------------------------------- datetimes

bool dl_datetime_parse(const char* s, size_t len, DlDateTime* out, bool* is_ts) {
  if (len != 19 && len != 29) return false;
  auto dig = [&](size_t at, size_t n, int* v) {
    int r = 0;
    for (size_t k = 0; k < n; ++k) {
      char c = s[at + k];
      if (c < '0' || c > '9') return false;
      r = r * 10 + (c - '0');
    }
    *v = r;
    return true;
  };
  DlDateTime dt;
  if (s[4] != '-' || s[7] != '-' || s[10] != ' ' || s[13] != ':' || s[16] != ':') return false;
  if (!dig(0, 4, &dt.year) || !dig(5, 2, &dt.month) || !dig(8, 2, &dt.day) || !dig(11, 2, &dt.hour) ||
      !dig(14, 2, &dt.minute) || !dig(17, 2, &dt.second))
    return false;
  if (len == 29) {
    if (s[19] != '.' || !dig(20, 9, &dt.nanos)) return false;
  }
  if (!dl::datetime_valid(dt)) return false;
  *out = dt;
  if (is_ts) *is_ts = len == 29;
  return true;
}

size_t dl_datetime_text(const DlDateTime* dt, bool ts, char* buf) {
  if (ts) {
    return (size_t)std::snprintf(buf, 32, "%04d-%02d-%02d %02d:%02d:%02d.%09d", dt->year, dt->month,
                                 dt->day, dt->hour, dt->minute, dt->second, dt->nanos);
  }
  return (size_t)std::snprintf(buf, 32, "%04d-%02d-%02d %02d:%02d:%02d", dt->year, dt->month,
                               dt->day, dt->hour, dt->minute, dt->second);
}

size_t dl_rowid_text(int64_t rowid, char* buf) {
  return (size_t)std::snprintf(buf, 24, "%018lld", (long long)rowid);
}

// ------------------------------------------------------ format models

namespace dl {
namespace {

const char* const kMonths[] = {"JANUARY", "FEBRUARY", "MARCH",     "APRIL",   "MAY",      "JUNE",
                               "JULY",    "AUGUST",   "SEPTEMBER", "OCTOBER", "NOVEMBER", "DECEMBER"};
const char* const kDays[] = {"SUNDAY", "MONDAY", "TUESDAY", "WEDNESDAY", "THURSDAY", "FRIDAY",
                             "SATURDAY"};
const char* const kRoman[] = {"I", "II", "III", "IV", "V", "VI", "VII", "VIII", "IX", "X", "XI", "XII"};

enum El {
  E_LIT, E_SYYYY, E_YYYY, E_YYY, E_YY, E_Y, E_Y_YYY, E_RRRR, E_RR, E_IYYY, E_IYY, E_IY, E_SCC,
  E_CC, E_Q, E_MONTH, E_MON, E_MM, E_RM, E_WW, E_IW, E_W, E_DDD, E_DD, E_DAY, E_DY, E_D, E_J,
  E_HH24, E_HH12, E_HH, E_MI, E_SSSSS, E_SS, E_FF, E_AM, E_PM, E_AMD, E_PMD, E_AD, E_BC, E_ADD,
  E_BCD, E_FM, E_FX, E_X,
};

struct Elem {
  El e;
  std::string lit;
  int casing = 0;  // 0 upper, 1 initcap, 2 lower
  int ffdigits = 0;
};

struct ElName {
  const char* name;
  El e;
};

// Longest names first within each letter so that the first match is right.
const ElName kElNames[] = {
    {"SYYYY", E_SYYYY}, {"Y,YYY", E_Y_YYY}, {"YYYY", E_YYYY}, {"YYY", E_YYY}, {"YY", E_YY},
    {"Y", E_Y}, {"RRRR", E_RRRR}, {"RR", E_RR}, {"RM", E_RM}, {"IYYY", E_IYYY}, {"IYY", E_IYY},
    {"IY", E_IY}, {"IW", E_IW}, {"SCC", E_SCC}, {"SSSSS", E_SSSSS}, {"SS", E_SS}, {"CC", E_CC},
    {"Q", E_Q}, {"MONTH", E_MONTH}, {"MON", E_MON}, {"MM", E_MM}, {"MI", E_MI}, {"WW", E_WW},
    {"W", E_W}, {"DDD", E_DDD}, {"DD", E_DD}, {"DAY", E_DAY}, {"DY", E_DY}, {"D", E_D},
    {"J", E_J}, {"HH24", E_HH24}, {"HH12", E_HH12}, {"HH", E_HH}, {"FF", E_FF}, {"FM", E_FM},
    {"FX", E_FX}, {"A.M.", E_AMD}, {"P.M.", E_PMD}, {"AM", E_AM}, {"PM", E_PM}, {"A.D.", E_ADD},
    {"B.C.", E_BCD}, {"AD", E_AD}, {"BC", E_BC}, {"X", E_X},
};

bool is_numeric_el(El e) {
  switch (e) {
    case E_LIT: case E_MONTH: case E_MON: case E_RM: case E_DAY: case E_DY: case E_AM: case E_PM:
    case E_AMD: case E_PMD: case E_AD: case E_BC: case E_ADD: case E_BCD: case E_FM: case E_FX:
    case E_X:
      return false;
    default:
      return true;
  }
}

int tokenize_fmt(const char* f, size_t n, std::vector<Elem>* out) {
  size_t i = 0;
  while (i < n) {
    char c = f[i];
    if (c == '"') {
      size_t j = i + 1;
      while (j < n && f[j] != '"') ++j;
      if (j >= n) return 1821;
      Elem el;
      el.e = E_LIT;
      el.lit.assign(f + i + 1, j - i - 1);
      out->push_back(el);
      i = j + 1;
      continue;
    }
    if (std::strchr("-/,.;: ", c) && c) {
      // "Y,YYY" and "A.M." start with a letter; plain punctuation here
      Elem el;
      el.e = E_LIT;
      el.lit.assign(1, c);
      out->push_back(el);
      ++i;
      continue;
    }
    bool found = false;
    for (const ElName& en : kElNames) {
      size_t len = std::strlen(en.name);
      if (i + len > n) continue;
      bool match = true;
      for (size_t k = 0; k < len; ++k) {
        if (std::toupper((unsigned char)f[i + k]) != en.name[k]) {
          match = false;
          break;
        }
      }
      if (!match) continue;
      Elem el;
      el.e = en.e;
      unsigned char c0 = (unsigned char)f[i];
      unsigned char c1 = len > 1 ? (unsigned char)f[i + 1] : 0;
      if (std::islower(c0)) el.casing = 2;
      else if (c1 && std::islower(c1)) el.casing = 1;
      i += len;
      if (en.e == E_FF) {
        if (i < n && f[i] >= '1' && f[i] <= '9') {
          el.ffdigits = f[i] - '0';
          ++i;
        }
      }
      out->push_back(el);
      found = true;
      break;
    }
    if (!found) return 1821;  // date format not recognized
  }
  return 0;
}

std::string cased(const char* word, int casing) {
  std::string s = word;
  for (size_t i = 0; i < s.size(); ++i) {
    if (casing == 2 || (casing == 1 && i > 0)) s[i] = (char)std::tolower((unsigned char)s[i]);
  }
  return s;
}

int iso_week(const DlDateTime& dt, int* iso_year) {
  int64_t days = days_from_civil(dt.year, dt.month, dt.day);
  int wd = (int)(days % 7);  // Monday = 0 ... Sunday = 6 (0001-01-01 is a Monday)
  int64_t thursday = days - wd + 3;
  int y, m, d;
  civil_from_days(thursday, &y, &m, &d);
  *iso_year = y;
  int64_t jan1 = days_from_civil(y, 1, 1);
  return (int)((thursday - jan1) / 7 + 1);
}

}  // namespace

int format_datetime(const DlDateTime& dt, const char* fmt, size_t fmtlen, std::string* out) {
  std::vector<Elem> els;
  if (int rc = tokenize_fmt(fmt, fmtlen, &els)) return rc;
  bool fm = false;
  char buf[64];
  auto num = [&](long v, int width) {
    if (fm) std::snprintf(buf, sizeof buf, "%ld", v);
    else std::snprintf(buf, sizeof buf, "%0*ld", width, v);
    *out += buf;
  };
  int64_t days = days_from_civil(dt.year, dt.month, dt.day);
  int wd = (int)((days + 1) % 7);  // 0 Sunday ... 6 Saturday (0001-01-01 is a Monday)
  int doy = (int)(days - days_from_civil(dt.year, 1, 1)) + 1;
  for (const Elem& el : els) {
    switch (el.e) {
      case E_LIT: *out += el.lit; break;
      case E_FM: fm = !fm; break;
      case E_FX: break;
      case E_SYYYY: num(dt.year, 4); break;
      case E_YYYY: case E_RRRR: num(dt.year, 4); break;
      case E_Y_YYY:
        std::snprintf(buf, sizeof buf, "%d,%03d", dt.year / 1000, dt.year % 1000);
        *out += buf;
        break;
      case E_YYY: num(dt.year % 1000, 3); break;
      case E_YY: case E_RR: num(dt.year % 100, 2); break;
      case E_Y: num(dt.year % 10, 1); break;
      case E_IYYY: case E_IYY: case E_IY: {
        int iy;
        iso_week(dt, &iy);
        int w = el.e == E_IYYY ? 4 : el.e == E_IYY ? 3 : 2;
        num(w == 4 ? iy : iy % (w == 3 ? 1000 : 100), w);
        break;
      }
      case E_SCC: case E_CC: num((dt.year + 99) / 100, 2); break;
      case E_Q: num((dt.month - 1) / 3 + 1, 1); break;
      case E_MM: num(dt.month, 2); break;
      case E_RM: {
        std::string r = kRoman[dt.month - 1];
        if (!fm) r.resize(4, ' ');
        *out += cased(r.c_str(), el.casing == 0 ? 0 : 2);
        break;
      }
      case E_MONTH: {
        std::string m = cased(kMonths[dt.month - 1], el.casing);
        if (!fm) m.resize(9, ' ');
        *out += m;
        break;
      }
      case E_MON: *out += cased(std::string(kMonths[dt.month - 1], 3).c_str(), el.casing); break;
      case E_WW: num((doy - 1) / 7 + 1, 2); break;
      case E_IW: {
        int iy;
        num(iso_week(dt, &iy), 2);
        break;
      }
      case E_W: num((dt.day - 1) / 7 + 1, 1); break;
      case E_DDD: num(doy, 3); break;
      case E_DD: num(dt.day, 2); break;
      case E_D: num(wd + 1, 1); break;  // Sunday = 1 (AMERICA territory)
      case E_DAY: {
        std::string d = cased(kDays[wd], el.casing);
        if (!fm) d.resize(9, ' ');
        *out += d;
        break;
      }
      case E_DY: *out += cased(std::string(kDays[wd], 3).c_str(), el.casing); break;
      case E_J: num((long)(days + 1721426), 7); break;  // Julian day of 0001-01-01 is 1721426
      case E_HH24: num(dt.hour, 2); break;
      case E_HH12: case E_HH: num(dt.hour % 12 == 0 ? 12 : dt.hour % 12, 2); break;
      case E_MI: num(dt.minute, 2); break;
      case E_SS: num(dt.second, 2); break;
      case E_SSSSS: num(dt.hour * 3600 + dt.minute * 60 + dt.second, 5); break;
      case E_FF: {
        int digits = el.ffdigits ? el.ffdigits : 9;
        std::snprintf(buf, sizeof buf, "%09d", dt.nanos);
        out->append(buf, (size_t)digits);
        break;
      }
      case E_AM: case E_PM:
        *out += cased(dt.hour < 12 ? "AM" : "PM", el.casing);
        break;
      case E_AMD: case E_PMD:
        *out += cased(dt.hour < 12 ? "A.M." : "P.M.", el.casing);
        break;
      case E_AD: case E_BC: *out += cased("AD", el.casing); break;
      case E_ADD: case E_BCD: *out += cased("A.D.", el.casing); break;
      case E_X: *out += '.'; break;
    }
  }
  return 0;
}

int parse_datetime(const char* s, size_t len, const char* fmt, size_t fmtlen, const DlDateTime& now,
                   DlDateTime* out, bool* has_fraction) {
  std::vector<Elem> els;
  if (int rc = tokenize_fmt(fmt, fmtlen, &els)) return rc;
  size_t i = 0;
  bool fx = false;
  int year = -1, month = -1, day = -1, hour = -1, minute = -1, second = -1, nanos = 0;
  int doy = -1, sssss = -1, pm = -1;
  long julian = -1;
  bool hour12 = false;
  *has_fraction = false;
  auto skip_spaces = [&]() {
    while (i < len && s[i] == ' ') ++i;
  };
  auto read_num = [&](int maxdigits, long* v, bool allow_sign) -> int {
    if (!fx) skip_spaces();
    bool neg = false;
    if (allow_sign && i < len && (s[i] == '-' || s[i] == '+')) {
      neg = s[i] == '-';
      ++i;
    }
    size_t st = i;
    long r = 0;
    while (i < len && i - st < (size_t)maxdigits && std::isdigit((unsigned char)s[i])) {
      r = r * 10 + (s[i] - '0');
      ++i;
    }
    if (i == st) return i >= len ? 1840 : 1858;
    if (fx && i - st != (size_t)maxdigits) return 1862;
    *v = neg ? -r : r;
    return 0;
  };
  auto match_word = [&](const char* const* words, int count, int prefix_len, int* idx) -> bool {
    if (!fx) skip_spaces();
    for (int k = 0; k < count; ++k) {
      size_t wl = prefix_len ? (size_t)prefix_len : std::strlen(words[k]);
      if (i + wl > len) continue;
      bool ok = true;
      for (size_t q = 0; q < wl; ++q) {
        if (std::toupper((unsigned char)s[i + q]) != words[k][q]) {
          ok = false;
          break;
        }
      }
      if (ok) {
        i += wl;
        *idx = k;
        return true;
      }
    }
    return false;
  };
  for (size_t ei = 0; ei < els.size(); ++ei) {
    const Elem& el = els[ei];
    long v = 0;
    int rc = 0;
    if (el.e != E_LIT && el.e != E_FM && el.e != E_FX && i >= len) return 1840;
    switch (el.e) {
      case E_FM: break;
      case E_FX: fx = true; break;
      case E_LIT: {
        // punctuation in the format matches any punctuation in the input
        // and may be left out between two numbers ("20240102" for
        // 'YYYY-MM-DD'); anything else is a mismatch.
        bool next_numeric = ei + 1 < els.size() && is_numeric_el(els[ei + 1].e);
        for (char c : el.lit) {
          if (i < len && s[i] == c) {
            ++i;
          } else if (!fx && i < len && !std::isalnum((unsigned char)s[i]) &&
                     (c == ' ' || std::ispunct((unsigned char)c))) {
            ++i;
          } else if (!fx && (i >= len || (next_numeric && std::isdigit((unsigned char)s[i]))) &&
                     (c == ' ' || std::ispunct((unsigned char)c))) {
          } else {
            return 1861;
          }
        }
        break;
      }
      case E_SYYYY: case E_YYYY: case E_RRRR: case E_IYYY:
        rc = read_num(4, &v, el.e == E_SYYYY);
        if (rc) return rc;
        if (el.e == E_RRRR && i > 0 && v < 100 && v >= 0) {
          // RRRR with two digits behaves as RR
          int cy = now.year % 100, cc = now.year / 100;
          int c = cc;
          if (v < 50 && cy >= 50) c = cc + 1;
          else if (v >= 50 && cy < 50) c = cc - 1;
          v = c * 100 + v;
        }
        year = (int)v;
        break;
      case E_Y_YYY: {
        long a = 0, b = 0;
        if ((rc = read_num(1, &a, false))) return rc;
        if (i < len && s[i] == ',') ++i;
        if ((rc = read_num(3, &b, false))) return rc;
        year = (int)(a * 1000 + b);
        break;
      }
      case E_YYY: case E_IYY:
        if ((rc = read_num(3, &v, false))) return rc;
        year = (int)(now.year / 1000 * 1000 + v);
        break;
      case E_YY: case E_IY:
        if ((rc = read_num(2, &v, false))) return rc;
        year = (int)(now.year / 100 * 100 + v);
        break;
      case E_Y:
        if ((rc = read_num(1, &v, false))) return rc;
        year = (int)(now.year / 10 * 10 + v);
        break;
      case E_RR: {
        size_t st = i;
        if ((rc = read_num(fx ? 2 : 4, &v, false))) return rc;
        if (i - st <= 2) {
          int cy = now.year % 100, cc = now.year / 100;
          int c = cc;
          if (v < 50 && cy >= 50) c = cc + 1;
          else if (v >= 50 && cy < 50) c = cc - 1;
          v = c * 100 + v;
        }
        year = (int)v;
        break;
      }
      case E_SCC: case E_CC:
        if ((rc = read_num(2, &v, false))) return rc;
        year = (int)((v - 1) * 100 + 1);
        break;
      case E_Q:
        if ((rc = read_num(1, &v, false))) return rc;
        break;  // accepted, not used (as Oracle)
      case E_MM:
        if ((rc = read_num(2, &v, false))) return rc;
        if (v < 1 || v > 12) return 1843;
        if (month >= 0) return 1816;
        month = (int)v;
        break;
      case E_MON:
      case E_MONTH: {
        int idx = -1;
        if (month >= 0) return 1816;
        if (!match_word(kMonths, 12, 0, &idx) && !match_word(kMonths, 12, 3, &idx)) return 1843;
        month = idx + 1;
        break;
      }
      case E_RM: {
        static const char* const roman_long_first[] = {"VIII", "XII", "III", "VII", "XI", "IX",
                                                       "IV",   "VI",  "II",  "X",   "V",  "I"};
        static const int roman_val[] = {8, 12, 3, 7, 11, 9, 4, 6, 2, 10, 5, 1};
        int idx = -1;
        if (!match_word(roman_long_first, 12, 0, &idx)) return 1843;
        month = roman_val[idx];
        break;
      }
      case E_WW: case E_IW: case E_W:
        if ((rc = read_num(2, &v, false))) return rc;
        break;  // week numbers are not used when converting to a date
      case E_DDD:
        if ((rc = read_num(3, &v, false))) return rc;
        if (v < 1 || v > 366) return 1848;
        doy = (int)v;
        break;
      case E_DD:
        if ((rc = read_num(2, &v, false))) return rc;
        if (v < 1 || v > 31) return 1847;
        day = (int)v;
        break;
      case E_D:
        if ((rc = read_num(1, &v, false))) return rc;
        if (v < 1 || v > 7) return 1846;
        break;
      case E_DAY:
      case E_DY: {
        int idx = -1;
        if (!match_word(kDays, 7, 0, &idx) && !match_word(kDays, 7, 3, &idx)) return 1846;
        break;
      }
      case E_J:
        if ((rc = read_num(7, &v, false))) return rc;
        julian = v;
        break;
      case E_HH24:
        if ((rc = read_num(2, &v, false))) return rc;
        if (v > 23) return 1850;
        hour = (int)v;
        break;
      case E_HH12:
      case E_HH:
        if ((rc = read_num(2, &v, false))) return rc;
        if (v < 1 || v > 12) return 1849;
        hour = (int)v;
        hour12 = true;
        break;
      case E_MI:
        if ((rc = read_num(2, &v, false))) return rc;
        if (v > 59) return 1851;
        minute = (int)v;
        break;
      case E_SS:
        if ((rc = read_num(2, &v, false))) return rc;
        if (v > 59) return 1852;
        second = (int)v;
        break;
      case E_SSSSS:
        if ((rc = read_num(5, &v, false))) return rc;
        if (v > 86399) return 1853;
        sssss = (int)v;
        break;
      case E_FF: {
        int digits = el.ffdigits ? el.ffdigits : 9;
        size_t st = i;
        long r = 0;
        while (i < len && i - st < (size_t)digits && std::isdigit((unsigned char)s[i])) {
          r = r * 10 + (s[i] - '0');
          ++i;
        }
        if (i == st) return 1858;
        for (size_t k = i - st; k < 9; ++k) r *= 10;
        nanos = (int)r;
        *has_fraction = true;
        break;
      }
      case E_AM: case E_PM: case E_AMD: case E_PMD: {
        static const char* const ampm[] = {"A.M.", "P.M.", "AM", "PM"};
        int idx = -1;
        if (!match_word(ampm, 4, 0, &idx)) return 1855;
        pm = idx % 2;
        break;
      }
      case E_AD: case E_BC: case E_ADD: case E_BCD: {
        static const char* const era[] = {"A.D.", "B.C.", "AD", "BC"};
        int idx = -1;
        if (!match_word(era, 4, 0, &idx)) return 1861;
        if (idx % 2 == 1) return 1841;  // years before Christ are not kept
        break;
      }
      case E_X:
        if (i < len && s[i] == '.') ++i;
        else return 1861;
        break;
    }
  }
  while (i < len && s[i] == ' ') ++i;
  if (i < len) return 1830;
  DlDateTime dt;
  dt.year = year >= 0 ? year : now.year;
  dt.month = month >= 0 ? month : now.month;
  dt.day = day >= 0 ? day : 1;
  if (hour12) {
    if (pm == 1 && hour < 12) hour += 12;
    else if (pm == 0 && hour == 12) hour = 0;
  }
  dt.hour = hour >= 0 ? hour : 0;
  dt.minute = minute >= 0 ? minute : 0;
  dt.second = second >= 0 ? second : 0;
  dt.nanos = nanos;
  if (sssss >= 0) {
    dt.hour = sssss / 3600;
    dt.minute = sssss / 60 % 60;
    dt.second = sssss % 60;
  }
  if (dt.year < 1 || dt.year > 9999) return 1841;
  if (julian >= 0) {
    if (julian < 1721426) return 1841;
    civil_from_days(julian - 1721426, &dt.year, &dt.month, &dt.day);
  } else if (doy >= 0) {
    int64_t base = days_from_civil(dt.year, 1, 1);
    int ylen = days_in_month(dt.year, 2) == 29 ? 366 : 365;
    if (doy > ylen) return 1848;
    civil_from_days(base + doy - 1, &dt.year, &dt.month, &dt.day);
  }
  if (dt.day > days_in_month(dt.year, dt.month)) return 1839;
  if (dt.year < 1 || dt.year > 9999) return 1841;
  *out = dt;
  return 0;
}

// --------------------------------------------------- number formats

int format_number(double v, bool is_int, int64_t iv, const char* f, size_t n, std::string* out) {
  // parse the model
  bool fm = false, dollar = false, lead_s = false, trail_s = false, trail_mi = false, pr = false,
       eeee = false, blank_zero = false;
  int int_digits = 0, frac_digits = 0, zero_from = -1, hex_digits = 0;
  bool hex_zero = false;
  bool seen_point = false;
  std::vector<int> groups;  // positions (count of int digits before the separator)
  std::string f_up;
  for (size_t i = 0; i < n; ++i) f_up += (char)std::toupper((unsigned char)f[i]);
  if (f_up == "TM" || f_up == "TM9" || f_up == "TME") {
    char buf[48];
    if (is_int) dl_int_text(iv, buf);
    else dl_number_text(v, buf);
    *out = buf;
    return 0;
  }
  size_t i = 0;
  while (i < f_up.size()) {
    char c = f_up[i];
    if (f_up.compare(i, 2, "FM") == 0) { fm = true; i += 2; continue; }
    if (f_up.compare(i, 4, "EEEE") == 0) { eeee = true; i += 4; continue; }
    if (f_up.compare(i, 2, "MI") == 0) { trail_mi = true; i += 2; continue; }
    if (f_up.compare(i, 2, "PR") == 0) { pr = true; i += 2; continue; }
    switch (c) {
      case '9':
      case '0':
        if (seen_point) ++frac_digits;
        else {
          if (c == '0' && zero_from < 0) zero_from = int_digits;
          ++int_digits;
        }
        break;
      case 'X':
        ++hex_digits;
        break;
      case ',':
      case 'G':
        if (seen_point) return 1481;
        groups.push_back(int_digits);
        break;
      case '.':
      case 'D':
        if (seen_point) return 1481;
        seen_point = true;
        break;
      case '$':
      case 'L':
        dollar = true;
        break;
      case 'S':
        if (i == 0) lead_s = true;
        else trail_s = true;
        break;
      case 'B':
        blank_zero = true;
        break;
      default:
        return 1481;  // invalid number format model
    }
    ++i;
  }
  if (hex_digits > 0) {
    hex_zero = f_up.find('0') != std::string::npos;
    double r = is_int ? (double)iv : std::nearbyint(v);
    if (r < 0) {
      out->assign((size_t)hex_digits + 1, '#');
      return 0;
    }
    char buf[40];
    std::snprintf(buf, sizeof buf, hex_zero ? "%0*llX" : "%*llX", hex_digits, (unsigned long long)r);
    if ((int)std::strlen(buf) > hex_digits) {
      out->assign((size_t)hex_digits + 1, '#');
      return 0;
    }
    if (f[0] == 'x') for (char* p = buf; *p; ++p) *p = (char)std::tolower((unsigned char)*p);
    std::string s = buf;
    if (fm) s.erase(0, s.find_first_not_of(' '));
    *out = fm ? s : " " + s;  // the sign position
    return 0;
  }
  double val = is_int ? (double)iv : v;
  bool neg = val < 0 || (is_int && iv < 0);
  std::string body;
  if (eeee) {
    double a = std::fabs(val);
    int e = 0;
    if (a != 0) {
      e = (int)std::floor(std::log10(a));
      double m = round_decimal(a / std::pow(10.0, e), frac_digits, false);
      if (m >= 10) { m /= 10; ++e; }
      char buf[64];
      std::snprintf(buf, sizeof buf, "%.*f", frac_digits, m);
      body = buf;
    } else {
      char buf[64];
      std::snprintf(buf, sizeof buf, "%.*f", frac_digits, 0.0);
      body = buf;
    }
    char eb[16];
    std::snprintf(eb, sizeof eb, "E%c%02d", e < 0 ? '-' : '+', std::abs(e));
    body += eb;
  } else {
    // integer and fraction digits after rounding
    std::string ipart, fpart;
    if (is_int && frac_digits >= 0) {
      unsigned long long a = iv < 0 ? (unsigned long long)(-(iv + 1)) + 1 : (unsigned long long)iv;
      ipart = std::to_string(a);
      fpart.assign((size_t)frac_digits, '0');
    } else {
      double a = round_decimal(std::fabs(val), frac_digits, false);
      char buf[512];
      std::snprintf(buf, sizeof buf, "%.*f", frac_digits, a);
      std::string s = buf;
      size_t dot = s.find('.');
      ipart = dot == std::string::npos ? s : s.substr(0, dot);
      fpart = dot == std::string::npos ? "" : s.substr(dot + 1);
      if (a == 0) neg = false;
    }
    if (ipart == "0") ipart.clear();
    if ((int)ipart.size() > int_digits) {
      size_t width = n + 1;
      if (fm) width = n;
      out->assign(width, '#');
      return 0;
    }
    // leading zeros from the first '0' of the model
    int pad_zero = zero_from >= 0 ? int_digits - zero_from : 0;
    while ((int)ipart.size() < pad_zero) ipart.insert(ipart.begin(), '0');
    if (ipart.empty() && fpart.empty()) ipart = "0";
    if (ipart.empty() && frac_digits == 0) ipart = "0";
    if (blank_zero && val == 0) {
      out->assign(fm ? 0 : n + 1, ' ');
      return 0;
    }
    // group separators: positions count digits from the left of the model
    std::string withg;
    int offset = int_digits - (int)ipart.size();
    for (size_t k = 0; k < ipart.size(); ++k) {
      for (int g : groups)
        if (g == (int)k + offset && k > 0) withg += ',';
      withg += ipart[k];
    }
    body = withg;
    if (seen_point) body += "." + fpart;
    // pad to the model's width (digits + separators + point)
    if (!fm) {
      size_t width = (size_t)int_digits + groups.size() + (seen_point ? 1 + frac_digits : 0);
      if (body.size() < width) body.insert(0, width - body.size(), ' ');
    }
  }
  if (dollar) {
    size_t first = body.find_first_not_of(' ');
    body.insert(first == std::string::npos ? 0 : first, "$");
  }
  std::string res;
  if (lead_s) {
    size_t first = body.find_first_not_of(' ');
    body.insert(first == std::string::npos ? 0 : first, neg ? "-" : "+");
    res = body;
  } else if (trail_s) {
    res = body + (neg ? "-" : "+");
  } else if (trail_mi) {
    res = body + (neg ? "-" : (fm ? "" : " "));
  } else if (pr) {
    if (neg) {
      size_t first = body.find_first_not_of(' ');
      body.insert(first == std::string::npos ? 0 : first, "<");
      res = body + ">";
    } else {
      res = fm ? body : " " + body + " ";
    }
  } else {
    size_t first = body.find_first_not_of(' ');
    if (neg) body.insert(first == std::string::npos ? 0 : first, "-");
    else if (!fm) body.insert(0, " ");
    res = body;
  }
  if (fm) {
    size_t a = res.find_first_not_of(' ');
    res = a == std::string::npos ? "" : res.substr(a);
  }
  *out = res;
  return 0;
}

int parse_number_fmt(const char* s, size_t len, const char* f, size_t n, int64_t* iv, double* dv,
                     int* kind) {
  std::string fu;
  for (size_t i = 0; i < n; ++i) fu += (char)std::toupper((unsigned char)f[i]);
  std::string t(s, len);
  if (fu.find('X') != std::string::npos) {
    size_t a = t.find_first_not_of(' ');
    if (a == std::string::npos) return 1722;
    char* end = nullptr;
    unsigned long long v = std::strtoull(t.c_str() + a, &end, 16);
    while (end && *end == ' ') ++end;
    if (!end || *end) return 1722;
    *iv = (int64_t)v;
    *kind = 1;
    return 0;
  }
  // remove what the model adds around the digits
  std::string clean;
  bool neg = false;
  for (char c : t) {
    if (c == ',' || c == '$' || c == ' ') continue;
    if (c == '<' || c == '>') {
      neg = true;
      continue;
    }
    clean += c;
  }
  if (!clean.empty() && (clean.back() == '-' || clean.back() == '+')) {
    if (clean.back() == '-') neg = !neg;
    clean.pop_back();
  }
  if (clean.empty()) return 1722;
  int k = dl_parse_number(clean.data(), clean.size(), iv, dv);
  if (!k) return 1722;
  if (neg) {
    if (k == 1) *iv = -*iv;
    else *dv = -*dv;
  }
  *kind = k;
  return 0;
}

}  // namespace dl

bool dl_number_exact(const char* text, size_t len) {
  size_t i = 0;
  if (i < len && (text[i] == '+' || text[i] == '-')) ++i;
  std::string digits;  // every mantissa digit, the point dropped
  long point = -1;     // digits before the point
  for (; i < len; ++i) {
    const char c = text[i];
    if (c >= '0' && c <= '9') digits += c;
    else if (c == '.' && point < 0) point = static_cast<long>(digits.size());
    else break;
  }
  if (point < 0) point = static_cast<long>(digits.size());
  long exp10 = 0;
  if (i < len && (text[i] == 'e' || text[i] == 'E')) exp10 = std::strtol(std::string(text + i + 1, len - i - 1).c_str(), nullptr, 10);
  // Significant digits: from the first to the last non-zero one.
  const size_t first = digits.find_first_not_of('0');
  if (first == std::string::npos) return true;  // zero
  const size_t last = digits.find_last_not_of('0');
  if (last - first + 1 <= 15) return true;
  // A whole number within 64 bits is kept exactly too.
  const long intDigits = point + exp10;  // digits before the point after scaling
  if (static_cast<long>(last) >= intDigits) return false;  // has a fraction
  const long magnitude = intDigits - static_cast<long>(first);  // digits of the whole number
  if (magnitude < 19) return true;
  if (magnitude > 19) return false;
  std::string whole = digits.substr(first);
  whole.resize(static_cast<size_t>(magnitude), '0');
  const bool neg = len > 0 && text[0] == '-';
  return whole <= (neg ? "9223372036854775808" : "9223372036854775807");
}

std::string dl_number_inexact_message(const std::string& value) {
  return "unimplemented feature: number " + value +
         " is beyond the embedded database's exact NUMBER range (64-bit integers, or 15 significant digits)";
}
