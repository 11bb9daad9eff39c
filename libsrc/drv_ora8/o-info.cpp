// Agent information and options: DRV_GetInfo answers what the layers above
// ask about the agent, a connection or a cursor (agent items, SQLGetInfo
// types, option values); DRV_SetInfo takes connection and statement options,
// negotiating cursor type and concurrency against what the connection
// supports.
#include <sql.h>
#include <sqlext.h>
#include <sqlucode.h>

#include <cctype>
#include <cstdlib>
#include <cstring>

#include "drv_ora8/db-private.h"
#include "drv_ora8/o-reg.h"
#include "odbc/sqlstate.h"
#include "util/utf.h"
#include "variant.h"

// Description of parameters by probe queries lives in another module of the
// agent; while it is not part of the build, asking for it is not capable.
__attribute__((weak, visibility("hidden"))) int32_t DescribeParamsByQuery(AgentCursor *cursor);

namespace {

// Values of an answer that depend on the connection.
enum Special : uint8_t {
  SP_NONE,
  SP_DRIVER_NAME,
  SP_DBMS_NAME,
  SP_DBMS_VER,
  SP_USER_NAME,
  SP_DS_READ_ONLY,
  SP_SCROLL_OPTIONS,
};

struct GetInfoRow {
  uint16_t type;
  const char *text;  // null: an integer item ("" as a string)
  uint32_t value;    // 0 for a string item
  Special special;
};

constexpr const char kKeywords[] =
    "ACCESS,ADMIN,AFTER,ANALYSE,ARCHIVE,ARCHIVELOG,AUDIT,BACKUP,BECOME,BEFORE,BLOCK,BODY,CACHE,CANCEL,CHANGE,"
    "CHECKPOINT,CLUSTER,COLUMN,COMMENT,COMPILE,COMPRESS,CONTENTS,CONTROLFILE,CURSOR,CYCLE,DATABASE,DATAFILE,DBA,"
    "DISABLE,DISMOUNT,DUMP,EACH,ENABLE,EVENTS,EXCEPTIONS,EXCLUSIVE,EXPLAIN,EXTENT,EXTERNALLY,FILE,FLUSH,FORCE,"
    "FREELIST,FREELISTS,FUNCTION,GROUPS,IDENTIFIED,INCLUDING,INCREMENT,INFILE,INITIAL,INITRANS,INSTANCE,INT,LAYER,"
    "LINK,LISTS,LOCK,LOGFILE,LONG,MANAGE,MANUAL,MAXDATAFILES,MAXEXTENTS,MAXINSTANCES,MAXLOGFILES,MAXLOGHISTORY,"
    "MAXLOGMEMBERS,MAXTRANS,MAXVALUE,MINEXTENTS,MINUS,MINVALUE,MLSLABEL,MOD,MODE,MODIFY,MODULE,MOUNT,NEW,NEXTVAL,"
    "NOARCHIVELOG,NOAUDIT,NOCACHE,NOCOMPRESS,NOCYCLE,NOMAXVALUE,NOMINVALUE,NONE,NOORDER,NORESETLOGS,NORMAL,NOSORT,"
    "NOWAIT,NUMBER,OFF,OFFLINE,OLD,ONLINE,OTHERS,OUT,OWN,PACKAGE,PARALLEL,PARTITION,PCTFREE,PCTINCREASE,PCTUSED,"
    "PLAN,POSITIVE,PRAGMA,PRIVATE,PROFILE,QUOTA,RAW,RAW MLSLABEL,READ,REAL,RECOVER,REFERENCING,REM,RENAME,"
    "RESETLOGS,RESOURCE,RESTRICTED,RETURN,REUSE,ROLE,ROLES,ROW,ROWID,ROWLABEL,ROWNUM,SAVEPOINT,SCN,SEGMENT,"
    "SEPARATE,SHARE,SHARED,SNAPSHOT,SORT,SQLERRM,START,STATEMENT,STATEMENT_ID,STATISTICS,STDDEV,STOP,STORAGE,"
    "SUBTYPE,SUCCESSFUL,SWITCH,SYNONYM,SYSDATE,SYSTEM,TABAUTH,TABLES,TABLESPACE,TASK,TERMINATE,THIS,THREAD,"
    "TRACING,TRIGGER,TRIGGERS,TRUNCATE,TYPE,UID,UNDER,UNLIMITED,UNTIL,UPDATE,USE,VALIDATE,VARCHAR2,WHILE,WRITE";

#define S(type, text) {type, text, 0, SP_NONE}
#define N(type, value) {type, nullptr, value, SP_NONE}
#define X(type, special) {type, nullptr, 0, special}

constexpr GetInfoRow kGetInfo[] = {
    // Strings.
    S(SQL_DATA_SOURCE_NAME, " "),
    X(SQL_DRIVER_NAME, SP_DRIVER_NAME),
    S(SQL_DRIVER_VER, "1.10"),
    S(SQL_ODBC_VER, "03.50.0000"),
    S(SQL_DRIVER_ODBC_VER, "03.50"),
    S(SQL_SERVER_NAME, "Oracle 11.0"),
    S(SQL_SEARCH_PATTERN_ESCAPE, "\\"),
    X(SQL_DBMS_NAME, SP_DBMS_NAME),
    X(SQL_DBMS_VER, SP_DBMS_VER),
    X(SQL_USER_NAME, SP_USER_NAME),
    X(SQL_DATA_SOURCE_READ_ONLY, SP_DS_READ_ONLY),
    S(SQL_IDENTIFIER_QUOTE_CHAR, "\""),
    S(SQL_SCHEMA_TERM, "Owner"),
    S(SQL_PROCEDURE_TERM, "Stored Procedure"),
    S(SQL_CATALOG_TERM, "Database Link"),
    S(SQL_TABLE_TERM, "Table"),
    S(SQL_CATALOG_NAME_SEPARATOR, "@"),
    S(SQL_SPECIAL_CHARACTERS, "$#"),
    S(SQL_XOPEN_CLI_YEAR, "1995"),
    S(SQL_DATABASE_NAME, ""),
    S(SQL_COLLATION_SEQ, ""),
    S(SQL_ACCESSIBLE_TABLES, "Y"),
    S(SQL_ACCESSIBLE_PROCEDURES, "Y"),
    S(SQL_PROCEDURES, "Y"),
    S(SQL_EXPRESSIONS_IN_ORDERBY, "Y"),
    S(SQL_MULTIPLE_ACTIVE_TXN, "Y"),
    S(SQL_OUTER_JOINS, "Y"),
    S(SQL_COLUMN_ALIAS, "Y"),
    S(SQL_LIKE_ESCAPE_CLAUSE, "Y"),
    S(SQL_DESCRIBE_PARAMETER, "Y"),
    S(SQL_ROW_UPDATES, "N"),
    S(SQL_MULT_RESULT_SETS, "N"),
    S(SQL_INTEGRITY, "N"),
    S(SQL_ORDER_BY_COLUMNS_IN_SELECT, "N"),
    S(SQL_MAX_ROW_SIZE_INCLUDES_LONG, "N"),
    S(SQL_NEED_LONG_DATA_LEN, "N"),
    S(SQL_CATALOG_NAME, "N"),
    S(SQL_KEYWORDS, kKeywords),
    // Integers. The cursor answers claim what the cursor layer serves:
    // forward-only and static read-only cursors, scrolled in every
    // direction with bookmarks; no keyset-driven or dynamic cursors, no
    // positioned, locking or bulk operations.
    N(SQL_MAX_DRIVER_CONNECTIONS, 0),
    N(SQL_MAX_CONCURRENT_ACTIVITIES, 0),
    N(SQL_DRIVER_HDBC, 0),
    N(SQL_DRIVER_HENV, 0),
    N(SQL_DRIVER_HSTMT, 0),
    N(SQL_DRIVER_HLIB, 0),
    N(SQL_DRIVER_HDESC, 0),
    N(SQL_MAX_CATALOG_NAME_LEN, 0),
    N(SQL_POSITIONED_STATEMENTS, 0),
    N(SQL_STATIC_SENSITIVITY, 0),
    // NULLs sort above every value, as Oracle and the embedded default sort.
    N(SQL_NULL_COLLATION, SQL_NC_HIGH),
    N(SQL_FILE_USAGE, 0),
    N(SQL_MAX_COLUMNS_IN_GROUP_BY, 0),
    N(SQL_MAX_COLUMNS_IN_INDEX, 0),
    N(SQL_MAX_COLUMNS_IN_ORDER_BY, 0),
    N(SQL_MAX_ROW_SIZE, 0),
    N(SQL_MAX_STATEMENT_LEN, 0),
    N(SQL_MAX_TABLES_IN_SELECT, 0),
    N(SQL_MAX_CHAR_LITERAL_LEN, 0),
    N(SQL_MAX_BINARY_LITERAL_LEN, 0),
    N(SQL_ALTER_DOMAIN, 0),
    N(SQL_DATETIME_LITERALS, 0),
    N(SQL_BATCH_ROW_COUNT, 0),
    N(SQL_BATCH_SUPPORT, 0),
    N(SQL_CREATE_ASSERTION, 0),
    N(SQL_CREATE_CHARACTER_SET, 0),
    N(SQL_CREATE_COLLATION, 0),
    N(SQL_CREATE_DOMAIN, 0),
    N(SQL_CREATE_TRANSLATION, 0),
    N(SQL_DROP_ASSERTION, 0),
    N(SQL_DROP_CHARACTER_SET, 0),
    N(SQL_DROP_COLLATION, 0),
    N(SQL_DROP_DOMAIN, 0),
    N(SQL_DROP_SCHEMA, 0),
    N(SQL_DROP_TRANSLATION, 0),
    N(SQL_SQL92_FOREIGN_KEY_UPDATE_RULE, 0),
    N(SQL_SQL92_NUMERIC_VALUE_FUNCTIONS, 0),
    N(SQL_SQL92_RELATIONAL_JOIN_OPERATORS, 0),
    N(SQL_MAX_ASYNC_CONCURRENT_STATEMENTS, 0),
    N(SQL_CONVERT_BINARY, 0),
    N(SQL_CONVERT_LONGVARCHAR, 0),
    N(SQL_CONVERT_TIME, 0),
    N(SQL_CONVERT_VARBINARY, 0),
    N(SQL_CONVERT_LONGVARBINARY, 0),
    N(SQL_CONVERT_WCHAR, 0),
    N(SQL_CONVERT_WLONGVARCHAR, 0),
    N(SQL_CONVERT_WVARCHAR, 0),
    N(SQL_CONVERT_INTERVAL_DAY_TIME, 0),
    N(SQL_CONVERT_INTERVAL_YEAR_MONTH, 0),
    N(SQL_ODBC_API_CONFORMANCE, 1),
    N(SQL_ODBC_SAG_CLI_CONFORMANCE, 1),
    N(SQL_ODBC_SQL_CONFORMANCE, 1),
    N(SQL_CONCAT_NULL_BEHAVIOR, 1),
    N(SQL_IDENTIFIER_CASE, 1),
    N(SQL_CONVERT_FUNCTIONS, 1),
    N(SQL_NON_NULLABLE_COLUMNS, 1),
    N(SQL_LOCK_TYPES, 1),
    N(SQL_ACTIVE_ENVIRONMENTS, 1),
    N(SQL_SQL_CONFORMANCE, 1),
    N(SQL_DROP_VIEW, 1),
    N(SQL_ODBC_INTERFACE_CONFORMANCE, 1),
    N(SQL_PARAM_ARRAY_SELECTS, 1),
    N(SQL_CURSOR_SENSITIVITY, 1),
    N(SQL_CURSOR_COMMIT_BEHAVIOR, 2),
    N(SQL_CURSOR_ROLLBACK_BEHAVIOR, 2),
    N(SQL_DEFAULT_TXN_ISOLATION, 2),
    N(SQL_CORRELATION_NAME, 2),
    N(SQL_GROUP_BY, 2),
    N(SQL_CATALOG_LOCATION, 2),
    N(SQL_PARAM_ARRAY_ROW_COUNTS, 2),
    N(SQL_SQL92_VALUE_EXPRESSIONS, 2),
    N(SQL_ASYNC_MODE, 2),
    N(SQL_TXN_CAPABLE, 3),
    N(SQL_CATALOG_USAGE, 3),
    N(SQL_QUOTED_IDENTIFIER_CASE, 3),
    N(SQL_UNION, 3),
    N(SQL_CREATE_SCHEMA, 3),
    N(SQL_CREATE_VIEW, 3),
    N(SQL_INDEX_KEYWORDS, 3),
    N(SQL_STANDARD_CLI_CONFORMANCE, 3),
    N(SQL_DDL_INDEX, 3),
    N(SQL_INSERT_STATEMENT, 3),
    N(SQL_SYSTEM_FUNCTIONS, 5),
    N(SQL_DROP_TABLE, 5),
    N(SQL_SQL92_DATETIME_FUNCTIONS, 7),
    N(SQL_SQL92_FOREIGN_KEY_DELETE_RULE, 9),
    N(SQL_SQL92_ROW_VALUE_CONSTRUCTOR, 9),
    N(SQL_TXN_ISOLATION_OPTION, 0xA),
    N(SQL_SCROLL_CONCURRENCY, 0xB),
    N(SQL_GETDATA_EXTENSIONS, 0xF),
    N(SQL_MAX_COLUMN_NAME_LEN, 30),
    N(SQL_MAX_CURSOR_NAME_LEN, 30),
    N(SQL_MAX_SCHEMA_NAME_LEN, 30),
    N(SQL_MAX_TABLE_NAME_LEN, 30),
    N(SQL_MAX_USER_NAME_LEN, 30),
    N(SQL_MAX_IDENTIFIER_LEN, 30),
    N(SQL_POS_OPERATIONS, 0x1F),
    N(SQL_SCHEMA_USAGE, 0x1F),
    N(SQL_SUBQUERIES, 0x1F),
    N(SQL_AGGREGATE_FUNCTIONS, 0x40),
    N(SQL_BOOKMARK_PERSISTENCE, 0x4A),
    N(SQL_MAX_PROCEDURE_NAME_LEN, 92),
    N(SQL_OJ_CAPABILITIES, 0x7B),
    N(65003, 0x7B),  // SQL_OJ_CAPABILITIES under its ODBC 2 number
    N(SQL_FETCH_DIRECTION, 0xBF),
    N(SQL_SQL92_STRING_FUNCTIONS, 0xE6),
    N(SQL_TIMEDATE_ADD_INTERVALS, 0x1FF),
    N(SQL_TIMEDATE_DIFF_INTERVALS, 0x1FF),
    N(SQL_MAX_COLUMNS_IN_SELECT, 1000),
    N(SQL_MAX_COLUMNS_IN_TABLE, 1000),
    N(SQL_MAX_INDEX_SIZE, 2000),
    N(SQL_STATIC_CURSOR_ATTRIBUTES1, 0x124F),  // positioned, refreshed; changed by key only when keyset-driven
    N(SQL_SQL92_PREDICATES, 0x1E07),
    N(SQL_FORWARD_ONLY_CURSOR_ATTRIBUTES1, 0x1),
    // Dynamic cursors: NEXT and RELATIVE, nothing positioned yet.
    N(SQL_DYNAMIC_CURSOR_ATTRIBUTES1, 0x5),
    N(SQL_KEYSET_CURSOR_ATTRIBUTES1, 0xF3E4F),
    N(SQL_SQL92_GRANT, 0x1FF0),
    N(SQL_CONVERT_BIT, 0x31FF),
    N(SQL_SQL92_REVOKE, 0x35A0),
    N(SQL_CREATE_TABLE, 0x37FF),
    N(SQL_FORWARD_ONLY_CURSOR_ATTRIBUTES2, 0x5081),
    N(SQL_STATIC_CURSOR_ATTRIBUTES2, 0x5081),
    // Read-only, lock and values concurrency; others' updates and deletes
    // seen, and a dynamic cursor's additions; an exact count of a keyset,
    // an approximate one otherwise.
    N(SQL_KEYSET_CURSOR_ATTRIBUTES2, 0x106B),
    N(SQL_DYNAMIC_CURSOR_ATTRIBUTES2, 0x207B),
    N(SQL_CONVERT_BIGINT, 0x71FF),
    N(SQL_CONVERT_DECIMAL, 0x71FF),
    N(SQL_CONVERT_DOUBLE, 0x71FF),
    N(SQL_CONVERT_FLOAT, 0x71FF),
    N(SQL_CONVERT_INTEGER, 0x71FF),
    N(SQL_CONVERT_NUMERIC, 0x71FF),
    N(SQL_CONVERT_REAL, 0x71FF),
    N(SQL_CONVERT_SMALLINT, 0x71FF),
    N(SQL_CONVERT_TINYINT, 0x71FF),
    N(SQL_INFO_SCHEMA_VIEWS, 0x10020),
    N(SQL_CONVERT_DATE, 0x28101),
    N(SQL_CONVERT_TIMESTAMP, 0x28101),
    N(SQL_CONVERT_CHAR, 0x2F1FF),
    N(SQL_CONVERT_VARCHAR, 0x2F1FF),
    N(SQL_ALTER_TABLE, 0xFB049),
    N(SQL_TIMEDATE_FUNCTIONS, 0x1FFFFF),
    N(SQL_STRING_FUNCTIONS, 0x7F7FFF),
    N(SQL_NUMERIC_FUNCTIONS, 0xFDFFFF),
    X(SQL_SCROLL_OPTIONS, SP_SCROLL_OPTIONS),
};

#undef S
#undef N
#undef X

// The information types the agent knows; the ones without a row answer ""
// or 0. SQL_DM_VER belongs to the Driver Manager.
bool KnownInfoType(uint32_t type) {
  if (type <= 172) return type != SQL_DM_VER;
  return (type >= 10000 && type <= 10005) || type == 10021 || type == 10022 || type == 65003;
}

const GetInfoRow *FindGetInfo(uint32_t type) {
  for (const GetInfoRow &r : kGetInfo)
    if (r.type == type) return &r;
  return nullptr;
}

// One answer: a text, an integer, or both (the other one "" or 0).
struct Answer {
  const char *text = "";
  uint32_t value = 0;
  char buf[256];
};

// Group 0x04 (SQLGetInfo types) of a connection.
bool GetInfoAnswer(AgentConn *conn, uint32_t type, Answer *a) {
  if (!KnownInfoType(type)) return false;
  const GetInfoRow *row = FindGetInfo(type);
  if (!row) return true;
  if (row->text) a->text = row->text;
  a->value = row->value;
  switch (row->special) {
    case SP_NONE:
      break;
    case SP_DRIVER_NAME:
      a->text = g_driverVariant.fileName;
      break;
    case SP_DBMS_NAME:
      a->text = conn->opts.dbmsName ? conn->opts.dbmsName : "ORACLE ";
      break;
    case SP_DBMS_VER:
      a->text = conn->version;
      break;
    case SP_USER_NAME: {
      // The name alone, upper-cased as Oracle stores unquoted names, in a
      // copy: the connection's own text stays as the application gave it.
      const char *user = conn->user ? conn->user : "";
      size_t n = strlen(user);
      if (n >= sizeof a->buf) n = sizeof a->buf - 1;
      memcpy(a->buf, user, n);
      a->buf[n] = '\0';
      if (conn->wide) {
        utf8_upper(a->buf, sizeof a->buf);
      } else {
        for (char *p = a->buf; *p; ++p)
          if (static_cast<unsigned char>(*p) < 0x80) *p = static_cast<char>(toupper(static_cast<unsigned char>(*p)));
      }
      a->text = a->buf;
      break;
    }
    case SP_DS_READ_ONLY:
      a->text = conn->readOnly ? "Y" : "N";
      break;
    case SP_SCROLL_OPTIONS:
      a->value = AgentConn_ScrollOptions(conn);
      break;
  }
  return true;
}

// Class 2: agent items, options and SQLGetInfo types of a connection.
bool ConnAnswer(AgentConn *conn, uint32_t code, Answer *a) {
  if (InfoCodeGroup(code) == IG_GETINFO) return GetInfoAnswer(conn, InfoCodeItem(code), a);
  switch (code) {
    case 0x22010001:
      a->value = 0x2A39FF;
      return true;
    case INFO_NEEDBIND:
    case INFO_MORERES:
    case INFO_PARAMOP:
    case INFO_SPOUT_DEFER:
    case INFO_SCROLL:
    case INFO_V2DAE:
    case INFO_EXECUTE2:
    case 0x22010014:
    case 0x22010015:
    case INFO_XA_KILL_WORKER:
      a->value = 1;
      return true;
    case INFO_DYNMIX:
      conn->dynCursorOk = 1;
      a->value = 1;
      return true;
    case INFO_MAX_PARAMS:
      a->value = 255;
      return true;
    case INFO_ROWVER:
      a->value = conn->opts.dynCursSensitivity == DCS_HIGH ? 1 : 0;
      return true;
    case INFO_CAPS_MASK:
      a->value = AgentConn_CapabilityMask(conn);
      return true;
    case INFO_ITEM12:
      conn->item12 = 1;
      a->value = 1;
      return true;
    case INFO_WIDE:
      // Only the Unicode build has the wide mode to report.
      if (!g_driverVariant.unicode) return false;
      a->value = conn->wide ? 1 : 0;
      return true;
    case INFO_XA_KEEP_WORKER:
      a->value = 0;
      return true;
    case INFO_CUR_QUALIFIER:
      a->text = "";
      return true;
    case INFO_AUTOCOMMIT:
      a->value = conn->autocommit ? 1 : 0;
      return true;
    case INFO_ACCESS_MODE:
      a->value = conn->accessReadOnly ? 1 : 0;
      return true;
    case INFO_ISOLATION:
      a->value = static_cast<uint32_t>(conn->isolation);
      return true;
    default:
      return false;
  }
}

// Class 3: cursor items and statement options.
bool CursorAnswer(AgentCursor *cur, uint32_t code, Answer *a) {
  const ScsCursor &s = cur->scs;
  int32_t v = 0;
  switch (code) {
    case INFO_ROW_COUNT:
      v = cur->req.kind == REQ_KIND_DML ? cur->rowsAffected : -1;
      break;
    case 0x32030001:
      v = static_cast<int32_t>(cur->maxRows);
      break;
    case 0x32030002:
      v = cur->noScan ? 1 : 0;
      break;
    case 0x32030003:
      v = static_cast<int32_t>(cur->maxLength);
      break;
    case 0x32030006:
      v = s.cursorType;
      break;
    case 0x32030007:
      v = s.concurrency;
      break;
    case 0x32030008:
      v = s.keysetSize;
      break;
    case 0x32030009:
      v = s.rowsetSize;
      break;
    case 0x3203000A:
      v = s.simulateCursor;
      break;
    case 0x3203000B:
      v = s.retrieveData;
      break;
    case 0x3203000C:
      v = s.useBookmarks;
      break;
    case 0x3203000D:
    case 0x3203000E:
      v = 0;
      break;
    case 0x3203041A:
      v = s.selectColumnsMode;
      break;
    case 0x3203041C:
      v = s.private1052;
      break;
    case 0x3203041E:
      v = s.private1054;
      break;
    default:
      return false;
  }
  a->value = static_cast<uint32_t>(v);
  return true;
}

// Copies a text answer out: cut to bufLen - 1 bytes and terminated when it
// does not fit; the length out is written only when something was copied.
void CopyOut(const char *text, void *buf, uint16_t bufLen, int16_t *outLen) {
  if (!buf || bufLen == 0) return;
  size_t n = strlen(text);
  if (n >= bufLen) n = bufLen - 1u;
  memcpy(buf, text, n);
  static_cast<char *>(buf)[n] = '\0';
  if (outLen) *outLen = static_cast<int16_t>(n);
}

}  // namespace

