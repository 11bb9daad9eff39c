// SQLDescribeCol, SQLColAttributes and SQLColAttribute.
#include "odbc/coldesc.h"

#include <sql.h>
#include <sqlext.h>
#include <sqlucode.h>

#include <cstring>

#include "odbc/colattr.h"
#include "odbc/data/services.h"
#include "odbc/dataset.h"
#include "odbc/objects.h"
#include "odbc/sqlstate.h"
#include "odbc/stmt.h"
#include "odbc/trace.h"
#include "util/utf.h"

namespace {

// The cursor layer's key-column attribute.
constexpr uint16_t kKeyColumnAttr = 1053;

int16_t Len16(int64_t n) { return static_cast<int16_t>(n > INT16_MAX ? INT16_MAX : n < 0 ? 0 : n); }

// A column description that StmtGetColDesc made for the bookmark column is
// the caller's; the others belong to the statement.
struct ColRef {
  ColDesc *desc = nullptr;
  bool owned = false;
  ColRef(Stmt *stmt, uint16_t column) {
    owned = column == 0 && stmt->cursor.useBookmarks;
    desc = StmtGetColDesc(stmt, column);
  }
  ~ColRef() {
    if (owned && desc) ColDescFree(desc, 1);
  }
  ColRef(const ColRef &) = delete;
  ColRef &operator=(const ColRef &) = delete;
};

// A text into the caller's buffer by the mode: "A" bytes (cut to bufLen - 1
// and a NUL), "W" UTF-16 into bufLen bytes; the full length (in bytes) out.
// A cut text gives 01004.
SQLRETURN OutText(Stmt *stmt, const char *text, void *buf, int64_t bufLen, int64_t *fullLen, char mode) {
  if (!text) text = "";
  bool cut = false;
  if (mode == 'W') {
    uint32_t units = 0;
    const int32_t n = bufLen > INT32_MAX ? INT32_MAX : static_cast<int32_t>(bufLen);
    cut = utf8_to_utf16_bufb(text, static_cast<uint16_t *>(buf), buf ? n : 0, &units) != 0 && buf;
    if (fullLen) *fullLen = static_cast<int64_t>(units) * 2;
  } else {
    const size_t len = strlen(text);
    if (fullLen) *fullLen = static_cast<int64_t>(len);
    if (buf) {
      if (bufLen > static_cast<int64_t>(len)) {
        memcpy(buf, text, len + 1);
      } else {
        cut = true;
        if (bufLen > 0) {
          size_t n = static_cast<size_t>(bufLen) - 1;
          // Whole characters only.
          while (n > 0 && (static_cast<unsigned char>(text[n]) & 0xC0) == 0x80) --n;
          memcpy(buf, text, n);
          static_cast<char *>(buf)[n] = '\0';
        }
      }
    }
  }
  if (!cut) return SQL_SUCCESS;
  stmt->pending = E_01004;
  return SQL_SUCCESS_WITH_INFO;
}

SQLRETURN OutText16(Stmt *stmt, const char *text, void *buf, int16_t bufLen, int16_t *strLen, char mode) {
  int64_t full = 0;
  SQLRETURN rc = OutText(stmt, text, buf, bufLen, &full, mode);
  if (strLen) *strLen = Len16(full);
  return rc;
}

void PutNumber(int64_t *number, int64_t v) {
  if (number) *number = v;
}

const char *NameOf(const ColDesc &d) { return d.fullName && *d.fullName ? d.fullName : d.name; }

// The extended attribute's integer, when the agent gave the attributes.
bool ExtendedInt(Stmt *stmt, uint16_t field, uint16_t column, int32_t *value) {
  if (!stmt->conn->cn_describe2 || !stmt->colAttrs) return false;
  return ColAttrLookup(stmt->colAttrs, static_cast<int16_t>(field), static_cast<int16_t>(column), value, nullptr,
                       nullptr) != 0;
}

bool ExtendedText(Stmt *stmt, uint16_t field, uint16_t column, const char **value) {
  if (!stmt->conn->cn_describe2 || !stmt->colAttrs) return false;
  return ColAttrLookup(stmt->colAttrs, static_cast<int16_t>(field), static_cast<int16_t>(column), nullptr, value,
                       nullptr) != 0 &&
         *value != nullptr;
}

int32_t Searchable(int32_t sqlType) {
  switch (sqlType) {
    case SQL_CHAR:
    case SQL_VARCHAR:
    case SQL_WCHAR:
    case SQL_WVARCHAR:
      return SQL_SEARCHABLE;
    case SQL_LONGVARCHAR:
    case SQL_WLONGVARCHAR:
      return SQL_LIKE_ONLY;
    case SQL_BINARY:
    case SQL_VARBINARY:
    case SQL_LONGVARBINARY:
      return SQL_UNSEARCHABLE;
    default:
      return SQL_ALL_EXCEPT_LIKE;
  }
}

bool IsUnsigned(int32_t valueType) {
  return valueType == VT_BIT || valueType == VT_UTINYINT || valueType == VT_USHORT || valueType == VT_ULONG;
}

// Reads an IRD field through the descriptor operation; while that is not
// built, from the column's description.
SQLRETURN IrdField(Stmt *stmt, uint16_t column, int16_t field, void *value, int64_t bufLen, int64_t *len, char mode) {
  // A column that does not exist is 07009 here, not the descriptor's "no
  // such record".
  if (!ColRef(stmt, column).desc) return SQL_ERROR;
  Desc *ird = stmt->ird;
  if (ird) {
    SQLRETURN rc = DescGetField(ird, static_cast<int16_t>(column), field, value, bufLen, len, mode);
    if (rc != SQL_ERROR) return rc;
    if (ird->pending != E_S1C00) {
      stmt->pending = ird->pending;
      return rc;
    }
    ird->pending = 0;
  }
  return ColDescIrdField(stmt, column, field, value, bufLen, len, mode);
}

// ---- SQLColAttribute for the bookmark column -------------------------------------

SQLRETURN BookmarkAttribute(Stmt *stmt, uint16_t field, void *text, int16_t bufLen, int16_t *strLen, int64_t *number,
                            char mode) {
  switch (field) {
    case SQL_DESC_TYPE:
      PutNumber(number, SQL_CHAR);
      return SQL_SUCCESS;
    case SQL_DESC_OCTET_LENGTH:
      PutNumber(number, 8);
      return SQL_SUCCESS;
    case SQL_DESC_CONCISE_TYPE:
    case SQL_DESC_DISPLAY_SIZE:
    case SQL_DESC_UNSIGNED:
    case SQL_DESC_FIXED_PREC_SCALE:
    case SQL_DESC_UPDATABLE:
    case SQL_DESC_AUTO_UNIQUE_VALUE:
    case SQL_DESC_CASE_SENSITIVE:
    case SQL_DESC_SEARCHABLE:
    case SQL_DESC_NUM_PREC_RADIX:
    case SQL_DESC_ROWVER:
    case SQL_DESC_COUNT:
    case SQL_DESC_LENGTH:
    case SQL_DESC_PRECISION:
    case SQL_DESC_SCALE:
    case SQL_DESC_NULLABLE:
    case SQL_DESC_UNNAMED:
    case kKeyColumnAttr:
      PutNumber(number, 0);
      return SQL_SUCCESS;
    case SQL_DESC_TYPE_NAME:
    case SQL_DESC_TABLE_NAME:
    case SQL_DESC_SCHEMA_NAME:
    case SQL_DESC_CATALOG_NAME:
    case SQL_DESC_LABEL:
    case SQL_DESC_BASE_COLUMN_NAME:
    case SQL_DESC_BASE_TABLE_NAME:
    case SQL_DESC_LITERAL_PREFIX:
    case SQL_DESC_LITERAL_SUFFIX:
    case SQL_DESC_LOCAL_TYPE_NAME:
    case SQL_DESC_NAME:
      if (bufLen < 0) {
        stmt->pending = E_S1090;
        return SQL_ERROR;
      }
      return OutText16(stmt, "", text, bufLen, strLen, mode);
    default:
      if (TraceIsOn()) TraceODBC("SQLColAttribute - unknown field identifier");
      stmt->pending = E_S1091;
      return SQL_ERROR;
  }
}

// The Oracle type names of the agent's common column types; the agent's
// extended attributes give the name where it has one.
const char *OracleTypeName(const ColDesc &d) {
  switch (d.oraType) {
    case 1:
      return d.sqlType == SQL_WVARCHAR ? "NVARCHAR2" : "VARCHAR2";
    case 2:
      return "NUMBER";
    case 8:
      return "LONG";
    case 12:
      return "DATE";
    case 23:
      return "RAW";
    case 24:
      return "LONG RAW";
    case 96:
      return d.sqlType == SQL_WCHAR ? "NCHAR" : "CHAR";
    case 100:
      return "BINARY_FLOAT";
    case 101:
      return "BINARY_DOUBLE";
    case 11:
    case 104:
      return "ROWID";
    case 112:
      return d.sqlType == SQL_WLONGVARCHAR ? "NCLOB" : "CLOB";
    case 113:
      return "BLOB";
    case 180:
      return "TIMESTAMP";
    case 181:
      return "TIMESTAMP WITH TIME ZONE";
    case 231:
      return "TIMESTAMP WITH LOCAL TIME ZONE";
    default:
      return "";
  }
}

bool IsCharType(int32_t t) {
  return t == SQL_CHAR || t == SQL_VARCHAR || t == SQL_LONGVARCHAR || t == SQL_WCHAR || t == SQL_WVARCHAR ||
         t == SQL_WLONGVARCHAR;
}

bool IsDatetimeType(int32_t t) {
  return t == SQL_DATE || t == SQL_TIME || t == SQL_TIMESTAMP || t == SQL_TYPE_DATE || t == SQL_TYPE_TIME ||
         t == SQL_TYPE_TIMESTAMP;
}

}  // namespace

