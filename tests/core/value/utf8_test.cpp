#include "core/value/utf8.hpp"

#include <gtest/gtest.h>

#include <string>
#include <string_view>

namespace vellix::core {
namespace {

TEST(Utf8, EveryWidthEncodesAndDecodesBack) {
  for (char32_t c : {0x0u, 0x41u, 0x7Fu, 0x80u, 0x7FFu, 0x800u, 0xD7FFu, 0xE000u, 0xFFFFu, 0x10000u, 0x10FFFFu}) {
    std::string text = "x";
    append_utf8(text, c);
    ASSERT_EQ(text.size(), 1 + utf8_width(c)) << std::hex << uint32_t(c);
    EXPECT_EQ(utf8_sequence_length(text[1]), utf8_width(c));
    size_t n = 0;
    EXPECT_EQ(decode_utf8(text, 1, &n), c);
    EXPECT_EQ(n, utf8_width(c));
    for (size_t k = 2; k < text.size(); ++k) EXPECT_TRUE(is_utf8_continuation(text[k]));
    EXPECT_TRUE(valid_utf8(text));
  }
}

TEST(Utf8, IllFormedSequencesAreFoundWhereTheyStart) {
  const std::pair<std::string_view, size_t> cases[] = {
      {"ok", std::string_view::npos},
      {"", std::string_view::npos},
      {std::string_view("a\0b", 3), std::string_view::npos},
      {"a\x80", 1},             // a lone continuation byte
      {"ab\xC0\x80", 2},        // overlong
      {"\xE0\x80\x80", 0},      // overlong
      {"\xED\xA0\x80", 0},      // a surrogate
      {"\xF4\x90\x80\x80", 0},  // above U+10FFFF
      {"\xF5\x80\x80\x80", 0},  // no such lead byte
      {"\xC3\xA9\xE2\x82", 2},  // cut short
      {"\xE2\x82\x41", 0},      // a continuation missing
  };
  for (const auto& [text, at] : cases) {
    EXPECT_EQ(first_invalid_utf8(text), at) << testing::PrintToString(text);
    EXPECT_EQ(valid_utf8(text), at == std::string_view::npos);
    if (at != std::string_view::npos) {
      size_t n = 1;
      decode_utf8(text, at, &n);
      EXPECT_EQ(n, 0u);
    }
  }
}

}  // namespace
}  // namespace vellix::core
