// The four module functions and their method table.
#pragma once

#include "ref.hpp"

namespace vexa::module {

// The method entries, in registration order, terminated by a null entry.
// They live for the whole process: the function objects point at them.
extern PyMethodDef kMethods[];

}  // namespace vexa::module
