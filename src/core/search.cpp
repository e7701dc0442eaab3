#include "core/search.hpp"

#include <algorithm>
#include <utility>

#include "core/pool.hpp"

namespace vellix::core {
namespace {

// The White_Space characters beyond ASCII, in UTF-8.
constexpr std::string_view kWideSpaces[] = {
    "\u0085", "\u00A0", "\u1680", "\u2000", "\u2001", "\u2002", "\u2003", "\u2004", "\u2005", "\u2006",
    "\u2007", "\u2008", "\u2009", "\u200A", "\u2028", "\u2029", "\u202F", "\u205F", "\u3000",
};

bool ascii_space(unsigned char c) { return c == ' ' || (c >= '\t' && c <= '\r'); }

// Byte length of the white-space character that `text` ends with (or, with
// at_end false, starts with), or 0.
size_t edge_space(std::string_view text, bool at_end) {
  auto c = static_cast<unsigned char>(at_end ? text.back() : text.front());
  if (c < 0x80) return ascii_space(c) ? 1 : 0;
  for (std::string_view w : kWideSpaces) {
    if (at_end ? text.ends_with(w) : text.starts_with(w)) return w.size();
  }
  return 0;
}

// Value texts are written here when they are not a String's own bytes, so a
// scan allocates nothing per cell once the buffer has grown.
std::string& value_scratch() {
  thread_local std::string scratch;
  return scratch;
}

bool trimmed_text_equals(const SharedCell& cell, std::string_view trimmed_needle) {
  auto r = cell.read();
  return trim_white_space(cell_value_text_view(r->value, value_scratch())) == trimmed_needle;
}

template <class Test>
SharedCell first_cell(CellSpan cells, Test&& test) {
  size_t i = find_first_index(cells.size(), [&](size_t k) {
    detail::prefetch_ahead(cells, k);
    return test(*cells[k]);
  });
  return i < cells.size() ? *cells[i] : SharedCell();
}

template <class Test>
std::vector<SharedCell> all_cells(CellSpan cells, Test&& test) {
  return collect_ordered<SharedCell>(cells.size(), [&](size_t k, std::vector<SharedCell>& out) {
    detail::prefetch_ahead(cells, k);
    if (test(*cells[k])) out.push_back(*cells[k]);
  });
}

template <class Test>
Result<std::vector<SharedCell>> all_cells_matching(std::string_view regex, CellSpan cells, Test&& test) {
  Result<Pattern> pattern = compile_search_pattern(regex);
  if (!pattern) return std::move(pattern).error();
  const Pattern& p = pattern.value();
  return all_cells(cells, [&](const SharedCell& cell) { return test(cell) && cell_matches(p, cell); });
}

template <class Test>
std::vector<SharedSheet> all_sheets(SheetSpan sheets, Test&& test) {
  return collect_ordered<SharedSheet>(sheets.size(), [&](size_t k, std::vector<SharedSheet>& out) {
    if (test(sheets[k])) out.push_back(sheets[k]);
  });
}

template <class Test>
SharedSheet first_sheet(SheetSpan sheets, Test&& test) {
  size_t i = find_first_index(sheets.size(), [&](size_t k) { return test(sheets[k]); });
  return i < sheets.size() ? sheets[i] : SharedSheet();
}

bool name_in(const SharedSheet& sheet, std::span<const std::string> names) {
  auto r = sheet.read();
  return std::find(names.begin(), names.end(), r->name) != names.end();
}

}  // namespace

std::string_view trim_white_space(std::string_view text) {
  while (!text.empty()) {
    size_t n = edge_space(text, false);
    if (n == 0) break;
    text.remove_prefix(n);
  }
  while (!text.empty()) {
    size_t n = edge_space(text, true);
    if (n == 0) break;
    text.remove_suffix(n);
  }
  return text;
}

bool cell_matches(const Pattern& pattern, const SharedCell& cell) {
  auto r = cell.read();
  return pattern.matches(cell_value_text_view(r->value, value_scratch()));
}

SharedCell find_cell_by_str_core(std::string_view value, CellSpan cells) {
  std::string_view needle = trim_white_space(value);
  return first_cell(cells, [&](const SharedCell& c) { return trimmed_text_equals(c, needle); });
}

std::vector<SharedCell> find_cells_by_str_core(std::string_view value, CellSpan cells) {
  std::string_view needle = trim_white_space(value);
  return all_cells(cells, [&](const SharedCell& c) { return trimmed_text_equals(c, needle); });
}

Result<SharedCell> find_cell_by_regex_core(std::string_view regex, CellSpan cells) {
  Result<Pattern> pattern = compile_search_pattern(regex);
  if (!pattern) return std::move(pattern).error();
  const Pattern& p = pattern.value();
  return first_cell(cells, [&](const SharedCell& c) { return cell_matches(p, c); });
}

Result<std::vector<SharedCell>> find_cells_by_regex_core(std::string_view regex, CellSpan cells) {
  return all_cells_matching(regex, cells, [](const SharedCell&) { return true; });
}

SharedCell find_cell_by_coords_core(uint32_t row, uint16_t col, CellSpan cells) {
  return first_cell(cells, [&](const SharedCell& c) {
    auto r = c.read();
    return r->row == row && r->column == col;
  });
}

std::vector<SharedCell> find_cells_range_rows_core(uint32_t start_row, uint32_t end_row, CellSpan cells) {
  return all_cells(cells, [&](const SharedCell& c) {
    auto r = c.read();
    return start_row <= r->row && r->row <= end_row;
  });
}

std::vector<SharedCell> find_cells_range_cols_core(uint16_t start_col, uint16_t end_col, CellSpan cells) {
  return all_cells(cells, [&](const SharedCell& c) {
    auto r = c.read();
    return start_col <= r->column && r->column <= end_col;
  });
}

Result<std::vector<SharedCell>> find_cells_for_cols_by_regex_core(std::string_view regex, uint32_t row_stop,
                                                                  CellSpan cells) {
  return all_cells_matching(regex, cells, [&](const SharedCell& c) { return c.read()->row <= row_stop; });
}

Result<std::vector<SharedCell>> find_cells_for_rows_by_regex_core(std::string_view regex, uint16_t col_stop,
                                                                  CellSpan cells) {
  return all_cells_matching(regex, cells, [&](const SharedCell& c) { return c.read()->column <= col_stop; });
}

std::vector<std::string> find_values_by_col_rows_core(uint16_t col, std::span<const uint32_t> rows, CellSpan cells) {
  return collect_ordered<std::string>(cells.size(), [&](size_t k, std::vector<std::string>& out) {
    detail::prefetch_ahead(cells, k);
    auto r = cells[k]->read();
    if (r->column == col && std::find(rows.begin(), rows.end(), r->row) != rows.end()) {
      out.push_back(cell_value_text(r->value));
    }
  });
}

std::vector<std::string> find_values_by_row_cols_core(uint32_t row, std::span<const uint16_t> cols, CellSpan cells) {
  return collect_ordered<std::string>(cells.size(), [&](size_t k, std::vector<std::string>& out) {
    detail::prefetch_ahead(cells, k);
    auto r = cells[k]->read();
    if (r->row == row && std::find(cols.begin(), cols.end(), r->column) != cols.end()) {
      out.push_back(cell_value_text(r->value));
    }
  });
}

SharedSheet find_sheet_by_name_core(std::string_view name, SheetSpan sheets) {
  return first_sheet(sheets, [&](const SharedSheet& s) { return s.read()->name == name; });
}

SharedSheet find_sheet_by_regex_core(const Pattern& pattern, SheetSpan sheets) {
  return first_sheet(sheets, [&](const SharedSheet& s) { return pattern.matches(s.read()->name); });
}

std::vector<SharedSheet> get_sheets_with_names_core(std::span<const std::string> names, SheetSpan sheets) {
  return all_sheets(sheets, [&](const SharedSheet& s) { return name_in(s, names); });
}

std::vector<SharedSheet> get_sheets_without_names_core(std::span<const std::string> names, SheetSpan sheets) {
  return all_sheets(sheets, [&](const SharedSheet& s) { return !name_in(s, names); });
}

}  // namespace vellix::core
