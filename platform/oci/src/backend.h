// The storage engine behind the OCI stand-in. Everything that touches SQLite
// directly lives behind these functions (backend_sqlite.cpp); the OCI layer
// sees opaque connections and statements, Oracle error numbers and plain
// values. Results: 0 for success, else an Oracle error number with its text
// in the DlError.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "dialect.h"

struct sqlite3;

namespace ocl {

struct BeConn;
struct BeStmt;

enum BeType : int { BE_NULL = 0, BE_INT = 1, BE_REAL = 2, BE_TEXT = 3, BE_BLOB = 4 };

// One value read from a result column or handed to a bind. Text and blob
// pointers stay valid until the statement steps, resets or is finalized.
struct BeValue {
  BeType type = BE_NULL;
  int64_t i = 0;
  double d = 0;
  const char* p = nullptr;
  size_t n = 0;
};

// Called while a statement runs or waits for a lock: a true answer interrupts
// it (Oracle error 1013).
using BeBreakFn = bool (*)(void* ctx);

// ---- Database directories and users ----------------------------------------

struct BeUser {
  std::string name;
  int flags = 0;
};

// Resolves a connect identifier to a database directory ("" when none).
std::string be_resolve_database(const std::string& connect_id);
bool be_database_exists(const std::string& dir);
// Why dir is no database, naming the path: for the text of a failed attach.
std::string be_database_missing(const std::string& dir);
int be_db_create(const std::string& dir, DlError* err);
int be_user_create(const std::string& dir, const std::string& user, const std::string& password,
                   DlError* err);
int be_user_drop(const std::string& dir, const std::string& user, DlError* err);
int be_user_password(const std::string& dir, const std::string& user,
                     const std::string& password, DlError* err);
int be_user_flags(const std::string& dir, const std::string& user, int flags, DlError* err);
int be_user_list(const std::string& dir, std::vector<BeUser>* out, DlError* err);
// Checks a logon: 0 (user's flags in *flags), 1017 wrong user or password.
// With users, a successful check also lists the database's users (as
// be_user_list does) from the same opening of the catalog.
int be_check_logon(const std::string& dir, const std::string& user, const std::string& password,
                   int* flags, DlError* err, std::vector<BeUser>* users = nullptr);

// ---- Connections -------------------------------------------------------------

// Opens the user's schema as main, attaches the other schemas by name and
// registers the Oracle function library with the session state (which must
// outlive the connection). users: the database's users when the caller has
// just read them (be_check_logon), else NULL and they are read here.
int be_open(const std::string& dir, const std::string& user, DlSession* session,
            BeBreakFn brk, void* brk_ctx, BeConn** out, DlError* err,
            const std::vector<BeUser>* users = nullptr);
void be_close(BeConn* c);
// Runs a whole text (one or more statements) without results.
int be_exec(BeConn* c, const char* sql, DlError* err);
// One statement without results, kept prepared on the connection for the
// next time the same text runs (texts the stand-in itself runs often).
int be_exec_kept(BeConn* c, const char* sql, DlError* err);
bool be_in_transaction(BeConn* c);
// Makes the synonyms and keys across schemas the session can see take
// effect on its connection again.
void be_refresh_synonyms(BeConn* c);
// After the session's DDL: tells the other sessions (through the database's
// DDL stamp) and refreshes this one.
void be_note_ddl(BeConn* c);
// Before DML: refreshes when another session's DDL came since.
void be_check_ddl(BeConn* c);
int be_begin(BeConn* c, DlError* err);
int be_commit(BeConn* c, DlError* err);
int be_rollback(BeConn* c, DlError* err);
// SELECT ... FOR UPDATE: opens the transaction when none is open and takes
// the write lock of every schema the query (SQLite text) reads, held to its
// end. Waits wait_ms for another session's lock (0 none, -1 the session's
// lock timeout), then ORA-00054; a break gives ORA-01013. A failure leaves
// no transaction that this call opened.
int be_lock_for_update(BeConn* c, const std::string& sql, int wait_ms, DlError* err);
int64_t be_changes(BeConn* c);
int64_t be_last_rowid(BeConn* c);
// The schemas beyond SQLite's limit that c has not attached, and attaching
// one of them (detaching one that no statement or transaction holds), for
// the XA branch store, which visits every schema.
std::vector<std::string> be_unattached(BeConn* c);
int be_attach(BeConn* c, const std::string& schema, DlError* err);
// The SQLite connection underneath, for the XA branch store (oci_xa_store.cpp).
::sqlite3* be_sqlite(BeConn* c);

// ---- Statements --------------------------------------------------------------

int be_prepare(BeConn* c, const std::string& sql, BeStmt** out, DlError* err);
void be_finalize(BeStmt* s);
// 1 a row is ready, 0 done, -1 failed (the Oracle error in *err).
int be_step(BeStmt* s, DlError* err);
void be_reset(BeStmt* s);
bool be_readonly(BeStmt* s);
int be_column_count(BeStmt* s);
int be_param_count(BeStmt* s);
void be_column(BeStmt* s, int col, BeValue* v);
// The column's type and name as Oracle's describe reports them.
void be_describe(BeStmt* s, const DlStatement* st, int col, DlColType* type, std::string* name);
// Where a result column comes from: schema, table and column, when it is a
// plain column of a table ("" otherwise).
void be_column_origin(BeStmt* s, int col, std::string* schema, std::string* table,
                      std::string* column);
int be_bind(BeStmt* s, int param, const BeValue& v, DlError* err);
// Checks what only the compiled statement tells (LONG in a set operation).
int be_check_compiled(BeStmt* s, const DlStatement* st, DlError* err);
void be_clear_bindings(BeStmt* s);

// ---- Catalog -----------------------------------------------------------------

struct BeColumnInfo {
  std::string name;
  DlColType type;
};

// Describes a table or view of a schema ("" = the session's own). Returns 0,
// or 4043 when there is no such object. *is_view tells which.
int be_describe_object(BeConn* c, const std::string& schema, const std::string& name,
                       bool* is_view, std::string* real_schema, std::string* real_name,
                       std::vector<BeColumnInfo>* cols, DlError* err);

// True when a table's column (by name, or by place when name is empty) is
// declared NUMBER or FLOAT; s gives the connection. schema "" is the
// session's own.
bool be_column_is_number(BeStmt* s, const std::string& schema, const std::string& table,
                         const std::string& column, int index);

}  // namespace ocl
