#include "core/pattern/tree.hpp"

#include <algorithm>
#include <span>

namespace vellix::core {
namespace {

using Kind = PatternNodeKind;

// What the engine's analysis knows of a node.
struct Info {
  size_t min = 0;
  bool fixed = true;  // one length only
  bool hard = false;  // holds something only the backtracker runs
};

size_t add_sat(size_t a, size_t b) { return a > std::numeric_limits<size_t>::max() - b ? SIZE_MAX : a + b; }
size_t mul_sat(size_t a, uint64_t b) {
  if (a == 0 || b == 0) return 0;
  return b > SIZE_MAX / a ? SIZE_MAX : a * static_cast<size_t>(b);
}

class Splitter {
 public:
  Splitter(std::vector<PatternNode>& nodes, const std::vector<unsigned>& referenced, double size_limit)
      : nodes_(nodes), referenced_(referenced), size_limit_(size_limit) {}

  EngineSplit run(uint32_t root) {
    EngineSplit split;
    root = lift_trailing_look_ahead(root, split.lifted_look_ahead);
    info_.resize(nodes_.size());
    analyze(root);
    split.plain = !info_[root].hard;
    visit(root, false);
    split.rejected_repeat = rejected_;
    split.too_large_at = too_large_at_;
    return split;
  }

 private:
  std::vector<PatternNode>& nodes_;  // grows by the nodes of the rewrite below
  const std::vector<unsigned>& referenced_;
  double size_limit_;
  std::vector<Info> info_;
  std::optional<size_t> too_large_at_;
  std::optional<uint32_t> rejected_;

  uint32_t add(PatternNode node) {
    nodes_.push_back(std::move(node));
    return static_cast<uint32_t>(nodes_.size() - 1);
  }

  // The engine rewrites a pattern ending in a positive look-ahead as a
  // plain sequence: the look-ahead's body follows the rest, which becomes a
  // group (so a match reports the same span).
  uint32_t lift_trailing_look_ahead(uint32_t root, std::optional<uint32_t>& lifted) {
    auto is_look_ahead = [&](uint32_t n) { return nodes_[n].kind == Kind::LookAhead && nodes_[n].positive; };
    std::vector<uint32_t> rest;
    uint32_t body = 0;
    if (nodes_[root].kind == Kind::Concat && is_look_ahead(nodes_[root].kids.back())) {
      rest = nodes_[root].kids;
      lifted = rest.back();
      body = nodes_[rest.back()].kids[0];
      rest.pop_back();
    } else if (is_look_ahead(root)) {
      lifted = root;
      body = nodes_[root].kids[0];
    } else {
      return root;
    }
    uint32_t inner = add(rest.empty() ? PatternNode{} : PatternNode{.kind = Kind::Concat, .kids = std::move(rest)});
    uint32_t group = add(PatternNode{.kind = Kind::Group, .kids = {inner}});
    return add(PatternNode{.kind = Kind::Concat, .kids = {group, body}});
  }

  const Info& analyze(uint32_t n) {
    const PatternNode& node = nodes_[n];
    Info info;
    switch (node.kind) {
      case Kind::Leaf: info = {node.min, node.fixed, node.hard}; break;
      case Kind::Concat:
        for (uint32_t k : node.kids) {
          const Info& kid = analyze(k);
          info.min = add_sat(info.min, kid.min);
          info.fixed = info.fixed && kid.fixed;
          info.hard = info.hard || kid.hard;
        }
        break;
      case Kind::Alt:
        for (size_t i = 0; i < node.kids.size(); ++i) {
          const Info& kid = analyze(node.kids[i]);
          info.fixed = i == 0 ? kid.fixed : info.fixed && kid.fixed && kid.min == info.min;
          info.min = i == 0 ? kid.min : std::min(info.min, kid.min);
          info.hard = info.hard || kid.hard;
        }
        break;
      case Kind::Group: {
        info = analyze(node.kids[0]);
        auto read = std::find(referenced_.begin(), referenced_.end(), node.group) != referenced_.end();
        info.hard = info.hard || read;
        break;
      }
      case Kind::Repeat: {
        const Info& kid = analyze(node.kids[0]);
        // Its length counts the lower count even when it is above the upper.
        info = {mul_sat(kid.min, node.lo), kid.fixed && node.lo == node.hi, kid.hard};
        break;
      }
      case Kind::LookAhead:
      case Kind::LookBehind:
        analyze(node.kids[0]);
        info = {0, true, true};
        break;
      case Kind::Atomic:
        info = analyze(node.kids[0]);
        info.hard = true;
        break;
      case Kind::Conditional: {
        Info c = analyze(node.kids[0]);
        Info yes = analyze(node.kids[1]);
        Info no = analyze(node.kids[2]);
        info.min = add_sat(c.min, std::min(yes.min, no.min));
        info.fixed = c.fixed && yes.fixed && no.fixed && add_sat(c.min, yes.min) == no.min;
        info.hard = true;
        break;
      }
    }
    info_[n] = info;
    return info_[n];
  }

