// Module start-up: PyInit__vellix builds the one module object of the
// process (classes, functions, constants, the `readable` submodule) and
// returns it to every later import. Start-up runs at most once at a time; a
// failed one caches nothing, so the next import starts over.
#include <Python.h>

#include <atomic>
#include <cstdint>
#include <mutex>
#include <span>
#include <thread>

#include "core/sheet/sheet.hpp"
#include "module/frame/entry.hpp"
#include "module/frame/errors.hpp"
#include "module/frame/gil.hpp"
#include "module/frame/object.hpp"
#include "module/frame/ref.hpp"
#include "module/frame/registry.hpp"

namespace vellix::module {

namespace {

using py::Ref;

PyModuleDef g_module_def = {
    PyModuleDef_HEAD_INIT, "_vellix", "", 0, nullptr,
};

// The interpreter that first imported the module; state below is not per
// interpreter, so no other may use it.
std::atomic<int64_t> g_main_interpreter{-1};
// Filled by the first successful start-up and kept for the process.
std::atomic<PyObject*> g_module{nullptr};
std::mutex g_startup_mutex;
std::atomic<std::thread::id> g_startup_thread{};

constexpr const char kSubinterpreterError[] =
    "PyO3 modules do not yet support subinterpreters, see "
    "https://docs.python.org/3/howto/isolating-extensions.html";

// Adds members to a module, each name going into `__all__` before the
// attribute is set.
class Members {
 public:
  explicit Members(PyObject* module) : module_(module) {}

  void add(PyObject* name, PyObject* value) {
    if (!all_) {
      all_ = Ref::steal(PyList_New(0));
      if (!all_) py::throw_pending();
      if (PyObject_SetAttrString(module_, "__all__", all_.get()) < 0) py::throw_pending();
    }
    if (PyList_Append(all_.get(), name) < 0) py::throw_pending();
    if (PyObject_SetAttr(module_, name, value) < 0) py::throw_pending();
  }

  void add(const char* name, PyObject* value) { add(py::py_str(name).get(), value); }

  void add_type(const char* name, PyTypeObject* (*type_getter)()) {
    PyTypeObject* type = type_getter();
    if (type == nullptr) py::throw_pending();
    add(name, reinterpret_cast<PyObject*>(type));
  }

  // Built-in functions bound to this module, added under their own __name__.
  void add_functions(std::span<PyMethodDef> defs) {
    Ref module_name = Ref::steal(PyModule_GetNameObject(module_));
    if (!module_name) py::throw_pending();
    for (PyMethodDef& def : defs) {
      Ref function = Ref::steal(PyCFunction_NewEx(&def, module_, module_name.get()));
      if (!function) py::throw_pending();
      Ref name = Ref::steal(PyObject_GetAttrString(function.get(), "__name__"));
      if (!name) py::throw_pending();
      if (!PyUnicode_Check(name.get())) py::throw_cast_error(name.get(), "str");
      add(name.get(), function.get());
    }
  }

 private:
  PyObject* module_;  // borrowed
  Ref all_;
};

Ref build_readable() {
  Ref readable = Ref::steal(PyModule_New("readable"));
  if (!readable) py::throw_pending();
  Members members(readable.get());
  members.add_type("Finder", finder_type);
  members.add_type("ReadableSheet", readable_sheet_type);
  members.add_type("ReadableCell", readable_cell_type);
  members.add_functions(readable_function_defs());
  return readable;
}

void fill_module(PyObject* module) {
  Members members(module);
  members.add("__version__", py::py_str(kVersion).get());
  members.add_type("Service", service_type);
  members.add_type("Book", book_type);
  members.add_type("Sheet", sheet_type);
  members.add_type("Cell", cell_type);
  members.add_type("Comment", comment_type);
  members.add_functions(module_function_defs());
  members.add("DEFAULT_ROW_HEIGHT", py::py_float(core::kDefaultRowHeight).get());
  members.add("DEFAULT_COLUMN_WIDTH", py::py_float(core::kDefaultColumnWidth).get());

  Ref readable = build_readable();
  Ref readable_name = Ref::steal(PyModule_GetNameObject(readable.get()));
  if (!readable_name) py::throw_pending();
  members.add(readable_name.get(), readable.get());

  Ref sys_name = py::py_str("sys");
  Ref sys = Ref::steal(PyImport_Import(sys_name.get()));
  if (!sys) py::throw_pending();
  Ref modules = Ref::steal(PyObject_GetAttr(sys.get(), py::py_str("modules").get()));
  if (!modules) py::throw_pending();
  if (PyObject_SetItem(modules.get(), py::py_str("vellix.readable").get(), readable.get()) < 0) py::throw_pending();
}

// Creates and fills the module; nothing is kept when any step fails.
Ref start_up() {
  Ref module = Ref::steal(PyModule_Create2(&g_module_def, PYTHON_API_VERSION));
  if (!module) py::throw_pending();
  fill_module(module.get());
  return module;
}

// Holds the start-up mutex; a thread that has to wait gives up the
// interpreter lock meanwhile, so the thread running start-up can take it.
class StartupLock {
 public:
  StartupLock() {
    if (g_startup_thread.load() == std::this_thread::get_id()) {
      // Start-up ran code that imports the module again.
      py::throw_error(PyExc_ImportError, "vellix._vellix is being imported while it starts up");
    }
    if (!g_startup_mutex.try_lock()) py::without_interpreter_lock([] { g_startup_mutex.lock(); });
    g_startup_thread.store(std::this_thread::get_id());
  }
  ~StartupLock() {
    g_startup_thread.store(std::thread::id{});
    g_startup_mutex.unlock();
  }
  StartupLock(const StartupLock&) = delete;  // one unlock per lock
  StartupLock& operator=(const StartupLock&) = delete;
};

Ref init_module() {
  int64_t id = PyInterpreterState_GetID(PyInterpreterState_Get());
  if (id == -1) py::throw_pending();
  int64_t expected = -1;
  if (!g_main_interpreter.compare_exchange_strong(expected, id) && expected != id) {
    py::throw_error(PyExc_ImportError, kSubinterpreterError);
  }
  if (PyObject* cached = g_module.load(std::memory_order_acquire)) return Ref::borrow(cached);

  StartupLock lock;
  if (PyObject* cached = g_module.load(std::memory_order_acquire)) return Ref::borrow(cached);
  Ref module = start_up();
  g_module.store(Ref::borrow(module.get()).release(), std::memory_order_release);  // the cell's own reference
  return module;
}

}  // namespace

}  // namespace vellix::module

PyMODINIT_FUNC PyInit__vellix() {
  return vellix::py::entry([] { return vellix::module::init_module(); });
}
