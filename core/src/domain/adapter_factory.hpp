// make_domain_adapter: a boxed adapter for a domain name.
//
// Takes "medical", "legal" or "technical" exactly (callers lower-case the name first)
// and gives a new MedicalAdapter, LegalAdapter or TechnicalAdapter; any other name
// gives nullptr, and the caller reports it.
#pragma once

#include <memory>
#include <string_view>

#include "domain/domain_adapter.hpp"

namespace morvane {

std::unique_ptr<DomainAdapter> make_domain_adapter(std::string_view domain);

}  // namespace morvane
