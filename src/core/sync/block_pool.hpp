// BlockPool: blocks of one fixed size carved from 64 KiB slabs.
//
// A sheet holds millions of cells, each one 40-byte shared block; malloc
// would give each a 48-byte chunk (its 8-byte header, rounded to 16 bytes).
// A pool packs them end to end. Each slab marks its free blocks in a bitmap
// and hands out its lowest free one, so cells made one after another lie one
// after another even in the space of a dropped sheet (a scan in position
// order then reads memory in order); a slab whose blocks are all free goes
// back to malloc.
//
// Safe from any thread: one lock guards the pool. lock() and unlock() hold it
// across a fork (pthread_atfork), so that a child forked while another thread
// allocates gets a consistent pool.
//
//   constinit BlockPool pool(40);
//   void* p = pool.allocate();  ...  pool.free(p);
#pragma once

#include <cstddef>
#include <cstdint>
#include <utility>
#include <vector>

#include "core/sync/rw_lock.hpp"

namespace vellix::core {

class BlockPool {
 public:
  static constexpr size_t kMinBlockSize = 32;
  // Blocks are aligned to 2^kAlignBits bytes, and every block ends below
  // kAddressLimit, so that a holder can keep a block's address in 48 bits,
  // shifted right by kAlignBits. Memory the heap gives above the limit is
  // handed back, and the request fails.
  static constexpr int kAlignBits = 3;
  static constexpr uintptr_t kAddressLimit = uintptr_t{1} << (48 + kAlignBits);

  // block_size: a multiple of 2^kAlignBits, at least kMinBlockSize. address_limit: at
  // most kAddressLimit (lower only to try a heap that hands out no room below it).
  explicit constexpr BlockPool(size_t block_size, uintptr_t address_limit = kAddressLimit) noexcept
      : block_size_(block_size), address_limit_(address_limit) {}
  BlockPool(const BlockPool&) = delete;  // its blocks belong to it
  BlockPool& operator=(const BlockPool&) = delete;
  // Gives every slab back: blocks still out die with the pool.
  ~BlockPool();

  size_t block_size() const noexcept { return block_size_; }
  // A block of block_size() bytes, aligned and placed as above; throws std::bad_alloc.
  void* allocate();
  // Takes back a block this pool gave out.
  void free(void* block) noexcept;
  // Takes back n blocks at once, under one hold of the lock.
  void free_many(void* const* blocks, size_t n) noexcept;
  // The slabs the pool holds now.
  size_t slab_count() const;
  // Where its slabs lie: every block out now lies in [first, second).
  std::pair<uintptr_t, uintptr_t> address_span() const;
  void lock() noexcept { lock_.lock(); }
  void unlock() noexcept { lock_.unlock(); }

 private:
  struct Slab;
  Slab* new_slab();
  void release_slab(Slab* slab) noexcept;
  // hint: the slab of a block freed just before, or null; left as this block's.
  void free_locked(void* block, Slab*& hint) noexcept;

  size_t block_size_;
  uintptr_t address_limit_;
  mutable RwLock lock_;
  Slab* current_ = nullptr;        // where blocks are taken from
  std::vector<Slab*> by_address_;  // every slab, to find a freed block's slab
  std::vector<Slab*> with_room_;   // slabs that regained a free block while not current
};

}  // namespace vellix::core
