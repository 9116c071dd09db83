#include "protocol/forensic/forensic_deconstruction.hpp"

#include <algorithm>
#include <array>
#include <bit>
#include <cstddef>
#include <cstdint>
#include <string>
#include <utility>

#include "protocol/forensic/keyword_set.hpp"
#include "protocol/forensic/negation.hpp"
#include "support/float_text.hpp"
#include "support/internal_failure.hpp"
#include "support/timestamp.hpp"
#include "support/unicode.hpp"

namespace morvane {

std::string ForensicError::text() const {
  switch (kind_) {
    case Kind::InvalidInput: return "Invalid input: " + detail_;
    case Kind::AnalysisFailed: return "Analysis failed: " + detail_;
    case Kind::EmptyInput: return "Empty input provided";
    case Kind::UnreliableNarrator: return "Unreliable narrator detected: " + detail_;
  }
  throw InternalFailure("unknown ForensicError kind");
}

namespace {

// ---------------------------------------------------------------------------------
// Keywords searched in the whole lower-cased text, all in one pass. Each belongs to
// one group; within a group they keep their test order.

enum class Group : std::uint8_t {
  Medical,
  Legal,
  Technical,
  IntentDesire,
  DiagnosisDesire,
  TreatmentDesire,
  ResponsibilityDesire,
  RemediationDesire,
  Temporal,
  Priority,
  Hesitation,
  Generalisation,
};

struct Keyword {
  Group group;
  std::string_view text;
};

constexpr Keyword kTextKeywords[] = {
    // Domain detection: one point per keyword that occurs. "hopital" has no circumflex.
    {Group::Medical, "patient"},
    {Group::Medical, "symptôme"},
    {Group::Medical, "diagnostic"},
    {Group::Medical, "fièvre"},
    {Group::Medical, "médicament"},
    {Group::Medical, "docteur"},
    {Group::Medical, "hopital"},
    {Group::Legal, "contrat"},
    {Group::Legal, "loi"},
    {Group::Legal, "juridique"},
    {Group::Legal, "article"},
    {Group::Legal, "juge"},
    {Group::Legal, "avocat"},
    {Group::Legal, "plainte"},
    {Group::Legal, "droit"},
    {Group::Technical, "serveur"},
    {Group::Technical, "erreur"},
    {Group::Technical, "code"},
    {Group::Technical, "bug"},
    {Group::Technical, "log"},
    {Group::Technical, "api"},
    {Group::Technical, "base de données"},
    {Group::Technical, "crash"},
    // Desire rules: each adds its desire once when any of its keywords occurs.
    {Group::IntentDesire, "je veux"},
    {Group::IntentDesire, "il faut"},
    {Group::IntentDesire, "doit"},
    {Group::DiagnosisDesire, "diagnostic"},
    {Group::DiagnosisDesire, "symptôme"},
    {Group::TreatmentDesire, "traitement"},
    {Group::TreatmentDesire, "soigner"},
    {Group::ResponsibilityDesire, "responsable"},
    {Group::ResponsibilityDesire, "coupable"},
    {Group::RemediationDesire, "réparer"},
    {Group::RemediationDesire, "corriger"},
    // Constraints.
    {Group::Temporal, "depuis"},
    {Group::Temporal, "pendant"},
    {Group::Temporal, "hier"},
    {Group::Temporal, "demain"},
    {Group::Priority, "urgent"},
    {Group::Priority, "immédiat"},
    {Group::Priority, "grave"},
    {Group::Priority, "critique"},
    // Unreliable-narrator phrases, each reported once as listed.
    {Group::Hesitation, "je pense"},
    {Group::Hesitation, "peut-être"},
    {Group::Hesitation, "il me semble"},
    {Group::Hesitation, "probablement"},
    {Group::Hesitation, "je crois"},
    {Group::Generalisation, "toujours"},
    {Group::Generalisation, "jamais"},
    {Group::Generalisation, "tout le monde"},
    {Group::Generalisation, "personne"},
};

constexpr std::size_t kTextKeywordCount = std::size(kTextKeywords);

consteval std::array<std::string_view, kTextKeywordCount> text_keyword_words() {
  std::array<std::string_view, kTextKeywordCount> words{};
  for (std::size_t i = 0; i < kTextKeywordCount; ++i) words[i] = kTextKeywords[i].text;
  return words;
}

using TextKeywordSet = KeywordSet<kTextKeywordCount>;
using Mask = TextKeywordSet::Mask;

constexpr TextKeywordSet kTextKeywordSet(text_keyword_words());

constexpr std::size_t kGroupCount = static_cast<std::size_t>(Group::Generalisation) + 1;

// The keywords of each group, as bits of a pass's result.
constexpr std::array<Mask, kGroupCount> kGroupMasks = [] {
  std::array<Mask, kGroupCount> masks{};
  for (std::size_t i = 0; i < kTextKeywordCount; ++i) {
    masks[static_cast<std::size_t>(kTextKeywords[i].group)] |= Mask{1} << i;
  }
  return masks;
}();

constexpr Mask mask_of(Group group) { return kGroupMasks[static_cast<std::size_t>(group)]; }

constexpr Mask kDetectionMask =
    mask_of(Group::Medical) | mask_of(Group::Legal) | mask_of(Group::Technical);

constexpr std::pair<Group, std::string_view> kDesires[] = {
    {Group::IntentDesire, "Intention Explicite détectée"},
    {Group::DiagnosisDesire, "Diagnostic Médical"},
    {Group::TreatmentDesire, "Plan de Traitement"},
    {Group::ResponsibilityDesire, "Attribution de Responsabilité"},
    {Group::RemediationDesire, "Remédiation Technique"},
};
constexpr std::string_view kFallbackDesire = "Objectif Indéterminé (Analyse approfondie requise)";

// ---------------------------------------------------------------------------------
// Domain detection.

enum class Domain : std::uint8_t { Medical, Legal, Technical };

constexpr std::string_view domain_name(Domain domain) {
  switch (domain) {
    case Domain::Medical: return "medical";
    case Domain::Legal: return "legal";
    case Domain::Technical: return "technical";
  }
  return {};
}

// Ties go to medical over both others, and to legal over technical.
std::optional<Domain> domain_of(Mask found) {
  const int medical = std::popcount(found & mask_of(Group::Medical));
  const int legal = std::popcount(found & mask_of(Group::Legal));
  const int technical = std::popcount(found & mask_of(Group::Technical));
  if (medical > 0 && medical >= legal && medical >= technical) return Domain::Medical;
  if (legal > 0 && legal >= technical) return Domain::Legal;
  if (technical > 0) return Domain::Technical;
  return std::nullopt;
}

// ---------------------------------------------------------------------------------
// Facts: keywords searched in each lower-cased sentence, chosen by the detected domain.
// Only whether one occurs matters, not which.

constexpr KeywordSet<10> kMedicalFacts({"présente", "symptôme", "fièvre", "douleur", "toux",
                                        "fatigue", "diagnostic", "maladie", "patient", "tension"});
constexpr KeywordSet<10> kLegalFacts({"article", "loi", "contrat", "clause", "responsabilité",
                                      "droit", "règlement", "jugement", "faute", "dommage"});
constexpr KeywordSet<11> kTechnicalFacts({"error", "erreur", "bug", "fail", "crash", "log",
                                          "exception", "timeout", "connexion", "serveur", "code"});
constexpr KeywordSet<5> kGeneralFacts({"présente", "observe", "constate", "est", "a été"});

bool holds_fact_keyword(std::optional<Domain> domain, std::string_view lowered) {
  if (!domain) return kGeneralFacts.any(lowered);
  switch (*domain) {
    case Domain::Medical: return kMedicalFacts.any(lowered);
    case Domain::Legal: return kLegalFacts.any(lowered);
    case Domain::Technical: return kTechnicalFacts.any(lowered);
  }
  return false;
}

constexpr std::size_t kMinPieceBytes = 5;
constexpr std::size_t kMinContextBytes = 31;
constexpr std::string_view kNegationPrefix = "ABSENCE/NÉGATION: ";
constexpr std::string_view kContextPrefix = "CONTEXTE: ";

constexpr bool is_separator(char c) { return c == '.' || c == '!' || c == '?'; }

// The pieces of a text between maximal runs of '.', '!' and '?', from its start to
// its end, empty ones included. A byte scan: the three are ASCII, so they never occur
// inside the encoding of another character.
class Pieces {
 public:
  explicit Pieces(std::string_view text) : text_(text) {}

