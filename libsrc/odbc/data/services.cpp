// The data exchange services the front end relies on: the real bodies of
// the few that cannot fail, and "Driver not capable" for the rest until the
// data exchange layer supplies them (weak, so that its definitions win).
#include "odbc/data/services.h"

#include <cstdlib>

#include "odbc/apirec.h"
#include "odbc/dataset.h"
#include "odbc/objects.h"
#include "odbc/sqlstate.h"

#define KVD_PENDING __attribute__((weak))

KVD_PENDING SQLRETURN odbc_Fetch(void *object, const ApiArgs &) { return ApiNotCapable(object); }
KVD_PENDING SQLRETURN odbc_GetData(void *object, const ApiArgs &) { return ApiNotCapable(object); }
KVD_PENDING SQLRETURN odbc_SetParam(void *object, const ApiArgs &) { return ApiNotCapable(object); }
KVD_PENDING SQLRETURN odbc_BindParameter(void *object, const ApiArgs &) { return ApiNotCapable(object); }
KVD_PENDING SQLRETURN odbc_ParamData(void *object, const ApiArgs &) { return ApiNotCapable(object); }
KVD_PENDING SQLRETURN odbc_PutData(void *object, const ApiArgs &) { return ApiNotCapable(object); }
KVD_PENDING SQLRETURN odbc_DescribeParam(void *object, const ApiArgs &) { return ApiNotCapable(object); }
KVD_PENDING SQLRETURN odbc_GetDescField(void *object, const ApiArgs &) { return ApiNotCapable(object); }
KVD_PENDING SQLRETURN odbc_SetDescField(void *object, const ApiArgs &) { return ApiNotCapable(object); }
KVD_PENDING SQLRETURN odbc_BindCol(void *object, const ApiArgs &) { return ApiNotCapable(object); }
KVD_PENDING SQLRETURN odbc_FetchScroll(void *object, const ApiArgs &) { return ApiNotCapable(object); }
KVD_PENDING SQLRETURN odbc_Execute(void *object, const ApiArgs &) { return ApiNotCapable(object); }
KVD_PENDING SQLRETURN odbc_GetTypeInfo(void *object, const ApiArgs &) { return ApiNotCapable(object); }
KVD_PENDING SQLRETURN odbc_ExtendedFetch(void *object, const ApiArgs &) { return ApiNotCapable(object); }

KVD_PENDING int BindParam(Stmt *stmt, uint16_t, int16_t, int16_t, int16_t, uint64_t, int16_t, void *, int64_t, int64_t *,
                          int64_t *) {
  stmt->pending = E_S1C00;
  return SQL_ERROR;
}

KVD_PENDING int BindColumn(Stmt *stmt, uint16_t, int16_t, void *, int64_t, int64_t *) {
  stmt->pending = E_S1C00;
  return E_S1C00;
}

KVD_PENDING SQLRETURN DescGetField(Desc *desc, int16_t, int16_t, void *, int64_t, int64_t *, char) {
  return ApiNotCapable(desc);
}
KVD_PENDING SQLRETURN DescSetField(Desc *desc, int16_t, int16_t, int64_t, int64_t, char) { return ApiNotCapable(desc); }
KVD_PENDING SQLRETURN FetchOutputParams(Stmt *stmt) { return ApiNotCapable(stmt); }
KVD_PENDING SQLRETURN ExecuteCheckParams(Stmt *stmt) { return ApiNotCapable(stmt); }
KVD_PENDING SQLRETURN ExecuteLocal(Stmt *stmt) { return ApiNotCapable(stmt); }
KVD_PENDING SQLRETURN ExecuteAgent(Stmt *stmt) { return ApiNotCapable(stmt); }

// ---------------------------------------------------------------------------

void RowsetFree(Rowset **rowset) {
  Rowset *r = *rowset;
  *rowset = nullptr;
  if (!r) return;
  if (r->rows) {
    DatasetFree(r->rows);
    free(r->rows);
  }
  free(r->status);
  free(r);
}

int RowsPerBlock(const ColDesc *descs, uint16_t count) {
  if (count == 0 || !descs) return 0;
  uint64_t row = 0;
  for (uint16_t i = 0; i < count; ++i) {
    const ColDesc &d = descs[i];
    switch (d.valueType) {
      case VT_NONE:
      case VT_BIT:
      case VT_STINYINT:
      case VT_UTINYINT:
        row += 3;
        break;
      case VT_SSHORT:
      case VT_USHORT:
        row += 4;
        break;
      case VT_SLONG:
      case VT_ULONG:
      case VT_FLOAT:
        row += 6;
        break;
      case VT_DOUBLE:
        row += 10;
        break;
      case VT_DATE:
      case VT_TIME:
        row += 8;
        break;
      case VT_CHAR:
      case VT_BINARY:
        row += static_cast<uint64_t>(d.octetLength) + 2;
        break;
      case VT_WCHAR:
        row += 2 * static_cast<uint64_t>(d.octetLength) + 2;
        break;
      default:
        row += 18;
        break;
    }
  }
  // A row wider than 65535 bytes still needs blocks of one row: a block of
  // none would never fetch anything.
  uint64_t rows = 65535 / row;
  return rows == 0 ? 1 : static_cast<int>(rows);
}
