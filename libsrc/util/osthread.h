#pragma once
// Threads, events, semaphores, multi-object waits and critical sections.
//
// These keep the shape of the Windows primitives the rest of the driver was
// designed around: waits never time out, events are auto-reset (one successful
// wait consumes one signal), a wait set waits on up to 64 events/semaphores at
// once and reports the lowest signalled index, critical sections are recursive
// for their owning thread. Each wrapper holds nothing but its handle; a handle
// is NULL when the object was never created or its creation failed.
#include <pthread.h>

#include <cstdint>

// Opaque waitable object (event or semaphore) and thread state.
struct OsSyncObject;
struct OsThreadState;

// Results of OsWaitSet::WaitAny.
constexpr int32_t OS_WAIT_OBJECT_0 = 0;
constexpr int32_t OS_WAIT_FAILED = -1;
// The exit code a thread reports while it is still running.
constexpr uint32_t OS_STILL_ACTIVE = 259;
// Most handles one wait set can hold.
constexpr uint32_t OS_MAXIMUM_WAIT_OBJECTS = 64;

// The caller's start record; it must outlive the thread.
struct OsThreadStart {
  uint32_t (*function)(void *argument);
  void *argument;
};

// Entry of every thread started through OsThread::Start: runs the record's
// function and returns its result as the exit code.
uint32_t OsThread_Trampoline(OsThreadStart *record);

struct OsThread {
  OsThreadState *handle;  // NULL when not started or when the start failed
  OsThreadStart *start;
  uint32_t threadId;

  // Starts a thread running start->function(start->argument) at once.
  // handle stays NULL when the thread could not be started.
  OsThread &Start(OsThreadStart *record);
  // Waits without time-out for the thread's end; true when it has ended.
  bool Join();
  // Ends the thread without waiting (at its next wait or cancellation
  // point); its exit code becomes exitCode. True when the request was made.
  bool Terminate(uint32_t exitCode);
  // True while the thread has not returned from its function.
  bool IsAlive();
  // The thread's exit code, OS_STILL_ACTIVE while it runs; false without a handle.
  bool ExitCode(uint32_t *code);
  // Releases the handle; the thread itself runs on. True when there was one.
  bool Close();
};

struct OsEvent {
  OsSyncObject *handle;

  // Makes an unnamed auto-reset event; returns the handle (also stored) or NULL.
  OsSyncObject *Create(bool initialState);
  bool Set();
  // True when a signal was consumed.
  bool Wait();
  // No thread may be waiting on the event when it is closed.
  bool Close();
};

struct OsSemaphore {
  OsSyncObject *handle;

  // Makes an unnamed semaphore; NULL for counts out of range (initial above
  // maximum, maximum below 1) or when out of memory.
  OsSyncObject *Create(int32_t initialCount, int32_t maximumCount);
  // Adds one count; false when that would pass the maximum.
  bool Release();
  // True when a count was taken.
  bool Wait();
  bool Close();
};

struct OsWaitSet {
  OsSyncObject *handles[OS_MAXIMUM_WAIT_OBJECTS];
  uint32_t count;

  // Append the object's handle; false (set unchanged) when it already holds 64
  // handles or the object has no handle.
  bool AddEvent(const OsEvent &event);
  bool AddSemaphore(const OsSemaphore &semaphore);
  // Waits without time-out. With waitAll false: OS_WAIT_OBJECT_0 + the index
  // (in the order added) of the lowest signalled handle, whose signal is
  // consumed. With waitAll true: OS_WAIT_OBJECT_0 once every handle is
  // signalled at the same time, all consumed together. OS_WAIT_FAILED at once
  // for an empty set.
  int32_t WaitAny(bool waitAll);
  void Clear() { count = 0; }
};

// Recursive critical section. All-zero storage is "not initialised"; Init
// makes it usable. OS_CRITSEC_INITIALIZER gives a statically initialised one
// that needs no Init (and is never deleted).
struct OsCritSec {
  pthread_mutex_t mutex;

  void Init();
  void Delete();
  void Enter();
  void Leave();
};
#define OS_CRITSEC_INITIALIZER {PTHREAD_RECURSIVE_MUTEX_INITIALIZER_NP}

// Holds one critical section. Lock/Unlock as a pair on one thread, or scoped:
// the constructor taking a section enters it and the destructor leaves it when
// it is still held.
struct OsLock {
  OsCritSec *section = nullptr;

  OsLock() = default;
  explicit OsLock(OsCritSec &cs) { Lock(&cs); }
  ~OsLock() {
    if (section != nullptr) Unlock();
  }
  OsLock(const OsLock &) = delete;
  OsLock &operator=(const OsLock &) = delete;

  void Lock(OsCritSec *cs) {
    section = cs;
    cs->Enter();
  }
  void Unlock() {
    OsCritSec *cs = section;
    section = nullptr;
    cs->Leave();
  }
};
