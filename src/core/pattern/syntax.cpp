#include "core/pattern/syntax.hpp"

#include <unicode/uchar.h>

#include <algorithm>
#include <array>
#include <cstdint>
#include <limits>
#include <optional>
#include <utility>
#include <vector>

#include "core/pattern/class.hpp"
#include "core/pattern/size_estimate.hpp"
#include "core/pattern/tree.hpp"
#include "core/pattern/unicode_sets.hpp"
#include "core/sync/never_destroyed.hpp"
#include "core/value/utf8.hpp"

namespace vellix::core {
namespace {

constexpr size_t kUnbounded = std::numeric_limits<size_t>::max();
// A bound on counts whatever the atom (the engine estimate below bounds most).
constexpr uint64_t kMaxRepeatCount = 10'000'000;
constexpr uint64_t kMatcherMaxCount = 65'535;  // the matcher's own bound on {n,m}
// Pattern conditions are written twice, so nesting them doubles the output:
// bound the output and the work so no input can run away.
constexpr size_t kMaxOutput = 1 << 20;
constexpr size_t kMaxWork = 1 << 24;

struct Flags {
  bool i = false;  // fold case
  bool m = false;  // ^ and $ at line ends
  bool s = false;  // . takes \n
  bool x = false;  // verbose
  bool U = false;  // swap greedy and lazy
};

// How many characters a sub-pattern matches, and whether it holds a construct
// that only a backtracking matcher runs (which decides what a look-behind of
// varying length may hold).
struct Shape {
  size_t min = 0;
  size_t max = 0;
  bool fancy = false;
  double cost = 0;  // estimated engine bytes, while not fancy (size_estimate.hpp)
};

size_t add_sat(size_t a, size_t b) { return a > kUnbounded - b ? kUnbounded : a + b; }
size_t mul_sat(size_t a, uint64_t b) {
  if (a == 0 || b == 0) return 0;
  return a > kUnbounded / b ? kUnbounded : a * static_cast<size_t>(b);
}
Shape then(Shape a, Shape b) {
  return {add_sat(a.min, b.min), add_sat(a.max, b.max), a.fancy || b.fancy, a.cost + b.cost};
}
Shape either(Shape a, Shape b) {
  return {std::min(a.min, b.min), std::max(a.max, b.max), a.fancy || b.fancy, a.cost + b.cost + kBranchCost};
}

// The syntax's \w: wider than the matcher's own (marks, connector punctuation,
// join controls, and no other numbers than decimal digits). Written with
// property names rather than ranges so that the many boundaries a pattern may
// hold stay within the matcher's compiled-size limit; the matcher's Unicode
// data is older than ours, so the word characters it does not know yet are
// added as ranges.
struct WordForms {
  std::string word;
  std::string not_word;
  double word_cost;
  double not_word_cost;
};

const WordForms& word_forms() {
  static const NeverDestroyed<WordForms> forms([] {
    constexpr std::string_view kProperties = "\\p{Alphabetic}\\p{M}\\p{Nd}\\p{Pc}\\p{Join_Control}]";
    constexpr std::string_view kMatcherUnicode = "age=14.0";
    CodePointSet word = perl_class('w');
    WordForms f{"[" + std::string(kProperties), "[^" + std::string(kProperties), set_cost(word),
                set_cost(set_complement(word))};
    Result<CodePointSet> known = unicode_property(kMatcherUnicode);
    CodePointSet newer = known ? set_difference(word, known.value()) : CodePointSet{};
    if (!newer.ranges.empty()) {
      std::string ranges;
      append_class(ranges, newer);
      if (ranges.size() > 2 && ranges.compare(0, 2, "[^") != 0) {
        // One class holds the property names and the ranges.
        std::string inner = ranges.substr(1, ranges.size() - 2);
        f.word.insert(f.word.size() - 1, inner);
        f.not_word.insert(f.not_word.size() - 1, inner);
      } else {
        f.word = "(?:" + f.word + "|" + ranges + ")";
        f.not_word = "(?:(?!" + ranges + ")" + f.not_word + ")";
      }
    }
    return f;
  }());
  return *forms;
}

// \d \D \s \S \h \H as written for the matcher, built once: the same
// classes recur in most patterns.
struct PerlForm {
  std::string text;
  double cost;
};

const PerlForm& perl_form(char letter) {
  static constexpr std::string_view kLetters = "dDsShH";
  static const NeverDestroyed<std::array<PerlForm, kLetters.size()>> forms([] {
    std::array<PerlForm, kLetters.size()> f;
    for (size_t k = 0; k < kLetters.size(); ++k) {
      CodePointSet set = perl_class(kLetters[k]);
      append_class(f[k].text, set);
      f[k].cost = set_cost(set);
    }
    return f;
  }());
  return (*forms)[kLetters.find(letter)];
}

// What may follow a piece: a quantifier applies to it, drops or keeps it once
// (an anchor or boundary), or is an error.
enum class Target { Repeatable, Assertion, None };

struct Quantifier {
  uint64_t min = 0;
  uint64_t max = 0;  // kNoMax: unbounded
  bool greedy = true;
  bool possessive = false;
  // {n,m} with n > m, read as {m}: where the text was, and its n.
  std::optional<size_t> reversed_at;
  uint64_t reversed_min = 0;
};
constexpr uint64_t kNoMax = std::numeric_limits<uint64_t>::max();

bool is_ascii_alnum(char32_t c) { return (c >= '0' && c <= '9') || ((c | 0x20) >= 'a' && (c | 0x20) <= 'z'); }

// A group name's characters: alphanumeric in the Unicode sense, or '_'.
bool is_name_char(char32_t c) {
  if (c == '_') return true;
  if (c < 0x80) return is_ascii_alnum(c);
  if (u_hasBinaryProperty(static_cast<UChar32>(c), UCHAR_ALPHABETIC)) return true;
  int8_t type = u_charType(static_cast<UChar32>(c));
  return type == U_DECIMAL_DIGIT_NUMBER || type == U_LETTER_NUMBER || type == U_OTHER_NUMBER;
}

void append_count(std::string& out, uint64_t min, uint64_t max) {
  if (min == 0 && max == 1) {
    out += '?';
  } else if (min == 0 && max == kNoMax) {
    out += '*';
  } else if (min == 1 && max == kNoMax) {
    out += '+';
  } else if (min == max) {
    out += '{' + std::to_string(min) + '}';
  } else if (max == kNoMax) {
    out += '{' + std::to_string(min) + ",}";
  } else {
    out += '{' + std::to_string(min) + ',' + std::to_string(max) + '}';
  }
}

class Translator {
 public:
  Translator(std::string_view pattern, bool case_insensitive) : p_(pattern) { flags_.i = case_insensitive; }

  // Turns on calls mode, knowing which groups the pattern reads.
  void call_repeated_groups(std::vector<unsigned> referenced) {
    calls_ = true;
    known_referenced_ = std::move(referenced);
  }
  const std::vector<unsigned>& referenced() const { return referenced_; }