int64_t ColumnTransferLength(int32_t sqlType, uint32_t size) {
  switch (sqlType) {
    case SQL_CHAR:
    case SQL_VARCHAR:
    case SQL_LONGVARCHAR:
    case SQL_BINARY:
    case SQL_VARBINARY:
    case SQL_LONGVARBINARY:
      return size;
    case SQL_NUMERIC:
    case SQL_DECIMAL:
      return static_cast<int64_t>(size) + 2;
    case SQL_INTEGER:
    case SQL_REAL:
      return 4;
    case SQL_SMALLINT:
      return 2;
    case SQL_FLOAT:
    case SQL_DOUBLE:
      return 8;
    case SQL_DATE:
    case SQL_TIME:
    case SQL_TYPE_DATE:
    case SQL_TYPE_TIME:
      return 6;
    case SQL_TIMESTAMP:
    case SQL_TYPE_TIMESTAMP:
    case SQL_GUID:
      return 16;
    case SQL_WCHAR:
    case SQL_WVARCHAR:
    case SQL_WLONGVARCHAR:
      return 2 * static_cast<int64_t>(size);
    case SQL_BIT:
    case SQL_TINYINT:
      return 1;
    case SQL_BIGINT:
      return 20;
    default:
      if (sqlType >= SQL_INTERVAL_YEAR && sqlType <= SQL_INTERVAL_MINUTE_TO_SECOND) return 28;
      return SQL_NO_TOTAL;
  }
}

