// Forensic deconstruction: the worked example, and French texts of 1 and 2 MiB made
// by repeating realistic sentences (per-call time; the 2 MiB call should cost about
// twice the 1 MiB one).
#include <benchmark/benchmark.h>

#include <cstddef>
#include <string>
#include <string_view>

#include "protocol/forensic/forensic_deconstruction.hpp"

namespace morvane {
namespace {

constexpr std::string_view kWorkedExample =
    "Le serveur ne répond pas. Erreur 500!!! Je pense que c'est la base de données.";

// A medical report with the usual mix: facts, negations, context sentences, goals,
// time and priority words, hesitations and a few exclamations.
constexpr std::string_view kSentences[] = {
    "Le patient présente une fièvre élevée depuis trois jours. ",
    "Il ne répond pas au traitement antibiotique habituel. ",
    "Aucune douleur thoracique n'a été signalée pendant l'examen. ",
    "La famille pense qu'il faut consulter un spécialiste rapidement! ",
    "Je pense que la fatigue vient d'un manque de sommeil prolongé. ",
    "Le médecin de garde a noté une tension artérielle normale. ",
    "Pas de toux ni de gêne respiratoire au réveil ce matin. ",
    "Peut-être une réaction au médicament prescrit la semaine dernière? ",
    "Les résultats du bilan sanguin arrivent demain en fin de matinée. ",
    "Il faut établir un diagnostic précis avant toute décision grave. ",
    "Le patient se plaint toujours de maux de tête en soirée!! ",
    "Selon l'infirmière, l'état général reste stable et rassurant. ",
};

std::string french_text(std::size_t bytes) {
  std::string text;
  text.reserve(bytes + 128);
  for (std::size_t i = 0; text.size() < bytes; ++i) text += kSentences[i % std::size(kSentences)];
  return text;
}

void run(benchmark::State& state, std::string_view input) {
  const ForensicDeconstruction analyzer;
  for (auto _ : state) {
    auto result = analyzer.analyze(input);
    benchmark::DoNotOptimize(result);
  }
  state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations()) *
                          static_cast<std::int64_t>(input.size()));
}

void BM_AnalyzeWorkedExample(benchmark::State& state) { run(state, kWorkedExample); }
BENCHMARK(BM_AnalyzeWorkedExample);

void BM_AnalyzeFrenchText(benchmark::State& state) {
  const std::string text = french_text(static_cast<std::size_t>(state.range(0)) << 20);
  run(state, text);
}
BENCHMARK(BM_AnalyzeFrenchText)->Arg(1)->Arg(2)->Unit(benchmark::kMillisecond);

void BM_DetectDomainWorkedExample(benchmark::State& state) {
  for (auto _ : state) benchmark::DoNotOptimize(detect_domain(kWorkedExample));
}
BENCHMARK(BM_DetectDomainWorkedExample);

}  // namespace
}  // namespace morvane
