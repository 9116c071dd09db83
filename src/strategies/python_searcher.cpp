#include "strategies/python_searcher.hpp"

#include "lib/arguments.hpp"
#include "lib/panic.hpp"
#include "lib/python_text.hpp"
#include "lib/ref.hpp"
#include "lib/results.hpp"
#include "lib/thread_end.hpp"
#include "strategies/thought_node.hpp"
#include "support/internal_failure.hpp"

#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <string>
#include <utility>

namespace morvane::py {
namespace {

constexpr std::string_view kCallFailedLine = "Error calling Python expand: ";
constexpr std::string_view kNotAList = "Expert expand must return a list";
constexpr std::string_view kNodeFailed = "Failed to create Python ThoughtNode";

// The attribute names, interned once under the lock and kept for the process.
struct Names {
  PyObject* expand;
  PyObject* content;
  PyObject* score;
};

PyObject* interned(const char* text) {
  PyObject* name = PyUnicode_InternFromString(text);
  if (name == nullptr) fail_on_python_error();
  return name;
}

const Names& names() {
  static const Names made{interned("expand"), interned("content"), interned("score")};
  return made;
}

// Writes the whole line to file descriptor 1, not through sys.stdout.
void write_stdout(std::string_view text) noexcept {
  while (!text.empty()) {
    ssize_t written = ::write(STDOUT_FILENO, text.data(), text.size());
    if (written < 0) {
      if (errno == EINTR) continue;
      return;  // nowhere to report it
    }
    text.remove_prefix(static_cast<std::size_t>(written));
  }
}

// A searcher that raised PanicException: its traceback on standard error, then the
// same failure again, so that the whole call ends in PanicException.
[[noreturn]] void rethrow_panic(PyObject* exception) {
  std::fputs("morvane: a Python searcher raised PanicException; its traceback follows\n", stderr);
  std::fflush(stderr);
  PyErr_DisplayException(exception);
  std::string text = "<exception str() failed>";
  if (OwnedRef value{PyObject_Str(exception)}) {
    text = utf8_text(value.get());
  } else {
    PyErr_Clear();
  }
  throw InternalFailure(std::move(text));
}

// "{repr} is not an instance of 'list'": what came back instead of a list.
std::string not_a_list(PyObject* object) {
  std::string text = "<repr() failed>";
  if (OwnedRef repr{PyObject_Repr(object)}) {
    text = utf8_text(repr.get());
  } else {
    PyErr_Clear();
  }
  text += " is not an instance of 'list'";
  return text;
}

}  // namespace

std::vector<morvane::ThoughtNode> PythonSearcher::expand(const morvane::ThoughtNode& node,
                                                         std::string_view context_domain) const {
  LockTaken lock;
  // Every reference is declared out here and dropped before the lock goes back,
  // whichever way this ends. Should CPython end this thread while the searcher's code
  // runs (the interpreter finalizes), the thread stays inside or_stay_out: these are
  // then never released without the lock, and the lock is never given back.
  OwnedRef python_node;
  OwnedRef domain;
  OwnedRef result;
  OwnedRef exception;
  OwnedRef item;
  OwnedRef content_value;
  OwnedRef score_value;
  std::vector<morvane::ThoughtNode> children;
  or_stay_out([&] {
    python_node = OwnedRef(new_thought_node(node));
    if (!python_node) fail_on_python_error(kNodeFailed);
    domain = new_str(context_domain);

    PyObject* args[] = {searcher_.get(), python_node.get(), domain.get()};
    result = OwnedRef(
        PyObject_VectorcallMethod(names().expand, args, 3 | PY_VECTORCALL_ARGUMENTS_OFFSET, nullptr));
    if (!result) {
      exception = OwnedRef(PyErr_GetRaisedException());
      if (is_panic(exception.get())) rethrow_panic(exception.get());
      std::string line(kCallFailedLine);
      line += error_text(exception.get());
      line += '\n';
      write_stdout(line);
      return;  // no children
    }

    if (!PyList_Check(result.get())) fail_expectation(kNotAList, not_a_list(result.get()));

    const Py_ssize_t length = PyList_GET_SIZE(result.get());
    children.reserve(static_cast<std::size_t>(length));
    // The list may change while its items' attributes are read: items appended are
    // not visited, items removed shorten the walk.
    for (Py_ssize_t i = 0; i < length && i < PyList_GET_SIZE(result.get()); ++i) {
      item = OwnedRef(Py_NewRef(PyList_GET_ITEM(result.get(), i)));
      std::string content;
      float score = 0.0f;
      content_value = OwnedRef(PyObject_GetAttr(item.get(), names().content));
      if (!content_value || !convert(content_value.get(), content)) fail_on_python_error();
      score_value = OwnedRef(PyObject_GetAttr(item.get(), names().score));
      if (!score_value || !convert(score_value.get(), score)) fail_on_python_error();
      children.push_back(morvane::ThoughtNode::new_child(node.id, std::move(content), score, node.depth + 1));
    }
  });
  return children;
}

}  // namespace morvane::py
