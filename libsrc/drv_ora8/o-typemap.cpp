// Column type mapping: the Oracle type tables, the value-type table, the
// NUMBER rules and the description of one result column through OCI.
#include "drv_ora8/o-typemap.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>

#include "drv_ora8/db-fetch.h"
#include "odbc/dataset.h"
#include "odbc/sqlstate.h"
#include "util/log.h"
#include "variant.h"

const OraTypeMapRow OraTypeMapNarrow[] = {
    {SQLT_CHR, SQLT_VCS, VT_VARCHAR2, 0},         // VARCHAR2
    {SQLT_NUM, SQLT_NUM, kNoType, 0},             // NUMBER: the NUMBER rules decide
    {SQLT_LNG, SQLT_LNG, VT_LONGCHAR, 1},         // LONG
    {SQLT_RID, SQLT_RID, kNoType, 0},             // ROWID (internal)
    {SQLT_DAT, SQLT_DAT, VT_TIMESTAMP, 1},        // DATE
    {SQLT_BIN, SQLT_VBI, VT_VARBIN2, 0},          // RAW
    {SQLT_LBI, SQLT_LBI, VT_LONGBINARY, 1},       // LONG RAW
    {SQLT_AFC, SQLT_AFC, VT_CHAR, 0},             // CHAR
    {SQLT_LAB, SQLT_AFC, VT_CHAR, 0},             // MLSLABEL
    {SQLT_NTY, SQLT_NTY, kNoType, 0},             // named type
    {SQLT_REF, SQLT_REF, kNoType, 0},             // REF
    {SQLT_CLOB, SQLT_CLOB, VT_LONGCHAR, 1},
    {SQLT_BLOB, SQLT_BLOB, VT_LONGBINARY, 1},
    {SQLT_CUR, SQLT_RSET, VT_BINARY, 0},          // cursor
    {SQLT_RSET, SQLT_RSET, VT_BINARY, 0},         // result set
    {SQLT_RDD, SQLT_AVC, VT_STRING, 0},           // ROWID descriptor
    {SQLT_TIMESTAMP, SQLT_TIMESTAMP, VT_TIMESTAMP, 1},
    {SQLT_IBFLOAT, SQLT_BFLOAT, VT_FLOAT, 0},     // BINARY_FLOAT
    {SQLT_IBDOUBLE, SQLT_BDOUBLE, VT_DOUBLE, 0},  // BINARY_DOUBLE
    {0, 0, 0, 0},
};

const OraTypeMapRow OraTypeMapWide[] = {
    {SQLT_CHR, SQLT_VCS, VT_WVARCHAR4, 1},
    {SQLT_NUM, SQLT_NUM, kNoType, 0},
    {SQLT_LNG, SQLT_LNG, VT_LONGWCHAR, 1},
    {SQLT_RID, SQLT_RID, kNoType, 0},
    {SQLT_DAT, SQLT_DAT, VT_TIMESTAMP, 1},
    {SQLT_BIN, SQLT_VBI, VT_VARBIN2, 0},
    {SQLT_LBI, SQLT_LBI, VT_LONGBINARY, 1},
    // Fixed-width text in UTF-16 with its own length: the value as the
    // database padded it, whose units need not be its byte size.
    {SQLT_AFC, SQLT_VCS, VT_WVARCHAR4, 1},
    {SQLT_LAB, SQLT_VCS, VT_WVARCHAR4, 1},
    {SQLT_NTY, SQLT_NTY, kNoType, 0},
    {SQLT_REF, SQLT_REF, kNoType, 0},
    {SQLT_CLOB, SQLT_CLOB, VT_LONGWCHAR, 1},
    {SQLT_BLOB, SQLT_BLOB, VT_LONGBINARY, 1},
    {SQLT_CUR, SQLT_RSET, VT_BINARY, 0},
    {SQLT_RSET, SQLT_RSET, VT_BINARY, 0},
    {SQLT_RDD, SQLT_AVC, VT_STRING, 0},
    {SQLT_TIMESTAMP, SQLT_TIMESTAMP, VT_TIMESTAMP, 1},
    {SQLT_IBFLOAT, SQLT_BFLOAT, VT_FLOAT, 0},
    {SQLT_IBDOUBLE, SQLT_BDOUBLE, VT_DOUBLE, 0},
    {0, 0, 0, 0},
};

