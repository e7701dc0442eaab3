// Cell: a live view of one cell of a sheet. The read-only attributes are the
// templates shared with ReadableCell (cell_getters.hpp); this file adds the
// hidden value, the setters, the typed set_value_* methods and the text form.

#include <Python.h>
#include <datetime.h>

#include <string>
#include <string_view>
#include <utility>

#include "core/value/cell_edit.hpp"
#include "core/value/value.hpp"
#include "module/cell_getters.hpp"
#include "module/classes.hpp"
#include "module/frame/attribute.hpp"
#include "module/frame/method.hpp"
#include "module/frame/method_table.hpp"
#include "module/frame/registry.hpp"

namespace vellix::module {
namespace {

using Getters = CellGetters<Cell>;

// The datetime C API, imported from its capsule on first use.
void import_datetime_api() {
  if (PyDateTimeAPI == nullptr) {
    PyDateTime_IMPORT;
    if (PyDateTimeAPI == nullptr) py::throw_pending();
  }
}

// A datetime (or subclass) without tzinfo as a date-time without time zone;
// the fold is ignored, microseconds become nanoseconds.
core::DateTime arg_datetime(PyObject* o, const char* name) {
  import_datetime_api();
  try {
    if (!PyDateTime_Check(o)) py::throw_cast_error(o, "datetime");
    if (PyDateTime_DATE_GET_TZINFO(o) != Py_None) {  // borrowed
      py::throw_error(PyExc_TypeError, "expected a datetime without tzinfo");
    }
  } catch (py::PyError& e) {
    py::rethrow_with_argument_name(e, name);
  }
  int year = PyDateTime_GET_YEAR(o);
  int month = PyDateTime_GET_MONTH(o);
  int day = PyDateTime_GET_DAY(o);
  int hour = PyDateTime_DATE_GET_HOUR(o);
  int minute = PyDateTime_DATE_GET_MINUTE(o);
  int second = PyDateTime_DATE_GET_SECOND(o);
  int micro = PyDateTime_DATE_GET_MICROSECOND(o);
  // Python's own checks make these unreachable for real datetimes; a
  // subclass with a broken layout must still not store garbage.
  if (!core::valid_date(year, static_cast<unsigned>(month), static_cast<unsigned>(day))) {
    py::throw_error(PyExc_ValueError, "invalid or out-of-range date");
  }
  if (hour < 0 || hour > 23 || minute < 0 || minute > 59 || second < 0 || second > 59 || micro < 0 || micro > 999999) {
    py::throw_error(PyExc_ValueError, "invalid or out-of-range time");
  }
  core::DateTime dt;
  dt.year = year;
  dt.month = static_cast<uint8_t>(month);
  dt.day = static_cast<uint8_t>(day);
  dt.secs = static_cast<uint32_t>(hour * 3600 + minute * 60 + second);
  dt.nanos = static_cast<uint32_t>(micro) * 1000u;
  return dt;
}

core::CellValue number_value(PyObject* o) { return core::CellValue::number(py::arg_float(o, "value")); }
core::CellValue integer_value(PyObject* o) { return core::CellValue::integer(py::arg_index(o, "value")); }
core::CellValue bool_value(PyObject* o) { return core::CellValue::boolean(py::arg_bool(o, "value")); }
core::CellValue datetime_value(PyObject* o) { return core::CellValue::datetime(arg_datetime(o, "value")); }

constexpr py::Signature<1> kSetValueNumber{"Cell.set_value_number", {"value"}, 1};
constexpr py::Signature<1> kSetValueInteger{"Cell.set_value_integer", {"value"}, 1};
constexpr py::Signature<1> kSetValueBool{"Cell.set_value_bool", {"value"}, 1};
constexpr py::Signature<1> kSetValueDatetime{"Cell.set_value_datetime", {"value"}, 1};

// set_value_number and its siblings: the converted value replaces the old
// one, the formula is dropped and data_type follows the new value.
template <const py::Signature<1>& kSig, core::CellValue (*kConvert)(PyObject*)>
PyObject* set_value(PyObject* self, PyObject* const* args, Py_ssize_t nargsf, PyObject* kwnames) noexcept {
  return method<Cell>(kSig, self, args, nargsf, kwnames, [](Cell::Object& cell, auto& a) {
    core::CellValue value = kConvert(a[0]);
    core::store_cell_value(*cell.payload.write(), std::move(value));
    return py::py_none();
  });
}

// Every setter takes a str only, converted under the name `value`.
std::string_view text_value(PyObject* v) { return py::arg_text(v, "value"); }

int set_value_text(PyObject* self, PyObject* value, void*) noexcept {
  return write_attribute<Cell>(self, value, text_value, [](core::CoreCell& c, std::string_view text) {
    core::store_cell_value(c, core::parse_cell_value(text));
  });
}

int set_formula(PyObject* self, PyObject* value, void*) noexcept {
  return write_attribute<Cell>(self, value, text_value,
                               [](core::CoreCell& c, std::string_view text) { core::store_cell_formula(c, text); });
}

int set_style(PyObject* self, PyObject* value, void*) noexcept {
  return write_attribute<Cell>(self, value, text_value, [](core::CoreCell& c, std::string_view text) {
    core::set_cell_text(c, &core::CellExtras::style_id, core::Text(text));
  });
}

PyObject* get_hidden_value(PyObject* self, void*) noexcept {
  return read_attribute<Cell>(
      self,
      [](const core::CoreCell& c) { return copy_optional_text(core::cell_text(c, &core::CellExtras::hidden_value)); },
      py_optional_str);
}

int set_hidden_value(PyObject* self, PyObject* value, void*) noexcept {
  return write_attribute<Cell>(self, value, text_value, [](core::CoreCell& c, std::string_view text) {
    core::set_cell_text(c, &core::CellExtras::hidden_value, core::Text(text));
  });
}

PyObject* cell_repr(PyObject* self) noexcept {
  return py::entry([&] {
    core::Coordinate at = Getters::coordinate(self);
    return py::py_str("Cell, Coords: " + core::coordinate_debug_text(at));
  });
}

PyMethodDef kMethods[] = {
    fastcall_entry<kSetValueNumber>(set_value<kSetValueNumber, number_value>),
    fastcall_entry<kSetValueInteger>(set_value<kSetValueInteger, integer_value>),
    fastcall_entry<kSetValueBool>(set_value<kSetValueBool, bool_value>),
    fastcall_entry<kSetValueDatetime>(set_value<kSetValueDatetime, datetime_value>),
    kMethodTableEnd,
};

// Static storage: the type's descriptors keep pointing into the table.
auto kGetSet = Getters::table({.value = set_value_text,
                               .formula = set_formula,
                               .style = set_style,
                               .hidden_value_get = get_hidden_value,
                               .hidden_value_set = set_hidden_value});

}  // namespace

py::ClassSlots CellSpec::slots() { return {.tp_repr = cell_repr, .methods = kMethods, .getset = kGetSet.data()}; }

PyTypeObject* cell_type() { return Cell::type_object_or_null(); }

}  // namespace vellix::module
