// The Python class ForensicDeconstruction: forensic deconstruction of a problem text.
//
//   ForensicDeconstruction()                 the default configuration
//   ForensicDeconstruction.with_config(detect_unreliable_narrator, min_confidence,
//                                      extract_constraints)
//   analyze(input) -> str                    the analysis as pretty JSON, or ValueError
//                                            "Analysis failed: {error text}"
// The object holds the core ForensicDeconstruction (its configuration) by value and
// exposes no attributes.
#pragma once

#include "lib/binding_class.hpp"
#include "protocol/forensic/forensic_deconstruction.hpp"

namespace morvane::py {

extern Class<morvane::ForensicDeconstruction> forensic_deconstruction_class;

}  // namespace morvane::py
