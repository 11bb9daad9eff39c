// Connection attributes, data-source settings and the AgentOptions block.
#include "odbc/connattr.h"

#include <cctype>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <strings.h>

#include "odbc/odbcinst.h"
#include "util/mpl.h"
#include "util/utalloc.h"
#include "variant.h"

extern const DriverVariant g_driverVariant __attribute__((weak));

ConnAttr g_connAttrs[CA_COUNT] = {
    {"DSN", nullptr, 1, 0, 0, nullptr},
    {"UID", "UID", 1, 512, 0, nullptr},
    {"READONLY", "ReadOnly", 1, 5, 0, nullptr},
    {"PWD", "PWD", 0, 129, 0, nullptr},
    {"FBS", "FetchBufferSize", 1, 5, 0, nullptr},
    {"NLB", "NoLoginBox", 1, 5, 0, nullptr},
    {"MAXROWS", "MaxRows", 1, 5, 0, nullptr},
    {"NOAC", "NoAutoCommit", 1, 6, 0, nullptr},
    {"SQLNET", "SQLNETConnect", 1, 256, 0, nullptr},
    {"ORACAT", "OraCatalogs", 0, 81, 0, nullptr},
    {"SQLNETIF", "SQLNETInterface", 1, 256, 0, nullptr},
    {"JET", "JET", 1, 6, 0, nullptr},
    {"CPP", "CountProcParms", 1, 6, 0, nullptr},
    {"NRSSL", "NoRowsetSizeLimit", 1, 6, 0, nullptr},
    {"DRIVER", nullptr, 1, 81, 0, nullptr},
    {"FDSN", "File DSN", 0, 5, 0, nullptr},
    {"OPREFROWS", "OCIPrefetchRows", 1, 6, 0, nullptr},
    {"OPREFMEM", "OCIPrefetchMemory", 1, 12, 0, nullptr},
    {"OSTMTCACHE", "OCIStmtCacheSize", 1, 12, 0, nullptr},
    {"USRTBLSFIRST", "UsrTblsFirst", 1, 6, 0, nullptr},
    {"DYN_CURS_SENSITIVITY", "DynCursSensitivity", 1, 10, 0, nullptr},
    {"SHOWREMARKS", "ShowRemarks", 1, 6, 0, nullptr},
    {"DLF", "DeferLongFetch", 1, 5, 0, nullptr},
    {"INITSQL", "InitialSQL", 1, 81, 0, nullptr},
    {"SQLDBMSNAME", "SqlDbmsName", 1, 41, 0, nullptr},
    {"FILEDSN", nullptr, 1, 256, 0, nullptr},
    {"EMPTY_STRING_ISNT_NULL", "EmptyStringIsntNull", 1, 6, 0, nullptr},
    {"SHOWSYNONYMS", "ShowSynonyms", 1, 6, 0, nullptr},
    {"TAF_ENABLE", "TAFEnable", 1, 5, 0, nullptr},
    {"TAF_RETRY_INTERVAL", "TAFRetryInterval", 1, 12, 0, nullptr},
    {"TAF_MAX_RETRIES", "TAFMaxRetries", 1, 12, 0, nullptr},
    {"OCPMIN", "OCIConnPoolMin", 1, 6, 0, nullptr},
    {"OCPMAX", "OCIConnPoolMax", 1, 6, 0, nullptr},
    {"OCPINCR", "OCIConnPoolIncr", 1, 6, 0, nullptr},
    {"OCPWAIT", "OCIConnPoolWait", 1, 6, 0, nullptr},
    {"OCPLINGER", "OCIConnPoolLinger", 1, 6, 0, nullptr},
    {"IV", "IncludeViews", 1, 5, 0, nullptr},
    {"IA", "IncludeAll", 1, 5, 0, nullptr},
};

AgentOptions g_agentOptions;

namespace {

constexpr const char *kOdbcIni = "odbc.ini";
constexpr const char *kDefaultSection = "Default";
constexpr const char *kFileDsnSection = "ODBC";
constexpr const char *kLastUser = "LastUser";
constexpr int kDsnReadChars = 255;  // data-source values are read through 255 characters

char *CopyN(const char *text, size_t n) {
  auto *copy = static_cast<char *>(s_alloc(n + 1, 1));
  memcpy(copy, text, n);
  copy[n] = '\0';
  return copy;
}

// Cuts a NUL-terminated text to at most n bytes.
// Cuts text to at most n bytes, never inside a UTF-8 character: a cut that
// would split one drops all of it.
void CutTo(char *text, size_t n) {
  if (strlen(text) <= n) return;
  while (n > 0 && (static_cast<unsigned char>(text[n]) & 0xC0) == 0x80) --n;
  text[n] = '\0';
}

// ---- Reading the data sources ----

// The reads, on the texts as they are. A call through a W entry point has
// UTF-8 texts, which are the bytes odbc.ini and File DSNs hold on this
// platform, so it uses the same narrow installer functions: unixODBC's W
// forms widen and narrow byte by byte, which would garble every non-ASCII
// name and value.
struct NarrowSource {
  const char *dsn;
  const char *fileDsn;

