#include "domain/terminology.hpp"

#include <atomic>
#include <iterator>
#include <span>
#include <string_view>

namespace morvane {
namespace {

struct TermPair {
  std::string_view key;
  std::string_view value;
};

// The pairs in insertion order.
// clang-format off
constexpr TermPair kMedicalPairs[] = {
    {"fever", "fièvre"}, {"cough", "toux"}, {"fatigue", "fatigue"}, {"headache", "céphalée"},
    {"pain", "douleur"}, {"nausea", "nausée"}, {"vomiting", "vomissement"},
    {"diarrhea", "diarrhée"}, {"dyspnea", "dyspnée"}, {"chest_pain", "douleur thoracique"},
    {"diagnosis", "diagnostic"}, {"differential_diagnosis", "diagnostic différentiel"},
    {"infection", "infection"}, {"inflammation", "inflammation"}, {"disease", "maladie"},
    {"syndrome", "syndrome"}, {"condition", "condition"}, {"examination", "examen"},
    {"physical_exam", "examen physique"}, {"blood_test", "analyse de sang"},
    {"imaging", "imagerie"}, {"xray", "radiographie"}, {"ct_scan", "scanner"}, {"mri", "IRM"},
    {"ultrasound", "échographie"}, {"treatment", "traitement"}, {"medication", "médicament"},
    {"antibiotic", "antibiotique"}, {"analgesic", "analgésique"}, {"surgery", "chirurgie"},
    {"therapy", "thérapie"}, {"prescription", "prescription"}, {"patient", "patient"},
    {"symptom", "symptôme"}, {"sign", "signe"}, {"history", "anamnèse"},
    {"prognosis", "pronostic"}, {"risk", "risque"}, {"complication", "complication"},
    {"emergency", "urgence"}, {"vital", "vital"}, {"chronic", "chronique"}, {"acute", "aigu"},
    {"severe", "sévère"}, {"mild", "léger"}, {"moderate", "modéré"},
    {"contraindication", "contre-indication"}, {"side_effect", "effet secondaire"},
    {"dosage", "posologie"}, {"follow_up", "suivi"},
};
// clang-format on

// clang-format off
constexpr TermPair kTechnicalPairs[] = {
    {"bug", "bug"}, {"error", "erreur"}, {"exception", "exception"}, {"crash", "crash"},
    {"failure", "échec"}, {"fault", "défaut"}, {"defect", "défaut"}, {"debug", "débogage"},
    {"debugger", "débogueur"}, {"breakpoint", "point d'arrêt"}, {"stack_trace", "stack trace"},
    {"backtrace", "backtrace"}, {"log", "log"}, {"trace", "trace"},
    {"root_cause", "cause racine"}, {"symptom", "symptôme"}, {"reproduction", "reproduction"},
    {"isolation", "isolation"}, {"analysis", "analyse"}, {"diagnosis", "diagnostic"},
    {"fix", "correction"}, {"patch", "patch"}, {"workaround", "contournement"},
    {"solution", "solution"}, {"resolution", "résolution"}, {"test", "test"},
    {"unit_test", "test unitaire"}, {"integration_test", "test d'intégration"},
    {"regression_test", "test de régression"}, {"validation", "validation"},
    {"verification", "vérification"}, {"performance", "performance"},
    {"optimization", "optimisation"}, {"bottleneck", "goulot d'étranglement"},
    {"latency", "latence"}, {"throughput", "débit"}, {"code", "code"}, {"function", "fonction"},
    {"method", "méthode"}, {"class", "classe"}, {"module", "module"},
    {"library", "bibliothèque"}, {"framework", "framework"}, {"system", "système"},
    {"memory", "mémoire"}, {"cpu", "processeur"}, {"disk", "disque"}, {"network", "réseau"},
    {"thread", "thread"}, {"process", "processus"}, {"deadlock", "interblocage"},
    {"race_condition", "condition de course"}, {"timeout", "timeout"},
};
// clang-format on

// clang-format off
constexpr TermPair kLegalPairs[] = {
    {"law", "loi"}, {"constitution", "constitution"}, {"regulation", "règlement"},
    {"decree", "décret"}, {"ordinance", "ordonnance"}, {"statute", "statut"}, {"code", "code"},
    {"jurisprudence", "jurisprudence"}, {"precedent", "précédent"},
    {"case_law", "droit jurisprudentiel"}, {"ruling", "arrêt"}, {"judgment", "jugement"},
    {"decision", "décision"}, {"contract", "contrat"}, {"agreement", "accord"},
    {"clause", "clause"}, {"obligation", "obligation"}, {"right", "droit"}, {"duty", "devoir"},
    {"breach", "violation"}, {"liability", "responsabilité"}, {"fault", "faute"},
    {"negligence", "négligence"}, {"damage", "dommage"}, {"compensation", "indemnisation"},
    {"penalty", "pénalité"}, {"procedure", "procédure"}, {"trial", "procès"},
    {"hearing", "audience"}, {"evidence", "preuve"}, {"testimony", "témoignage"},
    {"witness", "témoin"}, {"plaintiff", "demandeur"}, {"defendant", "défendeur"},
    {"judge", "juge"}, {"lawyer", "avocat"}, {"interpretation", "interprétation"},
    {"literal", "littéral"}, {"intent", "intention"}, {"purpose", "finalité"},
    {"spirit", "esprit"}, {"letter", "lettre"}, {"legal", "juridique"}, {"illegal", "illégal"},
    {"valid", "valide"}, {"invalid", "invalide"}, {"enforceable", "exécutoire"},
    {"binding", "contraignant"}, {"void", "nul"}, {"voidable", "annulable"},
};
// clang-format on

static_assert(std::size(kMedicalPairs) == 50);
static_assert(std::size(kTechnicalPairs) == 53);
static_assert(std::size(kLegalPairs) == 50);

TextMap build_map(std::span<const TermPair> pairs) {
  TextMap map = new_text_map(pairs.size());
  for (const TermPair& pair : pairs) map.emplace(pair.key, pair.value);
  return map;
}

// One process-wide map behind a once-guard: not built, building, built. The map is
// never released, so the guard has a trivial destructor and nothing runs at exit.
class OnceMap {
 public:
  explicit constexpr OnceMap(TextMap (*build)()) : build_(build) {}

