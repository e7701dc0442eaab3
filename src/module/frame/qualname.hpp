// The qualified name of an object's own class, for the text forms that begin
// with it (ReadableCell, ReadableSheet, Service, Finder): a Python subclass
// shows its own name, a nested class its dotted path. Interpreter lock held.
#pragma once

#include <Python.h>

#include <string>

#include "module/frame/errors.hpp"
#include "module/frame/ref.hpp"

namespace vellix::module {

// UTF-8; the interpreter's error (or SystemError when none) if it cannot be read.
inline std::string class_qualname(PyObject* self) {
  py::Ref qualname = py::Ref::steal(PyType_GetQualName(Py_TYPE(self)));
  if (!qualname) py::throw_pending();
  Py_ssize_t n = 0;
  const char* utf8 = PyUnicode_AsUTF8AndSize(qualname.get(), &n);
  if (utf8 == nullptr) py::throw_pending();
  return std::string(utf8, static_cast<size_t>(n));
}

}  // namespace vellix::module
