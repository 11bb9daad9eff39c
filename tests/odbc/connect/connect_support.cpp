#include "connect_support.h"

#include <unistd.h>

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>

#include "odbc/connattr.h"
#include "odbc/connopt.h"
#include "odbc/sqlstate.h"

namespace ct {
namespace {

struct FixtureFiles {
  std::string dir;
  pid_t owner = 0;
  ~FixtureFiles() {
    if (!dir.empty() && owner == getpid()) {
      std::error_code ec;
      std::filesystem::remove_all(dir, ec);
    }
  }
};

FixtureFiles g_files;

void Write(const std::string &path, const std::string &text) {
  std::ofstream f(path, std::ios::trunc);
  f << text;
}

}  // namespace

const std::string &FixtureDir() {
  if (!g_files.dir.empty()) return g_files.dir;
  const char *tmp = std::getenv("TMPDIR");
  std::string tmpl = std::string(tmp && *tmp ? tmp : "/tmp") + "/kvd-connect-XXXXXX";
  if (!mkdtemp(tmpl.data())) std::abort();
  g_files.dir = tmpl;
  g_files.owner = getpid();
  Write(tmpl + "/odbcinst.ini", "[ODBC]\nTrace = No\n\n[KVD Fake Unicode]\nDriver = /nonexistent.so\n");
  const std::string longValue(300, 'x');
  Write(tmpl + "/odbc.ini",
        "[ODBC Data Sources]\n"
        "kvd_full = KVD Fake Unicode\n"
        "\n"
        "[kvd_full]\n"
        "Driver = KVD Fake Unicode\n"
        "UID = dsnuser\n"
        "PWD = dsnpass\n"
        "ReadOnly = yes\n"
        "FetchBufferSize = 0\n"
        "NoLoginBox = no\n"
        "MaxRows = 500\n"
        "NoAutoCommit = TRUE\n"
        "SQLNETConnect = orcl_alias\n"
        "OraCatalogs = TRUE\n"
        "SQLNETInterface = tcp\n"
        "JET = true\n"
        "CountProcParms = yes\n"
        "NoRowsetSizeLimit = no\n"
        "OCIPrefetchRows = 20\n"
        "OCIPrefetchMemory = 65536\n"
        "OCIStmtCacheSize = 30\n"
        "UsrTblsFirst = yes\n"
        "DynCursSensitivity = high\n"
        "ShowRemarks = Yes\n"
        "DeferLongFetch = TRUE\n"
        "InitialSQL = /tmp/init.sql\n"
        "SqlDbmsName = ORACLE11\n"
        "EmptyStringIsntNull = yes\n"
        "ShowSynonyms = yes\n"
        "TAFEnable = yes\n"
        "TAFRetryInterval = 0\n"
        "TAFMaxRetries = 3\n"
        "OCIConnPoolMin = 1\n"
        "OCIConnPoolMax = 4\n"
        "OCIConnPoolIncr = 2\n"
        "OCIConnPoolWait = TRUE\n"
        "OCIConnPoolLinger = 60\n"
        "IncludeViews = yes\n"
        "IncludeAll = no\n"
        "\n"
        "[kvd_lastuser]\n"
        "Driver = KVD Fake Unicode\n"
        "LastUser = lastguy\n"
        "PWD = lastpass\n"
        "\n"
        "[kvd_nlb]\n"
        "Driver = KVD Fake Unicode\n"
        "UID = nlbuser\n"
        "LastUser = other\n"
        "NoLoginBox = yes\n"
        "\n"
        "[kvd_long]\n"
        "Driver = KVD Fake Unicode\n"
        "FetchBufferSize = 123456\n"
        "SQLNETConnect = " + longValue + "\n"
        "TAFRetryInterval = 12345678901234\n"
        "\n"
        "[kvd_utf8]\n"
        "Driver = KVD Fake Unicode\n"
        "UID = J\xC3\xBCrgen\n"
        "FetchBufferSize = 12\xC3\xBC\n"
        "TAFRetryInterval = 1234567890\xE2\x82\xAC\n"
        "\n"
        "[kvd_minimal]\n"
        "Driver = KVD Fake Unicode\n"
        "\n"
        "[Default]\n"
        "Driver = KVD Fake Unicode\n"
        "PWD = defpass\n"
        "FetchBufferSize = 25\n"
        "LastUser = notthis\n"
        "\n");
  Write(tmpl + "/file.dsn",
        "[ODBC]\nDRIVER = KVD Fake Unicode\nUID = fileuser\nPWD = filepass\nFBS = 77\nFetchBufferSize = 99\n");
  Write(tmpl + "/utf8.dsn", "[ODBC]\nDRIVER = KVD Fake Unicode\nFBS = 123\xC3\xBC\n");
  Write(tmpl + "/lastuser.dsn", "[ODBC]\nDRIVER = KVD Fake Unicode\nLastUser = nope\nFBS = 5\n");
  setenv("ODBCSYSINI", tmpl.c_str(), 1);
  setenv("ODBCINSTINI", "odbcinst.ini", 1);
  setenv("ODBCINI", (tmpl + "/odbc.ini").c_str(), 1);
  return g_files.dir;
}

std::string FileDsn(const char *name) { return FixtureDir() + "/" + name; }

std::basic_string<SQLWCHAR> ToW(const std::string &utf8) {
  std::basic_string<SQLWCHAR> out;
  for (size_t i = 0; i < utf8.size();) {
    auto c = static_cast<unsigned char>(utf8[i]);
    uint32_t cp;
    int n;
    if (c < 0x80) { cp = c; n = 1; }
    else if ((c >> 5) == 6) { cp = c & 0x1F; n = 2; }
    else if ((c >> 4) == 14) { cp = c & 0x0F; n = 3; }
    else { cp = c & 0x07; n = 4; }
    for (int k = 1; k < n && i + k < utf8.size(); ++k) cp = cp << 6 | (static_cast<unsigned char>(utf8[i + k]) & 0x3F);
    i += n;
    if (cp >= 0x10000) {
      cp -= 0x10000;
      out += static_cast<SQLWCHAR>(0xD800 + (cp >> 10));
      out += static_cast<SQLWCHAR>(0xDC00 + (cp & 0x3FF));
    } else {
      out += static_cast<SQLWCHAR>(cp);
    }
  }
  return out;
}

std::string FromW(const SQLWCHAR *s, size_t units) {
  std::string out;
  for (size_t i = 0; i < units && s[i] != 0; ++i) {
    uint32_t cp = s[i];
    if (cp >= 0xD800 && cp < 0xDC00 && i + 1 < units) cp = 0x10000 + ((cp - 0xD800) << 10) + (s[++i] - 0xDC00);
    if (cp < 0x80) out += static_cast<char>(cp);
    else if (cp < 0x800) { out += static_cast<char>(0xC0 | cp >> 6); out += static_cast<char>(0x80 | (cp & 0x3F)); }
    else if (cp < 0x10000) {
      out += static_cast<char>(0xE0 | cp >> 12);
      out += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
      out += static_cast<char>(0x80 | (cp & 0x3F));
    } else {
      out += static_cast<char>(0xF0 | cp >> 18);
      out += static_cast<char>(0x80 | ((cp >> 12) & 0x3F));
      out += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
      out += static_cast<char>(0x80 | (cp & 0x3F));
    }
  }
  return out;
}

namespace {

// The records of a handle as the diagnostic functions build them: its
// messages, else its pending code. Used while the driver's own diagnostic
// functions answer "not capable".
std::vector<Diag> RecordsOf(DiagMsg *messages, int32_t pending, bool odbc3) {
  std::vector<Diag> out;
  auto state3 = [odbc3](std::string st) {
    if (!odbc3) return st;
    static const std::pair<const char *, const char *> kMap[] = {
        {"S1002", "07009"}, {"S1093", "07009"}, {"01S03", "01001"}, {"01S04", "01001"},
        {"22005", "22018"}, {"37000", "42000"}, {"70100", "HY018"}};
    for (auto &m : kMap)
      if (st == m.first) return std::string(m.second);
    if (st.rfind("S1", 0) == 0) return "HY" + st.substr(2);
    if (st.rfind("S00", 0) == 0) return "42S" + st.substr(3);
    return st;
  };
  for (DiagMsg *m = messages; m; m = m->next) {
    Diag d;
    std::string text = m->text ? m->text : "";
    std::string::size_type at = text.find("[SQLSTATE:");
    d.state = "S1000";
    if (at != std::string::npos) {
      std::string::size_type end = text.find(']', at);
      d.state = text.substr(at + 10, std::min<size_t>(5, end - at - 10));
      text.resize(at);
    }
    d.state = state3(d.state);
    d.native = m->native;
    d.message = "[Zezuzeru][ODBC]" + text;
    out.push_back(d);
  }
  if (out.empty() && pending != 0) {
    const SqlStateRow *row = SqlStateLookup(pending);
    Diag d;
    d.state = state3(row ? row->state : "S1000");
    d.message = std::string("[Zezuzeru][ODBC][Driver]") + (row ? row->message : "");
    out.push_back(d);
  }
  return out;
}

}  // namespace

std::vector<Diag> Diags(SQLSMALLINT type, SQLHANDLE h) {
  // The object's own diagnostic state, kept across a diagnostic call that
  // answers "not capable" (which would post S1C00 on it).
  DiagMsg *messages = nullptr;
  int32_t *pending = nullptr;
  bool odbc3 = true;
  if (type == SQL_HANDLE_DBC) {
    if (Conn *c = ConnOf(h)) {
      messages = c->messages;
      pending = &c->pending;
      odbc3 = !c->env || c->env->odbcVersion != SQL_OV_ODBC2;
    }
  } else if (type == SQL_HANDLE_STMT) {
    if (Stmt *st = StmtOf(h)) {
      messages = st->messages;
      pending = &st->pending;
      odbc3 = !st->conn->env || st->conn->env->odbcVersion != SQL_OV_ODBC2;
    }
  } else if (type == SQL_HANDLE_ENV) {
    if (auto *e = static_cast<Envr *>(HandleTable_Lookup(&g_odbc.envs, HandleOf(h)))) {
      messages = e->messages;
      pending = &e->pending;
      odbc3 = e->odbcVersion != SQL_OV_ODBC2;
    }
  }
  const int32_t saved = pending ? *pending : 0;
  std::vector<Diag> out;
  for (SQLSMALLINT i = 1;; ++i) {
    Diag d;
    SQLCHAR state[6] = {}, msg[2048] = {};
    SQLSMALLINT len = 0;
    SQLRETURN rc = SQLGetDiagRec(type, h, i, state, &d.native, msg, sizeof msg, &len);
    if (rc == SQL_ERROR && i == 1) break;
    if (!SQL_SUCCEEDED(rc)) return out;
    d.state = reinterpret_cast<char *>(state);
    d.message = reinterpret_cast<char *>(msg);
    out.push_back(d);
  }
  if (!pending) return out;
  *pending = saved;
  return RecordsOf(messages, saved, odbc3);
}

std::string DiagText(SQLSMALLINT type, SQLHANDLE h) {
  std::string t;
  for (auto &d : Diags(type, h)) t += (t.empty() ? "" : "; ") + d.state + ": " + d.message;
  return t;
}

Conn *ConnOf(SQLHDBC dbc) { return static_cast<Conn *>(HandleTable_Lookup(&g_odbc.conns, HandleOf(dbc))); }
Stmt *StmtOf(SQLHSTMT stmt) { return static_cast<Stmt *>(HandleTable_Lookup(&g_odbc.stmts, HandleOf(stmt))); }

SQLHENV NewEnv(SQLINTEGER version) {
  SQLHENV env = SQL_NULL_HENV;
  if (version == SQL_OV_ODBC2) {
    EXPECT_EQ(SQLAllocEnv(&env), SQL_SUCCESS);
  } else {
    EXPECT_EQ(SQLAllocHandle(SQL_HANDLE_ENV, SQL_NULL_HANDLE, &env), SQL_SUCCESS);
  }
  return env;
}

SQLHDBC NewDbc(SQLHENV env) {
  SQLHDBC dbc = SQL_NULL_HDBC;
  EXPECT_EQ(SQLAllocHandle(SQL_HANDLE_DBC, env, &dbc), SQL_SUCCESS);
  return dbc;
}

SQLRETURN DriverConnect(SQLHDBC dbc, const std::string &in, std::string *out, SQLSMALLINT outMax,
                        SQLSMALLINT *outLen, SQLUSMALLINT completion, SQLHWND window) {
  std::vector<SQLCHAR> buf(static_cast<size_t>(outMax > 0 ? outMax : 0) + 1, 0);
  SQLSMALLINT len = -1;
  SQLRETURN rc = SQLDriverConnect(dbc, window, (SQLCHAR *)in.c_str(), SQL_NTS, out ? buf.data() : nullptr, outMax,
                                  &len, completion);
  if (out) *out = reinterpret_cast<char *>(buf.data());
  if (outLen) *outLen = len;
  return rc;
}

SQLRETURN DriverConnectW(SQLHDBC dbc, const std::string &in, std::string *out, SQLSMALLINT outMax,
                         SQLSMALLINT *outLen, SQLUSMALLINT completion, SQLHWND window) {
  std::basic_string<SQLWCHAR> w = ToW(in);
  std::vector<SQLWCHAR> buf(static_cast<size_t>(outMax > 0 ? outMax : 0) + 1, 0);
  SQLSMALLINT len = -1;
  SQLRETURN rc = SQLDriverConnectW(dbc, window, w.data(), SQL_NTS, out ? buf.data() : nullptr, outMax, &len,
                                   completion);
  if (out) *out = FromW(buf.data(), buf.size());
  if (outLen) *outLen = len;
  return rc;
}

void ConnectTest::SetUp() {
  FixtureDir();
  ASSERT_EQ(OdbcLayerInit(), 0);
  fake::Reset();
  ConnStrParse(nullptr, 'A');
  unsetenv("TVX_LOGIN_ANSWER");
  DtcServiceReset();
  env = NewEnv();
  dbc = NewDbc(env);
}

void ConnectTest::TearDown() {
  OdbcLayerTerm();
  ConnStrParse(nullptr, 'A');
  for (char **t : {&g_agentOptions.sqlnetIf, &g_agentOptions.initSql, &g_agentOptions.dbmsName}) {
    free(*t);
    *t = nullptr;
  }
  g_agentOptions = AgentOptions{};
  unsetenv("TVX_LOGIN_ANSWER");
}

}  // namespace ct
