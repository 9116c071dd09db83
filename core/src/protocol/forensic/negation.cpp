#include "protocol/forensic/negation.hpp"

#define PCRE2_CODE_UNIT_WIDTH 8
#include <pcre2.h>

#include <cstdint>
#include <new>
#include <string>

#include "support/internal_failure.hpp"

namespace morvane {
namespace {

// "(?i)\b(ne\s+\w+\s+pas|pas\s+de|aucun|jamais|ni)\b" with its classes spelled out,
// since PCRE2's own \w leaves out combining marks and its \s is not White_Space:
//   word  [\p{Alphabetic}\p{M}\p{Nd}\p{Pc}\x{200C}\x{200D}]
//   space the White_Space set
// Every alternative begins and ends with a word character, so the leading boundary is
// "no word character before" and the trailing one "no word character after".
#define MORVANE_WORD "[\\p{Alphabetic}\\p{M}\\p{Nd}\\p{Pc}\\x{200C}\\x{200D}]"
#define MORVANE_SPACE \
  "[\\t\\n\\x{0B}\\f\\r\\x{20}\\x{85}\\x{A0}\\x{1680}\\x{2000}-\\x{200A}\\x{2028}\\x{2029}\\x{202F}\\x{205F}\\x{3000}]"
constexpr char kNegationPattern[] =
    "(?i)(?<!" MORVANE_WORD ")"
    "(?:ne" MORVANE_SPACE "+" MORVANE_WORD "+" MORVANE_SPACE "+pas"
    "|pas" MORVANE_SPACE "+de"
    "|aucun|jamais|ni)"
    "(?!" MORVANE_WORD ")";
#undef MORVANE_WORD
#undef MORVANE_SPACE

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
    int error = 0;
    PCRE2_SIZE offset = 0;
    code = pcre2_compile(reinterpret_cast<PCRE2_SPTR>(kNegationPattern), PCRE2_ZERO_TERMINATED,
                         PCRE2_UTF | PCRE2_UCP | PCRE2_MATCH_INVALID_UTF, &error, &offset, nullptr);
    if (code == nullptr) {
      throw InternalFailure("negation expression does not compile at " + std::to_string(offset) +
                            ": " + pcre2_message(error));
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
  const int rc = pcre2_match(re.code, reinterpret_cast<PCRE2_SPTR>(subject), text.size(), 0, 0,
                             match.data, re.context);
  if (rc >= 0) return true;
  if (rc == PCRE2_ERROR_NOMATCH) return false;
  if (rc == PCRE2_ERROR_NOMEMORY) throw std::bad_alloc();
  throw InternalFailure("negation match failed: " + pcre2_message(rc));
}

}  // namespace morvane
