// Dataset row and column operations: every long buffer is copied or moved,
// never shared, and freed exactly once; layouts and capacities are checked.
#include <gtest/gtest.h>

#include "dstest.h"

using namespace dstest;

namespace {

class DatasetOpsTest : public ::testing::Test {
 protected:
  void TearDown() override {
    g_dsAllocFailAt = -1;
    ExpectNoLeaks();
  }
};

using Rows = std::vector<std::vector<Val>>;

Rows AllRows(const Dataset &ds) {
  Rows out;
  for (int32_t r = 0; r < ds.rows; ++r) {
    std::vector<Val> row;
    for (uint16_t c = 0; c < ds.columns; ++c) row.push_back(Get(ds, c, uint32_t(r)));
    out.push_back(row);
  }
  return out;
}

Bytes I32(int32_t v) { return Bytes(reinterpret_cast<const char *>(&v), 4); }

// A key-like layout: an integer, a long text and a short string.
const std::initializer_list<ColSpec> kMixed = {{VT_SLONG, 4}, {VT_LONGCHAR, 16}, {VT_STRING, 7}};

// ---- RowInsert -------------------------------------------------------------------

TEST_F(DatasetOpsTest, RowInsertMovesLaterRowsDownWithTheirBuffers) {
  Owned d;
  Build(*d, kMixed, 3, {{I32(1), Bytes("A"), Bytes("a")}, {I32(2), Bytes("B"), kNull}});
  void *bufA = LongAt(*d, 1, 0).buffer;
  ASSERT_EQ(DatasetRowInsert(&*d, 0), 0);
  ExpectSound({&*d});
  EXPECT_EQ(AllRows(*d), (Rows{{kNull, kNull, kNull}, {I32(1), Bytes("A"), Bytes("a")}, {I32(2), Bytes("B"), kNull}}));
  EXPECT_EQ(LongAt(*d, 1, 1).buffer, bufA);
  EXPECT_EQ(LongAt(*d, 1, 0).buffer, nullptr);
  EXPECT_EQ(DatasetRowInsert(&*d, 0), E_S1000);  // full
}

TEST_F(DatasetOpsTest, RowInsertAtTheEndAndOutOfRange) {
  Owned d;
  Build(*d, kMixed, 4, {{I32(1), Bytes("A"), Bytes("a")}});
  EXPECT_EQ(DatasetRowInsert(&*d, 2), E_S1000);  // above rows
  ASSERT_EQ(DatasetRowInsert(&*d, 1), 0);
  EXPECT_EQ(AllRows(*d), (Rows{{I32(1), Bytes("A"), Bytes("a")}, {kNull, kNull, kNull}}));
  // A buffer left in the element just past the rows is not lost when an
  // insertion in front shifts onto it.
  Put(*d, 1, 2, Bytes("stale"));
  d->cols[1].indicators[2] = kIndNull;
  ASSERT_EQ(DatasetRowInsert(&*d, 0), 0);
  ExpectSound({&*d});
  EXPECT_EQ(d->rows, 3);
  Owned empty;
  ASSERT_EQ(DatasetInit(&*empty, 0), 0);
  EXPECT_EQ(DatasetRowInsert(&*empty, 0), E_S1000);  // no columns
  EXPECT_EQ(DatasetRowInsert(nullptr, 0), E_S1000);
}

// ---- RowCompare ----------------------------------------------------------------

struct CompareCase {
  const char *what;
  ColSpec col;
  Val left, right;
  bool equal;
};

TEST_F(DatasetOpsTest, RowCompareComparesNullsAndOnlyTheValueBytes) {
  const CompareCase cases[] = {
      {"both NULL", {VT_SLONG, 4}, kNull, kNull, true},
      {"NULL is not 0", {VT_SLONG, 4}, kNull, I32(0), false},
      {"0 is not NULL", {VT_SLONG, 4}, I32(0), kNull, false},
      {"NULL is not ''", {VT_STRING, 5}, kNull, Bytes(""), false},
      {"NULL long is not an empty long", {VT_LONGCHAR, 16}, kNull, Bytes(""), false},
      {"same numbers", {VT_DOUBLE, 8}, Bytes("12345678"), Bytes("12345678"), true},
      {"different numbers", {VT_SLONG, 4}, I32(1), I32(2), false},
      {"strings", {VT_STRING, 8}, Bytes("abc"), Bytes("abc"), true},
      {"string prefix", {VT_STRING, 8}, Bytes("ab"), Bytes("abc"), false},
      {"counted text", {VT_VARCHAR4, 12}, Bytes("abc"), Bytes("abc"), true},
      {"counted text, other length", {VT_VARCHAR4, 12}, Bytes("abc"), Bytes("abcd"), false},
      {"1-byte prefix", {VT_VARBIN1, 6}, Bytes("ab"), Bytes("ax"), false},
      {"wide string", {VT_WSTRING, 10}, U16(u"ab"), U16(u"ab"), true},
      {"wide counted", {VT_WVARCHAR4, 12}, U16(u"ab"), U16(u"ac"), false},
      {"long text", {VT_LONGCHAR, 16}, Bytes("long"), Bytes("long"), true},
      {"long text, other content", {VT_LONGCHAR, 16}, Bytes("long"), Bytes("lung"), false},
      {"long wide", {VT_LONGWCHAR, 16}, U16(u"ab"), U16(u"ab"), true},
  };
  for (const CompareCase &c : cases) {
    SCOPED_TRACE(c.what);
    Owned l, r;
    Build(*l, {c.col}, 1, {{c.left}});
    Build(*r, {c.col}, 1, {{c.right}});
    // Bytes behind a value are not part of it: stale padding must not count.
    if (c.left && c.col.type != VT_LONGCHAR && c.col.type != VT_LONGWCHAR && c.col.type != VT_SLONG &&
        c.col.type != VT_DOUBLE)
      ElemPtr(*l, 0, 0)[c.col.size - 1] = 'Z';
    int equal = -1;
    ASSERT_EQ(DatasetRowCompare(&*l, 0, &*r, 0, &equal), 0);
    EXPECT_EQ(equal, c.equal ? 1 : 0);
  }
}

TEST_F(DatasetOpsTest, RowCompareComparesTheRowsAsked) {
  const Rows rows = {{I32(1), Bytes("x"), Bytes("k")}, {I32(1), Bytes("y"), Bytes("k")}, {I32(1), Bytes("same"), Bytes("k")}};
  Owned l, r;
  Build(*l, kMixed, 3, rows);
  Build(*r, kMixed, 3, {{I32(1), Bytes("p"), Bytes("k")}, {I32(1), Bytes("q"), Bytes("k")}, {I32(1), Bytes("same"), Bytes("k")}});
  int equal = -1;
  ASSERT_EQ(DatasetRowCompare(&*l, 2, &*r, 2, &equal), 0);
  EXPECT_EQ(equal, 1);
  ASSERT_EQ(DatasetRowCompare(&*l, 0, &*r, 0, &equal), 0);
  EXPECT_EQ(equal, 0);
  ASSERT_EQ(DatasetRowCompare(&*l, 2, &*l, 2, &equal), 0);
  EXPECT_EQ(equal, 1);

  EXPECT_EQ(DatasetRowCompare(&*l, 3, &*r, 0, &equal), E_S1000);
  EXPECT_EQ(DatasetRowCompare(&*l, 0, &*r, 3, &equal), E_S1000);
  EXPECT_EQ(DatasetRowCompare(&*l, 0, &*r, 0, nullptr), E_S1000);
  EXPECT_EQ(DatasetRowCompare(nullptr, 0, &*r, 0, &equal), E_S1000);
  Owned other;
  Build(*other, {{VT_SLONG, 4}, {VT_LONGCHAR, 16}, {VT_STRING, 8}}, 1, {{I32(1), Bytes("x"), Bytes("k")}});
  EXPECT_EQ(DatasetRowCompare(&*l, 0, &*other, 0, &equal), E_S1000);  // element sizes differ
  Owned narrow;
  Build(*narrow, {{VT_SLONG, 4}}, 1, {{I32(1)}});
  EXPECT_EQ(DatasetRowCompare(&*l, 0, &*narrow, 0, &equal), E_S1000);  // column counts differ
}

// ---- RowCopy -------------------------------------------------------------------

TEST_F(DatasetOpsTest, RowCopyWithMoveHandsTheBufferOver) {
  Owned s, d;
  Build(*s, kMixed, 2, {{I32(7), Bytes("moved"), Bytes("m")}});
  Build(*d, kMixed, 2);
  void *buf = LongAt(*s, 1, 0).buffer;
  ASSERT_EQ(DatasetRowCopy(&*d, &*s, 0, 0, 1), 0);
  ExpectSound({&*s, &*d});
  EXPECT_EQ(LongAt(*d, 1, 0).buffer, buf);
  EXPECT_EQ(LongAt(*s, 1, 0).buffer, nullptr);
  EXPECT_EQ(AllRows(*d), (Rows{{I32(7), Bytes("moved"), Bytes("m")}}));
  // Freeing both (at scope end) frees the buffer once: the sanitizer checks.
}

TEST_F(DatasetOpsTest, RowCopyWithoutMoveDeepCopiesAndReplacesTheTargetBuffer) {
  Owned s, d;
  Build(*s, kMixed, 2, {{I32(1), Bytes("one"), Bytes("a")}, {kNull, kNull, kNull}});
  Build(*d, kMixed, 3, {{I32(9), Bytes("old"), Bytes("z")}, {I32(8), Bytes("held by a NULL row"), kNull}});
  d->cols[1].indicators[1] = kIndNull;  // a NULL row that still owns a buffer
  ASSERT_EQ(DatasetRowCopy(&*d, &*s, 0, 0, 0), 0);
  ASSERT_EQ(DatasetRowCopy(&*d, &*s, 1, 0, 0), 0);
  ExpectSound({&*s, &*d});
  EXPECT_NE(LongAt(*d, 1, 0).buffer, LongAt(*s, 1, 0).buffer);
  // A NULL source value leaves the target without a buffer.
  ASSERT_EQ(DatasetRowCopy(&*d, &*s, 1, 1, 0), 0);
  EXPECT_EQ(LongAt(*d, 1, 1).buffer, nullptr);
  ExpectSound({&*s, &*d});
  EXPECT_EQ(AllRows(*d), (Rows{{I32(1), Bytes("one"), Bytes("a")}, {kNull, kNull, kNull}}));
  EXPECT_EQ(AllRows(*s), (Rows{{I32(1), Bytes("one"), Bytes("a")}, {kNull, kNull, kNull}}));
}

TEST_F(DatasetOpsTest, RowCopyAppendsAtTheRowCountAndChecksIndexes) {
  Owned s, d;
  Build(*s, kMixed, 2, {{I32(1), Bytes("one"), Bytes("a")}, {I32(2), Bytes("two"), Bytes("b")}});
  Build(*d, kMixed, 2);
  ASSERT_EQ(DatasetRowCopy(&*d, &*s, 0, 1, 0), 0);  // a = rows: appends
  ASSERT_EQ(DatasetRowCopy(&*d, &*s, 7, 0, 0), 0);  // past the rows: appends too
  EXPECT_EQ(AllRows(*d), (Rows{{I32(2), Bytes("two"), Bytes("b")}, {I32(1), Bytes("one"), Bytes("a")}}));
  EXPECT_EQ(DatasetRowCopy(&*d, &*s, 2, 0, 0), E_S1000);  // full
  EXPECT_EQ(DatasetRowCopy(&*d, &*s, 0, 2, 0), E_S1000);  // source row = source rows
  // Copying a row onto itself is a no-op, not a use after free.
  ASSERT_EQ(DatasetRowCopy(&*d, &*d, 1, 1, 0), 0);
  ASSERT_EQ(DatasetRowCopy(&*d, &*d, 1, 1, 1), 0);
  ASSERT_EQ(DatasetRowCopy(&*d, &*d, 0, 1, 0), 0);
  ExpectSound({&*s, &*d});
  EXPECT_EQ(AllRows(*d), (Rows{{I32(1), Bytes("one"), Bytes("a")}, {I32(1), Bytes("one"), Bytes("a")}}));
}

TEST_F(DatasetOpsTest, RowCopyWithALaterLayoutMismatchCopiesNothing) {
  Owned s, d;
  Build(*s, {{VT_LONGCHAR, 16}, {VT_SLONG, 4}}, 1, {{Bytes("x"), I32(1)}});
  Build(*d, {{VT_LONGCHAR, 16}, {VT_ULONG, 4}}, 1);
  EXPECT_EQ(DatasetRowCopy(&*d, &*s, 0, 0, 1), E_S1000);
  EXPECT_EQ(d->rows, 0);
  EXPECT_EQ(LongAt(*d, 0, 0).buffer, nullptr);
  EXPECT_NE(LongAt(*s, 0, 0).buffer, nullptr);
  ExpectSound({&*s, &*d});
}

TEST_F(DatasetOpsTest, RowCopyChangesNothingWhenMemoryRunsOut) {
  Owned s, d;
  ForEachAllocFailure(
      [&] {
        Build(*s, {{VT_LONGCHAR, 16}, {VT_LONGWCHAR, 16}}, 1, {{Bytes("x"), U16(u"y")}});
        Build(*d, {{VT_LONGCHAR, 16}, {VT_LONGWCHAR, 16}}, 1, {{Bytes("old"), U16(u"old")}});
      },
      [&] { return DatasetRowCopy(&*d, &*s, 0, 0, 0); },
      [&](int) {
        ExpectSound({&*s, &*d});
        EXPECT_EQ(AllRows(*d), (Rows{{Bytes("old"), U16(u"old")}}));
      },
      [&] {
        DatasetFree(&*s);
        DatasetFree(&*d);
      });
}

// ---- Clone and CloneLayout -----------------------------------------------------

TEST_F(DatasetOpsTest, CloneIsDeep) {
  Owned s;
  Build(*s, kMixed, 3, {{I32(1), Bytes("one"), Bytes("a")}, {I32(2), kNull, kNull}});
  Dataset *c = nullptr;
  ASSERT_EQ(DatasetClone(&c, &*s), 0);
  ExpectSound({&*s, c});
  EXPECT_EQ(c->capacity, 3);
  EXPECT_EQ(AllRows(*c), AllRows(*s));
  DatasetFree(c);
  std::free(c);
  EXPECT_EQ(AllRows(*s), (Rows{{I32(1), Bytes("one"), Bytes("a")}, {I32(2), kNull, kNull}}));
}

TEST_F(DatasetOpsTest, CloneOfADatasetWithoutRowsHasNoColumnsInUse) {
  Owned s;
  Build(*s, kMixed, 3);
  Dataset *c = nullptr;
  ASSERT_EQ(DatasetClone(&c, &*s), 0);
  ExpectSound({c});
  EXPECT_EQ(c->slots, 3);
  EXPECT_EQ(c->columns, 0);
  EXPECT_EQ(c->capacity, 0);
  DatasetFree(c);
  std::free(c);
  EXPECT_EQ(DatasetClone(nullptr, &*s), E_S1000);
}

TEST_F(DatasetOpsTest, CloneFreesThePartialCopyWhenMemoryRunsOut) {
  Owned s;
  Build(*s, kMixed, 3, {{I32(1), Bytes("one"), Bytes("a")}, {I32(2), Bytes("two"), kNull}});
  Dataset *c = nullptr;
  ForEachAllocFailure(
      [&] {}, [&] { return DatasetClone(&c, &*s); },
      [&](int) {
        EXPECT_EQ(c, nullptr);
        ExpectSound({&*s});
      },
      [&] {
        if (c) DatasetFree(c);
        std::free(c);
        c = nullptr;
      });
}

TEST_F(DatasetOpsTest, CloneLayoutNewExistingAndItself) {
  Owned s;
  Build(*s, kMixed, 2, {{I32(1), Bytes("one"), Bytes("a")}});
  Dataset *t = nullptr;
  ASSERT_EQ(DatasetCloneLayout(&t, &*s, 5), 0);
  ExpectSound({t});
  EXPECT_EQ(t->columns, 3);
  EXPECT_EQ(t->capacity, 5);
  EXPECT_EQ(t->rows, 0);
  EXPECT_EQ(t->cols[2].size, 7u);
  // An existing Dataset is emptied (its buffers freed) and reused.
  ASSERT_EQ(DatasetRowCopy(t, &*s, 0, 0, 0), 0);
  Dataset *same = t;
  ASSERT_EQ(DatasetCloneLayout(&t, &*s, 1), 0);
  EXPECT_EQ(t, same);
  EXPECT_EQ(t->rows, 0);
  EXPECT_EQ(t->capacity, 1);
  // Onto itself: same layout, fresh storage.
  ASSERT_EQ(DatasetRowCopy(t, &*s, 0, 0, 0), 0);
  ASSERT_EQ(DatasetCloneLayout(&t, t, 4), 0);
  ExpectSound({t, &*s});
  EXPECT_EQ(t->columns, 3);
  EXPECT_EQ(t->capacity, 4);
  EXPECT_EQ(t->rows, 0);
  DatasetFree(t);
  std::free(t);
  EXPECT_EQ(DatasetCloneLayout(nullptr, &*s, 1), E_S1000);
}

TEST_F(DatasetOpsTest, CloneLayoutFailureFreesANewRecord) {
  Owned s;
  Build(*s, kMixed, 2);
  Dataset *t = nullptr;
  ForEachAllocFailure(
      [&] {}, [&] { return DatasetCloneLayout(&t, &*s, 3); }, [&](int) { EXPECT_EQ(t, nullptr); },
      [&] {
        if (t) DatasetFree(t);
        std::free(t);
        t = nullptr;
      });
}

// ---- Append ----------------------------------------------------------------------

TEST_F(DatasetOpsTest, AppendMovesTheSourceBuffers) {
  Owned d, s;
  Build(*d, kMixed, 4, {{I32(1), Bytes("one"), Bytes("a")}});
  Build(*s, kMixed, 2, {{I32(2), Bytes("two"), kNull}, {I32(3), kNull, Bytes("c")}});
  void *two = LongAt(*s, 1, 0).buffer;
  ASSERT_EQ(DatasetAppend(&*d, &*s), 0);
  ExpectSound({&*d, &*s});
  EXPECT_EQ(d->rows, 3);
  EXPECT_EQ(d->capacity, 3);
  EXPECT_EQ(AllRows(*d), (Rows{{I32(1), Bytes("one"), Bytes("a")}, {I32(2), Bytes("two"), kNull}, {I32(3), kNull, Bytes("c")}}));
  EXPECT_EQ(LongAt(*d, 1, 1).buffer, two);
  EXPECT_EQ(LongAt(*s, 1, 0).buffer, nullptr);
  EXPECT_EQ(s->rows, 2);  // the source keeps its rows, lengths and indicators
}

TEST_F(DatasetOpsTest, AppendGrowsTheStorageBlockByBlock) {
  Owned all;
  Build(*all, kMixed, 4);  // room for the first block, then growth
  Rows expected;
  for (int32_t i = 0; i < 5; ++i) {
    Owned block;
    Build(*block, kMixed, 3, {{I32(i), Bytes("long " + std::to_string(i)), kNull}, {kNull, kNull, Bytes("s")}});
    // A buffer past the destination's rows is freed, not lost.
    if (all->capacity > all->rows) Put(*all, 1, uint32_t(all->rows), Bytes("stale"));
    ASSERT_EQ(DatasetAppend(&*all, &*block), 0);
    ExpectSound({&*all, &*block});
    expected.push_back({I32(i), Bytes("long " + std::to_string(i)), kNull});
    expected.push_back({kNull, kNull, Bytes("s")});
  }
  EXPECT_EQ(all->rows, 10);
  EXPECT_EQ(all->capacity, 10);
  EXPECT_EQ(AllRows(*all), expected);
}

TEST_F(DatasetOpsTest, AppendOfNothingAndOfOtherLayouts) {
  Owned d, s, other;
  Build(*d, kMixed, 2, {{I32(1), Bytes("one"), Bytes("a")}});
  Build(*s, kMixed, 2);
  ASSERT_EQ(DatasetAppend(&*d, &*s), 0);
  EXPECT_EQ(d->rows, 1);
  EXPECT_EQ(d->capacity, 2);
  Build(*other, {{VT_SLONG, 4}, {VT_LONGCHAR, 16}}, 1, {{I32(2), Bytes("x")}});
  EXPECT_EQ(DatasetAppend(&*d, &*other), E_S1000);
  EXPECT_EQ(DatasetAppend(&*d, &*d), E_S1000);
  ExpectSound({&*d, &*s, &*other});
}

TEST_F(DatasetOpsTest, AppendChangesNoRowWhenMemoryRunsOut) {
  Owned d, s;
  ForEachAllocFailure(
      [&] {
        Build(*d, kMixed, 1, {{I32(1), Bytes("one"), Bytes("a")}});
        Build(*s, kMixed, 2, {{I32(2), Bytes("two"), Bytes("b")}});
      },
      [&] { return DatasetAppend(&*d, &*s); },
      [&](int) {
        ExpectSound({&*d, &*s});
        EXPECT_EQ(d->capacity, 1);
        EXPECT_EQ(AllRows(*d), (Rows{{I32(1), Bytes("one"), Bytes("a")}}));
        EXPECT_EQ(AllRows(*s), (Rows{{I32(2), Bytes("two"), Bytes("b")}}));
      },
      [&] {
        DatasetFree(&*d);
        DatasetFree(&*s);
      });
}

// ---- JoinCols --------------------------------------------------------------------

TEST_F(DatasetOpsTest, JoinColsPutsTheOthersColumnsFirst) {
  Owned d, o;
  Build(*d, {{VT_SLONG, 4}, {VT_STRING, 3}}, 2, {{I32(1), Bytes("d1")}, {I32(2), Bytes("d2")}});
  Build(*o, {{VT_LONGCHAR, 16}, {VT_DOUBLE, 8}, {VT_STRING, 5}}, 2,
        {{Bytes("o1"), Bytes("87654321"), Bytes("x")}, {kNull, Bytes("12345678"), Bytes("y")}});
  ASSERT_EQ(DatasetJoinCols(&*d, &*o), 0);
  ExpectSound({&*d, &*o});
  EXPECT_EQ(d->columns, 5);
  EXPECT_EQ(d->slots, 5);
  EXPECT_EQ(AllRows(*d), (Rows{{Bytes("o1"), Bytes("87654321"), Bytes("x"), I32(1), Bytes("d1")},
                               {kNull, Bytes("12345678"), Bytes("y"), I32(2), Bytes("d2")}}));
  // The other keeps its column records, without storage.
  EXPECT_EQ(o->columns, 0);
  EXPECT_EQ(o->cols[0].type, VT_LONGCHAR);
  EXPECT_EQ(o->cols[0].values, nullptr);
}

TEST_F(DatasetOpsTest, JoinColsRefusesMismatchedRowsAndTooSmallCapacity) {
  Owned d, o, small;
  Build(*d, {{VT_SLONG, 4}}, 3, {{I32(1)}});
  Build(*o, {{VT_SLONG, 4}}, 3, {{I32(1)}, {I32(2)}});
  EXPECT_EQ(DatasetJoinCols(&*d, &*o), E_S1000);
  // Same rows, but the moved columns would hold fewer rows than the capacity.
  Build(*small, {{VT_LONGCHAR, 16}}, 1, {{Bytes("s")}});
  EXPECT_EQ(DatasetJoinCols(&*d, &*small), E_S1000);
  EXPECT_EQ(DatasetJoinCols(&*d, &*d), E_S1000);
  EXPECT_EQ(DatasetJoinCols(&*d, nullptr), E_S1000);
  ExpectSound({&*d, &*o, &*small});
}

TEST_F(DatasetOpsTest, JoinColsWithALargerOtherFreesItsBuffersBeyondTheCapacity) {
  Owned d, o;
  Build(*d, {{VT_SLONG, 4}}, 1, {{I32(1)}});
  Build(*o, {{VT_LONGCHAR, 16}}, 3, {{Bytes("kept")}});
  Put(*o, 0, 2, Bytes("beyond"));
  ASSERT_EQ(DatasetJoinCols(&*d, &*o), 0);
  ExpectSound({&*d, &*o});
  EXPECT_EQ(AllRows(*d), (Rows{{Bytes("kept"), I32(1)}}));
}

// ---- Reverse ---------------------------------------------------------------------

TEST_F(DatasetOpsTest, ReverseGivesRowsInReverseOrderWithOwnBuffers) {
  Owned s;
  Dataset *d = nullptr;
  Build(*s, kMixed, 3, {{I32(1), Bytes("A"), Bytes("a")}, {I32(2), Bytes("B"), kNull}, {I32(3), kNull, Bytes("c")}});
  ASSERT_EQ(DatasetClone(&d, &*s), 0);
  Dataset *before = d;
  ASSERT_EQ(DatasetReverse(&d), 0);
  EXPECT_NE(d, before);
  ExpectSound({d, &*s});
  EXPECT_EQ(AllRows(*d), (Rows{{I32(3), kNull, Bytes("c")}, {I32(2), Bytes("B"), kNull}, {I32(1), Bytes("A"), Bytes("a")}}));
  DatasetFree(d);
  std::free(d);
  Dataset *none = nullptr;
  EXPECT_EQ(DatasetReverse(&none), E_S1000);
  EXPECT_EQ(DatasetReverse(nullptr), E_S1000);
}

TEST_F(DatasetOpsTest, ReverseKeepsTheOldDatasetWhenMemoryRunsOut) {
  Owned s;
  Build(*s, kMixed, 2, {{I32(1), Bytes("A"), Bytes("a")}, {I32(2), Bytes("B"), kNull}});
  Dataset *d = nullptr;
  Dataset *before = nullptr;
  ForEachAllocFailure(
      [&] {
        ASSERT_EQ(DatasetClone(&d, &*s), 0);
        before = d;
      },
      [&] { return DatasetReverse(&d); },
      [&](int) {
        EXPECT_EQ(d, before);
        EXPECT_EQ(AllRows(*d), AllRows(*s));
      },
      [&] {
        DatasetFree(d);
        std::free(d);
        d = nullptr;
      });
}

// ---- column operations -----------------------------------------------------------

TEST_F(DatasetOpsTest, ColDeleteMovesLaterColumnsDown) {
  Owned d;
  Build(*d, kMixed, 3, {{I32(1), Bytes("A"), Bytes("a")}, {I32(2), Bytes("B"), Bytes("b")}});
  Put(*d, 1, 2, Bytes("past the rows"));  // freed with the column too
  ASSERT_EQ(DatasetColDelete(&*d, 0), 0);
  ASSERT_EQ(DatasetColDelete(&*d, 0), 0);
  ExpectSound({&*d});
  EXPECT_EQ(d->columns, 1);
  EXPECT_EQ(d->slots, 3);
  EXPECT_EQ(AllRows(*d), (Rows{{Bytes("a")}, {Bytes("b")}}));
  EXPECT_EQ(DatasetColDelete(&*d, 1), E_S1000);
  EXPECT_EQ(DatasetColDelete(nullptr, 0), E_S1000);
}

TEST_F(DatasetOpsTest, ColDeleteOfTheFirstOfThree) {
  Owned d;
  Build(*d, kMixed, 1, {{I32(1), Bytes("A"), Bytes("a")}});
  ASSERT_EQ(DatasetColDelete(&*d, 0), 0);
  ExpectSound({&*d});
  EXPECT_EQ(d->cols[0].type, VT_LONGCHAR);
  EXPECT_EQ(d->cols[1].type, VT_STRING);
  EXPECT_EQ(AllRows(*d), (Rows{{Bytes("A"), Bytes("a")}}));
}

TEST_F(DatasetOpsTest, ColInsertAddsAnAllNullColumnWithStorageForTheCapacity) {
  Owned d;
  Build(*d, {{VT_SLONG, 4}, {VT_STRING, 3}}, 3, {{I32(1), Bytes("a")}, {I32(2), Bytes("b")}});
  ASSERT_EQ(DatasetColInsert(&*d, 1, VT_LONGWCHAR, 16), 0);
  ASSERT_EQ(DatasetColInsert(&*d, 3, VT_DOUBLE, 8), 0);
  ASSERT_EQ(DatasetColInsert(&*d, 0, VT_WSTRING, 4), 0);
  ExpectSound({&*d});
  EXPECT_EQ(d->columns, 5);
  EXPECT_EQ(d->slots, 5);
  EXPECT_EQ(AllRows(*d), (Rows{{kNull, I32(1), kNull, Bytes("a"), kNull}, {kNull, I32(2), kNull, Bytes("b"), kNull}}));
  EXPECT_EQ(DatasetColInsert(&*d, 6, VT_SLONG, 4), E_S1000);
  EXPECT_EQ(DatasetColInsert(&*d, 0, VT_VARCHAR4, 2), E_S1000);  // too small for its prefix
  ExpectSound({&*d});
}

TEST_F(DatasetOpsTest, ColInsertLeavesTheDatasetUnchangedWhenMemoryRunsOut) {
  Owned d;
  ForEachAllocFailure(
      [&] { Build(*d, {{VT_SLONG, 4}}, 2, {{I32(1)}}); },
      [&] { return DatasetColInsert(&*d, 0, VT_STRING, 4); },
      [&](int) {
        ExpectSound({&*d});
        EXPECT_EQ(AllRows(*d), (Rows{{I32(1)}}));
      },
      [&] { DatasetFree(&*d); });
}

TEST_F(DatasetOpsTest, ColCopyDeepCopiesOneColumn) {
  Owned s, d;
  Build(*s, kMixed, 2, {{I32(1), Bytes("A"), Bytes("a")}, {I32(2), kNull, Bytes("b")}});
  Build(*d, {{VT_LONGCHAR, 16}, {VT_SLONG, 4}}, 2, {{Bytes("old"), I32(5)}, {Bytes("old2"), I32(6)}});
  ASSERT_EQ(DatasetColCopy(&*d, &*s, 0, 1), 0);
  ExpectSound({&*s, &*d});
  EXPECT_EQ(AllRows(*d), (Rows{{Bytes("A"), I32(5)}, {kNull, I32(6)}}));
  EXPECT_EQ(LongAt(*d, 0, 1).buffer, nullptr);  // a NULL long value gets no buffer

  EXPECT_EQ(DatasetColCopy(&*d, &*s, 1, 1), E_S1000);  // types differ
  EXPECT_EQ(DatasetColCopy(&*d, &*d, 0, 0), E_S1000);  // same column
  EXPECT_EQ(DatasetColCopy(&*d, &*s, 2, 0), E_S1000);
  EXPECT_EQ(DatasetColCopy(&*d, &*s, 0, 3), E_S1000);
  Owned three;
  Build(*three, kMixed, 3, {{I32(1), kNull, kNull}, {I32(1), kNull, kNull}, {I32(1), kNull, kNull}});
  EXPECT_EQ(DatasetColCopy(&*d, &*three, 0, 1), E_S1000);  // row counts differ
  ExpectSound({&*s, &*d, &*three});
}

TEST_F(DatasetOpsTest, ColCopyBuildsADatasetColumnByColumn) {
  Owned s;
  Build(*s, kMixed, 3, {{I32(1), Bytes("A"), Bytes("a")}, {I32(2), Bytes("B"), kNull}, {I32(3), kNull, Bytes("c")}});
  // The key-column way: insert a column, copy into it, one after the other.
  Owned d;
  ASSERT_EQ(DatasetInit(&*d, 0), 0);
  const uint16_t order[] = {2, 0, 1};
  for (uint16_t i = 0; i < 3; ++i) {
    int32_t type;
    uint32_t size;
    ASSERT_EQ(DatasetColInfo(&*s, order[i], &type, &size), 0);
    ASSERT_EQ(DatasetColInsert(&*d, i, type, size), 0);
    ASSERT_EQ(DatasetColCopy(&*d, &*s, i, order[i]), 0);
    ExpectSound({&*s, &*d});
  }
  EXPECT_EQ(d->rows, 3);
  EXPECT_EQ(d->capacity, 3);
  EXPECT_EQ(AllRows(*d), (Rows{{Bytes("a"), I32(1), Bytes("A")}, {kNull, I32(2), Bytes("B")}, {Bytes("c"), I32(3), kNull}}));

  // With all columns laid out first, the columns not yet copied get storage
  // for the new capacity instead of being left short of it.
  Owned e;
  ASSERT_EQ(DatasetInit(&*e, 3), 0);
  for (uint16_t i = 0; i < 3; ++i) e->cols[i] = {s->cols[i].type, s->cols[i].size, nullptr, nullptr};
  e->columns = 3;
  ASSERT_EQ(DatasetColCopy(&*e, &*s, 1, 1), 0);
  ExpectSound({&*s, &*e});
  ASSERT_EQ(DatasetColCopy(&*e, &*s, 0, 0), 0);
  ASSERT_EQ(DatasetColCopy(&*e, &*s, 2, 2), 0);
  ExpectSound({&*s, &*e});
  EXPECT_EQ(AllRows(*e), AllRows(*s));
}

TEST_F(DatasetOpsTest, ColCopyLeavesTheTargetUnchangedWhenMemoryRunsOut) {
  Owned s, d;
  ForEachAllocFailure(
      [&] {
        Build(*s, kMixed, 2, {{I32(1), Bytes("A"), Bytes("a")}, {I32(2), Bytes("B"), Bytes("b")}});
        Build(*d, kMixed, 1);
      },
      [&] { return DatasetColCopy(&*d, &*s, 1, 1); },
      [&](int) {
        ExpectSound({&*s, &*d});
        EXPECT_EQ(d->rows, 0);
        EXPECT_EQ(d->capacity, 1);
      },
      [&] {
        DatasetFree(&*s);
        DatasetFree(&*d);
      });
}

}  // namespace
