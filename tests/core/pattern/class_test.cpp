#include "core/pattern/class.hpp"

#define PCRE2_CODE_UNIT_WIDTH 8
#include <gtest/gtest.h>
#include <pcre2.h>

#include <string>
#include <vector>

#include "core/pattern/unicode_sets.hpp"
#include "core/value/utf8.hpp"

namespace vellix::core {
namespace {

struct Membership {
  const char* cls;
  char32_t c;
  bool member;
  bool case_insensitive = false;
};

void expect_members(std::initializer_list<Membership> cases) {
  for (const Membership& m : cases) {
    Result<ClassParse> r = parse_bracket_class(m.cls, 0, {.case_insensitive = m.case_insensitive});
    ASSERT_TRUE(r.ok()) << m.cls << ": " << r.error().message;
    EXPECT_EQ(contains(r.value().set, m.c), m.member)
        << (m.case_insensitive ? "(?i)" : "") << m.cls << " on U+" << std::hex << uint32_t(m.c);
  }
}

TEST(BracketClass, LiteralsRangesAndDashes) {
  expect_members({
      {"[abc]", 'b', true},
      {"[abc]", 'd', false},
      {"[^abc]", 'd', true},
      {"[^abc]", 'a', false},
      {"[]a]", ']', true},
      {"[^]a]", ']', false},
      {"[^]a]", 'b', true},
      {"[-a]", '-', true},
      {"[a-]", '-', true},
      {"[--a]", '-', true},
      {"[--a]", 'b', false},
      {"[a-b-c]", '-', true},
      {"[a-b-c]", 'c', true},
      {"[a-c]", 'b', true},
      {"[a\\-c]", 'b', false},
      {"[\\--a]", 'B', true},  // an escaped '-' can start a range
      {"[[:digit:]-a]", '-', true},
      {"[[:digit:]-a]", 'A', false},
      {"[[:alpha:]-z]", '-', true},
      {"[.*+?(){}|^$]", '$', true},
      {"[a&b]", '&', true},
      {"[a~b]", '~', true},
      {"[a b]", ' ', true},
      {"[a#b]", '#', true},  // whitespace and '#' are literal even in verbose mode
      {"[\xC3\xA9-\xC3\xAB]", 0xEA, true},
  });
}

TEST(BracketClass, SetOperationsBindLooserThanUnionsAndLeftToRight) {
  expect_members({
      {"[a-z&&[^aeiou]]", 'b', true},
      {"[a-z&&[^aeiou]]", 'a', false},
      {"[a-c~~b-d]", 'a', true},
      {"[a-c~~b-d]", 'b', false},
      {"[a-c~~b-d]", 'd', true},
      {"[\\w&&\\p{ascii}]", 0xE9, false},
      {"[\\w&&\\p{ascii}]", 'q', true},
      {"[\\pL--\\p{Greek}&&\\p{Uppercase}]", 'A', true},
      {"[\\pL--\\p{Greek}&&\\p{Uppercase}]", 0x391, false},
      {"[\\pL--\\p{Greek}&&\\p{Uppercase}]", 'a', false},
      {"[^a-z&&b]", 'b', false},
      {"[^a-z&&b]", 'c', true},  // ^ negates the whole result
      {"[a-c--b--c]", 'a', true},
      {"[a-c--b--c]", 'c', false},
      {"[&&]", 'a', false},
      {"[a&&]", 'a', false},
      {"[&&a]", 'a', false},
      {"[~~]", '~', false},
      {"[a--]", 'a', true},
      {"[a---b]", 'a', true},
      {"[a---b]", '-', false},
      {"[[a][bc]]", 'c', true},
      {"[a[^b]]", 'c', true},
      {"[^[^a]]", 'a', true},
      {"[^[^a]]", 'b', false},
  });
}

TEST(BracketClass, PosixClassesAreAsciiAndLookAlikesAreNestedClasses) {
  expect_members({
      {"[[:alpha:]]", 'q', true},
      {"[[:alpha:]]", 0xE9, false},
      {"[[:^alpha:]]", 0xE9, true},
      {"[[:word:]]", '_', true},
      {"[[:space:]]", 0x0B, true},
      {"[[:space:]]", 0x85, false},
      {"[[:punct:]]", '`', true},
      {"[[:cntrl:]]", 0x7F, true},
      {"[[:xdigit:]]", 'f', true},
      {"[[:upper:]]", 'a', true, true},
      {"[[:upper:]]", 0x212A, true, true},
      {"[[:upper:]]", 0xC9, false, true},
      {"[^[:upper:]]", 'a', false, true},
      {"[:alpha:]", 'l', true},
      {"[:alpha:]", 'b', false},  // only inside brackets
      {"[[:foo:]]", 'f', true},
      {"[[:foo:]]", ':', true},
      {"[[:DIGIT:]]", '5', false},
      {"[[: digit:]]", '5', false},
      {"[[=a=]]", 'a', true},
      {"[[.a.]]", 'a', true},
  });
}

TEST(BracketClass, EscapesHaveTheirClassMeanings) {
  expect_members({
      {"[\\b]", 0x08, true},
      {"[\\A\\z\\B\\k\\K\\G]", 'K', true},
      {"[\\A\\z\\B\\k\\K\\G]", 'z', true},
      {"[\\<\\>]", '<', true},
      {"[\\h]", 'F', true},
      {"[\\h]", 'g', false},
      {"[\\H]", 'g', true},
      {"[\\h-z]", '-', true},
      {"[\\h-z]", 'g', false},
      {"[\\H-z]", 'z', true},  // \h is a nested class
      {"[\\x41]", 'A', true},
      {"[\\x{1F600}]", 0x1F600, true},
      {"[\\u00e9]", 0xE9, true},
      {"[\\u{41}]", 'A', true},
      {"[\\U0001F600]", 0x1F600, true},
      {"[\\U{41}]", 'A', true},
      {"[\\x5D]", ']', true},
      {"[a\\x2Dz]", 'b', false},  // a decoded character is never syntax
      {"[\\n\\t\\r\\f\\v\\a\\e]", 0x0B, true},
      {"[\\n\\t\\r\\f\\v\\a\\e]", 0x1B, true},
      {"[\\-\\]\\[\\^\\\\\\&&]", '\\', true},
      {"[\\&&]", '&', true},
      {"[\\ ]", ' ', true},
      {"[\\\xC3\xA9]", 0xE9, true},
      {"[\\d]", 0x660, true},
      {"[\\D]", 0x660, false},
      {"[\\s]", 0x85, true},
      {"[\\s]", 0x180E, false},
      {"[\\w]", 0x24D0, true},
      {"[\\w]", 0xB2, false},
      {"[\\w]", 0x200D, true},
      {"[\\W]", '_', false},
      {"[\\pL]", 'x', true},
      {"[\\pLu]", 'u', true},
      {"[\\PL]", 'x', false},
      {"[\\p{ Greek }]", 0x3B1, true},
  });
}

TEST(BracketClass, CaseInsensitiveFoldsEveryLeafBeforeNegationAndSetOperations) {
  expect_members({
      {"[a-z]", 0x212A, true, true},  // Kelvin sign folds to k
      {"[^k]", 0x212A, false, true},
      {"[k]", 'K', true, true},
      {"[s]", 0x17F, true, true},
      {"[\\x{1E9E}]", 0xDF, true, true},
      {"[\xCF\x83]", 0x3C2, true, true},
      {"[\xCF\x83]", 0x3A3, true, true},
      {"[\xCE\xB8]", 0x3F4, true, true},
      {"[\xC2\xB5]", 0x39C, true, true},
      {"[\xC7\x85]", 0x1C4, true, true},
      {"[\\x{345}]", 0x1FBE, true, true},
      {"[s]", 0xDF, false, true},   // no multi-character folds
      {"[i]", 0x130, false, true},  // and no Turkic special case
      {"[\\p{Lu}]", 'a', true, true},
      {"[\\P{Lu}]", 'a', false, true},
      {"[\\p{gc!=Lu}]", 'a', false, true},
      {"[\\p{Lt}]", 0x1C6, true, true},
      {"[\\p{Lowercase}]", 'A', true, true},
      {"[a-z--k]", 0x212A, false, true},
      {"[a-z--k]", 'K', false, true},
      {"[a-z--k]", 'J', true, true},
      {"[\\W]", 0x212A, false, true},
      {"[\\w]", 0x17F, true, true},
  });
}

TEST(BracketClass, EndsAtItsClosingBracket) {
  const std::tuple<const char*, size_t, size_t> cases[] = {
      {"[abc]d", 0, 5},   {"x[]a]y", 1, 5},  {"[[a]b]", 0, 6},
      {"[\\]]", 0, 4},    {"[A-[x]]", 0, 6},  // a '[' that ends a range is a literal, so the first ']' closes
      {"[\\p{L}]", 0, 7}, {"[0-\\h]", 0, 5},  // "[0-[0-9A-Fa-f]]": the range takes '[', \h's own ']' closes
  };
  for (const auto& [pattern, start, end] : cases) {
    Result<ClassParse> r = parse_bracket_class(pattern, start, {});
    ASSERT_TRUE(r.ok()) << pattern << ": " << r.error().message;
    EXPECT_EQ(r.value().end, end) << pattern;
  }
}

TEST(BracketClass, TextAfterAnEarlyCloseComesBackAsSetsUpToTheBalancedEnd) {
  const struct {
    const char* pattern;
    bool case_insensitive;
    size_t end, text_end;
    std::vector<CodePointSet> tail;
  } cases[] = {
      {"[abc]d", false, 5, 5, {}},
      {"[A-[x]]*", false, 6, 7, {code_point_range(']', ']')}},
      {"[A-[x]:k]",
       true,
       6,
       9,
       {code_point_range(':', ':'), code_point_set({{'K', 'K'}, {'k', 'k'}, {0x212A, 0x212A}}),
        code_point_range(']', ']')}},
      {"[A-[x]\\d]", false, 6, 9, {perl_class('d'), code_point_range(']', ']')}},
      {"[!-[b][:d]]", false, 6, 11, {code_point_set({{':', ':'}, {'d', 'd'}}), code_point_range(']', ']')}},
      {"[!-[b]c|d]", false, 6, 10, {}},  // not a plain run: the caller reads it as pattern text
  };
  for (const auto& c : cases) {
    Result<ClassParse> r = parse_bracket_class(c.pattern, 0, {.case_insensitive = c.case_insensitive});
    ASSERT_TRUE(r.ok()) << c.pattern;
    EXPECT_EQ(r.value().end, c.end) << c.pattern;
    EXPECT_EQ(r.value().text_end, c.text_end) << c.pattern;
    EXPECT_EQ(r.value().tail, c.tail) << c.pattern;
  }
}

TEST(BracketClass, MalformedClassesAreErrorsWithTheirOffset) {
  const std::pair<const char*, size_t> cases[] = {
      {"x[]", 1},
      {"[^]", 0},
      {"[a[]", 0},
      {"[a", 0},
      {"[[]a]]", 0},
      {"[z-a]", 1},
      {"[\\d-z]", 1},
      {"[a-\\d]", 1},
      {"[a-\\H]", 1},
      {"[a-[:digit:]]", 1},
      {"[a\\Z]", 2},
      {"[\\O]", 1},
      {"[\\g]", 1},
      {"[\\1]", 1},
      {"[\\0]", 1},
      {"[\\c]", 1},
      {"[\\N]", 1},
      {"[\\Q]", 1},
      {"[\\x4]", 1},
      {"[\\x{}]", 1},
      {"[\\x{D800}]", 1},
      {"[\\x{110000}]", 1},
      {"[\\u{123456789}]", 1},
      {"[\\p]", 1},
      {"[\\p{L]", 1},
      {"[\\p{^Greek}]", 1},
      {"[ab\\p{Unknown}]", 3},
      {"[a\\", 2},
  };
  for (const auto& [pattern, offset] : cases) {
    Result<ClassParse> r = parse_bracket_class(pattern, std::string_view(pattern)[0] == 'x', {});
    ASSERT_FALSE(r.ok()) << pattern;
    EXPECT_EQ(r.error().kind, ErrorKind::Runtime);
    EXPECT_TRUE(r.error().message.ends_with(" at offset " + std::to_string(offset)))
        << pattern << ": " << r.error().message;
  }
}

TEST(BracketClass, DeepNestingIsRefusedWithoutExhaustingTheStack) {
  auto nested = [](size_t n, std::string_view inner) {
    return std::string(n, '[') + std::string(inner) + std::string(n, ']');
  };
  EXPECT_TRUE(parse_bracket_class(nested(250, "a"), 0, {}).ok());
  EXPECT_FALSE(parse_bracket_class(nested(251, "a"), 0, {}).ok());
  EXPECT_TRUE(parse_bracket_class(nested(249, "ab"), 0, {}).ok());  // a union of two is a level too
  EXPECT_FALSE(parse_bracket_class(nested(250, "ab"), 0, {}).ok());
  EXPECT_TRUE(parse_bracket_class(nested(250, "-"), 0, {}).ok());
  EXPECT_TRUE(parse_bracket_class(nested(250, "[:alpha:]"), 0, {}).ok());  // no level of its own
  EXPECT_FALSE(parse_bracket_class(nested(250, "\\h"), 0, {}).ok());       // a nested class, so a level
  std::string ops = "[a";
  for (int i = 0; i < 249; ++i) ops += "&&a";
  EXPECT_TRUE(parse_bracket_class(ops + "]", 0, {}).ok());
  EXPECT_FALSE(parse_bracket_class(ops + "&&a]", 0, {}).ok());
  EXPECT_FALSE(parse_bracket_class(nested(1000000, "a"), 0, {}).ok());
}

TEST(VerboseClass, OnlyHexEscapesSkipWhitespace) {
  const std::tuple<const char*, char32_t, bool> cases[] = {
      {"[\\x 41]", 'A', true},
      {"[\\x{ 4 1 }]", 'A', true},
      {"[\\u 00e9]", 0xE9, true},
      {"[a b]", ' ', true},
  };
  for (const auto& [cls, c, member] : cases) {
    Result<ClassParse> r = parse_bracket_class(cls, 0, {.verbose = true});
    ASSERT_TRUE(r.ok()) << cls;
    EXPECT_EQ(contains(r.value().set, c), member) << cls;
  }
  EXPECT_FALSE(parse_bracket_class("[\\x4 1]", 0, {.verbose = true}).ok());
  EXPECT_FALSE(parse_bracket_class("[\\x 41]", 0, {}).ok());
}

// The emitted class, compiled as the front end compiles patterns, must match
// exactly the set's members.
TEST(AppendClass, EmitsAClassPcre2MatchesExactlyAsTheSet) {
  const std::pair<CodePointSet, const char*> cases[] = {
      {code_point_set({{'b', 'd'}, {'f', 'h'}}), "[b-df-h]"},
      {code_point_set({{'a', 'b'}, {'x', 'x'}}), "[abx]"},
      {code_point_set({{']', ']'}, {'-', '-'}, {'\\', '\\'}, {'^', '^'}}), "[\\-\\\\-\\^]"},
      {code_point_set({{0, 'a' - 1}, {'b', 0x10FFFF}}), "[^a]"},
      {{}, nullptr},
      {set_complement({}), nullptr},
      {code_point_set({{0xE9, 0xE9}, {0x1F600, 0x1F64F}}), "[\\x{E9}\\x{1F600}-\\x{1F64F}]"},
      {perl_class('w'), nullptr},
      {perl_class('W'), nullptr},
  };
  for (const auto& [set, want] : cases) {
    std::string out;
    append_class(out, set);
    if (want != nullptr) {
      EXPECT_EQ(out, want);
    }
    const std::string pattern = "^" + out + "{2}$";
    int err = 0;
    PCRE2_SIZE at = 0;
    pcre2_code* code = pcre2_compile(reinterpret_cast<PCRE2_SPTR>(pattern.data()), pattern.size(),
                                     PCRE2_UTF | PCRE2_UCP, &err, &at, nullptr);
    ASSERT_NE(code, nullptr) << out;
    pcre2_match_data* md = pcre2_match_data_create_from_pattern(code, nullptr);
    for (char32_t c :
         {U'\0', U'\t', U'A',    U'a',    U'b',      U'e',      U'i',      U'z',       U'-',       U']',
          U'\\', U'^',  U'\x7F', U'\xE9', U'\x212A', U'\xD7FF', U'\xE000', U'\x1F600', U'\x1F650', U'\x10FFFF'}) {
      std::string text;
      append_utf8(text, c);
      append_utf8(text, c);
      const int rc = pcre2_match(code, reinterpret_cast<PCRE2_SPTR>(text.data()), text.size(), 0, 0, md, nullptr);
      EXPECT_EQ(rc > 0, contains(set, c)) << out << " on U+" << std::hex << uint32_t(c);
    }
    pcre2_match_data_free(md);
    pcre2_code_free(code);
  }
}

}  // namespace
}  // namespace vellix::core