uint32_t AgentConn_ScrollOptions(const AgentConn *conn) {
  // Keyset-driven, dynamic and mixed cursors read others' changes back by
  // key; a data source that disables dynamic cursors keeps forward-only and
  // static.
  return conn && conn->opts.dynCursSensitivity == DCS_DISABLED ? 0x11u : 0x1Fu;
}

uint32_t AgentConn_CapabilityMask(AgentConn *conn) {
  uint32_t mask = CAP_NEEDBIND | CAP_MORERES | CAP_PARAMOP | CAP_SCROLL | CAP_DYNMIX | CAP_V2DAE | CAP_SPOUT_DEFER |
                  CAP_EXECUTE2 | CAP_AUTOCOMMIT | CAP_DESCRIBE2 | CAP_MAX_LENGTH | CAP_DTC | CAP_FAILOVER_CB;
  if (conn->opts.noAutocommit) mask &= ~static_cast<uint32_t>(CAP_AUTOCOMMIT);
  conn->dynCursorOk = 1;
  conn->capsAsked = 1;
  return mask;
}

int32_t ORA_GetInfo(DrvHandle h, uint32_t code, void *buf, uint16_t bufLen, int16_t *outLen) {
  uint32_t kind = InfoCodeKind(code);
  Answer a;
  AgentConn *conn = nullptr;
  switch (InfoCodeClass(code)) {
    case IC_SERVER:
      if (!Agent_Server(h)) return E_S1009;
      if (code != INFO_AGENT_NAME) return E_IM001;
      CopyOut("oracle11", buf, bufLen, outLen);
      return 0;
    case IC_CONN:
      conn = Agent_Conn(h);
      if (!conn) return E_S1009;
      if (!ConnAnswer(conn, code, &a)) return E_IM001;
      break;
    case IC_CURSOR: {
      AgentCursor *cur = Agent_Cursor(h);
      if (!cur) return E_S1009;
      conn = cur->conn;
      if (!CursorAnswer(cur, code, &a)) return E_IM001;
      break;
    }
    default:
      return E_IM001;
  }
  if (kind == IK_STRING) {
    if (conn && conn->wide && conn->dbConn && buf && bufLen)
      db_CharsetToUTF8(conn->dbConn->env, a.text, static_cast<char *>(buf), bufLen, outLen);
    else
      CopyOut(a.text, buf, bufLen, outLen);
    return 0;
  }
  if (kind == IK_INT) {
    if (buf) {
      if (bufLen < sizeof(uint32_t)) return E_S1009;
      memcpy(buf, &a.value, sizeof a.value);
    }
    if (outLen) *outLen = sizeof(uint32_t);
    return 0;
  }
  return E_IM001;
}

