// The W entry points that convert text, seen from the implementation they
// call: this test defines the implementations of the records involved (the
// driver's own ones are replaceable), records what they receive and answers
// as a narrow implementation would.
#include <gtest/gtest.h>
#include <sql.h>
#include <sqlext.h>
#include <sqlucode.h>

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <functional>
#include <string>

#include "front_support.h"
#include "harness.h"
#include "odbc/apirec.h"
#include "odbc/cursorname.h"
#include "odbc/entries_w.h"
#include "odbc/sqlstate.h"
#include "util/utf.h"

using namespace front;
using harness::FromW;
using harness::ToW;

namespace {

// What the last implementation call received.
struct Seen {
  std::string text[6];
  bool isNull[6] = {};
  int64_t len[6] = {};
  void *outBuf = nullptr;
  int64_t outLen = 0;
  char mode = 0;
  int calls = 0;
} g_seen;

// What the next implementation call answers with.
std::string g_answer;

void Take(int i, const ApiArgs &a, int textSlot, int lenSlot) {
  const char *t = a.ptr<const char>(textSlot);
  g_seen.isNull[i] = t == nullptr;
  g_seen.text[i] = t ? t : "";
  g_seen.len[i] = a.i64(lenSlot);
}

// Copies the answer into a narrow buffer of bufLen bytes as the narrow
// implementations do: cut to bufLen - 1 bytes, full length out, 01004.
template <class Len>
SQLRETURN Answer(int32_t *pending, char *buf, int64_t bufLen, Len *outLen) {
  g_seen.outBuf = buf;
  g_seen.outLen = bufLen;
  if (outLen) *outLen = static_cast<Len>(g_answer.size());
  if (!buf || bufLen <= 0) return SQL_SUCCESS;
  if (static_cast<int64_t>(g_answer.size()) < bufLen) {
    memcpy(buf, g_answer.c_str(), g_answer.size() + 1);
    return SQL_SUCCESS;
  }
  memcpy(buf, g_answer.data(), static_cast<size_t>(bufLen - 1));
  buf[bufLen - 1] = '\0';
  if (pending) *pending = E_01004;
  return SQL_SUCCESS_WITH_INFO;
}

}  // namespace

// ---- The implementations this test puts in place -------------------------------

SQLRETURN odbc_ExecDirect(void *, const ApiArgs &a) {
  ++g_seen.calls;
  Take(0, a, 0, 1);
  return SQL_SUCCESS;
}

SQLRETURN odbc_Connect(void *, const ApiArgs &a) {
  ++g_seen.calls;
  Take(0, a, 0, 1);
  Take(1, a, 2, 3);
  Take(2, a, 4, 5);
  g_seen.mode = a.mode(6);
  return SQL_ERROR;
}

SQLRETURN odbc_NativeSql(void *obj, const ApiArgs &a) {
  ++g_seen.calls;
  Take(0, a, 0, 1);
  return Answer(&static_cast<Conn *>(obj)->pending, a.ptr<char>(2), a.i32(3), a.ptr<SQLINTEGER>(4));
}

SQLRETURN odbc_DriverConnect(void *obj, const ApiArgs &a) {
  ++g_seen.calls;
  Take(0, a, 1, 2);
  g_seen.mode = a.mode(7);
  return Answer(&static_cast<Conn *>(obj)->pending, a.ptr<char>(3), a.i16(4), a.ptr<SQLSMALLINT>(5));
}

SQLRETURN odbc_GetCursorName(void *obj, const ApiArgs &a) {
  ++g_seen.calls;
  return Answer(&static_cast<Stmt *>(obj)->pending, a.ptr<char>(0), a.i16(1), a.ptr<SQLSMALLINT>(2));
}

SQLRETURN odbc_SetCursorName(void *, const ApiArgs &a) {
  ++g_seen.calls;
  Take(0, a, 0, 1);
  return SQL_SUCCESS;
}

SQLRETURN odbc_DescribeCol(void *obj, const ApiArgs &a) {
  ++g_seen.calls;
  return Answer(&static_cast<Stmt *>(obj)->pending, a.ptr<char>(1), a.i16(2), a.ptr<SQLSMALLINT>(3));
}

