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
//                         there. For calls that may run Python code while references
//                         are held in the frames around them.
#pragma once

#include <cxxabi.h>

#include <utility>

namespace morvane::py {

[[noreturn]] void stay_out_of_python() noexcept;

template <class Call>
decltype(auto) or_stay_out(Call&& call) noexcept {
  try {
    return std::forward<Call>(call)();
  } catch (const abi::__forced_unwind&) {
    stay_out_of_python();
  }
}

}  // namespace morvane::py
