// The pattern front end alone: translating a typical 100-character pattern,
// and the whole compile (translation, the matcher's compile and its JIT) for
// comparison.
#include <benchmark/benchmark.h>

#include <string_view>

#include "core/pattern/pattern.hpp"
#include "core/pattern/syntax.hpp"

namespace vellix::core {
namespace {

constexpr std::string_view kTypical =
    R"(^(?:invoice|receipt|order)[ _-]?(\d{4})-(\d{2})-(\d{2})\s+(?:total|sum):\s*\$?[0-9]+(?:\.[0-9]{2})?$)";
static_assert(kTypical.size() == 100);

void BM_TranslatePattern(benchmark::State& state) {
  for (auto _ : state) {
    Result<TranslatedPattern> t = translate_pattern(kTypical, true);
    benchmark::DoNotOptimize(t);
  }
}

void BM_CompileSearchPattern(benchmark::State& state) {
  for (auto _ : state) {
    Result<Pattern> p = compile_search_pattern(kTypical);
    benchmark::DoNotOptimize(p);
  }
}

BENCHMARK(BM_TranslatePattern)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_CompileSearchPattern)->Unit(benchmark::kMicrosecond);

}  // namespace
}  // namespace vellix::core

BENCHMARK_MAIN();
