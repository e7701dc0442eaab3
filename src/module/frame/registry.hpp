// What module start-up registers, each defined in the file of its class or
// function. Type getters return nullptr with a Python error set when the type
// cannot be built, which start-up returns to the importer.
#pragma once

#include <Python.h>

#include <span>

namespace vellix::module {

// `__version__` and what version() returns.
inline constexpr const char kVersion[] = VELLIX_VERSION;  // from pyproject.toml, by the build

PyTypeObject* service_type();
PyTypeObject* book_type();
PyTypeObject* sheet_type();
PyTypeObject* cell_type();
PyTypeObject* comment_type();
PyTypeObject* finder_type();
PyTypeObject* readable_sheet_type();
PyTypeObject* readable_cell_type();

// The functions of vellix, in registration order.
std::span<PyMethodDef> module_function_defs();
// The functions of vellix.readable, create_finder first, in registration order.
std::span<PyMethodDef> readable_function_defs();

}  // namespace vellix::module
