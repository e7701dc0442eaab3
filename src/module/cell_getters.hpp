// The read-only attributes that Cell and ReadableCell share, written once as
// templates over the Python class (any PyClass whose payload is a SharedCell):
// row, column, letter, value, formula, style, data_type, is_formula and the
// five is_value_* flags.
//
// Each getter checks self, takes the shared borrow, copies what it needs under
// the cell's read lock and builds the Python object after unlocking. Call only
// from CPython with the interpreter lock held.
//
//   static PyGetSetDef kGetSet[] = {
//       {"row", CellGetters<ReadableCell>::row, nullptr, nullptr, nullptr},
//       ...
//   };
#pragma once

#include <Python.h>

#include <optional>
#include <string>
#include <utility>

#include "core/letters.hpp"
#include "core/value.hpp"
#include "module/frame/entry.hpp"
#include "module/frame/object.hpp"

namespace vellix::module {

// Runs `copy` on the cell of `self` under its read lock, with `self` checked
// and borrowed shared, and returns what it copied.
template <class C, class F>
auto read_cell(PyObject* self, F&& copy) {
  auto& obj = C::downcast(self);
  py::SharedBorrow borrow(obj.borrow);
  auto cell = obj.payload.read();
  return std::forward<F>(copy)(*cell);
}

inline std::optional<std::string> copy_optional_text(const core::Text& t) {
  if (!t.has_value()) return std::nullopt;
  return std::string(t.view());
}

inline py::Ref py_optional_str(const std::optional<std::string>& s) {
  return s ? py::py_str(*s) : py::py_none();
}

// The column letters followed by the row: "B7"; column 0 gives the row alone.
inline std::string cell_letter(uint32_t row, uint16_t column) {
  std::string s = core::column_number_to_letter(column);
  s += std::to_string(row);
  return s;
}

inline bool cell_is_formula(const core::CoreCell& c) noexcept { return c.formula.has_value() && c.data_type == "f"; }

template <class C>
struct CellGetters {
  static PyObject* row(PyObject* self, void*) noexcept {
    return py::entry([&] { return py::py_int(read_cell<C>(self, [](const core::CoreCell& c) { return c.row; })); });
  }

  static PyObject* column(PyObject* self, void*) noexcept {
    return py::entry(
        [&] { return py::py_int(read_cell<C>(self, [](const core::CoreCell& c) { return c.column; })); });
  }

  static PyObject* letter(PyObject* self, void*) noexcept {
    return py::entry([&] {
      core::Coordinate at =
          read_cell<C>(self, [](const core::CoreCell& c) { return core::Coordinate{c.row, c.column}; });
      return py::py_str(cell_letter(at.row, at.column));
    });
  }

  static PyObject* value(PyObject* self, void*) noexcept {
    return py::entry([&] {
      return py::py_str(read_cell<C>(self, [](const core::CoreCell& c) { return core::cell_value_text(c.value); }));
    });
  }

  static PyObject* formula(PyObject* self, void*) noexcept {
    return py::entry([&] {
      return py_optional_str(read_cell<C>(self, [](const core::CoreCell& c) { return copy_optional_text(c.formula); }));
    });
  }

  static PyObject* style(PyObject* self, void*) noexcept {
    return py::entry([&] {
      return py_optional_str(
          read_cell<C>(self, [](const core::CoreCell& c) { return copy_optional_text(c.style_id); }));
    });
  }

  static PyObject* data_type(PyObject* self, void*) noexcept {
    return py::entry([&] {
      return py::py_str(read_cell<C>(self, [](const core::CoreCell& c) { return std::string(c.data_type.view()); }));
    });
  }

  static PyObject* is_formula(PyObject* self, void*) noexcept {
    return py::entry([&] { return py::py_bool(read_cell<C>(self, cell_is_formula)); });
  }

  static PyObject* is_value_bool(PyObject* self, void*) noexcept { return is_kind(self, core::ValueKind::Bool); }
  static PyObject* is_value_numeric(PyObject* self, void*) noexcept { return is_kind(self, core::ValueKind::Number); }
  static PyObject* is_value_integer(PyObject* self, void*) noexcept { return is_kind(self, core::ValueKind::Integer); }
  static PyObject* is_value_datetime(PyObject* self, void*) noexcept {
    return is_kind(self, core::ValueKind::DateTime);
  }
  static PyObject* is_value_empty(PyObject* self, void*) noexcept { return is_kind(self, core::ValueKind::Empty); }

  // The coordinate of the cell, for the classes' text forms.
  static core::Coordinate coordinate(PyObject* self) {
    return read_cell<C>(self, [](const core::CoreCell& c) { return core::Coordinate{c.row, c.column}; });
  }

 private:
  static PyObject* is_kind(PyObject* self, core::ValueKind kind) noexcept {
    return py::entry([&] {
      return py::py_bool(read_cell<C>(self, [](const core::CoreCell& c) { return c.value.kind(); }) == kind);
    });
  }
};

}  // namespace vellix::module
