// Descriptor fields: reads (SQLGetDescField and every internal reader) and
// writes (SQLSetDescField, the descriptor-backed statement attributes,
// SQLSetDescRec, SQLCopyDesc).
#include "odbc/data/descfield.h"

#include <sqlext.h>
#include <sqlucode.h>

#include <cassert>
#include <cstdlib>
#include <cstring>

#include "odbc/apirec.h"
#include "odbc/colattr.h"
#include "odbc/data/services.h"
#include "odbc/data/typeinfo.h"
#include "odbc/desc.h"
#include "odbc/descrec.h"
#include "odbc/objects.h"
#include "odbc/sqlstate.h"
#include "odbc/stmt.h"
#include "odbc/trace.h"
#include "util/utf.h"

namespace {

// Driver-defined field: 1 for a key column of a scrollable cursor.
constexpr int16_t kDescKeyColumn = 1053;
// Extended column attribute: 1 for a select-list item that is an expression.
constexpr int16_t kAttrExpression = 1055;
// The type catalogue columns read for type names and literals.
constexpr int kTypeNameColumn = 1;
constexpr int kLiteralPrefixColumn = 4;
constexpr int kLiteralSuffixColumn = 5;
constexpr int kTypeInfoBuffer = 255;

void TraceDesc(const Desc *d) {
  if (TraceIsOn()) TraceODBC("Descriptor Type: %s", DescTraceName(d));
}

bool Implicit(const Desc *d, int16_t kind) { return d->alloc == DESC_ALLOC_AUTO && d->kind == kind; }

SQLRETURN DescFail(Desc *d, int32_t code) {
  d->pending = code;
  return SQL_ERROR;
}

// ---- Typed rules (types by their ODBC numbers) ------------------------------

bool In(int t, int lo, int hi) { return t >= lo && t <= hi; }

int Verbose(int t) {
  if (t == 9 || t == 10 || t == 11 || In(t, 91, 93)) return SQL_DATETIME;
  if (In(t, 101, 113)) return SQL_INTERVAL;
  return t;
}

int IntervalCode(int t) {
  switch (t) {
    case 9: case 91: return 1;
    case 10: case 92: return 2;
    case 11: case 93: return 3;
    default: return In(t, 101, 113) ? t - 100 : 0;
  }
}

// size: the value's size for numbers, dates and binary data; charLen: its
// length in characters for text.
int64_t LengthRule(int t, int64_t size, int64_t charLen) {
  if (In(t, -28, -25) || In(t, -18, -15) || t == -7 || t == -6 || t == -5 || t == -3 || t == -2 || In(t, 2, 11) ||
      In(t, 91, 93) || In(t, 101, 113))
    return size;
  if (t == 1 || t == 12 || t == -8 || t == -9) return charLen;
  return 0;
}

int PrecisionRule(int t, int64_t columnSize, int scale) {
  if (In(t, -28, -25) || In(t, -18, -15) || t == -6 || t == -5 || In(t, 2, 8))
    return static_cast<int16_t>(columnSize);
  if (t == 10 || t == 11 || t == 92 || t == 93 || t == 106) return static_cast<int16_t>(scale);
  return 0;
}

int ScaleRule(int t, int scale) { return t == 2 || t == 3 ? scale : 0; }

int64_t OctetRule(int t, int64_t size) {
  switch (t) {
    case -28: case -26: case -6: return 1;
    case -27: case -25: case -5: return 20;
    case -18: case -16: case 4: case 7: return 4;
    case -17: case -15: case 5: return 2;
    case -10: case -9: case -8: case -4: case -3: case -2: case -1: case 1: case 12: return size;
    case 2: case 3: return size + 2;
    case 6: case 8: return 8;
    case 9: case 10: case 91: case 92: return 6;
    case 11: case 93: return 16;
    default: return In(t, 101, 113) ? 34 : 0;
  }
}

int RadixRule(int t) {
  if (In(t, -28, -25) || In(t, -18, -15) || t == -6 || t == -5 || In(t, 2, 5)) return 10;
  if (In(t, 6, 8)) return 2;
  return 0;
}

int UnsignedRule(int t) { return t == -26 || t == -25 || t == -16 || t == -15 ? SQL_FALSE : SQL_TRUE; }

int FixedRule(int t, int scale) {
  return (In(t, 2, 5) || t == -6 || t == -5) && scale != 0 ? SQL_TRUE : SQL_FALSE;
}

int CaseRule(int t) { return t == -10 || t == -9 || t == -8 || t == -1 || t == 1 || t == 12 ? 1 : 0; }

int SearchableRule(int t) {
  if (t == 1 || t == 12 || t == -9 || t == -8) return SQL_PRED_SEARCHABLE;
  if (t == -4 || t == -3 || t == -2) return SQL_PRED_NONE;
  return SQL_PRED_BASIC;
}

int UpdatableRule(const ColDesc &d) {
  uint32_t bits = (d.flags & kColDescUpdatableMask) >> kColDescUpdatableShift;
  return bits != 0 ? static_cast<int>(bits) - 1 : SQL_ATTR_READWRITE_UNKNOWN;
}

// SQL types whose column size is a length rather than a precision.
bool SizeIsLength(int t) {
  switch (t) {
    case -10: case -9: case -8: case -4: case -3: case -2: case -1: case 1: case 9: case 10: case 12:
      return true;
    default:
      return false;
  }
}

// [length], [octet] and friends of a description (IRD column, IPD parameter).
int64_t DescColSize(const ColDesc &d) { return static_cast<int64_t>(d.columnSize); }
int64_t DescOctetSize(const ColDesc &d) {
  int64_t n = d.columnSize;
  return d.sqlType == -8 || d.sqlType == -9 || d.sqlType == -10 ? 2 * n : n;
}

// Character length of a buffer of a C type: wide buffers hold two bytes a
// character.
int64_t BufferChars(int cType, int64_t bufferLength) {
  return (cType == -8 || cType == -9 ? bufferLength / 2 : bufferLength) - 1;
}

// ---- Output routines -----------------------------------------------------------

struct Out {
  Desc *desc;
  void *value;
  int64_t bufLen;
  int64_t *outLen;
  char mode;

