#include "lib/arguments.hpp"

#include <string>

namespace morvane::py {
namespace {

// "{owner}.{callable}()"
std::string full_name(const ArgView& spec) {
  std::string name;
  name.reserve(spec.owner.size() + spec.name.size() + 3);
  name += spec.owner;
  name += '.';
  name += spec.name;
  name += "()";
  return name;
}

void set_type_error(const std::string& text) noexcept { PyErr_SetString(PyExc_TypeError, text.c_str()); }

bool too_many_positional(const ArgView& spec, Py_ssize_t given) {
  std::string text = full_name(spec);
  if (spec.required == spec.count) {
    text += " takes " + std::to_string(spec.count);
  } else {
    text += " takes from " + std::to_string(spec.required) + " to " + std::to_string(spec.count);
  }
  text += " positional arguments but " + std::to_string(given) + (given == 1 ? " was" : " were") + " given";
  set_type_error(text);
  return false;
}

bool unexpected_keyword(const ArgView& spec, PyObject* name) {
  PyErr_Format(PyExc_TypeError, "%s got an unexpected keyword argument '%U'", full_name(spec).c_str(), name);
  return false;
}

bool multiple_values(const ArgView& spec, std::size_t index) {
  set_type_error(full_name(spec) + " got multiple values for argument '" + std::string(spec.params[index]) +
                 "'");
  return false;
}

bool missing_required(const ArgView& spec, PyObject** slots) {
  std::size_t missing[16];
  std::size_t count = 0;
  for (std::size_t i = 0; i < spec.required; ++i) {
    if (slots[i] == nullptr && count < std::size(missing)) missing[count++] = i;
  }
  std::string text = full_name(spec) + " missing " + std::to_string(count) + " required positional " +
                     (count == 1 ? "argument" : "arguments") + ": ";
  for (std::size_t k = 0; k < count; ++k) {
    if (k > 0) text += count == 2 ? " and " : (k + 1 == count ? ", and " : ", ");
    text += '\'';
    text += spec.params[missing[k]];
    text += '\'';
  }
  set_type_error(text);
  return false;
}

// The index of the parameter called `name`, or count when there is none.
std::size_t parameter_index(const ArgView& spec, PyObject* name) noexcept {
  Py_ssize_t size = 0;
  const char* data = PyUnicode_Check(name) ? PyUnicode_AsUTF8AndSize(name, &size) : nullptr;
  if (data == nullptr) {
    PyErr_Clear();  // a name that is no UTF-8 text matches no parameter
    return spec.count;
  }
  std::string_view text(data, static_cast<std::size_t>(size));
  for (std::size_t i = 0; i < spec.count; ++i) {
    if (spec.params[i] == text) return i;
  }
  return spec.count;
}

bool place_keyword(const ArgView& spec, PyObject* name, PyObject* value, PyObject** slots) {
  std::size_t index = parameter_index(spec, name);
  if (index == spec.count) return unexpected_keyword(spec, name);
  if (slots[index] != nullptr) return multiple_values(spec, index);
  slots[index] = value;
  return true;
}

bool check_required(const ArgView& spec, PyObject** slots) {
  for (std::size_t i = 0; i < spec.required; ++i) {
    if (slots[i] == nullptr) return missing_required(spec, slots);
  }
  return true;
}

// The error texts are built with std::string: a failed allocation there is MemoryError.
template <class Body>
bool guard_allocation(Body&& body) noexcept {
  try {
    return body();
  } catch (...) {
    PyErr_NoMemory();
    return false;
  }
}

}  // namespace

bool bind_arguments(const ArgView& spec, PyObject* const* args, Py_ssize_t nargs, PyObject* kwnames,
                    PyObject** slots) noexcept {
  return guard_allocation([&] {
    if (static_cast<std::size_t>(nargs) > spec.count) return too_many_positional(spec, nargs);
    for (Py_ssize_t i = 0; i < nargs; ++i) slots[i] = args[i];
    if (kwnames != nullptr) {
      Py_ssize_t count = PyTuple_GET_SIZE(kwnames);
      for (Py_ssize_t k = 0; k < count; ++k) {
        if (!place_keyword(spec, PyTuple_GET_ITEM(kwnames, k), args[nargs + k], slots)) return false;
      }
    }
    return check_required(spec, slots);
  });
}

bool bind_arguments(const ArgView& spec, PyObject* args, PyObject* kwargs, PyObject** slots) noexcept {
  return guard_allocation([&] {
    Py_ssize_t nargs = PyTuple_GET_SIZE(args);
    if (static_cast<std::size_t>(nargs) > spec.count) return too_many_positional(spec, nargs);
    for (Py_ssize_t i = 0; i < nargs; ++i) slots[i] = PyTuple_GET_ITEM(args, i);
    if (kwargs != nullptr) {
      Py_ssize_t position = 0;
      PyObject* name = nullptr;
      PyObject* value = nullptr;
      while (PyDict_Next(kwargs, &position, &name, &value)) {
        if (!place_keyword(spec, name, value, slots)) return false;
      }
    }
    return check_required(spec, slots);
  });
}

void prefix_type_error(std::string_view param) noexcept {
  OwnedRef raised(PyErr_GetRaisedException());
  if (!raised) return;
  if (Py_TYPE(raised.get()) != reinterpret_cast<PyTypeObject*>(PyExc_TypeError)) {
    PyErr_SetRaisedException(raised.release());
    return;
  }
  OwnedRef text(PyObject_Str(raised.get()));
  if (!text) return;
  // Parameter names come from string literals (describe()), so they end with a NUL.
  OwnedRef message(PyUnicode_FromFormat("argument '%s': %U", param.data(), text.get()));
  if (!message) return;
  OwnedRef replacement(PyObject_CallOneArg(PyExc_TypeError, message.get()));
  if (!replacement) return;
  if (PyObject* cause = PyException_GetCause(raised.get())) PyException_SetCause(replacement.get(), cause);
  PyErr_SetRaisedException(replacement.release());
}

void set_conversion_error(PyObject* object, const char* kind) noexcept {
  OwnedRef name(PyType_GetQualName(Py_TYPE(object)));
  if (!name) return;
  PyErr_Format(PyExc_TypeError, "'%U' object cannot be converted to '%s'", name.get(), kind);
}

bool convert(PyObject* object, std::string_view& out) noexcept {
  if (!PyUnicode_Check(object)) {
    set_conversion_error(object, "str");
    return false;
  }
  Py_ssize_t size = 0;
  const char* data = PyUnicode_AsUTF8AndSize(object, &size);
  if (data == nullptr) return false;
  out = std::string_view(data, static_cast<std::size_t>(size));
  return true;
}

bool convert(PyObject* object, std::string& out) {
  std::string_view text;
  if (!convert(object, text)) return false;
  out.assign(text);
  return true;
}

bool convert(PyObject* object, float& out) {
  double value = PyFloat_CheckExact(object) ? PyFloat_AS_DOUBLE(object) : PyFloat_AsDouble(object);
  if (value == -1.0 && PyErr_Occurred()) return false;
  out = static_cast<float>(value);
  return true;
}

bool convert(PyObject* object, std::uint64_t& out) {
  unsigned long long value = 0;
  if (PyLong_CheckExact(object)) {
    value = PyLong_AsUnsignedLongLong(object);
  } else {
    OwnedRef index(PyNumber_Index(object));
    if (!index) return false;
    value = PyLong_AsUnsignedLongLong(index.get());
  }
  if (value == static_cast<unsigned long long>(-1) && PyErr_Occurred()) return false;
  out = value;
  return true;
}

bool convert(PyObject* object, bool& out) noexcept {
  if (object == Py_True || object == Py_False) {
    out = object == Py_True;
    return true;
  }
  set_conversion_error(object, "bool");
  return false;
}

bool convert(PyObject* object, std::vector<std::string>& out) {
  if (PyUnicode_Check(object)) {
    PyErr_SetString(PyExc_TypeError, "a str cannot be converted to a list of str");
    return false;
  }
  if (!PySequence_Check(object)) {
    set_conversion_error(object, "Sequence");
    return false;
  }
  OwnedRef iterator(PyObject_GetIter(object));
  if (!iterator) return false;
  std::vector<std::string> items;
  // The iteration may run Python code while the iterator is held.
  while (OwnedRef item{or_stay_out([&] { return PyIter_Next(iterator.get()); })}) {
    std::string_view text;
    if (!convert(item.get(), text)) return false;
    items.emplace_back(text);
  }
  if (PyErr_Occurred()) return false;
  out = std::move(items);
  return true;
}

bool convert(PyObject* object, OwnedRef& out) noexcept {
  out = OwnedRef(Py_NewRef(object));
  return true;
}

}  // namespace morvane::py
