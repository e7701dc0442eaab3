#include "core/sheet/queries.hpp"

#include <gtest/gtest.h>

#include <algorithm>
#include <optional>
#include <vector>

#include "cell_list_fixture.hpp"

namespace vellix::core {
namespace {

using testing::coordinates;
using testing::store_of;
using Coordinates = std::vector<Coordinate>;
constexpr auto kNone = std::nullopt;

TEST(RangeQuery, AbsentBoundsTakeTheSheetLimits) {
  CellStore store = store_of({{1, 1, "a"},
                              {1048576, 16384, "corner"},
                              {1048577, 1, "below"},
                              {1, 16385, "right"},
                              {2, 3, "b"},
                              {0, 1, "row zero"}});
  EXPECT_EQ(coordinates(get_cells_by_range_core(store, kNone, kNone, kNone, kNone)),
            (Coordinates{{1, 1}, {2, 3}, {1048576, 16384}}));
  EXPECT_EQ(coordinates(get_cells_by_range_core(store, 2, 2, 3, 3)), (Coordinates{{2, 3}}));
  EXPECT_EQ(get_cells_by_range_core(store, 0, UINT32_MAX, 0, UINT16_MAX).size(), 6u);
  EXPECT_TRUE(get_cells_by_range_core(store, 3, 2, kNone, kNone).empty());
}

TEST(SheetSearches, LetterReferencesFollowTheCellsOwnPosition) {
  CellStore store = store_of({{1, 1, "a1"}, {2, 2, "b2"}});
  // A shared cell that row deletion in another sheet moved down.
  sheet_find_cell_by_coords(store, 1, 1).write()->row = 5;
  EXPECT_FALSE(sheet_find_cell_by_letter(store, "A1").value());
  EXPECT_EQ(sheet_find_cell_by_letter(store, "A5").value(), sheet_find_cell_by_coords(store, 1, 1));
}

}  // namespace
}  // namespace vellix::core
