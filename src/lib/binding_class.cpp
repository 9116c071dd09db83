#include "lib/binding_class.hpp"

namespace morvane::py {

PyTypeObject* BindingClass::type() noexcept {
  if (type_ != nullptr) return type_;
  PyType_Slot slots[9];
  int n = 0;
  slots[n++] = {Py_tp_doc, const_cast<char*>(def_.doc)};
  slots[n++] = {Py_tp_new,
                reinterpret_cast<void*>(def_.constructor != nullptr ? def_.constructor : &no_constructor)};
  slots[n++] = {Py_tp_dealloc, reinterpret_cast<void*>(dealloc_)};
  if (def_.repr != nullptr) slots[n++] = {Py_tp_repr, reinterpret_cast<void*>(def_.repr)};
  if (def_.methods != nullptr) slots[n++] = {Py_tp_methods, def_.methods};
  if (def_.getset != nullptr) slots[n++] = {Py_tp_getset, def_.getset};
  unsigned int flags = Py_TPFLAGS_DEFAULT | Py_TPFLAGS_IMMUTABLETYPE;
  if (def_.traverse != nullptr) {
    flags |= Py_TPFLAGS_HAVE_GC;
    slots[n++] = {Py_tp_traverse, reinterpret_cast<void*>(def_.traverse)};
    if (def_.clear != nullptr) slots[n++] = {Py_tp_clear, reinterpret_cast<void*>(def_.clear)};
  }
  slots[n] = {0, nullptr};
  // No Py_TPFLAGS_BASETYPE: the class cannot be subclassed. Immutable: Python code cannot
  // replace __new__ (and make objects whose payload was never built) or any other member.
  PyType_Spec spec{qualified_, static_cast<int>(basicsize_), 0, flags, slots};
  type_ = reinterpret_cast<PyTypeObject*>(PyType_FromSpec(&spec));
  return type_;
}

PyObject* no_constructor(PyTypeObject*, PyObject*, PyObject*) noexcept {
  return run_entry([]() -> PyObject* {
    PyErr_SetString(PyExc_TypeError, "No constructor defined");
    return nullptr;
  });
}

}  // namespace morvane::py
