// Sheets and books: CoreSheet with its cell store, dimensions, merged ranges
// and comments; the shared handles SharedSheet, SharedComment, SharedBook;
// and the operations the Python classes call on them.
//
// Each operation names the lock its caller holds. Lock order is book, then
// sheet, then cell or comment. Nothing here fails or touches Python.
#pragma once

#include <absl/container/flat_hash_map.h>

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "core/sheet/cell_store.hpp"
#include "core/sync/shared.hpp"
#include "core/value/value.hpp"

namespace vellix::core {

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
// The cell at (row, column), created when missing. With a value text the cell
// takes the typed value and drops any formula; without one, a cell that is not
// a formula cell is marked "s". Takes the sheet's write lock, then the cell's.
SharedCell cell_at(const SharedSheet& sheet, uint32_t row, uint16_t column, std::optional<std::string_view> text);

}  // namespace vellix::core
