// Post-processing and intermediate buffers on a DB cursor set up by hand:
// what OCI left in the define buffers becomes the Dataset's cells.
#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>
#include <initializer_list>

#include "drv_ora8/db-fetch.h"
#include "odbc/dataset.h"
#include "odbc/sqlstate.h"

namespace {

class PostTest : public ::testing::Test {
 protected:
  OCIEnv *env = nullptr;
  AgentConn conn{};
  AgentCursor owner{};
  DB_Conn dbc{};
  OciErrWrap wrap{};
  DB_Curs c{};
  Dataset ds{};

  void SetUp() override {
    ASSERT_EQ(OCI_SUCCESS, OCIEnvCreate(&env, OCI_THREADED, nullptr, nullptr, nullptr, nullptr, 0, nullptr));
    void *err = nullptr;
    ASSERT_EQ(OCI_SUCCESS, OCIHandleAlloc(env, &err, OCI_HTYPE_ERROR, 0, nullptr));
    wrap.errhp = static_cast<OCIError *>(err);
    wrap.env = env;
    owner.conn = &conn;
    dbc.env = env;
    c.conn = &dbc;
    c.owner = &owner;
    c.err = &wrap;
  }
  void TearDown() override {
    db_ResultDescsFree(&c);
    free(c.indicators);
    free(c.lengths);
    free(c.returnCodes);
    DatasetFree(&ds);
    ErrList_Free(&owner.errs);
    OCIHandleFree(wrap.errhp, OCI_HTYPE_ERROR);
    OCIHandleFree(env, OCI_HTYPE_ENV);
  }