SQLRETURN ColDescIrdField(Stmt *stmt, uint16_t column, int16_t field, void *value, int64_t bufLen,
                          int64_t *returnedLength, char mode) {
  ColRef ref(stmt, column);
  if (!ref.desc) return SQL_ERROR;
  const ColDesc &d = *ref.desc;
  int64_t n = 0;
  switch (field) {
    case SQL_DESC_TYPE:
      n = IsDatetimeType(d.sqlType) ? SQL_DATETIME
          : d.sqlType >= SQL_INTERVAL_YEAR && d.sqlType <= SQL_INTERVAL_MINUTE_TO_SECOND ? SQL_INTERVAL
                                                                                          : d.sqlType;
      break;
    case SQL_DESC_PRECISION:
      n = IsDatetimeType(d.sqlType) ? d.decimalDigits : static_cast<int64_t>(d.columnSize);
      break;
    case SQL_DESC_SCALE:
      n = d.sqlType == SQL_NUMERIC || d.sqlType == SQL_DECIMAL ? d.decimalDigits : 0;
      break;
    case SQL_DESC_UNNAMED:
      n = *NameOf(d) ? SQL_NAMED : SQL_UNNAMED;
      break;
    case SQL_DESC_LENGTH:
      n = d.columnSize;
      break;
    case SQL_DESC_OCTET_LENGTH:
      n = ColumnTransferLength(d.sqlType, d.columnSize);
      break;
    case SQL_DESC_NUM_PREC_RADIX:
      n = d.sqlType == SQL_FLOAT || d.sqlType == SQL_REAL || d.sqlType == SQL_DOUBLE ? 2
          : d.sqlType == SQL_NUMERIC || d.sqlType == SQL_DECIMAL || d.sqlType == SQL_INTEGER ||
                  d.sqlType == SQL_SMALLINT || d.sqlType == SQL_TINYINT || d.sqlType == SQL_BIGINT
              ? 10
              : 0;
      break;
    default: {
      const char *text = nullptr;
      if (!ExtendedText(stmt, static_cast<uint16_t>(field), column, &text)) {
        switch (field) {
          case SQL_DESC_TYPE_NAME:
          case SQL_DESC_LOCAL_TYPE_NAME:
            text = OracleTypeName(d);
            break;
          case SQL_DESC_BASE_COLUMN_NAME:
            // Only a column of a known table has a known base column: an
            // alias or an expression is never one.
            text = d.table && *d.table ? NameOf(d) : "";
            break;
          case SQL_DESC_BASE_TABLE_NAME:
            text = d.table;
            break;
          case SQL_DESC_LITERAL_PREFIX:
          case SQL_DESC_LITERAL_SUFFIX:
            text = IsCharType(d.sqlType) || IsDatetimeType(d.sqlType) ? "'" : "";
            break;
          default:
            stmt->pending = E_S1091;
            return SQL_ERROR;
        }
      }
      return OutText(stmt, text, value, bufLen, returnedLength, mode);
    }
  }
  if (value) {
    if (bufLen == 2) {
      const int16_t v = static_cast<int16_t>(n);
      memcpy(value, &v, 2);
    } else if (bufLen >= 4) {
      const int32_t v = static_cast<int32_t>(n);
      memcpy(value, &v, 4);
    }
  }
  if (returnedLength) *returnedLength = bufLen == 2 ? 2 : 4;
  return SQL_SUCCESS;
}

