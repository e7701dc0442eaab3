// Queries of one sheet's cell store: direct look-ups, the searches over its
// sorted and map-order cell lists (cell_store.hpp), and the range query.
//
// Thread-safety: the caller holds the sheet's read lock for the whole call,
// so the map does not change underneath; each cell is read-locked only while
// it is read. The borrowed lists (the kept list, the map order's handles)
// are valid only while that lock is held. The first reader
// after a change of the map sorts it for all: others that ask meanwhile wait
// for that list.
//
// Multi-cell answers come sorted by row, then column. Single-cell searches run
// over the map's own iteration order, which is arbitrary per map: with
// several hits, which one is returned is not tied to its place in the sheet.
//
// The sorted list, kept in the store (cell_store.hpp) until its map changes,
// is shared by searches of an unchanged sheet instead of sorting again.
//
//   auto r = sheet.read();
//   auto hits = find_cells_by_regex_core("total", sorted_cells(r->cells));
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "core/error.hpp"
#include "core/search/search.hpp"
#include "core/sheet/sheet.hpp"
#include "core/value/value.hpp"

namespace vellix::core {

// The bounds an absent range bound stands for.
inline constexpr uint32_t kMinRangeRow = 1;
inline constexpr uint32_t kMaxRangeRow = 1048576;
inline constexpr uint16_t kMinRangeColumn = 1;
inline constexpr uint16_t kMaxRangeColumn = 16384;

// The value text at (row, col); "" (an Empty value's) when no cell.
std::string sheet_get_value_cell(const CellStore& store, uint32_t row, uint16_t col);
// The value text at (row, col), or nullopt when no cell is stored there.
std::optional<std::string> sheet_find_value_by_coords(const CellStore& store, uint32_t row, uint16_t col);
// The cell filed under (row, col), or a null handle.
SharedCell sheet_find_cell_by_coords(const CellStore& store, uint32_t row, uint16_t col);

// Single-cell searches over the map order.
SharedCell sheet_find_cell_by_str(const CellStore& store, std::string_view value);
Result<SharedCell> sheet_find_cell_by_regex(const CellStore& store, std::string_view regex);
Result<SharedCell> sheet_find_cell_by_letter(const CellStore& store, std::string_view letter);

// The searches of the same names over the sorted list (search.hpp), which
// test the cells' own rows. While every cell stands at its key, they read
// only the part of the list that files the rows they can pass.
std::vector<SharedCell> sheet_find_cells_range_rows(const CellStore& store, uint32_t start_row, uint32_t end_row);
Result<std::vector<SharedCell>> sheet_find_cells_for_cols_by_regex(const CellStore& store, std::string_view regex,
                                                                   uint32_t row_stop);

// Band searches over the sorted list.
Result<std::vector<SharedCell>> sheet_find_cells_multi_regex(const CellStore& store, std::string_view before_regex,
                                                             std::string_view after_regex);
Result<std::vector<SharedCell>> sheet_find_cells_between_regex(const CellStore& store, std::string_view before_regex,
                                                               std::string_view after_regex);

// The cells whose key lies inside all four inclusive bounds, sorted by key;
// an absent bound takes its default (kMinRangeRow .. kMaxRangeRow,
// kMinRangeColumn .. kMaxRangeColumn).
std::vector<SharedCell> get_cells_by_range_core(const CellStore& store, std::optional<uint32_t> start_row,
                                                std::optional<uint32_t> end_row, std::optional<uint16_t> start_col,
                                                std::optional<uint16_t> end_col);

}  // namespace vellix::core
