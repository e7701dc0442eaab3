#include "core/text.hpp"

#include <cstdlib>
#include <cstring>
#include <new>

namespace vellix::core {

struct Text::Block {
  size_t size;
  bool is_static;
  const char* data() const noexcept { return reinterpret_cast<const char*>(this + 1); }
};

Text::Text(std::string_view s) {
  void* mem = std::malloc(sizeof(Block) + s.size());
  if (mem == nullptr) throw std::bad_alloc();
  auto* b = ::new (mem) Block{s.size(), false};
  if (!s.empty()) std::memcpy(const_cast<char*>(b->data()), s.data(), s.size());
  block_ = b;
}

Text::Text(const Text& other) {
  if (other.block_ == nullptr || other.block_->is_static) {
    block_ = other.block_;
  } else {
    *this = Text(other.view());
  }
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
  if (block_ != nullptr && !block_->is_static) {
    block_->~Block();
    std::free(const_cast<Block*>(block_));
  }
  block_ = nullptr;
}

std::string_view Text::view() const noexcept {
  if (block_ == nullptr) return {};
  return {block_->data(), block_->size};
}

Text Text::letter(char c) {
  struct Letter {
    Block block;
    char ch;
  };
  static const Letter kLetters[] = {
      {{1, true}, 's'}, {{1, true}, 'n'}, {{1, true}, 'b'}, {{1, true}, 'd'}, {{1, true}, 'f'},
  };
  static_assert(offsetof(Letter, ch) == sizeof(Block), "letter must follow its block");
  for (const Letter& l : kLetters) {
    if (l.ch == c) return Text(&l.block);
  }
  return Text(std::string_view(&c, 1));
}

}  // namespace vellix::core
