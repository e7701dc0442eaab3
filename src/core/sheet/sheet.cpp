#include "core/sheet/sheet.hpp"

#include <utility>

#include "core/value/cell_edit.hpp"

namespace vellix::core {

SharedSheet add_sheet_core(SheetList& book, std::string_view name, std::string_view sheet_state) {
  CoreSheet sheet;
  sheet.name = name;
  sheet.sheet_state = sheet_state;
  SharedSheet handle = SharedSheet::make(std::move(sheet));
  book.push_back(handle);
  return handle;
}

SharedSheet copy_sheet_core(SheetList& book, SharedSheet source) {
  // Copying the record copies names, ranges and dimension entries (each map
  // keeping its hasher's seed), while the cell map and comment list get new
  // handles to the same cells and comments.
  CoreSheet copy = *source.read();
  // The name depends on the count alone: the copy's 1-based place in the list.
  copy.name = "Sheet ";
  copy.name += std::to_string(book.size() + 1);
  SharedSheet handle = SharedSheet::make(std::move(copy));
  book.push_back(handle);
  return handle;
}

SharedSheet sheet_by_name(const SheetList& book, std::string_view name) {
  for (const SharedSheet& sheet : book) {
    if (sheet.read()->name == name) return sheet;
  }
  return {};
}

SheetList wrap_sheets_shared(std::vector<CoreSheet> sheets) {
  SheetList out;
  out.reserve(sheets.size());
  for (CoreSheet& sheet : sheets) out.push_back(SharedSheet::make(std::move(sheet)));
  return out;
}

SharedCell cell_at(const SharedSheet& handle, uint32_t row, uint16_t column, std::optional<std::string_view> text) {
  std::optional<CellValue> value;
  if (text) value = parse_cell_value(*text);
  auto sheet = handle.write();
  const CellMap& map = sheet->cells.map();
  if (auto found = map.find(Coordinate{row, column}); found != map.end()) {
    SharedCell cell = found->handle();
    auto locked = cell.write();
    if (value) {
      store_cell_value(*locked, std::move(*value));
    } else {
      touch_cell(*locked);
    }
    return cell;
  }
  CellValue initial = value ? std::move(*value) : CellValue::empty();
  SharedCell cell = SharedCell::make();
  CoreCell& fresh = cell.unlocked();  // no other thread sees it yet
  fresh.row = row;
  fresh.column = column;
  fresh.type_letter = data_type_letter(initial);
  fresh.value = std::move(initial);
  (void)cell_map_insert(sheet->cells.edit(), row, column, cell);  // nothing was filed there
  return cell;
}

}  // namespace vellix::core
