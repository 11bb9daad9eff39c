// The attribute table: parsing connection strings, completing them from the
// data source, a File DSN or "Default", the AgentOptions block, and the
// connection-string texts.
#include <cstdlib>
#include <cstring>
#include <string>

#include "connect_support.h"
#include "odbc/connattr.h"
#include "util/mpl.h"

namespace {

using ct::FileDsn;

std::string V(int i) {
  const char *v = ConnAttrValue(i);
  return v ? v : "<null>";
}

struct ConnAttrTest : ::testing::TestWithParam<char> {
  void SetUp() override {
    ct::FixtureDir();
    ConnStrParse(nullptr, 'A');
  }
  void TearDown() override { ConnStrParse(nullptr, 'A'); }
  void Parse(const std::string &s) { ConnStrParse(s.c_str(), GetParam()); }
};

TEST_P(ConnAttrTest, KeywordsMatchInAnyCaseAndOnlyTheShortKeywordsCount) {
  Parse("dsn=kvd_minimal;Uid=scott;pWd=tiger;FetchBufferSize=7;NoSuchKey=1;FBS=3;FBS=9;justtext;READONLY=");
  EXPECT_EQ(V(CA_DSN), "kvd_minimal");
  EXPECT_EQ(V(CA_UID), "scott");
  EXPECT_EQ(V(CA_PWD), "tiger");
  // The later of two items wins; the long value name is not a keyword.
  EXPECT_EQ(V(CA_FBS), "9");
  EXPECT_EQ(g_connAttrs[CA_FBS].supplied, 1);
  // An empty value is supplied and not completed from the data source.
  EXPECT_EQ(V(CA_READONLY), "");
  EXPECT_EQ(g_connAttrs[CA_READONLY].supplied, 1);
  // Entries without a value name are only ever set by the string.
  EXPECT_EQ(V(CA_DRIVER), "<null>");
  EXPECT_EQ(V(CA_FILEDSN), "<null>");
}

TEST_P(ConnAttrTest, BracedValuesMayHoldSeparatorsAndBraces) {
  Parse("DSN=kvd_minimal;UID={sc;ott};PWD={a}}b;c=d};DRIVER={KVD Fake Unicode};SQLNET={x}trailing;JET=yes");
  EXPECT_EQ(V(CA_UID), "sc;ott");
  EXPECT_EQ(V(CA_PWD), "a}b;c=d");
  // The driver entry keeps its braces, as given.
  EXPECT_EQ(V(CA_DRIVER), "{KVD Fake Unicode}");
  EXPECT_EQ(V(CA_SQLNET), "x");
  EXPECT_TRUE(ConnAttrBool(CA_JET));
  // A ';' inside braces never starts a keyword of its own.
  EXPECT_EQ(g_connAttrs[CA_FBS].supplied, 0);
}

TEST_P(ConnAttrTest, MissingEntriesComeFromTheDataSourceSection) {
  Parse("DSN=kvd_full;UID=given;PWD=secret");
  EXPECT_EQ(V(CA_UID), "given");
  EXPECT_EQ(V(CA_PWD), "secret");
  EXPECT_EQ(V(CA_FBS), "0");
  EXPECT_EQ(V(CA_SQLNET), "orcl_alias");
  EXPECT_EQ(V(CA_DYN_CURS_SENSITIVITY), "high");
  EXPECT_EQ(V(CA_OCPLINGER), "60");
  EXPECT_EQ(g_connAttrs[CA_SQLNET].supplied, 0);
  EXPECT_TRUE(ConnAttrBool(CA_READONLY));
  EXPECT_EQ(ConnAttrNumber(CA_MAXROWS), 500);
}

TEST_P(ConnAttrTest, UserFallsBackToLastUserOnlyInADataSourceSection) {
  Parse("DSN=kvd_lastuser");
  EXPECT_EQ(V(CA_UID), "lastguy");
  EXPECT_EQ(V(CA_PWD), "lastpass");

  Parse("FILEDSN=" + FileDsn("lastuser.dsn"));
  EXPECT_EQ(V(CA_UID), "");
  EXPECT_EQ(V(CA_FBS), "5");

  Parse("JET=no");  // neither DSN nor FILEDSN: the section "Default"
  EXPECT_EQ(V(CA_UID), "");
  EXPECT_EQ(V(CA_PWD), "defpass");
  EXPECT_EQ(V(CA_FBS), "25");
}

TEST_P(ConnAttrTest, FileDsnIsReadByShortKeyword) {
  Parse("FILEDSN=" + FileDsn("file.dsn"));
  EXPECT_EQ(V(CA_UID), "fileuser");
  EXPECT_EQ(V(CA_PWD), "filepass");
  EXPECT_EQ(V(CA_FBS), "77");  // "FBS", not "FetchBufferSize"
  // A missing File DSN reads as empty values.
  Parse("FILEDSN=" + FileDsn("missing.dsn"));
  EXPECT_EQ(V(CA_UID), "");
  EXPECT_EQ(V(CA_FBS), "");
}

TEST_P(ConnAttrTest, ValuesFromADataSourceAreCutToTheirMaximumLength) {
  Parse("DSN=kvd_long");
  EXPECT_EQ(V(CA_FBS), "1234");  // maximum 5: four characters
  EXPECT_EQ(V(CA_TAF_RETRY_INTERVAL), "12345678901");
  // SQLNET (maximum 256) is read through 255 characters.
  EXPECT_EQ(V(CA_SQLNET), std::string(254, 'x'));
  // Supplied values stay whole.
  const std::string big(400, 'y');
  Parse("DSN=kvd_long;SQLNET=" + big + ";FBS=123456");
  EXPECT_EQ(V(CA_SQLNET), big);
  EXPECT_EQ(V(CA_FBS), "123456");
}

TEST_P(ConnAttrTest, NonAsciiValuesArriveAsTheyAreWritten) {
  Parse("DSN=kvd_utf8");
  EXPECT_EQ(V(CA_UID), "J\xC3\xBCrgen");
  // Cut to the maximum length (FBS: four bytes, TAF_RETRY_INTERVAL: eleven)
  // a value keeps whole characters: one that fits stays, one the cut would
  // split goes.
  EXPECT_EQ(V(CA_FBS), "12\xC3\xBC");
  EXPECT_EQ(V(CA_TAF_RETRY_INTERVAL), "1234567890");
  Parse("FILEDSN=" + FileDsn("utf8.dsn"));
  EXPECT_EQ(V(CA_FBS), "123");
}

TEST_P(ConnAttrTest, BooleansAreTrueOrYesInAnyCase) {
  const std::pair<const char *, bool> cases[] = {{"yes", true}, {"TRUE", true}, {"True", true}, {"YeS", true},
                                                 {"1", false},  {"no", false},  {"", false},     {"yess", false}};
  for (auto &c : cases) {
    Parse(std::string("DSN=kvd_minimal;READONLY=") + c.first);
    EXPECT_EQ(ConnAttrBool(CA_READONLY), c.second) << c.first;
  }
}

TEST_P(ConnAttrTest, NumbersAreTheLeadingDecimalInteger) {
  // No sign and no blanks: text without leading digits is 0.
  const std::pair<const char *, int32_t> cases[] = {{"42", 42},  {"17abc", 17}, {"abc", 0}, {"", 0},
                                                    {"-5", 0},   {"+7", 0},     {" 8", 0},  {"007", 7},
                                                    {"2147483647", INT32_MAX},  {"2147483648", INT32_MAX},
                                                    {"99999999999", INT32_MAX}};
  for (auto &c : cases) {
    Parse(std::string("DSN=kvd_minimal;MAXROWS=") + c.first);
    EXPECT_EQ(ConnAttrNumber(CA_MAXROWS), c.second) << c.first;
  }
}

TEST_P(ConnAttrTest, TheAgentOptionsComeFromTheTable) {
  g_agentOptions.initSql = strdup("stale.sql");
  Parse("DSN=kvd_full");
  AgentOptionsFill();
  const AgentOptions &o = g_agentOptions;
  EXPECT_EQ(o.oraCatalogs, 1);
  EXPECT_EQ(o.maxRows, 500);
  EXPECT_STREQ(o.sqlnetIf, "tcp");
  EXPECT_EQ(o.jet, 1);
  EXPECT_EQ(o.countProcParams, 1);
  EXPECT_EQ(o.userTablesFirst, 1);
  EXPECT_EQ(o.dynCursSensitivity, DCS_HIGH);
  EXPECT_EQ(o.showRemarks, 1);
  EXPECT_STREQ(o.initSql, "/tmp/init.sql");
  EXPECT_EQ(o.noAutocommit, 1);
  EXPECT_EQ(o.noRowsetSizeLimit, 0);
  EXPECT_STREQ(o.dbmsName, "ORACLE11");
  EXPECT_EQ(o.emptyStringIsntNull, 1);
  EXPECT_EQ(o.showSynonyms, 1);
  EXPECT_EQ(o.ociPrefetchRows, 20);
  EXPECT_EQ(o.ociPrefetchMemory, 65536);
  EXPECT_EQ(o.ociStmtCacheSize, 30);
  EXPECT_EQ(o.poolMin, 1);
  EXPECT_EQ(o.poolMax, 4);
  EXPECT_EQ(o.poolIncr, 2);
  EXPECT_EQ(o.poolWait, 1);
  EXPECT_EQ(o.poolLinger, 60);
  EXPECT_EQ(o.tafEnable, 1);
  EXPECT_EQ(o.tafRetryInterval, 10);  // 0 becomes 10
  EXPECT_EQ(o.tafMaxRetries, 3);

  // Without failover both numbers are 0; empty texts leave none behind.
  Parse("DSN=kvd_minimal;TAF_RETRY_INTERVAL=5");
  AgentOptionsFill();
  EXPECT_EQ(o.tafEnable, 0);
  EXPECT_EQ(o.tafRetryInterval, 0);
  EXPECT_EQ(o.tafMaxRetries, 0);
  EXPECT_EQ(o.initSql, nullptr);
  EXPECT_EQ(o.dbmsName, nullptr);
  EXPECT_STREQ(o.sqlnetIf, "");
  for (char **t : {&g_agentOptions.sqlnetIf, &g_agentOptions.initSql, &g_agentOptions.dbmsName}) {
    free(*t);
    *t = nullptr;
  }
}

TEST_P(ConnAttrTest, DriverDescriptionComesFromODBCDataSources) {
  Parse("DSN=kvd_full");
  char *d = DsnDriverDesc();
  ASSERT_NE(d, nullptr);
  EXPECT_STREQ(d, "KVD Fake Unicode");
  free(d);
  Parse("DSN=kvd_minimal");
  d = DsnDriverDesc();
  ASSERT_NE(d, nullptr);
  EXPECT_STREQ(d, "");
  free(d);
}

INSTANTIATE_TEST_SUITE_P(Modes, ConnAttrTest, ::testing::Values('A', 'W'),
                         [](const ::testing::TestParamInfo<char> &i) { return std::string(1, i.param); });

TEST(DynCursSensitivity, ParsedByFirstLetterAndNamed) {
  EXPECT_EQ(DynCursSensitivityParse("Disabled"), DCS_DISABLED);
  EXPECT_EQ(DynCursSensitivityParse("d"), DCS_DISABLED);
  EXPECT_EQ(DynCursSensitivityParse("high"), DCS_HIGH);
  EXPECT_EQ(DynCursSensitivityParse("Low"), DCS_LOW);
  EXPECT_EQ(DynCursSensitivityParse("x"), DCS_LOW);
  EXPECT_EQ(DynCursSensitivityParse(nullptr), DCS_LOW);
  EXPECT_STREQ(DynCursSensitivityName(DCS_LOW), "LOW");
  EXPECT_STREQ(DynCursSensitivityName(DCS_HIGH), "HIGH");
  EXPECT_STREQ(DynCursSensitivityName(DCS_DISABLED), "DISABLED");
}

std::string Item(const char *key, const char *value) {
  MemPool pool;
  mpl_init(&pool);
  ConnStrAppendItem(&pool, key, value);
  mpl_append_byte(&pool, '\0');
  std::string s = static_cast<const char *>(mpl_finish(&pool));
  mpl_free_all(&pool);
  return s;
}

TEST(ConnStrText, ValuesThatNeedBracesGetThemAndParseBack) {
  const std::pair<const char *, const char *> cases[] = {
      {"plain", "PWD=plain"},         {"a;b", "PWD={a;b}"},   {"a}b", "PWD={a}}b}"},
      {"{x", "PWD={{x}"},             {"", "PWD="},           {"x;UID=admin", "PWD={x;UID=admin}"},
  };
  for (auto &c : cases) {
    std::string item = Item("PWD", c.first);
    EXPECT_EQ(item, c.second);
    const char *pos = item.c_str();
    char *key, *value, *raw;
    bool quoted;
    ASSERT_TRUE(ConnStrNextItem(&pos, &key, &value, &quoted, &raw));
    EXPECT_STREQ(value, c.first);
    EXPECT_EQ(*pos, '\0');
    free(key);
    free(value);
    free(raw);
  }
}

TEST(ConnStrText, PasswordsAreMaskedForTraces) {
  char *m = ConnStrMaskPassword("DSN=x;pwd={se;cr}}et};UID=u;PWD=plain;odd");
  EXPECT_STREQ(m, "DSN=x;pwd=***;UID=u;PWD=***;odd");
  free(m);
}

}  // namespace
