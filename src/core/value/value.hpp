// Cells and their values: Coordinate, CellValue, CoreCell, SharedCell, the
// value text of a value and the typing of text into a value.
//
// Pure data and pure functions: nothing here locks, fails or touches Python.
// Callers hold a cell's read lock while they read its value, its write lock
// while they replace it.
//
//   CellValue v = parse_cell_value("2024-01-31 08:05:09");   // DateTime
//   cell_value_text(v);                                     // "2024-01-31 08:05:09"
#pragma once

#include <cassert>
#include <cstdint>
#include <cstring>
#include <memory>
#include <new>
#include <optional>
#include <string>
#include <string_view>
#include <utility>

#include "core/sync/shared.hpp"
#include "core/value/text.hpp"

namespace vellix::core {

// A cell's position, counted from 1 by convention (0 is not rejected here).
struct Coordinate {
  uint32_t row = 0;
  uint16_t column = 0;

  friend bool operator==(const Coordinate&, const Coordinate&) = default;
  friend auto operator<=>(const Coordinate& a, const Coordinate& b) = default;
};

// A coordinate packed into one integer whose order is row-then-column order:
// the row above the column's kCoordinateColumnBits.
constexpr int kCoordinateColumnBits = 16;
constexpr uint64_t coordinate_key(Coordinate c) noexcept {
  return (uint64_t{c.row} << kCoordinateColumnBits) | c.column;
}

// "Coordinate { row: 7, column: 2 }"
std::string coordinate_debug_text(Coordinate c);

// A date and time of day without time zone. nanos >= 1'000'000'000 marks a
// leap second (shown as second 60).
struct DateTime {
  int32_t year = 1970;  // proleptic Gregorian
  uint8_t month = 1;    // 1..12
  uint8_t day = 1;      // 1..31, a day that exists in that month
  uint32_t secs = 0;    // seconds since midnight, < 86400
  uint32_t nanos = 0;   // < 2'000'000'000

  friend bool operator==(const DateTime&, const DateTime&) = default;
};

// The years a DateTime holds: those std::chrono::year can check.
inline constexpr int32_t kMinYear = -32767;
inline constexpr int32_t kMaxYear = 32767;

// Whether (year, month, day) is a date that exists (proleptic Gregorian)
// within kMinYear..kMaxYear.
bool valid_date(int32_t year, unsigned month, unsigned day);

enum class ValueKind : uint8_t { Empty = 0, String = 1, Number = 2, Integer = 3, Bool = 4, DateTime = 5 };

// A tagged value in 16 bytes (a cell stores millions of them). A String of up
// to kInlineStringSize bytes is held in the value itself, a longer one in a
// Text; moving a value moves an inline string's bytes, so a view of them
// lives only as long as the value stays where it is.
class CellValue {
 public:
  static constexpr size_t kInlineStringSize = 14;

  CellValue() noexcept = default;
  static CellValue empty() noexcept { return {}; }
  static CellValue string(std::string_view s);
  static CellValue number(double d) noexcept;
  static CellValue integer(int32_t i) noexcept;
  static CellValue boolean(bool b) noexcept;
  static CellValue datetime(const DateTime& dt) noexcept;

  CellValue(const CellValue& o);
  CellValue& operator=(const CellValue& o);
  // Inline: typing a text moves its value into the cell, millions of times.
  CellValue(CellValue&& o) noexcept { take(o); }
  CellValue& operator=(CellValue&& o) noexcept {
    if (this != &o) {
      destroy();
      take(o);
    }
    return *this;
  }
  ~CellValue() { destroy(); }

  ValueKind kind() const noexcept { return static_cast<ValueKind>(rep_[0]); }
  // Each accessor requires the matching kind (asserted in debug builds).
  std::string_view as_string() const noexcept;
  double as_number() const noexcept {
    assert(kind() == ValueKind::Number);
    return load<double>(kPayload);
  }
  int32_t as_integer() const noexcept {
    assert(kind() == ValueKind::Integer);
    return load<int32_t>(kPayload);
  }
  bool as_bool() const noexcept {
    assert(kind() == ValueKind::Bool);
    return rep_[kPayload] != 0;
  }
  DateTime as_datetime() const noexcept;

 private:
  // Byte 0 is the kind. A String's byte 1 is its inline size, or kLongString
  // when a Text at kPayload holds it; its inline bytes start at byte 2. A
  // DateTime keeps month and day in bytes 1 and 2 and the year at 4, so the
  // whole date-time fits beside the tag.
  static constexpr size_t kPayload = 8;
  static constexpr unsigned char kLongString = 0xff;

