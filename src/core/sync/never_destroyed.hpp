// NeverDestroyed<T>: a T built in place whose destructor never runs.
//
// Daemon threads may still search (translating patterns, reading Unicode
// tables, dropping cells) while the process exits and runs static
// destructors, with the interpreter lock released. Every table such a thread
// reads is held in one of these, so that exit never frees it under them.
//
//   const Table& table() {
//     static const NeverDestroyed<Table> t(build_table());
//     return *t;
//   }
#pragma once

#include <utility>

namespace vellix::core {

template <class T>
class NeverDestroyed {
 public:
  template <class... A>
  explicit constexpr NeverDestroyed(A&&... a) : value_(std::forward<A>(a)...) {}
  NeverDestroyed(const NeverDestroyed&) = delete;  // one object, one address
  NeverDestroyed& operator=(const NeverDestroyed&) = delete;
  ~NeverDestroyed() {}  // leaves value_ alone

  T& operator*() noexcept { return value_; }
  const T& operator*() const noexcept { return value_; }
  T* operator->() noexcept { return &value_; }
  const T* operator->() const noexcept { return &value_; }

 private:
  union {
    T value_;
  };
};

}  // namespace vellix::core
