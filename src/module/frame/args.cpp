#include "module/frame/args.hpp"

#include <initializer_list>
#include <limits>
#include <string>
#include <string_view>

namespace vellix::py {

namespace {

constexpr const char kOutOfRange[] = "out of range integral type conversion attempted";
// A length hint only sizes a reservation; a sequence that claims more than
// this grows as it is read instead of failing the allocation up front.
constexpr Py_ssize_t kMaxReservedItems = 1 << 16;

// ---- argument matching ----------------------------------------------------

[[noreturn]] void throw_type_error(const std::string& message) { throw_error(PyExc_TypeError, message); }

std::string callee(const char* fname) { return std::string(fname) + "()"; }

// A parameter's name without the default a signature may show after it.
std::string_view parameter_name(const char* declared) {
  std::string_view name(declared);
  return name.substr(0, name.find('='));
}

[[noreturn]] void throw_too_many(const char* fname, size_t n, size_t required, Py_ssize_t given) {
  std::string m = callee(fname) + " takes ";
  if (required < n) m += "from " + std::to_string(required) + " to ";
  m += std::to_string(n) + " positional arguments but " + std::to_string(given) + (given == 1 ? " was" : " were") +
       " given";
  throw_type_error(m);
}

// The key as UTF-8 for messages; never fails.
std::string key_text(PyObject* key) {
  Ref s = Ref::steal(PyObject_Str(key));
  Py_ssize_t size = 0;
  const char* utf8 = s ? PyUnicode_AsUTF8AndSize(s.get(), &size) : nullptr;
  if (utf8 == nullptr) {
    PyErr_Clear();
    return "?";
  }
  return std::string(utf8, static_cast<size_t>(size));
}

// Binds one keyword; `key` is a str for every call CPython lets through.
void bind_keyword(const char* fname, const char* const* names, size_t n, PyObject* key, PyObject* value,
                  PyObject** out) {
  Py_ssize_t size = 0;
  const char* k = PyUnicode_Check(key) ? PyUnicode_AsUTF8AndSize(key, &size) : nullptr;
  if (k == nullptr) PyErr_Clear();  // a key with no UTF-8 form names no parameter
  for (size_t i = 0; k != nullptr && i < n; ++i) {
    std::string_view name = parameter_name(names[i]);
    if (name == std::string_view(k, static_cast<size_t>(size))) {
      if (out[i] != nullptr) {
        throw_type_error(callee(fname) + " got multiple values for argument '" + std::string(name) + "'");
      }
      out[i] = value;
      return;
    }
  }
  throw_type_error(callee(fname) + " got an unexpected keyword argument '" + key_text(key) + "'");
}

void check_required(const char* fname, const char* const* names, size_t required, PyObject** out) {
  size_t missing = 0;
  for (size_t i = 0; i < required; ++i) missing += out[i] == nullptr;
  if (missing == 0) return;
  std::string m = callee(fname) + " missing " + std::to_string(missing) + " required positional argument" +
                  (missing == 1 ? "" : "s") + ": ";
  size_t listed = 0;
  for (size_t i = 0; i < required; ++i) {
    if (out[i] != nullptr) continue;
    if (listed > 0) {
      if (missing > 2) m += ",";
      m += listed + 1 == missing ? " and " : " ";
    }
    m += "'";
    m += parameter_name(names[i]);
    m += "'";
    ++listed;
  }
  throw_type_error(m);
}

// ---- conversions ------------------------------------------------------------

// Runs one conversion; a failure is re-raised under the argument's name.
template <class F>
auto converted(const char* name, F&& convert) -> decltype(convert()) {
  try {
    return convert();
  } catch (PyError& e) {
    rethrow_with_argument_name(e, name);
  }
}

// PyLong_AsLong semantics (__index__, bool as 0 or 1), then the field's range.
template <class T>
T to_integer(PyObject* o) {
  long v = parking_on_exit([o] { return PyLong_AsLong(o); });  // __index__ may be Python code
  if (v == -1 && PyErr_Occurred()) throw_pending();
  if (v < static_cast<long>(std::numeric_limits<T>::min()) || v > static_cast<long>(std::numeric_limits<T>::max())) {
    throw_error(PyExc_OverflowError, kOutOfRange);
  }
  return static_cast<T>(v);
}

std::string_view to_text(PyObject* o) {
  if (!PyUnicode_Check(o)) throw_cast_error(o, "str");
  Py_ssize_t size = 0;
  const char* utf8 = PyUnicode_AsUTF8AndSize(o, &size);
  if (utf8 == nullptr) throw_pending();
  return {utf8, static_cast<size_t>(size)};
}

// The type's __qualname__ for messages; never fails.
std::string type_qualname(PyTypeObject* type) {
  // A metaclass may make attribute reads Python code.
  auto* type_object = reinterpret_cast<PyObject*>(type);
  Ref name = Ref::steal(parking_on_exit([&] { return PyObject_GetAttrString(type_object, "__qualname__"); }));
  Py_ssize_t size = 0;
  const char* utf8 = name && PyUnicode_Check(name.get()) ? PyUnicode_AsUTF8AndSize(name.get(), &size) : nullptr;
  if (utf8 == nullptr) {
    PyErr_Clear();
    return "<failed to extract type name>";
  }
  return std::string(utf8, static_cast<size_t>(size));
}

bool attribute_equals(PyTypeObject* type, const char* attr, std::initializer_list<const char*> texts) {
  auto* type_object = reinterpret_cast<PyObject*>(type);
  Ref value = Ref::steal(parking_on_exit([&] { return PyObject_GetAttrString(type_object, attr); }));
  if (!value || !PyUnicode_Check(value.get())) {
    PyErr_Clear();
    return false;
  }
  for (const char* t : texts) {
    if (PyUnicode_CompareWithASCIIString(value.get(), t) == 0) return true;
  }
  return false;
}

// numpy's bool scalar, recognised by its type alone so numpy is never imported.
bool is_numpy_bool(PyTypeObject* type) {
  return attribute_equals(type, "__module__", {"numpy"}) && attribute_equals(type, "__name__", {"bool_", "bool"});
}

bool to_bool(PyObject* o) {
  if (o == Py_True) return true;
  if (o == Py_False) return false;
  PyTypeObject* type = Py_TYPE(o);
  if (!is_numpy_bool(type)) throw_cast_error(o, "bool");
  auto nb_bool = reinterpret_cast<inquiry>(PyType_GetSlot(type, Py_nb_bool));
  if (nb_bool == nullptr) {
    throw_error(PyExc_AttributeError,
                "object of type '" + type_qualname(type) + "' does not define a '__bool__' conversion");
  }
  int r = nb_bool(o);
  if (r < 0) throw_pending();
  return r == 1;
}

// Any sequence but a str, items converted in iteration order.
template <class T, class F>
std::vector<T> to_items(PyObject* o, F&& convert_item) {
  if (PyUnicode_Check(o)) throw_type_error("Can't extract `str` to `Vec`");
  if (!PySequence_Check(o)) throw_cast_error(o, "Sequence");
  std::vector<T> items;
  // Sequences and their iterators may be Python code.
  Py_ssize_t hint = parking_on_exit([o] { return PySequence_Size(o); });
  if (hint < 0) PyErr_Clear();
  if (hint > 0) items.reserve(static_cast<size_t>(hint < kMaxReservedItems ? hint : kMaxReservedItems));
  Ref it = Ref::steal(parking_on_exit([o] { return PyObject_GetIter(o); }));
  if (!it) throw_pending();
  auto next = [&it] { return Ref::steal(parking_on_exit([&it] { return PyIter_Next(it.get()); })); };
  while (Ref item = next()) items.push_back(convert_item(item.get()));
  if (PyErr_Occurred()) throw_pending();
  return items;
}

}  // namespace

namespace detail {

void match_arguments(const char* fname, const char* const* names, size_t n, size_t required, PyObject* const* args,
                     Py_ssize_t nargsf, PyObject* kwnames, PyObject** out) {
  Py_ssize_t nargs = PyVectorcall_NARGS(nargsf);
  if (static_cast<size_t>(nargs) > n) throw_too_many(fname, n, required, nargs);
  for (Py_ssize_t i = 0; i < nargs; ++i) out[i] = args[i];
  if (kwnames != nullptr) {
    Py_ssize_t nkw = PyTuple_GET_SIZE(kwnames);
    for (Py_ssize_t i = 0; i < nkw; ++i) {
      bind_keyword(fname, names, n, PyTuple_GET_ITEM(kwnames, i), args[nargs + i], out);
    }
  }
  if (static_cast<size_t>(nargs) < required) check_required(fname, names, required, out);
}

void match_tuple_arguments(const char* fname, const char* const* names, size_t n, size_t required, PyObject* args,
                           PyObject* kwargs, PyObject** out) {
  Py_ssize_t nargs = args != nullptr ? PyTuple_GET_SIZE(args) : 0;
  if (static_cast<size_t>(nargs) > n) throw_too_many(fname, n, required, nargs);
  for (Py_ssize_t i = 0; i < nargs; ++i) out[i] = PyTuple_GET_ITEM(args, i);
  if (kwargs != nullptr) {
    Py_ssize_t pos = 0;
    PyObject *key = nullptr, *value = nullptr;
    while (PyDict_Next(kwargs, &pos, &key, &value)) bind_keyword(fname, names, n, key, value, out);
  }
  if (static_cast<size_t>(nargs) < required) check_required(fname, names, required, out);
}

}  // namespace detail

uint32_t arg_row(PyObject* o, const char* name) {
  return converted(name, [&] { return to_integer<uint32_t>(o); });
}

uint16_t arg_col(PyObject* o, const char* name) {
  return converted(name, [&] { return to_integer<uint16_t>(o); });
}

int32_t arg_index(PyObject* o, const char* name) {
  return converted(name, [&] { return to_integer<int32_t>(o); });
}

double arg_float(PyObject* o, const char* name) {
  return converted(name, [&] {
    if (PyFloat_CheckExact(o)) return PyFloat_AS_DOUBLE(o);
    double v = parking_on_exit([o] { return PyFloat_AsDouble(o); });  // __float__ may be Python code
    if (v == -1.0 && PyErr_Occurred()) throw_pending();
    return v;
  });
}

bool arg_bool(PyObject* o, const char* name) {
  return converted(name, [&] { return to_bool(o); });
}

std::string_view arg_text(PyObject* o, const char* name) {
  return converted(name, [&] { return to_text(o); });
}

PyObject* arg_list(PyObject* o, const char* name) {
  return converted(name, [&] {
    if (!PyList_Check(o)) throw_cast_error(o, "list");
    return o;
  });
}

std::vector<uint32_t> arg_rows(PyObject* o, const char* name) {
  return converted(name, [&] { return to_items<uint32_t>(o, to_integer<uint32_t>); });
}

std::vector<uint16_t> arg_cols(PyObject* o, const char* name) {
  return converted(name, [&] { return to_items<uint16_t>(o, to_integer<uint16_t>); });
}

std::vector<std::string> arg_texts(PyObject* o, const char* name) {
  return converted(name,
                   [&] { return to_items<std::string>(o, [](PyObject* item) { return std::string(to_text(item)); }); });
}

void throw_cast_error(PyObject* o, const char* target) {
  throw_type_error("'" + type_qualname(Py_TYPE(o)) + "' object cannot be cast as '" + target + "'");
}

void rethrow_with_argument_name(PyError& e, const char* name) {
  PyObject* exc = e.exception();
  if (Py_TYPE(exc) != reinterpret_cast<PyTypeObject*>(PyExc_TypeError)) throw std::move(e);
  Ref message = Ref::steal(PyObject_Str(exc));
  if (!message) throw_pending();
  Ref text = Ref::steal(PyUnicode_FromFormat("argument '%s': %U", name, message.get()));
  if (!text) throw_pending();
  Ref renamed = Ref::steal(PyObject_CallOneArg(PyExc_TypeError, text.get()));
  if (!renamed) throw_pending();
  // The new error takes over the old one's cause, an absent one included.
  PyException_SetCause(renamed.get(), PyException_GetCause(exc));  // steals the new reference
  throw PyError(std::move(renamed));
}

}  // namespace vellix::py