  bool holds_text() const noexcept { return kind() == ValueKind::String && rep_[1] == kLongString; }
  Text& text() noexcept { return *std::launder(reinterpret_cast<Text*>(rep_ + kPayload)); }
  const Text& text() const noexcept { return *std::launder(reinterpret_cast<const Text*>(rep_ + kPayload)); }
  template <class V>
  V load(size_t at) const noexcept {
    V v;
    std::memcpy(&v, rep_ + at, sizeof v);
    return v;
  }
  template <class V>
  void store(size_t at, V v) noexcept {
    std::memcpy(rep_ + at, &v, sizeof v);
  }
  void destroy() noexcept {
    if (holds_text()) text().~Text();
    rep_[0] = static_cast<unsigned char>(ValueKind::Empty);
  }
  // Takes o's payload into this (which holds none); o is left Empty.
  void take(CellValue& o) noexcept {
    std::memcpy(rep_, o.rep_, sizeof rep_);
    if (o.holds_text()) {
      ::new (rep_ + kPayload) Text(std::move(o.text()));
      o.text().~Text();
    }
    o.rep_[0] = static_cast<unsigned char>(ValueKind::Empty);
  }

  alignas(8) unsigned char rep_[16] = {};
};
static_assert(sizeof(CellValue) == 16);

// The value text of a value (what searches compare and `value` getters return).
std::string cell_value_text(const CellValue& v);
// The value text without allocating where possible: a String's own bytes, or
// the text written over the start of `scratch`, which is grown once to the
// longest such text and then only overwritten (its size is not the text's).
// The view lives as long as both the value and scratch stay unchanged.
std::string_view cell_value_text_view(const CellValue& v, std::string& scratch);
// The bytes that every value text of a written-out kind (Integer, Number,
// DateTime) is made of, so that a search can tell a text that no such value
// can have without writing any; empty for the kinds whose text is never
// written out (a String's own bytes, Empty's "", a Bool's word).
std::string_view written_text_bytes(ValueKind kind) noexcept;
// Number value text: shortest round-trip digits without exponent, "-0", "NaN", "inf".
void append_number_text(double d, std::string& out);
// DateTime value text with the given separator between date and time (' ' or 'T').
void append_datetime_text(const DateTime& dt, char separator, std::string& out);
// Appends the decimal digits of n, with "-" when negative.
void append_decimal(int64_t n, std::string& out);

// Types a text: boolean words (full Unicode upper-casing), empty, i32, float,
// "%Y-%m-%d %H:%M:%S" date-time, else the text itself. Never fails.
CellValue parse_cell_value(std::string_view text);
// Replaces *slot by parse_cell_value(text); the caller holds the cell's write lock.
void set_cell_value_from_text(CellValue& slot, std::string_view text);

// "s" for Empty and String, "n" for Number and Integer, "b" for Bool, "d" for DateTime.
char data_type_letter(const CellValue& v) noexcept;

// The texts few cells carry, out of line so that a cell without them pays
// one null pointer.
struct CellExtras {
  Text formula;
  Text style_id;
  Text hidden_value;
  Text data_type;  // held here only when it is not one byte (see CoreCell)
};

// A cell in 32 bytes. data_type, almost always one letter, is that byte in
// type_letter; any other text (empty, longer, or the zero byte) is kept in
// extras->data_type with type_letter 0. Read and change the texts through
// the functions below, which keep extras only while it holds a text.
struct CoreCell {
  CoreCell() noexcept = default;
  CoreCell(uint32_t row, uint16_t column, CellValue value, Text formula, Text data_type, Text style_id,
           Text hidden_value);

  uint32_t row = 0;
  uint16_t column = 0;
  char type_letter = 's';
  CellValue value;
  std::unique_ptr<CellExtras> extras;
};
static_assert(sizeof(CoreCell) == 32);

// A cell's block (lock, count and cell: 40 bytes) comes from a pool, not
// from a 48-byte malloc chunk.
template <>
struct BlockSource<CoreCell> {
  static constexpr size_t kBlockSize = 40;  // the lock and count (8), the cell (32)
  static void* allocate(size_t size);
  static void free(void* block) noexcept;
  static void free_many(void* const* blocks, size_t n) noexcept;
  // Every cell's block lies in [first, second).
  static std::pair<uintptr_t, uintptr_t> address_span();
};

using SharedCell = Shared<CoreCell>;

// The formula, style_id or hidden_value text of a cell (none when absent):
//   cell_text(cell, &CellExtras::formula)
// The data type is read and set only through cell_data_type and
// set_cell_data_type, which keep type_letter and extras->data_type agreeing.
const Text& cell_text(const CoreCell& cell, Text CellExtras::*field) noexcept;
void set_cell_text(CoreCell& cell, Text CellExtras::*field, Text text);
// A view of the cell's own bytes: it lives as long as the cell is unchanged.
std::string_view cell_data_type(const CoreCell& cell) noexcept;
void set_cell_data_type(CoreCell& cell, std::string_view data_type);

// A new cell (hidden_value none). data_type exactly "s" stores value as a
// String unparsed; any other data_type types it with parse_cell_value; no
// value gives Empty.
CoreCell build_cell(uint32_t row, uint16_t column, std::optional<std::string_view> value,
                    std::optional<std::string_view> formula, std::string_view data_type,
                    std::optional<std::string_view> style_id);

}  // namespace vellix::core
