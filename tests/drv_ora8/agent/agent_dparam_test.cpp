// Parameter description by query at the agent: probes run once per
// prepare, and only before the statement runs.
#include "agent_fixture.h"
#include "odbc/dataset.h"

namespace agent_test {
namespace {

constexpr uint32_t kDescribeByQuery = 0x3203000F;

class AgentDescribeParams : public AgentTest {
 protected:
  DrvHandle conn = 0, cur = 0;

  void SetUp() override {
    AgentTest::SetUp();
    conn = ConnectScott();
    ASSERT_EQ(0, DrvCall<&DrvOps::DRV_AllocCursor>(&drv, conn, &cur));
    Run("create table dq (n number(10) not null, p number(15,4))");
  }
  void TearDown() override {
    DrvCall<&DrvOps::DRV_FreeCursor>(&drv, cur);
    Disconnect(conn);
    AgentTest::TearDown();
  }

  void Run(const char *sql) {
    DrvHandle h = 0;
    ASSERT_EQ(0, DrvCall<&DrvOps::DRV_AllocCursor>(&drv, conn, &h));
    ASSERT_EQ(0, DrvCall<&DrvOps::DRV_Prepare>(&drv, h, sql));
    ASSERT_EQ(0, DrvCall<&DrvOps::DRV_Execute>(&drv, h));
    DrvCall<&DrvOps::DRV_FreeCursor>(&drv, h);
  }

  // Parameter i's Oracle type (0 when the cursor has no such parameter).
  int ParamType(uint16_t i) {
    uint16_t n = 0;
    ColDesc *d = nullptr;
    EXPECT_EQ(0, DrvCall<&DrvOps::DRV_DescribeParams>(&drv, cur, &n, &d));
    int t = i < n ? d[i].oraType : 0;
    ColDescFree(d, n);
    return t;
  }
};

TEST_F(AgentDescribeParams, ProbesRunOncePerPrepare) {
  EXPECT_EQ(E_S1010, SetInt(cur, kDescribeByQuery, 1));  // nothing prepared
  ASSERT_EQ(0, DrvCall<&DrvOps::DRV_Prepare>(&drv, cur, "update dq set p = ? where n = ?"));
  const int defaultType = ParamType(0);
  unsigned prepares = ocilite_test_calls(OCILITE_T_PREPARE);
  ASSERT_EQ(0, SetInt(cur, kDescribeByQuery, 1));
  EXPECT_EQ(prepares + 1, ocilite_test_calls(OCILITE_T_PREPARE));  // one probe
  EXPECT_EQ(ParamType(0), 2);  // NUMBER
  EXPECT_NE(ParamType(0), defaultType);
  ASSERT_EQ(0, SetInt(cur, kDescribeByQuery, 1));
  EXPECT_EQ(prepares + 1, ocilite_test_calls(OCILITE_T_PREPARE));  // not again

  // A new prepare describes again; a statement without markers runs nothing.
  ASSERT_EQ(0, DrvCall<&DrvOps::DRV_Prepare>(&drv, cur, "select n from dq where p = ?"));
  prepares = ocilite_test_calls(OCILITE_T_PREPARE);
  ASSERT_EQ(0, SetInt(cur, kDescribeByQuery, 1));
  EXPECT_EQ(prepares + 1, ocilite_test_calls(OCILITE_T_PREPARE));
  ASSERT_EQ(0, DrvCall<&DrvOps::DRV_Prepare>(&drv, cur, "select n from dq"));
  prepares = ocilite_test_calls(OCILITE_T_PREPARE);
  ASSERT_EQ(0, SetInt(cur, kDescribeByQuery, 1));
  EXPECT_EQ(prepares, ocilite_test_calls(OCILITE_T_PREPARE));
}

TEST_F(AgentDescribeParams, NothingAfterExecuteOrWhenMarkersAreUnaccounted) {
  ASSERT_EQ(0, DrvCall<&DrvOps::DRV_Prepare>(&drv, cur, "select n from dq where n = ? and ? = ?"));
  unsigned prepares = ocilite_test_calls(OCILITE_T_PREPARE);
  ASSERT_EQ(0, SetInt(cur, kDescribeByQuery, 1));
  EXPECT_EQ(prepares, ocilite_test_calls(OCILITE_T_PREPARE));
  EXPECT_NE(ParamType(0), 2);

  // The statement has run (as its execute leaves the cursor).
  ASSERT_EQ(0, DrvCall<&DrvOps::DRV_Prepare>(&drv, cur, "delete from dq where n = ?"));
  Agent_Cursor(cur)->state |= CURS_EXECUTED;
  prepares = ocilite_test_calls(OCILITE_T_PREPARE);
  ASSERT_EQ(0, SetInt(cur, kDescribeByQuery, 1));
  EXPECT_EQ(prepares, ocilite_test_calls(OCILITE_T_PREPARE));
}

}  // namespace
}  // namespace agent_test
