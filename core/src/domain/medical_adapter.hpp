// MedicalAdapter: the adapter of the domain "medical", named "Medical".
//
// Six medical rules and a copy of MEDICAL_TERMINOLOGY. validate() checks a reasoning
// text for an anamnesis, a differential diagnosis (at least two "diagnostic") and the
// handling of an emergency; format_output() writes a medical report; enrich_context()
// appends the medical method block. Construction builds MEDICAL_TERMINOLOGY on its
// first call in the process.
#pragma once

#include "domain/domain_adapter.hpp"

namespace morvane {

class MedicalAdapter final : public AdapterRecord {
 public:
  MedicalAdapter();
};

}  // namespace morvane
