// The pattern front end: the input up to its first newline is a pattern, the
// rest (its first 64 bytes) a text. Compiling either form fails cleanly or
// gives a pattern that matches the text without fault or hang, and a match
// reports groups that lie inside the text. What the front end accepts, the
// matcher compiles, but for its own size limits.
#include <array>
#include <cstdint>
#include <cstdlib>
#include <optional>
#include <string_view>

#include "core/pattern/pattern.hpp"
#include "core/pattern/syntax.hpp"
#include "core/value/utf8.hpp"

using namespace vellix::core;

namespace {

constexpr size_t kMaxText = 64;

void check(bool ok) {
  if (!ok) std::abort();
}

// `plain`: the syntax's engine runs the pattern without backtracking.
void exercise(const Result<Pattern>& compiled, bool plain, std::string_view text) {
  if (!compiled) {
    check(!compiled.error().message.empty());
    check(!compiled.error().message.starts_with("pattern not translated correctly"));
    return;
  }
  const Pattern& pattern = compiled.value();
  std::array<std::optional<std::string_view>, 4> groups;
  const bool hit = pattern.match_groups(text, groups);
  // matches() settles a plain pattern the backtracker gives up on;
  // match_groups() cannot (the automaton reports no groups) and misses there.
  const bool matches = pattern.matches(text);
  check(hit == matches || (plain && !hit));
  // A scan rules texts out by the code units the matcher records: never one
  // that matches.
  check(PatternScan(pattern).matches(text) == matches);
  check(hit == groups[0].has_value());
  for (const auto& g : groups) {
    if (!g) continue;
    check(g->data() >= text.data() && g->data() + g->size() <= text.data() + text.size());
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string_view input(reinterpret_cast<const char*>(data), size);
  const size_t newline = input.find('\n');
  const std::string_view pattern = input.substr(0, newline);
  const std::string_view text =
      newline == std::string_view::npos ? std::string_view() : input.substr(newline + 1, kMaxText);
  if (!vellix::core::valid_utf8(text)) return -1;  // cells only ever hold UTF-8
  for (const bool case_insensitive : {true, false}) {
    const Result<TranslatedPattern> translated = translate_pattern(pattern, case_insensitive);
    const bool plain = translated && translated.value().plain;
    exercise(case_insensitive ? compile_search_pattern(pattern) : compile_pattern(pattern), plain, text);
  }
  return 0;
}
