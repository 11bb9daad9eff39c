// The agent's procedure operations at the DrvOps level against the OCI
// stand-in: what the application cannot reach through the Driver Manager
// (parameter records the front end always sends) and the failure of one
// REF CURSOR among several.
#include "../exec/exec_fixture.h"

using namespace exec_test;

namespace {

class ProcTest : public ExecTest {};

// Output values need a parameter record for every marker: fewer answer
// 07001 instead of reading past the records.
TEST_F(ProcTest, FewerParameterRecordsThanMarkersAre07001) {
  Connect();
  ASSERT_EQ(0, Run("CREATE OR REPLACE PROCEDURE P_IO(A IN NUMBER, B OUT VARCHAR2, C IN OUT NUMBER) AS\n"
                   "BEGIN\n  B := 'n=' || A;\n  C := C + 1;\nEND;"));
  DrvHandle cur = Cursor();
  ASSERT_EQ(0, Prepare(cur, "{call P_IO(?, ?, ?)}"));
  const ParamInfo info[3] = {{4, 4, 10, 0, 1}, {12, 1, 20, 0, 4}, {4, 4, 10, 0, 2}};
  for (uint16_t records : {uint16_t{2}, uint16_t{3}}) {
    SCOPED_TRACE(records);
    Params p({{VT_SLONG, 4}, {VT_SLONG, 4}}, 1);
    p.Int(0, 0, 5).Int(0, 1, 7);
    ASSERT_EQ(0, DrvCall<&DrvOps::DRV_SetParams>(&drv, cur, p.Give()));
    ASSERT_EQ(0, DrvCall<&DrvOps::DRV_SetParamInfo>(&drv, cur, records, info));
    if (records < 3) {
      EXPECT_EQ(E_07001, Execute(cur));
      continue;
    }
    ASSERT_EQ(E_IM906, Execute(cur));
    Dataset out{};
    ASSERT_EQ(0, DrvCall<&DrvOps::DRV_Fetch>(&drv, cur, uint16_t{0}, &out));
    ASSERT_EQ(2, out.columns);
    ASSERT_EQ(1, out.rows);
    uint32_t len = 16;
    char b[16] = "";
    ASSERT_EQ(0, DatasetValueGet(&out, 0, 0, b, &len));
    EXPECT_EQ("n=5", std::string(b, len));
    int32_t c = 0;
    memcpy(&c, out.cols[1].values, sizeof c);
    EXPECT_EQ(8, c);
    DatasetFree(&out);
  }
  Free(cur);
}

// A REF CURSOR the procedure left unopened fails with the server's error
// once it is reached; the statement is closed and runs again.
TEST_F(ProcTest, UnopenedRefCursorFailsItsStepOnly) {
  Connect();
  ASSERT_EQ(0, Run("CREATE OR REPLACE PROCEDURE P_HALF(A OUT SYS_REFCURSOR, B OUT SYS_REFCURSOR) AS\n"
                   "BEGIN\n  OPEN A FOR SELECT 1 FROM DUAL;\nEND;"));
  DrvHandle cur = Cursor();
  ASSERT_EQ(0, Prepare(cur, "{call P_HALF}"));
  for (int run = 0; run < 2; ++run) {
    SCOPED_TRACE(run);
    ASSERT_EQ(0, Execute(cur));
    Dataset ds{};
    ASSERT_EQ(0, DrvCall<&DrvOps::DRV_Fetch>(&drv, cur, uint16_t{10}, &ds));
    EXPECT_EQ(1, ds.rows);
    DatasetFree(&ds);
    // The server says so when the cursor is described or fetched.
    int32_t rc = DrvCall<&DrvOps::DRV_MoreResults>(&drv, cur);
    EXPECT_NE(E_IM901, rc);
    if (rc == 0) {
      rc = DrvCall<&DrvOps::DRV_Fetch>(&drv, cur, uint16_t{10}, &ds);
      DatasetFree(&ds);
    }
    EXPECT_NE(0, rc);
    Msgs m = Errors(cur);
    ASSERT_FALSE(m.texts.empty());
    EXPECT_NE(std::string::npos, m.texts[0].find("ORA-24338")) << m.texts[0];
    ASSERT_EQ(0, DrvCall<&DrvOps::DRV_CloseCursor>(&drv, cur));
  }
  Free(cur);
}

}  // namespace
