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

TEST(SearchPattern, MatchesAnywhereIgnoringCase) {
  struct Case {
    const char* pattern;
    const char* text;
    bool matches;
  };
  const Case cases[] = {
      {"abc", "xxABCxx", true}, {"^abc$", "xxABCxx", false}, {"^abc$", "AbC", true}, {"", "", true},
      // `$` holds only at the very end, never before a final newline.
      {"abc$", "abc\n", false}, {"(?m)abc$", "abc\nx", true},
      // Unicode case rules and classes.
      {"\xC3\xA9t\xC3\xA9", "\xC3\x89T\xC3\x89", true}, {"^\\w+$", "\xC3\xA9t\xC3\xA9", true},
      {"^\\d$", "\xD9\xA3", true}, {"^.$", "\xE2\x82\xAC", true},
      // Back-references and look-around.
      {"(\\w)\\1", "xAay", true}, {"(?<=a)b", "ab", true}, {"(?<=a)b", "cb", false},
  };
  for (const Case& c : cases) EXPECT_EQ(search(c.pattern).matches(c.text), c.matches) << c.pattern << " on " << c.text;
}

TEST(CompilePattern, ReportsTheLibraryMessageWithItsOffset) {
  const std::pair<Result<Pattern>, const char*> cases[] = {
      {compile_pattern("("), "missing closing parenthesis at offset 1"},
      {compile_pattern("a{2,1}"), "numbers out of order in {} quantifier at offset 5"},
      {compile_pattern("[z-a]"), "range out of order in character class at offset 3"},
      {compile_pattern("a\xFF"), "UTF-8 error: illegal byte (0xfe or 0xff) at offset 1"},
      // Offsets of a search pattern count its case-insensitive prefix.
      {compile_search_pattern("("), "missing closing parenthesis at offset 5"},
  };
  for (const auto& [result, message] : cases) {
    ASSERT_FALSE(result.ok()) << message;
    EXPECT_EQ(result.error().kind, ErrorKind::Runtime);
    EXPECT_EQ(result.error().message, message);
  }
}

TEST(Pattern, AMatchTheLibraryGivesUpOnCountsAsNoMatch) {
  // "!" matches, but only after the first alternative has backtracked 2^n ways.
  const std::string twelve = std::string(12, 'a') + "!";
  EXPECT_TRUE(search("^(a+)+$|!").matches(twelve));
  EXPECT_FALSE(search("^(a+)+$|!", {.match_limit = 1000}).matches(twelve));
  EXPECT_TRUE(search("^(a+)+$|!", {.match_limit = 1000}).matches("aaaa"));
  // The default limit stops it long before 2^40 steps.
  EXPECT_FALSE(search("^(a+)+$|!").matches(std::string(40, 'a') + "!"));
}

TEST(Pattern, FillsCaptureGroupsAndLeavesUnsetOnesEmpty) {
  Result<Pattern> p = compile_pattern("(a)?(b+)(c)?");
  std::array<std::optional<std::string_view>, 5> groups;
  groups[4] = "stale";
  ASSERT_TRUE(p.value().match_groups("xbbc", groups));
  EXPECT_EQ(groups, (std::array<std::optional<std::string_view>, 5>{"bbc", std::nullopt, "bb", "c", std::nullopt}));
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

}  // namespace
}  // namespace vellix::core
