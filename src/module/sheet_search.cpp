// Sheet and ReadableSheet: searches and reads, one template for both.

#include "module/sheet_search.hpp"

#include <cstdint>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "core/sheet/bands.hpp"
#include "core/error.hpp"
#include "core/sheet/letters.hpp"
#include "core/sheet/queries.hpp"
#include "core/search/search.hpp"
#include "module/cell_getters.hpp"
#include "module/frame/args.hpp"
#include "module/frame/attribute.hpp"
#include "module/frame/errors.hpp"
#include "module/frame/method.hpp"
#include "module/frame/method_table.hpp"
#include "module/frame/results.hpp"
#include "module/readable/classes.hpp"

namespace vellix::module {
namespace {

// Read-locks the sheet under the host's interpreter-lock policy and returns
// what `query` copies out of it (hit handles carry their own reference). The
// sheet is unlocked, and the interpreter lock held again, when this returns.
template <class Host, class Query>
auto on_sheet(typename Host::Self::Object& o, Query&& query) {
  return Host::Lock::run([&] {
    auto sheet = o.payload.read();
    return query(*sheet);
  });
}

// A bound of get_cells_by_range: absent when left out or None.
template <class T, T (*Convert)(PyObject*, const char*)>
std::optional<T> optional_bound(PyObject* o, const char* name) {
  if (o == nullptr || o == Py_None) return std::nullopt;
  return Convert(o, name);
}

using Args1 = std::array<PyObject*, 1>;
using Args2 = std::array<PyObject*, 2>;
using Args4 = std::array<PyObject*, 4>;

}  // namespace

template <class Host>
constexpr py::Signature<2> kGetValueCell{py::qualified_name(Host::kClassName, "get_value_cell"), {"row", "col"}, 2};

template <class Host>
PyObject* SheetSearches<Host>::get_value_cell(PyObject* self, PyObject* const* args, Py_ssize_t nargsf,
                                              PyObject* kwnames) {
  constexpr const auto& kSig = kGetValueCell<Host>;
  return method<typename Host::Self>(kSig, self, args, nargsf, kwnames, [](auto& o, Args2& a) {
    uint32_t row = py::arg_row(a[0], "row");
    uint16_t col = py::arg_col(a[1], "col");
    // A single hash probe: not worth giving the interpreter lock away for.
    std::string text =
        copy_locked(o.payload, [&](const core::CoreSheet& s) { return core::sheet_get_value_cell(s.cells, row, col); });
    return py::py_str(text);
  });
}

template <class Host>
constexpr py::Signature<4> kGetCellsByRange{py::qualified_name(Host::kClassName, "get_cells_by_range"),
                                            {"start_row=None", "end_row=None", "start_col=None", "end_col=None"},
                                            0};

template <class Host>
PyObject* SheetSearches<Host>::get_cells_by_range(PyObject* self, PyObject* const* args, Py_ssize_t nargsf,
                                                  PyObject* kwnames) {
  constexpr const auto& kSig = kGetCellsByRange<Host>;
  return method<typename Host::Self>(kSig, self, args, nargsf, kwnames, [](auto& o, Args4& a) {
    auto start_row = optional_bound<uint32_t, py::arg_row>(a[0], "start_row");
    auto end_row = optional_bound<uint32_t, py::arg_row>(a[1], "end_row");
    auto start_col = optional_bound<uint16_t, py::arg_col>(a[2], "start_col");
    auto end_col = optional_bound<uint16_t, py::arg_col>(a[3], "end_col");
    return Host::Hit::new_list(on_sheet<Host>(o, [&](const core::CoreSheet& s) {
      return core::get_cells_by_range_core(s.cells, start_row, end_row, start_col, end_col);
    }));
  });
}

template <class Host>
constexpr py::Signature<1> kFindCellByRegex{py::qualified_name(Host::kClassName, "find_cell_by_regex"), {"regex"}, 1};

template <class Host>
PyObject* SheetSearches<Host>::find_cell_by_regex(PyObject* self, PyObject* const* args, Py_ssize_t nargsf,
                                                  PyObject* kwnames) {
  constexpr const auto& kSig = kFindCellByRegex<Host>;
  return method<typename Host::Self>(kSig, self, args, nargsf, kwnames, [](auto& o, Args1& a) {
    std::string regex(py::arg_text(a[0], "regex"));
    return object_or_none<typename Host::Hit>(unwrap(
        on_sheet<Host>(o, [&](const core::CoreSheet& s) { return core::sheet_find_cell_by_regex(s.cells, regex); })));
  });
}

template <class Host>
constexpr py::Signature<1> kFindCellByStr{py::qualified_name(Host::kClassName, "find_cell_by_str"), {"value"}, 1};

template <class Host>
PyObject* SheetSearches<Host>::find_cell_by_str(PyObject* self, PyObject* const* args, Py_ssize_t nargsf,
                                                PyObject* kwnames) {
  constexpr const auto& kSig = kFindCellByStr<Host>;
  return method<typename Host::Self>(kSig, self, args, nargsf, kwnames, [](auto& o, Args1& a) {
    std::string value(py::arg_text(a[0], "value"));
    return object_or_none<typename Host::Hit>(
        on_sheet<Host>(o, [&](const core::CoreSheet& s) { return core::sheet_find_cell_by_str(s.cells, value); }));
  });
}

template <class Host>
constexpr py::Signature<2> kFindCellByCoords{
    py::qualified_name(Host::kClassName, "find_cell_by_coords"), {"row", "col"}, 2};

template <class Host>
PyObject* SheetSearches<Host>::find_cell_by_coords(PyObject* self, PyObject* const* args, Py_ssize_t nargsf,
                                                   PyObject* kwnames) {
  constexpr const auto& kSig = kFindCellByCoords<Host>;
  return method<typename Host::Self>(kSig, self, args, nargsf, kwnames, [](auto& o, Args2& a) {
    uint32_t row = py::arg_row(a[0], "row");
    uint16_t col = py::arg_col(a[1], "col");
    return object_or_none<typename Host::Hit>(on_sheet<Host>(
        o, [&](const core::CoreSheet& s) { return core::sheet_find_cell_by_coords(s.cells, row, col); }));
  });
}

template <class Host>
constexpr py::Signature<1> kFindCellByLetter{
    py::qualified_name(Host::kClassName, "find_cell_by_letter"), {"letter"}, 1};

template <class Host>
PyObject* SheetSearches<Host>::find_cell_by_letter(PyObject* self, PyObject* const* args, Py_ssize_t nargsf,
                                                   PyObject* kwnames) {
  constexpr const auto& kSig = kFindCellByLetter<Host>;
  return method<typename Host::Self>(kSig, self, args, nargsf, kwnames, [](auto& o, Args1& a) {
    std::string letter(py::arg_text(a[0], "letter"));
    return object_or_none<typename Host::Hit>(unwrap(
        on_sheet<Host>(o, [&](const core::CoreSheet& s) { return core::sheet_find_cell_by_letter(s.cells, letter); })));
  });
}

template <class Host>
constexpr py::Signature<1> kFindCellsByRegex{py::qualified_name(Host::kClassName, "find_cells_by_regex"), {"regex"}, 1};

template <class Host>
PyObject* SheetSearches<Host>::find_cells_by_regex(PyObject* self, PyObject* const* args, Py_ssize_t nargsf,
                                                   PyObject* kwnames) {
  constexpr const auto& kSig = kFindCellsByRegex<Host>;
  return method<typename Host::Self>(kSig, self, args, nargsf, kwnames, [](auto& o, Args1& a) {
    std::string regex(py::arg_text(a[0], "regex"));
    return Host::Hit::new_list(unwrap(on_sheet<Host>(o, [&](const core::CoreSheet& s) {
      return core::find_cells_by_regex_core(regex, core::sorted_cells(s.cells));
    })));
  });
}

template <class Host>
constexpr py::Signature<1> kFindCellsByStr{py::qualified_name(Host::kClassName, "find_cells_by_str"), {"value"}, 1};

template <class Host>
PyObject* SheetSearches<Host>::find_cells_by_str(PyObject* self, PyObject* const* args, Py_ssize_t nargsf,
                                                 PyObject* kwnames) {
  constexpr const auto& kSig = kFindCellsByStr<Host>;
  return method<typename Host::Self>(kSig, self, args, nargsf, kwnames, [](auto& o, Args1& a) {
    std::string value(py::arg_text(a[0], "value"));
    return Host::Hit::new_list(on_sheet<Host>(
        o, [&](const core::CoreSheet& s) { return core::find_cells_by_str_core(value, core::sorted_cells(s.cells)); }));
  });
}

template <class Host>
constexpr py::Signature<2> kFindCellsForRowsByRegex{
    py::qualified_name(Host::kClassName, "find_cells_for_rows_by_regex"), {"regex", "col_stop"}, 2};

template <class Host>
PyObject* SheetSearches<Host>::find_cells_for_rows_by_regex(PyObject* self, PyObject* const* args, Py_ssize_t nargsf,
                                                            PyObject* kwnames) {
  constexpr const auto& kSig = kFindCellsForRowsByRegex<Host>;
  return method<typename Host::Self>(kSig, self, args, nargsf, kwnames, [](auto& o, Args2& a) {
    std::string regex(py::arg_text(a[0], "regex"));
    uint16_t col_stop = py::arg_col(a[1], "col_stop");
    return Host::Hit::new_list(unwrap(on_sheet<Host>(o, [&](const core::CoreSheet& s) {
      return core::find_cells_for_rows_by_regex_core(regex, col_stop, core::sorted_cells(s.cells));
    })));
  });
}

template <class Host>
constexpr py::Signature<2> kFindCellsForColsByRegex{
    py::qualified_name(Host::kClassName, "find_cells_for_cols_by_regex"), {"regex", "row_stop"}, 2};

template <class Host>
PyObject* SheetSearches<Host>::find_cells_for_cols_by_regex(PyObject* self, PyObject* const* args, Py_ssize_t nargsf,
                                                            PyObject* kwnames) {
  constexpr const auto& kSig = kFindCellsForColsByRegex<Host>;
  return method<typename Host::Self>(kSig, self, args, nargsf, kwnames, [](auto& o, Args2& a) {
    std::string regex(py::arg_text(a[0], "regex"));
    uint32_t row_stop = py::arg_row(a[1], "row_stop");
    return Host::Hit::new_list(unwrap(on_sheet<Host>(o, [&](const core::CoreSheet& s) {
      return core::sheet_find_cells_for_cols_by_regex(s.cells, regex, row_stop);
    })));
  });
}

template <class Host>
constexpr py::Signature<2> kFindCellsMultiRegex{
    py::qualified_name(Host::kClassName, "find_cells_multi_regex"), {"before_regex", "after_regex"}, 2};

template <class Host>
PyObject* SheetSearches<Host>::find_cells_multi_regex(PyObject* self, PyObject* const* args, Py_ssize_t nargsf,
                                                      PyObject* kwnames) {
  constexpr const auto& kSig = kFindCellsMultiRegex<Host>;
  return method<typename Host::Self>(kSig, self, args, nargsf, kwnames, [](auto& o, Args2& a) {
    std::string before(py::arg_text(a[0], "before_regex"));
    std::string after(py::arg_text(a[1], "after_regex"));
    return Host::Hit::new_list(unwrap(on_sheet<Host>(
        o, [&](const core::CoreSheet& s) { return core::sheet_find_cells_multi_regex(s.cells, before, after); })));
  });
}

template <class Host>
constexpr py::Signature<2> kFindCellsBetweenRegex{
    py::qualified_name(Host::kClassName, "find_cells_between_regex"), {"before_regex", "after_regex"}, 2};

template <class Host>
PyObject* SheetSearches<Host>::find_cells_between_regex(PyObject* self, PyObject* const* args, Py_ssize_t nargsf,
                                                        PyObject* kwnames) {
  constexpr const auto& kSig = kFindCellsBetweenRegex<Host>;
  return method<typename Host::Self>(kSig, self, args, nargsf, kwnames, [](auto& o, Args2& a) {
    std::string before(py::arg_text(a[0], "before_regex"));
    std::string after(py::arg_text(a[1], "after_regex"));
    return Host::Hit::new_list(unwrap(on_sheet<Host>(
        o, [&](const core::CoreSheet& s) { return core::sheet_find_cells_between_regex(s.cells, before, after); })));
  });
}

template <class Host>
constexpr py::Signature<2> kFindCellsRangeRows{
    py::qualified_name(Host::kClassName, "find_cells_range_rows"), {"start_row", "end_row"}, 2};

template <class Host>
PyObject* SheetSearches<Host>::find_cells_range_rows(PyObject* self, PyObject* const* args, Py_ssize_t nargsf,
                                                     PyObject* kwnames) {
  constexpr const auto& kSig = kFindCellsRangeRows<Host>;
  return method<typename Host::Self>(kSig, self, args, nargsf, kwnames, [](auto& o, Args2& a) {
    uint32_t start = py::arg_row(a[0], "start_row");
    uint32_t end = py::arg_row(a[1], "end_row");
    return Host::Hit::new_list(on_sheet<Host>(
        o, [&](const core::CoreSheet& s) { return core::sheet_find_cells_range_rows(s.cells, start, end); }));
  });
}

template <class Host>
constexpr py::Signature<2> kFindCellsRangeCols{
    py::qualified_name(Host::kClassName, "find_cells_range_cols"), {"start_col", "end_col"}, 2};

template <class Host>
PyObject* SheetSearches<Host>::find_cells_range_cols(PyObject* self, PyObject* const* args, Py_ssize_t nargsf,
                                                     PyObject* kwnames) {
  constexpr const auto& kSig = kFindCellsRangeCols<Host>;
  return method<typename Host::Self>(kSig, self, args, nargsf, kwnames, [](auto& o, Args2& a) {
    uint16_t start = py::arg_col(a[0], "start_col");
    uint16_t end = py::arg_col(a[1], "end_col");
    return Host::Hit::new_list(on_sheet<Host>(o, [&](const core::CoreSheet& s) {
      return core::find_cells_range_cols_core(start, end, core::sorted_cells(s.cells));
    }));
  });
}

template <class Host>
constexpr py::Signature<2> kFindValuesByColRows{
    py::qualified_name(Host::kClassName, "find_values_by_col_rows"), {"col", "rows"}, 2};

template <class Host>
PyObject* SheetSearches<Host>::find_values_by_col_rows(PyObject* self, PyObject* const* args, Py_ssize_t nargsf,
                                                       PyObject* kwnames) {
  constexpr const auto& kSig = kFindValuesByColRows<Host>;
  return method<typename Host::Self>(kSig, self, args, nargsf, kwnames, [](auto& o, Args2& a) {
    uint16_t col = py::arg_col(a[0], "col");
    std::vector<uint32_t> rows = py::arg_rows(a[1], "rows");
    return text_list(on_sheet<Host>(o, [&](const core::CoreSheet& s) {
      return core::find_values_by_col_rows_core(col, rows, core::map_order_cells(s.cells.map));
    }));
  });
}

template <class Host>
constexpr py::Signature<2> kFindValuesByRowCols{
    py::qualified_name(Host::kClassName, "find_values_by_row_cols"), {"row", "cols"}, 2};

template <class Host>
PyObject* SheetSearches<Host>::find_values_by_row_cols(PyObject* self, PyObject* const* args, Py_ssize_t nargsf,
                                                       PyObject* kwnames) {
  constexpr const auto& kSig = kFindValuesByRowCols<Host>;
  return method<typename Host::Self>(kSig, self, args, nargsf, kwnames, [](auto& o, Args2& a) {
    uint32_t row = py::arg_row(a[0], "row");
    std::vector<uint16_t> cols = py::arg_cols(a[1], "cols");
    return text_list(on_sheet<Host>(o, [&](const core::CoreSheet& s) {
      return core::find_values_by_row_cols_core(row, cols, core::map_order_cells(s.cells.map));
    }));
  });
}

template <class Host>
constexpr py::Signature<2> kFindValueByCoords{
    py::qualified_name(Host::kClassName, "find_value_by_coords"), {"row", "col"}, 2};

template <class Host>
PyObject* SheetSearches<Host>::find_value_by_coords(PyObject* self, PyObject* const* args, Py_ssize_t nargsf,
                                                    PyObject* kwnames) {
  constexpr const auto& kSig = kFindValueByCoords<Host>;
  return method<typename Host::Self>(kSig, self, args, nargsf, kwnames, [](auto& o, Args2& a) {
    uint32_t row = py::arg_row(a[0], "row");
    uint16_t col = py::arg_col(a[1], "col");
    return py_optional_str(on_sheet<Host>(
        o, [&](const core::CoreSheet& s) { return core::sheet_find_value_by_coords(s.cells, row, col); }));
  });
}

template <class Host>
std::array<PyMethodDef, 18> SheetSearches<Host>::table() {
  std::array<PyMethodDef, 18> t{};
  size_t n = 0;
  auto add = [&](PyMethodDef row) { t[n++] = row; };
  add(fastcall_entry<kGetValueCell<Host>>(get_value_cell));
  add(fastcall_entry<kGetCellsByRange<Host>>(get_cells_by_range));
  add(fastcall_entry<kFindCellByRegex<Host>>(find_cell_by_regex));
  add(fastcall_entry<kFindCellByStr<Host>>(find_cell_by_str));
  if constexpr (Host::kAllSearches) add(fastcall_entry<kFindCellByCoords<Host>>(find_cell_by_coords));
  add(fastcall_entry<kFindCellByLetter<Host>>(find_cell_by_letter));
  add(fastcall_entry<kFindCellsByRegex<Host>>(find_cells_by_regex));
  add(fastcall_entry<kFindCellsByStr<Host>>(find_cells_by_str));
  add(fastcall_entry<kFindCellsForRowsByRegex<Host>>(find_cells_for_rows_by_regex));
  add(fastcall_entry<kFindCellsForColsByRegex<Host>>(find_cells_for_cols_by_regex));
  add(fastcall_entry<kFindCellsMultiRegex<Host>>(find_cells_multi_regex));
  add(fastcall_entry<kFindCellsBetweenRegex<Host>>(find_cells_between_regex));
  add(fastcall_entry<kFindCellsRangeRows<Host>>(find_cells_range_rows));
  add(fastcall_entry<kFindCellsRangeCols<Host>>(find_cells_range_cols));
  if constexpr (Host::kAllSearches) add(fastcall_entry<kFindValuesByColRows<Host>>(find_values_by_col_rows));
  if constexpr (Host::kAllSearches) add(fastcall_entry<kFindValuesByRowCols<Host>>(find_values_by_row_cols));
  add(fastcall_entry<kFindValueByCoords<Host>>(find_value_by_coords));
  return t;  // the rows after the last are zero: the sentinel
}

template <class Host>
PyMethodDef SheetSearches<Host>::entry(Fast* search) {
  for (const PyMethodDef& row : table()) {
    if (row.ml_meth == reinterpret_cast<PyCFunction>(reinterpret_cast<void (*)()>(search))) return row;
  }
  throw core::InternalFailure("a search without a method-table row");
}

// Sheet's instances make only the searches it shows.
template struct SheetSearches<ReadableSheetHost>;
template std::array<PyMethodDef, 18> SheetSearches<SheetHost>::table();
template PyMethodDef SheetSearches<SheetHost>::entry(Fast*);

}  // namespace vellix::module
