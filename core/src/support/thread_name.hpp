// thread_name: what reports call the calling thread.
//
//   name_this_thread(name)   names the calling thread. The system keeps only the first
//                            15 bytes of a name (what ps, /proc and debuggers show);
//                            reports use the whole name, so that "morvane-pool-100"
//                            and "morvane-pool-10" stay apart.
//   this_thread_name()       "main" for the process's first thread; else the name given
//                            by name_this_thread; else the system's name for the thread
//                            (which other code may have set); "<unnamed>" if it has none.
#pragma once

#include <string>
#include <string_view>

namespace morvane {

void name_this_thread(std::string_view name);
std::string this_thread_name();

}  // namespace morvane
