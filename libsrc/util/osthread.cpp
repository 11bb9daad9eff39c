#include "util/osthread.h"

#include <atomic>
#include <cassert>
#include <cstdlib>
#include <cstring>
#include <new>

// All events and semaphores share one state lock. Waiters register a link on
// every object they wait for; setting or releasing an object wakes exactly the
// waiters linked to it. One process-wide lock keeps multi-object waits atomic
// (a wait-all consumes all of its objects in one step) without lock ordering
// between objects; the only users are the distributed-transaction worker
// threads, so contention is not a concern.
namespace {

pthread_mutex_t g_syncMutex = PTHREAD_MUTEX_INITIALIZER;

struct Waiter;

struct WaitLink {
  Waiter *waiter;
  WaitLink *next;
  WaitLink *prev;
};

struct Waiter {
  pthread_cond_t cond;
};

enum SyncKind : int { SYNC_EVENT = 1, SYNC_SEMAPHORE = 2 };

}  // namespace

struct OsSyncObject {
  SyncKind kind;
  int32_t count;    // event: 1 signalled, 0 not; semaphore: current count
  int32_t maximum;  // semaphore only
  WaitLink *waiters;
};

namespace {

void Link(OsSyncObject *obj, WaitLink *link) {
  link->prev = nullptr;
  link->next = obj->waiters;
  if (obj->waiters != nullptr) obj->waiters->prev = link;
  obj->waiters = link;
}

void Unlink(OsSyncObject *obj, WaitLink *link) {
  if (link->prev != nullptr)
    link->prev->next = link->next;
  else
    obj->waiters = link->next;
  if (link->next != nullptr) link->next->prev = link->prev;
  link->next = link->prev = nullptr;
}

void WakeWaiters(OsSyncObject *obj) {
  for (WaitLink *l = obj->waiters; l != nullptr; l = l->next) pthread_cond_signal(&l->waiter->cond);
}

// Under g_syncMutex: consume what the wait asks for when it is available.
int32_t TryConsume(OsSyncObject *const *objs, uint32_t n, bool waitAll) {
  if (waitAll) {
    // A handle listed twice needs two counts.
    for (uint32_t i = 0; i < n; ++i) {
      uint32_t uses = 0;
      for (uint32_t j = 0; j < n; ++j) uses += objs[j] == objs[i];
      if (static_cast<int64_t>(objs[i]->count) < uses) return OS_WAIT_FAILED;
    }
    for (uint32_t i = 0; i < n; ++i) --objs[i]->count;
    return OS_WAIT_OBJECT_0;
  }
  for (uint32_t i = 0; i < n; ++i) {
    if (objs[i]->count > 0) {
      --objs[i]->count;
      return OS_WAIT_OBJECT_0 + static_cast<int32_t>(i);
    }
  }
  return OS_WAIT_FAILED;
}

// Releases the state lock and the waiter's links on every way out of a wait,
// including a thread being cancelled inside pthread_cond_wait.
struct WaitScope {
  OsSyncObject *const *objs;
  uint32_t n;
  WaitLink *links;
  bool linked = false;
  Waiter waiter;

