#include "numpy_arrays.hpp"

#include <array>
#include <cstdint>
#include <cstring>

namespace vexa::module {
namespace {

// The head of numpy's array object (PyArrayObject_fields in numpy's C API):
// fields numpy added later follow `flags`.
struct ArrayHead {
  PyObject ob_base;
  char* data;
  int nd;
  Py_ssize_t* dimensions;
  Py_ssize_t* strides;
  PyObject* base;
  PyObject* descr;
  int flags;
};

// numpy's flag for data and strides aligned for the dtype.  The buffer
// protocol gives the native format of an integer dtype only for an array
// with this flag set.
constexpr int kArrayAligned = 0x0100;

// Dtypes remembered at a time.  Programs use a handful of integer dtypes;
// should more turn up, they take turns in the slots.
constexpr std::size_t kDtypeSlots = 8;

// Bytes of a dtype object compared, after the object header (numpy 2 uses
// about 120).  A dtype type with larger objects is not remembered.
constexpr std::size_t kDtypeBytes = 256;

// A dtype as the buffer protocol described it: its type, a copy of its bytes
// at that time, and the integer kind of its format.  A dtype object is
// recognised by its contents, not by its address: a dtype object with the
// same type and the same bytes (which include its byte order, item size,
// type number and the pointers to its fields, subarray shape and scalar
// type) describes its arrays the same way.  So dtype objects made one per
// array (as unpickling makes them) are recognised, an address taken over by
// another object is harmless, and a dtype changed in place (__setstate__ sets
// byte order, fields and subarray shape of a dtype that is not one of
// numpy's own) no longer matches and is learnt again.
struct KnownDtype {
  PyTypeObject* type = nullptr;  // null for a free slot
  std::size_t size = 0;  // bytes compared, from the end of the object header
  unsigned char kind = 0;
  std::array<unsigned char, kDtypeBytes> bytes{};
};

const unsigned char* body(PyObject* descr) noexcept {
  return reinterpret_cast<const unsigned char*>(descr) + sizeof(PyObject);
}

// The state of in-place reading for the process.
class InPlaceReading {
 public:
  // Whether `type`, the type of a plain ndarray, is read in place.  The first
  // time: only if it is the ndarray that numpy's module (already imported by
  // whoever made the array) holds, and its objects cover the head.
  bool on(PyTypeObject* type) noexcept {
    if (type == type_) return true;
    if (state_ != State::unknown) return false;
    state_ = confirmed(type) ? State::on : State::off;
    if (state_ == State::on) type_ = type;
    return state_ == State::on;
  }

  const KnownDtype* find(PyObject* descr) const noexcept {
    PyTypeObject* type = Py_TYPE(descr);
    for (const KnownDtype& known : slots_) {
      if (known.type == type && std::memcmp(body(descr), known.bytes.data(), known.size) == 0) return &known;
    }
    return nullptr;
  }

  void learn(PyObject* obj, const Py_buffer& view, unsigned char kind) noexcept {
    if (!on(Py_TYPE(obj))) return;
    PyObject* descr = reinterpret_cast<const ArrayHead*>(obj)->descr;
    if (find(descr) != nullptr) return;
    if (!agrees(obj, view, kind) || (!dtype_checked_ && !dtype_agrees(obj))) {
      state_ = State::off;
      type_ = nullptr;
      return;
    }
    dtype_checked_ = true;
    PyTypeObject* type = Py_TYPE(descr);
    if (type->tp_itemsize != 0 || type->tp_basicsize < static_cast<Py_ssize_t>(sizeof(PyObject)) ||
        static_cast<std::size_t>(type->tp_basicsize) - sizeof(PyObject) > kDtypeBytes) {
      return;
    }
    KnownDtype& slot = slots_[next_];
    next_ = (next_ + 1) % kDtypeSlots;
    slot.type = type;
    slot.size = static_cast<std::size_t>(type->tp_basicsize) - sizeof(PyObject);
    slot.kind = kind;
    std::memcpy(slot.bytes.data(), body(descr), slot.size);
  }

 private:
  enum class State : unsigned char { unknown, on, off };

