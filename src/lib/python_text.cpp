#include "lib/python_text.hpp"

#include "lib/ref.hpp"

namespace morvane::py {

std::string utf8_text(PyObject* text) {
  Py_ssize_t size = 0;
  if (const char* data = PyUnicode_AsUTF8AndSize(text, &size)) {
    return std::string(data, static_cast<std::size_t>(size));
  }
  PyErr_Clear();
  // Lone surrogates: their bytes kept, then decoded again with U+FFFD in their place.
  OwnedRef bytes(PyUnicode_AsEncodedString(text, "utf-8", "surrogatepass"));
  OwnedRef replaced(
      bytes ? PyUnicode_DecodeUTF8(PyBytes_AS_STRING(bytes.get()), PyBytes_GET_SIZE(bytes.get()), "replace")
            : nullptr);
  const char* data = replaced ? PyUnicode_AsUTF8AndSize(replaced.get(), &size) : nullptr;
  if (data == nullptr) {
    PyErr_Clear();
    return {};
  }
  return std::string(data, static_cast<std::size_t>(size));
}

std::string error_text(PyObject* exception) {
  // str() first: it may run Python code, and nothing is held meanwhile.
  OwnedRef value(PyObject_Str(exception));
  if (!value) PyErr_Clear();
  std::string text;
  if (OwnedRef name{PyType_GetQualName(Py_TYPE(exception))}) {
    text = utf8_text(name.get());
  }
  PyErr_Clear();
  if (value) {
    text += ": ";
    text += utf8_text(value.get());
  } else {
    text += ": <exception str() failed>";
  }
  return text;
}

}  // namespace morvane::py
