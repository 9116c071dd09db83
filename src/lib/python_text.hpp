// The text of Python objects, as the module's reports and failure texts carry it.
//
//   utf8_text(str)         the UTF-8 of a str; a lone surrogate, which UTF-8 cannot
//                          hold, is replaced by U+FFFD rather than losing the text.
//   error_text(exception)  "{type qualname}: {str(exception)}" (": <exception str()
//                          failed>" when str() fails): the text form of a Python error
//                          that failure texts carry.
#pragma once

#include "lib/python.hpp"

#include <string>

namespace morvane::py {

std::string utf8_text(PyObject* text);
std::string error_text(PyObject* exception);

}  // namespace morvane::py
