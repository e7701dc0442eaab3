#include "core/sheet.hpp"

#include <gtest/gtest.h>

#include <set>
#include <string>
#include <thread>
#include <vector>

namespace vellix::core {
namespace {

SharedCell new_cell(uint32_t row, uint16_t column, std::string_view text) {
  CoreCell cell = build_cell(row, column, text, std::nullopt, "n", std::nullopt);
  return SharedCell::make(std::move(cell));
}

void put_cell(const SharedSheet& sheet, uint32_t row, uint16_t column, std::string_view text) {
  (void)cell_map_insert(sheet.write()->cells.map, row, column, new_cell(row, column, text));
}

std::vector<std::string> names(const SheetList& book) {
  std::vector<std::string> out;
  for (const SharedSheet& s : book) out.push_back(s.read()->name);
  return out;
}

TEST(AddSheet, StartsEmptyWithDefaultsAndTheGivenTexts) {
  SheetList book;
  for (std::string_view state : {"visible", "", "anything at all"}) {
    const SharedSheet sheet = add_sheet_core(book, "S", state);
    const auto r = sheet.read();
    EXPECT_EQ(r->name, "S");
    EXPECT_EQ(r->sheet_state, state);
    EXPECT_TRUE(r->merge_cells.empty());
    EXPECT_TRUE(r->cells.map.empty());
    EXPECT_EQ(r->cells.default_value.kind(), ValueKind::Empty);
    EXPECT_TRUE(r->row_dimensions.rows.empty());
    EXPECT_TRUE(r->column_dimensions.columns.empty());
    EXPECT_EQ(r->row_dimensions.default_height, 20.0);
    EXPECT_EQ(r->column_dimensions.default_width, 22.5);
    EXPECT_TRUE(r->comments.empty());
    EXPECT_EQ(book.back(), sheet);
  }
  EXPECT_EQ(book.size(), 3u);
}

TEST(CopySheet, NamesTheCopyByCountAlone) {
  SheetList book;
  const SharedSheet first = add_sheet_core(book, "Data", "visible");
  EXPECT_EQ(copy_sheet_core(book, first).read()->name, "Sheet 2");
  const SharedSheet copy = book.back();
  EXPECT_EQ(copy_sheet_core(book, copy).read()->name, "Sheet 3");
  (void)add_sheet_core(book, "x", "visible");
  EXPECT_EQ(copy_sheet_core(book, first).read()->name, "Sheet 5");
  EXPECT_EQ(names(book), (std::vector<std::string>{"Data", "Sheet 2", "Sheet 3", "x", "Sheet 5"}));

  // A name may repeat: the rule never looks at existing names.
  SheetList other;
  (void)add_sheet_core(other, "Data", "v");
  (void)add_sheet_core(other, "Sheet 3", "v");
  EXPECT_EQ(copy_sheet_core(other, first).read()->name, "Sheet 3");
}

TEST(CopySheet, SharesExistingCellsAndCommentsButNotLaterOnes) {
  SheetList book;
  const SharedSheet source = add_sheet_core(book, "Data", "hidden");
  put_cell(source, 1, 1, "5");
  const SharedComment note = SharedComment::make(CoreComment{1, 1, "ann", "note"});
  {
    auto w = source.write();
    w->comments.push_back(note);
    w->merge_cells.push_back({1, 2, 1, 3});
    w->row_dimensions.rows[4] = RowDimension{4, 30.0, true, false, 0};
    w->column_dimensions.columns[3] = ColumnDimension{3, 10.0, false, false, 0};
  }
  const SharedSheet copy = copy_sheet_core(book, source);

  {
    const auto r = copy.read();
    EXPECT_EQ(r->sheet_state, "hidden");
    ASSERT_EQ(r->merge_cells.size(), 1u);
    EXPECT_EQ(r->merge_cells[0].end_col, 3);
    EXPECT_EQ(r->row_dimensions.rows.at(4).height, 30.0);
    EXPECT_TRUE(r->row_dimensions.rows.at(4).hidden);
    EXPECT_EQ(r->column_dimensions.columns.at(3).width, 10.0);
    ASSERT_EQ(r->comments.size(), 1u);
    EXPECT_EQ(r->comments[0], note);
    EXPECT_EQ(r->cells.map.at({1, 1}), source.read()->cells.map.at({1, 1}));
  }

  // An edit of a shared cell shows through both sheets.
  set_cell_value_from_text(copy.read()->cells.map.at({1, 1}).write()->value, "hello");
  EXPECT_EQ(cell_value_text(source.read()->cells.map.at({1, 1}).read()->value), "hello");

  // New cells, comments, ranges and dimension entries stay on their own sheet.
  put_cell(copy, 2, 2, "7");
  {
    auto w = copy.write();
    w->comments.push_back(SharedComment::make(CoreComment{2, 2, "bob", "later"}));
    w->merge_cells.push_back({5, 5, 5, 5});
    w->row_dimensions.rows[4].height = 99.0;
    w->column_dimensions.columns[9] = ColumnDimension{9};
  }
  const auto r = source.read();
  EXPECT_FALSE(r->cells.map.contains({2, 2}));
  EXPECT_EQ(r->comments.size(), 1u);
  EXPECT_EQ(r->merge_cells.size(), 1u);
  EXPECT_EQ(r->row_dimensions.rows.at(4).height, 30.0);
  EXPECT_FALSE(r->column_dimensions.columns.contains(9));
}

TEST(CopySheet, ReleasesTheSourceHandleItWasGiven) {
  SheetList book;
  const SharedSheet source = add_sheet_core(book, "S", "visible");
  const uint64_t before = source.use_count();
  (void)copy_sheet_core(book, source);
  EXPECT_EQ(source.use_count(), before);
}

TEST(SheetByName, MatchesBytesExactlyAndTheFirstWins) {
  SheetList book;
  EXPECT_FALSE(sheet_by_name(book, "Data"));
  const SharedSheet first = add_sheet_core(book, "Data", "v");
  const SharedSheet second = add_sheet_core(book, "Data", "v");
  (void)add_sheet_core(book, "Other", "v");
  EXPECT_EQ(sheet_by_name(book, "Data"), first);
  EXPECT_NE(sheet_by_name(book, "Data"), second);
  for (std::string_view miss : {"data", "Data ", " Data", "Dat", ""}) EXPECT_FALSE(sheet_by_name(book, miss)) << miss;
  EXPECT_EQ(sheet_by_name(book, "Other"), book[2]);
}

TEST(CellMapInsert, ReplacesAndReturnsTheOldHandle) {
  CellMap map;
  const SharedCell a = new_cell(1, 1, "a");
  const SharedCell b = new_cell(1, 1, "b");
  EXPECT_FALSE(cell_map_insert(map, 1, 1, a));
  const SharedCell replaced = cell_map_insert(map, 1, 1, b);
  EXPECT_EQ(replaced, a);
  EXPECT_EQ(map.size(), 1u);
  EXPECT_EQ(map.at({1, 1}), b);
  EXPECT_EQ(a.use_count(), 2u);  // `a` and `replaced`: the map let go of it

  // Keys differ by row or by column alone.
  EXPECT_FALSE(cell_map_insert(map, 1, 2, new_cell(1, 2, "c")));
  EXPECT_FALSE(cell_map_insert(map, 2, 1, new_cell(2, 1, "d")));
  EXPECT_FALSE(cell_map_insert(map, 0, 0, new_cell(0, 0, "e")));
  EXPECT_EQ(map.size(), 4u);
}

TEST(HashSeeds, DifferBetweenMapsAndThreads) {
  std::set<uint64_t> seeds;
  for (int i = 0; i < 1000; ++i) seeds.insert(fresh_hash_seed());
  std::vector<std::thread> threads;
  std::vector<std::vector<uint64_t>> drawn(4);
  for (auto& d : drawn) {
    threads.emplace_back([&d] {
      for (int i = 0; i < 1000; ++i) d.push_back(fresh_hash_seed());
    });
  }
  for (auto& t : threads) t.join();
  for (const auto& d : drawn) seeds.insert(d.begin(), d.end());
  EXPECT_EQ(seeds.size(), 5000u);
  EXPECT_NE(CellMap().hash_function().seed, CellMap().hash_function().seed);
}

TEST(HashSeeds, IterationOrderDiffersBetweenMaps) {
  // Two maps with the same keys should, with overwhelming likelihood, not
  // iterate in the same order in every one of several tries.
  bool differed = false;
  for (int attempt = 0; attempt < 5 && !differed; ++attempt) {
    absl::flat_hash_map<uint32_t, int, SeededHash> a, b;
    for (uint32_t k = 0; k < 64; ++k) {
      a[k] = 0;
      b[k] = 0;
    }
    differed = !std::equal(a.begin(), a.end(), b.begin(), [](auto& x, auto& y) { return x.first == y.first; });
  }
  EXPECT_TRUE(differed);
}

}  // namespace
}  // namespace vellix::core