// ---- Options ------------------------------------------------------------------

namespace {

int32_t SetConnOption(AgentConn *conn, uint32_t code, int32_t v) {
  switch (code) {
    case INFO_AUTOCOMMIT:
      return AgentConn_TxnControl(conn, v ? TXN_AUTOCOMMIT_ON : TXN_AUTOCOMMIT_OFF);
    case INFO_ACCESS_MODE:
      conn->accessReadOnly = v != 0;
      return 0;
    case INFO_ISOLATION:
      return AgentConn_SetIsolation(conn, v);
    case INFO_ODBC_VERSION:
      conn->odbcVersion = v;
      return 0;
    case INFO_DEFER_LONG:
      conn->deferLong = v;
      return 0;
    case INFO_FAILOVER_REPORT:
      conn->failoverReport = v;
      return 0;
    default:
      return E_S1C00;
  }
}

int32_t SetCursorOption(AgentCursor *cur, uint32_t code, int32_t v) {
  AgentConn *conn = cur->conn;
  ScsCursor &s = cur->scs;
  switch (code) {
    case 0x32030000:
      cur->queryTimeout = v;
      return 0;
    case 0x32030001: {
      uint32_t maxRows = static_cast<uint32_t>(v);
      uint32_t limit = static_cast<uint32_t>(conn->opts.maxRows);
      if (limit != 0 && (maxRows == 0 || maxRows > limit)) {
        cur->maxRows = limit;
        return E_01S02;
      }
      cur->maxRows = maxRows;
      return 0;
    }
    case 0x32030002:
      cur->noScan = v != 0;
      return 0;
    case 0x32030003:
      cur->maxLength = static_cast<uint32_t>(v);
      return 0;
    case 0x32030006: {
      int32_t rc = OptNeg_Negotiate(&s, SQL_CURSOR_TYPE, &v);
      if (rc != 0 && rc != E_01S02) return rc;
      if (v == SQL_CURSOR_DYNAMIC && !conn->dynCursorOk) {
        v = SQL_CURSOR_KEYSET_DRIVEN;
        rc = E_01S02;
      }
      s.cursorType = v;
      s.flags |= SCSF_TYPE_SET;
      return rc;
    }
    case 0x32030007: {
      int32_t rc = OptNeg_Negotiate(&s, SQL_CONCURRENCY, &v);
      // A concurrency no fallback serves becomes read-only, reported with
      // 01S02, when that is offered: never taken silently, never refused
      // for a valid value.
      if (rc == E_S1C00 && (v == SQL_CONCUR_LOCK || v == SQL_CONCUR_ROWVER || v == SQL_CONCUR_VALUES)) {
        int32_t readOnly = SQL_CONCUR_READ_ONLY;
        if (OptNeg_Negotiate(&s, SQL_CONCURRENCY, &readOnly) == 0) {
          v = readOnly;
          rc = E_01S02;
        }
      }
      if (rc == 0 || rc == E_01S02) s.concurrency = v;
      return rc;
    }
    case 0x32030008: {
      if (v != 0 && !conn->dynCursorOk) return E_01S02;
      int32_t rc = 0;
      if (static_cast<uint32_t>(v) > 5000) {
        v = 5000;
        rc = E_01S02;
      }
      s.keysetSize = v;
      s.flags |= SCSF_KEYSET_CHANGED;
      return rc;
    }
    case 0x32030009: {
      int32_t rc = 0;
      if (static_cast<uint32_t>(v) > 100 && !conn->opts.noRowsetSizeLimit) {
        v = 100;
        rc = E_01S02;
      }
      s.rowsetSize = v;
      s.flags |= SCSF_ROWSET_CHANGED;
      s.aux2Contents &= static_cast<uint16_t>(~0x30u);
      return rc;
    }
    case 0x3203000A:
      s.simulateCursor = v;
      return 0;
    case 0x3203000B:
      s.retrieveData = v;
      return 0;
    case 0x3203000C:
      s.useBookmarks = v;
      return 0;
    case 0x3203000F:
      if (v == 0 || cur->describedByQuery) return 0;
      return DescribeParamsByQuery ? DescribeParamsByQuery(cur) : E_S1C00;
    case 0x3203041A:
      if (v != 1 && v != 2) return E_S1009;
      s.selectColumnsMode = v;
      return 0;
    case 0x3203041C:
      s.private1052 = v;
      return 0;
    case 0x3203041E:
      s.private1054 = v;
      return 0;
    default:
      return E_S1C00;
  }
}

}  // namespace

