#include "core/float_digits.hpp"

#include <charconv>
#include <cmath>

namespace vellix::core {

FloatDigits shortest_digits(double d) noexcept {
  FloatDigits f;
  f.negative = std::signbit(d);
  // Scientific form without a precision gives exactly the shortest round-trip
  // digits: "d[.ddd]e(+|-)XX".
  char buf[40];
  const auto res = std::to_chars(buf, buf + sizeof buf, std::fabs(d), std::chars_format::scientific);
  const char* p = buf;
  const char* end = res.ptr;
  for (; p < end && *p != 'e'; ++p) {
    if (*p != '.') f.digits[f.count++] = *p;
  }
  while (f.count > 1 && f.digits[f.count - 1] == '0') --f.count;
  int exponent = 0;
  if (p < end) {
    std::from_chars(p + 1 + (p[1] == '+'), end, exponent);
  }
  f.point_pos = exponent + 1;
  return f;
}

}  // namespace vellix::core
