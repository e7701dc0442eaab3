#include "core/sheet/json.hpp"

#include <algorithm>
#include <array>
#include <charconv>
#include <cmath>
#include <cstring>
#include <vector>

#include "core/search/pool.hpp"
#include "core/sheet/queries.hpp"
#include "core/value/float_digits.hpp"

namespace vellix::core {

namespace {

// Largest decimal exponent still written in plain form ("1000000000000000.0").
constexpr int kMaxPlainPointPos = 16;
// Smallest one: 0.00001 is plain, 0.000001 is "1e-6".
constexpr int kMinPlainPointPos = -4;
// Longest float text: "-1.2345678901234567e-308".
constexpr size_t kMaxFloatText = 32;

// Which bytes need escaping: 0 none, 'u' the \u00xx form, else the letter
// that follows the backslash.
constexpr auto kEscape = [] {
  std::array<char, 256> table{};
  for (int c = 0; c < 0x20; ++c) table[c] = 'u';
  table['\b'] = 'b';
  table['\t'] = 't';
  table['\n'] = 'n';
  table['\f'] = 'f';
  table['\r'] = 'r';
  table['"'] = '"';
  table['\\'] = '\\';
  return table;
}();

// Writes into a std::string through a raw pointer: the string is grown
// geometrically ahead of the writes and cut to the written length when the
// writer goes, so a piece costs a bounds check and a copy instead of a
// string append (which dominated the export of large sheets).
class Writer {
 public:
  explicit Writer(std::string& out) : out_(out), len_(out.size()) {}
  ~Writer() { out_.resize(len_); }
  Writer(const Writer&) = delete;  // one owner of the written length
  Writer& operator=(const Writer&) = delete;

  // Room for n more bytes; wrote(k) then claims k <= n of them.
  char* room(size_t n) {
    if (out_.size() - len_ < n) out_.resize(std::max(out_.size() * 2, len_ + n + 256));
    return out_.data() + len_;
  }
  void wrote(size_t n) { len_ += n; }

  void put(char c) {
    *room(1) = c;
    ++len_;
  }
  template <size_t N>
  void put(const char (&literal)[N]) {
    std::memcpy(room(N - 1), literal, N - 1);
    len_ += N - 1;
  }
  void put(std::string_view s) {
    std::memcpy(room(s.size()), s.data(), s.size());
    len_ += s.size();
  }
  void decimal(int64_t n) {
    char* p = room(20);
    len_ += static_cast<size_t>(std::to_chars(p, p + 20, n).ptr - p);
  }
  void boolean(bool b) {
    if (b) {
      put("true");
    } else {
      put("false");
    }
  }
  // A reusable buffer for pieces that only the std::string writers make.
  std::string& scratch() { return scratch_; }

