// LOB access: reading fetched CLOB and BLOB values whole or in pieces, and
// collecting the pieces of LONG and LONG RAW values during a piecewise fetch.
//
// Positions in a LOB are counted the way OCI counts its offsets: bytes for a
// BLOB, UTF-16 units for a CLOB whatever the client character set. In the
// narrow mode a CLOB arrives as UTF-8, so the bytes that came never say the
// position by themselves: the position moves by the UTF-16 units the bytes
// hold, and a reader never asks for a character it has already read.
#include <strings.h>

#include <algorithm>
#include <cstdlib>
#include <cstring>

#include "drv_ora8/db-fetch.h"
#include "drv_ora8/db-lob.h"
#include "drv_ora8/db-piece.h"
#include "odbc/dataset.h"
#include "odbc/sqlstate.h"
#include "util/log.h"
#include "util/utf.h"

namespace {

constexpr uint32_t kCarrySize = 32768;
constexpr uint32_t kCellChunk = 65536;

AgentErrList *Errs(DB_Curs *c) { return c->owner ? &c->owner->errs : nullptr; }

bool IsClob(const OciColDesc *r) { return r->oraType == SQLT_CLOB; }

// A LOB call that did its work with a warning: its records go on the list
// before the next call clears the error handle, and the read it belongs to
// ends with the warning.
void NoteLobWarning(DB_Curs *c, sword status) {
  if (status != OCI_SUCCESS_WITH_INFO) return;
  ErrList_AppendOCI(Errs(c), c->err);
  c->lobWarned = 1;
}

// The bytes SQL_MAX_LENGTH leaves of a long value: so many bytes of narrow
// text or binary data, so many characters of wide text; none: no limit.
uint64_t MaxLengthBytes(const DB_Curs *c, bool wide) {
  const uint64_t maxLength = c->owner ? c->owner->maxLength : 0;
  return maxLength == 0 ? UINT64_MAX : wide ? 2 * maxLength : maxLength;
}

// Cuts the collected bytes to the limit; narrow text before a character
// that does not fit whole.
void CutToLimit(PieceBuf *pb, uint64_t limit, bool narrowText) {
  size_t total = PieceBuf_Size(pb);
  if (total <= limit) return;
  total = static_cast<size_t>(limit);
  if (narrowText) total = utf8_cut_point(reinterpret_cast<const uint8_t *>(pb->start), total, total);
  pb->end = pb->start + total;
}


}  // namespace

uint64_t db_Utf16UnitsOfUtf8(const void *p, size_t n) {
  const auto *s = static_cast<const unsigned char *>(p);
  // Branch-free, as it runs over every byte of a narrow CLOB read: a byte
  // other than a continuation byte starts a character, one of four bytes (a
  // surrogate pair) counts twice.
  uint64_t units = 0;
  for (size_t i = 0; i < n; ++i) units += ((s[i] & 0xC0) != 0x80) + (s[i] >= 0xF0);
  return units;
}

int32_t db_LOBRead(int wide, DB_Curs *c, OCILobLocator *loc, const OciColDesc *r, uint64_t pos, void *buf,
                   uint32_t bufSize, uint32_t *count, uint8_t form, uint64_t *units) {
  *count = 0;
  *units = 0;
  if (pos >= 0xFFFFFFFFull) return 0;  // beyond what OCI's 32-bit offsets reach: nothing more
  const bool clob = IsClob(r);
  // The amount asked for is in the LOB's own units; never more than the
  // buffer holds (a unit takes at least a byte, two when wide).
  ub4 amount = wide ? bufSize / 2 : bufSize;
  const ub2 csid = wide ? OCI_UTF16ID : 0;
  sword st = OCILobRead(c->conn->svc, c->err->errhp, loc, &amount, static_cast<ub4>(pos + 1), buf, bufSize,
                        nullptr, nullptr, csid, form);
  if (st != OCI_SUCCESS && st != OCI_NEED_DATA && st != OCI_SUCCESS_WITH_INFO) {
    LOG(LOG_ERR, "db_LOBGetChunk: OCILobRead() failed");
    return db_OciFail(st, Errs(c), c->err);
  }
  NoteLobWarning(c, st);
  if (wide) {
    *count = amount * 2;
    *units = amount;
  } else {
    *count = amount;
    *units = clob ? db_Utf16UnitsOfUtf8(buf, amount) : amount;
  }
  if (*count > bufSize) *count = bufSize;
  return 0;
}

namespace {

int32_t LobForm(DB_Curs *c, OCILobLocator *loc, const OciColDesc *r, uint8_t *form) {
  *form = SQLCS_IMPLICIT;
  if (!IsClob(r)) return 0;
  ub1 f = 0;
  sword st = OCILobCharSetForm(c->conn->env, c->err->errhp, loc, &f);
  if (!db_OciOk(st)) {
    LOG(LOG_ERR, "db_LOBGetChunk: OCILobCharSetForm() failed");
    return db_OciFail(st, Errs(c), c->err);
  }
  NoteLobWarning(c, st);
  if (f) *form = f;
  return 0;
}

}  // namespace

