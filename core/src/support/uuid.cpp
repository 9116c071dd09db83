#include "support/uuid.hpp"

#include <pthread.h>
#include <sys/random.h>

#include <cerrno>
#include <cstring>
#include <mutex>

#include "support/internal_failure.hpp"

namespace morvane {
namespace {

constexpr std::size_t kBlock = 16 * 256;  // 256 UUIDs per refill: one system call per 4 KiB

struct RandomBuffer {
  std::uint8_t bytes[kBlock];
  std::size_t used = kBlock;  // all used: the first draw refills
};

thread_local RandomBuffer t_buffer;

// Only the forking thread survives in the child: dropping its buffer is enough.
void drop_buffer_in_child() { t_buffer.used = kBlock; }

void register_fork_handler() {
  static std::once_flag once;
  std::call_once(once, [] { pthread_atfork(nullptr, nullptr, drop_buffer_in_child); });
}

}  // namespace

void os_random_bytes(std::span<std::byte> out) {
  std::size_t filled = 0;
  while (filled < out.size()) {
    const ssize_t n = getrandom(out.data() + filled, out.size() - filled, 0);
    if (n < 0) {
      if (errno == EINTR) continue;
      throw InternalFailure(std::string("getrandom failed: ") + std::strerror(errno));
    }
    filled += static_cast<std::size_t>(n);
  }
}

namespace {

// Takes n bytes (n divides the block size) from this thread's buffer.
void take(std::uint8_t* out, std::size_t n) {
  RandomBuffer& buffer = t_buffer;
  if (buffer.used + n > kBlock) {
    register_fork_handler();
    os_random_bytes(std::as_writable_bytes(std::span(buffer.bytes)));
    buffer.used = 0;
  }
  std::memcpy(out, buffer.bytes + buffer.used, n);
  buffer.used += n;
}

}  // namespace

std::uint64_t random_u64() {
  std::uint64_t value;
  take(reinterpret_cast<std::uint8_t*>(&value), sizeof value);
  return value;
}

Uuid new_uuid_v4() {
  Uuid id;
  take(id.data(), id.size());
  id[6] = static_cast<std::uint8_t>((id[6] & 0x0F) | 0x40);  // version 4
  id[8] = static_cast<std::uint8_t>((id[8] & 0x3F) | 0x80);  // RFC 4122 variant
  return id;
}

void append_uuid(std::string& out, const Uuid& id) {
  static constexpr char kHex[] = "0123456789abcdef";
  char text[36];
  std::size_t pos = 0;
  for (std::size_t i = 0; i < id.size(); ++i) {
    if (i == 4 || i == 6 || i == 8 || i == 10) text[pos++] = '-';
    text[pos++] = kHex[id[i] >> 4];
    text[pos++] = kHex[id[i] & 0x0F];
  }
  out.append(text, sizeof text);
}

}  // namespace morvane
