// The dataset cache and its file coder.
#include "scrs/dsc.h"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <climits>
#include <cstdlib>
#include <cstring>
#include <string>

#include "odbc/dataset.h"
#include "odbc/drvops.h"
#include "odbc/sqlstate.h"
#include "util/log.h"

// ---- File coder ---------------------------------------------------------------

namespace {

constexpr long kHeaderSize = 4 + 8;
constexpr long kColDescSize = 8;

bool IsLong(int32_t type) { return type == VT_LONGCHAR || type == VT_LONGBINARY || type == VT_LONGWCHAR; }

// The bytes a present value occupies in the file after its indicator; -1 for
// a type the coder does not know. Narrow integers widen to a 4-byte cell,
// dates and times to one 4-byte cell per field, so that every cell of the
// file is 4-byte aligned relative to its row.
bool EncodeValue(std::string &out, int32_t type, uint32_t size, const unsigned char *v) {
  auto put32 = [&out](uint32_t x) { out.append(reinterpret_cast<const char *>(&x), 4); };
  auto putBytes = [&out](const void *p, size_t n) { out.append(static_cast<const char *>(p), n); };
  switch (type) {
    case VT_NONE:
      return true;
    case VT_BIT:
    case VT_UTINYINT:
      put32(v[0]);
      return true;
    case VT_STINYINT:
      put32(static_cast<uint32_t>(static_cast<int32_t>(static_cast<int8_t>(v[0]))));
      return true;
    case VT_SSHORT: {
      int16_t x;
      memcpy(&x, v, 2);
      put32(static_cast<uint32_t>(static_cast<int32_t>(x)));
      return true;
    }
    case VT_USHORT: {
      uint16_t x;
      memcpy(&x, v, 2);
      put32(x);
      return true;
    }
    case VT_SLONG:
    case VT_ULONG:
    case VT_FLOAT:
      putBytes(v, 4);
      return true;
    case VT_DOUBLE:
      putBytes(v, 8);
      return true;
    case VT_DATE:
    case VT_TIME: {
      // Three 16-bit fields; the year of a date is signed.
      for (int i = 0; i < 3; ++i) {
        uint16_t x;
        memcpy(&x, v + 2 * i, 2);
        put32(i == 0 && type == VT_DATE ? static_cast<uint32_t>(static_cast<int32_t>(static_cast<int16_t>(x))) : x);
      }
      return true;
    }
    case VT_TIMESTAMP: {
      for (int i = 0; i < 6; ++i) {
        uint16_t x;
        memcpy(&x, v + 2 * i, 2);
        put32(i == 0 ? static_cast<uint32_t>(static_cast<int32_t>(static_cast<int16_t>(x))) : x);
      }
      putBytes(v + 12, 4);
      return true;
    }
    case VT_LONGCHAR:
    case VT_LONGBINARY:
    case VT_LONGWCHAR: {
      LongValue lv;
      memcpy(&lv, v, sizeof lv);
      const size_t bytes = type == VT_LONGWCHAR ? size_t{lv.length} * 2 : lv.length;
      if (bytes && !lv.buffer) return false;
      put32(lv.length);
      putBytes(lv.buffer, bytes);
      return true;
    }
    case VT_VARCHAR1:
    case VT_VARBIN1:
      if (v[0] + 1u > size) return false;
      put32(v[0]);
      putBytes(v + 1, v[0]);
      return true;
    case VT_VARCHAR2:
    case VT_VARBIN2: {
      uint16_t n;
      memcpy(&n, v, 2);
      if (n + 2u > size) return false;
      put32(n);
      putBytes(v + 2, n);
      return true;
    }
    case VT_VARCHAR4:
    case VT_VARBIN4:
    case VT_WVARCHAR4: {
      uint32_t n;
      memcpy(&n, v, 4);
      const uint64_t bytes = type == VT_WVARCHAR4 ? uint64_t{n} * 2 : n;
      if (bytes + 4 > size) return false;
      put32(n);
      putBytes(v + 4, bytes);
      return true;
    }
    case VT_CHAR:
    case VT_BINARY:
    case VT_STRING:
    case VT_WCHAR:
    case VT_WSTRING:
      putBytes(v, size);
      return true;
    default:
      return false;
  }
}

bool Read(FILE *f, void *p, size_t n) { return n == 0 || fread(p, 1, n, f) == n; }

// The bytes of a run of rows, read from the data file in one piece and
// decoded from memory.
struct Bytes {
  const unsigned char *p;
  const unsigned char *end;
  bool Take(void *dst, size_t n) {
    if (static_cast<size_t>(end - p) < n) return false;
    if (n) memcpy(dst, p, n);
    p += n;
    return true;
  }
};

bool Read32(Bytes &f, uint32_t *x) { return f.Take(x, 4); }

// Reads one present value into the element v (zeroed by the column's
// allocation). A long value gets a buffer of its own.
bool DecodeValue(Bytes &f, int32_t type, uint32_t size, unsigned char *v) {
  uint32_t x = 0;
  switch (type) {
    case VT_NONE:
      return true;
    case VT_BIT:
    case VT_UTINYINT:
    case VT_STINYINT:
      if (!Read32(f, &x)) return false;
      v[0] = static_cast<unsigned char>(x);
      return true;
    case VT_SSHORT:
    case VT_USHORT: {
      if (!Read32(f, &x)) return false;
      const uint16_t y = static_cast<uint16_t>(x);
      memcpy(v, &y, 2);
      return true;
    }
    case VT_SLONG:
    case VT_ULONG:
    case VT_FLOAT:
      return f.Take(v, 4);
    case VT_DOUBLE:
      return f.Take(v, 8);
    case VT_DATE:
    case VT_TIME:
    case VT_TIMESTAMP: {
      const int fields = type == VT_TIMESTAMP ? 6 : 3;
      for (int i = 0; i < fields; ++i) {
        if (!Read32(f, &x)) return false;
        const uint16_t y = static_cast<uint16_t>(x);
        memcpy(v + 2 * i, &y, 2);
      }
      return type != VT_TIMESTAMP || f.Take(v + 12, 4);
    }
    case VT_LONGCHAR:
    case VT_LONGBINARY:
    case VT_LONGWCHAR: {
      if (!Read32(f, &x)) return false;
      const size_t unit = type == VT_LONGWCHAR ? 2 : 1;
      const size_t bytes = size_t{x} * unit;
      // Text gets a terminator after it; binary of length 0 gets no buffer.
      const size_t alloc = type == VT_LONGBINARY ? bytes : bytes + unit;
      LongValue lv{x, nullptr};
      if (alloc) {
        lv.buffer = calloc(1, alloc);
        if (!lv.buffer) return false;
        if (!f.Take(lv.buffer, bytes)) {
          free(lv.buffer);
          return false;
        }
      }
      memcpy(v, &lv, sizeof lv);
      return true;
    }
    case VT_VARCHAR1:
    case VT_VARBIN1:
      if (!Read32(f, &x) || x + 1 > size) return false;
      v[0] = static_cast<unsigned char>(x);
      return f.Take(v + 1, x);
    case VT_VARCHAR2:
    case VT_VARBIN2: {
      if (!Read32(f, &x) || x + 2 > size) return false;
      const uint16_t y = static_cast<uint16_t>(x);
      memcpy(v, &y, 2);
      return f.Take(v + 2, x);
    }
    case VT_VARCHAR4:
    case VT_VARBIN4:
    case VT_WVARCHAR4: {
      if (!Read32(f, &x)) return false;
      const uint64_t bytes = type == VT_WVARCHAR4 ? uint64_t{x} * 2 : x;
      if (bytes + 4 > size) return false;
      memcpy(v, &x, 4);
      return f.Take(v + 4, bytes);
    }
    case VT_CHAR:
    case VT_BINARY:
    case VT_STRING:
    case VT_WCHAR:
    case VT_WSTRING:
      return f.Take(v, size);
    default:
      return false;
  }
}

uint32_t ElemSize(const DatasetCol &c) { return IsLong(c.type) ? uint32_t{sizeof(LongValue)} : c.size; }

bool WriteHeader(FILE *data, uint16_t columns, int64_t rows) {
  const uint32_t cols = columns;
  return fseek(data, 0, SEEK_SET) == 0 && fwrite(&cols, 4, 1, data) == 1 && fwrite(&rows, 8, 1, data) == 1;
}

bool ReadHeader(FILE *data, uint32_t *columns, int64_t *rows) {
  return fseek(data, 0, SEEK_SET) == 0 && Read(data, columns, 4) && Read(data, rows, 8);
}

// Rows encoded for the files: the data bytes and the data-file offset of
// each row, written out with one call per file.
struct Encoded {
  std::string data;
  std::string index;
};

// Encodes every row of ds as it will stand from the data-file offset base on.
bool EncodeRows(Encoded &out, const Dataset *ds, int64_t base) {
  out.index.reserve(out.index.size() + size_t(ds->rows) * 8);
  for (int32_t r = 0; r < ds->rows; ++r) {
    const int64_t offset = base + static_cast<int64_t>(out.data.size());
    out.index.append(reinterpret_cast<const char *>(&offset), 8);
    for (uint16_t c = 0; c < ds->columns; ++c) {
      const DatasetCol &col = ds->cols[c];
      const uint32_t size = ElemSize(col);
      const int16_t ind = col.indicators[r];
      const int32_t wide = ind;
      out.data.append(reinterpret_cast<const char *>(&wide), 4);
      if (ind != 0) continue;
      if (!EncodeValue(out.data, col.type, size, col.values + size_t(r) * size)) return false;
    }
  }
  return true;
}

// Appends the encoded rows at the end of both files.
bool WriteEncoded(FILE *data, FILE *index, Encoded &e) {
  const bool ok = fseeko(data, 0, SEEK_END) == 0 && fseeko(index, 0, SEEK_END) == 0 &&
                  fwrite(e.data.data(), 1, e.data.size(), data) == e.data.size() &&
                  fwrite(e.index.data(), 1, e.index.size(), index) == e.index.size();
  e.data.clear();
  e.index.clear();
  return ok;
}

// Appends every row of ds after `stored` rows already in the files and
// rewrites the header's row count.
int WriteRows(FILE *data, FILE *index, const Dataset *ds, int64_t stored) {
  if (fseeko(data, 0, SEEK_END) != 0) return E_S1000;
  const int64_t base = ftello(data);
  Encoded e;
  if (base < 0 || !EncodeRows(e, ds, base) || !WriteEncoded(data, index, e)) return E_S1000;
  return WriteHeader(data, ds->columns, stored + ds->rows) && fflush(data) == 0 && fflush(index) == 0 ? 0 : E_S1000;
}

}  // namespace

