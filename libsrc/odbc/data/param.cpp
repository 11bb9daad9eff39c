// Parameter binding and SQLDescribeParam.
#include "odbc/data/param.h"

#include <sqlext.h>
#include <sqlucode.h>

#include "odbc/conn.h"
#include "odbc/data/ctype.h"
#include "odbc/data/services.h"
#include "odbc/desc.h"
#include "odbc/objects.h"
#include "odbc/sqlstate.h"
#include "odbc/stmt.h"
#include "odbc/trace.h"

namespace {

constexpr int64_t kVariableSize = -3;

SQLRETURN Fail(Stmt *stmt, int32_t code) {
  stmt->pending = code;
  return SQL_ERROR;
}

int OdbcVersion(const Stmt *stmt) {
  return stmt->conn && stmt->conn->env ? stmt->conn->env->odbcVersion : 3;
}

// SQL types whose decimal digits are the seconds' precision: negative
// digits make no sense for them.
bool HasSecondsPrecision(int16_t sqlType) {
  switch (sqlType) {
    case SQL_TYPE_TIME:
    case SQL_TYPE_TIMESTAMP:
    case SQL_INTERVAL_SECOND:
    case SQL_INTERVAL_DAY_TO_SECOND:
    case SQL_INTERVAL_HOUR_TO_SECOND:
    case SQL_INTERVAL_MINUTE_TO_SECOND:
      return true;
    default:
      return false;
  }
}

// The verbose TYPE and DATETIME_INTERVAL_CODE of a concise type, so that a
// descriptor read after a binding sees a consistent record.
void SetTypes(DescRecord *rec, int16_t concise) {
  rec->conciseType = concise;
  rec->type = concise;
  rec->datetimeIntervalCode = 0;
  if (concise >= SQL_TYPE_DATE && concise <= SQL_TYPE_TIMESTAMP) {
    rec->type = SQL_DATETIME;
    rec->datetimeIntervalCode = static_cast<int16_t>(concise - 90);
  } else if (concise >= SQL_INTERVAL_YEAR && concise <= SQL_INTERVAL_MINUTE_TO_SECOND) {
    rec->type = SQL_INTERVAL;
    rec->datetimeIntervalCode = static_cast<int16_t>(concise - 100);
  }
}

// The IPD fields that follow the SQL type: length, or precision and scale.
void SetIpdSize(DescRecord *ipd, int16_t sqlType, uint64_t columnSize, int16_t digits) {
  switch (sqlType) {
    case SQL_CHAR:
    case SQL_VARCHAR:
    case SQL_LONGVARCHAR:
    case SQL_BINARY:
    case SQL_VARBINARY:
    case SQL_LONGVARBINARY:
    case SQL_WCHAR:
    case SQL_WVARCHAR:
    case SQL_WLONGVARCHAR:
    case SQL_GUID:
    case SQL_TYPE_DATE:
    case SQL_INTERVAL_YEAR:
    case SQL_INTERVAL_MONTH:
    case SQL_INTERVAL_DAY:
    case SQL_INTERVAL_HOUR:
    case SQL_INTERVAL_MINUTE:
    case SQL_INTERVAL_YEAR_TO_MONTH:
    case SQL_INTERVAL_DAY_TO_HOUR:
    case SQL_INTERVAL_DAY_TO_MINUTE:
    case SQL_INTERVAL_HOUR_TO_MINUTE:
      ipd->length = static_cast<int64_t>(columnSize);
      break;
    case SQL_NUMERIC:
    case SQL_DECIMAL:
      ipd->precision = static_cast<int16_t>(columnSize);
      ipd->scale = digits;
      break;
    case SQL_REAL:
    case SQL_FLOAT:
    case SQL_DOUBLE:
      ipd->precision = static_cast<int16_t>(columnSize);
      break;
    case SQL_TYPE_TIME:
    case SQL_TYPE_TIMESTAMP:
    case SQL_INTERVAL_SECOND:
    case SQL_INTERVAL_DAY_TO_SECOND:
    case SQL_INTERVAL_HOUR_TO_SECOND:
    case SQL_INTERVAL_MINUTE_TO_SECOND:
      ipd->length = static_cast<int64_t>(columnSize);
      ipd->precision = digits;
      break;
    default:
      break;
  }
}

}  // namespace