int32_t db_LOBGetChunk(int wide, DB_Curs *c, OCILobLocator *loc, OciColDesc *r, uint64_t *pos, uint64_t endPos,
                       void *buf, uint32_t *count, int *shortRead, int carry) {
  const uint32_t wanted = *count;
  *count = 0;
  *shortRead = 0;
  uint8_t form = SQLCS_IMPLICIT;
  if (int32_t rc = LobForm(c, loc, r, &form)) return rc;
  auto *out = static_cast<unsigned char *>(buf);
  uint32_t got = 0;
  if (carry && c->lobCarryLen > 0) {
    const uint32_t n = wanted < c->lobCarryLen ? wanted : c->lobCarryLen;
    memcpy(out, static_cast<unsigned char *>(c->lobCarry) + c->lobCarryPos, n);
    c->lobCarryPos += n;
    c->lobCarryLen -= n;
    got = n;
  } else if (*pos < endPos) {
    uint64_t units = 0;
    if (int32_t rc = db_LOBRead(wide, c, loc, r, *pos, out, wanted, &got, form, &units)) {
      *shortRead = 1;
      return rc;
    }
    *pos += units;
  }
  // What did not come in one read (a narrow CLOB read stops before a
  // character that does not fit) comes through the carry-over: read ahead in
  // blocks, the rest kept for the next piece.
  while (carry && got < wanted && *pos < endPos) {
    if (!c->lobCarry && !(c->lobCarry = malloc(kCarrySize))) {
      LOG(LOG_ERR, "db_LOBGetChunk: malloc() failed");
      *count = got;
      *shortRead = 1;
      return E_S1001;
    }
    uint32_t n = 0;
    uint64_t units = 0;
    if (int32_t rc = db_LOBRead(wide, c, loc, r, *pos, c->lobCarry, kCarrySize, &n, form, &units)) {
      *count = got;
      *shortRead = 1;
      return rc;
    }
    if (n == 0) break;
    *pos += units;
    const uint32_t need = wanted - got;
    const uint32_t use = n < need ? n : need;
    memcpy(out + got, c->lobCarry, use);
    got += use;
    c->lobCarryPos = use;
    c->lobCarryLen = n - use;
  }
  *count = got;
  *shortRead = got < wanted;
  return 0;
}

int32_t db_LOBDataCellGet(DB_Curs *c, OciColDesc *r, int32_t row, LongValue *cell, int wide) {
  OCILobLocator *loc = static_cast<OCILobLocator **>(r->buffer)[row];
  ub4 length = 0;
  sword st = OCILobGetLength(c->conn->svc, c->err->errhp, loc, &length);
  if (!db_OciOk(st)) {
    // Without its length the value cannot be read: an error, never an empty value.
    LOG(LOG_ERR, "db_LOBDataCellGet: OCILobGetLength() failed");
    return db_OciFail(st, Errs(c), c->err);
  }
  NoteLobWarning(c, st);
  if (length == 0) return 0;
  // SQL_MAX_LENGTH cuts the value: so many bytes of narrow text or binary
  // data, so many characters of wide text.
  const uint64_t limit = MaxLengthBytes(c, wide);
  // The value is read straight into its cell. Its size in bytes is known from
  // the length for a BLOB (a byte a unit) and wide text (two), not for UTF-8,
  // which takes one to three bytes a unit (a pair of units is four): its
  // cell is sized by what the first chunk holds and grows geometrically if
  // the text has more bytes a unit further on. Sized near the value, cells of
  // like values reuse the same memory read after read.
  const bool narrowText = IsClob(r) && !wide;
  uint64_t most = !IsClob(r) ? length : wide ? 2 * uint64_t{length} : 3 * uint64_t{length};
  if (most > limit) most = limit;
  // A cell holds at most 4 GiB - 1 bytes.
  const bool bounded = most > 0xFFFFFFFFu;
  if (bounded) most = 0xFFFFFFFFu;
  uint64_t size = narrowText ? std::min<uint64_t>(most, kCellChunk) : most;
  bool sized = !narrowText;
  auto *buf = static_cast<unsigned char *>(malloc(static_cast<size_t>(size)));
  if (!buf) return E_S1001;
  uint64_t pos = 0, total = 0;
  int32_t rc = 0;
  // The value ends at its length: a short read (a character that did not
  // fit the chunk) is no end.
  while (pos < length && total < most) {
    uint64_t grown = size;
    if (!sized && pos > 0) {
      grown = std::max(size, std::min(most, total * length / pos + kCellChunk));
      sized = true;
    } else if (size - total < 4 && size < most) {
      grown = std::min(most, size + std::max<uint64_t>(size / 2, kCellChunk));
    }
    if (grown > size) {
      auto *more = static_cast<unsigned char *>(realloc(buf, static_cast<size_t>(grown)));
      if (!more) {
        rc = E_S1001;
        break;
      }
      buf = more;
      size = grown;
    }
    const uint64_t room = size - total;
    uint32_t got = room < kCellChunk ? static_cast<uint32_t>(room) : kCellChunk;
    int shortRead = 0;
    const uint64_t before = pos;
    rc = db_LOBGetChunk(wide, c, loc, r, &pos, length, buf + total, &got, &shortRead, 0);
    if (rc) break;
    total += got;
    if (pos == before) break;  // nothing came before the length: the LOB is shorter than it said
  }
  if (rc == 0 && bounded && pos < length && total == most) rc = E_S1000;
  if (rc == 0 && total > 0) {
    // Only a cell sized well beyond its text gives memory back: one that
    // keeps its few spare bytes is allocated alike read after read, so that
    // the allocator hands the same memory out again instead of fresh pages.
    if (size - total > size / 8)
      if (void *smaller = realloc(buf, static_cast<size_t>(total))) buf = static_cast<unsigned char *>(smaller);
    cell->length = static_cast<uint32_t>(wide ? total / 2 : total);
    cell->buffer = buf;
    return 0;
  }
  free(buf);
  return rc;
}

