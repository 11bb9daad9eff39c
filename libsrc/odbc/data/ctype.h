#pragma once
// ODBC C types: defaults and sizes, the copy rules through which every text
// and binary result reaches an application buffer, and hexadecimal decoding.
//
// Results are reported the way every conversion of the data exchange layer
// reports them: an SQLRETURN, with the SQLSTATE stored as an SqlStateTable
// code in the statement's pending code (passed here as a pointer). E_01004
// marks a cut value or one with more to come; a copy returns
// SQL_SUCCESS_WITH_INFO whenever E_01004 is pending, also when an earlier
// cell of the same call left it there.
#include <sql.h>
#include <sqlext.h>
#include <sqlucode.h>

#include <cstddef>
#include <cstdint>

// The C type that SQL_C_DEFAULT stands for, for an SQL type and the
// environment's ODBC version (3 = ODBC 3, anything else ODBC 2).
SQLSMALLINT DefaultCType(SQLSMALLINT sqlType, int odbcVersion);

// Octet size of a fixed-size C type; 0 for the variable-length ones.
SQLLEN CTypeSize(SQLSMALLINT cType);

// Name of a C type for trace lines; "(unknown type)" when not known.
const char *CTypeName(SQLSMALLINT cType);

// Whether an application may name the C type: the named ones, the interval
// types and SQL_C_DEFAULT.
bool CTypeKnown(SQLSMALLINT cType);

// The four copy rules. Arguments, in order:
//   src, srcLen    the part of the value handed over now;
//   pieceLen       its length again (0 for fixed-size results);
//   total          what is left of the whole value including this part;
//                  0 = srcLen, SQL_NO_TOTAL = not known;
//   terminate      append a NUL (one byte narrow, two bytes wide);
//   cutAllowed     a value that does not fit is cut (01004), else 22003;
//   dst, dstLen    the application buffer, its length in bytes;
//   lenPtr         receives the length of the data available (may be null);
//   pending        the statement's pending code;
//   consumed       receives how much of the source reached the buffer, in the
//                  source's own length unit (may be null). A caller returning
//                  a value in parts continues from there.
// Lengths of narrow text are UTF-8 bytes, of wide text bytes of UTF-16 except
// where noted. Text copies never end inside a UTF-8 sequence or between the
// two units of a surrogate pair; text whose end is not yet in hand (more to
// come) holds back an incomplete last character.

// Narrow text (terminate set) or raw bytes (terminate clear) into a narrow
// buffer. Lengths in bytes.
SQLRETURN CopyCharOut(const void *src, SQLLEN srcLen, SQLLEN pieceLen, SQLLEN total, bool terminate,
                      bool cutAllowed, void *dst, SQLLEN dstLen, SQLLEN *lenPtr, int *pending,
                      SQLLEN *consumed = nullptr);

// UTF-16 text into a narrow (UTF-8) buffer. Source, piece and total in
// UTF-16 units; the length reported is the UTF-8 byte length of the rest of
// the value, or SQL_NO_TOTAL when part of it is not in hand; consumed is in
// units.
SQLRETURN CopyWCharToChar(const void *src, SQLLEN srcLen, SQLLEN pieceLen, SQLLEN total,
                          bool terminate, bool cutAllowed, void *dst, SQLLEN dstLen,
                          SQLLEN *lenPtr, int *pending, SQLLEN *consumed = nullptr);

// Narrow (UTF-8) text into a UTF-16 buffer. Source, piece and total in bytes;
// the length reported is the UTF-16 byte length of the rest of the value, or
// SQL_NO_TOTAL when part of it is not in hand; consumed is in source bytes.
SQLRETURN CopyCharToWChar(const void *src, SQLLEN srcLen, SQLLEN pieceLen, SQLLEN total,
                          bool terminate, bool cutAllowed, void *dst, SQLLEN dstLen,
                          SQLLEN *lenPtr, int *pending, SQLLEN *consumed = nullptr);

// UTF-16 text, or raw bytes, into a wide buffer. Lengths in bytes.
SQLRETURN CopyWCharOut(const void *src, SQLLEN srcLen, SQLLEN pieceLen, SQLLEN total,
                       bool terminate, bool cutAllowed, void *dst, SQLLEN dstLen, SQLLEN *lenPtr,
                       int *pending, SQLLEN *consumed = nullptr);

// Value of a hexadecimal digit ('0'-'9', 'a'-'f', 'A'-'F'), or -1 for any
// other character.
int HexDigitValue(int c);

// Decodes len hexadecimal characters into len / 2 bytes at dst (callers size
// dst so). Returns 0, or E_22005 when a character is not a hexadecimal digit
// or the count is odd; the bytes before the fault are written.
int HexToBinary(void *dst, const char *hex, size_t len);
