// The analysis JSON: the writer's layout, the reader's record rules and failures,
// write-then-read round trips, and values of any depth.
#include <gtest/gtest.h>

#include <bit>
#include <cmath>
#include <cstdint>
#include <limits>
#include <random>
#include <string>
#include <vector>

#include "model/forensic_analysis.hpp"
#include "model/json_reader.hpp"
#include "model/json_writer.hpp"
#include "worked_example.hpp"

namespace morvane {
namespace {

constexpr float kInf = std::numeric_limits<float>::infinity();

ForensicAnalysis make_analysis(std::vector<std::string> facts, std::vector<std::string> desires,
                               std::vector<std::pair<std::string, std::string>> constraints,
                               std::vector<std::string> indicators, AnalysisMetadata metadata) {
  ForensicAnalysis a;
  a.facts = std::move(facts);
  a.desires = std::move(desires);
  for (auto& [k, v] : constraints) a.constraints.emplace(k, v);
  a.unreliable_indicators = std::move(indicators);
  a.metadata = std::move(metadata);
  return a;
}

ForensicAnalysis worked_example() { return fixtures::worked_example_analysis(); }

// ---------------------------------------------------------------------------
// Writing

TEST(AnalysisWriter, Layout) {
  struct Case {
    ForensicAnalysis analysis;
    const char* json;
  };
  const Case cases[] = {
      {worked_example(), R"j({
  "facts": [
    "ABSENCE/NÉGATION: Le serveur ne répond pas",
    "Erreur 500",
    "CONTEXTE: Je pense que c'est la base de données"
  ],
  "desires": [
    "Objectif Indéterminé (Analyse approfondie requise)"
  ],
  "constraints": {
    "domain": "technical"
  },
  "unreliable_indicators": [
    "Hésitation: 'je pense'",
    "Émotion forte (Ponctuation excessive)"
  ],
  "metadata": {
    "timestamp": "2026-12-10T10:08:45.123+00:00",
    "detected_domain": "technical",
    "confidence": 0.70000005
  }
})j"},
      // Escapes, empty containers, an absent domain.
      {make_analysis({"a \"q\" \\ b/", std::string("\b\t\n\f\r\x01\x1f\x7f\0z", 10)}, {},
                     {{"k\"ey", "v\\al"}}, {}, {"", std::nullopt, 0.90000004f}),
       R"j({
  "facts": [
    "a \"q\" \\ b/",
    "\b\t\n\f\r\u0001\u001f)j"
       "\x7f"
       R"j(\u0000z"
  ],
  "desires": [],
  "constraints": {
    "k\"ey": "v\\al"
  },
  "unreliable_indicators": [],
  "metadata": {
    "timestamp": "",
    "detected_domain": null,
    "confidence": 0.90000004
  }
})j"},
      // A confidence that is not finite is written as null.
      {make_analysis({}, {}, {}, {}, {"t", "medical", -kInf}), R"j({
  "facts": [],
  "desires": [],
  "constraints": {},
  "unreliable_indicators": [],
  "metadata": {
    "timestamp": "t",
    "detected_domain": "medical",
    "confidence": null
  }
})j"},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(c.analysis.serialize(), c.json);
  }
}

// ---------------------------------------------------------------------------
// Reading: failures

// A text with one '|' where reading must stop: the text without it, and the
// position suffix that the message must end with.
struct Marked {
  std::string text;
  std::string position;
};

Marked unmark(std::string_view marked) {
  const std::size_t at = marked.find('|');
  EXPECT_NE(at, std::string_view::npos) << marked;
  const std::string_view read = marked.substr(0, at);
  const std::size_t last = read.rfind('\n');
  const std::size_t line = 1 + static_cast<std::size_t>(std::count(read.begin(), read.end(), '\n'));
  const std::size_t column = last == std::string_view::npos ? at : at - last - 1;
  return {std::string(read) + std::string(marked.substr(at + 1)),
          " at line " + std::to_string(line) + " column " + std::to_string(column)};
}

std::string with_metadata(std::string_view metadata) {
  return R"({"facts": [], "desires": [], "constraints": {}, "unreliable_indicators": [], "metadata": )" +
         std::string(metadata) + "}";
}

constexpr std::string_view kValid =
    R"({"facts": [], "desires": [], "constraints": {}, "unreliable_indicators": [], "metadata": {"timestamp": "t", "confidence": 1}})";

