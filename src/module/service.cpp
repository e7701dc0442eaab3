// Service: the base class Python code subclasses to build a service over a
// workbook. It keeps the conn_db object it was made with, holds sheets the
// way a Book does (under underscore names, through book_ops), and declares
// two hooks that raise NotImplementedError until a subclass overrides them.
#include <Python.h>

#include <string>

#include "core/sheet/sheet.hpp"
#include "module/book_ops.hpp"
#include "module/classes.hpp"
#include "module/frame/args.hpp"
#include "module/frame/attribute.hpp"
#include "module/frame/entry.hpp"
#include "module/frame/errors.hpp"
#include "module/frame/method.hpp"
#include "module/frame/method_table.hpp"
#include "module/frame/qualname.hpp"
#include "module/frame/registry.hpp"

namespace vellix::module {

namespace {

// `sheets` is positional only: a keyword of that name belongs to **kwargs.
constexpr py::Signature<1> kSummary{"Service.summary_0", {"sheets"}, 1, true};
constexpr py::Signature<0> kFmt{"Service._fmt_0", {}, 0, true};
constexpr BookSignatures kSigs =
    book_signatures("Service", "_add_sheet", "_copy_sheet", "_get_sheet_index", "_get_sheet_name");

const core::SharedBook& book_of(Service::Object& o) { return o.payload.book; }
using Entries = BookEntries<Service, kSigs, book_of>;

// Allocates through the called class, so a Python subclass gets an instance
// of itself with its own __dict__.
PyObject* service_new(PyTypeObject* type, PyObject* args, PyObject* kwargs) noexcept {
  return py::entry([&] {
    auto a = kServiceNew.match_tuple(args, kwargs);
    return Service::alloc(type, ServicePayload(Py_NewRef(a[0]), core::SharedBook::make()));
  });
}

PyObject* get_conn_db(PyObject* self, void*) noexcept {
  return with_self<Service>(self, [](Service::Object& o) { return py::Ref::borrow(o.payload.conn_db); });
}

// Hooks run with free arguments; any keyword is accepted and ignored.
PyObject* summary_0(PyObject* self, PyObject* args, PyObject* kwargs) noexcept {
  return py::entry([&]() -> py::Ref {
    auto a = kSummary.match_tuple(args, kwargs);
    auto& obj = Service::downcast(self);
    py::SharedBorrow borrow(obj.borrow);
    py::arg_list(a[0], "sheets");
    py::throw_error(PyExc_NotImplementedError, "Method 'summary_0' is not implemented");
  });
}

PyObject* fmt_0(PyObject* self, PyObject* args, PyObject* kwargs) noexcept {
  return py::entry([&]() -> py::Ref {
    (void)kFmt.match_tuple(args, kwargs);
    auto& obj = Service::downcast(self);
    py::SharedBorrow borrow(obj.borrow);
    py::throw_error(PyExc_NotImplementedError, "Method 'fmt_0' is not implemented");
  });
}

// "<qualname of the object's own class>, sheets: <count>"
PyObject* service_repr(PyObject* self) noexcept {
  return with_self<Service>(self, [&](Service::Object& o) {
    return py::py_str(class_qualname(self) + ", sheets: " + std::to_string(book_sheet_count(o.payload.book)));
  });
}

auto kMethods = method_table(varargs_entry<kSummary>(summary_0), varargs_entry<kFmt>(fmt_0), Entries::rows());

auto kGetSet = attribute_table<3>({{"_conn_db", get_conn_db}, {"_sheets", Entries::sheets}});

}  // namespace

py::ClassSlots ServiceSpec::slots() {
  return {.tp_new = service_new, .tp_repr = service_repr, .methods = kMethods.data(), .getset = kGetSet.data()};
}

PyTypeObject* service_type() { return Service::type_object_or_null(); }

}  // namespace vellix::module
