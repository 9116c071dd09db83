#include "domain/technical_adapter.hpp"

#include "domain/adapter_frames.hpp"
#include "domain/terminology.hpp"

namespace morvane {
namespace {

constexpr RuleRow kRules[] = {
    {"tech_debug_1", "Débogage systématique", "Reproduction → Isolation → Correction → Test",
     RuleCategory::Protocol, 10},
    {"tech_repro_1", "Reproduction", "Le bug doit être reproductible avant toute correction",
     RuleCategory::Validation, 9},
    {"tech_isolation_1", "Isolation de la cause",
     "Identifier la cause racine précise, pas seulement le symptôme", RuleCategory::Protocol, 8},
    {"tech_logs_1", "Logs et traces", "Toute analyse doit s'appuyer sur des logs ou traces concrètes",
     RuleCategory::Validation, 7},
    {"tech_regression_1", "Tests de régression", "Toute correction doit avoir un test de régression",
     RuleCategory::Validation, 9},
    {"tech_format_1", "Format technique", "Symptôme → Cause racine → Correction → Tests",
     RuleCategory::Format, 6},
};

// Not the order of the rule table.
constexpr ValidationCheck kChecks[] = {
    {[](std::string_view t) { return !contains(t, "reproduction") && !contains(t, "reproduire"); },
     Severity::Warning, "Reproduction du bug non mentionnée", "Décrire comment reproduire le bug",
     "tech_repro_1", 0.8f},
    {[](std::string_view t) { return !contains(t, "log") && !contains(t, "trace") && !contains(t, "stack"); },
     Severity::Warning, "Aucun log ou trace mentionné", "Fournir des logs ou stack traces", "tech_logs_1",
     -0.2f},
    {[](std::string_view t) { return !contains(t, "cause") && !contains(t, "root"); }, Severity::Error,
     "Cause racine non identifiée", "Identifier la cause racine, pas seulement le symptôme",
     "tech_isolation_1", -0.3f},
    {[](std::string_view t) { return !contains(t, "test"); }, Severity::Warning,
     "Tests de régression non mentionnés", "Ajouter des tests de régression", "tech_regression_1", -0.15f},
};

constexpr std::string_view kSuggestions[] = {
    "Décrire la reproduction du bug",
    "Fournir des logs/traces",
    "Identifier la cause racine",
    "Ajouter des tests de régression",
};

constexpr ValidationTable kValidation{kChecks, kSuggestions};

constexpr ReportTemplate kReport = make_report_template(
    "=== RAPPORT TECHNIQUE ===\n\nSYMPTÔME:\n{}\n\nCAUSE RACINE:\n{}\n\nCORRECTION:\n{}\n\n"
    "CERTITUDE: {:.0}%\nQUALITÉ: {:.0}%\n\n=== FIN DU RAPPORT ===",
    {ReportField::Conclusion, ReportField::Justification, ReportField::Recommendations,
     ReportField::Certainty, ReportField::Quality});

constexpr std::string_view kContextBlock =
    "\n\nCONTEXTE TECHNIQUE:\n"
    "- Protocole: Reproduction → Isolation → Correction → Test\n"
    "- Exigence: Bug reproductible + Logs/traces\n"
    "- Focus: Cause racine (pas symptôme)\n"
    "- Validation: Tests de régression obligatoires";
static_assert(kContextBlock.size() == 215);

constexpr AdapterTexts kTexts{kValidation, kReport, kContextBlock};

}  // namespace

TechnicalAdapter::TechnicalAdapter() : AdapterRecord(kRules, "Technical", &technical_terminology, kTexts) {}

}  // namespace morvane
