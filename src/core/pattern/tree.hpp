// The shape of a search pattern as the syntax's own engine sees it, and how
// that engine splits it between its two matchers.
//
// The syntax's engine runs what needs no backtracking on a linear-time
// automaton and the rest on a backtracker, and it hands the parts of a
// backtracking pattern that need none to the automaton too. Two behaviours
// follow from that split: a pattern wholly on the automaton never gives up
// at run time, and a reversed repeat range such as {2,1} is an error only
// where the automaton's parser reads it (the backtracker repeats it as many
// times as its upper count).
//
// The front end records one node per piece while it reads a pattern; the
// split is then computed over the finished tree.
#pragma once

#include <cstddef>
#include <cstdint>
#include <limits>
#include <optional>
#include <vector>

namespace vellix::core {

enum class PatternNodeKind : uint8_t {
  Leaf,         // a character, class, anchor, boundary or back-reference
  Concat,       // its kids in order
  Alt,          // one of its kids
  Group,        // a capture group around its one kid
  Repeat,       // its one kid, lo to hi times
  LookAhead,    // a look-ahead around its one kid
  LookBehind,   // a look-behind around its one kid
  Atomic,       // an atomic group (or possessive repeat) around its one kid
  Conditional,  // condition, then branch, else branch
};

inline constexpr uint64_t kPatternNoMax = std::numeric_limits<uint64_t>::max();

struct PatternNode {
  PatternNodeKind kind = PatternNodeKind::Leaf;
  // Leaf: whether only the backtracker runs it (a boundary, a back-reference,
  // \K, \G), its length in characters and whether that length is fixed.
  bool hard = false;
  size_t min = 0;
  bool fixed = true;
  bool positive = true;  // look-arounds
  unsigned group = 0;    // Group: its number
  uint64_t lo = 0;       // Repeat: the counts as written; hi may be below lo
  uint64_t hi = 0;
  size_t offset = 0;  // where it starts in the pattern text; a Repeat: its count
  double cost = 0;    // the estimated size of its automaton, in bytes
  std::vector<uint32_t> kids;
};

// What the split decides.
struct EngineSplit {
  // The whole pattern runs on the automaton.
  bool plain = false;
  // The first reversed repeat the automaton's parser reads (and rejects).
  std::optional<uint32_t> rejected_repeat;
  // Where a part too large for the automaton starts, if one is.
  std::optional<size_t> too_large_at;
  // The positive look-ahead that ends the pattern, which the engine reads as
  // a plain part of it.
  std::optional<uint32_t> lifted_look_ahead;
};

// `referenced` lists the groups that back-references or conditions read
// (the backtracker runs those groups); `size_limit` is the largest cost of
// one part the automaton takes. The split may add nodes to `nodes`.
EngineSplit split_engines(std::vector<PatternNode>& nodes, uint32_t root, const std::vector<unsigned>& referenced,
                          double size_limit);

}  // namespace vellix::core
