#include "core/sync/stack_room.hpp"

#include <pthread.h>

#include <cstdint>
#include <new>
#include <system_error>

namespace vellix::core {
namespace {

// The size of the stacks we run on: the usual default for a program's threads.
constexpr size_t kOwnStackSize = size_t{8} << 20;

// The lowest usable address of this thread's stack (above its guard page),
// found once per thread: for the main thread, finding it reads the process's
// memory map.
uintptr_t stack_low() noexcept {
  thread_local uintptr_t low = [] {
    pthread_attr_t attr;
    if (pthread_getattr_np(pthread_self(), &attr) != 0) return uintptr_t{0};
    void* addr = nullptr;
    size_t size = 0;
    const int rc = pthread_attr_getstack(&attr, &addr, &size);
    pthread_attr_destroy(&attr);
    return rc == 0 ? reinterpret_cast<uintptr_t>(addr) : uintptr_t{0};
  }();
  return low;
}

}  // namespace

size_t stack_room() noexcept {
  const auto here = reinterpret_cast<uintptr_t>(__builtin_frame_address(0));
  const uintptr_t low = stack_low();
  if (low == 0) return SIZE_MAX;  // unknown: as before, trust it
  return here > low ? here - low : 0;
}

namespace detail {

void run_on_own_stack(void (*fn)(void*), void* context) {
  struct Call {
    void (*fn)(void*);
    void* context;
  } call{fn, context};
  pthread_attr_t attr;
  if (pthread_attr_init(&attr) != 0) throw std::bad_alloc();
  pthread_attr_setstacksize(&attr, kOwnStackSize);
  pthread_t thread;
  const int rc = pthread_create(
      &thread, &attr,
      [](void* c) -> void* {
        const auto* call = static_cast<const Call*>(c);
        call->fn(call->context);
        return nullptr;
      },
      &call);
  pthread_attr_destroy(&attr);
  if (rc != 0) throw std::system_error(rc, std::generic_category(), "cannot start a thread to compile on");
  pthread_join(thread, nullptr);
}

}  // namespace detail
}  // namespace vellix::core
