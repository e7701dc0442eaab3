// Rows of a class's PyMethodDef table for the entry kinds the classes use, so
// each table reads one line per entry in table order.
//
//   PyMethodDef kMethods[] = {
//       fastcall_entry("cell", sheet_cell, "cell($self, row, col, value=None)\n--\n\n"),
//       noargs_entry("to_json", book_to_json, "to_json($self)\n--\n\n"),
//       kMethodTableEnd,
//   };
#pragma once

#include <Python.h>

namespace vellix::module {

using FastcallFunction = PyObject* (*)(PyObject* self, PyObject* const* args, Py_ssize_t nargsf, PyObject* kwnames);
using VarargsFunction = PyObject* (*)(PyObject* self, PyObject* args, PyObject* kwargs);

// METH_FASTCALL | METH_KEYWORDS: positional arguments by order or by name.
inline PyMethodDef fastcall_entry(const char* name, FastcallFunction f, const char* doc) {
  // CPython calls through the flags' signature; the cast only stores the pointer.
  return {name, reinterpret_cast<PyCFunction>(reinterpret_cast<void (*)()>(f)), METH_FASTCALL | METH_KEYWORDS, doc};
}

// METH_VARARGS | METH_KEYWORDS: an args tuple and a kwargs dict.
inline PyMethodDef varargs_entry(const char* name, VarargsFunction f, const char* doc) {
  return {name, reinterpret_cast<PyCFunction>(reinterpret_cast<void (*)()>(f)), METH_VARARGS | METH_KEYWORDS, doc};
}

// METH_NOARGS: CPython refuses any argument before the entry runs.
inline PyMethodDef noargs_entry(const char* name, PyCFunction f, const char* doc) {
  return {name, f, METH_NOARGS, doc};
}

inline constexpr PyMethodDef kMethodTableEnd = {nullptr, nullptr, 0, nullptr};

}  // namespace vellix::module
