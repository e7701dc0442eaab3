#include "core/queries.hpp"

#include <gtest/gtest.h>

#include <algorithm>
#include <random>
#include <string>
#include <vector>

#include "cell_list_fixture.hpp"
#include "core/search.hpp"

namespace vellix::core {
namespace {

using testing::coordinates;
using testing::make_cell;
using testing::under_each_thread_count;
using testing::value_texts;

struct Placed {
  uint32_t row;
  uint16_t col;
  const char* text;
};

CellStore store_of(std::initializer_list<Placed> cells) {
  CellStore store;
  for (const Placed& p : cells) (void)cell_map_insert(store.map, p.row, p.col, make_cell(p.row, p.col, p.text));
  return store;
}

std::vector<Coordinate> coordinates_of(const std::vector<const SharedCell*>& cells) {
  std::vector<Coordinate> out;
  for (const SharedCell* c : cells) {
    auto r = c->read();
    out.push_back({r->row, r->column});
  }
  return out;
}

TEST(DirectLookups, AMissingCellAndAnEmptyCellDifferOnlyInFindValue) {
  CellStore store = store_of({{1, 1, ""}, {2, 1, "2.5"}, {3, 1, "TRUE"}, {4, 1, "x"}});
  EXPECT_EQ(sheet_get_value_cell(store, 1, 1), "");
  EXPECT_EQ(sheet_get_value_cell(store, 9, 9), "");
  EXPECT_EQ(sheet_find_value_by_coords(store, 1, 1), std::optional<std::string>(""));
  EXPECT_EQ(sheet_find_value_by_coords(store, 9, 9), std::nullopt);
  EXPECT_EQ(sheet_get_value_cell(store, 2, 1), "2.5");
  EXPECT_EQ(sheet_get_value_cell(store, 3, 1), "true");
  EXPECT_EQ(sheet_find_value_by_coords(store, 4, 1), std::optional<std::string>("x"));
  EXPECT_EQ(sheet_find_cell_by_coords(store, 4, 1), store.map.at(Coordinate{4, 1}));
  EXPECT_FALSE(sheet_find_cell_by_coords(store, 1, 4));
  EXPECT_EQ(sheet_max_row(store), 4u);
  EXPECT_EQ(sheet_max_column(store), 1u);
  (void)cell_map_insert(store.map, 4294967295u, 9, make_cell(1, 1, ""));
  EXPECT_EQ(sheet_max_row(store), 4294967295u);  // the keys decide, not the cells
  EXPECT_EQ(sheet_max_column(store), 9u);
}

TEST(SortedCells, ComeByRowThenColumnWhateverTheInsertionOrder) {
  CellStore store = store_of({{5, 1, "a"}, {1, 2, "b"}, {1, 1, "c"}});
  EXPECT_EQ(coordinates_of(sort_cells_by_coordinate(store.map)),
            (std::vector<Coordinate>{{1, 1}, {1, 2}, {5, 1}}));
  EXPECT_EQ(value_texts(find_cells_by_regex_core("", sort_cells_by_coordinate(store.map)).value()),
            (std::vector<std::string>{"c", "b", "a"}));
}

TEST(SortedCells, ALargeSheetSortsAlikeUnderAnyThreadCount) {
  CellStore store;
  std::mt19937 rng(3);
  std::vector<Coordinate> expected;
  while (store.map.size() < 100000) {
    Coordinate at{static_cast<uint32_t>(rng() % 5000 + 1), static_cast<uint16_t>(rng() % 300 + 1)};
    if (!cell_map_insert(store.map, at.row, at.column, make_cell(at.row, at.column, "v"))) expected.push_back(at);
  }
  std::sort(expected.begin(), expected.end());
  auto results = under_each_thread_count<std::vector<Coordinate>>(
      [&] { return coordinates_of(sort_cells_by_coordinate(store.map)); });
  for (const auto& got : results) EXPECT_EQ(got, expected);
  // The range query sorts its hits the same way.
  auto ranged = under_each_thread_count<std::vector<Coordinate>>(
      [&] { return coordinates(get_cells_by_range_core(store, 100, 4000, 7, 250)); });
  std::vector<Coordinate> inside;
  std::copy_if(expected.begin(), expected.end(), std::back_inserter(inside), [](Coordinate c) {
    return c.row >= 100 && c.row <= 4000 && c.column >= 7 && c.column <= 250;
  });
  for (const auto& got : ranged) EXPECT_EQ(got, inside);
}

TEST(RangeQuery, AbsentBoundsTakeTheSheetLimits) {
  CellStore store = store_of({{1, 1, "a"}, {1048576, 16384, "corner"}, {1048577, 1, "below"}, {1, 16385, "right"},
                              {2, 3, "b"}, {0, 1, "row zero"}, {3, 0, "column zero"}});
  const auto none = std::nullopt;
  EXPECT_EQ(coordinates(get_cells_by_range_core(store, none, none, none, none)),
            (std::vector<Coordinate>{{1, 1}, {2, 3}, {1048576, 16384}}));
  EXPECT_EQ(coordinates(get_cells_by_range_core(store, 2, 2, 3, 3)), (std::vector<Coordinate>{{2, 3}}));
  EXPECT_EQ(coordinates(get_cells_by_range_core(store, 0, UINT32_MAX, 0, UINT16_MAX)).size(), 7u);
  EXPECT_TRUE(get_cells_by_range_core(store, 3, 2, none, none).empty());
  EXPECT_TRUE(get_cells_by_range_core(store, none, none, 4, 3).empty());
}

TEST(SheetSearches, SingleCellSearchesReturnOneOfEqualHitsAndMultiCellOnesBoth) {
  CellStore store = store_of({{2, 2, "same"}, {4, 2, "other"}, {1, 1, "same"}});
  for (const SharedCell& found : {sheet_find_cell_by_str(store, " same "), sheet_find_cell_by_regex(store, "^SAME$").value()}) {
    ASSERT_TRUE(found);
    EXPECT_EQ(found.read()->value.as_string(), "same");
  }
  EXPECT_EQ(coordinates(find_cells_by_str_core("same", sort_cells_by_coordinate(store.map))),
            (std::vector<Coordinate>{{1, 1}, {2, 2}}));
}

TEST(SheetSearches, LetterReferencesFollowTheCellsOwnPosition) {
  CellStore store = store_of({{1, 1, "a1"}, {2, 2, "b2"}});
  auto found = sheet_find_cell_by_letter(store, "$b$2");
  ASSERT_TRUE(found.ok());
  EXPECT_EQ(found.value(), store.map.at(Coordinate{2, 2}));
  // A shared cell that row deletion in another sheet moved down to row 5.
  store.map.at(Coordinate{1, 1}).write()->row = 5;
  EXPECT_FALSE(sheet_find_cell_by_letter(store, "A1").value());
  EXPECT_EQ(sheet_find_cell_by_letter(store, "A5").value(), store.map.at(Coordinate{1, 1}));
  auto invalid = sheet_find_cell_by_letter(store, "AAAA1");
  ASSERT_FALSE(invalid.ok());
  EXPECT_EQ(invalid.error().message, "invalid cell reference: 'AAAA1'");
}

TEST(SheetSearches, BandsScanTheSortedList) {
  CellStore store = store_of({{4, 1, "end"}, {3, 2, "x"}, {2, 1, "Start"}, {5, 1, "after"}, {1, 1, "end"}});
  EXPECT_EQ(coordinates(sheet_find_cells_multi_regex(store, "start", "end").value()),
            (std::vector<Coordinate>{{2, 1}, {4, 1}}));
  EXPECT_EQ(coordinates(sheet_find_cells_between_regex(store, "start", "end").value()),
            (std::vector<Coordinate>{{2, 1}, {3, 2}, {4, 1}}));
}

TEST(SheetSearches, AnEmptySheetFindsNothingButStillRejectsBadPatterns) {
  CellStore store;
  EXPECT_TRUE(sort_cells_by_coordinate(store.map).empty());
  EXPECT_TRUE(get_cells_by_range_core(store, std::nullopt, std::nullopt, std::nullopt, std::nullopt).empty());
  EXPECT_FALSE(sheet_find_cell_by_str(store, ""));
  EXPECT_FALSE(sheet_find_cell_by_regex(store, "").value());
  EXPECT_FALSE(sheet_find_cell_by_letter(store, "A1").value());
  EXPECT_TRUE(sheet_find_cells_multi_regex(store, "", "").value().empty());
  EXPECT_TRUE(sheet_find_cells_between_regex(store, "", "").value().empty());
  EXPECT_FALSE(sheet_find_cell_by_regex(store, "(").ok());
  EXPECT_FALSE(sheet_find_cells_multi_regex(store, "a", "(").ok());
  EXPECT_FALSE(sheet_find_cells_between_regex(store, "(", "a").ok());
}

}  // namespace
}  // namespace vellix::core
