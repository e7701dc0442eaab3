#include "core/sheet/sheet_rows.hpp"

#include <utility>

namespace vellix::core {

namespace {

struct Rows {
  static uint32_t along(Coordinate c) noexcept { return c.row; }
  static Coordinate shifted(Coordinate c, uint32_t amount) noexcept { return {c.row - amount, c.column}; }
};

struct Columns {
  static uint16_t along(Coordinate c) noexcept { return c.column; }
  static Coordinate shifted(Coordinate c, uint16_t amount) noexcept {
    return {c.row, static_cast<uint16_t>(c.column - amount)};
  }
};

template <class Axis, class T>
void delete_band(CoreSheet& sheet, T idx, T amount) {
  CellMap fresh;  // a new map draws a new seed
  // The only allocation; once it is made nothing below can fail, so a
  // failure leaves the sheet and every cell as they were.
  fresh.reserve(sheet.cells.map().size());
  CellMap& map = sheet.cells.edit();
  CellMap old = std::move(map);
  begin_cell_moves();
  for (const CellEntry& entry : old) {
    const Coordinate key = entry.at();
    T at = Axis::along(key);
    // Written as a difference so that idx + amount never has to fit T.
    if (idx <= at && at - idx < amount) continue;  // the map's count dies with `old`
    SharedCell cell = entry.take();
    Coordinate dest = key;
    if (at > idx) {
      dest = Axis::shifted(key, amount);
      move_cell(*cell.write(), dest);
    }
    (void)cell_map_insert(fresh, dest.row, dest.column, std::move(cell));
  }
  end_cell_moves();
  map = std::move(fresh);
}

// The entry for `key`, created with the defaults when missing.
template <class Map, class Key>
typename Map::mapped_type& dimension_entry(Map& map, Key key) {
  return map.try_emplace(key, typename Map::mapped_type{key}).first->second;
}

// One field of the entry for `key`, or `fallback` when there is none.
template <class Map, class Key, class Field>
Field field_or(const Map& map, Key key, Field Map::mapped_type::*field, Field fallback) {
  auto it = map.find(key);
  return it == map.end() ? fallback : it->second.*field;
}

}  // namespace

void delete_rows_core(CoreSheet& sheet, uint32_t idx, uint32_t amount) { delete_band<Rows>(sheet, idx, amount); }
void delete_cols_core(CoreSheet& sheet, uint16_t idx, uint16_t amount) { delete_band<Columns>(sheet, idx, amount); }

void set_row_height(CoreSheet& sheet, uint32_t row, double height) {
  dimension_entry(sheet.row_dimensions.rows, row).height = height;
}
void set_row_hidden(CoreSheet& sheet, uint32_t row, bool hidden) {
  dimension_entry(sheet.row_dimensions.rows, row).hidden = hidden;
}
void set_column_width(CoreSheet& sheet, uint16_t column, double width) {
  dimension_entry(sheet.column_dimensions.columns, column).width = width;
}
void set_column_hidden(CoreSheet& sheet, uint16_t column, bool hidden) {
  dimension_entry(sheet.column_dimensions.columns, column).hidden = hidden;
}

double row_height(const CoreSheet& sheet, uint32_t row) {
  return field_or(sheet.row_dimensions.rows, row, &RowDimension::height, sheet.row_dimensions.default_height);
}
bool row_hidden(const CoreSheet& sheet, uint32_t row) {
  return field_or(sheet.row_dimensions.rows, row, &RowDimension::hidden, false);
}
double column_width(const CoreSheet& sheet, uint16_t column) {
  return field_or(sheet.column_dimensions.columns, column, &ColumnDimension::width,
                  sheet.column_dimensions.default_width);
}
bool column_hidden(const CoreSheet& sheet, uint16_t column) {
  return field_or(sheet.column_dimensions.columns, column, &ColumnDimension::hidden, false);
}

}  // namespace vellix::core
