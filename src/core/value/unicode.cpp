#include "core/value/unicode.hpp"

#include <unicode/ustring.h>

#include <algorithm>
#include <climits>
#include <string>

namespace vellix::core {
namespace {

// UTF-16 units, on the stack for the short texts that typing and references
// see, on the heap beyond that.
class Units {
 public:
  Units() = default;
  Units(const Units&) = delete;  // data_ may point into this object
  Units& operator=(const Units&) = delete;

  UChar* reserve(size_t n) {
    if (n > kInline) {
      heap_.resize(n);
      data_ = heap_.data();
    }
    capacity_ = static_cast<int32_t>(n);
    return data_;
  }
  const UChar* data() const noexcept { return data_; }
  int32_t capacity() const noexcept { return capacity_; }

 private:
  static constexpr size_t kInline = 64;
  UChar inline_[kInline];
  std::u16string heap_;
  UChar* data_ = inline_;
  int32_t capacity_ = 0;
};

// The upper-cased text in UTF-16 and its length in units; -1 when ICU
// cannot take it.
int32_t upper_units(std::string_view text, Units& upper) {
  // One UTF-8 byte gives at most one UTF-16 unit, one unit upper-cases to at
  // most three, and each unit takes at most three UTF-8 bytes back.
  if (text.size() > INT32_MAX / 9) return -1;
  UErrorCode status = U_ZERO_ERROR;
  Units wide;
  int32_t wide_len = 0;
  UChar* w = wide.reserve(text.size());
  u_strFromUTF8WithSub(w, wide.capacity(), &wide_len, text.data(), static_cast<int32_t>(text.size()), 0xFFFD, nullptr,
                       &status);
  if (U_FAILURE(status)) return -1;
  UChar* u = upper.reserve(static_cast<size_t>(wide_len) * 3);
  // The empty locale ID is the root locale, never the process default.
  const int32_t len = u_strToUpper(u, upper.capacity(), w, wide_len, "", &status);
  return U_FAILURE(status) ? -1 : len;
}

}  // namespace

bool upper_case_full(std::string_view text, std::string& out) {
  if (std::all_of(text.begin(), text.end(), [](char c) { return static_cast<unsigned char>(c) < 0x80; })) {
    out.assign(text);
    for (char& c : out) {
      if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
    }
    return true;
  }
  Units upper;
  const int32_t len = upper_units(text, upper);
  if (len < 0) return false;
  out.resize(static_cast<size_t>(len) * 3);
  int32_t out_len = 0;
  UErrorCode status = U_ZERO_ERROR;
  u_strToUTF8(out.data(), static_cast<int32_t>(out.size()), &out_len, upper.data(), len, &status);
  if (U_FAILURE(status)) return false;
  out.resize(static_cast<size_t>(out_len));
  return true;
}

namespace detail {

int upper_case_spells_unicode(std::string_view text, std::span<const std::string_view> words) {
  Units upper;
  const int32_t len = upper_units(text, upper);
  if (len < 0) return -1;
  // The words are ASCII, so unit by unit equality is text equality.
  const std::u16string_view units(reinterpret_cast<const char16_t*>(upper.data()), static_cast<size_t>(len));
  for (size_t i = 0; i < words.size(); ++i) {
    if (std::equal(units.begin(), units.end(), words[i].begin(), words[i].end(),
                   [](char16_t u, char c) { return u == static_cast<unsigned char>(c); })) {
      return static_cast<int>(i);
    }
  }
  return -1;
}

}  // namespace detail

}  // namespace vellix::core
