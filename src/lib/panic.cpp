#include "lib/panic.hpp"

#include "lib/python_text.hpp"

#include <cstdio>

namespace morvane::py {
namespace {

constexpr const char* kPanicDoc =
    "Raised when a call of the morvane module breaks one of its internal expectations.\n\n"
    "It derives from BaseException, so handlers for Exception let it pass.";

// Created under the interpreter lock the first time it is needed, kept for the process.
PyObject* panic_type = nullptr;

}  // namespace

PyObject* panic_exception_type() noexcept {
  if (panic_type == nullptr) {
    panic_type = PyErr_NewExceptionWithDoc("morvane.PanicException", kPanicDoc, PyExc_BaseException, nullptr);
  }
  return panic_type;
}

bool is_panic(PyObject* exception) noexcept {
  return panic_type != nullptr && exception != nullptr &&
         PyObject_TypeCheck(exception, reinterpret_cast<PyTypeObject*>(panic_type));
}

void raise_panic(const InternalFailure& failure) noexcept {
  try {
    std::string report = "morvane: thread '" + failure.thread() + "' broke an internal expectation at " +
                         failure.location() + ":\n" + failure.message() + "\n";
    std::fwrite(report.data(), 1, report.size(), stderr);
    std::fflush(stderr);
  } catch (...) {
    std::fputs("morvane: internal failure (no memory left to report it)\n", stderr);
  }
  PyObject* type = panic_exception_type();
  if (type == nullptr) return;  // its own error (normally MemoryError) stays set
  const std::string& text = failure.message();
  OwnedRef message(PyUnicode_DecodeUTF8(text.data(), static_cast<Py_ssize_t>(text.size()), "replace"));
  if (!message) return;
  PyErr_SetObject(type, message.get());
}

void fail_on_python_error(std::string_view expectation, std::source_location where) {
  // Taken before anything is allocated: should that fail, no Python error stays set
  // on this thread (a pool worker keeps its thread state from call to call).
  OwnedRef exception(PyErr_GetRaisedException());
  fail_expectation(expectation,
                   exception ? error_text(exception.get()) : std::string("no Python error was set"), where);
}

void fail_expectation(std::string_view expectation, std::string_view error, std::source_location where) {
  std::string text;
  text.reserve(expectation.size() + 2 + error.size());
  text += expectation;
  text += ": ";
  text += error;
  throw InternalFailure(std::move(text), where);
}

void raise_unexpected(const char* what, std::source_location where) noexcept {
  try {
    raise_panic(InternalFailure(std::string("unexpected C++ exception: ") + what, where));
  } catch (...) {
    PyErr_NoMemory();
  }
}

}  // namespace morvane::py