  static bool confirmed(PyTypeObject* type) noexcept {
    if (type->tp_basicsize < static_cast<Py_ssize_t>(sizeof(ArrayHead))) return false;
    PyObject* numpy = PyDict_GetItemString(PyImport_GetModuleDict(), "numpy");
    if (numpy == nullptr || !PyModule_Check(numpy)) return false;
    PyObject* ndarray = PyDict_GetItemString(PyModule_GetDict(numpy), "ndarray");
    return ndarray == reinterpret_cast<PyObject*>(type);
  }

  // Whether the array object's fields say what the buffer protocol said:
  // data pointer, dimensions, strides (of the dimensions longer than 1, as
  // numpy reports C-order strides for the others), length in bytes, the
  // item size of the kind, and the aligned flag the integer format implies.
  static bool agrees(PyObject* obj, const Py_buffer& view, unsigned char kind) noexcept {
    const auto* head = reinterpret_cast<const ArrayHead*>(obj);
    if (head->data != view.buf || head->nd != view.ndim || (head->flags & kArrayAligned) == 0 ||
        view.itemsize != Py_ssize_t{1} << (kind / 2) || view.shape == nullptr || view.strides == nullptr) {
      return false;
    }
    std::size_t entries = 1;
    for (int i = 0; i < head->nd; ++i) {
      if (head->dimensions[i] != view.shape[i] || view.shape[i] < 0) return false;
      if (__builtin_mul_overflow(entries, static_cast<std::size_t>(view.shape[i]), &entries)) return false;
    }
    std::size_t bytes = 0;
    if (__builtin_mul_overflow(entries, static_cast<std::size_t>(view.itemsize), &bytes) ||
        bytes != static_cast<std::size_t>(view.len)) {
      return false;
    }
    for (int i = 0; i < head->nd && entries != 0; ++i) {
      if (view.shape[i] > 1 && head->strides[i] != view.strides[i]) return false;
    }
    return true;
  }

  // Whether the dtype field is the array's dtype attribute (checked once).
  static bool dtype_agrees(PyObject* obj) noexcept {
    PyObject* dtype = PyObject_GetAttrString(obj, "dtype");
    if (dtype == nullptr) {
      PyErr_Clear();
      return false;
    }
    const bool same = dtype == reinterpret_cast<const ArrayHead*>(obj)->descr;
    Py_DECREF(dtype);  // the array holds it too
    return same;
  }

  State state_ = State::unknown;
  bool dtype_checked_ = false;
  PyTypeObject* type_ = nullptr;
  std::array<KnownDtype, kDtypeSlots> slots_{};
  std::size_t next_ = 0;
};

InPlaceReading& in_place() noexcept {
  static InPlaceReading reading;
  return reading;
}

}  // namespace

// numpy's array type, recognised by name: numpy is not a build dependency.
// Only a static (C-defined) type can carry the dotted name "numpy.ndarray";
// a Python class of that name has the plain name "ndarray", and subclasses,
// whatever their name, are left to the generic conversion.
bool is_plain_ndarray(PyObject* obj) noexcept {
  static PyTypeObject* known = nullptr;
  PyTypeObject* type = Py_TYPE(obj);
  if (type == known) return true;
  if (PyType_HasFeature(type, Py_TPFLAGS_HEAPTYPE) || std::strcmp(type->tp_name, "numpy.ndarray") != 0) {
    return false;
  }
  known = type;
  return true;
}

bool read_in_place(PyObject* obj, ArrayInPlace& out) noexcept {
  InPlaceReading& reading = in_place();
  if (!reading.on(Py_TYPE(obj))) return false;
  const auto* head = reinterpret_cast<const ArrayHead*>(obj);
  if (head->nd != 1 || (head->flags & kArrayAligned) == 0) return false;
  const KnownDtype* known = reading.find(head->descr);
  if (known == nullptr) return false;
  const Py_ssize_t length = head->dimensions[0];
  const Py_ssize_t itemsize = Py_ssize_t{1} << (known->kind / 2);
  if (length < 0 || static_cast<std::size_t>(length) > kInPlaceMax ||
      (length > 1 && head->strides[0] != itemsize) ||
      reinterpret_cast<std::uintptr_t>(head->data) % static_cast<std::uintptr_t>(itemsize) != 0) {
    return false;
  }
  out = {head->data, static_cast<std::size_t>(length), known->kind};
  return true;
}

void learn_dtype(PyObject* obj, const Py_buffer& view, unsigned char kind) noexcept {
  in_place().learn(obj, view, kind);
}

}  // namespace vexa::module
