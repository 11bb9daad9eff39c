#include "util/osthread.h"

#include <atomic>
#include <cassert>
#include <cstdlib>
#include <cstring>
#include <new>

// Events and semaphores share one state lock for waiting. Waiters register a
// link on every object they wait for; setting or releasing an object wakes
// exactly the waiters linked to it. One process-wide lock keeps multi-object
// waits atomic (a wait-all consumes all of its objects in one step) without
// lock ordering between objects.
//
// A connection's call lock is a semaphore taken and given back around every
// ODBC call, so the uncontended case must not touch the shared lock: counts
// are atomic, a single-object wait first tries to take a count with one
// compare-and-swap, and a release only takes the lock when a waiter has
// linked itself. A waiter links itself (under the lock) before its last look
// at the counts, and a releaser publishes its count before looking for
// waiters; with both sequentially consistent, either the waiter sees the
// count or the releaser sees the waiter, so no wake-up is lost.
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
  std::atomic<int32_t> count;   // event: 1 signalled, 0 not; semaphore: current count
  int32_t maximum;              // semaphore only
  std::atomic<int32_t> linked;  // waiters linked below; read without the lock
  WaitLink *waiters;            // under g_syncMutex
};

namespace {

void Link(OsSyncObject *obj, WaitLink *link) {
  link->prev = nullptr;
  link->next = obj->waiters;
  if (obj->waiters != nullptr) obj->waiters->prev = link;
  obj->waiters = link;
  obj->linked.fetch_add(1);
}

void Unlink(OsSyncObject *obj, WaitLink *link) {
  if (link->prev != nullptr)
    link->prev->next = link->next;
  else
    obj->waiters = link->next;
  if (link->next != nullptr) link->next->prev = link->prev;
  link->next = link->prev = nullptr;
  obj->linked.fetch_sub(1);
}

void WakeWaiters(OsSyncObject *obj) {
  for (WaitLink *l = obj->waiters; l != nullptr; l = l->next) pthread_cond_signal(&l->waiter->cond);
}

// Takes one count when there is one; safe with or without the lock.
bool TakeOne(OsSyncObject *obj) {
  int32_t c = obj->count.load();
  while (c > 0)
    if (obj->count.compare_exchange_weak(c, c - 1)) return true;
  return false;
}

// Under g_syncMutex: consume what the wait asks for when it is available.
// Lock-free takers may race with a wait-all between its check and its
// takes; what it took is then given back and the wait goes on.
int32_t TryConsume(OsSyncObject *const *objs, uint32_t n, bool waitAll) {
  if (waitAll) {
    // A handle listed twice needs two counts.
    for (uint32_t i = 0; i < n; ++i) {
      uint32_t uses = 0;
      for (uint32_t j = 0; j < n; ++j) uses += objs[j] == objs[i];
      if (static_cast<int64_t>(objs[i]->count.load()) < uses) return OS_WAIT_FAILED;
    }
    for (uint32_t i = 0; i < n; ++i) {
      if (TakeOne(objs[i])) continue;
      while (i-- > 0) objs[i]->count.fetch_add(1);
      return OS_WAIT_FAILED;
    }
    return OS_WAIT_OBJECT_0;
  }
  for (uint32_t i = 0; i < n; ++i)
    if (TakeOne(objs[i])) return OS_WAIT_OBJECT_0 + static_cast<int32_t>(i);
  return OS_WAIT_FAILED;
}

// Releases the state lock and the waiter's links on every way out of a wait,
// including a thread being cancelled inside pthread_cond_wait. The condition
// variable is made only when the wait has to sleep.
struct WaitScope {
  OsSyncObject *const *objs;
  uint32_t n;
  WaitLink *links;
  bool linked = false;
  Waiter waiter;

  WaitScope(OsSyncObject *const *o, uint32_t count, WaitLink *l) : objs(o), n(count), links(l) {
    pthread_mutex_lock(&g_syncMutex);
  }
  ~WaitScope() {
    if (linked)
      for (uint32_t i = 0; i < n; ++i) Unlink(objs[i], &links[i]);
    pthread_mutex_unlock(&g_syncMutex);
    if (linked) pthread_cond_destroy(&waiter.cond);
  }
  void LinkAll() {
    pthread_cond_init(&waiter.cond, nullptr);
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
  // One object: an available count is taken without the lock.
  if (n == 1 && TakeOne(objs[0])) return OS_WAIT_OBJECT_0;
  WaitLink links[OS_MAXIMUM_WAIT_OBJECTS];
  WaitScope scope(objs, n, links);
  for (;;) {
    int32_t r = TryConsume(objs, n, waitAll);
    if (r != OS_WAIT_FAILED) return r;
    if (!scope.linked) {
      // Linked first, then looked again: a release made before the link
      // is seen by that look, one made after it sees the link.
      scope.LinkAll();
      continue;
    }
    pthread_cond_wait(&scope.waiter.cond, &g_syncMutex);
  }
}

// After a count was published: wakes the waiters linked to the object, if any.
void WakeIfLinked(OsSyncObject *obj) {
  if (obj->linked.load() == 0) return;
  pthread_mutex_lock(&g_syncMutex);
  WakeWaiters(obj);
  pthread_mutex_unlock(&g_syncMutex);
}

OsSyncObject *NewSync(SyncKind kind, int32_t count, int32_t maximum) {
  auto *obj = new (std::nothrow) OsSyncObject{kind, {count}, maximum, {0}, nullptr};
  return obj;
}

bool CloseSync(OsSyncObject *&handle) {
  if (handle == nullptr) return false;
  pthread_mutex_lock(&g_syncMutex);
  assert(handle->waiters == nullptr && "closing an object that a thread waits on");
  pthread_mutex_unlock(&g_syncMutex);
  delete handle;
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
  handle->count.store(1);
  WakeIfLinked(handle);
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
  int32_t c = handle->count.load();
  do {
    if (c >= handle->maximum) return false;
  } while (!handle->count.compare_exchange_weak(c, c + 1));
  WakeIfLinked(handle);
  return true;
}

bool OsSemaphore::Wait() {
  if (handle == nullptr) return false;
  return TakeOne(handle) || WaitObjects(&handle, 1, false) == OS_WAIT_OBJECT_0;
}

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
