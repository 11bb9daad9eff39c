// One input: the first byte picks a scale and precision, the rest is a cell
// of character data converted into every C type, as narrow text and as the
// UTF-16 text of its bytes taken in pairs. Each conversion writes into a
// buffer of exactly the size it is given (an overrun is the sanitizer's to
// find), answers a known return code, and leaves a failure's reason pending.
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "odbc/data/conv.h"

namespace {

const SQLSMALLINT kTypes[] = {
    SQL_C_CHAR,          SQL_C_WCHAR,          SQL_C_BINARY,         SQL_C_BIT,
    SQL_C_STINYINT,      SQL_C_UTINYINT,       SQL_C_SSHORT,         SQL_C_USHORT,
    SQL_C_SLONG,         SQL_C_ULONG,          SQL_C_SBIGINT,        SQL_C_UBIGINT,
    SQL_C_FLOAT,         SQL_C_DOUBLE,         SQL_C_NUMERIC,        SQL_C_TYPE_DATE,
    SQL_C_TYPE_TIME,     SQL_C_TYPE_TIMESTAMP, SQL_C_GUID,           SQL_C_INTERVAL_YEAR,
    SQL_C_INTERVAL_DAY_TO_SECOND, SQL_C_INTERVAL_HOUR_TO_MINUTE,
};

void check(SQLRETURN rc, int pending) {
  if (rc != SQL_SUCCESS && rc != SQL_SUCCESS_WITH_INFO && rc != SQL_ERROR) std::abort();
  if (rc != SQL_SUCCESS && pending == 0) std::abort();
}

void all(const uint8_t *text, size_t len, bool wide, SQLSMALLINT scale, SQLSMALLINT precision) {
  for (SQLSMALLINT type : kTypes) {
    // Text and binary targets get a short buffer too, so that cuts are
    // taken; a fixed type is written whole whatever the length says, into
    // a buffer of its size (64 holds the largest).
    const bool variable = type == SQL_C_CHAR || type == SQL_C_WCHAR || type == SQL_C_BINARY;
    for (SQLLEN size : {SQLLEN(64), SQLLEN(variable ? 5 : 64)}) {
      std::vector<unsigned char> buf(static_cast<size_t>(size));
      SQLLEN got = 0, consumed = 0;
      int pending = 0;
      const SQLLEN srcLen = static_cast<SQLLEN>(len);
      const SQLRETURN rc = wide ? ConvertWCHAR(text, srcLen, 0, type, buf.data(), size, &got, &pending, scale,
                                               precision, &consumed)
                                : ConvertCHAR(text, srcLen, 0, type, buf.data(), size, &got, &pending, scale,
                                              precision, &consumed);
      check(rc, pending);
      if (consumed < 0 || consumed > srcLen) std::abort();
    }
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
  if (size == 0) return 0;
  const SQLSMALLINT scale = static_cast<SQLSMALLINT>(data[0] % 8);
  const SQLSMALLINT precision = static_cast<SQLSMALLINT>(data[0] / 8);
  // Copies of exactly the text's length: nothing may read past it.
  std::vector<uint8_t> text(data + 1, data + size);
  all(text.data(), text.size(), false, scale, precision);
  std::vector<uint8_t> units(text.begin(), text.begin() + static_cast<long>(text.size() & ~size_t(1)));
  all(units.data(), units.size(), true, scale, precision);

  SQL_NUMERIC_STRUCT n{};
  int pending = 0;
  SQLRETURN rc = CharToNumeric(reinterpret_cast<const char *>(text.data()), text.size(), &n, scale, precision,
                               &pending);
  check(rc, pending);
  double d = 0;
  pending = 0;
  rc = CharToDecimal(reinterpret_cast<const char *>(text.data()), text.size(), &d, &pending);
  check(rc, pending);
  return 0;
}
