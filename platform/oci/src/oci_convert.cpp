// Value conversion between the stored values and OCI's external data types:
// put_value writes a fetched value into a define (or output bind) buffer,
// get_value reads a bound input value. The fetch path calls put_value once per
// cell, so it writes straight into the caller's buffer and allocates nothing.
#include <charconv>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <iterator>
#include <limits>

#include "oci_int.h"

namespace ocl {

namespace {

constexpr sb2 kSb2Max = 32767;

void set_ok(const Sink& s, size_t len) {
  if (s.ind) *s.ind = 0;
  if (s.alen) *s.alen = static_cast<ub2>(len > 0xFFFF ? 0xFFFF : len);
  if (s.alen4) *s.alen4 = static_cast<ub4>(len);
  if (s.rcode) *s.rcode = 0;
}

PutResult set_truncated(const Sink& s, size_t written, size_t original) {
  if (s.ind) *s.ind = original > static_cast<size_t>(kSb2Max) ? -2 : static_cast<sb2>(original);
  if (s.alen) *s.alen = static_cast<ub2>(written > 0xFFFF ? 0xFFFF : written);
  if (s.alen4) *s.alen4 = static_cast<ub4>(written);
  if (s.rcode) *s.rcode = 1406;
  return PUT_TRUNCATED;
}

PutResult fail(int* ora, int code) {
  *ora = code;
  return PUT_ERROR;
}

// A number from a stored value: 1 integer, 2 double, 0 not a number.
int numeric(const BeValue& v, int64_t* i, double* d) {
  switch (v.type) {
    case BE_INT:
      *i = v.i;
      return 1;
    case BE_REAL:
      *d = v.d;
      return 2;
    case BE_TEXT:
      return dl_parse_number(v.p, v.n, i, d);
    default:
      return 0;
  }
}

template <class T>
void store(char* p, T v) {
  std::memcpy(p, &v, sizeof v);
}

PutResult put_int(const Sink& s, const BeValue& v, bool is_unsigned, int* ora) {
  int64_t i = 0;
  double d = 0;
  int k = numeric(v, &i, &d);
  if (k == 0) return fail(ora, v.type == BE_TEXT ? 1722 : 932);
  if (k == 2) {
    double r = std::round(d);
    if (!(r >= -9.2233720368547758e18 && r < 9.2233720368547758e18)) return fail(ora, 1455);
    i = static_cast<int64_t>(r);
  }
  size_t size = static_cast<size_t>(s.size);
  if (size >= 8) size = 8;
  else if (size >= 4) size = 4;
  else if (size >= 2) size = 2;
  else if (size == 1) size = 1;
  else return fail(ora, 1455);
  if (is_unsigned) {
    if (i < 0) return fail(ora, 1455);
    uint64_t u = static_cast<uint64_t>(i);
    switch (size) {
      case 1: if (u > 0xFF) return fail(ora, 1455); store(s.buf, static_cast<uint8_t>(u)); break;
      case 2: if (u > 0xFFFF) return fail(ora, 1455); store(s.buf, static_cast<uint16_t>(u)); break;
      case 4: if (u > 0xFFFFFFFFu) return fail(ora, 1455); store(s.buf, static_cast<uint32_t>(u)); break;
      default: store(s.buf, u); break;
    }
  } else {
    switch (size) {
      case 1: if (i < -128 || i > 127) return fail(ora, 1455); store(s.buf, static_cast<int8_t>(i)); break;
      case 2: if (i < -32768 || i > 32767) return fail(ora, 1455); store(s.buf, static_cast<int16_t>(i)); break;
      case 4: if (i < INT32_MIN || i > INT32_MAX) return fail(ora, 1455); store(s.buf, static_cast<int32_t>(i)); break;
      default: store(s.buf, i); break;
    }
  }
  set_ok(s, size);
  return PUT_OK;
}

PutResult put_float(const Sink& s, const BeValue& v, int bytes, int* ora) {
  int64_t i = 0;
  double d = 0;
  int k = numeric(v, &i, &d);
  if (k == 0) return fail(ora, v.type == BE_TEXT ? 1722 : 932);
  if (k == 1) d = static_cast<double>(i);
  if (bytes == 4) {
    if (s.size < 4) return fail(ora, 1455);
    store(s.buf, static_cast<float>(d));
  } else {
    if (s.size < 8) return fail(ora, 1455);
    store(s.buf, d);
  }
  set_ok(s, static_cast<size_t>(bytes));
  return PUT_OK;
}

// The text form of a stored value for a character define. Numbers are
// formatted into num; raw bytes turn into hexadecimal (hex set).
struct TextForm {
  const char* p = nullptr;
  size_t n = 0;
  bool hex = false;  // p/n are raw bytes written as 2n hexadecimal digits
  size_t pad = 0;    // blanks that follow (CHAR columns are blank-padded)
};

void text_form(const BeValue& v, const DlColType& meta, char* num, TextForm* t) {
  switch (v.type) {
    case BE_INT:
      t->n = dl_int_text(v.i, num);
      t->p = num;
      break;
    case BE_REAL:
      t->n = dl_number_text(v.d, num);
      t->p = num;
      break;
    case BE_TEXT:
      t->p = v.p;
      t->n = v.n;
      if (meta.type == DL_T_CHAR && meta.char_length) {
        // CHAR(n) pads to n bytes, CHAR(n CHAR) and NCHAR(n) to n characters.
        const bool by_char = meta.csform == SQLCS_NCHAR || meta.char_length != meta.size;
        size_t have = by_char ? utf8_char_count(v.p, v.n) : v.n;
        if (have < meta.char_length) t->pad = meta.char_length - have;
      }
      break;
    case BE_BLOB:
      t->p = v.p;
      t->n = v.n;
      t->hex = true;
      break;
    default:
      break;
  }
}

size_t text_length(const TextForm& t) { return (t.hex ? 2 * t.n : t.n) + t.pad; }

// Copies up to cap bytes of the text form to out; returns the bytes written.
size_t copy_text(const TextForm& t, char* out, size_t cap) {
  static const char kHex[] = "0123456789ABCDEF";
  size_t w = 0;
  if (t.hex) {
    for (size_t i = 0; i < t.n && w + 2 <= cap; ++i) {
      auto b = static_cast<unsigned char>(t.p[i]);
      out[w++] = kHex[b >> 4];
      out[w++] = kHex[b & 15];
    }
  } else {
    w = t.n < cap ? t.n : cap;
    std::memcpy(out, t.p, w);
    // Never split a UTF-8 sequence when cutting.
    if (w < t.n)
      while (w > 0 && (static_cast<unsigned char>(t.p[w]) & 0xC0) == 0x80) --w;
  }
  size_t pad = t.pad;
  while (pad-- && w < cap) out[w++] = ' ';
  return w;
}

// The same into UTF-16 units; returns the units written and the units the
// whole text needs in *need.
size_t copy_text16(const TextForm& t, ub2* out, size_t cap_units, size_t* need) {
  size_t w = 0, total = 0;
  if (t.hex) {
    static const char kHex[] = "0123456789ABCDEF";
    for (size_t i = 0; i < t.n; ++i) {
      auto b = static_cast<unsigned char>(t.p[i]);
      if (w + 2 <= cap_units) {
        out[w++] = static_cast<ub2>(kHex[b >> 4]);
        out[w++] = static_cast<ub2>(kHex[b & 15]);
      }
    }
    total = 2 * t.n;
  } else {
    w = utf8_to_utf16(t.p, t.n, out, cap_units, &total);
  }
  for (size_t i = 0; i < t.pad; ++i)
    if (w < cap_units) out[w++] = 0x0020;
  *need = total + t.pad;
  return w;
}

PutResult put_text(const Sink& s, const BeValue& v, const DlColType& meta) {
  char num[64];
  TextForm t;
  text_form(v, meta, num, &t);
  const ub2 dty = s.dty;
  size_t prefix = dty == SQLT_VCS ? 2 : dty == SQLT_LVC ? 4 : 0;
  // The terminator of a wide value is one UTF-16 unit.
  size_t nul = (dty == SQLT_STR || dty == SQLT_AVC) ? (s.utf16 ? 2 : 1) : 0;
  size_t size = static_cast<size_t>(s.size);
  if (size < prefix + nul) return set_truncated(s, 0, text_length(t));
  size_t cap = size - prefix - nul;
  bool padded = dty == SQLT_AFC || dty == SQLT_AVC;
  size_t written, original;
  if (s.utf16) {
    auto* out = reinterpret_cast<ub2*>(s.buf + prefix);
    size_t cap_units = cap / 2, need = 0;
    size_t units = copy_text16(t, out, cap_units, &need);
    if (padded)
      while (units < cap_units) out[units++] = 0x0020;
    if (nul) std::memset(out + units, 0, 2);
    // The length prefix of a wide value counts UTF-16 units.
    if (dty == SQLT_VCS) store(s.buf, static_cast<ub2>(units));
    if (dty == SQLT_LVC) store(s.buf, static_cast<sb4>(units));
    written = units * 2;
    original = need * 2;
    if (need > cap_units) return set_truncated(s, written + prefix, original);
    set_ok(s, written + prefix);
    return PUT_OK;
  }
  char* out = s.buf + prefix;
  written = copy_text(t, out, cap);
  original = text_length(t);
  size_t data = written;
  if (padded && written < cap) {
    std::memset(out + written, ' ', cap - written);
    written = cap;
  }
  if (nul) out[written] = '\0';
  if (dty == SQLT_VCS) store(s.buf, static_cast<ub2>(written));
  if (dty == SQLT_LVC) store(s.buf, static_cast<sb4>(written));
  if (data < original) return set_truncated(s, written + prefix, original);
  set_ok(s, written + prefix);
  return PUT_OK;
}

PutResult put_binary(const Sink& s, const BeValue& v, int* ora) {
  if (v.type != BE_BLOB && v.type != BE_TEXT) return fail(ora, 932);
  size_t prefix = s.dty == SQLT_VBI ? 2 : s.dty == SQLT_LVB ? 4 : 0;
  size_t size = static_cast<size_t>(s.size);
  if (size < prefix) return set_truncated(s, 0, v.n);
  size_t cap = size - prefix;
  size_t n = v.n < cap ? v.n : cap;
  if (n) std::memcpy(s.buf + prefix, v.p, n);
  if (s.dty == SQLT_VBI) store(s.buf, static_cast<ub2>(n));
  if (s.dty == SQLT_LVB) store(s.buf, static_cast<sb4>(n));
  if (n < v.n) return set_truncated(s, n + prefix, v.n);
  set_ok(s, n + prefix);
  return PUT_OK;
}

inline int two(const char* p) { return (p[0] - '0') * 10 + (p[1] - '0'); }

inline bool digits(const char* p, size_t n) {
  for (size_t i = 0; i < n; ++i)
    if (p[i] < '0' || p[i] > '9') return false;
  return true;
}

}  // namespace

// Stored DATE ("YYYY-MM-DD HH24:MI:SS") and TIMESTAMP (the same and
// ".FFFFFFFFF") texts are read in place on the fetch path; anything else goes
// through the dialect's parser.
bool stored_datetime(const BeValue& v, DlDateTime* dt) {
  if (v.type != BE_TEXT) return false;
  const char* p = v.p;
  if ((v.n == 19 || v.n == 29) && p[4] == '-' && p[7] == '-' && p[10] == ' ' && p[13] == ':' &&
      p[16] == ':' && digits(p, 4) && digits(p + 5, 2) && digits(p + 8, 2) && digits(p + 11, 2) &&
      digits(p + 14, 2) && digits(p + 17, 2) && (v.n == 19 || (p[19] == '.' && digits(p + 20, 9)))) {
    dt->year = two(p) * 100 + two(p + 2);
    dt->month = two(p + 5);
    dt->day = two(p + 8);
    dt->hour = two(p + 11);
    dt->minute = two(p + 14);
    dt->second = two(p + 17);
    int ns = 0;
    if (v.n == 29)
      for (int i = 0; i < 9; ++i) ns = ns * 10 + (p[20 + i] - '0');
    dt->nanos = ns;
    return true;
  }
  return dl_datetime_parse(v.p, v.n, dt, nullptr);
}

PutResult put_value(const Sink& s, const BeValue& v, const DlColType& meta, int* ora) {
  if (v.type == BE_NULL) {
    if (s.alen) *s.alen = 0;
    if (s.alen4) *s.alen4 = 0;
    if (!s.ind) {
      if (s.rcode) *s.rcode = 1405;
      return PUT_NULL_NO_IND;
    }
    *s.ind = -1;
    if (s.rcode) *s.rcode = 0;
    return PUT_OK;
  }
  if (!s.buf) return fail(ora, 24330);
  switch (s.dty) {
    case SQLT_INT:
      return put_int(s, v, false, ora);
    case SQLT_UIN:
      return put_int(s, v, true, ora);
    case SQLT_FLT:
      return put_float(s, v, s.size >= 8 ? 8 : 4, ora);
    case SQLT_BFLOAT:
    case SQLT_IBFLOAT:
      return put_float(s, v, 4, ora);
    case SQLT_BDOUBLE:
    case SQLT_IBDOUBLE:
      return put_float(s, v, 8, ora);
    case SQLT_NUM:
    case SQLT_VNU: {
      int64_t i = 0;
      double d = 0;
      int k = numeric(v, &i, &d);
      if (k == 0) return fail(ora, v.type == BE_TEXT ? 1722 : 932);
      BeValue n;
      n.type = k == 1 ? BE_INT : BE_REAL;
      n.i = i;
      n.d = d;
      ub1 bytes[22];
      int len = num_to_oracle(n, bytes);
      if (len < 0) return fail(ora, 1426);
      size_t need = static_cast<size_t>(len) + (s.dty == SQLT_VNU ? 1 : 0);
      if (static_cast<size_t>(s.size) < need) return fail(ora, 1455);
      if (s.dty == SQLT_VNU) {
        s.buf[0] = static_cast<char>(len);
        std::memcpy(s.buf + 1, bytes, static_cast<size_t>(len));
      } else {
        std::memcpy(s.buf, bytes, static_cast<size_t>(len));
      }
      set_ok(s, need);
      return PUT_OK;
    }
    case SQLT_CHR:
    case SQLT_STR:
    case SQLT_VCS:
    case SQLT_LVC:
    case SQLT_AFC:
    case SQLT_AVC:
    case SQLT_LNG:
      return put_text(s, v, meta);
    case SQLT_BIN:
    case SQLT_LBI:
    case SQLT_VBI:
    case SQLT_LVB:
      return put_binary(s, v, ora);
    case SQLT_DAT: {
      DlDateTime dt;
      if (!stored_datetime(v, &dt)) return fail(ora, v.type == BE_TEXT ? 1858 : 932);
      if (s.size < 7) return fail(ora, 1406);
      auto* b = reinterpret_cast<unsigned char*>(s.buf);
      b[0] = static_cast<unsigned char>(dt.year / 100 + 100);
      b[1] = static_cast<unsigned char>(dt.year % 100 + 100);
      b[2] = static_cast<unsigned char>(dt.month);
      b[3] = static_cast<unsigned char>(dt.day);
      b[4] = static_cast<unsigned char>(dt.hour + 1);
      b[5] = static_cast<unsigned char>(dt.minute + 1);
      b[6] = static_cast<unsigned char>(dt.second + 1);
      set_ok(s, 7);
      return PUT_OK;
    }
    case SQLT_ODT: {
      DlDateTime dt;
      if (!stored_datetime(v, &dt)) return fail(ora, v.type == BE_TEXT ? 1858 : 932);
      if (static_cast<size_t>(s.size) < sizeof(OCIDate)) return fail(ora, 1406);
      OCIDate od{};
      od.OCIDateYYYY = static_cast<sb2>(dt.year);
      od.OCIDateMM = static_cast<ub1>(dt.month);
      od.OCIDateDD = static_cast<ub1>(dt.day);
      od.OCIDateTime.OCITimeHH = static_cast<ub1>(dt.hour);
      od.OCIDateTime.OCITimeMI = static_cast<ub1>(dt.minute);
      od.OCIDateTime.OCITimeSS = static_cast<ub1>(dt.second);
      std::memcpy(s.buf, &od, sizeof od);
      set_ok(s, sizeof od);
      return PUT_OK;
    }
    case SQLT_TIMESTAMP:
    case SQLT_TIMESTAMP_TZ:
    case SQLT_TIMESTAMP_LTZ:
    case SQLT_DATE: {
      DlDateTime dt;
      if (!stored_datetime(v, &dt)) return fail(ora, v.type == BE_TEXT ? 1858 : 932);
      if (static_cast<size_t>(s.size) < sizeof(void*)) return fail(ora, 24330);
      void* p = nullptr;
      std::memcpy(&p, s.buf, sizeof p);
      if (!is_live(p)) return fail(ora, 24330);
      auto* h = static_cast<HandleBase*>(p);
      if (h->htype < OCI_DTYPE_DATE || h->htype > OCI_DTYPE_TIMESTAMP_LTZ) return fail(ora, 932);
      auto* d = static_cast<DateTime*>(h);
      d->v = dt;
      d->set = true;
      set_ok(s, sizeof(void*));
      return PUT_OK;
    }
    case SQLT_CLOB:
    case SQLT_BLOB: {
      if (v.type != BE_TEXT && v.type != BE_BLOB) {
        if (s.dty == SQLT_BLOB) return fail(ora, 932);
      }
      if (static_cast<size_t>(s.size) < sizeof(void*)) return fail(ora, 24330);
      void* p = nullptr;
      std::memcpy(&p, s.buf, sizeof p);
      Lob* lob = as<Lob>(p, OCI_DTYPE_LOB);
      if (!lob) return fail(ora, 24330);
      if (v.type == BE_INT || v.type == BE_REAL) {
        char num[64];
        size_t n = v.type == BE_INT ? dl_int_text(v.i, num) : dl_number_text(v.d, num);
        lob->data.assign(num, n);
      } else {
        lob->data.assign(v.p, v.n);
      }
      lob->changed();
      lob->init = true;
      lob->lobtype = static_cast<ub1>(s.dty);
      lob->csform = meta.csform;
      lob->located = false;
      set_ok(s, sizeof(void*));
      return PUT_OK;
    }
    case SQLT_RDD: {
      if (v.type != BE_INT) return fail(ora, 932);
      void* p = nullptr;
      std::memcpy(&p, s.buf, sizeof p);
      Rowid* r = as<Rowid>(p, OCI_DTYPE_ROWID);
      if (!r) return fail(ora, 24330);
      r->rowid = v.i;
      set_ok(s, sizeof(void*));
      return PUT_OK;
    }
    default:
      return fail(ora, 932);
  }
}

// ---- Input values -----------------------------------------------------------------

namespace {

template <class T>
T load(const void* p) {
  T v;
  std::memcpy(&v, p, sizeof v);
  return v;
}

void text_value(const char* p, size_t n, BeValue* v) {
  v->type = BE_TEXT;
  v->p = p;
  v->n = n;
}

// UTF-16 input: converted to UTF-8 in scratch (which keeps its capacity from
// row to row). The caller's buffer need not be aligned.
void text16_value(const void* p, size_t units, BeValue* v, std::string* scratch) {
  const auto* b = static_cast<const char*>(p);
  scratch->clear();
  if (reinterpret_cast<uintptr_t>(p) % alignof(ub2) == 0) {
    // Aligned, as bound buffers are: the whole text in one pass, into room
    // for its longest form (three bytes a unit).
    scratch->resize(3 * units);
    scratch->resize(utf16_to_utf8(static_cast<const ub2*>(p), units, scratch->data(), scratch->size(), nullptr));
    return text_value(scratch->data(), scratch->size(), v);
  }
  for (size_t i = 0; i < units; ++i) {
    ub2 u[2];
    std::memcpy(&u[0], b + 2 * i, 2);
    size_t n = 1;
    if (u[0] >= 0xD800 && u[0] < 0xDC00 && i + 1 < units) {
      std::memcpy(&u[1], b + 2 * (i + 1), 2);
      if (u[1] >= 0xDC00 && u[1] < 0xE000) {
        n = 2;
        ++i;
      }
    }
    char out[4];
    size_t w = utf16_to_utf8(u, n, out, sizeof out, nullptr);
    scratch->append(out, w);
  }
  text_value(scratch->data(), scratch->size(), v);
}

int date_text(const DlDateTime& dt, bool ts, BeValue* v, std::string* scratch) {
  char buf[40];
  size_t n = dl_datetime_text(&dt, ts, buf);
  scratch->assign(buf, n);
  text_value(scratch->data(), scratch->size(), v);
  return 0;
}

}  // namespace

namespace {

// 0.DEC x 10^point as plain decimal text.
std::string plain_decimal(bool neg, std::string dec, int point) {
  while (!dec.empty() && dec.back() == '0') dec.pop_back();
  std::string out = neg ? "-" : "";
  if (point <= 0) return out + "0." + std::string(static_cast<size_t>(-point), '0') + dec;
  if (static_cast<size_t>(point) >= dec.size()) return out + dec + std::string(static_cast<size_t>(point) - dec.size(), '0');
  return out + dec.substr(0, static_cast<size_t>(point)) + "." + dec.substr(static_cast<size_t>(point));
}

}  // namespace

int get_value(const void* buf, sb4 size_in, ub2 dty, bool utf16, BeValue* v, std::string* scratch) {
  // 1722 for a malformed number; 3001 for one the stand-in cannot keep
  // exactly, its decimal text left in *scratch for the message.
  auto num_code = [&](int rc) { return rc == 1 ? 1722 : rc == 2 ? 3001 : 0; };
  *v = BeValue{};
  const char* p = static_cast<const char*>(buf);
  size_t size = size_in < 0 ? 0 : static_cast<size_t>(size_in);
  switch (dty) {
    case SQLT_CHR:
    case SQLT_AFC:
    case SQLT_LNG:
      if (utf16) text16_value(p, size / 2, v, scratch);
      else text_value(p, size, v);
      return 0;
    case SQLT_STR:
    case SQLT_AVC: {
      if (utf16) {
        size_t units = 0, cap = size / 2;
        while (units < cap && load<ub2>(p + 2 * units) != 0) ++units;
        if (units == cap && cap) return 1480;
        text16_value(p, units, v, scratch);
      } else {
        const void* z = std::memchr(p, 0, size);
        if (!z && size) return 1480;
        text_value(p, z ? static_cast<size_t>(static_cast<const char*>(z) - p) : 0, v);
      }
      return 0;
    }
    case SQLT_VCS:
    case SQLT_VBI: {
      if (size < 2) return 24328;
      size_t n = load<ub2>(p);
      size_t bytes = (utf16 && dty == SQLT_VCS) ? 2 * n : n;
      if (bytes > size - 2) return 24328;
      if (dty == SQLT_VBI) {
        v->type = BE_BLOB;
        v->p = p + 2;
        v->n = n;
      } else if (utf16) {
        text16_value(p + 2, n, v, scratch);
      } else {
        text_value(p + 2, n, v);
      }
      return 0;
    }
    case SQLT_LVC:
    case SQLT_LVB: {
      if (size < 4) return 24328;
      sb4 n = load<sb4>(p);
      if (n < 0) return 24328;
      size_t bytes = (utf16 && dty == SQLT_LVC) ? 2 * static_cast<size_t>(n) : static_cast<size_t>(n);
      if (bytes > size - 4) return 24328;
      if (dty == SQLT_LVB) {
        v->type = BE_BLOB;
        v->p = p + 4;
        v->n = static_cast<size_t>(n);
      } else if (utf16) {
        text16_value(p + 4, static_cast<size_t>(n), v, scratch);
      } else {
        text_value(p + 4, static_cast<size_t>(n), v);
      }
      return 0;
    }
    case SQLT_BIN:
    case SQLT_LBI:
      v->type = BE_BLOB;
      v->p = p;
      v->n = size;
      return 0;
    case SQLT_INT:
      v->type = BE_INT;
      switch (size) {
        case 1: v->i = load<int8_t>(p); break;
        case 2: v->i = load<int16_t>(p); break;
        case 4: v->i = load<int32_t>(p); break;
        case 8: v->i = load<int64_t>(p); break;
        default: return 24328;
      }
      return 0;
    case SQLT_UIN: {
      uint64_t u;
      switch (size) {
        case 1: u = load<uint8_t>(p); break;
        case 2: u = load<uint16_t>(p); break;
        case 4: u = load<uint32_t>(p); break;
        case 8: u = load<uint64_t>(p); break;
        default: return 24328;
      }
      if (u > static_cast<uint64_t>(INT64_MAX)) {
        // Beyond a 64-bit integer it is kept as a double: only if that is exact.
        char text[24];
        const int n = std::snprintf(text, sizeof text, "%llu", static_cast<unsigned long long>(u));
        if (!dl_number_exact(text, static_cast<size_t>(n))) {
          scratch->assign(text, static_cast<size_t>(n));
          return 3001;
        }
        v->type = BE_REAL;
        v->d = static_cast<double>(u);
      } else {
        v->type = BE_INT;
        v->i = static_cast<int64_t>(u);
      }
      return 0;
    }
    case SQLT_FLT:
    case SQLT_BFLOAT:
    case SQLT_BDOUBLE:
    case SQLT_IBFLOAT:
    case SQLT_IBDOUBLE: {
      double d;
      bool is_float = dty == SQLT_BFLOAT || dty == SQLT_IBFLOAT || (dty == SQLT_FLT && size == 4);
      if (is_float) {
        if (size < 4) return 24328;
        d = load<float>(p);
      } else {
        if (size < 8) return 24328;
        d = load<double>(p);
      }
      if (std::isnan(d) || std::isinf(d)) return 1722;
      v->type = BE_REAL;
      v->d = d;
      return 0;
    }
    case SQLT_NUM:
      return num_code(num_from_oracle(reinterpret_cast<const ub1*>(p), size, v, scratch));
    case SQLT_VNU: {
      if (size < 1) return 24328;
      size_t n = static_cast<unsigned char>(p[0]);
      if (n + 1 > size) return 24328;
      return num_code(num_from_oracle(reinterpret_cast<const ub1*>(p + 1), n, v, scratch));
    }
    case SQLT_DAT: {
      if (size < 7) return 24328;
      auto* b = reinterpret_cast<const unsigned char*>(p);
      DlDateTime dt;
      dt.year = (b[0] - 100) * 100 + (b[1] - 100);
      dt.month = b[2];
      dt.day = b[3];
      dt.hour = b[4] - 1;
      dt.minute = b[5] - 1;
      dt.second = b[6] - 1;
      if (dt.month < 1 || dt.month > 12) return 1843;
      if (dt.day < 1 || dt.day > 31) return 1847;
      if (dt.hour < 0 || dt.hour > 23) return 1850;
      if (dt.minute < 0 || dt.minute > 59) return 1851;
      if (dt.second < 0 || dt.second > 59) return 1852;
      return date_text(dt, false, v, scratch);
    }
    case SQLT_ODT: {
      if (size < sizeof(OCIDate)) return 24328;
      OCIDate od = load<OCIDate>(p);
      DlDateTime dt;
      dt.year = od.OCIDateYYYY;
      dt.month = od.OCIDateMM;
      dt.day = od.OCIDateDD;
      dt.hour = od.OCIDateTime.OCITimeHH;
      dt.minute = od.OCIDateTime.OCITimeMI;
      dt.second = od.OCIDateTime.OCITimeSS;
      if (dt.month < 1 || dt.month > 12) return 1843;
      if (dt.day < 1 || dt.day > 31) return 1847;
      return date_text(dt, false, v, scratch);
    }
    case SQLT_TIMESTAMP:
    case SQLT_TIMESTAMP_TZ:
    case SQLT_TIMESTAMP_LTZ:
    case SQLT_DATE: {
      if (size < sizeof(void*)) return 24328;
      void* h = load<void*>(p);
      if (!is_live(h)) return 24330;
      auto* hb = static_cast<HandleBase*>(h);
      if (hb->htype < OCI_DTYPE_DATE || hb->htype > OCI_DTYPE_TIMESTAMP_LTZ) return 932;
      auto* dt = static_cast<DateTime*>(hb);
      if (!dt->set) return 1891;
      return date_text(dt->v, dty != SQLT_DATE, v, scratch);
    }
    case SQLT_CLOB:
    case SQLT_BLOB: {
      if (size < sizeof(void*)) return 24328;
      Lob* lob = as<Lob>(load<void*>(p), OCI_DTYPE_LOB);
      if (!lob) return 24330;
      v->type = dty == SQLT_BLOB ? BE_BLOB : BE_TEXT;
      v->p = lob->data.data();
      v->n = lob->data.size();
      return 0;
    }
    case SQLT_RDD: {
      if (size < sizeof(void*)) return 24328;
      Rowid* r = as<Rowid>(load<void*>(p), OCI_DTYPE_ROWID);
      if (!r) return 24330;
      v->type = BE_INT;
      v->i = r->rowid;
      return 0;
    }
    case SQLT_RSET:
      return 3001;
    default:
      return 932;
  }
}

// ---- Oracle NUMBER form -------------------------------------------------------------

// Oracle keeps a number as an exponent byte and up to 20 base-100 digits:
// value = d1.d2d3... x 100^E with d1 != 0. Positive: exponent byte 193 + E,
// digits + 1. Negative: exponent byte 62 - E, digits 101 - d, and a closing
// byte 102 when there are fewer than 20 digits. Zero is the single byte 128.
namespace {

// The 15 significant digits of a positive double that has few decimals
// (money, measures): scaled by a power of ten that a double holds exactly,
// it becomes a whole number of at most 15 digits, and that number's digits
// are the double's rounded to 15 (the scaled double is within an eighth of
// a unit of it, far from a 15-digit rounding boundary). Found without any
// formatting; false for every other double.
bool few_decimals(double a, char* digits, size_t* nd, int* dexp) {
  static constexpr double kPow10[] = {1e0,  1e1,  1e2,  1e3,  1e4,  1e5,  1e6,  1e7,  1e8,  1e9,  1e10, 1e11,
                                      1e12, 1e13, 1e14, 1e15, 1e16, 1e17, 1e18, 1e19, 1e20, 1e21, 1e22};
  if (!(a >= 1e-7 && a < 1e15)) return false;
  for (int k = 0; k < static_cast<int>(std::size(kPow10)); ++k) {
    const double t = a * kPow10[k];
    if (t >= 1e15) return false;
    if (t != std::floor(t)) continue;
    const auto r = std::to_chars(digits, digits + 20, static_cast<uint64_t>(t));
    *nd = static_cast<size_t>(r.ptr - digits);
    *dexp = static_cast<int>(*nd) - k;  // value = 0.DIGITS x 10^dexp
    return true;
  }
  return false;
}

}  // namespace

int num_to_oracle(const BeValue& v, ub1* out) {
  char digits[64];
  bool neg = false;
  int dexp = 0;  // value = 0.DIGITS x 10^dexp
  size_t nd = 0;
  if (v.type == BE_INT) {
    if (v.i == 0) {
      out[0] = 0x80;
      return 1;
    }
    // A whole number goes straight to its base-100 digits: at most ten for
    // 64 bits, least significant first here; zeros at the end are dropped.
    uint64_t u = v.i < 0 ? 0 - static_cast<uint64_t>(v.i) : static_cast<uint64_t>(v.i);
    neg = v.i < 0;
    ub1 pairs[10];
    int np = 0;
    for (; u != 0; u /= 100) pairs[np++] = static_cast<ub1>(u % 100);
    int low = 0;
    while (pairs[low] == 0) ++low;
    int len = 0;
    out[len++] = static_cast<ub1>(neg ? 62 - (np - 1) : 193 + (np - 1));
    for (int k = np - 1; k >= low; --k) out[len++] = static_cast<ub1>(neg ? 101 - pairs[k] : pairs[k] + 1);
    if (neg) out[len++] = 102;  // fewer than 20 digits: the closing byte
    return len;
  } else {
    double d = v.d;
    if (d == 0 || std::isnan(d)) {
      out[0] = 0x80;
      return 1;
    }
    // The form's exponent byte holds 100^-65 to 100^62: a larger magnitude
    // would wrap into a wrong value, a smaller one is zero as in Oracle.
    if (!(std::fabs(d) < 1e126)) return -1;
    if (std::fabs(d) < 1e-130) {
      out[0] = 0x80;
      return 1;
    }
    neg = d < 0;
    if (!few_decimals(std::fabs(d), digits, &nd, &dexp)) {
      // 15 significant digits, "D.DDDDDDDDDDDDDDe+XX", rounded as "%.14e"
      // rounds them but without printf's cost on every fetched value.
      char tmp[64];
      const auto r = std::to_chars(tmp, tmp + sizeof tmp - 1, std::fabs(d), std::chars_format::scientific, 14);
      *r.ptr = '\0';
      digits[nd++] = tmp[0];
      const char* q = tmp + 2;
      while (*q && *q != 'e') digits[nd++] = *q++;
      int e10 = std::atoi(q + 1);
      dexp = e10 + 1;
    }
  }
  while (nd > 0 && digits[nd - 1] == '0') --nd;
  // Align to base 100: the digit count before the point must be even.
  char aligned[80];
  size_t na = 0;
  if (dexp % 2 != 0) {
    aligned[na++] = '0';
    dexp += 1;
  }
  std::memcpy(aligned + na, digits, nd);
  na += nd;
  if (na % 2) aligned[na++] = '0';
  int e100 = dexp / 2;  // value = 0.P1P2... x 100^e100
  size_t np = na / 2;
  if (np > 20) np = 20;
  int exponent = e100 - 1;
  if (exponent > 62) return -1;  // rounded up to 1E126
  if (exponent < -65) {
    out[0] = 0x80;
    return 1;
  }
  int len = 0;
  if (!neg) {
    out[len++] = static_cast<ub1>(193 + exponent);
    for (size_t i = 0; i < np; ++i)
      out[len++] = static_cast<ub1>((aligned[2 * i] - '0') * 10 + (aligned[2 * i + 1] - '0') + 1);
  } else {
    out[len++] = static_cast<ub1>(62 - exponent);
    for (size_t i = 0; i < np; ++i)
      out[len++] = static_cast<ub1>(101 - ((aligned[2 * i] - '0') * 10 + (aligned[2 * i + 1] - '0')));
    if (np < 20) out[len++] = 102;
  }
  return len;
}

int num_from_oracle(const ub1* p, size_t len, BeValue* v, std::string* inexact) {
  if (len == 0 || len > 22) return 1;
  if (p[0] == 0x80) {
    v->type = BE_INT;
    v->i = 0;
    return 0;
  }
  bool neg = (p[0] & 0x80) == 0;
  int exponent = neg ? 62 - p[0] : p[0] - 193;
  std::string dec;  // base-100 digits as decimal pairs
  for (size_t i = 1; i < len; ++i) {
    int d;
    if (neg) {
      if (p[i] == 102) break;
      d = 101 - p[i];
    } else {
      d = p[i] - 1;
    }
    if (d < 0 || d > 99) return 1;
    dec.push_back(static_cast<char>('0' + d / 10));
    dec.push_back(static_cast<char>('0' + d % 10));
  }
  // value = 0.DEC x 10^(2 * (exponent + 1))
  int point = 2 * (exponent + 1);
  std::string text = neg ? "-0." : "0.";
  text += dec.empty() ? "0" : dec;
  text += "e" + std::to_string(point);
  double d = std::strtod(text.c_str(), nullptr);
  // Integral and within 64 bits: keep it exact as an integer.
  size_t int_digits = point > 0 ? static_cast<size_t>(point) : 0;
  bool integral = true;
  for (size_t i = int_digits; i < dec.size(); ++i)
    if (dec[i] != '0') integral = false;
  if (integral && point <= 18) {
    int64_t i = 0;
    for (size_t k = 0; k < int_digits; ++k) i = i * 10 + (k < dec.size() ? dec[k] - '0' : 0);
    v->type = BE_INT;
    v->i = neg ? -i : i;
    return 0;
  }
  // Refused rather than rounded: the stand-in keeps no more than a double.
  std::string plain = (neg ? "-0." : "0.") + dec + "e" + std::to_string(point);
  if (!dl_number_exact(plain.data(), plain.size())) {
    if (inexact) *inexact = plain_decimal(neg, dec, point);
    return 2;
  }
  v->type = BE_REAL;
  v->d = d;
  return 0;
}

}  // namespace ocl
