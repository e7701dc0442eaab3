#include "core/sheet/letters.hpp"

#include <gtest/gtest.h>
#include <unicode/uloc.h>

#include <string>

#include "cell_list_fixture.hpp"

namespace vellix::core {
namespace {

TEST(ColumnLetters, RoundTripInBijectiveBase26) {
  const std::pair<uint16_t, const char*> cases[] = {
      {0, ""}, {1, "A"}, {26, "Z"}, {27, "AA"}, {52, "AZ"}, {53, "BA"}, {702, "ZZ"}, {703, "AAA"}, {65535, "CRXO"},
  };
  for (const auto& [number, letters] : cases) EXPECT_EQ(column_number_to_letter(number), letters) << number;
  for (uint32_t n = 1; n <= 18278; ++n) {
    ASSERT_EQ(column_letters_to_number(column_number_to_letter(static_cast<uint16_t>(n))), n);
  }
}

TEST(LetterReference, ParsesOrReportsTheReferenceAsGiven) {
  const std::pair<const char*, Coordinate> valid[] = {
      {"B7", {7, 2}},
      {"$b$7", {7, 2}},
      {"B$7", {7, 2}},
      {"$B7", {7, 2}},
      {"A1B2", {1, 1}},
      {"A1 ", {1, 1}},
      {"A007", {7, 1}},
      {"XFD1048576", {1048576, 16384}},
      {"ZZZ1", {1, 18278}},
      {"A0", {0, 1}},
      {"A4294967295", {4294967295u, 1}},
      {"A1\xFF", {1, 1}},
      {"\xC3\x9F"
       "1",
       {1, 19 * 26 + 19}},  // full upper-casing: "ß" is "SS"
  };
  for (const auto& [reference, at] : valid) EXPECT_EQ(parse_letter_coordinate(reference).value(), at) << reference;
  // A malformed byte is not a letter, and must not upset the parse.
  for (const char* reference : {"", " A1", "B", "7", "AAAA1", "$$A1", "A4294967296",
                                "\xFF"
                                "A1"}) {
    Result<Coordinate> at = parse_letter_coordinate(reference);
    ASSERT_FALSE(at.ok()) << reference;
    EXPECT_EQ(at.error().kind, ErrorKind::Value);
    EXPECT_EQ(at.error().message, std::string("invalid cell reference: '") + reference + "'");
  }
}

TEST(LetterReference, UpperCasesByTheRootLocaleWhateverTheDefault) {
  // Under a Turkish default "i" would become a dotted capital, no column letter.
  UErrorCode status = U_ZERO_ERROR;
  const std::string saved = uloc_getDefault();
  uloc_setDefault("tr_TR", &status);
  Result<Coordinate> at = parse_letter_coordinate(
      "i\xC3\x9F"
      "1");
  uloc_setDefault(saved.c_str(), &status);
  EXPECT_EQ(at.value().column, column_letters_to_number("ISS"));
}

TEST(FindCellByLetter, FindsTheFirstCellAtTheReferencedPosition) {
  testing::CellList list({{7, 2, "first"}, {1, 1, "a1"}, {7, 2, "second"}});
  EXPECT_EQ(find_cell_by_letter_core("$b$7", list.span()).value(), list[0]);
  EXPECT_FALSE(find_cell_by_letter_core("C3", list.span()).value());
  EXPECT_EQ(find_cell_by_letter_core("7", list.span()).error().message, "invalid cell reference: '7'");
}

}  // namespace
}  // namespace vellix::core
