#include "module/frame/entry.hpp"

#include "core/error.hpp"

namespace vellix::py {

namespace {

constexpr const char kUnknownFailure[] = "an internal failure without a message occurred in native code";

}  // namespace

namespace detail {

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

AllowThreads::AllowThreads() noexcept : state_(PyEval_SaveThread()) {}

// No check for finalisation beforehand could spare the parking: finalisation
// may begin between the check and the request.
AllowThreads::~AllowThreads() {
  parking_on_exit([this] { PyEval_RestoreThread(state_); });
}

}  // namespace detail

}  // namespace vellix::py
