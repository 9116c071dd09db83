#include "domain/legal_adapter.hpp"

#include "domain/adapter_frames.hpp"
#include "domain/terminology.hpp"

namespace morvane {
namespace {

constexpr RuleRow kRules[] = {
    {"legal_hierarchy_1", "Hiérarchie des normes", "Constitution > Loi > Règlement > Contrat",
     RuleCategory::Hierarchy, 10},
    {"legal_literal_1", "Interprétation littérale", "Texte clair = application directe sans interprétation",
     RuleCategory::Interpretation, 9},
    {"legal_intent_1", "Intention du législateur", "Si texte ambigu, chercher l'intention du législateur",
     RuleCategory::Interpretation, 8},
    {"legal_precedent_1", "Précédents jurisprudentiels",
     "Les précédents pertinents doivent être cités et analysés", RuleCategory::Validation, 7},
    {"legal_foundation_1", "Fondement légal", "Toute décision doit avoir un fondement légal explicite",
     RuleCategory::Validation, 10},
    {"legal_format_1", "Format juridique", "Qualification → Fondement → Dispositif", RuleCategory::Format, 6},
};

// Fails when the first "règlement" begins before the first "loi" (found from the start
// of the text, also inside other words); passes when either word is missing.
bool regulation_before_law(std::string_view text) {
  const std::size_t regulation = text.find("règlement");
  if (regulation == std::string_view::npos) return false;
  const std::size_t law = text.find("loi");
  if (law == std::string_view::npos) return false;
  return regulation < law;
}

constexpr ValidationCheck kChecks[] = {
    {[](std::string_view t) {
       return !contains(t, "loi") && !contains(t, "article") && !contains(t, "code") &&
              !contains(t, "constitution");
     },
     Severity::Error, "Fondement légal manquant", "Citer les textes légaux applicables", "legal_foundation_1",
     0.6f},
    {regulation_before_law, Severity::Warning, "Hiérarchie des normes non respectée",
     "La loi prime sur le règlement", "legal_hierarchy_1", -0.2f},
    {[](std::string_view t) { return !contains(t, "jurisprudence") && !contains(t, "précédent"); },
     Severity::Info, "Aucun précédent jurisprudentiel cité", "Citer les précédents pertinents si disponibles",
     "legal_precedent_1", -0.1f},
};

constexpr std::string_view kSuggestions[] = {
    "Citer les fondements légaux explicites",
    "Respecter la hiérarchie des normes",
    "Analyser les précédents jurisprudentiels",
};

constexpr ValidationTable kValidation{kChecks, kSuggestions};

constexpr ReportTemplate kReport = make_report_template(
    "=== AVIS JURIDIQUE ===\n\nQUALIFICATION:\n{}\n\nFONDEMENT:\n{}\n\nDISPOSITIF:\n{}\n\n"
    "CERTITUDE: {:.0}%\nQUALITÉ: {:.0}%\n\n=== FIN DE L'AVIS ===",
    {ReportField::Conclusion, ReportField::Justification, ReportField::Recommendations,
     ReportField::Certainty, ReportField::Quality});

constexpr std::string_view kContextBlock =
    "\n\nCONTEXTE JURIDIQUE:\n"
    "- Hiérarchie: Constitution > Loi > Règlement > Contrat\n"
    "- Interprétation: Littérale si texte clair, intentionnelle si ambigu\n"
    "- Exigence: Fondement légal explicite requis\n"
    "- Format: Qualification → Fondement → Dispositif";
static_assert(kContextBlock.size() == 248);

constexpr AdapterTexts kTexts{kValidation, kReport, kContextBlock};

}  // namespace

LegalAdapter::LegalAdapter() : AdapterRecord(kRules, "Legal", &legal_terminology, kTexts) {}

}  // namespace morvane
