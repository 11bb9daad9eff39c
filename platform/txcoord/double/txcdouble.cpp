// The test double coordinator.
#include "txcdouble.h"

#include <dlfcn.h>

#include <chrono>
#include <cstring>

namespace txc {

namespace {

constexpr auto kBound = std::chrono::seconds(60);
constexpr long kFormatId = 0x54584344;  // "TXCD"

HRESULT SendPrepare(ITransactionResourceAsync *r) { return r->PrepareRequest(0, 0, 0, 0); }
HRESULT SendPrepareSinglePhase(ITransactionResourceAsync *r) { return r->PrepareRequest(0, 0, 0, 1); }
HRESULT SendCommit(ITransactionResourceAsync *r) { return r->CommitRequest(0, nullptr); }
HRESULT SendAbort(ITransactionResourceAsync *r) { return r->AbortRequest(nullptr, 0, nullptr); }
HRESULT SendDown(ITransactionResourceAsync *r) { return r->TMDown(); }

}  // namespace

// ---- One enlisted resource -------------------------------------------------------------

class Enlistment final : public ITransactionEnlistmentAsync {
 public:
  Enlistment(ITransactionResourceAsync *r, uint32_t cookie) : resource_(r), cookie_(cookie) { r->AddRef(); }

  HRESULT QueryInterface(const Guid &iid, void **out) override {
    if (!out) return kE_INVALIDARG;
    *out = nullptr;
    if (!(iid == kIID_IUnknown)) return kE_NOINTERFACE;
    AddRef();
    *out = static_cast<IUnknown *>(this);
    return kS_OK;
  }
  uint32_t AddRef() override { return ++refs_; }
  uint32_t Release() override {
    uint32_t n = --refs_;
    if (n == 0) delete this;
    return n;
  }
  HRESULT PrepareRequestDone(HRESULT hr, void *, void *) override { return Answer(hr); }
  HRESULT CommitRequestDone(HRESULT hr) override { return Answer(hr); }
  HRESULT AbortRequestDone(HRESULT hr) override { return Answer(hr); }

  // Sends one request on the coordinator's thread and waits (bounded) for
  // the resource's answer: the Done callback's HRESULT, or the request's own
  // result when that fails without one (TMDown answers only by its result).
  HRESULT Ask(Coordinator *c, HRESULT (*send)(ITransactionResourceAsync *), bool doneExpected) {
    {
      std::lock_guard<std::mutex> g(mu_);
      answered_ = false;
    }
    AddRef();  // the request may outlive a wait that gave up
    auto hrOut = std::make_shared<std::atomic<HRESULT>>(kNoAnswer);
    ITransactionResourceAsync *r = resource_;
    bool ran = c->OnThread([r, send, hrOut] { hrOut->store(send(r)); });
    if (!ran) return kNoAnswer;  // keeps the reference: the request still runs
    Release();
    HRESULT result = hrOut->load();
    if (!doneExpected) return result;
    std::unique_lock<std::mutex> lk(mu_);
    if (!cv_.wait_for(lk, kBound, [&] { return answered_; })) return kNoAnswer;
    return answer_;
  }
  ITransactionResourceAsync *resource() const { return resource_; }
  uint32_t cookie() const { return cookie_; }
  // Lets the resource go.
  void Drop() {
    if (resource_) resource_->Release();
    resource_ = nullptr;
  }