const ExtTypeRow ExtTypeByValueType[] = {
    // value type       define            buffer  bind
    {VT_CHAR, SQLT_AFC, 0, SQLT_AFC},
    {VT_BIT, SQLT_INT, 0, SQLT_INT},
    {VT_STINYINT, SQLT_INT, 0, SQLT_INT},
    {VT_SSHORT, SQLT_INT, 0, SQLT_INT},
    {VT_SLONG, SQLT_INT, 0, SQLT_INT},
    {VT_UTINYINT, SQLT_UIN, 0, SQLT_UIN},
    {VT_USHORT, SQLT_UIN, 0, SQLT_UIN},
    {VT_ULONG, SQLT_UIN, 0, SQLT_UIN},
    {VT_FLOAT, SQLT_BFLOAT, 0, SQLT_BFLOAT},
    {VT_DOUBLE, SQLT_BDOUBLE, 0, SQLT_BDOUBLE},
    {VT_DATE, SQLT_DAT, 1, SQLT_DAT},
    {VT_TIME, kNoType, 0, SQLT_DAT},            // bound as a DATE on the current day
    {VT_TIMESTAMP, SQLT_TIMESTAMP, 1, SQLT_TIMESTAMP},
    {VT_BINARY, SQLT_LBI, 0, SQLT_LBI},
    {VT_LONGCHAR, SQLT_AFC, 0, SQLT_AFC},
    {VT_LONGBINARY, SQLT_LBI, 1, SQLT_LBI},
    {VT_STRING, SQLT_AVC, 0, SQLT_AVC},
    {VT_VARCHAR1, kNoType, 0, kNoType},
    {VT_VARCHAR2, SQLT_VCS, 0, SQLT_VCS},
    {VT_VARCHAR4, SQLT_LVC, 0, SQLT_LVC},
    {VT_VARBIN1, kNoType, 0, kNoType},
    {VT_VARBIN2, SQLT_VBI, 0, SQLT_VBI},
    {VT_VARBIN4, SQLT_LBI, 0, SQLT_LVB},
    {VT_WCHAR, SQLT_AFC, 0, SQLT_AFC},
    {VT_WSTRING, SQLT_AVC, 0, SQLT_AVC},
    {VT_LONGWCHAR, SQLT_AFC, 0, SQLT_AFC},
    {VT_WVARCHAR4, SQLT_LVC, 0, SQLT_LVC},
    {0, 0, 0, 0},
};

void db_OraTypeToExt(int wide, uint16_t oraType, int32_t *valueType, int16_t *extType, uint32_t *needsBuffer) {
  const OraTypeMapRow *t = wide ? OraTypeMapWide : OraTypeMapNarrow;
  for (; t->oraType != 0; ++t) {
    if (t->oraType == oraType) {
      *valueType = t->valueType;
      *extType = t->extType;
      *needsBuffer = t->needsBuffer;
      return;
    }
  }
  *valueType = kNoType;
  *extType = static_cast<int16_t>(oraType);
  *needsBuffer = 0;
}

namespace {

// The table's row of a value type; null where it has none (0, or a wide
// type in the ANSI build, which has no wide value types).
const ExtTypeRow *ValueTypeRow(int32_t valueType) {
  const bool wideType = valueType >= VT_WCHAR && valueType <= VT_WVARCHAR4;
  if (wideType && !g_driverVariant.unicode) return nullptr;
  for (const ExtTypeRow *t = ExtTypeByValueType; t->valueType != 0; ++t)
    if (t->valueType == valueType) return t;
  return nullptr;
}

}  // namespace

void db_ValueTypeToExt(int32_t valueType, int16_t *extType, uint32_t *needsBuffer) {
  const ExtTypeRow *t = ValueTypeRow(valueType);
  *extType = t ? t->extType : kNoType;
  *needsBuffer = t ? t->needsBuffer : 0;
}

int16_t db_ValueTypeToBindExt(int32_t valueType) {
  const ExtTypeRow *t = ValueTypeRow(valueType);
  return t ? t->bindExtType : kNoType;
}

