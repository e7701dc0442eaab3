// Counts heap allocations by interposing malloc, calloc and realloc (operator
// new and the C libraries the core uses all end there). Include it in exactly
// one file of a benchmark binary.
#pragma once

#include <atomic>
#include <cstddef>
#include <cstdint>

extern "C" void* __libc_malloc(size_t);
extern "C" void* __libc_calloc(size_t, size_t);
extern "C" void* __libc_realloc(void*, size_t);

inline std::atomic<uint64_t> g_allocations{0};

extern "C" void* malloc(size_t n) {
  g_allocations.fetch_add(1, std::memory_order_relaxed);
  return __libc_malloc(n);
}
extern "C" void* calloc(size_t n, size_t size) {
  g_allocations.fetch_add(1, std::memory_order_relaxed);
  return __libc_calloc(n, size);
}
extern "C" void* realloc(void* p, size_t n) {
  g_allocations.fetch_add(1, std::memory_order_relaxed);
  return __libc_realloc(p, n);
}