int32_t db_LOBFetchCells(DB_Curs *c, Dataset *d, int32_t rows) {
  const bool wideMode = c->owner && c->owner->conn && c->owner->conn->wide;
  c->lobWarned = 0;
  for (uint16_t i = 0; i < d->columns && i < c->resultDescCount; ++i) {
    OciColDesc *r = &c->resultDescs[i];
    if (r->extType != SQLT_CLOB && r->extType != SQLT_BLOB) continue;
    DatasetCol &col = d->cols[i];
    if (col.type != VT_LONGCHAR && col.type != VT_LONGBINARY && !(wideMode && col.type == VT_LONGWCHAR))
      return E_S1000;
    for (int32_t k = 0; k < rows && k < r->bufferCount; ++k) {
      if (c->indicators[static_cast<size_t>(i) * static_cast<size_t>(d->capacity) + k] == -1) continue;
      auto *cell = reinterpret_cast<LongValue *>(col.values + static_cast<size_t>(k) * col.size);
      if (int32_t rc = db_LOBDataCellGet(c, r, k, cell, col.type == VT_LONGWCHAR)) return rc;
    }
  }
  return c->lobWarned ? E_IM902 : 0;
}

namespace {

// Moves the collected bytes of one LONG value into its cell.
int32_t PiecesToCell(DB_Curs *c, PieceBuf *pb, LongValue *cell, bool wide, bool text) {
  if (cell) CutToLimit(pb, MaxLengthBytes(c, wide), text && !wide);
  const size_t total = PieceBuf_Size(pb);
  if (!cell || total == 0) return 0;
  if (total > 0xFFFFFFFFu) return E_S1000;
  void *copy = malloc(total);
  if (!copy) return E_S1001;
  PieceBuf_CopyOut(copy, pb, total);
  free(cell->buffer);
  cell->buffer = copy;
  cell->length = static_cast<uint32_t>(wide ? total / 2 : total);
  return 0;
}

}  // namespace

int32_t db_ColsGetPieces(DB_Curs *c, Dataset *d) {
  OCIError *errhp = c->err->errhp;
  const bool wideMode = c->owner && c->owner->conn && c->owner->conn->wide;
  PieceBuf pb;
  PieceBuf_Clear(&pb);
  void *current = nullptr;
  LongValue *cell = nullptr;
  bool cellWide = false, cellText = false;
  int32_t rc = 0;
  // A piece call that did its work with a warning: its records are kept
  // before the next call clears the error handle, and the value is read on.
  bool warned = false;
  auto noteWarning = [&](sword status) {
    if (status != OCI_SUCCESS_WITH_INFO) return;
    ErrList_AppendOCI(Errs(c), c->err);
    warned = true;
  };
  for (;;) {
    void *handle = nullptr;
    ub4 type = 0, iter = 0, idx = 0;
    ub1 inOut = 0, piece = 0;
    sword st = OCIStmtGetPieceInfo(c->stmt, errhp, &handle, &type, &inOut, &iter, &idx, &piece);
    if (!db_OciOk(st)) {
      LOG(LOG_ERR, "db_ColsGetPieces: OCIStmtGetPieceInfo() failed.");
      rc = db_OciFail(st, Errs(c), c->err);
      break;
    }
    noteWarning(st);
    if (type != OCI_HTYPE_DEFINE || inOut != OCI_PARAM_OUT) {
      LOG(LOG_ERR, "db_ColsGetPieces: Invalid handle or parameter type.");
      rc = E_S1000;
      break;
    }
    uint16_t i = 0;
    while (i < c->defineCount && i < d->columns && c->defines[i] != handle) ++i;
    if (i >= c->defineCount || i >= d->columns || i >= c->resultDescCount ||
        static_cast<int32_t>(iter) >= d->capacity) {
      LOG(LOG_ERR, "db_ColsGetPieces: Cannot identify column");
      rc = E_S1000;
      break;
    }
    DatasetCol &col = d->cols[i];
    if (col.type != VT_LONGCHAR && col.type != VT_LONGBINARY && !(wideMode && col.type == VT_LONGWCHAR)) {
      LOG(LOG_ERR, "db_ColsGetPieces: Cannot identify column");
      rc = E_S1000;
      break;
    }
    auto *target = reinterpret_cast<LongValue *>(col.values + static_cast<size_t>(iter) * col.size);
    if (handle != current || target != cell) {
      if ((rc = PiecesToCell(c, &pb, cell, cellWide, cellText)) != 0) break;
      PieceBuf_Free(&pb);
      current = handle;
      cell = target;
      cellWide = col.type == VT_LONGWCHAR;
      cellText = col.type != VT_LONGBINARY;
    }
    OciColDesc *r = &c->resultDescs[i];
    auto *into = static_cast<unsigned char *>(r->buffer) + static_cast<size_t>(iter) * r->elemSize;
    ub4 len = static_cast<ub4>(r->elemSize);
    const size_t at = static_cast<size_t>(i) * static_cast<size_t>(d->capacity) + iter;
    st = OCIStmtSetPieceInfo(handle, OCI_HTYPE_DEFINE, errhp, into, &len, OCI_NEXT_PIECE, c->indicators + at,
                             c->returnCodes + at);
    if (!db_OciOk(st)) {
      LOG(LOG_ERR, "db_ColsGetPieces: OCIStmtSetPieceInfo() failed.");
      rc = db_OciFail(st, Errs(c), c->err);
      break;
    }
    noteWarning(st);
    st = OCIStmtFetch(c->stmt, errhp, static_cast<ub4>(d->capacity), OCI_FETCH_NEXT, OCI_DEFAULT);
    if (st != OCI_SUCCESS && st != OCI_SUCCESS_WITH_INFO && st != OCI_NEED_DATA && st != OCI_NO_DATA) {
      LOG(LOG_ERR, "db_ColsGetPieces: OCIStmtFetch() failed.");
      rc = db_OciFail(st, Errs(c), c->err);
      break;
    }
    noteWarning(st);
    if (len > 0) {
      void *dst = PieceBuf_Reserve(&pb, len);
      if (!dst) {
        rc = E_S1001;
        break;
      }
      memcpy(dst, into, len);
    }
    if (st != OCI_NEED_DATA) {
      rc = PiecesToCell(c, &pb, cell, cellWide, cellText);
      break;
    }
  }
  PieceBuf_Free(&pb);
  return rc == 0 && warned ? E_IM902 : rc;
}

