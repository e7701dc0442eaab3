// How failures travel inside an entry and how they reach Python.
//
// Inside an entry's body a Python error travels as a C++ exception, PyError,
// that holds the exception object with the error indicator cleared (so no
// destructor runs Python code with an error pending). The entry trampoline
// (entry.hpp) restores it. Core errors become RuntimeError (or ValueError);
// InternalFailure and every other C++ exception become PanicException.
#pragma once

#include <Python.h>

#include <string_view>

#include "core/error.hpp"
#include "module/frame/ref.hpp"

namespace vellix::py {

// A Python exception in flight; the indicator is clear while it travels.
class PyError {
 public:
  explicit PyError(Ref exc) noexcept : exc_(std::move(exc)) {}
  // Sets the indicator from the held exception (done once, by the trampoline).
  void restore() noexcept;
  PyObject* exception() const noexcept { return exc_.get(); }

 private:
  Ref exc_;
};

// Takes the pending Python error and throws it as PyError; with none pending,
// SystemError "attempted to fetch exception but none was set". A
// PanicException coming back from Python code is reported to stderr first.
[[noreturn]] void throw_pending();
// Raises `type` with `message`.
[[noreturn]] void throw_error(PyObject* type, std::string_view message);
// Raises a core error: RuntimeError (ValueError for ErrorKind::Value) with its
// message.
[[noreturn]] void throw_core_error(const core::Error& error);
// For Python API calls that must not fail (list or str creation): prints the
// pending error and fails internally with "Python API call failed".
[[noreturn]] void throw_api_failure();

// The PanicException type (qualified name "pyo3_runtime.PanicException", a
// direct subclass of BaseException), created once on first need.
PyObject* panic_exception_type();
// Sets PanicException(message) as the pending error.
void set_panic(std::string_view message) noexcept;

}  // namespace vellix::py
