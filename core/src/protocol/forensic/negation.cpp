#include "protocol/forensic/negation.hpp"

#define PCRE2_CODE_UNIT_WIDTH 8
#include <pcre2.h>
#include <unicode/uchar.h>
#include <unicode/uniset.h>

#include <array>
#include <charconv>
#include <cstdint>
#include <new>
#include <string>
#include <string_view>

#include "support/internal_failure.hpp"

namespace morvane {
namespace {

// "\b(ne\s+\w+\s+pas|pas\s+de|aucun|jamais|ni)\b" in any letter case, every class
// written out as explicit code points taken from ICU's data, so that PCRE2 only
// matches and none of its own Unicode tables (of another Unicode version) is used:
//   word    Alphabetic, marks (M), decimal digits (Nd), connector punctuation (Pc),
//           Join_Control (PCRE2's own \w leaves out marks)
//   space   White_Space (PCRE2's own \s is not quite that set)
//   letter  each letter of the words as the characters whose simple case folding is
//           the letter's, so "s" also matches U+017F LATIN SMALL LETTER LONG S
// Every alternative begins and ends with a word character, so the leading boundary is
// "no word character before" and the trailing one "no word character after".

void check(UErrorCode status) {
  if (status == U_MEMORY_ALLOCATION_ERROR) throw std::bad_alloc();
  if (U_FAILURE(status)) {
    throw InternalFailure(std::string("Unicode property set failed: ") + u_errorName(status));
  }
}

icu::UnicodeSet property_set(UProperty property, int32_t value) {
  icu::UnicodeSet set;
  UErrorCode status = U_ZERO_ERROR;
  set.applyIntPropertyValue(property, value, status);
  check(status);
  return set;
}

// "[\x{..}-\x{..}\x{..}...]": the set's ranges, merged and in code point order.
std::string class_text(const icu::UnicodeSet& set) {
  std::string out = "[";
  const auto code_point = [&out](UChar32 c) {
    char digits[8];
    char* const end = std::to_chars(digits, digits + sizeof digits, c, 16).ptr;
    out += "\\x{";
    out.append(digits, end);
    out += '}';
  };
  for (int32_t i = 0; i < set.getRangeCount(); ++i) {
    code_point(set.getRangeStart(i));
    if (set.getRangeEnd(i) != set.getRangeStart(i)) {
      out += '-';
      code_point(set.getRangeEnd(i));
    }
  }
  out += ']';
  return out;
}

// For each of 'a' to 'z', the characters that simple case folding makes equal to
// it. Every character that folding changes is Case_Sensitive: only those are folded.
std::array<icu::UnicodeSet, 26> latin_case_closures() {
  std::array<icu::UnicodeSet, 26> closures;
  for (int i = 0; i < 26; ++i) closures[i].add('a' + i);
  const icu::UnicodeSet case_sensitive = property_set(UCHAR_CASE_SENSITIVE, 1);
  for (int32_t i = 0; i < case_sensitive.getRangeCount(); ++i) {
    for (UChar32 c = case_sensitive.getRangeStart(i); c <= case_sensitive.getRangeEnd(i); ++c) {
      const UChar32 folded = u_foldCase(c, U_FOLD_CASE_DEFAULT);
      if (folded >= 'a' && folded <= 'z') closures[folded - 'a'].add(c);
    }
  }
  return closures;
}

std::string negation_pattern() {
  icu::UnicodeSet word_set = property_set(UCHAR_ALPHABETIC, 1);
  word_set.addAll(property_set(UCHAR_GENERAL_CATEGORY_MASK, U_GC_M_MASK | U_GC_ND_MASK | U_GC_PC_MASK));
  word_set.addAll(property_set(UCHAR_JOIN_CONTROL, 1));
  const std::string word = class_text(word_set);
  const std::string spaces = class_text(property_set(UCHAR_WHITE_SPACE, 1)) + "+";
  const std::array<icu::UnicodeSet, 26> closures = latin_case_closures();
  const auto any_case = [&](std::string_view letters) {
    std::string out;
    for (const char letter : letters) out += class_text(closures[letter - 'a']);
    return out;
  };
  return "(?<!" + word + ")(?:" + any_case("ne") + spaces + word + "+" + spaces + any_case("pas") + "|" +
         any_case("pas") + spaces + any_case("de") + "|" + any_case("aucun") + "|" + any_case("jamais") +
         "|" + any_case("ni") + ")(?!" + word + ")";
}

std::string pcre2_message(int code) {
  PCRE2_UCHAR buffer[256];
  const int n = pcre2_get_error_message(code, buffer, sizeof buffer);
  return n < 0 ? "PCRE2 error " + std::to_string(code) : std::string(reinterpret_cast<char*>(buffer));
}

// The compiled expression and a match context without a match limit, built on first
// use and kept for the life of the process (never freed, so no thread can see it go).
struct Negation {
  pcre2_code* code = nullptr;
  pcre2_match_context* context = nullptr;

  Negation() {
    const std::string pattern = negation_pattern();
    int error = 0;
    PCRE2_SIZE offset = 0;
    // No PCRE2_UCP and no caseless flag: the classes say everything.
    code = pcre2_compile(reinterpret_cast<PCRE2_SPTR>(pattern.data()), pattern.size(),
                         PCRE2_UTF | PCRE2_MATCH_INVALID_UTF, &error, &offset, nullptr);
    if (code == nullptr) {
      throw InternalFailure("negation expression does not compile at " + std::to_string(offset) + ": " +
                            pcre2_message(error));
    }
    // Without JIT support the interpreter runs the same expression.
    (void)pcre2_jit_compile(code, PCRE2_JIT_COMPLETE);
    context = pcre2_match_context_create(nullptr);
    if (context == nullptr) throw std::bad_alloc();
    // A piece of any length is searched to its end: no step budget applies.
    pcre2_set_match_limit(context, UINT32_MAX);
  }
};

const Negation& negation() {
  static const Negation* const instance = new Negation();
  return *instance;
}

// Match data of one thread, reused across calls.
struct MatchData {
  pcre2_match_data* data = pcre2_match_data_create(1, nullptr);
  ~MatchData() { pcre2_match_data_free(data); }
};

}  // namespace

bool states_negation(std::string_view text) {
  const Negation& re = negation();
  thread_local MatchData match;
  if (match.data == nullptr) throw std::bad_alloc();
  // An empty view may carry no pointer, which PCRE2 refuses.
  const char* subject = text.empty() ? "" : text.data();
  const int rc =
      pcre2_match(re.code, reinterpret_cast<PCRE2_SPTR>(subject), text.size(), 0, 0, match.data, re.context);
  if (rc >= 0) return true;
  if (rc == PCRE2_ERROR_NOMATCH) return false;
  if (rc == PCRE2_ERROR_NOMEMORY) throw std::bad_alloc();
  throw InternalFailure("negation match failed: " + pcre2_message(rc));
}

}  // namespace morvane
