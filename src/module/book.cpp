// Book: a workbook's ordered list of sheets, built and exported from Python.
// The operations themselves live in book_ops.cpp, shared with Service.

#include <Python.h>

#include <string>

#include "module/attribute.hpp"
#include "module/book_ops.hpp"
#include "module/classes.hpp"
#include "module/method.hpp"
#include "module/method_table.hpp"
#include "module/registry.hpp"

namespace vellix::module {
namespace {

constexpr auto kNew = py::Signature<0>{"Book.__new__", {}, 0};
constexpr auto kAddSheet = add_sheet_signature("Book.add_sheet");
constexpr auto kCopySheet = copy_sheet_signature("Book.copy_sheet");
constexpr auto kGetSheetIndex = get_sheet_index_signature("Book.get_sheet_index");
constexpr auto kGetSheetName = get_sheet_name_signature("Book.get_sheet_name");

PyObject* book_new(PyTypeObject* type, PyObject* args, PyObject* kwargs) noexcept {
  return py::entry([&] {
    kNew.match_tuple(args, kwargs);
    return Book::alloc(type, core::SharedBook::make());
  });
}

PyObject* get_sheets(PyObject* self, void*) noexcept {
  return with_self<Book>(self, [](Book::Object& book) { return book_sheets(book.payload); });
}

PyObject* add_sheet(PyObject* self, PyObject* const* args, Py_ssize_t nargsf, PyObject* kwnames) noexcept {
  return method<Book>(kAddSheet, self, args, nargsf, kwnames,
                      [](Book::Object& book, auto& a) { return book_add_sheet(book.payload, a[0], a[1]); });
}

PyObject* copy_sheet(PyObject* self, PyObject* const* args, Py_ssize_t nargsf, PyObject* kwnames) noexcept {
  return method<Book>(kCopySheet, self, args, nargsf, kwnames,
                      [](Book::Object& book, auto& a) { return book_copy_sheet(book.payload, a[0]); });
}

PyObject* get_sheet_index(PyObject* self, PyObject* const* args, Py_ssize_t nargsf, PyObject* kwnames) noexcept {
  return method<Book>(kGetSheetIndex, self, args, nargsf, kwnames,
                      [](Book::Object& book, auto& a) { return book_get_sheet_index(book.payload, a[0]); });
}

PyObject* get_sheet_name(PyObject* self, PyObject* const* args, Py_ssize_t nargsf, PyObject* kwnames) noexcept {
  return method<Book>(kGetSheetName, self, args, nargsf, kwnames,
                      [](Book::Object& book, auto& a) { return book_get_sheet_name(book.payload, a[0]); });
}

// METH_NOARGS: CPython has already refused any argument.
PyObject* to_json(PyObject* self, PyObject*) noexcept {
  return with_self<Book>(self, [](Book::Object& book) { return book_to_json_str(book.payload); });
}

PyObject* to_dict(PyObject* self, PyObject*) noexcept {
  return with_self<Book>(self, [](Book::Object& book) { return book_to_dict(book.payload); });
}

PyObject* book_repr(PyObject* self) noexcept {
  return with_self<Book>(self, [](Book::Object& book) {
    return py::py_str("Book, sheets: " + std::to_string(book_sheet_count(book.payload)));
  });
}

PyMethodDef kMethods[] = {
    fastcall_entry("add_sheet", add_sheet, "add_sheet($self, name, sheet_state=\"visible\")\n--\n\n"),
    fastcall_entry("copy_sheet", copy_sheet, "copy_sheet($self, sheet)\n--\n\n"),
    fastcall_entry("get_sheet_index", get_sheet_index, "get_sheet_index($self, idx)\n--\n\n"),
    fastcall_entry("get_sheet_name", get_sheet_name, "get_sheet_name($self, name)\n--\n\n"),
    noargs_entry("to_json", to_json, "to_json($self)\n--\n\n"),
    noargs_entry("to_dict", to_dict, "to_dict($self)\n--\n\n"),
    kMethodTableEnd,
};

PyGetSetDef kGetSet[] = {
    {"sheets", get_sheets, nullptr, nullptr, nullptr},
    {nullptr, nullptr, nullptr, nullptr, nullptr},
};

}  // namespace

PyType_Slot* BookSpec::slots() {
  static PyType_Slot slots[] = {
      {Py_tp_new, reinterpret_cast<void*>(book_new)},
      {Py_tp_repr, reinterpret_cast<void*>(book_repr)},
      {Py_tp_methods, kMethods},
      {Py_tp_getset, kGetSet},
      {0, nullptr},
  };
  return slots;
}

PyTypeObject* book_type() { return Book::type_object_or_null(); }

}  // namespace vellix::module
