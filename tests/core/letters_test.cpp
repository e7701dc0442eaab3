#include "core/letters.hpp"

#include <gtest/gtest.h>

#include <unicode/uloc.h>

#include <string>

#include "cell_list_fixture.hpp"

namespace vellix::core {
namespace {

using testing::CellList;

TEST(ColumnLetters, KnownNumbersGiveTheirLetters) {
  const std::pair<uint16_t, const char*> cases[] = {
      {0, ""},      {1, "A"},       {26, "Z"},       {27, "AA"},     {52, "AZ"},     {53, "BA"},
      {702, "ZZ"},  {703, "AAA"},   {16384, "XFD"},  {18278, "ZZZ"}, {18279, "AAAA"}, {65535, "CRXO"},
  };
  for (const auto& [number, letters] : cases) {
    EXPECT_EQ(column_number_to_letter(number), letters) << number;
  }
}

TEST(ColumnLetters, EveryThreeLetterColumnRoundTripsInOrder) {
  std::string previous;
  for (uint32_t n = 1; n <= 18278; ++n) {
    std::string letters = column_number_to_letter(static_cast<uint16_t>(n));
    ASSERT_EQ(column_letters_to_number(letters), n) << letters;
    // Bijective base 26 orders by length, then alphabetically.
    ASSERT_TRUE(previous.size() < letters.size() || previous < letters) << previous << " " << letters;
    previous = letters;
  }
}

struct ReferenceCase {
  const char* reference;
  bool valid;
  uint32_t row;
  uint16_t column;
};

class LetterReference : public ::testing::TestWithParam<ReferenceCase> {};

TEST_P(LetterReference, ParsesOrReportsTheReferenceAsGiven) {
  const ReferenceCase& c = GetParam();
  Result<Coordinate> at = parse_letter_coordinate(c.reference);
  if (c.valid) {
    ASSERT_TRUE(at.ok()) << at.error().message;
    EXPECT_EQ(at.value(), (Coordinate{c.row, c.column}));
  } else {
    ASSERT_FALSE(at.ok());
    EXPECT_EQ(at.error().kind, ErrorKind::Value);
    EXPECT_EQ(at.error().message, std::string("invalid cell reference: '") + c.reference + "'");
  }
}

INSTANTIATE_TEST_SUITE_P(
    Table, LetterReference,
    ::testing::Values(ReferenceCase{"B7", true, 7, 2}, ReferenceCase{"b7", true, 7, 2},
                      ReferenceCase{"$B$7", true, 7, 2}, ReferenceCase{"$b$7", true, 7, 2},
                      ReferenceCase{"B$7", true, 7, 2}, ReferenceCase{"$B7", true, 7, 2},
                      ReferenceCase{"A1B2", true, 1, 1}, ReferenceCase{"A1 ", true, 1, 1},
                      ReferenceCase{"A007", true, 7, 1}, ReferenceCase{"XFD1048576", true, 1048576, 16384},
                      ReferenceCase{"ZZZ1", true, 1, 18278}, ReferenceCase{"A0", true, 0, 1},
                      ReferenceCase{"A4294967295", true, 4294967295u, 1},
                      // Full upper-casing: "ß" is "SS", column 19 * 26 + 19.
                      ReferenceCase{"\xC3\x9F" "1", true, 1, 513},
                      ReferenceCase{"", false}, ReferenceCase{" A1", false}, ReferenceCase{"B", false},
                      ReferenceCase{"7", false}, ReferenceCase{"AAAA1", false}, ReferenceCase{"$$A1", false},
                      ReferenceCase{"A4294967296", false}, ReferenceCase{"A99999999999999999999", false},
                      // A malformed byte is not a letter; it must not upset the parse.
                      ReferenceCase{"\xFF" "A1", false}, ReferenceCase{"A\xFF" "1", false}));

TEST(LetterReference, UpperCasesByTheRootLocaleWhateverTheDefault) {
  // Under a Turkish default "i" would become a dotted capital, no column letter.
  UErrorCode status = U_ZERO_ERROR;
  const std::string saved = uloc_getDefault();
  uloc_setDefault("tr_TR", &status);
  Result<Coordinate> at = parse_letter_coordinate("i\xC3\x9F" "1");
  uloc_setDefault(saved.c_str(), &status);
  ASSERT_TRUE(at.ok());
  EXPECT_EQ(at.value().column, column_letters_to_number("ISS"));
}

TEST(FindCellByLetter, FindsTheFirstCellAtTheReferencedPositionOrReportsTheReference) {
  CellList list({{7, 2, "first"}, {1, 1, "a1"}, {7, 2, "second"}});
  for (const char* reference : {"B7", "$b$7"}) EXPECT_EQ(find_cell_by_letter_core(reference, list.span()).value(), list[0]);
  EXPECT_FALSE(find_cell_by_letter_core("C3", list.span()).value());
  Result<SharedCell> invalid = find_cell_by_letter_core("7", list.span());
  ASSERT_FALSE(invalid.ok());
  EXPECT_EQ(invalid.error().kind, ErrorKind::Value);
  EXPECT_EQ(invalid.error().message, "invalid cell reference: '7'");
}

}  // namespace
}  // namespace vellix::core
