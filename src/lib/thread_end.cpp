#include "lib/thread_end.hpp"

#include <unistd.h>

namespace morvane::py {

// The one parking loop, in the function that is not noreturn: were it the other way
// round, this one would call a noreturn function, before which AddressSanitizer
// unpoisons the stack (see the header).
void park_after_forced_unwind() noexcept {
  for (;;) ::pause();
}

void stay_out_of_python() noexcept {
  park_after_forced_unwind();
  __builtin_unreachable();
}

}  // namespace morvane::py
