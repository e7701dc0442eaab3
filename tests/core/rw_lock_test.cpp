#include "core/rw_lock.hpp"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <mutex>
#include <shared_mutex>
#include <thread>
#include <vector>

namespace vellix::core {
namespace {

// Writers move two counters apart and back together; a reader that ever
// sees them differ was let in beside a writer. Run with more threads than
// cores, so that waiters really sleep and are woken.
TEST(RwLock, WritersExcludeEveryoneAndNoWakeUpIsLost) {
  constexpr int kThreads = 16;
  constexpr int kRounds = 20000;
  RwLock lock;
  long a = 0, b = 0;
  std::atomic<long> torn{0};
  std::vector<std::thread> threads;
  for (int t = 0; t < kThreads; ++t) {
    threads.emplace_back([&, t] {
      for (int i = 0; i < kRounds; ++i) {
        if ((i + t) % 4 == 0) {
          std::unique_lock<RwLock> hold(lock);
          ++a;
          std::this_thread::yield();
          ++b;
        } else {
          std::shared_lock<RwLock> hold(lock);
          if (a != b) torn.fetch_add(1);
        }
      }
    });
  }
  for (std::thread& t : threads) t.join();
  EXPECT_EQ(torn.load(), 0);
  EXPECT_EQ(a, kThreads * kRounds / 4);
  EXPECT_EQ(b, a);
}

// Readers share: a second reader gets in while the first still holds the
// lock (with an exclusive lock this would wait forever; the test gives up
// after ten seconds instead).
TEST(RwLock, ReadersHoldItTogether) {
  RwLock lock;
  std::atomic<int> inside{0};
  auto reader = [&] {
    std::shared_lock<RwLock> hold(lock);
    inside.fetch_add(1);
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
    while (inside.load() < 2 && std::chrono::steady_clock::now() < deadline) std::this_thread::yield();
  };
  std::thread first(reader), second(reader);
  first.join();
  second.join();
  EXPECT_EQ(inside.load(), 2);
  std::unique_lock<RwLock> after(lock);  // both let go
}

}  // namespace
}  // namespace vellix::core
