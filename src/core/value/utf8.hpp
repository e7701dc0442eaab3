// Reading and writing UTF-8, the one encoding every text in the core is in.
//
// Well-formed means what Unicode defines: no overlong form, no surrogate,
// nothing above U+10FFFF. Texts from Python are always well-formed; a pattern
// or a fuzz input is checked once with first_invalid_utf8, and later reads of
// it may trust it.
//
//   size_t n;
//   char32_t c = decode_utf8("é!", 0, &n);   // U+00E9, n == 2
//   std::string out;
//   append_utf8(out, c);                      // "é"
#pragma once

#include <cstddef>
#include <string>
#include <string_view>

namespace vellix::core {

// Whether `byte` continues a sequence rather than starting one.
constexpr bool is_utf8_continuation(char byte) noexcept { return (static_cast<unsigned char>(byte) & 0xC0) == 0x80; }

// The bytes of the sequence that the lead byte `lead` of well-formed text
// starts.
constexpr size_t utf8_sequence_length(char lead) noexcept {
  const auto b = static_cast<unsigned char>(lead);
  return b < 0x80 ? 1 : b < 0xE0 ? 2 : b < 0xF0 ? 3 : 4;
}

// The bytes that encode `c`.
constexpr size_t utf8_width(char32_t c) noexcept { return c < 0x80 ? 1 : c < 0x800 ? 2 : c < 0x10000 ? 3 : 4; }

// The length of the well-formed UTF-8 sequence at text[at], or 0.
constexpr size_t utf8_length(std::string_view text, size_t at) noexcept {
  auto byte = [&](size_t k) { return static_cast<unsigned char>(text[k]); };
  const unsigned char b = byte(at);
  const size_t n = b < 0x80 ? 1 : b >= 0xC2 && b < 0xE0 ? 2 : b >= 0xE0 && b < 0xF0 ? 3 : b >= 0xF0 && b < 0xF5 ? 4 : 0;
  if (n == 0 || at + n > text.size()) return 0;
  for (size_t k = 1; k < n; ++k) {
    if (!is_utf8_continuation(text[at + k])) return 0;
  }
  if (n == 3 && ((b == 0xE0 && byte(at + 1) < 0xA0) || (b == 0xED && byte(at + 1) >= 0xA0))) return 0;
  if (n == 4 && ((b == 0xF0 && byte(at + 1) < 0x90) || (b == 0xF4 && byte(at + 1) >= 0x90))) return 0;
  return n;
}

// Where the first byte that is not part of a well-formed sequence stands, or
// npos when `text` is well-formed.
constexpr size_t first_invalid_utf8(std::string_view text) noexcept {
  for (size_t at = 0; at < text.size();) {
    const size_t n = utf8_length(text, at);
    if (n == 0) return at;
    at += n;
  }
  return std::string_view::npos;
}

constexpr bool valid_utf8(std::string_view text) noexcept { return first_invalid_utf8(text) == std::string_view::npos; }

// The character of the sequence at text[at], with its length in `*length`;
// 0 with length 0 when the sequence is not well-formed.
constexpr char32_t decode_utf8(std::string_view text, size_t at, size_t* length) noexcept {
  const size_t n = utf8_length(text, at);
  *length = n;
  auto b = [&](size_t k) { return static_cast<char32_t>(static_cast<unsigned char>(text[at + k])); };
  switch (n) {
    case 0: return 0;
    case 1: return b(0);
    case 2: return ((b(0) & 0x1F) << 6) | (b(1) & 0x3F);
    case 3: return ((b(0) & 0x0F) << 12) | ((b(1) & 0x3F) << 6) | (b(2) & 0x3F);
    default: return ((b(0) & 0x07) << 18) | ((b(1) & 0x3F) << 12) | ((b(2) & 0x3F) << 6) | (b(3) & 0x3F);
  }
}

// Appends the encoding of `c`, a code point that is not a surrogate.
inline void append_utf8(std::string& out, char32_t c) {
  if (c < 0x80) {
    out += static_cast<char>(c);
  } else if (c < 0x800) {
    out += static_cast<char>(0xC0 | (c >> 6));
    out += static_cast<char>(0x80 | (c & 0x3F));
  } else if (c < 0x10000) {
    out += static_cast<char>(0xE0 | (c >> 12));
    out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
    out += static_cast<char>(0x80 | (c & 0x3F));
  } else {
    out += static_cast<char>(0xF0 | (c >> 18));
    out += static_cast<char>(0x80 | ((c >> 12) & 0x3F));
    out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
    out += static_cast<char>(0x80 | (c & 0x3F));
  }
}

}  // namespace vellix::core
