#include "core/sheet/cell_store.hpp"

#include <algorithm>
#include <array>
#include <bit>
#include <memory>
#include <mutex>
#include <optional>
#include <utility>

#include "core/search/pool.hpp"
#include "core/sync/block_pool.hpp"

namespace vellix::core {
namespace {

struct KeyedCell {
  uint64_t key;
  const CellEntry* entry;
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

// The map's cells by key. The sort carries each block's address, not the
// entry that holds it: the list is then filled without visiting the entries
// again, at random, in sorted order. With `at_keys_epoch`, also finds whether
// every cell's own position is its key, which the keys at hand here tell
// cheaply: sets it as SortedCellList::positions_checked reads, or leaves it
// empty when cells moved meanwhile (see cell_move_epoch). `checked` is what
// an earlier check found: at the epoch it names, no cell need be read.
Borrowed borrow_by_key(const CellMap& map, std::optional<uint64_t>* at_keys_epoch,
                       uint64_t checked = SortedCellList::kUnchecked) {
  const uint64_t epoch = cell_move_epoch().load(std::memory_order_acquire);
  if (at_keys_epoch != nullptr && checked == epoch && epoch % 2 == 0) {
    *at_keys_epoch = epoch;
    at_keys_epoch = nullptr;
  }
  std::vector<KeyedBlock> keyed;
  keyed.reserve(map.size());
  for (const CellEntry& entry : map) keyed.push_back({coordinate_key(entry.at()), entry.block()});
  sort_by_key(keyed);
  const size_t n = keyed.size();
  Borrowed cells(n);
  // Checked only while no move runs: cells read meanwhile prove nothing.
  std::atomic<bool> at_keys{at_keys_epoch != nullptr && epoch % 2 == 0};
  over_pieces(n, [&](size_t, size_t begin, size_t end) {
    bool check = at_keys.load(std::memory_order_relaxed);
    for (size_t i = begin; i < end; ++i) {
      cells.borrow_block(i, keyed[i].block);
      if (check) {
        check = coordinate_key(racy_position(cells.data()[i])) == keyed[i].key;
        if (!check) at_keys.store(false, std::memory_order_relaxed);
      }
    }
  });
  if (at_keys_epoch != nullptr && epoch % 2 == 0 && cell_move_epoch().load(std::memory_order_acquire) == epoch) {
    *at_keys_epoch = at_keys.load(std::memory_order_relaxed) ? epoch : epoch + 1;
  }
  return cells;
}

}  // namespace

std::atomic<uint64_t>& cell_move_epoch() noexcept {
  static std::atomic<uint64_t> epoch{0};
  return epoch;
}

namespace {

void drop_sorted_cells(SortedCellList& list) noexcept {
  list.ready.store(false, std::memory_order_relaxed);
  list.cells = {};
}

}  // namespace

SortedCellList& SortedCellList::operator=(const SortedCellList&) noexcept {
  drop_sorted_cells(*this);
  positions_checked.store(kUnchecked, std::memory_order_relaxed);  // of other cells
  return *this;
}

CellMap& CellStore::edit() noexcept {
  // Edits come in runs: only the first after a search finds a list to drop.
  // What was found of the cells' positions stays (see positions_checked).
  if (sorted_.ready.load(std::memory_order_relaxed)) drop_sorted_cells(sorted_);
  extent_.forget();
  return map_;
}

Borrowed sort_cells_by_coordinate(const CellMap& map) { return borrow_by_key(map, nullptr); }

std::span<const SharedCell> sorted_cells(const CellStore& store) {
  const SortedCellList& list = store.kept_list();
  if (list.ready.load(std::memory_order_acquire)) {
    return std::span(list.cells.data(), list.cells.size());
  }
  std::lock_guard lock(list.building);
  // Another reader may have built it while this one waited for the lock.
  if (!list.ready.load(std::memory_order_relaxed)) {
    std::optional<uint64_t> checked;
    list.cells = borrow_by_key(store.map(), &checked, list.positions_checked.load(std::memory_order_relaxed));
    list.positions_checked.store(checked.value_or(SortedCellList::kUnchecked), std::memory_order_release);
    list.ready.store(true, std::memory_order_release);
  }
  return std::span(list.cells.data(), list.cells.size());
}

namespace {

// Gives back the count each entry holds, nearly in the order of the blocks'
// addresses: the map's order visits them at random, which costs several
// times as much per block. One counting pass over the top bits of each
// block's offset in the pool groups the blocks by neighbourhood, 2^16 groups
// of a few cache lines each. False, leaving every count in place, when there
// is no room for the offsets or they do not fit in 32 bits; else the map is
// left to forget its counts.
bool release_by_address(const CellMap& map) noexcept {
  constexpr int kAlignBits = BlockPool::kAlignBits;
  constexpr int kGroupBits = 16;
  const size_t n = map.size();
  std::unique_ptr<uint32_t[]> offsets;
  std::unique_ptr<uint32_t[]> placed;
  std::unique_ptr<uint32_t[]> next;
  uintptr_t low = 0;
  int offset_bits = 0;
  try {
    const auto [first, last] = BlockSource<CoreCell>::address_span();
    low = first;
    offset_bits = std::bit_width((last - first) >> kAlignBits);
    if (offset_bits > 32 || n > UINT32_MAX) return false;
    offsets.reset(new uint32_t[n]);
    placed.reset(new uint32_t[n]);
    next.reset(new uint32_t[size_t{1} << kGroupBits]());
  } catch (...) {
    return false;
  }
  const int shift = std::max(offset_bits - kGroupBits, 0);
  size_t i = 0;
  for (const CellEntry& entry : map) {
    const auto at = static_cast<uint32_t>((reinterpret_cast<uintptr_t>(entry.block()) - low) >> kAlignBits);
    offsets[i++] = at;
    ++next[at >> shift];
  }
  uint32_t start = 0;
  for (size_t g = 0; g < size_t{1} << kGroupBits; ++g) start += std::exchange(next[g], start);
  for (i = 0; i < n; ++i) placed[next[offsets[i] >> shift]++] = offsets[i];
  auto block = [&](size_t k) { return reinterpret_cast<const char*>(low + (uintptr_t{placed[k]} << kAlignBits)); };
  // Within a group the order is random: each block is asked for a few turns ahead.
  constexpr size_t kAhead = 16;
  SharedCell::Releaser release;
  for (i = 0; i < n; ++i) {
    if (i + kAhead < n) {
      // Both ends: a block may straddle two cache lines.
      __builtin_prefetch(block(i + kAhead), 1);
      __builtin_prefetch(block(i + kAhead) + BlockSource<CoreCell>::kBlockSize - 1, 1);
    }
    release(block(i));
  }
  return true;
}

}  // namespace

CellStore::~CellStore() {
  // With a kept list, cells go back in position order, which for a sheet
  // filled row by row is the order of their blocks: read and freed one after
  // another. Without one, the blocks' own addresses give nearly that order
  // more cheaply than sorting the keys. Either way the map's counts go back
  // through the blocks alone, and its slots are freed unvisited. (A store
  // moved from may keep a list of the cells its map gave away.)
  if (sorted_.ready.load(std::memory_order_relaxed) && sorted_.cells.size() == map_.size()) {
    sorted_.cells.release_all();  // the map's count on each of its cells
    forget_counts(std::move(map_));
  } else if (map_.size() >= kRadixFloor && release_by_address(map_)) {
    forget_counts(std::move(map_));
  }  // else the map gives them back in its own order
}

Borrowed map_order_cells(const CellMap& map) {
  Borrowed out(map.size());
  size_t i = 0;
  for (const CellEntry& entry : map) out.borrow_block(i++, entry.block());
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
    for (const CellEntry& entry : store.map()) {
      max.row = std::max(max.row, entry.at().row);
      max.column = std::max(max.column, entry.at().column);
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
  for (const CellEntry& entry : map) {
    const Coordinate at = entry.at();
    if (low.row <= at.row && at.row <= high.row && low.column <= at.column && at.column <= high.column) {
      keyed.push_back({coordinate_key(at), &entry});
    }
  }
  sort_by_key(keyed);
  std::vector<SharedCell> out;
  out.reserve(keyed.size());
  for (const KeyedCell& k : keyed) out.push_back(k.entry->handle());
  return out;
}

}  // namespace vellix::core
