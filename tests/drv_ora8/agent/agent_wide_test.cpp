// Wide mode: texts between UTF-8 and the OCI environment's character set,
// sized in the units OCI counts, so that characters outside the Basic
// Multilingual Plane (surrogate pairs in UTF-16) never overrun a buffer.
#include <string>

#include "agent_fixture.h"
#include "variant.h"

using namespace agent_test;

namespace {

class CharsetTest : public ::testing::Test {
 protected:
  OCIEnv *env = nullptr;
  void SetUp() override {
    ASSERT_EQ(OCI_SUCCESS, OCIEnvCreate(&env, OCI_THREADED | OCI_OBJECT, nullptr, nullptr, nullptr, nullptr, 0,
                                        nullptr));
  }
  void TearDown() override { OCIHandleFree(env, OCI_HTYPE_ENV); }
};

std::string Repeat(const std::string &s, int n) {
  std::string out;
  for (int i = 0; i < n; ++i) out += s;
  return out;
}

const std::string kEmoji = "\xF0\x9F\x98\x80";  // U+1F600, a surrogate pair in UTF-16
const std::string kEacute = "\xC3\xA9";         // U+00E9

TEST_F(CharsetTest, SupplementaryCharactersConvertWhole) {
  for (const std::string &text : {Repeat(kEmoji, 1), Repeat(kEmoji, 300), "a" + kEmoji + "b" + kEacute + kEmoji}) {
    std::string dst(2048, '\x7f');
    int16_t len = -1;
    ASSERT_EQ(0, db_CharsetToUTF8(env, text.c_str(), dst.data(), 2048, &len)) << text.size();
    EXPECT_EQ(text.size(), static_cast<size_t>(len));
    EXPECT_EQ(text, std::string(dst.c_str()));
    char *back = db_UTF8ToCharset(env, text.c_str());
    ASSERT_NE(nullptr, back);
    EXPECT_EQ(text, back);
    free(back);
  }
}

TEST_F(CharsetTest, CutAtACharacterBoundary) {
  std::string text = Repeat(kEmoji, 10);
  char dst[11];
  int16_t len = -1;
  EXPECT_EQ(-1, db_CharsetToUTF8(env, text.c_str(), dst, sizeof dst, &len));
  EXPECT_EQ(8, len);  // two whole characters fit in 10 bytes
  EXPECT_EQ(Repeat(kEmoji, 2), std::string(dst));
}

TEST_F(CharsetTest, EmptyAndNullTexts) {
  char dst[8] = "xxxxxxx";
  int16_t len = -1;
  EXPECT_EQ(0, db_CharsetToUTF8(env, "", dst, sizeof dst, &len));
  EXPECT_STREQ("", dst);
  EXPECT_EQ(0, len);
  EXPECT_EQ(-1, db_CharsetToUTF8(env, nullptr, dst, sizeof dst, &len));
  EXPECT_EQ(-1, db_CharsetToUTF8(env, "a", nullptr, 8, &len));
  EXPECT_EQ(nullptr, db_UTF8ToCharset(env, nullptr));
  char *empty = db_UTF8ToCharset(env, "");
  ASSERT_NE(nullptr, empty);
  EXPECT_STREQ("", empty);
  free(empty);
}

TEST_F(CharsetTest, SourceAndDestinationMayBeTheSameBuffer) {
  std::string text = "x" + kEmoji + kEacute;
  char buf[32];
  snprintf(buf, sizeof buf, "%s", text.c_str());
  EXPECT_EQ(0, db_CharsetToUTF8(env, buf, buf, sizeof buf, nullptr));
  EXPECT_EQ(text, std::string(buf));
}

using WideConnTest = AgentTest;

TEST_F(WideConnTest, OracleMessagesOfAWideConnectionArriveAsUtf8) {
  ConnArgs r = Scott();
  r.wide = true;
  DrvHandle conn = 0;
  ASSERT_EQ(0, Connect(r, &conn));
  EXPECT_EQ(g_driverVariant.unicode ? 1 : 0, Agent_Conn(conn)->dbConn->err->wide);
  std::string message = "caf" + kEacute + " " + kEmoji + " closed";
  ocilite_test_fault(OCILITE_T_COMMIT, 1, 1, 3113, 0, message.c_str());
  EXPECT_EQ(E_S1000, DrvCall<&DrvOps::DRV_Commit>(&drv, conn));
  Msgs m = TakeErrors(drv, conn);
  ASSERT_EQ(1u, m.texts.size());
  EXPECT_EQ("[Oracle Server]ORA-03113: " + message + "[SQLSTATE:08S01]", m.texts[0]);
  Disconnect(conn);
}

TEST_F(WideConnTest, OverlongMessageIsCutToTheRecordWithWholeCharacters) {
  ConnArgs r = Scott();
  r.wide = true;
  DrvHandle conn = 0;
  ASSERT_EQ(0, Connect(r, &conn));
  std::string message = Repeat(kEmoji, 700);  // 2800 bytes
  ocilite_test_fault(OCILITE_T_COMMIT, 1, 1, 3113, 0, message.c_str());
  EXPECT_EQ(E_S1000, DrvCall<&DrvOps::DRV_Commit>(&drv, conn));
  Msgs m = TakeErrors(drv, conn);
  ASSERT_EQ(1u, m.texts.size());
  const std::string &t = m.texts[0];
  const std::string head = "[Oracle Server]ORA-03113: ";
  const std::string tail = "[SQLSTATE:S1000]";
  ASSERT_GT(t.size(), head.size() + tail.size());
  std::string body = t.substr(head.size(), t.size() - head.size() - tail.size());
  EXPECT_LT(body.size(), kAgentMsgSize);
  EXPECT_GT(body.size(), kAgentMsgSize - 64);
  if (g_driverVariant.unicode) {
    // Whole characters only.
    EXPECT_EQ(0u, body.size() % kEmoji.size());
    EXPECT_EQ(Repeat(kEmoji, static_cast<int>(body.size() / kEmoji.size())), body);
  }
  Disconnect(conn);
}

}  // namespace
