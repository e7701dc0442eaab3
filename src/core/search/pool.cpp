#include "core/search/pool.hpp"

#include <oneapi/tbb/global_control.h>
#include <oneapi/tbb/info.h>
#include <oneapi/tbb/task_arena.h>
#include <unistd.h>

#include <algorithm>
#include <charconv>
#include <cstdlib>
#include <cstring>
#include <mutex>

namespace vellix::core {
namespace {

struct PoolState {
  size_t size = 1;
  pid_t owner = 0;
  tbb::global_control* limit = nullptr;
  tbb::task_arena* arena = nullptr;
};

// Set while with_thread_count runs: work then stays in its arena.
thread_local int t_thread_count_override = 0;

// A positive decimal integer, else 0.
size_t positive_count(const char* text) {
  if (text == nullptr) return 0;
  if (*text == '+') ++text;  // as the usual integer parsers accept
  size_t value = 0;
  const char* end = text + std::strlen(text);
  auto [ptr, ec] = std::from_chars(text, end, value);
  if (ec != std::errc() || ptr != end) return 0;
  return value;
}

const PoolState& pool_state() {
  static PoolState state;
  static std::once_flag once;
  std::call_once(once, [] {
    size_t cpus = static_cast<size_t>(tbb::info::default_concurrency());
    state.size = std::min(kMaxPoolSize,
                          pool_size_from_env(std::getenv("RAYON_NUM_THREADS"), std::getenv("RAYON_RS_NUM_CPUS"), cpus));
    state.owner = getpid();
    // Never destroyed: pool threads may still be winding down at exit. The
    // limit lets a pool larger than the processor count have its threads.
    state.limit = new tbb::global_control(tbb::global_control::max_allowed_parallelism, state.size);
    state.arena = new tbb::task_arena(static_cast<int>(state.size));
  });
  return state;
}

bool forked_child() { return getpid() != pool_state().owner; }

}  // namespace

size_t pool_size_from_env(const char* num_threads, const char* rs_num_cpus, size_t cpus) {
  if (size_t n = positive_count(num_threads)) return n;
  if (size_t n = positive_count(rs_num_cpus)) return n;
  return cpus > 0 ? cpus : 1;
}

size_t pool_size() { return pool_state().size; }

bool run_serially(size_t n) {
  if (n < kSerialFloor) return true;
  if (forked_child()) return true;
  size_t threads =
      t_thread_count_override > 0 ? static_cast<size_t>(tbb::this_task_arena::max_concurrency()) : pool_size();
  return threads <= 1;
}

namespace detail {

void run_in_pool(void (*fn)(void*), void* context) {
  if (t_thread_count_override > 0) {
    fn(context);
  } else {
    pool_state().arena->execute([&] { fn(context); });
  }
}

}  // namespace detail

void with_thread_count(size_t threads, void (*fn)(void*), void* context) {
  // A forked child searches serially anyway, and its arenas would wait forever.
  if (forked_child()) {
    fn(context);
    return;
  }
  // The pool size caps every arena; asking for more only draws a warning.
  tbb::task_arena arena(static_cast<int>(std::clamp<size_t>(threads, 1, pool_size())));
  ++t_thread_count_override;
  try {
    arena.execute([&] { fn(context); });
  } catch (...) {
    --t_thread_count_override;
    throw;
  }
  --t_thread_count_override;
}

}  // namespace vellix::core
