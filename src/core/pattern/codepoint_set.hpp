// Sets of code points: the values every pattern class is read into.
//
// Plain sorted ranges with the set algebra that bracket classes need; nothing
// here knows Unicode's properties (unicode_sets.hpp) or the pattern syntax
// (class.hpp).
//
//   CodePointSet s = code_point_range('a', 'z');
//   s = set_difference(s, code_point_range('m', 'm'));   // {a-l, n-z}
#pragma once

#include <initializer_list>
#include <vector>

namespace vellix::core {

inline constexpr char32_t kMaxCodePoint = 0x10FFFF;
inline constexpr char32_t kSurrogateFirst = 0xD800;
inline constexpr char32_t kSurrogateLast = 0xDFFF;

struct CodePointRange {
  char32_t first;
  char32_t last;  // inclusive
  friend bool operator==(const CodePointRange&, const CodePointRange&) = default;
};

// Sorted, disjoint, non-adjacent ranges. Surrogates never appear: no valid
// UTF-8 text holds one, so complements leave them out.
struct CodePointSet {
  std::vector<CodePointRange> ranges;
  friend bool operator==(const CodePointSet&, const CodePointSet&) = default;
};

CodePointSet code_point_range(char32_t first, char32_t last);
// The union of `ranges`, given in any order.
CodePointSet code_point_set(std::initializer_list<CodePointRange> ranges);
bool contains(const CodePointSet& set, char32_t c);
void add_range(CodePointSet& set, char32_t first, char32_t last);
CodePointSet set_union(const CodePointSet& a, const CodePointSet& b);
CodePointSet set_intersection(const CodePointSet& a, const CodePointSet& b);
CodePointSet set_difference(const CodePointSet& a, const CodePointSet& b);
CodePointSet set_symmetric_difference(const CodePointSet& a, const CodePointSet& b);
CodePointSet set_complement(const CodePointSet& a);

}  // namespace vellix::core
