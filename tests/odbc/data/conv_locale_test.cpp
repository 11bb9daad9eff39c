// Parsing and formatting do not follow the application's locale: with a
// comma as its decimal separator the results are the same as in "C".
#include <gtest/gtest.h>

#include <sys/stat.h>

#include <clocale>
#include <cstdlib>
#include <string>

#include "convtest.h"

namespace {

// Sets a locale whose decimal separator is a comma: an installed one, or one
// built from the system's locale sources into the build tree.
bool SetCommaLocale() {
  auto commaNow = [] { return std::string(localeconv()->decimal_point) == ","; };
  for (const char *name : {"de_DE.UTF-8", "de_DE.utf8", "fr_FR.UTF-8", "fr_FR.utf8"})
    if (std::setlocale(LC_ALL, name) && commaNow()) return true;
  const std::string dir = std::string(KVD_BUILD_DIR) + "/test-locales";
  const std::string built = dir + "/de_DE.UTF-8";
  struct stat st;
  if (stat((built + "/LC_NUMERIC").c_str(), &st) != 0) {
    mkdir(dir.c_str(), 0755);
    const std::string cmd = "localedef -i de_DE -f UTF-8 '" + built + "' >/dev/null 2>&1";
    if (std::system(cmd.c_str()) != 0 && stat((built + "/LC_NUMERIC").c_str(), &st) != 0) return false;
  }
  setenv("LOCPATH", dir.c_str(), 1);
  return std::setlocale(LC_ALL, "de_DE.UTF-8") && commaNow();
}

struct RestoreLocale {
  ~RestoreLocale() {
    std::setlocale(LC_ALL, "C");
    unsetenv("LOCPATH");
  }
};

TEST(ConversionLocale, CommaDecimalSeparatorChangesNothing) {
  RestoreLocale restore;
  if (!SetCommaLocale()) GTEST_SKIP() << "no locale with a comma decimal separator can be set";
  // The C library itself now reads "1.5" only up to the point.
  EXPECT_EQ(std::strtod("1.5", nullptr), 1.0);

  int pending = 0;
  double d = 0;
  EXPECT_EQ(CharToDecimal("1.5", 3, &d, &pending), SQL_SUCCESS);
  EXPECT_EQ(d, 1.5);
  EXPECT_EQ(CharToDecimal("$1,234.25", 9, &d, &pending), SQL_SUCCESS);
  EXPECT_EQ(d, 1234.25);
  EXPECT_EQ(WCharToDecimal(u"-2.75", 5, &d, &pending), SQL_SUCCESS);
  EXPECT_EQ(d, -2.75);
  float f = 0;
  EXPECT_EQ(ConvertCHAR("0.5", 3, 3, SQL_C_FLOAT, &f, 4, nullptr, &pending, 0, 0), SQL_SUCCESS);
  EXPECT_EQ(f, 0.5f);

  SQL_NUMERIC_STRUCT n;
  EXPECT_EQ(CharToNumeric("12.34", 5, &n, 2, 10, &pending), SQL_SUCCESS);
  EXPECT_EQ(NumericValue(n), "1234");
  EXPECT_EQ(DoubleToNumeric(12.345, &n, 2, 10, &pending), SQL_SUCCESS);
  EXPECT_EQ(NumericValue(n), "1234");

  char text[32];
  EXPECT_EQ(ConvertDOUBLE(1.5, SQL_C_CHAR, text, 32, nullptr, &pending, 0, 0), SQL_SUCCESS);
  EXPECT_STREQ(text, "1.5");
  EXPECT_EQ(ConvertDOUBLE(0.1, SQL_C_CHAR, text, 32, nullptr, &pending, 0, 0), SQL_SUCCESS);
  EXPECT_STREQ(text, "0.1");
  EXPECT_EQ(ConvertFLOAT(0.25f, SQL_C_CHAR, text, 32, nullptr, &pending, 0, 0), SQL_SUCCESS);
  EXPECT_STREQ(text, "0.25");
  // The whole-part rule still finds the point.
  EXPECT_EQ(ConvertDOUBLE(12.75, SQL_C_CHAR, text, 4, nullptr, &pending, 0, 0), SQL_SUCCESS_WITH_INFO);
  EXPECT_STREQ(text, "12.");
  pending = 0;
  EXPECT_EQ(ConvertLONG(1234567, true, SQL_C_CHAR, text, 32, nullptr, &pending, 0, 0), SQL_SUCCESS);
  EXPECT_STREQ(text, "1234567");
  EXPECT_EQ(ConvertTIMESTAMP({2024, 3, 5, 10, 20, 30, 500000000}, SQL_C_CHAR, text, 32, nullptr, &pending, 3),
            SQL_SUCCESS);
  EXPECT_STREQ(text, "2024-03-05 10:20:30.500");
  EXPECT_EQ(pending, 0);
}

}  // namespace
