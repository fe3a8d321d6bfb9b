// Python objects as C++ text, for error messages.  None of these raises:
// where the text cannot be had, they give a stand-in and leave no
// exception set.
#pragma once

#include "ref.hpp"

#include <string>

namespace vexa::module {

// str(obj) as UTF-8; where the text cannot be encoded strictly (lone
// surrogates), the surrogates are passed through and read back lossily.
// Returns false if str() itself fails (the error is discarded).
bool text_of(PyObject* obj, std::string& out);

// str(obj), or "<unprintable T object>" with T the type's name.
std::string printable(PyObject* obj);

// A keyword name as UTF-8; false if it has none (not a str, or a lone
// surrogate).
bool keyword_utf8(PyObject* key, std::string& out);

// type(obj).__qualname__, or "<failed to extract type name>".
std::string type_qualname(PyObject* obj);

}  // namespace vexa::module
