// Stored units: CREATE and DROP, the dictionary rows they leave, and
// OCIDescribeAny of procedures, functions and packages.
#include <array>

#include "oci_fixture.h"

using namespace ocitest;

namespace {

const char* const kUnits[] = {
    "create procedure p_io(a in number, b out varchar2, c in out date) is\n"
    "begin\n  b := 'n=' || a;\n  c := c + 1;\nend;",
    "create or replace function f_add(x number) return number as begin return x + 1; end f_add;",
    "create procedure p_noargs is begin null; end;",
    "create procedure p_two(rc1 out sys_refcursor, n number, rc2 out sys_refcursor) is\n"
    "begin open rc1 for select 1 from dual; open rc2 for select 2 from dual; end;",
    "create package pkg as\n"
    "  type cur_t is ref cursor;\n"
    "  procedure proc(a in number, b out varchar2);\n"
    "  function fn(a number) return varchar2;\n"
    "  procedure ov(a number);\n"
    "  procedure ov(a number, b number);\n"
    "  procedure get(c out cur_t);\n"
    "  procedure get_all;\n"
    "end pkg;",
    "create package body pkg as\n"
    "  procedure proc(a in number, b out varchar2) is begin b := to_char(a); end;\n"
    "  function fn(a number) return varchar2 is begin return 'x' || a; end;\n"
    "  procedure ov(a number) is begin null; end;\n"
    "  procedure ov(a number, b number) is begin null; end;\n"
    "  procedure get(c out cur_t) is begin open c for select 1 from dual; end;\n"
    "  procedure get_all is begin null; end;\n"
    "end;",
};

struct Stored : OciTest {
  void SetUp() override {
    OciTest::SetUp();
    c = std::make_unique<Conn>(db.dir, "scott", "tiger");
    ASSERT_TRUE(c->ok()) << errtext(c->err);
    for (const char* u : kUnits) c->run(u);
  }

  // Every row of a query, columns joined by '|', NULL as "~".
  std::vector<std::string> rows(const std::string& sql, int ncols) {
    std::vector<std::string> out;
    OCIStmt* st = c->stmt(sql);
    std::vector<std::array<char, 200>> bufs(static_cast<size_t>(ncols));
    std::vector<sb2> ind(static_cast<size_t>(ncols));
    for (int i = 0; i < ncols; ++i) {
      OCIDefine* d = nullptr;
      OCIDefineByPos(st, &d, c->err, static_cast<ub4>(i + 1), bufs[static_cast<size_t>(i)].data(), 200, SQLT_STR,
                     &ind[static_cast<size_t>(i)], nullptr, nullptr, OCI_DEFAULT);
    }
    EXPECT_EQ(OCI_SUCCESS, OCIStmtExecute(c->svc, st, c->err, 0, 0, nullptr, nullptr, OCI_DEFAULT)) << errtext(c->err);
    while (OCIStmtFetch2(st, c->err, 1, OCI_FETCH_NEXT, 0, OCI_DEFAULT) == OCI_SUCCESS) {
      std::string r;
      for (int i = 0; i < ncols; ++i) {
        if (i) r += "|";
        r += ind[static_cast<size_t>(i)] == -1 ? "~" : bufs[static_cast<size_t>(i)].data();
      }
      out.push_back(r);
    }
    OCIHandleFree(st, OCI_HTYPE_STMT);
    return out;
  }

  // Describes a name; returns the status, the describe handle in *dsc.
  sword describe(const std::string& name, ub1 ptype, OCIDescribe** dsc) {
    OCIHandleAlloc(c->env, reinterpret_cast<void**>(dsc), OCI_HTYPE_DESCRIBE, 0, nullptr);
    return OCIDescribeAny(c->svc, c->err, const_cast<char*>(name.c_str()), static_cast<ub4>(name.size()),
                          OCI_OTYPE_NAME, 1, ptype, *dsc);
  }

