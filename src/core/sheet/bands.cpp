#include "core/sheet/bands.hpp"

#include <utility>

#include "core/pattern/pattern.hpp"
#include "core/search/pool.hpp"

namespace vellix::core {
namespace {

struct BandPatterns {
  Pattern before;
  Pattern after;
};

// Before first, then after: a bad before pattern wins whatever after is.
Result<BandPatterns> compile_band_patterns(std::string_view before_regex, std::string_view after_regex) {
  Result<Pattern> before = compile_search_pattern(before_regex);
  if (!before) return std::move(before).error();
  Result<Pattern> after = compile_search_pattern(after_regex);
  if (!after) return std::move(after).error();
  return BandPatterns{std::move(before).value(), std::move(after).value()};
}

// Walks the list in order and calls on_marker(index) for every cell that
// opens or closes a band, until on_marker returns false. The band flag
// carries state from cell to cell, so this walk cannot be split.
template <class OnMarker>
void scan_markers(const BandPatterns& p, CellSpan cells, OnMarker&& on_marker) {
  bool open = false;
  for (size_t i = 0; i < cells.size(); ++i) {
    detail::prefetch_ahead(cells, i);
    bool marker = false;
    if (!open && cell_matches(p.before, cells[i])) {
      open = true;
      marker = true;
    } else if (open && cell_matches(p.after, cells[i])) {
      open = false;
      marker = true;
    }
    if (marker && !on_marker(i)) return;
  }
}

}  // namespace

Result<std::vector<SharedCell>> find_cells_multi_regex_core(std::string_view before_regex, std::string_view after_regex,
                                                            CellSpan cells) {
  Result<BandPatterns> patterns = compile_band_patterns(before_regex, after_regex);
  if (!patterns) return std::move(patterns).error();
  std::vector<SharedCell> markers;
  scan_markers(patterns.value(), cells, [&](size_t i) {
    markers.push_back(cells[i]);
    return true;
  });
  return markers;
}

Result<std::vector<SharedCell>> find_cells_between_regex_core(std::string_view before_regex,
                                                              std::string_view after_regex, CellSpan cells) {
  Result<BandPatterns> patterns = compile_band_patterns(before_regex, after_regex);
  if (!patterns) return std::move(patterns).error();
  // Only the first band counts, so the scan stops at its closing marker.
  std::vector<uint32_t> bounds;
  scan_markers(patterns.value(), cells, [&](size_t i) {
    bounds.push_back(cells[i].read()->row);
    return bounds.size() < 2;
  });
  if (bounds.empty()) return std::vector<SharedCell>();
  uint32_t first = bounds[0];
  uint32_t last = bounds.size() > 1 ? bounds[1] : UINT32_MAX;
  return collect_ordered<SharedCell>(cells.size(), [&](size_t k, std::vector<SharedCell>& out) {
    detail::prefetch_ahead(cells, k);
    uint32_t row = cells[k].read()->row;
    if (first <= row && row <= last) out.push_back(cells[k]);
  });
}

}  // namespace vellix::core
