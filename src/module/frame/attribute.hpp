// The common frame of a getter, a setter and an argument-less entry of a
// class whose payload is a lock-guarded core handle (Sheet, Cell, Comment,
// ReadableCell, ...).
//
// with_self: check self, borrow it shared, run the body.
// read_attribute: check self, borrow shared, copy what is needed under the
// payload's read lock, unlock, then build the Python result from the copy;
// getter_of declares such a getter, field<&T::member> copies one member.
// write_attribute: refuse deletion, convert the value (before self is
// checked), check self, take the borrow, write under the payload's write lock.
// Call only from CPython with the interpreter lock held.
//
//   return read_attribute<Comment>(self, [](const core::CoreComment& c) { return c.text; },
//                                  [](std::string text) { return py::py_str(text); });
#pragma once

#include <Python.h>

#include <array>
#include <cstddef>
#include <initializer_list>
#include <utility>

#include "core/error.hpp"
#include "module/frame/entry.hpp"
#include "module/frame/errors.hpp"
#include "module/frame/object.hpp"

namespace vellix::module {

// Runs `copy` on the payload's value under its read lock and returns the copy.
template <class Handle, class Copy>
auto copy_locked(const Handle& handle, Copy&& copy) {
  auto locked = handle.read();
  return std::forward<Copy>(copy)(*locked);
}

// The head of a getter, a METH_NOARGS method or a slot: check self, borrow
// it shared, and run body(instance), which returns a Ref.
template <class Class, class Body>
PyObject* with_self(PyObject* self, Body&& body) noexcept {
  return py::entry([&] {
    auto& obj = Class::downcast(self);
    py::SharedBorrow borrow(obj.borrow);
    return body(obj);
  });
}

template <class Class, class Copy, class Build>
PyObject* read_attribute(PyObject* self, Copy&& copy, Build&& build) noexcept {
  return with_self<Class>(self, [&](auto& obj) { return build(copy_locked(obj.payload, copy)); });
}

// A getter declared by its copy and its build (read_attribute):
//   {"row", getter_of<Comment, field<&core::CoreComment::row>, py::py_int>}
template <class Class, auto kCopy, auto kBuild>
PyObject* getter_of(PyObject* self, void*) noexcept {
  return read_attribute<Class>(self, kCopy, kBuild);
}

// The copy of one member of the payload's object.
template <auto kMember>
struct Field {
  auto operator()(const auto& object) const { return object.*kMember; }
};
template <auto kMember>
inline constexpr Field<kMember> field{};

template <class Class, class Borrow = py::SharedBorrow, class Convert, class Write>
int write_attribute(PyObject* self, PyObject* value, Convert&& convert, Write&& write) noexcept {
  return py::entry_status([&] {
    if (value == nullptr) py::throw_error(PyExc_AttributeError, "can't delete attribute");
    auto converted = convert(value);
    auto& obj = Class::downcast(self);
    Borrow borrow(obj.borrow);
    auto locked = obj.payload.write();
    write(*locked, std::move(converted));
  });
}

// One attribute of a class's table; without a getter it is left out.
struct Attribute {
  const char* name;
  getter get = nullptr;
  setter set = nullptr;
};

// The attribute table of `attributes` in order, ending with its sentinel
// (at least one zero entry). Keep it in static storage: the type's
// descriptors point into it.
template <size_t K>
std::array<PyGetSetDef, K> attribute_table(std::initializer_list<Attribute> attributes) {
  if (attributes.size() >= K) throw core::InternalFailure("an attribute table without room for its sentinel");
  std::array<PyGetSetDef, K> table{};
  size_t n = 0;
  for (const Attribute& a : attributes) {
    if (a.get != nullptr) table[n++] = {a.name, a.get, a.set, nullptr, nullptr};
  }
  return table;  // the entries after the last are zero: the sentinel
}

}  // namespace vellix::module