int dscf_Write(FILE *data, FILE *index, const Dataset *ds) {
  if (!data || !index || !ds || ds->columns == 0 || ds->rows == 0) return E_S1000;
  if (!WriteHeader(data, ds->columns, ds->rows)) return E_S1000;
  for (uint16_t c = 0; c < ds->columns; ++c) {
    const int32_t type = ds->cols[c].type;
    const uint32_t size = ElemSize(ds->cols[c]);
    if (fwrite(&type, 4, 1, data) != 1 || fwrite(&size, 4, 1, data) != 1) return E_S1000;
  }
  return WriteRows(data, index, ds, 0);
}

int dscf_Append(FILE *data, FILE *index, const Dataset *ds) {
  if (!data || !index || !ds) return E_S1000;
  if (ds->rows == 0) return 0;
  uint32_t columns = 0;
  int64_t stored = 0;
  if (!ReadHeader(data, &columns, &stored) || columns != ds->columns) return E_S1000;
  return WriteRows(data, index, ds, stored);
}

int dscf_Read(FILE *data, FILE *index, Dataset *ds, int64_t first, int32_t limit) {
  if (!data || !index || !ds) return E_S1000;
  uint32_t columns = 0;
  int64_t stored = 0;
  if (!ReadHeader(data, &columns, &stored)) return E_S1000;
  columns &= 0xFFFF;
  if (columns == 0 || first < 0 || first >= stored) return E_S1000;
  int64_t want = stored - first;
  if (limit > 0 && want > limit) want = limit;
  if (want > INT32_MAX) return E_S1000;
  const int32_t n = static_cast<int32_t>(want);

  // The rows' bytes run from the first row's offset to the next row's, or
  // to the end of the file after the last row.
  int64_t offsets[2] = {0, 0};
  const bool toEnd = first + n >= stored;
  if (fseeko(index, first * 8, SEEK_SET) != 0 || !Read(index, &offsets[0], 8)) return E_S1000;
  if (toEnd ? fseeko(data, 0, SEEK_END) != 0 || (offsets[1] = ftello(data)) < 0
            : fseeko(index, (first + n) * 8, SEEK_SET) != 0 || !Read(index, &offsets[1], 8))
    return E_S1000;
  if (offsets[0] < kHeaderSize || offsets[1] < offsets[0]) return E_S1000;
  const size_t bytes = static_cast<size_t>(offsets[1] - offsets[0]);
  auto *buf = static_cast<unsigned char *>(malloc(bytes ? bytes : 1));
  if (!buf) return E_S1001;
  struct Buffer {
    unsigned char *p;
    ~Buffer() { free(p); }
  } owned{buf};

  DatasetFree(ds);
  if (int code = DatasetInit(ds, static_cast<uint16_t>(columns))) return code;
  ds->columns = static_cast<uint16_t>(columns);
  if (fseeko(data, kHeaderSize, SEEK_SET) != 0) {
    DatasetFree(ds);
    return E_S1000;
  }
  for (uint16_t c = 0; c < ds->columns; ++c) {
    DatasetCol &col = ds->cols[c];
    if (!Read(data, &col.type, 4) || !Read(data, &col.size, 4)) {
      DatasetFree(ds);
      return E_S1000;
    }
    if (IsLong(col.type)) col.size = sizeof(LongValue);
    if (int code = DatasetColAlloc(&col, n)) {
      col.type = 0;
      col.size = 0;
      DatasetFree(ds);
      return code;
    }
  }
  ds->capacity = n;
  if (fseeko(data, offsets[0], SEEK_SET) != 0 || !Read(data, buf, bytes)) {
    DatasetFree(ds);
    return E_S1000;
  }
  Bytes in{buf, buf + bytes};
  for (int32_t r = 0; r < n; ++r) {
    for (uint16_t c = 0; c < ds->columns; ++c) {
      DatasetCol &col = ds->cols[c];
      int32_t ind = 0;
      if (!in.Take(&ind, 4) ||
          (ind == 0 && !DecodeValue(in, col.type, col.size, col.values + size_t(r) * col.size))) {
        ds->rows = r + 1;  // the free sees every buffer; cells not reached are zero
        DatasetFree(ds);
        return E_S1000;
      }
      col.indicators[r] = static_cast<int16_t>(ind);
    }
  }
  ds->rows = n;
  return 0;
}

