// LOB locators. A fetched locator holds the value it was read with; CLOB
// lengths, offsets and amounts count UTF-16 units, as Oracle counts them (a
// character beyond the basic plane is two), BLOB ones bytes. Writes change the locator's value (a temporary LOB) and, when
// the locator knows its row, the row as well.
#include <cstring>

#include "oci_int.h"

namespace ocl {

namespace {

bool is_clob(const Lob* l) { return l->lobtype != SQLT_BLOB; }

// UTF-16 units of the UTF-8 character starting with byte b.
size_t units_of_lead(unsigned char b) { return b >= 0xF0 ? 2 : 1; }

// UTF-16 units of UTF-8 text.
size_t u16_count(const char* s, size_t n) {
  const auto* p = reinterpret_cast<const unsigned char*>(s);
  size_t u = 0;
  for (size_t i = 0; i < n; ++i) u += ((p[i] & 0xC0) != 0x80) + (p[i] >= 0xF0);
  return u;
}

bool is_cont(char c) { return (static_cast<unsigned char>(c) & 0xC0) == 0x80; }

// Byte after the character starting at byte i.
size_t next_char(const std::string& s, size_t i) {
  ++i;
  while (i < s.size() && is_cont(s[i])) ++i;
  return i;
}

// Byte offset of the UTF-16 unit at index ch (0-based) in UTF-8 text; an
// index inside a surrogate pair gives the character after it.
size_t byte_of_char(const std::string& s, size_t ch) {
  size_t i = 0, c = 0;
  while (i < s.size() && c < ch) {
    c += units_of_lead(static_cast<unsigned char>(s[i]));
    i = next_char(s, i);
  }
  return i;
}

// Whether the value is plain ASCII and its length in UTF-16 units, found in
// one pass once per value.
void lob_scan(Lob* lob) {
  const auto* p = reinterpret_cast<const unsigned char*>(lob->data.data());
  const size_t n = lob->data.size();
  size_t u = 0;
  unsigned high = 0;
  for (size_t i = 0; i < n; ++i) {
    u += ((p[i] & 0xC0) != 0x80) + (p[i] >= 0xF0);
    high |= p[i];
  }
  lob->units = u;
  lob->ascii = high < 0x80;
}

bool lob_ascii(Lob* lob) {
  if (lob->ascii < 0) lob_scan(lob);
  return lob->ascii != 0;
}

// Length of a CLOB in UTF-16 units.
size_t lob_units(Lob* lob) {
  if (lob->units == SIZE_MAX) lob_scan(lob);
  return lob->units;
}

// Moves the cursor to the character holding UTF-16 unit `unit` (0-based), on
// from where it is, or from the start for a unit before it: chunked reads go
// forward, so each character is passed once. True when the unit is the
// second half of the surrogate pair at the cursor.
bool lob_seek(Lob* lob, size_t unit) {
  const std::string& s = lob->data;
  if (lob_ascii(lob)) {
    lob->cur_unit = lob->cur_byte = std::min(unit, s.size());
    return false;
  }
  if (lob->cur_unit > unit) lob->cur_unit = lob->cur_byte = 0;
  size_t i = lob->cur_byte, c = lob->cur_unit;
  while (i < s.size()) {
    const size_t u = units_of_lead(static_cast<unsigned char>(s[i]));
    if (c + u > unit) break;
    c += u;
    i = next_char(s, i);
  }
  lob->cur_unit = c;
  lob->cur_byte = i;
  return i < s.size() && c < unit;
}

void put_unit(char* out, size_t at, ub2 u) { std::memcpy(out + 2 * at, &u, 2); }

// The UTF-16 units of the character in bytes [p, p + n): the usual forms
// here, anything else as the general converter reads it.
size_t decode_char(const unsigned char* p, size_t n, ub2 out[2]) {
  if (n == 2 && p[0] >= 0xC2 && p[0] < 0xE0) {
    out[0] = static_cast<ub2>(((p[0] & 0x1F) << 6) | (p[1] & 0x3F));
    return 1;
  }
  if (n == 3 && p[0] >= 0xE0 && p[0] < 0xF0) {
    const unsigned cp = ((p[0] & 0x0Fu) << 12) | ((p[1] & 0x3Fu) << 6) | (p[2] & 0x3Fu);
    if (cp >= 0x800 && (cp < 0xD800 || cp > 0xDFFF)) {
      out[0] = static_cast<ub2>(cp);
      return 1;
    }
  }
  if (n == 4 && p[0] >= 0xF0 && p[0] < 0xF5) {
    const unsigned cp = ((p[0] & 0x07u) << 18) | ((p[1] & 0x3Fu) << 12) | ((p[2] & 0x3Fu) << 6) | (p[3] & 0x3Fu);
    if (cp >= 0x10000 && cp <= 0x10FFFF) {
      out[0] = static_cast<ub2>(0xD800 + ((cp - 0x10000) >> 10));
      out[1] = static_cast<ub2>(0xDC00 + ((cp - 0x10000) & 0x3FF));
      return 2;
    }
  }
  return utf8_to_utf16(reinterpret_cast<const char*>(p), n, out, 2, nullptr);
}

// A CLOB read as UTF-8 from unit `unit`: whole characters, at most `want`
// UTF-16 units of them (0: no limit) and bufl bytes. An offset inside a
// surrogate pair starts at the character after it. The byte count read.
size_t read_utf8(Lob* lob, size_t unit, size_t want, char* out, size_t bufl) {
  const std::string& s = lob->data;
  if (lob_seek(lob, unit)) {
    lob->cur_unit += 2;
    lob->cur_byte = next_char(s, lob->cur_byte);
  }
  const size_t from = lob->cur_byte;
  if (from >= s.size()) return 0;
  // As many whole characters as the buffer takes; fewer only when they are
  // more units than asked for.
  size_t end = std::min(s.size(), from + bufl);
  while (end > from && end < s.size() && is_cont(s[end])) --end;
  size_t used = lob->ascii ? end - from : u16_count(s.data() + from, end - from);
  if (want && used > want) {
    end = from;
    used = 0;
    while (end < s.size() && used < want) {
      const size_t next = next_char(s, end);
      if (next - from > bufl) break;
      used += units_of_lead(static_cast<unsigned char>(s[end]));
      end = next;
    }
  }
  std::memcpy(out, s.data() + from, end - from);
  lob->cur_unit += used;
  lob->cur_byte = end;
  return end - from;
}

// A CLOB read as UTF-16 from unit `unit`: at most `cap` units, converted from
// the cursor on. Units are units: a pair may be cut at either end, its other
// half coming with the next read. The units read.
size_t read_utf16(Lob* lob, size_t unit, size_t cap, char* out) {
  const std::string& s = lob->data;
  const bool inside = lob_seek(lob, unit);
  size_t i = lob->cur_byte, w = 0;
  if (i >= s.size() || cap == 0) return 0;
  const auto* p = reinterpret_cast<const unsigned char*>(s.data());
  if (lob->ascii) {
    const size_t n = std::min(cap, s.size() - i);
    for (size_t k = 0; k < n; ++k) put_unit(out, k, p[i + k]);
    lob->cur_unit = lob->cur_byte = i + n;
    return n;
  }
  size_t c = lob->cur_unit;
  while (i < s.size() && w < cap) {
    if (p[i] < 0x80) {
      put_unit(out, w++, p[i++]);
      ++c;
      continue;
    }
    const size_t next = next_char(s, i);
    ub2 pair[2] = {0, 0};
    const size_t got = decode_char(p + i, next - i, pair);
    if (got == 2 && (inside && i == lob->cur_byte)) {
      put_unit(out, w++, pair[1]);  // the pair's second half, asked for alone
    } else if (got == 2 && w + 2 > cap) {
      put_unit(out, w++, pair[0]);  // no room for the second half: it comes next
      break;
    } else {
      for (size_t k = 0; k < got; ++k) put_unit(out, w++, pair[k]);
    }
    c += units_of_lead(p[i]);
    i = next;
  }
  lob->cur_unit = c;
  lob->cur_byte = i;
  return w;
}

// Writes the value back to its row.
int persist(SvcCtx* svc, Lob* lob, Error* e) {
  if (!lob->located) return 0;
  Session* s = svc_session(svc);
  if (!s) return err_set(e, 1012), 1012;
  CallScope call(s);
  DlError d;
  if (be_begin(s->conn, &d)) return err_from(e, d), d.code;
  std::string schema = lob->schema.empty() ? "main" : lob->schema;
  std::string sql = "UPDATE \"" + schema + "\".\"" + lob->table + "\" SET \"" + lob->column +
                    "\" = ?1 WHERE rowid = ?2";
  BeStmt* st = nullptr;
  if (be_prepare(s->conn, sql, &st, &d)) return err_from(e, d), d.code;
  BeValue v;
  v.type = is_clob(lob) ? BE_TEXT : BE_BLOB;
  v.p = lob->data.data();
  v.n = lob->data.size();
  BeValue r;
  r.type = BE_INT;
  r.i = lob->rowid;
  int rc = be_bind(st, 1, v, &d);
  if (!rc) rc = be_bind(st, 2, r, &d);
  if (!rc) rc = be_step(st, &d) < 0 ? d.code : 0;
  be_finalize(st);
  if (rc) return err_from(e, d), rc;
  return 0;
}

}  // namespace

}  // namespace ocl

