// libFuzzer target for the analysis JSON reader.
//
// On every input:
//   - ForensicAnalysis::deserialize must return (the sanitizers watch for the rest);
//   - a record it reads must write and read back equal (when its confidence is
//     finite; otherwise the written null must be refused), and must hold what
//     nlohmann-json's DOM finds in the same text;
//   - the reader's grammar (skip_value() then finish() over the whole text) must
//     agree with nlohmann::json::accept;
//   - deserialize and that grammar pass must agree: a record read means the
//     grammar holds; a syntax-level failure (unexpected end, syntax, trailing comma)
//     must be the grammar pass's very failure, same text, same position; a failure
//     that the record rules decide (missing / duplicate field, invalid length, type
//     mismatch, number out of range, trailing characters, which an array form of
//     fixed length also raises for anything after its last element, and an
//     unpaired surrogate in a string that is read, since the grammar pass resolves
//     no escape) must not lie beyond a grammar fault: the grammar pass succeeds or
//     fails at that place or later.
//
// Where nlohmann-json and the reader differ by design, the grammar comparison is
// left out, each time in one direction only:
//   - nlohmann rejects invalid UTF-8 inside strings; the reader does not check
//     UTF-8. So "reader accepts, nlohmann refuses" is allowed for a text that is
//     not valid UTF-8.
//   - nlohmann refuses a number whose double is infinite (error 406, 1e400); the
//     reader checks skipped numbers for form only. Allowed when nlohmann's parse
//     fails with out_of_range.
//   - nlohmann refuses a \u escape of a lone surrogate anywhere; the reader
//     refuses it only in a string that it reads, and skips it inside a skipped
//     value. So "reader accepts, nlohmann refuses" is allowed for a text that holds
//     such an escape.
//   - nlohmann skips a leading UTF-8 byte order mark and takes a NUL byte outside
//     a string for the end of the text; for the reader both are bytes that begin
//     no value. So "reader refuses, nlohmann accepts" is allowed for a text that
//     starts with EF BB BF or holds a NUL byte.
#include <bit>
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <limits>
#include <nlohmann/json.hpp>
#include <string>
#include <string_view>

#include "model/forensic_analysis.hpp"
#include "model/json_reader.hpp"