namespace {

// Sets the value type and the define that goes with it.
void SetValueType(ColDesc *cd, OciColDesc *r, int32_t vt) {
  cd->valueType = vt;
  db_ValueTypeToExt(vt, &r->extType, &r->needsBuffer);
}

void SetDouble(ColDesc *cd, OciColDesc *r) {
  cd->sqlType = 8;  // SQL_DOUBLE
  cd->columnSize = 15;
  cd->displaySize = 22;
  cd->octetLength = 8;
  SetValueType(cd, r, VT_DOUBLE);
}

void SetInteger(ColDesc *cd, OciColDesc *r) {
  cd->sqlType = 4;  // SQL_INTEGER
  cd->octetLength = 4;
  SetValueType(cd, r, VT_SLONG);
}

void NumberRules(ColDesc *cd, OciColDesc *r, bool binary, int jet, int marker) {
  const int32_t p = r->precision;
  const int32_t s = r->scale;
  // DECIMAL unless a rule below says otherwise.
  cd->sqlType = 3;  // SQL_DECIMAL
  cd->displaySize = p + 2;
  cd->octetLength = static_cast<uint32_t>(p + 2);
  SetValueType(cd, r, VT_VARCHAR2);
  if (s != 0 || binary) {
    if (!jet && !binary) return;
    if (p <= 50 || jet) {
      SetDouble(cd, r);
      return;
    }
    // A binary precision beyond what a double carries: decimal text of
    // p x log10(2) digits.
    const uint32_t d = ((static_cast<uint32_t>(p) * 315653u) >> 20) + 1u;
    cd->sqlType = 12;  // SQL_VARCHAR
    cd->columnSize = d;
    cd->displaySize = static_cast<int32_t>(d + 2);
    cd->octetLength = d + 3;
    return;
  }
  if (p == 0) {
    if (strncmp(r->name, "COUNT(", 6) == 0) {
      SetInteger(cd, r);
      cd->columnSize = 10;
    } else if (jet) {
      SetDouble(cd, r);
    } else {
      cd->columnSize = 38;
      cd->displaySize = 40;
      cd->octetLength = 41;
    }
    return;
  }
  if (p <= 2) {
    cd->sqlType = -6;  // SQL_TINYINT
    cd->octetLength = 1;
    SetValueType(cd, r, VT_STINYINT);
  } else if (p <= 4) {
    cd->sqlType = 5;  // SQL_SMALLINT
    cd->octetLength = 2;
    SetValueType(cd, r, VT_SSHORT);
  } else if (p <= 9 || (p == 10 && jet)) {
    SetInteger(cd, r);
  } else if (p <= 15) {
    if (jet || marker) SetDouble(cd, r);
  } else if (p <= 38) {
    if (jet && !marker) SetDouble(cd, r);
  }
}

// The largest length <= n that does not end inside a UTF-8 sequence of text.
size_t Utf8Cut(const char *text, size_t n) {
  while (n > 0 && (static_cast<unsigned char>(text[n]) & 0xC0) == 0x80) --n;
  return n;
}

}  // namespace

