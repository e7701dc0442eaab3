#include "core/sheet/sheet_index.hpp"

#include <gtest/gtest.h>

#include <cstdint>
#include <limits>
#include <string>

namespace vellix::core {
namespace {

TEST(SheetAtIndex, FindsFromTheStartOnlyAndNothingOutside) {
  SheetList sheets;
  for (const char* name : {"a", "b", "c"}) (void)add_sheet_core(sheets, name, "visible");
  const struct {
    int32_t index;
    std::string found;  // "" for none
  } cases[] = {
      {0, "a"},
      {2, "c"},
      {3, ""},
      {-1, ""},
      {-3, ""},
      {std::numeric_limits<int32_t>::min(), ""},
      {std::numeric_limits<int32_t>::max(), ""},
  };
  for (const auto& c : cases) {
    SharedSheet sheet = sheet_at_index(sheets, c.index);
    EXPECT_EQ(sheet ? sheet.read()->name : "", c.found) << c.index;
  }
}

}  // namespace
}  // namespace vellix::core
