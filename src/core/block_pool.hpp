// BlockPool: blocks of one fixed size carved from 64 KiB slabs.
//
// A sheet holds millions of cells, each one 40-byte shared block; malloc
// would give each a 48-byte chunk (its 8-byte header, rounded to 16 bytes).
// A pool packs them end to end. Freed blocks go to a free list that the next
// allocations reuse; slabs are kept for the life of the process.
//
// Safe from any thread: one lock guards the free list and the current slab.
// lock() and unlock() hold it across a fork (pthread_atfork), so that a
// child forked while another thread allocates gets a consistent pool.
//
//   constinit BlockPool pool(40);
//   void* p = pool.allocate();  ...  pool.free(p);
#pragma once

#include <cstddef>

#include "core/rw_lock.hpp"

namespace vellix::core {

class BlockPool {
 public:
  // block_size: a multiple of 8, at least 8.
  explicit constexpr BlockPool(size_t block_size) noexcept : block_size_(block_size) {}
  BlockPool(const BlockPool&) = delete;  // its blocks belong to it
  BlockPool& operator=(const BlockPool&) = delete;

  size_t block_size() const noexcept { return block_size_; }
  // A block of block_size() bytes, aligned to 8; throws std::bad_alloc.
  void* allocate();
  // Takes back a block this pool gave out.
  void free(void* block) noexcept;
  void lock() noexcept { lock_.lock(); }
  void unlock() noexcept { lock_.unlock(); }

 private:
  struct FreeBlock {
    FreeBlock* next;
  };
  void* carve();

  size_t block_size_;
  RwLock lock_;
  FreeBlock* free_ = nullptr;
  char* fresh_ = nullptr;  // the unused rest of the newest slab
  char* fresh_end_ = nullptr;
};

}  // namespace vellix::core
