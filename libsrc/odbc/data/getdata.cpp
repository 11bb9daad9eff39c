// GetColumn, SQLGetData and the continuation of values returned in parts.
#include "odbc/data/getdata.h"

#include <sqlext.h>
#include <sqlucode.h>

#include <algorithm>
#include <charconv>
#include <cstdlib>
#include <cstring>
#include <type_traits>

#include "odbc/data/conv.h"
#include "odbc/data/ctype.h"
#include "odbc/data/services.h"
#include "odbc/dataset.h"
#include "odbc/desc.h"
#include "odbc/sqlstate.h"
#include "odbc/stmt.h"
#include "odbc/trace.h"
#include "scrs/sc_s.h"
#include "util/utf.h"

static_assert(std::is_same_v<decltype(Stmt::pending), int>, "the converters take the pending code as int *");

// The next piece of a deferred value; starved: the text in hand ends inside
// its first character, so more is fetched even when what is held would fill
// the buffer.
static int FetchColumnPiece(Stmt *stmt, uint32_t maxLen, bool starved);

namespace {

// A caller converting an output parameter asks for parameter mode with this
// pending code just before the call.
constexpr int32_t kParamModeMarker = E_IM906;

enum Family { FAM_CHAR, FAM_WCHAR, FAM_BINARY, FAM_OTHER };

bool IsBinaryType(int32_t vt) {
  return vt == VT_BINARY || vt == VT_LONGBINARY || vt == VT_VARBIN1 || vt == VT_VARBIN2 || vt == VT_VARBIN4;
}
bool IsWideType(int32_t vt) { return vt >= VT_WCHAR && vt <= VT_WVARCHAR4; }

// The family of a cell's value type.
Family CellFamily(int32_t vt) {
  if (IsBinaryType(vt)) return FAM_BINARY;
  if (IsWideType(vt)) return FAM_WCHAR;
  switch (vt) {
    case VT_CHAR:
    case VT_LONGCHAR:
    case VT_STRING:
    case VT_VARCHAR1:
    case VT_VARCHAR2:
    case VT_VARCHAR4:
      return FAM_CHAR;
    default:
      return FAM_OTHER;
  }
}

// The family of a piece the agent handed up: every type that is neither
// binary nor wide is text.
Family PieceFamily(int32_t vt) {
  if (IsBinaryType(vt)) return FAM_BINARY;
  if (IsWideType(vt)) return FAM_WCHAR;
  return FAM_CHAR;
}

bool IsTextCType(int16_t cType) { return cType == SQL_C_CHAR || cType == SQL_C_WCHAR || cType == SQL_C_BINARY; }

// The continuation's C type of a deferred value whose first piece no call
// has handed out yet.
constexpr int32_t kAnyCType = 0;

SQLRETURN Fail(Stmt *stmt, int32_t code) {
  stmt->pending = code;
  return SQL_ERROR;
}

// The SQL type a column of a value type stands for, when no description
// says it (SQL_C_DEFAULT of an output parameter without one).
int16_t SqlTypeOfValueType(int32_t vt) {
  switch (vt) {
    case VT_BIT: return SQL_BIT;
    case VT_STINYINT:
    case VT_UTINYINT: return SQL_TINYINT;
    case VT_SSHORT:
    case VT_USHORT: return SQL_SMALLINT;
    case VT_SLONG:
    case VT_ULONG: return SQL_INTEGER;
    case VT_FLOAT: return SQL_REAL;
    case VT_DOUBLE: return SQL_DOUBLE;
    case VT_DATE: return SQL_TYPE_DATE;
    case VT_TIME: return SQL_TYPE_TIME;
    case VT_TIMESTAMP: return SQL_TYPE_TIMESTAMP;
    case VT_BINARY:
    case VT_VARBIN1:
    case VT_VARBIN2:
    case VT_VARBIN4: return SQL_VARBINARY;
    case VT_LONGBINARY: return SQL_LONGVARBINARY;
    case VT_LONGCHAR: return SQL_LONGVARCHAR;
    case VT_WCHAR:
    case VT_WSTRING:
    case VT_WVARCHAR4: return SQL_WVARCHAR;
    case VT_LONGWCHAR: return SQL_WLONGVARCHAR;
    default: return SQL_VARCHAR;
  }
}

// What GetColumn knows of a column before converting it.
struct ColumnInfo {
  int16_t sqlType = SQL_VARCHAR;
  int16_t scale = 0;       // the timestamp family's scale
  int32_t valueType = 0;   // of the description, else of the cell
};

// The description of a result column; with a description of another
// length than the Dataset (an output parameter row) the Dataset's own type
// stands in.
const ColDesc *ResultDesc(Stmt *stmt, uint16_t index) {
  ColDesc *descs = StmtDescribe(stmt);
  if (!descs || index >= stmt->resultCount) return nullptr;
  return &descs[index];
}

int16_t ResolveDefault(const Stmt *stmt, int16_t sqlType) {
  const int version = stmt->conn && stmt->conn->env ? stmt->conn->env->odbcVersion : 3;
  if (version == 2 && (sqlType == SQL_WCHAR || sqlType == SQL_WVARCHAR || sqlType == SQL_WLONGVARCHAR))
    return SQL_C_CHAR;
  return DefaultCType(sqlType, version);
}

// SQL_ARD_TYPE and SQL_C_NUMERIC read the descriptor record of the column.
const DescRecord *AppRecord(Stmt *stmt, uint16_t column, bool paramMode) {
  Desc *d = paramMode ? stmt->apd : stmt->ard;
  return d ? DescGetRec(d, column) : nullptr;
}

// Units of the longest piece of a deferred value that a buffer of
// bufferLength bytes takes in the C type. A binary value read as text costs
// two characters a byte.
uint32_t MaxPieceLength(int16_t cType, uint64_t bufferLength, int32_t columnType) {
  if (bufferLength == 0) return 0;
  const uint64_t b = bufferLength;
  uint64_t n;
  switch (cType) {
    case SQL_C_CHAR:
      n = IsBinaryType(columnType) ? (b - 1) / 2 : b - 1;
      break;
    case SQL_C_WCHAR:
      n = IsBinaryType(columnType) ? (b < 2 ? 0 : (b - 2) / 4) : (b - 1) / 2;
      break;
    case SQL_C_BINARY:
      n = IsWideType(columnType) ? b / 2 : b;
      break;
    default:
      n = b;
      break;
  }
  return n > INT32_MAX ? INT32_MAX : static_cast<uint32_t>(n);
}

// One conversion by family. total is what is left of the value including
// this part; consumed reports the source bytes the buffer took.
SQLRETURN ConvertText(Stmt *stmt, Family fam, const void *src, SQLLEN len, SQLLEN total, int16_t cType,
                      const ColumnBinding *b, int16_t precision, int16_t numScale, SQLLEN *consumed) {
  static const char kEmpty[2] = {0, 0};
  if (!src) src = kEmpty;
  const auto bufLen = static_cast<SQLLEN>(b->bufferLength);
  switch (fam) {
    case FAM_CHAR:
      return ConvertCHAR(src, len, total, cType, b->data, bufLen, b->lengthPtr, &stmt->pending, numScale, precision,
                         consumed);
    case FAM_WCHAR:
      return ConvertWCHAR(src, len, total, cType, b->data, bufLen, b->lengthPtr, &stmt->pending, numScale, precision,
                          consumed);
    default:
      return ConvertBINARY(src, len, total, cType, b->data, bufLen, b->lengthPtr, &stmt->pending, consumed);
  }
}

template <class T>
T Load(const void *p) {
  T v;
  memcpy(&v, p, sizeof v);
  return v;
}

// A fixed-size cell (numbers, dates, times, timestamps).
SQLRETURN ConvertFixed(Stmt *stmt, int32_t vt, const void *p, uint32_t len, int16_t cType, const ColumnBinding *b,
                       int16_t precision, int16_t numScale, int16_t tsScale) {
  const auto bufLen = static_cast<SQLLEN>(b->bufferLength);
  int *pending = &stmt->pending;
  auto fits = [&](size_t n) { return len >= n; };
  switch (vt) {
    case VT_BIT:
    case VT_UTINYINT:
    case VT_STINYINT:
      if (!fits(1)) break;
      return ConvertBYTE(Load<uint8_t>(p), vt == VT_STINYINT, cType, b->data, bufLen, b->lengthPtr, pending, numScale,
                         precision);
    case VT_SSHORT:
    case VT_USHORT:
      if (!fits(2)) break;
      return ConvertSHORT(Load<uint16_t>(p), vt == VT_SSHORT, cType, b->data, bufLen, b->lengthPtr, pending, numScale,
                          precision);
    case VT_SLONG:
    case VT_ULONG:
      if (!fits(4)) break;
      return ConvertLONG(Load<uint32_t>(p), vt == VT_SLONG, cType, b->data, bufLen, b->lengthPtr, pending, numScale,
                         precision);
    case VT_FLOAT:
      if (!fits(4)) break;
      return ConvertFLOAT(Load<float>(p), cType, b->data, bufLen, b->lengthPtr, pending, numScale, precision);
    case VT_DOUBLE:
      if (!fits(8)) break;
      return ConvertDOUBLE(Load<double>(p), cType, b->data, bufLen, b->lengthPtr, pending, numScale, precision);
    case VT_DATE:
      if (!fits(sizeof(SQL_DATE_STRUCT))) break;
      return ConvertDATE(Load<SQL_DATE_STRUCT>(p), cType, b->data, bufLen, b->lengthPtr, pending);
    case VT_TIME:
      if (!fits(sizeof(SQL_TIME_STRUCT))) break;
      return ConvertTIME(Load<SQL_TIME_STRUCT>(p), cType, b->data, bufLen, b->lengthPtr, pending);
    case VT_TIMESTAMP:
      if (!fits(sizeof(SQL_TIMESTAMP_STRUCT))) break;
      return ConvertTIMESTAMP(Load<SQL_TIMESTAMP_STRUCT>(p), cType, b->data, bufLen, b->lengthPtr, pending, tsScale);
    default:
      break;
  }
  return Fail(stmt, E_07006);
}

// After a conversion of text, wide or binary data: a value cut by a short
// buffer keeps its rest (or, for a piece, the bytes of the piece the buffer
// did not take) for the next call on the cell.
void KeepRest(Stmt *stmt, SQLRETURN rc, int16_t cType, bool piece, uint32_t len, SQLLEN consumed) {
  GetDataContinuation &g = stmt->getData;
  const bool cut = rc == SQL_SUCCESS_WITH_INFO && IsTextCType(cType);
  if (cut) g.cType = cType;
  uint32_t taken = consumed < 0 ? 0 : consumed > static_cast<SQLLEN>(len) ? len : static_cast<uint32_t>(consumed);
  if (!piece) {
    if (cut) {
      g.value = static_cast<char *>(g.value) + taken;
      g.remaining = len - taken;
    } else {
      g.remaining = 0;
    }
    return;
  }
  const uint32_t rest = len - taken;
  if (cut && rest > 0 && g.pieceOwned && g.value) {
    memmove(g.value, static_cast<char *>(g.value) + taken, rest);
    g.remaining = rest;
    if (g.total >= 0) g.total = g.total > static_cast<int32_t>(taken) ? g.total - static_cast<int32_t>(taken) : 0;
    return;
  }
  FreeColumnPiece(&g);
  g.remaining = 0;
}

bool IsNumericSql(int16_t t) {
  switch (t) {
    case SQL_DECIMAL: case SQL_NUMERIC: case SQL_DOUBLE: case SQL_FLOAT: case SQL_REAL: case SQL_INTEGER:
    case SQL_SMALLINT: case SQL_TINYINT: case SQL_BIGINT:
      return true;
    default:
      return false;
  }
}

// The C types a number converts to.
bool NumberCType(int16_t cType) {
  switch (cType) {
    case SQL_C_DATE: case SQL_C_TIME: case SQL_C_TIMESTAMP: case SQL_C_TYPE_DATE: case SQL_C_TYPE_TIME:
    case SQL_C_TYPE_TIMESTAMP: case SQL_C_GUID:
      return false;
    default:
      return true;
  }
}

bool IsIntegerCType(int16_t cType) {
  switch (cType) {
    case SQL_C_LONG: case SQL_C_SLONG: case SQL_C_ULONG: case SQL_C_SHORT: case SQL_C_SSHORT: case SQL_C_USHORT:
    case SQL_C_TINYINT: case SQL_C_STINYINT: case SQL_C_UTINYINT: case SQL_C_SBIGINT: case SQL_C_UBIGINT:
    case SQL_C_BIT:
      return true;
    default:
      return false;
  }
}

// The range and width of an integer C type.
struct IntRange {
  int64_t low;
  uint64_t high;
  uint8_t size;
};

bool IntRangeOf(int16_t cType, IntRange *r) {
  switch (cType) {
    case SQL_C_LONG: case SQL_C_SLONG: *r = {INT32_MIN, INT32_MAX, 4}; return true;
    case SQL_C_ULONG: *r = {0, UINT32_MAX, 4}; return true;
    case SQL_C_SHORT: case SQL_C_SSHORT: *r = {INT16_MIN, INT16_MAX, 2}; return true;
    case SQL_C_USHORT: *r = {0, UINT16_MAX, 2}; return true;
    case SQL_C_TINYINT: case SQL_C_STINYINT: *r = {INT8_MIN, INT8_MAX, 1}; return true;
    case SQL_C_UTINYINT: *r = {0, UINT8_MAX, 1}; return true;
    case SQL_C_BIT: *r = {0, 1, 1}; return true;
    case SQL_C_SBIGINT: *r = {INT64_MIN, INT64_MAX, 8}; return true;
    case SQL_C_UBIGINT: *r = {0, UINT64_MAX, 8}; return true;
    default: return false;
  }
}

// The common case of a whole number read as an integer: plain digits with
// an optional minus sign (as the agent writes a NUMBER), at most 18 of them,
// within the C type's range. It is stored at once; false leaves every other
// text to the general conversion, which gives the same result for these.
bool StoreWholeNumber(const char *text, uint32_t len, int16_t cType, const ColumnBinding *b) {
  IntRange r;
  if (!IntRangeOf(cType, &r)) return false;
  const bool negative = len > 0 && text[0] == '-';
  const uint32_t first = negative ? 1 : 0;
  if (len <= first || len - first > 18) return false;
  uint64_t v = 0;
  for (uint32_t i = first; i < len; ++i) {
    const unsigned d = static_cast<unsigned char>(text[i]) - '0';
    if (d > 9) return false;
    v = v * 10 + d;
  }
  if (negative && r.low == 0) return false;
  if (negative ? v > static_cast<uint64_t>(-(r.low + 1)) + 1 : v > r.high) return false;
  const uint64_t bits = negative ? ~v + 1 : v;
  // The low bytes of the two's complement value: little-endian like the
  // general conversion's store.
  memcpy(b->data, &bits, r.size);
  if (b->lengthPtr) *b->lengthPtr = r.size;
  return true;
}

// A number's exact text read as a double: plain decimal text (all that the
// agent writes) is read in one step, to the value the general conversion
// gives it; false leaves every other text to that conversion.
bool StoreDouble(const char *text, uint32_t len, const ColumnBinding *b) {
  double v;
  if (len > 512) return false;  // the general conversion's limit
  const auto r = std::from_chars(text, text + len, v);
  if (r.ec != std::errc() || r.ptr != text + len) return false;
  memcpy(b->data, &v, sizeof v);
  if (b->lengthPtr) *b->lengthPtr = sizeof v;
  return true;
}

// A number's exact text into an integer C type: the fraction goes, with
// 01S07 when it was not zero, as ODBC converts a number to an integer.
SQLRETURN NumberToInteger(Stmt *stmt, const char *text, uint32_t len, int16_t cType, const ColumnBinding *b) {
  const auto bufLen = static_cast<SQLLEN>(b->bufferLength);
  const char *end = text + len;
  const char *dot = static_cast<const char *>(memchr(text, '.', len));
  const char *exp = static_cast<const char *>(memchr(text, 'E', len));
  uint32_t whole = dot ? static_cast<uint32_t>(dot - text) : len;
  bool cut = false;
  if (exp) {
    // Written with an exponent only far beyond any integer, or far below one.
    if (exp + 1 < end && exp[1] == '+') return Fail(stmt, E_22003);
    text = "0";
    whole = 1;
    cut = true;
  } else if (dot) {
    for (const char *q = dot + 1; q < end; ++q) cut = cut || *q != '0';
    // ".5" or "-.5": no whole digits, a whole part of zero.
    if (whole == 0 || (whole == 1 && (text[0] == '-' || text[0] == '+'))) {
      text = "0";
      whole = 1;
    }
  }
  const SQLRETURN rc = StoreWholeNumber(text, whole, cType, b)
                           ? SQL_SUCCESS
                           : ConvertCHAR(text, whole, whole, cType, b->data, bufLen, b->lengthPtr, &stmt->pending, 0, 0);
  if (rc == SQL_ERROR || !cut) return rc;
  stmt->pending = E_01S07;
  return SQL_SUCCESS_WITH_INFO;
}

void ForgetCell(GetDataContinuation *g) {
  g->spillLen = 0;
  g->outLeft = -1;
  g->column = 0;
  g->row = 0;
  g->remaining = 0;
  g->value = nullptr;
}

void KeepUnread(GetDataContinuation *g, uint32_t len) {
  g->remaining = g->pieceOwned && g->value ? len : 0;
  if (g->remaining == 0) FreeColumnPiece(g);
  g->cType = kAnyCType;
}

SQLLEN PieceTotal(int32_t total) { return total < 0 ? SQL_NO_TOTAL : total; }

// Text converted between UTF-8 and UTF-16 on the way out: its characters
// change size, so the converters can only take whole ones.
bool Crosses(Family fam, int16_t cType) {
  return (fam == FAM_WCHAR && cType == SQL_C_CHAR) || (fam == FAM_CHAR && cType == SQL_C_WCHAR);
}

size_t TermBytes(int16_t cType) { return cType == SQL_C_WCHAR ? 2 : 1; }

// A text buffer with room for its terminator only: nothing of the text fits.
bool NoRoomForAUnit(int16_t cType, uint64_t bufferLength) {
  if (cType != SQL_C_CHAR && cType != SQL_C_WCHAR) return false;
  return bufferLength > 0 && bufferLength < 2 * TermBytes(cType);
}

// Bytes that len source bytes of text come to in the C type's encoding.
int64_t TargetBytes(Family fam, const void *src, size_t len) {
  if (fam == FAM_WCHAR) return static_cast<int64_t>(utf16_value_bytes(src, len / 2));
  return 2 * static_cast<int64_t>(utf8_value_units(static_cast<const uint8_t *>(src), len));
}

// The first character of the text in hand in the other encoding (UTF-8
// bytes of wide text, UTF-16 units of narrow text); *used gets its source
// bytes. 0 when the text ends inside it and its rest is still to come.
size_t FirstCharOut(Family fam, const void *src, uint32_t len, bool more, uint8_t out[4], size_t *used) {
  *used = 0;
  if (fam == FAM_WCHAR) {
    const size_t units = len / 2;
    if (units == 0) return 0;
    const bool pair = utf16_is_high(utf16_load(src, 0));
    if (pair && units == 1 && more) return 0;
    const size_t n = utf16_value_to_utf8(src, pair && units >= 2 ? 2 : 1, out, 4, used);
    *used *= 2;
    return n;
  }
  const auto *s = static_cast<const uint8_t *>(src);
  const size_t inHand = more ? utf8_cut_point(s, len, len) : len;
  if (inHand == 0) return 0;
  size_t units = utf8_value_to_utf16(s, std::min<size_t>(inHand, 4), out, 1, used);
  if (units == 0) units = utf8_value_to_utf16(s, std::min<size_t>(inHand, 4), out, 2, used);
  return 2 * units;
}

// A character that the buffer cannot take whole goes out in part, so that
// every call makes progress; the rest of its bytes wait for the next call.
// The converter has already reported the length and cut the value.
bool SplitFirstChar(Stmt *stmt, Family fam, const void *src, uint32_t len, bool more, int16_t cType,
                    const ColumnBinding *b, SQLLEN *consumed) {
  const size_t term = TermBytes(cType);
  if (b->bufferLength < 2 * term) return false;
  uint8_t out[4];
  size_t used = 0;
  const size_t n = FirstCharOut(fam, src, len, more, out, &used);
  if (n == 0) return false;
  size_t give = static_cast<size_t>(b->bufferLength) - term;
  if (cType == SQL_C_WCHAR) give &= ~size_t{1};
  give = std::min(give, n);
  GetDataContinuation &g = stmt->getData;
  memcpy(b->data, out, give);
  memset(static_cast<char *>(b->data) + give, 0, term);
  memcpy(g.spill, out + give, n - give);
  g.spillLen = static_cast<uint8_t>(n - give);
  g.spillMore = more || used < len;
  *consumed = static_cast<SQLLEN>(used);
  return true;
}

// The bytes of a character that the last call handed out in part.
SQLRETURN HandOutSpill(Stmt *stmt, const ColumnBinding *b, int16_t cType) {
  GetDataContinuation &g = stmt->getData;
  const size_t term = TermBytes(cType);
  size_t give = static_cast<size_t>(b->bufferLength) - term;
  if (cType == SQL_C_WCHAR) give &= ~size_t{1};
  give = std::min<size_t>(give, g.spillLen);
  const bool more = give < g.spillLen || g.spillMore;
  SQLLEN length = g.outLeft >= 0 ? static_cast<SQLLEN>(g.outLeft) : more ? SQL_NO_TOTAL : g.spillLen;
  if (b->lengthPtr) *b->lengthPtr = length;
  memcpy(b->data, g.spill, give);
  memset(static_cast<char *>(b->data) + give, 0, term);
  memmove(g.spill, g.spill + give, g.spillLen - give);
  g.spillLen = static_cast<uint8_t>(g.spillLen - give);
  if (g.outLeft >= 0) g.outLeft -= static_cast<int64_t>(give);
  if (!more) return SQL_SUCCESS;
  stmt->pending = E_01004;
  return SQL_SUCCESS_WITH_INFO;
}

// Converts the piece of a deferred value in hand. Text that ends inside its
// first character while more is to come fetches more first; a character
// that the buffer cannot take whole goes out in part.
SQLRETURN ConvertPiece(Stmt *stmt, const ColumnBinding *b, int16_t cType, uint32_t maxLen, int16_t precision,
                       int16_t numScale, SQLLEN *consumed) {
  GetDataContinuation &g = stmt->getData;
  const int before = stmt->pending;
  // A character is at most four bytes: a few fetches bring it whole.
  for (int fetches = 0;; ++fetches) {
    const Family fam = PieceFamily(static_cast<int32_t>(g.valueType));
    const uint32_t len = g.remaining;
    const SQLLEN total = PieceTotal(g.total);
    const SQLRETURN rc = ConvertText(stmt, fam, g.value, len, total, cType, b, precision, numScale, consumed);
    if (rc != SQL_SUCCESS_WITH_INFO || *consumed > 0 || len == 0 || !Crosses(fam, cType)) return rc;
    const bool more = total == SQL_NO_TOTAL || total > static_cast<SQLLEN>(len);
    if (SplitFirstChar(stmt, fam, g.value, len, more, cType, b, consumed)) return rc;
    if (!more || fetches == 4 || NoRoomForAUnit(cType, b->bufferLength)) return rc;
    stmt->pending = before;
    if (int code = FetchColumnPiece(stmt, maxLen, true)) return Fail(stmt, code);
  }
}

// Converts a value held whole in its cell. Read in the other encoding, only
// as much of the text as the buffer can take is converted on each call and
// the length still to come is counted once, so that reading in small pieces
// stays linear in the value.
SQLRETURN ConvertHeld(Stmt *stmt, Family fam, const void *p, uint32_t len, int16_t cType, const ColumnBinding *b,
                      int16_t precision, int16_t numScale) {
  GetDataContinuation &g = stmt->getData;
  SQLLEN consumed = 0;
  if (!Crosses(fam, cType)) {
    const SQLRETURN rc = ConvertText(stmt, fam, p, len, len, cType, b, precision, numScale, &consumed);
    KeepRest(stmt, rc, cType, false, len, consumed);
    return rc;
  }
  // Each source byte gives at least one byte of UTF-8 or half a UTF-16 unit.
  uint32_t window = len;
  const uint64_t enough = 2 * b->bufferLength + 8;
  if (enough < len) window = static_cast<uint32_t>(fam == FAM_WCHAR ? enough & ~uint64_t{1} : enough);
  SQLRETURN rc = ConvertText(stmt, fam, p, window, len, cType, b, precision, numScale, &consumed);
  // A value that the first call hands out whole (the common case) needs no
  // count of what is left: the converter has told its length.
  if (g.outLeft < 0) {
    if (rc == SQL_SUCCESS) {
      KeepRest(stmt, rc, cType, false, len, consumed);
      return rc;
    }
    g.outLeft = TargetBytes(fam, p, len);
  }
  if (rc == SQL_SUCCESS_WITH_INFO && consumed == 0 && len > 0)
    SplitFirstChar(stmt, fam, p, window, window < len, cType, b, &consumed);
  if (rc != SQL_ERROR) {
    if (b->lengthPtr) *b->lengthPtr = static_cast<SQLLEN>(g.outLeft);
    g.outLeft -= TargetBytes(fam, p, static_cast<size_t>(consumed)) - g.spillLen;
  }
  KeepRest(stmt, rc, cType, false, len, consumed);
  return rc;
}

// Column 0: the bookmark of the row, an 8-byte integer.
SQLRETURN GetBookmark(Stmt *stmt, uint32_t row, const ColumnBinding *b) {
  if (b->cType != SQL_C_BINARY && b->cType != SQL_C_UBIGINT) return Fail(stmt, E_S1003);
  if (!b->data) return Fail(stmt, E_S1009);
  // A binary buffer has the length the application gave it.
  if (b->cType == SQL_C_BINARY && b->bufferLength < sizeof(int64_t)) return Fail(stmt, E_22003);
  int32_t number = 0;
  if (int code = scs_GetRowNumber(&stmt->cursor, row, &number)) return Fail(stmt, code);
  const int64_t value = number;
  memcpy(b->data, &value, sizeof value);
  if (b->indicatorPtr) *b->indicatorPtr = 0;
  if (b->lengthPtr) *b->lengthPtr = sizeof value;
  return SQL_SUCCESS;
}

SQLRETURN NullValue(Stmt *stmt, const ColumnBinding *b, int16_t cType) {
  stmt->getData.remaining = 0;
  if (!b->indicatorPtr) return Fail(stmt, E_22002);
  *b->indicatorPtr = SQL_NULL_DATA;
  ClearTarget(b, cType);
  return SQL_SUCCESS;
}

// A later SQLGetData on the cell read last: the rest of a cut value, or the
// next piece of a deferred one.
SQLRETURN GetColumnAgain(Stmt *stmt, uint32_t row, const ColumnBinding *b, const Dataset *ds) {
  GetDataContinuation &g = stmt->getData;
  const uint16_t index = static_cast<uint16_t>(b->column - 1);
  if (row >= static_cast<uint32_t>(ds->rows)) return SQL_NO_DATA;
  const bool deferred = ds->cols[index].indicators[row] == kIndDeferred;
  if (!deferred && g.remaining == 0 && g.spillLen == 0) return SQL_NO_DATA;
  const bool unread = g.cType == kAnyCType;
  if (!unread && b->cType != g.cType && b->cType != SQL_C_DEFAULT) return SQL_NO_DATA;
  const auto cType = unread ? GetColumnCType(stmt, b->column, b->cType) : static_cast<int16_t>(g.cType);
  if (!b->data) return Fail(stmt, E_S1009);

  const ColDesc *d = ResultDesc(stmt, index);
  const int32_t colType = d ? d->valueType : ds->cols[index].type;
  // A buffer with room for the terminator only would answer 01004 for ever:
  // once the first call has told the length, a loop over such calls ends.
  if (NoRoomForAUnit(cType, b->bufferLength)) {
    if (g.spillLen == 0 && g.remaining == 0 && deferred) {
      const int code = GetColumnPiece(stmt, 0, cType);
      if (code == E_IM907) return SQL_NO_DATA;
      if (code != 0) return Fail(stmt, code);
    }
    return Fail(stmt, E_S1090);
  }
  if (g.spillLen > 0) return HandOutSpill(stmt, b, cType);

  if (deferred) {
    const uint32_t maxLen = MaxPieceLength(cType, b->bufferLength, colType);
    int code = GetColumnPiece(stmt, maxLen, cType);
    if (code == E_IM907) return SQL_NO_DATA;
    if (code != 0) return Fail(stmt, code);
    SQLLEN consumed = 0;
    SQLRETURN rc = ConvertPiece(stmt, b, cType, maxLen, 0, 0, &consumed);
    if (rc == SQL_ERROR && unread) {
      KeepUnread(&g, g.remaining);  // still nothing handed out
      return rc;
    }
    KeepRest(stmt, rc, cType, true, g.remaining, consumed);
    return rc;
  }
  return ConvertHeld(stmt, CellFamily(static_cast<int32_t>(g.valueType)), g.value, g.remaining, cType, b, 0, 0);
}

}  // namespace

