// The workbook model's costs: allocations when typing text, the value text
// of numbers, bytes per cell of a large sheet, and JSON export throughput.
//
// Allocations are counted through alloc_count.hpp (malloc interposed); every
// figure is reported as a counter.
#include <benchmark/benchmark.h>
#include <malloc.h>

#include <optional>
#include <string>
#include <vector>

#include "alloc_count.hpp"
#include "core/sheet/json.hpp"
#include "core/sheet/sheet.hpp"
#include "core/value/value.hpp"

namespace vellix::core {
namespace {

constexpr int kRows = 10000;
constexpr int kColumns = 100;  // one million cells

// Allocations per iteration of the measured loop.
template <class F>
void count_allocations(benchmark::State& state, F&& body) {
  uint64_t allocations = 0;
  for (auto _ : state) {
    const uint64_t before = g_allocations.load(std::memory_order_relaxed);
    body();
    allocations += g_allocations.load(std::memory_order_relaxed) - before;
  }
  state.counters["allocs_per_op"] = benchmark::Counter(static_cast<double>(allocations) / state.iterations());
}

void BM_TypeText(benchmark::State& state, const char* text) {
  CellValue slot;
  count_allocations(state, [&] {
    set_cell_value_from_text(slot, text);
    benchmark::DoNotOptimize(slot);
  });
}
BENCHMARK_CAPTURE(BM_TypeText, integer, "12345");
BENCHMARK_CAPTURE(BM_TypeText, number, "1.5");
BENCHMARK_CAPTURE(BM_TypeText, boolean, "true");
BENCHMARK_CAPTURE(BM_TypeText, boolean_long_s, "fal\u017fe");
BENCHMARK_CAPTURE(BM_TypeText, datetime, "2024-01-02 03:04:05");
BENCHMARK_CAPTURE(BM_TypeText, string, "hello world");

void BM_NumberValueText(benchmark::State& state, double d) {
  const CellValue v = CellValue::number(d);
  std::string scratch;
  scratch.reserve(400);
  count_allocations(state, [&] { benchmark::DoNotOptimize(cell_value_text_view(v, scratch)); });
}
BENCHMARK_CAPTURE(BM_NumberValueText, whole, 12345.0);
BENCHMARK_CAPTURE(BM_NumberValueText, small, 1.5);
BENCHMARK_CAPTURE(BM_NumberValueText, round_trip, 0.1 + 0.2);
BENCHMARK_CAPTURE(BM_NumberValueText, large, 1e21);
BENCHMARK_CAPTURE(BM_NumberValueText, subnormal, 5e-324);

void BM_DateTimeValueText(benchmark::State& state) {
  const CellValue v = parse_cell_value("2024-01-02 03:04:05");
  std::string scratch;
  scratch.reserve(64);
  count_allocations(state, [&] { benchmark::DoNotOptimize(cell_value_text_view(v, scratch)); });
}
BENCHMARK(BM_DateTimeValueText);

void fill_integer_cells(const SharedSheet& sheet) {
  auto w = sheet.write();
  for (uint32_t r = 1; r <= kRows; ++r) {
    for (uint16_t c = 1; c <= kColumns; ++c) {
      CoreCell cell;
      cell.row = r;
      cell.column = c;
      cell.value = CellValue::integer(static_cast<int32_t>(r * 1000 + c));
      cell.type_letter = data_type_letter(cell.value);
      (void)cell_map_insert(w->cells.edit(), r, c, SharedCell::make(std::move(cell)));
    }
  }
}

size_t heap_in_use() {
  const struct mallinfo2 mi = mallinfo2();
  return mi.uordblks + mi.hblkhd;  // large blocks (the map's table) are mmapped
}

void BM_SheetBytesPerCell(benchmark::State& state) {
  for (auto _ : state) {
    SheetList book;
    const size_t before = heap_in_use();
    const SharedSheet sheet = add_sheet_core(book, "S", "visible");
    fill_integer_cells(sheet);
    const size_t after = heap_in_use();
    state.counters["bytes_per_cell"] = static_cast<double>(after - before) / (kRows * kColumns);
  }
}
BENCHMARK(BM_SheetBytesPerCell)->Iterations(1)->Unit(benchmark::kMillisecond);

// Dropping a filled sheet, never searched (0) or after a search built its kept list (1).
void BM_DropSheet(benchmark::State& state) {
  for (auto _ : state) {
    state.PauseTiming();
    std::optional<SheetList> book(std::in_place);
    SharedSheet sheet = add_sheet_core(*book, "S", "visible");
    fill_integer_cells(sheet);
    if (state.range(0) == 1) (void)sorted_cells(sheet.read()->cells);
    state.ResumeTiming();
    book.reset();
    sheet = SharedSheet();  // the last handle
  }
  state.counters["ns_per_cell"] = benchmark::Counter(static_cast<double>(state.iterations()) * kRows * kColumns,
                                                     benchmark::Counter::kIsRate | benchmark::Counter::kInvert);
}
BENCHMARK(BM_DropSheet)->Arg(0)->Arg(1)->Iterations(5)->Unit(benchmark::kMillisecond);

void BM_BookToJson(benchmark::State& state) {
  SheetList book;
  fill_integer_cells(add_sheet_core(book, "S", "visible"));
  size_t bytes = 0;
  for (auto _ : state) {
    Result<std::string> text = book_to_json(book);
    bytes += text.value().size();
    benchmark::DoNotOptimize(text.value().data());
  }
  state.SetBytesProcessed(static_cast<int64_t>(bytes));
}
BENCHMARK(BM_BookToJson)->Unit(benchmark::kMillisecond);

// The export that follows an edit: it sorts the sheet again, where a repeated
// export reads the sorted list the sheet keeps.
void BM_BookToJsonAfterEdit(benchmark::State& state) {
  SheetList book;
  const SharedSheet sheet = add_sheet_core(book, "S", "visible");
  fill_integer_cells(sheet);
  size_t bytes = 0;
  for (auto _ : state) {
    (void)sheet.write()->cells.edit();
    Result<std::string> text = book_to_json(book);
    bytes += text.value().size();
    benchmark::DoNotOptimize(text.value().data());
  }
  state.SetBytesProcessed(static_cast<int64_t>(bytes));
}
BENCHMARK(BM_BookToJsonAfterEdit)->Unit(benchmark::kMillisecond);

// Mixed typing throughput: the cheap tests first, the fallbacks last.
void BM_ParseMixed(benchmark::State& state) {
  const std::vector<std::string> texts = {
      "12345",           "-7", "1.5", "1e21", "true", "FALSE", "2024-01-02 03:04:05", "hello", "", "nan", "007",
      "text with spaces"};
  size_t i = 0;
  for (auto _ : state) {
    benchmark::DoNotOptimize(parse_cell_value(texts[i]));
    if (++i == texts.size()) i = 0;
  }
}
BENCHMARK(BM_ParseMixed);

}  // namespace
}  // namespace vellix::core

BENCHMARK_MAIN();
