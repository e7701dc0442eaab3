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
using testing::make_cell;
using testing::under_each_thread_count;
using Positions = std::vector<size_t>;
using Search = std::function<Positions(const CellList&)>;

TEST(TrimWhiteSpace, StripsUnicodeWhiteSpaceAtBothEndsOnly) {
  const std::pair<std::string, std::string> cases[] = {
      {"  abc\t", "abc"}, {"\n\v\f\r abc", "abc"}, {"abc\xC2\xA0", "abc"}, {"", ""},
      {"\xC2\x85" "a" "\xE1\x9A\x80", "a"},                                // U+0085, U+1680
      {"\xE2\x80\x80\xE2\x80\x8A" "a" "\xE2\x80\xA8\xE2\x80\xA9", "a"},    // U+2000, U+200A, U+2028, U+2029
      {"\xE2\x80\xAF" "a" "\xE2\x81\x9F\xE3\x80\x80", "a"},                // U+202F, U+205F, U+3000
      {"a b\xC2\xA0" "c", "a b\xC2\xA0" "c"},                             // inner white space stays
      {"\xE2\x80\x8B" "a", "\xE2\x80\x8B" "a"}, {"\xC2\xA1", "\xC2\xA1"},  // U+200B and U+00A1 are not spaces
  };
  for (const auto& [text, trimmed] : cases) EXPECT_EQ(trim_white_space(text), trimmed) << text;
}

// Each single-result search must answer the first position of its multi-result twin.
void expect_hits(const CellList& list, const char* what, const Positions& all, size_t first, const Positions& expected) {
  EXPECT_EQ(all, expected) << what;
  EXPECT_EQ(first, expected.empty() ? list.size() : expected.front()) << what;
}

TEST(FindByStr, ComparesTrimmedValueTextsByteForByte) {
  CellList list;
  for (const char* text : {"ABC", "a b c", "abc\xC2\xA0", "abc", "", " \xC2\xA0 ", "1.0", "01"}) {
    list.add(make_cell(1, 1, text));  // "1.0" types as the Number 1 and "01" as the Integer 1
  }
  list.add(make_cell(1, 1, "1", "s"));
  list.add(make_cell(1, 1, "1.0", "s"));
  const std::pair<const char*, Positions> cases[] = {
      {"  abc\t", {2, 3}}, {"", {4, 5}}, {"\t\xE3\x80\x80", {4, 5}}, {" 1 ", {6, 7, 8}}, {"1.0", {9}}, {"abd", {}},
  };
  for (const auto& [needle, expected] : cases) {
    expect_hits(list, needle, list.positions(find_cells_by_str_core(needle, list.span())),
                list.position(find_cell_by_str_core(needle, list.span())), expected);
  }
}

TEST(FindByRegex, MatchesAnywhereAndCountsFailedMatchesAsMisses) {
  const std::string runaway = std::string(40, 'a') + "!";
  CellList list({{1, 1, "nothing"}, {2, 1, "xxABCxx"}, {3, 1, "abc"}, {4, 1, runaway}, {5, 1, "aaa"}, {6, 1, ""}});
  const std::pair<const char*, Positions> cases[] = {
      // The runaway cell would match "!" had the library not given up first.
      {"abc", {1, 2}}, {"^abc$", {2}}, {"", {0, 1, 2, 3, 4, 5}}, {"^(a+)+$|!", {4}}, {"^$", {5}},
  };
  for (const auto& [pattern, expected] : cases) {
    expect_hits(list, pattern, list.positions(find_cells_by_regex_core(pattern, list.span()).value()),
                list.position(find_cell_by_regex_core(pattern, list.span()).value()), expected);
  }
}