void FreeColumnPiece(GetDataContinuation *g) {
  if (g->pieceOwned && g->value) {
    // A piece of a long type is a {length; buffer} cell whose buffer goes too.
    const auto t = static_cast<int32_t>(g->valueType);
    if (t == VT_LONGCHAR || t == VT_LONGBINARY || t == VT_LONGWCHAR) free(static_cast<LongValue *>(g->value)->buffer);
    free(g->value);
  }
  g->value = nullptr;
  g->pieceOwned = 0;
}

void ClearTarget(const ColumnBinding *b, int16_t cType) {
  if (!b->data) return;
  size_t n;
  switch (cType) {
    case SQL_C_NUMERIC: n = 19; break;
    case SQL_C_LONG: case SQL_C_SLONG: case SQL_C_ULONG: case SQL_C_FLOAT: n = 4; break;
    case SQL_C_SHORT: case SQL_C_SSHORT: case SQL_C_USHORT: n = 2; break;
    case SQL_C_DOUBLE: case SQL_C_SBIGINT: case SQL_C_UBIGINT: n = 8; break;
    case SQL_C_DATE: case SQL_C_TIME: case SQL_C_TYPE_DATE: case SQL_C_TYPE_TIME: n = 6; break;
    case SQL_C_TIMESTAMP: case SQL_C_TYPE_TIMESTAMP: n = 16; break;
    case SQL_C_BIT: case SQL_C_TINYINT: case SQL_C_STINYINT: case SQL_C_UTINYINT: n = 1; break;
    default: n = static_cast<size_t>(b->bufferLength); break;
  }
  if (n) memset(b->data, 0, n);
}