int32_t ORA_SetInfo(DrvHandle h, uint32_t code, const void *value) {
  switch (InfoCodeClass(code)) {
    case IC_SERVER:
      return Agent_Server(h) ? E_S1C00 : E_S1009;
    case IC_CONN: {
      AgentConn *conn = Agent_Conn(h);
      if (!conn) return E_S1009;
      if (!value) return E_S1009;
      int32_t v;
      memcpy(&v, value, sizeof v);
      return SetConnOption(conn, code, v);
    }
    case IC_CURSOR: {
      AgentCursor *cur = Agent_Cursor(h);
      if (!cur) return E_S1009;
      if (!value) return E_S1009;
      int32_t v;
      memcpy(&v, value, sizeof v);
      return SetCursorOption(cur, code, v);
    }
    default:
      return E_IM001;
  }
}

// ---- Cursor type and concurrency negotiation --------------------------------------

namespace {

constexpr int32_t kConcurrencyFallback[] = {2, 3, 4, 3, kOptNegEnd};
constexpr int32_t kConcurrencyBits[] = {1, 1, 2, 2, 4, 3, 8, 4, kOptNegEnd};
constexpr int32_t kCursorTypeFallback[] = {2, 1, 3, 1, kOptNegEnd};
constexpr int32_t kCursorTypeBits[] = {1, 0, 2, 1, 4, 2, 16, 3, kOptNegEnd};

constexpr OptNegRow kOptNegTable[] = {
    {SQL_CONCURRENCY, SQL_SCROLL_CONCURRENCY, kConcurrencyFallback, kConcurrencyBits},
    {SQL_CURSOR_TYPE, SQL_SCROLL_OPTIONS, kCursorTypeFallback, kCursorTypeBits},
    {0, 0, nullptr, nullptr},
};

}  // namespace

