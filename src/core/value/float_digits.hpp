// The shortest decimal digits that read back as a given double, with their
// decimal exponent: the one source of digits for both the value text and the
// JSON form of a float, which lay the same digits out differently.
//
// Pure function of its argument; safe on any thread.
//
//   FloatDigits f = shortest_digits(22.5);   // digits "225", point_pos 2
#pragma once

#include <cstdint>
#include <string_view>

namespace vellix::core {

struct FloatDigits {
  char digits[24];  // significant digits, no leading or trailing zeros
  int count = 0;    // how many of them
  // Where the decimal point falls: the value is 0.d1d2... * 10^point_pos,
  // so 10^(point_pos-1) <= |value| < 10^point_pos.
  int point_pos = 0;
  bool negative = false;

  std::string_view view() const noexcept { return {digits, static_cast<size_t>(count)}; }
};

// For a finite, nonzero d.
FloatDigits shortest_digits(double d) noexcept;

// The same digits as one integer when they are few and sit near the point,
// as with money, measurements and typed-in numbers: |d| is the shortest
// decimal significand * 10^-decimals (significand without trailing zeros,
// decimals negative for whole numbers with trailing zeros). False for other
// values, whose digits only shortest_digits gives, and for zero, infinities
// and NaN. Much cheaper than shortest_digits, and writers can print the
// integer straight into place.
struct ShortDecimal {
  uint64_t significand = 0;  // below 2^50
  int decimals = 0;
};
bool short_decimal(double d, ShortDecimal& out) noexcept;

}  // namespace vellix::core