// ---- LOB parameters of INSERT and UPDATE -------------------------------------------
//
// A parameter that is the whole value of a LOB column becomes EMPTY_CLOB()
// or EMPTY_BLOB() in the statement, whose RETURNING clause hands back the
// new LOBs' locators; the values are written through them after the
// execution.

struct LobBindNode {
  LobBindNode *next;
  uint16_t freeSlots;
  OCILobLocator *slots[kLobNodeSlots];
  ub4 lengths[kLobNodeSlots];
  sb2 indicators[kLobNodeSlots];
  ub2 returnCodes[kLobNodeSlots];
};

namespace {

bool IdentChar(char ch) {
  return (ch >= 'A' && ch <= 'Z') || (ch >= 'a' && ch <= 'z') || (ch >= '0' && ch <= '9') || ch == '_' ||
         ch == '$' || ch == '#' || static_cast<unsigned char>(ch) >= 0x80;
}

bool Blank(char ch) { return ch == ' ' || ch == '\t' || ch == '\r' || ch == '\n'; }

}  // namespace

size_t db_SqlTokens(const char *text, std::vector<SqlToken> *out) {
  out->clear();
  const size_t n = strlen(text);
  size_t i = 0;
  while (i < n) {
    const char ch = text[i];
    if (Blank(ch)) {
      ++i;
      continue;
    }
    SqlToken t{SqlToken::kPunct, i, i + 1, 0};
    if (ch == '-' && text[i + 1] == '-') {
      while (i < n && text[i] != '\n') ++i;
      continue;
    }
    if (ch == '/' && text[i + 1] == '*') {
      const char *e = strstr(text + i + 2, "*/");
      i = e ? static_cast<size_t>(e - text) + 2 : n;
      continue;
    }
    if (ch == '\'') {
      size_t k = i + 1;
      while (k < n) {
        if (text[k] == '\'' && text[k + 1] == '\'') {
          k += 2;
          continue;
        }
        if (text[k++] == '\'') break;
      }
      t = {SqlToken::kLiteral, i, k, 0};
    } else if (ch == '"') {
      const char *e = strchr(text + i + 1, '"');
      t = {SqlToken::kQuoted, i, e ? static_cast<size_t>(e - text) + 1 : n, 0};
    } else if (ch == ':' && text[i + 1] >= '0' && text[i + 1] <= '9') {
      size_t k = i + 1;
      uint32_t num = 0;
      while (k < n && text[k] >= '0' && text[k] <= '9') {
        if (num < 100000) num = num * 10 + static_cast<uint32_t>(text[k] - '0');
        ++k;
      }
      t = {SqlToken::kMarker, i, k, num};
    } else if (IdentChar(ch)) {
      size_t k = i;
      while (k < n && IdentChar(text[k])) ++k;
      t = {SqlToken::kWord, i, k, 0};
    }
    out->push_back(t);
    i = t.end;
  }
  return out->size();
}

namespace {

bool IsWord(const char *text, const SqlToken &t, const char *word) {
  return t.kind == SqlToken::kWord && t.end - t.begin == strlen(word) && strncasecmp(text + t.begin, word, t.end - t.begin) == 0;
}

// A column name as written: the quoted flag, and the name without quotes.
std::string NameOf(const char *text, const SqlToken &t, bool *quoted) {
  *quoted = t.kind == SqlToken::kQuoted;
  if (*quoted) return std::string(text + t.begin + 1, t.end > t.begin + 1 ? t.end - t.begin - 2 : 0);
  return std::string(text + t.begin, t.end - t.begin);
}

// The LOB descriptor named name (quotes compared exactly, else ignoring case).
int FindLobByName(DB_Curs *c, const std::string &name, bool quoted) {
  for (uint16_t i = 0; i < c->resultDescCount; ++i) {
    const char *d = c->resultDescs[i].name;
    if (quoted ? name == d : strcasecmp(name.c_str(), d) == 0) return i;
  }
  return -1;
}

int FindLobByPosition(DB_Curs *c, uint32_t tablePos) {
  for (uint16_t i = 0; i < c->resultDescCount; ++i)
    if (c->resultDescs[i].tablePos == tablePos) return i;
  return -1;
}

// Index of the token closing the parenthesis opened at tokens[open], or
// the token count.
size_t Closing(const std::vector<SqlToken> &tk, const char *text, size_t open) {
  int depth = 0;
  for (size_t k = open; k < tk.size(); ++k) {
    if (tk[k].kind != SqlToken::kPunct) continue;
    if (text[tk[k].begin] == '(') ++depth;
    if (text[tk[k].begin] == ')' && --depth == 0) return k;
  }
  return tk.size();
}

bool Punct(const char *text, const SqlToken &t, char ch) {
  return t.kind == SqlToken::kPunct && text[t.begin] == ch;
}

}  // namespace

