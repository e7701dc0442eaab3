// Column letters ("A", "Z", "AA", ... "XFD") and letter references ("B7",
// "$B$7") to cell coordinates.
//
// Pure functions, safe from any thread. The reference pattern is compiled
// once per process, on first use.
//
// A reference is upper-cased by the full Unicode mapping first, so "b7" reads
// as B7 and "ß1" as SS1. It needs one to three letters and then a decimal row
// that fits 32 bits; anything after that is ignored. A reference without
// letters or digits, or whose row does not fit, is invalid: the error has
// kind ErrorKind::Value and the message "invalid cell reference: '<reference>'"
// with the reference as given.
//
//   column_number_to_letter(28);              // "AB"
//   parse_letter_coordinate("$b$7").value();  // Coordinate{7, 2}
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "core/error.hpp"
#include "core/search/search.hpp"
#include "core/value/value.hpp"

namespace vellix::core {

// The reference pattern: optional "$" and one to three capitals, then
// optional "$" and digits; every part optional.
inline constexpr std::string_view COORDINATE_REGEX = R"(((\$)?([A-Z]{1,3}))?((\$)?([0-9]+))?)";

// Bijective base 26; 0 gives "", 65535 gives "CRXO".
std::string column_number_to_letter(uint16_t col);

// One to three capitals "A".."Z" (what the reference pattern lets through).
uint16_t column_letters_to_number(std::string_view letters);

Result<Coordinate> parse_letter_coordinate(std::string_view reference);

// The first cell of the list standing at the referenced position (by its own
// row and column), or a null handle; the error of an invalid reference.
Result<SharedCell> find_cell_by_letter_core(std::string_view reference, CellSpan cells);

}  // namespace vellix::core
