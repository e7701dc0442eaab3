#include "core/sheet/json.hpp"

#include <gtest/gtest.h>

#include <bit>
#include <charconv>
#include <cmath>
#include <limits>
#include <random>
#include <string>

#include "cell_list_fixture.hpp"

namespace vellix::core {
namespace {

constexpr double kNaN = std::numeric_limits<double>::quiet_NaN();
constexpr double kInf = std::numeric_limits<double>::infinity();

std::string json_float(double d) {
  std::string out;
  append_json_float(d, out);
  return out;
}

TEST(JsonFloat, WritesShortestDigitsPlainBetween1eMinus5And1e16) {
  const std::pair<double, const char*> cases[] = {
      {20.0, "20.0"},
      {0.0, "0.0"},
      {-0.0, "-0.0"},
      {-2.5, "-2.5"},
      {0.1 + 0.2, "0.30000000000000004"},
      {1e15, "1000000000000000.0"},
      {9999999999999998.0, "9999999999999998.0"},
      {1e16, "1e16"},
      {1.5e16, "1.5e16"},
      {1234567890123456.8, "1234567890123456.8"},
      {0.00001, "0.00001"},
      {0.000012345, "0.000012345"},
      {0.000001, "1e-6"},
      {-1e-7, "-1e-7"},
      {1.5e300, "1.5e300"},
      {5e-324, "5e-324"},
      {1.7976931348623157e308, "1.7976931348623157e308"},
      {kNaN, "null"},
      {-kInf, "null"},
  };
  for (const auto& [value, json] : cases) EXPECT_EQ(json_float(value), json);
}

// Both layouts of the same digits must read back as the value they came from.
TEST(JsonFloat, BothLayoutsReadBackExactlyForRandomBitPatterns) {
  std::mt19937_64 rng(7);
  for (int i = 0; i < 200000; ++i) {
    const double d = std::bit_cast<double>(rng());
    if (!std::isfinite(d)) continue;
    const std::string json = json_float(d);
    double back = 0;
    std::from_chars(json.data(), json.data() + json.size(), back);
    ASSERT_EQ(std::bit_cast<uint64_t>(back), std::bit_cast<uint64_t>(d)) << json;
    std::string text;
    append_number_text(d, text);
    const CellValue typed = parse_cell_value(text);
    ASSERT_EQ(typed.kind() == ValueKind::Integer ? typed.as_integer() : typed.as_number(), d) << text;
  }
}

TEST(JsonString, EscapesQuotesBackslashesAndControlsOnly) {
  const std::pair<std::string_view, std::string_view> cases[] = {
      {"say \"hi\" a\\b", R"("say \"hi\" a\\b")"},
      {"\b\t\n\f\r", R"("\b\t\n\f\r")"},
      {std::string_view("\0\x0b\x1f", 3), R"("\u0000\u000b\u001f")"},
      {"a/b\x7f", "\"a/b\x7f\""},
      {"caf\u00e9 \U0001F600", "\"caf\u00e9 \U0001F600\""},
  };
  for (const auto& [in, out] : cases) {
    std::string json;
    append_json_string(in, json);
    EXPECT_EQ(json, out);
  }
}

// Cells of every kind, filed out of order: sorted by row then column, with
// absent texts left out and empty ones kept.
TEST(BookJson, CellsComeSortedWithTheirValuesByKind) {
  SheetList book;
  const SharedSheet sheet = add_sheet_core(book, "S", "visible");
  const CellValue values[] = {
      CellValue::number(-kInf),
      CellValue::empty(),
      CellValue::number(5.0),
      CellValue::integer(-2147483647 - 1),
      CellValue::boolean(true),
      CellValue::string("a\"b"),
      parse_cell_value("2016-12-31 23:59:60"),
      CellValue::datetime({-1, 3, 5, 9, 500'000'000}),
  };
  for (uint32_t i = 0; i < std::size(values); ++i) {
    const uint32_t row = i / 3 + 1;  // rows 1, 1, 1, 2, 2, 2, 3, 3; columns 65535 first, then 2 and 1
    const uint16_t column = i % 3 == 0 ? 65535 : 3 - i % 3;
    const bool texts = i == 0;
    CoreCell cell{row,
                  column,
                  values[i],
                  texts ? Text("SUM(A1)") : Text(),
                  Text("n"),
                  texts ? Text("") : Text(),
                  texts ? Text("h") : Text()};
    (void)cell_map_insert(sheet.write()->cells.edit(), row, column, SharedCell::make(std::move(cell)));
  }
  const std::string json = book_to_json(book).value();
  const size_t at = json.find("\"cells\":");
  EXPECT_EQ(json.substr(at, json.find(",\"row_dimensions\"") - at),
            R"j("cells":[{"row":1,"column":1,"value":5.0,"data_type":"n"},)j"
            R"j({"row":1,"column":2,"value":null,"data_type":"n"},)j"
            R"j({"row":1,"column":65535,"value":null,"formula":"SUM(A1)","data_type":"n","style_id":"",)j"
            R"j("hidden_value":"h"},)j"
            R"j({"row":2,"column":1,"value":"a\"b","data_type":"n"},)j"
            R"j({"row":2,"column":2,"value":true,"data_type":"n"},)j"
            R"j({"row":2,"column":65535,"value":-2147483648,"data_type":"n"},)j"
            R"j({"row":3,"column":2,"value":"-0001-03-05T00:00:09.500","data_type":"n"},)j"
            R"j({"row":3,"column":65535,"value":"2016-12-31T23:59:60","data_type":"n"}])j");
}