int32_t db_ColDescMap(ColDesc *cd, uint32_t column, OciColDesc *r, int jet, int marker, int wide) {
  // 1. Names.
  if (cd->name[0] == '*') {
    const char *tag = (r->position == 0 || r->ioMode == 1) ? "*O" : r->ioMode == 0 ? "*I" : "*B";
    snprintf(cd->name, sizeof cd->name, "%s", tag);
  } else if (r->name[0] == '\0') {
    snprintf(cd->name, sizeof cd->name, "EXPR_%u", column);
    free(cd->fullName);
    cd->fullName = strdup(cd->name);
    if (!cd->fullName) return E_S1001;
  } else {
    const size_t len = strlen(r->name);
    // Cut to the 40 bytes of the short name, never inside a character.
    const size_t keep = len <= sizeof cd->name - 1 ? len : Utf8Cut(r->name, sizeof cd->name - 1);
    memcpy(cd->name, r->name, keep);
    cd->name[keep] = '\0';
    free(cd->fullName);
    cd->fullName = strdup(r->name);
    if (!cd->fullName) return E_S1001;
  }
  // 2. What OCI described.
  cd->oraType = static_cast<int16_t>(r->oraType);
  cd->columnSize = static_cast<uint32_t>(static_cast<int32_t>(r->precision));
  cd->decimalDigits = r->scale;
  cd->flags = (r->nullable ? 1u : 0u) | (3u << kColDescUpdatableShift);
  cd->octetLength = r->size;
  // 3. The table's value type and define.
  db_OraTypeToExt(wide, r->oraType, &cd->valueType, &r->extType, &r->needsBuffer);
  // 4. Binary precision.
  const bool binary = r->scale == -127;
  if (binary) {
    r->scale = 0;
    cd->decimalDigits = 0;
  }
  // 5. By Oracle type.
  const uint32_t size = r->size;
  switch (r->oraType) {
    case SQLT_CHR:
    case SQLT_AFC:
    case SQLT_LAB: {
      const bool fixed = r->oraType != SQLT_CHR;
      cd->sqlType = fixed ? (wide ? -8 : 1) : (wide ? -9 : 12);
      // Length semantics by characters: the column holds charSize
      // characters, which take up to four bytes each as UTF-8 (and at most
      // the byte size in UTF-16 units, whatever the database's character set).
      const uint32_t chars = r->charUsed ? r->charSize : size;
      cd->columnSize = chars;
      cd->decimalDigits = 0;
      cd->displaySize = static_cast<int32_t>(chars);
      cd->octetLength = r->charUsed && !wide && 4 * chars > size ? 4 * chars : size;
      if (fixed && r->charUsed && !wide) {
        // A fixed-width value of n characters has no fixed byte length: it
        // travels with its own length, padded as the database padded it.
        cd->valueType = VT_VARCHAR2;
        r->extType = SQLT_VCS;
        r->needsBuffer = 0;
      }
      break;
    }
    case SQLT_LNG:
      cd->sqlType = wide ? -10 : -1;
      cd->columnSize = 2147483643u;
      cd->decimalDigits = 0;
      cd->displaySize = 2147483643;
      cd->octetLength = 0;
      break;
    case SQLT_CLOB:
      cd->sqlType = wide ? -10 : -1;
      cd->columnSize = 0xFFFFFFFFu;
      cd->decimalDigits = 0;
      cd->displaySize = static_cast<int32_t>(0xFFFFFFFFu);
      cd->octetLength = 0;
      break;
    case SQLT_BIN:
      cd->sqlType = -3;
      cd->columnSize = size;
      cd->decimalDigits = 0;
      cd->displaySize = static_cast<int32_t>(size);
      cd->octetLength = size;
      break;
    case SQLT_LBI:
      cd->sqlType = -4;
      cd->columnSize = 2147483643u;
      cd->decimalDigits = 0;
      cd->displaySize = static_cast<int32_t>(0xFFFFFFF6u);  // twice the size, kept in 32 bits
      cd->octetLength = 0;
      break;
    case SQLT_BLOB:
      cd->sqlType = -4;
      cd->columnSize = 0xFFFFFFFFu;
      cd->decimalDigits = 0;
      cd->displaySize = static_cast<int32_t>(0xFFFFFFFEu);
      cd->octetLength = 0;
      break;
    case SQLT_DAT:
      cd->sqlType = 11;
      cd->columnSize = 19;
      cd->decimalDigits = 0;
      cd->displaySize = 19;
      cd->octetLength = 16;
      break;
    case SQLT_TIMESTAMP:
      cd->sqlType = 11;
      cd->columnSize = 29;
      cd->decimalDigits = 9;
      cd->displaySize = 29;
      cd->octetLength = 16;
      break;
    case SQLT_IBFLOAT:
      cd->sqlType = 6;
      cd->columnSize = 7;
      cd->decimalDigits = 0;
      cd->displaySize = 13;
      cd->octetLength = size;
      break;
    case SQLT_IBDOUBLE:
      cd->sqlType = 8;
      cd->columnSize = 15;
      cd->decimalDigits = 0;
      cd->displaySize = 22;
      cd->octetLength = size;
      break;
    case SQLT_CUR:
    case SQLT_RSET:
      cd->sqlType = -2;
      cd->columnSize = 2;
      cd->decimalDigits = 0;
      cd->displaySize = 2;
      cd->octetLength = 2;
      break;
    case SQLT_RDD:
      cd->sqlType = wide ? -9 : 12;
      cd->columnSize = 20;
      cd->decimalDigits = 0;
      cd->displaySize = 20;
      cd->octetLength = 20;
      cd->flags = (cd->flags & kColDescNullableMask) | (1u << kColDescUpdatableShift);
      break;
    case SQLT_NUM:
      NumberRules(cd, r, binary, jet, marker);
      // Whatever a NUMBER is described as, a value that is not a small
      // integer travels as Oracle's own decimal and becomes exact text: a
      // double would change 0.1 and any integer beyond 2^53.
      if (cd->valueType == VT_DOUBLE || cd->valueType == VT_VARCHAR2) {
        cd->valueType = VT_VARCHAR2;
        cd->octetLength = kOraNumberTextMax;
        r->extType = SQLT_VNU;
        r->needsBuffer = 1;
      }
      break;
    default:
      break;
  }
  // 6. Types the agent cannot carry.
  if (cd->valueType == kNoType || r->extType == kNoType) {
    LOG(LOG_ERR, "Unsupported database type %d", static_cast<int>(r->oraType));
    return E_S1000;
  }
  return 0;
}

