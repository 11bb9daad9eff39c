// The XA worker layer: the worker thread and its hand-off, the connection's
// worker, and the proxies that replace 22 slots of the operation table.
#include "xa/xaw.h"

#include <mutex>

#include "odbc/drvops.h"
#include "odbc/sqlstate.h"

namespace {

constexpr int32_t kXaerRmerr = -3;
constexpr int32_t kXaerInval = -5;

// ---- Hand-off ------------------------------------------------------------------

}  // namespace

int TaskChannel::Send(WorkerTask *task) {
  std::unique_lock<std::mutex> l(mu_);
  cv_.wait(l, [&] { return !held_ || stopped_; });
  if (stopped_) return 0;
  held_ = true;
  current_ = task;
  ready_ = true;
  done_ = false;
  cv_.notify_all();
  // A task that was taken always runs to its end before the worker looks at
  // the stop again, so only an untaken one can be left behind.
  cv_.wait(l, [&] { return done_ || (stopped_ && ready_); });
  const int ok = done_ ? 1 : 0;
  held_ = false;
  ready_ = false;
  done_ = false;
  current_ = nullptr;
  cv_.notify_all();
  return ok;
}

int TaskChannel::Receive(WorkerTask **out) {
  std::unique_lock<std::mutex> l(mu_);
  cv_.wait(l, [&] { return ready_ || stopped_; });
  if (stopped_) return 0;  // a stop wins over a waiting task
  *out = current_;
  ready_ = false;
  return 1;
}

void TaskChannel::Complete(WorkerTask *) {
  std::lock_guard<std::mutex> l(mu_);
  done_ = true;
  cv_.notify_all();
}

void TaskChannel::Stop() {
  std::lock_guard<std::mutex> l(mu_);
  stopped_ = true;
  cv_.notify_all();
}

void TaskChannel::WaitIdle() {
  std::unique_lock<std::mutex> l(mu_);
  cv_.wait(l, [&] { return !held_; });
}

bool WorkerThread::Start() {
  try {
    thread_ = std::thread([this] { Run(); });
  } catch (...) {
    channel_.Stop();
    return false;
  }
  id_ = thread_.get_id();
  return true;
}

void WorkerThread::Run() {
  WorkerTask *task = nullptr;
  while (channel_.Receive(&task)) {
    task->run(task->request);
    channel_.Complete(task);
  }
  if (selfDelete_) {
    // Stopped by its own task: the sender of that task may still be on its
    // way out of the channel.
    channel_.WaitIdle();
    delete this;
  }
}

void WorkerThread::StopFromWorker() {
  channel_.Stop();
  selfDelete_ = true;
  if (thread_.joinable()) thread_.detach();
}

void WorkerThread::Stop() {
  channel_.Stop();
  if (thread_.joinable()) {
    if (OnWorker())
      thread_.detach();  // a task ending its own worker: it ends when the task returns
    else
      thread_.join();
  }
}

int WorkerThread::Post(void (*run)(void *), void *request) {
  WorkerTask task{run, request};
  return channel_.Send(&task);
}

// ---- The connection's worker ----------------------------------------------------

void XaWorker::Init(int32_t threadedFlag) {
  threaded.store(threadedFlag ? 1 : 0);
  inGlobalTxn.store(0);
  keep.store(1);
  thread = nullptr;
  switchFlags.store(0);
  if (threadedFlag) {
    thread = new WorkerThread;
    thread->Start();
  }
}

void XaWorker::StopThread() {
  if (!thread) return;
  if (thread->OnWorker()) {
    thread->StopFromWorker();  // it frees itself once the current task is done
  } else {
    thread->Stop();
    delete thread;
  }
  thread = nullptr;
}

// ---- Installation -----------------------------------------------------------------