  // "NAME/POSITION/IOMODE/TYPE/PRECISION/SCALE/SIZE" of every argument of a
  // describe parameter of a procedure or function.
  std::vector<std::string> args(OCIParam* unit) {
    ub1 pt = 0;
    OCIAttrGet(unit, OCI_DTYPE_PARAM, &pt, nullptr, OCI_ATTR_PTYPE, c->err);
    OCIParam* list = nullptr;
    EXPECT_EQ(OCI_SUCCESS, OCIAttrGet(unit, OCI_DTYPE_PARAM, &list, nullptr, OCI_ATTR_LIST_ARGUMENTS, c->err));
    ub2 n = 0;
    OCIAttrGet(list, OCI_DTYPE_PARAM, &n, nullptr, OCI_ATTR_NUM_PARAMS, c->err);
    std::vector<std::string> out;
    const ub4 first = pt == OCI_PTYPE_FUNC ? 0 : 1;
    for (ub4 i = first; i < first + n; ++i) {
      OCIParam* a = nullptr;
      EXPECT_EQ(OCI_SUCCESS, OCIParamGet(list, OCI_DTYPE_PARAM, c->err, reinterpret_cast<void**>(&a), i)) << i;
      char* name = nullptr;
      ub4 name_len = 0;
      ub2 pos = 0, type = 0, size = 0;
      ub4 mode = 0;
      ub1 prec = 0;
      sb1 scale = 0;
      OCIAttrGet(a, OCI_DTYPE_PARAM, &name, &name_len, OCI_ATTR_NAME, c->err);
      OCIAttrGet(a, OCI_DTYPE_PARAM, &pos, nullptr, OCI_ATTR_POSITION, c->err);
      OCIAttrGet(a, OCI_DTYPE_PARAM, &mode, nullptr, OCI_ATTR_IOMODE, c->err);
      OCIAttrGet(a, OCI_DTYPE_PARAM, &type, nullptr, OCI_ATTR_DATA_TYPE, c->err);
      OCIAttrGet(a, OCI_DTYPE_PARAM, &prec, nullptr, OCI_ATTR_PRECISION, c->err);
      OCIAttrGet(a, OCI_DTYPE_PARAM, &scale, nullptr, OCI_ATTR_SCALE, c->err);
      OCIAttrGet(a, OCI_DTYPE_PARAM, &size, nullptr, OCI_ATTR_DATA_SIZE, c->err);
      out.push_back(std::string(name, name_len) + "/" + std::to_string(pos) + "/" + std::to_string(mode) + "/" +
                    std::to_string(type) + "/" + std::to_string(prec) + "/" + std::to_string(scale) + "/" +
                    std::to_string(size));
    }
    OCIParam* past = nullptr;
    EXPECT_EQ(OCI_ERROR, OCIParamGet(list, OCI_DTYPE_PARAM, c->err, reinterpret_cast<void**>(&past), first + n));
    return out;
  }

  std::unique_ptr<Conn> c;
};

}  // namespace

TEST_F(Stored, ObjectsAreListedWithTheirTypeAndStatus) {
  EXPECT_EQ((std::vector<std::string>{"F_ADD|FUNCTION|VALID", "PKG|PACKAGE|VALID", "PKG|PACKAGE BODY|VALID",
                                      "P_IO|PROCEDURE|VALID", "P_NOARGS|PROCEDURE|VALID", "P_TWO|PROCEDURE|VALID"}),
            rows("select object_name, object_type, status from all_objects where owner = 'SCOTT' "
                 "and object_type in ('PROCEDURE', 'FUNCTION', 'PACKAGE', 'PACKAGE BODY') order by 1, 2",
                 3));
  // A package and its body are two objects.
  EXPECT_EQ("2", c->scalar("select count(distinct object_id) from all_objects where object_name = 'PKG'"));
}

