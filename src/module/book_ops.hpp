// The operations of a book of sheets seen from Python, written once for the
// two classes that hold a SharedBook: Book, and Service under its underscore
// names.
//
// BookEntries gives a class its entries (getter, fastcall and noargs
// methods) and their method table: each matches its arguments with
// signatures carrying the class's own names ("Book.add_sheet",
// "Service._add_sheet"), checks and borrows self, then hands the matched
// argument objects to the operation below, which converts them in signature
// order, locks the book, runs the core operation and builds the Python result
// after unlocking. Call with the interpreter lock held; errors travel as
// py::PyError.
//
//   constexpr BookSignatures kSigs = book_signatures("Book.add_sheet", "Book.copy_sheet", ...);
//   const core::SharedBook& book_of(Book::Object& o) { return o.payload; }
//   using Entries = BookEntries<Book, kSigs, book_of>;
//   auto kMethods = method_table(Entries::rows());
#pragma once

#include <Python.h>

#include <array>
#include <cstddef>

#include "core/sheet/sheet.hpp"
#include "module/frame/args.hpp"
#include "module/frame/attribute.hpp"
#include "module/frame/method.hpp"
#include "module/frame/method_table.hpp"
#include "module/frame/ref.hpp"

namespace vellix::module {

// The signatures of the methods. Parameter names and defaults are the same
// for every class; only the names differ ("Book.add_sheet",
// "Service._add_sheet").
struct BookSignatures {
  py::Signature<2> add_sheet;
  py::Signature<1> copy_sheet;
  py::Signature<1> get_sheet_index;
  py::Signature<1> get_sheet_name;
  py::Signature<0> to_json;
  py::Signature<0> to_dict;
};

// Each name is "<class>.<method>".
constexpr BookSignatures book_signatures(const char* owner, const char* add_sheet, const char* copy_sheet,
                                         const char* get_sheet_index, const char* get_sheet_name) {
  return {{py::qualified_name(owner, add_sheet), {"name", "sheet_state=\"visible\""}, 1},
          {py::qualified_name(owner, copy_sheet), {"sheet"}, 1},
          {py::qualified_name(owner, get_sheet_index), {"idx"}, 1},
          {py::qualified_name(owner, get_sheet_name), {"name"}, 1},
          {py::qualified_name(owner, "to_json"), {}, 0},
          {py::qualified_name(owner, "to_dict"), {}, 0}};
}

// A list of Sheet objects, one per sheet, in book order.
py::Ref book_sheets(const core::SharedBook& book);
// Appends a new sheet; `sheet_state` is nullptr when left out ("visible").
py::Ref book_add_sheet(const core::SharedBook& book, PyObject* name, PyObject* sheet_state);
// Appends a copy of the given Sheet named "Sheet N".
py::Ref book_copy_sheet(const core::SharedBook& book, PyObject* sheet);
// The Sheet at a 0-based position, or None (negative positions included).
py::Ref book_get_sheet_index(const core::SharedBook& book, PyObject* idx);
// The first Sheet of exactly that name, or None.
py::Ref book_get_sheet_name(const core::SharedBook& book, PyObject* name);
// The book's JSON text as a str.
py::Ref book_to_json_str(const core::SharedBook& book);
// json.loads of the JSON text; json is imported anew on every call and runs
// with the book unlocked.
py::Ref book_to_dict(const core::SharedBook& book);
// The number of sheets, for the classes' text forms.
size_t book_sheet_count(const core::SharedBook& book);

template <class Class, const BookSignatures& kSigs, const core::SharedBook& (*kBookOf)(typename Class::Object&)>
struct BookEntries {
  using Object = typename Class::Object;

  static PyObject* sheets(PyObject* self, void*) noexcept {
    return with_self<Class>(self, [](Object& o) { return book_sheets(kBookOf(o)); });
  }
  static PyObject* add_sheet(PyObject* self, PyObject* const* args, Py_ssize_t nargsf, PyObject* kwnames) noexcept {
    return method<Class>(kSigs.add_sheet, self, args, nargsf, kwnames,
                         [](Object& o, auto& a) { return book_add_sheet(kBookOf(o), a[0], a[1]); });
  }
  static PyObject* copy_sheet(PyObject* self, PyObject* const* args, Py_ssize_t nargsf, PyObject* kwnames) noexcept {
    return method<Class>(kSigs.copy_sheet, self, args, nargsf, kwnames,
                         [](Object& o, auto& a) { return book_copy_sheet(kBookOf(o), a[0]); });
  }
  static PyObject* get_sheet_index(PyObject* self, PyObject* const* args, Py_ssize_t nargsf,
                                   PyObject* kwnames) noexcept {
    return method<Class>(kSigs.get_sheet_index, self, args, nargsf, kwnames,
                         [](Object& o, auto& a) { return book_get_sheet_index(kBookOf(o), a[0]); });
  }
  static PyObject* get_sheet_name(PyObject* self, PyObject* const* args, Py_ssize_t nargsf,
                                  PyObject* kwnames) noexcept {
    return method<Class>(kSigs.get_sheet_name, self, args, nargsf, kwnames,
                         [](Object& o, auto& a) { return book_get_sheet_name(kBookOf(o), a[0]); });
  }
  // METH_NOARGS: CPython has already refused any argument.
  static PyObject* to_json(PyObject* self, PyObject*) noexcept {
    return with_self<Class>(self, [](Object& o) { return book_to_json_str(kBookOf(o)); });
  }
  static PyObject* to_dict(PyObject* self, PyObject*) noexcept {
    return with_self<Class>(self, [](Object& o) { return book_to_dict(kBookOf(o)); });
  }

  // The methods' rows of the class's method table (method_table.hpp).
  static std::array<PyMethodDef, 6> rows() {
    return {fastcall_entry<kSigs.add_sheet>(add_sheet),
            fastcall_entry<kSigs.copy_sheet>(copy_sheet),
            fastcall_entry<kSigs.get_sheet_index>(get_sheet_index),
            fastcall_entry<kSigs.get_sheet_name>(get_sheet_name),
            noargs_entry<kSigs.to_json>(to_json),
            noargs_entry<kSigs.to_dict>(to_dict)};
  }
};

}  // namespace vellix::module
