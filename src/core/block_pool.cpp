#include "core/block_pool.hpp"

#include <cstdlib>
#include <mutex>
#include <new>

namespace vellix::core {

namespace {
constexpr size_t kSlabSize = 64 * 1024;  // below malloc's mmap threshold, so slabs share the heap
}  // namespace

void* BlockPool::allocate() {
  std::lock_guard<RwLock> hold(lock_);
  if (free_ != nullptr) {
    FreeBlock* b = free_;
    free_ = b->next;
    return b;
  }
  return carve();
}

void BlockPool::free(void* block) noexcept {
  std::lock_guard<RwLock> hold(lock_);
  free_ = ::new (block) FreeBlock{free_};
}

void* BlockPool::carve() {
  if (static_cast<size_t>(fresh_end_ - fresh_) < block_size_) {
    char* slab = static_cast<char*>(std::malloc(kSlabSize));
    if (slab == nullptr) throw std::bad_alloc();
    fresh_ = slab;
    fresh_end_ = slab + kSlabSize;
  }
  void* b = fresh_;
  fresh_ += block_size_;
  return b;
}

}  // namespace vellix::core
