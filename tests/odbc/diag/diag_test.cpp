// Diagnostic records from a handle's messages and pending code.
#include <gtest/gtest.h>
#include <sql.h>
#include <sqlext.h>
#include <sqlucode.h>

#include <string>

#include "front_support.h"
#include "odbc/diag.h"
#include "odbc/sqlstate.h"

using namespace front;

namespace {

const char kOra942[] = "[Oracle Server]ORA-00942: table or view does not exist[SQLSTATE:42S02]";

struct Rec {
  SQLRETURN rc;
  std::string state;
  SQLINTEGER native;
  std::string msg;
  SQLSMALLINT len;
};

Rec DiagRec(SQLSMALLINT type, SQLHANDLE h, SQLSMALLINT n, SQLSMALLINT bufLen = 512) {
  SQLCHAR state[6] = "xxxxx";
  SQLCHAR msg[600] = "untouched";
  Rec r{};
  r.native = -7;
  r.len = -7;
  r.rc = SQLGetDiagRec(type, h, n, state, &r.native, msg, bufLen, &r.len);
  r.state = reinterpret_cast<char *>(state);
  r.msg = reinterpret_cast<char *>(msg);
  return r;
}

Rec Error(SQLHENV env, SQLHDBC dbc, SQLHSTMT stmt, SQLSMALLINT bufLen = 512) {
  SQLCHAR state[6] = "xxxxx";
  SQLCHAR msg[600] = "untouched";
  Rec r{};
  r.rc = SQLError(env, dbc, stmt, state, &r.native, msg, bufLen, &r.len);
  r.state = reinterpret_cast<char *>(state);
  r.msg = reinterpret_cast<char *>(msg);
  return r;
}

struct Diag : FrontTest {
  SQLHENV env = SQL_NULL_HENV;
  SQLHDBC dbc = SQL_NULL_HDBC;
  Conn *conn = nullptr;
  void Make(SQLINTEGER version) {
    env = NewEnv(version);
    dbc = NewDbc(env);
    conn = ConnOf(dbc);
  }
  void SetUp() override {
    FrontTest::SetUp();
    Make(SQL_OV_ODBC3);
  }
};

TEST_F(Diag, AgentTextGivesItsStateNativeCodeAndPrefix) {
  MsgListAppend(&conn->messages, kOra942, 942);
  Rec r = DiagRec(SQL_HANDLE_DBC, dbc, 1);
  EXPECT_EQ(r.rc, SQL_SUCCESS);
  EXPECT_EQ(r.state, "42S02");
  EXPECT_EQ(r.native, 942);
  EXPECT_EQ(r.msg, "[Zezuzeru][ODBC][Oracle Server]ORA-00942: table or view does not exist");
  EXPECT_EQ(r.len, static_cast<SQLSMALLINT>(r.msg.size()));
}

TEST_F(Diag, MessageForms) {
  struct Case {
    SQLINTEGER version;
    const char *text;  // null: pending code only
    int32_t code;
    const char *state;
    const char *msg;
  } cases[] = {
      {SQL_OV_ODBC3, "  [Oracle Server]x[sqlstate:S0002]", 0, "42S02", "[Zezuzeru][ODBC][Oracle Server]x"},
      {SQL_OV_ODBC2, "  [Oracle Server]x[sqlstate:S0002]", 0, "S0002", "[Zezuzeru][ODBC][Oracle Server]x"},
      {SQL_OV_ODBC3, "no marker here", 0, "HY000", "[Zezuzeru][ODBC]no marker here"},
      {SQL_OV_ODBC2, "no marker here", 0, "S1000", "[Zezuzeru][ODBC]no marker here"},
      {SQL_OV_ODBC3, "[SQLSTATE:2200", 0, "2200", "[Zezuzeru][ODBC]"},
      {SQL_OV_ODBC2, nullptr, E_S1010, "S1010", "[Zezuzeru][ODBC][Driver]Function sequence error"},
      {SQL_OV_ODBC3, nullptr, E_S1010, "HY010", "[Zezuzeru][ODBC][Driver]Function sequence error"},
      {SQL_OV_ODBC2, nullptr, 200, "S1000",
       "[Zezuzeru][ODBC][Driver]Undefined errorcode (200).\nPlease install a newer client."},
      {SQL_OV_ODBC3, nullptr, 200, "HY000",
       "[Zezuzeru][ODBC][Driver]Undefined errorcode (200).\nPlease install a newer client."},
      {SQL_OV_ODBC3, nullptr, -5, "HY000",
       "[Zezuzeru][ODBC][Driver]Undefined errorcode (-5).\nPlease install a newer client."},
      {SQL_OV_ODBC3, nullptr, 185, "HY000",
       "[Zezuzeru][ODBC][Driver]Undefined errorcode (185).\nPlease install a newer client."},
  };
  for (const Case &c : cases) {
    SCOPED_TRACE(std::string(c.text ? c.text : "code ") + std::to_string(c.code));
    Make(c.version);
    if (c.text) MsgListAppend(&conn->messages, c.text, 5);
    conn->pending = c.code;
    Rec r = DiagRec(SQL_HANDLE_DBC, dbc, 1);
    EXPECT_EQ(r.rc, SQL_SUCCESS);
    EXPECT_EQ(r.state, c.state);
    EXPECT_EQ(r.msg, c.msg);
    EXPECT_EQ(r.native, c.text ? 5 : 0);
  }
}

TEST_F(Diag, SqlErrorConsumesMessagesAndNeverReportsAPendingCodeBesideThem) {
  FakeConnect(dbc);
  SQLHSTMT stmt = NewStmt(dbc);
  Stmt *s = StmtOf(stmt);
  MsgListAppend(&s->messages, "[Oracle Server]first[SQLSTATE:42000]", 1);
  MsgListAppend(&s->messages, "[Oracle Server]second[SQLSTATE:23000]", 2);
  s->pending = E_S1009;

  // Reading does not consume, as often as asked.
  for (int round = 0; round < 2; ++round) {
    EXPECT_EQ(DiagRec(SQL_HANDLE_STMT, stmt, 1).msg, "[Zezuzeru][ODBC][Oracle Server]first");
    EXPECT_EQ(DiagRec(SQL_HANDLE_STMT, stmt, 2).state, "23000");
    EXPECT_EQ(DiagRec(SQL_HANDLE_STMT, stmt, 3).rc, SQL_NO_DATA);
  }
  SQLINTEGER number = 0;
  EXPECT_EQ(SQLGetDiagField(SQL_HANDLE_STMT, stmt, 0, SQL_DIAG_NUMBER, &number, 0, nullptr), SQL_SUCCESS);
  EXPECT_EQ(number, 2);

  Rec a = Error(SQL_NULL_HENV, SQL_NULL_HDBC, stmt);
  EXPECT_EQ(a.rc, SQL_SUCCESS);
  EXPECT_EQ(a.native, 1);
  EXPECT_EQ(a.msg, "[Zezuzeru][ODBC][Oracle Server]first");
  Rec b = Error(env, dbc, stmt);  // the statement is chosen
  EXPECT_EQ(b.state, "23000");
  Rec c = Error(env, dbc, stmt);
  EXPECT_EQ(c.rc, SQL_NO_DATA);
  EXPECT_EQ(c.state, "00000");
  EXPECT_EQ(c.msg, "");
  EXPECT_EQ(Error(SQL_NULL_HENV, SQL_NULL_HDBC, SQL_NULL_HSTMT).rc, SQL_INVALID_HANDLE);
}

TEST_F(Diag, PendingCodeAloneIsOneRecordReadOnceBySqlError) {
  conn->pending = E_08003;
  SQLINTEGER number = 0;
  EXPECT_EQ(SQLGetDiagField(SQL_HANDLE_DBC, dbc, 0, SQL_DIAG_NUMBER, &number, 0, nullptr), SQL_SUCCESS);
  EXPECT_EQ(number, 1);
  EXPECT_EQ(DiagRec(SQL_HANDLE_DBC, dbc, 1).state, "08003");
  EXPECT_EQ(DiagRec(SQL_HANDLE_DBC, dbc, 2).rc, SQL_NO_DATA);
  EXPECT_EQ(Error(SQL_NULL_HENV, dbc, SQL_NULL_HSTMT).state, "08003");
  EXPECT_EQ(Error(SQL_NULL_HENV, dbc, SQL_NULL_HSTMT).rc, SQL_NO_DATA);

  // Nothing at all: still a count of 1, and record 1 is "no data".
  EXPECT_EQ(SQLGetDiagField(SQL_HANDLE_DBC, dbc, 0, SQL_DIAG_NUMBER, &number, 0, nullptr), SQL_SUCCESS);
  EXPECT_EQ(number, 1);
  Rec r = DiagRec(SQL_HANDLE_DBC, dbc, 1);
  EXPECT_EQ(r.rc, SQL_NO_DATA);
  EXPECT_EQ(r.state, "00000");
  EXPECT_EQ(r.len, 0);
  EXPECT_EQ(r.msg, "");
}

TEST_F(Diag, MessageCutAtTheBufferWithTheFullLength) {
  // "[Zezuzeru][ODBC]" + "abcdef" = 22 bytes.
  for (bool fromCode : {false, true}) {
    Make(SQL_OV_ODBC3);
    std::string whole;
    if (fromCode) {
      conn->pending = E_S1010;
      whole = "[Zezuzeru][ODBC][Driver]Function sequence error";
    } else {
      MsgListAppend(&conn->messages, "abcdef", 0);
      whole = "[Zezuzeru][ODBC]abcdef";
    }
    const auto n = static_cast<SQLSMALLINT>(whole.size());
    Rec fits = DiagRec(SQL_HANDLE_DBC, dbc, 1, n + 1);
    EXPECT_EQ(fits.rc, SQL_SUCCESS);
    EXPECT_EQ(fits.msg, whole);
    Rec cut = DiagRec(SQL_HANDLE_DBC, dbc, 1, n);
    EXPECT_EQ(cut.rc, SQL_SUCCESS_WITH_INFO);
    EXPECT_EQ(cut.msg, whole.substr(0, n - 1));
    EXPECT_EQ(cut.len, n);
    Rec none = DiagRec(SQL_HANDLE_DBC, dbc, 1, 0);
    EXPECT_EQ(none.rc, SQL_SUCCESS_WITH_INFO);
    EXPECT_EQ(none.msg, "untouched");
    EXPECT_EQ(none.len, n);
    // A negative length is refused without touching anything; SQLError
    // consumes the record but writes no text.
    EXPECT_EQ(DiagRec(SQL_HANDLE_DBC, dbc, 1, -1).rc, SQL_ERROR);
    Rec neg = Error(SQL_NULL_HENV, dbc, SQL_NULL_HSTMT, -1);
    EXPECT_EQ(neg.rc, SQL_SUCCESS_WITH_INFO);
    EXPECT_EQ(neg.msg, "untouched");
    EXPECT_EQ(neg.len, n);
  }
}

TEST(DiagState3, Odbc2StatesBecomeTheirOdbc3Form) {
  const char *cases[][2] = {
      {"S0002", "42S02"}, {"S0022", "42S22"}, {"37000", "42000"}, {"S1DE0", "HYDE0"}, {"S1000", "HY000"},
      {"S1002", "07009"}, {"S1093", "07009"}, {"01S03", "01001"}, {"01S04", "01001"}, {"22005", "22018"},
      {"70100", "HY018"}, {"01S00", "01S00"}, {"08S01", "08S01"}, {"IM001", "IM001"},
      // Valid ODBC 3 states with the same meaning stay.
      {"22003", "22003"}, {"24000", "24000"}, {"22008", "22008"}, {"42S02", "42S02"},
  };
  for (auto &c : cases) {
    char s[6];
    memcpy(s, c[0], 6);
    DiagState3(s);
    EXPECT_STREQ(s, c[1]) << c[0];
  }
}

TEST_F(Diag, FieldsOfARecord) {
  conn->dsn = strdup("mydsn");
  MsgListAppend(&conn->messages, kOra942, 942);
  MsgListAppend(&conn->messages, "x[SQLSTATE:IM001]", 0);
  char buf[64];
  SQLSMALLINT len = 0;
  SQLINTEGER native = 0;
  EXPECT_EQ(SQLGetDiagField(SQL_HANDLE_DBC, dbc, 1, SQL_DIAG_NATIVE, &native, 0, nullptr), SQL_SUCCESS);
  EXPECT_EQ(native, 942);
  EXPECT_EQ(SQLGetDiagField(SQL_HANDLE_DBC, dbc, 1, SQL_DIAG_SQLSTATE, buf, sizeof buf, &len), SQL_SUCCESS);
  EXPECT_STREQ(buf, "42S02");
  EXPECT_EQ(SQLGetDiagField(SQL_HANDLE_DBC, dbc, 1, SQL_DIAG_CLASS_ORIGIN, buf, sizeof buf, &len), SQL_SUCCESS);
  EXPECT_STREQ(buf, "ISO 9075");
  EXPECT_EQ(SQLGetDiagField(SQL_HANDLE_DBC, dbc, 2, SQL_DIAG_SUBCLASS_ORIGIN, buf, sizeof buf, &len), SQL_SUCCESS);
  EXPECT_STREQ(buf, "ODBC 3.0");
  EXPECT_EQ(SQLGetDiagField(SQL_HANDLE_DBC, dbc, 1, SQL_DIAG_CONNECTION_NAME, buf, sizeof buf, &len), SQL_SUCCESS);
  EXPECT_STREQ(buf, "mydsn");
  // Cut with the full length; a length query; a negative length.
  EXPECT_EQ(SQLGetDiagField(SQL_HANDLE_DBC, dbc, 1, SQL_DIAG_MESSAGE_TEXT, buf, 10, &len), SQL_SUCCESS_WITH_INFO);
  EXPECT_STREQ(buf, "[Zezuzeru");
  EXPECT_EQ(len, 70);
  len = 0;
  EXPECT_EQ(SQLGetDiagField(SQL_HANDLE_DBC, dbc, 1, SQL_DIAG_MESSAGE_TEXT, nullptr, 0, &len), SQL_SUCCESS);
  EXPECT_EQ(len, 70);
  EXPECT_EQ(SQLGetDiagField(SQL_HANDLE_DBC, dbc, 1, SQL_DIAG_MESSAGE_TEXT, buf, -2, &len), SQL_ERROR);
  // Beyond the count; statement-only fields on a connection; unknown header.
  EXPECT_EQ(SQLGetDiagField(SQL_HANDLE_DBC, dbc, 3, SQL_DIAG_SQLSTATE, buf, sizeof buf, &len), SQL_NO_DATA);
  SQLLEN row = 0;
  EXPECT_EQ(SQLGetDiagField(SQL_HANDLE_DBC, dbc, 1, SQL_DIAG_ROW_NUMBER, &row, 0, nullptr), SQL_ERROR);
  EXPECT_EQ(SQLGetDiagField(SQL_HANDLE_DBC, dbc, 0, SQL_DIAG_DYNAMIC_FUNCTION, buf, sizeof buf, &len), SQL_ERROR);
  EXPECT_EQ(SQLGetDiagField(SQL_HANDLE_DBC, dbc, 0, SQL_DIAG_SQLSTATE, buf, sizeof buf, &len), SQL_ERROR);
  // Nothing here posts a record of its own.
  EXPECT_EQ(conn->pending, 0);
  EXPECT_EQ(DiagRecordCount(conn), 2);
}

TEST_F(Diag, StatementFields) {
  FakeConnect(dbc);
  SQLHSTMT stmt = NewStmt(dbc);
  Stmt *s = StmtOf(stmt);
  s->pending = E_S1009;
  s->isSelect = 1;
  char buf[32];
  SQLSMALLINT len = 0;
  EXPECT_EQ(SQLGetDiagField(SQL_HANDLE_STMT, stmt, 0, SQL_DIAG_DYNAMIC_FUNCTION, buf, sizeof buf, &len), SQL_SUCCESS);
  EXPECT_STREQ(buf, "SELECT CURSOR");
  EXPECT_EQ(len, 13);
  SQLINTEGER code = 0;
  EXPECT_EQ(SQLGetDiagField(SQL_HANDLE_STMT, stmt, 0, SQL_DIAG_DYNAMIC_FUNCTION_CODE, &code, 0, nullptr), SQL_SUCCESS);
  EXPECT_EQ(code, SQL_DIAG_SELECT_CURSOR);
  SQLLEN row = 0;
  EXPECT_EQ(SQLGetDiagField(SQL_HANDLE_STMT, stmt, 1, SQL_DIAG_ROW_NUMBER, &row, 0, nullptr), SQL_SUCCESS);
  EXPECT_EQ(row, SQL_ROW_NUMBER_UNKNOWN);
  SQLINTEGER col = 0;
  EXPECT_EQ(SQLGetDiagField(SQL_HANDLE_STMT, stmt, 1, SQL_DIAG_COLUMN_NUMBER, &col, 0, nullptr), SQL_SUCCESS);
  EXPECT_EQ(col, SQL_COLUMN_NUMBER_UNKNOWN);
  EXPECT_EQ(SQLGetDiagField(SQL_HANDLE_STMT, stmt, 1, SQL_DIAG_SQLSTATE, buf, sizeof buf, &len), SQL_SUCCESS);
  EXPECT_STREQ(buf, "HY009");
}

TEST_F(Diag, DescriptorRecordsUseTheOwnersVersion) {
  Make(SQL_OV_ODBC2);
  FakeConnect(dbc);
  SQLHDESC desc = NewDesc(dbc);
  DescOf(desc)->pending = E_S1091;
  EXPECT_EQ(DiagRec(SQL_HANDLE_DESC, desc, 1).state, "S1091");
}

TEST_F(Diag, WideForms) {
  MsgListAppend(&conn->messages, kOra942, 942);
  SQLWCHAR state[6] = {0};
  SQLWCHAR msg[200];
  SQLINTEGER native = 0;
  SQLSMALLINT len = 0;
  ASSERT_EQ(SQLGetDiagRecW(SQL_HANDLE_DBC, dbc, 1, state, &native, msg, 200, &len), SQL_SUCCESS);
  EXPECT_EQ(std::u16string(reinterpret_cast<char16_t *>(state)), u"42S02");
  EXPECT_EQ(len, 70);
  // A cut wide message still reports the full length in characters.
  ASSERT_EQ(SQLGetDiagRecW(SQL_HANDLE_DBC, dbc, 1, state, &native, msg, 20, &len), SQL_SUCCESS_WITH_INFO);
  EXPECT_EQ(std::u16string(reinterpret_cast<char16_t *>(msg)), u"[Zezuzeru][ODBC][Or");
  EXPECT_EQ(len, 70);

  // SQLGetDiagFieldW counts bytes.
  ASSERT_EQ(SQLGetDiagFieldW(SQL_HANDLE_DBC, dbc, 1, SQL_DIAG_SQLSTATE, msg, sizeof msg, &len), SQL_SUCCESS);
  EXPECT_EQ(std::u16string(reinterpret_cast<char16_t *>(msg)), u"42S02");
  EXPECT_EQ(len, 10);
  ASSERT_EQ(SQLGetDiagFieldW(SQL_HANDLE_DBC, dbc, 1, SQL_DIAG_MESSAGE_TEXT, msg, 12, &len), SQL_SUCCESS_WITH_INFO);
  EXPECT_EQ(std::u16string(reinterpret_cast<char16_t *>(msg)), u"[Zezu");
  EXPECT_EQ(len, 140);
}

}  // namespace