// Reads every long value that the agent left with itself in a block into
// its cell: once the block joins a rowset behind other rows, the agent could
// no longer find it by its row.
int scs_p_ReadDeferredCells(const DrvObject *lower, uint32_t cursor, Dataset *ds) {
  constexpr int32_t kChunk = 1 << 16;
  bool warned = false;
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
        int32_t code = DrvCall<&DrvOps::DRV_GetDataChunk>(lower, cursor, int32_t{c} + 1, r + 1, kChunk, &piece,
                                                          &size, &type, &left);
        // A piece with the database's warning is a piece: its records wait
        // below and the warning goes up once the cells are read.
        if (code == E_IM902) {
          warned = true;
          code = 0;
        }
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
  return warned ? E_IM902 : 0;
}

// ---- The cache ----------------------------------------------------------------

void DSC_Init(DSC *dsc) {
  dsc->mode = DSC_MEMORY;
  dsc->data = nullptr;
  dsc->index = nullptr;
  dsc->windowRows = kDscMemoryRows;
  dsc->stored = 0;
  dsc->maxRows = INT32_MAX;
}

void DSC_Close(DSC *dsc) {
  if (!dsc) return;
  if (dsc->data) {
    fclose(dsc->data);
    LOG(LOG_DEBUG, "DSC_Close: Closed temporary files for pDSC=%p", static_cast<void *>(dsc));
  }
  if (dsc->index) fclose(dsc->index);
  dsc->data = nullptr;
  dsc->index = nullptr;
  dsc->mode = DSC_MEMORY;
  dsc->stored = 0;
}

