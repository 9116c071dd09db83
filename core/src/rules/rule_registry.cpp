#include "rules/rule_registry.hpp"

#include <unicode/uchar.h>

#include <algorithm>
#include <array>
#include <charconv>

#include "support/float_text.hpp"
#include "support/timestamp.hpp"
#include "support/unicode.hpp"

namespace morvane {
namespace {

struct BuiltinRule {
  std::string_view id;
  std::string_view name;
  std::string_view description;
  std::uint8_t priority;
};

struct BuiltinDomain {
  std::string_view key;
  std::array<BuiltinRule, 5> rules;
};

// Every built-in rule is of category Validation.
constexpr BuiltinDomain kBuiltinRules[] = {
    {"medical",
     {{
         {"MED-001", "Protocole diagnostique", "Suivre les protocoles de diagnostic établis", 9},
         {"MED-002", "Anamnèse complète", "Recueillir l'historique médical complet du patient", 8},
         {"MED-003", "Diagnostic différentiel", "Considérer plusieurs hypothèses diagnostiques", 9},
         {"MED-004", "Principe de précaution", "En cas de doute, privilégier la sécurité du patient", 10},
         {"MED-005", "Evidence-based medicine", "Baser les décisions sur les preuves scientifiques", 8},
     }}},
    {"legal",
     {{
         {"LEG-001", "Hiérarchie des normes", "Respecter la hiérarchie Constitution > Loi > Règlement", 10},
         {"LEG-002", "Interprétation littérale", "Commencer par l'interprétation littérale du texte", 8},
         {"LEG-003", "Intention du législateur", "Considérer l'intention du législateur", 7},
         {"LEG-004", "Jurisprudence", "Tenir compte de la jurisprudence établie", 8},
         {"LEG-005", "Principe de légalité", "Nulla poena sine lege (pas de peine sans loi)", 9},
     }}},
    {"technical",
     {{
         {"TECH-001", "Débogage systématique", "Suivre une approche méthodique de débogage", 9},
         {"TECH-002", "Reproduction du bug", "Reproduire le bug de manière fiable avant de corriger", 8},
         {"TECH-003", "Isolation du problème", "Isoler le composant défaillant", 9},
         {"TECH-004", "Logs et traces", "Analyser les logs et traces d'exécution", 7},
         {"TECH-005", "Tests de régression", "Vérifier que la correction ne casse rien d'autre", 8},
     }}},
};

// The two generic rules of an unknown domain, after its upper-cased name.
struct FallbackRule {
  std::string_view suffix;
  std::string_view name;
  std::string_view description;
  std::uint8_t priority;
};

constexpr FallbackRule kFallbackRules[] = {
    {"-001", "Analyse méthodique", "Suivre une approche méthodique", 7},
    {"-002", "Vérification des faits", "Vérifier les faits avant de conclure", 8},
};

bool is_high_priority(const DomainRule& rule) {
  return rule.priority >= 8 && rule.category != RuleCategory::Protocol;
}

// Computed in float32, each operation rounded, in this order.
float lock_confidence(std::uint64_t rule_count, bool found) {
  float c = static_cast<float>(rule_count) / 5.0f;
  c = std::min(c, 1.0f);
  c = c * 0.3f;
  c = c + (rule_count > 0 ? 0.4f : 0.0f);
  if (found) c = c + 0.3f;
  return std::min(c, 1.0f);
}

void append_decimal(std::string& out, std::uint64_t value) {
  char buffer[24];
  auto [end, ec] = std::to_chars(buffer, buffer + sizeof buffer, value);
  out.append(buffer, end);
}

void append_code_point_escape(std::string& out, char32_t c) {
  char buffer[16];
  auto [end, ec] = std::to_chars(buffer, buffer + sizeof buffer, static_cast<std::uint32_t>(c), 16);
  out += "\\u{";
  out.append(buffer, end);
  out += '}';
}

bool needs_code_point_escape(char32_t c) {
  if (c < 0x80) return c < 0x20 || c == 0x7F;  // Cc; no ASCII character is Grapheme_Extend
  const auto cp = static_cast<UChar32>(c);
  if (u_hasBinaryProperty(cp, UCHAR_GRAPHEME_EXTEND)) return true;
  switch (u_charType(cp)) {
    case U_CONTROL_CHAR:         // Cc
    case U_FORMAT_CHAR:          // Cf
    case U_PRIVATE_USE_CHAR:     // Co
    case U_UNASSIGNED:           // Cn
    case U_LINE_SEPARATOR:       // Zl
    case U_PARAGRAPH_SEPARATOR:  // Zp
    case U_SPACE_SEPARATOR:      // Zs (the ASCII space never gets here)
      return true;
    default: return false;
  }
}

// The payload between its quotation marks, each character by the first rule that fits.
// A byte that is not well-formed UTF-8 is written as U+FFFD, so the text stays UTF-8.
void append_quoted(std::string& out, std::string_view text) {
  out += '"';
  std::size_t pos = 0;
  while (pos < text.size()) {
    const Decoded d = decode_utf8(text, pos);
    const char32_t c = d.code_point;
    switch (c) {
      case '"': out += "\\\""; break;
      case '\\': out += "\\\\"; break;
      case 0: out += "\\0"; break;
      case '\t': out += "\\t"; break;
      case '\n': out += "\\n"; break;
      case '\r': out += "\\r"; break;
      default:
        if (needs_code_point_escape(c)) {
          append_code_point_escape(out, c);
        } else if (c == 0xFFFD && d.length == 1) {
          out += "\xEF\xBF\xBD";
        } else {
          out.append(text.substr(pos, d.length));
        }
    }
    pos += d.length;
  }
  out += '"';
}

constexpr std::string_view kind_name(DomainLockError::Kind kind) {
  constexpr std::string_view kNames[] = {"DomainNotIdentified", "LockFailed", "InvalidDomain",
                                         "NoRulesFound"};
  return kNames[static_cast<std::size_t>(kind)];
}

}  // namespace

RuleRegistry default_rule_registry() {
  RuleRegistry registry;
  registry.rules.reserve(std::size(kBuiltinRules));
  for (const BuiltinDomain& domain : kBuiltinRules) {
    std::vector<DomainRule> rules;
    rules.reserve(domain.rules.size());
    for (const BuiltinRule& rule : domain.rules) {
      rules.push_back(DomainRule{std::string(rule.id), std::string(rule.name), std::string(rule.description),
                                 RuleCategory::Validation, rule.priority});
    }
    registry.rules.emplace(std::string(domain.key), std::move(rules));
  }
  return registry;
}

std::vector<std::string> high_priority_rule_names(const std::vector<DomainRule>& rules) {
  std::vector<std::string> names;
  for (const DomainRule& rule : rules) {
    if (is_high_priority(rule)) names.push_back(rule.name);
  }
  return names;
}

std::expected<ReasoningContext, DomainLockError> lock_domain(const RuleRegistry& registry,
                                                             std::string_view domain,
                                                             std::string_view source) {
  if (trim_white_space(domain).empty()) {
    return std::unexpected(DomainLockError::domain_not_identified());
  }

  std::vector<DomainRule> rules;
  const auto found = registry.rules.find(domain);
  if (found != registry.rules.end()) {
    rules = found->second;
  } else if (!registry.allow_fallback) {
    return std::unexpected(DomainLockError::invalid_domain(std::string(domain)));
  } else {
    const std::string upper = to_upper(domain);
    rules.reserve(std::size(kFallbackRules));
    for (const FallbackRule& rule : kFallbackRules) {
      std::string id;
      id.reserve(upper.size() + rule.suffix.size());
      id += upper;
      id += rule.suffix;
      rules.push_back(DomainRule{std::move(id), std::string(rule.name), std::string(rule.description),
                                 RuleCategory::Validation, rule.priority});
    }
  }

  const std::uint64_t n = rules.size();
  if (n < registry.min_rules) {
    return std::unexpected(DomainLockError::no_rules_found(std::string(domain)));
  }

  const float confidence = lock_confidence(n, found != registry.rules.end());
  if (registry.min_confidence > confidence) {  // a NaN minimum passes
    std::string detail = "Lock confidence ";
    append_plain(detail, confidence);
    detail += " below minimum ";
    append_plain(detail, registry.min_confidence);
    return std::unexpected(DomainLockError::lock_failed(std::move(detail)));
  }

  TextMap metadata = new_text_map(4);
  metadata.emplace("domain", domain);
  std::string count;
  append_decimal(count, n);
  metadata.emplace("rule_count", std::move(count));
  // The names of high_priority_rule_names(rules), joined as they are found.
  std::string high_priority;
  bool first = true;
  for (const DomainRule& rule : rules) {
    if (!is_high_priority(rule)) continue;
    if (!first) high_priority += ", ";
    high_priority += rule.name;
    first = false;
  }
  if (!first) metadata.emplace("high_priority_rules", std::move(high_priority));

  ReasoningContext context;
  context.domain = std::string(domain);
  context.rules = std::move(rules);
  context.timestamp = rfc3339_now();
  context.source = std::string(source);
  context.confidence = confidence;
  context.metadata = std::move(metadata);
  return context;
}

std::string DomainLockError::text() const {
  std::string out(kind_name(kind()));
  if (kind() == Kind::DomainNotIdentified) return out;
  out.reserve(out.size() + detail().size() + 4);
  out += '(';
  append_quoted(out, detail());
  out += ')';
  return out;
}

}  // namespace morvane
