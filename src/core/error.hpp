// Errors of the workbook core.
//
// An operation that can fail returns Result<T>: the answer, or an Error with a
// message. A broken invariant is not an operation's
// failure: it throws InternalFailure, which only the binding layer's entry
// trampoline catches.
#pragma once

#include <stdexcept>
#include <string>
#include <utility>
#include <variant>

namespace vellix::core {

// Which Python exception an Error becomes at the boundary.
enum class ErrorKind { Runtime, Value };

struct Error {
  ErrorKind kind = ErrorKind::Runtime;
  std::string message;
};

template <class T>
class [[nodiscard]] Result {
 public:
  Result(T value) : v_(std::move(value)) {}
  Result(Error error) : v_(std::move(error)) {}

  bool ok() const noexcept { return v_.index() == 0; }
  explicit operator bool() const noexcept { return ok(); }

  T& value() & { return std::get<0>(v_); }
  T&& value() && { return std::get<0>(std::move(v_)); }
  const T& value() const& { return std::get<0>(v_); }
  const Error& error() const& { return std::get<1>(v_); }
  Error&& error() && { return std::get<1>(std::move(v_)); }

 private:
  std::variant<T, Error> v_;
};

// A failed invariant or an allocation the core cannot make.
class InternalFailure : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

}  // namespace vellix::core
