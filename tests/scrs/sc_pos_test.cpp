// Positioned update, delete and insert and bulk operations by bookmark,
// through the layer's slots over the agent and a database of the OCI
// stand-in. The cursor's keyset (key column ID, keys of rows 1 to 10) is
// set on the layer's state by hand, as the keyset build leaves it; the
// table is read back by a second session after every case.
#include "scrs/sc_pos.h"

#include <sqlext.h>

#include <cstring>
#include <string>
#include <vector>

#include "drv_ora8/db-private.h"
#include "exec_fixture.h"
#include "odbc/data/rowset.h"
#include "scrs/ks.h"
#include "scrs/sc_install.h"
#include "scrs/sc_s.h"

using namespace exec_test;

namespace {

using Status = std::vector<int16_t>;

// Cells of a values Dataset: text, a number, NULL, or the row or column left alone.
struct V {
  enum Kind { TEXT, NUM, NUL, ROW_IGNORED, COL_IGNORED, DAE } kind;
  std::string text;
  double num = 0;
};
V T(const std::string &s) { return {V::TEXT, s}; }
V N(double d) { return {V::NUM, "", d}; }
const V kNull{V::NUL, ""};
const V kSkipRow{V::ROW_IGNORED, ""};
const V kKeep{V::COL_IGNORED, ""};
const V kLater{V::DAE, ""};

class PosTest : public ExecTest {
 protected:
  DrvHandle cur = 0;
  ScsCursor *scs = nullptr;

  void SetUp() override {
    ExecTest::SetUp();
    Connect();
    ASSERT_EQ(0, Run("CREATE TABLE EMP (ID NUMBER(10) PRIMARY KEY, NAME VARCHAR2(30), SAL NUMBER(10,2), "
                     "NOTE VARCHAR2(200))"));
    for (int i = 1; i <= 12; ++i) {
      const std::string note = i % 4 == 0 ? "NULL" : "'n" + std::to_string(i) + "'";
      ASSERT_EQ(0, Run(("INSERT INTO EMP VALUES (" + std::to_string(i) + ", 'N" + std::to_string(i) + "', " +
                        std::to_string(i * 100) + ", " + note + ")")
                           .c_str()));
    }
    before = Table();
    cur = Cursor();
    ASSERT_EQ(0, Prepare(cur, "SELECT ID, NAME, SAL, NOTE FROM EMP"));
    ASSERT_EQ(0, Execute(cur));
    scs = scs_p_LayerCursor(cur);
    ASSERT_NE(nullptr, scs);
    Keyset(SCS_KEYSET, SCS_LOCK, 10, 1);
  }
  void TearDown() override {
    Free(cur);
    ExecTest::TearDown();
  }

  // The layer's state as a keyset-driven cursor over EMP whose rowset starts at first.
  void Keyset(int32_t type, int32_t concurrency, int32_t rowset, int32_t first) {
    scs->cursorType = type;
    scs->concurrency = concurrency;
    scs->rowsetSize = rowset;
    scs->firstRow = first;
    scs->position = 1;
    free(scs->sqlCopy);
    scs->sqlCopy = strdup("SELECT ID, NAME, SAL, NOTE FROM EMP");
    VArray_Free(&scs->tables, SCR_TableRefFree);
    scs->tables = VArray_New(sizeof(TableRef));
    TableRef t{strdup(""), strdup(""), strdup("EMP"), strdup("")};
    VArray_Append(scs->tables, &t);
    KeySet *ks = scs->keyset;
    KS_Reset(ks);
    ks->tableCount = 1;
    ks->keyCols = VArray_New(sizeof(ScsColDesc));
    ScsColDesc id{};
    strcpy(id.name, "ID");
    strcpy(id.table, "EMP");
    id.sqlType = SQL_DECIMAL;
    id.columnSize = 10;
    VArray_Append(ks->keyCols, &id);
    ASSERT_EQ(0, DatasetInit(ks->keys, 1));
    ks->keys->cols[0].type = VT_SLONG;
    ks->keys->cols[0].size = 4;
    ks->keys->columns = 1;
    ASSERT_EQ(0, DatasetAllocRows(ks->keys, 12));
    ks->keys->rows = 12;
    for (int32_t i = 0; i < 12; ++i) {
      const int32_t key = i + 1;
      memcpy(ks->keys->cols[0].values + 4 * i, &key, 4);
      ks->keys->cols[0].indicators[i] = 0;
    }
    ks->windowStart = 0;
    ks->rowStatus = static_cast<int16_t *>(calloc(12, sizeof(int16_t)));
  }

