#pragma once
// Row versions of dynamic cursors, kept in the user's table TVXRVC
// (HCONN, HCURS, KEYVER, ROWVER, all text): per cursor and key the MD5
// digest of the row's values, so that a re-read row whose digest changed is
// reported updated. The table is read and written on a connection of its
// own, opened with the cursor connection's connect request, so that version
// changes never join the user's transaction.
//
// HCONN and HCURS are 8 hex digits that no two live cursors share, in this
// process or another: HCONN is the process id, HCURS the slots of the
// cursor's connection and statement handles. Digests put a NULL mark and
// the length in front of every value, so that ('AB','C') and ('A','BC'),
// or (NULL,'x') and ('x',NULL), never share one.
//
// Errors of the row-version statement and connection are kept in the
// control record until the cursor layer hands them on (RVC_TakeErrors).
// Results are SqlStateTable rows: 0, 15 (S1000), 16 (S1001), or the lower
// operation's code.
#include <cstddef>
#include <cstdint>

#include "odbc/drvops.h"

struct Dataset;

// The row-version connection one cursor uses.
struct RvcConn {
  DrvHandle conn;      // the row-version connection
  DrvHandle stmt;      // its statement
  char *dbPath;        // copy of the connect request's database path, or none
  int32_t refs;
  RvcConn *next;
};

struct RowVerCtl {
  const DrvObject *lower;  // where the row-version statements run; none before attach
  int32_t needbind;        // the row-version connection wants parameter descriptions
  uint32_t hconn;          // HCONN value
  uint32_t hcurs;          // HCURS value
  DrvHandle stmt;          // the row-version statement, 0 none
  char **errors;           // moved error texts ("[...]text[SQLSTATE:xxxxx]"), owned
  uint32_t errorCount;
};

void RVC_Init(RowVerCtl *ctl);
// Opens the cursor's row-version connection and statement through lower
// with the cursor connection's connect request (15 without one). lowerConn
// and lowerStmt are the cursor's own handles below the layer.
int RVC_Attach(RowVerCtl *ctl, const DrvObject *lower, DrvHandle server, const ConnectReq *req, DrvHandle lowerConn,
               DrvHandle lowerStmt, int32_t needbind);
// Closes the connection when its last user goes; frees kept errors. 0.
int RVC_Detach(RowVerCtl *ctl);
// Deletes the cursor's versions; a failure (TVXRVC missing) keeps the
// database's errors followed by IM926.
int RVC_DeleteVersions(RowVerCtl *ctl);
// Compares the versions of count rows (key row first + k of keys, values row
// k of values) with the stored ones: status[k] 2 for a changed row (its
// version is brought up to date), 0 otherwise; rows without a version get
// one (status 5 when writing it failed). 15 when two versions exist for one
// key.
int RVC_CheckVersions(RowVerCtl *ctl, const Dataset *keys, uint32_t first, const Dataset *values, uint32_t count,
                      int16_t *status);
// Writes the row digest of every row whose status is 2; a row whose write
// fails or changes nothing gets status 5. The code of the last statement.
// keyDigests and rowDigests hold 16 bytes per row.
int RVC_UpdateVersions(RowVerCtl *ctl, const unsigned char *keyDigests, const unsigned char *rowDigests,
                       int16_t *status, uint32_t count);
// MD5 of one row: per column (long data left out) a NULL mark, the value's
// length (4 bytes) and its bytes.
int RVC_RowDigest(const Dataset *ds, uint32_t row, unsigned char digest[16]);
// Upper-case hex of n bytes, NUL-terminated; an output too small for
// 2n + 1 characters takes as many whole bytes as fit. *len = digits written.
void RVC_HexEncode(const unsigned char *bytes, size_t n, char *out, size_t outSize, size_t *len);
// The "%08lX" text of HCONN or HCURS.
void RVC_HandleText(uint32_t value, char out[9]);
// Moves the row-version statement's and connection's errors into ctl.
void RVC_MoveErrors(RowVerCtl *ctl);
// Hands the kept errors out as DRV_GetErrors does (the caller frees each
// text and the array) and empties the list. 0 or 16.
int RVC_TakeErrors(RowVerCtl *ctl, DrvMsgList *out);
