#include "core/sheet/queries.hpp"

#include <algorithm>
#include <cstdint>
#include <span>

#include "core/search/pool.hpp"
#include "core/search/search.hpp"
#include "core/sheet/bands.hpp"
#include "core/sheet/letters.hpp"

namespace vellix::core {
namespace {

struct ListPart {
  size_t first;
  size_t last;  // past the end
};

// Where the kept list files rows low_row..high_row: found by binary search.
ListPart kept_rows(const CellStore& store, uint32_t low_row, uint32_t high_row) {
  if (low_row > high_row) return {0, 0};
  const std::span<const uint64_t> keys(store.kept_list().keys.get(), sorted_cells(store).size());
  const auto first = std::lower_bound(keys.begin(), keys.end(), coordinate_key({low_row, 0}));
  const auto last = std::upper_bound(first, keys.end(), coordinate_key({high_row, UINT16_MAX}));
  return {static_cast<size_t>(first - keys.begin()), static_cast<size_t>(last - keys.begin())};
}

// Whether every cell of the kept list stands at its key, so that a search of
// the cells' own rows may narrow the list by its keys. Checked once per kept
// list and run of cell moves elsewhere (see cell_move_epoch): one pass over
// the cells, which a search that cannot narrow pays anyway.
bool kept_keys_are_positions(const CellStore& store) {
  const SortedCellList& list = store.kept_list();
  const uint64_t epoch = cell_move_epoch().load(std::memory_order_acquire);
  if (epoch % 2 == 1) return false;  // cells are moving now
  const uint64_t checked = list.positions_checked.load(std::memory_order_acquire);
  if (checked == epoch || checked == epoch + 1) return checked == epoch;
  const CellSpan cells = sorted_cells(store);
  const uint64_t* keys = list.keys.get();
  const size_t moved = find_first_index(cells.size(), [&](size_t i) {
    detail::prefetch_ahead(cells, i);
    auto r = cells[i].read();
    return coordinate_key({r->row, r->column}) != keys[i];
  });
  // A move that began meanwhile may have passed cells already checked.
  if (cell_move_epoch().load(std::memory_order_acquire) != epoch) return false;
  list.positions_checked.store(moved == cells.size() ? epoch : epoch + 1, std::memory_order_release);
  return moved == cells.size();
}

// The kept list's cells whose key lies inside the bounds, in key order: the
// rows are found by binary search, the columns tested within them.
std::vector<SharedCell> kept_cells_in_range(const CellStore& store, Coordinate low, Coordinate high) {
  const CellSpan cells = sorted_cells(store);
  const std::span<const uint64_t> keys(store.kept_list().keys.get(), cells.size());
  // A named part, not a structured binding: clang 14 cannot capture those.
  const ListPart rows = kept_rows(store, low.row, high.row);
  return collect_ordered<SharedCell>(rows.last - rows.first, [&](size_t k, std::vector<SharedCell>& out) {
    const auto column = static_cast<uint16_t>(keys[rows.first + k]);
    if (low.column <= column && column <= high.column) out.push_back(cells[rows.first + k]);
  });
}

const SharedCell* stored_cell(const CellStore& store, uint32_t row, uint16_t col) {
  const CellMap& map = store.map();
  if (map.empty()) return nullptr;
  auto it = map.find(Coordinate{row, col});
  return it == map.end() ? nullptr : &it->second;
}

}  // namespace

std::string sheet_get_value_cell(const CellStore& store, uint32_t row, uint16_t col) {
  const SharedCell* cell = stored_cell(store, row, col);
  if (cell == nullptr) return cell_value_text(CellValue::empty());
  return cell_value_text(cell->read()->value);
}

std::optional<std::string> sheet_find_value_by_coords(const CellStore& store, uint32_t row, uint16_t col) {
  const SharedCell* cell = stored_cell(store, row, col);
  if (cell == nullptr) return std::nullopt;
  return cell_value_text(cell->read()->value);
}

SharedCell sheet_find_cell_by_coords(const CellStore& store, uint32_t row, uint16_t col) {
  const SharedCell* cell = stored_cell(store, row, col);
  return cell == nullptr ? SharedCell() : *cell;
}

SharedCell sheet_find_cell_by_str(const CellStore& store, std::string_view value) {
  return find_cell_by_str_core(value, map_order_cells(store.map()));
}

Result<SharedCell> sheet_find_cell_by_regex(const CellStore& store, std::string_view regex) {
  return find_cell_by_regex_core(regex, map_order_cells(store.map()));
}

Result<SharedCell> sheet_find_cell_by_letter(const CellStore& store, std::string_view letter) {
  // The cells' own fields decide, as for any list: a cell shared with a
  // copied sheet may have moved while this map still files it at its old key.
  return find_cell_by_letter_core(letter, map_order_cells(store.map()));
}

std::vector<SharedCell> sheet_find_cells_range_rows(const CellStore& store, uint32_t start_row, uint32_t end_row) {
  const CellSpan cells = sorted_cells(store);
  if (!kept_keys_are_positions(store)) return find_cells_range_rows_core(start_row, end_row, cells);
  const auto [first, last] = kept_rows(store, start_row, end_row);
  return find_cells_range_rows_core(start_row, end_row, cells.subspan(first, last - first));
}

Result<std::vector<SharedCell>> sheet_find_cells_for_cols_by_regex(const CellStore& store, std::string_view regex,
                                                                   uint32_t row_stop) {
  const CellSpan cells = sorted_cells(store);
  if (!kept_keys_are_positions(store)) return find_cells_for_cols_by_regex_core(regex, row_stop, cells);
  return find_cells_for_cols_by_regex_core(regex, row_stop, cells.subspan(0, kept_rows(store, 0, row_stop).last));
}

Result<std::vector<SharedCell>> sheet_find_cells_multi_regex(const CellStore& store, std::string_view before_regex,
                                                             std::string_view after_regex) {
  return find_cells_multi_regex_core(before_regex, after_regex, sorted_cells(store));
}

Result<std::vector<SharedCell>> sheet_find_cells_between_regex(const CellStore& store, std::string_view before_regex,
                                                               std::string_view after_regex) {
  return find_cells_between_regex_core(before_regex, after_regex, sorted_cells(store));
}

std::vector<SharedCell> get_cells_by_range_core(const CellStore& store, std::optional<uint32_t> start_row,
                                                std::optional<uint32_t> end_row, std::optional<uint16_t> start_col,
                                                std::optional<uint16_t> end_col) {
  const Coordinate low{start_row.value_or(kMinRangeRow), start_col.value_or(kMinRangeColumn)};
  const Coordinate high{end_row.value_or(kMaxRangeRow), end_col.value_or(kMaxRangeColumn)};
  // A kept list answers by binary search. Without one, sorting the whole map
  // to keep it would cost far more than a narrow range, so the map is walked.
  if (store.kept_list().ready.load(std::memory_order_acquire)) return kept_cells_in_range(store, low, high);
  return map_cells_in_range(store.map(), low, high);
}

}  // namespace vellix::core
