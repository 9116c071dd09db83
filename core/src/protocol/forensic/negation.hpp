// Negation test of a French sentence.
//
// states_negation() tells whether the text holds, anywhere, one of the negations
// "ne <word> pas", "pas de", "aucun", "jamais" or "ni" as whole words, in any letter
// case (Unicode simple case folding). Words, white space and word boundaries are
// Unicode ones: a word character is Alphabetic, a mark, a decimal digit, connector
// punctuation or a joiner, so accented letters and combining accents belong to words;
// white space is the White_Space property. Every one of these properties, case folding
// included, comes from ICU's data, the Unicode version of the rest of the module. Any
// bytes are accepted: an ill-formed UTF-8 sequence belongs to no word and matches
// nothing.
//
// The expression is compiled once per process; the test is safe from many threads
// at once.
#pragma once

#include <string_view>

namespace morvane {

bool states_negation(std::string_view text);

}  // namespace morvane
