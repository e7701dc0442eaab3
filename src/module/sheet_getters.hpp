// The read-only attributes that Sheet and ReadableSheet share, written once
// as templates over the sheet class and the class of its cells: name,
// sheet_state, max_row, max_column, cells (sorted by row, then column) and
// merge_cells (4-tuples in stored order).
//
// Each getter checks self, takes the shared borrow, copies what it needs
// under the sheet's read lock (cell handles gain one reference each) and
// builds the Python objects after unlocking. Interpreter lock held throughout.
//
//   auto kGetSet = SheetGetters<ReadableSheet, ReadableCell>::table();
#pragma once

#include <Python.h>

#include <array>
#include <string>
#include <vector>

#include "core/sheet/queries.hpp"
#include "core/sheet/sheet.hpp"
#include "module/frame/attribute.hpp"
#include "module/frame/object.hpp"
#include "module/frame/results.hpp"

namespace vellix::module {

// The sheet's cell handles sorted by row, then column, one reference each.
inline std::vector<core::SharedCell> sorted_cell_handles(const core::CoreSheet& s) {
  core::CellSpan sorted = core::sorted_cells(s.cells);
  std::vector<core::SharedCell> handles;
  handles.reserve(sorted.size());
  for (size_t i = 0; i < sorted.size(); ++i) handles.push_back(sorted[i]);
  return handles;
}

// A list of (start_row, end_row, start_col, end_col) tuples.
inline py::Ref merge_cells_list(const std::vector<core::MergedRange>& ranges) {
  py::Ref list = py::Ref::steal(PyList_New(static_cast<Py_ssize_t>(ranges.size())));
  if (!list) py::throw_api_failure();
  for (size_t i = 0; i < ranges.size(); ++i) {
    const core::MergedRange& r = ranges[i];
    py::Ref item = py_int_tuple({r.start_row, r.end_row, r.start_col, r.end_col});
    PyList_SET_ITEM(list.get(), static_cast<Py_ssize_t>(i), item.release());  // steals item
  }
  return list;
}

// "(<name>) cells: <count>", the tail of both sheets' text forms.
inline std::string sheet_text_tail(const core::CoreSheet& s) {
  return "(" + s.name + ") cells: " + std::to_string(s.cells.map().size());
}

template <class C, class CellClass>
struct SheetGetters {
  static PyObject* max_row(PyObject* self, void*) noexcept {
    return read_attribute<C>(
        self, [](const core::CoreSheet& s) { return core::sheet_max_row(s.cells); }, py::py_int);
  }

  static PyObject* max_column(PyObject* self, void*) noexcept {
    return read_attribute<C>(
        self, [](const core::CoreSheet& s) { return core::sheet_max_column(s.cells); }, py::py_int);
  }

  static PyObject* cells(PyObject* self, void*) noexcept {
    return read_attribute<C>(self, sorted_cell_handles, CellClass::new_list);
  }

  static PyObject* merge_cells(PyObject* self, void*) noexcept {
    return read_attribute<C>(
        self, [](const core::CoreSheet& s) { return s.merge_cells; }, merge_cells_list);
  }

  // What Sheet adds to the shared attributes: the setter of name and the
  // comments attribute (left out when its getter is null).
  struct Writable {
    setter name = nullptr;
    getter comments = nullptr;
  };

  // The attribute table in the classes' order (attribute_table).
  static std::array<PyGetSetDef, 8> table(const Writable& w = {}) {
    return attribute_table<8>({{"name", getter_of<C, field<&core::CoreSheet::name>, py::py_str>, w.name},
                               {"sheet_state", getter_of<C, field<&core::CoreSheet::sheet_state>, py::py_str>},
                               {"max_row", max_row},
                               {"max_column", max_column},
                               {"cells", cells},
                               {"merge_cells", merge_cells},
                               {"comments", w.comments}});
  }
};

}  // namespace vellix::module
