#pragma once
// The 38 connection attributes, the data-source settings that complete them,
// and the process-wide AgentOptions block.
//
// A connection string is parsed into one process-wide attribute table; the
// entries the string did not give are completed from the data source's
// section of odbc.ini, from a File DSN (FILEDSN) or from odbc.ini's section
// "Default". The connect logic then converts the attributes into the
// AgentOptions block and the connection's fields, and empties the table
// again before it opens the connection.
//
// Everything here is process-wide without a lock of its own: it is used only
// under the connect lock (g_odbc.connectLock), held around the whole connect
// logic; the agent copies AgentOptions under the same lock.
//
// Connection strings follow ODBC's quoting: a value may be written in braces
// "{...}", in which "}}" stands for one "}" and ";" does not end the item.
#include <cstdint>

#include "drv_ora8/agentopts.h"

struct MemPool;

// One entry of the attribute table.
struct ConnAttr {
  const char *keyword;    // connection-string and File DSN keyword
  const char *valueName;  // value name in odbc.ini sections; NULL: never read from a data source
  int32_t traced;         // 1: the connect logic traces the value
  int32_t maxLength;      // bytes kept, NUL included, of a value read from a data source
  int32_t supplied;       // 1 when the connection string gave the keyword
  char *value;            // owned; NULL when none
};

// The entries, in table order (the order of parsing, completing and tracing).
enum ConnAttrIndex : int {
  CA_DSN,
  CA_UID,
  CA_READONLY,
  CA_PWD,
  CA_FBS,
  CA_NLB,
  CA_MAXROWS,
  CA_NOAC,
  CA_SQLNET,
  CA_ORACAT,
  CA_SQLNETIF,
  CA_JET,
  CA_CPP,
  CA_NRSSL,
  CA_DRIVER,
  CA_FDSN,
  CA_OPREFROWS,
  CA_OPREFMEM,
  CA_OSTMTCACHE,
  CA_USRTBLSFIRST,
  CA_DYN_CURS_SENSITIVITY,
  CA_SHOWREMARKS,
  CA_DLF,
  CA_INITSQL,
  CA_SQLDBMSNAME,
  CA_FILEDSN,
  CA_EMPTY_STRING_ISNT_NULL,
  CA_SHOWSYNONYMS,
  CA_TAF_ENABLE,
  CA_TAF_RETRY_INTERVAL,
  CA_TAF_MAX_RETRIES,
  CA_OCPMIN,
  CA_OCPMAX,
  CA_OCPINCR,
  CA_OCPWAIT,
  CA_OCPLINGER,
  CA_IV,
  CA_IA,
  CA_COUNT
};
static_assert(CA_COUNT == 38, "38 connection attributes");

extern ConnAttr g_connAttrs[CA_COUNT];

// The process-wide AgentOptions block (its record and the sensitivity codes
// DCS_* are the agent's, drv_ora8/agentopts.h); defined here, filled by
// AgentOptionsFill before each connect.
extern AgentOptions g_agentOptions;

// Empties the table (every value freed, every supplied flag cleared); then,
// with a text, parses it (the text is not changed) and completes the table
// from the data source, the File DSN or the section "Default". mode is the
// call's mode character, 'A' or 'W' (the texts of a W call are UTF-8, the
// form data-source files hold on this platform; both read the same way).
void ConnStrParse(const char *text, char mode);

// The value of an entry; NULL when it has none.
const char *ConnAttrValue(int index);
// The value, or "" when it has none.
const char *ConnAttrText(int index);
// Booleans: "TRUE" or "YES" in any case.
bool ConnAttrBool(int index);
// Numbers: the leading decimal integer; 0 when there is none.
int32_t ConnAttrNumber(int index);
// Replaces an entry's value by a copy of text (NULL: none) and its supplied flag.
void ConnAttrSet(int index, const char *text, int32_t supplied);

// Fills g_agentOptions from the table.
void AgentOptionsFill();
// Frees the block's texts that no agent connection took (the agent takes
// them at DRV_Connect; a connect that failed before, or an agent that keeps
// no copy, leaves them), so that none outlives its connect, nor the library
// when the Driver Manager unloads it.
void AgentOptionsRelease();

// A new 255-byte text with the driver description of the table's data
// source from odbc.ini's section "ODBC Data Sources"; empty when none is
// found; NULL when out of memory. The caller frees it.
char *DsnDriverDesc();

// 2 for a text beginning with "D"/"d", 1 for "H"/"h", else (and for NULL) 0.
int32_t DynCursSensitivityParse(const char *text);
// "LOW", "HIGH" or "DISABLED".
const char *DynCursSensitivityName(int32_t code);

// True in the Unicode deliverable (and in test programs that link no
// deliverable).
bool DriverIsUnicode();

// ---- Connection-string texts ------------------------------------------------

// Appends "key=value" to a growing MemPool object, the value in braces (with
// "}}" for "}") when it contains ';', '{' or '}'. A NULL value counts as "".
void ConnStrAppendItem(MemPool *pool, const char *key, const char *value);
// Parses the next item of a connection string starting at *pos: its key and
// (unquoted) value as new heap texts; *pos moves past the item's ';'.
// Returns false at the end of the text. An item without '=' gives a NULL key.
// *quoted tells whether the value was written in braces; *raw (when given)
// receives a copy of the value exactly as written.
bool ConnStrNextItem(const char **pos, char **key, char **value, bool *quoted, char **raw);
// A copy of a connection string with every PWD value replaced by "***", and
// the password part of a "user/password@alias" UID value, for traces. The
// caller frees it.
char *ConnStrMaskPassword(const char *text);
// Appends a user name for a trace: "name/password@alias" shows as
// "name/***@alias".
void ConnStrAppendMaskedUser(MemPool *pool, const char *user);
