// TechnicalAdapter: the adapter of the domain "technical" (software faults), named
// "Technical".
//
// Six debugging rules and a copy of TECHNICAL_TERMINOLOGY. validate() checks a
// debugging text for a reproduction, logs or traces, a root cause and tests;
// format_output() writes a technical report (symptom, root cause, fix);
// enrich_context() appends the debugging method block. Construction builds
// TECHNICAL_TERMINOLOGY on its first call in the process.
#pragma once

#include "domain/domain_adapter.hpp"

namespace morvane {

class TechnicalAdapter final : public AdapterRecord {
 public:
  TechnicalAdapter();
};

}  // namespace morvane
