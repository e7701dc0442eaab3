// The search and read methods of a sheet, declared once (frame/search.hpp)
// for the two classes that show one: Sheet (hits are Cell objects, the
// interpreter lock is kept) and ReadableSheet (hits are ReadableCell objects,
// the lock is released around the core work). Each class instantiates its
// own rows.
//
// Every method binds its arguments, checks self, takes the shared borrow and
// converts its arguments in signature order with the interpreter lock held.
// Then, under the lock policy of its host, it read-locks the sheet, takes the
// cell list the search needs (the sorted list the sheet keeps, sorted first
// if the sheet changed, or the map's order), runs the core search and takes
// one reference per hit. Only after the sheet is unlocked (and the
// interpreter lock is held again) are Python objects made, or a core error
// raised.
//
// Multi-cell methods search the cells sorted by row, then column; single-cell
// methods and the two value-list methods search the map's own order.
//
//   auto kMethods = SheetSearches<ReadableSheetHost>::table();
//   method_table(SheetSearches<SheetHost>::find_cells_by_regex(), ...);
#pragma once

#include <Python.h>

#include <array>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <tuple>
#include <type_traits>

#include "core/search/search.hpp"
#include "core/sheet/queries.hpp"
#include "core/sheet/sheet.hpp"
#include "module/classes.hpp"
#include "module/frame/args.hpp"
#include "module/frame/gil.hpp"
#include "module/frame/method_table.hpp"
#include "module/frame/object.hpp"
#include "module/frame/results.hpp"
#include "module/frame/search.hpp"

namespace vellix::module {

template <class Self_, class Hit_, class Lock_, const char* kClassName_>
struct SearchHost {
  using Self = Self_;  // the sheet class
  using Hit = Hit_;    // the class of found cells
  using Lock = Lock_;  // how the core work runs
  static constexpr const char* kClassName = kClassName_;
};

inline constexpr char kSheetName[] = "Sheet";
using SheetHost = SearchHost<Sheet, Cell, py::KeepInterpreterLock, kSheetName>;

// The cells of the sheet `self` is, an instance of Class checked before any
// conversion and borrowed shared for the call. run read-locks the sheet under
// the Lock policy and hands the core call the sheet's cells first; the sheet
// is unlocked, and the interpreter lock held again, when it returns.
template <class Class, class Lock>
class SheetSource {
 public:
  static constexpr size_t kOwnParameters = 0;

  template <size_t N>
  SheetSource(PyObject* self, const std::array<PyObject*, N>&)
      : sheet_(Class::downcast(self)), borrow_(sheet_.borrow) {}

  template <auto kSearch, class Converted>
  auto run(const Converted& converted) {
    return Lock::run([&] {
      auto sheet = sheet_.payload.read();
      return std::apply([&](const auto&... arguments) { return kSearch(sheet->cells, arguments...); }, converted);
    });
  }

