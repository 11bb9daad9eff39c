#pragma once
// Procedure and function calls on the OCI level's cursor (db-proc.cpp) and
// the agent's steps around them (o-proc.cpp).
//
// The request builder turns {call p(?, ...)} into "p(:1, ...)" and
// {? = call f(?, ...)} into ":1:=f(:2, ...)". At prepare the call is
// analysed once: the called name is split, every marker is mapped to the
// argument it stands for, the called object's arguments are described
// through OCIDescribeAny, and the anonymous block that runs it is built,
// with a placeholder for every REF CURSOR argument the call leaves out.
// Every execution prepares that block, binds inputs, outputs and REF CURSOR
// statement handles by position, runs it and hands the REF CURSOR results
// out one after the other.
//
// Results are 0 or a row of SqlStateTable (odbc/sqlstate.h).
#include <cstdint>
#include <string>
#include <vector>

#include "drv_ora8/db-curs.h"

struct Dataset;
struct AgentCursor;

// ---- The call text (pure) ----------------------------------------------------------

// Longest called name and the most each part of it may have (as written,
// quotes included).
constexpr uint32_t kProcNameMax = 219;
constexpr uint32_t kProcPartMax = 159;
constexpr uint32_t kProcPackageMax = 30;
constexpr uint32_t kProcSchemaMax = 36;
// Arguments and markers one call may have.
constexpr uint32_t kProcArgMax = 320;

// One argument as written in the call.
struct ProcCallArg {
  uint32_t begin, end;  // its text without surrounding blanks; begin == end: empty
  int32_t position;     // argument position it fills (1-based), after skipped REF CURSORs
  int32_t marker;       // index of the marker it is (a whole argument), or -1
};

struct ProcCall {
  int funcSyntax;                // ":n := name(...)"
  uint32_t retBegin, retEnd;     // the return marker's text (function syntax)
  uint32_t nameBegin, nameEnd;   // the called name as written
  std::string procName;          // the parts, as written (quotes kept)
  std::string packageOrSchema;
  std::string schema;
  int hasList;                   // an argument list "(...)" follows the name
  std::vector<ProcCallArg> args; // written arguments ("p()" has none)
  uint32_t markers;              // markers found as whole arguments (return marker included)
};

// 1 when the text, after blanks, starts with a marker followed by ":=".
int db_IsFunctionCall(const char *text);
// Splits text into its name and arguments and maps every marker to its
// argument (the return marker to position 0). 0; 68 for unbalanced quotes or
// parentheses or text that is no call; 71 (42000) for a name over
// kProcNameMax characters or a part over its field; 43 for more than
// kProcArgMax arguments. Markers that are not whole arguments are simply
// not counted: the caller compares the count with the request's.
int32_t db_ParseCall(const char *text, ProcCall *call);
// The parts of a dotted name, split at dots outside double quotes. 0, 68
// (an unbalanced quote), 71 (too long).
int32_t db_SplitProcName(const char *name, size_t len, std::string *proc, std::string *pkgOrSchema,
                         std::string *schema);
// A subprogram's described name against the name written in the call: a
// quoted name matches exactly, an unquoted one ignoring case; whole names.
bool db_SubprogramNameIs(const char *described, size_t describedLen, const std::string &written);

// What each placeholder of the built block stands for.
enum : int32_t { kPhRetval = -1000000 };  // the discarded result of a function called as a procedure
// >= 0: marker index; -1 - e: the REF CURSOR argument of descriptor entry e left out of the call.

// A described argument, as far as the block needs it.
struct ProcArgInfo {
  int32_t position;
  int refCursor;
};

// Builds "begin\n...;\nend;" for the call: positions of written arguments
// move past the REF CURSOR arguments the call leaves out (when it leaves
// some out), a placeholder goes in for each of those, and every placeholder
// is numbered in the order it stands, which is the order of *placeholders.
// describedAsFunction: the object is a function; omitCursors: the call
// leaves out its REF CURSOR arguments.
void db_BuildProcBlock(const char *text, ProcCall *call, int describedAsFunction, const std::vector<ProcArgInfo> &args,
                       int omitCursors, std::string *block, std::vector<int32_t> *placeholders);

// ---- The OCI level -----------------------------------------------------------------

// Analyses the owner's translated call at prepare (see the top). n: the
// markers the request builder counted. 0, 15 (describe failed, a marker not
// a whole argument), 16, 43, 68, 71 or the mapping's failure.
int32_t DB_ProcDescribe(DB_Curs *c, uint32_t n);
// Prepares the call's block for one execution. 0 or 68.
int32_t DB_ProcPrepare(DB_Curs *c);
// Binds every placeholder of the prepared block: 0, 15, 16, 43, 48.
int32_t DB_ProcBindParams(DB_Curs *c);
// Runs the block (commit 1: committed when it succeeds) and lays out the
// output values in the owner's saved Dataset. 0 or a failure (68 when the
// block failed, its OCI errors on the list).
int32_t DB_ProcExecute(DB_Curs *c, int commit);
// The next REF CURSOR statement of h becomes c's statement, described. 0, 73
// none left, or the description's failure.
int32_t DB_NextRefCursor(DB_Curs *c, DB_Curs *h);
// REF CURSOR statements the last execution produced; the hand-out starts over.
uint16_t DB_RefCursorCount(DB_Curs *c);

// Oracle types read in pieces: LONG, LONG RAW, CLOB, BLOB; and the LOBs.
int OraType_IsLong(int32_t oraType);
int OraType_IsLob(int32_t oraType);

// ---- The agent level (o-proc.cpp) -------------------------------------------------------

// Executes a prepared call: 0 with a REF CURSOR result open, 80 without a
// result set, or a failure.
int32_t AgentCursor_ProcExecute(AgentCursor *cur);
// 48 when the parameter Dataset does not hold a column for each input
// marker; else the binding's result.
int32_t AgentCursor_ProcBind(AgentCursor *cur);
// Moves to the next REF CURSOR result: 0, 80 when the last one was left and
// output values wait, 73 when none is left, or a failure.
int32_t AgentCursor_ProcMoreResults(AgentCursor *cur);
// One Dataset of the output and input/output parameters in marker order:
// output columns are moved out of out, input/output columns copied from the
// parameter Dataset (whose bound cells hold the returned values). 0 or 16.
int32_t ProcOutDatasetMerge(AgentCursor *cur, Dataset *params, Dataset *out, Dataset **result);
