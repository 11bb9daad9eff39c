// The dynamic key fetch against the agent over the OCI stand-in: blocks of
// keys in the order of the same SELECT read forward, NULLs and ties on the
// block edges, both directions, relative moves (also far beyond one lower
// fetch), and rows inserted by others appearing in the next block.
#include "scrs/dynkeys.h"

#include <cstring>
#include <string>
#include <vector>

#include "drv_ora8/db-private.h"
#include "exec_fixture.h"

using namespace exec_test;

namespace {

class DynKeysTest : public ExecTest {
 protected:
  void SetUp() override {
    ExecTest::SetUp();
    Connect();
    ASSERT_TRUE(peek.Open(dir));
    aux = Cursor();
    ScsColDesc k{};
    strcpy(k.name, "K");
    strcpy(k.table, "T");
    VArray_Append(keyCols, &k);
    f.lower = ORA_AgentObject();
    f.aux = aux;
    f.sort.keys = {keyCols, 1};
    f.sort.nullCollation = KS_NC_HIGH;
  }
  void TearDown() override {
    KS_DynFetchFree(&f);
    VArray_Free(&keyCols, nullptr);
    VArray_Free(&items, nullptr);
    Free(aux);
    ExecTest::TearDown();
  }
  // ORDER BY a [DESC], then the key.
  void OrderByA(bool desc) {
    VArray_Free(&items, nullptr);
    items = VArray_New(sizeof(ScsOrderCol));
    ScsOrderCol a{};
    strcpy(a.text, "A");
    strcpy(a.name, "A");
    a.desc = desc;
    VArray_Append(items, &a);
    f.sort.orderCols = items;
    f.sort.d = 2;
    sql = std::string("SELECT K, A FROM T ORDER BY A") + (desc ? " DESC" : "");
    forward = std::string("SELECT K FROM T ORDER BY A") + (desc ? " DESC" : "") + ", K";
    f.sql = sql.c_str();
  }
  std::vector<std::string> Held() {
    std::vector<std::string> out;
    for (int32_t r = 0; f.keys && r < f.keys->rows; ++r) {
      const void *data = nullptr;
      uint32_t len = 0;
      EXPECT_EQ(0, DatasetValueRef(f.keys, static_cast<uint32_t>(r), 0, &data, &len));
      std::string v(static_cast<const char *>(data), len);
      if (f.keys->cols[0].type == VT_DOUBLE) {
        double d;
        memcpy(&d, data, 8);
        v = std::to_string(static_cast<long>(d));
      } else if (f.keys->cols[0].type == VT_SLONG) {
        int32_t i;
        memcpy(&i, data, 4);
        v = std::to_string(i);
      }
      out.push_back(v);
    }
    return out;
  }
  // The keys in the order of the same SELECT read forward.
  std::vector<std::string> Forward() {
    std::vector<std::string> out;
    for (const auto &row : peek.Query(forward)) out.push_back(row[0]);
    return out;
  }
  DrvHandle aux = 0;
  VArray *keyCols = VArray_New(sizeof(ScsColDesc));
  VArray *items = nullptr;
  std::string sql, forward;
  KsDynFetch f;
};

TEST_F(DynKeysTest, BlocksVisitEveryRowOnceInTheCursorsOrderBothWays) {
  ASSERT_EQ(0, Run("CREATE TABLE T (K NUMBER(6) PRIMARY KEY, A NUMBER)"));
  const char *rows[] = {"1, 5", "2, NULL", "3, 5", "4, 2", "5, NULL", "6, 9", "7, 2", "8, 5", "9, NULL", "10, 1", "11, 5"};
  for (const char *r : rows) ASSERT_EQ(0, Run((std::string("INSERT INTO T VALUES (") + r + ")").c_str()));
  f.keysetSize = 3;
  for (bool desc : {false, true}) {
    SCOPED_TRACE(desc ? "DESC" : "ASC");
    OrderByA(desc);
    const std::vector<std::string> want = Forward();
    ASSERT_EQ(11u, want.size());
    std::vector<std::string> seen;
    ASSERT_EQ(0, KS_FetchDynKeys(&f, KS_FIRST, 0));
    do {
      for (const auto &k : Held()) seen.push_back(k);
    } while (KS_FetchDynKeys(&f, KS_NEXT, 0) == 0);
    EXPECT_EQ(want, seen);
    std::vector<std::string> back;
    ASSERT_EQ(0, KS_FetchDynKeys(&f, KS_LAST, 0));
    do {
      std::vector<std::string> held = Held();
      back.insert(back.begin(), held.begin(), held.end());
    } while (KS_FetchDynKeys(&f, KS_PRIOR, 0) == 0);
    EXPECT_EQ(want, back);
    // Relative moves from the first block.
    ASSERT_EQ(0, KS_FetchDynKeys(&f, KS_FIRST, 0));
    struct Move {
      int32_t by;
      size_t from;  // the block's first position after the move
    } moves[] = {{4, 4}, {-2, 2}, {0, 2}, {1, 3}, {3, 6}, {-5, 1}, {7, 8}};
    for (const Move &m : moves) {
      ASSERT_EQ(0, KS_FetchDynKeys(&f, KS_RELATIVE, m.by)) << m.by;
      std::vector<std::string> block(want.begin() + static_cast<long>(m.from),
                                     want.begin() + static_cast<long>(std::min(m.from + 3, want.size())));
      EXPECT_EQ(block, Held()) << "RELATIVE " << m.by;
    }
    EXPECT_EQ(E_IM907, KS_FetchDynKeys(&f, KS_RELATIVE, 3));
  }
}

TEST_F(DynKeysTest, RowsOthersInsertOrDeleteShowInTheNextBlock) {
  ASSERT_EQ(0, Run("CREATE TABLE T (K NUMBER(6) PRIMARY KEY, A NUMBER)"));
  for (int k = 1; k <= 9; ++k) ASSERT_EQ(0, Run(("INSERT INTO T VALUES (" + std::to_string(k * 10) + ", " + std::to_string(k) + ")").c_str()));
  OrderByA(false);
  f.keysetSize = 3;
  ASSERT_EQ(0, KS_FetchDynKeys(&f, KS_FIRST, 0));
  EXPECT_EQ((std::vector<std::string>{"10", "20", "30"}), Held());
  ASSERT_EQ(0, Run("INSERT INTO T VALUES (35, 3)"));   // sorts after the block's last row
  ASSERT_EQ(0, Run("DELETE FROM T WHERE K = 50"));
  ASSERT_EQ(0, KS_FetchDynKeys(&f, KS_NEXT, 0));
  EXPECT_EQ((std::vector<std::string>{"35", "40", "60"}), Held());
  ASSERT_EQ(0, Run("INSERT INTO T VALUES (15, 1)"));   // sorts before the block's first row
  ASSERT_EQ(0, KS_FetchDynKeys(&f, KS_PRIOR, 0));
  EXPECT_EQ((std::vector<std::string>{"15", "20", "30"}), Held());
}

// A lower call that answers with the database's warning did its work: the
// keys are those read without it, the fetch answers 74 (IM902) and the
// record waits on the aux cursor.
TEST_F(DynKeysTest, AWarningBelowKeepsTheKeysAndItsRecord) {
  ASSERT_EQ(0, Run("CREATE TABLE T (K NUMBER(6) PRIMARY KEY, A NUMBER)"));
  for (int k = 1; k <= 7; ++k) ASSERT_EQ(0, Run(("INSERT INTO T VALUES (" + std::to_string(k) + ", " + std::to_string(8 - k) + ")").c_str()));
  OrderByA(false);
  f.keysetSize = 3;
  for (int kind : {OCILITE_T_PREPARE, OCILITE_T_EXECUTE, OCILITE_T_FETCH}) {
    SCOPED_TRACE(kind);
    ocilite_test_fault(kind, 1, 1, 24345, 1, nullptr);
    EXPECT_EQ(E_IM902, KS_FetchDynKeys(&f, KS_FIRST, 0));
    EXPECT_EQ(kind, ocilite_test_fired());
    ocilite_test_reset();
    EXPECT_EQ((std::vector<std::string>{"7", "6", "5"}), Held());
    Msgs m = Errors(aux);
    ASSERT_EQ(1u, m.texts.size());
    EXPECT_NE(std::string::npos, m.texts[0].find("ORA-24345")) << m.texts[0];
    ocilite_test_fault(kind, 1, 1, 24345, 1, nullptr);
    EXPECT_EQ(E_IM902, KS_FetchDynKeys(&f, KS_NEXT, 0));
    ocilite_test_reset();
    EXPECT_EQ((std::vector<std::string>{"4", "3", "2"}), Held());
    Errors(aux);
  }
  // A failure is no warning: what was held stays.
  ocilite_test_fault(OCILITE_T_FETCH, 1, 1, 1013, 0, nullptr);
  EXPECT_NE(0, KS_FetchDynKeys(&f, KS_NEXT, 0));
  ocilite_test_reset();
  EXPECT_EQ((std::vector<std::string>{"4", "3", "2"}), Held());
}

TEST_F(DynKeysTest, FarRelativeMovesReadPastOneLowerFetch) {
  ASSERT_EQ(0, Run("CREATE TABLE T (K NUMBER(6) PRIMARY KEY, A NUMBER)"));
  constexpr int32_t kRows = 2600;
  Params p({{VT_SLONG, 4}, {VT_SLONG, 4}}, kRows);
  for (int32_t r = 0; r < kRows; ++r) p.Int(r, 0, r + 1).Int(r, 1, (r + 1) % 7);
  DrvHandle ins = Cursor();
  ASSERT_EQ(0, ExecDirect(ins, "INSERT INTO T VALUES (?, ?)", p.Give()));
  Free(ins);
  OrderByA(false);
  const std::vector<std::string> want = Forward();
  f.keysetSize = 10;
  ASSERT_EQ(0, KS_FetchDynKeys(&f, KS_FIRST, 0));
  for (auto [by, from] : {std::pair{2000, 2000}, {-1500, 500}, {2090, 2590}}) {
    ASSERT_EQ(0, KS_FetchDynKeys(&f, KS_RELATIVE, by)) << by;
    std::vector<std::string> block(want.begin() + from, want.begin() + std::min<size_t>(from + 10, want.size()));
    EXPECT_EQ(block, Held()) << by;
  }
}

}  // namespace
