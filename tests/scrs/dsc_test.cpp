// The dataset cache: its file coder, the fill from a lower cursor with the
// spill to private temporary files, and the window over spilled rows.
#include "scrs/dsc.h"

#include <dirent.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "dsc_lower.h"
#include "odbc/dataset.h"
#include "odbc/sqlstate.h"

namespace {

using dsctest::Lower;

// Both cache files of a fresh pair.
struct Files {
  FILE *data = dsc_TempFileCreate();
  FILE *index = dsc_TempFileCreate();
  ~Files() {
    if (data) fclose(data);
    if (index) fclose(index);
  }
  long Size(FILE *f) {
    fflush(f);
    struct stat st {};
    fstat(fileno(f), &st);
    return static_cast<long>(st.st_size);
  }
};

// One cell of every value type, stored and read back unchanged; NULLs and
// long values of every length among them.
TEST(DscCoder, EveryValueTypeRoundTrips) {
  struct Case {
    int32_t type;
    uint32_t declared;
    std::vector<unsigned char> bytes;  // the element as held (long types: the text)
  };
  auto le = [](uint64_t v, size_t n) {
    std::vector<unsigned char> b(n);
    memcpy(b.data(), &v, n);
    return b;
  };
  const std::vector<Case> cases = {
      {VT_BIT, 1, {1}},
      {VT_STINYINT, 1, {0xFE}},
      {VT_UTINYINT, 1, {0xFE}},
      {VT_SSHORT, 2, le(static_cast<uint16_t>(-12345), 2)},
      {VT_USHORT, 2, le(54321, 2)},
      {VT_SLONG, 4, le(static_cast<uint32_t>(-7), 4)},
      {VT_ULONG, 4, le(0xFFFFFFF0u, 4)},
      {VT_DOUBLE, 8, le(0x400921FB54442D18ull, 8)},
      {VT_DATE, 6, {0xE8, 0x07, 2, 0, 29, 0}},
      {VT_TIME, 6, {23, 0, 59, 0, 58, 0}},
      {VT_TIMESTAMP, 16, {0xE8, 0x07, 12, 0, 31, 0, 23, 0, 59, 0, 59, 0, 0x15, 0xCD, 0x5B, 0x07}},
      {VT_CHAR, 3, {'a', 'b', 'c'}},
      {VT_STRING, 5, {'h', 'e', 'y', 0, 0, 0}},
      {VT_VARCHAR1, 4, {3, 'x', 'y', 'z', 0}},
      {VT_VARBIN2, 4, {2, 0, 0xFF, 0x00, 0, 0}},
      {VT_VARCHAR4, 4, {3, 0, 0, 0, 'a', 'b', 'c', 0}},
      {VT_WVARCHAR4, 2, {2, 0, 0, 0, 'h', 0, 'i', 0}},
      {VT_LONGCHAR, 0, {'l', 'o', 'n', 'g'}},
      {VT_LONGCHAR, 0, {}},
      {VT_LONGBINARY, 0, {0, 1, 2}},
      {VT_LONGBINARY, 0, {}},
      {VT_LONGWCHAR, 0, {'w', 0}},
  };
  for (const Case &c : cases) {
    SCOPED_TRACE(c.type);
    Dataset ds{};
    ASSERT_EQ(DatasetInit(&ds, 1), 0);
    ds.columns = 1;
    ds.cols[0].type = c.type;
    ds.cols[0].size = DatasetElemSize(c.type, c.declared);
    ASSERT_EQ(DatasetAllocRows(&ds, 2), 0);
    DatasetCol &col = ds.cols[0];
    const bool isLong = c.type == VT_LONGCHAR || c.type == VT_LONGBINARY || c.type == VT_LONGWCHAR;
    if (isLong) {
      LongValue lv{static_cast<uint32_t>(c.type == VT_LONGWCHAR ? c.bytes.size() / 2 : c.bytes.size()), nullptr};
      if (!c.bytes.empty()) {
        lv.buffer = malloc(c.bytes.size());
        memcpy(lv.buffer, c.bytes.data(), c.bytes.size());
      }
      memcpy(col.values, &lv, sizeof lv);
    } else {
      ASSERT_LE(c.bytes.size(), col.size);
      memcpy(col.values, c.bytes.data(), c.bytes.size());
    }
    col.indicators[0] = 0;
    col.indicators[1] = kIndNull;
    ds.rows = 2;

    Files f;
    ASSERT_EQ(dscf_Write(f.data, f.index, &ds), 0);
    Dataset back{};
    ASSERT_EQ(dscf_Read(f.data, f.index, &back, 0, 0), 0);
    ASSERT_EQ(back.rows, 2);
    ASSERT_EQ(back.columns, 1);
    EXPECT_EQ(back.cols[0].type, c.type);
    EXPECT_EQ(back.cols[0].indicators[0], 0);
    EXPECT_EQ(back.cols[0].indicators[1], kIndNull);
    int equal = 0;
    ASSERT_EQ(DatasetRowCompare(&ds, 0, &back, 0, &equal), 0);
    EXPECT_TRUE(equal);
    if (isLong && c.type != VT_LONGBINARY) {
      // Text comes back terminated, in a buffer of its own even when empty.
      LongValue lv{};
      memcpy(&lv, back.cols[0].values, sizeof lv);
      ASSERT_NE(lv.buffer, nullptr);
      const size_t unit = c.type == VT_LONGWCHAR ? 2 : 1;
      for (size_t i = 0; i < unit; ++i) EXPECT_EQ(static_cast<char *>(lv.buffer)[c.bytes.size() + i], 0);
    }
    DatasetFree(&back);
    DatasetFree(&ds);
  }
}

// The file layout: a header, a descriptor per column, then the cells; a
// NULL has no value bytes; the index holds one 64-bit offset per row.
TEST(DscCoder, LayoutAppendAndReadFromARow) {
  Lower lower(5201);
  Dataset ds{};
  lower.Block(0, 5001, &ds);
  Files f;
  ASSERT_EQ(dscf_Write(f.data, f.index, &ds), 0);
  const long header = 4 + 8 + 2 * 8;
  int nulls = 0;
  for (int32_t r = 0; r < 5001; ++r) nulls += ds.cols[1].indicators[r] != 0;
  ASSERT_GT(nulls, 0);
  EXPECT_EQ(f.Size(f.data), header + 5001L * (4 + 4 + 4 + 11) - nulls * 11L);
  EXPECT_EQ(f.Size(f.index), 5001L * 8);

  Dataset more{};
  lower.Block(5001, 200, &more);
  ASSERT_EQ(dscf_Append(f.data, f.index, &more), 0);
  EXPECT_EQ(f.Size(f.index), 5201L * 8);

  Dataset window{};
  ASSERT_EQ(dscf_Read(f.data, f.index, &window, 5100, 5000), 0);
  ASSERT_EQ(window.rows, 101);
  for (int32_t r = 0; r < window.rows; ++r) EXPECT_TRUE(lower.Matches(window, r, 5100 + r)) << r;
  // A first row past the stored ones, or before the first, is refused.
  EXPECT_EQ(dscf_Read(f.data, f.index, &window, 5201, 0), E_S1000);
  EXPECT_EQ(dscf_Read(f.data, f.index, &window, -1, 0), E_S1000);
  // An empty set is never written.
  Dataset empty{};
  EXPECT_EQ(dscf_Write(f.data, f.index, &empty), E_S1000);
  EXPECT_EQ(dscf_Append(f.data, f.index, &empty), 0);
  DatasetFree(&window);
  DatasetFree(&more);
  DatasetFree(&ds);
}

struct Fill : ::testing::Test {
  void SetUp() override { DSC_Init(&dsc); }
  void TearDown() override {
    DSC_Close(&dsc);
    DatasetFree(&ds);
  }
  DSC dsc{};
  Dataset ds{};
};

TEST_F(Fill, MemoryUpToTheLimitThenSpilled) {
  for (int32_t total : {0, 1, kDscMemoryRows, kDscMemoryRows + 1, 12000}) {
    SCOPED_TRACE(total);
    DSC_Close(&dsc);
    Lower lower(total);
    int64_t count = -1;
    ASSERT_EQ(DSC_Fill(&dsc, lower.Object(), lower.kCursor, &ds, &count), 0);
    EXPECT_EQ(count, total);
    if (total <= kDscMemoryRows) {
      EXPECT_EQ(dsc.mode, DSC_MEMORY);
      ASSERT_EQ(ds.rows, total);
      for (int32_t r = 0; r < total; ++r) ASSERT_TRUE(lower.Matches(ds, r, r)) << r;
    } else {
      EXPECT_EQ(dsc.mode, DSC_SPILLED);
      EXPECT_EQ(ds.rows, 0);
      EXPECT_EQ(DSC_StoredRows(&dsc), total);
    }
  }
}

TEST_F(Fill, WindowFollowsTheRequest) {
  Lower lower(12000);
  ASSERT_EQ(DSC_Fill(&dsc, lower.Object(), lower.kCursor, &ds, nullptr), 0);
  int32_t start = -1;
  // Near the start: the window begins at row 0.
  ASSERT_EQ(DSC_WindowGet(&dsc, 100, 10, &start, &ds), 0);
  EXPECT_EQ(start, 0);
  EXPECT_EQ(ds.rows, 5000);
  // Scrolling on past the window's end: the next window begins with the
  // request, so that a forward scan reads each row once; scrolling back
  // before its start: the window ends with the request.
  const int32_t next = start + ds.rows - 5;
  ASSERT_EQ(DSC_WindowGet(&dsc, next, 10, &start, &ds), 0);
  EXPECT_EQ(start, next);
  EXPECT_TRUE(lower.Matches(ds, 0, next));
  const int32_t back = start - 5;
  ASSERT_EQ(DSC_WindowGet(&dsc, back, 10, &start, &ds), 0);
  EXPECT_EQ(start + 5000, back + 10);
  EXPECT_TRUE(lower.Matches(ds, back - start, back));
  // Far from both ends: the request sits in the middle of the window.
  ASSERT_EQ(DSC_WindowGet(&dsc, 8000, 10, &start, &ds), 0);
  EXPECT_EQ(start, 8000 - (5000 - 10) / 2);
  EXPECT_TRUE(lower.Matches(ds, 8000 - start, 8000));
  // A covered request reads nothing.
  const int32_t before = start;
  ASSERT_EQ(DSC_WindowGet(&dsc, 8005, 10, &start, &ds), 0);
  EXPECT_EQ(start, before);
  // At the end the window holds the last rows.
  ASSERT_EQ(DSC_WindowGet(&dsc, 11990, 10, &start, &ds), 0);
  EXPECT_EQ(start + ds.rows, 12000);
  EXPECT_TRUE(lower.Matches(ds, ds.rows - 1, 11999));
  // A rowset of 3000 rows needs a window of 6000.
  ASSERT_EQ(DSC_WindowGet(&dsc, 3000, 3000, &start, &ds), 0);
  EXPECT_EQ(dsc.windowRows, 6000);
  EXPECT_EQ(ds.rows, 6000);
  // Past the last stored row: the read fails and the window stays.
  const int32_t kept = start;
  EXPECT_EQ(DSC_WindowGet(&dsc, 20000, 10, &start, &ds), E_S1000);
  EXPECT_EQ(start, kept);
  EXPECT_EQ(ds.rows, 6000);
}

TEST_F(Fill, LowerFailuresAndTooManyRows) {
  Lower failing(12000);
  failing.failAfter = 30;  // fetches
  EXPECT_EQ(DSC_Fill(&dsc, failing.Object(), failing.kCursor, &ds, nullptr), E_S1001);
  DSC_Close(&dsc);
  // More rows than the cursor can number: refused, never wrapped.
  Lower lower(700);
  dsc.maxRows = 500;
  int64_t count = -1;
  EXPECT_EQ(DSC_Fill(&dsc, lower.Object(), lower.kCursor, &ds, &count), E_S1000);
  EXPECT_EQ(count, -1);
}

TEST_F(Fill, DeferredLongValuesAreReadIntoTheirCells) {
  Lower lower(450);
  lower.deferred = true;
  ASSERT_EQ(DSC_Fill(&dsc, lower.Object(), lower.kCursor, &ds, nullptr), 0);
  ASSERT_EQ(ds.rows, 450);
  for (int32_t r = 0; r < 450; ++r) ASSERT_TRUE(lower.Matches(ds, r, r)) << r;
}

// The cache files are private and nameless: nothing appears in the
// temporary directory, and each is readable by its owner alone.
TEST_F(Fill, FilesNeverVisible) {
  char dir[] = "/tmp/kvd-dsc-XXXXXX";
  ASSERT_NE(mkdtemp(dir), nullptr);
  const char *old = getenv("TMPDIR");
  const std::string saved = old ? old : "";
  setenv("TMPDIR", dir, 1);
  Lower lower(6000);
  ASSERT_EQ(DSC_Fill(&dsc, lower.Object(), lower.kCursor, &ds, nullptr), 0);
  ASSERT_EQ(dsc.mode, DSC_SPILLED);
  if (old) setenv("TMPDIR", saved.c_str(), 1); else unsetenv("TMPDIR");
  struct stat st {};
  ASSERT_EQ(fstat(fileno(dsc.data), &st), 0);
  EXPECT_EQ(st.st_mode & 0777, 0600u);
  EXPECT_EQ(st.st_nlink, 0u);
  EXPECT_GT(st.st_size, 6000 * 12);
  DIR *d = opendir(dir);
  ASSERT_NE(d, nullptr);
  int entries = 0;
  while (dirent *e = readdir(d))
    if (strcmp(e->d_name, ".") != 0 && strcmp(e->d_name, "..") != 0) ++entries;
  closedir(d);
  EXPECT_EQ(entries, 0);
  rmdir(dir);
}

}  // namespace
