// Building pattern classes: what the front end pays per class in a pattern.
// The FirstUse benchmarks run first, once each, and time the building of the
// process-wide tables; the others warm up outside their timed loop.
#include <benchmark/benchmark.h>

#include <string>

#include "core/pattern_class.hpp"

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

}  // namespace
}  // namespace vellix::core

BENCHMARK_MAIN();
