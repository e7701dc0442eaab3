// The core searches over a sheet of one million short mixed values (words,
// integers, decimals, date-times), each on one thread and on the whole pool.
// The argument of each benchmark is its thread count (0: the whole pool).
//
// Reported counters: hits, and allocs_per_cell (heap allocations per scanned
// cell; the scans must make none of their own).
#include <benchmark/benchmark.h>

#include <algorithm>
#include <random>
#include <string>
#include <vector>

#include "alloc_count.hpp"
#include "core/pattern/pattern.hpp"
#include "core/search/pool.hpp"
#include "core/search/search.hpp"
#include "core/sheet/queries.hpp"

namespace vellix::core {
namespace {

constexpr uint32_t kRows = 100000;
constexpr uint16_t kColumns = 10;  // one million cells

const char* const kWords[] = {"alpha",  "Bravo",   "CHARLIE", "delta",  "Echo",   "foxtrot", "Golf",
                              "hotel",  "INDIA",   "juliet",  "Kilo",   "lima",   "Mike",    "november",
                              "Oscar",  "papa",    "QUEBEC",  "romeo",  "Sierra", "tango",   "uniform",
                              "Victor", "whiskey", "x-ray",   "Yankee", "zulu"};

std::string mixed_value(uint64_t i) {
  uint64_t h = (i * 0x9E3779B97F4A7C15ull) >> 20;
  switch (i % 4) {
    case 0: return kWords[h % 26];
    case 1: return std::to_string(static_cast<int64_t>(h % 2000000) - 1000000);
    case 2: return std::to_string(h % 10000) + "." + std::to_string(h % 100);
    default: {
      char text[32];
      std::snprintf(text, sizeof text, "20%02u-%02u-%02u %02u:%02u:%02u", unsigned(h % 30), unsigned(h % 12 + 1),
                    unsigned(h % 28 + 1), unsigned(h % 24), unsigned(h % 60), unsigned((h >> 7) % 60));
      return text;
    }
  }
}

struct Fixture {
  CellStore store;
  CellSpan sorted;                 // the kept list, as the sheet searches read it
  std::vector<std::string> texts;  // the same value texts, for the bare scan

