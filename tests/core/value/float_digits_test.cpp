#include "core/value/float_digits.hpp"

#include <gtest/gtest.h>

#include <algorithm>
#include <charconv>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <random>
#include <string>
#include <vector>

namespace vellix::core {
namespace {

// The digits and point position std::to_chars gives, the reference both fast
// paths must agree with.
std::pair<std::string, int> reference(double d) {
  char buf[64];
  auto r = std::to_chars(buf, buf + sizeof buf, std::fabs(d), std::chars_format::scientific);
  std::string s(buf, r.ptr);
  size_t e = s.find('e');
  std::string digits = s.substr(0, e);
  digits.erase(std::remove(digits.begin(), digits.end(), '.'), digits.end());
  while (digits.size() > 1 && digits.back() == '0') digits.pop_back();
  return {digits, std::atoi(s.c_str() + e + 1) + 1};
}

// Values where a scaled rounding is most likely to pick the wrong neighbour:
// either side of 2^50 / 10^k and of 2^53, decimals of 0 to 22 places, tiny
// values with leading zeros, and random bit patterns.
std::vector<double> hard_values() {
  std::vector<double> v = {0.001, 1.5e-20, 0.1 + 0.2, 9007199254740993.0, 123456789012345680000.0, 5e-324};
  for (int k = 0; k <= 22; ++k) {
    double x = std::ldexp(1.0, 50) / std::pow(10.0, k), y = x;
    for (int step = 0; step < 16; ++step, x = std::nextafter(x, 0), y = std::nextafter(y, 1e300)) {
      v.insert(v.end(), {x, -x, y, -y});
    }
  }
  for (double w : {std::ldexp(1.0, 50), std::ldexp(1.0, 53)}) {
    for (int i = -8; i <= 8; ++i) v.push_back(w + i);
  }
  std::mt19937_64 rng(7);
  for (int places = 0; places <= 22; ++places) {
    for (int n = 0; n < 400; ++n) {
      v.push_back(std::stod(std::to_string(rng() % 100000000) + "e-" + std::to_string(places)));
    }
  }
  for (int n = 0; n < 20000; ++n) {
    uint64_t bits = rng();
    double d;
    std::memcpy(&d, &bits, sizeof d);
    if (std::isfinite(d) && d != 0) v.push_back(d);
  }
  return v;
}

TEST(FloatDigits, BothPathsGiveTheShortestRoundTripDigits) {
  for (double d : hard_values()) {
    const auto [digits, point] = reference(d);
    const FloatDigits f = shortest_digits(d);
    ASSERT_EQ(std::string(f.view()), digits) << d;
    ASSERT_EQ(f.point_pos, point) << d;
    ASSERT_EQ(f.negative, d < 0) << d;
    ShortDecimal s;
    if (short_decimal(d, s)) {
      std::string sig = std::to_string(s.significand);
      ASSERT_EQ(sig, digits) << d;
      ASSERT_EQ(static_cast<int>(sig.size()) - s.decimals, point) << d;
    }
  }
}

}  // namespace
}  // namespace vellix::core
