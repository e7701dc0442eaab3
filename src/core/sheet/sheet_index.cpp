#include "core/sheet/sheet_index.hpp"

namespace vellix::core {

SharedSheet sheet_at_index(const SheetList& sheets, int32_t index) {
  if (index < 0 || static_cast<size_t>(index) >= sheets.size()) return {};
  return sheets[static_cast<size_t>(index)];
}

}  // namespace vellix::core
