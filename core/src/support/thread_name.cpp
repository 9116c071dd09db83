#include "support/thread_name.hpp"

#include <pthread.h>
#include <sys/syscall.h>
#include <unistd.h>

namespace morvane {
namespace {

// The whole name given to this thread; empty when it was given none.
thread_local std::string t_name;

constexpr std::size_t kSystemNameBytes = 15;

}  // namespace

void name_this_thread(std::string_view name) {
  t_name = name;
  pthread_setname_np(pthread_self(), std::string(name.substr(0, kSystemNameBytes)).c_str());
}

std::string this_thread_name() {
  if (::syscall(SYS_gettid) == ::getpid()) return "main";
  if (!t_name.empty()) return t_name;
  char name[64] = {};
  if (pthread_getname_np(pthread_self(), name, sizeof name) != 0 || name[0] == '\0') return "<unnamed>";
  return name;
}

}  // namespace morvane
