// Reading sheet-like and cell-like Python objects into new core data.
//
// The readable layer accepts plain Python data: dicts (read by key, with
// obj[key] so a dict subclass's own lookup and __missing__ take part) and any
// other object (read by attribute, getattr). There is no fallback between the
// two. Values are read leniently into an ExtractedValue and then turned into
// the texts and numbers a core cell or sheet needs.
//
// Thread-safety: every function here runs with the interpreter lock held and
// may run the caller's Python code (properties, item lookups, str()). Errors
// travel as py::PyError; the first one wins and everything built before it is
// released. The core data made here is new: later edits of the sources are
// not seen.
//
//   std::vector<core::SharedCell> cells = cells_from_pylist(list);  // lock held
#pragma once

#include <Python.h>

#include <cstdint>
#include <optional>
#include <string>
#include <variant>
#include <vector>

#include "core/sheet/sheet.hpp"
#include "core/value/value.hpp"
#include "module/frame/errors.hpp"

namespace vellix::module {

// A Python value read leniently, for one conversion only. The alternatives
// keep the order Str, Int, Float, Bool, List, None.
struct ExtractedValue {
  struct None {};
  using List = std::vector<ExtractedValue>;
  std::variant<std::string, int64_t, double, bool, List, None> v;
};

// None; exact bool; int (signed 64-bit, else OverflowError); float; str
// (UTF-8, UnicodeEncodeError for a lone surrogate); any non-list object by
// its str() with lone surrogates replaced; a list item by item, bounded by
// both its current and its starting length. Lists nested deeper than the
// interpreter's recursion limit, or than kMaxValueDepth whatever that limit,
// raise RecursionError.
ExtractedValue value_from_pyobject(PyObject* o);
// Deep enough for any real value, shallow enough for a small thread stack.
inline constexpr int kMaxValueDepth = 1000;

// Str unchanged, Int in decimal, Float as a Number's value text, Bool
// "true"/"false", List "[a, b]" of unquoted item texts, None "".
std::string value_to_string(const ExtractedValue& v);
// As value_to_string, but None gives no text.
std::optional<std::string> value_to_optional_string(const ExtractedValue& v);
// Str: "+"? digits within range, else 0; Int: low bits; Float: truncated and
// saturated, NaN 0; Bool: 1 or 0; List and None: 0.
uint32_t value_to_u32(const ExtractedValue& v);
uint16_t value_to_u16(const ExtractedValue& v);
// The "merge_cells" rule: a List gives one range per item (a list item's
// first four numbers, any other item's own number then zeros; columns cut to
// their low 16 bits); anything else gives no ranges.
std::vector<core::MergedRange> merge_ranges_from_value(const ExtractedValue& v);

// The six keys row, column, value, formula, data_type, style_id, in order.
core::SharedCell cell_from_pyobject(PyObject* o);
// The keys name, sheet_state, merge_cells, cells ("cells" must be a list or
// list subclass, else the unprefixed cast TypeError). Of two cells at one
// coordinate the later stays. No dimensions, no comments. The sheet is new
// and seen by no one else, so callers wrap it only once they keep it.
core::CoreSheet sheet_from_pyobject(PyObject* o);

// `list` must be a list or list subclass. A ReadableCell item contributes its
// own handle (shared, not copied); any other item is converted.
std::vector<core::SharedCell> cells_from_pylist(PyObject* list);

// A walk over a list of sheet-like objects. Collect the yielded sheets in
// order, then look at `error`: when set, drop them and raise it.
struct SheetSnapshotWalk {
  explicit SheetSnapshotWalk(PyObject* sheets) noexcept;
  PyObject* list;  // borrowed; the caller keeps it alive
  Py_ssize_t next = 0;
  Py_ssize_t start_length;
  std::optional<py::PyError> error;
};
// The next converted sheet, or nothing at the end or after an error.
std::optional<core::CoreSheet> next_sheet_snapshot(SheetSnapshotWalk& walk);

}  // namespace vellix::module
