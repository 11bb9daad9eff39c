// The stand-in's XA library: branches through the switch xaosw on a logon
// that xa_open made, seen from ordinary logons of the same database.
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

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

// A process that dies between the two schema files of a branch's commit
// leaves the first file finished and the second still prepared; a new
// process finds the branch with xa_recover, and its commit finishes the
// rest: both schemas hold the branch's rows, none is lost or half-done.
TEST_F(OciXaTest, CommitCutBetweenSchemaFilesIsCompletedByRecovery) {
  XID x = MakeXid("cut", "b1");
  pid_t pid = fork();
  ASSERT_NE(-1, pid);
  if (pid == 0) {
    if (OpenRm(1) != XA_OK || xaosw.xa_start_entry(&x, 1, TMNOFLAGS) != XA_OK) _exit(2);
    Conn xa(xaoEnv(reinterpret_cast<OraText*>(const_cast<char*>("XA1"))),
            xaoSvcCtx(reinterpret_cast<OraText*>(const_cast<char*>("XA1"))));
    if (xa.exec("insert into t values (7)") != OCI_SUCCESS || xa.exec("update hr.h set n = 2") != OCI_SUCCESS)
      _exit(3);
    if (xaosw.xa_end_entry(&x, 1, TMSUCCESS) != XA_OK || xaosw.xa_prepare_entry(&x, 1, TMNOFLAGS) != XA_OK) _exit(4);
    ocilite_test_xa_crash(1);
    xaosw.xa_commit_entry(&x, 1, TMNOFLAGS);
    _exit(5);
  }
  int status = 0;
  ASSERT_EQ(pid, waitpid(pid, &status, 0));
  ASSERT_TRUE(WIFSIGNALED(status) && WTERMSIG(status) == SIGKILL)
      << "child exit " << (WIFEXITED(status) ? WEXITSTATUS(status) : -1);

  // One file is finished, the other still holds the branch and its lock.
  Conn other(db.dir, "scott", "tiger");
  EXPECT_EQ("7", other.scalar("select n from t"));
  EXPECT_EQ("1", other.scalar("select n from hr.h"));
  EXPECT_NE(OCI_SUCCESS, other.exec("update hr.h set n = 5"));
  EXPECT_EQ(1591, errcode(other.err));

  ASSERT_EQ(XA_OK, OpenRm(1));
  XID found[4];
  ASSERT_EQ(1, xaosw.xa_recover_entry(found, 4, 1, TMSTARTRSCAN | TMENDRSCAN));
  EXPECT_EQ(0, std::memcmp(&found[0], &x, sizeof(long) * 3 + 4));
  EXPECT_EQ(XA_OK, xaosw.xa_commit_entry(&found[0], 1, TMNOFLAGS));
  EXPECT_EQ(0, xaosw.xa_recover_entry(found, 4, 1, TMSTARTRSCAN | TMENDRSCAN));
  EXPECT_EQ(XA_OK, CloseRm(1));
  EXPECT_EQ("1", other.scalar("select count(*) from t"));
  EXPECT_EQ("7", other.scalar("select n from t"));
  EXPECT_EQ("2", other.scalar("select n from hr.h"));
  EXPECT_EQ(OCI_SUCCESS, other.exec("update hr.h set n = 3"));  // the lock went with the branch
  other.run("rollback");
}

