#include "lib/interpreter_lock.hpp"

#include <pthread.h>
#include <sched.h>

#include <atomic>
#include <chrono>
#include <mutex>
#include <new>
#include <vector>

namespace morvane::py {
namespace {

// How many binding entries hold the interpreter lock on this thread.
constinit thread_local int lock_count = 0;
// This thread runs a call that began while the interpreter finalizes.
constinit thread_local bool finalizer = false;

struct DeferredQueue {
  std::mutex mutex;
  std::vector<PyObject*> items;
  std::atomic<bool> pending{false};  // read without the mutex on every entry
};

// Never destroyed: a worker may still queue a reference while the process exits.
union QueueStorage {
  DeferredQueue queue;
  constexpr QueueStorage() : queue() {}
  ~QueueStorage() {}
};
constinit QueueStorage storage;

// Releases what threads without the lock have queued. Runs under the lock.
void drain_queue() noexcept {
  DeferredQueue& q = storage.queue;
  if (!q.pending.load(std::memory_order_acquire)) return;
  std::vector<PyObject*> items;
  {
    std::lock_guard guard(q.mutex);
    items.swap(q.items);
    q.pending.store(false, std::memory_order_relaxed);
  }
  for (PyObject* object : items) or_stay_out([object] { Py_DECREF(object); });
}

// How many threads hold the lock through a LockTaken, or are about to, and whether
// this thread is one of them. A thread that finds another one there waits for it
// briefly, yielding its core, before it asks for the lock: taking a lock that was just
// let go is quick, while blocking on a held one puts the thread to sleep, and waking
// it again costs tens of microseconds, far more than a short searcher call. A searcher
// that waits on input or output gives the lock up, so after the brief wait its callers
// still overlap.
std::atomic<int> g_taking{0};
constinit thread_local int t_taking = 0;

void wait_briefly_for_other_takers() noexcept {
  const auto give_up = std::chrono::steady_clock::now() + std::chrono::microseconds(50);
  while (g_taking.load(std::memory_order_acquire) != 0 && std::chrono::steady_clock::now() < give_up) {
    sched_yield();
  }
}

// Once finalization has begun, only the thread that finalizes may take the lock.
bool may_take_lock() noexcept { return finalizer || Py_IsInitialized(); }

// Takes the lock with `state`. Should CPython end the thread instead (finalization
// began after the check), the thread stays where it is.
void take_lock(PyThreadState* state) noexcept {
  // Only a fast path: past it, once finalization has begun, CPython would end the
  // thread in PyEval_RestoreThread, and or_stay_out would park it all the same.
  if (!may_take_lock()) stay_out_of_python();
  or_stay_out([state] { PyEval_RestoreThread(state); });
}

// The thread state of this thread, made the first time a thread that Python does not
// know needs one (registered as the thread's own, so PyGILState_* calls made by the
// code that runs with it find it). Kept for the thread's life: made and dropped around
// every call, it would cost a fresh frame stack each time.
PyThreadState* this_thread_state() noexcept {
  if (PyThreadState* state = PyGILState_GetThisThreadState()) return state;
  return PyThreadState_New(PyInterpreterState_Main());
}

void lock_queue() noexcept { storage.queue.mutex.lock(); }
void unlock_queue() noexcept { storage.queue.mutex.unlock(); }

// Only the forking thread lives on in the child: the other threads' calls are not
// there to count.
void in_child() noexcept {
  unlock_queue();
  g_taking.store(t_taking, std::memory_order_relaxed);
}

}  // namespace

bool lock_count_is_zero() noexcept { return lock_count == 0; }

// The queue's mutex is held across fork() so that no other thread is inside it then:
// the child would otherwise inherit it locked by a thread it does not have, and hang
// at its first drain of the queue or its first queued reference. In practice the
// queue stays empty and this is a safety net: the one reference that can go through
// it is a searcher's (PythonSearcher's DeferredRef), and the strategy that holds it
// is only ever let go under the lock (deallocation and clear are entries, generate
// drops its own hold before its entry ends, and the workers see the searcher by
// reference only).
void prepare_for_fork_children() noexcept {
  static const bool registered = [] {
    pthread_atfork(lock_queue, unlock_queue, in_child);
    return true;
  }();
  (void)registered;
}

EntryScope::EntryScope() noexcept {
  ++lock_count;
  drain_queue();
}

EntryScope::~EntryScope() { --lock_count; }

LockReleased::LockReleased() noexcept
    : saved_count_(lock_count), finalizing_(!Py_IsInitialized()), saved_finalizer_(finalizer) {
  finalizer = finalizer || finalizing_;
  state_ = PyEval_SaveThread();
  lock_count = 0;
}

LockReleased::~LockReleased() {
  take_lock(state_);
  finalizer = saved_finalizer_;
  lock_count = saved_count_;
}

LockTaken::LockTaken() : took_(lock_count == 0) {
  if (!took_) return;
  // Besides take_lock's fast path: once finalization has begun, a thread that Python
  // does not know must not make a thread state (PyThreadState_New) either.
  if (!may_take_lock()) stay_out_of_python();
  PyThreadState* state = this_thread_state();
  if (state == nullptr) throw std::bad_alloc();
  wait_briefly_for_other_takers();
  g_taking.fetch_add(1, std::memory_order_acq_rel);
  ++t_taking;
  take_lock(state);
  ++lock_count;
  drain_queue();
}

LockTaken::~LockTaken() {
  if (!took_) return;
  --lock_count;
  PyEval_SaveThread();
  --t_taking;
  g_taking.fetch_sub(1, std::memory_order_acq_rel);
}

void release_reference(PyObject* object) noexcept {
  if (object == nullptr) return;
  if (lock_count > 0) {
    or_stay_out([object] { Py_DECREF(object); });
    return;
  }
  DeferredQueue& q = storage.queue;
  std::lock_guard guard(q.mutex);
  try {
    q.items.push_back(object);
  } catch (...) {
    return;  // no memory left to queue it: the object is kept alive rather than freed unlocked
  }
  q.pending.store(true, std::memory_order_release);
}

}  // namespace morvane::py
