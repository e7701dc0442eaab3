// Shared<T>: the reference-counted, reader-writer-locked handle through which
// every cell, comment, sheet and book is held (SharedCell, SharedComment,
// SharedSheet, SharedBook).
//
// One heap block holds the lock and the count (8 bytes together) and the
// payload; a handle is one pointer. Copying a handle adds a count, the last
// release frees the block. Counts are atomic, so handles may be copied and dropped on any thread;
// the payload is read under read() and changed under write().
//
//   SharedCell c = SharedCell::make(...);
//   { auto r = c.read(); use(r->row); }       // shared lock for the scope
//   { auto w = c.write(); w->row = 3; }       // exclusive lock for the scope
#pragma once

#include <atomic>
#include <cassert>
#include <cstddef>
#include <cstdint>
#include <new>
#include <type_traits>
#include <utility>

#include "core/sync/rw_lock.hpp"

namespace vellix::core {

// Where the blocks of a payload type come from: the global heap, unless the
// type names a source of its own (cells take theirs from a pool).
template <class T>
struct BlockSource {
  static void* allocate(size_t size) { return ::operator new(size); }
  static void free(void* block) noexcept { ::operator delete(block); }
  static void free_many(void* const* blocks, size_t n) noexcept {
    for (size_t i = 0; i < n; ++i) free(blocks[i]);
  }
};

template <class T>
class Shared {
  struct Block {
    template <class... A>
    explicit Block(A&&... a) : value(std::forward<A>(a)...) {}
    static void* operator new(size_t size) { return BlockSource<T>::allocate(size); }
    static void operator delete(void* block) noexcept { BlockSource<T>::free(block); }
    RwLock mu;
    // 32 bits: 2^32 handles of one block would take 32 GiB of handles alone.
    std::atomic<uint32_t> refs{1};
    T value;
  };

 public:
  // The lock held for a scope: shared by a reader, exclusive for a writer,
  // who alone may change the payload.
  template <bool kWrite>
  class Guard {
   public:
    using Payload = std::conditional_t<kWrite, T, const T>;
    explicit Guard(Block* b) : b_(b) {
      if constexpr (kWrite)
        b_->mu.lock();
      else
        b_->mu.lock_shared();
    }
    ~Guard() {
      if constexpr (kWrite)
        b_->mu.unlock();
      else
        b_->mu.unlock_shared();
    }
    Guard(const Guard&) = delete;  // one unlock per lock
    Guard& operator=(const Guard&) = delete;
    Payload& operator*() const noexcept { return b_->value; }
    Payload* operator->() const noexcept { return &b_->value; }

   private:
    Block* b_;
  };
  using ReadGuard = Guard<false>;
  using WriteGuard = Guard<true>;

  Shared() noexcept = default;  // a null handle: "none"
  template <class... A>
  static Shared make(A&&... a) {
    return Shared(new Block(std::forward<A>(a)...));
  }

  Shared(const Shared& o) noexcept : b_(o.b_) { retain(); }
  Shared(Shared&& o) noexcept : b_(std::exchange(o.b_, nullptr)) {}
  Shared& operator=(const Shared& o) noexcept {
    Shared(o).swap(*this);
    return *this;
  }
  Shared& operator=(Shared&& o) noexcept {
    Shared(std::move(o)).swap(*this);
    return *this;
  }
  ~Shared() { release(); }

  void swap(Shared& o) noexcept { std::swap(b_, o.b_); }
  explicit operator bool() const noexcept { return b_ != nullptr; }
  bool operator==(const Shared& o) const noexcept { return b_ == o.b_; }

  // Each of these requires a handle that is not null (asserted in debug builds).
  ReadGuard read() const {
    assert(b_ != nullptr);
    return ReadGuard(b_);
  }
  WriteGuard write() const {
    assert(b_ != nullptr);
    return WriteGuard(b_);
  }
  // The payload without its lock: only for objects no other thread can see
  // yet, or for fields that every writer of a visible object stores
  // atomically (a cell's position: see racy_position).
  T& unlocked() const noexcept {
    assert(b_ != nullptr);
    return b_->value;
  }

  uint32_t use_count() const noexcept { return b_ ? b_->refs.load(std::memory_order_relaxed) : 0; }

  // Starts loading the block into cache; touches nothing, so it needs no lock.
  void prefetch() const noexcept { __builtin_prefetch(b_); }

  // The block's address, carrying this handle's count away (the handle is
  // left null): for holders that keep the address in a form of their own.
  // adopt_block() makes a handle of it again, taking that count back.
  const void* release_block() && noexcept { return std::exchange(b_, nullptr); }
  static Shared adopt_block(const void* block) noexcept {
    return Shared(static_cast<Block*>(const_cast<void*>(block)));
  }

