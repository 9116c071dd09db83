#include "lib/forensic_deconstruction.hpp"

#include "lib/arguments.hpp"
#include "lib/results.hpp"

#include <string>
#include <string_view>

namespace morvane::py {
namespace {

using Core = morvane::ForensicDeconstruction;

constexpr auto kNew = describe("ForensicDeconstruction", "__new__");
constexpr auto kWithConfig =
    describe("ForensicDeconstruction", "with_config",
             {"detect_unreliable_narrator", "min_confidence", "extract_constraints"}, 3);
constexpr auto kAnalyze = describe("ForensicDeconstruction", "analyze", {"input"}, 1);

constexpr const char* kClassDoc = "ForensicDeconstruction()\n--\n\nPython wrapper for ForensicDeconstruction";
constexpr const char* kWithConfigDoc =
    "with_config(detect_unreliable_narrator, min_confidence, extract_constraints)\n--\n\n"
    "Create a ForensicDeconstruction with custom configuration";
constexpr const char* kAnalyzeDoc =
    "analyze($self, input)\n--\n\n"
    "Analyze a problem and return the forensic analysis as JSON\n\n"
    "# Arguments\n\n"
    "* `input` - The problem text to analyze\n\n"
    "# Returns\n\n"
    "A JSON string containing the analysis results\n\n"
    "# Example\n\n"
    "```python\n"
    "from morvane import ForensicDeconstruction\n\n"
    "forensic = ForensicDeconstruction()\n"
    "result = forensic.analyze(\"Patient présente fièvre, toux, fatigue depuis 3 jours\")\n"
    "print(result)\n"
    "```";

PyObject* construct(PyTypeObject*, Args<kNew>&) { return forensic_deconstruction_class.create(Core()); }

OwnedRef with_config(Args<kWithConfig>& args) {
  ForensicConfig config;
  if (!args.get(0, config.detect_unreliable_narrator) || !args.get(1, config.min_confidence) ||
      !args.get(2, config.extract_constraints)) {
    return {};
  }
  return forensic_deconstruction_class.make(Core(config));
}

OwnedRef analyze(PyObject* self, Args<kAnalyze>& args) {
  std::string_view input;
  if (!args.get(0, input)) return {};
  auto analysis = forensic_deconstruction_class.of(self).analyze(input);
  if (!analysis) {
    raise_text(PyExc_ValueError, "Analysis failed: " + analysis.error().text());
    return {};
  }
  return new_str(analysis->serialize());
}

PyMethodDef methods[] = {
    static_method<kWithConfig, with_config>(kWithConfigDoc),
    method<kAnalyze, analyze>(kAnalyzeDoc),
    {},
};

}  // namespace

Class<Core> forensic_deconstruction_class({
    .name = "ForensicDeconstruction",
    .doc = kClassDoc,
    .constructor = constructor<kNew, construct>,
    .methods = methods,
});

}  // namespace morvane::py
