#include "core/json.hpp"

#include <gtest/gtest.h>

#include <bit>
#include <charconv>
#include <cmath>
#include <limits>
#include <random>
#include <string>

namespace vellix::core {
namespace {

std::string json_float(double d) {
  std::string out;
  append_json_float(d, out);
  return out;
}

std::string json_string(std::string_view s) {
  std::string out;
  append_json_string(s, out);
  return out;
}

struct FloatCase {
  double value;
  const char* json;
};

class JsonFloatTest : public testing::TestWithParam<FloatCase> {};

TEST_P(JsonFloatTest, WritesTheShortestFormInItsLayout) { EXPECT_EQ(json_float(GetParam().value), GetParam().json); }

constexpr double kInf = std::numeric_limits<double>::infinity();

INSTANTIATE_TEST_SUITE_P(
    Floats, JsonFloatTest,
    testing::Values(FloatCase{20.0, "20.0"}, FloatCase{22.5, "22.5"}, FloatCase{5.0, "5.0"}, FloatCase{0.1, "0.1"},
                    FloatCase{0.0, "0.0"}, FloatCase{-0.0, "-0.0"}, FloatCase{-2.5, "-2.5"},
                    FloatCase{0.1 + 0.2, "0.30000000000000004"},
                    // The borders of the plain layout, on both sides.
                    FloatCase{1e15, "1000000000000000.0"}, FloatCase{9999999999999998.0, "9999999999999998.0"},
                    FloatCase{1e16, "1e16"}, FloatCase{1.5e16, "1.5e16"}, FloatCase{123456789012.5, "123456789012.5"},
                    FloatCase{1234567890123456.8, "1234567890123456.8"}, FloatCase{0.00001, "0.00001"},
                    FloatCase{0.000012345, "0.000012345"}, FloatCase{0.000001, "1e-6"},
                    FloatCase{0.0000012, "1.2e-6"}, FloatCase{1e21, "1e21"}, FloatCase{1.5e300, "1.5e300"},
                    FloatCase{1e-7, "1e-7"}, FloatCase{-1e-7, "-1e-7"}, FloatCase{5e-324, "5e-324"},
                    FloatCase{1.7976931348623157e308, "1.7976931348623157e308"},
                    FloatCase{std::numeric_limits<double>::quiet_NaN(), "null"}, FloatCase{kInf, "null"},
                    FloatCase{-kInf, "null"}));

// Both layouts of the same digits must read back as the value they came from.
TEST(FloatLayouts, ReadBackExactlyForRandomBitPatterns) {
  std::mt19937_64 rng(7);
  for (int i = 0; i < 200000; ++i) {
    const double d = std::bit_cast<double>(rng());
    if (!std::isfinite(d)) continue;
    const std::string json = json_float(d);
    double back = 0;
    std::from_chars(json.data(), json.data() + json.size(), back);
    ASSERT_EQ(std::bit_cast<uint64_t>(back), std::bit_cast<uint64_t>(d)) << json;
    EXPECT_TRUE(json.find('.') != std::string::npos || json.find('e') != std::string::npos) << json;

    std::string text;
    append_number_text(d, text);
    ASSERT_EQ(text.find('e'), std::string::npos) << text;
    const CellValue typed = parse_cell_value(text);
    const double typed_back = typed.kind() == ValueKind::Integer ? typed.as_integer() : typed.as_number();
    ASSERT_EQ(typed_back, d) << text;
  }
}

TEST(JsonString, EscapesEveryControlCharacter) {
  for (int c = 0; c < 0x20; ++c) {
    std::string expected;
    switch (c) {
      case 0x08: expected = "\\b"; break;
      case 0x09: expected = "\\t"; break;
      case 0x0A: expected = "\\n"; break;
      case 0x0C: expected = "\\f"; break;
      case 0x0D: expected = "\\r"; break;
      default: {
        static constexpr char kHex[] = "0123456789abcdef";
        expected = std::string("\\u00") + kHex[c >> 4] + kHex[c & 0xF];
      }
    }
    EXPECT_EQ(json_string(std::string(1, static_cast<char>(c))), "\"" + expected + "\"") << "control " << c;
  }
  EXPECT_EQ(json_string("\x1f"), "\"\\u001f\"");
}

TEST(JsonString, LeavesEverythingElseRaw) {
  const std::pair<std::string_view, std::string_view> cases[] = {
      {"", "\"\""},
      {"say \"hi\"", "\"say \\\"hi\\\"\""},
      {"a\\b", "\"a\\\\b\""},
      {"a/b", "\"a/b\""},
      {"\x7f", "\"\x7f\""},
      {"caf\u00e9 \u65e5\u672c \U0001F600", "\"caf\u00e9 \u65e5\u672c \U0001F600\""},
      {"line1\nline2\ttab", "\"line1\\nline2\\ttab\""},
      {std::string_view("a\0b", 3), "\"a\\u0000b\""},
  };
  for (const auto& [in, out] : cases) EXPECT_EQ(json_string(in), out);
}

class BookJson : public testing::Test {
 protected:
  SharedSheet add(std::string_view name) { return add_sheet_core(book, name, "visible"); }
  static void put(const SharedSheet& sheet, CoreCell cell) {
    const uint32_t row = cell.row;
    const uint16_t column = cell.column;
    (void)cell_map_insert(sheet.write()->cells.map, row, column, SharedCell::make(std::move(cell)));
  }
  static CoreCell typed(uint32_t row, uint16_t column, std::string_view text) {
    CoreCell cell;
    cell.row = row;
    cell.column = column;
    cell.value = parse_cell_value(text);
    cell.data_type = Text::letter(data_type_letter(cell.value));
    return cell;
  }
  std::string json() {
    Result<std::string> r = book_to_json(book);
    EXPECT_TRUE(r.ok());
    return r.ok() ? r.value() : std::string();
  }
  // The text of the book's only sheet's cells array.
  std::string cells_json() {
    const std::string all = json();
    const size_t start = all.find("\"cells\":") + 8;
    const size_t end = all.find(",\"row_dimensions\"");
    return all.substr(start, end - start);
  }