TEST(PatternSearches, ABadPatternIsReportedBeforeAnyCellIsRead) {
  const std::pair<const char*, std::function<Error(CellSpan)>> searches[] = {
      {"find_cell_by_regex", [](CellSpan c) { return find_cell_by_regex_core("(", c).error(); }},
      {"find_cells_by_regex", [](CellSpan c) { return find_cells_by_regex_core("(", c).error(); }},
      {"find_cells_for_cols_by_regex", [](CellSpan c) { return find_cells_for_cols_by_regex_core("(", 9, c).error(); }},
      {"find_cells_for_rows_by_regex", [](CellSpan c) { return find_cells_for_rows_by_regex_core("(", 9, c).error(); }},
  };
  CellList list({{1, 1, "a"}});
  for (const auto& [name, run] : searches) {
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

TEST(PositionSearches, BoundsAreInclusiveAndLimitsComeFirst) {
  CellList list({{4, 1, "hit"}, {5, 1, "hit"}, {5, 3, "miss"}, {6, 2, "hit"}, {5, 4, "hit"}, {5, 2, "hit"}});
  list.repeat(1);  // the same handle again comes back again
  const std::pair<const char*, Search> cases[] = {
      {"rows 5..5", [](const CellList& l) { return l.positions(find_cells_range_rows_core(5, 5, l.span())); }},
      {"rows 6..5", [](const CellList& l) { return l.positions(find_cells_range_rows_core(6, 5, l.span())); }},
      {"cols 2..3", [](const CellList& l) { return l.positions(find_cells_range_cols_core(2, 3, l.span())); }},
      {"cols 3..2", [](const CellList& l) { return l.positions(find_cells_range_cols_core(3, 2, l.span())); }},
      {"hit in cols <= 3",
       [](const CellList& l) { return l.positions(find_cells_for_rows_by_regex_core("hit", 3, l.span()).value()); }},
      {"hit in rows <= 5",
       [](const CellList& l) { return l.positions(find_cells_for_cols_by_regex_core("hit", 5, l.span()).value()); }},
      {"at (5, 2)", [](const CellList& l) { return Positions{l.position(find_cell_by_coords_core(5, 2, l.span()))}; }},
      {"at (6, 1)", [](const CellList& l) { return Positions{l.position(find_cell_by_coords_core(6, 1, l.span()))}; }},
  };
  const Positions expected[] = {{1, 2, 4, 5, 6}, {}, {2, 3, 5}, {}, {0, 1, 3, 5, 6}, {0, 1, 4, 5, 6}, {5}, {7}};
  for (size_t i = 0; i < std::size(cases); ++i) EXPECT_EQ(cases[i].second(list), expected[i]) << cases[i].first;
  list[0].write()->row = 9;  // a cell moved by row deletion is found where it is now
  EXPECT_EQ(find_cell_by_coords_core(9, 1, list.span()), list[0]);
}

TEST(ValueSearches, MembershipPicksEachCellOnceInListOrder) {
  CellList list({{3, 2, "b3"}, {1, 2, "b1"}, {3, 1, "a3"}, {5, 2, "b5"}, {3, 4, "d3"}, {3, 2, "b3 again"}});
  const uint32_t rows[] = {3, 3, 5};
  EXPECT_EQ(find_values_by_col_rows_core(2, rows, list.span()), (std::vector<std::string>{"b3", "b5", "b3 again"}));
  const uint16_t cols[] = {4, 2};
  EXPECT_EQ(find_values_by_row_cols_core(3, cols, list.span()), (std::vector<std::string>{"b3", "d3", "b3 again"}));
  EXPECT_TRUE(find_values_by_row_cols_core(3, {}, list.span()).empty());
}

// A long list full of equal hits: every search gives the same answer with
// 1, 2 and 8 threads, and the single-result ones the lowest position.
TEST(CellSearches, ResultsDoNotDependOnTheThreadCount) {
  CellList list;
  const size_t n = 60000, lead = 5000;  // hits start well beyond the serial floor
  for (size_t i = 0; i < n; ++i) {
    std::string text = i < lead ? "lead" : i % 5 == 3 ? " target " : "other " + std::to_string(i % 11);
    list.add(make_cell(static_cast<uint32_t>(i / 7 + 1), static_cast<uint16_t>(i % 7 + 1), text));
  }
  const std::pair<const char*, Search> searches[] = {
      {"find_cell_by_str", [](const CellList& l) { return Positions{l.position(find_cell_by_str_core("target", l.span()))}; }},
      {"find_cell_by_regex",
       [](const CellList& l) { return Positions{l.position(find_cell_by_regex_core("^\\sTARGET\\s$", l.span()).value())}; }},
      {"find_cell_by_coords",
       [](const CellList& l) { return Positions{l.position(find_cell_by_coords_core(1000, 4, l.span()))}; }},
      {"find_cells_by_str", [](const CellList& l) { return l.positions(find_cells_by_str_core("target", l.span())); }},
      {"find_cells_by_regex",
       [](const CellList& l) { return l.positions(find_cells_by_regex_core("arg|er 7", l.span()).value()); }},
      {"find_cells_range_rows", [](const CellList& l) { return l.positions(find_cells_range_rows_core(900, 7000, l.span())); }},
      {"find_cells_range_cols", [](const CellList& l) { return l.positions(find_cells_range_cols_core(2, 3, l.span())); }},
      {"find_cells_for_cols_by_regex",
       [](const CellList& l) { return l.positions(find_cells_for_cols_by_regex_core("t", 5000, l.span()).value()); }},
      {"find_cells_for_rows_by_regex",
       [](const CellList& l) { return l.positions(find_cells_for_rows_by_regex_core("t", 3, l.span()).value()); }},
  };
  const Positions firsts[] = {{5003}, {5003}, {999 * 7 + 3}};
  for (size_t i = 0; i < std::size(searches); ++i) {
    const auto& [name, run] = searches[i];
    auto results = under_each_thread_count<Positions>([&] { return run(list); });
    for (const auto& r : results) EXPECT_EQ(r, results.front()) << name;
    if (i < std::size(firsts)) {
      EXPECT_EQ(results.front(), firsts[i]) << name;
    }
    EXPECT_GT(results.front().size(), i < std::size(firsts) ? 0u : 100u) << name;
  }
  auto values = under_each_thread_count<std::vector<std::string>>([&] {
    const uint32_t rows[] = {8000, 1, 8571};
    return find_values_by_col_rows_core(7, rows, list.span());
  });
  for (const auto& v : values) EXPECT_EQ(v, (std::vector<std::string>{"lead", "other 9", "other 2"}));
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

TEST(SheetSearches, FirstByNameOrPatternAsGiven) {
  auto sheets = make_sheets({"Sheet1 ", "data 2024", "Sheet1", "Data 2025", "Sheet1"});
  EXPECT_EQ(find_sheet_by_name_core("Sheet1", sheets), sheets[2]);
  EXPECT_FALSE(find_sheet_by_name_core("sheet1", sheets));
  EXPECT_FALSE(find_sheet_by_name_core("x", {}));
  // The caller decides on case when it compiles the pattern.
  EXPECT_EQ(find_sheet_by_regex_core(compile_pattern("^Data").value(), sheets), sheets[3]);
  EXPECT_EQ(find_sheet_by_regex_core(compile_search_pattern("^Data").value(), sheets), sheets[1]);
  EXPECT_FALSE(find_sheet_by_regex_core(compile_pattern("^None").value(), sheets));
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