  // value has room for maxLength + 1 bytes (more in the Unicode deliverable).
  void Read(const ConnAttr &a, char *value) const {
    const int max = a.maxLength;
    if (dsn != nullptr && *dsn != '\0') {
      char buf[kDsnReadChars + 1] = {};
      OdbcInstGetPrivateProfileString(dsn, a.valueName, "", buf, kDsnReadChars, kOdbcIni);
      if (buf[0] == '\0' && strcmp(a.valueName, "UID") == 0)
        OdbcInstGetPrivateProfileString(dsn, kLastUser, "", buf, kDsnReadChars, kOdbcIni);
      buf[kDsnReadChars] = '\0';
      CutTo(buf, static_cast<size_t>(max - 1));
      strcpy(value, buf);
    } else if (fileDsn != nullptr && *fileDsn != '\0') {
      char buf[kDsnReadChars + 1] = {};
      uint16_t len = 0;
      if (!OdbcInstReadFileDSN(fileDsn, kFileDsnSection, a.keyword, buf, kDsnReadChars, &len)) buf[0] = '\0';
      buf[kDsnReadChars] = '\0';
      CutTo(buf, static_cast<size_t>(max - 1));
      strcpy(value, buf);
    } else {
      OdbcInstGetPrivateProfileString(kDefaultSection, a.valueName, "", value, max, kOdbcIni);
      value[max] = '\0';
      CutTo(value, static_cast<size_t>(max - 1));
    }
  }
};

// Completes every entry that the string did not give and that has a value
// name, from the first of: the DSN section, the File DSN, "Default".
void CompleteTable() {
  const bool unicode = DriverIsUnicode();
  NarrowSource source{g_connAttrs[CA_DSN].value, g_connAttrs[CA_FILEDSN].value};
  for (ConnAttr &a : g_connAttrs) {
    if (a.supplied || a.valueName == nullptr) continue;
    // Room for the value in the call's form (UTF-8 may take up to four
    // bytes where the application's set takes one).
    const size_t size = unicode ? 4 * static_cast<size_t>(a.maxLength) + 1 : static_cast<size_t>(a.maxLength) + 1;
    auto *value = static_cast<char *>(calloc(size, 1));
    // Out of memory: this and the remaining entries stay without a value,
    // which reads as empty everywhere.
    if (value == nullptr) break;
    source.Read(a, value);
    free(a.value);
    a.value = value;
  }
}

bool IsQuotingChar(char c) { return c == ';' || c == '{' || c == '}'; }

}  // namespace

bool DriverIsUnicode() { return &g_driverVariant == nullptr || g_driverVariant.unicode; }

// ---- Connection-string items ----------------------------------------------

bool ConnStrNextItem(const char **pos, char **key, char **value, bool *quoted, char **raw) {
  *key = nullptr;
  *value = nullptr;
  *quoted = false;
  if (raw != nullptr) *raw = nullptr;
  const char *p = *pos;
  if (p == nullptr || *p == '\0') return false;
  const char *eq = nullptr;
  const char *q = p;
  while (*q != '\0' && *q != ';' && *q != '=') ++q;
  if (*q != '=') {
    // No '=' before the item's end: the item is skipped whole.
    *pos = *q == ';' ? q + 1 : q;
    return true;
  }
  eq = q;
  *key = CopyN(p, static_cast<size_t>(eq - p));
  const char *v = eq + 1;
  if (*v == '{') {
    // A braced value: up to the brace that "}}" does not double. A value
    // whose closing brace is missing runs to the end of the text.
    MemPool pool;
    mpl_init(&pool);
    const char *r = v + 1;
    while (*r != '\0') {
      if (*r == '}') {
        if (r[1] == '}') {
          mpl_append_byte(&pool, '}');
          r += 2;
          continue;
        }
        ++r;
        break;
      }
      mpl_append_byte(&pool, *r++);
    }
    mpl_append_byte(&pool, '\0');
    *value = s_strdup(static_cast<const char *>(mpl_finish(&pool)));
    mpl_free_all(&pool);
    *quoted = true;
    if (raw != nullptr) *raw = CopyN(v, static_cast<size_t>(r - v));
    // Anything between the closing brace and the item's end is not part of
    // the value.
    while (*r != '\0' && *r != ';') ++r;
    *pos = *r == ';' ? r + 1 : r;
  } else {
    const char *end = v;
    while (*end != '\0' && *end != ';') ++end;
    *value = CopyN(v, static_cast<size_t>(end - v));
    if (raw != nullptr) *raw = CopyN(v, static_cast<size_t>(end - v));
    *pos = *end == ';' ? end + 1 : end;
  }
  return true;
}