TEST_F(Stored, ArgumentsAreListedAsOracleFillsThem) {
  EXPECT_EQ((std::vector<std::string>{
                "P_IO|~|A|1|0|NUMBER|IN|~|~|~|10",
                "P_IO|~|B|2|0|VARCHAR2|OUT|~|~|~|~",
                "P_IO|~|C|3|0|DATE|IN/OUT|~|~|~|~",
                "F_ADD|~|~|0|0|NUMBER|OUT|~|~|~|10",
                "F_ADD|~|X|1|0|NUMBER|IN|~|~|~|10",
                "P_TWO|~|RC1|1|0|REF CURSOR|OUT|~|~|~|~",
                "P_TWO|~|N|2|0|NUMBER|IN|~|~|~|10",
                "P_TWO|~|RC2|3|0|REF CURSOR|OUT|~|~|~|~",
            }),
            rows("select a.object_name, a.package_name, a.argument_name, a.position, a.data_level, a.data_type, "
                 "a.in_out, a.data_length, a.data_precision, a.data_scale, a.radix from all_arguments a "
                 "where a.owner = 'SCOTT' and a.package_name is null and a.object_name in ('P_IO', 'F_ADD', 'P_TWO') "
                 "order by decode(a.object_name, 'P_IO', 1, 'F_ADD', 2, 3), a.position",
                 11));
  // Packaged subprograms carry the package's OBJECT_ID; overloads apart.
  EXPECT_EQ((std::vector<std::string>{"GET|C|1|~", "GET_ALL|~|1|~", "OV|A|1|1", "OV|A|1|2", "OV|B|2|2"}),
            rows("select a.object_name, a.argument_name, a.position, a.overload from all_arguments a, all_objects o "
                 "where a.object_id = o.object_id and o.object_type = 'PACKAGE' and o.object_name = 'PKG' "
                 "and a.object_name in ('OV', 'GET', 'GET_ALL') order by 1, 4, 3",
                 4));
  EXPECT_TRUE(rows("select 1 from all_arguments where object_name = 'P_NOARGS'", 1).empty());
}

TEST_F(Stored, ProcedureColumnsQueryJoinsTheViews) {
  // The shape of the driver's procedure-columns query: a join of the two
  // views on OBJECT_ID, Oracle's decodes of IN_OUT and POSITION.
  EXPECT_EQ((std::vector<std::string>{"F_ADD|RETURN_VALUE|5|0", "F_ADD|X|1|1", "PKG.FN|A|1|1",
                                      "PKG.FN|RETURN_VALUE|5|0", "P_IO|A|1|1", "P_IO|B|4|2", "P_IO|C|2|3"}),
            rows("SELECT DISTINCT A.OBJECT_NAME, DECODE (A.POSITION, 0, 'RETURN_VALUE', A.ARGUMENT_NAME), "
                 "DECODE (A.IN_OUT, 'IN/OUT', 2, 'OUT', DECODE (A.POSITION, 0, 5, 4), 1), A.POSITION "
                 "FROM ALL_OBJECTS O, ALL_ARGUMENTS A WHERE A.OBJECT_NAME IN ('P_IO', 'F_ADD') AND "
                 "O.STATUS = 'VALID' AND A.OWNER = O.OWNER AND A.OBJECT_ID = O.OBJECT_ID AND A.DATA_LEVEL = 0 "
                 "AND O.OBJECT_TYPE IN ('FUNCTION', 'PROCEDURE') "
                 "UNION SELECT DISTINCT A.PACKAGE_NAME || '.' || A.OBJECT_NAME, "
                 "DECODE (A.POSITION, 0, 'RETURN_VALUE', A.ARGUMENT_NAME), "
                 "DECODE (A.IN_OUT, 'IN/OUT', 2, 'OUT', DECODE (A.POSITION, 0, 5, 4), 1), A.POSITION "
                 "FROM ALL_OBJECTS O, ALL_ARGUMENTS A WHERE A.OBJECT_NAME = 'FN' AND A.PACKAGE_NAME = 'PKG' AND "
                 "O.STATUS = 'VALID' AND A.OWNER = O.OWNER AND A.OBJECT_ID = O.OBJECT_ID AND A.DATA_LEVEL = 0 "
                 "AND O.OBJECT_TYPE = 'PACKAGE' ORDER BY 1, 2",
                 4));
}

