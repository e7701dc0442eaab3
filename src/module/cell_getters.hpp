// The read-only attributes that Cell and ReadableCell share, written once as
// templates over the Python class (any PyClass whose payload is a SharedCell):
// row, column, letter, value, formula, style, data_type, is_formula and the
// is_value_* flags, plus the coordinate their text forms show.
//
// Each getter checks self, takes the shared borrow, copies what it needs under
// the cell's read lock and builds the Python object after unlocking. Call only
// from CPython with the interpreter lock held.
//
//   // Static and not const: the type's descriptors keep pointing into the table.
//   auto kGetSet = CellGetters<ReadableCell>::table();
#pragma once

#include <Python.h>

#include <array>
#include <cstdint>
#include <optional>
#include <string>

#include "core/sheet/letters.hpp"
#include "core/value/cell_edit.hpp"
#include "core/value/value.hpp"
#include "module/frame/attribute.hpp"
#include "module/frame/object.hpp"
#include "module/frame/results.hpp"

namespace vellix::module {

inline std::optional<std::string> copy_optional_text(const core::Text& t) {
  if (!t.has_value()) return std::nullopt;
  return std::string(t.view());
}

// The column letters followed by the row: "B7"; column 0 gives the row alone.
inline std::string cell_letter(core::Coordinate at) {
  std::string s = core::column_number_to_letter(at.column);
  s += std::to_string(at.row);
  return s;
}

template <class C>
struct CellGetters {
  static PyObject* letter(PyObject* self, void*) noexcept {
    return read_attribute<C>(self, coordinate_of, [](core::Coordinate at) { return py::py_str(cell_letter(at)); });
  }

  static PyObject* value(PyObject* self, void*) noexcept {
    return read_attribute<C>(
        self, [](const core::CoreCell& c) { return core::cell_value_text(c.value); }, py::py_str);
  }

  static PyObject* formula(PyObject* self, void*) noexcept {
    return read_attribute<C>(
        self,
        [](const core::CoreCell& c) { return copy_optional_text(core::cell_text(c, &core::CellExtras::formula)); },
        py_optional_str);
  }

  static PyObject* style(PyObject* self, void*) noexcept {
    return read_attribute<C>(
        self,
        [](const core::CoreCell& c) { return copy_optional_text(core::cell_text(c, &core::CellExtras::style_id)); },
        py_optional_str);
  }

  static PyObject* data_type(PyObject* self, void*) noexcept {
    return read_attribute<C>(
        self, [](const core::CoreCell& c) { return std::string(core::cell_data_type(c)); }, py::py_str);
  }

  static PyObject* is_formula(PyObject* self, void*) noexcept {
    return read_attribute<C>(self, core::cell_is_formula, py::py_bool);
  }

  static PyObject* is_value_bool(PyObject* self, void*) noexcept { return is_kind(self, core::ValueKind::Bool); }
  static PyObject* is_value_numeric(PyObject* self, void*) noexcept { return is_kind(self, core::ValueKind::Number); }
  static PyObject* is_value_integer(PyObject* self, void*) noexcept { return is_kind(self, core::ValueKind::Integer); }
  static PyObject* is_value_datetime(PyObject* self, void*) noexcept {
    return is_kind(self, core::ValueKind::DateTime);
  }
  static PyObject* is_value_empty(PyObject* self, void*) noexcept { return is_kind(self, core::ValueKind::Empty); }

  // What Cell adds to the shared attributes: setters for value, formula and
  // style, and the hidden_value attribute (left out when its getter is null).
  struct Writable {
    setter value = nullptr;
    setter formula = nullptr;
    setter style = nullptr;
    getter hidden_value_get = nullptr;
    setter hidden_value_set = nullptr;
  };

  // The attribute table in the classes' order (attribute_table).
  static std::array<PyGetSetDef, 16> table(const Writable& w = {}) {
    return attribute_table<16>({{"row", getter_of<C, field<&core::CoreCell::row>, py::py_int>},
                                {"column", getter_of<C, field<&core::CoreCell::column>, py::py_int>},
                                {"letter", letter},
                                {"value", value, w.value},
                                {"formula", formula, w.formula},
                                {"style", style, w.style},
                                {"data_type", data_type},
                                {"hidden_value", w.hidden_value_get, w.hidden_value_set},
                                {"is_formula", is_formula},
                                {"is_value_bool", is_value_bool},
                                {"is_value_numeric", is_value_numeric},
                                {"is_value_integer", is_value_integer},
                                {"is_value_datetime", is_value_datetime},
                                {"is_value_empty", is_value_empty}});
  }

  // The cell's coordinate, read with self checked and borrowed shared.
  static core::Coordinate coordinate(PyObject* self) {
    auto& obj = C::downcast(self);
    py::SharedBorrow borrow(obj.borrow);
    return copy_locked(obj.payload, coordinate_of);
  }

 private:
  static core::Coordinate coordinate_of(const core::CoreCell& c) noexcept { return {c.row, c.column}; }

  static PyObject* is_kind(PyObject* self, core::ValueKind kind) noexcept {
    return read_attribute<C>(
        self, [kind](const core::CoreCell& c) { return c.value.kind() == kind; }, py::py_bool);
  }
};

}  // namespace vellix::module
