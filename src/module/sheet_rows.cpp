// Sheet: deleting rows and columns, and row and column dimensions.

#include "module/sheet_rows.hpp"

#include <array>
#include <cstdint>

#include "core/sheet/sheet_rows.hpp"
#include "module/classes.hpp"
#include "module/frame/attribute.hpp"
#include "module/frame/method.hpp"
#include "module/frame/method_table.hpp"

namespace vellix::module {
namespace {

constexpr py::Signature<2> kDeleteCols{"Sheet.delete_cols", {"idx", "amount"}, 2};
constexpr py::Signature<2> kDeleteRows{"Sheet.delete_rows", {"idx", "amount"}, 2};
constexpr py::Signature<2> kSetHeightRow{"Sheet.set_height_row", {"row_num", "val"}, 2};
constexpr py::Signature<2> kSetHiddenRow{"Sheet.set_hidden_row", {"row_num", "val"}, 2};
constexpr py::Signature<2> kSetWidthColumn{"Sheet.set_width_column", {"col_num", "val"}, 2};
constexpr py::Signature<2> kSetHiddenColumn{"Sheet.set_hidden_column", {"col_num", "val"}, 2};
constexpr py::Signature<1> kGetHeightByRow{"Sheet.get_height_by_row", {"row_num"}, 1};
constexpr py::Signature<1> kGetHiddenByRow{"Sheet.get_hidden_by_row", {"row_num"}, 1};
constexpr py::Signature<1> kGetWidthByColumn{"Sheet.get_width_by_column", {"col_num"}, 1};
constexpr py::Signature<1> kGetHiddenByColumn{"Sheet.get_hidden_by_column", {"col_num"}, 1};

// An edit of two arguments, each converted under its parameter's name, run
// under the sheet's write lock; returns None.
template <const auto& kSig, auto kFirst, auto kSecond, auto kEdit>
PyObject* edit(PyObject* self, PyObject* const* args, Py_ssize_t nargsf, PyObject* kwnames) noexcept {
  return method<Sheet>(kSig, self, args, nargsf, kwnames, [](Sheet::Object& o, auto& a) {
    auto first = kFirst(a[0], kSig.names[0]);
    auto second = kSecond(a[1], kSig.names[1]);
    kEdit(*o.payload.write(), first, second);
    return py::py_none();
  });
}

// A read of one argument under the sheet's read lock, built into its Python
// result after unlocking.
template <const auto& kSig, auto kArgument, auto kRead, auto kBuild>
PyObject* read(PyObject* self, PyObject* const* args, Py_ssize_t nargsf, PyObject* kwnames) noexcept {
  return method<Sheet>(kSig, self, args, nargsf, kwnames, [](Sheet::Object& o, auto& a) {
    auto argument = kArgument(a[0], kSig.names[0]);
    return kBuild(copy_locked(o.payload, [&](const core::CoreSheet& s) { return kRead(s, argument); }));
  });
}

}  // namespace

std::array<PyMethodDef, 6> sheet_band_edit_entries() {
  return {fastcall_entry<kDeleteCols>(edit<kDeleteCols, py::arg_col, py::arg_col, core::delete_cols_core>),
          fastcall_entry<kDeleteRows>(edit<kDeleteRows, py::arg_row, py::arg_row, core::delete_rows_core>),
          fastcall_entry<kSetHeightRow>(edit<kSetHeightRow, py::arg_row, py::arg_float, core::set_row_height>),
          fastcall_entry<kSetHiddenRow>(edit<kSetHiddenRow, py::arg_row, py::arg_bool, core::set_row_hidden>),
          fastcall_entry<kSetWidthColumn>(edit<kSetWidthColumn, py::arg_col, py::arg_float, core::set_column_width>),
          fastcall_entry<kSetHiddenColumn>(edit<kSetHiddenColumn, py::arg_col, py::arg_bool, core::set_column_hidden>)};
}

std::array<PyMethodDef, 4> sheet_dimension_read_entries() {
  return {fastcall_entry<kGetHeightByRow>(read<kGetHeightByRow, py::arg_row, core::row_height, py::py_float>),
          fastcall_entry<kGetHiddenByRow>(read<kGetHiddenByRow, py::arg_row, core::row_hidden, py::py_bool>),
          fastcall_entry<kGetWidthByColumn>(read<kGetWidthByColumn, py::arg_col, core::column_width, py::py_float>),
          fastcall_entry<kGetHiddenByColumn>(read<kGetHiddenByColumn, py::arg_col, core::column_hidden, py::py_bool>)};
}

}  // namespace vellix::module
