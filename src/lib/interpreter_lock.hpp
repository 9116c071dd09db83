// The interpreter lock as the bindings see it: a per-thread count of the binding
// entries that hold it, and one process-wide queue of references dropped without it.
//
//   EntryScope          marks one binding entry (constructor, method, getter,
//                       representation, deallocation, module initialisation): raises
//                       this thread's count for its lifetime and first releases the
//                       queued references. The entry templates of lib/entry.hpp make one.
//   lock_count_is_zero  true when no binding entry holds the lock on this thread, so
//                       code that needs Python here must take the lock itself.
//   LockReleased        gives the lock up for its lifetime (PyEval_SaveThread) and sets
//                       this thread's count to zero meanwhile; restores both after. For
//                       work that touches no Python object (a strategy run).
//                       during_finalization(): the lock was given up while the
//                       interpreter finalizes, so this thread is the finalizing one
//                       (no other runs Python then) and no other thread can take the
//                       lock any more: the work must not wait on one that needs it.
//   LockTaken           takes the lock for its lifetime when this thread's count is zero,
//                       raising the count meanwhile; does nothing when the thread already
//                       holds it. Safe on any thread: a thread that Python does not know
//                       (a pool worker) gets a thread state of its own, kept for its life.
//
// Once the interpreter has begun to finalize, only the finalizing thread may take the
// lock: on any other, LockReleased's end and LockTaken stay out of Python for good
// (lib/thread_end.hpp) instead of asking CPython for it.
//   release_reference   drops one strong reference: at once when this thread holds the
//                       lock, otherwise queued for the next entry on any thread.
//   DeferredRef         an owned reference that may be dropped on any thread (it uses
//                       release_reference); made and read under the lock.
#pragma once

#include "lib/python.hpp"
#include "lib/thread_end.hpp"

#include <utility>

namespace morvane::py {

bool lock_count_is_zero() noexcept;

// Registers the fork handlers of this layer (once): a fork child starts with the
// deferred queue as the parent left it and counts only its own thread's calls.
void prepare_for_fork_children() noexcept;

class EntryScope {
 public:
  EntryScope() noexcept;
  ~EntryScope();
  EntryScope(const EntryScope&) = delete;
  EntryScope& operator=(const EntryScope&) = delete;
};

class LockReleased {
 public:
  LockReleased() noexcept;
  ~LockReleased();
  LockReleased(const LockReleased&) = delete;
  LockReleased& operator=(const LockReleased&) = delete;

  bool during_finalization() const noexcept { return finalizing_; }

 private:
  int saved_count_;
  bool finalizing_;
  bool saved_finalizer_;
  PyThreadState* state_;
};

class LockTaken {
 public:
  // Throws std::bad_alloc when no thread state can be made for this thread.
  LockTaken();
  ~LockTaken();
  LockTaken(const LockTaken&) = delete;
  LockTaken& operator=(const LockTaken&) = delete;

 private:
  bool took_;
};

void release_reference(PyObject* object) noexcept;

class DeferredRef {
 public:
  DeferredRef() noexcept = default;
  explicit DeferredRef(PyObject* stolen) noexcept : object_(stolen) {}
  DeferredRef(DeferredRef&& other) noexcept : object_(std::exchange(other.object_, nullptr)) {}
  DeferredRef& operator=(DeferredRef&& other) noexcept {
    PyObject* old = std::exchange(object_, std::exchange(other.object_, nullptr));
    if (old != nullptr) release_reference(old);
    return *this;
  }
  DeferredRef(const DeferredRef&) = delete;
  DeferredRef& operator=(const DeferredRef&) = delete;
  ~DeferredRef() {
    if (object_ != nullptr) release_reference(object_);
  }

  PyObject* get() const noexcept { return object_; }

 private:
  PyObject* object_ = nullptr;
};

}  // namespace morvane::py