// A sheet long enough to be written in pieces on the pool: the same text,
// cell after cell in order, under any thread count.
TEST(BookJson, ALongSheetReadsTheSameUnderAnyThreadCount) {
  SheetList book;
  const SharedSheet sheet = add_sheet_core(book, "S", "visible");
  constexpr uint32_t kRows = 3000;
  for (uint32_t row = kRows; row >= 1; --row) {  // filed out of order
    for (uint16_t column : {2, 1}) (void)cell_at(sheet, row, column, std::to_string(row * 10 + column));
  }
  std::string expected = "\"cells\":[";
  for (uint32_t row = 1; row <= kRows; ++row) {
    for (uint16_t column : {1, 2}) {
      if (expected.back() == '}') expected += ',';
      const std::string n = std::to_string(row * 10 + column);
      expected += "{\"row\":" + std::to_string(row) + ",\"column\":" + std::to_string(column) + ",\"value\":" + n +
                  ",\"data_type\":\"n\"}";
    }
  }
  expected += ']';
  for (const std::string& json :
       testing::under_each_thread_count<std::string>([&] { return book_to_json(book).value(); })) {
    const size_t at = json.find("\"cells\":");
    EXPECT_EQ(json.substr(at, json.find(",\"row_dimensions\"") - at), expected);
  }
}

TEST(BookJson, MergesDimensionsCommentsAndSheetsInTheirOrder) {
  SheetList book;
  const SharedSheet sheet = add_sheet_core(book, "S", "visible");
  {
    auto w = sheet.write();
    w->name = "a \"b\"";
    w->merge_cells = {{1, 2, 1, 3}, {9, 4, 7, 2}};
    w->row_dimensions.rows[4] = RowDimension{4, 30.0, false, false, 0};
    w->column_dimensions.columns[3] = ColumnDimension{3, 12.25, true, true, 2};
    w->comments.push_back(SharedComment::make(CoreComment{1, 1, "ann", "note"}));
    w->comments.push_back(SharedComment::make(CoreComment{2, 7, "bob", "two\nlines"}));
  }
  (void)add_sheet_core(book, "T", "hidden");
  EXPECT_EQ(book_to_json(book).value(),
            R"({"sheets":[{"name":"a \"b\"","sheet_state":"visible","merge_cells":[[1,2,1,3],[9,4,7,2]],)"
            R"("cells":[],"row_dimensions":{"rows":{"4":{"row_num":4,"height":30.0,"hidden":false,)"
            R"("collapsed":false,"level":0}},"default_height":20.0},"column_dimensions":{"columns":{"3":)"
            R"({"col_num":3,"width":12.25,"hidden":true,"collapsed":true,"level":2}},"default_width":22.5},)"
            R"("comments":[{"row":1,"column":1,"author":"ann","text":"note"},)"
            R"({"row":2,"column":7,"author":"bob","text":"two\nlines"}]},)"
            R"({"name":"T","sheet_state":"hidden","merge_cells":[],"cells":[],)"
            R"("row_dimensions":{"rows":{},"default_height":20.0},)"
            R"("column_dimensions":{"columns":{},"default_width":22.5},"comments":[]}]})");
}

}  // namespace
}  // namespace vellix::core
