/* libocilite, the SQLite-backed OCI stand-in: what it offers besides OCI.
 *
 * A database is a directory: a catalog file with the users and one SQLite file
 * per user (schema). OCIServerAttach names the directory (or, when it is not
 * one, a name looked up under $OCILITE_ROOT); an empty name means
 * $OCILITE_DEFAULT_DB, else $HOME/.ocilite/default. Logon checks the user and
 * password against the catalog and never creates users: the administration
 * functions below (and the ocilite-admin tool built on them) do.
 *
 * The ocilite_test_* functions exist for tests only: they make chosen calls
 * fail with an Oracle error, succeed with a warning, or run slowly. They are
 * process-wide and not meant for production use. */
#ifndef KVD_OCILITE_H
#define KVD_OCILITE_H

#include <stddef.h>

#ifdef __cplusplus
extern "C" {
#endif

/* ---- Administration ---------------------------------------------------- */
/* Each returns 0 or an Oracle error number; a message (without newline) goes
 * to msg when msg is not NULL. */

/* Creates the directory (and its parents) and an empty catalog. An existing
 * database is left as it is. */
int ocilite_db_create(const char *dir, char *msg, size_t msglen);

/* User flags */
#define OCILITE_USER_LOCKED 0x1       /* logon fails with ORA-28000 */
#define OCILITE_USER_EXPIRE_GRACE 0x2 /* logon succeeds with ORA-28002 */
#define OCILITE_USER_EXPIRED 0x4      /* logon fails with ORA-28001 */

/* Creates a user and its schema file. The name follows Oracle's rules for an
 * unquoted identifier and is stored upper-case; the password is
 * case-sensitive. */
int ocilite_user_create(const char *dir, const char *user, const char *password, char *msg,
                        size_t msglen);
/* Drops a user and deletes its schema file. */
int ocilite_user_drop(const char *dir, const char *user, char *msg, size_t msglen);
int ocilite_user_password(const char *dir, const char *user, const char *password, char *msg,
                          size_t msglen);
int ocilite_user_flags(const char *dir, const char *user, int flags, char *msg, size_t msglen);
/* Calls fn once per user in name order; returns the number of users or -1. */
int ocilite_user_list(const char *dir, void (*fn)(void *ctx, const char *user, int flags),
                      void *ctx);

/* ---- Test-only fault injection ----------------------------------------- */

enum ocilite_test_kind {
  OCILITE_T_ANY = 0, /* matches every kind below */
  OCILITE_T_ENV_CREATE = 1,
  OCILITE_T_HANDLE_ALLOC = 2,
  OCILITE_T_ATTACH = 3,
  OCILITE_T_SESSION_BEGIN = 4,
  OCILITE_T_SESSION_END = 5,
  OCILITE_T_PREPARE = 6,
  OCILITE_T_EXECUTE = 7,
  OCILITE_T_FETCH = 8,
  OCILITE_T_COMMIT = 9,
  OCILITE_T_ROLLBACK = 10,
  OCILITE_T_TRANS_START = 11,
  OCILITE_T_BREAK = 12,
  OCILITE_T_RESET = 13,
  OCILITE_T_DESCRIBE = 14,
  OCILITE_T_LOB_READ = 15,
  OCILITE_T_LOB_WRITE = 16,
  OCILITE_T_ATTR_SET = 17,
  OCILITE_T_CPOOL_CREATE = 18,
  OCILITE_T_SERVER_VERSION = 19,
  OCILITE_T_ATTR_GET = 20,
  OCILITE_T_PARAM_GET = 21,
  OCILITE_T_DEFINE = 22,          /* OCIDefineByPos */
  OCILITE_T_BIND = 23,            /* OCIBindByPos, OCIBindByName, OCIBindDynamic */
  OCILITE_T_DESCRIPTOR_ALLOC = 24,
  OCILITE_T_DESCRIPTOR_FREE = 25,
  OCILITE_T_HANDLE_FREE = 26,     /* every handle but the environment */
  OCILITE_T_LOB_LENGTH = 27,
  OCILITE_T_LOB_CHARSET = 28,     /* OCILobCharSetForm, OCILobCharSetId */
  OCILITE_T_LOB_TRIM = 29,
  OCILITE_T_STMT_RELEASE = 30,
  OCILITE_T_SERVER_DETACH = 31,
  OCILITE_T_CPOOL_DESTROY = 32,
  OCILITE_T_PIECE_INFO = 33,      /* OCIStmtGetPieceInfo, OCIStmtSetPieceInfo */
  OCILITE_T_DATETIME = 34,        /* OCIDateTimeConstruct, GetDate, GetTime */
  OCILITE_T_CHARSET = 35,         /* OCICharSetToUnicode, OCIUnicodeToCharSet */
  OCILITE_T_PING = 36,
  OCILITE_T_KIND_COUNT = 37
};

/* From now on, the nth call of the kind (1 = the next one) and the count - 1
 * calls after it either fail with ORA-ora_code (warning 0: status OCI_ERROR)
 * or do their work and add the error as a warning record (warning 1: status
 * OCI_SUCCESS_WITH_INFO). message NULL uses Oracle's standard text. Several
 * faults may be armed at once; the first armed one that matches fires. */
void ocilite_test_fault(int kind, int nth, int count, int ora_code, int warning,
                        const char *message);

/* Calls of the kind wait ms milliseconds before doing their work; OCIBreak
 * ends the wait with ORA-01013. 0 switches it off. */
void ocilite_test_slow(int kind, unsigned ms);

/* The kind of the call the last armed fault fired on since the last reset
 * (0: none fired). */
int ocilite_test_fired(void);

/* Number of calls of the kind made since the last reset. */
unsigned ocilite_test_calls(int kind);

/* Failover: the next call of the kind on a session whose server has a
 * failover callback (OCI_ATTR_FOCBK) calls it from inside that call once per
 * event, in order, with the failover type fo_type (OCI_FO_SESSION ...). An
 * OCI_FO_ERROR event answered with OCI_FO_RETRY goes on to the next event.
 * Any other answer to it (the client gives up), or a sequence ending without
 * OCI_FO_END, brings an OCI_FO_ABORT event (unless the sequence just gave
 * one); the call fails with ORA-25408 and the session is dead: every later
 * call on it fails with ORA-03114 until it ends. After OCI_FO_END the new
 * session has lost an open transaction (rolled back; the call and every
 * later one fail with ORA-25402 until a rollback), for type OCI_FO_SESSION
 * also its open cursors (their fetches fail with ORA-25401 until executed
 * again), while type OCI_FO_SELECT continues their fetches; otherwise the
 * call then does its work. Kinds: OCILITE_T_EXECUTE, _FETCH, _COMMIT,
 * _ROLLBACK. */
void ocilite_test_failover(int kind, unsigned fo_type, const unsigned *events, int nevents);

/* One callback call of a failover: the event, the callback's answer and the
 * milliseconds since the failover's first event. */
struct ocilite_failover_step {
  unsigned event;
  int answer;
  unsigned ms;
};
/* The steps of failover number index (0: the first run since the last
 * reset): up to max go to steps; returns how many it had, or -1 when there
 * was no such failover. */
int ocilite_test_failover_steps(int index, struct ocilite_failover_step *steps, int max);

/* A connection pool as the stand-in keeps it: its limits, no-wait mode, the
 * physical connections opened and lent now, the most ever open, and the
 * servers attached through it. */
struct ocilite_pool_info {
  unsigned min, max, incr;
  int nowait;
  unsigned open, busy, peak;
  int attached;
};
/* The pools that exist now, oldest first: up to max go to out; returns how
 * many there are. */
int ocilite_test_pools(struct ocilite_pool_info *out, int max);

/* XA: the next call of the verb (its place in the switch: 0 open, 1 close,
 * 2 start, 3 end, 4 rollback, 5 prepare, 6 commit, 7 recover, 8 forget,
 * 9 complete) answers code without doing its work. */
void ocilite_test_xa(int verb, int code);

/* XA: finishing recorded branches (commit or rollback of a prepared one)
 * ends the process with SIGKILL as soon as files schema files have been
 * finished, the way a crash between two files would (0 disarms). */
void ocilite_test_xa_crash(int files);

/* Disarms every fault and slow setting and zeroes the call counts. */
void ocilite_test_reset(void);

#ifdef __cplusplus
}
#endif

#endif /* KVD_OCILITE_H */
