#include "core/value/float_digits.hpp"

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

// Scaled values below this have unambiguous digits (see decimal_within).
constexpr double kScaledLimit = 0x1p50;
constexpr int kScaledLimitLog2 = 50;

// Two decimals, the most that money and most typed-in values have, are tried
// before the most the scale allows, whose trailing zeros take longer to strip.
constexpr int kCommonDecimals = 2;

// The shortest decimal of a finite a > 0 if one with at most k decimals
// reads back as a, else false; a * 10^k must be below 2^50 for the answer to
// be sure, and k at most 22.
//
// With m the product a * 10^k rounded: the values that read back as a span at
// most ulp(a) <= a * 2^-52, under a quarter once scaled by 10^k, so at most
// one whole number lies among them; if there is one it is within 3/16 of the
// computed product, so m is it. m / 10^k == a (both exact doubles, so the
// division is the correctly rounded reading of the decimal m * 10^-k) tells
// whether m reads back as a. Any round-trip decimal with at most k decimals
// is that one padded with zeros, so m without its trailing zeros is the
// shortest.
bool decimal_within(double a, int k, ShortDecimal& out) noexcept {
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
  out.significand = m;
  out.decimals = k;
  return true;
}

}  // namespace

bool short_decimal(double d, ShortDecimal& out) noexcept {
  const double a = std::fabs(d);
  if (a == 0) return false;
  const int exponent = static_cast<int>(std::bit_cast<uint64_t>(a) >> 52) - 1023;  // a < 2^(exponent+1)
  if (exponent >= kScaledLimitLog2) return false;
  // floor((49 - exponent) * log10(2)), as 78913 / 2^18 gives it for every
  // argument below the cap: then a * 10^k < 2^(exponent+1) * 10^k <= 2^50.
  int k = ((kScaledLimitLog2 - 1 - exponent) * 78913) >> 18;
  if (k > kMaxExactPower) k = kMaxExactPower;
  if (k > kCommonDecimals && decimal_within(a, kCommonDecimals, out)) return true;
  return decimal_within(a, k, out);
}

FloatDigits shortest_digits(double d) noexcept {
  FloatDigits f;
  f.negative = std::signbit(d);
  if (ShortDecimal s; short_decimal(d, s)) {
    const auto res = std::to_chars(f.digits, f.digits + sizeof f.digits, s.significand);
    f.count = static_cast<int>(res.ptr - f.digits);
    f.point_pos = f.count - s.decimals;
    return f;
  }
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
