// Descriptor record and copy entries.
#include "odbc/descrec.h"

#include <sql.h>
#include <sqlext.h>

#include <cstring>

#include "odbc/data/descfield.h"
#include "odbc/objects.h"
#include "odbc/sqlstate.h"
#include "odbc/trace.h"

namespace {

// Room for a copied record name.
constexpr int kNameBuffer = 255;

bool IsImplicit(const Desc *d, int16_t kind) { return d->alloc == DESC_ALLOC_AUTO && d->kind == kind; }

// When a field is read from the source and when it is written to the
// target, in terms of the two descriptors' classes.
enum When : uint8_t {
  ALWAYS,
  APP,       // an application descriptor
  NOT_APP,   // not an application descriptor
  IMPL_IPD,  // an implicit IPD
};

struct CopyField {
  int16_t id;
  When when;
};

constexpr CopyField kHeaderFields[] = {
    {SQL_DESC_ARRAY_SIZE, APP},     {SQL_DESC_ARRAY_STATUS_PTR, ALWAYS}, {SQL_DESC_BIND_OFFSET_PTR, APP},
    {SQL_DESC_BIND_TYPE, APP},      {SQL_DESC_COUNT, ALWAYS},            {SQL_DESC_ROWS_PROCESSED_PTR, NOT_APP},
};

constexpr CopyField kRecordFields[] = {
    {SQL_DESC_TYPE, ALWAYS},
    {SQL_DESC_CONCISE_TYPE, ALWAYS},
    {SQL_DESC_DATETIME_INTERVAL_CODE, ALWAYS},
    {SQL_DESC_DATETIME_INTERVAL_PRECISION, ALWAYS},
    {SQL_DESC_INDICATOR_PTR, APP},
    {SQL_DESC_LENGTH, ALWAYS},
    {SQL_DESC_NAME, NOT_APP},
    {SQL_DESC_NUM_PREC_RADIX, ALWAYS},
    {SQL_DESC_OCTET_LENGTH, ALWAYS},
    {SQL_DESC_OCTET_LENGTH_PTR, APP},
    {SQL_DESC_PARAMETER_TYPE, IMPL_IPD},
    {SQL_DESC_PRECISION, ALWAYS},
    {SQL_DESC_SCALE, ALWAYS},
    {SQL_DESC_UNNAMED, IMPL_IPD},
    {SQL_DESC_DATA_PTR, APP},
};

bool Holds(When when, const Desc *d) {
  switch (when) {
    case ALWAYS: return true;
    case APP: return DescIsApplication(d);
    case NOT_APP: return !DescIsApplication(d);
    case IMPL_IPD: return IsImplicit(d, DESC_IPD);
  }
  return false;
}

// A value read as `len` bytes, widened with its sign, as the field is
// written back.
int64_t Widened(const unsigned char (&raw)[8], int64_t len) {
  switch (len) {
    case 2: {
      int16_t v;
      memcpy(&v, raw, 2);
      return v;
    }
    case 4: {
      int32_t v;
      memcpy(&v, raw, 4);
      return v;
    }
    default: {
      int64_t v;
      memcpy(&v, raw, 8);
      return v;
    }
  }
}

// Copies one field. SQL_SUCCESS to go on; anything else ends the copy.
SQLRETURN CopyOne(Desc *src, Desc *dst, int16_t rec, const CopyField &f) {
  if (!Holds(f.when, src)) return SQL_SUCCESS;
  const bool name = f.id == SQL_DESC_NAME;
  unsigned char raw[8] = {};
  char text[kNameBuffer] = {};
  int64_t len = 0;
  SQLRETURN rc = name ? DescGetField(src, rec, f.id, text, kNameBuffer, &len, 'A')
                      : DescGetField(src, rec, f.id, raw, sizeof raw, &len, 'A');
  if (rc != SQL_SUCCESS) {
    // Reported under the target, where the application looks.
    dst->pending = src->pending;
    return rc;
  }
  if (!Holds(f.when, dst)) return SQL_SUCCESS;
  const int64_t value = name ? static_cast<int64_t>(reinterpret_cast<uintptr_t>(text)) : Widened(raw, len);
  return DescSetField(dst, rec, f.id, value, len, 'A');
}

struct Outs {
  int16_t type = 0, subType = 0, precision = 0, scale = 0, nullable = 0;
  int64_t length = 0;
};

template <class T>
void Give(T *dest, T v) {
  if (dest) *dest = v;
}

}  // namespace

bool DescIsApplication(const Desc *d) {
  return d->alloc == DESC_ALLOC_USER || d->kind == DESC_ARD || d->kind == DESC_APD;
}

bool DescIsRow(const Desc *d) { return IsImplicit(d, DESC_IRD) || IsImplicit(d, DESC_ARD); }

const char *DescTraceName(const Desc *d) {
  if (d->alloc == DESC_ALLOC_USER) return "USER";
  switch (d->kind) {
    case DESC_IRD: return "IRD";
    case DESC_ARD: return "ARD";
    case DESC_IPD: return "IPD";
    case DESC_APD: return "APD";
    default: return "UNKNOWN_DESC";
  }
}

