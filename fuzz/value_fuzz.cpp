// Typing text into values: any text types without fault, a String keeps the
// text as given, and the value text of a typed value types back to the same
// value (what a caller gets when it reads a value and writes it back).
#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>

#include "core/value/utf8.hpp"
#include "core/value/value.hpp"

using namespace vellix::core;

namespace {

bool same_number(double a, double b) { return (std::isnan(a) && std::isnan(b)) || a == b; }

double numeric(const CellValue& v) { return v.kind() == ValueKind::Integer ? v.as_integer() : v.as_number(); }

void check(bool ok) {
  if (!ok) std::abort();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string_view text(reinterpret_cast<const char*>(data), size);
  if (!vellix::core::valid_utf8(text)) return -1;  // not a corpus input
  const CellValue value = parse_cell_value(text);
  const std::string shown = cell_value_text(value);
  const CellValue again = parse_cell_value(shown);
  switch (value.kind()) {
    case ValueKind::Empty: check(text.empty() && again.kind() == ValueKind::Empty); break;
    case ValueKind::String:
      check(value.as_string() == text && shown == text && again.kind() == ValueKind::String);
      break;
    case ValueKind::Integer:
    case ValueKind::Number:
      // "-0" types as the integer 0, so the kind may change; the number may not.
      check((again.kind() == ValueKind::Integer || again.kind() == ValueKind::Number) &&
            same_number(numeric(value), numeric(again)));
      break;
    case ValueKind::Bool: check(again.kind() == ValueKind::Bool && again.as_bool() == value.as_bool()); break;
    case ValueKind::DateTime:
      check(again.kind() == ValueKind::DateTime && again.as_datetime() == value.as_datetime());
      break;
  }
  CellValue slot = CellValue::string("previous");
  set_cell_value_from_text(slot, text);
  check(cell_value_text(slot) == shown);
  return 0;
}
