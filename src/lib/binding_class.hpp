// Binding classes: Python heap types built from data, once per process.
//
// Every class is registered as "builtins.<Name>" (so __module__ is "builtins"),
// derives directly from object, cannot be subclassed nor changed (an immutable type),
// has no instance dict, no weak references and no setters, and stores its payload (a
// plain C++ value) by value in the object. Calling a class declared without a constructor raises TypeError
// "No constructor defined". Every entry (constructor, method, getter, representation,
// deallocation) runs through run_entry (lib/entry.hpp).
//
// Declaring a new class, in its own .cpp (ForensicDeconstruction in
// lib/forensic_deconstruction.cpp is the worked example):
//
//   1. The payload: a plain value, say `struct Node { std::string id; float score; };`.
//   2. The argument descriptions, as data (lib/arguments.hpp):
//        constexpr auto kNew = describe("Node", "__new__", {"id", "score"}, 2);
//   3. The bodies: plain functions returning a new reference (PyObject* or OwnedRef),
//      or nullptr with a Python error set; they may throw (InternalFailure becomes
//      PanicException, std::bad_alloc MemoryError):
//        OwnedRef construct(PyTypeObject*, Args<kNew>& args) {
//          Node node;
//          if (!args.get(0, node.id) || !args.get(1, node.score)) return {};
//          return OwnedRef(node_class.create(std::move(node)));  // constructor: MemoryError passes
//        }
//        OwnedRef score(PyObject* self) { return new_float(node_class.of(self).score); }
//   4. The tables, ended by {}:
//        PyMethodDef kMethods[] = {method<kRun, run>("run($self, x)\n--\n\nRun it"), {}};
//        PyGetSetDef kGetters[] = {getter<score>("score"), {}};
//      A getter that only shows a payload field needs no body of its own:
//      member_getter<&Node::score>("score") gives to_python(field) (lib/results.hpp),
//      member_getter<&Rule::category, category_name>("category") to_python(show(field)).
//      The field must be declared in the payload type itself: the member pointer's class
//      is taken as the payload's.
//      method<Spec, Body> (Body(self, args)), static_method<Spec, Body> (Body(args)),
//      method_noargs<Body>(name, doc) (Body(self)), static_noargs<Body>(name, doc) (Body()).
//   5. The class object, declared `extern Class<Node> node_class;` in the class's header:
//        Class<Node> node_class({
//            .name = "Node",
//            .doc = "Node(id, score)\n--\n\nA node",   // "Name(sig)\n--\n\n" + docstring
//            .constructor = constructor<kNew, construct>,  // leave out: no constructor
//            .repr = repr<node_repr>,                      // leave out: object's default
//            .methods = kMethods,
//            .getset = kGetters,
//        });
//   6. Registration: one line `&node_class,` in its list in lib/module.cpp, which adds
//      the class to the module (or to the submodule `domain`) in list order.
//
// Objects: create(value) makes one and returns nullptr with the interpreter's own
// error (normally MemoryError) when it cannot, as constructors must; make(value) is a
// step that must succeed (PanicException instead). of(self) is the payload.
// An argument that must be an instance: args.get(i, ptr, instance_of(node_class)),
// with `const Node* ptr`; anything else gives "'{type}' object cannot be converted
// to 'Node'".
#pragma once

#include "lib/arguments.hpp"
#include "lib/entry.hpp"
#include "lib/interpreter_lock.hpp"
#include "lib/panic.hpp"
#include "lib/python.hpp"
#include "lib/ref.hpp"
#include "lib/results.hpp"

#include <cstddef>
#include <new>
#include <source_location>
#include <string_view>
#include <type_traits>
#include <utility>

namespace morvane::py {

template <class T>
struct Instance {
  PyObject_HEAD
  T value;
};

// What a class file declares.
struct ClassDef {
  const char* name = nullptr;  // the bare class name
  const char* doc = nullptr;   // as given to the interpreter, text signature included
  newfunc constructor = nullptr;
  reprfunc repr = nullptr;
  PyMethodDef* methods = nullptr;  // ended by {}
  PyGetSetDef* getset = nullptr;   // ended by {}
  // For a payload that holds Python objects: the class then takes part in the cycle
  // collector. traverse visits them (and the type); clear drops them.
  traverseproc traverse = nullptr;
  inquiry clear = nullptr;
};

template <class T>
void destroy(PyObject* self) noexcept {
  PyTypeObject* type = Py_TYPE(self);
  reinterpret_cast<Instance<T>*>(self)->value.~T();
  type->tp_free(self);
  Py_DECREF(type);
}

// A payload that holds Python objects (a class in the cycle collector) may be the head
// of a chain of any length: the interpreter's trashcan frees the deeper links later,
// one after another, as it does for a chain of lists, instead of recursing.
template <class T>
void dealloc(PyObject* self) noexcept {
  EntryScope entry;
  if (!PyType_HasFeature(Py_TYPE(self), Py_TPFLAGS_HAVE_GC)) {
    destroy<T>(self);
    return;
  }
  PyObject_GC_UnTrack(self);
  Py_TRASHCAN_BEGIN(self, dealloc<T>)
    destroy<T>(self);
  Py_TRASHCAN_END
}

class BindingClass {
 public:
  constexpr BindingClass(const ClassDef& def, Py_ssize_t basicsize, destructor release) noexcept
      : def_(def), basicsize_(basicsize), dealloc_(release) {
    std::string_view prefix = "builtins.";
    std::size_t n = 0;
    for (char c : prefix) qualified_[n++] = c;
    for (const char* p = def.name; *p != '\0' && n + 1 < sizeof qualified_; ++p) qualified_[n++] = *p;
    qualified_[n] = '\0';
  }
  BindingClass(const BindingClass&) = delete;
  BindingClass& operator=(const BindingClass&) = delete;

