#include "core/search.hpp"

#include <gtest/gtest.h>

#include <chrono>
#include <functional>
#include <future>
#include <string>
#include <vector>

#include "cell_list_fixture.hpp"

namespace vellix::core {
namespace {

using testing::CellList;
using testing::coordinates;
using testing::make_cell;
using testing::under_each_thread_count;
using testing::value_texts;

TEST(TrimWhiteSpace, StripsUnicodeWhiteSpaceAtBothEndsOnly) {
  const std::pair<std::string, std::string> cases[] = {
      {"abc", "abc"},
      {"  abc\t", "abc"},
      {"\n\v\f\r abc", "abc"},
      {"abc\xC2\xA0", "abc"},                             // U+00A0
      {"\xC2\x85" "abc" "\xE1\x9A\x80", "abc"},          // U+0085, U+1680
      {"\xE2\x80\x80\xE2\x80\x8A" "a" "\xE2\x80\xA8\xE2\x80\xA9", "a"},  // U+2000, U+200A, U+2028, U+2029
      {"\xE2\x80\xAF" "a" "\xE2\x81\x9F\xE3\x80\x80", "a"},              // U+202F, U+205F, U+3000
      {"a b\xC2\xA0" "c", "a b\xC2\xA0" "c"},             // inner white space stays
      {"\xE2\x80\x8B" "a", "\xE2\x80\x8B" "a"},           // U+200B is not White_Space
      {"\xC2\xA1", "\xC2\xA1"},                           // a neighbour of U+00A0
      {" \xC2\xA0\xE3\x80\x80 ", ""},
      {"", ""},
  };
  for (const auto& [text, trimmed] : cases) EXPECT_EQ(trim_white_space(text), trimmed) << text;
}

TEST(FindByStr, ComparesTrimmedBytesWithoutCaseFolding) {
  CellList list({{1, 1, "ABC"}, {2, 1, "a b c"}, {3, 1, "abc\xC2\xA0"}, {4, 1, "abc"}});
  SharedCell first = find_cell_by_str_core("  abc\t", list.span());
  EXPECT_EQ(list.position(first), 2u);
  EXPECT_EQ(list.positions(find_cells_by_str_core("  abc\t", list.span())), (std::vector<size_t>{2, 3}));
  EXPECT_FALSE(find_cell_by_str_core("abd", list.span()));
}

TEST(FindByStr, BlankNeedlesFindCellsThatTrimToNothing) {
  CellList list({{1, 1, "x"}, {2, 1, ""}, {3, 1, " \xC2\xA0 "}, {4, 1, "y"}});
  for (const char* needle : {"", "   ", "\t\xE3\x80\x80"}) {
    EXPECT_EQ(list.positions(find_cells_by_str_core(needle, list.span())), (std::vector<size_t>{1, 2})) << needle;
  }
}

TEST(FindByStr, ComparesValueTextsNotNumbers) {
  CellList list;
  list.add(make_cell(1, 1, "1.0"));       // Number 1, value text "1"
  list.add(make_cell(2, 1, "1"));         // Integer 1
  list.add(make_cell(3, 1, "1", "s"));    // String "1"
  list.add(make_cell(4, 1, "1.0", "s"));  // String "1.0"
  list.add(make_cell(5, 1, "01"));        // Integer 1, value text "1"
  EXPECT_EQ(list.positions(find_cells_by_str_core(" 1 ", list.span())), (std::vector<size_t>{0, 1, 2, 4}));
  EXPECT_EQ(list.positions(find_cells_by_str_core("1.0", list.span())), (std::vector<size_t>{3}));
}

TEST(FindByRegex, MatchesAnywhereIgnoringCase) {
  CellList list({{1, 1, "nothing"}, {2, 1, "xxABCxx"}, {3, 1, "abc"}});
  auto first = find_cell_by_regex_core("abc", list.span());
  ASSERT_TRUE(first.ok());
  EXPECT_EQ(list.position(first.value()), 1u);
  auto anchored = find_cells_by_regex_core("^abc$", list.span());
  ASSERT_TRUE(anchored.ok());
  EXPECT_EQ(list.positions(anchored.value()), (std::vector<size_t>{2}));
}

TEST(FindByRegex, TheEmptyPatternMatchesEveryCell) {
  CellList list({{1, 1, "a"}, {1, 2, ""}, {1, 3, "2.5"}});
  auto all = find_cells_by_regex_core("", list.span());
  ASSERT_TRUE(all.ok());
  EXPECT_EQ(list.positions(all.value()), (std::vector<size_t>{0, 1, 2}));
  auto first = find_cell_by_regex_core("", list.span());
  ASSERT_TRUE(first.ok());
  EXPECT_EQ(first.value(), list[0]);
}

// Every pattern search, run with a pattern that does not compile.
const std::pair<const char*, std::function<Error(CellSpan)>> kPatternSearches[] = {
    {"find_cell_by_regex", [](CellSpan c) { return find_cell_by_regex_core("(", c).error(); }},
    {"find_cells_by_regex", [](CellSpan c) { return find_cells_by_regex_core("(", c).error(); }},
    {"find_cells_for_cols_by_regex", [](CellSpan c) { return find_cells_for_cols_by_regex_core("(", 9, c).error(); }},
    {"find_cells_for_rows_by_regex", [](CellSpan c) { return find_cells_for_rows_by_regex_core("(", 9, c).error(); }},
};

TEST(PatternSearches, ABadPatternIsReportedBeforeAnyCellIsRead) {
  CellList list({{1, 1, "a"}});
  for (const auto& [name, run] : kPatternSearches) {
    for (CellSpan cells : {list.span(), CellSpan()}) {
      std::future<Error> search;
      bool finished = false;
      {
        // While a writer holds the cell, a search that read it would block.
        auto hold = list[0].write();
        search = std::async(std::launch::async, run, cells);
        finished = search.wait_for(std::chrono::seconds(10)) == std::future_status::ready;
      }
      Error e = search.get();
      EXPECT_TRUE(finished) << name << " read a cell";
      EXPECT_EQ(e.kind, ErrorKind::Runtime) << name;
      EXPECT_EQ(e.message, "missing closing parenthesis at offset 5") << name;
    }
  }
}

TEST(FindByRegex, AValueWhoseMatchFailsIsLeftOutAndOtherHitsStillCome) {
  const std::string runaway = std::string(40, 'a') + "!";
  CellList list({{1, 1, "aaa"}, {2, 1, runaway}, {3, 1, "a"}});
  auto hits = find_cells_by_regex_core("^(a+)+$", list.span());
  ASSERT_TRUE(hits.ok());
  EXPECT_EQ(list.positions(hits.value()), (std::vector<size_t>{0, 2}));
  auto first = find_cell_by_regex_core("^(a+)+$", CellSpan(list.span()).subspan(1));
  ASSERT_TRUE(first.ok());
  EXPECT_EQ(first.value(), list[2]);
}

TEST(RangeSearches, BoundsAreInclusiveAndAnInvertedRangeIsEmpty) {
  CellList list({{4, 1, ""}, {5, 1, ""}, {5, 3, ""}, {6, 2, ""}, {5, 2, ""}});
  EXPECT_EQ(list.positions(find_cells_range_rows_core(5, 5, list.span())), (std::vector<size_t>{1, 2, 4}));
  EXPECT_TRUE(find_cells_range_rows_core(6, 5, list.span()).empty());
  EXPECT_EQ(list.positions(find_cells_range_rows_core(0, UINT32_MAX, list.span())),
            (std::vector<size_t>{0, 1, 2, 3, 4}));
  EXPECT_EQ(list.positions(find_cells_range_cols_core(2, 3, list.span())), (std::vector<size_t>{2, 3, 4}));
  EXPECT_TRUE(find_cells_range_cols_core(3, 2, list.span()).empty());
}

TEST(LimitSearches, CellsBeyondTheLimitAreLeftOut) {
  CellList list({{1, 1, "hit"}, {1, 4, "hit"}, {2, 3, "hit"}, {3, 1, "miss"}, {4, 2, "hit"}});
  auto by_col = find_cells_for_rows_by_regex_core("hit", 3, list.span());
  ASSERT_TRUE(by_col.ok());
  EXPECT_EQ(list.positions(by_col.value()), (std::vector<size_t>{0, 2, 4}));
  auto by_row = find_cells_for_cols_by_regex_core("hit", 2, list.span());
  ASSERT_TRUE(by_row.ok());
  EXPECT_EQ(list.positions(by_row.value()), (std::vector<size_t>{0, 1, 2}));
}

TEST(CellSearches, ARepeatedHandleComesBackEachTime) {
  CellList list({{1, 1, "x"}, {2, 1, "y"}});
  list.repeat(0);
  EXPECT_EQ(find_cells_by_str_core("x", list.span()).size(), 2u);
  EXPECT_EQ(find_cells_range_rows_core(1, 1, list.span()).size(), 2u);
  EXPECT_EQ(find_cells_by_regex_core("X", list.span()).value().size(), 2u);
}

TEST(CoordsSearch, ComparesTheCellsOwnFieldsAndTakesTheFirst) {
  CellList list({{2, 3, "a"}, {3, 2, "b"}, {3, 2, "c"}});
  EXPECT_EQ(find_cell_by_coords_core(3, 2, list.span()), list[1]);
  EXPECT_FALSE(find_cell_by_coords_core(2, 2, list.span()));
  list[0].write()->row = 9;  // a cell moved by row deletion
  EXPECT_EQ(find_cell_by_coords_core(9, 3, list.span()), list[0]);
}

TEST(ValueSearches, MembershipPicksEachCellOnceInListOrder) {
  CellList list({{3, 2, "b3"}, {1, 2, "b1"}, {3, 1, "a3"}, {5, 2, "b5"}, {3, 4, "d3"}, {3, 2, "b3 again"}});
  const uint32_t rows[] = {3, 3, 5};
  EXPECT_EQ(find_values_by_col_rows_core(2, rows, list.span()), (std::vector<std::string>{"b3", "b5", "b3 again"}));
  const uint16_t cols[] = {4, 2};
  EXPECT_EQ(find_values_by_row_cols_core(3, cols, list.span()), (std::vector<std::string>{"b3", "d3", "b3 again"}));
  EXPECT_TRUE(find_values_by_row_cols_core(3, {}, list.span()).empty());
}

// A long list whose every test has many equal hits: each search must give the
// answer a plain loop gives, with any number of threads.
TEST(CellSearches, ResultsDoNotDependOnTheThreadCount) {
  CellList list;
  const size_t n = 60000;
  for (size_t i = 0; i < n; ++i) {
    auto row = static_cast<uint32_t>(i / 7 + 1);
    auto col = static_cast<uint16_t>(i % 7 + 1);
    list.add(make_cell(row, col, i % 5 == 3 ? " target " : "other " + std::to_string(i % 11)));
  }
  const size_t lead = 5000;  // hits start well beyond the serial floor
  for (size_t i = 0; i < lead; ++i) list[i].write()->value = CellValue::string("lead");
  // Each search in the table gives its answer as positions in the list.
  using Run = std::function<std::vector<size_t>()>;
  const CellSpan span = list.span();
  const std::pair<const char*, Run> searches[] = {
      {"find_cell_by_str", [&] { return std::vector{list.position(find_cell_by_str_core("target", span))}; }},
      {"find_cells_by_str", [&] { return list.positions(find_cells_by_str_core("target", span)); }},
      {"find_cell_by_regex",
       [&] { return std::vector{list.position(find_cell_by_regex_core("^\\sTARGET\\s$", span).value())}; }},
      {"find_cells_by_regex", [&] { return list.positions(find_cells_by_regex_core("arg|er 7", span).value()); }},
      {"find_cell_by_coords", [&] { return std::vector{list.position(find_cell_by_coords_core(1000, 4, span))}; }},
      {"find_cells_range_rows", [&] { return list.positions(find_cells_range_rows_core(900, 7000, span)); }},
      {"find_cells_range_cols", [&] { return list.positions(find_cells_range_cols_core(2, 3, span)); }},
      {"find_cells_for_cols_by_regex",
       [&] { return list.positions(find_cells_for_cols_by_regex_core("t", 5000, span).value()); }},
      {"find_cells_for_rows_by_regex",
       [&] { return list.positions(find_cells_for_rows_by_regex_core("t", 3, span).value()); }},
  };
  for (const auto& [name, run] : searches) {
    std::vector<std::vector<size_t>> results = under_each_thread_count<std::vector<size_t>>(run);
    for (const auto& r : results) EXPECT_EQ(r, results.front()) << name;
    EXPECT_FALSE(results.front().empty()) << name;
    EXPECT_LT(results.front().front(), n) << name;
  }
  // The first hits are where a plain loop finds them.
  EXPECT_EQ(list.position(find_cell_by_str_core("target", span)), 5003u);
  EXPECT_EQ(list.position(find_cell_by_coords_core(1000, 4, span)), 999u * 7 + 3);
  auto values = under_each_thread_count<std::vector<std::string>>([&] {
    const uint32_t rows[] = {8000, 1, 8571};
    return find_values_by_col_rows_core(7, rows, span);
  });
  for (const auto& v : values) EXPECT_EQ(v, values.front());
  EXPECT_EQ(values.front().size(), 3u);
}

std::vector<SharedSheet> make_sheets(std::initializer_list<const char*> names) {
  std::vector<SharedSheet> sheets;
  for (const char* name : names) {
    CoreSheet sheet;
    sheet.name = name;
    sheets.push_back(SharedSheet::make(std::move(sheet)));
  }
  return sheets;
}

std::vector<std::string> names_of(const std::vector<SharedSheet>& sheets) {
  std::vector<std::string> out;
  for (const SharedSheet& s : sheets) out.push_back(s.read()->name);
  return out;
}

TEST(SheetSearches, NamesCompareExactlyAndTheFirstWins) {
  auto sheets = make_sheets({"Sheet1", "Sheet1 ", "Data", "Sheet1"});
  EXPECT_EQ(find_sheet_by_name_core("Sheet1", sheets), sheets[0]);
  EXPECT_FALSE(find_sheet_by_name_core("sheet1", sheets));
  EXPECT_EQ(find_sheet_by_name_core("Sheet1 ", sheets), sheets[1]);
  EXPECT_FALSE(find_sheet_by_name_core("x", {}));
}

TEST(SheetSearches, RegexIsUsedAsCompiled) {
  auto sheets = make_sheets({"Summary", "data 2024", "Data 2025"});
  Result<Pattern> exact = compile_pattern("^Data");
  ASSERT_TRUE(exact.ok());
  EXPECT_EQ(find_sheet_by_regex_core(exact.value(), sheets), sheets[2]);
  Result<Pattern> any_case = compile_search_pattern("^Data");
  ASSERT_TRUE(any_case.ok());
  EXPECT_EQ(find_sheet_by_regex_core(any_case.value(), sheets), sheets[1]);
  Result<Pattern> none = compile_pattern("^Nothing");
  EXPECT_FALSE(find_sheet_by_regex_core(none.value(), sheets));
}

TEST(SheetSearches, NameListsSelectInListOrder) {
  auto sheets = make_sheets({"A", "B", "a", "C", "B"});
  const std::string names[] = {"B", "C", "Z", "B"};
  EXPECT_EQ(names_of(get_sheets_with_names_core(names, sheets)), (std::vector<std::string>{"B", "C", "B"}));
  EXPECT_EQ(names_of(get_sheets_without_names_core(names, sheets)), (std::vector<std::string>{"A", "a"}));
  EXPECT_TRUE(get_sheets_with_names_core({}, sheets).empty());
  EXPECT_EQ(names_of(get_sheets_without_names_core({}, sheets)), (std::vector<std::string>{"A", "B", "a", "C", "B"}));
}

}  // namespace
}  // namespace vellix::core
