#include "core/value.hpp"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <random>
#include <string>

namespace vellix::core {
namespace {

// What a text types into: the kind and the value text it reads back as.
struct TypingCase {
  std::string text;
  ValueKind kind;
  std::string value_text;
};

class TypingTest : public testing::TestWithParam<TypingCase> {};

TEST_P(TypingTest, TypesTextAndReadsItBack) {
  const TypingCase& c = GetParam();
  const CellValue v = parse_cell_value(c.text);
  EXPECT_EQ(v.kind(), c.kind) << "text: " << c.text;
  EXPECT_EQ(cell_value_text(v), c.value_text) << "text: " << c.text;
}

constexpr auto E = ValueKind::Empty;
constexpr auto S = ValueKind::String;
constexpr auto N = ValueKind::Number;
constexpr auto I = ValueKind::Integer;
constexpr auto B = ValueKind::Bool;
constexpr auto D = ValueKind::DateTime;

INSTANTIATE_TEST_SUITE_P(
    BooleanWords, TypingTest,
    testing::Values(TypingCase{"true", B, "true"}, TypingCase{"TRUE", B, "true"}, TypingCase{"tRuE", B, "true"},
                    TypingCase{"False", B, "false"}, TypingCase{"fal\u017fe", B, "false"},  // long s
                    TypingCase{"\u0131\u0131", S, "\u0131\u0131"}, TypingCase{"tru\u00e9", S, "tru\u00e9"},
                    TypingCase{" true", S, " true"}, TypingCase{"true ", S, "true "},
                    TypingCase{"truee", S, "truee"}, TypingCase{"fal\u017fe\u017f", S, "fal\u017fe\u017f"},
                    TypingCase{"t", S, "t"}, TypingCase{"yes", S, "yes"}));

INSTANTIATE_TEST_SUITE_P(
    Integers, TypingTest,
    testing::Values(TypingCase{"", E, ""}, TypingCase{"5", I, "5"}, TypingCase{"007", I, "7"},
                    TypingCase{"-0", I, "0"}, TypingCase{"+0", I, "0"}, TypingCase{"+12", I, "12"},
                    TypingCase{"2147483647", I, "2147483647"}, TypingCase{"-2147483648", I, "-2147483648"},
                    TypingCase{"2147483648", N, "2147483648"}, TypingCase{"-2147483649", N, "-2147483649"},
                    TypingCase{"00000000000000000000042", I, "42"}, TypingCase{"+", S, "+"},
                    TypingCase{"-", S, "-"}, TypingCase{"--5", S, "--5"}, TypingCase{"+-5", S, "+-5"},
                    TypingCase{"1_000", S, "1_000"}, TypingCase{" 5", S, " 5"}, TypingCase{"5 ", S, "5 "},
                    TypingCase{"1,5", S, "1,5"}, TypingCase{"0x10", S, "0x10"},
                    TypingCase{"\xd9\xa3", S, "\xd9\xa3"}));  // ARABIC-INDIC DIGIT THREE

INSTANTIATE_TEST_SUITE_P(
    Floats, TypingTest,
    testing::Values(TypingCase{"5.0", N, "5"}, TypingCase{"5.", N, "5"}, TypingCase{".5", N, "0.5"},
                    TypingCase{".", S, "."}, TypingCase{"-.5", N, "-0.5"}, TypingCase{"+.5e1", N, "5"},
                    TypingCase{"1e5", N, "100000"}, TypingCase{"1E+5", N, "100000"}, TypingCase{"2.5e-3", N, "0.0025"},
                    TypingCase{"1e", S, "1e"}, TypingCase{"1e+", S, "1e+"}, TypingCase{"e5", S, "e5"},
                    TypingCase{"1.2.3", S, "1.2.3"}, TypingCase{"1e5.0", S, "1e5.0"},
                    TypingCase{"1e400", N, "inf"}, TypingCase{"-1e400", N, "-inf"}, TypingCase{"1e-400", N, "0"},
                    TypingCase{"-1e-400", N, "-0"}, TypingCase{"-0.0", N, "-0"}, TypingCase{"0e999999999999", N, "0"},
                    TypingCase{"1e-99999999999999999999", N, "0"}, TypingCase{"1e99999999999999999999", N, "inf"},
                    TypingCase{"0.0000000000000000000000000001e400", N, "inf"},
                    TypingCase{"10000000000000000000000000000e-400", N, "0"}, TypingCase{"inf", N, "inf"},
                    TypingCase{"+inf", N, "inf"}, TypingCase{"-Infinity", N, "-inf"},
                    TypingCase{"INFINITY", N, "inf"}, TypingCase{"infinit", S, "infinit"},
                    TypingCase{"NaN", N, "NaN"}, TypingCase{"nan", N, "NaN"}, TypingCase{"-nan", N, "NaN"},
                    TypingCase{"nan(1)", S, "nan(1)"}, TypingCase{"1.5 ", S, "1.5 "}, TypingCase{"0x1p3", S, "0x1p3"},
                    TypingCase{"5e-324", N, "0." + std::string(323, '0') + "5"},
                    TypingCase{"2.4703282292062327e-324", N, "0"}));

INSTANTIATE_TEST_SUITE_P(
    DateTimes, TypingTest,
    testing::Values(TypingCase{"2024-01-31 08:05:09", D, "2024-01-31 08:05:09"},
                    TypingCase{"2024-1-5 3:4:5", D, "2024-01-05 03:04:05"},
                    TypingCase{"24-01-01 00:00:00", D, "0024-01-01 00:00:00"},
                    TypingCase{"+10000-01-01 00:00:00", D, "+10000-01-01 00:00:00"},
                    TypingCase{"-1-01-01 00:00:00", D, "-0001-01-01 00:00:00"},
                    TypingCase{"+2024-02-29 23:59:59", D, "2024-02-29 23:59:59"},
                    TypingCase{"2016-12-31 23:59:60", D, "2016-12-31 23:59:60"},
                    TypingCase{"10000-01-01 00:00:00", S, "10000-01-01 00:00:00"},
                    TypingCase{"-32767-01-01 00:00:00", D, "-32767-01-01 00:00:00"},
                    TypingCase{"+32768-01-01 00:00:00", S, "+32768-01-01 00:00:00"},
                    TypingCase{"1900-02-29 00:00:00", S, "1900-02-29 00:00:00"},
                    TypingCase{"2000-02-29 00:00:00", D, "2000-02-29 00:00:00"},
                    TypingCase{"2023-02-29 00:00:00", S, "2023-02-29 00:00:00"},
                    TypingCase{"2024-02-30 00:00:00", S, "2024-02-30 00:00:00"},
                    TypingCase{"2024-13-01 00:00:00", S, "2024-13-01 00:00:00"},
                    TypingCase{"2024-00-01 00:00:00", S, "2024-00-01 00:00:00"},
                    TypingCase{"2024-01-01 24:00:00", S, "2024-01-01 24:00:00"},
                    TypingCase{"2024-01-01 00:60:00", S, "2024-01-01 00:60:00"},
                    TypingCase{"2024-01-01 00:00:61", S, "2024-01-01 00:00:61"},
                    TypingCase{"2024-01-01 10:00:00.5", S, "2024-01-01 10:00:00.5"},
                    TypingCase{"2024-01-01T10:00:00", S, "2024-01-01T10:00:00"},
                    TypingCase{"2024-01-01  10:00:00", S, "2024-01-01  10:00:00"},
                    TypingCase{"2024-01-01 10:00:00 ", S, "2024-01-01 10:00:00 "},
                    TypingCase{"2024-01-01", S, "2024-01-01"},
                    TypingCase{"2024-001-01 00:00:00", S, "2024-001-01 00:00:00"},
                    TypingCase{"+99999999999999999999-01-01 00:00:00", S, "+99999999999999999999-01-01 00:00:00"}));

// Value text of numbers built directly (not all are reachable by typing).
struct NumberTextCase {
  double value;
  const char* text;
};

class NumberTextTest : public testing::TestWithParam<NumberTextCase> {};

TEST_P(NumberTextTest, WritesShortestDigitsWithoutExponent) {
  std::string out = "x";
  append_number_text(GetParam().value, out);
  EXPECT_EQ(out, std::string("x") + GetParam().text);
}

INSTANTIATE_TEST_SUITE_P(
    Numbers, NumberTextTest,
    testing::Values(NumberTextCase{1.0, "1"}, NumberTextCase{0.5, "0.5"}, NumberTextCase{100.0, "100"},
                    NumberTextCase{0.1 + 0.2, "0.30000000000000004"},
                    NumberTextCase{1e21, "1000000000000000000000"},
                    NumberTextCase{1e22, "10000000000000000000000"},
                    NumberTextCase{123456789012345680000.0, "123456789012345680000"},
                    NumberTextCase{1e-7, "0.0000001"}, NumberTextCase{-1.25, "-1.25"},
                    NumberTextCase{-0.0, "-0"}, NumberTextCase{0.0, "0"},
                    NumberTextCase{std::numeric_limits<double>::quiet_NaN(), "NaN"},
                    NumberTextCase{-std::numeric_limits<double>::quiet_NaN(), "NaN"},
                    NumberTextCase{std::numeric_limits<double>::infinity(), "inf"},
                    NumberTextCase{-std::numeric_limits<double>::infinity(), "-inf"},
                    NumberTextCase{12345.678, "12345.678"}, NumberTextCase{-123456.0, "-123456"},
                    NumberTextCase{1e15, "1000000000000000"},
                    NumberTextCase{9007199254740991.0, "9007199254740991"},
                    NumberTextCase{9007199254740992.0, "9007199254740992"},
                    NumberTextCase{9007199254740994.0, "9007199254740994"},
                    NumberTextCase{4611686018427387904.0, "4611686018427388000"},
                    NumberTextCase{1e17, "100000000000000000"}));

TEST(NumberText, LargeValuesPadShortestDigitsWithZeros) {
  EXPECT_EQ(cell_value_text(CellValue::number(1.5e300)), "15" + std::string(299, '0'));
  EXPECT_EQ(cell_value_text(CellValue::number(5e-324)), "0." + std::string(323, '0') + "5");
  EXPECT_EQ(cell_value_text(CellValue::number(std::numeric_limits<double>::max())),
            "17976931348623157" + std::string(292, '0'));
}

struct DateTimeTextCase {
  DateTime dt;
  const char* text;
};

class DateTimeTextTest : public testing::TestWithParam<DateTimeTextCase> {};

TEST_P(DateTimeTextTest, ShowsFractionOnlyToItsPrecision) {
  EXPECT_EQ(cell_value_text(CellValue::datetime(GetParam().dt)), GetParam().text);
}

constexpr uint32_t k070809 = 7 * 3600 + 8 * 60 + 9;

INSTANTIATE_TEST_SUITE_P(
    DateTimes, DateTimeTextTest,
    testing::Values(DateTimeTextCase{{2024, 3, 5, k070809, 0}, "2024-03-05 07:08:09"},
                    DateTimeTextCase{{2024, 3, 5, k070809, 500'000'000}, "2024-03-05 07:08:09.500"},
                    DateTimeTextCase{{2024, 3, 5, k070809, 250'000}, "2024-03-05 07:08:09.000250"},
                    DateTimeTextCase{{2024, 3, 5, k070809, 1}, "2024-03-05 07:08:09.000000001"},
                    DateTimeTextCase{{2024, 3, 5, k070809, 123'456'789}, "2024-03-05 07:08:09.123456789"},
                    DateTimeTextCase{{2016, 12, 31, 86399, 1'000'000'000}, "2016-12-31 23:59:60"},
                    DateTimeTextCase{{2016, 12, 31, 86399, 1'500'000'000}, "2016-12-31 23:59:60.500"},
                    DateTimeTextCase{{0, 1, 1, 0, 0}, "0000-01-01 00:00:00"},
                    DateTimeTextCase{{9999, 12, 31, 0, 0}, "9999-12-31 00:00:00"},
                    DateTimeTextCase{{10000, 1, 1, 0, 0}, "+10000-01-01 00:00:00"},
                    DateTimeTextCase{{-1, 1, 1, 0, 0}, "-0001-01-01 00:00:00"},
                    DateTimeTextCase{{-32767, 1, 1, 0, 0}, "-32767-01-01 00:00:00"}));

TEST(ValueText, ViewOfNonStringUsesScratchAndOfStringItsOwnBytes) {
  std::string scratch = "leftover";
  const CellValue s = CellValue::string("hello");
  EXPECT_EQ(cell_value_text_view(s, scratch).data(), s.as_string().data());
  EXPECT_EQ(cell_value_text_view(CellValue::integer(-2147483648), scratch), "-2147483648");
  EXPECT_EQ(cell_value_text_view(CellValue::boolean(false), scratch), "false");
  EXPECT_EQ(cell_value_text_view(CellValue::empty(), scratch), "");
}

TEST(CellValueTest, CopiesOwnTheirTextAndMovesLeaveEmpty) {
  CellValue a = CellValue::string("abc");
  CellValue b = a;
  EXPECT_NE(a.as_string().data(), b.as_string().data());
  EXPECT_EQ(b.as_string(), "abc");

  CellValue c = std::move(a);
  EXPECT_EQ(a.kind(), ValueKind::Empty);
  EXPECT_EQ(c.as_string(), "abc");

  // Reassigning across kinds drops the old text and takes the new payload.
  c = CellValue::datetime({2024, 2, 29, 1, 2});
  EXPECT_EQ(c.kind(), ValueKind::DateTime);
  EXPECT_EQ(c.as_datetime(), (DateTime{2024, 2, 29, 1, 2}));
  c = b;
  EXPECT_EQ(c.as_string(), "abc");
  c = c;
  EXPECT_EQ(c.as_string(), "abc");
  b = CellValue::number(2.5);
  EXPECT_EQ(b.as_number(), 2.5);
  EXPECT_EQ(CellValue::string("").as_string(), "");
  EXPECT_EQ(CellValue::string("").kind(), ValueKind::String);
}

TEST(DataTypeLetter, FollowsTheKind) {
  const std::pair<CellValue, char> cases[] = {
      {CellValue::empty(), 's'},        {CellValue::string("x"), 's'},
      {CellValue::number(1.5), 'n'},    {CellValue::integer(1), 'n'},
      {CellValue::boolean(true), 'b'},  {CellValue::datetime({}), 'd'},
  };
  for (const auto& [v, letter] : cases) EXPECT_EQ(data_type_letter(v), letter);
}

TEST(CoordinateTest, DebugTextNamesTypeAndFields) {
  EXPECT_EQ(coordinate_debug_text({7, 2}), "Coordinate { row: 7, column: 2 }");
  EXPECT_EQ(coordinate_debug_text({4294967295u, 65535}), "Coordinate { row: 4294967295, column: 65535 }");
}

struct BuildCase {
  std::optional<std::string_view> value;
  std::string_view data_type;
  ValueKind kind;
  std::string_view value_text;
};

TEST(BuildCell, ParsesUnlessTheTypeIsExactlyS) {
  const BuildCase cases[] = {
      {"123", "s", S, "123"}, {"", "s", S, ""},        {"123", "n", I, "123"}, {"123", "S", I, "123"},
      {"123", "str", I, "123"}, {"123", "", I, "123"}, {"", "n", E, ""},       {std::nullopt, "s", E, ""},
      {std::nullopt, "n", E, ""}, {"true", "b", B, "true"},
  };
  for (const BuildCase& c : cases) {
    const CoreCell cell = build_cell(3, 4, c.value, std::nullopt, c.data_type, std::nullopt);
    EXPECT_EQ(cell.value.kind(), c.kind) << c.data_type;
    EXPECT_EQ(cell_value_text(cell.value), c.value_text);
    EXPECT_EQ(cell.data_type.view(), c.data_type);
    EXPECT_TRUE(cell.data_type.has_value());
  }
  const CoreCell full = build_cell(7, 2, "x", "SUM(A1)", "f", "");
  EXPECT_EQ(full.row, 7u);
  EXPECT_EQ(full.column, 2);
  EXPECT_EQ(full.formula.view(), "SUM(A1)");
  EXPECT_TRUE(full.style_id.has_value());
  EXPECT_EQ(full.style_id.view(), "");
  EXPECT_FALSE(full.hidden_value.has_value());
  EXPECT_FALSE(build_cell(1, 1, "x", std::nullopt, "s", std::nullopt).formula.has_value());
}

// Whatever the text, typing never crashes, a String keeps the text exactly,
// and any other kind's value text types back to the same kind and text.
TEST(TypingFuzz, TypedValuesRoundTripThroughTheirText) {
  std::mt19937_64 rng(20240131);
  const std::string alphabet = "0123456789+-.eEinfatyINFATY :_xs\xc5\xbf";
  std::vector<std::string> texts = {
      std::string(5000, '9'),
      std::string("1").append(4000, '0').append("e-4000"),
      std::string("0.").append(4000, '0').append("1e4000"),
      std::string("1e").append(400, '9'),
      std::string("-").append(400, '0').append("1"),
      std::string("+").append(30, '9').append("-12-31 23:59:59"),
      "\xff\xfe",
      "t\xc5",
      std::string(1, '\0'),
  };
  for (int n = 0; n < 20000; ++n) {
    std::string t;
    const size_t len = rng() % 24;
    for (size_t i = 0; i < len; ++i) t += alphabet[rng() % alphabet.size()];
    texts.push_back(std::move(t));
  }
  std::string scratch;
  for (const std::string& t : texts) {
    const CellValue v = parse_cell_value(t);
    const std::string text = cell_value_text(v);
    EXPECT_EQ(cell_value_text_view(v, scratch), text);
    if (v.kind() == ValueKind::String) {
      EXPECT_EQ(text, t);
      continue;
    }
    const CellValue again = parse_cell_value(text);
    EXPECT_EQ(cell_value_text(again), text) << "text: " << t;
    if (v.kind() == ValueKind::Number && std::isfinite(v.as_number()) && again.kind() == ValueKind::Number) {
      EXPECT_EQ(again.as_number(), v.as_number()) << "text: " << t;
    }
  }
}

}  // namespace
}  // namespace vellix::core
