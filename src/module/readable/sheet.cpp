// ReadableSheet: a read-only view of one sheet of a Finder snapshot. Its
// getters are Sheet's, its searches Sheet's too, except that found cells are
// ReadableCell objects and the searches run with the interpreter lock
// released. It has no setters, no mutators and no dimension members.
#include <Python.h>

#include <string>

#include "module/frame/method_table.hpp"
#include "module/frame/qualname.hpp"
#include "module/frame/registry.hpp"
#include "module/readable/classes.hpp"
#include "module/sheet_getters.hpp"
#include "module/sheet_search.hpp"

namespace vellix::module {

namespace {

using Getters = SheetGetters<ReadableSheet, ReadableCell>;
using Search = SheetSearches<ReadableSheetHost>;

// "<qualname> (<name>) cells: <count>"
PyObject* readable_sheet_repr(PyObject* self) noexcept {
  return with_self<ReadableSheet>(self, [&](ReadableSheet::Object& o) {
    return py::py_str(class_qualname(self) + " " + copy_locked(o.payload, sheet_text_tail));
  });
}

auto kMethods = Search::table();

auto kGetSet = Getters::table();

}  // namespace

py::ClassSlots ReadableSheetSpec::slots() {
  return {.tp_repr = readable_sheet_repr, .methods = kMethods.data(), .getset = kGetSet.data()};
}

PyTypeObject* readable_sheet_type() { return ReadableSheet::type_object_or_null(); }

}  // namespace vellix::module
