#include "core/bands.hpp"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "cell_list_fixture.hpp"

namespace vellix::core {
namespace {

using testing::CellList;
using testing::PlacedCell;

struct BandCase {
  const char* name;
  std::vector<PlacedCell> cells;  // in list order
  const char* before;
  const char* after;
  std::vector<size_t> markers;  // positions multi returns
  std::vector<size_t> between;  // positions between returns
};

class Bands : public ::testing::TestWithParam<BandCase> {};

TEST_P(Bands, MarkersAndTheFirstBand) {
  const BandCase& c = GetParam();
  CellList list(c.cells);
  auto multi = find_cells_multi_regex_core(c.before, c.after, list.span());
  ASSERT_TRUE(multi.ok()) << multi.error().message;
  EXPECT_EQ(list.positions(multi.value()), c.markers);
  auto between = find_cells_between_regex_core(c.before, c.after, list.span());
  ASSERT_TRUE(between.ok()) << between.error().message;
  EXPECT_EQ(list.positions(between.value()), c.between);
}

const BandCase kBandCases[] = {
    {"one band",
     {{1, 1, "Start"}, {2, 1, "a"}, {3, 1, "b"}, {4, 1, "END"}, {5, 1, "c"}},
     "start", "end", {0, 3}, {0, 1, 2, 3}},
    {"rows decide in every column",
     {{1, 1, "x"}, {2, 1, "Start"}, {2, 2, "beside"}, {3, 1, "END"}, {3, 2, "after end"}, {4, 1, "y"}},
     "start", "end", {1, 3}, {1, 2, 3, 4}},
    {"a band that never closes runs to the last row",
     {{1, 1, "a"}, {2, 1, "b"}, {3, 1, "open here"}, {4, 1, "c"}, {9, 1, "d"}},
     "open", "close", {2}, {2, 3, 4}},
    {"no opening marker",
     {{1, 1, "end"}, {2, 1, "x"}, {3, 1, "end"}},
     "start", "end", {}, {}},
    {"a closing marker before any band is ignored",
     {{1, 1, "end"}, {2, 1, "start"}, {3, 1, "x"}, {4, 1, "end"}},
     "start", "end", {1, 3}, {1, 2, 3}},
    {"only the first of two bands counts for between",
     {{1, 1, "start"}, {2, 1, "end"}, {3, 1, "x"}, {4, 1, "start"}, {5, 1, "y"}, {6, 1, "end"}},
     "start", "end", {0, 1, 3, 5}, {0, 1}},
    {"a second opening inside a band is not a marker",
     {{1, 1, "start"}, {2, 1, "start again"}, {3, 1, "end"}},
     "start", "end", {0, 2}, {0, 1, 2}},
    {"a cell matching both closes an open band",
     {{1, 1, "start"}, {2, 1, "start end"}, {3, 1, "end"}, {4, 1, "start end"}},
     "start", "end", {0, 1, 3}, {0, 1}},
    {"empty patterns make every cell a marker",
     {{1, 1, "a"}, {3, 1, "b"}, {4, 1, "c"}, {7, 1, "d"}},
     "", "", {0, 1, 2, 3}, {0, 1}},
    {"unsorted list: a close in a lower row leaves nothing between",
     {{5, 1, "start"}, {2, 1, "end"}, {3, 1, "x"}, {6, 1, "y"}},
     "start", "end", {0, 1}, {}},
    {"matching ignores case and looks anywhere",
     {{1, 1, "the BEGIN of it"}, {2, 1, "x"}, {3, 1, "Finish line"}},
     "begin", "^finish", {0, 2}, {0, 1, 2}},
    {"an empty list",
     {},
     "start", "end", {}, {}},
};

INSTANTIATE_TEST_SUITE_P(Table, Bands, ::testing::ValuesIn(kBandCases),
                         [](const auto& info) {
                           std::string name;
                           for (const char* p = info.param.name; *p; ++p) name += std::isalnum(*p) ? *p : '_';
                           return name;
                         });

TEST(Bands, ABadPatternIsReportedBeforeFirstThenAfter) {
  CellList list({{1, 1, "start"}, {2, 1, "end"}});
  struct Case {
    const char* before;
    const char* after;
    const char* message;
  };
  const Case cases[] = {
      {"(", "[", "missing closing parenthesis at offset 5"},
      {"(", "end", "missing closing parenthesis at offset 5"},
      {"start", "[", "missing terminating ] for character class at offset 5"},
  };
  for (const Case& c : cases) {
    for (auto search : {find_cells_multi_regex_core, find_cells_between_regex_core}) {
      auto result = search(c.before, c.after, list.span());
      ASSERT_FALSE(result.ok());
      EXPECT_EQ(result.error().kind, ErrorKind::Runtime);
      EXPECT_EQ(result.error().message, c.message) << c.before << " / " << c.after;
    }
  }
}

}  // namespace
}  // namespace vellix::core