  Result<TranslatedPattern> run() {
    if (size_t at = first_invalid_utf8(p_); at != std::string_view::npos) {
      return Error{ErrorKind::Runtime, "invalid UTF-8 at offset " + std::to_string(at)};
    }
    if (flags_.i) {
      // A cell search reads as "(?i)" + pattern, so a quantifier at the start
      // has that flag group for its target: the syntax rejects it.
      std::optional<Quantifier> q;
      skip_trivia();
      if (parse_quantifier(q) && q) fail("nothing to repeat", 0);
      pos_ = 0;
    }
    nodes_.reserve(p_.size() + 8);  // about one node a character
    Body body;
    if (parse_alternation(body) && pos_ < p_.size()) fail("unmatched ')'", pos_);
    EngineSplit split;
    if (!error_) split = split_engines(nodes_, body.node, referenced_, kEngineLimit);
    if (split.rejected_repeat) {
      const PatternNode& r = nodes_[*split.rejected_repeat];
      fail("repetition range {" + std::to_string(r.lo) + "," + std::to_string(r.hi) + "} is reversed", r.offset);
    }
    if (split.too_large_at) fail("pattern too large for the syntax's engine", *split.too_large_at);
    if (!error_ && max_ref_ > groups_) {
      fail("back-reference to group " + std::to_string(max_ref_) + ", which does not exist", max_ref_at_);
    }
    for (const GroupSpan& span : detached_groups_) {
      for (unsigned n : referenced_) {
        if (n >= span.first && n <= span.last)
          fail("look-behind of varying length holding a group that is referenced", span.at);
      }
    }
    if (error_) return std::move(*error_);
    std::string plain_pattern;
    if (split.plain) {
      plain_pattern = out_;
      for (const LookAheadAt& look : look_ahead_at_) {
        if (split.lifted_look_ahead == look.node) plain_pattern[look.out_at + 2] = ':';  // "(?=" to "(?:"
      }
    }
    if (!definitions_.empty()) {
      // After every capture group of the caller's, so that none moves.
      std::string defined = "(?(DEFINE)";
      for (size_t k = 0; k < definitions_.size(); ++k) {
        defined += "(?<" + definition_name(k) + ">" + definitions_[k] + ")";
      }
      defined += ')';
      out_ += defined;
      if (split.plain) plain_pattern += defined;
    }
    return TranslatedPattern{std::move(out_),           std::move(look_behinds_), split.plain,
                             std::move(plain_pattern), folded_references_,       !definitions_.empty()};
  }

 private:
  std::string_view p_;
  size_t pos_ = 0;
  Flags flags_;
  std::string out_;
  std::optional<Error> error_;
  int depth_ = 0;
  int atomic_depth_ = 0;       // atomic groups and pattern conditions open around the parser
  int look_behind_depth_ = 0;  // look-behinds open around the parser
  size_t work_ = 0;

  // Capture groups: the count opened so far, each one's shape once closed
  // (unknown before), and the names in the order they were defined.
  unsigned groups_ = 0;
  std::vector<std::optional<Shape>> group_shapes_;
  std::vector<std::pair<std::string, unsigned>> names_;
  bool emit_captures_ = true;  // false while writing the copy of a pattern condition
  unsigned max_ref_ = 0;
  size_t max_ref_at_ = 0;
  std::optional<size_t> first_numbered_ref_;
  std::vector<LookBehindCheck> look_behinds_;
  // Groups that back-references or conditions read, and the groups inside
  // each look-behind that runs on its own (which sets none of them).
  std::vector<unsigned> referenced_;
  struct GroupSpan {
    unsigned first, last;
    size_t at;
  };
  std::vector<GroupSpan> detached_groups_;
  std::vector<unsigned> open_groups_;  // capture groups around the parser
  bool folded_references_ = false;
  bool bare_flags_ = false;  // the atom just read was a bare flag group

  // Calls mode (see translate_pattern): the groups a first reading found
  // read, the bodies defined once at the end (each named _vK, K its index
  // plus one), and the bytes of compiled code the repeats written so far add
  // beyond the output's own length.
  bool calls_ = false;
  std::vector<unsigned> known_referenced_;
  std::vector<std::string> definitions_;
  double expanded_ = 0;

  // The pattern's tree as the syntax's engine reads it, one node per piece;
  // atom_node_ is the node of the atom or group just read.
  static constexpr uint32_t kNoNode = std::numeric_limits<uint32_t>::max();
  std::vector<PatternNode> nodes_;
  // Where each positive look-ahead's "(?=" stands in out_.
  struct LookAheadAt {
    uint32_t node;
    size_t out_at;
  };
  std::vector<LookAheadAt> look_ahead_at_;
  uint32_t atom_node_ = kNoNode;

  uint32_t add_node(PatternNode node) {
    nodes_.push_back(std::move(node));
    return static_cast<uint32_t>(nodes_.size() - 1);
  }
  uint32_t wrap_node(PatternNodeKind kind, uint32_t kid, bool positive = true) {
    return add_node({.kind = kind, .positive = positive, .kids = {kid}});
  }
  uint32_t leaf_node(const Shape& shape) {
    return add_node({.hard = shape.fancy, .min = shape.min, .fixed = shape.min == shape.max});
  }
  // One node for a list of pieces or branches: none is an empty leaf.
  uint32_t list_node(PatternNodeKind kind, std::vector<uint32_t> kids, double cost) {
    if (kids.empty()) return add_node({});
    if (kids.size() == 1) return kids[0];
    size_t offset = nodes_[kids[0]].offset;
    return add_node({.kind = kind, .offset = offset, .cost = cost, .kids = std::move(kids)});
  }

  // Consecutive literals are written as one run, inside (?i:...) when they
  // fold case, so the matcher sees a literal string it can search for fast.
  std::string run_;
  bool run_folds_ = false;
  size_t run_last_ = 0;  // where the run's last character starts
  char32_t run_last_char_ = 0;

  bool at_end() const { return pos_ >= p_.size(); }
  char peek(size_t ahead = 0) const { return pos_ + ahead < p_.size() ? p_[pos_ + ahead] : '\0'; }

  bool fail(std::string what, size_t at) {
    if (!error_) error_ = Error{ErrorKind::Runtime, std::move(what) + " at offset " + std::to_string(at)};
    return false;
  }

  char32_t decode(size_t at, size_t* length) const { return decode_utf8(p_, at, length); }

  // Verbose-mode whitespace and #-comments.
  void skip_space() {
    if (!flags_.x) return;
    while (!at_end()) {
      char c = peek();
      if (c == ' ' || c == '\t' || c == '\n' || c == '\r') {
        ++pos_;
      } else if (c == '#') {
        while (!at_end() && peek() != '\n') ++pos_;
      } else {
        break;
      }
    }
  }

  // Whitespace as above and (?#...) comments, which every mode skips.
  void skip_trivia() {
    for (;;) {
      skip_space();
      if (!(peek() == '(' && peek(1) == '?' && peek(2) == '#')) return;
      size_t at = pos_;
      pos_ += 3;
      while (!at_end() && peek() != ')') pos_ += peek() == '\\' && pos_ + 1 < p_.size() ? 2 : 1;
      if (at_end()) {
        fail("unterminated comment", at);
        return;
      }
      ++pos_;
    }
  }

  void flush_run() {
    if (run_.empty()) return;
    if (run_folds_) {
      out_ += "(?i:";
      out_ += run_;
      out_ += ')';
    } else {
      out_ += run_;
    }
    run_.clear();
  }

  static void append_escaped(std::string& out, char32_t c) {
    if (c >= 0x80) {
      append_utf8(out, c);
    } else if (is_ascii_alnum(c)) {
      out += static_cast<char>(c);
    } else if (c > 0x20 && c < 0x7F) {
      out += '\\';
      out += static_cast<char>(c);
    } else {
      static constexpr char kHex[] = "0123456789ABCDEF";
      out += "\\x{";
      out += kHex[c >> 4];
      out += kHex[c & 15];
      out += '}';
    }
  }

  void literal(char32_t c, bool folds) {
    if (!run_.empty() && run_folds_ != folds) flush_run();
    run_folds_ = folds;
    run_last_ = run_.size();
    run_last_char_ = c;
    append_escaped(run_, c);
  }

  // ---- structure ----

  // One top-level branch of an alternation: where its output starts, the
  // groups opened before it, and its shape.
  struct Branch {
    size_t out_start;
    unsigned groups_before;
    Shape shape;
  };

  // What an alternation held.
  struct Body {
    Shape shape;
    std::vector<Branch> branches;
    // The pieces of its only branch (bare flag groups are none), and what the
    // last of them would take a quantifier as: (?:X) repeats as X does.
    size_t pieces = 0;
    Target last = Target::None;
    uint32_t node = kNoNode;
  };

