#include "binding.hpp"

#include <cstring>
#include <string>

#include "errors.hpp"
#include "text.hpp"

namespace vexa::module {
namespace {

[[noreturn]] void type_error(const std::string& message) { raise_error(PyExc_TypeError, message); }

}  // namespace

void bind_arguments(const Signature& sig, PyObject* const* args, Py_ssize_t nargs,
                    PyObject* kwnames, PyObject** slots) {
  const auto given = static_cast<std::size_t>(nargs);
  if (given > sig.count) {
    type_error(std::string(sig.name) + "() takes " + std::to_string(sig.count) +
               " positional arguments but " + std::to_string(given) +
               (given == 1 ? " was" : " were") + " given");
  }
  for (std::size_t i = 0; i < sig.count; ++i) slots[i] = i < given ? args[i] : nullptr;

  const Py_ssize_t nkw = kwnames == nullptr ? 0 : PyTuple_GET_SIZE(kwnames);
  for (Py_ssize_t k = 0; k < nkw; ++k) {
    PyObject* key = PyTuple_GET_ITEM(kwnames, k);
    std::string name;
    std::size_t match = sig.count;
    if (keyword_utf8(key, name)) {
      for (std::size_t i = 0; i < sig.count; ++i) {
        if (name == sig.params[i]) {
          match = i;
          break;
        }
      }
    }
    if (match == sig.count) {
      type_error(std::string(sig.name) + "() got an unexpected keyword argument '" +
                 printable(key) + "'");
    }
    if (slots[match] != nullptr) {
      type_error(std::string(sig.name) + "() got multiple values for argument '" +
                 sig.params[match] + "'");
    }
    slots[match] = args[nargs + k];
  }

  if (given < sig.count) {
    std::size_t missing = 0;
    for (std::size_t i = given; i < sig.count; ++i) missing += slots[i] == nullptr;
    if (missing == 0) return;
    std::string message = std::string(sig.name) + "() missing " + std::to_string(missing) +
                          " required positional " + (missing == 1 ? "argument" : "arguments") +
                          ": ";
    std::size_t listed = 0;
    for (std::size_t i = given; i < sig.count; ++i) {
      if (slots[i] != nullptr) continue;
      if (listed > 0) {
        if (missing > 2) message += ",";
        message += listed + 1 == missing ? " and " : " ";
      }
      message += std::string("'") + sig.params[i] + "'";
      ++listed;
    }
    type_error(message);
  }
}

}  // namespace vexa::module