  void Len(int64_t n) const {
    if (outLen) *outLen = n;
  }
  template <class T>
  SQLRETURN Put(T v) const {
    if (value) memcpy(value, &v, sizeof v);
    Len(sizeof v);
    return SQL_SUCCESS;
  }
  SQLRETURN SmallInt(int v) const { return Put<int16_t>(static_cast<int16_t>(v)); }
  SQLRETURN Integer(int64_t v) const { return Put<int32_t>(static_cast<int32_t>(v)); }
  SQLRETURN UInteger(uint64_t v) const { return Put<uint32_t>(static_cast<uint32_t>(v)); }
  SQLRETURN Length(int64_t v) const { return Put<int64_t>(v); }
  // Pointer fields have a fixed size: BufferLength is not consulted.
  SQLRETURN Pointer(const void *p) const { return Put<uint64_t>(reinterpret_cast<uintptr_t>(p)); }
  SQLRETURN Text(const char *text) const;
};

// A text field: narrow as the stored bytes, wide as UTF-16 with BufferLength
// in bytes. A value that does not fit with its NUL is cut inside the buffer
// and the full length reported with 01004. A NULL buffer asks only for the
// length.
SQLRETURN Out::Text(const char *text) const {
  if (bufLen < 0) return DescFail(desc, E_S1090);
  const char *t = text ? text : "";
  const bool wide = mode == 'W';
  const int64_t len = wide ? static_cast<int64_t>(utf8_char_count(t, UTF_NTS)) : static_cast<int64_t>(strlen(t));
  Len(wide ? 2 * len : len);
  if (!value) return SQL_SUCCESS;
  const int64_t cap = wide ? bufLen / 2 : bufLen;
  if (len < cap) {
    if (wide)
      utf8_to_utf16_cpy_all(static_cast<uint16_t *>(value), t);
    else
      memcpy(value, t, static_cast<size_t>(len) + 1);
    return SQL_SUCCESS;
  }
  if (cap > 0) {
    if (wide) {
      utf8_to_utf16_cpy(static_cast<uint16_t *>(value), t, static_cast<int32_t>(cap > INT32_MAX ? INT32_MAX : cap));
    } else {
      memcpy(value, t, static_cast<size_t>(cap - 1));
      static_cast<char *>(value)[cap - 1] = 0;
    }
  }
  desc->pending = E_01004;
  return SQL_SUCCESS_WITH_INFO;
}

// ---- Reads --------------------------------------------------------------------------

// Where a descriptor's values come from.
enum class Src {
  IRD,  // the statement's result descriptions
  IPD,  // the statement's parameter descriptions
  ARD,  // the statement's bound columns
  APD,  // the statement's parameter bindings
  OWN,  // the descriptor's own records (explicit, or an implicit ARD/APD
        // that an explicit descriptor has replaced on its statement)
};

Src SourceOf(const Desc *d) {
  if (d->alloc != DESC_ALLOC_AUTO || !d->stmt) return Src::OWN;
  switch (d->kind) {
    case DESC_IRD: return Src::IRD;
    case DESC_IPD: return Src::IPD;
    case DESC_ARD: return d->stmt->ard == d ? Src::ARD : Src::OWN;
    case DESC_APD: return d->stmt->apd == d ? Src::APD : Src::OWN;
    default: return Src::OWN;
  }
}

// A statement helper that reports through the statement's pending code: the
// code is taken for the descriptor and the statement's own code restored, so
// that a descriptor read leaves the statement as it was.
struct PendingGuard {
  Stmt *stmt;
  int32_t saved;
  explicit PendingGuard(Stmt *s) : stmt(s), saved(s->pending) { s->pending = 0; }
  int32_t Take() {
    int32_t code = stmt->pending;
    stmt->pending = saved;
    saved = -1;
    return code;
  }
  ~PendingGuard() {
    if (saved != -1) stmt->pending = saved;
  }
};

// The IRD's count: the statement's result columns. Returns 0, or the code
// of the failure (the statement's own pending code is kept).
int IrdCount(Stmt *stmt, int16_t *n) {
  PendingGuard guard(stmt);
  int code = StmtNumResultCols(stmt, n);
  const int32_t left = guard.Take();
  return code == 0 ? left : code;
}

// The IPD's count: once the statement is prepared it has a record for every
// marker, the ones the application has not set answered from the marker's
// description (nothing is written into the descriptor for them).
int IpdCount(const Desc *d) { return d->count > d->stmt->paramCount ? d->count : d->stmt->paramCount; }

// One record read: the sources of the record, looked up when needed.
struct RecordRead {
  Desc *desc;
  Stmt *stmt;
  int16_t rec;
  Src src;
  DescRecord *record = nullptr;  // may be null for an IRD

  ColDesc *col = nullptr;  // IRD description / IPD parameter description
  bool colOwned = false;
  bool colTried = false;

  ~RecordRead() {
    if (colOwned) ColDescFree(col, 1);
  }

  // The IRD's description of the column (rec 0: the bookmark description
  // while bookmarks are used), or the IPD's description of the parameter.
  ColDesc *Description() {
    if (colTried) return col;
    colTried = true;
    PendingGuard guard(stmt);
    if (src == Src::IRD) {
      col = StmtGetColDesc(stmt, static_cast<uint16_t>(rec));
      colOwned = col && rec == 0;
    } else if (rec > 0) {
      col = StmtGetParamDesc(stmt, static_cast<uint16_t>(rec));
    }
    return col;
  }

  BoundCol *Column() const { return src == Src::ARD ? StmtBoundCol(stmt, static_cast<uint16_t>(rec)) : nullptr; }

  // The statement's binding of the parameter: an entry that was bound.
  ParamBinding *Param() const {
    if ((src != Src::APD && src != Src::IPD) || rec <= 0) return nullptr;
    ParamBinding *p = StmtParamEntry(stmt, static_cast<uint16_t>(rec));
    return p && p->number != 0 ? p : nullptr;
  }

