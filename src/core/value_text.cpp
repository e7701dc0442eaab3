// The value text of every kind. Everything writes straight into the caller's
// buffer through fixed stack buffers, so a reused buffer never reallocates
// once it has grown to the longest text (a subnormal Number, about 330 bytes).
#include <charconv>
#include <cmath>

#include "core/float_digits.hpp"
#include "core/value.hpp"

namespace vellix::core {

namespace {

constexpr uint32_t kNanosPerSecond = 1'000'000'000;
constexpr double kExactIntegerLimit = 9007199254740992.0;  // 2^53

void append_padded(uint32_t n, int width, std::string& out) {
  char buf[16];
  const auto res = std::to_chars(buf, buf + sizeof buf, n);
  const int len = static_cast<int>(res.ptr - buf);
  if (len < width) out.append(static_cast<size_t>(width - len), '0');
  out.append(buf, res.ptr);
}

}  // namespace

void append_decimal(int64_t n, std::string& out) {
  char buf[24];
  const auto res = std::to_chars(buf, buf + sizeof buf, n);
  out.append(buf, res.ptr);
}

void append_number_text(double d, std::string& out) {
  if (std::isnan(d)) {
    out += "NaN";
    return;
  }
  if (std::isinf(d)) {
    out += d < 0 ? "-inf" : "inf";
    return;
  }
  if (d == 0) {
    out += std::signbit(d) ? "-0" : "0";
    return;
  }
  // Below 2^53 whole numbers are exact and their shortest digits are their
  // own, so the integer writer gives the same text at a fraction of the cost.
  if (std::fabs(d) < kExactIntegerLimit && d == std::trunc(d)) {
    append_decimal(static_cast<int64_t>(d), out);
    return;
  }
  const FloatDigits f = shortest_digits(d);
  if (f.negative) out += '-';
  const std::string_view digits = f.view();
  if (f.point_pos <= 0) {
    out += "0.";
    out.append(static_cast<size_t>(-f.point_pos), '0');
    out += digits;
  } else if (f.point_pos >= f.count) {
    out += digits;
    out.append(static_cast<size_t>(f.point_pos - f.count), '0');
  } else {
    out += digits.substr(0, static_cast<size_t>(f.point_pos));
    out += '.';
    out += digits.substr(static_cast<size_t>(f.point_pos));
  }
}

void append_datetime_text(const DateTime& dt, char separator, std::string& out) {
  if (dt.year >= 0 && dt.year <= 9999) {
    append_padded(static_cast<uint32_t>(dt.year), 4, out);
  } else {
    out += dt.year < 0 ? '-' : '+';
    append_padded(static_cast<uint32_t>(std::abs(int64_t{dt.year})), 4, out);
  }
  out += '-';
  append_padded(dt.month, 2, out);
  out += '-';
  append_padded(dt.day, 2, out);
  out += separator;

  uint32_t second = dt.secs % 60;
  uint32_t fraction = dt.nanos;
  if (fraction >= kNanosPerSecond) {  // a leap second: second 59 shown as 60
    second += 1;
    fraction -= kNanosPerSecond;
  }
  append_padded(dt.secs / 3600, 2, out);
  out += ':';
  append_padded(dt.secs / 60 % 60, 2, out);
  out += ':';
  append_padded(second, 2, out);
  if (fraction == 0) return;
  out += '.';
  if (fraction % 1'000'000 == 0) {
    append_padded(fraction / 1'000'000, 3, out);
  } else if (fraction % 1'000 == 0) {
    append_padded(fraction / 1'000, 6, out);
  } else {
    append_padded(fraction, 9, out);
  }
}

void append_cell_value_text(const CellValue& v, std::string& out) {
  switch (v.kind()) {
    case ValueKind::Empty:
      return;
    case ValueKind::String:
      out += v.as_string();
      return;
    case ValueKind::Number:
      append_number_text(v.as_number(), out);
      return;
    case ValueKind::Integer:
      append_decimal(v.as_integer(), out);
      return;
    case ValueKind::Bool:
      out += v.as_bool() ? "true" : "false";
      return;
    case ValueKind::DateTime:
      append_datetime_text(v.as_datetime(), ' ', out);
      return;
  }
}

std::string cell_value_text(const CellValue& v) {
  if (v.kind() == ValueKind::String) return std::string(v.as_string());
  std::string out;
  append_cell_value_text(v, out);
  return out;
}

std::string_view cell_value_text_view(const CellValue& v, std::string& scratch) {
  if (v.kind() == ValueKind::String) return v.as_string();
  scratch.clear();
  append_cell_value_text(v, scratch);
  return scratch;
}

}  // namespace vellix::core
