// The size limit of the syntax's engine, imitated.
//
// That engine compiles what needs no backtracking into an automaton over UTF-8
// bytes and gives up on one above 10 MiB: a large count of a wide class fails
// to compile there (\w{300} does, a{300000} does not). These estimates of its
// bytes per piece, fitted to it, let the front end refuse the same patterns.
// The front end adds these up as it reads (a sequence is the sum of its
// pieces, each branch after the first adds kBranchCost, a repeat multiplies
// its piece by its copies), and the tree (tree.hpp) compares what each
// automaton would hold with kEngineLimit.
//
//   set_cost(code_point_range('a', 'z'));   // 72: a class of one byte range
//   literal_cost('a', false);               // 32: one byte
#pragma once

#include "core/pattern/codepoint_set.hpp"

namespace vellix::core {

inline constexpr double kEngineLimit = 10 << 20;
inline constexpr double kByteCost = 32;    // one literal byte
inline constexpr double kGroupCost = 64;   // a capture group
inline constexpr double kDotCost = 1000;   // . (measured)
inline constexpr double kBranchCost = 40;  // an alternative

// A class's cost: its ranges split into sequences of byte ranges as UTF-8
// encodes them; a class of one character costs that character's bytes.
double set_cost(const CodePointSet& set);

// A literal's cost: its bytes, or under the i flag its fold class when it has
// one.
double literal_cost(char32_t c, bool folds);

}  // namespace vellix::core
