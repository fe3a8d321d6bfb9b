// Module initialisation: PyInit_vexa.
#include <atomic>
#include <string>

#include "errors.hpp"
#include "functions.hpp"

namespace vexa::module {
namespace {

PyModuleDef g_module_def = {
    PyModuleDef_HEAD_INIT,
    "vexa",   // m_name
    "",       // m_doc
    0,        // m_size
    nullptr,  // m_methods: the functions are added as attributes after creation
    nullptr,  // m_slots
    nullptr,  // m_traverse
    nullptr,  // m_clear
    nullptr,  // m_free
};

std::atomic<bool> g_initialised{false};

PyObject* interned(const char* text) {
  PyObject* s = PyUnicode_FromString(text);
  if (s != nullptr) PyUnicode_InternInPlace(&s);
  return s;
}

PyObject* attr_all() {
  static PyObject* name = interned("__all__");
  return name;
}

PyObject* attr_name() {
  static PyObject* name = interned("__name__");
  return name;
}

PyObject* checked_borrowed(PyObject* p) {
  if (p == nullptr) throw_pending();
  return p;
}

// Adds one function to the module and its name to __all__.
void register_function(PyObject* module, PyMethodDef* def) {
  const char* module_name = PyModule_GetName(module);
  if (module_name == nullptr) throw_pending();
  Ref name_str = checked(PyUnicode_FromString(module_name));
  Ref function = checked(PyCMethod_New(def, module, name_str.get(), nullptr));
  Ref fname = checked(PyObject_GetAttr(function.get(), checked_borrowed(attr_name())));

  Ref all(PyObject_GetAttr(module, checked_borrowed(attr_all())));
  if (!all) {
    if (!PyErr_ExceptionMatches(PyExc_AttributeError)) throw_pending();
    PyErr_Clear();
    all = checked(PyList_New(0));
    if (PyObject_SetAttr(module, attr_all(), all.get()) < 0) throw_pending();
  }
  if (!PyList_Check(all.get()) || PyList_Append(all.get(), fname.get()) < 0) {
    if (PyErr_Occurred()) discard_pending();
    throw graph::Failure("could not append __name__ to __all__");
  }
  if (PyObject_SetAttr(module, fname.get(), function.get()) < 0) throw_pending();
}

}  // namespace
}  // namespace vexa::module

// PyMODINIT_FUNC already carries extern "C" and the export attribute.
PyMODINIT_FUNC PyInit_vexa(void) {
  using namespace vexa::module;
  return guard([]() -> PyObject* {
    Ref module(PyModule_Create2(&g_module_def, 1013));
    if (!module) throw_pending();
    if (g_initialised.exchange(true)) {
      raise_error(PyExc_ImportError,
                  std::string(kRuntimeName) + " modules may only be initialized once per interpreter process");
    }
    for (PyMethodDef* def = kMethods; def->ml_name != nullptr; ++def) register_function(module.get(), def);
    return module.release();
  });
}
