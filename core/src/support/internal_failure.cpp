#include "support/internal_failure.hpp"

#include <pthread.h>
#include <sys/syscall.h>
#include <unistd.h>

namespace morvane {

std::string InternalFailure::this_thread_name() {
  if (::syscall(SYS_gettid) == ::getpid()) return "main";
  char name[64] = {};
  if (pthread_getname_np(pthread_self(), name, sizeof name) != 0 || name[0] == '\0') return "<unnamed>";
  return name;
}

std::string InternalFailure::location() const {
  std::string text = where_.file_name();
  text += ':';
  text += std::to_string(where_.line());
  text += ':';
  text += std::to_string(where_.column());
  return text;
}

}  // namespace morvane
