// Sheets and books: CoreSheet with its cell store, dimensions, merged ranges
// and comments; the shared handles SharedSheet, SharedComment, SharedBook;
// and the operations the Python classes call on them.
//
// Each operation names the lock its caller holds. Lock order is book, then
// sheet, then cell or comment. Nothing here fails or touches Python.
#pragma once

#include <absl/container/flat_hash_map.h>

#include <atomic>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "core/sync/rw_lock.hpp"
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

using CellMap = absl::flat_hash_map<Coordinate, SharedCell, SeededHash>;

// The map's cells sorted by key, row then column, kept between searches
// until the map changes (queries.hpp builds and reads it). It borrows the
// map's handles side by side in that order, so that a scan reads them
// contiguously; a copied, moved or assigned store starts without one.
// Built at most once under the sheet's read lock: `building` lets one reader
// sort while the others wait, and `ready` publishes the finished list.
// Dropped only under the sheet's write lock.
struct SortedCellList {
  SortedCellList() = default;
  SortedCellList(const SortedCellList&) noexcept {}
  SortedCellList& operator=(const SortedCellList&) noexcept;

  mutable RwLock building;  // taken exclusively
  mutable std::atomic<bool> ready{false};
  // cells.size() entries each, left empty until built.
  mutable std::unique_ptr<uint64_t[]> keys;  // coordinate_key of each cell, ascending
  mutable BorrowedHandles<CoreCell> cells;
  // The cell_move_epoch() at which every cell's own position was found to be
  // its key (kUnchecked, or that epoch + 1 when one was not).
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

// The largest row and column among the map's keys, found by the first reader
// that asks after a change of the map (queries.hpp) and forgotten, as the
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
  // Gives the cells back in position order (queries.cpp, beside the kept list).
  ~CellStore();

  const CellMap& map() const noexcept { return map_; }
  // The map, for a change: drops the kept sorted list and extent first. Every
  // insertion, replacement, removal or rebuild goes through here, and the
  // reference serves one run of changes with no read of the kept state
  // between; caller holds the sheet's write lock.
  CellMap& edit() noexcept;

  // Built and read by queries.cpp under the sheet's read lock.
  const SortedCellList& kept_list() const noexcept { return sorted_; }
  const KeptExtent& kept_extent() const noexcept { return extent_; }

 private:
  CellMap map_;
  SortedCellList sorted_;
  KeptExtent extent_;
};

inline constexpr double kDefaultRowHeight = 20.0;
inline constexpr double kDefaultColumnWidth = 22.5;

struct RowDimension {
  uint32_t row_num = 0;
  double height = kDefaultRowHeight;
  bool hidden = false;
  bool collapsed = false;
  uint32_t level = 0;
};

struct ColumnDimension {
  uint16_t col_num = 0;
  double width = kDefaultColumnWidth;
  bool hidden = false;
  bool collapsed = false;
  uint32_t level = 0;
};

struct RowDimensions {
  absl::flat_hash_map<uint32_t, RowDimension, SeededHash> rows;
  double default_height = kDefaultRowHeight;
};

struct ColumnDimensions {
  absl::flat_hash_map<uint16_t, ColumnDimension, SeededHash> columns;
  double default_width = kDefaultColumnWidth;
};

// Stored exactly as given; nothing orders or checks the bounds.
struct MergedRange {
  uint32_t start_row = 0;
  uint32_t end_row = 0;
  uint16_t start_col = 0;
  uint16_t end_col = 0;
};

struct CoreComment {
  uint32_t row = 0;
  uint16_t column = 0;
  std::string author;
  std::string text;
};
using SharedComment = Shared<CoreComment>;

struct CoreSheet {
  std::string name;
  std::string sheet_state;
  std::vector<MergedRange> merge_cells;
  CellStore cells;
  RowDimensions row_dimensions;
  ColumnDimensions column_dimensions;
  std::vector<SharedComment> comments;
};
using SharedSheet = Shared<CoreSheet>;

// A book: the list of its sheets, only ever appended to.
using SheetList = std::vector<SharedSheet>;
using SharedBook = Shared<SheetList>;

// Appends a new empty sheet; caller holds the book's write lock.
SharedSheet add_sheet_core(SheetList& book, std::string_view name, std::string_view sheet_state);
// Appends a copy of `source` named "Sheet N" (N = its 1-based place in the
// list); caller holds the book's write lock. The copy shares the source's
// cells and comments.
SharedSheet copy_sheet_core(SheetList& book, SharedSheet source);
// The first sheet named exactly `name`, or a null handle; caller holds the
// book's read lock.
SharedSheet sheet_by_name(const SheetList& book, std::string_view name);
// A new handle for each sheet, in order.
SheetList wrap_sheets_shared(std::vector<CoreSheet> sheets);
// Files `cell` under (row, column); returns the handle it replaced, or null.
SharedCell cell_map_insert(CellMap& map, uint32_t row, uint16_t column, SharedCell cell);
// The cell at (row, column), created when missing. With a value text the cell
// takes the typed value and drops any formula; without one, a cell that is not
// a formula cell is marked "s". Takes the sheet's write lock, then the cell's.
SharedCell cell_at(const SharedSheet& sheet, uint32_t row, uint16_t column, std::optional<std::string_view> text);

}  // namespace vellix::core
