// A sheet's rows and columns as bands: deleting a band of rows or columns,
// and the height, width and hidden flag of one row or column.
//
// Free functions over a CoreSheet: the caller holds the sheet's write lock
// (read lock for the getters). A deletion also rewrites the coordinates of
// the cells it moves, under each cell's write lock.
#pragma once

#include <cstdint>

#include "core/sheet/sheet.hpp"

namespace vellix::core {

// Removes the rows [idx, idx + amount) and moves every row behind them back
// by `amount`; merged ranges, comments and dimensions stay as they are. All
// or nothing: when it fails (out of memory) the sheet and every cell are as
// they were. The cell map is rebuilt even when nothing changes, so a fresh
// seed reorders it on every call.
void delete_rows_core(CoreSheet& sheet, uint32_t idx, uint32_t amount);
// The same for the columns [idx, idx + amount).
void delete_cols_core(CoreSheet& sheet, uint16_t idx, uint16_t amount);

// A setter creates the row's or column's entry with the defaults when it has
// none, then sets one field.
void set_row_height(CoreSheet& sheet, uint32_t row, double height);
void set_row_hidden(CoreSheet& sheet, uint32_t row, bool hidden);
void set_column_width(CoreSheet& sheet, uint16_t column, double width);
void set_column_hidden(CoreSheet& sheet, uint16_t column, bool hidden);

// A getter gives the field of the entry, or the sheet's default height or
// width (not hidden) for a row or column without one.
double row_height(const CoreSheet& sheet, uint32_t row);
bool row_hidden(const CoreSheet& sheet, uint32_t row);
double column_width(const CoreSheet& sheet, uint16_t column);
bool column_hidden(const CoreSheet& sheet, uint16_t column);

}  // namespace vellix::core
