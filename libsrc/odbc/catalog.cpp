// The catalog function entries.
#include "odbc/catalog.h"

#include <cctype>
#include <cstdlib>
#include <cstring>

#include "odbc/drvops.h"
#include "odbc/objects.h"
#include "odbc/sqlstate.h"
#include "odbc/stmt.h"
#include "odbc/trace.h"
#include "util/strutil.h"

namespace {

// How an absent (NULL) name is passed on.
enum NameDefault : uint8_t { DEF_EMPTY, DEF_PERCENT };

struct NameSpec {
  int textSlot;  // argument slot of the text; its length follows it
  NameDefault def;
};

// One catalog call's names: heap texts owned for the length of the call.
struct Names {
  CatalogArgs args{};
  int count = 0;
  ~Names() {
    for (int i = 0; i < count; ++i) free(args.names[i]);
  }
  const char *operator[](int i) const { return args.names[i] ? args.names[i] : ""; }
};

bool IsBlank(char c) { return isspace(static_cast<unsigned char>(c)) != 0; }

// Steps shared by the family: close an open result first, check the state,
// drop the previous result, check the lengths, copy the names. 0 or the
// error code (already pending on the statement).
int Begin(Stmt *stmt, const ApiArgs &a, const NameSpec *specs, int count, int requiredTable, Names *names) {
  StmtClose(stmt);
  if (stmt->state != STMT_IDLE) return stmt->pending = E_S1010;
  StmtFreeResult(stmt);
  for (int i = 0; i < count; ++i) {
    const int16_t len = a.i16(specs[i].textSlot + 1);
    // A name length below 0 other than SQL_NTS sizes nothing.
    if (len < 0 && len != SQL_NTS) return stmt->pending = E_S1090;
  }
  if (requiredTable >= 0 && !a.ptr<char>(specs[requiredTable].textSlot)) return stmt->pending = E_S1009;
  for (int i = 0; i < count; ++i) {
    const char *text = a.ptr<char>(specs[i].textSlot);
    const int16_t len = a.i16(specs[i].textSlot + 1);
    if (!text && specs[i].def == DEF_PERCENT)
      str_copy_len(&names->args.names[i], "%", SQL_NTS);
    else
      str_copy_unquoted(&names->args.names[i], text, len);
    names->count = i + 1;
    if (!names->args.names[i]) return stmt->pending = E_S1001;
  }
  return 0;
}

// Hands the names to the agent's operation and opens the result.
template <auto Slot>
SQLRETURN Run(Stmt *stmt, Names &names) {
  const int32_t code = DrvCall<Slot>(stmt->drv, stmt->agentCursor, &names.args);
  stmt->pending = code;
  // 183: the result is there, and a failover completed on the way.
  if (code != 0 && code != E_IM500) {
    StmtGetAgentMsgs(stmt);
    return SQL_ERROR;
  }
  StmtStateStore(stmt, STMT_PREPARED);
  stmt->flags |= STMTF_RESULT_OPEN;
  return code == E_IM500 ? SQL_SUCCESS_WITH_INFO : SQL_SUCCESS;
}

}  // namespace

char *TableTypeListQuote(const char *text) {
  if (!text) return nullptr;
  if (*text == '\0' || *text == '%') {
    char *out = static_cast<char *>(malloc(2));
    if (out) {
      out[0] = *text;
      out[1] = '\0';
    }
    return out;
  }
  // Every input character becomes at most three ("," -> "','"), plus the
  // two outer quotes and the NUL.
  const size_t len = strlen(text);
  char *out = static_cast<char *>(malloc(3 * len + 3));
  if (!out) return nullptr;
  size_t o = 0;
  out[o++] = '\'';
  size_t elementStart = o;
  const char *p = text;
  while (IsBlank(*p)) ++p;
  for (; *p; ++p) {
    if (*p == '\'') continue;
    if (*p == ',') {
      while (o > elementStart && IsBlank(out[o - 1])) --o;
      memcpy(out + o, "','", 3);
      o += 3;
      elementStart = o;
      while (IsBlank(p[1])) ++p;
      continue;
    }
    out[o++] = *p;
  }
  while (o > elementStart && IsBlank(out[o - 1])) --o;
  out[o++] = '\'';
  out[o] = '\0';
  return out;
}

