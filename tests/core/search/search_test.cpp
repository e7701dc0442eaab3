#include "core/search/search.hpp"

#include <gtest/gtest.h>

#include <chrono>
#include <functional>
#include <future>
#include <limits>
#include <string>
#include <vector>

#include "../sheet/cell_list_fixture.hpp"

namespace vellix::core {
namespace {

using testing::CellList;
using testing::make_cell;
using Positions = std::vector<size_t>;

TEST(TrimWhiteSpace, StripsUnicodeWhiteSpaceAtBothEndsOnly) {
  const std::pair<std::string, std::string> cases[] = {
      {"\t\n\v\f\r abc \xC2\xA0", "abc"},
      {"", ""},
      // U+0085 U+1680 U+2000 U+200A, then U+2028 U+2029 U+202F U+205F U+3000
      {"\xC2\x85\xE1\x9A\x80\xE2\x80\x80\xE2\x80\x8A"
       "a"
       "\xE2\x80\xA8\xE2\x80\xA9\xE2\x80\xAF\xE2\x81\x9F\xE3\x80\x80",
       "a"},
      {"a b\xC2\xA0"
       "c",
       "a b\xC2\xA0"
       "c"},  // inner white space stays
      {"\xE2\x80\x8B"
       "a\xC2\xA1",
       "\xE2\x80\x8B"
       "a\xC2\xA1"},  // U+200B and U+00A1 are not white space
  };
  for (const auto& [text, trimmed] : cases) EXPECT_EQ(trim_white_space(text), trimmed) << text;
}

// Each single-result search answers the first hit of its multi-result twin.
TEST(TextSearches, TrimmedEqualityAndCaseFreePatternsFindTheSameFirstHit) {
  CellList list;
  for (const char* text : {"ABC", "a b c", "abc\xC2\xA0", "abc", "", " \xC2\xA0 ", "1.0", "01", "xxABCxx"}) {
    list.add(make_cell(1, 1, text));  // "1.0" types as the Number 1 and "01" as the Integer 1
  }
  // "!" matches after 2^40 steps of backtracking the first branch.
  list.add(make_cell(1, 1, std::string(40, 'a') + "!"));
  list.add(make_cell(1, 1, "1", "s"));
  list.add(make_cell(1, 1, "1.0", "s"));
  const std::tuple<bool, const char*, Positions> cases[] = {
      {false, "  abc\t", {2, 3}},
      {false, "", {4, 5}},
      {false, "\t\xE3\x80\x80", {4, 5}},
      {false, " 1 ", {6, 7, 10}},
      {false, "1.0", {11}},
      {false, "abd", {}},
      {true, "abc", {0, 2, 3, 8}},
      {true, "^abc$", {0, 3}},
      {true, "^$", {4}},
      {true, "", {0, 1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11}},
      {true, "^(a+)+$|!", {9}},      // needs no backtracking: never a miss
      {true, "^(?=a)(a+)+$|!", {}},  // backtracks: out of steps counts as a miss
  };
  for (const auto& [regex, needle, expected] : cases) {
    const Positions all = list.positions(regex ? find_cells_by_regex_core(needle, list.span()).value()
                                               : find_cells_by_str_core(needle, list.span()));
    const size_t first = list.position(regex ? find_cell_by_regex_core(needle, list.span()).value()
                                             : find_cell_by_str_core(needle, list.span()));
    EXPECT_EQ(all, expected) << needle;
    EXPECT_EQ(first, expected.empty() ? 12 : expected.front()) << needle;
  }
}

// Scans skip the texts of numbers and dates that could not pass: the answers
// must be those of testing every text.
TEST(TextSearches, SkippingWrittenOutTextsChangesNoAnswer) {
  CellList list;
  const CellValue values[] = {
      CellValue::integer(-5),
      CellValue::integer(2147483647),
      CellValue::number(1.5),
      CellValue::number(-0.0),
      CellValue::number(std::numeric_limits<double>::quiet_NaN()),
      CellValue::number(std::numeric_limits<double>::infinity()),
      CellValue::number(-std::numeric_limits<double>::infinity()),
      CellValue::number(1e-7),
      CellValue::datetime({2024, 1, 2, 3 * 3600 + 4 * 60 + 5, 500'000'000}),
      CellValue::datetime({12000, 12, 31, 0, 0}),
      CellValue::datetime({-44, 3, 15, 0, 0}),
      CellValue::boolean(true),
      CellValue::empty(),
      CellValue::string("Inn 5"),
  };
  for (const CellValue& v : values) list.add(SharedCell::make(CoreCell(1, 1, v, {}, {}, {}, {})));
  for (const char* regex : {"n",      "N",    "a",      "i",      "^-",     "^\\+",    ":",       "T",      "e",
                            "^i",     "f$",   "5",      "\\.",    "x?",     "^$",      "(?i)NAN", "\\d",    " ",
                            "inf",    "I",    "^[+]",   "^(1|-)", "^(a|z)", "(?<=-)0", "\\bn",    "^(?!-)", "^(?=.*:)",
                            "^\\d+$", "^\\W", "^\\s*N", "^.{3}z", "^(?:)",  "\\A1",    "^(x|)-"}) {
    const Pattern p = std::move(compile_search_pattern(regex)).value();
    Positions expected;
    for (size_t i = 0; i < std::size(values); ++i) {
      if (p.matches(cell_value_text(values[i]))) expected.push_back(i);
    }
    EXPECT_EQ(list.positions(find_cells_by_regex_core(regex, list.span()).value()), expected) << regex;
    EXPECT_EQ(list.position(find_cell_by_regex_core(regex, list.span()).value()),
              expected.empty() ? std::size(values) : expected.front())
        << regex;
  }
  for (const char* needle : {"-5", "1.5", "-0", "NaN", "inf", " -inf ", "0.0000001", "2024-01-02 03:04:05.500",
                             "+12000-12-31 00:00:00", "-0044-03-15 00:00:00", "true", "", "Inn 5", "5"}) {
    Positions expected;
    for (size_t i = 0; i < std::size(values); ++i) {
      if (trim_white_space(cell_value_text(values[i])) == trim_white_space(needle)) expected.push_back(i);
    }
    EXPECT_FALSE(expected.empty() && std::string_view(needle) != "5") << needle;  // each needle is some text
    EXPECT_EQ(list.positions(find_cells_by_str_core(needle, list.span())), expected) << needle;
  }
}

TEST(PatternSearches, ABadPatternIsReportedBeforeAnyCellIsRead) {
  const std::function<Error(CellSpan)> searches[] = {
      [](CellSpan c) { return find_cell_by_regex_core("(", c).error(); },
      [](CellSpan c) { return find_cells_for_cols_by_regex_core("(", 9, c).error(); },
  };
  CellList list({{1, 1, "a"}});
  for (const auto& run : searches) {
    for (CellSpan cells : {list.span(), CellSpan()}) {
      std::future<Error> search;
      {
        auto hold = list[0].write();  // a search that read the cell would block here
        search = std::async(std::launch::async, run, cells);
        EXPECT_EQ(search.wait_for(std::chrono::seconds(10)), std::future_status::ready);
      }
      EXPECT_EQ(search.get().message, "missing ')' at offset 0");
    }
  }
}

TEST(PositionSearches, BoundsAreInclusiveAndLimitsComeFirst) {
  CellList list({{4, 1, "hit"}, {5, 1, "hit"}, {5, 3, "miss"}, {6, 2, "hit"}, {5, 4, "hit"}, {5, 2, "hit"}});
  list.add(list[1]);  // the same handle again comes back again
  const CellSpan s = list.span();
  const std::pair<std::vector<SharedCell>, Positions> cases[] = {
      {find_cells_range_rows_core(5, 5, s), {1, 2, 4, 5, 6}},
      {find_cells_range_rows_core(6, 5, s), {}},
      {find_cells_range_cols_core(2, 3, s), {2, 3, 5}},
      {find_cells_range_cols_core(3, 2, s), {}},
      {find_cells_for_rows_by_regex_core("hit", 3, s).value(), {0, 1, 3, 5, 6}},
      {find_cells_for_cols_by_regex_core("hit", 5, s).value(), {0, 1, 4, 5, 6}},
      {{find_cell_by_coords_core(5, 2, s)}, {5}},
  };
  for (const auto& [found, expected] : cases) EXPECT_EQ(list.positions(found), expected);
  list[0].write()->row = 9;  // the cells' own fields decide, as after a row deletion
  EXPECT_EQ(find_cell_by_coords_core(9, 1, s), list[0]);
}

// A long list full of equal hits: the answers do not vary with the thread
// count, and a single-result search gives the lowest position.
TEST(CellSearches, ResultsDoNotDependOnTheThreadCount) {
  CellList list;
  for (size_t i = 0; i < 60000; ++i) {  // hits start well beyond the serial floor
    // Numbers have their value text written per thread; Strings lend their own bytes.
    std::string text = i < 5000 ? "lead" : i % 5 == 3 ? " target " : std::to_string(i % 11) + ".25";
    list.add(make_cell(static_cast<uint32_t>(i / 7 + 1), static_cast<uint16_t>(i % 7 + 1), text));
  }
  const auto results = testing::under_each_thread_count<Positions>([&] {
    Positions all = list.positions(find_cells_by_regex_core("arg|^7\\.25$", list.span()).value());
    all.push_back(list.position(find_cell_by_str_core("target", list.span())));
    all.push_back(list.position(find_cell_by_regex_core("^\\sTARG", list.span()).value()));
    return all;
  });
  EXPECT_EQ(results.front().size(), 15002u);
  EXPECT_EQ(Positions(results.front().end() - 2, results.front().end()), (Positions{5003, 5003}));
  for (const auto& r : results) EXPECT_EQ(r, results.front());
}

}  // namespace
}  // namespace vellix::core