  // One column of the value type and size, `rows` rows fetched, with OCI's
  // indicators as given.
  OciColDesc *Column(int32_t vt, uint32_t size, int16_t ext, uint16_t ora, std::initializer_list<int16_t> ind) {
    ColDesc cd{};
    cd.valueType = vt;
    cd.octetLength = size;
    EXPECT_EQ(0, DatasetFromColDescs(&cd, 1, static_cast<int32_t>(ind.size()), &ds));
    ds.rows = static_cast<int32_t>(ind.size());
    EXPECT_EQ(0, db_ResultDescsAlloc(&c, 1));
    c.resultDescCount = 1;
    c.resultDescSpare = 0;
    OciColDesc *r = &c.resultDescs[0];
    r->extType = ext;
    r->oraType = ora;
    r->size = static_cast<uint16_t>(size);
    r->needsBuffer = 1;
    c.indicators = static_cast<int16_t *>(calloc(ind.size(), sizeof(int16_t)));
    size_t k = 0;
    for (int16_t i : ind) c.indicators[k++] = i;
    return r;
  }
};

TEST_F(PostTest, IndicatorsNullTruncatedAndPresent) {
  OciColDesc *r = Column(VT_SLONG, 0, SQLT_INT, SQLT_NUM, {0, -1, 12, -2});
  r->needsBuffer = 0;
  ds.cols[0].values[4] = 0x5A;  // untouched by the pass
  ASSERT_EQ(0, DB_PostProcess(&c, &ds, 0));
  EXPECT_EQ(0, ds.cols[0].indicators[0]);
  EXPECT_EQ(kIndNull, ds.cols[0].indicators[1]);
  EXPECT_EQ(1, ds.cols[0].indicators[2]);  // cut: OCI gave the original length
  EXPECT_EQ(1, ds.cols[0].indicators[3]);  // cut, original length unknown
  EXPECT_EQ(0x5A, ds.cols[0].values[4]);
  EXPECT_EQ(nullptr, c.indicators);  // the fetch's arrays are gone
}

TEST_F(PostTest, DateBecomesATimestamp) {
  Column(VT_TIMESTAMP, 16, SQLT_DAT, SQLT_DAT, {0, -1});
  const unsigned char oracle[7] = {120, 101, 2, 3, 5, 6, 7};
  memcpy(ds.cols[0].values, oracle, 7);
  ASSERT_EQ(0, DB_PostProcess(&c, &ds, 0));
  struct {
    int16_t y;
    uint16_t mo, d, h, mi, s;
    uint32_t f;
  } ts;
  memcpy(&ts, ds.cols[0].values, sizeof ts);
  EXPECT_EQ(2001, ts.y);
  EXPECT_EQ(2, ts.mo);
  EXPECT_EQ(3, ts.d);
  EXPECT_EQ(4, ts.h);
  EXPECT_EQ(5, ts.mi);
  EXPECT_EQ(6, ts.s);
  EXPECT_EQ(0u, ts.f);
  const unsigned char zero[16] = {};
  EXPECT_EQ(0, memcmp(zero, ds.cols[0].values + 16, 16));  // the NULL date's cell is left alone
}

TEST_F(PostTest, WideCharKeepsItsPaddingAndVarcharItsLength) {
  // CHAR(5) holding "ab": OCI may leave zero units where the blanks go.
  OciColDesc *r = Column(VT_WCHAR, 5, SQLT_AFC, SQLT_AFC, {0});
  r->buffer = calloc(1, 10);
  r->bufferCount = 1;
  r->elemSize = 10;
  const uint16_t ab[5] = {'a', 'b', 0, 0, ' '};
  memcpy(r->buffer, ab, sizeof ab);
  ASSERT_EQ(0, DB_PostProcess(&c, &ds, 0));
  const uint16_t want[5] = {'a', 'b', ' ', ' ', ' '};
  EXPECT_EQ(0, memcmp(want, ds.cols[0].values, sizeof want));
  DatasetFree(&ds);
  db_ResultDescsFree(&c);

  // VARCHAR2: the 2-byte unit count becomes the cell's 4-byte one.
  r = Column(VT_WVARCHAR4, 10, SQLT_VCS, SQLT_CHR, {0});
  r->buffer = calloc(1, 22);
  r->bufferCount = 1;
  r->elemSize = 22;
  const uint16_t text[4] = {3, 0x41, 0xE9, 0x42};
  memcpy(r->buffer, text, sizeof text);
  ASSERT_EQ(0, DB_PostProcess(&c, &ds, 0));
  uint32_t n = 0;
  memcpy(&n, ds.cols[0].values, 4);
  EXPECT_EQ(3u, n);
  EXPECT_EQ(0, memcmp(text + 1, ds.cols[0].values + 4, 6));
}

TEST_F(PostTest, UnhandledConversionsFail) {
  // A converted column without its buffer, and a type no conversion knows.
  Column(VT_WCHAR, 5, SQLT_AFC, SQLT_AFC, {0});
  EXPECT_EQ(E_S1000, DB_PostProcess(&c, &ds, 0));
  DatasetFree(&ds);
  db_ResultDescsFree(&c);
  Column(VT_VARCHAR2, 5, SQLT_VCS, SQLT_CHR, {0});
  EXPECT_EQ(E_S1000, DB_PostProcess(&c, &ds, 0));
  EXPECT_EQ(nullptr, c.indicators);
}

TEST_F(PostTest, OutputParametersSkipInputDescriptors) {
  // Parameters: the Dataset holds the output values only; the bind
  // descriptors of input parameters are passed over.
  ColDesc cd{};
  cd.valueType = VT_TIMESTAMP;
  cd.octetLength = 16;
  ASSERT_EQ(0, DatasetFromColDescs(&cd, 1, 1, &ds));
  ds.rows = 1;
  c.bindDescs = static_cast<OciColDesc *>(calloc(2, sizeof(OciColDesc)));
  c.bindDescCount = 2;
  c.bindDescs[0].ioMode = 0;
  c.bindDescs[1].ioMode = 1;
  c.bindDescs[1].extType = SQLT_DAT;
  c.bindDescs[1].needsBuffer = 1;
  c.indicators = static_cast<int16_t *>(calloc(1, sizeof(int16_t)));
  const unsigned char oracle[7] = {120, 124, 2, 29, 1, 1, 1};
  memcpy(ds.cols[0].values, oracle, 7);
  ASSERT_EQ(0, DB_PostProcess(&c, &ds, 1));
  int16_t year = 0;
  memcpy(&year, ds.cols[0].values, 2);
  EXPECT_EQ(2024, year);
  // More output columns than output descriptors: refused.
  c.bindDescs[1].ioMode = 0;
  c.indicators = static_cast<int16_t *>(calloc(1, sizeof(int16_t)));
  EXPECT_EQ(E_S1000, DB_PostProcess(&c, &ds, 1));
  db_BindDescsFree(&c);
}

TEST_F(PostTest, IntermediateBufferShapes) {
  conn.wide = 1;
  OciColDesc r{};
  int noBuffer = -1;
  void *buf = nullptr;
  int32_t elem = 0, maxSize = 0;
  ub4 mode = 9;
  // A wide VARCHAR2(10) with a data size of 40 bytes.
  r.extType = SQLT_VCS;
  r.size = 40;
  ASSERT_EQ(0, db_IntermBuffAlloc(&c, &r, 3, &noBuffer, &buf, &elem, &mode, &maxSize));
  EXPECT_EQ(0, noBuffer);
  EXPECT_EQ(82, elem);
  EXPECT_EQ(3, r.bufferCount);
  EXPECT_EQ(OCI_DEFAULT, mode);
  // The same shape at the next fetch keeps its buffer.
  void *first = buf;
  ASSERT_EQ(0, db_IntermBuffAlloc(&c, &r, 3, &noBuffer, &buf, &elem, &mode, &maxSize));
  EXPECT_EQ(first, buf);
  OciColDesc_FreeBuffer(&r);

  // DATE goes straight into the cell.
  r = OciColDesc{};
  r.extType = SQLT_DAT;
  ASSERT_EQ(0, db_IntermBuffAlloc(&c, &r, 3, &noBuffer, &buf, &elem, &mode, &maxSize));
  EXPECT_EQ(1, noBuffer);
  EXPECT_EQ(nullptr, r.buffer);

  // TIMESTAMP: one descriptor per row of the rowset.
  r.extType = SQLT_TIMESTAMP;
  ASSERT_EQ(0, db_IntermBuffAlloc(&c, &r, 4, &noBuffer, &buf, &elem, &mode, &maxSize));
  EXPECT_EQ(8, elem);
  for (int k = 0; k < 4; ++k) EXPECT_NE(nullptr, static_cast<void **>(buf)[k]);
  OciColDesc_FreeBuffer(&r);

  // LONG: first-piece buffers and the dynamic define.
  r.extType = SQLT_LNG;
  ASSERT_EQ(0, db_IntermBuffAlloc(&c, &r, 1, &noBuffer, &buf, &elem, &mode, &maxSize));
  EXPECT_EQ(4096, elem);
  EXPECT_EQ(static_cast<ub4>(OCI_DYNAMIC_FETCH), mode);
  EXPECT_EQ(2147483643, maxSize);
  OciColDesc_FreeBuffer(&r);

  // A type without a rule, and a narrow CHAR, which needs no buffer at all.
  r.extType = SQLT_STR;
  EXPECT_EQ(E_S1000, db_IntermBuffAlloc(&c, &r, 1, &noBuffer, &buf, &elem, &mode, &maxSize));
  conn.wide = 0;
  r.extType = SQLT_AFC;
  EXPECT_EQ(E_S1000, db_IntermBuffAlloc(&c, &r, 1, &noBuffer, &buf, &elem, &mode, &maxSize));
  EXPECT_EQ(nullptr, r.buffer);
  EXPECT_EQ(0, db_IntermElemSize(SQLT_AFC));
  EXPECT_EQ(7, db_IntermElemSize(SQLT_DAT));
}

}  // namespace