using namespace ocl;

static sword lob_get_length_work(OCISvcCtx* svchp, OCIError* errhp, OCILobLocator* locp, ub4* lenp) {
  SvcCtx* svc = as<SvcCtx>(svchp, OCI_HTYPE_SVCCTX);
  Error* e = as<Error>(errhp, OCI_HTYPE_ERROR);
  Lob* lob = as<Lob>(locp, OCI_DTYPE_LOB);
  if (!svc || !e || !lob) return OCI_INVALID_HANDLE;
  err_clear(e);
  if (!lob->init) return err_set(e, 22275);
  if (!lenp) return err_set(e, 24328);
  *lenp = static_cast<ub4>(is_clob(lob) ? lob_units(lob) : lob->data.size());
  return OCI_SUCCESS;
}

OCI_EXPORT sword OCILobGetLength(OCISvcCtx* svchp, OCIError* errhp, OCILobLocator* locp, ub4* lenp) {
  return with_fault(OCILITE_T_LOB_LENGTH, as<Error>(errhp, OCI_HTYPE_ERROR), [&] {
    return lob_get_length_work(svchp, errhp, locp, lenp);
  });
}

OCI_EXPORT sword OCILobRead(OCISvcCtx* svchp, OCIError* errhp, OCILobLocator* locp, ub4* amtp,
                            ub4 offset, void* bufp, ub4 bufl, void* ctxp, OCICallbackLobRead cbfp,
                            ub2 csid, ub1 csfrm) {
  SvcCtx* svc = as<SvcCtx>(svchp, OCI_HTYPE_SVCCTX);
  Error* e = as<Error>(errhp, OCI_HTYPE_ERROR);
  Lob* lob = as<Lob>(locp, OCI_DTYPE_LOB);
  if (!svc || !e || !lob) return OCI_INVALID_HANDLE;
  err_clear(e);
  sword f = fault_check(OCILITE_T_LOB_READ, e);
  if (f == OCI_ERROR) return f;
  if (!lob->init) return err_set(e, 22275);
  if (!amtp || !bufp || offset == 0) return err_set(e, 24328);
  ub4 want = *amtp;
  *amtp = 0;
  auto* out = static_cast<char*>(bufp);
  // The piece to hand out: [from, to) of the value in the unit of the read.
  if (!is_clob(lob)) {
    size_t from = offset - 1;
    if (from >= lob->data.size()) return f;
    size_t n = lob->data.size() - from;
    if (want && want < n) n = want;
    if (!cbfp) {
      if (n > bufl) n = bufl;
      std::memcpy(out, lob->data.data() + from, n);
      *amtp = static_cast<ub4>(n);
      return f;
    }
    size_t done = 0;
    while (done < n) {
      size_t k = std::min<size_t>(bufl, n - done);
      std::memcpy(out, lob->data.data() + from + done, k);
      done += k;
      ub1 piece = done == k ? (done == n ? OCI_ONE_PIECE : OCI_FIRST_PIECE)
                            : (done == n ? OCI_LAST_PIECE : OCI_NEXT_PIECE);
      if (cbfp(ctxp, out, static_cast<ub4>(k), piece) != OCI_CONTINUE) break;
    }
    *amtp = static_cast<ub4>(done);
    return f;
  }
  if (csid == OCI_UTF16ID) {
    size_t cap = bufl / 2;
    if (want && want < cap) cap = want;
    *amtp = static_cast<ub4>(read_utf16(lob, offset - 1, cap, out));
    return f;
  }
  // UTF-8: offsets count characters, the amount read is in bytes.
  *amtp = static_cast<ub4>(read_utf8(lob, offset - 1, want, out, bufl));
  return f;
}