int TableTypeListFind(const char *list, const char *item) {
  if (!list || !item) return 0;
  const size_t n = strlen(item);
  int number = 1;
  for (const char *e = list;; ++number) {
    while (IsBlank(*e)) ++e;
    if (strncmp(e, item, n) == 0 && (e[n] == ',' || e[n] == '\0')) return number;
    e = strchr(e, ',');
    if (!e) return 0;
    ++e;
  }
}

SQLRETURN odbc_ColumnPrivileges(void *object, const ApiArgs &a) {
  auto *stmt = static_cast<Stmt *>(object);
  static constexpr NameSpec kSpecs[] = {{0, DEF_EMPTY}, {2, DEF_EMPTY}, {4, DEF_EMPTY}, {6, DEF_PERCENT}};
  Names n;
  if (Begin(stmt, a, kSpecs, 4, 2, &n) != 0) return SQL_ERROR;
  if (TraceIsOn()) TraceODBC("Qualifier='%s' Owner='%s' Name='%s' Column='%s'", n[0], n[1], n[2], n[3]);
  return Run<&DrvOps::DRV_DDColumnPrivileges>(stmt, n);
}

SQLRETURN odbc_Columns(void *object, const ApiArgs &a) {
  auto *stmt = static_cast<Stmt *>(object);
  static constexpr NameSpec kSpecs[] = {{0, DEF_EMPTY}, {2, DEF_PERCENT}, {4, DEF_PERCENT}, {6, DEF_PERCENT}};
  Names n;
  if (Begin(stmt, a, kSpecs, 4, -1, &n) != 0) return SQL_ERROR;
  if (TraceIsOn()) TraceODBC("Qualifier='%s' Owner='%s' Name='%s' Column='%s'", n[0], n[1], n[2], n[3]);
  return Run<&DrvOps::DRV_DDColumns>(stmt, n);
}

SQLRETURN odbc_ForeignKeys(void *object, const ApiArgs &a) {
  auto *stmt = static_cast<Stmt *>(object);
  static constexpr NameSpec kSpecs[] = {{0, DEF_EMPTY}, {2, DEF_EMPTY}, {4, DEF_EMPTY},
                                        {6, DEF_EMPTY}, {8, DEF_EMPTY}, {10, DEF_EMPTY}};
  Names n;
  if (Begin(stmt, a, kSpecs, 6, -1, &n) != 0) return SQL_ERROR;
  return Run<&DrvOps::DRV_DDForeignKeys>(stmt, n);
}

SQLRETURN odbc_PrimaryKeys(void *object, const ApiArgs &a) {
  auto *stmt = static_cast<Stmt *>(object);
  static constexpr NameSpec kSpecs[] = {{0, DEF_EMPTY}, {2, DEF_EMPTY}, {4, DEF_EMPTY}};
  Names n;
  if (Begin(stmt, a, kSpecs, 3, 2, &n) != 0) return SQL_ERROR;
  if (TraceIsOn()) TraceODBC("Qualifier='%s' Owner='%s' Name='%s'", n[0], n[1], n[2]);
  return Run<&DrvOps::DRV_DDPrimaryKeys>(stmt, n);
}

SQLRETURN odbc_ProcedureColumns(void *object, const ApiArgs &a) {
  auto *stmt = static_cast<Stmt *>(object);
  static constexpr NameSpec kSpecs[] = {{0, DEF_EMPTY}, {2, DEF_PERCENT}, {4, DEF_PERCENT}, {6, DEF_PERCENT}};
  Names n;
  if (Begin(stmt, a, kSpecs, 4, -1, &n) != 0) return SQL_ERROR;
  return Run<&DrvOps::DRV_DDProcedureColumns>(stmt, n);
}

SQLRETURN odbc_Procedures(void *object, const ApiArgs &a) {
  auto *stmt = static_cast<Stmt *>(object);
  static constexpr NameSpec kSpecs[] = {{0, DEF_EMPTY}, {2, DEF_PERCENT}, {4, DEF_PERCENT}};
  Names n;
  if (Begin(stmt, a, kSpecs, 3, -1, &n) != 0) return SQL_ERROR;
  return Run<&DrvOps::DRV_DDProcedures>(stmt, n);
}

