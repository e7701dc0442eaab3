#include "core/float_digits.hpp"

#include <bit>
#include <charconv>
#include <cmath>
#include <cstdint>

namespace vellix::core {
namespace {

constexpr double kPowersOfTen[] = {1e0,  1e1,  1e2,  1e3,  1e4,  1e5,  1e6,  1e7,  1e8,  1e9,  1e10, 1e11,
                                   1e12, 1e13, 1e14, 1e15, 1e16, 1e17, 1e18, 1e19, 1e20, 1e21, 1e22};
constexpr int kMaxExactPower = 22;  // 10^22 is the largest power of ten a double holds exactly

// Trailing zeros come off in halving steps: 8 + 4 + 2 + 1 covers any count to 15.
struct ZeroStrip {
  int zeros;
  uint64_t power;
};
constexpr ZeroStrip kZeroStrips[] = {{8, 100'000'000}, {4, 10'000}, {2, 100}, {1, 10}};

// Scaled values below this have unambiguous digits (see few_decimal_digits).
constexpr double kScaledLimit = 0x1p50;
constexpr int kScaledLimitLog2 = 50;

// The digits of a finite a > 0 that has few decimals (money, measurements,
// typed-in numbers) without the general algorithm, or false.
//
// Take K decimals (at most 22) such that a * 10^K stays below 2^50, and m,
// that product rounded. The values that read back as a span at most
// ulp(a) <= a * 2^-52, under a quarter once scaled by 10^K, so at most one
// whole number lies among them; if there is one it is within 3/16 of the
// computed product, so m is it. m / 10^K == a (both exact doubles, so the
// division is the correctly rounded reading of the decimal m * 10^-K) tells
// whether m reads back as a. Any round-trip decimal with at most K decimals is
// that one padded with zeros, so m without its trailing zeros is the shortest;
// when m does not read back, the shortest has more decimals than K.
bool few_decimal_digits(double a, FloatDigits& f) noexcept {
  const int exponent = static_cast<int>(std::bit_cast<uint64_t>(a) >> 52) - 1023;  // a < 2^(exponent+1)
  if (exponent >= kScaledLimitLog2) return false;
  // floor((49 - exponent) * log10(2)), as 78913 / 2^18 gives it for every
  // argument below the cap: then a * 10^k < 2^(exponent+1) * 10^k <= 2^50.
  int k = ((kScaledLimitLog2 - 1 - exponent) * 78913) >> 18;
  if (k > kMaxExactPower) k = kMaxExactPower;
  const double scaled = a * kPowersOfTen[k];
  if (!(scaled < kScaledLimit)) return false;
  auto m = static_cast<uint64_t>(scaled + 0.5);
  if (static_cast<double>(m) / kPowersOfTen[k] != a) return false;
  // m > 0 (it reads back as a) and below 2^50, so at most 15 trailing zeros.
  for (const auto& [zeros, power] : kZeroStrips) {
    if (m % power == 0) {
      m /= power;
      k -= zeros;
    }
  }
  const auto res = std::to_chars(f.digits, f.digits + sizeof f.digits, m);
  f.count = static_cast<int>(res.ptr - f.digits);
  f.point_pos = f.count - k;
  return true;
}

}  // namespace

FloatDigits shortest_digits(double d) noexcept {
  FloatDigits f;
  f.negative = std::signbit(d);
  if (few_decimal_digits(std::fabs(d), f)) return f;
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