void ConnStrAppendItem(MemPool *pool, const char *key, const char *value) {
  if (value == nullptr) value = "";
  mpl_append(pool, key, strlen(key));
  mpl_append_byte(pool, '=');
  bool quote = false;
  for (const char *p = value; *p != '\0' && !quote; ++p) quote = IsQuotingChar(*p);
  if (!quote) {
    mpl_append(pool, value, strlen(value));
    return;
  }
  mpl_append_byte(pool, '{');
  for (const char *p = value; *p != '\0'; ++p) {
    mpl_append_byte(pool, *p);
    if (*p == '}') mpl_append_byte(pool, '}');
  }
  mpl_append_byte(pool, '}');
}

void ConnStrAppendMaskedUser(MemPool *pool, const char *user) {
  const char *slash = strchr(user, '/');
  if (slash == nullptr) {
    mpl_append(pool, user, strlen(user));
    return;
  }
  mpl_append(pool, user, static_cast<size_t>(slash - user));
  mpl_append(pool, "/***", 4);
  const char *at = strchr(slash, '@');
  if (at != nullptr) mpl_append(pool, at, strlen(at));
}

char *ConnStrMaskPassword(const char *text) {
  MemPool pool;
  mpl_init(&pool);
  const char *pos = text != nullptr ? text : "";
  bool first = true;
  for (;;) {
    const char *start = pos;
    char *key, *value, *raw;
    bool quoted;
    if (!ConnStrNextItem(&pos, &key, &value, &quoted, &raw)) break;
    if (!first) mpl_append_byte(&pool, ';');
    first = false;
    if (key == nullptr) {
      // An item without '=' is shown as written, up to its end.
      size_t n = static_cast<size_t>(pos - start);
      if (n > 0 && start[n - 1] == ';') --n;
      mpl_append(&pool, start, n);
    } else {
      mpl_append(&pool, key, strlen(key));
      mpl_append_byte(&pool, '=');
      if (strcasecmp(key, "PWD") == 0)
        mpl_append(&pool, "***", 3);
      else if (strcasecmp(key, "UID") == 0 && strchr(value, '/') != nullptr)
        ConnStrAppendMaskedUser(&pool, value);
      else
        mpl_append(&pool, raw, strlen(raw));
    }
    free(key);
    free(value);
    free(raw);
  }
  mpl_append_byte(&pool, '\0');
  char *out = s_strdup(static_cast<const char *>(mpl_finish(&pool)));
  mpl_free_all(&pool);
  return out;
}

// ---- The attribute table --------------------------------------------------

void ConnStrParse(const char *text, char mode) {
  for (ConnAttr &a : g_connAttrs) {
    free(a.value);
    a.value = nullptr;
    a.supplied = 0;
  }
  if (text == nullptr) return;
  const char *pos = text;
  char *key, *value, *raw;
  bool quoted;
  while (ConnStrNextItem(&pos, &key, &value, &quoted, &raw)) {
    if (key != nullptr) {
      for (int i = 0; i < CA_COUNT; ++i) {
        if (strcasecmp(key, g_connAttrs[i].keyword) != 0) continue;
        // The driver entry keeps its braces: the long output string and the
        // login prompt show it as given.
        ConnAttrSet(i, i == CA_DRIVER ? raw : value, 1);
        break;
      }
    }
    free(key);
    free(value);
    free(raw);
  }
  (void)mode;
  CompleteTable();
}

const char *ConnAttrValue(int index) { return g_connAttrs[index].value; }

const char *ConnAttrText(int index) {
  const char *v = g_connAttrs[index].value;
  return v != nullptr ? v : "";
}

bool ConnAttrBool(int index) {
  const char *v = ConnAttrText(index);
  return strcasecmp(v, "TRUE") == 0 || strcasecmp(v, "YES") == 0;
}

int32_t ConnAttrNumber(int index) {
  // The leading digits; no sign, so "-5" is 0 like any text without them.
  int64_t n = 0;
  for (const char *p = ConnAttrText(index); *p >= '0' && *p <= '9'; ++p) {
    n = n * 10 + (*p - '0');
    if (n > INT32_MAX) return INT32_MAX;
  }
  return static_cast<int32_t>(n);
}

