// The fake agent behaves as the layers above expect of an agent, and its
// scripts change exactly what they say.
#include "fake.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>

#include "odbc/dataset.h"

namespace {

struct FakeTest : ::testing::Test {
  DrvObject obj{};
  DrvHandle server = 0, conn = 0, cursor = 0;

  void SetUp() override {
    fake::Reset();
    ASSERT_EQ(fake::Register(&obj), 0);
  }
  void Open() {
    DrvInitReq init{"", ""};
    ASSERT_EQ(DrvCall<&DrvOps::DRV_Init>(&obj, &init, &server), 0);
    ConnectReq req{};
    req.dataSource = "Default";
    ASSERT_EQ(DrvCall<&DrvOps::DRV_Connect>(&obj, server, &req, &conn), 0);
    ASSERT_EQ(DrvCall<&DrvOps::DRV_AllocCursor>(&obj, conn, &cursor), 0);
  }
  // Hands up the handle's texts and frees the list.
  std::vector<std::string> Errors(DrvHandle h, uint32_t *native = nullptr) {
    DrvMsgList l{};
    EXPECT_EQ(DrvCall<&DrvOps::DRV_GetErrors>(&obj, h, &l), 0);
    std::vector<std::string> out;
    for (uint32_t i = 0; i < l.count; ++i) {
      out.push_back(l.messages[i] ? l.messages[i] : "");
      std::free(l.messages[i]);
    }
    std::free(l.messages);
    if (native) *native = l.native;
    return out;
  }
};

TEST_F(FakeTest, RegistrationGivesFlagsTwoAndAFullTable) {
  EXPECT_EQ(obj.flags, 2);
  ASSERT_EQ(obj.table, fake::Table());
  for (int slot = 0; slot < kDrvSlots; ++slot) EXPECT_TRUE(DrvOpsSlotFilled(*obj.table, slot)) << DrvSlotName(slot);
}

TEST_F(FakeTest, HandlesAreCheckedByKind) {
  Open();
  EXPECT_EQ(DrvHandleTag(server), kDrvTagServer);
  EXPECT_EQ(DrvHandleTag(conn), kDrvTagConn);
  EXPECT_EQ(DrvHandleTag(cursor), kDrvTagCursor);
  EXPECT_EQ(DrvCall<&DrvOps::DRV_Prepare>(&obj, conn, "select 1 from dual"), E_S1009);  // connection as cursor
  EXPECT_EQ(DrvCall<&DrvOps::DRV_Commit>(&obj, cursor), E_S1009);
  EXPECT_EQ(DrvCall<&DrvOps::DRV_Prepare>(&obj, cursor, "select 1 from dual"), 0);
  EXPECT_EQ(DrvCall<&DrvOps::DRV_FreeCursor>(&obj, cursor), 0);
  EXPECT_EQ(DrvCall<&DrvOps::DRV_Prepare>(&obj, cursor, "select 1 from dual"), E_S1009);  // freed
  EXPECT_EQ(fake::LiveCursors(), 0);
  EXPECT_EQ(fake::LiveConnections(), 1);
}

TEST_F(FakeTest, ScriptQueueThenResultThenDefault) {
  Open();
  auto &sc = fake::Script(SLOT_DRV_Execute);
  sc.queue = {E_IM906, E_IM922};
  sc.result = E_S1000;
  EXPECT_EQ(DrvCall<&DrvOps::DRV_Execute>(&obj, cursor), E_IM906);
  EXPECT_EQ(DrvCall<&DrvOps::DRV_Execute>(&obj, cursor), E_IM922);
  EXPECT_EQ(DrvCall<&DrvOps::DRV_Execute>(&obj, cursor), E_S1000);
  sc.result.reset();
  EXPECT_EQ(DrvCall<&DrvOps::DRV_Execute>(&obj, cursor), 0);
  EXPECT_EQ(fake::CallCount(SLOT_DRV_Execute), 4);
  auto log = fake::LogOf(SLOT_DRV_Execute);
  ASSERT_EQ(log.size(), 4u);
  EXPECT_EQ(log[0].result, E_IM906);
  EXPECT_EQ(log[3].handle, cursor);
}

TEST_F(FakeTest, FailedCallLeavesMessagesReadOnce) {
  Open();
  auto &sc = fake::Script(SLOT_DRV_Prepare);
  sc.result = E_42S02;
  sc.messages = {{fake::OraText("ORA-00942: table or view does not exist", "42S02"), 942},
                 {fake::OraText("second", "S1000"), 1}};
  EXPECT_EQ(DrvCall<&DrvOps::DRV_Prepare>(&obj, cursor, "select * from t"), E_42S02);
  uint32_t native = 0;
  auto texts = Errors(cursor, &native);
  ASSERT_EQ(texts.size(), 2u);
  EXPECT_EQ(texts[0], "[Oracle Server]ORA-00942: table or view does not exist[SQLSTATE:42S02]");
  EXPECT_EQ(native, 942u);
  EXPECT_TRUE(Errors(cursor).empty());  // handed up once
  EXPECT_TRUE(Errors(conn).empty());    // only on the failing handle
  EXPECT_EQ(fake::LogOf(SLOT_DRV_Prepare).back().text, "select * from t");
}

TEST_F(FakeTest, ConnectFailureLeavesMessagesOnTheServer) {
  DrvInitReq init{"", ""};
  ASSERT_EQ(DrvCall<&DrvOps::DRV_Init>(&obj, &init, &server), 0);
  fake::Script(SLOT_DRV_Connect).result = E_08004;
  fake::Script(SLOT_DRV_Connect).messages = {{fake::OraText("ORA-01017: invalid username/password", "S1000"), 1017}};
  std::string options = std::string(reinterpret_cast<const char *>(kWideMarker), 4) + "opts";
  ConnectReq req{};
  req.serverOptions = options.c_str();
  req.dataSource = "Default";
  req.user = "";
  req.loginTimeout = 99;
  EXPECT_EQ(DrvCall<&DrvOps::DRV_Connect>(&obj, server, &req, &conn), E_08004);
  auto copy = fake::LastConnect();
  ASSERT_TRUE(copy.has_value());
  EXPECT_TRUE(copy->wide);
  EXPECT_EQ(copy->dataSource, "Default");
  EXPECT_EQ(copy->loginTimeout, 99);
  EXPECT_EQ(Errors(server).size(), 1u);

  // A wide connection answers the wide-mode item with 1, a narrow one with 0.
  fake::Script(SLOT_DRV_Connect).result.reset();
  ASSERT_EQ(DrvCall<&DrvOps::DRV_Connect>(&obj, server, &req, &conn), 0);
  int32_t wide = -1;
  int16_t len = 0;
  EXPECT_EQ(DrvCall<&DrvOps::DRV_GetInfo>(&obj, conn, +INFO_WIDE, &wide, uint16_t{4}, &len), 0);
  EXPECT_EQ(wide, 1);
  req.serverOptions = nullptr;
  ASSERT_EQ(DrvCall<&DrvOps::DRV_Connect>(&obj, server, &req, &conn), 0);
  EXPECT_EQ(DrvCall<&DrvOps::DRV_GetInfo>(&obj, conn, +INFO_WIDE, &wide, uint16_t{4}, &len), 0);
  EXPECT_EQ(wide, 0);
}

TEST_F(FakeTest, InfoAnswersAndStores) {
  Open();
  int32_t v = 0;
  int16_t len = 0;
  EXPECT_EQ(DrvCall<&DrvOps::DRV_GetInfo>(&obj, conn, +INFO_CAPS_MASK, &v, uint16_t{4}, &len), E_IM001);
  fake::SetInfo(INFO_CAPS_MASK, 0x75FF);
  EXPECT_EQ(DrvCall<&DrvOps::DRV_GetInfo>(&obj, conn, +INFO_CAPS_MASK, &v, uint16_t{4}, &len), 0);
  EXPECT_EQ(v, 0x75FF);
  EXPECT_EQ(len, 4);
  int32_t iso = 8;
  EXPECT_EQ(DrvCall<&DrvOps::DRV_SetInfo>(&obj, conn, +INFO_ISOLATION, &iso), 0);
  EXPECT_EQ(fake::InfoValue(INFO_ISOLATION), 8);

  fake::SetInfoText(InfoGetInfoStr(17), "Oracle");
  char buf[4];
  EXPECT_EQ(DrvCall<&DrvOps::DRV_GetInfo>(&obj, conn, InfoGetInfoStr(17), buf, uint16_t{sizeof buf}, &len), 0);
  EXPECT_STREQ(buf, "Ora");  // cut, still 0, as the agent answers
}

TEST_F(FakeTest, ClearedSlotIsNullAndDrvCallAnswersNotCapable) {
  Open();
  fake::ClearSlot(SLOT_DRV_Cancel);
  EXPECT_FALSE(DrvOpsSlotFilled(*obj.table, SLOT_DRV_Cancel));
  EXPECT_EQ(DrvCall<&DrvOps::DRV_Cancel>(&obj, cursor), E_S1C00);
  fake::Reset();
  EXPECT_TRUE(DrvOpsSlotFilled(*obj.table, SLOT_DRV_Cancel));
}

TEST_F(FakeTest, HookRunsInsideTheCall) {
  Open();
  int seen = -1;
  fake::Script(SLOT_DRV_Fetch).hook = [&] { seen = fake::CallCount(SLOT_DRV_Fetch); };
  Dataset ds{};
  EXPECT_EQ(DrvCall<&DrvOps::DRV_Fetch>(&obj, cursor, uint16_t{1}, &ds), 0);
  EXPECT_EQ(seen, 1);  // counted before the hook, so a waiting test sees the call arrive
}

TEST_F(FakeTest, XaVerbsAnswerXaCodes) {
  Open();
  EXPECT_EQ(DrvCall<&DrvOps::DRV_XaOpen>(&obj, conn, 1, "DSN=x", 0, 0), 0);
  EXPECT_EQ(DrvCall<&DrvOps::DRV_XaStart>(&obj, DrvHandle{0xBBBB0099}, static_cast<xid_t *>(nullptr), 0, 0), -5);
}

}  // namespace

