// Fetched LOB values read in pieces (DRV_GetDataChunk) through the LOB
// module's chunk reader and the OCI stand-in.
#include "fetch_fixture.h"

using namespace fetch_test;

namespace {

const std::string k25 = "abcdefghijklmnopqrstuvwxy";

struct Piece {
  int32_t rc = -1;
  std::string data;
  bool null = true;  // no buffer handed out
  int32_t valueType = 0;
  int32_t left = 0;
};

class ChunkTest : public FetchTest, public ::testing::WithParamInterface<bool> {
 protected:
  DrvHandle cur = 0;
  OwnedDataset rows;

  void SetUp() override {
    FetchTest::SetUp();
    if (GetParam() == false) g_agentOptions.emptyStringIsntNull = 1;
    Open(GetParam());
    Exec("CREATE TABLE LT (ID NUMBER(5), C1 CLOB, C2 CLOB, B BLOB)");
    Exec("INSERT INTO LT VALUES (1, '" + k25 + "', 'ZYXWVUTSRQ', HEXTORAW('00010203'))");
    Exec("INSERT INTO LT VALUES (2, '0123456789', NULL, NULL)");
    Exec("INSERT INTO LT VALUES (3, EMPTY_CLOB(), ' ', EMPTY_BLOB())");
    Exec("INSERT INTO LT VALUES (4, RPAD('x', 1000, 'x'), NULL, NULL)");
  }
  void TearDown() override {
    if (cur) DropCursor(cur);
    FetchTest::TearDown();
  }

  // All rows in one block with the LOB locators kept for piecewise reads.
  void FetchAll(uint32_t maxLength = 0) {
    cur = Query("SELECT ID, C1, C2, B FROM LT ORDER BY ID");
    if (maxLength) {
      ASSERT_EQ(0, DrvCall<&DrvOps::DRV_SetInfo>(&drv, cur, InfoStmtOption(3), &maxLength));
    }
    AgentCursor *ac = Agent_Cursor(cur);
    DatasetFree(rows.get());  // a test may fetch again
    ASSERT_EQ(0, DatasetFromColDescs(ac->cols, ac->colCount, 4, rows.get()));
    int end = 0;
    ASSERT_EQ(0, DB_Fetch(ac->dbCurs, rows.get(), 0, &end)) << Errors(cur);
    ASSERT_EQ(4, rows->rows);
    ASSERT_EQ(0, DB_PostProcess(ac->dbCurs, rows.get(), 0));
  }

  // column and row from 1, as DRV_GetDataChunk takes them.
  Piece Get(int32_t column, int32_t row, int32_t max) {
    Piece p;
    void *buf = nullptr;
    int32_t size = -1;
    p.rc = DrvCall<&DrvOps::DRV_GetDataChunk>(&drv, cur, column, row, max, &buf, &size, &p.valueType, &p.left);
    p.null = buf == nullptr;
    if (buf) {
      p.data.assign(static_cast<char *>(buf), static_cast<size_t>(size));
    } else {
      EXPECT_EQ(0, size);
    }
    free(buf);
    return p;
  }

