#include "alloc_hook.hpp"

#include <malloc.h>

#include <atomic>
#include <cstdlib>
#include <new>

namespace {
std::atomic<int64_t> g_live_bytes{0};
std::atomic<uint64_t> g_until_failure{0};  // 0: none to come
std::atomic<bool> g_failed{false};

bool this_one_fails() {
  uint64_t left = g_until_failure.load(std::memory_order_relaxed);
  while (left != 0) {
    if (g_until_failure.compare_exchange_weak(left, left - 1, std::memory_order_relaxed)) {
      if (left != 1) return false;
      g_failed = true;
      return true;
    }
  }
  return false;
}
}  // namespace

namespace vellix::core::testing {
int64_t live_bytes() { return g_live_bytes.load(); }
void fail_allocation(uint64_t n) {
  g_failed = false;
  g_until_failure = n;
}
bool allocation_failed() { return g_failed.load(); }
}  // namespace vellix::core::testing

void* operator new(size_t n) {
  if (this_one_fails()) throw std::bad_alloc();
  void* p = std::malloc(n == 0 ? 1 : n);
  if (p == nullptr) throw std::bad_alloc();
  g_live_bytes.fetch_add(static_cast<int64_t>(malloc_usable_size(p)), std::memory_order_relaxed);
  return p;
}
void operator delete(void* p) noexcept {
  if (p == nullptr) return;
  g_live_bytes.fetch_sub(static_cast<int64_t>(malloc_usable_size(p)), std::memory_order_relaxed);
  std::free(p);
}
void operator delete(void* p, size_t) noexcept { operator delete(p); }
// The array forms too: a sanitizer's runtime gives them their own definitions.
void* operator new[](size_t n) { return operator new(n); }
void operator delete[](void* p) noexcept { operator delete(p); }
void operator delete[](void* p, size_t) noexcept { operator delete(p); }