  // The class object, built on the first call; nullptr with a Python error if it
  // cannot be built (a later call tries again). A borrowed reference kept for the process.
  PyTypeObject* type() noexcept;

  const char* name() const noexcept { return def_.name; }
  bool is_instance(PyObject* object) const noexcept {
    return type_ != nullptr && PyObject_TypeCheck(object, type_);
  }

 private:
  ClassDef def_;
  Py_ssize_t basicsize_;
  destructor dealloc_;
  char qualified_[96] = {};
  PyTypeObject* type_ = nullptr;
};

template <class T>
class Class : public BindingClass {
  static_assert(std::is_nothrow_move_constructible_v<T>);

 public:
  constexpr explicit Class(const ClassDef& def) noexcept
      : BindingClass(def, static_cast<Py_ssize_t>(sizeof(Instance<T>)), &dealloc<T>) {}

  // A new object holding value, or nullptr with the interpreter's error set.
  PyObject* create(T value) noexcept {
    PyTypeObject* cls = type();
    if (cls == nullptr) return nullptr;
    PyObject* object = cls->tp_alloc(cls, 0);
    if (object == nullptr) return nullptr;
    new (&reinterpret_cast<Instance<T>*>(object)->value) T(std::move(value));
    return object;
  }

  // A new object that a step must make: PanicException when it cannot be made.
  OwnedRef make(T value, std::source_location where = std::source_location::current()) {
    return expect_new(create(std::move(value)), kStepFailed, where);
  }

  static T& of(PyObject* self) noexcept { return reinterpret_cast<Instance<T>*>(self)->value; }
};

// The converter for an argument that must be an instance of `cls`.
template <class T>
auto instance_of(Class<T>& cls) {
  return [&cls](PyObject* object, const T*& out) noexcept {
    if (!cls.is_instance(object)) {
      set_conversion_error(object, cls.name());
      return false;
    }
    out = &Class<T>::of(object);
    return true;
  };
}

// The tp_new of a class without a constructor.
PyObject* no_constructor(PyTypeObject* type, PyObject* args, PyObject* kwargs) noexcept;

// ---- entry templates ------------------------------------------------------------

template <const auto& Spec, auto Body>
PyObject* constructor(PyTypeObject* type, PyObject* args, PyObject* kwargs) noexcept {
  return run_entry([&] {
    Args<Spec> bound;
    if (!bound.bind(args, kwargs)) return OwnedRef();
    return OwnedRef(Body(type, bound));
  });
}

template <const auto& Spec, auto Body>
PyObject* fastcall_entry(PyObject* self, PyObject* const* args, Py_ssize_t nargs,
                         PyObject* kwnames) noexcept {
  return run_entry([&] {
    Args<Spec> bound;
    if (!bound.bind(args, nargs, kwnames)) return OwnedRef();
    if constexpr (std::is_invocable_v<decltype(Body), PyObject*, Args<Spec>&>) {
      return OwnedRef(Body(self, bound));
    } else {
      return OwnedRef(Body(bound));
    }
  });
}

template <auto Body>
PyObject* noargs_entry(PyObject* self, PyObject*) noexcept {
  return run_entry([&] {
    if constexpr (std::is_invocable_v<decltype(Body), PyObject*>) {
      return OwnedRef(Body(self));
    } else {
      return OwnedRef(Body());
    }
  });
}

template <auto Body>
PyObject* getter_entry(PyObject* self, void*) noexcept {
  return run_entry([&] { return OwnedRef(Body(self)); });
}

template <auto Body>
PyObject* repr(PyObject* self) noexcept {
  return run_entry([&] { return OwnedRef(Body(self)); });
}

template <const auto& Spec, auto Body>
PyMethodDef method(const char* doc) noexcept {
  return {Spec.name.data(),
          reinterpret_cast<PyCFunction>(reinterpret_cast<void (*)()>(&fastcall_entry<Spec, Body>)),
          METH_FASTCALL | METH_KEYWORDS, doc};
}

template <const auto& Spec, auto Body>
PyMethodDef static_method(const char* doc) noexcept {
  return {Spec.name.data(),
          reinterpret_cast<PyCFunction>(reinterpret_cast<void (*)()>(&fastcall_entry<Spec, Body>)),
          METH_FASTCALL | METH_KEYWORDS | METH_STATIC, doc};
}

template <auto Body>
PyMethodDef method_noargs(const char* name, const char* doc) noexcept {
  return {name, &noargs_entry<Body>, METH_NOARGS, doc};
}

template <auto Body>
PyMethodDef static_noargs(const char* name, const char* doc) noexcept {
  return {name, &noargs_entry<Body>, METH_NOARGS | METH_STATIC, doc};
}

template <auto Body>
PyGetSetDef getter(const char* name, const char* doc = nullptr) noexcept {
  return {name, &getter_entry<Body>, nullptr, doc, nullptr};
}

template <class T, class Field>
const Field& field_of(PyObject* self, Field T::* member) noexcept {
  return Class<T>::of(self).*member;
}

// The body of member_getter: one field of the payload, converted by to_python (after
// Show, when one is given).
template <auto Member, auto Show>
OwnedRef read_member(PyObject* self) {
  const auto& field = field_of(self, Member);
  if constexpr (std::is_null_pointer_v<decltype(Show)>) {
    return to_python(field);
  } else {
    return to_python(Show(field));
  }
}

template <auto Member, auto Show = nullptr>
PyGetSetDef member_getter(const char* name, const char* doc = nullptr) noexcept {
  return getter<read_member<Member, Show>>(name, doc);
}

}  // namespace morvane::py
