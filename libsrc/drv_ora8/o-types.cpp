// The agent's conversion table: for each C type the SQL types a value of it
// converts to (SQL_CVT_* bits). The front end asks for it once per
// connection (DRV_GetOpTable) and answers the SQLGetInfo conversion
// questions from it.
#include "drv_ora8/db-private.h"
#include "drv_ora8/o-reg.h"
#include "odbc/sqlstate.h"

namespace {

constexpr OpTableRow kOpTable[] = {
    {1, 65533, 0x2a31fe},   // SQL_C_CHAR
    {-7, 0, 0x2821fe},      // SQL_C_BIT
    {-6, 0, 0x2821fe},      // SQL_C_TINYINT
    {5, 0, 0x2821fe},       // SQL_C_SHORT
    {4, 0, 0x2821fe},       // SQL_C_LONG
    {7, 0, 0x2821fe},       // SQL_C_FLOAT
    {8, 0, 0x2821fe},       // SQL_C_DOUBLE
    {-2, 65533, 0x2a3000},  // SQL_C_BINARY
    {11, 0, 0x800},         // SQL_C_TIMESTAMP
    {0, 0, 0},
};
constexpr int32_t kOpTableRows = sizeof kOpTable / sizeof kOpTable[0] - 1;

}  // namespace

int32_t ORA_GetOpTable(DrvHandle h, OpTableReq *req) {
  if (!Agent_Conn(h) || !req) return E_S1009;
  if (req->kind != 1) return E_S1C00;
  req->rowCount = kOpTableRows;
  req->rows = kOpTable;
  return 0;
}