int GetColumnPiece(Stmt *stmt, uint32_t maxLen, int16_t cType) {
  (void)cType;
  return FetchColumnPiece(stmt, maxLen, false);
}

static int FetchColumnPiece(Stmt *stmt, uint32_t maxLen, bool starved) {
  GetDataContinuation &g = stmt->getData;
  // Bytes of the last piece that the application's buffer did not take yet.
  void *carry = nullptr;
  uint32_t carryLen = 0;
  const auto carryType = static_cast<int32_t>(g.valueType);
  const int32_t carryTotal = g.total;
  if (g.pieceOwned && g.value && g.remaining > 0) {
    carry = g.value;
    carryLen = g.remaining;
    g.value = nullptr;
    g.pieceOwned = 0;
  } else {
    FreeColumnPiece(&g);
  }
  g.remaining = 0;
  const uint32_t carryUnits = carryType == VT_WCHAR ? carryLen / 2 : carryLen;
  auto hold = [&](void *buf, uint32_t len, int32_t type, int32_t total) {
    g.value = buf;
    g.remaining = len;
    g.valueType = static_cast<uint32_t>(type);
    g.total = total;
    g.pieceOwned = 1;
  };
  if (carry && maxLen <= carryUnits && !starved) {
    hold(carry, carryLen, carryType, carryTotal);
    return 0;
  }
  // What completes a character: its longest form is four bytes.
  const uint32_t ask = maxLen > carryUnits ? maxLen - carryUnits : 4;

  void *piece = nullptr;
  int32_t size = 0, type = 0, total = 0;
  int32_t code = DrvCall<&DrvOps::DRV_GetDataChunk>(stmt->drv, stmt->agentCursor, int32_t{g.column}, static_cast<int32_t>(g.row),
                                                    static_cast<int32_t>(ask), &piece, &size, &type,
                                                    &total);
  // 183: the piece came, and a failover completed on the way; the call
  // reports it.
  if (code == E_IM500) {
    stmt->pending = E_IM500;
    code = 0;
  }
  // 74: the piece came with the database's warning; its records go with
  // the call, which succeeds with information.
  if (code == E_IM902) {
    StmtGetAgentMsgs(stmt);
    stmt->flags |= STMTF_PIECE_WARNED;
    code = 0;
  }
  if (code != 0) {
    free(piece);
    if (carry) hold(carry, carryLen, carryType, carryTotal);
    StmtGetAgentMsgs(stmt);
    return code;
  }
  if (!piece || size <= 0) {
    free(piece);
    piece = nullptr;
    size = 0;
  }
  if (!carry) {
    g.valueType = static_cast<uint32_t>(type);
    g.total = total;
    if (size > 0) {
      hold(piece, static_cast<uint32_t>(size), type, total);
      return 0;
    }
    // A buffer of no length only asks for the length.
    return total != 0 && maxLen == 0 ? 0 : E_IM907;
  }
  if (size > 0) {
    auto *joined = static_cast<char *>(realloc(carry, size_t{carryLen} + static_cast<size_t>(size)));
    if (!joined) {
      free(piece);
      hold(carry, carryLen, carryType, carryTotal);
      return E_S1001;
    }
    memcpy(joined + carryLen, piece, static_cast<size_t>(size));
    free(piece);
    carry = joined;
  }
  const int32_t joinedTotal = total >= 0 ? static_cast<int32_t>(carryLen) + total : SQL_NO_TOTAL;
  hold(carry, carryLen + static_cast<uint32_t>(size), carryType, joinedTotal);
  return 0;
}

