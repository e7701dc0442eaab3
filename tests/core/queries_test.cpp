#include "core/queries.hpp"

#include <gtest/gtest.h>

#include <algorithm>
#include <random>
#include <vector>

#include "cell_list_fixture.hpp"

namespace vellix::core {
namespace {

using testing::coordinates;
using testing::make_cell;
using Coordinates = std::vector<Coordinate>;
constexpr auto kNone = std::nullopt;

CellStore store_of(const std::vector<testing::PlacedCell>& cells) {
  CellStore store;
  for (const auto& [row, col, text] : cells) (void)cell_map_insert(store.map, row, col, make_cell(row, col, text));
  return store;
}

// Enough cells for the sorts to run on the pool: the same order under any
// thread count, from the sorted list and from the range query alike.
TEST(SortedCells, ComeByRowThenColumnUnderAnyThreadCount) {
  CellStore store;
  std::mt19937 rng(3);
  while (store.map.size() < 100000) {
    const Coordinate at{static_cast<uint32_t>(rng() % 5000 + 1), static_cast<uint16_t>(rng() % 300 + 1)};
    (void)cell_map_insert(store.map, at.row, at.column, make_cell(at.row, at.column, "v"));
  }
  Coordinates expected;
  for (const auto& entry : store.map) expected.push_back(entry.first);
  std::sort(expected.begin(), expected.end());
  for (const auto& got : testing::under_each_thread_count<Coordinates>([&] {
         std::vector<SharedCell> sorted;
         for (const SharedCell* c : sort_cells_by_coordinate(store.map)) sorted.push_back(*c);
         return coordinates(sorted);
       })) {
    EXPECT_EQ(got, expected);
  }
  std::erase_if(expected, [](Coordinate c) { return c.row < 100 || c.row > 4000 || c.column < 7 || c.column > 250; });
  for (const auto& got : testing::under_each_thread_count<Coordinates>(
           [&] { return coordinates(get_cells_by_range_core(store, 100, 4000, 7, 250)); })) {
    EXPECT_EQ(got, expected);
  }
}

TEST(RangeQuery, AbsentBoundsTakeTheSheetLimits) {
  CellStore store = store_of({{1, 1, "a"}, {1048576, 16384, "corner"}, {1048577, 1, "below"}, {1, 16385, "right"},
                              {2, 3, "b"}, {0, 1, "row zero"}});
  EXPECT_EQ(coordinates(get_cells_by_range_core(store, kNone, kNone, kNone, kNone)),
            (Coordinates{{1, 1}, {2, 3}, {1048576, 16384}}));
  EXPECT_EQ(coordinates(get_cells_by_range_core(store, 2, 2, 3, 3)), (Coordinates{{2, 3}}));
  EXPECT_EQ(get_cells_by_range_core(store, 0, UINT32_MAX, 0, UINT16_MAX).size(), 6u);
  EXPECT_TRUE(get_cells_by_range_core(store, 3, 2, kNone, kNone).empty());
}

TEST(SheetSearches, LetterReferencesFollowTheCellsOwnPosition) {
  CellStore store = store_of({{1, 1, "a1"}, {2, 2, "b2"}});
  store.map.at({1, 1}).write()->row = 5;  // a shared cell that row deletion in another sheet moved down
  EXPECT_FALSE(sheet_find_cell_by_letter(store, "A1").value());
  EXPECT_EQ(sheet_find_cell_by_letter(store, "A5").value(), store.map.at({1, 1}));
}

}  // namespace
}  // namespace vellix::core