SQLRETURN odbc_GetDiagRec_Stmt(void *, const ApiArgs &a) {
  ++g_seen.calls;
  auto *state = a.ptr<char>(1);
  if (state) memcpy(state, "42S02", 6);
  if (a.ptr<SQLINTEGER>(2)) *a.ptr<SQLINTEGER>(2) = 942;
  if (a.i16(4) < 0) return SQL_ERROR;
  // The diagnostic functions report a cut message without a pending error.
  return Answer(static_cast<int32_t *>(nullptr), a.ptr<char>(3), a.i16(4), a.ptr<SQLSMALLINT>(5));
}

SQLRETURN odbc_Error_Stmt(void *, const ApiArgs &a) {
  ++g_seen.calls;
  auto *state = a.ptr<char>(0);
  if (state) memcpy(state, "S1000", 6);
  return Answer(static_cast<int32_t *>(nullptr), a.ptr<char>(2), a.i16(3), a.ptr<SQLSMALLINT>(4));
}

SQLRETURN odbc_Tables(void *, const ApiArgs &a) {
  ++g_seen.calls;
  for (int i = 0; i < 4; ++i) Take(i, a, 2 * i, 2 * i + 1);
  return SQL_SUCCESS;
}

namespace {

struct WideEntryTest : FrontTest {
  SQLHENV env{};
  SQLHDBC dbc{};
  SQLHSTMT stmt{};
  void SetUp() override {
    FrontTest::SetUp();
    g_seen = Seen{};
    env = NewEnv();
    dbc = NewDbc(env);
    FakeConnect(dbc);
    stmt = NewStmt(dbc);
  }
};

// "é€" and a character outside the BMP (a surrogate pair): 2 + 3 + 4 bytes.
const std::string kMixed = "SELECT '\xC3\xA9\xE2\x82\xAC\xF0\x9F\x98\x80'";

TEST_F(WideEntryTest, InputTextArrivesAsNulTerminatedUtf8) {
  auto w = ToW(kMixed + " trailing text the length leaves out");
  auto units = static_cast<SQLINTEGER>(ToW(kMixed).size());
  EXPECT_EQ(SQLExecDirectW(stmt, w.data(), units), SQL_SUCCESS);
  EXPECT_EQ(g_seen.text[0], kMixed);
  EXPECT_EQ(g_seen.len[0], SQL_NTS);

  // A length no valid call has reaches the implementation unchanged.
  EXPECT_EQ(SQLExecDirectW(stmt, w.data(), -5), SQL_SUCCESS);
  EXPECT_EQ(g_seen.len[0], -5);
  // A null text stays null.
  EXPECT_EQ(SQLSetCursorNameW(stmt, nullptr, SQL_NTS), SQL_SUCCESS);
  EXPECT_TRUE(g_seen.isNull[0]);
}

TEST_F(WideEntryTest, ConnectConvertsAllThreeTextsAndSaysW) {
  auto d = ToW("dsn\xC3\xA9"), u = ToW("scott"), p = ToW("tiger");
  EXPECT_EQ(SQLConnectW(dbc, d.data(), SQL_NTS, u.data(), 3, p.data(), SQL_NTS), SQL_ERROR);
  EXPECT_EQ(g_seen.text[0], "dsn\xC3\xA9");
  EXPECT_EQ(g_seen.text[1], "sco");
  EXPECT_EQ(g_seen.text[2], "tiger");
  EXPECT_EQ(g_seen.len[1], SQL_NTS);
  EXPECT_EQ(g_seen.mode, 'W');
}

TEST_F(WideEntryTest, CatalogNamesConvertedAndNullsKept) {
  auto tab = ToW("T\xF0\x9F\x98\x80X");
  auto types = ToW("'TABLE','VIEW'");
  EXPECT_EQ(SQLTablesW(stmt, nullptr, 0, nullptr, SQL_NTS, tab.data(), 3, types.data(), SQL_NTS), SQL_SUCCESS);
  EXPECT_TRUE(g_seen.isNull[0]);
  EXPECT_TRUE(g_seen.isNull[1]);
  EXPECT_EQ(g_seen.text[2], "T\xF0\x9F\x98\x80") << "3 units: the letter and the whole pair";
  EXPECT_EQ(g_seen.text[3], "'TABLE','VIEW'");
  for (int i = 0; i < 4; ++i) EXPECT_EQ(g_seen.len[i], SQL_NTS) << i;
}

// Output texts: the work buffer is four bytes per character; a result that
// does not fit the caller's buffer is cut to n - 1 characters and a NUL and
// the full length is reported in characters.
TEST_F(WideEntryTest, NativeSqlCutSetsTruncationOnTheConnection) {
  g_answer = "select \xC3\xA9 from dual";  // 18 characters, 19 bytes
  SQLWCHAR out[10];
  SQLINTEGER len = -1;
  auto in = ToW("select 1");
  EXPECT_EQ(SQLNativeSqlW(dbc, in.data(), SQL_NTS, out, 10, &len), SQL_SUCCESS_WITH_INFO);
  EXPECT_EQ(g_seen.outLen, 40);
  EXPECT_EQ(FromW(out, 9), "select \xC3\xA9 ");
  EXPECT_EQ(out[9], 0);
  EXPECT_EQ(len, 18);
  EXPECT_EQ(ConnOf(dbc)->pending, E_01004);

  // A buffer that holds it: converted whole, its length in characters.
  SQLWCHAR big[40];
  EXPECT_EQ(SQLNativeSqlW(dbc, in.data(), SQL_NTS, big, 40, &len), SQL_SUCCESS);
  EXPECT_EQ(FromW(big, 18), g_answer);
  EXPECT_EQ(len, 18);

  // A negative length is the implementation's to refuse.
  EXPECT_EQ(SQLNativeSqlW(dbc, in.data(), SQL_NTS, big, -1, &len), SQL_SUCCESS);
  EXPECT_EQ(g_seen.outBuf, nullptr);
  EXPECT_EQ(g_seen.outLen, -1);

  // A buffer of no characters: nothing written into it, the whole length
  // in characters and the cut reported.
  ConnOf(dbc)->pending = 0;
  big[0] = 0xBEEF;
  len = -1;
  EXPECT_EQ(SQLNativeSqlW(dbc, in.data(), SQL_NTS, big, 0, &len), SQL_SUCCESS_WITH_INFO);
  EXPECT_EQ(big[0], 0xBEEF);
  EXPECT_EQ(len, 18);
  EXPECT_EQ(ConnOf(dbc)->pending, E_01004);
  // No buffer at all: the length alone.
  ConnOf(dbc)->pending = 0;
  len = -1;
  EXPECT_EQ(SQLNativeSqlW(dbc, in.data(), SQL_NTS, nullptr, 0, &len), SQL_SUCCESS);
  EXPECT_EQ(len, 18);
  EXPECT_EQ(ConnOf(dbc)->pending, 0);
}

// Names and translated SQL longer than four bytes per character of the
// caller's buffer are read again whole: the length reported is the full
// length in characters, so that a second call sized by it gets all of it.
TEST_F(WideEntryTest, OutputsLongerThanTheWorkBufferReportTheirFullLength) {
  g_answer.clear();
  for (int i = 0; i < 30; ++i) g_answer += "\xF0\x9F\x98\x80";  // 30 pairs: 60 characters, 120 bytes
  const auto whole = ToW(g_answer);
  SQLWCHAR out[80];
  SQLSMALLINT len16 = -1;
  SQLINTEGER len32 = -1;
  auto in = ToW("select 1");
  struct Case {
    const char *what;
    std::function<SQLRETURN(SQLWCHAR *, int)> call;
    std::function<int()> len;
  };
  SQLSMALLINT type, digits, nullable;
  SQLULEN size;
  const Case cases[] = {
      {"NativeSqlW", [&](SQLWCHAR *o, int n) { return SQLNativeSqlW(dbc, in.data(), SQL_NTS, o, n, &len32); },
       [&] { return static_cast<int>(len32); }},
      {"GetCursorNameW", [&](SQLWCHAR *o, int n) { return SQLGetCursorNameW(stmt, o, static_cast<SQLSMALLINT>(n), &len16); },
       [&] { return static_cast<int>(len16); }},
      {"DescribeColW",
       [&](SQLWCHAR *o, int n) {
         return SQLDescribeColW(stmt, 1, o, static_cast<SQLSMALLINT>(n), &len16, &type, &size, &digits, &nullable);
       },
       [&] { return static_cast<int>(len16); }},
  };
  for (const Case &c : cases) {
    for (int n : {5, 20, 60, 61}) {
      SCOPED_TRACE(std::string(c.what) + " " + std::to_string(n));
      for (SQLWCHAR &u : out) u = 0xBEEF;
      const SQLRETURN rc = c.call(out, n);
      EXPECT_EQ(c.len(), 60);
      EXPECT_EQ(rc, n > 60 ? SQL_SUCCESS : SQL_SUCCESS_WITH_INFO);
      // n - 1 units, or one fewer where that would end inside a pair.
      const size_t kept = static_cast<size_t>((n - 1) & ~1);
      EXPECT_EQ(std::basic_string<SQLWCHAR>(out, kept), whole.substr(0, kept));
      EXPECT_EQ(out[kept], 0);
      for (int i = n; i < 80; ++i) ASSERT_EQ(out[i], 0xBEEF) << i;
    }
  }
}

TEST_F(WideEntryTest, CursorNameAndColumnNameCutsSetTruncationOnTheStatement) {
  g_answer = "CN1A2B3C";
  SQLWCHAR name[5];
  SQLSMALLINT len = -1;
  EXPECT_EQ(SQLGetCursorNameW(stmt, name, 5, &len), SQL_SUCCESS_WITH_INFO);
  EXPECT_EQ(FromW(name, 4), "CN1A");
  EXPECT_EQ(len, 8);
  EXPECT_EQ(StmtOf(stmt)->pending, E_01004);

  g_answer = "NAME";
  SQLSMALLINT type = 0, digits = 0, nullable = 0;
  SQLULEN size = 0;
  EXPECT_EQ(SQLDescribeColW(stmt, 1, name, 5, &len, &type, &size, &digits, &nullable), SQL_SUCCESS);
  EXPECT_EQ(FromW(name, 4), "NAME");
  EXPECT_EQ(StmtOf(stmt)->pending, 0);
  g_answer = "NAMES";
  EXPECT_EQ(SQLDescribeColW(stmt, 1, name, 5, &len, &type, &size, &digits, &nullable), SQL_SUCCESS_WITH_INFO);
  EXPECT_EQ(len, 5);
  EXPECT_EQ(StmtOf(stmt)->pending, E_01004);
}

// The output connection string against caller buffers of 0 and 1
// characters and around its length: the full length in characters every
// time, 01004 for every cut, nothing written past the buffer.
TEST_F(WideEntryTest, DriverConnectOutputBufferOfEveryLengthAroundTheString) {
  g_answer = "DSN=x;UID=y;PWD=\xC3\xA9\xE2\x82\xAC\xF0\x9F\x98\x80";  // 20 characters, 25 bytes
  const int32_t full = 20;
  auto in = ToW("DSN=x");
  for (int32_t v : {0, 1, 2, full - 1, full, full + 1, full + 2}) {
    SCOPED_TRACE(v);
    ConnOf(dbc)->pending = 0;
    SQLWCHAR out[40];
    for (SQLWCHAR &c : out) c = 0xBEEF;
    SQLSMALLINT len = -1;
    const SQLRETURN rc = SQLDriverConnectW(dbc, nullptr, in.data(), SQL_NTS, out, static_cast<SQLSMALLINT>(v), &len,
                                           SQL_DRIVER_NOPROMPT);
    EXPECT_EQ(g_seen.text[0], "DSN=x");
    EXPECT_EQ(g_seen.mode, 'W');
    EXPECT_EQ(len, full);
    const bool cut = v <= full;
    EXPECT_EQ(rc, cut ? SQL_SUCCESS_WITH_INFO : SQL_SUCCESS);
    EXPECT_EQ(ConnOf(dbc)->pending, cut ? E_01004 : 0);
    // The pair is never split: a cut that would end inside it ends before.
    const auto expect = ToW(g_answer).substr(0, v > 0 ? static_cast<size_t>(v - 1) : 0);
    size_t kept = expect.size();
    if (kept > 0 && expect[kept - 1] >= 0xD800 && expect[kept - 1] < 0xDC00) --kept;
    if (v > 0) {
      EXPECT_EQ(FromW(out, kept), FromW(expect.data(), kept));
      EXPECT_EQ(out[kept], 0);
    }
    for (size_t i = static_cast<size_t>(v); i < 40; ++i) ASSERT_EQ(out[i], 0xBEEF) << "written past the buffer at " << i;
  }

  // No buffer at all: the length alone, no cut reported.
  ConnOf(dbc)->pending = 0;
  SQLSMALLINT len = -1;
  EXPECT_EQ(SQLDriverConnectW(dbc, nullptr, in.data(), SQL_NTS, nullptr, 0, &len, SQL_DRIVER_NOPROMPT), SQL_SUCCESS);
  EXPECT_EQ(len, full);
  EXPECT_EQ(ConnOf(dbc)->pending, 0);
  // A negative length is the implementation's to refuse.
  SQLWCHAR out[4];
  EXPECT_EQ(SQLDriverConnectW(dbc, nullptr, in.data(), SQL_NTS, out, -1, &len, SQL_DRIVER_NOPROMPT), SQL_SUCCESS);
  EXPECT_EQ(g_seen.outBuf, nullptr);
  EXPECT_EQ(g_seen.outLen, -1);
}

// The UTF-8 copy of a cursor name that cannot be made never reaches the
// implementation as the null name (which sets the empty name).
TEST_F(WideEntryTest, SetCursorNameWithoutItsCopySaysOutOfMemory) {
  struct Restore {
    WideInDupFn saved = g_wideInDup;
    ~Restore() { g_wideInDup = saved; }
  } restore;
  g_wideInDup = [](const uint16_t *, int32_t) -> char * { return nullptr; };
  auto name = ToW("MYCURSOR");
  EXPECT_EQ(SQLSetCursorNameW(stmt, name.data(), SQL_NTS), SQL_SUCCESS);  // what the test's implementation answers
  EXPECT_TRUE(g_seen.isNull[0]);
  EXPECT_EQ(g_seen.len[0], kCursorNameNoMemory);
  // A null name is no copy that failed.
  EXPECT_EQ(SQLSetCursorNameW(stmt, nullptr, SQL_NTS), SQL_SUCCESS);
  EXPECT_EQ(g_seen.len[0], SQL_NTS);
}

TEST_F(WideEntryTest, DiagRecReportsTheFullMessageLengthInCharacters) {
  g_answer = std::string("[Zezuzeru][ODBC]") + std::string(284, 'm');  // 300 characters
  SQLWCHAR state[6], msg[100];
  SQLINTEGER native = 0;
  SQLSMALLINT len = -1;
  EXPECT_EQ(SQLGetDiagRecW(SQL_HANDLE_STMT, stmt, 1, state, &native, msg, 100, &len), SQL_SUCCESS_WITH_INFO);
  EXPECT_EQ(FromW(state, 5), "42S02");
  EXPECT_EQ(state[5], 0);
  EXPECT_EQ(native, 942);
  EXPECT_EQ(FromW(msg, 99), g_answer.substr(0, 99));
  EXPECT_EQ(msg[99], 0);
  EXPECT_EQ(len, 300) << "a second call sized by this length gets the whole message";
  EXPECT_EQ(StmtOf(stmt)->pending, 0) << "diagnostic calls post no error of their own";

  SQLWCHAR whole[301];
  EXPECT_EQ(SQLGetDiagRecW(SQL_HANDLE_STMT, stmt, 1, state, &native, whole, len + 1, &len), SQL_SUCCESS);
  EXPECT_EQ(FromW(whole, 300), g_answer);

  // Without a message buffer the length alone, in characters.
  len = -1;
  EXPECT_EQ(SQLGetDiagRecW(SQL_HANDLE_STMT, stmt, 1, state, &native, nullptr, 0, &len), SQL_SUCCESS_WITH_INFO);
  EXPECT_EQ(len, 300);
  // A negative length is refused by the implementation.
  EXPECT_EQ(SQLGetDiagRecW(SQL_HANDLE_STMT, stmt, 1, state, &native, msg, -1, &len), SQL_ERROR);
  EXPECT_EQ(SQLGetDiagRecW(9, stmt, 1, state, &native, msg, 100, &len), SQL_INVALID_HANDLE);
}

// A message longer than four bytes per character of the caller's buffer
// does not fit the first work buffer: it is read again whole, so the
// length is its full length in characters.
TEST_F(WideEntryTest, DiagRecLongerThanTheWorkBufferReportsItsFullLength) {
  std::string body;
  for (int i = 0; i < 300; ++i) body += "\xE2\x82\xAC";  // 300 characters, 900 bytes
  g_answer = "[Zezuzeru][ODBC]" + body;           // 316 characters
  const std::u16string whole = u"[Zezuzeru][ODBC]" + std::u16string(300, u'\u20AC');
  for (SQLSMALLINT bufLen : {0, 1, 50, 100, 315, 316, 317}) {
    SCOPED_TRACE(bufLen);
    g_seen.calls = 0;
    SQLWCHAR msg[400];
    for (SQLWCHAR &c : msg) c = 0xBEEF;
    SQLWCHAR state[6];
    SQLSMALLINT len = -1;
    const SQLRETURN rc = SQLGetDiagRecW(SQL_HANDLE_STMT, stmt, 1, state, nullptr, msg, bufLen, &len);
    EXPECT_EQ(len, 316);
    EXPECT_EQ(rc, bufLen > 316 ? SQL_SUCCESS : SQL_SUCCESS_WITH_INFO);
    EXPECT_EQ(FromW(state, 5), "42S02");
    // Read once when the first work buffer held it, else once more.
    EXPECT_EQ(g_seen.calls, 4 * bufLen > 900 + 16 ? 1 : 2);
    if (bufLen > 0) {
      const size_t n = std::min<size_t>(static_cast<size_t>(bufLen) - 1, whole.size());
      EXPECT_EQ(std::u16string(reinterpret_cast<char16_t *>(msg), n), whole.substr(0, n));
      EXPECT_EQ(msg[n], 0);
    }
    for (size_t i = static_cast<size_t>(bufLen); i < 400; ++i) ASSERT_EQ(msg[i], 0xBEEF) << i;
  }
  // The length alone.
  SQLSMALLINT len = -1;
  EXPECT_EQ(SQLGetDiagRecW(SQL_HANDLE_STMT, stmt, 1, nullptr, nullptr, nullptr, 0, &len), SQL_SUCCESS_WITH_INFO);
  EXPECT_EQ(len, 316);
}

// SQLError consumes its record, so SQLErrorW cannot read it twice: the one
// read holds the whole message.
TEST_F(WideEntryTest, ErrorWReportsTheFullLengthOfALongMessage) {
  std::string body;
  for (int i = 0; i < 300; ++i) body += "\xC3\xA9";
  g_answer = "[Zezuzeru][ODBC]" + body;  // 316 characters, 616 bytes
  SQLWCHAR state[6], msg[20];
  SQLSMALLINT len = -1;
  EXPECT_EQ(SQLErrorW(nullptr, nullptr, stmt, state, nullptr, msg, 20, &len), SQL_SUCCESS_WITH_INFO);
  EXPECT_EQ(len, 316);
  EXPECT_EQ(g_seen.calls, 1);
  EXPECT_EQ(FromW(msg, 19), g_answer.substr(0, 16) + body.substr(0, 6));
  EXPECT_EQ(msg[19], 0);
}

TEST_F(WideEntryTest, ErrorWTakesTheStatementFirst) {
  g_answer = "[Zezuzeru][ODBC][Driver]General error";
  SQLWCHAR state[6], msg[64];
  SQLSMALLINT len = 0;
  EXPECT_EQ(SQLErrorW(env, dbc, stmt, state, nullptr, msg, 64, &len), SQL_SUCCESS);
  EXPECT_EQ(FromW(state, 5), "S1000");
  EXPECT_EQ(FromW(msg, static_cast<size_t>(len)), g_answer);
  EXPECT_EQ(g_seen.calls, 1);
  EXPECT_EQ(SQLErrorW(nullptr, nullptr, nullptr, state, nullptr, msg, 64, &len), SQL_INVALID_HANDLE);
}

}  // namespace

