// Python results made from what core operations return, with the interpreter
// lock held after every core lock is released: a core Result unwrapped (its
// error raised as the core error), one found handle as an object or None,
// an optional text as str or None, value texts as a list of str, tuples of
// ints.
#pragma once

#include <Python.h>

#include <cstdint>
#include <initializer_list>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "core/error.hpp"
#include "module/frame/errors.hpp"
#include "module/frame/object.hpp"
#include "module/frame/ref.hpp"

namespace vellix::module {

// The answer of a core operation, or its error raised.
template <class T>
T unwrap(core::Result<T>&& result) {
  if (!result.ok()) py::throw_core_error(result.error());
  return std::move(result).value();
}

// A new object of `Class` sharing `handle`, or None for a null handle.
template <class Class, class Handle>
py::Ref object_or_none(Handle handle) {
  if (!handle) return py::py_none();
  return Class::new_object(std::move(handle));
}

inline py::Ref py_optional_str(const std::optional<std::string>& s) { return s ? py::py_str(*s) : py::py_none(); }

inline py::Ref text_list(const std::vector<std::string>& texts) {
  py::Ref list = py::Ref::steal(PyList_New(static_cast<Py_ssize_t>(texts.size())));
  if (!list) py::throw_api_failure();
  for (size_t i = 0; i < texts.size(); ++i) {
    PyList_SET_ITEM(list.get(), static_cast<Py_ssize_t>(i), py::py_str(texts[i]).release());  // steals the str
  }
  return list;
}

// A tuple of ints, as coordinates and merged ranges are shown.
inline py::Ref py_int_tuple(std::initializer_list<uint64_t> values) {
  py::Ref tuple = py::Ref::steal(PyTuple_New(static_cast<Py_ssize_t>(values.size())));
  if (!tuple) py::throw_api_failure();
  Py_ssize_t i = 0;
  for (uint64_t v : values) PyTuple_SET_ITEM(tuple.get(), i++, py::py_int(v).release());  // steals the int
  return tuple;
}

}  // namespace vellix::module