  // The values cache of values concurrency: NAME, SAL and NOTE of rows 1 to 10 as fetched.
  void ValuesCache() {
    VArray_Free(&scs->tableCols, nullptr);
    scs->tableCols = VArray_New(sizeof(ScsColDesc));
    for (const char *n : {"NAME", "SAL", "NOTE"}) {
      ScsColDesc c{};
      strcpy(c.name, n);
      strcpy(c.table, "EMP");
      c.sqlType = SQL_VARCHAR;
      c.columnSize = 200;
      VArray_Append(scs->tableCols, &c);
    }
    std::vector<std::vector<V>> rows;
    for (int i = 1; i <= 10; ++i)
      rows.push_back({T("N" + std::to_string(i)), N(i * 100), i % 4 == 0 ? kNull : T("n" + std::to_string(i))});
    if (scs->valuesCache) {
      DatasetFree(scs->valuesCache);
      free(scs->valuesCache);
    }
    scs->valuesCache = Values({VT_CHAR, VT_DOUBLE, VT_CHAR}, rows);
  }

  static Dataset *Values(const std::vector<int32_t> &types, const std::vector<std::vector<V>> &rows) {
    auto *ds = static_cast<Dataset *>(calloc(1, sizeof(Dataset)));
    EXPECT_EQ(0, DatasetInit(ds, static_cast<uint16_t>(types.size())));
    for (size_t c = 0; c < types.size(); ++c) {
      ds->cols[c].type = types[c];
      ds->cols[c].size = types[c] == VT_DOUBLE ? 8 : 201;
    }
    ds->columns = static_cast<uint16_t>(types.size());
    EXPECT_EQ(0, DatasetAllocRows(ds, static_cast<int32_t>(rows.size())));
    ds->rows = static_cast<int32_t>(rows.size());
    for (size_t r = 0; r < rows.size(); ++r) {
      for (size_t c = 0; c < types.size(); ++c) {
        const V &v = rows[r][c];
        int16_t &ind = ds->cols[c].indicators[r];
        unsigned char *e = ds->cols[c].values + r * ds->cols[c].size;
        switch (v.kind) {
          case V::TEXT:
            memcpy(e, v.text.c_str(), v.text.size() + 1);
            ind = 0;
            break;
          case V::NUM:
            memcpy(e, &v.num, 8);
            ind = 0;
            break;
          case V::NUL:
            ind = kIndNull;
            break;
          case V::ROW_IGNORED:
            ind = -4;
            break;
          case V::COL_IGNORED:
            ind = -6;
            break;
          case V::DAE:
            ind = kIndDataAtExec;
            break;
        }
      }
    }
    return ds;
  }

  static uint16_t *Columns(std::vector<uint16_t> cols) {
    auto *p = static_cast<uint16_t *>(malloc(cols.size() * sizeof(uint16_t)));
    memcpy(p, cols.data(), cols.size() * sizeof(uint16_t));
    return p;
  }

  static Dataset *Marks(int32_t rows, std::vector<int32_t> ignored = {}) {
    std::vector<std::vector<V>> r(static_cast<size_t>(rows), std::vector<V>{kNull});
    for (int32_t i : ignored) r[static_cast<size_t>(i)][0] = kSkipRow;
    Dataset *ds = Values({VT_BIT}, r);
    ds->cols[0].size = 1;
    return ds;
  }

  int32_t SetPos(int32_t row, uint16_t op, Dataset *values, uint16_t *cols, Status *status) {
    int16_t *st = nullptr;
    int32_t n = 0;
    const uint16_t ncols = values && cols ? values->columns : 0;
    const int32_t rc = DrvCall<&DrvOps::DRV_SetPos>(&drv, cur, row, op, uint16_t{0}, &st, &n, values, cols, ncols);
    if (status) status->assign(st, st + (st ? n : 0));
    free(st);
    return rc;
  }

  Rows Table() { return Peek("SELECT ID, NAME, SAL, NOTE FROM EMP ORDER BY ID"); }

