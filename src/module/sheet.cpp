// Sheet: a live view of one worksheet. This file holds the class's method
// table and the members for its name, state, cells, merged ranges and
// comments; its row and column members and its searches have files of their
// own.

#include <Python.h>

#include <optional>
#include <string>
#include <string_view>
#include <utility>

#include "core/cell_edit.hpp"
#include "core/sheet.hpp"
#include "core/value.hpp"
#include "module/frame/attribute.hpp"
#include "module/classes.hpp"
#include "module/frame/method.hpp"
#include "module/frame/method_table.hpp"
#include "module/frame/registry.hpp"
#include "module/sheet_getters.hpp"
#include "module/sheet_rows.hpp"
#include "module/sheet_search.hpp"

namespace vellix::module {
namespace {

using Getters = SheetGetters<Sheet, Cell>;

constexpr py::Signature<1> kSetSheetState{"Sheet.set_sheet_state", {"state"}, 1};
constexpr py::Signature<4> kAddMergeCells{"Sheet.add_merge_cells", {"start_row", "end_row", "start_col", "end_col"}, 4};
constexpr py::Signature<4> kAddComment{"Sheet.add_comment", {"row", "col", "text", "author"}, 4};
constexpr py::Signature<3> kCell{"Sheet.cell", {"row", "col", "value"}, 2};

// The cell at (row, col), created when missing. With a value text the cell
// takes the typed value (dropping any formula); without one, a cell that is
// not a formula cell is marked "s".
core::SharedCell cell_at(const core::SharedSheet& handle, uint32_t row, uint16_t col,
                         std::optional<std::string_view> text) {
  std::optional<core::CellValue> value;
  if (text) value = core::parse_cell_value(*text);
  auto sheet = handle.write();
  core::CellMap& map = sheet->cells.map;
  if (auto found = map.find(core::Coordinate{row, col}); found != map.end()) {
    core::SharedCell cell = found->second;
    auto locked = cell.write();
    if (value) {
      core::store_cell_value(*locked, std::move(*value));
    } else {
      core::touch_cell(*locked);
    }
    return cell;
  }
  core::CellValue initial = value ? std::move(*value) : core::CellValue::empty();
  core::Text data_type = core::Text::letter(core::data_type_letter(initial));
  core::SharedCell cell = core::SharedCell::make(
      core::CoreCell{row, col, std::move(initial), core::Text(), std::move(data_type), core::Text(), core::Text()});
  (void)core::cell_map_insert(map, row, col, cell);  // nothing was filed there
  return cell;
}

int set_name(PyObject* self, PyObject* value, void*) noexcept {
  return write_attribute<Sheet>(
      self, value, [](PyObject* v) { return py::arg_text(v, "name"); },
      [](core::CoreSheet& s, std::string_view name) { s.name.assign(name); });
}

PyObject* set_sheet_state(PyObject* self, PyObject* const* args, Py_ssize_t nargsf, PyObject* kwnames) noexcept {
  return method<Sheet>(kSetSheetState, self, args, nargsf, kwnames, [](Sheet::Object& sheet, auto& a) {
    std::string_view state = py::arg_text(a[0], "state");
    sheet.payload.write()->sheet_state.assign(state);
    return py::py_none();
  });
}

PyObject* add_merge_cells(PyObject* self, PyObject* const* args, Py_ssize_t nargsf, PyObject* kwnames) noexcept {
  return py::entry([&] {
    auto a = kAddMergeCells.match(args, nargsf, kwnames);
    auto& sheet = Sheet::downcast(self);
    py::ExclusiveBorrow borrow(sheet.borrow);
    core::MergedRange range{py::arg_row(a[0], "start_row"), py::arg_row(a[1], "end_row"),
                            py::arg_col(a[2], "start_col"), py::arg_col(a[3], "end_col")};
    sheet.payload.write()->merge_cells.push_back(range);
    return py::py_none();
  });
}

PyObject* add_comment(PyObject* self, PyObject* const* args, Py_ssize_t nargsf, PyObject* kwnames) noexcept {
  return py::entry([&] {
    auto a = kAddComment.match(args, nargsf, kwnames);
    auto& sheet = Sheet::downcast(self);
    py::ExclusiveBorrow borrow(sheet.borrow);
    uint32_t row = py::arg_row(a[0], "row");
    uint16_t col = py::arg_col(a[1], "col");
    std::string_view text = py::arg_text(a[2], "text");
    std::string_view author = py::arg_text(a[3], "author");
    core::SharedComment comment =
        core::SharedComment::make(core::CoreComment{row, col, std::string(author), std::string(text)});
    sheet.payload.write()->comments.push_back(std::move(comment));
    return py::py_none();
  });
}

PyObject* get_comments(PyObject* self, void*) noexcept {
  return read_attribute<Sheet>(self, [](const core::CoreSheet& s) { return s.comments; }, Comment::new_list);
}

PyObject* cell(PyObject* self, PyObject* const* args, Py_ssize_t nargsf, PyObject* kwnames) noexcept {
  return method<Sheet>(kCell, self, args, nargsf, kwnames, [](Sheet::Object& sheet, auto& a) {
    uint32_t row = py::arg_row(a[0], "row");
    uint16_t col = py::arg_col(a[1], "col");
    std::optional<std::string_view> text;
    if (a[2] != nullptr && a[2] != Py_None) text = py::arg_text(a[2], "value");
    return Cell::new_object(cell_at(sheet.payload, row, col, text));
  });
}

PyObject* sheet_repr(PyObject* self) noexcept {
  return read_attribute<Sheet>(
      self, [](const core::CoreSheet& s) { return "Sheet " + sheet_text_tail(s); }, py::py_str);
}

// In the order of the class's member table; the getters and the setter of
// `name` sit in kGetSet at their own places in that order.
PyMethodDef kMethods[] = {
    fastcall_entry("set_sheet_state", set_sheet_state, "set_sheet_state($self, state)\n--\n\n"),
    fastcall_entry("add_merge_cells", add_merge_cells,
                   "add_merge_cells($self, start_row, end_row, start_col, end_col)\n--\n\n"),
    fastcall_entry("add_comment", add_comment, "add_comment($self, row, col, text, author)\n--\n\n"),
    fastcall_entry("cell", cell, "cell($self, row, col, value=None)\n--\n\n"),
    fastcall_entry("get_value_cell", SheetSearches<SheetHost>::get_value_cell, "get_value_cell($self, row, col)\n--\n\n"),
    fastcall_entry("delete_cols", sheet_delete_cols, "delete_cols($self, idx, amount)\n--\n\n"),
    fastcall_entry("delete_rows", sheet_delete_rows, "delete_rows($self, idx, amount)\n--\n\n"),
    fastcall_entry("set_height_row", sheet_set_height_row, "set_height_row($self, row_num, val)\n--\n\n"),
    fastcall_entry("set_hidden_row", sheet_set_hidden_row, "set_hidden_row($self, row_num, val)\n--\n\n"),
    fastcall_entry("set_width_column", sheet_set_width_column, "set_width_column($self, col_num, val)\n--\n\n"),
    fastcall_entry("set_hidden_column", sheet_set_hidden_column, "set_hidden_column($self, col_num, val)\n--\n\n"),
    fastcall_entry("get_cells_by_range", SheetSearches<SheetHost>::get_cells_by_range,
                   "get_cells_by_range($self, start_row=None, end_row=None, start_col=None, end_col=None)\n--\n\n"),
    fastcall_entry("get_height_by_row", sheet_get_height_by_row, "get_height_by_row($self, row_num)\n--\n\n"),
    fastcall_entry("get_hidden_by_row", sheet_get_hidden_by_row, "get_hidden_by_row($self, row_num)\n--\n\n"),
    fastcall_entry("get_width_by_column", sheet_get_width_by_column, "get_width_by_column($self, col_num)\n--\n\n"),
    fastcall_entry("get_hidden_by_column", sheet_get_hidden_by_column, "get_hidden_by_column($self, col_num)\n--\n\n"),
    fastcall_entry("find_cell_by_regex", SheetSearches<SheetHost>::find_cell_by_regex,
                   "find_cell_by_regex($self, regex)\n--\n\n"),
    fastcall_entry("find_cell_by_str", SheetSearches<SheetHost>::find_cell_by_str, "find_cell_by_str($self, value)\n--\n\n"),
    fastcall_entry("find_cell_by_letter", SheetSearches<SheetHost>::find_cell_by_letter,
                   "find_cell_by_letter($self, letter)\n--\n\n"),
    fastcall_entry("find_cells_by_regex", SheetSearches<SheetHost>::find_cells_by_regex,
                   "find_cells_by_regex($self, regex)\n--\n\n"),
    fastcall_entry("find_cells_by_str", SheetSearches<SheetHost>::find_cells_by_str,
                   "find_cells_by_str($self, value)\n--\n\n"),
    fastcall_entry("find_cells_for_rows_by_regex", SheetSearches<SheetHost>::find_cells_for_rows_by_regex,
                   "find_cells_for_rows_by_regex($self, regex, col_stop)\n--\n\n"),
    fastcall_entry("find_cells_for_cols_by_regex", SheetSearches<SheetHost>::find_cells_for_cols_by_regex,
                   "find_cells_for_cols_by_regex($self, regex, row_stop)\n--\n\n"),
    fastcall_entry("find_cells_multi_regex", SheetSearches<SheetHost>::find_cells_multi_regex,
                   "find_cells_multi_regex($self, before_regex, after_regex)\n--\n\n"),
    fastcall_entry("find_cells_between_regex", SheetSearches<SheetHost>::find_cells_between_regex,
                   "find_cells_between_regex($self, before_regex, after_regex)\n--\n\n"),
    fastcall_entry("find_cells_range_rows", SheetSearches<SheetHost>::find_cells_range_rows,
                   "find_cells_range_rows($self, start_row, end_row)\n--\n\n"),
    fastcall_entry("find_cells_range_cols", SheetSearches<SheetHost>::find_cells_range_cols,
                   "find_cells_range_cols($self, start_col, end_col)\n--\n\n"),
    fastcall_entry("find_value_by_coords", SheetSearches<SheetHost>::find_value_by_coords,
                   "find_value_by_coords($self, row, col)\n--\n\n"),
    kMethodTableEnd,
};

PyGetSetDef kGetSet[] = {
    {"name", Getters::name, set_name, nullptr, nullptr},
    {"sheet_state", Getters::sheet_state, nullptr, nullptr, nullptr},
    {"max_row", Getters::max_row, nullptr, nullptr, nullptr},
    {"max_column", Getters::max_column, nullptr, nullptr, nullptr},
    {"cells", Getters::cells, nullptr, nullptr, nullptr},
    {"merge_cells", Getters::merge_cells, nullptr, nullptr, nullptr},
    {"comments", get_comments, nullptr, nullptr, nullptr},
    {nullptr, nullptr, nullptr, nullptr, nullptr},
};

}  // namespace

PyType_Slot* SheetSpec::slots() {
  static PyType_Slot slots[] = {
      {Py_tp_repr, reinterpret_cast<void*>(sheet_repr)},
      {Py_tp_methods, kMethods},
      {Py_tp_getset, kGetSet},
      {0, nullptr},
  };
  return slots;
}

PyTypeObject* sheet_type() { return Sheet::type_object_or_null(); }

core::SharedSheet extract_sheet_handle(PyObject* o, const char* arg_name) {
  Sheet::Object* sheet = nullptr;
  try {
    sheet = &Sheet::downcast(o);
  } catch (py::PyError& e) {
    py::rethrow_with_argument_name(e, arg_name);
  }
  py::SharedBorrow borrow(sheet->borrow);
  return sheet->payload;
}

}  // namespace vellix::module