OCI_EXPORT sword OCILobWrite(OCISvcCtx* svchp, OCIError* errhp, OCILobLocator* locp, ub4* amtp,
                             ub4 offset, void* bufp, ub4 buflen, ub1 piece, void* ctxp,
                             OCICallbackLobWrite cbfp, ub2 csid, ub1 csfrm) {
  SvcCtx* svc = as<SvcCtx>(svchp, OCI_HTYPE_SVCCTX);
  Error* e = as<Error>(errhp, OCI_HTYPE_ERROR);
  Lob* lob = as<Lob>(locp, OCI_DTYPE_LOB);
  if (!svc || !e || !lob) return OCI_INVALID_HANDLE;
  err_clear(e);
  sword f = fault_check(OCILITE_T_LOB_WRITE, e);
  if (f == OCI_ERROR) return f;
  if (!amtp || (!bufp && buflen) || offset == 0) return err_set(e, 24328);
  if (piece != OCI_ONE_PIECE || cbfp) return err_set(e, 3001);
  // The amount counts bytes of a BLOB and characters of a CLOB (UTF-16 units
  // with character set 1000); the buffer length bounds it.
  ub4 amount = *amtp;
  std::string in;
  if (is_clob(lob) && csid == OCI_UTF16ID) {
    size_t units = buflen / 2;
    if (amount && amount < units) units = amount;
    size_t need = 0;
    utf16_to_utf8(static_cast<const ub2*>(bufp), units, nullptr, 0, &need);
    in.resize(need);
    utf16_to_utf8(static_cast<const ub2*>(bufp), units, in.data(), need, nullptr);
  } else if (is_clob(lob)) {
    size_t n = buflen;
    if (amount) n = std::min<size_t>(n, byte_of_char(std::string(static_cast<const char*>(bufp), buflen), amount));
    in.assign(static_cast<const char*>(bufp), n);
  } else {
    in.assign(static_cast<const char*>(bufp), amount ? std::min(amount, buflen) : buflen);
  }
  if (!lob->init) {
    lob->init = true;
    lob->data.clear();
  }
  lob->changed();
  size_t at;
  if (is_clob(lob)) {
    size_t chars = u16_count(lob->data.data(), lob->data.size());
    if (offset - 1 > chars) lob->data.append(offset - 1 - chars, ' ');
    at = byte_of_char(lob->data, offset - 1);
    size_t old_end = byte_of_char(lob->data, offset - 1 + u16_count(in.data(), in.size()));
    lob->data.replace(at, old_end - at, in);
    size_t units = 0;
    if (csid == OCI_UTF16ID) utf8_to_utf16(in.data(), in.size(), nullptr, 0, &units);
    *amtp = static_cast<ub4>(csid == OCI_UTF16ID ? units : u16_count(in.data(), in.size()));
  } else {
    at = offset - 1;
    if (at > lob->data.size()) lob->data.resize(at, '\0');
    size_t old_end = std::min(lob->data.size(), at + in.size());
    lob->data.replace(at, old_end - at, in);
    *amtp = static_cast<ub4>(in.size());
  }
  if (persist(svc, lob, e)) return OCI_ERROR;
  return f;
}