  // `kids` in a row make one pattern for the automaton.
  void delegate(std::span<const uint32_t> kids) {
    if (kids.empty()) return;
    double cost = 0;
    for (uint32_t k : kids) {
      cost += nodes_[k].cost;
      reject_reversed(k);
    }
    if (cost > size_limit_ && !too_large_at_) too_large_at_ = nodes_[kids[0]].offset;
  }
  void delegate(uint32_t n) { delegate(std::span<const uint32_t>(&n, 1)); }

  // The automaton's parser rejects a reversed count.
  void reject_reversed(uint32_t n) {
    const PatternNode& node = nodes_[n];
    bool reversed = node.kind == Kind::Repeat && node.hi != kPatternNoMax && node.lo > node.hi;
    if (reversed && (!rejected_ || node.offset < nodes_[*rejected_].offset)) rejected_ = n;
    for (uint32_t k : node.kids) reject_reversed(k);
  }

  // How the backtracker compiles `n`; `hard` says whether the part around it
  // must be backtracked.
  void visit(uint32_t n, bool hard) {
    const PatternNode& node = nodes_[n];
    const Info& info = info_[n];
    if (!hard && !info.hard) return delegate(n);
    switch (node.kind) {
      case Kind::Leaf: return;
      case Kind::Concat: return visit_concat(node, hard);
      case Kind::Alt:
      case Kind::Conditional:
        for (uint32_t k : node.kids) visit(k, hard);
        return;
      case Kind::Group: return visit(node.kids[0], hard);
      case Kind::Repeat: return visit(node.kids[0], node.lo == 0 && node.hi == 1 ? hard : hard || info.hard);
      case Kind::LookAhead:
      case Kind::Atomic: return visit(node.kids[0], false);
      case Kind::LookBehind: {
        // A look-behind of alternatives that vary in length is split into
        // one per alternative.
        uint32_t inner = node.kids[0];
        if (nodes_[inner].kind == Kind::Alt && !info_[inner].fixed) {
          for (uint32_t k : nodes_[inner].kids) look_behind_body(k);
        } else {
          look_behind_body(inner);
        }
        return;
      }
    }
  }

  void look_behind_body(uint32_t n) {
    if (info_[n].fixed) {
      visit(n, false);
    } else if (!info_[n].hard) {
      delegate(n);  // matched backwards by the automaton
    }
    // else: an error of its own, which the front end reports
  }

  // Leading pieces of fixed length and trailing ones (of fixed length too
  // when the part around must be backtracked) go to the automaton; the
  // pieces between them are backtracked.
  void visit_concat(const PatternNode& node, bool hard) {
    const std::vector<uint32_t>& kids = node.kids;
    auto easy = [&](uint32_t k) { return !info_[k].hard; };
    auto easy_fixed = [&](uint32_t k) { return easy(k) && info_[k].fixed; };
    size_t prefix = static_cast<size_t>(std::find_if_not(kids.begin(), kids.end(), easy_fixed) - kids.begin());
    size_t suffix_begin = kids.size();
    while (suffix_begin > prefix && (hard ? easy_fixed(kids[suffix_begin - 1]) : easy(kids[suffix_begin - 1]))) {
      --suffix_begin;
    }
    std::span<const uint32_t> all(kids);
    delegate(all.first(prefix));
    for (size_t i = prefix; i < suffix_begin; ++i) visit(kids[i], true);
    delegate(all.subspan(suffix_begin));
  }
};

}  // namespace

EngineSplit split_engines(std::vector<PatternNode>& nodes, uint32_t root, const std::vector<unsigned>& referenced,
                          double size_limit) {
  return Splitter(nodes, referenced, size_limit).run(root);
}

}  // namespace vellix::core