SQLRETURN odbc_SpecialColumns(void *object, const ApiArgs &a) {
  auto *stmt = static_cast<Stmt *>(object);
  // (identifier type, catalog, length, schema, length, table, length, scope, nullable)
  static constexpr NameSpec kSpecs[] = {{1, DEF_EMPTY}, {3, DEF_EMPTY}, {5, DEF_EMPTY}};
  Names n;
  if (Begin(stmt, a, kSpecs, 3, 2, &n) != 0) return SQL_ERROR;
  n.args.options[0] = a.u16(0);
  n.args.options[1] = a.u16(7);
  n.args.options[2] = a.u16(8);
  if (TraceIsOn()) TraceODBC("Qualifier='%s' Owner='%s' Name='%s'", n[0], n[1], n[2]);
  return Run<&DrvOps::DRV_DDSpecialColumns>(stmt, n);
}

SQLRETURN odbc_Statistics(void *object, const ApiArgs &a) {
  auto *stmt = static_cast<Stmt *>(object);
  static constexpr NameSpec kSpecs[] = {{0, DEF_EMPTY}, {2, DEF_EMPTY}, {4, DEF_EMPTY}};
  Names n;
  if (Begin(stmt, a, kSpecs, 3, 2, &n) != 0) return SQL_ERROR;
  n.args.options[0] = a.u16(6);
  n.args.options[1] = a.u16(7);
  if (TraceIsOn())
    TraceODBC("Qualifier='%s' Owner='%s' Name='%s' Unique=%u Accuracy=%u", n[0], n[1], n[2], n.args.options[0],
              n.args.options[1]);
  return Run<&DrvOps::DRV_DDStatistics>(stmt, n);
}

SQLRETURN odbc_TablePrivileges(void *object, const ApiArgs &a) {
  auto *stmt = static_cast<Stmt *>(object);
  static constexpr NameSpec kSpecs[] = {{0, DEF_EMPTY}, {2, DEF_PERCENT}, {4, DEF_PERCENT}};
  Names n;
  if (Begin(stmt, a, kSpecs, 3, -1, &n) != 0) return SQL_ERROR;
  if (TraceIsOn()) TraceODBC("Qualifier='%s' Owner='%s' Name='%s'", n[0], n[1], n[2]);
  return Run<&DrvOps::DRV_DDTablePrivileges>(stmt, n);
}

SQLRETURN odbc_Tables(void *object, const ApiArgs &a) {
  auto *stmt = static_cast<Stmt *>(object);
  // Here a length below 0 is taken as SQL_NTS, so the shared length check
  // sees the names with their lengths normalised.
  uint64_t slots[8];
  for (int i = 0; i < 8; ++i) slots[i] = a.u64(i);
  for (int i = 1; i < 8; i += 2)
    if (static_cast<int16_t>(slots[i]) < 0) slots[i] = static_cast<uint64_t>(static_cast<int64_t>(SQL_NTS));
  const ApiArgs args{slots, 8};

  static constexpr NameSpec kSpecs[] = {{0, DEF_EMPTY}, {2, DEF_PERCENT}, {4, DEF_PERCENT}};
  Names n;
  if (Begin(stmt, args, kSpecs, 3, -1, &n) != 0) return SQL_ERROR;
  char *types = nullptr;
  str_copy_len(&types, args.ptr<char>(6), args.i16(7));
  if (!types) {
    stmt->pending = E_S1001;
    return SQL_ERROR;
  }
  if (TraceIsOn()) TraceODBC("Qualifier='%s' Owner='%s' Name='%s' Type='%s'", n[0], n[1], n[2], types);
  char *quoted = TableTypeListQuote(types);
  free(types);
  if (!quoted) {
    stmt->pending = E_S1001;
    return SQL_ERROR;
  }
  const uint16_t connFlags = stmt->conn->flags;
  if ((connFlags & CONNF_INCLUDE_VIEWS) && TableTypeListFind(quoted, "'TABLE'") &&
      !TableTypeListFind(quoted, "'VIEW'")) {
    const size_t len = strlen(quoted);
    if (char *grown = static_cast<char *>(realloc(quoted, len + sizeof ",'VIEW'"))) {
      memcpy(grown + len, ",'VIEW'", sizeof ",'VIEW'");
      quoted = grown;
    }
  }
  if (connFlags & CONNF_INCLUDE_ALL) quoted[0] = '\0';
  n.args.names[3] = quoted;
  n.count = 4;
  return Run<&DrvOps::DRV_DDTables>(stmt, n);
}
