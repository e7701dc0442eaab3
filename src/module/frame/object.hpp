// The per-class family shared by every Python class of the system: the
// instance layout (header, payload, borrow flag), the type object built once
// with PyType_FromSpec, downcast, new_object, new_list, dealloc, and the
// shared and exclusive borrow guards.
//
// A class supplies a spec struct (VELLIX_CLASS_SPEC below writes one):
//   struct BookSpec {
//     using Payload = core::SharedBook;
//     static constexpr const char* kName = "Book";             // __qualname__, messages
//     static constexpr const char* kTypeName = "vellix.Book";
//     static constexpr const char* kDoc = "Book()\n--\n\n";    // or nullptr
//     static constexpr unsigned kFlags = 0;  // Py_TPFLAGS_BASETYPE / DISALLOW_INSTANTIATION
//     static ClassSlots slots();             // tp_new, tp_repr, methods, getset (no dealloc, doc)
//   };
//   using Book = PyClass<BookSpec>;
// Instances are not collected by the cyclic GC and have no __dict__.
#pragma once

#include <Python.h>

#include <atomic>
#include <cstdint>
#include <new>
#include <string>
#include <utility>
#include <vector>

#include "module/frame/args.hpp"
#include "module/frame/entry.hpp"
#include "module/frame/errors.hpp"
#include "module/frame/ref.hpp"

namespace vellix::py {

inline constexpr uint64_t kExclusive = ~uint64_t{0};

// A borrow of an object for the guard's scope. A shared one raises
// RuntimeError "Already mutably borrowed" while the object is exclusively
// borrowed; an exclusive one "Already borrowed" while any borrow is held.
template <bool kIsExclusive>
class Borrow {
 public:
  explicit Borrow(std::atomic<uint64_t>& flag);
  ~Borrow() {
    if constexpr (kIsExclusive) {
      flag_.store(0, std::memory_order_release);
    } else {
      flag_.fetch_sub(1, std::memory_order_release);
    }
  }
  Borrow(const Borrow&) = delete;  // one release per borrow
  Borrow& operator=(const Borrow&) = delete;

 private:
  std::atomic<uint64_t>& flag_;
};

using SharedBorrow = Borrow<false>;
using ExclusiveBorrow = Borrow<true>;
template <>
SharedBorrow::Borrow(std::atomic<uint64_t>& flag);
template <>
ExclusiveBorrow::Borrow(std::atomic<uint64_t>& flag);

// The slots a class fills in; those left null are left out. The tables stay
// in static storage: the type points into them.
struct ClassSlots {
  newfunc tp_new = nullptr;
  reprfunc tp_repr = nullptr;
  PyMethodDef* methods = nullptr;
  PyGetSetDef* getset = nullptr;
};

namespace detail {
// Builds a heap type from name, basic size, flags, doc and the class's slots
// (adding tp_dealloc and tp_doc); nullptr with a Python error on failure.
PyTypeObject* create_type(const char* type_name, Py_ssize_t basicsize, unsigned flags, const char* doc,
                          const ClassSlots& class_slots, destructor dealloc);
// Outside start-up a type that cannot be built is reported as unraisable and
// becomes the internal failure "failed to create type object for `<name>`".
[[noreturn]] void fail_type_object(const char* class_name);
}  // namespace detail

template <class Spec>
class PyClass {
 public:
  using Payload = typename Spec::Payload;

  struct Object {
    PyObject_HEAD Payload payload;
    std::atomic<uint64_t> borrow;
  };

  // The type, or nullptr with a Python error set (module start-up uses this).
  static PyTypeObject* type_object_or_null() noexcept {
    PyTypeObject* t = cell();
    if (t == nullptr) {
      t = parking_on_exit([] {  // a new type may set off a collection, running finalisers
        return detail::create_type(Spec::kTypeName, sizeof(Object), Spec::kFlags, Spec::kDoc, Spec::slots(),
                                   &PyClass::dealloc);
      });
      cell() = t;  // the interpreter lock serialises first use
    }
    return t;
  }

  // The type; an internal failure when it cannot be built.
  static PyTypeObject* type_object() {
    PyTypeObject* t = type_object_or_null();
    if (t == nullptr) detail::fail_type_object(Spec::kName);
    return t;
  }

  // `o` as an instance of this class (or a subtype), else the cast TypeError.
  static Object& downcast(PyObject* o) {
    PyTypeObject* t = type_object();
    if (Py_TYPE(o) != t && !PyType_IsSubtype(Py_TYPE(o), t)) throw_cast_error(o, Spec::kName);
    return *reinterpret_cast<Object*>(o);
  }

  // A new instance holding `payload` (shared, not copied).
  static Ref new_object(Payload payload) { return alloc(type_object(), std::move(payload)); }

  // Allocates an instance of `type` (this class or a subclass) through its tp_alloc.
  static Ref alloc(PyTypeObject* type, Payload payload) {
    allocfunc a = reinterpret_cast<allocfunc>(PyType_GetSlot(type, Py_tp_alloc));
    PyObject* o = (a ? a : PyType_GenericAlloc)(type, 0);
    if (o == nullptr) throw_pending();  // payload is released on unwinding
    auto* obj = reinterpret_cast<Object*>(o);
    ::new (&obj->payload) Payload(std::move(payload));
    ::new (&obj->borrow) std::atomic<uint64_t>(0);
    return Ref::steal(o);
  }

  // A list of new instances, one per payload, in order.
  static Ref new_list(std::vector<Payload> payloads) {
    Ref list = Ref::steal(PyList_New(static_cast<Py_ssize_t>(payloads.size())));
    if (!list) throw_api_failure();
    for (size_t i = 0; i < payloads.size(); ++i) {
      Ref item = new_object(std::move(payloads[i]));
      PyList_SET_ITEM(list.get(), static_cast<Py_ssize_t>(i), item.release());  // steals item
    }
    return list;
  }

 private:
  static PyTypeObject*& cell() noexcept {
    static PyTypeObject* t = nullptr;  // lives for the process
    return t;
  }

  static void dealloc(PyObject* o) noexcept {
    PyTypeObject* type = Py_TYPE(o);
    auto* obj = reinterpret_cast<Object*>(o);
    obj->payload.~Payload();
    obj->borrow.~atomic();
    freefunc f = reinterpret_cast<freefunc>(PyType_GetSlot(type, Py_tp_free));
    (f ? f : PyObject_Free)(o);
    drop_reference(reinterpret_cast<PyObject*>(type));  // instances of heap types own a reference to their type
  }
};

// The spec struct of a class, as above.
#define VELLIX_CLASS_SPEC(Spec, PayloadType, name, type_name, doc, flags) \
  struct Spec {                                                           \
    using Payload = PayloadType;                                          \
    static constexpr const char* kName = name;                            \
    static constexpr const char* kTypeName = type_name;                   \
    static constexpr const char* kDoc = doc;                              \
    static constexpr unsigned kFlags = flags;                             \
    static py::ClassSlots slots();                                        \
  }

// Result builders; a failure to make one is an API failure.
Ref py_str(std::string_view utf8);
Ref py_int(uint64_t v);
Ref py_float(double v);
Ref py_bool(bool v);
Ref py_none();

}  // namespace vellix::py
