#include <gtest/gtest.h>

#include <random>

#include "../sheet/cell_list_fixture.hpp"
#include "alloc_hook.hpp"
#include "core/sheet/queries.hpp"

namespace vellix::core {
namespace {

using testing::add_random_cells;
using testing::live_bytes;

TEST(SortedCells, TheKeptListIsFreedByAnEditAndWithItsSheet) {
  constexpr size_t kCells = 100000;
  std::mt19937 rng(7);
  {
    CellStore warm;  // the pool's and the test's own first-use allocations happen here
    add_random_cells(warm, kCells, rng);
    (void)sorted_cells(warm);
  }
  const int64_t before = live_bytes();
  {
    SheetList book;
    const SharedSheet sheet = add_sheet_core(book, "S", "visible");
    add_random_cells(sheet.write()->cells, kCells, rng);
    const int64_t filled = live_bytes();
    (void)sorted_cells(sheet.read()->cells);
    EXPECT_GE(live_bytes() - filled, static_cast<int64_t>(kCells * 8));  // a handle per cell
    (void)sheet.write()->cells.edit();
    EXPECT_LT(live_bytes() - filled, 4096);
    (void)sorted_cells(sheet.read()->cells);
  }
  EXPECT_LT(live_bytes() - before, 4096);
}

}  // namespace
}  // namespace vellix::core
