// The Rowset record and the rows of a fetch block.
#include <gtest/gtest.h>

#include "odbc/data/rowset.h"
#include "odbc/dataset.h"
#include "odbc/sqlstate.h"

namespace {

TEST(Rowset, NewRefusesNoRows) {
  for (int32_t n : {0, -1}) {
    Rowset *r = reinterpret_cast<Rowset *>(0x1);
    EXPECT_EQ(RowsetNew(&r, n), E_S1000);
    EXPECT_EQ(r, reinterpret_cast<Rowset *>(0x1));
  }
  EXPECT_EQ(RowsetNew(nullptr, 3), E_S1000);
  EXPECT_EQ(RowsetInit(nullptr, 3), E_S1000);
}

TEST(Rowset, FreshRowsetHasNoRows) {
  Rowset *r = nullptr;
  ASSERT_EQ(RowsetNew(&r, 4), 0);
  EXPECT_EQ(r->count, 4);
  for (int i = 0; i < 4; ++i) EXPECT_EQ(r->status[i], 3);
  ASSERT_NE(r->rows, nullptr);
  EXPECT_EQ(r->rows->columns, 0);
  EXPECT_EQ(r->rows->rows, 0);
  RowsetFree(&r);
  EXPECT_EQ(r, nullptr);
  RowsetFree(&r);
  EXPECT_EQ(r, nullptr);
}

TEST(Rowset, InitOnAFilledRowsetStartsAfresh) {
  Rowset *r = nullptr;
  ASSERT_EQ(RowsetNew(&r, 2), 0);
  ColDesc d[1] = {};
  d[0].valueType = VT_LONGCHAR;
  d[0].octetLength = 100;
  ASSERT_EQ(DatasetFromColDescs(d, 1, 2, r->rows), 0);
  r->rows->rows = 1;
  r->rows->cols[0].indicators[0] = 0;
  LongValue lv{3, malloc(3)};  // freed with the rows
  memcpy(r->rows->cols[0].values, &lv, sizeof lv);
  r->status[0] = 0;
  ASSERT_EQ(RowsetInit(r, 5), 0);
  EXPECT_EQ(r->count, 5);
  EXPECT_EQ(r->status[0], 3);
  EXPECT_EQ(r->rows->columns, 0);
  RowsetClear(r);
  EXPECT_EQ(r->rows, nullptr);
  EXPECT_EQ(r->status, nullptr);
  RowsetClear(nullptr);
  RowsetFree(&r);
}

// A row is costed by its indicator and value; 65535 bytes make a block, and
// a row wider than that still makes a block of one.
TEST(RowsPerBlock, ByValueTypes) {
  ColDesc wide[1] = {};
  wide[0].valueType = VT_WCHAR;
  wide[0].octetLength = 100;
  EXPECT_EQ(RowsPerBlock(wide, 1), 324);
  ColDesc huge[1] = {};
  huge[0].valueType = VT_CHAR;
  huge[0].octetLength = 70000;
  EXPECT_EQ(RowsPerBlock(huge, 1), 1);
  ColDesc mix[3] = {};
  mix[0].valueType = VT_SLONG;   // 6
  mix[1].valueType = VT_DOUBLE;  // 10
  mix[2].valueType = VT_STRING;  // 18
  EXPECT_EQ(RowsPerBlock(mix, 3), 65535 / 34);
  EXPECT_EQ(RowsPerBlock(nullptr, 0), 0);
}

}  // namespace
