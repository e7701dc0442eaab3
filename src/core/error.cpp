#include "core/error.hpp"

namespace vellix::core {

std::string Error::display() const {
  std::string out = message;
  if (causes.empty()) return out;
  out += "\n\nCaused by:";
  if (causes.size() == 1) {
    out += "\n    ";
    out += causes.front();
    return out;
  }
  for (size_t i = 0; i < causes.size(); ++i) {
    out += "\n    ";
    out += std::to_string(i);
    out += ": ";
    out += causes[i];
  }
  return out;
}

}  // namespace vellix::core
