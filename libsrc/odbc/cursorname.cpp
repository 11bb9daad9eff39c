// Cursor names.
#include "odbc/cursorname.h"

#include <sql.h>

#include <cstdlib>

#include "odbc/objects.h"
#include "odbc/sqlstate.h"
#include "odbc/trace.h"
#include "util/strutil.h"

namespace {

SQLRETURN Fail(Stmt *stmt, int32_t code) {
  stmt->pending = code;
  return SQL_ERROR;
}

}  // namespace

SQLRETURN odbc_GetCursorName(void *object, const ApiArgs &args) {
  auto *stmt = static_cast<Stmt *>(object);
  auto *buf = args.ptr<char>(0);
  const int16_t bufLen = args.i16(1);
  auto *nameLen = args.ptr<int16_t>(2);
  // The agent takes the size unsigned: a negative one would let it write
  // far beyond the caller's buffer.
  if (bufLen < 0) return Fail(stmt, E_S1090);
  int32_t code = DrvCall<&DrvOps::DRV_GetCursorName>(stmt->drv, stmt->agentCursor, buf,
                                                     static_cast<uint16_t>(bufLen), nameLen);
  stmt->pending = code;
  if (code == 0) return SQL_SUCCESS;
  if (code == E_IM500) return SQL_SUCCESS_WITH_INFO;  // a failover completed on the way
  // A cut name is the one warning; the agent reports it as 19 or as its
  // copy-out code 109.
  if (code == E_01004 || code == E_01004_109) return SQL_SUCCESS_WITH_INFO;
  return SQL_ERROR;
}

SQLRETURN odbc_SetCursorName(void *object, const ApiArgs &args) {
  auto *stmt = static_cast<Stmt *>(object);
  const auto *name = args.ptr<const char>(0);
  const int16_t len = args.i16(1);
  if (!name && len == kCursorNameNoMemory) return Fail(stmt, E_S1001);
  if (len < 0 && len != SQL_NTS) return Fail(stmt, E_S1090);
  char *copy = nullptr;
  str_copy_len(&copy, name, len);
  if (TraceIsOn()) TraceODBC("SetCursorName [%s]\n", copy ? copy : "");
  if (!copy) return Fail(stmt, E_S1001);
  int32_t code = DrvCall<&DrvOps::DRV_SetCursorName>(stmt->drv, stmt->agentCursor, copy);
  free(copy);
  stmt->pending = code;
  if (code == E_IM500) return SQL_SUCCESS_WITH_INFO;  // a failover completed on the way
  return code == 0 ? SQL_SUCCESS : SQL_ERROR;
}
