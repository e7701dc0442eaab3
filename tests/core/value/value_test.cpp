#include "core/value/value.hpp"

#include <gtest/gtest.h>

#include "core/value/cell_edit.hpp"

#include <cmath>
#include <limits>
#include <optional>
#include <random>
#include <string>

namespace vellix::core {
namespace {

// The letter of each kind, indexed by its tag.
constexpr char kKinds[] = "ESNIBD";

char kind_of(const CellValue& v) { return kKinds[static_cast<int>(v.kind())]; }

// What a text types into and the value text it reads back as (none: the text
// itself, unchanged).
struct TypingCase {
  std::string text;
  char kind;
  std::optional<std::string> value_text = std::nullopt;
};

const TypingCase kTypingCases[] = {
    // Boolean words, by full Unicode upper-casing ("ſ" is the long s).
    {"TRUE", 'B', "true"},
    {"tRuE", 'B', "true"},
    {"False", 'B', "false"},
    {"fal\u017fe", 'B', "false"},
    {" true", 'S'},
    {"truee", 'S'},
    {"\u0131\u0131", 'S'},
    {"fal\u017fe\u017f", 'S'},
    // Integers: one sign, ASCII digits, within 32 bits.
    {"", 'E', ""},
    {"007", 'I', "7"},
    {"-0", 'I', "0"},
    {"+12", 'I', "12"},
    {"2147483647", 'I', "2147483647"},
    {"-2147483648", 'I', "-2147483648"},
    {"00000000000000000000042", 'I', "42"},
    {"2147483648", 'N', "2147483648"},
    {"-2147483649", 'N', "-2147483649"},
    {"+", 'S'},
    {"+-5", 'S'},
    {"1_000", 'S'},
    {" 5", 'S'},
    {"1,5", 'S'},
    {"0x10", 'S'},
    {"\xd9\xa3", 'S'},
    // Floats: shortest digits written out, no exponent, no ".0".
    {"5.0", 'N', "5"},
    {"5.", 'N', "5"},
    {"0.0", 'N', "0"},
    {"-12.5", 'N', "-12.5"},
    {".5", 'N', "0.5"},
    {"+.5e1", 'N', "5"},
    {"1E+5", 'N', "100000"},
    {".", 'S'},
    {"1e+", 'S'},
    {"e5", 'S'},
    {"1.2.3", 'S'},
    {"0x1p3", 'S'},
    {"0.30000000000000004", 'N', "0.30000000000000004"},
    {"1e21", 'N', "1000000000000000000000"},
    {"1.2345678901234568e20", 'N', "123456789012345680000"},
    {"1e-7", 'N', "0.0000001"},
    {"9007199254740993", 'N', "9007199254740992"},
    {"9007199254740994", 'N', "9007199254740994"},
    {"4611686018427387904", 'N', "4611686018427388000"},
    {"1.5e300", 'N', "15" + std::string(299, '0')},
    {"1.7976931348623157e308", 'N', "17976931348623157" + std::string(292, '0')},
    {"5e-324", 'N', "0." + std::string(323, '0') + "5"},
    {"2.4703282292062327e-324", 'N', "0"},
    {"1e400", 'N', "inf"},
    {"-1e400", 'N', "-inf"},
    {"-1e-400", 'N', "-0"},
    {"-0.0", 'N', "-0"},
    {"1e99999999999999999999", 'N', "inf"},
    {"0e999999999999", 'N', "0"},
    {"0.0000000000000000000000000001e400", 'N', "inf"},
    {"10000000000000000000000000000e-400", 'N', "0"},
    {"-Infinity", 'N', "-inf"},
    {"+inf", 'N', "inf"},
    {"infinit", 'S'},
    {"-nan", 'N', "NaN"},
    {"nan(1)", 'S'},
    // Date-times "%Y-%m-%d %H:%M:%S": dates that exist, second 60 as a leap second.
    {"2024-01-31 08:05:09", 'D', "2024-01-31 08:05:09"},
    {"2024-1-5 3:4:5", 'D', "2024-01-05 03:04:05"},
    {"24-01-01 00:00:00", 'D', "0024-01-01 00:00:00"},
    {"+10000-01-01 00:00:00", 'D', "+10000-01-01 00:00:00"},
    {"-1-01-01 00:00:00", 'D', "-0001-01-01 00:00:00"},
    {"2016-12-31 23:59:60", 'D', "2016-12-31 23:59:60"},
    {"2000-02-29 00:00:00", 'D', "2000-02-29 00:00:00"},
    {"1900-02-29 00:00:00", 'S'},
    {"2024-02-30 00:00:00", 'S'},
    {"2024-13-01 00:00:00", 'S'},
    {"2024-01-01 24:00:00", 'S'},
    {"2024-01-01 00:00:61", 'S'},
    {"10000-01-01 00:00:00", 'S'},
    {"2024-001-01 00:00:00", 'S'},
    {"+99999999999999999999-01-01 00:00:00", 'S'},
    {"2024-01-01 10:00:00.5", 'S'},
    {"2024-01-01T10:00:00", 'S'},
    {"2024-01-01 10:00:00 ", 'S'},
    {"2024-01-01", 'S'},
};

TEST(Typing, TypesTextAndReadsItBack) {
  for (const TypingCase& c : kTypingCases) {
    const CellValue v = parse_cell_value(c.text);
    EXPECT_EQ(kind_of(v), c.kind) << c.text;
    EXPECT_EQ(cell_value_text(v), c.value_text.value_or(c.text)) << c.text;
  }
}

// Whatever the text, typing never crashes, a String keeps the text exactly,
// and any other kind's value text types back to the same value text.
TEST(Typing, TypedValuesRoundTripThroughTheirText) {
  std::mt19937_64 rng(20240131);
  const std::string alphabet = "0123456789+-.eEinfatyINFATY :_xs\xc5\xbf";
  std::vector<std::string> texts = {std::string(5000, '9'), std::string("1e").append(400, '9'), "\xff\xfe", "t\xc5",
                                    std::string(1, '\0')};
  for (int n = 0; n < 20000; ++n) {
    std::string t;
    for (size_t i = rng() % 24; i > 0; --i) t += alphabet[rng() % alphabet.size()];
    texts.push_back(std::move(t));
  }
  std::string scratch;
  for (const std::string& t : texts) {
    const CellValue v = parse_cell_value(t);
    const std::string text = cell_value_text(v);
    EXPECT_EQ(cell_value_text_view(v, scratch), text);
    EXPECT_EQ(v.kind() == ValueKind::String ? t : cell_value_text(parse_cell_value(text)), text) << t;
  }
}

TEST(ValueText, FractionsShowToTheirPrecisionAndYearsOutside0To9999CarryASign) {
  constexpr uint32_t k070809 = 7 * 3600 + 8 * 60 + 9;
  const std::pair<DateTime, const char*> cases[] = {
      {{2024, 3, 5, k070809, 500'000'000}, "2024-03-05 07:08:09.500"},
      {{2024, 3, 5, k070809, 250'000}, "2024-03-05 07:08:09.000250"},
      {{2024, 3, 5, k070809, 1}, "2024-03-05 07:08:09.000000001"},
      {{2016, 12, 31, 86399, 1'500'000'000}, "2016-12-31 23:59:60.500"},
      {{0, 1, 1, 0, 0}, "0000-01-01 00:00:00"},
      {{-32767, 1, 1, 0, 0}, "-32767-01-01 00:00:00"},
  };
  for (const auto& [dt, text] : cases) EXPECT_EQ(cell_value_text(CellValue::datetime(dt)), text);
  EXPECT_EQ(cell_value_text(CellValue::number(-std::numeric_limits<double>::quiet_NaN())), "NaN");
}

TEST(CellValueTest, CopiesOwnTheirTextAndMovesLeaveEmpty) {
  CellValue a = CellValue::string("abc");
  CellValue b = a;
  EXPECT_NE(a.as_string().data(), b.as_string().data());
  CellValue c = std::move(a);
  EXPECT_EQ(a.kind(), ValueKind::Empty);
  c = CellValue::datetime({2024, 2, 29, 1, 2});
  EXPECT_EQ(c.as_datetime(), (DateTime{2024, 2, 29, 1, 2}));
  c = b;
  c = c;
  EXPECT_EQ(c.as_string(), "abc");
}

// The rest of the rule is driven through the readable layer's conversion.
TEST(BuildCell, OnlyTheExactTypeSKeepsTheTextUnparsed) {
  EXPECT_EQ(kind_of(build_cell(3, 4, "123", std::nullopt, "S", std::nullopt).value), 'I');
  const CoreCell cell = build_cell(7, 2, "", "SUM(A1)", "s", "");
  EXPECT_EQ(kind_of(cell.value), 'S');  // the empty text under "s" is a String, not Empty
  EXPECT_TRUE(cell_text(cell, &CellExtras::formula) == "SUM(A1)" && cell_text(cell, &CellExtras::style_id) == "" &&
              !cell_text(cell, &CellExtras::hidden_value).has_value());
}

// Strings up to 14 bytes live in the value, longer ones in a Text: each side
// of the boundary, with bytes a C string would cut, must copy, move and be
// overwritten intact.
TEST(CellValueTest, StringsOnBothSidesOfTheInlineSizeKeepTheirBytes) {
  const std::string kLong(40, 'L');
  const std::string texts[] = {
      "a",
      std::string(13, 'x'),
      std::string(14, 'y'),
      std::string(15, 'z'),
      "\u00e9\u00e9\u00e9\u00e9\u00e9\u00e9\u00e9",  // 14 bytes, 7 characters
      "abcdefghijklm\u00e9",                         // 15 bytes: the last character crosses the boundary
      std::string("ab\0cd\0\0", 7),                  // zero bytes inside
      std::string(14, '\0'),
      std::string(1000, 'q'),
  };
  for (const std::string& text : texts) {
    SCOPED_TRACE(text.size());
    const CellValue v = CellValue::string(text);
    EXPECT_EQ(v.as_string(), text);
    EXPECT_EQ(cell_value_text(v), text);
    CellValue copy = v;
    CellValue moved = std::move(copy);
    EXPECT_EQ(moved.as_string(), text);
    EXPECT_EQ(copy.kind(), ValueKind::Empty);
    CellValue over_long = CellValue::string(kLong);
    over_long = moved;
    CellValue over_short = CellValue::string("s");
    over_short = std::move(moved);
    EXPECT_EQ(over_long.as_string(), text);
    EXPECT_EQ(over_short.as_string(), text);
    over_short = CellValue::string(kLong);  // a long text replacing this one
    EXPECT_EQ(over_short.as_string(), kLong);
    EXPECT_EQ(v.as_string(), text);
  }
}

std::optional<std::string> text_of(const Text& t) {
  return t.has_value() ? std::optional<std::string>(t.view()) : std::nullopt;
}

// What the Python setters do to a cell, step by step, and the formula, style,
// hidden value and data type it then shows; the rare texts sit in one extras
// block that must go once the last of them does.
TEST(CellTexts, GainingAndLosingFormulaStyleAndHiddenValueKeepsTheOthers) {
  using Edit = void (*)(CoreCell&);
  struct Step {
    Edit edit;
    std::optional<std::string> formula, style, hidden;
    std::string data_type;
  };
  const Step steps[] = {
      {[](CoreCell&) {}, std::nullopt, std::nullopt, std::nullopt, "s"},
      {[](CoreCell& c) { store_cell_formula(c, "=A1"); }, "=A1", std::nullopt, std::nullopt, "f"},
      {[](CoreCell& c) { set_cell_text(c, &CellExtras::style_id, Text("")); }, "=A1", "", std::nullopt, "f"},
      {[](CoreCell& c) { set_cell_text(c, &CellExtras::hidden_value, Text("h")); }, "=A1", "", "h", "f"},
      {[](CoreCell& c) { touch_cell(c); }, "=A1", "", "h", "f"},
      {[](CoreCell& c) { store_cell_value(c, parse_cell_value("7")); }, std::nullopt, "", "h", "n"},
      {[](CoreCell& c) { touch_cell(c); }, std::nullopt, "", "h", "s"},
      {[](CoreCell& c) { set_cell_text(c, &CellExtras::style_id, Text()); }, std::nullopt, std::nullopt, "h", "s"},
      {[](CoreCell& c) { set_cell_text(c, &CellExtras::hidden_value, Text()); }, std::nullopt, std::nullopt,
       std::nullopt, "s"},
      {[](CoreCell& c) { set_cell_data_type(c, "custom"); }, std::nullopt, std::nullopt, std::nullopt, "custom"},
      {[](CoreCell& c) { store_cell_formula(c, ""); }, "", std::nullopt, std::nullopt, "f"},
      {[](CoreCell& c) { store_cell_value(c, CellValue::boolean(true)); }, std::nullopt, std::nullopt, std::nullopt,
       "b"},
  };
  CoreCell cell = build_cell(2, 3, "x", std::nullopt, "s", std::nullopt);
  for (size_t i = 0; i < std::size(steps); ++i) {
    SCOPED_TRACE(i);
    steps[i].edit(cell);
    EXPECT_EQ(text_of(cell_text(cell, &CellExtras::formula)), steps[i].formula);
    EXPECT_EQ(text_of(cell_text(cell, &CellExtras::style_id)), steps[i].style);
    EXPECT_EQ(text_of(cell_text(cell, &CellExtras::hidden_value)), steps[i].hidden);
    EXPECT_EQ(cell_data_type(cell), steps[i].data_type);
    const bool any_text = steps[i].formula || steps[i].style || steps[i].hidden || steps[i].data_type.size() != 1;
    EXPECT_EQ(cell.extras != nullptr, any_text);
  }
}

// Any one byte but the zero byte is held in the cell itself; every other
// data type text, and a later letter replacing it, reads back exactly.
TEST(CellTexts, EveryDataTypeTextReadsBackExactly) {
  const std::string types[] = {"s",
                               "n",
                               "b",
                               "d",
                               "f",
                               "S",
                               "x",
                               "~",
                               "\xff",
                               std::string(1, '\0'),
                               "",
                               "str",
                               "\u00e9",
                               std::string("n\0", 2),
                               std::string(300, 't')};
  for (const std::string& type : types) {
    SCOPED_TRACE(type);
    CoreCell cell = build_cell(1, 1, "5", std::nullopt, type, std::nullopt);
    EXPECT_EQ(cell_data_type(cell), type);
    EXPECT_EQ(cell_data_type(CoreCell(1, 1, CellValue(), Text(), Text(type), Text(), Text())), type);
    set_cell_text(cell, &CellExtras::style_id, Text("st"));
    store_cell_value(cell, CellValue::empty());
    EXPECT_EQ(cell_data_type(cell), "s");
    EXPECT_EQ(text_of(cell_text(cell, &CellExtras::style_id)), "st");
    set_cell_data_type(cell, type);
    EXPECT_EQ(cell_data_type(cell), type);
  }
}

}  // namespace
}  // namespace vellix::core
