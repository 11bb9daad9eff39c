// SQLGetTypeInfo through the fetch path, and the type names and literals
// that descriptors read from the same catalogue.
#include <string>
#include <vector>

#include "desc_fixture.h"
#include "odbc/data/typeinfo.h"
#include "odbc/stmt.h"

namespace dt {
namespace {

// The catalogue's 19 columns.
const std::vector<fake::Column> kCatalogueCols = {
    {"TYPE_NAME", SQL_VARCHAR, VT_STRING, 400},   {"DATA_TYPE", SQL_SMALLINT, VT_SSHORT, 5},
    {"COLUMN_SIZE", SQL_INTEGER, VT_SLONG, 10},   {"LITERAL_PREFIX", SQL_VARCHAR, VT_STRING, 30},
    {"LITERAL_SUFFIX", SQL_VARCHAR, VT_STRING, 30}, {"CREATE_PARAMS", SQL_VARCHAR, VT_STRING, 30},
    {"NULLABLE", SQL_SMALLINT, VT_SSHORT, 5},     {"CASE_SENSITIVE", SQL_SMALLINT, VT_SSHORT, 5},
    {"SEARCHABLE", SQL_SMALLINT, VT_SSHORT, 5},   {"UNSIGNED_ATTRIBUTE", SQL_SMALLINT, VT_SSHORT, 5},
    {"FIXED_PREC_SCALE", SQL_SMALLINT, VT_SSHORT, 5}, {"AUTO_UNIQUE_VALUE", SQL_SMALLINT, VT_SSHORT, 5},
    {"LOCAL_TYPE_NAME", SQL_VARCHAR, VT_STRING, 30}, {"MINIMUM_SCALE", SQL_SMALLINT, VT_SSHORT, 5},
    {"MAXIMUM_SCALE", SQL_SMALLINT, VT_SSHORT, 5}, {"SQL_DATA_TYPE", SQL_SMALLINT, VT_SSHORT, 5},
    {"SQL_DATETIME_SUB", SQL_SMALLINT, VT_SSHORT, 5}, {"NUM_PREC_RADIX", SQL_INTEGER, VT_SLONG, 10},
    {"INTERVAL_PRECISION", SQL_SMALLINT, VT_SSHORT, 5},
};

struct TypeRow {
  std::string name;
  int16_t type;
  const char *prefix;  // null: NULL
  const char *suffix;
};

const std::vector<TypeRow> kTypes = {
    {"CHAR", SQL_CHAR, "'", "'"},
    {"NUMBER", SQL_DECIMAL, nullptr, nullptr},
    {"INTEGER", SQL_INTEGER, nullptr, nullptr},
    {"VARCHAR2", SQL_VARCHAR, "'", "'"},
    {"NVARCHAR2", SQL_WVARCHAR, "N'", "'"},
    {"TIMESTAMP", SQL_TYPE_TIMESTAMP, "TIMESTAMP '", "'"},
    {"INTERVAL", SQL_INTERVAL, "?", "?"},
    {"INTERVAL DAY TO SECOND", SQL_INTERVAL_DAY_TO_SECOND, "INTERVAL '", "' DAY TO SECOND"},
    {std::string(300, 'R'), SQL_REAL, nullptr, nullptr},
};

fake::Row RowOf(const TypeRow &t) {
  auto text = [](const char *s) { return s ? fake::Text(s) : fake::Null(); };
  fake::Row r(19, fake::Null());
  r[0] = fake::Text(t.name);
  r[1] = fake::I16(t.type);
  r[2] = fake::I32(10);
  r[3] = text(t.prefix);
  r[4] = text(t.suffix);
  r[6] = fake::I16(SQL_NULLABLE);
  return r;
}

// The catalogue query of the fake agent: the canned result becomes the
// rows of the type asked for (every row for 0).
DRV_DDTypeInfo_t g_fakeTypeInfo = nullptr;
std::vector<int16_t> g_asked;

int32_t CatalogueTypeInfo(DrvHandle cursor, int16_t sqlType) {
  g_asked.push_back(sqlType);
  std::vector<fake::Row> rows;
  for (const TypeRow &t : kTypes)
    if (sqlType == SQL_ALL_TYPES || t.type == sqlType) rows.push_back(RowOf(t));
  fake::SetColumns(kCatalogueCols);
  fake::SetRows(rows);
  return g_fakeTypeInfo(cursor, sqlType);
}

struct TypeInfoTest : DescTest {
  void SetUp() override {
    DescTest::SetUp();
    g_asked.clear();
    g_fakeTypeInfo = fake::Table()->DRV_DDTypeInfo;
    fake::Table()->DRV_DDTypeInfo = CatalogueTypeInfo;
  }
  // TYPE_NAME and DATA_TYPE of every row left in the result.
  std::vector<std::pair<std::string, int>> Rows() {
    std::vector<std::pair<std::string, int>> out;
    SQLRETURN rc;
    while ((rc = SQLFetch(hstmt)) == SQL_SUCCESS) {
      char name[512] = {};
      SQLSMALLINT type = 0;
      SQLLEN ind = 0;
      EXPECT_EQ(SQLGetData(hstmt, 1, SQL_C_CHAR, name, sizeof name, &ind), SQL_SUCCESS);
      EXPECT_EQ(SQLGetData(hstmt, 2, SQL_C_SSHORT, &type, 0, &ind), SQL_SUCCESS);
      out.emplace_back(name, type);
    }
    EXPECT_EQ(rc, SQL_NO_DATA);
    return out;
  }
};

TEST_F(TypeInfoTest, AllTypesGiveEveryRowOfTheCatalogue) {
  ASSERT_EQ(SQLGetTypeInfo(hstmt, SQL_ALL_TYPES), SQL_SUCCESS);
  EXPECT_EQ(g_asked, std::vector<int16_t>{SQL_ALL_TYPES});
  SQLSMALLINT cols = 0;
  ASSERT_EQ(SQLNumResultCols(hstmt, &cols), SQL_SUCCESS);
  EXPECT_EQ(cols, 19);
  auto rows = Rows();
  ASSERT_EQ(rows.size(), kTypes.size());
  for (size_t i = 0; i < rows.size(); ++i) {
    EXPECT_EQ(rows[i].first, kTypes[i].name);
    EXPECT_EQ(rows[i].second, kTypes[i].type);
  }
}

TEST_F(TypeInfoTest, OneTypeGivesItsRowsAndAnUnknownTypeNone) {
  ASSERT_EQ(SQLGetTypeInfo(hstmt, SQL_VARCHAR), SQL_SUCCESS);
  EXPECT_EQ(Rows(), (std::vector<std::pair<std::string, int>>{{"VARCHAR2", SQL_VARCHAR}}));
  ASSERT_EQ(SQLGetTypeInfo(hstmt, SQL_GUID), SQL_SUCCESS);
  EXPECT_EQ(SQLFetch(hstmt), SQL_NO_DATA);
  EXPECT_EQ(g_asked, (std::vector<int16_t>{SQL_VARCHAR, SQL_GUID}));
}

TEST_F(TypeInfoTest, BoundColumnsAndAnOdbc2Fetch) {
  // Bound columns are filled by the fetch, and an ODBC 2 application fetches
  // the same rows by blocks.
  front::EnvOf(env)->odbcVersion = SQL_OV_ODBC2;
  char name[64];
  SQLLEN nameInd = 0;
  ASSERT_EQ(SQLBindCol(hstmt, 1, SQL_C_CHAR, name, sizeof name, &nameInd), SQL_SUCCESS);
  ASSERT_EQ(SQLGetTypeInfo(hstmt, SQL_TYPE_TIMESTAMP), SQL_SUCCESS);
  ASSERT_EQ(SQLFetch(hstmt), SQL_SUCCESS);
  EXPECT_STREQ(name, "TIMESTAMP");
  EXPECT_EQ(nameInd, 9);
  EXPECT_EQ(SQLFetch(hstmt), SQL_NO_DATA);
}

TEST_F(TypeInfoTest, AnOpenResultIsClosedFirst) {
  ASSERT_EQ(SQLGetTypeInfo(hstmt, SQL_ALL_TYPES), SQL_SUCCESS);
  ASSERT_EQ(SQLFetch(hstmt), SQL_SUCCESS);
  const int closes = fake::CallCount(SLOT_DRV_CloseCursor);
  ASSERT_EQ(SQLGetTypeInfo(hstmt, SQL_ALL_TYPES), SQL_SUCCESS);
  EXPECT_EQ(fake::CallCount(SLOT_DRV_CloseCursor), closes + 1);
  EXPECT_EQ(Rows().size(), kTypes.size());
}

TEST_F(TypeInfoTest, TheAgentsRefusalIsTheStatementsError) {
  fake::Script(SLOT_DRV_DDTypeInfo).result = E_S1000;
  EXPECT_EQ(SQLGetTypeInfo(hstmt, SQL_ALL_TYPES), SQL_ERROR);
  EXPECT_EQ(stmt->pending, E_S1000);
  EXPECT_EQ(stmt->flags & STMTF_RESULT_OPEN, 0);
  EXPECT_EQ(SQLFetch(hstmt), SQL_ERROR);
}

TEST_F(TypeInfoTest, OneColumnOfTheFirstRow) {
  char buf[256];
  SQLLEN ind = 0;
  const int cursors = fake::LiveCursors();
  EXPECT_EQ(TypeInfoColumn(conn, 1, SQL_WVARCHAR, buf, sizeof buf, &ind), SQL_SUCCESS);
  EXPECT_STREQ(buf, "NVARCHAR2");
  EXPECT_EQ(TypeInfoColumn(conn, 4, SQL_WVARCHAR, buf, sizeof buf, &ind), SQL_SUCCESS);
  EXPECT_STREQ(buf, "N'");
  EXPECT_EQ(TypeInfoColumn(conn, 4, SQL_INTEGER, buf, sizeof buf, &ind), SQL_SUCCESS);
  EXPECT_EQ(ind, SQL_NULL_DATA);
  EXPECT_EQ(TypeInfoColumn(conn, 1, SQL_REAL, buf, 255, &ind), SQL_SUCCESS_WITH_INFO);
  EXPECT_EQ(TypeInfoColumn(conn, 1, SQL_GUID, buf, sizeof buf, &ind), SQL_NO_DATA);
  // The temporary statements are gone, with their agent cursors.
  EXPECT_EQ(fake::LiveCursors(), cursors);
  EXPECT_EQ(conn->pending, 0);
  fake::Script(SLOT_DRV_DDTypeInfo).result = E_S1000;
  EXPECT_EQ(TypeInfoColumn(conn, 1, SQL_CHAR, buf, sizeof buf, &ind), SQL_ERROR);
  EXPECT_EQ(conn->pending, 0);
  EXPECT_EQ(fake::LiveCursors(), cursors);
  conn->state = CONN_ALLOCATED;
  EXPECT_EQ(TypeInfoColumn(conn, 1, SQL_CHAR, buf, sizeof buf, &ind), SQL_ERROR);
  EXPECT_EQ(conn->pending, E_08003);
  conn->state = CONN_CONNECTED;
}

TEST_F(TypeInfoTest, DescriptorsNameTypesFromTheCatalogue) {
  fake::SetColumns({
      {"NAME", SQL_VARCHAR, VT_STRING, 20},
      {"SPAN", SQL_INTERVAL_DAY_TO_SECOND, VT_STRING, 20},
      {"RATIO", SQL_REAL, VT_FLOAT, 4},
      {"ID", SQL_INTEGER, VT_SLONG, 10},
  });
  stmt->state = STMT_PREPARED;
  ASSERT_NE(StmtDescribe(stmt), nullptr);
  EXPECT_EQ(Text(Ird(), 1, SQL_DESC_TYPE_NAME), "VARCHAR2");
  EXPECT_EQ(Text(Ird(), 1, SQL_DESC_LITERAL_PREFIX), "'");
  EXPECT_EQ(Text(Ird(), 1, SQL_DESC_LITERAL_SUFFIX), "'");
  // An interval column is named by SQL_INTERVAL; its literals are its own.
  g_asked.clear();
  EXPECT_EQ(Text(Ird(), 2, SQL_DESC_TYPE_NAME), "INTERVAL");
  EXPECT_EQ(Text(Ird(), 2, SQL_DESC_LITERAL_PREFIX), "INTERVAL '");
  EXPECT_EQ(Text(Ird(), 2, SQL_DESC_LITERAL_SUFFIX), "' DAY TO SECOND");
  EXPECT_EQ(g_asked, (std::vector<int16_t>{SQL_INTERVAL, SQL_INTERVAL_DAY_TO_SECOND, SQL_INTERVAL_DAY_TO_SECOND}));
  // A name that the 255-byte read cuts, and a NULL literal, read as empty.
  EXPECT_EQ(Text(Ird(), 3, SQL_DESC_TYPE_NAME), "");
  EXPECT_EQ(Text(Ird(), 4, SQL_DESC_LITERAL_PREFIX), "");
  EXPECT_EQ(Text(Ird(), 0, SQL_DESC_TYPE_NAME), "CHAR");
  // The IPD names the type of its record when no description says more.
  ASSERT_EQ(Set(Ipd(), 1, SQL_DESC_CONCISE_TYPE, SQL_DECIMAL), SQL_SUCCESS);
  EXPECT_EQ(Text(Ipd(), 1, SQL_DESC_TYPE_NAME), "NUMBER");
  // The W entry answers the same name in UTF-16.
  SQLWCHAR w[16] = {};
  SQLINTEGER len = 0;
  ASSERT_EQ(SQLGetDescFieldW(Ird(), 1, SQL_DESC_TYPE_NAME, w, sizeof w, &len), SQL_SUCCESS);
  EXPECT_EQ(len, 16);
  EXPECT_EQ(w[0], 'V');
  // A failing catalogue query fails the read, with no reason of its own.
  fake::Script(SLOT_DRV_DDTypeInfo).result = E_S1000;
  SQLRETURN rc = SQL_SUCCESS;
  Text(Ird(), 1, SQL_DESC_TYPE_NAME, &rc);
  EXPECT_EQ(rc, SQL_ERROR);
  EXPECT_EQ(Code(Ird()), 0);
}

}  // namespace
}  // namespace dt
