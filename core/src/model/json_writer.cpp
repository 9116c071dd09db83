#include "model/json_writer.hpp"

#include <array>
#include <charconv>

#include "support/float_text.hpp"

namespace morvane {

void JsonWriter::new_line(std::size_t depth) {
  out_ += '\n';
  out_.append(2 * depth, ' ');
}

// Places the next item: a comma after an earlier sibling, then a fresh line.
// A value that follows its key stays on the key's line.
void JsonWriter::open_value() {
  if (after_key_) {
    after_key_ = false;
    return;
  }
  if (open_.empty()) return;
  if (open_.back()++ != 0) out_ += ',';
  new_line(open_.size());
}

void JsonWriter::key(std::string_view name) {
  open_value();
  append_escaped(out_, name);
  out_ += ": ";
  after_key_ = true;
}

void JsonWriter::close(char bracket) {
  const bool had_items = open_.back() != 0;
  open_.pop_back();
  if (had_items) new_line(open_.size());
  out_ += bracket;
}

void JsonWriter::float32(float value) {
  open_value();
  append_json_float(out_, value);
}

void JsonWriter::uint64(std::uint64_t value) {
  open_value();
  char buffer[24];
  auto [end, ec] = std::to_chars(buffer, buffer + sizeof buffer, value);
  out_.append(buffer, end);
}

namespace {

// The bytes written as an escape: the quotation mark, the backslash and the
// control characters below the space.
constexpr auto kNeedsEscape = [] {
  std::array<bool, 256> table{};
  for (int c = 0; c < 0x20; ++c) table[static_cast<std::size_t>(c)] = true;
  table['"'] = table['\\'] = true;
  return table;
}();

}  // namespace

void JsonWriter::append_escaped(std::string& out, std::string_view text) {
  static constexpr char kHex[] = "0123456789abcdef";
  out.reserve(out.size() + text.size() + 2);
  out += '"';
  const char* run = text.data();  // start of the pending run of bytes written as they are
  const char* const end = text.data() + text.size();
  for (const char* p = run; p != end; ++p) {
    const auto c = static_cast<unsigned char>(*p);
    if (!kNeedsEscape[c]) [[likely]] continue;
    out.append(run, p);
    run = p + 1;
    switch (c) {
      case '"': out += "\\\""; break;
      case '\\': out += "\\\\"; break;
      case '\b': out += "\\b"; break;
      case '\t': out += "\\t"; break;
      case '\n': out += "\\n"; break;
      case '\f': out += "\\f"; break;
      case '\r': out += "\\r"; break;
      default: {
        const char escape[] = {'\\', 'u', '0', '0', kHex[c >> 4], kHex[c & 0x0F]};
        out.append(escape, sizeof escape);
      }
    }
  }
  out.append(run, end);
  out += '"';
}

}  // namespace morvane
