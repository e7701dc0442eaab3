#include "core/sync/rw_lock.hpp"

#include <gtest/gtest.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <fstream>
#include <mutex>
#include <shared_mutex>
#include <string>
#include <thread>
#include <vector>

namespace vellix::core {
namespace {

// Polls `done` until it holds or ten seconds pass; false on the deadline.
template <class F>
bool wait_until(F done) {
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
  while (!done()) {
    if (std::chrono::steady_clock::now() > deadline) return false;
    std::this_thread::sleep_for(std::chrono::milliseconds(1));
  }
  return true;
}

// Whether the thread `tid` of this process sleeps (in a futex wait here).
bool sleeping(pid_t tid) {
  std::ifstream stat("/proc/self/task/" + std::to_string(tid) + "/stat");
  std::string line;
  std::getline(stat, line);
  const size_t end = line.rfind(')');  // the name before it may hold anything
  return end != std::string::npos && line.size() > end + 2 && line[end + 2] == 'S';
}

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

// Each reader waits inside until the other is inside too; with an exclusive
// lock the first would wait out its deadline alone.
TEST(RwLock, ReadersAreInsideTogether) {
  RwLock lock;
  std::atomic<int> inside{0};
  std::atomic<int> met{0};
  auto reader = [&] {
    std::shared_lock<RwLock> hold(lock);
    inside.fetch_add(1);
    if (wait_until([&] { return inside.load() == 2; })) met.fetch_add(1);
  };
  std::thread first(reader), second(reader);
  first.join();
  second.join();
  EXPECT_EQ(met.load(), 2);
}

// While a writer waits for the readers inside to leave, a new reader waits
// too, and gets in only after the writer: a stream of readers cannot starve
// it. Readers still share first, so a lock that is always exclusive fails.
TEST(RwLock, AWaitingWriterHoldsBackNewReaders) {
  RwLock lock;
  std::atomic<int> inside{0};
  std::atomic<bool> release{false}, writer_done{false}, late_reader_in{false}, late_after_writer{false};
  auto early_reader = [&] {
    std::shared_lock<RwLock> hold(lock);
    inside.fetch_add(1);
    wait_until([&] { return release.load(); });
  };
  // jthreads: an early return still joins them, once their deadlines pass.
  std::jthread early1(early_reader), early2(early_reader);
  ASSERT_TRUE(wait_until([&] { return inside.load() == 2; })) << "readers did not share the lock";

  std::atomic<pid_t> writer_id{0};
  std::jthread writer([&] {
    writer_id = gettid();
    std::unique_lock<RwLock> hold(lock);
    writer_done = true;
  });
  // Asleep in lock(): it has flagged its wait.
  ASSERT_TRUE(wait_until([&] { return writer_id.load() != 0 && sleeping(writer_id.load()); }));

  std::atomic<pid_t> late_id{0};
  std::jthread late([&] {
    late_id = gettid();
    std::shared_lock<RwLock> hold(lock);
    late_after_writer = writer_done.load();
    late_reader_in = true;
  });
  ASSERT_TRUE(wait_until([&] { return late_reader_in.load() || (late_id.load() != 0 && sleeping(late_id.load())); }));
  EXPECT_FALSE(late_reader_in.load()) << "a new reader got in beside a waiting writer";
  release = true;
  late.join();
  EXPECT_TRUE(late_after_writer.load());
}

}  // namespace
}  // namespace vellix::core
