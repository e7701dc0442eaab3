#include "core/sheet/bands.hpp"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "cell_list_fixture.hpp"

namespace vellix::core {
namespace {

using testing::CellList;

struct BandCase {
  const char* name;
  std::vector<testing::PlacedCell> cells;  // in list order
  const char* before;
  const char* after;
  std::vector<size_t> markers;  // positions multi returns
  std::vector<size_t> between;  // positions between returns
};

const BandCase kBandCases[] = {
    {"rows decide, any case",
     {{1, 1, "x"}, {2, 1, "Start"}, {2, 2, "beside"}, {3, 1, "END"}, {3, 2, "z"}},
     "start",
     "end",
     {1, 3},
     {1, 2, 3, 4}},
    {"an unclosed band runs on", {{1, 1, "a"}, {3, 1, "open"}, {2, 1, "c"}, {9, 1, "d"}}, "open", "close", {1}, {1, 3}},
    {"no opening marker", {{1, 1, "end"}, {2, 1, "x"}}, "start", "end", {}, {}},
    {"a close before a band", {{1, 1, "end"}, {2, 1, "start"}, {3, 1, "end"}}, "start", "end", {1, 2}, {1, 2}},
    {"between takes the first band",
     {{1, 1, "start"}, {2, 1, "end"}, {3, 1, "start"}, {4, 1, "y"}, {5, 1, "end"}},
     "start",
     "end",
     {0, 1, 2, 4},
     {0, 1}},
    {"an opening in a band", {{1, 1, "start"}, {2, 1, "start"}, {3, 1, "end"}}, "start", "end", {0, 2}, {0, 1, 2}},
    {"a cell matching both closes",
     {{1, 1, "start"}, {2, 1, "start end"}, {3, 1, "end"}, {4, 1, "start end"}},
     "start",
     "end",
     {0, 1, 3},
     {0, 1}},
    {"empty patterns", {{1, 1, "a"}, {3, 1, "b"}, {4, 1, "c"}, {7, 1, "d"}}, "", "", {0, 1, 2, 3}, {0, 1}},
    {"a close in a lower row", {{5, 1, "start"}, {2, 1, "end"}, {6, 1, "y"}}, "start", "end", {0, 1}, {}},
};

TEST(Bands, MarkersAndTheFirstBand) {
  for (const BandCase& c : kBandCases) {
    CellList list(c.cells);
    EXPECT_EQ(list.positions(find_cells_multi_regex_core(c.before, c.after, list.span()).value()), c.markers) << c.name;
    EXPECT_EQ(list.positions(find_cells_between_regex_core(c.before, c.after, list.span()).value()), c.between)
        << c.name;
  }
}

TEST(Bands, ABadPatternIsReportedBeforeFirstThenAfter) {
  CellList list({{1, 1, "start"}, {2, 1, "end"}});
  const std::tuple<const char*, const char*, const char*> cases[] = {
      {"(", "[", "missing ')' at offset 0"},  // offsets count in the caller's text
      {"start", "[", "unclosed character class at offset 0"},
  };
  for (const auto& [before, after, message] : cases) {
    for (auto search : {find_cells_multi_regex_core, find_cells_between_regex_core}) {
      EXPECT_EQ(search(before, after, list.span()).error().message, message) << before << " / " << after;
    }
  }
}

}  // namespace
}  // namespace vellix::core