int16_t GetColumnCType(Stmt *stmt, uint16_t column, int16_t cType) {
  if (column == 0) return cType;
  if (cType == SQL_ARD_TYPE) {
    const DescRecord *rec = AppRecord(stmt, column, false);
    if (!rec) return cType;
    cType = rec->conciseType;
  }
  const ColDesc *d = (cType == SQL_C_DEFAULT || cType == SQL_C_BINARY) ? ResultDesc(stmt, column - 1) : nullptr;
  if (cType == SQL_C_DEFAULT) return d ? ResolveDefault(stmt, static_cast<int16_t>(d->sqlType)) : cType;
  if (cType == SQL_C_BINARY && d && d->sqlType == SQL_BIGINT) return SQL_C_SBIGINT;
  return cType;
}

static SQLRETURN GetColumnValue(Stmt *stmt, uint32_t row, ColumnBinding *b, const Dataset *ds);

SQLRETURN GetColumn(Stmt *stmt, uint32_t row, ColumnBinding *b, const Dataset *ds) {
  stmt->flags &= static_cast<uint16_t>(~STMTF_PIECE_WARNED);
  SQLRETURN rc = GetColumnValue(stmt, row, b, ds);
  if ((stmt->flags & STMTF_PIECE_WARNED) && rc == SQL_SUCCESS) {
    if (stmt->pending == 0) stmt->pending = E_IM902;
    rc = SQL_SUCCESS_WITH_INFO;
  }
  stmt->flags &= static_cast<uint16_t>(~STMTF_PIECE_WARNED);
  return rc;
}

