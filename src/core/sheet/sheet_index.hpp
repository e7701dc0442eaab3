// The sheet at a position of a book's list, as get_sheet_index finds it.
//
// Caller holds the book's read lock.
#pragma once

#include <cstdint>

#include "core/sheet/sheet.hpp"

namespace vellix::core {

// The sheet at the 0-based `index`, or a null handle past the end. A negative
// index never counts from the end: it finds nothing.
SharedSheet sheet_at_index(const SheetList& sheets, int32_t index);

}  // namespace vellix::core
