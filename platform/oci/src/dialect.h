// Oracle SQL on SQLite: the stand-in client library's translation layer.
//
// The statement path calls dl_translate once per prepare; the connection path
// calls dl_register once per sqlite3 connection (after opening and attaching
// the schemas). Everything here returns plain codes: 0 for success, else an
// Oracle error number with its text in a DlError.
//
// How Oracle values live in SQLite (the statement path relies on it when it
// binds and fetches):
// - NUMBER: INTEGER when integral and within 64 bits, else REAL. Fetched as
//   text it must use dl_number_text (Oracle's form: ".5", "-.5", "10").
// - VARCHAR2/CHAR/CLOB/LONG: TEXT (UTF-8). The empty string is NULL: bind an
//   empty character value as NULL.
// - DATE: TEXT "YYYY-MM-DD HH24:MI:SS"; TIMESTAMP: TEXT
//   "YYYY-MM-DD HH24:MI:SS.FFFFFFFFF" (always nine fraction digits). Both sort
//   and compare as text; the function library does the arithmetic. Use
//   dl_datetime_parse / dl_datetime_text to convert.
// - RAW/LONG RAW/BLOB: BLOB. BINARY_FLOAT/BINARY_DOUBLE: REAL.
// - ROWID: SQLite's rowid; its text form (dl_rowid_text) is 18 decimal digits.
//
// Tables made by the translated DDL call the library (CHECK constraints that
// raise Oracle's errors, triggers that pad CHAR and round NUMBER(p,s), the
// ORA_DT and RTRIM collations): every connection that writes to them needs
// dl_register. The translation also keeps objects of its own in a schema:
// the table "ORA$SEQ" (sequences) and triggers named "<table>$<column>$I/U";
// a listing of the user's tables should leave out names containing '$'
// that it did not create.
#pragma once

#include <cstddef>
#include <cstdint>
#include <map>
#include <string>
#include <utility>
#include <vector>

struct sqlite3;
struct sqlite3_stmt;

// Statement kinds. 1 to 10 are the values of OCI_ATTR_STMT_TYPE; OCI reports
// the others as 0 (dl_oci_stmt_type).
enum DlKind : int {
  DL_UNKNOWN = 0,
  DL_SELECT = 1,
  DL_UPDATE = 2,
  DL_DELETE = 3,
  DL_INSERT = 4,
  DL_CREATE = 5,
  DL_DROP = 6,
  DL_ALTER = 7,
  DL_BEGIN = 8,    // PL/SQL block beginning with BEGIN
  DL_DECLARE = 9,  // PL/SQL block beginning with DECLARE
  DL_CALL = 10,    // CALL statement
  DL_OTHER_DDL = 20,      // TRUNCATE, RENAME, COMMENT, GRANT, REVOKE
  DL_COMMIT = 21,
  DL_ROLLBACK = 22,
  DL_SAVEPOINT = 23,      // sql holds "SAVEPOINT name"
  DL_ROLLBACK_TO = 24,    // sql holds "ROLLBACK TO name"
  DL_SET_TRANSACTION = 25,
  DL_ALTER_SESSION = 26,  // apply with dl_session_apply; nothing to run
  DL_LOCK_TABLE = 27,     // accepted; sql is empty
};

// Oracle type codes as OCI describe reports them.
enum DlOraType : uint16_t {
  DL_T_UNKNOWN = 0,
  DL_T_VARCHAR2 = 1,
  DL_T_NUMBER = 2,
  DL_T_LONG = 8,
  DL_T_DATE = 12,
  DL_T_RAW = 23,
  DL_T_LONG_RAW = 24,
  DL_T_CHAR = 96,
  DL_T_BINARY_FLOAT = 100,
  DL_T_BINARY_DOUBLE = 101,
  DL_T_ROWID = 104,
  DL_T_CLOB = 112,
  DL_T_BLOB = 113,
  DL_T_TIMESTAMP = 187,
};

