#include "core/sheet/cell_map.hpp"

#include <sys/random.h>

#include <atomic>
#include <cassert>
#include <chrono>
#include <random>

#include "core/sheet/cell_store.hpp"

namespace vellix::core {
namespace {

// SplitMix64's finaliser: a bijective mixer with full avalanche, good for
// turning a counter into unrelated seeds and a key into hash bits.
uint64_t mix64(uint64_t z) noexcept {
  z = (z ^ (z >> 30)) * 0xbf58476d1ce4e5b9ULL;
  z = (z ^ (z >> 27)) * 0x94d049bb133111ebULL;
  return z ^ (z >> 31);
}

uint64_t system_random_seed() noexcept {
  uint64_t seed = 0;
  if (getentropy(&seed, sizeof seed) == 0) return seed;
  try {
    std::random_device rd;
    return (uint64_t{rd()} << 32) ^ rd();
  } catch (...) {
    // No random source at all: the clock still varies seeds between runs.
    return static_cast<uint64_t>(std::chrono::steady_clock::now().time_since_epoch().count());
  }
}

}  // namespace

uint64_t fresh_hash_seed() noexcept {
  // Seeded once; afterwards each call is one atomic add, so maps can be made
  // on any thread without contention on the system's random source.
  static std::atomic<uint64_t> state{system_random_seed()};
  constexpr uint64_t kGamma = 0x9e3779b97f4a7c15ULL;
  return mix64(state.fetch_add(kGamma, std::memory_order_relaxed) + kGamma);
}

size_t SeededHash::operator()(uint64_t key) const noexcept { return mix64(key ^ seed); }

size_t CellMap::erase(Coordinate at) noexcept {
  const auto it = find(at);
  if (it == end()) return 0;
  (void)it->take();
  CellSet::erase(it);
  return 1;
}

void CellMap::release_counts() noexcept {
  SharedCell::Releaser release;  // frees the cells whose last count this was a batch at a time
  for (const CellEntry& entry : *this) release(entry.block());
}

SharedCell cell_map_insert(CellMap& map, uint32_t row, uint16_t column, SharedCell cell) {
  // One probe finds the entry or the place for a new one.
  const Coordinate at{row, column};
  assert(cell_move_epoch().load() % 2 == 1 || racy_position(cell) == at);
  bool inserted = false;
  const auto it = map.lazy_emplace(at, [&](const CellMap::constructor& make) {
    make(at, std::move(cell));
    inserted = true;
  });
  if (inserted) return {};
  return it->exchange(std::move(cell));
}

}  // namespace vellix::core
