// The operations of a book of sheets seen from Python, written once for the
// two classes that hold a SharedBook: Book, and Service under its underscore
// names.
//
// A class entry matches its arguments with the signature made here from its
// own display name ("Book.add_sheet", "Service._add_sheet"), checks and
// borrows self, then hands the matched argument objects to the operation,
// which converts them in signature order, locks the book, runs the core
// operation and builds the Python result after unlocking. Call with the
// interpreter lock held; errors travel as py::PyError.
//
//   static constexpr auto kAddSheet = add_sheet_signature("Book.add_sheet");
//   auto a = kAddSheet.match(args, nargs, kwnames);
//   auto& book = Book::downcast(self);
//   py::SharedBorrow borrow(book.borrow);
//   return book_add_sheet(book.payload, a[0], a[1]);
#pragma once

#include <Python.h>

#include <cstddef>

#include "core/sheet.hpp"
#include "module/frame/args.hpp"
#include "module/frame/ref.hpp"

namespace vellix::module {

// Parameter names and defaults are the same for every class; only the
// display name in argument-matching messages differs.
constexpr py::Signature<2> add_sheet_signature(const char* display_name) {
  return {display_name, {"name", "sheet_state"}, 1};
}
constexpr py::Signature<1> copy_sheet_signature(const char* display_name) { return {display_name, {"sheet"}, 1}; }
constexpr py::Signature<1> get_sheet_index_signature(const char* display_name) {
  return {display_name, {"idx"}, 1};
}
constexpr py::Signature<1> get_sheet_name_signature(const char* display_name) { return {display_name, {"name"}, 1}; }

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

}  // namespace vellix::module