  // Gives back counts that release_block() carried away, one block after
  // another, and frees the blocks whose last count that was a batch at a
  // time (BlockSource<T>::free_many), which costs less than one by one.
  class Releaser {
   public:
    Releaser() noexcept = default;
    Releaser(const Releaser&) = delete;
    Releaser& operator=(const Releaser&) = delete;
    ~Releaser() { flush(); }
    void operator()(const void* block) noexcept {
      auto* b = static_cast<Block*>(const_cast<void*>(block));
      if (b == nullptr || b->refs.fetch_sub(1, std::memory_order_acq_rel) != 1) return;
      b->~Block();
      dead_[count_++] = b;
      if (count_ == kBatch) flush();
    }

   private:
    static constexpr size_t kBatch = 64;
    void flush() noexcept {
      BlockSource<T>::free_many(dead_, count_);
      count_ = 0;
    }
    void* dead_[kBatch];
    size_t count_ = 0;
  };

 private:
  template <class>
  friend class BorrowedHandles;
  explicit Shared(Block* b) noexcept : b_(b) {}
  void retain() noexcept {
    if (b_) b_->refs.fetch_add(1, std::memory_order_relaxed);
  }
  void release() noexcept {
    if (b_ && b_->refs.fetch_sub(1, std::memory_order_acq_rel) == 1) delete b_;
    b_ = nullptr;
  }

  Block* b_ = nullptr;
};

// One handle that takes no count, to a block that a counted handle elsewhere
// keeps alive while this one is read (see BorrowedHandles).
template <class T>
class BorrowedHandle {
 public:
  explicit BorrowedHandle(const void* block) noexcept : h_(Shared<T>::adopt_block(block)) {}
  BorrowedHandle(const BorrowedHandle&) = delete;
  BorrowedHandle& operator=(const BorrowedHandle&) = delete;
  ~BorrowedHandle() { (void)std::move(h_).release_block(); }
  const Shared<T>& operator*() const noexcept { return h_; }
  const Shared<T>* operator->() const noexcept { return &h_; }

 private:
  Shared<T> h_;
};

// A fixed array of handles that take no count: each borrows a block that
// counted handles elsewhere keep alive for as long as the array is read, so
// filling and dropping it touch no block. Read it as a span of handles.
template <class T>
class BorrowedHandles {
 public:
  BorrowedHandles() noexcept = default;
  // Room for n handles, each set by borrow() before it is read.
  explicit BorrowedHandles(size_t n)
      : handles_(static_cast<Shared<T>*>(::operator new(n * sizeof(Shared<T>)))), size_(n) {}
  BorrowedHandles(BorrowedHandles&& o) noexcept
      : handles_(std::exchange(o.handles_, nullptr)), size_(std::exchange(o.size_, 0)) {}
  BorrowedHandles& operator=(BorrowedHandles&& o) noexcept {
    BorrowedHandles(std::move(o)).swap(*this);
    return *this;
  }
  BorrowedHandles(const BorrowedHandles&) = delete;  // one owner frees the array
  BorrowedHandles& operator=(const BorrowedHandles&) = delete;
  // The handles are never destroyed: none holds a count to give back.
  ~BorrowedHandles() { ::operator delete(handles_); }

  void borrow(size_t i, const Shared<T>& h) noexcept { ::new (handles_ + i) Shared<T>(h.b_); }
  // The same through the block's address (block_of), which can be sorted
  // and moved about as a plain value.
  static const void* block_of(const Shared<T>& h) noexcept { return h.b_; }
  void borrow_block(size_t i, const void* block) noexcept {
    ::new (handles_ + i) Shared<T>(static_cast<typename Shared<T>::Block*>(const_cast<void*>(block)));
  }
  // Gives back, in this array's order, one count to each block it borrows:
  // counts that their holders hand over and then forget without touching
  // the blocks. An order that follows the blocks' addresses frees memory in
  // order.
  void release_all() noexcept {
    typename Shared<T>::Releaser release;
    for (size_t i = 0; i < size_; ++i) release(std::exchange(handles_[i].b_, nullptr));
  }
  void swap(BorrowedHandles& o) noexcept {
    std::swap(handles_, o.handles_);
    std::swap(size_, o.size_);
  }
  const Shared<T>* data() const noexcept { return handles_; }
  size_t size() const noexcept { return size_; }

 private:
  Shared<T>* handles_ = nullptr;
  size_t size_ = 0;
};

}  // namespace vellix::core