struct FailureCase {
  std::string marked;
  std::string message;
};

void expect_failures(const std::vector<FailureCase>& cases) {
  for (const auto& c : cases) {
    const Marked m = unmark(c.marked);
    SCOPED_TRACE(m.text);
    const auto result = ForensicAnalysis::deserialize(m.text);
    ASSERT_FALSE(result.has_value());
    EXPECT_EQ(result.error().message, c.message + m.position);
  }
}

// The writer skips clean text eight bytes at a time: every escaped byte must be found
// wherever it falls in a word, and bytes at or above 0x7f must never be escaped.
TEST(AnalysisWriter, EscapesAtEveryPositionOfAWord) {
  const std::pair<char, std::string_view> escapes[] = {
      {'"', "\\\""}, {'\\', "\\\\"}, {'\n', "\\n"},     {'\t', "\\t"},       {'\b', "\\b"},
      {'\f', "\\f"}, {'\r', "\\r"},  {'\0', "\\u0000"}, {'\x1f', "\\u001f"}, {'\x01', "\\u0001"},
  };
  const std::string filler = "abcdefghijklmnopqrst\x7f\xc3\xa9!";
  for (const auto& [byte, escaped] : escapes) {
    for (std::size_t at = 0; at <= filler.size(); ++at) {
      std::string text = filler;
      text.insert(at, 1, byte);
      std::string expected = "\"" + filler.substr(0, at);
      expected += escaped;
      expected += filler.substr(at) + "\"";
      std::string out;
      JsonWriter::append_escaped(out, text);
      EXPECT_EQ(out, expected) << "byte " << int(byte) << " at " << at;
    }
  }
}

TEST(AnalysisReader, RecordFailures) {
  expect_failures({
      // Missing fields, in declared order, just after the closing brace.
      {"{}|", "missing field `facts`"},
      {R"({"desires": [], "facts": []}|)", "missing field `constraints`"},
      {R"({"Facts": [], "desires": [], "constraints": {}, "unreliable_indicators": [], "metadata": {"timestamp": "", "confidence": 0}}|)",
       "missing field `facts`"},
      {with_metadata("{}|"), "missing field `timestamp`"},
      {with_metadata(R"({"timestamp": "t", "detected_domain": "legal"}|)"), "missing field `confidence`"},
      // Duplicates, before the value is read, after the name and its white space.
      {R"({"facts": [], "facts" |: [1, )", "duplicate field `facts`"},
      {"{\"facts\": [],\n \"facts\"\n   |: 0}", "duplicate field `facts`"},
      {R"({"metadata": {"timestamp": "", "confidence": 0}, "metadata"|:)", "duplicate field `metadata`"},
      {with_metadata(
           R"({"detected_domain": null, "detected_domain" |: "x", "timestamp": "t", "confidence": 1})"),
       "duplicate field `detected_domain`"},
      {with_metadata(R"({"timestamp": "t", "confidence": 1, "confidence"|: 1})"),
       "duplicate field `confidence`"},
      // Array forms that close too early, just after the bracket.
      {"[]|", "invalid length 0, expected struct ForensicAnalysis with 5 elements"},
      {R"([["a"], [], {}]|)", "invalid length 3, expected struct ForensicAnalysis with 5 elements"},
      {R"([[], [], {}, [], ["t", null]|])",
       "invalid length 2, expected struct AnalysisMetadata with 3 elements"},
      {R"({"metadata": []|})", "invalid length 0, expected struct AnalysisMetadata with 3 elements"},
  });
}

