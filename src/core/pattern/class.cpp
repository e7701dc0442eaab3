#include "core/pattern/class.hpp"

#include <algorithm>
#include <optional>
#include <span>
#include <utility>

#include "core/pattern/unicode_sets.hpp"
#include "core/sync/never_destroyed.hpp"
#include "core/value/utf8.hpp"

namespace vellix::core {
namespace {

// The syntax refuses a class whose tree is deeper than this (brackets,
// unions of several items and set operations each add a level); the bound also
// keeps the recursion over nested brackets far from the end of the stack.
constexpr int kMaxClassDepth = 250;

Error class_error(std::string what, size_t offset) {
  return Error{ErrorKind::Runtime, std::move(what) + " at offset " + std::to_string(offset)};
}

}  // namespace

namespace {

void append_atom(std::string& out, char32_t c) {
  const bool alnum = (c >= '0' && c <= '9') || (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z');
  if (alnum) {
    out.push_back(static_cast<char>(c));
  } else if (c >= 0x20 && c < 0x7F) {
    out.push_back('\\');
    out.push_back(static_cast<char>(c));
  } else {
    static constexpr char kHex[] = "0123456789ABCDEF";
    out += "\\x{";
    int shift = 20;
    while (shift > 0 && (c >> shift) == 0) shift -= 4;
    for (; shift >= 0; shift -= 4) out.push_back(kHex[(c >> shift) & 0xF]);
    out.push_back('}');
  }
}

void append_ranges(std::string& out, std::span<const CodePointRange> ranges) {
  for (const CodePointRange& r : ranges) {
    append_atom(out, r.first);
    if (r.last == r.first) continue;
    if (r.last > r.first + 1) out.push_back('-');
    append_atom(out, r.last);
  }
}

}  // namespace

void append_class(std::string& out, const CodePointSet& set) {
  if (set.ranges.empty()) {
    out += "[^\\x{0}-\\x{10FFFF}]";
    return;
  }
  // Text never holds a surrogate, so "[^...]" of the complement matches
  // the same characters; take whichever lists fewer ranges.
  CodePointSet complement = set_complement(set);
  if (complement.ranges.empty()) {
    out += "[\\x{0}-\\x{10FFFF}]";
  } else if (complement.ranges.size() < set.ranges.size()) {
    out += "[^";
    append_ranges(out, complement.ranges);
    out.push_back(']');
  } else {
    out.push_back('[');
    append_ranges(out, set.ranges);
    out.push_back(']');
  }
}

// --- Escapes ----------------------------------------------------------------

namespace {

bool is_hex(char c) { return (c >= '0' && c <= '9') || (c >= 'a' && c <= 'f') || (c >= 'A' && c <= 'F'); }
uint32_t hex_value(char c) { return static_cast<uint32_t>(c <= '9' ? c - '0' : (c | 0x20) - 'a' + 10); }

// Skips what verbose mode ignores: space, tab, LF, CR, and '#' to the end of
// the line.
size_t skip_verbose(std::string_view p, size_t i) {
  while (i < p.size()) {
    const char c = p[i];
    if (c == ' ' || c == '\t' || c == '\n' || c == '\r') {
      ++i;
    } else if (c == '#') {
      while (i < p.size() && p[i] != '\n') ++i;
    } else {
      break;
    }
  }
  return i;
}

}  // namespace

Result<EscapedCodePoint> parse_hex_escape(std::string_view p, size_t letter, bool verbose) {
  const char kind = p[letter];
  size_t i = letter + 1;
  if (verbose) i = skip_verbose(p, i);
  uint32_t value = 0;
  if (i < p.size() && p[i] == '{') {
    i = verbose ? skip_verbose(p, i + 1) : i + 1;
    int digits = 0;
    while (i < p.size() && is_hex(p[i])) {
      value = value * 16 + hex_value(p[i]);
      if (++digits > 8) return class_error("too many hex digits in an escape", letter - 1);
      i = verbose ? skip_verbose(p, i + 1) : i + 1;
    }
    if (digits == 0 || i >= p.size() || p[i] != '}') return class_error("invalid hex escape", letter - 1);
    ++i;
  } else {
    const int want = kind == 'x' ? 2 : kind == 'u' ? 4 : 8;
    for (int d = 0; d < want; ++d, ++i) {
      if (i >= p.size() || !is_hex(p[i])) return class_error("invalid hex escape", letter - 1);
      value = value * 16 + hex_value(p[i]);
    }
  }
  if (value > kMaxCodePoint || (value >= kSurrogateFirst && value <= kSurrogateLast)) {
    return class_error("escape names no Unicode scalar value", letter - 1);
  }
  return EscapedCodePoint{static_cast<char32_t>(value), i};
}

// --- Bracket classes ----------------------------------------------------------
//
// A class is read in two passes. The first finds where the class ends (brackets
// must balance, and only a ']' right after the opening "[" or "[^" is a
// literal) and decodes every escape, so that an escaped character never acts as
// syntax. The second applies the grammar of nested classes, ranges and set
// operations to those tokens; it may close the class before the first pass's
// end (a '[' that ends a range is a literal), and the text between comes back
// as the class's tail.

namespace {

struct ClassToken {
  enum Kind : uint8_t { kSyntax, kLiteral, kSet } kind;
  char32_t c = 0;     // kSyntax, kLiteral
  uint32_t set = 0;   // kSet: index into ClassTokens::sets
  size_t offset = 0;  // in the pattern
};

struct ClassTokens {
  std::vector<ClassToken> tokens;
  std::vector<CodePointSet> sets;  // leaf classes, folded and negated already
  size_t end = 0;                  // just past the last ']' of the first pass
};

CodePointSet posix_set(std::string_view name, bool& known);

// The character at p[i] and the offset past it; false where no well-formed
// UTF-8 sequence starts.
bool decode_at(std::string_view p, size_t i, char32_t& c, size_t& next) {
  size_t n = 0;
  c = decode_utf8(p, i, &n);
  next = i + n;
  return n != 0;
}

// Reads the escape whose backslash is at p[at] into `out`.
Result<size_t> read_class_escape(std::string_view p, size_t at, ClassFlags flags, ClassTokens& out) {
  size_t i = at + 1;
  if (i >= p.size()) return class_error("backslash without following character", at);
  char32_t c;
  size_t next;
  if (!decode_at(p, i, c, next)) return class_error("invalid UTF-8", i);
  auto literal = [&](char32_t v, size_t end) -> Result<size_t> {
    out.tokens.push_back(ClassToken{ClassToken::kLiteral, v, 0, at});
    return end;
  };
  auto set = [&](CodePointSet s, size_t end) -> Result<size_t> {
    out.tokens.push_back(ClassToken{ClassToken::kSet, 0, static_cast<uint32_t>(out.sets.size()), at});
    out.sets.push_back(std::move(s));
    return end;
  };
  switch (c) {
    case 'b': return literal(0x08, next);
    case 'A':
    case 'z':
    case 'B':
    case 'k':
    case 'K':
    case 'G': return literal(c, next);
    case 'n': return literal('\n', next);
    case 't': return literal('\t', next);
    case 'r': return literal('\r', next);
    case 'f': return literal('\f', next);
    case 'v': return literal(0x0B, next);
    case 'a': return literal(0x07, next);
    case 'e': return literal(0x1B, next);
    case 'h':
    case 'H': {
      // \h stands for the text "[0-9A-Fa-f]" (\H for "[^0-9A-Fa-f]"), read by the
      // grammar as a nested class: "[0-\h]" is a range from '0' to '['.
      const std::string_view text = c == 'h' ? "[0-9A-Fa-f]" : "[^0-9A-Fa-f]";
      for (char ch : text) out.tokens.push_back(ClassToken{ClassToken::kSyntax, char32_t(ch), 0, at});
      return next;
    }
    case 'd':
    case 'D':
    case 's':
    case 'S':
    case 'w':
    case 'W': return set(perl_class(static_cast<char>(c)), next);
    case 'x':
    case 'u':
    case 'U': {
      Result<EscapedCodePoint> e = parse_hex_escape(p, i, flags.verbose);
      if (!e) return std::move(e).error();
      return literal(e.value().c, e.value().end);
    }
    case 'p':
    case 'P': {
      std::string_view body;
      size_t end;
      if (next >= p.size()) return class_error("\\p without a property name", at);
      if (p[next] == '{') {
        const size_t close = p.find('}', next + 1);
        if (close == std::string_view::npos) return class_error("unclosed property name", at);
        body = p.substr(next + 1, close - next - 1);
        end = close + 1;
      } else {
        char32_t one;
        if (p[next] == '\\' || !decode_at(p, next, one, end)) return class_error("invalid property name", at);
        body = p.substr(next, end - next);
      }
      Result<CodePointSet> s = property_class(body, c == 'P', flags.case_insensitive);
      if (!s) return class_error(s.error().message, at);
      return set(std::move(s).value(), end);
    }
    default: break;
  }
  if (c >= '0' && c <= '9') return class_error("a back-reference cannot appear in a class", at);
  if ((c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z')) {
    return class_error(std::string("invalid escape \\") + static_cast<char>(c) + " in a class", at);
  }
  return literal(c, next);  // punctuation, space or a non-ASCII character stands for itself
}

Result<ClassTokens> tokenize_class(std::string_view p, size_t start, ClassFlags flags) {
  ClassTokens out;
  size_t i = start + 1;
  int depth = 1;
  out.tokens.push_back(ClassToken{ClassToken::kSyntax, '[', 0, start});
  if (i < p.size() && p[i] == '^') out.tokens.push_back(ClassToken{ClassToken::kSyntax, '^', 0, i++});
  if (i < p.size() && p[i] == ']') out.tokens.push_back(ClassToken{ClassToken::kSyntax, ']', 0, i++});
  while (true) {
    if (i >= p.size()) return class_error("unclosed character class", start);
    if (p[i] == '\\') {
      Result<size_t> end = read_class_escape(p, i, flags, out);
      if (!end) return std::move(end).error();
      i = end.value();
      continue;
    }
    char32_t c;
    size_t next;
    if (!decode_at(p, i, c, next)) return class_error("invalid UTF-8", i);
    out.tokens.push_back(ClassToken{ClassToken::kSyntax, c, 0, i});
    // A "[:name:]" counts here but is no level of its own, hence the one spare;
    // the exact bound is the grammar's.
    if (c == '[' && ++depth > kMaxClassDepth + 1) return class_error("character class nested too deeply", i);
    i = next;
    if (c == ']' && --depth == 0) break;
  }
  out.end = i;
  return out;
}

enum class SetOp { kIntersection, kDifference, kSymmetricDifference };

CodePointSet apply(SetOp op, const CodePointSet& a, const CodePointSet& b) {
  switch (op) {
    case SetOp::kIntersection: return set_intersection(a, b);
    case SetOp::kDifference: return set_difference(a, b);
    case SetOp::kSymmetricDifference: return set_symmetric_difference(a, b);
  }
  return a;
}

// The items between two operators (or a bracket and an operator): literals and
// ranges are gathered apart, sorted once and folded in one pass, so a long
// class costs n log n whatever the order of its items.
struct ClassUnion {
  std::vector<CodePointRange> plain;
  CodePointSet classes;
  int items = 0;
  int depth = 0;  // of its deepest nested bracket

  void add_plain(char32_t first, char32_t last) {
    plain.push_back(CodePointRange{first, last});
    ++items;
  }
  void add_class(const CodePointSet& s, int item_depth) {
    classes = set_union(classes, s);
    ++items;
    depth = std::max(depth, item_depth);
  }
  CodePointSet take(bool fold) {
    std::sort(plain.begin(), plain.end(), [](CodePointRange a, CodePointRange b) { return a.first < b.first; });
    CodePointSet literals;
    for (CodePointRange r : plain) add_range(literals, r.first, r.last);
    CodePointSet s = set_union(fold ? case_fold_closure(literals) : literals, classes);
    *this = ClassUnion{};
    return s;
  }
  int tree_depth() const { return depth + (items >= 2 ? 1 : 0); }
};

class ClassGrammar {
 public:
  ClassGrammar(const ClassTokens& t, ClassFlags flags) : t_(t), flags_(flags) {}

  // Reads the bracket whose '[' is tokens[i]; `depth` is its tree depth, and
  // `i` ends just past its ']'.
  Result<CodePointSet> bracket(size_t& i, int& depth) {
    const size_t open = i++;
    bool negated = false;
    if (is_syntax(i, '^')) {
      negated = true;
      ++i;
    }
    ClassUnion u;
    while (is_syntax(i, '-')) {
      u.add_plain('-', '-');
      ++i;
    }
    if (u.items == 0 && is_syntax(i, ']')) {
      u.add_plain(']', ']');
      ++i;
    }
    std::optional<std::pair<SetOp, CodePointSet>> pending;
    int op_depth = 0;  // of the chain of operators so far
    while (true) {
      if (i >= t_.tokens.size()) return class_error("unclosed character class", t_.tokens[open].offset);
      const ClassToken& tok = t_.tokens[i];
      if (tok.kind == ClassToken::kSyntax && tok.c == '[') {
        if (std::optional<CodePointSet> posix = posix_class(i)) {
          u.add_class(*posix, 0);
          continue;
        }
        int inner = 0;
        Result<CodePointSet> s = bracket(i, inner);
        if (!s) return s;
        u.add_class(s.value(), inner);
        continue;
      }
      if (tok.kind == ClassToken::kSyntax && tok.c == ']') {
        ++i;
        const int union_depth = u.tree_depth();
        CodePointSet s = u.take(flags_.case_insensitive);
        int kind_depth = union_depth;
        if (pending) {
          s = apply(pending->first, pending->second, s);
          kind_depth = 1 + std::max(op_depth, union_depth);
        }
        depth = 1 + kind_depth;
        if (depth > kMaxClassDepth) return class_error("character class nested too deeply", t_.tokens[open].offset);
        return negated ? set_complement(s) : s;
      }
      if (const std::optional<SetOp> op = set_op(i)) {
        const int union_depth = u.tree_depth();
        CodePointSet rhs = u.take(flags_.case_insensitive);
        if (pending) {
          rhs = apply(pending->first, pending->second, rhs);
          op_depth = 1 + std::max(op_depth, union_depth);
        } else {
          op_depth = union_depth;
        }
        pending.emplace(*op, std::move(rhs));
        i += 2;
        continue;
      }
      Result<bool> r = range_or_item(i, u);
      if (!r) return std::move(r).error();
    }
  }

 private:
  bool is_syntax(size_t i, char32_t c) const {
    return i < t_.tokens.size() && t_.tokens[i].kind == ClassToken::kSyntax && t_.tokens[i].c == c;
  }

  std::optional<SetOp> set_op(size_t i) const {
    const ClassToken& tok = t_.tokens[i];
    if (tok.kind != ClassToken::kSyntax || !is_syntax(i + 1, tok.c)) return std::nullopt;
    switch (tok.c) {
      case '&': return SetOp::kIntersection;
      case '-': return SetOp::kDifference;
      case '~': return SetOp::kSymmetricDifference;
      default: return std::nullopt;
    }
  }

  // "[:name:]" or "[:^name:]" of unescaped characters with a known name; an
  // unknown name leaves the tokens to be read as a nested class.
  std::optional<CodePointSet> posix_class(size_t& i) const {
    size_t j = i + 1;
    if (!is_syntax(j, ':')) return std::nullopt;
    ++j;
    bool negated = false;
    if (is_syntax(j, '^')) {
      negated = true;
      ++j;
    }
    std::string name;
    while (j < t_.tokens.size() && !is_syntax(j, ':')) {
      const ClassToken& tok = t_.tokens[j];
      if (tok.kind != ClassToken::kSyntax || tok.c >= 0x80) return std::nullopt;
      name.push_back(static_cast<char>(tok.c));
      ++j;
    }
    if (!is_syntax(j, ':') || !is_syntax(j + 1, ']')) return std::nullopt;
    bool known = false;
    CodePointSet s = posix_set(name, known);
    if (!known) return std::nullopt;
    i = j + 2;
    if (flags_.case_insensitive) s = case_fold_closure(s);
    return negated ? set_complement(s) : s;
  }

  Result<bool> range_or_item(size_t& i, ClassUnion& u) {
    const ClassToken& first = t_.tokens[i++];
    if (i >= t_.tokens.size()) return class_error("unclosed character class", first.offset);
    const bool range = is_syntax(i, '-') && !is_syntax(i + 1, ']') && !is_syntax(i + 1, '-');
    if (!range) {
      if (first.kind == ClassToken::kSet) {
        u.add_class(t_.sets[first.set], 0);
      } else {
        u.add_plain(first.c, first.c);
      }
      return true;
    }
    if (i + 1 >= t_.tokens.size()) return class_error("unclosed character class", first.offset);
    const ClassToken& last = t_.tokens[i + 1];
    i += 2;
    if (first.kind == ClassToken::kSet || last.kind == ClassToken::kSet) {
      return class_error("a class cannot be the end of a range", first.offset);
    }
    if (first.c > last.c) return class_error("range out of order in character class", first.offset);
    u.add_plain(first.c, last.c);
    return true;
  }

  const ClassTokens& t_;
  ClassFlags flags_;
};

CodePointSet posix_set(std::string_view name, bool& known) {
  struct Posix {
    std::string_view name;
    std::vector<CodePointRange> ranges;
  };
  static const NeverDestroyed<std::array<Posix, 14>> kPosix(std::array<Posix, 14>{{
      {"alnum", {{'0', '9'}, {'A', 'Z'}, {'a', 'z'}}},
      {"alpha", {{'A', 'Z'}, {'a', 'z'}}},
      {"ascii", {{0x00, 0x7F}}},
      {"blank", {{'\t', '\t'}, {' ', ' '}}},
      {"cntrl", {{0x00, 0x1F}, {0x7F, 0x7F}}},
      {"digit", {{'0', '9'}}},
      {"graph", {{'!', '~'}}},
      {"lower", {{'a', 'z'}}},
      {"print", {{' ', '~'}}},
      {"punct", {{'!', '/'}, {':', '@'}, {'[', '`'}, {'{', '~'}}},
      {"space", {{'\t', '\r'}, {' ', ' '}}},
      {"upper", {{'A', 'Z'}}},
      {"word", {{'0', '9'}, {'A', 'Z'}, {'_', '_'}, {'a', 'z'}}},
      {"xdigit", {{'0', '9'}, {'A', 'F'}, {'a', 'f'}}},
  }});
  CodePointSet s;
  known = false;
  for (const Posix& p : *kPosix) {
    if (p.name != name) continue;
    known = true;
    for (CodePointRange r : p.ranges) add_range(s, r.first, r.last);
  }
  return s;
}

}  // namespace

Result<ClassParse> parse_bracket_class(std::string_view pattern, size_t start, ClassFlags flags) {
  Result<ClassTokens> tokens = tokenize_class(pattern, start, flags);
  if (!tokens) return std::move(tokens).error();
  const ClassTokens& t = tokens.value();
  ClassGrammar grammar(t, flags);
  size_t i = 0;
  int depth = 0;
  Result<CodePointSet> set = grammar.bracket(i, depth);
  if (!set) return std::move(set).error();
  if (i == t.tokens.size()) return ClassParse{std::move(set).value(), t.end, {}, t.end};
  ClassParse parse{std::move(set).value(), t.tokens[i].offset, {}, t.end};
  // The rest of the bracketed text, when it is a run of plain characters and
  // classes (as it nearly always is: "]", ":digit:]"), each as one set.
  while (i < t.tokens.size()) {
    const ClassToken& tok = t.tokens[i];
    if (tok.kind == ClassToken::kSyntax && tok.c == '[') {
      Result<CodePointSet> inner = grammar.bracket(i, depth);
      if (!inner) {
        parse.tail.clear();
        break;
      }
      parse.tail.push_back(std::move(inner).value());
      continue;
    }
    ++i;
    if (tok.kind == ClassToken::kSet) {
      parse.tail.push_back(t.sets[tok.set]);
      continue;
    }
    const bool meta = tok.c < 0x80 && std::string_view(".+*?()|{^$").find(char(tok.c)) != std::string_view::npos;
    if (tok.kind == ClassToken::kSyntax && meta) {
      parse.tail.clear();
      break;
    }
    const CodePointSet one = code_point_range(tok.c, tok.c);
    parse.tail.push_back(flags.case_insensitive ? case_fold_closure(one) : one);
  }
  return parse;
}

}  // namespace vellix::core
