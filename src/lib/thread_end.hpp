// When CPython ends a thread. Once the interpreter has begun to finalize, any thread
// but the finalizing one that asks for the interpreter lock is ended with
// pthread_exit, and the unwinding that starts cannot pass the module's frames
// (noexcept boundaries, destructors that would touch Python without the lock). Such a
// thread stays out of Python for good instead: it parks where the unwinding first
// reaches the module, and the process ends around it.
//
//   stay_out_of_python()  parks the calling thread forever, touching nothing.
//   or_stay_out(call)     runs call() and returns its result; should CPython end the
//                         thread inside it, the thread stays out of Python right
//                         there (any other exception passes). For calls that may run
//                         Python code while references are held in the frames around
//                         them, and for the body of every binding entry.
#pragma once

#include <cxxabi.h>

#include <utility>

namespace morvane::py {

[[noreturn]] void stay_out_of_python() noexcept;

// stay_out_of_python for a thread in the middle of a forced unwind. It never returns
// but is not declared so: before a call to a noreturn function AddressSanitizer
// unpoisons the stack, and that trips over the poison that the frames skipped by the
// unwinding left behind.
void park_after_forced_unwind() noexcept;

// The handler of a forced unwind binds its parameter to no exception object, which
// UndefinedBehaviorSanitizer's null check would report.
template <class Call>
__attribute__((no_sanitize("null"))) decltype(auto) or_stay_out(Call&& call) {
  try {
    return std::forward<Call>(call)();
  } catch (const abi::__forced_unwind&) {
    park_after_forced_unwind();
    __builtin_unreachable();
  }
}

}  // namespace morvane::py