  int AttrInt(int16_t id, int32_t *v) const {
    return ColAttrLookup(stmt->colAttrs, id, rec, v, nullptr, nullptr);
  }
  int AttrText(int16_t id, const char **t) const {
    return ColAttrLookup(stmt->colAttrs, id, rec, nullptr, t, nullptr);
  }
};

// A text from the type catalogue: SQL_ERROR passes up (no diagnostic on the
// descriptor); no row, a cut value or NULL read as an empty text.
SQLRETURN TypeCatalogText(const Out &o, Conn *conn, int column, int sqlType) {
  char buf[kTypeInfoBuffer + 1] = {};
  SQLLEN ind = 0;
  SQLRETURN rc = TypeInfoColumn(conn, column, static_cast<int16_t>(sqlType), buf, kTypeInfoBuffer, &ind);
  if (rc == SQL_ERROR) return SQL_ERROR;
  if (rc != SQL_SUCCESS || ind == SQL_NULL_DATA) buf[0] = 0;
  return o.Text(buf);
}

SQLRETURN TypeName(const Out &o, Conn *conn, int sqlType) {
  return TypeCatalogText(o, conn, kTypeNameColumn, In(sqlType, 101, 113) ? SQL_INTERVAL : sqlType);
}

SQLRETURN ReadHeader(Desc *d, Src src, int16_t field, const Out &o) {
  Stmt *stmt = d->stmt;
  const bool rowSide = src == Src::IRD || src == Src::IPD;
  switch (field) {
    case SQL_DESC_ARRAY_SIZE:
      if (rowSide) return DescFail(d, E_S1091);
      if (src == Src::ARD) return o.Length(stmt->cursor.rowsetSize);
      if (src == Src::APD) return o.Length(static_cast<int64_t>(stmt->paramsetSize));
      return o.Length(static_cast<int64_t>(d->arraySize));
    case SQL_DESC_ARRAY_STATUS_PTR:
      return o.Pointer(d->arrayStatus);
    case SQL_DESC_BIND_OFFSET_PTR:
      if (rowSide) return DescFail(d, E_S1091);
      return o.Pointer(d->bindOffset);
    case SQL_DESC_BIND_TYPE:
      if (rowSide) return DescFail(d, E_S1091);
      return o.Integer(src == Src::ARD ? stmt->bindType : d->bindType);
    case SQL_DESC_ROWS_PROCESSED_PTR:
      if (src == Src::IRD) return o.Pointer(stmt->rowsFetched);
      if (src == Src::IPD) return o.Pointer(stmt->rowsProcessed);
      return DescFail(d, E_S1091);
    case SQL_DESC_COUNT:
      if (src == Src::IRD) {
        int16_t n = 0;
        if (int code = IrdCount(stmt, &n)) return DescFail(d, code);
        return o.SmallInt(n);
      }
      return o.SmallInt(src == Src::IPD ? IpdCount(d) : d->count);
    case SQL_DESC_ALLOC_TYPE:
      return o.SmallInt(d->alloc);
    default:
      return SQL_NO_DATA;  // not a header field
  }
}

bool IsHeaderField(int16_t f) {
  switch (f) {
    case SQL_DESC_ARRAY_SIZE: case SQL_DESC_ARRAY_STATUS_PTR: case SQL_DESC_BIND_OFFSET_PTR:
    case SQL_DESC_BIND_TYPE: case SQL_DESC_ROWS_PROCESSED_PTR: case SQL_DESC_COUNT: case SQL_DESC_ALLOC_TYPE:
      return true;
    default:
      return false;
  }
}

bool IsReadableRecordField(int16_t f) {
  switch (f) {
    case SQL_DESC_CONCISE_TYPE: case SQL_DESC_DISPLAY_SIZE: case SQL_DESC_UNSIGNED: case SQL_DESC_FIXED_PREC_SCALE:
    case SQL_DESC_UPDATABLE: case SQL_DESC_AUTO_UNIQUE_VALUE: case SQL_DESC_CASE_SENSITIVE:
    case SQL_DESC_SEARCHABLE: case SQL_DESC_TYPE_NAME: case SQL_DESC_TABLE_NAME: case SQL_DESC_SCHEMA_NAME:
    case SQL_DESC_CATALOG_NAME: case SQL_DESC_LABEL: case SQL_DESC_BASE_COLUMN_NAME:
    case SQL_DESC_BASE_TABLE_NAME: case SQL_DESC_DATETIME_INTERVAL_PRECISION: case SQL_DESC_LITERAL_PREFIX:
    case SQL_DESC_LITERAL_SUFFIX: case SQL_DESC_LOCAL_TYPE_NAME: case SQL_DESC_NUM_PREC_RADIX:
    case SQL_DESC_PARAMETER_TYPE: case SQL_DESC_ROWVER: case kDescKeyColumn: case SQL_DESC_TYPE:
    case SQL_DESC_LENGTH: case SQL_DESC_OCTET_LENGTH_PTR: case SQL_DESC_PRECISION: case SQL_DESC_SCALE:
    case SQL_DESC_DATETIME_INTERVAL_CODE: case SQL_DESC_NULLABLE: case SQL_DESC_INDICATOR_PTR:
    case SQL_DESC_DATA_PTR: case SQL_DESC_NAME: case SQL_DESC_UNNAMED: case SQL_DESC_OCTET_LENGTH:
      return true;
    default:
      return false;
  }
}

// Fields that only an IRD answers (others: S1091).
bool IrdOnly(int16_t f) {
  switch (f) {
    case SQL_DESC_DISPLAY_SIZE: case SQL_DESC_UPDATABLE: case SQL_DESC_AUTO_UNIQUE_VALUE:
    case SQL_DESC_SEARCHABLE: case SQL_DESC_TABLE_NAME: case SQL_DESC_SCHEMA_NAME: case SQL_DESC_CATALOG_NAME:
    case SQL_DESC_LABEL: case SQL_DESC_BASE_COLUMN_NAME: case SQL_DESC_BASE_TABLE_NAME:
    case SQL_DESC_LITERAL_PREFIX: case SQL_DESC_LITERAL_SUFFIX: case SQL_DESC_ROWVER: case kDescKeyColumn:
      return true;
    default:
      return false;
  }
}

// Fields that application descriptors do not have (S1091).
bool ImplementationOnly(int16_t f) {
  switch (f) {
    case SQL_DESC_UNSIGNED: case SQL_DESC_FIXED_PREC_SCALE: case SQL_DESC_CASE_SENSITIVE: case SQL_DESC_TYPE_NAME:
    case SQL_DESC_LOCAL_TYPE_NAME: case SQL_DESC_NULLABLE: case SQL_DESC_NAME: case SQL_DESC_UNNAMED:
      return true;
    default:
      return false;
  }
}

// Pointer fields that implementation descriptors do not have (S1091).
bool ApplicationOnly(int16_t f) {
  return f == SQL_DESC_OCTET_LENGTH_PTR || f == SQL_DESC_INDICATOR_PTR || f == SQL_DESC_DATA_PTR;
}

const char *LabelOf(const ColDesc &c) { return c.fullName && *c.fullName ? c.fullName : c.name; }

// The type fields that an IRD column's and an IPD parameter's description
// answer alike.
SQLRETURN ReadDescribedType(const ColDesc &c, Conn *conn, Desc *d, int16_t field, const Out &o) {
  const int t = c.sqlType;
  switch (field) {
    case SQL_DESC_CONCISE_TYPE: return o.SmallInt(t);
    case SQL_DESC_UNSIGNED: return o.SmallInt(UnsignedRule(t));
    case SQL_DESC_FIXED_PREC_SCALE: return o.SmallInt(FixedRule(t, c.decimalDigits));
    case SQL_DESC_TYPE_NAME: return TypeName(o, conn, t);
    case SQL_DESC_NUM_PREC_RADIX: return o.Integer(RadixRule(t));
    case SQL_DESC_TYPE: return o.SmallInt(Verbose(t));
    case SQL_DESC_LENGTH: return o.Integer(LengthRule(t, DescColSize(c), DescColSize(c)));
    case SQL_DESC_PRECISION: return o.SmallInt(PrecisionRule(t, c.columnSize, c.decimalDigits));
    case SQL_DESC_SCALE: return o.SmallInt(ScaleRule(t, c.decimalDigits));
    case SQL_DESC_DATETIME_INTERVAL_CODE: return o.SmallInt(IntervalCode(t));
    case SQL_DESC_OCTET_LENGTH: return o.Integer(OctetRule(t, DescOctetSize(c)));
    default: return DescFail(d, E_IM001);
  }
}

// A field as the descriptor's own record holds it. Callers have already
// refused the fields their kind of descriptor does not have.
SQLRETURN ReadStoredField(const DescRecord &rec, Desc *d, int16_t field, const Out &o) {
  switch (field) {
    case SQL_DESC_CONCISE_TYPE: return o.SmallInt(rec.conciseType);
    case SQL_DESC_UNSIGNED: return o.SmallInt(rec.isUnsigned);
    case SQL_DESC_FIXED_PREC_SCALE: return o.SmallInt(rec.fixedPrecScale);
    case SQL_DESC_NUM_PREC_RADIX: return o.Integer(rec.numPrecRadix);
    case SQL_DESC_TYPE: return o.SmallInt(rec.type);
    case SQL_DESC_LENGTH: return o.Integer(rec.length);
    case SQL_DESC_OCTET_LENGTH_PTR: return o.Pointer(rec.octetLengthPtr);
    case SQL_DESC_PRECISION: return o.SmallInt(rec.precision);
    case SQL_DESC_SCALE: return o.SmallInt(rec.scale);
    case SQL_DESC_DATETIME_INTERVAL_CODE: return o.SmallInt(rec.datetimeIntervalCode);
    case SQL_DESC_INDICATOR_PTR: return o.Pointer(rec.indicatorPtr);
    case SQL_DESC_DATA_PTR: return o.Pointer(rec.dataPtr);
    case SQL_DESC_OCTET_LENGTH: return o.Integer(rec.octetLength);
    default: return DescFail(d, E_IM001);
  }
}

SQLRETURN ReadIrd(RecordRead &r, int16_t field, const Out &o) {
  Desc *d = r.desc;
  Conn *conn = r.stmt->conn;
  const bool bookmark = r.rec == 0;
  int32_t attr = 0;
  const char *text = nullptr;

  // Fields that the bookmark record answers with constants.
  if (bookmark) {
    switch (field) {
      case SQL_DESC_CONCISE_TYPE: case SQL_DESC_TYPE: return o.SmallInt(SQL_CHAR);
      case SQL_DESC_DISPLAY_SIZE: return o.Integer(8);
      case SQL_DESC_UNSIGNED: return o.SmallInt(SQL_TRUE);
      case SQL_DESC_FIXED_PREC_SCALE: case SQL_DESC_UPDATABLE: case SQL_DESC_SEARCHABLE: case SQL_DESC_ROWVER:
      case kDescKeyColumn: case SQL_DESC_PRECISION: case SQL_DESC_SCALE: case SQL_DESC_DATETIME_INTERVAL_CODE:
      case SQL_DESC_NULLABLE: case SQL_DESC_UNNAMED:
        return o.SmallInt(0);
      case SQL_DESC_AUTO_UNIQUE_VALUE: case SQL_DESC_NUM_PREC_RADIX: return o.Integer(0);
      case SQL_DESC_CASE_SENSITIVE: return o.Integer(1);
      case SQL_DESC_TYPE_NAME: return TypeName(o, conn, SQL_CHAR);
      case SQL_DESC_LABEL: case SQL_DESC_BASE_COLUMN_NAME: case SQL_DESC_NAME: return o.Text("BOOKMARK");
      case SQL_DESC_LITERAL_PREFIX: case SQL_DESC_LITERAL_SUFFIX: case SQL_DESC_LOCAL_TYPE_NAME: return o.Text("");
      case SQL_DESC_LENGTH: case SQL_DESC_OCTET_LENGTH: return o.Integer(8);
      default: break;
    }
  }

  // Fields answered without the description.
  switch (field) {
    case SQL_DESC_DATETIME_INTERVAL_PRECISION:
      return o.Integer(r.record ? r.record->datetimeIntervalPrecision : 0);
    case SQL_DESC_AUTO_UNIQUE_VALUE:
      return o.Integer(r.AttrInt(SQL_DESC_AUTO_UNIQUE_VALUE, &attr) ? attr : 0);
    case SQL_DESC_ROWVER:
      return o.SmallInt(r.AttrInt(SQL_DESC_ROWVER, &attr) ? attr : 0);
    case kDescKeyColumn:
      return o.SmallInt(r.AttrInt(kDescKeyColumn, &attr) ? attr : 0);
    case SQL_DESC_LOCAL_TYPE_NAME:
      return o.Text("");
    case SQL_DESC_PARAMETER_TYPE:
    case SQL_DESC_OCTET_LENGTH_PTR:
    case SQL_DESC_INDICATOR_PTR:
    case SQL_DESC_DATA_PTR:
      return DescFail(d, E_S1091);
    default:
      break;
  }
  if (field == SQL_DESC_UPDATABLE && r.AttrInt(SQL_DESC_UPDATABLE, &attr)) return o.SmallInt(attr);
  if (field == SQL_DESC_CASE_SENSITIVE && r.AttrInt(SQL_DESC_CASE_SENSITIVE, &attr)) return o.Integer(attr);
  if (field == SQL_DESC_SEARCHABLE && r.AttrInt(SQL_DESC_SEARCHABLE, &attr)) return o.SmallInt(attr);
  if (field == SQL_DESC_TYPE_NAME && r.AttrText(SQL_DESC_TYPE_NAME, &text)) return o.Text(text);
  if (field == SQL_DESC_LITERAL_PREFIX && r.AttrText(SQL_DESC_LITERAL_PREFIX, &text)) return o.Text(text);
  if (field == SQL_DESC_LITERAL_SUFFIX && r.AttrText(SQL_DESC_LITERAL_SUFFIX, &text)) return o.Text(text);

  ColDesc *c = r.Description();
  if (!c) return DescFail(d, E_07009);
  const int t = c->sqlType;
  switch (field) {
    case SQL_DESC_DISPLAY_SIZE: return o.Integer(c->columnSize);
    case SQL_DESC_UPDATABLE: return o.SmallInt(UpdatableRule(*c));
    case SQL_DESC_CASE_SENSITIVE: return o.Integer(CaseRule(t));
    case SQL_DESC_SEARCHABLE: return o.SmallInt(SearchableRule(t));
    case SQL_DESC_TABLE_NAME: case SQL_DESC_BASE_TABLE_NAME: return o.Text(c->table);
    case SQL_DESC_SCHEMA_NAME: return o.Text(c->schema);
    case SQL_DESC_CATALOG_NAME: return o.Text(c->catalog);
    case SQL_DESC_LABEL: return o.Text(LabelOf(*c));
    case SQL_DESC_BASE_COLUMN_NAME:
      // Without its table the base column is not known (the label may be
      // an alias or the expression's text).
      return o.Text((r.AttrInt(kAttrExpression, &attr) && attr == 1) || !c->table || !*c->table ? "" : LabelOf(*c));
    case SQL_DESC_LITERAL_PREFIX: return TypeCatalogText(o, conn, kLiteralPrefixColumn, t);
    case SQL_DESC_LITERAL_SUFFIX: return TypeCatalogText(o, conn, kLiteralSuffixColumn, t);
    case SQL_DESC_NULLABLE: return o.SmallInt(static_cast<int>(c->flags & kColDescNullableMask));
    case SQL_DESC_NAME: return o.Text(c->name);
    case SQL_DESC_UNNAMED: return o.SmallInt(c->name[0] ? SQL_NAMED : SQL_UNNAMED);
    default: return ReadDescribedType(*c, conn, d, field, o);
  }
}

SQLRETURN ReadIpd(RecordRead &r, int16_t field, const Out &o) {
  Desc *d = r.desc;
  DescRecord *rec = r.record;
  if (IrdOnly(field) || ApplicationOnly(field)) return DescFail(d, E_S1091);
  switch (field) {
    case SQL_DESC_CASE_SENSITIVE: return o.Integer(1);
    case SQL_DESC_LOCAL_TYPE_NAME: return o.Text("");
    case SQL_DESC_NULLABLE: return o.SmallInt(SQL_NULLABLE);
    case SQL_DESC_DATETIME_INTERVAL_PRECISION: return o.Integer(rec ? rec->datetimeIntervalPrecision : 0);
    case SQL_DESC_PARAMETER_TYPE: {
      // An unbound parameter answers what its record says it will be.
      ParamBinding *p = r.Param();
      return o.SmallInt(p ? p->paramType : rec ? rec->parameterType : 0);
    }
    case SQL_DESC_NAME:
      if (!rec) return r.Description() ? o.Text("") : DescFail(d, E_S1000);
      return o.Text(rec->name);
    case SQL_DESC_UNNAMED:
      if (!rec) return r.Description() ? o.SmallInt(SQL_UNNAMED) : DescFail(d, E_S1000);
      return o.SmallInt(rec->unnamed);
    default:
      break;
  }
  // The rest: what the application set on the record itself (a binding or
  // a field write gives it a type), else the parameter's description, else
  // the record. Descriptions carry ODBC 2 date and time types, which the
  // Driver Manager turns into ODBC 3 ones on SQLDescribeParam but not on
  // descriptor reads: an ODBC 3 application gets them here as
  // SQLDescribeParam gives them.
  const ColDesc *c = rec && rec->conciseType != 0 ? nullptr : r.Description();
  if (c) {
    ColDesc seen = *c;
    const Conn *conn = r.stmt->conn;
    if ((!conn || !conn->env || conn->env->odbcVersion != SQL_OV_ODBC2) && In(seen.sqlType, 9, 11))
      seen.sqlType = static_cast<decltype(seen.sqlType)>(seen.sqlType + 82);
    return ReadDescribedType(seen, r.stmt->conn, d, field, o);
  }
  if (!rec) {
    switch (field) {
      case SQL_DESC_FIXED_PREC_SCALE: return DescFail(d, E_S1091);
      case SQL_DESC_NUM_PREC_RADIX: case SQL_DESC_PRECISION: case SQL_DESC_OCTET_LENGTH:
        return DescFail(d, E_07009);
      default: return DescFail(d, E_S1000);
    }
  }
  if (field == SQL_DESC_TYPE_NAME) return TypeName(o, r.stmt->conn, rec->conciseType);
  return ReadStoredField(*rec, d, field, o);
}

// ARD and APD applied to their statement, and descriptors answered from
// their own records.
SQLRETURN ReadApplication(RecordRead &r, int16_t field, const Out &o) {
  Desc *d = r.desc;
  DescRecord *rec = r.record;
  if (IrdOnly(field) || ImplementationOnly(field) || field == SQL_DESC_PARAMETER_TYPE) return DescFail(d, E_S1091);
  if (field == SQL_DESC_DATETIME_INTERVAL_PRECISION) return o.Integer(rec ? rec->datetimeIntervalPrecision : 0);

  if (r.src == Src::OWN) {
    if (!rec) return DescFail(d, E_S1000);
    return ReadStoredField(*rec, d, field, o);
  }

  // The statement's binding of the column or parameter, when there is one
  // with a buffer: its C type, buffer length, pointers and (parameters)
  // element size. A binding whose buffer a field write took away answers
  // from the record, which holds what was written since.
  struct Binding {
    int cType;
    int64_t bufferLength;
    int64_t size;  // for [length]
    void *data;
    int64_t *lengthPtr;
    int64_t *indicatorPtr;
  };
  Binding b{};
  bool bound = false;
  if (r.src == Src::ARD) {
    if (BoundCol *c = r.Column(); c && c->bind.data) {
      bound = true;
      b = {c->bind.cType, static_cast<int64_t>(c->bind.bufferLength), static_cast<int64_t>(c->bind.bufferLength) - 1,
           c->bind.data, c->bind.lengthPtr, c->bind.indicatorPtr};
    }
  } else if (ParamBinding *p = r.Param(); p && p->data) {
    bound = true;
    b = {p->cType, p->bufferLength, p->elemSize, p->data, p->lengthPtr, p->indicatorPtr};
  }

  if (bound) {
    const int t = b.cType;
    switch (field) {
      case SQL_DESC_CONCISE_TYPE: return o.SmallInt(t);
      case SQL_DESC_NUM_PREC_RADIX: return o.Integer(RadixRule(t));
      case SQL_DESC_TYPE: return o.SmallInt(Verbose(t));
      case SQL_DESC_LENGTH: return o.Integer(LengthRule(t, b.size, BufferChars(t, b.bufferLength)));
      case SQL_DESC_OCTET_LENGTH_PTR: return o.Pointer(b.lengthPtr);
      case SQL_DESC_DATETIME_INTERVAL_CODE: return o.SmallInt(IntervalCode(t));
      case SQL_DESC_INDICATOR_PTR: return o.Pointer(b.indicatorPtr);
      case SQL_DESC_DATA_PTR: return o.Pointer(b.data);
      case SQL_DESC_OCTET_LENGTH: return o.Integer(OctetRule(t, b.bufferLength));
      default: break;  // PRECISION and SCALE come from the record
    }
  } else if (field == SQL_DESC_DATA_PTR) {
    return o.Pointer(nullptr);
  }
  if (!rec) {
    switch (field) {
      case SQL_DESC_SCALE: case SQL_DESC_DATETIME_INTERVAL_CODE: return o.SmallInt(0);
      default: return DescFail(d, E_S1000);
    }
  }
  return ReadStoredField(*rec, d, field, o);
}

// ---- Writes ---------------------------------------------------------------------------

bool IsReadOnlyField(int16_t f) {
  return f == SQL_DESC_DISPLAY_SIZE || In(f, 8, 18) || f == 22 || f == 23 || In(f, 27, 29) ||
         f == SQL_DESC_NULLABLE || f == SQL_DESC_ALLOC_TYPE;
}

bool IsWritableRecordField(int16_t f) {
  switch (f) {
    case SQL_DESC_CONCISE_TYPE: case SQL_DESC_TYPE: case SQL_DESC_DATETIME_INTERVAL_PRECISION:
    case SQL_DESC_NUM_PREC_RADIX: case SQL_DESC_PARAMETER_TYPE: case SQL_DESC_LENGTH:
    case SQL_DESC_OCTET_LENGTH_PTR: case SQL_DESC_PRECISION: case SQL_DESC_SCALE:
    case SQL_DESC_DATETIME_INTERVAL_CODE: case SQL_DESC_INDICATOR_PTR: case SQL_DESC_DATA_PTR: case SQL_DESC_NAME:
    case SQL_DESC_UNNAMED: case SQL_DESC_OCTET_LENGTH:
      return true;
    default:
      return false;
  }
}

template <class T = void>
T *AsPtr(int64_t v) {
  return reinterpret_cast<T *>(static_cast<uintptr_t>(v));
}

// The fields that follow a new CONCISE_TYPE; false for a type outside the
// table.
bool DeriveFromConcise(DescRecord *r) {
  const int c = r->conciseType;
  auto same = [&] {
    r->type = static_cast<int16_t>(c);
    r->datetimeIntervalCode = 0;
  };
  switch (c) {
    case 1: case 12: case -1: case -8: case -9: case -10:
      same();
      r->length = 1;
      r->precision = 0;
      return true;
    case 2: case 3:
      same();
      r->scale = 0;
      r->precision = 38;
      return true;
    case 6:
      same();
      r->precision = 53;
      return true;
    case 7:
      same();
      r->precision = 24;
      return true;
    case 9: case 91: case 10: case 92: case 11: case 93:
      r->type = SQL_DATETIME;
      r->datetimeIntervalCode = static_cast<int16_t>(IntervalCode(c));
      r->precision = r->datetimeIntervalCode == 3 ? 6 : 0;
      return true;
    case 99:
      r->type = 99;
      return true;
    default:
      break;
  }
  if (c == 4 || c == 5 || c == 8 || In(c, -28, -25) || In(c, -18, -15) || In(c, -7, -2)) {
    same();
    return true;
  }
  if (In(c, 101, 113)) {
    r->type = SQL_INTERVAL;
    r->datetimeIntervalCode = static_cast<int16_t>(c - 100);
    r->datetimeIntervalPrecision = 2;
    if (c == 106 || c == 110 || c == 112 || c == 113) r->precision = 6;
    return true;
  }
  return false;
}

// The fields that follow a new TYPE; false for a type outside the table.
bool DeriveFromType(DescRecord *r) {
  const int t = r->type;
  switch (t) {
    case 1: case 12: case -1: case -8: case -9: case -10:
      r->conciseType = static_cast<int16_t>(t);
      r->length = 1;
      r->precision = 0;
      return true;
    case 2: case 3:
      r->conciseType = static_cast<int16_t>(t);
      r->scale = 0;
      r->precision = 38;
      return true;
    case 6:
      r->conciseType = 6;
      r->precision = 53;
      return true;
    case 7:
      r->conciseType = 7;
      r->precision = 24;
      return true;
    case SQL_DATETIME: {
      const int code = r->datetimeIntervalCode;
      if (In(code, 1, 3)) {
        r->conciseType = static_cast<int16_t>(90 + code);
        r->precision = code == 3 ? 6 : 0;
      }
      return true;
    }
    case SQL_INTERVAL: {
      const int code = r->datetimeIntervalCode;
      if (In(code, 1, 13)) {
        r->conciseType = static_cast<int16_t>(100 + code);
        r->datetimeIntervalPrecision = 2;
        if (code == 6 || code == 10 || code == 12 || code == 13) r->precision = 6;
      }
      return true;
    }
    default:
      break;
  }
  if (t == 4 || t == 5 || t == 8 || t == 99 || In(t, -28, -25) || In(t, -18, -15) || In(t, -7, -2)) {
    r->conciseType = static_cast<int16_t>(t);
    return true;
  }
  return false;
}

// Frees one record node with its name.
void FreeRecordNode(DescRec *node) {
  DescRecReset(&node->rec);
  free(node);
}

// Unbinds, on the statement, the columns or parameters above n that a
// lowered COUNT removed from the descriptor.
void UnbindAbove(Stmt *stmt, bool row, int n) {
  if (row) {
    for (BoundCol *b = stmt->boundCols; b;) {
      BoundCol *next = b->next;
      if (b->bind.column > n) StmtUnbindCol(stmt, b->bind.column);
      b = next;
    }
    return;
  }
  for (int i = n; i < stmt->paramCapacity; ++i) {
    ParamBinding *p = &stmt->params[i];
    if (p->number == 0) continue;
    DaeBufFree(&p->pieces, p->pieceCount, &p->pieceLengths);
    *p = ParamBinding{};
    if (stmt->paramShadow) stmt->paramShadow[i] = ParamInfo{};
    stmt->flags &= static_cast<uint16_t>(~STMTF_PARAMINFO_SENT);
  }
}

// The write for one statement. errStmt (may be null) receives the statement
// on which a failure of a statement operation was left.
struct WriteCtx {
  Stmt *stmt;
  bool app, row, apply;
  Desc *desc;
  Stmt **errStmt;

