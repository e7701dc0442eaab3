#include "core/sheet/sheet_rows.hpp"

#include <gtest/gtest.h>

#include <algorithm>
#include <set>
#include <string>
#include <tuple>
#include <vector>

#include "cell_list_fixture.hpp"

namespace vellix::core {
namespace {

using testing::make_cell;

constexpr uint32_t kU32 = 4294967295u;
constexpr uint16_t kU16 = 65535;

using Placed = std::tuple<uint32_t, uint16_t>;
using Left = std::tuple<uint32_t, uint16_t, std::string>;

std::string label(uint32_t row, uint16_t col) {
  std::string text = "r";
  text += std::to_string(row);
  text += 'c';
  text += std::to_string(col);
  return text;
}

// Cells valued "r<row>c<column>" at the given places.
CoreSheet filled(const std::vector<Placed>& places) {
  CoreSheet sheet;
  for (const auto& [row, col] : places) {
    (void)cell_map_insert(sheet.cells.edit(), row, col, make_cell(row, col, label(row, col), "s"));
  }
  return sheet;
}

// (row, column, value) of every cell by row, then column; each cell must be
// filed under its own coordinate.
std::vector<Left> left(const CoreSheet& sheet) {
  std::vector<Left> out;
  for (const CellEntry& entry : sheet.cells.map()) {
    auto c = entry.cell()->read();
    EXPECT_EQ(entry.at(), (Coordinate{c->row, c->column}));
    out.emplace_back(c->row, c->column, cell_value_text(c->value));
  }
  std::sort(out.begin(), out.end());
  return out;
}

struct Deletion {
  bool rows;
  std::vector<Placed> places;
  uint32_t idx, amount;
  std::vector<Left> expected;
};

std::vector<Placed> column_of(uint16_t col) {
  std::vector<Placed> out;
  for (uint32_t r = 1; r <= 5; ++r) out.emplace_back(r, col);
  return out;
}

std::vector<Placed> row_of(uint32_t row) {
  std::vector<Placed> out;
  for (uint16_t c = 1; c <= 5; ++c) out.emplace_back(row, c);
  return out;
}

TEST(DeleteBand, DropsTheBandAndMovesWhatLiesBehind) {
  const Deletion cases[] = {
      {true, column_of(1), 2, 2, {{1, 1, "r1c1"}, {2, 1, "r4c1"}, {3, 1, "r5c1"}}},
      {true, {{1, 1}, {5, 1}}, 10, 3, {{1, 1, "r1c1"}, {5, 1, "r5c1"}}},
      {true, {{1, 1}, {2, 2}, {3, 3}}, 2, 0, {{1, 1, "r1c1"}, {2, 2, "r2c2"}, {3, 3, "r3c3"}}},
      {true, column_of(2), 3, kU32, {{1, 2, "r1c2"}, {2, 2, "r2c2"}}},
      {true, {{0, 1}, {1, 1}, {2, 1}}, 0, 1, {{0, 1, "r1c1"}, {1, 1, "r2c1"}}},
      {true, {{kU32, 1}, {1, 1}}, 1, kU32 - 1, {{1, 1, label(kU32, 1)}}},
      {false, row_of(2), 2, 2, {{2, 1, "r2c1"}, {2, 2, "r2c4"}, {2, 3, "r2c5"}}},
      {false, {{1, 0}, {1, 1}, {2, kU16}}, 1, kU16, {{1, 0, "r1c0"}}},
      {false, {{1, 0}, {1, 1}, {3, 4}}, 0, 1, {{1, 0, "r1c1"}, {3, 3, "r3c4"}}},
  };
  for (const Deletion& d : cases) {
    CoreSheet sheet = filled(d.places);
    if (d.rows) {
      delete_rows_core(sheet, d.idx, d.amount);
    } else {
      delete_cols_core(sheet, static_cast<uint16_t>(d.idx), static_cast<uint16_t>(d.amount));
    }
    EXPECT_EQ(left(sheet), d.expected) << (d.rows ? "rows " : "cols ") << d.idx << " " << d.amount;
  }
}

TEST(DeleteBand, ReordersTheMapEvenWhenNothingMoves) {
  for (bool rows : {true, false}) {
    std::vector<Placed> diagonal;
    for (uint16_t i = 1; i <= 40; ++i) diagonal.emplace_back(i, i);
    CoreSheet sheet = filled(diagonal);
    std::set<Coordinate> firsts;
    for (int i = 0; i < 12; ++i) {
      rows ? delete_rows_core(sheet, 1000, 0) : delete_cols_core(sheet, 1000, 0);
      firsts.insert(sheet.cells.map().begin()->at());
    }
    EXPECT_GT(firsts.size(), 1u);
    EXPECT_EQ(sheet.cells.map().size(), 40u);
  }
}

}  // namespace
}  // namespace vellix::core
