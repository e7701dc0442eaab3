#include "core/sheet/queries.hpp"

#include <algorithm>
#include <cstdint>
#include <optional>
#include <span>
#include <utility>

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

// The cell_move_epoch() at which every cell of the kept list was found to
// stand at its key, so that its cells' own positions can stand in for the
// keys it does not keep; nullopt when one may not. Found as the list is
// built; after cells moved elsewhere (a sheet sharing them deleted rows or
// columns), found again here, once per kept list and run of moves. A search
// that relies on it asks still_unmoved afterwards.
std::optional<uint64_t> kept_keys_are_positions(const CellStore& store) {
  const SortedCellList& list = store.kept_list();
  const CellSpan cells = sorted_cells(store);  // records the check made while building
  const uint64_t epoch = cell_move_epoch().load(std::memory_order_acquire);
  if (epoch % 2 == 1) return std::nullopt;  // cells are moving now
  const uint64_t checked = list.positions_checked.load(std::memory_order_acquire);
  if (checked == epoch) return epoch;
  if (checked == epoch + 1) return std::nullopt;
  // Without the keys, the map tells: positions that rise strictly along the
  // list, each of them filed in the map, are as many distinct keys as the
  // map holds, so they are its keys in order.
  const CellMap& map = store.map();
  const size_t moved = find_first_index(cells.size(), [&](size_t i) {
    detail::prefetch_ahead(cells, i);
    const Coordinate at = racy_position(cells[i]);
    return (i > 0 && !(racy_position(cells[i - 1]) < at)) || !map.contains(at);
  });
  // A move that began meanwhile may have passed cells already checked.
  if (cell_move_epoch().load(std::memory_order_acquire) != epoch) return std::nullopt;
  list.positions_checked.store(moved == cells.size() ? epoch : epoch + 1, std::memory_order_release);
  if (moved != cells.size()) return std::nullopt;
  return epoch;
}

// Whether no cell has moved since kept_keys_are_positions gave `epoch`, so
// that what a search read of the cells' positions was their keys.
bool still_unmoved(uint64_t epoch) { return cell_move_epoch().load(std::memory_order_acquire) == epoch; }

// Where the kept list files rows low_row..high_row, found by binary search
// over its cells' own rows, read as racy_row reads; only while those are its
// keys, and only if still_unmoved afterwards.
ListPart kept_rows(CellSpan cells, uint32_t low_row, uint32_t high_row) {
  if (low_row > high_row) return {0, 0};
  // A loop, not std::ranges::partition_point over an iota view, which clang 14
  // cannot compile against libstdc++ 12.
  auto first_where = [&](size_t from, auto&& before) {
    size_t lo = from, hi = cells.size();
    while (lo < hi) {
      const size_t mid = lo + (hi - lo) / 2;
      if (before(mid))
        lo = mid + 1;
      else
        hi = mid;
    }
    return lo;
  };
  const size_t first = first_where(0, [&](size_t i) { return racy_row(cells[i]) < low_row; });
  const size_t last = first_where(first, [&](size_t i) { return racy_row(cells[i]) <= high_row; });
  return {first, last};
}

// The kept list's cells whose key lies inside the bounds, in key order:
// nullopt unless its cells' positions are its keys. The rows are found by
// binary search, the columns tested within them.
std::optional<std::vector<SharedCell>> kept_cells_in_range(const CellStore& store, Coordinate low, Coordinate high) {
  const std::optional<uint64_t> epoch = kept_keys_are_positions(store);
  if (!epoch) return std::nullopt;
  const CellSpan cells = sorted_cells(store);
  // A named part, not a structured binding: clang 14 cannot capture those.
  const ListPart rows = kept_rows(cells, low.row, high.row);
  std::vector<SharedCell> found =
      collect_ordered<SharedCell>(rows.last - rows.first, [&](size_t k, std::vector<SharedCell>& out) {
        const SharedCell& cell = cells[rows.first + k];
        const uint16_t column = racy_column(cell);
        if (low.column <= column && column <= high.column) out.push_back(cell);
      });
  if (!still_unmoved(*epoch)) return std::nullopt;
  return found;
}

const CellEntry* stored_cell(const CellStore& store, uint32_t row, uint16_t col) {
  const CellMap& map = store.map();
  if (map.empty()) return nullptr;
  auto it = map.find(Coordinate{row, col});
  return it == map.end() ? nullptr : &*it;
}

}  // namespace

std::string sheet_get_value_cell(const CellStore& store, uint32_t row, uint16_t col) {
  const CellEntry* entry = stored_cell(store, row, col);
  if (entry == nullptr) return cell_value_text(CellValue::empty());
  return cell_value_text(entry->cell()->read()->value);
}

std::optional<std::string> sheet_find_value_by_coords(const CellStore& store, uint32_t row, uint16_t col) {
  const CellEntry* entry = stored_cell(store, row, col);
  if (entry == nullptr) return std::nullopt;
  return cell_value_text(entry->cell()->read()->value);
}

SharedCell sheet_find_cell_by_coords(const CellStore& store, uint32_t row, uint16_t col) {
  const CellEntry* entry = stored_cell(store, row, col);
  return entry == nullptr ? SharedCell() : entry->handle();
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
  if (const std::optional<uint64_t> epoch = kept_keys_are_positions(store)) {
    const auto [first, last] = kept_rows(cells, start_row, end_row);
    auto found = find_cells_range_rows_core(start_row, end_row, cells.subspan(first, last - first));
    if (still_unmoved(*epoch)) return found;
  }
  return find_cells_range_rows_core(start_row, end_row, cells);
}

Result<std::vector<SharedCell>> sheet_find_cells_for_cols_by_regex(const CellStore& store, std::string_view regex,
                                                                   uint32_t row_stop) {
  const CellSpan cells = sorted_cells(store);
  if (const std::optional<uint64_t> epoch = kept_keys_are_positions(store)) {
    const CellSpan head = cells.subspan(0, kept_rows(cells, 0, row_stop).last);
    auto found = find_cells_for_cols_by_regex_core(regex, row_stop, head);
    if (still_unmoved(*epoch)) return found;
  }
  return find_cells_for_cols_by_regex_core(regex, row_stop, cells);
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
  // A kept list answers by binary search while its cells stand at their keys.
  // Without one, sorting the whole map to keep it would cost far more than a
  // narrow range, so the map is walked.
  if (store.kept_list().ready.load(std::memory_order_acquire)) {
    if (auto found = kept_cells_in_range(store, low, high)) return std::move(*found);
  }
  return map_cells_in_range(store.map(), low, high);
}

}  // namespace vellix::core
