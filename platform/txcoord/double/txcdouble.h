#pragma once
// A test double of the transaction coordinator. It registers itself with
// libtxcoord so that the driver's enlistment finds it, gives out
// transactions and drives their outcome through every enlisted resource on
// a thread of its own: prepare (also single-phase), commit, abort, TMDown.
// It fails a helper call on cue, can pause between the phases, and can lose
// its enlistments after prepare as a crashed coordinator would; recovery
// then loads a registered resource manager's library, takes its switch
// (GetXaSwitch), opens it with the registered string and ends the branches
// it finds.
//
// Every wait for a resource's answer is bounded: a resource that never
// answers gives kNoAnswer, never a hang.
#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <deque>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "txcoord.h"

namespace txc {

// A request the resource did not answer within the bound.
constexpr HRESULT kNoAnswer = static_cast<HRESULT>(0x8000FFFFu);

class Coordinator;
class Enlistment;

// Which helper call fails next, once.
enum class HelperCall { None, Accessor, XARMCreate, ConvertTridToXID, EnlistWithRM };

// What the coordinator does once every resource has prepared.
enum class AfterPrepare {
  Commit,  // send the commit
  Pause,   // wait for Transaction::Resume, then commit
  Lose,    // lose the enlistments (as if the coordinator crashed); see Coordinator::Recover
  Down,    // tell each resource the coordinator went down (TMDown)
};

struct Outcome {
  std::vector<HRESULT> prepared;  // each resource's prepare answer
  std::vector<HRESULT> ended;     // each resource's commit (or abort, TMDown) answer
  bool committed = false;         // every resource prepared and committed
};

class Transaction final : public ITransaction {
 public:
  HRESULT QueryInterface(const Guid &iid, void **out) override;
  uint32_t AddRef() override;
  uint32_t Release() override;

  // Prepares every enlisted resource, then commits; a resource refusing to
  // prepare aborts the others. singlePhase asks the resources to prepare
  // with fSinglePhase set.
  Outcome Commit(AfterPrepare after = AfterPrepare::Commit, bool singlePhase = false);
  // Sends the commit again to the resources whose commit failed.
  Outcome CommitAgain();
  Outcome Abort();
  // With AfterPrepare::Pause: true once every resource has prepared and the
  // coordinator waits (bounded); Resume lets it go on.
  bool WaitPaused();
  void Resume();
  const std::string &gtrid() const { return gtrid_; }
  size_t Enlisted();

 private:
  friend class Coordinator;
  Transaction(Coordinator *c, std::string gtrid) : coord_(c), gtrid_(std::move(gtrid)) {}
  ~Transaction();
  Outcome EndEach(bool commit, const std::vector<size_t> &which);

  Coordinator *coord_;
  std::string gtrid_;
  std::mutex mu_;
  std::condition_variable cv_;
  std::vector<Enlistment *> enlisted_;
  std::vector<size_t> failedCommits_;
  bool paused_ = false, resumed_ = false;
  std::atomic<uint32_t> refs_{1};
};

struct RegisteredRm {
  std::string openString, driverFile;
  uint32_t cookie = 0;
};

struct Recovery {
  int opened = -99;             // xa_open's answer
  std::vector<XID> found;       // the branches xa_recover listed
  std::vector<int> ended;       // the answer of each branch's commit or rollback
  int closed = -99;             // xa_close's answer
  std::string error;            // why recovery could not start
};

class Coordinator {
 public:
  Coordinator();   // registers with libtxcoord
  ~Coordinator();  // withdraws, ends its thread

  // A new transaction, referenced once (the caller releases it).
  Transaction *Begin();
  void FailNext(HelperCall call, HRESULT hr);
  std::vector<RegisteredRm> Registered();
  // The thread the coordinator's requests run on.
  std::thread::id thread() const { return thread_.get_id(); }
  // The XID a transaction's branch has in a resource manager.
  XID XidOf(const std::string &gtrid, uint32_t cookie) const;
  // Ends, through the registered resource manager's own switch, the branches
  // of the transactions whose enlistments were lost: commits those the
  // coordinator had decided to commit, rolls back the others of its own.
  Recovery Recover(const RegisteredRm &rm, int rmid);
  // Tells every resource of a lost enlistment that the coordinator went
  // down (TMDown) and lets it go; their answers.
  std::vector<HRESULT> NotifyDown();

  // Internal: the helper and transaction-manager objects call these.
  HRESULT Helper(HelperCall call);
  uint32_t Register(const char *openString, const char *driverFile);
  void Unregister(uint32_t cookie);
  // Runs fn on the coordinator's thread; false when it did not finish in
  // time.
  bool OnThread(const std::function<void()> &fn);
  void Lose(Transaction *tx, std::vector<Enlistment *> list, bool commitDecided);

 private:
  void Run();
  struct TmObject;
  struct HelperObject;
  std::unique_ptr<TmObject> tm_;
  std::unique_ptr<HelperObject> helper_;
  std::mutex mu_;
  std::condition_variable cv_;
  std::deque<std::shared_ptr<std::function<void()>>> queue_;
  bool stop_ = false;
  std::thread thread_;
  HelperCall failCall_ = HelperCall::None;
  HRESULT failHr_ = 0;
  uint32_t nextCookie_ = 1;
  uint32_t nextTx_ = 1;
  std::vector<RegisteredRm> rms_;
  std::vector<std::string> decidedCommit_, decidedAbort_;  // gtrids of lost transactions
  std::vector<Enlistment *> lost_;
};

}  // namespace txc
