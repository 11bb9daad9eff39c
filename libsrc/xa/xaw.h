#pragma once
// The XA worker layer: the topmost layer of the operation stack. For an
// agent connection opened for XA with a threaded worker, the connection's
// XA calls and, while a global transaction owns it, its statement calls run
// one at a time on a thread of the connection's own; everything else passes
// straight down on the caller's thread.
#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <mutex>
#include <thread>

#include "odbc/drvops.h"

struct DrvObject;

// One posted call: its run function and its request.
struct WorkerTask {
  void (*run)(void *request);
  void *request;
};

class WorkerThread;

// The one-slot hand-off between the callers and the worker thread. A sender
// holds the slot from posting until its task has run, so one request of a
// connection is in flight at a time. When the worker ends, every waiting
// sender wakes: one whose task was not taken fails, one whose task was taken
// returns once it has run.
class TaskChannel {
 public:
  // Caller side: 1 once the task has run, 0 when the worker ended first.
  int Send(WorkerTask *task);
  // Worker side: 1 with the next task, 0 once stopping.
  int Receive(WorkerTask **out);
  void Complete(WorkerTask *task);
  // No more tasks are taken; waiting senders of untaken tasks fail.
  void Stop();
  // Waits until no sender holds the slot.
  void WaitIdle();

 private:
  std::mutex mu_;
  std::condition_variable cv_;
  WorkerTask *current_ = nullptr;
  bool held_ = false;     // a sender holds the slot
  bool ready_ = false;    // the held slot's task waits to be taken
  bool done_ = false;     // it has run
  bool stopped_ = false;  // the worker takes nothing more
};

class WorkerThread {
 public:
  // Starts the thread; false when it could not be started (every post then
  // fails at once).
  bool Start();
  // Ends the thread once its current task (if any) has run, and waits for it.
  void Stop();
  // From a task on the worker itself: the thread ends once that task has run
  // and its sender has gone, and frees this object then; the caller must
  // not touch it afterwards.
  void StopFromWorker();
  // 1 when the request has run on the worker, 0 when the hand-off failed.
  int Post(void (*run)(void *), void *request);
  int32_t TerminateMode() const { return terminate_.load(); }
  void SetTerminateMode(int32_t mode) { terminate_.store(mode); }
  bool OnWorker() const { return std::this_thread::get_id() == id_; }

 private:
  void Run();
  std::thread thread_;
  std::thread::id id_;
  TaskChannel channel_;
  // Kept for the agent's option, which asked for the thread to be killed;
  // the thread is always stopped cooperatively.
  std::atomic<int32_t> terminate_{0};
  bool selfDelete_ = false;  // only the worker reads and writes it
};

// The worker of one agent connection opened for XA.
struct XaWorker {
  std::atomic<int32_t> threaded{0};
  std::atomic<int32_t> inGlobalTxn{0};
  std::atomic<int32_t> keep{1};
  WorkerThread *thread = nullptr;
  std::atomic<int32_t> switchFlags{0};

  void Init(int32_t threadedFlag);
  void StopThread();
  int Post(void (*run)(void *), void *request) { return thread ? thread->Post(run, request) : 0; }
  int32_t IsThreaded() const { return threaded.load(); }
  int32_t KeepThread() const { return keep.load(); }
  void SetKeepThread(int32_t v) { keep.store(v); }
  int32_t InGlobalTxn() const { return inGlobalTxn.load(); }
  void SetInGlobalTxn(int32_t v) { inGlobalTxn.store(v ? 1 : 0); }
  void SetSwitchFlags(int32_t v) { switchFlags.store(v); }
  int32_t TerminateMode() const { return thread ? thread->TerminateMode() : 0; }
  void SetTerminateMode(int32_t v) {
    if (thread) thread->SetTerminateMode(v);
  }
};

// Where the agent keeps a connection's worker pointer: by connection handle
// and by cursor handle (the cursor's connection); null for a handle the
// agent does not know. The agent hands them over before installation.
using XawWorkerSlot = XaWorker **(*)(DrvHandle h);
void xaw_SetAgentLookups(XawWorkerSlot byConn, XawWorkerSlot byCursor);

// Installs the worker layer's proxies above the table the object points to.
// 0, or 43 for an object whose flags are 0.
int32_t xaw_Init(DrvObject *obj);
// Called when the last agent server reference goes; does nothing.
void xaw_Term();
// The worker's flag; 0 without a worker.
int32_t xaw_InGlobalTxn(const XaWorker *worker);
// Stores 1 for a non-zero flag, else 0; 21 without a worker.
int32_t xaw_SetInGlobalTxn(XaWorker *worker, int32_t flag);
// Stores the XA switch's flags word; 21 without a worker.
int32_t xaw_SetSwitchFlags(XaWorker *worker, int32_t flags);
