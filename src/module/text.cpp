#include "text.hpp"

#include "errors.hpp"

namespace vexa::module {
namespace {

PyObject* interned_qualname() {
  static PyObject* name = [] {
    PyObject* s = PyUnicode_FromString("__qualname__");
    if (s != nullptr) PyUnicode_InternInPlace(&s);
    return s;
  }();
  return name;
}

// The UTF-8 of a str object; false (with the error left set) if it has none.
bool utf8_of(PyObject* str, std::string& out) {
  Py_ssize_t size = 0;
  const char* utf8 = PyUnicode_AsUTF8AndSize(str, &size);
  if (utf8 == nullptr) return false;
  out.assign(utf8, static_cast<std::size_t>(size));
  return true;
}

}  // namespace

bool text_of(PyObject* obj, std::string& out) {
  Ref str(PyObject_Str(obj));
  if (!str) {
    discard_pending();
    return false;
  }
  if (utf8_of(str.get(), out)) return true;
  PyErr_Clear();  // a UnicodeEncodeError of our own making
  Ref bytes(PyUnicode_AsEncodedString(str.get(), "utf-8", "surrogatepass"));
  if (!bytes) {
    discard_pending();
    return false;
  }
  Ref lossy(PyUnicode_DecodeUTF8(PyBytes_AsString(bytes.get()), PyBytes_Size(bytes.get()),
                                 "replace"));
  if (!lossy || !utf8_of(lossy.get(), out)) {
    discard_pending();
    return false;
  }
  return true;
}

std::string printable(PyObject* obj) {
  std::string text;
  if (!text_of(obj, text)) text = std::string("<unprintable ") + Py_TYPE(obj)->tp_name + " object>";
  return text;
}

bool keyword_utf8(PyObject* key, std::string& out) {
  if (PyUnicode_Check(key) && utf8_of(key, out)) return true;
  if (PyErr_Occurred()) discard_pending();
  return false;
}

std::string type_qualname(PyObject* obj) {
  PyObject* attr = interned_qualname();
  if (attr != nullptr) {
    Ref qualname(PyObject_GetAttr(reinterpret_cast<PyObject*>(Py_TYPE(obj)), attr));
    std::string out;
    if (qualname && PyUnicode_Check(qualname.get()) && utf8_of(qualname.get(), out)) return out;
  }
  if (PyErr_Occurred()) discard_pending();
  return "<failed to extract type name>";
}

}  // namespace vexa::module
