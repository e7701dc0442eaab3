// The room left on the calling thread's stack, for code whose recursion
// follows the caller's input (nested pattern groups, nested values). Python
// lets a thread start with as little as 32 KiB of stack, less than such code
// may need; it either checks the room as it goes or runs on a stack of ours.
//
//   Result<Pattern> p = with_stack_room(kCompileRoom, [&] { return compile(text); });
//
// Safe from any thread.
#pragma once

#include <cstddef>
#include <exception>
#include <optional>
#include <utility>

namespace vellix::core {

// What a sanitizer's build takes beside a plain one's: instrumented frames
// are two to three times the size, and its own code runs on the stack too.
#if defined(__SANITIZE_ADDRESS__) || defined(__SANITIZE_THREAD__)
inline constexpr size_t kStackRoomFactor = 4;
#elif defined(__has_feature)
#if __has_feature(address_sanitizer) || __has_feature(thread_sanitizer)
inline constexpr size_t kStackRoomFactor = 4;
#else
inline constexpr size_t kStackRoomFactor = 1;
#endif
#else
inline constexpr size_t kStackRoomFactor = 1;
#endif

// Bytes of the calling thread's stack below the caller's frame.
size_t stack_room() noexcept;

namespace detail {
// Runs fn(context) on a new thread with a stack of its own, and waits for it.
void run_on_own_stack(void (*fn)(void*), void* context);
}  // namespace detail

// f(), on this thread when it has `room` bytes of stack left, else on a thread
// of ours with a full-size stack; what f throws is thrown here.
template <class F>
auto with_stack_room(size_t room, F&& f) -> decltype(f()) {
  using R = decltype(f());
  if (stack_room() >= room) return f();
  std::optional<R> result;
  std::exception_ptr error;
  auto run = [&] {
    try {
      result.emplace(f());
    } catch (...) {
      error = std::current_exception();
    }
  };
  detail::run_on_own_stack([](void* context) { (*static_cast<decltype(run)*>(context))(); }, &run);
  if (error) std::rethrow_exception(error);
  return std::move(*result);
}

}  // namespace vellix::core