FILE *dsc_TempFileCreate() {
  const char *dir = getenv("TMPDIR");
  if (!dir || !*dir) dir = "/tmp";
  std::string path(dir);
  while (path.size() > 1 && path.back() == '/') path.pop_back();
  path += "/kvdcacheXXXXXX";
  // mkstemp creates the file exclusively with mode 0600; the name goes at
  // once, so the rows live only as long as the open descriptor.
  const int fd = mkostemp(path.data(), O_CLOEXEC);
  if (fd < 0) return nullptr;
  unlink(path.c_str());
  FILE *f = fdopen(fd, "wb+");
  if (!f) close(fd);
  return f;
}

int dsc_Open(DSC *dsc) {
  if (!dsc) return E_S1000;
  FILE *data = dsc_TempFileCreate();
  if (!data) return E_S1000;
  FILE *index = dsc_TempFileCreate();
  if (!index) {
    fclose(data);
    return E_S1000;
  }
  dsc->data = data;
  dsc->index = index;
  dsc->mode = DSC_OPEN;
  dsc->stored = 0;
  LOG(LOG_DEBUG, "dsc_Open: Opened temporary files for pDSC=%p", static_cast<void *>(dsc));
  return 0;
}

int64_t DSC_StoredRows(const DSC *dsc) { return dsc && dsc->mode == DSC_SPILLED ? dsc->stored : 0; }

