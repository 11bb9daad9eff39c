#pragma once
// Result sets through the agent's operation table against the OCI stand-in:
// a connection in the narrow or the wide mode, statements run on agent
// cursors, rows fetched into Datasets and their cells read back.
#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "../agent/agent_fixture.h"
#include "drv_ora8/db-fetch.h"
#include "odbc/colattr.h"
#include "odbc/dataset.h"
#include "util/utf.h"
#include "variant.h"

namespace fetch_test {

using agent_test::ConnArgs;
using agent_test::Msgs;
using agent_test::TakeErrors;

// A Dataset record freed with its storage.
struct OwnedDataset {
  Dataset ds{};
  ~OwnedDataset() { DatasetFree(&ds); }
  Dataset *operator->() { return &ds; }
  Dataset *get() { return &ds; }
};

// A ColDesc array handed up by the agent, freed.
struct OwnedCols {
  ColDesc *cols = nullptr;
  uint16_t count = 0;
  OwnedCols() = default;
  OwnedCols(OwnedCols &&o) noexcept : cols(o.cols), count(o.count) { o.cols = nullptr, o.count = 0; }
  OwnedCols(const OwnedCols &) = delete;
  OwnedCols &operator=(const OwnedCols &) = delete;
  ~OwnedCols() { ColDescFree(cols, count); }
  const ColDesc &operator[](size_t i) const { return cols[i]; }
};

// Little-endian UTF-16 of a UTF-8 text, as bytes.
inline std::string Utf16(const std::string &utf8) {
  std::vector<uint16_t> units(utf8.size() + 1);
  size_t n = utf8_to_utf16_n(units.data(), utf8.c_str(), utf8.size());
  return std::string(reinterpret_cast<const char *>(units.data()), 2 * n);
}

// The text of a character cell as UTF-8 (wide cells are converted), or
// "<NULL>".
inline std::string CellText(const Dataset &ds, uint16_t col, uint32_t row) {
  if (ds.cols[col].indicators[row] == kIndNull) return "<NULL>";
  const void *data = nullptr;
  uint32_t len = 0;
  EXPECT_EQ(0, DatasetValueRef(&ds, row, col, &data, &len));
  const int32_t t = ds.cols[col].type;
  if (t == VT_WCHAR || t == VT_WSTRING || t == VT_LONGWCHAR || t == VT_WVARCHAR4) {
    char *s = utf16_to_utf8_dupn(static_cast<const uint16_t *>(data), static_cast<int32_t>(len / 2));
    std::string out = s ? s : "";
    free(s);
    return out;
  }
  return std::string(static_cast<const char *>(data), len);
}

// The raw bytes of a cell (what DatasetValueRef delimits).
inline std::string CellBytes(const Dataset &ds, uint16_t col, uint32_t row) {
  const void *data = nullptr;
  uint32_t len = 0;
  EXPECT_EQ(0, DatasetValueRef(&ds, row, col, &data, &len));
  return std::string(static_cast<const char *>(data), len);
}

template <class T>
T CellAs(const Dataset &ds, uint16_t col, uint32_t row) {
  T v{};
  EXPECT_GE(ds.cols[col].size, sizeof(T));
  memcpy(&v, ds.cols[col].values + static_cast<size_t>(row) * ds.cols[col].size, sizeof v);
  return v;
}

// A numeric cell of any of the value types numbers travel in.
inline double NumAt(const Dataset &ds, uint16_t col, uint32_t row) {
  switch (ds.cols[col].type) {
    case VT_STINYINT: return CellAs<int8_t>(ds, col, row);
    case VT_SSHORT: return CellAs<int16_t>(ds, col, row);
    case VT_SLONG: return CellAs<int32_t>(ds, col, row);
    case VT_FLOAT: return CellAs<float>(ds, col, row);
    case VT_DOUBLE: return CellAs<double>(ds, col, row);
    case VT_VARCHAR2: return std::stod(CellText(ds, col, row));
    default: ADD_FAILURE() << "not a number: type " << ds.cols[col].type; return 0;
  }
}

struct Timestamp {
  int16_t year;
  uint16_t month, day, hour, minute, second;
  uint32_t fraction;
  bool operator==(const Timestamp &o) const { return memcmp(this, &o, sizeof o) == 0; }
};
inline std::ostream &operator<<(std::ostream &os, const Timestamp &t) {
  return os << t.year << "-" << t.month << "-" << t.day << " " << t.hour << ":" << t.minute << ":" << t.second
            << "." << t.fraction;
}

class FetchTest : public agent_test::AgentTest {
 protected:
  DrvHandle conn = 0;
  bool wide = false;  // the connection runs in the wide mode

  void TearDown() override {
    if (conn) Disconnect(conn);
    conn = 0;
    agent_test::AgentTest::TearDown();
  }

  // Connects scott; asks for the wide mode, which only the Unicode build has.
  void Open(bool askWide) {
    ConnArgs a = Scott();
    a.wide = askWide;
    ASSERT_EQ(0, Connect(a, &conn)) << Errors(server);
    wide = askWide && g_driverVariant.unicode;
    ASSERT_EQ(wide ? 1 : 0, Agent_Conn(conn)->wide);
  }

  std::string Errors(DrvHandle h) {
    Msgs m = TakeErrors(drv, h);
    std::string all;
    for (auto &t : m.texts) all += t + "\n";
    return all;
  }

  DrvHandle NewCursor() {
    DrvHandle cur = 0;
    EXPECT_EQ(0, DrvCall<&DrvOps::DRV_AllocCursor>(&drv, conn, &cur));
    return cur;
  }
  void DropCursor(DrvHandle cur) { EXPECT_EQ(0, DrvCall<&DrvOps::DRV_FreeCursor>(&drv, cur)); }

  // Runs one statement on a cursor of its own.
  void Exec(const std::string &sql) {
    DrvHandle cur = NewCursor();
    int32_t rc = DrvCall<&DrvOps::DRV_ExecDirect>(&drv, cur, sql.c_str(), nullptr, 0, nullptr);
    EXPECT_TRUE(rc == 0 || rc == E_IM902) << sql << " -> " << rc << "\n" << Errors(cur);
    DropCursor(cur);
  }

  // Prepares and executes a query on a new cursor.
  DrvHandle Query(const std::string &sql) {
    DrvHandle cur = NewCursor();
    EXPECT_EQ(0, DrvCall<&DrvOps::DRV_Prepare>(&drv, cur, sql.c_str())) << sql << "\n" << Errors(cur);
    EXPECT_EQ(0, DrvCall<&DrvOps::DRV_Execute>(&drv, cur)) << sql << "\n" << Errors(cur);
    return cur;
  }

  int32_t Fetch(DrvHandle cur, uint16_t rows, Dataset *out) { return DrvCall<&DrvOps::DRV_Fetch>(&drv, cur, rows, out); }

  OwnedCols Describe(DrvHandle cur) {
    OwnedCols c;
    EXPECT_EQ(0, DrvCall<&DrvOps::DRV_DescribeColumns>(&drv, cur, &c.count, &c.cols)) << Errors(cur);
    return c;
  }
};

}  // namespace fetch_test