TEST(AnalysisReader, TypeMismatches) {
  expect_failures({
      {R"("facts"|)", "invalid type: string, expected struct ForensicAnalysis"},
      {"  null|", "invalid type: null, expected struct ForensicAnalysis"},
      {"-1.5e3|", "invalid type: number, expected struct ForensicAnalysis"},
      {"false|", "invalid type: boolean, expected struct ForensicAnalysis"},
      {R"([[], [], {}, [], "meta"|])", "invalid type: string, expected struct AnalysisMetadata"},
      {R"({"metadata": 0|})", "invalid type: number, expected struct AnalysisMetadata"},
      {R"({"facts": {|}})", "invalid type: object, expected an array of strings"},
      {R"({"facts": ["a", 7|]})", "invalid type: number, expected a string"},
      {R"({"unreliable_indicators": null|})", "invalid type: null, expected an array of strings"},
      {R"({"constraints": [|]})", "invalid type: array, expected an object of strings"},
      {R"({"constraints": {"domain": null|}})", "invalid type: null, expected a string"},
      {with_metadata(R"({"timestamp": 5|})"), "invalid type: number, expected a string"},
      {with_metadata(R"({"timestamp": "t", "detected_domain": false|})"),
       "invalid type: boolean, expected a string or null"},
      {with_metadata(R"({"timestamp": "t", "confidence": "0.5"|})"),
       "invalid type: string, expected a number"},
      {with_metadata(R"({"timestamp": "t", "confidence": true|})"),
       "invalid type: boolean, expected a number"},
      {with_metadata(R"({"timestamp": "t", "confidence": null|})"), "invalid type: null, expected a number"},
      {with_metadata(R"(["t", null, {|}])"), "invalid type: object, expected a number"},
      // A malformed scalar is a syntax failure, not a mismatch.
      {R"({"facts": [nulx|]})", "invalid literal"},
      {R"({"facts": ["a\q|"]})", "invalid escape"},
  });
}

TEST(AnalysisReader, NumberTrailingAndCommaFailures) {
  expect_failures({
      {with_metadata(R"({"timestamp": "t", "confidence": 1e400|})"), "number out of range"},
      {with_metadata(R"({"timestamp": "t", "confidence": -17976931348623159e292|})"), "number out of range"},
      {std::string(kValid) + " \n x|", "trailing characters"},
      {std::string(kValid) + "}|", "trailing characters"},
      {R"([[], [], {}, [], ["t", null, 1], 7|])", "trailing characters"},
      {R"([[], [], {}, [], ["t", null, 1], ]|)", "trailing comma"},
      {R"([[], [], {}, [], ["t", null, 1, 2|]])", "trailing characters"},
      {R"([[], [], {}, [], ["t", null, 1,]|])", "trailing comma"},
      // After the last element of an array form, a token without a comma too.
      {R"([["f"], [], {}, [], ["t", null, 0.5] 1|])", "trailing characters"},
      {R"([["f"], [], {}, [], ["t", null, 0.5 1|]])", "trailing characters"},
      {R"([[], [], {}, [], ["t", null, 1 }|])", "trailing characters"},
      // A comma that the text ends after is more than the array holds, too.
      {R"([[], [], {}, [], ["t", null, 1],|)", "trailing characters"},
      {"[[], [], {}, [], [\"t\", null, 1], \n |", "trailing characters"},
      {R"([[], [], {}, [], ["t", null, 1,|)", "trailing characters"},
      {R"({"facts": [], "metadata": ["t", null, 1,|)", "trailing characters"},
      {R"([[], [], {}, [], ["t", null, 1]|)", "unexpected end of text"},
      {R"([[], [], {}, [], ["t", null, 1|)", "unexpected end of text"},
      {R"({"facts": [],}|)", "trailing comma"},
      {R"({"facts": ["a",]|})", "trailing comma"},
      {R"({"constraints": {"a": "b",}|})", "trailing comma"},
  });
}