  // What a CLOB's text looks like in a piece of this mode.
  std::string Text(const std::string &s) const { return wide ? Utf16(s) : s; }
  int32_t Bytes(int32_t chars) const { return wide ? 2 * chars : chars; }
  // The bytes left as told before a piece: a narrow CLOB's bytes are known
  // only once its last characters are read.
  int32_t Left(int32_t chars) const { return wide ? 2 * chars : -4; }
};

INSTANTIATE_TEST_SUITE_P(Mode, ChunkTest, ::testing::Values(false, true),
                         [](const ::testing::TestParamInfo<bool> &i) { return i.param ? "Wide" : "Narrow"; });

TEST_P(ChunkTest, PiecesOfAClobThenTheEnd) {
  FetchAll();
  Piece a = Get(2, 1, 10), b = Get(2, 1, 10), c = Get(2, 1, 10), d = Get(2, 1, 10);
  for (const Piece &p : {a, b, c, d}) {
    EXPECT_EQ(0, p.rc);
    EXPECT_EQ(wide ? VT_WCHAR : VT_CHAR, p.valueType);
  }
  // The bytes left before each piece; the caller's maximum counts characters.
  EXPECT_EQ(Left(25), a.left);
  EXPECT_EQ(Left(15), b.left);
  EXPECT_EQ(Bytes(5), c.left);
  EXPECT_EQ(0, d.left);
  EXPECT_EQ(Text(k25.substr(0, 10)), a.data);
  EXPECT_EQ(Text(k25.substr(10, 10)), b.data);
  EXPECT_EQ(Text(k25.substr(20)), c.data);
  EXPECT_TRUE(d.null);
}

TEST_P(ChunkTest, BlobPiecesAreBytes) {
  FetchAll();
  Piece a = Get(4, 1, 3), b = Get(4, 1, 3);
  EXPECT_EQ(VT_BINARY, a.valueType);
  EXPECT_EQ(4, a.left);
  EXPECT_EQ(std::string("\x00\x01\x02", 3), a.data);
  EXPECT_EQ(1, b.left);
  EXPECT_EQ(std::string("\x03", 1), b.data);
}

TEST_P(ChunkTest, AnotherColumnOrRowStartsAfresh) {
  FetchAll();
  EXPECT_EQ(Text("abcde"), Get(2, 1, 5).data);
  // Same row, another column: that column's value from its start.
  Piece other = Get(3, 1, 4);
  EXPECT_EQ(Text("ZYXW"), other.data);
  EXPECT_EQ(Left(10), other.left);
  // Back to the first column of the same row: never continued with bytes of
  // the other column, but read again from the start.
  Piece back = Get(2, 1, 5);
  EXPECT_EQ(Text("abcde"), back.data);
  EXPECT_EQ(Left(25), back.left);
  // Same column, another row, and back.
  EXPECT_EQ(Text("01234"), Get(2, 2, 5).data);
  Piece again = Get(2, 1, 5);
  EXPECT_EQ(Text("abcde"), again.data);
  EXPECT_EQ(Left(25), again.left);
  // and goes on from there.
  EXPECT_EQ(Text("fghij"), Get(2, 1, 5).data);
}

// Multi-byte characters straddle every piece boundary: joined pieces give
// the text exactly, whatever the piece size, and the last piece's bytes left
// are exact.
TEST_P(ChunkTest, MultiByteTextJoinsExactly) {
  const std::string text = "a\xC3\xA9\xE4\xB8\xAD\xF0\x9F\x98\x80" + std::string(3000, 'z') + "\xF0\x9F\x98\x80" "b";
  Exec("UPDATE LT SET C2 = '" + text + "' WHERE ID = 2");
  for (int32_t max : {1, 2, 3, 4, 5, 7, 4097}) {
    SCOPED_TRACE(max);
    if (cur) DropCursor(cur);
    cur = 0;
    FetchAll();
    std::string joined;
    Piece p;
    for (int guard = 0; guard < 100000; ++guard) {
      p = Get(3, 2, max);
      ASSERT_EQ(0, p.rc);
      if (p.null) break;
      if (p.left >= 0) {
        EXPECT_EQ(static_cast<int32_t>(Text(text).size() - joined.size()), p.left);
      }
      joined += p.data;
    }
    EXPECT_EQ(0, p.left);
    EXPECT_EQ(Text(text), joined);
  }
}

TEST_P(ChunkTest, EmptyNullAndSingleBlankValues) {
  FetchAll();
  Piece empty = Get(2, 3, 10);
  EXPECT_EQ(0, empty.rc);
  EXPECT_EQ(0, empty.left);
  EXPECT_TRUE(empty.null);
  Piece emptyBlob = Get(4, 3, 10);
  EXPECT_EQ(0, emptyBlob.rc);
  EXPECT_EQ(0, emptyBlob.left);
  // A single blank: with EMPTY_STRING_ISNT_NULL (narrow case here) it is
  // the stored form of an empty string, and reads as one.
  Piece blank = Get(3, 3, 10);
  EXPECT_EQ(0, blank.rc);
  if (!GetParam()) {
    EXPECT_EQ(0, blank.left);
    EXPECT_TRUE(blank.null);
  } else {
    EXPECT_EQ(Bytes(1), blank.left);
    EXPECT_EQ(Text(" "), blank.data);
  }
}

TEST_P(ChunkTest, AFailedLengthReadIsAnError) {
  FetchAll();
  // Row 2 holds no LOB in C2: its locator was never filled, so OCI cannot
  // tell the length. That is an error, not an empty value.
  TakeErrors(drv, cur);
  Piece p = Get(3, 2, 10);
  EXPECT_EQ(E_S1000, p.rc);
  EXPECT_TRUE(p.null);
  Msgs m = TakeErrors(drv, cur);
  ASSERT_EQ(1u, m.texts.size());
  EXPECT_NE(std::string::npos, m.texts[0].find("ORA-22275")) << m.texts[0];
}

TEST_P(ChunkTest, MaximumLengthEndsTheValue) {
  FetchAll(100);
  int32_t total = 0;
  Piece first = Get(2, 4, 64);
  EXPECT_EQ(wide ? Bytes(100) : -4, first.left);
  total += static_cast<int32_t>(first.data.size());
  for (int i = 0; i < 10; ++i) {
    Piece p = Get(2, 4, 64);
    ASSERT_EQ(0, p.rc);
    total += static_cast<int32_t>(p.data.size());
    if (p.left == 0) break;
  }
  EXPECT_EQ(Bytes(100), total);
}

TEST_P(ChunkTest, OnlyLobColumnsAndFetchedRows) {
  FetchAll();
  EXPECT_EQ(E_S1000, Get(1, 1, 10).rc);   // a NUMBER column
  EXPECT_EQ(E_S1000, Get(2, 9, 10).rc);   // a row the fetch did not have
  EXPECT_EQ(E_S1000, Get(7, 1, 10).rc);   // no such column
  void *buf = nullptr;
  int32_t size = 0, vt = 0;
  EXPECT_EQ(E_S1009, DrvCall<&DrvOps::DRV_GetDataChunk>(&drv, cur, 2, 1, 10, &buf, &size, &vt, nullptr));
}

}  // namespace
