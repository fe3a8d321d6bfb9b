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

// Dtype objects held at a time.  Programs use a handful of integer dtypes;
// arrays that bring dtype objects of their own (unpickled one by one, say)
// take turns in the slots.
constexpr std::size_t kDtypeSlots = 8;

// Bytes of a dtype object compared on every use, after the object header
// (numpy 2 uses about 120).  A dtype type with larger objects is never held.
constexpr std::size_t kDtypeBytes = 256;

// A dtype object seen through the buffer protocol, with its integer kind and
// a copy of its bytes at that time.  A dtype object can be changed in place
// (__setstate__ sets byte order, fields and subarray shape of a dtype that is
// not one of numpy's own); any change shows in its bytes, and the dtype is
// then learnt again.  The reference keeps the address from being reused by
// another object.
struct KnownDtype {
  PyObject* descr = nullptr;  // strong reference, or null for a free slot
  PyTypeObject* type = nullptr;
  std::size_t size = 0;  // bytes compared, from the end of the object header
  unsigned char kind = 0;
  std::array<unsigned char, kDtypeBytes> bytes{};
};

const unsigned char* body(PyObject* descr) noexcept {
  return reinterpret_cast<const unsigned char*>(descr) + sizeof(PyObject);
}

// The state of in-place reading for the process.  Never destroyed: its
// references must not be released after the interpreter has finished.
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
    for (const KnownDtype& known : slots_) {
      if (known.descr != descr) continue;
      if (Py_TYPE(descr) != known.type || std::memcmp(body(descr), known.bytes.data(), known.size) != 0) {
        return nullptr;
      }
      return &known;
    }
    return nullptr;
  }

  void learn(PyObject* obj, const Py_buffer& view, unsigned char kind) noexcept {
    if (!on(Py_TYPE(obj))) return;
    PyObject* descr = reinterpret_cast<const ArrayHead*>(obj)->descr;
    if (find(descr) != nullptr) return;
    if (!agrees(obj, view, kind)) {
      state_ = State::off;
      type_ = nullptr;
      return;
    }
    PyTypeObject* type = Py_TYPE(descr);
    if (type->tp_itemsize != 0 || type->tp_basicsize < static_cast<Py_ssize_t>(sizeof(PyObject)) ||
        static_cast<std::size_t>(type->tp_basicsize) - sizeof(PyObject) > kDtypeBytes) {
      return;
    }
    // The slot of this dtype if it has changed since, else the next in turn.
    std::size_t at = next_;
    for (std::size_t i = 0; i < kDtypeSlots; ++i) {
      if (slots_[i].descr == descr) at = i;
    }
    if (at == next_) next_ = (next_ + 1) % kDtypeSlots;
    KnownDtype& slot = slots_[at];
    PyObject* old = slot.descr;
    slot.descr = Py_NewRef(descr);
    slot.type = type;
    slot.size = static_cast<std::size_t>(type->tp_basicsize) - sizeof(PyObject);
    slot.kind = kind;
    std::memcpy(slot.bytes.data(), body(descr), slot.size);
    // Last, with the slot whole again: releasing a dtype can run Python code
    // (its metadata's finalisers), and that code can call the module.
    Py_XDECREF(old);
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
  // item size of the kind, the aligned flag the integer format implies, and
  // the dtype.
  static bool agrees(PyObject* obj, const Py_buffer& view, unsigned char kind) noexcept {
    const auto* head = reinterpret_cast<const ArrayHead*>(obj);
    if (head->data != view.buf || head->nd != view.ndim || (head->flags & kArrayAligned) == 0 ||
        view.itemsize != Py_ssize_t{1} << (kind / 2) ||
        view.shape == nullptr || view.strides == nullptr) {
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
    PyObject* dtype = PyObject_GetAttrString(obj, "dtype");
    if (dtype == nullptr) {
      PyErr_Clear();
      return false;
    }
    const bool same = dtype == head->descr;
    Py_DECREF(dtype);  // the array holds it too
    return same;
  }

  State state_ = State::unknown;
  PyTypeObject* type_ = nullptr;
  std::array<KnownDtype, kDtypeSlots> slots_{};
  std::size_t next_ = 0;
};

InPlaceReading& in_place() noexcept {
  static InPlaceReading* const reading = new InPlaceReading;
  return *reading;
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
