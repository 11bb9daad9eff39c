// Internals shared by the dialect's translation, function library and error
// mapping. Not part of the interface the statement path uses.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

#include "dialect.h"

namespace dl {

// Seconds since 0001-01-01 00:00:00 (proleptic Gregorian) plus nanoseconds.
struct Instant {
  int64_t secs = 0;
  int32_t nanos = 0;
};

int64_t days_from_civil(int y, int m, int d);
void civil_from_days(int64_t days, int* y, int* m, int* d);
int days_in_month(int y, int m);
Instant to_instant(const DlDateTime& dt);
DlDateTime from_instant(Instant in);
bool datetime_valid(const DlDateTime& dt);

// Current time (UTC microseconds since the Unix epoch) and the local offset.
int64_t now_us();
DlDateTime local_from_unix_us(int64_t us);

// Oracle datetime format models. A DlError-style result: 0 or an Oracle error
// number; the text goes to *msg_arg when the message takes an argument.
int format_datetime(const DlDateTime& dt, const char* fmt, size_t fmtlen, std::string* out);
int parse_datetime(const char* s, size_t len, const char* fmt, size_t fmtlen,
                   const DlDateTime& now, DlDateTime* out, bool* has_fraction);

// Oracle number format models (TO_CHAR / TO_NUMBER).
int format_number(double v, bool is_int, int64_t iv, const char* fmt, size_t fmtlen,
                  std::string* out);
int parse_number_fmt(const char* s, size_t len, const char* fmt, size_t fmtlen,
                     int64_t* i, double* d, int* kind);

// Decimal rounding and truncation at n digits after the point (n may be
// negative), done on the 15-digit decimal form so 2.675 rounds to 2.68.
double round_decimal(double v, int n, bool truncate);

// Canonical declared type text for a column definition; returns 0 or an
// Oracle error (ORA-00902 / ORA-00907 / ORA-00910 ...). The parsing of the
// tokens is done by the translator; this formats the result.
std::string decltype_text(const DlColType& t, bool char_semantics);

bool is_reserved(const std::string& upper_word);

// A schema's record of its tables' keys to tables of other schemas (SQLite
// cannot declare them): the statement making it when missing. table is the
// qualified name, e.g. main."ORA$FK".
inline std::string cross_key_table_sql(const std::string& table) {
  return "CREATE TABLE IF NOT EXISTS " + table +
         " (\"CONSTRAINT_NAME\" TEXT, \"TABLE_NAME\" TEXT, \"COLUMNS\" TEXT, \"R_OWNER\" TEXT, "
         "\"R_TABLE\" TEXT, \"R_COLUMNS\" TEXT, \"DELETE_RULE\" TEXT)";
}

}  // namespace dl
