// create_finder(sheets): the module function of vellix.readable that makes a
// Finder, registered first among the submodule's functions.
#pragma once

#include <Python.h>

namespace vellix::module {

// METH_FASTCALL | METH_KEYWORDS; `module` is unused.
PyObject* create_finder(PyObject* module, PyObject* const* args, Py_ssize_t nargsf, PyObject* kwnames) noexcept;

}  // namespace vellix::module
