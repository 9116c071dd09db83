#include "domain/domain_adapter_class.hpp"

#include "domain/adapter_factory.hpp"
#include "domain/domain_records.hpp"
#include "lib/arguments.hpp"
#include "lib/results.hpp"
#include "support/unicode.hpp"

#include <string>
#include <string_view>
#include <utility>

namespace morvane::py {
namespace {

using Boxed = std::unique_ptr<morvane::DomainAdapter>;

constexpr auto kNew = describe("DomainAdapter", "__new__", {"domain"}, 1);
constexpr auto kValidate = describe("DomainAdapter", "validate", {"reasoning"}, 1);
constexpr auto kFormatOutput = describe("DomainAdapter", "format_output", {"verdict"}, 1);
constexpr auto kEnrichContext = describe("DomainAdapter", "enrich_context", {"context"}, 1);

const morvane::DomainAdapter& adapter(PyObject* self) { return *domain_adapter_class.of(self); }

PyObject* construct(PyTypeObject*, Args<kNew>& args) {
  std::string_view domain;
  if (!args.get(0, domain)) return nullptr;
  Boxed made = make_domain_adapter(to_lower(domain));
  if (!made) {
    raise_text(PyExc_ValueError,
               "Unknown domain: " + std::string(domain) + ". Supported: medical, legal, technical");
    return nullptr;
  }
  return domain_adapter_class.create(std::move(made));  // a failed allocation releases the adapter
}

OwnedRef adapter_repr(PyObject* self) {
  std::string text = "DomainAdapter(domain='";
  text += adapter(self).domain_name();
  text += "')";
  return new_str(text);
}

OwnedRef domain_name(PyObject* self) { return new_str(adapter(self).domain_name()); }

OwnedRef terminology(PyObject* self) {
  const TextMap& map = adapter(self).terminology();
  OwnedRef dict = expect_new(PyDict_New());
  for (const auto& [english, french] : map) {
    OwnedRef key = new_str(english);
    OwnedRef value = new_str(french);
    if (PyDict_SetItem(dict.get(), key.get(), value.get()) < 0) fail_on_python_error();
  }
  return dict;
}

OwnedRef rules(PyObject* self) { return new_rule_list(adapter(self).rules()); }

OwnedRef validate(PyObject* self, Args<kValidate>& args) {
  std::string_view reasoning;
  if (!args.get(0, reasoning)) return {};
  auto result = adapter(self).validate(reasoning);
  if (!result) {
    raise_text(PyExc_RuntimeError, result.error().text());
    return {};
  }
  return new_validation_result(std::move(*result));
}

OwnedRef format_output(PyObject* self, Args<kFormatOutput>& args) {
  // The Verdict's payload is the core record, its quality already equal to its certainty.
  const morvane::Verdict* verdict = nullptr;
  if (!args.get(0, verdict, instance_of(verdict_class))) return {};
  return new_str(adapter(self).format_output(*verdict));
}

OwnedRef enrich_context(PyObject* self, Args<kEnrichContext>& args) {
  std::string_view context;
  if (!args.get(0, context)) return {};
  return new_str(adapter(self).enrich_context(context));
}

PyMethodDef methods[] = {
    method_noargs<domain_name>("domain_name", "domain_name($self)\n--\n\nGet the domain name"),
    method_noargs<terminology>("terminology", "terminology($self)\n--\n\nGet the terminology dictionary"),
    method_noargs<rules>("rules", "rules($self)\n--\n\nGet the domain rules"),
    method<kValidate, validate>("validate($self, reasoning)\n--\n\nValidate reasoning"),
    method<kFormatOutput, format_output>("format_output($self, verdict)\n--\n\nFormat output for a verdict"),
    method<kEnrichContext, enrich_context>("enrich_context($self, context)\n--\n\nEnrich context"),
    {},
};

}  // namespace

Class<Boxed> domain_adapter_class({
    .name = "DomainAdapter",
    .doc = "DomainAdapter(domain)\n--\n\nPython wrapper for DomainAdapter",
    .constructor = constructor<kNew, construct>,
    .repr = repr<adapter_repr>,
    .methods = methods,
});

}  // namespace morvane::py
