#include "core/pattern/codepoint_set.hpp"

#include <algorithm>
#include <iterator>

namespace vellix::core {
namespace {

void push_merged(std::vector<CodePointRange>& out, CodePointRange r) {
  if (!out.empty() && r.first <= out.back().last + 1) {
    out.back().last = std::max(out.back().last, r.last);
  } else {
    out.push_back(r);
  }
}

}  // namespace

CodePointSet code_point_range(char32_t first, char32_t last) {
  CodePointSet set;
  add_range(set, first, last);
  return set;
}

CodePointSet code_point_set(std::initializer_list<CodePointRange> ranges) {
  CodePointSet set;
  for (CodePointRange r : ranges) add_range(set, r.first, r.last);
  return set;
}

bool contains(const CodePointSet& set, char32_t c) {
  auto it = std::upper_bound(set.ranges.begin(), set.ranges.end(), c,
                             [](char32_t v, const CodePointRange& r) { return v < r.first; });
  return it != set.ranges.begin() && c <= std::prev(it)->last;
}

void add_range(CodePointSet& set, char32_t first, char32_t last) {
  last = std::min(last, kMaxCodePoint);
  if (first > last) return;
  if (first <= kSurrogateLast && last >= kSurrogateFirst) {
    if (first < kSurrogateFirst) add_range(set, first, kSurrogateFirst - 1);
    if (last > kSurrogateLast) add_range(set, kSurrogateLast + 1, last);
    return;
  }
  auto& v = set.ranges;
  // The first range that touches or follows [first, last]; appending in order
  // finds the end at once.
  auto begin =
      std::lower_bound(v.begin(), v.end(), first, [](const CodePointRange& r, char32_t f) { return r.last + 1 < f; });
  auto end = begin;
  while (end != v.end() && end->first <= last + 1) {
    first = std::min(first, end->first);
    last = std::max(last, end->last);
    ++end;
  }
  if (begin == end) {
    v.insert(begin, CodePointRange{first, last});
  } else {
    *begin = CodePointRange{first, last};
    v.erase(begin + 1, end);
  }
}

CodePointSet set_union(const CodePointSet& a, const CodePointSet& b) {
  CodePointSet out;
  out.ranges.reserve(a.ranges.size() + b.ranges.size());
  size_t i = 0, j = 0;
  while (i < a.ranges.size() || j < b.ranges.size()) {
    const bool take_a = j == b.ranges.size() || (i < a.ranges.size() && a.ranges[i].first <= b.ranges[j].first);
    push_merged(out.ranges, take_a ? a.ranges[i++] : b.ranges[j++]);
  }
  return out;
}

CodePointSet set_intersection(const CodePointSet& a, const CodePointSet& b) {
  CodePointSet out;
  size_t i = 0, j = 0;
  while (i < a.ranges.size() && j < b.ranges.size()) {
    const char32_t lo = std::max(a.ranges[i].first, b.ranges[j].first);
    const char32_t hi = std::min(a.ranges[i].last, b.ranges[j].last);
    if (lo <= hi) out.ranges.push_back(CodePointRange{lo, hi});
    if (a.ranges[i].last < b.ranges[j].last) {
      ++i;
    } else {
      ++j;
    }
  }
  return out;
}

CodePointSet set_complement(const CodePointSet& a) {
  CodePointSet out;
  char32_t next = 0;
  for (const CodePointRange& r : a.ranges) {
    if (r.first > next) add_range(out, next, r.first - 1);
    next = r.last + 1;
  }
  if (next <= kMaxCodePoint) add_range(out, next, kMaxCodePoint);
  return out;
}

CodePointSet set_difference(const CodePointSet& a, const CodePointSet& b) {
  return set_intersection(a, set_complement(b));
}

CodePointSet set_symmetric_difference(const CodePointSet& a, const CodePointSet& b) {
  return set_union(set_difference(a, b), set_difference(b, a));
}

}  // namespace vellix::core