TEST(AnalysisReader, SyntaxFailures) {
  expect_failures({
      {"|", "unexpected end of text"},
      {" \n\t\r |", "unexpected end of text"},
      {"@|", "expected a value"},
      {"\xEF|\xBB\xBF{}", "expected a value"},
      {R"({"facts" [|]})", "expected `:`"},
      {R"({"facts": [] "|desires": []})", "expected `,` or `}`"},
      {R"({"facts": ["a" "|b"]})", "expected `,` or `]`"},
      {R"({1|: 2})", "expected a member name"},
      {R"({"facts": ["abc|)", "unexpected end of text"},
      {"{\"facts\": [\"a\t|b\"]}", "control character in string"},
      {R"({"facts": ["\ud800"|]})", "unpaired surrogate in \\u escape"},
      {R"({"facts": ["\udc00|"]})", "unpaired surrogate in \\u escape"},
      {R"({"facts": ["\ud800\u0041|"]})", "unpaired surrogate in \\u escape"},
      {R"({"facts": ["\ud800\n|"]})", "unpaired surrogate in \\u escape"},
      {R"({"facts": ["\u12g|4"]})", "invalid \\u escape"},
      // Member names and mismatched strings are read, so their escapes must decode.
      {R"({"\udc00|": 1})", "unpaired surrogate in \\u escape"},
      {R"({"facts": "\ud800"|})", "unpaired surrogate in \\u escape"},
      {R"({"x": "\ud83d\ude00\u12g|4"})", "invalid \\u escape"},
      // Skipped values are checked for their form.
      {R"({"x": 01|})", "invalid number"},
      {R"({"x": -a|})", "invalid number"},
      {R"({"x": 1.e|5})", "invalid number"},
      {R"({"x": 1e+}|)", "invalid number"},
      {R"({"x": [1, 2,]|})", "trailing comma"},
      {R"({"x": {"a": 1,}|})", "trailing comma"},
      {R"({"x": {"a" 1|}})", "expected `:`"},
      {R"({"x": [trux|]})", "invalid literal"},
      {R"({"x": [nul|)", "unexpected end of text"},
      {R"({"x": [[{"a": 1}]|)", "unexpected end of text"},
      {R"({"x": [1}|)", "expected `,` or `]`"},
      {R"({"x": {"a": 1]|)", "expected `,` or `}`"},
      {R"({"x": "a\u00e9\x|"})", "invalid escape"},
      // A NUL byte is a character like any other: not the end of the text.
      {std::string("{\"x\": \0|}", 9), "expected a value"},
      {std::string("{\"x\": \"a\0|\"}", 12), "control character in string"},
      {std::string(kValid) + std::string("\0|", 2), "trailing characters"},
  });
}

// ---------------------------------------------------------------------------
// Reading: records

TEST(AnalysisReader, ReadsBothForms) {
  const auto object = ForensicAnalysis::deserialize(
      R"({"metadata": {"confidence": 0.5, "detected_domain": "astrologie", "timestamp": ""},
          "unreliable_indicators": ["u"], "constraints": {"domain": "legal", "domain": "medical"},
          "desires": [], "facts": ["a", "b"]})");
  ASSERT_TRUE(object.has_value()) << object.error().message;
  EXPECT_EQ(*object, make_analysis({"a", "b"}, {}, {{"domain", "medical"}}, {"u"}, {"", "astrologie", 0.5f}));

  const auto array = ForensicAnalysis::deserialize(R"([["a"], ["d"], {"k": "v"}, ["u"], ["t", null, 7]])");
  ASSERT_TRUE(array.has_value()) << array.error().message;
  EXPECT_EQ(*array, make_analysis({"a"}, {"d"}, {{"k", "v"}}, {"u"}, {"t", std::nullopt, 7.0f}));

  // The metadata's own first character chooses its form.
  const auto mixed =
      ForensicAnalysis::deserialize(R"([[], [], {}, [], {"timestamp": "t", "confidence": 1}])");
  ASSERT_TRUE(mixed.has_value()) << mixed.error().message;
  const auto mixed2 = ForensicAnalysis::deserialize(with_metadata(R"(["t", "legal", 1])"));
  ASSERT_TRUE(mixed2.has_value()) << mixed2.error().message;
  EXPECT_EQ(mixed2->metadata.detected_domain, "legal");
}

TEST(AnalysisReader, SkipsUnknownMembersAndResolvesEscapedNames) {
  // A skipped string is never decoded: a lone surrogate escape is well-formed there.
  const auto a = ForensicAnalysis::deserialize(
      " \r\n\t{\"timestamp\": {\"a\": [1e400, -0.0e-999, true, false, null, {}, [[]], \"\\u00e9\"]},\n"
      R"( "x": "\udc00", "y": {"\ud800": ["\ud800\u0041", "\udfff\ud800"]},)"
      R"( "Facts": ["ignored"], "f\u0061cts": ["x"], "desires": [], "constraints": {},)"
      R"( "unreliable_indicators": [], "metadata": {"timestamp": "t", "confidence": 1, "extra": [1]}})"
      "\n \t\r\n");
  ASSERT_TRUE(a.has_value()) << a.error().message;
  EXPECT_EQ(a->facts, std::vector<std::string>{"x"});
  EXPECT_EQ(a->metadata.detected_domain, std::nullopt);
}

TEST(AnalysisReader, ResolvesStringEscapes) {
  const auto a = ForensicAnalysis::deserialize(
      with_metadata(R"(["\"\\\/\b\f\n\r\t \u00e9\u00C9 \u20ac \ud83d\ude00 \u0000 é )"
                    "\xff"
                    R"(", null, 1])"));
  ASSERT_TRUE(a.has_value()) << a.error().message;
  EXPECT_EQ(a->metadata.timestamp, std::string("\"\\/\b\f\n\r\t éÉ € 😀 \0 é \xff", 29));
}

