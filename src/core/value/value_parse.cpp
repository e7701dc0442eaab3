// Typing a text into a value. The tests run cheapest first; each one either
// claims the whole text or passes it on, and none allocates unless the text
// ends up a String.
#include <charconv>
#include <cmath>
#include <limits>

#include "core/value/unicode.hpp"
#include "core/value/value.hpp"

namespace vellix::core {

namespace {

bool is_digit(char c) noexcept { return c >= '0' && c <= '9'; }

// The length of an optional leading "+" or "-"; sets `negative` for "-".
size_t sign_length(std::string_view text, bool& negative) noexcept {
  negative = !text.empty() && text[0] == '-';
  return !text.empty() && (text[0] == '+' || text[0] == '-') ? 1 : 0;
}

// The boolean word the full Unicode upper-casing of `text` spells, if any
// ("falſe" spells FALSE through the long s).
std::optional<bool> parse_bool(std::string_view text) {
  static constexpr std::string_view kWords[] = {"FALSE", "TRUE"};
  switch (upper_case_spells(text, kWords)) {
    case 0: return false;
    case 1: return true;
    default: return std::nullopt;
  }
}

// An optional sign and ASCII digits only, within int32.
std::optional<int32_t> parse_i32(std::string_view text) noexcept {
  bool negative = false;
  size_t i = sign_length(text, negative);
  if (i == text.size()) return std::nullopt;
  constexpr int64_t kLimit = int64_t{std::numeric_limits<int32_t>::max()} + 1;
  int64_t magnitude = 0;
  for (; i < text.size(); ++i) {
    if (!is_digit(text[i])) return std::nullopt;
    magnitude = magnitude * 10 + (text[i] - '0');
    if (magnitude > kLimit) return std::nullopt;
  }
  if (!negative && magnitude == kLimit) return std::nullopt;
  return static_cast<int32_t>(negative ? -magnitude : magnitude);
}

// Sign, digits with at most one point (at least one digit), optional
// exponent; or inf, infinity, nan in any ASCII case.
std::optional<double> parse_float(std::string_view text) noexcept {
  bool negative = false;
  size_t i = sign_length(text, negative);
  const std::string_view body = text.substr(i);
  constexpr double kInf = std::numeric_limits<double>::infinity();
  if (ascii_iequals(body, "INF") || ascii_iequals(body, "INFINITY")) return negative ? -kInf : kInf;
  if (ascii_iequals(body, "NAN")) return std::numeric_limits<double>::quiet_NaN();

  // Validate the grammar here, and estimate the magnitude in case the
  // conversion reports the value out of range.
  size_t digits = 0;
  int64_t int_significant = 0;  // integer digits after leading zeros
  int64_t frac_leading_zeros = 0;
  bool seen_nonzero = false;
  for (; i < text.size() && is_digit(text[i]); ++i, ++digits) {
    if (text[i] != '0') seen_nonzero = true;
    if (seen_nonzero) ++int_significant;
  }
  if (i < text.size() && text[i] == '.') {
    for (++i; i < text.size() && is_digit(text[i]); ++i, ++digits) {
      if (text[i] != '0') seen_nonzero = true;
      if (!seen_nonzero) ++frac_leading_zeros;
    }
  }
  if (digits == 0) return std::nullopt;
  int64_t exponent = 0;
  if (i < text.size() && (text[i] == 'e' || text[i] == 'E')) {
    ++i;
    bool exp_negative = false;
    if (i < text.size() && (text[i] == '+' || text[i] == '-')) {
      exp_negative = text[i] == '-';
      ++i;
    }
    if (i == text.size()) return std::nullopt;
    for (; i < text.size(); ++i) {
      if (!is_digit(text[i])) return std::nullopt;
      // Saturate: anything past a billion is out of range either way.
      if (exponent < 1'000'000'000) exponent = exponent * 10 + (text[i] - '0');
    }
    if (exp_negative) exponent = -exponent;
  }
  if (i != text.size()) return std::nullopt;

  double value = 0;
  const char* first = body.data();
  const auto res = std::from_chars(first, text.data() + text.size(), value, std::chars_format::general);
  if (res.ec == std::errc::result_out_of_range) {
    const int64_t magnitude = exponent + (int_significant > 0 ? int_significant : -frac_leading_zeros);
    value = magnitude > 0 ? kInf : 0.0;
  } else if (res.ec != std::errc() || res.ptr != text.data() + text.size()) {
    return std::nullopt;  // the grammar above and the converter disagree: keep the text
  }
  return negative ? -value : value;
}

// Reads min..max ASCII digits at text[i]; advances i.
std::optional<int64_t> read_number(std::string_view text, size_t& i, size_t min, size_t max) noexcept {
  int64_t n = 0;
  size_t count = 0;
  while (i < text.size() && count < max && is_digit(text[i])) {
    if (n > kMaxYear) return std::nullopt;  // past every field's range, and no overflow
    n = n * 10 + (text[i] - '0');
    ++i;
    ++count;
  }
  if (count < min) return std::nullopt;
  return n;
}

bool expect(std::string_view text, size_t& i, char c) noexcept {
  if (i >= text.size() || text[i] != c) return false;
  ++i;
  return true;
}

// "%Y-%m-%d %H:%M:%S": the year 1 to 4 digits, or a sign and any digits;
// the other fields 1 or 2 digits; second 60 is a leap second.
std::optional<DateTime> parse_datetime(std::string_view text) noexcept {
  bool negative = false;
  size_t i = sign_length(text, negative);
  // Without a sign the year has at most four digits; with one, any number.
  std::optional<int64_t> year = read_number(text, i, 1, i > 0 ? text.size() : 4);
  if (year && negative) *year = -*year;
  if (!year || !expect(text, i, '-')) return std::nullopt;
  const auto month = read_number(text, i, 1, 2);
  if (!month || !expect(text, i, '-')) return std::nullopt;
  const auto day = read_number(text, i, 1, 2);
  if (!day || !expect(text, i, ' ')) return std::nullopt;
  const auto hour = read_number(text, i, 1, 2);
  if (!hour || !expect(text, i, ':')) return std::nullopt;
  const auto minute = read_number(text, i, 1, 2);
  if (!minute || !expect(text, i, ':')) return std::nullopt;
  const auto second = read_number(text, i, 1, 2);
  if (!second || i != text.size()) return std::nullopt;

  if (*year < kMinYear || *year > kMaxYear) return std::nullopt;
  if (*month < 1 || *month > 12 || *day < 1 || *day > 31) return std::nullopt;
  if (!valid_date(static_cast<int32_t>(*year), static_cast<unsigned>(*month), static_cast<unsigned>(*day))) {
    return std::nullopt;
  }
  if (*hour > 23 || *minute > 59 || *second > 60) return std::nullopt;

  DateTime dt;
  dt.year = static_cast<int32_t>(*year);
  dt.month = static_cast<uint8_t>(*month);
  dt.day = static_cast<uint8_t>(*day);
  const bool leap = *second == 60;
  dt.secs = static_cast<uint32_t>(*hour * 3600 + *minute * 60 + (leap ? 59 : *second));
  dt.nanos = leap ? 1'000'000'000 : 0;
  return dt;
}

}  // namespace

CellValue parse_cell_value(std::string_view text) {
  if (const auto b = parse_bool(text)) return CellValue::boolean(*b);
  if (text.empty()) return CellValue::empty();
  if (const auto i = parse_i32(text)) return CellValue::integer(*i);
  if (const auto d = parse_float(text)) return CellValue::number(*d);
  if (const auto dt = parse_datetime(text)) return CellValue::datetime(*dt);
  return CellValue::string(text);
}

// Here, not beside the model, so that the model never calls its parser.
void set_cell_value_from_text(CellValue& slot, std::string_view text) { slot = parse_cell_value(text); }

CoreCell build_cell(uint32_t row, uint16_t column, std::optional<std::string_view> value,
                    std::optional<std::string_view> formula, std::string_view data_type,
                    std::optional<std::string_view> style_id) {
  CoreCell cell;
  cell.row = row;
  cell.column = column;
  if (value) cell.value = data_type == "s" ? CellValue::string(*value) : parse_cell_value(*value);
  if (formula) set_cell_text(cell, &CellExtras::formula, Text(*formula));
  set_cell_data_type(cell, data_type);
  if (style_id) set_cell_text(cell, &CellExtras::style_id, Text(*style_id));
  return cell;
}

}  // namespace vellix::core
