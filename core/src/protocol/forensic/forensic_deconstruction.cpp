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
#include "protocol/forensic/sentence_pieces.hpp"
#include "support/float_text.hpp"
#include "support/internal_failure.hpp"
#include "support/timestamp.hpp"
#include "support/unicode.hpp"

namespace morvane {

std::string ForensicError::text() const {
  switch (kind()) {
    case Kind::InvalidInput: return "Invalid input: " + detail();
    case Kind::AnalysisFailed: return "Analysis failed: " + detail();
    case Kind::EmptyInput: return "Empty input provided";
    case Kind::UnreliableNarrator: return "Unreliable narrator detected: " + detail();
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

constexpr Mask kDetectionMask = mask_of(Group::Medical) | mask_of(Group::Legal) | mask_of(Group::Technical);

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
// Fact keywords, searched in each lower-cased piece. The list that counts is chosen
// by the detected domain ("general" when none), which is known only once the whole
// text has been searched: each piece is searched for all four lists at once, and only
// whether a list has a keyword in the piece matters, not which.

enum class FactList : std::uint8_t { Medical, Legal, Technical, General };

struct FactKeyword {
  FactList list;
  std::string_view text;
};

// clang-format off
constexpr FactKeyword kFactKeywords[] = {
    {FactList::Medical, "présente"},
    {FactList::Medical, "symptôme"},
    {FactList::Medical, "fièvre"},
    {FactList::Medical, "douleur"},
    {FactList::Medical, "toux"},
    {FactList::Medical, "fatigue"},
    {FactList::Medical, "diagnostic"},
    {FactList::Medical, "maladie"},
    {FactList::Medical, "patient"},
    {FactList::Medical, "tension"},
    {FactList::Legal, "article"},
    {FactList::Legal, "loi"},
    {FactList::Legal, "contrat"},
    {FactList::Legal, "clause"},
    {FactList::Legal, "responsabilité"},
    {FactList::Legal, "droit"},
    {FactList::Legal, "règlement"},
    {FactList::Legal, "jugement"},
    {FactList::Legal, "faute"},
    {FactList::Legal, "dommage"},
    {FactList::Technical, "error"},
    {FactList::Technical, "erreur"},
    {FactList::Technical, "bug"},
    {FactList::Technical, "fail"},
    {FactList::Technical, "crash"},
    {FactList::Technical, "log"},
    {FactList::Technical, "exception"},
    {FactList::Technical, "timeout"},
    {FactList::Technical, "connexion"},
    {FactList::Technical, "serveur"},
    {FactList::Technical, "code"},
    {FactList::General, "présente"},
    {FactList::General, "observe"},
    {FactList::General, "constate"},
    {FactList::General, "est"},
    {FactList::General, "a été"},
};
// clang-format on

constexpr std::size_t kFactKeywordCount = std::size(kFactKeywords);
using FactKeywordSet = KeywordSet<kFactKeywordCount>;

consteval std::array<std::string_view, kFactKeywordCount> fact_keyword_words() {
  std::array<std::string_view, kFactKeywordCount> words{};
  for (std::size_t i = 0; i < kFactKeywordCount; ++i) words[i] = kFactKeywords[i].text;
  return words;
}

constexpr FactKeywordSet kFactKeywordSet(fact_keyword_words());

constexpr std::size_t kFactListCount = static_cast<std::size_t>(FactList::General) + 1;

constexpr std::array<FactKeywordSet::Mask, kFactListCount> kFactListMasks = [] {
  std::array<FactKeywordSet::Mask, kFactListCount> masks{};
  for (std::size_t i = 0; i < kFactKeywordCount; ++i) {
    masks[static_cast<std::size_t>(kFactKeywords[i].list)] |= FactKeywordSet::Mask{1} << i;
  }
  return masks;
}();

using FactLists = std::uint8_t;  // bit n: FactList n

constexpr FactLists bit_of(FactList list) {
  return static_cast<FactLists>(1u << static_cast<unsigned>(list));
}

FactLists fact_lists_in(std::string_view lowered_piece) {
  const FactKeywordSet::Mask found = kFactKeywordSet.occurring(lowered_piece);
  FactLists lists = 0;
  for (std::size_t n = 0; n < kFactListCount; ++n) {
    if ((found & kFactListMasks[n]) != 0) lists |= static_cast<FactLists>(1u << n);
  }
  return lists;
}

constexpr FactList fact_list_of(std::optional<Domain> domain) {
  if (!domain) return FactList::General;
  switch (*domain) {
    case Domain::Medical: return FactList::Medical;
    case Domain::Legal: return FactList::Legal;
    case Domain::Technical: return FactList::Technical;
  }
  return FactList::General;
}

// ---------------------------------------------------------------------------------
// First pass: the lower-cased text, a chunk at a time.

// A chunk ends just after the first run of separators found this many bytes after its
// start, or at the end of the text. No keyword holds a separator, so no keyword spans
// two chunks, and every piece lies in one chunk; the lower-cased copy stays small.
constexpr std::size_t kChunkBytes = std::size_t{1} << 16;

std::size_t chunk_end(std::string_view input, std::size_t begin) {
  if (input.size() - begin <= kChunkBytes) return input.size();
  std::size_t end = find_sentence_separator(input, begin + kChunkBytes);
  while (end < input.size() && is_sentence_separator(input[end])) ++end;
  return end;
}

struct TextScan {
  Mask found = 0;                      // the whole-text keywords that occur
  std::vector<FactLists> piece_lists;  // per piece, the fact lists with a keyword in it
};

// Lower-casing maps no character to '.', '!', '?' or white space and leaves those
// unchanged, so a chunk and its lower-cased form split into the same pieces, and each
// lower-cased piece is its piece lower-cased (but for the final or non-final form of
// a Greek sigma, which no keyword holds). Keywords neither begin nor end with white
// space, so the untrimmed lower-cased piece serves for them.
TextScan scan_text(std::string_view input, bool with_pieces) {
  TextScan scan;
  for (std::size_t begin = 0;;) {
    const std::size_t end = chunk_end(input, begin);
    const bool last = end == input.size();
    const std::string_view chunk = input.substr(begin, end - begin);
    const std::string lowered = to_lower(chunk);
    if (scan.found != TextKeywordSet::kAll) {
      scan.found |= kTextKeywordSet.occurring(lowered, TextKeywordSet::kAll & ~scan.found);
    }
    if (with_pieces) {
      SentencePieces pieces(chunk);
      SentencePieces lowered_pieces(lowered);
      std::string_view piece;
      std::string_view lowered_piece;
      while (pieces.next(piece)) {
        if (!lowered_pieces.next(lowered_piece) || lowered_pieces.done() != pieces.done()) {
          throw InternalFailure("lower-cased text splits into other sentences");
        }
        // The empty piece after the last run of a chunk is the next chunk's first.
        if (pieces.done() && !last) break;
        scan.piece_lists.push_back(fact_lists_in(lowered_piece));
      }
    }
    if (last) return scan;
    begin = end;
  }
}

// ---------------------------------------------------------------------------------
// Second pass: the facts, from the pieces of the text as given.

constexpr std::size_t kMinPieceBytes = 5;
constexpr std::size_t kMinContextBytes = 31;
constexpr std::string_view kNegationPrefix = "ABSENCE/NÉGATION: ";
constexpr std::string_view kContextPrefix = "CONTEXTE: ";

std::string prefixed(std::string_view prefix, std::string_view text) {
  std::string out;
  out.reserve(prefix.size() + text.size());
  out.append(prefix).append(text);
  return out;
}

struct Sentences {
  std::vector<std::string> facts;
  std::size_t exclamation_marks = 0;
};

Sentences sentences_of(std::string_view input, const std::vector<FactLists>& piece_lists,
                       std::optional<Domain> domain) {
  const FactLists list = bit_of(fact_list_of(domain));
  Sentences sentences;
  // A fact takes a piece of five bytes or more and a separator after it (but for the
  // last), so this bounds their number.
  sentences.facts.reserve(std::min(piece_lists.size(), input.size() / (kMinPieceBytes + 1) + 1));
  SentencePieces pieces(input);
  std::string_view piece;
  std::size_t index = 0;
  while (pieces.next(piece)) {
    if (index == piece_lists.size()) throw InternalFailure("more sentences than in the first pass");
    const bool has_keyword = (piece_lists[index++] & list) != 0;
    const std::string_view trimmed = trim_white_space(piece);
    if (trimmed.size() < kMinPieceBytes) continue;
    if (has_keyword) {
      if (states_negation(trimmed)) {
        sentences.facts.push_back(prefixed(kNegationPrefix, trimmed));
      } else {
        sentences.facts.emplace_back(trimmed);
      }
    } else if (trimmed.size() >= kMinContextBytes) {
      sentences.facts.push_back(prefixed(kContextPrefix, trimmed));
    }
  }
  if (index != piece_lists.size()) throw InternalFailure("fewer sentences than in the first pass");
  sentences.exclamation_marks = pieces.exclamation_marks();
  return sentences;
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
std::vector<std::string> indicators_of(Mask found, std::size_t exclamation_marks) {
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
  if (exclamation_marks >= kStrongEmotionMarks) {
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
  const std::optional<Domain> domain = domain_of(scan_text(text, false).found);
  if (!domain) return std::nullopt;
  return domain_name(*domain);
}

std::expected<ForensicAnalysis, ForensicError> ForensicDeconstruction::analyze(std::string_view input) const {
  if (trim_white_space(input).empty()) return std::unexpected(ForensicError::empty_input());

  // One pass over the lower-cased text finds every keyword of the whole text and of
  // each piece. Detection sees the same text for the metadata, the fact list and the
  // "domain" constraint, so it is made once.
  const TextScan scan = scan_text(input, true);
  const Mask found = scan.found;
  const std::optional<Domain> domain = domain_of(found);

  ForensicAnalysis analysis;
  Sentences sentences = sentences_of(input, scan.piece_lists, domain);
  analysis.facts = std::move(sentences.facts);
  analysis.desires = desires_of(found);
  if (config_.extract_constraints) {
    if (domain) analysis.constraints.emplace("domain", domain_name(*domain));
    if ((found & mask_of(Group::Temporal)) != 0) analysis.constraints.emplace("temporal", "explicit");
    if ((found & mask_of(Group::Priority)) != 0) analysis.constraints.emplace("priority", "high");
  }
  if (config_.detect_unreliable_narrator) {
    analysis.unreliable_indicators = indicators_of(found, sentences.exclamation_marks);
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
