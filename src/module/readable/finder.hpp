// create_finder(sheets): the module function of vellix.readable that makes a
// Finder, registered first among the submodule's functions.
#pragma once

#include <Python.h>

#include "module/frame/args.hpp"

namespace vellix::module {

inline constexpr py::Signature<1> kCreateFinder{"create_finder", {"sheets"}, 1};

// METH_FASTCALL | METH_KEYWORDS; `module` is unused.
PyObject* create_finder(PyObject* module, PyObject* const* args, Py_ssize_t nargsf, PyObject* kwnames) noexcept;

}  // namespace vellix::module