static sword lob_trim_work(OCISvcCtx* svchp, OCIError* errhp, OCILobLocator* locp, ub4 newlen) {
  SvcCtx* svc = as<SvcCtx>(svchp, OCI_HTYPE_SVCCTX);
  Error* e = as<Error>(errhp, OCI_HTYPE_ERROR);
  Lob* lob = as<Lob>(locp, OCI_DTYPE_LOB);
  if (!svc || !e || !lob) return OCI_INVALID_HANDLE;
  err_clear(e);
  if (!lob->init) return err_set(e, 22275);
  size_t cut = is_clob(lob) ? byte_of_char(lob->data, newlen) : std::min<size_t>(newlen, lob->data.size());
  lob->data.resize(cut);
  lob->changed();
  if (persist(svc, lob, e)) return OCI_ERROR;
  return OCI_SUCCESS;
}

OCI_EXPORT sword OCILobTrim(OCISvcCtx* svchp, OCIError* errhp, OCILobLocator* locp, ub4 newlen) {
  return with_fault(OCILITE_T_LOB_TRIM, as<Error>(errhp, OCI_HTYPE_ERROR), [&] {
    return lob_trim_work(svchp, errhp, locp, newlen);
  });
}

static sword lob_char_set_form_work(OCIEnv* envhp, OCIError* errhp, const OCILobLocator* locp,
                                    ub1* csfrm) {
  Error* e = as<Error>(errhp, OCI_HTYPE_ERROR);
  Lob* lob = as<Lob>(locp, OCI_DTYPE_LOB);
  if (!as<Env>(envhp, OCI_HTYPE_ENV) || !e || !lob) return OCI_INVALID_HANDLE;
  err_clear(e);
  if (csfrm) *csfrm = is_clob(lob) ? lob->csform : 0;
  return OCI_SUCCESS;
}

