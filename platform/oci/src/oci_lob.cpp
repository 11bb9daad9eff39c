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
  size_t u = 0;
  for (size_t i = 0; i < n; ++i) {
    auto b = static_cast<unsigned char>(s[i]);
    if ((b & 0xC0) != 0x80) u += units_of_lead(b);
  }
  return u;
}

// Byte offset of the UTF-16 unit at index ch (0-based) in UTF-8 text; an
// index inside a surrogate pair gives the character after it.
size_t byte_of_char(const std::string& s, size_t ch, size_t from_char = 0, size_t from_byte = 0,
                    size_t* reached = nullptr) {
  size_t i = from_byte, c = from_char;
  while (i < s.size() && c < ch) {
    c += units_of_lead(static_cast<unsigned char>(s[i]));
    ++i;
    while (i < s.size() && (static_cast<unsigned char>(s[i]) & 0xC0) == 0x80) ++i;
  }
  if (reached) *reached = c;
  return i;
}

// The same, starting from where the last read of the locator ended when that
// is not past the character (chunked reads go forward).
size_t lob_byte_of_char(Lob* lob, size_t ch) {
  if (lob->ascii < 0) {
    lob->ascii = 1;
    for (char c : lob->data)
      if (static_cast<unsigned char>(c) >= 0x80) {
        lob->ascii = 0;
        break;
      }
  }
  if (lob->ascii) return std::min(ch, lob->data.size());
  size_t reached = 0;
  size_t b = lob->hint_char <= ch ? byte_of_char(lob->data, ch, lob->hint_char, lob->hint_byte, &reached)
                                  : byte_of_char(lob->data, ch, 0, 0, &reached);
  lob->hint_char = reached;
  lob->hint_byte = b;
  return b;
}

const std::vector<ub2>& lob_u16(Lob* lob) {
  if (!lob->u16_ok) {
    size_t need = 0;
    utf8_to_utf16(lob->data.data(), lob->data.size(), nullptr, 0, &need);
    lob->u16.resize(need);
    utf8_to_utf16(lob->data.data(), lob->data.size(), lob->u16.data(), need, nullptr);
    lob->u16_ok = true;
  }
  return lob->u16;
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
  *lenp = static_cast<ub4>(is_clob(lob) ? u16_count(lob->data.data(), lob->data.size())
                                        : lob->data.size());
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
    const std::vector<ub2>& all = lob_u16(lob);
    size_t need = all.size();
    size_t from = offset - 1;
    if (from >= need) return f;
    size_t n = need - from;
    if (want && want < n) n = want;
    if (n > bufl / 2) n = bufl / 2;
    std::memcpy(out, all.data() + from, n * 2);
    *amtp = static_cast<ub4>(n);
    return f;
  }
  // UTF-8: offsets count characters, the amount read is in bytes.
  size_t from = lob_byte_of_char(lob, offset - 1);
  if (from >= lob->data.size()) return f;
  size_t end = lob->data.size();
  if (want) {
    // Counted on from the start, so that the next read finds its start
    // where the hint is.
    size_t chars_end = lob->ascii ? std::min<size_t>(from + want, end)
                                  : byte_of_char(lob->data, offset - 1 + want, lob->hint_char, from);
    if (chars_end < end) end = chars_end;
  }
  size_t n = end - from;
  if (n > bufl) {
    n = bufl;
    while (n > 0 && (static_cast<unsigned char>(lob->data[from + n]) & 0xC0) == 0x80) --n;
  }
  std::memcpy(out, lob->data.data() + from, n);
  *amtp = static_cast<ub4>(n);
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
