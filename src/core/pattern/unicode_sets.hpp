// The Unicode sets that pattern classes are built from: simple case folding,
// the Perl classes and the \p names, as the syntax defines them, from ICU's
// data.
//
// The tables behind them are built once per process on first use and are safe
// to read from any thread.
//
//   CodePointSet upper = unicode_property("Lu").value();
//   CodePointSet both = case_fold_closure(code_point_range('k', 'k'));  // k, K, U+212A
#pragma once

#include <string_view>

#include "core/error.hpp"
#include "core/pattern/codepoint_set.hpp"

namespace vellix::core {

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

}  // namespace vellix::core
