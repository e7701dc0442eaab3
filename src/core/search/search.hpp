// The cell-list and sheet-list searches: one fixed test per search, run over
// an ordered list on the worker pool, answered by position in the list.
//
// Single-result searches return the passing entry at the lowest position;
// multi-result searches return every passing entry in list order. Neither
// depends on the number of threads or their timing. A returned handle is a
// new reference to the very cell or sheet that stood in the list.
//
// Thread-safety: the lists are only read. Each cell (sheet) is read-locked
// only while its fields or value text (name) are read; locks the caller holds
// stay held. Pattern searches compile "(?i)" + the caller's pattern once per
// call; one that does not compile returns its error before any cell is tested.
//
//   CellSpan list = sorted_cells(store);  // or a caller's handles
//   auto hits = find_cells_by_regex_core("^total", list);
#pragma once

#include <cstdint>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "core/error.hpp"
#include "core/pattern/pattern.hpp"
#include "core/sheet/sheet.hpp"
#include "core/value/value.hpp"

namespace vellix::core {

// A borrowed list of cells: scanning a cell costs no reference-count traffic.
// It views either handles side by side (a kept sorted list, a map's cells
// borrowed, a caller's converted list), read contiguously, or pointers to
// handles kept elsewhere. The same cell may stand in the list more than once; each
// occurrence counts.
class CellSpan {
 public:
  CellSpan() noexcept = default;
  CellSpan(std::span<const SharedCell> handles) noexcept : handles_(handles.data()), size_(handles.size()) {}
  CellSpan(const std::vector<SharedCell>& handles) noexcept : CellSpan(std::span<const SharedCell>(handles)) {}
  CellSpan(const BorrowedHandles<CoreCell>& handles) noexcept : handles_(handles.data()), size_(handles.size()) {}
  CellSpan(std::span<const SharedCell* const> refs) noexcept : refs_(refs.data()), size_(refs.size()) {}
  CellSpan(const std::vector<const SharedCell*>& refs) noexcept : CellSpan(std::span<const SharedCell* const>(refs)) {}

  size_t size() const noexcept { return size_; }
  bool empty() const noexcept { return size_ == 0; }
  const SharedCell& operator[](size_t k) const noexcept { return handles_ != nullptr ? handles_[k] : *refs_[k]; }
  // Whether the handles lie side by side (else each is reached through a pointer).
  bool contiguous() const noexcept { return handles_ != nullptr; }
  // Entries [offset, offset + count).
  CellSpan subspan(size_t offset, size_t count) const noexcept {
    CellSpan s = *this;
    if (handles_ != nullptr) s.handles_ += offset;
    if (refs_ != nullptr) s.refs_ += offset;
    s.size_ = count;
    return s;
  }

 private:
  const SharedCell* handles_ = nullptr;
  const SharedCell* const* refs_ = nullptr;
  size_t size_ = 0;
};
using SheetSpan = std::span<const SharedSheet>;

// `text` without leading and trailing Unicode White_Space (U+0009..U+000D,
// U+0020, U+0085, U+00A0, U+1680, U+2000..U+200A, U+2028, U+2029, U+202F,
// U+205F, U+3000). Inner white space is kept.
std::string_view trim_white_space(std::string_view text);

// Whether `pattern` matches anywhere in the cell's value text, read under the
// cell's read lock. A failed match is false.
bool cell_matches(const Pattern& pattern, const SharedCell& cell);

// Text equality after trimming both sides; bytes compared, no case folding.
SharedCell find_cell_by_str_core(std::string_view value, CellSpan cells);  // null when none
std::vector<SharedCell> find_cells_by_str_core(std::string_view value, CellSpan cells);

Result<SharedCell> find_cell_by_regex_core(std::string_view regex, CellSpan cells);
Result<std::vector<SharedCell>> find_cells_by_regex_core(std::string_view regex, CellSpan cells);

// Compares the cells' own row and column fields.
SharedCell find_cell_by_coords_core(uint32_t row, uint16_t col, CellSpan cells);

// Bounds are inclusive; a start above its end passes nothing.
std::vector<SharedCell> find_cells_range_rows_core(uint32_t start_row, uint32_t end_row, CellSpan cells);
std::vector<SharedCell> find_cells_range_cols_core(uint16_t start_col, uint16_t end_col, CellSpan cells);

// The limit is tested first: a cell beyond it is never matched.
Result<std::vector<SharedCell>> find_cells_for_cols_by_regex_core(std::string_view regex, uint32_t row_stop,
                                                                  CellSpan cells);
Result<std::vector<SharedCell>> find_cells_for_rows_by_regex_core(std::string_view regex, uint16_t col_stop,
                                                                  CellSpan cells);

// The value texts of the cells in column `col` whose row is one of `rows`
// (of the cells in row `row` whose column is one of `cols`), in list order.
std::vector<std::string> find_values_by_col_rows_core(uint16_t col, std::span<const uint32_t> rows, CellSpan cells);
std::vector<std::string> find_values_by_row_cols_core(uint32_t row, std::span<const uint16_t> cols, CellSpan cells);

// Sheet names compared byte for byte: no trimming, case counts.
SharedSheet find_sheet_by_name_core(std::string_view name, SheetSpan sheets);  // null when none
// `pattern` is used as compiled (the caller decides on case).
SharedSheet find_sheet_by_regex_core(const Pattern& pattern, SheetSpan sheets);
std::vector<SharedSheet> get_sheets_with_names_core(std::span<const std::string> names, SheetSpan sheets);
std::vector<SharedSheet> get_sheets_without_names_core(std::span<const std::string> names, SheetSpan sheets);

namespace detail {

// How far ahead a scan over cells starts loading them. A cell's read lock is a
// locked instruction, which keeps the processor from running ahead to later
// cells' loads, and the cells lie scattered over the heap: without this, a
// scan waits on memory for every cell. Handles reached through pointers
// (kept elsewhere, in any order) are prefetched eight at a time: a
// prefetch that misses the TLB cannot retire before its page walk ends, so
// taken one by one each walk stalls the scan, where walks started together
// overlap. Handles side by side need no help.
inline constexpr size_t kPrefetchHandles = 16;
inline constexpr size_t kPrefetchBatch = 8;
inline constexpr size_t kPrefetchCells = 8;

// Always inlined: the compiler takes a call that only prefetches for one
// without effect and drops it.
[[gnu::always_inline]] inline void prefetch_ahead(CellSpan cells, size_t k) noexcept {
  if (!cells.contiguous() && k % kPrefetchBatch == 0 && k + kPrefetchHandles + kPrefetchBatch <= cells.size()) {
    for (size_t i = k + kPrefetchHandles; i < k + kPrefetchHandles + kPrefetchBatch; ++i) {
      __builtin_prefetch(&cells[i]);
    }
  }
  if (k + kPrefetchCells < cells.size()) cells[k + kPrefetchCells].prefetch();
}

}  // namespace detail

}  // namespace vellix::core
