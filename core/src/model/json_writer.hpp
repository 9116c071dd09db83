// JsonWriter: the pretty JSON layout every record of the system is written in.
//
//   {
//     "key": "value",
//     "list": [
//       1.0
//     ],
//     "empty": []
//   }
//
// Two spaces of indent per level, ": " between a key and its value, an empty
// container as its two brackets, no newline at the end. Strings are written as
// they are except the quotation mark, the backslash and the control characters
// below the space (\b \t \n \f \r, else \u00xx in lower-case hex). float32 values
// use the shortest round-trip text; a non-finite one is written as null.
// The writer appends to a caller-owned string and cannot fail.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace morvane {

class JsonWriter {
 public:
  explicit JsonWriter(std::string& out) : out_(out) { open_.reserve(8); }

  void begin_object() {
    open_value();
    out_ += '{';
    open_.push_back(0);
  }
  void end_object() { close('}'); }
  void begin_array() {
    open_value();
    out_ += '[';
    open_.push_back(0);
  }
  void end_array() { close(']'); }

  // A member name inside an object; the next call writes its value.
  void key(std::string_view name);

  void string(std::string_view text) {
    open_value();
    append_escaped(out_, text);
  }
  void float32(float value);
  void uint64(std::uint64_t value);
  void null() {
    open_value();
    out_ += "null";
  }

  // A JSON string, quotes included, with the writer's escapes.
  static void append_escaped(std::string& out, std::string_view text);

 private:
  void open_value();
  void close(char bracket);
  void new_line(std::size_t depth);

  std::string& out_;
  std::vector<std::uint32_t> open_;  // items written so far, one count per open container
  bool after_key_ = false;
};

}  // namespace morvane
