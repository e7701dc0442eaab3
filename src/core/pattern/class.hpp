// Character classes of the search-pattern syntax, as sets of code points.
//
// The pattern front end reads every class (a bracket class with its nesting and
// set operations, a Perl class, a Unicode property, \h) into a CodePointSet,
// closes it under simple case folding when the i flag is on, and writes it out
// as one PCRE2 class. Evaluating classes here, rather than handing their text
// to PCRE2, is what gives set operations, folded properties and the syntax's
// own Unicode definitions.
//
// Sets are plain values; the Unicode tables behind them are built once per
// process on first use and are safe to read from any thread.
//
//   Result<ClassParse> c = parse_bracket_class("[a-z&&[^aeiou]]", 0, {});
//   std::string out;
//   append_class(out, c.value().set);   // "[b-df-hj-np-tv-z]"
#pragma once

#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

#include "core/error.hpp"

namespace vellix::core {

inline constexpr char32_t kMaxCodePoint = 0x10FFFF;

struct CodePointRange {
  char32_t first;
  char32_t last;  // inclusive
  friend bool operator==(const CodePointRange&, const CodePointRange&) = default;
};

// Sorted, disjoint, non-adjacent ranges. Surrogates never appear: no valid
// UTF-8 text holds one, so complements leave them out.
struct CodePointSet {
  std::vector<CodePointRange> ranges;
  friend bool operator==(const CodePointSet&, const CodePointSet&) = default;
};

CodePointSet code_point_range(char32_t first, char32_t last);
bool contains(const CodePointSet& set, char32_t c);
void add_range(CodePointSet& set, char32_t first, char32_t last);
CodePointSet set_union(const CodePointSet& a, const CodePointSet& b);
CodePointSet set_intersection(const CodePointSet& a, const CodePointSet& b);
CodePointSet set_difference(const CodePointSet& a, const CodePointSet& b);
CodePointSet set_symmetric_difference(const CodePointSet& a, const CodePointSet& b);
CodePointSet set_complement(const CodePointSet& a);

// Every code point whose simple case folding equals that of a member.
CodePointSet case_fold_closure(const CodePointSet& set);

// The class of a Perl escape letter: d D s S w W h H.
CodePointSet perl_class(char letter);

// The body of \p{...} or \pX (without braces): a name, name=value, name:value
// or name!=value, resolved by the syntax's loose-matching rules. An unknown
// name is an error whose message says what is wrong (no offset: the caller
// adds where).
Result<CodePointSet> unicode_property(std::string_view body);

// \p{body}, or \P{body} when `negated`, as the syntax evaluates it: under the
// i flag the property's set is closed under folding before any negation (by
// \P or by name!=value), so (?i)\P{Lu} matches neither "A" nor "a".
Result<CodePointSet> property_class(std::string_view body, bool negated, bool case_insensitive);

// The code point of a \x, \u or \U escape whose letter is at pattern[letter]:
// two, four or eight hex digits, or one to eight in braces; in verbose mode
// whitespace and comments may stand after the letter and inside the braces.
// Errors name the offset of the backslash.
struct EscapedCodePoint {
  char32_t c;
  size_t end;  // offset just past the escape
};
Result<EscapedCodePoint> parse_hex_escape(std::string_view pattern, size_t letter, bool verbose);

// Flags that change how a bracket class is read.
struct ClassFlags {
  bool case_insensitive = false;
  bool verbose = false;  // only hex escapes feel it: whitespace is literal in a class
};

struct ClassParse {
  CodePointSet set;  // negation and folding already applied
  // Offset just past the closing ']'. A '[' that ends a range is a literal, so
  // "[A-[x]]" closes at its first ']' and the second is the pattern's again.
  size_t end;
  // When the class closes before its brackets balance, the text up to
  // `text_end` still belongs to it: `tail` holds that text's characters and
  // classes, one set each to match in turn (folded when case_insensitive), or
  // is empty when the text holds anything else. A quantifier after "[A-[x]]"
  // repeats "[A-[x]" and "]" together under the i flag, only the "]" without.
  std::vector<CodePointSet> tail;
  size_t text_end;
};

// Reads the bracket class that opens at pattern[start] == '['. Errors carry
// the offset in `pattern` of what is wrong, in the message's " at offset N"
// form the front end uses.
Result<ClassParse> parse_bracket_class(std::string_view pattern, size_t start, ClassFlags flags);

// Appends `set` as one PCRE2 bracket class that matches exactly its members,
// takes a quantifier, and needs no option of PCRE2's (not even i): \x{..}
// ranges, or a class that matches nothing for the empty set.
void append_class(std::string& out, const CodePointSet& set);
}  // namespace vellix::core
