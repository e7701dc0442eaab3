#include "core/value/text.hpp"

#include <cstdlib>
#include <cstring>
#include <new>

namespace vellix::core {

struct Text::Block {
  size_t size;
  const char* data() const noexcept { return reinterpret_cast<const char*>(this + 1); }
};

Text::Text(std::string_view s) {
  void* mem = std::malloc(sizeof(Block) + s.size());
  if (mem == nullptr) throw std::bad_alloc();
  auto* b = ::new (mem) Block{s.size()};
  if (!s.empty()) std::memcpy(const_cast<char*>(b->data()), s.data(), s.size());
  block_ = b;
}

Text::Text(const Text& other) {
  if (other.block_ != nullptr) *this = Text(other.view());
}

Text& Text::operator=(const Text& other) {
  if (this != &other) *this = Text(other);
  return *this;
}

Text& Text::operator=(Text&& other) noexcept {
  if (this != &other) {
    release();
    block_ = other.block_;
    other.block_ = nullptr;
  }
  return *this;
}

void Text::release() noexcept {
  if (block_ != nullptr) {
    block_->~Block();
    std::free(const_cast<Block*>(block_));
  }
  block_ = nullptr;
}

std::string_view Text::view() const noexcept {
  if (block_ == nullptr) return {};
  return {block_->data(), block_->size};
}

}  // namespace vellix::core
