// Conversion of Python arguments into the values the clique routines take.
#pragma once

#include "ref.hpp"

#include <cstdint>

#include "graph/types.hpp"
#include "graph/upper_form.hpp"

namespace vexa::module {

// Any sequence (but not a str) of sequences of integers, as neighbour lists.
graph::NeighbourLists convert_neighbour_lists(PyObject* obj);

// The same lists read into tidy.lists(), each handed to `tidy` as soon as it
// is read (tidy.finish() tells what they hold).
void convert_neighbour_lists(PyObject* obj, graph::TidyUpperForm& tidy);

// An integer in [0, 2**64 - 1], through the index protocol.
std::uint64_t convert_u64(PyObject* obj);

// Called with a conversion error pending: if its type is exactly TypeError,
// replaces it by TypeError("argument '<param>': <text>") carrying over the
// original's __cause__.  Other errors stay as they are.
void name_parameter(const char* param);

}  // namespace vexa::module