  // Branches up to an unconsumed ')' or the end. `check_refs`: whether this
  // is where the syntax checks for numbered references beside named groups
  // (a group's body or the pattern, not a conditional's other branch).
  bool parse_alternation(Body& body, bool check_refs = true) {
    std::vector<uint32_t> nodes;
    for (;;) {
      Branch branch{out_.size(), groups_, {}};
      body.pieces = 0;
      nodes.push_back(kNoNode);
      if (!parse_branch(branch.shape, body, nodes.back())) return false;
      body.shape = body.branches.empty() ? branch.shape : either(body.shape, branch.shape);
      body.branches.push_back(branch);
      if (peek() != '|' || at_end()) break;
      ++pos_;
      out_ += '|';
    }
    body.node = list_node(PatternNodeKind::Alt, std::move(nodes), body.shape.cost);
    // The syntax checks this where a group or the pattern ends without a
    // top-level '|', counting what was read so far.
    if (check_refs && body.branches.size() == 1 && first_numbered_ref_ && !names_.empty()) {
      return fail("numbered back-references cannot be used in a pattern with named groups", *first_numbered_ref_);
    }
    return true;
  }

  bool parse_branch(Shape& shape, Body& body, uint32_t& node) {
    std::vector<uint32_t> nodes;
    for (;;) {
      skip_trivia();
      if (error_) return false;
      if (at_end() || peek() == '|' || peek() == ')') break;
      if (++work_ > kMaxWork || out_.size() > kMaxOutput) return fail("pattern too large", pos_);
      Shape piece;
      bool counts = true;
      uint32_t piece_node = kNoNode;
      if (!parse_piece(piece, body.last, counts, piece_node)) return false;
      if (counts) {
        ++body.pieces;
        nodes.push_back(piece_node);
      }
      shape = then(shape, piece);
    }
    flush_run();
    node = list_node(PatternNodeKind::Concat, std::move(nodes), shape.cost);
    return true;
  }

  // `counts` is false for a bare flag group, which the syntax drops.
  bool parse_piece(Shape& shape, Target& last, bool& counts, uint32_t& node) {
    const size_t piece_at = pos_;
    // The node's cost and place once the piece is read.
    struct Finish {
      Translator& t;
      const Shape& shape;
      const uint32_t& node;
      size_t at;
      ~Finish() {
        if (node == kNoNode) return;
        PatternNode& n = t.nodes_[node];
        n.cost = shape.cost;
        if (n.kind == PatternNodeKind::Atomic) t.nodes_[n.kids[0]].cost = shape.cost;  // a possessive repeat
        if (n.kind != PatternNodeKind::Repeat) n.offset = at;
      }
    } finish{*this, shape, node, piece_at};
    size_t atom_start = out_.size();
    Target target = Target::Repeatable;
    bool is_literal = false;
    atom_node_ = kNoNode;
    const unsigned groups_before = groups_;
    const double expanded_before = expanded_;
    if (!parse_atom(shape, target, is_literal, atom_start)) return false;
    node = atom_node_ != kNoNode ? atom_node_ : leaf_node(shape);
    counts = !bare_flags_;
    bare_flags_ = false;
    if (counts) last = target;
    size_t after_atom = pos_;
    skip_trivia();
    size_t quantifier_at = pos_;
    std::optional<Quantifier> q;
    // An assertion's repeat holds once or not at all, so its counts need no
    // limit of the matcher's; the syntax reads an anchor's in 32 bits.
    const uint64_t limit = target != Target::Assertion ? kMaxRepeatCount
                           : shape.fancy               ? std::numeric_limits<uint64_t>::max()
                                                       : std::numeric_limits<uint32_t>::max();
    if (!parse_quantifier(q, limit)) return false;
    if (!q) {
      pos_ = after_atom;
      return true;
    }
    if (target == Target::None) return fail("nothing to repeat", quantifier_at);
    const bool fixed = shape.min == shape.max;
    node = add_node({.kind = PatternNodeKind::Repeat,
                     .lo = q->reversed_at ? q->reversed_min : q->min,
                     .hi = q->max == kNoMax ? kPatternNoMax : q->max,
                     .offset = q->reversed_at.value_or(quantifier_at),
                     .kids = {node}});
    if (q->possessive) node = wrap_node(PatternNodeKind::Atomic, node);
    last = Target::Repeatable;
    if (target == Target::Assertion) {
      // The syntax lets an anchor or boundary take a quantifier: it then
      // holds at most once, or not at all when the count may be zero.
      if (q->min == 0) out_.resize(atom_start);
      if (q->min != q->max || q->reversed_at) shape.max = kUnbounded;  // the syntax counts these as varying
      shape.fancy = shape.fancy || q->possessive;
      return true;
    }
    if (is_literal) {
      std::string last = run_.substr(run_last_);
      run_.resize(run_last_);
      bool folds = run_folds_;
      flush_run();
      atom_start = out_.size();
      if (folds) {
        // As a class the matcher repeats it in one step; a (?i:x) group it
        // would copy count times.
        append_class(out_, case_fold_closure(code_point_range(run_last_char_, run_last_char_)));
      } else {
        out_ += last;
      }
    }
    double copies = static_cast<double>(q->max == kNoMax ? q->min + 1 : q->max);
    const bool group = out_.size() > atom_start && out_[atom_start] == '(';
    const double atom_bytes = static_cast<double>(out_.size() - atom_start) + (expanded_ - expanded_before);
    if (repeat_by_calls(atom_start, atom_bytes, copies, shape, groups_before, *q)) {
      // Written in place: the calls.
    } else if (!repeat_one_character_group(atom_start, node_of_repeat(node), *q)) {
      write_repeat(atom_start, *q);
      if (group) expanded_ += atom_bytes * (std::max(copies, 1.0) - 1);
    }
    shape = {mul_sat(shape.min, q->min),
             q->max == kNoMax ? (shape.max == 0 ? 0 : kUnbounded) : mul_sat(shape.max, q->max),
             shape.fancy || q->possessive, shape.cost * std::max(copies, 1.0)};
    // The syntax counts any range of repeats as varying, even {0} of a
    // varying atom, and a reversed range too.
    if ((q->min != q->max || !fixed || q->reversed_at) && shape.max == shape.min) shape.max = kUnbounded;
    return true;
  }

  // A quantifier at pos_, if one is there; false only on an error. Counts
  // above `limit` are an error.
  bool parse_quantifier(std::optional<Quantifier>& q, uint64_t limit = kMaxRepeatCount) {
    Quantifier r;
    char c = peek();
    if (at_end()) return true;
    if (c == '?') {
      r.min = 0, r.max = 1, ++pos_;
    } else if (c == '*') {
      r.min = 0, r.max = kNoMax, ++pos_;
    } else if (c == '+') {
      r.min = 1, r.max = kNoMax, ++pos_;
    } else if (c == '{') {
      size_t start = pos_;
      if (!parse_braces(r)) {
        pos_ = start;  // not a quantifier: the '{' is a literal
        return !error_;
      }
      if (r.max != kNoMax && r.min > r.max) {
        // The syntax's backtracking engine repeats it max times; whether that
        // engine is the one to read it is known once the pattern is read.
        r.reversed_at = start;
        r.reversed_min = r.min;
        r.min = r.max;
      }
      if (r.min > limit || (r.max != kNoMax && r.max > limit)) {
        return fail("repetition count above " + std::to_string(limit), start);
      }
    } else {
      return true;
    }
    // Space may stand before the lazy or possessive mark, not between them.
    skip_space();
    if (peek() == '?' && !at_end()) {
      r.greedy = false;
      ++pos_;
    }
    if (peek() == '+' && !at_end()) {
      r.possessive = true;
      ++pos_;
    }
    if (flags_.U) r.greedy = !r.greedy;
    q = r;
    return true;
  }

