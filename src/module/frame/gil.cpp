#include "module/frame/gil.hpp"

#include "module/frame/thread_exit.hpp"

namespace vellix::py::detail {

AllowThreads::AllowThreads() noexcept : state_(PyEval_SaveThread()) {}

// No check for finalisation beforehand could spare the parking: finalisation
// may begin between the check and the request.
AllowThreads::~AllowThreads() {
  parking_on_exit([this] { PyEval_RestoreThread(state_); });
}

}  // namespace vellix::py::detail