namespace {

// Encoded rows are written out once this many bytes are pending.
constexpr size_t kDscWriteBytes = size_t{1} << 20;

// The spill: the rows held so far go to new files, header first.
int Spill(DSC *dsc, Dataset *ds) {
  if (dsc->mode == DSC_MEMORY)
    if (int code = dsc_Open(dsc)) return code;
  if (int code = dscf_Write(dsc->data, dsc->index, ds)) return code;
  dsc->mode = DSC_SPILLED;
  dsc->stored = ds->rows;
  DatasetFree(ds);
  return 0;
}

}  // namespace

int DSC_Fill(DSC *dsc, const DrvObject *lower, uint32_t cursor, Dataset *ds, int64_t *total) {
  if (!dsc || !ds || !lower) return E_S1000;
  DatasetFree(ds);
  Dataset scratch{};
  Encoded pending;
  int64_t count = 0;
  int64_t written = 0;    // size of the data file: where the pending rows will stand
  uint16_t columns = 0;   // of the rows in the files
  int code = 0;
  // Rows with the database's warning are rows: the fill goes on, and ends
  // with the warning, whose records wait below.
  bool warned = false;
  auto noteWarning = [&warned](int c) {
    if (c != E_IM902) return c;
    warned = true;
    return 0;
  };
  for (;;) {
    // In memory the blocks join the rows held; once spilled each block is
    // encoded for the files and its Dataset used again.
    Dataset *into = dsc->mode == DSC_SPILLED || ds->capacity != 0 ? &scratch : ds;
    code = noteWarning(DrvCall<&DrvOps::DRV_Fetch>(lower, cursor, static_cast<uint16_t>(kDscFetchRows), into));
    if (code != 0) break;
    const int32_t got = into->rows;
    if (got == 0) break;
    if (count + got > dsc->maxRows) {
      LOG(LOG_DEBUG, "DSC_Fill: result has more rows than a cursor can number");
      code = E_S1000;
      break;
    }
    // Long values left with the agent are found by their row in its last
    // block: read them before the next fetch moves it on.
    if ((code = noteWarning(scs_p_ReadDeferredCells(lower, cursor, into))) != 0) break;
    count += got;
    if (dsc->mode == DSC_SPILLED) {
      if (into->columns != columns || !EncodeRows(pending, into, written)) {
        code = E_S1000;
        break;
      }
      dsc->stored += got;
      if (pending.data.size() >= kDscWriteBytes) {
        written += static_cast<int64_t>(pending.data.size());
        if (!WriteEncoded(dsc->data, dsc->index, pending)) {
          code = E_S1000;
          break;
        }
      }
      continue;
    }
    if (into == &scratch && (code = DatasetAppend(ds, &scratch)) != 0) break;
    if (ds->rows > kDscMemoryRows) {
      columns = ds->columns;
      if ((code = Spill(dsc, ds)) != 0) break;
      if (fseeko(dsc->data, 0, SEEK_END) != 0 || (written = ftello(dsc->data)) < 0) {
        code = E_S1000;
        break;
      }
    }
  }
  DatasetFree(&scratch);
  // The rest of the rows, and the header's count of them all.
  if (code == 0 && dsc->mode == DSC_SPILLED &&
      !(WriteEncoded(dsc->data, dsc->index, pending) && WriteHeader(dsc->data, columns, dsc->stored) &&
        fflush(dsc->data) == 0 && fflush(dsc->index) == 0))
    code = E_S1000;
  if (code == 0 && total) *total = count;
  return code == 0 && warned ? E_IM902 : code;
}

