// The three English-to-French glossaries: MEDICAL_TERMINOLOGY (50 pairs),
// TECHNICAL_TERMINOLOGY (53) and LEGAL_TERMINOLOGY (50).
//
// Each is a process-wide, read-only TextMap with its own random seed, built once per
// process behind its own once-guard the first time it is accessed (the first
// construction of an adapter of its domain), never rebuilt and never released. Once
// built, access is one acquire read without a lock; a thread that arrives while the
// map is being built waits for it. The three guards are independent.
//
// An adapter keeps a copy (TextMap's copy keeps the seed and the placement of the
// entries, so it iterates in the same order as the process-wide map).
#pragma once

#include <cstdint>

#include "support/seeded_map.hpp"

namespace morvane {

const TextMap& medical_terminology();
const TextMap& technical_terminology();
const TextMap& legal_terminology();

// A new map with a fresh seed holding the domain's pairs; the guards call these.
TextMap build_medical_terminology();
TextMap build_technical_terminology();
TextMap build_legal_terminology();

// How many times each once-guard has run its builder in this process (0 or 1): a
// hook for tests.
struct TerminologyBuilds {
  std::uint32_t medical;
  std::uint32_t technical;
  std::uint32_t legal;
};
TerminologyBuilds terminology_builds();

}  // namespace morvane
