// TextMap: a text-to-text hash map whose hash is seeded from the operating system's
// random source, so its iteration order differs from map to map and from process to
// process. A copy keeps the seed and the placement of entries, so it iterates in the
// same order as the original. Lookups take string views without building a string.
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <string_view>
#include <unordered_map>

namespace morvane {

class SeededHash {
 public:
  using is_transparent = void;

  SeededHash();  // draws a new seed
  explicit SeededHash(std::uint64_t seed) : seed_(seed) {}

  std::size_t operator()(std::string_view text) const noexcept;
  std::uint64_t seed() const noexcept { return seed_; }

 private:
  std::uint64_t seed_;
};

using TextMap = std::unordered_map<std::string, std::string, SeededHash, std::equal_to<>>;

// A new empty map with a fresh random seed.
inline TextMap new_text_map(std::size_t buckets = 0) { return TextMap(buckets, SeededHash()); }

}  // namespace morvane
