// A sheet's cells by position: the map, the hasher its maps share, and what
// readers keep between changes of the map (the sorted list and the extent).
//
// The map changes only through CellStore::edit, under the sheet's write lock;
// the readers here run under its read lock, and the first after a change
// builds what it keeps for the others. Nothing here touches Python.
#pragma once

#include <atomic>
#include <cstdint>
#include <span>
#include <utility>
#include <vector>

#include "core/sheet/cell_map.hpp"
#include "core/sync/rw_lock.hpp"
#include "core/sync/shared.hpp"
#include "core/value/value.hpp"

namespace vellix::core {

// The map's cells sorted by key, row then column, kept between searches
// until the map changes (sorted_cells builds it). It borrows the
// map's handles side by side in that order, so that a scan reads them
// contiguously; a copied, moved or assigned store starts without one. It
// keeps no keys: while every cell stands at its key (positions_checked),
// the cells' own positions are the keys.
// Built at most once under the sheet's read lock: `building` lets one reader
// sort while the others wait, and `ready` publishes the finished list.
// Dropped only under the sheet's write lock.
struct SortedCellList {
  SortedCellList() = default;
  SortedCellList(const SortedCellList&) noexcept {}
  SortedCellList& operator=(const SortedCellList&) noexcept;

  mutable RwLock building;  // taken exclusively
  mutable std::atomic<bool> ready{false};
  mutable BorrowedHandles<CoreCell> cells;  // left empty until built
  // The cell_move_epoch() at which every cell's own position was found to be
  // its key (kUnchecked, or that epoch + 1 when one was not): found while
  // the list is built, and again after cells moved elsewhere. An edit keeps
  // it, since every cell is filed at its own position (cell_map_insert): a
  // list built again at the same epoch needs no check.
  static constexpr uint64_t kUnchecked = UINT64_MAX;
  mutable std::atomic<uint64_t> positions_checked{kUnchecked};
};

// Counts the runs of changes to live cells' own positions (a row or column
// deletion moves the cells after its band). Another sheet that shares those
// cells keeps its map, and its kept list, while their positions change: a
// search that trusts its keys to be the cells' positions checks this first.
// Odd while a run goes on; see begin_cell_moves and end_cell_moves.
std::atomic<uint64_t>& cell_move_epoch() noexcept;
inline void begin_cell_moves() noexcept { cell_move_epoch().fetch_add(1, std::memory_order_acq_rel); }
inline void end_cell_moves() noexcept { cell_move_epoch().fetch_add(1, std::memory_order_acq_rel); }

// A cell's own row, column or position, read without its lock, as a
// sequence lock reads: every change of a live cell's position is a move
// (move_cell), which stores each field atomically within a run of moves,
// so nothing read is torn, and what was read is the position if
// cell_move_epoch() was even before the reads and is the same after. The
// loads acquire and the stores release, so that a reader who saw a moved
// field sees the run's start in the epoch after (fences would serve as
// well, but ThreadSanitizer does not follow them).
inline uint32_t racy_row(const SharedCell& cell) noexcept {
  return std::atomic_ref(cell.unlocked().row).load(std::memory_order_acquire);
}
inline uint16_t racy_column(const SharedCell& cell) noexcept {
  return std::atomic_ref(cell.unlocked().column).load(std::memory_order_acquire);
}
inline Coordinate racy_position(const SharedCell& cell) noexcept { return {racy_row(cell), racy_column(cell)}; }
// Moves a cell held under its write lock, between begin_cell_moves and
// end_cell_moves.
inline void move_cell(CoreCell& cell, Coordinate to) noexcept {
  std::atomic_ref(cell.row).store(to.row, std::memory_order_release);
  std::atomic_ref(cell.column).store(to.column, std::memory_order_release);
}

// The largest row and column among the map's keys, found by the first reader
// that asks after a change of the map (sheet_max_row) and forgotten, as the
// kept list is, by the next change.
struct KeptExtent {
  static constexpr uint64_t kUnknown = UINT64_MAX;  // no coordinate_key is this

  KeptExtent() = default;
  KeptExtent(const KeptExtent&) noexcept {}
  KeptExtent& operator=(const KeptExtent&) noexcept {
    forget();
    return *this;
  }
  void forget() noexcept { packed.store(kUnknown, std::memory_order_relaxed); }

  // coordinate_key of (largest row, largest column), or kUnknown.
  mutable std::atomic<uint64_t> packed{kUnknown};
};

// A sheet's cells by position, with what readers keep between changes of
// them: the sorted list and the extent. The map is private so that every
// change goes through edit(), which forgets both first.
class CellStore {
 public:
  CellStore() = default;
  explicit CellStore(CellMap cells) noexcept : map_(std::move(cells)) {}
  CellStore(const CellStore&) = default;
  CellStore(CellStore&&) noexcept = default;
  CellStore& operator=(const CellStore&) = default;
  CellStore& operator=(CellStore&&) noexcept = default;
  // Gives the cells back in the kept list's order, or the map's.
  ~CellStore();

  const CellMap& map() const noexcept { return map_; }
  // The map, for a change: drops the kept sorted list and extent first. Every
  // insertion, replacement, removal or rebuild goes through here, and the
  // reference serves one run of changes with no read of the kept state
  // between; caller holds the sheet's write lock.
  CellMap& edit() noexcept;

  // Built by their first reader under the sheet's read lock (below), and read
  // by the searches of queries.hpp.
  const SortedCellList& kept_list() const noexcept { return sorted_; }
  const KeptExtent& kept_extent() const noexcept { return extent_; }

 private:
  CellMap map_;
  SortedCellList sorted_;
  KeptExtent extent_;
};

// The map's cells by key: row ascending, then column, borrowed from the map.
BorrowedHandles<CoreCell> sort_cells_by_coordinate(const CellMap& map);
// The same list, kept in the store: the first call after a change of the map
// sorts it, once however many readers ask at the same time; later calls only
// read it. Valid while the caller's read lock is held.
std::span<const SharedCell> sorted_cells(const CellStore& store);
// The map's cells in its iteration order, borrowed from the map.
BorrowedHandles<CoreCell> map_order_cells(const CellMap& map);

// The largest row (column) among the map's keys; 0 when empty. Found once
// after each change of the map, then kept.
uint32_t sheet_max_row(const CellStore& store);
uint16_t sheet_max_column(const CellStore& store);
// The map's cells whose key lies inside [low, high] by row and by column,
// sorted by key.
std::vector<SharedCell> map_cells_in_range(const CellMap& map, Coordinate low, Coordinate high);

}  // namespace vellix::core
