// Oracle error numbers and texts, and the mapping of SQLite failures to them.

#include <sqlite3.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "dialect.h"

namespace {

struct OraMsg {
  int code;
  const char* text;  // may hold one %s
};

// Sorted by code.
const OraMsg kMessages[] = {
    {1, "unique constraint (%s) violated"},
    {54, "resource busy and acquire with NOWAIT specified or timeout expired"},
    {60, "deadlock detected while waiting for resource"},
    {900, "invalid SQL statement"},
    {901, "invalid CREATE command"},
    {902, "invalid datatype"},
    {903, "invalid table name"},
    {904, "%s: invalid identifier"},
    {905, "missing keyword"},
    {906, "missing left parenthesis"},
    {907, "missing right parenthesis"},
    {908, "missing NULL keyword"},
    {909, "invalid number of arguments"},
    {910, "specified length too long for its datatype"},
    {911, "invalid character"},
    {913, "too many values"},
    {917, "missing comma"},
    {918, "column ambiguously defined"},
    {920, "invalid relational operator"},
    {922, "missing or invalid option"},
    {923, "FROM keyword not found where expected"},
    {924, "missing BY keyword"},
    {925, "missing INTO keyword"},
    {926, "missing VALUES keyword"},
    {927, "missing equal sign"},
    {928, "missing SELECT keyword"},
    {931, "missing identifier"},
    {932, "inconsistent datatypes: %s"},
    {933, "SQL command not properly ended"},
    {934, "group function is not allowed here"},
    {936, "missing expression"},
    {937, "not a single-group group function"},
    {940, "invalid ALTER command"},
    {942, "table or view does not exist"},
    {946, "missing TO keyword"},
    {947, "not enough values"},
    {950, "invalid DROP option"},
    {955, "name is already used by an existing object"},
    {957, "duplicate column name"},
    {969, "missing ON keyword"},
    {971, "missing SET keyword"},
    {972, "identifier is too long"},
    {975, "date + date not allowed"},
    {979, "not a GROUP BY expression"},
    {987, "missing or invalid username(s)"},
    {988, "missing or invalid password(s)"},
    {990, "missing or invalid privilege"},
    {997, "illegal use of LONG datatype"},
    {998, "must name this expression with a column alias"},
    {1002, "fetch out of sequence"},
    {1007, "variable not in select list"},
    {1008, "not all variables bound"},
    {1010, "invalid OCI operation"},
    {1013, "user requested cancel of current operation"},
    {1017, "invalid username/password; logon denied"},
    {1027, "bind variables not allowed for data definition operations"},
    {1031, "insufficient privileges"},
    {1034, "ORACLE not available"},
    {1036, "illegal variable name/number"},
    {1086, "savepoint '%s' never established in this session or is invalid"},
    {1400, "cannot insert NULL into (%s)"},
    {1401, "inserted value too large for column"},
    {1406, "fetched column value was truncated"},
    {1418, "specified index does not exist"},
    {1426, "numeric overflow"},
    {1427, "single-row subquery returns more than one row"},
    {1428, "argument '%s' is out of range"},
    {1430, "column being added already exists in table"},
    {1432, "public synonym to be dropped does not exist"},
    {1434, "private synonym to be dropped does not exist"},
    {1438, "value larger than specified precision allowed for this column"},
    {1441, "cannot decrease column length because some value is too big"},
    {1445, "cannot select ROWID from, or sample, a join view without a key-preserved table"},
    {1449, "column contains NULL values; cannot alter to NOT NULL"},
    {1465, "invalid hex number"},
    {1476, "divisor is equal to zero"},
    {1481, "invalid number format model"},
    {1489, "result of string concatenation is too long"},
    {1578, "ORACLE data block corrupted"},
    {1653, "unable to extend table"},
    {1704, "string literal too long"},
    {1722, "invalid number"},
    {1723, "zero-length columns are not allowed"},
    {1724, "floating point precision is out of range (1 to 126)"},
    {1727, "numeric precision specifier is out of range (1 to 38)"},
    {1728, "numeric scale specifier is out of range (-84 to 127)"},
    {1740, "missing double quote in identifier"},
    {1741, "illegal zero-length identifier"},
    {1742, "comment not terminated properly"},
    {1745, "invalid host/bind variable name"},
    {1756, "quoted string not properly terminated"},
    {1758, "table must be empty to add mandatory (NOT NULL) column"},
    {1780, "string literal required"},
    {1789, "query block has incorrect number of result columns"},
    {1810, "format code appears twice"},
    {1816, "month may only be specified once"},
    {1821, "date format not recognized"},
    {1830, "date format picture ends before converting entire input string"},
    {1835, "day of week conflicts with Julian date"},
    {1839, "date not valid for month specified"},
    {1840, "input value not long enough for date format"},
    {1841, "(full) year must be between -4713 and +9999, and not be 0"},
    {1843, "not a valid month"},
    {1846, "not a valid day of the week"},
    {1847, "day of month must be between 1 and last day of month"},
    {1848, "day of year must be between 1 and 365 (366 for leap year)"},
    {1849, "hour must be between 1 and 12"},
    {1850, "hour must be between 0 and 23"},
    {1851, "minute must be between 0 and 59"},
    {1852, "seconds must be between 0 and 59"},
    {1853, "seconds in day must be between 0 and 86399"},
    {1855, "AM/A.M. or PM/P.M. required"},
    {1858, "a non-numeric character was found where a numeric was expected"},
    {1861, "literal does not match format string"},
    {1862, "the numeric value does not match the length of the format item"},
    {1878, "specified field not found in datetime or interval"},
    {1880, "the fractional seconds must be between 0 and 999999999"},
    {1898, "too many precision specifiers"},
    {1918, "user '%s' does not exist"},
    {1920, "user name '%s' conflicts with another user or role name"},
    {1935, "missing user or role name"},
    {2003, "invalid USERENV parameter"},
    {2181, "invalid option to ROLLBACK WORK"},
    {2248, "invalid option for ALTER SESSION"},
    {2256, "number of referencing columns must match referenced columns"},
    {2260, "table can have only one primary key"},
    {2261, "such unique or primary key already exists in the table"},
    {2264, "name already used by an existing constraint"},
    {2268, "referenced table does not have a primary key"},
    {2270, "no matching unique or primary key for this column-list"},
    {2273, "this unique/primary key is referenced by some foreign keys"},
    {2289, "sequence does not exist"},
    {2290, "check constraint (%s) violated"},
    {2291, "integrity constraint (%s) violated - parent key not found"},
    {2292, "integrity constraint (%s) violated - child record found"},
    {2293, "cannot validate (%s) - check constraint violated"},
    {2298, "cannot validate (%s) - parent keys not found"},
    {2299, "cannot validate (%s) - duplicate keys found"},
    {2437, "cannot validate (%s) - primary key violated"},
    {2441, "Cannot drop nonexistent primary key"},
    {2442, "Cannot drop nonexistent unique key"},
    {2443, "Cannot drop constraint  - nonexistent constraint"},
    {2449, "unique/primary keys in table referenced by foreign keys"},
    {3001, "unimplemented feature"},
    {3113, "end-of-file on communication channel"},
    {3114, "not connected to ORACLE"},
    {3290, "Invalid truncate command - missing CLUSTER or TABLE keyword"},
    {4002, "INCREMENT must be a non-zero integer"},
    {4004, "MINVALUE must be less than MAXVALUE"},
    {4006, "START WITH cannot be less than MINVALUE"},
    {4008, "START WITH cannot be more than MAXVALUE"},
    {4030, "out of process memory when trying to allocate bytes"},
    {4043, "object %s does not exist"},
    {6502, "PL/SQL: numeric or value error"},
    {6550, "%s"},
    {8002, "sequence %s.CURRVAL is not yet defined in this session"},
    {8004, "sequence %s.NEXTVAL exceeds MAXVALUE and cannot be instantiated"},
    {8177, "can't serialize access for this transaction"},
    {12154, "TNS:could not resolve the connect identifier specified"},
    {12571, "TNS:packet writer failure"},
    {12899, "value too large for column %s"},
    {16000, "database open for read-only access"},
    {22275, "invalid LOB locator specified"},
    {24338, "statement handle not executed"},
    {24374, "define not done before fetch or execute and fetch"},
    {25137, "Data value out of range"},
    {28000, "the account is locked"},
    {28001, "the password has expired"},
    {28002, "the password will expire within %s days"},
    {30001, "trim set should have only one character"},
    {30005, "missing or invalid WAIT interval"},
    {30076, "invalid extract field for extract source"},
    {30088, "datetime/interval precision is out of range"},
    {30484, "missing window specification for this function"},
};

const OraMsg* find_msg(int code) {
  size_t lo = 0, hi = sizeof kMessages / sizeof kMessages[0];
  while (lo < hi) {
    size_t mid = (lo + hi) / 2;
    if (kMessages[mid].code == code) return &kMessages[mid];
    if (kMessages[mid].code < code) lo = mid + 1;
    else hi = mid;
  }
  return nullptr;
}

bool starts(const char* s, const char* prefix) { return std::strncmp(s, prefix, std::strlen(prefix)) == 0; }

// "T.C" -> "SCOTT"."T"."C" (each part quoted as Oracle prints names)
std::string quoted_path(const char* s, const DlSession* ses) {
  std::string out = "\"";
  if (ses && !ses->user.empty()) out += ses->user + "\".\"";
  for (; *s && *s != ' ' && *s != ','; ++s) {
    if (*s == '.') out += "\".\"";
    else out += *s;
  }
  return out + "\"";
}

// "T.C" -> SCOTT.T.C
std::string plain_path(const char* s, const DlSession* ses) {
  std::string out;
  if (ses && !ses->user.empty()) out += ses->user + ".";
  for (; *s; ++s)
    if (*s != ' ') out += *s;
  return out;
}

}  // namespace

