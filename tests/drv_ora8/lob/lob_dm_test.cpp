// Long data as applications move it: CLOB, NCLOB, BLOB, LONG and LONG RAW
// values read with SQLGetData in pieces and as bound columns, through
// unixODBC with both drivers over a database of the OCI stand-in.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <string>
#include <vector>

#include "dm_session.h"
#include "harness.h"
#include "ocilite.h"

namespace {

SQLPOINTER P(intptr_t v) { return reinterpret_cast<SQLPOINTER>(v); }
SQLCHAR *Text(const char *s) { return reinterpret_cast<SQLCHAR *>(const_cast<char *>(s)); }

const std::string &Database() {
  static const std::string dir = [] {
    std::string d = harness::AdminDatabase(
        "lob_db", {"create table lt (id number(10), c clob, nc nclob, b blob)", "create table ll (id number(10), l long)",
                   "create table lr (id number(10), r long raw)",
                   "create table lv (id number(10), v varchar2(4000))"});
    if (d.empty()) ADD_FAILURE() << "the LOB database could not be made";
    return d;
  }();
  return dir;
}

// Text of n bytes: ASCII with 2-, 3- and 4-byte characters at every offset
// of a 9-byte pattern, so that some character straddles every piece
// boundary; never cut inside a character.
std::string Mixed(size_t n) {
  static const char *const kParts[] = {"a", "\xC3\xA9", "\xE4\xB8\xAD", "\xF0\x9F\x98\x80", "bc"};
  std::string s;
  s.reserve(n + 4);
  for (size_t i = 0; s.size() < n; ++i) {
    const char *p = kParts[i % 5];
    if (s.size() + strlen(p) > n) p = "z";
    s += p;
  }
  return s;
}

std::string Bytes(size_t n) {
  std::string s(n, '\0');
  for (size_t i = 0; i < n; ++i) s[i] = static_cast<char>((i * 7 + i / 251) & 0xFF);
  return s;
}

std::u16string Utf16(const std::string &u8) {
  auto w = harness::ToW(u8);
  return std::u16string(w.begin(), w.end());
}

struct DmLob : ::testing::TestWithParam<const char *>, harness::DmSession {
  void Connect(const std::string &extra = "") {
    Close();
    harness::DmInit();
    Open(std::string("DSN=") + GetParam() + ";UID=scott;PWD=tiger;SQLNET=" + Database() + extra);
  }
  bool Unicode() const { return std::string(GetParam()) == "kvd_w"; }
  std::string Diag() const { return harness::DmDiagText(SQL_HANDLE_STMT, stmt); }
  void Exec(const std::string &sql) {
    SQLFreeStmt(stmt, SQL_CLOSE);
    SQLRETURN rc = SQLExecDirect(stmt, Text(sql.c_str()), SQL_NTS);
    ASSERT_TRUE(SQL_SUCCEEDED(rc) || rc == SQL_NO_DATA) << sql << ": " << Diag();
  }
  // Stores a value with one bound parameter (text as SQL_C_CHAR, bytes as
  // SQL_C_BINARY) into the table's value column.
  void Put(const std::string &sql, const std::string &value, bool binary) {
    SQLFreeStmt(stmt, SQL_CLOSE);
    SQLFreeStmt(stmt, SQL_RESET_PARAMS);
    SQLLEN len = static_cast<SQLLEN>(value.size());
    ASSERT_EQ(SQLBindParameter(stmt, 1, SQL_PARAM_INPUT, binary ? SQL_C_BINARY : SQL_C_CHAR,
                               binary ? SQL_LONGVARBINARY : SQL_LONGVARCHAR, value.size() + 1, 0,
                               const_cast<char *>(value.data()), len, &len),
              SQL_SUCCESS);
    SQLRETURN rc = SQLExecDirect(stmt, Text(sql.c_str()), SQL_NTS);
    ASSERT_TRUE(SQL_SUCCEEDED(rc)) << sql << ": " << Diag();
    SQLFreeStmt(stmt, SQL_RESET_PARAMS);
  }

