// Parameter description by query: Oracle describes no parameter markers,
// so the cursor layer's SQL analysis turns the statement into probe SELECTs
// whose result columns stand where the markers stand; each probe is
// prepared and described on a private cursor and its column types are
// copied into the parameter descriptions.
#include <cstdlib>
#include <cstring>

#include "drv_ora8/db-private.h"
#include "drv_ora8/o-reg.h"
#include "odbc/dataset.h"
#include "odbc/sqlstate.h"
#include "scrs/sc_s.h"
#include "util/log.h"

namespace {

void CopyDescription(ColDesc *to, const ColDesc &from) {
  to->oraType = from.oraType;
  to->sqlType = from.sqlType;
  to->flags = from.flags & 0xFu;  // nullability only
  to->columnSize = from.columnSize;
  to->decimalDigits = from.decimalDigits;
  to->displaySize = from.displaySize;
  to->valueType = from.valueType;
  to->octetLength = from.octetLength;
}

// Runs the probes in order on the private cursor, matching result columns
// to parameters from *index on.
int32_t RunProbes(AgentCursor *cur, DrvHandle probe, const DescParamSQL &d) {
  uint32_t index = 0;
  for (int32_t p = 0; p < d.probeCount; ++p) {
    if (int32_t rc = ORA_Prepare(probe, d.probes[p])) return rc;
    uint16_t n = 0;
    ColDesc *cols = nullptr;
    if (int32_t rc = ORA_DescribeColumns(probe, &n, &cols)) return rc;
    for (uint16_t c = 0; c < n && index < cur->parCount; ++c) {
      if (d.marker && (c >= strlen(d.marker) || d.marker[c] != '?')) continue;
      CopyDescription(&cur->pars[index++], cols[c]);
    }
    ColDescFree(cols, n);
  }
  return 0;
}

}  // namespace

int32_t DescribeParamsByQuery(AgentCursor *cur) {
  if (!(cur->state & CURS_PREPARED)) {
    LOG(LOG_WARNING, "execute without prior prepare");
    return E_S1010;
  }
  if (cur->state & CURS_EXECUTED) {
    LOG(LOG_WARNING, "Describe params work only before Execute");
    return 0;
  }
  if (!(cur->req.flags & REQ_FLAG_MARKERS) || !cur->req.text) return 0;
  DescParamSQL d;
  SCR_DescParamSQLInit(&d, "to_char(NULL)");
  int32_t rc = 0;
  // Only an analysis that accounts for every marker describes: a marker
  // string maps VALUES items to columns, otherwise the probes' columns must
  // be exactly the markers.
  if (SCR_DescParamSQLBuild(&d, cur->req.text) == 0 && d.probeCount > 0 &&
      (d.marker || d.total == cur->req.markerCount) && cur->pars) {
    DrvHandle probe = 0;
    rc = ORA_AllocCursor(cur->conn->handle, &probe);
    if (rc == 0) {
      rc = RunProbes(cur, probe, d);
      ORA_FreeCursor(probe);
    }
  }
  SCR_DescParamSQLFree(&d);
  if (rc == 0) cur->describedByQuery = 1;
  return rc;
}
