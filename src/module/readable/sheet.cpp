// ReadableSheet: a read-only view of one sheet of a Finder snapshot. Its
// getters are Sheet's, its searches Sheet's too, except that found cells are
// ReadableCell objects and the searches run with the interpreter lock
// released. It has no setters, no mutators and no dimension members.
#include <Python.h>

#include <string>

#include "module/readable/classes.hpp"
#include "module/frame/method_table.hpp"
#include "module/frame/qualname.hpp"
#include "module/frame/registry.hpp"
#include "module/sheet_getters.hpp"
#include "module/sheet_search.hpp"

namespace vellix::module {

namespace {

using Getters = SheetGetters<ReadableSheet, ReadableCell>;
using Search = SheetSearches<ReadableSheetHost>;

// "<qualname> (<name>) cells: <count>"
PyObject* readable_sheet_repr(PyObject* self) noexcept {
  return with_self<ReadableSheet>(self, [&](ReadableSheet::Object& o) {
    return py::py_str(class_qualname(self) + " " + copy_locked(o.payload, sheet_text_tail));
  });
}

PyMethodDef kMethods[] = {
    fastcall_entry("get_value_cell", Search::get_value_cell, "get_value_cell($self, row, col)\n--\n\n"),
    fastcall_entry("get_cells_by_range", Search::get_cells_by_range,
                   "get_cells_by_range($self, start_row=None, end_row=None, start_col=None, end_col=None)\n--\n\n"),
    fastcall_entry("find_cell_by_regex", Search::find_cell_by_regex, "find_cell_by_regex($self, regex)\n--\n\n"),
    fastcall_entry("find_cell_by_str", Search::find_cell_by_str, "find_cell_by_str($self, value)\n--\n\n"),
    fastcall_entry("find_cell_by_coords", Search::find_cell_by_coords, "find_cell_by_coords($self, row, col)\n--\n\n"),
    fastcall_entry("find_cell_by_letter", Search::find_cell_by_letter, "find_cell_by_letter($self, letter)\n--\n\n"),
    fastcall_entry("find_cells_by_regex", Search::find_cells_by_regex, "find_cells_by_regex($self, regex)\n--\n\n"),
    fastcall_entry("find_cells_by_str", Search::find_cells_by_str, "find_cells_by_str($self, value)\n--\n\n"),
    fastcall_entry("find_cells_for_rows_by_regex", Search::find_cells_for_rows_by_regex,
                   "find_cells_for_rows_by_regex($self, regex, col_stop)\n--\n\n"),
    fastcall_entry("find_cells_for_cols_by_regex", Search::find_cells_for_cols_by_regex,
                   "find_cells_for_cols_by_regex($self, regex, row_stop)\n--\n\n"),
    fastcall_entry("find_cells_multi_regex", Search::find_cells_multi_regex,
                   "find_cells_multi_regex($self, before_regex, after_regex)\n--\n\n"),
    fastcall_entry("find_cells_between_regex", Search::find_cells_between_regex,
                   "find_cells_between_regex($self, before_regex, after_regex)\n--\n\n"),
    fastcall_entry("find_cells_range_rows", Search::find_cells_range_rows,
                   "find_cells_range_rows($self, start_row, end_row)\n--\n\n"),
    fastcall_entry("find_cells_range_cols", Search::find_cells_range_cols,
                   "find_cells_range_cols($self, start_col, end_col)\n--\n\n"),
    fastcall_entry("find_values_by_col_rows", Search::find_values_by_col_rows,
                   "find_values_by_col_rows($self, col, rows)\n--\n\n"),
    fastcall_entry("find_values_by_row_cols", Search::find_values_by_row_cols,
                   "find_values_by_row_cols($self, row, cols)\n--\n\n"),
    fastcall_entry("find_value_by_coords", Search::find_value_by_coords,
                   "find_value_by_coords($self, row, col)\n--\n\n"),
    kMethodTableEnd,
};

PyGetSetDef kGetSet[] = {
    {"name", Getters::name, nullptr, nullptr, nullptr},
    {"sheet_state", Getters::sheet_state, nullptr, nullptr, nullptr},
    {"max_row", Getters::max_row, nullptr, nullptr, nullptr},
    {"max_column", Getters::max_column, nullptr, nullptr, nullptr},
    {"cells", Getters::cells, nullptr, nullptr, nullptr},
    {"merge_cells", Getters::merge_cells, nullptr, nullptr, nullptr},
    {nullptr, nullptr, nullptr, nullptr, nullptr},
};

}  // namespace

PyType_Slot* ReadableSheetSpec::slots() {
  static PyType_Slot slots[] = {
      {Py_tp_getset, kGetSet},
      {Py_tp_methods, kMethods},
      {Py_tp_repr, reinterpret_cast<void*>(&readable_sheet_repr)},
      {0, nullptr},
  };
  return slots;
}

PyTypeObject* readable_sheet_type() { return ReadableSheet::type_object_or_null(); }

}  // namespace vellix::module
