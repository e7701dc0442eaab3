// Ref: one owned reference to a Python object, released when it goes out of
// scope, so every early return at the C-API boundary leaves nothing behind.
// Use only with the interpreter lock held.
#pragma once

#include <Python.h>

#include <utility>

#include "module/frame/thread_exit.hpp"

namespace vellix::py {

// Drops one reference to `o` (none when nullptr). The drop may run a
// finaliser: Python code, in which the thread can lose the lock for good.
inline void drop_reference(PyObject* o) noexcept {
  if (o != nullptr) parking_on_exit([o] { Py_DECREF(o); });
}

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
      drop_reference(p_);
      p_ = std::exchange(o.p_, nullptr);
    }
    return *this;
  }
  ~Ref() { drop_reference(p_); }

  PyObject* get() const noexcept { return p_; }
  // Hands the reference to the caller (for a slot's return value, or a call that steals).
  PyObject* release() noexcept { return std::exchange(p_, nullptr); }
  explicit operator bool() const noexcept { return p_ != nullptr; }

 private:
  explicit Ref(PyObject* o) noexcept : p_(o) {}
  PyObject* p_ = nullptr;
};

}  // namespace vellix::py
