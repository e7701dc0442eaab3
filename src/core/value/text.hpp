// Text: a compact, immutable UTF-8 text held by one pointer, or none.
//
// A cell's long string value and its rare texts (formula, style, hidden
// value) are Texts; std::string would cost 32 bytes each, which a
// million-cell sheet cannot afford. A Text is 8 bytes, and a null pointer is
// "none" (distinct from the empty text).
//
// Not synchronised: callers guard a Text with the lock of what holds it.
#pragma once

#include <cstddef>
#include <string_view>

namespace vellix::core {

class Text {
 public:
  Text() noexcept = default;          // none
  explicit Text(std::string_view s);  // an owned copy
  Text(const Text& other);
  Text& operator=(const Text& other);
  Text(Text&& other) noexcept : block_(other.block_) { other.block_ = nullptr; }
  Text& operator=(Text&& other) noexcept;
  ~Text() { release(); }

  bool has_value() const noexcept { return block_ != nullptr; }
  // The bytes; the empty view when none.
  std::string_view view() const noexcept;
  bool operator==(std::string_view s) const noexcept { return has_value() && view() == s; }

 private:
  struct Block;
  explicit Text(const Block* b) noexcept : block_(b) {}
  void release() noexcept;

  const Block* block_ = nullptr;
};

}  // namespace vellix::core