// One error: the Oracle error number, Oracle's message text without the
// "ORA-nnnnn: " prefix and without a trailing newline, and the byte offset in
// the statement text where a translation error was found (0 when unknown).
struct DlError {
  int code = 0;
  int offset = 0;
  char message[512] = {};
};

// One bind placeholder occurrence in the statement, in text order.
// SQL statements: every occurrence is its own position (1, 2, 3 ... in text
// order) even when names repeat; binding by name binds every occurrence with
// that name. PL/SQL blocks: positions count distinct names.
struct DlBind {
  char name[32] = {};  // without the colon; upper-cased unless quoted ("1", "ID")
  int position = 0;    // the position OCIBindByPos gives for this occurrence
  int param = 0;       // SQLite parameter number in DlStatement::sql ("?NNN")
  bool output = false; // PL/SQL assignment target: receives column 1 of the
                       // translated SELECT (see DlStatement::plsql_result)
  // The column of DlStatement::target_table this placeholder's value is
  // stored into when it is a whole VALUES item or SET value: by name, or by
  // place (0-based) for an INSERT without a column list; empty and -1 else.
  std::string target_column;
  int target_index = -1;
};

// The type of a column or select-list expression as describe reports it.
struct DlColType {
  uint16_t type = DL_T_UNKNOWN;  // DlOraType
  uint32_t size = 0;             // OCI_ATTR_DATA_SIZE (bytes)
  int16_t precision = 0;         // NUMBER: 0 when not given; FLOAT: binary precision
  int8_t scale = 0;              // -127 for NUMBER without precision and FLOAT
  uint8_t csform = 1;            // 1 implicit, 2 NCHAR (NCHAR, NVARCHAR2, NCLOB)
  uint32_t char_length = 0;      // declared length in characters (CHAR semantics)
  bool nullable = true;
};

// One select-list item of a SELECT.
struct DlItem {
  std::string name;   // the name Oracle reports: alias, column name or the
                      // upper-cased expression text without blanks
  bool star = false;  // "*" or "t.*": expands to several columns
  DlColType type;     // what the expression is known to give; DL_T_UNKNOWN when
                      // only the column's declared type can tell
  bool is_count = false;  // COUNT(...): NUMBER precision 0 scale 0
  bool expression = false;  // named by its text (no alias, not a plain column)
  // When the type depends on a column whose type only the schema knows:
  // probe[0] (and probe[1]) are SQLite queries whose one column's declared
  // type is looked up at describe time, and rule says how to combine them
  // (dl_describe_column does this).
  int rule = 0;
  std::string probe[2];
};

// ALTER TABLE ... ADD or DROP of a constraint. SQLite can do neither in
// place: dl_alter_constraint checks the rows and remakes the table.
struct DlConstraintChange {
  bool add = false;
  std::string schema;  // the table's SQLite schema ("main" or the owner)
  std::string table;
  char type = 0;       // 'P', 'U', 'R', 'C'; 0 for a DROP CONSTRAINT by name
  std::string name;    // as written; "" for an unnamed one
  std::vector<std::string> columns;   // P, U, R
  std::string clause;  // ADD: the SQLite table constraint, without its name
  std::string check;   // C: the SQLite condition
  // R: the referenced table ("" owner: the table's schema), its columns as
  // written ("" the key) and the delete rule.
  std::string r_owner, r_table, rule;
  std::vector<std::string> r_columns;
  bool cascade = false;  // DROP ... CASCADE: the keys referencing it go too
};

