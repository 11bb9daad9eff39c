// The keyset's life cycle: what each step empties and what it keeps.
#include "scrs/ks.h"

#include <gtest/gtest.h>

#include <cstdlib>

#include "odbc/dataset.h"
#include "odbc/sqlstate.h"
#include "odbc/valuetype.h"
#include "scrs/ptree.h"
#include "scrs/scr.h"

namespace {

// A keyset as a build leaves it: one key column, two keys with statuses.
void Fill(KeySet *ks) {
  ks->keyCols = VArray_New(sizeof(ScsColDesc));
  ASSERT_NE(ks->keyCols, nullptr);
  ScsColDesc col{};
  snprintf(col.name, sizeof col.name, "\"ID\"");
  ASSERT_TRUE(VArray_Append(ks->keyCols, &col));
  ks->tableCount = 2;
  ASSERT_EQ(DatasetInit(ks->keys, 1), 0);
  ks->keys->cols[0].type = VT_SSHORT;
  ks->keys->cols[0].size = 2;
  ks->keys->columns = 1;
  ASSERT_EQ(DatasetAllocRows(ks->keys, 2), 0);
  ks->keys->rows = 2;
  ks->rowStatus = static_cast<int16_t *>(calloc(2, sizeof(int16_t)));
}

TEST(KeySet, LifeCycle) {
  EXPECT_EQ(KS_New(nullptr), E_S1000);
  KeySet *ks = nullptr;
  ASSERT_EQ(KS_New(&ks), 0);
  ASSERT_NE(ks, nullptr);
  EXPECT_EQ(ks->rowStatus, nullptr);
  EXPECT_EQ(ks->keyCols, nullptr);
  EXPECT_EQ(ks->keys->columns, 0);
  EXPECT_EQ(ks->cache.mode, DSC_MEMORY);

  // Close: the values go, the key columns stay for the next build.
  Fill(ks);
  ASSERT_EQ(dsc_Open(&ks->cache), 0);
  KS_Close(ks);
  EXPECT_EQ(ks->keys->rows, 0);
  EXPECT_EQ(ks->keys->columns, 0);
  EXPECT_EQ(ks->rowStatus, nullptr);
  EXPECT_EQ(ks->cache.mode, DSC_MEMORY);
  EXPECT_EQ(ks->cache.data, nullptr);
  ASSERT_NE(ks->keyCols, nullptr);
  EXPECT_EQ(ks->keyCols->count, 1u);
  EXPECT_EQ(ks->tableCount, 2);

  // Reset: the key columns go too; the keyset itself stays usable.
  KS_Reset(ks);
  EXPECT_EQ(ks->keyCols, nullptr);
  ASSERT_NE(ks->keys, nullptr);

  // Free with everything in place, then a second free of the cleared pointer.
  Fill(ks);
  KS_Free(&ks);
  EXPECT_EQ(ks, nullptr);
  KS_Free(&ks);
  KS_Close(nullptr);
  KS_Reset(nullptr);
}

}  // namespace
