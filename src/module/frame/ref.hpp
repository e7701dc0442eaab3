// Ref: one owned reference to a Python object, released when it goes out of
// scope, so every early return at the C-API boundary leaves nothing behind.
// Use only with the interpreter lock held.
#pragma once

#include <Python.h>

#include <utility>

namespace vellix::py {

class Ref {
 public:
  Ref() noexcept = default;
  // Takes over a new reference (the result of a C-API call that returns one).
  static Ref steal(PyObject* o) noexcept { return Ref(o); }
  // Adds a reference to a borrowed object.
  static Ref borrow(PyObject* o) noexcept {
    Py_XINCREF(o);
    return Ref(o);
  }

  Ref(const Ref&) = delete;  // copies would hide reference traffic; use borrow()
  Ref& operator=(const Ref&) = delete;
  Ref(Ref&& o) noexcept : p_(std::exchange(o.p_, nullptr)) {}
  Ref& operator=(Ref&& o) noexcept {
    if (this != &o) {
      Py_XDECREF(p_);
      p_ = std::exchange(o.p_, nullptr);
    }
    return *this;
  }
  ~Ref() { Py_XDECREF(p_); }

  PyObject* get() const noexcept { return p_; }
  // Hands the reference to the caller (for a slot's return value, or a call that steals).
  PyObject* release() noexcept { return std::exchange(p_, nullptr); }
  explicit operator bool() const noexcept { return p_ != nullptr; }

 private:
  explicit Ref(PyObject* o) noexcept : p_(o) {}
  PyObject* p_ = nullptr;
};

}  // namespace vellix::py
