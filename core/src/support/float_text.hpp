// The three text forms of a 32-bit float, all built on std::to_chars.
//
//   append_json_float   shortest text that reads back as the same float32, a whole value
//                       with ".0" ("1.0", "0.90000004"); exponent form with an explicit
//                       sign for non-zero magnitudes below 1e-6 or from 1e13 up, judged on
//                       the shortest decimal ("1e-7", "1.5e+13"). Non-finite: "null".
//   append_fixed        exactly `decimals` digits after the point, rounded from the exact
//                       binary value with ties to even ("{:.2}", "{:.0}"); a negative value
//                       that rounds to zero keeps its sign ("-0"); "NaN", "inf", "-inf".
//   append_plain        shortest round-trip digits in positional notation, never an
//                       exponent, no point for whole values ("0.52", "0.7", "1").
#pragma once

#include <string>

namespace morvane {

void append_json_float(std::string& out, float value);
void append_fixed(std::string& out, float value, int decimals);
void append_plain(std::string& out, float value);

inline std::string json_float(float value) {
  std::string s;
  append_json_float(s, value);
  return s;
}
inline std::string fixed(float value, int decimals) {
  std::string s;
  append_fixed(s, value, decimals);
  return s;
}
inline std::string plain(float value) {
  std::string s;
  append_plain(s, value);
  return s;
}

}  // namespace morvane