int DSC_WindowGet(DSC *dsc, int32_t first, int32_t n, int32_t *windowStart, Dataset *ds) {
  if (!dsc || !windowStart || !ds) return E_S1000;
  if (dsc->mode == DSC_MEMORY) return 0;
  if (dsc->mode != DSC_SPILLED) return E_S1000;
  const int64_t want = 2 * int64_t{n};
  const int32_t s = *windowStart;
  if (s != -1 && first >= s && dsc->windowRows >= want && int64_t{first} + n <= int64_t{s} + dsc->windowRows)
    return 0;
  if (dsc->windowRows < want) {
    if (want > INT32_MAX) return E_S1000;
    dsc->windowRows = static_cast<int32_t>(want);
  }
  if (first < 0 || first >= dsc->stored) return E_S1000;
  // Scrolling on from the window, the new one begins with the request;
  // scrolling back, it ends with it; a jump puts the request in its middle.
  // Near either end the window still holds as many rows as it can.
  const int64_t rows = dsc->windowRows;
  int64_t start;
  if (s != -1 && first >= s && first <= int64_t{s} + ds->rows)
    start = first;
  else if (s != -1 && first < s && int64_t{first} + n >= s)
    start = int64_t{first} + n - rows;
  else
    start = int64_t{first} - (rows - int64_t{n}) / 2;
  if (start > dsc->stored - rows) start = dsc->stored - rows;
  if (start < 0) start = 0;
  // Read aside: a failed read leaves the window as it was.
  Dataset fresh{};
  if (dscf_Read(dsc->data, dsc->index, &fresh, start, dsc->windowRows) != 0) return E_S1000;
  DatasetFree(ds);
  *ds = fresh;
  *windowStart = static_cast<int32_t>(start);
  return 0;
}
