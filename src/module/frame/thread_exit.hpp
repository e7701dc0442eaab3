// A thread that loses the interpreter lock to finalisation for good.
//
// Interpreters before 3.14 end a daemon thread that asks for the lock while
// the interpreter finalises with pthread_exit. Its forced unwind may not be
// swallowed (a catch that does not rethrow aborts), may not pass a noexcept
// frame (std::terminate), and should run no cleanup of ours, since those drop
// references and the lock is gone. So the thread is parked for good where the
// unwind first meets our code, as later interpreters park it themselves: it
// never runs Python code again and the process exits with its own status.
// parking_on_exit marks such places: the re-take after a release, every
// reference drop (it may run a finaliser) and every call that runs the
// caller's Python code (properties, str(), __index__, iteration). Python code
// can also run where none stands (a collection set off by an allocation); the
// entry trampolines park that unwind, after the cleanups on its way have run.
//
// Thread-safety: for any thread.
//
//   void drop_reference(PyObject* o) noexcept { parking_on_exit([o] { Py_DECREF(o); }); }
#pragma once

#include <cxxabi.h>

#include <utility>

// The forced unwind carries no exception object, so a handler for it binds
// its reference to null, which UBSan would report; no handler reads it.
#define VELLIX_CATCHES_FORCED_UNWIND __attribute__((no_sanitize_undefined))

namespace vellix::py {

// Blocks the calling thread until the process ends.
[[noreturn]] void park_exiting_thread() noexcept;

// Returns f(); a thread that the interpreter ends inside it parks there.
template <class F>
VELLIX_CATCHES_FORCED_UNWIND decltype(auto) parking_on_exit(F&& f) {
  try {
    return std::forward<F>(f)();
  } catch (abi::__forced_unwind&) {
    park_exiting_thread();
  }
}

}  // namespace vellix::py
