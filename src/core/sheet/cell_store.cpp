#include "core/sheet/cell_store.hpp"

#include <sys/random.h>

#include <algorithm>
#include <array>
#include <bit>
#include <chrono>
#include <mutex>
#include <random>
#include <utility>

#include "core/search/pool.hpp"

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

struct KeyedCell {
  uint64_t key;
  const SharedCell* cell;
};

using Borrowed = BorrowedHandles<CoreCell>;

struct KeyedBlock {
  uint64_t key;
  const void* block;  // Borrowed::block_of
};

// Below this many entries a comparison sort is as quick as the radix passes.
constexpr size_t kRadixFloor = 4096;
constexpr int kDigitBits = 11;  // 2048 counters: the scatter's write streams stay in cache
constexpr size_t kDigits = size_t{1} << kDigitBits;
// Pieces of a parallel pass: enough to balance the pool, few enough that
// their counters (16 KiB each per pass) stay cheap to clear and sum, and
// each long enough to be worth handing to a thread.
constexpr size_t kRadixPieces = 64;
constexpr size_t kMinPiece = 16384;

size_t piece_count(size_t n) { return run_serially(n) ? 1 : std::clamp<size_t>(n / kMinPiece, 1, kRadixPieces); }

// Calls fn(piece, begin, end) for each of the piece_count(n) pieces of [0, n).
template <class Fn>
void over_pieces(size_t n, Fn&& fn) {
  const size_t pieces = piece_count(n);
  for_each_piece(pieces, [&](size_t p) { fn(p, n * p / pieces, n * (p + 1) / pieces); });
}

// Sorts by key. Keys are unique and short: with the column's bits packed
// right below the row's, a sheet of up to 2^22 cell places needs two
// counting passes, which beat a comparison sort on one thread as on many.
// Each pass counts and scatters piece by piece on the pool; every piece
// writes a digit's entries after those of the pieces before it, which keeps
// each pass stable, as the passes after it need.
template <class Keyed>
void sort_by_key(std::vector<Keyed>& cells) {
  const size_t n = cells.size();
  if (n < kRadixFloor) {
    std::sort(cells.begin(), cells.end(), [](const Keyed& a, const Keyed& b) { return a.key < b.key; });
    return;
  }
  std::vector<uint64_t> used(piece_count(n));  // the key bits each piece uses
  over_pieces(n, [&](size_t p, size_t begin, size_t end) {
    for (size_t i = begin; i < end; ++i) used[p] |= cells[i].key;
  });
  uint64_t all = 0;
  for (uint64_t u : used) all |= u;
  constexpr uint64_t kColumnMask = (uint64_t{1} << kCoordinateColumnBits) - 1;
  const int column_bits = std::bit_width(all & kColumnMask);
  const int bits = std::bit_width(all >> kCoordinateColumnBits) + column_bits;
  std::vector<std::array<size_t, kDigits>> next(piece_count(n));
  std::unique_ptr<Keyed[]> spare(new Keyed[n]);  // left uninitialised: every entry is written
  Keyed* from = cells.data();
  Keyed* to = spare.get();
  for (int shift = 0; shift < bits; shift += kDigitBits) {
    auto digit = [column_bits, shift](uint64_t key) {
      return ((((key >> kCoordinateColumnBits) << column_bits) | (key & kColumnMask)) >> shift) & (kDigits - 1);
    };
    over_pieces(n, [&](size_t p, size_t begin, size_t end) {
      next[p].fill(0);
      for (size_t i = begin; i < end; ++i) ++next[p][digit(from[i].key)];
    });
    size_t at = 0;
    for (size_t d = 0; d < kDigits; ++d) {
      for (auto& piece : next) at += std::exchange(piece[d], at);
    }
    over_pieces(n, [&](size_t p, size_t begin, size_t end) {
      for (size_t i = begin; i < end; ++i) to[next[p][digit(from[i].key)]++] = from[i];
    });
    std::swap(from, to);
  }
  if (from != cells.data()) std::copy(from, from + n, cells.data());
}

