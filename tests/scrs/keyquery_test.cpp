// Key queries and boundary predicates: the SQL built over analysed
// statements, the key parameters, and (with SQLite as the judge) that every
// boundary predicate selects exactly the rows that sort beyond its boundary
// row, NULLs and ties included.
#include "scrs/keyquery.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <optional>
#include <string>
#include <vector>

#include "odbc/dataset.h"
#include "odbc/sqlstate.h"

#ifdef KVD_HAVE_SQLITE
#include <sqlite3.h>
#endif

namespace {

// Generated text with the regeneration's spacing evened out: one blank
// between words, none inside parentheses or before commas.
std::string Norm(std::string s) {
  std::string out;
  for (char c : s) {
    if (c == ' ' && (out.empty() || out.back() == ' ' || out.back() == '(')) continue;
    if ((c == ',' || c == ')') && !out.empty() && out.back() == ' ') out.pop_back();
    out += c;
  }
  while (!out.empty() && out.back() == ' ') out.pop_back();
  return out;
}

// The statement's analysis for the builders, freed at the end.
struct Analysed {
  AnalysedSQL a{};
  explicit Analysed(const char *sql, int mode = 0) {
    SCR_AnalysedInit(&a);
    EXPECT_EQ(0, SCR_AnalyseSQL(&a, sql, mode, 0)) << sql;
  }
  ~Analysed() { SCR_AnalysedFree(&a); }
  std::string Out() const { return a.text2 ? Norm(a.text2) : "<none>"; }
};

struct Key {
  const char *name;
  uint8_t orderByPos = 0;
  const char *table = "";
  const char *alias = "";
  const char *owner = "";
};

// Key columns in a VArray that frees itself.
struct Keys {
  VArray *v = VArray_New(sizeof(ScsColDesc));
  Keys(std::initializer_list<Key> keys) {
    for (const Key &k : keys) {
      ScsColDesc d{};
      strcpy(d.name, k.name);
      strcpy(d.table, k.table);
      strcpy(d.alias, k.alias);
      strcpy(d.owner, k.owner);
      d.orderByPos = k.orderByPos;
      VArray_Append(v, &d);
    }
  }
  ~Keys() { VArray_Free(&v, nullptr); }
  KsKeyCols Cols(uint8_t tables = 1) const { return {v, tables}; }
};

struct Order {
  const char *text;
  bool desc = false;
};

struct Orders {
  VArray *v = VArray_New(sizeof(ScsOrderCol));
  Orders(std::initializer_list<Order> items) {
    for (const Order &o : items) {
      ScsOrderCol c{};
      strcpy(c.text, o.text);
      strcpy(c.name, o.text);
      c.desc = o.desc;
      VArray_Append(v, &c);
    }
  }
  ~Orders() { VArray_Free(&v, nullptr); }
};

struct DatasetHolder {
  Dataset *ds = nullptr;
  ~DatasetHolder() {
    if (ds) {
      DatasetFree(ds);
      free(ds);
    }
  }
};

// A Dataset of 32-bit integer columns; nullopt is NULL.
Dataset *IntRows(const std::vector<std::vector<std::optional<int32_t>>> &rows) {
  auto *ds = static_cast<Dataset *>(calloc(1, sizeof(Dataset)));
  const uint16_t cols = static_cast<uint16_t>(rows.at(0).size());
  EXPECT_EQ(0, DatasetInit(ds, cols));
  for (uint16_t c = 0; c < cols; ++c) ds->cols[c] = {VT_SLONG, 4, nullptr, nullptr};
  ds->columns = cols;
  EXPECT_EQ(0, DatasetAllocRows(ds, static_cast<int32_t>(rows.size())));
  for (size_t r = 0; r < rows.size(); ++r)
    for (uint16_t c = 0; c < cols; ++c) {
      ds->cols[c].indicators[r] = rows[r][c] ? 0 : kIndNull;
      if (rows[r][c]) memcpy(ds->cols[c].values + r * 4, &*rows[r][c], 4);
    }
  ds->rows = static_cast<int32_t>(rows.size());
  return ds;
}

std::optional<int32_t> IntAt(const Dataset *ds, uint16_t c, uint32_t r = 0) {
  if (ds->cols[c].indicators[r] == kIndNull) return std::nullopt;
  int32_t v;
  memcpy(&v, ds->cols[c].values + r * ds->cols[c].size, 4);
  return v;
}

// ---- Key queries ------------------------------------------------------------------------------

TEST(KeyQuery, OrderByCompletesTheStatementsOrderWithTheKeysItLacks) {
  Keys rowid({{"ROWID"}});
  Keys two({{"K1"}, {"K2", 1}});  // K2 is the first ORDER BY item
  struct Case {
    const char *sql;
    const Keys &keys;
    uint32_t items;
    uint16_t max;
    const char *want;
  } cases[] = {
      {"SELECT a, b FROM t", rowid, 0, 0, "SELECT a, b FROM t ORDER BY ROWID"},
      {"SELECT a, b FROM t ORDER BY b", rowid, 1, 0, "SELECT a, b FROM t ORDER BY b, ROWID"},
      {"SELECT a FROM t ORDER BY K2 DESC", two, 1, 0, "SELECT a FROM t ORDER BY K2 DESC, K1"},
      // The limit already reached by the statement's own items: nothing added.
      {"SELECT a FROM t ORDER BY a, b", rowid, 2, 2, "SELECT a FROM t ORDER BY a, b"},
      {"SELECT a FROM t ORDER BY a, b", rowid, 2, 3, "SELECT a FROM t ORDER BY a, b, ROWID"},
  };
  for (const Case &c : cases) {
    Analysed a(c.sql);
    EXPECT_EQ(0, KS_KeyOrderByBuild(&a.a, c.keys.Cols(), c.items, c.max)) << c.sql;
    EXPECT_EQ(Norm(c.want), a.Out()) << c.sql;
  }
}

TEST(KeyQuery, KeyStatementReadsTheKeysInTheCursorsOrder) {
  // The keyset build: ORDER BY completed, analysed again, select list made
  // the keys.
  Keys rowid({{"ROWID"}});
  Analysed cursor("SELECT a, b FROM t ORDER BY b");
  ASSERT_EQ(0, KS_KeyOrderByBuild(&cursor.a, rowid.Cols(), 1, 0));
  Analysed key(cursor.a.text2, 1);
  ASSERT_EQ(0, ks_SelListKeys(&key.a, rowid.Cols()));
  EXPECT_EQ("SELECT ROWID FROM t ORDER BY b, ROWID", key.Out());
}

TEST(KeyQuery, KeyConditionComesBeforeTheStatementsOwn) {
  Keys two({{"K1"}, {"K2"}});
  Keys joined({{"ID", 0, "EMP", "e"}, {"NO", 0, "DEPT", "", "HR"}, {"X", 0, "T"}});
  struct Case {
    const char *sql;
    KsKeyCols keys;
    uint32_t groups;
    const char *want;
  } cases[] = {
      {"SELECT a FROM t", two.Cols(), 2, "SELECT a FROM t  WHERE ( K1 = ? AND K2 = ? OR K1 = ? AND K2 = ? )"},
      {"SELECT a FROM t WHERE c = ? ORDER BY a", two.Cols(), 1,
       "SELECT a FROM t WHERE ( K1 = ? AND K2 = ? ) AND (c = ?) ORDER BY a"},
      // More than one table: alias, else owner.table, else table.
      {"SELECT 1 FROM EMP e, HR.DEPT, T", joined.Cols(3), 1,
       "SELECT 1 FROM EMP e, HR.DEPT, T  WHERE ( e.ID = ? AND HR.DEPT.NO = ? AND T.X = ? )"},
  };
  for (const Case &c : cases) {
    Analysed a(c.sql);
    EXPECT_EQ(0, KS_KeyWhereBuild(&a.a, c.keys, c.groups)) << c.sql;
    EXPECT_EQ(Norm(c.want), a.Out()) << c.sql;
  }
  Analysed a("SELECT a FROM t");
  EXPECT_EQ(E_S1000, KS_KeyWhereBuild(&a.a, two.Cols(), 0));
  EXPECT_EQ(E_S1000, KS_KeyWhereBuild(&a.a, KsKeyCols{}, 1));
}

// ---- Key parameters ---------------------------------------------------------------------------

TEST(KeyParams, GroupsTakeConsecutiveRowsAndRepeatTheLast) {
  DatasetHolder src{IntRows({{1, 10}, {2, 20}, {3, 30}, {4, 40}})};
  struct Case {
    uint32_t first, groups, rows;
    std::vector<int32_t> want;  // the first key column of each group
  } cases[] = {
      {0, 1, 1, {1}},
      {1, 3, 3, {2, 3, 4}},
      {1, 4, 2, {2, 3, 3, 3}},      // a short last block repeats its last key
      {2, 4, 4, {3, 4, 4, 4}},      // and so do rows beyond the source's end
  };
  for (const Case &c : cases) {
    DatasetHolder out;
    ASSERT_EQ(0, KS_KeyParamsBuild(src.ds, c.first, c.groups, c.rows, &out.ds, 0, 0, 0, nullptr, nullptr));
    ASSERT_EQ(c.groups * 2, out.ds->columns);
    ASSERT_EQ(1, out.ds->rows);
    for (uint32_t g = 0; g < c.groups; ++g) {
      EXPECT_EQ(c.want[g], IntAt(out.ds, static_cast<uint16_t>(2 * g))) << c.first << "/" << g;
      EXPECT_EQ(c.want[g] * 10, IntAt(out.ds, static_cast<uint16_t>(2 * g + 1))) << c.first << "/" << g;
    }
    EXPECT_TRUE(DatasetCheck(out.ds));
  }
  DatasetHolder none;
  for (auto [first, groups, rows] : {std::tuple{0u, 0u, 0u}, {0u, 1u, 2u}, {4u, 1u, 1u}})
    EXPECT_EQ(E_S1000, KS_KeyParamsBuild(src.ds, first, groups, rows, &none.ds, 0, 0, 0, nullptr, nullptr));
  EXPECT_EQ(nullptr, none.ds);
}

TEST(KeyParams, NullColumnsAreLeftOutAndFlagged) {
  DatasetHolder src{IntRows({{1, 10, 5}, {2, std::nullopt, 6}})};
  DatasetHolder out;
  uint16_t excluded = 0;
  int16_t *flags = nullptr;
  ASSERT_EQ(0, KS_KeyParamsBuild(src.ds, 0, 2, 2, &out.ds, 0, 0, 1, &excluded, &flags));
  EXPECT_EQ(1, excluded);
  ASSERT_NE(nullptr, flags);
  EXPECT_EQ((std::vector<int16_t>{0, 1, 0}), std::vector<int16_t>(flags, flags + 3));
  free(flags);
  ASSERT_EQ(4, out.ds->columns);
  EXPECT_EQ(1, IntAt(out.ds, 0));
  EXPECT_EQ(5, IntAt(out.ds, 1));
  EXPECT_EQ(2, IntAt(out.ds, 2));
  EXPECT_EQ(6, IntAt(out.ds, 3));
  DatasetHolder bad;
  EXPECT_EQ(E_S1000, KS_KeyParamsBuild(src.ds, 0, 1, 1, &bad.ds, 0, 0, 1, nullptr, nullptr));
}

TEST(KeyParams, TextValuesTakeTheirOwnLengthsAndLongValuesTheirOwnCopies) {
  Dataset src{};
  ASSERT_EQ(0, DatasetInit(&src, 4));
  src.cols[0] = {VT_STRING, 11, nullptr, nullptr};
  src.cols[1] = {VT_CHAR, 8, nullptr, nullptr};
  src.cols[2] = {VT_WCHAR, 8, nullptr, nullptr};
  src.cols[3] = {VT_LONGCHAR, 16, nullptr, nullptr};
  src.columns = 4;
  ASSERT_EQ(0, DatasetAllocRows(&src, 1));
  for (uint16_t c = 0; c < 4; ++c) src.cols[c].indicators[0] = 0;
  memcpy(src.cols[0].values, "abc", 4);
  memcpy(src.cols[1].values, "xy\0\0\0\0\0\0", 8);
  const uint16_t wide[4] = {'p', 'q', 0, 0};
  memcpy(src.cols[2].values, wide, 8);
  LongValue lv{5, malloc(5)};
  memcpy(lv.buffer, "hello", 5);
  memcpy(src.cols[3].values, &lv, sizeof lv);
  src.rows = 1;
  struct Case {
    int terminator, trim;
    uint32_t sizes[3];
  } cases[] = {
      {0, 0, {4, 8, 8}},
      {0, 1, {4, 2, 4}},
      {1, 1, {4, 3, 6}},
      {1, 0, {4, 9, 10}},
  };
  for (const Case &c : cases) {
    DatasetHolder out;
    ASSERT_EQ(0, KS_KeyParamsBuild(&src, 0, 1, 1, &out.ds, c.terminator, c.trim, 0, nullptr, nullptr));
    for (uint16_t i = 0; i < 3; ++i) EXPECT_EQ(c.sizes[i], out.ds->cols[i].size) << c.terminator << c.trim << i;
    EXPECT_STREQ("abc", reinterpret_cast<char *>(out.ds->cols[0].values));
    EXPECT_EQ(0, memcmp(out.ds->cols[1].values, "xy", 2));
    EXPECT_EQ(0, memcmp(out.ds->cols[2].values, wide, 4));
    LongValue copy;
    memcpy(&copy, out.ds->cols[3].values, sizeof copy);
    EXPECT_NE(lv.buffer, copy.buffer);
    ASSERT_EQ(5u, copy.length);
    EXPECT_EQ(0, memcmp(copy.buffer, "hello", 5));
  }
  DatasetFree(&src);
}

// ---- Boundary predicates ----------------------------------------------------------------------

TEST(DynKeyRules, FollowTheNullCollation) {
  struct Case {
    int16_t collation;
    bool desc;
    bool follow;  // NEXT
    int rule;     // NEXT
  } cases[] = {
      {KS_NC_HIGH, false, true, 1}, {KS_NC_HIGH, true, false, 2}, {KS_NC_LOW, false, false, 2},
      {KS_NC_LOW, true, true, 1},   {KS_NC_START, false, false, 2}, {KS_NC_END, true, true, 1},
  };
  for (const Case &c : cases) {
    EXPECT_EQ(c.follow, ks_NullsFollow(KS_NEXT, c.desc, c.collation)) << c.collation << c.desc;
    EXPECT_EQ(!c.follow, ks_NullsFollow(KS_PRIOR, c.desc, c.collation)) << c.collation << c.desc;
    EXPECT_EQ(c.rule, ks_NullBoundaryRule(KS_NEXT, c.desc, c.collation)) << c.collation << c.desc;
    EXPECT_EQ(3 - c.rule, ks_NullBoundaryRule(KS_PRIOR, c.desc, c.collation)) << c.collation << c.desc;
  }
  EXPECT_EQ(1, ks_BoundaryRow(KS_NEXT, KS_BEYOND));
  EXPECT_EQ(0, ks_BoundaryRow(KS_NEXT, KS_FROM_OTHER));
  EXPECT_EQ(0, ks_BoundaryRow(KS_PRIOR, KS_BEYOND));
  EXPECT_EQ(1, ks_BoundaryRow(KS_PRIOR, KS_BEYOND_OTHER));
  EXPECT_STREQ(">=", ks_CompareOp(KS_NEXT, true, false));
  EXPECT_STREQ("<", ks_CompareOp(KS_NEXT, false, true));
  EXPECT_STREQ("<=", ks_CompareOp(KS_PRIOR, true, false));
  EXPECT_STREQ(">", ks_CompareOp(KS_PRIOR, false, true));
}

// The key statement of a dynamic cursor with its predicate and parameters.
struct Built {
  std::string sql;
  std::vector<std::optional<int32_t>> params;
};

Built BuildKeySelect(const char *cursorSql, const KsSortSpec &s, int direction, int mode) {
  Analysed key(cursorSql, 1);
  DatasetHolder params;
  EXPECT_EQ(0, KS_KeySelectBuild(s, &key.a, direction, mode, 0, &params.ds));
  Built b{key.Out(), {}};
  if (params.ds)
    for (uint16_t c = 0; c < params.ds->columns; ++c) b.params.push_back(IntAt(params.ds, c));
  return b;
}

TEST(DynKeyPredicate, ReadsLikeTheSortOrder) {
  Keys k({{"K"}});
  Keys k12({{"K1"}, {"K2"}});
  Keys rowid({{"ROWID"}});
  Orders none({});
  Orders a({{"a"}});
  Orders aDesc({{"a", true}});
  DatasetHolder kb{IntRows({{3}, {7}})};
  DatasetHolder k12b{IntRows({{1, 2}, {3, 4}})};
  // Key ROWID first, then a, as the key statement reads them.
  DatasetHolder ab{IntRows({{11, 5}, {12, 6}})};
  DatasetHolder aNull{IntRows({{11, 5}, {12, std::nullopt}})};
  using P = std::vector<std::optional<int32_t>>;
  struct Case {
    const char *sql;
    KsSortSpec spec;
    int direction, mode;
    const char *want;
    P params;
  } cases[] = {
      {"SELECT a FROM t ORDER BY K", {k.Cols(), none.v, 1, KS_NC_HIGH, kb.ds}, KS_NEXT, KS_BEYOND,
       "SELECT K FROM t  WHERE ( K > ?  ) ORDER BY K", P{7}},
      {"SELECT a FROM t ORDER BY K", {k.Cols(), none.v, 1, KS_NC_HIGH, kb.ds}, KS_PRIOR, KS_BEYOND,
       "SELECT K FROM t  WHERE ( K < ?  ) ORDER BY K", P{3}},
      {"SELECT a FROM t WHERE b = 1 ORDER BY K1, K2", {k12.Cols(), none.v, 2, KS_NC_HIGH, k12b.ds}, KS_NEXT,
       KS_BEYOND, "SELECT K1, K2 FROM t WHERE ( K1 > ?  OR K1 = ? AND K2 > ?  ) AND (b = 1) ORDER BY K1, K2",
       P{3, 3, 4}},
      {"SELECT b FROM t ORDER BY a, ROWID", {rowid.Cols(), a.v, 2, KS_NC_HIGH, ab.ds}, KS_NEXT, KS_BEYOND,
       "SELECT ROWID, a FROM t  WHERE ( (a > ? OR a IS NULL)  OR a = ? AND ROWID > ?  ) ORDER BY a, ROWID",
       P{6, 6, 12}},
      {"SELECT b FROM t ORDER BY a DESC, ROWID", {rowid.Cols(), aDesc.v, 2, KS_NC_HIGH, ab.ds}, KS_NEXT,
       KS_BEYOND, "SELECT ROWID, a FROM t  WHERE ( a < ?  OR a = ? AND ROWID > ?  ) ORDER BY a DESC, ROWID",
       P{6, 6, 12}},
      // A NULL boundary: ascending nothing lies beyond it but later NULLs,
      // descending every value does.
      {"SELECT b FROM t ORDER BY a, ROWID", {rowid.Cols(), a.v, 2, KS_NC_HIGH, aNull.ds}, KS_NEXT, KS_BEYOND,
       "SELECT ROWID, a FROM t  WHERE ( a IS NULL AND ROWID > ?  ) ORDER BY a, ROWID", P{12}},
      {"SELECT b FROM t ORDER BY a DESC, ROWID", {rowid.Cols(), aDesc.v, 2, KS_NC_HIGH, aNull.ds}, KS_NEXT,
       KS_BEYOND, "SELECT ROWID, a FROM t  WHERE ( a IS NOT NULL  OR a IS NULL AND ROWID > ?  ) ORDER BY a DESC, ROWID",
       P{12}},
      // From the first row on: only the last term takes the row itself.
      {"SELECT b FROM t ORDER BY a, ROWID", {rowid.Cols(), a.v, 2, KS_NC_HIGH, ab.ds}, KS_NEXT, KS_FROM_OTHER,
       "SELECT ROWID, a FROM t  WHERE ( (a > ? OR a IS NULL)  OR a = ? AND ROWID >= ?  ) ORDER BY a, ROWID",
       P{5, 5, 11}},
      {"SELECT b FROM t ORDER BY a, ROWID", {rowid.Cols(), a.v, 2, KS_NC_HIGH, ab.ds}, KS_FIRST, KS_BEYOND,
       "SELECT ROWID, a FROM t ORDER BY a, ROWID", P{}},
  };
  for (const Case &c : cases) {
    Built b = BuildKeySelect(c.sql, c.spec, c.direction, c.mode);
    EXPECT_EQ(Norm(c.want), b.sql) << c.sql << " " << c.direction << "/" << c.mode;
    EXPECT_EQ(c.params, b.params) << c.sql << " " << c.direction << "/" << c.mode;
  }
}

TEST(DynKeyPredicate, SortColumnMapPutsNonKeyItemsBehindTheKeys) {
  Keys keys({{"K1"}, {"K2", 2}});
  Orders items({{"a"}, {"K2"}, {"b", true}});
  DatasetHolder bounds{IntRows({{1, 2, 3, 4}, {1, 2, 3, 4}})};
  KsSortSpec s{keys.Cols(), items.v, 4, KS_NC_HIGH, bounds.ds};
  uint16_t *map = nullptr;
  ASSERT_EQ(0, ks_SortColumnMap(s, &map));
  EXPECT_EQ((std::vector<uint16_t>{2, 1, 3, 0}), std::vector<uint16_t>(map, map + 4));
  free(map);
  s.d = 5;  // past the last key
  EXPECT_EQ(E_S1000, ks_SortColumnMap(s, &map));
  std::string text;
  bool dropped = false;
  s.d = 4;
  EXPECT_EQ(E_S1000, ks_DynKeyTerm(1, s, KS_FIRST, KS_BEYOND, &text, &dropped));
  EXPECT_EQ(E_S1000, ks_DynKeyTerm(5, s, KS_NEXT, KS_BEYOND, &text, &dropped));
}

#ifdef KVD_HAVE_SQLITE
// Rows (K unique, A nullable with ties) in the order the database gives them
// with NULLs high: ascending last, descending first.
struct Row {
  int k;
  std::optional<int> a;
};

bool Before(const Row &x, const Row &y, bool desc) {
  if (x.a != y.a) {
    if (!x.a) return desc;   // NULL above every value
    if (!y.a) return !desc;
    return desc ? *x.a > *y.a : *x.a < *y.a;
  }
  return x.k < y.k;
}

// The keys the predicate selects, per SQLite (NULL comparisons do not depend
// on the collation).
std::vector<int> Selected(sqlite3 *db, const Built &b) {
  std::string where = b.sql.substr(b.sql.find("WHERE"));
  where = where.substr(0, where.find(" ORDER BY"));
  std::string sql = "SELECT K FROM t " + where + " ORDER BY K";
  sqlite3_stmt *st = nullptr;
  EXPECT_EQ(SQLITE_OK, sqlite3_prepare_v2(db, sql.c_str(), -1, &st, nullptr)) << sql << sqlite3_errmsg(db);
  for (size_t i = 0; i < b.params.size(); ++i) {
    if (b.params[i]) sqlite3_bind_int(st, static_cast<int>(i + 1), *b.params[i]);
    else sqlite3_bind_null(st, static_cast<int>(i + 1));
  }
  std::vector<int> out;
  while (sqlite3_step(st) == SQLITE_ROW) out.push_back(sqlite3_column_int(st, 0));
  sqlite3_finalize(st);
  return out;
}

TEST(DynKeyPredicate, SelectsExactlyTheRowsBeyondItsBoundaryWithNullsAndTies) {
  const std::vector<Row> rows = {{1, 5}, {2, std::nullopt}, {3, 5}, {4, 2}, {5, std::nullopt},
                                 {6, 9}, {7, 2},            {8, 5}, {9, std::nullopt}};
  sqlite3 *db = nullptr;
  ASSERT_EQ(SQLITE_OK, sqlite3_open(":memory:", &db));
  sqlite3_exec(db, "CREATE TABLE t (K INTEGER, a INTEGER)", nullptr, nullptr, nullptr);
  for (const Row &r : rows) {
    std::string ins = "INSERT INTO t VALUES (" + std::to_string(r.k) + ", " +
                      (r.a ? std::to_string(*r.a) : std::string("NULL")) + ")";
    sqlite3_exec(db, ins.c_str(), nullptr, nullptr, nullptr);
  }
  Keys key({{"K"}});
  for (bool desc : {false, true}) {
    Orders items({{"a", desc}});
    std::vector<Row> sorted = rows;
    std::sort(sorted.begin(), sorted.end(), [&](const Row &x, const Row &y) { return Before(x, y, desc); });
    for (size_t first = 0; first < sorted.size(); ++first) {
      for (size_t last = first; last < sorted.size() && last < first + 3; ++last) {
        // The block held: rows first..last; key K first, then a.
        DatasetHolder bounds{IntRows({{sorted[first].k, sorted[first].a}, {sorted[last].k, sorted[last].a}})};
        KsSortSpec s{key.Cols(), items.v, 2, KS_NC_HIGH, bounds.ds};
        const std::string sql = std::string("SELECT b FROM t ORDER BY a") + (desc ? " DESC" : "") + ", K";
        struct Want {
          int direction, mode;
          size_t from, to;  // positions in sorted order, [from, to)
        } wants[] = {
            {KS_NEXT, KS_BEYOND, last + 1, sorted.size()},
            {KS_PRIOR, KS_BEYOND, 0, first},
            {KS_NEXT, KS_BEYOND_OTHER, first + 1, sorted.size()},
            {KS_NEXT, KS_FROM_OTHER, first, sorted.size()},
            {KS_PRIOR, KS_FROM_OTHER, 0, last + 1},
        };
        for (const Want &w : wants) {
          Built b = BuildKeySelect(sql.c_str(), s, w.direction, w.mode);
          std::vector<int> want;
          for (size_t i = w.from; i < w.to; ++i) want.push_back(sorted[i].k);
          std::sort(want.begin(), want.end());
          EXPECT_EQ(want, Selected(db, b)) << b.sql << " desc " << desc << " block " << first << ".." << last
                                           << " dir " << w.direction << " mode " << w.mode;
        }
      }
    }
  }
  sqlite3_close(db);
}
#endif

}  // namespace
