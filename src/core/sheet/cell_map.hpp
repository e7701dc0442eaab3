// A sheet's cell map: each cell's handle filed under its position, with the
// hasher its maps share.
//
// A million-cell sheet holds a million entries, so an entry is 12 bytes: the
// position, and the handle's block address in 48 bits, shifted right by its
// alignment, which the cell pool guarantees is enough (see
// BlockPool::kAddressLimit). Each entry holds one count on its cell, which
// the map, not the entry, gives back: a map whose counts were handed on
// whole (forget_counts) frees its slots without visiting them. The set
// hashes and compares only the position, which is found by Coordinate alone;
// the handle may be replaced in place.
//
//   CellMap map;
//   (void)cell_map_insert(map, 3, 2, SharedCell::make());
//   if (auto it = map.find(Coordinate{3, 2}); it != map.end()) use(it->cell()->read()->value);
#pragma once

#include <absl/container/flat_hash_set.h>

#include <cassert>
#include <cstdint>
#include <type_traits>
#include <utility>

#include "core/sync/block_pool.hpp"
#include "core/sync/shared.hpp"
#include "core/value/value.hpp"

namespace vellix::core {

// A fresh random seed per call: each hash map draws its own, so every map's
// iteration order is arbitrary and differs between maps and between runs.
uint64_t fresh_hash_seed() noexcept;

// A hasher that carries its map's seed.
struct SeededHash {
  uint64_t seed = fresh_hash_seed();
  size_t operator()(uint64_t key) const noexcept;
  size_t operator()(Coordinate c) const noexcept { return (*this)(coordinate_key(c)); }
};

using BorrowedCell = BorrowedHandle<CoreCell>;

// A position and one counted handle to the cell filed there. Its map gives
// the count back (CellMap): the entry dies without touching the cell.
class CellEntry {
 public:
  CellEntry(Coordinate at, SharedCell cell) noexcept : row_(at.row), column_(at.column) {
    hold(std::move(cell).release_block());
  }
  CellEntry(const CellEntry& o) noexcept : CellEntry(o.at(), o.handle()) {}
  CellEntry(CellEntry&& o) noexcept : row_(o.row_), column_(o.column_) { hold(o.disown()); }
  CellEntry& operator=(const CellEntry&) = delete;  // the set never assigns: the position is fixed
  ~CellEntry() = default;

  Coordinate at() const noexcept { return {row_, column_}; }
  // The block's address (BorrowedHandles::block_of); null once disowned or taken.
  const void* block() const noexcept {
    return reinterpret_cast<const void*>(((uint64_t{block_high_} << 32) | block_low_) << kAlignBits);
  }
  // The cell for reading while the entry holds it, without a count.
  BorrowedCell cell() const noexcept { return BorrowedCell(block()); }
  // A new counted handle to the cell.
  SharedCell handle() const noexcept { return *cell(); }

  // The entry's handle changes, not its position, which is all the set sees:
  // these are const so that they work on the set's entries.
  // Files `cell` here instead; gives back the handle it held.
  SharedCell exchange(SharedCell cell) const noexcept {
    SharedCell old = take();
    hold(std::move(cell).release_block());
    return old;
  }
  // The held handle, leaving the entry null.
  SharedCell take() const noexcept { return SharedCell::adopt_block(disown()); }
  // The block's address, carrying the entry's count away; the entry is left null.
  const void* disown() const noexcept {
    const void* b = block();
    hold(nullptr);
    return b;
  }

 private:
  static constexpr int kAlignBits = BlockPool::kAlignBits;
  static_assert((BlockPool::kAddressLimit >> kAlignBits) <= uint64_t{1} << 48);

  void hold(const void* block) const noexcept {
    assert(reinterpret_cast<uintptr_t>(block) % (uintptr_t{1} << kAlignBits) == 0 &&
           reinterpret_cast<uintptr_t>(block) < BlockPool::kAddressLimit);
    const uint64_t packed = reinterpret_cast<uintptr_t>(block) >> kAlignBits;
    block_high_ = static_cast<uint16_t>(packed >> 32);
    block_low_ = static_cast<uint32_t>(packed);
  }

  uint32_t row_;
  uint16_t column_;
  mutable uint16_t block_high_;
  mutable uint32_t block_low_;
};
static_assert(sizeof(CellEntry) == 12);
static_assert(std::is_trivially_destructible_v<CellEntry>);  // so a set of them frees its slots unvisited

// Hash and equality by position: an entry is looked up by Coordinate alone.
struct CellEntryHash : SeededHash {
  using is_transparent = void;
  using SeededHash::operator();
  size_t operator()(const CellEntry& e) const noexcept { return (*this)(e.at()); }
};
struct CellEntryEq {
  using is_transparent = void;
  static Coordinate at(const CellEntry& e) noexcept { return e.at(); }
  static Coordinate at(Coordinate c) noexcept { return c; }
  template <class A, class B>
  bool operator()(const A& a, const B& b) const noexcept {
    return at(a) == at(b);
  }
};

using CellSet = absl::flat_hash_set<CellEntry, CellEntryHash, CellEntryEq>;

// The set, giving back the count of each entry that leaves it. Entries come
// in through cell_map_insert (lazy_emplace) and leave through erase, clear,
// an assignment or the map's end; the set's other ways to drop an entry are
// hidden, since they would drop its count with it.
class CellMap : public CellSet {
 public:
  CellMap() = default;
  CellMap(const CellMap&) = default;  // each entry's copy takes a count
  CellMap(CellMap&&) noexcept = default;
  CellMap& operator=(const CellMap& o) {
    CellMap copy(o);
    swap(copy);
    return *this;  // the old entries die with `copy`
  }
  CellMap& operator=(CellMap&& o) noexcept {
    CellMap taken(std::move(o));
    swap(taken);
    return *this;
  }
  ~CellMap() { release_counts(); }

  size_t erase(Coordinate at) noexcept;
  void clear() noexcept {
    release_counts();
    CellSet::clear();
  }
  template <class... A>
  void insert(A&&...) = delete;
  template <class... A>
  void emplace(A&&...) = delete;
  template <class... A>
  void extract(A&&...) = delete;
  template <class... A>
  void merge(A&&...) = delete;

  // Frees the slots without giving back the entries' counts, which the
  // caller has taken on (as BorrowedHandles::release_all gives them back):
  // no entry is visited.
  friend void forget_counts(CellMap&& map) noexcept { CellSet dying(std::move(static_cast<CellSet&>(map))); }

 private:
  void release_counts() noexcept;
};

// Files `cell` under (row, column), which is where the cell stands unless a
// run of moves goes on (see cell_move_epoch); returns the handle it
// replaced, or null.
SharedCell cell_map_insert(CellMap& map, uint32_t row, uint16_t column, SharedCell cell);

}  // namespace vellix::core
