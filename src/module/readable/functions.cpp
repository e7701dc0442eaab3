// The find functions of vellix.readable: search a Python list of cells
// (ReadableCell objects, dicts, or any object with the cell attributes)
// without a sheet.
//
// Each converts its arguments and the list with the interpreter lock held,
// runs one core search with the lock released, and takes it back before it
// releases the converted list and makes the results (or raises the core
// error). Results keep the order of the caller's list.
#include <Python.h>

#include <array>
#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <utility>
#include <vector>

#include "core/bands.hpp"
#include "core/letters.hpp"
#include "core/search.hpp"
#include "module/cell_getters.hpp"
#include "module/readable/classes.hpp"
#include "module/frame/args.hpp"
#include "module/frame/entry.hpp"
#include "module/frame/method_table.hpp"
#include "module/readable/convert.hpp"
#include "module/readable/finder.hpp"
#include "module/frame/registry.hpp"
#include "module/frame/results.hpp"

namespace vellix::module {

namespace {

// Converts `cells` (a list or list subclass, checked last among the
// arguments), then runs `search` over it with the interpreter lock released.
// The converted handles are dropped once the lock is back, so a converted cell
// that was not found dies here and one that was found lives on in its hit.
template <class Search>
auto search_cells(PyObject* cells_arg, Search&& search) {
  PyObject* list = py::arg_list(cells_arg, "cells");
  std::vector<core::SharedCell> converted = cells_from_pylist(list);
  auto outcome = py::ReleaseInterpreterLock::run([&] {
    std::vector<const core::SharedCell*> refs(converted.size());
    for (size_t i = 0; i < converted.size(); ++i) refs[i] = &converted[i];
    return search(core::CellSpan(refs));
  });
  converted.clear();
  return outcome;
}

py::Ref hit(core::SharedCell cell) { return object_or_none<ReadableCell>(std::move(cell)); }
py::Ref hits(std::vector<core::SharedCell> cells) { return ReadableCell::new_list(std::move(cells)); }

// The common head: bind the arguments, then run the body in an entry.
template <size_t N, class Body>
PyObject* call(const py::Signature<N>& sig, PyObject* const* args, Py_ssize_t nargsf, PyObject* kwnames,
               Body&& body) noexcept {
  return py::entry([&] {
    std::array<PyObject*, N> a = sig.match(args, nargsf, kwnames);
    return body(a);
  });
}

constexpr py::Signature<3> kFindCellByCoords{"find_cell_by_coords", {"row", "col", "cells"}, 3};

PyObject* find_cell_by_coords(PyObject*, PyObject* const* args, Py_ssize_t nargsf, PyObject* kwnames) noexcept {
  return call(kFindCellByCoords, args, nargsf, kwnames, [](auto& a) {
    uint32_t row = py::arg_row(a[0], "row");
    uint16_t col = py::arg_col(a[1], "col");
    return hit(search_cells(a[2], [&](core::CellSpan c) { return core::find_cell_by_coords_core(row, col, c); }));
  });
}

constexpr py::Signature<3> kFindValueByCoords{"find_value_by_coords", {"row", "col", "cells"}, 3};

PyObject* find_value_by_coords(PyObject*, PyObject* const* args, Py_ssize_t nargsf, PyObject* kwnames) noexcept {
  return call(kFindValueByCoords, args, nargsf, kwnames, [](auto& a) {
    uint32_t row = py::arg_row(a[0], "row");
    uint16_t col = py::arg_col(a[1], "col");
    std::optional<std::string> text = search_cells(a[2], [&](core::CellSpan c) -> std::optional<std::string> {
      core::SharedCell found = core::find_cell_by_coords_core(row, col, c);
      if (!found) return std::nullopt;
      return core::cell_value_text(found.read()->value);
    });
    return py_optional_str(text);
  });
}

constexpr py::Signature<2> kFindCellByRegex{"find_cell_by_regex", {"regex", "cells"}, 2};

PyObject* find_cell_by_regex(PyObject*, PyObject* const* args, Py_ssize_t nargsf, PyObject* kwnames) noexcept {
  return call(kFindCellByRegex, args, nargsf, kwnames, [](auto& a) {
    std::string regex(py::arg_text(a[0], "regex"));
    return hit(unwrap(search_cells(a[1], [&](core::CellSpan c) { return core::find_cell_by_regex_core(regex, c); })));
  });
}

constexpr py::Signature<2> kFindCellByStr{"find_cell_by_str", {"value", "cells"}, 2};

PyObject* find_cell_by_str(PyObject*, PyObject* const* args, Py_ssize_t nargsf, PyObject* kwnames) noexcept {
  return call(kFindCellByStr, args, nargsf, kwnames, [](auto& a) {
    std::string value(py::arg_text(a[0], "value"));
    return hit(search_cells(a[1], [&](core::CellSpan c) { return core::find_cell_by_str_core(value, c); }));
  });
}

constexpr py::Signature<2> kFindCellByLetter{"find_cell_by_letter", {"letter", "cells"}, 2};

PyObject* find_cell_by_letter(PyObject*, PyObject* const* args, Py_ssize_t nargsf, PyObject* kwnames) noexcept {
  return call(kFindCellByLetter, args, nargsf, kwnames, [](auto& a) {
    std::string letter(py::arg_text(a[0], "letter"));
    return hit(
        unwrap(search_cells(a[1], [&](core::CellSpan c) { return core::find_cell_by_letter_core(letter, c); })));
  });
}

constexpr py::Signature<2> kFindCellsByRegex{"find_cells_by_regex", {"regex", "cells"}, 2};

PyObject* find_cells_by_regex(PyObject*, PyObject* const* args, Py_ssize_t nargsf, PyObject* kwnames) noexcept {
  return call(kFindCellsByRegex, args, nargsf, kwnames, [](auto& a) {
    std::string regex(py::arg_text(a[0], "regex"));
    return hits(
        unwrap(search_cells(a[1], [&](core::CellSpan c) { return core::find_cells_by_regex_core(regex, c); })));
  });
}

constexpr py::Signature<2> kFindCellsByStr{"find_cells_by_str", {"value", "cells"}, 2};

PyObject* find_cells_by_str(PyObject*, PyObject* const* args, Py_ssize_t nargsf, PyObject* kwnames) noexcept {
  return call(kFindCellsByStr, args, nargsf, kwnames, [](auto& a) {
    std::string value(py::arg_text(a[0], "value"));
    return hits(search_cells(a[1], [&](core::CellSpan c) { return core::find_cells_by_str_core(value, c); }));
  });
}

constexpr py::Signature<3> kFindCellsForRowsByRegex{"find_cells_for_rows_by_regex", {"regex", "col_stop", "cells"}, 3};

PyObject* find_cells_for_rows_by_regex(PyObject*, PyObject* const* args, Py_ssize_t nargsf,
                                       PyObject* kwnames) noexcept {
  return call(kFindCellsForRowsByRegex, args, nargsf, kwnames, [](auto& a) {
    std::string regex(py::arg_text(a[0], "regex"));
    uint16_t col_stop = py::arg_col(a[1], "col_stop");
    return hits(unwrap(search_cells(
        a[2], [&](core::CellSpan c) { return core::find_cells_for_rows_by_regex_core(regex, col_stop, c); })));
  });
}

constexpr py::Signature<3> kFindCellsForColsByRegex{"find_cells_for_cols_by_regex", {"regex", "row_stop", "cells"}, 3};

PyObject* find_cells_for_cols_by_regex(PyObject*, PyObject* const* args, Py_ssize_t nargsf,
                                       PyObject* kwnames) noexcept {
  return call(kFindCellsForColsByRegex, args, nargsf, kwnames, [](auto& a) {
    std::string regex(py::arg_text(a[0], "regex"));
    uint32_t row_stop = py::arg_row(a[1], "row_stop");
    return hits(unwrap(search_cells(
        a[2], [&](core::CellSpan c) { return core::find_cells_for_cols_by_regex_core(regex, row_stop, c); })));
  });
}

constexpr py::Signature<3> kFindCellsMultiRegex{"find_cells_multi_regex", {"before_regex", "after_regex", "cells"}, 3};

PyObject* find_cells_multi_regex(PyObject*, PyObject* const* args, Py_ssize_t nargsf, PyObject* kwnames) noexcept {
  return call(kFindCellsMultiRegex, args, nargsf, kwnames, [](auto& a) {
    std::string before(py::arg_text(a[0], "before_regex"));
    std::string after(py::arg_text(a[1], "after_regex"));
    return hits(unwrap(
        search_cells(a[2], [&](core::CellSpan c) { return core::find_cells_multi_regex_core(before, after, c); })));
  });
}

constexpr py::Signature<3> kFindCellsBetweenRegex{
    "find_cells_between_regex", {"before_regex", "after_regex", "cells"}, 3};

PyObject* find_cells_between_regex(PyObject*, PyObject* const* args, Py_ssize_t nargsf, PyObject* kwnames) noexcept {
  return call(kFindCellsBetweenRegex, args, nargsf, kwnames, [](auto& a) {
    std::string before(py::arg_text(a[0], "before_regex"));
    std::string after(py::arg_text(a[1], "after_regex"));
    return hits(unwrap(
        search_cells(a[2], [&](core::CellSpan c) { return core::find_cells_between_regex_core(before, after, c); })));
  });
}

constexpr py::Signature<3> kFindCellsRangeRows{"find_cells_range_rows", {"start_row", "end_row", "cells"}, 3};

PyObject* find_cells_range_rows(PyObject*, PyObject* const* args, Py_ssize_t nargsf, PyObject* kwnames) noexcept {
  return call(kFindCellsRangeRows, args, nargsf, kwnames, [](auto& a) {
    uint32_t start = py::arg_row(a[0], "start_row");
    uint32_t end = py::arg_row(a[1], "end_row");
    return hits(search_cells(a[2], [&](core::CellSpan c) { return core::find_cells_range_rows_core(start, end, c); }));
  });
}

constexpr py::Signature<3> kFindCellsRangeCols{"find_cells_range_cols", {"start_col", "end_col", "cells"}, 3};

PyObject* find_cells_range_cols(PyObject*, PyObject* const* args, Py_ssize_t nargsf, PyObject* kwnames) noexcept {
  return call(kFindCellsRangeCols, args, nargsf, kwnames, [](auto& a) {
    uint16_t start = py::arg_col(a[0], "start_col");
    uint16_t end = py::arg_col(a[1], "end_col");
    return hits(search_cells(a[2], [&](core::CellSpan c) { return core::find_cells_range_cols_core(start, end, c); }));
  });
}

constexpr py::Signature<3> kFindValuesByColRows{"find_values_by_col_rows", {"col", "rows", "cells"}, 3};

PyObject* find_values_by_col_rows(PyObject*, PyObject* const* args, Py_ssize_t nargsf, PyObject* kwnames) noexcept {
  return call(kFindValuesByColRows, args, nargsf, kwnames, [](auto& a) {
    uint16_t col = py::arg_col(a[0], "col");
    std::vector<uint32_t> rows = py::arg_rows(a[1], "rows");
    return text_list(
        search_cells(a[2], [&](core::CellSpan c) { return core::find_values_by_col_rows_core(col, rows, c); }));
  });
}

constexpr py::Signature<3> kFindValuesByRowCols{"find_values_by_row_cols", {"row", "cols", "cells"}, 3};

PyObject* find_values_by_row_cols(PyObject*, PyObject* const* args, Py_ssize_t nargsf, PyObject* kwnames) noexcept {
  return call(kFindValuesByRowCols, args, nargsf, kwnames, [](auto& a) {
    uint32_t row = py::arg_row(a[0], "row");
    std::vector<uint16_t> cols = py::arg_cols(a[1], "cols");
    return text_list(
        search_cells(a[2], [&](core::CellSpan c) { return core::find_values_by_row_cols_core(row, cols, c); }));
  });
}

PyMethodDef kFunctions[] = {
    fastcall_entry<kCreateFinder>(create_finder),
    fastcall_entry<kFindCellByCoords>(find_cell_by_coords),
    fastcall_entry<kFindValueByCoords>(find_value_by_coords),
    fastcall_entry<kFindCellByRegex>(find_cell_by_regex),
    fastcall_entry<kFindCellByStr>(find_cell_by_str),
    fastcall_entry<kFindCellByLetter>(find_cell_by_letter),
    fastcall_entry<kFindCellsByRegex>(find_cells_by_regex),
    fastcall_entry<kFindCellsByStr>(find_cells_by_str),
    fastcall_entry<kFindCellsForRowsByRegex>(find_cells_for_rows_by_regex),
    fastcall_entry<kFindCellsForColsByRegex>(find_cells_for_cols_by_regex),
    fastcall_entry<kFindCellsMultiRegex>(find_cells_multi_regex),
    fastcall_entry<kFindCellsBetweenRegex>(find_cells_between_regex),
    fastcall_entry<kFindCellsRangeRows>(find_cells_range_rows),
    fastcall_entry<kFindCellsRangeCols>(find_cells_range_cols),
    fastcall_entry<kFindValuesByColRows>(find_values_by_col_rows),
    fastcall_entry<kFindValuesByRowCols>(find_values_by_row_cols),
};

}  // namespace

std::span<PyMethodDef> readable_function_defs() { return kFunctions; }

}  // namespace vellix::module
