// Sheet's row and column members: deleting bands of rows or columns, and the
// height, width and hidden flag of one row or column.
//
// Entries of Sheet's method table (METH_FASTCALL | METH_KEYWORDS); each keeps
// the interpreter lock and takes the sheet's write lock (setters, deletions)
// or read lock (getters) for the length of the call.
#pragma once

#include <Python.h>

namespace vellix::module {

PyObject* sheet_delete_cols(PyObject* self, PyObject* const* args, Py_ssize_t nargsf, PyObject* kwnames);
PyObject* sheet_delete_rows(PyObject* self, PyObject* const* args, Py_ssize_t nargsf, PyObject* kwnames);
PyObject* sheet_set_height_row(PyObject* self, PyObject* const* args, Py_ssize_t nargsf, PyObject* kwnames);
PyObject* sheet_set_hidden_row(PyObject* self, PyObject* const* args, Py_ssize_t nargsf, PyObject* kwnames);
PyObject* sheet_set_width_column(PyObject* self, PyObject* const* args, Py_ssize_t nargsf, PyObject* kwnames);
PyObject* sheet_set_hidden_column(PyObject* self, PyObject* const* args, Py_ssize_t nargsf, PyObject* kwnames);
PyObject* sheet_get_height_by_row(PyObject* self, PyObject* const* args, Py_ssize_t nargsf, PyObject* kwnames);
PyObject* sheet_get_hidden_by_row(PyObject* self, PyObject* const* args, Py_ssize_t nargsf, PyObject* kwnames);
PyObject* sheet_get_width_by_column(PyObject* self, PyObject* const* args, Py_ssize_t nargsf, PyObject* kwnames);
PyObject* sheet_get_hidden_by_column(PyObject* self, PyObject* const* args, Py_ssize_t nargsf, PyObject* kwnames);

}  // namespace vellix::module
