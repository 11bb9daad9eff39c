// The type catalogue, the type columns of catalog rows and the forced column
// types of catalog results.
#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "drv_ora8/o-catalog.h"
#include "variant.h"

namespace {

const bool kUnicode = KVD_VARIANT_UNICODE;

std::vector<std::string> Served(int16_t type, int32_t odbc, int wide, int jet) {
  std::vector<std::string> out;
  uint32_t pos = 0;
  while (const TypeInfoRow *r = db_TypeInfoNext(&pos, type, odbc, wide, jet))
    out.push_back(std::string(r->typeName) + "/" + std::to_string(r->sqlType));
  return out;
}

TEST(TypeCatalogue, AllTypesInServingOrder) {
  const std::vector<std::string> narrow3 = {
      "BLOB/-4",  "LONG RAW/-4",   "RAW/-3",       "CLOB/-1",      "LONG/-1",     "CHAR/1",
      "NUMBER/3", "NUMBER(10)/4",  "FLOAT/6",      "BINARY_FLOAT/7", "BINARY_DOUBLE/8", "FLOAT/8",
      "VARCHAR2/12", "TIMESTAMP/93", "DATE/93"};
  EXPECT_EQ(Served(0, 3, 0, 0), narrow3);
  // ODBC 2 gets the old datetime codes before VARCHAR2.
  std::vector<std::string> two = Served(0, 2, 0, 0);
  ASSERT_EQ(two.size(), 15u);
  EXPECT_EQ(std::vector<std::string>(two.end() - 3, two.end()),
            (std::vector<std::string>{"TIMESTAMP/11", "DATE/11", "VARCHAR2/12"}));
  // The wide rows come first, only in the Unicode build.
  std::vector<std::string> wide = Served(0, 3, 1, 0);
  ASSERT_EQ(wide.size(), kUnicode ? 22u : 15u);
  if (kUnicode) {
    EXPECT_EQ(wide[0], "CLOB/-10");
  }
}

TEST(TypeCatalogue, SingleTypes) {
  struct Case {
    int16_t type;
    int jet;
    std::vector<std::string> want;
  } cases[] = {
      {4, 0, {}},
      {4, 1, {"NUMBER(10)/4"}},
      {2, 0, {}},  // SQL_NUMERIC
      {5, 0, {}},  // SQL_SMALLINT
      {8, 0, {"BINARY_DOUBLE/8", "FLOAT/8"}},
      {93, 0, {"TIMESTAMP/93", "DATE/93"}},
      {-1, 0, {"CLOB/-1", "LONG/-1"}},
      {-9, 0, kUnicode ? std::vector<std::string>{"VARCHAR2/-9", "NVARCHAR2/-9"} : std::vector<std::string>{}},
      {999, 0, {}},
  };
  for (const Case &c : cases) EXPECT_EQ(Served(c.type, 3, 0, c.jet), c.want) << c.type;
}

TEST(TypeCatalogue, RowFieldsReadNullWhereTheCatalogueHasNone) {
  uint32_t pos = 0;
  const TypeInfoRow *r = db_TypeInfoNext(&pos, 12, 3, 0, 0);
  ASSERT_NE(r, nullptr);
  EXPECT_STREQ(r->literalPrefix, "'");
  EXPECT_STREQ(r->createParams, "length");
  EXPECT_EQ(r->unsignedAttribute, kTypeInfoNull);
  EXPECT_EQ(r->autoUniqueValue, kTypeInfoNull);
  EXPECT_STREQ(r->localTypeName, "VARCHAR2");
  pos = 0;
  r = db_TypeInfoNext(&pos, 3, 3, 0, 0);
  ASSERT_NE(r, nullptr);
  EXPECT_EQ(r->minimumScale, -84);
  EXPECT_EQ(r->maximumScale, 127);
  EXPECT_EQ(r->numPrecRadix, 10);
}

struct Derived {
  int16_t type, dataType, sub;
  int32_t size, buffer;
};

Derived Derive(const char *name, int32_t precision, int32_t length, int16_t scale, int32_t odbc = 3, int jet = 0,
               int wide = 0) {
  Derived d{};
  d.size = precision;
  d.buffer = length;
  db_TypeNameToSqlType(&d.type, name, static_cast<uint16_t>(std::strlen(name)), &d.size, &d.buffer, scale,
                       &d.dataType, &d.sub, odbc, jet, wide);
  return d;
}

TEST(TypeNames, OracleNamesGiveOdbcColumns) {
  struct Case {
    const char *name;
    int32_t precision, length;
    int16_t scale;
    int32_t odbc;
    int jet, wide;
    Derived want;
  } cases[] = {
      {"NUMBER", 4, 22, 0, 3, 0, 0, {5, 5, -1, 4, 2}},
      {"NUMBER", 2, 22, 0, 3, 0, 0, {-6, -6, -1, 2, 1}},
      {"NUMBER", 10, 22, 0, 3, 0, 0, {4, 4, -1, 10, 4}},
      {"NUMBER", 10, 22, 0, 3, 1, 0, {4, 4, -1, 10, 4}},
      {"NUMBER", 11, 22, 0, 3, 0, 0, {3, 3, -1, 11, 22}},
      {"NUMBER", 11, 22, 0, 3, 1, 0, {8, 8, -1, 15, 8}},
      {"NUMBER", 0, 22, 0, 3, 0, 0, {3, 3, -1, 38, 38}},
      {"NUMBER", 8, 22, 2, 3, 0, 0, {3, 3, -1, 8, 22}},
      {"FLOAT", 126, 22, 0, 3, 0, 0, {12, 12, -1, 38, 40}},
      {"FLOAT", 126, 22, 0, 3, 1, 0, {8, 8, -1, 15, 8}},
      {"FLOAT", 50, 22, 0, 3, 0, 0, {8, 8, -1, 15, 8}},
      {"DATE", 0, 7, 0, 3, 0, 0, {93, 9, 3, 19, 16}},
      {"DATE", 0, 7, 0, 2, 0, 0, {11, 9, 3, 19, 16}},
      {"TIMESTAMP(6)", 0, 11, 6, 3, 0, 0, {93, 9, 3, 26, 16}},
      {"TIMESTAMP(0)", 0, 11, 0, 3, 0, 0, {93, 9, 3, 19, 16}},
      {"TIMESTAMP", 0, 11, 0, 3, 0, 0, {93, 9, 3, 19, 16}},
      {"VARCHAR2", 0, 30, 0, 3, 0, 0, {12, 12, -1, 30, 30}},
      {"VARCHAR2", 0, 30, 0, 3, 0, 1, {-9, -9, -1, 30, 30}},
      {"CLOB", 0, 4000, 0, 3, 0, 1, {-10, -10, -1, 4000, 4000}},
      {"CHAR", 0, 1, 0, 3, 0, 1, {-8, -8, -1, 1, 1}},
      {"LONG", 0, 0, 0, 3, 0, 0, {-1, -1, -1, 2147483643, 2147483643}},
      {"RAW", 0, 16, 0, 3, 0, 0, {-3, -3, -1, 16, 16}},
      {"BINARY_DOUBLE", 0, 8, 0, 3, 0, 0, {8, 8, -1, 15, 8}},
      {"XMLTYPE", 0, 2000, 0, 3, 0, 0, {1, 1, -1, 2000, 2000}},
  };
  for (const Case &c : cases) {
    Derived d = Derive(c.name, c.precision, c.length, c.scale, c.odbc, c.jet, c.wide);
    SCOPED_TRACE(std::string(c.name) + " p" + std::to_string(c.precision) + " s" + std::to_string(c.scale) + " jet" +
                 std::to_string(c.jet) + " wide" + std::to_string(c.wide));
    EXPECT_EQ(d.type, c.want.type);
    EXPECT_EQ(d.dataType, c.want.dataType);
    EXPECT_EQ(d.sub, c.want.sub);
    EXPECT_EQ(d.size, c.want.size);
    EXPECT_EQ(d.buffer, c.want.buffer);
  }
  // A counted name is read to its length only.
  int16_t type = 0;
  int32_t size = 0, buffer = 7;
  db_TypeNameToSqlType(&type, "DATEXYZ", 4, &size, &buffer, 0, nullptr, nullptr, 3, 0, 0);
  EXPECT_EQ(type, 93);
}

}  // namespace