  bool next(std::string_view& piece) {
    if (done_) return false;
    std::size_t end = pos_;
    while (end < text_.size() && !is_separator(text_[end])) ++end;
    piece = text_.substr(pos_, end - pos_);
    if (end == text_.size()) {
      done_ = true;
    } else {
      pos_ = end;
      while (pos_ < text_.size() && is_separator(text_[pos_])) ++pos_;
    }
    return true;
  }

 private:
  std::string_view text_;
  std::size_t pos_ = 0;
  bool done_ = false;
};

std::string prefixed(std::string_view prefix, std::string_view text) {
  std::string out;
  out.reserve(prefix.size() + text.size());
  out.append(prefix).append(text);
  return out;
}

// `lowered` is the lower-cased `input`. Lower-casing maps no character to '.', '!',
// '?' or white space and leaves those unchanged, so both texts split into the same
// pieces, and a piece of `lowered` is its piece of `input` lower-cased (but for the
// final or non-final form of a Greek sigma, which no keyword holds). Keywords neither
// begin nor end with white space, so the untrimmed lower-cased piece serves for them.
std::vector<std::string> facts_of(std::string_view input, std::string_view lowered,
                                  std::optional<Domain> domain) {
  std::vector<std::string> facts;
  Pieces pieces(input);
  Pieces lowered_pieces(lowered);
  std::string_view piece;
  std::string_view lowered_piece;
  while (pieces.next(piece)) {
    if (!lowered_pieces.next(lowered_piece)) {
      throw InternalFailure("lower-cased text splits into fewer sentences");
    }
    const std::string_view trimmed = trim_white_space(piece);
    if (trimmed.size() < kMinPieceBytes) continue;
    if (holds_fact_keyword(domain, lowered_piece)) {
      if (states_negation(trimmed)) {
        facts.push_back(prefixed(kNegationPrefix, trimmed));
      } else {
        facts.emplace_back(trimmed);
      }
    } else if (trimmed.size() >= kMinContextBytes) {
      facts.push_back(prefixed(kContextPrefix, trimmed));
    }
  }
  if (lowered_pieces.next(lowered_piece)) {
    throw InternalFailure("lower-cased text splits into more sentences");
  }
  return facts;
}

// ---------------------------------------------------------------------------------

std::vector<std::string> desires_of(Mask found) {
  std::vector<std::string> desires;
  for (const auto& [group, desire] : kDesires) {
    if ((found & mask_of(group)) != 0) desires.emplace_back(desire);
  }
  if (desires.empty()) desires.emplace_back(kFallbackDesire);
  return desires;
}

constexpr std::string_view kHesitationOpen = "Hésitation: '";
constexpr std::string_view kGeneralisationOpen = "Généralisation abusive: '";
constexpr std::string_view kStrongEmotion = "Émotion forte (Ponctuation excessive)";
constexpr std::size_t kStrongEmotionMarks = 3;

// Indicators in test order: the hesitations, the generalisations (the bits of each
// group ascend in table order), then the strong emotion.
std::vector<std::string> indicators_of(Mask found, std::string_view input) {
  std::vector<std::string> indicators;
  const auto add_phrases = [&](Group group, std::string_view open) {
    for (Mask m = found & mask_of(group); m != 0; m &= m - 1) {
      const std::string_view phrase = kTextKeywords[std::countr_zero(m)].text;
      std::string text;
      text.reserve(open.size() + phrase.size() + 1);
      text.append(open).append(phrase).push_back('\'');
      indicators.push_back(std::move(text));
    }
  };
  add_phrases(Group::Hesitation, kHesitationOpen);
  add_phrases(Group::Generalisation, kGeneralisationOpen);
  if (static_cast<std::size_t>(std::count(input.begin(), input.end(), '!')) >= kStrongEmotionMarks) {
    indicators.emplace_back(kStrongEmotion);
  }
  return indicators;
}

// Each operation rounds to float32, in this order; the result is not tidied, so
// 0.7 + 0.1 + 0.1 stays 0.90000004.
float confidence_of(const ForensicAnalysis& analysis) {
  float confidence = analysis.facts.empty() ? 0.5f : 0.7f;
  if (!analysis.desires.empty()) confidence += 0.1f;
  if (!analysis.constraints.empty()) confidence += 0.1f;
  const float penalty = static_cast<float>(analysis.unreliable_indicators.size()) * 0.1f;
  confidence -= penalty;
  if (analysis.facts.size() < 2) confidence += -0.1f;
  if (confidence < 0.0f) confidence = 0.0f;
  if (confidence > 1.0f) confidence = 1.0f;
  return confidence;
}

}  // namespace

std::optional<std::string_view> detect_domain(std::string_view text) {
  const std::optional<Domain> domain =
      domain_of(kTextKeywordSet.occurring(to_lower(text), kDetectionMask));
  if (!domain) return std::nullopt;
  return domain_name(*domain);
}

std::expected<ForensicAnalysis, ForensicError> ForensicDeconstruction::analyze(
    std::string_view input) const {
  if (trim_white_space(input).empty()) return std::unexpected(ForensicError::empty_input());

  // The text is lower-cased once; one pass finds every keyword of the whole text, and
  // its pieces serve the per-sentence tests.
  const std::string lowered = to_lower(input);
  const Mask found = kTextKeywordSet.occurring(lowered);
  // Detection sees the same text for the metadata and for the "domain" constraint.
  const std::optional<Domain> domain = domain_of(found);

  ForensicAnalysis analysis;
  analysis.facts = facts_of(input, lowered, domain);
  analysis.desires = desires_of(found);
  if (config_.extract_constraints) {
    if (domain) analysis.constraints.emplace("domain", domain_name(*domain));
    if ((found & mask_of(Group::Temporal)) != 0) analysis.constraints.emplace("temporal", "explicit");
    if ((found & mask_of(Group::Priority)) != 0) analysis.constraints.emplace("priority", "high");
  }
  if (config_.detect_unreliable_narrator) {
    analysis.unreliable_indicators = indicators_of(found, input);
  }

  const float confidence = confidence_of(analysis);
  // A plain ordered comparison: a NaN minimum never fails.
  if (config_.min_confidence > confidence) {
    std::string detail = "Confidence ";
    append_fixed(detail, confidence, 2);
    detail += " below minimum ";
    append_fixed(detail, config_.min_confidence, 2);
    return std::unexpected(ForensicError::analysis_failed(std::move(detail)));
  }

  analysis.metadata.timestamp = rfc3339_now();
  if (domain) analysis.metadata.detected_domain.emplace(domain_name(*domain));
  analysis.metadata.confidence = confidence;
  return analysis;
}

}  // namespace morvane
