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

}  // namespace detail

}  // namespace vellix::py