  // {n}, {n,}, {n,m}, {,m} or {,}; false (no error) when the braces are not one.
  bool parse_braces(Quantifier& r) {
    ++pos_;
    auto number = [&](uint64_t& value) {
      skip_space();
      bool any = false;
      value = 0;
      while (!at_end() && peek() >= '0' && peek() <= '9') {
        uint64_t digit = static_cast<uint64_t>(peek() - '0');
        if (value > (std::numeric_limits<uint64_t>::max() - digit) / 10) return std::optional<bool>{};  // overflow
        value = value * 10 + digit;
        any = true;
        ++pos_;
      }
      skip_space();
      return std::optional<bool>{any};
    };
    uint64_t min = 0, max = 0;
    std::optional<bool> has_min = number(min);
    if (!has_min) return false;
    if (peek() == '}' && *has_min) {
      ++pos_;
      r.min = r.max = min;
      return true;
    }
    if (peek() != ',') return false;
    ++pos_;
    std::optional<bool> has_max = number(max);
    if (!has_max || peek() != '}') return false;
    ++pos_;
    r.min = *has_min ? min : 0;
    r.max = *has_max ? max : kNoMax;
    return true;
  }

  // The character `text` writes as append_escaped does, if it is one.
  static std::optional<char32_t> written_character(std::string_view text) {
    if (text.size() == 2 && text[0] == '\\') return static_cast<char32_t>(text[1]);
    if (text.starts_with("\\x{") && text.size() == 6 && text.back() == '}') {
      return static_cast<char32_t>(std::stoul(std::string(text.substr(3, 2)), nullptr, 16));
    }
    if (text.empty() || utf8_length(text, 0) != text.size()) return std::nullopt;
    size_t n = 0;
    return decode_utf8(text, 0, &n);
  }

  // The atom a Repeat node (or the Atomic node of a possessive one) repeats.
  uint32_t node_of_repeat(uint32_t node) const {
    if (nodes_[node].kind == PatternNodeKind::Atomic) node = nodes_[node].kids[0];
    return nodes_[node].kids[0];
  }

  // PCRE2 writes a repeated group out once per count, so a group around one
  // character repeated thousands of times outgrows its compiled-size limit.
  // Such a group repeats as the character does; a capture group takes the
  // last copy. False (nothing written) for any other atom.
  bool repeat_one_character_group(size_t atom_start, uint32_t atom, const Quantifier& q) {
    constexpr uint64_t kManyCopies = 1000;
    if ((q.max == kNoMax ? q.min : q.max) < kManyCopies) return false;
    const PatternNode& node = nodes_[atom];
    bool capture = node.kind == PatternNodeKind::Group;
    bool wrapped = capture || node.kind == PatternNodeKind::Atomic;
    const PatternNode& body = wrapped ? nodes_[node.kids[0]] : node;
    if (body.kind != PatternNodeKind::Leaf || body.hard || body.min != 1 || !body.fixed) return false;
    std::string group = out_.substr(atom_start);
    size_t open = group.starts_with("(?") ? 3 : 1;  // "(?:", "(?>" or "("
    if (group.size() < open + 2 || group[0] != '(' || group.back() != ')') return false;
    std::string inner = group.substr(open, group.size() - open - 1);
    if (inner.starts_with("(?i:") && inner.back() == ')') {
      // A character that folds case: as the class of its case variants.
      std::optional<char32_t> c = written_character(std::string_view(inner).substr(4, inner.size() - 5));
      if (!c) return false;
      inner.clear();
      append_class(inner, case_fold_closure(code_point_range(*c, *c)));
    }
    // One class or character only: nothing that groups or branches.
    for (size_t k = 0; k < inner.size(); ++k) {
      if (inner[k] == '\\') {
        ++k;
      } else if (inner[k] == '(' || inner[k] == '|') {
        return false;
      }
    }
    out_.resize(atom_start);
    out_ += inner;
    if (!capture) {
      write_repeat(atom_start, q);
      return true;
    }
    // X{n-1,m-1}(X), the whole optional when n is 0.
    out_.resize(atom_start);
    out_ += q.possessive ? "(?>" : "(?:";
    if (q.min == 0) out_ += "(?:";
    size_t rest_at = out_.size();
    out_ += inner;
    Quantifier rest = q;
    rest.possessive = false;
    rest.min = q.min == 0 ? 0 : q.min - 1;
    rest.max = q.max == kNoMax ? kNoMax : q.max - 1;
    write_repeat(rest_at, rest);
    out_ += group;
    if (q.min == 0) out_ += q.greedy ? ")?" : ")??";
    out_ += ')';
    return true;
  }

  static std::string definition_name(size_t index) { return "_v" + std::to_string(index + 1); }

  // The name of the definition of `body`, defined once.
  std::string define(std::string body) {
    auto it = std::find(definitions_.begin(), definitions_.end(), body);
    const auto index = static_cast<size_t>(it - definitions_.begin());
    if (it == definitions_.end()) definitions_.push_back(std::move(body));
    return definition_name(index);
  }

  // Calls mode: PCRE2 copies a repeated group's code once per count, so a
  // large count of a group outgrows its 64 KiB limit. Such a group is defined
  // once at the end and called, each call a few bytes; since PCRE2 10.30 a
  // call backtracks as the group would. A group whose captures something
  // reads is not called: they are lost after each call. A group that matches
  // only the empty string matches once as often as it does many times: it is
  // written once. False (nothing written) for an atom left as it is.
  bool repeat_by_calls(size_t atom_start, double atom_bytes, double copies, const Shape& shape, unsigned groups_before,
                       const Quantifier& q) {
    constexpr double kManyBytes = 1024;
    if (!calls_ || look_behind_depth_ > 0 || atom_bytes * copies <= kManyBytes) return false;
    if (out_.size() <= atom_start || out_[atom_start] != '(') return false;
    for (unsigned n : known_referenced_) {
      if (n > groups_before && n <= groups_) return false;
    }
    if (shape.max == 0) {
      write_repeat(atom_start, {.min = std::min<uint64_t>(q.min, 1), .max = std::min<uint64_t>(q.max, 1),
                                .greedy = q.greedy});
      return true;
    }
    std::string name = define(out_.substr(atom_start));
    out_.resize(atom_start);
    if (emit_captures_ && groups_ > groups_before) {
      // The caller's groups keep their numbers: as groups that never take part.
      out_ += "(?:";
      for (unsigned g = groups_before; g < groups_; ++g) out_ += "()";
      out_ += "){0}";
    }
    const size_t calls_at = out_.size();
    write_calls(name, q.min, q.max, q.greedy);
    if (q.possessive) {
      out_.insert(calls_at, "(?>");
      out_ += ')';
    }
    constexpr double kCallBytes = 16;
    expanded_ += kCallBytes * copies + atom_bytes - static_cast<double>(out_.size() - calls_at);
    return true;
  }

  // `name` called min to max times. A few thousand calls fit PCRE2's limit;
  // larger counts call a batch (a group of b calls), and so on: a count c is
  // c / b batches and c % b calls, and an optional part of up to q * b + r
  // calls is either q batches and up to r calls, or fewer batches and up to
  // b - 1 calls.
  void write_calls(const std::string& name, uint64_t min, uint64_t max, bool greedy) {
    constexpr uint64_t b = 1000;
    const std::string call = "(?&" + name + ")";
    const char* lazy = greedy ? "" : "?";
    if (max == kNoMax ? min <= b : max <= b) {
      out_ += call;
      append_count(out_, min, max);
      out_ += lazy;
      return;
    }
    std::string batch;
    std::swap(batch, out_);
    write_calls(name, b, b, true);
    std::swap(batch, out_);
    const std::string batch_name = define(std::move(batch));
    out_ += "(?:";
    if (min >= b) write_calls(batch_name, min / b, min / b, true);
    if (min % b > 0) write_calls(name, min % b, min % b, true);
    if (max == kNoMax) {
      out_ += call + "*" + lazy;
    } else if (uint64_t optional = max - min; optional > 0) {
      const uint64_t q = optional / b;
      const uint64_t r = optional % b;
      if (q == 0) {
        write_calls(name, 0, r, greedy);
      } else {
        // The most calls first when greedy, the fewest when lazy.
        auto all = [&] {
          write_calls(batch_name, q, q, true);
          if (r > 0) write_calls(name, 0, r, greedy);
        };
        auto fewer = [&] {
          write_calls(batch_name, 0, q - 1, greedy);
          write_calls(name, 0, b - 1, greedy);
        };
        out_ += "(?:";
        if (greedy) {
          all();
          out_ += '|';
          fewer();
        } else {
          fewer();
          out_ += '|';
          all();
        }
        out_ += ')';
      }
    }
    out_ += ')';
  }

