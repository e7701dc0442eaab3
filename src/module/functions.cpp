// The module-level functions of vellix. Each holds the interpreter lock
// throughout and touches no shared state.
#include <Python.h>

#include <array>
#include <span>
#include <string>

#include "core/sheet/letters.hpp"
#include "module/frame/args.hpp"
#include "module/frame/entry.hpp"
#include "module/frame/method_table.hpp"
#include "module/frame/object.hpp"
#include "module/frame/registry.hpp"

namespace vellix::module {

namespace {

constexpr py::Signature<0> kVersionFunction{
    "version",
    {},
    0,
    false,
    "Returns the version of the underlying tambrel library.\n\nReturns\n-------\nversion : str\n  The version of the "
    "underlying tambrel library.\n"};
constexpr py::Signature<1> kColumnNumberToLetter{
    "column_number_to_letter", {"col"}, 1, false, "Преобразование номера колонки в букву."};
constexpr py::Signature<2> kGetLetterCoordinate{
    "get_letter_coordinate", {"row", "col"}, 2, false, "Преобразование номера колонки в координату."};

PyObject* version(PyObject*, PyObject*) {
  return py::entry([] { return py::py_str(kVersion); });
}

PyObject* column_number_to_letter(PyObject*, PyObject* const* args, Py_ssize_t nargsf, PyObject* kwnames) {
  return py::entry([&] {
    auto a = kColumnNumberToLetter.match(args, nargsf, kwnames);
    uint16_t col = py::arg_col(a[0], "col");
    return py::py_str(core::column_number_to_letter(col));
  });
}

PyObject* get_letter_coordinate(PyObject*, PyObject* const* args, Py_ssize_t nargsf, PyObject* kwnames) {
  return py::entry([&] {
    auto a = kGetLetterCoordinate.match(args, nargsf, kwnames);
    uint32_t row = py::arg_row(a[0], "row");
    uint16_t col = py::arg_col(a[1], "col");
    return py::py_str(core::column_number_to_letter(col) + std::to_string(row));
  });
}

std::array<PyMethodDef, 3> g_functions = {
    noargs_entry<kVersionFunction>(version),
    fastcall_entry<kColumnNumberToLetter>(column_number_to_letter),
    fastcall_entry<kGetLetterCoordinate>(get_letter_coordinate),
};

}  // namespace

std::span<PyMethodDef> module_function_defs() { return g_functions; }

}  // namespace vellix::module