SQLRETURN ColAttributesCore(Stmt *stmt, uint16_t column, uint16_t field, void *text, int16_t bufLen, int16_t *strLen,
                            int64_t *number, char mode) {
  if (stmt->state != STMT_PREPARED) {
    stmt->pending = E_S1010;
    return SQL_ERROR;
  }
  if (bufLen < 0) {
    stmt->pending = E_S1090;
    return SQL_ERROR;
  }
  if (field == SQL_COLUMN_COUNT) {
    // The count SQLNumResultCols reports, so that the two always agree.
    int16_t count = 0;
    if (int code = StmtNumResultCols(stmt, &count); code != 0) {
      stmt->pending = code;
      return SQL_ERROR;
    }
    PutNumber(number, count);
    return SQL_SUCCESS;
  }
  ColRef ref(stmt, column);
  if (!ref.desc) return SQL_ERROR;
  const ColDesc &d = *ref.desc;
  if (!number && field < SQL_COLUMN_TYPE_NAME && field != SQL_COLUMN_NAME) return SQL_SUCCESS;

  int32_t ext = 0;
  switch (field) {
    case SQL_COLUMN_NAME:
    case SQL_COLUMN_LABEL:
      return OutText16(stmt, NameOf(d), text, bufLen, strLen, mode);
    case SQL_COLUMN_TYPE:
      PutNumber(number, d.sqlType);
      return SQL_SUCCESS;
    case SQL_COLUMN_LENGTH:
      PutNumber(number, ColumnTransferLength(d.sqlType, d.columnSize));
      return SQL_SUCCESS;
    case SQL_COLUMN_PRECISION:
      PutNumber(number, d.columnSize);
      return SQL_SUCCESS;
    case SQL_COLUMN_SCALE:
      PutNumber(number, d.decimalDigits);
      return SQL_SUCCESS;
    case SQL_COLUMN_DISPLAY_SIZE:
      PutNumber(number, d.displaySize);
      return SQL_SUCCESS;
    case SQL_COLUMN_NULLABLE:
      PutNumber(number, d.flags & kColDescNullableMask);
      return SQL_SUCCESS;
    case SQL_COLUMN_UNSIGNED:
      PutNumber(number, IsUnsigned(d.valueType) ? SQL_TRUE : SQL_FALSE);
      return SQL_SUCCESS;
    case SQL_COLUMN_MONEY:
      PutNumber(number, 0);
      return SQL_SUCCESS;
    case SQL_COLUMN_UPDATABLE: {
      if (ExtendedInt(stmt, field, column, &ext)) {
        PutNumber(number, ext);
      } else {
        const uint32_t u = (d.flags & kColDescUpdatableMask) >> kColDescUpdatableShift;
        PutNumber(number, u != 0 ? u - 1 : SQL_ATTR_READWRITE_UNKNOWN);
      }
      return SQL_SUCCESS;
    }
    case SQL_COLUMN_AUTO_INCREMENT:
    case SQL_COLUMN_CASE_SENSITIVE:
    case SQL_DESC_ROWVER:
    case kKeyColumnAttr:
      PutNumber(number, ExtendedInt(stmt, field, column, &ext) ? ext : 0);
      return SQL_SUCCESS;
    case SQL_COLUMN_SEARCHABLE:
      PutNumber(number, ExtendedInt(stmt, field, column, &ext) ? ext : Searchable(d.sqlType));
      return SQL_SUCCESS;
    case SQL_COLUMN_TYPE_NAME: {
      int64_t len = 0;
      SQLRETURN rc = IrdField(stmt, column, SQL_DESC_TYPE_NAME, text, bufLen, &len, mode);
      if (strLen) *strLen = Len16(len);
      return rc;
    }
    case SQL_COLUMN_TABLE_NAME:
      return OutText16(stmt, d.table, text, bufLen, strLen, mode);
    case SQL_COLUMN_OWNER_NAME:
      return OutText16(stmt, d.schema, text, bufLen, strLen, mode);
    case SQL_COLUMN_QUALIFIER_NAME:
      return OutText16(stmt, d.catalog, text, bufLen, strLen, mode);
    default:
      PutNumber(number, 0);
      return SQL_SUCCESS;
  }
}

