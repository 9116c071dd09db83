// run_entry: the boundary every call from Python crosses.
//
//   return run_entry([&]() -> PyObject* { ... });
//
// The body runs as one binding entry (lib/interpreter_lock.hpp: the thread's lock
// count raised, the deferred references released first) and returns a new reference,
// an OwnedRef, or nullptr with a Python error set. No C++ exception leaves it:
//   InternalFailure   its report on standard error, then PanicException (lib/panic.hpp)
//   std::bad_alloc    MemoryError; the process lives on
//   anything else     PanicException with the exception's text
// A thread that CPython ends in the middle of the body (it asked for the lock while
// the interpreter finalizes) stays out of Python for good: nothing unwinds.
#pragma once

#include "lib/interpreter_lock.hpp"
#include "lib/panic.hpp"
#include "lib/python.hpp"
#include "lib/ref.hpp"
#include "lib/thread_end.hpp"

#include <exception>
#include <new>
#include <type_traits>

namespace morvane::py {

template <class Body>
PyObject* run_entry(Body&& body) noexcept {
  EntryScope entry;
  try {
    return or_stay_out([&]() -> PyObject* {
      if constexpr (std::is_same_v<decltype(body()), OwnedRef>) {
        return body().release();
      } else {
        return body();
      }
    });
  } catch (const InternalFailure& failure) {
    raise_panic(failure);
  } catch (const std::bad_alloc&) {
    PyErr_NoMemory();
  } catch (const std::exception& e) {
    raise_unexpected(e.what());
  } catch (...) {
    raise_unexpected("unknown C++ exception");
  }
  return nullptr;
}

}  // namespace morvane::py