std::vector<KeyedCell> keyed_by_coordinate(const CellMap& map) {
  std::vector<KeyedCell> keyed;
  keyed.reserve(map.size());
  for (const auto& [at, cell] : map) keyed.push_back({coordinate_key(at), &cell});
  sort_by_key(keyed);
  return keyed;
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

SharedCell cell_map_insert(CellMap& map, uint32_t row, uint16_t column, SharedCell cell) {
  // try_emplace leaves `cell` untouched when the key is already present.
  auto [it, inserted] = map.try_emplace(Coordinate{row, column}, std::move(cell));
  if (inserted) return {};
  return std::exchange(it->second, std::move(cell));
}

std::atomic<uint64_t>& cell_move_epoch() noexcept {
  static std::atomic<uint64_t> epoch{0};
  return epoch;
}

namespace {

void drop_sorted_cells(SortedCellList& list) noexcept {
  list.ready.store(false, std::memory_order_relaxed);
  list.keys.reset();
  list.cells = {};
  list.positions_checked.store(SortedCellList::kUnchecked, std::memory_order_relaxed);
}

}  // namespace

SortedCellList& SortedCellList::operator=(const SortedCellList&) noexcept {
  drop_sorted_cells(*this);
  return *this;
}

CellMap& CellStore::edit() noexcept {
  // Edits come in runs: only the first after a search finds a list to drop.
  if (sorted_.ready.load(std::memory_order_relaxed)) drop_sorted_cells(sorted_);
  extent_.forget();
  return map_;
}

std::vector<const SharedCell*> sort_cells_by_coordinate(const CellMap& map) {
  std::vector<const SharedCell*> out;
  out.reserve(map.size());
  for (const KeyedCell& k : keyed_by_coordinate(map)) out.push_back(k.cell);
  return out;
}

std::span<const SharedCell> sorted_cells(const CellStore& store) {
  const SortedCellList& list = store.kept_list();
  if (list.ready.load(std::memory_order_acquire)) {
    return std::span(list.cells.data(), list.cells.size());
  }
  std::lock_guard lock(list.building);
  // Another reader may have built it while this one waited for the lock.
  if (!list.ready.load(std::memory_order_relaxed)) {
    // The sort carries each block's address, not the slot that holds its
    // handle: the list is then filled without visiting the slots again, at
    // random, in sorted order.
    std::vector<KeyedBlock> keyed;
    keyed.reserve(store.map().size());
    for (const auto& [at, cell] : store.map()) keyed.push_back({coordinate_key(at), Borrowed::block_of(cell)});
    sort_by_key(keyed);
    const size_t n = keyed.size();
    std::unique_ptr<uint64_t[]> keys(new uint64_t[n]);
    Borrowed cells(n);
    over_pieces(n, [&](size_t, size_t begin, size_t end) {
      for (size_t i = begin; i < end; ++i) {
        keys[i] = keyed[i].key;
        cells.borrow_block(i, keyed[i].block);
      }
    });
    list.keys = std::move(keys);
    list.cells = std::move(cells);
    list.ready.store(true, std::memory_order_release);
  }
  return std::span(list.cells.data(), list.cells.size());
}

CellStore::~CellStore() {
  // Cells lie in the order they were made, which for a sheet filled row by
  // row is position order: released in it, their blocks are read and freed
  // one after another instead of in the map's hash order, which more than
  // pays for sorting them first when no list is kept.
  if (map_.size() < kRadixFloor) return;
  try {
    (void)sorted_cells(*this);
  } catch (...) {
    return;  // no room to sort: the map releases them in its own order
  }
  sorted_.cells.release_in_order(map_, [](auto& entry) -> SharedCell& { return entry.second; });
}

std::vector<const SharedCell*> map_order_cells(const CellMap& map) {
  std::vector<const SharedCell*> out;
  out.reserve(map.size());
  for (const auto& entry : map) out.push_back(&entry.second);
  return out;
}

namespace {

// The kept extent, found first when the map changed since it was last asked for.
Coordinate sheet_extent(const CellStore& store) {
  uint64_t packed = store.kept_extent().packed.load(std::memory_order_relaxed);
  if (packed == KeptExtent::kUnknown) {
    // Readers that race here find the same answer: the map cannot change
    // under their read lock.
    Coordinate max;
    for (const auto& entry : store.map()) {
      max.row = std::max(max.row, entry.first.row);
      max.column = std::max(max.column, entry.first.column);
    }
    packed = coordinate_key(max);
    store.kept_extent().packed.store(packed, std::memory_order_relaxed);
  }
  return {static_cast<uint32_t>(packed >> kCoordinateColumnBits), static_cast<uint16_t>(packed)};
}

}  // namespace

uint32_t sheet_max_row(const CellStore& store) { return sheet_extent(store).row; }

uint16_t sheet_max_column(const CellStore& store) { return sheet_extent(store).column; }

std::vector<SharedCell> map_cells_in_range(const CellMap& map, Coordinate low, Coordinate high) {
  // Filtering while walking the map touches each entry once; the walk itself
  // cannot be split, and only the hits are sorted.
  std::vector<KeyedCell> keyed;
  for (const auto& [at, cell] : map) {
    if (low.row <= at.row && at.row <= high.row && low.column <= at.column && at.column <= high.column) {
      keyed.push_back({coordinate_key(at), &cell});
    }
  }
  sort_by_key(keyed);
  std::vector<SharedCell> out;
  out.reserve(keyed.size());
  for (const KeyedCell& k : keyed) out.push_back(*k.cell);
  return out;
}

}  // namespace vellix::core