  Fixture() {
    CellMap& map = store.edit();
    map.reserve(size_t{kRows} * kColumns);
    for (uint32_t row = 1; row <= kRows; ++row) {
      for (uint16_t col = 1; col <= kColumns; ++col) {
        std::string text = mixed_value((uint64_t{row} - 1) * kColumns + col - 1);
        (void)cell_map_insert(map, row, col,
                              SharedCell::make(build_cell(row, col, text, std::nullopt, "n", std::nullopt)));
      }
    }
    sorted = sorted_cells(store);
    for (size_t i = 0; i < sorted.size(); ++i) texts.push_back(cell_value_text(sorted[i].read()->value));
  }
};

const Fixture& fixture() {
  static const Fixture f;
  return f;
}

size_t threads_of(const benchmark::State& state) {
  return state.range(0) == 0 ? pool_size() : static_cast<size_t>(state.range(0));
}

// Runs `search` (returning its hit count) under the benchmark's thread count.
template <class Search>
void run(benchmark::State& state, Search&& search) {
  const Fixture& f = fixture();
  with_thread_count(threads_of(state), [&] {
    size_t hits = 0;
    uint64_t allocations = 0;
    for (auto _ : state) {
      uint64_t before = g_allocations.load(std::memory_order_relaxed);
      hits = search(f);
      allocations += g_allocations.load(std::memory_order_relaxed) - before;
    }
    state.counters["hits"] = static_cast<double>(hits);
    state.counters["allocs_per_cell"] =
        static_cast<double>(allocations) / static_cast<double>(state.iterations()) / f.sorted.size();
  });
}

constexpr const char* kSelective = "^(zulu|x-ray)$";
// The scan's patterns: one anchored, which only words can match; one whose
// letter no number or date has; one that numbers and dates can match, so
// that every value text is written.
const char* const kScanRegexes[] = {kSelective, R"(o.*\d)", R"(\d5)"};

void BM_BarePatternScan(benchmark::State& state) {
  Pattern p = std::move(compile_search_pattern(kScanRegexes[state.range(1)])).value();
  state.SetLabel(kScanRegexes[state.range(1)]);
  run(state, [&](const Fixture& f) {
    return collect_ordered<size_t>(f.texts.size(),
                                   [&](size_t i, std::vector<size_t>& out) {
                                     if (p.matches(f.texts[i])) out.push_back(i);
                                   })
        .size();
  });
}

// The reference of the trimmed-text search: the same comparison over the texts.
void BM_BareTrimmedCompare(benchmark::State& state) {
  run(state, [](const Fixture& f) {
    return collect_ordered<size_t>(f.texts.size(),
                                   [&](size_t i, std::vector<size_t>& out) {
                                     if (trim_white_space(f.texts[i]) == "Yankee") out.push_back(i);
                                   })
        .size();
  });
}

// The value texts of the million cells with no lock and no match: what the
// scans spend building texts, apart from memory and locks.
void BM_ValueTexts(benchmark::State& state) {
  static const std::vector<CellValue> values = [] {
    std::vector<CellValue> v;
    const CellSpan cells = fixture().sorted;
    for (size_t i = 0; i < cells.size(); ++i) v.push_back(cells[i].read()->value);
    return v;
  }();
  run(state, [](const Fixture&) {
    size_t empty = find_first_index(values.size(), [](size_t i) {
      thread_local std::string scratch;
      return cell_value_text_view(values[i], scratch).empty();  // none is: every text gets built
    });
    return empty < values.size() ? size_t{1} : size_t{0};
  });
}

// The bare scan with patterns the front end writes out in full: its own \w,
// boundaries as look-arounds over it, a property closed under case folding;
// and nested repeats, which the automaton matcher runs.
const char* const kScanPatterns[] = {R"(\w+)", R"(\bword\b)", R"(\p{Lu}+)", R"((\w+\s?)+:\s*\d)"};

void BM_PatternScan(benchmark::State& state) {
  Pattern p = std::move(compile_search_pattern(kScanPatterns[state.range(1)])).value();
  state.SetLabel(kScanPatterns[state.range(1)]);
  run(state, [&](const Fixture& f) {
    return collect_ordered<size_t>(f.texts.size(),
                                   [&](size_t i, std::vector<size_t>& out) {
                                     if (p.matches(f.texts[i])) out.push_back(i);
                                   })
        .size();
  });
}

// A pattern with nested repeats over cells where the backtracking matcher
// runs out of steps at the '!': each cell is settled by the automaton matcher,
// and every one of them matches.
void BM_NestedRepeatSheet(benchmark::State& state) {
  static const CellStore store = [] {
    CellStore s;
    for (uint32_t row = 1; row <= 100; ++row) {
      (void)cell_map_insert(s.edit(), row, 1,
                            SharedCell::make(build_cell(row, 1, "Note about the shipment delay! Qty: 5", std::nullopt,
                                                        "n", std::nullopt)));
    }
    return s;
  }();
  static const BorrowedHandles<CoreCell> cells = sort_cells_by_coordinate(store.map());
  with_thread_count(threads_of(state), [&] {
    size_t hits = 0;
    for (auto _ : state) hits = find_cells_by_regex_core(R"((\w+\s?)+:\s*\d)", cells).value().size();
    state.counters["hits"] = static_cast<double>(hits);
  });
}

// Every cell locked and its position read (no hit): the floor of a scan.
void BM_FindCellByCoordsAbsent(benchmark::State& state) {
  run(state, [](const Fixture& f) { return size_t{find_cell_by_coords_core(0, 0, f.sorted) ? 1u : 0u}; });
}

void BM_FindCellsByRegex(benchmark::State& state) {
  const char* regex = kScanRegexes[state.range(1)];
  state.SetLabel(regex);
  run(state, [&](const Fixture& f) { return find_cells_by_regex_core(regex, f.sorted).value().size(); });
}

void BM_FindCellsByStr(benchmark::State& state) {
  run(state, [](const Fixture& f) { return find_cells_by_str_core("Yankee", f.sorted).size(); });
}

void BM_FindCellByStrAbsent(benchmark::State& state) {
  run(state, [](const Fixture& f) { return size_t{find_cell_by_str_core("absent", f.sorted) ? 1u : 0u}; });
}

void BM_SortedCellList(benchmark::State& state) {
  run(state, [](const Fixture& f) { return sort_cells_by_coordinate(f.store.map()).size(); });
}

// The kept list built again after an edit: what the first search after a
// change of the map pays instead of sort_cells_by_coordinate.
void BM_KeptCellListAfterEdit(benchmark::State& state) {
  static CellStore store = fixture().store;  // a copy shares the cells, not a kept list
  run(state, [](const Fixture&) {
    (void)store.edit();
    return sorted_cells(store).size();
  });
}

void BM_GetCellsByRange(benchmark::State& state) {
  static const CellStore store = fixture().store;  // a copy shares the cells, not a kept list
  run(state, [](const Fixture&) {
    return get_cells_by_range_core(store, 20000, 70000, 2, 9).size();  // 400,000 cells
  });
}

// The same range answered from a kept list.
void BM_GetCellsByRangeKept(benchmark::State& state) {
  static const CellStore store = fixture().store;
  (void)sorted_cells(store);
  run(state, [](const Fixture&) { return get_cells_by_range_core(store, 20000, 70000, 2, 9).size(); });
}

// Single cells looked up by position, one after another row by row (0) or
// at random (1): the map's probe, the cell's count, nothing scanned.
void BM_CellLookup(benchmark::State& state) {
  const CellStore& store = fixture().store;
  std::vector<Coordinate> at;
  for (uint32_t row = 1; row <= kRows; ++row) {
    for (uint16_t col = 1; col <= kColumns; ++col) at.push_back({row, col});
  }
  if (state.range(0) == 1) std::shuffle(at.begin(), at.end(), std::mt19937(1));
  for (auto _ : state) {
    size_t found = 0;
    for (const Coordinate c : at) found += static_cast<bool>(sheet_find_cell_by_coords(store, c.row, c.column));
    benchmark::DoNotOptimize(found);
  }
  state.counters["ns_per_lookup"] = benchmark::Counter(static_cast<double>(state.iterations() * at.size()),
                                                       benchmark::Counter::kIsRate | benchmark::Counter::kInvert);
}

#define VELLIX_THREADS(b) BENCHMARK(b)->Arg(1)->Arg(0)->Unit(benchmark::kMillisecond)->UseRealTime()
#define VELLIX_THREADS_AND_REGEXES(b) \
  BENCHMARK(b)->ArgsProduct({{1, 0}, {0, 1, 2}})->Unit(benchmark::kMillisecond)->UseRealTime()
VELLIX_THREADS_AND_REGEXES(BM_BarePatternScan);
VELLIX_THREADS(BM_BareTrimmedCompare);
BENCHMARK(BM_PatternScan)->ArgsProduct({{1}, {0, 1, 2, 3}})->Unit(benchmark::kMillisecond)->UseRealTime();
VELLIX_THREADS(BM_NestedRepeatSheet);
VELLIX_THREADS(BM_ValueTexts);
VELLIX_THREADS(BM_FindCellByCoordsAbsent);
VELLIX_THREADS_AND_REGEXES(BM_FindCellsByRegex);
VELLIX_THREADS(BM_FindCellsByStr);
VELLIX_THREADS(BM_FindCellByStrAbsent);
VELLIX_THREADS(BM_SortedCellList);
VELLIX_THREADS(BM_KeptCellListAfterEdit);
VELLIX_THREADS(BM_GetCellsByRange);
VELLIX_THREADS(BM_GetCellsByRangeKept);
BENCHMARK(BM_CellLookup)->Arg(0)->Arg(1)->Unit(benchmark::kMillisecond);

}  // namespace
}  // namespace vellix::core

BENCHMARK_MAIN();
