// Row locks and the values optimistic concurrency compares, over the
// scripted fake agent: the statements the layer runs, the parameters it
// sends, and where each re-read row lands.
#include "scrs/sc_conc.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "fake.h"
#include "odbc/dataset.h"
#include "odbc/drvops.h"
#include "odbc/sqlstate.h"
#include "scrs/ks.h"
#include "scrs/sc_s.h"

namespace {

ScsColDesc Col(const char *name, int16_t sqlType = 4) {
  ScsColDesc c{};
  snprintf(c.name, sizeof c.name, "%s", name);
  snprintf(c.table, sizeof c.table, "T");
  snprintf(c.owner, sizeof c.owner, "SCOTT");
  c.sqlType = sqlType;
  c.columnSize = 10;
  c.kind = 4;
  return c;
}

struct ConcTest : ::testing::Test {
  DrvObject lower{};
  DrvHandle server = 0, conn = 0, cursor = 0;
  ScsCursor *cur = nullptr;

  void SetUp() override {
    fake::Reset();
    ASSERT_EQ(fake::Register(&lower), 0);
    DrvInitReq init{"", ""};
    ASSERT_EQ(DrvCall<&DrvOps::DRV_Init>(&lower, &init, &server), 0);
    ConnectReq req{};
    req.dataSource = "Default";
    ASSERT_EQ(DrvCall<&DrvOps::DRV_Connect>(&lower, server, &req, &conn), 0);
    ASSERT_EQ(DrvCall<&DrvOps::DRV_AllocCursor>(&lower, conn, &cursor), 0);
    cur = static_cast<ScsCursor *>(calloc(1, sizeof(ScsCursor)));
    scs_CursorInit(cur, cursor, conn, &lower, nullptr);
    ASSERT_EQ(scs_p_CursorStateInit(cur, cursor, conn, &lower, nullptr), 0);
    cur->factsAsked = 1;
    cur->needbind = 1;
    cur->cursorType = SCS_KEYSET;
    cur->concurrency = SCS_VALUES;
    cur->tables = VArray_New(sizeof(TableRef));
    TableRef t{strdup(""), strdup("SCOTT"), strdup("T"), strdup("")};
    VArray_Append(cur->tables, &t);
    cur->tableCols = VArray_New(sizeof(ScsColDesc));
    cur->keyset->tableCount = 1;
    cur->keyset->keyCols = VArray_New(sizeof(ScsColDesc));
  }
  void TearDown() override {
    scs_p_CursorStateFree(cur);
    free(cur);
  }

