// The JSON text of a book: whatever the names, texts and values, the output
// is JSON that a strict parser accepts, and reading it gives back the sheet's
// name and state, each cell's value and texts, and each comment.
#include <nlohmann/json.hpp>

#include <fuzzer/FuzzedDataProvider.h>

#include <bit>
#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <optional>
#include <string>
#include <vector>

#include "core/sheet/json.hpp"
#include "core/value/utf8.hpp"

using namespace vellix::core;
using nlohmann::json;

namespace {

constexpr size_t kMaxText = 48;
constexpr int kMaxCells = 8;

void check(bool ok) {
  if (!ok) std::abort();
}

// A text for a name or value; empty when the bytes are not UTF-8.
std::string consume_text(FuzzedDataProvider& in) {
  std::string s = in.ConsumeRandomLengthString(kMaxText);
  return vellix::core::valid_utf8(s) ? s : std::string();
}

CellValue consume_value(FuzzedDataProvider& in) {
  switch (in.ConsumeIntegralInRange(0, 4)) {
    case 0: return CellValue::string(consume_text(in));
    case 1: return CellValue::number(std::bit_cast<double>(in.ConsumeIntegral<uint64_t>()));
    case 2: return CellValue::integer(in.ConsumeIntegral<int32_t>());
    case 3: return CellValue::boolean(in.ConsumeBool());
    default: return parse_cell_value(consume_text(in));  // date-times, empties and the rest
  }
}

void check_value(const CellValue& v, const json& j) {
  switch (v.kind()) {
    case ValueKind::Empty: check(j.is_null()); return;
    case ValueKind::String: check(j.is_string() && j.get<std::string>() == v.as_string()); return;
    case ValueKind::Number:
      if (!std::isfinite(v.as_number())) {
        check(j.is_null());
      } else {
        // Bit for bit, so -0.0 must come back negative.
        check(j.is_number_float() &&
              std::bit_cast<uint64_t>(j.get<double>()) == std::bit_cast<uint64_t>(v.as_number()));
      }
      return;
    case ValueKind::Integer: check(j.is_number_integer() && j.get<int64_t>() == v.as_integer()); return;
    case ValueKind::Bool: check(j.is_boolean() && j.get<bool>() == v.as_bool()); return;
    case ValueKind::DateTime: {
      std::string text;
      append_datetime_text(v.as_datetime(), 'T', text);
      check(j.is_string() && j.get<std::string>() == text);
      return;
    }
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  FuzzedDataProvider in(data, size);
  SheetList book;
  const std::string name = consume_text(in);
  const std::string state = consume_text(in);
  SharedSheet sheet = add_sheet_core(book, name, state);
  const int cell_count = in.ConsumeIntegralInRange(0, kMaxCells);
  // What each cell was made with, to read back from the text.
  struct Made {
    uint32_t row;
    uint16_t column;
    CellValue value;
    std::optional<std::string> formula, style_id;
    std::string data_type;
  };
  std::vector<Made> cells;
  for (int i = 0; i < cell_count; ++i) {
    Made m{static_cast<uint32_t>(i + 1), in.ConsumeIntegral<uint16_t>(), consume_value(in), {}, {}, {}};
    if (in.ConsumeBool()) m.formula = consume_text(in);
    m.data_type = consume_text(in);
    if (in.ConsumeBool()) m.style_id = consume_text(in);
    auto text = [](const std::optional<std::string>& t) { return t ? Text(*t) : Text(); };
    CoreCell cell(m.row, m.column, m.value, text(m.formula), Text(m.data_type), text(m.style_id), Text());
    (void)cell_map_insert(sheet.write()->cells.edit(), m.row, m.column, SharedCell::make(std::move(cell)));
    cells.push_back(std::move(m));
  }
  const std::string author = consume_text(in);
  const std::string comment = consume_text(in);
  sheet.write()->comments.push_back(SharedComment::make(CoreComment{1, 1, author, comment}));

  Result<std::string> text = book_to_json(book);
  check(text.ok());
  const json doc = json::parse(text.value(), nullptr, /*allow_exceptions=*/false);
  check(!doc.is_discarded());
  const json& out = doc.at("sheets").at(0);
  check(out.at("name") == name && out.at("sheet_state") == state);
  const json& written = out.at("cells");
  check(written.size() == cells.size());  // rows differ, so no cell replaced another
  for (size_t i = 0; i < cells.size(); ++i) {
    const json& j = written.at(i);  // sorted by row, the order they were made in
    const Made& c = cells[i];
    check(j.at("row") == c.row && j.at("column") == c.column);
    check_value(c.value, j.at("value"));
    check(j.contains("formula") == c.formula.has_value());
    if (c.formula) check(j.at("formula") == *c.formula);
    check(j.at("data_type") == c.data_type);
    check(j.contains("style_id") == c.style_id.has_value());
    if (c.style_id) check(j.at("style_id") == *c.style_id);
  }
  const json& note = out.at("comments").at(0);
  check(note.at("author") == author && note.at("text") == comment);
  return 0;
}
