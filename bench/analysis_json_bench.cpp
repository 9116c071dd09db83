// The analysis JSON: writing and reading the worked example's analysis, and reading
// a 10 MiB analysis whose bulk is a member the reader does not know.
#include <benchmark/benchmark.h>

#include <string>

#include "model/forensic_analysis.hpp"
#include "worked_example.hpp"

namespace morvane {
namespace {

ForensicAnalysis worked_example() { return fixtures::worked_example_analysis(); }

// The worked example with an unknown member of at least `bytes` bytes before its
// metadata: records of numbers, texts (escapes and accents included), literals and
// nested containers, laid out like pretty JSON.
std::string large_analysis(std::size_t bytes) {
  static constexpr std::string_view kItem = R"(
    {
      "id": 1048576,
      "label": "Journal: le serveur répond \"500\" après 30 s\ttimeout",
      "values": [0.5, -12, 3.25e-4, 1e400, true, false, null],
      "tags": ["réseau", "base de données", "\u00e9chec"],
      "nested": {"x": [[1, 2], [3, [4, {"y": []}]]], "z": {}}
    })";
  std::string json = worked_example().serialize();
  std::string bulk = "\"attachments\": [";
  bulk.reserve(bytes + kItem.size() + 16);
  while (bulk.size() < bytes) {
    bulk += kItem;
    bulk += ',';
  }
  bulk.back() = '\n';
  bulk += "  ],\n  ";
  json.insert(json.find("\"metadata\""), bulk);
  return json;
}

void BM_WriteWorkedExample(benchmark::State& state) {
  const ForensicAnalysis a = worked_example();
  for (auto _ : state) {
    std::string json = a.serialize();
    benchmark::DoNotOptimize(json);
  }
}
BENCHMARK(BM_WriteWorkedExample);

void BM_ReadWorkedExample(benchmark::State& state) {
  const std::string json = worked_example().serialize();
  for (auto _ : state) {
    auto a = ForensicAnalysis::deserialize(json);
    benchmark::DoNotOptimize(a);
  }
  state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * json.size()));
}
BENCHMARK(BM_ReadWorkedExample);

void BM_Read10MiBUnknownMember(benchmark::State& state) {
  const std::string json = large_analysis(10u << 20);
  if (!ForensicAnalysis::deserialize(json)) state.SkipWithError("the large analysis does not read");
  for (auto _ : state) {
    auto a = ForensicAnalysis::deserialize(json);
    benchmark::DoNotOptimize(a);
  }
  state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * json.size()));
}
BENCHMARK(BM_Read10MiBUnknownMember)->Unit(benchmark::kMillisecond);

}  // namespace
}  // namespace morvane
