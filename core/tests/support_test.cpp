// Support pieces: float32 text forms, timestamps, UUIDs, Unicode helpers, the seeded map,
// the shape of the core's errors, internal failures and the thread they name.
#include <gtest/gtest.h>
#include <pthread.h>
#include <sys/syscall.h>
#include <sys/wait.h>
#include <unistd.h>

#include <bit>
#include <charconv>
#include <cmath>
#include <exception>
#include <limits>
#include <set>
#include <thread>

#include "support/core_error.hpp"
#include "support/float_text.hpp"
#include "support/internal_failure.hpp"
#include "support/seeded_map.hpp"
#include "support/thread_name.hpp"
#include "support/timestamp.hpp"
#include "support/unicode.hpp"
#include "support/uuid.hpp"

namespace morvane {
namespace {

constexpr float kInf = std::numeric_limits<float>::infinity();
constexpr float kNaN = std::numeric_limits<float>::quiet_NaN();

struct FloatCase {
  float value;
  const char* json;
};

TEST(FloatText, JsonForm) {
  const FloatCase cases[] = {
      {1.0f, "1.0"},
      {0.0f, "0.0"},
      {-0.0f, "-0.0"},
      {0.7f, "0.7"},
      {0.7f + 0.1f + 0.1f, "0.90000004"},
      {0.3f + 0.4f, "0.70000005"},
      {0.5f, "0.5"},
      {7.0f, "7.0"},
      {-3.0f, "-3.0"},
      {2.2351742e-8f, "2.2351742e-8"},
      {1e-7f, "1e-7"},
      {1e-6f, "0.000001"},
      {9.999999e-7f, "9.999999e-7"},
      {1.5e13f, "1.5e+13"},
      {1e13f, "1e+13"},
      {9.999999e12f, "9999999000000.0"},
      {123456.0f, "123456.0"},
      {-0.25f, "-0.25"},
      {std::numeric_limits<float>::max(), "3.4028235e+38"},
      {std::numeric_limits<float>::denorm_min(), "1e-45"},
      {kInf, "null"},
      {-kInf, "null"},
      {kNaN, "null"},
  };
  for (const auto& c : cases) EXPECT_EQ(json_float(c.value), c.json) << c.json;
}

TEST(FloatText, JsonFormReadsBackIdentically) {
  // Every finite float written reads back as the same bits.
  for (std::uint32_t bits = 0; bits < 0xFF000000u; bits += 0x00012345u) {
    const float value = std::bit_cast<float>(bits);
    if (!std::isfinite(value)) continue;
    const std::string text = json_float(value);
    double parsed = 0;
    std::from_chars(text.data(), text.data() + text.size(), parsed);
    EXPECT_EQ(std::bit_cast<std::uint32_t>(static_cast<float>(parsed)), bits) << text;
  }
}

struct FixedCase {
  float value;
  int decimals;
  const char* text;
};

TEST(FloatText, FixedForm) {
  const FixedCase cases[] = {
      {0.5f, 2, "0.50"},        {0.6f, 2, "0.60"},  {0.0f, 2, "0.00"},   {2.2351742e-8f, 2, "0.00"},
      {0.59999996f, 2, "0.60"}, {0.75f, 2, "0.75"}, {0.125f, 2, "0.12"},  // exact tie, to even
      {0.375f, 2, "0.38"},      {kInf, 2, "inf"},   {-kInf, 2, "-inf"},  {kNaN, 2, "NaN"},
      {-kNaN, 2, "NaN"},        {12.5f, 0, "12"},   {24.5f, 0, "24"},    {37.5f, 0, "38"},
      {0.5f, 0, "0"},           {150.0f, 0, "150"}, {-0.1f, 0, "-0"},    {-0.4f, 0, "-0"},
      {-0.6f, 0, "-1"},         {70.0f, 0, "70"},   {kNaN, 0, "NaN"},
  };
  for (const auto& c : cases) EXPECT_EQ(fixed(c.value, c.decimals), c.text) << c.text;
}

TEST(FloatText, PlainForm) {
  // clang-format off
  const std::pair<float, const char*> cases[] = {
      {0.52f, "0.52"}, {0.7f, "0.7"},   {1.0f, "1"},     {0.0f, "0"},  {0.5f, "0.5"},
      {1e-7f, "0.0000001"}, {1e13f, "10000000000000"}, {kNaN, "NaN"}, {kInf, "inf"},
      {-kInf, "-inf"}, {0.88000005f, "0.88000005"},
  };
  // clang-format on
  for (const auto& [value, text] : cases) EXPECT_EQ(plain(value), text) << text;
}

TEST(Timestamp, FractionDigits) {
  using namespace std::chrono;
  const sys_days day = 2026y / 12 / 10;
  const auto base = time_point_cast<nanoseconds>(sys_time<nanoseconds>(day) + 10h + 8min + 45s);
  const std::pair<nanoseconds, const char*> cases[] = {
      {0ns, "2026-12-10T10:08:45+00:00"},           {123ms, "2026-12-10T10:08:45.123+00:00"},
      {100ms, "2026-12-10T10:08:45.100+00:00"},     {123456us, "2026-12-10T10:08:45.123456+00:00"},
      {1us, "2026-12-10T10:08:45.000001+00:00"},    {123456789ns, "2026-12-10T10:08:45.123456789+00:00"},
      {1ns, "2026-12-10T10:08:45.000000001+00:00"},
  };
  for (const auto& [offset, text] : cases) {
    EXPECT_EQ(rfc3339(system_clock::time_point(
                  duration_cast<system_clock::duration>(base.time_since_epoch() + offset))),
              text);
  }
  EXPECT_EQ(rfc3339(system_clock::time_point{}), "1970-01-01T00:00:00+00:00");
}

TEST(Timestamp, NowHasTheForm) {
  const std::string now = rfc3339_now();
  EXPECT_EQ(now.substr(now.size() - 6), "+00:00");
  EXPECT_EQ(now[10], 'T');
  EXPECT_EQ(now.find('Z'), std::string::npos);
}

bool is_v4_text(const std::string& text) {
  if (text.size() != 36) return false;
  for (std::size_t i = 0; i < text.size(); ++i) {
    const bool hyphen = i == 8 || i == 13 || i == 18 || i == 23;
    if (hyphen != (text[i] == '-')) return false;
    if (!hyphen && !((text[i] >= '0' && text[i] <= '9') || (text[i] >= 'a' && text[i] <= 'f'))) return false;
  }
  return text[14] == '4' && std::string("89ab").find(text[19]) != std::string::npos;
}

TEST(Uuid, VersionFourTextAndDistinct) {
  std::set<std::string> seen;
  for (int i = 0; i < 2000; ++i) {
    const std::string text = uuid_text(new_uuid_v4());
    ASSERT_TRUE(is_v4_text(text)) << text;
    seen.insert(text);
  }
  EXPECT_EQ(seen.size(), 2000u);
}

TEST(Uuid, TextIsBytesInOrder) {
  Uuid id{};
  for (std::size_t i = 0; i < id.size(); ++i) id[i] = static_cast<std::uint8_t>(i * 17);
  EXPECT_EQ(uuid_text(id), "00112233-4455-6677-8899-aabbccddeeff");
}

TEST(Uuid, ChildAfterForkDrawsNewBytes) {
  new_uuid_v4();  // fill this thread's buffer
  int pipe_fds[2];
  ASSERT_EQ(pipe(pipe_fds), 0);
  const pid_t pid = fork();
  ASSERT_GE(pid, 0);
  if (pid == 0) {
    const std::string text = uuid_text(new_uuid_v4());
    (void)!write(pipe_fds[1], text.data(), text.size());
    _exit(0);
  }
  const std::string parent = uuid_text(new_uuid_v4());
  char buffer[36];
  ASSERT_EQ(read(pipe_fds[0], buffer, sizeof buffer), 36);
  waitpid(pid, nullptr, 0);
  EXPECT_NE(std::string(buffer, 36), parent);
}

TEST(Unicode, LowerCase) {
  const std::pair<const char*, const char*> cases[] = {
      {"FIÈVRE", "fièvre"}, {"Patient Présente", "patient présente"}, {"ÉÀÇÔ", "éàçô"},
      {"İ", "i\xCC\x87"},  // one character becomes two
      {"ΟΔΟΣ", "οδος"},    // final sigma at the end of a word
      {"ΣΑΣ ΣΑ", "σας σα"}, {"ABC def 123", "abc def 123"},           {"", ""},
  };
  for (const auto& [in, out] : cases) EXPECT_EQ(to_lower(in), out) << in;
}

TEST(Unicode, UpperCase) {
  const std::pair<const char*, const char*> cases[] = {
      {"straße", "STRASSE"}, {" x", " X"}, {"finance", "FINANCE"}, {"élan", "ÉLAN"}, {"", ""},
  };
  for (const auto& [in, out] : cases) EXPECT_EQ(to_upper(in), out) << in;
}

TEST(Unicode, TrimWhiteSpace) {
  const std::pair<std::string_view, std::string_view> cases[] = {
      {"  abc  ", "abc"},
      {"\t\n\v\f\r x \r", "x"},
      {"\u00A0\u2000\u3000a b\u2029\u0085", "a b"},
      {"\u200B a", "\u200B a"},  // zero width space is not White_Space
      {"\u1680\u202F\u205F", ""},
      {"", ""},
      {"é", "é"},
  };
  for (const auto& [in, out] : cases) EXPECT_EQ(trim_white_space(in), out);
}

TEST(SeededMap, CopyIteratesInTheSameOrder) {
  TextMap map = new_text_map();
  for (int i = 0; i < 200; ++i) map.emplace("key" + std::to_string(i), "value" + std::to_string(i));
  const TextMap copy = map;
  ASSERT_EQ(copy.size(), map.size());
  auto a = map.begin();
  for (auto b = copy.begin(); b != copy.end(); ++a, ++b) EXPECT_EQ(*a, *b);
  EXPECT_EQ(copy.hash_function().seed(), map.hash_function().seed());
  EXPECT_EQ(map.find(std::string_view("key7"))->second, "value7");
}

TEST(SeededMap, SeedsDiffer) {
  EXPECT_NE(SeededHash().seed(), SeededHash().seed());
  EXPECT_NE(SeededHash(1)("fever"), SeededHash(2)("fever"));
}

TEST(InternalFailure, CarriesMessageAndLocation) {
  try {
    throw InternalFailure("broken");
  } catch (const InternalFailure& failure) {
    EXPECT_STREQ(failure.what(), "broken");
    EXPECT_NE(failure.location().find("support_test.cpp:"), std::string::npos);
  }
}

// The thread a failure reports when it is made on a new thread, named by name_it, and
// carried back here (as the worker pool does).
template <class Name>
std::string thread_reported_from(Name name_it) {
  std::exception_ptr carried;
  std::thread worker([&] {
    name_it();
    carried = std::make_exception_ptr(InternalFailure("broken on a worker"));
  });
  worker.join();
  EXPECT_TRUE(carried);
  if (!carried) return {};
  try {
    std::rethrow_exception(carried);
  } catch (const InternalFailure& failure) {
    return failure.thread();
  }
}

// A failure names the thread it was made on; a name longer than the system keeps is
// reported whole.
TEST(InternalFailure, NamesTheThreadItWasMadeOn) {
  EXPECT_EQ(thread_reported_from([] { pthread_setname_np(pthread_self(), "failing-worker"); }), "failing-worker");
  EXPECT_EQ(thread_reported_from([] { name_this_thread("morvane-pool-123"); }), "morvane-pool-123");
  if (::syscall(SYS_gettid) != ::getpid()) GTEST_SKIP() << "the test does not run on the main thread";
  EXPECT_EQ(InternalFailure("broken on the main thread").thread(), "main");
}

// The core's errors compare by kind and detail both: a test that expects one error
// must not pass on another.
TEST(CoreError, EqualOnlyWhenKindAndDetailAgree) {
  enum class Kind { First, Second };
  using Error = CoreError<Kind>;
  const struct {
    Error left;
    Error right;
    bool equal;
  } cases[] = {
      {Error(Kind::First, "x"), Error(Kind::First, "x"), true},
      {Error(Kind::Second), Error(Kind::Second, ""), true},
      {Error(Kind::First, "x"), Error(Kind::First, "y"), false},
      {Error(Kind::First, "x"), Error(Kind::Second, "x"), false},
      {Error(Kind::First), Error(Kind::Second), false},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.left.detail() + " / " + c.right.detail());
    EXPECT_EQ(c.left == c.right, c.equal);
  }
}

}  // namespace
}  // namespace morvane