 private:
  std::string& out_;
  size_t len_;
  std::string scratch_;
};

void write_string(Writer& w, std::string_view s) {
  static constexpr char kHex[] = "0123456789abcdef";
  w.put('"');
  size_t run = 0;  // start of the bytes not yet copied
  for (size_t i = 0; i < s.size(); ++i) {
    const auto byte = static_cast<unsigned char>(s[i]);
    const char escape = kEscape[byte];
    if (escape == 0) continue;
    w.put(s.substr(run, i - run));
    run = i + 1;
    if (escape == 'u') {
      const char seq[] = {'\\', 'u', '0', '0', kHex[byte >> 4], kHex[byte & 0xF]};
      w.put(std::string_view(seq, sizeof seq));
    } else {
      const char seq[] = {'\\', escape};
      w.put(std::string_view(seq, sizeof seq));
    }
  }
  w.put(s.substr(run));
  w.put('"');
}

void write_float(Writer& w, double d) {
  if (!std::isfinite(d)) {
    w.put("null");
    return;
  }
  if (d == 0) {
    if (std::signbit(d)) {
      w.put("-0.0");
    } else {
      w.put("0.0");
    }
    return;
  }
  const FloatDigits f = shortest_digits(d);
  char* const start = w.room(kMaxFloatText);
  char* p = start;
  auto copy = [&p](const char* from, int n) {
    std::memcpy(p, from, static_cast<size_t>(n));
    p += n;
  };
  auto zeros = [&p](int n) {
    std::memset(p, '0', static_cast<size_t>(n));
    p += n;
  };
  if (f.negative) *p++ = '-';
  const int k = f.point_pos;
  if (k >= f.count && k <= kMaxPlainPointPos) {  // a whole number: its zeros, then ".0"
    copy(f.digits, f.count);
    zeros(k - f.count);
    copy(".0", 2);
  } else if (k > 0 && k <= kMaxPlainPointPos) {
    copy(f.digits, k);
    *p++ = '.';
    copy(f.digits + k, f.count - k);
  } else if (k >= kMinPlainPointPos && k <= 0) {
    copy("0.", 2);
    zeros(-k);
    copy(f.digits, f.count);
  } else {
    *p++ = f.digits[0];
    if (f.count > 1) {
      *p++ = '.';
      copy(f.digits + 1, f.count - 1);
    }
    *p++ = 'e';
    p = std::to_chars(p, start + kMaxFloatText, k - 1).ptr;
  }
  w.wrote(static_cast<size_t>(p - start));
}

void write_value(Writer& w, const CellValue& v) {
  switch (v.kind()) {
    case ValueKind::Empty: w.put("null"); return;
    case ValueKind::String: write_string(w, v.as_string()); return;
    case ValueKind::Number: write_float(w, v.as_number()); return;
    case ValueKind::Integer: w.decimal(v.as_integer()); return;
    case ValueKind::Bool: w.boolean(v.as_bool()); return;
    case ValueKind::DateTime: {
      // Only digits, signs and separators: nothing to escape.
      std::string& text = w.scratch();
      text.clear();
      append_datetime_text(v.as_datetime(), 'T', text);
      w.put('"');
      w.put(text);
      w.put('"');
      return;
    }
  }
}

template <size_t N>
void write_optional_text(Writer& w, const char (&key)[N], const Text& text) {
  if (!text.has_value()) return;
  w.put(key);
  write_string(w, text.view());
}

// Cells and comments both open with their position.
void open_positioned(Writer& w, uint32_t row, uint16_t column) {
  w.put("{\"row\":");
  w.decimal(row);
  w.put(",\"column\":");
  w.decimal(column);
}

void write_cell(Writer& w, const SharedCell& handle) {
  const auto cell = handle.read();
  open_positioned(w, cell->row, cell->column);
  w.put(",\"value\":");
  write_value(w, cell->value);
  write_optional_text(w, ",\"formula\":", cell_text(*cell, &CellExtras::formula));
  w.put(",\"data_type\":");
  write_string(w, cell_data_type(*cell));
  write_optional_text(w, ",\"style_id\":", cell_text(*cell, &CellExtras::style_id));
  write_optional_text(w, ",\"hidden_value\":", cell_text(*cell, &CellExtras::hidden_value));
  w.put('}');
}

// Cells [begin, end) of the list, each after a comma but the list's first.
void write_cell_run(Writer& w, CellSpan cells, size_t begin, size_t end) {
  for (size_t i = begin; i < end; ++i) {
    detail::prefetch_ahead(cells, i);
    if (i > 0) w.put(',');
    write_cell(w, cells[i]);
  }
}

void write_cells(Writer& w, const CellStore& store) {
  const CellSpan cells = sorted_cells(store);
  w.put('[');
  if (run_serially(cells.size())) {
    write_cell_run(w, cells, 0, cells.size());
  } else {
    // Pieces of the list are written side by side on the pool, each into a
    // text of its own, then copied into place, also side by side: the
    // writing and the first touch of the output's pages are shared out.
    std::vector<std::string> pieces =
        collect_ordered_pieces<std::string>(cells.size(), [&](size_t begin, size_t end, std::vector<std::string>& out) {
          Writer piece(out.emplace_back());
          write_cell_run(piece, cells, begin, end);
        });
    std::vector<size_t> at(pieces.size() + 1, 0);
    for (size_t i = 0; i < pieces.size(); ++i) at[i + 1] = at[i] + pieces[i].size();
    char* to = w.room(at.back());
    for_each_piece(pieces.size(), [&](size_t i) { std::memcpy(to + at[i], pieces[i].data(), pieces[i].size()); });
    w.wrote(at.back());
  }
  w.put(']');
}

uint32_t dimension_number(const RowDimension& d) { return d.row_num; }
uint32_t dimension_number(const ColumnDimension& d) { return d.col_num; }
double dimension_size(const RowDimension& d) { return d.height; }
double dimension_size(const ColumnDimension& d) { return d.width; }

// {"rows":{"4":{"row_num":4,"height":30.0,...}},"default_height":20.0}, or the
// same for columns with their keys.
template <class Map, size_t A, size_t B, size_t C, size_t D>
void write_dimensions(Writer& w, const char (&open)[A], const Map& entries, const char (&number_key)[B],
                      const char (&size_key)[C], const char (&default_key)[D], double default_size) {
  w.put(open);
  bool first = true;
  for (const auto& [number, d] : entries) {
    if (!first) w.put(',');
    first = false;
    w.put('"');
    w.decimal(number);
    w.put(number_key);
    w.decimal(dimension_number(d));
    w.put(size_key);
    write_float(w, dimension_size(d));
    w.put(",\"hidden\":");
    w.boolean(d.hidden);
    w.put(",\"collapsed\":");
    w.boolean(d.collapsed);
    w.put(",\"level\":");
    w.decimal(d.level);
    w.put('}');
  }
  w.put(default_key);
  write_float(w, default_size);
  w.put('}');
}

void write_comment(Writer& w, const SharedComment& handle) {
  const auto comment = handle.read();
  open_positioned(w, comment->row, comment->column);
  w.put(",\"author\":");
  write_string(w, comment->author);
  w.put(",\"text\":");
  write_string(w, comment->text);
  w.put('}');
}

void write_sheet(Writer& w, const SharedSheet& handle) {
  const auto sheet = handle.read();
  w.put("{\"name\":");
  write_string(w, sheet->name);
  w.put(",\"sheet_state\":");
  write_string(w, sheet->sheet_state);
  w.put(",\"merge_cells\":[");
  for (size_t i = 0; i < sheet->merge_cells.size(); ++i) {
    const MergedRange& m = sheet->merge_cells[i];
    const int64_t bounds[] = {m.start_row, m.end_row, m.start_col, m.end_col};
    w.put(i > 0 ? std::string_view(",[") : std::string_view("["));
    for (size_t k = 0; k < 4; ++k) {
      if (k > 0) w.put(',');
      w.decimal(bounds[k]);
    }
    w.put(']');
  }
  w.put("],\"cells\":");
  write_cells(w, sheet->cells);
  const RowDimensions& rows = sheet->row_dimensions;
  write_dimensions(w, ",\"row_dimensions\":{\"rows\":{", rows.rows,
                   "\":{\"row_num\":", ",\"height\":", "},\"default_height\":", rows.default_height);
  const ColumnDimensions& columns = sheet->column_dimensions;
  write_dimensions(w, ",\"column_dimensions\":{\"columns\":{", columns.columns,
                   "\":{\"col_num\":", ",\"width\":", "},\"default_width\":", columns.default_width);
  w.put(",\"comments\":[");
  for (size_t i = 0; i < sheet->comments.size(); ++i) {
    if (i > 0) w.put(',');
    write_comment(w, sheet->comments[i]);
  }
  w.put("]}");
}

}  // namespace

void append_json_string(std::string_view s, std::string& out) {
  Writer w(out);
  write_string(w, s);
}

void append_json_float(double d, std::string& out) {
  Writer w(out);
  write_float(w, d);
}

Result<std::string> book_to_json(const SheetList& book) {
  // Writing into memory cannot fail short of running out of it, which the
  // binding layer reports as an internal failure; so there is no error path.
  std::string out;
  out.reserve(128);
  {
    Writer w(out);
    w.put("{\"sheets\":[");
    for (size_t i = 0; i < book.size(); ++i) {
      if (i > 0) w.put(',');
      write_sheet(w, book[i]);
    }
    w.put("]}");
  }
  return out;
}

}  // namespace vellix::core
