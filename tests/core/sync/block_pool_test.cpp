#include "core/sync/block_pool.hpp"

#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <csignal>
#include <cstdint>
#include <cstring>
#include <new>
#include <random>
#include <set>
#include <thread>
#include <vector>

#include "core/value/value.hpp"

namespace vellix::core {
namespace {

// Blocks taken on several threads at once never overlap.
TEST(BlockPool, BlocksFromManyThreadsAreDisjoint) {
  BlockPool pool(40);
  constexpr int kThreads = 8;
  constexpr int kEach = 5000;  // several slabs per thread
  std::vector<std::vector<void*>> taken(kThreads);
  std::vector<std::thread> threads;
  for (int t = 0; t < kThreads; ++t) {
    threads.emplace_back([&, t] {
      for (int i = 0; i < kEach; ++i) {
        void* p = pool.allocate();
        std::memset(p, t, pool.block_size());
        taken[t].push_back(p);
      }
    });
  }
  for (std::thread& t : threads) t.join();
  std::set<uintptr_t> starts;
  for (int t = 0; t < kThreads; ++t) {
    for (void* p : taken[t]) {
      const auto* bytes = static_cast<const unsigned char*>(p);
      EXPECT_TRUE(std::all_of(bytes, bytes + 40, [&](unsigned char c) { return c == t; }));
      EXPECT_EQ(reinterpret_cast<uintptr_t>(p) % 8, 0u);
      starts.insert(reinterpret_cast<uintptr_t>(p));
    }
  }
  EXPECT_EQ(starts.size(), size_t{kThreads} * kEach);
  for (auto it = starts.begin(); std::next(it) != starts.end(); ++it) ASSERT_GE(*std::next(it) - *it, 40u);
}

// Blocks freed in any order (as a dropped sheet frees its cells) are taken
// again in address order, slab by slab, before any new slab is made; a slab
// whose blocks are all free goes back, all but the one in use.
TEST(BlockPool, FreedSpaceIsReusedInAddressOrderAndEmptySlabsGoBack) {
  BlockPool pool(40);
  constexpr size_t kBlocks = 20000;
  std::vector<void*> blocks(kBlocks);
  for (void*& b : blocks) b = pool.allocate();
  const size_t slabs = pool.slab_count();
  EXPECT_GE(slabs, kBlocks * 40 / (64 * 1024));
  std::shuffle(blocks.begin(), blocks.end(), std::mt19937(7));
  for (size_t i = 0; i < kBlocks; i += 2) pool.free(blocks[i]);  // every other one: no slab empties
  EXPECT_EQ(pool.slab_count(), slabs);
  std::vector<uintptr_t> again(kBlocks / 2);
  for (uintptr_t& a : again) a = reinterpret_cast<uintptr_t>(pool.allocate());
  EXPECT_EQ(pool.slab_count(), slabs);
  size_t descents = 0;
  for (size_t i = 1; i < again.size(); ++i) descents += again[i] < again[i - 1];
  EXPECT_LT(descents, slabs);  // only where the pool moves to another slab
  for (uintptr_t a : again) pool.free(reinterpret_cast<void*>(a));
  for (size_t i = 1; i < kBlocks; i += 2) pool.free(blocks[i]);
  EXPECT_EQ(pool.slab_count(), 1u);
}

// Holders keep a block's address in 48 bits: a pool never hands out one
// above its limit, and a heap with no room below it is out of memory.
TEST(BlockPool, RoomAboveTheAddressLimitIsOutOfMemory) {
  BlockPool none(40, 4096);  // below any heap address
  EXPECT_THROW((void)none.allocate(), std::bad_alloc);
  EXPECT_EQ(none.slab_count(), 0u);
  BlockPool pool(40);
  std::vector<void*> blocks(5000);
  for (void*& b : blocks) {
    b = pool.allocate();
    EXPECT_LT(reinterpret_cast<uintptr_t>(b) + 40, BlockPool::kAddressLimit);
    EXPECT_EQ(reinterpret_cast<uintptr_t>(b) % 8, 0u);
  }
  const auto [low, high] = pool.address_span();
  for (void* b : blocks) {
    EXPECT_LE(low, reinterpret_cast<uintptr_t>(b));
    EXPECT_LE(reinterpret_cast<uintptr_t>(b) + 40, high);
  }
  pool.free_many(blocks.data(), blocks.size());
  EXPECT_EQ(pool.slab_count(), 1u);  // the current slab stays
}

// A child forked while another thread keeps making and dropping cells can
// still make cells of its own.
TEST(BlockPool, ACellCanBeMadeInAChildForkedDuringAllocation) {
  std::atomic<bool> stop{false};
  std::thread churn([&] {
    while (!stop.load()) {
      std::vector<SharedCell> cells(64);
      for (SharedCell& c : cells) c = SharedCell::make();
    }
  });
  for (int i = 0; i < 20; ++i) {
    const pid_t child = fork();
    ASSERT_NE(child, -1);
    if (child == 0) {
      const SharedCell cell = SharedCell::make();
      _exit(cell.read()->row == 0 ? 0 : 1);
    }
    int status = 0;
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
    pid_t done = 0;
    while ((done = waitpid(child, &status, WNOHANG)) == 0 && std::chrono::steady_clock::now() < deadline) {
      std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    if (done == 0) {  // stuck on a lock held by a thread that the child does not have
      kill(child, SIGKILL);
      waitpid(child, &status, 0);
    }
    EXPECT_TRUE(done == child && WIFEXITED(status) && WEXITSTATUS(status) == 0) << "fork " << i;
  }
  stop = true;
  churn.join();
}

}  // namespace
}  // namespace vellix::core
