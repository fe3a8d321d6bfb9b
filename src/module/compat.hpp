// The C API calls that differ between the interpreter versions the module
// supports.  Python 3.12 keeps a pending exception as one normalised
// instance; before it, as a (type, value, traceback) triple whose value may
// still be a plain argument.  Everything else in the frame is written
// against the calls of every supported version.
#pragma once

#include "ref.hpp"

namespace vexa::module::compat {

// A pending exception as taken off the interpreter.  `value` is the
// instance, or (before 3.12) whatever the exception was set with.
struct Pending {
  Ref type;
  Ref value;
  Ref traceback;
};

// Takes the pending exception off the interpreter; all null if none.
inline Pending fetch() noexcept {
  Pending p;
#if PY_VERSION_HEX >= 0x030C0000
  PyObject* exc = PyErr_GetRaisedException();
  if (exc != nullptr) {
    p.type = Ref::borrow(reinterpret_cast<PyObject*>(Py_TYPE(exc)));
    p.traceback = Ref(PyException_GetTraceback(exc));
    p.value = Ref(exc);
  }
#else
  PyObject *type = nullptr, *value = nullptr, *tb = nullptr;
  PyErr_Fetch(&type, &value, &tb);
  p.type = Ref(type);
  p.value = Ref(value);
  p.traceback = Ref(tb);
#endif
  return p;
}

// The exception instance of a fetched exception, with its traceback.
inline Ref instance(Pending p) noexcept {
#if PY_VERSION_HEX >= 0x030C0000
  return std::move(p.value);
#else
  PyObject* type = p.type.release();
  PyObject* value = p.value.release();
  PyObject* tb = p.traceback.release();
  PyErr_NormalizeException(&type, &value, &tb);
  if (tb != nullptr && value != nullptr) PyException_SetTraceback(value, tb);
  Py_XDECREF(type);
  Py_XDECREF(tb);
  return Ref(value);
#endif
}

// Sets an exception instance as the pending exception.
inline void raise_instance(Ref exc) noexcept {
#if PY_VERSION_HEX >= 0x030C0000
  PyErr_SetRaisedException(exc.release());
#else
  PyObject* value = exc.get();
  PyErr_Restore(Py_NewRef(reinterpret_cast<PyObject*>(Py_TYPE(value))), exc.release(),
                PyException_GetTraceback(value));
#endif
}

}  // namespace vexa::module::compat
