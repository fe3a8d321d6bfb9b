// Owning handle for a Python reference.
#pragma once

#define PY_SSIZE_T_CLEAN
#include <Python.h>

#include <utility>

namespace vexa::module {

// Holds one strong reference and releases it when it goes out of scope, on
// every path.  Constructing from a raw pointer steals the reference.
class Ref {
 public:
  Ref() noexcept = default;
  explicit Ref(PyObject* p) noexcept : p_(p) {}
  Ref(const Ref&) = delete;
  Ref& operator=(const Ref&) = delete;
  Ref(Ref&& other) noexcept : p_(other.release()) {}
  Ref& operator=(Ref&& other) noexcept {
    if (this != &other) reset(other.release());
    return *this;
  }
  ~Ref() { Py_XDECREF(p_); }

  // A new strong reference to a borrowed object.
  static Ref borrow(PyObject* p) noexcept {
    Py_XINCREF(p);
    return Ref(p);
  }

  PyObject* get() const noexcept { return p_; }
  explicit operator bool() const noexcept { return p_ != nullptr; }
  // Gives up ownership without releasing.
  PyObject* release() noexcept { return std::exchange(p_, nullptr); }
  void reset(PyObject* p = nullptr) noexcept {
    PyObject* old = std::exchange(p_, p);
    Py_XDECREF(old);
  }

 private:
  PyObject* p_ = nullptr;
};

}  // namespace vexa::module
