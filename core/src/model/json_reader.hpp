// JsonReader: a strict pull reader over one whole JSON text (RFC 8259).
//
//   JsonReader r(text);
//   auto kind = r.peek();               // kind of the next value, from its first byte
//   r.begin_object();                   // after peek() saw '{'
//   while (*r.next_member(name)) {      // name read, escapes resolved
//     r.member_value();                 // the ':'
//     r.skip_value();                   // or read_string(), read_number(), read_null()...
//   }
//   r.finish();                         // only white space may follow
//
// White space is space, tab, line feed and carriage return. Strings may hold any
// byte from 0x20 up (UTF-8 is not checked); raw control characters below 0x20 are
// errors and escapes are checked for their form. A string that is read (a member
// name, read_string(), one that mismatch() reports) has its escapes resolved, and
// there \uXXXX surrogates must come in valid pairs; skip_value() resolves nothing,
// so a lone surrogate escape passes inside a skipped value, as the grammar allows.
// Numbers are checked for their form only; converting them is the caller's affair.
// Nothing recurses: skip_value() keeps a bit stack of open brackets and skips a
// value of any size and depth.
//
// Every failure is a JsonFailure value: its kind, the offset where reading stopped
// and a text. error() turns it into the JsonError shown to callers, whose message
// ends with " at line L column C" (L: 1 + line feeds read; C: bytes read after the
// last line feed). A failure leaves the reader unusable.
#pragma once

#include <cstddef>
#include <cstdint>
#include <expected>
#include <optional>
#include <string>
#include <string_view>
#include <utility>

#include "model/json_error.hpp"

namespace morvane {

enum class JsonFailureKind : std::uint8_t {
  UnexpectedEnd,       // the text ends inside a value
  Syntax,              // a byte that the grammar does not allow where it stands
  TypeMismatch,        // a well-formed value of the wrong kind for the record
  NumberOutOfRange,    // a number whose 64-bit value would be infinite
  TrailingCharacters,  // more than the value (or the fixed-length array) holds
  TrailingComma,       // a comma just before a closing bracket or brace
  Record,              // the record's own rules: missing, duplicate, length
};

struct JsonFailure {
  JsonFailureKind kind;
  std::size_t offset;  // bytes read when reading stopped
  std::string text;    // what went wrong, without the position
};

template <class T>
using JsonResult = std::expected<T, JsonFailure>;

enum class JsonKind : std::uint8_t { Null, Boolean, Number, String, Array, Object };

// "null", "boolean", "number", "string", "array", "object".
std::string_view json_kind_name(JsonKind kind);

// A number as written, its form checked.
struct JsonNumber {
  std::string_view text;
  bool negative;
  bool integer;  // neither fraction nor exponent
};

class JsonReader {
 public:
  explicit JsonReader(std::string_view text) : text_(text) {}

  // Skips white space and tells the kind of the value that starts there, or fails
  // (end of text, a byte that begins no value). Consumes only the white space.
  JsonResult<JsonKind> peek();

  // Consume the bracket that peek() reported.
  void begin_array() {
    ++pos_;
    first_ = true;
  }
  void begin_object() {
    ++pos_;
    first_ = true;
  }

  // true: an element follows (read it next); false: the ']' has been consumed.
  JsonResult<bool> next_element();
  // true: a member name has been read into `name`, with the white space after it,
  // and the ':' comes next (member_value()); false: the '}' has been consumed.
  // `name` stays valid until the next read.
  JsonResult<bool> next_member(std::string_view& name);
  JsonResult<void> member_value();

  // The value peek() reported. A string view stays valid until the next read.
  JsonResult<std::string_view> read_string();
  JsonResult<JsonNumber> read_number();
  JsonResult<void> read_null();
  // Any value, however large or deep, checked for its form.
  JsonResult<void> skip_value();

  // The end of an array of fixed length whose last element has been read: ']'
  // closes it, a comma then ']' is a trailing-comma failure, and anything else but
  // white space (a further element, any other byte, a comma that ends the text) a
  // trailing-characters failure.
  JsonResult<void> end_fixed_array();
  // The end of the text: only white space may follow.
  JsonResult<void> finish();

  // The failure for a value of kind `found` (as peek() reported it) standing
  // where `expected` belongs. A scalar is read first, so a malformed one gives
  // its syntax failure instead; a bracket is consumed.
  JsonFailure mismatch(JsonKind found, std::string_view expected);
  // A failure at the current position.
  JsonFailure failure(JsonFailureKind kind, std::string text) const { return {kind, pos_, std::move(text)}; }

  // The message shown to callers: the failure's text and its line and column.
  JsonError error(const JsonFailure& failure) const;

  std::size_t offset() const { return pos_; }

 private:
  bool at_end() const { return pos_ >= text_.size(); }
  unsigned char byte() const { return static_cast<unsigned char>(text_[pos_]); }
  void skip_white_space();

  // The steps shared by the pull calls and skip_value(), so that both meet the
  // same faults with the same failures. Each returns false with failure_ set.
  bool value_kind(JsonKind& kind);
  bool member_start(bool after_comma, bool& close);
  bool element_after_comma();
  bool after_value(bool object, bool& close);
  bool colon();
  template <bool kDecode>
  bool scan_string();  // after the opening quote
  template <bool kDecode>
  bool scan_escape();  // after the backslash
  bool scan_hex4(std::uint32_t& value);
  bool scan_number(JsonNumber& number);
  bool scan_literal(std::string_view word);
  bool scan_scalar(JsonKind kind);
  bool skip_any();
  bool close_fixed_array();
  std::string_view string_view_of_last() const;

  bool fail(JsonFailureKind kind, const char* text, std::size_t offset);
  bool fail_here(const char* text) { return fail(JsonFailureKind::Syntax, text, pos_ + 1); }
  bool fail_end() { return fail(JsonFailureKind::UnexpectedEnd, "unexpected end of text", text_.size()); }
  JsonFailure take_failure();

  std::string_view text_;
  std::size_t pos_ = 0;
  bool first_ = false;            // just after an opening bracket
  bool decoded_ = false;          // the last string went through scratch_
  std::size_t string_start_ = 0;  // the last string's content, when not decoded
  std::size_t string_end_ = 0;
  std::string scratch_;  // a string whose escapes have been resolved
  std::optional<JsonFailure> failure_;
};

}  // namespace morvane