SQLRETURN odbc_DescribeCol(void *object, const ApiArgs &a) {
  auto *stmt = static_cast<Stmt *>(object);
  const uint16_t column = a.u16(0);
  char *name = a.ptr<char>(1);
  const int16_t bufLen = a.i16(2);
  auto *nameLen = a.ptr<int16_t>(3);
  auto *type = a.ptr<int16_t>(4);
  auto *size = a.ptr<SQLULEN>(5);
  auto *digits = a.ptr<int16_t>(6);
  auto *nullable = a.ptr<int16_t>(7);
  if (bufLen < 0) {
    stmt->pending = E_S1090;
    return SQL_ERROR;
  }
  // Nothing to describe before a statement is prepared or executed.
  if (stmt->state != STMT_PREPARED && !(column == 0 && stmt->cursor.useBookmarks)) {
    stmt->pending = E_S1010;
    return SQL_ERROR;
  }
  if (column == 0 && stmt->cursor.useBookmarks) {
    if (type) *type = SQL_CHAR;
    if (size) *size = 8;
    if (digits) *digits = 0;
    if (nullable) *nullable = SQL_NO_NULLS;
    return OutText16(stmt, "BOOKMARK", name, bufLen, nameLen, 'A');
  }
  ColRef ref(stmt, column);
  if (!ref.desc) return SQL_ERROR;
  const ColDesc &d = *ref.desc;
  if (type) *type = static_cast<int16_t>(d.sqlType);
  if (size) *size = d.columnSize;
  if (digits) *digits = d.decimalDigits;
  if (nullable) *nullable = static_cast<int16_t>(d.flags & kColDescNullableMask);
  return OutText16(stmt, NameOf(d), name, bufLen, nameLen, 'A');
}

