#include "core/pattern/size_estimate.hpp"

#include <gtest/gtest.h>

#include "core/pattern/unicode_sets.hpp"

namespace vellix::core {
namespace {

// The weights were fitted to the syntax's engine: these figures pin them, so
// that a change to one shows here rather than as patterns that compile there
// and fail here, or the reverse.
TEST(SizeEstimate, ClassesCostTheirUtf8ByteSequences) {
  const struct {
    const char* what;
    CodePointSet set;
    double cost;
  } cases[] = {
      {"one ASCII character is one byte", code_point_range('a', 'a'), 32},
      {"one character is its bytes", code_point_range(0x20AC, 0x20AC), 96},
      {"four-byte character", code_point_range(0x1F600, 0x1F600), 128},
      {"a range of one-byte characters", code_point_range('a', 'z'), 72},
      {"two one-byte ranges", code_point_set({{'0', '9'}, {'a', 'z'}}), 80},
      {"one two-byte sequence", code_point_range(0x80, 0x7FF), 160},
      {"a range split where the lead byte changes", code_point_range(0x81, 0xC0), 256},
      {"ranges split where the UTF-8 length changes", code_point_range('a', 0x7FF), 168},
      {"empty class", {}, 64},
  };
  for (const auto& c : cases) EXPECT_DOUBLE_EQ(set_cost(c.set), c.cost) << c.what;
}

TEST(SizeEstimate, OnlySequencesBeyondTheFourthStopPayingTheirFirstCharge) {
  CodePointSet set = code_point_range('a', 'z');
  double before = set_cost(set);
  for (int k = 0; k < 6; ++k) {
    const char32_t c = 0x100 + 2 * static_cast<char32_t>(k);
    add_range(set, c, c);  // one two-byte sequence each
    const double added = set_cost(set) - before;
    EXPECT_DOUBLE_EQ(added, k < 4 ? 96 : 36) << k;
    before = set_cost(set);
  }
}

TEST(SizeEstimate, FoldedLiteralsCostTheirFoldClass) {
  EXPECT_DOUBLE_EQ(literal_cost('k', false), 32);
  EXPECT_DOUBLE_EQ(literal_cost('k', true), 200);  // [Kk\x{212A}]
  EXPECT_DOUBLE_EQ(literal_cost('1', true), 32);   // no partner: still a byte
  EXPECT_DOUBLE_EQ(literal_cost(0x3C3, true), literal_cost(0x3C2, true));
  EXPECT_DOUBLE_EQ(literal_cost(0x4E00, true), 96);
}

// The two patterns the engine's limit is known by: \w{300} fails to compile
// there, a{300000} does not.
TEST(SizeEstimate, TheEngineLimitFallsWhereTheEngineFails) {
  EXPECT_GT(300 * set_cost(perl_class('w')), kEngineLimit);
  EXPECT_LT(300'000 * literal_cost('a', false), kEngineLimit);
}

}  // namespace
}  // namespace vellix::core
