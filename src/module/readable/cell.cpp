// ReadableCell: the read-only twin of Cell in vellix.readable. It reuses
// Cell's getters and adds only its text form; it has no setters, no
// hidden_value and no set_value_* methods.
#include <Python.h>

#include <string>

#include "core/value/value.hpp"
#include "module/cell_getters.hpp"
#include "module/frame/qualname.hpp"
#include "module/frame/registry.hpp"
#include "module/readable/classes.hpp"

namespace vellix::module {

namespace {

using Getters = CellGetters<ReadableCell>;

// "<qualname>, Coords: Coordinate { row: 7, column: 2 }"
PyObject* readable_cell_repr(PyObject* self) noexcept {
  return py::entry([&] {
    ReadableCell::downcast(self);
    std::string text = class_qualname(self);
    text += ", Coords: ";
    text += core::coordinate_debug_text(Getters::coordinate(self));
    return py::py_str(text);
  });
}

// Static storage: the type's descriptors keep pointing into the table.
auto kGetSet = Getters::table();

}  // namespace

py::ClassSlots ReadableCellSpec::slots() { return {.tp_repr = readable_cell_repr, .getset = kGetSet.data()}; }

PyTypeObject* readable_cell_type() { return ReadableCell::type_object_or_null(); }

}  // namespace vellix::module