static SQLRETURN GetColumnValue(Stmt *stmt, uint32_t row, ColumnBinding *b, const Dataset *ds) {
  bool paramMode = false;
  if (stmt->pending == kParamModeMarker) {
    stmt->pending = 0;
    paramMode = true;
  }
  const uint16_t column = b->column;
  const uint16_t count = ds ? ds->columns : 0;
  if ((column == 0 && !stmt->cursor.useBookmarks) || column > count) {
    if (TraceIsOn()) TraceODBC("GetColumn: col out of range (%d,%d)", column, count);
    return Fail(stmt, E_S1002);
  }
  if (column == 0) return GetBookmark(stmt, row, b);

  GetDataContinuation &g = stmt->getData;
  if (g.column == column && g.row == row + 1) return GetColumnAgain(stmt, row, b, ds);

  const uint16_t index = static_cast<uint16_t>(column - 1);
  if (b->indicatorPtr) *b->indicatorPtr = 0;
  if (row >= static_cast<uint32_t>(ds->rows)) {
    if (TraceIsOn()) TraceODBC("GetColumn: row out of range (%d,%d)", static_cast<int>(row), ds->rows);
    return Fail(stmt, E_24000);
  }
  const DatasetCol &cell = ds->cols[index];

  ColumnInfo info;
  info.valueType = cell.type;
  info.sqlType = SqlTypeOfValueType(cell.type);
  if (paramMode && stmt->classU) {
    info.scale = b->scale;
  } else if (paramMode) {
    // An output value that travels as its exact text is still the number
    // the parameter describes: it converts by the numeric rules.
    const ColDesc *pd = b->param && b->param <= stmt->paramCount && stmt->paramDescs
                            ? &stmt->paramDescs[b->param - 1] : nullptr;
    if (pd && IsNumericSql(static_cast<int16_t>(pd->sqlType)) && CellFamily(cell.type) == FAM_CHAR) {
      info.sqlType = static_cast<int16_t>(pd->sqlType);
      info.scale = pd->decimalDigits;
    }
  } else {
    ColDesc *descs = StmtDescribe(stmt);
    // A failed describe has left its error; without descriptions the cell's
    // own type stands in.
    if (!descs && !paramMode && stmt->pending) return SQL_ERROR;
    if (descs && index < stmt->resultCount) {
      info.sqlType = static_cast<int16_t>(descs[index].sqlType);
      info.scale = descs[index].decimalDigits;
      info.valueType = descs[index].valueType;
    }
  }

  // The C type: the ARD's for SQL_ARD_TYPE, the column's default for
  // SQL_C_DEFAULT; a BIGINT column read as binary is an 8-byte integer.
  int16_t cType = b->cType;
  const DescRecord *rec = nullptr;
  if (cType == SQL_ARD_TYPE) {
    rec = AppRecord(stmt, paramMode && b->param ? b->param : column, paramMode);
    if (!rec || rec->conciseType == SQL_ARD_TYPE) return Fail(stmt, E_S1003);
    cType = rec->conciseType;
  }
  if (cType == SQL_C_DEFAULT) {
    cType = ResolveDefault(stmt, info.sqlType);
    if (b->bufferLength == 0) b->bufferLength = static_cast<uint64_t>(CTypeSize(cType));
  } else if (cType == SQL_C_BINARY && info.sqlType == SQL_BIGINT) {
    // Never written past the buffer the application gave.
    if (b->bufferLength < sizeof(int64_t)) return Fail(stmt, E_22003);
    cType = SQL_C_SBIGINT;
  }
  int16_t precision = 0, numScale = 0;
  if (cType == SQL_C_NUMERIC) {
    if (!rec) rec = AppRecord(stmt, paramMode && b->param ? b->param : column, paramMode);
    if (rec) {
      precision = rec->precision;
      numScale = rec->scale;
    }
  }

  // A call refused for its arguments leaves the cell as it was, so that the
  // application can read it with better ones.
  const int16_t indicator = cell.indicators[row];
  if (indicator == kIndNull ? !b->indicatorPtr : !b->data) return Fail(stmt, indicator == kIndNull ? E_22002 : E_S1009);

  g.column = column;
  g.row = row + 1;
  g.remaining = 0;
  FreeColumnPiece(&g);
  g.valueType = static_cast<uint32_t>(cell.type);
  g.total = 0;
  g.cType = cType;
  g.spillLen = 0;
  g.outLeft = -1;

  if (indicator == kIndNull) return NullValue(stmt, b, cType);

  if (indicator == kIndDeferred) {
    const uint32_t maxLen = MaxPieceLength(cType, b->bufferLength, info.valueType);
    int code = GetColumnPiece(stmt, maxLen, cType);
    if (code == E_IM907) {
      if (g.total == -1) return NullValue(stmt, b, cType);
      // An empty value is a value: its first read returns it.
      if (g.total != 0) return SQL_NO_DATA;
    } else if (code != 0) {
      return Fail(stmt, code);
    }
    SQLLEN consumed = 0;
    SQLRETURN rc = ConvertPiece(stmt, b, cType, maxLen, precision, numScale, &consumed);
    if (rc == SQL_ERROR) {
      // Nothing was handed out: the piece (if one came) stays for the next
      // call, with any C type (the value cannot be read from its start again).
      KeepUnread(&g, g.remaining);
      return rc;
    }
    KeepRest(stmt, rc, cType, true, g.remaining, consumed);
    return rc;
  }

  const void *p = nullptr;
  uint32_t len = 0;
  if (DatasetValueRef(ds, row, index, &p, &len) != 0) return Fail(stmt, E_S1000);
  const Family fam = CellFamily(cell.type);
  // A number may travel as its exact text; it still converts as a number.
  if (fam == FAM_CHAR && IsNumericSql(info.sqlType) && !NumberCType(cType)) {
    ForgetCell(&g);
    return Fail(stmt, E_07006);
  }
  SQLRETURN rc;
  if (fam == FAM_OTHER) {
    rc = ConvertFixed(stmt, cell.type, p, len, cType, b, precision, numScale, info.scale);
  } else if (fam == FAM_CHAR && IsNumericSql(info.sqlType) && IsIntegerCType(cType)) {
    rc = NumberToInteger(stmt, static_cast<const char *>(p), len, cType, b);
  } else if (fam == FAM_CHAR && cType == SQL_C_DOUBLE && IsNumericSql(info.sqlType) &&
             StoreDouble(static_cast<const char *>(p), len, b)) {
    rc = SQL_SUCCESS;
  } else {
    g.value = const_cast<void *>(p);
    g.total = static_cast<int32_t>(len);
    rc = ConvertHeld(stmt, fam, p, len, cType, b, precision, numScale);
  }
  // A conversion that failed handed nothing out: the cell is still unread,
  // and another call (with another C type, say) reads it from the start.
  if (rc == SQL_ERROR) ForgetCell(&g);
  return rc;
}