// SQLite attaches ten other schemas at logon, each user its own ten: a
// branch prepared by scott in a schema that the recovering user's logon has
// not attached is still found by xa_recover and finished.
TEST_F(OciXaTest, BranchInASchemaTheRecovererHasNotAttachedIsFinished) {
  char msg[256] = "";
  for (int i = 1; i <= 11; ++i) {
    const std::string user = "u" + std::string(i < 10 ? "0" : "") + std::to_string(i);
    ASSERT_EQ(0, ocilite_user_create(db.dir.c_str(), user.c_str(), "Secret1", msg, sizeof msg)) << msg;
  }
  // scott attaches HR and U01 to U09; u10 attaches HR, SCOTT and U01 to U08.
  Conn(db.dir, "u09", "Secret1").run("create table x (n number)");
  ASSERT_EQ(XA_OK, OpenRm(1));
  XID x = MakeXid("far-schema", "b");
  Work(&x, {"insert into u09.x values (7)"});
  ASSERT_EQ(XA_OK, xaosw.xa_prepare_entry(&x, 1, TMNOFLAGS));
  EXPECT_EQ(XA_OK, CloseRm(1));
  std::thread([&] {
    std::string open = Open("XA5", "u10/Secret1");
    ASSERT_EQ(XA_OK, xaosw.xa_open_entry(open.data(), 5, TMNOFLAGS));
    XID found[4];
    ASSERT_EQ(1, xaosw.xa_recover_entry(found, 4, 5, TMSTARTRSCAN | TMENDRSCAN));
    EXPECT_EQ(XA_OK, xaosw.xa_commit_entry(&found[0], 5, TMNOFLAGS));
    EXPECT_EQ(XA_OK, CloseRm(5, "XA5"));
  }).join();
  Conn u09(db.dir, "u09", "Secret1");
  EXPECT_EQ("7", u09.scalar("select n from x"));
  EXPECT_EQ(OCI_SUCCESS, u09.exec("insert into x values (8)"));  // no lock left
  u09.run("rollback");
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

// A logon holds several branches at once: one suspended or ended while
// another runs, each with its own work, ended apart. A second logon of the
// same database cannot start or join an XID the first holds.
TEST_F(OciXaTest, SeveralBranchesOnOneLogon) {
  ASSERT_EQ(XA_OK, OpenRm(1));
  ASSERT_EQ(XA_OK, OpenRm(2, "XA2"));
  Conn xa(xaoEnv(reinterpret_cast<OraText*>(const_cast<char*>("XA1"))),
          xaoSvcCtx(reinterpret_cast<OraText*>(const_cast<char*>("XA1"))));
  Conn other(db.dir, "scott", "tiger");
  XID x = MakeXid("multi", "x");
  XID y = MakeXid("multi", "y");
  XID z = MakeXid("multi", "z");

  ASSERT_EQ(XA_OK, xaosw.xa_start_entry(&x, 1, TMNOFLAGS));
  xa.run("insert into t values (1)");
  ASSERT_EQ(XA_OK, xaosw.xa_end_entry(&x, 1, TMSUSPEND));
  EXPECT_EQ(XAER_DUPID, xaosw.xa_start_entry(&x, 1, TMNOFLAGS));
  EXPECT_EQ(XAER_DUPID, xaosw.xa_start_entry(&x, 2, TMNOFLAGS));  // held by the other logon
  EXPECT_EQ(XAER_RMERR, xaosw.xa_start_entry(&x, 2, TMJOIN));
  ASSERT_EQ(XA_OK, xaosw.xa_start_entry(&y, 1, TMNOFLAGS));
  EXPECT_EQ("0", xa.scalar("select count(*) from t"));  // x's row is not y's
  xa.run("update hr.h set n = 2");  // a file x does not hold: SQLite has one writer per file
  EXPECT_EQ(XAER_PROTO, xaosw.xa_start_entry(&x, 1, TMRESUME));  // y is still running
  ASSERT_EQ(XA_OK, xaosw.xa_end_entry(&y, 1, TMSUCCESS));
  EXPECT_EQ(XAER_PROTO, xaosw.xa_end_entry(&x, 1, TMSUCCESS));  // suspended, not running

  ASSERT_EQ(XA_OK, xaosw.xa_start_entry(&x, 1, TMRESUME));
  EXPECT_EQ("1", xa.scalar("select count(*) from t"));
  xa.run("insert into t values (3)");
  ASSERT_EQ(XA_OK, xaosw.xa_end_entry(&x, 1, TMSUCCESS));
  ASSERT_EQ(XA_OK, xaosw.xa_start_entry(&z, 1, TMNOFLAGS));  // two ended branches wait meanwhile
  EXPECT_EQ("1", xa.scalar("select n from hr.h"));  // y's change is y's
  ASSERT_EQ(XA_OK, xaosw.xa_end_entry(&z, 1, TMSUCCESS));
  ASSERT_EQ(XA_OK, xaosw.xa_start_entry(&x, 1, TMJOIN));
  ASSERT_EQ(XA_OK, xaosw.xa_end_entry(&x, 1, TMSUCCESS));

  EXPECT_EQ(XA_OK, xaosw.xa_rollback_entry(&y, 1, TMNOFLAGS));
  EXPECT_EQ(XA_RDONLY, xaosw.xa_prepare_entry(&z, 1, TMNOFLAGS));
  ASSERT_EQ(XA_OK, xaosw.xa_prepare_entry(&x, 1, TMNOFLAGS));
  EXPECT_EQ(XAER_DUPID, xaosw.xa_start_entry(&x, 2, TMNOFLAGS));  // prepared: still known
  EXPECT_EQ(XA_OK, xaosw.xa_commit_entry(&x, 2, TMNOFLAGS));
  EXPECT_EQ("2", other.scalar("select count(*) from t"));
  EXPECT_EQ("1", other.scalar("select n from hr.h"));
  EXPECT_EQ(XA_OK, CloseRm(2, "XA2"));
  EXPECT_EQ(XA_OK, CloseRm(1));
}

// The monitor may finish an ended branch from any of its threads: another
// thread's logon of the same database prepares, commits or rolls it back.
TEST_F(OciXaTest, EndedBranchIsFinishedFromAnotherThread) {
  struct Case {
    const char* name;
    bool prepare;
    long commitFlags;
    bool rollback;
    const char* rows;
  } cases[] = {
      {"two-phase commit", true, TMNOFLAGS, false, "1"},
      {"one-phase commit", false, TMONEPHASE, false, "1"},
      {"rollback", false, 0, true, "0"},
  };
  ASSERT_EQ(XA_OK, OpenRm(1));
  Conn other(db.dir, "scott", "tiger");
  int n = 0;
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    std::string g = "far" + std::to_string(++n);
    XID x = MakeXid(g.c_str(), "b");
    Work(&x, {"insert into t values (1)"});
    std::thread([&] {
      ASSERT_EQ(XA_OK, OpenRm(5, "XA5"));
      if (c.prepare) {
        EXPECT_EQ(XA_OK, xaosw.xa_prepare_entry(&x, 5, TMNOFLAGS));
      }
      EXPECT_EQ(XA_OK, c.rollback ? xaosw.xa_rollback_entry(&x, 5, TMNOFLAGS)
                                  : xaosw.xa_commit_entry(&x, 5, c.commitFlags));
      EXPECT_EQ(XA_OK, CloseRm(5, "XA5"));
    }).join();
    EXPECT_EQ(XAER_NOTA, xaosw.xa_rollback_entry(&x, 1, TMNOFLAGS));  // gone from its own logon too
    EXPECT_EQ(c.rows, other.scalar("select count(*) from t"));
    other.run("delete from t");
    other.run("commit");
  }
  EXPECT_EQ(XA_OK, CloseRm(1));
}

