// The search-pattern front end: reads a pattern in the syntax callers write
// (the Rust regex crate's, with look-around, back-references, atomic groups,
// conditionals and the other backtracking additions) and writes an equivalent
// pattern for the PCRE2 matcher.
//
// The output needs no PCRE2 option but UTF, UCP and DOLLAR_ENDONLY: flags,
// `.`, anchors, boundaries and classes are all resolved into explicit forms,
// and capture groups keep the numbers they have in the caller's text. A text
// the syntax rejects is an error (ErrorKind::Runtime) whose message says what
// is wrong and ends in " at offset N", N counting bytes of the caller's text.
//
// Free functions on plain values; safe to call from any thread.
//
//   Result<TranslatedPattern> p = translate_pattern("\\<ab\\u{63}", true);
#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "core/error.hpp"

namespace vellix::core {

// Deepest nesting of parentheses a pattern may have.
inline constexpr int kMaxPatternNesting = 63;

// A look-behind whose length varies has no form in the matcher: the pattern
// holds the callout (?C<n>) in its place, and look_behinds[n - 1] is the body,
// to be compiled on its own and matched ending exactly where the callout runs.
struct LookBehindCheck {
  std::string body;
  bool positive = true;
};

struct TranslatedPattern {
  std::string pattern;
  std::vector<LookBehindCheck> look_behinds;
  // The syntax's engine runs the pattern without backtracking, so a match
  // never fails for a limit there.
  bool plain = false;
  // For a plain pattern: the pattern with a positive look-ahead that ends it
  // written as a plain group. It has a match exactly where the pattern has
  // one, and the automaton matcher runs it without an assertion at each
  // position, which costs a pass of the text each.
  std::string plain_pattern;
  // The pattern holds (?C"N") before each back-reference to group N that
  // folds case: it holds where the text ahead, as long in bytes as group N's
  // capture, ends on a character boundary and has as many characters.
  bool folded_references = false;
  // The pattern calls groups it defines at its end (calls mode below). The
  // automaton matcher runs each call as a match of its own, far too slowly
  // to settle such a pattern.
  bool calls = false;
};

// `case_insensitive` starts the pattern with the i flag on, as a cell search
// does; the pattern may still turn it off with (?-i).
//
// `calls`: large counts of groups whose captures nothing reads are written as
// calls of one definition rather than as copies, so that they fit the
// matcher's compiled-size limit. Such a pattern reports no span for a group
// inside them, and the automaton matcher cannot run it, so this is for
// patterns too large without it that backtrack anyway (not `plain`).
Result<TranslatedPattern> translate_pattern(std::string_view pattern, bool case_insensitive, bool calls = false);

}  // namespace vellix::core
