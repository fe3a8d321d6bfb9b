// Reading node lists straight out of integer arrays (numpy arrays and
// memoryviews) through the buffer protocol, instead of item by item.
//
// The direct read is taken only where it is certain to give what iterating
// the object would give, failures included: for a plain numpy.ndarray or a
// memoryview (never a subclass, so no Python method can be overridden), of
// native-order integers, C-contiguous and aligned.  For those, the str test
// and the sequence test of the generic conversion are known to pass without
// running any Python code, the length is the first dimension, and iteration
// yields, in order, the values stored in the buffer (numpy integer scalars,
// or ints for a memoryview), each of which converts to the same unsigned
// 64-bit number; a negative value fails with the interpreter's own
// OverflowError for that value.  Everything else (other dtypes, byte orders,
// strides, subclasses, arrays whose buffer cannot be had) is left to the
// generic conversion.  Short arrays of a dtype already seen are read in
// place, without a buffer request (numpy_arrays.hpp), under the same rules.
#pragma once

#include "ref.hpp"

#include <cstddef>
#include <vector>

#include "graph/interrupt.hpp"
#include "graph/types.hpp"

namespace vexa::module {

class IntArray {
 public:
  // Holds the buffer of `obj` if `obj` qualifies as a one-dimensional (ndim
  // 1: numpy array or memoryview) or two-dimensional (ndim 2: numpy array)
  // integer array; otherwise holds nothing, and no exception is left set.
  IntArray(PyObject* obj, int ndim) noexcept;
  IntArray(const IntArray&) = delete;
  IntArray& operator=(const IntArray&) = delete;
  ~IntArray();

  explicit operator bool() const noexcept { return open_; }
  // The length of the first dimension (what len() gives), and for two
  // dimensions the length of every row; entries lie in C order.
  std::size_t rows() const noexcept { return rows_; }
  std::size_t row_length() const noexcept { return row_length_; }

  // Appends `count` entries from entry `first` on (entries counted in C
  // order) to `out` as node numbers, ticking `poll` once per entry.  Room
  // for them must be reserved.  A negative entry raises the interpreter's
  // OverflowError for its value, as converting it as an int would.
  void append(std::size_t first, std::size_t count, std::vector<graph::Node>& out,
              graph::InterruptPoll& poll) const;

 private:
  enum class Kind : unsigned char { i8, u8, i16, u16, i32, u32, i64, u64 };

  const char* data_ = nullptr;  // the first entry
  Py_buffer view_;  // filled by PyObject_GetBuffer; valid while held_
  bool held_ = false;
  bool open_ = false;
  Kind kind_ = Kind::u8;
  std::size_t rows_ = 0;
  std::size_t row_length_ = 0;
};

}  // namespace vexa::module