int32_t db_GetColDesc(DB_Curs *c, uint16_t column) {
  AgentCursor *cur = c->owner;
  AgentConn *conn = cur->conn;
  OciColDesc *r = &c->resultDescs[column - 1];
  OCIError *errhp = c->err->errhp;
  void *param = nullptr;
  sword st = OCIParamGet(c->stmt, OCI_HTYPE_STMT, errhp, &param, column);
  if (!db_OciOk(st)) {
    LOG(LOG_ERR, "db_GetColDesc: OCIParamGet() failed");
    return db_OciFail(st, &cur->errs, c->err);
  }
  OraText *name = nullptr;
  ub4 nameLen = 0;
  ub2 size = 0;
  st = OCIAttrGet(param, OCI_DTYPE_PARAM, &name, &nameLen, OCI_ATTR_NAME, errhp);
  if (db_OciOk(st)) {
    if (nameLen > kOciColNameSize - 1) nameLen = kOciColNameSize - 1;
    if (name && nameLen) memcpy(r->name, name, nameLen);
    r->name[nameLen] = '\0';
  }
  int32_t rc = 0;
  if (db_OciOk(st) && conn->wide) {
    // Names travel up as UTF-8 (a name cut at a character boundary to fit
    // stays as cut, like the name OCI gave).
    if (db_CharsetToUTF8(c->conn->env, r->name, r->name, kOciColNameSize, nullptr) == -2) rc = E_S1000;
  }
  if (db_OciOk(st) && rc == 0) st = OCIAttrGet(param, OCI_DTYPE_PARAM, &r->oraType, nullptr, OCI_ATTR_DATA_TYPE, errhp);
  if (db_OciOk(st) && rc == 0) st = OCIAttrGet(param, OCI_DTYPE_PARAM, &size, nullptr, OCI_ATTR_DATA_SIZE, errhp);
  if (db_OciOk(st) && rc == 0) st = OCIAttrGet(param, OCI_DTYPE_PARAM, &r->precision, nullptr, OCI_ATTR_PRECISION, errhp);
  if (db_OciOk(st) && rc == 0) st = OCIAttrGet(param, OCI_DTYPE_PARAM, &r->scale, nullptr, OCI_ATTR_SCALE, errhp);
  if (db_OciOk(st) && rc == 0) st = OCIAttrGet(param, OCI_DTYPE_PARAM, &r->nullable, nullptr, OCI_ATTR_IS_NULL, errhp);
  r->charUsed = 0;
  r->charSize = 0;
  if (db_OciOk(st) && rc == 0 && (r->oraType == SQLT_CHR || r->oraType == SQLT_AFC)) {
    // CHAR(n CHAR), VARCHAR2(n CHAR) and the national types count
    // characters; their byte size is only the most they can take.
    ub1 used = 0, form = 0;
    st = OCIAttrGet(param, OCI_DTYPE_PARAM, &used, nullptr, OCI_ATTR_CHAR_USED, errhp);
    if (db_OciOk(st)) st = OCIAttrGet(param, OCI_DTYPE_PARAM, &form, nullptr, OCI_ATTR_CHARSET_FORM, errhp);
    if (db_OciOk(st)) st = OCIAttrGet(param, OCI_DTYPE_PARAM, &r->charSize, nullptr, OCI_ATTR_CHAR_SIZE, errhp);
    r->charUsed = (used != 0 || form == SQLCS_NCHAR) && r->charSize != 0 ? 1 : 0;
  }
  OCIDescriptorFree(param, OCI_DTYPE_PARAM);
  if (rc != 0 || !db_OciOk(st)) {
    LOG(LOG_ERR, "db_GetColDesc: OCIAttrGet() failed");
    return rc ? rc : db_OciFail(st, &cur->errs, c->err);
  }
  r->size = size ? size : 1;
  // A NUMBER(p) of up to 18 digits holds whole numbers that a 64-bit integer
  // carries exactly: fetched as one, it skips Oracle's decimal form and its
  // decoding, and still becomes the same exact text.
  const bool wholeNumber = r->oraType == SQLT_NUM && r->scale == 0 && r->precision >= 1 && r->precision <= 18;
  rc = db_ColDescMap(AgentCursor_ResultDesc(cur, column), column, r, conn->opts.jet, conn->item12, conn->wide);
  if (rc == 0 && wholeNumber && r->extType == SQLT_VNU) r->extType = SQLT_INT;
  return rc;
}

