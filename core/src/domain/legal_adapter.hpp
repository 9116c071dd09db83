// LegalAdapter: the adapter of the domain "legal", named "Legal".
//
// Six rules of legal reasoning and a copy of LEGAL_TERMINOLOGY. validate() checks a
// legal text for a legal foundation, the order of the norms (the first "règlement"
// must not come before the first "loi") and the citing of precedents;
// format_output() writes a legal opinion (qualification, foundation, operative part);
// enrich_context() appends the legal method block. Construction builds
// LEGAL_TERMINOLOGY on its first call in the process.
#pragma once

#include "domain/domain_adapter.hpp"

namespace morvane {

class LegalAdapter final : public AdapterRecord {
 public:
  LegalAdapter();
};

}  // namespace morvane
