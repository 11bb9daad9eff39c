#pragma once
// AgentOptions: the connection settings that the front end's connect logic
// converts from the connection attributes (connection string, data source,
// File DSN or the section "Default") and that the agent copies into every new
// agent connection.
//
// There is one process-wide block, g_agentOptions. The connect logic writes
// it field by field and the agent copies it whole at DRV_Connect, both under
// the front end's connect lock. The agent then owns the three texts of its
// copy and sets their pointers in the block to null, so each text is handed
// to exactly one connection and freed with it (AgentOptions_Free).
//
// Booleans are 1 or 0; numbers are the attribute's decimal value (0 when
// empty). The agent reads its own copy only, never the block.
#include <cstdint>

// DYN_CURS_SENSITIVITY codes.
enum : int32_t { DCS_LOW = 0, DCS_HIGH = 1, DCS_DISABLED = 2 };

struct AgentOptions {
  int32_t oraCatalogs;         // ORACAT: catalog functions read the ZEZUZERU$SQL_* views
  int32_t maxRows;             // MAXROWS: upper limit of a statement's maximum rows (0 none)
  char *sqlnetIf;              // SQLNETIF: SQL*Net interface text (owned; may be null)
  int32_t jet;                 // JET: NUMBER columns described by precision alone: integer types where they fit, else DOUBLE
  int32_t countProcParams;     // CPP: count procedure parameters
  int32_t userTablesFirst;     // USRTBLSFIRST
  int32_t dynCursSensitivity;  // DYN_CURS_SENSITIVITY: DCS_LOW, DCS_HIGH or DCS_DISABLED
  int32_t showRemarks;         // SHOWREMARKS
  char *initSql;               // INITSQL: initial SQL file (owned; null when not set)
  int32_t noAutocommit;        // NOAC: connections start with autocommit off
  int32_t noRowsetSizeLimit;   // NRSSL: rowset sizes above 100 are kept
  char *dbmsName;              // SQLDBMSNAME: SQL_DBMS_NAME answer (owned; null: "ORACLE ")
  int32_t emptyStringIsntNull; // EMPTY_STRING_ISNT_NULL: '' travels as ' '
  int32_t showSynonyms;        // SHOWSYNONYMS
  int32_t ociPrefetchRows;     // OPREFROWS
  int32_t ociPrefetchMemory;   // OPREFMEM
  int32_t ociStmtCacheSize;    // OSTMTCACHE: OCI statement cache size (0 off, capped at 256)
  int32_t poolMin;             // OCPMIN: not 0 attaches through an OCI connection pool
  int32_t poolMax;             // OCPMAX
  int32_t poolIncr;            // OCPINCR
  int32_t poolWait;            // OCPWAIT: wait for a free pooled connection
  int32_t poolLinger;          // OCPLINGER: seconds a pool outlives its last user
  int32_t tafEnable;           // TAF_ENABLE: register the failover callback
  int32_t tafRetryInterval;    // TAF_RETRY_INTERVAL in seconds (0 when TAF is off)
  int32_t tafMaxRetries;       // TAF_MAX_RETRIES (0 when TAF is off)
};

// The process-wide block. The front end's connect logic defines and fills it;
// the agent carries a weak zero-filled definition so that it links (and
// connects with default settings) while no front end defines one.
extern AgentOptions g_agentOptions;

// Frees the three owned texts of a copy and sets them to null.
void AgentOptions_Free(AgentOptions *opts);