  SQLRETURN StmtFail(int32_t code) const {
    if (code) stmt->pending = code;
    if (errStmt) *errStmt = stmt;
    return SQL_ERROR;
  }
  SQLRETURN StmtResult(SQLRETURN rc) const {
    if (rc != SQL_SUCCESS && errStmt) *errStmt = stmt;
    return rc;
  }
  bool AppliedArd() const { return apply && stmt && app && row; }
  bool AppliedApd() const { return apply && stmt && app && !row; }
  bool AppliedIpd() const { return apply && stmt && !app && !row; }
};

SQLRETURN WriteHeader(const WriteCtx &w, int16_t field, int64_t value) {
  Desc *d = w.desc;
  Stmt *stmt = w.stmt;
  switch (field) {
    case SQL_DESC_ARRAY_SIZE: {
      if (!w.app) return DescFail(d, E_S1091);
      if (value != 0) d->arraySize = static_cast<uint64_t>(value);
      if (!w.apply || !stmt) return SQL_SUCCESS;
      if (w.row) {
        const uint64_t slots[] = {ApiSlot(uint16_t{SQL_ROWSET_SIZE}), d->arraySize};
        SQLRETURN rc = odbc_SetStmtOption(stmt, ApiArgs{slots, 2});
        // The statement may have kept another size (01S02): the descriptor
        // says what is in force.
        if (SQL_SUCCEEDED(rc)) d->arraySize = static_cast<uint64_t>(stmt->cursor.rowsetSize);
        return w.StmtResult(rc);
      }
      if (int code = StmtSetParamsetSize(stmt, d->arraySize, stmt->rowsProcessed)) return w.StmtFail(code);
      return SQL_SUCCESS;
    }
    case SQL_DESC_ARRAY_STATUS_PTR:
      d->arrayStatus = AsPtr<uint16_t>(value);
      return SQL_SUCCESS;
    case SQL_DESC_BIND_OFFSET_PTR:
      if (!w.app) return DescFail(d, E_S1091);
      d->bindOffset = AsPtr<int64_t>(value);
      return SQL_SUCCESS;
    case SQL_DESC_BIND_TYPE:
      if (!w.app) return DescFail(d, E_S1091);
      d->bindType = static_cast<int32_t>(value);
      if (w.AppliedArd()) stmt->bindType = d->bindType;
      return SQL_SUCCESS;
    case SQL_DESC_ROWS_PROCESSED_PTR:
      if (w.app) return DescFail(d, E_S1091);
      if (value != 0) d->rowsProcessed = AsPtr<uint64_t>(value);
      if (!w.apply || !stmt) return SQL_SUCCESS;
      if (w.row) {
        stmt->rowsFetched = d->rowsProcessed;
        return SQL_SUCCESS;
      }
      if (int code = StmtSetParamsetSize(stmt, stmt->paramsetSize, d->rowsProcessed)) return w.StmtFail(code);
      return SQL_SUCCESS;
    case SQL_DESC_COUNT: {
      if (w.row && !w.app) return DescFail(d, E_S1091);
      const int n = static_cast<int16_t>(value);
      if (n < 0) return DescFail(d, E_07009);
      // Lowering the count, to 0 too, removes the records above it and, on
      // every statement the descriptor is applied to, their bindings: nothing
      // keeps writing into buffers the application has given up. (A shared
      // descriptor is already cut when the later statements are visited.)
      if (n < d->count)
        DescTruncateRecords(d, n);
      else if (n > d->count && DescGrowRecs(d, n) != 0)
        return DescFail(d, E_S1001);
      if (w.AppliedArd() || w.AppliedApd()) UnbindAbove(stmt, w.row, n);
      if (w.AppliedApd() && stmt->ipd && stmt->ipd->count < n && DescGrowRecs(stmt->ipd, n) != 0)
        return DescFail(d, E_S1001);
      return SQL_SUCCESS;
    }
    default:
      return DescFail(d, E_IM001);
  }
}

// Stores an IPD change in the statement's binding of the parameter through
// the statement, so that the agent is sent the parameter information again.
SQLRETURN MirrorParam(const WriteCtx &w, const ParamBinding &changed) {
  if (w.stmt->params && StmtSetParam(w.stmt, &changed) != SQL_SUCCESS) return w.StmtFail(0);
  return SQL_SUCCESS;
}

// An IPD record change that the bound parameter pb (may be null) takes too:
// change edits a copy of the binding, which MirrorParam then stores. Other
// descriptors and unbound parameters keep the change in the record only.
template <class Change>
SQLRETURN Mirror(const WriteCtx &w, const ParamBinding *pb, Change change) {
  if (!w.AppliedIpd() || !pb) return SQL_SUCCESS;
  ParamBinding changed = *pb;
  change(changed);
  return MirrorParam(w, changed);
}

SQLRETURN SetName(Desc *d, DescRecord *r, const void *value, int64_t bufferLength, char mode) {
  if (!value) return SQL_SUCCESS;
  if (bufferLength < 0 && bufferLength != SQL_NTS) return DescFail(d, E_S1090);
  char *copy;
  if (mode == 'W') {
    const auto *text = static_cast<const uint16_t *>(value);
    copy = bufferLength == SQL_NTS ? utf16_to_utf8_dup(text)
                                   : utf16_to_utf8_dupn(text, static_cast<int32_t>(bufferLength / 2));
  } else {
    const auto *text = static_cast<const char *>(value);
    size_t n = bufferLength == SQL_NTS ? strlen(text) : static_cast<size_t>(bufferLength);
    copy = static_cast<char *>(malloc(n + 1));
    if (copy) {
      memcpy(copy, text, n);
      copy[n] = 0;
    }
  }
  if (!copy) return DescFail(d, E_S1001);
  free(r->name);
  r->name = copy;
  if (*copy) r->unnamed = SQL_NAMED;
  return SQL_SUCCESS;
}

SQLRETURN WriteRecord(const WriteCtx &w, int16_t recNo, int16_t field, int64_t value, int64_t bufferLength,
                      char mode) {
  Desc *d = w.desc;
  Stmt *stmt = w.stmt;
  if (w.row && !w.app) return DescFail(d, E_S1016);
  if (recNo < 0 || (recNo == 0 && !w.row)) return DescFail(d, E_07009);
  if (!IsWritableRecordField(field)) return DescFail(d, E_IM001);
  if (recNo > d->count) {
    if (DescGrowRecs(d, recNo) != 0) return DescFail(d, E_S1001);
  }
  if (w.AppliedApd() && stmt->ipd && stmt->ipd->count < recNo && DescGrowRecs(stmt->ipd, recNo) != 0)
    return DescFail(d, E_S1001);
  DescRecord *r = DescGetRec(d, recNo);
  assert(r);
  const auto col = static_cast<uint16_t>(recNo);
  BoundCol *bc = w.AppliedArd() ? StmtBoundCol(stmt, col) : nullptr;
  ParamBinding *pb = nullptr;
  if ((w.AppliedApd() || w.AppliedIpd()) && recNo > 0) {
    pb = StmtParamEntry(stmt, col);
    if (pb && pb->number == 0) pb = nullptr;
  }

  // Any other field of an application record unbinds it: the buffer it
  // named no longer matches the record's description.
  if (!ApplicationOnly(field) && w.app) {
    r->dataPtr = nullptr;
    if (bc) bc->bind.data = nullptr;
    if (pb) pb->data = nullptr;
  }

  switch (field) {
    case SQL_DESC_CONCISE_TYPE: {
      if (value == 0) return SQL_SUCCESS;
      r->conciseType = static_cast<int16_t>(value);
      if (!DeriveFromConcise(r)) return DescFail(d, E_S1092);
      return Mirror(w, pb, [r](ParamBinding &p) { p.sqlType = r->conciseType; });
    }
    case SQL_DESC_TYPE: {
      if (value == 0) return SQL_SUCCESS;
      r->type = static_cast<int16_t>(value);
      if (!DeriveFromType(r)) return DescFail(d, E_S1092);
      return Mirror(w, pb, [r](ParamBinding &p) { p.sqlType = r->conciseType; });
    }
    case SQL_DESC_DATETIME_INTERVAL_PRECISION:
      r->datetimeIntervalPrecision = static_cast<int32_t>(value);
      return SQL_SUCCESS;
    case SQL_DESC_NUM_PREC_RADIX:
      r->numPrecRadix = static_cast<int32_t>(value);
      return SQL_SUCCESS;
    case SQL_DESC_PARAMETER_TYPE: {
      if (w.app) return DescFail(d, E_S1091);
      if (value == 0) return SQL_SUCCESS;
      r->parameterType = static_cast<int16_t>(value);
      return Mirror(w, pb, [r](ParamBinding &p) { p.paramType = r->parameterType; });
    }
    case SQL_DESC_LENGTH: {
      r->length = static_cast<int64_t>(static_cast<uint32_t>(value));
      if (!pb || !SizeIsLength(pb->sqlType)) return SQL_SUCCESS;
      return Mirror(w, pb, [r](ParamBinding &p) { p.columnSize = static_cast<uint64_t>(r->length); });
    }
    case SQL_DESC_OCTET_LENGTH_PTR:
      if (!w.app) return DescFail(d, E_S1091);
      r->octetLengthPtr = AsPtr<int64_t>(value);
      if (bc) bc->bind.lengthPtr = r->octetLengthPtr;
      if (pb) pb->lengthPtr = r->octetLengthPtr;
      return SQL_SUCCESS;
    case SQL_DESC_PRECISION: {
      r->precision = static_cast<int16_t>(value);
      if (!pb) return SQL_SUCCESS;
      if (pb->sqlType == SQL_NUMERIC || pb->sqlType == SQL_DECIMAL) {
        const auto size = static_cast<uint64_t>(static_cast<uint16_t>(r->precision));
        return Mirror(w, pb, [size](ParamBinding &p) { p.columnSize = size; });
      }
      if (pb->sqlType == 9 || pb->sqlType == 10)
        return Mirror(w, pb, [r](ParamBinding &p) { p.decimalDigits = r->precision; });
      return SQL_SUCCESS;
    }
    case SQL_DESC_SCALE: {
      r->scale = static_cast<int16_t>(value);
      return Mirror(w, pb, [r](ParamBinding &p) { p.decimalDigits = r->scale; });
    }
    case SQL_DESC_DATETIME_INTERVAL_CODE: {
      r->datetimeIntervalCode = static_cast<int16_t>(value);
      const int code = r->datetimeIntervalCode;
      if (r->type == SQL_DATETIME && In(code, 1, 3))
        r->conciseType = static_cast<int16_t>(code + 90);
      else if (r->type == SQL_INTERVAL && In(code, 1, 13))
        r->conciseType = static_cast<int16_t>(code + 100);
      return SQL_SUCCESS;
    }
    case SQL_DESC_INDICATOR_PTR:
      if (!w.app) return DescFail(d, E_S1091);
      r->indicatorPtr = AsPtr<int64_t>(value);
      if (bc) bc->bind.indicatorPtr = r->indicatorPtr;
      if (pb) pb->indicatorPtr = r->indicatorPtr;
      return SQL_SUCCESS;
    case SQL_DESC_DATA_PTR: {
      if (!w.app) return SQL_SUCCESS;
      void *data = AsPtr(value);
      r->dataPtr = data;
      if (w.AppliedArd()) {
        if (!data) {
          // A NULL data pointer unbinds the column, as SQLBindCol with a
          // NULL buffer does.
          StmtUnbindCol(stmt, col);
          return SQL_SUCCESS;
        }
        int64_t *lengthPtr = r->octetLengthPtr;
        if (int code = BindColumn(stmt, col, r->conciseType, data, r->octetLength, r->indicatorPtr))
          return w.StmtFail(code);
        // The binding core takes one length-or-indicator pointer for both;
        // a length pointer set apart from the indicator stays in force.
        r = DescGetRec(d, recNo);
        if (r) r->octetLengthPtr = lengthPtr;
        if (BoundCol *b = StmtBoundCol(stmt, col)) b->bind.lengthPtr = lengthPtr;
        return SQL_SUCCESS;
      }
      if (w.AppliedApd()) {
        if (!data) {
          if (pb) pb->data = nullptr;
          return SQL_SUCCESS;
        }
        DescRecord *ip = stmt->ipd ? DescGetRec(stmt->ipd, recNo) : nullptr;
        if (!ip) return w.StmtFail(E_S1000);
        const int sqlType = ip->conciseType;
        const uint64_t size = SizeIsLength(sqlType) ? static_cast<uint64_t>(ip->length)
                                                     : static_cast<uint64_t>(static_cast<uint16_t>(ip->precision));
        int16_t digits = 0;
        if (sqlType == SQL_NUMERIC || sqlType == SQL_DECIMAL)
          digits = ip->scale;
        else if (sqlType == 9 || sqlType == 10)
          digits = ip->precision;
        if (BindParam(stmt, col, ip->parameterType, r->conciseType, ip->conciseType, size, digits, data,
                      r->octetLength, r->octetLengthPtr, r->indicatorPtr) != 0)
          return w.StmtFail(0);
        return SQL_SUCCESS;
      }
      return SQL_SUCCESS;
    }
    case SQL_DESC_NAME:
      if (w.app || w.row) return DescFail(d, E_S1091);
      return SetName(d, r, AsPtr(value), bufferLength, mode);
    case SQL_DESC_UNNAMED:
      if (w.app || w.row) return DescFail(d, E_S1091);
      if (value == 0) return SQL_SUCCESS;
      if (value != SQL_UNNAMED) return DescFail(d, E_S1091);
      r->unnamed = SQL_UNNAMED;
      return SQL_SUCCESS;
    case SQL_DESC_OCTET_LENGTH: {
      r->octetLength = static_cast<int32_t>(value);
      return Mirror(w, pb, [r](ParamBinding &p) { p.sqlType = r->conciseType; });
    }
    default:
      return DescFail(d, E_IM001);
  }
}

SQLRETURN CoreImpl(const WriteCtx &w, int16_t record, int16_t field, int64_t value, int64_t bufferLength,
                   char mode) {
  if (IsHeaderField(field)) return WriteHeader(w, field, value);
  return WriteRecord(w, record, field, value, bufferLength, mode);
}

SQLRETURN SetFieldImpl(Desc *desc, int16_t record, int16_t field, int64_t value, int64_t bufferLength, char mode,
                       Stmt **errStmt) {
  TraceDesc(desc);
  if (IsReadOnlyField(field)) return DescFail(desc, E_S1091);

  if (desc->alloc == DESC_ALLOC_AUTO) {
    Stmt *stmt = desc->stmt;
    assert(stmt);
    const int16_t k = desc->kind;
    const bool app = k == DESC_ARD || k == DESC_APD;
    const bool row = k == DESC_IRD || k == DESC_ARD;
    // An implicit ARD or APD that an explicit descriptor has replaced keeps
    // its own values until it is in force again.
    const bool apply = (k == DESC_ARD && stmt->ard == desc) || (k == DESC_APD && stmt->apd == desc) ||
                       k == DESC_IRD || k == DESC_IPD;
    return CoreImpl(WriteCtx{stmt, app, row, apply, desc, errStmt}, record, field, value, bufferLength, mode);
  }

  // An explicit descriptor reaches every statement that uses it. The
  // statements are found in the connection's own list: the caller holds the
  // connection's call lock, under which no statement of it is made or freed.
  SQLRETURN worst = SQL_SUCCESS;
  bool used = false;
  if (Conn *conn = desc->conn) {
    for (Stmt *s = conn->statements; s; s = s->next) {
      for (int use = 0; use < 2; ++use) {
        const bool asArd = use == 0;
        if ((asArd ? s->ard : s->apd) != desc) continue;
        used = true;
        SQLRETURN rc = CoreImpl(WriteCtx{s, true, asArd, true, desc, errStmt}, record, field, value, bufferLength,
                                mode);
        // A warning on one statement does not keep the change from the
        // others; a failure stops the walk (earlier statements keep it).
        if (rc == SQL_SUCCESS_WITH_INFO)
          worst = rc;
        else if (rc != SQL_SUCCESS)
          return rc;
      }
    }
  }
  if (!used) return CoreImpl(WriteCtx{nullptr, true, false, false, desc, errStmt}, record, field, value, bufferLength,
                             mode);
  return worst;
}

}  // namespace