namespace {

DrvOps g_workerTable;
DrvObject g_lower;  // the object as it was below this layer
std::once_flag g_installOnce;
std::atomic<XawWorkerSlot> g_byConn{nullptr};
std::atomic<XawWorkerSlot> g_byCursor{nullptr};

// Runs a call on the worker's thread and hands back its result; failCode
// when the hand-off failed (nothing ran then).
template <class F>
int32_t PostCall(XaWorker *w, F &&call, int32_t failCode) {
  int32_t result = 0;
  auto job = [&] { result = call(); };
  using Job = decltype(job);
  if (!w->Post([](void *p) { (*static_cast<Job *>(p))(); }, &job)) return failCode;
  return result;
}

XaWorker **Slot(DrvHandle h, bool byCursor) {
  XawWorkerSlot f = (byCursor ? g_byCursor : g_byConn).load();
  return f ? f(h) : nullptr;
}

// Statement-side proxies: the call goes to the worker only while a global
// transaction owns a connection whose worker is threaded.
template <auto Member, bool ByCursor, class... A>
int32_t OdbcProxy(DrvHandle h, A... a) {
  auto lower = g_lower.table->*Member;
  XawWorkerSlot lookup = (ByCursor ? g_byCursor : g_byConn).load();
  if (!lookup) return lower(h, a...);  // an agent that keeps no workers
  XaWorker **slot = lookup(h);
  // An unknown handle goes down too: the layer below answers 21 and clears
  // the call's out-values as it always does.
  if (!slot) return lower(h, a...);
  XaWorker *w = *slot;
  if (!w || !w->InGlobalTxn() || !w->IsThreaded() || w->thread->OnWorker()) return lower(h, a...);
  return PostCall(w, [&] { return lower(h, a...); }, E_IM933);
}

template <auto Member, bool ByCursor, class... A>
constexpr auto MakeOdbc(int32_t (*)(DrvHandle, A...)) {
  return &OdbcProxy<Member, ByCursor, A...>;
}

// XA-side proxies: a connection without a worker is no resource manager.
template <auto Member, class... A>
int32_t XaProxy(DrvHandle h, A... a) {
  auto lower = g_lower.table->*Member;
  XaWorker **slot = Slot(h, false);
  if (!slot || !*slot) return kXaerInval;
  XaWorker *w = *slot;
  if (!w->IsThreaded() || w->thread->OnWorker()) return lower(h, a...);
  return PostCall(w, [&] { return lower(h, a...); }, kXaerRmerr);
}

template <auto Member, class... A>
constexpr auto MakeXa(int32_t (*)(DrvHandle, A...)) {
  return &XaProxy<Member, A...>;
}

int32_t ReadOption(DrvHandle h, uint32_t item) {
  int32_t value = 0;
  int16_t len = 0;
  if (g_lower.table->DRV_GetInfo(h, item, &value, sizeof value, &len) != 0) return 0;
  return value ? 1 : 0;
}

int32_t xaw_XaOpen(DrvHandle h, int32_t threaded, const char *info, int32_t rmid, int32_t flags) {
  XaWorker **slot = Slot(h, false);
  if (!slot) return kXaerInval;
  bool existed = false;
  int32_t keep = 0, terminate = 0;
  if (XaWorker *old = *slot) {
    existed = true;
    keep = old->KeepThread();
    terminate = old->TerminateMode();
    if (!keep) {
      old->StopThread();
      delete old;
      *slot = nullptr;
    }
  }
  if (!*slot) {
    auto *w = new XaWorker;
    w->Init(threaded);
    if (!existed) {
      keep = ReadOption(h, INFO_XA_KEEP_WORKER);
      terminate = ReadOption(h, INFO_XA_KILL_WORKER);
    }
    w->SetKeepThread(keep);
    w->SetTerminateMode(terminate);
    *slot = w;
  }
  XaWorker *w = *slot;
  auto lower = g_lower.table->DRV_XaOpen;
  if (!w->IsThreaded() || w->thread->OnWorker()) return lower(h, threaded, info, rmid, flags);
  return PostCall(w, [&] { return lower(h, threaded, info, rmid, flags); }, kXaerRmerr);
}

int32_t xaw_Disconnect(DrvHandle h) {
  XaWorker **slot = Slot(h, false);
  if (!slot) return g_lower.table->DRV_Disconnect(h);
  // The slot lives in the connection record the disconnect frees: take the
  // worker out first, and put it back only where the record still exists.
  XaWorker *w = *slot;
  *slot = nullptr;
  int32_t rc = g_lower.table->DRV_Disconnect(h);
  if (!w) return rc;
  if (rc != 0) {
    if (XaWorker **still = Slot(h, false)) {
      *still = w;
      return rc;
    }
  }
  w->StopThread();
  delete w;
  return rc;
}

void InstallTable(const DrvObject &below) {
  g_lower = below;
  DrvOps t = *below.table;
  t.DRV_Disconnect = xaw_Disconnect;
  t.DRV_AllocCursor = MakeOdbc<&DrvOps::DRV_AllocCursor, false>(t.DRV_AllocCursor);
  t.DRV_FreeCursor = MakeOdbc<&DrvOps::DRV_FreeCursor, true>(t.DRV_FreeCursor);
  t.DRV_Prepare = MakeOdbc<&DrvOps::DRV_Prepare, true>(t.DRV_Prepare);
  t.DRV_Execute = MakeOdbc<&DrvOps::DRV_Execute, true>(t.DRV_Execute);
  t.DRV_Fetch = MakeOdbc<&DrvOps::DRV_Fetch, true>(t.DRV_Fetch);
  t.DRV_CloseCursor = MakeOdbc<&DrvOps::DRV_CloseCursor, true>(t.DRV_CloseCursor);
  t.DRV_MoreResults = MakeOdbc<&DrvOps::DRV_MoreResults, true>(t.DRV_MoreResults);
  t.DRV_ParamData = MakeOdbc<&DrvOps::DRV_ParamData, true>(t.DRV_ParamData);
  t.DRV_PutData = MakeOdbc<&DrvOps::DRV_PutData, true>(t.DRV_PutData);
  t.DRV_ExecDirect = MakeOdbc<&DrvOps::DRV_ExecDirect, true>(t.DRV_ExecDirect);
  t.DRV_ExecDirect2 = MakeOdbc<&DrvOps::DRV_ExecDirect2, true>(t.DRV_ExecDirect2);
  t.DRV_XaClose = MakeXa<&DrvOps::DRV_XaClose>(t.DRV_XaClose);
  t.DRV_XaCommit = MakeXa<&DrvOps::DRV_XaCommit>(t.DRV_XaCommit);
  t.DRV_XaComplete = MakeXa<&DrvOps::DRV_XaComplete>(t.DRV_XaComplete);
  t.DRV_XaEnd = MakeXa<&DrvOps::DRV_XaEnd>(t.DRV_XaEnd);
  t.DRV_XaForget = MakeXa<&DrvOps::DRV_XaForget>(t.DRV_XaForget);
  t.DRV_XaOpen = xaw_XaOpen;
  t.DRV_XaPrepare = MakeXa<&DrvOps::DRV_XaPrepare>(t.DRV_XaPrepare);
  t.DRV_XaRecover = MakeXa<&DrvOps::DRV_XaRecover>(t.DRV_XaRecover);
  t.DRV_XaRollback = MakeXa<&DrvOps::DRV_XaRollback>(t.DRV_XaRollback);
  t.DRV_XaStart = MakeXa<&DrvOps::DRV_XaStart>(t.DRV_XaStart);
  g_workerTable = t;
}

}  // namespace

void xaw_SetAgentLookups(XawWorkerSlot byConn, XawWorkerSlot byCursor) {
  g_byConn.store(byConn);
  g_byCursor.store(byCursor);
}

// Every registration builds the same stack below, so the table is made once,
// from the first object, and never rewritten while other threads call
// through it.
int32_t xaw_Init(DrvObject *obj) {
  if (!obj || obj->flags == 0) return E_S1C00;
  std::call_once(g_installOnce, [&] { InstallTable(*obj); });
  obj->table = &g_workerTable;
  return 0;
}

void xaw_Term() {}

int32_t xaw_InGlobalTxn(const XaWorker *worker) { return worker ? worker->InGlobalTxn() : 0; }

int32_t xaw_SetInGlobalTxn(XaWorker *worker, int32_t flag) {
  if (!worker) return E_S1009;
  worker->SetInGlobalTxn(flag);
  return 0;
}

int32_t xaw_SetSwitchFlags(XaWorker *worker, int32_t flags) {
  if (!worker) return E_S1009;
  worker->SetSwitchFlags(flags);
  return 0;
}
