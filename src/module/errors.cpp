#include "errors.hpp"

#include <cstdio>

namespace vexa::module {
namespace {

PyObject* g_panic_type = nullptr;  // kept for the life of the process

constexpr const char* kPanicDoc =
    "The exception raised when the native code of the vexa module fails "
    "while it is called from Python.\n\n"
    "Like SystemExit, it derives from BaseException rather than Exception, "
    "so that it usually propagates through the whole stack and ends the "
    "interpreter instead of being swallowed by a broad `except Exception`.";

// The raw pending exception, normalised into one exception instance (or a
// string value, if someone set an exception with a plain text and it has not
// been instantiated).  Null if nothing is pending.
struct Pending {
  Ref type;
  Ref value;  // instance, or the str value of an unnormalised exception
  Ref traceback;
};

Pending fetch_raw() noexcept {
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

void restore_raw(Pending p) noexcept {
  PyErr_Restore(p.type.release(), p.value.release(), p.traceback.release());
}

}  // namespace

PyObject* panic_exception_type() {
  if (g_panic_type == nullptr) {
    std::string qualname = std::string(kRuntimeName) + ".PanicException";
    g_panic_type = PyErr_NewExceptionWithDoc(qualname.c_str(), kPanicDoc,
                                             PyExc_BaseException, nullptr);
  }
  return g_panic_type;
}

bool text_of(PyObject* obj, std::string& out) {
  Ref str(PyObject_Str(obj));
  if (!str) {
    discard_pending();
    return false;
  }
  Py_ssize_t size = 0;
  const char* utf8 = PyUnicode_AsUTF8AndSize(str.get(), &size);
  if (utf8 != nullptr) {
    out.assign(utf8, static_cast<std::size_t>(size));
    return true;
  }
  PyErr_Clear();  // a UnicodeEncodeError of our own making
  Ref bytes(PyUnicode_AsEncodedString(str.get(), "utf-8", "surrogatepass"));
  if (!bytes) {
    discard_pending();
    return false;
  }
  Ref lossy(PyUnicode_DecodeUTF8(PyBytes_AsString(bytes.get()), PyBytes_Size(bytes.get()),
                                 "replace"));
  if (!lossy || (utf8 = PyUnicode_AsUTF8AndSize(lossy.get(), &size)) == nullptr) {
    discard_pending();
    return false;
  }
  out.assign(utf8, static_cast<std::size_t>(size));
  return true;
}

Ref take_pending() {
  Pending p = fetch_raw();
  if (!p.type) {
    PyErr_SetString(PyExc_SystemError, "attempted to fetch exception but none was set");
    p = fetch_raw();
  }
  if (g_panic_type != nullptr && PyErr_GivenExceptionMatches(p.type.get(), g_panic_type)) {
    std::string message = "Unwrapped panic from Python code";
    if (p.value && PyUnicode_Check(p.value.get())) {
      Py_ssize_t size = 0;
      const char* utf8 = PyUnicode_AsUTF8AndSize(p.value.get(), &size);
      if (utf8 != nullptr)
        message.assign(utf8, static_cast<std::size_t>(size));
      else
        PyErr_Clear();
    }
    std::fputs("--- keel is resuming a native failure after fetching a PanicException from Python. ---\n"
               "Python stack trace below:\n",
               stderr);
    std::fflush(stderr);
    restore_raw(std::move(p));
    PyErr_PrintEx(0);
    throw graph::Failure(std::move(message));
  }
#if PY_VERSION_HEX < 0x030C0000
  {
    PyObject* type = p.type.release();
    PyObject* value = p.value.release();
    PyObject* tb = p.traceback.release();
    PyErr_NormalizeException(&type, &value, &tb);
    if (tb != nullptr && value != nullptr) PyException_SetTraceback(value, tb);
    Py_XDECREF(type);
    Py_XDECREF(tb);
    return Ref(value);
  }
#else
  return std::move(p.value);
#endif
}

void restore(Ref exc) noexcept {
#if PY_VERSION_HEX >= 0x030C0000
  PyErr_SetRaisedException(exc.release());
#else
  PyObject* value = exc.get();
  PyErr_Restore(Py_NewRef(reinterpret_cast<PyObject*>(Py_TYPE(value))), exc.release(),
                PyException_GetTraceback(value));
#endif
}

void throw_pending() {
  restore(take_pending());
  throw PyErrorSet{};
}

void discard_pending() { take_pending(); }

void set_panic(std::string_view message) {
  PyObject* type = panic_exception_type();
  if (type == nullptr) return;
  Ref text(PyUnicode_DecodeUTF8(message.data(), static_cast<Py_ssize_t>(message.size()),
                                "replace"));
  if (!text) return;
  Ref instance(PyObject_CallOneArg(type, text.get()));
  if (!instance) return;
  PyErr_SetObject(type, instance.get());
}

bool check_signals_hook() { return PyErr_CheckSignals() != 0; }

void finish_interrupted() noexcept {
  try {
    restore(take_pending());
  } catch (const graph::Failure& failure) {
    set_panic(failure.message());
  } catch (...) {
    PyErr_NoMemory();
  }
}

}  // namespace vexa::module
