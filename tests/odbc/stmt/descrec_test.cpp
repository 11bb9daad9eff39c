// Descriptor record and copy entries: what SQLCopyDesc, SQLGetDescRec and
// SQLSetDescRec refuse before any field moves, and where the refusal is
// recorded.
#include "odbc/descrec.h"
#include "stmt_fixture.h"

namespace {

struct DescRecTest : st::StmtTest {
  static SQLHDESC H(const Desc *d) { return front::AsHandle(d->handle); }
};

TEST_F(DescRecTest, Classes) {
  SQLHDESC explicitDesc = front::NewDesc(dbc);
  struct Case {
    const Desc *desc;
    bool application, row;
  };
  const Case cases[] = {
      {stmt->implicitArd, true, true}, {stmt->implicitApd, true, false}, {stmt->ird, false, true},
      {stmt->ipd, false, false},       {front::DescOf(explicitDesc), true, false},
  };
  for (const Case &c : cases) {
    EXPECT_EQ(DescIsApplication(c.desc), c.application) << c.desc->kind;
    EXPECT_EQ(DescIsRow(c.desc), c.row) << c.desc->kind;
  }
}

TEST_F(DescRecTest, CopyRefusalsAreRecordedOnTheTarget) {
  SQLHSTMT other;
  Stmt *o = NewStmt(&other);
  // A target that is no live descriptor.
  EXPECT_EQ(SQLCopyDesc(H(stmt->implicitArd), front::AsHandle(stmt->handle)), SQL_INVALID_HANDLE);
  EXPECT_EQ(SQLCopyDesc(H(stmt->implicitArd), front::AsHandle(0x4FFFF)), SQL_INVALID_HANDLE);
  EXPECT_EQ(stmt->implicitArd->pending, 0);
  // Into an implementation row descriptor.
  EXPECT_EQ(SQLCopyDesc(H(stmt->implicitArd), H(o->ird)), SQL_ERROR);
  EXPECT_EQ(o->ird->pending, E_S1016);
  EXPECT_EQ(stmt->implicitArd->pending, 0);
  EXPECT_EQ(State(SQL_HANDLE_DESC, H(o->ird)), "HY016");
  // From the IRD of a statement never prepared.
  EXPECT_EQ(SQLCopyDesc(H(stmt->ird), H(o->implicitArd)), SQL_ERROR);
  EXPECT_EQ(o->implicitArd->pending, E_S1010);
  EXPECT_EQ(stmt->ird->pending, 0);
}

TEST_F(DescRecTest, SetDescRecRefusesTheRowImplementationDescriptor) {
  EXPECT_EQ(SQLSetDescRec(H(stmt->ird), 1, SQL_INTEGER, 0, 4, 0, 0, nullptr, nullptr, nullptr), SQL_ERROR);
  EXPECT_EQ(stmt->ird->pending, E_S1016);
  EXPECT_EQ(stmt->ird->count, 0);
}

TEST_F(DescRecTest, GetDescRecRefusesANegativeBufferLength) {
  SQLCHAR name[8];
  SQLSMALLINT len = 0, type = 0;
  EXPECT_EQ(SQLGetDescRec(H(stmt->ipd), 1, name, -1, &len, &type, nullptr, nullptr, nullptr, nullptr, nullptr),
            SQL_ERROR);
  EXPECT_EQ(stmt->ipd->pending, E_S1090);
}

}  // namespace
