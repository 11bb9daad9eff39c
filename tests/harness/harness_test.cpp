// The harness's own pieces: text conversion for the W entry points, driver
// paths, load failures, and the private Driver Manager files.
#include "harness.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <fstream>
#include <sstream>

namespace {

TEST(Harness, Utf16RoundTrip) {
  const std::string texts[] = {"", "select 1", "Gr\xC3\xBC\xC3\x9F" "e", "\xE2\x82\xAC 5",
                               "\xF0\x9F\x98\x80 outside the BMP"};
  for (const auto &t : texts) {
    auto w = harness::ToW(t);
    EXPECT_EQ(harness::FromW(w.data(), w.size()), t);
  }
  auto w = harness::ToW("\xF0\x9F\x98\x80");
  ASSERT_EQ(w.size(), 2u);  // a surrogate pair
  EXPECT_EQ(w[0], 0xD83D);
  EXPECT_EQ(w[1], 0xDE00);
}

TEST(Harness, DriverPathsAndVariants) {
  harness::Driver w(harness::DriverPath(harness::kUnicode, harness::kFake));
  ASSERT_TRUE(w.ok()) << w.error();
  EXPECT_TRUE(w.unicode());
  EXPECT_NE(w.path().find("/lib/kvd7r22xw_fake.so"), std::string::npos);
  harness::Driver a(harness::DriverPath(harness::kAnsi, harness::kReal));
  ASSERT_TRUE(a.ok()) << a.error();
  EXPECT_FALSE(a.unicode());
  EXPECT_EQ(a.Sym("ORA_Register"), nullptr);  // internal names stay hidden

  harness::Driver none("/nonexistent/kvd7r22xw.so");
  EXPECT_FALSE(none.ok());
  EXPECT_FALSE(none.error().empty());
}

std::string Slurp(const std::string &path) {
  std::ifstream f(path);
  std::stringstream s;
  s << f.rdbuf();
  return s.str();
}

TEST(Harness, DmInitWritesPrivateFilesAndEnvironment) {
  const auto &files = harness::DmInit({{"extra_dsn", harness::kDmFakeAnsi, {{"UID", "scott"}}}});
  EXPECT_STREQ(std::getenv("ODBCSYSINI"), files.dir.c_str());
  EXPECT_STREQ(std::getenv("ODBCINI"), files.odbcini.c_str());
  std::string inst = Slurp(files.odbcinst), ini = Slurp(files.odbcini);
  EXPECT_NE(inst.find("Driver = " + harness::DriverPath(harness::kUnicode, harness::kFake)), std::string::npos);
  EXPECT_NE(inst.find("Threading = 0"), std::string::npos);
  EXPECT_NE(ini.find("[kvd_fake_w]"), std::string::npos);
  EXPECT_NE(ini.find("[extra_dsn]\nDriver = KVD Fake ANSI\nUID = scott"), std::string::npos);
  // A later call keeps the directory and rewrites the DSNs.
  EXPECT_EQ(harness::DmInit().dir, files.dir);
  EXPECT_EQ(Slurp(files.odbcini).find("extra_dsn"), std::string::npos);
}

}  // namespace
