// The stand-in's XA library: branches through the switch xaosw on a logon
// that xa_open made, seen from ordinary logons of the same database.
#include <thread>

#include "oci_fixture.h"

namespace ocitest {
namespace {

XID MakeXid(const char* gtrid, const char* bqual, long format = 0x1234) {
  XID x{};
  x.formatID = format;
  x.gtrid_length = static_cast<long>(std::strlen(gtrid));
  x.bqual_length = static_cast<long>(std::strlen(bqual));
  std::memcpy(x.data, gtrid, static_cast<size_t>(x.gtrid_length));
  std::memcpy(x.data + x.gtrid_length, bqual, static_cast<size_t>(x.bqual_length));
  return x;
}

class OciXaTest : public OciTest {
 protected:
  void SetUp() override {
    OciTest::SetUp();
    Conn scott(db.dir, "scott", "tiger");
    scott.run("create table t (n number)");
    Conn hr(db.dir, "hr", "Secret1");
    hr.run("create table h (n number)");
    hr.run("insert into h values (1)");
    hr.run("commit");
  }
  std::string Open(const char* dbname = "XA1", const char* user = "scott/tiger") {
    return std::string("ORACLE_XA+Threads=true+SesTm=60+Acc=P/") + user + "+DB=" + dbname + "+SQLNET=" + db.dir;
  }
  int OpenRm(int rmid, const char* dbname = "XA1") {
    std::string s = Open(dbname);
    return xaosw.xa_open_entry(s.data(), rmid, TMNOFLAGS);
  }
  int CloseRm(int rmid, const char* dbname = "XA1") {
    std::string s = std::string("+DB=") + dbname;
    return xaosw.xa_close_entry(s.data(), rmid, TMNOFLAGS);
  }
  // Starts a branch and runs the statements in it, then ends it.
  void Work(XID* x, std::initializer_list<const char*> sqls) {
    ASSERT_EQ(XA_OK, xaosw.xa_start_entry(x, 1, TMNOFLAGS));
    Conn xa(xaoEnv(reinterpret_cast<OraText*>(const_cast<char*>("XA1"))),
            xaoSvcCtx(reinterpret_cast<OraText*>(const_cast<char*>("XA1"))));
    for (const char* sql : sqls) xa.run(sql);
    ASSERT_EQ(XA_OK, xaosw.xa_end_entry(x, 1, TMSUCCESS));
  }
};

TEST_F(OciXaTest, OpenNamesTheLogonAndCloseEndsIt) {
  EXPECT_EQ(nullptr, xaoSvcCtx(reinterpret_cast<OraText*>(const_cast<char*>("XA1"))));
  ASSERT_EQ(XA_OK, OpenRm(1));
  EXPECT_EQ(XA_OK, OpenRm(1));          // the same open again
  EXPECT_EQ(XAER_PROTO, OpenRm(1, "XA9"));  // another logon under the same rmid
  EXPECT_NE(nullptr, xaoEnv(reinterpret_cast<OraText*>(const_cast<char*>("XA1"))));
  EXPECT_NE(nullptr, xaoSvcCtx(reinterpret_cast<OraText*>(const_cast<char*>("XA1"))));
  EXPECT_EQ(XA_OK, CloseRm(1));
  EXPECT_EQ(nullptr, xaoSvcCtx(reinterpret_cast<OraText*>(const_cast<char*>("XA1"))));

  std::string bad = Open("XA1", "scott/wrong");
  EXPECT_EQ(XAER_RMERR, xaosw.xa_open_entry(bad.data(), 1, TMNOFLAGS));
  char noAcc[] = "ORACLE_XA+DB=XA1";
  EXPECT_EQ(XAER_INVAL, xaosw.xa_open_entry(noAcc, 1, TMNOFLAGS));
}

TEST_F(OciXaTest, PreparedBranchIsDurableAndLocksItsTables) {
  ASSERT_EQ(XA_OK, OpenRm(1));
  XID x = MakeXid("g1", "b1");
  Work(&x, {"insert into t values (7)", "update hr.h set n = 2"});
  ASSERT_EQ(XA_OK, xaosw.xa_prepare_entry(&x, 1, TMNOFLAGS));

  Conn other(db.dir, "scott", "tiger");
  EXPECT_EQ("0", other.scalar("select count(*) from t"));
  EXPECT_EQ("1", other.scalar("select n from hr.h"));
  EXPECT_NE(OCI_SUCCESS, other.exec("insert into t values (8)"));
  EXPECT_EQ(1591, errcode(other.err));
  EXPECT_NE(OCI_SUCCESS, other.exec("update hr.h set n = 5"));
  EXPECT_EQ(1591, errcode(other.err));

  // Another thread logs on to the same database and finishes the branch.
  std::thread([&] {
    ASSERT_EQ(XA_OK, OpenRm(5, "XA5"));
    XID found[4];
    EXPECT_EQ(1, xaosw.xa_recover_entry(found, 4, 5, TMSTARTRSCAN | TMENDRSCAN));
    EXPECT_EQ(0, std::memcmp(&found[0], &x, sizeof(long) * 3 + 4));
    EXPECT_EQ(XAER_PROTO, xaosw.xa_commit_entry(&x, 5, TMONEPHASE));
    EXPECT_EQ(XA_OK, xaosw.xa_commit_entry(&x, 5, TMNOFLAGS));
    EXPECT_EQ(XAER_NOTA, xaosw.xa_commit_entry(&x, 5, TMNOFLAGS));
    EXPECT_EQ(0, xaosw.xa_recover_entry(found, 4, 5, TMSTARTRSCAN | TMENDRSCAN));
    EXPECT_EQ(XA_OK, CloseRm(5, "XA5"));
  }).join();
  EXPECT_EQ("7", other.scalar("select n from t"));
  EXPECT_EQ("2", other.scalar("select n from hr.h"));
  other.run("insert into t values (8)");  // the lock went with the branch
  other.run("commit");
  EXPECT_EQ(XA_OK, CloseRm(1));
}

// How a branch ends: the rows the table holds afterwards.
TEST_F(OciXaTest, BranchOutcomes) {
  struct Case {
    const char* name;
    int prepare;  // expected prepare answer, or -100 for none
    long commitFlags;
    bool rollback;
    int finish;
    const char* rows;
  } cases[] = {
      {"two-phase commit", XA_OK, TMNOFLAGS, false, XA_OK, "1"},
      {"rollback after prepare", XA_OK, 0, true, XA_OK, "0"},
      {"one-phase commit", -100, TMONEPHASE, false, XA_OK, "1"},
      {"rollback unprepared", -100, 0, true, XA_OK, "0"},
      {"two-phase commit unprepared", -100, TMNOFLAGS, false, XAER_PROTO, "0"},
  };
  ASSERT_EQ(XA_OK, OpenRm(1));
  Conn other(db.dir, "scott", "tiger");
  int n = 0;
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    other.run("delete from t");
    other.run("commit");
    std::string g = "g" + std::to_string(++n);
    XID x = MakeXid(g.c_str(), "b");
    Work(&x, {"insert into t values (1)"});
    if (c.prepare != -100) {
      EXPECT_EQ(c.prepare, xaosw.xa_prepare_entry(&x, 1, TMNOFLAGS));
    }
    EXPECT_EQ(c.finish, c.rollback ? xaosw.xa_rollback_entry(&x, 1, TMNOFLAGS)
                                   : xaosw.xa_commit_entry(&x, 1, c.commitFlags));
    if (c.finish != XA_OK) {
      EXPECT_EQ(XA_OK, xaosw.xa_rollback_entry(&x, 1, TMNOFLAGS));
    }
    EXPECT_EQ(c.rows, other.scalar("select count(*) from t"));
  }
  EXPECT_EQ(XA_OK, CloseRm(1));
}

TEST_F(OciXaTest, ReadOnlyBranchEndsAtPrepare) {
  ASSERT_EQ(XA_OK, OpenRm(1));
  XID x = MakeXid("ro", "b");
  Work(&x, {"select count(*) from t"});
  EXPECT_EQ(XA_RDONLY, xaosw.xa_prepare_entry(&x, 1, TMNOFLAGS));
  EXPECT_EQ(XAER_NOTA, xaosw.xa_commit_entry(&x, 1, TMNOFLAGS));
  EXPECT_EQ(XA_OK, CloseRm(1));
}

TEST_F(OciXaTest, ProtocolErrors) {
  XID x = MakeXid("p", "b");
  XID other = MakeXid("q", "b");
  EXPECT_EQ(XAER_PROTO, xaosw.xa_start_entry(&x, 1, TMNOFLAGS));  // not open
  ASSERT_EQ(XA_OK, OpenRm(1));
  XID null{};
  null.formatID = -1;
  EXPECT_EQ(XAER_INVAL, xaosw.xa_start_entry(&null, 1, TMNOFLAGS));
  EXPECT_EQ(XAER_INVAL, xaosw.xa_start_entry(nullptr, 1, TMNOFLAGS));
  EXPECT_EQ(XAER_NOTA, xaosw.xa_start_entry(&x, 1, TMJOIN));
  ASSERT_EQ(XA_OK, xaosw.xa_start_entry(&x, 1, TMNOFLAGS));
  EXPECT_EQ(XAER_DUPID, xaosw.xa_start_entry(&x, 1, TMNOFLAGS));
  EXPECT_EQ(XAER_PROTO, xaosw.xa_prepare_entry(&x, 1, TMNOFLAGS));  // still active
  EXPECT_EQ(XAER_PROTO, CloseRm(1));
  EXPECT_EQ(XA_OK, xaosw.xa_end_entry(&x, 1, TMSUSPEND));
  EXPECT_EQ(XA_OK, xaosw.xa_start_entry(&x, 1, TMRESUME));
  EXPECT_EQ(XA_OK, xaosw.xa_end_entry(&x, 1, TMSUCCESS));
  EXPECT_EQ(XAER_PROTO, xaosw.xa_end_entry(&x, 1, TMSUCCESS));  // already ended
  EXPECT_EQ(XAER_NOTA, xaosw.xa_end_entry(&other, 1, TMSUCCESS));
  EXPECT_EQ(XAER_NOTA, xaosw.xa_forget_entry(&x, 1, TMNOFLAGS));
  int ret = -1;
  EXPECT_EQ(XAER_PROTO, xaosw.xa_complete_entry(nullptr, &ret, 1, TMNOFLAGS));
  EXPECT_EQ(XAER_ASYNC, xaosw.xa_prepare_entry(&x, 1, TMASYNC));
  ocilite_test_xa(5, XA_RETRY);
  EXPECT_EQ(XA_RETRY, xaosw.xa_prepare_entry(&x, 1, TMNOFLAGS));
  EXPECT_EQ(XA_RDONLY, xaosw.xa_prepare_entry(&x, 1, TMNOFLAGS));
  EXPECT_EQ(XAER_NOTA, xaosw.xa_rollback_entry(&other, 1, TMNOFLAGS));
  EXPECT_EQ(XAER_INVAL, xaosw.xa_recover_entry(nullptr, 3, 1, TMSTARTRSCAN));
  EXPECT_EQ(XA_OK, CloseRm(1));
  EXPECT_EQ(XA_OK, CloseRm(1));  // closing a closed resource manager
}

}  // namespace
}  // namespace ocitest