// One translated statement.
struct DlStatement {
  DlKind kind = DL_UNKNOWN;
  std::string sql;           // SQLite text; may hold several statements separated
                             // by ";" (DDL only: run it whole, e.g. sqlite3_exec)
  bool ddl = false;          // commits the open transaction before and after
  bool has_for_update = false;
  // FOR UPDATE: how long to wait for the locks (ms); 0 NOWAIT, -1 the
  // session's lock timeout.
  int for_update_wait_ms = -1;
  bool plsql_result = false; // PL/SQL "BEGIN :x := expr; END;": sql is a SELECT
                             // whose one column goes to the bind marked output
  std::vector<DlBind> binds; // in text order
  // INSERT and UPDATE: the table written (schema as written, "" for the
  // session's own, and name), for the placeholders' target columns.
  std::string target_schema, target_table;
  int position_count = 0;    // distinct positions (what PARAM_COUNT reports)
  std::vector<DlItem> items; // SELECT only
  // The select lists of a compound query's later members (UNION ...): a
  // column is described from every member, as Oracle does.
  std::vector<std::vector<DlItem>> member_items;
  std::vector<std::string> member_sql;  // their SQLite text, to describe them alone
  std::string savepoint;     // DL_SAVEPOINT / DL_ROLLBACK_TO: the name
  std::string session_param; // DL_ALTER_SESSION: last parameter name (upper-case);
                             // DL_SET_TRANSACTION: the options as written
  std::string session_value; // DL_ALTER_SESSION: its value, quotes removed
  std::vector<std::pair<std::string, std::string>> session_params;  // every pair
                             // of an ALTER SESSION SET, in order
  // CREATE TABLE ... AS SELECT: the table (schema prefix and name) and the
  // query; dl_exec_ddl creates the table with the query's Oracle types.
  std::string ctas_schema, ctas_table, ctas_query;
  // ALTER TABLE ... ADD/DROP CONSTRAINT (table set): run by
  // dl_alter_constraint instead of sql.
  DlConstraintChange constraint;
};

// Per-connection state read by the function library (USER, SYSDATE, NLS
// formats). It must outlive the sqlite3 connection it is registered on.
struct DlSession {
  std::string user;                  // upper-case schema of the session ("SCOTT")
  std::string nls_date_format = "DD-MON-RR";
  std::string nls_timestamp_format = "DD-MON-RR HH.MI.SSXFF AM";
  int64_t statement_time_us = 0;     // SYSDATE of the running statement (UTC
                                     // microseconds); 0: read the clock
  std::map<std::string, int64_t> currval;  // "SCHEMA.SEQ" -> last NEXTVAL here
  // The synonyms the session reaches: {owner, name} -> {table owner, table}.
  // Owner "" holds the names a bare reference reaches (the session's own
  // private synonyms, then the public ones, where no own object has the
  // name); dl_refresh_synonyms keeps it.
  std::map<std::pair<std::string, std::string>, std::pair<std::string, std::string>> synonyms;
};

// Translates one Oracle SQL statement. session may be null (no schema
// rewriting of the own user's name to "main"). Returns 0, or the Oracle error
// number (also in *err).
int dl_translate(const char* text, size_t len, const DlSession* session,
                 DlStatement* out, DlError* err);

// OCI_ATTR_STMT_TYPE of a kind.
int dl_oci_stmt_type(DlKind kind);

// Registers the Oracle function library and the connection settings the
// translation relies on (case-sensitive LIKE, no double-quoted string
// literals). Returns a SQLite result code.
int dl_register(sqlite3* db, DlSession* session);

// Runs a translated DDL statement (st->ddl) on db: its script, or for
// CREATE TABLE ... AS SELECT a table whose columns keep the query's Oracle
// types. session names the owner in messages. Returns 0 or an Oracle error.
int dl_exec_ddl(sqlite3* db, const DlStatement* st, const DlSession* session, DlError* err);

// Applies a translated ALTER SESSION. Returns 0 or an Oracle error number.
int dl_session_apply(DlSession* session, const DlStatement* st, DlError* err);

// Fixes SYSDATE/SYSTIMESTAMP for the statement about to run (call at every
// execute). Reads the system clock.
void dl_session_statement_start(DlSession* session);

// Maps a SQLite failure (extended result code and message, as from
// sqlite3_extended_errcode / sqlite3_errmsg) to an Oracle error. Returns the
// Oracle error number (also in *err).
// session (may be null) names the schema in messages that quote a column.
int dl_map_sqlite_error(int sqlite_rc, const char* sqlite_msg, DlError* err,
                        const DlSession* session = nullptr);

