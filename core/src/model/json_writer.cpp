#include "model/json_writer.hpp"

#include <array>
#include <charconv>
#include <cstring>

#include "support/float_text.hpp"

namespace morvane {

void JsonWriter::new_line(std::size_t depth) {
  // A line break and the indent in one append; deeper levels than the table holds
  // (never reached by the system's records) take a second one.
  static constexpr std::string_view kBreak =
      "\n                                                                ";
  const std::size_t spaces = 2 * depth;
  if (spaces < kBreak.size()) {
    out_.append(kBreak.data(), spaces + 1);
  } else {
    out_ += '\n';
    out_.append(spaces, ' ');
  }
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

// True when one of the 8 bytes of `word` must be escaped: below 0x20, '"' or '\\'.
constexpr bool word_needs_escape(std::uint64_t word) {
  constexpr std::uint64_t kOnes = 0x0101010101010101ull;
  constexpr std::uint64_t kHigh = 0x8080808080808080ull;
  const auto has_zero = [](std::uint64_t x) { return ((x - kOnes) & ~x & kHigh) != 0; };
  const bool control = ((word - kOnes * 0x20) & ~word & kHigh) != 0;
  return control || has_zero(word ^ (kOnes * '"')) || has_zero(word ^ (kOnes * '\\'));
}

void JsonWriter::append_escaped(std::string& out, std::string_view text) {
  static constexpr char kHex[] = "0123456789abcdef";
  out.reserve(out.size() + text.size() + 2);
  out += '"';
  const char* run = text.data();  // start of the pending run of bytes written as they are
  const char* const end = text.data() + text.size();
  const char* p = run;
  while (p != end) {
    // Skip clean words eight bytes at a time, then look at single bytes.
    while (end - p >= 8) {
      std::uint64_t word;
      std::memcpy(&word, p, 8);
      if (word_needs_escape(word)) break;
      p += 8;
    }
    if (p == end) break;
    const auto c = static_cast<unsigned char>(*p);
    if (!kNeedsEscape[c]) {
      ++p;
      continue;
    }
    out.append(run, p);
    run = ++p;
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
