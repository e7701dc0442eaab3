#include "core/sheet/sheet.hpp"

#include <gtest/gtest.h>

#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "cell_list_fixture.hpp"
#include "core/sheet/queries.hpp"
#include "core/value/cell_edit.hpp"

namespace vellix::core {
namespace {

using testing::make_cell;

TEST(CopySheet, SharesExistingCellsAndCommentsButNotLaterOnesAndReleasesTheSource) {
  SheetList book;
  const SharedSheet source = add_sheet_core(book, "Data", "hidden");
  {
    auto w = source.write();
    (void)cell_map_insert(w->cells.edit(), 1, 1, make_cell(1, 1, "5"));
    w->comments.push_back(SharedComment::make(CoreComment{1, 1, "ann", "note"}));
    w->merge_cells.push_back({1, 2, 1, 3});
    w->row_dimensions.rows[4] = RowDimension{4, 30.0, true, false, 0};
  }
  const uint64_t refs = source.use_count();
  const SharedSheet copy = copy_sheet_core(book, source);
  EXPECT_EQ(source.use_count(), refs);
  {
    const auto c = copy.read();
    EXPECT_EQ(c->name + " " + c->sheet_state, "Sheet 2 hidden");
    EXPECT_EQ(c->comments, source.read()->comments);
    set_cell_value_from_text(sheet_find_cell_by_coords(c->cells, 1, 1).write()->value, "hello");
  }
  EXPECT_EQ(cell_value_text(sheet_find_cell_by_coords(source.read()->cells, 1, 1).read()->value), "hello");

  {
    auto w = copy.write();
    (void)cell_map_insert(w->cells.edit(), 2, 2, make_cell(2, 2, "7"));
    w->comments.push_back(SharedComment::make(CoreComment{2, 2, "bob", "later"}));
    w->merge_cells.push_back({5, 5, 5, 5});
    w->row_dimensions.rows[4].height = 99.0;
  }
  const auto r = source.read();
  EXPECT_EQ(r->cells.map().size() + r->comments.size() + r->merge_cells.size(), 3u);  // one of each, as before
  EXPECT_EQ(r->row_dimensions.rows.at(4).height, 30.0);
}

TEST(CellMapInsert, ReplacesAndReturnsTheOldHandle) {
  CellMap map;
  const SharedCell a = make_cell(1, 1, "a"), b = make_cell(1, 1, "b");
  EXPECT_FALSE(cell_map_insert(map, 1, 1, a));
  EXPECT_EQ(cell_map_insert(map, 1, 1, b), a);
  EXPECT_EQ(a.use_count(), 1u);  // the map let go of it
  EXPECT_EQ(map.size(), 1u);
  EXPECT_EQ(map.find(Coordinate{1, 1})->handle(), b);
}

// A cell asked for with a value text takes its typed value and drops any
// formula; asked for without one, a formula cell stays and any other turns "s".
TEST(CellAt, TypesItsTextOrMarksAnExistingCell) {
  enum class Earlier { kNone, kFormula, kNumber };
  struct Case {
    std::optional<std::string_view> text;
    std::string_view value, data_type;
  };
  const Case cases[] = {
      {std::nullopt, "", "s"},
      {"", "", "s"},
      {"True", "true", "b"},
      {"12", "12", "n"},
      {"2024-01-02 03:04:05", "2024-01-02 03:04:05", "d"},
      {" 12", " 12", "s"},
  };
  for (const Case& c : cases) {
    for (Earlier earlier : {Earlier::kNone, Earlier::kFormula, Earlier::kNumber}) {
      SheetList book;
      const SharedSheet sheet = add_sheet_core(book, "S", "visible");
      std::string_view value = c.value, data_type = c.data_type;
      if (earlier != Earlier::kNone) {
        const SharedCell first = cell_at(sheet, 3, 4, "9");
        auto w = first.write();
        set_cell_text(*w, &CellExtras::style_id, Text("s1"));
        if (earlier == Earlier::kFormula) store_cell_formula(*w, "=NOW()");
        if (!c.text) value = "9", data_type = earlier == Earlier::kFormula ? "f" : "s";
      }
      const SharedCell cell = cell_at(sheet, 3, 4, c.text);
      const auto r = cell.read();
      SCOPED_TRACE(std::string(c.text.value_or("<none>")) + " after " + std::to_string(static_cast<int>(earlier)));
      EXPECT_EQ(r->row, 3u);
      EXPECT_EQ(r->column, 4u);
      EXPECT_EQ(cell_value_text(r->value), value);
      EXPECT_EQ(cell_data_type(*r), data_type);
      EXPECT_EQ(sheet.read()->cells.map().size(), 1u);
      EXPECT_EQ(cell_text(*r, &CellExtras::formula).has_value(), data_type == "f");
      EXPECT_EQ(cell_text(*r, &CellExtras::style_id).has_value(), earlier != Earlier::kNone);
    }
  }
}

}  // namespace
}  // namespace vellix::core