// For each marker token, the LOB descriptor it assigns (-1 none). Only a
// marker that is the whole value of a LOB column is a target: one inside
// an expression stays an ordinary parameter.
std::vector<int> db_MarkerTargets(DB_Curs *c, const char *text, const std::vector<SqlToken> &tk) {
  std::vector<int> targets(tk.size(), -1);
  if (tk.size() < 3) return targets;
  if (c->kind == DBCURS_KIND_INSERT) {
    // INSERT INTO name [ ( columns ) ] VALUES ( values )
    size_t k = 2;
    if (k >= tk.size()) return targets;
    ++k;  // the table name (schema-qualified names: name . name)
    while (k + 1 < tk.size() && Punct(text, tk[k], '.')) k += 2;
    std::vector<size_t> columns;
    if (k < tk.size() && Punct(text, tk[k], '(')) {
      const size_t close = Closing(tk, text, k);
      bool expectName = true;
      for (size_t j = k + 1; j < close; ++j) {
        if (Punct(text, tk[j], ',')) {
          expectName = true;
        } else if (expectName) {
          columns.push_back(j);
          expectName = false;
        }
      }
      k = close + 1;
    }
    if (k >= tk.size() || !IsWord(text, tk[k], "VALUES") || k + 1 >= tk.size() || !Punct(text, tk[k + 1], '('))
      return targets;  // INSERT ... SELECT and the like
    const size_t open = k + 1, close = Closing(tk, text, open);
    // Items of the list: [start, end) token ranges at depth 1.
    size_t start = open + 1;
    uint32_t position = 1;
    int depth = 0;
    for (size_t j = open + 1; j <= close && j < tk.size() + 1; ++j) {
      const bool end = j == close || (depth == 0 && j < tk.size() && Punct(text, tk[j], ','));
      if (!end) {
        if (Punct(text, tk[j], '(')) ++depth;
        if (Punct(text, tk[j], ')')) --depth;
        continue;
      }
      if (j == start + 1 && tk[start].kind == SqlToken::kMarker) {
        int target = -1;
        if (columns.empty()) {
          target = FindLobByPosition(c, position);
        } else if (position <= columns.size()) {
          bool quoted = false;
          std::string name = NameOf(text, tk[columns[position - 1]], &quoted);
          target = FindLobByName(c, name, quoted);
          if (target >= 0) c->resultDescs[target].quotedName = quoted;
        }
        targets[start] = target;
      }
      ++position;
      start = j + 1;
      if (j == close) break;
    }
    return targets;
  }
  if (c->kind == DBCURS_KIND_UPDATE) {
    // name = :n, followed by "," or WHERE or the end, at the top level.
    int depth = 0;
    for (size_t j = 0; j < tk.size(); ++j) {
      if (Punct(text, tk[j], '(')) ++depth;
      if (Punct(text, tk[j], ')')) --depth;
      if (depth != 0 || tk[j].kind != SqlToken::kMarker || j < 2 || !Punct(text, tk[j - 1], '=')) continue;
      const bool whole = j + 1 == tk.size() || Punct(text, tk[j + 1], ',') || IsWord(text, tk[j + 1], "WHERE");
      const SqlToken &col = tk[j - 2];
      if (!whole || (col.kind != SqlToken::kWord && col.kind != SqlToken::kQuoted)) continue;
      bool quoted = false;
      std::string name = NameOf(text, col, &quoted);
      const int target = FindLobByName(c, name, quoted);
      if (target >= 0) c->resultDescs[target].quotedName = quoted;
      targets[j] = target;
    }
  }
  return targets;
}

int32_t db_RebuildDMLStmt(DB_Curs *c, const char *text, std::string *out) {
  std::vector<SqlToken> tk;
  db_SqlTokens(text, &tk);
  // A statement that returns values itself keeps its text.
  for (const SqlToken &t : tk)
    if (IsWord(text, t, "RETURNING") || IsWord(text, t, "RETURN")) return 0;
  const std::vector<int> targets = db_MarkerTargets(c, text, tk);
  std::string s;
  size_t copied = 0;
  uint16_t count = 0, replaced = 0;
  for (size_t j = 0; j < tk.size(); ++j) {
    if (tk[j].kind != SqlToken::kMarker) continue;
    ++count;
    s.append(text + copied, tk[j].begin - copied);
    copied = tk[j].end;
    const int target = targets[j];
    if (target >= 0 && c->resultDescs[target].paramNumber == 0) {
      OciColDesc &d = c->resultDescs[target];
      ++replaced;
      // A NULL value stays NULL: its flag (bound per row) is NULL too. The
      // flag takes the marker's own place: OCI binds by the order in which
      // placeholders appear, so every placeholder keeps its marker's number.
      s += "CASE WHEN :" + std::to_string(count) + " IS NULL THEN NULL ELSE ";
      s += d.oraType == SQLT_BLOB ? "EMPTY_BLOB()" : "EMPTY_CLOB()";
      s += " END";
      d.paramNumber = count;
      d.lobOrdinal = replaced;
    } else {
      s += ":" + std::to_string(count);
    }
  }
  s.append(text + copied);
  // Columns no marker assigns are no targets.
  uint16_t kept = 0;
  for (uint16_t i = 0; i < c->resultDescCount; ++i) {
    if (c->resultDescs[i].paramNumber == 0) {
      OciColDesc_FreeBuffer(&c->resultDescs[i]);
      continue;
    }
    if (kept != i) c->resultDescs[kept] = c->resultDescs[i];
    ++kept;
  }
  if (kept < c->resultDescCount) {
    memset(&c->resultDescs[kept], 0, (c->resultDescCount - kept) * sizeof(OciColDesc));
    c->resultDescSpare = static_cast<uint16_t>(c->resultDescSpare + c->resultDescCount - kept);
    c->resultDescCount = kept;
  }
  if (replaced == 0) return 0;
  s += " RETURNING ";
  for (uint16_t ord = 1; ord <= replaced; ++ord) {
    const OciColDesc *d = nullptr;
    for (uint16_t i = 0; i < c->resultDescCount; ++i)
      if (c->resultDescs[i].lobOrdinal == ord) d = &c->resultDescs[i];
    if (!d) {
      LOG(LOG_ERR, "db_RebuildDMLStmt: Couldn't find OciColDesc for LOB.");
      return E_S1000;
    }
    if (ord > 1) s += ", ";
    s += d->quotedName ? std::string("\"") + d->name + "\"" : std::string(d->name);
  }
  s += " INTO ";
  for (uint16_t k = 1; k <= replaced; ++k) {
    if (k > 1) s += ", ";
    s += ":" + std::to_string(count + k);
  }
  *out = std::move(s);
  return 0;
}

