// Sheet: a live view of one worksheet. This file holds the class's method
// table and the members for its name, state, cells, merged ranges and
// comments; its row and column members and its searches have files of their
// own.

#include <Python.h>

#include <optional>
#include <string>
#include <string_view>
#include <utility>

#include "core/sheet/sheet.hpp"
#include "core/value/value.hpp"
#include "module/classes.hpp"
#include "module/frame/attribute.hpp"
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
constexpr py::Signature<3> kCell{"Sheet.cell", {"row", "col", "value=None"}, 2};

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

// The mutators that add to the sheet's lists borrow it exclusively.
PyObject* add_merge_cells(PyObject* self, PyObject* const* args, Py_ssize_t nargsf, PyObject* kwnames) noexcept {
  return method<Sheet, py::ExclusiveBorrow>(
      kAddMergeCells, self, args, nargsf, kwnames, [](Sheet::Object& sheet, auto& a) {
        core::MergedRange range{py::arg_row(a[0], "start_row"), py::arg_row(a[1], "end_row"),
                                py::arg_col(a[2], "start_col"), py::arg_col(a[3], "end_col")};
        sheet.payload.write()->merge_cells.push_back(range);
        return py::py_none();
      });
}

PyObject* add_comment(PyObject* self, PyObject* const* args, Py_ssize_t nargsf, PyObject* kwnames) noexcept {
  return method<Sheet, py::ExclusiveBorrow>(
      kAddComment, self, args, nargsf, kwnames, [](Sheet::Object& sheet, auto& a) {
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
  return read_attribute<Sheet>(
      self, [](const core::CoreSheet& s) { return s.comments; }, Comment::new_list);
}

PyObject* cell(PyObject* self, PyObject* const* args, Py_ssize_t nargsf, PyObject* kwnames) noexcept {
  return method<Sheet>(kCell, self, args, nargsf, kwnames, [](Sheet::Object& sheet, auto& a) {
    uint32_t row = py::arg_row(a[0], "row");
    uint16_t col = py::arg_col(a[1], "col");
    std::optional<std::string_view> text;
    if (a[2] != nullptr && a[2] != Py_None) text = py::arg_text(a[2], "value");
    return Cell::new_object(core::cell_at(sheet.payload, row, col, text));
  });
}

PyObject* sheet_repr(PyObject* self) noexcept {
  return read_attribute<Sheet>(
      self, [](const core::CoreSheet& s) { return "Sheet " + sheet_text_tail(s); }, py::py_str);
}

using Search = SheetSearches<SheetHost>;

// In the order of the class's member table; the attributes sit in kGetSet at
// their own places in that order.
auto kMethods = method_table(
    fastcall_entry<kSetSheetState>(set_sheet_state), fastcall_entry<kAddMergeCells>(add_merge_cells),
    fastcall_entry<kAddComment>(add_comment), fastcall_entry<kCell>(cell), Search::get_value_cell(),
    sheet_band_edit_entries(), Search::get_cells_by_range(), sheet_dimension_read_entries(),
    Search::find_cell_by_regex(), Search::find_cell_by_str(), Search::find_cell_by_letter(),
    Search::find_cells_by_regex(), Search::find_cells_by_str(), Search::find_cells_for_rows_by_regex(),
    Search::find_cells_for_cols_by_regex(), Search::find_cells_multi_regex(), Search::find_cells_between_regex(),
    Search::find_cells_range_rows(), Search::find_cells_range_cols(), Search::find_value_by_coords());

auto kGetSet = Getters::table({.name = set_name, .comments = get_comments});

}  // namespace

py::ClassSlots SheetSpec::slots() {
  return {.tp_repr = sheet_repr, .methods = kMethods.data(), .getset = kGetSet.data()};
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
