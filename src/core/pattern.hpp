// Pattern: a compiled regular expression in Perl-compatible syntax.
//
// Compiled with Unicode classes and case rules; `$` without the m flag
// matches only at the very end of the text. A Pattern is JIT-compiled before
// it is returned, so once built it is safe to share between threads: every
// thread matches with match data of its own. Texts must be valid UTF-8 (the
// value texts of cells always are); they are not checked again per match.
//
// A match that the library gives up on (too much backtracking, too deep)
// counts as no match, so a pathological pattern slows one cell, never stalls.
//
//   Result<Pattern> p = compile_search_pattern("total");   // ignores case
//   if (!p) return std::move(p).error();
//   bool hit = p.value().matches("Grand TOTAL");           // true
#pragma once

#include <cstdint>
#include <optional>
#include <span>
#include <string_view>

#include "core/error.hpp"

struct pcre2_real_code_8;

namespace vellix::core {

// How many backtracking steps one match may take before it counts as no match.
inline constexpr uint32_t kDefaultMatchLimit = 1'000'000;

struct PatternOptions {
  uint32_t match_limit = kDefaultMatchLimit;
};

class Pattern {
 public:
  Pattern(Pattern&& other) noexcept;
  Pattern& operator=(Pattern&& other) noexcept;
  Pattern(const Pattern&) = delete;  // one owner frees the compiled code
  Pattern& operator=(const Pattern&) = delete;
  ~Pattern();

  // Whether the pattern matches anywhere in `text`; a failed match is false.
  bool matches(std::string_view text) const;

  // Matches anywhere in `text` and fills groups[i] with capture group i (0 is
  // the whole match); a group that took no part stays nullopt, as do groups
  // beyond the pattern's own. False when there is no match.
  bool match_groups(std::string_view text, std::span<std::optional<std::string_view>> groups) const;

 private:
  friend Result<Pattern> compile_pattern(std::string_view, PatternOptions);
  Pattern(pcre2_real_code_8* code, bool jit, uint32_t match_limit) noexcept
      : code_(code), jit_(jit), match_limit_(match_limit) {}

  pcre2_real_code_8* code_ = nullptr;
  bool jit_ = false;
  uint32_t match_limit_ = kDefaultMatchLimit;
};

// Compiles `text` as given. On failure the error (ErrorKind::Runtime) carries
// the library's message followed by " at offset N", N counting bytes of `text`.
Result<Pattern> compile_pattern(std::string_view text, PatternOptions options = {});

// Compiles "(?i)" + pattern: the case-insensitive form every cell search uses.
// Error offsets count from the start of that prefixed text.
Result<Pattern> compile_search_pattern(std::string_view pattern, PatternOptions options = {});

}  // namespace vellix::core
