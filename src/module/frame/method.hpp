// The common head of a METH_FASTCALL | METH_KEYWORDS method: run inside the
// entry trampoline, bind the arguments, check self, take the borrow (shared
// unless the method says otherwise), then hand the body the instance and the
// bound (borrowed) arguments. The body converts its arguments in signature
// order and returns a Ref.
//
//   static constexpr py::Signature<1> kSig{"Sheet.find_cell_by_str", {"value"}, 1};
//   return method<Sheet>(kSig, self, args, nargsf, kwnames, [](Sheet::Object& o, auto& a) {
//     std::string_view value = py::arg_text(a[0], "value"); ...
//   });
#pragma once

#include <Python.h>

#include <cstddef>

#include "module/frame/args.hpp"
#include "module/frame/entry.hpp"
#include "module/frame/object.hpp"

namespace vellix::module {

template <class Class, class Borrow = py::SharedBorrow, size_t N, class Body>
PyObject* method(const py::Signature<N>& sig, PyObject* self, PyObject* const* args, Py_ssize_t nargsf,
                 PyObject* kwnames, Body&& body) noexcept {
  return py::entry([&] {
    auto bound = sig.match(args, nargsf, kwnames);
    typename Class::Object& obj = Class::downcast(self);
    Borrow borrow(obj.borrow);
    return body(obj, bound);
  });
}

}  // namespace vellix::module
