// The Python class DomainAdapter of the submodule `domain`.
//
//   DomainAdapter(domain)      "medical", "legal" or "technical" after full Unicode
//                              lower-casing (nothing trimmed); anything else raises
//                              ValueError "Unknown domain: {name as given}. Supported:
//                              medical, legal, technical"
//   domain_name() -> str       "Medical", "Legal", "Technical"
//   terminology() -> dict      a new dict of the adapter's map, in the map's order
//   rules() -> list            six new DomainRule objects, in table order
//   validate(reasoning)        a new ValidationResult
//   format_output(verdict)     the report of a Verdict; certainty and quality are both
//                              the verdict's certainty
//   enrich_context(context)    the context followed by the domain's block
//
// The object owns one boxed core adapter, built by the constructor and never changed.
// Its representation is "DomainAdapter(domain='{display name}')".
#pragma once

#include "domain/domain_adapter.hpp"
#include "lib/binding_class.hpp"

#include <memory>

namespace morvane::py {

extern Class<std::unique_ptr<morvane::DomainAdapter>> domain_adapter_class;

}  // namespace morvane::py
