// Values concurrency over the agent and a database of the OCI stand-in: the
// compared values the cursor layer keeps follow every fetch, so that a
// positioned change compares what the rows hold now.
#include <cstring>
#include <string>
#include <vector>

#include "exec_fixture.h"
#include "odbc/data/rowset.h"
#include "scrs/sc_install.h"
#include "scrs/sc_s.h"

namespace exec_test {
namespace {

struct ValuesTest : ExecTest {
  DrvHandle cur = 0;
  Rowset *rs = nullptr;
  void TearDown() override {
    RowsetFree(&rs);
    if (cur) Free(cur);
    ExecTest::TearDown();
  }
  // The rowset at the orientation, and the A column of the values the layer keeps.
  std::vector<std::string> Fetch(uint16_t orientation, int32_t value) {
    RowsetFree(&rs);
    uint32_t rows = 0;
    int32_t count = 0;
    EXPECT_EQ(0, DrvCall<&DrvOps::DRV_FetchScroll>(&drv, cur, &rs, value, &rows, &count, orientation));
    std::vector<std::string> out;
    const ScsCursor *s = scs_p_LayerCursor(cur);
    if (!s || !s->valuesCache) return out;
    for (int32_t r = 0; r < s->valuesCache->rows; ++r) {
      const void *data = nullptr;
      uint32_t n = 0;
      EXPECT_EQ(0, DatasetValueRef(s->valuesCache, static_cast<uint32_t>(r), 1, &data, &n));
      out.emplace_back(static_cast<const char *>(data), n);
    }
    return out;
  }
};

TEST_F(ValuesTest, EveryFetchRefreshesTheComparedValues) {
  Connect();
  ASSERT_EQ(0, Run("CREATE TABLE t (k NUMBER(10) PRIMARY KEY, a VARCHAR2(10))"));
  for (int i = 1; i <= 6; ++i)
    ASSERT_EQ(0, Run(("INSERT INTO t VALUES (" + std::to_string(i) + ", 'a" + std::to_string(i) + "')").c_str()));
  // As the front end does at connect: the capabilities asked let dynamic cursors in.
  int32_t caps = 0;
  int16_t len = 0;
  ASSERT_EQ(0, DrvCall<&DrvOps::DRV_GetInfo>(&drv, conn, INFO_CAPS_MASK, &caps, 4, &len));
  for (int32_t type : {1 /* keyset-driven */, 2 /* dynamic */}) {
    SCOPED_TRACE(type);
    // A keyset-driven cursor is told its first row, a dynamic one moves.
    const int32_t first = type == 1 ? 1 : 0, next = type == 1 ? 4 : 0;
    cur = Cursor();
    ASSERT_EQ(0, SetCursorInt(cur, 6, type));
    ASSERT_EQ(0, SetCursorInt(cur, 7, 4));  // values
    ASSERT_EQ(0, SetCursorInt(cur, 9, 3));
    ASSERT_EQ(0, Prepare(cur, "SELECT k, a FROM t ORDER BY k"));
    ASSERT_EQ(0, Execute(cur));
    EXPECT_EQ(Fetch(1 /* NEXT */, first), (std::vector<std::string>{"a1", "a2", "a3"}));
    // Another session changes a row of the rowset: the re-read shows it.
    DrvHandle mine = conn;
    DrvHandle other = Connect();
    DrvHandle oc = Cursor(other);
    ASSERT_EQ(0, ExecDirect(oc, ("UPDATE t SET a = 'new" + std::to_string(type) + "' WHERE k = 2").c_str()));
    Free(oc);
    EXPECT_EQ(0, DrvCall<&DrvOps::DRV_Disconnect>(&drv, other));
    conn = mine;
    EXPECT_EQ(Fetch(6 /* RELATIVE */, first), (std::vector<std::string>{"a1", "new" + std::to_string(type), "a3"}));
    EXPECT_EQ(Fetch(1, next), (std::vector<std::string>{"a4", "a5", "a6"}));
    RowsetFree(&rs);
    Free(cur);
    cur = 0;
    ASSERT_EQ(0, Run("UPDATE t SET a = 'a2' WHERE k = 2"));
  }
  // A static cursor reads the values of its whole result with the result.
  cur = Cursor();
  ASSERT_EQ(0, SetCursorInt(cur, 6, 3));
  ASSERT_EQ(0, SetCursorInt(cur, 7, 4));
  ASSERT_EQ(0, SetCursorInt(cur, 9, 2));
  ASSERT_EQ(0, Prepare(cur, "SELECT k, a FROM t ORDER BY k"));
  ASSERT_EQ(0, Execute(cur));
  EXPECT_EQ(Fetch(1, 1), (std::vector<std::string>{"a1", "a2", "a3", "a4", "a5", "a6"}));
}

}  // namespace
}  // namespace exec_test
