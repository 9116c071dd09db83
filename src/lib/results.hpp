// Results handed back to Python: every call makes new objects.
//
//   new_str, new_float, new_count, new_flag, new_optional_str, new_str_list, new_list
//   to_python(value)   the one of them that a value's type calls for (a record field)
//
// Texts become str (from UTF-8), 32-bit floats become floats widened exactly (0.1f
// reads 0.10000000149011612), counts become ints, flags True or False, an absent
// optional None, lists new list objects filled in order. Making a result is a step
// that must succeed: when the interpreter cannot allocate it, the call ends in
// PanicException (expect_new, lib/panic.hpp), reported at the caller's line.
//
//   raise_text(type, text)   sets the exception `type` (ValueError, RuntimeError, ...)
//                            with a new str of the UTF-8 text as its one argument; the
//                            str is made like any result (a text that is not UTF-8 is
//                            a PanicException, not a replaced character).
#pragma once

#include "lib/panic.hpp"
#include "lib/python.hpp"
#include "lib/ref.hpp"

#include <cstdint>
#include <optional>
#include <source_location>
#include <string>
#include <string_view>
#include <type_traits>
#include <vector>

namespace morvane::py {

inline OwnedRef new_str(std::string_view text, std::source_location where = std::source_location::current()) {
  return expect_new(PyUnicode_FromStringAndSize(text.data(), static_cast<Py_ssize_t>(text.size())),
                    kStepFailed, where);
}

inline OwnedRef new_float(float value, std::source_location where = std::source_location::current()) {
  return expect_new(PyFloat_FromDouble(static_cast<double>(value)), kStepFailed, where);
}

inline OwnedRef new_count(std::uint64_t value, std::source_location where = std::source_location::current()) {
  return expect_new(PyLong_FromUnsignedLongLong(value), kStepFailed, where);
}

inline OwnedRef new_flag(bool value) noexcept { return OwnedRef(Py_NewRef(value ? Py_True : Py_False)); }

inline OwnedRef new_optional_str(const std::optional<std::string>& text,
                                 std::source_location where = std::source_location::current()) {
  if (!text) return OwnedRef(Py_NewRef(Py_None));
  return new_str(*text, where);
}

inline void raise_text(PyObject* type, std::string_view text,
                       std::source_location where = std::source_location::current()) {
  OwnedRef message = new_str(text, where);
  PyErr_SetObject(type, message.get());
}

// A new list of make(item) for each item in order; make returns an OwnedRef.
template <class Range, class Make>
OwnedRef new_list(const Range& items, Make&& make,
                  std::source_location where = std::source_location::current()) {
  OwnedRef list = expect_new(PyList_New(static_cast<Py_ssize_t>(std::size(items))), kStepFailed, where);
  Py_ssize_t index = 0;
  for (const auto& item : items) {
    OwnedRef value = make(item);
    PyList_SET_ITEM(list.get(), index++, value.release());
  }
  return list;
}

inline OwnedRef new_str_list(const std::vector<std::string>& texts,
                             std::source_location where = std::source_location::current()) {
  return new_list(texts, [where](const std::string& text) { return new_str(text, where); }, where);
}

// A value as its result: text (std::string, std::string_view) as str, float as float,
// an unsigned count as int, bool as a flag, an optional text as str or None, a list of
// text as a new list.
template <class T>
OwnedRef to_python(const T& value, std::source_location where = std::source_location::current()) {
  if constexpr (std::is_same_v<T, bool>) {
    return new_flag(value);
  } else if constexpr (std::is_same_v<T, float>) {
    return new_float(value, where);
  } else if constexpr (std::is_integral_v<T> && std::is_unsigned_v<T>) {
    return new_count(value, where);
  } else if constexpr (std::is_convertible_v<const T&, std::string_view>) {
    return new_str(value, where);
  } else if constexpr (std::is_same_v<T, std::optional<std::string>>) {
    return new_optional_str(value, where);
  } else if constexpr (std::is_same_v<T, std::vector<std::string>>) {
    return new_str_list(value, where);
  } else {
    static_assert(sizeof(T) == 0, "no result form for this type");
  }
}

}  // namespace morvane::py