TEST(AnalysisReader, ConfidenceNumbers) {
  struct Case {
    const char* json;
    float value;
  };
  const Case cases[] = {
      {"1", 1.0f},
      {"7", 7.0f},
      {"-3", -3.0f},
      {"0", 0.0f},
      {"-0", -0.0f},
      {"-0.0", -0.0f},
      {"0.90000004", 0.90000004f},
      {"0.70000005", 0.70000005f},
      {"1e-7", 1e-7f},
      {"1.5e+13", 1.5e13f},
      {"1E2", 100.0f},
      {"1e39", kInf},
      {"-1e39", -kInf},
      {"1e-50", 0.0f},
      {"-1e-50", -0.0f},
      {"1e-400", 0.0f},
      {"-0.00000000000000000000000000000000000000000000000001e-300", -0.0f},
      {"18446744073709551615", 18446744073709551615.0f},
      {"-9223372036854775808", -9223372036854775808.0f},
      // 2^60 + 2^36 + 1 lies just above the midpoint of two floats, and its nearest
      // double is that midpoint: rounding that double again would break the tie to
      // even, below the number. Each form reads as the float above.
      {"1152921573326323713", 1152921642045800448.0f},
      {"-1152921573326323713", -1152921642045800448.0f},
      {"1152921573326323713.0", 1152921642045800448.0f},
      {"1152921573326323712.0", 1152921504606846976.0f},  // the midpoint itself: to even
      // The writer's text for a float32 whose nearest double is such a midpoint.
      {"7.038531e-26", 7.038531e-26f},
      {"-7.038531e-26", -7.038531e-26f},
      // Just below and at the midpoint between the largest float and 2^128.
      {"340282356779733661637539395458142568447", std::numeric_limits<float>::max()},
      {"-340282356779733661637539395458142568447", -std::numeric_limits<float>::max()},
      {"340282356779733661637539395458142568448", kInf},
      {"18446744073709551617", 18446744073709551616.0f},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.json);
    const auto a = ForensicAnalysis::deserialize(
        with_metadata(std::string(R"({"timestamp": "", "confidence": )") + c.json + "}"));
    ASSERT_TRUE(a.has_value()) << a.error().message;
    EXPECT_EQ(std::bit_cast<std::uint32_t>(a->metadata.confidence), std::bit_cast<std::uint32_t>(c.value));
  }
}

// ---------------------------------------------------------------------------
// Round trips and depth

std::string random_text(std::mt19937_64& rng) {
  // clang-format off
  static const std::vector<std::string> pieces = {
      "a", "Z", " ", "0", "\"", "\\", "/", "\b", "\t", "\n", "\f", "\r", std::string(1, '\0'), "\x01",
      "\x1f", "\x7f", "é", "É", "ü", "€", "😀", "ne répond pas", "{", "]", ":", ","};
  // clang-format on
  std::string text;
  const auto length = rng() % 12;
  for (std::uint64_t i = 0; i < length; ++i) text += pieces[rng() % pieces.size()];
  return text;
}

std::vector<std::string> random_list(std::mt19937_64& rng) {
  std::vector<std::string> list(rng() % 5);
  for (auto& text : list) text = random_text(rng);
  return list;
}

float random_finite_float(std::mt19937_64& rng) {
  for (;;) {
    float f;
    switch (rng() % 4) {
      case 0: f = std::bit_cast<float>(static_cast<std::uint32_t>(rng())); break;
      case 1: f = static_cast<float>(rng() % 1000) / 1000.0f; break;
      case 2: f = std::bit_cast<float>(static_cast<std::uint32_t>(rng() % 0x800000)); break;  // subnormal
      default: f = (rng() % 2) ? -0.0f : std::numeric_limits<float>::max(); break;
    }
    if (std::isfinite(f)) return f;
  }
}

