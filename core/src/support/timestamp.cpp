#include "support/timestamp.hpp"

#include <cstdint>

namespace morvane {
namespace {

// Writes `value` as exactly `width` decimal digits ending just before `end`.
char* put_digits(char* end, std::uint32_t value, int width) {
  for (int i = 0; i < width; ++i) {
    *--end = static_cast<char>('0' + value % 10);
    value /= 10;
  }
  return end;
}

}  // namespace

std::string rfc3339(std::chrono::system_clock::time_point when) {
  using namespace std::chrono;
  const auto ns_total = duration_cast<nanoseconds>(when.time_since_epoch());
  const auto day_point = floor<days>(ns_total);
  const year_month_day date{sys_days{day_point}};
  const auto in_day = static_cast<std::uint64_t>((ns_total - day_point).count());
  const auto seconds_of_day = static_cast<std::uint32_t>(in_day / 1'000'000'000);
  const auto fraction = static_cast<std::uint32_t>(in_day % 1'000'000'000);

  // "YYYY-MM-DDTHH:MM:SS" + up to ".nnnnnnnnn" + "+00:00"
  char text[19 + 10 + 6];
  put_digits(text + 4, static_cast<std::uint32_t>(static_cast<int>(date.year())), 4);
  text[4] = '-';
  put_digits(text + 7, static_cast<unsigned>(date.month()), 2);
  text[7] = '-';
  put_digits(text + 10, static_cast<unsigned>(date.day()), 2);
  text[10] = 'T';
  put_digits(text + 13, seconds_of_day / 3600, 2);
  text[13] = ':';
  put_digits(text + 16, seconds_of_day / 60 % 60, 2);
  text[16] = ':';
  put_digits(text + 19, seconds_of_day % 60, 2);
  std::size_t size = 19;
  if (fraction != 0) {
    // The fewest of 3, 6 or 9 digits that hold the fraction exactly.
    int digits = 9;
    std::uint32_t value = fraction;
    if (value % 1'000'000 == 0) {
      digits = 3;
      value /= 1'000'000;
    } else if (value % 1'000 == 0) {
      digits = 6;
      value /= 1'000;
    }
    text[size++] = '.';
    put_digits(text + size + static_cast<std::size_t>(digits), value, digits);
    size += static_cast<std::size_t>(digits);
  }
  for (char c : {'+', '0', '0', ':', '0', '0'}) text[size++] = c;
  return std::string(text, size);
}

}  // namespace morvane
