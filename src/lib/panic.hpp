// PanicException and broken internal expectations at the Python boundary.
//
//   raise_panic(failure)   writes the failure's text, its source location and the
//                          name of the thread it was made on to standard error, then
//                          sets PanicException with the text as its one argument. The
//                          entry templates (lib/entry.hpp) call it for every
//                          InternalFailure.
//   raise_unexpected       the same for any other C++ exception, with its what(); such
//                          an exception carries no thread, so the report names the
//                          thread that reports it.
//   panic_exception_type   the class, a direct subclass of BaseException created once
//                          per process on first need ("morvane.PanicException", not an
//                          attribute of the module); nullptr with a Python error set if
//                          it cannot be made.
//   is_panic(exception)    whether an exception object is a PanicException.
//   fail_expectation(expectation, error)
//                          throws InternalFailure "{expectation}: {error}", the text of
//                          every failed expectation; the expectation is the fixed
//                          prefix kStepFailed for a step that must succeed and gave a
//                          reason as text (a core error's text form, for instance).
//   fail_on_python_error   throws InternalFailure "{expectation}: {pending error}", the
//                          error in its error_text form (lib/python_text.hpp).
//   expect_new(made)       the result of a step that must make a Python object: an
//                          OwnedRef of it, or, when it is null (a Python error pending,
//                          normally MemoryError), InternalFailure
//                          "a step expected to succeed failed: {error}".
#pragma once

#include "lib/python.hpp"
#include "lib/ref.hpp"
#include "support/internal_failure.hpp"

#include <source_location>
#include <string>
#include <string_view>

namespace morvane::py {

inline constexpr std::string_view kStepFailed = "a step expected to succeed failed";

void raise_panic(const InternalFailure& failure) noexcept;
// raise_panic for a C++ exception that is neither InternalFailure nor std::bad_alloc.
void raise_unexpected(const char* what,
                      std::source_location where = std::source_location::current()) noexcept;
PyObject* panic_exception_type() noexcept;
bool is_panic(PyObject* exception) noexcept;

[[noreturn]] void fail_expectation(std::string_view expectation, std::string_view error,
                                   std::source_location where = std::source_location::current());
[[noreturn]] void fail_on_python_error(std::string_view expectation = kStepFailed,
                                       std::source_location where = std::source_location::current());

inline OwnedRef expect_new(PyObject* made, std::string_view expectation = kStepFailed,
                           std::source_location where = std::source_location::current()) {
  if (made == nullptr) fail_on_python_error(expectation, where);
  return OwnedRef(made);
}

}  // namespace morvane::py
