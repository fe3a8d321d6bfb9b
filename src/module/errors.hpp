// How failures travel through the frame and how they reach Python.
//
// Inside a call, a Python exception that is already set on the interpreter
// travels as the C++ exception PyErrorSet; an internal failure travels as
// graph::Failure.  Every entry point runs its body through guard(), which
// turns them (and allocation failures) into the exception the caller sees.
#pragma once

#include "ref.hpp"

#include <exception>
#include <new>
#include <stdexcept>
#include <string>
#include <string_view>

#include "graph/interrupt.hpp"
#include "graph/types.hpp"

namespace vexa::module {

// The name of the binding layer's runtime: the first word of the once-only
// import message and the module part of PanicException's qualified name.
inline constexpr const char* kRuntimeName = "keel";

// A Python exception is set on the interpreter; unwind to the boundary.
struct PyErrorSet {};

// The PanicException class, created on first use.  Null with an exception
// set if it cannot be created.
PyObject* panic_exception_type();

// Takes the pending exception off the interpreter.  A PanicException coming
// back from Python code is never passed on: it is reported on standard
// error and resumed as a graph::Failure.  If no exception is pending,
// returns a new SystemError.  Never returns null.
Ref take_pending();

// Puts an exception taken by take_pending() back on the interpreter.
void restore(Ref exc) noexcept;

// take_pending() and put it back on the interpreter, then unwind.
[[noreturn]] void throw_pending();

// Discards the pending exception (still applying the PanicException rule).
void discard_pending();

// Checks a new reference returned by the C API.
inline Ref checked(PyObject* p) {
  if (p == nullptr) throw_pending();
  return Ref(p);
}

// Sets type(message) on the interpreter (or the MemoryError of making the
// text) and unwinds.
[[noreturn]] void raise_error(PyObject* type, std::string_view message);

// Sets PanicException(message) on the interpreter.
void set_panic(std::string_view message);

// Leaves the exception that interrupted a computation set on the interpreter.
void finish_interrupted() noexcept;

// Installs the signal check for the running call.
bool check_signals_hook();

// The C++ runtime allocates its per-thread exception state on the thread's
// first throw.  If that first throw is a bad_alloc with the address space
// exhausted, that allocation fails too and the runtime aborts the process.
// So every thread throws once, on its first call, while memory is still
// available.
inline thread_local bool exceptions_ready = false;
inline void prepare_exceptions() noexcept {
  if (exceptions_ready) return;
  try {
    throw false;
  } catch (bool) {
  }
  exceptions_ready = true;
}

template <class Body>
PyObject* guard(Body&& body) noexcept {
  graph::interrupt_hook = &check_signals_hook;
  prepare_exceptions();
  try {
    return body();
  } catch (const PyErrorSet&) {
  } catch (const graph::Failure& failure) {
    set_panic(failure.message());
  } catch (const graph::Interrupted&) {
    finish_interrupted();
  } catch (const std::bad_alloc&) {
    PyErr_NoMemory();
  } catch (const std::length_error&) {
    PyErr_NoMemory();
  } catch (...) {
    set_panic("native code of the vexa module failed");
  }
  return nullptr;
}

}  // namespace vexa::module
