#include "core/pattern/unicode_sets.hpp"

#include <gtest/gtest.h>

#include <thread>
#include <tuple>
#include <vector>

namespace vellix::core {
namespace {

TEST(UnicodeProperty, NamesResolveLooselyAndInOrder) {
  const std::tuple<const char*, char32_t, bool> accepted[] = {
      {"L", 'a', true},
      {" LETTER ", 'a', true},
      {"is_letter", 'a', true},
      {"IsLetter", 'a', true},
      {"uppercaseletter", 'A', true},
      {"Lu", 'a', false},
      {"punct", '!', true},
      {"Digit", '7', true},
      {"Combining_Mark", 0x301, true},
      {"Other", 0x378, true},
      {"LC", 0x1C5, true},
      {"cf", 0x200B, true},
      {"sc", '$', true},
      {"lc", 'a', true},  // categories, not properties
      {"Any", 0x10FFFF, true},
      {"Assigned", 0x378, false},
      {"ASCII", 0x7F, true},
      {"ASCII", 0x80, false},
      {"Alpha", 0x24D0, true},
      {"space", 0x85, true},
      {"WSpace", 0x180E, false},
      {"Hyphen", '-', true},
      {"Other_Alphabetic", 0x24D0, true},
      {"OLower", 0xAA, true},
      {"Other_Math", '^', true},
      {"IDS_Unary_Operator", 0x2FFE, true},
      {"Modifier_Combining_Mark", 0x654, true},
      {"Greek", 0x3B1, true},
      {"Grek", 0x342, false},
      {"scx=Greek", 0x342, true},
      {"Zinh", 0x301, true},
      {"Common", '1', true},
      {"gc=L", 'a', true},
      {"gc:Lu", 'A', true},
      {"General_Category=punct", ',', true},
      {"gc!=L", 'a', false},
      {"gc!=L", '1', true},
      {"sc=Latn", 'a', true},
      {"age=3.0", 'a', true},
      {"age=V5_2", 0x20B9, false},
      {"age=6.0", 0x20B9, true},
      {"age=6.1", 0x20BA, false},
      {"age=6.2", 0x20BA, true},
      {"wb=ALetter", 'a', true},
      {"sb=Upper", 'A', true},
      {"gcb=Extend", 0x301, true},
  };
  for (const auto& [body, c, member] : accepted) {
    Result<CodePointSet> s = unicode_property(body);
    ASSERT_TRUE(s.ok()) << body << ": " << s.error().message;
    EXPECT_EQ(contains(s.value(), c), member) << body << " on U+" << std::hex << uint32_t(c);
  }
  const char* rejected[] = {"L&",          "Xan",      "Xwd",    "Xps",    "Xsp",          "Unknown",        "Zzzz",
                            "Cs",          "Hrkt",     "^Greek", "bc=L",   "Bidi_Class=L", "Alphabetic=Yes", "InCB",
                            "InCB=Linker", "Script",   "gc",     "gc=Foo", "age=3_0",      "wb=Other",       "gcb=XX",
                            "gcb=E_Base",  "nonsense", ""};
  for (const char* body : rejected) EXPECT_FALSE(unicode_property(body).ok()) << body;
}

TEST(CaseFoldClosure, AddsEverySimpleFoldPartnerAndNothingElse) {
  const std::pair<CodePointSet, CodePointSet> cases[] = {
      {code_point_set({{'k', 'k'}}), code_point_set({{'K', 'K'}, {'k', 'k'}, {0x212A, 0x212A}})},
      {code_point_set({{0x3C3, 0x3C3}}), code_point_set({{0x3A3, 0x3A3}, {0x3C2, 0x3C3}})},
      {code_point_set({{0xDF, 0xDF}}), code_point_set({{0xDF, 0xDF}, {0x1E9E, 0x1E9E}})},
      {code_point_set({{'1', '9'}}), code_point_set({{'1', '9'}})},
      {code_point_set({{0x1C4, 0x1C4}}), code_point_set({{0x1C4, 0x1C6}})},
  };
  for (const auto& [in, want] : cases) EXPECT_EQ(case_fold_closure(in), want);
  for (char letter : {'d', 'D', 's', 'S', 'w', 'W'}) {
    EXPECT_EQ(case_fold_closure(perl_class(letter)), perl_class(letter)) << letter;
  }
}

TEST(UnicodeProperty, ThreadsBuildingTheSameSetsAtOnceAgree) {
  const char* bodies[] = {"sc=Cherokee", "wb=Katakana", "age=4.1", "Other_Math"};
  std::vector<CodePointSet> got[8];
  std::vector<std::thread> threads;
  for (auto& out : got) {
    threads.emplace_back([&out, &bodies] {
      for (const char* body : bodies) out.push_back(property_class(body, false, true).value());
    });
  }
  for (std::thread& t : threads) t.join();
  for (const auto& out : got) EXPECT_EQ(out, got[0]);
  EXPECT_TRUE(contains(got[0][0], 0x13A0));
}

}  // namespace
}  // namespace vellix::core
