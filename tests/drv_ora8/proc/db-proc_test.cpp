// The analysis of a call's text, the block built for it, subprogram name
// matching and the merge of output values: pure code, no database.
#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "drv_ora8/db-proc.h"
#include "drv_ora8/db-private.h"
#include "odbc/dataset.h"
#include "odbc/sqlstate.h"

namespace {

struct ParseCase {
  const char *text;
  int funcSyntax;
  const char *schema, *pkg, *proc;
  int hasList;
  std::vector<int32_t> markers;  // per written argument: its marker index or -1
};

TEST(ProcCallParse, SplitsNameAndFindsWholeMarkers) {
  const ParseCase cases[] = {
      {"P_IO(:1, :2, :3)", 0, "", "", "P_IO", 1, {0, 1, 2}},
      {":1:=F_ADD(:2)", 1, "", "", "F_ADD", 1, {1}},
      {"  :1 := F_ADD( :2 )", 1, "", "", "F_ADD", 1, {1}},
      {"P_NOARGS", 0, "", "", "P_NOARGS", 0, {}},
      {"P_NOARGS()", 0, "", "", "P_NOARGS", 1, {}},
      {"P_NOARGS ( ) ", 0, "", "", "P_NOARGS", 1, {}},
      {"PKG.PROC(:1, :2)", 0, "", "PKG", "PROC", 1, {0, 1}},
      {"SCOTT.PKG.PROC(:1)", 0, "SCOTT", "PKG", "PROC", 1, {0}},
      // Dots and blanks inside double quotes belong to the part.
      {"\"My.Pkg\".\"Pr (oc\"(:1)", 0, "", "\"My.Pkg\"", "\"Pr (oc\"", 1, {0}},
      // Commas and parentheses inside quotes or nested calls do not end an argument.
      {"P('a,b)', :1, f(1, 2))", 0, "", "", "P", 1, {-1, 0, -1}},
      {"P('it''s', :1)", 0, "", "", "P", 1, {-1, 0}},
      // A marker that is not a whole argument is not one of the call's.
      {"P(to_date(:1, 'YYYY'))", 0, "", "", "P", 1, {-1}},
      {"P(:1 + 1, :2)", 0, "", "", "P", 1, {-1, 1}},
  };
  for (const ParseCase &k : cases) {
    ProcCall call;
    ASSERT_EQ(0, db_ParseCall(k.text, &call)) << k.text;
    EXPECT_EQ(k.funcSyntax, call.funcSyntax) << k.text;
    EXPECT_EQ(k.schema, call.schema) << k.text;
    EXPECT_EQ(k.pkg, call.packageOrSchema) << k.text;
    EXPECT_EQ(k.proc, call.procName) << k.text;
    EXPECT_EQ(k.hasList, call.hasList) << k.text;
    std::vector<int32_t> markers;
    uint32_t found = call.funcSyntax ? 1 : 0;
    for (const ProcCallArg &a : call.args) {
      markers.push_back(a.marker);
      found += a.marker >= 0 ? 1 : 0;
    }
    EXPECT_EQ(k.markers, markers) << k.text;
    EXPECT_EQ(found, call.markers) << k.text;
  }
}

TEST(ProcCallParse, RefusesMalformedCallsWithoutReadingPastThem) {
  const struct {
    const char *text;
    int32_t code;
  } cases[] = {
      {"P(:1", E_37000},          {"P(:1, 'abc)", E_37000}, {"\"P(:1)", E_37000},
      {"P(:1))", E_37000},        {"P(:1) x", E_37000},     {"P(f(:1)", E_37000},
      {"A.B.C.D(:1)", E_37000},   {"A..B(:1)", E_37000},    {".P", E_37000},
      {"P x", E_37000},           {"", E_37000},            {"P(\"a)", E_37000},
  };
  for (const auto &k : cases) {
    ProcCall call;
    EXPECT_EQ(k.code, db_ParseCall(k.text, &call)) << k.text;
  }
}

// Each limit at its value and one over: the whole name and each part.
TEST(ProcCallParse, NameLimitsRefuseInsteadOfCutting) {
  for (uint32_t len : {kProcPartMax - 1, kProcPartMax, kProcPartMax + 1}) {
    ProcCall call;
    const std::string text = std::string(len, 'P') + "(:1)";
    EXPECT_EQ(len > kProcPartMax ? E_42000 : 0, db_ParseCall(text.c_str(), &call)) << len;
  }
  for (uint32_t len : {kProcPackageMax - 1, kProcPackageMax, kProcPackageMax + 1}) {
    ProcCall call;
    const std::string text = std::string(len, 'K') + ".P(:1)";
    EXPECT_EQ(len > kProcPackageMax ? E_42000 : 0, db_ParseCall(text.c_str(), &call)) << len;
  }
  for (uint32_t len : {kProcSchemaMax - 1, kProcSchemaMax, kProcSchemaMax + 1}) {
    ProcCall call;
    const std::string text = std::string(len, 'S') + ".K.P(:1)";
    EXPECT_EQ(len > kProcSchemaMax ? E_42000 : 0, db_ParseCall(text.c_str(), &call)) << len;
  }
  // Three full parts make the longest name there is.
  const uint32_t procPart = kProcNameMax - kProcSchemaMax - kProcPackageMax - 2;
  for (uint32_t extra : {0u, 1u}) {
    ProcCall call;
    const std::string name = std::string(kProcSchemaMax, 'S') + "." + std::string(kProcPackageMax, 'K') + "." +
                             std::string(procPart + extra, 'P');
    EXPECT_EQ(extra ? E_42000 : 0, db_ParseCall((name + "(:1)").c_str(), &call)) << name.size();
    if (!extra) {
      EXPECT_EQ(std::string(procPart, 'P'), call.procName);
    }
  }
}

TEST(ProcCallParse, ArgumentTableLimit) {
  for (uint32_t n : {kProcArgMax - 1, kProcArgMax, kProcArgMax + 1}) {
    std::string text = "P(";
    for (uint32_t i = 0; i < n; ++i) text += (i ? ", :" : ":") + std::to_string(i + 1);
    text += ")";
    ProcCall call;
    const int32_t rc = db_ParseCall(text.c_str(), &call);
    EXPECT_EQ(n > kProcArgMax ? E_S1C00 : 0, rc) << n;
    if (rc == 0) {
      EXPECT_EQ(n, call.markers);
    }
  }
}

struct BlockCase {
  const char *text;
  int asFunction;
  std::vector<ProcArgInfo> args;  // descriptor entries (entry 0: a function's result)
  int omitCursors;
  const char *block;
  std::vector<int32_t> placeholders;
};

TEST(ProcBlock, PlaceholdersStandInArgumentOrder) {
  const std::vector<ProcArgInfo> pTwo = {{0, 0}, {1, 1}, {2, 0}, {3, 1}};  // rc1, n, rc2
  const BlockCase cases[] = {
      {"P_IO(:1, :2, :3)", 0, {{0, 0}, {1, 0}, {2, 0}, {3, 0}}, 0, "begin\nP_IO(:1, :2, :3);\nend;", {0, 1, 2}},
      {":1:=F_ADD(:2)", 1, {{0, 0}, {1, 0}}, 0, "begin\n:1 := F_ADD(:2);\nend;", {0, 1}},
      // A function called as a procedure: its result goes to a placeholder of its own.
      {"F_ADD(:1)", 1, {{0, 0}, {1, 0}}, 0, "begin\n:1 := F_ADD(:2);\nend;", {kPhRetval, 0}},
      // A procedure called as a function: the return marker has no place in the block.
      {":1:=P_NOARGS", 0, {{0, 0}}, 0, "begin\nP_NOARGS;\nend;", {}},
      {":1 := P(:2)", 0, {{0, 0}, {1, 0}}, 0, "begin\nP(:1);\nend;", {1}},
      {"P_NOARGS()", 0, {{0, 0}}, 0, "begin\nP_NOARGS;\nend;", {}},
      // Left-out REF CURSOR arguments take their own places.
      {"P_TWO(:1)", 0, pTwo, 1, "begin\nP_TWO(:1, :2, :3);\nend;", {-1 - 1, 0, -1 - 3}},
      {"P(:1, :2)", 0, {{0, 0}, {1, 0}, {2, 1}, {3, 0}}, 1, "begin\nP(:1, :2, :3);\nend;", {0, -1 - 2, 1}},
      {"P_MIX(:1)", 0, {{0, 0}, {1, 1}, {2, 0}}, 1, "begin\nP_MIX(:1, :2);\nend;", {-1 - 1, 0}},
      // Written REF CURSOR markers are bound as they stand.
      {"P_TWO(:1, :2, :3)", 0, pTwo, 0, "begin\nP_TWO(:1, :2, :3);\nend;", {0, 1, 2}},
      {":1:=F_RC(:2)", 1, {{0, 1}, {1, 0}}, 0, "begin\n:1 := F_RC(:2);\nend;", {0, 1}},
      // Literal arguments stay as written; markers are numbered anew.
      {"P(5, 'x,:9', :1)", 0, {{0, 0}, {1, 0}, {2, 0}, {3, 0}}, 0, "begin\nP(5, 'x,:9', :1);\nend;", {0}},
      {"\"Pk\".P(:1)", 0, {{0, 0}, {1, 0}}, 0, "begin\n\"Pk\".P(:1);\nend;", {0}},
  };
  for (const BlockCase &k : cases) {
    ProcCall call;
    ASSERT_EQ(0, db_ParseCall(k.text, &call)) << k.text;
    std::string block;
    std::vector<int32_t> ph;
    db_BuildProcBlock(k.text, &call, k.asFunction, k.args, k.omitCursors, &block, &ph);
    EXPECT_EQ(k.block, block) << k.text;
    EXPECT_EQ(k.placeholders, ph) << k.text;
  }
}

TEST(ProcBlock, WrittenArgumentsMovePastLeftOutCursors) {
  ProcCall call;
  ASSERT_EQ(0, db_ParseCall("P(:1, :2)", &call));
  std::string block;
  std::vector<int32_t> ph;
  db_BuildProcBlock("P(:1, :2)", &call, 0, {{0, 0}, {1, 1}, {2, 0}, {3, 1}, {4, 0}}, 1, &block, &ph);
  ASSERT_EQ(2u, call.args.size());
  EXPECT_EQ(2, call.args[0].position);
  EXPECT_EQ(4, call.args[1].position);
  EXPECT_EQ("begin\nP(:1, :2, :3, :4);\nend;", block);
}

TEST(ProcSubprogramName, WholeNamesUnlessQuoted) {
  const struct {
    const char *described;
    const char *written;
    bool same;
  } cases[] = {
      {"GET", "GET", true},     {"GET", "get", true},        {"GET_ALL", "GET", false},
      {"GET", "GET_ALL", false}, {"OV", "\"OV\"", true},     {"Ov", "\"Ov\"", true},
      {"OV", "\"ov\"", false},   {"GE", "GET", false},
  };
  for (const auto &k : cases)
    EXPECT_EQ(k.same, db_SubprogramNameIs(k.described, strlen(k.described), k.written))
        << k.described << " / " << k.written;
}

TEST(ProcTypes, LongAndLobTypes) {
  const struct {
    int32_t type;
    int isLong, isLob;
  } cases[] = {{SQLT_LNG, 1, 0}, {SQLT_LBI, 1, 0}, {SQLT_CLOB, 1, 1}, {SQLT_BLOB, 1, 1},
               {SQLT_CHR, 0, 0}, {SQLT_NUM, 0, 0}, {SQLT_BIN, 0, 0},  {SQLT_RSET, 0, 0}};
  for (const auto &k : cases) {
    EXPECT_EQ(k.isLong, OraType_IsLong(k.type)) << k.type;
    EXPECT_EQ(k.isLob, OraType_IsLob(k.type)) << k.type;
  }
}

// Output columns change owner, input/output columns are copied from the
// parameter Dataset, inputs are passed over.
TEST(ProcOutMerge, OutputsMovedInOutsCopiedInMarkerOrder) {
  AgentCursor cur{};
  const char *kinds[] = {"*I", "*O", "*B", "*O"};
  cur.parCount = 4;
  cur.pars = ColDescAlloc(4);
  for (int i = 0; i < 4; ++i) snprintf(cur.pars[i].name, sizeof cur.pars[i].name, "%s", kinds[i]);

  Dataset params{};
  ASSERT_EQ(0, DatasetInit(&params, 2));
  params.cols[0] = DatasetCol{VT_SLONG, 4, nullptr, nullptr};
  params.cols[1] = DatasetCol{VT_LONGCHAR, sizeof(LongValue), nullptr, nullptr};
  params.columns = 2;
  ASSERT_EQ(0, DatasetAllocRows(&params, 1));
  params.rows = 1;
  params.cols[0].indicators[0] = 0;
  params.cols[1].indicators[0] = 0;
  LongValue lv{3, malloc(3)};
  memcpy(lv.buffer, "abc", 3);
  memcpy(params.cols[1].values, &lv, sizeof lv);

  Dataset out{};
  ASSERT_EQ(0, DatasetInit(&out, 3));
  out.cols[0] = DatasetCol{VT_STRING, 8, nullptr, nullptr};
  out.cols[1] = DatasetCol{VT_STRING, 8, nullptr, nullptr};  // the input/output marker's unused slot
  out.cols[2] = DatasetCol{VT_SLONG, 4, nullptr, nullptr};
  out.columns = 3;
  ASSERT_EQ(0, DatasetAllocRows(&out, 1));
  out.rows = 1;
  memcpy(out.cols[0].values, "first", 6);
  out.cols[0].indicators[0] = 0;
  const unsigned char *moved = out.cols[0].values;

  Dataset *m = nullptr;
  ASSERT_EQ(0, ProcOutDatasetMerge(&cur, &params, &out, &m));
  ASSERT_NE(nullptr, m);
  ASSERT_EQ(3, m->columns);
  EXPECT_EQ(1, m->rows);
  EXPECT_TRUE(DatasetCheck(m));
  EXPECT_EQ(moved, m->cols[0].values);
  EXPECT_EQ(nullptr, out.cols[0].values);
  EXPECT_STREQ("first", reinterpret_cast<const char *>(m->cols[0].values));
  ASSERT_EQ(VT_LONGCHAR, m->cols[1].type);
  LongValue copy;
  memcpy(&copy, m->cols[1].values, sizeof copy);
  EXPECT_EQ(3u, copy.length);
  EXPECT_NE(lv.buffer, copy.buffer);
  EXPECT_EQ(0, memcmp(copy.buffer, "abc", 3));
  EXPECT_EQ(VT_SLONG, m->cols[2].type);

  DatasetFree(m);
  free(m);
  DatasetFree(&out);
  DatasetFree(&params);
  ColDescFree(cur.pars, cur.parCount);
}

}  // namespace
