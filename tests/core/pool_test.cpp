#include "core/pool.hpp"

#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <csignal>
#include <random>

#include "cell_list_fixture.hpp"

namespace vellix::core {
namespace {

using testing::kThreadCounts;
using testing::under_each_thread_count;

TEST(PoolSize, TakesTheFirstPositiveCountFromTheEnvironment) {
  struct Case {
    const char* num_threads;
    const char* rs_num_cpus;
    size_t expected;
  };
  const Case cases[] = {
      {nullptr, nullptr, 8}, {"3", nullptr, 3}, {"3", "5", 3},   {nullptr, "5", 5},   {"0", "5", 5},
      {"", "5", 5},          {"x", nullptr, 8}, {"-2", nullptr, 8}, {"2x", "6", 6},    {" 2", nullptr, 8},
      {"+4", nullptr, 4},    {"0", "0", 8},     {"99999999999999999999999", nullptr, 8},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(pool_size_from_env(c.num_threads, c.rs_num_cpus, 8), c.expected)
        << (c.num_threads ? c.num_threads : "unset") << " / " << (c.rs_num_cpus ? c.rs_num_cpus : "unset");
  }
  EXPECT_EQ(pool_size_from_env(nullptr, nullptr, 0), 1u);
}

// Hits at every `step`-th index from `first` on; the answer does not depend
// on which pieces the pool happens to test first.
TEST(FindFirstIndex, GivesTheLowestHitUnderAnyThreadCount) {
  for (size_t n : {size_t{0}, size_t{1}, size_t{100}, kSerialFloor - 1, kSerialFloor, size_t{200000}}) {
    for (size_t first : {size_t{0}, n / 2, n > 0 ? n - 1 : 0, n}) {
      auto found = under_each_thread_count<size_t>([&] {
        return find_first_index(n, [&](size_t i) { return i >= first && (i - first) % 3 == 0; });
      });
      for (size_t got : found) EXPECT_EQ(got, first < n ? first : n) << "n=" << n << " first=" << first;
    }
  }
}

TEST(FindFirstIndex, TestsEveryEntryBeforeTheAnswer) {
  const size_t n = 100000, answer = 77777;
  for (size_t threads : kThreadCounts) {
    std::vector<std::atomic<int>> tested(n);
    size_t got = 0;
    with_thread_count(threads, [&] {
      got = find_first_index(n, [&](size_t i) {
        tested[i].fetch_add(1);
        return i >= answer;
      });
    });
    EXPECT_EQ(got, answer);
    for (size_t i = 0; i <= answer; ++i) ASSERT_EQ(tested[i].load(), 1) << i << " with " << threads;
  }
}

TEST(CollectOrdered, KeepsIndexOrderUnderAnyThreadCount) {
  std::mt19937 rng(42);
  for (size_t n : {size_t{0}, size_t{5}, kSerialFloor + 1, size_t{300000}}) {
    std::vector<uint8_t> keep(n);
    for (auto& k : keep) k = static_cast<uint8_t>(rng() % 3);  // 0, 1 or 2 items per index
    std::vector<size_t> expected;
    for (size_t i = 0; i < n; ++i) expected.insert(expected.end(), keep[i], i);
    auto results = under_each_thread_count<std::vector<size_t>>([&] {
      return collect_ordered<size_t>(n, [&](size_t i, std::vector<size_t>& out) { out.insert(out.end(), keep[i], i); });
    });
    for (const auto& got : results) {
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
    auto items = collect_ordered<size_t>(n, [](size_t i, std::vector<size_t>& out) {
      if (i % 1000 == 0) out.push_back(i);
    });
    _exit(got == 12345 && items.size() == n / 1000 && items.back() == n - 1000 ? 0 : 1);
  }
  int status = 0;
  ASSERT_EQ(waitpid(child, &status, 0), child);
  ASSERT_TRUE(WIFEXITED(status)) << "child ended by signal " << (WIFSIGNALED(status) ? WTERMSIG(status) : 0);
  EXPECT_EQ(WEXITSTATUS(status), 0);
}

}  // namespace
}  // namespace vellix::core
