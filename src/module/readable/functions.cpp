// The find functions of vellix.readable: search a Python list of cells
// (ReadableCell objects, dicts, or any object with the cell attributes)
// without a sheet.
//
// Each is declared as a search (frame/search.hpp): it converts its arguments
// and the list with the interpreter lock held, runs one core search with the
// lock released, and takes it back before it releases the converted list and
// makes the results (or raises the core error). Results keep the order of the
// caller's list.
#include <Python.h>

#include <array>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <tuple>
#include <utility>
#include <vector>

#include "core/search/search.hpp"
#include "core/sheet/bands.hpp"
#include "core/sheet/letters.hpp"
#include "module/cell_getters.hpp"
#include "module/frame/args.hpp"
#include "module/frame/gil.hpp"
#include "module/frame/method_table.hpp"
#include "module/frame/registry.hpp"
#include "module/frame/results.hpp"
#include "module/frame/search.hpp"
#include "module/readable/classes.hpp"
#include "module/readable/convert.hpp"
#include "module/readable/finder.hpp"

namespace vellix::module {

namespace {

// The cells of a find function: its last parameter, a list or list subclass
// of cells, converted after the other arguments. run releases the
// interpreter lock for the core call, which takes the cells last, and drops
// the converted handles once the lock is back, so a converted cell that was
// not found dies here and one that was found lives on in its hit.
class CellListSource {
 public:
  static constexpr size_t kOwnParameters = 1;

  template <size_t N>
  CellListSource(PyObject*, const std::array<PyObject*, N>& a) : cells_(a[N - 1]) {}

  template <auto kSearch, class Converted>
  auto run(const Converted& converted) {
    PyObject* list = py::arg_list(cells_, "cells");
    std::vector<core::SharedCell> cells = cells_from_pylist(list);
    auto outcome = py::ReleaseInterpreterLock::run([&] {
      return std::apply([&](const auto&... arguments) { return kSearch(arguments..., core::CellSpan(cells)); },
                        converted);
    });
    cells.clear();
    return outcome;
  }

 private:
  PyObject* cells_;
};

constexpr auto hit = object_or_none<ReadableCell, core::SharedCell>;
constexpr auto hits = ReadableCell::new_list;

// The value text of the cell at (row, col), or none.
std::optional<std::string> value_by_coords(uint32_t row, uint16_t col, core::CellSpan cells) {
  core::SharedCell found = core::find_cell_by_coords_core(row, col, cells);
  if (!found) return std::nullopt;
  return core::cell_value_text(found.read()->value);
}

template <const auto& kSig, auto kSearch, auto kBuild, auto... kConvert>
PyMethodDef find_entry() {
  return search_entry<kSig, CellListSource, kSearch, kBuild, kConvert...>();
}

constexpr py::Signature<3> kFindCellByCoords{"find_cell_by_coords", {"row", "col", "cells"}, 3};
constexpr py::Signature<3> kFindValueByCoords{"find_value_by_coords", {"row", "col", "cells"}, 3};
constexpr py::Signature<2> kFindCellByRegex{"find_cell_by_regex", {"regex", "cells"}, 2};
constexpr py::Signature<2> kFindCellByStr{"find_cell_by_str", {"value", "cells"}, 2};
constexpr py::Signature<2> kFindCellByLetter{"find_cell_by_letter", {"letter", "cells"}, 2};
constexpr py::Signature<2> kFindCellsByRegex{"find_cells_by_regex", {"regex", "cells"}, 2};
constexpr py::Signature<2> kFindCellsByStr{"find_cells_by_str", {"value", "cells"}, 2};
constexpr py::Signature<3> kFindCellsForRowsByRegex{"find_cells_for_rows_by_regex", {"regex", "col_stop", "cells"}, 3};
constexpr py::Signature<3> kFindCellsForColsByRegex{"find_cells_for_cols_by_regex", {"regex", "row_stop", "cells"}, 3};
constexpr py::Signature<3> kFindCellsMultiRegex{"find_cells_multi_regex", {"before_regex", "after_regex", "cells"}, 3};
constexpr py::Signature<3> kFindCellsBetweenRegex{
    "find_cells_between_regex", {"before_regex", "after_regex", "cells"}, 3};
constexpr py::Signature<3> kFindCellsRangeRows{"find_cells_range_rows", {"start_row", "end_row", "cells"}, 3};
constexpr py::Signature<3> kFindCellsRangeCols{"find_cells_range_cols", {"start_col", "end_col", "cells"}, 3};
constexpr py::Signature<3> kFindValuesByColRows{"find_values_by_col_rows", {"col", "rows", "cells"}, 3};
constexpr py::Signature<3> kFindValuesByRowCols{"find_values_by_row_cols", {"row", "cols", "cells"}, 3};

// In registration order.
std::array<PyMethodDef, 16> g_functions = {
    fastcall_entry<kCreateFinder>(create_finder),
    find_entry<kFindCellByCoords, core::find_cell_by_coords_core, hit, py::arg_row, py::arg_col>(),
    find_entry<kFindValueByCoords, value_by_coords, py_optional_str, py::arg_row, py::arg_col>(),
    find_entry<kFindCellByRegex, core::find_cell_by_regex_core, hit, text_arg>(),
    find_entry<kFindCellByStr, core::find_cell_by_str_core, hit, text_arg>(),
    find_entry<kFindCellByLetter, core::find_cell_by_letter_core, hit, text_arg>(),
    find_entry<kFindCellsByRegex, core::find_cells_by_regex_core, hits, text_arg>(),
    find_entry<kFindCellsByStr, core::find_cells_by_str_core, hits, text_arg>(),
    find_entry<kFindCellsForRowsByRegex, core::find_cells_for_rows_by_regex_core, hits, text_arg, py::arg_col>(),
    find_entry<kFindCellsForColsByRegex, core::find_cells_for_cols_by_regex_core, hits, text_arg, py::arg_row>(),
    find_entry<kFindCellsMultiRegex, core::find_cells_multi_regex_core, hits, text_arg, text_arg>(),
    find_entry<kFindCellsBetweenRegex, core::find_cells_between_regex_core, hits, text_arg, text_arg>(),
    find_entry<kFindCellsRangeRows, core::find_cells_range_rows_core, hits, py::arg_row, py::arg_row>(),
    find_entry<kFindCellsRangeCols, core::find_cells_range_cols_core, hits, py::arg_col, py::arg_col>(),
    find_entry<kFindValuesByColRows, core::find_values_by_col_rows_core, text_list, py::arg_col, py::arg_rows>(),
    find_entry<kFindValuesByRowCols, core::find_values_by_row_cols_core, text_list, py::arg_row, py::arg_cols>(),
};

}  // namespace

std::span<PyMethodDef> readable_function_defs() { return g_functions; }

}  // namespace vellix::module
