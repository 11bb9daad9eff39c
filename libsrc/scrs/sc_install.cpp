// Installation of the cursor layer and its forward-only scroll fetch.
#include "scrs/sc_install.h"

#include <cstdlib>
#include <cstring>
#include <mutex>

#include "odbc/data/rowset.h"
#include "odbc/dataset.h"
#include "odbc/sqlstate.h"
#include "scrs/sc_s.h"

namespace {

DrvObject g_lower;   // the object below, as it stood at the first installation
DrvOps g_table;      // the layer's table: a copy of the one below with its slots
std::mutex g_installMutex;

// DRV_Fetch counts rows in 16 bits.
constexpr int32_t kMaxFetchRows = 65535;

// A cursor option as the cursor answers it; the default when it has none.
int32_t CursorOption(DrvHandle cursor, uint16_t option, int32_t dflt) {
  int32_t value = dflt;
  int16_t len = 0;
  if (DrvCall<&DrvOps::DRV_GetInfo>(&g_lower, cursor, InfoStmtOption(option), &value,
                                    static_cast<uint16_t>(sizeof value), &len) != 0)
    return dflt;
  return value;
}

bool HasDeferredCells(const Dataset *ds) {
  for (uint16_t c = 0; c < ds->columns; ++c)
    for (int32_t r = 0; r < ds->rows; ++r)
      if (ds->cols[c].indicators[r] == kIndDeferred) return true;
  return false;
}

// Reads every long value that the agent left with itself in a block into
// its cell: once the block joins a rowset behind other rows, the agent could
// no longer find it by its row.
int32_t ReadDeferredCells(DrvHandle cursor, Dataset *ds) {
  constexpr int32_t kChunk = 1 << 16;
  for (uint16_t c = 0; c < ds->columns; ++c) {
    DatasetCol &col = ds->cols[c];
    if (col.type != VT_LONGCHAR && col.type != VT_LONGBINARY && col.type != VT_LONGWCHAR) continue;
    for (int32_t r = 0; r < ds->rows; ++r) {
      if (col.indicators[r] != kIndDeferred) continue;
      unsigned char *buf = nullptr;
      size_t len = 0, cap = 0;
      int32_t left = 0;
      for (;;) {
        void *piece = nullptr;
        int32_t size = 0, type = 0;
        int32_t code = DrvCall<&DrvOps::DRV_GetDataChunk>(&g_lower, cursor, int32_t{c} + 1, r + 1, kChunk, &piece,
                                                          &size, &type, &left);
        if (code != 0) {
          free(piece);
          free(buf);
          return code;
        }
        if (!piece || size <= 0) {
          free(piece);
          break;
        }
        if (len + static_cast<size_t>(size) > cap) {
          size_t want = cap ? cap * 2 : static_cast<size_t>(size);
          while (want < len + static_cast<size_t>(size)) want *= 2;
          auto *grown = static_cast<unsigned char *>(realloc(buf, want));
          if (!grown) {
            free(piece);
            free(buf);
            return E_S1001;
          }
          buf = grown;
          cap = want;
        }
        memcpy(buf + len, piece, static_cast<size_t>(size));
        len += static_cast<size_t>(size);
        free(piece);
      }
      if (len == 0 && left == -1) {
        free(buf);
        col.indicators[r] = kIndNull;
        continue;
      }
      LongValue lv{};
      memcpy(&lv, col.values + static_cast<size_t>(r) * col.size, sizeof lv);
      free(lv.buffer);
      lv.buffer = buf;
      lv.length = static_cast<uint32_t>(col.type == VT_LONGWCHAR ? len / 2 : len);
      memcpy(col.values + static_cast<size_t>(r) * col.size, &lv, sizeof lv);
      col.indicators[r] = 0;
    }
  }
  return 0;
}

uint16_t FetchCount(int32_t n) { return static_cast<uint16_t>(n < kMaxFetchRows ? n : kMaxFetchRows); }

// Fills rows with up to n rows of the cursor's result. One DRV_Fetch may
// hand over fewer rows than asked before the end (one row at a time when
// the result has long columns), so the fetch goes on until the rowset is
// full or a fetch brings nothing. Long values left with the agent are read
// by their row within the agent's last block: a rowset of one block keeps
// them there; once another block follows, every block has them read into
// its cells (the first one's before the next fetch moves the agent on).
int32_t FetchForward(DrvHandle cursor, int32_t n, Dataset *rows) {
  int32_t code = DrvCall<&DrvOps::DRV_Fetch>(&g_lower, cursor, FetchCount(n), rows);
  if (code != 0 || rows->rows == 0 || rows->rows >= n) return code;
  if (HasDeferredCells(rows) && (code = ReadDeferredCells(cursor, rows)) != 0) return code;
  Dataset more{};
  while (rows->rows < n) {
    code = DrvCall<&DrvOps::DRV_Fetch>(&g_lower, cursor, FetchCount(n - rows->rows), &more);
    if (code != 0 || more.rows == 0) break;
    code = ReadDeferredCells(cursor, &more);
    if (code == 0) code = DatasetAppend(rows, &more);
    if (code != 0) break;
  }
  DatasetFree(&more);
  return code;
}

}  // namespace

int32_t scs_FetchScroll(DrvHandle cursor, Rowset **out, int32_t value, uint32_t *rows, int32_t *rowCount,
                        uint16_t orientation) {
  (void)value;
  (void)orientation;
  if (!out || !rows || !rowCount) return E_S1009;
  *out = nullptr;
  *rows = 0;
  const int32_t type = CursorOption(cursor, 6, SCS_FORWARD_ONLY);
  if (type != SCS_FORWARD_ONLY) return E_S1C00;
  int32_t size = CursorOption(cursor, 9, 1);
  if (size < 1) size = 1;
  const int32_t retrieve = CursorOption(cursor, 11, 1);

  Rowset *rs = nullptr;
  if (int32_t code = RowsetNew(&rs, size)) return code;
  int32_t code = FetchForward(cursor, size, rs->rows);
  if (code != 0) {
    RowsetFree(&rs);
    return code;
  }
  const int32_t got = rs->rows->rows;
  if (got == 0) {
    RowsetFree(&rs);
    return E_IM907;
  }
  for (int32_t i = 0; i < got && i < rs->count; ++i) rs->status[i] = 0;  // SQL_ROW_SUCCESS
  // Without data retrieval only the statuses go up.
  if (!retrieve) DatasetFree(rs->rows);
  *rowCount = -1;  // a forward-only result is never counted
  *rows = static_cast<uint32_t>(got);
  *out = rs;
  return 0;
}

int32_t scs_ExtendedFetch(DrvHandle cursor, Rowset **out, int32_t value, uint32_t *rows, int32_t *rowCount) {
  return scs_FetchScroll(cursor, out, value, rows, rowCount, 0);
}

const DrvObject *scs_LowerObject() { return &g_lower; }

void scs_Install(DrvObject *obj) {
  if (!obj) return;
  std::lock_guard<std::mutex> lock(g_installMutex);
  if (!g_lower.table) {
    if (!obj->table) return;
    g_lower = *obj;
    g_table = *obj->table;
    g_table.DRV_ExtendedFetch = scs_ExtendedFetch;
    g_table.DRV_FetchScroll = scs_FetchScroll;
  }
  obj->table = &g_table;
}
