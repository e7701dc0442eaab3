// The search and read methods of a sheet, written once for the two classes
// that show one: Sheet (hits are Cell objects, the interpreter lock is kept)
// and ReadableSheet (hits are ReadableCell objects, the lock is released
// around the core work).
//
// Every method binds its arguments, checks self, takes the shared borrow and
// converts its arguments in signature order with the interpreter lock held.
// Then, under the lock policy of its host, it read-locks the sheet, takes the
// cell list the search needs (the sorted list the sheet keeps, sorted first
// if the sheet changed, or the map's order), runs the core search and takes
// one reference per hit. Only after the sheet is unlocked (and the interpreter lock is held
// again) are Python objects made, or a core error raised.
//
// Multi-cell methods search the cells sorted by row, then column; single-cell
// methods and the two value-list methods search the map's own order.
//
//   auto kMethods = SheetSearches<ReadableSheetHost>::table();
//   SheetSearches<SheetHost>::entry(SheetSearches<SheetHost>::find_cells_by_regex),
#pragma once

#include <Python.h>

#include <array>

#include "module/classes.hpp"
#include "module/frame/gil.hpp"

namespace vellix::module {

template <class Self_, class Hit_, class Lock_, const char* kClassName_, bool kAllSearches_>
struct SearchHost {
  using Self = Self_;  // the sheet class
  using Hit = Hit_;    // the class of found cells
  using Lock = Lock_;  // how the core work runs
  static constexpr const char* kClassName = kClassName_;
  // Sheet leaves out find_cell_by_coords, find_values_by_col_rows and
  // find_values_by_row_cols.
  static constexpr bool kAllSearches = kAllSearches_;
};

inline constexpr char kSheetName[] = "Sheet";
using SheetHost = SearchHost<Sheet, Cell, py::KeepInterpreterLock, kSheetName, false>;

// METH_FASTCALL | METH_KEYWORDS entries, each declared by its signature in
// sheet_search.cpp; get_value_cell keeps the interpreter lock for both hosts.
template <class Host>
struct SheetSearches {
  using Fast = PyObject*(PyObject* self, PyObject* const* args, Py_ssize_t nargsf, PyObject* kwnames);

  static Fast get_value_cell;
  static Fast get_cells_by_range;
  static Fast find_cell_by_regex;
  static Fast find_cell_by_str;
  static Fast find_cell_by_coords;
  static Fast find_cell_by_letter;
  static Fast find_cells_by_regex;
  static Fast find_cells_by_str;
  static Fast find_cells_for_rows_by_regex;
  static Fast find_cells_for_cols_by_regex;
  static Fast find_cells_multi_regex;
  static Fast find_cells_between_regex;
  static Fast find_cells_range_rows;
  static Fast find_cells_range_cols;
  static Fast find_values_by_col_rows;
  static Fast find_values_by_row_cols;
  static Fast find_value_by_coords;

  // The method-table rows of the searches the host shows, in the order
  // above, then the sentinel. Keep it in static storage: the type points
  // into it.
  static std::array<PyMethodDef, 18> table();
  // The row of one search the host shows, for a class that lists it among
  // its own members.
  static PyMethodDef entry(Fast* search);
  template <size_t K>
  static std::array<PyMethodDef, K> entries(const std::array<Fast*, K>& searches) {
    std::array<PyMethodDef, K> rows{};
    for (size_t i = 0; i < K; ++i) rows[i] = entry(searches[i]);
    return rows;
  }
};

}  // namespace vellix::module