namespace {

struct FakeData : FakeTest {
  void SetUp() override {
    FakeTest::SetUp();
    Open();
    fake::SetColumns({{"ID", 4, VT_SLONG, 4}, {"NAME", 12, VT_STRING, 5}, {"DOC", -1, VT_LONGCHAR, 0}});
    fake::SetRows({{fake::I32(1), fake::Text("one"), fake::Deferred("abcdefg")},
                   {fake::I32(2), fake::Text("toolong"), fake::Null()},
                   {fake::I32(3), fake::Null(), fake::Text("x")}});
  }
  void TearDown() override { DatasetFree(&ds); }
  int32_t Fetch(uint16_t n) { return DrvCall<&DrvOps::DRV_Fetch>(&obj, cursor, n, &ds); }
  Dataset ds{};
};

TEST_F(FakeData, DescribeGivesTheCannedColumns) {
  uint16_t n = 0;
  ColDesc *cols = nullptr;
  ASSERT_EQ(DrvCall<&DrvOps::DRV_DescribeColumns>(&obj, cursor, &n, &cols), 0);
  ASSERT_EQ(n, 3);
  EXPECT_STREQ(cols[1].name, "NAME");
  EXPECT_STREQ(cols[1].fullName, "NAME");
  EXPECT_EQ(cols[1].valueType, VT_STRING);
  EXPECT_EQ(cols[1].octetLength, 5u);
  EXPECT_EQ(cols[0].flags & kColDescNullableMask, 1u);
  ColDescFree(cols, n);

  ColDesc *pars = nullptr;
  ASSERT_EQ(DrvCall<&DrvOps::DRV_DescribeParams>(&obj, cursor, &n, &pars), 0);
  EXPECT_EQ(n, 0);
  EXPECT_NE(pars, nullptr);  // an array even for no parameters
  ColDescFree(pars, 0);
}

TEST_F(FakeData, FetchFillsBlocksAndEndsWithAnEmptyDataset) {
  ASSERT_EQ(Fetch(2), 0);
  ASSERT_TRUE(DatasetCheck(&ds));
  ASSERT_EQ(ds.columns, 3);
  ASSERT_EQ(ds.rows, 2);
  int32_t id = 0;
  std::memcpy(&id, ds.cols[0].values + 4, 4);
  EXPECT_EQ(id, 2);
  EXPECT_STREQ(reinterpret_cast<char *>(ds.cols[1].values), "one");
  EXPECT_STREQ(reinterpret_cast<char *>(ds.cols[1].values + ds.cols[1].size), "toolo");  // cut to its column
  EXPECT_EQ(ds.cols[2].indicators[0], kIndDeferred);
  EXPECT_EQ(ds.cols[2].indicators[1], kIndNull);

  ASSERT_EQ(Fetch(2), 0);
  EXPECT_EQ(ds.rows, 1);
  EXPECT_EQ(ds.cols[1].indicators[0], kIndNull);
  ASSERT_EQ(Fetch(2), 0);
  EXPECT_EQ(ds.rows, 0);
  EXPECT_EQ(ds.columns, 0);

  ASSERT_EQ(DrvCall<&DrvOps::DRV_Execute>(&obj, cursor), 0);  // a new result starts over
  ASSERT_EQ(Fetch(5), 0);
  EXPECT_EQ(ds.rows, 3);
}

TEST_F(FakeData, DeferredValueComesInPieces) {
  ASSERT_EQ(Fetch(1), 0);
  void *piece = nullptr;
  int32_t size = 0, type = 0, left = 0;
  std::string got;
  std::vector<int32_t> lefts;
  for (;;) {
    ASSERT_EQ(DrvCall<&DrvOps::DRV_GetDataChunk>(&obj, cursor, 3, 1, 3, &piece, &size, &type, &left), 0);
    lefts.push_back(left);
    if (!piece) break;
    got.append(static_cast<char *>(piece), static_cast<size_t>(size));
    std::free(piece);
  }
  EXPECT_EQ(got, "abcdefg");
  EXPECT_EQ(lefts, (std::vector<int32_t>{7, 4, 1, 0}));
  EXPECT_EQ(type, VT_CHAR);
  EXPECT_EQ(DrvCall<&DrvOps::DRV_GetDataChunk>(&obj, cursor, 1, 1, 3, &piece, &size, &type, &left), E_S1000);
}

TEST_F(FakeData, ParameterDatasetIsTakenAndShown) {
  ColDesc d[2] = {};
  d[0].valueType = VT_SLONG;
  d[0].octetLength = 4;
  d[1].valueType = VT_STRING;
  d[1].octetLength = 10;
  Dataset *params = static_cast<Dataset *>(std::calloc(1, sizeof(Dataset)));
  ASSERT_EQ(DatasetFromColDescs(d, 2, 1, params), 0);
  int32_t v = 42;
  std::memcpy(params->cols[0].values, &v, 4);
  params->cols[0].indicators[0] = 0;
  params->rows = 1;  // column 1 stays NULL
  ASSERT_EQ(DrvCall<&DrvOps::DRV_SetParams>(&obj, cursor, params), 0);  // freed by the fake
  auto rows = fake::ParamRows();
  ASSERT_EQ(rows.size(), 1u);
  EXPECT_EQ(rows[0][0].bytes, fake::I32(42).bytes);
  EXPECT_TRUE(rows[0][1].null);
}

}  // namespace