namespace {

// The LOB columns of the table: appended to the cursor's result descriptors.
int32_t TableLobColumns(DB_Curs *c, OCIParam *list, ub2 columns) {
  OCIError *errhp = c->err->errhp;
  for (ub2 pos = 1; pos <= columns; ++pos) {
    void *col = nullptr;
    sword st = OCIParamGet(list, OCI_DTYPE_PARAM, errhp, &col, pos);
    if (!db_OciOk(st)) {
      LOG(LOG_ERR, "db_Check4LOBParams: OCIAttrGet(OCI_ATTR_DATA_TYPE) failed.");
      return db_OciFail(st, Errs(c), c->err);
    }
    ub2 type = 0;
    st = OCIAttrGet(col, OCI_DTYPE_PARAM, &type, nullptr, OCI_ATTR_DATA_TYPE, errhp);
    if (db_OciOk(st) && type != SQLT_CLOB && type != SQLT_BLOB) continue;
    OraText *name = nullptr;
    ub4 nameLen = 0;
    ub1 form = 0;
    if (db_OciOk(st)) st = OCIAttrGet(col, OCI_DTYPE_PARAM, &name, &nameLen, OCI_ATTR_NAME, errhp);
    if (db_OciOk(st)) st = OCIAttrGet(col, OCI_DTYPE_PARAM, &form, nullptr, OCI_ATTR_CHARSET_FORM, errhp);
    if (!db_OciOk(st)) {
      LOG(LOG_ERR, "db_Check4LOBParams: db_TblColDescGet() failed");
      return db_OciFail(st, Errs(c), c->err);
    }
    if (c->resultDescSpare == 0) {
      if (int32_t rc = db_ResultDescsGrow(c, 10)) return rc;
    }
    OciColDesc &d = c->resultDescs[c->resultDescCount++];
    --c->resultDescSpare;
    memset(&d, 0, sizeof d);
    if (nameLen >= kOciColNameSize) nameLen = kOciColNameSize - 1;
    if (name) memcpy(d.name, name, nameLen);
    d.name[nameLen] = '\0';
    d.oraType = type;
    d.extType = static_cast<int16_t>(type);
    d.charsetForm = form;
    d.tablePos = pos;
    d.lobRow = -1;
  }
  return 0;
}

}  // namespace

int32_t db_Check4LOBParams(DB_Curs *c, const char *text, std::string *rebuilt) {
  rebuilt->clear();
  db_ResultDescsFree(c);
  std::vector<SqlToken> tk;
  db_SqlTokens(text, &tk);
  size_t k = 0;
  if (tk.size() > 2 && IsWord(text, tk[0], "INSERT") && IsWord(text, tk[1], "INTO"))
    k = 2;
  else if (tk.size() > 1 && IsWord(text, tk[0], "UPDATE"))
    k = 1;
  else
    return E_S1000;
  // The table name, possibly schema-qualified.
  size_t end = k + 1;
  while (end + 1 < tk.size() && Punct(text, tk[end], '.')) end += 2;
  if (tk[k].kind != SqlToken::kWord && tk[k].kind != SqlToken::kQuoted) return 0;
  const std::string name(text + tk[k].begin, tk[end - 1].end - tk[k].begin);

  // A describe handle, which OCI makes with OCIHandleAlloc (it is no descriptor).
  OCIDescribe *dsc = nullptr;
  sword st = OCIHandleAlloc(c->conn->env, reinterpret_cast<void **>(&dsc), OCI_HTYPE_DESCRIBE, 0, nullptr);
  if (!db_OciOk(st)) {
    LOG(LOG_ERR, "db_Check4LOBParams: OCIHandleAlloc(OCI_HTYPE_DESCRIBE) failed.");
    return E_S1001;
  }
  OCIError *errhp = c->err->errhp;
  auto *obj = const_cast<char *>(name.c_str());
  const ub4 len = static_cast<ub4>(name.size());
  st = OCIDescribeAny(c->conn->svc, errhp, obj, len, OCI_OTYPE_NAME, OCI_DEFAULT, OCI_PTYPE_TABLE, dsc);
  if (!db_OciOk(st))
    st = OCIDescribeAny(c->conn->svc, errhp, obj, len, OCI_OTYPE_NAME, OCI_DEFAULT, OCI_PTYPE_VIEW, dsc);
  int32_t rc = 0;
  if (db_OciOk(st)) {
    OCIParam *parm = nullptr, *list = nullptr;
    ub2 columns = 0;
    const char *failed = nullptr;
    st = OCIAttrGet(dsc, OCI_HTYPE_DESCRIBE, &parm, nullptr, OCI_ATTR_PARAM, errhp);
    if (!db_OciOk(st)) failed = "db_Check4LOBParams: OCIAttrGet(OCI_ATTR_PARAM) failed.";
    if (!failed && !db_OciOk((st = OCIAttrGet(parm, OCI_DTYPE_PARAM, &columns, nullptr, OCI_ATTR_NUM_COLS, errhp))))
      failed = "db_Check4LOBParams: OCIAttrGet(OCI_ATTR_NUM_COLS) failed.";
    if (!failed &&
        !db_OciOk((st = OCIAttrGet(parm, OCI_DTYPE_PARAM, &list, nullptr, OCI_ATTR_LIST_COLUMNS, errhp))))
      failed = "db_Check4LOBParams: OCIAttrGet(OCI_ATTR_LIST_COLUMNS) failed.";
    if (failed) {
      LOG(LOG_ERR, "%s", failed);
      rc = db_OciFail(st, Errs(c), c->err);
    }
    if (rc == 0) rc = TableLobColumns(c, list, columns);
    if (rc == 0 && c->resultDescCount > 0) rc = db_RebuildDMLStmt(c, text, rebuilt);
  }
  // A synonym or anything else that is neither table nor view keeps its text.
  OCIHandleFree(dsc, OCI_HTYPE_DESCRIBE);
  if (rc != 0 || rebuilt->empty()) db_ResultDescsFree(c);
  return rc;
}