  void write_repeat(size_t atom_start, const Quantifier& q) {
    std::string atom = out_.substr(atom_start);
    out_.resize(atom_start);
    const char* lazy = q.greedy ? "" : "?";
    bool fits = q.min <= kMatcherMaxCount && (q.max == kNoMax || q.max <= kMatcherMaxCount);
    if (fits && (q.greedy || !q.possessive)) {
      // PCRE2 10.42's JIT gives up too early on a lazy one-or-more repeat of
      // one character that ends an atomic group ("(?>a+?)b" misses "aab"); as
      // a group repeat the same pattern matches.
      // And a look-behind body of varying length may run as a DFA match,
      // where a one-or-more repeat of one item keeps a state per start
      // (quadratic in the text) and a group repeat one state in all.
      bool group = (!q.greedy && atomic_depth_ > 0) || look_behind_depth_ > 0;
      if (q.min == 1 && q.max == kNoMax && group) atom = "(?:" + atom + ")";
      out_ += atom;
      append_count(out_, q.min, q.max);
      out_ += q.possessive ? "+" : lazy;
      return;
    }
    // A lazy possessive repeat, or counts beyond the matcher's: build it from
    // pieces inside one group, atomic when possessive.
    out_ += q.possessive ? "(?>" : "(?:";
    uint64_t fixed = q.min;
    if (fixed >= kMatcherMaxCount) {
      out_ += "(?:" + atom + "{" + std::to_string(kMatcherMaxCount) + "}){" + std::to_string(fixed / kMatcherMaxCount) +
              "}";
      fixed %= kMatcherMaxCount;
    }
    if (fixed > 0) {
      out_ += atom;
      append_count(out_, fixed, fixed);
    }
    if (q.max == kNoMax) {
      out_ += atom + "*" + lazy;
    } else {
      uint64_t optional = q.max - q.min;
      if (optional >= kMatcherMaxCount) {
        out_ += "(?:" + atom + "{0," + std::to_string(kMatcherMaxCount) + "}" + lazy + "){0," +
                std::to_string(optional / kMatcherMaxCount) + "}" + lazy;
        optional %= kMatcherMaxCount;
      }
      if (optional > 0) {
        out_ += atom;
        append_count(out_, 0, optional);
        out_ += lazy;
      }
    }
    out_ += ')';
  }

  // Starts a non-literal atom: literals before it are written first.
  void begin_atom(size_t& atom_start) {
    flush_run();
    atom_start = out_.size();
  }

  bool parse_atom(Shape& shape, Target& target, bool& is_literal, size_t& atom_start) {
    char c = peek();
    switch (c) {
      case '.':
        begin_atom(atom_start);
        ++pos_;
        out_ += flags_.s ? "(?s:.)" : "[^\\n]";
        shape = {1, 1, false, kDotCost};
        return true;
      case '^':
      case '$':
        begin_atom(atom_start);
        ++pos_;
        if (c == '^') {
          out_ += flags_.m ? "(?<![^\\n])" : "\\A";
        } else {
          out_ += flags_.m ? "(?![^\\n])" : "\\z";
        }
        target = Target::Assertion;
        return true;
      case '[': {
        begin_atom(atom_start);
        Result<ClassParse> parsed = parse_bracket_class(p_, pos_, ClassFlags{flags_.i, flags_.x});
        if (!parsed) {
          if (!error_) error_ = std::move(parsed).error();
          return false;
        }
        const ClassParse& parse = parsed.value();
        if (parse.tail.empty()) {
          append_class(out_, parse.set);
          pos_ = parse.end;
          shape = {1, 1, false, set_cost(parse.set)};
          return true;
        }
        // The class closed before its brackets balanced; the rest of its text
        // matches a character per set. A quantifier repeats all of it under
        // the i flag and only the last set without, as the syntax does.
        if (flags_.i) out_ += "(?:";
        append_class(out_, parse.set);
        shape = {1, 1, false, set_cost(parse.set)};
        for (size_t k = 0; k < parse.tail.size(); ++k) {
          if (!flags_.i && k + 1 == parse.tail.size()) atom_start = out_.size();
          append_class(out_, parse.tail[k]);
          shape = then(shape, {1, 1, false, set_cost(parse.tail[k])});
        }
        if (flags_.i) out_ += ')';
        pos_ = parse.text_end;
        return true;
      }
      case '(': begin_atom(atom_start); return parse_group(shape, target);
      case '\\': return parse_escape(shape, target, is_literal, atom_start);
      case '?':
      case '*':
      case '+': return fail("nothing to repeat", pos_);
      default: {
        size_t n = 0;
        char32_t cp = decode(pos_, &n);
        pos_ += n;
        literal(cp, flags_.i);
        is_literal = true;
        shape = {1, 1, false, literal_cost(cp, flags_.i)};
        return true;
      }
    }
  }

  // ---- escapes ----

