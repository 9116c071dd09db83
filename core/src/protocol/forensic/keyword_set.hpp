// KeywordSet: which of a fixed list of keywords occur in a text, found in one pass
// over its bytes.
//
// A keyword occurs when its bytes appear as a contiguous run in the text (no word
// boundaries). The set is built at compile time from up to 64 keywords, each at least
// two bytes long and beginning with an ASCII lower-case letter; the pass looks up the
// first two bytes of every position in a table of keyword beginnings and compares
// only the keywords that begin there, so its cost does not grow with the number of
// keywords. Bit i of a result stands for the i-th keyword of the list.
#pragma once

#include <array>
#include <bit>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <string_view>

namespace morvane {

template <std::size_t N>
class KeywordSet {
  static_assert(N >= 1 && N <= 64, "a KeywordSet holds 1 to 64 keywords");

 public:
  using Mask = std::uint64_t;
  static constexpr Mask kAll = N == 64 ? ~Mask{0} : (Mask{1} << N) - 1;

  consteval explicit KeywordSet(const std::array<std::string_view, N>& words) : words_(words) {
    std::size_t buckets = 0;
    for (std::size_t i = 0; i < N; ++i) {
      const std::string_view word = words[i];
      if (word.size() < 2 || word[0] < 'a' || word[0] > 'z') {
        throw "a keyword needs two bytes and an ASCII lower-case first letter";
      }
      const std::size_t head = word.size() < 8 ? word.size() : 8;
      for (std::size_t j = 0; j < head; ++j) {
        head_[i] |= std::uint64_t{static_cast<unsigned char>(word[j])} << (8 * j);
        head_mask_[i] |= std::uint64_t{0xFF} << (8 * j);
      }
      std::uint8_t& bucket = bucket_[slot(word[0], word[1])];
      if (bucket == 0) bucket = static_cast<std::uint8_t>(++buckets);
      bucket_words_[bucket] |= Mask{1} << i;
    }
  }

  const std::array<std::string_view, N>& words() const noexcept { return words_; }

  // The keywords among `wanted` that occur in `text`. The pass ends early once all
  // of them have been found.
  Mask occurring(std::string_view text, Mask wanted = kAll) const noexcept {
    return scan(text, wanted, wanted);
  }

  // Whether any keyword occurs; the pass ends at the first one found.
  bool any(std::string_view text) const noexcept { return scan(text, kAll, 0) != 0; }

 private:
  static constexpr std::size_t slot(char first, char second) {
    return static_cast<std::size_t>(static_cast<unsigned char>(first) - 'a') * 256 +
           static_cast<unsigned char>(second);
  }

  // Whether words_[k] occurs at `i`: its first eight bytes (or fewer) are compared in
  // one load when the text has eight bytes left, the rest by memcmp.
  bool occurs_at(std::size_t k, const unsigned char* bytes, std::size_t i, std::size_t size) const noexcept {
    const std::string_view word = words_[k];
    if (word.size() > size - i) return false;
    if (size - i < 8) return std::memcmp(bytes + i, word.data(), word.size()) == 0;
    std::uint64_t head;
    std::memcpy(&head, bytes + i, 8);
    if constexpr (std::endian::native == std::endian::big) head = std::byteswap(head);
    if ((head & head_mask_[k]) != head_[k]) return false;
    return word.size() <= 8 || std::memcmp(bytes + i + 8, word.data() + 8, word.size() - 8) == 0;
  }

  // Found keywords among `wanted`; stops as soon as the found ones cover `enough`
  // (0: at the first one).
  Mask scan(std::string_view text, Mask wanted, Mask enough) const noexcept {
    const auto* bytes = reinterpret_cast<const unsigned char*>(text.data());
    const std::size_t size = text.size();
    Mask found = 0;
    for (std::size_t i = 0; i + 1 < size; ++i) {
      const unsigned letter = bytes[i] - static_cast<unsigned>('a');
      if (letter >= 26) continue;
      const std::uint8_t bucket = bucket_[letter * 256 + bytes[i + 1]];
      if (bucket == 0) continue;
      for (Mask candidates = bucket_words_[bucket] & wanted & ~found; candidates != 0;
           candidates &= candidates - 1) {
        const auto k = static_cast<std::size_t>(std::countr_zero(candidates));
        if (occurs_at(k, bytes, i, size)) {
          found |= Mask{1} << k;
          if ((found & enough) == enough) return found;
        }
      }
    }
    return found;
  }

  std::array<std::string_view, N> words_;
  std::array<std::uint8_t, 26 * 256> bucket_{};  // (first letter, second byte) -> bucket, 0: none
  std::array<Mask, N + 1> bucket_words_{};       // the keywords of each bucket
  std::array<std::uint64_t, N> head_{};          // first eight bytes, first byte lowest
  std::array<std::uint64_t, N> head_mask_{};
};

}  // namespace morvane
