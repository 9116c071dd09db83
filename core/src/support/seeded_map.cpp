#include "support/seeded_map.hpp"

#include <cstring>

#include "support/uuid.hpp"

namespace morvane {
namespace {

constexpr std::uint64_t kMul = 0x9E3779B97F4A7C15ull;

std::uint64_t mix(std::uint64_t h) {
  h ^= h >> 33;
  h *= 0xFF51AFD7ED558CCDull;
  h ^= h >> 33;
  h *= 0xC4CEB9FE1A85EC53ull;
  h ^= h >> 33;
  return h;
}

}  // namespace

SeededHash::SeededHash() : seed_(random_u64()) {}

std::size_t SeededHash::operator()(std::string_view text) const noexcept {
  std::uint64_t h = seed_ ^ (text.size() * kMul);
  const char* p = text.data();
  std::size_t n = text.size();
  while (n >= 8) {
    std::uint64_t chunk;
    std::memcpy(&chunk, p, 8);
    h = (h ^ mix(chunk)) * kMul;
    p += 8;
    n -= 8;
  }
  std::uint64_t tail = 0;
  if (n != 0) std::memcpy(&tail, p, n);
  h = (h ^ mix(tail ^ n)) * kMul;
  return static_cast<std::size_t>(mix(h ^ seed_));
}

}  // namespace morvane
