// Sheet's row and column members: deleting bands of rows or columns, and the
// height, width and hidden flag of one row or column.
//
// Entries of Sheet's method table (METH_FASTCALL | METH_KEYWORDS); each keeps
// the interpreter lock and takes the sheet's write lock (setters, deletions)
// or read lock (getters) for the length of the call.
#pragma once

#include <Python.h>

#include <array>

namespace vellix::module {

// The rows of delete_cols, delete_rows and the dimension setters, in the
// order of Sheet's method table.
std::array<PyMethodDef, 6> sheet_band_edit_entries();
// The rows of the dimension getters, in that order.
std::array<PyMethodDef, 4> sheet_dimension_read_entries();

}  // namespace vellix::module
