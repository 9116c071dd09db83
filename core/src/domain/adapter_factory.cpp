#include "domain/adapter_factory.hpp"

#include "domain/legal_adapter.hpp"
#include "domain/medical_adapter.hpp"
#include "domain/technical_adapter.hpp"

namespace morvane {

std::unique_ptr<DomainAdapter> make_domain_adapter(std::string_view domain) {
  if (domain == "medical") return std::make_unique<MedicalAdapter>();
  if (domain == "legal") return std::make_unique<LegalAdapter>();
  if (domain == "technical") return std::make_unique<TechnicalAdapter>();
  return nullptr;
}

}  // namespace morvane