  WaitScope(OsSyncObject *const *o, uint32_t count, WaitLink *l) : objs(o), n(count), links(l) {
    pthread_cond_init(&waiter.cond, nullptr);
    pthread_mutex_lock(&g_syncMutex);
  }
  ~WaitScope() {
    if (linked)
      for (uint32_t i = 0; i < n; ++i) Unlink(objs[i], &links[i]);
    pthread_mutex_unlock(&g_syncMutex);
    pthread_cond_destroy(&waiter.cond);
  }
  void LinkAll() {
    for (uint32_t i = 0; i < n; ++i) {
      links[i].waiter = &waiter;
      Link(objs[i], &links[i]);
    }
    linked = true;
  }
};

int32_t WaitObjects(OsSyncObject *const *objs, uint32_t n, bool waitAll) {
  if (n == 0) return OS_WAIT_FAILED;
  for (uint32_t i = 0; i < n; ++i)
    if (objs[i] == nullptr) return OS_WAIT_FAILED;
  WaitLink links[OS_MAXIMUM_WAIT_OBJECTS];
  WaitScope scope(objs, n, links);
  for (;;) {
    int32_t r = TryConsume(objs, n, waitAll);
    if (r != OS_WAIT_FAILED) return r;
    if (!scope.linked) scope.LinkAll();
    pthread_cond_wait(&scope.waiter.cond, &g_syncMutex);
  }
}

OsSyncObject *NewSync(SyncKind kind, int32_t count, int32_t maximum) {
  auto *obj = static_cast<OsSyncObject *>(calloc(1, sizeof(OsSyncObject)));
  if (obj == nullptr) return nullptr;
  obj->kind = kind;
  obj->count = count;
  obj->maximum = maximum;
  return obj;
}

bool CloseSync(OsSyncObject *&handle) {
  if (handle == nullptr) return false;
  pthread_mutex_lock(&g_syncMutex);
  assert(handle->waiters == nullptr && "closing an object that a thread waits on");
  pthread_mutex_unlock(&g_syncMutex);
  free(handle);
  handle = nullptr;
  return true;
}

}  // namespace

// ---- events ----

OsSyncObject *OsEvent::Create(bool initialState) {
  handle = NewSync(SYNC_EVENT, initialState ? 1 : 0, 1);
  return handle;
}

bool OsEvent::Set() {
  if (handle == nullptr) return false;
  pthread_mutex_lock(&g_syncMutex);
  handle->count = 1;
  WakeWaiters(handle);
  pthread_mutex_unlock(&g_syncMutex);
  return true;
}

bool OsEvent::Wait() { return handle != nullptr && WaitObjects(&handle, 1, false) == OS_WAIT_OBJECT_0; }

bool OsEvent::Close() { return CloseSync(handle); }

// ---- semaphores ----

OsSyncObject *OsSemaphore::Create(int32_t initialCount, int32_t maximumCount) {
  handle = nullptr;
  if (maximumCount < 1 || initialCount < 0 || initialCount > maximumCount) return nullptr;
  handle = NewSync(SYNC_SEMAPHORE, initialCount, maximumCount);
  return handle;
}

bool OsSemaphore::Release() {
  if (handle == nullptr) return false;
  pthread_mutex_lock(&g_syncMutex);
  bool ok = handle->count < handle->maximum;
  if (ok) {
    ++handle->count;
    WakeWaiters(handle);
  }
  pthread_mutex_unlock(&g_syncMutex);
  return ok;
}

bool OsSemaphore::Wait() { return handle != nullptr && WaitObjects(&handle, 1, false) == OS_WAIT_OBJECT_0; }

bool OsSemaphore::Close() { return CloseSync(handle); }

// ---- wait sets ----

bool OsWaitSet::AddEvent(const OsEvent &event) {
  if (count >= OS_MAXIMUM_WAIT_OBJECTS || event.handle == nullptr) return false;
  handles[count++] = event.handle;
  return true;
}

bool OsWaitSet::AddSemaphore(const OsSemaphore &semaphore) {
  if (count >= OS_MAXIMUM_WAIT_OBJECTS || semaphore.handle == nullptr) return false;
  handles[count++] = semaphore.handle;
  return true;
}

int32_t OsWaitSet::WaitAny(bool waitAll) {
  if (count == 0) return OS_WAIT_FAILED;
  return WaitObjects(handles, count, waitAll);
}

// ---- critical sections ----

void OsCritSec::Init() {
  pthread_mutexattr_t attr;
  pthread_mutexattr_init(&attr);
  pthread_mutexattr_settype(&attr, PTHREAD_MUTEX_RECURSIVE);
  pthread_mutex_init(&mutex, &attr);
  pthread_mutexattr_destroy(&attr);
}

void OsCritSec::Delete() {
  pthread_mutex_destroy(&mutex);
  memset(&mutex, 0, sizeof mutex);
}

void OsCritSec::Enter() { pthread_mutex_lock(&mutex); }

void OsCritSec::Leave() { pthread_mutex_unlock(&mutex); }

// ---- threads ----

