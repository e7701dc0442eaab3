#include "core/pattern/codepoint_set.hpp"

#include <gtest/gtest.h>

namespace vellix::core {
namespace {

TEST(CodePointSet, OperationsKeepRangesSortedMergedAndFreeOfSurrogates) {
  const CodePointSet az = code_point_set({{'a', 'z'}});
  const CodePointSet vowels = code_point_set({{'a', 'a'}, {'e', 'e'}, {'i', 'i'}, {'o', 'o'}, {'u', 'u'}});
  const struct {
    const char* what;
    CodePointSet got, want;
  } cases[] = {
      {"adjacent ranges merge", code_point_set({{'a', 'c'}, {'d', 'f'}, {'x', 'x'}}),
       code_point_set({{'a', 'f'}, {'x', 'x'}})},
      {"a range swallows those inside it", code_point_set({{'b', 'b'}, {'d', 'e'}, {'a', 'z'}}), az},
      {"surrogates are cut out", code_point_range(0xD000, 0xE000),
       code_point_set({{0xD000, 0xD7FF}, {0xE000, 0xE000}})},
      {"union", set_union(code_point_set({{'a', 'c'}}), code_point_set({{'b', 'f'}, {'z', 'z'}})),
       code_point_set({{'a', 'f'}, {'z', 'z'}})},
      {"intersection", set_intersection(az, code_point_set({{'0', 'c'}, {'x', 0x10FFFF}})),
       code_point_set({{'a', 'c'}, {'x', 'z'}})},
      {"difference", set_difference(code_point_set({{'a', 'f'}}), vowels), code_point_set({{'b', 'd'}, {'f', 'f'}})},
      {"symmetric difference", set_symmetric_difference(code_point_set({{'a', 'c'}}), code_point_set({{'b', 'd'}})),
       code_point_set({{'a', 'a'}, {'d', 'd'}})},
      {"complement skips surrogates", set_complement(code_point_set({{'b', 0x10FFFE}})),
       code_point_set({{0, 'a'}, {0x10FFFF, 0x10FFFF}})},
      {"complement of nothing is every scalar value", set_complement({}),
       code_point_set({{0, 0xD7FF}, {0xE000, 0x10FFFF}})},
  };
  for (const auto& c : cases) EXPECT_EQ(c.got, c.want) << c.what;
  EXPECT_TRUE(contains(az, 'm'));
  EXPECT_FALSE(contains(az, '{'));
  EXPECT_FALSE(contains({}, 'a'));
}

}  // namespace
}  // namespace vellix::core