size_t db_OraNumberText(const unsigned char *num, size_t len, char *out) {
  if (len == 0 || len > kOraNumberSize - 1) return 0;
  if (len == 1 && num[0] == 0x80) {
    out[0] = '0';
    return 1;
  }
  const bool neg = (num[0] & 0x80) == 0;
  // value = 0.DIGITS x 10^point, two decimal digits a mantissa byte.
  int point = 2 * ((neg ? 62 - num[0] : num[0] - 193) + 1);
  char digits[2 * kOraNumberSize];
  size_t nd = 0;
  for (size_t i = 1; i < len; ++i) {
    if (neg && num[i] == 102) break;  // the terminator of a negative value
    const int d = neg ? 101 - num[i] : num[i] - 1;
    if (d < 0 || d > 99) return 0;
    digits[nd++] = static_cast<char>('0' + d / 10);
    digits[nd++] = static_cast<char>('0' + d % 10);
  }
  size_t first = 0;
  while (first < nd && digits[first] == '0') {
    ++first;
    --point;
  }
  while (nd > first && digits[nd - 1] == '0') --nd;
  if (first == nd) return 0;  // a mantissa of zeros is no NUMBER
  const char *dg = digits + first;
  nd -= first;
  size_t w = 0;
  if (neg) out[w++] = '-';
  const size_t plain = (point <= 0)                        ? 2 + static_cast<size_t>(-point) + nd
                       : static_cast<size_t>(point) >= nd ? static_cast<size_t>(point)
                                                           : nd + 1;
  if (w + plain < kOraNumberTextMax) {
    if (point <= 0) {
      out[w++] = '0';
      out[w++] = '.';
      for (int z = point; z < 0; ++z) out[w++] = '0';
      memcpy(out + w, dg, nd);
      w += nd;
    } else if (static_cast<size_t>(point) >= nd) {
      memcpy(out + w, dg, nd);
      w += nd;
      for (size_t z = nd; z < static_cast<size_t>(point); ++z) out[w++] = '0';
    } else {
      memcpy(out + w, dg, static_cast<size_t>(point));
      w += static_cast<size_t>(point);
      out[w++] = '.';
      memcpy(out + w, dg + point, nd - static_cast<size_t>(point));
      w += nd - static_cast<size_t>(point);
    }
    return w;
  }
  // Too long written out (Oracle goes from 1E-130 to below 1E+126).
  out[w++] = dg[0];
  if (nd > 1) {
    out[w++] = '.';
    memcpy(out + w, dg + 1, nd - 1);
    w += nd - 1;
  }
  int e = point - 1;
  out[w++] = 'E';
  out[w++] = e < 0 ? '-' : '+';
  if (e < 0) e = -e;
  if (e >= 100) out[w++] = static_cast<char>('0' + e / 100);
  out[w++] = static_cast<char>('0' + e / 10 % 10);
  out[w++] = static_cast<char>('0' + e % 10);
  return w;
}

void db_OraDateFromDate(unsigned char out[7], const void *odbcDate) {
  int16_t year;
  uint16_t month, day;
  const auto *p = static_cast<const unsigned char *>(odbcDate);
  memcpy(&year, p, 2);
  memcpy(&month, p + 2, 2);
  memcpy(&day, p + 4, 2);
  out[0] = static_cast<unsigned char>(year / 100 + 100);
  out[1] = static_cast<unsigned char>(year % 100 + 100);
  out[2] = static_cast<unsigned char>(month);
  out[3] = static_cast<unsigned char>(day);
  out[4] = out[5] = out[6] = 1;
}

void db_OraDateToday(unsigned char out[7]) {
  const time_t now = time(nullptr);
  struct tm t {};
  localtime_r(&now, &t);
  const int year = t.tm_year + 1900;
  out[0] = static_cast<unsigned char>(year / 100 + 100);
  out[1] = static_cast<unsigned char>(year % 100 + 100);
  out[2] = static_cast<unsigned char>(t.tm_mon + 1);
  out[3] = static_cast<unsigned char>(t.tm_mday);
  out[4] = out[5] = out[6] = 1;
}

void db_OraDateFromTime(unsigned char out[7], const unsigned char day[7], const void *odbcTime) {
  uint16_t hms[3];
  memcpy(hms, odbcTime, sizeof hms);
  memcpy(out, day, 4);
  out[4] = static_cast<unsigned char>(hms[0] + 1);
  out[5] = static_cast<unsigned char>(hms[1] + 1);
  out[6] = static_cast<unsigned char>(hms[2] + 1);
}
