#include "core/sheet/queries.hpp"

#include <algorithm>
#include <array>
#include <bit>
#include <cstdint>
#include <memory>
#include <mutex>
#include <span>
#include <utility>

#include "core/search/pool.hpp"
#include "core/search/search.hpp"
#include "core/sheet/bands.hpp"
#include "core/sheet/letters.hpp"

namespace vellix::core {
namespace {

struct KeyedCell {
  uint64_t key;
  const SharedCell* cell;
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

std::vector<KeyedCell> keyed_by_coordinate(const CellMap& map) {
  std::vector<KeyedCell> keyed;
  keyed.reserve(map.size());
  for (const auto& [at, cell] : map) keyed.push_back({coordinate_key(at), &cell});
  sort_by_key(keyed);
  return keyed;
}

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

std::vector<const SharedCell*> sort_cells_by_coordinate(const CellMap& map) {
  std::vector<const SharedCell*> out;
  out.reserve(map.size());
  for (const KeyedCell& k : keyed_by_coordinate(map)) out.push_back(k.cell);
  return out;
}

CellSpan sorted_cells(const CellStore& store) {
  const SortedCellList& list = store.kept_list();
  if (list.ready.load(std::memory_order_acquire)) {
    return std::span(list.cells.data(), list.cells.size());
  }
  std::lock_guard lock(list.building);
  // Another reader may have built it while this one waited for the lock.
  if (!list.ready.load(std::memory_order_relaxed)) {
    // The sort carries each block's address, not the slot that holds its
    // handle: the list is then filled without visiting the slots again, at
    // random, in sorted order.
    std::vector<KeyedBlock> keyed;
    keyed.reserve(store.map().size());
    for (const auto& [at, cell] : store.map()) keyed.push_back({coordinate_key(at), Borrowed::block_of(cell)});
    sort_by_key(keyed);
    const size_t n = keyed.size();
    std::unique_ptr<uint64_t[]> keys(new uint64_t[n]);
    Borrowed cells(n);
    over_pieces(n, [&](size_t, size_t begin, size_t end) {
      for (size_t i = begin; i < end; ++i) {
        keys[i] = keyed[i].key;
        cells.borrow_block(i, keyed[i].block);
      }
    });
    list.keys = std::move(keys);
    list.cells = std::move(cells);
    list.ready.store(true, std::memory_order_release);
  }
  return std::span(list.cells.data(), list.cells.size());
}

CellStore::~CellStore() {
  // Cells lie in the order they were made, which for a sheet filled row by
  // row is position order: released in it, their blocks are read and freed
  // one after another instead of in the map's hash order, which more than
  // pays for sorting them first when no list is kept.
  if (map_.size() < kRadixFloor) return;
  try {
    (void)sorted_cells(*this);
  } catch (...) {
    return;  // no room to sort: the map releases them in its own order
  }
  sorted_.cells.release_in_order(map_, [](auto& entry) -> SharedCell& { return entry.second; });
}

std::vector<const SharedCell*> map_order_cells(const CellMap& map) {
  std::vector<const SharedCell*> out;
  out.reserve(map.size());
  for (const auto& entry : map) out.push_back(&entry.second);
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
    for (const auto& entry : store.map()) {
      max.row = std::max(max.row, entry.first.row);
      max.column = std::max(max.column, entry.first.column);
    }
    packed = coordinate_key(max);
    store.kept_extent().packed.store(packed, std::memory_order_relaxed);
  }
  return {static_cast<uint32_t>(packed >> kCoordinateColumnBits), static_cast<uint16_t>(packed)};
}

}  // namespace

uint32_t sheet_max_row(const CellStore& store) { return sheet_extent(store).row; }

uint16_t sheet_max_column(const CellStore& store) { return sheet_extent(store).column; }

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
  // Filtering while walking the map touches each entry once; the walk itself
  // cannot be split, and only the hits are sorted.
  std::vector<KeyedCell> keyed;
  for (const auto& [at, cell] : store.map()) {
    if (low.row <= at.row && at.row <= high.row && low.column <= at.column && at.column <= high.column) {
      keyed.push_back({coordinate_key(at), &cell});
    }
  }
  sort_by_key(keyed);
  std::vector<SharedCell> out;
  out.reserve(keyed.size());
  for (const KeyedCell& k : keyed) out.push_back(*k.cell);
  return out;
}

}  // namespace vellix::core
