#include "support/timestamp.hpp"

#include <cstdint>
#include <cstdio>

namespace morvane {

std::string rfc3339(std::chrono::system_clock::time_point when) {
  using namespace std::chrono;
  const auto ns_total = duration_cast<nanoseconds>(when.time_since_epoch());
  const auto day_point = floor<days>(ns_total);
  const year_month_day date{sys_days{day_point}};
  auto in_day = ns_total - day_point;
  const auto h = duration_cast<hours>(in_day);
  in_day -= h;
  const auto m = duration_cast<minutes>(in_day);
  in_day -= m;
  const auto s = duration_cast<seconds>(in_day);
  in_day -= s;
  const auto fraction = static_cast<std::uint32_t>(in_day.count());  // 0 .. 999'999'999

  char buffer[48];
  int n = std::snprintf(buffer, sizeof buffer, "%04d-%02u-%02uT%02d:%02d:%02d",
                        static_cast<int>(date.year()), static_cast<unsigned>(date.month()),
                        static_cast<unsigned>(date.day()), static_cast<int>(h.count()),
                        static_cast<int>(m.count()), static_cast<int>(s.count()));
  if (fraction != 0) {
    if (fraction % 1'000'000 == 0) {
      n += std::snprintf(buffer + n, sizeof buffer - n, ".%03u", fraction / 1'000'000);
    } else if (fraction % 1'000 == 0) {
      n += std::snprintf(buffer + n, sizeof buffer - n, ".%06u", fraction / 1'000);
    } else {
      n += std::snprintf(buffer + n, sizeof buffer - n, ".%09u", fraction);
    }
  }
  std::string text(buffer, static_cast<std::size_t>(n));
  text += "+00:00";
  return text;
}

}  // namespace morvane
