#include "domain/medical_adapter.hpp"

#include "domain/adapter_frames.hpp"
#include "domain/terminology.hpp"

namespace morvane {
namespace {

constexpr RuleRow kRules[] = {
    {"med_protocol_1", "Protocole diagnostique",
     "Anamnèse → Examen physique → Hypothèses → Tests → Diagnostic", RuleCategory::Protocol, 10},
    {"med_evidence_1", "Evidence-based medicine",
     "Toute recommandation doit être basée sur des preuves scientifiques", RuleCategory::Validation, 9},
    {"med_safety_1", "Précaution et sécurité", "Éliminer les urgences vitales en premier",
     RuleCategory::Protocol, 10},
    {"med_differential_1", "Diagnostic différentiel", "Considérer au moins 3 hypothèses diagnostiques",
     RuleCategory::Protocol, 8},
    {"med_hierarchy_1", "Hiérarchie diagnostique", "Symptômes → Syndromes → Diagnostics",
     RuleCategory::Hierarchy, 7},
    {"med_contraindication_1", "Contre-indications",
     "Vérifier les contre-indications avant toute prescription", RuleCategory::Validation, 9},
};

// True when `word` occurs at least `wanted` times, counted left to right without overlap.
bool occurs_at_least(std::string_view text, std::string_view word, int wanted) {
  int found = 0;
  for (std::size_t at = text.find(word); at != std::string_view::npos;
       at = text.find(word, at + word.size())) {
    if (++found == wanted) return true;
  }
  return false;
}

constexpr ValidationCheck kChecks[] = {
    {[](std::string_view t) { return !contains(t, "anamnèse") && !contains(t, "history"); },
     Severity::Warning, "Anamnèse non mentionnée dans le raisonnement", "Inclure l'anamnèse du patient",
     "med_protocol_1", 0.9f},
    {[](std::string_view t) { return !occurs_at_least(t, "diagnostic", 2); }, Severity::Warning,
     "Diagnostic différentiel insuffisant", "Considérer au moins 3 hypothèses diagnostiques",
     "med_differential_1", -0.15f},
    {[](std::string_view t) {
       return (contains(t, "urgence") || contains(t, "emergency")) && !contains(t, "vital") &&
              !contains(t, "immédiat");
     },
     Severity::Error, "Urgence vitale non évaluée", "Évaluer le caractère vital de l'urgence", "med_safety_1",
     -0.3f},
};

constexpr std::string_view kSuggestions[] = {
    "Suivre le protocole diagnostique complet",
    "Développer le diagnostic différentiel",
    "Évaluer les urgences vitales",
};

constexpr ValidationTable kValidation{kChecks, kSuggestions};

constexpr ReportTemplate kReport = make_report_template(
    "=== RAPPORT MÉDICAL ===\n\nDIAGNOSTIC:\n{}\n\nJUSTIFICATION:\n{}\n\nCERTITUDE: {:.0}%\n"
    "QUALITÉ: {:.0}%\n\nRECOMMANDATIONS:\n{}\n\n=== FIN DU RAPPORT ===",
    {ReportField::Conclusion, ReportField::Justification, ReportField::Certainty, ReportField::Quality,
     ReportField::Recommendations});

constexpr std::string_view kContextBlock =
    "\n\nCONTEXTE MÉDICAL:\n"
    "- Protocole: Anamnèse → Examen → Hypothèses → Tests → Diagnostic\n"
    "- Priorité: Urgences vitales en premier\n"
    "- Exigence: Diagnostic différentiel (≥3 hypothèses)\n"
    "- Base: Evidence-based medicine";
static_assert(kContextBlock.size() == 224);

constexpr AdapterTexts kTexts{kValidation, kReport, kContextBlock};

}  // namespace

MedicalAdapter::MedicalAdapter() : AdapterRecord(kRules, "Medical", &medical_terminology, kTexts) {}

}  // namespace morvane