const OptNegRow *OptNeg_Lookup(int32_t option) {
  const OptNegRow *row = kOptNegTable;
  while (row->option != 0 && row->option != option) ++row;
  return row;
}

int32_t OptNeg_Next(int32_t value, const int32_t *fallback, int *pos) {
  int i = *pos;
  while (fallback[i] != kOptNegEnd && fallback[i] != value) ++i;
  if (fallback[i] == kOptNegEnd) {
    *pos = i;
    return kOptNegEnd;
  }
  *pos = i + 1;
  return fallback[i + 1];
}

uint32_t OptNeg_MaskBit(int32_t value, const int32_t *bits) {
  // {bit, value} pairs; a value without a pair has no capability bit.
  for (int i = 0; bits[i] != kOptNegEnd && bits[i + 1] != kOptNegEnd; i += 2)
    if (bits[i + 1] == value) return static_cast<uint32_t>(bits[i]);
  return 0;
}

int32_t OptNeg_NegotiateMask(int32_t option, uint32_t mask, int32_t *value) {
  const OptNegRow *row = OptNeg_Lookup(option);
  if (row->infoType == 0 || !row->fallback || !row->bits) return 0;
  const int32_t requested = *value;
  int32_t v = requested;
  int pos = 0;
  uint32_t bit = OptNeg_MaskBit(v, row->bits);
  while (v != kOptNegEnd) {
    if (mask & bit) break;
    v = OptNeg_Next(v, row->fallback, &pos);
    if (v != kOptNegEnd) bit = OptNeg_MaskBit(v, row->bits);
  }
  if (v == kOptNegEnd) return E_S1C00;
  if (v != requested) {
    *value = v;
    return E_01S02;
  }
  return 0;
}

int32_t OptNeg_Negotiate(ScsCursor *cursor, int32_t option, int32_t *value) {
  const OptNegRow *row = OptNeg_Lookup(option);
  if (row->infoType == 0 || !row->fallback || !row->bits) return 0;
  if (!cursor || !cursor->drv) return 0;
  uint32_t mask = 0;
  if (scs_GetODBCInfo(cursor->drv, cursor->lowerConn, static_cast<uint16_t>(row->infoType), &mask, sizeof mask,
                      nullptr) != 0)
    return 0;
  return OptNeg_NegotiateMask(option, mask, value);
}
