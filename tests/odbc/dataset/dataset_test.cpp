// Dataset container: element sizes, storage, ColDesc arrays, value reads,
// widening, narrowing to UTF-8 and truncation.
#include <gtest/gtest.h>

#include "dstest.h"

using namespace dstest;

namespace {

class DatasetTest : public ::testing::Test {
 protected:
  void TearDown() override {
    g_dsAllocFailAt = -1;
    ExpectNoLeaks();
  }
};

// ---- element sizes -----------------------------------------------------------

struct SizeCase {
  int32_t type;
  uint32_t n;
  uint32_t size;
};

TEST_F(DatasetTest, ElementSizeOfEveryType) {
  const SizeCase cases[] = {
      {VT_NONE, 5, 1},       {VT_CHAR, 5, 5},         {VT_BIT, 5, 1},         {VT_STINYINT, 5, 1},
      {VT_SSHORT, 5, 2},     {VT_SLONG, 5, 4},        {VT_UTINYINT, 5, 1},    {VT_USHORT, 5, 2},
      {VT_ULONG, 5, 4},      {VT_FLOAT, 5, 4},        {VT_DOUBLE, 5, 8},      {VT_DATE, 5, 6},
      {VT_TIME, 5, 6},       {VT_TIMESTAMP, 5, 16},   {VT_TIMESTAMP, 999, 16}, {VT_BINARY, 5, 5},
      {VT_LONGCHAR, 5, 16},  {VT_LONGBINARY, 0, 16},  {VT_LONGWCHAR, 5, 16},  {VT_STRING, 5, 6},
      {VT_VARCHAR1, 5, 6},   {VT_VARCHAR2, 5, 8},     {VT_VARCHAR2, 6, 8},    {VT_VARCHAR4, 5, 12},
      {VT_VARCHAR4, 4, 8},   {VT_VARBIN1, 5, 6},      {VT_VARBIN2, 5, 8},     {VT_VARBIN4, 5, 12},
      {VT_WCHAR, 5, 10},     {VT_WSTRING, 5, 12},     {VT_WVARCHAR4, 5, 16},  {VT_WVARCHAR4, 0, 4},
      {VT_STRING, 0, 1},     {28, 7, 7},              {-4, 9, 9},
      // Sizes that do not fit 32 bits are refused (0), never wrapped round.
      {VT_STRING, UINT32_MAX, 0}, {VT_WVARCHAR4, 0x80000000u, 0}, {VT_WCHAR, 0x7FFFFFFFu, 0xFFFFFFFEu},
  };
  for (const SizeCase &c : cases)
    EXPECT_EQ(DatasetElemSize(c.type, c.n), c.size) << "type " << c.type << " n " << c.n;
}

// ---- storage ---------------------------------------------------------------------

TEST_F(DatasetTest, AllocRowsGivesEveryColumnInUseNullRows) {
  Owned d;
  ASSERT_EQ(DatasetInit(&*d, 3), 0);
  d->cols[0] = {VT_SLONG, 4, nullptr, nullptr};
  d->cols[1] = {VT_STRING, 11, nullptr, nullptr};
  d->columns = 2;
  ASSERT_EQ(DatasetAllocRows(&*d, 4), 0);
  ExpectSound({&*d});
  EXPECT_EQ(d->capacity, 4);
  for (int r = 0; r < 4; ++r) EXPECT_EQ(d->cols[1].indicators[r], kIndNull);
  EXPECT_EQ(d->cols[2].values, nullptr);  // the spare slot stays without storage

  // 0 rows: no storage at all.
  ASSERT_EQ(DatasetAllocRows(&*d, 0), 0);
  ExpectSound({&*d});
  EXPECT_EQ(d->capacity, 0);
  EXPECT_EQ(d->cols[0].values, nullptr);
  EXPECT_EQ(d->cols[0].indicators, nullptr);
}

TEST_F(DatasetTest, AllocRowsRefusesBadLayouts) {
  Owned d;
  ASSERT_EQ(DatasetInit(&*d, 1), 0);
  d->columns = 2;  // more than the slots
  EXPECT_EQ(DatasetAllocRows(&*d, 2), E_S1001);
  // An element too small for the type's own prefix would be overrun by
  // every read.
  d->columns = 1;
  d->cols[0] = {VT_VARCHAR4, 3, nullptr, nullptr};
  EXPECT_EQ(DatasetAllocRows(&*d, 2), E_S1000);
  d->cols[0].size = 4;
  EXPECT_EQ(DatasetAllocRows(&*d, 2), 0);
  EXPECT_EQ(DatasetAllocRows(&*d, -1), E_S1000);
  EXPECT_EQ(DatasetAllocRows(nullptr, 1), E_S1000);
  ExpectSound({&*d});
}

TEST_F(DatasetTest, AllocRowsAgainReplacesStorageWithoutLeakingLongBuffers) {
  Owned d;
  Build(*d, {{VT_LONGBINARY, 16}}, 2, {{Bytes("abc")}, {Bytes("de")}});
  d->cols[0].indicators[1] = kIndNull;  // a NULL row still owns its buffer
  ASSERT_EQ(DatasetAllocRows(&*d, 3), 0);
  EXPECT_EQ(d->rows, 2);
  ExpectSound({&*d});
  EXPECT_EQ(LongAt(*d, 0, 0).buffer, nullptr);
}

TEST_F(DatasetTest, AllocRowsIsAllOrNothingWhenMemoryRunsOut) {
  Owned d;
  ForEachAllocFailure(
      [&] { Build(*d, {{VT_SLONG, 4}, {VT_LONGCHAR, 16}, {VT_STRING, 9}}, 2, {{Bytes("\1\0\0\0", 4), Bytes("x"), Bytes("y")}}); },
      [&] { return DatasetAllocRows(&*d, 5); },
      [&](int) {
        EXPECT_EQ(d->capacity, 2);
        ExpectSound({&*d});
        EXPECT_EQ(Get(*d, 1, 0), Val("x"));
      },
      [&] { DatasetFree(&*d); });
}

TEST_F(DatasetTest, FreeReleasesEverySlotAndLongBuffer) {
  Dataset d{};
  Build(d, {{VT_LONGWCHAR, 16}, {VT_LONGCHAR, 16}}, 3, {{U16(u"ab"), Bytes("x")}, {kNull, Bytes("")}});
  // A buffer past the rows is the column's too.
  Put(d, 1, 2, Bytes("beyond"));
  DatasetFree(&d);
  EXPECT_EQ(d.slots, 0);
  EXPECT_EQ(d.cols, nullptr);
  EXPECT_EQ(d.capacity, 0);
  EXPECT_EQ(d.columns, 0);
  EXPECT_EQ(d.rows, 0);
  DatasetFree(&d);  // an empty Dataset frees nothing twice
}

TEST_F(DatasetTest, ColAllocAndColFree) {
  DatasetCol c{VT_DATE, 6, nullptr, nullptr};
  ASSERT_EQ(DatasetColAlloc(&c, 3), 0);
  EXPECT_GE(__sanitizer_get_allocated_size(c.values), 19u);
  for (int r = 0; r < 3; ++r) EXPECT_EQ(c.indicators[r], kIndNull);
  for (int i = 0; i < 19; ++i) EXPECT_EQ(c.values[i], 0);
  DatasetColFree(&c, 3);
  EXPECT_EQ(c.values, nullptr);
  DatasetColFree(&c, 3);  // without storage: nothing
  ASSERT_EQ(DatasetColAlloc(&c, 0), 0);
  EXPECT_EQ(c.values, nullptr);
  EXPECT_EQ(c.indicators, nullptr);
}

// ---- ColDesc -------------------------------------------------------------------

TEST_F(DatasetTest, FromColDescsLaysOutByValueTypeAndOctetLength) {
  ColDesc *descs = ColDescAlloc(3);
  ASSERT_NE(descs, nullptr);
  descs[0].valueType = VT_VARCHAR2;
  descs[0].octetLength = 5;
  descs[1].valueType = VT_TIMESTAMP;
  descs[2].valueType = VT_WVARCHAR4;
  descs[2].octetLength = 5;
  // The four strings belong to the records; ColDescFree frees each once.
  for (int i = 0; i < 3; ++i) {
    descs[i].catalog = strdup("cat");
    descs[i].schema = strdup("sch");
    descs[i].table = strdup("tab");
    descs[i].fullName = strdup("a rather long column name");
  }
  Owned d;
  ASSERT_EQ(DatasetFromColDescs(descs, 3, 7, &*d), 0);
  ExpectSound({&*d});
  EXPECT_EQ(d->columns, 3);
  EXPECT_EQ(d->capacity, 7);
  EXPECT_EQ(d->rows, 0);
  EXPECT_EQ(d->cols[0].size, 8u);
  EXPECT_EQ(d->cols[1].size, 16u);
  EXPECT_EQ(d->cols[2].type, VT_WVARCHAR4);
  EXPECT_EQ(d->cols[2].size, 16u);
  ColDescFree(descs, 3);
  ColDescFree(nullptr, 3);

  ColDesc *one = ColDescAlloc(0);  // one record even for 0
  ASSERT_NE(one, nullptr);
  EXPECT_EQ(one->catalog, nullptr);
  ColDescFree(one, 0);
}

// The next block of a result is laid out in the storage of the last when
// the layout is the same: no row stays, every indicator is NULL. Another
// layout, another capacity or a long column gets storage of its own.
TEST_F(DatasetTest, RelayKeepsStorageOnlyForTheSameLayout) {
  ColDesc *descs = ColDescAlloc(2);
  ASSERT_NE(descs, nullptr);
  descs[0].valueType = VT_VARCHAR2;
  descs[0].octetLength = 5;
  descs[1].valueType = VT_SLONG;
  Owned d;
  ASSERT_EQ(DatasetRelayFromColDescs(descs, 2, 4, &*d), 0);  // from nothing
  ExpectSound({&*d});
  d->rows = 3;
  std::fill_n(d->cols[1].indicators, 4, int16_t{0});
  unsigned char *const kept = d->cols[0].values;
  ASSERT_EQ(DatasetRelayFromColDescs(descs, 2, 4, &*d), 0);
  ExpectSound({&*d});
  EXPECT_EQ(d->cols[0].values, kept);
  EXPECT_EQ(d->rows, 0);
  for (int32_t r = 0; r < 4; ++r) EXPECT_EQ(d->cols[1].indicators[r], kIndNull);

  struct Change {
    const char *what;
    int32_t capacity;
    int32_t type0;
  };
  const Change changes[] = {
      {"capacity", 8, VT_VARCHAR2},
      {"value type", 8, VT_VARBIN2},
      {"long column", 8, VT_LONGCHAR},
      {"long column again", 8, VT_LONGCHAR},
  };
  for (const Change &c : changes) {
    SCOPED_TRACE(c.what);
    descs[0].valueType = c.type0;
    ASSERT_EQ(DatasetRelayFromColDescs(descs, 2, c.capacity, &*d), 0);
    ExpectSound({&*d});
    EXPECT_EQ(d->capacity, c.capacity);
    EXPECT_EQ(d->cols[0].type, c.type0);
    EXPECT_EQ(d->cols[0].size, DatasetElemSize(c.type0, 5));
    if (c.type0 != VT_LONGCHAR) continue;
    // A long cell owns its buffer: a relaid column starts without it (and
    // the old one is freed, which the leak check sees).
    LongValue lv{};
    memcpy(&lv, d->cols[0].values, sizeof lv);
    EXPECT_EQ(lv.buffer, nullptr);
    lv = LongValue{3, malloc(3)};
    memcpy(d->cols[0].values, &lv, sizeof lv);
  }
  ColDescFree(descs, 2);
}

// ---- reading values ------------------------------------------------------------

struct GetCase {
  const char *what;
  ColSpec col;
  Val stored;
  Bytes expected;
};

TEST_F(DatasetTest, ValueGetGivesTheBytesOfEachLayout) {
  const int32_t i32 = -7;
  const Bytes i32b(reinterpret_cast<const char *>(&i32), 4);
  const GetCase cases[] = {
      {"fixed char: whole element", {VT_CHAR, 4}, Bytes("ab"), Bytes("ab\0\0", 4)},
      {"integer: whole element", {VT_SLONG, 4}, i32b, i32b},
      {"string: before its NUL", {VT_STRING, 9}, Bytes("abc"), "abc"},
      {"1-byte prefix", {VT_VARCHAR1, 6}, Bytes("hello"), "hello"},
      {"2-byte prefix", {VT_VARBIN2, 8}, Bytes("\0\1\2", 3), Bytes("\0\1\2", 3)},
      {"4-byte prefix", {VT_VARCHAR4, 12}, Bytes("12345678"), "12345678"},
      {"fixed wide: whole element", {VT_WCHAR, 6}, U16(u"ab"), U16(u"ab") + Bytes(2, '\0')},
      {"wide string: units before NUL", {VT_WSTRING, 12}, U16(u"x\u20ACy"), U16(u"x\u20ACy")},
      {"wide with unit count", {VT_WVARCHAR4, 12}, U16(u"abcd"), U16(u"abcd")},
      {"long char", {VT_LONGCHAR, 16}, Bytes("long text"), "long text"},
      {"long wide: 2 x length bytes", {VT_LONGWCHAR, 16}, U16(u"w\u00E9"), U16(u"w\u00E9")},
      {"empty string is not NULL", {VT_STRING, 4}, Bytes(""), ""},
  };
  for (const GetCase &c : cases) {
    SCOPED_TRACE(c.what);
    Owned d;
    Build(*d, {c.col}, 1, {{c.stored}});
    EXPECT_EQ(Get(*d, 0, 0), Val(c.expected));
  }
}

TEST_F(DatasetTest, ValueGetCopiesAtMostTheLengthGivenAndTerminatesNothing) {
  Owned d;
  Build(*d, {{VT_VARCHAR2, 8}, {VT_STRING, 5}}, 2, {{Bytes("xyz"), kNull}});
  char buf[4] = {'#', '#', '#', '#'};
  uint32_t len = 2;
  ASSERT_EQ(DatasetValueGet(&*d, 0, 0, buf, &len), 0);
  EXPECT_EQ(len, 2u);
  EXPECT_EQ(Bytes(buf, 4), "xy##");
  len = 0;  // nothing asked: nothing done
  ASSERT_EQ(DatasetValueGet(&*d, 0, 0, buf, &len), 0);
  EXPECT_EQ(len, 0u);
  len = 4;  // NULL: length 0
  ASSERT_EQ(DatasetValueGet(&*d, 0, 1, buf, &len), 0);
  EXPECT_EQ(len, 0u);
  EXPECT_EQ(Bytes(buf, 4), "xy##");

  EXPECT_EQ(DatasetValueGet(&*d, 1, 0, buf, &len), E_S1000);  // row not below rows
  EXPECT_EQ(DatasetValueGet(&*d, 0, 2, buf, &len), E_S1000);  // column not in use
  EXPECT_EQ(DatasetValueGet(nullptr, 0, 0, buf, &len), E_S1000);
  EXPECT_EQ(DatasetValueGet(&*d, 0, 0, nullptr, &len), E_S1000);
  EXPECT_EQ(DatasetValueGet(&*d, 0, 0, buf, nullptr), E_S1000);
  int32_t type;
  uint32_t size;
  EXPECT_EQ(DatasetColInfo(&*d, 1, &type, &size), 0);
  EXPECT_EQ(type, VT_STRING);
  EXPECT_EQ(size, 5u);
  EXPECT_EQ(DatasetColInfo(&*d, 2, &type, &size), E_S1000);
  EXPECT_EQ(DatasetColInfo(&*d, 0, nullptr, &size), E_S1000);
}

TEST_F(DatasetTest, DamagedLengthPrefixNeverLeadsOutOfTheElement) {
  Owned d;
  Build(*d, {{VT_VARCHAR4, 8}, {VT_WVARCHAR4, 8}, {VT_VARBIN1, 3}, {VT_STRING, 3}}, 1,
        {{Bytes("ab"), U16(u"ab"), Bytes("ab"), Bytes("ab")}});
  ElemPtr(*d, 0, 0)[0] = 0xFF;  // claims 255 bytes in an 8-byte element
  ElemPtr(*d, 1, 0)[1] = 0x70;
  ElemPtr(*d, 2, 0)[0] = 200;
  std::memset(ElemPtr(*d, 3, 0), 'z', 3);  // no terminator at all
  EXPECT_EQ(Get(*d, 0, 0)->size(), 4u);
  EXPECT_EQ(Get(*d, 1, 0)->size(), 4u);
  EXPECT_EQ(Get(*d, 2, 0)->size(), 2u);
  EXPECT_EQ(Get(*d, 3, 0), Val("zzz"));
}

// ---- widening ------------------------------------------------------------------

struct WidenCase {
  const char *what;
  ColSpec col;
  uint32_t newSize;
  int countText;
  std::vector<Val> values;
  ColSpec expect;
  std::vector<Val> expected;
};

TEST_F(DatasetTest, WidenRelaysColumnsKeepingEveryValue) {
  const WidenCase cases[] = {
      {"fixed char, full length", {VT_CHAR, 5}, 8, 0, {Bytes("ab"), kNull, Bytes("abcde")},
       {VT_VARCHAR4, 12}, {Bytes("ab\0\0\0", 5), kNull, Bytes("abcde")}},
      {"fixed char, counted text", {VT_CHAR, 5}, 8, 1, {Bytes("ab"), kNull, Bytes("abcde")},
       {VT_VARCHAR4, 12}, {Bytes("ab"), kNull, Bytes("abcde")}},
      {"fixed char already large enough", {VT_CHAR, 5}, 5, 0, {Bytes("ab")}, {VT_CHAR, 5}, {Bytes("ab\0\0\0", 5)}},
      {"fixed binary", {VT_BINARY, 3}, 10, 1, {Bytes("\0\1\0", 3)}, {VT_VARBIN4, 16}, {Bytes("\0\1\0", 3)}},
      {"fixed wide, counted", {VT_WCHAR, 6}, 5, 1, {U16(u"ab")}, {VT_WVARCHAR4, 16}, {U16(u"ab")}},
      {"fixed wide, full", {VT_WCHAR, 6}, 5, 0, {U16(u"ab")}, {VT_WVARCHAR4, 16}, {U16(u"ab") + Bytes(2, '\0')}},
      // Asked for less than the element holds but more than it is: the old
      // element still has to fit behind the prefix (16, not 12).
      {"fixed wide, small request", {VT_WCHAR, 10}, 4, 0, {U16(u"abcde")}, {VT_WVARCHAR4, 16}, {U16(u"abcde")}},
      {"fixed wide, nothing to do", {VT_WCHAR, 10}, 2, 0, {U16(u"abcde")}, {VT_WCHAR, 10}, {U16(u"abcde")}},
      {"string smaller request: unchanged", {VT_STRING, 11}, 5, 0, {Bytes("ten chars!")}, {VT_STRING, 11}, {Bytes("ten chars!")}},
      {"string grows", {VT_STRING, 11}, 20, 0, {Bytes("ten chars!"), kNull, Bytes("")}, {VT_STRING, 21},
       {Bytes("ten chars!"), kNull, Bytes("")}},
      {"2-byte prefix grows", {VT_VARCHAR2, 4}, 9, 0, {Bytes("ab")}, {VT_VARCHAR2, 12}, {Bytes("ab")}},
      {"wide string grows", {VT_WSTRING, 6}, 4, 0, {U16(u"ab")}, {VT_WSTRING, 10}, {U16(u"ab")}},
      {"wide counted grows", {VT_WVARCHAR4, 8}, 10, 0, {U16(u"ab")}, {VT_WVARCHAR4, 24}, {U16(u"ab")}},
      {"numbers never change", {VT_DOUBLE, 8}, 100, 0, {Bytes(8, '\x11')}, {VT_DOUBLE, 8}, {Bytes(8, '\x11')}},
  };
  for (const WidenCase &c : cases) {
    SCOPED_TRACE(c.what);
    Owned d;
    std::vector<std::vector<Val>> rows;
    for (const Val &v : c.values) rows.push_back({v});
    Build(*d, {c.col}, int32_t(c.values.size()) + 1, rows);
    ASSERT_EQ(DatasetColWiden(&*d, 0, c.newSize, c.countText), 0);
    ExpectSound({&*d});
    EXPECT_EQ(d->cols[0].type, c.expect.type);
    EXPECT_EQ(d->cols[0].size, c.expect.size);
    EXPECT_EQ(Column(*d, 0), c.expected);
    for (size_t r = 0; r < c.values.size(); ++r) {
      if (!c.values[r] && d->cols[0].size != c.col.size) {  // a re-laid NULL element is zero
        EXPECT_EQ(Le32(ElemPtr(*d, 0, uint32_t(r))), 0u);
      }
    }
  }
}

TEST_F(DatasetTest, WidenGrowsLongBuffersInPlace) {
  Owned d;
  Build(*d, {{VT_LONGWCHAR, 16}}, 3, {{U16(u"abc")}, {U16(u"abcdefghij")}, {kNull}});
  d->cols[0].indicators[2] = kIndNull;
  LongValue big = LongAt(*d, 0, 1);
  ASSERT_EQ(DatasetColWiden(&*d, 0, 12, 0), 0);
  ExpectSound({&*d});
  EXPECT_GE(__sanitizer_get_allocated_size(LongAt(*d, 0, 0).buffer), 12u);
  EXPECT_EQ(LongAt(*d, 0, 1).buffer, big.buffer);  // 20 bytes: already large enough
  EXPECT_EQ(Column(*d, 0), (std::vector<Val>{U16(u"abc"), U16(u"abcdefghij"), kNull}));
  EXPECT_EQ(DatasetColWiden(&*d, 1, 12, 0), E_S1000);
  EXPECT_EQ(DatasetColWiden(nullptr, 0, 12, 0), E_S1000);
}

TEST_F(DatasetTest, WidenLeavesTheColumnUnchangedWhenMemoryRunsOut) {
  Owned d;
  ForEachAllocFailure(
      [&] { Build(*d, {{VT_CHAR, 3}, {VT_LONGCHAR, 16}}, 2, {{Bytes("abc"), Bytes("x")}, {kNull, Bytes("yz")}}); },
      [&] { return DatasetColWiden(&*d, 0, 9, 0); },
      [&](int) {
        ExpectSound({&*d});
        EXPECT_EQ(d->cols[0].type, VT_CHAR);
        EXPECT_EQ(Column(*d, 0), (std::vector<Val>{Bytes("abc"), kNull}));
      },
      [&] { DatasetFree(&*d); });
  ForEachAllocFailure(
      [&] { Build(*d, {{VT_CHAR, 3}, {VT_LONGCHAR, 16}}, 2, {{Bytes("abc"), Bytes("x")}, {kNull, Bytes("yz")}}); },
      [&] { return DatasetColWiden(&*d, 1, 9, 0); },
      [&](int) {
        // Rows grown before the failure keep their bigger buffers.
        ExpectSound({&*d});
        EXPECT_EQ(Column(*d, 1), (std::vector<Val>{Bytes("x"), Bytes("yz")}));
      },
      [&] { DatasetFree(&*d); });
}

// ---- narrowing -----------------------------------------------------------------

struct NarrowCase {
  const char *what;
  ColSpec col;
  std::vector<Val> values;
  ColSpec expect;  // size 0: the element size is not checked
  std::vector<Val> expected;
};

TEST_F(DatasetTest, ToNarrowConvertsWideTextToUtf8WithoutCuttingIt) {
  const NarrowCase cases[] = {
      {"fixed wide, ASCII fits in place", {VT_WCHAR, 8}, {U16(u"abcd"), U16(u"ab\0\0")}, {VT_STRING, 8},
       {Bytes("abcd"), Bytes("ab")}},
      // 2 units, 5 bytes of UTF-8, 4-byte elements: the element grows.
      {"fixed wide, more bytes than units", {VT_WCHAR, 4}, {U16(u"\u00E9\u20AC"), U16(u"ab")}, {VT_STRING, 6},
       {Bytes("\xC3\xA9\xE2\x82\xAC"), Bytes("ab")}},
      {"wide string", {VT_WSTRING, 8}, {U16(u"\u00E9t\u00E9"), kNull, U16(u"")}, {VT_STRING, 8},
       {Bytes("\xC3\xA9t\xC3\xA9"), kNull, Bytes("")}},
      {"wide string grows", {VT_WSTRING, 6}, {U16(u"\u20AC\u20AC")}, {VT_STRING, 7}, {Bytes("\xE2\x82\xAC\xE2\x82\xAC")}},
      // The prefix counts bytes afterwards, not units.
      {"wide counted", {VT_WVARCHAR4, 12}, {U16(u"\u00E9a"), U16(u"abcd")}, {VT_VARCHAR4, 12},
       {Bytes("\xC3\xA9" "a"), Bytes("abcd")}},
      {"wide counted grows", {VT_WVARCHAR4, 8}, {U16(u"\u20AC\u20AC")}, {VT_VARCHAR4, 12}, {Bytes("\xE2\x82\xAC\xE2\x82\xAC")}},
      {"long wide, ASCII", {VT_LONGWCHAR, 16}, {U16(u"hello"), kNull, U16(u"")}, {VT_LONGCHAR, 16},
       {Bytes("hello"), kNull, Bytes("")}},
      {"long wide, buffer grows", {VT_LONGWCHAR, 16}, {U16(u"\u20AC\u20AC"), U16(u"\u00E9")}, {VT_LONGCHAR, 16},
       {Bytes("\xE2\x82\xAC\xE2\x82\xAC"), Bytes("\xC3\xA9")}},
      // As everywhere in the driver, a surrogate pair is one 4-byte sequence
      // and a lone surrogate keeps its 3-byte form.
      {"surrogate pair", {VT_WSTRING, 6}, {U16(u"\U0001F600")}, {VT_STRING, 6}, {Bytes("\xF0\x9F\x98\x80")}},
      {"lone surrogate", {VT_WSTRING, 4}, {U16(std::u16string(1, char16_t(0xD83D)))}, {VT_STRING, 4},
       {Bytes("\xED\xA0\xBD")}},
  };
  for (const NarrowCase &c : cases) {
    SCOPED_TRACE(c.what);
    Owned d;
    std::vector<std::vector<Val>> rows;
    for (const Val &v : c.values) rows.push_back({v, Bytes("\x2A\0\0\0", 4)});
    Build(*d, {c.col, {VT_SLONG, 4}}, int32_t(c.values.size()) + 1, rows);
    ASSERT_EQ(DatasetToNarrow(&*d), 0);
    ExpectSound({&*d});
    EXPECT_EQ(d->cols[0].type, c.expect.type);
    if (c.expect.size) {
      EXPECT_EQ(d->cols[0].size, c.expect.size);
    }
    EXPECT_EQ(Column(*d, 0), c.expected);
    EXPECT_EQ(d->cols[1].type, VT_SLONG);  // narrow columns are left alone
  }
}

TEST_F(DatasetTest, ToNarrowLeavesNullRowsInTheirOwnElements) {
  Owned d;
  Build(*d, {{VT_WCHAR, 6}}, 3, {{U16(u"abc")}, {U16(u"xyz")}, {U16(u"def")}});
  d->cols[0].indicators[1] = kIndNull;
  ASSERT_EQ(DatasetToNarrow(&*d), 0);
  ExpectSound({&*d});
  EXPECT_EQ(Column(*d, 0), (std::vector<Val>{Bytes("abc"), kNull, Bytes("def")}));
  EXPECT_EQ(Bytes(reinterpret_cast<char *>(ElemPtr(*d, 0, 1)), 6), U16(u"xyz"));
  EXPECT_EQ(DatasetToNarrow(nullptr), E_S1000);
}

TEST_F(DatasetTest, ToNarrowFailureLeavesTheFailingColumnUnchanged) {
  Owned d;
  auto setup = [&] {
    Build(*d, {{VT_WSTRING, 6}, {VT_LONGWCHAR, 16}, {VT_WCHAR, 2}},
          2, {{U16(u"ab"), U16(u"\u20AC\u20AC"), U16(u"\u00E9")}, {U16(u"\u20AC\u20AC"), U16(u"x"), kNull}});
  };
  ForEachAllocFailure(
      setup, [&] { return DatasetToNarrow(&*d); },
      [&](int) {
        ExpectSound({&*d});
        // Each column is either fully converted or untouched.
        const Val narrow[3][2] = {{Bytes("ab"), Bytes("\xE2\x82\xAC\xE2\x82\xAC")},
                                  {Bytes("\xE2\x82\xAC\xE2\x82\xAC"), Bytes("x")},
                                  {Bytes("\xC3\xA9"), kNull}};
        const Val wide[3][2] = {{U16(u"ab"), U16(u"\u20AC\u20AC")}, {U16(u"\u20AC\u20AC"), U16(u"x")}, {U16(u"\u00E9"), kNull}};
        for (uint16_t c = 0; c < 3; ++c) {
          bool isWide = d->cols[c].type == VT_WSTRING || d->cols[c].type == VT_LONGWCHAR || d->cols[c].type == VT_WCHAR;
          for (uint32_t r = 0; r < 2; ++r) EXPECT_EQ(Get(*d, c, r), isWide ? wide[c][r] : narrow[c][r]) << c << "," << r;
        }
      },
      [&] { DatasetFree(&*d); });
}

// ---- truncation ----------------------------------------------------------------

struct TruncCase {
  const char *what;
  ColSpec col;
  uint32_t n;
  std::vector<Val> values;
  ColSpec expect;
  std::vector<Val> expected;
};

TEST_F(DatasetTest, TruncateCutsCharacterAndBinaryValues) {
  const TruncCase cases[] = {
      {"fixed char becomes counted", {VT_CHAR, 5}, 2, {Bytes("abcde"), kNull}, {VT_VARCHAR4, 12}, {Bytes("ab"), kNull}},
      {"fixed char long enough: skipped", {VT_CHAR, 5}, 5, {Bytes("abcde")}, {VT_CHAR, 5}, {Bytes("abcde")}},
      {"fixed binary", {VT_BINARY, 4}, 1, {Bytes("\0\1\2\3", 4)}, {VT_VARBIN4, 12}, {Bytes("\0", 1)}},
      {"fixed wide counts units", {VT_WCHAR, 8}, 3, {U16(u"abcd")}, {VT_WVARCHAR4, 16}, {U16(u"abc")}},
      {"fixed wide not cut", {VT_WCHAR, 8}, 4, {U16(u"abcd")}, {VT_WCHAR, 8}, {U16(u"abcd")}},
      {"string cut", {VT_STRING, 6}, 3, {Bytes("hello"), Bytes("hi")}, {VT_STRING, 6}, {Bytes("hel"), Bytes("hi")}},
      {"string not cut at E - 1", {VT_STRING, 6}, 5, {Bytes("hello")}, {VT_STRING, 6}, {Bytes("hello")}},
      {"wide string", {VT_WSTRING, 10}, 2, {U16(u"abcd")}, {VT_WSTRING, 10}, {U16(u"ab")}},
      {"1-byte prefix", {VT_VARCHAR1, 6}, 2, {Bytes("abcde"), Bytes("a")}, {VT_VARCHAR1, 6}, {Bytes("ab"), Bytes("a")}},
      {"2-byte prefix binary", {VT_VARBIN2, 8}, 0, {Bytes("abc")}, {VT_VARBIN2, 8}, {Bytes("")}},
      {"4-byte prefix", {VT_VARCHAR4, 12}, 4, {Bytes("abcdefgh")}, {VT_VARCHAR4, 12}, {Bytes("abcd")}},
      {"wide counted", {VT_WVARCHAR4, 12}, 1, {U16(u"abcd")}, {VT_WVARCHAR4, 12}, {U16(u"a")}},
      {"long binary", {VT_LONGBINARY, 16}, 2, {Bytes("\xC3\xA9\xC3", 3)}, {VT_LONGBINARY, 16}, {Bytes("\xC3\xA9")}},
      {"long wide", {VT_LONGWCHAR, 16}, 2, {U16(u"abc")}, {VT_LONGWCHAR, 16}, {U16(u"ab")}},
      // UTF-8 text is never cut inside a character: "a" + 2-byte + 3-byte.
      {"UTF-8 string", {VT_STRING, 8}, 2, {Bytes("a\xC3\xA9\xE2\x82\xAC")}, {VT_STRING, 8}, {Bytes("a")}},
      {"UTF-8 counted", {VT_VARCHAR4, 12}, 5, {Bytes("a\xC3\xA9\xE2\x82\xAC")}, {VT_VARCHAR4, 12}, {Bytes("a\xC3\xA9")}},
      {"UTF-8 1-byte prefix", {VT_VARCHAR1, 8}, 4, {Bytes("a\xC3\xA9\xE2\x82\xAC")}, {VT_VARCHAR1, 8}, {Bytes("a\xC3\xA9")}},
      {"UTF-8 long", {VT_LONGCHAR, 16}, 1, {Bytes("\xC3\xA9")}, {VT_LONGCHAR, 16}, {Bytes("")}},
      {"UTF-8 fixed char", {VT_CHAR, 4}, 3, {Bytes("a\xE2\x82\xAC")}, {VT_VARCHAR4, 12}, {Bytes("a")}},
      {"numbers skipped", {VT_SLONG, 4}, 1, {Bytes("\1\2\3\4", 4)}, {VT_SLONG, 4}, {Bytes("\1\2\3\4", 4)}},
  };
  for (const TruncCase &c : cases) {
    SCOPED_TRACE(c.what);
    Owned d;
    std::vector<std::vector<Val>> rows;
    for (const Val &v : c.values) rows.push_back({v});
    Build(*d, {c.col}, int32_t(c.values.size()), rows);
    ASSERT_EQ(DatasetTruncate(&*d, c.n), 0);
    ExpectSound({&*d});
    EXPECT_EQ(d->cols[0].type, c.expect.type);
    EXPECT_EQ(d->cols[0].size, c.expect.size);
    EXPECT_EQ(Column(*d, 0), c.expected);
  }
}

TEST_F(DatasetTest, TruncatedNullRowKeepsLengthZero) {
  Owned d;
  Build(*d, {{VT_CHAR, 5}}, 2, {{Bytes("abcde")}, {kNull}});
  ASSERT_EQ(DatasetTruncate(&*d, 2), 0);
  EXPECT_EQ(Le32(ElemPtr(*d, 0, 0)), 2u);
  EXPECT_EQ(Le32(ElemPtr(*d, 0, 1)), 0u);
  EXPECT_EQ(DatasetTruncate(nullptr, 2), E_S1000);
}

TEST_F(DatasetTest, TruncateReturnsTheWideningFailure) {
  Owned d;
  ForEachAllocFailure(
      [&] { Build(*d, {{VT_CHAR, 5}, {VT_WCHAR, 4}}, 1, {{Bytes("abcde"), U16(u"xy")}}); },
      [&] { return DatasetTruncate(&*d, 1); },
      [&](int) { ExpectSound({&*d}); },
      [&] { DatasetFree(&*d); });
}

TEST_F(DatasetTest, InitAndFromColDescsFailCleanly) {
  ColDesc *descs = ColDescAlloc(2);
  descs[0].valueType = VT_SLONG;
  descs[1].valueType = VT_LONGCHAR;
  Owned d;
  ForEachAllocFailure(
      [&] {}, [&] { return DatasetFromColDescs(descs, 2, 4, &*d); },
      [&](int) { ExpectSound({&*d}); },
      [&] { DatasetFree(&*d); });
  ColDescFree(descs, 2);
}

}  // namespace