// An input text whose UTF-8 copy cannot be made fails the call with S1001 on
// its handle and never reaches the implementation as a null text (for a
// catalog pattern that would ask for everything). One text of each call has
// no copy; the others convert.
TEST_F(WideEntryTest, InputTextWithoutItsCopyFailsTheCallWithOutOfMemory) {
  struct Restore {
    WideInDupFn saved = g_wideInDup;
    ~Restore() { g_wideInDup = saved; }
  } restore;
  g_wideInDup = [](const uint16_t *text, int32_t n) -> char * {
    char *copy = utf16_to_utf8_dupn(text, n);
    if (copy && strcmp(copy, "NOCOPY") == 0) {
      free(copy);
      return nullptr;
    }
    return copy;
  };
  auto bad = ToW("NOCOPY"), good = ToW("ok");
  SQLWCHAR *const B = bad.data();
  SQLWCHAR *const G = good.data();
  SQLWCHAR out[16];
  SQLINTEGER outLen = 0;
  const SQLSMALLINT N = SQL_NTS;
  struct Case {
    const char *name;
    bool onConnection;
    std::function<SQLRETURN(SQLHDBC, SQLHSTMT)> call;
  };
  const Case cases[] = {
      {"PrepareW", false, [&](SQLHDBC, SQLHSTMT s) { return SQLPrepareW(s, B, SQL_NTS); }},
      {"ExecDirectW", false, [&](SQLHDBC, SQLHSTMT s) { return SQLExecDirectW(s, B, 6); }},
      {"NativeSqlW", true, [&](SQLHDBC d, SQLHSTMT) { return SQLNativeSqlW(d, B, SQL_NTS, out, 16, &outLen); }},
      {"ColumnPrivilegesW", false,
       [&](SQLHDBC, SQLHSTMT s) { return SQLColumnPrivilegesW(s, nullptr, 0, G, N, G, N, B, N); }},
      {"ColumnsW", false, [&](SQLHDBC, SQLHSTMT s) { return SQLColumnsW(s, nullptr, 0, nullptr, 0, B, N, G, N); }},
      {"ForeignKeysW", false,
       [&](SQLHDBC, SQLHSTMT s) { return SQLForeignKeysW(s, nullptr, 0, G, N, G, N, nullptr, 0, G, N, B, N); }},
      {"PrimaryKeysW", false, [&](SQLHDBC, SQLHSTMT s) { return SQLPrimaryKeysW(s, nullptr, 0, B, N, G, N); }},
      {"ProcedureColumnsW", false,
       [&](SQLHDBC, SQLHSTMT s) { return SQLProcedureColumnsW(s, nullptr, 0, G, N, G, N, B, N); }},
      {"ProceduresW", false, [&](SQLHDBC, SQLHSTMT s) { return SQLProceduresW(s, nullptr, 0, G, N, B, N); }},
      {"SpecialColumnsW", false,
       [&](SQLHDBC, SQLHSTMT s) {
         return SQLSpecialColumnsW(s, SQL_BEST_ROWID, nullptr, 0, G, N, B, N, SQL_SCOPE_SESSION, SQL_NULLABLE);
       }},
      {"StatisticsW", false,
       [&](SQLHDBC, SQLHSTMT s) { return SQLStatisticsW(s, nullptr, 0, B, N, G, N, SQL_INDEX_ALL, SQL_QUICK); }},
      {"TablePrivilegesW", false,
       [&](SQLHDBC, SQLHSTMT s) { return SQLTablePrivilegesW(s, nullptr, 0, G, N, B, N); }},
      {"TablesW", false, [&](SQLHDBC, SQLHSTMT s) { return SQLTablesW(s, nullptr, 0, nullptr, 0, B, N, G, N); }},
  };
  for (const Case &c : cases) {
    SCOPED_TRACE(c.name);
    g_seen = Seen{};
    ConnOf(dbc)->pending = 0;
    StmtOf(stmt)->pending = 0;
    EXPECT_EQ(c.call(dbc, stmt), SQL_ERROR);
    EXPECT_EQ(g_seen.calls, 0) << "the implementation ran";
    EXPECT_EQ(c.onConnection ? ConnOf(dbc)->pending : StmtOf(stmt)->pending, E_S1001);
    EXPECT_EQ(c.onConnection ? StmtOf(stmt)->pending : ConnOf(dbc)->pending, 0);
  }
  // With every copy made the same calls reach the implementation.
  EXPECT_EQ(SQLTablesW(stmt, nullptr, 0, nullptr, 0, G, N, G, N), SQL_SUCCESS);
  EXPECT_EQ(g_seen.calls, 1);
  EXPECT_EQ(g_seen.text[2], "ok");
}