OCI_EXPORT sword OCILobCharSetForm(OCIEnv* envhp, OCIError* errhp, const OCILobLocator* locp,
                                   ub1* csfrm) {
  return with_fault(OCILITE_T_LOB_CHARSET, as<Error>(errhp, OCI_HTYPE_ERROR), [&] {
    return lob_char_set_form_work(envhp, errhp, locp, csfrm);
  });
}

static sword lob_char_set_id_work(OCIEnv* envhp, OCIError* errhp, const OCILobLocator* locp,
                                  ub2* csid) {
  Env* env = as<Env>(envhp, OCI_HTYPE_ENV);
  Error* e = as<Error>(errhp, OCI_HTYPE_ERROR);
  Lob* lob = as<Lob>(locp, OCI_DTYPE_LOB);
  if (!env || !e || !lob) return OCI_INVALID_HANDLE;
  err_clear(e);
  if (csid) *csid = !is_clob(lob) ? 0 : lob->csform == SQLCS_NCHAR ? env->ncharset : env->charset;
  return OCI_SUCCESS;
}

OCI_EXPORT sword OCILobCharSetId(OCIEnv* envhp, OCIError* errhp, const OCILobLocator* locp,
                                 ub2* csid) {
  return with_fault(OCILITE_T_LOB_CHARSET, as<Error>(errhp, OCI_HTYPE_ERROR), [&] {
    return lob_char_set_id_work(envhp, errhp, locp, csid);
  });
}
