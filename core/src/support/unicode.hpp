// Unicode helpers over ICU, on UTF-8 text.
//
//   to_lower           full default lower-case mapping, character by character (one
//                      character may become several; capital sigma becomes final sigma
//                      at the end of a word). ASCII-only text takes a fast path.
//   to_upper           full default upper-case mapping ("ß" becomes "SS").
//   trim_white_space   the text without leading and trailing White_Space characters.
//   decode_utf8        the code point at `pos` and its length in bytes; an ill-formed
//                      byte decodes as U+FFFD of length 1.
// Allocation failures reported by ICU surface as std::bad_alloc. ICU's data is the one
// source of character properties in the module, so a single Unicode version holds
// throughout (the negation expression builds its classes from ICU's sets too).
#pragma once

#include <cstddef>
#include <string>
#include <string_view>

namespace morvane {

std::string to_lower(std::string_view text);
std::string to_upper(std::string_view text);

bool is_white_space(char32_t c);
std::string_view trim_white_space(std::string_view text);

struct Decoded {
  char32_t code_point;
  std::size_t length;
};
Decoded decode_utf8(std::string_view text, std::size_t pos);

}  // namespace morvane
