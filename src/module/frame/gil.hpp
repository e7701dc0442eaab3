// The one way to give the interpreter lock up for a while, and the two lock
// policies that work touching no Python object runs under. Taking the lock
// back parks a thread that the interpreter ends meanwhile (thread_exit.hpp).
//
//   auto book = without_interpreter_lock([&] { return snapshot_book(std::move(sheets)); });
#pragma once

#include <Python.h>

#include <utility>

namespace vellix::py {

namespace detail {
// Gives the lock up for its lifetime with PyEval_SaveThread; the destructor
// takes the lock back (or parks the thread).
class AllowThreads {
 public:
  AllowThreads() noexcept;
  ~AllowThreads();
  AllowThreads(const AllowThreads&) = delete;  // one restore per save
  AllowThreads& operator=(const AllowThreads&) = delete;

 private:
  PyThreadState* state_;
};
}  // namespace detail

// Runs f() without the interpreter lock and returns what it returns, with the
// lock held again, also when f throws. f touches no Python object.
template <class F>
decltype(auto) without_interpreter_lock(F&& f) {
  detail::AllowThreads unlocked;
  return std::forward<F>(f)();
}

// Lock policies for work that touches no Python object: run(f) returns f()
// run with the interpreter lock kept, or released and taken back before run
// returns, also when f throws.
struct KeepInterpreterLock {
  template <class F>
  static auto run(F&& f) {
    return std::forward<F>(f)();
  }
};

struct ReleaseInterpreterLock {
  template <class F>
  static auto run(F&& f) {
    return without_interpreter_lock(std::forward<F>(f));
  }
};

}  // namespace vellix::py
