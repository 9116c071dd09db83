#include "model/json_reader.hpp"

#include <algorithm>
#include <bit>
#include <cstring>
#include <vector>

namespace morvane {
namespace {

constexpr bool is_white_space(unsigned char c) { return c == ' ' || c == '\n' || c == '\r' || c == '\t'; }
constexpr bool is_digit(unsigned char c) { return static_cast<unsigned>(c - '0') < 10u; }

constexpr int hex_value(unsigned char c) {
  if (is_digit(c)) return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

// Index of the first quotation mark, backslash or control character in [p, p + n),
// or n. Eight bytes at a time: a byte flagged in the word's high bits is equal to
// '"' or '\\' or below 0x20. Borrows can flag bytes above a true hit but never
// below one, so the lowest flag (the first byte, in little-endian order) is exact.
std::size_t find_string_special(const char* p, std::size_t n) {
  std::size_t i = 0;
  if constexpr (std::endian::native == std::endian::little) {
    constexpr std::uint64_t kOnes = 0x0101010101010101ull;
    constexpr std::uint64_t kHighs = 0x8080808080808080ull;
    for (; i + 8 <= n; i += 8) {
      std::uint64_t w;
      std::memcpy(&w, p + i, 8);
      const std::uint64_t quote = w ^ (kOnes * '"');
      const std::uint64_t backslash = w ^ (kOnes * '\\');
      const std::uint64_t hits =
          (((quote - kOnes) & ~quote) | ((backslash - kOnes) & ~backslash) | ((w - kOnes * 0x20) & ~w)) &
          kHighs;
      if (hits != 0) return i + static_cast<std::size_t>(std::countr_zero(hits) >> 3);
    }
  }
  for (; i < n; ++i) {
    const auto c = static_cast<unsigned char>(p[i]);
    if (c == '"' || c == '\\' || c < 0x20) return i;
  }
  return n;
}

void append_utf8(std::string& out, std::uint32_t cp) {
  if (cp < 0x80) {
    out += static_cast<char>(cp);
  } else if (cp < 0x800) {
    out += static_cast<char>(0xC0 | (cp >> 6));
    out += static_cast<char>(0x80 | (cp & 0x3F));
  } else if (cp < 0x10000) {
    out += static_cast<char>(0xE0 | (cp >> 12));
    out += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
    out += static_cast<char>(0x80 | (cp & 0x3F));
  } else {
    out += static_cast<char>(0xF0 | (cp >> 18));
    out += static_cast<char>(0x80 | ((cp >> 12) & 0x3F));
    out += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
    out += static_cast<char>(0x80 | (cp & 0x3F));
  }
}

// One bit per open bracket (1: object), the first 64 levels without allocating.
class BracketStack {
 public:
  bool empty() const { return depth_ == 0; }
  void push(bool object) {
    const std::size_t word = depth_ / 64;
    if (word > deep_.size()) deep_.push_back(0);
    std::uint64_t& bits = word == 0 ? shallow_ : deep_[word - 1];
    const std::uint64_t mask = std::uint64_t{1} << (depth_ % 64);
    bits = object ? (bits | mask) : (bits & ~mask);
    ++depth_;
  }
  bool top() const {
    const std::size_t i = depth_ - 1;
    const std::uint64_t bits = i < 64 ? shallow_ : deep_[i / 64 - 1];
    return (bits >> (i % 64)) & 1;
  }
  void pop() { --depth_; }

 private:
  std::size_t depth_ = 0;
  std::uint64_t shallow_ = 0;
  std::vector<std::uint64_t> deep_;
};

constexpr const char* kUnpairedSurrogate = "unpaired surrogate in \\u escape";

}  // namespace

std::string_view json_kind_name(JsonKind kind) {
  switch (kind) {
    case JsonKind::Null: return "null";
    case JsonKind::Boolean: return "boolean";
    case JsonKind::Number: return "number";
    case JsonKind::String: return "string";
    case JsonKind::Array: return "array";
    case JsonKind::Object: return "object";
  }
  return "value";
}

[[gnu::cold]] bool JsonReader::fail(JsonFailureKind kind, const char* text, std::size_t offset) {
  failure_.emplace(JsonFailure{kind, offset, text});
  return false;
}

JsonFailure JsonReader::take_failure() {
  JsonFailure f = std::move(*failure_);
  failure_.reset();
  return f;
}

void JsonReader::skip_white_space() {
  while (pos_ < text_.size() && is_white_space(byte())) ++pos_;
}

bool JsonReader::value_kind(JsonKind& kind) {
  skip_white_space();
  if (at_end()) return fail_end();
  // clang-format off
  switch (byte()) {
    case '{': kind = JsonKind::Object; return true;
    case '[': kind = JsonKind::Array; return true;
    case '"': kind = JsonKind::String; return true;
    case 't':
    case 'f': kind = JsonKind::Boolean; return true;
    case 'n': kind = JsonKind::Null; return true;
    case '-':
    case '0': case '1': case '2': case '3': case '4':
    case '5': case '6': case '7': case '8': case '9':
      kind = JsonKind::Number;
      return true;
    default: return fail_here("expected a value");
  }
  // clang-format on
}

// Where a member name must begin: after '{' (where '}' may close the object) or
// after a comma (where '}' is a trailing comma). Consumes the name's opening quote.
bool JsonReader::member_start(bool after_comma, bool& close) {
  skip_white_space();
  if (at_end()) return fail_end();
  const unsigned char c = byte();
  if (c == '"') {
    ++pos_;
    close = false;
    return true;
  }
  if (c == '}') {
    if (after_comma) return fail(JsonFailureKind::TrailingComma, "trailing comma", pos_ + 1);
    ++pos_;
    close = true;
    return true;
  }
  return fail_here("expected a member name");
}

// After an element and its comma: a ']' there is a trailing comma.
bool JsonReader::element_after_comma() {
  skip_white_space();
  if (!at_end() && byte() == ']') return fail(JsonFailureKind::TrailingComma, "trailing comma", pos_ + 1);
  return true;
}

// After a value inside a container: a comma, or the container's closing bracket.
bool JsonReader::after_value(bool object, bool& close) {
  skip_white_space();
  if (at_end()) return fail_end();
  const unsigned char c = byte();
  if (c == ',') {
    ++pos_;
    close = false;
    return true;
  }
  if (c == (object ? '}' : ']')) {
    ++pos_;
    close = true;
    return true;
  }
  return fail_here(object ? "expected `,` or `}`" : "expected `,` or `]`");
}

bool JsonReader::colon() {
  skip_white_space();
  if (at_end()) return fail_end();
  if (byte() != ':') return fail_here("expected `:`");
  ++pos_;
  return true;
}

template <bool kDecode>
bool JsonReader::scan_string() {
  string_start_ = pos_;
  decoded_ = false;
  for (;;) {
    const std::size_t at = pos_ + find_string_special(text_.data() + pos_, text_.size() - pos_);
    if (at >= text_.size()) {
      pos_ = text_.size();
      return fail_end();
    }
    const auto c = static_cast<unsigned char>(text_[at]);
    if (c == '"') {
      if constexpr (kDecode) {
        if (decoded_) scratch_.append(text_.data() + pos_, at - pos_);
      }
      string_end_ = at;
      pos_ = at + 1;
      return true;
    }
    if (c != '\\') {
      pos_ = at;
      return fail_here("control character in string");
    }
    if constexpr (kDecode) {
      if (!decoded_) {
        scratch_.assign(text_.data() + string_start_, at - string_start_);
        decoded_ = true;
      } else {
        scratch_.append(text_.data() + pos_, at - pos_);
      }
    }
    pos_ = at + 1;
    if (!scan_escape<kDecode>()) return false;
  }
}

// Four hexadecimal digits of a \u escape.
bool JsonReader::scan_hex4(std::uint32_t& value) {
  value = 0;
  for (int i = 0; i < 4; ++i) {
    if (at_end()) return fail_end();
    const int digit = hex_value(byte());
    if (digit < 0) return fail_here("invalid \\u escape");
    value = value * 16 + static_cast<std::uint32_t>(digit);
    ++pos_;
  }
  return true;
}

// One escape, after its backslash. A \u escape is decoded, and its surrogates must
// pair, only in a string that is read; a skipped one is four hexadecimal digits.
template <bool kDecode>
bool JsonReader::scan_escape() {
  if (at_end()) return fail_end();
  char simple;
  switch (byte()) {
    case '"': simple = '"'; break;
    case '\\': simple = '\\'; break;
    case '/': simple = '/'; break;
    case 'b': simple = '\b'; break;
    case 'f': simple = '\f'; break;
    case 'n': simple = '\n'; break;
    case 'r': simple = '\r'; break;
    case 't': simple = '\t'; break;
    case 'u': {
      ++pos_;
      std::uint32_t cp;
      if (!scan_hex4(cp)) return false;
      if constexpr (!kDecode) return true;
      if (cp >= 0xDC00 && cp <= 0xDFFF) return fail(JsonFailureKind::Syntax, kUnpairedSurrogate, pos_);
      if (cp >= 0xD800 && cp <= 0xDBFF) {
        for (const char expected : {'\\', 'u'}) {
          if (at_end()) return fail_end();
          if (byte() != static_cast<unsigned char>(expected)) return fail_here(kUnpairedSurrogate);
          ++pos_;
        }
        std::uint32_t low;
        if (!scan_hex4(low)) return false;
        if (low < 0xDC00 || low > 0xDFFF) return fail(JsonFailureKind::Syntax, kUnpairedSurrogate, pos_);
        cp = 0x10000 + ((cp - 0xD800) << 10) + (low - 0xDC00);
      }
      append_utf8(scratch_, cp);
      return true;
    }
    default: return fail_here("invalid escape");
  }
  ++pos_;
  if constexpr (kDecode) scratch_ += simple;
  return true;
}

bool JsonReader::scan_number(JsonNumber& number) {
  const std::size_t start = pos_;
  number.negative = byte() == '-';
  number.integer = true;
  if (number.negative) ++pos_;
  const auto digits = [this] {
    while (!at_end() && is_digit(byte())) ++pos_;
  };
  // A part that must begin with a digit: after '-', '.', and the exponent mark.
  const auto first_digit = [this] {
    if (at_end()) return fail_end();
    if (!is_digit(byte())) return fail_here("invalid number");
    return true;
  };
  if (!first_digit()) return false;
  if (byte() == '0') {
    ++pos_;
    if (!at_end() && is_digit(byte())) return fail_here("invalid number");
  } else {
    digits();
  }
  if (!at_end() && byte() == '.') {
    number.integer = false;
    ++pos_;
    if (!first_digit()) return false;
    digits();
  }
  if (!at_end() && (byte() == 'e' || byte() == 'E')) {
    number.integer = false;
    ++pos_;
    if (!at_end() && (byte() == '+' || byte() == '-')) ++pos_;
    if (!first_digit()) return false;
    digits();
  }
  number.text = text_.substr(start, pos_ - start);
  return true;
}

bool JsonReader::scan_literal(std::string_view word) {
  for (const char c : word) {
    if (at_end()) return fail_end();
    if (text_[pos_] != c) return fail_here("invalid literal");
    ++pos_;
  }
  return true;
}

bool JsonReader::scan_scalar(JsonKind kind) {
  switch (kind) {
    case JsonKind::String: ++pos_; return scan_string<false>();
    case JsonKind::Number: {
      JsonNumber number;
      return scan_number(number);
    }
    case JsonKind::Boolean: return scan_literal(byte() == 't' ? "true" : "false");
    case JsonKind::Null: return scan_literal("null");
    case JsonKind::Array:
    case JsonKind::Object: break;
  }
  return true;
}

JsonResult<JsonKind> JsonReader::peek() {
  JsonKind kind;
  if (!value_kind(kind)) return std::unexpected(take_failure());
  return kind;
}

JsonResult<bool> JsonReader::next_element() {
  if (first_) {
    first_ = false;
    skip_white_space();
    if (!at_end() && byte() == ']') {
      ++pos_;
      return false;
    }
    return true;
  }
  bool close;
  if (!after_value(false, close)) return std::unexpected(take_failure());
  if (close) return false;
  if (!element_after_comma()) return std::unexpected(take_failure());
  return true;
}

JsonResult<bool> JsonReader::next_member(std::string_view& name) {
  bool close;
  if (first_) {
    first_ = false;
    if (!member_start(false, close)) return std::unexpected(take_failure());
  } else {
    if (!after_value(true, close)) return std::unexpected(take_failure());
    if (close) return false;
    if (!member_start(true, close)) return std::unexpected(take_failure());
  }
  if (close) return false;
  if (!scan_string<true>()) return std::unexpected(take_failure());
  name = string_view_of_last();
  skip_white_space();
  return true;
}

JsonResult<void> JsonReader::member_value() {
  if (!colon()) return std::unexpected(take_failure());
  return {};
}

std::string_view JsonReader::string_view_of_last() const {
  if (decoded_) return scratch_;
  return text_.substr(string_start_, string_end_ - string_start_);
}

JsonResult<std::string_view> JsonReader::read_string() {
  ++pos_;
  if (!scan_string<true>()) return std::unexpected(take_failure());
  return string_view_of_last();
}

JsonResult<JsonNumber> JsonReader::read_number() {
  JsonNumber number;
  if (!scan_number(number)) return std::unexpected(take_failure());
  return number;
}

JsonResult<void> JsonReader::read_null() {
  if (!scan_literal("null")) return std::unexpected(take_failure());
  return {};
}

JsonResult<void> JsonReader::skip_value() {
  if (!skip_any()) return std::unexpected(take_failure());
  return {};
}

// The loop behind skip_value(): a value starts at the top of each turn; after a
// scalar or an empty container, the inner loop closes what the value ends and
// steps over the comma (and member name) before the next one.
bool JsonReader::skip_any() {
  BracketStack open;
  for (;;) {
    JsonKind kind;
    if (!value_kind(kind)) return false;
    if (kind == JsonKind::Object) {
      ++pos_;
      bool close;
      if (!member_start(false, close)) return false;
      if (!close) {
        if (!scan_string<false>() || !colon()) return false;
        open.push(true);
        continue;
      }
    } else if (kind == JsonKind::Array) {
      ++pos_;
      skip_white_space();
      if (at_end() || byte() != ']') {
        open.push(false);
        continue;
      }
      ++pos_;
    } else if (!scan_scalar(kind)) {
      return false;
    }
    for (;;) {
      if (open.empty()) return true;
      const bool object = open.top();
      bool close;
      if (!after_value(object, close)) return false;
      if (close) {
        open.pop();
        continue;
      }
      if (object) {
        if (!member_start(true, close) || !scan_string<false>() || !colon()) return false;
      } else if (!element_after_comma()) {
        return false;
      }
      break;
    }
  }
}

bool JsonReader::close_fixed_array() {
  skip_white_space();
  if (at_end()) return fail_end();
  if (byte() == ']') {
    ++pos_;
    return true;
  }
  // Whatever else stands there, a further element, any other byte or a comma that
  // the text ends after, is more than the array holds; only a comma right before the
  // ']' is a trailing comma.
  if (byte() == ',') {
    ++pos_;
    skip_white_space();
    if (at_end()) return fail(JsonFailureKind::TrailingCharacters, "trailing characters", text_.size());
    if (byte() == ']') return fail(JsonFailureKind::TrailingComma, "trailing comma", pos_ + 1);
  }
  return fail(JsonFailureKind::TrailingCharacters, "trailing characters", pos_ + 1);
}

JsonResult<void> JsonReader::end_fixed_array() {
  if (!close_fixed_array()) return std::unexpected(take_failure());
  return {};
}

JsonResult<void> JsonReader::finish() {
  skip_white_space();
  if (at_end()) return {};
  fail(JsonFailureKind::TrailingCharacters, "trailing characters", pos_ + 1);
  return std::unexpected(take_failure());
}

JsonFailure JsonReader::mismatch(JsonKind found, std::string_view expected) {
  if (found == JsonKind::Array || found == JsonKind::Object) {
    ++pos_;
  } else if (found == JsonKind::String) {
    // A string read where it does not belong is still read: its escapes resolve.
    ++pos_;
    if (!scan_string<true>()) return take_failure();
  } else if (!scan_scalar(found)) {
    return take_failure();
  }
  std::string text = "invalid type: ";
  text += json_kind_name(found);
  text += ", expected ";
  text += expected;
  return failure(JsonFailureKind::TypeMismatch, std::move(text));
}

JsonError JsonReader::error(const JsonFailure& failure) const {
  const std::size_t offset = std::min(failure.offset, text_.size());
  const std::string_view read = text_.substr(0, offset);
  const auto line_feeds = static_cast<std::size_t>(std::count(read.begin(), read.end(), '\n'));
  const std::size_t last = read.rfind('\n');
  const std::size_t column = last == std::string_view::npos ? offset : offset - last - 1;
  JsonError error{failure.text};
  error.message += " at line ";
  error.message += std::to_string(line_feeds + 1);
  error.message += " column ";
  error.message += std::to_string(column);
  return error;
}

}  // namespace morvane