bool SqlTypeKnown(int16_t sqlType) {
  switch (sqlType) {
    case SQL_CHAR:
    case SQL_NUMERIC:
    case SQL_DECIMAL:
    case SQL_INTEGER:
    case SQL_SMALLINT:
    case SQL_FLOAT:
    case SQL_REAL:
    case SQL_DOUBLE:
    case SQL_DATE:  // also SQL_DATETIME
    case SQL_TIME:  // also SQL_INTERVAL
    case SQL_TIMESTAMP:
    case SQL_VARCHAR:
    case SQL_TYPE_DATE:
    case SQL_TYPE_TIME:
    case SQL_TYPE_TIMESTAMP:
    case SQL_LONGVARCHAR:
    case SQL_BINARY:
    case SQL_VARBINARY:
    case SQL_LONGVARBINARY:
    case SQL_BIGINT:
    case SQL_TINYINT:
    case SQL_BIT:
    case SQL_WCHAR:
    case SQL_WVARCHAR:
    case SQL_WLONGVARCHAR:
    case SQL_GUID:
      return true;
    default:
      return sqlType >= SQL_INTERVAL_YEAR && sqlType <= SQL_INTERVAL_MINUTE_TO_SECOND;
  }
}

int64_t ParamCTypeSize(int16_t cType) {
  switch (cType) {
    case SQL_C_CHAR:
    case SQL_C_WCHAR:
    case SQL_C_BINARY:
      return kVariableSize;
    case SQL_C_NUMERIC:
    case SQL_C_LONG:
    case SQL_C_SHORT:
    case SQL_C_FLOAT:
    case SQL_C_DOUBLE:
    case SQL_C_DATE:
    case SQL_C_TIME:
    case SQL_C_TIMESTAMP:
    case SQL_C_TYPE_DATE:
    case SQL_C_TYPE_TIME:
    case SQL_C_TYPE_TIMESTAMP:
    case SQL_C_UTINYINT:
    case SQL_C_UBIGINT:
    case SQL_C_STINYINT:
    case SQL_C_SBIGINT:
    case SQL_C_ULONG:
    case SQL_C_USHORT:
    case SQL_C_SLONG:
    case SQL_C_SSHORT:
    case SQL_C_GUID:
    case SQL_C_BIT:
    case SQL_C_TINYINT: {
      int64_t size = CTypeSize(cType);
      return size > 0 ? size : 0;
    }
    default:
      return 0;
  }
}

int BindParam(Stmt *stmt, uint16_t number, int16_t paramType, int16_t cType, int16_t sqlType, uint64_t columnSize,
              int16_t decimalDigits, void *data, int64_t bufferLength, int64_t *lengthPtr, int64_t *indicatorPtr) {
  stmt->pending = 0;
  if (!data && !indicatorPtr && paramType != SQL_PARAM_OUTPUT) return Fail(stmt, E_S1009);
  if (decimalDigits < 0 && HasSecondsPrecision(sqlType)) return Fail(stmt, E_S1094);
  if (cType == SQL_C_DEFAULT) {
    if (OdbcVersion(stmt) == 3)
      cType = DefaultCType(sqlType, 3);
    else if (sqlType == SQL_WLONGVARCHAR || sqlType == SQL_WVARCHAR || sqlType == SQL_WCHAR)
      cType = SQL_C_CHAR;
    else
      cType = DefaultCType(sqlType, 2);
  }
  const int64_t size = ParamCTypeSize(cType);
  if (size == 0) return Fail(stmt, E_07006);

  ParamBinding b{};
  b.number = number;
  b.cType = cType;
  b.elemSize = size;
  b.sqlType = sqlType;
  b.columnSize = columnSize;
  b.decimalDigits = decimalDigits;
  b.data = data;
  b.lengthPtr = lengthPtr;
  b.indicatorPtr = indicatorPtr;
  b.bufferLength = bufferLength;
  b.paramType = bufferLength == -1 ? static_cast<int16_t>(SQL_PARAM_INPUT) : paramType;
  if (TraceIsOn())
    TraceODBC("Par#%d c_type=%d sql_type=%d prec=%ld scale=%d size=%d cbValueMax=%d", number, cType, sqlType,
              static_cast<long>(columnSize), decimalDigits, static_cast<int>(size), static_cast<int>(bufferLength));

  // The number is checked before the descriptors grow to it; the records
  // are made before the binding is stored, so that running out of memory
  // leaves the earlier binding in place.
  if (number == 0 || number > kMaxParams) return Fail(stmt, E_S1093);
  Desc *apd = stmt->apd;
  Desc *ipd = stmt->ipd;
  if (apd && apd->count < number && DescGrowRecs(apd, number) != 0) return Fail(stmt, E_S1001);
  if (ipd && ipd->count < number && DescGrowRecs(ipd, number) != 0) return Fail(stmt, E_S1001);
  if (StmtSetParam(stmt, &b) != SQL_SUCCESS) return SQL_ERROR;

  if (DescRecord *a = apd ? DescGetRec(apd, number) : nullptr) {
    SetTypes(a, cType);
    a->dataPtr = data;
    // Each pointer where the application put it: an indicator array apart
    // from the length array (descriptor binding) keeps its NULLs.
    a->indicatorPtr = indicatorPtr;
    a->octetLengthPtr = lengthPtr;
    a->octetLength = bufferLength;
  }
  if (DescRecord *i = ipd ? DescGetRec(ipd, number) : nullptr) {
    SetTypes(i, sqlType);
    i->parameterType = b.paramType;
    SetIpdSize(i, sqlType, columnSize, decimalDigits);
  }
  return SQL_SUCCESS;
}

