// The CPython 3.12 API, included the one way the bindings use it: sizes as
// Py_ssize_t, and before any standard header (as the interpreter requires).
#pragma once

#define PY_SSIZE_T_CLEAN
#include <Python.h>
