// Whether a fuzz input is well-formed UTF-8: the binding hands the core only
// such texts (from Python str), so the targets feed it nothing else.
#pragma once

#include <unicode/ustring.h>

#include <cstdint>
#include <string_view>

namespace vellix::fuzz {

inline bool valid_utf8(std::string_view s) {
  if (s.size() > INT32_MAX) return false;
  UErrorCode status = U_ZERO_ERROR;
  int32_t length = 0;
  u_strFromUTF8(nullptr, 0, &length, s.data(), static_cast<int32_t>(s.size()), &status);
  return status == U_BUFFER_OVERFLOW_ERROR || status == U_STRING_NOT_TERMINATED_WARNING || U_SUCCESS(status);
}

}  // namespace vellix::fuzz