 private:
  ~Enlistment() { Drop(); }
  HRESULT Answer(HRESULT hr) {
    std::lock_guard<std::mutex> g(mu_);
    answer_ = hr;
    answered_ = true;
    cv_.notify_all();
    return kS_OK;
  }
  ITransactionResourceAsync *resource_;
  uint32_t cookie_;
  std::atomic<uint32_t> refs_{1};
  std::mutex mu_;
  std::condition_variable cv_;
  bool answered_ = false;
  HRESULT answer_ = 0;
};

// ---- The transaction manager and its XA helper ----------------------------------------

struct Coordinator::HelperObject final : IDtcToXaHelperSinglePipe {
  Coordinator *c;
  explicit HelperObject(Coordinator *co) : c(co) {}
  HRESULT QueryInterface(const Guid &iid, void **out) override {
    if (!out) return kE_INVALIDARG;
    *out = nullptr;
    if (!(iid == kIID_IDtcToXaHelperSinglePipe) && !(iid == kIID_IUnknown)) return kE_NOINTERFACE;
    *out = static_cast<IDtcToXaHelperSinglePipe *>(this);
    return kS_OK;
  }
  // Lives as long as the coordinator.
  uint32_t AddRef() override { return 2; }
  uint32_t Release() override { return 1; }
  HRESULT XARMCreate(const char *openString, const char *driverFile, uint32_t *cookie) override {
    if (!openString || !driverFile || !cookie) return kE_INVALIDARG;
    if (HRESULT hr = c->Helper(HelperCall::XARMCreate)) return hr;
    *cookie = c->Register(openString, driverFile);
    return kS_OK;
  }
  HRESULT ConvertTridToXID(ITransaction *tx, uint32_t cookie, XID *out) override {
    if (!tx || !out) return kE_INVALIDARG;
    if (HRESULT hr = c->Helper(HelperCall::ConvertTridToXID)) return hr;
    *out = c->XidOf(static_cast<Transaction *>(tx)->gtrid(), cookie);
    return kS_OK;
  }
  HRESULT EnlistWithRM(uint32_t cookie, ITransaction *tx, ITransactionResourceAsync *resource,
                       ITransactionEnlistmentAsync **out) override {
    if (!tx || !resource || !out) return kE_INVALIDARG;
    *out = nullptr;
    if (HRESULT hr = c->Helper(HelperCall::EnlistWithRM)) return hr;
    auto *t = static_cast<Transaction *>(tx);
    auto *e = new Enlistment(resource, cookie);
    {
      std::lock_guard<std::mutex> g(t->mu_);
      t->enlisted_.push_back(e);
    }
    e->AddRef();
    *out = e;
    return kS_OK;
  }
  void ReleaseRMCookie(uint32_t cookie, int32_t) override { c->Unregister(cookie); }
};

struct Coordinator::TmObject final : IUnknown {
  Coordinator *c;
  explicit TmObject(Coordinator *co) : c(co) {}
  HRESULT QueryInterface(const Guid &iid, void **out) override {
    if (!out) return kE_INVALIDARG;
    *out = nullptr;
    if (HRESULT hr = c->Helper(HelperCall::Accessor)) return hr;
    if (iid == kIID_IUnknown) {
      *out = static_cast<IUnknown *>(this);
      return kS_OK;
    }
    return c->helper_->QueryInterface(iid, out);
  }
  uint32_t AddRef() override { return 2; }
  uint32_t Release() override { return 1; }
};

// ---- Coordinator ------------------------------------------------------------------------

Coordinator::Coordinator()
    : tm_(std::make_unique<TmObject>(this)), helper_(std::make_unique<HelperObject>(this)) {
  thread_ = std::thread([this] { Run(); });
  TxcSetTransactionManager(tm_.get());
}

Coordinator::~Coordinator() {
  TxcSetTransactionManager(nullptr);
  {
    std::lock_guard<std::mutex> g(mu_);
    stop_ = true;
    cv_.notify_all();
  }
  thread_.join();
  for (Enlistment *e : lost_) e->Release();
}

void Coordinator::Run() {
  for (;;) {
    std::shared_ptr<std::function<void()>> fn;
    {
      std::unique_lock<std::mutex> lk(mu_);
      cv_.wait(lk, [&] { return stop_ || !queue_.empty(); });
      if (queue_.empty()) return;
      fn = queue_.front();
    }
    (*fn)();
    std::lock_guard<std::mutex> g(mu_);
    queue_.pop_front();
    cv_.notify_all();
  }
}

bool Coordinator::OnThread(const std::function<void()> &fn) {
  auto task = std::make_shared<std::function<void()>>(fn);
  std::unique_lock<std::mutex> lk(mu_);
  queue_.push_back(task);
  cv_.notify_all();
  return cv_.wait_for(lk, kBound, [&] {
    for (auto &q : queue_)
      if (q == task) return false;
    return true;
  });
}

HRESULT Coordinator::Helper(HelperCall call) {
  std::lock_guard<std::mutex> g(mu_);
  if (failCall_ != call) return kS_OK;
  failCall_ = HelperCall::None;
  return failHr_;
}

void Coordinator::FailNext(HelperCall call, HRESULT hr) {
  std::lock_guard<std::mutex> g(mu_);
  failCall_ = call;
  failHr_ = hr;
}

uint32_t Coordinator::Register(const char *openString, const char *driverFile) {
  std::lock_guard<std::mutex> g(mu_);
  RegisteredRm rm{openString, driverFile, nextCookie_++};
  rms_.push_back(rm);
  return rm.cookie;
}

void Coordinator::Unregister(uint32_t cookie) {
  std::lock_guard<std::mutex> g(mu_);
  for (auto &rm : rms_)
    if (rm.cookie == cookie) rm.cookie = 0;  // kept for recovery, no longer live
}

std::vector<RegisteredRm> Coordinator::Registered() {
  std::lock_guard<std::mutex> g(mu_);
  return rms_;
}

Transaction *Coordinator::Begin() {
  std::lock_guard<std::mutex> g(mu_);
  return new Transaction(this, "txc-" + std::to_string(reinterpret_cast<uintptr_t>(this) & 0xFFFFFF) + "-" +
                                   std::to_string(nextTx_++));
}

XID Coordinator::XidOf(const std::string &gtrid, uint32_t cookie) const {
  XID x{};
  x.formatID = kFormatId;
  std::string bqual = "rm" + std::to_string(cookie);
  x.gtrid_length = static_cast<long>(gtrid.size());
  x.bqual_length = static_cast<long>(bqual.size());
  std::memcpy(x.data, gtrid.data(), gtrid.size());
  std::memcpy(x.data + gtrid.size(), bqual.data(), bqual.size());
  return x;
}

void Coordinator::Lose(Transaction *tx, std::vector<Enlistment *> list, bool commitDecided) {
  std::lock_guard<std::mutex> g(mu_);
  (commitDecided ? decidedCommit_ : decidedAbort_).push_back(tx->gtrid());
  for (Enlistment *e : list) lost_.push_back(e);
}

std::vector<HRESULT> Coordinator::NotifyDown() {
  std::vector<Enlistment *> lost;
  {
    std::lock_guard<std::mutex> g(mu_);
    lost.swap(lost_);
  }
  std::vector<HRESULT> out;
  for (Enlistment *e : lost) {
    out.push_back(e->Ask(this, SendDown, false));
    e->Drop();
    e->Release();
  }
  return out;
}

Recovery Coordinator::Recover(const RegisteredRm &rm, int rmid) {
  Recovery out;
  void *lib = dlopen(rm.driverFile.c_str(), RTLD_NOW | RTLD_LOCAL);
  if (!lib) {
    out.error = std::string("dlopen: ") + dlerror();
    return out;
  }
  using GetSwitch = HRESULT (*)(uint32_t, xa_switch_t **);
  auto get = reinterpret_cast<GetSwitch>(dlsym(lib, "GetXaSwitch"));
  xa_switch_t *sw = nullptr;
  if (!get || get(0, &sw) != kS_OK || !sw) {
    out.error = "GetXaSwitch failed";
    dlclose(lib);
    return out;
  }
  std::string open = rm.openString;
  out.opened = sw->xa_open_entry(open.data(), rmid, TMNOFLAGS);
  if (out.opened == XA_OK) {
    XID found[16];
    int n = sw->xa_recover_entry(found, 16, rmid, TMSTARTRSCAN | TMENDRSCAN);
    std::vector<std::string> commit, abort;
    {
      std::lock_guard<std::mutex> g(mu_);
      commit = decidedCommit_;
      abort = decidedAbort_;
    }
    for (int i = 0; i < n; ++i) {
      XID &x = found[i];
      if (x.formatID != kFormatId) continue;  // not this coordinator's
      out.found.push_back(x);
      std::string gtrid(x.data, static_cast<size_t>(x.gtrid_length));
      bool doCommit = false;
      for (auto &g : commit) doCommit = doCommit || g == gtrid;
      out.ended.push_back(doCommit ? sw->xa_commit_entry(&x, rmid, TMNOFLAGS)
                                   : sw->xa_rollback_entry(&x, rmid, TMNOFLAGS));
    }
    out.closed = sw->xa_close_entry(open.data(), rmid, TMNOFLAGS);
  }
  dlclose(lib);
  return out;
}

// ---- Transaction ----------------------------------------------------------------------------

Transaction::~Transaction() {
  for (Enlistment *e : enlisted_) e->Release();
}

HRESULT Transaction::QueryInterface(const Guid &iid, void **out) {
  if (!out) return kE_INVALIDARG;
  *out = nullptr;
  if (!(iid == kIID_IUnknown)) return kE_NOINTERFACE;
  AddRef();
  *out = static_cast<IUnknown *>(this);
  return kS_OK;
}
uint32_t Transaction::AddRef() { return ++refs_; }
uint32_t Transaction::Release() {
  uint32_t n = --refs_;
  if (n == 0) delete this;
  return n;
}

size_t Transaction::Enlisted() {
  std::lock_guard<std::mutex> g(mu_);
  return enlisted_.size();
}

Outcome Transaction::EndEach(bool commit, const std::vector<size_t> &which) {
  Outcome o;
  std::vector<Enlistment *> list;
  {
    std::lock_guard<std::mutex> g(mu_);
    list = enlisted_;
  }
  std::vector<size_t> failed;
  for (size_t i : which) {
    HRESULT hr = list[i]->Ask(coord_, commit ? SendCommit : SendAbort, true);
    o.ended.push_back(hr);
    if (commit && hr < 0)
      failed.push_back(i);  // kept for CommitAgain
    else
      list[i]->Drop();  // the outcome is delivered: the resource is let go
  }
  std::lock_guard<std::mutex> g(mu_);
  failedCommits_ = failed;
  o.committed = commit && failed.empty();
  return o;
}

Outcome Transaction::Commit(AfterPrepare after, bool singlePhase) {
  std::vector<Enlistment *> list;
  {
    std::lock_guard<std::mutex> g(mu_);
    list = enlisted_;
  }
  Outcome o;
  std::vector<size_t> toEnd;  // the resources still in the transaction
  bool refused = false;
  for (size_t i = 0; i < list.size(); ++i) {
    HRESULT hr = list[i]->Ask(coord_, singlePhase ? SendPrepareSinglePhase : SendPrepare, true);
    o.prepared.push_back(hr);
    if (hr == kXACT_S_READONLY) {
      list[i]->Drop();  // done with this one
      continue;
    }
    if (hr < 0) {
      refused = true;
      list[i]->Drop();
    } else {
      toEnd.push_back(i);
    }
  }
  if (refused) {
    Outcome a = EndEach(false, toEnd);
    o.ended = a.ended;
    return o;
  }
  switch (after) {
    case AfterPrepare::Commit:
      break;
    case AfterPrepare::Pause: {
      std::unique_lock<std::mutex> lk(mu_);
      paused_ = true;
      cv_.notify_all();
      cv_.wait_for(lk, kBound, [&] { return resumed_; });
      break;
    }
    case AfterPrepare::Lose: {
      std::vector<Enlistment *> lost;
      for (size_t i : toEnd) {
        list[i]->AddRef();
        lost.push_back(list[i]);
      }
      coord_->Lose(this, lost, true);
      return o;
    }
    case AfterPrepare::Down:
      for (size_t i : toEnd) {
        o.ended.push_back(list[i]->Ask(coord_, SendDown, false));
        list[i]->Drop();
      }
      return o;
  }
  Outcome c = EndEach(true, toEnd);
  o.ended = c.ended;
  o.committed = c.committed;
  return o;
}

Outcome Transaction::CommitAgain() {
  std::vector<size_t> which;
  {
    std::lock_guard<std::mutex> g(mu_);
    which = failedCommits_;
  }
  return EndEach(true, which);
}

Outcome Transaction::Abort() {
  std::vector<size_t> all;
  for (size_t i = 0; i < Enlisted(); ++i) all.push_back(i);
  return EndEach(false, all);
}

bool Transaction::WaitPaused() {
  std::unique_lock<std::mutex> lk(mu_);
  return cv_.wait_for(lk, kBound, [&] { return paused_; });
}

void Transaction::Resume() {
  std::lock_guard<std::mutex> g(mu_);
  resumed_ = true;
  cv_.notify_all();
}

}  // namespace txc
