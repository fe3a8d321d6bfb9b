#include "errors.hpp"

#include <cstdio>

#include "compat.hpp"

namespace vexa::module {
namespace {

PyObject* g_panic_type = nullptr;  // kept for the life of the process

constexpr const char* kPanicDoc =
    "The exception raised when the native code of the vexa module fails "
    "while it is called from Python.\n\n"
    "Like SystemExit, it derives from BaseException rather than Exception, "
    "so that it usually propagates through the whole stack and ends the "
    "interpreter instead of being swallowed by a broad `except Exception`.";

void restore_raw(compat::Pending p) noexcept {
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

Ref take_pending() {
  compat::Pending p = compat::fetch();
  if (!p.type) {
    PyErr_SetString(PyExc_SystemError, "attempted to fetch exception but none was set");
    p = compat::fetch();
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
    std::fprintf(stderr,
                 "--- %s is resuming a native failure after fetching a PanicException from Python. ---\n"
                 "Python stack trace below:\n",
                 kRuntimeName);
    std::fflush(stderr);
    restore_raw(std::move(p));
    PyErr_PrintEx(0);
    throw graph::Failure(std::move(message));
  }
  return compat::instance(std::move(p));
}

void restore(Ref exc) noexcept { compat::raise_instance(std::move(exc)); }

void throw_pending() {
  restore(take_pending());
  throw PyErrorSet{};
}

void discard_pending() { take_pending(); }

void raise_error(PyObject* type, std::string_view message) {
  Ref text(PyUnicode_FromStringAndSize(message.data(), static_cast<Py_ssize_t>(message.size())));
  if (text) PyErr_SetObject(type, text.get());
  throw PyErrorSet{};
}

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
