// Entry trampolines: how every method, getter, setter, slot and module
// function starts and ends. Each counts the thread's attachment, applies
// deferred reference releases, runs the body and turns whatever escapes it
// into a Python exception: PyError as it is, core::InternalFailure and every
// other C++ exception as PanicException. Nothing unwinds into the interpreter.
//
//   static PyObject* book_repr(PyObject* self) {
//     return entry([&] { return Book::repr(self); });   // body returns Ref
//   }
#pragma once

#include <Python.h>

#include <exception>
#include <new>
#include <utility>

#include "module/frame/errors.hpp"
#include "module/frame/ref.hpp"

namespace vellix::py {

namespace detail {
void enter() noexcept;  // counts the attachment, applies deferred releases
void leave() noexcept;
// Converts the exception in flight (inside a catch block) into a pending Python error.
void set_error_from_current_exception() noexcept;
}  // namespace detail

// For bodies that return a new reference (Ref); NULL with an error set on failure.
template <class F>
PyObject* entry(F&& body) noexcept {
  detail::enter();
  PyObject* result = nullptr;
  try {
    result = std::forward<F>(body)().release();
  } catch (...) {
    detail::set_error_from_current_exception();
  }
  detail::leave();
  return result;
}

// For bodies that return nothing (setters, init-style slots); 0 or -1.
template <class F>
int entry_status(F&& body) noexcept {
  detail::enter();
  int status = 0;
  try {
    std::forward<F>(body)();
  } catch (...) {
    detail::set_error_from_current_exception();
    status = -1;
  }
  detail::leave();
  return status;
}

// Releases `o` now when this thread is attached, else queues it for the next
// entry of any thread.
void release_later(PyObject* o) noexcept;

// Runs a scope without the interpreter lock: the attach count is set aside and
// PyEval_SaveThread called; the destructor takes the lock back, restores the
// count and applies deferred releases. Touch no Python object inside.
class AllowThreads {
 public:
  AllowThreads() noexcept;
  ~AllowThreads();
  AllowThreads(const AllowThreads&) = delete;  // one restore per save
  AllowThreads& operator=(const AllowThreads&) = delete;

 private:
  long saved_count_;
  PyThreadState* state_;
};

// Whether this thread is attached (inside an entry, with the interpreter lock).
bool attached() noexcept;

}  // namespace vellix::py
