// RFC 3339 UTC timestamps: "2026-12-10T10:08:45.123+00:00".
// The fraction of a second appears only when it is not zero, with 3, 6 or 9 digits
// (the fewest that hold it exactly); the offset is always "+00:00", never "Z".
#pragma once

#include <chrono>
#include <string>

namespace morvane {

std::string rfc3339(std::chrono::system_clock::time_point when);
inline std::string rfc3339_now() { return rfc3339(std::chrono::system_clock::now()); }

}  // namespace morvane
