// Reading a ForensicAnalysis (and its AnalysisMetadata) from JSON: each record as
// an object with one slot per field, or as an array of its fields in declared order.
#include <array>
#include <charconv>
#include <cmath>
#include <cstdint>
#include <limits>
#include <string>
#include <string_view>
#include <utility>

#include "model/forensic_analysis.hpp"
#include "model/json_reader.hpp"

namespace morvane {
namespace {

using Status = JsonResult<void>;

#define MORVANE_JSON_TRY(expr)                                                               \
  do {                                                                                       \
    if (auto status_ = (expr); !status_) return std::unexpected(std::move(status_.error())); \
  } while (false)

// A record's shape: its name in type-mismatch texts, its fields in declared order,
// and which of them must be present in the object form.
template <std::size_t N>
struct RecordShape {
  std::string_view name;
  std::array<std::string_view, N> fields;
  std::array<bool, N> required;
};

constexpr RecordShape<5> kAnalysisShape{
    "struct ForensicAnalysis",
    {"facts", "desires", "constraints", "unreliable_indicators", "metadata"},
    {true, true, true, true, true}};

constexpr RecordShape<3> kMetadataShape{
    "struct AnalysisMetadata", {"timestamp", "detected_domain", "confidence"}, {true, false, true}};

JsonFailure record_failure(const JsonReader& r, std::string_view before, std::string_view field) {
  std::string text(before);
  text += '`';
  text += field;
  text += '`';
  return r.failure(JsonFailureKind::Record, std::move(text));
}

// Reads one record in the form its first character chooses; read_field(i) reads
// the value of field i, which stands next.
template <std::size_t N, class ReadField>
Status read_record(JsonReader& r, const RecordShape<N>& shape, ReadField&& read_field) {
  const auto kind = r.peek();
  if (!kind) return std::unexpected(kind.error());
  if (*kind == JsonKind::Object) {
    r.begin_object();
    std::array<bool, N> filled{};
    std::string_view name;
    for (;;) {
      const auto more = r.next_member(name);
      if (!more) return std::unexpected(more.error());
      if (!*more) break;
      std::size_t field = 0;
      while (field < N && shape.fields[field] != name) ++field;
      if (field < N && filled[field])
        return std::unexpected(record_failure(r, "duplicate field ", shape.fields[field]));
      MORVANE_JSON_TRY(r.member_value());
      if (field == N) {
        MORVANE_JSON_TRY(r.skip_value());
      } else {
        MORVANE_JSON_TRY(read_field(field));
        filled[field] = true;
      }
    }
    for (std::size_t field = 0; field < N; ++field) {
      if (!filled[field] && shape.required[field]) {
        return std::unexpected(record_failure(r, "missing field ", shape.fields[field]));
      }
    }
    return {};
  }
  if (*kind == JsonKind::Array) {
    r.begin_array();
    for (std::size_t field = 0; field < N; ++field) {
      const auto more = r.next_element();
      if (!more) return std::unexpected(more.error());
      if (!*more) {
        std::string text = "invalid length " + std::to_string(field) + ", expected ";
        text += shape.name;
        text += " with " + std::to_string(N) + " elements";
        return std::unexpected(r.failure(JsonFailureKind::Record, std::move(text)));
      }
      MORVANE_JSON_TRY(read_field(field));
    }
    return r.end_fixed_array();
  }
  return std::unexpected(r.mismatch(*kind, shape.name));
}

Status read_text(JsonReader& r, std::string& out) {
  const auto kind = r.peek();
  if (!kind) return std::unexpected(kind.error());
  if (*kind != JsonKind::String) return std::unexpected(r.mismatch(*kind, "a string"));
  const auto text = r.read_string();
  if (!text) return std::unexpected(text.error());
  out.assign(*text);
  return {};
}

Status read_text_list(JsonReader& r, std::vector<std::string>& out) {
  const auto kind = r.peek();
  if (!kind) return std::unexpected(kind.error());
  if (*kind != JsonKind::Array) return std::unexpected(r.mismatch(*kind, "an array of strings"));
  r.begin_array();
  for (;;) {
    const auto more = r.next_element();
    if (!more) return std::unexpected(more.error());
    if (!*more) return {};
    MORVANE_JSON_TRY(read_text(r, out.emplace_back()));
  }
}

// A name given twice keeps its last value.
Status read_text_map(JsonReader& r, TextMap& out) {
  const auto kind = r.peek();
  if (!kind) return std::unexpected(kind.error());
  if (*kind != JsonKind::Object) return std::unexpected(r.mismatch(*kind, "an object of strings"));
  r.begin_object();
  std::string_view name;
  std::string key, value;
  for (;;) {
    const auto more = r.next_member(name);
    if (!more) return std::unexpected(more.error());
    if (!*more) return {};
    key.assign(name);  // the next read may reuse the name's storage
    MORVANE_JSON_TRY(r.member_value());
    MORVANE_JSON_TRY(read_text(r, value));
    out.insert_or_assign(std::move(key), std::move(value));
  }
}

Status read_domain(JsonReader& r, std::optional<std::string>& out) {
  const auto kind = r.peek();
  if (!kind) return std::unexpected(kind.error());
  if (*kind == JsonKind::Null) {
    out.reset();
    return r.read_null();
  }
  if (*kind != JsonKind::String) return std::unexpected(r.mismatch(*kind, "a string or null"));
  return read_text(r, out.emplace());
}

// Whether a number that lies beyond a double's range lies near zero (rather than
// beyond the largest double): the decimal exponent of its first non-zero digit is
// negative. Such numbers are hundreds of orders of magnitude from 1, so the
// exponent, saturated, settles it.
bool is_tiny(std::string_view text) {
  std::size_t i = text[0] == '-' ? 1 : 0;
  std::int64_t lead = 0;
  bool found = false;
  const std::size_t integer_start = i;
  while (i < text.size() && text[i] >= '0' && text[i] <= '9') ++i;
  for (std::size_t j = integer_start; j < i && !found; ++j) {
    if (text[j] != '0') {
      lead = static_cast<std::int64_t>(i - j - 1);
      found = true;
    }
  }
  if (i < text.size() && text[i] == '.') {
    const std::size_t fraction_start = ++i;
    while (i < text.size() && text[i] >= '0' && text[i] <= '9') ++i;
    for (std::size_t j = fraction_start; j < i && !found; ++j) {
      if (text[j] != '0') {
        lead = -static_cast<std::int64_t>(j - fraction_start + 1);
        found = true;
      }
    }
  }
  if (!found) return true;
  if (i < text.size() && (text[i] == 'e' || text[i] == 'E')) {
    ++i;
    const bool negative = i < text.size() && text[i] == '-';
    if (i < text.size() && (text[i] == '-' || text[i] == '+')) ++i;
    std::int64_t exponent = 0;
    for (; i < text.size(); ++i)
      exponent = std::min<std::int64_t>(exponent * 10 + (text[i] - '0'), 1'000'000'000'000'000);
    lead += negative ? -exponent : exponent;
  }
  return lead < 0;
}

// Whether `value` lies exactly halfway between `rounded`, its float32, and the
// float on its other side; past the largest float that side counts as 2^128.
bool halfway_between_floats(double value, float rounded) {
  constexpr float kInf = std::numeric_limits<float>::infinity();
  double near = 0.0, far = 0.0;
  if (std::isinf(rounded)) {
    near = std::copysign(0x1p128, value);
    far = std::copysign(static_cast<double>(std::numeric_limits<float>::max()), value);
  } else {
    near = rounded;
    if (near == value) return false;
    const float other = std::nextafter(rounded, value > near ? kInf : -kInf);
    far = std::isinf(other) ? std::copysign(0x1p128, value) : static_cast<double>(other);
  }
  return near + far == 2.0 * value;  // exact: both sides have at most 25 significant bits
}

// An integer in [0, 2^64 - 1] or [-2^63, -1] is rounded once, straight to float32;
// every other number (fraction, exponent, a larger integer, -0) becomes the
// nearest double first, then the nearest float32 with its sign.
JsonResult<float> confidence_value(const JsonReader& r, const JsonNumber& number) {
  const std::string_view text = number.text;
  if (number.integer) {
    const std::string_view digits = number.negative ? text.substr(1) : text;
    std::uint64_t magnitude = 0;
    const auto [end, ec] = std::from_chars(digits.data(), digits.data() + digits.size(), magnitude);
    if (ec == std::errc{} && (!number.negative || (magnitude != 0 && magnitude <= std::uint64_t{1} << 63))) {
      const auto value = static_cast<float>(magnitude);
      return number.negative ? -value : value;
    }
  }
  double value = 0.0;
  const auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), value);
  if (ec == std::errc::result_out_of_range) {
    if (!is_tiny(text))
      return std::unexpected(r.failure(JsonFailureKind::NumberOutOfRange, "number out of range"));
    value = number.negative ? -0.0 : 0.0;
  }
  float result = static_cast<float>(value);
  // A double exactly halfway between two floats may stand for a decimal that is
  // not: rounding it again would break the tie to even, away from the decimal.
  // The float nearest the decimal itself is what a double within the decimal's
  // last place gives, and it keeps every float32 text of the writer exact
  // (7.038531e-26 would otherwise read back as its neighbour).
  if (halfway_between_floats(value, result)) {
    float nearest = 0.0f;
    const auto direct = std::from_chars(text.data(), text.data() + text.size(), nearest);
    if (direct.ec == std::errc{}) result = nearest;
  }
  return result;
}

Status read_confidence(JsonReader& r, float& out) {
  const auto kind = r.peek();
  if (!kind) return std::unexpected(kind.error());
  if (*kind != JsonKind::Number) return std::unexpected(r.mismatch(*kind, "a number"));
  const auto number = r.read_number();
  if (!number) return std::unexpected(number.error());
  const auto value = confidence_value(r, *number);
  if (!value) return std::unexpected(value.error());
  out = *value;
  return {};
}

Status read_analysis(JsonReader& r, ForensicAnalysis& a) {
  return read_record(r, kAnalysisShape, [&](std::size_t field) -> Status {
    switch (field) {
      case 0: return read_text_list(r, a.facts);
      case 1: return read_text_list(r, a.desires);
      case 2: return read_text_map(r, a.constraints);
      case 3: return read_text_list(r, a.unreliable_indicators);
      default: {
        auto metadata = AnalysisMetadata::deserialize(r);
        if (!metadata) return std::unexpected(std::move(metadata.error()));
        a.metadata = *std::move(metadata);
        return {};
      }
    }
  });
}

}  // namespace

std::expected<AnalysisMetadata, JsonFailure> AnalysisMetadata::deserialize(JsonReader& r) {
  AnalysisMetadata m;
  const Status status = read_record(r, kMetadataShape, [&](std::size_t field) -> Status {
    switch (field) {
      case 0: return read_text(r, m.timestamp);
      case 1: return read_domain(r, m.detected_domain);
      default: return read_confidence(r, m.confidence);
    }
  });
  if (!status) return std::unexpected(status.error());
  return m;
}

#undef MORVANE_JSON_TRY

std::expected<ForensicAnalysis, JsonError> ForensicAnalysis::deserialize(std::string_view text) {
  JsonReader r(text);
  ForensicAnalysis analysis;
  auto status = read_analysis(r, analysis);
  if (status) status = r.finish();
  if (!status) return std::unexpected(r.error(status.error()));
  return analysis;
}

}  // namespace morvane