const char* dl_ora_message(int code) {
  const OraMsg* m = find_msg(code);
  return m ? m->text : nullptr;
}

int dl_set_error(DlError* err, int code, const char* arg) {
  if (!err) return code;
  err->code = code;
  err->offset = 0;
  const OraMsg* m = find_msg(code);
  if (!m) {
    std::snprintf(err->message, sizeof err->message, "Message %d not found", code);
    return code;
  }
  if (std::strstr(m->text, "%s")) {
    // a message with an argument but none given keeps Oracle's empty form
    std::snprintf(err->message, sizeof err->message, m->text, arg ? arg : "");
  } else {
    std::snprintf(err->message, sizeof err->message, "%s", m->text);
  }
  return code;
}

int dl_map_sqlite_error(int rc, const char* msg, DlError* err, const DlSession* session) {
  if (!msg) msg = "";
  // Errors raised by the function library carry their Oracle text.
  if (starts(msg, "ORA-")) {
    int code = std::atoi(msg + 4);
    const char* text = std::strchr(msg, ':');
    text = text ? text + 1 : msg;
    while (*text == ' ') ++text;
    err->code = code;
    err->offset = 0;
    std::snprintf(err->message, sizeof err->message, "%s", text);
    return code;
  }
  int primary = rc & 0xff;
  switch (rc) {
    case SQLITE_CONSTRAINT_UNIQUE:
    case SQLITE_CONSTRAINT_PRIMARYKEY:
    case SQLITE_CONSTRAINT_ROWID: {
      if (std::strstr(msg, "ORA$SEQ.NAME")) return dl_set_error(err, 955);  // CREATE SEQUENCE
      const char* p = std::strstr(msg, "failed: ");
      std::string where = p ? plain_path(p + 8, session) : std::string();
      return dl_set_error(err, 1, where.c_str());
    }
    case SQLITE_CONSTRAINT_NOTNULL: {
      const char* p = std::strstr(msg, "failed: ");
      std::string where = p ? quoted_path(p + 8, session) : std::string();
      return dl_set_error(err, 1400, where.c_str());
    }
    case SQLITE_CONSTRAINT_FOREIGNKEY:
      return dl_set_error(err, 2291, "");
    case SQLITE_CONSTRAINT_CHECK: {
      // Oracle names a check with its owner; SQLite gives the name alone,
      // so the session's schema stands for the owner.
      const char* p = std::strstr(msg, "failed: ");
      std::string name = p ? p + 8 : "";
      const bool plain = !name.empty() && name.find_first_of(" (.") == std::string::npos;
      if (plain && session && !session->user.empty()) name = session->user + "." + name;
      return dl_set_error(err, 2290, name.c_str());
    }
    default:
      break;
  }
  switch (primary) {
    case SQLITE_INTERRUPT:
      return dl_set_error(err, 1013);
    case SQLITE_BUSY:
    case SQLITE_LOCKED:
      return dl_set_error(err, 54);
    case SQLITE_NOMEM:
      return dl_set_error(err, 4030);
    case SQLITE_FULL:
      return dl_set_error(err, 1653);
    case SQLITE_READONLY:
      return dl_set_error(err, 16000);
    case SQLITE_CANTOPEN:
      return dl_set_error(err, 1034);
    case SQLITE_CORRUPT:
    case SQLITE_NOTADB:
      return dl_set_error(err, 1578);
    case SQLITE_TOOBIG:
      return dl_set_error(err, 1489);
    case SQLITE_MISMATCH:
      return dl_set_error(err, 932, "");
    case SQLITE_RANGE:
      return dl_set_error(err, 1036);
    case SQLITE_CONSTRAINT:
      return dl_set_error(err, 2290, "");
    case SQLITE_AUTH:
    case SQLITE_PERM:
      return dl_set_error(err, 1031);
    default:
      break;
  }
  // SQLITE_ERROR: tell by the message.
  struct Pattern {
    const char* prefix;
    int code;
    bool name_arg;  // the rest of the message (up to a blank) names the object
  };
  static const Pattern patterns[] = {
      {"no such table: ", 942, false},
      {"no such view: ", 942, false},
      {"no such column: ", 904, true},
      {"no such function: ", 904, true},
      {"no such index: ", 1418, false},
      {"no such savepoint: ", 1086, true},
      {"table ", 955, false},  // "table X already exists"
      {"view ", 955, false},
      {"index ", 955, false},
      {"trigger ", 955, false},
      {"there is already ", 955, false},
      {"ambiguous column name: ", 918, false},
      {"duplicate column name: ", 957, false},
      {"wrong number of arguments to function ", 909, false},
      {"misuse of aggregate", 934, false},
      {"misuse of window function", 934, false},
      {"aggregate functions are not allowed", 934, false},
      {"integer overflow", 1426, false},
      {"interrupted", 1013, false},
      {"database is locked", 54, false},
      {"too many SQL variables", 1745, false},
      {"sub-select returns", 913, false},
      {"row value misused", 920, false},
      {"cannot start a transaction within a transaction", 0, false},
  };
  for (const Pattern& p : patterns) {
    if (!starts(msg, p.prefix)) continue;
    const char* rest = msg + std::strlen(p.prefix);
    if (p.code == 955 && !std::strstr(msg, "already exists")) continue;
    if (p.code == 0) break;
    if (p.name_arg) {
      std::string n;
      for (const char* q = rest; *q && *q != ' '; ++q) n += *q;
      // Oracle prints the name as written in the statement, quoted
      if (p.code == 904) {
        std::string quoted = "\"";
        for (char c : n) {
          if (c == '.') quoted += "\".\"";
          else if (c != '"') quoted += c;
        }
        quoted += "\"";
        return dl_set_error(err, 904, quoted.c_str());
      }
      return dl_set_error(err, p.code, n.c_str());
    }
    return dl_set_error(err, p.code);
  }
  if (std::strstr(msg, "has no column named ")) {
    std::string n = "\"";
    n += std::strstr(msg, "has no column named ") + 20;
    n += "\"";
    return dl_set_error(err, 904, n.c_str());
  }
  if (std::strstr(msg, "values were supplied") || std::strstr(msg, "values for ")) {
    // "table T has 2 columns but 3 values were supplied", "3 values for 2 columns"
    int a = 0, b = 0;
    if (std::sscanf(msg, "table %*s has %d columns but %d values", &a, &b) == 2 ||
        (std::sscanf(msg, "%d values for %d columns", &b, &a) == 2)) {
      return dl_set_error(err, b > a ? 913 : 947);
    }
    return dl_set_error(err, 913);
  }
  if (std::strstr(msg, "do not have the same number of result columns"))
    return dl_set_error(err, 1789);
  if (std::strstr(msg, "syntax error") || std::strstr(msg, "incomplete input"))
    return dl_set_error(err, 900);
  if (std::strstr(msg, "may not be altered")) return dl_set_error(err, 3001);  // e.g. renaming a view
  if (starts(msg, "Cannot add a NOT NULL column")) return dl_set_error(err, 1758);
  if (starts(msg, "Cannot add a PRIMARY KEY column") || starts(msg, "Cannot add a UNIQUE column"))
    return dl_set_error(err, 3001);
  if (std::strstr(msg, "may not be dropped") || std::strstr(msg, "may not be modified"))
    return dl_set_error(err, 1031);
  // Anything else: a generic Oracle error that keeps SQLite's text.
  err->code = 600;
  err->offset = 0;
  std::snprintf(err->message, sizeof err->message, "internal error code, arguments: [sqlite %d], [%s]",
                rc, msg);
  return 600;
}
