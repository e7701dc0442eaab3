// JSON export of a book, and the writers of JSON strings and floats.
//
// The text is fixed to the byte: compact, keys in a fixed order, cells sorted
// by position, floats in the shortest round-trip form with at least one digit
// after a plain point ("20.0", "1e16", "1e-7"), non-finite floats and Empty
// values as null.
//
// book_to_json: the caller holds the book's read lock; each sheet is
// read-locked while it is written, and each cell or comment while its object
// is written. The writers themselves are pure and safe on any thread.
//
//   Result<std::string> text = book_to_json(*book.read());
#pragma once

#include <string>
#include <string_view>

#include "core/error.hpp"
#include "core/sheet/sheet.hpp"

namespace vellix::core {

// {"sheets":[...]} for the book's sheets in list order.
Result<std::string> book_to_json(const SheetList& book);

// Appends s as a quoted JSON string: \" \\ \b \t \n \f \r, other controls as
// \u00xx (lowercase hex), every other byte unchanged.
void append_json_string(std::string_view s, std::string& out);
// Appends a float: shortest digits, plain with ".0" between 1e-5 and 1e16,
// exponent form outside ("1.5e300", "1e-7"); null when not finite.
void append_json_float(double d, std::string& out);

}  // namespace vellix::core
