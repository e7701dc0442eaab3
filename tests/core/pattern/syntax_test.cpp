#define PCRE2_CODE_UNIT_WIDTH 8
#include "core/pattern/syntax.hpp"

#include <gtest/gtest.h>
#include <pcre2.h>

#include <atomic>
#include <optional>
#include <random>
#include <string>
#include <thread>
#include <tuple>
#include <vector>

#include "core/pattern/pattern.hpp"

namespace vellix::core {
namespace {

enum Outcome { kMatch, kNoMatch, kError };

struct Case {
  const char* pattern;
  const char* text;
  Outcome outcome;
};

// Cell searches compile with the i flag on; `case_insensitive` picks that or
// the plain form that find_sheet_by_regex uses.
void expect_cases(std::span<const Case> cases, bool case_insensitive) {
  for (const Case& c : cases) {
    Result<Pattern> p = case_insensitive ? compile_search_pattern(c.pattern) : compile_pattern(c.pattern);
    Outcome got = !p ? kError : p.value().matches(c.text) ? kMatch : kNoMatch;
    EXPECT_EQ(got, c.outcome) << (case_insensitive ? "(i) " : "") << c.pattern << " on \"" << c.text << "\""
                              << (p ? "" : ": " + p.error().message);
  }
}

TEST(PatternSyntax, ConstructsTheMatcherReadsOtherwise) {
  const Case cases[] = {
      {R"(\u00e9)", "\xC3\xA9", kMatch},
      {R"(^a\u{62}c$)", "abc", kMatch},
      {R"(\U000000E9)", "\xC3\xA9", kMatch},
      {R"(^\h+$)", "BEEF", kMatch},
      {R"(abc\Z)", "abc\n\n", kMatch},
      {R"(\<abc\>)", "abc", kMatch},
      {R"(^[a-z&&[^aeiou]]+$)", "bcd", kMatch},
      {R"(^\w+$)", "e\xCC\x81", kMatch},
      {R"(^\w+$)",
       "a\xE2\x80\xBF"
       "b",
       kMatch},
      {R"(^\w+$)",
       "a\xE2\x80\x8D"
       "b",
       kMatch},
      {R"(^\p{Lu}+$)", "abc", kMatch},
      {R"(^[[:upper:]]+$)", "abc", kMatch},
      {R"(^\O+$)", "a\nb", kMatch},
      {R"(\N)", "N", kError},
  };
  expect_cases(cases, true);
}

TEST(PatternSyntax, Escapes) {
  const Case cases[] = {
      {R"(\x41\x{1F600})", "A\xF0\x9F\x98\x80", kMatch},
      {R"(\x{10FFFF})", "\xF4\x8F\xBF\xBF", kMatch},
      {R"(\x4)", "\x04", kError},
      {R"(\x{})", "", kError},
      {R"(\x{110000})", "", kError},
      {R"(\x{D800})", "", kError},
      {R"(\u{123456789})", "", kError},
      {R"(\v)", "\x0B", kMatch},
      {R"(\v)", "\n", kNoMatch},
      {R"(\e\a)", "\x1B\x07", kMatch},
      {R"(\h)", "F", kMatch},
      {R"(\h)", "g", kNoMatch},
      {R"(\H)", "g", kMatch},
      {R"(\.\*\-\'\&\ )", ".*-'& ", kMatch},
      {"\\\xC3\xA9", "\xC3\xA9", kMatch},
      {R"(\d)", "\xD9\xA3", kMatch},
      {R"(\w)", "\xC2\xB2", kNoMatch},
      {R"(\w)", "\xE2\x93\x90", kMatch},
      {"[A-[x]]*", "x", kMatch},
      {"[A-[x]]*", "", kNoMatch},                                 // a class that closes early: the * takes the ]
      {R"(\d\w\b)", "\xF0\x91\xBD\x90\xF0\x91\xBD\x90", kMatch},  // a digit newer than the matcher's tables
      {R"(\s)", "\xE1\xA0\x8E", kNoMatch},
      {R"(\S)", "\xE1\xA0\x8E", kMatch},
      {R"(a\)", "a", kError},
  };
  expect_cases(cases, false);
}

TEST(PatternSyntax, AnchorsAndBoundaries) {
  const Case cases[] = {
      {"a$", "a\n", kNoMatch},
      {"(?m)a$", "a\nb", kMatch},
      {"(?m)a$", "a\r\nb", kNoMatch},
      {"(?m)^$", "a\n", kMatch},
      {"(?m)^b", "a\r\nb", kMatch},
      {"^b", "a\nb", kNoMatch},
      {R"(a\Z)", "a\n\n", kMatch},
      {R"(a\Z)", "a\nb", kNoMatch},
      {R"(\Aa\z)", "a", kMatch},
      {".", "\n", kNoMatch},
      {".", "\r", kMatch},
      {"(?s).", "\n", kMatch},
      {R"(\bb)", "ab", kNoMatch},
      {R"(\bb)", "a b", kMatch},
      {R"(\b\xB2)", " \xC2\xB2", kNoMatch},
      {R"(a\Bb)", "ab", kMatch},
      {R"(\<ab)", "cab", kNoMatch},
      {R"(ab\>)", "ab", kMatch},
      {R"(\b{start-half}-test)", "run --test", kMatch},
      {R"(\b{start}-test)", "run --test", kNoMatch},
      {R"(-1-\b{end-half})", "chapter -1-", kMatch},
      {R"(\b{end}c)", "ab c", kNoMatch},
      {R"(\b{2}world)", "hello world", kMatch},
      {R"(\B{2}test)", "run test", kNoMatch},
      {R"(world\b{,3})", "hello world", kMatch},
      {"^*a", "ba", kMatch},
      {R"(a\b*b)", "ab", kMatch},
      {R"(world\b{20000000})", "hello world", kMatch},  // holds once, however many times it is asked
      {R"(\<{4294967296}x)", "x", kMatch},
      {R"(^{4294967296}x)", "", kError},  // an anchor's count is read in 32 bits
      {R"(\b{other})", "", kError},
      {R"(\B{start})", "", kError},
      {R"(\G\d)", "1", kMatch},
      {R"(\G\d)", "a1", kNoMatch},
      {R"(x\Ky)", "xy", kMatch},
  };
  expect_cases(cases, false);
}

TEST(PatternSyntax, GroupsAndFlagScope) {
  const Case cases[] = {
      // A bare flag group reaches past the ')' of every group but (?:...).
      {"((?i)a)a", "AA", kMatch},
      {"(a|(?i)b)c", "BC", kMatch},
      {"(?=(?i)a)Ab", "AB", kMatch},
      {"(?>(?i)a)b", "AB", kMatch},
      {"(?<n>(?i)a)b", "AB", kMatch},
      {"((?s).).", "a\n\n", kMatch},
      {"((?m)^a)$", "a\nb", kMatch},
      {"(?:(?i)a)b", "AB", kNoMatch},
      {"(?i:(?-i:a))", "A", kNoMatch},
      {"(?i)\xC3\xA9", "\xC3\x89", kMatch},
      {"(?i)\\\xC3\xA9", "\xC3\x89", kNoMatch},  // an escaped é never folds
      {"(?i)a|b", "B", kMatch},
      {"(?i-)a", "A", kMatch},
      {"(?U)a+", "aa", kMatch},
      {"(?x)a b # c", "ab", kMatch},
      {"(?x)[a b]", " ", kMatch},
      {"(?x)( ?i)a", "A", kMatch},
      {R"((?x)\x 41)", "A", kMatch},
      {R"((?x)a\ b)", "a b", kMatch},
      {R"(a(?#com\)ment)b)", "ab", kMatch},
      {"(?<1a>x)(?P<b>y)(?'c'z)", "xyz", kMatch},
      {"()", "", kMatch},
      {"(?!)", "", kNoMatch},
      {"a||b", "", kMatch},
      {"(?)a", "", kError},
      {"(?-)a", "", kError},
      {"(?-:a)", "", kError},
      {"(?--i)a", "", kError},
      {"(?-u)a", "", kError},
      {"(?R)a", "", kError},
      {"(?n)a", "", kError},
      {"(a", "", kError},
      {"a)", "", kError},
      {"(?<a-b>x)", "", kError},
      {"(?<>x)", "", kError},
      {"(?|a)", "", kError},
      {"(?1)(a)", "", kError},
      {"(?&n)(?<n>a)", "", kError},
      {"(?P>n)(?<n>a)", "", kError},
      {"(?C1)a", "", kError},
      {"(*FAIL)", "", kError},
      {"(*UTF)a", "", kError},
  };
  expect_cases(cases, false);
}

TEST(PatternSyntax, Repetition) {
  const Case cases[] = {
      {"a{,3}b", "b", kMatch},
      {"^a{,}$", "aaa", kMatch},
      {"a{2}{3}", "aa{3}", kMatch},
      {"{2}", "{2}", kMatch},
      {"a{", "a{", kMatch},
      {"x{1,2,3}", "x{1,2,3}", kMatch},
      {"x{ 2}", "x{ 2}", kMatch},
      {"(?x)a{ 2 , 3 }", "aa", kMatch},
      {"^a{0}b", "b", kMatch},
      {"a++a", "aaa", kNoMatch},
      {"a+?+b", "aab", kMatch},
      {"^a+?+b", "aab", kNoMatch},
      {"(?:ab)++c", "ababc", kMatch},
      {"^a{2}+$", "aa", kMatch},
      {"a**", "", kError},
      {"a*+*", "", kError},
      {"?a", "", kError},
      {"(?=a)*", "", kError},
      {R"(\K*)", "", kError},
      {R"(\Z+)", "", kError},
      {"(?:)*", "", kError},
      {"(?i)*", "", kError},
      {"a{2,1}", "", kError},
      // A reversed range repeats its upper count where the backtracking engine reads it.
      {R"(^(a){3,1}\1$)", "aa", kMatch},
      {R"(^(a){3,1}\1$)", "aaaa", kNoMatch},
      {"(?>a{3,1})", "", kError},
      {R"(a{3,1}+\b)", "", kError},
      {"(?x)a*? +", "", kError},
      {"(?x)a* +a", "aa", kNoMatch},  // possessive
      {"(?x)a{,} ? +", "", kError},
      // (?:X) repeats as X does: a lone look-around or nothing cannot be repeated.
      {"(?:(?=a))*", "", kError},
      {"(?:(?i))+", "", kError},
      {"(?:^)*a", "a", kMatch},
      {"(?:a(?i))*b", "b", kMatch},
      // Counts the syntax's own engine has no room for fail alike.
      {"a{300000}", "b", kNoMatch},
      {"a{400000}", "", kError},
      {R"(\w{150})", "a", kNoMatch},
      {R"(\w{300})", "", kError},
      {R"((?=x)\w{300})", "", kError},
      {"(?i)k{65536}", "", kError},
  };
  expect_cases(cases, false);
}

// A reversed range {n,m} is an error where the syntax's automaton reads it: in
// a pattern with no backtracking construct, and in the parts of one that the
// backtracker hands over (a fixed-length start, the end, the body of an
// atomic group or look-around). Elsewhere it repeats its upper count.
TEST(PatternSyntax, ReversedRangesAreReadWhereTheSyntaxsEngineReadsThem) {
  const Case cases[] = {
      {"a{2,1}", "", kError},
      {"a{2,1}(?=b)", "", kError},  // a final look-ahead joins the rest
      {R"(\bb{2,1})", "", kError},
      {"a++b{2,1}", "", kError},
      {"(?>a{3,1})", "", kError},
      {R"(a{3,1}+\b)", "", kError},
      {R"(\b(){5,3})", "", kError},
      {"}{2,1}|e?+", "", kError},
      {"(?=x{2,1})", "", kError},
      {R"((?=x{2,1}\b))", "", kNoMatch},
      {R"(b{2,1}\b)", "b", kMatch},
      {R"(\S{2,0}\<)", "", kNoMatch},
      {"(?:0){1,0}}?+", "}", kMatch},
      {R"(^(a){3,1}\1$)", "aa", kMatch},
      {R"(^(a){3,1}\1$)", "aaaa", kNoMatch},
      {R"(^(?:x|\b)a{3,1}\b)", "xa", kMatch},
      {R"(\b(?:a|bc){3,1}\b)", "bc", kMatch},
      {R"((?<=a{2,1}\b)x)", "", kError},  // and it makes a look-behind vary in length
  };
  expect_cases(cases, false);
  expect_cases(cases, true);
}

TEST(PatternSyntax, LargeCountsAreSplitForTheMatcher) {
  const std::string many(100'001, 'a');
  for (bool fold : {false, true}) {
    Result<Pattern> exact = fold ? compile_search_pattern("^a{100001}$") : compile_pattern("^a{100001}$");
    ASSERT_TRUE(exact) << exact.error().message;
    EXPECT_TRUE(exact.value().matches(many));
    EXPECT_FALSE(exact.value().matches(many.substr(1)));
    Result<Pattern> range = compile_pattern("^a{70000,100001}?b");
    ASSERT_TRUE(range) << range.error().message;
    EXPECT_TRUE(range.value().matches(many + "b"));
    EXPECT_FALSE(range.value().matches(many.substr(40000) + "b"));
  }
}

// The matcher writes a repeated group out once per count: a group around one
// character repeats as the character does, or it would outgrow its limit.
TEST(PatternSyntax, LargeCountsOfAOneCharacterGroupFitTheMatcher) {
  // (pattern, text: a lead then so many "k", matches)
  const std::tuple<const char*, const char*, size_t, bool> cases[] = {
      {"^(k){70000}$", "", 70'000, true},       {"^(k){70000}$", "", 69'999, false},
      {"^(?>k){70000}$", "", 70'000, true},     {"^(?:k){65536}", "", 65'536, true},
      {"^(k){1,70000}\\1$", "", 70'000, true},  // the group holds the last copy
      {"^x(k){0,70000}$", "x", 0, true},        {"^(?i)(K){9000}$", "", 9000, true},
      {"^([a-k]){70000}+k", "", 70'000, false},
  };
  for (const auto& [pattern, lead, ks, matches] : cases) {
    std::string text(lead);
    text.append(ks, 'k');
    Result<Pattern> p = compile_pattern(pattern);
    ASSERT_TRUE(p) << pattern << ": " << p.error().message;
    EXPECT_EQ(p.value().matches(text), matches) << pattern;
  }
}

// A large count of a longer group is defined once and called: it matches as
// the copies would, backtracking into the calls, with the flags where the
// group stands, and the groups after it keep their numbers; on long texts
// that nearly match too.
TEST(PatternSyntax, LargeCountsOfGroupsFitTheMatcher) {
  auto times = [](std::string_view unit, size_t n) {
    std::string s;
    for (size_t i = 0; i < n; ++i) s += unit;
    return s;
  };
  const std::string noise = times(times("ab", 8999) + "x", 4);  // near misses first
  struct Text {
    std::string text;
    bool matches;
  };
  const std::vector<std::pair<const char*, std::vector<Text>>> cases = {
      {"(ab|c){9000}",
       {{noise + times("ab", 9000), true}, {noise, false}, {std::string("x") + times("c", 9000), true}}},
      {"(?:a|ab){9000}c", {{times("ab", 4500) + times("a", 4500) + "c", true}, {times("ab", 8999) + "c", false}}},
      {"^(?:ab|c){70000}$", {{times("c", 70'000), true}, {times("ab", 35'000) + times("c", 35'000), true},
                              {times("c", 69'999), false}}},
      {"^(?:ab){100000}$", {{times("ab", 100'000), true}, {times("ab", 99'999) + "a", false}}},
      {R"(^(?:\w\d){100,}$)", {{times("a1", 100), true}, {times("\xC3\x89" "1", 1200), true},
                                {times("a1", 99) + "aa", false}}},
      {"^x(?:ab|c){0,5000}$",
       {{std::string("x") + times("ab", 5000), true}, {"x", true}, {std::string("x") + times("c", 5001), false}}},
      {"^(?:ab|c){5001,9000}?$", {{times("ab", 5001), true}, {times("c", 9000), true}, {times("c", 5000), false},
                                   {times("ab", 9001), false}}},
      {"^(?:ab|a){5000,9000}ab", {{times("ab", 7000), true}}},
      {"^(?:ab|a){5000,9000}+ab", {{times("ab", 7000), false}, {times("ab", 7000) + "a", false}}},
      {R"(\b(?:ab|c){9000}\b)", {{std::string("-") + times("ab", 9000) + "-", true}, {times("ab", 9001), false}}},
      {R"(^(?:(a)b){9000}(c)\2$)", {{times("ab", 9000) + "cc", true}, {times("ab", 9000) + "cd", false}}},
      {R"((?i:(?:k\.){9000})(?-i:a))", {{times("K.", 9000) + "a", true}, {times("K.", 9000) + "A", false}}},
      {"(?s:(?:a.){9000})", {{times("a\n", 9000), true}, {times("a\n", 8999), false}}},
      {"(?:(?:ab){300}c){300}", {{times(times("ab", 300) + "c", 300), true}, {times(times("ab", 299) + "c", 300),
                                                                              false}}},
      {"^(?:()){70000}a", {{"a", true}, {"b", false}}},
      {"^(?:a*+|c){65536}$", {{"", true}, {times("a", 100), true}, {"b", false}}},
  };
  for (const auto& [written, texts] : cases) {
    // An empty look-ahead first makes each pattern one that backtracks, the
    // only kind that may call groups; it changes no answer.
    const std::string pattern = std::string("(?=)") + written;
    Result<Pattern> p = compile_pattern(pattern);
    if (!p) {
      ADD_FAILURE() << pattern << ": " << p.error().message;
      continue;
    }
    for (size_t k = 0; k < texts.size(); ++k) {
      EXPECT_EQ(p.value().matches(texts[k].text), texts[k].matches) << pattern << " text " << k;
    }
  }
  // A group whose capture something reads loses it after each call: such a
  // group is still written out, and too large.
  // Nor is a pattern that needs no backtracking: calls would leave it to the
  // step limit, which the automaton it runs on otherwise never has.
  for (const char* pattern :
       {R"((?:(a)b){9000}\1)", R"((?:(a)|b\1){9000})", "(ab|c){9000}", "(a+)+c|!|(xy){20000}"}) {
    Result<Pattern> p = compile_pattern(pattern);
    ASSERT_FALSE(p) << pattern;
    EXPECT_NE(p.error().message.find("too large for the matcher"), std::string::npos) << p.error().message;
  }
}

TEST(PatternSyntax, LookBehindsLongerThanTheMatcherTakesRunOnTheirOwn) {
  const std::string run(70'000, 'a');
  Result<Pattern> p = compile_pattern("(?<=a{70000})b");
  ASSERT_TRUE(p) << p.error().message;
  EXPECT_TRUE(p.value().matches(run + "b"));
  EXPECT_FALSE(p.value().matches(run.substr(1) + "b"));
}

// The automaton would run a final look-ahead as an assertion at every
// position, a pass of the text each; as a plain group it has a match exactly
// where the pattern has one.
TEST(PatternSyntax, APlainPatternsFinalLookAheadReachesTheAutomatonAsAGroup) {
  struct Form {
    const char* pattern;
    bool plain;
    bool lifted;
  };
  for (const Form f : {Form{"a(?=b)", true, true}, Form{"(?=a|aa)", true, true}, Form{"x\\Z", true, true},
                       Form{"(?=b)a", false, false}, Form{"a(?!b)", false, false}, Form{"ab", true, false}}) {
    Result<TranslatedPattern> t = translate_pattern(f.pattern, false);
    ASSERT_TRUE(t) << f.pattern;
    EXPECT_EQ(t.value().plain, f.plain) << f.pattern;
    if (!f.plain) continue;
    const std::string& plain = t.value().plain_pattern;
    EXPECT_EQ(plain.find("(?="), f.lifted ? std::string::npos : t.value().pattern.find("(?=")) << plain;
    EXPECT_EQ(plain.size(), t.value().pattern.size()) << plain;
  }
  // Answers where the backtracker gives up and the automaton decides.
  const std::string words = "word word word word word word word word word word ! x:";
  const Case cases[] = {
      {"(?=(\\w+\\s?)+:)", words.c_str(), kMatch},
      {"(?=(\\w+\\s?)+;)", words.c_str(), kNoMatch},
      {"(\\w+\\s?)+(?=:)", words.c_str(), kMatch},
      {"(\\w+\\s?)+(?=;)", words.c_str(), kNoMatch},
  };
  expect_cases(cases, true);
}

TEST(PatternSyntax, LookAroundBackReferencesAndConditionals) {
  const Case cases[] = {
      {"(abc|def)(?=a(?!b))", "abca", kMatch},
      {"(abc|def)(?=a(?!b))", "abcabc", kNoMatch},
      {"(?<=a|bc)d", "bcd", kMatch},
      {"(?<!a|bc)d", "bcd", kNoMatch},
      {R"((?<=(a)\1)b)", "aab", kMatch},
      {"(?<=a+)b", "aab", kMatch},
      {"(?<=^a+)b", "caab", kNoMatch},
      {"(?<!a+)b", "ab", kNoMatch},
      {R"((?<=\d{2,4})x)", "12x", kMatch},
      {R"((?<=\d{2,4})x)", "1x", kNoMatch},
      {"(?<=(a+))b(c)\\2", "aabcc", kMatch},
      {R"((?<=\ba+)b)", "", kError},
      {"(?<=(?=a)a+)b", "", kError},
      {R"((?<=\Kab)c)", "abc", kMatch},
      // A look-behind that is one group of alternatives splits as bare ones do.
      {R"((?<=(?:\bNo|#\s*))\d+)", "No5", kMatch},
      {R"((?<=(?:\bNo|#\s*))\d+)", "# 5", kMatch},
      {R"((?<=(?:\bNo|#\s*))\d+)", "xNo5", kNoMatch},
      {R"((a)(?<=(?:\1|b?))b)", "ab", kMatch},
      {R"((?<!(?:\bNo|#\s*))\d)", "No5", kNoMatch},
      {R"((?<!(?:\bNo|#\s*))\d)", "xNo5", kMatch},
      {"(?<=(?:}|))", "", kMatch},
      {"(?<!(?:a|bc))d", "bcd", kNoMatch},
      // A repeat {0} of a part that varies in length varies too.
      {"(?<=x(?:a?){0})y", "xy", kMatch},
      {"(?<=(?:a|bc){0}d)x", "dx", kMatch},
      {"(?<=(?:a|bc){0}d)x", "x", kNoMatch},
      {R"((?<!(?:\b?){0})x)", "", kError},
      // Each top-level branch of a look-behind is judged on its own.
      {"(?<=(?!)|x+)y", "xy", kMatch},
      {R"((?<=\b|a+)b)", "ab", kMatch},
      {"(?<!a+|b)c", "bc", kNoMatch},
      {"(?<!a+|b)c", "xc", kMatch},
      {R"((?<=^{4}+a+)b)", "", kError},
      {R"((?<!(\Z)?)a)", "", kError},
      {R"((?<=(a+))b\1)", "", kError},
      {R"(\1(a))", "aa", kNoMatch},
      {R"((a|b\1)+)", "aba", kMatch},
      {R"((a)\01)", "aa", kMatch},
      {R"((?i)(a)\1)", "aA", kMatch},
      {R"((a)(?i)\1)", "aA", kMatch},
      {R"((?i)(a)(?-i)\1)", "aA", kNoMatch},
      // A folded back-reference spans as many bytes as the group holds.
      {R"((?i)(\x{1E9E})\1)", "\xE1\xBA\x9E\xC3\x9F", kNoMatch},  // U+1E9E, then U+00DF
      {R"((?i)(\x{1E9E})\1)", "\xE1\xBA\x9E\xE1\xBA\x9E", kMatch},
      {R"((?i)(k)\1)", "k\xE2\x84\xAA", kNoMatch},  // the Kelvin sign
      {R"((?i)(s)\1)", "s\xC5\xBF", kNoMatch},      // long s
      {R"((?i)(ab)x\1?$)", "abx", kMatch},
      {R"((?i)(ab)x\1*$)", "abxABab", kMatch},
      {R"((?<n>a|\k<n>?)b)", "b", kMatch},
      {R"((?<n>a)|(?<n>b)\k<n>)", "bb", kMatch},
      {R"((a)\k<-1>)", "aa", kMatch},
      {R"((a)\k<+1>(b))", "ab", kNoMatch},
      {"(?P<n>a)(?P=n)", "aa", kMatch},
      {R"((?'n'a)\k'n')", "aa", kMatch},
      {R"((?<a>x)\1|y)", "y", kMatch},
      {R"(y|\1(?<a>x))", "", kError},
      {R"((?'n'\1)|y)", "", kError},
      {R"((?<a>x)(?(a)b|\1|c))", "", kError},
      {R"((?<a>(?(a)|\1)|y)|z)", "z", kMatch},
      {R"(\0)", "", kError},
      {R"((a)\2)", "", kError},
      {R"((a)\10)", "", kError},
      {R"(\k<n>(?<n>a))", "", kError},
      {R"(\k<+0>(a))", "", kError},
      {R"((?<a>x)\1)", "", kError},
      {R"((a)\1(?<n>b))", "", kError},
      {R"(\k{n})", "", kError},
      {R"(\g{1}(a))", "", kError},
      {R"(^(?(\d)abc|\d!)$)", "5abc", kMatch},
      {R"(^(?(\d)abc|\d!)$)", "5!", kNoMatch},
      {R"(^(?((?=\d))\w+|!)$)", "!", kMatch},
      {"(a)?b(?(1)c|d)", "bd", kMatch},
      {"(?(a)b|c)", "ab", kMatch},
      {"(?(a)b|c|d)", "d", kMatch},
      // Both branches empty: the condition alone.
      {"(?(a)|)", "b", kNoMatch},
      {"(?(a)|)", "a", kMatch},
      {"(a)?b(?(1)|)", "b", kNoMatch},
      {"(a)?b(?(1)|)", "ab", kMatch},
      {"(?(a)||)", "b", kMatch},
      {"(?(})(?m))", "", kNoMatch},  // a bare flag group is no branch
      // A group counts as set once it has started.
      {R"((\s|(?(1)x)))", "a", kNoMatch},
      {R"((\s|(?(1)x)))", "x", kMatch},
      {R"((a(?(1)b|c)))", "ab", kMatch},
      {R"((a(?(1)b|c)))", "ac", kNoMatch},
      {"(?(1))(a)", "a", kNoMatch},
      {"(a)?(?(1))b", "b", kNoMatch},
      {"(?()a|b)", "b", kNoMatch},
      {"^(?((a))\\1|b)$", "aa", kMatch},
      {"(?(<n>)a|b)(?<n>c)", "", kError},
      {"(?(?=a)a)", "", kError},
      {"(?(a))", "", kError},
      {"(?(1))*(a)", "", kError},
      {"^a(?>bc|b)c$", "abcc", kMatch},
      {"^a(?>bc|b)c$", "abc", kNoMatch},
      // A lazy repeat closing an atomic part commits to its first length and
      // the search moves on to the next start.
      {"(?>a+?)b", "aab", kMatch},
      {"(?>x|.+?)b", "aab", kMatch},
      {"(?(a+?)b|c)", "aab", kMatch},
  };
  expect_cases(cases, false);
}

TEST(PatternSyntax, CellSearchesReadThePatternAsIfItBeganWithTheIFlag) {
  const Case cases[] = {
      {"abc", "xABCx", kMatch},
      {"(?-i)abc", "ABC", kNoMatch},
      {"a(?-i)b|c", "C", kNoMatch},
      {"a(?-i:b)c", "AbC", kMatch},
      {"a(?-i:b)c", "ABC", kNoMatch},
      {"\\x{212A}", "k", kMatch},
      {"[a-z]", "\xE2\x84\xAA", kMatch},
      {"[^k]", "\xE2\x84\xAA", kNoMatch},
      {"\\P{Lu}", "a", kNoMatch},
      {"[[:upper:]]", "\xC3\x89", kNoMatch},
      {"ss", "\xC3\x9F", kNoMatch},
      {"(a)\\1", "aA", kMatch},
      {"\\h", "g", kNoMatch},
      {"{2}", "{2}", kError},
      {"(?#c)*", "", kError},
  };
  expect_cases(cases, true);
}

TEST(PatternSyntax, VerboseMode) {
  const Case cases[] = {
      {"(?x)a b c", "abc", kMatch},        {"(?x)a#b\nc", "ac", kMatch},       {"(?x)a\\#b", "a#b", kMatch},
      {"(?x)a\vb", "a\vb", kMatch},        {"(?x)a{ 2 }", "aa", kMatch},       {"(?x)a * ?b", "aab", kMatch},
      {"(?x)\\b { start }a", "a", kMatch}, {"(?x)\\x{ 41 }", "A", kMatch},     {"(?x)( ?<n> a)\\k<n>", "aa", kMatch},
      {"(?x)(? i)a", "A", kMatch},         {"(?x)(?<n>a)(?P= n)", "", kError}, {"(?x:a b)c d", "abc d", kMatch},
      {"(?x)[a b]", " ", kMatch},          {"(?x)\\p {L}", "", kError},
  };
  expect_cases(cases, false);
}

TEST(PatternSyntax, CaptureGroupsKeepTheCallersNumbers) {
  const std::tuple<const char*, const char*, int, const char*> cases[] = {
      {"(?<x>a)(?'y'b)(?P<z>c)", "abc", 3, "c"},
      {"(?(a)b|c)(d)", "abd", 1, "d"},  // a pattern condition is written twice, capturing once
      {"(?((x))y|z)(d)", "xyd", 2, "d"},
      {"(?<=(a)+)b(c)", "aabc", 2, "c"},  // a look-behind run on its own keeps its group's number
      {"(?i)(a)(?i:b)(c)", "ABC", 2, "C"},
  };
  for (auto [pattern, text, group, expected] : cases) {
    Result<Pattern> p = compile_pattern(pattern);
    ASSERT_TRUE(p) << pattern << ": " << p.error().message;
    std::optional<std::string_view> groups[4];
    ASSERT_TRUE(p.value().match_groups(text, groups)) << pattern;
    EXPECT_EQ(groups[group], std::optional<std::string_view>(expected)) << pattern;
  }
}

TEST(PatternSyntax, LookBehindChecksOfVaryingLengthRunOnEveryThread) {
  const Pattern p = compile_search_pattern("(?<=^[a-c]+|x\\d{1,3})!").value();
  std::vector<std::thread> threads;
  std::atomic<int> wrong{0};
  for (int t = 0; t < 4; ++t) {
    threads.emplace_back([&] {
      for (int k = 0; k < 2000; ++k) {
        bool hit = p.matches(k % 2 == 0 ? "abcab!" : "x12!");
        bool miss = p.matches(k % 2 == 0 ? "abdab!" : "x!");
        if (!hit || miss) ++wrong;
      }
    });
  }
  for (std::thread& t : threads) t.join();
  EXPECT_EQ(wrong.load(), 0);
}

TEST(PatternSyntax, ErrorsSayWhatAndWhereInTheCallersText) {
  const std::tuple<const char*, const char*> cases[] = {
      {"ab\\Q", "invalid escape \\Q at offset 2"},
      {"ab(cd", "missing ')' at offset 2"},
      {"a)", "unmatched ')' at offset 1"},
      {"(?<x>a)\\k<y>", "back-reference to undefined group name 'y' at offset 7"},
      {"\xC3(", "invalid UTF-8 at offset 0"},
  };
  for (auto [pattern, message] : cases) {
    for (bool fold : {false, true}) {
      Result<Pattern> p = fold ? compile_search_pattern(pattern) : compile_pattern(pattern);
      ASSERT_FALSE(p) << pattern;
      EXPECT_EQ(p.error().kind, ErrorKind::Runtime);
      EXPECT_EQ(p.error().message, message);
    }
  }
}

TEST(PatternSyntax, AnyInputEndsInAPatternOrAnError) {
  const std::string inputs[] = {
      std::string(64, '(') + "a" + std::string(64, ')'),
      std::string(10000, '('),
      std::string(40, '(') + std::string(40, ')'),
      "(?((?((?((?((?((?((?((?((?((?((?((?((?((?((?((?((?((?((?(a)b)c)d)e)f)g)h)i)j)k)l)m)n)o)p)q)r)s)",
      "a{18446744073709551616}",
      std::string(1001, '['),  // not "[" + string: gcc 12 warns falsely (-Wrestrict) on that
      std::string("\0\xFF\xFE", 3),
  };
  for (const std::string& input : inputs) {
    Result<TranslatedPattern> t = translate_pattern(input, true);
    if (t) {
      EXPECT_TRUE(compile_search_pattern(input)) << input.substr(0, 40);
    }
  }
  EXPECT_FALSE(compile_pattern(std::string(64, '(') + "a" + std::string(64, ')')));
  EXPECT_TRUE(compile_pattern(std::string(63, '(') + "a" + std::string(63, ')')));
}

// Patterns of the subset both syntaxes read alike match the same texts
// before and after the front end.
TEST(PatternSyntax, CommonSubsetRoundTrips) {
  const char* atoms[] = {"a", "b", "c", ".", "[ab]", "[^a]", "[a-c]", "x", "\\.", "é"};
  const char* quantifiers[] = {"", "", "*", "+", "?", "{2}", "{1,3}", "*?", "+?"};
  const char* texts[] = {"",
                         "a",
                         "abc",
                         "cab\n",
                         "x.a",
                         "bbb",
                         "\xC3\xA9"
                         "a",
                         "aXb",
                         "ca\nb",
                         "acb.b"};
  std::mt19937 rng(20261207);
  for (int round = 0; round < 2000; ++round) {
    std::string pattern = rng() % 4 == 0 ? "^" : "";
    int pieces = 1 + static_cast<int>(rng() % 5);
    for (int k = 0; k < pieces; ++k) {
      if (k > 0 && rng() % 6 == 0) pattern += '|';
      bool group = rng() % 5 == 0;
      if (group) pattern += '(';
      pattern += atoms[rng() % std::size(atoms)];
      if (group) pattern += ')';
      pattern += quantifiers[rng() % std::size(quantifiers)];
    }
    if (rng() % 4 == 0) pattern += '$';
    bool fold = rng() % 2 == 0;
    std::string direct = (fold ? "(?i)" : "") + pattern;
    int error = 0;
    PCRE2_SIZE offset = 0;
    pcre2_code* code = pcre2_compile(reinterpret_cast<PCRE2_SPTR>(direct.data()), direct.size(),
                                     PCRE2_UTF | PCRE2_UCP | PCRE2_DOLLAR_ENDONLY, &error, &offset, nullptr);
    ASSERT_NE(code, nullptr) << direct;
    pcre2_match_data* data = pcre2_match_data_create(1, nullptr);
    Result<Pattern> ours = fold ? compile_search_pattern(pattern) : compile_pattern(pattern);
    ASSERT_TRUE(ours) << pattern << ": " << ours.error().message;
    for (const char* text : texts) {
      bool expected = pcre2_match(code, reinterpret_cast<PCRE2_SPTR>(text), strlen(text), 0, 0, data, nullptr) >= 0;
      EXPECT_EQ(ours.value().matches(text), expected) << direct << " on \"" << text << "\"";
    }
    pcre2_match_data_free(data);
    pcre2_code_free(code);
  }
}

}  // namespace
}  // namespace vellix::core