TEST_F(Stored, DescribeGivesTheArgumentsOfProceduresAndFunctions) {
  struct Case {
    const char* name;
    ub1 ptype;
    ub1 got;
    std::vector<std::string> args;
  } cases[] = {
      {"P_IO", OCI_PTYPE_PROC, OCI_PTYPE_PROC, {"A/1/0/2/0/0/0", "B/2/1/1/0/0/0", "C/3/2/12/0/0/0"}},
      {"scott.p_io", OCI_PTYPE_PROC, OCI_PTYPE_PROC, {"A/1/0/2/0/0/0", "B/2/1/1/0/0/0", "C/3/2/12/0/0/0"}},
      {"F_ADD", OCI_PTYPE_FUNC, OCI_PTYPE_FUNC, {"/0/1/2/0/0/0", "X/1/0/2/0/0/0"}},
      {"F_ADD", OCI_PTYPE_UNK, OCI_PTYPE_FUNC, {"/0/1/2/0/0/0", "X/1/0/2/0/0/0"}},
      {"P_TWO", OCI_PTYPE_PROC, OCI_PTYPE_PROC, {"RC1/1/1/102/0/0/0", "N/2/0/2/0/0/0", "RC2/3/1/102/0/0/0"}},
      {"P_NOARGS", OCI_PTYPE_PROC, OCI_PTYPE_PROC, {}},
  };
  for (const Case& k : cases) {
    SCOPED_TRACE(k.name);
    OCIDescribe* dsc = nullptr;
    ASSERT_EQ(OCI_SUCCESS, describe(k.name, k.ptype, &dsc)) << errtext(c->err);
    OCIParam* unit = nullptr;
    OCIAttrGet(dsc, OCI_HTYPE_DESCRIBE, &unit, nullptr, OCI_ATTR_PARAM, c->err);
    ub1 pt = 0;
    OCIAttrGet(unit, OCI_DTYPE_PARAM, &pt, nullptr, OCI_ATTR_PTYPE, c->err);
    EXPECT_EQ(k.got, pt);
    EXPECT_EQ(k.args, args(unit));
    OCIHandleFree(dsc, OCI_HTYPE_DESCRIBE);
  }
}

TEST_F(Stored, DescribeOfAPackageListsItsSubprogramsInOrder) {
  OCIDescribe* dsc = nullptr;
  ASSERT_EQ(OCI_SUCCESS, describe("SCOTT.PKG", OCI_PTYPE_PKG, &dsc)) << errtext(c->err);
  OCIParam* pkg = nullptr;
  OCIAttrGet(dsc, OCI_HTYPE_DESCRIBE, &pkg, nullptr, OCI_ATTR_PARAM, c->err);
  OCIParam* list = nullptr;
  ASSERT_EQ(OCI_SUCCESS, OCIAttrGet(pkg, OCI_DTYPE_PARAM, &list, nullptr, OCI_ATTR_LIST_SUBPROGRAMS, c->err));
  ub2 n = 0;
  OCIAttrGet(list, OCI_DTYPE_PARAM, &n, nullptr, OCI_ATTR_NUM_PARAMS, c->err);
  std::vector<std::string> subs;
  for (ub4 i = 1; i <= n; ++i) {
    OCIParam* sp = nullptr;
    ASSERT_EQ(OCI_SUCCESS, OCIParamGet(list, OCI_DTYPE_PARAM, c->err, reinterpret_cast<void**>(&sp), i));
    char* name = nullptr;
    ub4 len = 0;
    ub1 pt = 0;
    OCIAttrGet(sp, OCI_DTYPE_PARAM, &name, &len, OCI_ATTR_NAME, c->err);
    OCIAttrGet(sp, OCI_DTYPE_PARAM, &pt, nullptr, OCI_ATTR_PTYPE, c->err);
    subs.push_back(std::string(name, len) + "/" + std::to_string(pt) + "/" + std::to_string(args(sp).size()));
  }
  EXPECT_EQ((std::vector<std::string>{"PROC/3/2", "FN/4/2", "OV/3/1", "OV/3/2", "GET/3/1", "GET_ALL/3/0"}), subs);
  OCIHandleFree(dsc, OCI_HTYPE_DESCRIBE);
}

TEST_F(Stored, DescribeOfAMissingOrMistypedNameIsObjectDoesNotExist) {
  struct Case {
    const char* name;
    ub1 ptype;
  } cases[] = {
      {"NOPE", OCI_PTYPE_PROC}, {"F_ADD", OCI_PTYPE_PROC}, {"P_IO", OCI_PTYPE_FUNC},
      {"P_IO", OCI_PTYPE_PKG},  {"PKG", OCI_PTYPE_PROC},   {"HR.P_IO", OCI_PTYPE_PROC},
  };
  for (const Case& k : cases) {
    SCOPED_TRACE(k.name);
    OCIDescribe* dsc = nullptr;
    EXPECT_EQ(OCI_ERROR, describe(k.name, k.ptype, &dsc));
    EXPECT_EQ(4043, errcode(c->err));
    OCIHandleFree(dsc, OCI_HTYPE_DESCRIBE);
  }
}