// ---- Binding the returned locators -------------------------------------------------

namespace {

sb4 cbf_in_null(void *, OCIBind *, ub4, ub4, void **bufpp, ub4 *alenp, ub1 *piecep, void **indpp) {
  static sb2 null = -1;
  *bufpp = nullptr;
  *alenp = 0;
  *piecep = OCI_ONE_PIECE;
  *indpp = &null;
  return OCI_CONTINUE;
}

sb4 cbf_get_data(void *octxp, OCIBind *, ub4, ub4, void **bufpp, ub4 **alenp, ub1 *piecep, void **indpp,
                 ub2 **rcodepp) {
  auto *rec = static_cast<DbLobBindNodes *>(octxp);
  LobBindNode *last = rec->chain;
  while (last && last->next) last = last->next;
  if (!last || last->freeSlots == 0) {
    auto *node = static_cast<LobBindNode *>(calloc(1, sizeof(LobBindNode)));
    if (!node) return OCI_ERROR;
    node->freeSlots = kLobNodeSlots;
    (last ? last->next : rec->chain) = node;
    last = node;
  }
  const uint16_t k = static_cast<uint16_t>(kLobNodeSlots - last->freeSlots);
  // A slot without a locator is never handed out: the execution fails.
  if (!db_OciOk(OCIDescriptorAlloc(rec->owner->conn->env, reinterpret_cast<void **>(&last->slots[k]),
                                   OCI_DTYPE_LOB, 0, nullptr))) {
    LOG(LOG_ERR, "cbf_get_data: OCIDescriptorAlloc() failed.");
    last->slots[k] = nullptr;
    return OCI_ERROR;
  }
  --last->freeSlots;
  last->lengths[k] = sizeof(OCILobLocator *);
  *bufpp = &last->slots[k];
  *alenp = &last->lengths[k];
  *piecep = OCI_ONE_PIECE;
  *indpp = &last->indicators[k];
  *rcodepp = &last->returnCodes[k];
  return OCI_CONTINUE;
}

}  // namespace

void LobBindNode_FreeChain(LobBindNode *chain) {
  while (chain) {
    LobBindNode *next = chain->next;
    for (uint16_t k = 0; k < kLobNodeSlots - chain->freeSlots; ++k)
      if (chain->slots[k]) OCIDescriptorFree(chain->slots[k], OCI_DTYPE_LOB);
    free(chain);
    chain = next;
  }
}

void db_LOBNodesReset(DB_Curs *c) {
  for (uint16_t i = 0; i < c->lobNodeCount; ++i) {
    LobBindNode_FreeChain(c->lobNodes[i].chain);
    c->lobNodes[i].chain = nullptr;
  }
}

int32_t db_BindLOBReturning(DB_Curs *c, uint16_t ordinary, const Dataset *params, uint32_t row) {
  const uint16_t n = c->resultDescCount;
  if (n == 0) return 0;
  if (!c->lobBinds || c->lobBindCount < n) {
    free(c->lobBinds);
    c->lobBinds = static_cast<OCIBind **>(calloc(n, sizeof(OCIBind *)));
    c->lobBindCount = c->lobBinds ? n : 0;
  }
  if (!c->lobNodes || c->lobNodeCount < n) {
    db_LOBNodesReset(c);
    free(c->lobNodes);
    c->lobNodes = static_cast<DbLobBindNodes *>(calloc(n, sizeof(DbLobBindNodes)));
    c->lobNodeCount = c->lobNodes ? n : 0;
  }
  if (!c->lobBinds || !c->lobNodes) return E_S1001;
  OCIError *errhp = c->err->errhp;
  for (uint16_t i = 0; i < n; ++i) {
    const OciColDesc *d = nullptr;
    for (uint16_t j = 0; j < n; ++j)
      if (c->resultDescs[j].lobOrdinal == i + 1) d = &c->resultDescs[j];
    if (!d) return E_S1000;
    DbLobBindNodes &rec = c->lobNodes[i];
    LobBindNode_FreeChain(rec.chain);
    rec = DbLobBindNodes{c, static_cast<int16_t>(d->oraType), nullptr, nullptr, 0};
    // The flag says whether this row's value is NULL.
    if (d->paramNumber > params->columns || static_cast<int32_t>(row) >= params->rows) return E_S1000;
    rec.flagInd = params->cols[d->paramNumber - 1].indicators[row] == kIndNull ? -1 : 0;
    static char kFlag[] = "1";
    sword st = OCIBindByPos(c->stmt, &rec.flagBind, errhp, static_cast<ub4>(d->paramNumber), kFlag, 1, SQLT_CHR,
                            &rec.flagInd, nullptr, nullptr, 0, nullptr, OCI_DEFAULT);
    if (db_OciOk(st))
      st = OCIBindByPos(c->stmt, &c->lobBinds[i], errhp, static_cast<ub4>(ordinary + n + 1 + i), nullptr, 8,
                        d->oraType, nullptr, nullptr, nullptr, 0, nullptr, OCI_DATA_AT_EXEC);
    if (db_OciOk(st) && d->charsetForm == SQLCS_NCHAR) {
      ub1 form = SQLCS_NCHAR;
      st = OCIAttrSet(c->lobBinds[i], OCI_HTYPE_BIND, &form, 0, OCI_ATTR_CHARSET_FORM, errhp);
    }
    if (db_OciOk(st)) st = OCIBindDynamic(c->lobBinds[i], errhp, &rec, cbf_in_null, &rec, cbf_get_data);
    if (!db_OciOk(st)) {
      LOG(LOG_ERR, "db_BindLOBReturning: binding the LOB locators failed");
      return db_OciFail(st, Errs(c), c->err);
    }
  }
  return 0;
}

