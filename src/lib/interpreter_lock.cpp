#include "lib/interpreter_lock.hpp"

#include <atomic>
#include <mutex>
#include <vector>

namespace morvane::py {
namespace {

// How many binding entries hold the interpreter lock on this thread.
constinit thread_local int lock_count = 0;

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
  for (PyObject* object : items) Py_DECREF(object);
}

}  // namespace

bool lock_count_is_zero() noexcept { return lock_count == 0; }

EntryScope::EntryScope() noexcept {
  ++lock_count;
  drain_queue();
}

EntryScope::~EntryScope() { --lock_count; }

LockReleased::LockReleased() noexcept : saved_count_(lock_count), state_(PyEval_SaveThread()) {
  lock_count = 0;
}

LockReleased::~LockReleased() {
  PyEval_RestoreThread(state_);
  lock_count = saved_count_;
}

LockTaken::LockTaken() noexcept : took_(lock_count == 0) {
  if (took_) {
    state_ = PyGILState_Ensure();
    ++lock_count;
    drain_queue();
  }
}

LockTaken::~LockTaken() {
  if (took_) {
    --lock_count;
    PyGILState_Release(state_);
  }
}

void release_reference(PyObject* object) noexcept {
  if (object == nullptr) return;
  if (lock_count > 0) {
    Py_DECREF(object);
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
