#include "core/pattern/size_estimate.hpp"

#include <algorithm>
#include <array>

#include "core/pattern/unicode_sets.hpp"
#include "core/value/utf8.hpp"

namespace vellix::core {
namespace {

double bytes_cost(char32_t c) { return kByteCost * static_cast<double>(utf8_width(c)); }

double folded_cost(char32_t c) { return set_cost(case_fold_closure(code_point_range(c, c))); }

// Most patterns are ASCII: their folded literals' costs, computed once.
const std::array<double, 0x80>& ascii_folded_costs() {
  static const std::array<double, 0x80> costs = [] {
    std::array<double, 0x80> a{};
    for (char32_t c = 0; c < 0x80; ++c) a[c] = folded_cost(c);
    return a;
  }();
  return costs;
}

}  // namespace

// The weights were fitted to the engine over classes from one range to \w's
// 771; wide classes come within about a third.
double set_cost(const CodePointSet& set) {
  // The engine reads a class of one character as that character.
  if (set.ranges.size() == 1 && set.ranges[0].first == set.ranges[0].last) return bytes_cost(set.ranges[0].first);
  constexpr double kClass = 64, kOneByte = 8, kSequence = 12, kContinuation = 24, kFirstSequences = 60;
  double one_byte = 0, sequences = 0, continuations = 0;
  auto split = [&](auto&& self, char32_t a, char32_t b) -> void {
    static constexpr char32_t kLengthEnds[] = {0x7F, 0x7FF, 0xFFFF};
    for (char32_t end : kLengthEnds) {
      if (a <= end && b > end) {
        self(self, a, end);
        self(self, end + 1, b);
        return;
      }
    }
    const int length = static_cast<int>(utf8_width(a));
    for (int i = 1; i < length; ++i) {
      char32_t m = (char32_t{1} << (6 * i)) - 1;
      if ((a & ~m) != (b & ~m)) {
        if ((a & m) != 0) {
          self(self, a, a | m);
          self(self, (a | m) + 1, b);
          return;
        }
        if ((b & m) != m) {
          self(self, a, (b & ~m) - 1);
          self(self, b & ~m, b);
          return;
        }
      }
    }
    if (length == 1) {
      ++one_byte;
    } else {
      ++sequences;
      continuations += length - 1;
    }
  };
  for (const CodePointRange& r : set.ranges) split(split, r.first, r.last);
  return kClass + kOneByte * one_byte + kSequence * sequences + kContinuation * continuations +
         kFirstSequences * std::min(sequences, 4.0);
}

double literal_cost(char32_t c, bool folds) {
  if (!folds) return bytes_cost(c);
  if (c < 0x80) return ascii_folded_costs()[c];
  return folded_cost(c);
}

}  // namespace vellix::core