  SheetList book;
};

TEST_F(BookJson, EmptyBookAndNewSheet) {
  EXPECT_EQ(json(), "{\"sheets\":[]}");
  add("S");
  EXPECT_EQ(json(),
            "{\"sheets\":[{\"name\":\"S\",\"sheet_state\":\"visible\",\"merge_cells\":[],\"cells\":[],"
            "\"row_dimensions\":{\"rows\":{},\"default_height\":20.0},"
            "\"column_dimensions\":{\"columns\":{},\"default_width\":22.5},\"comments\":[]}]}");
}

TEST_F(BookJson, CellKeysAreOmittedOnlyWhenAbsent) {
  const SharedSheet s = add("S");
  CoreCell plain = typed(2, 3, "5");
  put(s, plain);
  EXPECT_EQ(cells_json(), "[{\"row\":2,\"column\":3,\"value\":5,\"data_type\":\"n\"}]");

  CoreCell full = typed(2, 3, "5");
  full.formula = Text("SUM(A1)");
  full.style_id = Text("s1");
  put(s, full);
  EXPECT_EQ(cells_json(),
            "[{\"row\":2,\"column\":3,\"value\":5,\"formula\":\"SUM(A1)\",\"data_type\":\"n\",\"style_id\":\"s1\"}]");

  CoreCell blanks = typed(2, 3, "");
  blanks.formula = Text("");
  blanks.style_id = Text("");
  blanks.hidden_value = Text("h");
  put(s, blanks);
  EXPECT_EQ(cells_json(),
            "[{\"row\":2,\"column\":3,\"value\":null,\"formula\":\"\",\"data_type\":\"s\",\"style_id\":\"\","
            "\"hidden_value\":\"h\"}]");
}

TEST_F(BookJson, ValuesByKind) {
  const struct {
    CellValue value;
    const char* json;
  } cases[] = {
      {CellValue::empty(), "null"},
      {CellValue::number(std::numeric_limits<double>::quiet_NaN()), "null"},
      {CellValue::number(-kInf), "null"},
      {CellValue::number(5.0), "5.0"},
      {CellValue::number(1e21), "1e21"},
      {CellValue::integer(-2147483647 - 1), "-2147483648"},
      {CellValue::boolean(true), "true"},
      {CellValue::boolean(false), "false"},
      {CellValue::string("a\"b"), "\"a\\\"b\""},
      {CellValue::string(""), "\"\""},
      {parse_cell_value("2024-03-05 07:08:09"), "\"2024-03-05T07:08:09\""},
      {CellValue::datetime({2024, 3, 5, 7 * 3600 + 8 * 60 + 9, 500'000'000}), "\"2024-03-05T07:08:09.500\""},
      {parse_cell_value("2016-12-31 23:59:60"), "\"2016-12-31T23:59:60\""},
      {parse_cell_value("-1-01-01 00:00:00"), "\"-0001-01-01T00:00:00\""},
  };
  const SharedSheet s = add("S");
  for (const auto& c : cases) {
    CoreCell cell;
    cell.row = 1;
    cell.column = 1;
    cell.value = c.value;
    cell.data_type = Text::letter('x');
    put(s, std::move(cell));
    EXPECT_EQ(cells_json(), std::string("[{\"row\":1,\"column\":1,\"value\":") + c.json + ",\"data_type\":\"x\"}]");
  }
}

TEST_F(BookJson, CellsAreSortedByRowThenColumn) {
  const SharedSheet s = add("S");
  const std::pair<uint32_t, uint16_t> order[] = {{2, 1}, {1, 5}, {1, 2}, {70000, 1}, {3, 65535}, {3, 2}};
  for (const auto& [row, column] : order) put(s, typed(row, column, "1"));
  std::string expected = "[";
  const std::pair<uint32_t, uint16_t> sorted[] = {{1, 2}, {1, 5}, {2, 1}, {3, 2}, {3, 65535}, {70000, 1}};
  for (const auto& [row, column] : sorted) {
    if (expected.size() > 1) expected += ',';
    expected += "{\"row\":" + std::to_string(row) + ",\"column\":" + std::to_string(column) +
                ",\"value\":1,\"data_type\":\"n\"}";
  }
  EXPECT_EQ(cells_json(), expected + "]");
}

TEST_F(BookJson, MergesDimensionsAndCommentsInTheirForms) {
  const SharedSheet s = add("S");
  {
    auto w = s.write();
    w->merge_cells.push_back({1, 2, 1, 3});
    w->merge_cells.push_back({9, 4, 7, 2});
    w->row_dimensions.rows[4] = RowDimension{4, 30.0, false, false, 0};
    w->column_dimensions.columns[3] = ColumnDimension{3, 12.25, true, true, 2};
    w->comments.push_back(SharedComment::make(CoreComment{1, 1, "ann", "note"}));
    w->comments.push_back(SharedComment::make(CoreComment{2, 7, "b\u00f6b", "two\nlines"}));
  }
  EXPECT_EQ(json(),
            "{\"sheets\":[{\"name\":\"S\",\"sheet_state\":\"visible\",\"merge_cells\":[[1,2,1,3],[9,4,7,2]],"
            "\"cells\":[],\"row_dimensions\":{\"rows\":{\"4\":{\"row_num\":4,\"height\":30.0,\"hidden\":false,"
            "\"collapsed\":false,\"level\":0}},\"default_height\":20.0},\"column_dimensions\":{\"columns\":{\"3\":"
            "{\"col_num\":3,\"width\":12.25,\"hidden\":true,\"collapsed\":true,\"level\":2}},\"default_width\":22.5},"
            "\"comments\":[{\"row\":1,\"column\":1,\"author\":\"ann\",\"text\":\"note\"},"
            "{\"row\":2,\"column\":7,\"author\":\"b\u00f6b\",\"text\":\"two\\nlines\"}]}]}");
}

TEST_F(BookJson, SheetsInListOrderWithEscapedNames) {
  add("first \"one\"");
  const SharedSheet second = add("second");
  second.write()->sheet_state = "hid\tden";
  (void)copy_sheet_core(book, second);
  const std::string text = json();
  const size_t a = text.find("\"name\":\"first \\\"one\\\"\"");
  const size_t b = text.find("\"name\":\"second\",\"sheet_state\":\"hid\\tden\"");
  const size_t c = text.find("\"name\":\"Sheet 3\",\"sheet_state\":\"hid\\tden\"");
  ASSERT_NE(a, std::string::npos);
  ASSERT_NE(b, std::string::npos);
  ASSERT_NE(c, std::string::npos);
  EXPECT_LT(a, b);
  EXPECT_LT(b, c);
  EXPECT_TRUE(text.ends_with("\"comments\":[]}]}"));
}

}  // namespace
}  // namespace vellix::core
