#pragma once
// Helpers of the Dataset tests: building columns from readable values,
// reading values back, and the soundness check run after every operation
// (invariants, storage really as large as the capacity says, every long
// buffer live and owned by exactly one cell).
#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>
#include <initializer_list>
#include <optional>
#include <set>
#include <string>
#include <vector>

#include "odbc/dataset.h"
#include "odbc/sqlstate.h"

extern long g_dsAllocFailAt;

// The sanitizer runtime's own interface (GCC installs the runtime but not
// these headers).
extern "C" {
size_t __sanitizer_get_allocated_size(const volatile void *p);
int __sanitizer_get_ownership(const volatile void *p);
int __lsan_do_recoverable_leak_check(void);
}

namespace dstest {

using Bytes = std::string;
using Val = std::optional<Bytes>;  // nullopt = NULL
inline const Val kNull = std::nullopt;

// UTF-16LE bytes of a UTF-16 literal.
inline Bytes U16(std::u16string_view s) {
  Bytes b;
  for (char16_t u : s) {
    b.push_back(char(u & 0xFF));
    b.push_back(char(u >> 8));
  }
  return b;
}

inline unsigned char *ElemPtr(const Dataset &ds, uint16_t col, uint32_t row) {
  return ds.cols[col].values + size_t(row) * ds.cols[col].size;
}

inline LongValue LongAt(const Dataset &ds, uint16_t col, uint32_t row) {
  LongValue lv;
  std::memcpy(&lv, ElemPtr(ds, col, row), sizeof lv);
  return lv;
}

inline uint32_t Le32(const unsigned char *p) { return p[0] | p[1] << 8 | p[2] << 16 | uint32_t(p[3]) << 24; }

// A heap buffer as the layers that fill long values make it.
inline void *HeapBytes(const Bytes &b) {
  void *p = std::malloc(b.size() ? b.size() : 1);
  if (!b.empty()) std::memcpy(p, b.data(), b.size());
  return p;
}

// Writes one value in the column's own encoding (b holds the value's bytes:
// text for narrow types, UTF-16LE for wide ones). A long value gets a heap
// buffer that the column then owns.
inline void Put(Dataset &ds, uint16_t col, uint32_t row, const Val &v) {
  DatasetCol &c = ds.cols[col];
  unsigned char *e = ElemPtr(ds, col, row);
  if (!v) {
    c.indicators[row] = kIndNull;
    return;
  }
  const Bytes &b = *v;
  c.indicators[row] = 0;
  auto le = [&](unsigned char *p, uint32_t n, int width) {
    for (int i = 0; i < width; ++i) p[i] = uint8_t(n >> (8 * i));
  };
  switch (c.type) {
    case VT_LONGCHAR: case VT_LONGBINARY: case VT_LONGWCHAR: {
      LongValue lv{uint32_t(c.type == VT_LONGWCHAR ? b.size() / 2 : b.size()), HeapBytes(b)};
      std::memcpy(e, &lv, sizeof lv);
      return;
    }
    case VT_STRING: std::memcpy(e, b.data(), b.size()); e[b.size()] = 0; return;
    case VT_WSTRING: std::memcpy(e, b.data(), b.size()); e[b.size()] = e[b.size() + 1] = 0; return;
    case VT_VARCHAR1: case VT_VARBIN1: le(e, uint32_t(b.size()), 1); std::memcpy(e + 1, b.data(), b.size()); return;
    case VT_VARCHAR2: case VT_VARBIN2: le(e, uint32_t(b.size()), 2); std::memcpy(e + 2, b.data(), b.size()); return;
    case VT_VARCHAR4: case VT_VARBIN4: le(e, uint32_t(b.size()), 4); std::memcpy(e + 4, b.data(), b.size()); return;
    case VT_WVARCHAR4: le(e, uint32_t(b.size() / 2), 4); std::memcpy(e + 4, b.data(), b.size()); return;
    default: std::memcpy(e, b.data(), std::min<size_t>(b.size(), c.size)); return;
  }
}

// A Dataset record on the heap or the stack, freed at the end of the test.
struct Owned {
  Dataset ds{};
  Owned() = default;
  Owned(const Owned &) = delete;
  ~Owned() { DatasetFree(&ds); }
  Dataset *operator->() { return &ds; }
  Dataset &operator*() { return ds; }
};

struct ColSpec {
  int32_t type;
  uint32_t size;
};

// A Dataset with these columns, storage for capacity rows and the given rows
// (rows[r][c]).
inline void Build(Dataset &ds, std::initializer_list<ColSpec> cols, int32_t capacity,
                  std::vector<std::vector<Val>> rows = {}) {
  ASSERT_EQ(DatasetInit(&ds, uint16_t(cols.size())), 0);
  uint16_t i = 0;
  for (const ColSpec &c : cols) {
    ds.cols[i].type = c.type;
    ds.cols[i].size = c.size;
    ++i;
  }
  ds.columns = uint16_t(cols.size());
  ASSERT_EQ(DatasetAllocRows(&ds, capacity), 0);
  for (size_t r = 0; r < rows.size(); ++r)
    for (size_t c = 0; c < rows[r].size(); ++c) Put(ds, uint16_t(c), uint32_t(r), rows[r][c]);
  ds.rows = int32_t(rows.size());
}

// The value as DatasetValueGet gives it.
inline Val Get(const Dataset &ds, uint16_t col, uint32_t row) {
  std::vector<char> buf(1 << 16);
  uint32_t len = uint32_t(buf.size());
  EXPECT_EQ(DatasetValueGet(&ds, row, col, buf.data(), &len), 0);
  if (ds.cols[col].indicators[row] == kIndNull) {
    EXPECT_EQ(len, 0u);
    return kNull;
  }
  return Bytes(buf.data(), len);
}

inline std::vector<Val> Column(const Dataset &ds, uint16_t col) {
  std::vector<Val> out;
  for (int32_t r = 0; r < ds.rows; ++r) out.push_back(Get(ds, col, uint32_t(r)));
  return out;
}

// Invariants, real storage sizes, and every long buffer live and held by
// exactly one cell of all the Datasets given.
inline void ExpectSound(std::initializer_list<const Dataset *> all) {
  std::set<void *> seen;
  for (const Dataset *ds : all) {
    ASSERT_TRUE(DatasetCheck(ds));
    for (uint16_t c = 0; c < ds->columns; ++c) {
      const DatasetCol &col = ds->cols[c];
      if (!col.values) continue;
      EXPECT_GE(__sanitizer_get_allocated_size(col.values), size_t(ds->capacity) * col.size + 1) << "column " << c;
      EXPECT_GE(__sanitizer_get_allocated_size(col.indicators), size_t(ds->capacity) * 2) << "column " << c;
      if (col.type != VT_LONGCHAR && col.type != VT_LONGBINARY && col.type != VT_LONGWCHAR) continue;
      for (int32_t r = 0; r < ds->capacity; ++r) {
        void *buf = LongAt(*ds, c, uint32_t(r)).buffer;
        if (!buf) continue;
        EXPECT_TRUE(__sanitizer_get_ownership(buf)) << "dead buffer at column " << c << " row " << r;
        EXPECT_TRUE(seen.insert(buf).second) << "buffer owned twice at column " << c << " row " << r;
      }
    }
  }
}

// Every leak so far is a failure of the running test.
inline void ExpectNoLeaks() { EXPECT_EQ(__lsan_do_recoverable_leak_check(), 0) << "leaked blocks"; }

// Runs setup + op with the k-th allocation of op failing, for k = 0, 1, ...
// until op gets through without reaching the injected failure. check(rc)
// runs after each failed attempt (setup's objects still alive), then
// teardown; leaks are checked after every attempt.
template <class Setup, class Op, class Check, class Teardown>
void ForEachAllocFailure(Setup setup, Op op, Check check, Teardown teardown) {
  for (long k = 0; k < 1000; ++k) {
    setup();
    g_dsAllocFailAt = k;
    int rc = op();
    bool reached = g_dsAllocFailAt < 0;
    g_dsAllocFailAt = -1;
    if (reached) {
      EXPECT_EQ(rc, E_S1001) << "allocation " << k;
      check(rc);
    }
    teardown();
    ExpectNoLeaks();
    if (!reached) {
      EXPECT_EQ(rc, 0);
      EXPECT_GT(k, 0) << "operation allocated nothing";
      return;
    }
  }
  FAIL() << "too many allocations";
}

}  // namespace dstest