// Shared by the OsThread record and the running thread; the last of the two
// to let go frees it. Threads run detached: Join waits on 'done', so a thread
// can be joined any number of times, and Close never blocks.
struct OsThreadState {
  pthread_t thread;
  pthread_mutex_t mutex;
  pthread_cond_t ended;
  OsThreadStart *record;
  bool done;
  bool terminated;
  uint32_t exitCode;
  std::atomic<int> refs;
};

namespace {

std::atomic<uint32_t> g_nextThreadId{1};

void ReleaseState(OsThreadState *st) {
  if (st->refs.fetch_sub(1, std::memory_order_acq_rel) == 1) {
    pthread_cond_destroy(&st->ended);
    pthread_mutex_destroy(&st->mutex);
    delete st;
  }
}

// Marks the thread ended on every way out of it: return or cancellation.
struct ThreadEnd {
  OsThreadState *st;
  bool returned = false;
  uint32_t result = 0;
  ~ThreadEnd() {
    pthread_mutex_lock(&st->mutex);
    st->done = true;
    if (returned && !st->terminated) st->exitCode = result;
    pthread_cond_broadcast(&st->ended);
    pthread_mutex_unlock(&st->mutex);
    ReleaseState(st);
  }
};

void *ThreadMain(void *arg) {
  auto *st = static_cast<OsThreadState *>(arg);
  ThreadEnd end{st};
  end.result = OsThread_Trampoline(st->record);
  end.returned = true;
  return nullptr;
}

}  // namespace

uint32_t OsThread_Trampoline(OsThreadStart *record) { return record->function(record->argument); }

OsThread &OsThread::Start(OsThreadStart *record) {
  start = record;
  handle = nullptr;
  threadId = 0;
  auto *st = new (std::nothrow) OsThreadState();
  if (st == nullptr) return *this;
  pthread_mutex_init(&st->mutex, nullptr);
  pthread_cond_init(&st->ended, nullptr);
  st->record = record;
  st->exitCode = OS_STILL_ACTIVE;
  st->refs.store(2);
  pthread_attr_t attr;
  pthread_attr_init(&attr);
  pthread_attr_setdetachstate(&attr, PTHREAD_CREATE_DETACHED);
  // Holding st->mutex keeps Terminate from using st->thread before it is set.
  pthread_mutex_lock(&st->mutex);
  int rc = pthread_create(&st->thread, &attr, ThreadMain, st);
  pthread_mutex_unlock(&st->mutex);
  pthread_attr_destroy(&attr);
  if (rc != 0) {
    st->refs.store(1);
    ReleaseState(st);
    return *this;
  }
  handle = st;
  threadId = g_nextThreadId.fetch_add(1);
  return *this;
}

bool OsThread::Join() {
  if (handle == nullptr) return false;
  pthread_mutex_lock(&handle->mutex);
  while (!handle->done) pthread_cond_wait(&handle->ended, &handle->mutex);
  pthread_mutex_unlock(&handle->mutex);
  return true;
}

bool OsThread::Terminate(uint32_t exitCode) {
  if (handle == nullptr) return false;
  pthread_mutex_lock(&handle->mutex);
  bool ok = true;
  // A detached thread that has ended may no longer be named to pthread_cancel.
  if (!handle->done && !handle->terminated) {
    handle->terminated = true;
    handle->exitCode = exitCode;
    ok = pthread_cancel(handle->thread) == 0;
  }
  pthread_mutex_unlock(&handle->mutex);
  return ok;
}

bool OsThread::ExitCode(uint32_t *code) {
  if (handle == nullptr) return false;
  pthread_mutex_lock(&handle->mutex);
  *code = handle->done ? handle->exitCode : OS_STILL_ACTIVE;
  pthread_mutex_unlock(&handle->mutex);
  return true;
}

// Judged by whether the function has returned, not by the exit code, so a
// thread whose function returns 259 is not taken for a running one.
bool OsThread::IsAlive() {
  if (handle == nullptr) return false;
  pthread_mutex_lock(&handle->mutex);
  bool alive = !handle->done;
  pthread_mutex_unlock(&handle->mutex);
  return alive;
}

bool OsThread::Close() {
  if (handle == nullptr) return false;
  ReleaseState(handle);
  handle = nullptr;
  return true;
}