// ---- Interface --------------------------------------------------------------------------

SQLRETURN DescGetField(Desc *desc, int16_t record, int16_t field, void *value, int64_t bufferLength,
                       int64_t *returnedLength, char mode) {
  TraceDesc(desc);
  const Src src = SourceOf(desc);
  const Out out{desc, value, bufferLength, returnedLength, mode};
  if (IsHeaderField(field)) return ReadHeader(desc, src, field, out);
  if (!IsReadableRecordField(field)) return DescFail(desc, E_IM001);

  Stmt *stmt = desc->stmt;
  if (record < 0 || (record == 0 && (Implicit(desc, DESC_IPD) || Implicit(desc, DESC_APD))))
    return DescFail(desc, E_07009);
  int count;
  if (src == Src::IRD) {
    int16_t n = 0;
    if (int code = IrdCount(stmt, &n)) return DescFail(desc, code);
    count = n;
  } else {
    count = src == Src::IPD ? IpdCount(desc) : desc->count;
  }
  if (record > count) return SQL_NO_DATA;

  RecordRead r{desc, stmt, record, src};
  r.record = DescGetRec(desc, record);
  switch (src) {
    case Src::IRD: return ReadIrd(r, field, out);
    case Src::IPD: return ReadIpd(r, field, out);
    default: return ReadApplication(r, field, out);
  }
}

