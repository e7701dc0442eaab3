// The classes of the vellix module as instances of the per-class family
// (frame/object.hpp); the readable ones are in readable/classes.hpp. Each
// spec's slots() and the class's entries live in the class's own file.
#pragma once

#include <Python.h>

#include "core/sheet/sheet.hpp"
#include "core/value/value.hpp"
#include "module/frame/args.hpp"
#include "module/frame/method_table.hpp"
#include "module/frame/object.hpp"

namespace vellix::module {

// What a Service instance holds: conn_db (released first), then its book.
struct ServicePayload {
  PyObject* conn_db = nullptr;  // strong reference
  core::SharedBook book;
  ServicePayload(PyObject* db, core::SharedBook b) noexcept : conn_db(db), book(std::move(b)) {}
  ServicePayload(ServicePayload&& o) noexcept : conn_db(std::exchange(o.conn_db, nullptr)), book(std::move(o.book)) {}
  ServicePayload(const ServicePayload&) = delete;  // owns one reference to conn_db
  ~ServicePayload() {
    py::drop_reference(conn_db);  // destroyed only by dealloc or inside an entry: the lock is held
  }
};

// The constructors' signatures, which also give the classes' text signatures.
inline constexpr py::Signature<0> kBookNew{"Book.__new__", {}, 0};
inline constexpr py::Signature<1> kServiceNew{"Service.__new__", {"conn_db"}, 1};

VELLIX_CLASS_SPEC(BookSpec, core::SharedBook, "Book", "vellix.Book", doc_of<kBookNew>(), 0);
VELLIX_CLASS_SPEC(SheetSpec, core::SharedSheet, "Sheet", "vellix.Sheet", nullptr, Py_TPFLAGS_DISALLOW_INSTANTIATION);
VELLIX_CLASS_SPEC(CellSpec, core::SharedCell, "Cell", "vellix.Cell", nullptr, Py_TPFLAGS_DISALLOW_INSTANTIATION);
VELLIX_CLASS_SPEC(CommentSpec, core::SharedComment, "Comment", "vellix.Comment", nullptr,
                  Py_TPFLAGS_DISALLOW_INSTANTIATION);
VELLIX_CLASS_SPEC(ServiceSpec, ServicePayload, "Service", "vellix.Service", doc_of<kServiceNew>(), Py_TPFLAGS_BASETYPE);

using Book = py::PyClass<BookSpec>;
using Sheet = py::PyClass<SheetSpec>;
using Cell = py::PyClass<CellSpec>;
using Comment = py::PyClass<CommentSpec>;
using Service = py::PyClass<ServiceSpec>;

// The `Sheet` argument rule (Book.copy_sheet, Service._copy_sheet): a Sheet or
// subtype, its handle copied under a momentary shared borrow.
core::SharedSheet extract_sheet_handle(PyObject* o, const char* arg_name);

}  // namespace vellix::module
