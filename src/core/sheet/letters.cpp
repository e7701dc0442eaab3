#include "core/sheet/letters.hpp"

#include <algorithm>
#include <array>
#include <charconv>
#include <optional>
#include <string>

#include "core/sync/never_destroyed.hpp"
#include "core/value/unicode.hpp"

namespace vellix::core {
namespace {

constexpr int kLettersGroup = 3;
constexpr int kDigitsGroup = 6;
constexpr int kGroupCount = 7;

const Pattern& coordinate_pattern() {
  static const NeverDestroyed<Pattern> pattern([] {
    Result<Pattern> p = compile_pattern(COORDINATE_REGEX);
    if (!p) throw InternalFailure("the cell reference pattern does not compile: " + p.error().message);
    return std::move(p).value();
  }());
  return *pattern;
}

Error invalid_reference(std::string_view reference) {
  std::string message = "invalid cell reference: '";
  message += reference;
  message += '\'';
  return Error{ErrorKind::Value, std::move(message)};
}

}  // namespace

std::string column_number_to_letter(uint16_t col) {
  std::string out;
  for (uint32_t n = col; n > 0; n /= 26) {
    n -= 1;
    out.push_back(static_cast<char>('A' + n % 26));
  }
  std::reverse(out.begin(), out.end());
  return out;
}

uint16_t column_letters_to_number(std::string_view letters) {
  uint32_t number = 0;
  for (char c : letters) number = number * 26 + static_cast<uint32_t>(c - 'A' + 1);
  return static_cast<uint16_t>(number);
}

Result<Coordinate> parse_letter_coordinate(std::string_view reference) {
  std::string upper;
  if (!upper_case_full(reference, upper)) return invalid_reference(reference);
  std::array<std::optional<std::string_view>, kGroupCount> groups;
  if (!coordinate_pattern().match_groups(upper, groups)) return invalid_reference(reference);
  const auto& letters = groups[kLettersGroup];
  const auto& digits = groups[kDigitsGroup];
  if (!letters || !digits) return invalid_reference(reference);
  uint32_t row = 0;
  auto [end, ec] = std::from_chars(digits->data(), digits->data() + digits->size(), row);
  if (ec != std::errc() || end != digits->data() + digits->size()) return invalid_reference(reference);
  return Coordinate{row, column_letters_to_number(*letters)};
}

Result<SharedCell> find_cell_by_letter_core(std::string_view reference, CellSpan cells) {
  Result<Coordinate> at = parse_letter_coordinate(reference);
  if (!at) return std::move(at).error();
  return find_cell_by_coords_core(at.value().row, at.value().column, cells);
}

}  // namespace vellix::core
