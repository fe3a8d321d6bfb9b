// Binding of fast-call arguments to parameters.
#pragma once

#include "ref.hpp"

#include <cstddef>

namespace vexa::module {

// A function whose parameters are all positional-or-keyword and required.
struct Signature {
  const char* name;
  const char* const* params;
  std::size_t count;
};

inline constexpr std::size_t kMaxParams = 2;

// Fills slots[0 .. sig.count) with borrowed references to the arguments, or
// sets a TypeError worded like the interpreter's own and throws PyErrorSet.
void bind_arguments(const Signature& sig, PyObject* const* args, Py_ssize_t nargs,
                    PyObject* kwnames, PyObject** slots);

}  // namespace vexa::module
