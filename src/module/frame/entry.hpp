// Entry trampolines: how every method, getter, setter, slot and module
// function starts and ends. Each runs the body and turns whatever escapes it
// into a Python exception: PyError as it is, core::InternalFailure and every
// other C++ exception as PanicException. Nothing unwinds into the interpreter;
// a thread the interpreter ends on the way is parked (thread_exit.hpp).
//
//   PyObject* book_repr(PyObject* self) noexcept {
//     return entry([&] { return py_str("Book"); });   // the body returns a Ref
//   }
#pragma once

#include <Python.h>

#include <exception>
#include <new>
#include <utility>

#include "module/frame/errors.hpp"
#include "module/frame/ref.hpp"
#include "module/frame/thread_exit.hpp"

namespace vellix::py {

namespace detail {
// Converts the exception in flight (inside a catch block) into a pending Python error.
void set_error_from_current_exception() noexcept;
}  // namespace detail

// For bodies that return a new reference (Ref); NULL with an error set on failure.
template <class F>
VELLIX_CATCHES_FORCED_UNWIND PyObject* entry(F&& body) noexcept {
  PyObject* result = nullptr;
  try {
    result = std::forward<F>(body)().release();
  } catch (abi::__forced_unwind&) {  // from Python code no parking_on_exit stands around
    park_exiting_thread();
  } catch (...) {
    detail::set_error_from_current_exception();
  }
  return result;
}

// For bodies that return nothing (setters, init-style slots); 0 or -1.
template <class F>
VELLIX_CATCHES_FORCED_UNWIND int entry_status(F&& body) noexcept {
  int status = 0;
  try {
    std::forward<F>(body)();
  } catch (abi::__forced_unwind&) {
    park_exiting_thread();
  } catch (...) {
    detail::set_error_from_current_exception();
    status = -1;
  }
  return status;
}

}  // namespace vellix::py