// Fills err with an Oracle error number and its standard text; the text may
// contain one "%s", filled from arg. Returns code.
int dl_set_error(DlError* err, int code, const char* arg = nullptr);

// Standard message text of an Oracle error number (without "ORA-nnnnn: ").
const char* dl_ora_message(int code);

// Describe: parses a SQLite declared column type written by the translation
// of CREATE TABLE ("NUMBER(10,2)", "VARCHAR2(20)", "DATE" ...). False when it is
// not one of ours.
bool dl_parse_decltype(const char* decl, DlColType* out);

// NUMBER values are kept as 64-bit integers or doubles. true when the decimal
// text (sign, digits, point, exponent) is a whole number within 64 bits or has
// at most 15 significant digits, so that it is stored without rounding.
bool dl_number_exact(const char* text, size_t len);
// The message of ORA-03001 for a number that is not (names value and limit).
std::string dl_number_inexact_message(const std::string& value);

// Registers Oracle's dictionary views (ALL_OBJECTS, ALL_TAB_COLUMNS, ...) on a
// session's connection (dictionary.cpp).
int dl_register_dictionary(sqlite3* db);

// Makes the synonyms a session can use reachable by their names on its
// connection (temporary views of their targets), after the logon and after
// DDL. user: the session's schema; session (may be null) gets the synonym
// map the translation resolves DML targets with. Returns a SQLite result code.
int dl_refresh_synonyms(sqlite3* db, const std::string& user, DlSession* session = nullptr);

// Runs an ALTER TABLE that adds or drops a constraint (st->constraint): the
// existing rows are checked against a new one, the table is remade with its
// rows, indexes and triggers, and keys to other schemas are recorded.
// Runs outside a transaction. Returns 0 or an Oracle error.
int dl_alter_constraint(sqlite3* db, const DlStatement* st, const DlSession* session, DlError* err);

// Describe of result column col (0-based) of a prepared statement translated
// as st: the select-list item's type when known, else the column's declared
// type, else VARCHAR2(4000). Also gives the name Oracle reports.
void dl_describe_column(const DlStatement* st, sqlite3_stmt* stmt, int col,
                        DlColType* out, std::string* name);

// A compound query (UNION, INTERSECT, MINUS) whose members select a LONG or
// LONG RAW column: ORA-00997, as Oracle refuses it. Returns 0 or the error.
int dl_check_set_operation(const DlStatement* st, sqlite3_stmt* stmt, DlError* err);

// --- Value forms ---

// Oracle's text form of a number: at most 40 characters, ".5", "-.5", "100",
// "1.0E+40". Writes a NUL-terminated text into buf (at least 48 bytes) and
// returns its length.
size_t dl_number_text(double v, char* buf);
size_t dl_int_text(int64_t v, char* buf);

// Parses Oracle number text (blanks around allowed; "1e3", ".5", "+3").
// Returns 1 for an integer (*i set), 2 for a double (*d set), 0 when invalid.
int dl_parse_number(const char* s, size_t len, int64_t* i, double* d);

struct DlDateTime {
  int year = 0, month = 0, day = 0, hour = 0, minute = 0, second = 0;
  int nanos = 0;
};

// Parses the stored DATE or TIMESTAMP text; *is_timestamp tells which
// (may be null). False when the text is not one of the two forms.
bool dl_datetime_parse(const char* s, size_t len, DlDateTime* out, bool* is_timestamp);

// Writes the stored form (19 characters for a DATE, 29 for a TIMESTAMP) with a
// NUL into buf (at least 32 bytes); returns the length.
size_t dl_datetime_text(const DlDateTime* dt, bool timestamp, char* buf);

// The 18-character text of a rowid (decimal, zero-padded, so it sorts as the
// rowid does and SQLite compares it equal to the rowid).
size_t dl_rowid_text(int64_t rowid, char* buf);
