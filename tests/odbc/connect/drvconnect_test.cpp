// SQLDriverConnect(W) and SQLConnect(W) in-process against the fake agent:
// the request the agent gets, the output connection string, the login
// prompt decision, failures and warnings, and what the trace shows.
#include <poll.h>
#include <pty.h>
#include <sys/wait.h>
#include <signal.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <sstream>
#include <string>

#include "connect_support.h"
#include "odbc/connattr.h"
#include "odbc/entries_w.h"
#include "odbc/trace.h"
#include "util/strutil.h"
#include "util/utf.h"

namespace {

using ct::ConnOf;
using ct::Diags;
using ct::DiagText;

struct DriverConnectTest : ct::ConnectTest {};

const char *kLongDefault =
    "DRIVER={KVD Fake Unicode};UID=a;PWD=b;SQLNET=;JET=FALSE;FBS=25;READONLY=;NLB=;MAXROWS=0;NOAC=FALSE;"
    "ORACAT=FALSE;SQLNETIF=;CPP=FALSE;NRSSL=FALSE;OPREFROWS=0;OPREFMEM=0;OSTMTCACHE=0;USRTBLSFIRST=FALSE;"
    "DYN_CURS_SENSITIVITY=LOW;DLF=;SQLDBMSNAME=;EMPTY_STRING_ISNT_NULL=FALSE;TAF_ENABLE=FALSE;"
    "TAF_RETRY_INTERVAL=0;TAF_MAX_RETRIES=0;OCPMIN=0;OCPMAX=0;OCPINCR=0;OCPWAIT=FALSE;OCPLINGER=0;IV=;IA=;"
    "Server=Zezuzeru";

const char *kLongFull =
    "DRIVER={KVD Fake Unicode};UID=dsnuser;PWD=dsnpass;SQLNET=orcl_alias;JET=TRUE;FBS=60;READONLY=yes;NLB=no;"
    "MAXROWS=500;NOAC=TRUE;ORACAT=TRUE;SQLNETIF=tcp;CPP=TRUE;NRSSL=FALSE;OPREFROWS=20;OPREFMEM=65536;"
    "OSTMTCACHE=30;USRTBLSFIRST=TRUE;DYN_CURS_SENSITIVITY=HIGH;DLF=TRUE;SQLDBMSNAME=ORACLE11;"
    "EMPTY_STRING_ISNT_NULL=TRUE;TAF_ENABLE=TRUE;TAF_RETRY_INTERVAL=10;TAF_MAX_RETRIES=3;OCPMIN=1;OCPMAX=4;"
    "OCPINCR=2;OCPWAIT=TRUE;OCPLINGER=60;IV=yes;IA=no;Server=Zezuzeru";

TEST_F(DriverConnectTest, OutputStringHasTheShortOrTheLongForm) {
  const std::pair<std::string, std::string> cases[] = {
      // Short form: the password given or found is echoed; FBS 0 becomes 60.
      {"DSN=kvd_full;PWD=pw", "DSN=kvd_full;UID=dsnuser;PWD=pw;SQLNET=orcl_alias;JET=TRUE;FBS=60"},
      {"DSN=kvd_lastuser", "DSN=kvd_lastuser;UID=lastguy;PWD=lastpass;SQLNET=;JET=FALSE;FBS=60"},
      {"FILEDSN=" + ct::FileDsn("file.dsn"), "DSN=;UID=fileuser;PWD=filepass;SQLNET=;JET=FALSE;FBS=77"},
      {"UID=u;PWD=p", "DSN=Default;UID=u;PWD=p;SQLNET=;JET=FALSE;FBS=25"},
      // Values that need braces get them.
      {"DSN=kvd_minimal;UID={a;b};PWD={x}}y};FBS=-4",
       "DSN=kvd_minimal;UID={a;b};PWD={x}}y};SQLNET=;JET=FALSE;FBS=60"},
      // Long form: every setting.
      {"DRIVER={KVD Fake Unicode};UID=a;PWD=b", kLongDefault},
      {"DSN=kvd_full;DRIVER={KVD Fake Unicode}", kLongFull},
  };
  for (const auto &[in, expected] : cases) {
    for (bool wide : {false, true}) {
      SQLHDBC dbc = ct::NewDbc(env);
      std::string out;
      SQLSMALLINT len = 0;
      SQLRETURN rc = wide ? ct::DriverConnectW(dbc, in, &out, 2048, &len) : ct::DriverConnect(dbc, in, &out, 2048, &len);
      EXPECT_EQ(rc, SQL_SUCCESS) << in << " " << DiagText(SQL_HANDLE_DBC, dbc);
      EXPECT_EQ(out, expected) << in << (wide ? " (W)" : "");
      EXPECT_EQ(len, static_cast<SQLSMALLINT>(expected.size())) << in;
      EXPECT_EQ(SQLDisconnect(dbc), SQL_SUCCESS);
      SQLFreeHandle(SQL_HANDLE_DBC, dbc);
    }
  }
}

TEST_F(DriverConnectTest, TheAgentGetsTheSettingsOfTheDataSource) {
  std::string dbmsName = "<not asked>", sqlnetIf = "<not asked>";
  fake::Script(SLOT_DRV_Connect).hook = [&] {
    dbmsName = g_agentOptions.dbmsName ? g_agentOptions.dbmsName : "<null>";
    sqlnetIf = g_agentOptions.sqlnetIf ? g_agentOptions.sqlnetIf : "<null>";
  };
  ASSERT_EQ(ct::DriverConnect(dbc, "DSN=kvd_full;PWD=pw"), SQL_SUCCESS) << DiagText(SQL_HANDLE_DBC, dbc);
  auto req = fake::LastConnect();
  ASSERT_TRUE(req.has_value());
  EXPECT_EQ(req->dataSource, "kvd_full");
  EXPECT_EQ(req->user, "dsnuser");
  EXPECT_EQ(req->password, "pw");
  EXPECT_EQ(req->dbOptions, "orcl_alias");
  EXPECT_EQ(req->readOnly, 1);
  EXPECT_EQ(req->loginTimeout, 99);
  EXPECT_EQ(req->programName, get_program_name());
  EXPECT_FALSE(req->wide);
  EXPECT_FALSE(req->hasServerOptions);
  Conn *c = ConnOf(dbc);
  EXPECT_EQ(c->state, CONN_CONNECTED);
  EXPECT_EQ(c->cn_fetchSize, 60u);
  EXPECT_TRUE(c->flags & CONNF_DEFER_LONG);
  EXPECT_TRUE(c->flags & CONNF_INCLUDE_VIEWS);
  EXPECT_FALSE(c->flags & CONNF_INCLUDE_ALL);
  // The block as the agent copies it at its connect; the texts the agent
  // did not take (the fake takes none) are freed after the connect.
  EXPECT_EQ(dbmsName, "ORACLE11");
  EXPECT_EQ(sqlnetIf, "tcp");
  EXPECT_EQ(g_agentOptions.dbmsName, nullptr);
  EXPECT_EQ(g_agentOptions.sqlnetIf, nullptr);
  EXPECT_EQ(g_agentOptions.initSql, nullptr);
}

TEST_F(DriverConnectTest, AWideConnectPutsTheWideMarkerInFrontOfTheServerOptions) {
  ASSERT_EQ(ct::DriverConnectW(dbc, "DSN=kvd_minimal;UID=u;PWD=p"), SQL_SUCCESS);
  auto req = fake::LastConnect();
  ASSERT_TRUE(req.has_value());
  EXPECT_TRUE(req->wide);
  EXPECT_EQ(req->serverOptions, std::string("W\x7F\x01\x01"));
  EXPECT_EQ(ConnOf(dbc)->narrowOnly, 0);  // the fake answers the wide item
  SQLDisconnect(dbc);
  // An agent without the wide mode leaves the connection narrow-only.
  fake::SetInfo(INFO_WIDE, 0);
  ASSERT_EQ(ct::DriverConnectW(dbc, "DSN=kvd_minimal;UID=u;PWD=p"), SQL_SUCCESS);
  EXPECT_EQ(ConnOf(dbc)->narrowOnly, 1);
  // Again: the marker is not doubled by a reconnect.
  EXPECT_EQ(fake::LastConnect()->serverOptions, std::string("W\x7F\x01\x01"));
}

TEST_F(DriverConnectTest, AnOutputStringThatDoesNotFitIsCutWith01004) {
  const std::string full = "DSN=kvd_full;UID=dsnuser;PWD=pw;SQLNET=orcl_alias;JET=TRUE;FBS=60";
  for (bool wide : {false, true}) {
    SQLHDBC d = ct::NewDbc(env);
    std::string out;
    SQLSMALLINT len = 0;
    const auto max = static_cast<SQLSMALLINT>(full.size());  // one too small for the NUL
    SQLRETURN rc = wide ? ct::DriverConnectW(d, "DSN=kvd_full;PWD=pw", &out, max, &len)
                        : ct::DriverConnect(d, "DSN=kvd_full;PWD=pw", &out, max, &len);
    EXPECT_EQ(rc, SQL_SUCCESS_WITH_INFO) << wide;
    EXPECT_EQ(out, full.substr(0, full.size() - 1)) << wide;
    EXPECT_EQ(len, static_cast<SQLSMALLINT>(full.size())) << wide;  // the whole length
    auto d1 = Diags(SQL_HANDLE_DBC, d);
    ASSERT_EQ(d1.size(), 1u);
    EXPECT_EQ(d1[0].state, "01004");
    EXPECT_EQ(ConnOf(d)->state, CONN_CONNECTED);
    SQLDisconnect(d);
    SQLFreeHandle(SQL_HANDLE_DBC, d);
  }
}

// Output buffers of 0 and 1 and around the string's length, narrow (bytes)
// and W (characters): the full length every time, 01004 for every cut,
// nothing written past the buffer; without a buffer, the length alone.
TEST_F(DriverConnectTest, OutputBuffersOfEveryLengthAroundTheString) {
  const std::string in = "DSN=kvd_full;PWD=p\xC3\xA9\xF0\x9F\x98\x80";
  const std::string full = "DSN=kvd_full;UID=dsnuser;PWD=p\xC3\xA9\xF0\x9F\x98\x80;SQLNET=orcl_alias;JET=TRUE;FBS=60";
  for (bool wide : {false, true}) {
    const auto fullW = ct::ToW(full);
    const int n = static_cast<int>(wide ? fullW.size() : full.size());
    const auto inW = ct::ToW(in);
    auto connect = [&](void *out, int max, SQLSMALLINT *len, SQLHDBC d) {
      return wide ? SQLDriverConnectW(d, nullptr, const_cast<SQLWCHAR *>(inW.c_str()), SQL_NTS,
                                      static_cast<SQLWCHAR *>(out), static_cast<SQLSMALLINT>(max), len, 0)
                  : SQLDriverConnect(d, nullptr, (SQLCHAR *)in.c_str(), SQL_NTS, static_cast<SQLCHAR *>(out),
                                     static_cast<SQLSMALLINT>(max), len, 0);
    };
    for (int v : {0, 1, 2, n - 1, n, n + 1}) {
      SCOPED_TRACE(std::string(wide ? "W " : "A ") + std::to_string(v));
      SQLHDBC d = ct::NewDbc(env);
      SQLWCHAR buf[128];
      for (SQLWCHAR &c : buf) c = 0xBEEF;
      SQLSMALLINT len = -1;
      const SQLRETURN rc = connect(buf, v, &len, d);
      const bool cut = v <= n;
      EXPECT_EQ(rc, cut ? SQL_SUCCESS_WITH_INFO : SQL_SUCCESS);
      EXPECT_EQ(len, n);
      auto diags = Diags(SQL_HANDLE_DBC, d);
      ASSERT_EQ(diags.size(), cut ? 1u : 0u);
      if (cut) {
        EXPECT_EQ(diags[0].state, "01004");
      }
      // The text kept: v - 1 units; W never keeps half of the pair.
      size_t keep = v > 0 ? std::min<size_t>(static_cast<size_t>(v - 1), static_cast<size_t>(n)) : 0;
      if (wide) {
        if (keep > 0 && fullW[keep - 1] >= 0xD800 && fullW[keep - 1] < 0xDC00) --keep;
        if (v > 0) {
          EXPECT_EQ(std::basic_string<SQLWCHAR>(buf, keep), fullW.substr(0, keep));
          EXPECT_EQ(buf[keep], 0);
        }
        for (int i = v; i < 128; ++i) ASSERT_EQ(buf[i], 0xBEEF) << i;
      } else {
        const auto *bytes = reinterpret_cast<const unsigned char *>(buf);
        if (v > 0) {
          EXPECT_EQ(std::string(reinterpret_cast<const char *>(bytes), keep), full.substr(0, keep));
          EXPECT_EQ(bytes[keep], 0);
        }
        for (int i = v; i < 256; ++i) ASSERT_EQ(bytes[i], i % 2 ? 0xBE : 0xEF) << i;
      }
      SQLDisconnect(d);
      SQLFreeHandle(SQL_HANDLE_DBC, d);
    }
    SQLHDBC d = ct::NewDbc(env);
    SQLSMALLINT len = -1;
    EXPECT_EQ(connect(nullptr, 0, &len, d), SQL_SUCCESS);
    EXPECT_EQ(len, n);
    SQLDisconnect(d);
    SQLFreeHandle(SQL_HANDLE_DBC, d);
  }
}

// A wide text whose UTF-8 copy cannot be made (out of memory) fails the
// connect with S1001; it never counts as absent (an absent DSN would
// connect to "Default", an absent password with none).
TEST_F(DriverConnectTest, AWideTextWithoutItsCopyFailsTheConnect) {
  struct Restore {
    WideInDupFn saved = g_wideInDup;
    ~Restore() { g_wideInDup = saved; }
  } restore;
  // Texts beginning with '!' cannot be copied.
  g_wideInDup = [](const uint16_t *w, int32_t n) -> char * {
    return w[0] == '!' ? nullptr : utf16_to_utf8_dupn(w, n);
  };
  const auto dsn = ct::ToW("kvd_minimal"), user = ct::ToW("scott"), lost = ct::ToW("!tiger");
  EXPECT_EQ(SQLConnectW(dbc, const_cast<SQLWCHAR *>(dsn.c_str()), SQL_NTS, const_cast<SQLWCHAR *>(user.c_str()),
                        SQL_NTS, const_cast<SQLWCHAR *>(lost.c_str()), SQL_NTS),
            SQL_ERROR);
  auto d = Diags(SQL_HANDLE_DBC, dbc);
  ASSERT_EQ(d.size(), 1u);
  EXPECT_EQ(d[0].state, "HY001");
  EXPECT_EQ(ct::DriverConnectW(dbc, "!DSN=kvd_minimal;UID=u;PWD=p"), SQL_ERROR);
  d = Diags(SQL_HANDLE_DBC, dbc);
  ASSERT_EQ(d.size(), 1u);
  EXPECT_EQ(d[0].state, "HY001");
  EXPECT_EQ(fake::CallCount(SLOT_DRV_Connect), 0);
  EXPECT_NE(ConnOf(dbc)->state, CONN_CONNECTED);
  // The same texts that can be copied connect.
  EXPECT_EQ(ct::DriverConnectW(dbc, "DSN=kvd_minimal;UID=u;PWD=p"), SQL_SUCCESS) << DiagText(SQL_HANDLE_DBC, dbc);
}

TEST_F(DriverConnectTest, BadLengthsAndASecondConnectAreRefused) {
  SQLCHAR out[64];
  SQLSMALLINT len = 0;
  const SQLCHAR *in = (const SQLCHAR *)"DSN=kvd_minimal";
  EXPECT_EQ(SQLDriverConnect(dbc, nullptr, (SQLCHAR *)in, -5, out, sizeof out, &len, 0), SQL_ERROR);
  EXPECT_EQ(Diags(SQL_HANDLE_DBC, dbc).at(0).state, "HY090");
  EXPECT_EQ(SQLDriverConnect(dbc, nullptr, (SQLCHAR *)in, SQL_NTS, out, -1, &len, 0), SQL_ERROR);
  EXPECT_EQ(Diags(SQL_HANDLE_DBC, dbc).at(0).state, "HY090");
  EXPECT_EQ(SQLConnect(dbc, (SQLCHAR *)"kvd_minimal", SQL_NTS, (SQLCHAR *)"u", -7, (SQLCHAR *)"p", SQL_NTS),
            SQL_ERROR);
  EXPECT_EQ(Diags(SQL_HANDLE_DBC, dbc).at(0).state, "HY090");
  EXPECT_EQ(fake::CallCount(SLOT_DRV_Connect), 0);

  // An explicit input length is honoured: the text after it is not read.
  EXPECT_EQ(SQLDriverConnect(dbc, nullptr, (SQLCHAR *)"UID=u;PWD=pw;FBS=7", 12, out, sizeof out, &len, 0),
            SQL_SUCCESS);
  EXPECT_STREQ((const char *)out, "DSN=Default;UID=u;PWD=pw;SQLNET=;JET=FALSE;FBS=25");
  EXPECT_EQ(ct::DriverConnect(dbc, "DSN=kvd_minimal"), SQL_ERROR);
  EXPECT_EQ(Diags(SQL_HANDLE_DBC, dbc).at(0).state, "08002");
  EXPECT_EQ(ConnOf(dbc)->state, CONN_CONNECTED);
  EXPECT_EQ(SQLConnect(dbc, (SQLCHAR *)"kvd_minimal", SQL_NTS, nullptr, 0, nullptr, 0), SQL_ERROR);
  EXPECT_EQ(Diags(SQL_HANDLE_DBC, dbc).at(0).state, "08002");
  EXPECT_EQ(fake::CallCount(SLOT_DRV_Connect), 1);
}

TEST_F(DriverConnectTest, SQLConnectKeepsSeparatorsInsideUserAndPassword) {
  const char *user = "sc;PWD=stolen";
  const char *pwd = "ti;ger}";
  ASSERT_EQ(SQLConnect(dbc, (SQLCHAR *)"kvd_minimal", SQL_NTS, (SQLCHAR *)user, SQL_NTS, (SQLCHAR *)pwd, SQL_NTS),
            SQL_SUCCESS)
      << DiagText(SQL_HANDLE_DBC, dbc);
  auto req = fake::LastConnect();
  EXPECT_EQ(req->user, user);
  EXPECT_EQ(req->password, pwd);
  EXPECT_EQ(req->dataSource, "kvd_minimal");
  SQLDisconnect(dbc);
  // SQLConnectW, with explicit lengths in characters.
  auto d = ct::ToW("kvd_minimalXX"), u = ct::ToW("J\xC3\xBCrgenXX"), p = ct::ToW("pw");
  ASSERT_EQ(SQLConnectW(dbc, d.data(), 11, u.data(), 6, p.data(), SQL_NTS), SQL_SUCCESS);
  req = fake::LastConnect();
  EXPECT_EQ(req->user, "J\xC3\xBCrgen");
  EXPECT_EQ(req->dataSource, "kvd_minimal");
  EXPECT_TRUE(req->wide);
}

// Replaces the fake's DRV_Connect: the connect makes an agent connection,
// leaves messages on it and on the server context, and answers code.
DRV_Connect_t g_fakeConnect;
int32_t g_connectCode;
int32_t ConnectWithMessages(DrvHandle server, const ConnectReq *req, DrvHandle *conn) {
  int32_t rc = g_fakeConnect(server, req, conn);
  if (rc != 0) return rc;
  fake::PostErrors(*conn, {{fake::OraText("ORA-28002: the password will expire within 7 days", "01000"), 28002}});
  fake::PostErrors(server, {{fake::OraText("server one", "08004"), 1}, {fake::OraText("server two", "08004"), 2}});
  return g_connectCode;
}

TEST_F(DriverConnectTest, AFailedConnectShowsConnectionThenServerMessages) {
  g_fakeConnect = fake::Table()->DRV_Connect;
  fake::Table()->DRV_Connect = ConnectWithMessages;
  g_connectCode = E_08004;
  EXPECT_EQ(ct::DriverConnect(dbc, "DSN=kvd_minimal;UID=u;PWD=p"), SQL_ERROR);
  auto d = Diags(SQL_HANDLE_DBC, dbc);
  ASSERT_EQ(d.size(), 3u);
  EXPECT_NE(d[0].message.find("ORA-28002"), std::string::npos);
  EXPECT_NE(d[1].message.find("server one"), std::string::npos);
  EXPECT_NE(d[2].message.find("server two"), std::string::npos);
  EXPECT_EQ(d[1].state, "08004");
  Conn *c = ConnOf(dbc);
  EXPECT_EQ(c->state, CONN_ALLOCATED);
  EXPECT_EQ(c->agentServer, 0u);
  EXPECT_EQ(c->agentConn, 0u);
  EXPECT_EQ(fake::LiveServers(), 0);

  // The plain failure of the fake: its code and no texts.
  fake::Reset();
  fake::Script(SLOT_DRV_Connect).result = E_28000;
  EXPECT_EQ(ct::DriverConnect(dbc, "DSN=kvd_minimal;UID=u;PWD=p"), SQL_ERROR);
  d = Diags(SQL_HANDLE_DBC, dbc);
  ASSERT_EQ(d.size(), 1u);
  EXPECT_EQ(d[0].state, "28000");
  EXPECT_EQ(fake::LiveServers(), 0);
}

TEST_F(DriverConnectTest, WarningsOfASuccessfulConnectStayOnTheConnection) {
  g_fakeConnect = fake::Table()->DRV_Connect;
  fake::Table()->DRV_Connect = ConnectWithMessages;
  struct Case {
    int32_t code;
    bool wide;  // the W entry point posts its own cut
  };
  for (const Case &c : {Case{0, false}, Case{E_IM902, false}, Case{0, true}}) {
    const int32_t code = c.code;
    const bool wide = c.wide;
    g_connectCode = code;
    SQLHDBC d = ct::NewDbc(env);
    std::string out;
    EXPECT_EQ(wide ? ct::DriverConnectW(d, "DSN=kvd_minimal;UID=u;PWD=p", &out, 10)
                   : ct::DriverConnect(d, "DSN=kvd_minimal;UID=u;PWD=p", &out, 10),
              SQL_SUCCESS_WITH_INFO);
    EXPECT_EQ(ConnOf(d)->state, CONN_CONNECTED);
    auto recs = Diags(SQL_HANDLE_DBC, d);
    // The warnings, then the cut output string (a message, since messages
    // hide the pending code).
    ASSERT_EQ(recs.size(), 4u) << code;
    EXPECT_EQ(recs[0].state, "01000");
    EXPECT_EQ(recs[0].native, 28002);
    EXPECT_NE(recs[0].message.find("ORA-28002"), std::string::npos);
    EXPECT_EQ(recs[3].state, "01004");
    EXPECT_NE(recs[3].message.find("Data was truncated"), std::string::npos);
    SQLDisconnect(d);
    SQLFreeHandle(SQL_HANDLE_DBC, d);
  }
}

struct PromptCase {
  const char *in;
  SQLUSMALLINT completion;
  bool prompts;
};

TEST_F(DriverConnectTest, TheCompletionModeDecidesWhetherToPrompt) {
  const PromptCase cases[] = {
      {"DSN=kvd_minimal;UID=u;PWD=p", SQL_DRIVER_COMPLETE, false},
      {"DSN=kvd_minimal;UID=u;PWD=", SQL_DRIVER_COMPLETE, true},
      {"DSN=kvd_minimal;UID=u;PWD= p", SQL_DRIVER_COMPLETE, true},
      {"DSN=kvd_minimal;PWD=p", SQL_DRIVER_COMPLETE_REQUIRED, true},
      {"DSN=kvd_full", SQL_DRIVER_COMPLETE_REQUIRED, false},
      {"DSN=kvd_minimal;UID=u;PWD=p", SQL_DRIVER_PROMPT, true},
      {"DSN=kvd_minimal;UID=u;PWD=p;NLB=yes", SQL_DRIVER_PROMPT, false},
      {"DSN=kvd_nlb", SQL_DRIVER_PROMPT, false},
      {"DSN=kvd_minimal", SQL_DRIVER_NOPROMPT, false},
      {"DSN=kvd_minimal", 7, false},
  };
  setenv("TVX_LOGIN_ANSWER", "CANCEL", 1);
  for (const PromptCase &c : cases) {
    SQLHDBC d = ct::NewDbc(env);
    const int before = fake::CallCount(SLOT_DRV_Connect);
    SQLRETURN rc = ct::DriverConnect(d, c.in, nullptr, 0, nullptr, c.completion);
    if (c.prompts) {
      // Not confirmed: no data, no diagnostic, not connected.
      EXPECT_EQ(rc, SQL_NO_DATA) << c.in << " " << c.completion;
      EXPECT_TRUE(Diags(SQL_HANDLE_DBC, d).empty());
      EXPECT_EQ(fake::CallCount(SLOT_DRV_Connect), before);
      EXPECT_EQ(ConnOf(d)->state, CONN_ALLOCATED);
    } else {
      EXPECT_EQ(rc, SQL_SUCCESS) << c.in << " " << c.completion;
      SQLDisconnect(d);
    }
    SQLFreeHandle(SQL_HANDLE_DBC, d);
  }
  // Without a scripted answer and without a window nobody can confirm.
  unsetenv("TVX_LOGIN_ANSWER");
  EXPECT_EQ(ct::DriverConnect(dbc, "DSN=kvd_minimal", nullptr, 0, nullptr, SQL_DRIVER_PROMPT), SQL_NO_DATA);
}

TEST_F(DriverConnectTest, AConfirmedLoginIsParsedAfresh) {
  setenv("TVX_LOGIN_ANSWER", "UID=typed;PWD={new;pw}", 1);
  std::string out;
  ASSERT_EQ(ct::DriverConnectW(dbc, "DSN=kvd_minimal;UID=old", &out, 512, nullptr, SQL_DRIVER_COMPLETE),
            SQL_SUCCESS);
  EXPECT_EQ(fake::LastConnect()->user, "typed");
  EXPECT_EQ(fake::LastConnect()->password, "new;pw");
  EXPECT_EQ(out, "DSN=kvd_minimal;UID=typed;PWD={new;pw};SQLNET=;JET=FALSE;FBS=60");
}

TEST_F(DriverConnectTest, NoLoginBoxReadsTheUserButNeverLastUser) {
  ASSERT_EQ(ct::DriverConnect(dbc, "DSN=kvd_lastuser;NLB=yes"), SQL_SUCCESS);
  EXPECT_EQ(fake::LastConnect()->user, "");
  SQLDisconnect(dbc);
  ASSERT_EQ(ct::DriverConnect(dbc, "DSN=kvd_nlb;UID="), SQL_SUCCESS);
  EXPECT_EQ(fake::LastConnect()->user, "nlbuser");
  SQLDisconnect(dbc);
  // A user given in the string stays.
  ASSERT_EQ(ct::DriverConnect(dbc, "DSN=kvd_nlb;UID=mine"), SQL_SUCCESS);
  EXPECT_EQ(fake::LastConnect()->user, "mine");
}

// Reads the terminal's master side until text has appeared.
bool ReadUntil(int master, const std::string &text, std::string *seen) {
  char buf[256];
  while (seen->find(text) == std::string::npos) {
    pollfd p{master, POLLIN, 0};
    if (poll(&p, 1, 30000) <= 0) return false;
    ssize_t n = read(master, buf, sizeof buf);
    if (n <= 0) return false;
    seen->append(buf, static_cast<size_t>(n));
  }
  return true;
}

TEST_F(DriverConnectTest, ThePromptAsksOnTheControllingTerminal) {
  int master = -1;
  pid_t pid = forkpty(&master, nullptr, nullptr, nullptr);
  ASSERT_GE(pid, 0);
  if (pid == 0) {
    // The connect runs in the child, whose controlling terminal is the
    // pseudo-terminal; a window handle allows the prompt.
    SQLRETURN rc = ct::DriverConnect(dbc, "DRIVER={KVD Prompted};DSN=kvd_minimal;UID=old", nullptr, 0, nullptr,
                                     SQL_DRIVER_COMPLETE, reinterpret_cast<SQLHWND>(1));
    auto req = fake::LastConnect();
    const bool ok = rc == SQL_SUCCESS && req && req->user == "typed" && req->password == "p;w";
    _exit(ok ? 0 : 1);
  }
  std::string seen;
  ASSERT_TRUE(ReadUntil(master, "User name [old]: ", &seen)) << seen;
  EXPECT_NE(seen.find("Login to KVD Prompted"), std::string::npos) << seen;
  ASSERT_EQ(write(master, "typed\n", 6), 6);
  ASSERT_TRUE(ReadUntil(master, "Password: ", &seen)) << seen;
  ASSERT_EQ(write(master, "p;w\n", 4), 4);
  // A prompt that lost the answer would wait for ever: give up after 30 s.
  int status = 0;
  pid_t ended = 0;
  for (int i = 0; i < 3000 && (ended = waitpid(pid, &status, WNOHANG)) == 0; ++i) usleep(10000);
  if (ended == 0) {
    kill(pid, SIGKILL);
    waitpid(pid, &status, 0);
  }
  close(master);
  EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << seen;
}

std::string Slurp(const std::string &path) {
  std::ifstream f(path);
  std::stringstream s;
  s << f.rdbuf();
  return s.str();
}

TEST_F(DriverConnectTest, ThePasswordNeverAppearsInTheTrace) {
  const std::string path = ct::FixtureDir() + "/trace.log";
  setenv("TVX_DEBUGFILE", path.c_str(), 1);
  TraceOpen(TRACE_ODBC);
  ASSERT_TRUE(TraceIsOn());
  EXPECT_EQ(SQLConnect(dbc, (SQLCHAR *)"kvd_minimal", SQL_NTS, (SQLCHAR *)"scott/Sup3rSecret@db", SQL_NTS,
                       (SQLCHAR *)"Sup3rSecret", SQL_NTS),
            SQL_SUCCESS);
  SQLDisconnect(dbc);
  EXPECT_EQ(ct::DriverConnectW(dbc, "DSN=kvd_full;PWD={Sup3r}}Secret;x};UID=u"), SQL_SUCCESS);
  SQLDisconnect(dbc);
  EXPECT_EQ(ct::DriverConnect(dbc, "DSN=kvd_minimal;pwd=Sup3rSecret;UID=a/Sup3rSecret"), SQL_SUCCESS);
  TraceClose(TRACE_ODBC);
  unsetenv("TVX_DEBUGFILE");
  const std::string trace = Slurp(path);
  EXPECT_EQ(trace.find("Sup3r"), std::string::npos) << trace;
  EXPECT_NE(trace.find("DSN=kvd_minimal;UID=scott/***@db;PWD=***"), std::string::npos) << trace;
  EXPECT_NE(trace.find("connStr=[DSN=kvd_full;PWD=***;UID=u]"), std::string::npos) << trace;
  EXPECT_NE(trace.find("  key=[SQLNET] data=[orcl_alias] supplied=0"), std::string::npos) << trace;
  EXPECT_NE(trace.find("cn_fetchSize=60 cn_dbhost=[] cn_svtype=[]"), std::string::npos) << trace;
  EXPECT_EQ(trace.find("key=[PWD]"), std::string::npos);
}

}  // namespace
