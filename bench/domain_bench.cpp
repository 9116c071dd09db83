// Per-call costs of the domain adapters: construction (rules and one terminology
// copy), validation of a 200-byte text, a report, a context, a terminology copy.
#include <benchmark/benchmark.h>

#include <string>

#include "domain/medical_adapter.hpp"
#include "domain/terminology.hpp"

namespace morvane {
namespace {

// 200 bytes of a typical medical reasoning text that passes every check.
std::string reasoning_200() {
  std::string text =
      "Patient de 45 ans, anamnèse: fièvre et toux depuis 3 jours. Premier diagnostic "
      "évoqué: pneumopathie; diagnostic différentiel: bronchite, embolie. Urgence vitale "
      "écartée, examen rassurant et stable.";
  text.resize(200, '.');
  return text;
}

void BM_ConstructMedical(benchmark::State& state) {
  medical_terminology();  // the one-time build is not what is measured
  for (auto _ : state) {
    MedicalAdapter adapter;
    benchmark::DoNotOptimize(adapter);
  }
}
BENCHMARK(BM_ConstructMedical);

void BM_ValidateMedical200(benchmark::State& state) {
  const MedicalAdapter adapter;
  const std::string text = reasoning_200();
  for (auto _ : state) benchmark::DoNotOptimize(adapter.validate(text));
  state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * text.size()));
}
BENCHMARK(BM_ValidateMedical200);

void BM_ValidateMedicalEmpty(benchmark::State& state) {
  // Two failing checks: the cost of building issues.
  const MedicalAdapter adapter;
  for (auto _ : state) benchmark::DoNotOptimize(adapter.validate(""));
}
BENCHMARK(BM_ValidateMedicalEmpty);

void BM_FormatOutput(benchmark::State& state) {
  const MedicalAdapter adapter;
  const Verdict verdict{"Pneumopathie communautaire",
                        "Fièvre, toux productive et foyer radiologique",
                        {"Antibiothérapie probabiliste", "Radiographie de contrôle à 6 semaines"},
                        0.82f,
                        0.82f};
  for (auto _ : state) benchmark::DoNotOptimize(adapter.format_output(verdict));
}
BENCHMARK(BM_FormatOutput);

void BM_EnrichContext(benchmark::State& state) {
  const MedicalAdapter adapter;
  const std::string context = "Patient de 45 ans, fièvre et toux depuis 3 jours.";
  for (auto _ : state) benchmark::DoNotOptimize(adapter.enrich_context(context));
}
BENCHMARK(BM_EnrichContext);

void BM_CopyTerminology(benchmark::State& state) {
  const MedicalAdapter adapter;
  for (auto _ : state) {
    TextMap copy = adapter.terminology();
    benchmark::DoNotOptimize(copy);
  }
}
BENCHMARK(BM_CopyTerminology);

void BM_IterateTerminology(benchmark::State& state) {
  // What the bindings walk to fill a dict, without the Python objects.
  const MedicalAdapter adapter;
  for (auto _ : state) {
    std::size_t bytes = 0;
    for (const auto& [key, value] : adapter.terminology()) bytes += key.size() + value.size();
    benchmark::DoNotOptimize(bytes);
  }
}
BENCHMARK(BM_IterateTerminology);

}  // namespace
}  // namespace morvane
