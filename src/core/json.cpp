#include "core/json.hpp"

#include <algorithm>
#include <array>
#include <cmath>
#include <vector>

#include "core/float_digits.hpp"

namespace vellix::core {

namespace {

// Largest decimal exponent still written in plain form ("1000000000000000.0").
constexpr int kMaxPlainPointPos = 16;
// Smallest one: 0.00001 is plain, 0.000001 is "1e-6".
constexpr int kMinPlainPointPos = -4;

// Which bytes need escaping: 0 none, 'u' the \u00xx form, else the letter
// that follows the backslash.
constexpr auto kEscape = [] {
  std::array<char, 256> table{};
  for (int c = 0; c < 0x20; ++c) table[c] = 'u';
  table['\b'] = 'b';
  table['\t'] = 't';
  table['\n'] = 'n';
  table['\f'] = 'f';
  table['\r'] = 'r';
  table['"'] = '"';
  table['\\'] = '\\';
  return table;
}();

void append_bool(bool b, std::string& out) { out += b ? "true" : "false"; }

void append_json_value(const CellValue& v, std::string& out) {
  switch (v.kind()) {
    case ValueKind::Empty:
      out += "null";
      return;
    case ValueKind::String:
      append_json_string(v.as_string(), out);
      return;
    case ValueKind::Number:
      append_json_float(v.as_number(), out);
      return;
    case ValueKind::Integer:
      append_decimal(v.as_integer(), out);
      return;
    case ValueKind::Bool:
      append_bool(v.as_bool(), out);
      return;
    case ValueKind::DateTime:
      // Only digits, signs and separators: nothing to escape.
      out += '"';
      append_datetime_text(v.as_datetime(), 'T', out);
      out += '"';
      return;
  }
}

void append_optional_text(std::string_view key, const Text& text, std::string& out) {
  if (!text.has_value()) return;
  out += key;
  append_json_string(text.view(), out);
}

void serialize_cell(const SharedCell& handle, std::string& out) {
  const auto cell = handle.read();
  out += "{\"row\":";
  append_decimal(cell->row, out);
  out += ",\"column\":";
  append_decimal(cell->column, out);
  out += ",\"value\":";
  append_json_value(cell->value, out);
  append_optional_text(",\"formula\":", cell->formula, out);
  out += ",\"data_type\":";
  append_json_string(cell->data_type.view(), out);
  append_optional_text(",\"style_id\":", cell->style_id, out);
  append_optional_text(",\"hidden_value\":", cell->hidden_value, out);
  out += '}';
}

void serialize_cells(const CellMap& map, std::string& out) {
  // Sort (position, pointer to the map's handle) pairs: the sheet's read lock
  // keeps the map still, so no handle needs a count of its own.
  struct Entry {
    uint64_t key;
    const SharedCell* cell;
  };
  std::vector<Entry> entries;
  entries.reserve(map.size());
  for (const auto& [pos, cell] : map) {
    entries.push_back({(uint64_t{pos.row} << 16) | pos.column, &cell});
  }
  std::sort(entries.begin(), entries.end(), [](const Entry& a, const Entry& b) { return a.key < b.key; });
  out += '[';
  for (size_t i = 0; i < entries.size(); ++i) {
    if (i > 0) out += ',';
    serialize_cell(*entries[i].cell, out);
  }
  out += ']';
}

// The dimension entry fields after the number: size, hidden, collapsed, level.
template <class Dimension>
void append_dimension_tail(std::string_view size_key, double size, const Dimension& d, std::string& out) {
  out += size_key;
  append_json_float(size, out);
  out += ",\"hidden\":";
  append_bool(d.hidden, out);
  out += ",\"collapsed\":";
  append_bool(d.collapsed, out);
  out += ",\"level\":";
  append_decimal(d.level, out);
  out += '}';
}

void serialize_row_dimensions(const RowDimensions& dims, std::string& out) {
  out += "{\"rows\":{";
  bool first = true;
  for (const auto& [row, d] : dims.rows) {
    if (!first) out += ',';
    first = false;
    out += '"';
    append_decimal(row, out);
    out += "\":{\"row_num\":";
    append_decimal(d.row_num, out);
    append_dimension_tail(",\"height\":", d.height, d, out);
  }
  out += "},\"default_height\":";
  append_json_float(dims.default_height, out);
  out += '}';
}

void serialize_column_dimensions(const ColumnDimensions& dims, std::string& out) {
  out += "{\"columns\":{";
  bool first = true;
  for (const auto& [column, d] : dims.columns) {
    if (!first) out += ',';
    first = false;
    out += '"';
    append_decimal(column, out);
    out += "\":{\"col_num\":";
    append_decimal(d.col_num, out);
    append_dimension_tail(",\"width\":", d.width, d, out);
  }
  out += "},\"default_width\":";
  append_json_float(dims.default_width, out);
  out += '}';
}

void serialize_comment(const SharedComment& handle, std::string& out) {
  const auto comment = handle.read();
  out += "{\"row\":";
  append_decimal(comment->row, out);
  out += ",\"column\":";
  append_decimal(comment->column, out);
  out += ",\"author\":";
  append_json_string(comment->author, out);
  out += ",\"text\":";
  append_json_string(comment->text, out);
  out += '}';
}

}  // namespace

void append_json_string(std::string_view s, std::string& out) {
  static constexpr char kHex[] = "0123456789abcdef";
  out += '"';
  size_t run = 0;  // start of the bytes not yet copied
  for (size_t i = 0; i < s.size(); ++i) {
    const auto byte = static_cast<unsigned char>(s[i]);
    const char escape = kEscape[byte];
    if (escape == 0) continue;
    out.append(s.data() + run, i - run);
    run = i + 1;
    if (escape == 'u') {
      const char seq[] = {'\\', 'u', '0', '0', kHex[byte >> 4], kHex[byte & 0xF]};
      out.append(seq, sizeof seq);
    } else {
      const char seq[] = {'\\', escape};
      out.append(seq, sizeof seq);
    }
  }
  out.append(s.data() + run, s.size() - run);
  out += '"';
}

void append_json_float(double d, std::string& out) {
  if (!std::isfinite(d)) {
    out += "null";
    return;
  }
  if (d == 0) {
    out += std::signbit(d) ? "-0.0" : "0.0";
    return;
  }
  const FloatDigits f = shortest_digits(d);
  if (f.negative) out += '-';
  const std::string_view digits = f.view();
  const int k = f.point_pos;
  if (k >= f.count && k <= kMaxPlainPointPos) {  // a whole number: its zeros, then ".0"
    out += digits;
    out.append(static_cast<size_t>(k - f.count), '0');
    out += ".0";
  } else if (k > 0 && k <= kMaxPlainPointPos) {
    out += digits.substr(0, static_cast<size_t>(k));
    out += '.';
    out += digits.substr(static_cast<size_t>(k));
  } else if (k >= kMinPlainPointPos && k <= 0) {
    out += "0.";
    out.append(static_cast<size_t>(-k), '0');
    out += digits;
  } else {
    out += digits[0];
    if (f.count > 1) {
      out += '.';
      out += digits.substr(1);
    }
    out += 'e';
    append_decimal(k - 1, out);
  }
}

void serialize_sheet(const SharedSheet& handle, std::string& out) {
  const auto sheet = handle.read();
  out += "{\"name\":";
  append_json_string(sheet->name, out);
  out += ",\"sheet_state\":";
  append_json_string(sheet->sheet_state, out);
  out += ",\"merge_cells\":[";
  for (size_t i = 0; i < sheet->merge_cells.size(); ++i) {
    const MergedRange& m = sheet->merge_cells[i];
    out += i > 0 ? ",[" : "[";
    append_decimal(m.start_row, out);
    out += ',';
    append_decimal(m.end_row, out);
    out += ',';
    append_decimal(m.start_col, out);
    out += ',';
    append_decimal(m.end_col, out);
    out += ']';
  }
  out += "],\"cells\":";
  serialize_cells(sheet->cells.map, out);
  out += ",\"row_dimensions\":";
  serialize_row_dimensions(sheet->row_dimensions, out);
  out += ",\"column_dimensions\":";
  serialize_column_dimensions(sheet->column_dimensions, out);
  out += ",\"comments\":[";
  for (size_t i = 0; i < sheet->comments.size(); ++i) {
    if (i > 0) out += ',';
    serialize_comment(sheet->comments[i], out);
  }
  out += "]}";
}

Result<std::string> book_to_json(const SheetList& book) {
  // Writing into memory cannot fail short of running out of it, which the
  // binding layer reports as an internal failure; so there is no error path.
  std::string out;
  out.reserve(128);
  out += "{\"sheets\":[";
  for (size_t i = 0; i < book.size(); ++i) {
    if (i > 0) out += ',';
    serialize_sheet(book[i], out);
  }
  out += "]}";
  return out;
}

}  // namespace vellix::core
