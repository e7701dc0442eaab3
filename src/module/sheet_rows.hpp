// Sheet's row and column members: deleting bands of rows or columns, and the
// height, width and hidden flag of one row or column.
//
// Entries of Sheet's method table (METH_FASTCALL | METH_KEYWORDS), each with
// the signature that declares it; each keeps the interpreter lock and takes
// the sheet's write lock (setters, deletions) or read lock (getters) for the
// length of the call.
#pragma once

#include <Python.h>

#include "module/frame/args.hpp"

namespace vellix::module {

inline constexpr py::Signature<2> kDeleteCols{"Sheet.delete_cols", {"idx", "amount"}, 2};
inline constexpr py::Signature<2> kDeleteRows{"Sheet.delete_rows", {"idx", "amount"}, 2};
inline constexpr py::Signature<2> kSetHeightRow{"Sheet.set_height_row", {"row_num", "val"}, 2};
inline constexpr py::Signature<2> kSetHiddenRow{"Sheet.set_hidden_row", {"row_num", "val"}, 2};
inline constexpr py::Signature<2> kSetWidthColumn{"Sheet.set_width_column", {"col_num", "val"}, 2};
inline constexpr py::Signature<2> kSetHiddenColumn{"Sheet.set_hidden_column", {"col_num", "val"}, 2};
inline constexpr py::Signature<1> kGetHeightByRow{"Sheet.get_height_by_row", {"row_num"}, 1};
inline constexpr py::Signature<1> kGetHiddenByRow{"Sheet.get_hidden_by_row", {"row_num"}, 1};
inline constexpr py::Signature<1> kGetWidthByColumn{"Sheet.get_width_by_column", {"col_num"}, 1};
inline constexpr py::Signature<1> kGetHiddenByColumn{"Sheet.get_hidden_by_column", {"col_num"}, 1};

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
