#include "core/sync/block_pool.hpp"

#include <algorithm>
#include <bit>
#include <functional>
#include <mutex>
#include <new>

namespace vellix::core {

namespace {
constexpr size_t kSlabSize = 64 * 1024;  // below malloc's mmap threshold, so slabs share the heap
constexpr size_t kWords = kSlabSize / BlockPool::kMinBlockSize / 64;

// Capacity for `size` entries, grown by doubling.
template <class T>
void reserve_doubling(std::vector<T>& list, size_t size) {
  if (list.capacity() < size) list.reserve(std::max(size, 2 * list.capacity()));
}
}  // namespace

struct BlockPool::Slab {
  uint64_t free_bits[kWords];  // bit i set: block i is free
  uint32_t capacity;
  uint32_t free_count;
  uint32_t first_word;  // no free bit lies in an earlier word
  bool listed;          // in with_room_
  char* blocks() noexcept { return reinterpret_cast<char*>(this + 1); }
};

BlockPool::Slab* BlockPool::new_slab() {
  // The lists grow first, so that a failure leaves the pool as it was, and
  // free() never allocates.
  reserve_doubling(by_address_, by_address_.size() + 1);
  reserve_doubling(with_room_, by_address_.size() + 1);
  static_assert(sizeof(Slab) % (size_t{1} << kAlignBits) == 0);  // blocks stay aligned
  void* room = ::operator new(kSlabSize);
  const auto start = reinterpret_cast<uintptr_t>(room);
  if (start >= address_limit_ || address_limit_ - start < kSlabSize) {
    ::operator delete(room);
    throw std::bad_alloc();
  }
  auto* slab = ::new (room) Slab{};
  slab->capacity = static_cast<uint32_t>((kSlabSize - sizeof(Slab)) / block_size_);
  slab->free_count = slab->capacity;
  for (uint32_t i = 0; i < slab->capacity; ++i) slab->free_bits[i / 64] |= uint64_t{1} << (i % 64);
  by_address_.insert(std::upper_bound(by_address_.begin(), by_address_.end(), slab, std::less<Slab*>()), slab);
  return slab;
}

void BlockPool::release_slab(Slab* slab) noexcept {
  by_address_.erase(std::lower_bound(by_address_.begin(), by_address_.end(), slab, std::less<Slab*>()));
  if (slab->listed) with_room_.erase(std::find(with_room_.begin(), with_room_.end(), slab));
  slab->~Slab();
  ::operator delete(slab);
}

BlockPool::~BlockPool() {
  for (Slab* slab : by_address_) {
    slab->~Slab();
    ::operator delete(slab);
  }
}

void* BlockPool::allocate() {
  std::lock_guard<RwLock> hold(lock_);
  while (current_ == nullptr || current_->free_count == 0) {
    if (with_room_.empty()) {
      current_ = new_slab();
    } else {
      current_ = with_room_.back();
      with_room_.pop_back();
      current_->listed = false;
    }
  }
  Slab& s = *current_;
  while (s.free_bits[s.first_word] == 0) ++s.first_word;
  uint64_t& word = s.free_bits[s.first_word];
  const uint32_t index = s.first_word * 64 + static_cast<uint32_t>(std::countr_zero(word));
  word &= word - 1;
  --s.free_count;
  return s.blocks() + size_t{index} * block_size_;
}

void BlockPool::free(void* block) noexcept {
  std::lock_guard<RwLock> hold(lock_);
  Slab* hint = nullptr;
  free_locked(block, hint);
}

void BlockPool::free_many(void* const* blocks, size_t n) noexcept {
  std::lock_guard<RwLock> hold(lock_);
  Slab* hint = nullptr;
  for (size_t i = 0; i < n; ++i) free_locked(blocks[i], hint);
}

void BlockPool::free_locked(void* block, Slab*& hint) noexcept {
  const auto p = reinterpret_cast<uintptr_t>(block);
  Slab* slab = hint;
  // Blocks freed together often share a slab.
  if (slab == nullptr || p < reinterpret_cast<uintptr_t>(slab) || p - reinterpret_cast<uintptr_t>(slab) >= kSlabSize) {
    // The last slab that starts before the block, found without branches:
    // blocks freed in no particular order would mispredict each step.
    Slab* const* first = by_address_.data();
    for (size_t n = by_address_.size(); n > 1; n -= n / 2) {
      first = reinterpret_cast<uintptr_t>(first[n / 2]) <= p ? first + n / 2 : first;
    }
    slab = *first;
  }
  hint = slab;
  // Both below 2^16: a 32-bit division is the quicker.
  const uint32_t index = static_cast<uint32_t>(static_cast<char*>(block) - slab->blocks()) /
                         static_cast<uint32_t>(block_size_);
  slab->free_bits[index / 64] |= uint64_t{1} << (index % 64);
  slab->first_word = std::min(slab->first_word, index / 64);
  ++slab->free_count;
  if (slab == current_) return;
  if (slab->free_count == slab->capacity) {
    hint = nullptr;
    release_slab(slab);
  } else if (!slab->listed) {
    slab->listed = true;
    with_room_.push_back(slab);  // within the capacity reserved for every slab
  }
}

size_t BlockPool::slab_count() const {
  std::lock_guard<RwLock> hold(lock_);
  return by_address_.size();
}

std::pair<uintptr_t, uintptr_t> BlockPool::address_span() const {
  std::lock_guard<RwLock> hold(lock_);
  if (by_address_.empty()) return {0, 0};
  return {reinterpret_cast<uintptr_t>(by_address_.front()),
          reinterpret_cast<uintptr_t>(by_address_.back()) + kSlabSize};
}

}  // namespace vellix::core
