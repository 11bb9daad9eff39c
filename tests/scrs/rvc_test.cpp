// Row versions in TVXRVC against the agent over the OCI stand-in: first
// sight, changes by others, separate cursors, deletion, a missing table,
// and the digests and texts the versions are made of.
#include "scrs/rvc.h"

#include <unistd.h>

#include <cstring>
#include <string>
#include <vector>

#include "drv_ora8/db-private.h"
#include "exec_fixture.h"

using namespace exec_test;

namespace {

std::string Digest(Params &p, int32_t row) {
  unsigned char d[16];
  EXPECT_EQ(0, RVC_RowDigest(p.ds, static_cast<uint32_t>(row), d));
  return std::string(reinterpret_cast<char *>(d), 16);
}

TEST(RowVersionDigest, ValuesAreKeptApartByNullMarksAndLengths) {
  Params p({{VT_VARCHAR2, 8}, {VT_VARCHAR2, 8}}, 5);
  p.Prefixed(0, 0, "AB").Prefixed(0, 1, "C");
  p.Prefixed(1, 0, "A").Prefixed(1, 1, "BC");
  p.Null(2, 0);
  p.Prefixed(2, 1, "x");
  p.Prefixed(3, 0, "x");
  p.Null(3, 1);
  p.Prefixed(4, 0, "AB").Prefixed(4, 1, "C");
  EXPECT_NE(Digest(p, 0), Digest(p, 1));
  EXPECT_NE(Digest(p, 2), Digest(p, 3));
  EXPECT_EQ(Digest(p, 0), Digest(p, 4));
  unsigned char d[16];
  EXPECT_EQ(E_S1000, RVC_RowDigest(p.ds, 5, d));
}

TEST(RowVersionDigest, HexTextsFitTheirOutput) {
  unsigned char bytes[16];
  for (int i = 0; i < 16; ++i) bytes[i] = static_cast<unsigned char>(0xA0 + i);
  struct Case {
    size_t n, outSize, digits;
  } cases[] = {{16, 33, 32}, {16, 32, 30}, {15, 32, 30}, {16, 34, 32}, {1, 3, 2}, {1, 2, 0}, {16, 31, 30}};
  for (const Case &c : cases) {
    std::vector<char> out(c.outSize + 1, '\x7f');
    size_t len = 99;
    RVC_HexEncode(bytes, c.n, out.data(), c.outSize, &len);
    EXPECT_EQ(c.digits, len) << c.n << "/" << c.outSize;
    EXPECT_EQ(c.digits, strlen(out.data())) << c.n << "/" << c.outSize;
    EXPECT_EQ('\x7f', out[c.outSize]) << "nothing past the output";
    EXPECT_EQ(std::string("A0A1A2A3A4A5A6A7A8A9AAABACADAEAF").substr(0, c.digits), out.data());
  }
  char text[9];
  RVC_HandleText(0x2A, text);
  EXPECT_STREQ("0000002A", text);
}

class RowVersionTest : public ExecTest {
 protected:
  void SetUp() override {
    ExecTest::SetUp();
    Connect();
    ASSERT_TRUE(peek.Open(dir));
  }
  ConnectReq Request() {
    ConnectReq r{};
    r.host = "";
    r.serverOptions = "";
    r.serverType = "";
    r.dbPath = "";
    r.dataSource = "TEST";
    r.dbOptions = dir.c_str();
    r.user = "scott";
    r.password = "tiger";
    r.programName = "RVC_TEST";
    return r;
  }
  std::vector<int16_t> Check(RowVerCtl *ctl, Params &keys, Params &values) {
    std::vector<int16_t> status(static_cast<size_t>(values.ds->rows), -1);
    EXPECT_EQ(0, RVC_CheckVersions(ctl, keys.ds, 0, values.ds, static_cast<uint32_t>(values.ds->rows), status.data()));
    return status;
  }
};

TEST_F(RowVersionTest, RowsChangedSinceLastSeenAreReportedOncePerCursor) {
  ASSERT_EQ(0, Run("CREATE TABLE TVXRVC (HCONN VARCHAR2(8), HCURS VARCHAR2(8), KEYVER VARCHAR2(32), ROWVER VARCHAR2(32))"));
  const DrvHandle c1 = Cursor(), c2 = Cursor();
  ConnectReq req = Request();
  RowVerCtl a, b;
  RVC_Init(&a);
  RVC_Init(&b);
  ASSERT_EQ(0, RVC_Attach(&a, ORA_AgentObject(), server, &req, conn, c1, 0));
  ASSERT_EQ(0, RVC_Attach(&b, ORA_AgentObject(), server, &req, conn, c2, 1));
  char hconn[9];
  RVC_HandleText(static_cast<uint32_t>(getpid()), hconn);
  EXPECT_NE(a.hcurs, b.hcurs);

  Params keys({{VT_SLONG, 4}}, 3);
  Params values({{VT_VARCHAR2, 8}, {VT_VARCHAR2, 8}}, 3);
  for (int32_t r = 0; r < 3; ++r) {
    keys.Int(r, 0, r + 1);
    values.Prefixed(r, 0, "v" + std::to_string(r)).Prefixed(r, 1, "w");
  }
  using S = std::vector<int16_t>;
  EXPECT_EQ((S{0, 0, 0}), Check(&a, keys, values));  // first sight: versions made
  EXPECT_EQ((Rows{{"3"}}), peek.Query(std::string("SELECT COUNT(*) FROM TVXRVC WHERE HCONN = '") + hconn + "'"));
  EXPECT_EQ((S{0, 0, 0}), Check(&a, keys, values));
  // Another user changed row 2: reported once, then its version is current.
  values.Prefixed(1, 0, "v").Prefixed(1, 1, "1w");
  EXPECT_EQ((S{0, 2, 0}), Check(&a, keys, values));
  EXPECT_EQ((S{0, 0, 0}), Check(&a, keys, values));
  // The other cursor keeps versions of its own.
  EXPECT_EQ((S{0, 0, 0}), Check(&b, keys, values));
  values.Null(2, 1);
  EXPECT_EQ((S{0, 0, 2}), Check(&b, keys, values));
  EXPECT_EQ((S{0, 0, 2}), Check(&a, keys, values));

  EXPECT_EQ(0, RVC_DeleteVersions(&a));
  EXPECT_EQ((Rows{{"3"}}), peek.Query("SELECT COUNT(*) FROM TVXRVC"));
  EXPECT_EQ(0, RVC_Detach(&a));
  EXPECT_EQ(0, RVC_DeleteVersions(&b));
  EXPECT_EQ(0, RVC_Detach(&b));
  EXPECT_EQ((Rows{{"0"}}), peek.Query("SELECT COUNT(*) FROM TVXRVC"));
  Free(c1);
  Free(c2);
}

TEST_F(RowVersionTest, WithoutTheTableTheDatabasesErrorComesFirstThenIM926) {
  const DrvHandle c1 = Cursor();
  ConnectReq req = Request();
  RowVerCtl a;
  RVC_Init(&a);
  ASSERT_EQ(0, RVC_Attach(&a, ORA_AgentObject(), server, &req, conn, c1, 0));
  EXPECT_NE(0, RVC_DeleteVersions(&a));
  DrvMsgList list{};
  ASSERT_EQ(0, RVC_TakeErrors(&a, &list));
  ASSERT_GE(list.count, 2u);
  EXPECT_NE(nullptr, strstr(list.messages[0], "ORA-00942")) << list.messages[0];
  EXPECT_NE(nullptr, strstr(list.messages[list.count - 1], "[SQLSTATE:IM926]")) << list.messages[list.count - 1];
  EXPECT_NE(nullptr, strstr(list.messages[list.count - 1], "Check that the table TVXRVC exists"));
  for (uint32_t i = 0; i < list.count; ++i) free(list.messages[i]);
  free(list.messages);
  EXPECT_EQ(0, RVC_Detach(&a));
  Free(c1);
  ConnectReq bad = req;
  bad.password = "wrong";
  RVC_Init(&a);
  EXPECT_NE(0, RVC_Attach(&a, ORA_AgentObject(), server, &bad, conn, c1, 0));
  EXPECT_EQ(E_S1000, RVC_Attach(&a, ORA_AgentObject(), server, nullptr, conn, c1, 0));
}

}  // namespace
