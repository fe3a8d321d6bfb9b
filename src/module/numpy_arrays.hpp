// Reading short numpy arrays without a buffer request.
//
// A buffer request costs numpy several hundred instructions per array (it
// describes the array anew every time), as much as converting a list of
// eight ints.  For a plain numpy.ndarray whose dtype has already been seen
// through the buffer protocol, the few fields the reading needs (data
// pointer, dimensions, strides, dtype, flags) are read straight from the
// array object instead, at the places numpy's C API publishes for them
// (PyArrayObject_fields, unchanged in numpy 1.x and 2.x).  numpy is not
// needed to build the module: those places are written out in
// numpy_arrays.cpp, and checked against the buffer protocol on the first
// array of every dtype (see learn_dtype).
#pragma once

#include "ref.hpp"

#include <cstddef>

namespace vexa::module {

// Longest array read in place.  The whole array is read before the reading
// polls for signals (whose Python handlers could resize or free the array):
// longer arrays are read under a buffer request, which keeps a reference to
// the array, as before.
inline constexpr std::size_t kInPlaceMax = 4096;

// Whether `obj` is a plain numpy.ndarray (never a subclass).
bool is_plain_ndarray(PyObject* obj) noexcept;

// Where the entries of a one-dimensional array lie, and their integer kind
// (the code of IntArray::Kind).
struct ArrayInPlace {
  const void* data;
  std::size_t length;
  unsigned char kind;
};

// For a plain ndarray: true, with `out` filled, if it is one-dimensional, of
// a dtype learnt to hold native integers, C-contiguous, aligned, and at most
// kInPlaceMax entries long.  False otherwise: the buffer protocol decides.
// Runs no Python code and sets no exception.
bool read_in_place(PyObject* obj, ArrayInPlace& out) noexcept;

// Called when the buffer protocol has given `view` of the plain ndarray
// `obj` and the reading has accepted it as integers of kind `kind`: remembers
// that kind for the array's dtype, once the array object's fields are seen to
// agree with `view`.  If they disagree (a numpy with another layout), in-place
// reading stays off for the rest of the process.  Runs no Python code and
// sets no exception.
void learn_dtype(PyObject* obj, const Py_buffer& view, unsigned char kind) noexcept;

}  // namespace vexa::module
