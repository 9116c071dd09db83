// Arguments of the callables that Python calls: descriptions as data, one binder,
// and the conversions of every argument kind.
//
//   constexpr auto kAnalyze = describe("ForensicDeconstruction", "analyze", {"input"}, 1);
//
// describe(owner, callable, parameters, required) gives an ArgSpec: the owning class,
// the callable's name ("__new__" for a constructor), the ordered parameter names and
// how many of them, from the first, are required (the others default to None). Every
// parameter is taken by position or by keyword. Parameter names are string literals.
//
// Args<kAnalyze> binds one call (bind: vectorcall form or tuple and dict form) with
// the TypeErrors "{owner}.{callable}() takes {} positional arguments but {} {} given",
// "... takes from {} to {} ...", "... got an unexpected keyword argument '{}'",
// "... got multiple values for argument '{}'" and "... missing {} required positional
// argument(s): 'a', 'b', and 'c'". get(i, out) then converts parameter i; call it in
// parameter order, so the first failing parameter is the one reported. A TypeError of
// a conversion becomes TypeError "argument '{name}': {text}" that keeps its cause;
// other errors (OverflowError, UnicodeEncodeError) pass unchanged.
//
// Conversions (convert(object, out), false with a Python error set):
//   std::string_view / std::string  a str or str subclass, as UTF-8; a lone surrogate
//                                   raises the interpreter's UnicodeEncodeError. The view
//                                   lives as long as the argument (the call).
//   float                           a float read directly, anything else through
//                                   float(); narrowed to 32 bits, no range (1e40: inf)
//   std::uint64_t                   the index protocol; OverflowError when negative or too
//                                   large; a float is refused with TypeError
//   bool                            only True and False
//   std::vector<std::string>        a sequence of str, iterated once in order; a str is
//                                   refused (never split into its characters)
//   OwnedRef                        any object, a new reference held
//   std::optional<T>                left out or None: empty; else converted as T
//   instances of a binding class    get(i, out, instance_of<T>(the_class)), see
//                                   lib/binding_class.hpp
// A wrong type gives TypeError "'{type qualname}' object cannot be converted to
// '{kind}'", the kinds being 'str', 'bool', 'Sequence' and the class name.
#pragma once

#include "lib/python.hpp"
#include "lib/ref.hpp"

#include <array>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <type_traits>
#include <vector>

namespace morvane::py {

struct ArgView {
  std::string_view owner;
  std::string_view name;
  const std::string_view* params;
  std::size_t count;
  std::size_t required;
};

template <std::size_t N>
struct ArgSpec {
  std::string_view owner;
  std::string_view name;
  std::array<std::string_view, N> params;
  std::size_t required;

  constexpr ArgView view() const noexcept { return {owner, name, params.data(), N, required}; }
};

consteval ArgSpec<0> describe(std::string_view owner, std::string_view name) { return {owner, name, {}, 0}; }

template <std::size_t N>
consteval ArgSpec<N> describe(std::string_view owner, std::string_view name, const char* const (&params)[N],
                              std::size_t required) {
  if (required > N) throw "more required parameters than parameters";
  ArgSpec<N> spec{owner, name, {}, required};
  for (std::size_t i = 0; i < N; ++i) spec.params[i] = params[i];
  return spec;
}

// The binder: fills slots[0..count) with borrowed arguments (nullptr when left out).
bool bind_arguments(const ArgView& spec, PyObject* const* args, Py_ssize_t nargs, PyObject* kwnames,
                    PyObject** slots) noexcept;
bool bind_arguments(const ArgView& spec, PyObject* args, PyObject* kwargs, PyObject** slots) noexcept;

// Replaces a pending TypeError (exactly that type) by "argument '{param}': {text}".
void prefix_type_error(std::string_view param) noexcept;

// Sets TypeError "'{type qualname}' object cannot be converted to '{kind}'".
void set_conversion_error(PyObject* object, const char* kind) noexcept;

bool convert(PyObject* object, std::string_view& out) noexcept;
bool convert(PyObject* object, std::string& out);
bool convert(PyObject* object, float& out);
bool convert(PyObject* object, std::uint64_t& out);
bool convert(PyObject* object, bool& out) noexcept;
bool convert(PyObject* object, std::vector<std::string>& out);
bool convert(PyObject* object, OwnedRef& out) noexcept;

template <class T>
inline constexpr bool is_optional_v = false;
template <class T>
inline constexpr bool is_optional_v<std::optional<T>> = true;

template <const auto& Spec>
class Args {
 public:
  static constexpr std::size_t size = Spec.params.size();

  bool bind(PyObject* const* args, Py_ssize_t nargs, PyObject* kwnames) noexcept {
    return bind_arguments(Spec.view(), args, nargs, kwnames, slots_);
  }
  bool bind(PyObject* args, PyObject* kwargs) noexcept {
    return bind_arguments(Spec.view(), args, kwargs, slots_);
  }

  // The argument given for parameter i (borrowed), or nullptr when it was left out.
  PyObject* operator[](std::size_t i) const noexcept { return slots_[i]; }

  template <class T>
  bool get(std::size_t i, T& out) const {
    return get(i, out, [](PyObject* object, auto& value) { return convert(object, value); });
  }

  template <class T, class Convert>
  bool get(std::size_t i, T& out, Convert&& convert_one) const {
    PyObject* given = slots_[i];
    if constexpr (is_optional_v<T>) {
      if (given == nullptr || given == Py_None) {
        out.reset();
        return true;
      }
      typename T::value_type value{};
      if (!convert_one(given, value)) {
        prefix_type_error(Spec.params[i]);
        return false;
      }
      out = std::move(value);
      return true;
    } else {
      if (convert_one(given != nullptr ? given : Py_None, out)) return true;
      prefix_type_error(Spec.params[i]);
      return false;
    }
  }

 private:
  PyObject* slots_[size == 0 ? 1 : size] = {};
};

}  // namespace morvane::py
