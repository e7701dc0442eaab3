// Sheet: deleting rows and columns, and row and column dimensions.

#include "module/sheet_rows.hpp"

#include <cstdint>

#include "core/sheet.hpp"
#include "module/frame/attribute.hpp"
#include "module/classes.hpp"
#include "module/frame/method.hpp"
#include "module/frame/method_table.hpp"

namespace vellix::module {
namespace {

struct Rows {
  static uint32_t along(core::Coordinate c) noexcept { return c.row; }
  static core::Coordinate shifted(core::Coordinate c, uint32_t amount) noexcept {
    return {c.row - amount, c.column};
  }
};

struct Columns {
  static uint16_t along(core::Coordinate c) noexcept { return c.column; }
  static core::Coordinate shifted(core::Coordinate c, uint16_t amount) noexcept {
    return {c.row, static_cast<uint16_t>(c.column - amount)};
  }
};

// Removes the band [idx, idx + amount) along Axis and moves what lies behind
// it back by `amount`. The map is rebuilt even when nothing changes, so a
// fresh seed reorders it on every call. Caller holds the sheet's write lock.
template <class Axis, class T>
void delete_band(core::CoreSheet& sheet, T idx, T amount) {
  core::CellMap fresh;  // a new map draws a new seed
  // The only allocation; once it is made nothing below can fail, so a
  // failure leaves the sheet and every cell as they were.
  fresh.reserve(sheet.cells.map.size());
  core::CellMap old = std::move(sheet.cells.map);
  for (auto& [key, cell] : old) {
    T at = Axis::along(key);
    // Written as a difference so that idx + amount never has to fit T.
    if (idx <= at && at - idx < amount) continue;  // the map's reference dies with `old`
    core::Coordinate dest = key;
    if (at > idx) {
      dest = Axis::shifted(key, amount);
      auto w = cell.write();
      w->row = dest.row;
      w->column = dest.column;
    }
    (void)core::cell_map_insert(fresh, dest.row, dest.column, std::move(cell));
  }
  sheet.cells.map = std::move(fresh);
}

// The entry for `key`, created with the defaults when missing.
template <class Map, class Key>
typename Map::mapped_type& dimension_entry(Map& map, Key key) {
  return map.try_emplace(key, typename Map::mapped_type{key}).first->second;
}

// One field of the entry for `key`, or `fallback` when there is none.
template <class Map, class Key, class Field>
Field field_or(const Map& map, Key key, Field Map::mapped_type::*field, Field fallback) {
  auto it = map.find(key);
  return it == map.end() ? fallback : it->second.*field;
}

using Args2 = std::array<PyObject*, 2>;
using Args1 = std::array<PyObject*, 1>;

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

PyObject* sheet_delete_cols(PyObject* self, PyObject* const* args, Py_ssize_t nargsf, PyObject* kwnames) {
  return method<Sheet>(kDeleteCols, self, args, nargsf, kwnames, [](Sheet::Object& o, Args2& a) {
    uint16_t idx = py::arg_col(a[0], "idx");
    uint16_t amount = py::arg_col(a[1], "amount");
    delete_band<Columns>(*o.payload.write(), idx, amount);
    return py::py_none();
  });
}

PyObject* sheet_delete_rows(PyObject* self, PyObject* const* args, Py_ssize_t nargsf, PyObject* kwnames) {
  return method<Sheet>(kDeleteRows, self, args, nargsf, kwnames, [](Sheet::Object& o, Args2& a) {
    uint32_t idx = py::arg_row(a[0], "idx");
    uint32_t amount = py::arg_row(a[1], "amount");
    delete_band<Rows>(*o.payload.write(), idx, amount);
    return py::py_none();
  });
}

PyObject* sheet_set_height_row(PyObject* self, PyObject* const* args, Py_ssize_t nargsf, PyObject* kwnames) {
  return method<Sheet>(kSetHeightRow, self, args, nargsf, kwnames, [](Sheet::Object& o, Args2& a) {
    uint32_t row = py::arg_row(a[0], "row_num");
    double val = py::arg_float(a[1], "val");
    dimension_entry(o.payload.write()->row_dimensions.rows, row).height = val;
    return py::py_none();
  });
}

PyObject* sheet_set_hidden_row(PyObject* self, PyObject* const* args, Py_ssize_t nargsf, PyObject* kwnames) {
  return method<Sheet>(kSetHiddenRow, self, args, nargsf, kwnames, [](Sheet::Object& o, Args2& a) {
    uint32_t row = py::arg_row(a[0], "row_num");
    bool val = py::arg_bool(a[1], "val");
    dimension_entry(o.payload.write()->row_dimensions.rows, row).hidden = val;
    return py::py_none();
  });
}

PyObject* sheet_set_width_column(PyObject* self, PyObject* const* args, Py_ssize_t nargsf, PyObject* kwnames) {
  return method<Sheet>(kSetWidthColumn, self, args, nargsf, kwnames, [](Sheet::Object& o, Args2& a) {
    uint16_t col = py::arg_col(a[0], "col_num");
    double val = py::arg_float(a[1], "val");
    dimension_entry(o.payload.write()->column_dimensions.columns, col).width = val;
    return py::py_none();
  });
}

PyObject* sheet_set_hidden_column(PyObject* self, PyObject* const* args, Py_ssize_t nargsf, PyObject* kwnames) {
  return method<Sheet>(kSetHiddenColumn, self, args, nargsf, kwnames, [](Sheet::Object& o, Args2& a) {
    uint16_t col = py::arg_col(a[0], "col_num");
    bool val = py::arg_bool(a[1], "val");
    dimension_entry(o.payload.write()->column_dimensions.columns, col).hidden = val;
    return py::py_none();
  });
}

PyObject* sheet_get_height_by_row(PyObject* self, PyObject* const* args, Py_ssize_t nargsf, PyObject* kwnames) {
  return method<Sheet>(kGetHeightByRow, self, args, nargsf, kwnames, [](Sheet::Object& o, Args1& a) {
    uint32_t row = py::arg_row(a[0], "row_num");
    return py::py_float(copy_locked(o.payload, [&](const core::CoreSheet& s) {
      return field_or(s.row_dimensions.rows, row, &core::RowDimension::height, s.row_dimensions.default_height);
    }));
  });
}

PyObject* sheet_get_hidden_by_row(PyObject* self, PyObject* const* args, Py_ssize_t nargsf, PyObject* kwnames) {
  return method<Sheet>(kGetHiddenByRow, self, args, nargsf, kwnames, [](Sheet::Object& o, Args1& a) {
    uint32_t row = py::arg_row(a[0], "row_num");
    return py::py_bool(copy_locked(o.payload, [&](const core::CoreSheet& s) {
      return field_or(s.row_dimensions.rows, row, &core::RowDimension::hidden, false);
    }));
  });
}

PyObject* sheet_get_width_by_column(PyObject* self, PyObject* const* args, Py_ssize_t nargsf, PyObject* kwnames) {
  return method<Sheet>(kGetWidthByColumn, self, args, nargsf, kwnames, [](Sheet::Object& o, Args1& a) {
    uint16_t col = py::arg_col(a[0], "col_num");
    return py::py_float(copy_locked(o.payload, [&](const core::CoreSheet& s) {
      return field_or(s.column_dimensions.columns, col, &core::ColumnDimension::width,
                      s.column_dimensions.default_width);
    }));
  });
}

PyObject* sheet_get_hidden_by_column(PyObject* self, PyObject* const* args, Py_ssize_t nargsf, PyObject* kwnames) {
  return method<Sheet>(kGetHiddenByColumn, self, args, nargsf, kwnames, [](Sheet::Object& o, Args1& a) {
    uint16_t col = py::arg_col(a[0], "col_num");
    return py::py_bool(copy_locked(o.payload, [&](const core::CoreSheet& s) {
      return field_or(s.column_dimensions.columns, col, &core::ColumnDimension::hidden, false);
    }));
  });
}

}  // namespace

std::array<PyMethodDef, 6> sheet_band_edit_entries() {
  return {fastcall_entry<kDeleteCols>(sheet_delete_cols),
          fastcall_entry<kDeleteRows>(sheet_delete_rows),
          fastcall_entry<kSetHeightRow>(sheet_set_height_row),
          fastcall_entry<kSetHiddenRow>(sheet_set_hidden_row),
          fastcall_entry<kSetWidthColumn>(sheet_set_width_column),
          fastcall_entry<kSetHiddenColumn>(sheet_set_hidden_column)};
}

std::array<PyMethodDef, 4> sheet_dimension_read_entries() {
  return {fastcall_entry<kGetHeightByRow>(sheet_get_height_by_row),
          fastcall_entry<kGetHiddenByRow>(sheet_get_hidden_by_row),
          fastcall_entry<kGetWidthByColumn>(sheet_get_width_by_column),
          fastcall_entry<kGetHiddenByColumn>(sheet_get_hidden_by_column)};
}

}  // namespace vellix::module
