#include "core/search/pool.hpp"

#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <random>
#include <thread>

#include "../sheet/cell_list_fixture.hpp"

namespace vellix::core {
namespace {

using testing::under_each_thread_count;

TEST(PoolSize, TakesTheFirstPositiveCountFromTheEnvironment) {
  const std::tuple<const char*, const char*, size_t> cases[] = {
      {nullptr, nullptr, 8},
      {"3", "5", 3},
      {nullptr, "5", 5},
      {"0", "5", 5},
      {"", "5", 5},
      {"2x", "6", 6},
      {" 2", nullptr, 8},
      {"-2", nullptr, 8},
      {"+4", nullptr, 4},
      {"0", "0", 8},
      {"9999999999999999999999", nullptr, 8},
  };
  for (const auto& [num_threads, rs_num_cpus, expected] : cases) {
    EXPECT_EQ(pool_size_from_env(num_threads, rs_num_cpus, 8), expected) << (num_threads ? num_threads : "unset");
  }
  EXPECT_EQ(pool_size_from_env(nullptr, nullptr, 0), 1u);
}

// Hits at every third index from `first` on: the lowest one is the answer,
// and every index before it was tested exactly once. Later hits are slow, so
// they are found after the answer and must not displace it.
TEST(FindFirstIndex, GivesTheLowestHitUnderAnyThreadCount) {
  for (size_t n : {size_t{0}, size_t{1}, kSerialFloor - 1, kSerialFloor, size_t{200000}}) {
    for (size_t first : {size_t{0}, n / 2 + 7, n > 0 ? n - 1 : 0, n}) {
      std::vector<std::atomic<int>> tested(n);
      auto found = under_each_thread_count<size_t>([&] {
        return find_first_index(n, [&](size_t i) {
          tested[i].fetch_add(1);
          const bool hit = i >= first && (i - first) % 3 == 0;
          if (hit && i != first) std::this_thread::sleep_for(std::chrono::microseconds(200));
          return hit;
        });
      });
      EXPECT_EQ(found, std::vector<size_t>(3, std::min(first, n))) << "n=" << n << " first=" << first;
      for (size_t i = 0; i < std::min(first, n); ++i) ASSERT_EQ(tested[i].load(), 3) << i;
    }
  }
}

TEST(CollectOrdered, KeepsIndexOrderInOneExactAllocation) {
  std::mt19937 rng(42);
  for (size_t n : {size_t{0}, size_t{5}, kSerialFloor + 1, size_t{300000}}) {
    std::vector<uint8_t> keep(n);
    for (auto& k : keep) k = static_cast<uint8_t>(rng() % 3);  // 0, 1 or 2 items per index
    std::vector<size_t> expected;
    for (size_t i = 0; i < n; ++i) expected.insert(expected.end(), keep[i], i);
    using Items = std::vector<size_t>;
    for (const Items& got : under_each_thread_count<Items>([&] {
           return collect_ordered<size_t>(n, [&](size_t i, Items& out) { out.insert(out.end(), keep[i], i); });
         })) {
      EXPECT_EQ(got, expected) << "n=" << n;
      EXPECT_EQ(got.capacity(), got.size());
    }
  }
}

TEST(Pool, AForkedChildSearchesOnItsOwnThread) {
  const size_t n = 200000;
  // Start the pool's threads in this process first; they do not survive fork.
  ASSERT_EQ(find_first_index(n, [](size_t i) { return i == n - 1; }), n - 1);
  pid_t child = fork();
  ASSERT_GE(child, 0);
  if (child == 0) {
    alarm(20);  // a hung pool kills the child instead of the test run
    size_t got = find_first_index(n, [](size_t i) { return i == 12345; });
    auto items = collect_ordered<size_t>(n, [](size_t i, std::vector<size_t>& out) { out.push_back(i); });
    _exit(got == 12345 && items.size() == n && items.back() == n - 1 ? 0 : 1);
  }
  int status = 0;
  ASSERT_EQ(waitpid(child, &status, 0), child);
  EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << "status " << status;
}

}  // namespace
}  // namespace vellix::core
