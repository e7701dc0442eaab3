#include "core/sheet/sheet.hpp"

#include <sys/random.h>

#include <atomic>
#include <chrono>
#include <random>
#include <utility>

#include "core/value/cell_edit.hpp"

namespace vellix::core {

namespace {

// SplitMix64's finaliser: a bijective mixer with full avalanche, good for
// turning a counter into unrelated seeds and a key into hash bits.
uint64_t mix64(uint64_t z) noexcept {
  z = (z ^ (z >> 30)) * 0xbf58476d1ce4e5b9ULL;
  z = (z ^ (z >> 27)) * 0x94d049bb133111ebULL;
  return z ^ (z >> 31);
}

uint64_t system_random_seed() noexcept {
  uint64_t seed = 0;
  if (getentropy(&seed, sizeof seed) == 0) return seed;
  try {
    std::random_device rd;
    return (uint64_t{rd()} << 32) ^ rd();
  } catch (...) {
    // No random source at all: the clock still varies seeds between runs.
    return static_cast<uint64_t>(std::chrono::steady_clock::now().time_since_epoch().count());
  }
}

}  // namespace

uint64_t fresh_hash_seed() noexcept {
  // Seeded once; afterwards each call is one atomic add, so maps can be made
  // on any thread without contention on the system's random source.
  static std::atomic<uint64_t> state{system_random_seed()};
  constexpr uint64_t kGamma = 0x9e3779b97f4a7c15ULL;
  return mix64(state.fetch_add(kGamma, std::memory_order_relaxed) + kGamma);
}

size_t SeededHash::operator()(uint64_t key) const noexcept { return mix64(key ^ seed); }

SharedSheet add_sheet_core(SheetList& book, std::string_view name, std::string_view sheet_state) {
  CoreSheet sheet;
  sheet.name = name;
  sheet.sheet_state = sheet_state;
  SharedSheet handle = SharedSheet::make(std::move(sheet));
  book.push_back(handle);
  return handle;
}

SharedSheet copy_sheet_core(SheetList& book, SharedSheet source) {
  // Copying the record copies names, ranges and dimension entries (each map
  // keeping its hasher's seed), while the cell map and comment list get new
  // handles to the same cells and comments.
  CoreSheet copy = *source.read();
  // The name depends on the count alone: the copy's 1-based place in the list.
  copy.name = "Sheet ";
  copy.name += std::to_string(book.size() + 1);
  SharedSheet handle = SharedSheet::make(std::move(copy));
  book.push_back(handle);
  return handle;
}

SharedSheet sheet_by_name(const SheetList& book, std::string_view name) {
  for (const SharedSheet& sheet : book) {
    if (sheet.read()->name == name) return sheet;
  }
  return {};
}

SheetList wrap_sheets_shared(std::vector<CoreSheet> sheets) {
  SheetList out;
  out.reserve(sheets.size());
  for (CoreSheet& sheet : sheets) out.push_back(SharedSheet::make(std::move(sheet)));
  return out;
}

SharedCell cell_map_insert(CellMap& map, uint32_t row, uint16_t column, SharedCell cell) {
  // try_emplace leaves `cell` untouched when the key is already present.
  auto [it, inserted] = map.try_emplace(Coordinate{row, column}, std::move(cell));
  if (inserted) return {};
  return std::exchange(it->second, std::move(cell));
}

std::atomic<uint64_t>& cell_move_epoch() noexcept {
  static std::atomic<uint64_t> epoch{0};
  return epoch;
}

namespace {

void drop_sorted_cells(SortedCellList& list) noexcept {
  list.ready.store(false, std::memory_order_relaxed);
  list.keys.reset();
  list.cells = {};
  list.positions_checked.store(SortedCellList::kUnchecked, std::memory_order_relaxed);
}

}  // namespace

SortedCellList& SortedCellList::operator=(const SortedCellList&) noexcept {
  drop_sorted_cells(*this);
  return *this;
}

CellMap& CellStore::edit() noexcept {
  // Edits come in runs: only the first after a search finds a list to drop.
  if (sorted_.ready.load(std::memory_order_relaxed)) drop_sorted_cells(sorted_);
  extent_.forget();
  return map_;
}

SharedCell cell_at(const SharedSheet& handle, uint32_t row, uint16_t column, std::optional<std::string_view> text) {
  std::optional<CellValue> value;
  if (text) value = parse_cell_value(*text);
  auto sheet = handle.write();
  const CellMap& map = sheet->cells.map();
  if (auto found = map.find(Coordinate{row, column}); found != map.end()) {
    SharedCell cell = found->second;
    auto locked = cell.write();
    if (value) {
      store_cell_value(*locked, std::move(*value));
    } else {
      touch_cell(*locked);
    }
    return cell;
  }
  CellValue initial = value ? std::move(*value) : CellValue::empty();
  SharedCell cell = SharedCell::make();
  CoreCell& fresh = cell.unlocked();  // no other thread sees it yet
  fresh.row = row;
  fresh.column = column;
  fresh.type_letter = data_type_letter(initial);
  fresh.value = std::move(initial);
  (void)cell_map_insert(sheet->cells.edit(), row, column, cell);  // nothing was filed there
  return cell;
}

}  // namespace vellix::core
