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

PyObject* find_cell_by_coords(PyObject*, PyObject* const* args, Py_ssize_t nargsf, PyObject* kwnames) noexcept {
  static constexpr py::Signature<3> kSig{"find_cell_by_coords", {"row", "col", "cells"}, 3};
  return call(kSig, args, nargsf, kwnames, [](auto& a) {
    uint32_t row = py::arg_row(a[0], "row");
    uint16_t col = py::arg_col(a[1], "col");
    return hit(search_cells(a[2], [&](core::CellSpan c) { return core::find_cell_by_coords_core(row, col, c); }));
  });
}

PyObject* find_value_by_coords(PyObject*, PyObject* const* args, Py_ssize_t nargsf, PyObject* kwnames) noexcept {
  static constexpr py::Signature<3> kSig{"find_value_by_coords", {"row", "col", "cells"}, 3};
  return call(kSig, args, nargsf, kwnames, [](auto& a) {
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

PyObject* find_cell_by_regex(PyObject*, PyObject* const* args, Py_ssize_t nargsf, PyObject* kwnames) noexcept {
  static constexpr py::Signature<2> kSig{"find_cell_by_regex", {"regex", "cells"}, 2};
  return call(kSig, args, nargsf, kwnames, [](auto& a) {
    std::string regex(py::arg_text(a[0], "regex"));
    return hit(unwrap(search_cells(a[1], [&](core::CellSpan c) { return core::find_cell_by_regex_core(regex, c); })));
  });
}

PyObject* find_cell_by_str(PyObject*, PyObject* const* args, Py_ssize_t nargsf, PyObject* kwnames) noexcept {
  static constexpr py::Signature<2> kSig{"find_cell_by_str", {"value", "cells"}, 2};
  return call(kSig, args, nargsf, kwnames, [](auto& a) {
    std::string value(py::arg_text(a[0], "value"));
    return hit(search_cells(a[1], [&](core::CellSpan c) { return core::find_cell_by_str_core(value, c); }));
  });
}

PyObject* find_cell_by_letter(PyObject*, PyObject* const* args, Py_ssize_t nargsf, PyObject* kwnames) noexcept {
  static constexpr py::Signature<2> kSig{"find_cell_by_letter", {"letter", "cells"}, 2};
  return call(kSig, args, nargsf, kwnames, [](auto& a) {
    std::string letter(py::arg_text(a[0], "letter"));
    return hit(
        unwrap(search_cells(a[1], [&](core::CellSpan c) { return core::find_cell_by_letter_core(letter, c); })));
  });
}

PyObject* find_cells_by_regex(PyObject*, PyObject* const* args, Py_ssize_t nargsf, PyObject* kwnames) noexcept {
  static constexpr py::Signature<2> kSig{"find_cells_by_regex", {"regex", "cells"}, 2};
  return call(kSig, args, nargsf, kwnames, [](auto& a) {
    std::string regex(py::arg_text(a[0], "regex"));
    return hits(
        unwrap(search_cells(a[1], [&](core::CellSpan c) { return core::find_cells_by_regex_core(regex, c); })));
  });
}

PyObject* find_cells_by_str(PyObject*, PyObject* const* args, Py_ssize_t nargsf, PyObject* kwnames) noexcept {
  static constexpr py::Signature<2> kSig{"find_cells_by_str", {"value", "cells"}, 2};
  return call(kSig, args, nargsf, kwnames, [](auto& a) {
    std::string value(py::arg_text(a[0], "value"));
    return hits(search_cells(a[1], [&](core::CellSpan c) { return core::find_cells_by_str_core(value, c); }));
  });
}

PyObject* find_cells_for_rows_by_regex(PyObject*, PyObject* const* args, Py_ssize_t nargsf,
                                       PyObject* kwnames) noexcept {
  static constexpr py::Signature<3> kSig{"find_cells_for_rows_by_regex", {"regex", "col_stop", "cells"}, 3};
  return call(kSig, args, nargsf, kwnames, [](auto& a) {
    std::string regex(py::arg_text(a[0], "regex"));
    uint16_t col_stop = py::arg_col(a[1], "col_stop");
    return hits(unwrap(search_cells(
        a[2], [&](core::CellSpan c) { return core::find_cells_for_rows_by_regex_core(regex, col_stop, c); })));
  });
}

PyObject* find_cells_for_cols_by_regex(PyObject*, PyObject* const* args, Py_ssize_t nargsf,
                                       PyObject* kwnames) noexcept {
  static constexpr py::Signature<3> kSig{"find_cells_for_cols_by_regex", {"regex", "row_stop", "cells"}, 3};
  return call(kSig, args, nargsf, kwnames, [](auto& a) {
    std::string regex(py::arg_text(a[0], "regex"));
    uint32_t row_stop = py::arg_row(a[1], "row_stop");
    return hits(unwrap(search_cells(
        a[2], [&](core::CellSpan c) { return core::find_cells_for_cols_by_regex_core(regex, row_stop, c); })));
  });
}

PyObject* find_cells_multi_regex(PyObject*, PyObject* const* args, Py_ssize_t nargsf, PyObject* kwnames) noexcept {
  static constexpr py::Signature<3> kSig{"find_cells_multi_regex", {"before_regex", "after_regex", "cells"}, 3};
  return call(kSig, args, nargsf, kwnames, [](auto& a) {
    std::string before(py::arg_text(a[0], "before_regex"));
    std::string after(py::arg_text(a[1], "after_regex"));
    return hits(unwrap(
        search_cells(a[2], [&](core::CellSpan c) { return core::find_cells_multi_regex_core(before, after, c); })));
  });
}

PyObject* find_cells_between_regex(PyObject*, PyObject* const* args, Py_ssize_t nargsf, PyObject* kwnames) noexcept {
  static constexpr py::Signature<3> kSig{"find_cells_between_regex", {"before_regex", "after_regex", "cells"}, 3};
  return call(kSig, args, nargsf, kwnames, [](auto& a) {
    std::string before(py::arg_text(a[0], "before_regex"));
    std::string after(py::arg_text(a[1], "after_regex"));
    return hits(unwrap(
        search_cells(a[2], [&](core::CellSpan c) { return core::find_cells_between_regex_core(before, after, c); })));
  });
}

PyObject* find_cells_range_rows(PyObject*, PyObject* const* args, Py_ssize_t nargsf, PyObject* kwnames) noexcept {
  static constexpr py::Signature<3> kSig{"find_cells_range_rows", {"start_row", "end_row", "cells"}, 3};
  return call(kSig, args, nargsf, kwnames, [](auto& a) {
    uint32_t start = py::arg_row(a[0], "start_row");
    uint32_t end = py::arg_row(a[1], "end_row");
    return hits(search_cells(a[2], [&](core::CellSpan c) { return core::find_cells_range_rows_core(start, end, c); }));
  });
}

PyObject* find_cells_range_cols(PyObject*, PyObject* const* args, Py_ssize_t nargsf, PyObject* kwnames) noexcept {
  static constexpr py::Signature<3> kSig{"find_cells_range_cols", {"start_col", "end_col", "cells"}, 3};
  return call(kSig, args, nargsf, kwnames, [](auto& a) {
    uint16_t start = py::arg_col(a[0], "start_col");
    uint16_t end = py::arg_col(a[1], "end_col");
    return hits(search_cells(a[2], [&](core::CellSpan c) { return core::find_cells_range_cols_core(start, end, c); }));
  });
}

PyObject* find_values_by_col_rows(PyObject*, PyObject* const* args, Py_ssize_t nargsf, PyObject* kwnames) noexcept {
  static constexpr py::Signature<3> kSig{"find_values_by_col_rows", {"col", "rows", "cells"}, 3};
  return call(kSig, args, nargsf, kwnames, [](auto& a) {
    uint16_t col = py::arg_col(a[0], "col");
    std::vector<uint32_t> rows = py::arg_rows(a[1], "rows");
    return text_list(
        search_cells(a[2], [&](core::CellSpan c) { return core::find_values_by_col_rows_core(col, rows, c); }));
  });
}

PyObject* find_values_by_row_cols(PyObject*, PyObject* const* args, Py_ssize_t nargsf, PyObject* kwnames) noexcept {
  static constexpr py::Signature<3> kSig{"find_values_by_row_cols", {"row", "cols", "cells"}, 3};
  return call(kSig, args, nargsf, kwnames, [](auto& a) {
    uint32_t row = py::arg_row(a[0], "row");
    std::vector<uint16_t> cols = py::arg_cols(a[1], "cols");
    return text_list(
        search_cells(a[2], [&](core::CellSpan c) { return core::find_values_by_row_cols_core(row, cols, c); }));
  });
}

PyMethodDef kFunctions[] = {
    fastcall_entry("create_finder", create_finder, "create_finder(sheets)\n--\n\n"),
    fastcall_entry("find_cell_by_coords", find_cell_by_coords, "find_cell_by_coords(row, col, cells)\n--\n\n"),
    fastcall_entry("find_value_by_coords", find_value_by_coords, "find_value_by_coords(row, col, cells)\n--\n\n"),
    fastcall_entry("find_cell_by_regex", find_cell_by_regex, "find_cell_by_regex(regex, cells)\n--\n\n"),
    fastcall_entry("find_cell_by_str", find_cell_by_str, "find_cell_by_str(value, cells)\n--\n\n"),
    fastcall_entry("find_cell_by_letter", find_cell_by_letter, "find_cell_by_letter(letter, cells)\n--\n\n"),
    fastcall_entry("find_cells_by_regex", find_cells_by_regex, "find_cells_by_regex(regex, cells)\n--\n\n"),
    fastcall_entry("find_cells_by_str", find_cells_by_str, "find_cells_by_str(value, cells)\n--\n\n"),
    fastcall_entry("find_cells_for_rows_by_regex", find_cells_for_rows_by_regex,
                   "find_cells_for_rows_by_regex(regex, col_stop, cells)\n--\n\n"),
    fastcall_entry("find_cells_for_cols_by_regex", find_cells_for_cols_by_regex,
                   "find_cells_for_cols_by_regex(regex, row_stop, cells)\n--\n\n"),
    fastcall_entry("find_cells_multi_regex", find_cells_multi_regex,
                   "find_cells_multi_regex(before_regex, after_regex, cells)\n--\n\n"),
    fastcall_entry("find_cells_between_regex", find_cells_between_regex,
                   "find_cells_between_regex(before_regex, after_regex, cells)\n--\n\n"),
    fastcall_entry("find_cells_range_rows", find_cells_range_rows,
                   "find_cells_range_rows(start_row, end_row, cells)\n--\n\n"),
    fastcall_entry("find_cells_range_cols", find_cells_range_cols,
                   "find_cells_range_cols(start_col, end_col, cells)\n--\n\n"),
    fastcall_entry("find_values_by_col_rows", find_values_by_col_rows,
                   "find_values_by_col_rows(col, rows, cells)\n--\n\n"),
    fastcall_entry("find_values_by_row_cols", find_values_by_row_cols,
                   "find_values_by_row_cols(row, cols, cells)\n--\n\n"),
};

}  // namespace

std::span<PyMethodDef> readable_function_defs() { return kFunctions; }

}  // namespace vellix::module
