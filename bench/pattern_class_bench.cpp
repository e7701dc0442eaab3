// Building pattern classes: what the front end pays per class in a pattern.
// The FirstUse benchmarks run first, once each, and time the building of the
// process-wide tables; the others warm up outside their timed loop.
#define PCRE2_CODE_UNIT_WIDTH 8
#include <benchmark/benchmark.h>
#include <pcre2.h>

#include <string>

#include "core/pattern/class.hpp"
#include "core/pattern/unicode_sets.hpp"
#include "core/value/utf8.hpp"

namespace vellix::core {
namespace {

void BM_FirstUse(benchmark::State& state, void (*use)()) {
  for (auto _ : state) use();
}
BENCHMARK_CAPTURE(BM_FirstUse, perl_word, [] { (void)perl_class('w'); })->Iterations(1);
BENCHMARK_CAPTURE(BM_FirstUse, fold_table, [] { (void)case_fold_closure(code_point_range('a', 'a')); })->Iterations(1);
BENCHMARK_CAPTURE(BM_FirstUse, property_names, [] { (void)unicode_property("Greek"); })->Iterations(1);
BENCHMARK_CAPTURE(BM_FirstUse, age_table, [] { (void)unicode_property("age=3.0"); })->Iterations(1);

void BM_PerlWord(benchmark::State& state) {
  (void)perl_class('w');
  for (auto _ : state) benchmark::DoNotOptimize(perl_class('w'));
}
BENCHMARK(BM_PerlWord);

void BM_FoldClosureOfWord(benchmark::State& state) {
  const CodePointSet w = perl_class('w');
  (void)case_fold_closure(w);
  for (auto _ : state) benchmark::DoNotOptimize(case_fold_closure(w));
}
BENCHMARK(BM_FoldClosureOfWord);

void BM_Property(benchmark::State& state, const char* body, bool negated, bool folded) {
  (void)property_class(body, negated, folded);
  for (auto _ : state) benchmark::DoNotOptimize(property_class(body, negated, folded));
}
BENCHMARK_CAPTURE(BM_Property, Greek, "Greek", false, false);
BENCHMARK_CAPTURE(BM_Property, Lu_folded, "Lu", false, true);
BENCHMARK_CAPTURE(BM_Property, not_Lu_folded, "Lu", true, true);
BENCHMARK_CAPTURE(BM_Property, age_3_0, "age=3.0", false, false);

void BM_BracketClass(benchmark::State& state, const char* cls, bool folded) {
  (void)parse_bracket_class(cls, 0, {.case_insensitive = folded});
  for (auto _ : state) benchmark::DoNotOptimize(parse_bracket_class(cls, 0, {.case_insensitive = folded}));
}
BENCHMARK_CAPTURE(BM_BracketClass, letters, "[a-zA-Z_]", false);
BENCHMARK_CAPTURE(BM_BracketClass, letters_folded, "[a-z]", true);
BENCHMARK_CAPTURE(BM_BracketClass, word_and_greek_folded, "[\\w&&\\p{Greek}]", true);
BENCHMARK_CAPTURE(BM_BracketClass, letters_minus_greek_and_upper, "[\\pL--\\p{Greek}&&\\p{Uppercase}]", false);

void BM_AppendWord(benchmark::State& state) {
  const CodePointSet w = perl_class('w');
  std::string out;
  for (auto _ : state) {
    out.clear();
    append_class(out, w);
    benchmark::DoNotOptimize(out.data());
  }
  state.counters["bytes"] = double(out.size());
}
BENCHMARK(BM_AppendWord);

// Matching "^\w+$" over a run of one letter, with \w written out by
// append_class; the argument is the letter. Time per character; compiling is
// timed apart below.
pcre2_code* compile_word() {
  std::string p = "^";
  append_class(p, perl_class('w'));
  p += "+$";
  int err = 0;
  PCRE2_SIZE at = 0;
  pcre2_code* code =
      pcre2_compile(reinterpret_cast<PCRE2_SPTR>(p.data()), p.size(), PCRE2_UTF | PCRE2_UCP, &err, &at, nullptr);
  pcre2_jit_compile(code, PCRE2_JIT_COMPLETE);
  return code;
}

void BM_MatchWord(benchmark::State& state) {
  const auto letter = static_cast<char32_t>(state.range(0));
  std::string text;
  for (int i = 0; i < 1000; ++i) append_utf8(text, letter);
  pcre2_code* code = compile_word();
  pcre2_match_data* md = pcre2_match_data_create_from_pattern(code, nullptr);
  for (auto _ : state) {
    benchmark::DoNotOptimize(
        pcre2_match(code, reinterpret_cast<PCRE2_SPTR>(text.data()), text.size(), 0, 0, md, nullptr));
  }
  state.SetItemsProcessed(state.iterations() * 1000);
  pcre2_match_data_free(md);
  pcre2_code_free(code);
}
BENCHMARK(BM_MatchWord)->Arg('a')->Arg(0x416)->Arg(0x4E2D)->Arg(0x1D400);

void BM_CompileWord(benchmark::State& state) {
  for (auto _ : state) pcre2_code_free(compile_word());
}
BENCHMARK(BM_CompileWord);

}  // namespace
}  // namespace vellix::core

BENCHMARK_MAIN();
