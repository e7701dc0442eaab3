#include "core/search/search.hpp"

#include <algorithm>
#include <array>
#include <utility>

#include "core/search/pool.hpp"

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
// scan allocates nothing per cell once the buffer has grown. Looked up once
// per piece of a scan, not per cell.
std::string& value_scratch() {
  thread_local std::string scratch;
  return scratch;
}

// Which kinds of value a scan needs the text of: a kind whose texts are
// written out is left out when none of its texts could pass, so its cells
// cost a lock and a look at the kind, never the writing.
using KindFilter = std::array<bool, 6>;

template <class Could>
KindFilter kinds_that_could(Could&& could) {
  KindFilter kinds;
  for (size_t k = 0; k < kinds.size(); ++k) {
    std::string_view bytes = written_text_bytes(static_cast<ValueKind>(k));
    kinds[k] = bytes.empty() || could(bytes);
  }
  return kinds;
}

// Whether `text` consists only of `bytes`.
bool only_of(std::string_view text, std::string_view bytes) {
  return text.find_first_not_of(bytes) == std::string_view::npos;
}

// The value text of the cell, if its kind is one the filter keeps, passed to
// test(text) under the cell's read lock; false for a kind left out.
template <class Test>
bool test_value_text(const SharedCell& cell, const KindFilter& kinds, std::string& scratch, Test&& test) {
  auto r = cell.read();
  const CellValue& v = r->value;
  return kinds[static_cast<size_t>(v.kind())] && test(cell_value_text_view(v, scratch));
}

template <class Test>
SharedCell first_cell(CellSpan cells, Test&& test) {
  size_t i = find_first_index(cells.size(), [&](size_t k) {
    detail::prefetch_ahead(cells, k);
    return test(cells[k], value_scratch());
  });
  return i < cells.size() ? cells[i] : SharedCell();
}

// The passing cells in list order, tested on the pool by a test(cell) that
// make_test() makes once per piece of the list: it may hold what the piece's
// cells share (the text buffer, the matcher's state).
template <class MakeTest>
std::vector<SharedCell> all_cells(CellSpan cells, MakeTest&& make_test) {
  return collect_ordered_pieces<SharedCell>(cells.size(), [&](size_t begin, size_t end, std::vector<SharedCell>& out) {
    auto test = make_test();
    for (size_t k = begin; k < end; ++k) {
      detail::prefetch_ahead(cells, k);
      if (test(cells[k])) out.push_back(cells[k]);
    }
  });
}

// make_test for all_cells from a test(cell, scratch).
template <class Test>
auto with_scratch(Test test) {
  return [test] { return [test, &scratch = value_scratch()](const SharedCell& cell) { return test(cell, scratch); }; };
}

// The cells that pass `test` (on the cell alone) and whose value text the
// pattern matches.
template <class Test>
Result<std::vector<SharedCell>> all_cells_matching(std::string_view regex, CellSpan cells, Test&& test) {
  Result<Pattern> pattern = compile_search_pattern(regex);
  if (!pattern) return std::move(pattern).error();
  const Pattern& p = pattern.value();
  const KindFilter kinds = kinds_that_could([&](std::string_view bytes) { return p.may_match_within(bytes); });
  return all_cells(cells, [&] {
    return [&, scan = PatternScan(p), &scratch = value_scratch()](const SharedCell& cell) {
      return test(cell) &&
             test_value_text(cell, kinds, scratch, [&](std::string_view text) { return scan.matches(text); });
    };
  });
}

// The test of the trimmed-text searches: the kinds whose texts could equal
// the trimmed needle once trimmed themselves (a written-out text has no white
// space at its ends).
auto trimmed_text_test(std::string_view trimmed_needle) {
  const KindFilter kinds = kinds_that_could([&](std::string_view bytes) { return only_of(trimmed_needle, bytes); });
  return [kinds, trimmed_needle](const SharedCell& cell, std::string& scratch) {
    return test_value_text(cell, kinds, scratch,
                           [&](std::string_view text) { return trim_white_space(text) == trimmed_needle; });
  };
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
  return PatternScan(pattern).matches(cell_value_text_view(r->value, value_scratch()));
}

SharedCell find_cell_by_str_core(std::string_view value, CellSpan cells) {
  return first_cell(cells, trimmed_text_test(trim_white_space(value)));
}

std::vector<SharedCell> find_cells_by_str_core(std::string_view value, CellSpan cells) {
  return all_cells(cells, with_scratch(trimmed_text_test(trim_white_space(value))));
}

Result<SharedCell> find_cell_by_regex_core(std::string_view regex, CellSpan cells) {
  Result<Pattern> pattern = compile_search_pattern(regex);
  if (!pattern) return std::move(pattern).error();
  const Pattern& p = pattern.value();
  const KindFilter kinds = kinds_that_could([&](std::string_view bytes) { return p.may_match_within(bytes); });
  return first_cell(cells, [&](const SharedCell& cell, std::string& scratch) {
    return test_value_text(cell, kinds, scratch, [&](std::string_view text) { return PatternScan(p).matches(text); });
  });
}

Result<std::vector<SharedCell>> find_cells_by_regex_core(std::string_view regex, CellSpan cells) {
  return all_cells_matching(regex, cells, [](const SharedCell&) { return true; });
}

SharedCell find_cell_by_coords_core(uint32_t row, uint16_t col, CellSpan cells) {
  return first_cell(cells, [&](const SharedCell& c, std::string&) {
    auto r = c.read();
    return r->row == row && r->column == col;
  });
}

std::vector<SharedCell> find_cells_range_rows_core(uint32_t start_row, uint32_t end_row, CellSpan cells) {
  return all_cells(cells, [&] {
    return [&](const SharedCell& c) {
      auto r = c.read();
      return start_row <= r->row && r->row <= end_row;
    };
  });
}

std::vector<SharedCell> find_cells_range_cols_core(uint16_t start_col, uint16_t end_col, CellSpan cells) {
  return all_cells(cells, [&] {
    return [&](const SharedCell& c) {
      auto r = c.read();
      return start_col <= r->column && r->column <= end_col;
    };
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

namespace {

// The value texts of the cells that `at` picks by position, in list order.
template <class At>
std::vector<std::string> values_at(CellSpan cells, At at) {
  return collect_ordered<std::string>(cells.size(), [&](size_t k, std::vector<std::string>& out) {
    detail::prefetch_ahead(cells, k);
    auto r = cells[k].read();
    if (at(r->row, r->column)) out.push_back(cell_value_text(r->value));
  });
}

}  // namespace

std::vector<std::string> find_values_by_col_rows_core(uint16_t col, std::span<const uint32_t> rows, CellSpan cells) {
  return values_at(cells, [&](uint32_t row, uint16_t column) {
    return column == col && std::find(rows.begin(), rows.end(), row) != rows.end();
  });
}

std::vector<std::string> find_values_by_row_cols_core(uint32_t row, std::span<const uint16_t> cols, CellSpan cells) {
  return values_at(cells, [&](uint32_t r, uint16_t column) {
    return r == row && std::find(cols.begin(), cols.end(), column) != cols.end();
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
