// Stored code on the stand-in: procedures, functions and packages kept in the
// schema, and the anonymous blocks that call them. A unit is parsed once (at
// CREATE, or the first time a process meets its source) into the tree below;
// plsql_exec.cpp walks that tree, handing every expression and SQL statement
// to the dialect as SQL with the variables bound.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "backend.h"
#include "dialect.h"

namespace ocl {

struct Session;
struct Stmt;
struct Error;
struct Param;
struct Env;

// ---- The parsed tree -----------------------------------------------------------

enum PlTk : int { PK_WORD, PK_QID, PK_STR, PK_NUM, PK_BIND, PK_OP, PK_END };

struct PlTok {
  PlTk t = PK_END;
  std::string v;  // words upper-cased, quoted names and strings without quotes
  int off = 0, end = 0;
};

// The types a variable or argument may have.
struct PlType {
  std::string name;        // ALL_ARGUMENTS.DATA_TYPE: NUMBER, VARCHAR2, DATE, REF CURSOR ...
  uint16_t code = 0;       // OCI's type code (2, 1, 12, 102 ...)
  int length = 0;          // 0: unconstrained
  int precision = -1;      // -1: not given
  int scale = -1;
  bool cursor() const { return code == 102; }
};

// A run of tokens [b, e) of the unit's text: an expression, condition or SQL.
struct PlExpr {
  int b = 0, e = 0;
  bool empty() const { return b >= e; }
};

struct PlTarget {
  std::string name;  // a variable, or a placeholder's name (bind true)
  bool bind = false;
  int tok = 0;
};

struct PlActual {
  std::string named;  // "name => expr"
  PlExpr e;
};

struct PlBody;

struct PlStmt {
  enum Kind {
    NUL, ASSIGN, IF, LOOP, WHILE, FOR, EXIT, RETURN, OPEN, SELECT_INTO, DML, CALL, BLOCK
  } kind = NUL;
  int tok = 0;                             // where it starts (for messages)
  PlTarget target;                         // ASSIGN, OPEN
  PlExpr expr;                             // ASSIGN, RETURN, EXIT WHEN, OPEN's query, DML
  std::vector<PlExpr> conds;               // IF/ELSIF; WHILE
  std::vector<std::vector<PlStmt>> parts;  // IF branches (one more for ELSE); loop bodies in parts[0]
  std::string var;                         // FOR
  bool reverse = false;
  PlExpr lo, hi;
  std::vector<std::string> name;           // CALL: the called name's parts
  bool paren = false;
  std::vector<PlActual> args;
  std::vector<PlTarget> into;              // SELECT_INTO
  PlExpr list, rest;                       // SELECT_INTO: select list, FROM ... to the end
  std::shared_ptr<PlBody> block;           // BLOCK
};

struct PlDecl {
  std::string name;
  PlType type;
  PlExpr init;
  bool constant = false;
  bool not_null = false;
};

struct PlBody {
  std::vector<PlDecl> decls;
  std::vector<PlStmt> stmts;
};

enum PlMode : int { PL_IN = 0, PL_OUT = 1, PL_INOUT = 2 };

struct PlArg {
  std::string name;
  int mode = PL_IN;
  PlType type;
  PlExpr def;
};

struct PlSub {
  std::string name;
  bool function = false;
  std::vector<PlArg> args;
  PlType ret;
  std::shared_ptr<PlBody> body;  // null in a package's declarations (CREATE PACKAGE)
  int overload = 0;              // 1, 2 ... among same-named subprograms of a package
};

enum PlUnitKind : int { PU_PROCEDURE, PU_FUNCTION, PU_PACKAGE, PU_PACKAGE_BODY, PU_BLOCK };

struct PlUnit {
  PlUnitKind kind = PU_BLOCK;
  std::string schema;  // as written ("" for the session's own)
  std::string name;
  std::string src;
  std::vector<PlTok> toks;
  std::vector<PlSub> subs;       // a standalone unit: one; a package: in declaration order
  std::vector<PlDecl> decls;     // a package's variables, a block's DECLARE part
  std::vector<std::pair<std::string, PlType>> types;  // TYPE x IS REF CURSOR
  std::vector<std::string> spec_types;  // a body's type names left to its package's declarations
  std::shared_ptr<PlBody> body;  // an anonymous block, a package body's initialisation
  // Placeholders of an anonymous block, distinct names in order of appearance.
  std::vector<std::string> binds;
  bool ok = true;
  std::string error;  // when !ok: "line L, column C:\nPLS-nnnnn: ..."
  int err_tok = 0;
};

// Kind of a statement text, read from its first words.
enum PlTextKind : int { PT_NONE, PT_CREATE, PT_DROP, PT_BLOCK };
PlTextKind pl_text_kind(const std::string& text);

// Parses a CREATE [OR REPLACE] PROCEDURE / FUNCTION / PACKAGE [BODY] or an
// anonymous block. Returns the unit with ok false and error set when the
// text is outside the supported language; nullptr (with err) when not even
// the unit's name can be read.
std::shared_ptr<PlUnit> pl_parse(const std::string& text, DlError* err);

// "line L, column C:" of a token of the unit.
std::string pl_where(const PlUnit& u, int tok);

// ---- Stored units -------------------------------------------------------------

// Runs a CREATE or DROP of a unit. 0, or an Oracle error on e. A unit stored
// with compilation errors answers 24344 (the caller reports it as a warning).
int pl_run_ddl(Session* s, const std::string& text, Error* e);

// Finds a stored unit: schema "" means the session's own. type: PU_PROCEDURE,
// PU_FUNCTION (either of the two when looking for a standalone unit),
// PU_PACKAGE or PU_PACKAGE_BODY. status: VALID / INVALID.
struct PlStored {
  std::shared_ptr<PlUnit> unit;
  std::string owner;
  bool valid = true;
};
bool pl_find(Session* s, const std::string& schema, const std::string& name, PlUnitKind type,
             PlStored* out);
// The schema a session's unqualified name belongs to ("" own).
std::string pl_owner(Session* s, const std::string& schema);

// OCIDescribeAny of a procedure, function or package by name. objtyp: the
// OCI_PTYPE asked for (UNK accepts any). 0 with *root set, else an Oracle
// error number.
int pl_describe(Session* s, const std::string& schema, const std::string& name, unsigned objtyp,
                Param** root);
// Attributes of the describe parameters made by pl_describe.
int pl_param_attr(Param* p, void* attributep, uint32_t* sizep, uint32_t attr, Error* e, bool* handled);

// ---- Running blocks ------------------------------------------------------------

// Runs a statement prepared from an anonymous block. 0 or an Oracle error
// on e.
int pl_execute(Session* s, Stmt* st, Error* e, uint32_t iters, uint32_t rowoff, uint32_t mode);

}  // namespace ocl