namespace {

using morvane::ForensicAnalysis;
using nlohmann::json;

[[noreturn]] void fault(const char* what, std::string_view input, std::string_view detail = {}) {
  std::fprintf(stderr, "analysis_reader_fuzz: %s\n  input: %.*s\n  detail: %.*s\n", what,
               static_cast<int>(input.size()), input.data(), static_cast<int>(detail.size()), detail.data());
  std::abort();
}

#define CHECK(cond, what, detail)              \
  do {                                         \
    if (!(cond)) fault(what, input, (detail)); \
  } while (false)

// Strict UTF-8 (RFC 3629): no overlong forms, no surrogates, nothing above U+10FFFF.
bool valid_utf8(std::string_view text) {
  const auto* p = reinterpret_cast<const unsigned char*>(text.data());
  const std::size_t n = text.size();
  std::size_t i = 0;
  const auto continuation = [&](std::size_t at, unsigned char lo = 0x80, unsigned char hi = 0xBF) {
    return at < n && p[at] >= lo && p[at] <= hi;
  };
  while (i < n) {
    const unsigned char c = p[i];
    if (c < 0x80) {
      i += 1;
    } else if (c >= 0xC2 && c <= 0xDF) {
      if (!continuation(i + 1)) return false;
      i += 2;
    } else if (c >= 0xE0 && c <= 0xEF) {
      const unsigned char lo = c == 0xE0 ? 0xA0 : 0x80;
      const unsigned char hi = c == 0xED ? 0x9F : 0xBF;
      if (!continuation(i + 1, lo, hi) || !continuation(i + 2)) return false;
      i += 3;
    } else if (c >= 0xF0 && c <= 0xF4) {
      const unsigned char lo = c == 0xF0 ? 0x90 : 0x80;
      const unsigned char hi = c == 0xF4 ? 0x8F : 0xBF;
      if (!continuation(i + 1, lo, hi) || !continuation(i + 2) || !continuation(i + 3)) return false;
      i += 4;
    } else {
      return false;
    }
  }
  return true;
}

// Whether a text that the reader's grammar accepts holds a \u escape of a surrogate
// that is not the first or second half of a pair. Such a text has backslashes only
// inside strings, each one beginning a well-formed escape.
bool has_lone_surrogate(std::string_view text) {
  const auto hex4 = [&](std::size_t at) {
    if (at + 6 > text.size() || text[at] != '\\' || text[at + 1] != 'u') return -1L;
    return std::strtol(std::string(text.substr(at + 2, 4)).c_str(), nullptr, 16);
  };
  for (std::size_t i = text.find('\\'); i != std::string_view::npos; i = text.find('\\', i)) {
    const long unit = hex4(i);
    if (unit < 0) {
      i += 2;  // a one-letter escape
      continue;
    }
    if (unit >= 0xDC00 && unit <= 0xDFFF) return true;
    if (unit >= 0xD800 && unit <= 0xDBFF) {
      const long low = hex4(i + 6);
      if (low < 0xDC00 || low > 0xDFFF) return true;
      i += 6;
    }
    i += 6;
  }
  return false;
}

bool nlohmann_overflows(std::string_view input) {
  try {
    (void)json::parse(input.begin(), input.end());
  } catch (const json::out_of_range&) {
    return true;
  } catch (const json::exception&) {
  }
  return false;
}

// The byte offset that a message's " at line L column C" names.
std::size_t message_offset(std::string_view input, std::string_view message) {
  const std::size_t at = message.rfind(" at line ");
  if (at == std::string_view::npos) fault("message without a position", input, message);
  unsigned long line = 0, column = 0;
  if (std::sscanf(std::string(message.substr(at)).c_str(), " at line %lu column %lu", &line, &column) != 2) {
    fault("unreadable position", input, message);
  }
  std::size_t start = 0;
  for (unsigned long l = 1; l < line; ++l) {
    start = input.find('\n', start);
    if (start == std::string_view::npos) fault("line beyond the text", input, message);
    ++start;
  }
  return start + column;
}

bool decided_by_record(std::string_view message) {
  for (const std::string_view prefix :
       {"missing field `", "duplicate field `", "invalid length ", "invalid type: ", "number out of range",
        "trailing characters", "unpaired surrogate in \\u escape"}) {
    if (message.starts_with(prefix)) return true;
  }
  return false;
}

// Whether `got` is the confidence that a DOM number stands for: an integer rounded
// straight to float32, any other number through its double. nlohmann keeps "-0"
// as the integer 0. A double exactly halfway between two floats may stand for a
// decimal on either side of it, so either float is right there.
bool confidence_matches(const json& number, float got) {
  const auto same = [got](float want) {
    return std::bit_cast<std::uint32_t>(want) == std::bit_cast<std::uint32_t>(got);
  };
  if (number.is_number_unsigned()) return same(static_cast<float>(number.get<std::uint64_t>()));
  if (number.is_number_integer()) {
    const auto value = number.get<std::int64_t>();
    return same(value == 0 ? -0.0f : static_cast<float>(value));
  }
  const double value = number.get<double>();
  const float rounded = static_cast<float>(value);
  if (same(rounded)) return true;
  // The float on the other side of `value`; past the largest float, 2^128 stands
  // for the infinity in the midpoint sum.
  constexpr float kMax = std::numeric_limits<float>::max();
  const float other = std::isinf(rounded) ? std::copysign(kMax, rounded)
                                          : std::nextafter(rounded, value > rounded ? INFINITY : -INFINITY);
  const double near = std::isinf(rounded) ? std::copysign(0x1p128, value) : rounded;
  const double far = std::isinf(other) ? std::copysign(0x1p128, value) : other;
  return near + far == 2.0 * value && same(other);
}

// What nlohmann's DOM finds in a text that deserialize read.
void compare_with_dom(std::string_view input, const ForensicAnalysis& a, const json& j) {
  const bool object = j.is_object();
  const auto field = [&](const json& record, const char* name, std::size_t index) -> const json* {
    if (record.is_object()) return record.contains(name) ? &record.at(name) : nullptr;
    return &record.at(index);
  };
  const auto list = [&](const char* name, std::size_t index, const std::vector<std::string>& got) {
    const json& items = *field(j, name, index);
    CHECK(items.size() == got.size(), "list length differs from the DOM", name);
    for (std::size_t i = 0; i < got.size(); ++i)
      CHECK(items[i].get<std::string>() == got[i], "list item differs", name);
  };
  CHECK(object || j.is_array(), "record is neither object nor array in the DOM", "");
  list("facts", 0, a.facts);
  list("desires", 1, a.desires);
  list("unreliable_indicators", 3, a.unreliable_indicators);
  const json& constraints = *field(j, "constraints", 2);
  CHECK(constraints.size() == a.constraints.size(), "constraints size differs from the DOM", "");
  for (const auto& [key, value] : constraints.items()) {
    const auto found = a.constraints.find(key);
    CHECK(found != a.constraints.end() && found->second == value.get<std::string>(), "constraint differs",
          key);
  }
  const json& metadata = *field(j, "metadata", 4);
  CHECK(field(metadata, "timestamp", 0)->get<std::string>() == a.metadata.timestamp, "timestamp differs", "");
  const json* domain = field(metadata, "detected_domain", 1);
  if (domain == nullptr || domain->is_null()) {
    CHECK(!a.metadata.detected_domain, "domain should be absent", "");
  } else {
    CHECK(a.metadata.detected_domain == domain->get<std::string>(), "domain differs", "");
  }
  CHECK(confidence_matches(*field(metadata, "confidence", 2), a.metadata.confidence),
        "confidence differs from the DOM", std::to_string(a.metadata.confidence));
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string_view input(reinterpret_cast<const char*>(data), size);

  // The reader's grammar alone, and nlohmann's.
  morvane::JsonReader grammar(input);
  auto grammar_status = grammar.skip_value();
  if (grammar_status) grammar_status = grammar.finish();
  const bool grammar_ok = grammar_status.has_value();
  const std::string grammar_message = grammar_ok ? "" : grammar.error(grammar_status.error()).message;
  const bool accepted = json::accept(input.begin(), input.end());
  const bool utf8 = valid_utf8(input);
  if (grammar_ok && !accepted) {
    CHECK(!utf8 || has_lone_surrogate(input) || nlohmann_overflows(input),
          "reader accepts what nlohmann refuses", "");
  }
  if (!grammar_ok && accepted) {
    const bool bom = input.starts_with("\xEF\xBB\xBF");
    const bool nul = input.find('\0') != std::string_view::npos;
    CHECK(bom || nul, "reader refuses what nlohmann accepts", grammar_message);
  }

  const auto read = ForensicAnalysis::deserialize(input);
  if (!read) {
    const std::string& message = read.error().message;
    const std::size_t offset = message_offset(input, message);
    CHECK(offset <= size, "position beyond the text", message);
    if (decided_by_record(message)) {
      CHECK(grammar_ok || message_offset(input, grammar_message) >= offset,
            "record failure reported after a grammar fault", message + " / " + grammar_message);
    } else {
      CHECK(message == grammar_message, "syntax failure differs from the grammar's",
            message + " / " + grammar_message);
    }
    return 0;
  }

  CHECK(grammar_ok, "record read from a text that breaks the grammar", grammar_message);
  const ForensicAnalysis& a = *read;
  if (utf8 && accepted) compare_with_dom(input, a, json::parse(input.begin(), input.end()));

  const std::string written = a.serialize();
  if (utf8) CHECK(json::accept(written), "written text is not JSON", written);
  const auto back = ForensicAnalysis::deserialize(written);
  if (std::isfinite(a.metadata.confidence)) {
    CHECK(back.has_value(), "written record does not read back", back ? "" : back.error().message);
    CHECK(*back == a, "record read back differs", written);
    CHECK(std::bit_cast<std::uint32_t>(back->metadata.confidence) ==
              std::bit_cast<std::uint32_t>(a.metadata.confidence),
          "confidence read back differs", written);
  } else {
    CHECK(!back.has_value() && back.error().message.starts_with("invalid type: null, expected a number"),
          "a null confidence must be refused", written);
  }
  return 0;
}
