#include "buffer_input.hpp"

#include <algorithm>
#include <cstdint>
#include <type_traits>

#include "errors.hpp"
#include "numpy_arrays.hpp"

namespace vexa::module {
namespace {

using graph::Node;

// The integer formats of the buffer protocol in native order and size (a
// single code, optionally after '@'): exactly the integer formats that a
// memoryview unpacks into ints, and the ones numpy gives for its integer
// dtypes in native byte order.  Booleans ('?'), chars, floats, explicit
// byte orders and standard sizes are not taken.
template <class T>
constexpr bool fits(Py_ssize_t itemsize) {
  return itemsize == static_cast<Py_ssize_t>(sizeof(T));
}

template <class T>
constexpr unsigned char kind_of() {
  // 2 * log2(size), plus 1 for unsigned: the order of IntArray::Kind.
  const unsigned char width = sizeof(T) == 1 ? 0 : sizeof(T) == 2 ? 2 : sizeof(T) == 4 ? 4 : 6;
  return static_cast<unsigned char>(width + (std::is_signed_v<T> ? 0 : 1));
}

bool parse_format(const char* format, Py_ssize_t itemsize, unsigned char& kind) noexcept {
  if (format == nullptr) return false;
  if (format[0] == '@') ++format;
  if (format[0] == '\0' || format[1] != '\0') return false;
  auto take = [&]<class T>(T*) {
    if (!fits<T>(itemsize) || sizeof(T) > 8) return false;
    kind = kind_of<T>();
    return true;
  };
  switch (format[0]) {
    case 'b': return take(static_cast<signed char*>(nullptr));
    case 'B': return take(static_cast<unsigned char*>(nullptr));
    case 'h': return take(static_cast<short*>(nullptr));
    case 'H': return take(static_cast<unsigned short*>(nullptr));
    case 'i': return take(static_cast<int*>(nullptr));
    case 'I': return take(static_cast<unsigned int*>(nullptr));
    case 'l': return take(static_cast<long*>(nullptr));
    case 'L': return take(static_cast<unsigned long*>(nullptr));
    case 'q': return take(static_cast<long long*>(nullptr));
    case 'Q': return take(static_cast<unsigned long long*>(nullptr));
    case 'n': return take(static_cast<Py_ssize_t*>(nullptr));
    case 'N': return take(static_cast<std::size_t*>(nullptr));
    default: return false;
  }
}

// Raises what converting the int `value` to an unsigned 64-bit number
// raises: the interpreter's own OverflowError, worded by the interpreter.
[[noreturn]] void raise_negative(long long value) {
  Ref number = checked(PyLong_FromLongLong(value));
  (void)PyLong_AsUnsignedLongLong(number.get());
  throw_pending();
}

// Entries per interrupt tick: small enough that a tick stays well under the
// poll's period, large enough that the copy runs as one vectorised loop.
constexpr std::size_t kChunk = 4096;
// An array read in place is read whole before its first tick.
static_assert(kChunk >= kInPlaceMax);

template <class T>
void append_entries(const T* src, std::size_t count, std::vector<Node>& out,
                    graph::InterruptPoll& poll) {
  while (count != 0) {
    const std::size_t n = std::min(count, kChunk);
    if constexpr (std::is_signed_v<T>) {
      // Or the entries together (negative iff one of them is); search for
      // the first negative one only if there is one.
      T any = 0;
      for (std::size_t i = 0; i < n; ++i) any = static_cast<T>(any | src[i]);
      if (any < 0) {
        for (std::size_t i = 0; i < n; ++i) {
          if (src[i] < 0) raise_negative(src[i]);
        }
      }
    }
    out.insert(out.end(), src, src + n);  // within the reserved room
    poll.tick(static_cast<std::uint32_t>(n));
    src += n;
    count -= n;
  }
}

// Whether the entries lie in C order without gaps, as the reading assumes:
// every dimension of more than one entry steps over exactly the dimensions
// after it.  An array with no entries reads nothing and qualifies.
bool c_contiguous(const Py_buffer& view) noexcept {
  Py_ssize_t step = view.itemsize;
  for (int i = view.ndim - 1; i >= 0; --i) {
    if (view.shape[i] == 0) return true;
    if (view.shape[i] > 1 && view.strides != nullptr && view.strides[i] != step) return false;
    step *= view.shape[i];
  }
  return true;
}

}  // namespace

IntArray::IntArray(PyObject* obj, int ndim) noexcept {
  const bool ndarray = is_plain_ndarray(obj);
  if (!ndarray && !(ndim == 1 && Py_IS_TYPE(obj, &PyMemoryView_Type))) return;
  if (ndarray && ndim == 1) {
    if (ArrayInPlace in_place; read_in_place(obj, in_place)) {
      data_ = static_cast<const char*>(in_place.data);
      rows_ = row_length_ = in_place.length;
      kind_ = static_cast<Kind>(in_place.kind);
      open_ = true;
      return;
    }
  }
  if (PyObject_GetBuffer(obj, &view_, PyBUF_RECORDS_RO) != 0) {
    // Dtypes without a buffer format (dates, times), released views: the
    // generic conversion gives their outcome.  The exporters are C code, so
    // the error is a plain one of theirs.
    PyErr_Clear();
    return;
  }
  held_ = true;
  unsigned char kind = 0;
  bool ok = view_.ndim == ndim && view_.shape != nullptr && view_.suboffsets == nullptr &&
            parse_format(view_.format, view_.itemsize, kind) &&
            c_contiguous(view_) &&
            reinterpret_cast<std::uintptr_t>(view_.buf) % static_cast<std::uintptr_t>(view_.itemsize) == 0;
  if (ok) {
    const Py_ssize_t rows = view_.shape[0];
    const Py_ssize_t row_length = ndim == 2 ? view_.shape[1] : 1;
    // The entries must be exactly the bytes the buffer spans (the item size
    // is 2^(kind / 2) bytes).
    const int shift = kind / 2;
    const Py_ssize_t entries = view_.len >> shift;
    ok = view_.len >= 0 && (entries << shift) == view_.len && rows >= 0 && row_length >= 0 &&
         (ndim == 1 ? entries == rows
          : row_length == 0 ? entries == 0
                            : entries % row_length == 0 && entries / row_length == rows);
    rows_ = static_cast<std::size_t>(rows);
    row_length_ = ndim == 2 ? static_cast<std::size_t>(row_length) : rows_;
  }
  if (!ok) {
    PyBuffer_Release(&view_);
    held_ = false;
    return;
  }
  data_ = static_cast<const char*>(view_.buf);
  kind_ = static_cast<Kind>(kind);
  open_ = true;
  if (ndarray) learn_dtype(obj, view_, kind);
}

IntArray::~IntArray() {
  if (held_) PyBuffer_Release(&view_);
}

void IntArray::append(std::size_t first, std::size_t count, std::vector<Node>& out,
                      graph::InterruptPoll& poll) const {
  const char* base = data_;
  switch (kind_) {
    case Kind::i8: return append_entries(reinterpret_cast<const std::int8_t*>(base) + first, count, out, poll);
    case Kind::u8: return append_entries(reinterpret_cast<const std::uint8_t*>(base) + first, count, out, poll);
    case Kind::i16: return append_entries(reinterpret_cast<const std::int16_t*>(base) + first, count, out, poll);
    case Kind::u16: return append_entries(reinterpret_cast<const std::uint16_t*>(base) + first, count, out, poll);
    case Kind::i32: return append_entries(reinterpret_cast<const std::int32_t*>(base) + first, count, out, poll);
    case Kind::u32: return append_entries(reinterpret_cast<const std::uint32_t*>(base) + first, count, out, poll);
    case Kind::i64: return append_entries(reinterpret_cast<const std::int64_t*>(base) + first, count, out, poll);
    case Kind::u64: return append_entries(reinterpret_cast<const std::uint64_t*>(base) + first, count, out, poll);
  }
}

}  // namespace vexa::module