// ---- Writing the values ---------------------------------------------------------------

int32_t db_LOBDataCellPut(DB_Curs *c, const OciColDesc *d, OCILobLocator *loc, const unsigned char *cell,
                          int32_t type, uint32_t elemSize) {
  const unsigned char *data = cell;
  uint64_t len = 0;  // bytes, or UTF-16 units for the wide types
  bool wide = false;
  auto lenAt = [&](int bytes) {
    uint32_t v = 0;
    memcpy(&v, cell, static_cast<size_t>(bytes));
    data = cell + bytes;
    return static_cast<uint64_t>(v);
  };
  switch (type) {
    case VT_CHAR:
    case VT_STRING: len = strnlen(reinterpret_cast<const char *>(cell), elemSize); break;
    case VT_BINARY: len = elemSize; break;
    case VT_VARCHAR1: case VT_VARBIN1: len = lenAt(1); break;
    case VT_VARCHAR2: case VT_VARBIN2: len = lenAt(2); break;
    case VT_VARCHAR4: case VT_VARBIN4: len = lenAt(4); break;
    case VT_LONGCHAR:
    case VT_LONGBINARY:
    case VT_LONGWCHAR: {
      LongValue lv{};
      memcpy(&lv, cell, sizeof lv);
      data = static_cast<const unsigned char *>(lv.buffer);
      len = lv.buffer ? lv.length : 0;
      wide = type == VT_LONGWCHAR;
      break;
    }
    case VT_WCHAR:
    case VT_WSTRING: {
      wide = true;
      const uint32_t units = elemSize / 2;
      while (len < units) {
        uint16_t u;
        memcpy(&u, cell + 2 * len, 2);
        if (u == 0) break;
        ++len;
      }
      break;
    }
    case VT_WVARCHAR4: wide = true; len = lenAt(4); break;
    default:
      LOG(LOG_ERR, "db_LOBDataCellPut: Unsupported data type conversion.");
      return E_S1000;
  }
  if (len == 0) return 0;
  const uint64_t bytes = wide ? len * 2 : len;
  if (bytes > 0xFFFFFFFFu) return E_S1000;
  // A narrow CLOB's amount counts its characters as OCI does (UTF-16 units).
  ub4 amount = static_cast<ub4>(wide ? len : d->oraType == SQLT_CLOB ? db_Utf16UnitsOfUtf8(data, len) : len);
  sword st = OCILobWrite(c->conn->svc, c->err->errhp, loc, &amount, 1, const_cast<unsigned char *>(data),
                         static_cast<ub4>(bytes), OCI_ONE_PIECE, nullptr, nullptr, wide ? OCI_UTF16ID : 0,
                         d->charsetForm ? d->charsetForm : SQLCS_IMPLICIT);
  if (st != OCI_SUCCESS && st != OCI_SUCCESS_WITH_INFO) {
    LOG(LOG_ERR, "db_LOBDataCellPut: OCILobWrite() failed");
    return db_OciFail(st, Errs(c), c->err);
  }
  return 0;
}

int32_t db_LOBPutCells(DB_Curs *c, const Dataset *params, uint32_t row) {
  for (uint16_t i = 0; i < c->resultDescCount; ++i) {
    const OciColDesc &d = c->resultDescs[i];
    if (d.paramNumber == 0 || d.lobOrdinal == 0 || d.lobOrdinal > c->lobNodeCount) continue;
    if (d.paramNumber > params->columns || static_cast<int32_t>(row) >= params->rows) return E_S1000;
    const DatasetCol &col = params->cols[d.paramNumber - 1];
    if (col.indicators[row] == kIndNull) continue;
    const unsigned char *cell = col.values + static_cast<size_t>(row) * col.size;
    // Every locator the execution handed out: one per inserted or updated row.
    for (LobBindNode *node = c->lobNodes[d.lobOrdinal - 1].chain; node; node = node->next)
      for (uint16_t k = 0; k < kLobNodeSlots - node->freeSlots; ++k) {
        if (!node->slots[k] || node->indicators[k] == -1) continue;
        if (int32_t rc = db_LOBDataCellPut(c, &d, node->slots[k], cell, col.type, col.size)) return rc;
      }
  }
  return 0;
}
