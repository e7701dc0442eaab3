// RwLock: the reader-writer lock inside every shared block, in 4 bytes.
//
// A sheet holds millions of cells, each with its own lock, so the lock is one
// 32-bit word: a count of readers and three flags. A waiting writer stops new
// readers from entering, so a stream of readers cannot starve it. Waiters
// sleep on the word itself (futex) and are woken only when one has said it
// sleeps, so an uncontended lock and unlock are one atomic operation each.
// Not recursive: a thread that holds the lock must not take it again.
//
// Safe to use from any number of threads; lock and unlock on the same thread.
#pragma once

#include <atomic>
#include <cassert>
#include <cstdint>

namespace vellix::core {

class RwLock {
 public:
  RwLock() noexcept = default;
  RwLock(const RwLock&) = delete;  // a lock's waiters know it by its address
  RwLock& operator=(const RwLock&) = delete;

  void lock_shared() noexcept {
    uint32_t s = state_.load(std::memory_order_relaxed);
    if ((s & (kWriter | kWriterWaiting)) == 0 &&
        state_.compare_exchange_weak(s, s + 1, std::memory_order_acquire, std::memory_order_relaxed)) {
      return;
    }
    lock_shared_slow();
  }
  void unlock_shared() noexcept {
    const uint32_t s = state_.fetch_sub(1, std::memory_order_release) - 1;
    assert(((s + 1) & kReaders) != 0);                      // a reader held it
    if ((s & (kReaders | kSleepers)) == kSleepers) wake();  // the last reader lets a writer in
  }
  void lock() noexcept {
    uint32_t s = 0;
    if (state_.compare_exchange_weak(s, kWriter, std::memory_order_acquire, std::memory_order_relaxed)) return;
    lock_slow();
  }
  void unlock() noexcept {
    const uint32_t s = state_.exchange(0, std::memory_order_release);
    assert((s & kWriter) != 0);  // a writer held it
    if (s & kSleepers) state_.notify_all();
  }

 private:
  static constexpr uint32_t kWriter = 1u << 31;         // held by a writer
  static constexpr uint32_t kWriterWaiting = 1u << 30;  // new readers wait
  static constexpr uint32_t kSleepers = 1u << 29;       // someone sleeps on the word
  static constexpr uint32_t kReaders = kSleepers - 1;

  void lock_shared_slow() noexcept;
  void lock_slow() noexcept;
  void wake() noexcept;

  std::atomic<uint32_t> state_{0};
};
static_assert(sizeof(RwLock) == 4);

}  // namespace vellix::core
