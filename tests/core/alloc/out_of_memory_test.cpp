// Every allocation of a growing pool and of a pattern compile is made to fail
// in turn: the failure is a std::bad_alloc and leaves nothing inconsistent or
// held behind. (The compiled codes come from malloc, not operator new: under
// ASan its leak checker sees one left behind.)
#include <gtest/gtest.h>

#include <algorithm>
#include <new>
#include <random>
#include <set>
#include <string>
#include <vector>

#include "alloc_hook.hpp"
#include "core/sync/block_pool.hpp"
#include "core/pattern/pattern.hpp"

namespace vellix::core {
namespace {

using testing::allocation_failed;
using testing::fail_allocation;
using testing::live_bytes;

size_t blocks_per_slab(size_t block_size) {
  BlockPool pool(block_size);
  std::vector<void*> taken;
  while (pool.slab_count() < 2) taken.push_back(pool.allocate());
  return taken.size() - 1;
}

TEST(OutOfMemory, APoolThatFailsToGrowKeepsItsSlabsRight) {
  constexpr size_t kBlockSize = 40;
  const size_t per_slab = blocks_per_slab(kBlockSize);
  const size_t blocks = per_slab * 5;
  int failures = 0;
  for (uint64_t n = 1;; ++n) {
    BlockPool pool(kBlockSize);
    std::vector<void*> taken;
    taken.reserve(blocks);
    fail_allocation(n);
    try {
      while (taken.size() < blocks) taken.push_back(pool.allocate());
    } catch (const std::bad_alloc&) {
      ++failures;
    }
    const bool failed = allocation_failed();
    fail_allocation(0);
    ASSERT_EQ(taken.size() < blocks, failed);
    EXPECT_EQ(pool.slab_count(), (taken.size() + per_slab - 1) / per_slab) << "failing allocation " << n;
    std::shuffle(taken.begin(), taken.end(), std::mt19937(static_cast<uint32_t>(n)));
    for (void* p : taken) pool.free(p);
    EXPECT_LE(pool.slab_count(), 1u);
    std::set<void*> again;
    for (size_t i = 0; i < blocks; ++i) again.insert(pool.allocate());
    EXPECT_EQ(again.size(), blocks);
    if (!failed) break;
  }
  EXPECT_GE(failures, 5);  // at least the slabs themselves
}

TEST(OutOfMemory, ACompileThatRunsOutLeavesNothingBehind) {
  // Two look-behinds of varying length: each compiled twice beside the main
  // code, and the second grows the list that holds them.
  const std::string pattern = "(?<=a+|bc)\\w+(?<!d|e+f)x";
  // The tables it reads, and a thread's scratch for its matches, are built
  // once, here.
  Result<Pattern> first = compile_search_pattern(pattern);
  ASSERT_TRUE(first);
  EXPECT_TRUE(first.value().matches("A1x"));
  int failures = 0;
  for (uint64_t n = 1;; ++n) {
    const int64_t before = live_bytes();
    bool failed = false;
    fail_allocation(n);
    try {
      Result<Pattern> p = compile_search_pattern(pattern);
      failed = allocation_failed();
      fail_allocation(0);
      ASSERT_TRUE(p) << "failing allocation " << n << ": " << p.error().message;
      EXPECT_TRUE(p.value().matches("A1x"));
      EXPECT_TRUE(p.value().matches("bcxX"));
      EXPECT_FALSE(p.value().matches("ad1eefx"));
      EXPECT_FALSE(p.value().matches("zz1x"));
    } catch (const std::bad_alloc&) {
      failed = true;
      ++failures;
    }
    fail_allocation(0);
    EXPECT_EQ(live_bytes(), before) << "failing allocation " << n;
    if (!failed) break;
  }
  EXPECT_GE(failures, 10);
}

}  // namespace
}  // namespace vellix::core
