#include "module/frame/object.hpp"

#include <string>

#include "core/error.hpp"

namespace vellix::py {

template <>
SharedBorrow::Borrow(std::atomic<uint64_t>& flag) : flag_(flag) {
  uint64_t current = flag_.load(std::memory_order_relaxed);
  do {
    // kExclusive - 1 shared borrows would make the count read as exclusive.
    if (current >= kExclusive - 1) throw_error(PyExc_RuntimeError, "Already mutably borrowed");
  } while (!flag_.compare_exchange_weak(current, current + 1, std::memory_order_acquire, std::memory_order_relaxed));
}

template <>
ExclusiveBorrow::Borrow(std::atomic<uint64_t>& flag) : flag_(flag) {
  uint64_t expected = 0;
  if (!flag_.compare_exchange_strong(expected, kExclusive, std::memory_order_acquire, std::memory_order_relaxed)) {
    throw_error(PyExc_RuntimeError, "Already borrowed");
  }
}

namespace detail {

PyTypeObject* create_type(const char* type_name, Py_ssize_t basicsize, unsigned flags, const char* doc,
                          const ClassSlots& class_slots, destructor dealloc) {
  std::vector<PyType_Slot> slots;
  auto add = [&](int slot, void* value) {
    if (value != nullptr) slots.push_back({slot, value});
  };
  add(Py_tp_new, reinterpret_cast<void*>(class_slots.tp_new));
  add(Py_tp_repr, reinterpret_cast<void*>(class_slots.tp_repr));
  add(Py_tp_methods, class_slots.methods);
  add(Py_tp_getset, class_slots.getset);
  slots.push_back({Py_tp_dealloc, reinterpret_cast<void*>(dealloc)});
  if (doc != nullptr) slots.push_back({Py_tp_doc, const_cast<char*>(doc)});
  slots.push_back({0, nullptr});
  PyType_Spec spec{type_name, static_cast<int>(basicsize), 0, Py_TPFLAGS_DEFAULT | flags, slots.data()};
  Ref type = Ref::steal(PyType_FromSpec(&spec));
  if (type && doc != nullptr) {
    // A stored docstring that is only a text signature leaves "" as __doc__
    // on heap types; like a class without one, it should read None.
    Ref text = Ref::steal(PyObject_GetAttrString(type.get(), "__doc__"));
    if (!text) return nullptr;
    if (PyUnicode_Check(text.get()) && PyUnicode_GET_LENGTH(text.get()) == 0 &&
        PyObject_SetAttrString(type.get(), "__doc__", Py_None) < 0) {
      return nullptr;
    }
  }
  return reinterpret_cast<PyTypeObject*>(type.release());
}

void fail_type_object(const char* class_name) {
  PyErr_WriteUnraisable(nullptr);
  throw core::InternalFailure(std::string("failed to create type object for `") + class_name + "`");
}

}  // namespace detail

namespace {
Ref built(PyObject* o) {
  if (o == nullptr) throw_api_failure();
  return Ref::steal(o);
}
}  // namespace

Ref py_str(std::string_view utf8) {
  return built(PyUnicode_FromStringAndSize(utf8.data(), static_cast<Py_ssize_t>(utf8.size())));
}
Ref py_int(uint64_t v) { return built(PyLong_FromUnsignedLongLong(v)); }
Ref py_float(double v) { return built(PyFloat_FromDouble(v)); }
Ref py_bool(bool v) { return Ref::borrow(v ? Py_True : Py_False); }
Ref py_none() { return Ref::borrow(Py_None); }

}  // namespace vellix::py
