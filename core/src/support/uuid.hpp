// Random version-4 UUIDs.
//
// Bytes come from the kernel's random source (getrandom), drawn into a small
// per-thread buffer that is refilled in blocks; a child process drops the buffer
// after fork, so parent and child never hand out the same identifiers.
// Text form: 36 lower-case characters, groups of 8-4-4-4-12, first byte first.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <span>
#include <string>

namespace morvane {

using Uuid = std::array<std::uint8_t, 16>;

Uuid new_uuid_v4();
void append_uuid(std::string& out, const Uuid& id);
inline std::string uuid_text(const Uuid& id) {
  std::string s;
  append_uuid(s, id);
  return s;
}

// Fills `out` from the operating system's random source (no buffering).
void os_random_bytes(std::span<std::byte> out);

// 64 random bits from the same per-thread buffer as the UUIDs (hash seeds).
std::uint64_t random_u64();

}  // namespace morvane
