// The module `morvane`: its definition, its one entry PyInit_morvane, and the module
// function that adds the classes, the submodule `domain` and the text attributes.
#include "domain/domain_adapter_class.hpp"
#include "domain/domain_records.hpp"
#include "lib/arguments.hpp"
#include "lib/binding_class.hpp"
#include "lib/entry.hpp"
#include "lib/forensic_deconstruction.hpp"
#include "lib/interpreter_lock.hpp"
#include "lib/panic.hpp"
#include "lib/python.hpp"
#include "lib/ref.hpp"
#include "strategies/multi_path_reasoning.hpp"
#include "strategies/thought_node.hpp"

#include <atomic>
#include <cstdint>
#include <initializer_list>

namespace morvane::py {
namespace {

// The classes, in the order they are added. Registering a class is one line in its
// list (and the include of the header that declares its Class object, see
// lib/binding_class.hpp).
const std::initializer_list<BindingClass*> kClassesBeforeDomain = {
    &forensic_deconstruction_class,
};
// The submodule `domain`, in this order: DomainAdapter, DomainRule, ValidationResult,
// ValidationIssue, Verdict.
const std::initializer_list<BindingClass*> kDomainClasses = {
    &domain_adapter_class,   &domain_rule_class, &validation_result_class,
    &validation_issue_class, &verdict_class,
};
// After the submodule, in this order: ThoughtNode, MultiPathReasoning.
const std::initializer_list<BindingClass*> kClassesAfterDomain = {
    &thought_node_class,
    &multi_path_reasoning_class,
};

struct TextAttribute {
  const char* name;
  const char* value;
};
constexpr TextAttribute kTextAttributes[] = {
    {"__version__", "0.1.0"},
    {"__author__", "Tavrel"},
    {"__description__", "Morvane - Python Bindings"},
};

PyModuleDef module_definition = {
    PyModuleDef_HEAD_INIT,
    "morvane",                    // m_name
    "Python module for Morvane",  // m_doc
    0,                            // m_size: no per-module state
    nullptr,                      // m_methods
    nullptr,                      // m_slots
    nullptr,                      // m_traverse
    nullptr,                      // m_clear
    nullptr,                      // m_free
};

// The interpreter that first initialised the module (-1: none yet). Never cleared.
std::atomic<std::int64_t> recorded_interpreter{-1};
// The module object once built; kept for the process.
PyObject* stored_module = nullptr;

// The module's __all__, created empty when missing.
OwnedRef module_all(PyObject* module) {
  OwnedRef all(PyObject_GetAttrString(module, "__all__"));
  if (all) {
    if (!PyList_Check(all.get())) {
      set_conversion_error(all.get(), "list");
      return {};
    }
    return all;
  }
  if (!PyErr_ExceptionMatches(PyExc_AttributeError)) return {};
  PyErr_Clear();
  OwnedRef list(PyList_New(0));
  if (!list || PyObject_SetAttrString(module, "__all__", list.get()) < 0) return {};
  return list;
}

// Adds `name` = value to the module and appends the name to its __all__.
bool add_name(PyObject* module, const char* name, OwnedRef value) {
  OwnedRef all = module_all(module);
  if (!all) return false;
  OwnedRef key(PyUnicode_InternFromString(name));
  if (!key || PyList_Append(all.get(), key.get()) < 0)
    fail_on_python_error("could not append __name__ to __all__");
  return PyObject_SetAttr(module, key.get(), value.get()) == 0;
}

bool add_class(PyObject* module, BindingClass& cls) {
  PyTypeObject* type = cls.type();  // built before __all__ is touched
  if (type == nullptr) return false;
  return add_name(module, cls.name(), OwnedRef(Py_NewRef(reinterpret_cast<PyObject*>(type))));
}

bool add_classes(PyObject* module, std::initializer_list<BindingClass*> classes) {
  for (BindingClass* cls : classes) {
    if (!add_class(module, *cls)) return false;
  }
  return true;
}

bool module_function(PyObject* module) {
  if (!add_classes(module, kClassesBeforeDomain)) return false;

  // A plain module, reachable only as the attribute: never entered in sys.modules.
  OwnedRef domain(PyModule_New("domain"));
  if (!domain) return false;
  if (!module_all(domain.get())) return false;  // __all__ exists even while it lists nothing
  if (!add_classes(domain.get(), kDomainClasses)) return false;
  if (!add_name(module, "domain", std::move(domain))) return false;

  if (!add_classes(module, kClassesAfterDomain)) return false;

  for (const TextAttribute& text : kTextAttributes) {
    OwnedRef value(PyUnicode_FromString(text.value));
    if (!value || !add_name(module, text.name, std::move(value))) return false;
  }
  return true;
}

PyObject* initialise() {
  std::int64_t id = PyInterpreterState_GetID(PyInterpreterState_Get());
  if (id < 0) return nullptr;
  std::int64_t expected = -1;
  if (!recorded_interpreter.compare_exchange_strong(expected, id) && expected != id) {
    PyErr_SetString(PyExc_ImportError,
                    "morvane does not support sub-interpreters: it can only be imported in the "
                    "interpreter that first loaded it");
    return nullptr;
  }
  if (stored_module != nullptr) return Py_NewRef(stored_module);
  prepare_for_fork_children();

  OwnedRef module(PyModule_Create(&module_definition));
  if (!module) return nullptr;
  if (!module_function(module.get())) return nullptr;  // the half-built module is released
  if (stored_module != nullptr) return Py_NewRef(stored_module);
  stored_module = Py_NewRef(module.get());
  return module.release();
}

}  // namespace
}  // namespace morvane::py

PyMODINIT_FUNC PyInit_morvane() { return morvane::py::run_entry(morvane::py::initialise); }
