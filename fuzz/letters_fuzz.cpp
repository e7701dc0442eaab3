// Letter references: any text parses or fails without fault, a failure names
// the reference as given, and the canonical "$B$7" form of what parsed reads
// back to the same cell.
#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>

#include "core/sheet/letters.hpp"
#include "core/value/utf8.hpp"

using namespace vellix::core;

namespace {

void check(bool ok) {
  if (!ok) std::abort();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string_view reference(reinterpret_cast<const char*>(data), size);
  if (!vellix::core::valid_utf8(reference)) return -1;
  Result<Coordinate> parsed = parse_letter_coordinate(reference);
  if (!parsed) {
    const std::string& message = parsed.error().message;
    check(message == "invalid cell reference: '" + std::string(reference) + "'");
    return 0;
  }
  const Coordinate at = parsed.value();
  const std::string canonical = "$" + column_number_to_letter(at.column) + "$" + std::to_string(at.row);
  Result<Coordinate> back = parse_letter_coordinate(canonical);
  check(back && back.value() == at);
  return 0;
}
