// Book: a workbook's ordered list of sheets, built and exported from Python.
// The members are the book entries of book_ops.hpp, shared with Service.

#include <Python.h>

#include <string>

#include "module/book_ops.hpp"
#include "module/classes.hpp"
#include "module/frame/attribute.hpp"
#include "module/frame/method_table.hpp"
#include "module/frame/registry.hpp"

namespace vellix::module {
namespace {

constexpr BookSignatures kSigs =
    book_signatures("Book", "add_sheet", "copy_sheet", "get_sheet_index", "get_sheet_name");

const core::SharedBook& book_of(Book::Object& o) { return o.payload; }
using Entries = BookEntries<Book, kSigs, book_of>;

PyObject* book_new(PyTypeObject* type, PyObject* args, PyObject* kwargs) noexcept {
  return py::entry([&] {
    kBookNew.match_tuple(args, kwargs);
    return Book::alloc(type, core::SharedBook::make());
  });
}

PyObject* book_repr(PyObject* self) noexcept {
  return with_self<Book>(self, [](Book::Object& book) {
    return py::py_str("Book, sheets: " + std::to_string(book_sheet_count(book.payload)));
  });
}

auto kMethods = method_table(Entries::rows());

auto kGetSet = attribute_table<2>({{"sheets", Entries::sheets}});

}  // namespace

py::ClassSlots BookSpec::slots() {
  return {.tp_new = book_new, .tp_repr = book_repr, .methods = kMethods.data(), .getset = kGetSet.data()};
}

PyTypeObject* book_type() { return Book::type_object_or_null(); }

}  // namespace vellix::module
