// Extended column attributes: compaction of an agent's list, the statement's
// set and its lookup, and the text ownership rule of colattr.h (every text
// freed exactly once, none used after it is freed).
#include "odbc/colattr.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "odbc/sqlstate.h"
#include "util/hashtab.h"

extern long g_dsAllocFailAt;
extern "C" int __lsan_do_recoverable_leak_check(void);

namespace {

ColAttr Int(int16_t column, int16_t attribute, int32_t v) {
  ColAttr a{column, attribute, COLATTR_INT, {}};
  a.value.integer = v;
  return a;
}
ColAttr Text(int16_t column, int16_t attribute, const char *t) {
  ColAttr a{column, attribute, COLATTR_TEXT, {}};
  a.value.text = t ? strdup(t) : nullptr;
  return a;
}
ColAttr Real(int16_t column, int16_t attribute, double v) {
  ColAttr a{column, attribute, COLATTR_DOUBLE, {}};
  a.value.real = v;
  return a;
}

// A list on the heap, as an agent builds it.
ColAttr *HeapList(const std::vector<ColAttr> &recs) {
  auto *list = static_cast<ColAttr *>(malloc(recs.size() * sizeof(ColAttr)));
  std::memcpy(list, recs.data(), recs.size() * sizeof(ColAttr));
  return list;
}

struct Key {
  int16_t column, attribute;
  bool operator==(const Key &) const = default;
};

std::vector<Key> Keys(const ColAttr *list, int32_t n) {
  std::vector<Key> out;
  for (int32_t i = 0; i < n; ++i) out.push_back({list[i].column, list[i].attribute});
  return out;
}

class ColAttrTest : public ::testing::Test {
 protected:
  void TearDown() override {
    g_dsAllocFailAt = -1;
    EXPECT_EQ(__lsan_do_recoverable_leak_check(), 0) << "leaked blocks";
  }
};

struct CompactCase {
  const char *what;
  std::vector<ColAttr> list;
  std::vector<Key> kept;
};

// Fresh records (with texts of their own) for every run.
std::vector<CompactCase> CompactCases() {
  const double nan = std::nan("");
  return {
      {"per-column repeat of the all-columns value is dropped",
       {Int(0, 12, 0), Int(1, 12, 0), Int(2, 12, 1)}, {{0, 12}, {2, 12}}},
      {"negative attribute never reaches the array",
       {Int(0, 11, 0), Int(0, -13, 0), Int(1, -13, 3), Int(1, 11, 0)}, {{0, 11}}},
      {"a per-column record without an all-columns value is kept", {Int(1, 10, 2), Int(2, 10, 2)}, {{1, 10}, {2, 10}}},
      {"a new attribute starts without a reference value",
       {Int(0, 10, 2), Int(1, 10, 2), Int(1, 12, 2), Int(0, 12, 2), Int(2, 12, 2)}, {{0, 10}, {1, 12}, {0, 12}}},
      {"kinds differ: not equal", {Int(0, 10, 0), ColAttr{1, 10, COLATTR_INT2, {}}}, {{0, 10}, {1, 10}}},
      {"doubles compare by value, NaN never equal",
       {Real(0, 20, 1.5), Real(1, 20, 1.5), Real(2, 20, nan), Real(0, 21, nan), Real(1, 21, nan)},
       {{0, 20}, {2, 20}, {0, 21}, {1, 21}}},
      {"equal texts at different addresses are both kept", {Text(0, 14, "NUMBER"), Text(1, 14, "NUMBER")},
       {{0, 14}, {1, 14}}},
      {"NULL texts are the same pointer", {Text(0, 27, nullptr), Text(1, 27, nullptr), Text(2, 27, "'")},
       {{0, 27}, {2, 27}}},
  };
}

TEST_F(ColAttrTest, CompactionDropsRepeatsAndUnusedAttributes) {
  for (int mode : {1, 2}) {
    for (CompactCase &c : CompactCases()) {
      SCOPED_TRACE(std::string(c.what) + (mode == 2 ? " (mode 2)" : " (mode 1)"));
      ColAttr *list = HeapList(c.list);
      int32_t n = -1;
      ColAttr *out = reinterpret_cast<ColAttr *>(1);
      ASSERT_EQ(ColAttrListCopy(int32_t(c.list.size()), list, &n, &out, mode), 0);
      EXPECT_EQ(Keys(out, n), c.kept);
      for (int32_t i = 0; i < n; ++i) {
        if (out[i].kind != COLATTR_TEXT || !out[i].value.text) continue;
        // Every text of the copy is distinct from every text left in the list.
        for (size_t k = 0; k < c.list.size(); ++k) {
          if (list[k].kind == COLATTR_TEXT) {
            EXPECT_NE(list[k].value.text, out[i].value.text);
          }
        }
      }
      ColAttrListFree(out, n);
      ColAttrListFree(list, int32_t(c.list.size()));
    }
  }
}

TEST_F(ColAttrTest, TextsSurviveTheSourceListInBothModes) {
  for (int mode : {1, 2}) {
    SCOPED_TRACE(mode);
    // The agent's temporary rows: type name for all columns (NULL), own
    // copies per column, one repeating nothing.
    ColAttr *rows = HeapList({Text(0, 14, nullptr), Text(1, 14, "NUMBER"), Text(2, 14, "CHAR"), Int(0, -1053, 0),
                              Text(0, 27, nullptr), Text(1, 27, nullptr), Text(2, 27, "'")});
    int32_t n = 0;
    ColAttr *attrs = nullptr;
    ASSERT_EQ(ColAttrListCopy(7, rows, &n, &attrs, mode), 0);
    ColAttrListFree(rows, 7);  // the rows go; the copy's texts stay valid
    ASSERT_EQ(n, 5);
    EXPECT_STREQ(attrs[1].value.text, "NUMBER");
    EXPECT_STREQ(attrs[2].value.text, "CHAR");
    EXPECT_STREQ(attrs[4].value.text, "'");

    // The statement's set takes the texts over from the handed-up array.
    HashTable *set = nullptr;
    ASSERT_EQ(ColAttrSetBuild(attrs, n, &set), 0);
    ColAttrListFree(attrs, n);
    const char *text = nullptr;
    ASSERT_EQ(ColAttrLookup(set, 14, 2, nullptr, &text, nullptr), 1);
    EXPECT_STREQ(text, "CHAR");
    ASSERT_EQ(ColAttrLookup(set, 27, 1, nullptr, &text, nullptr), 1);
    EXPECT_EQ(text, nullptr);  // falls back to the all-columns entry
    ColAttrSetFree(set);
  }
}

TEST_F(ColAttrTest, LookupFallsBackToTheAllColumnsEntry) {
  ColAttr *list = HeapList({Int(0, 12, 0), Int(1, 12, 0), Int(2, 12, 1), Text(0, 14, "X"), Real(3, 30, 2.5),
                            Int(0, 11, 7)});
  int32_t n = 0;
  ColAttr *attrs = nullptr;
  ASSERT_EQ(ColAttrListCopy(6, list, &n, &attrs, 2), 0);
  HashTable *set = nullptr;
  ASSERT_EQ(ColAttrSetBuild(attrs, n, &set), 0);
  EXPECT_EQ(set->entries, n);

  int32_t v = -1;
  EXPECT_EQ(ColAttrLookup(set, 12, 1, &v, nullptr, nullptr), 1);
  EXPECT_EQ(v, 0);
  EXPECT_EQ(ColAttrLookup(set, 12, 2, &v, nullptr, nullptr), 1);
  EXPECT_EQ(v, 1);
  EXPECT_EQ(ColAttrLookup(set, 11, 9, &v, nullptr, nullptr), 1);
  EXPECT_EQ(v, 7);
  double d = 0;
  EXPECT_EQ(ColAttrLookup(set, 30, 3, nullptr, nullptr, &d), 1);
  EXPECT_EQ(d, 2.5);
  EXPECT_EQ(ColAttrLookup(set, 30, 2, nullptr, nullptr, &d), 0);  // no entry for column 2 nor 0
  // The out value for the entry's kind must be given.
  EXPECT_EQ(ColAttrLookup(set, 14, 1, &v, nullptr, &d), 0);
  EXPECT_EQ(ColAttrLookup(set, 12, 1, nullptr, nullptr, &d), 0);
  EXPECT_EQ(ColAttrLookup(set, 99, 1, &v, nullptr, nullptr), 0);
  EXPECT_EQ(ColAttrLookup(nullptr, 12, 1, &v, nullptr, nullptr), 0);

  ColAttrSetFree(set);
  ColAttrListFree(attrs, n);
  ColAttrListFree(list, 6);
}

TEST_F(ColAttrTest, KeyIsAttributeHighColumnLow) {
  EXPECT_EQ(ColAttrKey(12, 3), 12u * 65536 + 3);
  EXPECT_EQ(ColAttrKey(14, 0), 14u * 65536);
  // A later record with the same key replaces the earlier one, whose text is
  // freed then (the sanitizer would report a leak or a double free).
  ColAttr *list = HeapList({Text(1, 14, "first"), Text(1, 14, "second")});
  HashTable *set = nullptr;
  ASSERT_EQ(ColAttrSetBuild(list, 2, &set), 0);
  ColAttrListFree(list, 2);
  const char *text = nullptr;
  ASSERT_EQ(ColAttrLookup(set, 14, 1, nullptr, &text, nullptr), 1);
  EXPECT_STREQ(text, "second");
  EXPECT_EQ(set->entries, 1);
  ColAttrSetFree(set);
}

TEST_F(ColAttrTest, EmptyListsAndArguments) {
  int32_t n = -1;
  ColAttr *out = reinterpret_cast<ColAttr *>(1);
  EXPECT_EQ(ColAttrListCopy(0, nullptr, &n, &out, 2), 0);
  EXPECT_EQ(n, 0);
  EXPECT_EQ(out, nullptr);
  ColAttr *onlyUnused = HeapList({Int(0, -13, 0), Int(1, -1055, 0)});
  EXPECT_EQ(ColAttrListCopy(2, onlyUnused, &n, &out, 2), 0);
  EXPECT_EQ(n, 0);
  EXPECT_EQ(out, nullptr);
  ColAttrListFree(onlyUnused, 2);
  EXPECT_EQ(ColAttrListCopy(1, nullptr, nullptr, &out, 2), E_S1000);
  HashTable *set = nullptr;
  ASSERT_EQ(ColAttrSetBuild(nullptr, 0, &set), 0);
  EXPECT_EQ(set->entries, 0);
  ColAttrSetFree(set);
  ColAttrSetFree(nullptr);
  ColAttrListFree(nullptr, 3);
}

TEST_F(ColAttrTest, CopyLeavesTheSourceIntactWhenMemoryRunsOut) {
  for (long k = 0;; ++k) {
    ASSERT_LT(k, 100);
    ColAttr *list = HeapList({Text(0, 14, nullptr), Text(1, 14, "NUMBER"), Text(2, 14, "CHAR"), Int(0, 12, 0)});
    int32_t n = -1;
    ColAttr *out = nullptr;
    g_dsAllocFailAt = k;
    int rc = ColAttrListCopy(4, list, &n, &out, 2);
    bool reached = g_dsAllocFailAt < 0;
    g_dsAllocFailAt = -1;
    if (reached) {
      EXPECT_EQ(rc, E_S1001);
      EXPECT_EQ(n, 0);
      EXPECT_EQ(out, nullptr);
      EXPECT_STREQ(list[1].value.text, "NUMBER");
      EXPECT_STREQ(list[2].value.text, "CHAR");
    }
    ColAttrListFree(out, n);
    ColAttrListFree(list, 4);
    EXPECT_EQ(__lsan_do_recoverable_leak_check(), 0);
    if (!reached) {
      EXPECT_EQ(rc, 0);
      break;
    }
  }
}

}  // namespace