// Branches not finished when the logon closes are rolled back, and their
// XIDs are free again.
TEST_F(OciXaTest, CloseRollsBackBranchesLeftOpen) {
  ASSERT_EQ(XA_OK, OpenRm(1));
  XID x = MakeXid("left", "x");
  XID y = MakeXid("left", "y");
  Work(&x, {"insert into t values (1)"});
  ASSERT_EQ(XA_OK, xaosw.xa_start_entry(&y, 1, TMNOFLAGS));
  ASSERT_EQ(XA_OK, xaosw.xa_end_entry(&y, 1, TMSUSPEND));
  EXPECT_EQ(XA_OK, CloseRm(1));
  Conn other(db.dir, "scott", "tiger");
  EXPECT_EQ("0", other.scalar("select count(*) from t"));
  other.run("insert into t values (4)");  // no lock is left behind
  other.run("commit");
  ASSERT_EQ(XA_OK, OpenRm(1));
  EXPECT_EQ(XA_OK, xaosw.xa_start_entry(&x, 1, TMNOFLAGS));
  EXPECT_EQ(XA_OK, xaosw.xa_end_entry(&x, 1, TMSUCCESS));
  EXPECT_EQ(XA_OK, xaosw.xa_rollback_entry(&x, 1, TMNOFLAGS));
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