void ConnAttrSet(int index, const char *text, int32_t supplied) {
  ConnAttr &a = g_connAttrs[index];
  free(a.value);
  a.value = text != nullptr ? s_strdup(text) : nullptr;
  a.supplied = supplied;
}

// ---- AgentOptions ---------------------------------------------------------

namespace {

void ReplaceText(char **slot, const char *text) {
  free(*slot);
  *slot = text != nullptr ? s_strdup(text) : nullptr;
}

}  // namespace

void AgentOptionsFill() {
  AgentOptions &o = g_agentOptions;
  o.oraCatalogs = ConnAttrBool(CA_ORACAT);
  o.maxRows = ConnAttrNumber(CA_MAXROWS);
  ReplaceText(&o.sqlnetIf, ConnAttrText(CA_SQLNETIF));
  o.jet = ConnAttrBool(CA_JET);
  o.countProcParams = ConnAttrBool(CA_CPP);
  o.userTablesFirst = ConnAttrBool(CA_USRTBLSFIRST);
  o.dynCursSensitivity = DynCursSensitivityParse(ConnAttrValue(CA_DYN_CURS_SENSITIVITY));
  o.showRemarks = ConnAttrBool(CA_SHOWREMARKS);
  // An empty value clears a text left by an earlier connect that never
  // reached the agent, so that no stale initial SQL file or DBMS name is
  // handed to a later connection.
  const char *initSql = ConnAttrText(CA_INITSQL);
  ReplaceText(&o.initSql, *initSql != '\0' ? initSql : nullptr);
  o.noAutocommit = ConnAttrBool(CA_NOAC);
  o.noRowsetSizeLimit = ConnAttrBool(CA_NRSSL);
  const char *dbmsName = ConnAttrText(CA_SQLDBMSNAME);
  ReplaceText(&o.dbmsName, *dbmsName != '\0' ? dbmsName : nullptr);
  o.emptyStringIsntNull = ConnAttrBool(CA_EMPTY_STRING_ISNT_NULL);
  o.showSynonyms = ConnAttrBool(CA_SHOWSYNONYMS);
  o.ociPrefetchRows = ConnAttrNumber(CA_OPREFROWS);
  o.ociPrefetchMemory = ConnAttrNumber(CA_OPREFMEM);
  o.ociStmtCacheSize = ConnAttrNumber(CA_OSTMTCACHE);
  o.poolMin = ConnAttrNumber(CA_OCPMIN);
  o.poolMax = ConnAttrNumber(CA_OCPMAX);
  o.poolIncr = ConnAttrNumber(CA_OCPINCR);
  o.poolWait = ConnAttrBool(CA_OCPWAIT);
  o.poolLinger = ConnAttrNumber(CA_OCPLINGER);
  o.tafEnable = ConnAttrBool(CA_TAF_ENABLE);
  o.tafRetryInterval = 0;
  o.tafMaxRetries = 0;
  if (o.tafEnable) {
    o.tafRetryInterval = ConnAttrNumber(CA_TAF_RETRY_INTERVAL);
    if (o.tafRetryInterval == 0) o.tafRetryInterval = 10;
    o.tafMaxRetries = ConnAttrNumber(CA_TAF_MAX_RETRIES);
    if (o.tafMaxRetries == 0) o.tafMaxRetries = 10;
  }
}

void AgentOptionsRelease() {
  AgentOptions &o = g_agentOptions;
  ReplaceText(&o.sqlnetIf, nullptr);
  ReplaceText(&o.initSql, nullptr);
  ReplaceText(&o.dbmsName, nullptr);
}

char *DsnDriverDesc() {
  constexpr int kSize = 255;
  auto *desc = static_cast<char *>(calloc(kSize, 1));
  if (desc == nullptr) return nullptr;
  const char *dsn = ConnAttrValue(CA_DSN);
  if (dsn != nullptr && *dsn != '\0') {
    OdbcInstGetPrivateProfileString("ODBC Data Sources", dsn, "", desc, kSize, kOdbcIni);
    desc[kSize - 1] = '\0';
  }
  return desc;
}

int32_t DynCursSensitivityParse(const char *text) {
  if (text == nullptr) return DCS_LOW;
  switch (*text) {
    case 'D':
    case 'd':
      return DCS_DISABLED;
    case 'H':
    case 'h':
      return DCS_HIGH;
    default:
      return DCS_LOW;
  }
}

const char *DynCursSensitivityName(int32_t code) {
  switch (code) {
    case DCS_HIGH:
      return "HIGH";
    case DCS_DISABLED:
      return "DISABLED";
    default:
      return "LOW";
  }
}
