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
  auto* slab = ::new (::operator new(kSlabSize)) Slab{};
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
  auto* p = static_cast<char*>(block);
  // The last slab that starts before the block.
  const auto after = std::upper_bound(by_address_.begin(), by_address_.end(), p,
                                      [](const char* q, const Slab* s) { return std::less<const void*>()(q, s); });
  Slab* slab = *std::prev(after);
  const auto index = static_cast<uint32_t>(static_cast<size_t>(p - slab->blocks()) / block_size_);
  slab->free_bits[index / 64] |= uint64_t{1} << (index % 64);
  slab->first_word = std::min(slab->first_word, index / 64);
  ++slab->free_count;
  if (slab == current_) return;
  if (slab->free_count == slab->capacity) {
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

}  // namespace vellix::core
