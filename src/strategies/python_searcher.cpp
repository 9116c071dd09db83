#include "strategies/python_searcher.hpp"

#include "lib/arguments.hpp"
#include "lib/panic.hpp"
#include "lib/ref.hpp"
#include "lib/results.hpp"
#include "strategies/thought_node.hpp"
#include "support/internal_failure.hpp"

#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <chrono>
#include <optional>
#include <thread>
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
[[noreturn]] void rethrow_panic(OwnedRef exception) {
  std::fputs("morvane: a Python searcher raised PanicException; its traceback follows\n", stderr);
  std::fflush(stderr);
  PyErr_DisplayException(exception.get());
  std::string text = "<exception str() failed>";
  if (OwnedRef value{PyObject_Str(exception.get())}) {
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

// A thread that Python does not know (a pool worker) gets a Python thread state the
// first time it calls a searcher, and keeps it: made and dropped around every call, it
// would cost a fresh frame stack (mmap, page faults, munmap) each time. The extra
// PyGILState_Ensure is never released, so later Ensure/Release pairs only take and
// give back the lock. Python deletes the kept states when the interpreter ends.
void keep_thread_state() noexcept {
  thread_local bool kept = false;
  if (kept || !lock_count_is_zero()) return;
  kept = true;
  if (PyGILState_GetThisThreadState() != nullptr) return;  // a Python thread: it has its own
  PyGILState_Ensure();
  PyEval_SaveThread();
}

// How many threads are running a searcher's Python code, or about to. A thread that
// finds another one there waits for it briefly, yielding its core, before it asks for
// the interpreter lock: taking a lock that was just let go is quick, while blocking
// on a held one puts the thread to sleep, and waking it again costs tens of
// microseconds, far more than a short expand. A searcher that waits on input or
// output gives the lock up, so after the brief wait its callers still overlap.
std::atomic<int> g_in_python{0};

class InPython {
 public:
  InPython() noexcept {
    const auto give_up = std::chrono::steady_clock::now() + std::chrono::microseconds(50);
    while (g_in_python.load(std::memory_order_acquire) != 0 && std::chrono::steady_clock::now() < give_up) {
      std::this_thread::yield();
    }
    g_in_python.fetch_add(1, std::memory_order_acq_rel);
  }
  ~InPython() { g_in_python.fetch_sub(1, std::memory_order_acq_rel); }
  InPython(const InPython&) = delete;
  InPython& operator=(const InPython&) = delete;
};

}  // namespace

std::vector<morvane::ThoughtNode> PythonSearcher::expand(const morvane::ThoughtNode& node,
                                                         std::string_view context_domain) const {
  keep_thread_state();
  // Declared before the lock, so it ends after the lock is given back.
  std::optional<InPython> in_python;
  if (lock_count_is_zero()) in_python.emplace();
  LockTaken lock;
  // Every reference below is dropped before the lock goes back, whichever way this ends.
  OwnedRef python_node(new_thought_node(node));
  if (!python_node) fail_on_python_error(kNodeFailed);
  OwnedRef domain = new_str(context_domain);

  PyObject* args[] = {searcher_.get(), python_node.get(), domain.get()};
  OwnedRef result(PyObject_VectorcallMethod(names().expand, args, 3 | PY_VECTORCALL_ARGUMENTS_OFFSET, nullptr));
  if (!result) {
    OwnedRef exception(PyErr_GetRaisedException());
    if (is_panic(exception.get())) rethrow_panic(std::move(exception));
    std::string line(kCallFailedLine);
    line += error_text(exception.get());
    line += '\n';
    write_stdout(line);
    return {};
  }

  if (!PyList_Check(result.get())) {
    std::string text(kNotAList);
    text += ": ";
    text += not_a_list(result.get());
    throw InternalFailure(std::move(text));
  }

  std::vector<morvane::ThoughtNode> children;
  const Py_ssize_t length = PyList_GET_SIZE(result.get());
  children.reserve(static_cast<std::size_t>(length));
  // The list may change while its items' attributes are read: items appended are not
  // visited, items removed shorten the walk.
  for (Py_ssize_t i = 0; i < length && i < PyList_GET_SIZE(result.get()); ++i) {
    OwnedRef item(Py_NewRef(PyList_GET_ITEM(result.get(), i)));
    std::string content;
    float score = 0.0f;
    OwnedRef content_value(PyObject_GetAttr(item.get(), names().content));
    if (!content_value || !convert(content_value.get(), content)) fail_on_python_error();
    OwnedRef score_value(PyObject_GetAttr(item.get(), names().score));
    if (!score_value || !convert(score_value.get(), score)) fail_on_python_error();
    children.push_back(morvane::ThoughtNode::new_child(node.id, std::move(content), score, node.depth + 1));
  }
  return children;
}

}  // namespace morvane::py