  bool parse_escape(Shape& shape, Target& target, bool& is_literal, size_t& atom_start) {
    size_t at = pos_;
    ++pos_;
    if (at_end()) return fail("backslash at the end of the pattern", at);
    size_t n = 0;
    char32_t c = decode(pos_, &n);
    pos_ += n;
    shape = {1, 1, false};
    auto lit = [&](char32_t value, bool folds) {
      literal(value, folds);
      is_literal = true;
      shape.cost = literal_cost(value, folds);
      return true;
    };
    // The syntax never folds case for an escaped non-ASCII character.
    if (c >= 0x80) return lit(c, false);
    switch (c) {
      case 'x':
      case 'u':
      case 'U': return hex_escape(at, shape, is_literal);
      case 'n': return lit('\n', flags_.i);
      case 't': return lit('\t', flags_.i);
      case 'r': return lit('\r', flags_.i);
      case 'f': return lit('\f', flags_.i);
      case 'v': return lit('\v', flags_.i);
      case 'a': return lit('\a', flags_.i);
      case 'e': return lit(0x1B, flags_.i);
      case 'w':
        begin_atom(atom_start);
        out_ += word_forms().word;
        shape.cost = word_forms().word_cost;
        return true;
      case 'W':
        begin_atom(atom_start);
        out_ += word_forms().not_word;
        shape.cost = word_forms().not_word_cost;
        return true;
      case 'd':
      case 'D':
      case 's':
      case 'S':
      case 'h':
      case 'H':
        begin_atom(atom_start);
        {
          const PerlForm& form = perl_form(static_cast<char>(c));
          out_ += form.text;
          shape.cost = form.cost;
          return true;
        }
      case 'O':
        begin_atom(atom_start);
        out_ += "(?s:.)";
        shape.cost = kDotCost;
        return true;
      case 'p':
      case 'P': begin_atom(atom_start); return property(at, c == 'P', shape);
      case 'A':
      case 'z':
        begin_atom(atom_start);
        out_ += c == 'A' ? "\\A" : "\\z";
        target = Target::Assertion;
        shape = {};
        return true;
      case 'Z':
        begin_atom(atom_start);
        atom_node_ = wrap_node(PatternNodeKind::LookAhead, add_node({}));
        look_ahead_at_.push_back({atom_node_, out_.size()});
        out_ += "(?=\\n*\\z)";
        target = Target::None;
        shape = {0, 0, true};  // a look-ahead in the syntax's own engine
        return true;
      case 'G':
        begin_atom(atom_start);
        out_ += "\\A";  // every match starts at the start of the text
        target = Target::None;
        shape = {0, 0, true};
        return true;
      case 'K':
        // Moves the reported start of a match only; a yes/no test ignores it.
        begin_atom(atom_start);
        target = Target::None;
        shape = {0, 0, true};
        return true;
      case 'b':
      case 'B':
      case '<':
      case '>':
        begin_atom(atom_start);
        shape = {0, 0, true};
        target = Target::Assertion;
        return boundary(at, static_cast<char>(c));
      case 'k': begin_atom(atom_start); return named_reference(at, shape);
      default: break;
    }
    if (c >= '0' && c <= '9') {
      begin_atom(atom_start);
      uint64_t number = c - '0';
      while (!at_end() && peek() >= '0' && peek() <= '9') {
        number = number * 10 + static_cast<uint64_t>(peek() - '0');
        if (number > 1'000'000'000) return fail("back-reference number too large", at);
        ++pos_;
      }
      if (!first_numbered_ref_) first_numbered_ref_ = at;
      return back_reference(number, at, shape);
    }
    if (is_ascii_alnum(c)) return fail("invalid escape \\" + std::string(1, static_cast<char>(c)), at);
    return lit(c, flags_.i);
  }

  bool hex_escape(size_t at, Shape& shape, bool& is_literal) {
    Result<EscapedCodePoint> escaped = parse_hex_escape(p_, at + 1, flags_.x);
    if (!escaped) {
      if (!error_) error_ = std::move(escaped).error();
      return false;
    }
    pos_ = escaped.value().end;
    literal(escaped.value().c, flags_.i);
    is_literal = true;
    shape = {1, 1, false, literal_cost(escaped.value().c, flags_.i)};
    return true;
  }

  bool property(size_t at, bool negated, Shape& shape) {
    if (at_end()) return fail("missing property name after \\p", at);
    std::string_view body;
    if (peek() == '{') {
      size_t close = p_.find('}', pos_);
      if (close == std::string_view::npos) return fail("missing '}' after property name", at);
      body = p_.substr(pos_ + 1, close - pos_ - 1);
      pos_ = close + 1;
    } else {
      size_t n = 0;
      decode(pos_, &n);
      body = p_.substr(pos_, n);
      pos_ += n;
    }
    Result<CodePointSet> set = property_class(body, negated, flags_.i);
    if (!set) return fail(set.error().message, at);
    const CodePointSet& s = set.value();
    shape.cost = set_cost(s);
    append_class(out_, s);
    return true;
  }

  // \b \B \< \> and \b{start}, \b{end}, \b{start-half}, \b{end-half}.
  bool boundary(size_t at, char kind) {
    std::string form = kind == 'b' ? "b" : kind == 'B' ? "B" : kind == '<' ? "start" : "end";
    if (kind == 'b' || kind == 'B') {
      size_t before = pos_;
      skip_space();
      if (peek() == '{' && !at_end()) {
        ++pos_;
        skip_space();
        char next = peek();
        if ((next >= '0' && next <= '9') || next == ',') {
          pos_ = before;  // \b{2}: a quantifier on \b
        } else {
          std::string name;
          while (!at_end() && peek() != '}') {
            name += peek();
            ++pos_;
            skip_space();
          }
          if (at_end()) return fail("missing '}' after \\b{", at);
          ++pos_;
          if (kind == 'B') return fail("invalid escape \\B{" + name + "}", at);
          if (name != "start" && name != "end" && name != "start-half" && name != "end-half") {
            return fail("invalid escape \\b{" + name + "}", at);
          }
          form = name;
        }
      } else {
        pos_ = before;
      }
    }
    const std::string& w = word_forms().word;
    if (form == "b") {
      out_ += "(?:(?<=" + w + ")(?!" + w + ")|(?<!" + w + ")(?=" + w + "))";
    } else if (form == "B") {
      out_ += "(?:(?<=" + w + ")(?=" + w + ")|(?<!" + w + ")(?!" + w + "))";
    } else if (form == "start") {
      out_ += "(?<!" + w + ")(?=" + w + ")";
    } else if (form == "end") {
      out_ += "(?<=" + w + ")(?!" + w + ")";
    } else if (form == "start-half") {
      out_ += "(?<!" + w + ")";
    } else {
      out_ += "(?!" + w + ")";
    }
    return true;
  }

  // ---- back-references ----

  bool back_reference(uint64_t number, size_t at, Shape& shape) {
    if (number == 0) return fail("back-reference to group 0", at);
    auto n = static_cast<unsigned>(number);
    referenced_.push_back(n);
    if (n > max_ref_) {
      max_ref_ = n;
      max_ref_at_ = at;
    }
    // Each comparison folds case or not by the flag where it stands. The
    // syntax's folded comparison also takes as many bytes as the group holds,
    // which the callout before it checks. Written as a group, so that a repeat
    // takes the callout along (and PCRE2 misses "\1?" on an unset group).
    if (flags_.i) {
      out_ += "(?:(?C\"" + std::to_string(n) + "\")(?i:\\g{" + std::to_string(n) + "}))";
      folded_references_ = true;
    } else {
      out_ += "(?:\\g{" + std::to_string(n) + "})";
    }
    shape = {0, kUnbounded, true};
    if (n <= group_shapes_.size() && group_shapes_[n - 1]) {
      shape = *group_shapes_[n - 1];
      shape.fancy = true;
    }
    return true;
  }

  // A group name up to `close`, which is consumed.
  bool group_name(char close, std::string& name, size_t at) {
    size_t start = pos_;
    while (!at_end() && peek() != close) {
      size_t n = 0;
      char32_t c = decode(pos_, &n);
      if (!is_name_char(c)) return fail("invalid group name", at);
      pos_ += n;
    }
    if (at_end() || pos_ == start) return fail("invalid group name", at);
    name = std::string(p_.substr(start, pos_ - start));
    ++pos_;
    return true;
  }

  std::optional<unsigned> lookup_name(std::string_view name) const {
    for (auto it = names_.rbegin(); it != names_.rend(); ++it) {
      if (it->first == name) return it->second;
    }
    return std::nullopt;
  }

  // The group a reference names: a number, a relative -N/+N, or a name.
  bool resolve_reference(std::string_view text, size_t at, unsigned& number) {
    bool all_digits =
        !text.empty() && std::all_of(text.begin(), text.end(), [](char c) { return c >= '0' && c <= '9'; });
    bool relative = text.size() > 1 && (text[0] == '-' || text[0] == '+') &&
                    std::all_of(text.begin() + 1, text.end(), [](char c) { return c >= '0' && c <= '9'; });
    if (all_digits || relative) {
      std::string_view digits = relative ? text.substr(1) : text;
      if (digits.size() > 9) return fail("back-reference number too large", at);
      uint64_t value = std::stoull(std::string(digits));
      if (relative) {
        if (value == 0) return fail("relative back-reference to +0 or -0", at);
        int64_t target = text[0] == '-' ? static_cast<int64_t>(groups_) - static_cast<int64_t>(value) + 1
                                        : static_cast<int64_t>(groups_) + static_cast<int64_t>(value);
        if (target < 1) return fail("relative back-reference before the first group", at);
        value = static_cast<uint64_t>(target);
      }
      if (value == 0) return fail("back-reference to group 0", at);
      number = static_cast<unsigned>(value);
      return true;
    }
    std::optional<unsigned> found = lookup_name(text);
    if (!found) {
      for (char c : text) {
        if (c == '+' || c == '-') return fail("back-references with a recursion level are not supported", at);
      }
      return fail("back-reference to undefined group name '" + std::string(text) + "'", at);
    }
    number = *found;
    return true;
  }

  // \k<...> or \k'...'.
  bool named_reference(size_t at, Shape& shape) {
    char open = peek();
    if (at_end() || (open != '<' && open != '\'')) return fail("invalid escape \\k", at);
    char close = open == '<' ? '>' : '\'';
    size_t end = p_.find(close, pos_ + 1);
    if (end == std::string_view::npos || end == pos_ + 1) return fail("invalid group name in back-reference", at);
    std::string_view text = p_.substr(pos_ + 1, end - pos_ - 1);
    pos_ = end + 1;
    unsigned number = 0;
    if (!resolve_reference(text, at, number)) return false;
    return back_reference(number, at, shape);
  }

  // ---- groups ----

  bool close_group(size_t at) {
    if (at_end() || peek() != ')') return fail("missing ')'", at);
    ++pos_;
    out_ += ')';
    --depth_;
    return true;
  }

  // A group body and its ')', after the opening text is written.
  bool group_body(size_t at, Shape& shape, Body* about = nullptr) {
    Body body;
    if (!parse_alternation(body)) return false;
    shape = body.shape;
    atom_node_ = body.node;
    if (about != nullptr) *about = std::move(body);
    return close_group(at);
  }

  bool parse_group(Shape& shape, Target& target) {
    size_t at = pos_;
    if (++depth_ > kMaxPatternNesting) return fail("pattern nested too deeply", at);
    ++pos_;
    skip_space();
    if (peek() != '?' || at_end()) return capture_group(at, shape, target, "");
    ++pos_;
    char c = peek();
    if (at_end()) return fail("unterminated group", at);
    switch (c) {
      case ':': {
        ++pos_;
        return scoped_group(at, flags_, shape, target);
      }
      case '=':
      case '!': {
        ++pos_;
        const size_t out_at = out_.size();
        out_ += c == '=' ? "(?=" : "(?!";
        target = Target::None;
        if (!group_body(at, shape)) return false;
        shape = {0, 0, true};
        atom_node_ = wrap_node(PatternNodeKind::LookAhead, atom_node_, c == '=');
        if (c == '=') look_ahead_at_.push_back({atom_node_, out_at});
        return true;
      }
      case '<':
        if (peek(1) == '=' || peek(1) == '!') {
          pos_ += 2;
          return look_behind(at, c == '<' && p_[pos_ - 1] == '=', shape, target);
        }
        ++pos_;
        return named_group(at, '>', shape, target);
      case '\'': ++pos_; return named_group(at, '\'', shape, target);
      case 'P':
        if (peek(1) == '<') {
          pos_ += 2;
          return named_group(at, '>', shape, target);
        }
        if (peek(1) == '=') {
          pos_ += 2;
          std::string name;
          if (!group_name(')', name, at)) return false;
          --depth_;
          unsigned number = 0;
          if (!resolve_reference(name, at, number)) return false;
          return back_reference(number, at, shape);
        }
        if (peek(1) == '>') return fail("subroutine calls are not supported", at);
        return fail("unknown group flag", pos_);
      case '>':
        ++pos_;
        out_ += "(?>";
        ++atomic_depth_;
        if (!group_body(at, shape)) return false;
        --atomic_depth_;
        shape.fancy = true;
        atom_node_ = wrap_node(PatternNodeKind::Atomic, atom_node_);
        return true;
      case '(': ++pos_; return conditional(at, shape, target);
      case '#': return fail("unterminated comment", at);
      default: return flag_group(at, shape, target);
    }
  }

  bool capture_group(size_t at, Shape& shape, Target& target, std::string name) {
    unsigned number = ++groups_;
    if (group_shapes_.size() < number) group_shapes_.resize(number);
    if (!name.empty()) names_.emplace_back(std::move(name), number);
    out_ += emit_captures_ ? "(" : "(?:";
    open_groups_.push_back(number);
    if (!group_body(at, shape)) return false;
    open_groups_.pop_back();
    atom_node_ = add_node({.kind = PatternNodeKind::Group, .group = number, .kids = {atom_node_}});
    shape.cost += kGroupCost;
    group_shapes_[number - 1] = shape;
    target = Target::Repeatable;
    return true;
  }

  bool named_group(size_t at, char close, Shape& shape, Target& target) {
    std::string name;
    if (!group_name(close, name, at)) return false;
    return capture_group(at, shape, target, std::move(name));
  }

  // The alternatives of the last (?:...) group of more than one, and where
  // its ')' was written: a look-behind that is only that group splits them.
  std::vector<Branch> last_alternatives_;
  size_t last_alternatives_end_ = 0;

  // (?:...) and (?flags:...): the only groups that restore the flags at ')'.
  bool scoped_group(size_t at, Flags inner, Shape& shape, Target& target) {
    Flags saved = flags_;
    flags_ = inner;
    out_ += "(?:";
    Body body;
    bool ok = group_body(at, shape, &body);
    flags_ = saved;
    if (!ok) return false;
    // (?:(?:a|b)) keeps the inner group's alternatives.
    if (body.branches.size() > 1) {
      last_alternatives_ = body.branches;
      last_alternatives_end_ = out_.size() - 1;
    }
    // The syntax keeps no node for this group: a quantifier applies to what
    // it holds, so an empty one or a lone look-around cannot take one.
    bool single = body.branches.size() == 1 && body.pieces <= 1;
    target = !single ? Target::Repeatable : body.pieces == 0 ? Target::None : body.last;
    return true;
  }

  bool flag_group(size_t at, Shape& shape, Target& target) {
    Flags f = flags_;
    bool negate = false;
    int letters = 0;
    for (;;) {
      skip_space();
      if (at_end()) return fail("unterminated group", at);
      char c = peek();
      if (c == ')' || c == ':') {
        if (letters == 0) return fail("empty flag group", at);
        ++pos_;
        if (c == ':') return scoped_group(at, f, shape, target);
        // A bare flag group changes the flags for the rest of the pattern,
        // past the ')' of any group around it but (?:...).
        flags_ = f;
        --depth_;
        target = Target::None;
        bare_flags_ = true;
        shape = {};
        return true;
      }
      if (c == '-') {
        if (negate) return fail("second '-' in flag group", pos_);
        negate = true;
        ++pos_;
        continue;
      }
      switch (c) {
        case 'i': f.i = !negate; break;
        case 'm': f.m = !negate; break;
        case 's': f.s = !negate; break;
        case 'x': f.x = !negate; break;
        case 'U': f.U = !negate; break;
        case 'u':
          if (negate) return fail("Unicode mode cannot be turned off", pos_);
          break;
        default: return fail("unknown group flag", pos_);
      }
      ++letters;
      ++pos_;
    }
  }

  bool look_behind(size_t at, bool positive, Shape& shape, Target& target) {
    size_t open_at = out_.size();
    out_ += positive ? "(?<=" : "(?<!";
    Body body;
    target = Target::None;
    ++look_behind_depth_;
    bool parsed = group_body(at, shape, &body);
    --look_behind_depth_;
    if (!parsed) return false;
    shape = {0, 0, true};
    atom_node_ = wrap_node(PatternNodeKind::LookBehind, atom_node_, positive);
    std::vector<Branch> branches = std::move(body.branches);
    size_t body_end = out_.size() - 1;  // before the ')'
    // The matcher's own look-behinds are of one length, at most 65535.
    auto varies = [](const Branch& b) { return b.shape.min != b.shape.max || b.shape.max > kMatcherMaxCount; };
    if (branches.size() == 1 && body.pieces == 1 && nodes_[body.node].kind == PatternNodeKind::Alt) {
      // One group of alternatives: they split as bare ones do (the matcher
      // takes no group of alternatives of several lengths either).
      branches = last_alternatives_;
      body_end = last_alternatives_end_;
    } else if (std::none_of(branches.begin(), branches.end(), varies)) {
      return true;
    }
    // Each top-level branch stands on its own: those of one length stay
    // look-behinds, the others run their body on its own, ending where a
    // callout stands. A group in such a body keeps its number here as a group
    // that never takes part (which no back-reference may then read).
    std::vector<std::string> parts;
    for (size_t k = 0; k < branches.size(); ++k) {
      const Branch& b = branches[k];
      size_t end = k + 1 < branches.size() ? branches[k + 1].out_start - 1 : body_end;
      std::string text = out_.substr(b.out_start, end - b.out_start);
      if (!varies(b)) {
        parts.push_back((positive ? "(?<=" : "(?<!") + text + ")");
        continue;
      }
      if (b.shape.fancy && b.shape.min != b.shape.max) {
        return fail("look-behind of varying length holding a back-reference, look-around or boundary", at);
      }
      constexpr size_t kMaxCallout = 255;
      if (look_behinds_.size() >= kMaxCallout) return fail("too many look-behinds of varying length", at);
      look_behinds_.push_back({std::move(text), positive});
      std::string part = "(?C" + std::to_string(look_behinds_.size()) + ")";
      unsigned groups_after = k + 1 < branches.size() ? branches[k + 1].groups_before : groups_;
      if (emit_captures_ && groups_after > b.groups_before) {
        detached_groups_.push_back({b.groups_before + 1, groups_after, at});
        part += "(?:";
        for (unsigned g = b.groups_before; g < groups_after; ++g) part += "()";
        part += "){0}";
      }
      parts.push_back(std::move(part));
    }
    out_.resize(open_at);
    // Some branch holds (positive) or none does (negative).
    out_ += positive ? "(?:" : "";
    for (size_t k = 0; k < parts.size(); ++k) {
      if (positive && k > 0) out_ += '|';
      out_ += parts[k];
    }
    out_ += positive ? ")" : "";
    return true;
  }

  // The yes and no branches of a conditional, as read.
  struct Branches {
    Shape yes;
    Body yes_body;
    uint32_t yes_node = kNoNode;
    bool has_no = false;
    Body no;
    bool both_empty() const { return yes_body.pieces == 0 && (!has_no || (no.branches.size() == 1 && no.pieces == 0)); }
  };

  // Reads a conditional's branches after its condition, through the closing
  // ')'. `guard`, when given, is written before the no branch (which the
  // output then opens without a '|' of its own); without one, both branches
  // may be empty.
  bool conditional_branches(size_t at, const std::string* guard, Branches& b) {
    size_t yes_at = pos_;
    if (!parse_branch(b.yes, b.yes_body, b.yes_node)) return false;
    b.has_no = peek() == '|' && !at_end();
    if (guard != nullptr) {
      if (!b.has_no && pos_ == yes_at) return fail("conditional with both branches empty", at);
      out_ += *guard;
    }
    if (b.has_no) {
      ++pos_;
      out_ += guard != nullptr ? "(?:" : "|(?:";
      if (!parse_alternation(b.no, false)) return false;
      out_ += ')';
    }
    return close_group(at);
  }

  uint32_t conditional_node(uint32_t test, const Branches& b) {
    return add_node(
        {.kind = PatternNodeKind::Conditional, .kids = {test, b.yes_node, b.has_no ? b.no.node : add_node({})}});
  }

  bool conditional(size_t at, Shape& shape, Target& target) {
    char c = peek();
    bool group_test = (c >= '0' && c <= '9') || c == '+' || c == '-' || c == '<' || c == '\'';
    if (group_test) {
      unsigned number = 0;
      if (c == '<' || c == '\'') {
        ++pos_;
        std::string name;
        if (!group_name(c == '<' ? '>' : '\'', name, at)) return false;
        std::optional<unsigned> found = lookup_name(name);
        if (!found) return fail("condition names an undefined group '" + name + "'", at);
        number = *found;
      } else {
        size_t close = p_.find(')', pos_);
        if (close == std::string_view::npos) return fail("missing ')'", at);
        if (!resolve_reference(p_.substr(pos_, close - pos_), at, number)) return false;
        pos_ = close;
        if (number > max_ref_) {
          max_ref_ = number;
          max_ref_at_ = at;
        }
      }
      referenced_.push_back(number);
      if (peek() != ')') return fail("missing ')' after condition", at);
      ++pos_;
      // The syntax counts a group as set once it has started: within the
      // group itself the condition always holds.
      bool started = std::find(open_groups_.begin(), open_groups_.end(), number) != open_groups_.end();
      std::string test = started ? "(?(?=)" : "(?(" + std::to_string(number) + ")";
      size_t open_at = out_.size();
      out_ += test;
      Branches b;
      if (!conditional_branches(at, nullptr, b)) return false;
      shape = either(b.yes, b.no.shape);
      shape.fancy = true;
      uint32_t test_node = add_node({.hard = true});
      if (b.both_empty()) {
        // Both branches empty: the test alone, which holds only when the
        // group took part.
        out_.resize(open_at);
        out_ += test + "|(?!))";
        target = Target::None;
        atom_node_ = test_node;
        return true;
      }
      atom_node_ = conditional_node(test_node, b);
      return true;
    }
    // A pattern condition: matched once, atomically, and consumed when it
    // holds; the other branch runs where it would have started. Its copy in
    // the negative look-ahead captures nothing, so group numbers stay put.
    size_t cond_at = pos_;
    Flags flags_before = flags_;
    unsigned groups_before = groups_;
    size_t names_before = names_.size();
    size_t out_start = out_.size();
    Body cond;
    ++atomic_depth_;
    if (!parse_alternation(cond)) return false;
    --atomic_depth_;
    if (peek() != ')' || at_end()) return fail("missing ')' after condition", at);
    std::string condition = out_.substr(out_start);
    out_.resize(out_start);
    size_t cond_end = pos_;
    Flags flags_after = flags_;
    unsigned groups_after = groups_;
    auto names_after = names_;

    pos_ = cond_at;
    flags_ = flags_before;
    groups_ = groups_before;
    names_.resize(names_before);
    bool saved_emit = emit_captures_;
    emit_captures_ = false;
    Body ignored;
    bool ok = parse_alternation(ignored);
    emit_captures_ = saved_emit;
    if (!ok) return false;
    std::string copy = out_.substr(out_start);
    out_.resize(out_start);
    pos_ = cond_end + 1;
    flags_ = flags_after;
    groups_ = groups_after;
    names_ = std::move(names_after);

    size_t open_at = out_.size();
    out_ += "(?:(?>" + condition + ")";
    const std::string guard = "|(?!" + copy + ")";
    Branches b;
    if (!conditional_branches(at, &guard, b)) return false;
    target = Target::Repeatable;
    if (b.both_empty()) {
      // Both branches empty once read: the syntax keeps only the condition,
      // as a plain part of the pattern.
      out_.resize(open_at);
      out_ += "(?:" + condition + ")";
      shape = cond.shape;
      atom_node_ = cond.node;
      return true;
    }
    shape = either(then(cond.shape, b.yes), b.no.shape);
    shape.fancy = true;
    atom_node_ = conditional_node(cond.node, b);
    return true;
  }
};

}  // namespace

Result<TranslatedPattern> translate_pattern(std::string_view pattern, bool case_insensitive, bool calls) {
  if (!calls) return Translator(pattern, case_insensitive).run();
  // A back-reference may read a group written after it: a first reading
  // finds every group read before the calls are chosen.
  Translator first(pattern, case_insensitive);
  Result<TranslatedPattern> read = first.run();
  if (!read) return read;
  Translator second(pattern, case_insensitive);
  second.call_repeated_groups(first.referenced());
  return second.run();
}

}  // namespace vellix::core
