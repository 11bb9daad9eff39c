// Result sets through the agent: every type the stand-in has, described and
// fetched into Datasets in the narrow and the wide mode; NULLs; blocks of
// rows with a last partial block; long values refused cleanly while this
// build has no reader for them.
#include <cmath>

#include "fetch_fixture.h"

using namespace fetch_test;

namespace {

// The mode of a case: the wide mode only where the build has it.
class TypesTest : public FetchTest, public ::testing::WithParamInterface<bool> {
 protected:
  void SetUp() override {
    FetchTest::SetUp();
    Open(GetParam());
    Exec("CREATE TABLE ALLT (ID NUMBER(5) NOT NULL, N NUMBER, N2 NUMBER(2), N4 NUMBER(4), N10 NUMBER(10), "
         "N102 NUMBER(10,2), F FLOAT, BF BINARY_FLOAT, BD BINARY_DOUBLE, C CHAR(5), V VARCHAR2(10), "
         "NC NCHAR(4), NV NVARCHAR2(6), D DATE, TS TIMESTAMP(9), R RAW(4))");
    Exec("INSERT INTO ALLT VALUES (1, 3.25, -7, 1234, 1234567890, 12.5, 0.5, 1.5, 2.25, 'ab', "
         "'h\xC3\xA9llo', N'xy', N'\xC3\xBC" "ber', TO_DATE('2001-02-03 04:05:06', 'YYYY-MM-DD HH24:MI:SS'), "
         "TIMESTAMP '2024-02-29 23:59:58.123456789', HEXTORAW('DEADBEEF'))");
    Exec("INSERT INTO ALLT (ID) VALUES (2)");
  }
};

INSTANTIATE_TEST_SUITE_P(Mode, TypesTest, ::testing::Values(false, true),
                         [](const ::testing::TestParamInfo<bool> &i) { return i.param ? "Wide" : "Narrow"; });

struct ColExpect {
  const char *name;
  int32_t sqlType, wideSqlType;
  uint32_t columnSize;
  int16_t decimalDigits;
  int32_t displaySize;
  int32_t valueType, wideValueType;
  uint32_t octetLength;
  uint32_t nullable;
  uint32_t wideOctetLength = 0;  // 0: as octetLength
};

const ColExpect kAllCols[] = {
    {"ID", 4, 4, 5, 0, 7, VT_SLONG, VT_SLONG, 4, 0},
    {"N", 8, 8, 15, 0, 22, VT_VARCHAR2, VT_VARCHAR2, 64, 1},
    {"N2", -6, -6, 2, 0, 4, VT_STINYINT, VT_STINYINT, 1, 1},
    {"N4", 5, 5, 4, 0, 6, VT_SSHORT, VT_SSHORT, 2, 1},
    {"N10", 3, 3, 10, 0, 12, VT_VARCHAR2, VT_VARCHAR2, 64, 1},
    {"N102", 3, 3, 10, 2, 12, VT_VARCHAR2, VT_VARCHAR2, 64, 1},
    {"F", 12, 12, 38, 0, 40, VT_VARCHAR2, VT_VARCHAR2, 64, 1},
    {"BF", 6, 6, 7, 0, 13, VT_FLOAT, VT_FLOAT, 4, 1},
    {"BD", 8, 8, 15, 0, 22, VT_DOUBLE, VT_DOUBLE, 8, 1},
    {"C", 1, -8, 5, 0, 5, VT_CHAR, VT_WVARCHAR4, 5, 1},
    {"V", 12, -9, 10, 0, 10, VT_VARCHAR2, VT_WVARCHAR4, 10, 1},
    // National types count characters: room for four UTF-8 bytes each, or
    // for the byte size in UTF-16 units.
    {"NC", 1, -8, 4, 0, 4, VT_VARCHAR2, VT_WVARCHAR4, 16, 1, 8},
    {"NV", 12, -9, 6, 0, 6, VT_VARCHAR2, VT_WVARCHAR4, 24, 1, 12},
    {"D", 11, 11, 19, 0, 19, VT_TIMESTAMP, VT_TIMESTAMP, 16, 1},
    {"TS", 11, 11, 29, 9, 29, VT_TIMESTAMP, VT_TIMESTAMP, 16, 1},
    {"R", -3, -3, 4, 0, 4, VT_VARBIN2, VT_VARBIN2, 4, 1},
};

TEST_P(TypesTest, ColumnsDescribedAsTheyAreMapped) {
  DrvHandle cur = Query("SELECT * FROM ALLT ORDER BY ID");
  OwnedCols cols = Describe(cur);
  ASSERT_EQ(std::size(kAllCols), cols.count);
  for (size_t i = 0; i < std::size(kAllCols); ++i) {
    const ColExpect &e = kAllCols[i];
    const ColDesc &c = cols[i];
    SCOPED_TRACE(e.name);
    EXPECT_STREQ(e.name, c.name);
    EXPECT_STREQ(e.name, c.fullName);
    EXPECT_EQ(wide ? e.wideSqlType : e.sqlType, c.sqlType);
    EXPECT_EQ(e.columnSize, c.columnSize);
    EXPECT_EQ(e.decimalDigits, c.decimalDigits);
    EXPECT_EQ(e.displaySize, c.displaySize);
    EXPECT_EQ(wide ? e.wideValueType : e.valueType, c.valueType);
    EXPECT_EQ(wide && e.wideOctetLength ? e.wideOctetLength : e.octetLength, c.octetLength);
    EXPECT_EQ(e.nullable, c.flags & kColDescNullableMask);
    EXPECT_EQ(3u, (c.flags & kColDescUpdatableMask) >> kColDescUpdatableShift);
  }
  // The copy handed up is the caller's: a second one is independent.
  OwnedCols again = Describe(cur);
  ASSERT_EQ(cols.count, again.count);
  EXPECT_NE(cols.cols, again.cols);
  EXPECT_NE(cols[0].fullName, again[0].fullName);
  DropCursor(cur);
}

TEST_P(TypesTest, EveryTypeFetchedIntoItsCells) {
  DrvHandle cur = Query("SELECT * FROM ALLT ORDER BY ID");
  OwnedDataset ds;
  ASSERT_EQ(0, Fetch(cur, 10, ds.get())) << Errors(cur);
  ASSERT_EQ(2, ds->rows);
  ASSERT_EQ(std::size(kAllCols), ds->columns);
  const Dataset &d = ds.ds;
  for (uint16_t c = 0; c < d.columns; ++c)
    EXPECT_EQ(0, d.cols[c].indicators[0]) << kAllCols[c].name;

  EXPECT_EQ(1, CellAs<int32_t>(d, 0, 0));
  EXPECT_EQ("3.25", CellText(d, 1, 0));  // NUMBER: exact text
  EXPECT_EQ(-7, CellAs<int8_t>(d, 2, 0));
  EXPECT_EQ(1234, CellAs<int16_t>(d, 3, 0));
  EXPECT_EQ("1234567890", CellText(d, 4, 0));
  EXPECT_EQ("12.5", CellText(d, 5, 0));
  EXPECT_EQ("0.5", CellText(d, 6, 0));
  EXPECT_EQ(1.5f, CellAs<float>(d, 7, 0));
  EXPECT_EQ(2.25, CellAs<double>(d, 8, 0));
  EXPECT_EQ("ab   ", CellText(d, 9, 0));  // CHAR keeps its blank padding
  EXPECT_EQ("h\xC3\xA9llo", CellText(d, 10, 0));
  EXPECT_EQ("xy  ", CellText(d, 11, 0));  // NCHAR(4): four characters
  EXPECT_EQ("\xC3\xBC" "ber", CellText(d, 12, 0));
  EXPECT_EQ((Timestamp{2001, 2, 3, 4, 5, 6, 0}), CellAs<Timestamp>(d, 13, 0));
  EXPECT_EQ((Timestamp{2024, 2, 29, 23, 59, 58, 123456789}), CellAs<Timestamp>(d, 14, 0));
  EXPECT_EQ("\xDE\xAD\xBE\xEF", CellBytes(d, 15, 0));
  if (wide) {
    // Wide cells hold UTF-16: the CHAR cell its five units after their count.
    EXPECT_EQ(Utf16("ab   "), std::string(reinterpret_cast<const char *>(d.cols[9].values) + 4, 10));
    EXPECT_EQ(5u, CellAs<uint32_t>(d, 9, 0));
  }

  // The second row: NULL in every nullable column; a NULL DATE leaves its
  // cell as it was.
  EXPECT_EQ(0, d.cols[0].indicators[1]);
  EXPECT_EQ(2, CellAs<int32_t>(d, 0, 1));
  for (uint16_t c = 1; c < d.columns; ++c) EXPECT_EQ(kIndNull, d.cols[c].indicators[1]) << kAllCols[c].name;
  EXPECT_EQ((Timestamp{}), CellAs<Timestamp>(d, 13, 1));

  // The end: an empty Dataset.
  OwnedDataset end;
  ASSERT_EQ(0, Fetch(cur, 10, end.get()));
  EXPECT_EQ(0, end->columns);
  EXPECT_EQ(0, end->rows);
  DropCursor(cur);
}

TEST_P(TypesTest, ExpressionsAndCounts) {
  DrvHandle cur = Query("SELECT COUNT(*), MAX(V), ID * 2 FROM ALLT GROUP BY ID ORDER BY ID");
  OwnedCols cols = Describe(cur);
  ASSERT_EQ(3, cols.count);
  EXPECT_EQ(4, cols[0].sqlType);  // COUNT(...) is an INTEGER
  EXPECT_EQ(VT_SLONG, cols[0].valueType);
  OwnedDataset ds;
  ASSERT_EQ(0, Fetch(cur, 5, ds.get())) << Errors(cur);
  ASSERT_EQ(2, ds->rows);
  EXPECT_EQ(1, CellAs<int32_t>(ds.ds, 0, 0));
  EXPECT_EQ("h\xC3\xA9llo", CellText(ds.ds, 1, 0));
  EXPECT_EQ("<NULL>", CellText(ds.ds, 1, 1));
  DropCursor(cur);
}

// NUMBER(p) of up to 18 digits comes as a 64-bit integer and NUMBER(38) in
// Oracle's decimal form: both give the same exact text, at the ends of the
// precision too, and a NULL stays NULL.
TEST_P(TypesTest, WholeNumbersKeepTheirExactText) {
  Exec("CREATE TABLE WHOLE (K NUMBER(2), N10 NUMBER(10), N18 NUMBER(18), N38 NUMBER(38))");
  struct Row {
    const char *n10, *n18;
  };
  const Row rows[] = {
      {"0", "0"},
      {"-1", "1"},
      {"1000", "100000000000000000"},
      {"9999999999", "999999999999999999"},
      {"-9999999999", "-999999999999999999"},
      {"1234567890", "-123456789012345678"},
      {nullptr, nullptr},
  };
  for (size_t k = 0; k < std::size(rows); ++k) {
    const std::string n10 = rows[k].n10 ? rows[k].n10 : "NULL", n18 = rows[k].n18 ? rows[k].n18 : "NULL";
    Exec("INSERT INTO WHOLE VALUES (" + std::to_string(k) + ", " + n10 + ", " + n18 + ", " + n18 + ")");
  }
  DrvHandle cur = Query("SELECT N10, N18, N38 FROM WHOLE ORDER BY K");
  OwnedCols cols = Describe(cur);
  ASSERT_EQ(3, cols.count);
  for (uint16_t c = 0; c < 2; ++c) {
    EXPECT_EQ(3, cols[c].sqlType);  // still DECIMAL, as text
    EXPECT_EQ(VT_VARCHAR2, cols[c].valueType);
  }
  OwnedDataset ds;
  ASSERT_EQ(0, Fetch(cur, 10, ds.get())) << Errors(cur);
  ASSERT_EQ(static_cast<int32_t>(std::size(rows)), ds->rows);
  for (size_t k = 0; k < std::size(rows); ++k) {
    SCOPED_TRACE(k);
    const auto r = static_cast<int32_t>(k);
    EXPECT_EQ(rows[k].n10 ? rows[k].n10 : "<NULL>", CellText(ds.ds, 0, r));
    EXPECT_EQ(rows[k].n18 ? rows[k].n18 : "<NULL>", CellText(ds.ds, 1, r));
    EXPECT_EQ(CellText(ds.ds, 2, r), CellText(ds.ds, 1, r));
  }
  DropCursor(cur);
}

// A NUMBER computed in binary keeps the 15 significant digits that Oracle
// keeps of a double, whether its shortest form is shorter or longer.
TEST_P(TypesTest, BinaryNumbersKeepFifteenDigits) {
  Exec("CREATE TABLE FRAC (K NUMBER(2), N NUMBER)");
  struct Case {
    const char *expr, *text;
  };
  const Case cases[] = {
      {"1.25", "1.25"},
      {"0.1 + 0.2", "0.3"},  // 0.30000000000000004
      {"1 / 3", "0.333333333333333"},
      {"-2 / 3", "-0.666666666666667"},
      {"123456789012.5", "123456789012.5"},
      {"1 - 1e-16", "1"},  // 0.9999999999999999: the rounding carries
      {"-2.5e-10", "-0.00000000025"},
      {"5e100 * 1", "5E+100"},
  };
  for (size_t k = 0; k < std::size(cases); ++k)
    Exec("INSERT INTO FRAC VALUES (" + std::to_string(k) + ", " + cases[k].expr + ")");
  DrvHandle cur = Query("SELECT N FROM FRAC ORDER BY K");
  OwnedDataset ds;
  ASSERT_EQ(0, Fetch(cur, 10, ds.get())) << Errors(cur);
  ASSERT_EQ(static_cast<int32_t>(std::size(cases)), ds->rows);
  for (size_t k = 0; k < std::size(cases); ++k)
    EXPECT_EQ(cases[k].text, CellText(ds.ds, 0, static_cast<int32_t>(k))) << cases[k].expr;
  DropCursor(cur);
}

TEST_P(TypesTest, DescribedBeforeExecutionAndOnlyOnce) {
  DrvHandle cur = NewCursor();
  ASSERT_EQ(0, DrvCall<&DrvOps::DRV_Prepare>(&drv, cur, "SELECT ID, D FROM ALLT ORDER BY ID"));
  OwnedCols before = Describe(cur);
  ASSERT_EQ(2, before.count);
  EXPECT_EQ(11, before[1].sqlType);
  DB_Curs *c = Agent_Cursor(cur)->dbCurs;
  const OciColDesc *descs = c->resultDescs;
  ASSERT_EQ(0, DrvCall<&DrvOps::DRV_Execute>(&drv, cur));
  EXPECT_EQ(descs, c->resultDescs);  // the execution did not describe again
  OwnedDataset ds;
  ASSERT_EQ(0, Fetch(cur, 5, ds.get()));
  EXPECT_EQ(2, ds->rows);
  DropCursor(cur);
}

TEST_P(TypesTest, DataChangingStatementsHaveNoColumns) {
  DrvHandle cur = NewCursor();
  for (const char *sql : {"INSERT INTO ALLT (ID) VALUES (3)", "UPDATE ALLT SET N = 1 WHERE ID = 3"}) {
    ASSERT_EQ(0, DrvCall<&DrvOps::DRV_Prepare>(&drv, cur, sql));
    uint16_t count = 99;
    ColDesc *cols = nullptr;
    EXPECT_EQ(0, DrvCall<&DrvOps::DRV_DescribeColumns>(&drv, cur, &count, &cols)) << sql;
    EXPECT_EQ(0, count);
    EXPECT_EQ(nullptr, cols);
  }
  // No parameters: an array all the same, the caller's to free.
  uint16_t count = 99;
  ColDesc *pars = nullptr;
  ASSERT_EQ(0, DrvCall<&DrvOps::DRV_DescribeParams>(&drv, cur, &count, &pars));
  EXPECT_EQ(0, count);
  EXPECT_NE(nullptr, pars);
  ColDescFree(pars, count);
  DropCursor(cur);
}

TEST_P(TypesTest, ExtendedAttributes) {
  DrvHandle cur = Query("SELECT N, C FROM ALLT");
  uint16_t colCount = 0;
  int16_t attrCount = 0;
  ColDesc *cols = nullptr;
  ColAttr *attrs = nullptr;
  ASSERT_EQ(0, DrvCall<&DrvOps::DRV_DescribeColumns2>(&drv, cur, &colCount, &attrCount, &cols, &attrs));
  ASSERT_EQ(2, colCount);
  // 30 rows built; the copy drops the not-final ones (searchable, 1053 and
  // 1055 per column) and the per-column rows that repeat the all-columns value.
  EXPECT_EQ(16, attrCount);
  HashTable *set = nullptr;
  ASSERT_EQ(0, ColAttrSetBuild(attrs, attrCount, &set));
  auto text = [&](int16_t id, int16_t col) {
    const char *t = nullptr;
    EXPECT_EQ(1, ColAttrLookup(set, id, col, nullptr, &t, nullptr)) << id << " " << col;
    return std::string(t ? t : "<null>");
  };
  auto integer = [&](int16_t id, int16_t col) {
    int32_t v = -99;
    EXPECT_EQ(1, ColAttrLookup(set, id, col, &v, nullptr, nullptr)) << id << " " << col;
    return v;
  };
  EXPECT_EQ("NUMBER", text(14, 1));
  EXPECT_EQ("CHAR", text(14, 2));
  EXPECT_EQ("", text(27, 1));
  EXPECT_EQ("'", text(27, 2));
  EXPECT_EQ("'", text(28, 2));
  EXPECT_EQ(0, integer(12, 1));  // case-sensitive: character types only
  EXPECT_EQ(1, integer(12, 2));
  EXPECT_EQ(2, integer(10, 1));  // updatable unknown
  EXPECT_EQ(0, integer(11, 2));
  EXPECT_EQ(0, integer(1053, 0));
  int32_t v = 0;
  EXPECT_EQ(0, ColAttrLookup(set, 13, 1, &v, nullptr, nullptr));  // searchable is left to the front end
  ColAttrSetFree(set);
  ColAttrListFree(attrs, attrCount);
  ColDescFree(cols, colCount);

  // Every output is required.
  EXPECT_EQ(E_S1009, DrvCall<&DrvOps::DRV_DescribeColumns2>(&drv, cur, &colCount, &attrCount, &cols, nullptr));
  DropCursor(cur);

  // Type names and literal affixes of further types.
  cur = Query("SELECT R, V, D FROM ALLT");
  ASSERT_EQ(0, DrvCall<&DrvOps::DRV_DescribeColumns2>(&drv, cur, &colCount, &attrCount, &cols, &attrs));
  set = nullptr;
  ASSERT_EQ(0, ColAttrSetBuild(attrs, attrCount, &set));
  EXPECT_EQ("RAW", text(14, 1));
  EXPECT_EQ("0x", text(27, 1));
  EXPECT_EQ("", text(28, 1));
  EXPECT_EQ("VARCHAR2", text(14, 2));
  EXPECT_EQ("'", text(28, 2));
  EXPECT_EQ(2, integer(10, 2));
  EXPECT_EQ("DATE", text(14, 3));
  ColAttrSetFree(set);
  ColAttrListFree(attrs, attrCount);
  ColDescFree(cols, colCount);
  DropCursor(cur);
}

// ---- Blocks of rows ----------------------------------------------------------------

class BlocksTest : public FetchTest {
 protected:
  void SetUp() override {
    FetchTest::SetUp();
    Open(false);
    Exec("CREATE TABLE T10 (N NUMBER(2))");
    for (int i = 0; i < 10; ++i) Exec("INSERT INTO T10 VALUES (" + std::to_string(i) + ")");
  }
};

TEST_F(BlocksTest, FullBlocksThenThePartialOne) {
  // 20 rows in blocks of 7: 7, 7, 6, then the end; 21 rows end on a block
  // boundary.
  for (int total : {20, 21}) {
    DrvHandle cur = Query("SELECT A.N * 10 + B.N AS K FROM T10 A, T10 B WHERE A.N * 10 + B.N < " +
                          std::to_string(total) + " ORDER BY 1");
    std::vector<int> got;
    std::vector<int> blocks;
    for (;;) {
      OwnedDataset ds;
      ASSERT_EQ(0, Fetch(cur, 7, ds.get())) << Errors(cur);
      if (ds->rows == 0) {
        EXPECT_EQ(0, ds->columns);
        break;
      }
      blocks.push_back(ds->rows);
      for (int32_t r = 0; r < ds->rows; ++r) got.push_back(static_cast<int>(NumAt(ds.ds, 0, r)));
    }
    EXPECT_EQ(total == 20 ? std::vector<int>({7, 7, 6}) : std::vector<int>({7, 7, 7}), blocks);
    ASSERT_EQ(static_cast<size_t>(total), got.size());
    for (int i = 0; i < total; ++i) EXPECT_EQ(i, got[i]);
    // Past the end stays at the end.
    OwnedDataset more;
    ASSERT_EQ(0, Fetch(cur, 7, more.get()));
    EXPECT_EQ(0, more->rows);
    DropCursor(cur);
  }
}

TEST_F(BlocksTest, RowCountsBeyondSixteenBits) {
  // 70 000 rows: the largest block DRV_Fetch can ask for, then the rest; and
  // one fetch of a block larger than 65535 rows at the OCI level, counted in
  // 32 bits.
  const std::string sql =
      "SELECT A.N + 10 * B.N + 100 * C.N + 1000 * D.N + 10000 * E.N AS K FROM T10 A, T10 B, T10 C, T10 D, T10 E "
      "WHERE E.N < 7 ORDER BY 1";
  DrvHandle cur = Query(sql);
  {
    OwnedDataset ds;
    ASSERT_EQ(0, Fetch(cur, 65535, ds.get())) << Errors(cur);
    ASSERT_EQ(65535, ds->rows);
    EXPECT_EQ(65534, NumAt(ds.ds, 0, 65534));
    OwnedDataset rest;
    ASSERT_EQ(0, Fetch(cur, 65535, rest.get()));
    ASSERT_EQ(70000 - 65535, rest->rows);
    EXPECT_EQ(69999, NumAt(rest.ds, 0, rest->rows - 1));
  }
  DropCursor(cur);

  cur = Query(sql);
  AgentCursor *ac = Agent_Cursor(cur);
  OwnedDataset big;
  ASSERT_EQ(0, DatasetFromColDescs(ac->cols, ac->colCount, 100000, big.get()));
  int end = 0;
  ASSERT_EQ(0, DB_Fetch(ac->dbCurs, big.get(), 1, &end));
  EXPECT_EQ(1, end);
  ASSERT_EQ(70000, big->rows);
  ASSERT_EQ(0, DB_PostProcess(ac->dbCurs, big.get(), 0));
  EXPECT_EQ(0, big->cols[0].indicators[69999]);
  EXPECT_EQ(69999, NumAt(big.ds, 0, 69999));
  DropCursor(cur);
}

// ---- Long values without their reader --------------------------------------------

class LongTest : public FetchTest {
 protected:
  void SetUp() override {
    FetchTest::SetUp();
    Open(true);
    Exec("CREATE TABLE LT (ID NUMBER(5), CL CLOB, BL BLOB)");
    Exec("INSERT INTO LT VALUES (1, 'clob text', HEXTORAW('0102'))");
    Exec("CREATE TABLE LG (ID NUMBER(5), L LONG)");
    Exec("INSERT INTO LG VALUES (1, 'long text')");
  }
};

TEST_F(LongTest, RefusedCleanlyWithoutTheirReader) {
  if (db_ColsGetPieces || db_LOBFetchCells) GTEST_SKIP() << "this build reads long values";
  for (const char *sql : {"SELECT ID, CL FROM LT", "SELECT ID, L FROM LG"}) {
    DrvHandle cur = Query(sql);
    OwnedDataset ds;
    EXPECT_EQ(E_S1C00, Fetch(cur, 10, ds.get())) << sql;
    EXPECT_EQ(0, ds->rows);
    Msgs m = TakeErrors(drv, cur);
    ASSERT_EQ(1u, m.texts.size());
    EXPECT_NE(std::string::npos, m.texts[0].find("S1C00")) << m.texts[0];
    // Nothing was fetched: the row is still there for a reader.
    EXPECT_EQ(0u, Agent_Cursor(cur)->rowsFetched);
    DropCursor(cur);
  }
}

TEST_F(LongTest, DeferredLobsFetchTheirLocators) {
  // With deferred long data the LOB cells are marked present; their values
  // are read later in pieces.
  int32_t on = 1;
  ASSERT_EQ(0, DrvCall<&DrvOps::DRV_SetInfo>(&drv, conn, INFO_DEFER_LONG, &on));
  DrvHandle cur = Query("SELECT ID, CL, BL FROM LT");
  OwnedDataset ds;
  ASSERT_EQ(0, Fetch(cur, 10, ds.get())) << Errors(cur);
  ASSERT_EQ(1, ds->rows);
  EXPECT_EQ(kIndDeferred, ds->cols[1].indicators[0]);
  EXPECT_EQ(kIndDeferred, ds->cols[2].indicators[0]);
  EXPECT_EQ(wide ? VT_LONGWCHAR : VT_LONGCHAR, ds->cols[1].type);
  EXPECT_EQ(VT_LONGBINARY, ds->cols[2].type);
  if (!db_LOBGetChunk) {
    void *piece = nullptr;
    int32_t size = -1, vt = 0, left = 0;
    EXPECT_EQ(E_S1C00, DrvCall<&DrvOps::DRV_GetDataChunk>(&drv, cur, 2, 1, 100, &piece, &size, &vt, &left));
    EXPECT_EQ(nullptr, piece);
    EXPECT_EQ(0, size);
  }
  DropCursor(cur);
}

// ---- Failures --------------------------------------------------------------------------

TEST_F(BlocksTest, AFailedDescribeLeavesNoColumnsAndItsError) {
  DrvHandle cur = NewCursor();
  ASSERT_EQ(0, DrvCall<&DrvOps::DRV_Prepare>(&drv, cur, "SELECT N FROM T10"));
  ocilite_test_fault(OCILITE_T_EXECUTE, 1, 1, 900, 0, nullptr);
  uint16_t count = 99;
  ColDesc *cols = nullptr;
  EXPECT_EQ(0, DrvCall<&DrvOps::DRV_DescribeColumns>(&drv, cur, &count, &cols));
  EXPECT_EQ(0, count);
  Msgs m = TakeErrors(drv, cur);
  ASSERT_EQ(1u, m.texts.size());
  EXPECT_NE(std::string::npos, m.texts[0].find("ORA-00900")) << m.texts[0];
  DropCursor(cur);
}

// A fetch that fails keeps its rows for the next one; a fetch that answers
// a warning hands its rows up with the warning's code. Either way the
// record carries the ORA- text.
TEST_F(BlocksTest, AFailedOrWarnedFetchReportsItsRecord) {
  struct Case {
    int ora;
    int warning;
    int32_t code;       // of the fetch of 5 rows
    int32_t rows;       // it hands up
    int32_t nextRows;   // the fetch of 20 after it
  };
  const Case cases[] = {{1013, 0, E_S1000, 0, 10}, {24345, 1, E_IM902, 5, 5}};
  for (const Case &c : cases) {
    SCOPED_TRACE(c.ora);
    DrvHandle cur = Query("SELECT N FROM T10");
    ocilite_test_fault(OCILITE_T_FETCH, 1, 1, c.ora, c.warning, nullptr);
    OwnedDataset ds;
    EXPECT_EQ(c.code, Fetch(cur, 5, ds.get()));
    EXPECT_EQ(c.rows, ds->rows);
    Msgs m = TakeErrors(drv, cur);
    ASSERT_EQ(1u, m.texts.size());
    EXPECT_NE(std::string::npos, m.texts[0].find("ORA-" + std::to_string(c.ora + 100000).substr(1))) << m.texts[0];
    OwnedDataset next;
    ASSERT_EQ(0, Fetch(cur, 20, next.get()));
    EXPECT_EQ(c.nextRows, next->rows);
    DropCursor(cur);
  }
}

}  // namespace
