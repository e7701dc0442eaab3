// Band searches: a cell matching the before pattern opens a band, a later
// cell matching the after pattern closes it.
//
// Both patterns are compiled as "(?i)" + text, before first, then after; if
// either fails its error is returned and no cell is tested. The marker scan
// runs on the calling thread, because whether a band is open carries from
// each cell to the next. Cells are read-locked one at a time; the caller's
// locks stay held.
//
//   cells "Start", "a", "END", "b"; before "start", after "end":
//   multi   -> the cells "Start" and "END"
//   between -> every cell whose row lies from Start's row through END's row
#pragma once

#include <string_view>
#include <vector>

#include "core/error.hpp"
#include "core/search/search.hpp"

namespace vellix::core {

// The marker cells, opening and closing alike, in list order. A before match
// inside an open band and an after match outside one are not markers; a
// cell matching both closes an open band or opens a closed one.
Result<std::vector<SharedCell>> find_cells_multi_regex_core(std::string_view before_regex, std::string_view after_regex,
                                                            CellSpan cells);

// The cells, in list order, whose row lies in the first band: from the first
// opening marker's row through the first closing marker's row, both
// inclusive, or from the opening row on when the band never closes; none
// when no band opens. Rows alone decide, in any column, wherever the cell
// stands in the list. This filter runs on the pool.
Result<std::vector<SharedCell>> find_cells_between_regex_core(std::string_view before_regex,
                                                              std::string_view after_regex, CellSpan cells);

}  // namespace vellix::core
