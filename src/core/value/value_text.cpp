// The value text of every kind. Each text is laid out in a stack buffer and
// appended to the caller's buffer in one piece: one length check and one copy
// per text, not one per character or field, and a reused buffer never
// reallocates once it has grown to the longest text (a subnormal Number,
// about 330 bytes).
#include <algorithm>
#include <array>
#include <bit>
#include <charconv>
#include <cmath>
#include <cstring>

#include "core/value/float_digits.hpp"
#include "core/value/value.hpp"

namespace vellix::core {

namespace {

constexpr uint32_t kNanosPerSecond = 1'000'000'000;
constexpr double kExactIntegerLimit = 9007199254740992.0;  // 2^53

// "-0." and up to 323 zeros before the digits of a tiny subnormal, which are
// copied as the whole FloatDigits array.
constexpr size_t kMaxNumberText = 3 + 323 + sizeof(FloatDigits::digits);
// "+32767-12-31 23:59:60.123456789" is 31; room for fields beyond their ranges.
constexpr size_t kMaxDateTimeText = 64;
// "-9223372036854775808"
constexpr size_t kMaxDecimalText = 24;
// The longest text of any kind not held as a String.
constexpr size_t kMaxValueText = std::max({kMaxNumberText, kMaxDateTimeText, kMaxDecimalText});

// "00" to "99", two characters each.
constexpr auto kTwoDigits = [] {
  std::array<char, 200> table{};
  for (int i = 0; i < 100; ++i) {
    table[2 * i] = static_cast<char>('0' + i / 10);
    table[2 * i + 1] = static_cast<char>('0' + i % 10);
  }
  return table;
}();

// n with leading zeros up to `width` digits; p has room for 10 digits.
char* put_padded(char* p, uint32_t n, int width) {
  char digits[10];
  const auto res = std::to_chars(digits, digits + sizeof digits, n);
  const int len = static_cast<int>(res.ptr - digits);
  for (; width > len; --width) *p++ = '0';
  std::memcpy(p, digits, static_cast<size_t>(len));
  return p + len;
}

// n with a leading zero below 10.
char* put_two_digits(char* p, uint32_t n) {
  if (n >= 100) return put_padded(p, n, 2);
  std::memcpy(p, &kTwoDigits[2 * n], 2);
  return p + 2;
}

char* put(char* p, std::string_view s) {
  std::memcpy(p, s.data(), s.size());
  return p + s.size();
}

// The first n of f's digits. Copies the whole array: a fixed-size copy needs
// no call, and p has room for it.
char* put_digits(char* p, const FloatDigits& f, int n) {
  std::memcpy(p, f.digits, sizeof f.digits);
  return p + n;
}

char* put_zeros(char* p, int n) {
  std::memset(p, '0', static_cast<size_t>(n));
  return p + n;
}

// 10^0 to 10^19: every power of ten a uint64_t holds.
constexpr auto kIntegerPowersOfTen = [] {
  std::array<uint64_t, 20> powers{};
  powers[0] = 1;
  for (size_t i = 1; i < powers.size(); ++i) powers[i] = powers[i - 1] * 10;
  return powers;
}();

// How many decimal digits n > 0 has.
int decimal_length(uint64_t n) {
  // floor(log10(2^bits)) by 1233 / 2^12, then one step up if n reaches it.
  const int guess = (std::bit_width(n) * 1233) >> 12;
  return guess + (n >= kIntegerPowersOfTen[guess]);
}

// The writers below lay a text out from p on and return its end.

// The last `count` digits of m, written backwards so that they end at `end`
// (zero-padded where m runs out); m keeps the digits before them.
char* put_digits_before(char* end, uint64_t& m, int count) {
  for (; count >= 2; count -= 2) {
    const uint64_t rest = m / 100;
    end -= 2;
    std::memcpy(end, &kTwoDigits[2 * (m - rest * 100)], 2);
    m = rest;
  }
  if (count == 1) {
    *--end = static_cast<char>('0' + m % 10);
    m /= 10;
  }
  return end;
}

// significand * 10^-decimals without exponent. The digits go straight into
// place: gathering them first and copying them after costs a stall, as the
// copy reads wider than the digits were written.
char* write_short_decimal(ShortDecimal s, char* p) {
  const int count = decimal_length(s.significand);
  if (s.decimals <= 0) {
    p = std::to_chars(p, p + count, s.significand).ptr;
    return put_zeros(p, -s.decimals);
  }
  if (count <= s.decimals) {
    p = put(p, "0.");
    p = put_zeros(p, s.decimals - count);
    return std::to_chars(p, p + count, s.significand).ptr;
  }
  char* const end = p + count + 1;
  char* point = put_digits_before(end, s.significand, s.decimals) - 1;
  *point = '.';
  put_digits_before(point, s.significand, count - s.decimals);
  return end;
}

char* write_decimal(int64_t n, char* p) { return std::to_chars(p, p + kMaxDecimalText, n).ptr; }

char* write_number_text(double d, char* p) {
  if (std::isnan(d)) return put(p, "NaN");
  if (std::isinf(d)) return put(p, d < 0 ? "-inf" : "inf");
  if (d == 0) return put(p, std::signbit(d) ? "-0" : "0");
  // Below 2^53 whole numbers are exact and their shortest digits are their
  // own, so the integer writer gives the same text at a fraction of the cost.
  if (std::fabs(d) < kExactIntegerLimit && d == std::trunc(d)) return write_decimal(static_cast<int64_t>(d), p);
  if (ShortDecimal s; short_decimal(d, s)) {
    if (d < 0) *p++ = '-';
    return write_short_decimal(s, p);
  }
  const FloatDigits f = shortest_digits(d);
  if (f.negative) *p++ = '-';
  if (f.point_pos <= 0) {
    p = put(p, "0.");
    p = put_zeros(p, -f.point_pos);
    return put_digits(p, f, f.count);
  }
  if (f.point_pos >= f.count) {
    p = put_digits(p, f, f.count);
    return put_zeros(p, f.point_pos - f.count);
  }
  p = put_digits(p, f, f.point_pos);
  *p++ = '.';
  for (int i = f.point_pos; i < f.count; ++i) *p++ = f.digits[i];
  return p;
}

char* write_datetime_text(const DateTime& dt, char separator, char* p) {
  if (dt.year >= 0 && dt.year <= 9999) {
    const auto year = static_cast<uint32_t>(dt.year);
    p = put_two_digits(p, year / 100);
    p = put_two_digits(p, year % 100);
  } else {
    *p++ = dt.year < 0 ? '-' : '+';
    p = put_padded(p, static_cast<uint32_t>(std::abs(int64_t{dt.year})), 4);
  }
  *p++ = '-';
  p = put_two_digits(p, dt.month);
  *p++ = '-';
  p = put_two_digits(p, dt.day);
  *p++ = separator;

  uint32_t second = dt.secs % 60;
  uint32_t fraction = dt.nanos;
  if (fraction >= kNanosPerSecond) {  // a leap second: second 59 shown as 60
    second += 1;
    fraction -= kNanosPerSecond;
  }
  p = put_two_digits(p, dt.secs / 3600);
  *p++ = ':';
  p = put_two_digits(p, dt.secs / 60 % 60);
  *p++ = ':';
  p = put_two_digits(p, second);
  if (fraction == 0) return p;
  *p++ = '.';
  if (fraction % 1'000'000 == 0) return put_padded(p, fraction / 1'000'000, 3);
  if (fraction % 1'000 == 0) return put_padded(p, fraction / 1'000, 6);
  return put_padded(p, fraction, 9);
}

// Any kind but String, whose text is its own bytes.
char* write_value_text(const CellValue& v, char* p) {
  switch (v.kind()) {
    case ValueKind::Number: return write_number_text(v.as_number(), p);
    case ValueKind::Integer: return write_decimal(v.as_integer(), p);
    case ValueKind::Bool: return put(p, v.as_bool() ? "true" : "false");
    case ValueKind::DateTime: return write_datetime_text(v.as_datetime(), ' ', p);
    case ValueKind::Empty:
    case ValueKind::String: break;
  }
  return p;
}

}  // namespace

void append_decimal(int64_t n, std::string& out) {
  char buf[kMaxDecimalText];
  out.append(buf, write_decimal(n, buf));
}

std::string coordinate_debug_text(Coordinate c) {
  std::string out = "Coordinate { row: ";
  append_decimal(c.row, out);
  out += ", column: ";
  append_decimal(c.column, out);
  out += " }";
  return out;
}

void append_number_text(double d, std::string& out) {
  char buf[kMaxNumberText];
  out.append(buf, write_number_text(d, buf));
}

void append_datetime_text(const DateTime& dt, char separator, std::string& out) {
  char buf[kMaxDateTimeText];
  out.append(buf, write_datetime_text(dt, separator, buf));
}

std::string cell_value_text(const CellValue& v) {
  if (v.kind() == ValueKind::String) return std::string(v.as_string());
  char buf[kMaxValueText];
  return std::string(buf, write_value_text(v, buf));
}

std::string_view written_text_bytes(ValueKind kind) noexcept {
  switch (kind) {
    case ValueKind::Integer: return "-0123456789";
    case ValueKind::Number: return "-.0123456789NaNinf";
    case ValueKind::DateTime: return "+-:. 0123456789";
    case ValueKind::Empty:
    case ValueKind::String:
    case ValueKind::Bool: break;
  }
  return {};
}

std::string_view cell_value_text_view(const CellValue& v, std::string& scratch) {
  if (v.kind() == ValueKind::String) return v.as_string();
  // Written in place: no copy, no length bookkeeping per text.
  if (scratch.size() < kMaxValueText) scratch.resize(kMaxValueText);
  char* begin = scratch.data();
  return {begin, static_cast<size_t>(write_value_text(v, begin) - begin)};
}

}  // namespace vellix::core
