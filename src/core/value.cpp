#include "core/value.hpp"

#include <chrono>
#include <cstring>
#include <new>
#include <utility>

namespace vellix::core {

std::string coordinate_debug_text(Coordinate c) {
  std::string out = "Coordinate { row: ";
  append_decimal(c.row, out);
  out += ", column: ";
  append_decimal(c.column, out);
  out += " }";
  return out;
}

bool valid_date(int32_t year, unsigned month, unsigned day) {
  if (year < kMinYear || year > kMaxYear) return false;
  const std::chrono::year_month_day ymd{std::chrono::year{year}, std::chrono::month{month},
                                        std::chrono::day{day}};
  return ymd.ok();
}

CellValue CellValue::string(std::string_view s) { return string(Text(s)); }

CellValue CellValue::string(Text s) {
  CellValue v;
  v.tag_ = ValueKind::String;
  ::new (&v.u_.string) Text(std::move(s));
  return v;
}

CellValue CellValue::number(double d) noexcept {
  CellValue v;
  v.tag_ = ValueKind::Number;
  v.u_.number = d;
  return v;
}

CellValue CellValue::integer(int32_t i) noexcept {
  CellValue v;
  v.tag_ = ValueKind::Integer;
  v.u_.integer = i;
  return v;
}

CellValue CellValue::boolean(bool b) noexcept {
  CellValue v;
  v.tag_ = ValueKind::Bool;
  v.u_.boolean = b;
  return v;
}

CellValue CellValue::datetime(const DateTime& dt) noexcept {
  CellValue v;
  v.tag_ = ValueKind::DateTime;
  v.year_ = dt.year;
  v.month_ = dt.month;
  v.day_ = dt.day;
  v.u_.time.secs = dt.secs;
  v.u_.time.nanos = dt.nanos;
  return v;
}

// The union's only non-trivial member is the String's Text; every other kind
// copies as raw bytes.
CellValue::CellValue(const CellValue& o) : tag_(o.tag_), month_(o.month_), day_(o.day_), year_(o.year_) {
  if (o.tag_ == ValueKind::String) {
    ::new (&u_.string) Text(o.u_.string);
  } else {
    std::memcpy(static_cast<void*>(&u_), &o.u_, sizeof u_);
  }
}

CellValue::CellValue(CellValue&& o) noexcept { take(o); }

CellValue& CellValue::operator=(const CellValue& o) {
  if (this != &o) *this = CellValue(o);
  return *this;
}

CellValue& CellValue::operator=(CellValue&& o) noexcept {
  if (this != &o) {
    destroy();
    take(o);
  }
  return *this;
}

void CellValue::take(CellValue& o) noexcept {
  tag_ = o.tag_;
  month_ = o.month_;
  day_ = o.day_;
  year_ = o.year_;
  if (o.tag_ == ValueKind::String) {
    ::new (&u_.string) Text(std::move(o.u_.string));
  } else {
    std::memcpy(static_cast<void*>(&u_), &o.u_, sizeof u_);
  }
  o.destroy();
}

CellValue::~CellValue() { destroy(); }

void CellValue::destroy() noexcept {
  if (tag_ == ValueKind::String) u_.string.~Text();
  tag_ = ValueKind::Empty;
}

std::string_view CellValue::as_string() const noexcept { return u_.string.view(); }

DateTime CellValue::as_datetime() const noexcept {
  return DateTime{year_, month_, day_, u_.time.secs, u_.time.nanos};
}

char data_type_letter(const CellValue& v) noexcept {
  static constexpr char kLetters[] = {'s', 's', 'n', 'n', 'b', 'd'};
  return kLetters[static_cast<uint8_t>(v.kind())];
}

void set_cell_value_from_text(CellValue& slot, std::string_view text) { slot = parse_cell_value(text); }

CoreCell build_cell(uint32_t row, uint16_t column, std::optional<std::string_view> value,
                    std::optional<std::string_view> formula, std::string_view data_type,
                    std::optional<std::string_view> style_id) {
  CoreCell cell;
  cell.row = row;
  cell.column = column;
  if (value) cell.value = data_type == "s" ? CellValue::string(*value) : parse_cell_value(*value);
  if (formula) cell.formula = Text(*formula);
  cell.data_type = data_type.size() == 1 ? Text::letter(data_type[0]) : Text(data_type);
  if (style_id) cell.style_id = Text(*style_id);
  return cell;
}

}  // namespace vellix::core