 private:
  typename Class::Object& sheet_;
  py::SharedBorrow borrow_;
};

// A core search over a cell list, run over the sheet's sorted list or over
// its map's order.
template <auto kCore>
struct InSortedOrder {
  auto operator()(const core::CellStore& store, const auto&... arguments) const {
    return kCore(arguments..., core::sorted_cells(store));
  }
};
template <auto kCore>
struct InMapOrder {
  auto operator()(const core::CellStore& store, const auto&... arguments) const {
    return kCore(arguments..., core::map_order_cells(store.map()));
  }
};

// A bound of get_cells_by_range: absent when left out or None.
template <class T, T (*kConvert)(PyObject*, const char*)>
std::optional<T> optional_bound(PyObject* o, const char* name) {
  if (o == nullptr || o == Py_None) return std::nullopt;
  return kConvert(o, name);
}

// The searches' signatures without the class's name, which on_host adds.
struct SheetSearchSignatures {
  static constexpr py::Signature<2> kGetValueCell{"get_value_cell", {"row", "col"}, 2};
  static constexpr py::Signature<4> kGetCellsByRange{
      "get_cells_by_range", {"start_row=None", "end_row=None", "start_col=None", "end_col=None"}, 0};
  static constexpr py::Signature<1> kFindCellByRegex{"find_cell_by_regex", {"regex"}, 1};
  static constexpr py::Signature<1> kFindCellByStr{"find_cell_by_str", {"value"}, 1};
  static constexpr py::Signature<2> kFindCellByCoords{"find_cell_by_coords", {"row", "col"}, 2};
  static constexpr py::Signature<1> kFindCellByLetter{"find_cell_by_letter", {"letter"}, 1};
  static constexpr py::Signature<1> kFindCellsByRegex{"find_cells_by_regex", {"regex"}, 1};
  static constexpr py::Signature<1> kFindCellsByStr{"find_cells_by_str", {"value"}, 1};
  static constexpr py::Signature<2> kFindCellsForRowsByRegex{"find_cells_for_rows_by_regex", {"regex", "col_stop"}, 2};
  static constexpr py::Signature<2> kFindCellsForColsByRegex{"find_cells_for_cols_by_regex", {"regex", "row_stop"}, 2};
  static constexpr py::Signature<2> kFindCellsMultiRegex{"find_cells_multi_regex", {"before_regex", "after_regex"}, 2};
  static constexpr py::Signature<2> kFindCellsBetweenRegex{
      "find_cells_between_regex", {"before_regex", "after_regex"}, 2};
  static constexpr py::Signature<2> kFindCellsRangeRows{"find_cells_range_rows", {"start_row", "end_row"}, 2};
  static constexpr py::Signature<2> kFindCellsRangeCols{"find_cells_range_cols", {"start_col", "end_col"}, 2};
  static constexpr py::Signature<2> kFindValuesByColRows{"find_values_by_col_rows", {"col", "rows"}, 2};
  static constexpr py::Signature<2> kFindValuesByRowCols{"find_values_by_row_cols", {"row", "cols"}, 2};
  static constexpr py::Signature<2> kFindValueByCoords{"find_value_by_coords", {"row", "col"}, 2};
};

// `kSig` named "<host's class>.<method>".
template <class Host, const auto& kSig>
inline constexpr std::remove_cvref_t<decltype(kSig)> on_host{py::qualified_name(Host::kClassName, kSig.fname.text),
                                                             kSig.names, kSig.required};

// The method-table row of each search, named as its method.
template <class Host>
struct SheetSearches : SheetSearchSignatures {
  using Source = SheetSource<typename Host::Self, typename Host::Lock>;
  static constexpr auto hit = object_or_none<typename Host::Hit, core::SharedCell>;
  static constexpr auto hits = Host::Hit::new_list;
  static constexpr auto row_bound = optional_bound<uint32_t, py::arg_row>;
  static constexpr auto col_bound = optional_bound<uint16_t, py::arg_col>;

