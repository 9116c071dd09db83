// The analysis that forensic deconstruction makes of the worked example
// "Le serveur ne répond pas. Erreur 500!!! Je pense que c'est la base de données.",
// with a fixed timestamp: the common fixture of the tests and benchmarks.
#pragma once

#include "model/forensic_analysis.hpp"

namespace morvane::fixtures {

inline ForensicAnalysis worked_example_analysis() {
  ForensicAnalysis analysis;
  analysis.facts = {"ABSENCE/NÉGATION: Le serveur ne répond pas", "Erreur 500",
                    "CONTEXTE: Je pense que c'est la base de données"};
  analysis.desires = {"Objectif Indéterminé (Analyse approfondie requise)"};
  analysis.constraints.emplace("domain", "technical");
  analysis.unreliable_indicators = {"Hésitation: 'je pense'", "Émotion forte (Ponctuation excessive)"};
  analysis.metadata = {"2026-12-10T10:08:45.123+00:00", "technical", 0.70000005f};
  return analysis;
}

}  // namespace morvane::fixtures