TEST(AnalysisJson, WriteThenReadGivesTheSameRecord) {
  std::mt19937_64 rng(20261210);
  for (int i = 0; i < 400; ++i) {
    ForensicAnalysis a;
    a.facts = random_list(rng);
    a.desires = random_list(rng);
    for (auto n = rng() % 5; n > 0; --n) a.constraints.insert_or_assign(random_text(rng), random_text(rng));
    a.unreliable_indicators = random_list(rng);
    a.metadata.timestamp = random_text(rng);
    if (rng() % 3 != 0) a.metadata.detected_domain = random_text(rng);
    a.metadata.confidence = random_finite_float(rng);

    const std::string json = a.serialize();
    SCOPED_TRACE(json);
    const auto back = ForensicAnalysis::deserialize(json);
    ASSERT_TRUE(back.has_value()) << back.error().message;
    EXPECT_EQ(*back, a);
    EXPECT_EQ(std::bit_cast<std::uint32_t>(back->metadata.confidence),
              std::bit_cast<std::uint32_t>(a.metadata.confidence));
  }
}

// The metadata on its own: the value it writes, read back by its own reader, which
// stops just after that value in either form.
TEST(AnalysisJson, MetadataAlone) {
  const AnalysisMetadata m{"t", "legal", 0.90000004f};
  std::string json;
  JsonWriter w(json);
  m.serialize(w);
  EXPECT_EQ(json,
            "{\n  \"timestamp\": \"t\",\n  \"detected_domain\": \"legal\",\n  \"confidence\": 0.90000004\n}");
  for (const std::string& text : {json + " ,", std::string(R"(["t", "legal", 0.90000004] ,)")}) {
    SCOPED_TRACE(text);
    JsonReader r(text);
    const auto back = AnalysisMetadata::deserialize(r);
    ASSERT_TRUE(back.has_value()) << r.error(back.error()).message;
    EXPECT_EQ(*back, m);
    EXPECT_EQ(r.offset(), text.size() - 2);
  }
}

TEST(AnalysisJson, NonFiniteConfidenceDoesNotReadBack) {
  const ForensicAnalysis a = make_analysis({}, {}, {}, {}, {"t", std::nullopt, kInf});
  const std::string json = a.serialize();
  const auto back = ForensicAnalysis::deserialize(json);
  ASSERT_FALSE(back.has_value());
  EXPECT_EQ(back.error().message, "invalid type: null, expected a number at line 9 column 22");
}

TEST(AnalysisReader, SkipsAMillionNestedArrays) {
  constexpr std::size_t kDepth = 1'000'000;
  const std::string deep = std::string(kDepth, '[') + std::string(kDepth, ']');
  const auto a = ForensicAnalysis::deserialize(R"({"deep": )" + deep +
                                               R"(, "facts": ["f"], "desires": [],)"
                                               R"( "constraints": {}, "unreliable_indicators": [],)"
                                               R"( "metadata": {"timestamp": "t", "confidence": 1}})");
  ASSERT_TRUE(a.has_value()) << a.error().message;
  EXPECT_EQ(a->facts, std::vector<std::string>{"f"});

  const auto open = ForensicAnalysis::deserialize(R"({"deep": )" + std::string(kDepth, '['));
  ASSERT_FALSE(open.has_value());
  EXPECT_EQ(open.error().message, "unexpected end of text at line 1 column " + std::to_string(kDepth + 9));
}

// Objects and arrays mixed past the first 64 levels: each closing bracket must
// match the kind of the bracket it closes.
TEST(AnalysisReader, SkipTracksBracketKindsAtAnyDepth) {
  constexpr int kDepth = 200;
  const auto is_object = [](int level) { return level % 3 == 0 || level == 130; };
  std::string open, close;
  for (int level = 0; level < kDepth; ++level) open += is_object(level) ? R"({"k": )" : "[1, ";
  for (int level = kDepth - 1; level >= 0; --level) close += is_object(level) ? '}' : ']';
  const std::string rest = R"(, "facts": [], "desires": [], "constraints": {}, "unreliable_indicators": [],)"
                           R"( "metadata": {"timestamp": "t", "confidence": 1}})";
  const std::string prefix = R"({"deep": )" + open + "0";

  const auto good = ForensicAnalysis::deserialize(prefix + close + rest);
  ASSERT_TRUE(good.has_value()) << good.error().message;

  std::string wrong = close;
  wrong[kDepth - 1 - 130] = ']';  // level 130 is an object
  const auto bad = ForensicAnalysis::deserialize(prefix + wrong + rest);
  ASSERT_FALSE(bad.has_value());
  EXPECT_EQ(bad.error().message,
            "expected `,` or `}` at line 1 column " + std::to_string(prefix.size() + kDepth - 130));
}

}  // namespace
}  // namespace morvane
