#include "support/float_text.hpp"

#include <charconv>
#include <cmath>

namespace morvane {
namespace {

// Writes "NaN", "inf" or "-inf" and returns true when `value` is not finite.
bool append_non_finite(std::string& out, float value) {
  if (std::isnan(value)) {
    out += "NaN";
    return true;
  }
  if (std::isinf(value)) {
    out += value < 0 ? "-inf" : "inf";
    return true;
  }
  return false;
}

// The shortest round-trip decimal of a finite, non-zero value: its significant
// digits and the power of ten of the first one (1.5e13 gives "15" and 13).
struct ShortestDecimal {
  bool negative = false;
  char digits[16] = {};
  std::size_t count = 0;
  int exponent = 0;
};

ShortestDecimal shortest_decimal(float value) {
  char sci[32];
  auto [end, ec] = std::to_chars(sci, sci + sizeof sci, value, std::chars_format::scientific);
  ShortestDecimal d;
  const char* p = sci;
  d.negative = *p == '-';
  if (d.negative) ++p;
  for (; p != end && *p != 'e'; ++p) {
    if (*p != '.') d.digits[d.count++] = *p;
  }
  ++p;                 // 'e'
  if (*p == '+') ++p;  // from_chars takes '-' but not '+'
  std::from_chars(p, end, d.exponent);
  return d;
}

// Positional notation of the shortest digits: "9999999000000", "0.000001", "0.52".
void append_positional(std::string& out, const ShortestDecimal& d, bool point_for_whole) {
  if (d.negative) out += '-';
  const int count = static_cast<int>(d.count);
  if (d.exponent < 0) {
    out += "0.";
    out.append(static_cast<std::size_t>(-d.exponent - 1), '0');
    out.append(d.digits, d.count);
    return;
  }
  const int whole = d.exponent + 1;
  if (count <= whole) {
    out.append(d.digits, d.count);
    out.append(static_cast<std::size_t>(whole - count), '0');
    if (point_for_whole) out += ".0";
    return;
  }
  out.append(d.digits, static_cast<std::size_t>(whole));
  out += '.';
  out.append(d.digits + whole, static_cast<std::size_t>(count - whole));
}

}  // namespace

void append_json_float(std::string& out, float value) {
  if (!std::isfinite(value)) {
    out += "null";
    return;
  }
  if (value == 0.0f) {
    out += std::signbit(value) ? "-0.0" : "0.0";
    return;
  }
  const ShortestDecimal d = shortest_decimal(value);
  if (d.exponent >= -6 && d.exponent < 13) {
    append_positional(out, d, true);
    return;
  }
  if (d.negative) out += '-';
  out += d.digits[0];
  if (d.count > 1) {
    out += '.';
    out.append(d.digits + 1, d.count - 1);
  }
  out += d.exponent < 0 ? "e-" : "e+";
  out += std::to_string(d.exponent < 0 ? -d.exponent : d.exponent);
}

void append_fixed(std::string& out, float value, int decimals) {
  if (append_non_finite(out, value)) return;
  // Fixed precision formats the exact binary value, ties to even.
  char buffer[128];
  auto [end, ec] = std::to_chars(buffer, buffer + sizeof buffer, value, std::chars_format::fixed, decimals);
  out.append(buffer, end);
}

void append_plain(std::string& out, float value) {
  if (append_non_finite(out, value)) return;
  if (value == 0.0f) {
    out += std::signbit(value) ? "-0" : "0";
    return;
  }
  append_positional(out, shortest_decimal(value), false);
}

}  // namespace morvane
