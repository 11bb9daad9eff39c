#pragma once
// Small routines shared by the front end and the agent for what passes
// between them: date, time and timestamp literal parsers, the release of a
// request's texts and of an error list handed up by the agent, and two
// copy-out routines with ODBC's truncation rules. All work on memory the
// caller owns and keep no state.
#include <sqltypes.h>

#include <cstdint>

struct SqlRequest;  // drv_ora8/o-sql.h
struct DrvMsgList;  // odbc/drvops.h

// The literal parsers zero the record, skip one leading "'", then take each
// field from the next token of the text (split in place; runs of separators
// are skipped) as a decimal number read up to the first character that is
// not part of one (leading blanks and a sign allowed; no digits is 0). A
// missing token leaves its field and the later ones 0.
//   date:      year, month, day, each ending at "-" or "/"
//   time:      hour, minute, second, each ending at ":"
//   timestamp: year and month ending at "-" or "/", day at "-", "/" or a
//              blank, hour and minute at ":", second at ":" or ".", then the
//              fraction as the plain integer after the point ("5" -> 5).
void ParseDateLiteral(SQL_DATE_STRUCT *out, char *text);
void ParseTimeLiteral(SQL_TIME_STRUCT *out, char *text);
void ParseTimestampLiteral(SQL_TIMESTAMP_STRUCT *out, char *text);

// Frees a request's text and translated text and clears both pointers; its
// other fields are left. A null request is ignored.
void RequestFree(SqlRequest *req);

// Frees the first count texts and the array; count 0, array null; the
// native code is left. A null list is ignored.
void DrvMsgListFree(DrvMsgList *list);

// Strict copy. -1 with nothing written for a null source or buffer, or a
// buffer size of 0; 0 when the text fits with its NUL (*len = its length);
// else -1 with the first size - 1 bytes and a NUL, *len = size - 1. Lengths
// are reported in 16 bits.
int StrCopyOut(const char *src, char *buf, uint16_t size, int16_t *len);

// ODBC-style copy: *len (when given) always receives the full length of the
// source (in 16 bits). -1 for a null source (nothing written); 0 for a null
// buffer (a length query) or a text that fits with its NUL; -1 for a buffer
// size of 0 (nothing copied) or a cut text (first size - 1 bytes and a NUL).
int StrCopyOutLen(const char *src, char *buf, uint16_t size, int16_t *len);
