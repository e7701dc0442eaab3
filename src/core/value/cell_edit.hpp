// The edits a caller makes to one cell, and the formula test they rely on:
// a value written from outside replaces the value, drops the formula and
// retypes data_type; a formula keeps the value and marks the cell "f".
//
// Pure functions over a CoreCell: the caller holds the cell's write lock (read
// lock for cell_is_formula).
#pragma once

#include <string_view>
#include <utility>

#include "core/value/text.hpp"
#include "core/value/value.hpp"

namespace vellix::core {

// A formula cell is one with a formula whose data_type is exactly "f".
inline bool cell_is_formula(const CoreCell& cell) noexcept {
  return cell.type_letter == 'f' && cell_text(cell, &CellExtras::formula).has_value();
}

inline void store_cell_value(CoreCell& cell, CellValue value) {
  const char letter = data_type_letter(value);
  set_cell_data_type(cell, {&letter, 1});
  cell.value = std::move(value);
  set_cell_text(cell, &CellExtras::formula, Text());
}

inline void store_cell_formula(CoreCell& cell, std::string_view formula) {
  set_cell_text(cell, &CellExtras::formula, Text(formula));
  set_cell_data_type(cell, "f");
}

// A cell asked for without a value: a formula cell stays as it is, any other
// cell is marked "s" and keeps its value.
inline void touch_cell(CoreCell& cell) {
  if (!cell_is_formula(cell)) set_cell_data_type(cell, "s");
}

}  // namespace vellix::core