TEST_F(Stored, ReplaceDropAndNameClashes) {
  // Without OR REPLACE an existing name is taken; a table's name too.
  EXPECT_EQ(OCI_ERROR, c->exec("create procedure p_noargs is begin null; end;"));
  EXPECT_EQ(955, errcode(c->err));
  c->run("create table t_clash (n number)");
  EXPECT_EQ(OCI_ERROR, c->exec("create procedure t_clash is begin null; end;"));
  EXPECT_EQ(955, errcode(c->err));
  EXPECT_EQ(OCI_ERROR, c->exec("create or replace function p_noargs return number is begin return 1; end;"));
  EXPECT_EQ(955, errcode(c->err));
  // Replacing changes the arguments.
  c->run("create or replace procedure p_noargs(z varchar2) is begin null; end;");
  EXPECT_EQ("Z", c->scalar("select argument_name from all_arguments where object_name = 'P_NOARGS'"));

  c->run("drop procedure p_noargs");
  EXPECT_EQ("<none>", c->scalar("select object_type from all_objects where object_name = 'P_NOARGS'"));
  EXPECT_EQ("<none>", c->scalar("select argument_name from all_arguments where object_name = 'P_NOARGS'"));
  EXPECT_EQ(OCI_ERROR, c->exec("drop procedure p_noargs"));
  EXPECT_EQ(4043, errcode(c->err));
  EXPECT_EQ(OCI_ERROR, c->exec("drop function p_io"));
  EXPECT_EQ(4043, errcode(c->err));

  // Dropping a body keeps the package's declarations; dropping the package drops both.
  c->run("drop package body pkg");
  EXPECT_EQ("PACKAGE", c->scalar("select object_type from all_objects where object_name = 'PKG'"));
  EXPECT_EQ("9", c->scalar("select count(*) from all_arguments where package_name = 'PKG'"));
  c->run("drop package pkg");
  EXPECT_EQ("<none>", c->scalar("select object_type from all_objects where object_name = 'PKG'"));
  EXPECT_EQ("0", c->scalar("select count(*) from all_arguments where package_name = 'PKG'"));
}

TEST_F(Stored, UnitsOutsideTheLanguageAreStoredInvalid) {
  const char* const invalid[] = {
      "create procedure bad1 is begin goto x; end;",
      "create procedure bad2 is begin null; exception when others then null; end;",
      "create procedure bad3(a t.c%type) is begin null; end;",
      "create function bad4 return number is begin return 1 end;",
      "create package body no_spec as procedure x is begin null; end; end;",
  };
  for (const char* sql : invalid) {
    SCOPED_TRACE(sql);
    EXPECT_EQ(OCI_SUCCESS_WITH_INFO, c->exec(sql));
    EXPECT_EQ(24344, errcode(c->err));
  }
  EXPECT_EQ((std::vector<std::string>{"BAD1|INVALID", "BAD2|INVALID", "BAD3|INVALID", "BAD4|INVALID",
                                      "NO_SPEC|INVALID"}),
            rows("select object_name, status from all_objects where status = 'INVALID' order by 1", 2));
  // A body missing a subprogram its package declares is invalid too.
  EXPECT_EQ(OCI_SUCCESS_WITH_INFO,
            c->exec("create or replace package body pkg as procedure proc(a in number, b out varchar2) is "
                    "begin null; end; end;"));
  EXPECT_EQ("INVALID", c->scalar("select status from all_objects where object_type = 'PACKAGE BODY'"));
  // Not even a name: refused.
  EXPECT_EQ(OCI_ERROR, c->exec("create procedure"));
}

TEST_F(Stored, UnitsOfAnotherSchemaAreReachedByItsName) {
  Conn hr(db.dir, "hr", "Secret1");
  ASSERT_TRUE(hr.ok());
  hr.run("create procedure hr_proc(a number) is begin null; end;");
  OCIDescribe* dsc = nullptr;
  ASSERT_EQ(OCI_SUCCESS, describe("HR.HR_PROC", OCI_PTYPE_PROC, &dsc)) << errtext(c->err);
  OCIHandleFree(dsc, OCI_HTYPE_DESCRIBE);
  EXPECT_EQ("HR", c->scalar("select owner from all_arguments where object_name = 'HR_PROC'"));
}
