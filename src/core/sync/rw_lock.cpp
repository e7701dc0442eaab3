#include "core/sync/rw_lock.hpp"

namespace vellix::core {

// Sleeps until the word changes from `s`, after flagging `extra` and the
// sleeper; returns the word to try again with. A failed flagging returns at
// once with the new word.
namespace {
uint32_t sleep_on(std::atomic<uint32_t>& state, uint32_t s, uint32_t extra) noexcept {
  const uint32_t flagged = s | extra;
  if (flagged != s && !state.compare_exchange_weak(s, flagged, std::memory_order_relaxed)) return s;
  state.wait(flagged, std::memory_order_relaxed);
  return state.load(std::memory_order_relaxed);
}
}  // namespace

void RwLock::lock_shared_slow() noexcept {
  uint32_t s = state_.load(std::memory_order_relaxed);
  for (;;) {
    if ((s & (kWriter | kWriterWaiting)) == 0) {
      if (state_.compare_exchange_weak(s, s + 1, std::memory_order_acquire, std::memory_order_relaxed)) return;
      continue;
    }
    s = sleep_on(state_, s, kSleepers);
  }
}

void RwLock::lock_slow() noexcept {
  uint32_t s = state_.load(std::memory_order_relaxed);
  for (;;) {
    if ((s & (kWriter | kReaders)) == 0) {
      // Other waiting writers sleep on with the sleeper flag kept, so this
      // writer's unlock wakes them and they flag their wait again.
      if (state_.compare_exchange_weak(s, kWriter | (s & kSleepers), std::memory_order_acquire,
                                       std::memory_order_relaxed)) {
        return;
      }
      continue;
    }
    s = sleep_on(state_, s, kWriterWaiting | kSleepers);
  }
}

void RwLock::wake() noexcept {
  // Whoever clears the flag wakes everyone; a sleeper that still has to wait
  // flags itself again.
  if (state_.fetch_and(~kSleepers, std::memory_order_relaxed) & kSleepers) state_.notify_all();
}

}  // namespace vellix::core
