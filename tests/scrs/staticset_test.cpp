// The static result set: sequential and explicit reads over a result held
// in memory or spilled to the cache files.
#include "scrs/staticset.h"

#include <gtest/gtest.h>

#include "dsc_lower.h"
#include "odbc/dataset.h"
#include "odbc/sqlstate.h"

namespace {

using dsctest::Lower;

struct Static : ::testing::Test {
  void SetUp() override { ASSERT_EQ(SS_New(&ss), 0); }
  void TearDown() override {
    DatasetFree(&rows);
    SS_Free(&ss);
  }
  // A read into the test's Dataset: the first id delivered, or -1 for none.
  int32_t Read(int32_t first, int32_t n) {
    Dataset *out = &rows;
    EXPECT_EQ(SS_GetRowset(ss, first, n, &out), 0);
    if (rows.rows == 0) return -1;
    int32_t id = -1;
    memcpy(&id, rows.cols[0].values, 4);
    return id;
  }
  StaticSet *ss = nullptr;
  Dataset rows{};
};

TEST_F(Static, SequentialReadsThenTheEndMark) {
  Lower lower(12);
  int32_t count = -1;
  ASSERT_EQ(SS_GetRsltSet(ss, lower.Object(), lower.kCursor, &count), 0);
  EXPECT_EQ(count, 12);
  const struct {
    int32_t first, n, firstId, rows, nextRow;
  } steps[] = {
      {-1, 5, 0, 5, 5},
      {-1, 5, 5, 5, 10},
      {-1, 5, 10, 2, -2},
      {-1, 5, -1, 0, -2},   // the end mark holds for sequential reads
      {0, 3, 0, 3, 0},      // and not for reads at an explicit row
      {7, 3, 7, 3, 7},
      {11, 3, 11, 1, 11},
      {12, 3, -1, 0, 12},
      {-1, 2, -1, 0, -2},   // sequential from the explicit row 12: nothing left
  };
  for (const auto &s : steps) {
    SCOPED_TRACE(::testing::Message() << s.first << "," << s.n);
    EXPECT_EQ(Read(s.first, s.n), s.firstId);
    EXPECT_EQ(rows.rows, s.rows);
    for (int32_t r = 0; r < rows.rows; ++r) EXPECT_TRUE(lower.Matches(rows, r, s.firstId + r));
    EXPECT_EQ(ss->nextRow, s.nextRow);
  }
}

TEST_F(Static, SpilledReadsAnywhere) {
  Lower lower(12000);
  int32_t count = -1;
  ASSERT_EQ(SS_GetRsltSet(ss, lower.Object(), lower.kCursor, &count), 0);
  EXPECT_EQ(count, 12000);
  EXPECT_EQ(ss->windowStart, -1);
  for (int32_t first : {6000, 0, 11990, 4999, 5000, 11999, 1}) {
    SCOPED_TRACE(first);
    EXPECT_EQ(Read(first, 10), first);
    const int32_t expect = first + 10 <= 12000 ? 10 : 12000 - first;
    ASSERT_EQ(rows.rows, expect);
    for (int32_t r = 0; r < rows.rows; ++r) ASSERT_TRUE(lower.Matches(rows, r, first + r));
  }
  EXPECT_EQ(Read(12000, 10), -1);
  // A sequential read of the whole result in blocks of 1000.
  ss->nextRow = 0;
  int32_t seen = 0;
  while (Read(-1, 1000) != -1) {
    for (int32_t r = 0; r < rows.rows; ++r) ASSERT_TRUE(lower.Matches(rows, r, seen + r));
    seen += rows.rows;
  }
  EXPECT_EQ(seen, 12000);
}

TEST_F(Static, EmptyResultAndRefill) {
  Lower none(0);
  int32_t count = -1;
  ASSERT_EQ(SS_GetRsltSet(ss, none.Object(), none.kCursor, &count), 0);
  EXPECT_EQ(count, 0);
  EXPECT_EQ(Read(-1, 5), -1);
  EXPECT_EQ(Read(0, 5), -1);
  // A new fill starts from nothing: the spilled files of the last one go.
  Lower more(6000);
  ASSERT_EQ(SS_GetRsltSet(ss, more.Object(), more.kCursor, &count), 0);
  EXPECT_EQ(count, 6000);
  Lower few(3);
  ASSERT_EQ(SS_GetRsltSet(ss, few.Object(), few.kCursor, &count), 0);
  EXPECT_EQ(ss->cache.mode, DSC_MEMORY);
  EXPECT_EQ(Read(-1, 5), 0);
  EXPECT_EQ(rows.rows, 3);
  // A caller without a Dataset gets one made.
  Dataset *made = nullptr;
  ASSERT_EQ(SS_GetRowset(ss, 1, 2, &made), 0);
  ASSERT_NE(made, nullptr);
  EXPECT_EQ(made->rows, 2);
  DatasetFree(made);
  free(made);
  EXPECT_EQ(SS_GetRowset(nullptr, 0, 1, &made), E_S1000);
}

}  // namespace
