// Prepared XA branches kept in the schema files they changed, so that a
// branch prepared before a crash can still be committed or rolled back, by
// any process. Until then the changed tables refuse writes (ORA-01591) and
// every reader sees the rows as they were before the branch.
#pragma once

#include <cstdint>
#include <map>
#include <set>
#include <string>
#include <utility>
#include <vector>

#include "backend.h"
#include "xa.h"

namespace ocl {

// The rows a branch changed, by (schema alias, table), noted while on.
struct XaRows {
  bool on = false;
  std::map<std::pair<std::string, std::string>, std::set<int64_t>> rows;
};

// The same format, lengths and bytes.
bool xs_same_xid(const XID& a, const XID& b);

// Notes every row changed on c into *rows while rows->on is set.
void xs_track(BeConn* c, XaRows* rows);
// Marks the start of a branch inside the open transaction of c.
int xs_begin(BeConn* c, DlError* err);
// Takes the branch's changes out of the open transaction of c and records
// them with the XID in each schema file changed, ending the transaction.
// 0, or an Oracle error (the transaction is then rolled back).
int xs_prepare(BeConn* c, XaRows* rows, const XID& xid, DlError* err);
// Applies (commit) or drops a recorded branch in one SQLite transaction on c,
// which must have no transaction open. 0 done, -1 no such branch, else an
// Oracle error.
int xs_finish(BeConn* c, const XID& xid, bool commit, DlError* err);
// Test hook: the next finishes end the process with SIGKILL once they have
// completed that many schema files between them (0: never).
void xs_test_crash_after(int files);
// The recorded branches of every schema of c's database (c has no
// transaction open: schemas beyond SQLite's limit are attached in turn).
int xs_recover(BeConn* c, std::vector<XID>* out, DlError* err);
bool xs_recorded(BeConn* c, const XID& xid);

}  // namespace ocl
