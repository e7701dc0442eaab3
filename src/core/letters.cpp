#include "core/letters.hpp"

#include <unicode/ustring.h>

#include <algorithm>
#include <array>
#include <charconv>
#include <climits>
#include <optional>

namespace vellix::core {
namespace {

constexpr int kLettersGroup = 3;
constexpr int kDigitsGroup = 6;
constexpr int kGroupCount = 7;

const Pattern& coordinate_pattern() {
  static const Pattern pattern = [] {
    Result<Pattern> p = compile_pattern(COORDINATE_REGEX);
    if (!p) throw InternalFailure("the cell reference pattern does not compile: " + p.error().message);
    return std::move(p).value();
  }();
  return pattern;
}

bool all_ascii(std::string_view text) {
  return std::all_of(text.begin(), text.end(), [](char c) { return static_cast<unsigned char>(c) < 0x80; });
}

// Full Unicode upper-casing in the root locale ("ß" becomes "SS"); a
// malformed byte becomes U+FFFD, so the result is always valid UTF-8.
// nullopt when ICU cannot do it (a text too long for its 32-bit lengths).
std::optional<std::string> upper_case(std::string_view text) {
  if (all_ascii(text)) {
    std::string out(text);
    for (char& c : out) {
      if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
    }
    return out;
  }
  if (text.size() > INT32_MAX / 3) return std::nullopt;
  auto size = static_cast<int32_t>(text.size());
  UErrorCode status = U_ZERO_ERROR;
  std::u16string wide(text.size(), u'\0');  // UTF-16 never needs more units than UTF-8 bytes
  int32_t wide_len = 0;
  u_strFromUTF8WithSub(wide.data(), size, &wide_len, text.data(), size, 0xFFFD, nullptr, &status);
  if (U_FAILURE(status)) return std::nullopt;

  std::u16string upper(static_cast<size_t>(wide_len) * 3 + 1, u'\0');  // one unit maps to at most three
  int32_t upper_len = u_strToUpper(upper.data(), static_cast<int32_t>(upper.size()), wide.data(), wide_len, "",
                                   &status);
  if (U_FAILURE(status)) return std::nullopt;

  std::string out(static_cast<size_t>(upper_len) * 3, '\0');
  int32_t out_len = 0;
  u_strToUTF8(out.data(), static_cast<int32_t>(out.size()), &out_len, upper.data(), upper_len, &status);
  if (U_FAILURE(status)) return std::nullopt;
  out.resize(static_cast<size_t>(out_len));
  return out;
}

Error invalid_reference(std::string_view reference) {
  std::string message = "invalid cell reference: '";
  message += reference;
  message += '\'';
  return Error{ErrorKind::Value, std::move(message), {}};
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
  std::optional<std::string> upper = upper_case(reference);
  if (!upper) return invalid_reference(reference);
  std::array<std::optional<std::string_view>, kGroupCount> groups;
  if (!coordinate_pattern().match_groups(*upper, groups)) return invalid_reference(reference);
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