SQLRETURN odbc_CopyDesc(void *object, const ApiArgs &args) {
  auto *src = static_cast<Desc *>(object);
  auto *dst = static_cast<Desc *>(HandleTable_Lookup(&g_odbc.descs, args.u32(0)));
  if (!dst || dst->magic != MAGIC_DESC) return SQL_INVALID_HANDLE;
  if (TraceIsOn()) TraceODBC("Source Descriptor Type: %s", DescTraceName(src));
  if (IsImplicit(dst, DESC_IRD)) {
    dst->pending = E_S1016;
    return SQL_ERROR;
  }
  if (IsImplicit(src, DESC_IRD) && !(src->stmt->flags & STMTF_PREPARED)) {
    dst->pending = E_S1010;
    return SQL_ERROR;
  }
  for (const CopyField &f : kHeaderFields)
    if (SQLRETURN rc = CopyOne(src, dst, 0, f); rc != SQL_SUCCESS) return rc;

  // The bookmark record goes along only between two row descriptors whose
  // statements both use bookmarks.
  const bool bookmarks = DescIsRow(src) && DescIsRow(dst) && src->stmt && dst->stmt &&
                         src->stmt->cursor.useBookmarks && dst->stmt->cursor.useBookmarks;
  const auto last = static_cast<int16_t>(dst->count);
  for (int16_t rec = bookmarks ? 0 : 1; rec <= last; ++rec)
    for (const CopyField &f : kRecordFields)
      if (SQLRETURN rc = CopyOne(src, dst, rec, f); rc != SQL_SUCCESS) return rc;
  return SQL_SUCCESS;
}

SQLRETURN odbc_GetDescRec(void *object, const ApiArgs &args) {
  auto *desc = static_cast<Desc *>(object);
  const int16_t rec = args.i16(0);
  void *name = args.ptr(1);
  const int16_t bufLen = args.i16(2);
  auto *nameLen = args.ptr<int16_t>(3);
  auto *type = args.ptr<int16_t>(4);
  auto *subType = args.ptr<int16_t>(5);
  auto *length = args.ptr<int64_t>(6);
  auto *precision = args.ptr<int16_t>(7);
  auto *scale = args.ptr<int16_t>(8);
  auto *nullable = args.ptr<int16_t>(9);
  const char mode = args.mode(10);
  // A negative size would read as unbounded further down.
  if (bufLen < 0) {
    desc->pending = E_S1090;
    return SQL_ERROR;
  }
  Outs o;
  int64_t got = 0;
  SQLRETURN rc;
  if (type || subType) {
    if ((rc = DescGetField(desc, rec, SQL_DESC_TYPE, &o.type, 2, &got, mode)) != SQL_SUCCESS) return rc;
    Give(type, o.type);
    if (o.type == SQL_DATETIME || o.type == SQL_INTERVAL) {
      if (subType) {
        if ((rc = DescGetField(desc, rec, SQL_DESC_DATETIME_INTERVAL_CODE, &o.subType, 2, &got, mode)) != SQL_SUCCESS)
          return rc;
        *subType = o.subType;
      }
    } else {
      Give<int16_t>(subType, 0);
    }
  }
  if ((rc = DescGetField(desc, rec, SQL_DESC_OCTET_LENGTH, &o.length, 8, &got, mode)) != SQL_SUCCESS) return rc;
  Give(length, o.length);
  if ((rc = DescGetField(desc, rec, SQL_DESC_PRECISION, &o.precision, 2, &got, mode)) != SQL_SUCCESS) return rc;
  Give(precision, o.precision);
  if ((rc = DescGetField(desc, rec, SQL_DESC_SCALE, &o.scale, 2, &got, mode)) != SQL_SUCCESS) return rc;
  Give(scale, o.scale);
  if (DescIsApplication(desc)) return SQL_SUCCESS;
  if ((rc = DescGetField(desc, rec, SQL_DESC_NULLABLE, &o.nullable, 2, &got, mode)) != SQL_SUCCESS) return rc;
  Give(nullable, o.nullable);

  // The wide read counts bytes of UTF-16; the W call counts characters.
  const bool wide = mode == 'W';
  const int64_t bytes = wide ? 2 * static_cast<int64_t>(bufLen) : bufLen;
  got = 0;
  rc = DescGetField(desc, rec, SQL_DESC_NAME, name, bytes, &got, mode);
  if (rc == SQL_SUCCESS || rc == SQL_SUCCESS_WITH_INFO) Give(nameLen, static_cast<int16_t>(wide ? got / 2 : got));
  return rc;
}

SQLRETURN odbc_SetDescRec(void *object, const ApiArgs &args) {
  auto *desc = static_cast<Desc *>(object);
  const int16_t rec = args.i16(0);
  const int16_t type = args.i16(1);
  if (IsImplicit(desc, DESC_IRD)) {
    desc->pending = E_S1016;
    return SQL_ERROR;
  }
  struct Write {
    int16_t field;
    int64_t value;
  };
  const Write head[] = {{SQL_DESC_TYPE, type}, {SQL_DESC_DATETIME_INTERVAL_CODE, args.i16(2)}};
  const Write body[] = {
      {SQL_DESC_OCTET_LENGTH, args.i64(3)},
      {SQL_DESC_PRECISION, args.i16(4)},
      {SQL_DESC_SCALE, args.i16(5)},
      {SQL_DESC_DATA_PTR, static_cast<int64_t>(args.u64(6))},
  };
  const Write pointers[] = {
      {SQL_DESC_OCTET_LENGTH_PTR, static_cast<int64_t>(args.u64(7))},
      {SQL_DESC_INDICATOR_PTR, static_cast<int64_t>(args.u64(8))},
  };
  auto put = [&](const Write &w) { return DescSetField(desc, rec, w.field, w.value, 0, 'A'); };
  SQLRETURN rc;
  if ((rc = put(head[0])) != SQL_SUCCESS) return rc;
  // The subtype means something only for date-time and interval types.
  if ((type == SQL_DATETIME || type == SQL_INTERVAL) && (rc = put(head[1])) != SQL_SUCCESS) return rc;
  for (const Write &w : body)
    if ((rc = put(w)) != SQL_SUCCESS) return rc;
  if (DescIsApplication(desc))
    for (const Write &w : pointers)
      if ((rc = put(w)) != SQL_SUCCESS) return rc;
  return SQL_SUCCESS;
}
