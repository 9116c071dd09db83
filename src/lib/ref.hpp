// Python references whose counting rules live in the type.
//
//   OwnedRef     owns one strong reference. Its constructor steals the reference it
//                is given (a "new reference" from the API, or nullptr), and its
//                destructor releases it. release() gives the reference away as a new
//                reference (the usual return of a binding entry). Only used, moved and
//                destroyed on a thread that holds the interpreter lock.
//   BorrowedRef  a view of an object that someone else keeps alive (an argument, an
//                item of a list); it never counts. new_ref() makes an OwnedRef of it.
//
// A reference that may be dropped on a thread without the lock is a DeferredRef
// (lib/interpreter_lock.hpp). Dropping a reference may run Python code (a __del__):
// should CPython end the thread there, it stays out of Python (lib/thread_end.hpp).
#pragma once

#include "lib/python.hpp"
#include "lib/thread_end.hpp"

#include <utility>

namespace morvane::py {

class OwnedRef {
 public:
  OwnedRef() noexcept = default;
  explicit OwnedRef(PyObject* stolen) noexcept : object_(stolen) {}
  OwnedRef(OwnedRef&& other) noexcept : object_(std::exchange(other.object_, nullptr)) {}
  OwnedRef& operator=(OwnedRef&& other) noexcept {
    reset(std::exchange(other.object_, nullptr));
    return *this;
  }
  OwnedRef(const OwnedRef&) = delete;
  OwnedRef& operator=(const OwnedRef&) = delete;
  ~OwnedRef() { drop(object_); }

  PyObject* get() const noexcept { return object_; }
  explicit operator bool() const noexcept { return object_ != nullptr; }

  // Gives the reference away: the caller now owns it.
  [[nodiscard]] PyObject* release() noexcept { return std::exchange(object_, nullptr); }

  // Releases the held reference (if any) and steals `stolen`.
  void reset(PyObject* stolen = nullptr) noexcept { drop(std::exchange(object_, stolen)); }

 private:
  static void drop(PyObject* object) noexcept {
    if (object != nullptr) or_stay_out([object] { Py_DECREF(object); });
  }

  PyObject* object_ = nullptr;
};

class BorrowedRef {
 public:
  constexpr BorrowedRef() noexcept = default;
  constexpr explicit BorrowedRef(PyObject* borrowed) noexcept : object_(borrowed) {}

  PyObject* get() const noexcept { return object_; }
  explicit operator bool() const noexcept { return object_ != nullptr; }

  // A new strong reference to the same object.
  OwnedRef new_ref() const noexcept { return OwnedRef(Py_XNewRef(object_)); }

 private:
  PyObject* object_ = nullptr;
};

}  // namespace morvane::py
