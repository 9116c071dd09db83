// The pieces of a text between maximal runs of the sentence separators '.', '!' and
// '?', from its start to its end; empty pieces (before a leading run, after a final
// one) are pieces too. A byte scan, eight bytes at a time: the three separators are
// ASCII, so they never occur inside the encoding of another character, and the
// result is that of splitting at the expression "[.!?]+".
#pragma once

#include <bit>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <string_view>

namespace morvane {

constexpr bool is_sentence_separator(char c) { return c == '.' || c == '!' || c == '?'; }

namespace detail {

// Bit 7 of each byte of `word` equal to `c` is set (and maybe of bytes above the
// lowest such byte, never below it).
constexpr std::uint64_t bytes_equal(std::uint64_t word, char c) {
  constexpr std::uint64_t kOnes = 0x0101010101010101ull;
  const std::uint64_t x = word ^ (kOnes * static_cast<unsigned char>(c));
  return (x - kOnes) & ~x & (kOnes << 7);
}

}  // namespace detail

// The position of the first separator at or after `pos`, or the size of the text.
inline std::size_t find_sentence_separator(std::string_view text, std::size_t pos) {
  const char* data = text.data();
  const std::size_t size = text.size();
  for (; pos + 8 <= size; pos += 8) {
    std::uint64_t word;
    std::memcpy(&word, data + pos, 8);
    if constexpr (std::endian::native == std::endian::big) word = std::byteswap(word);
    const std::uint64_t hits =
        detail::bytes_equal(word, '.') | detail::bytes_equal(word, '!') | detail::bytes_equal(word, '?');
    if (hits != 0) return pos + static_cast<std::size_t>(std::countr_zero(hits)) / 8;
  }
  while (pos < size && !is_sentence_separator(data[pos])) ++pos;
  return pos;
}

// Walks the pieces in order. Every '!' of a text stands in a run, so the runs passed
// over count all of them.
class SentencePieces {
 public:
  explicit SentencePieces(std::string_view text) : text_(text) {}

  // The next piece, or false after the last one.
  bool next(std::string_view& piece) {
    if (done_) return false;
    const std::size_t end = find_sentence_separator(text_, pos_);
    piece = text_.substr(pos_, end - pos_);
    if (end == text_.size()) {
      done_ = true;
    } else {
      for (pos_ = end; pos_ < text_.size() && is_sentence_separator(text_[pos_]); ++pos_) {
        exclamation_marks_ += text_[pos_] == '!';
      }
    }
    return true;
  }

  // Whether the piece last given is the last one.
  bool done() const noexcept { return done_; }

  // The '!' passed over so far.
  std::size_t exclamation_marks() const noexcept { return exclamation_marks_; }

 private:
  std::string_view text_;
  std::size_t pos_ = 0;
  std::size_t exclamation_marks_ = 0;
  bool done_ = false;
};

}  // namespace morvane
