#include "core/sheet/cell_map.hpp"

#include <gtest/gtest.h>

#include <functional>
#include <optional>
#include <utility>
#include <vector>

#include "cell_list_fixture.hpp"

namespace vellix::core {
namespace {

using testing::make_cell;

// Every entry holds one count on its cell, through the moves of a growing
// map, a copy, a replacement and removals; a lookup by position finds the
// very cell filed there.
TEST(CellMap, EachEntryHoldsOneCountOnTheCellFiledThere) {
  constexpr uint32_t kCells = 20000;  // the map grows many times
  std::vector<SharedCell> cells;
  std::optional<CellMap> map(std::in_place);
  for (uint32_t i = 0; i < kCells; ++i) {
    // Rows and columns at both ends of their ranges share the entry with the address.
    const Coordinate at{i % 2 ? UINT32_MAX - i : i, static_cast<uint16_t>(i % 3 ? UINT16_MAX - i % 7 : i % 7)};
    cells.push_back(make_cell(at.row, at.column, "v"));
    EXPECT_FALSE(cell_map_insert(*map, at.row, at.column, cells.back()));
  }
  auto filed = [&](const CellMap& m, uint32_t i) {
    const auto r = cells[i].read();
    const auto it = m.find(Coordinate{r->row, r->column});
    return it == m.end() ? SharedCell() : it->handle();
  };
  for (uint32_t i = 0; i < kCells; ++i) {
    EXPECT_EQ(filed(*map, i), cells[i]);
    EXPECT_EQ(cells[i].use_count(), 2u);
  }
  {
    const CellMap copy = *map;
    for (const SharedCell& c : cells) EXPECT_EQ(c.use_count(), 3u);
    EXPECT_EQ(filed(copy, kCells - 1), cells.back());
  }
  const SharedCell other = make_cell(0, 0, "w");
  EXPECT_EQ(cell_map_insert(*map, 0, 0, other), cells[0]);
  EXPECT_EQ(filed(*map, 0), other);
  for (uint32_t i = 1; i < kCells; i += 2) {
    const auto r = cells[i].read();
    EXPECT_EQ(map->erase(Coordinate{r->row, r->column}), 1u);
  }
  for (uint32_t i = 0; i < kCells; ++i) EXPECT_EQ(cells[i].use_count(), i % 2 || i == 0 ? 1u : 2u) << i;
  map.reset();
  for (const SharedCell& c : cells) EXPECT_EQ(c.use_count(), 1u);
  EXPECT_EQ(other.use_count(), 1u);
}

// An entry gives back nothing itself: each way a cell leaves a map gives
// its count back once, and only that cell's.
TEST(CellMap, EveryWayOutGivesTheCountBackOnce) {
  const std::pair<const char*, std::function<void(std::optional<CellMap>&)>> ways[] = {
      {"erase", [](std::optional<CellMap>& m) { EXPECT_EQ(m->erase(Coordinate{1, 1}), 1u); }},
      {"clear", [](std::optional<CellMap>& m) { m->clear(); }},
      {"moved over", [](std::optional<CellMap>& m) { *m = CellMap(); }},
      {"copied over", [](std::optional<CellMap>& m) {
         const CellMap other;
         *m = other;
       }},
      {"end", [](std::optional<CellMap>& m) { m.reset(); }},
  };
  for (const auto& [way, leave] : ways) {
    const SharedCell cell = make_cell(1, 1, "v");
    std::optional<CellMap> map(std::in_place);
    (void)cell_map_insert(*map, 1, 1, cell);
    const CellMap kept = *map;  // a copy keeps its own count through it all
    EXPECT_EQ(cell.use_count(), 3u) << way;
    leave(map);
    EXPECT_EQ(cell.use_count(), 2u) << way;
  }
}

}  // namespace
}  // namespace vellix::core