  // Reads column col of the current row in pieces of a buffer of bufBytes:
  // the joined bytes; checks 01004 on each call but the last, the length of
  // each call (exact, or SQL_NO_TOTAL where allowed), then SQL_NO_DATA.
  std::string ReadPieces(SQLUSMALLINT col, SQLSMALLINT cType, SQLLEN bufBytes, bool exact, bool *isNull = nullptr) {
    const size_t term = cType == SQL_C_CHAR ? 1 : cType == SQL_C_WCHAR ? 2 : 0;
    std::vector<char> buf(static_cast<size_t>(bufBytes));
    std::string joined;
    if (isNull) *isNull = false;
    for (int call = 0;; ++call) {
      SQLLEN ind = 0;
      SQLRETURN rc = SQLGetData(stmt, col, cType, buf.data(), bufBytes, &ind);
      if (rc == SQL_NO_DATA) {
        EXPECT_GT(call, 0) << "no data on the first call";
        return joined;
      }
      if (call > 0 && joined.empty() && ind == 0) {
        ADD_FAILURE() << "an empty value is read twice";
        return joined;
      }
      if (!SQL_SUCCEEDED(rc)) {
        ADD_FAILURE() << "SQLGetData: " << Diag();
        return joined;
      }
      if (ind == SQL_NULL_DATA) {
        if (isNull) *isNull = true;
        EXPECT_EQ(rc, SQL_SUCCESS);
        return joined;
      }
      const size_t room = static_cast<size_t>(bufBytes) - term;
      if (rc == SQL_SUCCESS_WITH_INFO) {
        // Reading the diagnostics is costly through the Driver Manager: the
        // first calls show the state.
        if (call < 3) {
          EXPECT_EQ(State(), "01004");
        }
        EXPECT_TRUE(ind == SQL_NO_TOTAL || static_cast<size_t>(ind) > room) << ind;
        if (exact) {
          EXPECT_NE(ind, SQL_NO_TOTAL);
        }
        size_t got = room;
        if (cType == SQL_C_WCHAR) got &= ~size_t{1};
        // A character never cut: a piece may hold less than the room.
        if (cType == SQL_C_CHAR) got = strlen(buf.data());
        if (cType == SQL_C_WCHAR) {
          size_t u = 0;
          while (u * 2 + 1 < got && (buf[u * 2] || buf[u * 2 + 1])) ++u;
          got = u * 2;
        }
        joined.append(buf.data(), got);
      } else {
        EXPECT_GE(ind, 0);
        EXPECT_LE(static_cast<size_t>(ind), room);
        joined.append(buf.data(), static_cast<size_t>(ind));
      }
      if (joined.size() > (64u << 20) || call > (4 << 20)) {
        ADD_FAILURE() << "runaway read";
        return joined;
      }
    }
  }
};

struct Kind {
  const char *column;   // "c", "nc", "b", "l", "r"
  const char *table;
  bool binary;
};
const Kind kKinds[] = {{"c", "lt", false}, {"nc", "lt", false}, {"b", "lt", true}, {"l", "ll", false}, {"r", "lr", true}};

TEST_P(DmLob, PiecesJoinExactlyForEverySizeTypeAndBuffer) {
  const size_t kSizes[] = {0, 1, 3001, 65535, 65537, 1u << 20};
  for (const char *dlf : {";DLF=NO", ";DLF=YES"}) {
    Connect(dlf);
    for (const Kind &k : kKinds) {
      SCOPED_TRACE(std::string(dlf) + " column " + k.column);
      Exec(std::string("delete from ") + k.table);
      std::vector<std::string> values;
      for (size_t i = 0; i < std::size(kSizes); ++i) {
        values.push_back(k.binary ? Bytes(kSizes[i]) : Mixed(kSizes[i]));
        const std::string id = std::to_string(i + 1);
        if (std::string(k.column) == "nc" || std::string(k.column) == "b" || std::string(k.column) == "c") {
          Exec("insert into lt (id) values (" + id + ")");
          Put(std::string("update lt set ") + k.column + " = ? where id = " + id, values.back(), k.binary);
        } else {
          Put(std::string("insert into ") + k.table + " values (" + id + ", ?)", values.back(), k.binary);
        }
      }
      struct Read {
        SQLSMALLINT cType;
        std::vector<SQLLEN> buffers;
      };
      std::vector<Read> reads;
      if (k.binary) {
        reads.push_back({SQL_C_BINARY, {2, 3, 4, 5, 7, 4097, (1 << 20) + 1}});
      } else {
        reads.push_back({SQL_C_CHAR, {2, 3, 4, 5, 7, 4097, (1 << 20) + 1}});
        reads.push_back({SQL_C_WCHAR, {4, 6, 10, 8194}});
      }
      for (const Read &r : reads) {
        for (SQLLEN buf : r.buffers) {
          SCOPED_TRACE("C type " + std::to_string(r.cType) + " buffer " + std::to_string(buf));
          SQLFreeStmt(stmt, SQL_CLOSE);
          const std::string q = std::string("select id, ") + k.column + " from " + k.table + " order by id";
          ASSERT_TRUE(SQL_SUCCEEDED(SQLExecDirect(stmt, Text(q.c_str()), SQL_NTS))) << Diag();
          for (size_t i = 0; i < values.size(); ++i) {
            // Small buffers on the small values only: reading a large value
            // a few bytes a call costs a million calls through the Driver
            // Manager.
            ASSERT_TRUE(SQL_SUCCEEDED(SQLFetch(stmt))) << Diag();
            if (buf < 4097 && values[i].size() > 4096) continue;
            SCOPED_TRACE("value " + std::to_string(values[i].size()));
            const bool exact = k.binary || std::string(k.column) == "l" ||
                               (Unicode() && r.cType == SQL_C_WCHAR);
            bool isNull = false;
            std::string got = ReadPieces(2, r.cType, buf, exact, &isNull);
            if (values[i].empty() && isNull) continue;  // Oracle keeps an empty LONG as NULL
            if (r.cType == SQL_C_WCHAR) {
              std::u16string w = Utf16(values[i]);
              ASSERT_EQ(std::string(reinterpret_cast<const char *>(w.data()), w.size() * 2), got);
            } else {
              ASSERT_EQ(values[i], got);
            }
          }
          EXPECT_EQ(SQLFetch(stmt), SQL_NO_DATA);
        }
      }
    }
  }
}

// Every SQLGetData call hands out part of the rest however small the
// buffer: a character that does not fit whole goes out in parts (bytes of
// UTF-8, the halves of a surrogate pair), and a buffer with room for nothing
// but the terminator is refused on the next call instead of answering 01004
// for ever. Values held whole in their cell (VARCHAR2) report the exact
// length still to come at every call.
TEST_P(DmLob, EveryPieceProgressesWhateverTheBuffer) {
  Connect();
  // 2-, 3- and 4-byte characters next to each other and at both ends.
  const std::string shortText = "\xF0\x9F\x98\x80" "a\xC3\xA9\xE4\xB8\xAD\xF0\x9F\x98\x80" "bc\xE4\xB8\xAD\xC3\xA9";
  const std::string clobText = Mixed(20000) + "\xF0\x9F\x98\x80";
  const std::string cellText = Mixed(3990);
  Exec("delete from lt");
  Exec("delete from lv");
  Exec("insert into lt (id) values (1)");
  Exec("insert into lt (id) values (2)");
  Put("update lt set c = ? where id = 1", shortText, false);
  Put("update lt set c = ? where id = 2", clobText, false);
  Put("insert into lv values (1, ?)", shortText, false);
  Put("insert into lv values (2, ?)", cellText, false);

  struct Case {
    const char *query;
    const std::string *value;
    bool wholeCell;
  };
  const Case cases[] = {{"select c from lt where id = 1", &shortText, false},
                        {"select v from lv where id = 1", &shortText, true},
                        {"select c from lt where id = 2", &clobText, false},
                        {"select v from lv where id = 2", &cellText, true}};
  for (const Case &c : cases) {
    for (SQLSMALLINT cType : {SQL_C_CHAR, SQL_C_WCHAR}) {
      const bool wide = cType == SQL_C_WCHAR;
      const size_t term = wide ? 2 : 1;
      std::string expected = *c.value;
      if (wide) {
        std::u16string w = Utf16(expected);
        expected.assign(reinterpret_cast<const char *>(w.data()), w.size() * 2);
      }
      std::vector<SQLLEN> buffers;
      if (c.value->size() < 100) {
        for (SQLLEN b = 1; b <= 9; ++b) buffers.push_back(b);
      } else {
        buffers = {8191, 8192, 8193, 8194, 8195, 8196};
      }
      for (SQLLEN bufBytes : buffers) {
        SCOPED_TRACE(std::string(c.query) + (wide ? " as SQL_C_WCHAR" : " as SQL_C_CHAR") + " into " +
                     std::to_string(bufBytes) + " bytes");
        SQLFreeStmt(stmt, SQL_CLOSE);
        ASSERT_TRUE(SQL_SUCCEEDED(SQLExecDirect(stmt, Text(c.query), SQL_NTS))) << Diag();
        ASSERT_EQ(SQLFetch(stmt), SQL_SUCCESS) << Diag();
        std::vector<char> buf(static_cast<size_t>(bufBytes));
        const size_t room = static_cast<size_t>(bufBytes) - std::min(term, static_cast<size_t>(bufBytes));
        // Room for no unit of text: the first call tells the length, the
        // next one is refused.
        if (room < term) {
          SQLLEN ind = 0;
          ASSERT_EQ(SQLGetData(stmt, 1, cType, buf.data(), bufBytes, &ind), SQL_SUCCESS_WITH_INFO);
          EXPECT_EQ(State(), "01004");
          EXPECT_TRUE(ind == SQL_NO_TOTAL || ind == static_cast<SQLLEN>(expected.size())) << ind;
          EXPECT_EQ(SQLGetData(stmt, 1, cType, buf.data(), bufBytes, &ind), SQL_ERROR);
          EXPECT_EQ(State(), "HY090");
          continue;
        }
        std::string joined;
        for (int call = 0;; ++call) {
          SQLLEN ind = 0;
          const SQLRETURN rc = SQLGetData(stmt, 1, cType, buf.data(), bufBytes, &ind);
          if (rc == SQL_NO_DATA) break;
          ASSERT_TRUE(SQL_SUCCEEDED(rc)) << Diag();
          const size_t rest = expected.size() - joined.size();
          if (c.wholeCell || (wide == Unicode())) {
            EXPECT_EQ(ind, static_cast<SQLLEN>(rest)) << "call " << call;
          } else {
            EXPECT_TRUE(ind == SQL_NO_TOTAL || ind == static_cast<SQLLEN>(rest)) << ind << " call " << call;
          }
          size_t got = 0;
          if (rc == SQL_SUCCESS) {
            got = static_cast<size_t>(ind);
          } else if (wide) {
            while (got + 1 < room && (buf[got] || buf[got + 1])) got += 2;
          } else {
            got = strlen(buf.data());
          }
          ASSERT_GT(got, 0u) << "call " << call << " handed out nothing";
          ASSERT_LE(got, room);
          joined.append(buf.data(), got);
          ASSERT_LE(joined.size(), expected.size());
          if (rc == SQL_SUCCESS) {
            EXPECT_EQ(SQLGetData(stmt, 1, cType, buf.data(), bufBytes, &ind), SQL_NO_DATA);
            break;
          }
        }
        EXPECT_EQ(joined, expected);
      }
    }
  }
}

// Reads one value back whole (the buffer holds it all).
std::string ReadBack(DmLob &t, const std::string &sql, SQLSMALLINT cType, bool *isNull) {
  SQLFreeStmt(t.stmt, SQL_CLOSE);
  EXPECT_TRUE(SQL_SUCCEEDED(SQLExecDirect(t.stmt, Text(sql.c_str()), SQL_NTS))) << sql << ": " << t.Diag();
  EXPECT_TRUE(SQL_SUCCEEDED(SQLFetch(t.stmt))) << t.Diag();
  std::string got = t.ReadPieces(1, cType, (2 << 20) + 2, true, isNull);
  SQLFreeStmt(t.stmt, SQL_CLOSE);
  return got;
}

// SQL_ATTR_MAX_LENGTH cuts long values: at most that many bytes of a CLOB,
// BLOB or LONG come back, twice as many as wide text in the Unicode driver,
// with the deferred read and without. A limit below the smallest the
// driver keeps (100) is raised with 01S02.
TEST_P(DmLob, MaxLengthCutsLongValues) {
  const std::string text(20000, 'q'), bytes = Bytes(20000);
  for (const char *dlf : {";DLF=NO", ";DLF=YES"}) {
    Connect(dlf);
    Exec("delete from lt");
    Exec("delete from ll");
    Exec("insert into lt (id) values (1)");
    Put("update lt set c = ? where id = 1", text, false);
    Put("update lt set nc = ? where id = 1", text, false);
    Put("update lt set b = ? where id = 1", bytes, true);
    Put("insert into ll values (1, ?)", text, false);
    struct Case {
      const char *query;
      SQLSMALLINT cType;
      size_t perUnit;  // bytes an ASCII character of the limit comes to
    } cases[] = {{"select c from lt", SQL_C_CHAR, 1},
                 {"select nc from lt", SQL_C_CHAR, 1},
                 {"select c from lt", SQL_C_WCHAR, 2},
                 {"select b from lt", SQL_C_BINARY, 1},
                 {"select l from ll", SQL_C_CHAR, 1}};
    for (const Case &c : cases) {
      SCOPED_TRACE(std::string(dlf) + " " + c.query + " C type " + std::to_string(c.cType));
      SQLHSTMT st = SQL_NULL_HSTMT;
      ASSERT_EQ(SQLAllocHandle(SQL_HANDLE_STMT, dbc, &st), SQL_SUCCESS);
      EXPECT_EQ(SQLSetStmtAttr(st, SQL_ATTR_MAX_LENGTH, P(100), 0), SQL_SUCCESS_WITH_INFO);
      SQLULEN limit = 0;
      ASSERT_EQ(SQLGetStmtAttr(st, SQL_ATTR_MAX_LENGTH, &limit, 0, nullptr), SQL_SUCCESS);
      EXPECT_GE(limit, 100u);
      EXPECT_LT(limit, text.size());
      ASSERT_TRUE(SQL_SUCCEEDED(SQLExecDirect(st, Text(c.query), SQL_NTS)));
      ASSERT_TRUE(SQL_SUCCEEDED(SQLFetch(st)));
      std::vector<char> buf(4 * text.size());
      SQLLEN ind = 0;
      ASSERT_TRUE(SQL_SUCCEEDED(SQLGetData(st, 1, c.cType, buf.data(), static_cast<SQLLEN>(buf.size()), &ind)));
      EXPECT_GT(ind, 0);
      EXPECT_LE(ind, static_cast<SQLLEN>(limit * c.perUnit));
      SQLFreeHandle(SQL_HANDLE_STMT, st);
    }
  }
}

// A CLOB read with its row (DLF off) whose text takes more bytes a character
// further on than at its start, past the first chunks read: its cell grows
// and holds it whole; cut by SQL_ATTR_MAX_LENGTH, multi-byte text ends
// before a character that does not fit.
TEST_P(DmLob, RowLobCellsHoldTextDenserThanItsStart) {
  Connect(";DLF=NO");
  std::string dense;
  while (dense.size() < 200000) dense += "\xE4\xB8\xAD\xF0\x9F\x98\x80\xC3\xA9";
  const std::string value = std::string(70000, 'x') + dense;
  Exec("delete from lt");
  Exec("insert into lt (id) values (1)");
  Put("update lt set c = ? where id = 1", value, false);
  Put("update lt set nc = ? where id = 1", dense, false);
  for (SQLSMALLINT cType : {SQL_C_CHAR, SQL_C_WCHAR}) {
    SCOPED_TRACE("C type " + std::to_string(cType));
    SQLFreeStmt(stmt, SQL_CLOSE);
    ASSERT_TRUE(SQL_SUCCEEDED(SQLExecDirect(stmt, Text("select c, nc from lt"), SQL_NTS))) << Diag();
    ASSERT_TRUE(SQL_SUCCEEDED(SQLFetch(stmt))) << Diag();
    const bool exact = Unicode() && cType == SQL_C_WCHAR;
    for (SQLUSMALLINT col : {1, 2}) {
      const std::string &want = col == 1 ? value : dense;
      const std::string got = ReadPieces(col, cType, (1 << 20) + 1, exact);
      if (cType == SQL_C_WCHAR) {
        const std::u16string w = Utf16(want);
        EXPECT_TRUE(std::string(reinterpret_cast<const char *>(w.data()), w.size() * 2) == got) << col;
      } else {
        EXPECT_TRUE(want == got) << col << ": " << got.size() << " bytes of " << want.size();
      }
    }
  }
  SQLHSTMT st = SQL_NULL_HSTMT;
  ASSERT_EQ(SQLAllocHandle(SQL_HANDLE_STMT, dbc, &st), SQL_SUCCESS);
  SQLSetStmtAttr(st, SQL_ATTR_MAX_LENGTH, P(100), 0);
  SQLULEN limit = 0;
  ASSERT_EQ(SQLGetStmtAttr(st, SQL_ATTR_MAX_LENGTH, &limit, 0, nullptr), SQL_SUCCESS);
  ASSERT_TRUE(SQL_SUCCEEDED(SQLExecDirect(st, Text("select nc from lt"), SQL_NTS)));
  ASSERT_TRUE(SQL_SUCCEEDED(SQLFetch(st)));
  std::vector<char> buf(8 * limit + 16);
  SQLLEN ind = 0;
  ASSERT_EQ(SQLGetData(st, 1, SQL_C_CHAR, buf.data(), static_cast<SQLLEN>(buf.size()), &ind), SQL_SUCCESS)
      << harness::DmDiagText(SQL_HANDLE_STMT, st);
  ASSERT_GT(ind, 0);
  const std::string got(buf.data(), static_cast<size_t>(ind));
  EXPECT_EQ(dense.substr(0, got.size()), got);
  // Whole characters, as many as the limit takes: bytes of narrow text,
  // UTF-16 units of wide text.
  EXPECT_NE(static_cast<unsigned char>(dense[got.size()]) & 0xC0, 0x80);
  const size_t counted = Unicode() ? Utf16(got).size() : got.size();
  EXPECT_LE(counted, limit);
  EXPECT_GT(counted + 4, limit);
  SQLFreeHandle(SQL_HANDLE_STMT, st);
}

// EMPTY_STRING_ISNT_NULL=YES: an empty string parameter, bound or sent in
// pieces, is stored as one blank; a CLOB of one blank reads as an empty
// string, read on demand or with its row.
TEST_P(DmLob, EmptyStringIsntNullForLobs) {
  Connect(";EMPTY_STRING_ISNT_NULL=YES");
  Exec("delete from lt");
  for (int id = 1; id <= 2; ++id) Exec("insert into lt (id) values (" + std::to_string(id) + ")");
  Put("update lt set c = ? where id = 1", "", false);
  // In pieces: one empty piece (the Driver Manager asks for one at least).
  SQLFreeStmt(stmt, SQL_CLOSE);
  SQLLEN atExec = SQL_LEN_DATA_AT_EXEC(0);
  ASSERT_EQ(SQLBindParameter(stmt, 1, SQL_PARAM_INPUT, SQL_C_CHAR, SQL_LONGVARCHAR, 10, 0, P(1), 0, &atExec),
            SQL_SUCCESS);
  ASSERT_EQ(SQLExecDirect(stmt, Text("update lt set c = ? where id = 2"), SQL_NTS), SQL_NEED_DATA) << Diag();
  SQLPOINTER token = nullptr;
  ASSERT_EQ(SQLParamData(stmt, &token), SQL_NEED_DATA) << Diag();
  ASSERT_EQ(SQLPutData(stmt, const_cast<char *>(""), 0), SQL_SUCCESS) << Diag();
  ASSERT_TRUE(SQL_SUCCEEDED(SQLParamData(stmt, &token))) << Diag();
  SQLFreeStmt(stmt, SQL_RESET_PARAMS);
  for (const char *dlf : {";DLF=YES", ";DLF=NO"}) {
    Connect(std::string(";EMPTY_STRING_ISNT_NULL=YES") + dlf);
    for (int id = 1; id <= 2; ++id) {
      bool isNull = true;
      EXPECT_EQ("", ReadBack(*this, "select c from lt where id = " + std::to_string(id), SQL_C_CHAR, &isNull));
      EXPECT_FALSE(isNull) << dlf << " " << id;
    }
  }
  // Without the option the stored value shows: one blank.
  Connect();
  for (int id = 1; id <= 2; ++id) {
    bool isNull = true;
    EXPECT_EQ(" ", ReadBack(*this, "select c from lt where id = " + std::to_string(id), SQL_C_CHAR, &isNull)) << id;
    EXPECT_FALSE(isNull);
  }
}

// Bound CLOB (100-byte buffer) and BLOB (64-byte buffer) columns, row- and
// column-wise, rowsets of 1, 10 and 100, with the deferred read and without:
// every SQLFetchScroll before the end fills the rowset, and each cell holds
// the first part of its value with its length (or SQL_NO_TOTAL).
TEST_P(DmLob, BoundLobColumnsFillEveryRowset) {
  constexpr int kRows = 123;
  auto textOf = [](int id) { return "row " + std::to_string(id) + " " + std::string(140, static_cast<char>('a' + id % 26)); };
  auto bytesOf = [](int id) {
    std::string b = Bytes(80);
    b[0] = static_cast<char>(id);
    return b;
  };
  Connect();
  Exec("delete from lt");
  for (int id = 1; id <= kRows; ++id) {
    Exec("insert into lt (id) values (" + std::to_string(id) + ")");
    Put("update lt set c = ? where id = " + std::to_string(id), textOf(id), false);
    Put("update lt set b = ? where id = " + std::to_string(id), bytesOf(id), true);
  }
  struct RowWise {
    SQLINTEGER id;
    SQLLEN idInd;
    char c[100];
    SQLLEN cInd;
    unsigned char b[64];
    SQLLEN bInd;
  };
  for (const char *dlf : {";DLF=NO", ";DLF=YES"}) {
    Connect(dlf);
    for (SQLULEN rowset : {1u, 10u, 100u}) {
      for (bool rowWise : {false, true}) {
        SCOPED_TRACE(std::string(dlf) + " rowset " + std::to_string(rowset) + (rowWise ? " row-wise" : " column-wise"));
        std::vector<RowWise> rows(rowset);
        std::vector<SQLINTEGER> ids(rowset);
        std::vector<SQLLEN> idInd(rowset), cInd(rowset), bInd(rowset);
        std::vector<char> cs(rowset * 100);
        std::vector<unsigned char> bs(rowset * 64);
        SQLULEN fetched = 0;
        SQLFreeStmt(stmt, SQL_CLOSE);
        SQLFreeStmt(stmt, SQL_UNBIND);
        ASSERT_EQ(SQLSetStmtAttr(stmt, SQL_ATTR_ROW_ARRAY_SIZE, P(static_cast<intptr_t>(rowset)), 0), SQL_SUCCESS);
        ASSERT_EQ(SQLSetStmtAttr(stmt, SQL_ATTR_ROWS_FETCHED_PTR, &fetched, 0), SQL_SUCCESS);
        ASSERT_EQ(SQLSetStmtAttr(stmt, SQL_ATTR_ROW_BIND_TYPE,
                                 P(rowWise ? static_cast<intptr_t>(sizeof(RowWise)) : SQL_BIND_BY_COLUMN), 0),
                  SQL_SUCCESS);
        if (rowWise) {
          ASSERT_EQ(SQLBindCol(stmt, 1, SQL_C_LONG, &rows[0].id, 0, &rows[0].idInd), SQL_SUCCESS);
          ASSERT_EQ(SQLBindCol(stmt, 2, SQL_C_CHAR, rows[0].c, 100, &rows[0].cInd), SQL_SUCCESS);
          ASSERT_EQ(SQLBindCol(stmt, 3, SQL_C_BINARY, rows[0].b, 64, &rows[0].bInd), SQL_SUCCESS);
        } else {
          ASSERT_EQ(SQLBindCol(stmt, 1, SQL_C_LONG, ids.data(), 0, idInd.data()), SQL_SUCCESS);
          ASSERT_EQ(SQLBindCol(stmt, 2, SQL_C_CHAR, cs.data(), 100, cInd.data()), SQL_SUCCESS);
          ASSERT_EQ(SQLBindCol(stmt, 3, SQL_C_BINARY, bs.data(), 64, bInd.data()), SQL_SUCCESS);
        }
        ASSERT_TRUE(SQL_SUCCEEDED(SQLExecDirect(stmt, Text("select id, c, b from lt order by id"), SQL_NTS))) << Diag();
        int seen = 0;
        for (;;) {
          const SQLRETURN rc = SQLFetchScroll(stmt, SQL_FETCH_NEXT, 0);
          if (rc == SQL_NO_DATA) break;
          ASSERT_TRUE(SQL_SUCCEEDED(rc)) << Diag();
          ASSERT_EQ(fetched, std::min<SQLULEN>(rowset, static_cast<SQLULEN>(kRows - seen)));
          for (SQLULEN r = 0; r < fetched; ++r) {
            const int id = ++seen;
            const SQLINTEGER gotId = rowWise ? rows[r].id : ids[r];
            const char *c = rowWise ? rows[r].c : &cs[r * 100];
            const unsigned char *b = rowWise ? rows[r].b : &bs[r * 64];
            const SQLLEN ci = rowWise ? rows[r].cInd : cInd[r], bi = rowWise ? rows[r].bInd : bInd[r];
            ASSERT_EQ(gotId, id);
            EXPECT_EQ(std::string(c), textOf(id).substr(0, 99)) << id;
            EXPECT_EQ(std::string(reinterpret_cast<const char *>(b), 64), bytesOf(id).substr(0, 64)) << id;
            EXPECT_TRUE(ci == SQL_NO_TOTAL || ci == static_cast<SQLLEN>(textOf(id).size())) << ci;
            EXPECT_TRUE(bi == SQL_NO_TOTAL || bi == 80) << bi;
          }
        }
        EXPECT_EQ(seen, kRows);
      }
    }
    SQLFreeStmt(stmt, SQL_CLOSE);
    SQLFreeStmt(stmt, SQL_UNBIND);
  }
}

TEST_P(DmLob, ParametersWriteLobsExactly) {
  const std::string text = Mixed(65537), bytes = Bytes(65537);
  for (bool autocommit : {true, false}) {
    SCOPED_TRACE(autocommit ? "autocommit" : "manual commit");
    Connect();
    if (!autocommit) {
      ASSERT_EQ(SQLSetConnectAttr(dbc, SQL_ATTR_AUTOCOMMIT, P(SQL_AUTOCOMMIT_OFF), 0), SQL_SUCCESS);
    }
    Exec("delete from lt");
    // A literal with a colon and digits stays as it is; the LOB markers
    // are written through locators, the others bound as usual, each in its
    // own place (an id other than the flag's "1" shows a shifted bind).
    SQLLEN idLen = 0, cLen = static_cast<SQLLEN>(text.size()), bLen = static_cast<SQLLEN>(bytes.size());
    SQLINTEGER id = 7;
    std::u16string wide = Utf16(text);
    SQLLEN wLen = static_cast<SQLLEN>(wide.size() * 2);
    SQLFreeStmt(stmt, SQL_CLOSE);
    ASSERT_EQ(SQLBindParameter(stmt, 1, SQL_PARAM_INPUT, SQL_C_CHAR, SQL_LONGVARCHAR, text.size(), 0,
                               const_cast<char *>(text.data()), cLen, &cLen), SQL_SUCCESS);
    ASSERT_EQ(SQLBindParameter(stmt, 2, SQL_PARAM_INPUT, SQL_C_LONG, SQL_INTEGER, 0, 0, &id, 0, &idLen), SQL_SUCCESS);
    ASSERT_EQ(SQLBindParameter(stmt, 3, SQL_PARAM_INPUT, SQL_C_BINARY, SQL_LONGVARBINARY, bytes.size(), 0,
                               const_cast<char *>(bytes.data()), bLen, &bLen), SQL_SUCCESS);
    ASSERT_EQ(SQLBindParameter(stmt, 4, SQL_PARAM_INPUT, SQL_C_WCHAR, SQL_WLONGVARCHAR, wide.size(), 0, wide.data(),
                               wLen, &wLen), SQL_SUCCESS);
    SQLRETURN rc = SQLExecDirect(stmt, Text("insert into lt (c, id, b, nc) values (?, ?, ?, ?)"), SQL_NTS);
    ASSERT_TRUE(SQL_SUCCEEDED(rc)) << Diag();
    SQLLEN count = 0;
    EXPECT_EQ(SQLRowCount(stmt, &count), SQL_SUCCESS);
    EXPECT_EQ(count, 1);
    SQLFreeStmt(stmt, SQL_RESET_PARAMS);
    if (!autocommit) {
      ASSERT_EQ(SQLEndTran(SQL_HANDLE_DBC, dbc, SQL_COMMIT), SQL_SUCCESS);
    }
    Exec("insert into lt (id, nc) values (2, '10:30')");
    bool isNull = true;
    EXPECT_EQ(text, ReadBack(*this, "select c from lt where id = 7", SQL_C_CHAR, &isNull));
    EXPECT_EQ(bytes, ReadBack(*this, "select b from lt where id = 7", SQL_C_BINARY, &isNull));
    EXPECT_EQ(text, ReadBack(*this, "select nc from lt where id = 7", SQL_C_CHAR, &isNull));
    EXPECT_EQ("10:30", ReadBack(*this, "select nc from lt where id = 2", SQL_C_CHAR, &isNull));

    // An UPDATE of three rows writes the value into all three.
    Exec("delete from lt");
    for (int i = 1; i <= 3; ++i) Exec("insert into lt (id, c) values (" + std::to_string(i) + ", 'old')");
    Put("update lt set c = ? where id <= 3", text, false);
    if (!autocommit) {
      ASSERT_EQ(SQLEndTran(SQL_HANDLE_DBC, dbc, SQL_COMMIT), SQL_SUCCESS);
    }
    for (int i = 1; i <= 3; ++i)
      EXPECT_EQ(text, ReadBack(*this, "select c from lt where id = " + std::to_string(i), SQL_C_CHAR, &isNull)) << i;
  }
}

TEST_P(DmLob, ParameterArraysIntoLobColumnsRunRowByRow) {
  Connect();
  Exec("delete from lt");
  constexpr int kRows = 3;
  SQLINTEGER ids[kRows] = {1, 2, 3};
  char texts[kRows][16] = {"one", "", "three"};
  SQLLEN lens[kRows] = {SQL_NTS, SQL_NULL_DATA, SQL_NTS};
  SQLULEN processed = 0;
  SQLFreeStmt(stmt, SQL_CLOSE);
  ASSERT_EQ(SQLSetStmtAttr(stmt, SQL_ATTR_PARAMSET_SIZE, P(kRows), 0), SQL_SUCCESS);
  ASSERT_EQ(SQLSetStmtAttr(stmt, SQL_ATTR_PARAMS_PROCESSED_PTR, &processed, 0), SQL_SUCCESS);
  ASSERT_EQ(SQLBindParameter(stmt, 1, SQL_PARAM_INPUT, SQL_C_LONG, SQL_INTEGER, 0, 0, ids, 0, nullptr), SQL_SUCCESS);
  ASSERT_EQ(SQLBindParameter(stmt, 2, SQL_PARAM_INPUT, SQL_C_CHAR, SQL_LONGVARCHAR, 15, 0, texts, 16, lens),
            SQL_SUCCESS);
  ASSERT_TRUE(SQL_SUCCEEDED(SQLExecDirect(stmt, Text("insert into lt (id, c) values (?, ?)"), SQL_NTS))) << Diag();
  EXPECT_EQ(processed, static_cast<SQLULEN>(kRows));
  ASSERT_EQ(SQLSetStmtAttr(stmt, SQL_ATTR_PARAMSET_SIZE, P(1), 0), SQL_SUCCESS);
  ASSERT_EQ(SQLSetStmtAttr(stmt, SQL_ATTR_PARAMS_PROCESSED_PTR, nullptr, 0), SQL_SUCCESS);
  SQLFreeStmt(stmt, SQL_RESET_PARAMS);
  bool isNull = false;
  EXPECT_EQ("one", ReadBack(*this, "select c from lt where id = 1", SQL_C_CHAR, &isNull));
  EXPECT_EQ("three", ReadBack(*this, "select c from lt where id = 3", SQL_C_CHAR, &isNull));
  // A NULL row still runs (its LOB is the empty one the statement made).
  EXPECT_EQ("", ReadBack(*this, "select c from lt where id = 2", SQL_C_CHAR, &isNull));
}

// A LOB write that fails under autocommit leaves no row with an empty LOB
// behind: the error is Oracle's, and the insert is rolled back.
TEST_P(DmLob, FailedLobWriteRollsBack) {
  Connect();
  Exec("delete from lt");
  ocilite_test_fault(OCILITE_T_LOB_WRITE, 1, 1, 1691, 0, nullptr);
  SQLFreeStmt(stmt, SQL_CLOSE);
  const std::string v = "value";
  SQLLEN len = static_cast<SQLLEN>(v.size());
  ASSERT_EQ(SQLBindParameter(stmt, 1, SQL_PARAM_INPUT, SQL_C_CHAR, SQL_LONGVARCHAR, v.size(), 0,
                             const_cast<char *>(v.data()), len, &len), SQL_SUCCESS);
  SQLRETURN rc = SQLExecDirect(stmt, Text("insert into lt (id, c) values (7, ?)"), SQL_NTS);
  ocilite_test_reset();
  EXPECT_EQ(rc, SQL_ERROR);
  EXPECT_NE(Diag().find("ORA-01691"), std::string::npos) << Diag();
  SQLFreeStmt(stmt, SQL_RESET_PARAMS);
  Exec("select count(*) from lt");
  SQLINTEGER n = -1;
  ASSERT_TRUE(SQL_SUCCEEDED(SQLFetch(stmt)));
  ASSERT_TRUE(SQL_SUCCEEDED(SQLGetData(stmt, 1, SQL_C_LONG, &n, 0, nullptr)));
  EXPECT_EQ(n, 0);
}

// SQLCancel in the middle of a CLOB sent in pieces ends the dialogue:
// nothing runs, the pieces collected so far are let go (the sanitizer run
// sees no leak) and the statement runs whole afterwards.
TEST_P(DmLob, CancelInTheMiddleOfPiecesRunsNothing) {
  Connect();
  Exec("delete from lt");
  SQLFreeStmt(stmt, SQL_CLOSE);
  ASSERT_EQ(SQLPrepare(stmt, Text("insert into lt (id, c) values (5, ?)"), SQL_NTS), SQL_SUCCESS) << Diag();
  SQLLEN atExec = SQL_LEN_DATA_AT_EXEC(0);
  ASSERT_EQ(SQLBindParameter(stmt, 1, SQL_PARAM_INPUT, SQL_C_CHAR, SQL_LONGVARCHAR, 1 << 24, 0, P(1), 0, &atExec),
            SQL_SUCCESS);
  const std::string piece = Mixed(1 << 20);
  SQLPOINTER token = nullptr;
  ASSERT_EQ(SQLExecute(stmt), SQL_NEED_DATA) << Diag();
  ASSERT_EQ(SQLParamData(stmt, &token), SQL_NEED_DATA) << Diag();
  for (int i = 0; i < 3; ++i)
    ASSERT_EQ(SQLPutData(stmt, const_cast<char *>(piece.data()), static_cast<SQLLEN>(piece.size())), SQL_SUCCESS) << Diag();
  EXPECT_TRUE(SQL_SUCCEEDED(SQLCancel(stmt))) << Diag();
  EXPECT_EQ(SQLParamData(stmt, &token), SQL_ERROR);
  EXPECT_EQ(State(), "HY010");

  ASSERT_EQ(SQLExecute(stmt), SQL_NEED_DATA) << Diag();
  ASSERT_EQ(SQLParamData(stmt, &token), SQL_NEED_DATA) << Diag();
  ASSERT_EQ(SQLPutData(stmt, const_cast<char *>(piece.data()), static_cast<SQLLEN>(piece.size())), SQL_SUCCESS) << Diag();
  ASSERT_TRUE(SQL_SUCCEEDED(SQLParamData(stmt, &token))) << Diag();
  SQLFreeStmt(stmt, SQL_RESET_PARAMS);
  bool isNull = true;
  EXPECT_EQ(piece, ReadBack(*this, "select c from lt", SQL_C_CHAR, &isNull));
  EXPECT_FALSE(isNull);
}

// A LOB or LONG piece that comes with the database's warning is a piece: the
// call that read it (the fetch, or SQLGetData for a LOB left with the agent)
// answers SQL_SUCCESS_WITH_INFO with the ORA- record, and the value is whole.
TEST_P(DmLob, PieceWarningsAreSuccessesWithTheirRecords) {
  const std::string text = Mixed(3000);
  struct Case {
    const char *name;
    const char *dlf;
    const char *sql;
    int fault;           // the stand-in's call kind that warns
    SQLULEN rowset;
    bool bound;
    bool getDataWarns;   // the value is read by SQLGetData, not by the fetch
  };
  const Case cases[] = {
      {"LONG fetched", "", "select id, l from ll order by id", OCILITE_T_PIECE_INFO, 1, false, false},
      {"LONG in a rowset", "", "select id, l from ll order by id", OCILITE_T_PIECE_INFO, 3, true, false},
      {"CLOB fetched", ";DLF=NO", "select id, c from lt order by id", OCILITE_T_LOB_READ, 1, false, false},
      {"CLOB fetched in a rowset", ";DLF=NO", "select id, c from lt order by id", OCILITE_T_LOB_READ, 3, true, false},
      {"CLOB left with the agent", ";DLF=YES", "select id, c from lt order by id", OCILITE_T_LOB_READ, 1, false, true},
      {"CLOB left with the agent, bound", ";DLF=YES", "select id, c from lt order by id", OCILITE_T_LOB_READ, 1,
       true, false},
      {"CLOB left with the agent in a rowset", ";DLF=YES", "select id, c from lt order by id", OCILITE_T_LOB_READ, 3,
       true, false},
  };
  Connect();
  Exec("delete from lt");
  Exec("delete from ll");
  for (int id = 1; id <= 4; ++id) {
    Exec("insert into lt (id) values (" + std::to_string(id) + ")");
    Put("update lt set c = ? where id = " + std::to_string(id), text, false);
    Put("insert into ll values (" + std::to_string(id) + ", ?)", text, false);
  }
  auto warned = [this](SQLRETURN rc) {
    EXPECT_EQ(rc, SQL_SUCCESS_WITH_INFO);
    EXPECT_NE(Diag().find("ORA-24345"), std::string::npos) << Diag();
  };
  for (const Case &c : cases) {
    SCOPED_TRACE(c.name);
    Connect(c.dlf);
    std::vector<char> values(c.rowset * 4000);
    std::vector<SQLLEN> lengths(c.rowset);
    SQLULEN fetched = 0;
    ASSERT_EQ(SQLSetStmtAttr(stmt, SQL_ATTR_ROW_ARRAY_SIZE, P(static_cast<intptr_t>(c.rowset)), 0), SQL_SUCCESS);
    ASSERT_EQ(SQLSetStmtAttr(stmt, SQL_ATTR_ROWS_FETCHED_PTR, &fetched, 0), SQL_SUCCESS);
    if (c.bound) {
      ASSERT_EQ(SQLBindCol(stmt, 2, SQL_C_CHAR, values.data(), 4000, lengths.data()), SQL_SUCCESS);
    }
    ASSERT_TRUE(SQL_SUCCEEDED(SQLExecDirect(stmt, Text(c.sql), SQL_NTS))) << Diag();
    ocilite_test_fault(c.fault, 1, 1, 24345, 1, nullptr);
    SQLRETURN rc = SQLFetchScroll(stmt, SQL_FETCH_NEXT, 0);
    if (c.getDataWarns) {
      EXPECT_EQ(rc, SQL_SUCCESS) << Diag();
      warned(SQLGetData(stmt, 2, SQL_C_CHAR, values.data(), 4000, lengths.data()));
    } else {
      warned(rc);
      if (!c.bound) {
        EXPECT_EQ(SQLGetData(stmt, 2, SQL_C_CHAR, values.data(), 4000, lengths.data()), SQL_SUCCESS) << Diag();
      }
    }
    EXPECT_EQ(ocilite_test_fired(), c.fault);
    ocilite_test_reset();
    EXPECT_EQ(fetched, c.rowset);
    for (SQLULEN r = 0; r < fetched; ++r) {
      EXPECT_EQ(lengths[r], static_cast<SQLLEN>(text.size())) << r;
      EXPECT_EQ(std::string(&values[r * 4000]), text) << r;
    }
    SQLFreeStmt(stmt, SQL_CLOSE);
    SQLFreeStmt(stmt, SQL_UNBIND);
  }
}

INSTANTIATE_TEST_SUITE_P(Drivers, DmLob, ::testing::Values("kvd_w", "kvd_a"),
                         [](const ::testing::TestParamInfo<const char *> &i) {
                           return std::string(i.param) == "kvd_w" ? "Unicode" : "Ansi";
                         });

// isql and iusql show a CLOB's text, with both drivers.
TEST(IsqlLob, ShowsClobText) {
  harness::DmInit({{"kvd_lob_w", harness::kDmUnicode, {{"SQLNETConnect", Database()}}},
                   {"kvd_lob_a", harness::kDmAnsi, {{"SQLNETConnect", Database()}}}});
  harness::DmSession s;
  s.Open("DSN=kvd_lob_w;UID=scott;PWD=tiger");
  for (const char *sql : {"delete from lt", "insert into lt (id, c) values (9, 'isql shows this clob')"})
    ASSERT_TRUE(SQL_SUCCEEDED(SQLExecDirect(s.stmt, Text(sql), SQL_NTS))) << sql;
  s.Close();
  for (const char *tool : {"isql", "iusql"})
    for (const char *dsn : {"kvd_lob_w", "kvd_lob_a"}) {
      const std::string cmd = std::string("echo 'select c from lt where id = 9' | ") + tool + " -b " + dsn + " scott tiger 2>&1";
      std::string out;
      if (FILE *p = popen(cmd.c_str(), "r")) {
        char buf[512];
        while (fgets(buf, sizeof buf, p)) out += buf;
        pclose(p);
      }
      EXPECT_NE(out.find("isql shows this clob"), std::string::npos) << tool << " " << dsn << ": " << out;
    }
}

}  // namespace
