#include "core/pattern.hpp"

#include <gtest/gtest.h>

#include <array>
#include <string>
#include <thread>
#include <vector>

namespace vellix::core {
namespace {

Pattern search(std::string_view text, PatternOptions options = {}) {
  Result<Pattern> p = compile_search_pattern(text, options);
  if (!p) ADD_FAILURE() << text << ": " << p.error().message;
  return std::move(p).value();
}

struct MatchCase {
  const char* pattern;
  const char* text;
  bool matches;
};

class SearchPattern : public ::testing::TestWithParam<MatchCase> {};

TEST_P(SearchPattern, MatchesAnywhereIgnoringCase) {
  const MatchCase& c = GetParam();
  EXPECT_EQ(search(c.pattern).matches(c.text), c.matches) << c.pattern << " on " << c.text;
}

INSTANTIATE_TEST_SUITE_P(
    Table, SearchPattern,
    ::testing::Values(MatchCase{"abc", "xxABCxx", true}, MatchCase{"^abc$", "xxABCxx", false},
                      MatchCase{"^abc$", "AbC", true}, MatchCase{"", "", true}, MatchCase{"", "anything", true},
                      // `$` holds only at the very end, never before a final newline.
                      MatchCase{"abc$", "abc\n", false}, MatchCase{"(?m)abc$", "abc\nx", true},
                      // Unicode case rules and classes.
                      MatchCase{"\xC3\xA9t\xC3\xA9", "\xC3\x89T\xC3\x89", true},
                      MatchCase{"^\\w+$", "\xC3\xA9t\xC3\xA9", true}, MatchCase{"^\\d$", "\xD9\xA3", true},
                      MatchCase{"^.$", "\xE2\x82\xAC", true},
                      // Back-references and look-around.
                      MatchCase{"(\\w)\\1", "xAay", true}, MatchCase{"(?<=a)b", "ab", true},
                      MatchCase{"(?<=a)b", "cb", false}));

TEST(CompilePattern, KeepsCaseAsGiven) {
  Result<Pattern> p = compile_pattern("Sheet");
  ASSERT_TRUE(p.ok());
  EXPECT_TRUE(p.value().matches("My Sheet"));
  EXPECT_FALSE(p.value().matches("my sheet"));
}

TEST(CompilePattern, ReportsTheLibraryMessageWithItsOffset) {
  const std::pair<const char*, const char*> cases[] = {
      {"(", "missing closing parenthesis at offset 1"},
      {"a{2,1}", "numbers out of order in {} quantifier at offset 5"},
      {"[z-a]", "range out of order in character class at offset 3"},
  };
  for (const auto& [pattern, message] : cases) {
    Result<Pattern> p = compile_pattern(pattern);
    ASSERT_FALSE(p.ok()) << pattern;
    EXPECT_EQ(p.error().kind, ErrorKind::Runtime);
    EXPECT_EQ(p.error().message, message);
    EXPECT_TRUE(p.error().causes.empty());
  }
}

TEST(CompileSearchPattern, OffsetsCountTheCaseInsensitivePrefix) {
  Result<Pattern> p = compile_search_pattern("(");
  ASSERT_FALSE(p.ok());
  EXPECT_EQ(p.error().message, "missing closing parenthesis at offset 5");
}

TEST(CompilePattern, RejectsMalformedUtf8InThePattern) {
  Result<Pattern> p = compile_pattern("a\xFF");
  ASSERT_FALSE(p.ok());
  EXPECT_NE(p.error().message.find("UTF-8"), std::string::npos) << p.error().message;
}

TEST(Pattern, RunawayBacktrackingCountsAsNoMatch) {
  Pattern p = search("^(a+)+$", {.match_limit = 1000});
  EXPECT_TRUE(p.matches("aaaa"));
  EXPECT_FALSE(p.matches(std::string(30, 'a') + "b"));
  // The default limit also stops it, long before 2^40 steps.
  EXPECT_FALSE(search("^(a+)+$").matches(std::string(40, 'a') + "b"));
}

TEST(Pattern, FillsCaptureGroupsAndLeavesUnsetOnesEmpty) {
  Result<Pattern> p = compile_pattern("(a)?(b+)(c)?");
  ASSERT_TRUE(p.ok());
  std::array<std::optional<std::string_view>, 6> groups;
  groups[5] = "stale";
  ASSERT_TRUE(p.value().match_groups("xbbc", groups));
  EXPECT_EQ(groups[0], "bbc");
  EXPECT_FALSE(groups[1].has_value());
  EXPECT_EQ(groups[2], "bb");
  EXPECT_EQ(groups[3], "c");
  EXPECT_FALSE(groups[4].has_value());
  EXPECT_FALSE(groups[5].has_value());
  EXPECT_FALSE(p.value().match_groups("xyz", groups));
}

TEST(Pattern, OneCompiledPatternServesManyThreadsAtOnce) {
  Pattern p = search("^item-(\\d+)-(red|blue)$");
  std::vector<std::thread> threads;
  std::vector<int> wrong(8, 0);
  for (int t = 0; t < 8; ++t) {
    threads.emplace_back([&, t] {
      for (int i = 0; i < 20000; ++i) {
        bool even = (i + t) % 2 == 0;
        std::string text = "ITEM-" + std::to_string(i) + (even ? "-Red" : "-green");
        if (p.matches(text) != even) ++wrong[t];
      }
    });
  }
  for (auto& th : threads) th.join();
  EXPECT_EQ(wrong, std::vector<int>(8, 0));
}

TEST(Pattern, MovedFromPatternsLeaveOneOwner) {
  Pattern a = search("x");
  Pattern b = std::move(a);
  Pattern c = search("y");
  c = std::move(b);
  EXPECT_TRUE(c.matches("X"));
}

}  // namespace
}  // namespace vellix::core
