#include "module/frame/errors.hpp"

#include <cstdio>
#include <string>

namespace vellix::py {

namespace {

PyObject* g_panic_type = nullptr;  // created on first need, kept for the process

constexpr const char kPanicDoc[] =
    "\n"
    "Signals an internal failure of vellix's native code: a broken invariant, an\n"
    "allocation that could not be made, or a Python API call that failed where it\n"
    "must not.\n"
    "\n"
    "It derives from BaseException, not Exception, so that `except Exception`\n"
    "does not swallow it and it usually propagates to the top, like SystemExit.\n";

// Text for an exception message; invalid bytes never turn a report into a
// second failure.
PyObject* message_object(std::string_view message) noexcept {
  return PyUnicode_DecodeUTF8(message.data(), static_cast<Py_ssize_t>(message.size()), "replace");
}

// The pending error as one normalised exception object (traceback attached),
// with the indicator cleared; nullptr when none is pending.
PyObject* take_pending() noexcept {
#if PY_VERSION_HEX >= 0x030C0000
  return PyErr_GetRaisedException();
#else
  PyObject *type = nullptr, *value = nullptr, *tb = nullptr;
  PyErr_Fetch(&type, &value, &tb);
  if (type == nullptr) return nullptr;
  parking_on_exit([&] { PyErr_NormalizeException(&type, &value, &tb); });  // may make the instance
  if (tb != nullptr) PyException_SetTraceback(value, tb);
  drop_reference(type);
  drop_reference(tb);
  return value;
#endif
}

void set_pending(PyObject* exc) noexcept {  // steals exc
  // Replacing a pending error drops it.
  parking_on_exit([exc] {
#if PY_VERSION_HEX >= 0x030C0000
    PyErr_SetRaisedException(exc);
#else
    PyErr_Restore(Py_NewRef(reinterpret_cast<PyObject*>(Py_TYPE(exc))), exc, PyException_GetTraceback(exc));
#endif
  });
}

// A PanicException raised by Python code that native code called: the failure
// goes on to the caller, but first its Python stack is shown, since the frames
// between here and the caller will not appear in the final traceback.
void report_returning_panic(PyObject* exc) {
  std::fputs(
      "--- vellix: an internal failure (PanicException) came back from Python code; "
      "passing it on ---\n",
      stderr);
  std::fflush(stderr);
  set_pending(Py_NewRef(exc));
  PyErr_PrintEx(0);
}

}  // namespace

void PyError::restore() noexcept { set_pending(exc_.release()); }

void throw_pending() {
  Ref exc = Ref::steal(take_pending());
  if (!exc) throw_error(PyExc_SystemError, "attempted to fetch exception but none was set");
  if (g_panic_type != nullptr && PyObject_TypeCheck(exc.get(), reinterpret_cast<PyTypeObject*>(g_panic_type))) {
    report_returning_panic(exc.get());
  }
  throw PyError(std::move(exc));
}

void throw_error(PyObject* type, std::string_view message) {
  Ref text = Ref::steal(message_object(message));
  if (!text) throw_pending();
  PyErr_SetObject(type, text.get());
  throw_pending();
}

void throw_core_error(const core::Error& error) {
  throw_error(error.kind == core::ErrorKind::Value ? PyExc_ValueError : PyExc_RuntimeError, error.message);
}

void throw_api_failure() {
  if (PyErr_Occurred()) PyErr_PrintEx(0);
  throw core::InternalFailure("Python API call failed");
}

PyObject* panic_exception_type() {
  if (g_panic_type == nullptr) {
    // The interpreter lock serialises first use.
    g_panic_type = PyErr_NewExceptionWithDoc("pyo3_runtime.PanicException", kPanicDoc, PyExc_BaseException, nullptr);
  }
  return g_panic_type;
}

void set_panic(std::string_view message) noexcept {
  // Making the type or the instance may collect garbage, running finalisers.
  parking_on_exit([message] {
    PyObject* type = panic_exception_type();
    if (type == nullptr) return;  // the reason it could not be made stays pending
    PyObject* text = message_object(message);
    if (text == nullptr) return;
    PyErr_SetObject(type, text);
    drop_reference(text);
  });
}

}  // namespace vellix::py