SQLRETURN odbc_ColAttributes(void *object, const ApiArgs &a) {
  return ColAttributesCore(static_cast<Stmt *>(object), a.u16(0), a.u16(1), a.ptr(2), a.i16(3), a.ptr<int16_t>(4),
                           a.ptr<int64_t>(5), a.mode(6));
}

SQLRETURN odbc_ColAttribute(void *object, const ApiArgs &a) {
  auto *stmt = static_cast<Stmt *>(object);
  const uint16_t column = a.u16(0);
  const uint16_t field = a.u16(1);
  void *text = a.ptr(2);
  const int16_t bufLen = a.i16(3);
  auto *strLen = a.ptr<int16_t>(4);
  auto *number = a.ptr<int64_t>(5);
  const char mode = a.mode(6);

  if (column == 0 && stmt->cursor.useBookmarks) return BookmarkAttribute(stmt, field, text, bufLen, strLen, number, mode);

  switch (field) {
    case 0:
    case SQL_DESC_COUNT:
      return ColAttributesCore(stmt, column, SQL_COLUMN_COUNT, text, bufLen, strLen, number, mode);
    case 1:
    case SQL_DESC_NAME:
      return ColAttributesCore(stmt, column, SQL_COLUMN_NAME, text, bufLen, strLen, number, mode);
    case 7:
    case SQL_DESC_NULLABLE:
      return ColAttributesCore(stmt, column, SQL_COLUMN_NULLABLE, text, bufLen, strLen, number, mode);
    case 2:
    case 3:
    case 4:
    case 5:
    case 6:
    case 8:
    case 9:
    case 10:
    case 11:
    case 12:
    case 13:
    case 14:
    case 15:
    case 16:
    case 17:
    case 18:
    case SQL_DESC_ROWVER:
    case kKeyColumnAttr:
      return ColAttributesCore(stmt, column, field, text, bufLen, strLen, number, mode);
    case SQL_DESC_TYPE:
    case SQL_DESC_PRECISION:
    case SQL_DESC_SCALE:
    case SQL_DESC_UNNAMED:
    case SQL_DESC_LENGTH:
    case SQL_DESC_OCTET_LENGTH:
    case SQL_DESC_NUM_PREC_RADIX: {
      if (!number) {
        if (strLen) *strLen = 0;
        return SQL_SUCCESS;
      }
      if (stmt->state != STMT_PREPARED) {
        stmt->pending = E_S1010;
        return SQL_ERROR;
      }
      const bool small = field == SQL_DESC_TYPE || field == SQL_DESC_PRECISION || field == SQL_DESC_SCALE ||
                         field == SQL_DESC_UNNAMED;
      int64_t len = 0;
      SQLRETURN rc;
      if (small) {
        int16_t v = 0;
        rc = IrdField(stmt, column, static_cast<int16_t>(field), &v, 2, &len, mode);
        if (SQL_SUCCEEDED(rc)) *number = v;
      } else {
        int32_t v = 0;
        rc = IrdField(stmt, column, static_cast<int16_t>(field), &v, 4, &len, mode);
        if (SQL_SUCCEEDED(rc)) *number = v;
      }
      if (strLen) *strLen = Len16(len);
      return rc;
    }
    case SQL_DESC_BASE_COLUMN_NAME:
    case SQL_DESC_BASE_TABLE_NAME:
    case SQL_DESC_LITERAL_PREFIX:
    case SQL_DESC_LITERAL_SUFFIX:
    case SQL_DESC_LOCAL_TYPE_NAME: {
      if (bufLen < 0) {
        stmt->pending = E_S1090;
        return SQL_ERROR;
      }
      if (!text && !strLen) return SQL_SUCCESS;
      if (stmt->state != STMT_PREPARED) {
        stmt->pending = E_S1010;
        return SQL_ERROR;
      }
      int64_t len = 0;
      SQLRETURN rc = IrdField(stmt, column, static_cast<int16_t>(field), text, bufLen, &len, mode);
      if (strLen) *strLen = Len16(len);
      return rc;
    }
    default:
      if (TraceIsOn()) TraceODBC("SQLColAttribute - unknown field identifier");
      stmt->pending = E_S1091;
      return SQL_ERROR;
  }
}
