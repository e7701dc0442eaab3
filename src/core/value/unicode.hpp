// Full Unicode upper-casing: the one place the core maps case.
//
// Boolean words and letter references are compared after the full case
// mapping of the root locale, so "falſe" reads as FALSE and "ß1" as SS1
// whatever the process's default locale is (a Turkish one would turn "i"
// into "İ"). Pure functions, safe on any thread.
//
//   std::string up;
//   if (upper_case_full("ß1", up)) use(up);      // "SS1"
//   constexpr std::string_view kWords[] = {"FALSE", "TRUE"};
//   upper_case_spells("falſe", kWords);          // 0
#pragma once

#include <span>
#include <string>
#include <string_view>

#include "core/value/utf8.hpp"

namespace vellix::core {

// Writes `text` upper-cased into `out`, replacing what it held. ASCII text is
// mapped byte by byte; short texts allocate nothing beyond `out` itself. A
// malformed UTF-8 byte becomes U+FFFD, so `out` is always valid UTF-8. False
// only for a text too long for ICU's 32-bit lengths.
[[nodiscard]] bool upper_case_full(std::string_view text, std::string& out);

// Whether `text` is `upper` (upper-case ASCII) in any ASCII case; other
// letters are never folded ("ınf" is not INF).
inline bool ascii_iequals(std::string_view text, std::string_view upper) noexcept {
  if (text.size() != upper.size()) return false;
  for (size_t i = 0; i < text.size(); ++i) {
    const char c = text[i];
    if ((c >= 'a' && c <= 'z' ? static_cast<char>(c - 'a' + 'A') : c) != upper[i]) return false;
  }
  return true;
}

namespace detail {
int upper_case_spells_unicode(std::string_view text, std::span<const std::string_view> words);
}  // namespace detail

// The index of the word in `words` that the upper-casing of `text` spells
// exactly, or -1. The words are upper-case ASCII. A text of more code points
// than the longest word is rejected unread (no code point upper-cases to
// nothing) and ASCII text is compared in place, so typing pays next to
// nothing for the texts that are not words.
inline int upper_case_spells(std::string_view text, std::span<const std::string_view> words) {
  size_t longest = 0;
  for (std::string_view w : words) longest = w.size() > longest ? w.size() : longest;
  if (text.size() > 4 * longest) return -1;  // surely more code points than that
  size_t code_points = 0;
  bool ascii = true;
  for (char c : text) {
    const auto b = static_cast<unsigned char>(c);
    code_points += !is_utf8_continuation(c);
    ascii = ascii && b < 0x80;
  }
  if (code_points > longest) return -1;
  if (!ascii) return detail::upper_case_spells_unicode(text, words);
  for (size_t i = 0; i < words.size(); ++i) {
    if (ascii_iequals(text, words[i])) return static_cast<int>(i);
  }
  return -1;
}

}  // namespace vellix::core