  void Compared(std::initializer_list<const char *> names) {
    for (const char *n : names) {
      ScsColDesc c = Col(n);
      VArray_Append(cur->tableCols, &c);
    }
  }
  void KeyColumns(std::initializer_list<const char *> names) {
    for (const char *n : names) {
      ScsColDesc c = Col(n);
      VArray_Append(cur->keyset->keyCols, &c);
    }
  }
  // The keyset: one 4-byte integer column per key column, rows of values,
  // statuses success unless given.
  void Keys(const std::vector<std::vector<int32_t>> &rows, std::vector<int16_t> status = {}) {
    Dataset *ks = cur->keyset->keys;
    DatasetFree(ks);
    const uint16_t cols = static_cast<uint16_t>(rows.empty() ? 1 : rows[0].size());
    ASSERT_EQ(DatasetInit(ks, cols), 0);
    for (uint16_t c = 0; c < cols; ++c) ks->cols[c] = {VT_SLONG, 4, nullptr, nullptr};
    ks->columns = cols;
    ASSERT_EQ(DatasetAllocRows(ks, static_cast<int32_t>(rows.size())), 0);
    for (size_t r = 0; r < rows.size(); ++r)
      for (uint16_t c = 0; c < cols; ++c) {
        memcpy(ks->cols[c].values + 4 * r, &rows[r][c], 4);
        ks->cols[c].indicators[r] = 0;
      }
    ks->rows = static_cast<int32_t>(rows.size());
    cur->keyset->windowStart = 0;
    free(cur->keyset->rowStatus);
    cur->keyset->rowStatus = static_cast<int16_t *>(calloc(rows.size() + 1, sizeof(int16_t)));
    for (size_t i = 0; i < status.size(); ++i) cur->keyset->rowStatus[i] = status[i];
  }
  const Dataset *K() const { return cur->keyset->keys; }
  int16_t *S() const { return cur->keyset->rowStatus; }
  std::string Text(const Dataset *ds, uint32_t row, uint16_t col) {
    const void *data = nullptr;
    uint32_t n = 0;
    EXPECT_EQ(DatasetValueRef(ds, row, col, &data, &n), 0);
    if (ds->cols[col].indicators[row] == kIndNull) return "NULL";
    return std::string(static_cast<const char *>(data), n);
  }
  // The texts of the calls of a slot, blanks squeezed as the regenerated
  // SQL has them.
  static std::vector<std::string> Texts(int slot) {
    std::vector<std::string> out;
    for (const fake::Call &c : fake::LogOf(slot)) {
      std::string t;
      for (char ch : c.text)
        if (ch != ' ' || (!t.empty() && t.back() != ' ')) t += ch;
      while (!t.empty() && t.back() == ' ') t.pop_back();
      out.push_back(t);
    }
    return out;
  }
  static int32_t Int(const fake::Cell &c) {
    int32_t v = 0;
    memcpy(&v, c.bytes.data(), 4);
    return v;
  }
};

TEST_F(ConcTest, ValuesLandAtTheirKeysWhateverOrderTheyComeIn) {
  Compared({"A"});
  KeyColumns({"K"});
  Keys({{1}, {2}, {3}, {4}, {5}});
  cur->rowsetSize = 5;
  cur->maxParams = 3;  // three keys per lookup
  cur->sqlCopy = strdup("SELECT K, A FROM T ORDER BY A");
  fake::SetColumns({{"A"}, {"K", 4, VT_SLONG, 4}});
  // Two lookups of three keys: the first finds 3 and 1 (in the order of A),
  // the second 5 and 4; nobody has key 2 any more.
  int executes = 0;
  fake::Script(SLOT_DRV_Execute).hook = [&] {
    if (executes++ == 0)
      fake::SetRows({{fake::Text("c"), fake::I32(3)}, {fake::Text("a"), fake::I32(1)}});
    else
      fake::SetRows({{fake::Text("e"), fake::I32(5)}, {fake::Text("d"), fake::I32(4)}});
  };
  uint32_t missing = 99;
  ASSERT_EQ(scs_p_GetOptConcColVals(cur, nullptr, K(), 0, 5, S(), &missing), 0);
  EXPECT_EQ(missing, 1u);
  const Dataset *vc = cur->valuesCache;
  ASSERT_EQ(vc->columns, 1) << "the key columns read along stay out of the cache";
  ASSERT_EQ(vc->rows, 5);
  const char *want[] = {"a", "NULL", "c", "d", "e"};
  for (uint32_t r = 0; r < 5; ++r) EXPECT_EQ(Text(vc, r, 0), want[r]) << r;
  EXPECT_EQ(cur->keyset->rowStatus[1], 1) << "a key without a row is deleted";
  EXPECT_EQ(cur->keyset->rowStatus[0], 0);

  const auto prepared = Texts(SLOT_DRV_Prepare);
  ASSERT_EQ(prepared.size(), 1u) << "one values query for both lookups";
  EXPECT_EQ(prepared[0], "SELECT A, K FROM T WHERE ( K = ? OR K = ? OR K = ? ) ORDER BY A");
  // The short last lookup repeats its last key.
  auto params = fake::ParamRows();
  ASSERT_EQ(params.size(), 1u);
  ASSERT_EQ(params[0].size(), 3u);
  EXPECT_EQ(Int(params[0][0]), 4);
  EXPECT_EQ(Int(params[0][1]), 5);
  EXPECT_EQ(Int(params[0][2]), 5);
  EXPECT_EQ(Texts(SLOT_DRV_SetParamInfo), (std::vector<std::string>{"3"})) << "described once per read";

  // The next rowset of the same size uses the prepared query again.
  ASSERT_EQ(scs_p_GetOptConcColVals(cur, nullptr, K(), 2, 3), 0);
  EXPECT_EQ(fake::CallCount(SLOT_DRV_Prepare), 1);
  EXPECT_EQ(cur->valuesCache->rows, 3);
}

TEST_F(ConcTest, UserParametersFollowTheKeysAndCompositeKeysMatchWhole) {
  cur->selectColumnsMode = 2;  // the select list is compared
  cur->selectCols = VArray_New(sizeof(ScsColDesc));
  ScsColDesc b = Col("B");
  VArray_Append(cur->selectCols, &b);
  KeyColumns({"K1", "K2"});
  Keys({{1, 2}, {2, 1}});
  cur->rowsetSize = 2;
  cur->sqlCopy = strdup("SELECT B FROM T WHERE B > ?");
  Dataset *user = static_cast<Dataset *>(calloc(1, sizeof(Dataset)));
  ASSERT_EQ(DatasetInit(user, 1), 0);
  user->cols[0] = {VT_SLONG, 4, nullptr, nullptr};
  user->columns = 1;
  ASSERT_EQ(DatasetAllocRows(user, 1), 0);
  const int32_t seven = 7;
  memcpy(user->cols[0].values, &seven, 4);
  user->cols[0].indicators[0] = 0;
  user->rows = 1;
  cur->userParams = user;
  cur->flags |= SCSF_HAS_PARAMS;
  cur->userParamDescCount = 1;
  cur->userParamDescs = static_cast<ParamInfo *>(calloc(1, sizeof(ParamInfo)));
  fake::SetColumns({{"B"}, {"K1", 4, VT_SLONG, 4}, {"K2", 4, VT_SLONG, 4}});
  // (1,2) and (2,1) share their values but not their order.
  fake::SetRows({{fake::Text("second"), fake::I32(2), fake::I32(1)}, {fake::Text("first"), fake::I32(1), fake::I32(2)}});
  ASSERT_EQ(scs_p_GetOptConcColVals(cur, nullptr, K(), 0, 2), 0);
  EXPECT_EQ(Text(cur->valuesCache, 0, 0), "first");
  EXPECT_EQ(Text(cur->valuesCache, 1, 0), "second");
  EXPECT_EQ(Texts(SLOT_DRV_Prepare).at(0),
            "SELECT B, K1, K2 FROM T WHERE ( K1 = ? AND K2 = ? OR K1 = ? AND K2 = ? ) AND ( B > ? )");
  auto params = fake::ParamRows();
  ASSERT_EQ(params.at(0).size(), 5u);
  const int32_t want[] = {1, 2, 2, 1, 7};
  for (int i = 0; i < 5; ++i) EXPECT_EQ(Int(params[0][i]), want[i]) << i;
  EXPECT_EQ(Texts(SLOT_DRV_SetParamInfo), (std::vector<std::string>{"5"}));
}

TEST_F(ConcTest, NoRowsLeftGivesEmptyRowsOfTheQuerysLayout) {
  Compared({"A"});
  KeyColumns({"K"});
  Keys({{1}, {2}});
  cur->rowsetSize = 2;
  cur->sqlCopy = strdup("SELECT A FROM T");
  fake::SetColumns({{"A"}, {"K", 4, VT_SLONG, 4}});
  fake::SetRows({});
  uint32_t missing = 0;
  ASSERT_EQ(scs_p_GetOptConcColVals(cur, nullptr, K(), 0, 2, S(), &missing), 0);
  EXPECT_EQ(missing, 2u);
  ASSERT_EQ(cur->valuesCache->rows, 2);
  EXPECT_EQ(Text(cur->valuesCache, 1, 0), "NULL");
}

TEST_F(ConcTest, BadPlansAndMissingColumnsAreRefused) {
  KeyColumns({"K"});
  Keys({{1}});
  cur->sqlCopy = strdup("SELECT A FROM T");
  EXPECT_EQ(scs_p_GetOptConcColVals(cur, nullptr, K(), 0, 1), E_S1000) << "no compared columns";
  Compared({"A"});
  EXPECT_EQ(scs_p_GetOptConcColVals(cur, nullptr, K(), 1, 1), E_S1000) << "past the keys";
  EXPECT_EQ(scs_p_GetOptConcColVals(cur, nullptr, nullptr, 0, 1), E_S1000);
  cur->maxParams = 0;
  EXPECT_EQ(scs_p_GetOptConcColVals(cur, nullptr, K(), 0, 1), E_S1000) << "no room for a key";
  cur->maxParams = 255;
  EXPECT_EQ(fake::CallCount(SLOT_DRV_Execute), 0);
  fake::Script(SLOT_DRV_Execute).result = E_S1000;
  EXPECT_EQ(scs_p_GetOptConcColVals(cur, nullptr, K(), 0, 1), E_S1000) << "the lower failure comes back";
}

TEST_F(ConcTest, StaticCursorsReadEveryRowWithTheUsersParameters) {
  cur->cursorType = SCS_STATIC;
  Compared({"K", "A"});
  cur->sqlCopy = strdup("SELECT K, A FROM T WHERE A > ?");
  cur->userParamDescCount = 1;
  cur->userParamDescs = static_cast<ParamInfo *>(calloc(1, sizeof(ParamInfo)));
  Dataset user{};
  ASSERT_EQ(DatasetInit(&user, 1), 0);
  user.cols[0] = {VT_SLONG, 4, nullptr, nullptr};
  user.columns = 1;
  ASSERT_EQ(DatasetAllocRows(&user, 1), 0);
  user.cols[0].indicators[0] = 0;
  user.rows = 1;
  fake::SetColumns({{"K", 4, VT_SLONG, 4}, {"A"}});
  std::vector<fake::Row> rows;
  for (int i = 0; i < 450; ++i) rows.push_back({fake::I32(i), fake::Text("v" + std::to_string(i))});
  fake::SetRows(rows);
  ASSERT_EQ(scs_p_GetOptConcColVals(cur, &user, nullptr, 0, 0), 0);
  DatasetFree(&user);
  EXPECT_EQ(Texts(SLOT_DRV_Prepare).at(0), "SELECT K, A FROM T WHERE A > ?");
  EXPECT_EQ(cur->valuesCache->rows, 450);
  EXPECT_EQ(Text(cur->valuesCache, 449, 1), "v449");
  EXPECT_EQ(cur->valuesWindowStart, 0);
  EXPECT_EQ(fake::ParamRows().size(), 1u);
  EXPECT_EQ(Texts(SLOT_DRV_SetParamInfo), (std::vector<std::string>{"1"}));
}

TEST_F(ConcTest, RowLocksUpdateEachLiveKeyToItself) {
  KeyColumns({"K"});
  // Deleted (1) and error (5) rows are not locked; updated (2) ones are.
  Keys({{10}, {11}, {12}, {13}}, {0, 1, 2, 5});
  fake::SetInfo(INFO_ROW_COUNT, 1);
  ASSERT_EQ(scs_p_LockRows(cur, K(), 0, 4, S()), 0);
  EXPECT_EQ(Texts(SLOT_DRV_Prepare), (std::vector<std::string>{"UPDATE SCOTT.T SET K = ? WHERE K = ?"}));
  EXPECT_EQ(fake::CallCount(SLOT_DRV_Execute), 2);
  auto params = fake::ParamRows();
  ASSERT_EQ(params.at(0).size(), 2u);
  EXPECT_EQ(Int(params[0][0]), 12);
  EXPECT_EQ(Int(params[0][1]), 12);
  EXPECT_EQ(Texts(SLOT_DRV_SetParamInfo), (std::vector<std::string>{"2"}));

  // A row another user deleted changes nothing: the rowset is in error.
  fake::SetInfo(INFO_ROW_COUNT, 0);
  EXPECT_EQ(scs_p_LockRows(cur, K(), 0, 1, S()), E_01S01);
  // Nothing to lock, nothing run.
  const int before = fake::CallCount(SLOT_DRV_Prepare);
  EXPECT_EQ(scs_p_LockRows(cur, K(), 1, 1, S() + 1), 0);
  EXPECT_EQ(scs_p_LockRows(cur, K(), 3, 1, S() + 3), 0);
  EXPECT_EQ(fake::CallCount(SLOT_DRV_Prepare), before);
}

TEST_F(ConcTest, RowLocksOverATwoColumnKeySendTheKeyTwice) {
  KeyColumns({"K1", "K2"});
  Keys({{1, 2}});
  snprintf(static_cast<TableRef *>(VArray_At(cur->tables, 0))->owner, 1, "%s", "");
  fake::SetInfo(INFO_ROW_COUNT, 1);
  ASSERT_EQ(scs_p_LockRows(cur, K(), 0, 1), 0);
  EXPECT_EQ(Texts(SLOT_DRV_Prepare).at(0), "UPDATE T SET K1 = ?, K2 = ? WHERE K1 = ? AND K2 = ?");
  auto params = fake::ParamRows();
  ASSERT_EQ(params.at(0).size(), 4u);
  const int32_t want[] = {1, 2, 1, 2};
  for (int i = 0; i < 4; ++i) EXPECT_EQ(Int(params[0][i]), want[i]) << i;
}

TEST_F(ConcTest, RefreshReplacesOnlyTheRowsAsked) {
  Compared({"A"});
  KeyColumns({"K"});
  Keys({{1}, {2}, {3}});
  cur->rowsetSize = 3;
  cur->sqlCopy = strdup("SELECT A FROM T");
  fake::SetColumns({{"A"}, {"K", 4, VT_SLONG, 4}});
  fake::SetRows({{fake::Text("a"), fake::I32(1)}, {fake::Text("b"), fake::I32(2)}, {fake::Text("c"), fake::I32(3)}});
  ASSERT_EQ(scs_p_GetOptConcColVals(cur, nullptr, K(), 0, 3), 0);
  fake::SetRows({{fake::Text("A"), fake::I32(1)}, {fake::Text("B"), fake::I32(2)}, {fake::Text("C"), fake::I32(3)}});
  const uint32_t changed[] = {1};
  ASSERT_EQ(scs_p_RefetchOptConcVals(cur, K(), 0, 3, changed, 1), 0);
  EXPECT_EQ(Text(cur->valuesCache, 0, 0), "a");
  EXPECT_EQ(Text(cur->valuesCache, 1, 0), "B");
  EXPECT_EQ(Text(cur->valuesCache, 2, 0), "c");
}

TEST_F(ConcTest, LockedTextsAskForUpdateOnlyWhenTheLowerConnectionDoesNotLock) {
  cur->concurrency = SCS_LOCK;
  EXPECT_EQ(scs_p_LockedText(cur, "SELECT A FROM T"), "SELECT A FROM T FOR UPDATE");
  cur->rowLocks = 1;
  EXPECT_EQ(scs_p_LockedText(cur, "SELECT A FROM T"), "SELECT A FROM T");
  cur->rowLocks = 0;
  cur->concurrency = SCS_VALUES;
  EXPECT_EQ(scs_p_LockedText(cur, "SELECT A FROM T"), "SELECT A FROM T");
}

}  // namespace