SQLRETURN odbc_BindParameter(void *object, const ApiArgs &args) {
  auto *stmt = static_cast<Stmt *>(object);
  auto *lenInd = args.ptr<int64_t>(8);
  if (!SqlTypeKnown(args.i16(3))) {
    stmt->pending = E_S1004;
    return SQL_ERROR;
  }
  return static_cast<SQLRETURN>(BindParam(stmt, args.u16(0), args.i16(1), args.i16(2), args.i16(3), args.u64(4),
                                          args.i16(5), args.ptr(6), args.i64(7), lenInd, lenInd));
}

SQLRETURN odbc_SetParam(void *object, const ApiArgs &args) {
  auto *stmt = static_cast<Stmt *>(object);
  const uint16_t number = args.u16(0);
  int16_t cType = args.i16(1);
  const int16_t sqlType = args.i16(2);
  const uint64_t columnSize = args.u64(3);
  const int16_t digits = args.i16(4);
  void *data = args.ptr(5);
  auto *lenInd = args.ptr<int64_t>(6);
  stmt->pending = 0;
  if (!SqlTypeKnown(sqlType)) return Fail(stmt, E_S1004);
  if (!data && !lenInd) return Fail(stmt, E_S1009);
  if (digits < 0) return Fail(stmt, E_S1094);
  if (cType == SQL_C_DEFAULT) cType = DefaultCType(sqlType, OdbcVersion(stmt));
  int64_t size;
  switch (cType) {
    case SQL_C_CHAR:
    case SQL_C_WCHAR:
    case SQL_C_BINARY:
      size = kVariableSize;
      break;
    case SQL_C_NUMERIC:  // ODBC 1 knows no numeric struct
      return Fail(stmt, E_07006);
    default:
      size = ParamCTypeSize(cType);
      if (size == 0) return Fail(stmt, E_07006);
      break;
  }
  ParamBinding b{};
  b.number = number;
  b.cType = cType;
  b.elemSize = size;
  b.sqlType = sqlType;
  b.columnSize = columnSize;
  b.decimalDigits = digits;
  b.data = data;
  b.lengthPtr = lenInd;
  b.indicatorPtr = lenInd;
  b.bufferLength = 0;
  b.paramType = SQL_PARAM_INPUT;
  if (TraceIsOn())
    TraceODBC("Par#%d c_type=%d sql_type=%d prec=%ld scale=%d size=%d", number, cType, sqlType,
              static_cast<long>(columnSize), digits, static_cast<int>(size));
  return StmtSetParam(stmt, &b) == SQL_SUCCESS ? SQL_SUCCESS : SQL_ERROR;
}

SQLRETURN odbc_DescribeParam(void *object, const ApiArgs &args) {
  auto *stmt = static_cast<Stmt *>(object);
  ColDesc *d = StmtGetParamDesc(stmt, args.u16(0));
  if (!d) return SQL_ERROR;
  if (auto *type = args.ptr<SQLSMALLINT>(1)) *type = static_cast<SQLSMALLINT>(d->sqlType);
  if (auto *size = args.ptr<SQLULEN>(2)) *size = d->columnSize;
  if (auto *digits = args.ptr<SQLSMALLINT>(3)) *digits = d->decimalDigits;
  if (auto *nullable = args.ptr<SQLSMALLINT>(4)) *nullable = static_cast<SQLSMALLINT>(d->flags & kColDescNullableMask);
  // The description succeeded; a failover may have completed on the way.
  return stmt->pending == E_IM500 ? SQL_SUCCESS_WITH_INFO : SQL_SUCCESS;
}