SQLRETURN DescSetField(Desc *desc, int16_t record, int16_t field, int64_t value, int64_t bufferLength, char mode) {
  return SetFieldImpl(desc, record, field, value, bufferLength, mode, nullptr);
}

SQLRETURN DescSetFieldCore(Stmt *stmt, bool app, bool row, bool apply, Desc *desc, int16_t record, int16_t field,
                           int64_t value, int64_t bufferLength, char mode) {
  return CoreImpl(WriteCtx{stmt, app, row, apply && stmt, desc, nullptr}, record, field, value, bufferLength, mode);
}

void DescTruncateRecords(Desc *desc, int n) {
  if (n < 0) n = 0;
  DescRec *keep = desc->records;
  for (int i = 0; keep && i < n; ++i) keep = keep->next;
  if (!keep) return;
  DescRec *node = keep->next;
  keep->next = nullptr;
  while (node) {
    DescRec *next = node->next;
    FreeRecordNode(node);
    node = next;
  }
  desc->count = static_cast<uint16_t>(n);
}

SQLRETURN odbc_GetDescField(void *object, const ApiArgs &args) {
  auto *desc = static_cast<Desc *>(object);
  int64_t len = 0;
  auto *lengthPtr = args.ptr<SQLINTEGER>(4);
  SQLRETURN rc = DescGetField(desc, args.i16(0), args.i16(1), args.ptr(2), args.i32(3), &len, args.mode(5));
  if (lengthPtr && SQL_SUCCEEDED(rc)) *lengthPtr = static_cast<SQLINTEGER>(len);
  return rc;
}

SQLRETURN odbc_SetDescField(void *object, const ApiArgs &args) {
  auto *desc = static_cast<Desc *>(object);
  Stmt *errStmt = nullptr;
  SQLRETURN rc = SetFieldImpl(desc, args.i16(0), args.i16(1), args.i64(2), args.i32(3), args.mode(4), &errStmt);
  // The application called on the descriptor and looks for the reason there:
  // a statement operation's SQLSTATE moves to the descriptor.
  if (rc != SQL_SUCCESS && desc->pending == 0 && errStmt && errStmt->pending != 0) {
    desc->pending = errStmt->pending;
    errStmt->pending = 0;
  }
  return rc;
}