  const TextMap& get() {
    if (state_.load(std::memory_order_acquire) == Built) return *map_;
    return build_or_wait();
  }

  std::uint32_t builds() const { return builds_.load(std::memory_order_relaxed); }

 private:
  enum State : std::uint8_t { NotBuilt, Building, Built };

  const TextMap& build_or_wait() {
    for (;;) {
      std::uint8_t state = NotBuilt;
      if (state_.compare_exchange_strong(state, Building, std::memory_order_acquire)) {
        try {
          map_ = new TextMap(build_());
        } catch (...) {
          // Let a later access try again instead of leaving waiters asleep forever.
          state_.store(NotBuilt, std::memory_order_release);
          state_.notify_all();
          throw;
        }
        builds_.fetch_add(1, std::memory_order_relaxed);
        state_.store(Built, std::memory_order_release);
        state_.notify_all();
        return *map_;
      }
      if (state == Built) return *map_;
      state_.wait(Building, std::memory_order_acquire);
    }
  }

  TextMap (*build_)();
  std::atomic<std::uint8_t> state_{NotBuilt};
  std::atomic<std::uint32_t> builds_{0};
  const TextMap* map_ = nullptr;
};

constinit OnceMap g_medical{&build_medical_terminology};
constinit OnceMap g_technical{&build_technical_terminology};
constinit OnceMap g_legal{&build_legal_terminology};

}  // namespace

TextMap build_medical_terminology() { return build_map(kMedicalPairs); }
TextMap build_technical_terminology() { return build_map(kTechnicalPairs); }
TextMap build_legal_terminology() { return build_map(kLegalPairs); }

const TextMap& medical_terminology() { return g_medical.get(); }
const TextMap& technical_terminology() { return g_technical.get(); }
const TextMap& legal_terminology() { return g_legal.get(); }

TerminologyBuilds terminology_builds() {
  return {g_medical.builds(), g_technical.builds(), g_legal.builds()};
}

}  // namespace morvane
