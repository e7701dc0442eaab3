// Character classes of the search-pattern syntax, as sets of code points.
//
// The pattern front end reads every class (a bracket class with its nesting and
// set operations, a Perl class, a Unicode property, \h) into a CodePointSet,
// closes it under simple case folding when the i flag is on, and writes it out
// as one PCRE2 class. Evaluating classes here, rather than handing their text
// to PCRE2, is what gives set operations, folded properties and the syntax's
// own Unicode definitions.
//
// The sets come from codepoint_set.hpp and unicode_sets.hpp, below this file;
// nothing there reads pattern text.
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
#include "core/pattern/codepoint_set.hpp"

namespace vellix::core {

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
