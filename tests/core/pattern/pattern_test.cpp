#include "core/pattern/pattern.hpp"

#include <gtest/gtest.h>

#include <optional>
#include <string>
#include <string_view>
#include <tuple>
#include <vector>

namespace vellix::core {
namespace {

TEST(SearchPattern, MatchesAnywhereIgnoringCaseWithUnicodeRules) {
  const std::tuple<const char*, const char*, bool> cases[] = {
      {"abc", "xxABCxx", true},
      {"^abc$", "xxABCxx", false},
      {"", "", true},
      {"abc$", "abc\n", false},
      {"(?m)abc$", "abc\nx", true},  // `$` alone holds only at the very end
      {"\xC3\xA9t\xC3\xA9", "\xC3\x89T\xC3\x89", true},
      {"^\\w\\d$", "\xC3\xA9\xD9\xA3", true},
      {"^.$", "\xE2\x82\xAC", true},
      {"(\\w)\\1", "xAay", true},
      {"(?<=a)b", "cb", false},  // back-references and look-around
  };
  for (const auto& [pattern, text, matches] : cases) {
    EXPECT_EQ(compile_search_pattern(pattern).value().matches(text), matches) << pattern << " on " << text;
  }
}

TEST(Pattern, AMatchTheLibraryGivesUpOnCountsAsNoMatchWhenThePatternBacktracks) {
  // "!" matches, but only after the first alternative has backtracked 2^n ways;
  // the look-ahead makes it a pattern that only a backtracking matcher runs.
  const char* pattern = "^(?=a)(a+)+$|!";
  const Pattern limited = compile_search_pattern(pattern, {.match_limit = 1000}).value();
  EXPECT_TRUE(compile_search_pattern(pattern).value().matches(std::string(12, 'a') + "!"));
  EXPECT_FALSE(limited.matches(std::string(12, 'a') + "!"));
  EXPECT_TRUE(limited.matches("aaaa"));
  EXPECT_FALSE(compile_search_pattern(pattern).value().matches(std::string(40, 'a') + "!"));
}

// A pattern that needs no backtracking never misses for running out of
// steps, whatever the limit and the length of the text.
TEST(Pattern, APatternWithoutBacktrackingConstructsFindsEveryMatch) {
  const std::string long_run = std::string(300, 'a') + "!ab";
  const std::tuple<const char*, std::string> cases[] = {
      {R"((\w+\s?)+:)", "word word word word word word ! x:"},
      {"(a+)+b", "aaaaaaaaaaaaaaaaaaa!ab"},
      {R"(^(\s*\w+)*\s*$|total)", "Sum of all the regional sales figures for 2024: total"},
      {"(a+)+b", long_run},
      {"(a|aa)*c|b", long_run},
      {R"((\w+\s?)+:(?=\d))", "word word word word word word ! x:5"},  // a final look-ahead is plain
  };
  for (const auto& [pattern, text] : cases) {
    for (uint32_t limit : {1u, 1000u, kDefaultMatchLimit}) {
      EXPECT_TRUE(compile_search_pattern(pattern, {.match_limit = limit}).value().matches(text)) << pattern;
    }
    EXPECT_FALSE(compile_search_pattern(pattern).value().matches(text.substr(0, text.size() - 2) + "?")) << pattern;
  }
}

// A default-constructed view has no pointer at all; the JIT code of some
// patterns once read through it.
TEST(Pattern, MatchesAnEmptyViewWithoutPointer) {
  const std::tuple<const char*, bool> cases[] = {{"()*T|9|", true}, {"a|b|()", true}, {"x", false}, {"^$", true}};
  for (const auto& [pattern, matches] : cases) {
    const Pattern p = compile_pattern(pattern).value();
    EXPECT_EQ(p.matches(std::string_view()), matches) << pattern;
    std::optional<std::string_view> groups[2];
    EXPECT_EQ(p.match_groups(std::string_view(), groups), matches) << pattern;
  }
}

// A scan answers as matches() does, though it rules texts out by the code
// units PCRE2 records and runs the JIT code itself: for code units folded by
// case (ASCII only: PCRE2 records none for "k", which folds to U+212A),
// anchors, look-around (callouts), the automaton matcher's fallback, group
// calls, limits that differ from pattern to pattern on one thread, and empty
// texts.
TEST(PatternScan, AnswersAsMatchesDoes) {
  const char* const patterns[] = {
      "\\d5", "o.*\\d", "holmes.*\\d", "^(zulu|x-ray)$", "k", "ak", "xs", "\\x{212A}", "(?-i)Ab",
      "(?<=a)b", "(?<!x)5", "(\\w)\\1", "(a+)+b", "^(?=a)(a+)+$|!", "", "^$", "5(?=x)", "\\bx\\b",
      // too large as written, and backtracking (the empty look-ahead): groups called
      "(?=)(ab|c){4000}", "(?=)^(?:ab|c){20000}$",
  };
  const std::string texts[] = {
      "",      "5",        "15",          "1.5",      "2024-05-01 00:00:00", "HOLMES 221",  "holmes",
      "OK",    "\u212A",   "A\u212A",     "aK",       "XS",                  "x\u017F",     "ab",
      "Ab",    "AB",       "xb",          "x5",       "a5",                  "5x",          "zulu",
      "X-RAY", "x-ray!",   "ll",          "aab",      std::string(30, 'a') + "!ab",  std::string(12, 'a') + "!",
      std::string(20000, 'c'),
  };
  std::vector<Pattern> compiled;
  for (const char* pattern : patterns) compiled.push_back(compile_search_pattern(pattern).value());
  compiled.push_back(compile_search_pattern("(a+)+b", {.match_limit = 1}).value());
  compiled.push_back(compile_search_pattern("^(?=a)(a+)+$|!", {.match_limit = 100}).value());
  size_t ruled_out = 0;
  for (const Pattern& p : compiled) {
    const PatternScan scan(p);
    for (const std::string& text : texts) {
      const bool expected = p.matches(text);
      if (!p.may_match(text)) {
        ++ruled_out;
        EXPECT_FALSE(expected) << text;
      }
      EXPECT_EQ(scan.matches(text), expected) << text;
      // Another pattern, with another limit, matching on the same thread between.
      (void)compiled.back().matches(text);
      EXPECT_EQ(scan.matches(text), expected) << text;
    }
    EXPECT_EQ(PatternScan(p).matches(std::string_view()), p.matches(std::string_view()));
  }
  EXPECT_GT(ruled_out, 100u);  // the check does rule texts out
}

}  // namespace
}  // namespace vellix::core
