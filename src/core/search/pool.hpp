// The worker pool and the order-keeping parallel algorithms every search uses.
//
// One process-wide pool, sized on first use from RAYON_NUM_THREADS, else
// RAYON_RS_NUM_CPUS, else the processor count (at most kMaxPoolSize). The
// algorithms judge entries by position, never by timing: find_first_index
// gives the lowest passing index, collect_ordered gives its items in index
// order, whatever the number of threads. Short inputs, and every input in a process forked after the
// pool started (its threads do not survive fork), run on the calling thread.
//
// Callables run concurrently on pool threads: they must be safe to call from
// several threads at once. The calling thread blocks until all work is done.
//
//   size_t i = find_first_index(cells.size(), [&](size_t k) { return passes(k); });
//   std::vector<int> hits = collect_ordered<int>(n, [&](size_t k, std::vector<int>& out) {
//     if (passes(k)) out.push_back(int(k));
//   });
//
// collect_ordered_pieces hands out pieces [begin, end) instead of single indices.
#pragma once

#include <oneapi/tbb/blocked_range.h>
#include <oneapi/tbb/parallel_for.h>
#include <oneapi/tbb/parallel_reduce.h>

#include <atomic>
#include <cstddef>
#include <iterator>
#include <memory>
#include <type_traits>
#include <utility>
#include <vector>

namespace vellix::core {

// Inputs shorter than this are handled on the calling thread: waking the pool
// costs more than scanning a few thousand cells.
inline constexpr size_t kSerialFloor = 2048;

// No pool grows beyond this, whatever the environment asks for.
inline constexpr size_t kMaxPoolSize = 1024;

// The pool size the environment asks for: the first of `num_threads` and
// `rs_num_cpus` that is a positive decimal integer, else `cpus` (at least 1).
size_t pool_size_from_env(const char* num_threads, const char* rs_num_cpus, size_t cpus);

// Starts the pool on first call (thread-safe) and returns its size.
size_t pool_size();

// Whether work on `n` entries should stay on the calling thread: n below
// kSerialFloor, a forked child, or only one thread available here.
bool run_serially(size_t n);

namespace detail {

// Calls a callable through a plain function pointer, so that the code that
// enters arenas stays out of this header.
template <class Fn>
void call_erased(void* fn) {
  (*static_cast<Fn*>(fn))();
}
template <class Fn>
void* erase(Fn& fn) {
  return const_cast<void*>(static_cast<const void*>(std::addressof(fn)));
}

// Runs fn(context) where the pool's threads help: in with_thread_count's
// arena while one is active, else in the process-wide pool.
void run_in_pool(void (*fn)(void*), void* context);

template <class Fn>
void in_pool(Fn&& fn) {
  run_in_pool(&call_erased<std::remove_reference_t<Fn>>, erase(fn));
}

}  // namespace detail

// Runs `fn` with at most `threads` threads working for it (the calling thread
// included); searches inside it spread over that many. For tests and
// benchmarks: results never depend on it.
void with_thread_count(size_t threads, void (*fn)(void*), void* context);
template <class Fn>
void with_thread_count(size_t threads, Fn&& fn) {
  with_thread_count(threads, &detail::call_erased<std::remove_reference_t<Fn>>, detail::erase(fn));
}

// The lowest index i < n with pred(i) true, or n. Indices before the answer
// are always tested; indices after it may or may not be.
template <class Pred>
size_t find_first_index(size_t n, Pred&& pred) {
  if (run_serially(n)) {
    for (size_t i = 0; i < n; ++i) {
      if (pred(i)) return i;
    }
    return n;
  }
  std::atomic<size_t> best{n};
  detail::in_pool([&] {
    tbb::parallel_for(tbb::blocked_range<size_t>(0, n), [&](const tbb::blocked_range<size_t>& r) {
      for (size_t i = r.begin(); i < r.end(); ++i) {
        // A hit already known before i makes the rest of this piece moot.
        if (best.load(std::memory_order_relaxed) < i) return;
        if (pred(i)) {
          size_t seen = best.load(std::memory_order_relaxed);
          while (i < seen && !best.compare_exchange_weak(seen, i, std::memory_order_relaxed)) {
          }
          return;
        }
      }
    });
  });
  return best.load(std::memory_order_relaxed);
}

// Calls add(begin, end, chunk) over pieces that cover [0, n) once, where add
// appends zero or more items for each index of its piece to the chunk it is
// given; returns every item appended, in index order, in one vector of the
// exact final size. A piece lets add set up once what every index needs.
template <class T, class AddPiece>
std::vector<T> collect_ordered_pieces(size_t n, AddPiece&& add) {
  using Chunk = std::vector<T>;
  std::vector<Chunk> chunks;
  if (run_serially(n)) {
    add(size_t{0}, n, chunks.emplace_back());
  } else {
    // Add may be deduced as a reference type (a named callable); point at the callable itself.
    using Fn = std::remove_reference_t<AddPiece>;
    struct Body {
      Fn* add;
      std::vector<Chunk> chunks;
      Body(Fn* a) : add(a) {}
      Body(Body& other, tbb::split) : add(other.add) {}
      void operator()(const tbb::blocked_range<size_t>& r) {
        Chunk chunk;
        (*add)(r.begin(), r.end(), chunk);
        if (!chunk.empty()) chunks.push_back(std::move(chunk));
      }
      // Ranges joined here lie to the right of ours: order is kept.
      void join(Body& right) {
        for (Chunk& c : right.chunks) chunks.push_back(std::move(c));
      }
    };
    Body body(&add);
    detail::in_pool([&] { tbb::parallel_reduce(tbb::blocked_range<size_t>(0, n), body); });
    chunks = std::move(body.chunks);
  }
  size_t total = 0;
  for (const Chunk& c : chunks) total += c.size();
  std::vector<T> out;
  out.reserve(total);
  for (Chunk& c : chunks) std::move(c.begin(), c.end(), std::back_inserter(out));
  return out;
}

// Calls add(i, chunk) for every i < n, where add appends zero or more items
// to the chunk it is given; returns every item appended, in index order, in
// one vector of the exact final size.
template <class T, class Add>
std::vector<T> collect_ordered(size_t n, Add&& add) {
  return collect_ordered_pieces<T>(n, [&](size_t begin, size_t end, std::vector<T>& chunk) {
    for (size_t i = begin; i < end; ++i) add(i, chunk);
  });
}

// Calls fn(i) once for every i < n, each a sizeable piece of work, on the
// pool in no particular order; n of 1 runs on the calling thread.
template <class Fn>
void for_each_piece(size_t n, Fn&& fn) {
  if (n == 1) {
    fn(size_t{0});
    return;
  }
  detail::in_pool([&] { tbb::parallel_for(size_t{0}, n, [&](size_t i) { fn(i); }); });
}

}  // namespace vellix::core
