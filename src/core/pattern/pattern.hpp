// Pattern: a compiled search pattern.
//
// Patterns are written in the syntax of syntax.hpp (the Rust regex
// crate's, with look-around, back-references and the other backtracking
// additions); the front end there translates them for the PCRE2 matcher. A Pattern is JIT-compiled before
// it is returned, so once built it is safe to share between threads: every
// thread matches with match data of its own. Texts must be valid UTF-8 (the
// value texts of cells always are); they are not checked again per match.
//
// A match that the library gives up on (too much backtracking, too deep)
// counts as no match, so a pathological pattern slows one cell, never stalls.
// For matches() that holds only for patterns with a construct that needs
// backtracking (look-around, back-references, atomic groups, conditionals,
// boundaries), which alone may be written with calls of a repeated group
// when too large for the matcher otherwise (syntax.hpp): the others are
// settled by an automaton matcher instead, as the syntax's own engine runs
// them, in time polynomial in the text.
//
//   Result<Pattern> p = compile_search_pattern("total");   // ignores case
//   if (!p) return std::move(p).error();
//   bool hit = p.value().matches("Grand TOTAL");           // true
#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <span>
#include <string_view>
#include <vector>

#include "core/error.hpp"
#include "core/pattern/byte_search.hpp"

struct pcre2_real_code_8;
struct pcre2_real_match_data_8;
struct pcre2_callout_block_8;

namespace vellix::core {
namespace detail {
struct MatchScratch;  // a thread's match data and context (defined in the .cpp)
}

struct TranslatedPattern;

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

  // Whether the pattern matches anywhere in `text`; a failed match (of a
  // pattern that backtracks) is false.
  bool matches(std::string_view text) const;

  // False when no text made only of the ASCII `bytes` can match: the matcher
  // knows a code unit that every match starts with or contains, or the set
  // its matches start from, and none of them is among `bytes`; or the pattern
  // is anchored and fails at once on each of them. True when it cannot tell.
  // Lets a scan skip texts it would have to write out first.
  bool may_match_within(std::string_view bytes) const;

  // False when `text` lacks one of the ASCII code units that every match
  // holds (the first and the last literal PCRE2 records; either case of a
  // letter), so that matches(text) is false too. The matcher makes the same
  // checks itself, but behind the setup of a call: a scan of many short texts
  // asks this first. Always true for a pattern with callouts, whose checks
  // may end a match with an error of their own.
  bool may_match(std::string_view text) const noexcept {
    return required_count_ == 0 ||
           (holds_byte(text, required_[0]) && (required_count_ == 1 || holds_byte(text, required_[1])));
  }

  // Matches anywhere in `text` and fills groups[i] with capture group i (0 is
  // the whole match); a group that took no part stays nullopt, as do groups
  // beyond the pattern's own. False when there is no match, and when the
  // library gives up, whatever the pattern.
  bool match_groups(std::string_view text, std::span<std::optional<std::string_view>> groups) const;

 private:
  friend class PatternScan;
  friend Result<Pattern> compile_pattern(std::string_view, PatternOptions);
  friend Result<Pattern> compile_search_pattern(std::string_view, PatternOptions);
  // Translates `pattern` by the front end, then compiles it for the matcher.
  static Result<Pattern> compile(std::string_view pattern, bool case_insensitive, PatternOptions options);
  // Compiles a translation; nothing with the library's error code in `error`.
  static std::optional<Pattern> build(const TranslatedPattern& t, PatternOptions options, int& error);
  Pattern(pcre2_real_code_8* code, bool jit, uint32_t match_limit) noexcept
      : code_(code), jit_(jit), match_limit_(match_limit) {}
  void release() noexcept;
  // Sets required_ from what the matcher records of code_.
  void find_required_units() noexcept;
  // Runs the main code over `text` into `data`; the library's result code.
  int run(std::string_view text, pcre2_real_match_data_8* data) const;
  // The same for code that holds callouts, JIT-compiled code or not.
  int run_with_callouts(std::string_view text, pcre2_real_match_data_8* data, bool jit) const;
  // What the look-behind checks of one match share (defined in the .cpp).
  struct LookBehindRun;
  // Answers look_behinds_[n - 1] for the callout (?C<n>) of the main code, and
  // checks the length of the text ahead for the (?C"N") of a back-reference.
  static int check_look_behind(pcre2_callout_block_8* block, void* run) noexcept;

  // A look-behind of varying length, its body compiled on its own three
  // times: to match up to the end of the text; elsewhere to match up to just
  // before the next character (so that anchors in it see that character);
  // and after any text and before a callout, which the automaton matcher
  // calls at every position where the body ends.
  struct LookBehind {
    pcre2_real_code_8* at_end;
    pcre2_real_code_8* inside;
    pcre2_real_code_8* ends;
    bool jit;
    bool positive;
  };

  pcre2_real_code_8* code_ = nullptr;
  bool jit_ = false;
  uint32_t match_limit_ = kDefaultMatchLimit;
  bool callouts_ = false;  // the code holds callouts: it matches with a context that runs them
  bool calls_ = false;     // the code calls groups (TranslatedPattern::calls)
  // The bytes may_match looks for: the first required_count_ of them.
  std::array<ByteProbe, 2> required_{};
  uint8_t required_count_ = 0;
  // For a pattern that needs no backtracking: the same pattern found from the
  // text's start, for the automaton matcher to settle what the JIT gives up on.
  pcre2_real_code_8* scan_code_ = nullptr;
  std::vector<LookBehind> look_behinds_;
};

// Matches one pattern against many texts on the calling thread, answering
// as Pattern::matches does: the thread's match state is looked up once, and a
// text without a code unit that every match holds never reaches the matcher.
// Made and used on one thread, within the pattern's lifetime.
//
//   PatternScan scan(pattern);
//   for (std::string_view text : texts) hits += scan.matches(text);
class PatternScan {
 public:
  explicit PatternScan(const Pattern& pattern);
  bool matches(std::string_view text) const {
    return pattern_.may_match(text) && (scratch_ != nullptr ? matches_directly(text) : pattern_.matches(text));
  }

 private:
  // The JIT code run straight into the thread's match data.
  bool matches_directly(std::string_view text) const;

  const Pattern& pattern_;
  // The thread's, for a JIT-compiled pattern without callouts or group calls.
  detail::MatchScratch* scratch_ = nullptr;
};

// Compiles `text`, case-sensitive unless it turns on the i flag itself. On
// failure the error (ErrorKind::Runtime) says what is wrong followed by
// " at offset N", N counting bytes of `text`.
Result<Pattern> compile_pattern(std::string_view text, PatternOptions options = {});

// Compiles `pattern` with the i flag on from its start: the case-insensitive
// form every cell search uses. Errors as for compile_pattern.
Result<Pattern> compile_search_pattern(std::string_view pattern, PatternOptions options = {});

}  // namespace vellix::core
