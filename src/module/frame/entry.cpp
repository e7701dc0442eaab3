#include "module/frame/entry.hpp"

#include <atomic>
#include <mutex>
#include <vector>

#include "core/error.hpp"

namespace vellix::py {

namespace {

// How deeply this thread has entered the system while attached.
thread_local long t_attach_count = 0;

// References dropped by threads that were not attached. The flag lets every
// entry skip the mutex while the queue is empty, which is nearly always.
std::mutex g_release_mutex;
std::vector<PyObject*> g_release_queue;
std::atomic<bool> g_release_pending{false};

constexpr const char kUnknownFailure[] = "an internal failure without a message occurred in native code";

void apply_deferred_releases() noexcept {
  if (!g_release_pending.load(std::memory_order_acquire)) return;
  std::vector<PyObject*> batch;
  {
    std::lock_guard<std::mutex> lock(g_release_mutex);
    batch.swap(g_release_queue);
    g_release_pending.store(false, std::memory_order_release);
  }
  // Outside the mutex: a release may run Python code that releases more.
  for (PyObject* o : batch) drop_reference(o);
}

}  // namespace

namespace detail {

void enter() noexcept {
  ++t_attach_count;
  apply_deferred_releases();
}

void leave() noexcept { --t_attach_count; }

void set_error_from_current_exception() noexcept {
  try {
    try {
      throw;
    } catch (PyError& e) {
      e.restore();
    } catch (const core::InternalFailure& f) {
      set_panic(f.what());
    } catch (const std::exception& e) {
      set_panic(e.what());
    } catch (...) {
      set_panic(kUnknownFailure);
    }
  } catch (...) {
    Py_FatalError("uncaught panic at ffi boundary");
  }
}

AllowThreads::AllowThreads() noexcept : saved_count_(t_attach_count) {
  t_attach_count = 0;
  state_ = PyEval_SaveThread();
}

// No check for finalisation beforehand could spare the parking: finalisation
// may begin between the check and the request.
AllowThreads::~AllowThreads() {
  parking_on_exit([this] { PyEval_RestoreThread(state_); });
  t_attach_count = saved_count_;
  apply_deferred_releases();
}

}  // namespace detail

void release_later(PyObject* o) noexcept {
  if (o == nullptr) return;
  if (attached()) {
    drop_reference(o);
    return;
  }
  try {
    std::lock_guard<std::mutex> lock(g_release_mutex);
    g_release_queue.push_back(o);
    g_release_pending.store(true, std::memory_order_release);
  } catch (...) {
    // Out of memory for the queue: a lost reference (a leak) is the only safe outcome.
  }
}

bool attached() noexcept { return t_attach_count > 0; }

}  // namespace vellix::py