SQLRETURN GetDataCol(Stmt *stmt, uint16_t column, int16_t cType, void *data, int64_t bufferLength,
                     int64_t *strLenOrInd) {
  if (stmt->state != STMT_PREPARED) return Fail(stmt, E_S1010);
  // A negative length would be taken as a huge buffer.
  if (bufferLength < 0) return Fail(stmt, E_S1090);
  ColumnBinding b{column, cType, 0, data, static_cast<uint64_t>(bufferLength), strLenOrInd, strLenOrInd};
  ScsCursor &cur = stmt->cursor;
  if (cur.rowset) {
    const int status = scs_GetRowStatus(cur.rowset, cur.position);
    if (status == SQL_ROW_DELETED || status == SQL_ROW_ERROR) return Fail(stmt, E_S1109);
    return GetColumn(stmt, static_cast<uint32_t>(cur.position - 1), &b, cur.rowset->rows);
  }
  // No row handed out of the fetch block yet (or none left).
  if (stmt->rowsInBlock == 0) return Fail(stmt, E_24000);
  return GetColumn(stmt, stmt->rowsInBlock - 1u, &b, &stmt->fetched);
}

SQLRETURN odbc_GetData(void *object, const ApiArgs &args) {
  return GetDataCol(static_cast<Stmt *>(object), args.u16(0), args.i16(1), args.ptr(2), args.i64(3),
                    args.ptr<int64_t>(4));
}