  // A single hash probe: not worth giving the interpreter lock away for.
  static PyMethodDef get_value_cell() {
    return search_entry<on_host<Host, kGetValueCell>, SheetSource<typename Host::Self, py::KeepInterpreterLock>,
                        core::sheet_get_value_cell, py::py_str, py::arg_row, py::arg_col>();
  }
  static PyMethodDef get_cells_by_range() {
    return search_entry<on_host<Host, kGetCellsByRange>, Source, core::get_cells_by_range_core, hits, row_bound,
                        row_bound, col_bound, col_bound>();
  }
  static PyMethodDef find_cell_by_regex() {
    return search_entry<on_host<Host, kFindCellByRegex>, Source, core::sheet_find_cell_by_regex, hit, text_arg>();
  }
  static PyMethodDef find_cell_by_str() {
    return search_entry<on_host<Host, kFindCellByStr>, Source, core::sheet_find_cell_by_str, hit, text_arg>();
  }
  static PyMethodDef find_cell_by_coords() {
    return search_entry<on_host<Host, kFindCellByCoords>, Source, core::sheet_find_cell_by_coords, hit, py::arg_row,
                        py::arg_col>();
  }
  static PyMethodDef find_cell_by_letter() {
    return search_entry<on_host<Host, kFindCellByLetter>, Source, core::sheet_find_cell_by_letter, hit, text_arg>();
  }
  static PyMethodDef find_cells_by_regex() {
    return search_entry<on_host<Host, kFindCellsByRegex>, Source, InSortedOrder<core::find_cells_by_regex_core>{}, hits,
                        text_arg>();
  }
  static PyMethodDef find_cells_by_str() {
    return search_entry<on_host<Host, kFindCellsByStr>, Source, InSortedOrder<core::find_cells_by_str_core>{}, hits,
                        text_arg>();
  }
  static PyMethodDef find_cells_for_rows_by_regex() {
    return search_entry<on_host<Host, kFindCellsForRowsByRegex>, Source,
                        InSortedOrder<core::find_cells_for_rows_by_regex_core>{}, hits, text_arg, py::arg_col>();
  }
  static PyMethodDef find_cells_for_cols_by_regex() {
    return search_entry<on_host<Host, kFindCellsForColsByRegex>, Source, core::sheet_find_cells_for_cols_by_regex, hits,
                        text_arg, py::arg_row>();
  }
  static PyMethodDef find_cells_multi_regex() {
    return search_entry<on_host<Host, kFindCellsMultiRegex>, Source, core::sheet_find_cells_multi_regex, hits, text_arg,
                        text_arg>();
  }
  static PyMethodDef find_cells_between_regex() {
    return search_entry<on_host<Host, kFindCellsBetweenRegex>, Source, core::sheet_find_cells_between_regex, hits,
                        text_arg, text_arg>();
  }
  static PyMethodDef find_cells_range_rows() {
    return search_entry<on_host<Host, kFindCellsRangeRows>, Source, core::sheet_find_cells_range_rows, hits,
                        py::arg_row, py::arg_row>();
  }
  static PyMethodDef find_cells_range_cols() {
    return search_entry<on_host<Host, kFindCellsRangeCols>, Source, InSortedOrder<core::find_cells_range_cols_core>{},
                        hits, py::arg_col, py::arg_col>();
  }
  static PyMethodDef find_values_by_col_rows() {
    return search_entry<on_host<Host, kFindValuesByColRows>, Source, InMapOrder<core::find_values_by_col_rows_core>{},
                        text_list, py::arg_col, py::arg_rows>();
  }
  static PyMethodDef find_values_by_row_cols() {
    return search_entry<on_host<Host, kFindValuesByRowCols>, Source, InMapOrder<core::find_values_by_row_cols_core>{},
                        text_list, py::arg_row, py::arg_cols>();
  }
  static PyMethodDef find_value_by_coords() {
    return search_entry<on_host<Host, kFindValueByCoords>, Source, core::sheet_find_value_by_coords, py_optional_str,
                        py::arg_row, py::arg_col>();
  }

  // The rows of all seventeen, in the order above, then the sentinel, for a
  // class that shows them all (Sheet picks its own). Keep it in static
  // storage: the type points into it.
  static auto table() {
    return method_table(get_value_cell(), get_cells_by_range(), find_cell_by_regex(), find_cell_by_str(),
                        find_cell_by_coords(), find_cell_by_letter(), find_cells_by_regex(), find_cells_by_str(),
                        find_cells_for_rows_by_regex(), find_cells_for_cols_by_regex(), find_cells_multi_regex(),
                        find_cells_between_regex(), find_cells_range_rows(), find_cells_range_cols(),
                        find_values_by_col_rows(), find_values_by_row_cols(), find_value_by_coords());
  }
};

}  // namespace vellix::module
