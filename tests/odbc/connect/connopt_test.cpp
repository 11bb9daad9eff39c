// Connection options and attributes: every option of SQLSetConnectOption /
// SQLGetConnectOption and SQLSetConnectAttr / SQLGetConnectAttr round-trips
// or gives its SQLSTATE; text attributes are bounded; DTC enlistment and the
// failover callback options.
#include <cstdlib>
#include <cstring>
#include <string>

#include "connect_support.h"
#include "odbc/connopt.h"
#include "odbc/setup.h"

namespace {

using ct::ConnOf;
using ct::Diags;

constexpr SQLUSMALLINT kProgramName = 1051;
constexpr SQLUSMALLINT kFailoverCallback = 1280;
constexpr SQLUSMALLINT kFailoverContext = 1281;

struct ConnOptTest : ct::ConnectTest {
  void Connect(SQLHDBC h, int32_t caps = 0) {
    fake::SetInfo(INFO_CAPS_MASK, caps);
    ASSERT_EQ(ct::DriverConnect(h, "DSN=kvd_minimal;UID=u;PWD=p"), SQL_SUCCESS);
  }
  std::string State(SQLHDBC h) {
    auto d = Diags(SQL_HANDLE_DBC, h);
    return d.empty() ? "" : d[0].state;
  }
  bool Sent(const std::string &text) {
    for (auto &c : fake::LogOf(SLOT_DRV_SetInfo))
      if (c.text == text) return true;
    return false;
  }
};

SQLPOINTER P(intptr_t v) { return reinterpret_cast<SQLPOINTER>(v); }

// Numeric options set and read back through both the ODBC 2 and the ODBC 3
// functions, on an unconnected connection.
struct RoundTrip {
  SQLUSMALLINT option;
  intptr_t value;
  int64_t readBack;
};

TEST_F(ConnOptTest, NumericOptionsRoundTrip) {
  const RoundTrip cases[] = {
      {SQL_ACCESS_MODE, SQL_MODE_READ_ONLY, 1},  {SQL_ACCESS_MODE, SQL_MODE_READ_WRITE, 0},
      {SQL_AUTOCOMMIT, SQL_AUTOCOMMIT_OFF, 0},   {SQL_AUTOCOMMIT, SQL_AUTOCOMMIT_ON, 1},
      {SQL_LOGIN_TIMEOUT, 33, 33},               {SQL_TRANSLATE_OPTION, 9, 9},
      {SQL_TXN_ISOLATION, SQL_TXN_SERIALIZABLE, SQL_TXN_SERIALIZABLE},
      {SQL_OPT_TRACE, 1, 0},                     {SQL_PACKET_SIZE, 8192, 4096},
      {SQL_QUIET_MODE, 0x1234, 0x1234},          {SQL_QUIET_MODE, -2, 0},
  };
  for (const RoundTrip &c : cases) {
    for (bool odbc3 : {false, true}) {
      SQLRETURN rc = odbc3 ? SQLSetConnectAttr(dbc, c.option, P(c.value), 0)
                           : SQLSetConnectOption(dbc, c.option, static_cast<SQLULEN>(c.value));
      EXPECT_EQ(rc, SQL_SUCCESS) << c.option << " " << State(dbc);
      int64_t got = -77;  // 64 bits: the quiet mode is a window handle
      rc = odbc3 ? SQLGetConnectAttr(dbc, c.option, &got, 0, nullptr) : SQLGetConnectOption(dbc, c.option, &got);
      EXPECT_EQ(rc, SQL_SUCCESS) << c.option;
      if (c.option != SQL_QUIET_MODE) got = static_cast<int32_t>(got);
      EXPECT_EQ(got, c.readBack) << c.option << (odbc3 ? " attr" : " option");
    }
  }
  g_msgBoxOwner = -2;
  // Read only: the connection can never be dead, the IPD is always filled
  // after a prepare.
  const std::pair<SQLINTEGER, SQLUINTEGER> readOnly[] = {{SQL_ATTR_CONNECTION_DEAD, 0},
                                                         {SQL_ATTR_AUTO_IPD, SQL_TRUE},
                                                         {SQL_ATTR_METADATA_ID, 0},
                                                         {SQL_ATTR_ODBC_CURSORS, 0}};
  for (const auto &[attr, want] : readOnly) {
    SQLUINTEGER v = 77;
    EXPECT_EQ(SQLGetConnectAttr(dbc, attr, &v, 0, nullptr), SQL_SUCCESS) << attr;
    EXPECT_EQ(v, want) << attr;
  }
  // The ODBC 3 asynchronous value is the connection's own.
  EXPECT_EQ(SQLSetConnectAttr(dbc, SQL_ATTR_ASYNC_ENABLE, P(1), 0), SQL_SUCCESS);
  SQLUINTEGER v = 0;
  EXPECT_EQ(SQLGetConnectAttr(dbc, SQL_ATTR_ASYNC_ENABLE, &v, 0, nullptr), SQL_SUCCESS);
  EXPECT_EQ(v, 1u);
}

struct Refusal {
  bool attr;          // SQLSetConnectAttr / SQLGetConnectAttr, else the ODBC 2 function
  bool set;
  SQLINTEGER option;
  intptr_t value;
  const char *state;
};

TEST_F(ConnOptTest, OptionsThatAreNotAcceptedGiveTheirSQLSTATE) {
  const Refusal cases[] = {
      {false, true, SQL_ROWSET_SIZE, 5, "IM001"},  // ODBC 2 statement option in an ODBC 3 environment
      {false, true, SQL_QUERY_TIMEOUT, 5, "IM001"},
      {false, true, SQL_ASYNC_ENABLE, 1, "IM001"},
      {false, false, SQL_ROWSET_SIZE, 0, "HY092"},
      {false, false, SQL_MAX_ROWS, 0, "HY092"},
      {false, true, 9999, 0, "HY092"},
      {false, false, 9999, 0, "HY092"},
      {true, true, SQL_ATTR_CONNECTION_TIMEOUT, 5, "IM001"},
      {true, false, SQL_ATTR_CONNECTION_TIMEOUT, 0, "IM001"},
      {true, true, SQL_ATTR_AUTO_IPD, 0, "IM001"},
      {true, true, SQL_ATTR_METADATA_ID, SQL_TRUE, "IM001"},
      {true, true, SQL_ROWSET_SIZE, 5, "HY092"},  // 9 is not an attribute
      {true, true, 13, 5, "HY092"},
      {true, true, 14, 5, "HY092"},
      {true, true, 1201, 5, "HY092"},              // driver options are ODBC 2 only
      {true, true, SQL_ATTR_ODBC_CURSORS, 0, "HY092"},
      {true, false, SQL_QUERY_TIMEOUT, 0, "IM001"},
      {true, false, 9999, 0, "HY092"},
      {false, true, kFailoverCallback, 1, "HY010"},  // not connected
      {false, true, kFailoverContext, 1, "HY010"},
      {true, true, SQL_ATTR_ENLIST_IN_DTC, 1, "IM001"},  // no DTC capability (and not connected)
  };
  for (const Refusal &c : cases) {
    SQLRETURN rc;
    SQLLEN out = 0;
    if (c.attr)
      rc = c.set ? SQLSetConnectAttr(dbc, c.option, P(c.value), 0) : SQLGetConnectAttr(dbc, c.option, &out, 0, nullptr);
    else
      rc = c.set ? SQLSetConnectOption(dbc, static_cast<SQLUSMALLINT>(c.option), static_cast<SQLULEN>(c.value))
                 : SQLGetConnectOption(dbc, static_cast<SQLUSMALLINT>(c.option), &out);
    EXPECT_EQ(rc, SQL_ERROR) << c.option << (c.attr ? " attr" : " option") << (c.set ? " set" : " get");
    EXPECT_EQ(State(dbc), c.state) << c.option << (c.attr ? " attr" : " option") << (c.set ? " set" : " get");
  }
  // SQL_FALSE is what catalog arguments are anyway.
  EXPECT_EQ(SQLSetConnectAttr(dbc, SQL_ATTR_METADATA_ID, P(SQL_FALSE), 0), SQL_SUCCESS);
  // Attribute 1 reports SQL_NTS in the length before it is refused.
  SQLINTEGER len = 0;
  SQLLEN v;
  EXPECT_EQ(SQLGetConnectAttr(dbc, SQL_MAX_ROWS, &v, sizeof v, &len), SQL_ERROR);
  EXPECT_EQ(len, SQL_NTS);
}

TEST_F(ConnOptTest, Odbc2StatementOptionsBecomeTheConnectionsDefaults) {
  SQLHENV env2 = ct::NewEnv(SQL_OV_ODBC2);
  SQLHDBC d = ct::NewDbc(env2);
  EXPECT_EQ(SQLSetConnectOption(d, SQL_ROWSET_SIZE, 7), SQL_SUCCESS);
  EXPECT_EQ(SQLSetConnectOption(d, SQL_MAX_LENGTH, 1000), SQL_SUCCESS);
  EXPECT_EQ(SQLSetConnectOption(d, SQL_QUERY_TIMEOUT, 30), SQL_SUCCESS);
  EXPECT_EQ(SQLSetConnectOption(d, SQL_CURSOR_TYPE, SQL_CURSOR_STATIC), SQL_SUCCESS);
  EXPECT_EQ(SQLSetConnectOption(d, SQL_ASYNC_ENABLE, 1), SQL_SUCCESS);
  Conn *c = ConnOf(d);
  EXPECT_EQ(c->cursorDefaults.rowsetSize, 7);
  EXPECT_EQ(c->cursorDefaults.cursorType, SQL_CURSOR_STATIC);
  EXPECT_EQ(c->maxLengthDefault, 1000);
  EXPECT_EQ(c->queryTimeoutDefault, 30);
  SQLUINTEGER v = 0;
  EXPECT_EQ(SQLGetConnectAttr(d, SQL_QUERY_TIMEOUT, &v, 0, nullptr), SQL_SUCCESS);
  EXPECT_EQ(v, 30u);
  EXPECT_EQ(SQLGetConnectOption(d, SQL_ASYNC_ENABLE, &v), SQL_SUCCESS);
  EXPECT_EQ(v, 1u);

  // Statements of the connection take the option too; the first that does
  // not take it plainly ends the call with its answer.
  Connect(d);
  SQLHSTMT s1 = SQL_NULL_HSTMT, s2 = SQL_NULL_HSTMT;
  ASSERT_EQ(SQLAllocHandle(SQL_HANDLE_STMT, d, &s1), SQL_SUCCESS);
  ASSERT_EQ(SQLAllocHandle(SQL_HANDLE_STMT, d, &s2), SQL_SUCCESS);
  EXPECT_EQ(SQLSetConnectOption(d, SQL_BIND_TYPE, 24), SQL_SUCCESS);
  EXPECT_EQ(ct::StmtOf(s1)->bindType, 24);
  EXPECT_EQ(ct::StmtOf(s2)->bindType, 24);
  EXPECT_EQ(c->bindTypeDefault, 24);
  fake::Script(SLOT_DRV_SetInfo).result = E_S1000;
  EXPECT_EQ(SQLSetConnectOption(d, SQL_NOSCAN, SQL_NOSCAN_ON), SQL_ERROR);
  EXPECT_EQ(c->noScanDefault, SQL_NOSCAN_ON);
  int asked = 0;  // the statement option NOSCAN (0x32030002), asked once
  for (auto &call : fake::LogOf(SLOT_DRV_SetInfo)) asked += call.text.rfind("0x32030002", 0) == 0 ? 1 : 0;
  EXPECT_EQ(asked, 1);
}

TEST_F(ConnOptTest, WhileConnectedOptionsReachTheAgent) {
  Connect(dbc);
  // Access mode: any non-zero value sends read-only; only 0 and 1 change the flag.
  EXPECT_EQ(SQLSetConnectOption(dbc, SQL_ACCESS_MODE, 5), SQL_SUCCESS);
  EXPECT_TRUE(Sent("0x22030001=1"));
  EXPECT_FALSE(ConnOf(dbc)->flags & CONNF_READ_ONLY);
  EXPECT_EQ(SQLSetConnectOption(dbc, SQL_ACCESS_MODE, 1), SQL_SUCCESS);
  EXPECT_TRUE(ConnOf(dbc)->flags & CONNF_READ_ONLY);
  // Autocommit: a refusal keeps the flag and brings the agent's messages.
  EXPECT_EQ(SQLSetConnectAttr(dbc, SQL_ATTR_AUTOCOMMIT, P(SQL_AUTOCOMMIT_OFF), 0), SQL_SUCCESS);
  EXPECT_TRUE(Sent("0x22030000=0"));
  fake::Script(SLOT_DRV_SetInfo).queue = {E_S1000};
  fake::Script(SLOT_DRV_SetInfo).messages = {{fake::OraText("ORA-00001: no", "S1000"), 1}};
  EXPECT_EQ(SQLSetConnectAttr(dbc, SQL_ATTR_AUTOCOMMIT, P(SQL_AUTOCOMMIT_ON), 0), SQL_ERROR);
  EXPECT_EQ(Diags(SQL_HANDLE_DBC, dbc).at(0).native, 1);
  SQLUINTEGER v = 9;
  EXPECT_EQ(SQLGetConnectAttr(dbc, SQL_ATTR_AUTOCOMMIT, &v, 0, nullptr), SQL_SUCCESS);
  EXPECT_EQ(v, SQL_AUTOCOMMIT_OFF);
  // Isolation.
  EXPECT_EQ(SQLSetConnectAttr(dbc, SQL_ATTR_TXN_ISOLATION, P(SQL_TXN_READ_COMMITTED), 0), SQL_SUCCESS);
  EXPECT_TRUE(Sent("0x2203006C=2"));
  // Driver options: numbers and texts, read back from the agent; an option
  // the agent does not know is out of range.
  EXPECT_EQ(SQLSetConnectOption(dbc, 1201, 5), SQL_SUCCESS);
  EXPECT_TRUE(Sent("0x220304B1=5"));
  SQLINTEGER n = 0;
  EXPECT_EQ(SQLGetConnectOption(dbc, 1201, &n), SQL_SUCCESS);
  EXPECT_EQ(n, 5);
  EXPECT_EQ(SQLGetConnectOption(dbc, 1203, &n), SQL_ERROR);
  EXPECT_EQ(State(dbc), "HY092");
  fake::Script(SLOT_DRV_SetInfo).queue = {E_S1C00};
  EXPECT_EQ(SQLSetConnectOption(dbc, 1202, 1), SQL_ERROR);
  EXPECT_EQ(State(dbc), "HY092");
  EXPECT_EQ(SQLSetConnectOption(dbc, 1212, reinterpret_cast<SQLULEN>("text value")), SQL_SUCCESS);
  EXPECT_TRUE(Sent("0x210304BC=text value"));
  char text[kConnOptionTextMax] = {};
  EXPECT_EQ(SQLGetConnectOption(dbc, 1212, text), SQL_SUCCESS);
  EXPECT_STREQ(text, "text value");
  // The program name is fixed once connected.
  EXPECT_EQ(SQLSetConnectOption(dbc, kProgramName, reinterpret_cast<SQLULEN>("X")), SQL_ERROR);
  EXPECT_EQ(State(dbc), "HY010");
}

TEST_F(ConnOptTest, DriverOptionsOfAnUnconnectedConnectionAreAcceptedButNotKept) {
  EXPECT_EQ(SQLSetConnectOption(dbc, 1201, 5), SQL_SUCCESS);
  EXPECT_EQ(SQLSetConnectOption(dbc, 1254, reinterpret_cast<SQLULEN>("t")), SQL_SUCCESS);
  SQLINTEGER n = 77;
  EXPECT_EQ(SQLGetConnectOption(dbc, 1201, &n), SQL_SUCCESS);
  EXPECT_EQ(n, 77);  // nothing written
  EXPECT_EQ(fake::CallCount(SLOT_DRV_SetInfo), 0);
  // The program name set before the connect goes with the request.
  EXPECT_EQ(SQLSetConnectAttr(dbc, kProgramName, (SQLPOINTER) "MYAPP", SQL_NTS), SQL_SUCCESS);
  Connect(dbc);
  EXPECT_EQ(fake::LastConnect()->programName, "MYAPP");
}

TEST_F(ConnOptTest, CurrentCatalogGoesToTheAgentOnlyWhenConnected) {
  EXPECT_EQ(SQLSetConnectAttr(dbc, SQL_ATTR_CURRENT_CATALOG, (SQLPOINTER) "SCOTT", SQL_NTS), SQL_SUCCESS);
  EXPECT_EQ(ConnOf(dbc)->dbPath, nullptr);
  char buf[64] = "x";
  SQLINTEGER len = 0;
  EXPECT_EQ(SQLGetConnectAttr(dbc, SQL_ATTR_CURRENT_CATALOG, buf, sizeof buf, &len), SQL_SUCCESS);
  EXPECT_STREQ(buf, "");
  EXPECT_EQ(len, 0);

  Connect(dbc);
  // An explicit length: the text after it is not read.
  EXPECT_EQ(SQLSetConnectAttr(dbc, SQL_ATTR_CURRENT_CATALOG, (SQLPOINTER) "SCOTTXX", 5), SQL_SUCCESS);
  EXPECT_TRUE(Sent("0x2103006D=SCOTT"));
  EXPECT_STREQ(ConnOf(dbc)->dbPath, "SCOTT");
  fake::SetInfoText(INFO_CUR_QUALIFIER, "SCOTT");
  EXPECT_EQ(SQLGetConnectAttr(dbc, SQL_ATTR_CURRENT_CATALOG, buf, sizeof buf, &len), SQL_SUCCESS);
  EXPECT_STREQ(buf, "SCOTT");
  EXPECT_EQ(len, 5);
  // Not while a statement has its result open.
  SQLHSTMT stmt = SQL_NULL_HSTMT;
  ASSERT_EQ(SQLAllocHandle(SQL_HANDLE_STMT, dbc, &stmt), SQL_SUCCESS);
  ct::StmtOf(stmt)->flags |= STMTF_RESULT_OPEN;
  EXPECT_EQ(SQLSetConnectOption(dbc, SQL_CURRENT_QUALIFIER, reinterpret_cast<SQLULEN>("HR")), SQL_ERROR);
  EXPECT_EQ(State(dbc), "24000");
  ct::StmtOf(stmt)->flags &= static_cast<uint16_t>(~STMTF_RESULT_OPEN);
  // The agent refusing the catalog leaves the old one.
  fake::Script(SLOT_DRV_SetInfo).queue = {E_3D000};
  EXPECT_EQ(SQLSetConnectAttr(dbc, SQL_ATTR_CURRENT_CATALOG, (SQLPOINTER) "NOPE", SQL_NTS), SQL_ERROR);
  EXPECT_EQ(State(dbc), "3D000");
  EXPECT_STREQ(ConnOf(dbc)->dbPath, "SCOTT");
}

TEST_F(ConnOptTest, TextAttributesAreBoundedByTheCallersBuffer) {
  const char *lib = "libtranslate.so";  // 15 characters
  EXPECT_EQ(SQLGetConnectOption(dbc, SQL_TRANSLATE_DLL, nullptr), SQL_NO_DATA);
  ASSERT_EQ(SQLSetConnectAttr(dbc, SQL_ATTR_TRANSLATE_LIB, (SQLPOINTER)lib, SQL_NTS), SQL_SUCCESS);

  char buf[32];
  SQLINTEGER len = 0;
  memset(buf, '#', sizeof buf);
  EXPECT_EQ(SQLGetConnectAttr(dbc, SQL_ATTR_TRANSLATE_LIB, buf, 8, &len), SQL_SUCCESS_WITH_INFO);
  EXPECT_STREQ(buf, "libtran");
  EXPECT_EQ(buf[8], '#');
  EXPECT_EQ(len, 15);
  EXPECT_EQ(State(dbc), "01004");
  // No room at all: nothing written, the length still told.
  memset(buf, '#', sizeof buf);
  EXPECT_EQ(SQLGetConnectAttr(dbc, SQL_ATTR_TRANSLATE_LIB, buf, 0, &len), SQL_SUCCESS_WITH_INFO);
  EXPECT_EQ(buf[0], '#');
  EXPECT_EQ(len, 15);
  // No buffer: only the length.
  EXPECT_EQ(SQLGetConnectAttr(dbc, SQL_ATTR_TRANSLATE_LIB, nullptr, 0, &len), SQL_SUCCESS);
  EXPECT_EQ(len, 15);
  EXPECT_EQ(SQLGetConnectAttr(dbc, SQL_ATTR_TRANSLATE_LIB, buf, -1, &len), SQL_ERROR);
  EXPECT_EQ(State(dbc), "HY090");
  EXPECT_EQ(SQLSetConnectAttr(dbc, SQL_ATTR_TRANSLATE_LIB, (SQLPOINTER)lib, -8), SQL_ERROR);
  EXPECT_EQ(State(dbc), "HY090");
  // W: lengths in bytes, the text in UTF-16.
  SQLWCHAR wbuf[16];
  memset(wbuf, 0xFF, sizeof wbuf);
  EXPECT_EQ(SQLGetConnectAttrW(dbc, SQL_ATTR_TRANSLATE_LIB, wbuf, 8, &len), SQL_SUCCESS_WITH_INFO);
  EXPECT_EQ(ct::FromW(wbuf, 16), "lib");
  EXPECT_EQ(wbuf[4], 0xFFFF);
  EXPECT_EQ(len, 30);
  auto wide = ct::ToW("J\xC3\xBCrgen.so");
  ASSERT_EQ(SQLSetConnectAttrW(dbc, SQL_ATTR_TRANSLATE_LIB, wide.data(), 12), SQL_SUCCESS);  // 6 characters
  EXPECT_EQ(SQLGetConnectAttrW(dbc, SQL_ATTR_TRANSLATE_LIB, wbuf, sizeof wbuf, &len), SQL_SUCCESS);
  EXPECT_EQ(ct::FromW(wbuf, 16), "J\xC3\xBCrgen");
  EXPECT_EQ(len, 12);
  // The ODBC 2 call has no length: at most the ODBC 2 option string.
  const std::string big(400, 'n');
  ASSERT_EQ(SQLSetConnectOption(dbc, SQL_TRANSLATE_DLL, reinterpret_cast<SQLULEN>(big.c_str())), SQL_SUCCESS);
  std::string out(512, '#');
  EXPECT_EQ(SQLGetConnectOption(dbc, SQL_TRANSLATE_DLL, out.data()), SQL_SUCCESS_WITH_INFO);
  EXPECT_EQ(strlen(out.c_str()), static_cast<size_t>(kConnOptionTextMax - 1));
  EXPECT_EQ(out[kConnOptionTextMax], '#');
  // The trace file is accepted and reads back empty.
  EXPECT_EQ(SQLSetConnectAttr(dbc, SQL_ATTR_TRACEFILE, (SQLPOINTER) "/tmp/t", SQL_NTS), SQL_SUCCESS);
  EXPECT_EQ(SQLGetConnectAttr(dbc, SQL_ATTR_TRACEFILE, buf, sizeof buf, &len), SQL_SUCCESS);
  EXPECT_STREQ(buf, "");
  // A NULL library name leaves none.
  EXPECT_EQ(SQLSetConnectOption(dbc, SQL_TRANSLATE_DLL, 0), SQL_SUCCESS);
  EXPECT_EQ(SQLGetConnectAttr(dbc, SQL_ATTR_TRANSLATE_LIB, buf, sizeof buf, &len), SQL_NO_DATA);
}

// ---- DTC enlistment with a scripted distributed-transaction layer ----

struct DtcScript {
  int32_t init = 0, connect = 0, enlist = 0;
  bool create = true;
  int creates = 0, releases = 0;
  std::string text;
  void *transaction = nullptr;
};
DtcScript g_dtc;
COdbcResourceDispenser *const kDispenser = reinterpret_cast<COdbcResourceDispenser *>(0xD15);

int32_t DtcInit() { return g_dtc.init; }
COdbcResourceDispenser *DtcCreate(void *transaction, uint32_t, uint32_t, DrvObject *, OsCritSec *, OsSemaphore *,
                                  const char *text) {
  ++g_dtc.creates;
  g_dtc.text = text;
  g_dtc.transaction = transaction;
  return g_dtc.create ? kDispenser : nullptr;
}
int32_t DtcConnect(COdbcResourceDispenser *) { return g_dtc.connect; }
int32_t DtcEnlist(COdbcResourceDispenser *) { return g_dtc.enlist; }
int32_t DtcRelease(COdbcResourceDispenser *) {
  ++g_dtc.releases;
  return 0;
}
bool DtcHeld(COdbcResourceDispenser *) { return false; }

struct DtcTest : ConnOptTest {
  void SetUp() override {
    ConnOptTest::SetUp();
    g_dtc = DtcScript{};
    g_dtcService = {DtcInit, DtcCreate, DtcConnect, DtcEnlist, DtcRelease, DtcHeld};
  }
  SQLRETURN Enlist(SQLHDBC h, void *transaction) {
    return SQLSetConnectAttr(h, SQL_ATTR_ENLIST_IN_DTC, transaction, SQL_IS_POINTER);
  }
};

TEST_F(DtcTest, EnlistmentRefusals) {
  EXPECT_EQ(Enlist(dbc, P(1)), SQL_ERROR);  // no capability before the connect
  EXPECT_EQ(State(dbc), "IM001");
  Connect(dbc);  // an agent without the DTC capability
  EXPECT_EQ(Enlist(dbc, P(1)), SQL_ERROR);
  EXPECT_EQ(State(dbc), "IM001");
  SQLHENV env2 = ct::NewEnv(SQL_OV_ODBC2);
  SQLHDBC d2 = ct::NewDbc(env2);
  Connect(d2, CAP_DTC);
  EXPECT_EQ(SQLSetConnectOption(d2, SQL_ATTR_ENLIST_IN_DTC, 1), SQL_ERROR);  // ODBC 2 environment
  EXPECT_EQ(State(d2), "IM001");
  EXPECT_EQ(g_dtc.creates, 0);
}

TEST_F(DtcTest, EnlistAndEnd) {
  Connect(dbc, CAP_DTC);
  EXPECT_EQ(Enlist(dbc, nullptr), SQL_ERROR);  // ending without an enlistment
  EXPECT_EQ(State(dbc), "25000");
  free(ConnOf(dbc)->user);
  ConnOf(dbc)->user = strdup("a;b");
  EXPECT_EQ(Enlist(dbc, P(0x7A)), SQL_SUCCESS);
  EXPECT_EQ(g_dtc.transaction, P(0x7A));
  // The connection text keeps a ';' inside its value.
  EXPECT_EQ(g_dtc.text, "DSN=kvd_minimal;UID={a;b};PWD=p;");
  EXPECT_EQ(ConnOf(dbc)->dtcEnlisted, 1);
  EXPECT_EQ(Enlist(dbc, P(0x7B)), SQL_SUCCESS);  // already enlisted: nothing new
  EXPECT_EQ(g_dtc.creates, 1);
  EXPECT_EQ(Enlist(dbc, nullptr), SQL_SUCCESS);
  EXPECT_EQ(g_dtc.releases, 1);
  EXPECT_EQ(ConnOf(dbc)->dtcEnlisted, 0);
  EXPECT_EQ(ConnOf(dbc)->dtcDispenser, nullptr);
}

TEST_F(DtcTest, AFailureOfTheLayerGivesIM932) {
  Connect(dbc, CAP_DTC);
  g_dtc.init = 0xFFFF;
  EXPECT_EQ(Enlist(dbc, P(1)), SQL_ERROR);
  EXPECT_EQ(State(dbc), "IM932");
  g_dtc.init = 0;
  g_dtc.create = false;
  EXPECT_EQ(Enlist(dbc, P(1)), SQL_ERROR);
  EXPECT_EQ(State(dbc), "IM932");
  g_dtc.create = true;
  g_dtc.enlist = 0x1FFFF;
  EXPECT_EQ(Enlist(dbc, P(1)), SQL_ERROR);
  EXPECT_EQ(State(dbc), "IM932");
  EXPECT_EQ(g_dtc.releases, 1);
  EXPECT_EQ(ConnOf(dbc)->dtcDispenser, nullptr);
  EXPECT_EQ(ConnOf(dbc)->dtcEnlisted, 0);
  // The driver's own layer with no coordinator in the process.
  DtcServiceReset();
  EXPECT_EQ(Enlist(dbc, P(1)), SQL_ERROR);
  EXPECT_EQ(State(dbc), "IM932");
}

// ---- Failover callback ----

int FailoverCb(int, void *, int) { return 0; }

TEST_F(ConnOptTest, FailoverCallbackNeedsTheAgentsCapability) {
  Connect(dbc);
  EXPECT_EQ(SQLSetConnectAttr(dbc, kFailoverCallback, reinterpret_cast<SQLPOINTER>(&FailoverCb), 0), SQL_ERROR);
  EXPECT_EQ(State(dbc), "HYC00");
  EXPECT_EQ(SQLSetConnectAttr(dbc, kFailoverContext, P(5), 0), SQL_ERROR);
  EXPECT_EQ(State(dbc), "HYC00");
  SQLDisconnect(dbc);
  Connect(dbc, CAP_FAILOVER_CB);
  EXPECT_EQ(SQLSetConnectAttr(dbc, kFailoverCallback, reinterpret_cast<SQLPOINTER>(&FailoverCb), 0), SQL_SUCCESS);
  EXPECT_TRUE(Sent("0x22030500=1"));
  EXPECT_EQ(ConnOf(dbc)->failoverCallback, &FailoverCb);
  EXPECT_EQ(SQLSetConnectOption(dbc, kFailoverContext, 0x55), SQL_SUCCESS);
  EXPECT_EQ(ConnOf(dbc)->failoverContext, P(0x55));
  EXPECT_EQ(SQLSetConnectAttr(dbc, kFailoverCallback, nullptr, 0), SQL_SUCCESS);
  EXPECT_TRUE(Sent("0x22030500=0"));
  EXPECT_EQ(ConnOf(dbc)->failoverCallback, nullptr);
}

}  // namespace