  // The table as it stood, with the given rows replaced ({} removes a row).
  Rows Changed(std::vector<std::pair<int, std::vector<std::string>>> changes) {
    Rows out;
    for (const auto &row : before) {
      const int id = std::stoi(row[0]);
      bool replaced = false;
      for (const auto &[cid, values] : changes) {
        if (cid != id) continue;
        replaced = true;
        if (!values.empty()) out.push_back(values);
      }
      if (!replaced) out.push_back(row);
    }
    for (const auto &[cid, values] : changes)
      if (cid > 12) out.push_back(values);
    return out;
  }

  Rows before;
};

TEST_F(PosTest, UpdateChangesOnlyTheAddressedRowsByKey) {
  Status st;
  ASSERT_EQ(0, SetPos(2, SQL_UPDATE, Values({VT_CHAR, VT_DOUBLE}, {{T("Two"), N(222.5)}}), Columns({2, 3}), &st));
  EXPECT_EQ((Status{SQL_ROW_UPDATED}), st);
  EXPECT_EQ(Changed({{2, {"2", "Two", "222.5", "n2"}}}), Table());
  EXPECT_EQ(1, RowCount(cur));
  EXPECT_EQ(SQL_ROW_UPDATED, scs->keyset->rowStatus[1]);

  // Bound out of order: each value goes to its own column.
  ASSERT_EQ(0, SetPos(4, SQL_UPDATE, Values({VT_DOUBLE, VT_CHAR}, {{N(4.25), T("Four")}}), Columns({3, 2}), &st));
  EXPECT_EQ(Changed({{2, {"2", "Two", "222.5", "n2"}}, {4, {"4", "Four", "4.25", "<NULL>"}}}), Table());
}

TEST_F(PosTest, UpdateOfEveryRowSkipsIgnoredRowsAndColumnsPerRow) {
  // Rowset of rows 3 to 12 (keys 11 and 12 exist): row 2 ignored by the
  // application, NAME left alone in row 4 only.
  scs->firstRow = 3;
  std::vector<std::vector<V>> rows;
  for (int i = 0; i < 10; ++i) rows.push_back({T("X" + std::to_string(i)), N(i)});
  rows[1] = {kSkipRow, kSkipRow};
  rows[3][0] = kKeep;
  Status st;
  ASSERT_EQ(0, SetPos(SCS_ALL_ROWS, SQL_UPDATE, Values({VT_CHAR, VT_DOUBLE}, rows), Columns({2, 3}), &st));
  ASSERT_EQ(10u, st.size());
  std::vector<std::pair<int, std::vector<std::string>>> want;
  for (int i = 0; i < 10; ++i) {
    const int id = i + 3;
    if (i == 1) {
      EXPECT_EQ(SQL_ROW_SUCCESS, st[1]) << "an ignored row keeps its status";
      continue;
    }
    EXPECT_EQ(SQL_ROW_UPDATED, st[static_cast<size_t>(i)]) << i;
    const std::string note = id % 4 == 0 ? "<NULL>" : "n" + std::to_string(id);
    want.push_back({id, {std::to_string(id), i == 3 ? "N6" : "X" + std::to_string(i), std::to_string(i), note}});
  }
  EXPECT_EQ(Changed(want), Table());
  EXPECT_EQ(9, RowCount(cur));
}

TEST_F(PosTest, PartialRowsetRowsBeyondTheKeysHaveNoRow) {
  // Rowset of rows 11 to 20 over 12 keys: two rows, eight without a row.
  scs->firstRow = 11;
  std::vector<std::vector<V>> rows(10, std::vector<V>{kSkipRow});
  rows[0] = {N(1)};
  rows[1] = {N(2)};
  Status st;
  ASSERT_EQ(0, SetPos(SCS_ALL_ROWS, SQL_UPDATE, Values({VT_DOUBLE}, rows), Columns({3}), &st));
  Status want(10, SQL_ROW_NOROW);
  want[0] = want[1] = SQL_ROW_UPDATED;
  EXPECT_EQ(want, st);
  EXPECT_EQ(Changed({{11, {"11", "N11", "1", "n11"}}, {12, {"12", "N12", "2", "<NULL>"}}}), Table());
}

TEST_F(PosTest, DeleteOfEveryRowLeavesIgnoredRows) {
  Status st;
  ASSERT_EQ(0, SetPos(SCS_ALL_ROWS, SQL_DELETE, Marks(10, {2}), nullptr, &st));
  Status want(10, SQL_ROW_DELETED);
  want[2] = SQL_ROW_SUCCESS;
  EXPECT_EQ(want, st);
  Rows left = Table();
  ASSERT_EQ(3u, left.size());
  EXPECT_EQ("3", left[0][0]);
  EXPECT_EQ("11", left[1][0]);
  EXPECT_EQ(9, RowCount(cur));
}

TEST_F(PosTest, RowsGoneOrFailingAreErrorsAndTheOthersGoOn) {
  ASSERT_EQ(0, Run("DELETE FROM EMP WHERE ID = 5"));
  before = Table();
  Status st;
  EXPECT_EQ(E_01S03, SetPos(5, SQL_DELETE, Marks(1), nullptr, &st));
  EXPECT_EQ((Status{SQL_ROW_ERROR}), st);
  EXPECT_EQ(E_01S03, SetPos(5, SQL_UPDATE, Values({VT_DOUBLE}, {{N(1)}}), Columns({3}), &st));
  EXPECT_EQ((Status{SQL_ROW_ERROR}), st);
  EXPECT_EQ(before, Table());

  // Some rows done, some not: 01S01 with the statuses of each.
  scs->rowsetSize = 3;
  scs->firstRow = 4;
  EXPECT_EQ(E_01S01, SetPos(SCS_ALL_ROWS, SQL_DELETE, Marks(3), nullptr, &st));
  EXPECT_EQ((Status{SQL_ROW_DELETED, SQL_ROW_ERROR, SQL_ROW_DELETED}), st);
  EXPECT_EQ(Changed({{4, {}}, {6, {}}}), Table());
}

TEST_F(PosTest, AddInsertsEachRowAndReportsTheOnesThatFail) {
  scs->rowsetSize = 3;
  Status st;
  const int32_t rc = SetPos(SCS_ALL_ROWS, SQL_ADD,
                            Values({VT_DOUBLE, VT_CHAR, VT_CHAR},
                                   {{N(20), T("A"), T("x")}, {N(2), T("dup"), T("y")}, {N(21), T("B"), kKeep}}),
                            Columns({1, 2, 4}), &st);
  EXPECT_EQ(E_01S01, rc);
  EXPECT_EQ((Status{SQL_ROW_ADDED, SQL_ROW_ERROR, SQL_ROW_ADDED}), st);
  EXPECT_EQ(Changed({{20, {"20", "A", "<NULL>", "x"}}, {21, {"21", "B", "<NULL>", "<NULL>"}}}), Table());
  EXPECT_EQ(2, RowCount(cur));
  Msgs m = Errors(cur);
  ASSERT_FALSE(m.texts.empty()) << "the failing row's error reaches the cursor";
}

class ValuesTest : public PosTest, public ::testing::WithParamInterface<bool> {
 protected:
  // The rows of the rowset as fetched, all four result columns, kept by
  // the layer when no values cache was read.
  void FetchedRows() {
    std::vector<std::vector<V>> rows;
    for (int i = 1; i <= 10; ++i)
      rows.push_back({N(i), T("N" + std::to_string(i)), N(i * 100), i % 4 == 0 ? kNull : T("n" + std::to_string(i))});
    scs->fetchedRows = Values({VT_DOUBLE, VT_CHAR, VT_DOUBLE, VT_CHAR}, rows);
  }
};

TEST_P(ValuesTest, ChangesOnlyRowsStillAsFetched) {
  Keyset(SCS_KEYSET, SCS_VALUES, 10, 1);
  if (GetParam())
    FetchedRows();
  else
    ValuesCache();
  ASSERT_EQ(0, Run("UPDATE EMP SET SAL = 999 WHERE ID = 3"));
  before = Table();
  Status st;
  EXPECT_EQ(E_01S03, SetPos(3, SQL_UPDATE, Values({VT_CHAR}, {{T("Three")}}), Columns({2}), &st));
  EXPECT_EQ((Status{SQL_ROW_ERROR}), st);
  EXPECT_EQ(before, Table());

  // Every row: the other nine change, rows 4 and 8 matched on their NULL NOTE.
  std::vector<std::vector<V>> rows;
  for (int i = 1; i <= 10; ++i) rows.push_back({T("V" + std::to_string(i))});
  EXPECT_EQ(E_01S01, SetPos(SCS_ALL_ROWS, SQL_UPDATE, Values({VT_CHAR}, rows), Columns({2}), &st));
  std::vector<std::pair<int, std::vector<std::string>>> want;
  for (int i = 1; i <= 10; ++i) {
    EXPECT_EQ(i == 3 ? SQL_ROW_ERROR : SQL_ROW_UPDATED, st[static_cast<size_t>(i - 1)]) << i;
    if (i == 3) continue;
    want.push_back({i, {std::to_string(i), "V" + std::to_string(i), std::to_string(i * 100),
                        i % 4 == 0 ? "<NULL>" : "n" + std::to_string(i)}});
  }
  EXPECT_EQ(Changed(want), Table());
}

INSTANTIATE_TEST_SUITE_P(ValuesSource, ValuesTest, ::testing::Bool(),
                         [](const auto &info) { return std::string(info.param ? "FetchedRows" : "ValuesCache"); });

TEST_F(PosTest, RefusalsLeaveTheTableAlone) {
  struct Case {
    const char *what;
    uint16_t selectFlags;
    int32_t concurrency;
    int32_t want;
  } cases[] = {
      {"join", SCR_MULTITABLE, SCS_LOCK, E_IM912},
      {"group by", SCR_GROUPBY, SCS_LOCK, E_IM913},
      {"read-only", 0, SCS_READ_ONLY, E_S1009},
  };
  for (const Case &c : cases) {
    scs->selectFlags = c.selectFlags;
    scs->concurrency = c.concurrency;
    Status st;
    EXPECT_EQ(c.want, SetPos(1, SQL_DELETE, Marks(1), nullptr, &st)) << c.what;
    EXPECT_EQ(c.want, SetPos(1, SQL_UPDATE, Values({VT_DOUBLE}, {{N(1)}}), Columns({3}), &st)) << c.what;
  }
  scs->selectFlags = 0;
  scs->concurrency = SCS_LOCK;
  EXPECT_EQ(E_S1C00, SetPos(1, SQL_REFRESH, nullptr, nullptr, nullptr));
  EXPECT_EQ(0, SetPos(1, SQL_POSITION, nullptr, nullptr, nullptr));
  EXPECT_EQ(before, Table());

  // A cursor the layer has not prepared.
  const DrvHandle other = Cursor();
  int16_t *st = nullptr;
  EXPECT_EQ(E_24000, DrvCall<&DrvOps::DRV_SetPos>(&drv, other, 1, uint16_t{SQL_DELETE}, uint16_t{0}, &st,
                                                  static_cast<int32_t *>(nullptr), Marks(1),
                                                  static_cast<uint16_t *>(nullptr), uint16_t{0}));
  EXPECT_EQ(nullptr, st);
  Free(other);
}

TEST_F(PosTest, DataAtExecutionValuesAreCollectedByTheAgentFirst) {
  int16_t *st = nullptr;
  int32_t n = 0;
  Dataset *values = Values({VT_DOUBLE, VT_CHAR}, {{N(5.5), kLater}});
  ASSERT_EQ(E_IM922, DrvCall<&DrvOps::DRV_SetPos>(&drv, cur, 1, uint16_t{SQL_UPDATE}, uint16_t{0}, &st, &n, values,
                                                  Columns({3, 4}), uint16_t{2}));
  EXPECT_EQ(before, Table());
  int32_t col = -1, row = -1;
  ASSERT_EQ(E_IM922, DrvCall<&DrvOps::DRV_ParamData>(&drv, cur, &col, &row, &st, &n));
  EXPECT_EQ(1, col);
  EXPECT_EQ(0, row);
  for (const char *piece : {"one ", "two ", "three"})
    ASSERT_EQ(0, DrvCall<&DrvOps::DRV_PutData>(&drv, cur, uint32_t{VT_CHAR}, int16_t{0}, piece,
                                               static_cast<int32_t>(strlen(piece))));
  ASSERT_EQ(0, DrvCall<&DrvOps::DRV_ParamData>(&drv, cur, &col, &row, &st, &n));
  ASSERT_NE(nullptr, st);
  EXPECT_EQ(SQL_ROW_UPDATED, st[0]);
  free(st);
  EXPECT_EQ(Changed({{1, {"1", "N1", "5.5", "one two three"}}}), Table());
}

// ---- Bulk operations by bookmark ---------------------------------------------------------

class BulkTest : public PosTest {
 protected:
  int32_t Bulk(int16_t op, std::vector<int32_t> marks, Dataset *values, uint16_t *cols, Status *st, int16_t *done,
               Rowset **rs = nullptr) {
    int16_t *s = nullptr;
    int16_t n = 0;
    const int32_t rc = DrvCall<&DrvOps::DRV_BulkOperations>(&drv, cur, op, marks.data(),
                                                            static_cast<uint16_t>(marks.size()), values, cols,
                                                            uint16_t{values ? values->columns : uint16_t{0}}, &s, &n, rs);
    if (st) st->assign(s, s + (s ? marks.size() : 0));
    if (done) *done = n;
    free(s);
    return rc;
  }
  std::vector<std::string> Ids(const Rowset *rs) {
    std::vector<std::string> out;
    for (int32_t r = 0; r < rs->rows->rows; ++r) {
      const void *data = nullptr;
      uint32_t len = 0;
      EXPECT_EQ(0, DatasetValueRef(rs->rows, static_cast<uint32_t>(r), 1, &data, &len));
      out.push_back(data && len ? std::string(static_cast<const char *>(data), len) : "<NULL>");
    }
    return out;
  }
};

TEST_F(BulkTest, UpdateAndDeleteByBookmarkChangeExactlyThoseRows) {
  Status st;
  int16_t done = 0;
  ASSERT_EQ(0, Bulk(5, {3, 5, 9}, Values({VT_CHAR}, {{T("a")}, {T("b")}, {T("c")}}), Columns({2}), &st, &done));
  EXPECT_EQ((Status{SQL_ROW_UPDATED, SQL_ROW_UPDATED, SQL_ROW_UPDATED}), st);
  EXPECT_EQ(3, done);
  EXPECT_EQ(Changed({{3, {"3", "a", "300", "n3"}}, {5, {"5", "b", "500", "n5"}}, {9, {"9", "c", "900", "n9"}}}),
            Table());
  before = Table();
  ASSERT_EQ(0, Bulk(6, {9, 3, 5}, nullptr, nullptr, &st, &done));
  EXPECT_EQ((Status{SQL_ROW_DELETED, SQL_ROW_DELETED, SQL_ROW_DELETED}), st);
  EXPECT_EQ(Changed({{3, {}}, {5, {}}, {9, {}}}), Table());
  EXPECT_EQ(3, RowCount(cur));

  before = Table();
  EXPECT_EQ(E_01S03, Bulk(6, {3}, nullptr, nullptr, &st, &done));
  EXPECT_EQ((Status{SQL_ROW_ERROR}), st);
  EXPECT_EQ(E_S1000, Bulk(4, {1}, nullptr, nullptr, &st, &done));
  EXPECT_EQ(before, Table());
}

TEST_F(BulkTest, FetchByBookmarkKeepsTheBookmarksOrderAndMarksDeletedRows) {
  ASSERT_EQ(0, Run("DELETE FROM EMP WHERE ID = 4"));
  for (const auto &marks : {std::vector<int32_t>{2, 4, 6}, std::vector<int32_t>{6, 4, 2}}) {
    Status st;
    int16_t read = 0;
    Rowset *rs = nullptr;
    ASSERT_EQ(0, Bulk(7, marks, nullptr, nullptr, &st, &read, &rs));
    ASSERT_NE(nullptr, rs);
    EXPECT_EQ(2, read);
    const bool up = marks[0] == 2;
    EXPECT_EQ((std::vector<std::string>{up ? "N2" : "N6", "<NULL>", up ? "N6" : "N2"}), Ids(rs));
    EXPECT_EQ((Status{SQL_ROW_SUCCESS, SQL_ROW_DELETED, SQL_ROW_SUCCESS}), st);
    EXPECT_EQ(SQL_ROW_DELETED, rs->status[1]);
    RowsetFree(&rs);
  }
}

}  // namespace
